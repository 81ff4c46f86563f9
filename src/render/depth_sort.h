// The renderer's per-frame depth sort of the segment records.
#pragma once

#include <cstddef>
#include <cstdint>

#include "scene/records.h"

struct RenderWorkspace;

// Gives every segment its Depth from `pointDepths` (View.z of each of `pointCount` points: a
// point segment its point's, a line the mean of its two ends'; a segment naming a point that
// does not exist keeps the Depth it had), then sorts the segments ascending by Depth as the
// program's quicksort does (depth_sort_testing.h), leaving exactly the order it leaves, ties
// included. Uses `workspace` for its arrays.
void KeyAndSortSegments(SegmentRecord* segments, size_t count, const double* pointDepths,
                        size_t pointCount, RenderWorkspace& workspace);
