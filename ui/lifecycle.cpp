#include "ui/lifecycle.h"

namespace quillmer {

// The settings store and the user tables join these in the next commits.
void RunLoadSequence() {}
void RunUnloadSequence() {}

}  // namespace quillmer
