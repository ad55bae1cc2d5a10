// Each kind of control as GTK widgets: made, placed in its parent, given its
// values, and read back.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string_view>

#include <webkit2/webkit2.h>

#include "platform/gui/gtk_toolkit.h"

namespace quillmer::gui {
namespace {

constexpr int kToolButtonWidth = 26;
constexpr int kToolButtonHeight = 24;
constexpr int kImageSize = 16;
// Both scripts are in this font; fontconfig finds it for Chinese text anyway,
// but a form that says its script gets it first.
constexpr const char* kChineseFont = "WenQuanYi Micro Hei";

void Mark(Gtk::Widget* w, HWND h) {
  g_object_set_data(G_OBJECT(w->gobj()), "quillmer-handle", h);
}

bool IsTop(ControlKind k) {
  return k == ControlKind::Window || k == ControlKind::Dialog || k == ControlKind::Hint ||
         k == ControlKind::Menu;
}

Gtk::Image* ImageOf(const std::vector<unsigned char>& png) {
  auto pixbuf = PixbufOf(png, kImageSize);
  auto* image = Gtk::manage(pixbuf ? new Gtk::Image(pixbuf) : new Gtk::Image);
  image->show();
  return image;
}

// The widget a grid or page view shows its rows or page in sits inside.
GtkTreeView* TreeOf(const Entry& e) { return GTK_TREE_VIEW(e.view); }


// Where an edit's text lives: an entry of its own, or a combo box's.
Gtk::Entry* EntryOf(const Entry& e) {
  if (!e.widget) return nullptr;
  if (auto* entry = dynamic_cast<Gtk::Entry*>(e.widget)) return entry;
  if (auto* combo = dynamic_cast<Gtk::ComboBox*>(e.widget))
    if (combo->get_has_entry()) return combo->get_entry();
  return nullptr;
}

std::string HexColor(std::int64_t bgr) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "#%02x%02x%02x", static_cast<int>(bgr & 0xFF),
                static_cast<int>((bgr >> 8) & 0xFF), static_cast<int>((bgr >> 16) & 0xFF));
  return buf;
}

// A colour the toolkit paints itself: the platform's system colours (high
// bit) and -1 leave the theme's.
bool OwnColor(std::int64_t value) { return value >= 0 && value <= 0xFFFFFF; }

}  // namespace

// The mask's places as "_", its literals as they stand (see widgets'
// edit masks): "000%" shows "___%" while the field is empty.
std::string MaskPlaceholder(const std::string& mask) {
  std::string out;
  for (std::size_t i = 0; i < mask.size(); ++i) {
    const char m = mask[i];
    if (m == '\\' && i + 1 < mask.size()) {
      out += mask[++i];
    } else if (std::string_view("09LlAaCc").find(m) != std::string_view::npos) {
      out += '_';
    } else {
      out += m;  // a literal, or a byte of one in UTF-8
    }
  }
  return out;
}

std::string Mnemonic(const std::string& caption) {
  std::string out;
  for (std::size_t i = 0; i < caption.size(); ++i) {
    char c = caption[i];
    if (c == '_') {
      out += "__";
    } else if (c == '&') {
      if (i + 1 < caption.size() && caption[i + 1] == '&') {
        out += '&';
        ++i;
      } else {
        out += '_';
      }
    } else {
      out += c;
    }
  }
  return out;
}

