// One frame of Render, and a few more after turns and resizes, on an arbitrary small model:
// any frame size, camera, zoom, pan, options, coordinates, indices, counts and depths — NaN
// and infinities included. Afterwards the segments must be in ascending depth order whenever
// the frame was drawn, and nothing outside the frame may have been touched (ASan watches).
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "fuzz_support.h"

namespace {

// Raw doubles reach every value, NaN and infinities included; small integers keep the
// interesting region (the frame and a little around it) likely.
double AnyDouble(FuzzedDataProvider& in) {
  switch (in.ConsumeIntegralInRange<int>(0, 3)) {
    case 0:
      return in.ConsumeFloatingPoint<double>();
    case 1:
      return in.ConsumeIntegralInRange<int>(-64, 64);
    case 2:
      return in.ConsumeIntegralInRange<int>(-4096, 4096) / 64.0;
    default: {
      double d;
      const auto bytes = in.ConsumeBytes<uint8_t>(sizeof d);
      if (bytes.size() != sizeof d) return 0;
      std::memcpy(&d, bytes.data(), sizeof d);
      return d;
    }
  }
}

Vec3 AnyVec(FuzzedDataProvider& in) {
  return Vec3{AnyDouble(in), AnyDouble(in), AnyDouble(in)};
}

int32_t AnyIndex(FuzzedDataProvider& in, int32_t points) {
  if (in.ConsumeBool()) return in.ConsumeIntegralInRange<int32_t>(-1, points);
  return in.ConsumeIntegral<int32_t>();
}

bool SortedByDepth(const TForm1& form) {
  // Only the counted segments take part in a frame. A NaN left in a skipped segment's depth
  // compares with nothing, so no order can be asked of a range that holds one.
  const size_t n =
      std::min(form.Segments.size(), static_cast<size_t>(std::max(form.SegmentCount, 0)));
  for (size_t i = 0; i < n; ++i) {
    if (std::isnan(form.Segments[i].Depth)) return true;
  }
  for (size_t i = 1; i < n; ++i) {
    if (form.Segments[i].Depth < form.Segments[i - 1].Depth) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  FuzzForm f(in.ConsumeIntegralInRange<int>(-3, 70), in.ConsumeIntegralInRange<int>(-3, 70));
  TForm1& form = f.form;
  form.NewView();
  for (int i = 1; i <= 6; ++i) form.SetCheckBox(static_cast<uint8_t>(i), in.ConsumeBool());

  const int points = in.ConsumeIntegralInRange<int>(0, 40);
  for (int i = 0; i < points; ++i) form.Points.push_back(PointRecord{AnyVec(in), {}, 0, 0});
  const int segments = in.ConsumeIntegralInRange<int>(0, 40);
  for (int i = 0; i < segments; ++i) {
    SegmentRecord s{};
    s.Kind = in.ConsumeIntegralInRange<uint8_t>(0, 2);
    s.Radius = AnyDouble(in);
    s.Colour = in.ConsumeIntegral<uint32_t>();
    s.First = AnyIndex(in, points);
    s.Second = AnyIndex(in, points);
    s.Depth = in.ConsumeBool() ? AnyDouble(in) : 0;
    form.Segments.push_back(s);
  }
  // Counts that disagree with their arrays must never be read past.
  form.PointCount = in.ConsumeBool() ? points : in.ConsumeIntegralInRange<int32_t>(-2, 45);
  form.SegmentCount = in.ConsumeBool() ? segments : in.ConsumeIntegralInRange<int32_t>(-2, 45);
  form.CircleRadius = in.ConsumeBool() ? 0 : AnyDouble(in);
  if (in.ConsumeBool()) {
    form.ComputeScale();
  } else {
    form.Centre = AnyVec(in);
    form.Scale = AnyDouble(in);
  }
  if (in.ConsumeBool()) {
    form.ViewAxis = AnyVec(in);
    form.UpAxis = AnyVec(in);
    form.RightAxis = AnyVec(in);
  }
  form.PanX = in.ConsumeBool() ? 0 : AnyDouble(in);
  form.PanY = in.ConsumeBool() ? 0 : AnyDouble(in);

  for (int frame = 0; frame < 3 && in.remaining_bytes() > 0; ++frame) {
    const size_t messages = f.controls.Messages.size();
    form.Render();
    if (f.controls.Messages.size() == messages && !SortedByDepth(form)) std::abort();
    // An exception ends the event, as the window's generic error box would; the program goes on.
    try {
      switch (in.ConsumeIntegralInRange<int>(0, 3)) {
        case 0:
          form.RotateCam(in.ConsumeIntegral<uint8_t>(), AnyDouble(in));
          break;
        case 1:
          form.FormResize(in.ConsumeIntegralInRange<int>(150, 280),
                          in.ConsumeIntegralInRange<int>(0, 80));
          break;
        case 2:
          form.SetCheckBox(in.ConsumeIntegralInRange<uint8_t>(1, 6), in.ConsumeBool());
          break;
        default: {
          // The line primitive on its own, with any end points at all.
          if (!form.ScanLines.empty() && form.AntiAlias) {
            form.WuLine(in.ConsumeIntegral<int32_t>(), in.ConsumeIntegral<int32_t>(),
                        in.ConsumeIntegral<int32_t>(), in.ConsumeIntegral<int32_t>(), 255, 128, 1);
          }
          break;
        }
      }
    } catch (const KestrelError&) {
    }
  }
  return 0;
}
