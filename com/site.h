// IObjectWithSite: how a browser hands its helper objects and bands the site
// they live in, and the base of the objects that take one.
#pragma once

#include "com/server.h"
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

// An object of the server that a browser gives a site: keeps the site,
// hands it back, and reports error information for its interfaces. More
// interfaces go in Extra.
template <class... Extra>
class ObjectWithSite : public ComObject<IObjectWithSite, ISupportErrorInfo, Extra...>,
                       private ServerCounted {
 public:
  HRESULT SetSite(IUnknown* site) override {
    site_ = site;
    return S_OK;
  }

  HRESULT GetSite(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!site_) return E_FAIL;
    return site_->QueryInterface(riid, out);
  }

  HRESULT InterfaceSupportsErrorInfo(REFIID riid) override {
    return SupportsErrorInfo(this->Identity(), riid);
  }

 protected:
  IUnknown* Site() const { return site_.get(); }

 private:
  ComPtr<IUnknown> site_;
};

}  // namespace quillmer
