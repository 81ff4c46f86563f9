// The Tumbra file reader: replaces the model, the comment lines and the options with what a
// plain-text Tumbra file holds, then fits the view and draws one frame.
#include <algorithm>
#include <cstdint>
#include <exception>
#include <limits>
#include <new>
#include <string_view>
#include <utility>

#include "formats/file_bytes.h"
#include "formats/prefault.h"
#include "formats/tumbra_syntax.h"
#include "scene/colour_codes.h"
#include "scene/scene_model.h"

namespace {

constexpr char kReadError[] = "Error reading text file";
constexpr char kSwitchError[] = "Error reading switches in text file";
constexpr char kUnknownSwitch[] = "unrecognized switch in text file";
constexpr char kNoPoints[] = "No points in text file";

// The whole file in one block, every line and column a view into it, and the number of its
// line ends, counted as the file was read.
struct TextFile {
  FileContents contents;
  uint64_t lineEnds = 0;
};

// Only a regular file is a text file; anything that cannot be read, or not whole, is no model.
// On failure `why` says why, as the system put it.
bool ReadTextFile(const std::string& fileName, TextFile& file, std::string& why) {
  tumbra::LineEndCounter ends;
  try {
    file.contents = ReadFileBytes(fileName, std::numeric_limits<uint64_t>::max(),
                                  [&ends](std::string_view piece) { ends.Add(piece); });
  } catch (const FileError& e) {
    why = e.Reason();
    return false;
  }
  file.lineEnds = ends.LineEnds();
  return true;
}

bool IsCommentLine(std::string_view line) {
  return !line.empty() && line.front() == '#';
}

bool IsSwitchLine(std::string_view line) {
  return !line.empty() && (line.front() == 's' || line.front() == 'S');
}

bool IsPointLine(std::string_view line) {
  return !line.empty() && !IsCommentLine(line) && !IsSwitchLine(line);
}

bool BeginsWithHash(std::string_view column) {
  return !column.empty() && column.front() == '#';
}

// Reads the switch and point lines into the form, one line at a time, in file order. Each
// method returns false when the line stops the reading; the caller shows the message.
class ModelLineReader {
 public:
  ModelLineReader(TForm1& form, std::string shownName)
      : form_(form), shownName_(std::move(shownName)) {}

  bool PointLine(std::string_view line) {
    tumbra::ColumnCursor columns(line);
    const int32_t index = form_.PointCount;
    PrefaultAhead(form_.Points);
    form_.Points.emplace_back();
    form_.PointCount = index + 1;
    // The file lists x, z, y. The position is stored only once all three have been read, so
    // the order in which they are read makes no difference.
    double x = 0;
    double y = 0;
    double z = 0;
    if (!columns.NextReal(x) || !columns.NextReal(z) || !columns.NextReal(y)) return false;
    form_.Points.back().Pos = Vec3{x, y, z};
    int32_t written = 0;
    if (!columns.NextInteger(written)) return false;
    // Only the low 16 bits count, read as a signed value (modulo 2^16, as C++20 defines it).
    const auto code = static_cast<int16_t>(static_cast<uint16_t>(written));
    if (code == 0) return true;
    // A line from the previous point has no start on the first point line. We read it as a
    // plain move (code 0): no segment, and its colour columns are not read, as for any move.
    // So every First and Second lies within Points.
    if (code > 0 && index == 0) return true;
    PrefaultAhead(form_.Segments);
    form_.Segments.emplace_back();
    form_.SegmentCount = static_cast<int32_t>(form_.Segments.size());
    SegmentRecord& segment = form_.Segments.back();
    const uint8_t red = tumbra::LowByteOfMagnitude(code);
    std::string_view greenColumn;
    std::string_view blueColumn;
    if (columns.Next(greenColumn) && columns.Next(blueColumn) && !BeginsWithHash(greenColumn) &&
        !BeginsWithHash(blueColumn)) {
      int32_t green = 0;
      int32_t blue = 0;
      if (!tumbra::ParseInteger(greenColumn, green) || !tumbra::ParseInteger(blueColumn, blue)) {
        return false;
      }
      segment.Colour =
          MakeColor(tumbra::LowByteOfMagnitude(blue), tumbra::LowByteOfMagnitude(green), red);
    } else {
      // The background in force now, as the switches read so far have left it.
      segment.Colour = form_.CodeToColor(red);
    }
    if (code > 0) {
      segment.Kind = 0;
      segment.First = index - 1;
      segment.Second = index;
    } else {
      segment.Kind = 1;
      segment.First = index;
      segment.Radius = radius_;
      form_.CircleRadius = std::max(form_.CircleRadius, radius_);
    }
    return true;
  }

