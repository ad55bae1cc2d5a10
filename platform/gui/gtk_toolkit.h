// The toolkit on GTK 3: one process-wide table of handles over gtkmm widgets.
// Everything here runs on the thread that opened the display, except Post
// and the table's read-only questions, which any thread may ask.
#pragma once

#include <gtkmm.h>

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/base/types.h"
#include "platform/win32/toolkit.h"

namespace quillmer::gui {

// Message box answers, with the platform's values.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

struct Entry {
  ControlKind kind{};
  std::string name;
  HWND parent = nullptr;
  WindowSink* sink = nullptr;
  std::vector<HWND> children;
  Gtk::Widget* widget = nullptr;  // what sits in the parent, or the top-level window
  Gtk::Fixed* client = nullptr;   // where children are placed
  Gtk::Widget* painted = nullptr;  // what Color and FontCharset style
  bool owned = false;              // a top-level (or a menu) this table deletes
  Gtk::Menu* submenu = nullptr;    // a MenuItem's, made with its first child
  Gtk::RadioButton* noneOfGroup = nullptr;  // RadioButton: the group's hidden member
  GtkListStore* store = nullptr;   // Grid, ImageComboBox (a reference held)
  GtkWidget* view = nullptr;       // Grid: the tree view; PageView: WebKit or the text view
  bool webkit = false;             // PageView: view is a WebKit view
  bool pageFromUrl = false;        // PageView: Url was set after Text
  bool urlLoading = false;         // WebView: a load through Url awaits its policy decision
  bool loadFailed = false;         // WebView: this load ended in kLoadFailed
  bool menuShown = false;          // WebView: its context menu is open
  Glib::RefPtr<Gtk::CssProvider> css;
  std::map<std::pair<Prop, int>, std::int64_t> ints;
  std::map<std::pair<Prop, int>, std::string> texts;
  std::map<int, std::vector<unsigned char>> images;  // Image; ImageComboBox: by item
  int lastWidth = -1, lastHeight = -1;
  HWND lastFocus = nullptr;  // Window, Dialog: the control that had the focus

  bool Has(Prop p, int i = 0) const { return ints.count({p, i}) != 0; }
  std::int64_t Int(Prop p, std::int64_t fallback = 0, int i = 0) const {
    auto it = ints.find({p, i});
    return it == ints.end() ? fallback : it->second;
  }
  const std::string& Text(Prop p, int i = 0) const {
    static const std::string none;
    auto it = texts.find({p, i});
    return it == texts.end() ? none : it->second;
  }
};

class GtkToolkit final : public Toolkit {
 public:
  static GtkToolkit& Instance();

  int Version() const override { return kToolkitVersion; }
  bool Open() override;
  const char* Error() const override { return error_.c_str(); }

  HWND Create(ControlKind kind, HWND parent, const char* name, WindowSink* sink) override;
  bool Destroy(HWND window) override;
  bool Exists(HWND window) const override;
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
  void AddPump(MessagePump* pump) override;
  void RemovePump(MessagePump* pump) override;

  bool PopupMenu(HWND menu, int screenX, int screenY) override;
  int MessageBox(HWND owner, const char* text, const char* caption, unsigned flags) override;
  void QueueAnswer(int button) override;
  void SetScripted(bool scripted) override;

  bool Click(HWND control, int button) override;
  bool PressKey(unsigned virtualKey, bool shift, bool ctrl, bool alt) override;
  bool Screenshot(HWND window, const char* path) override;
  bool PageCall(HWND view, const char* name, const char* const* args, std::size_t count,
                PageReply reply, void* context, int timeoutMs) override;

  // For the parts in the other files.
  Entry* Get(HWND h);
  const Entry* Get(HWND h) const;
  HWND HandleOf(Gtk::Widget* widget) const;  // the nearest handle at or above widget
  Gtk::Window* TopLevelOf(HWND h);
  // The user's doing, not the program's: notifications are sent only then.
  bool Applying() const { return applying_ > 0; }
  struct ApplyGuard {
    explicit ApplyGuard(GtkToolkit& t) : t(t) { ++t.applying_; }
    ~ApplyGuard() { --t.applying_; }
    GtkToolkit& t;
  };
  // Runs the loop until nothing is pending, then for settleMs more at most
  // while something still happens.
  void Settle(int settleMs);
  // Whether a pop-up menu or a hint is shown.
  bool MenuOpen() const;

