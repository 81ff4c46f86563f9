// The model lines of a Tumbra file.
//
// What a line does depends on the lines before it only through ParseState (the radius of the
// last "circlediameter", whether a "whiteback" came, how many point lines there were) and on
// nothing after it. So a large file is cut into pieces at line ends and read twice over:
//  - first each piece on its own, only to count its point lines and to find what its switches
//    leave in ParseState; going through the pieces in order then gives each one the exact state
//    the lines before it leave, and the place where its first point goes;
//  - then each piece from that state, its points written straight into their places in the
//    model, its segments from the place of its first point on (a piece has no more segments
//    than point lines, so no piece reaches into the room of the next).
// Put together in order afterwards: the segments moved down to follow one another, the options
// and the centre taken piece after piece as the switches set them, the first failure by line
// order reported, and the unknown switch only when one came before it. What comes out is what
// reading the lines one after the other gives, the index of the first point (the one a line
// from the previous point cannot start from) included.
//
// It must not be used where a line would depend on more than ParseState: a new kind of switch
// that changes how later lines read has to go into ParseState, and into the first pass, too.
// With one thread, or a file too small to be worth cutting, the lines are simply read in order.
#include "formats/tumbra_chunks.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "formats/tumbra_chunks_testing.h"
#include "formats/tumbra_syntax.h"
#include "scene/worker_pool.h"