void GtkToolkit::Build(HWND h) {
  Entry& e = *Get(h);
  ApplyGuard guard(*this);
  switch (e.kind) {
    case ControlKind::Window:
    case ControlKind::Dialog: {
      auto* window = new Gtk::Window;
      auto* box = Gtk::manage(new Gtk::EventBox);
      e.client = Gtk::manage(new Gtk::Fixed);
      box->add(*e.client);
      window->add(*box);
      box->show_all();
      window->set_default_size(320, 240);
      if (e.kind == ControlKind::Dialog) window->set_type_hint(Gdk::WINDOW_TYPE_HINT_DIALOG);
      if (e.parent)
        if (Gtk::Window* owner = TopLevelOf(e.parent)) window->set_transient_for(*owner);
      e.widget = window;
      e.painted = box;
      e.owned = true;
      break;
    }
    case ControlKind::Form:
    case ControlKind::TabPage: {
      auto* box = Gtk::manage(new Gtk::EventBox);
      e.client = Gtk::manage(new Gtk::Fixed);
      box->add(*e.client);
      e.client->show();
      e.widget = e.painted = box;
      break;
    }
    case ControlKind::GroupBox: {
      auto* frame = Gtk::manage(new Gtk::Frame);
      e.client = Gtk::manage(new Gtk::Fixed);
      frame->add(*e.client);
      e.client->show();
      e.widget = e.painted = frame;
      break;
    }
    case ControlKind::ToolBar: {
      auto* bar = Gtk::manage(new Gtk::Toolbar);
      bar->set_toolbar_style(Gtk::TOOLBAR_ICONS);
      bar->set_show_arrow(false);
      bar->set_icon_size(Gtk::ICON_SIZE_MENU);
      bar->get_style_context()->add_class("quillmer-toolbar");
      e.widget = e.painted = bar;
      break;
    }
    case ControlKind::ToolButton: {
      const auto style = e.Int(Prop::Style, kStyleButton);
      Gtk::ToolButton* button;
      if (style == kStyleCheck)
        button = Gtk::manage(new Gtk::ToggleToolButton);
      else if (style == kStyleDropDown)
        button = Gtk::manage(new Gtk::MenuToolButton);
      else
        button = Gtk::manage(new Gtk::ToolButton);
      button->set_homogeneous(false);  // 26 wide, not as wide as the widest
      button->set_size_request(style == kStyleDropDown ? -1 : kToolButtonWidth,
                               kToolButtonHeight);
      e.widget = e.painted = button;
      break;
    }
    case ControlKind::ToolSeparator:
      e.widget = e.painted = Gtk::manage(new Gtk::SeparatorToolItem);
      break;
    case ControlKind::Menu:
      e.widget = e.painted = new Gtk::Menu;
      e.owned = true;
      break;
    case ControlKind::MenuItem: {
      const auto style = e.Int(Prop::Style, kStyleButton);
      Gtk::MenuItem* item;
      if (style == kStyleCheck || style == kStyleRadio) {
        auto* check = Gtk::manage(new Gtk::CheckMenuItem);
        check->set_draw_as_radio(style == kStyleRadio);
        item = check;
      } else {
        item = Gtk::manage(new Gtk::MenuItem);
      }
      auto* row = Gtk::manage(new Gtk::Box(Gtk::ORIENTATION_HORIZONTAL, 6));
      auto* image = Gtk::manage(new Gtk::Image);
      image->set_size_request(kImageSize, kImageSize);
      auto* label = Gtk::manage(new Gtk::Label("", true));
      row->pack_start(*image, false, false);
      row->pack_start(*label, false, false);
      item->add(*row);
      row->show_all();
      e.widget = e.painted = item;
      break;
    }
    case ControlKind::MenuSeparator:
      e.widget = e.painted = Gtk::manage(new Gtk::SeparatorMenuItem);
      break;
    case ControlKind::Hint: {
      auto* window = new Gtk::Window(Gtk::WINDOW_POPUP);
      auto* box = Gtk::manage(new Gtk::EventBox);
      auto* label = Gtk::manage(new Gtk::Label);
      label->set_margin_start(3);
      label->set_margin_end(3);
      label->set_margin_top(1);
      label->set_margin_bottom(1);
      box->add(*label);
      window->add(*box);
      box->show_all();
      e.widget = window;
      e.painted = box;
      e.owned = true;
      if (!e.Has(Prop::Color)) e.ints[{Prop::Color, 0}] = 0xE1FFFF;  // the yellowish hint colour
      break;
    }
    case ControlKind::Label: {
      auto* label = Gtk::manage(new Gtk::Label("", true));
      label->set_xalign(0);
      e.widget = e.painted = label;
      break;
    }
    case ControlKind::Button:
      e.widget = e.painted = Gtk::manage(new Gtk::Button("", true));
      break;
    case ControlKind::BitmapButton: {
      auto* button = Gtk::manage(new Gtk::Button);
      auto* row = Gtk::manage(new Gtk::Box(Gtk::ORIENTATION_HORIZONTAL, 4));
      auto* image = Gtk::manage(new Gtk::Image);
      auto* label = Gtk::manage(new Gtk::Label("", true));
      row->pack_start(*image, false, false);
      row->pack_start(*label, true, true);
      row->set_halign(Gtk::ALIGN_CENTER);
      button->add(*row);
      row->show_all();
      e.widget = e.painted = button;
      break;
    }
    case ControlKind::CheckBox:
      e.widget = e.painted = Gtk::manage(new Gtk::CheckButton("", true));
      break;
    case ControlKind::RadioButton: {
      auto* radio = Gtk::manage(new Gtk::RadioButton("", true));
      e.widget = e.painted = radio;
      break;
    }
    case ControlKind::Edit:
    case ControlKind::MaskedEdit:
    case ControlKind::HotKeyEdit:
      e.widget = e.painted = Gtk::manage(new Gtk::Entry);
      // Sized by Width, not by a number of characters.
      static_cast<Gtk::Entry*>(e.widget)->set_width_chars(1);
      if (e.kind == ControlKind::HotKeyEdit)
        static_cast<Gtk::Entry*>(e.widget)->set_editable(false);
      else
        static_cast<Gtk::Entry*>(e.widget)->set_activates_default(true);  // Enter: the default button
      break;
    case ControlKind::SpinEdit: {
      auto* spin = Gtk::manage(new Gtk::SpinButton);
      spin->set_numeric(true);
      spin->set_width_chars(1);
      spin->set_increments(1, 10);
      spin->set_activates_default(true);
      spin->set_range(static_cast<double>(e.Int(Prop::Min, 0)),
                      static_cast<double>(e.Int(Prop::Max, 100)));
      e.widget = e.painted = spin;
      break;
    }
    case ControlKind::ComboBox: {
      auto* combo = Gtk::manage(new Gtk::ComboBoxText(e.Int(Prop::Style) == 1));
      e.widget = e.painted = combo;
      break;
    }
    case ControlKind::ImageComboBox: {
      if (!e.store) e.store = gtk_list_store_new(2, GDK_TYPE_PIXBUF, G_TYPE_STRING);
      GtkWidget* combo = gtk_combo_box_new_with_model(GTK_TREE_MODEL(e.store));
      GtkCellRenderer* pix = gtk_cell_renderer_pixbuf_new();
      GtkCellRenderer* text = gtk_cell_renderer_text_new();
      gtk_cell_layout_pack_start(GTK_CELL_LAYOUT(combo), pix, FALSE);
      gtk_cell_layout_add_attribute(GTK_CELL_LAYOUT(combo), pix, "pixbuf", 0);
      gtk_cell_layout_pack_start(GTK_CELL_LAYOUT(combo), text, TRUE);
      gtk_cell_layout_add_attribute(GTK_CELL_LAYOUT(combo), text, "text", 1);
      e.widget = e.painted = Gtk::manage(Glib::wrap(combo));
      break;
    }
    case ControlKind::UrlLabel: {
      auto* link = Gtk::manage(new Gtk::LinkButton("about:blank", ""));
      link->set_relief(Gtk::RELIEF_NONE);
      e.widget = e.painted = link;
      break;
    }
    case ControlKind::Grid: {
      auto* scroll = Gtk::manage(new Gtk::ScrolledWindow);
      scroll->set_shadow_type(Gtk::SHADOW_IN);
      e.view = gtk_tree_view_new();
      gtk_tree_view_set_grid_lines(TreeOf(e), GTK_TREE_VIEW_GRID_LINES_BOTH);
      gtk_container_add(GTK_CONTAINER(scroll->gobj()), e.view);
      gtk_widget_show(e.view);
      e.widget = e.painted = scroll;
      break;
    }
    case ControlKind::Tabs:
      e.widget = e.painted = Gtk::manage(new Gtk::Notebook);
      break;
    case ControlKind::PageView: {
      auto* box = Gtk::manage(new Gtk::Box(Gtk::ORIENTATION_VERTICAL));
      e.widget = e.painted = box;
      MakePageView(h);
      break;
    }
    case ControlKind::WebView: {
      auto* box = Gtk::manage(new Gtk::Box(Gtk::ORIENTATION_VERTICAL));
      e.widget = e.painted = box;
      MakeWebView(h);
      break;
    }
  }
  Mark(e.widget, h);
  if (!IsTop(e.kind)) {
    if (e.Int(Prop::Visible, 1)) e.widget->show();
  }
  Connect(h);
  Place(h, -1);
  ApplyAll(h);
}

