// The JavaScript of context-menu pages, run in an embedded engine (Duktape)
// as the browser runs it: `new ActiveXObject(progid)` makes a registered
// automation object, whose methods are called through its IDispatch, and
// `external.menuArguments` is the window the menu was opened on.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/com/com.h"

namespace quillmer::cli {

class ScriptHost {
 public:
  ScriptHost();
  // Drops every object the scripts still hold.
  ~ScriptHost();
  ScriptHost(const ScriptHost&) = delete;
  ScriptHost& operator=(const ScriptHost&) = delete;

  // What `external.menuArguments` gives (null: null).
  void SetMenuArguments(IDispatch* window);

  // Runs one script. Throws Error "NAME line N: MESSAGE" when it fails to
  // compile or raises an error that it does not catch.
  void Run(std::u16string_view source, const std::string& name);

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace quillmer::cli
