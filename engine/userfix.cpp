#include "engine/userfix.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "engine/types.h"
#include "platform/base/error.h"
#include "platform/base/fileio.h"
#include "platform/win32/dialogs.h"

namespace quillmer {
namespace {

constexpr FixSide kSides[2] = {
    {"user_b5fix.dat", "b5fix.ndx", "AgeUserB5fix", "HashUserB5fix", "HashBuiltinB5fix", 0x01,
     "Error inititating B5fix!"},
    {"user_gbfix.dat", "gbfix.ndx", "AgeUserGBfix", "HashUserGBfix", "HashBuiltinGBfix", 0x76,
     "Error initiating GBfix!"},
};

bool NeedsQuotes(std::string_view field) {
  return std::any_of(field.begin(), field.end(), [](char c) {
    return static_cast<unsigned char>(c) <= 0x20 || c == '"' || c == ',';
  });
}

void AppendField(std::string& out, std::string_view field) {
  if (!NeedsQuotes(field)) {
    out += field;
    return;
  }
  out += '"';
  for (char c : field) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

bool IsSpace(char c) { return c != '\0' && static_cast<unsigned char>(c) <= 0x20; }

// The slot of a key's first character; -1 when it has none in the index.
int SlotOfKey(std::string_view key) {
  if (key.empty()) return -1;
  auto b0 = static_cast<unsigned char>(key[0]);
  if (!IsLeadByte(b0)) return FixSlotOfByte(b0);
  // A lone lead byte reads its trail as the zero that would end the text.
  unsigned trail = key.size() > 1 ? static_cast<unsigned char>(key[1]) : 0;
  int slot = FixSlotOfCode(static_cast<unsigned>(b0) << 8 | trail);
  return slot >= 0 && slot < kFixSlots ? slot : -1;
}

// Unsigned byte order, a prefix before its extensions.
bool Less(std::string_view a, std::string_view b) {
  std::size_t n = std::min(a.size(), b.size());
  int c = n ? std::memcmp(a.data(), b.data(), n) : 0;
  return c != 0 ? c < 0 : a.size() < b.size();
}

void FillIndex(FixTable& table) {
  FixIndex& ix = table.Index();
  for (std::size_t i = 0; i < table.Count(); ++i) {
    int slot = SlotOfKey(table.Key(i));
    if (slot < 0) continue;
    FixSlot& s = ix[static_cast<std::size_t>(slot)];
    if (s.first < 0) s.first = static_cast<std::int32_t>(i);
    s.last = static_cast<std::int32_t>(i);
  }
}

void PutInt(std::string& out, std::int32_t v) {
  auto u = static_cast<std::uint32_t>(v);
  for (int i = 0; i < 4; ++i) out += static_cast<char>(u >> (8 * i) & 0xFF);
}

std::int32_t GetInt(std::string_view bytes, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(bytes[at + i]);
  return static_cast<std::int32_t>(v);
}

std::size_t CountLines(std::string_view text) {
  std::size_t n = 0;
  ForEachLine(text, [&](std::size_t, std::size_t) {
    ++n;
    return true;
  });
  return n;
}

void ShowError(const std::string& text, unsigned icon) { Tables().Report(text, icon); }

bool Exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

void Rebuild(FixTable& table, TableSide which, const UserFixHost& host) {
  const FixSide& side = FixSideOf(which);
  const std::string userPath = host.directory + side.userFile;
  table.Clear();
  FixTable builtin;
  LoadBuiltinFix(builtin, which);
  const std::int32_t builtinId = BuiltinFixIdentity(which);
  // The age before the read: a file saved meanwhile then counts as changed.
  const std::int32_t age = FileAge(userPath);
  std::vector<std::string> user;
  std::int32_t hash = 0;
  try {
    auto bytes = ReadFileIfExists(userPath);
    if (!bytes) throw Error("missing", E_FILE_NOT_FOUND);
    user = UserFixLines(*bytes);
    hash = UserFileHash(*bytes);
  } catch (const Error&) {
    ShowError("Error loading " + std::string(side.userFile) + " !", MB_ICONERROR);
  }
  if (!MergeFixTable(table, builtin, user)) return;
  // The message names the file that could not be written.
  try {
    ReplaceFileAtomic(host.directory + side.indexFile, WriteFixIndexFile(table, side.formatByte),
                      0444);
  } catch (const Error&) {
    ShowError("Cannot write \"" + std::string(side.indexFile) + "\".", MB_ICONERROR);
    return;
  }
  try {
    // The hashes first: an age stored without them still leaves the index stale.
    host.WriteAgeValue(side.builtinKey, builtinId);
    host.WriteAgeValue(side.hashKey, hash);
    host.WriteAgeValue(side.ageKey, age);
  } catch (const Error&) {
    ShowError("Cannot write \"" + host.settingsFile + "\".", MB_ICONERROR);
  }
}

}  // namespace

const FixSide& FixSideOf(TableSide side) { return kSides[SlotOf(side)]; }

std::string JoinFixLine(std::string_view key, std::string_view replacement) {
  std::string out;
  AppendField(out, key);
  out += ',';
  AppendField(out, replacement);
  return out;
}

std::vector<std::string> SplitFixLine(std::string_view line) {
  // The text ends at a zero byte, as it did for the platform's string lists.
  line = line.substr(0, line.find('\0'));
  std::vector<std::string> fields;
  std::size_t i = 0, n = line.size();
  while (i < n && IsSpace(line[i])) ++i;
  while (i < n) {
    std::string field;
    if (line[i] == '"') {
      ++i;
      while (i < n) {
        if (line[i] == '"') {
          if (i + 1 < n && line[i + 1] == '"') {
            field += '"';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        field += line[i++];
      }
    } else {
      std::size_t start = i;
      while (i < n && !IsSpace(line[i]) && line[i] != ',') ++i;
      field.assign(line.substr(start, i - start));
    }
    fields.push_back(std::move(field));
    while (i < n && IsSpace(line[i])) ++i;
    if (i < n && line[i] == ',') {
      ++i;
      while (i < n && IsSpace(line[i])) ++i;
    }
  }
  return fields;
}

std::string FirstField(std::string_view line) {
  auto fields = SplitFixLine(line);
  return fields.empty() ? std::string() : std::move(fields[0]);
}

std::optional<std::pair<std::string, std::string>> ParseFixLine(std::string_view line) {
  auto fields = SplitFixLine(line);
  if (fields.size() == 2 && !fields[0].empty())
    return std::pair{std::move(fields[0]), std::move(fields[1])};
  if (fields.size() == 1 && !fields[0].empty())
    return std::pair{std::move(fields[0]), std::string()};
  return std::nullopt;
}

std::vector<std::string> UserFixLines(std::string_view fileBytes) {
  std::vector<std::string> lines;
  std::size_t n = 0;
  ForEachLine(fileBytes, [&](std::size_t begin, std::size_t end) {
    if (n++ >= 2) lines.emplace_back(fileBytes.substr(begin, end - begin));
    return true;
  });
  return lines;
}

bool MergeFixTable(FixTable& table, const FixTable& builtin, const std::vector<std::string>& user) {
  struct Entry {
    std::string_view key, replacement;
    int group;  // 0 user, 1 built-in
  };
  std::vector<std::pair<std::string, std::string>> parsed;
  parsed.reserve(user.size());
  for (const auto& line : user)
    if (auto e = ParseFixLine(line)) parsed.push_back(std::move(*e));
  table.Clear();
  if (builtin.Count() == 0 && user.empty()) return false;

  std::vector<Entry> entries;
  entries.reserve(builtin.Count() + parsed.size());
  for (std::size_t i = 0; i < builtin.Count(); ++i)
    if (!builtin.Key(i).empty()) entries.push_back({builtin.Key(i), builtin.Replacement(i), 1});
  for (const auto& [k, r] : parsed) entries.push_back({k, r, 0});
  std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
    if (a.key != b.key) return Less(b.key, a.key);
    return a.group < b.group;
  });
  for (const Entry& e : entries) table.Add(e.key, e.replacement);
  FillIndex(table);
  return true;
}

std::string WriteFixIndexFile(const FixTable& table, std::uint8_t formatByte) {
  std::string keys, values, index;
  for (std::size_t i = 0; i < table.Count(); ++i) {
    keys.append(table.Key(i)).append("\r\n");
    values.append(table.Replacement(i)).append("\r\n");
  }
  const FixIndex& ix = table.Index();
  for (int slot = 0; slot < kFixSlots; ++slot) {
    const FixSlot& s = ix[static_cast<std::size_t>(slot)];
    if (s.first < 0) continue;
    PutInt(index, slot);
    PutInt(index, s.first);
    PutInt(index, s.last);
  }
  std::string out;
  out += static_cast<char>(formatByte);
  const auto kl = static_cast<std::int32_t>(keys.size());
  const auto vl = static_cast<std::int32_t>(values.size());
  PutInt(out, kFixIndexHeaderSize);
  PutInt(out, kl);
  PutInt(out, kFixIndexHeaderSize + kl);
  PutInt(out, vl);
  PutInt(out, kFixIndexHeaderSize + kl + vl);
  PutInt(out, static_cast<std::int32_t>(index.size()));
  out += keys;
  out += values;
  out += index;
  return out;
}

bool ReadFixIndexFile(std::string_view bytes, FixTable& table, int formatByte) {
  table.Clear();
  if (bytes.size() < static_cast<std::size_t>(kFixIndexHeaderSize)) return false;
  FixIndexHeader h;
  h.FormatByte = static_cast<std::uint8_t>(bytes[0]);
  // The first byte tells the two tables' files apart: the other table's
  // phrases would silently replace this one's.
  if (formatByte >= 0 && h.FormatByte != formatByte) return false;
  h.KeysOffset = GetInt(bytes, 1);
  h.KeysLength = GetInt(bytes, 5);
  h.ValuesOffset = GetInt(bytes, 9);
  h.ValuesLength = GetInt(bytes, 13);
  h.IndexOffset = GetInt(bytes, 17);
  h.IndexLength = GetInt(bytes, 21);
  auto block = [&](std::int32_t offset, std::int32_t length) -> std::optional<std::string_view> {
    if (offset < 0 || length < 0) return std::nullopt;
    if (static_cast<std::uint64_t>(offset) + static_cast<std::uint64_t>(length) > bytes.size())
      return std::nullopt;
    return bytes.substr(static_cast<std::size_t>(offset), static_cast<std::size_t>(length));
  };
  auto keys = block(h.KeysOffset, h.KeysLength);
  auto values = block(h.ValuesOffset, h.ValuesLength);
  auto index = block(h.IndexOffset, h.IndexLength);
  if (!keys || !values || !index) return false;
  const std::size_t count = CountLines(*keys);
  if (count != CountLines(*values)) return false;

  table.SetLists(std::string(*keys), std::string(*values));
  FixIndex& ix = table.Index();
  for (std::size_t at = 0; at + 12 <= index->size(); at += 12) {
    std::int32_t slot = GetInt(*index, at);
    if (slot < 0 || slot >= kFixSlots) continue;
    ix[static_cast<std::size_t>(slot)] = FixSlot{GetInt(*index, at + 4), GetInt(*index, at + 8)};
  }

  // The index must be the one the keys give, and the keys in table order;
  // anything else is a damaged file and is built again.
  for (std::size_t i = 0; i < count; ++i) {
    std::string_view k = table.Key(i);
    if (k.empty() || (i > 0 && Less(table.Key(i - 1), k))) {
      table.Clear();
      return false;
    }
  }
  std::vector<FixSlot> expected(kFixSlots);
  for (std::size_t i = 0; i < count; ++i) {
    int slot = SlotOfKey(table.Key(i));
    if (slot < 0) continue;
    FixSlot& s = expected[static_cast<std::size_t>(slot)];
    if (s.first < 0) s.first = static_cast<std::int32_t>(i);
    s.last = static_cast<std::int32_t>(i);
  }
  for (int slot = 0; slot < kFixSlots; ++slot) {
    const FixSlot& a = ix[static_cast<std::size_t>(slot)];
    const FixSlot& b = expected[static_cast<std::size_t>(slot)];
    if (a.first != b.first || (b.first >= 0 && a.last != b.last)) {
      table.Clear();
      return false;
    }
  }
  return true;
}

std::int32_t PackDosDateTime(std::time_t t) {
  struct tm tm {};
  if (!::localtime_r(&t, &tm)) return -1;
  int year = tm.tm_year + 1900;
  if (year < 1980 || year > 2107) return -1;
  std::uint32_t date = static_cast<std::uint32_t>(year - 1980) << 9 |
                       static_cast<std::uint32_t>(tm.tm_mon + 1) << 5 |
                       static_cast<std::uint32_t>(tm.tm_mday);
  std::uint32_t time = static_cast<std::uint32_t>(tm.tm_hour) << 11 |
                       static_cast<std::uint32_t>(tm.tm_min) << 5 |
                       static_cast<std::uint32_t>(std::min(tm.tm_sec, 59) / 2);
  return static_cast<std::int32_t>(date << 16 | time);
}

std::int32_t FileAge(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return -1;
  return PackDosDateTime(st.st_mtime);
}

std::int32_t UserFileHash(std::string_view bytes) {
  std::uint32_t h = 2166136261u;  // FNV-1a
  for (char c : bytes) h = (h ^ static_cast<unsigned char>(c)) * 16777619u;
  h ^= static_cast<std::uint32_t>(bytes.size()) * 0x9E3779B1u;
  return static_cast<std::int32_t>(h);
}

bool IndexStale(TableSide which, const UserFixHost& host) {
  const FixSide& side = FixSideOf(which);
  if (!Exists(host.directory + side.indexFile)) return true;
  const std::string userPath = host.directory + side.userFile;
  std::int32_t stored = host.ReadAgeValue ? host.ReadAgeValue(side.ageKey) : 0;
  if (FileAge(userPath) != stored) return true;
  // Merged with another built-in table (the program changed), or by a
  // version that did not record it.
  const std::int32_t builtin = host.ReadAgeValue ? host.ReadAgeValue(side.builtinKey) : 0;
  if (builtin != BuiltinFixIdentity(which)) return true;
  // Saved again within the age's two seconds: only the content tells.
  std::optional<std::string> bytes;
  try {
    bytes = ReadFileIfExists(userPath);
  } catch (const Error&) {
    return true;
  }
  if (!bytes) return true;
  const std::int32_t hash = host.ReadAgeValue ? host.ReadAgeValue(side.hashKey) : 0;
  return UserFileHash(*bytes) != hash;
}

bool LoadUserFix(FixTable& table, TableSide which, const UserFixHost& host) {
  const FixSide& side = FixSideOf(which);
  if (!Exists(host.directory + side.userFile)) return false;
  if (!IndexStale(which, host)) {
    const std::string indexPath = host.directory + side.indexFile;
    int fd = ::open(indexPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
      std::string bytes;
      char buf[1 << 16];
      bool failed = false;
      for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) failed = true;
        if (n <= 0) break;
        bytes.append(buf, static_cast<std::size_t>(n));
      }
      ::close(fd);
      if (failed) ShowError(side.readError, MB_ICONWARNING);
      if (!failed && ReadFixIndexFile(bytes, table, side.formatByte)) return true;
    }
    // An index that cannot be opened, read or trusted is built again.
  }
  Rebuild(table, which, host);
  return true;
}

}  // namespace quillmer
