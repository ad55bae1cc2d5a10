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

// Every text node under node, depth first in document order, but for the
// text of the document's title (its first <title>), which ConvertDocument
// converts itself. Each one is written back, changed or not.
void ConvertTextNodes(IHTMLDOMNode* node, ConvDirection direction, bool charsetMismatch,
                      TextEncoding pageEncoding);

// The face of every <font> (tag "font") or <basefont> (tag "basefont").
void ConvertFontFaces(IHTMLDocument2* document, std::u16string_view tag, ConvDirection direction,
                      TextEncoding pageEncoding, bool charsetMismatch);

// fontFamily and font of every element's inline style.
void ConvertStyleFonts(IHTMLDocument2* document, ConvDirection direction, TextEncoding pageEncoding,
                       bool charsetMismatch);

// The value attribute of every <input>.
void ConvertInputValues(IHTMLDocument2* document, ConvDirection direction,
                        TextEncoding pageEncoding, bool charsetMismatch);

// The Alt and title attributes of every element.
void ConvertAltTitle(IHTMLDocument2* document, ConvDirection direction, TextEncoding pageEncoding,
                     bool charsetMismatch);

// Font names in the text of every style sheet.
void ConvertStyleSheets(IHTMLDocument2* document, ConvDirection direction,
                        TextEncoding pageEncoding, bool charsetMismatch);

// The href of every link, escaped in the page's code page so that it keeps
// its target when the page's charset is switched.
void ConvertLinks(IHTMLDocument2* document, TextEncoding pageEncoding, bool charsetMismatch);

// Whether the link is local, for a link of this document.
bool IsLocalFileLink(IHTMLDocument2* document, std::u16string_view url);

}  // namespace quillmer
