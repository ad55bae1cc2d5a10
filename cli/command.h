// The host program's commands. Each command lives in its own file and
// registers itself with QUILLMER_COMMAND, so adding one touches nothing else.
#pragma once

#include <string>
#include <vector>

namespace quillmer::cli {

// Exit statuses: 0 success, 1 failure (one line on standard error), 2 bad usage.
constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

struct Command {
  const char* name;
  const char* summary;                               // one line for the command list
  const char* usage;                                 // the text of `quillmer NAME --help`
  int (*run)(const std::vector<std::string>& args);  // arguments after the name
};

bool RegisterCommand(const Command& command);
const std::vector<Command>& Commands();

// Prints "quillmer: MESSAGE" to standard error and returns kExitFailure.
int Fail(const std::string& message);
// Prints "quillmer NAME: MESSAGE" and the usage hint; returns kExitUsage.
int UsageError(const Command& command, const std::string& message);

// Whole-file helpers: ReadFile throws quillmer::Error with a clear message;
// WriteFileAtomic writes a temporary file beside path and renames it (through
// a symbolic link to its target; a read-only file is refused).
std::string ReadFile(const std::string& path);
std::string ReadStdin();
void WriteFileAtomic(const std::string& path, const std::string& bytes);
void WriteStdout(const std::string& bytes);

}  // namespace quillmer::cli

#define QUILLMER_CONCAT2(a, b) a##b
#define QUILLMER_CONCAT(a, b) QUILLMER_CONCAT2(a, b)
#define QUILLMER_COMMAND(...)                                                 \
  static const bool QUILLMER_CONCAT(quillmer_command_registered_, __LINE__) = \
      ::quillmer::cli::RegisterCommand(::quillmer::cli::Command(__VA_ARGS__))
