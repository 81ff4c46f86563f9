// What a refused Tumbra line holds where the reading stopped. This follows the order in which
// ReadLine (tumbra_lines.cpp) reads the columns; a test holds the two together on every kind of
// refused line.
#include "formats/tumbra_faults.h"

#include <algorithm>
#include <cstdint>
#include <optional>

#include "formats/tumbra_syntax.h"

namespace tumbra {

namespace {

// A column may be a whole line of megabytes: the message shows its start.
constexpr size_t kShownBytes = 40;

std::string Quoted(std::string_view text) {
  std::string quoted(1, '"');
  quoted.append(text.substr(0, kShownBytes));
  if (text.size() > kShownBytes) quoted.append("...");
  quoted.push_back('"');
  return quoted;
}

std::string At(int index) {
  return "column " + std::to_string(index + 1) + ": ";
}

std::optional<std::string> RealFault(const Columns& columns, int count, int index) {
  if (index >= count) return At(index) + "no number";
  double value = 0;
  if (ParseReal(columns[index], value)) return std::nullopt;
  return At(index) + Quoted(columns[index]) + " is not a number";
}

std::optional<std::string> IntegerFault(const Columns& columns, int count, int index) {
  if (index >= count) return At(index) + "no whole number";
  const std::string_view text = columns[index];
  int32_t value = 0;
  if (ParseInteger(text, value)) return std::nullopt;
  // Digits alone, too many of them: a whole number, but not one of 32 bits.
  double real = 0;
  const bool whole = ParseReal(text, real) && text.find_first_of(".eE") == std::string_view::npos;
  return At(index) + Quoted(text) + (whole ? " is out of range" : " is not a whole number");
}

bool BeginsWithHash(std::string_view column) {
  return !column.empty() && column.front() == '#';
}

}  // namespace

std::string DescribeRefusedLine(std::string_view line) {
  Columns columns;
  const int count = SplitColumns(line, columns);
  std::optional<std::string> fault;
  if (KindOf(line) == LineKind::Point) {
    // x, z, y, the code; then the two colour columns, read only when both are there and
    // neither begins a comment. A refused line whose first four columns are good failed there.
    for (int i = 0; i < 3 && !fault; ++i) fault = RealFault(columns, count, i);
    if (!fault) fault = IntegerFault(columns, count, 3);
    if (!fault && count >= 6 && !BeginsWithHash(columns[4]) && !BeginsWithHash(columns[5])) {
      fault = IntegerFault(columns, count, 4);
      if (!fault) fault = IntegerFault(columns, count, 5);
    }
  } else if (KindOf(line) == LineKind::Switch && count >= 3) {
    // "circlediameter" reads one value, "center" three.
    const int last = EqualsIgnoringCase(columns[1], "center") ? std::min(count, 5) : 3;
    for (int i = 2; i < last && !fault; ++i) fault = RealFault(columns, count, i);
  }
  return fault.value_or(std::string());
}

std::string QuotedSwitchWord(std::string_view line) {
  Columns columns;
  return SplitColumns(line, columns) >= 2 ? Quoted(columns[1]) : std::string();
}

}  // namespace tumbra
