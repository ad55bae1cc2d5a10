// Grids: RowCount × ColCount cells, the first FixedRows of them headers (the
// first is shown as the column titles), the rest a list of rows over a tree
// view. The cells' renderers stay read-only: the editor is opened only here,
// after the owner agreed, so that no gesture of GTK's opens it behind its back.
#include <cstdlib>

#include "platform/gui/gtk_toolkit.h"
#include "platform/win32/keys.h"

namespace quillmer::gui {
namespace {

// Header cells are kept by row and column; data cells live in the store.
int HeaderKey(int row, int col) { return 1 + row * 4096 + col; }  // never 0, Cell's own

constexpr char kCellEnd = '\x1F';

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

int Options(const Entry& e) { return static_cast<int>(e.Int(Prop::Style)); }

struct CellEdit {
  GtkToolkit* toolkit;
  HWND grid;
  int col;
};

void FreeCellEdit(gpointer data, GClosure*) { delete static_cast<CellEdit*>(data); }

GtkCellRenderer* RendererOf(GtkTreeViewColumn* column) {
  GList* cells = gtk_cell_layout_get_cells(GTK_CELL_LAYOUT(column));
  GtkCellRenderer* cell = cells ? GTK_CELL_RENDERER(cells->data) : nullptr;
  g_list_free(cells);
  return cell;
}

// The editor GTK lays over a cell is the tree view's only child.
GtkWidget* EditorOf(const Entry& e) {
  if (!e.view) return nullptr;
  GList* kids = gtk_container_get_children(GTK_CONTAINER(e.view));
  GtkWidget* editor = kids ? GTK_WIDGET(kids->data) : nullptr;
  g_list_free(kids);
  return editor && GTK_IS_CELL_EDITABLE(editor) ? editor : nullptr;
}

std::string StoreCell(const Entry& e, int dataRow, int col) {
  GtkTreeIter iter;
  if (!e.store || col < 0 || col >= Cols(e) ||
      !gtk_tree_model_iter_nth_child(GTK_TREE_MODEL(e.store), &iter, nullptr, dataRow))
    return "";
  gchar* text = nullptr;
  gtk_tree_model_get(GTK_TREE_MODEL(e.store), &iter, col, &text, -1);
  std::string out = text ? text : "";
  g_free(text);
  return out;
}

}  // namespace

void GtkToolkit::ApplyGrid(HWND h) {
  Entry& e = *Get(h);
  GtkTreeView* tree = GTK_TREE_VIEW(e.view);
  const int cols = Cols(e), rows = DataRowsOf(e), options = Options(e);

  // The store keeps its rows while only their number changes, so that the
  // cursor and an open editor stay; a new column count makes a new one.
  const int oldCols = e.store ? gtk_tree_model_get_n_columns(GTK_TREE_MODEL(e.store)) : 0;
  if (oldCols != cols) {
    std::vector<GType> types(static_cast<std::size_t>(cols), G_TYPE_STRING);
    GtkListStore* store = gtk_list_store_newv(cols, types.data());
    GtkTreeIter from, to;
    bool more = e.store && gtk_tree_model_get_iter_first(GTK_TREE_MODEL(e.store), &from);
    for (; more; more = gtk_tree_model_iter_next(GTK_TREE_MODEL(e.store), &from)) {
      gtk_list_store_append(store, &to);
      for (int c = 0; c < cols && c < oldCols; ++c) {
        gchar* text = nullptr;
        gtk_tree_model_get(GTK_TREE_MODEL(e.store), &from, c, &text, -1);
        gtk_list_store_set(store, &to, c, text, -1);
        g_free(text);
      }
    }
    if (e.store) g_object_unref(e.store);
    e.store = store;
    gtk_tree_view_set_model(tree, GTK_TREE_MODEL(store));
  }
  GtkTreeModel* model = GTK_TREE_MODEL(e.store);
  GtkTreeIter iter;
  for (int n = gtk_tree_model_iter_n_children(model, nullptr); n < rows; ++n)
    gtk_list_store_append(e.store, &iter);
  for (int n = gtk_tree_model_iter_n_children(model, nullptr);
       n > rows && gtk_tree_model_iter_nth_child(model, &iter, nullptr, n - 1); --n)
    gtk_list_store_remove(e.store, &iter);

  if (static_cast<int>(gtk_tree_view_get_n_columns(tree)) != cols) {
    while (GtkTreeViewColumn* column = gtk_tree_view_get_column(tree, 0))
      gtk_tree_view_remove_column(tree, column);
    for (int c = 0; c < cols; ++c) {
      GtkCellRenderer* cell = gtk_cell_renderer_text_new();
      g_signal_connect_data(
          cell, "edited",
          G_CALLBACK(+[](GtkCellRendererText*, gchar* path, gchar* text, gpointer data) {
            auto* edit = static_cast<CellEdit*>(data);
            Entry* me = edit->toolkit->Get(edit->grid);
            if (!me || !me->store) return;
            GtkTreeIter at;
            if (!gtk_tree_model_get_iter_from_string(GTK_TREE_MODEL(me->store), &at, path))
              return;
            gtk_list_store_set(me->store, &at, edit->col, text, -1);
            const int row = std::atoi(path) + Fixed(*me);
            edit->toolkit->Send(edit->grid, QM_CELLEDIT, static_cast<WPARAM>(row), edit->col);
          }),
          new CellEdit{this, h, c}, FreeCellEdit, GConnectFlags{});
      GtkTreeViewColumn* column =
          gtk_tree_view_column_new_with_attributes("", cell, "text", c, nullptr);
      // Without whole-row selection the current cell alone is marked.
      gtk_tree_view_column_set_cell_data_func(
          column, cell,
          +[](GtkTreeViewColumn*, GtkCellRenderer* renderer, GtkTreeModel* model,
              GtkTreeIter* at, gpointer data) {
            auto* edit = static_cast<CellEdit*>(data);
            const Entry* me = edit->toolkit->Get(edit->grid);
            bool current = false;
            if (me && !(Options(*me) & kGridRowSelect) && me->Int(Prop::Col) == edit->col) {
              GtkTreePath* path = gtk_tree_model_get_path(model, at);
              current = gtk_tree_path_get_indices(path)[0] == me->Int(Prop::Row) - Fixed(*me);
              gtk_tree_path_free(path);
            }
            g_object_set(renderer, "cell-background", current ? "#3874d8" : nullptr,
                         "foreground", current ? "#ffffff" : nullptr, nullptr);
          },
          new CellEdit{this, h, c}, [](gpointer data) { delete static_cast<CellEdit*>(data); });
      g_signal_connect_data(
          column, "clicked", G_CALLBACK(+[](GtkTreeViewColumn*, gpointer data) {
            auto* edit = static_cast<CellEdit*>(data);
            edit->toolkit->Send(edit->grid, QM_HEADERCLICK, static_cast<WPARAM>(edit->col), 0);
          }),
          new CellEdit{this, h, c}, FreeCellEdit, GConnectFlags{});
      gtk_tree_view_column_set_clickable(column, TRUE);
      gtk_tree_view_append_column(tree, column);
    }
  }
  for (int c = 0; c < cols; ++c) {
    GtkTreeViewColumn* column = gtk_tree_view_get_column(tree, c);
    auto title = e.texts.find({Prop::Cell, HeaderKey(0, c)});
    gtk_tree_view_column_set_title(column, title == e.texts.end() ? "" : title->second.c_str());
    gtk_tree_view_column_set_resizable(column, (options & kGridColSizing) != 0);
    if (e.Has(Prop::ColWidth, c)) {
      gtk_tree_view_column_set_sizing(column, GTK_TREE_VIEW_COLUMN_FIXED);
      gtk_tree_view_column_set_fixed_width(column, static_cast<int>(e.Int(Prop::ColWidth, 64, c)));
    }
  }
  gtk_tree_view_set_grid_lines(
      tree, options & kGridLines ? GTK_TREE_VIEW_GRID_LINES_BOTH : GTK_TREE_VIEW_GRID_LINES_NONE);
  gtk_tree_selection_set_mode(gtk_tree_view_get_selection(tree), options & kGridRowSelect
                                                                     ? GTK_SELECTION_BROWSE
                                                                     : GTK_SELECTION_NONE);
  gtk_tree_view_set_headers_visible(tree, Fixed(e) > 0);
  gtk_tree_view_set_enable_search(tree, FALSE);  // typing is not a search here
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
  gtk_widget_queue_draw(e.view);
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
  gtk_widget_queue_draw(e->view);
}

std::int64_t GtkToolkit::GridCursor(const Entry& e, Prop prop) const { return e.Int(prop); }

void GtkToolkit::SetGridCell(HWND h, const std::string& value) {
  Entry& e = *Get(h);
  const std::string text = value;  // value may be the stored Cell erased below
  e.texts.erase({Prop::Cell, 0});  // Cell is kept by its place, not as a value
  SetGridCellAt(h, static_cast<int>(e.Int(Prop::Row)), static_cast<int>(e.Int(Prop::Col)), text);
}

void GtkToolkit::SetGridCellAt(HWND h, int row, int col, const std::string& text) {
  Entry& e = *Get(h);
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

// A row's cells, each ended by U+001F; missing ends leave the rest empty.
void GtkToolkit::SetGridRow(HWND h, int row, const std::string& value) {
  Entry& e = *Get(h);
  const std::string text = value;
  e.texts.erase({Prop::RowText, row});  // kept in the cells
  std::size_t start = 0;
  for (int col = 0; col < Cols(e); ++col) {
    const std::size_t end = text.find(kCellEnd, start);
    SetGridCellAt(h, row, col, end == std::string::npos ? "" : text.substr(start, end - start));
    start = end == std::string::npos ? text.size() : end + 1;
  }
}

std::string GtkToolkit::GridCell(const Entry& e) const {
  return GridCellAt(e, static_cast<int>(e.Int(Prop::Row)), static_cast<int>(e.Int(Prop::Col)));
}

std::string GtkToolkit::GridCellAt(const Entry& e, int row, int col) const {
  if (row < 0) return "";
  if (row < Fixed(e)) return e.Text(Prop::Cell, HeaderKey(row, col));
  return StoreCell(e, row - Fixed(e), col);
}

std::string GtkToolkit::GridRow(const Entry& e, int row) const {
  std::string out;
  if (row < 0 || row >= Fixed(e) + DataRowsOf(e)) return out;
  for (int col = 0; col < Cols(e); ++col) out += GridCellAt(e, row, col) + kCellEnd;
  return out;
}

// Opens the editor on the current cell: for the user only when the grid is
// editable and its owner agrees (QM_EDITSTART answered 0).
bool GtkToolkit::StartGridEditing(HWND h, bool byUser) {
  Entry* e = Get(h);
  if (!e || !e->store) return false;
  const int row = static_cast<int>(e->Int(Prop::Row)), col = static_cast<int>(e->Int(Prop::Col));
  if (row < Fixed(*e) || row >= Fixed(*e) + DataRowsOf(*e) || col < 0 || col >= Cols(*e))
    return false;
  if (byUser) {
    if (!(Options(*e) & kGridEditing) || e->Int(Prop::ReadOnly)) return false;
    if (Send(h, QM_EDITSTART, static_cast<WPARAM>(row), col) != 0) return false;
    e = Get(h);
    if (!e || !e->store) return false;
  }
  GtkTreeViewColumn* column = gtk_tree_view_get_column(GTK_TREE_VIEW(e->view), col);
  GtkCellRenderer* cell = column ? RendererOf(column) : nullptr;
  if (!cell) return false;
  gtk_widget_grab_focus(e->view);
  GtkTreePath* path = gtk_tree_path_new_from_indices(row - Fixed(*e), -1);
  g_object_set(cell, "editable", TRUE, nullptr);
  gtk_tree_view_set_cursor(GTK_TREE_VIEW(e->view), path, column, TRUE);
  g_object_set(cell, "editable", FALSE, nullptr);
  gtk_tree_path_free(path);
  return EditorOf(*e) != nullptr;
}

// Closes the editor keeping what was typed (the owner hears QM_CELLEDIT).
void GtkToolkit::EndGridEditing(HWND h) {
  Entry* e = Get(h);
  GtkWidget* editor = e ? EditorOf(*e) : nullptr;
  if (!editor) return;
  gtk_cell_editable_editing_done(GTK_CELL_EDITABLE(editor));
  if ((e = Get(h)) && (editor = EditorOf(*e)))
    gtk_cell_editable_remove_widget(GTK_CELL_EDITABLE(editor));
}

bool GtkToolkit::GridEditing(const Entry& e) const { return EditorOf(e) != nullptr; }

// The current cell in the grid's own area (what it sits in its parent by).
std::int64_t GtkToolkit::GridCellBounds(const Entry& e, int index) const {
  if (index < 0 || index > 3 || !e.view || !gtk_widget_get_realized(e.view)) return 0;
  GtkTreeView* tree = GTK_TREE_VIEW(e.view);
  const int row = static_cast<int>(e.Int(Prop::Row)), col = static_cast<int>(e.Int(Prop::Col));
  GtkTreeViewColumn* column = gtk_tree_view_get_column(tree, col);
  if (!column) return 0;
  GdkRectangle rect{};
  int x = 0, y = 0;
  if (row < Fixed(e)) {  // the column's title
    GtkWidget* button = gtk_tree_view_column_get_button(column);
    if (!button) return 0;
    gtk_widget_get_allocation(button, &rect);
    gtk_widget_translate_coordinates(button, e.widget->gobj(), 0, 0, &x, &y);
  } else {
    if (row >= Fixed(e) + DataRowsOf(e)) return 0;
    GtkTreePath* path = gtk_tree_path_new_from_indices(row - Fixed(e), -1);
    gtk_tree_view_get_cell_area(tree, path, column, &rect);
    gtk_tree_path_free(path);
    int wx = 0, wy = 0;
    gtk_tree_view_convert_bin_window_to_widget_coords(tree, rect.x, rect.y, &wx, &wy);
    gtk_widget_translate_coordinates(e.view, e.widget->gobj(), wx, wy, &x, &y);
  }
  switch (index) {
    case 0: return x;
    case 1: return y;
    case 2: return rect.width;
    default: return rect.height;
  }
}

std::int64_t GtkToolkit::GridColWidth(const Entry& e, int col) const {
  GtkTreeViewColumn* column =
      e.view ? gtk_tree_view_get_column(GTK_TREE_VIEW(e.view), col) : nullptr;
  if (!column || !gtk_widget_get_realized(e.view)) return e.Int(Prop::ColWidth, 0, col);
  return gtk_tree_view_column_get_width(column);
}

// The user's keys in a grid: F2 and Enter open the editor, Tab moves between
// cells when the options say so.
bool GtkToolkit::GridKey(HWND h, GdkEventKey* event) {
  Entry* e = Get(h);
  if (!e || EditorOf(*e)) return false;
  const unsigned vk = VirtualKeyOf(event), modifiers = ModifierBitsOf(event->state);
  if ((vk == 0x71 || vk == 0x0D) && !modifiers) return StartGridEditing(h, true);
  if (vk == 0x09 && (modifiers & ~kHotKeyShift) == 0 && (Options(*e) & kGridTabs)) {
    const bool back = modifiers != 0;
    int row = static_cast<int>(e->Int(Prop::Row)), col = static_cast<int>(e->Int(Prop::Col));
    col += back ? -1 : 1;
    if (col < 0) col = Cols(*e) - 1, --row;
    if (col >= Cols(*e)) col = 0, ++row;
    if (row < Fixed(*e) || row >= Fixed(*e) + DataRowsOf(*e)) return false;  // the focus moves on
    e->ints[{Prop::Row, 0}] = row;
    e->ints[{Prop::Col, 0}] = col;
    MoveGridCursor(h);
    return true;
  }
  return false;
}

// A click on the current cell opens its editor; a double click is told.
bool GtkToolkit::GridButton(HWND h, GdkEventButton* event) {
  Entry* e = Get(h);
  if (!e || event->button != 1) return false;
  if (event->type == GDK_2BUTTON_PRESS) {
    Send(h, QM_DBLCLICK, 0, 0);
    return false;
  }
  if (event->type != GDK_BUTTON_PRESS || EditorOf(*e)) return false;
  GtkTreeView* tree = GTK_TREE_VIEW(e->view);
  if (event->window != gtk_tree_view_get_bin_window(tree)) return false;
  GtkTreePath* path = nullptr;
  GtkTreeViewColumn* column = nullptr;
  if (!gtk_tree_view_get_path_at_pos(tree, static_cast<int>(event->x),
                                     static_cast<int>(event->y), &path, &column, nullptr,
                                     nullptr))
    return false;
  const int row = gtk_tree_path_get_indices(path)[0] + Fixed(*e);
  gtk_tree_path_free(path);
  const bool current = row == e->Int(Prop::Row) &&
                       column == gtk_tree_view_get_column(tree, static_cast<int>(e->Int(Prop::Col)));
  return current && gtk_widget_has_focus(e->view) && StartGridEditing(h, true);
}

}  // namespace quillmer::gui
