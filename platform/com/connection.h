// Connection points: how an object sends events (a dispinterface such as
// DWebBrowserEvents2) to the sinks that advised it.
//
// ConnectionPoints is the implementation the objects of the model embed: one
// ConnectionPoint per outgoing interface, living and counted with its owner.
#pragma once

#include <map>
#include <memory>
#include <vector>

#include "platform/com/dispatch.h"
#include "platform/com/variant.h"

namespace quillmer {

struct IConnectionPointContainer;

struct IConnectionPoint : IUnknown {
  QM_INTERFACE(IConnectionPoint, IUnknown, "{B196B286-BAB4-101A-B69C-00AA00341D07}")
  virtual HRESULT GetConnectionInterface(IID* out) = 0;
  virtual HRESULT GetConnectionPointContainer(IConnectionPointContainer** out) = 0;
  // Connects sink, which is called through its IDispatch
  // (CONNECT_E_CANNOTCONNECT when it has none), and gives its cookie, never 0.
  virtual HRESULT Advise(IUnknown* sink, DWORD* cookie) = 0;
  // CONNECT_E_NOCONNECTION for a cookie that is not connected.
  virtual HRESULT Unadvise(DWORD cookie) = 0;
};

struct IConnectionPointContainer : IUnknown {
  QM_INTERFACE(IConnectionPointContainer, IUnknown, "{B196B284-BAB4-101A-B69C-00AA00341D07}")
  // CONNECT_E_NOCONNECTION (out null) for an interface the object does not
  // send.
  virtual HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** out) = 0;
};

inline constexpr IID IID_IConnectionPoint = IConnectionPoint::iid;
inline constexpr IID IID_IConnectionPointContainer = IConnectionPointContainer::iid;

// One outgoing interface of an object. References count on the owner, so the
// point lives exactly as long as the object that sends the events.
class ConnectionPoint final : public IConnectionPoint {
 public:
  ConnectionPoint(IConnectionPointContainer* owner, const IID& iid) : owner_(owner), iid_(iid) {}

  HRESULT QueryInterface(REFIID riid, void** out) override;
  ULONG AddRef() override;
  ULONG Release() override;
  HRESULT GetConnectionInterface(IID* out) override;
  HRESULT GetConnectionPointContainer(IConnectionPointContainer** out) override;
  HRESULT Advise(IUnknown* sink, DWORD* cookie) override;
  HRESULT Unadvise(DWORD cookie) override;

  const IID& iid() const { return iid_; }
  std::size_t SinkCount() const { return sinks_.size(); }
  // Invokes id (DISPATCH_METHOD) on every sink connected when the call starts,
  // in cookie order, with args in declared order; a sink that unadvises
  // meanwhile is skipped. Failures of sinks are ignored. Returns the number
  // of sinks called.
  int Fire(DISPID id, const std::vector<VARIANT>& args);
  void UnadviseAll() { sinks_.clear(); }

 private:
  IConnectionPointContainer* owner_;
  IID iid_;
  DWORD nextCookie_ = 1;
  std::map<DWORD, ComPtr<IDispatch>> sinks_;
};

// The points of one object, for its FindConnectionPoint.
class ConnectionPoints {
 public:
  ConnectionPoints(IConnectionPointContainer* owner, std::vector<IID> iids);
  HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** out);
  // Null when the object does not send iid.
  ConnectionPoint* Find(REFIID riid);
  int Fire(REFIID riid, DISPID id, const std::vector<VARIANT>& args);
  void UnadviseAll();

 private:
  std::vector<std::unique_ptr<ConnectionPoint>> points_;
};

// Advise through the object's container: FindConnectionPoint, then Advise.
HRESULT AtlAdvise(IUnknown* source, IUnknown* sink, REFIID riid, DWORD* cookie);
HRESULT AtlUnadvise(IUnknown* source, REFIID riid, DWORD cookie);

}  // namespace quillmer
