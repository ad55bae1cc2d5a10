#include "cli/engine_window.h"

#include <dlfcn.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>

#include "cli/band_site.h"
#include "cli/engine_browser.h"
#include "cli/menu_page.h"
#include "platform/base/error.h"
#include "platform/base/text.h"
#include "platform/browser/engine_messages.h"
#include "ui/ui_language.h"
#include "widgets/controls.h"
#include "widgets/edits.h"
#include "widgets/form.h"
#include "widgets/web_view.h"

namespace quillmer::cli {
namespace fs = std::filesystem;
namespace {

namespace msg = engine_messages;
using Clock = std::chrono::steady_clock;

constexpr int kWindowWidth = 1024;
constexpr int kWindowHeight = 760;
constexpr int kRowHeight = 42;
constexpr int kButtonWidth = 96;
constexpr int kGap = 4;

// The window's own buttons speak the system's language, as the toolbar does.
constexpr Texts kBack{u"◀ 后退", u"◀ 上一頁", u"◀ Back"};
constexpr Texts kForward{u"前进 ▶", u"下一頁 ▶", u"Forward ▶"};
constexpr Texts kGo{u"转到", u"移至", u"Go"};

class TopWindow final : public Form {
 public:
  TopWindow() : Form(ControlKind::Window, HWND{}, "QuillmerBrowser") {}
  std::function<void()> OnResize;
  bool closeRequested = false;

 protected:
  LRESULT Message(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message == WM_SIZE && OnResize) OnResize();
    if (message == QM_CLOSEQUERY) {
      closeRequested = true;
      return 1;  // closed by the session, the page's helpers first
    }
    return Form::Message(message, wParam, lParam);
  }
};

}  // namespace

bool EngineInstalled() {
  if (!LoadToolkit()) return false;
  std::error_code ec;
  if (const char* dir = std::getenv("QUILLMER_WEBEXT_DIR"); dir && *dir)
    return fs::exists(fs::path(dir) / kWebExtensionLibrary, ec);
  const fs::path toolkit = LoadedToolkitPath();
  return !toolkit.empty() &&
         fs::exists(toolkit.parent_path() / kWebExtensionFolder / kWebExtensionLibrary, ec);
}

struct EngineWindow::Impl {
  std::unique_ptr<TopWindow> window;
  std::unique_ptr<Button> back, forward, go;
  std::unique_ptr<Edit> address;
  std::unique_ptr<Form> bandSite;
  std::unique_ptr<WebView> view;
  std::unique_ptr<BandSiteHost> bands;
  ComPtr<IWebBrowser2> browser;
  std::vector<MenuEntry> menuEntries;
  int loadsEnded = 0;
  int loadsFailed = 0;
  bool quit = false;

  bool Open() const { return window && IsWindow(window->Handle()) && !window->closeRequested; }

  void Layout() {
    if (!Open()) return;
    const int width = std::max(window->Width(), 200);
    const int height = std::max(window->Height(), 200);
    back->SetBounds(kGap, kGap, kButtonWidth, kRowHeight - 2 * kGap);
    forward->SetBounds(2 * kGap + kButtonWidth, kGap, kButtonWidth, kRowHeight - 2 * kGap);
    const int addressLeft = 3 * kGap + 2 * kButtonWidth;
    const int addressWidth = std::max(width - addressLeft - 2 * kGap - kButtonWidth, 50);
    address->SetBounds(addressLeft, kGap, addressWidth, kRowHeight - 2 * kGap);
    go->SetBounds(addressLeft + addressWidth + kGap, kGap, kButtonWidth, kRowHeight - 2 * kGap);
    const int bandsHeight = bands ? bands->Height() : 0;
    bandSite->SetBounds(0, kRowHeight, width, bandsHeight);
    if (bands) bands->Layout(width);
    const int top = kRowHeight + bandsHeight;
    view->SetBounds(0, top, width, std::max(height - top, 1));
  }

