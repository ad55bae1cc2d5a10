// Fault injection for tests: make any call of the object model fail and any
// interface be refused, everywhere or on one object only.
//
// Calls are named "Interface::method" ("IHTMLDocument2::get_body",
// "IWebBrowser2::PutProperty", "IEnumUnknown::Next"); interfaces by their
// name ("IHTMLDocument3", "IOleContainer"). The objects of platform/browser
// and the helpers of platform/com check these before doing anything.
#pragma once

#include <optional>
#include <string_view>

#include "platform/com/unknown.h"

namespace quillmer {

// From the (after + 1)-th call on, method returns hr without doing anything.
// A success code (S_OK) instead makes the call answer "nothing": its
// out-parameters are emptied (null interface, empty string, VT_EMPTY) and it
// returns S_OK. on limits the fault to one object (any of its interfaces).
void InjectFault(std::string_view method, HRESULT hr, IUnknown* on = nullptr, unsigned after = 0);

// QueryInterface for the interface fails with E_NOINTERFACE. IUnknown cannot
// be hidden.
void HideInterface(std::string_view interfaceName, IUnknown* on = nullptr);

// Removes every fault and hidden interface.
void ClearFaults();

// Clears all faults when it goes (use one per test).
class FaultScope {
 public:
  FaultScope() { ClearFaults(); }
  ~FaultScope() { ClearFaults(); }
  FaultScope(const FaultScope&) = delete;
  FaultScope& operator=(const FaultScope&) = delete;
};

// For implementations. identity is the object's IUnknown. The fault for this
// call, counting it; nullopt when the call should go ahead.
std::optional<HRESULT> CallFault(const IUnknown* identity, std::string_view method);
bool InterfaceHidden(const IUnknown* identity, std::string_view interfaceName);
// Whether any fault or hidden interface is set (a fast path for the checks).
bool FaultsActive();

}  // namespace quillmer
