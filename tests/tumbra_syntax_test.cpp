#include "formats/tumbra_syntax.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "locale_guard.h"

namespace {

using namespace std::string_literals;

std::vector<std::string> Lines(std::string_view text) {
  tumbra::LineReader reader(text);
  std::vector<std::string> lines;
  std::string_view line;
  while (reader.Next(line)) lines.emplace_back(line);
  return lines;
}

std::vector<std::string> Split(std::string_view line) {
  tumbra::Columns columns;
  const int count = tumbra::SplitColumns(line, columns);
  return {columns.begin(), columns.begin() + count};
}

using V = std::vector<std::string>;

TEST(TumbraLines, EndAtCrLfLfOrCr) {
  EXPECT_EQ(Lines("a\r\nb\nc\rd"), (V{"a", "b", "c", "d"}));
  EXPECT_EQ(Lines("a\n"), (V{"a"}));
  EXPECT_EQ(Lines("a\r\n"), (V{"a"}));
  EXPECT_EQ(Lines("a\r"), (V{"a"}));
  EXPECT_EQ(Lines(""), (V{}));
  EXPECT_EQ(Lines("\n"), (V{""}));
  EXPECT_EQ(Lines("a\n\nb"), (V{"a", "", "b"}));
  // LF CR is two line ends; CR LF is one.
  EXPECT_EQ(Lines("a\n\rb"), (V{"a", "", "b"}));
  EXPECT_EQ(Lines("a\r\r\nb\r\n\r\n"), (V{"a", "", "b", ""}));
}

TEST(TumbraLines, OneKindOfLineEndOnlyStillSplitsEveryLine) {
  std::string crOnly;
  std::string lfOnly;
  for (int i = 0; i < 1000; ++i) {
    crOnly += std::to_string(i) + "\r";
    lfOnly += std::to_string(i) + "\n";
  }
  const V cr = Lines(crOnly);
  ASSERT_EQ(cr.size(), 1000u);
  EXPECT_EQ(cr[999], "999");
  EXPECT_EQ(Lines(lfOnly), cr);
}

// Every way of cutting the text into three pieces, empty ones included, gives the count of the
// lines the reader finds and reads as point lines.
TEST(TumbraLines, PointLinesAreCountedAsTheReaderFindsThemWhereverThePiecesSplit) {
  // Beyond 255 blocks of 16 bytes, with CR LF pairs, line starts and every kind of line across
  // the blocks: one point line in four.
  std::string runs;
  for (int i = 0; i < 3000; ++i) {
    runs += i % 4 == 0 ? "1 2 3 0\r\n" : i % 4 == 1 ? "\n" : i % 4 == 2 ? "#c\r" : "s x\r\n";
  }
  // The same with LF alone, which is counted another way.
  std::string lfRuns;
  for (int i = 0; i < 3000; ++i) {
    lfRuns += i % 4 == 0 ? "1 2 3 0\n" : i % 4 == 1 ? "\n" : i % 4 == 2 ? "#c\n" : "s x\n";
  }
  const struct {
    std::string text;
    uint64_t points;
  } cases[] = {
      {"", 0},
      {"abc", 1},
      {"a\n", 1},
      {"\r\n", 0},
      {"\n\r", 0},
      {"\r\r\r", 0},
      {"a\r\r\nb\r\n\r\n", 2},
      {"a\n\rb", 2},  // LF CR: an empty line between
      {"#a\ns\nS\n \n\t\n\"\nx", 4},
      {"\n\n\n1", 1},
      {std::string(15, 'x') + "\r\n" + std::string(29, 's') + "\r\n\n" + std::string(14, '#') +
           "\rz",
       2},
      {runs, 750},
      {lfRuns, 750},
      {"\n" + lfRuns + "x", 751},
  };
  for (const auto& c : cases) {
    const std::string_view text = c.text;
    uint64_t read = 0;
    for (const std::string& line : Lines(text)) {
      read += tumbra::KindOf(line) == tumbra::LineKind::Point ? 1 : 0;
    }
    ASSERT_EQ(read, c.points) << "the reader's own count";
    const size_t step = text.size() > 100 ? 997 : 1;
    for (size_t a = 0; a <= text.size(); a += step) {
      for (size_t b = a; b <= text.size(); b += step) {
        tumbra::PointLineCounter counter;
        counter.Add(text.substr(0, a));
        counter.Add(text.substr(a, b - a));
        counter.Add(text.substr(b));
        ASSERT_EQ(counter.PointLines(), c.points) << "pieces end at " << a << " and " << b;
      }
    }
  }
}

TEST(TumbraLines, EachLineIsKnownByItsFirstCharacter) {
  using tumbra::LineKind;
  const std::pair<const char*, LineKind> cases[] = {
      {"", LineKind::Empty},        {"#", LineKind::Comment},  {"# Cube", LineKind::Comment},
      {"s", LineKind::Switch},      {"S x", LineKind::Switch}, {"sw flipz", LineKind::Switch},
      {" #", LineKind::Point},      {" s", LineKind::Point},   {"\t", LineKind::Point},
      {"1 2 3 0", LineKind::Point}, {"x", LineKind::Point},    {"\"s\"", LineKind::Point},
  };
  for (const auto& [line, kind] : cases) EXPECT_EQ(tumbra::KindOf(line), kind) << line;
}

TEST(TumbraColumns, RunsOfCodesOneToThirtyTwoSeparate) {
  EXPECT_EQ(Split("  1\t2 \x01\x1f 3   "), (V{"1", "2", "3"}));
  EXPECT_EQ(Split(" \t \x01 "), (V{}));
  EXPECT_EQ(Split(""), (V{}));
  // Code 0 and code 127 are no blanks.
  EXPECT_EQ(Split("1\0002 3\x7f"s), (V{"1\0002"s, "3\x7f"}));
}

TEST(TumbraColumns, StopAtTheSixthColumn) {
  EXPECT_EQ(Split("1 2 3 4 5 6 7 8"), (V{"1", "2", "3", "4", "5", "6"}));
}

TEST(TumbraColumns, QuotedColumnsHoldBlanks) {
  EXPECT_EQ(Split("s \"fade off\" x"), (V{"s", "fade off", "x"}));
  EXPECT_EQ(Split("\"\" 1"), (V{"", "1"}));
  // A doubled quote does not end the column; it stays doubled in the column's text.
  EXPECT_EQ(Split("\"a\"\"b c\" d"), (V{"a\"\"b c", "d"}));
  EXPECT_EQ(Split("\"a\"\"\" d"), (V{"a\"\"", "d"}));
  // A quote inside an unquoted column is an ordinary character.
  EXPECT_EQ(Split("ab\"c d\""), (V{"ab\"c", "d\""}));
}

TEST(TumbraColumns, UnterminatedQuoteRunsToTheEndOfTheLine) {
  EXPECT_EQ(Split("1 \"2 3 \t"), (V{"1", "2 3"}));
  EXPECT_EQ(Split("1 \"a\"\" b"), (V{"1", "a\"\" b"}));
  EXPECT_EQ(Split("1 \"   "), (V{"1", ""}));
}

TEST(TumbraColumns, TextRightAfterAClosingQuoteBeginsTheNextColumn) {
  EXPECT_EQ(Split("\"ab\"cd ef"), (V{"ab", "cd", "ef"}));
  EXPECT_EQ(Split("\"1\"\t\"2\"3"), (V{"1", "2", "3"}));
}

struct RealCase {
  const char* text;
  double value;
};

// Accepted reals, each with the double it must read as, bit for bit.
const RealCase kRealsAccepted[] = {
    {"0", 0.0},
    {"-1.5", -1.5},
    {".25", 0.25},
    {"2e-3", 2e-3},
    {"5.", 5.0},
    {"+7", 7.0},
    {"1E3", 1000.0},
    {"1e+3", 1000.0},
    {"-.5e1", -5.0},
    {"00012.50", 12.5},
    {"0.1", 0.1},
    {"0.30000000000000004", 0.30000000000000004},
    {"-1.2345678901234567e-89", -1.2345678901234567e-89},
    {"1.7976931348623157e308", std::numeric_limits<double>::max()},
    {"4.9406564584124654e-324", std::numeric_limits<double>::denorm_min()},
    {"1e-310", 1e-310},
    {"0e99999999999999999999", 0.0},
    // Underflow reads as zero; the sign is checked separately.
    {"1e-400", 0.0},
    {"-2e-324", -0.0},
    {"0.000000000000000000000000000001e-300", 0.0},
    {"12345678901234567890123e-330", 1.2345678901234567890123e-308},
    {"1000000000000000000000000000000e-340", 1e-310},
};

const char* const kRealsRejected[] = {
    "",
    "+",
    "-",
    ".",
    "e5",
    ".e5",
    "1e",
    "1e+",
    "1.5.2",
    "1,5",
    "1 5",
    "inf",
    "-inf",
    "nan",
    "NaN",
    "Infinity",
    "0x1p3",
    "0x10",
    "1e999",
    "-1e999",
    "1.7976931348623159e308",
    "1e0000000000000000000999",
    "0.0000000000000000000000000000001e340",
    "-100000000000000000000e300",
    "1d",
    "1f",
    "--1",
    "+-1",
    "1e5.0",
    "1e-",
    "$1",
    "1e 5",
    "\"1\"",
    " 1",
    "1\t",
    "\xd9\xa3",
};

void ExpectRealGrammar() {
  for (const RealCase& c : kRealsAccepted) {
    double value = 12345;
    ASSERT_TRUE(tumbra::ParseReal(c.text, value)) << c.text;
    EXPECT_EQ(value, c.value) << c.text;
  }
  double value = 1;
  ASSERT_TRUE(tumbra::ParseReal("-1e-400", value));
  EXPECT_TRUE(value == 0.0 && std::signbit(value));
  ASSERT_TRUE(tumbra::ParseReal("-0", value));
  EXPECT_TRUE(value == 0.0 && std::signbit(value));
  for (const char* text : kRealsRejected) {
    value = 12345;
    EXPECT_FALSE(tumbra::ParseReal(text, value)) << text;
    EXPECT_EQ(value, 12345) << "a refused text leaves the value alone: " << text;
  }
}

struct IntegerCase {
  const char* text;
  int32_t value;
};

const IntegerCase kIntegersAccepted[] = {
    {"0", 0},
    {"-0", 0},
    {"+5", 5},
    {"007", 7},
    {"40000", 40000},
    {"2147483647", 2147483647},
    {"-2147483648", std::numeric_limits<int32_t>::min()},
    {"$FFFFFFFF", -1},
    {"$7fffffff", 2147483647},
    {"$0", 0},
    {"$00000001", 1},
    {"x10", 16},
    {"X1f", 31},
    {"0x80000000", std::numeric_limits<int32_t>::min()},
    {"0XaBc", 0xabc},
    {"-$10", -16},
    {"+$10", 16},
    {"-x1", -1},
    {"-0x80000000", std::numeric_limits<int32_t>::min()},
    {"-$FFFFFFFF", 1},
};

const char* const kIntegersRejected[] = {
    "",      "-",    "+",          "2147483648",  "-2147483649", "99999999999999999999",
    "1.0",   "1e3",  "1.",         "$",           "0x",          "x",
    "X",     "-$",   "$123456789", "0x000000001", "$G",          "0x-1",
    "$-1",   "$+1",  "--1",        "+-1",         "1,5",         "12a",
    "0b101", "0o17", "$$1",        "0xx1",        "\"1\"",       "١",
};

void ExpectIntegerGrammar() {
  for (const IntegerCase& c : kIntegersAccepted) {
    int32_t value = 12345;
    ASSERT_TRUE(tumbra::ParseInteger(c.text, value)) << c.text;
    EXPECT_EQ(value, c.value) << c.text;
  }
  for (const char* text : kIntegersRejected) {
    int32_t value = 12345;
    EXPECT_FALSE(tumbra::ParseInteger(text, value)) << text;
    EXPECT_EQ(value, 12345) << "a refused text leaves the value alone: " << text;
  }
}

TEST(TumbraNumbers, RealGrammar) {
  ExpectRealGrammar();
}

TEST(TumbraNumbers, IntegerGrammar) {
  ExpectIntegerGrammar();
}

TEST(TumbraNumbers, GrammarIgnoresACommaDecimalLocale) {
  LocaleGuard german("de_DE.UTF-8");
  ASSERT_TRUE(german.Active()) << "scripts/setup.sh generates de_DE.UTF-8";
  ASSERT_STREQ(std::localeconv()->decimal_point, ",");
  ExpectRealGrammar();
  ExpectIntegerGrammar();
}

TEST(TumbraNumbers, LowByteOfMagnitude) {
  EXPECT_EQ(tumbra::LowByteOfMagnitude(0), 0);
  EXPECT_EQ(tumbra::LowByteOfMagnitude(255), 255);
  EXPECT_EQ(tumbra::LowByteOfMagnitude(256), 0);
  EXPECT_EQ(tumbra::LowByteOfMagnitude(-1), 1);
  EXPECT_EQ(tumbra::LowByteOfMagnitude(-300), 44);
  EXPECT_EQ(tumbra::LowByteOfMagnitude(std::numeric_limits<int32_t>::max()), 255);
  EXPECT_EQ(tumbra::LowByteOfMagnitude(std::numeric_limits<int32_t>::min()), 0);
  EXPECT_EQ(tumbra::LowByteOfMagnitude(std::numeric_limits<int32_t>::min() + 1), 255);
}

TEST(TumbraKeywords, CompareAsciiLettersWithoutCase) {
  EXPECT_TRUE(tumbra::EqualsIgnoringCase("FadeOff", "fadeoff"));
  EXPECT_TRUE(tumbra::EqualsIgnoringCase("CENTER", "center"));
  EXPECT_FALSE(tumbra::EqualsIgnoringCase("centre", "center"));
  EXPECT_FALSE(tumbra::EqualsIgnoringCase("center1", "center"));
  EXPECT_FALSE(tumbra::EqualsIgnoringCase("cent", "center"));
  EXPECT_FALSE(tumbra::EqualsIgnoringCase("fade\"\"off", "fadeoff"));
}

}  // namespace
