// Converting the page of a browser window: one document (ConvertDocument) or
// a document with all its frames, depth first (ConvertBrowserTree), and the
// page's character set around it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "engine/identities.h"
#include "engine/types.h"
#include "page/page_state.h"
#include "page/support_message.h"
#include "platform/browser/mshtml.h"

namespace quillmer {

// Who started a conversion: the automatic one after a page load skips pages
// that are not Chinese or already in the target script; a user's request
// converts what it is given.
enum class ConversionTrigger : std::uint8_t { Automatic, UserRequest };

// Whether a conversion may switch the page's charset to the target script's.
enum class CharsetPolicy : std::uint8_t { MaySwitch, Keep };

// Converts the browser's document and nothing below it. Raises the error of a failing DOM call,
// with what was converted so far left in place. An empty browser, or a document that is no HTML
// document, is not converted. The context gives the settings, the page state and the form
// connector.
void ConvertDocument(const PageContext& context, IWebBrowser2* browser, ConvDirection direction,
                     ConversionTrigger trigger, CharsetPolicy charsetPolicy);

// The browser's document, then each embedded browser's tree in embedding
// order. A failure ends its own level only: the frames after it at the level
// above are still converted. Never raises.
void ConvertBrowserTree(const PageContext& context, IWebBrowser2* browser, ConvDirection direction,
                        ConversionTrigger trigger, CharsetPolicy charsetPolicy);

// "OrigCharset" of the browser; empty when unset, empty or null.
std::u16string GetOrigCharset(IWebBrowser2* browser);

// Records the charset the page came with, unless one is recorded already.
void RecordOrigCharset(IWebBrowser2* browser, std::string_view charset, bool charsetMismatch);

// The end of a conversion: switches the document to the target script's
// charset (and, for a user's request, stops a page still loading and asks the
// window's helper to connect to the page's forms), or corrects a mismatched
// declaration. top may be empty.
void SwitchOrCorrectCharset(const PageContext& context, IWebBrowser2* browser,
                            IHTMLDocument2* document, IWebBrowser2* top, std::string_view charset,
                            ConvDirection direction, ConversionTrigger trigger,
                            CharsetPolicy charsetPolicy, bool charsetMismatch);

// What became of a page conversion the user asked for.
enum class UserConversion {
  Converted,       // the conversion ran (a failing frame is skipped silently)
  SupportMissing,  // a Chinese code page is not installed; the user was told
  Busy,            // another whole-window conversion is running
};

// The toolbar's page command: enters the browser in ConvertingBrowsers, checks
// that code pages 950 and 936 are installed (else shows the support message
// with owner), skips when ConversionBusy is set, and otherwise converts the
// whole window at the user's request with ConversionBusy set. The browser
// leaves the list and the flag is cleared on every way out.
UserConversion ConvertPageForUser(const PageContext& context, IWebBrowser2* browser,
                                  ConvDirection direction, OwnerWindow owner = 0);

}  // namespace quillmer
