// The program-wide streams of the passes.
#include "streams.h"

FILE *oldfp = nullptr;
FILE *newfp = nullptr;
