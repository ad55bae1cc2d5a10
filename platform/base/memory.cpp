#include "platform/base/memory.h"

#include <sys/mman.h>

#include <cstdint>

namespace quillmer {

namespace {
constexpr std::size_t kHugePage = std::size_t{2} << 20;
}

void AdviseHugePages(void* p, std::size_t n) {
#ifdef MADV_HUGEPAGE
  const auto begin = reinterpret_cast<std::uintptr_t>(p);
  const std::uintptr_t first = (begin + kHugePage - 1) & ~(kHugePage - 1);
  const std::uintptr_t last = (begin + n) & ~(kHugePage - 1);
  if (last > first) ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#else
  (void)p;
  (void)n;
#endif
}

void ReserveLarge(std::string& s, std::size_t n) {
  if (n <= s.capacity()) return;
  s.reserve(n);
  if (n >= kHugePage) AdviseHugePages(s.data(), s.capacity());
}

}  // namespace quillmer
