#include "ui/band_form.h"

#include <algorithm>
#include <cstdio>
#include <initializer_list>
#include <string>

#include "engine/clipboard.h"
#include "page/page_convert.h"
#include "page/support_message.h"
#include "page/url_pattern.h"
#include "platform/base/text.h"
#include "platform/win32/dialogs.h"
#include "platform/win32/module.h"
#include "ui/ui_language.h"
#include "ui/zoom.h"

namespace quillmer {
namespace {

constexpr int kImageCount = 16;
constexpr int kFirstSeparatorWidth = 6;

// Indices of ImageList1.
enum Image : int {
  kImgPageToTrad = 0,
  kImgPageToSim,
  kImgClipToTrad,
  kImgClipToSim,
  kImgOptions,
  kImgAutoOff,
  kImgAutoTrad,
  kImgAutoSim,
  kImgZoomIn,
  kImgZoomOut,
  kImgZoomNormal,
  kImgAutoOffZoom,
  kImgAutoTradZoom,
  kImgAutoSimZoom,
  kImgAutoZoom,
  kImgAddUrl,
};

// Menu tags of MenuClick.
constexpr int kTagManual = 1;
constexpr int kTagAutoTrad = 2;
constexpr int kTagAutoSim = 3;
constexpr int kTagAutoZoom = 4;
constexpr int kTagZoomReset = 5;
constexpr int kTagAddUrl = 6;

constexpr Texts kWebToTrad{u"网页: 简转繁", u"網頁: 簡轉繁", u"Webpage: Sim. to Trad."};
constexpr Texts kWebToSim{u"网页: 繁转简", u"網頁: 繁轉簡", u"Webpage: Trad. to Sim."};
constexpr Texts kClipToTrad{u"剪贴板: 简转繁", u"剪貼簿: 簡轉繁", u"Clipboard: Sim. to Trad."};
constexpr Texts kClipToSim{u"剪贴板: 繁转简", u"剪貼簿: 繁轉簡", u"Clipboard: Trad. to Sim."};
constexpr Texts kOptions{u"程式设定", u"程式設定", u"Options"};

constexpr Texts kManual{u"手动转换", u"手動轉換", u"Manual conversion"};
constexpr Texts kAutoTrad{u"自动转为繁体中文", u"自動轉為繁體中文", u"Traditional Chinese (auto)"};
constexpr Texts kAutoSim{u"自动转为简体中文", u"自動轉為簡體中文", u"Simplified Chinese (auto)"};
constexpr Texts kEnableAutoZoom{u"启动自动缩放", u"啟動自動縮放", u"Enable Auto-Zoom"};
constexpr Texts kAddUrl{u"设定当前域名的缩放比", u"設定當前域名的縮放比",
                        u"Set auto-zoom value of this URL"};
constexpr Texts kResize{u"回复到网页原来大小", u"回復到網頁原來大小", u"Resize to normal"};

constexpr Texts kWebTrad2{u"网页: 简转繁", u"網頁: 簡轉繁", u"Webpage: Sim > Trad"};
constexpr Texts kWebSim2{u"网页: 繁转简", u"網頁: 繁轉簡", u"Webpage: Trad > Sim"};
constexpr Texts kClipTrad2{u"剪贴簿: 简转繁", u"剪貼簿: 簡轉繁", u"Clipboard: Sim > Trad"};
constexpr Texts kClipSim2{u"剪贴簿: 繁转简", u"剪貼簿: 繁轉簡", u"Clipboard: Trad > Sim"};
constexpr Texts kZoomIn2{u"放大 ", u"放大 ", u"Zoom in "};
constexpr Texts kZoomOut2{u"缩小 ", u"縮小 ", u"Zoom out "};
constexpr Texts kAutoCon2{u"自动转换", u"自動轉換", u"Auto conversion"};
constexpr Texts kManual2{u"手动转换", u"手動轉換", u"Manual"};
constexpr Texts kAutoTrad2{u"自动转为繁体", u"自動轉為繁體", u"Traditional Chinese (auto)"};
constexpr Texts kAutoSim2{u"自动转为简体", u"自動轉為簡體", u"Simplified Chinese (auto)"};

// Stored colours are 0x00BBGGRR, or a system colour with the high bit set;
// the toolkit knows its own default only, which stands for every system one.
std::int32_t ToolkitColor(std::int32_t stored) {
  if (stored < 0) return -1;
  return stored & 0x00FFFFFF;
}

// Checks one item of a radio group and clears the others.
void CheckRadio(const MenuItem& chosen, std::initializer_list<MenuItem*> group) {
  for (MenuItem* item : group) item->SetChecked(item == &chosen);
}

std::u16string Decimal(long long n) { return FromUtf8(std::to_string(n)); }

// Clears a process-wide "open dialog" pointer on every way out.
template <class T>
class OpenDialog {
 public:
  OpenDialog(T*& slot, T* dialog) : slot_(slot) { slot_ = dialog; }
  ~OpenDialog() { slot_ = nullptr; }
  OpenDialog(const OpenDialog&) = delete;
  OpenDialog& operator=(const OpenDialog&) = delete;

