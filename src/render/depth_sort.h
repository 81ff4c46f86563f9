// The renderer's per-frame depth sort of the segment records.
#pragma once

#include <cstddef>
#include <cstdint>

#include "scene/records.h"

struct RenderWorkspace;

// Sorts segments[0 .. count − 1] in place, ascending by Depth, by the program's quicksort: the
// middle record's Depth as pivot, both scans stopping at records equal to it, whole records
// exchanged. It is not stable, and the order it leaves among equal depths is part of what a
// save writes and what the next frame starts from, so the exchanges are exactly those of that
// algorithm. Counts below 2 change nothing.
void SortSegmentsByDepth(SegmentRecord* segments, int64_t count);

// Gives every segment its Depth from `pointDepths` (View.z of each of `pointCount` points: a
// point segment its point's, a line the mean of its two ends'; a segment naming a point that
// does not exist keeps the Depth it had), then sorts the segments as SortSegmentsByDepth
// does, leaving exactly the order it leaves, ties included. Uses `workspace` for its arrays.
void KeyAndSortSegments(SegmentRecord* segments, size_t count, const double* pointDepths,
                        size_t pointCount, RenderWorkspace& workspace);
