// The status window in GTK: a fixed-size top-level window whose client
// area is painted like the classic one (grey, two centred lines) with the
// Cancel button placed over it.
#pragma once

#include <gtk/gtk.h>

#include <string>

#include "ui/front.h"

namespace vex::ui::gtk {

class StatusView {
public:
  bool create(const StatusLook &look, Events &events);
  bool exists() const { return window_ != nullptr; }
  bool visible() const;
  bool minimized() const { return minimized_; }
  void show();
  void paint(const std::string &status, const std::string &info);
  void focus_button();
  void rename_button(const std::string &label);
  std::string caption() const;
  void destroy();
  GtkWidget *window() const { return window_; }
  Shown shown() const;

private:
  static gboolean on_draw(GtkWidget *area, cairo_t *cr, gpointer self);
  static void on_clicked(GtkButton *, gpointer self);
  static gboolean on_delete(GtkWidget *, GdkEvent *, gpointer self);
  static gboolean on_focus_in(GtkWidget *, GdkEvent *, gpointer self);
  static gboolean on_state(GtkWidget *, GdkEventWindowState *event, gpointer self);
  static gboolean on_key(GtkWidget *, GdkEventKey *event, gpointer self);
  void draw(cairo_t *cr);

  GtkWidget *window_ = nullptr, *area_ = nullptr, *button_ = nullptr;
  Events *events_ = nullptr;
  int width_ = 0, height_ = 0;
  bool minimized_ = false;
  std::string status_, info_;               // to paint
  std::string painted_status_, painted_info_; // as last painted
};

} // namespace vex::ui::gtk
