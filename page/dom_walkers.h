// The walkers that convert one document in place: text nodes, font faces,
// inline style fonts, input values, Alt and title attributes, style sheets and
// link addresses. A failing DOM call, or an element without the interface a
// walker needs, raises Error at once; what was written so far stays.
#pragma once

#include <string>
#include <string_view>

#include "engine/types.h"
#include "platform/browser/mshtml.h"

namespace quillmer {

// What every walker of one document works with: the conversion's direction,
// the code page the page's text is taken to be in, and whether the page's
// declared charset was found not to fit its text.
struct WalkContext {
  ConvDirection direction;
  TextEncoding pageEncoding;
  bool charsetMismatch;
};

// Every text node under node, depth first in document order, but for the
// text of the document's title (its first <title>), which ConvertDocument
// converts itself. Each one is written back, changed or not.
void ConvertTextNodes(IHTMLDOMNode* node, const WalkContext& context);

// The face of every <font> (tag "font") or <basefont> (tag "basefont").
void ConvertFontFaces(IHTMLDocument2* document, std::u16string_view tag,
                      const WalkContext& context);

// fontFamily and font of every element's inline style.
void ConvertStyleFonts(IHTMLDocument2* document, const WalkContext& context);

// The value attribute of every <input>.
void ConvertInputValues(IHTMLDocument2* document, const WalkContext& context);

// The Alt and title attributes of every element.
void ConvertAltTitle(IHTMLDocument2* document, const WalkContext& context);

// Font names in the text of every style sheet.
void ConvertStyleSheets(IHTMLDocument2* document, const WalkContext& context);

// The href of every link, escaped in the page's code page so that it keeps
// its target when the page's charset is switched.
void ConvertLinks(IHTMLDocument2* document, const WalkContext& context);

// Whether the link is local, for a link of this document.
bool IsLocalFileLink(IHTMLDocument2* document, std::u16string_view url);

}  // namespace quillmer
