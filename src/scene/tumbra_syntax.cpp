// Lines, columns and numbers of the Tumbra text format.
#include "scene/tumbra_syntax.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <system_error>

namespace tumbra {

namespace {

bool IsBlank(char c) {
  const auto code = static_cast<unsigned char>(c);
  return code >= 1 && code <= 32;
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

bool IsHexDigit(char c) {
  return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Exponents beyond this are all the same to a double; the cap keeps the sum from overflowing.
constexpr int64_t kExponentCap = 1'000'000;

// What the grammar check learns about a real number beside its validity.
struct RealShape {
  bool valid = false;
  bool negative = false;
  // Decimal order of magnitude of the first nonzero digit (0 for the units digit, -1 for the
  // tenths, ...), exponent included; only meaningful when some digit is nonzero.
  int64_t order = 0;
};

RealShape CheckReal(std::string_view t) {
  RealShape shape;
  size_t i = 0;
  const size_t n = t.size();
  if (i < n && (t[i] == '+' || t[i] == '-')) shape.negative = t[i++] == '-';
  const size_t intStart = i;
  while (i < n && IsDigit(t[i])) ++i;
  const size_t intEnd = i;
  size_t fracStart = i;
  size_t fracEnd = i;
  if (i < n && t[i] == '.') {
    fracStart = ++i;
    while (i < n && IsDigit(t[i])) ++i;
    fracEnd = i;
  }
  if (intEnd == intStart && fracEnd == fracStart) return shape;  // no digit at all
  int64_t exponent = 0;
  if (i < n && (t[i] == 'e' || t[i] == 'E')) {
    ++i;
    bool negativeExponent = false;
    if (i < n && (t[i] == '+' || t[i] == '-')) negativeExponent = t[i++] == '-';
    const size_t expStart = i;
    while (i < n && IsDigit(t[i])) {
      if (exponent < kExponentCap) exponent = exponent * 10 + (t[i] - '0');
      ++i;
    }
    if (i == expStart) return shape;
    if (negativeExponent) exponent = -exponent;
  }
  if (i != n) return shape;
  shape.valid = true;
  size_t first = intStart;
  while (first < intEnd && t[first] == '0') ++first;
  if (first < intEnd) {
    shape.order = static_cast<int64_t>(intEnd - first) - 1 + exponent;
  } else {
    first = fracStart;
    while (first < fracEnd && t[first] == '0') ++first;
    shape.order = -static_cast<int64_t>(first - fracStart) - 1 + exponent;
  }
  return shape;
}

}  // namespace

LineReader::LineReader(std::string_view text) : text_(text) {
  lf_ = Find('\n');
  cr_ = Find('\r');
}

size_t LineReader::Find(char c) const {
  const void* hit = std::memchr(text_.data() + pos_, c, text_.size() - pos_);
  return hit == nullptr ? text_.size()
                        : static_cast<size_t>(static_cast<const char*>(hit) - text_.data());
}

bool LineReader::Next(std::string_view& line) {
  if (pos_ >= text_.size()) return false;
  if (lf_ < pos_) lf_ = Find('\n');
  if (cr_ < pos_) cr_ = Find('\r');
  const size_t end = lf_ < cr_ ? lf_ : cr_;
  line = text_.substr(pos_, end - pos_);
  if (end == text_.size()) {
    pos_ = end;
  } else if (text_[end] == '\r' && end + 1 < text_.size() && text_[end + 1] == '\n') {
    pos_ = end + 2;
  } else {
    pos_ = end + 1;
  }
  return true;
}

int SplitColumns(std::string_view line, Columns& columns) {
  const size_t n = line.size();
  size_t i = 0;
  int count = 0;
  while (count < kMaxColumns) {
    while (i < n && IsBlank(line[i])) ++i;
    if (i == n) break;
    const size_t start = line[i] == '"' ? i + 1 : i;
    size_t end = start;
    if (line[i] == '"') {
      i = start;
      for (;;) {
        if (i == n) {
          end = n;
          while (end > start && IsBlank(line[end - 1])) --end;
          break;
        }
        if (line[i] == '"') {
          if (i + 1 < n && line[i + 1] == '"') {
            i += 2;
            continue;
          }
          end = i++;
          break;
        }
        ++i;
      }
    } else {
      while (i < n && !IsBlank(line[i])) ++i;
      end = i;
    }
    columns[count++] = line.substr(start, end - start);
  }
  return count;
}

bool ParseReal(std::string_view text, double& value) {
  const RealShape shape = CheckReal(text);
  if (!shape.valid) return false;
  // from_chars takes no "+"; the grammar has already been checked, so only that is left out.
  if (text.front() == '+') text.remove_prefix(1);
  double parsed = 0;
  const auto [end, error] =
      std::from_chars(text.data(), text.data() + text.size(), parsed, std::chars_format::general);
  if (error == std::errc::result_out_of_range) {
    // Out of range one way or the other: below 1 it can only be underflow.
    if (shape.order >= 0) return false;
    value = std::copysign(0.0, shape.negative ? -1.0 : 1.0);
    return true;
  }
  if (error != std::errc() || end != text.data() + text.size()) return false;
  value = parsed;
  return true;
}

bool ParseInteger(std::string_view text, int32_t& value) {
  std::string_view digits = text;
  bool negative = false;
  if (!digits.empty() && (digits.front() == '+' || digits.front() == '-')) {
    negative = digits.front() == '-';
    digits.remove_prefix(1);
  }
  size_t prefix = 0;
  if (digits.size() >= 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
    prefix = 2;
  } else if (!digits.empty() && (digits[0] == '$' || digits[0] == 'x' || digits[0] == 'X')) {
    prefix = 1;
  }
  if (prefix != 0) {
    digits.remove_prefix(prefix);
    if (digits.empty() || digits.size() > 8) return false;
    for (char c : digits) {
      if (!IsHexDigit(c)) return false;
    }
    uint32_t bits = 0;
    std::from_chars(digits.data(), digits.data() + digits.size(), bits, 16);
    if (negative) bits = 0u - bits;
    value = static_cast<int32_t>(bits);  // modulo 2^32, as C++20 defines it
    return true;
  }
  if (digits.empty()) return false;
  for (char c : digits) {
    if (!IsDigit(c)) return false;
  }
  // Keep the minus for from_chars so that -2147483648 is in range.
  const char* first = negative ? digits.data() - 1 : digits.data();
  int32_t parsed = 0;
  const auto [end, error] = std::from_chars(first, digits.data() + digits.size(), parsed, 10);
  if (error != std::errc() || end != digits.data() + digits.size()) return false;
  value = parsed;
  return true;
}

bool EqualsIgnoringCase(std::string_view text, std::string_view lowerCaseWord) {
  if (text.size() != lowerCaseWord.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != lowerCaseWord[i]) return false;
  }
  return true;
}

}  // namespace tumbra
