// Lines, columns and numbers of the Tumbra text format.
#include "formats/tumbra_syntax.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <system_error>

#if defined(__SSE2__) && defined(__x86_64__)
#include <emmintrin.h>
#define KESTREL_COUNT_WITH_SSE2 1
#endif

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

// The decimal order of magnitude of a well-formed real (0 for units, -1 for tenths, ...): the
// place of its first nonzero digit plus its exponent. Only asked for a nonzero value.
int64_t DecimalOrder(std::string_view t) {
  const size_t mantissaEnd = std::min(t.find_first_of("eE"), t.size());
  int64_t exponent = 0;
  bool negativeExponent = false;
  for (size_t i = mantissaEnd + 1; i < t.size(); ++i) {
    if (t[i] == '-') negativeExponent = true;
    if (IsDigit(t[i]) && exponent < kExponentCap) exponent = exponent * 10 + (t[i] - '0');
  }
  if (negativeExponent) exponent = -exponent;
  const size_t point = std::min(t.find('.'), mantissaEnd);
  const size_t first = t.substr(0, mantissaEnd).find_first_of("123456789");
  const auto place = static_cast<int64_t>(point) - static_cast<int64_t>(first);
  return (first < point ? place - 1 : place) + exponent;
}

// Reads the real number at the start of `text` and returns how many characters it takes,
// 0 when `text` does not begin with one or it is too large for a double.
//
// from_chars with the general format takes exactly an optional minus, digits with an optional
// "." and fraction, and an optional exponent, plus "inf", "infinity" and "nan" in any case.
// Requiring a digit or "." after the sign shuts those words out (and a second sign): what is
// left is our grammar, so the check costs one character, not another pass over the number.
size_t ScanReal(std::string_view text, double& value) {
  std::string_view number = text;
  const bool negative = !number.empty() && number.front() == '-';
  if (!number.empty() && number.front() == '+') number.remove_prefix(1);  // from_chars takes no +
  const std::string_view magnitude = negative ? number.substr(1) : number;
  if (magnitude.empty() || !(IsDigit(magnitude.front()) || magnitude.front() == '.')) return 0;
  double parsed = 0;
  const auto [stop, error] = std::from_chars(number.data(), number.data() + number.size(), parsed,
                                             std::chars_format::general);
  const auto length = static_cast<size_t>(stop - text.data());
  if (error == std::errc::result_out_of_range) {
    // Out of range one way or the other: below 1 it can only be underflow.
    const size_t taken = static_cast<size_t>(stop - magnitude.data());
    if (DecimalOrder(magnitude.substr(0, taken)) >= 0) return 0;
    value = std::copysign(0.0, negative ? -1.0 : 1.0);
    return length;
  }
  if (error != std::errc()) return 0;
  value = parsed;
  return length;
}

bool EndsLine(char c) {
  return c == '\n' || c == '\r';
}

// No point line starts with this character: it ends the line at once, or makes it a comment or
// a switch.
bool StartsNoPointLine(char c) {
  return EndsLine(c) || c == '#' || c == 's' || c == 'S';
}

// How many point lines start in `text`, `before` being the byte before it. A line starts after
// every LF and after every CR; after the CR of a CR LF comes the LF, which starts no line.
uint64_t CountPointLineStarts(std::string_view text, char before) {
  if (text.empty()) return 0;
  uint64_t n = EndsLine(before) && !StartsNoPointLine(text[0]) ? 1 : 0;
  // Most files end their lines with LF alone: then the line starts are found a line at a time by
  // the library's search, which passes over the bytes between far faster than a look at each.
  if (std::memchr(text.data(), '\r', text.size()) == nullptr) {
    const char* p = text.data();
    const char* const end = p + text.size();
    while ((p = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)))) &&
           ++p != end) {
      if (!StartsNoPointLine(*p)) ++n;
    }
    return n;
  }
  size_t i = 1;
