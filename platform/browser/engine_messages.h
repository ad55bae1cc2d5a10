// What the program and our extension in the engine's web process say to each
// other (the toolkit's PageCall): the name of a message, its arguments as
// UTF-8 strings, and the answer as one string. A failure is answered with
// ok false and the reason as text.
#pragma once

namespace quillmer::engine_messages {

// Page work, run by the product's own code on the live page.
// "ConvertPage" [direction "0" to Traditional | "1" to Simplified]: the whole
//   window at the user's request (the automation object's ConToTrad/ConToSim).
inline constexpr const char* kConvertPage = "ConvertPage";
// "GetZoom" → the body's inline zoom as the page states it ("" when unset);
// "PutZoom" [text] writes it ("" removes it). What the toolbar's zoom reads
// and writes, call by call.
inline constexpr const char* kGetZoom = "GetZoom";
inline constexpr const char* kPutZoom = "PutZoom";
// "MenuExt" [page URL (res://...)]: runs a context-menu page with
// external.menuArguments the window the menu was opened in.
inline constexpr const char* kMenuExt = "MenuExt";

// What scripts read and do (browse --window).
// "Text" → the body's text; "Title"; "Charset" → the document's charset as
// the browser names it; "Url"; "Property" [name] → the browser property as
// text ("" when unset).
inline constexpr const char* kText = "Text";
inline constexpr const char* kTitle = "Title";
inline constexpr const char* kCharset = "Charset";
inline constexpr const char* kUrl = "Url";
inline constexpr const char* kProperty = "Property";
// "SetValue" [name or id, text]: types text into the top page's form control.
inline constexpr const char* kSetValue = "SetValue";
// "Submit" [form: index or name]: submits the form as the user would (its
// submit event and the helper's handler run); answers before the new page.
inline constexpr const char* kSubmit = "Submit";
// "History" → the pages left, oldest first, a line each: charset TAB url.
inline constexpr const char* kHistory = "History";
// "Addons" → the classes of the helper objects loaded, a line each.
inline constexpr const char* kAddons = "Addons";
// "Quit": OnQuit to the helpers, which then lose their site.
inline constexpr const char* kQuit = "Quit";

}  // namespace quillmer::engine_messages