 private:
  GtkToolkit() = default;

  void Build(HWND h);             // the widgets of h, placed in its parent, values applied
  void Place(HWND h, int position);
  void Unplace(HWND h);
  void Apply(HWND h, Prop prop, int index);
  void ApplyAll(HWND h);
  void Rebuild(HWND h);
  void Connect(HWND h);
  void ApplyStyle(Entry& e);
  void DestroyWidgets(Entry& e, bool widgetToo);
  std::int64_t ReadInt(const Entry& e, HWND h, Prop prop, int index) const;
  std::string ReadText(const Entry& e, Prop prop, int index) const;
  void FlushPosted();
  void SetWebKitEnvironment();
  void MakePageView(HWND h);
  void ShowPage(HWND h);
  void FallBackToText(HWND h);
  void MakeWebView(HWND h);
  void LoadWebView(HWND h);
  void NavigateWebView(HWND h, std::int64_t how);
  bool ChooseContextEntry(HWND h, int index);
  bool AwaitContextMenu(HWND h, int ms);
  void RegroupRadio(HWND h);
  void ApplyGeometry(HWND h, Prop prop);
  std::int64_t ReadGeometry(const Entry& e, Prop prop) const;
  void ApplyGrid(HWND h);
  void MoveGridCursor(HWND h);
  void SetGridCell(HWND h, const std::string& text);
  void SetGridCellAt(HWND h, int row, int col, const std::string& text);
  void SetGridRow(HWND h, int row, const std::string& text);
  std::int64_t GridCursor(const Entry& e, Prop prop) const;
  std::string GridCell(const Entry& e) const;
  std::string GridCellAt(const Entry& e, int row, int col) const;
  std::string GridRow(const Entry& e, int row) const;
  void ReadGridCursor(HWND h);
  bool StartGridEditing(HWND h, bool byUser);
  void EndGridEditing(HWND h);
  bool GridEditing(const Entry& e) const;
  std::int64_t GridCellBounds(const Entry& e, int index) const;
  std::int64_t GridColWidth(const Entry& e, int col) const;
  bool GridKey(HWND h, GdkEventKey* event);
  bool GridButton(HWND h, GdkEventButton* event);
  // Escape into a window: its cancel button, when it has a usable one.
  bool ClickCancel(HWND window);
  void SendKeyDown(GtkWidget* focus, unsigned vk, unsigned modifiers, bool* handled);

  mutable std::recursive_mutex mutex_;
  std::map<HWND, std::unique_ptr<Entry>> table_;
  std::uintptr_t next_ = 0x10000000;
  std::string error_;
  bool open_ = false;
  int applying_ = 0;

  struct Posted {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
  };
  std::mutex postMutex_;
  std::deque<Posted> posted_;
  bool flushScheduled_ = false;

  std::vector<MessagePump*> pumps_;  // the copies of the window layer
  std::deque<int> answers_;
  bool scripted_ = false;
  bool webkitReady_ = false;
  bool webkitFailedSaid_ = false;

  friend struct Signals;
  friend struct Geometry;
};

// Parts in the other files.
Glib::RefPtr<Gdk::Pixbuf> PixbufOf(const std::vector<unsigned char>& png, int size);
std::string Mnemonic(const std::string& caption);  // "&File" -> "_File"
// What a MaskedEdit shows while empty: its mask with "_" for each place to fill.
std::string MaskPlaceholder(const std::string& mask);
// A path as a file: URL; a URL as it stands. A folder's ends with "/".
std::string FileUri(const std::string& pathOrUri, bool folder);
// Virtual-key code and hotkey modifier bits of a key event; 0 when no key maps.
unsigned VirtualKeyOf(const GdkEventKey* event);
unsigned ModifierBitsOf(unsigned state);
// A hotkey value's name, "Ctrl+Alt+T"; "" for 0.
std::string HotKeyText(unsigned value);
// The default display's X connection, for the input parts.
bool FakePointer(GdkWindow* window, int rootX, int rootY, int button);
bool FakeKey(unsigned virtualKey, bool shift, bool ctrl, bool alt);
std::uint64_t SeenButtonReleases();
std::uint64_t SeenKeyReleases();
void WatchInput();

}  // namespace quillmer::gui
