// The table of handles, properties, messages and the loop.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/gui/gtk_toolkit.h"

#include <algorithm>

namespace quillmer::gui {

GtkToolkit& GtkToolkit::Instance() {
  static GtkToolkit* toolkit = new GtkToolkit;  // lives as long as the process
  return *toolkit;
}

bool GtkToolkit::Open() {
  if (open_) return true;
  const char* display = std::getenv("DISPLAY");
  if (!display || !*display) {
    error_ = "no display (DISPLAY is not set)";
    return false;
  }
  // Pointer events, root coordinates and window pictures need X11.
  gdk_set_allowed_backends("x11");
  if (!gtk_init_check(nullptr, nullptr)) {
    error_ = std::string("cannot open the display ") + display;
    return false;
  }
  Gtk::Main::init_gtkmm_internals();
  WatchInput();
  // Tool bars as the forms lay them out: 26 x 24 buttons round 16 x 16
  // images, no room beyond that, so that the band's size is the layout's.
  auto css = Gtk::CssProvider::create();
  css->load_from_data(
      ".quillmer-toolbar { padding: 0; border: none; }\n"
      ".quillmer-toolbar button { padding: 3px 4px; margin: 0; min-width: 0; min-height: 0;"
      " border-width: 1px; }\n"
      ".quillmer-toolbar separator { margin: 2px 2px; }\n");
  Gtk::StyleContext::add_provider_for_screen(Gdk::Screen::get_default(), css,
                                             GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
  open_ = true;
  return true;
}

Entry* GtkToolkit::Get(HWND h) {
  std::lock_guard lock(mutex_);
  auto it = table_.find(h);
  return it == table_.end() ? nullptr : it->second.get();
}

const Entry* GtkToolkit::Get(HWND h) const {
  std::lock_guard lock(mutex_);
  auto it = table_.find(h);
  return it == table_.end() ? nullptr : it->second.get();
}

HWND GtkToolkit::HandleOf(Gtk::Widget* widget) const {
  for (GtkWidget* w = widget ? widget->gobj() : nullptr; w; w = gtk_widget_get_parent(w)) {
    if (void* h = g_object_get_data(G_OBJECT(w), "quillmer-handle"))
      if (Get(static_cast<HWND>(h))) return static_cast<HWND>(h);
    if (GTK_IS_MENU(w)) {  // a menu's items lead to the item or button it hangs on
      GtkWidget* attached = gtk_menu_get_attach_widget(GTK_MENU(w));
      if (void* h = g_object_get_data(G_OBJECT(w), "quillmer-handle"))
        if (Get(static_cast<HWND>(h))) return static_cast<HWND>(h);
      w = attached;
      if (!w) break;
    }
  }
  return nullptr;
}

Gtk::Window* GtkToolkit::TopLevelOf(HWND h) {
  Entry* e = Get(h);
  if (!e || !e->widget) return nullptr;
  return dynamic_cast<Gtk::Window*>(e->widget->get_toplevel());
}

bool GtkToolkit::Exists(HWND window) const { return Get(window) != nullptr; }

ControlKind GtkToolkit::Kind(HWND window) const {
  const Entry* e = Get(window);
  return e ? e->kind : ControlKind{};
}

HWND GtkToolkit::Parent(HWND window) const {
  const Entry* e = Get(window);
  return e ? e->parent : nullptr;
}

std::size_t GtkToolkit::Children(HWND window, HWND* out, std::size_t capacity) const {
  std::lock_guard lock(mutex_);
  const Entry* e = Get(window);
  if (!e) return 0;
  for (std::size_t i = 0; i < e->children.size() && i < capacity; ++i) out[i] = e->children[i];
  return e->children.size();
}

HWND GtkToolkit::Find(HWND root, const char* name) const {
  std::lock_guard lock(mutex_);
  if (!name) return nullptr;
  // Pre-order from root, or over every top of the table in the order made.
  std::vector<HWND> stack;
  if (root) {
    if (!Get(root)) return nullptr;
    stack.push_back(root);
  } else {
    for (auto it = table_.rbegin(); it != table_.rend(); ++it)
      if (!it->second->parent || !Get(it->second->parent)) stack.push_back(it->first);
  }
  while (!stack.empty()) {
    HWND h = stack.back();
    stack.pop_back();
    const Entry* e = Get(h);
    if (!e) continue;
    if (e->name == name) return h;
    for (auto it = e->children.rbegin(); it != e->children.rend(); ++it) stack.push_back(*it);
  }
  return nullptr;
}

namespace {

bool IsTopLevel(ControlKind kind) {
  return kind == ControlKind::Window || kind == ControlKind::Dialog || kind == ControlKind::Hint ||
         kind == ControlKind::Menu;
}

// Which kinds may hold which: containers hold controls, a tool bar its
// buttons, a notebook its pages, menus their items.
bool MayHold(ControlKind parent, ControlKind child) {
  switch (child) {
    case ControlKind::Window:
    case ControlKind::Dialog:
    case ControlKind::Hint:
    case ControlKind::Menu:
      return true;  // the parent is only an owner
    case ControlKind::ToolButton:
    case ControlKind::ToolSeparator:
      return parent == ControlKind::ToolBar;
    case ControlKind::MenuItem:
    case ControlKind::MenuSeparator:
      return parent == ControlKind::Menu || parent == ControlKind::MenuItem;
    case ControlKind::TabPage:
      return parent == ControlKind::Tabs;
    default:
      return parent == ControlKind::Window || parent == ControlKind::Dialog ||
             parent == ControlKind::Form || parent == ControlKind::GroupBox ||
             parent == ControlKind::TabPage;
  }
}

}  // namespace

HWND GtkToolkit::Create(ControlKind kind, HWND parent, const char* name, WindowSink* sink) {
  if (!open_ || static_cast<int>(kind) < 1 || kind > ControlKind::WebView) return nullptr;
  HWND h;
  {
    std::lock_guard lock(mutex_);
    if (parent) {
      Entry* p = Get(parent);
      if (!p || !MayHold(p->kind, kind)) return nullptr;
    } else if (!IsTopLevel(kind)) {
      return nullptr;
    }
    h = reinterpret_cast<HWND>(next_++);
    auto e = std::make_unique<Entry>();
    e->kind = kind;
    e->name = name ? name : "";
    e->parent = parent;
    e->sink = sink;
    table_[h] = std::move(e);
    if (parent) Get(parent)->children.push_back(h);
  }
  Build(h);
  return h;
}

bool GtkToolkit::Destroy(HWND window) {
  if (!Get(window)) return false;
  // Children first, in the order made; each hears WM_DESTROY while the
  // handles above it still stand.
  std::vector<HWND> order;
  std::vector<std::pair<HWND, bool>> stack{{window, false}};
  while (!stack.empty()) {
    auto [h, expanded] = stack.back();
    stack.pop_back();
    Entry* e = Get(h);
    if (!e) continue;
    if (expanded) {
      order.push_back(h);
      continue;
    }
    stack.push_back({h, true});
    for (auto it = e->children.rbegin(); it != e->children.rend(); ++it)
      stack.push_back({*it, false});
  }
  for (HWND h : order)
    if (Get(h)) Send(h, WM_DESTROY, 0, 0);
  // The handles go before their widgets, so that what GTK says while they
  // are torn down reaches no one.
  std::vector<std::unique_ptr<Entry>> gone;
  {
    std::lock_guard lock(mutex_);
    Entry* top = Get(window);
    if (top && top->parent)
      if (Entry* p = Get(top->parent)) std::erase(p->children, window);
    for (HWND h : order) {
      auto it = table_.find(h);
      if (it == table_.end()) continue;
      gone.push_back(std::move(it->second));
      table_.erase(it);
    }
  }
  // Owned top-levels among the children (dialogs, menus, hints) go too; the
  // subtree's own widgets go with its top.
  for (auto& e : gone) DestroyWidgets(*e, e->owned || e == gone.back());
  return true;
}

void GtkToolkit::DestroyWidgets(Entry& e, bool widgetToo) {
  ApplyGuard guard(*this);
  if (e.submenu) {
    delete e.submenu;
    e.submenu = nullptr;
  }
  delete e.noneOfGroup;
  e.noneOfGroup = nullptr;
  if (e.store) g_object_unref(e.store), e.store = nullptr;
  if (!e.widget || !widgetToo) return;
  if (e.owned)
    delete e.widget;
  else
    gtk_widget_destroy(e.widget->gobj());
  e.widget = nullptr;
}

// Values: stored as set, applied to the widget, read back from the widget
// where the user can change them.

bool GtkToolkit::SetInt(HWND window, Prop prop, std::int64_t value, std::int32_t index) {
  Entry* e = Get(window);
  if (!e) return false;
  if (prop == Prop::ScreenLeft || prop == Prop::ScreenTop) return false;
  if (e->kind == ControlKind::WebView) {
    if (prop == Prop::Loading || prop == Prop::CanGoBack || prop == Prop::CanGoForward)
      return false;
    // A choice in the context menu open now, not a value.
    if (prop == Prop::ItemIndex) return ChooseContextEntry(window, static_cast<int>(value));
  }
  e->ints[{prop, index}] = value;
  Apply(window, prop, index);
  return true;
}

bool GtkToolkit::SetText(HWND window, Prop prop, const char* utf8, std::int32_t index) {
  Entry* e = Get(window);
  if (!e) return false;
  e->texts[{prop, index}] = utf8 ? utf8 : "";
  Apply(window, prop, index);
  return true;
}

bool GtkToolkit::SetBytes(HWND window, Prop prop, const unsigned char* data, std::size_t size) {
  Entry* e = Get(window);
  if (!e || prop != Prop::Image) return false;
  // An image combo box's images belong to the item ImageItem names.
  const int index =
      e->kind == ControlKind::ImageComboBox ? static_cast<int>(e->Int(Prop::ImageItem)) : 0;
  e->images[index].assign(data, data + size);
  Apply(window, prop, index);
  return true;
}

std::int64_t GtkToolkit::GetInt(HWND window, Prop prop, std::int32_t index) const {
  const Entry* e = Get(window);
  return e ? ReadInt(*e, window, prop, index) : 0;
}

std::size_t GtkToolkit::GetText(HWND window, Prop prop, char* out, std::size_t capacity,
                                std::int32_t index) const {
  const Entry* e = Get(window);
  if (!e) {
    if (out && capacity) out[0] = 0;
    return 0;
  }
  std::string text = ReadText(*e, prop, index);
  if (out && capacity > text.size()) std::memcpy(out, text.c_str(), text.size() + 1);
  return text.size();
}

// Messages.

LRESULT GtkToolkit::Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  WindowSink* sink;
  {
    std::lock_guard lock(mutex_);
    const Entry* e = Get(window);
    if (!e) return 0;
    sink = e->sink;
  }
  return sink ? sink->Deliver(window, message, wParam, lParam) : 0;
}

bool GtkToolkit::Post(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (!Exists(window)) return false;
  std::lock_guard lock(postMutex_);
  posted_.push_back(Posted{window, message, wParam, lParam});
  if (!flushScheduled_) {
    flushScheduled_ = true;
    // g_idle_add may be called from any thread; it wakes the loop.
    g_idle_add_full(
        G_PRIORITY_DEFAULT,
        [](gpointer self) -> gboolean {
          static_cast<GtkToolkit*>(self)->FlushPosted();
          return G_SOURCE_REMOVE;
        },
        this, nullptr);
  }
  return true;
}

void GtkToolkit::FlushPosted() {
  std::deque<Posted> now;
  {
    std::lock_guard lock(postMutex_);
    now.swap(posted_);
    flushScheduled_ = false;
  }
  for (const Posted& m : now) Send(m.window, m.message, m.wParam, m.lParam);
}

void GtkToolkit::AddPump(MessagePump* pump) {
  if (std::find(pumps_.begin(), pumps_.end(), pump) == pumps_.end()) pumps_.push_back(pump);
}

void GtkToolkit::RemovePump(MessagePump* pump) {
  pumps_.erase(std::remove(pumps_.begin(), pumps_.end(), pump), pumps_.end());
}

int GtkToolkit::Pump(int waitMs) {
  if (!open_) return 0;
  GMainContext* context = g_main_context_default();
  int ran = 0;
  // Woken in time for what any copy of the window layer has due.
  for (MessagePump* pump : pumps_) waitMs = pump->MsUntilDue(waitMs);
  if (waitMs > 0 && !g_main_context_pending(context)) {
    bool fired = false;
    guint timeout = g_timeout_add(
        static_cast<guint>(waitMs),
        [](gpointer flag) -> gboolean {
          *static_cast<bool*>(flag) = true;
          return G_SOURCE_REMOVE;
        },
        &fired);
    if (g_main_context_iteration(context, TRUE) && !fired) ++ran;
    if (!fired) g_source_remove(timeout);
  }
  // Bounded: a loop that always has work (animations) does not hold us.
  for (int i = 0; i < 256 && g_main_context_iteration(context, FALSE); ++i) ++ran;
  for (MessagePump* pump : std::vector<MessagePump*>(pumps_)) ran += pump->RunPending();
  return ran;
}

void GtkToolkit::Settle(int settleMs) {
  const gint64 end = g_get_monotonic_time() + settleMs * 1000LL;
  int quiet = 0;
  while (g_get_monotonic_time() < end && quiet < 3) {
    quiet = Pump(0) ? 0 : quiet + 1;
    if (quiet) g_usleep(10000);
  }
}

void GtkToolkit::QueueAnswer(int button) {
  std::lock_guard lock(mutex_);
  answers_.push_back(button);
}

void GtkToolkit::SetScripted(bool scripted) { scripted_ = scripted; }

}  // namespace quillmer::gui

extern "C" __attribute__((visibility("default"))) quillmer::Toolkit* quillmer_toolkit() {
  return &quillmer::gui::GtkToolkit::Instance();
}
