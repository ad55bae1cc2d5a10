// Must not compile: the engine knows nothing of pages.
#include "page/page_convert.h"
