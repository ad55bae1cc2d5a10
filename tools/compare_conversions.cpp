// Compares conversions of one text, line by line and character by character:
// how many Han characters of the source our converter and each reference turn
// into the same character. Only characters that the source code page holds and
// whose reference form the target code page holds are counted, since the
// others cannot come out of Big5 or GBK text at all.
//
//   compare_conversions (--to-trad|--to-simp) [--min PERCENT] [--title TEXT]
//                       [--held-lines] SOURCE OURS NAME=REFERENCE...
//
// --held-lines leaves out every line with a character the source code page
// cannot write (for word lists: a word that cannot occur whole in GBK or Big5
// text). All files are UTF-8. The most frequent disagreements are listed for the first
// reference, and exit status 1 means its share is below PERCENT.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/win32/codepage.h"

namespace {

using namespace quillmer;
using U32 = std::u32string;

U32 DecodeUtf8(std::string_view s) {
  U32 out;
  for (std::size_t i = 0; i < s.size();) {
    auto b = static_cast<unsigned char>(s[i]);
    int n = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
    if (n == 0 || i + n > s.size()) {
      out.push_back(0xFFFD);  // broken bytes count as one unknown character
      ++i;
      continue;
    }
    char32_t c = n == 1 ? b : b & (0x7F >> n);
    for (int k = 1; k < n; ++k) c = c << 6 | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    out.push_back(c);
    i += n;
  }
  return out;
}

std::string EncodeUtf8(const U32& s) {
  std::string out;
  for (char32_t c : s) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | c >> 6);
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | c >> 12);
      out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | c >> 18);
      out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
      out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::vector<U32> ReadLines(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::cerr << "compare_conversions: cannot read " << path << "\n";
    std::exit(1);
  }
  std::vector<U32> lines;
  std::string line;
  while (std::getline(in, line)) lines.push_back(DecodeUtf8(line));
  return lines;
}

bool IsHan(char32_t c) {
  return (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0x3400 && c <= 0x4DBF) ||
         (c >= 0xF900 && c <= 0xFAFF);
}

// Whether a code page writes the character and reads it back as itself.
class Holds {
 public:
  explicit Holds(UINT cp) : cp_(cp) {}
  bool operator()(char32_t c) {
    if (c >= 0x10000 || (c >= 0xD800 && c <= 0xDFFF) || (c >= 0xE000 && c <= 0xF8FF)) return false;
    auto it = cache_.find(c);
    if (it != cache_.end()) return it->second;
    std::u16string u(1, static_cast<char16_t>(c));
    std::string b = EncodeCodePage(cp_, u);
    bool ok = b.size() == 2 && DecodeCodePage(cp_, b) == u;
    return cache_[c] = ok;
  }

 private:
  UINT cp_;
  std::unordered_map<char32_t, bool> cache_;
};

struct Result {
  long compared = 0, agree = 0, outside = 0, unevenLines = 0, unheldLines = 0;
  struct Miss {
    long count = 0;
    U32 example;
  };
  std::map<U32, Miss> misses;  // source, ours, reference character

  double Share() const {
    return compared ? 100.0 * static_cast<double>(agree) / static_cast<double>(compared) : 0;
  }
};

Result Compare(const std::vector<U32>& source, const std::vector<U32>& ours,
               const std::vector<U32>& ref, Holds& srcHolds, Holds& dstHolds, bool heldLines) {
  Result res;
  for (std::size_t l = 0; l < source.size(); ++l) {
    const U32 &s = source[l], &o = ours[l], &r = ref[l];
    if (heldLines && !std::all_of(s.begin(), s.end(), [&](char32_t c) {
          return c < 0x80 || srcHolds(c);
        })) {
      ++res.unheldLines;
      continue;
    }
    const bool even = s.size() == o.size() && s.size() == r.size();
    if (!even) ++res.unevenLines;
    for (std::size_t i = 0; i < s.size(); ++i) {
      if (!IsHan(s[i])) continue;
      if (even && (!srcHolds(s[i]) || !dstHolds(r[i]))) {
        ++res.outside;
        continue;
      }
      ++res.compared;
      // A line whose lengths differ cannot be paired up: all of it counts as
      // disagreement.
      if (even && o[i] == r[i]) {
        ++res.agree;
        continue;
      }
      U32 key = even ? U32{s[i], o[i], r[i]} : U32{s[i], U'?', U'?'};
      Result::Miss& m = res.misses[key];
      if (m.count++ == 0) {
        std::size_t from = i >= 4 ? i - 4 : 0;
        m.example = s.substr(from, 9);
      }
    }
  }
  return res;
}

