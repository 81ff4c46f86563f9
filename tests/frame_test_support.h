// Helpers for the frame, framing and picture tests: controls that also record where and what
// was presented, and small models set up directly in the form's arrays.
#pragma once

#include <QImage>
#include <vector>

#include "scene/headless_controls.h"
#include "scene/scene_model.h"

// The recording fake, plus the position and size of the last frame presented. With
// `KeepCopy` it holds on to the presented image as a window that repaints from a copy would.
struct PresentingControls : HeadlessControls {
  int LastLeft = -1;
  int LastTop = -1;
  int LastWidth = -1;
  int LastHeight = -1;
  bool KeepCopy = false;
  QImage Kept;
  void PresentFrame(const QImage& frame, int left, int top) override {
    HeadlessControls::PresentFrame(frame, left, top);
    LastLeft = left;
    LastTop = top;
    LastWidth = frame.width();
    LastHeight = frame.height();
    if (KeepCopy) Kept = frame;
  }
};

struct PresentingForm {
  PresentingControls controls;
  TForm1 form{controls};
  PresentingForm() { controls.Attach(&form); }
};

// Replaces the model with `points`, joined in order by white lines (one point: a dot), as a
// reader would leave it; the view is not fitted.
inline void SetModel(TForm1& form, const std::vector<Vec3>& points) {
  form.Points.clear();
  for (const Vec3& p : points) form.Points.push_back(PointRecord{p, {}, 0, 0});
  form.PointCount = static_cast<int32_t>(form.Points.size());
  form.Segments.clear();
  const uint32_t white = 0x00FFFFFFu;
  if (points.size() == 1) form.Segments.push_back(SegmentRecord{1, 0, white, 0, 0, 0});
  for (int32_t i = 1; i < form.PointCount; ++i) {
    form.Segments.push_back(SegmentRecord{0, 0, white, i - 1, i, 0});
  }
  form.SegmentCount = static_cast<int32_t>(form.Segments.size());
}

// A load as the readers do it: NewView, the model, ComputeScale.
inline void LoadModel(TForm1& form, const std::vector<Vec3>& points) {
  form.NewView();
  SetModel(form, points);
  form.ComputeScale();
}
