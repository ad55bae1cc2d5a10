// Must not compile: page conversion is handed its settings; it does not reach up for them.
#include "ui/shared_settings.h"
