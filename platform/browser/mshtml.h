// The HTML document object model: documents, nodes, elements, collections,
// styles, style sheets, fonts, forms, the window and event objects.
//
// Conventions as in webbrowser.h. Every DOM object also offers IDispatch
// (collections hand out elements as IDispatch). A node offers IHTMLDOMNode;
// an element also IHTMLElement, and by its tag IHTMLFontElement (<font>),
// IHTMLBaseFontElement (<basefont>) or IHTMLFormElement (<form>); a text node
// offers no IHTMLElement.
#pragma once

#include <string>

#include "platform/browser/webbrowser.h"

namespace quillmer {

struct IHTMLElement;
struct IHTMLElementCollection;
struct IHTMLStyleSheetsCollection;
struct IHTMLWindow2;
struct IHTMLStyle;
struct IHTMLDocument2;

// Node types of get_nodeType.
constexpr LONG NODE_ELEMENT = 1;
constexpr LONG NODE_TEXT = 3;
constexpr LONG NODE_COMMENT = 8;

struct IHTMLDOMNode : IDispatch {
  QM_INTERFACE(IHTMLDOMNode, IDispatch, "{3050F5DA-98B5-11CF-BB82-00AA00BDCE0B}")
  virtual HRESULT get_nodeType(LONG* out) = 0;
  // Upper-case tag name for elements, "#text", "#comment".
  virtual HRESULT get_nodeName(std::u16string* out) = 0;
  // A text or comment node's text as VT_BSTR; VT_NULL for an element.
  virtual HRESULT get_nodeValue(VARIANT* out) = 0;
  // Sets a text or comment node's text (the value is turned into a string);
  // ignored for an element.
  virtual HRESULT put_nodeValue(const VARIANT& value) = 0;
  virtual HRESULT hasChildNodes(bool* out) = 0;
  // Neighbours; null with S_OK when there is none.
  virtual HRESULT get_parentNode(IHTMLDOMNode** out) = 0;
  virtual HRESULT get_firstChild(IHTMLDOMNode** out) = 0;
  virtual HRESULT get_lastChild(IHTMLDOMNode** out) = 0;
  virtual HRESULT get_previousSibling(IHTMLDOMNode** out) = 0;
  virtual HRESULT get_nextSibling(IHTMLDOMNode** out) = 0;
};

// Flags of getAttribute / setAttribute / removeAttribute: 0 compares names
// without regard to case, 1 with.
constexpr LONG ATTRFLAG_CASESENSITIVE = 1;

struct IHTMLElement : IDispatch {
  QM_INTERFACE(IHTMLElement, IDispatch, "{3050F1FF-98B5-11CF-BB82-00AA00BDCE0B}")
  // The attribute's text as VT_BSTR; VT_NULL when the element has no such
  // attribute.
  virtual HRESULT getAttribute(const std::u16string& name, LONG flags, VARIANT* out) = 0;
  // Sets (or adds) the attribute; the value is turned into a string.
  virtual HRESULT setAttribute(const std::u16string& name, const VARIANT& value, LONG flags) = 0;
  virtual HRESULT removeAttribute(const std::u16string& name, LONG flags, bool* removed) = 0;
  // Upper case: "FONT", "BODY", "FRAMESET".
  virtual HRESULT get_tagName(std::u16string* out) = 0;
  virtual HRESULT get_id(std::u16string* out) = 0;
  // The inline style (the style attribute); never null for an element.
  virtual HRESULT get_style(IHTMLStyle** out) = 0;
  // The rendered text: text of the element's subtree without script, style,
  // noscript, noframes and template content, with line breaks ("\r\n") for
  // <br> and between blocks. A frameset has none.
  virtual HRESULT get_innerText(std::u16string* out) = 0;
  // Replaces the element's content with the text.
  virtual HRESULT put_innerText(const std::u16string& text) = 0;
  virtual HRESULT get_innerHTML(std::u16string* out) = 0;
  virtual HRESULT get_outerHTML(std::u16string* out) = 0;
  // The owning document (IHTMLDocument2).
  virtual HRESULT get_document(IDispatch** out) = 0;
  virtual HRESULT get_parentElement(IHTMLElement** out) = 0;
};

// A live-at-the-time-of-the-call list of elements in document order.
struct IHTMLElementCollection : IDispatch {
  QM_INTERFACE(IHTMLElementCollection, IDispatch, "{3050F21F-98B5-11CF-BB82-00AA00BDCE0B}")
  virtual HRESULT get_length(LONG* out) = 0;
  // name holds an index (VT_I4 / VT_I2) or a name or id (VT_BSTR; index then
  // picks among the elements that have it). Null with S_OK when there is no
  // such element.
  virtual HRESULT item(const VARIANT& name, const VARIANT& index, IDispatch** out) = 0;
};

// The inline style of an element, read from and written to its style
// attribute: the declarations "font-family" and "font" as written.
struct IHTMLStyle : IDispatch {
  QM_INTERFACE(IHTMLStyle, IDispatch, "{3050F25E-98B5-11CF-BB82-00AA00BDCE0B}")
  virtual HRESULT get_fontFamily(std::u16string* out) = 0;
  virtual HRESULT put_fontFamily(const std::u16string& value) = 0;
  virtual HRESULT get_font(std::u16string* out) = 0;
  virtual HRESULT put_font(const std::u16string& value) = 0;
  // The whole style attribute.
  virtual HRESULT get_cssText(std::u16string* out) = 0;
  virtual HRESULT put_cssText(const std::u16string& value) = 0;
};

struct IHTMLStyle3 : IDispatch {
  QM_INTERFACE(IHTMLStyle3, IDispatch, "{3050F656-98B5-11CF-BB82-00AA00BDCE0B}")
  // The "zoom" declaration as VT_BSTR ("120%"); VT_BSTR "" when unset.
  virtual HRESULT get_zoom(VARIANT* out) = 0;
  // Writes the value turned into a string; an empty string removes it.
  virtual HRESULT put_zoom(const VARIANT& value) = 0;
};

struct IHTMLFontElement : IDispatch {
  QM_INTERFACE(IHTMLFontElement, IDispatch, "{3050F1D9-98B5-11CF-BB82-00AA00BDCE0B}")
  virtual HRESULT get_face(std::u16string* out) = 0;
  virtual HRESULT put_face(const std::u16string& value) = 0;
};

struct IHTMLBaseFontElement : IDispatch {
  QM_INTERFACE(IHTMLBaseFontElement, IDispatch, "{3050F202-98B5-11CF-BB82-00AA00BDCE0B}")
  virtual HRESULT get_face(std::u16string* out) = 0;
  virtual HRESULT put_face(const std::u16string& value) = 0;
};

// A style sheet: the text of a <style> element, or of a local file that a
// <link rel="stylesheet"> names.
struct IHTMLStyleSheet : IDispatch {
  QM_INTERFACE(IHTMLStyleSheet, IDispatch, "{3050F2E3-98B5-11CF-BB82-00AA00BDCE0B}")
  virtual HRESULT get_cssText(std::u16string* out) = 0;
  virtual HRESULT put_cssText(const std::u16string& value) = 0;
  // The link's href; empty for a <style> element.
  virtual HRESULT get_href(std::u16string* out) = 0;
  virtual HRESULT get_owningElement(IHTMLElement** out) = 0;
};

struct IHTMLStyleSheetsCollection : IDispatch {
  QM_INTERFACE(IHTMLStyleSheetsCollection, IDispatch, "{3050F37E-98B5-11CF-BB82-00AA00BDCE0B}")
  virtual HRESULT get_length(LONG* out) = 0;
  // The index-th sheet as VT_DISPATCH; E_INVALIDARG for an index out of range.
  virtual HRESULT item(const VARIANT& index, VARIANT* out) = 0;
};

// A form; also offers IHTMLElement and IConnectionPointContainer for
// HTMLFormElementEvents2.
struct IHTMLFormElement : IDispatch {
  QM_INTERFACE(IHTMLFormElement, IDispatch, "{3050F1F7-98B5-11CF-BB82-00AA00BDCE0B}")
  // The form's controls (input, select, textarea, button, in document order).
  virtual HRESULT get_length(LONG* out) = 0;
  virtual HRESULT item(const VARIANT& name, const VARIANT& index, IDispatch** out) = 0;
  virtual HRESULT get_action(std::u16string* out) = 0;
  virtual HRESULT get_method(std::u16string* out) = 0;
  virtual HRESULT get_name(std::u16string* out) = 0;
};

// The window of a document; also offers IServiceProvider (webbrowser.h).
struct IHTMLWindow2 : IDispatch {
  QM_INTERFACE(IHTMLWindow2, IDispatch, "{332C4427-26CB-11D0-B483-00C04FD90119}")
  virtual HRESULT get_document(IHTMLDocument2** out) = 0;
  virtual HRESULT get_name(std::u16string* out) = 0;
};

// The event object handed to event sinks (pEvtObj).
struct IHTMLEventObj : IDispatch {
  QM_INTERFACE(IHTMLEventObj, IDispatch, "{3050F32D-98B5-11CF-BB82-00AA00BDCE0B}")
  virtual HRESULT get_srcElement(IHTMLElement** out) = 0;
  virtual HRESULT get_altKey(bool* out) = 0;
  virtual HRESULT get_ctrlKey(bool* out) = 0;
  virtual HRESULT get_shiftKey(bool* out) = 0;
  virtual HRESULT get_keyCode(LONG* out) = 0;
  // "submit", "keydown".
  virtual HRESULT get_type(std::u16string* out) = 0;
  virtual HRESULT get_returnValue(VARIANT* out) = 0;
  virtual HRESULT put_returnValue(const VARIANT& value) = 0;
};

// An HTML document. Also offers IHTMLDocument3, IOleContainer (its
// embeddings), IServiceProvider and IConnectionPointContainer for
// HTMLDocumentEvents2.
struct IHTMLDocument2 : IDispatch {
  QM_INTERFACE(IHTMLDocument2, IDispatch, "{332C4425-26CB-11D0-B483-00C04FD90119}")
  // Every element in document order.
  virtual HRESULT get_all(IHTMLElementCollection** out) = 0;
  // The <body> element, or the <frameset> element of a frameset document;
  // null with S_OK when there is neither.
  virtual HRESULT get_body(IHTMLElement** out) = 0;
  // The text of the first <title>; put_title makes one in <head> if needed.
  virtual HRESULT get_title(std::u16string* out) = 0;
  virtual HRESULT put_title(const std::u16string& value) = 0;
  // The character set, lower case as the browser names it: "big5", "gb2312"
  // (also for GBK), "gb18030", "hz-gb-2312", "utf-8", "unicode",
  // "unicodefffe", "iso-8859-1", ...
  virtual HRESULT get_charset(std::u16string* out) = 0;
  // Sets the character set the document is saved in, and its declaration.
  // E_INVALIDARG for a name the browser does not know.
  virtual HRESULT put_charset(const std::u16string& value) = 0;
  // <a> and <area> elements that have an href, in document order.
  virtual HRESULT get_links(IHTMLElementCollection** out) = 0;
  virtual HRESULT get_forms(IHTMLElementCollection** out) = 0;
  virtual HRESULT get_styleSheets(IHTMLStyleSheetsCollection** out) = 0;
  // "file:///dir/page.html", "about:blank".
  virtual HRESULT get_URL(std::u16string* out) = 0;
  virtual HRESULT get_parentWindow(IHTMLWindow2** out) = 0;
  // "complete" (or "loading", ... after the browser's ready state).
  virtual HRESULT get_readyState(std::u16string* out) = 0;
};

struct IHTMLDocument3 : IDispatch {
  QM_INTERFACE(IHTMLDocument3, IDispatch, "{3050F485-98B5-11CF-BB82-00AA00BDCE0B}")
  // The <html> element.
  virtual HRESULT get_documentElement(IHTMLElement** out) = 0;
  // Elements with the tag, without regard to case, in document order; "*"
  // gives all.
  virtual HRESULT getElementsByTagName(const std::u16string& tag, IHTMLElementCollection** out) = 0;
  // The first element with the id; null with S_OK when none.
  virtual HRESULT getElementById(const std::u16string& id, IHTMLElement** out) = 0;
};

inline constexpr IID IID_IHTMLDocument2 = IHTMLDocument2::iid;
inline constexpr IID IID_IHTMLDocument3 = IHTMLDocument3::iid;
inline constexpr IID IID_IHTMLDOMNode = IHTMLDOMNode::iid;
inline constexpr IID IID_IHTMLElement = IHTMLElement::iid;
inline constexpr IID IID_IHTMLElementCollection = IHTMLElementCollection::iid;
inline constexpr IID IID_IHTMLStyle = IHTMLStyle::iid;
inline constexpr IID IID_IHTMLStyle3 = IHTMLStyle3::iid;
inline constexpr IID IID_IHTMLFontElement = IHTMLFontElement::iid;
inline constexpr IID IID_IHTMLBaseFontElement = IHTMLBaseFontElement::iid;
inline constexpr IID IID_IHTMLStyleSheet = IHTMLStyleSheet::iid;
inline constexpr IID IID_IHTMLStyleSheetsCollection = IHTMLStyleSheetsCollection::iid;
inline constexpr IID IID_IHTMLFormElement = IHTMLFormElement::iid;
inline constexpr IID IID_IHTMLWindow2 = IHTMLWindow2::iid;
inline constexpr IID IID_IHTMLEventObj = IHTMLEventObj::iid;

// Document events (HTMLDocumentEvents2): onkeydown(pEvtObj). Form events
// (HTMLFormElementEvents2): onsubmit(pEvtObj). pEvtObj is an IHTMLEventObj
// as VT_DISPATCH.
inline constexpr IID DIID_HTMLDocumentEvents2 = MakeGuid("{3050F613-98B5-11CF-BB82-00AA00BDCE0B}");
inline constexpr IID DIID_HTMLFormElementEvents2 =
    MakeGuid("{3050F614-98B5-11CF-BB82-00AA00BDCE0B}");
constexpr DISPID DISPID_HTMLDOCUMENTEVENTS2_ONKEYDOWN = -602;
constexpr DISPID DISPID_HTMLFORMELEMENTEVENTS2_ONSUBMIT = 1007;

}  // namespace quillmer
