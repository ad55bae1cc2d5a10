// IObjectWithSite: how a browser hands its helper objects and bands the site
// they live in.
#pragma once

#include "platform/com/com.h"

namespace quillmer {

struct IObjectWithSite : IUnknown {
  QM_INTERFACE(IObjectWithSite, IUnknown, "{FC4801A3-2BA9-11CF-A229-00AA003D7352}")
  // Keeps the site (null: lets it go).
  virtual HRESULT SetSite(IUnknown* site) = 0;
  // The site's riid; E_FAIL with *out null when there is no site.
  virtual HRESULT GetSite(REFIID riid, void** out) = 0;
};

inline constexpr IID IID_IObjectWithSite = IObjectWithSite::iid;

}  // namespace quillmer
