// The module's own resources, found by name and type as the platform's
// FindResource/LoadResource do, and the module's directory.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quillmer {

constexpr std::string_view RT_RCDATA = "RCDATA";
constexpr std::string_view RT_HTML = "RT_HTML";
constexpr std::string_view RT_TYPELIB = "TYPELIB";

struct BuiltinResource {
  const char* type;
  const char* name;
  const unsigned char* begin;
  const unsigned char* end;
};

// Names and types compare without regard to case. Empty when there is no such
// resource. The bytes live as long as the module.
std::optional<std::string_view> LoadModuleResource(std::string_view name,
                                                   std::string_view type = RT_RCDATA);

// True when bytes lie within the resources built into the program, which live
// as long as the process (resources put in place by tests do not).
bool IsBuiltinResourceData(std::string_view bytes);

// Test seam: put bytes in place of a resource (or hide it with nullopt) until
// ClearResourceOverrides.
void SetResourceOverride(std::string_view name, std::string_view type,
                         std::optional<std::string> bytes);
void ClearResourceOverrides();

// The full path of the loaded module (the program when the code is linked
// into it), as the platform's GetModuleFileName gives it.
std::string ModuleFileName();

// The directory that holds Quillmer.ini and the user emendation files, with a
// trailing separator: QUILLMER_HOME when set, else the module's directory when
// the user can write it, else UserConfigDirectory (made if missing).
std::string ModuleDirectory();

// quillmer/ under $XDG_CONFIG_HOME (default ~/.config), with a trailing separator.
std::string UserConfigDirectory();

}  // namespace quillmer

// Defined by the generated resource table linked into every binary.
extern "C" const quillmer::BuiltinResource* QuillmerBuiltinResources(std::size_t* count);
