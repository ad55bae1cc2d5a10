// Type libraries: the description of a module's automation interfaces, kept
// as its TYPELIB resource, the type information that serves IDispatch from
// it, and the registry entries that the platform's RegisterTypeLib writes.
//
// There is no type-library compiler here, so the resource is text of our own,
// one statement a line (UTF-8; blank lines and lines starting with # are
// skipped). A library statement comes first; each interface or coclass
// statement opens an item that the attribute lines after it describe:
//
//   library Quillmer
//   uuid {5E2B9C40-7A1D-4F36-9C81-2D47B6A0E310}
//   version 1.0
//   lcid 0x0409
//   helpstring "Quillmer Library"
//   importlib stdole2.tlb
//
//   interface IConFace : IDispatch
//   uuid {...}
//   flags dual oleautomation
//   method 5 Str2Sim([in] BSTR wstr, [out, retval] BSTR* Value)
//
//   coclass ConFace
//   uuid {...}
//   flags creatable
//   default IConFace
//
// Parameter types: BSTR, long, short, double, VARIANT_BOOL, VARIANT,
// IDispatch*, IUnknown*; an [out, retval] parameter, always the last, has one
// more "*". Strings take \" and \\ escapes.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/com/com.h"

namespace quillmer {

constexpr HRESULT TYPE_E_REGISTRYACCESS = static_cast<HRESULT>(0x8002801Cu);
constexpr HRESULT TYPE_E_LIBNOTREGISTERED = static_cast<HRESULT>(0x8002801Du);
constexpr HRESULT TYPE_E_INVDATAREAD = static_cast<HRESULT>(0x80028018u);
constexpr HRESULT TYPE_E_CANTLOADLIBRARY = static_cast<HRESULT>(0x80029C4Au);

using INT = int;
constexpr DISPID MEMBERID_NIL = -1;

enum SYSKIND { SYS_WIN16 = 0, SYS_WIN32 = 1, SYS_MAC = 2, SYS_WIN64 = 3 };
enum TYPEKIND { TKIND_INTERFACE = 3, TKIND_DISPATCH = 4, TKIND_COCLASS = 5 };

constexpr WORD TYPEFLAG_FCANCREATE = 0x2;
constexpr WORD TYPEFLAG_FHIDDEN = 0x10;
constexpr WORD TYPEFLAG_FDUAL = 0x40;
constexpr WORD TYPEFLAG_FOLEAUTOMATION = 0x100;
constexpr WORD TYPEFLAG_FDISPATCHABLE = 0x1000;

constexpr WORD PARAMFLAG_FIN = 0x1;
constexpr WORD PARAMFLAG_FOUT = 0x2;
constexpr WORD PARAMFLAG_FRETVAL = 0x8;

struct TLIBATTR {
  GUID guid;
  LCID lcid = 0;
  SYSKIND syskind = SYS_WIN32;
  WORD wMajorVerNum = 0;
  WORD wMinorVerNum = 0;
  WORD wLibFlags = 0;
};

struct TYPEATTR {
  GUID guid;
  LCID lcid = 0;
  TYPEKIND typekind = TKIND_INTERFACE;
  WORD cFuncs = 0;
  WORD cImplTypes = 0;
  WORD wMajorVerNum = 0;
  WORD wMinorVerNum = 0;
  WORD wTypeFlags = 0;
};

struct ELEMDESC {
  std::u16string name;
  VARTYPE vt = VT_EMPTY;  // the value's type; an out parameter points at one
  WORD paramFlags = 0;
};

struct FUNCDESC {
  DISPID memid = 0;
  std::u16string name;
  std::vector<ELEMDESC> params;  // in declared order, the retval last
};

struct ITypeLib;

// The object that ITypeInfo::Invoke calls in place of the platform's v-table:
// the member's method with the arguments already converted to their declared
// types, in declared order, the retval left out (it goes to retval).
struct DispatchTarget {
  virtual HRESULT InvokeMember(DISPID memid, std::span<VARIANT> args, VARIANT* retval) = 0;

 protected:
  ~DispatchTarget() = default;
};

struct ITypeInfo : IUnknown {
  QM_INTERFACE(ITypeInfo, IUnknown, "{00020401-0000-0000-C000-000000000046}")
  virtual HRESULT GetTypeAttr(TYPEATTR* out) = 0;
  virtual HRESULT GetFuncDesc(UINT index, FUNCDESC* out) = 0;
  // Names compare without regard to case; DISP_E_UNKNOWNNAME (with
  // DISPID_UNKNOWN in the slots not found) when one is unknown.
  virtual HRESULT GetIDsOfNames(const std::u16string* names, UINT count, DISPID* ids) = 0;
  // MEMBERID_NIL: the type itself. Either out pointer may be null.
  virtual HRESULT GetDocumentation(DISPID memid, std::u16string* name,
                                   std::u16string* docString) = 0;
  // A coclass's implemented interfaces (index 0: the default one).
  virtual HRESULT GetImplTypeInfo(UINT index, ITypeInfo** out) = 0;
  virtual HRESULT GetContainingTypeLib(ITypeLib** out, UINT* index) = 0;
  // Checks the call against the member's description, converts the
  // arguments, calls target and hands back the retval. A failed call with
  // error information comes back as DISP_E_EXCEPTION with excepInfo filled;
  // without it, as the method's own code.
  virtual HRESULT Invoke(DispatchTarget* target, DISPID memid, WORD flags, DISPPARAMS* params,
                         VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr) = 0;
};

struct ITypeLib : IUnknown {
  QM_INTERFACE(ITypeLib, IUnknown, "{00020402-0000-0000-C000-000000000046}")
  virtual UINT GetTypeInfoCount() = 0;
  virtual HRESULT GetTypeInfo(UINT index, ITypeInfo** out) = 0;
  // TYPE_E_ELEMENTNOTFOUND when no item has the GUID.
  virtual HRESULT GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** out) = 0;
  virtual HRESULT GetLibAttr(TLIBATTR* out) = 0;
  // index -1: the library itself.
  virtual HRESULT GetDocumentation(INT index, std::u16string* name, std::u16string* docString) = 0;
};

inline constexpr IID IID_ITypeInfo = ITypeInfo::iid;
inline constexpr IID IID_ITypeLib = ITypeLib::iid;

// Reads a type library from its text. Throws Error (TYPE_E_INVDATAREAD) that
// names the line at fault.
ComPtr<ITypeLib> ParseTypeLib(std::string_view text);
// The same with the platform's contract: TYPE_E_INVDATAREAD, *out null.
HRESULT LoadTypeLibFromText(std::string_view text, ITypeLib** out);

// Writes, under HKEY_CLASSES_ROOT, "TypeLib\{LIBID}\<major>.<minor>" (the
// library's help string, or its name), its "FLAGS", "HELPDIR" and
// "<lcid>\win32" (fullPath) keys, and "Interface\{IID}" for each dual or
// automation interface, as the platform does. The paths are 8-bit text in
// the system ANSI code page, as the registry takes it. TYPE_E_REGISTRYACCESS
// when a key cannot be written.
HRESULT RegisterTypeLib(ITypeLib* lib, const std::string& fullPath, const std::string& helpDir);

// Removes what RegisterTypeLib wrote for that version: the interfaces that
// name the library, the version's key, and the library's key when no other
// version is left. TYPE_E_REGISTRYACCESS when the version is not registered
// for that locale and system.
HRESULT UnRegisterTypeLib(REFGUID libid, WORD major, WORD minor, LCID lcid, SYSKIND syskind);

}  // namespace quillmer
