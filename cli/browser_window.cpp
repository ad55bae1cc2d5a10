#include "cli/browser_window.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>

#include "cli/band_site.h"
#include "com/band.h"
#include "platform/base/error.h"
#include "platform/base/text.h"
#include "platform/browser/desk_band.h"
#include "platform/browser/page.h"
#include "platform/com/activation.h"
#include "platform/com/object.h"
#include "platform/com/service.h"
#include "platform/win32/keys.h"
#include "platform/win32/registry.h"
#include "widgets/form.h"
#include "widgets/page_view.h"

namespace quillmer::cli {
namespace fs = std::filesystem;
namespace {

constexpr int kWindowWidth = 960;
constexpr int kWindowHeight = 720;
constexpr int kRefreshMs = 250;

// The top-level window: lays its parts out again when resized, and closes
// when the user closes it.
class HostWindow final : public Form {
 public:
  HostWindow() : Form(ControlKind::Window, HWND{}, "QuillmerBrowser") {}
  std::function<void()> OnResize;
  // A key no control of the window took: virtual key, hotkey modifier bits.
  std::function<bool(unsigned, unsigned)> OnKey;
  bool closeRequested = false;

 protected:
  LRESULT Message(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message == WM_SIZE && OnResize) OnResize();
    if (message == WM_KEYDOWN && OnKey)
      return OnKey(static_cast<unsigned>(wParam), static_cast<unsigned>(lParam)) ? 1 : 0;
    if (message == QM_CLOSEQUERY) {
      closeRequested = true;
      return 1;  // the session closes it, bands first
    }
    return Form::Message(message, wParam, lParam);
  }
};

std::string TitleOf(IWebBrowser2* browser) {
  ComPtr<IDispatch> doc;
  if (FAILED(browser->get_Document(doc.put())) || !doc) return {};
  auto html = doc.query<IHTMLDocument2>();
  std::u16string title;
  if (html) html->get_title(&title);
  return ToUtf8(title);
}

// Every document of the window, frames included, as it would be saved: what
// the view shows changes exactly when this does.
void Fingerprint(IWebBrowser2* browser, std::string& out, int depth = 0) {
  ComPtr<IDispatch> doc;
  if (depth > 16 || FAILED(browser->get_Document(doc.put())) || !doc) return;
  auto html = doc.query<IHTMLDocument2>();
  if (!html) return;
  out += SerializeDocument(html.get());
  out += '\0';
  auto container = html.query<IOleContainer>();
  ComPtr<IEnumUnknown> objects;
  if (!container || FAILED(container->EnumObjects(OLECONTF_EMBEDDINGS, objects.put()))) return;
  ComPtr<IUnknown> object;
  while (objects->Next(1, object.put(), nullptr) == S_OK) {
    if (auto frame = object.query<IWebBrowser2>()) Fingerprint(frame.get(), out, depth + 1);
    object = nullptr;
  }
}

// What the saved copy does not carry itself (images, scripts, other pages)
// is reached through links to the originals.
void LinkMissing(const fs::path& from, const fs::path& to, int depth = 0) {
  std::error_code ec;
  if (depth > 8) return;
  for (const auto& entry : fs::directory_iterator(from, ec)) {
    const fs::path target = to / entry.path().filename();
    if (!fs::exists(fs::symlink_status(target, ec)))
      fs::create_symlink(entry.path(), target, ec);
    else if (fs::is_directory(target, ec) && !fs::is_symlink(target, ec) && entry.is_directory(ec))
      LinkMissing(entry.path(), target, depth + 1);
  }
}

fs::path PagePath(IWebBrowser2* browser) {
  std::u16string url;
  if (FAILED(browser->get_LocationURL(&url))) return {};
  std::string u = ToUtf8(url);
  if (u.rfind("file://", 0) == 0) u = u.substr(7);
  if (u.empty() || u[0] != '/') return {};
  return fs::path(u);
}

}  // namespace

struct BrowserWindow::Impl {
  ComPtr<IWebBrowser2> browser;
  std::unique_ptr<HostWindow> window;
  std::unique_ptr<Form> bandSite;
  std::unique_ptr<PageView> view;
  std::unique_ptr<BandSiteHost> bands;
  std::string shown;  // the fingerprint of what the view shows
  std::string title;
  fs::path scratch;  // the saved copies live here
  int generation = 0;
  std::chrono::steady_clock::time_point lastRefresh;

  void Layout() {
    if (!window || !IsWindow(window->Handle())) return;
    const int width = std::max(window->Width(), 100);
    const int height = std::max(window->Height(), 100);
    const int bandsHeight = bands->Height();
    bandSite->SetBounds(0, 0, width, bandsHeight);
    bands->Layout(width);
    view->SetBounds(0, bandsHeight, width, std::max(height - bandsHeight, 1));
  }

