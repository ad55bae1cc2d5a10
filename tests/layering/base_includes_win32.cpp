// Must not compile: the base layer stands on nothing but the library.
#include "platform/win32/codepage.h"
