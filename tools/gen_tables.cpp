// Generates the built-in conversion tables from OpenCC's text dictionaries and
// checks them with the engine code that reads them.
//
//   gen_tables --dicts DIR --corpus FILE... --supplement FILE --out DIR [--check]
//              [--dump-derived DIR]
//
// DIR is OpenCC's data/dictionary folder: CJK_Compatibility_Ideographs,
// STCharacters, STPhrases, TSCharacters, TSPhrases, TWVariants,
// TWVariantsPhrases, TWVariantsRevPhrases, HKPhrases and TWPhrases (.txt). The
// dictionaries OpenCC's build derives (TWVariantsRev, TSCharactersExt,
// STPhrases_GeneratedFromRegionalPhrases) are derived here the same way;
// --dump-derived writes them out as text for comparison. Each --corpus FILE is
// UTF-8 text; the characters frequent in all of them go into the detection
// tables. --check compares with the files in --out instead of writing them.
//
// The expected form of every word is what OpenCC's s2tw and tw2s produce for it
// alone, so the dictionaries are replayed here the way those two configurations
// chain them: normalization, segmentation by longest phrase, then each
// dictionary group over each segment.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <queue>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/convert.h"
#include "engine/tables.h"
#include "platform/win32/codepage.h"
#include "platform/win32/dialogs.h"
#include "platform/win32/module.h"

namespace {

using namespace quillmer;
using U32 = std::u32string;

// ---- text ---------------------------------------------------------------

U32 FromUtf8_32(std::string_view s) {
  U32 out;
  for (std::size_t i = 0; i < s.size();) {
    auto b = static_cast<unsigned char>(s[i]);
    int n = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
    if (n == 0 || i + n > s.size()) throw std::runtime_error("bad UTF-8: " + std::string(s));
    char32_t c = n == 1 ? b : b & (0x7F >> n);
    for (int k = 1; k < n; ++k) c = c << 6 | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    out.push_back(c);
    i += n;
  }
  return out;
}

std::string ToUtf8_32(const U32& s) {
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

std::u16string ToUtf16(const U32& s) {
  std::u16string out;
  for (char32_t c : s) {
    if (c >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
  }
  return out;
}

U32 FromUtf16(std::u16string_view s) {
  U32 out;
  for (char16_t u : s) out += static_cast<char32_t>(u);  // only BMP text comes back
  return out;
}

std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string Hex(unsigned code) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%04X", code);
  return buf;
}

// ---- OpenCC's dictionaries and their chaining --------------------------

struct Dict {
  std::unordered_map<U32, std::vector<U32>> entries;
  std::vector<U32> order;                // keys as the file lists them
  std::map<U32, U32> reversePreferences;  // "# @reverse-prefer:" lines
  std::size_t maxLen = 0;

  // The first entry of a key stays.
  void Add(U32 key, std::vector<U32> values) {
    if (key.empty() || values.empty()) throw std::runtime_error("empty dictionary entry");
    maxLen = std::max(maxLen, key.size());
    if (entries.emplace(key, std::move(values)).second) order.push_back(std::move(key));
  }

  // Length of the longest key that begins text[pos, end), 0 if none.
  std::size_t MatchPrefix(const U32& text, std::size_t pos, std::size_t end,
                          const std::vector<U32>** values = nullptr) const {
    for (std::size_t len = std::min(maxLen, end - pos); len > 0; --len) {
      auto it = entries.find(text.substr(pos, len));
      if (it != entries.end()) {
        if (values) *values = &it->second;
        return len;
      }
    }
    return 0;
  }

  std::vector<U32> SortedKeys() const {
    std::vector<U32> keys = order;
    std::sort(keys.begin(), keys.end());
    return keys;
  }
};

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
  }
  return lines;
}

std::pair<U32, std::vector<U32>> ParseEntry(const std::string& line, const std::string& where) {
  auto tab = line.find('\t');
  if (tab == std::string::npos) throw std::runtime_error(where + ": line without a tab");
  std::vector<U32> values;
  std::istringstream vs(line.substr(tab + 1));
  for (std::string v; vs >> v;) values.push_back(FromUtf8_32(v));
  return {FromUtf8_32(line.substr(0, tab)), std::move(values)};
}

// OpenCC's text format: KEY<TAB>VALUE [VALUE...], '#' comment lines.
Dict LoadDict(const std::string& path) {
  const std::string kPrefer = "# @reverse-prefer:";
  Dict d;
  const auto lines = SplitLines(ReadFileBytes(path));
  for (std::size_t n = 0; n < lines.size(); ++n) {
    const std::string& line = lines[n];
    const std::string where = path + ":" + std::to_string(n + 1);
    if (line.compare(0, kPrefer.size(), kPrefer) == 0) {
      std::istringstream f(line.substr(kPrefer.size()));
      std::vector<std::string> fields;
      for (std::string w; f >> w;) fields.push_back(w);
      if (fields.empty() || fields.size() > 2) throw std::runtime_error(where + ": bad preference");
      d.reversePreferences[FromUtf8_32(fields.front())] = FromUtf8_32(fields.back());
      continue;
    }
    if (line.empty() || line[0] == '#') continue;
    auto [key, values] = ParseEntry(line, where);
    if (key.empty() || values.empty()) throw std::runtime_error(where + ": empty entry");
    d.Add(std::move(key), std::move(values));
  }
  return d;
}

