#include "ui/front_choice.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "ui/terminal_front.h"
#include "util/status.h"
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
std::string g_gtk_missing;    // why g_gtk is null, once tried
bool g_windows_asked = false; // VEXUIOpenWindows succeeded: GTK whatever the environment says

bool has_text(const char *s) { return s && *s; }

std::string env(const char *name) {
  const char *v = std::getenv(name);
  return v ? v : "";
}

// The folder of the code that holds this function: libvexutil.so's, or a
// program's linked with the library's archive.
std::string own_folder() {
  Dl_info info{};
  if (!dladdr(reinterpret_cast<void *>(&own_folder), &info) || !info.dli_fname)
    return "";
  const std::string file = info.dli_fname;
  const size_t slash = file.rfind('/');
  return slash == std::string::npos ? "." : file.substr(0, slash);
}

// Where the module is looked for, in order: the override, beside the
// library (the build tree and every install put it there), and the folder
// the library was installed to when built.
std::vector<std::string> module_candidates() {
  std::vector<std::string> out;
  if (const std::string forced = env("VEXUTIL_UI_MODULE"); !forced.empty()) {
    out.push_back(forced);
    return out;
  }
  if (const std::string dir = own_folder(); !dir.empty())
    out.push_back(dir + "/" VEX_UI_MODULE_FILE);
  const std::string installed = VEX_UI_MODULE_INSTALLED "/" VEX_UI_MODULE_FILE;
  if (std::strlen(VEX_UI_MODULE_INSTALLED) > 0 && (out.empty() || out[0] != installed))
    out.push_back(installed);
  return out;
}

bool display_named() { return has_text(std::getenv("DISPLAY")) || has_text(std::getenv("WAYLAND_DISPLAY")); }

// Loads the module and opens the display once per process; on failure
// g_gtk_missing says why, naming every file tried.
Front *load_gtk() {
  if (g_gtk_tried)
    return g_gtk;
  g_gtk_tried = true;
  std::string tried;
  for (const std::string &path : module_candidates()) {
    void *module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) {
      const char *why = dlerror();
      tried += "; " + std::string(why ? why : path + ": cannot be loaded");
      continue;
    }
    auto entry = reinterpret_cast<VexUiFrontEntry>(dlsym(module, kFrontEntryName));
    Front *front = entry ? entry(kFrontInterfaceVersion) : nullptr;
    if (front) {
      g_gtk = front; // the module stays loaded for the life of the process
      return g_gtk;
    }
    const std::string display = env("DISPLAY").empty() ? env("WAYLAND_DISPLAY") : env("DISPLAY");
    tried += "; " + path + (entry ? ": cannot open the display " + display + " (or the module is of another version)"
                                  : ": not a GTK front module");
    dlclose(module);
  }
  g_gtk_missing = tried.empty() ? std::string("no module ") + VEX_UI_MODULE_FILE + " to try" : tried.substr(2);
  return nullptr;
}

// Why the GTK front cannot be had now; "" when it can.
std::string gtk_unavailable() {
  if (!display_named() && !g_gtk)
    return "no display: DISPLAY and WAYLAND_DISPLAY are not set";
  Front *gtk = load_gtk();
  if (!gtk)
    return g_gtk_missing;
  return gtk->alive() ? "" : "the display went away";
}

Front &pick() {
  if (g_windows_asked)
    return g_gtk && g_gtk->alive() ? *g_gtk : terminal_front();
  const std::string forced = env("VEXUTIL_UI");
  if (forced == "terminal")
    return terminal_front();
  if (forced == "gtk" || display_named()) {
    if (Front *gtk = load_gtk(); gtk && gtk->alive())
      return *gtk;
    static bool said = false; // once a process, as the module is tried once
    if (forced == "gtk" && !std::exchange(said, true))
      std::fprintf(stderr, "vexutil: the GTK front is not available (%s); using the terminal\n",
                   gtk_unavailable().c_str());
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

extern "C" int32_t VEXUIOpenWindows(void) {
  std::lock_guard g(vex::ui::g_lock);
  if (const std::string why = vex::ui::gtk_unavailable(); !why.empty()) {
    vex::util::fail(vex::util::Status::kUnsupported, "no window can be opened: %s", why.c_str());
    return 0;
  }
  vex::ui::g_windows_asked = true;
  return 1;
}

extern "C" const char *VEXUIFrontName(void) {
  // Reads without choosing: "none" until a status window or dialog chose.
  std::lock_guard g(vex::ui::g_lock);
  return vex::ui::g_current ? vex::ui::g_current->name() : "none";
}
