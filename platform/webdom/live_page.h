// The browser's interfaces over a live page of the engine, in its web
// process: IWebBrowser2 for the page and for each frame, and the MSHTML
// interfaces of mshtml.h over the engine's DOM. page/ and ui/ run on these
// as they run on the model.
//
// Where the engine differs from the old browser:
// - a document's charset cannot be changed from script: put_charset records
//   the charset the page is now in (get_charset reads it back), declares it
//   to the forms (accept-charset) so that they are sent in it, and puts it
//   in the page's <meta charset>;
// - getAttribute("value") of a form control reads its current value, what
//   the user typed, and setAttribute("value") sets that.
#pragma once

#include <webkit2/webkit-web-extension.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/browser/mshtml.h"

namespace quillmer::webdom {

// One page of the engine (a WebKitWebPage) and its browsers. Made when the
// engine creates the page; it hooks the page's signals and turns them into
// DWebBrowserEvents2 on the top-level browser (NavigateComplete2 when a
// frame's new document is there, DocumentComplete for each frame once it
// has loaded, inner frames first, DownloadComplete and then the top
// document's DocumentComplete once the page has loaded), the forms' submit
// into HTMLFormElementEvents2 onsubmit (before the form is sent, so values
// changed by a sink are sent), and key presses in the page into
// HTMLDocumentEvents2 onkeydown of the top document.
class LivePage {
 public:
  explicit LivePage(WebKitWebPage* page);
  ~LivePage();
  LivePage(const LivePage&) = delete;
  LivePage& operator=(const LivePage&) = delete;

  // The page's top-level browser: the same object for the page's whole life
  // (its properties and event connections stay across navigations).
  IWebBrowser2* TopBrowser() const;

  // BeforeNavigate2 on the top-level browser, the page being left still
  // current; true when a sink cancelled.
  bool BeforeNavigate2(const std::u16string& url);
  // OnQuit; then every connection and property goes.
  void Quit();

  // The window in which the user last opened the context menu (the top
  // document's when unknown), for external.menuArguments.
  ComPtr<IHTMLWindow2> MenuWindow() const;

  // What a user does in the top page: types text into the form control with
  // that name or id (false when there is none); submits a form by index or
  // name as a submit button would (false when there is none).
  bool TypeText(const std::u16string& nameOrId, const std::u16string& text);
  bool SubmitForm(const std::u16string& indexOrName);

  // The pages left, oldest first: the charset each had when it was left.
  struct Left {
    std::u16string url;
    std::u16string charset;
  };
  const std::vector<Left>& LeftPages() const;

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace quillmer::webdom
