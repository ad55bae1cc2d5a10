#include "com/helper.h"

#include "ui/shared_settings.h"

namespace quillmer {
namespace {

class TIEBrowserHelperFactory final : public TComObjectFactory {
 public:
  TIEBrowserHelperFactory()
      : TComObjectFactory(CLSID_IEBrowserHelper, std::u16string(kHelperClassName),
                          std::u16string(kHelperClassName)) {}

  void UpdateRegistry(bool registering) override {
    TComObjectFactory::UpdateRegistry(registering);
    // The key's presence is what switches the helper on.
    const std::string key = std::string(kBrowserHelperObjectsKey) + GuidToString(ClassID());
    if (registering)
      WriteRegString(HKEY_LOCAL_MACHINE, key, true, "", kHelperRegistryName);
    else
      DeleteRegTree(HKEY_LOCAL_MACHINE, key);
  }

 protected:
  ComPtr<IUnknown> CreateComObject() override {
    return ComPtr<IUnknown>(MakeComObject<TIEBrowserHelper>()->Identity());
  }
};

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x + 32);
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y + 32);
    if (x != y) return false;
  }
  return true;
}

}  // namespace

std::uint8_t HostIsExplorer() {
  const ServerState* server = CurrentServer();
  return server ? server->hostIsExplorer : 0;
}

std::uint8_t HostCheck(std::string_view programPath) {
  auto slash = programPath.find_last_of("/\\");
  std::string_view name =
      slash == std::string_view::npos ? programPath : programPath.substr(slash + 1);
  return EqualNoCase(name, "explorer.exe") ? 2 : 0;
}

std::unique_ptr<TComObjectFactory> MakeHelperFactory() {
  return std::make_unique<TIEBrowserHelperFactory>();
}

}  // namespace quillmer