// The dictionaries OpenCC's build derives from the text ones.

// reverse.py: every value maps back to the keys that give it, in file order,
// the preferred one first.
Dict Reverse(const Dict& d) {
  std::map<U32, std::vector<U32>> back;
  for (const U32& key : d.order)
    for (const U32& v : d.entries.at(key)) back[v].push_back(key);
  for (const auto& [key, preferred] : d.reversePreferences) {
    auto it = back.find(key);
    auto at = it == back.end() ? std::vector<U32>::iterator{}
                               : std::find(it->second.begin(), it->second.end(), preferred);
    if (it == back.end() || at == it->second.end())
      throw std::runtime_error("reverse preference " + ToUtf8_32(key) + " has no mapping");
    std::rotate(it->second.begin(), at, at + 1);
  }
  Dict r;
  for (auto& [key, keys] : back) r.Add(key, std::move(keys));
  return r;
}

// extract_tofu_risk.py: the entry after each "# @tofu-risk:" line, without
// its first value when that is the key itself.
Dict ExtractTofuRisk(const std::string& path) {
  const std::string kTofu = "# @tofu-risk:";
  Dict d;
  const auto lines = SplitLines(ReadFileBytes(path));
  for (std::size_t n = 0; n < lines.size(); ++n) {
    if (lines[n].compare(0, kTofu.size(), kTofu) != 0) continue;
    const std::string where = path + ":" + std::to_string(n + 1);
    if (n + 1 >= lines.size() || lines[n + 1].empty() || lines[n + 1][0] == '#')
      throw std::runtime_error(where + ": no entry after the tofu-risk mark");
    auto [key, values] = ParseEntry(lines[n + 1], where);
    if (!values.empty() && values.front() == key) values.erase(values.begin());
    if (values.empty()) throw std::runtime_error(where + ": no other form after the mark");
    d.Add(std::move(key), std::move(values));
  }
  return d;
}

// A "union" group: the longest match over all dictionaries, the earlier one
// on a tie; which is one dictionary where the earlier entry of a key wins.
Dict Union(std::initializer_list<const Dict*> dicts) {
  Dict u;
  for (const Dict* d : dicts)
    for (const U32& key : d->order) u.Add(key, d->entries.at(key));
  return u;
}

// A "short_circuit" group: the first dictionary with a match at a position wins.
using DictGroup = std::vector<const Dict*>;

// One OpenCC configuration: normalization over the whole text, segmentation by
// longest match of one dictionary (none: the text is one segment), then each
// group of dictionaries converts each segment in turn.
struct Chain {
  const Dict* normalization = nullptr;
  const Dict* segmentation = nullptr;
  std::vector<DictGroup> conversions;

  U32 Convert(const U32& input) const {
    const U32 text = normalization ? ConvertSegment(input, {normalization}) : input;
    std::vector<U32> segments;
    if (!segmentation) segments.push_back(text);
    std::size_t runStart = 0, runLen = 0;
    for (std::size_t pos = 0; segmentation && pos < text.size();) {
      std::size_t m = segmentation->MatchPrefix(text, pos, text.size());
      if (m == 0) {
        ++runLen;
        ++pos;
        continue;
      }
      if (runLen) segments.push_back(text.substr(runStart, runLen));
      runLen = 0;
      segments.push_back(text.substr(pos, m));
      pos += m;
      runStart = pos;
    }
    if (runLen) segments.push_back(text.substr(runStart, runLen));
    for (const DictGroup& group : conversions)
      for (U32& seg : segments) seg = ConvertSegment(seg, group);
    U32 out;
    for (const U32& seg : segments) out += seg;
    return out;
  }

  static U32 ConvertSegment(const U32& seg, const DictGroup& group) {
    U32 out;
    for (std::size_t pos = 0; pos < seg.size();) {
      std::size_t m = 0;
      const std::vector<U32>* values = nullptr;
      for (const Dict* d : group)
        if ((m = d->MatchPrefix(seg, pos, seg.size(), &values))) break;
      if (m) {
        out += values->front();
        pos += m;
      } else {
        out += seg[pos++];
      }
    }
    return out;
  }
};

// generate_st_phrases_from_regional_phrases.py: the keys of the regional
// phrase dictionaries in Simplified (t2s, tofu-risk forms included), kept from
// three characters on, each giving back its key. Two keys with one Simplified
// form are an error of the data.
Dict GenerateFromRegionalPhrases(std::initializer_list<const Dict*> regional, const Chain& t2s) {
  std::map<U32, std::vector<U32>> projections;
  for (const Dict* d : regional)
    for (const U32& key : d->order) {
      U32 s = t2s.Convert(key);
      if (s.size() >= 3) projections[s].push_back(key);
    }
  Dict g;
  for (auto& [s, keys] : projections) {
    for (const U32& k : keys)
      if (k != keys.front())
        throw std::runtime_error("regional phrases " + ToUtf8_32(keys.front()) + " and " +
                                 ToUtf8_32(k) + " have one Simplified form");
    g.Add(s, {keys.front()});
  }
  return g;
}

