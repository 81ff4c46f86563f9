// The drawing pass: every segment in painter's order with its visibility test, depth fade and
// drawing form.
//
// The pass walks the segments in order but reads their ends at random, so it reads them from
// the workspace's compact positions, fetched a few segments ahead, and keeps the exact
// arithmetic on the points' doubles for the rare segment that needs it: an end too far out
// for the compact form, or a point with a cull radius to test. What a segment comes to (a
// figure: a line, an ellipse or a dot, in its faded colour, with its ends in pixels) is worked
// out the same way whether one thread draws it at once or it is kept for the bands.
//
// With several threads, what each segment comes to depends on that segment alone, so ranges
// of segments are worked out at once; only the drawing has an order, the painter's. Drawn in
// bands of rows, every band takes the figures that reach into it in the segments' order and
// writes only its own rows, and every pixel a figure writes depends on that pixel's old value
// alone (a blend reads the pixel it writes, a plain figure reads nothing), so each pixel meets
// the same writes in the same order as in the plain pass. That holds only while no figure
// reads a pixel it does not write, and while a figure's rows are those its kept span names
// (a figure reaching a row outside its span would be left out of that band); both are what
// the figures' own band-clipped forms are tested for (tests/plain_figures_test.cpp and the
// equivalence test). A segment that cannot be drawn stops the figures of its range there and
// of every later range, as the plain pass stops.
#include "render/segment_drawing.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <exception>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "render/depth_fade.h"
#include "render/depth_sort.h"
#include "render/pass_parts.h"
#include "render/plain_figures.h"
#include "render/render_workspace.h"
#include "render/screen_geometry.h"
#include "render/wu_line.h"
#include "render/wu_line_walk.h"
#include "scene/colour_codes.h"
#include "scene/error.h"
#include "scene/scene_model.h"
#include "scene/worker_pool.h"

namespace {

bool ValidIndex(int32_t index, size_t pointCount) {
  return index >= 0 && static_cast<size_t>(index) < pointCount;
}

struct LineColour {
  uint8_t red, green, blue;
  uint32_t Pixel() const { return kOpaque | MakeColor(blue, green, red); }
};

// The segment's colour after depth fade. At f = 1 every channel is its own colour on either
// background, so the rounding is skipped there.
[[gnu::always_inline]] inline LineColour FadedColour(const TForm1& form, const DepthRange& range,
                                                     const SegmentRecord& s) {
  const float f = FadeFactor(form.Fade, s.Depth, range.zmin, range.zmax);
  LineColour c{ColourRed(s.Colour), ColourGreen(s.Colour), ColourBlue(s.Colour)};
  if (f == 1.0f) return c;
  if (form.WhiteBack) {
    const float toWhite = ToSingle(1.0 - f);
    return LineColour{FadeOnWhite(c.red, toWhite), FadeOnWhite(c.green, toWhite),
                      FadeOnWhite(c.blue, toWhite)};
  }
  return LineColour{FadeOnBlack(c.red, f), FadeOnBlack(c.green, f), FadeOnBlack(c.blue, f)};
}

// Works out what each segment is drawn as, and hands it to a Sink: one that draws it at once
// into the whole frame, or one that keeps it for the bands. A Sink has
//   Line(x1, y1, x2, y2, colour)       an anti-aliased or plain line, as the option says
//   Ellipse(l, t, r, b, colour)        a circle's box; filled as the option says
//   Dot(x, y, colour)                  one pixel inside the frame
template <class Sink>
struct Classifier {
  const TForm1& form;
  const DrawSetup& setup;
  Sink& sink;

  void PointSegment(const SegmentRecord& s, double x, double y, const LineColour& colour) const {
    const float r = ToSingle(s.Radius * form.Scale);
    if (r > 1.0f) {
      // Circles are never anti-aliased. Box corners that do not fit 32 bits cannot be drawn.
      int32_t left, top, right, bottom;
      if (!RoundToInt32(x - r, left) || !RoundToInt32(y - r, top) || !RoundToInt32(x + r, right) ||
          !RoundToInt32(y + r, bottom)) {
        return;
      }
      sink.Ellipse(left, top, right, bottom, colour);
      return;
    }
    // A single pixel, stored whole. With anti-aliasing off the toolkit would set the same pixel.
    int32_t px, py;
    if (RoundToInt32(x, px) && RoundToInt32(y, py) && setup.frame.Contains(px, py)) {
      sink.Dot(px, py, colour);
    }
  }

