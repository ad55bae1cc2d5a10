// The module's load and unload sequences: what the band unit builds when the
// module is first loaded into a process and tears down when it goes.
#pragma once

namespace quillmer {

// Determines ModuleDirectory, opens the SettingsStore on Quillmer.ini there,
// fills the SharedSettings and wires the user emendation tables to the store.
// Only the first call of a process does anything until RunUnloadSequence.
void RunLoadSequence();

// Flushes and frees the store and clears the shared copies. Does nothing when
// the load sequence has not run.
void RunUnloadSequence();

}  // namespace quillmer
