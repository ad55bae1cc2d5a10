// The clipboard as the platform offers it: open it, ask which formats it
// holds, read a format's block, empty it and hand it blocks, close it. Behind
// the calls sits a backend: the X11 clipboard by default, an in-memory one in
// tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/base/error.h"
#include "platform/base/types.h"

namespace quillmer {

constexpr UINT CF_TEXT = 1;          // ANSI code page text ending with a zero byte
constexpr UINT CF_UNICODETEXT = 13;  // UTF-16 text ending with a zero unit

constexpr HRESULT CLIPBRD_E_CANT_OPEN = static_cast<HRESULT>(0x800401D0u);
constexpr HRESULT CLIPBRD_E_CANT_SET = static_cast<HRESULT>(0x800401D2u);
constexpr HRESULT CLIPBRD_E_CANT_CLOSE = static_cast<HRESULT>(0x800401D4u);

// Movable memory blocks, the currency of the clipboard.
struct GlobalBlock;
using HGLOBAL = GlobalBlock*;
constexpr UINT GMEM_MOVEABLE = 0x0002;
constexpr UINT GMEM_DDESHARE = 0x2000;

// Null when the memory cannot be had.
HGLOBAL GlobalAlloc(UINT flags, std::size_t bytes);
void* GlobalLock(HGLOBAL block);
bool GlobalUnlock(HGLOBAL block);
std::size_t GlobalSize(HGLOBAL block);
// Null on success, the block when it could not be freed (still locked).
HGLOBAL GlobalFree(HGLOBAL block);
// Test seam: allocations for which fails(bytes) is true return null. An
// empty function lets every allocation through.
void SetGlobalAllocFailure(std::function<bool(std::size_t bytes)> fails);

// False when the clipboard cannot be opened (LastClipboardError says why),
// also when this process has it open already.
bool OpenClipboard(HWND owner);
// Closing hands what was put on the clipboard to the system; false when that
// failed (LastClipboardError says why). The clipboard is closed either way.
bool CloseClipboard();
bool IsClipboardFormatAvailable(UINT format);
// Open clipboard only. The block belongs to the clipboard and lasts until it
// is emptied or closed; null when the format is not there.
HGLOBAL GetClipboardData(UINT format);
bool EmptyClipboard();
// Open clipboard only. On success the clipboard owns the block and it must
// not be used again; null on failure, and the caller still owns it.
HGLOBAL SetClipboardData(UINT format, HGLOBAL block);
std::string LastClipboardError();

// Where the clipboard calls go. Blocks cross as byte strings.
class ClipboardBackend {
 public:
  virtual ~ClipboardBackend() = default;
  // On failure, error says why.
  virtual bool Open(std::string& error) = 0;
  virtual bool Close(std::string& error) = 0;
  // Also asked while closed.
  virtual bool IsFormatAvailable(UINT format) = 0;
  virtual std::optional<std::string> GetData(UINT format) = 0;
  virtual bool Empty() = 0;
  virtual bool SetData(UINT format, std::string bytes) = 0;
};

// Installs the backend the calls go to and returns the previous one; null
// goes back to the system clipboard. Not while the clipboard is open.
std::unique_ptr<ClipboardBackend> SetClipboardBackend(std::unique_ptr<ClipboardBackend> backend);

// The X11 CLIPBOARD selection of the display named by DISPLAY. CF_UNICODETEXT
// and CF_TEXT are both the text the owner offers as UTF8_STRING,
// text/plain;charset=utf-8 or STRING (the latter in the ANSI code page, as
// the platform derives one text format from the other); other targets count
// as other formats. What is put on it is served, after CloseClipboard, by a
// background process until another client takes the selection.
std::unique_ptr<ClipboardBackend> MakeX11Clipboard();

// A clipboard in memory, each format held on its own, with faults to inject.
class MemoryClipboard : public ClipboardBackend {
 public:
  std::map<UINT, std::string> formats;
  // Consulted at each open with its number (1 for the first): true makes
  // that open fail.
  std::function<bool(int open)> failOpen;
  // Runs at each open before it succeeds: another program's turn.
  std::function<void(int open)> beforeOpen;
  // SetData fails for these formats.
  std::vector<UINT> refuse;
  // What happened, in order: "open", "close", "empty", "get 13", "set 1" ...
  std::vector<std::string> log;

  bool IsOpen() const { return open_; }
  int Opens() const { return opens_; }

  bool Open(std::string& error) override;
  bool Close(std::string& error) override;
  bool IsFormatAvailable(UINT format) override;
  std::optional<std::string> GetData(UINT format) override;
  bool Empty() override;
  bool SetData(UINT format, std::string bytes) override;

 private:
  bool open_ = false;
  int opens_ = 0;
};

}  // namespace quillmer
