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
  Button,          // Default: Enter clicks it; Cancel: Escape clicks it
  BitmapButton,    // a button with an Image on a face of Color
  CheckBox,        // the user's toggle sets Checked, then QM_CLICK
  RadioButton,     // RadioGroup: buttons of one group and parent exclude each
                   // other; the user's choice sets Checked, then QM_CLICK
  GroupBox,        // a framed area with Caption; children placed inside
  Edit,            // Text; MaxLength; ReadOnly; QM_CHANGE as the user types
  MaskedEdit,      // an Edit; Mask is shown as a hint of the expected form
  SpinEdit,        // Text as typed (QM_CHANGE), Value within Min..Max shown;
                   // the arrows step Value and report QM_CHANGE with its Text
  HotKeyEdit,      // shows Text; a key pressed in it goes to its owner as
                   // WM_KEYDOWN (wParam the virtual key, lParam the modifiers
                   // 0x2000 Shift, 0x4000 Ctrl, 0x8000 Alt), not typed;
                   // Tab and Shift+Tab still move the focus
  ComboBox,        // Items by index; ItemIndex; editable when Style is 1;
                   // the user's choice sets ItemIndex (or Text), then QM_CHANGE
  ImageComboBox,   // Items with an Image each (set through ImageItem)
  UrlLabel,        // Caption; QM_CLICK when clicked (its owner opens Url)
  Grid,            // RowCount × ColCount cells; FixedRows; Cell at (Row, Col);
                   // Style: kGrid* options; edits as QM_EDITSTART, QM_CELLEDIT
  Tabs,            // a notebook; its TabPage children are the pages;
                   // ItemIndex: the page shown; QM_CHANGE when the user turns
  TabPage,         // Caption is the tab's label
  PageView,        // shows a page: Url (a file) or Text (HTML) with Base
  WebView,         // a browser view of the engine, its pages in the engine's
                   // web process with our extension (see PageCall): Url
                   // loads an address (http, https, file, about) and reads
                   // the one shown; Caption reads the title; Loading 1 while
                   // a page loads; Navigate goes back, forward, reloads or
                   // stops; CanGoBack, CanGoForward; Items: entries added to
                   // the page's context menu (chosen: QM_CLICK, wParam the
                   // entry's index); ItemIndex written: chooses that entry of
                   // the context menu now open; QM_NAVIGATE as pages load
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
  Cancel,      // Button: 1 for the dialog's cancel button (Escape)
  RowText,     // Grid: index: a row; its cells as one text, each ended by
               // U+001F; set without moving the selection
  Editing,     // Grid: 1 while a cell's own editor is open; write 1 to open it
               // on the current cell, 0 to close it keeping what was typed
  CellBounds,  // Grid, read only: index 0..3: left, top, width and height of
               // the current cell in the grid's client area
  ImageItem,   // ImageComboBox: the item whose image Image sets
  FontHeight,  // the font's character height in pixels; 0: the default
  Loading,     // PageView, WebView, read only: 1 while the page is still loading
  Navigate,    // WebView, write: kGoBack, kGoForward, kReload, kStop
  CanGoBack,   // WebView, read only
  CanGoForward,
};

constexpr std::int32_t kGoBack = 1;
constexpr std::int32_t kGoForward = 2;
constexpr std::int32_t kReload = 3;
constexpr std::int32_t kStop = 4;

constexpr std::int32_t kStyleButton = 0;
constexpr std::int32_t kStyleCheck = 1;
constexpr std::int32_t kStyleDropDown = 2;
constexpr std::int32_t kStyleRadio = 2;  // menu items

// Grid options (Style), any together.
constexpr std::int32_t kGridEditing = 1;     // the user may edit data cells
constexpr std::int32_t kGridRowSelect = 2;   // the selection is the whole row
constexpr std::int32_t kGridColSizing = 4;   // the user may resize columns
constexpr std::int32_t kGridTabs = 8;        // Tab moves between cells
constexpr std::int32_t kGridLines = 16;      // lines between the cells

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
constexpr UINT QM_DBLCLICK = 0x1408;     // double click (a grid: on the selection)
constexpr UINT QM_EDITSTART = 0x1409;    // a grid cell's editor is about to open;
                                         // wParam row, lParam col; return 1 to refuse
constexpr UINT QM_HOVER = 0x140A;        // wParam 1: the pointer came in, 0: left
constexpr UINT QM_NAVIGATE = 0x140B;     // a WebView's page: wParam kLoad*
constexpr WPARAM kLoadStarted = 1;       // a main-frame load began (Url: where to)
constexpr WPARAM kLoadCommitted = 2;     // the new page is shown (Url, Caption)
constexpr WPARAM kLoadFinished = 3;
constexpr WPARAM kLoadFailed = 4;         // ends a load in place of kLoadFinished
constexpr WPARAM kTitleChanged = 5;

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

// The answer of a page's web process to PageCall: ok false when the page
// could not be reached or the extension refused (text then says why).
using PageReply = void (*)(void* context, bool ok, const char* text, std::size_t size);

// What the toolkit itself asks the extension: before a navigation of the
// main frame (a link, a form, back, forward, reload, or an address loaded
// through Url), kPageBeforeNavigate with the address; the answer "1"
// cancels the navigation. A page that cannot be reached lets it go on.
inline constexpr const char* kPageBeforeNavigate = "BeforeNavigate2";

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

  // Sends the message name with its arguments (UTF-8) to the extension in
  // the web process of a WebView's page, and runs the loop until it answers
  // (reply is called once, before PageCall returns) or timeoutMs passes
  // (false, reply not called). False at once for a handle that is no WebView.
  // A message the engine cannot deliver (no page yet, its process gone) is
  // answered at once: ok false, the engine's reason as text.
  virtual bool PageCall(HWND view, const char* name, const char* const* args, std::size_t count,
                        PageReply reply, void* context, int timeoutMs) = 0;

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
// Where a WebView's engine finds our web-process extension: the folder
// QUILLMER_WEBEXT_DIR names, else "quillmer-webext" beside the toolkit.
inline constexpr const char* kWebExtensionFolder = "quillmer-webext";
inline constexpr const char* kWebExtensionLibrary = "libquillmer-webext.so";
inline constexpr int kToolkitVersion = 2;

}  // namespace quillmer
