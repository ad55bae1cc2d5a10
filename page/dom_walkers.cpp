#include "page/dom_walkers.h"

#include <optional>
#include <vector>

#include "engine/detect.h"
#include "page/page_access.h"
#include "page/text_rules.h"

namespace quillmer {
namespace {

std::u16string Convert(const std::u16string& text, ConvDirection direction,
                       TextEncoding pageEncoding, bool repair) {
  std::u16string result = text;
  ConvertWideText(text, direction, pageEncoding, result, repair);
  return result;
}

// Text of an attribute value; nullopt when it is absent (empty, no object,
// or null) or not text at all.
std::optional<std::u16string> AttributeText(const VARIANT& v) {
  if (VariantIsEmpty(v) || VariantDeref(v).vt == VT_NULL) return std::nullopt;
  std::u16string s;
  if (FAILED(VariantToString(v, &s))) return std::nullopt;
  return s;
}

std::optional<std::u16string> GetAttributeText(IHTMLElement* element, const char16_t* name) {
  VARIANT v;
  OleCheck(element->getAttribute(name, 0, &v));
  return AttributeText(v);
}

void SetAttributeText(IHTMLElement* element, const char16_t* name, std::u16string value) {
  OleCheck(element->setAttribute(name, VariantString(std::move(value)), 0));
}

// Runs f on each item of an element collection, as the interface T.
template <class T, class F>
void ForEachItem(IHTMLElementCollection* collection, F&& f) {
  LONG length = 0;
  OleCheck(collection->get_length(&length));
  for (LONG i = 0; i < length; ++i) {
    ComPtr<IDispatch> item;
    OleCheck(collection->item(VariantInt(i), VariantInt(0), item.put()));
    ComPtr<T> element = QueryOrThrow<T>(item.get());
    f(element.get());
  }
}

ComPtr<IHTMLElementCollection> ElementsByTagName(IHTMLDocument2* document,
                                                 std::u16string_view tag) {
  ComPtr<IHTMLDocument3> doc3 = QueryOrThrow<IHTMLDocument3>(document);
  ComPtr<IHTMLElementCollection> collection;
  OleCheck(doc3->getElementsByTagName(std::u16string(tag), collection.put()));
  return ThrowIfNull(std::move(collection));
}

ComPtr<IHTMLElementCollection> AllElements(IHTMLDocument2* document) {
  ComPtr<IHTMLElementCollection> all;
  OleCheck(document->get_all(all.put()));
  return ThrowIfNull(std::move(all));
}

template <class FontElement>
void ConvertFaces(IHTMLElementCollection* collection, const WalkContext& context) {
  // Plain names, not a structured binding: lambdas below capture them.
  const ConvDirection direction = context.direction;
  const TextEncoding pageEncoding = context.pageEncoding;
  const bool charsetMismatch = context.charsetMismatch;
  ForEachItem<FontElement>(collection, [&](FontElement* font) {
    std::u16string face;
    OleCheck(font->get_face(&face));
    if (IsAsciiText(face)) return;
    if (SubstituteFontNames(face, direction, pageEncoding, charsetMismatch))
      OleCheck(font->put_face(face));
  });
}

}  // namespace

void ConvertTextNodes(IHTMLDOMNode* node, const WalkContext& context) {
  const ConvDirection direction = context.direction;
  const TextEncoding pageEncoding = context.pageEncoding;
  const bool charsetMismatch = context.charsetMismatch;
  if (!node) return;
  // The tree is walked with a stack of our own: a page may nest deeper than
  // the call stack allows. The calls are those of the recursive walk.
  std::vector<ComPtr<IHTMLDOMNode>> parents;
  bool titleSeen = false;
  ComPtr<IHTMLDOMNode> child;
  OleCheck(node->get_firstChild(child.put()));
  for (;;) {
    while (!child) {
      if (parents.empty()) return;
      OleCheck(parents.back()->get_nextSibling(child.put()));
      parents.pop_back();
    }
    LONG type = 0;
    OleCheck(child->get_nodeType(&type));
    if (type == NODE_TEXT) {
      VARIANT value;
      OleCheck(child->get_nodeValue(&value));
      std::u16string t;
      if (auto text = AttributeText(value)) t = std::move(*text);
      if (charsetMismatch) {
        t = Convert(t, direction, pageEncoding, true);
      } else if (direction == cdToTrad && pageEncoding == teBig5) {
        // Text declared Traditional may still hold Simplified characters:
        // take everything to Simplified first, then back.
        t = Convert(Convert(t, cdToSim, pageEncoding, false), cdToTrad, pageEncoding, false);
      } else if (direction == cdToSim && pageEncoding == teGBK) {
        t = Convert(Convert(t, cdToTrad, pageEncoding, false), cdToSim, pageEncoding, false);
      } else {
        t = Convert(t, direction, pageEncoding, false);
      }
      OleCheck(child->put_nodeValue(VariantString(std::move(t))));
    }
    bool hasChildren = false;
    OleCheck(child->hasChildNodes(&hasChildren));
    if (hasChildren && type == NODE_ELEMENT) {
      std::u16string name;
      OleCheck(child->get_nodeName(&name));
      if (name == u"TITLE" && !titleSeen) {
        // The document's title (its first <title>) is converted on its own;
        // converting its text again would repair a mismatched title twice.
        titleSeen = true;
        hasChildren = false;
      } else if (name == u"SCRIPT" || name == u"STYLE") {
        // Not page text: script source stays as written, and style text is
        // a sheet, whose font names the sheet walk maps to partner fonts.
        hasChildren = false;
      }
    }
    if (hasChildren) {
      ComPtr<IHTMLDOMNode> first;
      OleCheck(child->get_firstChild(first.put()));
      parents.push_back(std::move(child));
      child = std::move(first);
      continue;
    }
    ComPtr<IHTMLDOMNode> next;
    OleCheck(child->get_nextSibling(next.put()));
    child = std::move(next);
  }
}

void ConvertFontFaces(IHTMLDocument2* document, std::u16string_view tag,
                      const WalkContext& context) {
  auto collection = ElementsByTagName(document, tag);
  if (tag == u"basefont")
    ConvertFaces<IHTMLBaseFontElement>(collection.get(), context);
  else
    ConvertFaces<IHTMLFontElement>(collection.get(), context);
}

void ConvertStyleFonts(IHTMLDocument2* document, const WalkContext& context) {
  const ConvDirection direction = context.direction;
  const TextEncoding pageEncoding = context.pageEncoding;
  const bool charsetMismatch = context.charsetMismatch;
  auto all = AllElements(document);
  LONG length = 0;
  OleCheck(all->get_length(&length));
  for (LONG i = 0; i < length; ++i) {
    ComPtr<IDispatch> item;
    OleCheck(all->item(VariantInt(i), VariantInt(0), item.put()));
    auto element = QueryOrThrow<IHTMLElement>(item.get());
    ComPtr<IHTMLStyle> style;
    OleCheck(element->get_style(style.put()));
    if (!style) return;  // an element without a style ends the walk
    std::u16string f;
    OleCheck(style->get_fontFamily(&f));
    if (SubstituteFontNames(f, direction, pageEncoding, charsetMismatch))
      OleCheck(style->put_fontFamily(f));
    OleCheck(style->get_font(&f));
    if (SubstituteFontNames(f, direction, pageEncoding, charsetMismatch))
      OleCheck(style->put_font(f));
  }
}

void ConvertInputValues(IHTMLDocument2* document, const WalkContext& context) {
  const ConvDirection direction = context.direction;
  const TextEncoding pageEncoding = context.pageEncoding;
  const bool charsetMismatch = context.charsetMismatch;
  auto inputs = ElementsByTagName(document, u"input");
  ForEachItem<IHTMLElement>(inputs.get(), [&](IHTMLElement* input) {
    auto value = GetAttributeText(input, u"value");
    if (!value || IsAsciiText(*value)) return;
    SetAttributeText(input, u"value", Convert(*value, direction, pageEncoding, charsetMismatch));
  });
}

void ConvertAltTitle(IHTMLDocument2* document, const WalkContext& context) {
  const ConvDirection direction = context.direction;
  const TextEncoding pageEncoding = context.pageEncoding;
  const bool charsetMismatch = context.charsetMismatch;
  auto all = AllElements(document);
  ForEachItem<IHTMLElement>(all.get(), [&](IHTMLElement* element) {
    VARIANT alt;
    OleCheck(element->getAttribute(u"Alt", 0, &alt));
    // An empty Alt (as opposed to a null one) leaves the title unread too.
    if (VariantIsEmpty(alt)) return;
    auto a = AttributeText(alt);
    if (a && !IsAsciiText(*a))
      SetAttributeText(element, u"Alt", Convert(*a, direction, pageEncoding, charsetMismatch));
    auto title = GetAttributeText(element, u"title");
    if (!title || IsAsciiText(*title)) return;
    SetAttributeText(element, u"title", Convert(*title, direction, pageEncoding, charsetMismatch));
  });
}

void ConvertStyleSheets(IHTMLDocument2* document, const WalkContext& context) {
  const ConvDirection direction = context.direction;
  const TextEncoding pageEncoding = context.pageEncoding;
  const bool charsetMismatch = context.charsetMismatch;
  ComPtr<IHTMLStyleSheetsCollection> sheets;
  OleCheck(document->get_styleSheets(sheets.put()));
  if (!sheets) return;
  LONG length = 0;
  OleCheck(sheets->get_length(&length));
  for (LONG i = 0; i < length; ++i) {
    VARIANT item;
    OleCheck(sheets->item(VariantInt(i), &item));
    const VARIANT& v = VariantDeref(item);
    IUnknown* object = v.vt == VT_DISPATCH  ? static_cast<IUnknown*>(v.pdispVal.get())
                       : v.vt == VT_UNKNOWN ? v.punkVal.get()
                                            : nullptr;
    auto sheet = QueryOrThrow<IHTMLStyleSheet>(object);
    std::u16string css;
    OleCheck(sheet->get_cssText(&css));
    if (SubstituteAllFontNames(css, direction, pageEncoding, charsetMismatch))
      OleCheck(sheet->put_cssText(css));
  }
}

bool IsLocalFileLink(IHTMLDocument2* document, std::u16string_view url) {
  std::u16string documentUrl;
  OleCheck(document->get_URL(&documentUrl));
  return IsLocalFileLink(documentUrl, url);
}

void ConvertLinks(IHTMLDocument2* document, const WalkContext& context) {
  const TextEncoding pageEncoding = context.pageEncoding;
  const bool charsetMismatch = context.charsetMismatch;
  ComPtr<IHTMLElementCollection> links;
  OleCheck(document->get_links(links.put()));
  ForEachItem<IHTMLElement>(ThrowIfNull(std::move(links)).get(), [&](IHTMLElement* link) {
    auto href = GetAttributeText(link, u"href");
    if (!href || IsAsciiText(*href)) return;
    if (IsLocalFileLink(document, *href)) {
      // A local file is found by its name as shown, not by escaped bytes.
      if (charsetMismatch) SetAttributeText(link, u"href", RepairCharset(*href, pageEncoding));
      return;
    }
    std::u16string encoded = EncodeLinkUrl(*href, pageEncoding, charsetMismatch);
    if (encoded != *href) SetAttributeText(link, u"href", std::move(encoded));
  });
}

}  // namespace quillmer
