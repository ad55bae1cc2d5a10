#include <cstdio>
#include "engine/convert.h"
int main() { return 0; }
