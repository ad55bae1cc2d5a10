// The browser helper object's unit: the host check and the helper's class
// factory. The helper itself takes its site and does nothing yet; its event
// handling comes with the browser integration.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "com/server.h"
#include "com/site.h"

namespace quillmer {

inline constexpr CLSID CLSID_IEBrowserHelper = MakeGuid(kHelperClsid);

// 2 when the host process is "explorer.exe", 0 otherwise (and while no
// server is loaded); set at load.
std::uint8_t HostIsExplorer();
// The flag's value for a host program's path (its file name, any case).
std::uint8_t HostCheck(std::string_view programPath);

class TIEBrowserHelper final : public ObjectWithSite<> {};

// Named "Quillmer_Helper"; registers the Browser Helper Objects key too.
std::unique_ptr<TComObjectFactory> MakeHelperFactory();

}  // namespace quillmer
