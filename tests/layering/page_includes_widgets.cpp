// Page conversion knows no controls.
#include "widgets/control.h"
