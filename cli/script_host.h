// The JavaScript of context-menu pages, run in an embedded engine (Duktape)
// as the browser runs it: `new ActiveXObject(progid)` makes a registered
// automation object, whose methods are called through its IDispatch, and
// `external.menuArguments` is the window the menu was opened on.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/com/com.h"

namespace quillmer::cli {

// What a host function gives back: JSON text (objects, arrays) when json is
// not empty, else the VARIANT.
struct ScriptValue {
  VARIANT value;
  std::string json;
};
// A host function's arguments arrive as VARIANTs (strings, numbers, booleans,
// null, automation objects; undefined as VT_EMPTY). An exception it throws
// becomes an Error of the script at the calling line.
using HostFunction = std::function<ScriptValue(const std::vector<VARIANT>& args)>;

class ScriptHost {
 public:
  ScriptHost();
  // Drops every object the scripts still hold.
  ~ScriptHost();
  ScriptHost(const ScriptHost&) = delete;
  ScriptHost& operator=(const ScriptHost&) = delete;

  // What `external.menuArguments` gives (null: null).
  void SetMenuArguments(IDispatch* window);

  // Defines a global function of the scripts.
  void Define(const std::string& name, HostFunction function);

  // Runs one script. Throws Error "NAME line N: MESSAGE" when it fails to
  // compile or raises an error that it does not catch.
  void Run(std::u16string_view source, const std::string& name);

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

// print(...): a line of its arguments on standard output (objects as JSON).
void DefinePrint(ScriptHost& host);

}  // namespace quillmer::cli
