// kestrel-render's progress text: the frame being drawn and the time the rest will take.
#include "cli/progress.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

TEST(Progress, Text) {
  struct Case {
    int done, total;
    double elapsed;
    const char* text;
  };
  const Case cases[] = {
      {0, 120, 0, "frame 1 of 120"},                         // no pace yet
      {1, 120, 0.25, "frame 2 of 120, 30 s left"},           // 0.25 s a frame, 119 to go: 29.75 s
      {60, 120, 1.5, "frame 61 of 120, 2 s left"},           // rounded up
      {60, 120, 0.001, "frame 61 of 120, 1 s left"},         // never "0 s" while frames remain
      {10, 1000, 10, "frame 11 of 1000, 16 min 30 s left"},  // 990 s
      {1, 2, 59.5, "frame 2 of 2, 1 min 0 s left"},          // 60 s
      {119, 120, 100, "frame 120 of 120, 1 s left"},
      {120, 120, 100, "frame 120 of 120"},  // finished
      {1, 3, std::numeric_limits<double>::infinity(), "frame 2 of 3"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ProgressText(c.done, c.total, c.elapsed), c.text)
        << c.done << " of " << c.total << " after " << c.elapsed;
  }
}

}  // namespace