  // One segment from the points' doubles: the bound tests, fade and drawing as defined, for the
  // segments the compact positions cannot settle.
  void Exact(const SegmentRecord& s) const {
    const double width = setup.frame.width;
    const double height = setup.frame.height;
    const double cull = setup.cull;
    const PointRecord& p1 = form.Points[static_cast<size_t>(s.First)];
    if (s.Kind != 0) {
      // A point counts with its cull radius about it.
      const ScreenPoint e{EdgeBits(p1.ScreenX, width, cull), EdgeBits(p1.ScreenY, height, cull)};
      if (BeyondOneEdge(e, e)) return;
      PointSegment(s, p1.ScreenX, p1.ScreenY, FadedColour(form, setup.range, s));
      return;
    }
    const PointRecord& p2 = form.Points[static_cast<size_t>(s.Second)];
    const ScreenPoint e1{EdgeBits(p1.ScreenX, width), EdgeBits(p1.ScreenY, height)};
    const ScreenPoint e2{EdgeBits(p2.ScreenX, width), EdgeBits(p2.ScreenY, height)};
    if (BeyondOneEdge(e1, e2)) return;
    const LineColour colour = FadedColour(form, setup.range, s);
    PixelLine line;
    if (RoundLine(p1.ScreenX, p1.ScreenY, p2.ScreenX, p2.ScreenY, setup.frame.width,
                  setup.frame.height, line)) {
      sink.Line(line.x1, line.y1, line.x2, line.y2, colour);
    }
  }

  // The compact positions settle the bound test exactly: their edge bits are the ones Exact
  // finds from the doubles, for a point without a cull radius too. A non-far position is the
  // rounded ScreenX and ScreenY, which is what drawing takes.
  [[gnu::always_inline]] void Segment(const SegmentRecord& s) const {
    const size_t pointCount = setup.pointCount;
    const ScreenPoint* screen = setup.screen;
    if (!ValidIndex(s.First, pointCount)) return;
    const ScreenPoint a = screen[s.First];
    if (s.Kind != 0) {
      // With a cull radius a point's test needs its doubles; only models with circles have one.
      if (setup.cull != 0 || IsFar(a)) {
        Exact(s);
        return;
      }
      if (BeyondOneEdge(a, a)) return;
      const LineColour colour = FadedColour(form, setup.range, s);
      const float r = ToSingle(s.Radius * form.Scale);
      if (r > 1.0f) {
        const PointRecord& p = form.Points[static_cast<size_t>(s.First)];
        PointSegment(s, p.ScreenX, p.ScreenY, colour);
        return;
      }
      // Within the frame's edges the rounded position is at least 0 but may reach W or H.
      const int32_t px = PixelOf(a.x);
      const int32_t py = PixelOf(a.y);
      if (px < setup.frame.width && py < setup.frame.height) sink.Dot(px, py, colour);
      return;
    }
    if (!ValidIndex(s.Second, pointCount)) return;
    const ScreenPoint b = screen[s.Second];
    if (IsFar(a) || IsFar(b)) {
      Exact(s);
      return;
    }
    if (BeyondOneEdge(a, b)) return;
    sink.Line(PixelOf(a.x), PixelOf(a.y), PixelOf(b.x), PixelOf(b.y),
              FadedColour(form, setup.range, s));
  }