  void Navigated(WPARAM what) {
    if (what == kLoadCommitted || what == kLoadStarted) address->SetText(view->Url());
    if (what == kLoadFinished || what == kLoadFailed) {
      ++loadsEnded;
      if (what == kLoadFailed) ++loadsFailed;
    }
    if (what == kLoadCommitted || what == kTitleChanged || what == kLoadFinished) {
      const std::u16string title = view->Title();
      window->SetCaption(title.empty() ? u"Quillmer" : title + u" - Quillmer");
    }
    back->SetEnabled(view->CanGoBack());
    forward->SetEnabled(view->CanGoForward());
  }

  // Waits until a load that ended after `before` loads did.
  // (The engine may show an error page of its own after a failed load: the
  // failure still counts.)
  void WaitLoad(int before, const std::string& what, int timeoutMs) {
    const int failedBefore = loadsFailed;
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (Open() && (loadsEnded <= before || view->Loading())) {
      if (Clock::now() >= end) throw Error("the page did not load in time: " + what);
      WaitMessage(20);
    }
    if (!Open()) throw Error("the window was closed");
    ProcessMessages();
    if (loadsFailed > failedBefore) throw Error("the page could not be loaded: " + what);
  }

  std::string Call(const char* name, const std::vector<std::string>& args, int timeoutMs) const {
    if (!view) throw Error("the window is closed");
    WebView::Answer answer = view->Call(name, args, timeoutMs);
    if (!answer.ok) throw Error(answer.text);
    return answer.text;
  }

  void RunMenuEntry(int index) {
    if (index < 0 || index >= static_cast<int>(menuEntries.size())) return;
    try {
      Call(msg::kMenuExt, {menuEntries[index].url}, 300000);
    } catch (const Error& e) {
      std::fprintf(stderr, "quillmer browse: \"%s\": %s\n", menuEntries[index].caption.c_str(),
                   e.what());
    }
  }

  void Close() {
    if (view && !quit) {
      quit = true;
      try {
        Call(msg::kQuit, {}, 10000);
      } catch (const Error&) {
        // The page's process is gone: so are its helpers.
      }
    }
    if (bands) bands->Close();
    bands.reset();
    browser = nullptr;
    view.reset();
    back.reset();
    forward.reset();
    go.reset();
    address.reset();
    bandSite.reset();
    window.reset();
    ProcessMessages();
  }
};

EngineWindow::EngineWindow() : impl_(std::make_unique<Impl>()) {
  Impl& m = *impl_;
  std::string why;
  if (!LoadToolkit(&why)) throw Error("cannot open a window: " + why);
  m.window = std::make_unique<TopWindow>();
  m.window->SetCaption(u"Quillmer");
  m.window->SetSize(kWindowWidth, kWindowHeight);
  m.back = std::make_unique<Button>(*m.window, "Back");
  const Language language = UiLanguage(GetACP());
  m.back->SetCaption(Pick(kBack, language));
  m.forward = std::make_unique<Button>(*m.window, "Forward");
  m.forward->SetCaption(Pick(kForward, language));
  m.address = std::make_unique<Edit>(*m.window, "Address");
  m.go = std::make_unique<Button>(*m.window, "Go");
  m.go->SetCaption(Pick(kGo, language));
  m.go->SetDefault(true);  // Enter in the address bar goes there
  m.bandSite = std::make_unique<Form>(ControlKind::Form, m.window->Handle(), "BandSite");
  m.view = std::make_unique<WebView>(*m.window, "WebView");
  m.view->OnNavigate = [&m](WPARAM what) { m.Navigated(what); };
  m.view->OnMenuEntry = [&m](int index) { m.RunMenuEntry(index); };
  m.back->OnClick = [&m](Control&) { m.view->GoBack(); };
  m.forward->OnClick = [&m](Control&) { m.view->GoForward(); };
  m.go->OnClick = [&m](Control&) {
    const std::u16string url = m.address->Text();
    if (!url.empty()) m.view->Load(url);
  };
  m.back->SetEnabled(false);
  m.forward->SetEnabled(false);

  m.browser = MakeEngineBrowser(
      [&m](const char* name, const std::vector<std::string>& args) {
        return m.Call(name, args, 300000);
      },
      EngineViewState{[&m] { return m.view ? m.view->Url() : std::u16string(); },
                      [&m] { return m.view ? m.view->Title() : std::u16string(); },
                      [&m] { return m.view && m.view->Loading(); },
                      [&m](const std::u16string& url) {
                        if (m.view) m.view->Load(url);
                      },
                      [&m] {
                        if (m.view) m.view->Stop();
                      }});
  m.bands = std::make_unique<BandSiteHost>(m.bandSite->Handle(), m.browser.get());

  // The context menu's entries, as the browser finds them in the registry.
  m.menuEntries = MenuEntries();
  std::vector<std::u16string> captions;
  for (const auto& e : m.menuEntries) captions.push_back(FromUtf8(e.caption));
  m.view->SetMenuEntries(captions);

  m.window->OnResize = [&m] { m.Layout(); };
  m.Layout();
  m.window->Show();
  ProcessMessages();
}

