// Reading a watched file again: the user's view survives a reload and a failed one, Center goes
// to the fit of the model as it is now, and a reload with no model shown is a plain load.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "form_state.h"
#include "formats/live_reload.h"
#include "formats/memory_budget.h"
#include "formats/memory_budget_testing.h"
#include "scene/scene_data.h"
#include "test_support.h"

namespace {

// A square of side `size` at the origin in the file's comment-then-points form; with `spike`, a
// point above it too, which moves the centre.
std::string Square(const std::string& comment, int size, bool spike = false) {
  const std::string s = std::to_string(size);
  std::string text = "# " + comment + "\n\n-1 0 -1 0\n" + s + " 0 -1 7\n" + s + " 0 " + s +
                     " 7\n-1 0 " + s + " 7\n-1 0 -1 7\n";
  if (spike) text += "1 4 1 2\n";
  return text;
}

const std::string kSquare = Square("A square", 1);
const std::string kGrown = Square("A grown square", 3, true);

// The memory the process is taken to have while it lives.
struct AvailableMemoryFor {
  explicit AvailableMemoryFor(uint64_t bytes) { SetAvailableMemoryForTesting(bytes); }
  ~AvailableMemoryFor() { SetAvailableMemoryForTesting(std::nullopt); }
};

struct View {
  Vec3 view, up, right;
  double panX, panY, scale, initialScale;
};

View ViewOf(const TForm1& f) {
  return {f.ViewAxis, f.UpAxis, f.RightAxis, f.PanX, f.PanY, f.Scale, f.InitialScale};
}

void ExpectSameVec(const Vec3& a, const Vec3& b) {
  EXPECT_EQ(a.x, b.x);
  EXPECT_EQ(a.y, b.y);
  EXPECT_EQ(a.z, b.z);
}

// Axes, pan and zoom; InitialScale only when `withFit`.
void ExpectSameView(const View& a, const View& b, bool withFit) {
  ExpectSameVec(a.view, b.view);
  ExpectSameVec(a.up, b.up);
  ExpectSameVec(a.right, b.right);
  EXPECT_EQ(a.panX, b.panX);
  EXPECT_EQ(a.panY, b.panY);
  EXPECT_EQ(a.scale, b.scale);
  if (withFit) {
    EXPECT_EQ(a.initialScale, b.initialScale);
  }
}

struct SizedForm : FormFixture {
  SizedForm() { form.FormResize(410 + FrameWidthAllowance, 300 + FrameHeightAllowance); }
};

struct ReloadTest : ::testing::Test, SizedForm {
  ScratchDir dir;
  std::string path = dir.Write("model.tmb", kSquare);

  // The square loaded, then turned, panned and zoomed by the user.
  void LoadAndMoveTheView() {
    form.FormShow(path);
    ASSERT_TRUE(controls.Messages.empty());
    form.RotateCam(1, 0.5);
    form.RotateCam(0, -0.25);
    form.PanX = 0.375;
    form.PanY = -0.125;
    form.Scale *= 1.75;
  }
};

}  // namespace

TEST_F(ReloadTest, TheNewModelIsShownInTheUsersViewFittedForCenter) {
  LoadAndMoveTheView();
  const View before = ViewOf(form);
  const int frames = controls.FramesPresented;
  dir.Write("model.tmb", kGrown);

  EXPECT_TRUE(ReloadKeepingView(form, path));
  EXPECT_TRUE(controls.Messages.empty());
  EXPECT_EQ(form.PointCount, 6);
  EXPECT_EQ(controls.Memo, std::vector<std::string>{" A grown square"});
  ExpectSameView(ViewOf(form), before, false);

  // The fit and the centre are the new model's, as a plain load of it gives them.
  SizedForm fresh;
  fresh.form.FormShow(path);
  const View fitted = ViewOf(fresh.form);
  EXPECT_EQ(form.InitialScale, fresh.form.InitialScale);
  EXPECT_NE(form.InitialScale, before.initialScale);
  ExpectSameVec(form.Centre, fresh.form.Centre);

  // The reader's frame, then one in the user's view: the one on screen.
  EXPECT_EQ(controls.FramesPresented, frames + 2);
  fresh.form.ViewAxis = before.view;
  fresh.form.UpAxis = before.up;
  fresh.form.RightAxis = before.right;
  fresh.form.PanX = before.panX;
  fresh.form.PanY = before.panY;
  fresh.form.Scale = before.scale;
  fresh.form.Render();
  EXPECT_TRUE(form.FrameBitmap == fresh.form.FrameBitmap);

  // Center: the fitted view of the model as it is now.
  form.CenterButtonClick();
  ExpectSameView(ViewOf(form), fitted, true);
  EXPECT_EQ(form.Scale, fitted.initialScale);
}

