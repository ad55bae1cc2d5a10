// The user's emendation tables: user_b5fix.dat and user_gbfix.dat beside the
// module, merged with the built-in phrase tables, and the index files
// b5fix.ndx and gbfix.ndx that cache the merge.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/tables.h"

namespace quillmer {

// The names belonging to one side: 0 B5fix, 1 GBfix.
struct FixSide {
  const char* userFile;    // "user_b5fix.dat"
  const char* indexFile;   // "b5fix.ndx"
  const char* ageKey;      // "AgeUserB5fix", in section "Text_Convert"
  const char* hashKey;     // "HashUserB5fix": the content the index was built from
  const char* builtinKey;  // "HashBuiltinB5fix": the built-in table it was merged with
  std::uint8_t formatByte;
  const char* readError;  // shown when an open index file cannot be read
};
const FixSide& FixSideOf(TableSide side);

// ---- comma text ------------------------------------------------------------

// Key and replacement as one line: a field with a character 0x00-0x20, a
// double quote or a comma is quoted, its quotes doubled.
std::string JoinFixLine(std::string_view key, std::string_view replacement);
// The fields of a line.
std::vector<std::string> SplitFixLine(std::string_view line);
// The first field of a line, unquoted.
std::string FirstField(std::string_view line);
// The entry a line gives: two fields, or one non-empty field (empty
// replacement); nullopt for any other line and for an empty key.
std::optional<std::pair<std::string, std::string>> ParseFixLine(std::string_view line);

// The entry lines of a user file: every line after the first two.
std::vector<std::string> UserFixLines(std::string_view fileBytes);

// ---- the merge -------------------------------------------------------------

// Builds table from the built-in entries and the user's lines: in descending
// key order, a user entry before a built-in one with the same key (so the
// user's wins), equal keys otherwise in the order given; then the index.
// The table is not prepared. False when there was nothing to merge.
bool MergeFixTable(FixTable& table, const FixTable& builtin, const std::vector<std::string>& user);

// ---- the index file --------------------------------------------------------

constexpr std::int32_t kFixIndexHeaderSize = 25;  // KeysOffset of a file we write
struct FixIndexHeader {
  std::uint8_t FormatByte = 0;
  std::int32_t KeysOffset = 0, KeysLength = 0;
  std::int32_t ValuesOffset = 0, ValuesLength = 0;
  std::int32_t IndexOffset = 0, IndexLength = 0;
};

// The file's bytes for a table (keys and replacements with CR LF, then the
// index records of the slots that start keys).
std::string WriteFixIndexFile(const FixTable& table, std::uint8_t formatByte);
// Fills table from a file's bytes. False, with the table cleared, when the
// file is short, a block lies outside it, the key and replacement counts
// differ, the index does not describe the keys, or (formatByte 0-255) the
// file belongs to the other table: such a file is stale.
bool ReadFixIndexFile(std::string_view bytes, FixTable& table, int formatByte = -1);

// ---- file ages -------------------------------------------------------------

// The platform's packed date-time in local time: date in the high 16 bits
// (years since 1980, month, day), time in the low 16 bits (hours, minutes,
// seconds / 2). -1 when it cannot hold the time (before 1980, after 2107).
std::int32_t PackDosDateTime(std::time_t t);
// The packed last-write time of a file; -1 when it does not exist.
std::int32_t FileAge(const std::string& path);
// What tells one version of a user file from another where its age cannot
// (two saves within two seconds): a hash of its bytes and their count.
std::int32_t UserFileHash(std::string_view bytes);

// ---- the host --------------------------------------------------------------

// Whether side's index file must be built again: it is missing, or the user
// file's age or content, or the built-in table, differs from the stored values.
bool IndexStale(TableSide side, const UserFixHost& host);

// The user path of InitB5fix / InitGBfix; false when it does not apply (no
// user file), so that the built-in table is loaded. Messages go to the
// current tables' reporter.
bool LoadUserFix(FixTable& table, TableSide side, const UserFixHost& host);

}  // namespace quillmer
