// URL pattern matching on a 2 KB URL with hostile patterns, side by side with
// the C library's fnmatch(3) on the same pattern and URL.
#include <benchmark/benchmark.h>
#include <fnmatch.h>

#include <cstdlib>
#include <string>

#include "page/url_pattern.h"

namespace {

struct Case {
  const char* name;
  std::string url, pattern;
};

std::string Repeat(const std::string& s, int n) {
  std::string r;
  for (int i = 0; i < n; ++i) r += s;
  return r;
}

const Case& GetCase(int i) {
  static const std::string kUrl(2048, 'a');
  static const std::string kRealUrl =
      "http://www.example.com/" + Repeat("section/", 200) + "page.html?" + Repeat("k=v&", 100);
  static const Case cases[] = {
      // 30 stars: plain backtracking tries C(2048, 29) ways before it fails.
      {"thirty-stars", kUrl, Repeat("*a", 29) + "*[!a]"},
      // The worst within 48 characters for the matcher used: every start of
      // the star runs through 46 elements before the "b" fails.
      {"long-run", kUrl, "*" + std::string(46, 'a') + "b"},
      {"sets", kUrl, "*" + Repeat("[a-z]", 8) + "[!a]"},
      {"typical", kRealUrl, "http://*.example.com/*"},
      // Longer than any stored pattern: cost grows with URL x pattern.
      {"1k-run", kUrl, "*" + std::string(1000, 'a') + "b"},
  };
  return cases[i];
}

constexpr int kCases = 5;

// The patterns are single-byte; fix the code page so that runs compare.
class Ansi1252 {
 public:
  Ansi1252() {
    if (const char* v = std::getenv("QUILLMER_ACP")) saved_ = v, had_ = true;
    setenv("QUILLMER_ACP", "1252", 1);
  }
  ~Ansi1252() {
    if (had_)
      setenv("QUILLMER_ACP", saved_.c_str(), 1);
    else
      unsetenv("QUILLMER_ACP");
  }

 private:
  std::string saved_;
  bool had_ = false;
};

void BM_MatchUrlPattern(benchmark::State& state) {
  Ansi1252 acp;
  const Case& c = GetCase(static_cast<int>(state.range(0)));
  state.SetLabel(c.name);
  for (auto _ : state) benchmark::DoNotOptimize(quillmer::MatchUrlPattern(c.url, c.pattern));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * c.url.size()));
}
BENCHMARK(BM_MatchUrlPattern)->DenseRange(0, kCases - 1);

void BM_Fnmatch(benchmark::State& state) {
  const Case& c = GetCase(static_cast<int>(state.range(0)));
  state.SetLabel(c.name);
  for (auto _ : state)
    benchmark::DoNotOptimize(fnmatch(c.pattern.c_str(), c.url.c_str(), FNM_CASEFOLD));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * c.url.size()));
}
BENCHMARK(BM_Fnmatch)->DenseRange(0, kCases - 1);

void BM_NormalizePageUrl(benchmark::State& state) {
  Ansi1252 acp;
  const std::string url = "HTTP://WWW.EXAMPLE.COM/" + Repeat("Section/", 250);
  for (auto _ : state) benchmark::DoNotOptimize(quillmer::NormalizePageUrl(url));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * url.size()));
}
BENCHMARK(BM_NormalizePageUrl);

}  // namespace
