// Loading real pages into the browser model and saving them back.
//
// LoadPage reads an HTML file, decodes it (signature, then the page's own
// declaration, then detection), parses it and builds a top-level browser
// whose document holds the page. <frame> and <iframe> elements become
// embedded browsers, loaded recursively from their local source files;
// <object>, <embed> and <applet> are embeddings that are no browsers.
// <style> elements and the local files of <link rel="stylesheet"> are the
// document's style sheets. SavePage writes the document in its (possibly
// changed) character set and its frames and linked style sheets beside it.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/browser/charset.h"
#include "platform/browser/mshtml.h"

namespace quillmer {

// Guesses the code page of undeclared page bytes: a code page (950, 936,
// 65001, 1200, 1201 ...) or 0 when it cannot tell. The engine's detector is
// wired in by the layer above (the browser model does not depend on the
// engine).
using EncodingDetector = std::function<UINT(std::string_view bytes)>;

// The process-wide detector; an empty one restores the built-in guess
// (UTF-8 when the bytes are valid UTF-8, else the system ANSI code page).
void SetEncodingDetector(EncodingDetector detector);

// How a document's character set was found.
enum class CharsetSource { Signature, Declaration, Detection, Default };

struct LoadOptions {
  EncodingDetector detect;      // overrides the process-wide detector
  unsigned maxFrameDepth = 8;   // deeper frames stay empty (about:blank)
  unsigned maxDocuments = 256;  // frames beyond this many documents stay empty
  // Told, for each document, what a hostile page lost: attributes beyond the
  // first 256 of an element, and elements nested deeper than 256 levels
  // (dropped, what they held kept at that level).
  std::function<void(const std::string& note)> note;
};

// Loads the page at path with its frames. A frame whose file is missing, not
// local, not a regular file, nested too deep, beyond the document limit, or
// that would load one of its own ancestors is an embedded browser holding an
// empty document at "about:blank". Elements nested deeper than 512 levels are
// kept at that level, as browsers do; and so that parsing stays linear in the
// page however it is made, an element keeps its first 256 attributes and one
// opened deeper than 256 levels (by a rough count) is dropped, what it holds
// kept at that level. A frame showing a local file that is
// no page by its name (notes.txt, a.png) holds a document that offers no
// IHTMLDocument2; SavePage copies such a file, never rewrites it. Throws
// Error when path itself cannot be read (E_FILE_NOT_FOUND when it is
// missing).
ComPtr<IWebBrowser2> LoadPage(const std::string& path, const LoadOptions& options = {});

// The same for bytes already read, as if they were the file at path (frames
// and style sheets resolve beside it; path need not exist).
ComPtr<IWebBrowser2> LoadPageFromBytes(std::string_view bytes, const std::string& path,
                                       const LoadOptions& options = {});

struct SaveResult {
  std::vector<std::string> written;  // files written, the page first
  std::vector<std::string> skipped;  // frames and sheets not written, with the reason
};

// Writes the browser's document to path (atomically) in its character set,
// with its declaration set to it; then, beside path under the same relative
// paths, the documents of its loaded frames (recursively) and its linked
// style sheets. A frame or sheet whose relative path would leave the
// directory of the page that names it is skipped, never written elsewhere.
// Characters the character set cannot hold are written as character
// references (in CSS as escapes). Throws Error when the page itself cannot
// be written.
SaveResult SavePage(IWebBrowser2* browser, const std::string& path);

// The document alone, as the bytes SavePage writes for it.
std::string SerializeDocument(IHTMLDocument2* document);

// Reads a document again as if its bytes were in charset, as a browser's
// encoding override does: every text, comment, attribute value and style
// sheet that took its characters from the page's bytes is decoded anew (what
// came from character references stays), and charset becomes the document's.
// Meant for a document as loaded, before anything was written into it. False
// when charset is unknown or not installed.
bool ReadDocumentAs(IHTMLDocument2* document, std::u16string_view charset);

// What the loader found for a document: the source of its character set.
CharsetSource CharsetSourceOf(IHTMLDocument2* document);

// Browser windows.

// A new window's top-level browser: an empty page at about:blank, complete.
// Navigate2 loads pages into it (the process-wide detector deciding
// undeclared character sets).
ComPtr<IWebBrowser2> NewBrowserWindow();

// A page a browser left, as it was at that moment (after the sinks of
// BeforeNavigate2 had run).
struct LeftPage {
  std::u16string url;
  std::u16string charset;
};
// The pages the window's browsers left, oldest first.
std::vector<LeftPage> LeftPages(IWebBrowser2* browser);

// Follows a link as a click does: the <a> or <area> element's href, resolved
// against its document's file, navigated in the browser its target names
// ("_top", "_parent", "_self", a frame's name; none: the link's own; a name
// the window does not have: the top-level browser). A link to a fragment of
// its own page does nothing. INET_E_RESOURCE_NOT_FOUND for a link that leads
// to no readable local file, E_INVALIDARG for an element that is no link.
HRESULT FollowLink(IHTMLElement* link);

// Forms.

// Types text into an input or textarea: its current value, which forms send
// and getAttribute("value") reads; the default (the value attribute, a
// textarea's text) stays and is what the page saves. E_INVALIDARG for other
// elements.
HRESULT TypeText(IHTMLElement* control, std::u16string text);
// The control's current value: what was typed, else its default.
std::u16string CurrentValue(IHTMLElement* control);

struct SubmittedField {
  std::u16string name, value;  // the bytes decoded again in the charset
  std::string nameBytes, valueBytes;
};
struct FormSubmission {
  std::u16string charset;  // the document's at the time of sending
  std::vector<SubmittedField> fields;
};

// Submits a form as the browser does: onsubmit goes to the form's
// HTMLFormElementEvents2 sinks (an event object whose srcElement is the form;
// a sink that sets its returnValue to false cancels), then the successful
// controls' names and current values are encoded in the document's charset
// (UTF-8 for a UTF-16 page; characters it cannot hold as "&#N;"). Disabled
// and nameless controls, buttons, file and image inputs, and checkboxes and
// radio buttons that are not checked send nothing. nullopt when cancelled.
std::optional<FormSubmission> SubmitForm(IHTMLFormElement* form);

// Keys.

// A key pressed in the window: onkeydown goes to the HTMLDocumentEvents2 sinks
// of the top-level document with an event object holding the virtual-key
// code and the modifiers (srcElement: the body). Returns the sinks called.
int PressKey(IWebBrowser2* browser, LONG keyCode, bool alt, bool ctrl, bool shift);

// Model controls, for tests and for driving browser sessions.

// Sets what get_ReadyState reports (e.g. READYSTATE_LOADING for a page that
// is still loading).
void SetReadyState(IWebBrowser2* browser, READYSTATE state);
// How many times Stop was called on the browser.
int StopCount(IWebBrowser2* browser);
// Sends an event to the sinks of an object's connection point (browser:
// DIID_DWebBrowserEvents2; document: DIID_HTMLDocumentEvents2; form:
// DIID_HTMLFormElementEvents2), args in declared order. Returns the number
// of sinks called.
int FireEvent(IUnknown* source, REFIID events, DISPID id, const std::vector<VARIANT>& args);
// A new event object for a sink: the element, the event type and the key.
ComPtr<IHTMLEventObj> MakeEventObject(IHTMLElement* srcElement, std::u16string type,
                                      LONG keyCode = 0, bool alt = false, bool ctrl = false,
                                      bool shift = false);

}  // namespace quillmer
