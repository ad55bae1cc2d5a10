// The controls know windows, not pages.
#include "page/page_convert.h"