 private:
  T*& slot_;
};

}  // namespace

TBandForm::TBandForm(ModuleState& module, HWND parent)
    : Form(ControlKind::Form, parent, "BandForm"),
      ToolBar1(*this, "ToolBar1"),
      ToolButton1(ToolBar1, "ToolButton1"),
      ToolButton2(ToolBar1, "ToolButton2"),
      ToolButton3(ToolBar1, "ToolButton3", ToolButtonStyle::Separator),
      ToolButton4(ToolBar1, "ToolButton4"),
      ToolButton5(ToolBar1, "ToolButton5"),
      ToolButton9(ToolBar1, "ToolButton9", ToolButtonStyle::Separator),
      ToolButton8(ToolBar1, "ToolButton8", ToolButtonStyle::DropDown),
      ToolButton12(ToolBar1, "ToolButton12", ToolButtonStyle::Separator),
      ToolButton10(ToolBar1, "ToolButton10"),
      ToolButton11(ToolBar1, "ToolButton11"),
      ToolButton6(ToolBar1, "ToolButton6", ToolButtonStyle::Separator),
      ToolButton7(ToolBar1, "ToolButton7"),
      PopupMenu1("PopupMenu1"),
      AutoNone(PopupMenu1, "AutoNone", MenuItemStyle::Radio),
      AutoTrad(PopupMenu1, "AutoTrad", MenuItemStyle::Radio),
      AutoSim(PopupMenu1, "AutoSim", MenuItemStyle::Radio),
      N1(PopupMenu1, "N1", MenuItemStyle::Separator),
      AutoZoom1(PopupMenu1, "AutoZoom1", MenuItemStyle::Check),
      AddZoomList1(PopupMenu1, "AddZoomList1"),
      ZoomReset(PopupMenu1, "ZoomReset"),
      PopupMenu2("PopupMenu2"),
      webTrad2(PopupMenu2, "webTrad2"),
      webSim2(PopupMenu2, "webSim2"),
      N2(PopupMenu2, "N2", MenuItemStyle::Separator),
      ClipTrad2(PopupMenu2, "ClipTrad2"),
      ClipSim2(PopupMenu2, "ClipSim2"),
      N3(PopupMenu2, "N3", MenuItemStyle::Separator),
      ZoomIn2(PopupMenu2, "ZoomIn2"),
      ZoomOut2(PopupMenu2, "ZoomOut2"),
      ResizetoNormal2(PopupMenu2, "ResizetoNormal2"),
      N4(PopupMenu2, "N4", MenuItemStyle::Separator),
      AutoCon2(PopupMenu2, "AutoCon2"),
      AutoNone2(AutoCon2, "AutoNone2", MenuItemStyle::Radio),
      AutoTrad2(AutoCon2, "AutoTrad2", MenuItemStyle::Radio),
      AutoSim2(AutoCon2, "AutoSim2", MenuItemStyle::Radio),
      AutoZoom2(PopupMenu2, "AutoZoom2", MenuItemStyle::Check),
      AddZoomList2(PopupMenu2, "AddZoomList2"),
      N5(PopupMenu2, "N5", MenuItemStyle::Separator),
      Options2(PopupMenu2, "Options2"),
      module_(module) {
  // A child window with no other style: hidden until the band shows it.
  Hide();
  LoadImages();
  BuildControls();
  FormCreate();
}

TBandForm::~TBandForm() { FormDestroy(); }

void TBandForm::LoadImages() {
  // Missing images leave their slot empty: the button shows no picture.
  for (int i = 0; i < kImageCount; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "toolbar_%02d", i);
    const auto png = LoadModuleResource(name);
    ImageList1.Add(png ? std::string(*png) : std::string());
  }
  ToolBar1.SetImages(&ImageList1);
  PopupMenu1.SetImages(&ImageList1);
  PopupMenu2.SetImages(&ImageList1);
}

