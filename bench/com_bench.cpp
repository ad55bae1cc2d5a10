// The automation object as clients reach it: made by its ProgID through the
// registry from the built module, and called through IDispatch. Side by side
// with the engine's own ConvertWideText on the same text, the cost of the
// automation path is the ratio of the two.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "engine/detect.h"
#include "platform/com/activation.h"
#include "platform/com/com.h"

namespace quillmer {
namespace {

// Running text of everyday Simplified Chinese, repeated to the size asked for.
std::u16string Text(std::size_t units) {
  static const std::u16string paragraph =
      u"中华人民共和国是一个发展中国家，这里的网页和文件常用简体中文书写。"
      u"转换程序把简体字变为繁体字，也把词语按照台湾和香港的习惯改写。";
  std::u16string t;
  while (t.size() < units) t += paragraph;
  t.resize(units);
  return t;
}

// A registry and home of the benchmark's own, with the module registered.
class Server {
 public:
  Server() {
    char tmpl[] = "/tmp/quillmer-bench-XXXXXX";
    dir_ = ::mkdtemp(tmpl);
    ::setenv("QUILLMER_REGISTRY", (dir_ + "/registry").c_str(), 1);
    ::setenv("QUILLMER_HOME", dir_.c_str(), 1);
    ServerModule module(QUILLMER_MODULE);
    auto reg = reinterpret_cast<DllRegisterServerFn>(module.Export("DllRegisterServer"));
    ok_ = reg && reg() == S_OK && SUCCEEDED(CLSIDFromProgID(u"Quillmer.ConFace", &clsid_));
  }
  ~Server() {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  bool ok() const { return ok_; }
  ComPtr<IDispatch> Create() const {
    ComPtr<IDispatch> d;
    CoCreateInstance(clsid_, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, d.put_void());
    return d;
  }

 private:
  std::string dir_;
  bool ok_ = false;
  CLSID clsid_;
};

const Server& TheServer() {
  static const Server server;
  return server;
}

void BM_Str2TradThroughDispatch(benchmark::State& state) {
  if (!TheServer().ok()) return state.SkipWithError("the module could not be registered");
  ComPtr<IDispatch> face = TheServer().Create();
  const std::u16string text = Text(static_cast<std::size_t>(state.range(0)));
  VARIANT result;
  InvokeDispatch(face.get(), 6, DISPATCH_METHOD, {VariantString(text)}, &result);  // warm
  for (auto _ : state) {
    InvokeDispatch(face.get(), 6, DISPATCH_METHOD, {VariantString(text)}, &result);
    benchmark::DoNotOptimize(result.bstrVal.data());
  }
  state.SetBytesProcessed(state.iterations() * state.range(0) * 2);
}
BENCHMARK(BM_Str2TradThroughDispatch)->Arg(2)->Arg(512)->Arg(32768);

void BM_ConvertWideTextDirect(benchmark::State& state) {
  const std::u16string text = Text(static_cast<std::size_t>(state.range(0)));
  std::u16string result;
  ConvertWideText(text, cdToTrad, teUnknown, result, false);  // warm
  for (auto _ : state) {
    result.clear();
    ConvertWideText(text, cdToTrad, teUnknown, result, false);
    benchmark::DoNotOptimize(result.data());
  }
  state.SetBytesProcessed(state.iterations() * state.range(0) * 2);
}
BENCHMARK(BM_ConvertWideTextDirect)->Arg(2)->Arg(512)->Arg(32768);

// What a context-menu page pays before its call: the object made by ProgID
// (the module already loaded) and released again.
void BM_CreateByProgId(benchmark::State& state) {
  if (!TheServer().ok()) return state.SkipWithError("the module could not be registered");
  TheServer().Create();
  for (auto _ : state) {
    CLSID clsid;
    CLSIDFromProgID(u"Quillmer.ConFace", &clsid);
    ComPtr<IDispatch> d;
    CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, d.put_void());
    benchmark::DoNotOptimize(d.get());
  }
}
BENCHMARK(BM_CreateByProgId);

}  // namespace
}  // namespace quillmer