  // Fetches the positions of the segment `ahead` for its turn a few segments later.
  [[gnu::always_inline]] void Prefetch(const SegmentRecord& ahead) const {
    if (ValidIndex(ahead.First, setup.pointCount)) {
      __builtin_prefetch(setup.screen + ahead.First);
      // A point tested against the cull radius reads its record.
      if (setup.cull != 0 && ahead.Kind != 0) __builtin_prefetch(&form.Points[ahead.First]);
    }
    if (ValidIndex(ahead.Second, setup.pointCount)) __builtin_prefetch(setup.screen + ahead.Second);
  }
};

// The moved records are not read again this frame, so they are written past the caches: the
// copy then costs the writes alone, not a read of every line it is about to overwrite.
inline void StreamRecord(SegmentRecord* to, const SegmentRecord& s) {
#if defined(__SSE2__)
  static_assert(sizeof(SegmentRecord) % 8 == 0 && alignof(SegmentRecord) >= 8);
  long long words[sizeof(SegmentRecord) / 8];
  std::memcpy(words, &s, sizeof s);
  auto* out = reinterpret_cast<long long*>(to);
  for (size_t i = 0; i < sizeof(SegmentRecord) / 8; ++i) _mm_stream_si64(out + i, words[i]);
#else
  *to = s;
#endif
}

// Streamed writes are ordered by a fence before other threads may read what they wrote.
inline void FinishStreaming() {
#if defined(__SSE2__)
  _mm_sfence();
#endif
}

// The drawing pass reads the segments in order but their ends at random: the positions of the
// segment this many places ahead are fetched while the current one is drawn.
constexpr size_t kPrefetchAhead = 12;

// ---------------------------------------------------------------- one thread, the whole frame

template <class Lines>
struct FrameSink {
  const FramePixels& frame;
  bool antiAlias;
  bool fillCircles;

  [[gnu::always_inline]] void Line(int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                                   const LineColour& c) const {
    if (antiAlias) {
      Lines::Draw(frame, x1, y1, x2, y2, c.red, c.green, c.blue);
    } else {
      DrawPlainLinePixels(frame, RowBand{0, frame.height}, x1, y1, x2, y2, c.Pixel());
    }
  }
  void Ellipse(int32_t left, int32_t top, int32_t right, int32_t bottom,
               const LineColour& c) const {
    DrawEllipsePixels(frame, RowBand{0, frame.height}, left, top, right, bottom, c.Pixel(),
                      fillCircles);
  }
  [[gnu::always_inline]] void Dot(int32_t x, int32_t y, const LineColour& c) const {
    frame.At(x, y) = c.Pixel();
  }
};

// The records of [begin, end) of the sorted order moved to their places with their depths, and
// then each handed to `classify` up to the first that cannot be drawn, whose failure is
// returned: the sort is finished whatever happens. Moving them all first and then drawing them
// from their new places is quicker than drawing each as it is moved: the gathering reads do not
// wait on the drawing, and the drawing reads the records in order.
//
// `kStream`: the moved records are written past the caches. Worth it where two threads share
// the memory's bandwidth; one thread draws sooner from records it has just written.
template <bool kStream, class Sink>
[[gnu::always_inline]] inline std::exception_ptr MoveAndClassify(const Classifier<Sink>& classify,
                                                                 const SegmentRecord* from,
                                                                 SegmentRecord* to,
                                                                 const DepthOrder& order,
                                                                 size_t begin, size_t end) {
  const DepthKey* keys = order.keys;
  for (size_t k = begin; k < end; ++k) {
    if (!order.moved) {
      if (keys == nullptr) break;  // sorted where they stand
      to[k].Depth = keys[k].Depth;
      continue;
    }
    if (k + kPrefetchAhead < end) __builtin_prefetch(from + keys[k + kPrefetchAhead].index);
    SegmentRecord s = from[keys[k].index];
    s.Depth = keys[k].Depth;
    if constexpr (kStream) {
      StreamRecord(to + k, s);
    } else {
      to[k] = s;
    }
  }
  if constexpr (kStream) FinishStreaming();
  try {
    for (size_t k = begin; k < end; ++k) {
      if (k + kPrefetchAhead < end) classify.Prefetch(to[k + kPrefetchAhead]);
      classify.Segment(to[k]);
    }
  } catch (...) {
    return std::current_exception();
  }
  return nullptr;
}

// The records moved to their places (from `from` to `to`, which become the form's), what lay
// past the count kept.
void TakeMovedRecords(std::vector<SegmentRecord>& segments, size_t count, const DepthOrder& order,
                      RenderWorkspace& w) {
  if (!order.moved) return;
  const SegmentRecord* from = segments.data();
  SegmentRecord* to = w.spare.data();
  if (count < segments.size()) std::copy(from + count, from + segments.size(), to + count);
  segments.swap(w.spare);
}

// One thread: each record moved and drawn at once into the whole frame.
template <class Lines>
[[gnu::always_inline]] inline std::exception_ptr MoveAndDrawWith(TForm1& form,
                                                                 const DrawSetup& setup,
                                                                 size_t count,
                                                                 const DepthOrder& order,
                                                                 RenderWorkspace& w) {
  FrameSink<Lines> sink{setup.frame, form.AntiAlias, form.FillCircles};
  const Classifier<FrameSink<Lines>> classify{form, setup, sink};
  const SegmentRecord* from = form.Segments.data();
  SegmentRecord* to =
      order.moved ? w.PrepareSpare(form.Segments.size()).data() : form.Segments.data();
  return MoveAndClassify<false>(classify, from, to, order, 0, count);
}

std::exception_ptr MoveAndDrawPortable(TForm1& form, const DrawSetup& setup, size_t count,
                                       const DepthOrder& order, RenderWorkspace& w) {
  return MoveAndDrawWith<wu_line::PortableLines>(form, setup, count, order, w);
}

#ifdef KESTREL_HAVE_AVX2_PATH
// The whole pass compiled for AVX2, not just the blend: see Avx2Lines.
[[gnu::target("avx2")]] std::exception_ptr MoveAndDrawAvx2(TForm1& form, const DrawSetup& setup,
                                                           size_t count, const DepthOrder& order,
                                                           RenderWorkspace& w) {
  return MoveAndDrawWith<wu_line::Avx2Lines>(form, setup, count, order, w);
}
#endif

// ---------------------------------------------------------------- bands of rows

// A figure kept for the bands: what a segment is drawn as, in pixels.
enum class FigureKind : uint8_t { AntiAliasedLine, PlainLine, Ellipse, FilledEllipse, Dot };

// Keeps the figures of one part of the segments: each in the part's stretch of `figures`, and
// its place in that stretch of the list of every band it reaches into (marked when it reaches
// into no other).
struct BandSink {
  Figure* figures;           // the whole array; this part's stretch begins at `start`
  uint64_t* lists;           // band b's list is lists[b * stride ...], this part's stretch at
  size_t stride;             // b * stride + start: room for every segment of the part
  uint32_t* counts;          // this part's count in each band's list
  const uint8_t* bandOfRow;  // the band of each frame row
  uint32_t start;
  uint32_t next;  // where this part's next figure goes
  int32_t height;
  bool antiAlias;
  bool fillCircles;

