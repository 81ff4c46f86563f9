// The frame: its size for a client area, the row table across resizes and moves, the black
// fill and the cleared window, the refit on resize, and what an unusable size gives.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <limits>

#include "frame_test_support.h"

namespace {

// Every entry names row y of the frame's present storage, and a write through it lands there.
void ExpectTableAddressesRows(TForm1& form) {
  const QImage& frame = form.FrameBitmap;
  ASSERT_EQ(form.ScanLines.size(), static_cast<size_t>(frame.height()));
  for (int y = 0; y < frame.height(); ++y) {
    ASSERT_EQ(form.ScanLines[y], frame.constScanLine(y)) << "row " << y;
  }
  const int x = frame.width() - 1, y = frame.height() - 1;
  reinterpret_cast<uint32_t*>(form.ScanLines[y])[x] = 0xFF123456u;
  EXPECT_EQ(frame.pixel(x, y), 0xFF123456u);
  reinterpret_cast<uint32_t*>(form.ScanLines[y])[x] = 0xFF000000u;
}

bool AllBlack(const QImage& frame) {
  for (int y = 0; y < frame.height(); ++y) {
    for (int x = 0; x < frame.width(); ++x) {
      if (frame.pixel(x, y) != 0xFF000000u) return false;
    }
  }
  return true;
}

}  // namespace

TEST(FrameResize, ClientAreaGivesFrameRowTableAndBlackPicture) {
  PresentingForm f;
  f.form.FrameBitmap.fill(Qt::white);
  f.form.FormResize(800, 600);
  const QImage& frame = f.form.FrameBitmap;
  EXPECT_EQ(frame.width(), 601);
  EXPECT_EQ(frame.height(), 593);
  EXPECT_EQ(frame.format(), QImage::Format_RGB32);
  EXPECT_EQ(frame.bytesPerLine(), 601 * 4);
  const TRect r = f.form.FrameRect;
  EXPECT_EQ(r.Left, 0);
  EXPECT_EQ(r.Top, 0);
  EXPECT_EQ(r.Right, 601);
  EXPECT_EQ(r.Bottom, 593);
  ExpectTableAddressesRows(f.form);
  EXPECT_TRUE(AllBlack(frame));
  // Without a model: the window is cleared and the black frame shown at (192, 0).
  EXPECT_EQ(f.controls.ClientClears, 1);
  EXPECT_EQ(f.controls.FramesPresented, 1);
  EXPECT_EQ(f.controls.LastLeft, 192);
  EXPECT_EQ(f.controls.LastTop, 0);
  EXPECT_EQ(f.controls.LastWidth, 601);
  EXPECT_EQ(f.controls.LastHeight, 593);
  EXPECT_TRUE(f.controls.Messages.empty());
}

TEST(FrameResize, RowTableFollowsTheStorage) {
  PresentingForm f;
  f.form.FormResize(800, 600);
  f.form.FormResize(500, 900);  // new storage
  ExpectTableAddressesRows(f.form);
  EXPECT_EQ(f.form.FrameBitmap.height(), 893);
  f.form.FormResize(500, 900);  // same size: storage kept, still refilled black
  ExpectTableAddressesRows(f.form);
  EXPECT_TRUE(AllBlack(f.form.FrameBitmap));
  f.form.FormResize(300, 50);  // fewer rows: no entry is left past the last one
  ExpectTableAddressesRows(f.form);

  // A stale, overlong table is cut to the frame's rows when rebuilt.
  f.form.ScanLines.resize(1000, nullptr);
  f.form.PopulateScanlines();
  ExpectTableAddressesRows(f.form);
}

TEST(FrameResize, TableIsValidAfterResizeWithAntiAliasingOff) {
  PresentingForm f;
  f.controls.ClickCheckBox(kAliasCheckBox);
  ASSERT_FALSE(f.form.AntiAlias);
  f.form.FormResize(640, 480);
  f.controls.ClickCheckBox(kAliasCheckBox);
  ASSERT_TRUE(f.form.AntiAlias);
  ExpectTableAddressesRows(f.form);
}

