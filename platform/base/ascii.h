// Runs of ASCII in UTF-16 and byte text, found and copied several characters
// at a time: most text the converters meet is mostly ASCII, and the code pages
// and UTF-8 all leave it as it is.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quillmer {

// Whether a and b are the same text but for the case of ASCII letters.
inline bool EqualNoCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char16_t x = a[i], y = b[i];
    if (x >= u'A' && x <= u'Z') x = static_cast<char16_t>(x + 32);
    if (y >= u'A' && y <= u'Z') y = static_cast<char16_t>(y + 32);
    if (x != y) return false;
  }
  return true;
}

// The number of leading units of p[0..n) below 0x80 and not equal to `stop`.
inline std::size_t AsciiUnits(const char16_t* p, std::size_t n, char16_t stop) {
  std::size_t i = 0;
#if defined(__SSE2__)
  const __m128i high = _mm_set1_epi16(static_cast<short>(0xFF80));
  const __m128i zero = _mm_setzero_si128();
  const __m128i s = _mm_set1_epi16(static_cast<short>(stop));
  for (; i + 8 <= n; i += 8) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
    __m128i ok =
        _mm_andnot_si128(_mm_cmpeq_epi16(v, s), _mm_cmpeq_epi16(_mm_and_si128(v, high), zero));
    int mask = _mm_movemask_epi8(ok);
    if (mask != 0xFFFF) return i + static_cast<std::size_t>(__builtin_ctz(~mask)) / 2;
  }
#endif
  while (i < n && p[i] < 0x80 && p[i] != stop) ++i;
  return i;
}

// The number of leading bytes of p[0..n) below 0x80.
inline std::size_t AsciiBytes(const unsigned char* p, std::size_t n) {
  std::size_t i = 0;
#if defined(__SSE2__)
  for (; i + 16 <= n; i += 16) {
    int mask = _mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i)));
    if (mask) return i + static_cast<std::size_t>(__builtin_ctz(mask));
  }
#endif
  while (i < n && p[i] < 0x80) ++i;
  return i;
}

// The number of leading bytes of p[0..n) below 0x81 and not among the count
// bytes of stop (count at most 4).
inline std::size_t PlainBytes(const unsigned char* p, std::size_t n, const unsigned char* stop,
                              std::size_t count) {
  std::size_t i = 0;
#if defined(__SSE2__)
  __m128i s[4];
  for (std::size_t j = 0; j < 4; ++j)
    s[j] = _mm_set1_epi8(static_cast<char>(j < count ? stop[j] : 0x80));
  const __m128i zero = _mm_setzero_si128();
  const __m128i x80 = _mm_set1_epi8(static_cast<char>(0x80));
  for (; i + 16 <= n; i += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
    // 0x81 and above are the negative bytes but 0x80.
    __m128i hit = _mm_andnot_si128(_mm_cmpeq_epi8(v, x80), _mm_cmplt_epi8(v, zero));
    for (std::size_t j = 0; j < count; ++j) hit = _mm_or_si128(hit, _mm_cmpeq_epi8(v, s[j]));
    if (int mask = _mm_movemask_epi8(hit)) return i + static_cast<std::size_t>(__builtin_ctz(mask));
  }
#endif
  for (; i < n && p[i] < 0x81; ++i) {
    bool hit = false;
    for (std::size_t j = 0; j < count; ++j) hit |= p[i] == stop[j];
    if (hit) break;
  }
  return i;
}

// Finds runs of ASCII units that are none of a few given units (at most 8),
// eight units at a time; made once for many runs.
class PlainUnitScanner {
 public:
  static constexpr std::size_t kMost = 8;
  PlainUnitScanner() = default;
  PlainUnitScanner(const char16_t* stop, std::size_t count) : count_(count < kMost ? count : kMost) {
    for (std::size_t j = 0; j < count_; ++j) stop_[j] = stop[j];
#if defined(__SSE2__)
    // Unused slots hold 0x80, which is no ASCII unit anyway.
    for (std::size_t j = 0; j < kMost; ++j)
      wide_[j] = _mm_set1_epi16(static_cast<short>(j < count_ ? stop[j] : 0x80));
#endif
  }

  // The number of leading units of p[0..n) below 0x80 and not among the stops.
  std::size_t Run(const char16_t* p, std::size_t n) const {
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128i high = _mm_set1_epi16(static_cast<short>(0xFF80));
    const __m128i zero = _mm_setzero_si128();
    for (; i + 8 <= n; i += 8) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
      __m128i ascii = _mm_cmpeq_epi16(_mm_and_si128(v, high), zero);
      for (std::size_t j = 0; j < kMost; ++j)
        ascii = _mm_andnot_si128(_mm_cmpeq_epi16(v, wide_[j]), ascii);
      const int mask = _mm_movemask_epi8(ascii);
      if (mask != 0xFFFF) return i + static_cast<std::size_t>(__builtin_ctz(~mask)) / 2;
    }
#endif
    for (; i < n && p[i] < 0x80; ++i)
      for (std::size_t j = 0; j < count_; ++j)
        if (p[i] == stop_[j]) return i;
    return i;
  }

 private:
  std::size_t count_ = 0;
  char16_t stop_[kMost] = {};
#if defined(__SSE2__)
  __m128i wide_[kMost];
#endif
};

