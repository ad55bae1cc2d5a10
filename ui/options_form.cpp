#include "ui/options_form.h"

#include <cstdio>
#include <initializer_list>

#include "engine/identities.h"
#include "page/context_menu.h"
#include "page/url_pattern.h"
#include "platform/base/error.h"
#include "platform/base/text.h"
#include "platform/win32/codepage.h"
#include "platform/win32/dialogs.h"
#include "platform/win32/keys.h"
#include "platform/win32/module.h"
#include "platform/win32/registry.h"
#include "ui/band_form.h"
#include "ui/ui_language.h"

namespace quillmer {
namespace {

// A hot-key field without a chord.
const Texts kNoHotKey{u"无", u"無", u"None"};

constexpr Texts kFormCaption{u"Quillmer - 程式设定", u"Quillmer - 程式設定", u"Quillmer - Options"};
constexpr Texts kOk{u"确定", u"確定", u"OK"};
constexpr Texts kTab1{u"关于本程式", u"關於本程式", u"About"};
constexpr Texts kTab2{u"介面", u"介面", u"Interface"};
constexpr Texts kTab3{u"帮助", u"說明", u"Help"};
constexpr Texts kTab4{u"转换", u"轉換", u"Conversion"};
constexpr Texts kTab5{u"热键", u"快速鍵", u"Hotkeys"};
constexpr Texts kTab6{u"缩放", u"縮放", u"Zoom"};
constexpr Texts kGroupBox1{u"快显菜单（须重新启动浏览器）", u"右鍵功能表（須重新啓動瀏覽器）",
                           u"Context menu (need restart browser)"};
constexpr Texts kWebToTrad{u"网页: 简 > 繁", u"網頁: 簡 > 繁", u"Webpage: Sim to Trad"};
constexpr Texts kWebToSim{u"网页: 繁 > 简", u"網頁: 繁 > 簡", u"Webpage: Trad to Sim"};
constexpr Texts kClipToTrad{u"剪贴簿: 简 > 繁", u"剪貼簿: 簡 > 繁", u"Clipboard: Sim to Trad"};
constexpr Texts kClipToSim{u"剪贴簿: 繁 > 简", u"剪貼簿: 繁 > 簡", u"Clipboard: Trad to Sim"};
constexpr Texts kShowClip{u"显示剪贴板转换按钮", u"顯示剪貼簿轉換按鈕",
                          u"Show clipboard conversion buttons"};
constexpr Texts kShowZoom{u"显示网页缩放按钮", u"顯示網頁縮放按鈕", u"Show zoom in/out buttons"};
constexpr Texts kLabel15{u"标题", u"標題", u"Caption"};
constexpr Texts kLabel16{u"* 须重新启动IE", u"* 須重新啟動IE", u"* need restart browser"};
constexpr Texts kButton2{u"工具列底色", u"工具列底色", u"Toolbar color"};
constexpr Texts kBitBtn1{u"重设", u"重設", u"reset"};
constexpr Texts kEnableHelper{u"启动BHO (*须重新启动浏览器)", u"啟動BHO (*須重新啟動瀏覽器)",
                              u"Enable Auto-convert (*need restart browser)"};
constexpr Texts kConvertOnSubmit{u"将送出的表格文字自动做简繁转换",
                                 u"將送出的表格文字自動做簡繁轉換",
                                 u"Auto-convert text when submitting form"};
constexpr Texts kAlterWBCharset{u"转换的同时改变网页文字编码", u"轉換的同時改變網頁文字編碼",
                                u"Modify webpage's character set"};
constexpr Texts kGroupBox2{u"自订词汇修正 - 编辑器", u"自訂詞彙修正 - 編輯器",
                           u"Text Emendation - Editor"};
constexpr Texts kBitBtn2{u"繁体", u"繁體", u"Sim. > Trad."};
constexpr Texts kBitBtn3{u"简体", u"簡體", u"Trad. > Sim."};
constexpr Texts kCb2{u"启动自定义词汇修正功能", u"啟動自訂詞彙修正功能",
                     u"Enable user-defined text emendation"};
constexpr Texts kGroupBox3{u"手动缩放", u"手動縮放", u"Manaul Zoom"};
constexpr Texts kLabel6{u"增减百份比:", u"增減百份比:", u"Increment/decrement:"};
constexpr Texts kGroupBox4{u"自动缩放", u"自動縮放", u"Auto Zoom"};
constexpr Texts kAutozoom{u"启动", u"啟動", u"Enabled"};
constexpr Texts kLabel17{u"一般网页:", u"一般網頁:", u"General:"};
constexpr Texts kLabel26{u"特定网页:", u"特定網頁:", u"Exclusive:"};
constexpr Texts kRatio{u"缩放比", u"縮放比", u"Ratio"};
constexpr Texts kUrl{u"网址", u"網址", u"URL"};
constexpr Texts kLabel21{u"剪贴板: 简 > 繁", u"剪貼簿: 簡 > 繁", u"Clipboard: Sim to Trad"};
constexpr Texts kLabel22{u"剪贴板: 繁 > 简", u"剪貼簿: 繁 > 簡", u"Clipboard: Trad to Sim"};
constexpr Texts kLabel23{u"网页: 放大", u"網頁: 放大", u"Webpage: Zoom In"};
constexpr Texts kLabel24{u"网页: 缩小", u"網頁: 縮小", u"Webpage: Zoom Out"};
constexpr Texts kLabel25{u"网页: 回复正常大小", u"網頁: 回復正常大小",
                         u"Webpage: Resize to normal"};
constexpr Texts kLabel7{u"中文网页: 简体 > 繁体", u"中文網頁: 簡體 > 繁體",
                        u"Chinese Webpage: Sim. > Trad. Glyph"};
constexpr Texts kLabel8{u"中文网页: 繁体 > 简体", u"中文網頁: 繁體 > 簡體",
                        u"Chinese Webpage: Trad. > Sim. Glyph"};
constexpr Texts kLabel9{u"剪贴簿: Unicode 简 > 繁", u"剪貼簿: Unicode 簡 > 繁",
                        u"Clipboard: Unicode Sim. > Trad. Chinese"};
constexpr Texts kLabel10{u"剪贴簿: Unicode 繁 > 简", u"剪貼簿: Unicode 繁 > 簡",
                         u"Clipboard: Unicode Trad. > Sim. Chinese"};
constexpr Texts kLabel11{u"自动转换/缩放", u"自動轉換/縮放", u"Auto conversion/zoom"};
constexpr Texts kLabel13{u"放大当前网页", u"放大當前網頁", u"Zoom in the webpage"};
constexpr Texts kLabel14{u"缩小当前网页", u"縮小當前網頁", u"Zoom out the webpage"};
constexpr Texts kAdd{u"添加", u"添加", u"Add"};
constexpr Texts kDelete{u"删除", u"刪除", u"Delete"};
constexpr Texts kEdit{u"修改", u"修改", u"Edit"};
constexpr Texts kGridHint{
    u"指定个别网址的缩放比\n网址可以用*及?通配符\n例: http://*.example.com/* "
    u"包括该域名及其所有子域名",
    u"指定個別網址的縮放比\n網址可以用*及?萬用字元\n例: http://*.example.com/* "
    u"包括該網域及其所有子網域",
    u"Assign the zoom ratio of specific URL\nWildcards(* & ?) is allowed in URL\n"
    u"e.g. http://*.example.com/* matches the domain and all its subdomains"};
constexpr Texts kHelperHint{u"必须启动BHO才能进行自动转换及自动缩放",
                            u"必須啟動BHO才能進行自動轉換及自動縮放", nullptr};
constexpr Texts kSubmitHint{u"送出的表格文字依网页的原来编码自动做简繁转换",
                            u"送出的表格文字依網頁的原來編碼自動做簡繁轉換", nullptr};
constexpr Texts kCharsetHint{u"简繁转换时改变网页的编码，可有效改善字体。",
                             u"簡繁轉換時改變網頁的編碼，可有效改善字體。", nullptr};

// Our own messages.
constexpr Texts kBadPattern{u"第 %1 行的网址无法使用: %2", u"第 %1 行的網址無法使用: %2",
                            u"The URL in row %1 cannot be used: %2"};
constexpr Texts kPatternInvalid{u"通配符写法有误", u"萬用字元寫法有誤",
                                u"its wildcards are not a valid pattern"};
constexpr Texts kPatternTooLong{u"超过48个字元", u"超過48個字元",
                                u"it is longer than 48 characters"};
constexpr Texts kPatternCodePage{u"含有系统字码页无法表示的字元", u"含有系統字碼頁無法表示的字元",
                                 u"it holds characters the system code page cannot store"};
constexpr Texts kNoEditor{u"词汇修正编辑器不可用", u"詞彙修正編輯器不可用",
                          u"The text emendation editor is not available in this version."};
constexpr Texts kNotSaved{u"设定未能储存: ", u"設定未能儲存: ",
                          u"The settings could not be saved: "};

constexpr Texts kAbout2{u"中文简繁转换与网页缩放", u"中文繁簡轉換與網頁縮放",
                        u"Chinese Traditional/Simplified conversion and page zoom"};
constexpr Texts kAbout3{u"转换网页、剪贴簿与文字", u"轉換網頁、剪貼簿與文字",
                        u"for web pages, the clipboard and text"};
constexpr Texts kAbout4{u"作者: Quillmer 团队", u"作者: Quillmer 團隊", u"By the Quillmer team"};
constexpr Texts kAbout5{u"联络:", u"聯絡:", u"Contact:"};

constexpr const char16_t* kVersion = u"Quillmer 0.1";
constexpr const char16_t* kHomePage = u"https://quillmer.org/";
constexpr const char16_t* kMail = u"mailto:team@quillmer.org";

std::u16string Format(std::u16string text, std::u16string_view a, std::u16string_view b = {}) {
  if (auto at = text.find(u"%1"); at != std::u16string::npos) text.replace(at, 2, a);
  if (auto at = text.find(u"%2"); at != std::u16string::npos) text.replace(at, 2, b);
  return text;
}

std::u16string Decimal(long long n) { return FromUtf8(std::to_string(n)); }

// The value of a ratio cell ("120%"): its last character dropped, 100 when
// the rest is not a number.
int RatioValue(std::u16string cell) {
  if (cell.empty()) cell = u"100%";
  cell.pop_back();
  int value = 100;
  return ParseInteger(cell, value) ? value : 100;
}

std::string Numbered(std::string_view key, int n) { return std::string(key) + std::to_string(n); }

std::string HelperKey() {
  return std::string(kBrowserHelperObjectsKey) + std::string(kHelperClsid);
}

constexpr int kDialogWidth = 520;
constexpr int kDialogHeight = 480;

// The colour chooser: red, green and blue, shown on a swatch.
class ColorDialog final : public Form {
 public:
  ColorDialog(HWND owner, Language language)
      : Form(ControlKind::Dialog, owner, "ColorDialog1"),
        red(*this, "Red", 0, 255),
        green(*this, "Green", 0, 255),
        blue(*this, "Blue", 0, 255),
        swatch(*this, "Swatch"),
        ok(*this, "OK"),
        cancel(*this, "Cancel") {
    SetSize(260, 170);
    SetCaption(Pick(kButton2, language));
    SetFontCharset(FontCharset(language));
    int top = 12;
    for (SpinEdit* s : {&red, &green, &blue}) {
      s->SetBounds(12, top, 90, 28);
      s->OnChange = [this](Control&) { Paint(); };
      top += 36;
    }
    swatch.SetBounds(120, 12, 124, 100);
    ok.SetBounds(84, 128, 76, 30);
    ok.SetCaption(Pick(kOk, language));
    ok.SetModalResult(mrOk);
    ok.SetDefault(true);
    cancel.SetBounds(168, 128, 76, 30);
    cancel.SetCaption(u"Cancel");
    cancel.SetModalResult(mrCancel);
    cancel.SetCancel(true);
  }
  // color: 0x00BBGGRR in and out; false when cancelled.
  bool Execute(std::int32_t& color) {
    const std::int32_t c = color < 0 ? 0xF0F0F0 : color;
    red.SetValue(c & 0xFF);
    green.SetValue((c >> 8) & 0xFF);
    blue.SetValue((c >> 16) & 0xFF);
    Paint();
    if (ShowModal() != mrOk) return false;
    color = Value();
    return true;
  }

