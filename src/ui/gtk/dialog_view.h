// The tool's dialog in GTK, built from its GtkBuilder template: the
// top-level object "VEXDialog", buttons "control-N" that send command N.
#pragma once

#include <gtk/gtk.h>

#include <string>

#include "ui/front.h"

namespace vex::ui::gtk {

class DialogView {
public:
  bool create(const DialogLook &look, Events &events);
  bool exists() const { return window_ != nullptr; }
  std::string caption() const;
  void set_caption(const std::string &caption);
  void show(int show);
  bool set_item(int control, const std::string &text);
  void focus_item(int control);
  void destroy();
  GtkWidget *window() const { return window_; }
  Shown shown() const;

private:
  GObject *item(int control) const;
  static void on_clicked(GtkButton *button, gpointer self);
  static gboolean on_delete(GtkWidget *, GdkEvent *, gpointer self);
  static gboolean on_key(GtkWidget *, GdkEventKey *event, gpointer self);
  static gboolean on_focus_in(GtkWidget *, GdkEvent *, gpointer self);
  void centre_over_owner();

  GtkBuilder *builder_ = nullptr;
  GtkWidget *window_ = nullptr;
  GtkWindow *owner_ = nullptr;
  Events *events_ = nullptr;
  int last_item_ = -1;
};

} // namespace vex::ui::gtk
