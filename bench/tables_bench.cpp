// Loading the built-in tables, and phrase lookup on them: the second-character
// index against the plain scan of a first-character slot, side by side.
#include <benchmark/benchmark.h>

#include <string>

#include "engine/convert.h"
#include "engine/tables.h"
#include "platform/win32/codepage.h"

namespace {

using namespace quillmer;

// Everything the first conversion loads: strtbl, B5fix and GBfix. Target: 5 ms.
void BM_LoadAllTables(benchmark::State& state) {
  for (auto _ : state) {
    ResetTables();
    EnsureTables();
  }
}
BENCHMARK(BM_LoadAllTables)->Unit(benchmark::kMillisecond);

// Simplified text dense in characters that start many keys (发 alone starts
// hundreds).
std::u16string SampleSimplified() {
  std::u16string s;
  for (int i = 0; i < 200; ++i)
    s += u"他头发很长，发现了中国的发展问题；这台电脑的后面有一个干扰，干了一天的活。";
  return s;
}

// The same as B5fix sees it: after the character map.
std::string SampleBig5() {
  std::string b = EncodeCodePage(936, SampleSimplified());
  MapCharacters(b, TableSide::ToTrad);
  return b;
}

// The B5fix lookup over every position of the sample, through the table given.
void Scan(benchmark::State& state, const FixTable& fix) {
  const std::string text = SampleBig5();
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  for (auto _ : state) {
    std::int64_t found = 0;
    for (std::size_t i = 0; i < text.size(); i += IsLeadByte(p[i]) ? 2 : 1) {
      int slot = IsLeadByte(p[i]) ? FixSlotOfCode(p[i] << 8 | p[i + 1]) : FixSlotOfByte(p[i]);
      found += fix.Match(slot, p + i, text.size() - i);
    }
    benchmark::DoNotOptimize(found);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(text.size()));
}

void BM_PhraseLookupIndexed(benchmark::State& state) {
  EnsureTables();
  Scan(state, Tables().B5fix);
}
BENCHMARK(BM_PhraseLookupIndexed);

// The same table without Prepare: each slot is scanned key by key.
void BM_PhraseLookupLinear(benchmark::State& state) {
  FixTable linear;
  LoadBuiltinFix(linear, TableSide::ToTrad);
  Scan(state, linear);
}
BENCHMARK(BM_PhraseLookupLinear);

// A whole conversion to Traditional of the same text as UTF-16.
void BM_ConvertScriptToTrad(benchmark::State& state) {
  EnsureTables();
  const std::u16string source = SampleSimplified();
  for (auto _ : state) {
    std::u16string t = source;
    ConvertScript(t, cdToTrad);
    benchmark::DoNotOptimize(t);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(source.size() * 2));
}
BENCHMARK(BM_ConvertScriptToTrad);

}  // namespace
