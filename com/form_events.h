// What the browser helper object hears from the page itself: the onsubmit of
// every form (its text values converted into the page's script before they
// are sent) and the onkeydown of the window's top-level document (the seven
// hotkeys). The helper owns the connections (a TFormConnections) and calls
// these: ConnectFormEvents from IIEBrowserHelper and DocumentComplete,
// ConnectFormEventsTree from DownloadComplete, DisconnectFormEvents from a
// top-level BeforeNavigate2 and OnQuit, InvokeFormEvent from its Invoke.
#pragma once

#include <vector>

#include "platform/browser/mshtml.h"
#include "ui/module_state.h"

namespace quillmer {

// One form's onsubmit connection: Unadvise the point with the cookie to end it.
struct TFormCPInfo {
  ComPtr<IConnectionPoint> ConnectionPoint;
  DWORD Cookie = 0;
};
// In the order the connections were made.
using TFormConnections = std::vector<TFormCPInfo>;

// Connects sink (the helper's IDispatch) to the onsubmit of every form of the
// browser's document, appending one record per connection made. A form that
// offers no connection point, or whose point refuses the sink, is passed
// over and leaves no record. A document that is no HTML document connects
// nothing. A form connected twice delivers its onsubmit twice. Never raises:
// an error ends the walk, the connections made so far stay.
void ConnectFormEvents(TFormConnections& connections, IUnknown* sink, IWebBrowser2* browser);

// ConnectFormEvents for the browser, then for each frame's browser, depth
// first. Never raises.
void ConnectFormEventsTree(TFormConnections& connections, IUnknown* sink, IWebBrowser2* browser);

// Unadvises every record in order, whatever each answers, then empties the
// list.
void DisconnectFormEvents(TFormConnections& connections);

// onsubmit: with AlterWBCharset, puts the page's "OrigCharset" back first;
// lets pending messages run; then, with ConvertOnSubmit, converts every
// control value holding a character above U+0080 into the script of the
// page's charset ("big5": Traditional; "gb2312", "gb18030", "hz-gb-2312":
// Simplified) unless the system's code page already is that script's. Other
// charsets are sent as typed. Never cancels the submission; never raises.
void FormSubmit(ModuleState& module, IHTMLEventObj* pEvtObj);

// onkeydown: runs, slot 1 to 7 in order, the action of every hotkey equal to
// the key pressed. A key whose code is 0 (or above 0xFF) is no hotkey. A page
// conversion while another user-requested conversion runs ends the handling.
// Browser is the window's top-level browser. Never cancels the key; never
// raises.
void KeyDown(ModuleState& module, IWebBrowser2* Browser, IHTMLEventObj* pEvtObj);

// The helper's Invoke for the page's events: DISPID 1007 (onsubmit,
// HTMLFormElementEvents2) runs FormSubmit, -602 (onkeydown,
// HTMLDocumentEvents2) runs KeyDown for the window of Browser. The event
// object is taken only from a VT_DISPATCH argument that offers
// IHTMLEventObj; anything else is ignored. False for any other DISPID (the
// helper answers those itself). Never raises.
bool InvokeFormEvent(ModuleState& module, IWebBrowser2* Browser, DISPID id,
                     const DISPPARAMS* params);

// Action n (1 to 7) of the hotkey table on the window of Browser. False when a
// page conversion was refused because another one runs (the key handling then
// ends). Raises what the action raises.
bool RunHotKeyAction(ModuleState& module, IWebBrowser2* Browser, int n);

}  // namespace quillmer
