#include "platform/codepage.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <set>

namespace quillmer {
namespace {

struct CodePageName {
  UINT cp;
  const char* icu;
};

// The Windows code pages we offer and the ICU tables that match them.
constexpr CodePageName kCodePages[] = {
    {936, "windows-936-2000"},
    {950, "windows-950-2000"},
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
  if (l.starts_with("zh_CN") || l.starts_with("zh_SG")) return 936;
  if (l.starts_with("zh_TW") || l.starts_with("zh_HK")) return 950;
  return 1252;
}

std::u16string DecodeCodePage(UINT cp, std::string_view bytes) {
  std::u16string out;
  if (bytes.empty()) return out;
  // A code-page byte never yields more than two UTF-16 units.
  out.resize(bytes.size() * 2);
  int n = MultiByteToWideChar(cp, 0, bytes.data(), static_cast<int>(bytes.size()), out.data(),
                              static_cast<int>(out.size()));
  out.resize(static_cast<size_t>(n));
  return out;
}

std::string EncodeCodePage(UINT cp, std::u16string_view text) {
  std::string out;
  if (text.empty()) return out;
  auto& cache = Cache();
  std::lock_guard lock(cache.mutex);
  UConverter* conv = cache.Get(cp);
  if (!conv) return out;
  out.resize(MaxBytes(conv, text.size()));
  UErrorCode err = U_ZERO_ERROR;
  int32_t n = Encode(conv, text.data(), static_cast<int32_t>(text.size()), out.data(),
                     static_cast<int32_t>(out.size()), &err);
  out.resize(U_FAILURE(err) ? 0 : static_cast<size_t>(n));
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

}  // namespace quillmer
