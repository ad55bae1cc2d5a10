// Must not compile: the forms and settings know nothing of the COM server.
#include "com/server.h"
