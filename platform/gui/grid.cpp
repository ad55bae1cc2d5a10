// Grids: RowCount × ColCount cells, the first FixedRows of them headers (the
// first is shown as the column titles), the rest a list of rows to edit.
#include "platform/gui/gtk_toolkit.h"

namespace quillmer::gui {
namespace {

// Header cells are kept by row and column; data cells live in the store.
int HeaderKey(int row, int col) { return 1 + row * 4096 + col; }  // never 0, Cell's own

int Cols(const Entry& e) {
  const auto n = e.Int(Prop::ColCount, 1);
  return n < 1 ? 1 : static_cast<int>(n);
}

int Fixed(const Entry& e) {
  const auto n = e.Int(Prop::FixedRows, 0);
  return n < 0 ? 0 : static_cast<int>(n);
}

int DataRowsOf(const Entry& e) {
  const int rows = static_cast<int>(e.Int(Prop::RowCount, 1)) - Fixed(e);
  return rows < 0 ? 0 : rows;
}

struct CellEdit {
  GtkToolkit* toolkit;
  HWND grid;
  int col;
};

}  // namespace

void GtkToolkit::ApplyGrid(HWND h) {
  Entry& e = *Get(h);
  GtkTreeView* tree = GTK_TREE_VIEW(e.view);
  const int cols = Cols(e), rows = DataRowsOf(e);
  const bool editable = e.Int(Prop::ReadOnly) == 0;

  // A new store of the new shape, keeping the cells that still fit.
  std::vector<GType> types(static_cast<std::size_t>(cols), G_TYPE_STRING);
  GtkListStore* store = gtk_list_store_newv(cols, types.data());
  const int oldCols = e.store ? gtk_tree_model_get_n_columns(GTK_TREE_MODEL(e.store)) : 0;
  GtkTreeIter from, to;
  bool more = e.store && gtk_tree_model_get_iter_first(GTK_TREE_MODEL(e.store), &from);
  for (int r = 0; r < rows; ++r) {
    gtk_list_store_append(store, &to);
    for (int c = 0; more && c < cols && c < oldCols; ++c) {
      gchar* text = nullptr;
      gtk_tree_model_get(GTK_TREE_MODEL(e.store), &from, c, &text, -1);
      gtk_list_store_set(store, &to, c, text, -1);
      g_free(text);
    }
    if (more) more = gtk_tree_model_iter_next(GTK_TREE_MODEL(e.store), &from);
  }
  if (e.store) g_object_unref(e.store);
  e.store = store;
  gtk_tree_view_set_model(tree, GTK_TREE_MODEL(store));

  while (GtkTreeViewColumn* column = gtk_tree_view_get_column(tree, 0))
    gtk_tree_view_remove_column(tree, column);
  for (int c = 0; c < cols; ++c) {
    GtkCellRenderer* cell = gtk_cell_renderer_text_new();
    g_object_set(cell, "editable", editable, nullptr);
    auto* edit = new CellEdit{this, h, c};
    g_signal_connect_data(
        cell, "edited",
        G_CALLBACK(+[](GtkCellRendererText*, gchar* path, gchar* text, gpointer data) {
          auto* edit = static_cast<CellEdit*>(data);
          Entry* me = edit->toolkit->Get(edit->grid);
          if (!me || !me->store) return;
          GtkTreeIter iter;
          if (!gtk_tree_model_get_iter_from_string(GTK_TREE_MODEL(me->store), &iter, path)) return;
          gtk_list_store_set(me->store, &iter, edit->col, text, -1);
          const int row = std::atoi(path) + Fixed(*me);
          edit->toolkit->Send(edit->grid, QM_CELLEDIT, static_cast<WPARAM>(row), edit->col);
        }),
        edit, [](gpointer data, GClosure*) { delete static_cast<CellEdit*>(data); },
        GConnectFlags{});
    GtkTreeViewColumn* column =
        gtk_tree_view_column_new_with_attributes("", cell, "text", c, nullptr);
    auto title = e.texts.find({Prop::Cell, HeaderKey(0, c)});
    gtk_tree_view_column_set_title(column, title == e.texts.end() ? "" : title->second.c_str());
    gtk_tree_view_column_set_clickable(column, TRUE);
    gtk_tree_view_column_set_resizable(column, TRUE);
    if (e.Has(Prop::ColWidth, c)) {
      gtk_tree_view_column_set_sizing(column, GTK_TREE_VIEW_COLUMN_FIXED);
      gtk_tree_view_column_set_fixed_width(column, static_cast<int>(e.Int(Prop::ColWidth, 64, c)));
    }
    auto* header = new CellEdit{this, h, c};
    g_signal_connect_data(
        column, "clicked", G_CALLBACK(+[](GtkTreeViewColumn*, gpointer data) {
          auto* edit = static_cast<CellEdit*>(data);
          edit->toolkit->Send(edit->grid, QM_HEADERCLICK, static_cast<WPARAM>(edit->col), 0);
        }),
        header, [](gpointer data, GClosure*) { delete static_cast<CellEdit*>(data); },
        GConnectFlags{});
    gtk_tree_view_append_column(tree, column);
  }
  gtk_tree_view_set_headers_visible(tree, Fixed(e) > 0);
  MoveGridCursor(h);
}

void GtkToolkit::MoveGridCursor(HWND h) {
  Entry& e = *Get(h);
  const int row = static_cast<int>(e.Int(Prop::Row)) - Fixed(e);
  const int col = static_cast<int>(e.Int(Prop::Col));
  if (!e.store || row < 0 || row >= DataRowsOf(e)) return;
  GtkTreePath* path = gtk_tree_path_new_from_indices(row, -1);
  gtk_tree_view_set_cursor(GTK_TREE_VIEW(e.view), path,
                           gtk_tree_view_get_column(GTK_TREE_VIEW(e.view), col), FALSE);
  gtk_tree_path_free(path);
}

// Where the user put the cursor becomes Row and Col.
void GtkToolkit::ReadGridCursor(HWND h) {
  Entry* e = Get(h);
  if (!e || Applying()) return;
  // Only the user's keys and clicks: GTK also puts the cursor on the first
  // row when the grid first gets the focus.
  GdkEvent* event = gtk_get_current_event();
  const GdkEventType type = event ? event->type : GDK_NOTHING;
  if (event) gdk_event_free(event);
  if (type != GDK_BUTTON_PRESS && type != GDK_BUTTON_RELEASE && type != GDK_KEY_PRESS) return;
  GtkTreePath* path = nullptr;
  GtkTreeViewColumn* column = nullptr;
  gtk_tree_view_get_cursor(GTK_TREE_VIEW(e->view), &path, &column);
  if (path) e->ints[{Prop::Row, 0}] = gtk_tree_path_get_indices(path)[0] + Fixed(*e);
  for (int c = 0; GtkTreeViewColumn* each = gtk_tree_view_get_column(GTK_TREE_VIEW(e->view), c);
       ++c)
    if (column && each == column) e->ints[{Prop::Col, 0}] = c;
  if (path) gtk_tree_path_free(path);
}

std::int64_t GtkToolkit::GridCursor(const Entry& e, Prop prop) const { return e.Int(prop); }

void GtkToolkit::SetGridCell(HWND h, const std::string& value) {
  Entry& e = *Get(h);
  const std::string text = value;  // value may be the stored Cell erased below
  const int row = static_cast<int>(e.Int(Prop::Row)), col = static_cast<int>(e.Int(Prop::Col));
  e.texts.erase({Prop::Cell, 0});  // Cell is kept by its place, not as a value
  if (col < 0 || col >= Cols(e) || row < 0) return;
  if (row < Fixed(e)) {
    e.texts[{Prop::Cell, HeaderKey(row, col)}] = text;
    if (row == 0)
      if (GtkTreeViewColumn* column = gtk_tree_view_get_column(GTK_TREE_VIEW(e.view), col))
        gtk_tree_view_column_set_title(column, text.c_str());
    return;
  }
  GtkTreeIter iter;
  if (e.store &&
      gtk_tree_model_iter_nth_child(GTK_TREE_MODEL(e.store), &iter, nullptr, row - Fixed(e)))
    gtk_list_store_set(e.store, &iter, col, text.c_str(), -1);
}

std::string GtkToolkit::GridCell(const Entry& e) const {
  const int row = static_cast<int>(e.Int(Prop::Row));
  const int col = static_cast<int>(e.Int(Prop::Col));
  if (row < Fixed(e)) return e.Text(Prop::Cell, HeaderKey(row, col));
  GtkTreeIter iter;
  if (!e.store || col < 0 || col >= Cols(e) ||
      !gtk_tree_model_iter_nth_child(GTK_TREE_MODEL(e.store), &iter, nullptr, row - Fixed(e)))
    return "";
  gchar* text = nullptr;
  gtk_tree_model_get(GTK_TREE_MODEL(e.store), &iter, col, &text, -1);
  std::string out = text ? text : "";
  g_free(text);
  return out;
}

}  // namespace quillmer::gui