TEST(FrameResize, WindowKeepingACopyDoesNotLeaveTheTableInIt) {
  PresentingForm f;
  f.controls.KeepCopy = true;
  f.form.FormResize(400, 300);
  ASSERT_EQ(f.controls.Kept.size(), f.form.FrameBitmap.size());
  EXPECT_NE(f.controls.Kept.constBits(), f.form.FrameBitmap.constBits());
  ExpectTableAddressesRows(f.form);
  // Writing the frame later does not change what the window was given.
  reinterpret_cast<uint32_t*>(f.form.ScanLines[0])[0] = 0xFFFFFFFFu;
  EXPECT_EQ(f.controls.Kept.pixel(0, 0), 0xFF000000u);
  f.form.FormPaint();
  ExpectTableAddressesRows(f.form);
}

TEST(FrameResize, RefitsZoomWithAModelKeepingTurnAndPan) {
  PresentingForm f;
  f.form.FormResize(609, 307);  // 410 × 300
  LoadModel(f.form, {{0, 0, 0}, {10, 0, 0}});
  ASSERT_EQ(f.form.Scale, 29);
  f.form.Scale = 77;  // the user's zoom
  f.form.PanX = 1.5;
  f.form.RotateCam(1, 0.25);
  const Vec3 right = f.form.RightAxis;
  const int presented = f.controls.FramesPresented;
  const int clears = f.controls.ClientClears;

  f.form.FormResize(800, 600);  // 601 × 593
  EXPECT_EQ(f.form.Scale, (593 - 10) / 10.0);
  EXPECT_EQ(f.form.InitialScale, f.form.Scale);
  EXPECT_EQ(f.form.PanX, 1.5);
  EXPECT_EQ(f.form.RightAxis.z, right.z);
  EXPECT_EQ(f.controls.ClientClears, clears + 1);
  EXPECT_EQ(f.controls.FramesPresented, presented + 1);  // through Render
  EXPECT_TRUE(f.controls.Messages.empty());
}

TEST(FrameResize, NoRefitBeforeAModel) {
  PresentingForm f;
  f.form.ModelDiameter = 4;
  f.form.Scale = 3;
  f.form.InitialScale = 2;
  f.form.FormResize(800, 600);
  EXPECT_EQ(f.form.Scale, 3);
  EXPECT_EQ(f.form.InitialScale, 2);
}

TEST(FrameResize, FrameWithoutRowsOrColumnsWhileAntiAliasing) {
  for (const auto& [cw, ch] : {std::pair{800, 7}, std::pair{199, 600}}) {
    PresentingForm f;
    f.form.FormResize(cw, ch);
    EXPECT_EQ(f.controls.Messages, std::vector<std::string>{"Error sizing form"})
        << cw << "x" << ch;
    EXPECT_TRUE(f.form.ScanLines.empty());
    EXPECT_EQ(f.form.FrameRect.Right * f.form.FrameRect.Bottom, 0);
    EXPECT_EQ(f.controls.ClientClears, 0);  // the guard left before the window was touched
    EXPECT_EQ(f.controls.FramesPresented, 0);
  }
  // Without anti-aliasing nothing needs a row: the empty frame is shown without complaint.
  PresentingForm f;
  f.controls.ClickCheckBox(kAliasCheckBox);
  f.form.FormResize(800, 7);
  EXPECT_TRUE(f.controls.Messages.empty());
  EXPECT_EQ(f.controls.FramesPresented, 1);
}

TEST(FrameResize, ZeroDiameterModelFailsTheRefit) {
  PresentingForm f;
  f.form.FormResize(800, 600);
  LoadModel(f.form, {{0, 0, 0}, {10, 0, 0}});
  f.form.ModelDiameter = 0;
  const double scale = f.form.Scale;
  const int presented = f.controls.FramesPresented;
  f.form.FormResize(700, 500);
  EXPECT_EQ(f.controls.Messages, std::vector<std::string>{"Error sizing form"});
  EXPECT_EQ(f.controls.MessageDetails, std::vector<std::string>{"Floating point division by zero"});
  EXPECT_EQ(f.form.Scale, scale);
  // The steps before the refit stay done; nothing is drawn.
  EXPECT_EQ(f.form.FrameBitmap.width(), 501);
  EXPECT_TRUE(AllBlack(f.form.FrameBitmap));
  EXPECT_EQ(f.controls.FramesPresented, presented);
}

