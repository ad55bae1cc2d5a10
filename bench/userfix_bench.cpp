// What the index cache buys: building B5fix from the cached merge in
// b5fix.ndx, against the built-in table alone (the peer: no user file) and
// against merging and sorting the user file again, with 2000 user entries.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "engine/convert.h"
#include "engine/tables.h"
#include "engine/userfix.h"
#include "platform/win32/module.h"

namespace {

using namespace quillmer;

class UserFiles {
 public:
  UserFiles() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "quillmer-bench-XXXXXX").string();
    dir_ = std::string(::mkdtemp(tmpl.data())) + "/";
    std::string text = "-1,-1,-1,-1,-1,-1\r\n\"Key\",\"Value\"\r\n";
    // Big5 pairs from the common range, each a key the built-in table lacks.
    for (int i = 0; i < 2000; ++i) {
      char key[6] = {static_cast<char>(0xA4 + i / 157),
                     static_cast<char>(0x40 + i % 63),
                     static_cast<char>(0xA5 + i % 7),
                     static_cast<char>(0x41 + i % 50),
                     'x',
                     0};
      text += JoinFixLine(key, std::string(key, 4)) + "\r\n";
    }
    std::ofstream(dir_ + "user_b5fix.dat", std::ios::binary) << text;
  }
  ~UserFiles() { std::filesystem::remove_all(dir_); }
  const std::string& dir() const { return dir_; }

 private:
  std::string dir_;
};

const UserFiles& Files() {
  static UserFiles files;
  return files;
}

// stale: the stored age never matches, so every InitB5fix merges again.
void Install(bool stale) {
  static std::map<std::string, std::int32_t> ages;
  Tables().user = UserFixHost{
      Files().dir(), [stale](std::string_view key) { return stale ? -2 : ages[std::string(key)]; },
      [](std::string_view key, std::int32_t age) { ages[std::string(key)] = age; }};
}

void BM_InitB5fix_BuiltIn(benchmark::State& state) {
  Tables().user.reset();
  for (auto _ : state) InitB5fix();
  state.counters["entries"] = static_cast<double>(Tables().B5fix.Count());
}
BENCHMARK(BM_InitB5fix_BuiltIn)->Unit(benchmark::kMillisecond);

void BM_InitB5fix_ReadIndex(benchmark::State& state) {
  Install(false);
  InitB5fix();  // builds the index once
  for (auto _ : state) InitB5fix();
  state.counters["entries"] = static_cast<double>(Tables().B5fix.Count());
  Tables().user.reset();
}
BENCHMARK(BM_InitB5fix_ReadIndex)->Unit(benchmark::kMillisecond);

void BM_InitB5fix_Rebuild(benchmark::State& state) {
  Install(true);
  for (auto _ : state) InitB5fix();
  state.counters["entries"] = static_cast<double>(Tables().B5fix.Count());
  Tables().user.reset();
}
BENCHMARK(BM_InitB5fix_Rebuild)->Unit(benchmark::kMillisecond);

// What tells the built-in table an index was merged with: the hash of its
// keys and replacements, here of copies of them so that each call takes it
// (the module's own are hashed once per process). Part of a rebuild or an
// index read, never of the plain load.
void BM_BuiltinFixIdentity_Uncached(benchmark::State& state) {
  const std::string keys(*LoadModuleResource("b5_1ndx")), repls(*LoadModuleResource("b5_2ndx"));
  SetResourceOverride("b5_1ndx", RT_RCDATA, keys);
  SetResourceOverride("b5_2ndx", RT_RCDATA, repls);
  for (auto _ : state) benchmark::DoNotOptimize(BuiltinFixIdentity(TableSide::ToTrad));
  state.SetBytesProcessed(
      static_cast<std::int64_t>(state.iterations() * (keys.size() + repls.size())));
  ClearResourceOverrides();
}
BENCHMARK(BM_BuiltinFixIdentity_Uncached)->Unit(benchmark::kMicrosecond);

// Hostile user tables: 8000 keys that share their first two characters (and
// a third), against 1.2 MB of text that begins every one of them. The time
// must grow with the text alone, not with the keys that share a prefix.
class SharedPrefixFiles {
 public:
  SharedPrefixFiles() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "quillmer-bench-XXXXXX").string();
    dir_ = std::string(::mkdtemp(tmpl.data())) + "/";
    std::string text = "-1,-1,-1,-1,-1,-1\r\n\"Key\",\"Value\"\r\n";
    const std::string prefix = "\xA4\xA4\xA4\x40\xA4\x41";  // 一 乙 丁 in Big5
    for (int i = 0; i < 8000; ++i) {
      char tail[3] = {static_cast<char>(0xA5 + i / 157 % 20), static_cast<char>(0x40 + i % 63), 0};
      text += JoinFixLine(prefix + tail + std::to_string(i), "x") + "\r\n";
    }
    std::ofstream(dir_ + "user_b5fix.dat", std::ios::binary) << text;
    // Text that matches the shared prefix at every character but no key.
    while (input_.size() < 1200000) input_ += prefix + "\xA4\x42";
  }
  ~SharedPrefixFiles() { std::filesystem::remove_all(dir_); }
  const std::string& dir() const { return dir_; }
  const std::string& input() const { return input_; }

 private:
  std::string dir_, input_;
};

void BM_ApplyFix_SharedPrefixKeys(benchmark::State& state) {
  static SharedPrefixFiles files;
  static std::map<std::string, std::int32_t> ages;
  Tables().user =
      UserFixHost{files.dir(), [](std::string_view key) { return ages[std::string(key)]; },
                  [](std::string_view key, std::int32_t age) { ages[std::string(key)] = age; }};
  InitB5fix();
  EnsureTables();
  for (auto _ : state) benchmark::DoNotOptimize(ApplyFix(files.input(), TableSide::ToTrad));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * files.input().size()));
  state.counters["entries"] = static_cast<double>(Tables().B5fix.Count());
  Tables().user.reset();
  InitB5fix();
}
BENCHMARK(BM_ApplyFix_SharedPrefixKeys)->Unit(benchmark::kMillisecond);

}  // namespace