 private:
  std::int32_t Value() const { return red.Value() | (green.Value() << 8) | (blue.Value() << 16); }
  void Paint() { swatch.SetFaceColor(Value()); }

  SpinEdit red, green, blue;
  ColorButton swatch;
  Button ok, cancel;
};

HWND TopWindow(HWND h) {
  while (h && GetParent(h)) h = GetParent(h);
  return h;
}

}  // namespace

std::optional<std::u16string> AutoZoomPatternProblem(const std::string& pattern, UINT uiCodePage) {
  if (pattern.empty()) return std::nullopt;
  const Language language = UiLanguage(uiCodePage);
  const std::string normal = NormalizeUrlPattern(pattern);
  try {
    MatchUrlPattern("", normal);
  } catch (const Error&) {
    return Pick(kPatternInvalid, language);
  }
  // A longer pattern would be cut at the next start and lose its end.
  if (normal.size() > kMaxUrlPatternLength) return Pick(kPatternTooLong, language);
  return std::nullopt;
}

TForm1::TForm1(ModuleState& module, TBandForm* toolbar)
    : Form(ControlKind::Dialog, toolbar ? TopWindow(toolbar->Handle()) : nullptr, "Form1"),
      Conversion(*this, "Conversion"),
      TabSheet1(Conversion, "TabSheet1"),
      TabSheet2(Conversion, "TabSheet2"),
      TabSheet4(Conversion, "TabSheet4"),
      TabSheet6(Conversion, "TabSheet6"),
      TabSheet5(Conversion, "TabSheet5"),
      TabSheet3(Conversion, "TabSheet3"),
      Label1(TabSheet1, "Label1"),
      Label2(TabSheet1, "Label2"),
      Label3(TabSheet1, "Label3"),
      Label4(TabSheet1, "Label4"),
      Label5(TabSheet1, "Label5"),
      URLLabel1(TabSheet1, "URLLabel1"),
      URLLabel2(TabSheet1, "URLLabel2"),
      GroupBox1(TabSheet2, "GroupBox1"),
      CheckBox1(GroupBox1, "CheckBox1"),
      CheckBox2(GroupBox1, "CheckBox2"),
      CheckBox3(GroupBox1, "CheckBox3"),
      CheckBox4(GroupBox1, "CheckBox4"),
      cb_showclipbtn(TabSheet2, "cb_showclipbtn"),
      cb_ShowZoomBtn(TabSheet2, "cb_ShowZoomBtn"),
      Label15(TabSheet2, "Label15"),
      edtCaption(TabSheet2, "edtCaption"),
      Label16(TabSheet2, "Label16"),
      Button2(TabSheet2, "Button2"),
      BitBtn1(TabSheet2, "BitBtn1"),
      cb_EnableHelper(TabSheet4, "cb_EnableHelper"),
      cb_ConvertOnSubmit(TabSheet4, "cb_ConvertOnSubmit"),
      cb_AlterWBCharset(TabSheet4, "cb_AlterWBCharset"),
      GroupBox2(TabSheet4, "GroupBox2"),
      BitBtn2(GroupBox2, "BitBtn2"),
      BitBtn3(GroupBox2, "BitBtn3"),
      cb2(TabSheet4, "cb2"),
      GroupBox3(TabSheet6, "GroupBox3"),
      Label6(GroupBox3, "Label6"),
      SpinEdit1(GroupBox3, "SpinEdit1", 1, 300, 10),
      Label12(GroupBox3, "Label12"),
      GroupBox4(TabSheet6, "GroupBox4"),
      Label17(GroupBox4, "Label17"),
      SpinEdit2(GroupBox4, "SpinEdit2", 10, 400, 100),
      Label18(GroupBox4, "Label18"),
      cb_autozoom(GroupBox4, "cb_autozoom"),
      Label26(GroupBox4, "Label26"),
      SpeedButton1(GroupBox4, "SpeedButton1"),
      SpeedButton2(GroupBox4, "SpeedButton2"),
      SpeedButton3(GroupBox4, "SpeedButton3"),
      StringGrid1(GroupBox4, "StringGrid1", 2, 1),
      SpinEdit3(GroupBox4, "SpinEdit3", 10, 400, 100),
      Label19(TabSheet5, "Label19"),
      Label20(TabSheet5, "Label20"),
      Label21(TabSheet5, "Label21"),
      Label22(TabSheet5, "Label22"),
      Label23(TabSheet5, "Label23"),
      Label24(TabSheet5, "Label24"),
      Label25(TabSheet5, "Label25"),
      HotKey1(TabSheet5, "HotKey1"),
      HotKey2(TabSheet5, "HotKey2"),
      HotKey3(TabSheet5, "HotKey3"),
      HotKey4(TabSheet5, "HotKey4"),
      HotKey5(TabSheet5, "HotKey5"),
      HotKey6(TabSheet5, "HotKey6"),
      HotKey7(TabSheet5, "HotKey7"),
      Image1(TabSheet3, "Image1"),
      Image2(TabSheet3, "Image2"),
      Image3(TabSheet3, "Image3"),
      Image4(TabSheet3, "Image4"),
      Image5(TabSheet3, "Image5"),
      Image6(TabSheet3, "Image6"),
      Image7(TabSheet3, "Image7"),
      Label7(TabSheet3, "Label7"),
      Label8(TabSheet3, "Label8"),
      Label9(TabSheet3, "Label9"),
      Label10(TabSheet3, "Label10"),
      Label11(TabSheet3, "Label11"),
      Label13(TabSheet3, "Label13"),
      Label14(TabSheet3, "Label14"),
      Button1(*this, "Button1"),
      module_(module),
      toolbar_(toolbar) {
  BuildControls();
  FormCreate();
}

TForm1::~TForm1() = default;

HotKeyEdit& TForm1::HotKey(int n) {
  HotKeyEdit* const keys[] = {&HotKey1, &HotKey2, &HotKey3, &HotKey4, &HotKey5, &HotKey6, &HotKey7};
  return *keys[n - 1];
}

void TForm1::BuildControls() {
  SetSize(kDialogWidth, kDialogHeight);
  Conversion.SetBounds(6, 6, kDialogWidth - 12, kDialogHeight - 58);
  Button1.SetBounds(kDialogWidth - 108, kDialogHeight - 44, 100, 36);
  Button1.SetModalResult(mrOk);
  Button1.SetDefault(true);

  // About.
  Label1.SetBounds(16, 16, 440, 28);
  Label1.SetFontHeight(20);
  for (Label* l : {&Label2, &Label3, &Label4}) l->SetSize(440, 22);
  Label2.SetBounds(16, 56, 440, 22);
  Label3.SetBounds(16, 82, 440, 22);
  Label4.SetBounds(16, 120, 440, 22);
  Label5.SetBounds(16, 160, 100, 22);
  URLLabel1.SetBounds(120, 160, 300, 22);
  URLLabel2.SetBounds(120, 186, 300, 22);

  // Interface.
  // Children of a group box are placed below its caption.
  GroupBox1.SetBounds(10, 8, 480, 146);
  int top = 6;
  for (CheckBox* c : {&CheckBox1, &CheckBox2, &CheckBox3, &CheckBox4}) {
    c->SetBounds(12, top, 450, 24);
    top += 28;
  }
  cb_showclipbtn.SetBounds(10, 164, 480, 24);
  cb_ShowZoomBtn.SetBounds(10, 194, 480, 24);
  Label15.SetBounds(10, 238, 80, 24);
  edtCaption.SetBounds(96, 232, 240, 34);
  Label16.SetBounds(10, 276, 400, 24);
  Button2.SetBounds(10, 310, 160, 36);
  BitBtn1.SetBounds(178, 310, 100, 36);
  Button2.OnClick = [this](Control&) { Guarded([this] { Button2Click(); }); };
  BitBtn1.OnClick = [this](Control&) { Guarded([this] { BitBtn1Click(); }); };

  // Conversion.
  cb_EnableHelper.SetBounds(10, 10, 480, 24);
  cb_ConvertOnSubmit.SetBounds(30, 38, 460, 24);
  cb_AlterWBCharset.SetBounds(10, 66, 480, 24);
  GroupBox2.SetBounds(10, 100, 480, 78);
  BitBtn2.SetBounds(12, 8, 160, 38);
  BitBtn3.SetBounds(182, 8, 160, 38);
  BitBtn2.Tag = 1;
  BitBtn3.Tag = 2;
  cb2.SetBounds(10, 190, 480, 24);
  cb_EnableHelper.OnClick = [this](Control&) { Guarded([this] { cb_EnableHelperClick(); }); };
  cb2.OnClick = [this](Control&) { Guarded([this] { cb2Click(); }); };
  BitBtn2.OnClick = [this](Control& s) { Guarded([&] { BitBtn2Click(s); }); };
  BitBtn3.OnClick = [this](Control& s) { Guarded([&] { BitBtn2Click(s); }); };

  // Zoom.
  GroupBox3.SetBounds(10, 6, 480, 70);
  Label6.SetBounds(12, 12, 220, 24);
  SpinEdit1.SetBounds(240, 6, 130, 34);
  Label12.SetBounds(376, 12, 30, 24);
  GroupBox4.SetBounds(10, 84, 480, 290);
  Label17.SetBounds(12, 12, 110, 24);
  SpinEdit2.SetBounds(130, 6, 130, 34);
  Label18.SetBounds(266, 12, 24, 24);
  cb_autozoom.SetBounds(310, 10, 150, 24);
  Label26.SetBounds(12, 54, 110, 24);
  SpeedButton1.SetBounds(340, 48, 40, 32);
  SpeedButton2.SetBounds(384, 48, 40, 32);
  SpeedButton3.SetBounds(428, 48, 40, 32);
  SpeedButton1.SetCaption(u"+");
  SpeedButton2.SetCaption(u"−");
  SpeedButton3.SetCaption(u"…");
  SpeedButton1.Tag = 1;
  SpeedButton2.Tag = 2;
  SpeedButton3.Tag = 3;
  for (Button* b : {&SpeedButton1, &SpeedButton2, &SpeedButton3})
    b->OnClick = [this](Control& s) { Guarded([&] { SpeedButton1Click(s); }); };
  StringGrid1.SetBounds(12, 88, 456, 172);
  StringGrid1.SetOptions(kGridEditing | kGridLines | kGridTabs);
  StringGrid1.SetColWidth(0, 68);
  StringGrid1.SetColWidth(1, 311);
  StringGrid1.OnGetEditText = [this](StringGrid&, int row, int col) {
    bool open = true;
    Guarded([&] { open = StringGrid1GetEditText(row, col); });
    return open;
  };
  StringGrid1.OnCellEdit = [this](StringGrid&, int row, int col) {
    if (col != 1) return;
    Guarded([&] {
      const std::string pattern = EncodeCodePage(GetACP(), StringGrid1.Cell(row, 1));
      if (auto problem = AutoZoomPatternProblem(pattern, UiCodePage(module_.shared.page)))
        MessageBox(Format(Pick(kBadPattern, UiLanguage(UiCodePage(module_.shared.page))),
                          Decimal(row), *problem),
                   kProductCaption, MB_OK | MB_ICONWARNING);
    });
  };
  SpinEdit3.SetSize(120, 30);
  SpinEdit3.OnExit = [this](Control&) {
    if (SpinEdit3.Visible()) Guarded([this] { SpinEdit3Exit(); });
  };

  // Hotkeys.
  Label* const labels[] = {&Label19, &Label20, &Label21, &Label22, &Label23, &Label24, &Label25};
  for (int n = 1; n <= kHotKeySlots; ++n) {
    labels[n - 1]->SetBounds(14, 16 + (n - 1) * 44, 250, 24);
    HotKey(n).SetBounds(270, 10 + (n - 1) * 44, 210, 34);
  }

  // Help: the toolbar's images with what they do.
  ColorButton* const images[] = {&Image1, &Image2, &Image3, &Image4, &Image5, &Image6, &Image7};
  Label* const legend[] = {&Label7, &Label8, &Label9, &Label10, &Label11, &Label13, &Label14};
  static constexpr int kImages[] = {0, 1, 2, 3, 11, 8, 9};
  for (int i = 0; i < 7; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "toolbar_%02d", kImages[i]);
    if (const auto png = LoadModuleResource(name)) images[i]->SetImage(std::string(*png));
    images[i]->SetBounds(14, 10 + i * 44, 36, 36);
    legend[i]->SetBounds(100, 16 + i * 44, 390, 24);
  }

