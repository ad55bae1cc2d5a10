// Whole-file reads and atomic replacement, shared by the stores that keep
// their state in one file (registry, settings, index caches).
#pragma once

#include <sys/types.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace quillmer {

// The file's bytes; nullopt when it does not exist. Other failures (a
// directory, no permission, a read error) throw Error with the path and reason.
std::optional<std::string> ReadFileIfExists(const std::string& path);

// What a replacement does with a file that is marked read-only (no write
// permission for the caller, or no write bit at all).
enum class ReadOnlyFiles { Replace, Refuse };

// Writes bytes to a temporary file beside path, syncs it and renames it over
// path, so readers see the old or the new content, never a part. A symbolic
// link is followed: its final target is replaced and the link stays. A hard
// link is not: path gets a new file and the other names keep the old one.
// mode is the new file's permission bits before the umask; -1 keeps those of
// the file it replaces (0666 for a new one), and its owner where allowed.
// Throws Error; path is untouched on failure.
//
// The temporary file is "<target>.tmp<pid>-XXXXXX". It is removed when the
// write fails and when SIGINT, SIGTERM or SIGHUP ends the process during the
// write (unless the program handles those signals itself); one left by a
// process that no longer runs (killed outright) is removed by the next
// replacement of the same file.
void ReplaceFileAtomic(const std::string& path, std::string_view bytes, int mode = -1,
                       ReadOnlyFiles readOnly = ReadOnlyFiles::Replace);

// The file a write to path lands on: symbolic links followed to their final
// target, which need not exist. Throws Error for a loop.
std::string ResolveWriteTarget(const std::string& path);

// Test seam: called with the temporary file's name once it is written, just
// before it is renamed. An empty function removes it.
void SetReplaceFileHookForTests(std::function<void(const std::string& tmp)> hook);

// Writes all of bytes to fd, again after an interrupted call; path names the
// file in the error.
void WriteFully(int fd, std::string_view bytes, const std::string& path);

// Creates dir and its missing parents (0777 before the umask).
void MakeDirectories(const std::string& dir);

// "cannot <what> '<path>': <strerror(errno)>"
std::string SystemErrorText(std::string_view what, const std::string& path);

// The directory part of path, with its trailing separator; "./" when none.
std::string DirectoryOf(const std::string& path);

}  // namespace quillmer
