// quillmer str: converts a string through the registered automation object,
// as a script calling Str2Trad or Str2Sim would.
#include <optional>

#include "cli/args.h"
#include "cli/automation.h"
#include "cli/command.h"
#include "engine/identities.h"
#include "platform/win32/dialogs.h"

namespace quillmer::cli {
namespace {

constexpr const char* kUsage =
    "Usage: quillmer str (--to-trad | --to-simp) [TEXT]\n"
    "Converts TEXT, or standard input, between Simplified and Traditional Chinese\n"
    "through the automation object \"Quillmer.ConFace\" (its Str2Trad or Str2Sim),\n"
    "made from the registry as any client makes it: run quillmer register first.\n\n"
    "  --to-trad   Simplified to Traditional\n"
    "  --to-simp   Traditional to Simplified\n\n"
    "Text is UTF-8. TEXT is printed with a line end; standard input comes back\n"
    "as it was given, converted.\n";

const Command& Self();

int Run(const std::vector<std::string>& args) {
  std::optional<ConvDirection> direction;
  std::optional<std::string> text;
  auto usage = ArgParser(Self())
                   .Direction(direction)
                   .Positional([&text](const std::string& a) -> std::optional<std::string> {
                     if (text) return "give the text as one argument (quote it)";
                     text = a;
                     return std::nullopt;
                   })
                   .Parse(args);
  if (usage) return *usage;
  if (!direction) return UsageError(Self(), kChooseTradOrSimp);

  const std::string input = text ? *text : ReadStdin();
  const std::u16string wide = FromUtf8(input);
  if (ToUtf8(wide) != input) return Fail("the text is not valid UTF-8");

  std::string output;
  {
    ComPtr<IDispatch> object = CreateAutomationObject(kConFaceProgId);
    VARIANT result = CallMethod(object.get(), *direction == cdToTrad ? u"Str2Trad" : u"Str2Sim",
                                {VariantString(wide)});
    std::u16string converted;
    if (FAILED(VariantToString(result, &converted))) return Fail("the object gave no text back");
    output = ToUtf8(converted);
  }
  FreeUnusedServers();
  if (text) output += '\n';
  WriteStdout(output);
  return kExitOk;
}

const Command& Self() {
  static const Command command{"str", "convert a string through the automation object", kUsage,
                               Run};
  return command;
}

}  // namespace

QUILLMER_COMMAND(Self());

}  // namespace quillmer::cli
