#include "platform/module.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <memory>

namespace quillmer {
namespace {

std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

std::string Key(std::string_view name, std::string_view type) {
  return Upper(type) + '/' + Upper(name);
}

// Owned bytes behind unique_ptr so that views into them stay put.
std::map<std::string, std::unique_ptr<std::optional<std::string>>>& Overrides() {
  static std::map<std::string, std::unique_ptr<std::optional<std::string>>> overrides;
  return overrides;
}

}  // namespace

std::optional<std::string_view> LoadModuleResource(std::string_view name, std::string_view type) {
  auto& overrides = Overrides();
  if (!overrides.empty()) {
    auto it = overrides.find(Key(name, type));
    if (it != overrides.end()) {
      if (!*it->second) return std::nullopt;
      return std::string_view(**it->second);
    }
  }
  std::size_t count = 0;
  const BuiltinResource* table = QuillmerBuiltinResources(&count);
  std::string want = Key(name, type);
  for (std::size_t i = 0; i < count; ++i) {
    if (Key(table[i].name, table[i].type) == want)
      return std::string_view(reinterpret_cast<const char*>(table[i].begin),
                              static_cast<std::size_t>(table[i].end - table[i].begin));
  }
  return std::nullopt;
}

void SetResourceOverride(std::string_view name, std::string_view type,
                         std::optional<std::string> bytes) {
  Overrides()[Key(name, type)] = std::make_unique<std::optional<std::string>>(std::move(bytes));
}

void ClearResourceOverrides() { Overrides().clear(); }

}  // namespace quillmer
