// LoadTmbFile: comment block, switches, point lines, colours, failures and what survives them.
// A successful load ends with a frame, which sorts Segments by depth; so after a successful
// load segments are looked up by content, never by position. Failed loads draw nothing and
// leave Segments in file order.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <array>
#include <clocale>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "form_state.h"
#include "locale_guard.h"
#include "scene/colour_codes.h"
#include "test_support.h"

namespace {

constexpr char kReadError[] = "Error reading text file";
constexpr char kSwitchError[] = "Error reading switches in text file";
constexpr char kUnknownSwitch[] = "unrecognized switch in text file";
constexpr char kNoPoints[] = "No points in text file";

constexpr uint32_t kWhite = MakeColor(255, 255, 255);
constexpr uint32_t kGrey = MakeColor(40, 40, 40);
constexpr uint32_t kRed = MakeColor(0, 0, 255);
constexpr uint32_t kGreen = MakeColor(0, 255, 0);
constexpr uint32_t kBlue = MakeColor(255, 0, 0);

using Lines = std::vector<std::string>;

struct TumbraTest : ::testing::Test, FormFixture {
  ScratchDir dir;

  // A 410 × 300 frame, as the window would have it before the first load.
  TumbraTest() { form.FormResize(410 + FrameWidthAllowance, 300 + FrameHeightAllowance); }

  void Load(const std::string& text) {
    controls.Messages.clear();
    controls.MessageDetails.clear();
    form.LoadTmbFile(dir.Write("model.tmb", text));
  }

  // The segment ending at point `second` (a line) or drawn at point `first` (a point).
  const SegmentRecord* LineTo(int32_t second) const {
    for (const SegmentRecord& s : form.Segments) {
      if (s.Kind == 0 && s.Second == second) return &s;
    }
    return nullptr;
  }
  const SegmentRecord* PointAt(int32_t first) const {
    for (const SegmentRecord& s : form.Segments) {
      if (s.Kind != 0 && s.First == first) return &s;
    }
    return nullptr;
  }

  void ExpectCountsMatch() const {
    EXPECT_EQ(form.PointCount, static_cast<int32_t>(form.Points.size()));
    EXPECT_EQ(form.SegmentCount, static_cast<int32_t>(form.Segments.size()));
  }

