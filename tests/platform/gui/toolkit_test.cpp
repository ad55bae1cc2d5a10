// The GTK toolkit library through the window layer, on a real X server:
// the display of DISPLAY, else an Xvfb of our own; skipped, saying why,
// when there is neither.
#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/win32/dialogs.h"
#include "platform/win32/keys.h"
#include "platform/win32/window.h"
#include "tests/cli/run_program.h"
#include "tests/support/png.h"
#include "tests/support/xvfb.h"

namespace quillmer {
namespace {

using namespace std::chrono_literals;

// A sink standing for another copy of the window layer (the module's).
struct OtherCopy final : WindowSink {
  std::vector<std::pair<HWND, UINT>> seen;
  LRESULT answer = 0;
  LRESULT Deliver(HWND window, UINT message, WPARAM, LPARAM) override {
    seen.push_back({window, message});
    return answer;
  }
};

class GtkToolkitTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display) {
      // Ends with the last client: it outlives every window of this process
      // (GDK would end the process with its display) and goes with it.
      static testing::Xvfb xvfb;
      if (!xvfb.Start(testing::Xvfb::kEndWithLastClient)) {
        why_ = xvfb.Why();
        return;
      }
      ::setenv("DISPLAY", xvfb.Display().c_str(), 1);
    }
    ::setenv("QUILLMER_TOOLKIT", QUILLMER_TOOLKIT_LIB, 1);
    toolkit_ = LoadToolkit(&why_);
  }
  static void TearDownTestSuite() {
    // Later tests expect no windows: boxes go back to the terminal.
    if (toolkit_) SetToolkit(nullptr);
  }
  void SetUp() override {
    if (!toolkit_) GTEST_SKIP() << "no display for windows: " << why_;
  }
  void TearDown() override {
    if (!toolkit_) return;
    for (HWND h : made_)
      if (toolkit_ && toolkit_->Exists(h)) DestroyWindow(h);
    made_.clear();
    toolkit_->SetScripted(false);
    ProcessMessages();
  }

  // A top-level window of this copy, shown at a known place.
  HWND Window(const std::string& name, WindowProc proc = nullptr) {
    if (!proc) proc = [](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; };
    HWND h = CreateControl(ControlKind::Window, nullptr, name, proc);
    made_.push_back(h);
    toolkit_->SetInt(h, Prop::Left, 40);
    toolkit_->SetInt(h, Prop::Top, 30);
    toolkit_->SetInt(h, Prop::Width, 360);
    toolkit_->SetInt(h, Prop::Height, 200);
    return h;
  }
  HWND Control(ControlKind kind, HWND parent, const std::string& name, int left, int top,
               int width, int height, WindowProc proc = nullptr) {
    if (!proc) proc = [](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; };
    HWND h = CreateControl(kind, parent, name, proc);
    toolkit_->SetInt(h, Prop::Left, left);
    toolkit_->SetInt(h, Prop::Top, top);
    toolkit_->SetInt(h, Prop::Width, width);
    toolkit_->SetInt(h, Prop::Height, height);
    return h;
  }
  void Show(HWND window) {
    toolkit_->SetInt(window, Prop::Visible, 1);
    for (int i = 0; i < 50 && !toolkit_->GetInt(window, Prop::ScreenLeft); ++i) WaitMessage(20);
    WaitMessage(100);
  }
  std::string Text(HWND h, Prop p, int index = 0) {
    char buf[512];
    toolkit_->GetText(h, p, buf, sizeof buf, index);
    return buf;
  }

  // What each named control heard. Kept by the fixture: the windows, and
  // their WM_DESTROY, outlive the test's body when it fails.
  struct Heard {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
  };
  WindowProc Record(const std::string& name, LRESULT answer = 0) {
    return [this, name, answer](HWND, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
      heard_[name].push_back({m, wp, lp});
      return answer;
    };
  }
  int Count(const std::string& name, UINT message) {
    int n = 0;
    for (const Heard& h : heard_[name]) n += h.message == message;
    return n;
  }

  static inline Toolkit* toolkit_ = nullptr;
  static inline std::string why_;
  std::vector<HWND> made_;
  std::map<std::string, std::vector<Heard>> heard_;
  std::vector<std::string> order_;
};

