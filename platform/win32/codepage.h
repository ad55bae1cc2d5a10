// Windows code-page conversion calls, carried out by ICU converters.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/base/types.h"

namespace quillmer {

constexpr UINT CP_ACP = 0;
constexpr UINT CP_UTF8 = 65001;
// The Chinese code pages: Simplified (GBK), its superset GB18030, and
// Traditional (Big5).
constexpr UINT kCodePageGbk = 936;
constexpr UINT kCodePageGb18030 = 54936;
constexpr UINT kCodePageBig5 = 950;
// The other double-byte code pages: Japanese (Shift-JIS) and Korean.
constexpr UINT kCodePageShiftJis = 932;
constexpr UINT kCodePageKorean = 949;

// Decodes srcLen bytes (-1: up to and including a NUL) of code page cp into
// dst. With dstLen 0 only the needed length is returned. Returns 0 when the
// code page is not installed or dst is too small. Undecodable bytes give "?".
int MultiByteToWideChar(UINT cp, DWORD flags, const char* src, int srcLen, char16_t* dst,
                        int dstLen);

// Encodes srcLen units (-1: up to and including a NUL) into code page cp. A
// character the code page lacks becomes defaultChar (null: "?"), and
// *usedDefault, when given, says whether that happened.
int WideCharToMultiByte(UINT cp, DWORD flags, const char16_t* src, int srcLen, char* dst,
                        int dstLen, const char* defaultChar, bool* usedDefault);

bool IsValidCodePage(UINT cp);

// The system ANSI code page: QUILLMER_ACP when set, else from the locale.
UINT GetACP();

// Whole-string forms of the two calls above, in one pass each; the forms with
// `out` reuse its storage.
std::u16string DecodeCodePage(UINT cp, std::string_view bytes);
void DecodeCodePage(UINT cp, std::string_view bytes, std::u16string& out);
std::string EncodeCodePage(UINT cp, std::u16string_view text);
void EncodeCodePage(UINT cp, std::u16string_view text, std::string& out);
// The bytes of text in cp; nullopt when cp cannot hold all of it (nothing is
// put in its place), for text that must be stored exactly.
std::optional<std::string> EncodeCodePageExactly(UINT cp, std::u16string_view text);

// Per-character answers for 936 and 950, from lookup arrays that are filled
// from ICU as characters are first met. EncodeUnitCached gives the bytes (1 or
// 2) of one unit that is not a surrogate, or -1 when there is no such answer
// (another code page, one marked missing, or an unusual mapping).
// DecodeCharCached is true when the n bytes are one whole character in any
// context, giving exactly one unit.
int EncodeUnitCached(UINT cp, char16_t u, unsigned char out[2]);
bool DecodeCharCached(UINT cp, const unsigned char* bytes, std::size_t n, char16_t* unit);
bool HasCodePageCache(UINT cp);
// Decodes bytes as DecodeCodePage does, handing the units to take a block at
// a time. False when the arrays cannot answer (another code page, one marked
// missing, a mapping they do not hold): the blocks given so far are then
// void, and DecodeCodePage gives the whole.
bool DecodeCodePageBlocks(UINT cp, std::string_view bytes,
                          void (*take)(void*, const char16_t*, std::size_t), void* context);
// Test seam: false sends every conversion straight to ICU.
void SetCodePageCache(bool enabled);

// Test seam: make an installed code page look missing (or bring it back).
void SetCodePageInstalled(UINT cp, bool installed);
void ResetCodePages();

}  // namespace quillmer
