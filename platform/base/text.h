// UTF-16 text to and from UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace quillmer {

std::string ToUtf8(std::u16string_view text);
std::u16string FromUtf8(std::string_view text);

}  // namespace quillmer