void GtkToolkit::Place(HWND h, int position) {
  Entry& e = *Get(h);
  if (IsTop(e.kind) || !e.parent) return;
  Entry& p = *Get(e.parent);
  switch (p.kind) {
    case ControlKind::ToolBar:
      static_cast<Gtk::Toolbar*>(p.widget)->insert(*static_cast<Gtk::ToolItem*>(e.widget),
                                                   position);
      break;
    case ControlKind::Tabs: {
      auto* label = Gtk::manage(new Gtk::Label(Mnemonic(e.Text(Prop::Caption)), true));
      static_cast<Gtk::Notebook*>(p.widget)->insert_page(*e.widget, *label, position);
      break;
    }
    case ControlKind::Menu:
      static_cast<Gtk::Menu*>(p.widget)->insert(*static_cast<Gtk::MenuItem*>(e.widget), position);
      break;
    case ControlKind::MenuItem:
      if (!p.submenu) {
        p.submenu = new Gtk::Menu;
        Mark(p.submenu, e.parent);
        static_cast<Gtk::MenuItem*>(p.widget)->set_submenu(*p.submenu);
      }
      p.submenu->insert(*static_cast<Gtk::MenuItem*>(e.widget), position);
      break;
    default:
      p.client->put(*e.widget, static_cast<int>(e.Int(Prop::Left)),
                    static_cast<int>(e.Int(Prop::Top)));
      break;
  }
}