  OnClose = [this](Form&) { FormClose(); };
  OnCloseQuery = [this](Form&) { return forcing_ || !RefuseInvalidPattern(); };
  Button1.OnClick = [this](Control&) {
    // OK closes as the close box does: an invalid pattern keeps it open.
    if (RefuseInvalidPattern())
      SetModalResult(mrNone);
    else if (!GetInt(Prop::Modal))
      Close();
  };
}

void TForm1::FormCreate() {
  SpinEdit3.Hide();
  // No visual-style library here: the colour buttons stay.
  if (module_.toolbar.ThemeActive) {
    BitBtn1.Hide();
    Button2.Hide();
  }
  EmendationChanged = false;
  const SharedSettingsData& s = module_.shared;
  cb2.SetChecked(s.UserFix);
  cb_EnableHelper.SetChecked(s.page.HelperEnabled);
  cb_autozoom.SetChecked(s.AutoZoom);
  cb_ConvertOnSubmit.SetChecked(s.ConvertOnSubmit);
  EnableHelperControls(s.page.HelperEnabled);
  cb_AlterWBCharset.SetChecked(s.page.AlterWBCharset);
  cb_showclipbtn.SetChecked(s.ShowClipBtn);
  cb_ShowZoomBtn.SetChecked(s.ShowZoomBtn);
  SpinEdit1.SetValue(s.ZoomIncrement);
  edtCaption.SetText(s.bandCaption);
  // The default zoom as the module holds it, so that closing keeps it.
  SpinEdit2.SetValue(s.defaultZoom);
  for (int n = 1; n <= kHotKeySlots; ++n) HotKey(n).SetHotKey(s.HotKeyTable[n - 1]);

  std::vector<GridRow> rows;
  const UINT acp = GetACP();
  for (const AutoZoomEntry& e : s.autoZoomList)
    rows.push_back({Decimal(e.Zoom) + u"%", DecodeCodePage(acp, e.Pattern)});
  StringGrid1.SetRows(std::move(rows));
  StringGrid1.Select(1, 0);

  AssignTexts();

  const UINT ui = UiCodePage(s.page);
  RegKey menuExt;
  const bool opened = RegCreateKeyEx(HKEY_CURRENT_USER, kMenuExtKey.substr(1), KEY_READ,
                                     menuExt.put()) == ERROR_SUCCESS;
  CheckBox* const boxes[] = {&CheckBox1, &CheckBox2, &CheckBox3, &CheckBox4};
  for (int n = 1; n <= kMenuEntryCount; ++n) {
    std::string caption;
    GetMenuCaption(n, caption, ui);
    RegKey entry;
    menuStates_[n - 1] =
        opened && RegOpenKeyEx(menuExt.get(), caption, 0, KEY_READ, entry.put()) == ERROR_SUCCESS;
    boxes[n - 1]->SetChecked(menuStates_[n - 1]);
  }
  Conversion.SetActivePage(TabSheet1);
}

