#include "page/url_pattern.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <iterator>
#include <random>
#include <regex>
#include <string>

#include "platform/base/error.h"
#include "platform/win32/codepage.h"

namespace quillmer {
namespace {

// Runs a test under a chosen system code page and puts the old one back.
class AnsiCodePage {
 public:
  explicit AnsiCodePage(const char* cp) {
    if (const char* v = std::getenv("QUILLMER_ACP")) saved_ = v, had_ = true;
    setenv("QUILLMER_ACP", cp, 1);
  }
  ~AnsiCodePage() {
    if (had_)
      setenv("QUILLMER_ACP", saved_.c_str(), 1);
    else
      unsetenv("QUILLMER_ACP");
  }

 private:
  std::string saved_;
  bool had_ = false;
};

std::string InvalidMaskMessage(std::string_view url, std::string_view pattern) {
  try {
    MatchUrlPattern(url, pattern);
  } catch (const Error& e) {
    return e.what();
  }
  return "(no error)";
}

TEST(NormalizeUrlPattern, GivesTheCanonicalForm) {
  AnsiCodePage acp("1252");
  const std::pair<const char*, const char*> cases[] = {
      {"sub.host", "http://sub.host/*"},
      {"HTTP://Host/", "http://host/*"},
      {"http://*.host/*", "http://*.host/*"},
      {"C:\\Docs\\", "file:///c:/docs/*"},
      {"about:blank", "about:blank"},
      {"ABOUT:Blank", "about:blank"},
      {"news:group", "news://group/*"},
      {"", "http://*"},
      {"host/path", "http://host/path"},
      {"https:///host", "https://host/*"},  // extra slashes go
      {"ftp://h/a\\b", "ftp://h/a/b"},
      {"c:", "file:///c:/*"},
      {"file:///C:/Docs/A.htm", "file:///c:/docs/a.htm"},
      {"HTTP://H\xD4TE", "http://h\xF4te/*"},  // ANSI lowering (Ô), not only ASCII
  };
  for (auto [in, out] : cases) EXPECT_EQ(NormalizeUrlPattern(in), out) << in;
  // Stored patterns are normalised again at load: canonical ones stay put.
  for (const char* canonical : {"http://sub.host/*", "file:///c:/docs/*", "news://group/*"})
    EXPECT_EQ(NormalizeUrlPattern(canonical), canonical);
}

TEST(NormalizePageUrl, GivesTheComparedForm) {
  AnsiCodePage acp("1252");
  EXPECT_EQ(NormalizePageUrl("C:\\Pages\\a.htm"), "file:///c:/pages/a.htm");
  EXPECT_EQ(NormalizePageUrl("FILE://C:\\Pages\\a.htm"), "file:///c:/pages/a.htm");
  // Already three slashes: a fourth would make the page match no file pattern.
  EXPECT_EQ(NormalizePageUrl("file:///C:\\Pages\\a.htm"), "file:///c:/pages/a.htm");
  EXPECT_EQ(NormalizePageUrl("http://Host"), "http://host/");
  EXPECT_EQ(NormalizePageUrl("http://host/Path/X.html"), "http://host/path/x.html");
  EXPECT_EQ(NormalizePageUrl("about:blank"), "about:blank");
  EXPECT_EQ(NormalizePageUrl(""), "");
}

TEST(MatchUrlPattern, StarsQuestionMarksAndCaseAtTheEdges) {
  AnsiCodePage acp("1252");
  const std::string star = NormalizeUrlPattern("*.example.com");
  EXPECT_EQ(star, "http://*.example.com/*");
  EXPECT_TRUE(MatchUrlPattern(NormalizePageUrl("http://www.example.com/a/b?c=1"), star));
  EXPECT_TRUE(MatchUrlPattern(NormalizePageUrl("http://a.b.example.com"), star));
  EXPECT_FALSE(MatchUrlPattern(NormalizePageUrl("http://example.com/"), star));
  EXPECT_FALSE(MatchUrlPattern(NormalizePageUrl("http://wwwxexample.com/"), star));

  const std::string host = NormalizeUrlPattern("host");
  EXPECT_TRUE(MatchUrlPattern(NormalizePageUrl("http://host"), host));
  EXPECT_TRUE(MatchUrlPattern(NormalizePageUrl("http://host/x/y.htm"), host));
  EXPECT_FALSE(MatchUrlPattern(NormalizePageUrl("http://hostile/"), host));
  EXPECT_FALSE(MatchUrlPattern(NormalizePageUrl("https://host/"), host));

  EXPECT_TRUE(MatchUrlPattern(NormalizePageUrl("http://WWW.Example.COM/Index"),
                              NormalizeUrlPattern("WWW.EXAMPLE.com/INDEX")));
  // Literals ignore ASCII case even without the lowering.
  EXPECT_TRUE(MatchUrlPattern("http://HOST/", "http://host/"));

  EXPECT_TRUE(
      MatchUrlPattern(NormalizePageUrl("C:\\Pages\\a.htm"), NormalizeUrlPattern("C:\\Pages\\")));
  EXPECT_FALSE(
      MatchUrlPattern(NormalizePageUrl("D:\\Pages\\a.htm"), NormalizeUrlPattern("C:\\Pages\\")));

  const std::string blank = NormalizeUrlPattern("about:blank");
  EXPECT_TRUE(MatchUrlPattern(NormalizePageUrl("about:blank"), blank));
  EXPECT_FALSE(MatchUrlPattern(NormalizePageUrl("about:blankx"), blank));
  EXPECT_FALSE(MatchUrlPattern(NormalizePageUrl("http://about:blank/"), blank));
}

TEST(MatchUrlPattern, Wildcards) {
  AnsiCodePage acp("1252");
  EXPECT_TRUE(MatchUrlPattern("", ""));
  EXPECT_TRUE(MatchUrlPattern("", "*"));
  EXPECT_FALSE(MatchUrlPattern("", "?"));
  EXPECT_FALSE(MatchUrlPattern("a", ""));
  EXPECT_TRUE(MatchUrlPattern("abc", "a?c"));
  EXPECT_FALSE(MatchUrlPattern("ac", "a?c"));
  EXPECT_TRUE(MatchUrlPattern("abcabd", "*abd"));  // needs the star to give back
  EXPECT_TRUE(MatchUrlPattern("a.b.c", "*.*.*"));
  EXPECT_FALSE(MatchUrlPattern("a.b", "*.*.*"));
  EXPECT_TRUE(MatchUrlPattern("ab", "a***b"));
  // "?" right after "*" is taken by the star: "*?" is "*", also at the end.
  EXPECT_TRUE(MatchUrlPattern("a", "a*?"));
  EXPECT_TRUE(MatchUrlPattern("ab", "a*??b"));
  EXPECT_FALSE(MatchUrlPattern("a", "a?*"));
}

TEST(MatchUrlPattern, Sets) {
  AnsiCodePage acp("1252");
  EXPECT_TRUE(MatchUrlPattern("b", "[abc]"));
  EXPECT_FALSE(MatchUrlPattern("d", "[abc]"));
  EXPECT_TRUE(MatchUrlPattern("d", "[!abc]"));
  EXPECT_FALSE(MatchUrlPattern("a", "[!abc]"));
  EXPECT_TRUE(MatchUrlPattern("Q", "[a-z]"));  // ranges compare in upper case
  EXPECT_TRUE(MatchUrlPattern("q", "[A-Z]"));
  EXPECT_FALSE(MatchUrlPattern("_", "[0-z]"));  // "_" lies between "Z" and "a"
  EXPECT_TRUE(MatchUrlPattern("5", "[0-9]"));
  EXPECT_TRUE(MatchUrlPattern("e", "[a-c-e]"));  // a range goes on from the last one
  EXPECT_TRUE(MatchUrlPattern("-", "[a-]"));     // "-" before "]" is itself
  EXPECT_TRUE(MatchUrlPattern("z", "[z-a]"));    // a reversed range adds nothing
  EXPECT_FALSE(MatchUrlPattern("m", "[z-a]"));
  EXPECT_TRUE(MatchUrlPattern("]x", "[!a]x"));
  EXPECT_TRUE(MatchUrlPattern("[", "[[]"));
  EXPECT_TRUE(MatchUrlPattern("!", "[a!]"));
  EXPECT_TRUE(MatchUrlPattern("http://w3.h/", "http://w[0-9].h/*"));
}

TEST(MatchUrlPattern, InvalidMasksAreReportedWithTheirPosition) {
  AnsiCodePage acp("1252");
  EXPECT_EQ(InvalidMaskMessage("x", "http://h/[ab"), "'http://h/[ab' is an invalid mask at (13)");
  EXPECT_EQ(InvalidMaskMessage("x", "["), "'[' is an invalid mask at (2)");
  EXPECT_EQ(InvalidMaskMessage("x", "a[]"), "'a[]' is an invalid mask at (3)");
  EXPECT_EQ(InvalidMaskMessage("x", "[!]"), "'[!]' is an invalid mask at (3)");
  EXPECT_EQ(InvalidMaskMessage("x", "[-a]"), "'[-a]' is an invalid mask at (2)");
  EXPECT_EQ(InvalidMaskMessage("x", "[!-a]"), "'[!-a]' is an invalid mask at (3)");
  EXPECT_EQ(InvalidMaskMessage("x", "[-]"), "'[-]' is an invalid mask at (2)");
  // The pattern is checked whatever the URL, also an empty one.
  EXPECT_EQ(InvalidMaskMessage("", "*[a"), "'*[a' is an invalid mask at (4)");
  try {
    MatchUrlPattern("x", "[");
    FAIL();
  } catch (const Error& e) {
    EXPECT_EQ(e.code(), E_INVALIDARG);
  }
}

TEST(MatchUrlPattern, ThirtyStarredElementsAreTheLimit) {
  AnsiCodePage acp("1252");
  std::string thirty, url;
  for (int i = 0; i < 30; ++i) thirty += "*a", url += "a";
  EXPECT_TRUE(MatchUrlPattern(url, thirty));
  // The end counts as an element: a trailing star is the 31st.
  EXPECT_EQ(InvalidMaskMessage(url, thirty + "*"), "'" + thirty + "*' is an invalid mask at (62)");
  EXPECT_EQ(InvalidMaskMessage(url, thirty + "*[b]"),
            "'" + thirty + "*[b]' is an invalid mask at (62)");
  // Runs of stars and absorbed "?" count once.
  EXPECT_TRUE(MatchUrlPattern(url, "**?" + thirty.substr(1)));
}

TEST(MatchUrlPattern, HostilePatternsFinish) {
  AnsiCodePage acp("1252");
  std::string url(2048, 'a'), pattern;
  for (int i = 0; i < 29; ++i) pattern += "*a";
  EXPECT_FALSE(MatchUrlPattern(url, pattern + "*b"));
  EXPECT_TRUE(MatchUrlPattern(url + "b", pattern + "*b"));
  EXPECT_FALSE(MatchUrlPattern(url, "*" + std::string(46, 'a') + "b"));
  EXPECT_FALSE(MatchUrlPattern(url, pattern + "*[!a]"));
}

// The matching rules written out as a regular expression: an independent
// answer to compare the fast matcher with.
bool ReferenceMatch(const std::string& url, const std::string& pattern) {
  std::string re;
  bool afterStar = false;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    char c = pattern[i];
    if (c == '*') {
      if (!afterStar) re += ".*";
      afterStar = true;
      continue;
    }
    if (c == '?') {
      if (!afterStar) re += ".";
      continue;
    }
    afterStar = false;
    if (c == '[') {
      std::size_t end = pattern.find(']', i);
      std::string set = pattern.substr(i + 1, end - i - 1);
      if (set[0] == '!') set[0] = '^';
      re += "[" + set + "]";
      i = end;
    } else {
      re += std::isalnum(static_cast<unsigned char>(c)) ? std::string(1, c)
                                                        : "\\" + std::string(1, c);
    }
  }
  return std::regex_match(url, std::regex(re, std::regex::icase));
}

TEST(MatchUrlPattern, AgreesWithFullBacktracking) {
  AnsiCodePage acp("1252");
  std::mt19937 rng(20240611);
  const char* tokens[] = {"a", "b", "B", ".", "*", "*", "?", "[ab]", "[!a]", "[a-b]"};
  const char urlChars[] = "abAB.";
  for (int round = 0; round < 3000; ++round) {
    std::string pattern, url;
    for (int n = rng() % 8; n > 0; --n) pattern += tokens[rng() % std::size(tokens)];
    for (int n = rng() % 10; n > 0; --n) url += urlChars[rng() % 5];
    ASSERT_EQ(MatchUrlPattern(url, pattern), ReferenceMatch(url, pattern))
        << "url '" << url << "' pattern '" << pattern << "'";
  }
}

TEST(MatchUrlPattern, DoubleByteCharactersAreWhole) {
  AnsiCodePage acp("950");
  const std::string xu = EncodeCodePage(950, u"許");  // B3 5C: a "\" trail byte
  const std::string yi = EncodeCodePage(950, u"乙");  // A4 41: an "A" trail byte
  ASSERT_EQ(xu, "\xB3\x5C");
  ASSERT_EQ(yi, "\xA4\x41");
  EXPECT_EQ(NormalizeUrlPattern("host/" + xu + yi), "http://host/" + xu + yi);
  EXPECT_EQ(NormalizePageUrl("C:\\" + xu + "\\a.htm"), "file:///c:/" + xu + "/a.htm");
  EXPECT_EQ(NormalizePageUrl("HTTP://H/" + yi), "http://h/" + yi);
  EXPECT_TRUE(MatchUrlPattern("h/" + xu, "h/?"));  // "?" takes both bytes
  EXPECT_FALSE(MatchUrlPattern("h/" + xu, "h/??"));
  EXPECT_FALSE(MatchUrlPattern("h/" + xu, "h/*\\"));  // a trail byte is no "\"
  EXPECT_TRUE(MatchUrlPattern("h/" + xu + "x", "h/*x"));
  EXPECT_FALSE(MatchUrlPattern(yi, "*a"));  // nor an "A"
  EXPECT_TRUE(MatchUrlPattern(yi, "[" + yi + "]"));
  EXPECT_TRUE(MatchUrlPattern(xu, "[!" + yi + "]"));
  // "[" and "]" as trail bytes do not open or close a set.
  EXPECT_TRUE(MatchUrlPattern("\xA5\x5D", "\xA5\x5D"));
  EXPECT_TRUE(MatchUrlPattern("\xA5\x5B", "[\xA5\x5B]"));
}

TEST(FindAutoZoom, LastMatchingEntryWins) {
  AnsiCodePage acp("1252");
  AutoZoomList list = {{120, NormalizeUrlPattern("*.example.com")},
                       {150, NormalizeUrlPattern("www.example.com")},
                       {80, NormalizeUrlPattern("other.org")}};
  EXPECT_EQ(FindAutoZoom(list, "http://www.example.com/x", 100), 150);
  EXPECT_EQ(FindAutoZoom(list, "http://news.example.com", 100), 120);
  EXPECT_EQ(FindAutoZoom(list, "http://elsewhere.net/", 100), 100);
  EXPECT_EQ(FindAutoZoom({}, "http://a/", 90), 90);
  // Patterns are lowered again before the test.
  EXPECT_EQ(FindAutoZoom({{70, "HTTP://OTHER.ORG/*"}}, "http://other.org/", 100), 70);
  // An invalid pattern, even the newest, matches nothing: the others still
  // give their zoom.
  list.push_back({60, "http://bad/[x"});
  list.push_back({65, "*[]"});
  EXPECT_EQ(FindAutoZoom(list, "http://www.example.com/", 100), 150);
  EXPECT_EQ(FindAutoZoom(list, "http://bad/[x", 100), 100);
  list.push_back({40, "http://www.example.com/*"});
  EXPECT_EQ(FindAutoZoom(list, "http://www.example.com/", 100), 40);
}

TEST(UrlToAutoZoomPattern, OffersTheDirectoryOfThePage) {
  AnsiCodePage acp("1252");
  EXPECT_EQ(UrlToAutoZoomPattern("http://intra/news/today.htm"), "http://intra/news/*");
  EXPECT_EQ(UrlToAutoZoomPattern("HTTP://Intra/News/"), "http://intra/news/*");
  EXPECT_EQ(UrlToAutoZoomPattern("http://intra/"), "http://intra/*");
  EXPECT_EQ(UrlToAutoZoomPattern("http://intra"), "http://intra/*");
  EXPECT_EQ(UrlToAutoZoomPattern("c:\\docs\\a.htm"), "file:///c:/docs/*");
  EXPECT_EQ(UrlToAutoZoomPattern("file://c:\\docs\\a.htm"), "file:///c:/docs/*");
  // A file URL that already has its three slashes keeps them.
  EXPECT_EQ(UrlToAutoZoomPattern("file:///c:\\docs\\a.htm"), "file:///c:/docs/*");
  EXPECT_EQ(UrlToAutoZoomPattern("about:blank"), "about:blank");
  EXPECT_EQ(UrlToAutoZoomPattern("nothing"), "*");
  EXPECT_EQ(UrlToAutoZoomPattern(""), "*");
}

TEST(UrlToAutoZoomPattern, WildcardsOfTheUrlAreTakenLiterally) {
  AnsiCodePage acp("1252");
  const std::string pattern = UrlToAutoZoomPattern("http://h/a[1*]/b?/x.htm");
  EXPECT_EQ(pattern, "http://h/a[[]1[*]]/b[?]/*");
  EXPECT_TRUE(MatchUrlPattern("http://h/a[1*]/b?/y.htm", pattern));
  EXPECT_FALSE(MatchUrlPattern("http://h/a1/bz/y.htm", pattern));
  EXPECT_FALSE(MatchUrlPattern("http://h/a[1xyz]/b?/y.htm", pattern));
  // An unbalanced "[" no longer makes an invalid pattern, stored or not.
  const std::string bracket = UrlToAutoZoomPattern("http://h/[draft/a.htm");
  EXPECT_TRUE(MatchUrlPattern("http://h/[draft/b.htm", bracket));
  EXPECT_EQ(NormalizeUrlPattern(bracket), bracket);
  // A query's "?" before the last "/".
  EXPECT_EQ(UrlToAutoZoomPattern("http://h/q.cgi?x=/y"), "http://h/q.cgi[?]x=/*");
}

TEST(UrlToAutoZoomPattern, TrailBytesAreNoWildcards) {
  AnsiCodePage acp("950");
  const std::string bracket = "\xA5\x5B";  // a Big5 character ending in "["
  EXPECT_EQ(UrlToAutoZoomPattern("http://h/" + bracket + "/[a.htm"), "http://h/" + bracket + "/*");
  EXPECT_EQ(EscapeUrlWildcards("/" + bracket + "[?*"), "/" + bracket + "[[][?][*]");
}

}  // namespace
}  // namespace quillmer
