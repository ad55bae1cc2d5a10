#include "com/conface.h"

#include <cstdio>

#include "engine/clipboard.h"
#include "engine/detect.h"
#include "page/page_access.h"
#include "page/page_convert.h"
#include "page/page_state.h"
#include "platform/base/error.h"
#include "platform/browser/webbrowser.h"
#include "platform/win32/codepage.h"
#include "platform/win32/module.h"
#include "platform/win32/window.h"
#include "ui/lifecycle.h"

namespace quillmer {
namespace {

// The members as this module implements them; the type library must agree.
struct Member {
  std::u16string_view name;
  DISPID id;
  std::size_t inParams;
  bool retval;
};
constexpr Member kMembers[] = {
    {u"ConToSim", 1, 1, false},   {u"ConToTrad", 2, 1, false}, {u"ClipToSim", 3, 0, false},
    {u"ClipToTrad", 4, 0, false}, {u"Str2Sim", 5, 1, true},    {u"Str2Trad", 6, 1, true},
};

// Repair mode for strings: only no-break spaces become spaces, and only when
// repair is asked for, which it is not.
constexpr TextEncoding kStringRepairMode = teUnknown;

void CheckInterface(ITypeInfo* info) {
  const Error mismatch("The type library does not describe IConFace as this module implements it",
                       TYPE_E_INVDATAREAD);
  TYPEATTR attr;
  OleCheck(info->GetTypeAttr(&attr));
  if (attr.guid != IID_IConFace || attr.cFuncs != std::size(kMembers)) throw mismatch;
  for (UINT i = 0; i < attr.cFuncs; ++i) {
    FUNCDESC f;
    OleCheck(info->GetFuncDesc(i, &f));
    bool found = false;
    for (const auto& m : kMembers) {
      if (m.name != f.name || m.id != f.memid) continue;
      const bool retval = !f.params.empty() && (f.params.back().paramFlags & PARAMFLAG_FRETVAL);
      found = retval == m.retval && f.params.size() - (retval ? 1 : 0) == m.inParams;
    }
    if (!found) throw mismatch;
  }
}

class TConFaceFactory final : public TComObjectFactory {
 public:
  TConFaceFactory(ComPtr<ITypeInfo> iface, std::u16string className, std::u16string description)
      : TComObjectFactory(CLSID_ConFace, std::move(className), std::move(description)),
        iface_(std::move(iface)) {}

  void UpdateRegistry(bool registering) override {
    const std::string classKey = "CLSID\\" + GuidToString(ClassID());
    if (registering) {
      TComObjectFactory::UpdateRegistry(true);
      TLIBATTR attr;
      OleCheck(ServerTypeLib()->GetLibAttr(&attr));
      char version[32];
      std::snprintf(version, sizeof version, "%d.%d", attr.wMajorVerNum, attr.wMinorVerNum);
      CreateRegKey(classKey + "\\Version", "", version);
      CreateRegKey(classKey + "\\TypeLib", "", GuidToString(attr.guid));
    } else {
      DeleteRegKey(classKey + "\\TypeLib");
      DeleteRegKey(classKey + "\\Version");
      TComObjectFactory::UpdateRegistry(false);
    }
  }

 protected:
  ComPtr<IUnknown> CreateComObject() override {
    return ComPtr<IUnknown>(MakeComObject<TConFace>(iface_, ProgID())->Identity());
  }

 private:
  ComPtr<ITypeInfo> iface_;
};

}  // namespace

TConFace::TConFace(ComPtr<ITypeInfo> typeInfo, std::u16string progId)
    : typeInfo_(std::move(typeInfo)), progId_(std::move(progId)) {}

// ---- IDispatch, from the type library ---------------------------------------

HRESULT TConFace::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 1;
  return S_OK;
}

HRESULT TConFace::GetTypeInfo(UINT index, LCID, ITypeInfo** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (index != 0) return DISP_E_BADINDEX;
  return typeInfo_.CopyTo(out);
}

HRESULT TConFace::GetIDsOfNames(REFIID riid, const std::u16string* names, UINT count, LCID,
                                DISPID* ids) {
  if (riid != GUID_NULL) return DISP_E_UNKNOWNINTERFACE;
  return typeInfo_->GetIDsOfNames(names, count, ids);
}

HRESULT TConFace::Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params,
                         VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr) {
  if (riid != GUID_NULL) return DISP_E_UNKNOWNINTERFACE;
  return typeInfo_->Invoke(this, id, flags, params, result, excepInfo, argErr);
}

