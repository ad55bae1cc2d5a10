#include "page/support_message.h"

#include "engine/identities.h"
#include "page/page_state.h"
#include "platform/win32/dialogs.h"

namespace quillmer {
namespace {

constexpr unsigned kSystemModal = 0x1000;  // MB_SYSTEMMODAL

}  // namespace

std::u16string SupportMissingText(UINT codePage, UINT uiCodePage) {
  const bool simplified = codePage == kCodePageGbk || codePage == kCodePageGb18030;
  if (uiCodePage == kCodePageGbk || uiCodePage == kCodePageGb18030)
    return simplified ? u"系统尚未安装简体中文支援！" : u"系统尚未安装繁体中文支援！";
  if (uiCodePage == kCodePageBig5)
    return simplified ? u"系統尚未安裝簡體中文支援！" : u"系統尚未安裝繁體中文支援！";
  return simplified ? u"Simplified Chinese Support is not installed!"
                    : u"Traditional Chinese Support is not installed!";
}

void ShowSupportMissing(OwnerWindow owner, UINT codePage, UINT uiCodePage) {
  // The texts are shown as wide strings: the box must not depend on the very
  // code page whose absence it reports.
  std::u16string text = SupportMissingText(codePage, uiCodePage);
  MessageBox(text, kProductCaption, owner ? MB_OK : kSystemModal);
}

}  // namespace quillmer
