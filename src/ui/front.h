// The platform side of the user interface: what the status window, the
// dialog and the boxes need from a windowing system, and nothing more. The
// window logic (status_window.cpp, dialog_window.cpp) drives a Front; the
// terminal front lives in the library, the GTK front in a module loaded at
// run time that sees only this header (the same compiler builds both, so
// the classes cross the boundary as they are).
#pragma once

#include <string>
#include <vector>

namespace vex::ui {

// The module's entry point returns a Front built for this version.
inline constexpr int kFrontInterfaceVersion = 4;
inline constexpr const char *kFrontEntryName = "vex_ui_front_entry";

enum class Icon { question, information, stop };

// Button identities; the numbers are the classic box answers.
enum class Reply : int { none = 0, ok = 1, cancel = 2, yes = 6, no = 7 };

struct Box {
  std::string title;
  std::string text;
  Icon icon = Icon::information;
  Reply buttons[3] = {Reply::ok, Reply::none, Reply::none};
  int count = 1;
  int default_index = 0;
  void *parent = nullptr; // native window of the front, or null
};

// A modal list to pick one line of, with OK and Cancel.
struct ListBox {
  std::string title;
  std::string text;               // what to pick
  std::vector<std::string> items; // one line each
  int selected = 0;               // the line chosen at first
  void *parent = nullptr;
};
inline constexpr int kPickCancelled = -1; // Cancel, Escape or the close box
inline constexpr int kPickUnavailable = -2; // the front shows no lists, or died

// What a front reports while it runs iterate() or box(); always on the
// thread that owns the window.
class Events {
public:
  virtual void command(int id) = 0; // a button, Enter on it, or Escape (2)
  virtual void close_box() = 0;
  virtual void minimized() = 0;
  virtual void restored() = 0;

protected:
  ~Events() = default;
};

// The status window as drawn: size in pixels and button placement follow
// the window logic; the front only realises them.
struct StatusLook {
  std::string caption;
  std::string role;       // "VEXSTATUS" + four letters
  std::string icon;       // themed name or file path; may be empty
  std::string button;     // "&Cancel": '&' marks the mnemonic
};

struct DialogLook {
  std::string text;       // GtkBuilder XML
  std::string icon;
  void *owner = nullptr;  // native owner to centre over, or null
};

// What a window shows right now, read back from the widgets (tests).
struct Shown {
  bool exists = false;
  bool visible = false;
  std::string caption, status, info, button;
  unsigned long window_id = 0; // X11 window, 0 elsewhere
  unsigned long box_id = 0;    // the box being shown, if any
  int width = 0, height = 0;
};

class Front {
public:
  virtual ~Front() = default;
  virtual const char *name() const = 0;
  // A person can answer a question now.
  virtual bool can_ask() const = 0;
  // False once the front cannot go on (the display went away).
  virtual bool alive() const = 0;

  // The status window, created hidden.
  virtual bool status_create(const StatusLook &look, Events &events) = 0;
  virtual bool status_visible() const = 0;
  virtual bool status_minimized() const = 0;
  virtual void status_show() = 0;
  virtual void status_paint(const std::string &status, const std::string &info) = 0;
  virtual void status_focus_button() = 0;
  virtual void status_rename_button(const std::string &label) = 0;
  virtual std::string status_caption() const = 0;
  virtual void status_destroy() = 0;
  virtual void *status_native() = 0;
  virtual Shown status_shown() const = 0;

  // The dialog, from the tool's template; false when it does not parse or
  // holds no "VEXDialog".
  virtual bool dialog_create(const DialogLook &look, Events &events) = 0;
  virtual std::string dialog_caption() const = 0;
  virtual void dialog_set_caption(const std::string &caption) = 0;
  virtual void dialog_show(int show) = 0;
  virtual bool dialog_set_item(int control, const std::string &text) = 0;
  virtual void dialog_focus_item(int control) = 0;
  virtual void dialog_destroy() = 0;
  virtual void *dialog_native() = 0;
  virtual Shown dialog_shown() const = 0;

  // A modal box; Reply::none when the front died while showing it.
  virtual Reply box(const Box &box) = 0;
  // A modal list: the index of the line picked, or kPickCancelled, or
  // kPickUnavailable.
  virtual int pick(const ListBox &list) = 0;
  // Handles what is pending; with wait_ms > 0 first waits up to that long
  // for something to happen. Returns alive().
  virtual bool iterate(int wait_ms) = 0;
  // Ends a wait in iterate() early; any thread.
  virtual void wake() = 0;
};

// Turns "&Cancel" into the GTK mnemonic "_Cancel" ("&&" is a plain '&',
// '_' doubles).
inline std::string mnemonic_label(const std::string &label) {
  std::string out;
  for (size_t i = 0; i < label.size(); ++i) {
    const char c = label[i];
    if (c == '&') {
      if (i + 1 < label.size() && label[i + 1] == '&') {
        out += '&';
        ++i;
      } else {
        out += '_';
      }
    } else if (c == '_') {
      out += "__";
    } else {
      out += c;
    }
  }
  return out;
}

// The label as a person reads it: "&Cancel" -> "Cancel".
inline std::string plain_label(const std::string &label) {
  std::string out;
  for (size_t i = 0; i < label.size(); ++i) {
    if (label[i] == '&' && !(i + 1 < label.size() && label[i + 1] == '&'))
      continue;
    if (label[i] == '&')
      ++i;
    out += label[i];
  }
  return out;
}

} // namespace vex::ui

extern "C" {
// Exported by the GTK module: a front for this interface version, or null
// (no display, wrong version). The front lives until the process ends.
using VexUiFrontEntry = vex::ui::Front *(*)(int version);
}