void TBandForm::BuildControls() {
  ToolBar1.SetPopupMenu(&PopupMenu2);
  ToolButton3.SetSize(kFirstSeparatorWidth, ToolButton::kButtonHeight);

  auto button = [this](ToolButton& b, int tag, int image, void (TBandForm::*handler)(Control&)) {
    b.Tag = tag;
    b.SetImageIndex(image);
    if (handler) b.OnClick = [this, handler](Control& s) { Guarded([&] { (this->*handler)(s); }); };
  };
  button(ToolButton1, 1, kImgPageToTrad, &TBandForm::ToolButton1Click);
  button(ToolButton2, 2, kImgPageToSim, &TBandForm::ToolButton1Click);
  button(ToolButton4, 11, kImgClipToTrad, &TBandForm::ToolButton4Click);
  button(ToolButton5, 12, kImgClipToSim, &TBandForm::ToolButton4Click);
  button(ToolButton8, 0, kImgAutoOff, nullptr);
  ToolButton8.SetDropDownMenu(&PopupMenu1);
  button(ToolButton10, 1, kImgZoomIn, &TBandForm::ToolButton10Click);
  button(ToolButton11, 2, kImgZoomOut, &TBandForm::ToolButton10Click);
  button(ToolButton7, 0, kImgOptions, &TBandForm::ToolButton7Click);

  auto item = [this](MenuItem& m, int tag, int image, void (TBandForm::*handler)(Control&)) {
    m.Tag = tag;
    if (image >= 0) m.SetImageIndex(image);
    if (handler) m.OnClick = [this, handler](Control& s) { Guarded([&] { (this->*handler)(s); }); };
  };
  item(AutoNone, kTagManual, kImgAutoOff, &TBandForm::MenuClick);
  item(AutoTrad, kTagAutoTrad, kImgAutoTrad, &TBandForm::MenuClick);
  item(AutoSim, kTagAutoSim, kImgAutoSim, &TBandForm::MenuClick);
  item(AutoZoom1, kTagAutoZoom, kImgAutoZoom, &TBandForm::MenuClick);
  item(AddZoomList1, kTagAddUrl, kImgAddUrl, &TBandForm::MenuClick);
  item(ZoomReset, kTagZoomReset, kImgZoomNormal, &TBandForm::MenuClick);

  item(webTrad2, 1, kImgPageToTrad, &TBandForm::ToolButton1Click);
  item(webSim2, 2, kImgPageToSim, &TBandForm::ToolButton1Click);
  item(ClipTrad2, 11, kImgClipToTrad, &TBandForm::ToolButton4Click);
  item(ClipSim2, 12, kImgClipToSim, &TBandForm::ToolButton4Click);
  item(ZoomIn2, 1, kImgZoomIn, &TBandForm::ToolButton10Click);
  item(ZoomOut2, 2, kImgZoomOut, &TBandForm::ToolButton10Click);
  item(ResizetoNormal2, kTagZoomReset, kImgZoomNormal, &TBandForm::MenuClick);
  item(AutoCon2, 0, -1, nullptr);
  item(AutoNone2, kTagManual, kImgAutoOff, &TBandForm::MenuClick);
  item(AutoTrad2, kTagAutoTrad, kImgAutoTrad, &TBandForm::MenuClick);
  item(AutoSim2, kTagAutoSim, kImgAutoSim, &TBandForm::MenuClick);
  item(AutoZoom2, kTagAutoZoom, kImgAutoZoom, &TBandForm::MenuClick);
  item(AddZoomList2, kTagAddUrl, kImgAddUrl, &TBandForm::MenuClick);
  item(Options2, 0, kImgOptions, &TBandForm::ToolButton7Click);

  PopupMenu1.OnPopup = [this](Control& s) { Guarded([&] { PopupMenu1Popup(s); }); };
  PopupMenu2.OnPopup = [this](Control& s) { Guarded([&] { PopupMenu2Popup(s); }); };
  OnShow = [this](Form&) { Guarded([&] { FormShow(); }); };

  Timer1.SetInterval(1000);
  Timer1.SetEnabled(false);
  Timer1.OnTimer = [this](Timer& t) { Guarded([&] { Timer1Timer(t); }); };
}