  void Refresh() {
    lastRefresh = std::chrono::steady_clock::now();
    if (!view || !browser) return;
    std::string now;
    Fingerprint(browser.get(), now);
    if (now == shown) return;
    shown = std::move(now);
    const fs::path page = PagePath(browser.get());
    if (page.empty()) return;
    // A new folder for each version, so that the view never reads a half
    // written one; the one before goes once this is shown.
    const fs::path previous = generation ? scratch / std::to_string(generation) : fs::path();
    const fs::path folder = scratch / std::to_string(++generation);
    std::error_code ec;
    fs::create_directories(folder, ec);
    const fs::path copy = folder / page.filename();
    try {
      SavePage(browser.get(), copy.string());
    } catch (const Error& e) {
      std::fprintf(stderr, "quillmer browse: the page cannot be shown: %s\n", e.what());
      return;
    }
    LinkMissing(page.parent_path(), folder);
    view->ShowFile(copy.string());
    if (!previous.empty()) fs::remove_all(previous, ec);
    const std::string t = TitleOf(browser.get());
    if (t != title) {
      title = t;
      window->SetCaption(FromUtf8(t.empty() ? "Quillmer" : t + " - Quillmer"));
    }
  }

  void Close() {
    if (bands) bands->Close();
    view.reset();
    bandSite.reset();
    window.reset();
    ProcessMessages();
    std::error_code ec;
    if (!scratch.empty()) fs::remove_all(scratch, ec);
    scratch.clear();
  }
};

BrowserWindow::BrowserWindow(IWebBrowser2* browser) : impl_(std::make_unique<Impl>()) {
  Impl& m = *impl_;
  m.browser = browser;
  std::string why;
  if (!LoadToolkit(&why)) throw Error("cannot open a window: " + why);
  const char* tmp = std::getenv("TMPDIR");
  std::string folder =
      (tmp && *tmp ? std::string(tmp) : std::string("/tmp")) + "/quillmer-view-XXXXXX";
  if (!mkdtemp(folder.data())) throw Error("cannot make a folder for the view in " + folder);
  m.scratch = folder;
  m.window = std::make_unique<HostWindow>();
  m.window->SetCaption(u"Quillmer");
  m.window->SetSize(kWindowWidth, kWindowHeight);
  m.bandSite = std::make_unique<Form>(ControlKind::Form, m.window->Handle(), "BandSite");
  m.view = std::make_unique<PageView>(*m.window, "PageView");
  m.bands = std::make_unique<BandSiteHost>(m.bandSite->Handle(), browser);
  m.window->OnResize = [&m] { m.Layout(); };
  // Keys reach the page as the browser hands them on: the helper's hotkeys
  // work from the keyboard.
  m.window->OnKey = [&m](unsigned vk, unsigned modifiers) {
    if (!m.browser) return false;
    PressKey(m.browser.get(), vk & 0xFF, modifiers & kHotKeyAlt, modifiers & kHotKeyCtrl,
             modifiers & kHotKeyShift);
    return true;
  };
  m.Layout();
  m.window->Show();
  m.Refresh();
  ProcessMessages();
}

BrowserWindow::~BrowserWindow() { Close(); }

HWND BrowserWindow::Handle() const { return impl_->window ? impl_->window->Handle() : nullptr; }

bool BrowserWindow::IsOpen() const {
  return impl_->window && IsWindow(impl_->window->Handle()) && !impl_->window->closeRequested;
}

void BrowserWindow::Close() { impl_->Close(); }

void BrowserWindow::Refresh() { impl_->Refresh(); }

void BrowserWindow::Run(int ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (IsOpen()) {
    const auto now = std::chrono::steady_clock::now();
    if (ms >= 0 && now >= end) break;
    int wait = 50;
    if (ms >= 0)
      wait = static_cast<int>(std::min<long long>(
          wait, std::chrono::duration_cast<std::chrono::milliseconds>(end - now).count()));
    WaitMessage(wait);
    if (std::chrono::steady_clock::now() - impl_->lastRefresh >=
        std::chrono::milliseconds(kRefreshMs))
      Refresh();
  }
  if (IsOpen()) ProcessMessages();
}

void BrowserWindow::Settle(int ms) {
  Refresh();
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  do {
    WaitMessage(20);
  } while (IsOpen() && impl_->view && impl_->view->Loading() &&
           std::chrono::steady_clock::now() < end);
  ProcessMessages();
}

std::vector<std::string> BrowserWindow::Bands() const { return impl_->bands->Classes(); }

}  // namespace quillmer::cli
