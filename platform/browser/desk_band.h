// The interfaces between a browser's band site and the bands it hosts: the
// band's window, docking, desk band information, keyboard input and
// persistence, with the platform's names and IIDs.
#pragma once

#include <cstdint>

#include "platform/com/unknown.h"
#include "platform/win32/window.h"

namespace quillmer {

struct POINTL {
  LONG x = 0;
  LONG y = 0;
};

struct RECT {
  LONG left = 0;
  LONG top = 0;
  LONG right = 0;
  LONG bottom = 0;
};

constexpr DWORD DBIM_MINSIZE = 0x0001;
constexpr DWORD DBIM_MAXSIZE = 0x0002;
constexpr DWORD DBIM_INTEGRAL = 0x0004;
constexpr DWORD DBIM_ACTUAL = 0x0008;
constexpr DWORD DBIM_TITLE = 0x0010;
constexpr DWORD DBIM_MODEFLAGS = 0x0020;
constexpr DWORD DBIM_BKCOLOR = 0x0040;
constexpr DWORD DBIMF_NORMAL = 0x0000;

struct DESKBANDINFO {
  DWORD dwMask = 0;
  POINTL ptMinSize;
  POINTL ptMaxSize;
  POINTL ptIntegral;
  POINTL ptActual;
  char16_t wszTitle[256] = {};
  DWORD dwModeFlags = 0;
  std::uint32_t crBkgnd = 0;
};

struct IOleWindow : IUnknown {
  QM_INTERFACE(IOleWindow, IUnknown, "{00000114-0000-0000-C000-000000000046}")
  virtual HRESULT GetWindow(HWND* window) = 0;
  virtual HRESULT ContextSensitiveHelp(bool enterMode) = 0;
};

struct IDockingWindow : IOleWindow {
  QM_INTERFACE(IDockingWindow, IOleWindow, "{012DD920-7B26-11D0-8CA9-00A0C92DBFE8}")
  virtual HRESULT ShowDW(bool show) = 0;
  virtual HRESULT CloseDW(DWORD reserved) = 0;
  virtual HRESULT ResizeBorderDW(const RECT* border, IUnknown* toolbarSite, bool reserved) = 0;
};

struct IDeskBand : IDockingWindow {
  QM_INTERFACE(IDeskBand, IDockingWindow, "{EB0FE172-1A3A-11D0-89B3-00A0C90A90AC}")
  virtual HRESULT GetBandInfo(DWORD bandId, DWORD viewMode, DESKBANDINFO* info) = 0;
};

struct IInputObject : IUnknown {
  QM_INTERFACE(IInputObject, IUnknown, "{68284FAA-6A48-11D0-8C78-00C04FD918B4}")
  virtual HRESULT UIActivateIO(bool activate, MSG* msg) = 0;
  virtual HRESULT HasFocusIO() = 0;
  virtual HRESULT TranslateAcceleratorIO(MSG* msg) = 0;
};

struct IInputObjectSite : IUnknown {
  QM_INTERFACE(IInputObjectSite, IUnknown, "{F1DB8392-7331-11D0-8C99-00A0C92DBFE8}")
  virtual HRESULT OnFocusChangeIS(IUnknown* object, bool setFocus) = 0;
};

// A stream is all the persistence calls take; the band reads and writes
// nothing, so nothing more of it is declared.
struct IStream : IUnknown {
  QM_INTERFACE(IStream, IUnknown, "{0000000C-0000-0000-C000-000000000046}")
};

struct IPersist : IUnknown {
  QM_INTERFACE(IPersist, IUnknown, "{0000010C-0000-0000-C000-000000000046}")
  virtual HRESULT GetClassID(GUID* clsid) = 0;
};

// IPersistStream's IID, which the band does not answer.
inline constexpr IID IID_IPersistStream = MakeGuid("{00000109-0000-0000-C000-000000000046}");

struct IPersistStreamInit : IPersist {
  QM_INTERFACE(IPersistStreamInit, IPersist, "{7FD52380-4E07-101B-AE2D-08002B2EC713}")
  virtual HRESULT IsDirty() = 0;
  virtual HRESULT Load(IStream* stream) = 0;
  virtual HRESULT Save(IStream* stream, bool clearDirty) = 0;
  virtual HRESULT GetSizeMax(std::uint64_t* size) = 0;
  virtual HRESULT InitNew() = 0;
};

}  // namespace quillmer
