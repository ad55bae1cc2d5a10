#include "platform/com/connection.h"

#include "platform/com/fault.h"

namespace quillmer {

HRESULT ConnectionPoint::QueryInterface(REFIID riid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (riid != IID_IUnknown && riid != IID_IConnectionPoint) return E_NOINTERFACE;
  if (riid == IID_IConnectionPoint && InterfaceHidden(this, "IConnectionPoint"))
    return E_NOINTERFACE;
  *out = static_cast<IConnectionPoint*>(this);
  AddRef();
  return S_OK;
}

ULONG ConnectionPoint::AddRef() { return owner_->AddRef(); }
ULONG ConnectionPoint::Release() { return owner_->Release(); }

HRESULT ConnectionPoint::GetConnectionInterface(IID* out) {
  if (!out) return E_POINTER;
  *out = iid_;
  return S_OK;
}

HRESULT ConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** out) {
  if (!out) return E_POINTER;
  *out = owner_;
  owner_->AddRef();
  return S_OK;
}

HRESULT ConnectionPoint::Advise(IUnknown* sink, DWORD* cookie) {
  if (cookie) *cookie = 0;
  if (!sink || !cookie) return E_POINTER;
  if (auto f = CallFault(this, "IConnectionPoint::Advise")) return FAILED(*f) ? *f : S_OK;
  // Events are dispinterfaces: every sink is called through its IDispatch.
  ComPtr<IDispatch> disp;
  if (FAILED(sink->QueryInterface(IID_IDispatch, disp.put_void()))) return CONNECT_E_CANNOTCONNECT;
  *cookie = nextCookie_++;
  if (nextCookie_ == 0) nextCookie_ = 1;
  sinks_[*cookie] = disp;
  return S_OK;
}

HRESULT ConnectionPoint::Unadvise(DWORD cookie) {
  if (auto f = CallFault(this, "IConnectionPoint::Unadvise")) return FAILED(*f) ? *f : S_OK;
  return sinks_.erase(cookie) ? S_OK : CONNECT_E_NOCONNECTION;
}

int ConnectionPoint::Fire(DISPID id, const std::vector<VARIANT>& args) {
  // A sink may unadvise itself or others while it runs; the list is taken
  // first and each sink is checked again before its call.
  std::vector<std::pair<DWORD, ComPtr<IDispatch>>> now(sinks_.begin(), sinks_.end());
  int called = 0;
  for (auto& [cookie, sink] : now) {
    if (!sinks_.count(cookie)) continue;
    InvokeDispatch(sink.get(), id, DISPATCH_METHOD, args);
    ++called;
  }
  return called;
}

ConnectionPoints::ConnectionPoints(IConnectionPointContainer* owner, std::vector<IID> iids) {
  for (const auto& iid : iids) points_.push_back(std::make_unique<ConnectionPoint>(owner, iid));
}

HRESULT ConnectionPoints::FindConnectionPoint(REFIID riid, IConnectionPoint** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  ConnectionPoint* p = Find(riid);
  if (!p) return CONNECT_E_NOCONNECTION;
  p->AddRef();
  *out = p;
  return S_OK;
}

ConnectionPoint* ConnectionPoints::Find(REFIID riid) {
  for (auto& p : points_)
    if (p->iid() == riid) return p.get();
  return nullptr;
}

int ConnectionPoints::Fire(REFIID riid, DISPID id, const std::vector<VARIANT>& args) {
  ConnectionPoint* p = Find(riid);
  return p ? p->Fire(id, args) : 0;
}

void ConnectionPoints::UnadviseAll() {
  for (auto& p : points_) p->UnadviseAll();
}

HRESULT AtlAdvise(IUnknown* source, IUnknown* sink, REFIID riid, DWORD* cookie) {
  if (!source || !cookie) return E_POINTER;
  ComPtr<IConnectionPointContainer> cpc;
  HRESULT hr = source->QueryInterface(IID_IConnectionPointContainer, cpc.put_void());
  if (FAILED(hr)) return hr;
  ComPtr<IConnectionPoint> cp;
  hr = cpc->FindConnectionPoint(riid, cp.put());
  if (FAILED(hr)) return hr;
  return cp->Advise(sink, cookie);
}

HRESULT AtlUnadvise(IUnknown* source, REFIID riid, DWORD cookie) {
  if (!source) return E_POINTER;
  ComPtr<IConnectionPointContainer> cpc;
  HRESULT hr = source->QueryInterface(IID_IConnectionPointContainer, cpc.put_void());
  if (FAILED(hr)) return hr;
  ComPtr<IConnectionPoint> cp;
  hr = cpc->FindConnectionPoint(riid, cp.put());
  if (FAILED(hr)) return hr;
  return cp->Unadvise(cookie);
}

}  // namespace quillmer
