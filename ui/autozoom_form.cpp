#include "ui/autozoom_form.h"

#include <optional>
#include <utility>
#include <vector>

#include "engine/identities.h"
#include "page/url_pattern.h"
#include "platform/base/error.h"
#include "platform/base/text.h"
#include "platform/win32/codepage.h"
#include "platform/win32/dialogs.h"
#include "ui/band_form.h"
#include "ui/ui_language.h"
#include "ui/zoom.h"

namespace quillmer {
namespace {

constexpr Texts kFormCaption{u" 将下列网址加到自动缩放的清单", u" 將下列網址加到自動縮放的清單",
                             u" Auto-zoom this URL"};
constexpr Texts kUrl{u"网址:", u"網址:", u"URL:"};
constexpr Texts kZoomTo{u"缩放比:", u"縮放比:", u"Zoom to:"};
constexpr Texts kOk{u"确定", u"確定", u"OK"};
constexpr Texts kCancel{u"取消", u"取消", u"Cancel"};
constexpr Texts kActivate{u"自动缩放现时并非在启动状能，是否开始启动？",
                          u"自動縮放現時並非在啟動狀能，是否開始啟動？",
                          u"Auto-Zoom is not activated at the meantime.\r\nActivate it now?"};
constexpr Texts kEmpty{u"请输入网址。", u"請輸入網址。", u"Please enter a URL."};
constexpr Texts kTooLong{u"网址太长：最多 48 个字元。", u"網址太長：最多 48 個字元。",
                         u"The URL is too long: at most 48 characters."};
constexpr Texts kInvalid{u"网址的格式无效：", u"網址的格式無效：",
                         u"This URL pattern is invalid: "};
constexpr Texts kNotSaved{u"无法储存自动缩放的清单：", u"無法儲存自動縮放的清單：",
                          u"The auto-zoom list could not be saved: "};

std::string Numbered(std::string_view key, int n) { return std::string(key) + std::to_string(n); }

bool IsBlank(std::u16string_view text) {
  for (char16_t c : text)
    if (c != u' ' && c != u'\t') return false;
  return true;
}

// The adapter through which the toolbar sees the dialog.
class ToolbarAutoZoomDialog final : public AutoZoomUrlDialog {
 public:
  ToolbarAutoZoomDialog(ModuleState& module, HWND owner) : form_(module, owner) {}
  void SetToolbar(TBandForm* toolbar) override { form_.toolbar = toolbar; }
  void SetUrl(const std::string& pattern) override {
    form_.Edit1.SetText(DecodeCodePage(GetACP(), pattern));
  }
  void SetZoom(int percent) override { form_.SpinEdit1.SetValue(percent); }
  int ShowModal() override { return form_.ShowModal(); }

