// The module's load and unload sequences: what the band unit builds when the
// module is first loaded into a process and tears down when it goes.
#pragma once

#include <functional>
#include <string_view>

namespace quillmer {

// Determines ModuleDirectory, opens the SettingsStore on Quillmer.ini there,
// fills the SharedSettings, reads HelperEnabled from the registry, and makes
// them the settings of page conversion and of the user emendation tables.
// Only the first call does anything until RunUnloadSequence. Throws Error
// when Quillmer.ini exists but cannot be read.
void RunLoadSequence();

// Empties ConvertingBrowsers, detaches page conversion and the user tables
// from the settings, flushes the store when anything was written to it (a
// failed flush is shown in a message box), frees it and clears the shared
// copies' caption and auto-zoom list. Does nothing when the load sequence has
// not run.
void RunUnloadSequence();

// The last step of the load: registering the band object's class factory
// with the band caption as its description. The COM server installs it.
using BandFactoryHook = std::function<void(std::u16string_view caption)>;
void SetBandFactoryHook(BandFactoryHook hook);

}  // namespace quillmer
