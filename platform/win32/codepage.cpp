#include "platform/win32/codepage.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>

#include <cstdlib>
#include <cstring>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <set>

#include "platform/base/ascii.h"

namespace quillmer {
namespace {

struct CodePageName {
  UINT cp;
  const char* icu;
};

// The Windows code pages we offer and the ICU tables that match them.
constexpr CodePageName kCodePages[] = {
    {kCodePageGbk, "windows-936-2000"},
    {kCodePageBig5, "windows-950-2000"},
    {54936, "gb18030"},
    {1252, "windows-1252"},
    {65001, "UTF-8"},
    {20936, "ibm-1383"},
    {52936, "HZ"},
    {932, "windows-31j"},
    {949, "windows-949-2000"},
    {1250, "windows-1250"},
    {1251, "windows-1251"},
    {437, "ibm-437"},
    {28591, "ISO-8859-1"},
    {20127, "US-ASCII"},
};

// Undecodable input becomes "?", as the platform's converters do for the
// Chinese code pages.
void ToUnicodeQuestionMark(const void*, UConverterToUnicodeArgs* args, const char*, int32_t,
                           UConverterCallbackReason reason, UErrorCode* err) {
  if (reason > UCNV_IRREGULAR) return;
  *err = U_ZERO_ERROR;
  static const UChar kQ[] = {u'?'};
  ucnv_cbToUWriteUChars(args, kQ, 1, 0, err);
}

// A character the code page lacks becomes the substitute ("?"), always: ICU's
// own callback drops default-ignorable characters (soft hyphen, zero-width
// space, variation selectors) instead, which would lose them and shift every
// character after them in a conversion that restores characters by position.
void FromUnicodeSubstitute(const void*, UConverterFromUnicodeArgs* args, const UChar*, int32_t,
                           UChar32, UConverterCallbackReason reason, UErrorCode* err) {
  if (reason > UCNV_IRREGULAR) return;
  *err = U_ZERO_ERROR;
  ucnv_cbFromUWriteSub(args, 0, err);
}

class Converters {
 public:
  ~Converters() {
    for (auto& [cp, conv] : open_)
      if (conv) ucnv_close(conv);
  }

  // Returns the converter of cp, opened on first use; null when the code page
  // is unknown or marked missing. Callers hold the lock.
  UConverter* Get(UINT cp) {
    if (cp == CP_ACP) cp = GetACP();
    if (missing_.count(cp)) return nullptr;
    auto it = open_.find(cp);
    if (it != open_.end()) return it->second;
    UConverter* conv = nullptr;
    for (const auto& n : kCodePages) {
      if (n.cp != cp) continue;
      UErrorCode err = U_ZERO_ERROR;
      conv = ucnv_open(n.icu, &err);
      if (U_FAILURE(err)) {
        conv = nullptr;
        break;
      }
      err = U_ZERO_ERROR;
      ucnv_setSubstChars(conv, "?", 1, &err);
      err = U_ZERO_ERROR;
      ucnv_setToUCallBack(conv, ToUnicodeQuestionMark, nullptr, nullptr, nullptr, &err);
      err = U_ZERO_ERROR;
      ucnv_setFromUCallBack(conv, FromUnicodeSubstitute, nullptr, nullptr, nullptr, &err);
      break;
    }
    open_[cp] = conv;
    return conv;
  }

  std::mutex mutex;
  std::set<UINT> missing_;

