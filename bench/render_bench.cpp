// Frame benchmark: one Render of each large model at 601 × 593 with anti-aliasing and fade on,
// split into transform (projection), sort (depth keys and sort) and drawing; the same figures drawn
// by the toolkit's anti-aliased painter for comparison; and the heap allocations of a steady frame.
#include <QImage>
#include <QPainter>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

#include "render/depth_fade.h"
#include "render/depth_sort.h"
#include "render/point_projection.h"
#include "render/render_workspace.h"
#include "render/screen_geometry.h"
#include "scene/colour_codes.h"
#include "scene/error.h"
#include "scene/headless_controls.h"
#include "scene/scene_model.h"
#include "scene/worker_pool.h"
#include "support/bench_models.h"
#include "support/counting_allocator.h"
#include "view/vector_camera.h"

namespace {

constexpr int kWidth = 601;
constexpr int kHeight = 593;
constexpr int kRepeats = 5;

double Milliseconds(const std::function<void()>& work) {
  const auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
      .count();
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// The renderer's own first passes, timed on their own: projection with the depth range, then
// the depth keys and the sort, as Render runs them.
double TransformPhase(TForm1& form) {
  RenderWorkspace& workspace = *form.Workspace;
  return Milliseconds([&] {
    ProjectPoints(form, form.Points.size(), form.FrameBitmap.width(), form.FrameBitmap.height(),
                  workspace, SharedWorkerPool());
  });
}

double SortPhase(TForm1& form) {
  RenderWorkspace& workspace = *form.Workspace;
  return Milliseconds([&] {
    KeyAndSortSegments(form.Segments, form.Segments.size(), workspace.depths.data(),
                       form.Points.size(), workspace, SharedWorkerPool());
  });
}

// What the toolkit's anti-aliased painter is given for the same frame: the same figures in the
// same order and colours.
struct Figure {
  bool line;
  double x1, y1, x2, y2;  // a line's ends, or a point's centre and its pixel radius in x2
  QColor colour;
};

std::vector<Figure> FiguresOf(const TForm1& form) {
  float zmin = form.Points[0].View.z, zmax = zmin;
  for (const PointRecord& p : form.Points) {
    zmin = std::min(zmin, static_cast<float>(p.View.z));
    zmax = std::max(zmax, static_cast<float>(p.View.z));
  }
  std::vector<Figure> figures;
  figures.reserve(form.Segments.size());
  for (const SegmentRecord& s : form.Segments) {
    const float f = FadeFactor(form.Fade, s.Depth, zmin, zmax);
    const QColor colour(FadeOnBlack(ColourRed(s.Colour), f), FadeOnBlack(ColourGreen(s.Colour), f),
                        FadeOnBlack(ColourBlue(s.Colour), f));
    const PointRecord& a = form.Points[s.First];
    if (s.Kind == 0) {
      const PointRecord& b = form.Points[s.Second];
      PixelLine l;
      if (RoundLine(a.ScreenX, a.ScreenY, b.ScreenX, b.ScreenY, kWidth, kHeight, l)) {
        figures.push_back(
            Figure{true, double(l.x1), double(l.y1), double(l.x2), double(l.y2), colour});
      }
    } else {
      figures.push_back(Figure{false, a.ScreenX, a.ScreenY, s.Radius * form.Scale, 0, colour});
    }
  }
  return figures;
}

double ToolkitDrawing(const std::vector<Figure>& figures) {
  QImage image(kWidth, kHeight, QImage::Format_RGB32);
  return Milliseconds([&] {
    image.fill(0xFF000000u);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QColor current(0, 0, 0);
    painter.setPen(current);
    for (const Figure& f : figures) {
      if (f.colour != current) {
        current = f.colour;
        painter.setPen(current);
      }
      if (f.line) {
        painter.drawLine(QPointF(f.x1, f.y1), QPointF(f.x2, f.y2));
      } else if (f.x2 > 1.0) {
        painter.drawEllipse(QPointF(f.x1, f.y1), f.x2, f.x2);
      } else {
        painter.drawPoint(QPointF(f.x1, f.y1));
      }
    }
  });
}

struct Row {
  const char* name;
  size_t segments;
  double frame, transform, sort, draw, toolkit;
  uint64_t allocations, plainAllocations;
};

Row Measure(const char* name, const std::function<void(TForm1&)>& make) {
  HeadlessControls controls;
  TForm1 form(controls);
  controls.Attach(&form);
  form.FormResize(kWidth + FrameWidthAllowance, kHeight + FrameHeightAllowance);
  make(form);
  form.Render();  // the first frame sorts from the file's order

  Row row{name, form.Segments.size(), 0, 0, 0, 0, 0, 0, 0};
  std::vector<double> frames, transforms, sorts;
  std::vector<SegmentRecord> before;
  for (int k = 0; k < kRepeats; ++k) {
    form.RotateCam(1, 0.003 * 20);  // a drag of 20 pixels between frames
    before = form.Segments;
    frames.push_back(Milliseconds([&] { form.Render(); }));
    // The same frame again, phase by phase, from the same starting order.
    form.Segments = before;
    transforms.push_back(TransformPhase(form));
    sorts.push_back(SortPhase(form));
  }
  if (!controls.Messages.empty())
    std::fprintf(stderr, "%s: %s\n", name, controls.Messages[0].c_str());
  row.frame = Median(frames);
  row.transform = Median(transforms);
  row.sort = Median(sorts);
  row.draw = row.frame - row.transform - row.sort;

  const std::vector<Figure> figures = FiguresOf(form);
  std::vector<double> toolkit;
  for (int k = 0; k < kRepeats; ++k) toolkit.push_back(ToolkitDrawing(figures));
  row.toolkit = Median(toolkit);

  // A steady frame: same camera, nothing resized, nothing copied.
  uint64_t start = AllocationCount();
  form.Render();
  row.allocations = AllocationCount() - start;
  form.AntiAlias = false;
  form.Render();
  start = AllocationCount();
  form.Render();
  row.plainAllocations = AllocationCount() - start;
  return row;
}

}  // namespace

int main() {
  const Row rows[] = {
      Measure("Lorenz curve, 999,999 short lines", [](TForm1& f) { MakeLorenzCurve(f, 1000000); }),
      Measure("1,000,000 random lines in a ball",
              [](TForm1& f) { MakeRandomLines(f, 1000000, 1); }),
      Measure("100,000 random lines in a ball", [](TForm1& f) { MakeRandomLines(f, 100000, 2); }),
      Measure("1,000,000 dots", [](TForm1& f) { MakeDots(f, 1000000, 3); }),
      Measure("100,000 circles", [](TForm1& f) { MakeCircles(f, 100000, 0.01, 4); }),
  };
  std::printf("One frame at %dx%d, anti-aliasing and fade on; median of %d frames (ms)\n\n", kWidth,
              kHeight, kRepeats);
  std::printf("%-36s %9s %8s %9s %7s %8s %13s %7s %7s %9s\n", "model", "segments", "frame",
              "transform", "sort", "drawing", "toolkit AA", "ratio", "allocs", "plain");
  for (const Row& r : rows) {
    std::printf("%-36s %9zu %8.1f %9.1f %7.1f %8.1f %13.1f %6.2fx %7llu %9llu\n", r.name,
                r.segments, r.frame, r.transform, r.sort, r.draw, r.toolkit, r.toolkit / r.draw,
                static_cast<unsigned long long>(r.allocations),
                static_cast<unsigned long long>(r.plainAllocations));
  }
  std::printf(
      "\ntransform: projection and depth range; sort: depth keys and sort (the renderer's own\n"
      "passes). drawing = frame - transform - sort (it includes the background fill and the bound\n"
      "tests). toolkit AA: QPainter with anti-aliasing drawing the same figures in the same\n"
      "colours into an equal image; ratio = toolkit AA / drawing. allocs: heap allocations of a\n"
      "steady anti-aliased frame; plain: of a steady frame with anti-aliasing off.\n");
  return 0;
}
