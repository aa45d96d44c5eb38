#include "ui/gtk/dialog_view.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ui/gtk/gtk_util.h"
#include "ui/text_line.h"

namespace vex::ui::gtk {

namespace {

constexpr const char *kTopName = "VEXDialog";
constexpr const char *kControlPrefix = "control-";
constexpr const char *kCommandKey = "vex-command";
constexpr int kCancelCommand = 2;

// N of a "control-N" name, or -1.
int control_number(const char *name) {
  const size_t n = std::strlen(kControlPrefix);
  if (!name || std::strncmp(name, kControlPrefix, n) != 0 || name[n] == '\0')
    return -1;
  char *end = nullptr;
  const long v = std::strtol(name + n, &end, 10);
  return *end == '\0' && v >= 0 && v <= 0xFFFF ? static_cast<int>(v) : -1;
}

const char *text_of(GObject *o) {
  if (GTK_IS_LABEL(o))
    return gtk_label_get_text(GTK_LABEL(o));
  if (GTK_IS_BUTTON(o))
    return gtk_button_get_label(GTK_BUTTON(o));
  if (GTK_IS_ENTRY(o))
    return gtk_entry_get_text(GTK_ENTRY(o));
  if (GTK_IS_PROGRESS_BAR(o))
    return gtk_progress_bar_get_text(GTK_PROGRESS_BAR(o));
  return nullptr;
}

// Top-level windows a builder made live on in GTK's own list after the
// builder goes; a template that is refused must not leave them behind.
void discard(GtkBuilder *builder) {
  GSList *all = gtk_builder_get_objects(builder);
  for (GSList *p = all; p; p = p->next)
    if (GTK_IS_WINDOW(p->data) && !gtk_widget_get_parent(GTK_WIDGET(p->data)))
      gtk_widget_destroy(GTK_WIDGET(p->data));
  g_slist_free(all);
  g_object_unref(builder);
}

} // namespace

bool DialogView::create(const DialogLook &look, Events &events) {
  GtkBuilder *builder = gtk_builder_new();
  GError *error = nullptr;
  if (!gtk_builder_add_from_string(builder, look.text.c_str(), look.text.size(), &error)) {
    if (error)
      g_error_free(error);
    discard(builder);
    return false;
  }
  GObject *top = gtk_builder_get_object(builder, kTopName);
  if (!top || !GTK_IS_WINDOW(top)) {
    discard(builder);
    return false;
  }
  builder_ = builder;
  window_ = GTK_WIDGET(top);
  events_ = &events;
  owner_ = look.owner ? GTK_WINDOW(look.owner) : nullptr;
  last_item_ = -1;
  set_window_icon(GTK_WINDOW(window_), look.icon);
  GSList *all = gtk_builder_get_objects(builder);
  for (GSList *p = all; p; p = p->next) {
    if (!GTK_IS_BUTTON(p->data))
      continue;
    const int n = control_number(gtk_buildable_get_name(GTK_BUILDABLE(p->data)));
    if (n < 0)
      continue;
    g_object_set_data(G_OBJECT(p->data), kCommandKey, GINT_TO_POINTER(n));
    g_signal_connect(p->data, "clicked", G_CALLBACK(on_clicked), this);
  }
  g_slist_free(all);
  g_signal_connect(window_, "delete-event", G_CALLBACK(on_delete), this);
  g_signal_connect(window_, "key-press-event", G_CALLBACK(on_key), this);
  g_signal_connect(window_, "focus-in-event", G_CALLBACK(on_focus_in), this);
  return true;
}

std::string DialogView::caption() const {
  const char *t = window_ ? gtk_window_get_title(GTK_WINDOW(window_)) : nullptr;
  return t ? t : "";
}

void DialogView::set_caption(const std::string &caption) {
  if (window_)
    gtk_window_set_title(GTK_WINDOW(window_), caption.c_str());
}

void DialogView::show(int show) {
  if (!window_ || show == 0)
    return;
  centre_over_owner();
  if (show == 2 || show == 6 || show == 7)
    gtk_window_iconify(GTK_WINDOW(window_));
  else if (show == 3)
    gtk_window_maximize(GTK_WINDOW(window_));
  gtk_widget_show(window_);
}

// Half the difference of the two sizes added to the owner's corner.
void DialogView::centre_over_owner() {
  if (!owner_ || !gtk_widget_get_visible(GTK_WIDGET(owner_)))
    return;
  int ox = 0, oy = 0, ow = 0, oh = 0;
  gtk_window_get_position(owner_, &ox, &oy);
  gtk_window_get_size(owner_, &ow, &oh);
  GtkRequisition natural{};
  gtk_widget_get_preferred_size(window_, nullptr, &natural);
  int dw = 0, dh = 0;
  gtk_window_get_default_size(GTK_WINDOW(window_), &dw, &dh);
  dw = dw > natural.width ? dw : natural.width;
  dh = dh > natural.height ? dh : natural.height;
  gtk_window_move(GTK_WINDOW(window_), ox + (ow - dw) / 2, oy + (oh - dh) / 2);
}

GObject *DialogView::item(int control) const {
  if (!builder_)
    return nullptr;
  char name[32];
  std::snprintf(name, sizeof name, "%s%d", kControlPrefix, control);
  return gtk_builder_get_object(builder_, name);
}

bool DialogView::set_item(int control, const std::string &text) {
  GObject *o = item(control);
  if (!o)
    return false;
  if (GTK_IS_LABEL(o)) {
    gtk_label_set_text(GTK_LABEL(o), text.c_str());
  } else if (GTK_IS_BUTTON(o)) {
    gtk_button_set_use_underline(GTK_BUTTON(o), TRUE);
    gtk_button_set_label(GTK_BUTTON(o), mnemonic_label(text).c_str());
  } else if (GTK_IS_ENTRY(o)) {
    gtk_entry_set_text(GTK_ENTRY(o), text.c_str());
  } else if (GTK_IS_PROGRESS_BAR(o)) {
    GtkProgressBar *bar = GTK_PROGRESS_BAR(o);
    gtk_progress_bar_set_show_text(bar, TRUE);
    gtk_progress_bar_set_text(bar, text.c_str());
    if (const int percent = percent_in(text); percent >= 0)
      gtk_progress_bar_set_fraction(bar, percent / 100.0);
  } else {
    return false;
  }
  if (control != kCancelCommand)
    last_item_ = control;
  return true;
}

void DialogView::focus_item(int control) {
  GObject *o = item(control);
  if (!o || !GTK_IS_WIDGET(o))
    return;
  if (gtk_widget_get_can_default(GTK_WIDGET(o)))
    gtk_widget_grab_default(GTK_WIDGET(o));
  gtk_widget_grab_focus(GTK_WIDGET(o));
}

void DialogView::destroy() {
  if (!window_)
    return;
  GtkWidget *w = window_;
  GtkBuilder *b = builder_;
  window_ = nullptr;
  builder_ = nullptr;
  gtk_widget_destroy(w);
  g_object_unref(b);
}

Shown DialogView::shown() const {
  Shown s;
  s.exists = window_ != nullptr;
  if (!window_)
    return s;
  s.visible = gtk_widget_get_visible(window_);
  s.caption = caption();
  if (GObject *cancel = item(kCancelCommand); cancel && GTK_IS_BUTTON(cancel))
    s.button = gtk_button_get_use_underline(GTK_BUTTON(cancel)) ? ampersand_label(text_of(cancel))
                                                                 : std::string(text_of(cancel) ? text_of(cancel) : "");
  if (GObject *last = last_item_ >= 0 ? item(last_item_) : nullptr)
    s.status = text_of(last) ? text_of(last) : "";
  s.window_id = x_id(window_);
  gtk_window_get_size(GTK_WINDOW(window_), &s.width, &s.height);
  return s;
}

void DialogView::on_clicked(GtkButton *button, gpointer self) {
  const int n = GPOINTER_TO_INT(g_object_get_data(G_OBJECT(button), kCommandKey));
  static_cast<DialogView *>(self)->events_->command(n);
}

gboolean DialogView::on_delete(GtkWidget *, GdkEvent *, gpointer self) {
  static_cast<DialogView *>(self)->events_->close_box();
  return TRUE; // the logic destroys the dialog itself when it should go
}

gboolean DialogView::on_key(GtkWidget *, GdkEventKey *event, gpointer self) {
  if (event->keyval != GDK_KEY_Escape)
    return FALSE;
  static_cast<DialogView *>(self)->events_->command(kCancelCommand);
  return TRUE;
}

// The focus goes to the default button, or else stays where GTK puts it
// (the first widget that takes it).
gboolean DialogView::on_focus_in(GtkWidget *w, GdkEvent *, gpointer) {
  GtkWidget *def = gtk_window_get_default_widget(GTK_WINDOW(w));
  if (def && !gtk_widget_has_focus(def) && !gtk_window_get_focus(GTK_WINDOW(w)))
    gtk_widget_grab_focus(def);
  return FALSE;
}

} // namespace vex::ui::gtk
