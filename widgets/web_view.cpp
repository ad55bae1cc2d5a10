#include "widgets/web_view.h"

namespace quillmer {

void WebView::SetMenuEntries(const std::vector<std::u16string>& captions) {
  for (std::size_t i = 0; i < captions.size(); ++i)
    SetString(Prop::Items, captions[i], static_cast<std::int32_t>(i));
}

bool WebView::ChooseMenuEntry(int index) { return Kit().SetInt(Handle(), Prop::ItemIndex, index); }

WebView::Answer WebView::Call(const char* name, const std::vector<std::string>& args,
                              int timeoutMs) const {
  std::vector<const char*> argv;
  for (const auto& a : args) argv.push_back(a.c_str());
  Answer answer;
  bool replied = false;
  struct Context {
    Answer* answer;
    bool* replied;
  } context{&answer, &replied};
  const bool done = Kit().PageCall(
      Handle(), name, argv.data(), argv.size(),
      [](void* c, bool ok, const char* text, std::size_t size) {
        auto* ctx = static_cast<Context*>(c);
        ctx->answer->ok = ok;
        ctx->answer->text.assign(text ? text : "", text ? size : 0);
        *ctx->replied = true;
      },
      &context, timeoutMs);
  if (!done || !replied) {
    answer.ok = false;
    answer.text = std::string("the page did not answer \"") + name + "\"";
  }
  return answer;
}

LRESULT WebView::Message(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == QM_NAVIGATE) {
    if (OnNavigate) OnNavigate(wParam);
    return 0;
  }
  if (message == QM_CLICK) {
    if (OnMenuEntry) OnMenuEntry(static_cast<int>(wParam));
    return 0;
  }
  return Control::Message(message, wParam, lParam);
}

}  // namespace quillmer