  // Returns false only for a value that is no number; an unknown switch is reported here and
  // reading goes on.
  bool SwitchLine(std::string_view line) {
    tumbra::Columns columns;
    const int count = tumbra::SplitColumns(line, columns);
    if (count < 2) return true;
    const std::string_view keyword = columns[1];
    using tumbra::EqualsIgnoringCase;
    if (EqualsIgnoringCase(keyword, "antialiasoff")) {
      form_.SetCheckBox(kAliasCheckBox, false);
    } else if (EqualsIgnoringCase(keyword, "fadeoff")) {
      form_.SetCheckBox(kFadeCheckBox, false);
    } else if (EqualsIgnoringCase(keyword, "flipz")) {
      form_.SetCheckBox(kFlipZCheckBox, true);
    } else if (EqualsIgnoringCase(keyword, "whiteback")) {
      form_.SetCheckBox(kWhiteBackCheckBox, true);
    } else if (EqualsIgnoringCase(keyword, "freespin")) {
      form_.SetCheckBox(kFreeSpinCheckBox, true);
    } else if (EqualsIgnoringCase(keyword, "fillcircles")) {
      form_.SetCheckBox(kCircleFillCheckBox, true);
    } else if (EqualsIgnoringCase(keyword, "circlediameter") && count >= 3) {
      double diameter = 0;
      if (!tumbra::ParseReal(columns[2], diameter)) return false;
      radius_ = diameter * 0.5;
    } else if (EqualsIgnoringCase(keyword, "center") && count >= 5) {
      // Each coordinate is stored as it is read: a bad later one leaves the earlier ones set.
      if (!tumbra::ParseReal(columns[2], form_.Centre.x)) return false;
      if (!tumbra::ParseReal(columns[3], form_.Centre.z)) return false;
      if (!tumbra::ParseReal(columns[4], form_.Centre.y)) return false;
      form_.CentreGiven = true;
    } else if (!unknownSwitchReported_) {
      // Once per file: a file of a million unknown switches would otherwise hold the user at a
      // million message boxes. The rest are skipped as quietly as the first one is.
      unknownSwitchReported_ = true;
      form_.Controls().ShowMessage(kUnknownSwitch, shownName_);
    }
    return true;
  }

