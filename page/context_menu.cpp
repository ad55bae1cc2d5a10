#include "page/context_menu.h"

#include "page/page_state.h"
#include "platform/base/error.h"
#include "platform/win32/registry.h"

namespace quillmer {
namespace {

struct Captions {
  std::u16string_view english, simplified, traditional;
};

// Two spaces after the colon, as the menu has always shown them.
constexpr Captions kCaptions[kMenuEntryCount] = {
    {u"Display:  Traditional Chinese", u"网页:  [繁体] 显示", u"網頁:  [繁體] 顯示"},
    {u"Display:  Simplified Chinese", u"网页:  [简体] 显示", u"網頁:  [簡體] 顯示"},
    {u"Clipboard: Simp > Trad Chinese", u"剪贴板文字:  简 > 繁", u"剪貼簿文字:  簡 > 繁"},
    {u"Clipboard: Trad > Simp Chinese", u"剪贴板文字:  繁 > 简", u"剪貼簿文字:  繁 > 簡"},
};

// A caption is one key name: a backslash would reach other keys, an empty
// one the MenuExt key itself.
bool IsKeyName(std::string_view caption) {
  return !caption.empty() && caption.find('\\') == std::string_view::npos;
}

std::string KeyOf(std::string_view caption) {
  return std::string(kMenuExtKey) + std::string(caption);
}

void Check(LONG result, std::string_view caption) {
  if (result != ERROR_SUCCESS)
    throw Error("Cannot write the context-menu entry \"" + std::string(caption) +
                    "\" to the registry (error " + std::to_string(result) + ")",
                E_FAIL);
}

std::string LittleEndian(std::uint32_t v) {
  std::string b(4, '\0');
  for (int i = 0; i < 4; ++i) b[i] = static_cast<char>(v >> (8 * i) & 0xFF);
  return b;
}

}  // namespace

void GetMenuCaption(int entry, std::string& caption, UINT uiCodePage) {
  if (entry < 1 || entry > kMenuEntryCount) return;
  const Captions& c = kCaptions[entry - 1];
  const UINT cp = uiCodePage ? uiCodePage : GetACP();
  if (cp == kCodePageGbk || cp == kCodePageGb18030)
    caption = EncodeCodePage(cp, c.simplified);
  else if (cp == kCodePageBig5)
    caption = EncodeCodePage(cp, c.traditional);
  else
    caption = EncodeCodePage(CP_UTF8, c.english);  // ASCII in every code page
}

void RegisterMenuExt(std::string_view caption, std::string_view url, std::uint32_t context,
                     std::uint32_t flags) {
  if (!IsKeyName(caption))
    throw Error("\"" + std::string(caption) + "\" cannot name a context-menu entry", E_INVALIDARG);
  RegKey key;
  Check(RegCreateKeyEx(HKEY_CURRENT_USER, KeyOf(caption), KEY_WRITE, key.put()), caption);
  const std::string text(url);
  Check(RegSetValueEx(key.get(), "", REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1)),
        caption);
  const std::string c = LittleEndian(context), f = LittleEndian(flags);
  Check(RegSetValueEx(key.get(), "Context", REG_BINARY, c.data(), 4), caption);
  Check(RegSetValueEx(key.get(), "Flags", REG_BINARY, f.data(), 4), caption);
}

bool UnregisterMenuExt(std::string_view caption) {
  if (!IsKeyName(caption)) return false;
  return RegDeleteTree(HKEY_CURRENT_USER, KeyOf(caption)) == ERROR_SUCCESS;
}

}  // namespace quillmer