void DumpDict(const Dict& d, const std::string& path) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  for (const U32& key : d.SortedKeys()) {
    out << ToUtf8_32(key) << '\t';
    const auto& values = d.entries.at(key);
    for (std::size_t i = 0; i < values.size(); ++i) out << (i ? " " : "") << ToUtf8_32(values[i]);
    out << '\n';
  }
  if (!out) throw std::runtime_error("cannot write " + path);
}

// ---- code pages ---------------------------------------------------------

bool IsPrivateUse(char32_t c) { return c >= 0xE000 && c <= 0xF8FF; }

bool IsHan(char32_t c) {
  return (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0x3400 && c <= 0x4DBF) ||
         (c >= 0xF900 && c <= 0xFAFF);
}

// The double-byte characters of code page 936 or 950 as the project's code-page
// layer sees them.
struct CodePage {
  UINT cp;
  std::map<std::uint16_t, char32_t> charOf;            // every code that reads as a character
  std::unordered_map<char32_t, std::uint16_t> codeOf;  // the code a character is written as

  explicit CodePage(UINT codePage) : cp(codePage) {
    for (unsigned lead = 0x81; lead <= 0xFE; ++lead) {
      for (unsigned trail = 0x40; trail <= 0xFE; ++trail) {
        if (trail == 0x7F) continue;
        std::string bytes{static_cast<char>(lead), static_cast<char>(trail)};
        std::u16string w = DecodeCodePage(cp, bytes);
        if (w.size() != 1 || w[0] == u'?' || IsPrivateUse(w[0]) ||
            (w[0] >= 0xD800 && w[0] <= 0xDFFF))
          continue;
        auto code = static_cast<std::uint16_t>(lead << 8 | trail);
        charOf[code] = w[0];
        if (EncodeCodePage(cp, w) == bytes) codeOf[w[0]] = code;
      }
    }
  }

  bool Holds(char32_t c) const { return c < 0x80 || codeOf.count(c); }
  bool Holds(const U32& s) const {
    return std::all_of(s.begin(), s.end(), [&](char32_t c) { return Holds(c); });
  }
  std::string Encode(const U32& s) const { return EncodeCodePage(cp, ToUtf16(s)); }
  U32 Decode(std::string_view b) const { return FromUtf16(DecodeCodePage(cp, b)); }
};

// ---- output -------------------------------------------------------------

struct Resources {
  std::map<std::string, std::string> files;  // resource name -> bytes
};

void Put32(std::string& out, std::int32_t v) {
  for (int b = 0; b < 4; ++b) out.push_back(static_cast<char>((v >> (8 * b)) & 0xFF));
}

int SlotOfKey(std::string_view key) {
  auto b0 = static_cast<unsigned char>(key[0]);
  if (!IsLeadByte(b0) || key.size() < 2) return FixSlotOfByte(b0);
  return FixSlotOfCode(static_cast<unsigned>(b0) << 8 | static_cast<unsigned char>(key[1]));
}

bool ByteLess(std::string_view a, std::string_view b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
  });
}

// Keys in descending byte order (an extension before its prefix), with the
// first-character index.
void WriteFixTable(std::map<std::string, std::string> entries, std::string& index,
                   std::string& keys, std::string& repls) {
  std::vector<std::pair<std::string, std::string>> rows(entries.begin(), entries.end());
  std::sort(rows.begin(), rows.end(),
            [](const auto& a, const auto& b) { return ByteLess(b.first, a.first); });
  std::map<int, std::pair<int, int>> slots;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    int slot = SlotOfKey(rows[i].first);
    auto [it, fresh] = slots.try_emplace(slot, static_cast<int>(i), static_cast<int>(i));
    if (!fresh) {
      if (it->second.second != static_cast<int>(i) - 1)
        throw std::logic_error("keys of one first character are not adjacent");
      it->second.second = static_cast<int>(i);
    }
    keys += rows[i].first + '\n';
    repls += rows[i].second + '\n';
  }
  for (const auto& [slot, range] : slots) {
    Put32(index, slot);
    Put32(index, range.first);
    Put32(index, range.second);
  }
}

void InstallResources(const Resources& r) {
  for (const auto& [name, bytes] : r.files) SetResourceOverride(name, RT_RCDATA, bytes);
  ResetTables();
  EnsureTables();
}

// ---- the generator ------------------------------------------------------

struct Options {
  std::string dicts, supplement, out, dumpDerived;
  std::vector<std::string> corpora;
  bool check = false;
};