  // The six options in check box order (1 anti-aliasing ... 6 fill circles), as flags and as
  // check boxes.
  void ExpectOptions(const std::array<bool, 6>& expected) const {
    const bool flags[6] = {form.AntiAlias, form.Fade,     form.FlipZ,
                           form.WhiteBack, form.FreeSpin, form.FillCircles};
    for (int i = 0; i < 6; ++i) {
      EXPECT_EQ(flags[i], expected[i]) << "option " << i + 1;
      EXPECT_EQ(controls.Checks[i + 1], expected[i]) << "check box " << i + 1;
    }
  }
  void ExpectOptionsAtDefaults() const { ExpectOptions({true, true, false, false, false, false}); }
};

void ExpectPos(const PointRecord& p, double x, double y, double z) {
  EXPECT_EQ(p.Pos.x, x);
  EXPECT_EQ(p.Pos.y, y);
  EXPECT_EQ(p.Pos.z, z);
}

// A model with every option switched away from its default, two segments and a circle. Its
// comment block is " previous".
constexpr char kPrevious[] =
    "# previous\n"
    "s antialiasoff\ns fadeoff\ns flipz\ns whiteback\ns freespin\ns fillcircles\n"
    "s circlediameter 3\n"
    "0 0 0 0\n10 0 0 1\n10 0 5 -2\n";

// --- Comment block ---

TEST_F(TumbraTest, CommentBlockFillsTheMemoAndCommentLines) {
  controls.Memo = {"old"};
  Load("#\n# Cube\n#Cube\n#\t tab\n0 0 0 0\n# later\n1 0 0 1\n");
  EXPECT_TRUE(controls.Messages.empty());
  EXPECT_EQ(controls.Memo, (Lines{" ", " Cube", "Cube", "\t tab"}));
  EXPECT_EQ(form.CommentLines, controls.Memo);
  EXPECT_EQ(form.Points.size(), 2u);
}

TEST_F(TumbraTest, CommentBlockEndsAtTheFirstEmptyOrOtherLine) {
  Load("# a\n\n# hidden\n0 0 0 0\n");
  EXPECT_EQ(controls.Memo, (Lines{" a"}));
  Load("# a\ns fadeoff\n# hidden\n0 0 0 0\n");
  EXPECT_EQ(controls.Memo, (Lines{" a"}));
  EXPECT_FALSE(form.Fade);
  // A blank before the "#" makes a point line, which is no number here.
  Load("# a\n #b\n0 0 0 0\n");
  EXPECT_EQ(controls.Memo, (Lines{" a"}));
  EXPECT_EQ(controls.Messages, (Lines{kReadError}));
  Load("0 0 0 0\n# hidden\n");
  EXPECT_EQ(controls.Memo, (Lines{}));
  EXPECT_EQ(form.CommentLines, (Lines{}));
}

// --- Line ends ---

TEST_F(TumbraTest, EveryLineEndReadsTheSameModel) {
  const Lines body = {"# a",     "# b",     "",        "# c", "s circlediameter 2",
                      "1 2 3 0", "4 5 6 2", "7 8 9 -1"};
  const struct {
    const char* end;
    const char* name;
  } ends[] = {{"\r\n", "CR LF"}, {"\n", "LF"}, {"\r", "CR"}};
  for (const auto& end : ends) {
    for (bool finalEnd : {true, false}) {
      std::string text;
      for (size_t i = 0; i < body.size(); ++i) {
        text += body[i];
        if (finalEnd || i + 1 < body.size()) text += end.end;
      }
      SCOPED_TRACE(testing::Message()
                   << end.name << (finalEnd ? " with" : " without") << " a final line end");
      Load(text);
      EXPECT_TRUE(controls.Messages.empty());
      EXPECT_EQ(controls.Memo, (Lines{" a", " b"}));
      ASSERT_EQ(form.Points.size(), 3u);
      ExpectPos(form.Points[2], 7, 9, 8);
      ASSERT_NE(PointAt(2), nullptr);
      EXPECT_EQ(PointAt(2)->Radius, 1.0);
    }
  }
}

TEST_F(TumbraTest, CrLfIsOneLineEndAndLfCrTwo) {
  Load("# a\r\n# b\r\n\r\n0 0 0 0\r\n");
  EXPECT_EQ(controls.Memo, (Lines{" a", " b"}));
  Load("# a\n\r# b\n0 0 0 0\n");
  EXPECT_EQ(controls.Memo, (Lines{" a"}));
}

// --- Switches ---

TEST_F(TumbraTest, EverySwitchSetsItsOptionThroughItsCheckBox) {
  Load(
      "S AntiAliasOff\ns FADEOFF\nsw flipz\nswitch whiteback\ns freespin extra\n"
      "s\t\"fillcircles\"\n0 0 0 0\n1 1 1 1\n");
  EXPECT_TRUE(controls.Messages.empty());
  ExpectOptions({false, false, true, true, true, true});
  EXPECT_FALSE(form.NoModel);
}

TEST_F(TumbraTest, EveryLoadStartsFromDefaultOptionsAndStopsTheSpin) {
  Load(kPrevious);
  controls.TimerOn = true;  // spinning
  Load("0 0 0 0\n1 1 1 1\n");
  EXPECT_TRUE(controls.Messages.empty());
  ExpectOptionsAtDefaults();
  EXPECT_FALSE(controls.TimerOn);
  EXPECT_EQ(form.CircleRadius, 0.0);
}

TEST_F(TumbraTest, SwitchesWithTooFewColumns) {
  // A lone "s" is ignored without a word; the others are reported, once for the whole file
  // however many there are, and reading goes on.
  Load("s\ns circlediameter\ns center 1 2\ns sparkle\n0 0 0 0\n5 0 0 -1\n");
  EXPECT_EQ(controls.Messages, (Lines{kUnknownSwitch}));
  EXPECT_EQ(form.Points.size(), 2u);
  EXPECT_FALSE(form.CentreGiven);
  ASSERT_NE(PointAt(1), nullptr);
  EXPECT_EQ(PointAt(1)->Radius, 0.0);
}

TEST_F(TumbraTest, CircleDiameterAppliesToLaterPointsOnly) {
  Load("0 0 0 -1\ns circlediameter 4\n1 0 0 -1\ns circlediameter 1e0\n2 0 0 -1\n3 0 0 1\n");
  EXPECT_TRUE(controls.Messages.empty());
  ASSERT_EQ(form.Segments.size(), 4u);
  EXPECT_EQ(PointAt(0)->Radius, 0.0);
  EXPECT_EQ(PointAt(1)->Radius, 2.0);
  EXPECT_EQ(PointAt(2)->Radius, 0.5);
  EXPECT_EQ(form.CircleRadius, 2.0);
}

TEST_F(TumbraTest, CircleOfASinglePointIsFitted) {
  Load("s circlediameter 4\n0 0 0 -1\n");
  EXPECT_TRUE(controls.Messages.empty());
  ASSERT_EQ(form.Segments.size(), 1u);
  EXPECT_EQ(form.Segments[0].Kind, 1);
  EXPECT_EQ(form.Segments[0].First, 0);
  EXPECT_EQ(form.Segments[0].Radius, 2.0);
  EXPECT_EQ(form.CircleRadius, 2.0);
  EXPECT_EQ(form.ModelDiameter, 4.0f);
}

TEST_F(TumbraTest, CenterSwitchGivesTheCentre) {
  Load("s center 1 2 3\n0 0 0 0\n10 0 0 1\n");
  EXPECT_TRUE(controls.Messages.empty());
  EXPECT_TRUE(form.CentreGiven);
  EXPECT_EQ(form.Centre.x, 1.0);
  EXPECT_EQ(form.Centre.y, 3.0);
  EXPECT_EQ(form.Centre.z, 2.0);
  // The next load without the switch measures the centre again.
  Load("0 0 0 0\n10 0 0 1\n");
  EXPECT_FALSE(form.CentreGiven);
  EXPECT_EQ(form.Centre.x, 5.0);
  EXPECT_EQ(form.Centre.y, 0.0);
  EXPECT_EQ(form.Centre.z, 0.0);
}

TEST_F(TumbraTest, WhiteBackAfterSomePointLinesKeepsEarlierSegmentsWhite) {
  Load("0 0 0 0\n1 0 0 7\n2 0 0 -9\ns whiteback\n3 0 0 7\n4 0 0 -9\n5 0 0 1\n");
  EXPECT_TRUE(form.WhiteBack);
  ASSERT_EQ(form.Segments.size(), 5u);
  EXPECT_EQ(LineTo(1)->Colour, kWhite);
  EXPECT_EQ(PointAt(2)->Colour, kWhite);
  EXPECT_EQ(LineTo(3)->Colour, kGrey);
  EXPECT_EQ(PointAt(4)->Colour, kGrey);
  EXPECT_EQ(LineTo(5)->Colour, kRed);
}

// --- Point lines, codes and colours ---

TEST_F(TumbraTest, PointLinesListXZY) {
  Load("1 2 3 0\n4 5 6 2\n");
  EXPECT_TRUE(controls.Messages.empty());
  ASSERT_EQ(form.Points.size(), 2u);
  ExpectPos(form.Points[0], 1, 3, 2);
  ExpectPos(form.Points[1], 4, 6, 5);
  ASSERT_EQ(form.Segments.size(), 1u);
  const SegmentRecord& s = form.Segments[0];
  EXPECT_EQ(s.Kind, 0);
  EXPECT_EQ(s.First, 0);
  EXPECT_EQ(s.Second, 1);
  EXPECT_EQ(s.Colour, kGreen);
  ExpectCountsMatch();
}

TEST_F(TumbraTest, ColumnsMayBeSpacedQuotedAndFollowedByMore) {
  Load("\t 1.5  -2 \"3\"\x01 0 \n 4e1\t5\t6\t-3\t1\t2\t3\t4\n");
  EXPECT_TRUE(controls.Messages.empty());
  ASSERT_EQ(form.Points.size(), 2u);
  ExpectPos(form.Points[0], 1.5, 3, -2);
  ExpectPos(form.Points[1], 40, 6, 5);
  ASSERT_NE(PointAt(1), nullptr);
  EXPECT_EQ(PointAt(1)->Colour, MakeColor(2, 1, 3));
}

TEST_F(TumbraTest, NegativeCodeAddsAPointWithTheCurrentRadius) {
  Load("1 2 3 -1\n");
  ASSERT_EQ(form.Segments.size(), 1u);
  EXPECT_EQ(form.Segments[0].Kind, 1);
  EXPECT_EQ(form.Segments[0].First, 0);
  EXPECT_EQ(form.Segments[0].Radius, 0.0);
  EXPECT_EQ(form.Segments[0].Colour, kRed);
  EXPECT_EQ(form.CircleRadius, 0.0);
}

TEST_F(TumbraTest, OnlyTheLowSixteenBitsOfTheCodeCount) {
  Load(
      "0 0 0 0\n"
      "1 0 0 65536\n"          // 0: a move
      "2 0 0 -300\n"           // a point, colour code 44
      "3 0 0 40000\n"          // -25536: a point, colour code 192
      "4 0 0 65537\n"          // 1: a red line
      "5 0 0 -65535\n"         // 1 again
      "6 0 0 $FFFF\n"          // -1: a red point
      "7 0 0 x10003\n"         // 3: a blue line
      "8 0 0 -2147483648\n");  // 0: a move
  EXPECT_TRUE(controls.Messages.empty());
  ASSERT_EQ(form.Points.size(), 9u);
  ASSERT_EQ(form.Segments.size(), 6u);
  EXPECT_EQ(LineTo(1), nullptr);
  EXPECT_EQ(PointAt(1), nullptr);
  ASSERT_NE(PointAt(2), nullptr);
  EXPECT_EQ(PointAt(2)->Colour, kWhite);
  ASSERT_NE(PointAt(3), nullptr);
  EXPECT_EQ(PointAt(3)->Colour, kWhite);
  ASSERT_NE(LineTo(4), nullptr);
  EXPECT_EQ(LineTo(4)->First, 3);
  EXPECT_EQ(LineTo(4)->Colour, kRed);
  EXPECT_EQ(LineTo(5)->Colour, kRed);
  ASSERT_NE(PointAt(6), nullptr);
  EXPECT_EQ(PointAt(6)->Colour, kRed);
  EXPECT_EQ(LineTo(7)->Colour, kBlue);
  EXPECT_EQ(LineTo(8), nullptr);
  EXPECT_EQ(PointAt(8), nullptr);
}

TEST_F(TumbraTest, ExplicitColourNeedsSixNumericColumns) {
  Load(
      "0 0 0 0\n"
      "1 2 3 200 10 20\n"            // red 200, green 10, blue 20
      "1 2 3 200 10\n"               // five columns: code 200, the default
      "1 2 3 200 10 # x\n"           // a remark in column 6
      "1 0 2 3 # edge\n"             // a remark in column 5: code 3, blue
      "1 0 2 2 #10 20\n"             // "#" is enough: code 2, green
      "1 0 2 -259 -1 -2147483648\n"  // |code| 259, |-1|, |-2^31|, all modulo 256
      "1 0 2 1 263 $1FF 99\n");      // column 7 on is not read
  EXPECT_TRUE(controls.Messages.empty());
  ASSERT_EQ(form.Segments.size(), 7u);
  EXPECT_EQ(LineTo(1)->Colour, MakeColor(20, 10, 200));
  EXPECT_EQ(LineTo(2)->Colour, kWhite);
  EXPECT_EQ(LineTo(3)->Colour, kWhite);
  EXPECT_EQ(LineTo(4)->Colour, kBlue);
  EXPECT_EQ(LineTo(5)->Colour, kGreen);
  ASSERT_NE(PointAt(6), nullptr);
  EXPECT_EQ(PointAt(6)->Colour, MakeColor(0, 1, 3));
  EXPECT_EQ(LineTo(7)->Colour, MakeColor(255, 7, 1));
}

TEST_F(TumbraTest, PositiveCodeOnTheFirstPointLineIsAMove) {
  // No line from a point that does not exist, and its colour columns are not read.
  Load("# a\ns fadeoff\n1 2 3 5 not numbers\n4 5 6 1\n");
  EXPECT_TRUE(controls.Messages.empty());
  ASSERT_EQ(form.Points.size(), 2u);
  ASSERT_EQ(form.Segments.size(), 1u);
  EXPECT_EQ(form.Segments[0].Kind, 0);
  EXPECT_EQ(form.Segments[0].First, 0);
  EXPECT_EQ(form.Segments[0].Second, 1);
}

TEST_F(TumbraTest, ASuccessfulLoadFitsAndDrawsOnce) {
  const int framesBefore = controls.FramesPresented;
  form.PanX = 3;
  form.ViewAxis = {1, 0, 0};
  Load("0 0 0 0\n10 0 0 1\n");
  EXPECT_EQ(form.Centre.x, 5.0);
  EXPECT_EQ(form.ModelDiameter, 10.0f);
  EXPECT_EQ(form.Scale, 29.0);
  EXPECT_EQ(form.InitialScale, 29.0);
  EXPECT_EQ(form.PanX, 0.0);
  EXPECT_EQ(form.ViewAxis.z, 1.0);
  EXPECT_FALSE(form.NoModel);
  EXPECT_TRUE(controls.IsEnabled(Command::Center));
  EXPECT_TRUE(controls.IsEnabled(Command::SaveImageAs));
  EXPECT_EQ(controls.FramesPresented, framesBefore + 1);
}

// --- Failures: a refused file changes nothing at all ---

// Two forms a refused file must leave exactly as they were, down to the last field and pixel:
// one showing kPrevious, whose user has since turned, panned and zoomed it, unticked a box and
// set it spinning; and one that has never shown a model.
struct RefusalTest : TumbraTest {
  FormFixture fresh;