 private:
  std::map<UINT, UConverter*> open_;
};

Converters& Cache() {
  static Converters cache;
  return cache;
}

// Lookup arrays over ICU's own answers for the two Chinese code pages, filled
// one character at a time as text meets them, so that the common case costs
// an array read instead of a converter call. Both are stateless double-byte
// converters: each character decodes from at most two bytes and encodes on
// its own, which is what makes per-character caching give ICU's exact result.
// Entries: 0 is "not asked yet"; kSlow marks an answer the arrays cannot hold
// (the whole string then goes to ICU).
constexpr std::uint32_t kKnown = 1u << 31;
constexpr std::uint32_t kSlow = 1u << 30;
constexpr std::uint32_t kLead = 1u << 29;  // single: the byte starts a pair
constexpr std::uint32_t kBoth = 1u << 28;  // pair: both bytes form one character
constexpr int kCountShift = 16;            // units (decode) or bytes (encode)

struct DbcsTables {
  std::uint32_t encode[65536];  // unit -> bytes, lead byte in bits 8-15 of two
  std::uint32_t single[256];    // a byte followed by more data
  std::uint32_t atEnd[256];     // a byte that ends the data
  std::uint32_t pair[65536];    // (lead << 8 | next) -> unit, kBoth
  // Whether ASCII decodes / encodes to itself: 0 not asked yet, 1 yes, -1 no.
  int asciiDecodes, asciiEncodes;
};

// In zero-filled static storage: pages are only touched once used.
DbcsTables g_dbcs[2];
bool g_cacheEnabled = true;

int CachedIndex(UINT cp) { return cp == kCodePageGbk ? 0 : cp == kCodePageBig5 ? 1 : -1; }

// The converter and arrays of cp when cp is one of the cached code pages and
// installed. Callers hold the lock.
DbcsTables* CachedTables(UINT cp, UConverter** conv) {
  if (!g_cacheEnabled) return nullptr;
  if (cp == CP_ACP) cp = GetACP();
  int i = CachedIndex(cp);
  if (i < 0) return nullptr;
  *conv = Cache().Get(cp);
  if (!*conv) return nullptr;
  return &g_dbcs[i];
}

std::uint32_t UnitsEntry(const UChar* units, int n, std::uint32_t flags) {
  if (n > 1) return kKnown | kSlow;
  return kKnown | flags | static_cast<std::uint32_t>(n) << kCountShift | (n ? units[0] : 0u);
}

std::uint32_t AskSingle(UConverter* conv, unsigned char b) {
  ucnv_resetToUnicode(conv);
  UChar out[4];
  UChar* target = out;
  const char* src = reinterpret_cast<const char*>(&b);
  UErrorCode err = U_ZERO_ERROR;
  ucnv_toUnicode(conv, &target, out + 4, &src, src + 1, nullptr, false, &err);
  if (U_FAILURE(err)) return kKnown | kSlow;
  if (ucnv_toUCountPending(conv, &err) > 0) return kKnown | kLead;
  return UnitsEntry(out, static_cast<int>(target - out), 0);
}

std::uint32_t AskAtEnd(UConverter* conv, unsigned char b) {
  ucnv_resetToUnicode(conv);
  UChar out[4];
  UErrorCode err = U_ZERO_ERROR;
  int32_t n = ucnv_toUChars(conv, out, 4, reinterpret_cast<const char*>(&b), 1, &err);
  if (U_FAILURE(err) && err != U_STRING_NOT_TERMINATED_WARNING) return kKnown | kSlow;
  return UnitsEntry(out, n, 0);
}

// A lead byte and the byte after it: either one character of both, or the
// lead on its own (an illegal pair), after which ICU reads the second byte
// afresh.
std::uint32_t AskPair(UConverter* conv, unsigned char lead, unsigned char next) {
  ucnv_resetToUnicode(conv);
  const char in[2] = {static_cast<char>(lead), static_cast<char>(next)};
  UChar out[8];
  int32_t offsets[8];
  UChar* target = out;
  const char* src = in;
  UErrorCode err = U_ZERO_ERROR;
  ucnv_toUnicode(conv, &target, out + 8, &src, in + 2, offsets, false, &err);
  if (U_FAILURE(err)) return kKnown | kSlow;
  int n = static_cast<int>(target - out), ofLead = 0;
  while (ofLead < n && offsets[ofLead] == 0) ++ofLead;
  bool pending = ucnv_toUCountPending(conv, &err) > 0;
  if (ofLead == n && !pending) return UnitsEntry(out, n, kBoth);
  if (ofLead == 0 && ofLead < n) return kKnown | kSlow;  // nothing for the lead itself
  return UnitsEntry(out, ofLead, 0);
}

std::uint32_t AskEncode(UConverter* conv, char16_t u) {
  ucnv_resetFromUnicode(conv);
  char out[8];
  UErrorCode err = U_ZERO_ERROR;
  int32_t n = ucnv_fromUChars(conv, out, 8, reinterpret_cast<const UChar*>(&u), 1, &err);
  if ((U_FAILURE(err) && err != U_STRING_NOT_TERMINATED_WARNING) || n < 0 || n > 2)
    return kKnown | kSlow;
  if (n == 0) return kKnown;
  std::uint32_t bytes = static_cast<unsigned char>(out[0]);
  if (n == 2) bytes = bytes << 8 | static_cast<unsigned char>(out[1]);
  return kKnown | static_cast<std::uint32_t>(n) << kCountShift | bytes;
}

inline std::uint32_t Single(DbcsTables& t, UConverter* conv, unsigned char b) {
  std::uint32_t e = t.single[b];
  return e ? e : (t.single[b] = AskSingle(conv, b));
}
inline std::uint32_t AtEnd(DbcsTables& t, UConverter* conv, unsigned char b) {
  std::uint32_t e = t.atEnd[b];
  return e ? e : (t.atEnd[b] = AskAtEnd(conv, b));
}
inline std::uint32_t Pair(DbcsTables& t, UConverter* conv, unsigned char lead, unsigned char next) {
  std::uint32_t& e = t.pair[static_cast<unsigned>(lead) << 8 | next];
  return e ? e : (e = AskPair(conv, lead, next));
}
inline std::uint32_t EncodeEntry(DbcsTables& t, UConverter* conv, char16_t u) {
  std::uint32_t& e = t.encode[u];
  return e ? e : (e = AskEncode(conv, u));
}

inline bool IsSurrogateUnit(char16_t u) { return u >= 0xD800 && u <= 0xDFFF; }
inline bool IsHighSurrogate(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
inline bool IsLowSurrogate(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

bool AsciiDecodesToItself(DbcsTables& t, UConverter* conv) {
  if (!t.asciiDecodes) {
    t.asciiDecodes = 1;
    for (unsigned b = 0; b < 0x80; ++b)
      if (Single(t, conv, static_cast<unsigned char>(b)) != (kKnown | 1u << kCountShift | b))
        t.asciiDecodes = -1;
  }
  return t.asciiDecodes > 0;
}

bool AsciiEncodesToItself(DbcsTables& t, UConverter* conv) {
  if (!t.asciiEncodes) {
    t.asciiEncodes = 1;
    for (char16_t u = 0; u < 0x80; ++u)
      if (EncodeEntry(t, conv, u) != (kKnown | 1u << kCountShift | u)) t.asciiEncodes = -1;
  }
  return t.asciiEncodes > 0;
}

// Decodes through the arrays; false when an answer needs ICU itself.
template <typename Take>
bool DecodeCachedTo(DbcsTables& t, UConverter* conv, std::string_view bytes, Take&& take) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const std::size_t n = bytes.size();
  char16_t buf[4096];
  std::size_t k = 0, i = 0;
  // Worth asking only for text long enough to hold runs.
  const bool asciiRuns = n >= 256 && AsciiDecodesToItself(t, conv);
  while (i < n) {
    if (k > sizeof buf / sizeof buf[0] - 2) {
      take(buf, k);
      k = 0;
    }
    if (asciiRuns && p[i] < 0x80) {
      const std::size_t run = AsciiBytes(p + i, std::min(n - i, std::size(buf) - k));
      WidenBytes(p + i, run, buf + k);
      k += run;
      i += run;
      continue;
    }
    std::uint32_t e = t.single[p[i]];
    if ((e & ~0xFFFFu) == (kKnown | 1u << kCountShift)) {  // a whole one-byte character
      buf[k++] = static_cast<char16_t>(e & 0xFFFF);
      ++i;
      continue;
    }
    if (e == (kKnown | kLead)) {
      // A run of two-byte characters, each a whole one giving one unit.
      const std::size_t room = std::size(buf) - k;
      std::size_t j = 0;
      for (; j < room && i + 1 < n; ++j) {
        const std::uint32_t pe = t.pair[static_cast<unsigned>(p[i]) << 8 | p[i + 1]];
        if ((pe & ~0xFFFFu) != (kKnown | kBoth | 1u << kCountShift)) break;
        buf[k++] = static_cast<char16_t>(pe & 0xFFFF);
        i += 2;
        if (i >= n || t.single[p[i]] != (kKnown | kLead)) {
          ++j;
          break;
        }
      }
      if (j > 0) continue;
    }
    if (!e) e = Single(t, conv, p[i]);
    std::size_t used = 1;
    if (e & kLead) {
      if (i + 1 < n) {
        e = Pair(t, conv, p[i], p[i + 1]);
        if (e & kBoth) used = 2;
      } else {
        e = AtEnd(t, conv, p[i]);
      }
    }
    if (e & kSlow) return false;
    if (e >> kCountShift & 3) buf[k++] = static_cast<char16_t>(e & 0xFFFF);
    i += used;
  }
  take(buf, k);
  return true;
}

bool DecodeCached(DbcsTables& t, UConverter* conv, std::string_view bytes, std::u16string& out) {
  out.reserve(bytes.size());
  return DecodeCachedTo(t, conv, bytes,
                        [&](const char16_t* units, std::size_t n) { out.append(units, n); });
}

// Encodes through the arrays; surrogates, which ICU reads as pairs, are
// handed to it one code point at a time. False when an answer needs ICU on
// the whole string.
bool EncodeCached(DbcsTables& t, UConverter* conv, std::u16string_view text, std::string& out) {
  out.reserve(text.size() + text.size() / 2);
  char buf[8192];
  std::size_t k = 0;
  const bool asciiRuns = text.size() >= 256 && AsciiEncodesToItself(t, conv);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (k > sizeof buf - 8) {
      out.append(buf, k);
      k = 0;
    }
    char16_t u = text[i];
    if (asciiRuns && u < 0x80) {
      // 0x80 stops nothing: every unit below it is in the run.
      const std::size_t run =
          AsciiUnits(text.data() + i, std::min(text.size() - i, sizeof buf - k), 0x80);
      NarrowUnits(text.data() + i, run, buf + k);
      k += run;
      i += run - 1;
      continue;
    }
    if (IsSurrogateUnit(u)) {
      std::size_t len =
          IsHighSurrogate(u) && i + 1 < text.size() && IsLowSurrogate(text[i + 1]) ? 2 : 1;
      ucnv_resetFromUnicode(conv);
      UErrorCode err = U_ZERO_ERROR;
      int32_t m = ucnv_fromUChars(conv, buf + k, 8, reinterpret_cast<const UChar*>(&text[i]),
                                  static_cast<int32_t>(len), &err);
      if (U_FAILURE(err) && err != U_STRING_NOT_TERMINATED_WARNING) return false;
      k += static_cast<std::size_t>(m);
      i += len - 1;
      continue;
    }
    std::uint32_t e = EncodeEntry(t, conv, u);
    if (e & kSlow) return false;
    switch (e >> kCountShift & 3) {
      case 2:
        buf[k++] = static_cast<char>(e >> 8 & 0xFF);
        [[fallthrough]];
      case 1:
        buf[k++] = static_cast<char>(e & 0xFF);
    }
  }
  out.append(buf, k);
  return true;
}

// Worst-case output sizes for a one-pass conversion.
size_t MaxBytes(UConverter* conv, size_t units) {
  return units * static_cast<size_t>(ucnv_getMaxCharSize(conv)) + 16;
}

int32_t Decode(UConverter* conv, const char* src, int32_t len, char16_t* dst, int32_t cap,
               UErrorCode* err) {
  ucnv_resetToUnicode(conv);
  return ucnv_toUChars(conv, reinterpret_cast<UChar*>(dst), cap, src, len, err);
}

int32_t Encode(UConverter* conv, const char16_t* src, int32_t len, char* dst, int32_t cap,
               UErrorCode* err) {
  ucnv_resetFromUnicode(conv);
  return ucnv_fromUChars(conv, dst, cap, reinterpret_cast<const UChar*>(src), len, err);
}

}  // namespace

int MultiByteToWideChar(UINT cp, DWORD, const char* src, int srcLen, char16_t* dst, int dstLen) {
  if (!src || dstLen < 0) return 0;
  if (srcLen < 0) srcLen = static_cast<int>(std::strlen(src)) + 1;
  if (srcLen == 0) return 0;
  auto& cache = Cache();
  std::lock_guard lock(cache.mutex);
  UConverter* conv = cache.Get(cp);
  if (!conv) return 0;
  UErrorCode err = U_ZERO_ERROR;
  int32_t n = Decode(conv, src, srcLen, dstLen ? dst : nullptr, dstLen, &err);
  if (err == U_BUFFER_OVERFLOW_ERROR) return dstLen == 0 ? n : 0;
  if (U_FAILURE(err) && err != U_STRING_NOT_TERMINATED_WARNING) return 0;
  return n;
}

int WideCharToMultiByte(UINT cp, DWORD, const char16_t* src, int srcLen, char* dst, int dstLen,
                        const char* defaultChar, bool* usedDefault) {
  if (usedDefault) *usedDefault = false;
  if (!src || dstLen < 0) return 0;
  if (srcLen < 0) srcLen = static_cast<int>(std::char_traits<char16_t>::length(src)) + 1;
  if (srcLen == 0) return 0;
  auto& cache = Cache();
  std::lock_guard lock(cache.mutex);
  UConverter* conv = cache.Get(cp);
  if (!conv) return 0;
  UErrorCode err = U_ZERO_ERROR;
  if (defaultChar && *defaultChar) {
    ucnv_setSubstChars(conv, defaultChar, static_cast<int8_t>(std::strlen(defaultChar)), &err);
    err = U_ZERO_ERROR;
  }
  int32_t n = Encode(conv, src, srcLen, dstLen ? dst : nullptr, dstLen, &err);
  if (defaultChar && *defaultChar) {
    UErrorCode e2 = U_ZERO_ERROR;
    ucnv_setSubstChars(conv, "?", 1, &e2);
  }
  if (usedDefault) {
    // Round-trip check: only asked for by callers that want to know.
    std::u16string back(static_cast<size_t>(srcLen) * 2 + 4, u'\0');
    std::string bytes(MaxBytes(conv, static_cast<size_t>(srcLen)), '\0');
    UErrorCode e3 = U_ZERO_ERROR;
    int32_t nb = Encode(conv, src, srcLen, bytes.data(), static_cast<int32_t>(bytes.size()), &e3);
    int32_t nu =
        Decode(conv, bytes.data(), nb, back.data(), static_cast<int32_t>(back.size()), &e3);
    *usedDefault = std::u16string_view(back.data(), static_cast<size_t>(nu)) !=
                   std::u16string_view(src, static_cast<size_t>(srcLen));
  }
  if (err == U_BUFFER_OVERFLOW_ERROR) return dstLen == 0 ? n : 0;
  if (U_FAILURE(err) && err != U_STRING_NOT_TERMINATED_WARNING) return 0;
  return n;
}

bool IsValidCodePage(UINT cp) {
  if (cp == CP_ACP) return false;
  auto& cache = Cache();
  std::lock_guard lock(cache.mutex);
  return cache.Get(cp) != nullptr;
}

UINT GetACP() {
  if (const char* acp = std::getenv("QUILLMER_ACP"); acp && *acp) {
    char* end = nullptr;
    unsigned long v = std::strtoul(acp, &end, 10);
    if (end && *end == '\0' && v > 0 && v < 65536) return static_cast<UINT>(v);
  }
  const char* loc = nullptr;
  for (const char* var : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    loc = std::getenv(var);
    if (loc && *loc) break;
  }
  std::string_view l = loc ? loc : "";
  if (l.starts_with("zh_CN") || l.starts_with("zh_SG")) return kCodePageGbk;
  if (l.starts_with("zh_TW") || l.starts_with("zh_HK")) return kCodePageBig5;
  return 1252;
}

void DecodeCodePage(UINT cp, std::string_view bytes, std::u16string& out) {
  out.clear();
  if (bytes.empty()) return;
  {
    auto& cache = Cache();
    std::lock_guard lock(cache.mutex);
    UConverter* conv = nullptr;
    if (DbcsTables* t = CachedTables(cp, &conv)) {
      if (DecodeCached(*t, conv, bytes, out)) return;
      out.clear();
    }
  }
  // A code-page byte never yields more than two UTF-16 units.
  out.resize(bytes.size() * 2);
  int n = MultiByteToWideChar(cp, 0, bytes.data(), static_cast<int>(bytes.size()), out.data(),
                              static_cast<int>(out.size()));
  out.resize(static_cast<size_t>(n));
}

bool DecodeCodePageBlocks(UINT cp, std::string_view bytes,
                          void (*take)(void*, const char16_t*, std::size_t), void* context) {
  auto& cache = Cache();
  std::lock_guard lock(cache.mutex);
  UConverter* conv = nullptr;
  DbcsTables* t = CachedTables(cp, &conv);
  return t && DecodeCachedTo(*t, conv, bytes, [&](const char16_t* units, std::size_t n) {
           take(context, units, n);
         });
}

std::u16string DecodeCodePage(UINT cp, std::string_view bytes) {
  std::u16string out;
  DecodeCodePage(cp, bytes, out);
  return out;
}

void EncodeCodePage(UINT cp, std::u16string_view text, std::string& out) {
  out.clear();
  if (text.empty()) return;
  auto& cache = Cache();
  std::lock_guard lock(cache.mutex);
  UConverter* conv = nullptr;
  if (DbcsTables* t = CachedTables(cp, &conv)) {
    if (EncodeCached(*t, conv, text, out)) return;
    out.clear();
  }
  conv = cache.Get(cp);
  if (!conv) return;
  out.resize(MaxBytes(conv, text.size()));
  UErrorCode err = U_ZERO_ERROR;
  int32_t n = Encode(conv, text.data(), static_cast<int32_t>(text.size()), out.data(),
                     static_cast<int32_t>(out.size()), &err);
  out.resize(U_FAILURE(err) ? 0 : static_cast<size_t>(n));
}

std::string EncodeCodePage(UINT cp, std::u16string_view text) {
  std::string out;
  EncodeCodePage(cp, text, out);
  return out;
}

std::optional<std::string> EncodeCodePageExactly(UINT cp, std::u16string_view text) {
  if (text.empty()) return std::string();
  const int n = WideCharToMultiByte(cp, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                    nullptr, nullptr);
  if (n <= 0) return std::nullopt;
  std::string out(static_cast<std::size_t>(n), '\0');
  bool usedDefault = false;
  WideCharToMultiByte(cp, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr,
                      &usedDefault);
  if (usedDefault) return std::nullopt;
  return out;
}

void SetCodePageInstalled(UINT cp, bool installed) {
  auto& cache = Cache();
  std::lock_guard lock(cache.mutex);
  if (installed)
    cache.missing_.erase(cp);
  else
    cache.missing_.insert(cp);
}

void ResetCodePages() {
  auto& cache = Cache();
  std::lock_guard lock(cache.mutex);
  cache.missing_.clear();
}

int EncodeUnitCached(UINT cp, char16_t u, unsigned char out[2]) {
  if (IsSurrogateUnit(u)) return -1;
  auto& cache = Cache();
  std::lock_guard lock(cache.mutex);
  UConverter* conv = nullptr;
  DbcsTables* t = CachedTables(cp, &conv);
  if (!t) return -1;
  std::uint32_t e = EncodeEntry(*t, conv, u);
  if (e & kSlow) return -1;
  const int n = static_cast<int>(e >> kCountShift & 3);
  if (n == 0) return 0;
  if (n == 2) {
    out[0] = static_cast<unsigned char>(e >> 8 & 0xFF);
    out[1] = static_cast<unsigned char>(e & 0xFF);
    return 2;
  }
  out[0] = static_cast<unsigned char>(e & 0xFF);
  return 1;
}

bool DecodeCharCached(UINT cp, const unsigned char* bytes, std::size_t n, char16_t* unit) {
  if (n < 1 || n > 2) return false;
  auto& cache = Cache();
  std::lock_guard lock(cache.mutex);
  UConverter* conv = nullptr;
  DbcsTables* t = CachedTables(cp, &conv);
  if (!t) return false;
  std::uint32_t e = Single(*t, conv, bytes[0]);
  if (n == 2) {
    if (!(e & kLead)) return false;
    e = Pair(*t, conv, bytes[0], bytes[1]);
    if (!(e & kBoth)) return false;
  } else if (e & kLead) {
    return false;
  }
  if ((e & kSlow) || (e >> kCountShift & 3) != 1) return false;
  *unit = static_cast<char16_t>(e & 0xFFFF);
  return true;
}

bool HasCodePageCache(UINT cp) {
  auto& cache = Cache();
  std::lock_guard lock(cache.mutex);
  UConverter* conv = nullptr;
  return CachedTables(cp, &conv) != nullptr;
}

void SetCodePageCache(bool enabled) {
  auto& cache = Cache();
  std::lock_guard lock(cache.mutex);
  g_cacheEnabled = enabled;
}

}  // namespace quillmer
