#include "platform/com/fault.h"

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

namespace quillmer {
namespace {

struct CallRule {
  std::string method;
  HRESULT hr;
  const IUnknown* on;  // null: every object
  unsigned after;
  unsigned seen = 0;
};

struct HideRule {
  std::string name;
  const IUnknown* on;
};

struct Faults {
  std::mutex mutex;
  std::vector<CallRule> calls;
  std::vector<HideRule> hidden;
};

Faults& State() {
  static Faults f;
  return f;
}

std::atomic<bool> g_active{false};

// The identity pointer, without keeping a reference: rules only compare it.
const IUnknown* IdentityPointer(IUnknown* on) {
  if (!on) return nullptr;
  return IdentityOf(on).get();
}

}  // namespace

void InjectFault(std::string_view method, HRESULT hr, IUnknown* on, unsigned after) {
  const IUnknown* id = IdentityPointer(on);
  auto& s = State();
  std::lock_guard lock(s.mutex);
  s.calls.push_back({std::string(method), hr, id, after});
  g_active = true;
}

void HideInterface(std::string_view interfaceName, IUnknown* on) {
  const IUnknown* id = IdentityPointer(on);
  auto& s = State();
  std::lock_guard lock(s.mutex);
  s.hidden.push_back({std::string(interfaceName), id});
  g_active = true;
}

void ClearFaults() {
  auto& s = State();
  std::lock_guard lock(s.mutex);
  s.calls.clear();
  s.hidden.clear();
  g_active = false;
}

bool FaultsActive() { return g_active.load(std::memory_order_relaxed); }

std::optional<HRESULT> CallFault(const IUnknown* identity, std::string_view method) {
  if (!FaultsActive()) return std::nullopt;
  auto& s = State();
  std::lock_guard lock(s.mutex);
  for (auto& r : s.calls) {
    if (r.method != method || (r.on && r.on != identity)) continue;
    if (r.seen++ < r.after) continue;
    return r.hr;
  }
  return std::nullopt;
}

bool InterfaceHidden(const IUnknown* identity, std::string_view interfaceName) {
  if (!FaultsActive() || interfaceName == "IUnknown") return false;
  auto& s = State();
  std::lock_guard lock(s.mutex);
  for (const auto& r : s.hidden)
    if (r.name == interfaceName && (!r.on || r.on == identity)) return true;
  return false;
}

}  // namespace quillmer
