// Page zoom: the CSS zoom of the page's body as a percentage, stepped in or
// out, set to a value, or chosen per URL from the auto-zoom list.
#pragma once

#include <string>
#include <string_view>

#include "page/url_pattern.h"
#include "platform/browser/mshtml.h"
#include "ui/shared_settings.h"

namespace quillmer {

// A step never goes below this; there is no upper bound.
constexpr int kMinZoomStep = 10;

// One step of settings.ZoomIncrement on the browser's own document. An unset
// zoom counts as 100%; "150" is read as "150%". Returns the percentage now
// set, or 100 when the zoom could not be read, was no number, or could not be
// written (the page then stays as it was). Never raises.
int ZoomStep(const SharedSettingsData& settings, IWebBrowser2* browser, bool zoomIn);

// Sets the zoom of the top-level page of the browser's window to percent
// ("120%"), and writes only when it differs (ignoring case) so that the page
// is not laid out again for nothing. True when it wrote. Never raises.
bool SetPageZoom(IWebBrowser2* browser, int percent);

// The zoom the document's body states, as the auto-zoom URL dialog is offered
// it: an unset zoom is 100, a final "%" is dropped, what is no number is 100.
// Raises when the body or its style cannot be reached.
int BodyZoomPercent(IHTMLDocument2* document);

// Auto-zoom: the percentage of the last entry of settings.autoZoomList whose
// pattern matches url (8-bit, in the ANSI code page), else
// settings.defaultZoom, set with SetPageZoom. Entries whose pattern is
// invalid are passed over. Nothing for a null browser.
void ApplyAutoZoom(const SharedSettingsData& settings, IWebBrowser2* browser, std::string_view url);

// UrlToAutoZoomPattern, the pattern the user is offered for a page:
// page/url_pattern.h.

}  // namespace quillmer
