// Points in depth order: a radix sort of whole items on the upper 32 bits of z (up to three
// stable counting passes), then one insertion pass that puts the few points those bits cannot
// tell apart in the exact order of z, stable too.
#include "formats/cloud_order.h"

#include <algorithm>
#include <array>
#include <bit>
#include <utility>
#include <vector>

#include "formats/prefault.h"
#include "scene/scene_data.h"

namespace {

// The upper 32 bits of z as an unsigned number in the order of z: negative values with every
// bit flipped, the others with the sign bit set. Adding +0.0 makes -0.0 the same as +0.0.
uint32_t DepthBits(double z) {
  const uint64_t bits = std::bit_cast<uint64_t>(z + 0.0);
  const uint64_t ordered = (bits >> 63) != 0 ? ~bits : bits | (uint64_t{1} << 63);
  return static_cast<uint32_t>(ordered >> 32);
}

struct Digit {
  int shift;
  uint32_t mask;
};

constexpr std::array<Digit, 3> kDigits{{{0, 2047}, {11, 2047}, {22, 1023}}};

double Z(const CloudPoint& p) {
  return p.position.z;
}

double Z(const FloatCloudPoint& p) {
  return p.z;
}

Vec3 Position(const CloudPoint& p) {
  return p.position;
}

Vec3 Position(const FloatCloudPoint& p) {
  return Vec3{p.x, p.y, p.z};
}

uint32_t Colour(const CloudPoint& p, bool other) {
  return other ? p.otherColour : p.colour;
}

uint32_t Colour(const FloatCloudPoint& p, bool) {
  return p.colour;
}

}  // namespace

template <class Item>
CloudBuilder<Item>::CloudBuilder(size_t capacity)
    : items_(std::make_unique_for_overwrite<Item[]>(capacity)), capacity_(capacity) {}

template <class Item>
void CloudBuilder<Item>::Finish(SceneData& scene, bool otherColours) {
  const size_t n = count_;
  std::array<std::array<uint32_t, 2048>, 3> counts{};
  for (size_t i = 0; i < n; ++i) {
    const uint32_t key = DepthBits(Z(items_[i]));
    for (size_t d = 0; d < kDigits.size(); ++d) {
      ++counts[d][(key >> kDigits[d].shift) & kDigits[d].mask];
    }
  }
  {
    auto spare = std::make_unique_for_overwrite<Item[]>(n);
    Item* from = items_.get();
    Item* to = spare.get();
    for (size_t d = 0; d < kDigits.size() && n > 0; ++d) {
      const Digit digit = kDigits[d];
      const auto place = [&](const Item& item) {
        return (DepthBits(Z(item)) >> digit.shift) & digit.mask;
      };
      // A digit all points share moves nothing (the sign and exponent often do).
      if (counts[d][place(from[0])] == n) continue;
      uint32_t start = 0;
      for (uint32_t& c : counts[d]) start += std::exchange(c, start);
      for (size_t i = 0; i < n; ++i) to[counts[d][place(from[i])]++] = from[i];
      std::swap(from, to);
    }
    if (from != items_.get()) items_.swap(spare);
  }  // the spare array goes before the points come
  Item* items = items_.get();
  // Points whose z agree in the upper bits are few and lie side by side; a file built to put
  // many of them in reverse would make the insertion quadratic, so past a few moves a point it
  // gives way to a stable sort (same order, n log n).
  size_t budget = 4 * n + 1024;
  const auto deeper = [](const Item& a, const Item& b) { return Z(a) < Z(b); };
  for (size_t i = 1; i < n; ++i) {
    if (!deeper(items[i], items[i - 1])) continue;
    const Item item = items[i];
    size_t j = i;
    for (; j > 0 && deeper(item, items[j - 1]) && budget > 0; --j, --budget) {
      items[j] = items[j - 1];
    }
    items[j] = item;
    if (budget == 0) {
      std::stable_sort(items, items + n, deeper);
      break;
    }
  }

  scene.Points = std::vector<PointRecord>();
  scene.Points.reserve(n);
  scene.Segments = std::vector<SegmentRecord>();
  scene.Segments.reserve(n);
  constexpr size_t kPiece = size_t{1} << 15;
  for (size_t begin = 0; begin < n; begin += kPiece) {
    const size_t end = std::min(n, begin + kPiece);
    Prefault(scene.Points.data() + begin, (end - begin) * sizeof(PointRecord));
    Prefault(scene.Segments.data() + begin, (end - begin) * sizeof(SegmentRecord));
    for (size_t k = begin; k < end; ++k) {
      scene.Points.push_back(PointRecord{Position(items[k]), {}, 0, 0});
      SegmentRecord dot{};
      dot.Kind = 1;  // radius 0: one pixel
      dot.First = static_cast<int32_t>(k);
      dot.Colour = Colour(items[k], otherColours);
      scene.Segments.push_back(dot);
    }
    GiveBackPages(items, end * sizeof(Item));
  }
  items_.reset();
  count_ = capacity_ = 0;
}

template class CloudBuilder<CloudPoint>;
template class CloudBuilder<FloatCloudPoint>;

void PutCloudInDepthOrder(SceneData& scene) {
  if (scene.Segments.size() != scene.Points.size()) return;
  for (size_t k = 0; k < scene.Segments.size(); ++k) {
    const SegmentRecord& s = scene.Segments[k];
    if (s.Kind == 0 || s.First != static_cast<int32_t>(k) || s.Radius != 0) return;
  }
  CloudBuilder<CloudPoint> cloud(scene.Points.size());
  for (size_t k = 0; k < scene.Points.size(); ++k) {
    cloud.Add(CloudPoint{scene.Points[k].Pos, scene.Segments[k].Colour, 0});
  }
  scene.Points = {};
  scene.Segments = {};
  cloud.Finish(scene);
}