 private:
  TAddAutoZoom form_;
};

}  // namespace

TAddAutoZoom::TAddAutoZoom(ModuleState& module, HWND owner)
    : Form(ControlKind::Dialog, owner, "AddAutoZoom"),
      Label1(*this, "Label1"),
      Edit1(*this, "Edit1"),
      Label2(*this, "Label2"),
      SpinEdit1(*this, "SpinEdit1", 10, 400, 100),
      BitBtn1(*this, "BitBtn1"),
      BitBtn2(*this, "BitBtn2"),
      module_(module) {
  Hide();
  SetSize(400, 116);
  Label1.SetBounds(10, 14, 70, 20);
  Edit1.SetBounds(84, 10, 306, 26);
  Label2.SetBounds(10, 48, 70, 20);
  SpinEdit1.SetBounds(84, 44, 80, 26);
  BitBtn1.SetBounds(210, 78, 86, 30);
  BitBtn2.SetBounds(304, 78, 86, 30);
  BitBtn1.SetDefault(true);
  BitBtn1.SetModalResult(mrOk);
  BitBtn2.SetCancel(true);
  BitBtn2.SetModalResult(mrCancel);
  BitBtn1.OnClick = [this](Control& s) { BitBtn1Click(s); };
  OnShow = [this](Form&) { Edit1.SetFocus(); };
  FormCreate();
}

void TAddAutoZoom::FormCreate() {
  const Language language = UiLanguage(module_.shared.page);
  for (Control* c : std::initializer_list<Control*>{this, &Label1, &Edit1, &Label2, &SpinEdit1,
                                                    &BitBtn1, &BitBtn2})
    c->SetFontCharset(FontCharset(language));
  SetCaption(Pick(kFormCaption, language));
  Label1.SetCaption(Pick(kUrl, language));
  Label2.SetCaption(Pick(kZoomTo, language));
  BitBtn1.SetCaption(Pick(kOk, language));
  BitBtn2.SetCaption(Pick(kCancel, language));
}

std::string TAddAutoZoom::CheckedPattern() {
  const Language language = UiLanguage(module_.shared.page);
  auto refuse = [&](std::u16string text) {
    MessageBox(text, kProductCaption, MB_OK | MB_ICONERROR);
    Edit1.SetFocus();
    return std::string();
  };
  const std::u16string typed = Edit1.Text();
  // An empty pattern would be read back as "http://*" and zoom every page.
  if (IsBlank(typed)) return refuse(Pick(kEmpty, language));
  const UINT cp = module_.store ? module_.store->CodePage() : GetACP();
  const std::optional<std::string> ansi = EncodeCodePageExactly(cp, typed);
  if (!ansi) return refuse(Pick(kInvalid, language) + typed);
  // Stored as it is read back, so that it matches the same after a restart.
  std::string pattern = NormalizeUrlPattern(*ansi);
  // A longer one would be cut at the next load, losing its final "*".
  if (pattern.size() > kMaxUrlPatternLength) return refuse(Pick(kTooLong, language));
  try {
    MatchUrlPattern("", pattern);
  } catch (const Error&) {
    return refuse(Pick(kInvalid, language) + typed);
  }
  return pattern;
}

void TAddAutoZoom::StoreEntry(const std::string& pattern, int value, int& entry) {
  SettingsStore& store = *module_.store;
  const AutoZoomList& list = module_.shared.autoZoomList;
  struct Saved {
    std::string key;
    std::optional<std::string> value;
  };
  std::vector<Saved> saved;
  auto write = [&](const std::string& key, const std::string& text) {
    Saved s{key, std::nullopt};
    if (store.ValueExists(ini::Zoom_Ex, key)) s.value = store.ReadString(ini::Zoom_Ex, key, "");
    saved.push_back(std::move(s));
    store.WriteString(ini::Zoom_Ex, key, text);
  };
  entry = 0;
  for (std::size_t i = list.size(); i-- > 0;)
    if (list[i].Pattern == pattern) {
      entry = static_cast<int>(i) + 1;
      break;
    }
  try {
    if (entry) {
      write(Numbered(ini::AutoZoomValue, entry), std::to_string(value));
    } else {
      const int n = static_cast<int>(list.size()) + 1;
      write(std::string(ini::AutoURLCount), std::to_string(n));
      write(Numbered(ini::AutoZoomValue, n), std::to_string(value));
      write(Numbered(ini::AutoZoomURL, n), pattern);
    }
    store.Flush();
  } catch (const Error&) {
    // What is on disk stays the list in memory: a later flush must not
    // write half of this entry.
    for (auto it = saved.rbegin(); it != saved.rend(); ++it) {
      if (it->value)
        store.WriteString(ini::Zoom_Ex, it->key, *it->value);
      else
        store.DeleteKey(ini::Zoom_Ex, it->key);
    }
    throw;
  }
}

void TAddAutoZoom::BitBtn1Click(Control&) {
  SetModalResult(mrNone);
  const Language language = UiLanguage(module_.shared.page);
  const int value = SpinEdit1.Value();
  const std::string pattern = CheckedPattern();
  if (pattern.empty()) return;

  if (module_.store) {
    int entry = 0;
    try {
      StoreEntry(pattern, value, entry);
    } catch (const Error& e) {
      MessageBox(Pick(kNotSaved, language) + FromUtf8(e.what()), kProductCaption,
                 MB_OK | MB_ICONERROR);
      return;
    }
    AutoZoomList& list = module_.shared.autoZoomList;
    if (entry)
      list[static_cast<std::size_t>(entry - 1)].Zoom = static_cast<std::int16_t>(value);
    else
      list.push_back({static_cast<std::int16_t>(value), pattern});
  } else {
    module_.shared.autoZoomList.push_back({static_cast<std::int16_t>(value), pattern});
  }

  if (!module_.shared.AutoZoom && MessageBox(Pick(kActivate, language), kProductCaption,
                                             MB_YESNO | MB_ICONINFORMATION) == IDYES) {
    try {
      module_.SetAutoZoom(true);
    } catch (const Error& e) {
      MessageBox(Pick(kNotSaved, language) + FromUtf8(e.what()), kProductCaption,
                 MB_OK | MB_ICONERROR);
    }
    if (toolbar) toolbar->BroadcastAutoState();
  }
  if (toolbar) SetPageZoom(toolbar->Browser.get(), value);
  SetModalResult(mrOk);
}

std::unique_ptr<AutoZoomUrlDialog> MakeAutoZoomUrlDialog(TBandForm& owner) {
  return std::make_unique<ToolbarAutoZoomDialog>(owner.Module(), owner.Handle());
}

}  // namespace quillmer
