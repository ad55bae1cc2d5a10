// The message shown instead of a page conversion when the system lacks one of
// the Chinese code pages.
#pragma once

#include <cstdint>
#include <string>

#include "platform/win32/codepage.h"

namespace quillmer {

// A window handle as the message box's owner; 0 for none.
using OwnerWindow = std::uintptr_t;

// The text for the code page asked for (936/54936 Simplified, 950
// Traditional) in the UI language of uiCodePage.
std::u16string SupportMissingText(UINT codePage, UINT uiCodePage);

// With an owner the box is modal to it; without one it is system-modal.
void ShowSupportMissing(OwnerWindow owner, UINT codePage, UINT uiCodePage);

}  // namespace quillmer
