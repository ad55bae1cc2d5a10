// Arbitrary bytes as a page: loaded (with frames beside it), converted to
// Traditional and back to Simplified as the user's page command does, with and
// without the charset switch, then serialized and saved. Input: byte 0's low
// bit switches AlterWBCharset; the rest is the page. Nothing may crash, hang
// or leak, and a saved page must load again.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "page/charset_rules.h"
#include "page/page_convert.h"
#include "page/page_state.h"
#include "platform/base/error.h"
#include "platform/browser/page.h"

namespace {

// One directory for the whole run: a frame file beside the page, and the
// place saved pages go to.
const std::filesystem::path& WorkDir() {
  static const std::filesystem::path dir = [] {
    std::string tmpl = (std::filesystem::temp_directory_path() / "fuzz-page-XXXXXX").string();
    std::filesystem::path d = ::mkdtemp(tmpl.data());
    std::filesystem::create_directories(d / "in");
    std::filesystem::create_directories(d / "out");
    FILE* f = std::fopen((d / "in" / "frame.html").c_str(), "wb");
    std::fputs(
        "<html><head><meta charset=gb2312><title>\xCD\xB7</title></head>"
        "<body><p>\xD6\xD0\xBB\xAA</p><iframe src=\"page.html\"></iframe></body></html>",
        f);
    std::fclose(f);
    return d;
  }();
  return dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quillmer;
  if (size == 0) return 0;
  const bool alter = data[0] & 1;
  std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  SetEncodingDetector(DetectPageCodePage);
  PageState state;
  PageSettings settings;
  settings.AlterWBCharset = alter;
  const PageContext context{settings, state, {}};

  const auto& dir = WorkDir();
  ComPtr<IWebBrowser2> browser = LoadPageFromBytes(bytes, (dir / "in" / "page.html").string());
  ConvertBrowserTree(context, browser.get(), cdToTrad, ConversionTrigger::UserRequest,
                     CharsetPolicy::MaySwitch);
  ConvertBrowserTree(context, browser.get(), cdToSim, ConversionTrigger::UserRequest,
                     CharsetPolicy::MaySwitch);

  ComPtr<IDispatch> document;
  browser->get_Document(document.put());
  auto html = document.query<IHTMLDocument2>();
  if (!html) std::abort();  // every loaded page is an HTML document
  std::string saved = SerializeDocument(html.get());
  try {
    SavePage(browser.get(), (dir / "out" / "page.html").string());
  } catch (const Error&) {
    std::abort();  // the work directory is ours: writing there must succeed
  }
  // What was saved loads again.
  ComPtr<IWebBrowser2> again = LoadPageFromBytes(saved, (dir / "out" / "again.html").string());
  if (!again) std::abort();
  return 0;
}