void TForm1::AssignTexts() {
  const Language language = UiLanguage(UiCodePage(module_.shared.page));
  const int charset = FontCharset(language);
  SetFontCharset(charset);
  auto text = [&](const Texts& t) { return Pick(t, language); };
  SetCaption(text(kFormCaption));
  Button1.SetCaption(text(kOk));
  for (int n = 1; n <= 7; ++n) HotKey(n).SetNoneText(text(kNoHotKey));
  TabSheet1.SetCaption(text(kTab1));
  TabSheet2.SetCaption(text(kTab2));
  TabSheet3.SetCaption(text(kTab3));
  TabSheet4.SetCaption(text(kTab4));
  TabSheet5.SetCaption(text(kTab5));
  TabSheet6.SetCaption(text(kTab6));
  GroupBox1.SetCaption(text(kGroupBox1));
  CheckBox1.SetCaption(text(kWebToTrad));
  Label19.SetCaption(text(kWebToTrad));
  CheckBox2.SetCaption(text(kWebToSim));
  Label20.SetCaption(text(kWebToSim));
  CheckBox3.SetCaption(text(kClipToTrad));
  CheckBox4.SetCaption(text(kClipToSim));
  cb_showclipbtn.SetCaption(text(kShowClip));
  cb_ShowZoomBtn.SetCaption(text(kShowZoom));
  Label15.SetCaption(text(kLabel15));
  Label16.SetCaption(text(kLabel16));
  Button2.SetCaption(text(kButton2));
  BitBtn1.SetCaption(text(kBitBtn1));
  cb_EnableHelper.SetCaption(text(kEnableHelper));
  cb_ConvertOnSubmit.SetCaption(text(kConvertOnSubmit));
  cb_AlterWBCharset.SetCaption(text(kAlterWBCharset));
  GroupBox2.SetCaption(text(kGroupBox2));
  BitBtn2.SetCaption(text(kBitBtn2));
  BitBtn3.SetCaption(text(kBitBtn3));
  cb2.SetCaption(text(kCb2));
  GroupBox3.SetCaption(text(kGroupBox3));
  Label6.SetCaption(text(kLabel6));
  Label12.SetCaption(u"%");
  GroupBox4.SetCaption(text(kGroupBox4));
  cb_autozoom.SetCaption(text(kAutozoom));
  Label17.SetCaption(text(kLabel17));
  Label18.SetCaption(u"%");
  Label26.SetCaption(text(kLabel26));
  StringGrid1.SetCell(0, 0, text(kRatio));
  StringGrid1.SetCell(0, 1, text(kUrl));
  Label21.SetCaption(text(kLabel21));
  Label22.SetCaption(text(kLabel22));
  Label23.SetCaption(text(kLabel23));
  Label24.SetCaption(text(kLabel24));
  Label25.SetCaption(text(kLabel25));
  Label7.SetCaption(text(kLabel7));
  Label8.SetCaption(text(kLabel8));
  Label9.SetCaption(text(kLabel9));
  Label10.SetCaption(text(kLabel10));
  Label11.SetCaption(text(kLabel11));
  Label13.SetCaption(text(kLabel13));
  Label14.SetCaption(text(kLabel14));
  SpeedButton1.SetHint(text(kAdd));
  SpeedButton2.SetHint(text(kDelete));
  SpeedButton3.SetHint(text(kEdit));
  StringGrid1.SetHint(text(kGridHint));
  if (language != Language::English) {
    cb_EnableHelper.SetHint(text(kHelperHint));
    cb_ConvertOnSubmit.SetHint(text(kSubmitHint));
    cb_AlterWBCharset.SetHint(text(kCharsetHint));
  }

  Label1.SetCaption(kVersion);
  Label2.SetCaption(text(kAbout2));
  Label3.SetCaption(text(kAbout3));
  Label4.SetCaption(text(kAbout4));
  Label5.SetCaption(text(kAbout5));
  URLLabel1.SetCaption(kHomePage);
  URLLabel1.SetUrl(kHomePage);
  URLLabel2.SetCaption(std::u16string_view(kMail).substr(7));
  URLLabel2.SetUrl(kMail);
}

