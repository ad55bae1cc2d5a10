// The window toolkit behind the window layer: real windows and controls.
//
// The toolkit is a shared library of its own (libquillmer-gtk.so, GTK 3),
// loaded by the first window, so that commands that open none never load it.
// It is one instance per process: the program and the module it loads each
// have their own copy of the window layer, and both reach the same toolkit,
// so a handle made by one is a parent, a target of messages and a control
// the other can find.
//
// The interface crosses between those copies: plain types only, no
// exceptions, strings as UTF-8.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/base/types.h"

namespace quillmer {

// What a handle of the toolkit is.
enum class ControlKind : std::int32_t {
  Window = 1,      // a top-level window; Caption is its title
  Dialog,          // a top-level window over its owner (the parent given);
                   // Modal 1 shows it modally, 0 ends that
  Form,            // a child area of its parent with children placed at Left/Top
  ToolBar,         // a row of tool buttons and separators, in the order made
  ToolButton,      // Image, Caption, Hint; Style: button, check or drop-down
  ToolSeparator,   // Width
  Menu,            // a pop-up menu; its items are its children
  MenuItem,        // Caption, Image, Checked, Style (plain, check, radio);
                   // a MenuItem with children is a submenu
  MenuSeparator,
  Hint,            // a small borderless window showing Caption at screen Left/Top
  Label,
  Button,
  BitmapButton,    // a button with an Image and a Color swatch
  CheckBox,
  RadioButton,     // RadioGroup: buttons of one group and parent exclude each other
  GroupBox,        // a framed area with Caption; children placed inside
  Edit,            // Text; MaxLength; ReadOnly
  MaskedEdit,      // Text under Mask
  SpinEdit,        // Value within Min..Max
  HotKeyEdit,      // HotKey: one chord, as the settings store it
  ComboBox,        // Items by index; ItemIndex; editable when Style is 1
  ImageComboBox,   // Items with an Image each
  UrlLabel,        // Caption; Url opened when clicked
  Grid,            // RowCount × ColCount cells; FixedRows; Cell at (Row, Col)
  Tabs,            // a notebook; its TabPage children are the pages
  TabPage,         // Caption is the tab's label
  PageView,        // shows a page: Url (a file) or Text (HTML) with Base
};

// Properties. Strings are UTF-8; images PNG bytes; colours 0x00BBGGRR.
enum class Prop : std::int32_t {
  Name = 1,    // the control's name, set when made
  Caption,
  Hint,
  Text,
  Visible,     // 0/1
  Enabled,     // 0/1
  Checked,     // 0/1
  Style,       // per kind, see ControlKind
  Image,       // bytes
  Left,        // in the parent's client area; Hint and top-level windows: screen
  Top,
  Width,
  Height,
  ScreenLeft,  // read only: where the control is on the screen
  ScreenTop,
  Color,       // background colour; -1: the toolkit's default
  FontCharset, // 134, 136 or 0: the script of the captions
  Value,
  Min,
  Max,
  MaxLength,
  ReadOnly,
  Mask,
  HotKey,
  Items,       // index: the item; writing past the end appends
  ItemCount,
  ItemIndex,
  RowCount,
  ColCount,
  FixedRows,
  Row,         // the cell that Cell reads and writes, and the selection
  Col,
  Cell,
  ColWidth,    // index: the column
  RadioGroup,
  DropDownMenu,  // a tool button's menu (handle as integer)
  Url,
  Base,        // PageView: the folder relative addresses resolve against
  Focused,     // read: 1 when the control has the keyboard focus; write 1 to focus it
  Modal,       // Dialog: 1 while shown modally
  Default,     // Button: 1 for the dialog's default button (Enter)
  Loading,     // PageView, read only: 1 while the page is still loading
};

constexpr std::int32_t kStyleButton = 0;
constexpr std::int32_t kStyleCheck = 1;
constexpr std::int32_t kStyleDropDown = 2;
constexpr std::int32_t kStyleRadio = 2;  // menu items

// What the toolkit tells a control's owner, as window messages to the
// handle's sink. Toolkit notifications lie above WM_USER + 0x1000 so that they
// never meet the product's own messages.
constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_SIZE = 0x0005;
constexpr UINT WM_TIMER = 0x0113;
constexpr UINT WM_KEYDOWN = 0x0100;
constexpr UINT QM_CLICK = 0x1400;        // clicked or chosen
constexpr UINT QM_CHANGE = 0x1401;       // the user changed the value
constexpr UINT QM_POPUP = 0x1402;        // a menu is about to open
constexpr UINT QM_CONTEXTMENU = 0x1403;  // right click; wParam, lParam: screen x, y
constexpr UINT QM_CLOSEQUERY = 0x1404;   // the user closes a window; return 1 to refuse
constexpr UINT QM_FOCUS = 0x1405;        // wParam 1: got the focus, 0: lost it
constexpr UINT QM_HEADERCLICK = 0x1406;  // a grid's column title; wParam: the column
constexpr UINT QM_CELLEDIT = 0x1407;     // a grid cell edited; wParam row, lParam col

// Where a handle's messages go: the window layer of the copy that made it.
struct WindowSink {
  virtual LRESULT Deliver(HWND window, UINT message, WPARAM wParam, LPARAM lParam) = 0;

