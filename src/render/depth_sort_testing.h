// The program's quicksort on its own, for the tests that hold the renderer's faster sort to it.
#pragma once

#include <cstdint>

#include "scene/records.h"

// Sorts segments[0 .. count − 1] in place, ascending by Depth, by the program's quicksort: the
// middle record's Depth as pivot, both scans stopping at records equal to it, whole records
// exchanged. It is not stable, and the order it leaves among equal depths is part of what a
// save writes and what the next frame starts from, so the exchanges are exactly those of that
// algorithm. Counts below 2 change nothing.
void SortSegmentsByDepth(SegmentRecord* segments, int64_t count);
