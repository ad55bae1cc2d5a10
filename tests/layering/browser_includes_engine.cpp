// Must not compile: the browser model knows nothing of the product.
#include "engine/convert.h"
