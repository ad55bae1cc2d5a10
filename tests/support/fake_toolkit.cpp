#include "tests/support/fake_toolkit.h"

#include <algorithm>
#include <cstring>
#include <chrono>
#include <functional>
#include <thread>

#include "platform/win32/dialogs.h"
#include "platform/win32/window.h"

namespace quillmer::testing {

FakeToolkit::FakeToolkit() { SetToolkit(this); }

FakeToolkit::~FakeToolkit() {
  if (CurrentToolkit() == this) SetToolkit(nullptr);
}

HWND FakeToolkit::Create(ControlKind kind, HWND parent, const char* name, WindowSink* sink) {
  if (parent && !Exists(parent)) return nullptr;
  HWND h = reinterpret_cast<HWND>(next_++);
  Control c{kind, parent, name ? name : "", sink, {}, {}, {}, {}};
  // Children and tool bars show with their parent; windows wait for Show.
  const bool shown = parent != nullptr || kind == ControlKind::Menu;
  c.ints[{Prop::Visible, 0}] = shown && kind != ControlKind::Menu;
  c.ints[{Prop::Enabled, 0}] = 1;
  controls_.emplace(h, std::move(c));
  if (parent) controls_[parent].children.push_back(h);
  return h;
}

bool FakeToolkit::Destroy(HWND window) {
  auto it = controls_.find(window);
  if (it == controls_.end()) return false;
  for (HWND child : std::vector<HWND>(it->second.children)) Destroy(child);
  it = controls_.find(window);
  if (it == controls_.end()) return true;
  if (it->second.sink) it->second.sink->Deliver(window, WM_DESTROY, 0, 0);
  it = controls_.find(window);
  if (it == controls_.end()) return true;
  if (HWND parent = it->second.parent; parent && Exists(parent))
    std::erase(controls_[parent].children, window);
  controls_.erase(it);
  if (openedMenu_ == window) openedMenu_ = nullptr;
  if (focused_ == window) focused_ = nullptr;
  return true;
}

ControlKind FakeToolkit::Kind(HWND window) const {
  auto it = controls_.find(window);
  return it == controls_.end() ? ControlKind{} : it->second.kind;
}

HWND FakeToolkit::Parent(HWND window) const {
  auto it = controls_.find(window);
  return it == controls_.end() ? nullptr : it->second.parent;
}

std::size_t FakeToolkit::Children(HWND window, HWND* out, std::size_t capacity) const {
  auto it = controls_.find(window);
  if (it == controls_.end()) return 0;
  const auto& children = it->second.children;
  for (std::size_t i = 0; i < children.size() && i < capacity; ++i) out[i] = children[i];
  return children.size();
}

HWND FakeToolkit::Find(HWND root, const char* name) const {
  std::function<HWND(HWND)> walk = [&](HWND h) -> HWND {
    const Control& c = controls_.at(h);
    if (c.name == name) return h;
    for (HWND child : c.children)
      if (HWND found = walk(child)) return found;
    return nullptr;
  };
  if (root) return Exists(root) ? walk(root) : nullptr;
  for (const auto& [h, c] : controls_)
    if (!c.parent)
      if (HWND found = walk(h)) return found;
  return nullptr;
}

// Tool bars place their visible buttons left to right.
void FakeToolkit::Layout(HWND bar) const {
  auto& self = const_cast<FakeToolkit&>(*this);
  int x = 0, height = 0;
  for (HWND child : controls_.at(bar).children) {
    Control& c = self.controls_[child];
    if (!c.ints[{Prop::Visible, 0}]) continue;
    c.ints[{Prop::Left, 0}] = x;
    c.ints[{Prop::Top, 0}] = 0;
    x += static_cast<int>(c.ints[{Prop::Width, 0}]);
    height = std::max(height, static_cast<int>(c.ints[{Prop::Height, 0}]));
  }
  Control& b = self.controls_[bar];
  b.ints[{Prop::Width, 0}] = x;
  b.ints[{Prop::Height, 0}] = height;
}

bool FakeToolkit::SetInt(HWND window, Prop prop, std::int64_t value, std::int32_t index) {
  auto it = controls_.find(window);
  if (it == controls_.end()) return false;
  Control& c = it->second;
  if (prop == Prop::Focused) {
    if (value)
      Focus(window);
    else if (focused_ == window)
      Focus(nullptr);
    return true;
  }
  c.ints[{prop, index}] = value;
  if (c.kind == ControlKind::Grid && prop == Prop::RowCount)
    std::erase_if(c.cells, [&](const auto& cell) { return cell.first.first >= value; });
  // Radio buttons of one group and parent exclude each other.
  if (c.kind == ControlKind::RadioButton && prop == Prop::Checked && value && c.parent) {
    for (HWND other : controls_[c.parent].children) {
      Control& o = controls_[other];
      if (other != window && o.kind == ControlKind::RadioButton &&
          o.ints[{Prop::RadioGroup, 0}] == c.ints[{Prop::RadioGroup, 0}])
        o.ints[{Prop::Checked, 0}] = 0;
    }
  }
  return true;
}

std::int64_t FakeToolkit::GetInt(HWND window, Prop prop, std::int32_t index) const {
  auto it = controls_.find(window);
  if (it == controls_.end()) return 0;
  if (prop == Prop::Left || prop == Prop::Top || prop == Prop::Width || prop == Prop::Height ||
      prop == Prop::ScreenLeft || prop == Prop::ScreenTop) {
    if (it->second.kind == ControlKind::ToolBar) Layout(window);
    if (HWND parent = it->second.parent; parent && Kind(parent) == ControlKind::ToolBar)
      Layout(parent);
  }
  if (prop == Prop::Focused) return focused_ == window;
  if (prop == Prop::ScreenLeft || prop == Prop::ScreenTop) {
    const Prop own = prop == Prop::ScreenLeft ? Prop::Left : Prop::Top;
    std::int64_t sum = 0;
    for (HWND h = window; h; h = Parent(h)) sum += GetInt(h, own, 0);
    return sum;
  }
  auto v = it->second.ints.find({prop, index});
  return v == it->second.ints.end() ? 0 : v->second;
}

bool FakeToolkit::SetText(HWND window, Prop prop, const char* utf8, std::int32_t index) {
  auto it = controls_.find(window);
  if (it == controls_.end()) return false;
  Control& c = it->second;
  std::string text = utf8 ? utf8 : "";
  if (c.kind == ControlKind::Grid && prop == Prop::Cell) {
    c.cells[{c.ints[{Prop::Row, 0}], c.ints[{Prop::Col, 0}]}] = text;
    return true;
  }
  if (c.kind == ControlKind::Grid && prop == Prop::RowText) {
    // Each cell ends with U+001F (one byte in UTF-8).
    std::int64_t col = 0;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\x1F', start)) != std::string::npos; start = end + 1)
      c.cells[{index, col++}] = text.substr(start, end - start);
    for (; col < c.ints[{Prop::ColCount, 0}]; ++col) c.cells.erase({index, col});
    return true;
  }
  c.texts[{prop, index}] = std::move(text);
  return true;
}

std::size_t FakeToolkit::GetText(HWND window, Prop prop, char* out, std::size_t capacity,
                                 std::int32_t index) const {
  std::string text = Text(window, prop, index);
  if (text.size() < capacity) std::memcpy(out, text.c_str(), text.size() + 1);
  return text.size();
}

bool FakeToolkit::SetBytes(HWND window, Prop prop, const unsigned char* data, std::size_t size) {
  auto it = controls_.find(window);
  if (it == controls_.end()) return false;
  it->second.texts[{prop, 0}] = std::string(reinterpret_cast<const char*>(data), size);
  return true;
}

std::string FakeToolkit::Text(HWND window, Prop prop, std::int32_t index) const {
  auto it = controls_.find(window);
  if (it == controls_.end()) return {};
  const Control& c = it->second;
  if (c.kind == ControlKind::Grid && prop == Prop::Cell)
    return CellText(window, static_cast<int>(GetInt(window, Prop::Row, 0)),
                    static_cast<int>(GetInt(window, Prop::Col, 0)));
  if (c.kind == ControlKind::Grid && prop == Prop::RowText) {
    std::string row;
    for (int col = 0; col < GetInt(window, Prop::ColCount, 0); ++col)
      row += CellText(window, index, col) + '\x1F';
    return row;
  }
  auto v = it->second.texts.find({prop, index});
  return v == it->second.texts.end() ? std::string() : v->second;
}

std::string FakeToolkit::Bytes(HWND window, Prop prop) const { return Text(window, prop); }

LRESULT FakeToolkit::Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto it = controls_.find(window);
  if (it == controls_.end() || !it->second.sink) return 0;
  return it->second.sink->Deliver(window, message, wParam, lParam);
}