EngineWindow::~EngineWindow() { Close(); }

HWND EngineWindow::Handle() const { return impl_->window ? impl_->window->Handle() : nullptr; }

bool EngineWindow::IsOpen() const { return impl_->Open(); }

void EngineWindow::Close() { impl_->Close(); }

IWebBrowser2* EngineWindow::Browser() const { return impl_->browser.get(); }

void EngineWindow::Navigate(const std::string& url, int timeoutMs) {
  if (!IsOpen()) throw Error("the window is closed");
  const int before = impl_->loadsEnded;
  impl_->view->Load(FromUtf8(url));
  impl_->WaitLoad(before, url, timeoutMs);
}

void EngineWindow::Back(int timeoutMs) {
  if (!IsOpen() || !impl_->view->CanGoBack()) throw Error("there is no page to go back to");
  const int before = impl_->loadsEnded;
  impl_->view->GoBack();
  impl_->WaitLoad(before, "back", timeoutMs);
}

void EngineWindow::Forward(int timeoutMs) {
  if (!IsOpen() || !impl_->view->CanGoForward()) throw Error("there is no page to go forward to");
  const int before = impl_->loadsEnded;
  impl_->view->GoForward();
  impl_->WaitLoad(before, "forward", timeoutMs);
}

void EngineWindow::Submit(const std::string& form, int timeoutMs) {
  const int before = impl_->loadsEnded;
  impl_->Call(msg::kSubmit, {form}, timeoutMs);
  impl_->WaitLoad(before, "the answer to form " + form, timeoutMs);
}

std::string EngineWindow::Call(const char* name, const std::vector<std::string>& args,
                               int timeoutMs) const {
  return impl_->Call(name, args, timeoutMs);
}

void EngineWindow::FocusPage() {
  if (impl_->view) impl_->view->SetFocus();
  ProcessMessages();
}

void EngineWindow::ChooseContextEntry(const std::string& caption) {
  int index = -1;
  for (std::size_t i = 0; i < impl_->menuEntries.size(); ++i)
    if (impl_->menuEntries[i].caption == caption) index = static_cast<int>(i);
  if (index < 0) throw Error("no context-menu entry \"" + caption + "\"");
  Toolkit* kit = CurrentToolkit();
  if (!kit || !kit->Click(impl_->view->Handle(), 3))
    throw Error("the page's context menu cannot be opened");
  const auto end = Clock::now() + std::chrono::seconds(5);
  while (!impl_->view->ChooseMenuEntry(index)) {
    if (Clock::now() >= end) throw Error("the page's context menu did not open");
    WaitMessage(20);
  }
  ProcessMessages();
}

void EngineWindow::Run(int ms) {
  const auto end = Clock::now() + std::chrono::milliseconds(ms);
  while (IsOpen()) {
    const auto now = Clock::now();
    if (ms >= 0 && now >= end) break;
    int wait = 50;
    if (ms >= 0)
      wait = static_cast<int>(std::min<long long>(
          wait, std::chrono::duration_cast<std::chrono::milliseconds>(end - now).count()));
    WaitMessage(wait);
  }
  if (IsOpen()) ProcessMessages();
}

void EngineWindow::Settle() {
  ProcessMessages();
  Run(100);
}

std::u16string EngineWindow::Url() const {
  return impl_->view ? impl_->view->Url() : std::u16string();
}

}  // namespace quillmer::cli