void TBandForm::FormCreate() {
  ZoomHint.emplace("ZoomHint");

  const SharedSettingsData& s = module_.shared;
  if (!s.page.HelperEnabled) {
    ToolButton9.Hide();
    ToolButton8.Hide();
  }
  if (!s.ShowClipBtn) {
    ToolButton3.Hide();
    ToolButton4.Hide();
    ToolButton5.Hide();
  }
  if (!s.ShowZoomBtn) {
    ToolButton12.Hide();
    ToolButton10.Hide();
    ToolButton11.Hide();
  }
  // The tool bar closes its row up over hidden buttons by itself; the form
  // takes the size of what is left.
  SetSize(ToolBar1.Width(), ToolBar1.Height());

  module_.toolbar.ToolbarWindows.push_back(Handle());
  // No visual-style library on this platform: the default erase runs.
  module_.toolbar.ThemeActive = false;
  ApplyBackgroundColor();
  AssignTexts();
}

void TBandForm::FormShow() { UpdateAutoButtonImage(); }

void TBandForm::FormDestroy() {
  Forget();
  Timer1.SetEnabled(false);
  ZoomHint.reset();
}

void TBandForm::Forget() { std::erase(module_.toolbar.ToolbarWindows, Handle()); }

void TBandForm::AssignTexts() {
  const Language language = UiLanguage(module_.shared.page);
  const int charset = FontCharset(language);
  for (Control* c : std::initializer_list<Control*>{this, &ToolBar1, &PopupMenu1, &PopupMenu2})
    c->SetFontCharset(charset);
  if (ZoomHint) ZoomHint->SetFontCharset(charset);

  auto text = [&](const Texts& t) { return Pick(t, language); };
  ToolButton1.SetHint(text(kWebToTrad));
  ToolButton2.SetHint(text(kWebToSim));
  ToolButton4.SetHint(text(kClipToTrad));
  ToolButton5.SetHint(text(kClipToSim));
  ToolButton7.SetHint(text(kOptions));

  AutoNone.SetCaption(text(kManual));
  AutoTrad.SetCaption(text(kAutoTrad));
  AutoSim.SetCaption(text(kAutoSim));
  AutoZoom1.SetCaption(text(kEnableAutoZoom));
  AddZoomList1.SetCaption(text(kAddUrl));
  ZoomReset.SetCaption(text(kResize));

  webTrad2.SetCaption(text(kWebTrad2));
  webSim2.SetCaption(text(kWebSim2));
  ClipTrad2.SetCaption(text(kClipTrad2));
  ClipSim2.SetCaption(text(kClipSim2));
  SetZoomItemCaptions();
  ResizetoNormal2.SetCaption(text(kResize));
  AutoCon2.SetCaption(text(kAutoCon2));
  AutoNone2.SetCaption(text(kManual2));
  AutoTrad2.SetCaption(text(kAutoTrad2));
  AutoSim2.SetCaption(text(kAutoSim2));
  AutoZoom2.SetCaption(text(kEnableAutoZoom));
  AddZoomList2.SetCaption(text(kAddUrl));
  Options2.SetCaption(text(kOptions));
}

void TBandForm::SetZoomItemCaptions() {
  const Language language = UiLanguage(module_.shared.page);
  const std::u16string increment = Decimal(module_.shared.ZoomIncrement) + u"%";
  ZoomIn2.SetCaption(Pick(kZoomIn2, language) + increment);
  ZoomOut2.SetCaption(Pick(kZoomOut2, language) + increment);
}

void TBandForm::UpdateAutoButtonImage() {
  static constexpr int kPlain[] = {kImgAutoOff, kImgAutoSim, kImgAutoTrad};
  static constexpr int kWithZoom[] = {kImgAutoOffZoom, kImgAutoSimZoom, kImgAutoTradZoom};
  const unsigned mode = module_.shared.AutoConvert;
  if (mode > 2) return;
  ToolButton8.SetImageIndex(module_.shared.AutoZoom ? kWithZoom[mode] : kPlain[mode]);
}