// Kinds whose widget class follows Style are made again when it changes, in
// the same place among their siblings.
void GtkToolkit::Rebuild(HWND h) {
  Entry& e = *Get(h);
  ApplyGuard guard(*this);
  int position = -1;
  if (auto* parent = e.widget->get_parent()) {
    if (auto* container = dynamic_cast<Gtk::Container*>(parent)) {
      auto kids = container->get_children();
      for (std::size_t i = 0; i < kids.size(); ++i)
        if (kids[i] == e.widget) position = static_cast<int>(i);
    }
  }
  if (e.submenu) static_cast<Gtk::MenuItem*>(e.widget)->unset_submenu();
  Gtk::Menu* submenu = e.submenu;
  gtk_widget_destroy(e.widget->gobj());
  e.widget = nullptr;
  e.css.reset();
  e.submenu = nullptr;
  // Build places it last; move it back.
  Build(h);
  if (submenu) {
    e.submenu = submenu;
    static_cast<Gtk::MenuItem*>(e.widget)->set_submenu(*submenu);
  }
  if (position >= 0) {
    Entry& p = *Get(e.parent);
    if (p.kind == ControlKind::ToolBar) {
      auto* bar = static_cast<Gtk::Toolbar*>(p.widget);
      g_object_ref(e.widget->gobj());
      bar->remove(*e.widget);
      bar->insert(*static_cast<Gtk::ToolItem*>(e.widget), position);
      g_object_unref(e.widget->gobj());
    } else if (p.kind == ControlKind::Menu || p.kind == ControlKind::MenuItem) {
      auto* shell = p.kind == ControlKind::Menu ? static_cast<Gtk::Menu*>(p.widget) : p.submenu;
      shell->reorder_child(*static_cast<Gtk::MenuItem*>(e.widget), position);
    }
  }
}

void GtkToolkit::ApplyAll(HWND h) {
  Entry& e = *Get(h);
  // Ranges and sizes before the values within them.
  for (Prop p : {Prop::Min, Prop::Max, Prop::ColCount, Prop::FixedRows, Prop::RowCount})
    if (e.Has(p)) Apply(h, p, 0);
  auto ints = e.ints;
  for (const auto& [key, value] : ints) Apply(h, key.first, key.second);
  auto texts = e.texts;
  for (const auto& [key, value] : texts) Apply(h, key.first, key.second);
  auto images = e.images;
  for (const auto& [index, png] : images) Apply(h, Prop::Image, index);
  ApplyStyle(e);
}

