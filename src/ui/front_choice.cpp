#include "ui/front_choice.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "ui/terminal_front.h"
#include "vexutil/ui.h"

#ifndef VEX_UI_MODULE_FILE
#define VEX_UI_MODULE_FILE "libvexutil-gtk.so"
#endif
#ifndef VEX_UI_MODULE_INSTALLED
#define VEX_UI_MODULE_INSTALLED ""
#endif

namespace vex::ui {

namespace {

std::mutex g_lock;
Front *g_current = nullptr;
Front *g_gtk = nullptr;       // loaded once; GTK cannot be initialised twice
bool g_gtk_tried = false;

bool has_text(const char *s) { return s && *s; }

std::string env(const char *name) {
  const char *v = std::getenv(name);
  return v ? v : "";
}

// Where the module is looked for, in order: the override, beside the code
// that holds this function (libvexutil.so or a program linked with the
// library's archive), and the folder the library was installed to.
std::vector<std::string> module_candidates() {
  std::vector<std::string> out;
  if (const std::string forced = env("VEXUTIL_UI_MODULE"); !forced.empty()) {
    out.push_back(forced);
    return out;
  }
  Dl_info info{};
  if (dladdr(reinterpret_cast<void *>(&module_candidates), &info) && info.dli_fname) {
    std::string dir = info.dli_fname;
    const size_t slash = dir.rfind('/');
    dir = slash == std::string::npos ? "." : dir.substr(0, slash);
    out.push_back(dir + "/" VEX_UI_MODULE_FILE);
  }
  if (std::strlen(VEX_UI_MODULE_INSTALLED) > 0)
    out.push_back(VEX_UI_MODULE_INSTALLED "/" VEX_UI_MODULE_FILE);
  return out;
}

Front *load_gtk(bool say_why) {
  if (g_gtk_tried)
    return g_gtk;
  g_gtk_tried = true;
  std::string tried;
  for (const std::string &path : module_candidates()) {
    void *module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) {
      tried += "\n  " + std::string(dlerror());
      continue;
    }
    auto entry = reinterpret_cast<VexUiFrontEntry>(dlsym(module, kFrontEntryName));
    Front *front = entry ? entry(kFrontInterfaceVersion) : nullptr;
    if (front) {
      g_gtk = front; // the module stays loaded for the life of the process
      return g_gtk;
    }
    tried += "\n  " + path + ": no display, or a module of another version";
    dlclose(module);
  }
  if (say_why)
    std::fprintf(stderr, "vexutil: the GTK front is not available; using the terminal%s\n", tried.c_str());
  return nullptr;
}

Front &pick() {
  const std::string forced = env("VEXUTIL_UI");
  if (forced == "terminal")
    return terminal_front();
  const bool display = has_text(std::getenv("DISPLAY")) || has_text(std::getenv("WAYLAND_DISPLAY"));
  if (forced == "gtk" || display) {
    if (Front *gtk = load_gtk(forced == "gtk"); gtk && gtk->alive())
      return *gtk;
  }
  return terminal_front();
}

} // namespace

Front &choose_front() {
  std::lock_guard g(g_lock);
  g_current = &pick();
  return *g_current;
}

Front &current_front() {
  {
    std::lock_guard g(g_lock);
    if (g_current)
      return *g_current;
  }
  return choose_front();
}

Front &fall_back_to_terminal() {
  std::lock_guard g(g_lock);
  if (g_current != &terminal_front()) {
    std::fprintf(stderr, "vexutil: the display went away; going on in the terminal\n");
    g_current = &terminal_front();
  }
  return *g_current;
}

} // namespace vex::ui

extern "C" const char *VEXUIFrontName(void) {
  // Reads without choosing: "none" until a status window or dialog chose.
  std::lock_guard g(vex::ui::g_lock);
  return vex::ui::g_current ? vex::ui::g_current->name() : "none";
}
