#include "cli/page_io.h"

#include <cstdio>

#include "cli/command.h"
#include "page/charset_rules.h"
#include "platform/browser/mshtml.h"
#include "platform/browser/page.h"
#include "platform/com/hresult.h"

namespace quillmer::cli {

ComPtr<IWebBrowser2> LoadPageArgument(const std::string& file) {
  const bool fromStdin = file == "-";
  std::string bytes = fromStdin ? ReadStdin() : ReadFile(file);
  LoadOptions options;
  options.detect = DetectPageCodePage;
  options.note = [](const std::string& note) {
    std::fprintf(stderr, "quillmer: %s\n", note.c_str());
  };
  return LoadPageFromBytes(bytes, fromStdin ? "standard-input.html" : file, options);
}

int WritePage(IWebBrowser2* browser, const std::optional<std::string>& out, const char* command) {
  if (out) {
    SaveResult saved = SavePage(browser, *out);
    for (const auto& s : saved.skipped)
      std::fprintf(stderr, "quillmer %s: skipped %s\n", command, s.c_str());
    return kExitOk;
  }
  ComPtr<IDispatch> document;
  OleCheck(browser->get_Document(document.put()));
  auto html = document.query<IHTMLDocument2>();
  if (!html) return Fail("the page holds no HTML document");
  WriteStdout(SerializeDocument(html.get()));
  return kExitOk;
}

}  // namespace quillmer::cli
