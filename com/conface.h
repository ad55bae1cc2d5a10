// ConFace, the automation object through which scripts and other programs
// convert a browser's page, the clipboard or a string.
#pragma once

#include <memory>
#include <span>
#include <string>

#include "com/server.h"
#include "engine/types.h"
#include "platform/com/typelib.h"

namespace quillmer {

inline constexpr CLSID CLSID_ConFace = MakeGuid(kConFaceClsid);
inline constexpr GUID LIBID_Quillmer = MakeGuid(kTypeLibId);

// The dual interface: these methods in v-table order after IDispatch's, and
// the same by DISPID 1 to 6 through Invoke.
struct IConFace : IDispatch {
  QM_INTERFACE(IConFace, IDispatch, "{8B6F0D21-3C95-4E7A-A2D4-61C9E5F08B72}")
  // Converts the page of the window (or site) object pDisp with its frames.
  virtual HRESULT ConToSim(IDispatch* pDisp) = 0;
  virtual HRESULT ConToTrad(IDispatch* pDisp) = 0;
  virtual HRESULT ClipToSim() = 0;
  virtual HRESULT ClipToTrad() = 0;
  virtual HRESULT Str2Sim(const std::u16string& wstr, std::u16string* Value) = 0;
  virtual HRESULT Str2Trad(const std::u16string& wstr, std::u16string* Value) = 0;
};

inline constexpr IID IID_IConFace = IConFace::iid;

class TConFace final : public ComObject<IConFace, ISupportErrorInfo>,
                       private DispatchTarget,
                       private ServerCounted {
 public:
  // typeInfo describes IConFace; progId is the source of error information.
  TConFace(ComPtr<ITypeInfo> typeInfo, std::u16string progId);

  HRESULT GetTypeInfoCount(UINT* count) override;
  HRESULT GetTypeInfo(UINT index, LCID lcid, ITypeInfo** out) override;
  HRESULT GetIDsOfNames(REFIID riid, const std::u16string* names, UINT count, LCID lcid,
                        DISPID* ids) override;
  HRESULT Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                 EXCEPINFO* excepInfo, UINT* argErr) override;

  HRESULT ConToSim(IDispatch* pDisp) override;
  HRESULT ConToTrad(IDispatch* pDisp) override;
  HRESULT ClipToSim() override;
  HRESULT ClipToTrad() override;
  HRESULT Str2Sim(const std::u16string& wstr, std::u16string* Value) override;
  HRESULT Str2Trad(const std::u16string& wstr, std::u16string* Value) override;

  HRESULT InterfaceSupportsErrorInfo(REFIID riid) override;

 private:
  HRESULT InvokeMember(DISPID memid, std::span<VARIANT> args, VARIANT* retval) override;
  HRESULT ConvertPage(IDispatch* pDisp, ConvDirection direction, UINT codePage);
  HRESULT ConvertClip(ConvDirection direction);
  HRESULT ConvertString(const std::u16string& wstr, ConvDirection direction, std::u16string* Value);
  // For a catch block: the error as HRESULT and error information.
  HRESULT Failed();

  ComPtr<ITypeInfo> typeInfo_;
  std::u16string progId_;
};

// The automation object's factory, bound to the type library: loads the
// module's TYPELIB resource, checks that it describes IConFace as built here,
// and makes it the server's library. Throws Error when it cannot.
std::unique_ptr<TComObjectFactory> MakeConFaceFactory(ServerState& server);

}  // namespace quillmer