void TForm1::EnableHelperControls(bool on) {
  for (Control* c : std::initializer_list<Control*>{&cb_ConvertOnSubmit, &Label17, &Label18,
                                                    &GroupBox4, &SpinEdit2, &Label26, &SpeedButton1,
                                                    &SpeedButton2, &SpeedButton3, &StringGrid1})
    c->SetEnabled(on);
}

void TForm1::cb_EnableHelperClick() { EnableHelperControls(cb_EnableHelper.Checked()); }

void TForm1::cb2Click() {
  if (cb2.Checked() != module_.shared.UserFix) EmendationChanged = true;
}

void TForm1::Button2Click() {
  if (!toolbar_) return;
  SettingsStore* store = module_.store.get();
  std::int32_t color =
      store ? store->ReadInteger(ini::Interface, ini::BKColor, kColorBtnFace) : kColorBtnFace;
  ColorDialog dialog(Handle(), UiLanguage(UiCodePage(module_.shared.page)));
  if (!dialog.Execute(color)) return;
  if (store) store->WriteInteger(ini::Interface, ini::BKColor, color);
  toolbar_->ApplyBackgroundColor();
}

void TForm1::BitBtn1Click() {
  if (!toolbar_) return;
  if (module_.store) module_.store->WriteInteger(ini::Interface, ini::BKColor, kColorBtnFace);
  toolbar_->ApplyBackgroundColor();
}

