// Whole-file reads and atomic replacement, shared by the stores that keep
// their state in one file (registry, settings, index caches).
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>

namespace quillmer {

// The file's bytes; nullopt when it does not exist. Other failures (a
// directory, no permission, a read error) throw Error with the path and reason.
std::optional<std::string> ReadFileIfExists(const std::string& path);

// Writes bytes to a temporary file beside path, syncs it and renames it over
// path, so readers see the old or the new content, never a part. mode is the
// new file's permission bits before the umask; -1 keeps those of the file it
// replaces (0666 for a new one). Throws Error; path is untouched on failure.
void ReplaceFileAtomic(const std::string& path, std::string_view bytes, int mode = -1);

// Creates dir and its missing parents (0777 before the umask).
void MakeDirectories(const std::string& dir);

// "cannot <what> '<path>': <strerror(errno)>"
std::string SystemErrorText(std::string_view what, const std::string& path);

// The directory part of path, with its trailing separator; "./" when none.
std::string DirectoryOf(const std::string& path);

}  // namespace quillmer
