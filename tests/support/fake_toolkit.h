// An in-memory window toolkit for tests of the forms and controls: it keeps
// the values set, lays tool bars out left to right, and lets a test click,
// open menus and answer message boxes as a user would.
#pragma once

#include <deque>
#include <map>
#include <string>
#include <vector>

#include "platform/win32/toolkit.h"

namespace quillmer::testing {

class FakeToolkit final : public Toolkit {
 public:
  // Installs itself as the window layer's toolkit; the destructor removes it.
  FakeToolkit();
  ~FakeToolkit();

  int Version() const override { return kToolkitVersion; }
  bool Open() override { return true; }
  const char* Error() const override { return ""; }
  HWND Create(ControlKind kind, HWND parent, const char* name, WindowSink* sink) override;
  bool Destroy(HWND window) override;
  bool Exists(HWND window) const override { return controls_.count(window) != 0; }
  ControlKind Kind(HWND window) const override;
  HWND Parent(HWND window) const override;
  std::size_t Children(HWND window, HWND* out, std::size_t capacity) const override;
  HWND Find(HWND root, const char* name) const override;
  bool SetInt(HWND window, Prop prop, std::int64_t value, std::int32_t index) override;
  std::int64_t GetInt(HWND window, Prop prop, std::int32_t index) const override;
  bool SetText(HWND window, Prop prop, const char* utf8, std::int32_t index) override;
  std::size_t GetText(HWND window, Prop prop, char* out, std::size_t capacity,
                      std::int32_t index) const override;
  bool SetBytes(HWND window, Prop prop, const unsigned char* data, std::size_t size) override;
  LRESULT Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
  bool Post(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
  int Pump(int waitMs) override;
  void AddPump(MessagePump* pump) override { pumps_.push_back(pump); }
  void RemovePump(MessagePump* pump) override { std::erase(pumps_, pump); }
  bool PopupMenu(HWND menu, int screenX, int screenY) override;
  int MessageBox(HWND owner, const char* text, const char* caption, unsigned flags) override;
  void QueueAnswer(int button) override { answers_.push_back(button); }
  void SetScripted(bool scripted) override { scripted_ = scripted; }
  bool Click(HWND control, int button) override;
  // Into the focused control: a hot-key edit takes the chord; elsewhere
  // Enter clicks the window's default button and Escape its cancel button.
  bool PressKey(unsigned virtualKey, bool shift, bool ctrl, bool alt) override;
  bool Screenshot(HWND, const char*) override { return false; }
  bool PageCall(HWND, const char*, const char* const*, std::size_t, PageReply, void*, int) override {
    return false;
  }

  // For tests.
  HWND Named(const std::string& name) const { return Find(nullptr, name.c_str()); }
  std::string Text(HWND window, Prop prop, std::int32_t index = 0) const;
  std::string Bytes(HWND window, Prop prop) const;
  // Clicks the named control (a menu item: chooses it); false when it is
  // missing, hidden or disabled.
  bool ClickNamed(const std::string& name);
  // Right-clicks a control at its middle.
  bool RightClick(const std::string& name);
  // The menu opened last, and where; null when none.
  HWND OpenedMenu() const { return openedMenu_; }
  int OpenedX() const { return openedX_; }
  int OpenedY() const { return openedY_; }
  struct Box {
    std::string text, caption;
    unsigned flags;
  };
  const std::vector<Box>& Boxes() const { return boxes_; }
  std::size_t Count() const { return controls_.size(); }

  // What a user does to a field: types a text into it (the toolkit's
  // QM_CHANGE follows), chooses an item of a combo box, turns to a page.
  bool Type(const std::string& name, const std::string& utf8);
  bool Choose(const std::string& name, int index);
  // Moves the keyboard focus (QM_FOCUS to the one losing and the one taking
  // it); null takes it away.
  void Focus(HWND window);
  HWND FocusedControl() const { return focused_; }
  bool Hover(const std::string& name, bool inside);
  bool DoubleClick(const std::string& name);
  // Grids: a cell as shown; the user editing a cell (false when the grid
  // refuses its editor) and clicking a column's title.
  std::string CellText(HWND grid, int row, int col) const;
  bool EditCell(const std::string& name, int row, int col, const std::string& utf8);
  bool ClickHeader(const std::string& name, int col);

 private:
  struct Control {
    ControlKind kind;
    HWND parent;
    std::string name;
    WindowSink* sink;
    std::vector<HWND> children;
    std::map<std::pair<Prop, std::int32_t>, std::int64_t> ints;
    std::map<std::pair<Prop, std::int32_t>, std::string> texts;
    std::map<std::pair<std::int64_t, std::int64_t>, std::string> cells;  // grids
  };
  void Layout(HWND bar) const;
  bool Usable(HWND window) const;

  std::map<HWND, Control> controls_;
  std::uintptr_t next_ = 0x10000000;
  std::deque<std::tuple<HWND, UINT, WPARAM, LPARAM>> posted_;
  std::vector<MessagePump*> pumps_;
  std::deque<int> answers_;
  std::vector<Box> boxes_;
  bool scripted_ = false;
  HWND openedMenu_ = nullptr;
  HWND focused_ = nullptr;
  int openedX_ = 0, openedY_ = 0;
};

}  // namespace quillmer::testing
