#include "ui/zoom.h"

#include <cstdint>
#include <limits>

#include "page/page_access.h"
#include "platform/base/ascii.h"

namespace quillmer {
namespace {

// The body's style as IHTMLStyle3; raises when any step fails.
ComPtr<IHTMLStyle3> BodyZoomStyle(IHTMLDocument2* document) {
  ComPtr<IHTMLElement> body;
  OleCheck(document->get_body(body.put()), "IHTMLDocument2::get_body");
  ThrowIfNull(body);
  ComPtr<IHTMLStyle> style;
  OleCheck(body->get_style(style.put()), "IHTMLElement::get_style");
  return QueryOrThrow<IHTMLStyle3>(ThrowIfNull(style).get());
}

ComPtr<IHTMLStyle3> BodyZoomStyle(IWebBrowser2* browser) {
  ComPtr<IDispatch> documentDispatch;
  OleCheck(browser->get_Document(documentDispatch.put()), "IWebBrowser2::get_Document");
  return BodyZoomStyle(QueryOrThrow<IHTMLDocument2>(documentDispatch.get()).get());
}

std::u16string ReadZoom(IHTMLStyle3* style) {
  VARIANT zoom;
  OleCheck(style->get_zoom(&zoom), "IHTMLStyle3::get_zoom");
  std::u16string text;
  // Null or an object: no zoom the page states.
  if (FAILED(VariantToString(zoom, &text))) return {};
  return text;
}

std::u16string PercentText(int percent) {
  const std::string digits = std::to_string(percent) + "%";
  return std::u16string(digits.begin(), digits.end());
}

// A signed decimal integer with optional spaces around it, as the platform's
// integer parsing takes it.
bool ParseInt(std::u16string_view s, std::int64_t* out) {
  std::size_t i = 0, end = s.size();
  while (i < end && s[i] == u' ') ++i;
  while (end > i && s[end - 1] == u' ') --end;
  bool negative = false;
  if (i < end && (s[i] == u'-' || s[i] == u'+')) negative = s[i++] == u'-';
  if (i == end) return false;
  std::int64_t n = 0;
  for (; i < end; ++i) {
    if (s[i] < u'0' || s[i] > u'9') return false;
    n = n * 10 + (s[i] - u'0');
    if (n > std::numeric_limits<std::int32_t>::max()) return false;
  }
  *out = negative ? -n : n;
  return true;
}

}  // namespace

int ZoomStep(const SharedSettingsData& settings, IWebBrowser2* browser, bool zoomIn) {
  constexpr int kUnchanged = 100;
  if (!browser) return kUnchanged;
  try {
    ComPtr<IHTMLStyle3> style = BodyZoomStyle(browser);
    std::u16string text = ReadZoom(style.get());
    if (text.empty()) text = u"100%";
    if (text.back() == u'%') text.pop_back();
    std::int64_t percent = 0;
    if (!ParseInt(text, &percent)) return kUnchanged;
    percent += zoomIn ? settings.ZoomIncrement : -std::int64_t{settings.ZoomIncrement};
    if (percent < kMinZoomStep) percent = kMinZoomStep;
    if (percent > std::numeric_limits<std::int32_t>::max())
      percent = std::numeric_limits<std::int32_t>::max();
    const int result = static_cast<int>(percent);
    OleCheck(style->put_zoom(VariantString(PercentText(result))), "IHTMLStyle3::put_zoom");
    return result;
  } catch (const std::exception&) {
    // The page stays as it was, and shows as 100%.
    return kUnchanged;
  }
}

bool SetPageZoom(IWebBrowser2* browser, int percent) {
  if (!browser) return false;
  try {
    ComPtr<IWebBrowser2> top = GetTopLevelBrowser(browser);
    if (!top) return false;
    ComPtr<IHTMLStyle3> style = BodyZoomStyle(top.get());
    const std::u16string target = PercentText(percent);
    if (EqualNoCase(ReadZoom(style.get()), target)) return false;
    OleCheck(style->put_zoom(VariantString(target)), "IHTMLStyle3::put_zoom");
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

int BodyZoomPercent(IHTMLDocument2* document) {
  std::u16string text = ReadZoom(BodyZoomStyle(document).get());
  if (!text.empty() && text.back() == u'%') text.pop_back();
  std::int64_t percent = 0;
  if (text.empty() || !ParseInt(text, &percent)) return 100;
  return static_cast<int>(percent);
}

void ApplyAutoZoom(const SharedSettingsData& settings, IWebBrowser2* browser,
                   std::string_view url) {
  if (!browser) return;
  SetPageZoom(browser, FindAutoZoom(settings.autoZoomList, url, settings.defaultZoom));
}

}  // namespace quillmer
