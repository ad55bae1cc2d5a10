// The browser: IWebBrowser2 for a top-level window or a frame, its services,
// its events, and the document's embeddings (IOleContainer / IEnumUnknown).
//
// Conventions are those of the object model (platform/com/unknown.h): every
// method returns an HRESULT, results come through pointers, interface results
// carry one reference for the caller, strings are std::u16string, booleans
// are bool. Any call can be made to fail and any interface to be refused with
// platform/com/fault.h ("IWebBrowser2::get_Document", "IOleContainer", ...).
#pragma once

#include <cstdint>
#include <string>

#include "platform/base/types.h"
#include "platform/com/com.h"

namespace quillmer {

enum READYSTATE : LONG {
  READYSTATE_UNINITIALIZED = 0,
  READYSTATE_LOADING = 1,
  READYSTATE_LOADED = 2,
  READYSTATE_INTERACTIVE = 3,
  READYSTATE_COMPLETE = 4,
};

// A browser object: the top-level browser of a window or the browser of one
// frame. It also offers IServiceProvider (below) and IConnectionPointContainer
// for DWebBrowserEvents2.
struct IWebBrowser2 : IDispatch {
  QM_INTERFACE(IWebBrowser2, IDispatch, "{D30C1661-CDAF-11D0-8A3E-00C04FC9E26E}")
  // The current document (an HTML document offers IHTMLDocument2); null with
  // S_OK when the browser holds none.
  virtual HRESULT get_Document(IDispatch** out) = 0;
  virtual HRESULT get_ReadyState(READYSTATE* out) = 0;
  // Stops loading: the ready state becomes READYSTATE_COMPLETE; frames not yet
  // begun stay empty and fire no events; DownloadComplete still comes.
  virtual HRESULT Stop() = 0;
  // Fires OnQuit, drops every event connection and every property; the
  // browser navigates no more.
  virtual HRESULT Quit() = 0;
  // Browser properties: named VARIANTs kept on the browser object. An unset
  // property reads as VT_EMPTY.
  virtual HRESULT GetProperty(const std::u16string& name, VARIANT* out) = 0;
  virtual HRESULT PutProperty(const std::u16string& name, const VARIANT& value) = 0;
  // The address shown: "file:///dir/page.html", "about:blank".
  virtual HRESULT get_LocationURL(std::u16string* out) = 0;
  // The document's title.
  virtual HRESULT get_LocationName(std::u16string* out) = 0;
  // Loads url into this browser, or into the frame of this window that
  // targetFrameName names ("_top", "_parent", "_self" or a frame's name; empty
  // or VT_EMPTY: this browser). url is a local path (relative to the working
  // directory), a file: URL or "about:blank". Returns when the page and its
  // frames have completed, or when a sink cancelled or stopped the
  // navigation. Events go to the sinks of the window's top-level browser:
  //   BeforeNavigate2 (cancellable; the page being left is still current),
  //   DownloadBegin, NavigateComplete2, then for each frame (pre-order)
  //   BeforeNavigate2 and NavigateComplete2, DocumentComplete of each frame
  //   (its own frames first), DownloadComplete (this browser still
  //   READYSTATE_INTERACTIVE), DocumentComplete of this browser (now
  //   READYSTATE_COMPLETE).
  // INET_E_RESOURCE_NOT_FOUND, before any event, when url is no readable
  // local file; E_INVALIDARG for a frame name the window does not have.
  virtual HRESULT Navigate2(const VARIANT& url, const VARIANT& flags,
                            const VARIANT& targetFrameName, const VARIANT& postData,
                            const VARIANT& headers) = 0;
  // Whether a navigation is under way.
  virtual HRESULT get_Busy(bool* out) = 0;
};

// A browser whose page lives in another process: a real engine keeps its
// documents in its web process, out of reach call by call, so a whole page
// conversion is sent there and run there, by the same code, on the live page.
// The model's browsers do not offer it.
struct IPageWork : IUnknown {
  QM_INTERFACE(IPageWork, IUnknown, "{6A1E3C52-0F7B-4D9A-8E21-5B3C7D9F1A64}")
  // Converts the window's page with its frames at the user's request:
  // direction 0 to Traditional, 1 to Simplified.
  virtual HRESULT ConvertPage(LONG direction) = 0;
};

inline constexpr IID IID_IPageWork = IPageWork::iid;

constexpr HRESULT INET_E_RESOURCE_NOT_FOUND = static_cast<HRESULT>(0x800C0005u);

inline constexpr IID IID_IWebBrowser2 = IWebBrowser2::iid;

// Services of a browser, its documents and their windows. SID_STopLevelBrowser
// gives the top-level browser's IServiceProvider; SID_SWebBrowserApp gives
// the nearest browser (the frame's own) as IWebBrowser2.
inline constexpr GUID SID_STopLevelBrowser = MakeGuid("{4C96BE40-915C-11CF-99D3-00AA004AE837}");
inline constexpr GUID SID_SWebBrowserApp = MakeGuid("{0002DF05-0000-0000-C000-000000000046}");

// Browser events (DWebBrowserEvents2), sent through the browser's connection
// point to IDispatch sinks. Arguments in declared order:
//   BeforeNavigate2(pDisp, URL*, Flags*, TargetFrameName*, PostData*, Headers*, Cancel*)
//   NavigateComplete2(pDisp, URL*)   DocumentComplete(pDisp, URL*)
//   DownloadBegin()   DownloadComplete()   OnQuit()
// pDisp is the browser (top-level or frame) as VT_DISPATCH; URL is a
// VT_BYREF | VT_VARIANT holding a VT_BSTR.
inline constexpr IID DIID_DWebBrowserEvents2 = MakeGuid("{34A715A0-6587-11D0-924A-0020AFC7AC4D}");
constexpr DISPID DISPID_BEFORENAVIGATE2 = 250;
constexpr DISPID DISPID_NAVIGATECOMPLETE2 = 252;
constexpr DISPID DISPID_ONQUIT = 253;
constexpr DISPID DISPID_DOCUMENTCOMPLETE = 259;
constexpr DISPID DISPID_DOWNLOADCOMPLETE = 104;
constexpr DISPID DISPID_DOWNLOADBEGIN = 106;

// Enumerates objects, a batch at a time.
struct IEnumUnknown : IUnknown {
  QM_INTERFACE(IEnumUnknown, IUnknown, "{00000100-0000-0000-C000-000000000046}")
  // Gives up to count objects (each with a reference) into items; *fetched
  // (may be null when count is 1) receives how many. S_OK when all count were
  // given, S_FALSE when fewer.
  virtual HRESULT Next(ULONG count, IUnknown** items, ULONG* fetched) = 0;
  // S_FALSE when fewer than count were left.
  virtual HRESULT Skip(ULONG count) = 0;
  virtual HRESULT Reset() = 0;
  virtual HRESULT Clone(IEnumUnknown** out) = 0;
};

constexpr DWORD OLECONTF_EMBEDDINGS = 1;
constexpr DWORD OLECONTF_LINKS = 2;
constexpr DWORD OLECONTF_OTHERS = 4;
constexpr DWORD OLECONTF_ONLYUSER = 8;
constexpr DWORD OLECONTF_ONLYIFRUNNING = 16;

// The document as a container of embedded objects: its frames and inline
// frames (browsers, offering IWebBrowser2) and its <object>, <embed> and
// <applet> elements (objects that are no browsers), in document order.
struct IOleContainer : IUnknown {
  QM_INTERFACE(IOleContainer, IUnknown, "{0000011B-0000-0000-C000-000000000046}")
  // A fresh enumerator over the embeddings (OLECONTF_EMBEDDINGS); other
  // flags give no objects.
  virtual HRESULT EnumObjects(DWORD flags, IEnumUnknown** out) = 0;
  virtual HRESULT LockContainer(bool lock) = 0;
};

inline constexpr IID IID_IOleContainer = IOleContainer::iid;
inline constexpr IID IID_IEnumUnknown = IEnumUnknown::iid;

}  // namespace quillmer
