// The Tumbra text grammar below the level of meaning: lines, columns and numbers. Everything
// here works on views into the one buffer holding the file, allocates nothing and never
// consults the locale.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tumbra {

// Walks a text line by line. A line ends at CR LF, LF or CR; the last line needs no end, and a
// line end at the very end of the text does not open another (empty) line.
class LineReader {
 public:
  explicit LineReader(std::string_view text);
  // The next line without its line end; false when the text is used up.
  bool Next(std::string_view& line);

 private:
  size_t Find(char c) const;

  std::string_view text_;
  size_t pos_ = 0;
  // Where the next LF and the next CR are (text size when there is none). Kept between calls
  // so that a file with only one kind of line end is still scanned once, not once per line.
  size_t lf_ = 0;
  size_t cr_ = 0;
};

// What a line is, by its first character.
enum class LineKind { Empty, Comment, Switch, Point };

constexpr LineKind KindOf(std::string_view line) {
  if (line.empty()) return LineKind::Empty;
  if (line.front() == '#') return LineKind::Comment;
  if (line.front() == 's' || line.front() == 'S') return LineKind::Switch;
  return LineKind::Point;
}

// Counts the point lines (KindOf gives Point) among the lines LineReader finds, in a text handed
// over piece by piece, in order; a line end split between two pieces is one. A large file's
// point lines are counted as it is read, sixteen bytes at a time where the processor allows, so
// that knowing how many points to make room for costs a few milliseconds and no pass of its own.
class PointLineCounter {
 public:
  void Add(std::string_view piece);
  uint64_t PointLines() const { return count_; }

 private:
  uint64_t count_ = 0;
  // The byte before the next piece. The text begins a line as a line end does.
  char before_ = '\n';
};

// Walks the columns of one line. Runs of characters with codes 1 to 32 separate columns;
// blanks at either end count for nothing.
//
// A column that begins with a double quote runs to the next lone double quote and holds
// everything between the two, blanks included. Its view is the text between the quotes as it
// stands: a pair of double quotes inside still reads as two characters there, though it stands
// for one. Nothing reading a column needs the single quote back: a quote is never part of a
// number or a keyword, and the "#" test looks only at the first character. Two cases are ours
// to settle:
//  - an opening quote without a closing one: the column runs to the end of the line (whose
//    trailing blanks still count for nothing). A line never runs on into the next, and the
//    columns before the quote stay as they were;
//  - text right after a closing quote begins the next column, as if a blank stood between.
// A double quote that is not the first character of a column is an ordinary character.
class ColumnCursor {
 public:
  explicit ColumnCursor(std::string_view line) : line_(line) {}
  // The next column; false at the end of the line.
  bool Next(std::string_view& column);
  // The next column read as ParseReal / ParseInteger would read it; false when there is no
  // column left or it is no number (the cursor is then somewhere inside the line). Reading a
  // real this way lets the number parser find the column's end, so the point lines, nearly
  // all of a large file, are scanned once rather than twice.
  bool NextReal(double& value);
  bool NextInteger(int32_t& value);

 private:
  std::string_view line_;
  size_t pos_ = 0;
};

// No line kind reads beyond its sixth column, so the splitter stops there.
inline constexpr int kMaxColumns = 6;
using Columns = std::array<std::string_view, kMaxColumns>;

// Splits a line into at most kMaxColumns columns, as ColumnCursor finds them, and returns how
// many it found.
int SplitColumns(std::string_view line, Columns& columns);

// A real number: optional sign, digits with an optional fraction ("1", "1.", "1.5", ".5"),
// and an optional exponent after "e" or "E" with an optional sign. Always "." as the decimal
// separator; no "inf", "nan", hex floats or thousands separators. A value beyond the double
// range is no number (false), never an infinity. A value too small for the smallest
// subnormal double reads as zero with its sign: a coordinate that small is zero for every use
// the program makes of it, and refusing the file for it would help nobody.
bool ParseReal(std::string_view text, double& value);

// An integer: an optional sign, then either decimal digits within the signed 32-bit range, or
// one to eight hexadecimal digits after "$", "x", "X", "0x" or "0X", whose 32 bits are taken
// as they stand ("$FFFFFFFF" reads -1). A sign may precede the hex prefix and negates those 32
// bits modulo 2^32: "-$10" reads -16, "-$80000000" reads -2147483648 and "-$FFFFFFFF" reads 1.
bool ParseInteger(std::string_view text, int32_t& value);

// The low 8 bits of |value|, computed without overflow for every value, -2^31 included.
constexpr uint8_t LowByteOfMagnitude(int32_t value) {
  const uint32_t bits = static_cast<uint32_t>(value);
  return static_cast<uint8_t>(value < 0 ? 0u - bits : bits);
}

// Compares ASCII letters without regard to case; other bytes must match exactly.
bool EqualsIgnoringCase(std::string_view text, std::string_view lowerCaseWord);

}  // namespace tumbra
