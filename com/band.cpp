#include "com/band.h"

#include "page/context_menu.h"
#include "platform/win32/dialogs.h"
#include "ui/lifecycle.h"

namespace quillmer {
namespace {

// The desk-band category the platform files bands under.
constexpr std::string_view kDeskBandCategory = "{00021492-0000-0000-C000-000000000046}";

// The captions' language: the loaded settings', else the system's.
UINT MenuCodePage() {
  const ModuleState* module = CurrentModule();
  return module ? module->shared.page.uiCodePage : 0;
}

class TBrowserBandFactory final : public TComObjectFactory {
 public:
  explicit TBrowserBandFactory(std::u16string_view caption)
      : TComObjectFactory(CLSID_BrowserBand, u"", std::u16string(caption)) {}

  void UpdateRegistry(bool registering) override {
    TComObjectFactory::UpdateRegistry(registering);
    const std::string clsid = GuidToString(ClassID());
    const std::string classKey = "CLSID\\" + clsid;
    if (registering) {
      // The pages are found by the module's long path, spaces and all.
      const std::string module = RegistryModulePath(false);
      for (int n = 1; n <= kMenuEntryCount; ++n) {
        std::string caption;
        GetMenuCaption(n, caption, MenuCodePage());
        RegisterMenuExt(caption, "res://" + module + std::string(kMenuPageSuffixes[n - 1]),
                        kMenuContextDefault, kMenuFlags);
      }
      WriteRegString(HKEY_CLASSES_ROOT, classKey, true, "", kBandRegistryName);
      WriteRegString(HKEY_CLASSES_ROOT, classKey + "\\InProcServer32", true, "ThreadingModel",
                     "Apartment");
      WriteRegString(HKEY_LOCAL_MACHINE, kToolbarKey, true, clsid, kBandRegistryName);
    } else {
      for (int n = 1; n <= kMenuEntryCount; ++n) {
        std::string caption;
        GetMenuCaption(n, caption, MenuCodePage());
        UnregisterMenuExt(caption);
      }
      const std::string category(kDeskBandCategory);
      DeleteRegTree(HKEY_CLASSES_ROOT, "Component Categories\\" + category + "\\Enum");
      DeleteRegTree(HKEY_CLASSES_ROOT, classKey + "\\Implemented Categories\\" + category);
      DeleteRegTree(HKEY_CLASSES_ROOT, classKey + "\\InProcServer32");
      DeleteRegTree(HKEY_CLASSES_ROOT, classKey);
      RegKey toolbar;
      if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, kToolbarKey, 0, KEY_ALL_ACCESS, toolbar.put()) ==
          ERROR_SUCCESS) {
        LONG rc = RegDeleteValue(toolbar.get(), clsid);
        if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND)
          throw Error("Error deleting system registry entry: " + std::string(kToolbarKey) +
                          " in '" + RegistryFilePath() + "': " + RegErrorText(rc),
                      E_FAIL);
      }
    }
  }

 protected:
  ComPtr<IUnknown> CreateComObject() override {
    return ComPtr<IUnknown>(MakeComObject<TBrowserBand>()->Identity());
  }
};

}  // namespace

std::unique_ptr<TComObjectFactory> MakeBandFactory(std::u16string_view caption) {
  return std::make_unique<TBrowserBandFactory>(caption);
}

}  // namespace quillmer
