#include "ui/gtk/list_box.h"

#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include "ui/gtk/display_guard.h"

namespace vex::ui::gtk {

namespace {

void note_id(GtkWidget *w, gpointer shown_id) {
  GdkWindow *g = gtk_widget_get_window(w);
  if (g && GDK_IS_X11_WINDOW(g))
    *static_cast<unsigned long *>(shown_id) = gdk_x11_window_get_xid(g);
}

void activated(GtkTreeView *, GtkTreePath *, GtkTreeViewColumn *, gpointer dialog) {
  gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);
}

GtkWidget *list_view(const ListBox &list) {
  GtkListStore *store = gtk_list_store_new(1, G_TYPE_STRING);
  for (const std::string &line : list.items) {
    GtkTreeIter it;
    gtk_list_store_append(store, &it);
    gtk_list_store_set(store, &it, 0, line.c_str(), -1);
  }
  GtkWidget *view = gtk_tree_view_new_with_model(GTK_TREE_MODEL(store));
  g_object_unref(store);
  gtk_tree_view_set_headers_visible(GTK_TREE_VIEW(view), FALSE);
  gtk_tree_view_append_column(GTK_TREE_VIEW(view),
                              gtk_tree_view_column_new_with_attributes("", gtk_cell_renderer_text_new(), "text", 0,
                                                                       nullptr));
  if (list.selected >= 0 && static_cast<size_t>(list.selected) < list.items.size()) {
    GtkTreePath *path = gtk_tree_path_new_from_indices(list.selected, -1);
    gtk_tree_view_set_cursor(GTK_TREE_VIEW(view), path, nullptr, FALSE);
    gtk_tree_path_free(path);
  }
  return view;
}

int selected_index(GtkWidget *view) {
  GtkTreeModel *model = nullptr;
  GtkTreeIter it;
  if (!gtk_tree_selection_get_selected(gtk_tree_view_get_selection(GTK_TREE_VIEW(view)), &model, &it))
    return kPickCancelled;
  GtkTreePath *path = gtk_tree_model_get_path(model, &it);
  const int index = gtk_tree_path_get_indices(path)[0];
  gtk_tree_path_free(path);
  return index;
}

} // namespace

int run_list(const ListBox &list, unsigned long *shown_id) {
  int answer = kPickCancelled;
  *shown_id = 0;
  const bool alive = guarded([&] {
    GtkWindow *parent = list.parent ? GTK_WINDOW(list.parent) : nullptr;
    GtkWidget *dialog = gtk_dialog_new_with_buttons(list.title.c_str(), parent, GTK_DIALOG_MODAL, "_Cancel",
                                                    GTK_RESPONSE_CANCEL, "_OK", GTK_RESPONSE_OK, nullptr);
    gtk_window_set_keep_above(GTK_WINDOW(dialog), TRUE);
    gtk_window_set_default_size(GTK_WINDOW(dialog), 420, 360);
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);
    GtkWidget *area = gtk_dialog_get_content_area(GTK_DIALOG(dialog));
    gtk_box_set_spacing(GTK_BOX(area), 8);
    gtk_box_pack_start(GTK_BOX(area), gtk_label_new(list.text.c_str()), FALSE, FALSE, 0);
    GtkWidget *scroll = gtk_scrolled_window_new(nullptr, nullptr);
    GtkWidget *view = list_view(list);
    g_signal_connect(view, "row-activated", G_CALLBACK(activated), dialog);
    gtk_container_add(GTK_CONTAINER(scroll), view);
    gtk_box_pack_start(GTK_BOX(area), scroll, TRUE, TRUE, 0);
    gtk_widget_show_all(area);
    gtk_widget_grab_focus(view);
    g_signal_connect(dialog, "map", G_CALLBACK(note_id), shown_id);
    const int response = gtk_dialog_run(GTK_DIALOG(dialog));
    if (response == GTK_RESPONSE_OK)
      answer = selected_index(view);
    gtk_widget_destroy(dialog);
  });
  *shown_id = 0;
  return alive ? answer : kPickUnavailable;
}

} // namespace vex::ui::gtk
