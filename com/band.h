// The band object's class factory with its registration: the toolbar entry
// and the context-menu entries. The band itself takes its site and shows
// nothing yet; the toolbar form comes with the browser integration.
#pragma once

#include <memory>
#include <string_view>

#include "com/server.h"
#include "com/site.h"

namespace quillmer {

inline constexpr CLSID CLSID_BrowserBand = MakeGuid(kBandClsid);
inline constexpr std::string_view kToolbarKey = "SOFTWARE\\Microsoft\\Internet Explorer\\Toolbar";

class TBrowserBand final : public ObjectWithSite<> {};

// No class name (so no ProgID); the band caption is its description.
std::unique_ptr<TComObjectFactory> MakeBandFactory(std::u16string_view caption);

}  // namespace quillmer