TEST_F(GtkToolkitTest, AFormOfAnotherCopyLivesInThisCopysWindowAndHoldsItsControls) {
  HWND site = Window("Site");
  OtherCopy module;
  HWND band = toolkit_->Create(ControlKind::Form, site, "BandForm", &module);
  ASSERT_NE(nullptr, band);
  EXPECT_GE(reinterpret_cast<std::uintptr_t>(band), 0x10000000u);
  // This copy knows the other's handle through the toolkit: parent, messages.
  EXPECT_TRUE(IsWindow(band));
  EXPECT_EQ(site, GetParent(band));
  HWND button = Control(ControlKind::Button, band, "ToolButton1", 4, 2, 80, 24);
  EXPECT_EQ(band, GetParent(button));
  EXPECT_EQ(button, toolkit_->Find(nullptr, "ToolButton1"));
  EXPECT_EQ(button, toolkit_->Find(site, "ToolButton1"));
  EXPECT_EQ(nullptr, toolkit_->Find(button, "BandForm"));

  module.answer = 7;
  EXPECT_EQ(7, SendMessage(band, WM_USER + 1, 0, 0));
  EXPECT_TRUE(PostMessage(band, WM_USER + 2, 0, 0));
  EXPECT_EQ(1u, module.seen.size());  // posted: not yet
  for (int i = 0; i < 20 && module.seen.size() < 2; ++i) WaitMessage(10);
  ASSERT_EQ(2u, module.seen.size());
  EXPECT_EQ((std::pair<HWND, UINT>{band, WM_USER + 2}), module.seen[1]);

  // Handles are never used again, not even after their window is gone.
  DestroyWindow(band);
  EXPECT_FALSE(IsWindow(band));
  EXPECT_FALSE(IsWindow(button));
  HWND again = toolkit_->Create(ControlKind::Form, site, "BandForm", &module);
  EXPECT_GT(reinterpret_cast<std::uintptr_t>(again), reinterpret_cast<std::uintptr_t>(button));
  // A control where it cannot stand is not made.
  EXPECT_EQ(nullptr, toolkit_->Create(ControlKind::ToolButton, site, "Stray", &module));
  EXPECT_EQ(nullptr, toolkit_->Create(ControlKind::Button, nullptr, "Orphan", &module));
  DestroyWindow(again);  // before its sink, which lives on this stack, goes
}

