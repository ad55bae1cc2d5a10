#include "page/url_pattern.h"

#include <unicode/uchar.h>

#include <algorithm>
#include <cstdio>

#include "platform/base/error.h"
#include "platform/win32/codepage.h"
#include "platform/win32/dialogs.h"

namespace quillmer {
namespace {

// How the system code page splits bytes into characters. Trail bytes of the
// double-byte code pages include "\", "[", "]" and the letters, so every scan
// below walks whole characters.
class AnsiChars {
 public:
  explicit AnsiChars(UINT cp) : cp_(cp) {
    switch (cp) {
      case 932:
        kind_ = kShiftJis;
        break;
      case kCodePageGbk:
      case 949:
      case kCodePageBig5:
      case 20936:
      case 54936:
        kind_ = kDoubleByte;
        break;
      case CP_UTF8:
        kind_ = kUtf8;
        break;
      default:
        kind_ = kSingleByte;
    }
  }

  UINT cp() const { return cp_; }

  // Length of the character at i (1 when it is cut off by the end).
  std::size_t Length(std::string_view s, std::size_t i) const {
    auto b = static_cast<unsigned char>(s[i]);
    if (b < 0x80) return 1;
    std::size_t len = 1;
    switch (kind_) {
      case kSingleByte:
        return 1;
      case kDoubleByte:
        len = b <= 0xFE ? 2 : 1;
        break;
      case kShiftJis:
        len = (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC) ? 2 : 1;
        break;
      case kUtf8:
        len = b >= 0xC2 && b <= 0xDF   ? 2
              : b >= 0xE0 && b <= 0xEF ? 3
              : b >= 0xF0 && b <= 0xF4 ? 4
                                       : 1;
        if (i + len > s.size()) return 1;
        for (std::size_t k = 1; k < len; ++k)
          if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return 1;
        return len;
    }
    return i + len <= s.size() ? len : 1;
  }

  // The character's bytes, first byte highest; ASCII letters in upper case.
  // Packing keeps the code page's order, which set ranges rely on.
  static std::uint32_t Code(std::string_view s, std::size_t i, std::size_t len) {
    auto b = static_cast<unsigned char>(s[i]);
    if (len == 1) return b >= 'a' && b <= 'z' ? b - 32u : b;
    std::uint32_t code = 0;
    for (std::size_t k = 0; k < len; ++k) code = code << 8 | static_cast<unsigned char>(s[i + k]);
    return code;
  }

 private:
  enum Kind { kSingleByte, kDoubleByte, kShiftJis, kUtf8 };
  UINT cp_;
  Kind kind_ = kSingleByte;
};

// One character lowered through Unicode, as the platform's ANSI lowering
// does; kept as it is when the lowered form does not survive the code page.
std::string LowerChar(UINT cp, std::string_view ch) {
  std::u16string wide = DecodeCodePage(cp, ch);
  if (wide.empty() || wide.size() > 2) return std::string(ch);
  UChar32 c;
  std::size_t i = 0;
  U16_NEXT(wide.data(), i, wide.size(), c);
  if (i != wide.size()) return std::string(ch);
  UChar32 lower = u_tolower(c);
  if (lower == c) return std::string(ch);
  std::u16string lowered;
  if (lower > 0xFFFF) {
    lowered += static_cast<char16_t>(U16_LEAD(lower));
    lowered += static_cast<char16_t>(U16_TRAIL(lower));
  } else {
    lowered += static_cast<char16_t>(lower);
  }
  std::string bytes = EncodeCodePage(cp, lowered);
  if (bytes.empty() || DecodeCodePage(cp, bytes) != lowered) return std::string(ch);
  return bytes;
}

std::string AnsiLower(std::string_view s, const AnsiChars& chars) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size();) {
    std::size_t len = chars.Length(s, i);
    auto b = static_cast<unsigned char>(s[i]);
    if (b < 0x80)
      out += static_cast<char>(b >= 'A' && b <= 'Z' ? b + 32 : b);
    else
      out += LowerChar(chars.cp(), s.substr(i, len));
    i += len;
  }
  return out;
}

void BackslashesToSlashes(std::string& s, const AnsiChars& chars) {
  for (std::size_t i = 0; i < s.size(); i += chars.Length(s, i))
    if (s[i] == '\\') s[i] = '/';
}

bool StartsWithLower(std::string_view s, std::string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    char c = s[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    if (c != prefix[i]) return false;
  }
  return true;
}

