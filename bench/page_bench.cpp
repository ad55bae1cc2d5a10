// Page conversion of a multi-megabyte Simplified Chinese page declared
// gb2312, in its parts: parsing the page into the document model, the whole
// conversion (walking the document and converting its strings), the engine's
// share of that replayed on the same strings, and saving.
//
// The page is made from QUILLMER_BENCH_CORPUS (UTF-8 text; bench/page-compare.sh
// uses Debian's Simplified man pages), or from a built-in paragraph. With
// QUILLMER_BENCH_PAGE set, the page is also written there, so that a peer can
// convert the very same bytes (bench/page-compare.sh does).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engine/detect.h"
#include "engine/tables.h"
#include "page/charset_rules.h"
#include "page/page_convert.h"
#include "platform/browser/page.h"
#include "platform/win32/codepage.h"
#include "platform/win32/dialogs.h"

namespace quillmer {
namespace {

constexpr std::size_t kPageBytes = 4 << 20;

std::u16string Escape(std::u16string_view s) {
  std::u16string out;
  for (char16_t c : s) {
    if (c == u'<')
      out += u"&lt;";
    else if (c == u'&')
      out += u"&amp;";
    else if (c == u'>')
      out += u"&gt;";
    else
      out += c;
  }
  return out;
}

// Lines of running text: roff requests and escapes of man pages dropped.
std::vector<std::u16string> CorpusLines() {
  std::vector<std::u16string> lines;
  if (const char* path = std::getenv("QUILLMER_BENCH_CORPUS")) {
    std::ifstream in(path, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
      if (line.empty() || line[0] == '.' || line[0] == '\'') continue;
      std::u16string text;
      std::u16string u = FromUtf8(line);
      for (std::size_t i = 0; i < u.size(); ++i) {
        if (u[i] == u'\\' && i + 1 < u.size()) {
          ++i;  // \fB, \-, \e ...: the escape and its letter go
          if (u[i] == u'f' && i + 1 < u.size()) ++i;
          continue;
        }
        text += u[i];
      }
      if (text.size() > 8) lines.push_back(std::move(text));
    }
  }
  if (lines.empty()) {
    lines = {u"这是一个用来测试网页转换速度的段落，其中有许多简体中文字符和常用词语。",
             u"软件开发人员需要在不同的操作系统上编译、测试和发布他们的程序。",
             u"头发、面条、干燥的天气，以及国家图书馆里的历史书籍。"};
  }
  return lines;
}

std::string MakePage() {
  const auto lines = CorpusLines();
  std::u16string html =
      u"<!DOCTYPE html>\n<html><head>\n<meta http-equiv=\"Content-Type\" content=\"text/html; "
      u"charset=gb2312\">\n<title>网页转换测试页面</title>\n<style>body { font-family: simsun, "
      u"宋体 } h2 { font: bold 14pt 楷体_GB2312 }</style>\n</head><body>\n";
  std::size_t n = 0;
  for (std::size_t i = 0; html.size() * 2 < kPageBytes; ++i, ++n) {
    const std::u16string& text = lines[i % lines.size()];
    // Chapters of 40 blocks, as real pages nest their text.
    if (n % 40 == 0) {
      if (n) html += u"</div>\n";
      html += u"<div class=\"chapter\"><h2 title=\"" + Escape(text.substr(0, 12)) + u"\">第" +
              std::u16string(1, u"一二三四五六七八九"[n / 40 % 9]) + u"章</h2>\n";
    }
    if (n % 7 == 0) {
      html += u"<p style=\"font-family: SimSun\"><a href=\"http://example.com/文档/" +
              std::u16string(1, text[0]) + u".html\">" + Escape(text) +
              u"</a> <font face=\"宋体\">" + Escape(text.substr(0, 6)) + u"</font></p>\n";
    } else if (n % 11 == 0) {
      html += u"<form><input value=\"" + Escape(text.substr(0, 8)) + u"\"><img alt=\"" +
              Escape(text.substr(0, 5)) + u"\" src=\"a.png\"></form>\n";
    } else {
      html += u"<p>" + Escape(text) + u" <b>" + Escape(text.substr(0, 4)) + u"</b></p>\n";
    }
  }
  html += u"</div>\n</body></html>\n";
  return EncodeCodePage(936, html);
}

const std::string& Page() {
  static const std::string page = [] {
    std::string p = MakePage();
    if (const char* out = std::getenv("QUILLMER_BENCH_PAGE"))
      std::ofstream(out, std::ios::binary) << p;
    EnsureTables();
    return p;
  }();
  return page;
}

ComPtr<IWebBrowser2> LoadBenchPage() {
  LoadOptions options;
  options.detect = DetectPageCodePage;
  return LoadPageFromBytes(Page(), "/nonexistent/bench-page.html", options);
}

ComPtr<IHTMLDocument2> DocumentOf(IWebBrowser2* browser) {
  ComPtr<IDispatch> d;
  OleCheck(browser->get_Document(d.put()));
  return d.query<IHTMLDocument2>();
}

void SetBytes(benchmark::State& state) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * Page().size()));
  state.counters["page_bytes"] = static_cast<double>(Page().size());
}

