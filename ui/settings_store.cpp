#include "ui/settings_store.h"

#include <algorithm>
#include <cstdlib>

#include "platform/base/error.h"
#include "platform/base/fileio.h"

namespace quillmer {
namespace {

constexpr std::string_view kUtf8Signature = "\xEF\xBB\xBF";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

bool IsDoubleByteCodePage(UINT cp) {
  return cp == kCodePageShiftJis || cp == kCodePageGbk || cp == kCodePageKorean ||
         cp == kCodePageBig5;
}

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::optional<std::int32_t> ParseInteger(std::string_view text) {
  text = Trim(text);
  bool negative = false;
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  int base = 10;
  if (text.starts_with("0x") || text.starts_with("0X")) {
    base = 16;
    text.remove_prefix(2);
  } else if (text.starts_with("$")) {
    base = 16;
    text.remove_prefix(1);
  }
  if (text.empty()) return std::nullopt;
  std::uint64_t v = 0;
  for (char c : text) {
    int d;
    if (c >= '0' && c <= '9')
      d = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f')
      d = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F')
      d = c - 'A' + 10;
    else
      return std::nullopt;
    v = v * static_cast<unsigned>(base) + static_cast<unsigned>(d);
    if (v > 0xFFFFFFFFu) return std::nullopt;
  }
  if (base == 16) {
    // Eight hex digits are a 32-bit pattern: 0x8000000F is a system colour.
    auto bits = static_cast<std::uint32_t>(v);
    if (negative) bits = 0u - bits;
    return static_cast<std::int32_t>(bits);
  }
  if (negative ? v > 0x80000000u : v > 0x7FFFFFFFu) return std::nullopt;
  return negative ? static_cast<std::int32_t>(0 - static_cast<std::int64_t>(v))
                  : static_cast<std::int32_t>(v);
}

void Require(bool ok, const char* what, std::string_view name) {
  if (!ok)
    throw Error(
        "cannot write " + std::string(what) + " '" + std::string(name) + "' to the settings file",
        E_INVALIDARG);
}

bool HasLineBreak(std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; }

void CheckName(std::string_view name, const char* what, std::string_view forbidden) {
  Require(!name.empty() && Trim(name) == name && !HasLineBreak(name) &&
              name.find_first_of(forbidden) == std::string_view::npos,
          what, name);
}

}  // namespace

SettingsStore::SettingsStore(std::string path, UINT codePage)
    : path_(std::move(path)), codePage_(IsValidCodePage(codePage) ? codePage : 1252) {
  if (auto text = ReadFileIfExists(path_)) {
    Parse(*text);
    onDisk_ = std::move(*text);
  }
}

bool SettingsStore::Refresh() {
  if (modified_) return false;
  std::optional<std::string> text;
  try {
    text = ReadFileIfExists(path_);
  } catch (const std::exception&) {
    return false;
  }
  if (text.value_or(std::string()) == onDisk_) return false;
  signature_ = false;
  newline_ = "\n";
  preamble_.clear();
  sections_.clear();
  if (text) Parse(*text);
  onDisk_ = text.value_or(std::string());
  return true;
}

SettingsStore::SettingsStore(std::string path, std::string_view text, UINT codePage)
    : path_(std::move(path)),
      codePage_(IsValidCodePage(codePage) ? codePage : 1252),
      onDisk_(text) {
  Parse(text);
}

void SettingsStore::Parse(std::string_view text) {
  if (text.starts_with(kUtf8Signature)) {
    signature_ = true;
    codePage_ = CP_UTF8;
    text.remove_prefix(kUtf8Signature.size());
  }
  auto lf = text.find('\n');
  newline_ = lf != std::string_view::npos && lf > 0 && text[lf - 1] == '\r' ? "\r\n" : "\n";
  Section* current = nullptr;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find_first_of("\r\n", at);
    if (end == std::string_view::npos) end = text.size();
    std::string_view raw = text.substr(at, end - at);
    at = end + (end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n' ? 2 : 1);
    std::string_view t = Trim(raw);
    if (t.starts_with('[')) {
      auto close = t.find(']');
      if (close != std::string_view::npos) {
        sections_.push_back(
            Section{std::string(Trim(t.substr(1, close - 1))), std::string(raw), {}});
        current = &sections_.back();
        continue;
      }
    }
    if (!current) {
      preamble_.emplace_back(raw);
      continue;
    }
    Line line{std::string(raw), {}, 0};
    auto eq = raw.find('=');
    if (!t.starts_with(';') && !t.starts_with('#') && eq != std::string_view::npos) {
      line.key = std::string(Trim(raw.substr(0, eq)));
      line.valueAt = eq + 1;
    }
    current->lines.push_back(std::move(line));
  }
}

bool SettingsStore::SameName(std::string_view a, std::string_view b) const {
  if (a.size() != b.size()) return false;
  const bool dbcs = IsDoubleByteCodePage(codePage_);
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto c = static_cast<unsigned char>(a[i]);
    if (dbcs && c >= 0x81 && i + 1 < a.size()) {
      // A trail byte may look like a letter; only whole characters fold.
      if (a[i] != b[i] || a[i + 1] != b[i + 1]) return false;
      ++i;
      continue;
    }
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

const SettingsStore::Line* SettingsStore::Find(std::string_view section,
                                               std::string_view key) const {
  for (const Section& s : sections_) {
    if (!SameName(s.name, section)) continue;
    for (const Line& l : s.lines)
      if (!l.key.empty() && SameName(l.key, key)) return &l;
  }
  return nullptr;
}

SettingsStore::Section* SettingsStore::FindSection(std::string_view section) {
  for (Section& s : sections_)
    if (SameName(s.name, section)) return &s;
  return nullptr;
}

std::string SettingsStore::ReadString(std::string_view section, std::string_view key,
                                      std::string_view defaultValue) const {
  const Line* l = Find(section, key);
  return l ? l->raw.substr(l->valueAt) : std::string(defaultValue);
}

std::u16string SettingsStore::ReadText(std::string_view section, std::string_view key,
                                       std::u16string_view defaultValue) const {
  const Line* l = Find(section, key);
  if (!l) return std::u16string(defaultValue);
  return DecodeCodePage(codePage_, std::string_view(l->raw).substr(l->valueAt));
}

std::int32_t SettingsStore::ReadInteger(std::string_view section, std::string_view key,
                                        std::int32_t defaultValue) const {
  const Line* l = Find(section, key);
  if (!l) return defaultValue;
  return ParseInteger(std::string_view(l->raw).substr(l->valueAt)).value_or(defaultValue);
}

bool SettingsStore::ReadBool(std::string_view section, std::string_view key,
                             bool defaultValue) const {
  return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

bool SettingsStore::ValueExists(std::string_view section, std::string_view key) const {
  return Find(section, key) != nullptr;
}

void SettingsStore::WriteString(std::string_view section, std::string_view key,
                                std::string_view value) {
  CheckName(section, "section", "]");
  CheckName(key, "key", "=");
  Require(!HasLineBreak(value), "a line break in the value of", key);
  modified_ = true;
  if (auto* l = const_cast<Line*>(Find(section, key))) {
    l->raw = l->raw.substr(0, l->valueAt) + std::string(value);
    return;
  }
  Section* s = FindSection(section);
  if (!s) {
    sections_.push_back(Section{std::string(section), "[" + std::string(section) + "]", {}});
    s = &sections_.back();
  }
  // After the section's last key, so that trailing blank lines and comments
  // that introduce the next section stay where they are.
  auto pos = s->lines.end();
  while (pos != s->lines.begin() && std::prev(pos)->key.empty()) --pos;
  Line line{std::string(key) + "=" + std::string(value), std::string(key), key.size() + 1};
  s->lines.insert(pos, std::move(line));
}

void SettingsStore::WriteText(std::string_view section, std::string_view key,
                              std::u16string_view value) {
  WriteString(section, key, EncodeCodePage(codePage_, value));
}

void SettingsStore::WriteInteger(std::string_view section, std::string_view key,
                                 std::int32_t value) {
  WriteString(section, key, std::to_string(value));
}

void SettingsStore::WriteBool(std::string_view section, std::string_view key, bool value) {
  WriteString(section, key, value ? "1" : "0");
}

void SettingsStore::DeleteKey(std::string_view section, std::string_view key) {
  for (Section& s : sections_) {
    if (!SameName(s.name, section)) continue;
    auto it = std::find_if(s.lines.begin(), s.lines.end(),
                           [&](const Line& l) { return !l.key.empty() && SameName(l.key, key); });
    if (it != s.lines.end()) {
      s.lines.erase(it);
      modified_ = true;
      return;
    }
  }
}

std::string SettingsStore::Text() const {
  std::string out;
  if (signature_) out += kUtf8Signature;
  for (const auto& l : preamble_) out += l + newline_;
  for (const Section& s : sections_) {
    out += s.header + newline_;
    for (const Line& l : s.lines) out += l.raw + newline_;
  }
  return out;
}

void SettingsStore::Flush() {
  // A settings file the user made read-only stays as it is: the flush fails.
  std::string text = Text();
  ReplaceFileAtomic(path_, text, -1, ReadOnlyFiles::Refuse);
  modified_ = false;
  onDisk_ = std::move(text);
}

}  // namespace quillmer