// A parsed pattern: one element per character to match, each marked when a
// "*" comes before it; the end of the pattern is the last element.
struct Mask {
  enum Kind : std::uint8_t { kLiteral, kAny, kSet, kEnd };
  struct Element {
    Kind kind;
    bool starred = false;
    bool negate = false;
    std::uint32_t code = 0;                      // kLiteral
    std::uint32_t rangeBegin = 0, rangeEnd = 0;  // kSet: into ranges
  };
  std::vector<Element> elements;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> ranges;

  bool InSet(const Element& e, std::uint32_t code) const {
    bool in = false;
    for (std::uint32_t r = e.rangeBegin; r < e.rangeEnd && !in; ++r)
      in = ranges[r].first <= code && code <= ranges[r].second;
    return in != e.negate;
  }
};

[[noreturn]] void InvalidMask(std::string_view pattern, std::size_t index, UINT cp) {
  // The message is UTF-8 like every other; the pattern is in the code page.
  std::string shown = ToUtf8(DecodeCodePage(cp, pattern));
  if (shown.empty() && !pattern.empty()) shown = std::string(pattern);
  char position[24];
  std::snprintf(position, sizeof position, "%zu", index + 1);
  throw Error("'" + shown + "' is an invalid mask at (" + position + ")", E_INVALIDARG);
}

Mask ParseMask(std::string_view p, const AnsiChars& chars) {
  Mask mask;
  bool starred = false;
  int starredCount = 0;
  auto add = [&](Mask::Element e, std::size_t at) {
    if (starred && ++starredCount > kMaxStarredElements) InvalidMask(p, at, chars.cp());
    e.starred = starred;
    starred = false;
    mask.elements.push_back(e);
  };
  const std::size_t n = p.size();
  std::size_t i = 0;
  while (i < n) {
    char c = p[i];
    if (c == '*') {
      starred = true;
      ++i;
    } else if (c == '?') {
      // "*?" is "*": the star already takes any character.
      if (!starred) add({Mask::kAny}, i);
      ++i;
    } else if (c == '[') {
      Mask::Element e{Mask::kSet};
      e.rangeBegin = static_cast<std::uint32_t>(mask.ranges.size());
      std::size_t j = i + 1;
      if (j < n && p[j] == '!') {
        e.negate = true;
        ++j;
      }
      bool haveLast = false;
      while (j < n && p[j] != ']') {
        std::size_t len = chars.Length(p, j);
        if (p[j] == '-' && j + 1 < n && p[j + 1] != ']') {
          // A range needs a character before it; "-" before "]" is itself.
          if (!haveLast) InvalidMask(p, j, chars.cp());
          std::size_t k = j + 1, klen = chars.Length(p, k);
          std::uint32_t to = AnsiChars::Code(p, k, klen);
          auto& last = mask.ranges.back();
          if (to > last.second) last.second = to;
          j = k + klen;
          continue;
        }
        if (p[j] == '-' && !haveLast) InvalidMask(p, j, chars.cp());
        std::uint32_t code = AnsiChars::Code(p, j, len);
        mask.ranges.emplace_back(code, code);
        haveLast = true;
        j += len;
      }
      if (j >= n) InvalidMask(p, n, chars.cp());
      e.rangeEnd = static_cast<std::uint32_t>(mask.ranges.size());
      if (e.rangeBegin == e.rangeEnd) InvalidMask(p, j, chars.cp());
      add(e, i);
      i = j + 1;
    } else {
      std::size_t len = chars.Length(p, i);
      Mask::Element e{Mask::kLiteral};
      e.code = AnsiChars::Code(p, i, len);
      add(e, i);
      i += len;
    }
  }
  add({Mask::kEnd}, n);
  return mask;
}

// Every element matches exactly one character, so the last "*" seen is the
// only one worth going back to: an earlier star could only hand characters
// to it. That gives the full backtracking's answer in O(url × pattern).
bool Matches(const Mask& mask, std::string_view url, const AnsiChars& chars) {
  const std::size_t n = url.size();
  constexpr std::size_t kNone = static_cast<std::size_t>(-1);
  std::size_t ei = 0, ti = 0, starElement = kNone, starText = 0;
  for (;;) {
    const Mask::Element& e = mask.elements[ei];
    if (e.starred) {
      starElement = ei;
      starText = ti;
    }
    if (e.kind == Mask::kEnd) {
      if (ti == n || e.starred) return true;
    } else if (ti < n) {
      std::size_t len = chars.Length(url, ti);
      bool ok = true;
      if (e.kind == Mask::kLiteral)
        ok = AnsiChars::Code(url, ti, len) == e.code;
      else if (e.kind == Mask::kSet)
        ok = mask.InSet(e, AnsiChars::Code(url, ti, len));
      if (ok) {
        ti += len;
        ++ei;
        continue;
      }
    }
    if (starElement == kNone || starText >= n) return false;
    starText += chars.Length(url, starText);
    ti = starText;
    ei = starElement;
  }
}

}  // namespace

