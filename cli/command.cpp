#include "cli/command.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <iterator>

#include "platform/error.h"

namespace quillmer::cli {
namespace {

std::vector<Command>& Registry() {
  static std::vector<Command> commands;
  return commands;
}

std::string SystemError(const std::string& what, const std::string& path) {
  return what + " '" + path + "': " + std::strerror(errno);
}

}  // namespace

bool RegisterCommand(const Command& command) {
  Registry().push_back(command);
  return true;
}

const std::vector<Command>& Commands() { return Registry(); }

int Fail(const std::string& message) {
  std::cerr << "quillmer: " << message << "\n";
  return kExitFailure;
}

int UsageError(const Command& command, const std::string& message) {
  std::cerr << "quillmer " << command.name << ": " << message << "\n"
            << "Try 'quillmer " << command.name << " --help'.\n";
  return kExitUsage;
}

bool WantsHelp(const Command& command, const std::vector<std::string>& args) {
  for (const auto& a : args) {
    if (a == "--") break;
    if (a == "--help" || a == "-h") {
      std::cout << command.usage;
      return true;
    }
  }
  return false;
}

std::string ReadFile(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw Error(SystemError("cannot open", path), E_FILE_NOT_FOUND);
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd);
    throw Error("cannot read '" + path + "': Is a directory");
  }
  std::string data;
  if (st.st_size > 0) data.reserve(static_cast<std::size_t>(st.st_size));
  char buf[1 << 16];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      std::string msg = SystemError("cannot read", path);
      ::close(fd);
      throw Error(msg);
    }
    if (n == 0) break;
    data.append(buf, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return data;
}

std::string ReadStdin() {
  std::string data;
  char buf[1 << 16];
  for (;;) {
    ssize_t n = ::read(0, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw Error(std::string("cannot read standard input: ") + std::strerror(errno));
    }
    if (n == 0) break;
    data.append(buf, static_cast<std::size_t>(n));
  }
  return data;
}

namespace {

void WriteAll(int fd, const std::string& bytes, const std::string& what) {
  const char* p = bytes.data();
  std::size_t left = bytes.size();
  while (left > 0) {
    ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw Error(SystemError("cannot write", what));
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
}

}  // namespace

void WriteFileAtomic(const std::string& path, const std::string& bytes) {
  std::string tmp = path + ".tmpXXXXXX";
  int fd = ::mkstemp(tmp.data());
  if (fd < 0) throw Error(SystemError("cannot create a file beside", path));
  try {
    WriteAll(fd, bytes, tmp);
    // Keep the mode of a file we replace; a new one gets the usual 0666 & ~umask.
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
      ::fchmod(fd, st.st_mode & 07777);
    } else {
      mode_t mask = ::umask(0);
      ::umask(mask);
      ::fchmod(fd, 0666 & ~mask);
    }
    if (::fsync(fd) != 0) throw Error(SystemError("cannot write", tmp));
    if (::close(fd) != 0) {
      fd = -1;
      throw Error(SystemError("cannot write", tmp));
    }
    fd = -1;
    if (::rename(tmp.c_str(), path.c_str()) != 0) throw Error(SystemError("cannot replace", path));
  } catch (...) {
    if (fd >= 0) ::close(fd);
    ::unlink(tmp.c_str());
    throw;
  }
}

void WriteStdout(const std::string& bytes) {
  std::cout.flush();
  WriteAll(1, bytes, "standard output");
}

}  // namespace quillmer::cli
