#include "platform/browser/charset.h"

namespace quillmer {
namespace {

struct Alias {
  const char* alias;
  UINT cp;
  const char* name;
};

// Declared names and the browser's name for what they mean.
constexpr Alias kAliases[] = {
    {"big5", kCodePageBig5, "big5"},
    {"big-5", kCodePageBig5, "big5"},
    {"cn-big5", kCodePageBig5, "big5"},
    {"csbig5", kCodePageBig5, "big5"},
    {"x-x-big5", kCodePageBig5, "big5"},
    {"big5-hkscs", kCodePageBig5, "big5"},
    {"gb2312", kCodePageGbk, "gb2312"},
    {"gbk", kCodePageGbk, "gb2312"},
    {"x-gbk", kCodePageGbk, "gb2312"},
    {"cp936", kCodePageGbk, "gb2312"},
    {"ms936", kCodePageGbk, "gb2312"},
    {"windows-936", kCodePageGbk, "gb2312"},
    {"gb_2312-80", kCodePageGbk, "gb2312"},
    {"gb_2312", kCodePageGbk, "gb2312"},
    {"csgb2312", kCodePageGbk, "gb2312"},
    {"csiso58gb231280", kCodePageGbk, "gb2312"},
    {"iso-ir-58", kCodePageGbk, "gb2312"},
    {"chinese", kCodePageGbk, "gb2312"},
    {"euc-cn", kCodePageGbk, "gb2312"},
    {"x-euc-cn", kCodePageGbk, "gb2312"},
    {"gb18030", 54936, "gb18030"},
    {"hz-gb-2312", 52936, "hz-gb-2312"},
    {"hz", 52936, "hz-gb-2312"},
    {"utf-8", 65001, "utf-8"},
    {"utf8", 65001, "utf-8"},
    {"unicode-1-1-utf-8", 65001, "utf-8"},
    {"unicode-2-0-utf-8", 65001, "utf-8"},
    {"x-unicode20utf8", 65001, "utf-8"},
    {"unicode", CP_UTF16LE, "unicode"},
    {"utf-16", CP_UTF16LE, "unicode"},
    {"utf-16le", CP_UTF16LE, "unicode"},
    {"ucs-2", CP_UTF16LE, "unicode"},
    {"iso-10646-ucs-2", CP_UTF16LE, "unicode"},
    {"csunicode", CP_UTF16LE, "unicode"},
    {"unicodefffe", CP_UTF16BE, "unicodefffe"},
    {"utf-16be", CP_UTF16BE, "unicodefffe"},
    {"iso-8859-1", 1252, "iso-8859-1"},
    {"iso8859-1", 1252, "iso-8859-1"},
    {"iso_8859-1", 1252, "iso-8859-1"},
    {"latin1", 1252, "iso-8859-1"},
    {"l1", 1252, "iso-8859-1"},
    {"cp819", 1252, "iso-8859-1"},
    {"ibm819", 1252, "iso-8859-1"},
    {"csisolatin1", 1252, "iso-8859-1"},
    {"iso-ir-100", 1252, "iso-8859-1"},
    {"windows-1252", 1252, "windows-1252"},
    {"cp1252", 1252, "windows-1252"},
    {"x-cp1252", 1252, "windows-1252"},
    {"us-ascii", 20127, "us-ascii"},
    {"ascii", 20127, "us-ascii"},
    {"shift_jis", 932, "shift_jis"},
    {"shift-jis", 932, "shift_jis"},
    {"sjis", 932, "shift_jis"},
    {"x-sjis", 932, "shift_jis"},
    {"ms_kanji", 932, "shift_jis"},
    {"windows-31j", 932, "shift_jis"},
    {"csshiftjis", 932, "shift_jis"},
    {"ks_c_5601-1987", 949, "ks_c_5601-1987"},
    {"euc-kr", 949, "ks_c_5601-1987"},
    {"korean", 949, "ks_c_5601-1987"},
    {"windows-949", 949, "ks_c_5601-1987"},
    {"windows-1250", 1250, "windows-1250"},
    {"windows-1251", 1251, "windows-1251"},
    {"ibm437", 437, "ibm437"},
    {"cp437", 437, "ibm437"},
    {"x-cp20936", 20936, "x-cp20936"},
};

constexpr Alias kNames[] = {
    {nullptr, kCodePageBig5, "big5"},
    {nullptr, kCodePageGbk, "gb2312"},
    {nullptr, 54936, "gb18030"},
    {nullptr, 52936, "hz-gb-2312"},
    {nullptr, 65001, "utf-8"},
    {nullptr, CP_UTF16LE, "unicode"},
    {nullptr, CP_UTF16BE, "unicodefffe"},
    {nullptr, 1252, "iso-8859-1"},
    {nullptr, 28591, "iso-8859-1"},
    {nullptr, 20127, "us-ascii"},
    {nullptr, 932, "shift_jis"},
    {nullptr, 949, "ks_c_5601-1987"},
    {nullptr, 1250, "windows-1250"},
    {nullptr, 1251, "windows-1251"},
    {nullptr, 437, "ibm437"},
    {nullptr, 20936, "x-cp20936"},
};

}  // namespace

CharsetInfo LookUpCharset(std::string_view declared) {
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; };
  while (!declared.empty() &&
         (blank(declared.front()) || declared.front() == '"' || declared.front() == '\''))
    declared.remove_prefix(1);
  while (!declared.empty() &&
         (blank(declared.back()) || declared.back() == '"' || declared.back() == '\''))
    declared.remove_suffix(1);
  std::string lower(declared);
  for (auto& c : lower)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  for (const auto& a : kAliases)
    if (lower == a.alias) return {a.cp, a.name};
  return {};
}

std::string CharsetNameOf(UINT codePage) {
  for (const auto& n : kNames)
    if (n.cp == codePage) return n.name;
  return {};
}

}  // namespace quillmer