void TBandForm::BroadcastAutoState() {
  // A copy: a toolbar may go while it handles the message.
  const std::vector<HWND> windows = module_.toolbar.ToolbarWindows;
  for (HWND window : windows) SendMessage(window, WM_AUTOSTATECHANGED, 0, 0);
  ProcessMessages();
}

void TBandForm::ApplyBackgroundColor() {
  const SettingsStore* store = module_.store.get();
  if (!store || !store->ValueExists(ini::Interface, ini::BKColor)) return;
  SetColor(ToolkitColor(store->ReadInteger(ini::Interface, ini::BKColor, kColorBtnFace)));
}

void TBandForm::ToolButton1Click(Control& Sender) {
  ConvertPage(Sender.Tag == 2 ? cdToSim : cdToTrad);
}

void TBandForm::ConvertPage(ConvDirection direction) {
  const auto owner = reinterpret_cast<OwnerWindow>(Handle());
  ComPtr<IPageWork> remote = Browser ? Browser.query<IPageWork>() : ComPtr<IPageWork>();
  if (!remote) {
    ConvertPageForUser(module_.PageConversion(), Browser.get(), direction, owner);
    return;
  }
  // The page lives in the engine's web process: the same checks here, the
  // conversion there.
  ConvertingBrowserEntry entry(module_.page, Browser.get());
  for (UINT cp : {kCodePageBig5, kCodePageGbk}) {
    if (!IsValidCodePage(cp)) {
      ShowSupportMissing(owner, cp, UiCodePage(module_.PageConversion().settings));
      return;
    }
  }
  ConversionBusyScope busy(module_.page);
  if (!busy.acquired()) return;
  OleCheck(remote->ConvertPage(direction == cdToSim ? 1 : 0), "IPageWork::ConvertPage");
}

void TBandForm::ToolButton4Click(Control& Sender) {
  if (Sender.Tag == 11)
    ConvertClipboard(cdToTrad);
  else if (Sender.Tag == 12)
    ConvertClipboard(cdToSim);
}

void TBandForm::ToolButton7Click(Control&) {
  ToolbarState& toolbar = module_.toolbar;
  if (toolbar.openOptionsDialog || !toolbar.makeDialog.options) return;
  std::unique_ptr<OptionsDialog> dialog = toolbar.makeDialog.options(*this);
  if (!dialog) return;
  OpenDialog<OptionsDialog> open(toolbar.openOptionsDialog, dialog.get());
  dialog->SetToolbar(this);
  dialog->ShowModal();
}

void TBandForm::ToolButton10Click(Control& Sender) {
  ScreenPoint topLeft, bottomRight;
  Control* anchor = dynamic_cast<ToolButton*>(&Sender);
  if (!anchor) anchor = this;
  topLeft = anchor->ClientToScreen(0, -20);
  bottomRight = anchor->ClientToScreen(40, -4);
  if (topLeft.y < 0) {
    // A toolbar at the screen's top edge: below the button, not off screen.
    const int height = anchor == this ? 0 : anchor->Height();
    topLeft = anchor->ClientToScreen(0, height + 4);
    bottomRight = anchor->ClientToScreen(40, height + 20);
  }
  const int percent = ZoomStep(module_.shared, Browser.get(), Sender.Tag == 1);
  if (Timer1.Enabled()) {
    ZoomHint->ReleaseHandle();
    Timer1.SetEnabled(false);
  }
  ZoomHint->ActivateHint({topLeft.x, topLeft.y, bottomRight.x, bottomRight.y},
                         Decimal(percent) + u"%");
  Timer1.SetEnabled(true);
}

void TBandForm::Timer1Timer(Timer&) {
  if (ZoomHint) ZoomHint->ReleaseHandle();
  Timer1.SetEnabled(false);
}

