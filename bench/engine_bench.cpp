// The engine's hot operations on real Chinese text: the Simplified man pages
// of Debian's manpages-zh, read from /usr/share/man/zh_CN at run time (or
// from QUILLMER_BENCH_MAN). Sizes: 1 KB and 1 MB of UTF-8.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/convert.h"
#include "engine/detect.h"
#include "engine/tables.h"
#include "platform/win32/codepage.h"

namespace quillmer {
namespace {

namespace fs = std::filesystem;

std::string Gunzip(const fs::path& path) {
  std::string out;
  gzFile f = gzopen(path.c_str(), "rb");
  if (!f) return out;
  char buf[1 << 16];
  for (int n; (n = gzread(f, buf, sizeof buf)) > 0;) out.append(buf, static_cast<std::size_t>(n));
  gzclose(f);
  return out;
}

bool HasIdeograph(std::string_view line) {
  // UTF-8 lead bytes E3..E9 start the CJK blocks U+3000..U+9FFF.
  return std::any_of(line.begin(), line.end(), [](char c) {
    auto b = static_cast<unsigned char>(c);
    return b >= 0xE3 && b <= 0xE9;
  });
}

// The lines of the man pages that hold Chinese, in file-name order: running
// text rather than formatting requests.
const std::string& Corpus() {
  static const std::string corpus = [] {
    const char* dir = std::getenv("QUILLMER_BENCH_MAN");
    fs::path root = dir ? dir : "/usr/share/man/zh_CN";
    std::vector<fs::path> files;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::end(it);
         it.increment(ec))
      if (it->is_regular_file() && it->path().extension() == ".gz") files.push_back(it->path());
    std::sort(files.begin(), files.end());
    std::string text;
    for (const auto& f : files) {
      std::string page = Gunzip(f);
      std::string_view rest = page;
      while (!rest.empty()) {
        std::size_t end = rest.find('\n');
        std::string_view line = rest.substr(0, end == rest.npos ? rest.size() : end + 1);
        if (HasIdeograph(line)) text += line;
        rest.remove_prefix(line.size());
      }
      if (text.size() > (2u << 20)) break;
    }
    return text;
  }();
  return corpus;
}

// The first `bytes` bytes of the corpus, cut back to a whole character.
std::u16string Sample(std::size_t bytes) {
  const std::string& c = Corpus();
  std::size_t n = std::min(bytes, c.size());
  while (n > 0 && n < c.size() && (static_cast<unsigned char>(c[n]) & 0xC0) == 0x80) --n;
  std::string_view s(c.data(), n);
  return DecodeUTF8Bytes(reinterpret_cast<const unsigned char*>(s.data()), s.size());
}

bool Ready(benchmark::State& state, std::size_t bytes) {
  if (Corpus().size() < bytes) {
    state.SkipWithError("too little text: install manpages-zh or set QUILLMER_BENCH_MAN");
    return false;
  }
  EnsureTables();
  return true;
}

void BM_MapCharacters(benchmark::State& state) {
  const auto size = static_cast<std::size_t>(state.range(0));
  if (!Ready(state, size)) return;
  std::string gbk = EncodeCodePage(936, Sample(size));
  // Mapping in place again and again: mapped codes are still two-byte codes,
  // so each pass does the same work.
  for (auto _ : state) {
    MapCharacters(gbk, TableSide::ToTrad);
    benchmark::DoNotOptimize(gbk.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * gbk.size()));
}

void BM_ApplyFix(benchmark::State& state) {
  const auto size = static_cast<std::size_t>(state.range(0));
  if (!Ready(state, size)) return;
  // What B5fix meets in a conversion: the text mapped to Big5.
  std::string big5 = EncodeCodePage(936, Sample(size));
  MapCharacters(big5, TableSide::ToTrad);
  for (auto _ : state) benchmark::DoNotOptimize(ApplyFix(big5, TableSide::ToTrad));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * big5.size()));
}

void BM_ConvertWideText(benchmark::State& state, ConvDirection direction) {
  const auto size = static_cast<std::size_t>(state.range(0));
  if (!Ready(state, size)) return;
  std::u16string text = Sample(size), result;
  if (direction == cdToSim) ConvertWideText(Sample(size), cdToTrad, teUnknown, text, false);
  for (auto _ : state) {
    ConvertWideText(text, direction, teUnknown, result, false);
    benchmark::DoNotOptimize(result.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size() * 2));
}

void BM_DetectEncoding(benchmark::State& state) {
  const auto size = static_cast<std::size_t>(state.range(0));
  if (!Ready(state, size)) return;
  TextStream stream(EncodeCodePage(950, Sample(size)));
  for (auto _ : state) benchmark::DoNotOptimize(DetectEncoding(stream));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * stream.size()));
}

constexpr std::int64_t kKB = 1 << 10, kMB = 1 << 20;

BENCHMARK(BM_MapCharacters)->Arg(kKB)->Arg(kMB);
BENCHMARK(BM_ApplyFix)->Arg(kKB)->Arg(kMB);
BENCHMARK_CAPTURE(BM_ConvertWideText, to_trad, cdToTrad)->Arg(kKB)->Arg(kMB);
BENCHMARK_CAPTURE(BM_ConvertWideText, to_simp, cdToSim)->Arg(kKB)->Arg(kMB);
BENCHMARK(BM_DetectEncoding)->Arg(kKB)->Arg(kMB);

}  // namespace
}  // namespace quillmer
