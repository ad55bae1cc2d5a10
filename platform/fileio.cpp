#include "platform/fileio.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/error.h"

namespace quillmer {
namespace {

HRESULT FromErrno(int err) {
  switch (err) {
    case ENOENT:
    case ENOTDIR:
      return E_FILE_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS:
      return static_cast<HRESULT>(0x80070005u);  // E_ACCESSDENIED
    default:
      return E_FAIL;
  }
}

[[noreturn]] void ThrowSystem(std::string_view what, const std::string& path) {
  int err = errno;
  throw Error(SystemErrorText(what, path), FromErrno(err));
}

void WriteAll(int fd, std::string_view bytes, const std::string& path) {
  const char* p = bytes.data();
  std::size_t left = bytes.size();
  while (left > 0) {
    ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      ThrowSystem("write", path);
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
}

}  // namespace

std::string SystemErrorText(std::string_view what, const std::string& path) {
  return "cannot " + std::string(what) + " '" + path + "': " + std::strerror(errno);
}

std::string DirectoryOf(const std::string& path) {
  auto slash = path.rfind('/');
  if (slash == std::string::npos) return "./";
  return path.substr(0, slash + 1);
}

std::optional<std::string> ReadFileIfExists(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return std::nullopt;
    ThrowSystem("open", path);
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    if (S_ISDIR(st.st_mode)) errno = EISDIR;
    int err = errno;
    ::close(fd);
    errno = err;
    ThrowSystem("read", path);
  }
  std::string data;
  if (st.st_size > 0) data.reserve(static_cast<std::size_t>(st.st_size));
  char buf[1 << 16];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      int err = errno;
      ::close(fd);
      errno = err;
      ThrowSystem("read", path);
    }
    if (n == 0) break;
    data.append(buf, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return data;
}

void ReplaceFileAtomic(const std::string& path, std::string_view bytes, int mode) {
  std::string tmp = path + ".tmpXXXXXX";
  int fd = ::mkstemp(tmp.data());
  if (fd < 0) ThrowSystem("create a file beside", path);
  try {
    WriteAll(fd, bytes, tmp);
    mode_t bits;
    struct stat st {};
    if (mode >= 0) {
      mode_t mask = ::umask(0);
      ::umask(mask);
      bits = static_cast<mode_t>(mode) & ~mask;
    } else if (::stat(path.c_str(), &st) == 0) {
      bits = st.st_mode & 07777;
    } else {
      mode_t mask = ::umask(0);
      ::umask(mask);
      bits = 0666 & ~mask;
    }
    if (::fchmod(fd, bits) != 0) ThrowSystem("write", tmp);
    if (::fsync(fd) != 0) ThrowSystem("write", tmp);
    int rc = ::close(fd);
    fd = -1;
    if (rc != 0) ThrowSystem("write", tmp);
    if (::rename(tmp.c_str(), path.c_str()) != 0) ThrowSystem("replace", path);
  } catch (...) {
    if (fd >= 0) ::close(fd);
    ::unlink(tmp.c_str());
    throw;
  }
}

void MakeDirectories(const std::string& dir) {
  if (dir.empty()) return;
  std::string path;
  std::size_t at = 0;
  while (at <= dir.size()) {
    std::size_t next = dir.find('/', at);
    if (next == std::string::npos) next = dir.size();
    path = dir.substr(0, next);
    at = next + 1;
    if (path.empty()) continue;
    if (::mkdir(path.c_str(), 0777) != 0 && errno != EEXIST) ThrowSystem("create directory", path);
  }
  struct stat st {};
  if (::stat(dir.c_str(), &st) != 0) ThrowSystem("create directory", dir);
  if (!S_ISDIR(st.st_mode)) {
    errno = ENOTDIR;
    ThrowSystem("create directory", dir);
  }
}

}  // namespace quillmer
