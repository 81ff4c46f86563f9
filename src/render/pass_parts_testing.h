// A switch for the tests alone: parts as small as they like, so that small models take every
// branch of the passes over threads (a failure in a later part, parts with nothing to draw).
// Process-wide; the program never touches it.
#pragma once

#include <cstddef>

// 0 puts back the program's own size.
void SetSmallestPart(size_t items);
