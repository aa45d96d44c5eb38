#include "ui/gtk/gtk_util.h"

#include <gdk/gdkx.h>

namespace vex::ui::gtk {

void set_window_icon(GtkWindow *window, const std::string &icon) {
  if (icon.empty())
    return;
  if (icon.find('/') == std::string::npos) {
    gtk_window_set_icon_name(window, icon.c_str());
    return;
  }
  GError *error = nullptr;
  if (!gtk_window_set_icon_from_file(window, icon.c_str(), &error) && error)
    g_error_free(error); // a missing icon leaves the default one
}

unsigned long x_id(GtkWidget *widget) {
  GdkWindow *g = widget ? gtk_widget_get_window(widget) : nullptr;
  return g && GDK_IS_X11_WINDOW(g) ? gdk_x11_window_get_xid(g) : 0;
}

std::string ampersand_label(const char *mnemonic) {
  std::string out;
  for (const char *p = mnemonic ? mnemonic : ""; *p; ++p) {
    if (*p == '&') {
      out += "&&";
    } else if (*p == '_' && p[1] == '_') {
      out += '_';
      ++p;
    } else if (*p == '_') {
      out += '&';
    } else {
      out += *p;
    }
  }
  return out;
}

} // namespace vex::ui::gtk