struct Supplement {
  std::map<std::string, std::string> b5fix, gbfix;  // key -> replacement, code-page bytes
};

Supplement LoadSupplement(const std::string& path, const CodePage& big5, const CodePage& gbk) {
  Supplement s;
  std::istringstream in(ReadFileBytes(path));
  std::string line;
  int n = 0;
  while (std::getline(in, line)) {
    ++n;
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string> f;
    std::size_t at = 0;
    for (;;) {
      auto tab = line.find('\t', at);
      f.push_back(line.substr(at, tab == std::string::npos ? std::string::npos : tab - at));
      if (tab == std::string::npos) break;
      at = tab + 1;
    }
    if (f.size() != 3 || (f[0] != "b5fix" && f[0] != "gbfix") || f[1].empty())
      throw std::runtime_error(path + ":" + std::to_string(n) +
                               ": expected TABLE<TAB>KEY<TAB>REPLACEMENT");
    const CodePage& cp = f[0] == "b5fix" ? big5 : gbk;
    U32 key = FromUtf8_32(f[1]), repl = FromUtf8_32(f[2]);
    if (!cp.Holds(key) || !cp.Holds(repl))
      throw std::runtime_error(path + ":" + std::to_string(n) + ": not in the table's code page");
    (f[0] == "b5fix" ? s.b5fix : s.gbfix)[cp.Encode(key)] = cp.Encode(repl);
  }
  return s;
}

class Generator {
 public:
  explicit Generator(const Options& o) : opt_(o), gbk_(936), big5_(950) {
    auto path = [&](const char* name) { return opt_.dicts + "/" + name + ".txt"; };
    auto load = [&](const char* name) { return LoadDict(path(name)); };
    cjk_ = load("CJK_Compatibility_Ideographs");
    stChars_ = load("STCharacters");
    stPhrases_ = load("STPhrases");
    tsChars_ = load("TSCharacters");
    tsPhrases_ = load("TSPhrases");
    twVariants_ = load("TWVariants");
    twVariantsPhrases_ = load("TWVariantsPhrases");
    twVariantsRevPhrases_ = load("TWVariantsRevPhrases");
    twVariantsRev_ = Reverse(twVariants_);
    tsCharsExt_ = ExtractTofuRisk(path("TSCharacters"));
    const Dict hkPhrases = load("HKPhrases"), twPhrases = load("TWPhrases");
    const Chain t2s{&cjk_, nullptr, {{&tsPhrases_, &tsCharsExt_, &tsChars_}}};
    stGenerated_ = GenerateFromRegionalPhrases({&hkPhrases, &twPhrases}, t2s);
    stPhrasesAll_ = Union({&stPhrases_, &stGenerated_});
    // As OpenCC's s2tw.json and tw2s.json chain them. tw2s leaves out the
    // tofu-risk forms (TSCharactersExt) as OpenCC does by default and as
    // opencc-js, the accuracy reference, does always.
    taiwan_ = {&twVariantsPhrases_, &twVariants_};
    s2tw_ = Chain{&cjk_, &stPhrasesAll_, {{&stPhrasesAll_, &stChars_}, taiwan_}};
    tw2s_ = Chain{&cjk_,
                  &tsPhrases_,
                  {{&twVariantsRevPhrases_, &twVariantsRev_}, {&tsPhrases_, &tsChars_}}};
    if (!opt_.dumpDerived.empty()) {
      DumpDict(twVariantsRev_, opt_.dumpDerived + "/TWVariantsRev.txt");
      DumpDict(tsCharsExt_, opt_.dumpDerived + "/TSCharactersExt.txt");
      DumpDict(stGenerated_, opt_.dumpDerived + "/STPhrases_GeneratedFromRegionalPhrases.txt");
    }
    supplement_ = LoadSupplement(opt_.supplement, big5_, gbk_);
  }

  int Run() {
    MakeCharTable();
    MakeFixTable(0);
    MakeFixTable(1);
    MakeTestTables();
    int failures = Verify();
    return Emit() && failures == 0 ? 0 : 1;
  }

 private:
  // For each character of the Simplified words, how often each Traditional
  // form stands in its place in their Taiwan form.
  std::map<char32_t, std::map<char32_t, int>> FormsInWords() const {
    std::map<char32_t, std::map<char32_t, int>> forms;
    for (const auto& [word, values] : stPhrases_.entries) {
      U32 t = Chain::ConvertSegment(values.front(), taiwan_);
      if (t.size() != word.size()) continue;
      for (std::size_t i = 0; i < word.size(); ++i) ++forms[word[i]][t[i]];
    }
    return forms;
  }

  // The first of the candidates that the other code page holds, as its code.
  static std::optional<std::uint16_t> FirstHeld(const std::vector<U32>& candidates,
                                                const CodePage& cp) {
    for (const U32& c : candidates)
      if (c.size() == 1 && c[0] >= 0x80 && cp.codeOf.count(c[0])) return cp.codeOf.at(c[0]);
    return std::nullopt;
  }