TEST(FrameResize, TooSmallClientAreaGivesAnEmptyFrameQuietly) {
  PresentingForm f;
  f.form.FormResize(800, 600);
  LoadModel(f.form, {{0, 0, 0}, {10, 0, 0}});
  const double scale = f.form.Scale;
  const int presented = f.controls.FramesPresented;
  for (const auto& [cw, ch] : {std::pair{198, 600}, std::pair{800, 6}, std::pair{-5, -5}}) {
    f.form.FormResize(cw, ch);
    EXPECT_TRUE(f.form.FrameBitmap.isNull());
    EXPECT_TRUE(f.form.ScanLines.empty());
    EXPECT_EQ(f.form.FrameRect.Right, 0);
    EXPECT_EQ(f.form.FrameRect.Bottom, 0);
  }
  EXPECT_TRUE(f.controls.Messages.empty());
  EXPECT_EQ(f.controls.FramesPresented, presented);
  EXPECT_EQ(f.form.Scale, scale);
  f.form.FormResize(800, 600);
  ExpectTableAddressesRows(f.form);
  EXPECT_EQ(f.form.Scale, (593 - 10) / 10.0);
}

TEST(FrameResize, SizeTheToolkitCannotHoldKeepsTheOldFrame) {
  PresentingForm f;
  f.form.FormResize(800, 600);
  f.form.FormResize(INT_MAX, INT_MAX);
  EXPECT_EQ(f.controls.Messages, std::vector<std::string>{"Error sizing form"});
  EXPECT_EQ(f.form.FrameBitmap.width(), 601);
  ExpectTableAddressesRows(f.form);
}

// On a dense screen the frame has the drawing area's logical size times the ratio, rounded half
// to even, still presented at the logical (192, 0); the refit works on that frame, so the model
// fills the same part of the window as at a ratio of 1.
TEST(FrameResize, DenseScreenGivesADevicePixelFrame) {
  struct Case {
    double ratio;
    int clientW, clientH;
    int frameW, frameH;
  };
  const Case cases[] = {
      {1, 800, 600, 601, 593},    {2, 800, 600, 1202, 1186}, {1.5, 800, 600, 902, 890},
      {1.25, 800, 600, 751, 741}, {1.5, 400, 300, 302, 440}, {1.25, 401, 301, 252, 368},
      {1.75, 199, 7, 0, 0},       {3, 200, 8, 3, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << "ratio " << c.ratio << ", client " << c.clientW << "x" << c.clientH);
    PresentingForm f;
    f.controls.ClickCheckBox(kAliasCheckBox);  // an empty frame is then no error
    f.form.PixelRatio = c.ratio;
    f.form.FormResize(c.clientW, c.clientH);
    EXPECT_EQ(f.form.FrameBitmap.width(), c.frameW);
    EXPECT_EQ(f.form.FrameBitmap.height(), c.frameH);
    EXPECT_EQ(f.form.FrameRect.Right, c.frameW);
    EXPECT_EQ(f.form.FrameRect.Bottom, c.frameH);
    EXPECT_EQ(f.controls.LastLeft, 192);
    EXPECT_EQ(f.controls.LastTop, 0);
    EXPECT_TRUE(f.controls.Messages.empty());
    if (c.frameW < 20 || c.frameH < 20) continue;
    ExpectTableAddressesRows(f.form);
    LoadModel(f.form, {{0, 0, 0}, {10, 0, 0}});
    EXPECT_EQ(f.form.Scale, (std::min(c.frameW, c.frameH) - 10) / 10.0);
  }
}

TEST(FrameResize, RatioThatIsNoNumberIsASizingError) {
  for (const double ratio : {0.0, -2.0, std::numeric_limits<double>::infinity()}) {
    PresentingForm f;
    f.form.PixelRatio = ratio;
    f.form.FormResize(800, 600);
    EXPECT_EQ(f.controls.Messages, std::vector<std::string>{"Error sizing form"});
    EXPECT_TRUE(f.form.FrameBitmap.isNull());
  }
}

TEST(FramePaint, ShowsTheFrameAtItsPlaceWithOrWithoutAModel) {
  PresentingForm f;
  f.form.FormPaint();  // before any sizing: the empty frame
  EXPECT_EQ(f.controls.FramesPresented, 1);
  EXPECT_EQ(f.controls.LastWidth, 0);
  f.form.FormResize(300, 200);
  f.form.FormPaint();
  EXPECT_EQ(f.controls.FramesPresented, 3);
  EXPECT_EQ(f.controls.LastLeft, 192);
  EXPECT_EQ(f.controls.LastTop, 0);
  EXPECT_EQ(f.controls.LastWidth, 101);
  EXPECT_EQ(f.controls.LastHeight, 193);
}
