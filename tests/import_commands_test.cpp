// Other programs' files opened every way a file opens (the command line, Open, a drop, a
// reload): each way reads them, a refused one leaves every field of the model, options, camera
// and controls exactly as it was, and a name nothing reads says what Kestrel opens.
#include <gtest/gtest.h>

#include <QImage>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "formats/file_kind.h"
#include "formats/live_reload.h"
#include "test_support.h"

namespace {

const std::string kTriangleObj = "v 0 0 0\nv 2 0 0\nv 0 2 0\nf 1 2 3\n";

template <class T>
bool SameBytes(const std::vector<T>& a, const std::vector<T>& b) {
  return a.size() == b.size() &&
         (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0);
}

bool SameVec(const Vec3& a, const Vec3& b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

// Everything a load may change, and what the window shows of it.
struct Snapshot {
  std::vector<PointRecord> points;
  std::vector<SegmentRecord> segments;
  int32_t pointCount, segmentCount;
  std::vector<std::string> comments, memo;
  double circleRadius, scale, initialScale, panX, panY;
  float modelDiameter;
  Vec3 centre, view, up, right;
  bool centreGiven, noModel, options[6], checks[7], enabled[3], timer;
  int frames;
  QImage frame;

  explicit Snapshot(const FormFixture& f) {
    const TForm1& t = f.form;
    points = t.Points;
    segments = t.Segments;
    pointCount = t.PointCount;
    segmentCount = t.SegmentCount;
    comments = t.CommentLines;
    memo = f.controls.Memo;
    circleRadius = t.CircleRadius, scale = t.Scale, initialScale = t.InitialScale;
    panX = t.PanX, panY = t.PanY, modelDiameter = t.ModelDiameter;
    centre = t.Centre, view = t.ViewAxis, up = t.UpAxis, right = t.RightAxis;
    centreGiven = t.CentreGiven, noModel = t.NoModel;
    const bool o[6] = {t.AntiAlias, t.Fade, t.FlipZ, t.WhiteBack, t.FreeSpin, t.FillCircles};
    std::memcpy(options, o, sizeof o);
    std::memcpy(checks, f.controls.Checks, sizeof checks);
    std::memcpy(enabled, f.controls.Enabled, sizeof enabled);
    timer = f.controls.TimerOn;
    frames = f.controls.FramesPresented;
    frame = t.FrameBitmap.copy();
  }

  void ExpectSame(const Snapshot& o) const {
    EXPECT_TRUE(SameBytes(points, o.points));
    EXPECT_TRUE(SameBytes(segments, o.segments));
    EXPECT_EQ(pointCount, o.pointCount);
    EXPECT_EQ(segmentCount, o.segmentCount);
    EXPECT_EQ(comments, o.comments);
    EXPECT_EQ(memo, o.memo);
    EXPECT_EQ(circleRadius, o.circleRadius);
    EXPECT_EQ(scale, o.scale);
    EXPECT_EQ(initialScale, o.initialScale);
    EXPECT_EQ(panX, o.panX);
    EXPECT_EQ(panY, o.panY);
    EXPECT_EQ(modelDiameter, o.modelDiameter);
    EXPECT_TRUE(SameVec(centre, o.centre) && SameVec(view, o.view) && SameVec(up, o.up) &&
                SameVec(right, o.right));
    EXPECT_EQ(centreGiven, o.centreGiven);
    EXPECT_EQ(noModel, o.noModel);
    EXPECT_EQ(0, std::memcmp(options, o.options, sizeof options));
    EXPECT_EQ(0, std::memcmp(checks, o.checks, sizeof checks));
    EXPECT_EQ(0, std::memcmp(enabled, o.enabled, sizeof enabled));
    EXPECT_EQ(timer, o.timer);
    EXPECT_EQ(frames, o.frames);
    EXPECT_TRUE(frame == o.frame);
  }
};

struct ImportTest : ::testing::Test, FormFixture {
  ScratchDir dir;
  ImportTest() { form.FormResize(200 + FrameWidthAllowance, 150 + FrameHeightAllowance); }

  // A model shown with options and a view of its own: white background, no fade, turned,
  // zoomed and panned, spinning freely, Save As enabled.
  void ShowAModel() {
    controls.NextOpen = HeadlessControls::OpenAnswer{
        dir.Write("shown.tmb",
                  "# shown\n\ns whiteback\ns fadeoff\ns circlediameter 0.5\n"
                  "0 0 0 0\n1 0 0 2\n1 1 0 3 10 20\n0 1 0 -1\n"),
        1};
    form.Open1Click();
    ASSERT_TRUE(controls.Messages.empty());
    form.RotateCam(1, 0.3);
    form.RotateCam(0, 0.2);
    form.Scale *= 1.5;
    form.PanX = 0.25;
    controls.ClickCheckBox(kFreeSpinCheckBox);
    controls.TimerOn = true;
    form.Render();
  }
};

// Each damaged, empty or missing file, by every way in: refused with the reader's message, and
// not one field changed.
TEST_F(ImportTest, ARefusedImportChangesNothing) {
  ShowAModel();
  const std::vector<std::string> files{
      dir.Write("index.obj", "v 0 0 0\nv 1 0 0\nf 1 2 9\n"),
      dir.Write("short.stl", std::string(80, ' ') + std::string("\x05\0\0\0", 4)),
      dir.Write("header.ply", "ply\nformat ascii 1.0\nelement vertex x\nend_header\n"),
      dir.Write("column.xyz", "1 2 3\n4 5 x\n"),
      dir.Write("empty.glb", ""),
      (dir.path() / "missing.off").string(),
  };
  const std::vector<std::pair<const char*, std::function<void(const std::string&)>>> ways{
      {"command line", [&](const std::string& p) { form.FormShow(p); }},
      {"Open, all models",
       [&](const std::string& p) {
         controls.NextOpen = HeadlessControls::OpenAnswer{p, 5};
         form.Open1Click();
       }},
      {"drop", [&](const std::string& p) { form.OpenDroppedFile(p); }},
      {"reload", [&](const std::string& p) { ReloadKeepingView(form, p); }},
  };
  for (const std::string& file : files) {
    for (const auto& [way, open] : ways) {
      SCOPED_TRACE(file + " by " + way);
      const Snapshot before(*this);
      try {
        open(file);
        ADD_FAILURE() << "read";
      } catch (const KestrelError& e) {
        EXPECT_NE(std::string(e.what()).find("\"" + file + "\""), std::string::npos) << e.what();
      }
      EXPECT_TRUE(controls.Messages.empty());
      Snapshot(*this).ExpectSame(before);
    }
  }
}

TEST_F(ImportTest, EveryWayInReadsTheFileByItsExtension) {
  const std::string obj = dir.Write("triangle.OBJ", kTriangleObj);
  form.FormShow(obj);
  EXPECT_EQ(controls.Memo, (std::vector<std::string>{"triangle.OBJ", "Wavefront OBJ",
                                                     "3 points, 3 lines, 0 dots"}));
  EXPECT_FALSE(controls.IsEnabled(Command::SaveAs)) << "the command line does not enable it";
  EXPECT_TRUE(controls.IsEnabled(Command::Center));

  // Point clouds, with a mesh's filter chosen: the name decides.
  controls.NextOpen = HeadlessControls::OpenAnswer{dir.Write("scan.xyz", "0 0 0\n1 1 1\n"), 3};
  form.Open1Click();
  EXPECT_EQ(controls.Memo[2], "2 points, 0 lines, 2 dots");
  EXPECT_TRUE(controls.IsEnabled(Command::SaveAs));

  FormFixture dropped;
  dropped.form.FormResize(200 + FrameWidthAllowance, 150 + FrameHeightAllowance);
  dropped.form.OpenDroppedFile(dir.Write("scan.csv", "x,y,z\n0,0,0\n1,1,1\n2,0,2\n"));
  EXPECT_EQ(dropped.controls.Memo[1], "CSV point cloud");
  EXPECT_TRUE(dropped.controls.IsEnabled(Command::SaveAs));
  EXPECT_TRUE(controls.Messages.empty() && dropped.controls.Messages.empty());
}

// A reload reads the file again and keeps the view, as it does for a Tumbra file.
TEST_F(ImportTest, AReloadKeepsTheView) {
  const std::string path = dir.Write("triangle.obj", kTriangleObj);
  form.FormShow(path);
  form.RotateCam(1, 0.5);
  const Vec3 right = form.RightAxis;
  dir.Write("triangle.obj", kTriangleObj + "v 0 0 2\nl 1 4\n");
  EXPECT_TRUE(ReloadKeepingView(form, path));
  EXPECT_EQ(form.PointCount, 4);
  EXPECT_TRUE(SameVec(form.RightAxis, right));
}

TEST_F(ImportTest, ANameNothingReadsSaysWhatOpens) {
  const Snapshot before(*this);
  form.FormShow(dir.Write("notes.doc", kTriangleObj));
  EXPECT_EQ(controls.Messages,
            std::vector<std::string>{NotOpenedMessage((dir.path() / "notes.doc").string())});
  Snapshot(*this).ExpectSame(before);

  controls.Messages.clear();
  form.FormShow("");
  EXPECT_TRUE(controls.Messages.empty()) << "no argument: nothing to say";

  // Open, with a filter that goes by the name, and a name typed that none reads.
  controls.NextOpen = HeadlessControls::OpenAnswer{dir.Write("notes", kTriangleObj), 5};
  form.Open1Click();
  EXPECT_EQ(controls.Messages,
            std::vector<std::string>{NotOpenedMessage((dir.path() / "notes").string())});
  Snapshot(*this).ExpectSame(before);
}

}  // namespace
