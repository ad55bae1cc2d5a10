#include "platform/base/fileio.h"
#include "platform/base/memory.h"

#include <algorithm>

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <iterator>
#include <mutex>

#include "platform/base/error.h"

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

}  // namespace

void WriteFully(int fd, std::string_view bytes, const std::string& path) {
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
  // Up to n bytes into p; 0 at the end. Errors close fd and throw.
  auto readSome = [&](char* p, std::size_t n) -> std::size_t {
    for (;;) {
      const ssize_t got = ::read(fd, p, n);
      if (got >= 0) return static_cast<std::size_t>(got);
      if (errno == EINTR) continue;
      const int err = errno;
      ::close(fd);
      errno = err;
      ThrowSystem("read", path);
    }
  };
  std::string data;
  // Read straight into the string; a file that grows meanwhile goes on below.
  const auto size = static_cast<std::size_t>(std::max<off_t>(st.st_size, 0));
  ReserveLarge(data, size);
  data.resize(size);
  std::size_t got = 0;
  while (got < size) {
    const std::size_t n = readSome(data.data() + got, size - got);
    if (n == 0) break;
    got += n;
  }
  data.resize(got);
  char buf[1 << 16];
  while (const std::size_t n = readSome(buf, sizeof buf)) data.append(buf, n);
  ::close(fd);
  return data;
}

namespace {

// Temporary files being written, for the signal handler: fixed slots, so
// that the handler needs neither locks nor allocation.
constexpr int kTempSlots = 8;
struct TempSlot {
  std::atomic<int> used{0};
  char path[PATH_MAX];
};
TempSlot g_temps[kTempSlots];

constexpr int kCleanedSignals[] = {SIGINT, SIGTERM, SIGHUP};

extern "C" void RemoveTempsAndDie(int sig) {
  for (TempSlot& t : g_temps)
    if (t.used.load() == 2) ::unlink(t.path);
  ::signal(sig, SIG_DFL);
  ::raise(sig);  // delivered once the handler returns, by the default action
}

struct SignalGuards {
  std::mutex mutex;
  int active = 0;
  bool installed[std::size(kCleanedSignals)] = {};
};
SignalGuards& Guards() {
  static SignalGuards g;
  return g;
}

std::function<void(const std::string&)>& ReplaceHook() {
  static std::function<void(const std::string&)> hook;
  return hook;
}

// Registers a temporary file for removal on the signals while it exists.
// Signals the program handles itself are left to it; the handler is taken
// away again after the last write so that no handler of a module that may
// be unloaded stays behind.
class TempFileGuard {
 public:
  TempFileGuard() {
    SignalGuards& g = Guards();
    std::lock_guard lock(g.mutex);
    if (g.active++ > 0) return;
    for (std::size_t i = 0; i < std::size(kCleanedSignals); ++i) {
      struct sigaction old {};
      ::sigaction(kCleanedSignals[i], nullptr, &old);
      g.installed[i] = old.sa_handler == SIG_DFL;
      if (!g.installed[i]) continue;
      struct sigaction ours {};
      ours.sa_handler = RemoveTempsAndDie;
      sigemptyset(&ours.sa_mask);
      ::sigaction(kCleanedSignals[i], &ours, nullptr);
    }
  }
  ~TempFileGuard() {
    if (slot_) slot_->used.store(0);
    SignalGuards& g = Guards();
    std::lock_guard lock(g.mutex);
    if (--g.active > 0) return;
    for (std::size_t i = 0; i < std::size(kCleanedSignals); ++i)
      if (g.installed[i]) ::signal(kCleanedSignals[i], SIG_DFL);
  }
  // Makes the temporary file from its template and tracks it, with the
  // signals held back until it is tracked.
  int Create(std::string& tmp) {
    sigset_t held, was;
    sigemptyset(&held);
    for (int sig : kCleanedSignals) sigaddset(&held, sig);
    ::pthread_sigmask(SIG_BLOCK, &held, &was);
    int fd = ::mkstemp(tmp.data());
    int err = errno;
    if (fd >= 0 && tmp.size() < PATH_MAX) {
      for (TempSlot& t : g_temps) {
        int expected = 0;
        if (t.used.compare_exchange_strong(expected, 1)) {
          std::memcpy(t.path, tmp.c_str(), tmp.size() + 1);
          t.used.store(2);
          slot_ = &t;
          break;
        }
      }
    }
    ::pthread_sigmask(SIG_SETMASK, &was, nullptr);
    errno = err;
    return fd;
  }
  TempFileGuard(const TempFileGuard&) = delete;
  TempFileGuard& operator=(const TempFileGuard&) = delete;