// A conversion with the default settings, as the page command's.
const PageContext& Context() {
  static PageState pages;
  static const PageContext context{PageSettings{}, pages, {}};
  return context;
}

void BM_PageParse(benchmark::State& state) {
  Page();
  for (auto _ : state) benchmark::DoNotOptimize(LoadBenchPage());
  SetBytes(state);
}
BENCHMARK(BM_PageParse)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_PageConvert(benchmark::State& state) {
  Page();
  for (auto _ : state) {
    state.PauseTiming();
    auto browser = LoadBenchPage();
    state.ResumeTiming();
    ConvertBrowserTree(Context(), browser.get(), cdToTrad, ConversionTrigger::UserRequest,
                       CharsetPolicy::MaySwitch);
    state.PauseTiming();
    browser.reset();
    state.ResumeTiming();
  }
  SetBytes(state);
}
BENCHMARK(BM_PageConvert)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The engine calls the conversion makes, without the document: the body
// text checked against the charset, then every text node and title.
void BM_PageEngine(benchmark::State& state) {
  Page();
  auto browser = LoadBenchPage();
  auto doc = DocumentOf(browser.get());
  ComPtr<IHTMLElement> body;
  OleCheck(doc->get_body(body.put()));
  std::u16string bodyText;
  OleCheck(body->get_innerText(&bodyText));
  std::vector<std::u16string> texts;
  std::u16string title;
  OleCheck(doc->get_title(&title));
  texts.push_back(title);
  ComPtr<IHTMLElement> root;
  OleCheck(doc.query<IHTMLDocument3>()->get_documentElement(root.put()));
  std::vector<ComPtr<IHTMLDOMNode>> stack{root.query<IHTMLDOMNode>()};
  while (!stack.empty()) {
    auto node = stack.back();
    stack.pop_back();
    LONG type = 0;
    node->get_nodeType(&type);
    if (type == NODE_TEXT) {
      VARIANT v;
      node->get_nodeValue(&v);
      texts.push_back(v.bstrVal);
    }
    ComPtr<IHTMLDOMNode> child;
    node->get_firstChild(child.put());
    while (child) {
      stack.push_back(child);
      ComPtr<IHTMLDOMNode> next;
      child->get_nextSibling(next.put());
      child = next;
    }
  }
  for (auto _ : state) {
    benchmark::DoNotOptimize(CharsetMatchesText(bodyText, cdToTrad, "gb2312"));
    for (const auto& t : texts) {
      std::u16string r;
      ConvertWideText(t, cdToTrad, teGBK, r, false);
      benchmark::DoNotOptimize(r);
    }
  }
  state.counters["strings"] = static_cast<double>(texts.size());
  SetBytes(state);
}
BENCHMARK(BM_PageEngine)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_PageSerialize(benchmark::State& state) {
  Page();
  auto browser = LoadBenchPage();
  ConvertBrowserTree(Context(), browser.get(), cdToTrad, ConversionTrigger::UserRequest,
                     CharsetPolicy::MaySwitch);
  auto doc = DocumentOf(browser.get());
  for (auto _ : state) benchmark::DoNotOptimize(SerializeDocument(doc.get()));
  SetBytes(state);
}
BENCHMARK(BM_PageSerialize)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// Hostile pages of the same size as the normal one: parsing must stay linear,
// within a few times a flat page of as many tags (the last case).
std::string HostilePage(int kind) {
  std::string head = "<!DOCTYPE html><html><head><meta charset=gb2312></head><body>";
  std::string s = head;
  switch (kind) {
    case 0:  // one element with attributes enough to fill the page
      s += "<div";
      for (int i = 0; s.size() < kPageBytes; ++i) s += " a" + std::to_string(i) + "=x";
      s += ">";
      break;
    case 1:  // nested <div> all the way
      while (s.size() < kPageBytes) s += "<div>";
      break;
    case 2:  // nested lists
      while (s.size() < kPageBytes) s += "<ul><li>";
      break;
    case 3:  // mis-nested formatting elements, each end reopening the rest
      while (s.size() < kPageBytes) s += "<b><i><u><s>x</b>";
      break;
    case 4:  // nested tables
      while (s.size() < kPageBytes) s += "<table><tr><td>";
      break;
    case 5:  // deep first, then many paragraphs at the bottom
      for (int i = 0; i < 600; ++i) s += "<div>";
      while (s.size() < kPageBytes) s += "<p>x</p>";
      break;
    default:  // no hostile page: as many tags, flat, to compare with
      while (s.size() < kPageBytes) s += "<div></div>";
  }
  return s;
}

void BM_HostilePageParse(benchmark::State& state) {
  const std::string page = HostilePage(static_cast<int>(state.range(0)));
  for (auto _ : state)
    benchmark::DoNotOptimize(LoadPageFromBytes(page, "/nonexistent/hostile.html"));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.size()));
  state.SetLabel(std::vector<const char*>{"attributes", "divs", "lists", "misnested", "tables",
                                          "deep-then-wide", "flat"}[state.range(0)]);
}
BENCHMARK(BM_HostilePageParse)->DenseRange(0, 6)->Unit(benchmark::kMillisecond)->MinTime(1.0);

}  // namespace
}  // namespace quillmer