  RefusalTest() {
    Load(kPrevious);
    form.RotateCam(1, 0.5);
    form.RotateCam(0, -0.25);
    form.PanX = 0.375;
    form.Scale *= 1.75;
    form.Render();
    controls.ClickCheckBox(kFlipZCheckBox);
    controls.TimerOn = true;
    controls.Messages.clear();
    fresh.form.FormResize(410 + FrameWidthAllowance, 300 + FrameHeightAllowance);
  }

  // Loads `path` into both forms: each shows exactly `messages`, and nothing else changes.
  void ExpectRefusedPath(const std::string& path, const Lines& messages) {
    for (FormFixture* f : {static_cast<FormFixture*>(this), &fresh}) {
      SCOPED_TRACE(f == &fresh ? "with no model shown" : "with a model shown");
      f->controls.Messages.clear();
      const std::string before = DescribeState(f->form, f->controls);
      f->form.LoadTmbFile(path);
      EXPECT_EQ(f->controls.Messages, messages);
      f->controls.Messages.clear();
      EXPECT_EQ(DescribeState(f->form, f->controls), before);
    }
  }
  void ExpectRefused(const std::string& text, const Lines& messages) {
    SCOPED_TRACE(text);
    ExpectRefusedPath(dir.Write("refused.tmb", text), messages);
  }
};

TEST_F(RefusalTest, UnreadableFileChangesNothing) {
  const std::string pipe = (dir.path() / "pipe.tmb").string();
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  for (const std::string& path :
       {(dir.path() / "missing.tmb").string(), dir.path().string(), pipe}) {
    ExpectRefusedPath(path, {kReadError});
  }
}

// Every message keeps its fixed text; its detail names the file and says what stopped the
// reading: the system's reason, or the line (counted from 1, whatever its line end), the column
// (counted from 1) and what stood there.
TEST_F(TumbraTest, EveryFailureSaysWhereAndWhat) {
  const std::string long_column(100, '7');
  struct Case {
    std::string text;
    Lines messages;
    Lines details;
  };
  const Case cases[] = {
      {"", {kReadError}, {"model.tmb: the file is empty"}},
      {"# one\n#\n# two", {kReadError}, {"model.tmb: only comment lines"}},
      {"# x\n\ns sparkle\n", {kNoPoints}, {"model.tmb"}},
      {"# x\n\n1,5 2 3 0\n",
       {kReadError},
       {"model.tmb, line 3, column 1: \"1,5\" is not a number"}},
      {"0 0 0 0\n5 x 7 1\n", {kReadError}, {"model.tmb, line 2, column 2: \"x\" is not a number"}},
      {"0 0 0 0\n5 6 \"x y\" 1",
       {kReadError},
       {"model.tmb, line 2, column 3: \"x y\" is not a number"}},
      {"5 6\n", {kReadError}, {"model.tmb, line 1, column 3: no number"}},
      {"5 6 7\n", {kReadError}, {"model.tmb, line 1, column 4: no whole number"}},
      {"5 6 7 1.0\n", {kReadError}, {"model.tmb, line 1, column 4: \"1.0\" is not a whole number"}},
      {"5 6 7 1e999\n",
       {kReadError},
       {"model.tmb, line 1, column 4: \"1e999\" is not a whole number"}},
      {"0 0 0 0\n5 6 7 1 x 3\n",
       {kReadError},
       {"model.tmb, line 2, column 5: \"x\" is not a whole number"}},
      {"0 0 0 0\n5 6 7 -1 4 1e3\n",
       {kReadError},
       {"model.tmb, line 2, column 6: \"1e3\" is not a whole number"}},
      {"0 0 0 0\n5 6 7 2 4 99999999999\n",
       {kReadError},
       {"model.tmb, line 2, column 6: \"99999999999\" is out of range"}},
      {"# a\r\n\r\n0 0 0 0\r1 2 x 0\r\n",
       {kReadError},
       {"model.tmb, line 4, column 3: \"x\" is not a number"}},
      {"0 0 0 0\n0 " + long_column + "x 0 0\n",
       {kReadError},
       {"model.tmb, line 2, column 2: \"" + long_column.substr(0, 40) + "...\" is not a number"}},
      {"s circlediameter wide\n0 0 0 0\n",
       {kSwitchError},
       {"model.tmb, line 1, column 3: \"wide\" is not a number"}},
      {"0 0 0 0\nS CENTER 1 2 z\n",
       {kSwitchError},
       {"model.tmb, line 2, column 5: \"z\" is not a number"}},
      // An unrecognised switch names the first, and counts the others the reading went past.
      {"# x\n\ns sparkle\n0 0 0 0\n1 1 1 1\n",
       {kUnknownSwitch},
       {"model.tmb, line 3: \"sparkle\""}},
      {"s sparkle\ns glitter\n0 0 0 0\n1 1 1 1\ns center 1 2\n",
       {kUnknownSwitch},
       {"model.tmb, line 1: \"sparkle\", and 2 others"}},
      {"0 0 0 0\ns sparkle\ns glitter\n1 x 0 0\ns more\n",
       {kUnknownSwitch, kReadError},
       {"model.tmb, line 2: \"sparkle\", and 1 other",
        "model.tmb, line 4, column 2: \"x\" is not a number"}},
  };
  for (const Case& c : cases) {
    Load(c.text);
    EXPECT_EQ(controls.Messages, c.messages) << c.text;
    EXPECT_EQ(controls.MessageDetails, c.details) << c.text;
  }

  const std::string pipe = (dir.path() / "pipe.tmb").string();
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  const std::string folder = (dir.path() / "folder.tmb").string();
  ASSERT_TRUE(std::filesystem::create_directory(folder));
  const std::pair<std::string, std::string> unreadable[] = {
      {(dir.path() / "missing.tmb").string(), "missing.tmb: No such file or directory"},
      {folder, "folder.tmb: Is a directory"},
      {pipe, "pipe.tmb: it is not a regular file"},
  };
  for (const auto& [path, detail] : unreadable) {
    controls.Messages.clear();
    controls.MessageDetails.clear();
    form.LoadTmbFile(path);
    EXPECT_EQ(controls.Messages, (Lines{kReadError})) << path;
    EXPECT_EQ(controls.MessageDetails, (Lines{detail})) << path;
  }
}

TEST_F(RefusalTest, FileOfCommentsOnlyChangesNothing) {
  ExpectRefused("# one\n#\n# two", {kReadError});
  ExpectRefused("", {kReadError});
}

TEST_F(RefusalTest, FileWithoutPointLinesChangesNothing) {
  ExpectRefused("# none\n\ns whiteback\ns center 1 2 3\n\n# x\n", {kNoPoints});
}

TEST_F(RefusalTest, BadPointLineChangesNothing) {
  // A line of blanks between point lines, after a comment block and a switch.
  ExpectRefused("# kept\ns fadeoff\n0 0 0 0\n1 0 0 1\n   \n2 0 0 1\n", {kReadError});
  for (const char* line : {
           "5 6 x 1",      // column 3 (y) is no number
           "5 x 7 1",      // column 2 (z)
           "1,5 2 3 0",    // a comma is no decimal separator
           "5 6",          // too few for the coordinates
           "5 6 7",        // coordinates read, no code
           "5 6 7 1.0",    // the code is no integer
           "5 6 7 1e999",  // nor this
       }) {
    ExpectRefused(std::string("0 0 0 0\n") + line + "\n9 9 9 1\n", {kReadError});
  }
  // On the very last line, after everything else was read.
  ExpectRefused("# a\ns whiteback\ns circlediameter 4\n0 0 0 -1\n1 1 1 1\n2 2", {kReadError});
}

TEST_F(RefusalTest, BadColourChangesNothing) {
  for (const char* line : {"5 6 7 1 x 3", "5 6 7 -1 4 1e3", "5 6 7 2 4 99999999999"}) {
    ExpectRefused(std::string("0 0 0 0\n") + line + "\n9 9 9 1\n", {kReadError});
  }
}

TEST_F(RefusalTest, BadSwitchValueChangesNothing) {
  // x and z of the centre read before the bad y: still nothing of it is kept.
  ExpectRefused("0 0 0 0\ns center 1 2 x\n1 1 1 1\n", {kSwitchError});
  ExpectRefused("0 0 0 0\ns circlediameter 1,5\n1 1 1 -1\n", {kSwitchError});
  // Before the first point line.
  ExpectRefused("s circlediameter big\n0 0 0 0\n", {kSwitchError});
}

TEST_F(RefusalTest, AnUnknownSwitchIsStillReportedBeforeTheRefusal) {
  ExpectRefused("s sparkle\ns fadeoff\n0 0 0 0\n1 2\n", {kUnknownSwitch, kReadError});
}

// The window's own hazard: Save As after a refused file saves the model that is shown, whole.
TEST_F(RefusalTest, SaveAsAfterARefusalSavesTheModelShown) {
  const std::string saved = (dir.path() / "previous.ksl").string();
  ExpectRefused("# broken\n\n1 2 3\n", {kReadError});
  form.SaveKslFile(saved);
  FormFixture reopened;
  reopened.form.FormResize(410 + FrameWidthAllowance, 300 + FrameHeightAllowance);
  reopened.form.LoadKslFile(saved);
  EXPECT_TRUE(reopened.controls.Messages.empty());
  EXPECT_EQ(reopened.form.PointCount, 3);
  EXPECT_EQ(reopened.form.SegmentCount, 2);
  EXPECT_EQ(reopened.controls.Memo, (Lines{" previous"}));
}

// --- Locale ---

TEST_F(TumbraTest, CommaDecimalLocaleChangesNothing) {
  LocaleGuard german("de_DE.UTF-8");
  ASSERT_TRUE(german.Active()) << "scripts/setup.sh generates de_DE.UTF-8";
  ASSERT_STREQ(std::localeconv()->decimal_point, ",");
  Load("s circlediameter 2.5\n-1.5 .25 2e-3 -1\n");
  EXPECT_TRUE(controls.Messages.empty());
  ASSERT_EQ(form.Points.size(), 1u);
  ExpectPos(form.Points[0], -1.5, 2e-3, 0.25);
  EXPECT_EQ(form.CircleRadius, 1.25);
  Load("1,5 2 3 0\n");
  EXPECT_EQ(controls.Messages, (Lines{kReadError}));
  ExpectPos(form.Points[0], -1.5, 2e-3, 0.25);
}

// --- Hostile files: bounded time and memory ---

// The peak memory of this process so far, in bytes.
size_t PeakMemory() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<size_t>(usage.ru_maxrss) * 1024;
}

