// URL wildcard patterns of the auto-zoom list: their canonical form, the form
// of a page URL that is compared, and what a pattern matches.
//
// Every string here is bytes in the system ANSI code page (GetACP); a
// double-byte character of that code page is one character throughout.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quillmer {

constexpr std::size_t kMaxUrlPatternLength = 48;
// More wildcard-preceded elements than this make a pattern invalid.
constexpr int kMaxStarredElements = 30;

struct AutoZoomEntry {
  std::int16_t Zoom = 100;
  std::string Pattern;  // canonical form, at most kMaxUrlPatternLength bytes
};
using AutoZoomList = std::vector<AutoZoomEntry>;

// Lower case, a scheme ("http://" when none, "file:///" for a drive letter),
// forward slashes and a wildcard path when the pattern names none.
// "about:blank" stays as it is. Never fails.
std::string NormalizeUrlPattern(std::string_view pattern);

// A Windows path becomes a file:/// URL, a bare host gets its final "/", and
// the whole URL is lowered. Never fails.
std::string NormalizePageUrl(std::string_view url);

// Whether the whole url is matched by the whole pattern: "*" any run, "?" one
// character, "[...]" / "[!...]" one character of (or not of) a set with x-y
// ranges; literals ignore the case of ASCII letters. Throws quillmer::Error
// "'%s' is an invalid mask at (%d)" for an invalid pattern, whatever the url.
bool MatchUrlPattern(std::string_view url, std::string_view pattern);

// The auto-zoom search: the page URL is normalised once, the list is searched
// from its last entry to its first, and the first match gives the zoom;
// defaultZoom when none matches. An invalid pattern matches nothing.
int FindAutoZoom(const AutoZoomList& list, std::string_view pageUrl, int defaultZoom);

// The url with its wildcard characters taken literally: "*", "?" and "["
// each become a set of that one character ("[?]").
std::string EscapeUrlWildcards(std::string_view url);

// The pattern offered when the user adds a page to the auto-zoom list: the
// lowered URL (a Windows path as a file:/// URL) up to its last "/", then
// "*"; a host without a path gets "/*", a URL without "/" is "*", and
// "about:blank" stays as it is. The URL's own "*", "?" and "[" are escaped.
std::string UrlToAutoZoomPattern(std::string_view url);

}  // namespace quillmer