  std::vector<U32> Alternatives(const Dict& d, char32_t c, const DictGroup& then = {}) const {
    std::vector<U32> out;
    auto it = d.entries.find(U32(1, c));
    if (it == d.entries.end()) return out;
    for (const U32& v : it->second) out.push_back(then.empty() ? v : Chain::ConvertSegment(v, then));
    return out;
  }

  // strtbl: each GBK code's line lists its preferred Big5 code first, then the
  // Big5 codes whose preferred Simplified form it is. A Big5 code maps back to
  // the GBK code of the last line listing it, so a line comes before the line
  // of the GBK code its first Big5 code prefers.
  void MakeCharTable() {
    const auto inWords = FormsInWords();
    for (const auto& [code, c] : gbk_.charOf) {
      std::vector<U32> cands{s2tw_.Convert(U32(1, c))};
      for (U32& a : Alternatives(stChars_, c, taiwan_)) cands.push_back(std::move(a));
      cands.push_back(U32(1, c));
      if (auto b = FirstHeld(cands, big5_)) {
        fwd_[code] = *b;
        continue;
      }
      // Neither the character nor its own Traditional form is in Big5; the
      // form the dictionary's words give it most often may be.
      auto w = inWords.find(c);
      if (w == inWords.end()) continue;
      std::vector<std::pair<int, char32_t>> ranked;
      for (const auto& [d, n] : w->second) ranked.push_back({-n, d});
      std::sort(ranked.begin(), ranked.end());
      cands.clear();
      for (const auto& [n, d] : ranked) cands.push_back(U32(1, d));
      if (auto b = FirstHeld(cands, big5_)) {
        fwd_[code] = *b;
        fromWords_ += ToUtf8_32({c, U'→', big5_.charOf.at(*b), U' '});
      }
    }
    for (const auto& [code, c] : big5_.charOf) {
      std::vector<U32> cands{tw2s_.Convert(U32(1, c))};
      for (U32& a : Alternatives(tsChars_, c)) cands.push_back(std::move(a));
      cands.push_back(U32(1, c));
      if (auto g = FirstHeld(cands, gbk_)) rev_[code] = *g;
    }
    std::map<std::uint16_t, std::vector<std::uint16_t>> others;
    for (const auto& [b, g] : rev_) {
      auto f = fwd_.find(g);
      if (f == fwd_.end() || f->second != b) others[g].push_back(b);
    }
    // A GBK code that only takes Big5 codes back (it has no Big5 form of its
    // own) leads with □, which counts as no counterpart; a last line □ □ puts
    // both squares right again.
    std::set<std::uint16_t> nodes;
    for (const auto& [g, b] : fwd_) nodes.insert(g);
    for (const auto& [g, list] : others) {
      if (!fwd_.count(g)) ++squareLed_;
      nodes.insert(g);
    }
    std::map<std::uint16_t, std::uint16_t> next;  // g must come before next[g]
    std::map<std::uint16_t, int> indegree;
    for (std::uint16_t g : nodes) indegree[g] = 0;
    for (const auto& [g, b] : fwd_) {
      auto r = rev_.find(b);
      if (r != rev_.end() && r->second != g && nodes.count(r->second)) {
        next[g] = r->second;
        ++indegree[r->second];
      }
    }
    // Kahn's order, lowest code first; a cycle is broken at its lowest code.
    std::priority_queue<std::uint16_t, std::vector<std::uint16_t>, std::greater<>> ready;
    for (const auto& [g, d] : indegree)
      if (d == 0) ready.push(g);
    std::set<std::uint16_t> done;
    std::vector<std::uint16_t> order;
    auto emit = [&](std::uint16_t g) {
      order.push_back(g);
      done.insert(g);
      auto n = next.find(g);
      if (n != next.end() && --indegree[n->second] == 0 && !done.count(n->second))
        ready.push(n->second);
    };
    while (order.size() < nodes.size()) {
      if (ready.empty()) {
        for (std::uint16_t g : nodes)
          if (!done.count(g)) {
            ++cyclesBroken_;
            indegree[g] = 0;
            ready.push(g);
            break;
          }
      }
      std::uint16_t g = ready.top();
      ready.pop();
      if (!done.count(g)) emit(g);
    }
    std::string& t = res_.files["strtbl"];
    auto put = [&](std::uint16_t code) {
      t.push_back(static_cast<char>(code >> 8));
      t.push_back(static_cast<char>(code & 0xFF));
    };
    for (std::uint16_t g : order) {
      if (squareLed_ && g == kGbkSquare) continue;  // comes last, below
      put(g);
      auto f = fwd_.find(g);
      put(f != fwd_.end() ? f->second : kBig5Square);
      for (std::uint16_t b : others[g]) put(b);
      t.push_back('\n');
      ++lineLengths_[(others[g].size() + 2) * 2];
    }
    if (squareLed_) {
      put(kGbkSquare);
      put(kBig5Square);
      for (std::uint16_t b : others[kGbkSquare]) put(b);
      t.push_back('\n');
      ++lineLengths_[(others[kGbkSquare].size() + 2) * 2];
    }
  }

