// Must not compile: the Win32 services know nothing of the object model.
#include "platform/com/unknown.h"
