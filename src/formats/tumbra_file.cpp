// The Tumbra file reader: the whole file is read and checked into a scene off to the side, and
// only a file read to its end replaces the model, the memo and the options, through AdoptScene.
#include "formats/tumbra_file.h"

#include <cstdint>
#include <exception>
#include <limits>
#include <new>
#include <string_view>
#include <utility>

#include "formats/file_bytes.h"
#include "formats/memory_budget.h"
#include "formats/tumbra_chunks.h"
#include "formats/tumbra_faults.h"
#include "formats/tumbra_lines.h"
#include "formats/tumbra_syntax.h"
#include "scene/form_controls.h"
#include "scene/scene_model.h"
#include "scene/worker_pool.h"

namespace {

constexpr char kReadError[] = "Error reading text file";
constexpr char kSwitchError[] = "Error reading switches in text file";
constexpr char kUnknownSwitch[] = "unrecognized switch in text file";
constexpr char kNoPoints[] = "No points in text file";

// What a comment line of the block shows: everything after its "#", and a bare "#" a blank, so
// that it still takes a line in the memo.
std::string_view ShownComment(std::string_view line) {
  return line.size() == 1 ? std::string_view(" ") : line.substr(1);
}

// Reads the file. Returns nullopt once `refuse` has shown why it is no model; `needed` follows
// what the load is known to need, for the message should memory run out all the same.
std::optional<SceneData> ReadScene(const std::string& fileName, FormControls& controls,
                                   WorkerPool& pool, uint64_t& needed) {
  // What every message adds: which file it is about.
  const std::string name = ShownFileName(fileName);
  const auto refuse = [&controls, &name](const std::string& message, const std::string& why = {}) {
    controls.ShowMessage(message, why.empty() ? name : name + ": " + why);
    return std::optional<SceneData>();
  };
  // The point lines are counted as the file is read, so that exactly their room is taken:
  // nothing is reserved for the empty, comment or switch lines, however many there are.
  tumbra::PointLineCounter counter;
  FileContents file;
  try {
    file = ReadFileBytes(fileName, std::numeric_limits<uint64_t>::max(),
                         [&counter](std::string_view piece) { counter.Add(piece); });
  } catch (const NotEnoughMemory& e) {
    controls.ShowMessage(e.what());  // which names the file
    return std::nullopt;
  } catch (const FileError& e) {
    // Only a regular file is a text file; anything that cannot be read, or not whole, is no
    // model.
    return refuse(kReadError, e.Reason());
  }
  needed = file.size;
  const std::string_view text = file.Text();

  tumbra::LineReader lines(text);
  std::string_view line;
  uint64_t commentLines = 0;
  uint64_t commentBytes = 0;
  bool blockEnded = false;
  while (lines.Next(line)) {
    if (tumbra::KindOf(line) != tumbra::LineKind::Comment) {
      blockEnded = true;
      break;
    }
    ++commentLines;
    commentBytes += CommentLineBytes(ShownComment(line).size());
  }
  if (!blockEnded)
    return refuse(kReadError, text.empty() ? "the file is empty" : "only comment lines");
  // A file without points is refused like one that is all comment: an empty model can be
  // neither fitted nor drawn.
  const uint64_t points = counter.PointLines();
  if (points == 0) return refuse(kNoPoints);
  constexpr auto kMostPoints = static_cast<uint64_t>(std::numeric_limits<int32_t>::max());
  if (points > kMostPoints) {
    return refuse(kReadError, std::to_string(points) + " point lines, more than " +
                                  std::to_string(kMostPoints));
  }

  // A point line adds one point and at most one segment. The old model stays until the new one
  // is complete, so this comes on top of it.
  const uint64_t modelBytes = SceneBytes(points, points) + commentBytes;
  needed = file.size + modelBytes;
  RequireMemory(fileName, modelBytes, needed);

  SceneData scene;
  scene.CommentLines.reserve(static_cast<size_t>(commentLines));
  tumbra::LineReader block(text);
  for (uint64_t i = 0; i < commentLines && block.Next(line); ++i) {
    scene.CommentLines.emplace_back(ShownComment(line));
  }
  // Unrecognised switches are told once per file, once the reading is over: a file of a million
  // of them would otherwise hold the user at a million message boxes. The message names the
  // first, and counts the others the reading went past.
  const tumbra::ModelLinesResult read = tumbra::ReadModelLines(text, points, scene, pool);
  if (read.unknownSwitches != 0) {
    std::string detail = name + ", line " + std::to_string(read.firstUnknownLine) + ": " +
                         tumbra::QuotedSwitchWord(read.firstUnknownText);
    if (const uint64_t others = read.unknownSwitches - 1; others > 0) {
      detail += ", and " + std::to_string(others) + " other" + (others == 1 ? "" : "s");
    }
    controls.ShowMessage(kUnknownSwitch, detail);
  }
  // Where the reading stopped: the line, counted from 1, and what was wrong in it.
  const auto refuseLine = [&](const char* message) {
    const std::string what = tumbra::DescribeRefusedLine(read.failureText);
    controls.ShowMessage(message, name + ", line " + std::to_string(read.failureLine) +
                                      (what.empty() ? std::string() : ", " + what));
    return std::optional<SceneData>();
  };
  switch (read.failure) {
    case tumbra::LineResult::BadPointLine:
      return refuseLine(kReadError);
    case tumbra::LineResult::BadSwitchValue:
      return refuseLine(kSwitchError);
    case tumbra::LineResult::Read:
    case tumbra::LineResult::UnknownSwitch:
      break;
  }
  return scene;
}

}  // namespace

std::optional<SceneData> ReadTumbraScene(const std::string& fileName, FormControls& controls,
                                         WorkerPool& pool) {
  uint64_t needed = 0;
  try {
    return ReadScene(fileName, controls, pool, needed);
  } catch (const NotEnoughMemory& e) {
    controls.ShowMessage(e.what());
  } catch (const std::bad_alloc&) {
    // The estimate fell short of what the allocator could give after all.
    controls.ShowMessage(NotEnoughMemoryMessage(fileName, needed));
  } catch (const std::exception& e) {
    controls.ShowMessage(kReadError, ShownFileName(fileName) + ": " + e.what());
  }
  return std::nullopt;
}

LoadResult LoadTumbraScene(TForm1& form, const std::string& fileName) {
  std::optional<SceneData> scene =
      ReadTumbraScene(fileName, form.Controls(), form.Workers ? *form.Workers : SharedWorkerPool());
  if (!scene) return LoadResult::Refused;
  return form.AdoptScene(std::move(*scene)) ? LoadResult::Shown : LoadResult::Unfitted;
}

// Numbers are read with "." whatever the locale: the grammar never consults it, so there is no
// program-wide separator to set.
void TForm1::LoadTmbFile(const std::string& fileName) {
  LoadTumbraScene(*this, fileName);
}
