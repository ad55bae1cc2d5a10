// A browser view of the engine: its pages live in the engine's web process,
// where our extension runs; the program reaches them through calls.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/base/text.h"
#include "widgets/control.h"

namespace quillmer {

class WebView : public Control {
 public:
  WebView(Control& parent, std::string name)
      : Control(ControlKind::WebView, &parent, std::move(name)) {}

  // Loads an address (a path is taken as a local file).
  void Load(std::u16string_view url) { SetString(Prop::Url, url); }
  std::u16string Url() const { return GetString(Prop::Url); }
  std::u16string Title() const { return GetString(Prop::Caption); }
  bool Loading() const { return GetInt(Prop::Loading) != 0; }
  void GoBack() { SetInt(Prop::Navigate, kGoBack); }
  void GoForward() { SetInt(Prop::Navigate, kGoForward); }
  void Reload() { SetInt(Prop::Navigate, kReload); }
  void Stop() { SetInt(Prop::Navigate, kStop); }
  bool CanGoBack() const { return GetInt(Prop::CanGoBack) != 0; }
  bool CanGoForward() const { return GetInt(Prop::CanGoForward) != 0; }

  // Entries of our own in the page's context menu; OnMenuEntry gets the
  // index of the one chosen.
  void SetMenuEntries(const std::vector<std::u16string>& captions);
  // Chooses an entry of the context menu open now; false when none is.
  bool ChooseMenuEntry(int index);

  struct Answer {
    bool ok = false;
    std::string text;  // UTF-8: the answer, or why there is none
  };
  // A message to our extension in the page's web process, and its answer
  // (ok false, with the reason, when the page cannot be reached in time).
  Answer Call(const char* name, const std::vector<std::string>& args = {},
              int timeoutMs = 30000) const;

  // kLoadStarted ... kTitleChanged, as the page loads.
  std::function<void(WPARAM what)> OnNavigate;
  std::function<void(int index)> OnMenuEntry;

 protected:
  LRESULT Message(UINT message, WPARAM wParam, LPARAM lParam) override;
};

}  // namespace quillmer
