// Text point clouds, read a piece at a time.
#include "formats/point_cloud.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <new>
#include <vector>

#include "formats/cloud_order.h"
#include "formats/file_bytes.h"
#include "formats/import_common.h"
#include "formats/memory_budget.h"
#include "formats/tumbra_syntax.h"
#include "formats/wire_builder.h"
#include "scene/colour_codes.h"
#include "scene/error.h"

namespace {

bool IsBlank(char c) {
  const auto code = static_cast<unsigned char>(c);
  return code >= 1 && code <= 32;
}

bool IsDelimiter(char c) {
  return c == ',' || c == ';';
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

bool EndsField(const char* p, const char* end) {
  return p == end || IsBlank(*p) || IsDelimiter(*p);
}

// The powers of ten a double holds exactly.
constexpr std::array<double, 23> kPowersOfTen{1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                              1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                              1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// The number at `p` in its commonest form: a sign, at most 19 digits with a fraction of at most
// 22, no exponent, and a value below 2^53 counting all its digits. Then the digits make an
// exact integer and the power of ten an exact divisor, and one division rounds exactly once,
// to the double nearest the decimal: the value the full grammar gives, in a fraction of its
// time. Returns the number's length, or 0 when it has another form, which the full grammar
// then reads (and, where it is no number, refuses).
size_t ScanPlainDecimal(const char* p, const char* end, double& value) {
  const char* s = p;
  const bool negative = s < end && *s == '-';
  if (s < end && (*s == '-' || *s == '+')) ++s;
  uint64_t mantissa = 0;
  int digits = 0;
  int fraction = 0;
  for (; s < end && IsDigit(*s); ++s, ++digits) {
    if (digits < 19) mantissa = mantissa * 10 + static_cast<uint64_t>(*s - '0');
  }
  if (s < end && *s == '.') {
    for (++s; s < end && IsDigit(*s); ++s, ++digits, ++fraction) {
      if (digits < 19) mantissa = mantissa * 10 + static_cast<uint64_t>(*s - '0');
    }
  }
  if (digits == 0 || digits > 19 || fraction > 22 || mantissa > (uint64_t{1} << 53)) return 0;
  if (!EndsField(s, end)) return 0;  // an exponent, or no number at all
  const double magnitude = static_cast<double>(mantissa) / kPowersOfTen[fraction];
  value = negative ? -magnitude : magnitude;
  return static_cast<size_t>(s - p);
}

enum class Field { Number, NotNumber, End };

// The columns of one line. Blanks around a column count for nothing; one comma or semicolon
// (with blanks on either side or not) separates two columns, so two in a row leave an empty
// column between them, and one at the end of the line is dropped.
class FieldCursor {
 public:
  explicit FieldCursor(std::string_view line) : p_(line.data()), end_(line.data() + line.size()) {
    SkipBlanks();
  }

  bool Next(std::string_view& field) {
    if (p_ == end_) return false;
    const char* start = p_;
    while (p_ < end_ && !IsBlank(*p_) && !IsDelimiter(*p_)) ++p_;
    field = std::string_view(start, static_cast<size_t>(p_ - start));
    SkipSeparator();
    return true;
  }

  // The next column as a number; `field` is the column when it is no number.
  Field NextNumber(double& value, std::string_view& field) {
    if (p_ == end_) return Field::End;
    const size_t length = ScanPlainDecimal(p_, end_, value);
    if (length != 0) {
      field = std::string_view(p_, length);
      p_ += length;
      SkipSeparator();
      return Field::Number;
    }
    Next(field);
    return tumbra::ParseReal(field, value) ? Field::Number : Field::NotNumber;
  }

 private:
  void SkipBlanks() {
    while (p_ < end_ && IsBlank(*p_)) ++p_;
  }
  void SkipSeparator() {
    SkipBlanks();
    if (p_ < end_ && IsDelimiter(*p_)) {
      ++p_;
      SkipBlanks();
    }
  }
  const char* p_;
  const char* end_;
};

bool IsSkipped(std::string_view line) {
  size_t i = 0;
  while (i < line.size() && IsBlank(line[i])) ++i;
  return i == line.size() || line[i] == '#';
}

// What a column holds.
enum Role : uint8_t { kX, kY, kZ, kRed, kGreen, kBlue, kUnused };

// A header names at most this many columns that we look at.
constexpr int kMaxColumns = 256;

bool NameIs(std::string_view name, std::string_view a, std::string_view b = {}) {
  return tumbra::EqualsIgnoringCase(name, a) || (!b.empty() && tumbra::EqualsIgnoringCase(name, b));
}

std::string Shown(std::string_view field) {
  constexpr size_t kLongest = 40;
  std::string shown = "\"";
  shown.append(field.substr(0, kLongest));
  if (field.size() > kLongest) shown.append("…");
  shown.push_back('"');
  return shown;
}

struct Refusal {
  std::string reason;
};

[[noreturn]] void Refuse(std::string reason) {
  throw Refusal{std::move(reason)};
}

std::string At(uint64_t line, int column) {
  return "line " + std::to_string(line) + ", column " + std::to_string(column + 1);
}

// Hands a text that comes piece by piece on in runs of whole lines, as LineReader finds them in
// the whole text: a line cut between two pieces is put together first, and a CR that ends a
// piece is held back until the next shows whether an LF follows it.
class WholeLines {
 public:
  template <class Lines>
  void Add(std::string_view piece, const Lines& lines) {
    if (!held_.empty() && held_.back() == '\r') {
      if (!piece.empty() && piece.front() == '\n') {
        held_.push_back('\n');
        piece.remove_prefix(1);
      }
      lines(std::string_view(held_));
      held_.clear();
    }
    const size_t cut = LastCut(piece);
    if (cut == 0) {
      held_.append(piece);
      return;
    }
    if (!held_.empty()) {
      // The held line ends at the piece's first line end, which lies before the cut.
      const size_t end = piece.find_first_of("\r\n");
      const size_t next = end + (piece.compare(end, 2, "\r\n") == 0 ? 2 : 1);
      held_.append(piece.substr(0, next));
      lines(std::string_view(held_));
      held_.clear();
      if (next < cut) lines(piece.substr(next, cut - next));
    } else {
      lines(piece.substr(0, cut));
    }
    held_.assign(piece.substr(cut));
  }

  template <class Lines>
  void Finish(const Lines& lines) {
    if (!held_.empty()) lines(std::string_view(held_));
    held_.clear();
  }

 private:
  // Just past the piece's last line end that is known whole (not a CR at its very end); 0 when
  // there is none.
  static size_t LastCut(std::string_view piece) {
    const size_t lf = piece.rfind('\n');
    const size_t from = lf == std::string_view::npos ? 0 : lf + 1;
    size_t cut = from;
    if (piece.size() > from + 1) {
      const void* cr = memrchr(piece.data() + from, '\r', piece.size() - from - 1);
      if (cr != nullptr) cut = static_cast<size_t>(static_cast<const char*>(cr) - piece.data()) + 1;
    }
    return cut;
  }

  std::string held_;
};

class CloudParser {
 public:
  CloudParser(const PointCloudFormat& format, CloudBuilder<CloudPoint>& cloud)
      : format_(format), cloud_(cloud), countAllowed_(format.pts) {}

  // The next lines of the file, whole.
  void Lines(std::string_view text) {
    tumbra::LineReader lines(text);
    std::string_view line;
    while (lines.Next(line)) Line(line);
  }

  void Finish() const {
    if (cloud_.Count() == 0) Refuse("it holds no points");
  }

  // Whether the colours run from 0 to 1: the file has colours, none of them above 1.
  bool UnitScale() const { return coloured_ && unitScale_; }

 private:
  void Line(std::string_view line) {
    const uint64_t number = ++number_;
    if (IsSkipped(line)) return;
    if (countAllowed_) {
      countAllowed_ = false;
      if (IsCountLine(line)) return;
    }
    if (roles_.empty()) {
      if (IsHeader(line)) {
        ReadHeader(line, number);
        return;
      }
      GuessLayout(line);
    }
    PointLine(line, number);
  }

  static bool IsCountLine(std::string_view line) {
    FieldCursor cursor(line);
    std::string_view field;
    std::string_view more;
    if (!cursor.Next(field) || cursor.Next(more) || field.empty()) return false;
    return std::all_of(field.begin(), field.end(), IsDigit);
  }

  // A header holds names only: a line with any number in it is a point line, good or bad.
  static bool IsHeader(std::string_view line) {
    FieldCursor cursor(line);
    std::string_view field;
    double value = 0;
    while (cursor.Next(field)) {
      if (tumbra::ParseReal(field, value)) return false;
    }
    return true;
  }

  void ReadHeader(std::string_view line, uint64_t number) {
    std::array<int, kUnused> columns;
    columns.fill(-1);
    FieldCursor cursor(line);
    std::string_view name;
    for (int column = 0; column < kMaxColumns && cursor.Next(name); ++column) {
      if (column == 0 && name.starts_with("//")) name.remove_prefix(2);
      const Role role = NameIs(name, "x")            ? kX
                        : NameIs(name, "y")          ? kY
                        : NameIs(name, "z")          ? kZ
                        : NameIs(name, "r", "red")   ? kRed
                        : NameIs(name, "g", "green") ? kGreen
                        : NameIs(name, "b", "blue")  ? kBlue
                                                     : kUnused;
      if (role != kUnused && columns[role] < 0) columns[role] = column;
    }
    if (columns[kX] < 0 || columns[kY] < 0 || columns[kZ] < 0) {
      Refuse("line " + std::to_string(number) +
             " is neither numbers nor a header naming the columns x, y and z");
    }
    // A colour needs all three channels; a header naming only some of them gives none.
    const bool coloured = columns[kRed] >= 0 && columns[kGreen] >= 0 && columns[kBlue] >= 0;
    SetRoles(columns, coloured);
  }

  // Without a header, the first point line's column count gives the layout.
  void GuessLayout(std::string_view line) {
    FieldCursor cursor(line);
    std::string_view field;
    int count = 0;
    while (count < 7 && cursor.Next(field)) ++count;
    std::array<int, kUnused> columns{0, 1, 2, 3, 4, 5};
    if (format_.pts && count >= 7) columns = {0, 1, 2, 4, 5, 6};
    SetRoles(columns, count >= 6);
  }

  void SetRoles(const std::array<int, kUnused>& columns, bool coloured) {
    coloured_ = coloured;
    const int roles = coloured ? kUnused : kRed;
    int needed = 0;
    for (int r = 0; r < roles; ++r) needed = std::max(needed, columns[r] + 1);
    roles_.assign(static_cast<size_t>(needed), kUnused);
    for (int r = 0; r < roles; ++r) roles_[columns[r]] = static_cast<Role>(r);
  }

  void PointLine(std::string_view line, uint64_t number) {
    FieldCursor cursor(line);
    std::array<double, kUnused> values{};
    const int needed = static_cast<int>(roles_.size());
    for (int column = 0; column < needed; ++column) {
      const Role role = roles_[column];
      std::string_view field;
      if (role == kUnused) {
        if (cursor.Next(field)) continue;
      } else {
        switch (cursor.NextNumber(values[role], field)) {
          case Field::Number:
            continue;
          case Field::NotNumber:
            Refuse(At(number, column) + " is not a number: " + Shown(field));
          case Field::End:
            break;
        }
      }
      Refuse("line " + std::to_string(number) + " has " + std::to_string(column) + " column" +
             (column == 1 ? "" : "s") + ", where every point has " + std::to_string(needed));
    }
    if (cloud_.Count() >= WireBuilder::kMaxCount) {
      Refuse("it holds more points than a model can (" + std::to_string(WireBuilder::kMaxCount) +
             ")");
    }
    // More point lines than were counted: the file was written to between the two readings.
    if (cloud_.Count() == cloud_.Capacity()) Refuse("it changed while it was read");
    const Vec3 p{values[kX], values[kY], values[kZ]};
    uint32_t colour = MakeColor(255, 255, 255);
    uint32_t unitColour = 0;
    if (coloured_) {
      uint8_t unit[3] = {0, 0, 0};
      uint8_t byte[3];
      for (int c = 0; c < 3; ++c) {
        const double value = values[kRed + c];
        if (!(value >= 0 && value <= 255)) BadColour(line, number, static_cast<Role>(kRed + c));
        if (value > 1) unitScale_ = false;
        unit[c] = ChannelByte(value);
        byte[c] = static_cast<uint8_t>(std::nearbyint(value));
      }
      colour = MakeColor(byte[2], byte[1], byte[0]);
      unitColour = MakeColor(unit[2], unit[1], unit[0]);
    }
    cloud_.Add(CloudPoint{p, colour, unitColour});
  }

  // Colours run from 0 to 255, or from 0 to 1 when no value of the file is above 1.
  [[noreturn]] void BadColour(std::string_view line, uint64_t number, Role role) const {
    const int column =
        static_cast<int>(std::find(roles_.begin(), roles_.end(), role) - roles_.begin());
    FieldCursor cursor(line);
    std::string_view field;
    for (int c = 0; c <= column; ++c) cursor.Next(field);
    Refuse(At(number, column) + " is not a colour value from 0 to 255: " + Shown(field));
  }

  const PointCloudFormat& format_;
  CloudBuilder<CloudPoint>& cloud_;
  uint64_t number_ = 0;  // of the last line
  bool countAllowed_;
  // The role of each column up to the last one read; empty until the layout is known.
  std::vector<Role> roles_;
  bool coloured_ = false;
  bool unitScale_ = true;
};

// `feed` hands the parser the file's lines; `held` is what the text held in memory while the
// points are read takes.
SceneData Parse(const std::string& path, const PointCloudFormat& format, uint64_t lineBound,
                uint64_t held, const std::function<void(CloudParser&)>& feed) {
  if (lineBound > WireBuilder::kMaxCount) {
    throw KestrelError(TooLargeMessage(format.name, path,
                                       "it has more lines than a model can hold points (" +
                                           std::to_string(WireBuilder::kMaxCount) + ")"));
  }
  // The points as they are read and sorted, then the model and what its frames work with: the
  // model's share is the larger by far.
  const uint64_t model = SceneBytes(lineBound, lineBound);
  RequireMemory(path, model, held + model);
  SceneData scene;
  try {
    CloudBuilder<CloudPoint> cloud(static_cast<size_t>(lineBound));
    CloudParser parser(format, cloud);
    feed(parser);
    parser.Finish();
    cloud.Finish(scene, parser.UnitScale());
  } catch (const Refusal& r) {
    throw KestrelError(DamagedMessage(format.name, path, r.reason));
  } catch (const std::bad_alloc&) {
    // The estimate fell short of what the allocator could give after all.
    throw NotEnoughMemory(path, held + model);
  }
  scene.CommentLines =
      DescribeImport(path, format.name, scene.Points.size(), 0, scene.Segments.size());
  return scene;
}

}  // namespace

SceneData ParsePointCloud(std::string_view text, const std::string& path,
                          const PointCloudFormat& format) {
  // Every line that is not blank, a comment or a word may be a point: a bound on the points.
  tumbra::PointLineCounter ends;
  ends.Add(text);
  return Parse(path, format, ends.PointLines(), text.size(),
               [&](CloudParser& parser) { parser.Lines(text); });
}

SceneData ReadPointCloudFile(const std::string& path, const PointCloudFormat& format) {
  // The file is read twice, a piece at a time, and never held whole: first its lines are
  // counted (every line that is not blank, a comment or a word may be a point: a bound on the
  // points), then they are read.
  tumbra::PointLineCounter ends;
  const uint64_t size = StreamFileBytes(path, std::numeric_limits<uint64_t>::max(),
                                        [&](std::string_view piece) { ends.Add(piece); });
  return Parse(path, format, ends.PointLines(), 0, [&](CloudParser& parser) {
    WholeLines whole;
    const auto lines = [&](std::string_view text) { parser.Lines(text); };
    StreamFileBytes(path, size, [&](std::string_view piece) { whole.Add(piece, lines); });
    whole.Finish(lines);
  });
}
