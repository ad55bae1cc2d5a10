#include "cli/command.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <iterator>

#include "platform/base/error.h"
#include "platform/base/fileio.h"

namespace quillmer::cli {
namespace {

std::vector<Command>& Registry() {
  static std::vector<Command> commands;
  return commands;
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

std::string ReadFile(const std::string& path) {
  auto data = ReadFileIfExists(path);
  if (!data) {
    errno = ENOENT;
    throw Error(SystemErrorText("open", path), E_FILE_NOT_FOUND);
  }
  return std::move(*data);
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

void WriteFileAtomic(const std::string& path, const std::string& bytes) {
  ReplaceFileAtomic(path, bytes, -1, ReadOnlyFiles::Refuse);
}

void WriteStdout(const std::string& bytes) {
  std::cout.flush();
  WriteFully(1, bytes, "standard output");
}

}  // namespace quillmer::cli
