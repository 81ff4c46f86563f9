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
  const auto refuse = [&controls](const std::string& message) {
    controls.ShowMessage(message);
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
    return refuse(e.what());
  } catch (const KestrelError&) {
    // Only a regular file is a text file; anything that cannot be read, or not whole, is no
    // model.
    return refuse(kReadError);
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
  if (!blockEnded) return refuse(kReadError);
  // A file without points is refused like one that is all comment: an empty model can be
  // neither fitted nor drawn.
  const uint64_t points = counter.PointLines();
  if (points == 0) return refuse(kNoPoints);
  if (points > static_cast<uint64_t>(std::numeric_limits<int32_t>::max()))
    return refuse(kReadError);

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
  const tumbra::ModelLinesResult read = tumbra::ReadModelLines(text, points, scene, pool);
  // Once per file: a file of a million unknown switches would otherwise hold the user at a
  // million message boxes. The rest are skipped as quietly as the first one is. It is shown
  // only when it came before a line that refuses the file, as reading line by line shows it.
  if (read.unknownSwitch) controls.ShowMessage(kUnknownSwitch);
  switch (read.failure) {
    case tumbra::LineResult::BadPointLine:
      return refuse(kReadError);
    case tumbra::LineResult::BadSwitchValue:
      return refuse(kSwitchError);
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
  } catch (const std::exception&) {
    controls.ShowMessage(kReadError);
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
