// The four entries the module adds to the browser's context menu: keys under
// HKEY_CURRENT_USER's MenuExt key named by their captions, whose default value
// is the res: URL of a script page in the module.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/base/types.h"

namespace quillmer {

constexpr std::string_view kMenuExtKey = "\\Software\\Microsoft\\Internet Explorer\\MenuExt\\";

constexpr int kMenuEntryCount = 4;
// The page of entry n (1 to 4) is "res://" + module path + its suffix.
constexpr std::array<std::string_view, kMenuEntryCount> kMenuPageSuffixes = {
    "/RT_HTML/PageToTrad", "/RT_HTML/PageToSim", "/RT_HTML/ClipToTrad", "/RT_HTML/ClipToSim"};
constexpr std::uint32_t kMenuContextDefault = 1;  // the page's own context menu
constexpr std::uint32_t kMenuFlags = 0;

// The caption of entry 1 to 4 in the user-interface language, as 8-bit text
// in the system ANSI code page; any other number leaves caption unchanged.
// uiCodePage is the settings' UI code page (0: the system's ANSI code page).
void GetMenuCaption(int entry, std::string& caption, UINT uiCodePage);

// Creates (or opens) the entry's key and writes its page URL, "Context" and
// "Flags". Throws Error when the registry will not take it.
void RegisterMenuExt(std::string_view caption, std::string_view url, std::uint32_t context,
                     std::uint32_t flags);

// Deletes the entry's key with its values; false when it was not there or
// could not be deleted.
bool UnregisterMenuExt(std::string_view caption);

}  // namespace quillmer