  // Keeps a figure that reaches rows [top, bottom] (more rows are harmless: a band draws only
  // what falls in it), unless none of them is in the frame.
  [[gnu::always_inline]] void Keep(const Figure& f, int64_t top, int64_t bottom) {
    if (bottom < 0 || top >= height) return;
    const uint32_t first = bandOfRow[std::max<int64_t>(top, 0)];
    const uint32_t last = bandOfRow[std::min<int64_t>(bottom, height - 1)];
    const uint64_t entry = next | (first == last ? kWholeFigure : 0);
    figures[next] = f;
    for (uint32_t b = first; b <= last; ++b) lists[b * stride + start + counts[b]++] = entry;
    ++next;
  }
  [[gnu::always_inline]] void Line(int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                                   const LineColour& c) {
    const auto kind = antiAlias ? FigureKind::AntiAliasedLine : FigureKind::PlainLine;
    // A pair of the anti-aliased line reaches one row below its near row, and the toolkit's
    // line one row either way of its ends after its rough clip.
    Keep(Figure{x1, y1, x2, y2, c.Pixel(), static_cast<uint8_t>(kind)},
         int64_t{std::min(y1, y2)} - 1, int64_t{std::max(y1, y2)} + 1);
  }
  void Ellipse(int32_t left, int32_t top, int32_t right, int32_t bottom, const LineColour& c) {
    const auto kind = fillCircles ? FigureKind::FilledEllipse : FigureKind::Ellipse;
    Keep(Figure{left, top, right, bottom, c.Pixel(), static_cast<uint8_t>(kind)}, top, bottom);
  }
  // A dot (inside the frame) goes into its band's list whole, when its place fits the entry.
  [[gnu::always_inline]] void Dot(int32_t x, int32_t y, const LineColour& c) {
    if (x < 0x10000 && y < 0x10000) {
      lists[bandOfRow[y] * stride + start + counts[bandOfRow[y]]++] =
          kDotEntry | uint64_t{c.Pixel() & 0xFFFFFFu} << 32 | uint64_t(uint32_t(y)) << 16 |
          uint32_t(x);
      return;
    }
    Keep(Figure{x, y, x, y, c.Pixel(), static_cast<uint8_t>(FigureKind::Dot)}, y, y);
  }
};

// How the frame is cut into bands (see MostBands), none lower than 8 rows.
struct Bands {
  int32_t count;
  int32_t height;
  wu_line::Rows RowsOf(int32_t band, int32_t frameHeight) const {
    return wu_line::Rows{int64_t{band} * height,
                         std::min<int64_t>(int64_t{band + 1} * height, frameHeight)};
  }
};

Bands BandsFor(int32_t frameHeight, int threads) {
  const int32_t wanted = MostBands(threads);
  const int32_t height = std::max<int32_t>((frameHeight + wanted - 1) / wanted, 8);
  return Bands{(frameHeight + height - 1) / height, height};
}

// A figure that reaches into no band but this one is drawn as it would be in the whole frame:
// every pixel it writes lies in the band anyway.
template <class Lines>
[[gnu::always_inline]] inline void DrawWholeFigure(const FramePixels& frame, const Figure& f) {
  switch (static_cast<FigureKind>(f.kind)) {
    case FigureKind::AntiAliasedLine:
      Lines::Draw(frame, f.a, f.b, f.c, f.d, ColourRed(f.colour), ColourGreen(f.colour),
                  ColourBlue(f.colour));
      break;
    case FigureKind::PlainLine:
      DrawPlainLinePixels(frame, RowBand{0, frame.height}, f.a, f.b, f.c, f.d, f.colour);
      break;
    case FigureKind::Ellipse:
    case FigureKind::FilledEllipse:
      DrawEllipsePixels(frame, RowBand{0, frame.height}, f.a, f.b, f.c, f.d, f.colour,
                        f.kind == uint8_t(FigureKind::FilledEllipse));
      break;
    case FigureKind::Dot:
      frame.At(f.a, f.b) = f.colour;
      break;
  }
}

template <class Lines>
void DrawFigureInRows(const FramePixels& frame, wu_line::Rows rows, const Figure& f) {
  switch (static_cast<FigureKind>(f.kind)) {
    case FigureKind::AntiAliasedLine:
      Lines::DrawInRows(frame, rows, f.a, f.b, f.c, f.d, ColourRed(f.colour), ColourGreen(f.colour),
                        ColourBlue(f.colour));
      break;
    case FigureKind::PlainLine:
      DrawPlainLinePixels(
          frame, RowBand{static_cast<int32_t>(rows.top), static_cast<int32_t>(rows.bottom)}, f.a,
          f.b, f.c, f.d, f.colour);
      break;
    case FigureKind::Ellipse:
    case FigureKind::FilledEllipse:
      DrawEllipsePixels(frame,
                        RowBand{static_cast<int32_t>(rows.top), static_cast<int32_t>(rows.bottom)},
                        f.a, f.b, f.c, f.d, f.colour, f.kind == uint8_t(FigureKind::FilledEllipse));
      break;
    case FigureKind::Dot:
      if (f.b >= rows.top && f.b < rows.bottom) frame.At(f.a, f.b) = f.colour;
      break;
  }
}

// Band `band`: every kept figure that reaches into it, part after part, each in its order.
template <class Lines>
void DrawBand(const FramePixels& frame, const Bands& bands, int32_t band, const Split& split,
              const RenderWorkspace& w) {
  const wu_line::Rows rows = bands.RowsOf(band, frame.height);
  const Figure* figures = w.figures.data();
  const uint64_t* list = w.bandLists.data() + static_cast<size_t>(band) * split.count;
  for (size_t part = 0; part < split.parts; ++part) {
    const uint64_t* entries = list + split.Begin(part);
    const uint32_t n =
        w.bandCounts.data()[part * static_cast<size_t>(bands.count) + static_cast<size_t>(band)];
    for (uint32_t i = 0; i < n; ++i) {
      const uint64_t entry = entries[i];
      if (entry & kDotEntry) {
        frame.At(static_cast<int32_t>(entry & 0xFFFF),
                 static_cast<int32_t>((entry >> 16) & 0xFFFF)) =
            kOpaque | static_cast<uint32_t>(entry >> 32);
        continue;
      }
      const Figure& f = figures[entry & ~kWholeFigure];
      if (entry & kWholeFigure) {
        DrawWholeFigure<Lines>(frame, f);
      } else {
        DrawFigureInRows<Lines>(frame, rows, f);
      }
    }
  }
}

void DrawBandPortable(const FramePixels& frame, const Bands& bands, int32_t band,
                      const Split& split, const RenderWorkspace& w) {
  DrawBand<wu_line::PortableLines>(frame, bands, band, split, w);
}

#ifdef KESTREL_HAVE_AVX2_PATH
[[gnu::target("avx2")]] void DrawBandAvx2(const FramePixels& frame, const Bands& bands,
                                          int32_t band, const Split& split,
                                          const RenderWorkspace& w) {
  DrawBand<wu_line::Avx2Lines>(frame, bands, band, split, w);
}
#endif

}  // namespace