void GtkToolkit::ApplyStyle(Entry& e) {
  std::string css;
  if (OwnColor(e.Int(Prop::Color, -1)))
    css += "background-color: " + HexColor(e.Int(Prop::Color)) + "; background-image: none;";
  if (const auto height = e.Int(Prop::FontHeight); height > 0)
    css += "font-size: " + std::to_string(height) + "px;";
  const auto charset = e.Int(Prop::FontCharset, 0);
  if (charset == 134 || charset == 136) css += std::string("font-family: \"") + kChineseFont + "\";";
  if (e.kind == ControlKind::Hint) css += "border: 1px solid #000000;";
  if (!e.painted) return;
  auto context = e.painted->get_style_context();
  if (e.css) context->remove_provider(e.css);
  e.css.reset();
  if (css.empty()) return;
  e.css = Gtk::CssProvider::create();
  try {
    e.css->load_from_data("* {" + css + "}");
  } catch (const Glib::Error&) {
    e.css.reset();
    return;
  }
  context->add_provider(e.css, GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
}

void GtkToolkit::Apply(HWND h, Prop prop, int index) {
  Entry* ep = Get(h);
  if (!ep || !ep->widget) return;
  Entry& e = *ep;
  ApplyGuard guard(*this);
  Gtk::Widget* w = e.widget;
  const std::int64_t v = e.Int(prop, 0, index);
  const std::string& text = e.Text(prop, index);
  switch (prop) {
    case Prop::Name:
      if (!text.empty()) e.name = text;
      break;
    case Prop::Caption: {
      const std::string caption = e.Text(Prop::Caption);
      switch (e.kind) {
        case ControlKind::Window:
        case ControlKind::Dialog:
          static_cast<Gtk::Window*>(w)->set_title(caption);
          break;
        case ControlKind::Label:
          static_cast<Gtk::Label*>(w)->set_text_with_mnemonic(Mnemonic(caption));
          break;
        case ControlKind::Button:
        case ControlKind::CheckBox:
        case ControlKind::RadioButton:
          static_cast<Gtk::Button*>(w)->set_label(Mnemonic(caption));
          break;
        case ControlKind::UrlLabel:
          static_cast<Gtk::Button*>(w)->set_label(caption);
          break;
        case ControlKind::BitmapButton:
        case ControlKind::MenuItem: {
          auto* row = static_cast<Gtk::Box*>(static_cast<Gtk::Bin*>(w)->get_child());
          auto kids = row->get_children();
          static_cast<Gtk::Label*>(kids.back())->set_text_with_mnemonic(Mnemonic(caption));
          break;
        }
        case ControlKind::GroupBox:
          static_cast<Gtk::Frame*>(w)->set_label(caption);
          break;
        case ControlKind::ToolButton:
          static_cast<Gtk::ToolButton*>(w)->set_label(caption);
          break;
        case ControlKind::Hint: {
          auto* box = static_cast<Gtk::Bin*>(static_cast<Gtk::Bin*>(w)->get_child());
          static_cast<Gtk::Label*>(box->get_child())->set_text(caption);
          break;
        }
        case ControlKind::TabPage:
          if (auto* book = dynamic_cast<Gtk::Notebook*>(w->get_parent()))
            if (auto* label = dynamic_cast<Gtk::Label*>(book->get_tab_label(*w)))
              label->set_text_with_mnemonic(Mnemonic(caption));
          break;
        default:
          break;
      }
      break;
    }
    case Prop::Hint:
      // The tool bar shows no hints of its buttons.
      if (e.kind != ControlKind::ToolButton && e.kind != ControlKind::Hint)
        w->set_tooltip_text(text);
      break;
    case Prop::Text:
      if (e.kind == ControlKind::PageView) {
        e.pageFromUrl = false;
        ShowPage(h);
      } else if (Gtk::Entry* entry = EntryOf(e)) {
        // An owner setting back what the user typed keeps the caret where
        // it was.
        const int caret = entry->get_position();
        if (entry->get_text() != text) {
          entry->set_text(text);
          entry->set_position(std::min(caret, static_cast<int>(entry->get_text_length())));
        }
      }
      break;
    case Prop::Visible:
      if (e.kind == ControlKind::Menu) break;  // PopupMenu shows it
      if (!v) {
        w->hide();
      } else if (auto* window = dynamic_cast<Gtk::Window*>(w)) {
        if (e.kind == ControlKind::Hint) {
          window->move(static_cast<int>(e.Int(Prop::Left)), static_cast<int>(e.Int(Prop::Top)));
          window->show();
        } else {
          window->present();
        }
      } else {
        w->show();
      }
      break;
    case Prop::Enabled:
      w->set_sensitive(v != 0);
      break;
    case Prop::Checked:
      if (e.kind == ControlKind::RadioButton) {
        auto* radio = static_cast<Gtk::RadioButton*>(w);
        if (v)
          radio->set_active(true);
        else if (radio->get_active() && e.noneOfGroup)
          e.noneOfGroup->set_active(true);
        else if (radio->get_active())
          RegroupRadio(h);
      } else if (auto* toggle = dynamic_cast<Gtk::ToggleButton*>(w)) {
        toggle->set_active(v != 0);
      } else if (auto* tool = dynamic_cast<Gtk::ToggleToolButton*>(w)) {
        tool->set_active(v != 0);
      } else if (auto* check = dynamic_cast<Gtk::CheckMenuItem*>(w)) {
        check->set_active(v != 0);
      }
      break;
    case Prop::Style:
      if (e.kind == ControlKind::Grid) {
        ApplyGrid(h);
        break;
      }
      if ((e.kind == ControlKind::ToolButton &&
           (v == kStyleCheck) != (dynamic_cast<Gtk::ToggleToolButton*>(w) != nullptr)) ||
          (e.kind == ControlKind::ToolButton &&
           (v == kStyleDropDown) != (dynamic_cast<Gtk::MenuToolButton*>(w) != nullptr)) ||
          (e.kind == ControlKind::MenuItem &&
           (v == kStyleCheck || v == kStyleRadio) !=
               (dynamic_cast<Gtk::CheckMenuItem*>(w) != nullptr)) ||
          (e.kind == ControlKind::ComboBox &&
           (v == 1) != static_cast<Gtk::ComboBox*>(w)->get_has_entry())) {
        Rebuild(h);
      } else if (e.kind == ControlKind::MenuItem) {
        if (auto* check = dynamic_cast<Gtk::CheckMenuItem*>(w))
          check->set_draw_as_radio(v == kStyleRadio);
      }
      break;
    case Prop::Image: {
      auto it = e.images.find(index);
      if (it == e.images.end()) break;
      const auto& png = it->second;
      if (e.kind == ControlKind::ToolButton) {
        static_cast<Gtk::ToolButton*>(w)->set_icon_widget(*ImageOf(png));
      } else if (e.kind == ControlKind::MenuItem || e.kind == ControlKind::BitmapButton) {
        auto* row = static_cast<Gtk::Box*>(static_cast<Gtk::Bin*>(w)->get_child());
        auto* image = static_cast<Gtk::Image*>(row->get_children().front());
        if (auto pixbuf = PixbufOf(png, kImageSize)) image->set(pixbuf);
      } else if (e.kind == ControlKind::ImageComboBox) {
        GtkTreeIter iter;
        if (gtk_tree_model_iter_nth_child(GTK_TREE_MODEL(e.store), &iter, nullptr, index)) {
          auto pixbuf = PixbufOf(png, kImageSize);  // none: the item shows no image
          gtk_list_store_set(e.store, &iter, 0, pixbuf ? pixbuf->gobj() : nullptr, -1);
        }
      } else if (auto* window = dynamic_cast<Gtk::Window*>(w)) {
        if (auto pixbuf = PixbufOf(png, 0)) window->set_icon(pixbuf);
      }
      break;
    }
    case Prop::Left:
    case Prop::Top:
    case Prop::Width:
    case Prop::Height:
      ApplyGeometry(h, prop);
      break;
    case Prop::Color:
    case Prop::FontCharset:
    case Prop::FontHeight:
      ApplyStyle(e);
      break;
    case Prop::Value:
    case Prop::Min:
    case Prop::Max:
      if (auto* spin = dynamic_cast<Gtk::SpinButton*>(w)) {
        spin->set_range(static_cast<double>(e.Int(Prop::Min, 0)),
                        static_cast<double>(e.Int(Prop::Max, 100)));
        if (e.Has(Prop::Value)) spin->set_value(static_cast<double>(e.Int(Prop::Value)));
      }
      break;
    case Prop::MaxLength:
      break;  // the user's typing is cut by the entry's filter; set text stays whole
    case Prop::ReadOnly:
      if (e.kind == ControlKind::Grid) {
        ApplyGrid(h);
      } else if (e.kind != ControlKind::HotKeyEdit) {
        if (Gtk::Entry* entry = EntryOf(e)) entry->set_editable(v == 0);
        if (e.kind == ControlKind::PageView && !e.webkit && e.view)
          gtk_text_view_set_editable(GTK_TEXT_VIEW(e.view), FALSE);
      }
      break;
    case Prop::Mask:
      // The widget takes or undoes each change (QM_CHANGE); the mask shows
      // what is expected while the field is empty.
      if (e.kind == ControlKind::MaskedEdit)
        static_cast<Gtk::Entry*>(w)->set_placeholder_text(MaskPlaceholder(text));
      break;
    case Prop::HotKey:
      if (e.kind == ControlKind::HotKeyEdit && !e.texts.count({Prop::Text, 0}))
        static_cast<Gtk::Entry*>(w)->set_text(HotKeyText(static_cast<unsigned>(v)));
      break;
    case Prop::Items:
      if (e.kind == ControlKind::ComboBox) {
        auto* combo = static_cast<Gtk::ComboBoxText*>(w);
        const int count = gtk_tree_model_iter_n_children(combo->get_model()->gobj(), nullptr);
        if (index >= count) {
          combo->append(text);
        } else if (index >= 0) {
          const int active = combo->get_active_row_number();
          combo->remove_text(index);
          combo->insert(index, text);
          if (active == index) combo->set_active(index);
        }
      } else if (e.kind == ControlKind::ImageComboBox) {
        GtkTreeIter iter;
        if (!gtk_tree_model_iter_nth_child(GTK_TREE_MODEL(e.store), &iter, nullptr, index))
          gtk_list_store_append(e.store, &iter);
        gtk_list_store_set(e.store, &iter, 1, text.c_str(), -1);
      }
      break;
    case Prop::ItemCount:
      // Fewer items than there are: the rest go.
      if (e.kind == ControlKind::ComboBox || e.kind == ControlKind::ImageComboBox) {
        GtkTreeModel* model = gtk_combo_box_get_model(GTK_COMBO_BOX(w->gobj()));
        GtkTreeIter iter;
        while (gtk_tree_model_iter_n_children(model, nullptr) > v &&
               gtk_tree_model_iter_nth_child(model, &iter, nullptr,
                                             gtk_tree_model_iter_n_children(model, nullptr) - 1))
          gtk_list_store_remove(GTK_LIST_STORE(model), &iter);
        e.images.erase(e.images.lower_bound(static_cast<int>(std::max<std::int64_t>(v, 0))),
                       e.images.end());
      } else if (e.kind == ControlKind::WebView) {
        std::erase_if(e.texts, [v](const auto& kv) {
          return kv.first.first == Prop::Items && kv.first.second >= v;
        });
      }
      break;
    case Prop::ItemIndex:
      if (auto* combo = dynamic_cast<Gtk::ComboBox*>(w))
        combo->set_active(static_cast<int>(v));
      else if (auto* book = dynamic_cast<Gtk::Notebook*>(w))
        book->set_current_page(static_cast<int>(v));
      break;
    case Prop::RowCount:
    case Prop::ColCount:
    case Prop::FixedRows:
    case Prop::ColWidth:
      if (e.kind == ControlKind::Grid) ApplyGrid(h);
      break;
    case Prop::RowText:
      if (e.kind == ControlKind::Grid) SetGridRow(h, index, text);
      break;
    case Prop::Editing:
      e.ints.erase({Prop::Editing, 0});  // the editor itself says whether it is open
      if (e.kind == ControlKind::Grid) {
        if (v)
          StartGridEditing(h, false);
        else
          EndGridEditing(h);
      }
      break;
    case Prop::Cancel:     // Escape finds it (signals)
    case Prop::ImageItem:  // read by SetBytes
    case Prop::CellBounds:
    case Prop::Loading:
    case Prop::CanGoBack:
    case Prop::CanGoForward:
      break;
    case Prop::Navigate:
      if (e.kind == ControlKind::WebView) NavigateWebView(h, v);
      break;
    case Prop::Row:
    case Prop::Col:
      if (e.kind == ControlKind::Grid) MoveGridCursor(h);
      break;
    case Prop::Cell:
      if (e.kind == ControlKind::Grid) SetGridCell(h, text);
      break;
    case Prop::RadioGroup:
      if (e.kind == ControlKind::RadioButton) RegroupRadio(h);
      break;
    case Prop::DropDownMenu:
      if (auto* button = dynamic_cast<Gtk::MenuToolButton*>(w)) {
        Entry* menu = Get(reinterpret_cast<HWND>(static_cast<std::uintptr_t>(v)));
        if (menu && menu->kind == ControlKind::Menu) {
          auto* gmenu = static_cast<Gtk::Menu*>(menu->widget);
          if (gmenu->get_attach_widget()) gmenu->detach();
          button->set_menu(*gmenu);
        }
      }
      break;
    case Prop::Url:
      if (e.kind == ControlKind::PageView) {
        e.pageFromUrl = true;
        ShowPage(h);
      } else if (e.kind == ControlKind::WebView) {
        LoadWebView(h);
      }
      if (auto* link = dynamic_cast<Gtk::LinkButton*>(w)) link->set_uri(text);
      break;
    case Prop::Base:
      break;  // read with Text
    case Prop::Focused:
      if (v) {
        if (auto* top = dynamic_cast<Gtk::Window*>(w->get_toplevel())) top->present();
        if (e.kind == ControlKind::Grid || e.kind == ControlKind::PageView ||
            e.kind == ControlKind::WebView)
          gtk_widget_grab_focus(e.view);
        else
          w->grab_focus();
      }
      break;
    case Prop::Modal:
      if (e.kind == ControlKind::Dialog) {
        auto* window = static_cast<Gtk::Window*>(w);
        window->set_modal(v != 0);
        if (v) {
          window->set_position(Gtk::WIN_POS_CENTER_ON_PARENT);
          window->present();
        } else {
          window->hide();
        }
      }
      break;
    case Prop::Default:
      if (e.kind == ControlKind::Button && v) {
        w->set_can_default(true);
        if (auto* top = dynamic_cast<Gtk::Window*>(w->get_toplevel())) top->set_default(*w);
      }
      break;
    case Prop::ScreenLeft:
    case Prop::ScreenTop:
      break;
  }
}

// Radio buttons of one parent and group exclude each other; each group has a
// hidden member that holds the choice when none of the shown ones is checked.
void GtkToolkit::RegroupRadio(HWND h) {
  Entry& e = *Get(h);
  auto* radio = static_cast<Gtk::RadioButton*>(e.widget);
  const auto group = e.Int(Prop::RadioGroup);
  Gtk::RadioButton* none = nullptr;
  if (Entry* p = Get(e.parent)) {
    for (HWND sibling : p->children) {
      Entry* s = Get(sibling);
      if (sibling != h && s && s->kind == ControlKind::RadioButton && s->noneOfGroup &&
          s->Int(Prop::RadioGroup) == group) {
        none = s->noneOfGroup;
        break;
      }
    }
  }
  if (!none) {
    if (!e.noneOfGroup) e.noneOfGroup = new Gtk::RadioButton;
    none = e.noneOfGroup;
  }
  // Joining leaves the group's choice as it was; a button checked alone
  // before gives it up unless it is to be checked.
  const bool wasActive = radio->get_active();
  Gtk::RadioButton::Group members = none->get_group();
  radio->set_group(members);
  if (e.Int(Prop::Checked))
    radio->set_active(true);
  else if (wasActive && radio->get_active())
    none->set_active(true);
}

// Geometry: Left/Top in the parent's client area (screen for top-levels).
void GtkToolkit::ApplyGeometry(HWND h, Prop prop) {
  Entry& e = *Get(h);
  Gtk::Widget* w = e.widget;
  const int left = static_cast<int>(e.Int(Prop::Left)), top = static_cast<int>(e.Int(Prop::Top));
  const int width = static_cast<int>(e.Int(Prop::Width, -1));
  const int height = static_cast<int>(e.Int(Prop::Height, -1));
  if (auto* window = dynamic_cast<Gtk::Window*>(w)) {
    if (prop == Prop::Left || prop == Prop::Top) {
      window->move(left, top);
    } else if (width > 0 && height > 0) {
      window->set_default_size(width, height);
      window->resize(width, height);
    } else if (e.kind == ControlKind::Hint) {
      window->set_size_request(width, height);
    }
    return;
  }
  if (prop == Prop::Width || prop == Prop::Height) {
    if (e.kind == ControlKind::Menu || e.kind == ControlKind::MenuItem) return;
    w->set_size_request(width, height);
    return;
  }
  if (Entry* p = Get(e.parent); p && p->client && w->get_parent() == p->client)
    p->client->move(*w, left, top);
}

std::int64_t GtkToolkit::ReadInt(const Entry& e, HWND h, Prop prop, int index) const {
  Gtk::Widget* w = e.widget;
  if (!w) return e.Int(prop, 0, index);
  switch (prop) {
    case Prop::Visible:
      if (e.kind == ControlKind::Menu) return w->get_mapped();
      return w->get_visible();
    case Prop::Enabled:
      return w->get_sensitive();
    case Prop::Checked:
      if (e.kind == ControlKind::RadioButton || e.kind == ControlKind::CheckBox)
        return static_cast<Gtk::ToggleButton*>(w)->get_active();
      if (auto* tool = dynamic_cast<Gtk::ToggleToolButton*>(w)) return tool->get_active();
      if (auto* check = dynamic_cast<Gtk::CheckMenuItem*>(w)) return check->get_active();
      return e.Int(prop);
    case Prop::Value:
      // What the user typed, held within the range; the text stays as typed.
      if (auto* spin = dynamic_cast<Gtk::SpinButton*>(w)) {
        char* end = nullptr;
        const std::string typed = spin->get_text();
        const long long n = std::strtoll(typed.c_str(), &end, 10);
        if (typed.empty() || (end && *end)) return spin->get_value_as_int();
        return std::clamp<long long>(n, e.Int(Prop::Min, 0), e.Int(Prop::Max, 100));
      }
      return e.Int(prop);
    case Prop::Editing:
      return e.kind == ControlKind::Grid && GridEditing(e);
    case Prop::Loading:
      if (e.kind == ControlKind::WebView && e.view)
        return webkit_web_view_is_loading(WEBKIT_WEB_VIEW(e.view));
      return e.Int(prop);
    case Prop::CanGoBack:
      return e.kind == ControlKind::WebView && e.view &&
             webkit_web_view_can_go_back(WEBKIT_WEB_VIEW(e.view));
    case Prop::CanGoForward:
      return e.kind == ControlKind::WebView && e.view &&
             webkit_web_view_can_go_forward(WEBKIT_WEB_VIEW(e.view));
    case Prop::CellBounds:
      return e.kind == ControlKind::Grid ? GridCellBounds(e, index) : 0;
    case Prop::ColWidth:
      return e.kind == ControlKind::Grid ? GridColWidth(e, index) : e.Int(prop, 0, index);
    case Prop::ItemIndex:
      if (auto* combo = dynamic_cast<Gtk::ComboBox*>(w)) return combo->get_active_row_number();
      if (auto* book = dynamic_cast<Gtk::Notebook*>(w)) return book->get_current_page();
      return e.Int(prop, -1);
    case Prop::ItemCount:
      if (auto* combo = dynamic_cast<Gtk::ComboBox*>(w))
        return gtk_tree_model_iter_n_children(gtk_combo_box_get_model(combo->gobj()), nullptr);
      if (auto* book = dynamic_cast<Gtk::Notebook*>(w)) return book->get_n_pages();
      if (e.kind == ControlKind::WebView)
        return std::count_if(e.texts.begin(), e.texts.end(),
                             [](const auto& kv) { return kv.first.first == Prop::Items; });
      return static_cast<std::int64_t>(e.children.size());
    case Prop::Row:
    case Prop::Col:
      if (e.kind == ControlKind::Grid) return GridCursor(e, prop);
      return e.Int(prop);
    case Prop::Focused: {
      auto* top = dynamic_cast<Gtk::Window*>(w->get_toplevel());
      Gtk::Widget* focus = top ? top->get_focus() : nullptr;
      return focus && HandleOf(focus) == h;
    }
    case Prop::Modal:
      if (auto* window = dynamic_cast<Gtk::Window*>(w))
        return window->get_modal() && window->get_visible();
      return 0;
    case Prop::Left:
    case Prop::Top:
    case Prop::Width:
    case Prop::Height:
    case Prop::ScreenLeft:
    case Prop::ScreenTop:
      return ReadGeometry(e, prop);
    default:
      return e.Int(prop, prop == Prop::Color ? -1 : 0, index);
  }
}

std::string GtkToolkit::ReadText(const Entry& e, Prop prop, int index) const {
  Gtk::Widget* w = e.widget;
  if (w) {
    switch (prop) {
      case Prop::Name:
        return e.name;
      case Prop::Text:
        if (e.kind == ControlKind::PageView) break;
        if (Gtk::Entry* entry = EntryOf(e)) return entry->get_text();
        if (auto* combo = dynamic_cast<Gtk::ComboBoxText*>(w)) return combo->get_active_text();
        break;
      case Prop::Items:
        if (auto* combo = dynamic_cast<Gtk::ComboBox*>(w)) {
          GtkTreeModel* model = gtk_combo_box_get_model(combo->gobj());
          GtkTreeIter iter;
          if (!gtk_tree_model_iter_nth_child(model, &iter, nullptr, index)) return "";
          gchar* text = nullptr;
          gtk_tree_model_get(model, &iter, e.kind == ControlKind::ImageComboBox ? 1 : 0, &text,
                             -1);
          std::string out = text ? text : "";
          g_free(text);
          return out;
        }
        break;
      case Prop::Cell:
        if (e.kind == ControlKind::Grid) return GridCell(e);
        break;
      case Prop::RowText:
        if (e.kind == ControlKind::Grid) return GridRow(e, index);
        break;
      case Prop::Url:
        if (auto* link = dynamic_cast<Gtk::LinkButton*>(w)) return link->get_uri();
        if (e.kind == ControlKind::WebView && e.view)
          if (const char* uri = webkit_web_view_get_uri(WEBKIT_WEB_VIEW(e.view))) return uri;
        break;
      case Prop::Caption:
        if (e.kind == ControlKind::WebView && e.view) {
          const char* title = webkit_web_view_get_title(WEBKIT_WEB_VIEW(e.view));
          return title ? title : "";
        }
        break;
      default:
        break;
    }
  }
  return e.Text(prop, index);
}

}  // namespace quillmer::gui
