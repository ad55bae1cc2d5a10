// quillmer convert: converts a file or standard input between the scripts and
// encodings.
#include <optional>
#include <string>

#include "cli/args.h"
#include "cli/command.h"
#include "cli/encoding_names.h"
#include "engine/convert.h"
#include "platform/base/error.h"
#include "ui/lifecycle.h"

namespace quillmer::cli {
namespace {

constexpr const char* kUsage =
    "Usage: quillmer convert (--to-trad | --to-simp | --none) [--from ENC] [--to ENC] [--bom]\n"
    "                        [-o OUT] [FILE]\n"
    "Converts FILE (or standard input) between Simplified and Traditional Chinese.\n\n"
    "  --to-trad     Simplified to Traditional\n"
    "  --to-simp     Traditional to Simplified\n"
    "  --none        keep the script; only the encoding changes\n"
    "  --from ENC    the input's encoding (default: auto, detected)\n"
    "  --to ENC      the output's encoding (default: the input's; Big5 input converted\n"
    "                with --to-simp is written as GBK)\n"
    "  --bom         write a signature (UTF-8 and UTF-16 only)\n"
    "  -o OUT        write to OUT instead of standard output (OUT may be FILE)\n\n"
    "ENC: auto, utf-8, utf-16le, utf-16be, gbk, big5.\n";

const Command& Self();

bool HasSignature(const std::string& d, TextEncoding e) {
  switch (e) {
    case teUnicode:
      return d.compare(0, 2, "\xFF\xFE") == 0;
    case teUnicodeBE:
      return d.compare(0, 2, "\xFE\xFF") == 0;
    case teUTF8:
      return d.compare(0, 3, "\xEF\xBB\xBF") == 0;
    default:
      return false;
  }
}

const char* Signature(TextEncoding e) {
  return e == teUnicode ? "\xFF\xFE" : e == teUnicodeBE ? "\xFE\xFF" : "\xEF\xBB\xBF";
}

int Run(const std::vector<std::string>& args) {
  std::optional<ConvDirection> direction;
  std::optional<TextEncoding> from, to;
  bool bom = false;
  std::optional<std::string> out, file;
  auto encoding = [](std::optional<TextEncoding>& target, bool orAuto) {
    return [&target, orAuto](const std::string& name) -> std::optional<std::string> {
      if (orAuto && name == "auto") {
        target.reset();
        return std::nullopt;
      }
      auto e = ParseEncoding(name);
      if (!e) return "unknown encoding '" + name + "'";
      target = *e;
      return std::nullopt;
    };
  };
  auto usage = ArgParser(Self())
                   .Direction(direction, true)
                   .Value("--from", "--from needs an encoding", encoding(from, true))
                   .Value("--to", "--to needs an encoding", encoding(to, false))
                   .Flag("--bom",
                         [&bom]() -> std::optional<std::string> {
                           bom = true;
                           return std::nullopt;
                         })
                   .Output(out)
                   .Positional([&file](const std::string& a) -> std::optional<std::string> {
                     if (file) return "only one input file";
                     file = a;
                     return std::nullopt;
                   })
                   .Parse(args);
  if (usage) return *usage;
  if (!direction) return UsageError(Self(), "choose one of --to-trad, --to-simp, --none");

  const bool fromStdin = !file || *file == "-";
  auto write = [&out](const std::string& bytes) {
    if (out)
      WriteFileAtomic(*out, bytes);
    else
      WriteStdout(bytes);
  };
  // As the module does when loaded: settings and the user's emendation tables.
  RunLoadSequence();
  struct Unload {
    ~Unload() { RunUnloadSequence(); }
  } unload;
  // Text that is UTF-8 throughout is taken for UTF-8 before anything else:
  // converted as such in one pass, which checks it on the way.
  const bool utf8First = !from && (!to || *to == teUTF8);
  std::string data = fromStdin ? ReadStdin() : ReadFile(*file);
  const std::string name = fromStdin ? "standard input" : "'" + *file + "'";
  if (utf8First) {
    std::string result;
    if (ConvertIfWholeUtf8(data, *direction, bom, result)) {
      write(result);
      return kExitOk;
    }
  }
  TextEncoding source = from ? *from : teUnknown;
  if (!from && !data.empty()) {
    source = DetectForCommandLine(data);
    if (source == teUnknown)
      return Fail("cannot tell the encoding of " + name + "; name it with --from");
  }
  if (!from && data.empty()) source = teUTF8;
  TextEncoding target = to ? *to : source;
  if (!to && source == teBig5 && *direction == cdToSim) target = teGBK;
  if (target == teBig5 && *direction == cdToSim)
    return UsageError(Self(), "Big5 cannot hold Simplified text; choose another --to");

  TextStream stream(std::move(data));
  ConvertStream(stream, source, target, *direction, bom);
  // Untouched streams (same encoding, --none) keep or lose the signature as
  // --bom says, like converted ones.
  if (target <= teUTF8 && *direction == cdNone && source == target && !stream.data.empty()) {
    bool has = HasSignature(stream.data, target);
    if (has && !bom) stream.data.erase(0, target == teUTF8 ? 3 : 2);
    if (!has && bom) stream.data.insert(0, Signature(target));
  }
  write(stream.data);
  return kExitOk;
}

const Command& Self() {
  static const Command command{"convert", "convert text between Simplified and Traditional", kUsage,
                               Run};
  return command;
}

}  // namespace

QUILLMER_COMMAND(Self());

}  // namespace quillmer::cli
