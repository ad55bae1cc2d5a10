// The one parser of the commands' arguments. Arguments are read left to
// right and the first fault ends the parse as a usage error, so a command's
// messages come out in the order its arguments were given. "--" ends the
// options: what follows is positional, even when it starts with '-'. A lone
// "-" is positional too (standard input). --help is seen before a command
// runs (WantsHelp).
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cli/command.h"
#include "engine/types.h"

namespace quillmer::cli {

inline constexpr const char* kChooseTradOrSimp = "choose one of --to-trad, --to-simp";

// True (after printing the usage) when args ask for --help or -h before any "--".
bool WantsHelp(const Command& command, const std::vector<std::string>& args);

class ArgParser {
 public:
  // A handler returns the message of a usage error, or nothing.
  using Handler = std::function<std::optional<std::string>(const std::string& value)>;

  explicit ArgParser(const Command& command) : command_(command) {}

  // An option without a value.
  ArgParser& Flag(std::string name, std::function<std::optional<std::string>()> handler);
  // An option followed by its value; without one, missing is the message.
  ArgParser& Value(std::string name, std::string missing, Handler handler);
  // --script FILE and -e CODE, of which one may be given.
  ArgParser& Script(std::optional<std::string>& file, std::optional<std::string>& code);
  // Options of which one may be given (repeating it is fine); conflict is
  // the message for a second, different one.
  template <class T>
  ArgParser& OneOf(std::vector<std::pair<std::string, T>> options, std::optional<T>& choice,
                   std::string conflict) {
    for (auto& option : options)
      Flag(option.first,
           [&choice, value = option.second, conflict]() -> std::optional<std::string> {
             if (choice && *choice != value) return conflict;
             choice = value;
             return std::nullopt;
           });
    return *this;
  }
  // --to-trad and --to-simp, and --none when asked for.
  ArgParser& Direction(std::optional<ConvDirection>& direction, bool withNone = false);
  // -o FILE; a missing or empty name is an error.
  ArgParser& Output(std::optional<std::string>& out);
  // Every argument that is no option.
  ArgParser& Positional(Handler handler);
  // For a command that takes no "--": it is an unknown option there.
  ArgParser& WithoutEndOfOptions();

  // Reads args; returns the usage error's exit status (after printing it),
  // or nothing when all was well.
  std::optional<int> Parse(const std::vector<std::string>& args) const;

 private:
  struct Option {
    std::string name;
    bool takesValue;
    std::string missing;
    Handler handler;
  };
  const Command& command_;
  std::vector<Option> options_;
  Handler positional_;
  bool endOfOptions_ = true;
};

}  // namespace quillmer::cli
