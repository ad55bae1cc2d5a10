// What the user does to the widgets, as messages to the handles' sinks.
#include "platform/gui/gtk_toolkit.h"
#include "platform/win32/keys.h"

namespace quillmer::gui {
namespace {

LPARAM SizeParam(int width, int height) {
  return static_cast<LPARAM>((static_cast<unsigned>(height & 0xFFFF) << 16) |
                             static_cast<unsigned>(width & 0xFFFF));
}

}  // namespace

void GtkToolkit::SendKeyDown(GtkWidget* focus, unsigned vk, unsigned modifiers, bool* handled) {
  // The focused control first, then each window it sits in.
  for (HWND h = focus ? HandleOf(Glib::wrap(focus)) : nullptr; h && !*handled; h = Parent(h))
    *handled = Send(h, WM_KEYDOWN, vk, static_cast<LPARAM>(modifiers)) != 0;
}

bool GtkToolkit::ClickCancel(HWND window) {
  // Pre-order over the window's controls: the first usable cancel button.
  std::vector<HWND> stack{window};
  while (!stack.empty()) {
    HWND h = stack.back();
    stack.pop_back();
    Entry* e = Get(h);
    if (!e) continue;
    if ((e->kind == ControlKind::Button || e->kind == ControlKind::BitmapButton) &&
        e->Int(Prop::Cancel) && e->widget && e->widget->get_is_drawable() &&
        e->widget->is_sensitive()) {
      static_cast<Gtk::Button*>(e->widget)->clicked();
      return true;
    }
    for (auto it = e->children.rbegin(); it != e->children.rend(); ++it) stack.push_back(*it);
  }
  return false;
}

void GtkToolkit::Connect(HWND h) {
  Entry& e = *Get(h);
  Gtk::Widget* w = e.widget;
  auto user = [this] { return !Applying(); };

  switch (e.kind) {
    case ControlKind::Window:
    case ControlKind::Dialog: {
      auto* window = static_cast<Gtk::Window*>(w);
      window->signal_delete_event().connect([this, h](GdkEventAny*) {
        if (Send(h, QM_CLOSEQUERY, 0, 0)) return true;
        // A dialog is hidden and its modal loop ends; its owner frees it.
        if (Entry* me = Get(h); me && me->kind == ControlKind::Dialog)
          SetInt(h, Prop::Modal, 0, 0);
        else
          Destroy(h);
        return true;
      });
      window->signal_key_press_event().connect(
          [this, window](GdkEventKey* event) {
            const unsigned vk = VirtualKeyOf(event);
            if (!vk) return false;
            bool handled = false;
            Gtk::Widget* focus = window->get_focus();
            SendKeyDown(focus ? focus->gobj() : GTK_WIDGET(window->gobj()), vk,
                        ModifierBitsOf(event->state), &handled);
            return handled;
          },
          false);
      // After the focused control: an open cell editor or pop-up takes its
      // Escape first.
      window->signal_key_press_event().connect(
          [this, h](GdkEventKey* event) {
            return VirtualKeyOf(event) == 0x1B && !ModifierBitsOf(event->state) &&
                   ClickCancel(h);
          },
          true);
      window->signal_set_focus().connect([this, h](Gtk::Widget* focus) {
        Entry* me = Get(h);
        if (!me) return;
        HWND now = focus ? HandleOf(focus) : nullptr;
        HWND before = me->lastFocus;
        if (now == before) return;
        me->lastFocus = now;
        if (before && Get(before)) Send(before, QM_FOCUS, 0, 0);
        if (now) Send(now, QM_FOCUS, 1, 0);
      });
      break;
    }
    case ControlKind::ToolBar:
      static_cast<Gtk::Toolbar*>(w)->signal_popup_context_menu().connect(
          [this, h](int x, int y, int) {
            int rootX = x, rootY = y;
            if (GdkEvent* event = gtk_get_current_event()) {
              double dx, dy;
              if (gdk_event_get_root_coords(event, &dx, &dy)) {
                rootX = static_cast<int>(dx);
                rootY = static_cast<int>(dy);
              }
              gdk_event_free(event);
            }
            Send(h, QM_CONTEXTMENU, static_cast<WPARAM>(rootX), rootY);
            return true;
          });
      break;
    case ControlKind::ToolButton: {
      auto* button = static_cast<Gtk::ToolButton*>(w);
      button->signal_clicked().connect([this, h, user] {
        if (user()) Send(h, QM_CLICK, 0, 0);
      });
      if (auto* drop = dynamic_cast<Gtk::MenuToolButton*>(w))
        drop->signal_show_menu().connect([this, h] {
          if (Entry* me = Get(h))
            Send(reinterpret_cast<HWND>(static_cast<std::uintptr_t>(me->Int(Prop::DropDownMenu))),
                 QM_POPUP, 0, 0);
        });
      break;
    }
    case ControlKind::MenuItem:
      static_cast<Gtk::MenuItem*>(w)->signal_activate().connect(
          [this, h, user] {
            Entry* me = Get(h);
            if (!me || !user()) return;
            if (me->submenu) {  // opening its submenu
              Send(h, QM_POPUP, 0, 0);
              return;
            }
            // The owner sets the check mark; GTK's own toggle is undone.
            if (auto* check = dynamic_cast<Gtk::CheckMenuItem*>(me->widget)) {
              ApplyGuard guard(*this);
              check->set_active(me->Int(Prop::Checked) != 0);
            }
            Send(h, QM_CLICK, 0, 0);
          },
          true);
      break;
    case ControlKind::Button:
    case ControlKind::BitmapButton:
      static_cast<Gtk::Button*>(w)->signal_clicked().connect([this, h, user] {
        if (user()) Send(h, QM_CLICK, 0, 0);
      });
      break;
    case ControlKind::CheckBox:
    case ControlKind::RadioButton: {
      auto* toggle = static_cast<Gtk::ToggleButton*>(w);
      toggle->signal_toggled().connect([this, h, toggle, user] {
        if (!user()) return;
        Entry* me = Get(h);
        if (!me) return;
        me->ints[{Prop::Checked, 0}] = toggle->get_active();
        // A radio button is clicked when it becomes the chosen one.
        if (me->kind == ControlKind::CheckBox || toggle->get_active()) Send(h, QM_CLICK, 0, 0);
      });
      break;
    }
    case ControlKind::Edit:
    case ControlKind::MaskedEdit:
    case ControlKind::SpinEdit: {
      // A masked edit's owner takes or undoes each change by setting the
      // text back; a spin edit's text is told as typed, and so are steps.
      auto* entry = static_cast<Gtk::Entry*>(w);
      entry->signal_changed().connect([this, h, user] {
        if (user()) Send(h, QM_CHANGE, 0, 0);
      });
      // Typing stops at MaxLength; text the program sets is kept whole.
      entry->signal_insert_text().connect(
          [this, h, entry](const Glib::ustring& text, int* position) {
            Entry* me = Get(h);
            if (!me || Applying()) return;
            const auto limit = me->Int(Prop::MaxLength);
            if (limit <= 0) return;
            const auto room = limit - static_cast<std::int64_t>(entry->get_text_length());
            if (room >= static_cast<std::int64_t>(text.size())) return;
            entry->signal_insert_text().emission_stop();
            if (room <= 0) {
              entry->error_bell();
              return;
            }
            const Glib::ustring fits = text.substr(0, static_cast<Glib::ustring::size_type>(room));
            int at = *position;
            entry->insert_text(fits, static_cast<int>(fits.bytes()), at);
            *position = at;
          },
          false);
      if (e.kind == ControlKind::SpinEdit)
        static_cast<Gtk::SpinButton*>(w)->signal_value_changed().connect([this, h] {
          if (Entry* me = Get(h))
            me->ints[{Prop::Value, 0}] =
                static_cast<Gtk::SpinButton*>(me->widget)->get_value_as_int();
        });
      break;
    }
    case ControlKind::HotKeyEdit:
      // Its window sent each key to its owner as WM_KEYDOWN before the edit
      // sees it; none is typed, and Tab and Shift+Tab move the focus.
      static_cast<Gtk::Entry*>(w)->signal_key_press_event().connect(
          [](GdkEventKey* event) {
            const unsigned modifiers = ModifierBitsOf(event->state) & ~kHotKeyShift;
            return !(VirtualKeyOf(event) == 0x09 && !modifiers);
          },
          false);
      break;
    case ControlKind::ComboBox:
    case ControlKind::ImageComboBox:
      static_cast<Gtk::ComboBox*>(w)->signal_changed().connect([this, h, user] {
        if (user()) Send(h, QM_CHANGE, 0, 0);
      });
      break;
    case ControlKind::UrlLabel:
      static_cast<Gtk::LinkButton*>(w)->signal_activate_link().connect(
          [this, h] { return Send(h, QM_CLICK, 0, 0) != 0; }, false);
      break;
    case ControlKind::Tabs:
      static_cast<Gtk::Notebook*>(w)->signal_switch_page().connect(
          [this, h, user](Gtk::Widget*, guint) {
            if (user()) Send(h, QM_CHANGE, 0, 0);
          });
      break;
    case ControlKind::Grid: {
      Gtk::Widget* view = Glib::wrap(e.view);
      view->add_events(Gdk::BUTTON_PRESS_MASK | Gdk::KEY_PRESS_MASK);
      view->signal_key_press_event().connect(
          [this, h](GdkEventKey* event) { return GridKey(h, event); }, false);
      view->signal_button_press_event().connect(
          [this, h](GdkEventButton* event) { return GridButton(h, event); }, false);
      struct Cursor {
        GtkToolkit* toolkit;
        HWND grid;
      };
      g_signal_connect_data(
          e.view, "cursor-changed", G_CALLBACK(+[](GtkTreeView*, gpointer data) {
            auto* c = static_cast<Cursor*>(data);
            c->toolkit->ReadGridCursor(c->grid);
          }),
          new Cursor{this, h}, [](gpointer data, GClosure*) { delete static_cast<Cursor*>(data); },
          GConnectFlags{});
      break;
    }
    default:
      break;
  }

  // The pointer over buttons, for faces that change under it.
  if (e.kind == ControlKind::Button || e.kind == ControlKind::BitmapButton ||
      e.kind == ControlKind::UrlLabel) {
    w->add_events(Gdk::ENTER_NOTIFY_MASK | Gdk::LEAVE_NOTIFY_MASK);
    auto crossing = [this, h](GdkEventCrossing* event) {
      if (event->detail != GDK_NOTIFY_INFERIOR)
        Send(h, QM_HOVER, event->type == GDK_ENTER_NOTIFY ? 1 : 0, 0);
      return false;
    };
    w->signal_enter_notify_event().connect(crossing, false);
    w->signal_leave_notify_event().connect(crossing, false);
  }

  // Sizes of the areas that hold controls.
  if (e.client) {
    e.painted->signal_size_allocate().connect([this, h](Gtk::Allocation& a) {
      Entry* me = Get(h);
      if (!me || (a.get_width() == me->lastWidth && a.get_height() == me->lastHeight)) return;
      me->lastWidth = a.get_width();
      me->lastHeight = a.get_height();
      Send(h, WM_SIZE, 0, SizeParam(a.get_width(), a.get_height()));
    });
  }
  // Right clicks on areas and grids.
  if (e.kind == ControlKind::Form || e.kind == ControlKind::TabPage ||
      e.kind == ControlKind::Grid) {
    Gtk::Widget* target = e.kind == ControlKind::Grid ? Glib::wrap(e.view) : e.painted;
    target->add_events(Gdk::BUTTON_PRESS_MASK);
    target->signal_button_press_event().connect(
        [this, h](GdkEventButton* event) {
          if (event->type != GDK_BUTTON_PRESS || event->button != 3) return false;
          Send(h, QM_CONTEXTMENU, static_cast<WPARAM>(event->x_root),
               static_cast<LPARAM>(event->y_root));
          return true;
        },
        false);
  }
}

}  // namespace quillmer::gui