bool FakeToolkit::Post(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (!Exists(window)) return false;
  posted_.emplace_back(window, message, wParam, lParam);
  return true;
}

int FakeToolkit::Pump(int waitMs) {
  int wait = posted_.empty() ? waitMs : 0;
  for (MessagePump* pump : pumps_) wait = pump->MsUntilDue(wait);
  if (wait > 0) std::this_thread::sleep_for(std::chrono::milliseconds(wait));
  int n = 0;
  for (MessagePump* pump : std::vector<MessagePump*>(pumps_)) n += pump->RunPending();
  while (!posted_.empty()) {
    auto [h, m, w, l] = posted_.front();
    posted_.pop_front();
    Send(h, m, w, l);
    ++n;
  }
  return n;
}

bool FakeToolkit::PopupMenu(HWND menu, int screenX, int screenY) {
  if (Kind(menu) != ControlKind::Menu) return false;
  Send(menu, QM_POPUP, 0, 0);
  openedMenu_ = menu;
  openedX_ = screenX;
  openedY_ = screenY;
  return true;
}

int FakeToolkit::MessageBox(HWND, const char* text, const char* caption, unsigned flags) {
  boxes_.push_back({text ? text : "", caption ? caption : "", flags});
  if (!answers_.empty()) {
    int answer = answers_.front();
    answers_.pop_front();
    return answer;
  }
  switch (flags & 0x0F) {
    case MB_YESNO:
    case MB_YESNOCANCEL:
      return IDYES;
    default:
      return IDOK;
  }
}

