#include "cli/args.h"

#include <iostream>

namespace quillmer::cli {

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

ArgParser& ArgParser::Flag(std::string name, std::function<std::optional<std::string>()> handler) {
  options_.push_back(
      {std::move(name), false, {}, [h = std::move(handler)](const std::string&) { return h(); }});
  return *this;
}

ArgParser& ArgParser::Value(std::string name, std::string missing, Handler handler) {
  options_.push_back({std::move(name), true, std::move(missing), std::move(handler)});
  return *this;
}

ArgParser& ArgParser::Direction(std::optional<ConvDirection>& direction, bool withNone) {
  if (withNone)
    return OneOf<ConvDirection>(
        {{"--to-trad", cdToTrad}, {"--to-simp", cdToSim}, {"--none", cdNone}}, direction,
        "choose one of --to-trad, --to-simp, --none");
  return OneOf<ConvDirection>({{"--to-trad", cdToTrad}, {"--to-simp", cdToSim}}, direction,
                              kChooseTradOrSimp);
}

ArgParser& ArgParser::Output(std::optional<std::string>& out) {
  return Value("-o", "-o needs a file name",
               [&out](const std::string& name) -> std::optional<std::string> {
                 if (name.empty()) return "-o needs a file name";
                 out = name;
                 return std::nullopt;
               });
}

ArgParser& ArgParser::Positional(Handler handler) {
  positional_ = std::move(handler);
  return *this;
}

ArgParser& ArgParser::WithoutEndOfOptions() {
  endOfOptions_ = false;
  return *this;
}

std::optional<int> ArgParser::Parse(const std::vector<std::string>& args) const {
  bool onlyPositional = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    std::optional<std::string> error;
    const Option* option = nullptr;
    if (!onlyPositional) {
      for (const auto& o : options_)
        if (o.name == a) option = &o;
    }
    if (onlyPositional) {
      error = positional_(a);
    } else if (endOfOptions_ && a == "--") {
      onlyPositional = true;
    } else if (option && option->takesValue) {
      if (i + 1 >= args.size())
        error = option->missing;
      else
        error = option->handler(args[++i]);
    } else if (option) {
      error = option->handler(a);
    } else if (a.size() > 1 && a[0] == '-') {
      error = "unknown option '" + a + "'";
    } else {
      error = positional_(a);
    }
    if (error) return UsageError(command_, *error);
  }
  return std::nullopt;
}

ArgParser& ArgParser::Script(std::optional<std::string>& file, std::optional<std::string>& code) {
  auto one = [&file, &code](std::optional<std::string>& which) {
    return [&file, &code, &which](const std::string& v) -> std::optional<std::string> {
      if (file || code) return "give one script";
      which = v;
      return std::nullopt;
    };
  };
  Value("--script", "--script needs a file", one(file));
  return Value("-e", "-e needs the script's code", one(code));
}

}  // namespace quillmer::cli