TEST_F(ReloadTest, AFailedReloadSaysSoAndChangesNothing) {
  LoadAndMoveTheView();
  const View before = ViewOf(form);
  const std::string state = DescribeState(form, controls);

  dir.Write("model.tmb", "# half saved\n\n-1 0 -1 0\n1 0");
  EXPECT_FALSE(ReloadKeepingView(form, path));
  EXPECT_EQ(controls.Messages, std::vector<std::string>{"Error reading text file"});
  controls.Messages.clear();
  // Not the new comment lines in the memo, nor a fragment of the new model behind the frame.
  EXPECT_EQ(DescribeState(form, controls), state);
  ExpectSameView(ViewOf(form), before, true);

  // Nor one too large for memory: the model stays, and Center and the keys with it.
  {
    const AvailableMemoryFor budget(100);
    dir.Write("model.tmb", kGrown);
    EXPECT_FALSE(ReloadKeepingView(form, path));
  }
  EXPECT_EQ(controls.Messages, std::vector<std::string>{NotEnoughMemoryMessage(
                                   path, kGrown.size() + SceneBytes(6, 6) + sizeof(std::string))});
  controls.Messages.clear();
  EXPECT_EQ(DescribeState(form, controls), state);

  // The next key draws the model shown, as if no reload had been tried.
  SizedForm twin;
  twin.form.FormShow(dir.Write("twin.tmb", kSquare));
  twin.form.RotateCam(1, 0.5);
  twin.form.RotateCam(0, -0.25);
  twin.form.PanX = 0.375;
  twin.form.PanY = -0.125;
  twin.form.Scale *= 1.75;
  uint16_t key = VK_LEFT;
  form.FormKeyDown(key);
  key = VK_LEFT;
  twin.form.FormKeyDown(key);
  EXPECT_TRUE(form.FrameBitmap == twin.form.FrameBitmap);
  controls.Messages.clear();

  // Saved whole at last: still the user's view.
  controls.Messages.clear();
  dir.Write("model.tmb", kGrown);
  EXPECT_TRUE(ReloadKeepingView(form, path));
  EXPECT_TRUE(controls.Messages.empty());
  EXPECT_EQ(form.PointCount, 6);
  ExpectSameView(ViewOf(form), before, false);
}

// A model the fit refuses (all points in one place) is read whole and drawn by the reader, with
// the fit's message; there is no new fit to keep, so the old one stays for Center.
TEST_F(ReloadTest, AModelTheFitRefusesKeepsTheOldFit) {
  LoadAndMoveTheView();
  const View before = ViewOf(form);
  dir.Write("model.tmb", "# one place\n\n2 2 2 0\n2 2 2 7\n");
  EXPECT_FALSE(ReloadKeepingView(form, path));
  EXPECT_EQ(controls.Messages, std::vector<std::string>{"Error centering and scaling coordinates"});
  EXPECT_EQ(form.PointCount, 2);
  ExpectSameView(ViewOf(form), before, true);
}

// The scene reader fails on text: its error goes on to the caller, and the view is back first.
// (Holds for the scene reader and for its stand-in alike.)
TEST_F(ReloadTest, AnErrorEscapingTheReaderIsPassedOnWithTheViewBack) {
  LoadAndMoveTheView();
  const View before = ViewOf(form);
  const std::string scene = dir.Write("scene.ksl", kSquare);
  EXPECT_THROW(ReloadKeepingView(form, scene), KestrelError);
  ExpectSameView(ViewOf(form), before, true);
}

TEST_F(ReloadTest, WithNoModelShownItIsAPlainLoad) {
  const int frames = controls.FramesPresented;
  EXPECT_TRUE(ReloadKeepingView(form, path));
  EXPECT_FALSE(form.NoModel);
  EXPECT_EQ(form.PointCount, 5);
  EXPECT_EQ(controls.FramesPresented, frames + 1);
  SizedForm fresh;
  fresh.form.FormShow(path);
  ExpectSameView(ViewOf(form), ViewOf(fresh.form), true);
}

TEST_F(ReloadTest, ANameWithoutAModelsExtensionReadsNothing) {
  LoadAndMoveTheView();
  const View before = ViewOf(form);
  const int frames = controls.FramesPresented;
  EXPECT_FALSE(ReloadKeepingView(form, dir.Write("model.doc", kGrown)));
  EXPECT_EQ(form.PointCount, 5);
  EXPECT_EQ(controls.FramesPresented, frames);
  ExpectSameView(ViewOf(form), before, true);
}

// File > Reload names the reader, whatever the name: Tumbra text named .txt or .ksl reads again
// with the Tumbra reader that opened it, keeping the view.
TEST_F(ReloadTest, TheReaderThatOpenedTheFileReadsItAgain) {
  LoadAndMoveTheView();
  const View before = ViewOf(form);
  for (const char* name : {"model.txt", "model.ksl"}) {
    const std::string other = dir.Write(name, kGrown);
    EXPECT_TRUE(ReloadKeepingView(form, *SceneFileTypeForOpen(1, other), other)) << name;
    EXPECT_EQ(form.PointCount, 6);
    ExpectSameView(ViewOf(form), before, false);
  }
  EXPECT_TRUE(controls.Messages.empty());
  // By its name alone, a name no reader takes reads nothing.
  EXPECT_FALSE(ReloadKeepingView(form, dir.Write("model.step", kGrown)));
  EXPECT_EQ(form.PointCount, 6);
}