// The same over bytes: runs of bytes below 0x80 that are none of a few given
// bytes (at most 8), sixteen bytes at a time.
class PlainByteScanner {
 public:
  static constexpr std::size_t kMost = 8;
  PlainByteScanner() = default;
  PlainByteScanner(const unsigned char* stop, std::size_t count)
      : count_(count < kMost ? count : kMost) {
    for (std::size_t j = 0; j < count_; ++j) stop_[j] = stop[j];
#if defined(__SSE2__)
    // Unused slots hold 0x80, which the high bit marks anyway.
    for (std::size_t j = 0; j < kMost; ++j)
      wide_[j] = _mm_set1_epi8(static_cast<char>(j < count_ ? stop[j] : 0x80));
#endif
  }

  // The number of leading bytes of p[0..n) below 0x80 and not among the stops.
  std::size_t Run(const unsigned char* p, std::size_t n) const {
    std::size_t i = 0;
#if defined(__SSE2__)
    for (; i + 16 <= n; i += 16) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
      __m128i hit = v;  // the high bit marks bytes of 0x80 and above
      for (std::size_t j = 0; j < kMost; ++j) hit = _mm_or_si128(hit, _mm_cmpeq_epi8(v, wide_[j]));
      if (const int mask = _mm_movemask_epi8(hit))
        return i + static_cast<std::size_t>(__builtin_ctz(mask));
    }
#endif
    for (; i < n && p[i] < 0x80; ++i)
      for (std::size_t j = 0; j < count_; ++j)
        if (p[i] == stop_[j]) return i;
    return i;
  }

 private:
  std::size_t count_ = 0;
  unsigned char stop_[kMost] = {};
#if defined(__SSE2__)
  __m128i wide_[kMost];
#endif
};

// Copies n units, each below 0x100, as bytes.
inline void NarrowUnits(const char16_t* from, std::size_t n, char* to) {
  std::size_t i = 0;
#if defined(__SSE2__)
  for (; i + 16 <= n; i += 16) {
    __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i));
    __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i + 8));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to + i), _mm_packus_epi16(a, b));
  }
#endif
  for (; i < n; ++i) to[i] = static_cast<char>(from[i]);
}

// Copies n bytes as units.
inline void WidenBytes(const unsigned char* from, std::size_t n, char16_t* to) {
  std::size_t i = 0;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  for (; i + 16 <= n; i += 16) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to + i), _mm_unpacklo_epi8(v, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to + i + 8), _mm_unpackhi_epi8(v, zero));
  }
#endif
  for (; i < n; ++i) to[i] = from[i];
}

// The position of the first unit equal to u in p[0..n), or n.
inline std::size_t FindUnit(const char16_t* p, std::size_t n, char16_t u) {
  std::size_t i = 0;
#if defined(__SSE2__)
  const __m128i s = _mm_set1_epi16(static_cast<short>(u));
  for (; i + 8 <= n; i += 8) {
    int mask = _mm_movemask_epi8(
        _mm_cmpeq_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i)), s));
    if (mask) return i + static_cast<std::size_t>(__builtin_ctz(mask)) / 2;
  }
#endif
  while (i < n && p[i] != u) ++i;
  return i;
}

// How many bytes of text are c.
inline std::size_t CountByte(std::string_view text, char c) {
  const char* p = text.data();
  const std::size_t n = text.size();
  std::size_t i = 0, count = 0;
#if defined(__SSE2__)
  // Sixteen byte-wide counters, summed before any of them can overflow.
  const __m128i s = _mm_set1_epi8(c);
  const __m128i zero = _mm_setzero_si128();
  while (i + 16 <= n) {
    __m128i counters = zero;
    for (int k = 0; k < 255 && i + 16 <= n; ++k, i += 16)
      counters = _mm_sub_epi8(
          counters, _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i)), s));
    const __m128i sums = _mm_sad_epu8(counters, zero);
    count += static_cast<std::size_t>(_mm_cvtsi128_si32(sums)) +
             static_cast<std::size_t>(_mm_extract_epi16(sums, 4));
  }
#endif
  for (; i < n; ++i) count += p[i] == c;
  return count;
}

// The position of the n-th byte c (n from 1) of text at or after from, or
// text.size() when there are fewer.
inline std::size_t FindNthByte(std::string_view text, std::size_t from, char c, std::size_t n) {
  const char* p = text.data();
  const std::size_t size = text.size();
  std::size_t i = from;
#if defined(__SSE2__)
  const __m128i s = _mm_set1_epi8(c);
  for (; i + 16 <= size; i += 16) {
    unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(
        _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i)), s)));
    const auto found = static_cast<std::size_t>(__builtin_popcount(mask));
    if (found < n) {
      n -= found;
      continue;
    }
    for (; --n; mask &= mask - 1) {
    }
    return i + static_cast<std::size_t>(__builtin_ctz(mask));
  }
#endif
  for (; i < size; ++i)
    if (p[i] == c && --n == 0) return i;
  return size;
}

// Calls fn(i) for every position i of byte c in text, in order.
template <typename Fn>
void ForEachByte(std::string_view text, char c, Fn&& fn) {
  const char* p = text.data();
  const std::size_t n = text.size();
  std::size_t i = 0;
#if defined(__SSE2__)
  const __m128i s = _mm_set1_epi8(c);
  for (; i + 16 <= n; i += 16) {
    unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(
        _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i)), s)));
    for (; mask; mask &= mask - 1) fn(i + static_cast<std::size_t>(__builtin_ctz(mask)));
  }
#endif
  for (; i < n; ++i)
    if (p[i] == c) fn(i);
}

}  // namespace quillmer