void TForm1::BitBtn2Click(Control& Sender) {
  editorMode = Sender.Tag == 2 ? EmendationMode::GBfix : EmendationMode::B5fix;
  const EmendationEditorMaker& make = module_.toolbar.makeEmendationEditor;
  std::unique_ptr<EmendationEditor> editor = make ? make(module_, Handle(), editorMode) : nullptr;
  if (!editor) {
    MessageBox(Pick(kNoEditor, UiLanguage(UiCodePage(module_.shared.page))), kProductCaption,
               MB_OK | MB_ICONINFORMATION);
    return;
  }
  editor->ShowModal();
  if (editor->TableSaved()) EmendationChanged = true;
}

void TForm1::SpeedButton1Click(Control& Sender) {
  switch (Sender.Tag) {
    case 1: {
      const int row = StringGrid1.InsertRow(StringGrid1.Row());
      StringGrid1.SetCell(row, 0, u"100%");
      StringGrid1.Select(row, StringGrid1.Col());
      break;
    }
    case 2:
      if (SpinEdit3.Visible()) SpinEdit3Exit();
      StringGrid1.EndEditing();
      StringGrid1.DeleteRow(StringGrid1.Row());
      break;
    case 3:
      StringGrid1.SetFocus();
      if (StringGrid1.Col() == 0) {
        if (StringGrid1GetEditText(StringGrid1.Row(), 0)) StringGrid1.StartEditing();
      } else {
        StringGrid1.StartEditing();
      }
      break;
    default:
      break;
  }
}

bool TForm1::StringGrid1GetEditText(int row, int col) {
  if (col != 0 || row < StringGrid1.FixedRows()) return true;
  StringGrid1.Select(row, 0);
  const StringGrid::Bounds cell = StringGrid1.CellBounds();
  if (cell.width > 0 && cell.height > 0)
    SpinEdit3.SetBounds(StringGrid1.Left() + cell.left, StringGrid1.Top() + cell.top, cell.width,
                        cell.height);
  else
    SpinEdit3.SetBounds(StringGrid1.Left() + 2, StringGrid1.Top() + 26, 120, 30);
  std::u16string text = StringGrid1.Cell(row, 0);
  int value = 100;
  if (!text.empty()) text.pop_back();
  if (!ParseInteger(text, value)) value = 100;
  SpinEdit3.SetValue(value);
  SpinEdit3.Show();
  SpinEdit3.SetFocus();
  return false;  // the grid's own editor stays closed
}

