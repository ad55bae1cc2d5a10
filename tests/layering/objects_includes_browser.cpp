// Must not compile: the object model knows nothing of the browser.
#include "platform/browser/mshtml.h"
