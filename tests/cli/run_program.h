// Runs the built quillmer program as a user would, for end-to-end tests.
#pragma once

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace quillmer::testing {

struct RunResult {
  int status = -1;
  std::string out, err;
};

inline std::string ShellQuote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

inline std::string ReadAll(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void WriteAll(const std::filesystem::path& p, const std::string& bytes) {
  std::ofstream(p, std::ios::binary) << bytes;
}

// A fresh directory under the system's temporary directory, removed with the object.
class TempDir {
 public:
  TempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "quillmer-test-XXXXXX").string();
    path_ = ::mkdtemp(tmpl.data());
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

// Runs the program at binary with args, standard input from `input`; env is
// a list of NAME=VALUE settings put before the command.
inline RunResult RunProgram(const std::string& binary, const std::vector<std::string>& args,
                            const std::string& input = "",
                            const std::vector<std::string>& env = {}) {
  TempDir io;
  WriteAll(io / "in", input);
  std::string cmd;
  for (const auto& e : env) cmd += e + " ";
  cmd += ShellQuote(binary);
  for (const auto& a : args) cmd += " " + ShellQuote(a);
  cmd += " <" + ShellQuote((io / "in").string()) + " >" + ShellQuote((io / "out").string()) +
         " 2>" + ShellQuote((io / "err").string());
  RunResult r;
  int raw = std::system(cmd.c_str());
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  r.out = ReadAll(io / "out");
  r.err = ReadAll(io / "err");
  return r;
}

// Runs quillmer so.
inline RunResult RunQuillmer(const std::vector<std::string>& args, const std::string& input = "",
                             const std::vector<std::string>& env = {}) {
  return RunProgram(QUILLMER_BINARY, args, input, env);
}

}  // namespace quillmer::testing