std::string NormalizeUrlPattern(std::string_view pattern) {
  AnsiChars chars(GetACP());
  std::string s = AnsiLower(pattern, chars);
  if (s == "about:blank") return s;
  std::size_t colon = s.find(':');
  if (colon == std::string::npos)
    s.insert(0, "http://");
  else if (colon == 1)
    s.insert(0, "file:///");
  BackslashesToSlashes(s, chars);
  colon = s.find(':');
  std::string scheme = s.substr(0, colon + 1);
  std::string rest = s.substr(colon + 1);
  rest.erase(0, std::min(rest.find_first_not_of('/'), rest.size()));
  std::size_t slash = rest.rfind('/');
  if (rest.empty() || slash == rest.size() - 1)
    rest += '*';
  else if (slash == std::string::npos)
    rest += "/*";
  return scheme + (scheme == "file:" ? "///" : "//") + rest;
}

std::string NormalizePageUrl(std::string_view url) {
  AnsiChars chars(GetACP());
  std::string u(url);
  if (u.find(":\\") != std::string::npos) {
    BackslashesToSlashes(u, chars);
    // "file:///c:\x" already has its three slashes; only "file://" lacks one.
    if (!StartsWithLower(u, "file://"))
      u.insert(0, "file:///");
    else if (!StartsWithLower(u, "file:///"))
      u.replace(0, 7, "file:///");
  } else if (std::size_t slash = u.rfind('/');
             slash != std::string::npos && slash > 0 && u[slash - 1] == '/') {
    u += '/';
  }
  return AnsiLower(u, chars);
}

bool MatchUrlPattern(std::string_view url, std::string_view pattern) {
  AnsiChars chars(GetACP());
  Mask mask = ParseMask(pattern, chars);
  return Matches(mask, url, chars);
}

std::string EscapeUrlWildcards(std::string_view url) {
  AnsiChars chars(GetACP());
  std::string out;
  out.reserve(url.size());
  for (std::size_t i = 0; i < url.size();) {
    const std::size_t len = chars.Length(url, i);
    const char c = url[i];
    if (len == 1 && (c == '*' || c == '?' || c == '[')) {
      // A set of one character is the only way to say it literally.
      out += '[';
      out += c;
      out += ']';
    } else {
      out.append(url.substr(i, len));
    }
    i += len;
  }
  return out;
}

std::string UrlToAutoZoomPattern(std::string_view url) {
  AnsiChars chars(GetACP());
  std::string u = AnsiLower(url, chars);
  if (u.find(":\\") != std::string::npos) {
    BackslashesToSlashes(u, chars);
    // As for a page URL: "file:///c:\x" already has its three slashes.
    if (!StartsWithLower(u, "file://"))
      u.insert(0, "file:///");
    else if (!StartsWithLower(u, "file:///"))
      u.replace(0, 7, "file:///");
  }
  if (u == "about:blank") return u;
  const std::size_t slash = u.rfind('/');
  if (slash == std::string::npos) return "*";
  if (slash > 0 && u[slash - 1] == '/') return EscapeUrlWildcards(u) + "/*";
  return EscapeUrlWildcards(std::string_view(u).substr(0, slash + 1)) + "*";
}

int FindAutoZoom(const AutoZoomList& list, std::string_view pageUrl, int defaultZoom) {
  AnsiChars chars(GetACP());
  const std::string url = NormalizePageUrl(pageUrl);
  for (auto it = list.rbegin(); it != list.rend(); ++it) {
    try {
      if (MatchUrlPattern(url, AnsiLower(it->Pattern, chars))) return it->Zoom;
    } catch (const Error&) {
      // One broken entry (a hand-edited file, a cut escape) must not end
      // auto-zoom for every page: it matches nothing.
    }
  }
  return defaultZoom;
}

}  // namespace quillmer
