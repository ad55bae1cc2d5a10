#include "com/conface.h"

#include <gtest/gtest.h>

#include <thread>

#include "page/page_state.h"
#include "platform/browser/page.h"
#include "platform/win32/clipboard.h"
#include "platform/win32/codepage.h"
#include "platform/win32/window.h"
#include "tests/com/com_fixture.h"
#include "ui/lifecycle.h"

namespace quillmer {
namespace {

using testing::ServerFixture;

class ConFaceTest : public ServerFixture {
 protected:
  void SetUp() override {
    ServerFixture::SetUp();
    ASSERT_TRUE(ServerLoaded()) << ServerLoadError();
    ASSERT_EQ(
        S_OK,
        FindFactory(CLSID_ConFace)->CreateInstance(nullptr, IID_OF(IConFace), face.put_void()));
    auto memory = std::make_unique<MemoryClipboard>();
    clip = memory.get();
    previousClipboard_ = SetClipboardBackend(std::move(memory));
  }
  void TearDown() override {
    face.reset();
    SetClipboardBackend(std::move(previousClipboard_));
    ResetWindows();
    ResetCodePages();
    ServerFixture::TearDown();
  }

  // A UTF-8 page in the home directory, with an inline frame of its own.
  ComPtr<IWebBrowser2> LoadPageWithFrame() {
    testing::WriteAll(home / "inner.html",
                      "<html><head><meta charset=\"utf-8\"></head><body>发展</body></html>");
    testing::WriteAll(home / "page.html",
                      "<html><head><meta charset=\"utf-8\"><title>中华</title></head>"
                      "<body><p id=\"p\">简体中文</p><iframe src=\"inner.html\"></iframe></body>"
                      "</html>");
    return LoadPage((home / "page.html").string());
  }
  static ComPtr<IHTMLDocument2> Doc(IWebBrowser2* b) {
    ComPtr<IDispatch> d;
    b->get_Document(d.put());
    return d.query<IHTMLDocument2>();
  }
  static ComPtr<IDispatch> WindowOf(IWebBrowser2* b) {
    ComPtr<IHTMLWindow2> w;
    Doc(b)->get_parentWindow(w.put());
    return ComPtr<IDispatch>(w.get());
  }
  static std::u16string Body(IWebBrowser2* b) {
    ComPtr<IHTMLElement> body;
    Doc(b)->get_body(body.put());
    std::u16string t;
    body->get_innerText(&t);
    return t;
  }
  static std::u16string FrameBody(IWebBrowser2* b) {
    ComPtr<IWebBrowser2> frame = GetEmbeddedBrowserOf(b);
    return frame ? Body(frame.get()) : u"<no frame>";
  }
  static ComPtr<IWebBrowser2> GetEmbeddedBrowserOf(IWebBrowser2* b);
  // The description of the thread's error information, checking its source.
  static std::u16string ErrorDescription() {
    ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, info.put()) != S_OK) return u"<none>";
    std::u16string source, text;
    info->GetSource(&source);
    info->GetDescription(&text);
    EXPECT_EQ(u"Quillmer.ConFace", source);
    return text;
  }

  ComPtr<IConFace> face;
  MemoryClipboard* clip = nullptr;

 private:
  std::unique_ptr<ClipboardBackend> previousClipboard_;
};

ComPtr<IWebBrowser2> ConFaceTest::GetEmbeddedBrowserOf(IWebBrowser2* b) {
  ComPtr<IOleContainer> container = Doc(b).query<IOleContainer>();
  ComPtr<IEnumUnknown> items;
  container->EnumObjects(OLECONTF_EMBEDDINGS, items.put());
  ComPtr<IUnknown> first;
  items->Next(1, first.put(), nullptr);
  return first.query<IWebBrowser2>();
}