 protected:
  ~WindowSink() = default;
};

// What one copy of the window layer has waiting on its own: posted messages
// and timers. Every copy's loop runs every copy's, so that the module's
// timers tick while the program waits, and the other way round.
struct MessagePump {
  // Runs what is due on the calling thread; returns how many things ran.
  virtual int RunPending() = 0;
  // Milliseconds until something is due (at most limit; 0: now).
  virtual int MsUntilDue(int limit) = 0;

 protected:
  ~MessagePump() = default;
};

// The answers a message box can be given from outside (scripts, tests).
constexpr int kNoAnswer = 0;

struct Toolkit {
  virtual int Version() const = 0;
  // False when no display can be opened; Error() says why.
  virtual bool Open() = 0;
  virtual const char* Error() const = 0;

  // Makes a control under parent (null for top-level windows, menus and
  // hints). Null when it cannot be made.
  virtual HWND Create(ControlKind kind, HWND parent, const char* name, WindowSink* sink) = 0;
  // Destroys the control and its children; each gets WM_DESTROY first.
  virtual bool Destroy(HWND window) = 0;
  virtual bool Exists(HWND window) const = 0;
  virtual ControlKind Kind(HWND window) const = 0;
  virtual HWND Parent(HWND window) const = 0;
  // The children in the order made; returns how many there are (may exceed
  // capacity).
  virtual std::size_t Children(HWND window, HWND* out, std::size_t capacity) const = 0;
  // The first control with that name under root (null: anywhere), pre-order.
  virtual HWND Find(HWND root, const char* name) const = 0;

  virtual bool SetInt(HWND window, Prop prop, std::int64_t value, std::int32_t index = 0) = 0;
  virtual std::int64_t GetInt(HWND window, Prop prop, std::int32_t index = 0) const = 0;
  virtual bool SetText(HWND window, Prop prop, const char* utf8, std::int32_t index = 0) = 0;
  // Copies the text with its terminating zero when it fits; returns its
  // length without the zero.
  virtual std::size_t GetText(HWND window, Prop prop, char* out, std::size_t capacity,
                              std::int32_t index = 0) const = 0;
  virtual bool SetBytes(HWND window, Prop prop, const unsigned char* data, std::size_t size) = 0;

  // Messages to a handle reach its sink; Send at once, Post from the loop.
  virtual LRESULT Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam) = 0;
  virtual bool Post(HWND window, UINT message, WPARAM wParam, LPARAM lParam) = 0;
  // Runs what is pending of the loop (posted messages, input, drawing, and
  // every added pump's); with a wait, first blocks up to waitMs (less when a
  // pump has something due sooner) for something to happen. Returns how many
  // things ran.
  virtual int Pump(int waitMs) = 0;
  // A copy of the window layer joins the loop, or leaves it (when unloaded).
  virtual void AddPump(MessagePump* pump) = 0;
  virtual void RemovePump(MessagePump* pump) = 0;

  // A pop-up menu at a screen position; returns at once (the choice comes as
  // QM_CLICK to the item).
  virtual bool PopupMenu(HWND menu, int screenX, int screenY) = 0;
  // A modal message box over owner (may be null); flags as MessageBox's.
  // An answer queued by QueueAnswer is taken at once.
  virtual int MessageBox(HWND owner, const char* text, const char* caption, unsigned flags) = 0;
  virtual void QueueAnswer(int button) = 0;
  // With scripted set, a box that no queued answer covers prints itself to
  // standard error and takes its default button instead of waiting.
  virtual void SetScripted(bool scripted) = 0;

  // What a user does, through the display server: a pointer click at the
  // middle of the control, a key chord into the focused control.
  virtual bool Click(HWND control, int button) = 0;
  virtual bool PressKey(unsigned virtualKey, bool shift, bool ctrl, bool alt) = 0;
  // The window as it is shown, as a PNG file.
  virtual bool Screenshot(HWND window, const char* path) = 0;

 protected:
  ~Toolkit() = default;
};

// The entry point the toolkit's library exports.
using ToolkitEntry = Toolkit* (*)();
inline constexpr const char* kToolkitEntry = "quillmer_toolkit";
inline constexpr const char* kToolkitLibrary = "libquillmer-gtk.so";
inline constexpr int kToolkitVersion = 1;

}  // namespace quillmer
