// The GTK front: everything runs on the thread that drives the windows,
// pumped by the library's calls (gtk_main_iteration_do), with no thread
// of its own. Every call into GTK is guarded against a lost display.
#include <gtk/gtk.h>

#include "ui/front.h"
#include "ui/gtk/display_guard.h"
#include "ui/gtk/list_box.h"
#include "ui/gtk/message_box.h"
#include "ui/gtk/status_view.h"
#include "ui/gtk/dialog_view.h"

namespace vex::ui::gtk {

namespace {

// Bounds the events taken in one pump, so that a window that keeps
// generating work cannot hold the caller forever.
constexpr int kMostEventsPerPump = 1000;

gboolean end_wait(gpointer) { return G_SOURCE_REMOVE; }

class GtkFront final : public Front {
public:
  const char *name() const override { return "gtk"; }
  bool can_ask() const override { return !display_lost(); }
  bool alive() const override { return !display_lost(); }

  bool status_create(const StatusLook &look, Events &events) override {
    bool made = false;
    guarded([&] {
      status_.destroy();
      made = status_.create(look, events);
    });
    return made;
  }
  bool status_visible() const override { return !display_lost() && status_.visible(); }
  bool status_minimized() const override { return !display_lost() && status_.minimized(); }
  void status_show() override {
    guarded([&] { status_.show(); });
  }
  void status_paint(const std::string &status, const std::string &info) override {
    guarded([&] { status_.paint(status, info); });
  }
  void status_focus_button() override {
    guarded([&] { status_.focus_button(); });
  }
  void status_rename_button(const std::string &label) override {
    guarded([&] { status_.rename_button(label); });
  }
  std::string status_caption() const override {
    std::string c;
    guarded([&] { c = status_.caption(); });
    return c;
  }
  void status_destroy() override {
    guarded([&] { status_.destroy(); });
  }
  void *status_native() override { return display_lost() ? nullptr : status_.window(); }
  Shown status_shown() const override {
    Shown s;
    guarded([&] {
      s = status_.shown();
      s.box_id = box_id_;
    });
    return s;
  }

  bool dialog_create(const DialogLook &look, Events &events) override {
    bool made = false;
    guarded([&] {
      dialog_.destroy();
      made = dialog_.create(look, events);
    });
    return made;
  }
  std::string dialog_caption() const override {
    std::string c;
    guarded([&] { c = dialog_.caption(); });
    return c;
  }
  void dialog_set_caption(const std::string &caption) override {
    guarded([&] { dialog_.set_caption(caption); });
  }
  void dialog_show(int show) override {
    guarded([&] { dialog_.show(show); });
  }
  bool dialog_set_item(int control, const std::string &text) override {
    bool set = false;
    guarded([&] { set = dialog_.set_item(control, text); });
    return set;
  }
  void dialog_focus_item(int control) override {
    guarded([&] { dialog_.focus_item(control); });
  }
  void dialog_destroy() override {
    guarded([&] { dialog_.destroy(); });
  }
  void *dialog_native() override { return display_lost() ? nullptr : dialog_.window(); }
  Shown dialog_shown() const override {
    Shown s;
    guarded([&] {
      s = dialog_.shown();
      s.box_id = box_id_;
    });
    return s;
  }

  Reply box(const Box &box) override { return run_box(box, &box_id_); }
  int pick(const ListBox &list) override { return run_list(list, &box_id_); }

  bool iterate(int wait_ms) override {
    guarded([&] {
      if (wait_ms > 0) {
        // A one-shot source bounds the wait; it holds no pointer, so a jump
        // out of the wait leaves nothing dangling.
        const guint timer = g_timeout_add(static_cast<guint>(wait_ms), end_wait, nullptr);
        gtk_main_iteration_do(TRUE);
        if (g_main_context_find_source_by_id(nullptr, timer))
          g_source_remove(timer);
      }
      for (int n = 0; n < kMostEventsPerPump && gtk_events_pending(); ++n)
        gtk_main_iteration_do(FALSE);
    });
    return alive();
  }

  void wake() override { g_main_context_wakeup(nullptr); }

private:
  StatusView status_;
  DialogView dialog_;
  unsigned long box_id_ = 0;
};

} // namespace

} // namespace vex::ui::gtk

extern "C" __attribute__((visibility("default"))) vex::ui::Front *vex_ui_front_entry(int version) {
  if (version != vex::ui::kFrontInterfaceVersion)
    return nullptr;
  // X11 first: its lost connection is one this module survives.
  if (!gdk_display_get_default())
    gdk_set_allowed_backends("x11,*");
  if (!gtk_init_check(nullptr, nullptr))
    return nullptr;
  vex::ui::gtk::install_display_guard();
  static vex::ui::gtk::GtkFront front;
  return &front;
}
