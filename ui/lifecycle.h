// The module's load and unload sequences: what the band unit builds when the
// module is first loaded into a process and tears down when it goes.
#pragma once

#include <functional>
#include <memory>
#include <string_view>

#include "ui/module_state.h"

namespace quillmer {

// The last step of the load: registering the band object's class factory
// with the band caption as its description. The COM server passes it.
using BandFactoryHook = std::function<void(std::u16string_view caption)>;

// Determines ModuleDirectory, opens the SettingsStore on Quillmer.ini there,
// fills the SharedSettings, reads HelperEnabled from the registry, and gives
// the tables the user's emendation files wired to the store; then calls
// registerBand, if given. Throws Error when Quillmer.ini exists but cannot
// be read.
std::unique_ptr<ModuleState> LoadModuleState(const BandFactoryHook& registerBand = {});

// Empties ConvertingBrowsers and flushes the store when anything was written
// to it (a failed flush is shown in a message box).
void UnloadModuleState(ModuleState& state);

// The module's state while loaded: null before RunLoadSequence and after
// RunUnloadSequence. The module's exports reach it here.
ModuleState* CurrentModule();

// LoadModuleState, then makes its state the module's and its tables the
// engine's current ones. Only the first call does anything until
// RunUnloadSequence.
void RunLoadSequence(const BandFactoryHook& registerBand = {});

// UnloadModuleState on the module's state, then frees it. Does nothing when
// the load sequence has not run.
void RunUnloadSequence();

}  // namespace quillmer