void TForm1::SpinEdit3Exit() {
  SpinEdit3.Hide();
  StringGrid1.SetCell(StringGrid1.Row(), 0, Decimal(SpinEdit3.Value()) + u"%");
}

bool TForm1::CMDialogKey(unsigned virtualKey, unsigned modifiers) {
  if (virtualKey == VK_TAB && modifiers == 0 && SpinEdit3.Visible()) {
    SpinEdit3Exit();
    StringGrid1.SetFocus();
    StringGrid1.Select(StringGrid1.Row(), 1);
    return true;
  }
  if (virtualKey == VK_ESCAPE && modifiers == 0) {
    // There is no cancel: Escape closes, and closing saves.
    if (SpinEdit3.Visible()) SpinEdit3Exit();
    Close();
    return true;
  }
  return false;
}

LRESULT TForm1::Message(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_KEYDOWN) {
    bool taken = false;
    Guarded(
        [&] { taken = CMDialogKey(static_cast<unsigned>(wParam), static_cast<unsigned>(lParam)); });
    if (taken) return 1;
  }
  return Form::Message(message, wParam, lParam);
}

bool TForm1::RefuseInvalidPattern() {
  if (SpinEdit3.Visible()) SpinEdit3Exit();
  StringGrid1.EndEditing();
  const UINT ui = UiCodePage(module_.shared.page);
  const UINT acp = GetACP();
  for (int row = StringGrid1.FixedRows(); row < StringGrid1.RowCount(); ++row) {
    const std::u16string url = StringGrid1.Cell(row, 1);
    const std::string pattern = EncodeCodePage(acp, url);
    std::optional<std::u16string> problem;
    if (DecodeCodePage(acp, pattern) != url)
      problem = Pick(kPatternCodePage, UiLanguage(ui));
    else
      problem = AutoZoomPatternProblem(pattern, ui);
    if (!problem) continue;
    Conversion.SetActivePage(TabSheet6);
    StringGrid1.Select(row, 1);
    MessageBox(Format(Pick(kBadPattern, UiLanguage(ui)), Decimal(row), *problem), kProductCaption,
               MB_OK | MB_ICONWARNING);
    return true;
  }
  return false;
}

void TForm1::ForceClose() {
  forcing_ = true;
  Close();
  forcing_ = false;
}

void TForm1::FormClose() {
  if (closed_) return;
  closed_ = true;
  // 1.
  if (SpinEdit3.Visible()) SpinEdit3Exit();
  StringGrid1.EndEditing();

  SharedSettingsData& s = module_.shared;
  SettingsStore* store = module_.store.get();
  const UINT ui = UiCodePage(s.page);
  // 2.
  const bool toolbarChanged = cb_EnableHelper.Checked() != s.page.HelperEnabled ||
                              cb_showclipbtn.Checked() != s.ShowClipBtn ||
                              cb_ShowZoomBtn.Checked() != s.ShowZoomBtn;
  // 3, 4: the context-menu entries that changed.
  const std::string prefix = "res://" + ModuleFileName();
  CheckBox* const boxes[] = {&CheckBox1, &CheckBox2, &CheckBox3, &CheckBox4};
  std::string failures;
  for (int n = 1; n <= kMenuEntryCount; ++n) {
    if (boxes[n - 1]->Checked() == menuStates_[n - 1]) continue;
    std::string caption;
    GetMenuCaption(n, caption, ui);
    try {
      if (boxes[n - 1]->Checked())
        RegisterMenuExt(caption, prefix + std::string(kMenuPageSuffixes[n - 1]),
                        kMenuContextDefault, kMenuFlags);
      else
        UnregisterMenuExt(caption);
    } catch (const Error& e) {
      failures += std::string(e.what()) + "\n";
    }
  }
  // 5.
  s.ConvertOnSubmit = cb_ConvertOnSubmit.Checked();
  s.page.AlterWBCharset = cb_AlterWBCharset.Checked();
  s.ZoomIncrement = SpinEdit1.Value();
  s.defaultZoom = SpinEdit2.Value();
  s.ShowClipBtn = cb_showclipbtn.Checked();
  s.ShowZoomBtn = cb_ShowZoomBtn.Checked();
  for (int n = 1; n <= kHotKeySlots; ++n) s.HotKeyTable[n - 1] = HotKey(n).HotKey();
  // 6.
  const bool helperWas = s.page.HelperEnabled;
  if (cb_EnableHelper.Checked()) {
    s.page.HelperEnabled = true;
    RegKey key;
    if (RegCreateKeyEx(HKEY_LOCAL_MACHINE, HelperKey(), KEY_WRITE, key.put()) == ERROR_SUCCESS) {
      const std::string name(kHelperRegistryName);
      const LONG rc =
          RegSetValueEx(key.get(), "", REG_SZ, name.c_str(), static_cast<DWORD>(name.size() + 1));
      if (rc != ERROR_SUCCESS) failures += RegErrorText(rc) + "\n";
    } else {
      failures += "cannot create the key HKEY_LOCAL_MACHINE\\" + HelperKey() + "\n";
    }
  } else {
    s.page.HelperEnabled = false;
    const LONG rc = RegDeleteTree(HKEY_LOCAL_MACHINE, HelperKey());
    if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND) failures += RegErrorText(rc) + "\n";
  }
  // 7, 8.
  if (store) {
    store->WriteBool(ini::Text_Convert, ini::ConvertOnSubmit, s.ConvertOnSubmit);
    store->WriteBool(ini::Text_Convert, ini::AlterWBCharset, s.page.AlterWBCharset);
    store->WriteBool(ini::Interface, ini::ShowClipBtn, s.ShowClipBtn);
    store->WriteBool(ini::Interface, ini::ShowZoomBtn, s.ShowZoomBtn);
    store->WriteInteger(ini::Zoom, ini::ZoomIncrement, s.ZoomIncrement);
    // Where the load reads the default zoom; AutoZoomNormal kept for whoever
    // reads it.
    store->WriteInteger(ini::Zoom, ini::AutoZoomToValue, s.defaultZoom);
    store->WriteInteger(ini::Zoom, ini::AutoZoomNormal, s.defaultZoom);
    if (edtCaption.Text() != s.bandCaption)
      store->WriteText(ini::Interface, ini::Caption, edtCaption.Text());
    for (int n = 1; n <= kHotKeySlots; ++n)
      store->WriteInteger(ini::HotKeys, Numbered(ini::Key, n), HotKey(n).HotKey());
  }
  // 9.
  StoreAutoZoomList(store);
  // 10. Automatic conversion needs the helper: switched off with it, toolbar
  // or not.
  if (toolbarChanged && toolbar_) UpdateToolbar();
  if (helperWas && !s.page.HelperEnabled) {
    s.AutoConvert = 0;
    if (store) store->WriteInteger(ini::Text_Convert, ini::AutoConvert, 0);
    if (toolbar_) toolbar_->UpdateAutoButtonImage();
  }
  // 11.
  if (cb_autozoom.Checked() != s.AutoZoom) {
    s.AutoZoom = cb_autozoom.Checked();
    if (store) store->WriteBool(ini::Zoom, ini::AutoZoom, s.AutoZoom);
    if (toolbar_) toolbar_->BroadcastAutoState();
  }
  // 12.
  if (EmendationChanged) {
    s.UserFix = cb2.Checked();
    if (store) store->WriteBool(ini::Text_Convert, ini::UserFix, s.UserFix);
    module_.tables->userFix = s.UserFix;
    EngineTables* previous = SetCurrentTables(module_.tables.get());
    try {
      InitB5fix();
      InitGBfix();
    } catch (const Error& e) {
      failures += std::string(e.what()) + "\n";
    }
    SetCurrentTables(previous);
  }
  // 13.
  if (store) {
    try {
      store->Flush();
    } catch (const Error& e) {
      failures += std::string(e.what()) + "\n";
    }
  }
  if (!failures.empty()) {
    failures.pop_back();
    MessageBox(Pick(kNotSaved, UiLanguage(ui)) + FromUtf8(failures), kProductCaption,
               MB_OK | MB_ICONERROR);
  }
}

