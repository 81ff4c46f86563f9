// The renderer's per-frame depth sort of the segment records.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "scene/records.h"

struct RenderWorkspace;
struct DepthKey;
class WorkerPool;

// The sorted order of a frame's segments: place k takes the segment that stood at
// keys[k].index, with its new Depth keys[k].Depth. When `moved` is false every segment stays
// where it is (keys[k].index is k) and only the depths change; when `keys` is null as well,
// the records already stand in their order with their new depths.
struct DepthOrder {
  const DepthKey* keys;
  bool moved;
};

// Works out each segment's new Depth from `pointDepths` (View.z of each of `pointCount`
// points: a point segment its point's, a line the mean of its two ends'; a segment naming a
// point that does not exist keeps the Depth it had) and the order the quicksort leaves them
// in, ties included (the program's quicksort, depth_sort_testing.h). The records are left as
// they are, except where their new depths never decrease but tie somewhere: then they are
// sorted in place, and the order returned has null keys. Uses `workspace` for its arrays and
// `pool` for its threads.
DepthOrder SortDepthKeys(SegmentRecord* segments, size_t count, const double* pointDepths,
                         size_t pointCount, RenderWorkspace& workspace, WorkerPool& pool);

// Puts `order` into effect on segments[0 .. count − 1]: the records in their new places with
// their new depths. The records may end up in storage of the workspace's, swapped into
// `segments` (the vector keeps its size; what lay beyond `count` stays as it was).
void ApplyDepthOrder(std::vector<SegmentRecord>& segments, size_t count, const DepthOrder& order,
                     RenderWorkspace& workspace);

// Both in one: the depths given and the records sorted, as a frame leaves them.
void KeyAndSortSegments(std::vector<SegmentRecord>& segments, size_t count,
                        const double* pointDepths, size_t pointCount, RenderWorkspace& workspace,
                        WorkerPool& pool);
