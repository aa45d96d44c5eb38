// Small helpers shared by the GTK views.
#pragma once

#include <gtk/gtk.h>

#include <string>

namespace vex::ui::gtk {

// A themed icon name, or an image file when the text holds a '/'.
void set_window_icon(GtkWindow *window, const std::string &icon);
// The X window of a realised widget, 0 otherwise.
unsigned long x_id(GtkWidget *widget);
// "_Done" -> "&Done": a GTK mnemonic label in the library's own notation.
std::string ampersand_label(const char *mnemonic);

} // namespace vex::ui::gtk
