// The program's quicksort on its own, for the tests that hold the renderer's faster sort to it,
// and what the tests and benchmarks look into: its level limit and how deep it goes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "scene/records.h"

// Sorts segments[0 .. count − 1] in place, ascending by Depth, by the program's quicksort: the
// middle record's Depth as pivot, both scans stopping at records equal to it, whole records
// exchanged. It is not stable, and the order it leaves among equal depths is part of what a
// save writes and what the next frame starts from, so the exchanges are exactly those of that
// algorithm, down to QuicksortLevelLimit(count) levels (see there). Counts below 2 change
// nothing.
void SortSegmentsByDepth(SegmentRecord* segments, int64_t count);

// How many levels deep the quicksort partitions a range of `count` items before the rest of
// a range that deep is finished by a heap sort.
int QuicksortLevelLimit(size_t count);

// How deep the quicksort goes on `depths` (in this order) with no limit at all: 1 for a single
// partition pass, 0 when there is nothing to partition.
int QuicksortLevels(std::vector<double> depths);

// The program's quicksort on `depths`, limited to `limit` levels instead of its own limit;
// true when some range reached the limit and was finished by the heap sort.
bool QuicksortWithLevelLimit(std::vector<double>& depths, int limit);