namespace {

void MoveAndDrawInBands(TForm1& form, const DrawSetup& setup, size_t segmentCount,
                        const DepthOrder& order, RenderWorkspace& w, WorkerPool& pool) {
  const Bands bands = BandsFor(setup.frame.height, pool.Threads());
  const Split split = SplitFor(segmentCount, pool.Threads(), kDrawPartsPerThread);
  const auto bandCount = static_cast<size_t>(bands.count);
  Figure* figures = w.figures.Prepare(segmentCount);
  uint64_t* lists = w.bandLists.Prepare(bandCount * segmentCount);
  uint32_t* counts = w.bandCounts.Prepare(split.parts * bandCount);
  std::exception_ptr* failures = w.partFailures.Prepare(split.parts);
  uint8_t* bandOfRow = w.bandOfRow.Prepare(static_cast<size_t>(setup.frame.height));
  for (int32_t row = 0; row < setup.frame.height; ++row) {
    bandOfRow[row] = static_cast<uint8_t>(row / bands.height);
  }
  std::vector<SegmentRecord>& segments = form.Segments;
  const SegmentRecord* from = segments.data();
  SegmentRecord* to = order.moved ? w.PrepareSpare(segments.size()).data() : segments.data();

  // Each range of segments: the records to their places with their depths, and the figures
  // of those before any that cannot be drawn.
  pool.Run(split.parts, [&](size_t part) {
    uint32_t* partCounts = counts + part * bandCount;
    std::fill(partCounts, partCounts + bandCount, 0);
    const auto start = static_cast<uint32_t>(split.Begin(part));
    BandSink sink{figures, lists, segmentCount,       partCounts,     bandOfRow,
                  start,   start, setup.frame.height, form.AntiAlias, form.FillCircles};
    const Classifier<BandSink> classify{form, setup, sink};
    failures[part] =
        MoveAndClassify<true>(classify, from, to, order, split.Begin(part), split.Begin(part + 1));
  });
  TakeMovedRecords(segments, segmentCount, order, w);

  // The figures of the ranges up to the first that failed, that one's as far as it got.
  std::exception_ptr failure;
  for (size_t part = 0; part < split.parts; ++part) {
    if (failures[part]) {
      failure = failures[part];
      std::fill(counts + (part + 1) * bandCount, counts + split.parts * bandCount, 0);
      break;
    }
  }
  const bool avx2 = UseAvx2();
  pool.Run(bandCount, [&](size_t band) {
#ifdef KESTREL_HAVE_AVX2_PATH
    if (avx2) {
      DrawBandAvx2(setup.frame, bands, static_cast<int32_t>(band), split, w);
      return;
    }
#endif
    DrawBandPortable(setup.frame, bands, static_cast<int32_t>(band), split, w);
  });
  if (failure) std::rethrow_exception(failure);
}

}  // namespace

void SortAndDrawSegments(TForm1& form, const DrawSetup& setup, size_t segmentCount,
                         const DepthOrder& order, RenderWorkspace& w, WorkerPool& pool) {
  if (pool.Threads() > 1) {
    MoveAndDrawInBands(form, setup, segmentCount, order, w, pool);
    return;
  }
  std::exception_ptr failure;
#ifdef KESTREL_HAVE_AVX2_PATH
  if (UseAvx2()) {
    failure = MoveAndDrawAvx2(form, setup, segmentCount, order, w);
  } else {
    failure = MoveAndDrawPortable(form, setup, segmentCount, order, w);
  }
#else
  failure = MoveAndDrawPortable(form, setup, segmentCount, order, w);
#endif
  TakeMovedRecords(form.Segments, segmentCount, order, w);
  if (failure) std::rethrow_exception(failure);
}
