// quillmer detect: names the encoding of each file.
#include <iostream>

#include "cli/command.h"
#include "cli/encoding_names.h"
#include "platform/base/error.h"

namespace quillmer::cli {
namespace {

constexpr const char* kUsage =
    "Usage: quillmer detect FILE...\n"
    "Prints each file's encoding: utf-8, utf-16le, utf-16be, gbk, big5 or unknown.\n";

int Run(const std::vector<std::string>& args) {
  if (args.empty()) {
    std::cerr << "quillmer detect: no file given\nTry 'quillmer detect --help'.\n";
    return kExitUsage;
  }
  int status = kExitOk;
  for (const auto& path : args) {
    try {
      std::string data = path == "-" ? ReadStdin() : ReadFile(path);
      std::cout << path << ": " << EncodingName(DetectForCommandLine(data)) << "\n";
    } catch (const Error& e) {
      std::cout.flush();
      status = Fail(e.what());
    }
  }
  return status;
}

}  // namespace

QUILLMER_COMMAND({"detect", "name the encoding of files", kUsage, Run});

}  // namespace quillmer::cli
