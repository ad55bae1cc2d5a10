// MatchUrlPattern and the two normalisations on arbitrary patterns and URLs.
// Input: byte 0 picks the code page, byte 1 the pattern's length, then the
// pattern, then the URL. Besides not crashing, single-byte matches without
// sets must agree with a plain memoised matcher.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "page/url_pattern.h"
#include "platform/base/error.h"

namespace {

// "*" any run, "?" one byte unless it follows a star, literals without ASCII
// case; no sets.
bool PlainMatch(std::string_view url, std::string_view pattern) {
  std::string p;
  bool afterStar = false;
  for (char c : pattern) {
    if (c == '?' && afterStar) continue;
    afterStar = c == '*';
    if (c == '*' && !p.empty() && p.back() == '*') continue;
    p += c;
  }
  auto up = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; };
  const std::size_t n = url.size(), m = p.size();
  // can[j][i]: pattern from j matches url from i.
  std::vector<std::vector<char>> can(m + 1, std::vector<char>(n + 1, 0));
  can[m][n] = 1;
  for (std::size_t j = m; j-- > 0;) {
    for (std::size_t i = n + 1; i-- > 0;) {
      if (p[j] == '*')
        can[j][i] = can[j + 1][i] || (i < n && can[j][i + 1]);
      else if (i < n && (p[j] == '?' || up(p[j]) == up(url[i])))
        can[j][i] = can[j + 1][i + 1];
    }
  }
  return can[0][0];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  static const char* const kCodePages[] = {"1252", "936", "950", "65001"};
  setenv("QUILLMER_ACP", kCodePages[data[0] & 3], 1);
  std::size_t patternLength = std::min<std::size_t>(data[1], size - 2);
  std::string_view pattern(reinterpret_cast<const char*>(data) + 2, patternLength);
  std::string_view url(reinterpret_cast<const char*>(data) + 2 + patternLength,
                       size - 2 - patternLength);

  quillmer::NormalizeUrlPattern(pattern);
  quillmer::NormalizePageUrl(url);
  bool matched;
  try {
    matched = quillmer::MatchUrlPattern(url, pattern);
  } catch (const quillmer::Error&) {
    return 0;
  }
  if (!quillmer::MatchUrlPattern(url, "*")) std::abort();
  if ((data[0] & 3) == 0 && pattern.find('[') == std::string_view::npos &&
      matched != PlainMatch(url, pattern))
    std::abort();
  return 0;
}