void TBandForm::MenuClick(Control& Sender) {
  switch (Sender.Tag) {
    case kTagManual:
    case kTagAutoTrad:
    case kTagAutoSim: {
      auto& item = static_cast<MenuItem&>(Sender);
      if (item.Parent() == &AutoCon2)
        CheckRadio(item, {&AutoNone2, &AutoTrad2, &AutoSim2});
      else
        CheckRadio(item, {&AutoNone, &AutoTrad, &AutoSim});
      const std::uint8_t mode = Sender.Tag == kTagManual ? 0 : Sender.Tag == kTagAutoTrad ? 2 : 1;
      module_.shared.AutoConvert = mode;
      BroadcastAutoState();
      module_.SetAutoConvert(mode);
      // The page is converted as the page buttons do it: entered in
      // ConvertingBrowsers, the code pages checked, guarded by ConversionBusy.
      if (mode != 0 && !module_.page.ConversionBusy) {
        ConvertPage(mode == 1 ? cdToSim : cdToTrad);
        ProcessMessages();
      }
      break;
    }
    case kTagAutoZoom: {
      auto& item = static_cast<MenuItem&>(Sender);
      const bool on = !item.Checked();
      item.SetChecked(on);
      module_.SetAutoZoom(on);
      BroadcastAutoState();
      if (on && Browser) {
        ComPtr<IDispatch> dispatch;
        if (FAILED(Browser->get_Document(dispatch.put())) || !dispatch) break;
        ComPtr<IHTMLDocument2> document = dispatch.query<IHTMLDocument2>();
        if (!document) break;
        std::u16string url;
        OleCheck(document->get_URL(&url), "IHTMLDocument2::get_url");
        ApplyAutoZoom(module_.shared, Browser.get(), EncodeCodePage(GetACP(), url));
      }
      break;
    }
    case kTagZoomReset:
      ActionZoomResetExecute();
      break;
    case kTagAddUrl:
      AddUrlToAutoZoom();
      break;
    default:
      break;
  }
}

void TBandForm::ActionZoomResetExecute() { SetPageZoom(Browser.get(), 100); }

void TBandForm::AddUrlToAutoZoom() {
  if (!Browser) return;
  ComPtr<IDispatch> dispatch;
  if (FAILED(Browser->get_Document(dispatch.put())) || !dispatch) return;
  ComPtr<IHTMLDocument2> document = dispatch.query<IHTMLDocument2>();
  if (!document) return;
  std::u16string url;
  OleCheck(document->get_URL(&url), "IHTMLDocument2::get_url");
  const std::string pattern = UrlToAutoZoomPattern(EncodeCodePage(GetACP(), url));
  const int zoom = BodyZoomPercent(document.get());

  ToolbarState& toolbar = module_.toolbar;
  if (toolbar.openAutoZoomUrlDialog || !toolbar.makeDialog.autoZoomUrl) return;
  std::unique_ptr<AutoZoomUrlDialog> dialog = toolbar.makeDialog.autoZoomUrl(*this);
  if (!dialog) return;
  OpenDialog<AutoZoomUrlDialog> open(toolbar.openAutoZoomUrlDialog, dialog.get());
  dialog->SetToolbar(this);
  dialog->SetUrl(pattern);
  dialog->SetZoom(zoom);
  dialog->ShowModal();
}

void TBandForm::PopupMenu1Popup(Control&) {
  const unsigned mode = module_.shared.AutoConvert;
  MenuItem* const items[] = {&AutoNone, &AutoSim, &AutoTrad};
  if (mode <= 2) CheckRadio(*items[mode], {&AutoNone, &AutoTrad, &AutoSim});
  AutoZoom1.SetChecked(module_.shared.AutoZoom);
}

void TBandForm::PopupMenu2Popup(Control&) {
  const unsigned mode = module_.shared.AutoConvert;
  static constexpr int kImages[] = {kImgAutoOff, kImgAutoSim, kImgAutoTrad};
  MenuItem* const items[] = {&AutoNone2, &AutoSim2, &AutoTrad2};
  if (mode <= 2) {
    AutoCon2.SetImageIndex(kImages[mode]);
    CheckRadio(*items[mode], {&AutoNone2, &AutoTrad2, &AutoSim2});
  }
  AutoZoom2.SetChecked(module_.shared.AutoZoom);
  SetZoomItemCaptions();
}

void TBandForm::Guarded(const std::function<void()>& handler) {
  try {
    handler();
  } catch (const std::exception& e) {
    MessageBox(FromUtf8(e.what()), kProductCaption, MB_OK | MB_ICONERROR);
  }
}

LRESULT TBandForm::Message(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_AUTOSTATECHANGED) {
    Guarded([&] { UpdateAutoButtonImage(); });
    return 0;
  }
  if (message == WM_DESTROY) Forget();
  return Form::Message(message, wParam, lParam);
}

}  // namespace quillmer