  struct Candidate {
    U32 source, expected;
    std::string bytes, key, replacement;  // the word in the source code page, mapped, wanted
  };

  // The phrase table of one side: which 0 is B5fix (Simplified words after
  // the GBK to Big5 map), 1 is GBfix (Traditional words after Big5 to GBK).
  void MakeFixTable(int which) {
    const CodePage& src = which == 0 ? gbk_ : big5_;
    const CodePage& dst = which == 0 ? big5_ : gbk_;
    const Chain& chain = which == 0 ? s2tw_ : tw2s_;
    const std::uint16_t square = which == 0 ? kBig5Square : kGbkSquare;
    Resources charOnly = res_;
    for (const char* n : {"key1ndx", "b5_1ndx", "b5_2ndx", "key2ndx", "gb_1ndx", "gb_2ndx"})
      charOnly.files[n] = "";
    InstallResources(charOnly);

    // Source words: the dictionary's phrases; Traditional ones also in their
    // Taiwan forms, which tw2s revises before it looks words up.
    std::set<U32> words;
    if (which == 0) {
      for (U32& k : stPhrasesAll_.SortedKeys()) words.insert(std::move(k));
    } else {
      for (const Dict* d : {&tsPhrases_, &twVariantsRevPhrases_})
        for (U32& k : d->SortedKeys()) {
          words.insert(Chain::ConvertSegment(k, taiwan_));
          words.insert(std::move(k));
        }
    }
    auto& stats = stats_[which];
    std::map<std::string, std::vector<Candidate>> byKey;
    for (const U32& w : words) {
      ++stats["words"];
      if (!src.Holds(w)) {
        ++stats["skipped: the word has a character outside " + Name(src)];
        continue;
      }
      Candidate c{w, chain.Convert(w), src.Encode(w), {}, {}};
      c.key = c.bytes;
      MapCharacters(c.key, static_cast<TableSide>(which));
      U32 mapped = dst.Decode(c.key);
      bool lost = mapped.size() != w.size();
      for (std::size_t i = 0; !lost && i < w.size(); ++i)
        lost = mapped[i] == dst.charOf.at(square) || mapped[i] == U'?';
      if (lost) {
        ++stats["skipped: a character of the word has no counterpart in " + Name(dst)];
        continue;
      }
      if (dst.Holds(c.expected)) {
        c.replacement = dst.Encode(c.expected);
      } else if (c.expected.size() == w.size()) {
        // What the code page cannot hold stays as the character map gives it.
        U32 r = c.expected;
        for (std::size_t i = 0; i < r.size(); ++i)
          if (!dst.Holds(r[i])) r[i] = mapped[i];
        c.replacement = dst.Encode(r);
        ++stats["kept in part: the expected form has a character outside " + Name(dst)];
      } else {
        ++stats["skipped: the expected form has a character outside " + Name(dst)];
        continue;
      }
      byKey[c.key].push_back(std::move(c));
    }

    std::map<std::string, std::string> entries;
    for (auto& [key, cands] : byKey) {
      const Candidate pick = PickAmong(cands, which);
      entries[key] = pick.replacement;
      for (Candidate& c : cands) {
        if (c.replacement != pick.replacement) {
          ++stats["collisions"];
          losers_[which].push_back({c.source, pick.source});
        }
        checks_[which].push_back(std::move(c));
      }
    }
    const auto& supp = which == 0 ? supplement_.b5fix : supplement_.gbfix;
    for (const auto& [k, v] : supp) entries[k] = v;
    stats["entries before pruning"] = static_cast<int>(entries.size());
    stats["entries before pruning that give back their key"] = static_cast<int>(std::count_if(
        entries.begin(), entries.end(), [](const auto& e) { return e.first == e.second; }));
    Prune(entries, supp);
    stats["entries"] = static_cast<int>(entries.size());

    std::string index, keys, repls;
    WriteFixTable(entries, index, keys, repls);
    res_.files[which == 0 ? "key1ndx" : "key2ndx"] = index;
    res_.files[which == 0 ? "b5_1ndx" : "gb_1ndx"] = keys;
    res_.files[which == 0 ? "b5_2ndx" : "gb_2ndx"] = repls;
  }

  static std::string Name(const CodePage& cp) { return cp.cp == 936 ? "GBK" : "Big5"; }

  // Words whose keys coincide (their characters share a counterpart) but
  // whose forms differ: the word written in the source script's own forms wins,
  // as running text holds that one; then the first in code-point order.
  const Candidate& PickAmong(const std::vector<Candidate>& cands, int which) const {
    const Candidate* best = &cands.front();
    int bestScore = -1;
    for (const Candidate& c : cands) {
      int score = 0;
      for (char32_t ch : c.source) {
        // A character the other direction would change is not in the
        // source's own script.
        const Dict& back = which == 0 ? tsChars_ : stChars_;
        if (!back.entries.count(U32(1, ch))) ++score;
      }
      if (score > bestScore) {
        best = &c;
        bestScore = score;
      }
    }
    return *best;
  }