bool FakeToolkit::Usable(HWND window) const {
  for (HWND h = window; h; h = Parent(h)) {
    if (Kind(h) == ControlKind::Menu) break;  // items show when their menu opens
    if (!GetInt(h, Prop::Enabled, 0) || (Parent(h) && !GetInt(h, Prop::Visible, 0))) return false;
  }
  return Exists(window);
}

bool FakeToolkit::Click(HWND control, int) {
  if (!Usable(control)) return false;
  // Check boxes toggle and radio buttons take the choice before telling.
  if (Kind(control) == ControlKind::CheckBox)
    SetInt(control, Prop::Checked, !GetInt(control, Prop::Checked, 0), 0);
  if (Kind(control) == ControlKind::RadioButton) SetInt(control, Prop::Checked, 1, 0);
  Send(control, QM_CLICK, 0, 0);
  return true;
}

void FakeToolkit::Focus(HWND window) {
  if (window == focused_) return;
  HWND old = focused_;
  focused_ = window;
  if (old) Send(old, QM_FOCUS, 0, 0);
  if (window) Send(window, QM_FOCUS, 1, 0);
}

bool FakeToolkit::PressKey(unsigned virtualKey, bool shift, bool ctrl, bool alt) {
  if (focused_ && Kind(focused_) == ControlKind::HotKeyEdit) {
    const unsigned modifiers = (shift ? 0x2000 : 0) | (ctrl ? 0x4000 : 0) | (alt ? 0x8000 : 0);
    return Send(focused_, WM_KEYDOWN, virtualKey, modifiers) != 0;
  }
  if (virtualKey != 0x0D && virtualKey != 0x1B) return false;
  const Prop which = virtualKey == 0x0D ? Prop::Default : Prop::Cancel;
  HWND top = focused_;
  while (top && Parent(top)) top = Parent(top);
  std::function<HWND(HWND)> find = [&](HWND h) -> HWND {
    if (Kind(h) == ControlKind::Button || Kind(h) == ControlKind::BitmapButton)
      if (GetInt(h, which, 0)) return h;
    for (HWND child : controls_.at(h).children)
      if (HWND found = find(child)) return found;
    return nullptr;
  };
  HWND button = top ? find(top) : nullptr;
  return button && Click(button, 1);
}

bool FakeToolkit::Type(const std::string& name, const std::string& utf8) {
  HWND h = Named(name);
  if (!h || !Usable(h) || GetInt(h, Prop::ReadOnly, 0)) return false;
  SetText(h, Prop::Text, utf8.c_str(), 0);
  Send(h, QM_CHANGE, 0, 0);
  return true;
}

bool FakeToolkit::Choose(const std::string& name, int index) {
  HWND h = Named(name);
  if (!h || !Usable(h)) return false;
  SetInt(h, Prop::ItemIndex, index, 0);
  Send(h, QM_CHANGE, 0, 0);
  return true;
}

bool FakeToolkit::Hover(const std::string& name, bool inside) {
  HWND h = Named(name);
  if (!h) return false;
  Send(h, QM_HOVER, inside, 0);
  return true;
}

bool FakeToolkit::DoubleClick(const std::string& name) {
  HWND h = Named(name);
  if (!h || !Usable(h)) return false;
  Send(h, QM_DBLCLICK, 0, 0);
  return true;
}

std::string FakeToolkit::CellText(HWND grid, int row, int col) const {
  auto it = controls_.find(grid);
  if (it == controls_.end()) return {};
  auto cell = it->second.cells.find({row, col});
  return cell == it->second.cells.end() ? std::string() : cell->second;
}

bool FakeToolkit::EditCell(const std::string& name, int row, int col, const std::string& utf8) {
  HWND h = Named(name);
  if (!h || !Usable(h) || Kind(h) != ControlKind::Grid) return false;
  SetInt(h, Prop::Row, row, 0);
  SetInt(h, Prop::Col, col, 0);
  if (Send(h, QM_EDITSTART, row, col) != 0) return false;
  controls_[h].cells[{row, col}] = utf8;
  Send(h, QM_CELLEDIT, row, col);
  return true;
}

bool FakeToolkit::ClickHeader(const std::string& name, int col) {
  HWND h = Named(name);
  if (!h || !Usable(h)) return false;
  Send(h, QM_HEADERCLICK, col, 0);
  return true;
}

bool FakeToolkit::ClickNamed(const std::string& name) {
  HWND h = Named(name);
  return h && Click(h, 1);
}

bool FakeToolkit::RightClick(const std::string& name) {
  HWND h = Named(name);
  if (!h || !Usable(h)) return false;
  const auto x = GetInt(h, Prop::ScreenLeft, 0) + GetInt(h, Prop::Width, 0) / 2;
  const auto y = GetInt(h, Prop::ScreenTop, 0) + GetInt(h, Prop::Height, 0) / 2;
  Send(h, QM_CONTEXTMENU, static_cast<WPARAM>(x), static_cast<LPARAM>(y));
  return true;
}

}  // namespace quillmer::testing
