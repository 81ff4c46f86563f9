// Dots in depth order, by a radix sort of packed items: up to three counting passes over 32
// bits of each z, stable, so that equal keys stay in file order.
#include "formats/cloud_order.h"

#include <array>
#include <bit>
#include <utility>
#include <vector>
#if defined(__linux__)
#include <sys/mman.h>
#endif

#include "scene/prefault.h"
#include "scene/scene_data.h"

namespace {

struct Digit {
  int shift;
  uint32_t mask;
};

constexpr std::array<Digit, 3> kDigits{{{0, 2047}, {11, 2047}, {22, 1023}}};

// Gives the whole pages of [data, data + bytes) back to the system: they have been made into
// dots and are never read again. Only a hint; where it is not offered they go with the array.
void GiveBack(const void* data, size_t bytes) {
#if defined(__linux__)
  constexpr uintptr_t kPage = 4096;
  const auto first = reinterpret_cast<uintptr_t>(data);
  const uintptr_t begin = (first + kPage - 1) & ~(kPage - 1);
  const uintptr_t end = (first + bytes) & ~(kPage - 1);
  if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_DONTNEED);
#else
  (void)data;
  (void)bytes;
#endif
}

}  // namespace

// The upper 32 bits of z as an unsigned number in the order of z: negative values with every
// bit flipped, the others with the sign bit set. Adding +0.0 makes -0.0 the same as +0.0.
uint32_t DepthOrderedDots::DepthBits(double z) {
  const uint64_t bits = std::bit_cast<uint64_t>(z + 0.0);
  const uint64_t ordered = (bits >> 63) != 0 ? ~bits : bits | (uint64_t{1} << 63);
  return static_cast<uint32_t>(ordered >> 32);
}

DepthOrderedDots::DepthOrderedDots(size_t capacity)
    : items_(std::make_unique_for_overwrite<Item[]>(capacity)), capacity_(capacity) {}

void DepthOrderedDots::Finish(SceneData& scene, bool otherColours) {
  const size_t n = count_;
  std::array<std::array<uint32_t, 2048>, 3> counts{};
  for (size_t i = 0; i < n; ++i) {
    for (size_t d = 0; d < kDigits.size(); ++d) {
      ++counts[d][(items_[i].key >> kDigits[d].shift) & kDigits[d].mask];
    }
  }
  {
    auto spare = std::make_unique_for_overwrite<Item[]>(n);
    Item* from = items_.get();
    Item* to = spare.get();
    for (size_t d = 0; d < kDigits.size() && n > 0; ++d) {
      const Digit digit = kDigits[d];
      // A digit all keys share moves nothing (the sign and exponent often do).
      if (counts[d][(from[0].key >> digit.shift) & digit.mask] == n) continue;
      uint32_t start = 0;
      for (uint32_t& c : counts[d]) start += std::exchange(c, start);
      for (size_t i = 0; i < n; ++i) {
        to[counts[d][(from[i].key >> digit.shift) & digit.mask]++] = from[i];
      }
      std::swap(from, to);
    }
    if (from != items_.get()) items_.swap(spare);
  }  // the spare array goes before the dots come

  scene.Segments = std::vector<SegmentRecord>();
  scene.Segments.reserve(n);
  constexpr size_t kPiece = size_t{1} << 16;
  for (size_t begin = 0; begin < n; begin += kPiece) {
    const size_t end = std::min(n, begin + kPiece);
    Prefault(scene.Segments.data() + begin, (end - begin) * sizeof(SegmentRecord));
    for (size_t k = begin; k < end; ++k) {
      const Item& item = items_[k];
      SegmentRecord dot{};
      dot.Kind = 1;  // radius 0: one pixel
      dot.First = static_cast<int32_t>(item.point);
      dot.Colour = otherColours ? item.otherColour : item.colour;
      scene.Segments.push_back(dot);
    }
    GiveBack(items_.get(), end * sizeof(Item));
  }
  items_.reset();
  count_ = capacity_ = 0;
}

void PutCloudInDepthOrder(SceneData& scene) {
  if (scene.Segments.size() != scene.Points.size()) return;
  for (size_t k = 0; k < scene.Segments.size(); ++k) {
    const SegmentRecord& s = scene.Segments[k];
    if (s.Kind == 0 || s.First != static_cast<int32_t>(k) || s.Radius != 0) return;
  }
  DepthOrderedDots dots(scene.Points.size());
  for (size_t k = 0; k < scene.Points.size(); ++k) {
    dots.Add(scene.Points[k].Pos.z, scene.Segments[k].Colour);
  }
  dots.Finish(scene);
}
