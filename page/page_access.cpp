#include "page/page_access.h"

#include <array>
#include <utility>
#include <vector>

namespace quillmer {
namespace {

constexpr ULONG kMaxEmbeddings = 100;

ComPtr<IEnumUnknown> EnumEmbeddings(IWebBrowser2* browser) {
  ComPtr<IDispatch> document;
  if (!browser || FAILED(browser->get_Document(document.put())) || !document) return {};
  auto container = document.query<IOleContainer>();
  if (!container) return {};
  ComPtr<IEnumUnknown> items;
  if (FAILED(container->EnumObjects(OLECONTF_EMBEDDINGS, items.put()))) return {};
  return items;
}

}  // namespace

ComPtr<IWebBrowser2> GetTopLevelBrowser(IUnknown* object) {
  auto provider = QueryOrThrow<IServiceProvider>(object);
  ComPtr<IServiceProvider> top;
  if (FAILED(QueryService(provider.get(), SID_STopLevelBrowser, &top)) || !top) return {};
  ComPtr<IWebBrowser2> browser;
  if (FAILED(QueryService(top.get(), SID_SWebBrowserApp, &browser))) return {};
  return browser;
}

int CountEmbeddedObjects(IWebBrowser2* browser) {
  try {
    auto items = EnumEmbeddings(browser);
    if (!items) return 0;
    std::array<IUnknown*, kMaxEmbeddings> fetchedItems{};
    ULONG fetched = 0;
    // Only what was fetched counts, whatever the call answers.
    items->Next(kMaxEmbeddings, fetchedItems.data(), &fetched);
    if (fetched > kMaxEmbeddings) fetched = kMaxEmbeddings;
    for (ULONG i = 0; i < fetched; ++i)
      if (fetchedItems[i]) fetchedItems[i]->Release();
    return static_cast<int>(fetched);
  } catch (const std::exception&) {
    return 0;
  }
}

ComPtr<IWebBrowser2> GetEmbeddedBrowser(IWebBrowser2* browser, int index) {
  try {
    if (index < 0) return {};
    // A fresh enumerator for every index: the embeddings keep their order.
    auto items = EnumEmbeddings(browser);
    if (!items) return {};
    if (FAILED(items->Skip(static_cast<ULONG>(index)))) return {};
    IUnknown* item = nullptr;
    ULONG fetched = 0;
    HRESULT hr = items->Next(1, &item, &fetched);
    auto object = Adopt(item);
    if (FAILED(hr) || fetched != 1) return {};
    return object.query<IWebBrowser2>();
  } catch (const std::exception&) {
    return {};
  }
}

namespace {

// The browser's embedded browsers, all of them, in order with their indexes.
std::vector<std::pair<ULONG, ComPtr<IWebBrowser2>>> EmbeddedBrowsers(IWebBrowser2* browser) {
  std::vector<std::pair<ULONG, ComPtr<IWebBrowser2>>> frames;
  auto items = EnumEmbeddings(browser);
  if (!items) return frames;
  for (ULONG index = 0;; ++index) {
    IUnknown* item = nullptr;
    ULONG fetched = 0;
    HRESULT hr = items->Next(1, &item, &fetched);
    auto object = Adopt(item);
    if (FAILED(hr) || fetched != 1) break;
    if (auto frame = object.query<IWebBrowser2>()) frames.emplace_back(index, std::move(frame));
  }
  return frames;
}

int CountFrames(IWebBrowser2* browser, bool beyondLimitOnly) {
  int n = 0;
  for (auto& [index, frame] : EmbeddedBrowsers(browser)) {
    if (beyondLimitOnly && index < kMaxEmbeddings)
      n += CountFrames(frame.get(), true);
    else
      n += 1 + CountFrames(frame.get(), false);
  }
  return n;
}

}  // namespace

int CountFramesBeyondLimit(IWebBrowser2* browser) {
  try {
    return CountFrames(browser, true);
  } catch (const std::exception&) {
    return 0;
  }
}

}  // namespace quillmer