HRESULT TConFace::InvokeMember(DISPID memid, std::span<VARIANT> args, VARIANT* retval) {
  switch (memid) {
    case 1:
      return ConToSim(args[0].pdispVal.get());
    case 2:
      return ConToTrad(args[0].pdispVal.get());
    case 3:
      return ClipToSim();
    case 4:
      return ClipToTrad();
    case 5:
    case 6: {
      std::u16string value;
      HRESULT hr =
          memid == 5 ? Str2Sim(args[0].bstrVal, &value) : Str2Trad(args[0].bstrVal, &value);
      if (SUCCEEDED(hr) && retval) *retval = VariantString(std::move(value));
      return hr;
    }
    default:
      return DISP_E_MEMBERNOTFOUND;
  }
}

// ---- the methods -------------------------------------------------------------

HRESULT TConFace::ConToSim(IDispatch* pDisp) { return ConvertPage(pDisp, cdToSim, kCodePageGbk); }
HRESULT TConFace::ConToTrad(IDispatch* pDisp) {
  return ConvertPage(pDisp, cdToTrad, kCodePageBig5);
}
HRESULT TConFace::ClipToSim() { return ConvertClip(cdToSim); }
HRESULT TConFace::ClipToTrad() { return ConvertClip(cdToTrad); }

HRESULT TConFace::Str2Sim(const std::u16string& wstr, std::u16string* Value) {
  return ConvertString(wstr, cdToSim, Value);
}
HRESULT TConFace::Str2Trad(const std::u16string& wstr, std::u16string* Value) {
  return ConvertString(wstr, cdToTrad, Value);
}

HRESULT TConFace::InterfaceSupportsErrorInfo(REFIID riid) {
  return SupportsErrorInfo(Identity(), riid);
}

HRESULT TConFace::ConvertPage(IDispatch* pDisp, ConvDirection direction, UINT codePage) {
  if (!pDisp) return S_OK;
  try {
    // Lets the context menu go away before the work starts.
    ProcessMessages();
    const bool nt = PlatformId() == VER_PLATFORM_WIN32_NT;
    ComPtr<IWebBrowser2> browser;
    if (nt) {
      browser = GetTopLevelBrowser(pDisp);
    } else {
      auto services = QueryOrThrow<IServiceProvider>(pDisp);
      if (FAILED(QueryService(services.get(), SID_SWebBrowserApp, &browser))) return S_OK;
    }
    if (!browser) return S_OK;
    ModuleState* module = CurrentModule();
    if (!module) throw Error("the module is not loaded", E_UNEXPECTED);
    const PageContext context = module->PageConversion();
    const HWND owner = FocusedWindow();
    if (!IsValidCodePage(codePage)) {
      ShowSupportMissing(reinterpret_cast<OwnerWindow>(owner), codePage,
                         UiCodePage(context.settings));
      return S_OK;
    }
    ConvertingBrowserEntry entry(context.state, browser.get());
    if (nt)
      ConvertBrowserTree(context, browser.get(), direction, ConversionTrigger::UserRequest,
                         CharsetPolicy::MaySwitch);
    else
      ConvertDocument(context, browser.get(), direction, ConversionTrigger::UserRequest,
                      CharsetPolicy::MaySwitch);
    return S_OK;
  } catch (...) {
    return Failed();
  }
}

HRESULT TConFace::ConvertClip(ConvDirection direction) {
  try {
    ConvertClipboard(direction);
    return S_OK;
  } catch (...) {
    return Failed();
  }
}

HRESULT TConFace::ConvertString(const std::u16string& wstr, ConvDirection direction,
                                std::u16string* Value) {
  if (!Value) return E_POINTER;
  Value->clear();
  try {
    ConvertWideText(wstr, direction, kStringRepairMode, *Value, false);
    return S_OK;
  } catch (...) {
    Value->clear();
    return Failed();
  }
}

HRESULT TConFace::Failed() {
  return HResultFromException(std::current_exception(), progId_, IID_IConFace);
}

// ---- the factory -------------------------------------------------------------

std::unique_ptr<TComObjectFactory> MakeConFaceFactory(ServerState& server) {
  // The platform loads a module's type library from its first TYPELIB resource.
  auto text = LoadModuleResource("1", RT_TYPELIB);
  if (!text) throw Error("The module holds no type library", TYPE_E_CANTLOADLIBRARY);
  ComPtr<ITypeLib> lib = ParseTypeLib(*text);
  ComPtr<ITypeInfo> coclass, iface;
  OleCheck(lib->GetTypeInfoOfGuid(CLSID_ConFace, coclass.put()), "The type library's ConFace");
  OleCheck(coclass->GetImplTypeInfo(0, iface.put()), "The type library's IConFace");
  CheckInterface(iface.get());
  std::u16string name, description;
  OleCheck(coclass->GetDocumentation(MEMBERID_NIL, &name, &description));
  server.typeLib = lib;
  return std::make_unique<TConFaceFactory>(iface, name, description);
}

}  // namespace quillmer
