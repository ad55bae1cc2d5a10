// The host's side of automation: objects made by ProgID through the registry,
// and late-bound calls with their errors turned into messages.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/com/com.h"

namespace quillmer::cli {

// A new object of the class registered under progId, as its IDispatch.
// Throws Error saying what is missing: the ProgID, the class, the module.
ComPtr<IDispatch> CreateAutomationObject(std::u16string_view progId);

// Calls the method by name with the arguments in declared order. Throws Error
// with the object's own description of a failure.
VARIANT CallMethod(IDispatch* object, std::u16string_view name, std::vector<VARIANT> args);

// Unloads the server modules that no object holds any more.
void FreeUnusedServers();

}  // namespace quillmer::cli