TEST_F(GtkToolkitTest, PropertiesReadBackAsSetAndGeometryFromTheScreen) {
  HWND w = Window("Props");
  toolkit_->SetText(w, Prop::Caption, "網頁: 簡轉繁");
  HWND form = Control(ControlKind::Form, w, "Form", 10, 20, 300, 150);
  HWND edit = Control(ControlKind::Edit, form, "Edit", 5, 6, 120, 26);
  toolkit_->SetText(edit, Prop::Text, "中华");
  toolkit_->SetText(edit, Prop::Hint, "a hint");
  HWND check = Control(ControlKind::CheckBox, form, "Check", 5, 40, 120, 24);
  toolkit_->SetText(check, Prop::Caption, "&Auto");
  toolkit_->SetInt(check, Prop::Checked, 1);
  HWND spin = Control(ControlKind::SpinEdit, form, "Spin", 140, 6, 90, 26);
  toolkit_->SetInt(spin, Prop::Min, 10);
  toolkit_->SetInt(spin, Prop::Max, 400);
  toolkit_->SetInt(spin, Prop::Value, 1000);
  HWND combo = Control(ControlKind::ComboBox, form, "Combo", 140, 40, 120, 26);
  for (const char* item : {"one", "two", "three"}) {
    const int n = static_cast<int>(toolkit_->GetInt(combo, Prop::ItemCount));
    toolkit_->SetText(combo, Prop::Items, item, n);  // past the end appends
  }
  toolkit_->SetText(combo, Prop::Items, "TWO", 1);
  toolkit_->SetInt(combo, Prop::ItemIndex, 1);
  HWND grid = Control(ControlKind::Grid, form, "Grid", 5, 70, 280, 70);
  toolkit_->SetInt(grid, Prop::ColCount, 2);
  toolkit_->SetInt(grid, Prop::FixedRows, 1);
  toolkit_->SetInt(grid, Prop::RowCount, 3);
  toolkit_->SetInt(grid, Prop::Row, 0);
  toolkit_->SetInt(grid, Prop::Col, 1);
  toolkit_->SetText(grid, Prop::Cell, "URL");
  toolkit_->SetInt(grid, Prop::Row, 2);
  toolkit_->SetText(grid, Prop::Cell, "*.example.com");
  Show(w);

  EXPECT_EQ("網頁: 簡轉繁", Text(w, Prop::Caption));
  EXPECT_EQ("中华", Text(edit, Prop::Text));
  EXPECT_EQ("a hint", Text(edit, Prop::Hint));
  EXPECT_EQ("&Auto", Text(check, Prop::Caption));
  EXPECT_EQ(1, toolkit_->GetInt(check, Prop::Checked, 0));
  EXPECT_EQ(400, toolkit_->GetInt(spin, Prop::Value, 0));  // held within Max
  EXPECT_EQ(3, toolkit_->GetInt(combo, Prop::ItemCount, 0));
  EXPECT_EQ("TWO", Text(combo, Prop::Items, 1));
  EXPECT_EQ("TWO", Text(combo, Prop::Text));
  EXPECT_EQ(1, toolkit_->GetInt(combo, Prop::ItemIndex, 0));
  toolkit_->SetInt(combo, Prop::ItemCount, 1);
  EXPECT_EQ(1, toolkit_->GetInt(combo, Prop::ItemCount, 0));
  toolkit_->SetInt(grid, Prop::Row, 0);
  EXPECT_EQ("URL", Text(grid, Prop::Cell));
  toolkit_->SetInt(grid, Prop::Row, 2);
  EXPECT_EQ("*.example.com", Text(grid, Prop::Cell));
  toolkit_->SetInt(grid, Prop::ColCount, 3);  // reshaped, the cells stay
  EXPECT_EQ("*.example.com", Text(grid, Prop::Cell));
  toolkit_->SetInt(grid, Prop::Row, 1);
  EXPECT_EQ("", Text(grid, Prop::Cell));

  // Geometry: where the control really is, in its parent and on the screen.
  EXPECT_EQ(5, toolkit_->GetInt(edit, Prop::Left, 0));
  EXPECT_EQ(6, toolkit_->GetInt(edit, Prop::Top, 0));
  EXPECT_EQ(120, toolkit_->GetInt(edit, Prop::Width, 0));
  const auto windowX = toolkit_->GetInt(w, Prop::ScreenLeft, 0);
  const auto windowY = toolkit_->GetInt(w, Prop::ScreenTop, 0);
  EXPECT_EQ(windowX + 10 + 5, toolkit_->GetInt(edit, Prop::ScreenLeft, 0));
  EXPECT_EQ(windowY + 20 + 6, toolkit_->GetInt(edit, Prop::ScreenTop, 0));
  EXPECT_EQ(360, toolkit_->GetInt(w, Prop::Width, 0));

  toolkit_->SetInt(edit, Prop::Enabled, 0);
  EXPECT_EQ(0, toolkit_->GetInt(edit, Prop::Enabled, 0));
  toolkit_->SetInt(edit, Prop::Visible, 0);
  EXPECT_EQ(0, toolkit_->GetInt(edit, Prop::Visible, 0));
}

TEST_F(GtkToolkitTest, ARealClickAndRealKeysReachTheSinks) {
  HWND w = Window("Clicks");
  HWND button = Control(ControlKind::Button, w, "OK", 10, 10, 100, 30, Record("button"));
  toolkit_->SetText(button, Prop::Caption, "確定");
  HWND check = Control(ControlKind::CheckBox, w, "Check", 10, 50, 140, 24, Record("check"));
  toolkit_->SetText(check, Prop::Caption, "Enable");
  HWND edit = Control(ControlKind::Edit, w, "Edit", 10, 90, 140, 28, Record("edit"));
  // Keys the edit's window wants come as virtual keys with modifier bits.
  HWND hot = Control(ControlKind::Edit, w, "Keys", 170, 90, 140, 28, Record("hot", 1));
  Show(w);

  ASSERT_TRUE(toolkit_->Click(button, 1));
  EXPECT_EQ(1, Count("button", QM_CLICK));
  ASSERT_TRUE(toolkit_->Click(check, 1));
  EXPECT_EQ(1, Count("check", QM_CLICK));
  EXPECT_EQ(1, toolkit_->GetInt(check, Prop::Checked, 0));
  // Setting a value is the program's doing: no notification.
  toolkit_->SetInt(check, Prop::Checked, 0);
  EXPECT_EQ(1, Count("check", QM_CLICK));

  ASSERT_TRUE(toolkit_->Click(edit, 1));
  EXPECT_EQ(1, toolkit_->GetInt(edit, Prop::Focused, 0));
  EXPECT_GE(Count("edit", QM_FOCUS), 1);
  ASSERT_TRUE(toolkit_->PressKey('Q', true, false, false));
  ASSERT_TRUE(toolkit_->PressKey('M', false, false, false));
  EXPECT_EQ("Qm", Text(edit, Prop::Text));
  EXPECT_GE(Count("edit", QM_CHANGE), 2);

  ASSERT_TRUE(toolkit_->Click(hot, 1));
  ASSERT_TRUE(toolkit_->PressKey(VK_F1 + 4, false, true, false));
  ASSERT_TRUE(toolkit_->PressKey('T', false, false, false));
  std::vector<std::pair<WPARAM, LPARAM>> keys;
  for (const Heard& h : heard_["hot"])
    if (h.message == WM_KEYDOWN && (h.wParam < VK_SHIFT || h.wParam > VK_MENU))
      keys.push_back({h.wParam, h.lParam});
  ASSERT_EQ(2u, keys.size());
  EXPECT_EQ((std::pair<WPARAM, LPARAM>{VK_F1 + 4u, LPARAM{kHotKeyCtrl}}), keys[0]);
  EXPECT_EQ((std::pair<WPARAM, LPARAM>{'T', 0}), keys[1]);
  EXPECT_EQ("", Text(hot, Prop::Text));  // taken by the sink: the edit did not see it
}