 private:
  TempSlot* slot_ = nullptr;
};

// Removes "<name>.tmp<pid>-XXXXXX" files in dir whose process is gone.
void RemoveStaleTemps(const std::string& dir, const std::string& name) {
  DIR* d = ::opendir(dir.c_str());
  if (!d) return;
  const std::string prefix = name + ".tmp";
  while (dirent* e = ::readdir(d)) {
    std::string_view entry(e->d_name);
    if (!entry.starts_with(prefix)) continue;
    std::string_view rest = entry.substr(prefix.size());
    std::size_t dash = rest.find('-');
    if (dash == 0 || dash == std::string_view::npos || rest.size() - dash - 1 != 6) continue;
    long pid = 0;
    bool digits = true;
    for (char c : rest.substr(0, dash)) {
      if (c < '0' || c > '9' || pid > 100000000) {
        digits = false;
        break;
      }
      pid = pid * 10 + (c - '0');
    }
    if (!digits || pid <= 0 || pid == ::getpid()) continue;
    if (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;
    ::unlinkat(::dirfd(d), e->d_name, 0);
  }
  ::closedir(d);
}

bool IsReadOnly(const std::string& path, const struct stat& st) {
  if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return true;
  return ::access(path.c_str(), W_OK) != 0 && errno == EACCES;
}

}  // namespace

std::string ResolveWriteTarget(const std::string& path) {
  std::string at = path;
  for (int hops = 0; hops < 40; ++hops) {
    char buf[PATH_MAX];
    ssize_t n = ::readlink(at.c_str(), buf, sizeof buf);
    if (n < 0) return at;  // not a link (or not there): write here
    std::string target(buf, static_cast<std::size_t>(n));
    if (target.empty() || target[0] != '/') {
      auto slash = at.rfind('/');
      if (slash != std::string::npos) target = at.substr(0, slash + 1) + target;
    }
    at = target;
  }
  errno = ELOOP;
  ThrowSystem("follow", path);
}

void SetReplaceFileHookForTests(std::function<void(const std::string& tmp)> hook) {
  ReplaceHook() = std::move(hook);
}

void ReplaceFileAtomic(const std::string& path, std::string_view bytes, int mode,
                       ReadOnlyFiles readOnly) {
  const std::string target = ResolveWriteTarget(path);
  struct stat old {};
  const bool exists = ::stat(target.c_str(), &old) == 0;
  if (exists && readOnly == ReadOnlyFiles::Refuse && IsReadOnly(target, old)) {
    errno = EACCES;
    throw Error("cannot replace '" + path + "': the file is read-only",
                static_cast<HRESULT>(0x80070005u));
  }
  const std::string dir = DirectoryOf(target);
  const auto slash = target.rfind('/');
  RemoveStaleTemps(dir, slash == std::string::npos ? target : target.substr(slash + 1));
  std::string tmp = target + ".tmp" + std::to_string(::getpid()) + "-XXXXXX";
  TempFileGuard guard;
  int fd = guard.Create(tmp);
  if (fd < 0) ThrowSystem("create a file beside", path);
  try {
    WriteFully(fd, bytes, tmp);
    mode_t bits;
    if (mode >= 0) {
      mode_t mask = ::umask(0);
      ::umask(mask);
      bits = static_cast<mode_t>(mode) & ~mask;
    } else if (exists) {
      bits = old.st_mode & 07777;
      // Only root may give the file away; others keep it as theirs.
      if (old.st_uid != ::geteuid() || old.st_gid != ::getegid())
        (void)::fchown(fd, old.st_uid, old.st_gid);
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
    if (ReplaceHook()) ReplaceHook()(tmp);
    if (::rename(tmp.c_str(), target.c_str()) != 0) ThrowSystem("replace", path);
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
