// Large buffers filled at once (a file's text, a conversion's result).
#pragma once

#include <cstddef>
#include <string>

namespace quillmer {

// Asks that the whole pages of [p, p + n) be backed by huge pages where the
// system allows it, so that filling megabytes costs a few page faults rather
// than one per 4 KB. Call before the memory is first touched; a hint only.
void AdviseHugePages(void* p, std::size_t n);

// Makes room for n bytes in s (whose contents are then unspecified beyond its
// size) and gives that memory the hint above.
void ReserveLarge(std::string& s, std::size_t n);

}  // namespace quillmer