  // Drops entries that give back their own key where that changes no text.
  // Without the entry the scan over its key goes on character by character:
  // the entry can go when every key matching on that way gives back itself and
  // ends inside the entry's key, and no key reached on the way reaches beyond
  // it (that one would match differently in running text). A longer key that
  // extends the entry's whole key matches first either way. Each drop keeps
  // every conversion as it was, so drops can follow one another.
  void Prune(std::map<std::string, std::string>& entries,
             const std::map<std::string, std::string>& keep) {
    auto charLen = [](std::string_view k, std::size_t i) {
      return IsLeadByte(static_cast<unsigned char>(k[i])) && i + 1 < k.size() ? 2 : 1;
    };
    auto needed = [&](const std::string& k) {
      for (std::size_t j = 0; j < k.size();) {
        const std::string rest = k.substr(j);
        if (j > 0) {
          auto ext = entries.upper_bound(rest);
          if (ext != entries.end() && ext->first.compare(0, rest.size(), rest) == 0) return true;
        }
        // The longest key that is a prefix of the rest; never the entry itself.
        std::size_t len = 0;
        std::vector<std::size_t> ends;
        for (std::size_t e = j; e < k.size();) {
          e += charLen(k, e);
          if (j > 0 || e < k.size()) ends.push_back(e);
        }
        for (auto e = ends.rbegin(); e != ends.rend() && !len; ++e) {
          auto it = entries.find(k.substr(j, *e - j));
          if (it == entries.end()) continue;
          if (it->second != it->first) return true;
          len = *e - j;
        }
        j += len ? len : charLen(k, j);
      }
      return false;
    };
    for (bool changed = true; changed;) {
      changed = false;
      for (auto it = entries.begin(); it != entries.end();) {
        if (it->first == it->second && !keep.count(it->first) && !needed(it->first)) {
          it = entries.erase(it);
          changed = true;
        } else {
          ++it;
        }
      }
    }
  }

  // testtbl1/testtbl2: the full-width ， ： 。 ！ ？ and then the Han
  // characters that both code pages hold, most frequent first by their smaller
  // count over the corpora (one Simplified, one Traditional): a character
  // common only on one side would tip the vote.
  void MakeTestTables() {
    std::map<char32_t, std::vector<long>> freq;
    for (std::size_t i = 0; i < opt_.corpora.size(); ++i)
      for (char32_t c : FromUtf8_32(ReadFileBytes(opt_.corpora[i])))
        if (IsHan(c) && gbk_.codeOf.count(c) && big5_.codeOf.count(c)) {
          auto& n = freq[c];
          n.resize(opt_.corpora.size());
          ++n[i];
        }
    std::vector<std::pair<long, char32_t>> ranked;
    for (const auto& [c, n] : freq) ranked.push_back({-*std::min_element(n.begin(), n.end()), c});
    std::sort(ranked.begin(), ranked.end());
    std::vector<char32_t> chars{U'，', U'：', U'。', U'！', U'？'};
    for (const auto& [n, c] : ranked) {
      if (chars.size() == 146) break;
      chars.push_back(c);
    }
    if (chars.size() != 146) throw std::runtime_error("the corpus has too few characters");
    std::string& t1 = res_.files["testtbl1"];
    std::string& t2 = res_.files["testtbl2"];
    for (char32_t c : chars) {
      for (auto [t, cp] : {std::pair{&t1, &big5_}, std::pair{&t2, &gbk_}}) {
        std::uint16_t code = cp->codeOf.at(c);
        t->push_back(static_cast<char>(code >> 8));
        t->push_back(static_cast<char>(code & 0xFF));
      }
    }
  }

