// The parts of the renderer's passes.
#include "render/pass_parts.h"

#include <atomic>

#include "render/pass_parts_testing.h"

namespace {
constexpr size_t kSmallestPart = 4096;
std::atomic<size_t> g_smallestPart{kSmallestPart};
}  // namespace

size_t SmallestPart() {
  return g_smallestPart.load(std::memory_order_relaxed);
}

void SetSmallestPart(size_t items) {
  g_smallestPart.store(items == 0 ? kSmallestPart : items, std::memory_order_relaxed);
}
