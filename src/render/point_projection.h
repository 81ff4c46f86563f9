// Projection of the model's points into camera space and onto the frame, with the depth range.
#pragma once

#include <cstddef>
#include <cstdint>

class TForm1;
class WorkerPool;
struct RenderWorkspace;

struct DepthRange {
  float zmin = 0;
  float zmax = 0;
};

// For every point, index 0 first: View := LookAt(Pos − Centre), then ScreenX and ScreenY, and
// the depth range over all points (each bound stored as a float). Also fills the workspace's
// depth and screen arrays for the later passes. A value that is not finite throws KestrelError
// and leaves the points exactly as the plain loop leaves them: those before it done, and that
// point's View and screen position written only as far as they were computed, those after it
// untouched, however many of the pool's threads do the work.
DepthRange ProjectPoints(TForm1& form, size_t pointCount, int32_t width, int32_t height,
                         RenderWorkspace& workspace, WorkerPool& pool);