#ifdef KESTREL_COUNT_WITH_SSE2
  const auto byte = [](char c) { return _mm_set1_epi8(c); };
  const __m128i lf = byte('\n');
  const __m128i cr = byte('\r');
  const __m128i hash = byte('#');
  const __m128i lowerS = byte('s');
  const __m128i upperS = byte('S');
  while (text.size() - i >= 16) {
    // Up to 255 blocks in byte-wide counters, then added up.
    const size_t blocks = std::min<size_t>((text.size() - i) / 16, 255);
    __m128i starts = _mm_setzero_si128();
    for (size_t b = 0; b < blocks; ++b, i += 16) {
      const __m128i now = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + i));
      const __m128i last = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + i - 1));
      const __m128i afterEnd = _mm_or_si128(_mm_cmpeq_epi8(last, lf), _mm_cmpeq_epi8(last, cr));
      const __m128i noPoint = _mm_or_si128(
          _mm_or_si128(_mm_cmpeq_epi8(now, lf), _mm_cmpeq_epi8(now, cr)),
          _mm_or_si128(_mm_cmpeq_epi8(now, hash),
                       _mm_or_si128(_mm_cmpeq_epi8(now, lowerS), _mm_cmpeq_epi8(now, upperS))));
      starts = _mm_sub_epi8(starts, _mm_andnot_si128(noPoint, afterEnd));
    }
    const __m128i sums = _mm_sad_epu8(starts, _mm_setzero_si128());
    n += static_cast<uint64_t>(_mm_cvtsi128_si64(sums)) +
         static_cast<uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(sums, sums)));
  }
#endif
  for (; i < text.size(); ++i) n += EndsLine(text[i - 1]) && !StartsNoPointLine(text[i]) ? 1 : 0;
  return n;
}

}  // namespace

void PointLineCounter::Add(std::string_view piece) {
  if (piece.empty()) return;
  count_ += CountPointLineStarts(piece, before_);
  before_ = piece.back();
}

LineReader::LineReader(std::string_view text) : text_(text) {
  lf_ = Find('\n');
  cr_ = Find('\r');
}

size_t LineReader::Find(char c) const {
  if (pos_ == text_.size()) return pos_;  // an empty view may have no storage at all
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

bool ColumnCursor::Next(std::string_view& column) {
  const size_t n = line_.size();
  size_t i = pos_;
  while (i < n && IsBlank(line_[i])) ++i;
  if (i == n) {
    pos_ = n;
    return false;
  }
  if (line_[i] != '"') {
    const size_t start = i;
    while (i < n && !IsBlank(line_[i])) ++i;
    column = line_.substr(start, i - start);
    pos_ = i;
    return true;
  }
  const size_t start = ++i;
  for (; i < n; ++i) {
    if (line_[i] != '"') continue;
    if (i + 1 < n && line_[i + 1] == '"') {
      ++i;
      continue;
    }
    column = line_.substr(start, i - start);
    pos_ = i + 1;
    return true;
  }
  size_t end = n;
  while (end > start && IsBlank(line_[end - 1])) --end;
  column = line_.substr(start, end - start);
  pos_ = n;
  return true;
}

bool ColumnCursor::NextReal(double& value) {
  const size_t n = line_.size();
  while (pos_ < n && IsBlank(line_[pos_])) ++pos_;
  if (pos_ == n) return false;
  if (line_[pos_] == '"') {
    std::string_view column;
    return Next(column) && ParseReal(column, value);
  }
  // The number ends where the parser stops; it is the whole column only if a blank or the
  // end of the line comes next.
  const std::string_view rest = line_.substr(pos_);
  double parsed = 0;
  const size_t length = ScanReal(rest, parsed);
  if (length == 0 || (length < rest.size() && !IsBlank(rest[length]))) return false;
  pos_ += length;
  value = parsed;
  return true;
}

bool ColumnCursor::NextInteger(int32_t& value) {
  std::string_view column;
  return Next(column) && ParseInteger(column, value);
}

int SplitColumns(std::string_view line, Columns& columns) {
  ColumnCursor cursor(line);
  int count = 0;
  while (count < kMaxColumns && cursor.Next(columns[count])) ++count;
  return count;
}

bool ParseReal(std::string_view text, double& value) {
  double parsed = 0;
  if (text.empty() || ScanReal(text, parsed) != text.size()) return false;
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
