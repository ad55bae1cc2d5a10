// Reading resources from a module file without running it, as the platform
// does for a module loaded as a data file (the browser's res: protocol).
// Modules carry the resources that other programs read in an ELF section,
// ".qm_rsrc": "QMRSRC01", a 32-bit count, then per resource six 32-bit
// little-endian numbers (type, name and data as offset and length from the
// section's start), then the strings and the bytes.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quillmer {

constexpr std::string_view kModuleResourceSection = ".qm_rsrc";

// The resource's bytes; names and types compare without regard to case.
// nullopt when the module has no such resource. Throws Error when the file
// cannot be read (E_FILE_NOT_FOUND when it is missing) or is no module with
// resources.
std::optional<std::string> LoadResourceFromModuleFile(const std::string& modulePath,
                                                      std::string_view name, std::string_view type);

// A res: URL, "res://" module path "/" [type "/"] name. The type is
// "RT_HTML" (or its number, 23) when left out.
struct ResUrl {
  std::string module;
  std::string type;
  std::string name;
};
// nullopt when url is not a res: URL with a module and a name.
std::optional<ResUrl> ParseResUrl(std::string_view url);

}  // namespace quillmer