// Each file here is read whole once; what the reader keeps beyond it must stay of the order of
// the file itself (the fake memo keeps its own copy of every comment line, so a comment of the
// file's size is held three times in all).
constexpr size_t kSlack = size_t{64} << 20;

TEST_F(TumbraTest, TenMillionColumnsOnOneLineCountOnlyForTheFirstSix) {
  std::string text = "0 0 0 0\n1 2 3 1 10 20";
  for (int i = 0; i < 10'000'000; ++i) text += " 7";
  text += "\n";
  const size_t before = PeakMemory();
  Load(text);
  EXPECT_LT(PeakMemory() - before, 2 * text.size() + kSlack);
  EXPECT_TRUE(controls.Messages.empty());
  ASSERT_EQ(form.Segments.size(), 1u);
  EXPECT_EQ(form.Segments[0].Colour, MakeColor(20, 10, 1));
}

TEST_F(TumbraTest, AHundredMegabyteLineIsReadOrRefusedWhole) {
  const size_t size = size_t{100} << 20;
  // As a comment: kept whole in the model, the block goes on to a model.
  std::string text = "#" + std::string(size, 'x') + "\n\n0 0 0 0\n1 1 1 1\n";
  size_t before = PeakMemory();
  Load(text);
  EXPECT_LT(PeakMemory() - before, 3 * text.size() + kSlack);
  EXPECT_TRUE(controls.Messages.empty());
  ASSERT_EQ(form.CommentLines.size(), 1u);
  EXPECT_EQ(form.CommentLines[0].size(), size);
  EXPECT_EQ(form.Points.size(), 2u);
  text.clear();
  text.shrink_to_fit();

  // As one column of digits: too few columns for a point line.
  before = PeakMemory();
  Load(std::string(size, '1') + "\n");
  EXPECT_LT(PeakMemory() - before, 2 * size + kSlack);
  EXPECT_EQ(controls.Messages, (Lines{kReadError}));
}

TEST_F(TumbraTest, AMillionUnknownSwitchesAreReportedOncePerLoad) {
  std::string text;
  for (int i = 0; i < 1'000'000; ++i) text += "s sparkle" + std::to_string(i % 10) + "\n";
  text += "0 0 0 0\n1 1 1 1\n";
  Load(text);
  EXPECT_EQ(controls.Messages, (Lines{kUnknownSwitch}));
  EXPECT_EQ(form.Segments.size(), 1u);
  // A second file with one is reported again.
  controls.Messages.clear();
  Load("s sparkle\n0 0 0 0\n1 1 1 0\n");
  EXPECT_EQ(controls.Messages, (Lines{kUnknownSwitch}));
  EXPECT_EQ(form.Points.size(), 2u);
}

}  // namespace