 private:
  TForm1& form_;
  std::string shownName_;
  // The radius given to point segments read from here on; the load starts it at 0.
  double radius_ = 0;
  bool unknownSwitchReported_ = false;
};

// Steps from reading the file to the last line. Returns true when the whole file was read;
// otherwise the message has been shown and what was changed so far stays changed.
bool ReadModel(TForm1& form, const std::string& fileName) {
  // What every message adds: which file it is about.
  const std::string name = ShownFileName(fileName);
  TextFile file;
  std::string why;
  if (!ReadTextFile(fileName, file, why)) {
    form.Controls().ShowMessage(kReadError, name + ": " + why);
    return false;
  }
  const std::string_view text = file.contents.Text();

  form.Controls().MemoClear();
  form.CommentLines.clear();
  tumbra::LineReader lines(text);
  std::string_view line;
  bool blockEnded = false;
  while (lines.Next(line)) {
    if (!IsCommentLine(line)) {
      blockEnded = true;
      break;
    }
    // A bare "#" still takes a line in the memo, so it keeps a blank.
    std::string shown = line.size() == 1 ? std::string(" ") : std::string(line.substr(1));
    form.Controls().MemoAdd(shown);
    form.CommentLines.push_back(std::move(shown));
  }
  if (!blockEnded) {
    form.Controls().ShowMessage(kReadError, name);
    return false;
  }

  // Both arrays are sized once, before the old model goes: a point line adds one point and at
  // most one segment, and any line may be one, so the line ends bound their number. They were
  // counted as the file was read, which spares classifying every line in a pass of its own;
  // the few comment, switch and empty lines get room that is reserved but never touched.
  // A file without points is refused like one that is all comment: an empty model can be
  // neither fitted nor drawn, so the previous model stays, and its switches are not applied.
  const std::string_view rest = text.substr(static_cast<size_t>(line.data() - text.data()));
  uint64_t pointLines = file.lineEnds + 1;
  bool anyPoint = IsPointLine(line);
  while (!anyPoint && lines.Next(line)) anyPoint = IsPointLine(line);
  if (!anyPoint) {
    form.Controls().ShowMessage(kNoPoints, name);
    return false;
  }
  if (pointLines > static_cast<uint64_t>(std::numeric_limits<int32_t>::max())) {
    // Only the exact number can tell whether the points fit the 32-bit count.
    pointLines = 0;
    tumbra::LineReader all(rest);
    while (all.Next(line)) pointLines += IsPointLine(line) ? 1 : 0;
    if (pointLines > static_cast<uint64_t>(std::numeric_limits<int32_t>::max())) {
      form.Controls().ShowMessage(kReadError, name);
      return false;
    }
  }

  // Fresh arrays rather than clear(): the old model's memory goes before the new one is taken.
  form.PointCount = 0;
  form.SegmentCount = 0;
  form.Points = std::vector<PointRecord>();
  form.Segments = std::vector<SegmentRecord>();
  form.Points.reserve(static_cast<size_t>(pointLines));
  form.Segments.reserve(static_cast<size_t>(pointLines));
  // The room is taken from the kernel a megabyte at a time as the lines fill it
  // (PrefaultAhead), never beyond what they fill.

  ModelLineReader reader(form, name);
  tumbra::LineReader model(text);
  while (model.Next(line)) {
    if (line.empty() || IsCommentLine(line)) continue;
    if (IsSwitchLine(line)) {
      if (!reader.SwitchLine(line)) {
        form.Controls().ShowMessage(kSwitchError, name);
        return false;
      }
    } else if (!reader.PointLine(line)) {
      form.Controls().ShowMessage(kReadError, name);
      return false;
    }
  }
  return true;
}

}  // namespace

void TForm1::LoadTmbFile(const std::string& fileName) {
  NewView();
  // Numbers are read with "." whatever the locale: the grammar never consults it, so there is
  // no program-wide separator to set.
  CircleRadius = 0;
  SetCheckBox(kAliasCheckBox, true);
  SetCheckBox(kFadeCheckBox, true);
  SetCheckBox(kFlipZCheckBox, false);
  SetCheckBox(kWhiteBackCheckBox, false);
  SetCheckBox(kFreeSpinCheckBox, false);
  SetCheckBox(kCircleFillCheckBox, false);

  bool complete = false;
  try {
    complete = ReadModel(*this, fileName);
  } catch (const std::bad_alloc&) {
    // Out of memory for the file or the arrays: the file cannot be read, like any other.
    Controls().ShowMessage(kReadError, ShownFileName(fileName) + ": not enough memory to read it");
  } catch (const std::exception& e) {
    Controls().ShowMessage(kReadError, ShownFileName(fileName) + ": " + e.what());
  }
  if (complete) {
    ++ScenesAdopted;
    ComputeScale();
    Render();
    return;
  }
  // A failure that leaves no points (the first load of an unreadable file, a bad switch
  // before the first point line) leaves nothing to draw; later events must not try to, so we
  // are back where the window started: no model, no Center.
  if (Points.empty()) {
    NoModel = true;
    Controls().SetCommandEnabled(Command::Center, false);
  }
}
