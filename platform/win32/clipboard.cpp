#include "platform/win32/clipboard.h"

#include <algorithm>
#include <new>

namespace quillmer {

struct GlobalBlock {
  std::string bytes;
  int locks = 0;
};

namespace {

std::function<bool(std::size_t)>& AllocFailure() {
  static std::function<bool(std::size_t)> fails;
  return fails;
}

struct ClipboardState {
  std::unique_ptr<ClipboardBackend> backend;
  bool open = false;
  // Blocks the clipboard owns: read by GetClipboardData or handed over by
  // SetClipboardData. Freed when the clipboard is emptied or closed.
  std::vector<HGLOBAL> owned;
  std::string lastError;

  ClipboardBackend& Backend() {
    if (!backend) backend = MakeX11Clipboard();
    return *backend;
  }
  void FreeOwned() {
    for (HGLOBAL b : owned) delete b;
    owned.clear();
  }
};

ClipboardState& State() {
  static ClipboardState state;
  return state;
}

}  // namespace

HGLOBAL GlobalAlloc(UINT, std::size_t bytes) {
  if (auto& fails = AllocFailure(); fails && fails(bytes)) return nullptr;
  try {
    auto* block = new GlobalBlock;
    block->bytes.resize(bytes);
    return block;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

void* GlobalLock(HGLOBAL block) {
  if (!block) return nullptr;
  ++block->locks;
  return block->bytes.data();
}

bool GlobalUnlock(HGLOBAL block) {
  if (!block || block->locks == 0) return false;
  return --block->locks > 0;
}

std::size_t GlobalSize(HGLOBAL block) { return block ? block->bytes.size() : 0; }

HGLOBAL GlobalFree(HGLOBAL block) {
  if (block && block->locks > 0) return block;
  delete block;
  return nullptr;
}

void SetGlobalAllocFailure(std::function<bool(std::size_t)> fails) {
  AllocFailure() = std::move(fails);
}

bool OpenClipboard(HWND) {
  auto& s = State();
  if (s.open) {
    s.lastError = "the clipboard is open already";
    return false;
  }
  std::string error;
  if (!s.Backend().Open(error)) {
    s.lastError = error;
    return false;
  }
  s.open = true;
  return true;
}

bool CloseClipboard() {
  auto& s = State();
  if (!s.open) {
    s.lastError = "the clipboard is not open";
    return false;
  }
  s.open = false;
  s.FreeOwned();
  std::string error;
  if (!s.Backend().Close(error)) {
    s.lastError = error;
    return false;
  }
  return true;
}

bool IsClipboardFormatAvailable(UINT format) { return State().Backend().IsFormatAvailable(format); }

HGLOBAL GetClipboardData(UINT format) {
  auto& s = State();
  if (!s.open) return nullptr;
  std::optional<std::string> bytes = s.Backend().GetData(format);
  if (!bytes) return nullptr;
  auto* block = new GlobalBlock{std::move(*bytes)};
  s.owned.push_back(block);
  return block;
}

bool EmptyClipboard() {
  auto& s = State();
  if (!s.open) return false;
  s.FreeOwned();
  return s.Backend().Empty();
}

HGLOBAL SetClipboardData(UINT format, HGLOBAL block) {
  auto& s = State();
  if (!s.open || !block) return nullptr;
  if (!s.Backend().SetData(format, block->bytes)) return nullptr;
  block->locks = 0;
  s.owned.push_back(block);
  return block;
}

std::string LastClipboardError() { return State().lastError; }

std::unique_ptr<ClipboardBackend> SetClipboardBackend(std::unique_ptr<ClipboardBackend> backend) {
  auto& s = State();
  s.FreeOwned();
  s.open = false;
  std::unique_ptr<ClipboardBackend> previous = std::move(s.backend);
  s.backend = std::move(backend);
  return previous;
}

bool MemoryClipboard::Open(std::string& error) {
  int n = ++opens_;
  if (failOpen && failOpen(n)) {
    log.push_back("open failed");
    error = "the clipboard is held by another program";
    return false;
  }
  if (beforeOpen) beforeOpen(n);
  open_ = true;
  log.push_back("open");
  return true;
}

bool MemoryClipboard::Close(std::string&) {
  open_ = false;
  log.push_back("close");
  return true;
}

bool MemoryClipboard::IsFormatAvailable(UINT format) { return formats.count(format) > 0; }

std::optional<std::string> MemoryClipboard::GetData(UINT format) {
  log.push_back("get " + std::to_string(format));
  if (!open_) return std::nullopt;
  auto it = formats.find(format);
  if (it == formats.end()) return std::nullopt;
  return it->second;
}

bool MemoryClipboard::Empty() {
  log.push_back("empty");
  if (!open_) return false;
  formats.clear();
  return true;
}

bool MemoryClipboard::SetData(UINT format, std::string bytes) {
  log.push_back("set " + std::to_string(format));
  if (!open_ || std::find(refuse.begin(), refuse.end(), format) != refuse.end()) return false;
  formats[format] = std::move(bytes);
  return true;
}

}  // namespace quillmer
