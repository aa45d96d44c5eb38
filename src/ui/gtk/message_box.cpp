#include "ui/gtk/message_box.h"

#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include "ui/gtk/display_guard.h"

namespace vex::ui::gtk {

namespace {

struct ButtonText {
  Reply reply;
  const char *label;
  int response;
};

constexpr ButtonText kButtons[] = {
    {Reply::yes, "_Yes", GTK_RESPONSE_YES},
    {Reply::no, "_No", GTK_RESPONSE_NO},
    {Reply::cancel, "_Cancel", GTK_RESPONSE_CANCEL},
    {Reply::ok, "_OK", GTK_RESPONSE_OK},
};

const ButtonText &button_of(Reply r) {
  for (const ButtonText &b : kButtons)
    if (b.reply == r)
      return b;
  return kButtons[3];
}

GtkMessageType type_of(Icon icon) {
  switch (icon) {
  case Icon::question: return GTK_MESSAGE_QUESTION;
  case Icon::stop: return GTK_MESSAGE_ERROR;
  case Icon::information: break;
  }
  return GTK_MESSAGE_INFO;
}

// The close box of a box with no Cancel: No for a question (the answer
// that changes nothing), else the only button there is.
Reply closed_reply(const Box &box) {
  for (int i = 0; i < box.count; ++i)
    if (box.buttons[i] == Reply::cancel)
      return Reply::cancel;
  for (int i = 0; i < box.count; ++i)
    if (box.buttons[i] == Reply::no)
      return Reply::no;
  return box.buttons[0];
}

void note_id(GtkWidget *w, gpointer shown_id) {
  GdkWindow *g = gtk_widget_get_window(w);
  if (g && GDK_IS_X11_WINDOW(g))
    *static_cast<unsigned long *>(shown_id) = gdk_x11_window_get_xid(g);
}

} // namespace

Reply run_box(const Box &box, unsigned long *shown_id) {
  Reply answer = Reply::none;
  *shown_id = 0;
  const bool alive = guarded([&] {
    GtkWindow *parent = box.parent ? GTK_WINDOW(box.parent) : nullptr;
    GtkWidget *dialog = gtk_message_dialog_new(parent, GTK_DIALOG_MODAL, type_of(box.icon), GTK_BUTTONS_NONE, "%s",
                                               box.text.c_str());
    gtk_window_set_title(GTK_WINDOW(dialog), box.title.c_str());
    gtk_window_set_keep_above(GTK_WINDOW(dialog), TRUE);
    for (int i = 0; i < box.count; ++i) {
      const ButtonText &b = button_of(box.buttons[i]);
      gtk_dialog_add_button(GTK_DIALOG(dialog), b.label, b.response);
    }
    const int preferred = button_of(box.buttons[box.default_index]).response;
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), preferred);
    if (GtkWidget *def = gtk_dialog_get_widget_for_response(GTK_DIALOG(dialog), preferred))
      gtk_widget_grab_focus(def);
    g_signal_connect(dialog, "map", G_CALLBACK(note_id), shown_id);
    const int response = gtk_dialog_run(GTK_DIALOG(dialog));
    gtk_widget_destroy(dialog);
    answer = closed_reply(box);
    for (int i = 0; i < box.count; ++i)
      if (button_of(box.buttons[i]).response == response)
        answer = box.buttons[i];
  });
  *shown_id = 0;
  return alive ? answer : Reply::none;
}

} // namespace vex::ui::gtk