TEST_F(ConFaceTest, StringsConvertBothWays) {
  std::u16string out = u"stale";
  EXPECT_EQ(S_OK, face->Str2Trad(u"中华", &out));
  EXPECT_EQ(u"中華", out);
  EXPECT_EQ(S_OK, face->Str2Sim(u"中華", &out));
  EXPECT_EQ(u"中华", out);
  EXPECT_EQ(S_OK, face->Str2Trad(u"", &out));
  EXPECT_EQ(u"", out);
  EXPECT_EQ(E_POINTER, face->Str2Trad(u"中华", nullptr));
}

TEST_F(ConFaceTest, TheDispatchInterfaceIsServedFromTheTypeLibrary) {
  UINT count = 0;
  EXPECT_EQ(S_OK, face->GetTypeInfoCount(&count));
  EXPECT_EQ(1u, count);
  std::u16string names[] = {u"str2trad", u"CONTOSIM", u"Nope"};
  DISPID ids[3];
  EXPECT_EQ(DISP_E_UNKNOWNNAME, face->GetIDsOfNames(GUID_NULL, names, 3, 0, ids));
  EXPECT_EQ(6, ids[0]);
  EXPECT_EQ(1, ids[1]);
  EXPECT_EQ(DISPID_UNKNOWN, ids[2]);

  VARIANT result;
  // A number where a string is declared is turned into one.
  EXPECT_EQ(S_OK, InvokeDispatch(face.get(), 6, DISPATCH_METHOD, {VariantInt(12)}, &result));
  EXPECT_EQ(u"12", result.bstrVal);
  EXPECT_EQ(S_OK, InvokeDispatch(face.get(), 6, DISPATCH_METHOD, {VariantString(u"华")}, &result));
  EXPECT_EQ(u"華", result.bstrVal);
  EXPECT_EQ(DISP_E_BADPARAMCOUNT, InvokeDispatch(face.get(), 6, DISPATCH_METHOD, {}, &result));
  EXPECT_EQ(DISP_E_TYPEMISMATCH,
            InvokeDispatch(face.get(), 6, DISPATCH_METHOD, {VariantDispatch(face.get())}, &result));
  EXPECT_EQ(DISP_E_MEMBERNOTFOUND,
            InvokeDispatch(face.get(), 6, DISPATCH_PROPERTYPUT, {VariantString(u"x")}));
  EXPECT_EQ(DISP_E_MEMBERNOTFOUND, InvokeDispatch(face.get(), 9, DISPATCH_METHOD, {}));
  DISPPARAMS none;
  EXPECT_EQ(DISP_E_UNKNOWNINTERFACE,
            face->Invoke(1, IID_IDispatch, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr));
}

TEST_F(ConFaceTest, ConToTradConvertsTheWholeWindowAfterTheWaitingMessages) {
  ComPtr<IWebBrowser2> page = LoadPageWithFrame();
  EXPECT_EQ(S_OK, face->ConToTrad(nullptr));

  std::u16string seen;
  bool listed = true;
  HWND menu = CreateMessageWindow([&](HWND, UINT m, WPARAM, LPARAM) -> LRESULT {
    if (m == WM_CLOSE) {
      seen = Body(page.get());
      listed = CurrentModule()->page.IsConvertingBrowser(page.get());
    }
    return 0;
  });
  PostMessage(menu, WM_CLOSE, 0, 0);
  EXPECT_EQ(S_OK, face->ConToTrad(WindowOf(page.get()).get()));
  EXPECT_EQ(u"简体中文", seen);
  EXPECT_FALSE(listed);
  EXPECT_EQ(u"簡體中文", Body(page.get()));
  EXPECT_EQ(u"發展", FrameBody(page.get()));
  EXPECT_TRUE(CurrentModule()->page.ConvertingBrowsers.empty());
  EXPECT_TRUE(boxes.empty());
}