  // Loads the new tables into the engine and checks them: every preferred
  // character form, and every word through MapCharacters then ApplyFix.
  int Verify() {
    InstallResources(res_);
    const EngineTables& t = Tables();
    int failures = 0;
    for (const auto& [g, b] : fwd_)
      if (t.GbToB5Table[g - 0x8140] != b) {
        std::cout << "error: GBK " << Hex(g) << " maps to " << Hex(t.GbToB5Table[g - 0x8140])
                  << ", not " << Hex(b) << "\n";
        ++failures;
      }
    std::vector<std::string> unheld;
    for (const auto& [b, g] : rev_) {
      std::uint16_t got = t.B5ToGbTable[b - 0x8140];
      if (got == g) continue;
      // Only a broken cycle may leave a Big5 character without its preferred
      // Simplified form; the Big5 character must then be some line's first.
      unheld.push_back(ToUtf8_32(U32(1, big5_.charOf.at(b))) + " (Big5 " + Hex(b) + ") → " +
                       ToUtf8_32(U32(1, gbk_.charOf.at(got))) + ", preferred " +
                       ToUtf8_32(U32(1, gbk_.charOf.at(g))));
    }

    std::cout << "strtbl: "
              << std::count(res_.files["strtbl"].begin(), res_.files["strtbl"].end(), '\n')
              << " lines (";
    for (const auto& [len, n] : lineLengths_) std::cout << n << " of " << len << " bytes; ";
    std::cout << squareLed_ << " led by the white square); " << fwd_.size()
              << " GBK codes with a Big5 form (from words: " << fromWords_ << "), " << rev_.size()
              << " Big5 codes with a GBK form; " << cyclesBroken_ << " cycles broken\n";
    std::cout << "  Big5 characters that cannot map back to their preferred form: " << unheld.size()
              << "\n";
    for (const auto& s : unheld) std::cout << "    " << s << "\n";

    for (int which = 0; which < 2; ++which) {
      auto& stats = stats_[which];
      for (const Candidate& c : checks_[which]) {
        std::string got = c.bytes;
        MapCharacters(got, static_cast<TableSide>(which));
        got = ApplyFix(got, static_cast<TableSide>(which));
        if (got == c.replacement) continue;
        ++stats["verify: not converted as expected"];
      }
      std::cout << (which == 0 ? "B5fix" : "GBfix") << ":\n";
      for (const auto& [what, n] : stats) std::cout << "  " << what << ": " << n << "\n";
      int wrong = stats["verify: not converted as expected"];
      int expectedWrong = stats["collisions"];
      std::cout << "  words that do not convert to their expected form: " << wrong
                << (wrong && wrong == expectedWrong ? " (each shares its key with another word)"
                                                    : "")
                << "\n";
      for (const auto& [lost, won] : losers_[which])
        std::cout << "    " << ToUtf8_32(lost) << " gives way to " << ToUtf8_32(won) << "\n";
      if (wrong != expectedWrong) ++failures;
    }
    const std::string& t1 = res_.files["testtbl1"];
    std::cout << "testtbl1/testtbl2: " << t1.size() / 2 << " characters: ";
    for (std::size_t i = 0; i < t1.size(); i += 2)
      std::cout << ToUtf8_32(U32(
          1, big5_.charOf.at(static_cast<std::uint16_t>(static_cast<unsigned char>(t1[i]) << 8 |
                                                        static_cast<unsigned char>(t1[i + 1])))));
    std::cout << "\n";
    return failures;
  }

  bool Emit() {
    bool same = true;
    for (const auto& [name, bytes] : res_.files) {
      std::string path = opt_.out + "/" + name + ".bin";
      if (opt_.check) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream s;
        if (in) s << in.rdbuf();
        if (!in || s.str() != bytes) {
          std::cout << path << " differs from the generated table\n";
          same = false;
        }
        continue;
      }
      std::ofstream out(path, std::ios::binary | std::ios::trunc);
      out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
      if (!out) throw std::runtime_error("cannot write " + path);
      std::cout << "wrote " << path << " (" << bytes.size() << " bytes)\n";
    }
    if (opt_.check && same) std::cout << "the committed tables are up to date\n";
    return same;
  }

  Options opt_;
  CodePage gbk_, big5_;
  Dict cjk_, stChars_, stPhrases_, stGenerated_, stPhrasesAll_, tsChars_, tsCharsExt_,
      tsPhrases_, twVariants_, twVariantsPhrases_, twVariantsRev_, twVariantsRevPhrases_;
  DictGroup taiwan_;
  Chain s2tw_{}, tw2s_{};
  Supplement supplement_;
  Resources res_;
  std::map<std::uint16_t, std::uint16_t> fwd_, rev_;
  std::map<std::size_t, int> lineLengths_;
  int squareLed_ = 0, cyclesBroken_ = 0;
  std::string fromWords_;  // characters whose Big5 form comes from words
  std::map<std::string, int> stats_[2];
  std::vector<Candidate> checks_[2];
  std::vector<std::pair<U32, U32>> losers_[2];
};

int Usage() {
  std::cerr << "usage: gen_tables --dicts DIR --corpus FILE... --supplement FILE --out DIR "
               "[--check] [--dump-derived DIR]\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&]() -> std::string { return i + 1 < argc ? argv[++i] : ""; };
    if (a == "--dicts")
      o.dicts = value();
    else if (a == "--corpus")
      o.corpora.push_back(value());
    else if (a == "--supplement")
      o.supplement = value();
    else if (a == "--out")
      o.out = value();
    else if (a == "--dump-derived")
      o.dumpDerived = value();
    else if (a == "--check")
      o.check = true;
    else
      return Usage();
  }
  if (o.dicts.empty() || o.corpora.empty() || o.supplement.empty() || o.out.empty()) return Usage();
  // The engine's table warnings would otherwise wait for an answer.
  SetMessageBoxHandler([](const MessageBoxCall& c) {
    std::cerr << "gen_tables: " << ToUtf8(c.text) << "\n";
    return IDOK;
  });
  try {
    return Generator(o).Run();
  } catch (const std::exception& e) {
    std::cerr << "gen_tables: " << e.what() << "\n";
    return 1;
  }
}
