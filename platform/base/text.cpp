#include "platform/base/text.h"

#include <unicode/ustring.h>

namespace quillmer {

std::string ToUtf8(std::u16string_view text) {
  std::string out(text.size() * 3, '\0');
  int32_t n = 0;
  UErrorCode err = U_ZERO_ERROR;
  u_strToUTF8WithSub(out.data(), static_cast<int32_t>(out.size()), &n,
                     reinterpret_cast<const UChar*>(text.data()), static_cast<int32_t>(text.size()),
                     0xFFFD, nullptr, &err);
  out.resize(U_FAILURE(err) ? 0 : static_cast<size_t>(n));
  return out;
}

std::u16string FromUtf8(std::string_view text) {
  std::u16string out(text.size(), u'\0');
  int32_t n = 0;
  UErrorCode err = U_ZERO_ERROR;
  u_strFromUTF8WithSub(reinterpret_cast<UChar*>(out.data()), static_cast<int32_t>(out.size()), &n,
                       text.data(), static_cast<int32_t>(text.size()), 0xFFFD, nullptr, &err);
  out.resize(U_FAILURE(err) ? 0 : static_cast<size_t>(n));
  return out;
}

}  // namespace quillmer