int Usage() {
  std::cerr << "usage: compare_conversions (--to-trad|--to-simp) [--min PERCENT] [--title TEXT] "
               "SOURCE OURS NAME=REFERENCE...\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  int direction = -1;
  double min = 0;
  std::string title;
  bool heldLines = false;
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--to-trad") {
      direction = 0;
    } else if (a == "--to-simp") {
      direction = 1;
    } else if (a == "--min" && i + 1 < argc) {
      char* end = nullptr;
      min = std::strtod(argv[++i], &end);
      if (!end || *end) return Usage();
    } else if (a == "--held-lines") {
      heldLines = true;
    } else if (a == "--title" && i + 1 < argc) {
      title = argv[++i];
    } else if (!a.empty() && a[0] == '-') {
      return Usage();
    } else {
      files.push_back(a);
    }
  }
  if (direction < 0 || files.size() < 3) return Usage();
  std::vector<std::pair<std::string, std::string>> refs;  // name, file
  for (std::size_t i = 2; i < files.size(); ++i) {
    auto eq = files[i].find('=');
    if (eq == std::string::npos || eq == 0) return Usage();
    refs.push_back({files[i].substr(0, eq), files[i].substr(eq + 1)});
  }
  const auto source = ReadLines(files[0]), ours = ReadLines(files[1]);
  Holds srcHolds(direction == 0 ? 936 : 950), dstHolds(direction == 0 ? 950 : 936);
  std::vector<Result> results;
  for (const auto& [name, file] : refs) {
    const auto ref = ReadLines(file);
    if (source.size() != ours.size() || source.size() != ref.size()) {
      std::cerr << "compare_conversions: the files differ in their number of lines ("
                << source.size() << ", " << ours.size() << ", " << ref.size() << " in " << name
                << ")\n";
      return 1;
    }
    results.push_back(Compare(source, ours, ref, srcHolds, dstHolds, heldLines));
  }

  std::printf("%s%s%s:\n", direction == 0 ? "to Traditional" : "to Simplified",
              title.empty() ? "" : ", ", title.c_str());
  std::printf("  %-22s %12s %12s %12s %10s\n", "agreement with", "share", "characters",
              "differ", "uneven");
  for (std::size_t k = 0; k < refs.size(); ++k) {
    const Result& r = results[k];
    std::printf("  %-22s %10.3f %% %12ld %12ld %10ld\n", refs[k].first.c_str(), r.Share(),
                r.compared, r.compared - r.agree, r.unevenLines);
  }
  std::printf(
      "  (Han characters of the source; not counted: those outside %s or whose reference form "
      "is outside %s; uneven: lines of unequal length, counted as disagreeing)\n",
      direction == 0 ? "GBK" : "Big5", direction == 0 ? "Big5" : "GBK");
  const Result& first = results.front();
  if (heldLines)
    std::printf("  %ld lines left out: they hold a character outside %s\n", first.unheldLines,
                direction == 0 ? "GBK" : "Big5");
  std::vector<std::pair<long, U32>> top;
  for (const auto& [k, m] : first.misses) top.push_back({-m.count, k});
  std::sort(top.begin(), top.end());
  if (!top.empty())
    std::printf("  most frequent disagreements with %s (source: ours / reference):\n",
                refs.front().first.c_str());
  for (std::size_t i = 0; i < top.size() && i < 20; ++i) {
    const U32& k = top[i].second;
    std::printf("  %6ld  %s: %s / %s   in \"%s\"\n", -top[i].first,
                EncodeUtf8(k.substr(0, 1)).c_str(), EncodeUtf8(k.substr(1, 1)).c_str(),
                EncodeUtf8(k.substr(2, 1)).c_str(), EncodeUtf8(first.misses.at(k).example).c_str());
  }
  if (first.Share() < min) {
    std::printf("  below the target of %.2f %% against %s\n", min, refs.front().first.c_str());
    return 1;
  }
  return 0;
}
