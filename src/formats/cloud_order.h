// Point clouds handed over in the order of depth in the fitted view.
//
// A cloud's first frame is drawn from the reset camera, which looks down -z: every dot's depth
// is its point's z less the centre's. Scanners and generators give many points the same z, and
// the frame's sort must then run its exact quicksort over all of them, which on ten million
// dots in file order takes seconds, and draws them from all over memory. With the points and
// their dots in ascending z it takes a small part of that. The order of a cloud's points means
// nothing to anyone (every frame sorts the dots again anyway), so the readers give them in that
// order: ascending z, equal z in file order.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>

#include "scene/records.h"

struct SceneData;

// A point as the sort moves it: its position and its colour, or the other colour when Finish
// asks for that one.
struct CloudPoint {
  Vec3 position;
  uint32_t colour;
  uint32_t otherColour;
};

// The same in half the bytes, for a file that holds its positions as floats (each is exactly
// the double it stands for) and one colour: half the memory to sort, and to fill.
struct FloatCloudPoint {
  float x, y, z;
  uint32_t colour;
};

template <class Item>
class CloudBuilder {
 public:
  // Room for `capacity` points.
  explicit CloudBuilder(size_t capacity);

  // The next point of the file. At most `capacity` points.
  void Add(const Item& item) {
    if (count_ == capacity_) throw std::length_error("more points than room was made for");
    items_[count_++] = item;
  }

  size_t Count() const { return count_; }
  size_t Capacity() const { return capacity_; }

  // Makes `scene.Points` the points in ascending z (equal z in the order added) and
  // `scene.Segments` their dots, dot k on point k, single pixels in their colours (the other
  // colours where `otherColours` says so). Needs room for the items twice for the sort, and
  // gives them back piece by piece as the points and dots are made, so that it never holds
  // more than they do.
  void Finish(SceneData& scene, bool otherColours = false);

 private:
  std::unique_ptr<Item[]> items_;
  size_t capacity_;
  size_t count_ = 0;
};

extern template class CloudBuilder<CloudPoint>;
extern template class CloudBuilder<FloatCloudPoint>;

// For a scene that is one dot a point, dot k on point k (a cloud read by the library): its
// points and dots are put in the same order. Any other scene is left as it is.
void PutCloudInDepthOrder(SceneData& scene);