namespace tumbra {

namespace {

// A megabyte of text is about 15,000 point lines of 17-digit numbers: enough work to be worth
// a thread's while, and pieces small enough that a slow thread's share is picked up.
constexpr size_t kSmallestChunk = size_t{1} << 20;
constexpr size_t kChunksPerThread = 4;
std::atomic<size_t> g_smallestChunk{kSmallestChunk};

// Notes a line that was not simply read: an unrecognised switch, or the line that refuses the
// file (true: reading stops there).
bool Note(ModelLinesResult& result, LineResult read, uint64_t number, std::string_view line) {
  if (read == LineResult::UnknownSwitch) {
    if (result.unknownSwitches++ == 0) {
      result.unknownSwitch = true;
      result.firstUnknownLine = number;
      result.firstUnknownText = line;
    }
    return false;
  }
  result.failure = read;
  result.failureLine = number;
  result.failureText = line;
  return true;
}

ModelLinesResult ReadInOrder(std::string_view text, uint64_t pointLines, SceneData& scene) {
  // The room is taken from the kernel a megabyte at a time as the lines fill it (PrefaultAhead).
  scene.Points.reserve(static_cast<size_t>(pointLines));
  scene.Segments.reserve(static_cast<size_t>(pointLines));
  ModelLinesResult result;
  ParseState state;
  LineReader lines(text);
  std::string_view line;
  for (uint64_t number = 1; lines.Next(line); ++number) {
    const LineResult read = ReadLine(line, state, scene);
    if (read != LineResult::Read && Note(result, read, number, line)) break;
  }
  return result;
}

struct Chunk {
  std::string_view text;
  // The first pass: the point lines, and what the switches leave (a NaN radius: no
  // "circlediameter" in this piece; no value it reads can be a NaN).
  uint64_t pointLines = 0;
  double radius = std::numeric_limits<double>::quiet_NaN();
  bool whiteBack = false;
  // The second pass.
  ParseState start;
  SceneData options;
  RecordRoom room;
  // Its lines read (all of them, unless one refused the file), and what they gave, the lines
  // counted from the piece's first.
  uint64_t lines = 0;
  ModelLinesResult result;
};

void Survey(Chunk& chunk) {
  ParseState state;
  state.radius = chunk.radius;
  // Takes what the switches set, and is dropped: the options are taken in the second pass.
  SceneData ignored;
  LineReader lines(chunk.text);
  std::string_view line;
  while (lines.Next(line)) {
    switch (KindOf(line)) {
      case LineKind::Point:
        ++chunk.pointLines;
        break;
      case LineKind::Switch:
        // A value it cannot read refuses the file at this line or an earlier one, so what it
        // leaves for the pieces after this one never counts.
        ReadLine(line, state, ignored);
        break;
      case LineKind::Empty:
      case LineKind::Comment:
        break;
    }
  }
  chunk.radius = state.radius;
  chunk.whiteBack = state.whiteBack;
}

void ReadChunk(Chunk& chunk) {
  ParseState state = chunk.start;
  LineReader lines(chunk.text);
  std::string_view line;
  while (lines.Next(line)) {
    const LineResult read = ReadLine(line, state, chunk.options, chunk.room);
    ++chunk.lines;
    if (read != LineResult::Read && Note(chunk.result, read, chunk.lines, line)) return;
  }
}

// Each switch only ever moves its option away from a fresh scene's value, and a later centre
// replaces an earlier one: so a piece's options are taken over where they differ from a fresh
// scene's, in the pieces' order.
void TakeOptions(SceneData& scene, const SceneData& piece) {
  const SceneData fresh;
  if (piece.AntiAlias != fresh.AntiAlias) scene.AntiAlias = piece.AntiAlias;
  if (piece.Fade != fresh.Fade) scene.Fade = piece.Fade;
  if (piece.FlipZ != fresh.FlipZ) scene.FlipZ = piece.FlipZ;
  if (piece.WhiteBack != fresh.WhiteBack) scene.WhiteBack = piece.WhiteBack;
  if (piece.FreeSpin != fresh.FreeSpin) scene.FreeSpin = piece.FreeSpin;
  if (piece.FillCircles != fresh.FillCircles) scene.FillCircles = piece.FillCircles;
  if (piece.CentreGiven) {
    scene.Centre = piece.Centre;
    scene.CentreGiven = true;
  }
  scene.CircleRadius = std::max(scene.CircleRadius, piece.CircleRadius);
}

// Cuts `text` into `count` pieces of about the same size, each ending at a line feed (or at
// the end of the text). A piece may be empty; the text's lines are the pieces' lines in order.
void Cut(std::string_view text, std::vector<Chunk>& chunks) {
  const size_t count = chunks.size();
  size_t begin = 0;
  for (size_t k = 0; k < count; ++k) {
    size_t end = text.size();
    if (k + 1 < count) {
      const size_t target = std::max(begin, text.size() / count * (k + 1));
      const size_t feed = text.find('\n', target);
      end = feed == std::string_view::npos ? text.size() : feed + 1;
    }
    chunks[k].text = text.substr(begin, end - begin);
    begin = end;
  }
}

}  // namespace

ModelLinesResult ReadModelLines(std::string_view text, uint64_t pointLines, SceneData& scene,
                                WorkerPool& pool) {
  const size_t threads = static_cast<size_t>(pool.Threads());
  const size_t count =
      threads <= 1
          ? 1
          : std::clamp<size_t>(text.size() / g_smallestChunk.load(std::memory_order_relaxed), 1,
                               threads * kChunksPerThread);
  if (count == 1) return ReadInOrder(text, pointLines, scene);

  std::vector<Chunk> chunks(count);
  Cut(text, chunks);
  // The room for the records is made while the pieces are surveyed.
  pool.Run(count + 1, [&](size_t task) {
    if (task == 0) {
      scene.Points.resize(static_cast<size_t>(pointLines));
      scene.Segments.resize(static_cast<size_t>(pointLines));
    } else {
      Survey(chunks[task - 1]);
    }
  });

  uint64_t counted = 0;
  for (const Chunk& chunk : chunks) counted += chunk.pointLines;
  if (counted != pointLines) {
    // The room was made for another count than the lines' own: read in order instead, never
    // past the room.
    scene.Points.clear();
    scene.Segments.clear();
    return ReadInOrder(text, counted, scene);
  }
  ParseState state;
  for (Chunk& chunk : chunks) {
    chunk.start = state;
    chunk.room.points = scene.Points.data() + state.points;
    chunk.room.segments = scene.Segments.data() + state.points;
    state.points += static_cast<int32_t>(chunk.pointLines);
    if (!std::isnan(chunk.radius)) state.radius = chunk.radius;
    state.whiteBack = state.whiteBack || chunk.whiteBack;
  }

  pool.Run(count, [&](size_t task) { ReadChunk(chunks[task]); });

  ModelLinesResult result;
  size_t segments = 0;
  // A piece starts at a line's start (it is cut after a line feed), so its lines are the lines
  // of the file after those of the pieces before it.
  uint64_t linesBefore = 0;
  for (const Chunk& chunk : chunks) {
    const ModelLinesResult& piece = chunk.result;
    if (piece.unknownSwitches != 0 && result.unknownSwitches == 0) {
      result.unknownSwitch = true;
      result.firstUnknownLine = linesBefore + piece.firstUnknownLine;
      result.firstUnknownText = piece.firstUnknownText;
    }
    result.unknownSwitches += piece.unknownSwitches;
    if (piece.failure != LineResult::Read) {
      result.failure = piece.failure;
      result.failureLine = linesBefore + piece.failureLine;
      result.failureText = piece.failureText;
      return result;
    }
    linesBefore += chunk.lines;
    TakeOptions(scene, chunk.options);
    SegmentRecord* to = scene.Segments.data() + segments;
    if (to != chunk.room.segments && chunk.room.segmentCount != 0) {
      std::memmove(to, chunk.room.segments, chunk.room.segmentCount * sizeof(SegmentRecord));
    }
    segments += chunk.room.segmentCount;
  }
  scene.Segments.resize(segments);
  return result;
}

void SetSmallestChunk(size_t bytes) {
  g_smallestChunk.store(bytes == 0 ? kSmallestChunk : bytes, std::memory_order_relaxed);
}

}  // namespace tumbra
