#include "ui/gtk/status_view.h"

#include "ui/gtk/gtk_util.h"

namespace vex::ui::gtk {

namespace {

// The classic metrics the window is sized from: a caption button 18 pixels
// wide and a caption 23 pixels tall (Linux has no such system metrics).
constexpr int kCaptionButton = 18;
constexpr int kCaptionHeight = 23;
constexpr double kGrey = 192.0 / 255.0;
constexpr const char *kInfoFont = "Sans"; // the classic dialog face's stand-in

// Draws text centred on x with its baseline at y.
void centred(cairo_t *cr, PangoLayout *layout, const std::string &text, int x, int y) {
  pango_layout_set_text(layout, text.c_str(), -1);
  int w = 0, h = 0;
  pango_layout_get_pixel_size(layout, &w, &h);
  const int baseline = pango_layout_get_baseline(layout) / PANGO_SCALE;
  cairo_move_to(cr, x - w / 2.0, y - baseline);
  pango_cairo_show_layout(cr, layout);
}

} // namespace

bool StatusView::create(const StatusLook &look, Events &events) {
  events_ = &events;
  width_ = 32 * kCaptionButton;
  height_ = 7 * kCaptionHeight;
  window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  if (!window_)
    return false;
  GtkWindow *w = GTK_WINDOW(window_);
  gtk_window_set_title(w, look.caption.c_str());
  gtk_window_set_role(w, look.role.c_str());
  set_window_icon(w, look.icon);
  gtk_window_set_resizable(w, FALSE);
  gtk_window_set_type_hint(w, GDK_WINDOW_TYPE_HINT_DIALOG);
  gtk_window_set_position(w, GTK_WIN_POS_CENTER);
  gtk_widget_set_size_request(window_, width_, height_);

  GtkWidget *fixed = gtk_fixed_new();
  area_ = gtk_drawing_area_new();
  gtk_widget_set_size_request(area_, width_, height_);
  gtk_fixed_put(GTK_FIXED(fixed), area_, 0, 0);
  button_ = gtk_button_new_with_mnemonic(mnemonic_label(look.button).c_str());
  gtk_widget_set_size_request(button_, width_ / 8, height_ / 5);
  gtk_fixed_put(GTK_FIXED(fixed), button_, width_ * 7 / 16, height_ * 8 / 21);
  gtk_widget_set_can_default(button_, TRUE);
  gtk_container_add(GTK_CONTAINER(window_), fixed);
  gtk_widget_show_all(fixed);
  gtk_window_set_default(w, button_);

  g_signal_connect(area_, "draw", G_CALLBACK(on_draw), this);
  g_signal_connect(button_, "clicked", G_CALLBACK(on_clicked), this);
  g_signal_connect(window_, "delete-event", G_CALLBACK(on_delete), this);
  g_signal_connect(window_, "focus-in-event", G_CALLBACK(on_focus_in), this);
  g_signal_connect(window_, "window-state-event", G_CALLBACK(on_state), this);
  g_signal_connect(window_, "key-press-event", G_CALLBACK(on_key), this);
  minimized_ = false;
  status_.clear();
  info_.clear();
  painted_status_.clear();
  painted_info_.clear();
  return true;
}

bool StatusView::visible() const { return window_ && gtk_widget_get_visible(window_); }

void StatusView::show() {
  if (window_)
    gtk_window_present(GTK_WINDOW(window_));
}

void StatusView::paint(const std::string &status, const std::string &info) {
  status_ = status;
  info_ = info;
  if (area_)
    gtk_widget_queue_draw(area_);
}

void StatusView::focus_button() {
  if (button_)
    gtk_widget_grab_focus(button_);
}

void StatusView::rename_button(const std::string &label) {
  if (button_)
    gtk_button_set_label(GTK_BUTTON(button_), mnemonic_label(label).c_str());
}

std::string StatusView::caption() const {
  const char *t = window_ ? gtk_window_get_title(GTK_WINDOW(window_)) : nullptr;
  return t ? t : "";
}

void StatusView::destroy() {
  if (!window_)
    return;
  GtkWidget *w = window_;
  window_ = area_ = button_ = nullptr;
  gtk_widget_destroy(w);
}

Shown StatusView::shown() const {
  Shown s;
  s.exists = window_ != nullptr;
  if (!window_)
    return s;
  s.visible = visible();
  s.caption = caption();
  s.status = painted_status_;
  s.info = painted_info_;
  s.button = ampersand_label(gtk_button_get_label(GTK_BUTTON(button_)));
  s.window_id = x_id(window_);
  gtk_window_get_size(GTK_WINDOW(window_), &s.width, &s.height);
  return s;
}

void StatusView::draw(cairo_t *cr) {
  cairo_set_source_rgb(cr, kGrey, kGrey, kGrey);
  cairo_paint(cr);
  cairo_set_source_rgb(cr, 0, 0, 0);
  PangoLayout *layout = gtk_widget_create_pango_layout(area_, nullptr);
  centred(cr, layout, status_, width_ / 2, height_ * 8 / 27);
  PangoFontDescription *font = pango_font_description_copy(pango_context_get_font_description(
      pango_layout_get_context(layout)));
  pango_font_description_set_family(font, kInfoFont);
  pango_font_description_set_weight(font, PANGO_WEIGHT_NORMAL);
  pango_layout_set_font_description(layout, font);
  centred(cr, layout, info_, width_ / 2, height_ * 11 / 12);
  pango_font_description_free(font);
  g_object_unref(layout);
  painted_status_ = status_;
  painted_info_ = info_;
}

gboolean StatusView::on_draw(GtkWidget *, cairo_t *cr, gpointer self) {
  static_cast<StatusView *>(self)->draw(cr);
  return TRUE;
}

void StatusView::on_clicked(GtkButton *, gpointer self) { static_cast<StatusView *>(self)->events_->command(1); }

gboolean StatusView::on_delete(GtkWidget *, GdkEvent *, gpointer self) {
  static_cast<StatusView *>(self)->events_->close_box();
  return TRUE; // the logic destroys the window itself when it should go
}

gboolean StatusView::on_focus_in(GtkWidget *, GdkEvent *, gpointer self) {
  static_cast<StatusView *>(self)->focus_button();
  return FALSE;
}

gboolean StatusView::on_state(GtkWidget *, GdkEventWindowState *event, gpointer self) {
  auto *view = static_cast<StatusView *>(self);
  if (!(event->changed_mask & GDK_WINDOW_STATE_ICONIFIED))
    return FALSE;
  view->minimized_ = (event->new_window_state & GDK_WINDOW_STATE_ICONIFIED) != 0;
  if (view->minimized_)
    view->events_->minimized();
  else
    view->events_->restored();
  return FALSE;
}

gboolean StatusView::on_key(GtkWidget *, GdkEventKey *event, gpointer self) {
  if (event->keyval != GDK_KEY_Escape)
    return FALSE;
  static_cast<StatusView *>(self)->events_->command(2);
  return TRUE;
}

} // namespace vex::ui::gtk