void TForm1::StoreAutoZoomList(SettingsStore* store) {
  SharedSettingsData& s = module_.shared;
  const int oldCount =
      store ? store->ReadInteger(ini::Zoom_Ex, ini::AutoURLCount, kDefaultAutoURLCount) : 0;
  s.autoZoomList.clear();
  const UINT acp = GetACP();
  const UINT ui = UiCodePage(s.page);
  int k = 0;
  for (const GridRow& row : StringGrid1.Rows()) {
    const std::u16string url = row.size() > 1 ? row[1] : std::u16string();
    if (url.empty()) continue;
    const std::string typed = EncodeCodePage(acp, url);
    // Refused when closing; only a forced close gets here with one.
    if (DecodeCodePage(acp, typed) != url || AutoZoomPatternProblem(typed, ui)) continue;
    const int value = RatioValue(row.empty() ? std::u16string() : row[0]);
    const std::string pattern = NormalizeUrlPattern(typed);
    ++k;
    if (store) {
      store->WriteInteger(ini::Zoom_Ex, Numbered(ini::AutoZoomValue, k), value);
      store->WriteString(ini::Zoom_Ex, Numbered(ini::AutoZoomURL, k), pattern);
    }
    s.autoZoomList.push_back({static_cast<std::int16_t>(value), pattern});
  }
  if (!store) return;
  store->WriteInteger(ini::Zoom_Ex, ini::AutoURLCount, k);
  for (int n = k + 1; n <= oldCount && n <= kMaxAutoZoomEntries; ++n) {
    store->DeleteKey(ini::Zoom_Ex, Numbered(ini::AutoZoomValue, n));
    store->DeleteKey(ini::Zoom_Ex, Numbered(ini::AutoZoomURL, n));
  }
}

void TForm1::UpdateToolbar() {
  const SharedSettingsData& s = module_.shared;
  TBandForm& t = *toolbar_;
  for (Control* c : std::initializer_list<Control*>{&t.ToolButton9, &t.ToolButton8})
    c->SetVisible(s.page.HelperEnabled);
  for (Control* c : std::initializer_list<Control*>{&t.ToolButton3, &t.ToolButton4, &t.ToolButton5})
    c->SetVisible(s.ShowClipBtn);
  for (Control* c :
       std::initializer_list<Control*>{&t.ToolButton12, &t.ToolButton10, &t.ToolButton11})
    c->SetVisible(s.ShowZoomBtn);
  t.SetSize(t.ToolBar1.Width(), t.ToolBar1.Height());
}

void TForm1::Guarded(const std::function<void()>& handler) {
  try {
    handler();
  } catch (const std::exception& e) {
    MessageBox(FromUtf8(e.what()), kProductCaption, MB_OK | MB_ICONERROR);
  }
}

namespace {

class OptionsDialogOverForm final : public OptionsDialog {
 public:
  explicit OptionsDialogOverForm(TBandForm& owner) : form_(owner.Module(), &owner) {}
  void SetToolbar(TBandForm*) override {}
  int ShowModal() override { return form_.ShowModal(); }

 private:
  TForm1 form_;
};

}  // namespace

std::unique_ptr<OptionsDialog> MakeOptionsDialog(TBandForm& owner) {
  return std::make_unique<OptionsDialogOverForm>(owner);
}

}  // namespace quillmer