TEST_F(GtkToolkitTest, ATimerOfAToolkitWindowFiresThroughWaitMessage) {
  HWND w = Window("Timer", Record("timer"));
  Show(w);
  ASSERT_TRUE(SetTimer(w, 5, 50));
  const auto start = std::chrono::steady_clock::now();
  while (!Count("timer", WM_TIMER) && std::chrono::steady_clock::now() - start < 3s)
    WaitMessage(1000);
  ASSERT_GE(Count("timer", WM_TIMER), 1);
  EXPECT_EQ(5u, heard_["timer"].back().wParam);
  KillTimer(w, 5);
}

TEST_F(GtkToolkitTest, MessageBoxesAreAnsweredByQueueOrTakeTheirDefaultWhenScripted) {
  HWND w = Window("Owner");
  Show(w);
  toolkit_->QueueAnswer(IDNO);
  EXPECT_EQ(IDNO, toolkit_->MessageBox(w, "Switch on?", "Quillmer", MB_YESNO | MB_ICONQUESTION));
  // Through the window layer's one call, once windows are open.
  toolkit_->QueueAnswer(IDCANCEL);
  EXPECT_EQ(IDCANCEL, MessageBox(u"Go on?", u"Quillmer", MB_OKCANCEL));

  toolkit_->SetScripted(true);
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(IDYES, toolkit_->MessageBox(w, "繁體中文", "Quillmer", MB_YESNOCANCEL));
  EXPECT_EQ(IDCANCEL, toolkit_->MessageBox(w, "Second", "Quillmer", MB_OKCANCEL | 0x100));
  EXPECT_EQ(IDOK, toolkit_->MessageBox(w, "Done", "Quillmer", MB_OK));
  EXPECT_EQ("Quillmer: 繁體中文\nQuillmer: Second\nQuillmer: Done\n",
            ::testing::internal::GetCapturedStderr());
}

TEST_F(GtkToolkitTest, AScreenshotIsThePngOfTheWindowAsShown) {
  HWND w = Window("Shot");
  HWND form = Control(ControlKind::Form, w, "Form", 0, 0, 360, 200);
  toolkit_->SetInt(form, Prop::Color, 0x0000FF);  // red, as 0x00BBGGRR
  HWND label = Control(ControlKind::Label, form, "Label", 20, 20, 200, 30);
  toolkit_->SetInt(label, Prop::FontCharset, 136);
  toolkit_->SetText(label, Prop::Caption, "網頁轉換 中華人民共和國");
  Show(w);
  testing::TempDir dir;
  const std::string path = (dir / "shot.png").string();
  ASSERT_TRUE(toolkit_->Screenshot(w, path.c_str()));
  auto picture = testing::ReadPng(testing::ReadAll(path), 0, 0xFF0000);
  ASSERT_TRUE(picture);
  EXPECT_EQ(360u, picture->width);
  EXPECT_EQ(200u, picture->height);
  // The form's red, and the caption's strokes on it in their shades.
  EXPECT_GT(picture->matching, 360u * 200u / 2);
  EXPECT_GT(picture->colours, 8u);
  EXPECT_FALSE(toolkit_->Screenshot(form, (dir / "hidden.png").string().c_str()) &&
               !toolkit_->GetInt(w, Prop::Visible, 0));
}

