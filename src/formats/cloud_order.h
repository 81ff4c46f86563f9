// The dots of a point cloud, handed over in the order of their depth in the fitted view.
//
// A cloud's first frame is drawn from the reset camera, which looks down -z: every dot's depth
// is its z less the centre's. Scanners and generators give many points the same z, and the
// frame's sort must then run its exact quicksort over all of them, which on ten million dots
// in file order takes seconds; in depth order it takes a small part of that. So the readers
// give their dots in ascending z, dots of equal z (to the first 32 bits of the double) in file
// order. The points keep the file's order; only the drawing order changes, and every frame
// sorts it again anyway.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>

struct SceneData;

class DepthOrderedDots {
 public:
  // Room for `capacity` dots.
  explicit DepthOrderedDots(size_t capacity);

  // The dot of the next point (points are numbered from 0 in the order they are added), at
  // depth `z`, in `colour`, or in `otherColour` should Finish ask for that one. At most
  // `capacity` dots.
  void Add(double z, uint32_t colour, uint32_t otherColour = 0) {
    if (count_ == capacity_) throw std::length_error("more dots than room was made for");
    items_[count_] = Item{DepthBits(z), static_cast<uint32_t>(count_), colour, otherColour};
    ++count_;
  }

  // Makes `scene.Segments` the dots, one a point, in ascending z, single pixels in their
  // colours (the other colours where `otherColours` says so). What the sort holds, 32 bytes a
  // dot, goes back piece by piece as the dots are made, so it never holds more than they do.
  void Finish(SceneData& scene, bool otherColours = false);

 private:
  struct Item {
    uint32_t key;
    uint32_t point;
    uint32_t colour;
    uint32_t otherColour;
  };
  static uint32_t DepthBits(double z);

  std::unique_ptr<Item[]> items_;
  size_t capacity_;
  size_t count_ = 0;
};

// For a scene that is one dot a point, dot k on point k (a cloud read by the library): its dots
// are put in depth order. Any other scene is left as it is.
void PutCloudInDepthOrder(SceneData& scene);