TEST_F(ConFaceTest, WithoutTheCodePageOnlyTheSupportMessageIsShown) {
  ComPtr<IWebBrowser2> page = LoadPageWithFrame();
  SetCodePageInstalled(936, false);
  EXPECT_EQ(S_OK, face->ConToSim(WindowOf(page.get()).get()));
  ASSERT_EQ(1u, boxes.size());
  EXPECT_EQ(u"Simplified Chinese Support is not installed!", boxes[0].text);
  EXPECT_EQ(0x1000u, boxes[0].flags);  // no focused window: system-modal
  EXPECT_EQ(u"简体中文", Body(page.get()));

  // With a focused window in the foreground thread, the box is its own.
  std::thread([] {
    HWND w = CreateMessageWindow([](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; });
    SetForegroundWindow(w);
    SetFocus(w);
  }).join();
  EXPECT_NE(nullptr, FocusedWindow());
  boxes.clear();
  EXPECT_EQ(S_OK, face->ConToSim(WindowOf(page.get()).get()));
  ASSERT_EQ(1u, boxes.size());
  EXPECT_EQ(static_cast<unsigned>(MB_OK), boxes[0].flags);
  SetAttachThreadInputFails(true);
  EXPECT_EQ(nullptr, FocusedWindow());
}

TEST_F(ConFaceTest, OnOtherSystemsOnlyTheDocumentOfTheWindowsOwnBrowserIsConverted) {
  SetPlatformId(VER_PLATFORM_WIN32_WINDOWS);
  ComPtr<IWebBrowser2> page = LoadPageWithFrame();
  EXPECT_EQ(S_OK, face->ConToTrad(WindowOf(page.get()).get()));
  EXPECT_EQ(u"簡體中文", Body(page.get()));
  EXPECT_EQ(u"发展", FrameBody(page.get()));

  // An object that offers no services is an error there.
  ComPtr<IConFace> other;
  FindFactory(CLSID_ConFace)->CreateInstance(nullptr, IID_OF(IConFace), other.put_void());
  EXPECT_EQ(E_NOINTERFACE, face->ConToTrad(other.get()));
  EXPECT_NE(u"<none>", ErrorDescription());
}

TEST_F(ConFaceTest, AClipboardFailureIsAFailedResultWithErrorInformationNotABox) {
  clip->formats[CF_UNICODETEXT] = std::string("\x2d\x4e\x4e\x53\0\0", 6);  // 中华
  EXPECT_EQ(S_OK, face->ClipToTrad());
  EXPECT_EQ(std::string("\x2d\x4e\xef\x83\0\0", 6), clip->formats[CF_UNICODETEXT]);  // 中華

  clip->failOpen = [](int) { return true; };
  HRESULT hr = face->ClipToSim();
  EXPECT_TRUE(FAILED(hr));
  EXPECT_NE(u"<none>", ErrorDescription());
  EXPECT_TRUE(boxes.empty());

  // Through IDispatch the same failure comes back as an exception.
  EXCEPINFO excep;
  EXPECT_EQ(DISP_E_EXCEPTION,
            InvokeDispatch(face.get(), 4, DISPATCH_METHOD, {}, nullptr, {}, &excep));
  EXPECT_EQ(u"Quillmer.ConFace", excep.bstrSource);
  EXPECT_EQ(hr, excep.scode);
  EXPECT_FALSE(excep.bstrDescription.empty());
}

TEST_F(ConFaceTest, ErrorInformationIsClaimedForItsOwnInterfacesOnly) {
  auto errors = face.query<ISupportErrorInfo>();
  ASSERT_TRUE(errors);
  EXPECT_EQ(S_OK, errors->InterfaceSupportsErrorInfo(IID_IConFace));
  EXPECT_EQ(S_OK, errors->InterfaceSupportsErrorInfo(IID_IDispatch));
  EXPECT_EQ(S_FALSE, errors->InterfaceSupportsErrorInfo(IID_IWebBrowser2));
}

}  // namespace
}  // namespace quillmer
