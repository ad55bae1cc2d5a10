// SettingsStore: Quillmer.ini held in memory. Reads and writes touch memory
// only; Flush writes the whole file.
//
// The file is INI text in the system ANSI code page (UTF-8 when it starts
// with a UTF-8 signature). Section and key names match without regard to the
// case of ASCII letters. A flush keeps everything of a hand-edited file that
// was not changed through the store: comments, blank lines, unknown keys,
// their order and the file's line ends; a changed key keeps its place, a new
// key goes to the end of its section, a new section to the end of the file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win32/codepage.h"

namespace quillmer {

class SettingsStore {
 public:
  // Reads the file; a missing file gives an empty store. Throws Error when
  // the file exists but cannot be read, so that no flush can replace it.
  explicit SettingsStore(std::string path, UINT codePage = GetACP());
  // A store over text already read (tests, fuzzing); path is where Flush writes.
  SettingsStore(std::string path, std::string_view text, UINT codePage);

  // Strings as the raw bytes after the equals sign, in the file's code page.
  std::string ReadString(std::string_view section, std::string_view key,
                         std::string_view defaultValue) const;
  // The same decoded to UTF-16.
  std::u16string ReadText(std::string_view section, std::string_view key,
                          std::u16string_view defaultValue) const;
  // Signed decimal (or 0x / $ hexadecimal, as hand-edited colours may be);
  // the default when the key is missing or its value is not a 32-bit number.
  std::int32_t ReadInteger(std::string_view section, std::string_view key,
                           std::int32_t defaultValue) const;
  // Any integer other than 0 is true.
  bool ReadBool(std::string_view section, std::string_view key, bool defaultValue) const;

  // Throw Error (E_INVALIDARG) for a name or value the file could not hold:
  // a line break, or "]" in a section name, "=" in a key, leading or trailing
  // blanks in either.
  void WriteString(std::string_view section, std::string_view key, std::string_view value);
  // Characters the code page lacks become "?".
  void WriteText(std::string_view section, std::string_view key, std::u16string_view value);
  void WriteInteger(std::string_view section, std::string_view key, std::int32_t value);
  void WriteBool(std::string_view section, std::string_view key, bool value);

  bool ValueExists(std::string_view section, std::string_view key) const;
  void DeleteKey(std::string_view section, std::string_view key);

  // Replaces the file atomically with Text(); on failure throws Error and
  // the file stays as it was. Creates the file when it is missing.
  void Flush();
  // Whether a write or a delete has happened since the last read or flush.
  bool Modified() const { return modified_; }
  // Reads the file again when its content changed since this store last
  // read or flushed it (another process wrote it) and nothing is pending
  // here; true when it did. A file that cannot be read leaves the store as
  // it was.
  bool Refresh();

  // The file's content as Flush would write it.
  std::string Text() const;
  const std::string& FileName() const { return path_; }
  UINT CodePage() const { return codePage_; }

 private:
  struct Line {
    std::string raw;          // the line as it stands in the file
    std::string key;          // empty: not a key line (comment, blank, other)
    std::size_t valueAt = 0;  // where the value starts in raw
  };
  struct Section {
    std::string name;
    std::string header;  // the "[name]" line as it stands
    std::vector<Line> lines;
  };

  void Parse(std::string_view text);
  bool SameName(std::string_view a, std::string_view b) const;
  const Line* Find(std::string_view section, std::string_view key) const;
  Section* FindSection(std::string_view section);

  std::string path_;
  UINT codePage_;
  bool signature_ = false;  // the file began with a UTF-8 signature
  std::string newline_ = "\n";
  std::vector<std::string> preamble_;  // lines before the first section
  std::vector<Section> sections_;
  bool modified_ = false;
  std::string onDisk_;  // the file as this store last read or wrote it
};

}  // namespace quillmer
