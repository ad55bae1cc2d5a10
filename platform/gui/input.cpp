// What a user does through the display server (pointer, keys), what the
// display shows (geometry, pictures), and keys as virtual-key codes.
// gtkmm before Xlib: Xlib's macros clash with its names.
#include "platform/gui/gtk_toolkit.h"
#include "platform/win32/keys.h"

#include <X11/Xlib.h>
#include <X11/extensions/XI2.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <gdk/gdkkeysyms.h>
#include <gdk/gdkx.h>

#include <atomic>
#include <cstdio>

namespace quillmer::gui {
namespace {

std::atomic<std::uint64_t> g_buttonReleases{0};
std::atomic<std::uint64_t> g_keyReleases{0};

GdkFilterReturn CountInput(GdkXEvent* xevent, GdkEvent*, gpointer) {
  const auto* event = static_cast<const XEvent*>(xevent);
  // GTK takes pointer and keys through XInput 2: they come as generic events.
  const int type = event->type == GenericEvent ? event->xcookie.evtype : -1;
  if (event->type == ButtonRelease || type == XI_ButtonRelease) ++g_buttonReleases;
  if (event->type == KeyRelease || type == XI_KeyRelease) ++g_keyReleases;
  return GDK_FILTER_CONTINUE;
}

Display* XDisplay() {
  GdkDisplay* display = gdk_display_get_default();
  return display && GDK_IS_X11_DISPLAY(display) ? GDK_DISPLAY_XDISPLAY(display) : nullptr;
}

bool HasXTest(Display* dpy) {
  int event, error, major, minor;
  return dpy && XTestQueryExtension(dpy, &event, &error, &major, &minor);
}

struct KeyName {
  unsigned vk;
  unsigned keyval;
  const char* name;
};

// Keys whose virtual-key code is not their character.
constexpr KeyName kKeys[] = {
    {VK_BACK, GDK_KEY_BackSpace, "Backspace"}, {VK_TAB, GDK_KEY_Tab, "Tab"},
    {VK_TAB, GDK_KEY_ISO_Left_Tab, "Tab"},     {VK_RETURN, GDK_KEY_Return, "Enter"},
    {VK_RETURN, GDK_KEY_KP_Enter, "Enter"},    {VK_SHIFT, GDK_KEY_Shift_L, "Shift"},
    {VK_SHIFT, GDK_KEY_Shift_R, "Shift"},      {VK_CONTROL, GDK_KEY_Control_L, "Ctrl"},
    {VK_CONTROL, GDK_KEY_Control_R, "Ctrl"},   {VK_MENU, GDK_KEY_Alt_L, "Alt"},
    {VK_MENU, GDK_KEY_Alt_R, "Alt"},           {VK_PAUSE, GDK_KEY_Pause, "Pause"},
    {VK_ESCAPE, GDK_KEY_Escape, "Esc"},        {VK_SPACE, GDK_KEY_space, "Space"},
    {VK_PRIOR, GDK_KEY_Page_Up, "PgUp"},       {VK_NEXT, GDK_KEY_Page_Down, "PgDn"},
    {VK_END, GDK_KEY_End, "End"},              {VK_HOME, GDK_KEY_Home, "Home"},
    {VK_LEFT, GDK_KEY_Left, "Left"},           {VK_UP, GDK_KEY_Up, "Up"},
    {VK_RIGHT, GDK_KEY_Right, "Right"},        {VK_DOWN, GDK_KEY_Down, "Down"},
    {VK_INSERT, GDK_KEY_Insert, "Ins"},        {VK_DELETE, GDK_KEY_Delete, "Del"},
    {VK_MULTIPLY, GDK_KEY_KP_Multiply, "Num *"}, {VK_ADD, GDK_KEY_KP_Add, "Num +"},
    {VK_SUBTRACT, GDK_KEY_KP_Subtract, "Num -"}, {VK_DECIMAL, GDK_KEY_KP_Decimal, "Num ."},
    {VK_DIVIDE, GDK_KEY_KP_Divide, "Num /"},   {0xBA, GDK_KEY_semicolon, ";"},
    {0xBB, GDK_KEY_equal, "="},                {0xBC, GDK_KEY_comma, ","},
    {0xBD, GDK_KEY_minus, "-"},                {0xBE, GDK_KEY_period, "."},
    {0xBF, GDK_KEY_slash, "/"},                {0xC0, GDK_KEY_grave, "`"},
    {0xDB, GDK_KEY_bracketleft, "["},          {0xDC, GDK_KEY_backslash, "\\"},
    {0xDD, GDK_KEY_bracketright, "]"},         {0xDE, GDK_KEY_apostrophe, "'"},
};

unsigned VirtualKeyOfKeyval(unsigned keyval) {
  if (keyval >= GDK_KEY_a && keyval <= GDK_KEY_z) return keyval - GDK_KEY_a + 'A';
  if (keyval >= GDK_KEY_A && keyval <= GDK_KEY_Z) return keyval - GDK_KEY_A + 'A';
  if (keyval >= GDK_KEY_0 && keyval <= GDK_KEY_9) return keyval - GDK_KEY_0 + '0';
  if (keyval >= GDK_KEY_F1 && keyval <= GDK_KEY_F24) return keyval - GDK_KEY_F1 + VK_F1;
  if (keyval >= GDK_KEY_KP_0 && keyval <= GDK_KEY_KP_9) return keyval - GDK_KEY_KP_0 + VK_NUMPAD0;
  for (const KeyName& k : kKeys)
    if (k.keyval == keyval) return k.vk;
  return 0;
}

unsigned KeyvalOf(unsigned vk) {
  if (vk >= 'A' && vk <= 'Z') return vk - 'A' + GDK_KEY_a;
  if (vk >= '0' && vk <= '9') return vk - '0' + GDK_KEY_0;
  if (vk >= VK_F1 && vk <= VK_F24) return vk - VK_F1 + GDK_KEY_F1;
  if (vk >= VK_NUMPAD0 && vk <= VK_NUMPAD0 + 9) return vk - VK_NUMPAD0 + GDK_KEY_KP_0;
  for (const KeyName& k : kKeys)
    if (k.vk == vk) return k.keyval;
  return 0;
}

// Sends the pending requests and waits until the display has delivered the
// events they made, then lets their handlers run.
void AwaitDelivery(GtkToolkit& toolkit, const std::atomic<std::uint64_t>& counter,
                   std::uint64_t before) {
  Display* dpy = XDisplay();
  if (dpy) XSync(dpy, False);
  const gint64 end = g_get_monotonic_time() + 2 * G_USEC_PER_SEC;
  while (counter.load() == before && g_get_monotonic_time() < end) toolkit.Pump(10);
  toolkit.Settle(200);
}

}  // namespace

void WatchInput() { gdk_window_add_filter(nullptr, CountInput, nullptr); }

unsigned VirtualKeyOf(const GdkEventKey* event) {
  // The key itself, whatever Shift made of it: keys are named by their keycap.
  guint keyval = 0;
  GdkKeymap* keymap = gdk_keymap_get_for_display(gdk_display_get_default());
  if (gdk_keymap_translate_keyboard_state(keymap, event->hardware_keycode,
                                          static_cast<GdkModifierType>(0), 0, &keyval, nullptr,
                                          nullptr, nullptr)) {
    if (unsigned vk = VirtualKeyOfKeyval(keyval)) return vk;
  }
  return VirtualKeyOfKeyval(event->keyval);
}

unsigned ModifierBitsOf(unsigned state) {
  unsigned bits = 0;
  if (state & GDK_SHIFT_MASK) bits |= kHotKeyShift;
  if (state & GDK_CONTROL_MASK) bits |= kHotKeyCtrl;
  if (state & GDK_MOD1_MASK) bits |= kHotKeyAlt;
  return bits;
}

std::string HotKeyText(unsigned value) {
  const unsigned vk = value & 0xFF;
  if (!vk) return "";
  std::string out;
  if (value & kHotKeyShift) out += "Shift+";
  if (value & kHotKeyCtrl) out += "Ctrl+";
  if (value & kHotKeyAlt) out += "Alt+";
  if ((vk >= 'A' && vk <= 'Z') || (vk >= '0' && vk <= '9')) return out + static_cast<char>(vk);
  if (vk >= VK_F1 && vk <= VK_F24) return out + "F" + std::to_string(vk - VK_F1 + 1);
  if (vk >= VK_NUMPAD0 && vk <= VK_NUMPAD0 + 9) return out + "Num " + std::to_string(vk - VK_NUMPAD0);
  for (const KeyName& k : kKeys)
    if (k.vk == vk) return out + k.name;
  return out + "#" + std::to_string(vk);
}

Glib::RefPtr<Gdk::Pixbuf> PixbufOf(const std::vector<unsigned char>& png, int size) {
  if (png.empty()) return {};
  try {
    auto loader = Gdk::PixbufLoader::create();
    loader->write(png.data(), png.size());
    loader->close();
    auto pixbuf = loader->get_pixbuf();
    if (pixbuf && size > 0 && (pixbuf->get_width() != size || pixbuf->get_height() != size))
      pixbuf = pixbuf->scale_simple(size, size, Gdk::INTERP_BILINEAR);
    return pixbuf;
  } catch (const Glib::Error& e) {
    std::fprintf(stderr, "quillmer: an image that cannot be read: %s\n", e.what().c_str());
    return {};
  }
}

// Geometry from the real allocation once the control is shown; what was set
// until then.
std::int64_t GtkToolkit::ReadGeometry(const Entry& e, Prop prop) const {
  Gtk::Widget* w = e.widget;
  auto* window = dynamic_cast<Gtk::Window*>(w);
  const bool shown = w->get_realized() && w->get_mapped();
  if (!shown) {
    if (prop == Prop::ScreenLeft) return e.Int(Prop::Left);
    if (prop == Prop::ScreenTop) return e.Int(Prop::Top);
    return e.Int(prop, prop == Prop::Width || prop == Prop::Height ? 0 : 0);
  }
  if (window) {
    int x = 0, y = 0;
    window->get_window()->get_origin(x, y);
    switch (prop) {
      case Prop::Left:
      case Prop::ScreenLeft:
        return x;
      case Prop::Top:
      case Prop::ScreenTop:
        return y;
      case Prop::Width:
        return window->get_allocated_width();
      default:
        return window->get_allocated_height();
    }
  }
  if (prop == Prop::Width) return w->get_allocated_width();
  if (prop == Prop::Height) return w->get_allocated_height();
  if (prop == Prop::Left || prop == Prop::Top) {
    int x = 0, y = 0;
    const Entry* p = Get(e.parent);
    Gtk::Widget* area = p && p->client ? static_cast<Gtk::Widget*>(p->client)
                                       : (p ? p->widget : w->get_parent());
    if (area) w->translate_coordinates(*area, 0, 0, x, y);
    return prop == Prop::Left ? x : y;
  }
  auto* top = w->get_toplevel();
  int x = 0, y = 0, ox = 0, oy = 0;
  w->translate_coordinates(*top, 0, 0, x, y);
  if (top->get_window()) top->get_window()->get_origin(ox, oy);
  return prop == Prop::ScreenLeft ? ox + x : oy + y;
}

bool GtkToolkit::PopupMenu(HWND menu, int screenX, int screenY) {
  Entry* e = Get(menu);
  if (!e || e->kind != ControlKind::Menu) return false;
  Send(menu, QM_POPUP, 0, 0);
  e = Get(menu);
  if (!e) return false;
  auto* gmenu = static_cast<Gtk::Menu*>(e->widget);
  GdkWindow* root = gdk_get_default_root_window();
  GdkRectangle at{screenX, screenY, 1, 1};
  gmenu->show_all();
  gtk_menu_popup_at_rect(gmenu->gobj(), root, &at, GDK_GRAVITY_NORTH_WEST,
                         GDK_GRAVITY_NORTH_WEST, nullptr);
  Settle(200);
  return true;
}

bool FakePointer(GdkWindow* window, int rootX, int rootY, int button) {
  Display* dpy = XDisplay();
  if (HasXTest(dpy)) {
    XTestFakeMotionEvent(dpy, -1, rootX, rootY, CurrentTime);
    XSync(dpy, False);
    g_usleep(20000);
    XTestFakeButtonEvent(dpy, static_cast<unsigned>(button), True, CurrentTime);
    XTestFakeButtonEvent(dpy, static_cast<unsigned>(button), False, CurrentTime);
    XSync(dpy, False);
    return true;
  }
  // Without XTest, GDK's own synthesis into the window under the pointer.
  int ox = 0, oy = 0;
  gdk_window_get_origin(window, &ox, &oy);
  const bool pressed = gdk_test_simulate_button(window, rootX - ox, rootY - oy,
                                                static_cast<guint>(button),
                                                static_cast<GdkModifierType>(0), GDK_BUTTON_PRESS);
  const bool released =
      gdk_test_simulate_button(window, rootX - ox, rootY - oy, static_cast<guint>(button),
                               static_cast<GdkModifierType>(0), GDK_BUTTON_RELEASE);
  return pressed && released;
}

bool FakeKey(unsigned virtualKey, bool shift, bool ctrl, bool alt) {
  Display* dpy = XDisplay();
  const unsigned keyval = KeyvalOf(virtualKey);
  if (!HasXTest(dpy) || !keyval) return false;
  const KeyCode key = XKeysymToKeycode(dpy, keyval);
  if (!key) return false;
  std::vector<KeyCode> held;
  if (shift) held.push_back(XKeysymToKeycode(dpy, XK_Shift_L));
  if (ctrl) held.push_back(XKeysymToKeycode(dpy, XK_Control_L));
  if (alt) held.push_back(XKeysymToKeycode(dpy, XK_Alt_L));
  for (KeyCode k : held) XTestFakeKeyEvent(dpy, k, True, CurrentTime);
  XTestFakeKeyEvent(dpy, key, True, CurrentTime);
  XTestFakeKeyEvent(dpy, key, False, CurrentTime);
  for (auto it = held.rbegin(); it != held.rend(); ++it)
    XTestFakeKeyEvent(dpy, *it, False, CurrentTime);
  XSync(dpy, False);
  return true;
}

std::uint64_t SeenButtonReleases() { return g_buttonReleases.load(); }
std::uint64_t SeenKeyReleases() { return g_keyReleases.load(); }

bool GtkToolkit::Click(HWND control, int button) {
  Entry* e = Get(control);
  if (!e || !e->widget || button < 1 || button > 3) return false;
  Gtk::Window* top = TopLevelOf(control);
  if (!top || !e->widget->get_mapped()) return false;
  if (e->kind != ControlKind::Hint && e->kind != ControlKind::Menu) top->present();
  if (top->get_window()) top->get_window()->raise();
  Settle(300);
  e = Get(control);
  if (!e || !e->widget->get_mapped()) return false;
  const int x = static_cast<int>(ReadGeometry(*e, Prop::ScreenLeft)) +
                e->widget->get_allocated_width() / 2;
  const int y = static_cast<int>(ReadGeometry(*e, Prop::ScreenTop)) +
                e->widget->get_allocated_height() / 2;
  const std::uint64_t before = g_buttonReleases.load();
  if (!FakePointer(top->get_window()->gobj(), x, y, button)) return false;
  AwaitDelivery(*this, g_buttonReleases, before);
  if (g_buttonReleases.load() == before) return false;
  // A web view's menu comes back from its web process, after the click.
  if (button == 3 && Get(control) && Get(control)->kind == ControlKind::WebView)
    AwaitContextMenu(control, 2000);
  return true;
}

bool GtkToolkit::PressKey(unsigned virtualKey, bool shift, bool ctrl, bool alt) {
  if (!open_) return false;
  // Into the window that has the focus; with no window manager, the one
  // shown last takes it.
  for (Gtk::Window* window : Gtk::Window::list_toplevels())
    if (window->is_active() && window->get_window()) gdk_window_focus(window->get_window()->gobj(), GDK_CURRENT_TIME);
  const std::uint64_t before = g_keyReleases.load();
  if (!FakeKey(virtualKey, shift, ctrl, alt)) return false;
  AwaitDelivery(*this, g_keyReleases, before);
  return true;
}

bool GtkToolkit::MenuOpen() const {
  std::lock_guard lock(mutex_);
  for (const auto& [h, e] : table_)
    if ((e->kind == ControlKind::Menu || e->kind == ControlKind::Hint) && e->widget &&
        e->widget->get_mapped())
      return true;
    else if (e->kind == ControlKind::WebView && e->menuShown)  // the engine's own menu
      return true;
  return false;
}

bool GtkToolkit::Screenshot(HWND window, const char* path) {
  Gtk::Window* top = TopLevelOf(window);
  if (!top || !path || !top->get_visible()) return false;
  // Raised to be seen whole, unless a menu or hint is up over it: that
  // belongs in the picture (raising would hide or close it).
  if (!MenuOpen()) {
    if (top->get_type_hint() != Gdk::WINDOW_TYPE_HINT_TOOLTIP &&
        Get(window)->kind != ControlKind::Hint && Get(window)->kind != ControlKind::Menu)
      top->present();
    if (top->get_window()) top->get_window()->raise();
  }
  Settle(400);
  auto gdkWindow = top->get_window();
  if (!gdkWindow || !gdkWindow->is_viewable()) return false;
  // What the screen shows there: the window with whatever pops up over it.
  int x = 0, y = 0;
  gdkWindow->get_origin(x, y);
  GdkPixbuf* picture = gdk_pixbuf_get_from_window(gdk_get_default_root_window(), x, y,
                                                  gdkWindow->get_width(), gdkWindow->get_height());
  if (!picture) return false;
  GError* error = nullptr;
  const bool saved = gdk_pixbuf_save(picture, path, "png", &error, nullptr);
  if (error) {
    std::fprintf(stderr, "quillmer: cannot write %s: %s\n", path, error->message);
    g_error_free(error);
  }
  g_object_unref(picture);
  return saved;
}

}  // namespace quillmer::gui