TEST_F(GtkToolkitTest, DestroyingAParentSendsWmDestroyToItsChildrenFirst) {
  auto& order = order_;
  auto record = [this](const std::string& name) {
    return [this, name](HWND, UINT m, WPARAM, LPARAM) -> LRESULT {
      if (m == WM_DESTROY) order_.push_back(name);
      return 0;
    };
  };
  HWND w = CreateControl(ControlKind::Window, nullptr, "Top", record("Top"));
  HWND form = CreateControl(ControlKind::Form, w, "Form", record("Form"));
  HWND bar = CreateControl(ControlKind::ToolBar, form, "Bar", record("Bar"));
  HWND b1 = CreateControl(ControlKind::ToolButton, bar, "B1", record("B1"));
  CreateControl(ControlKind::ToolButton, bar, "B2", record("B2"));
  HWND menu = CreateControl(ControlKind::Menu, form, "Menu", record("Menu"));
  CreateControl(ControlKind::MenuItem, menu, "Item", record("Item"));
  toolkit_->SetInt(b1, Prop::Style, kStyleDropDown);  // made again, same handle and place
  toolkit_->SetInt(b1, Prop::DropDownMenu, reinterpret_cast<std::intptr_t>(menu));
  HWND kids[4];
  ASSERT_EQ(2u, toolkit_->Children(bar, kids, 4));
  EXPECT_EQ(b1, kids[0]);
  Show(w);
  EXPECT_TRUE(DestroyWindow(w));
  EXPECT_EQ((std::vector<std::string>{"B1", "B2", "Bar", "Item", "Menu", "Form", "Top"}), order);
  for (HWND h : {w, form, bar, b1, menu}) EXPECT_FALSE(IsWindow(h));
  WaitMessage(50);  // what GTK still had to say about them reaches no one
  EXPECT_EQ(7u, order.size());
}

TEST_F(GtkToolkitTest, MenuItemsKeepTheCheckMarkTheirOwnerGives) {
  HWND w = Window("Menus");
  Show(w);
  HWND menu = CreateControl(ControlKind::Menu, w, "PopupMenu2", Record("menu"));
  HWND item = CreateControl(ControlKind::MenuItem, menu, "AutoZoom2", Record("item"));
  toolkit_->SetInt(item, Prop::Style, kStyleCheck);
  toolkit_->SetText(item, Prop::Caption, "Enable Auto-Zoom");
  ASSERT_TRUE(toolkit_->PopupMenu(menu, 100, 100));
  EXPECT_EQ(1, Count("menu", QM_POPUP));
  ASSERT_TRUE(toolkit_->Click(item, 1));
  EXPECT_EQ(1, Count("item", QM_CLICK));
  EXPECT_EQ(0, toolkit_->GetInt(item, Prop::Checked, 0));  // GTK's toggle undone
  toolkit_->SetInt(item, Prop::Checked, 1);
  EXPECT_EQ(1, toolkit_->GetInt(item, Prop::Checked, 0));
}

// Conversion commands start without the toolkit: the dynamic loader lists
// every library it maps, and neither GTK nor ours is among them.
TEST(ToolkitLoading, ConversionCommandsDoNotMapTheToolkitOrGtk) {
  testing::TempDir dir, home;
  const std::string registry = (home / "registry").string();
  std::vector<std::string> env = {"QUILLMER_HOME=" + testing::ShellQuote(home.path().string()),
                                  "QUILLMER_REGISTRY=" + testing::ShellQuote(registry)};
  ASSERT_EQ(0, testing::RunQuillmer({"register", QUILLMER_MODULE}, "", env).status);
  env.insert(env.end(), {"LD_DEBUG=files", "LD_DEBUG_OUTPUT=" + (dir / "ld").string(),
                         "QUILLMER_TOOLKIT=" QUILLMER_TOOLKIT_LIB, "DISPLAY=:0"});
  auto str = testing::RunQuillmer({"str", "--to-trad", "中华"}, "", env);
  EXPECT_EQ(0, str.status) << str.err;
  auto convert = testing::RunQuillmer({"convert", "--to-simp"}, "中華\n", env);
  EXPECT_EQ(0, convert.status) << convert.err;
  std::string all;
  int logs = 0;
  for (const auto& file : std::filesystem::directory_iterator(dir.path()))
    if (file.path().filename().string().rfind("ld.", 0) == 0) {
      all += testing::ReadAll(file.path());
      ++logs;
    }
  ASSERT_EQ(2, logs);
  EXPECT_NE(std::string::npos, all.find("libc.so"));  // the log does list what is mapped
  EXPECT_EQ(std::string::npos, all.find("libquillmer-gtk"));
  EXPECT_EQ(std::string::npos, all.find("libgtk"));
}

}  // namespace
}  // namespace quillmer
