// Opening files: the extension rule every way in follows, and a dropped file, which opens as
// the File menu's Open opens it with the filter of its extension.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "formats/file_bytes.h"
#include "formats/file_commands.h"
#include "formats/file_kind.h"
#include "test_support.h"

namespace {

const std::string kSquare =
    "# A square\n"
    "\n"
    "-1 0 -1 0\n"
    "1 0 -1 7\n"
    "1 0 1 7\n"
    "-1 0 1 7\n"
    "-1 0 -1 7\n";

struct DropTest : ::testing::Test, FormFixture {
  ScratchDir dir;
  DropTest() { form.FormResize(410 + FrameWidthAllowance, 300 + FrameHeightAllowance); }
};

}  // namespace

TEST(FileKind, TheExtensionFromTheLastDotPicksTheReaderWhateverItsCase) {
  const struct {
    const char* path;
    const char* extension;
    SceneFileKind kind;
  } cases[] = {
      {"model.tmb", ".tmb", SceneFileKind::Tumbra},
      {"/home/me/MODEL.TmB", ".tmb", SceneFileKind::Tumbra},
      {"scene.KSL", ".ksl", SceneFileKind::Kestrel},
      {"archive.tmb.gz", ".gz", SceneFileKind::None},
      {"model.tmb.", ".", SceneFileKind::None},
      {"no-extension", "", SceneFileKind::None},
      {"", "", SceneFileKind::None},
      {"folder.tmb/model", "", SceneFileKind::None},
      {"folder.tmb\\model", "", SceneFileKind::None},
      {"c:model", "", SceneFileKind::None},
      {".tmb", ".tmb", SceneFileKind::Tumbra},
      // Only ASCII letters change case: a byte above 127 is no letter.
      {"model.tm\xc2", ".tm\xc2", SceneFileKind::None},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(LowerExtension(c.path), c.extension) << c.path;
    EXPECT_EQ(SceneFileKindOf(c.path), c.kind) << c.path;
  }
}

TEST(FileKind, TheOpenDialogsFilterPicksTheReader) {
  const std::pair<int, SceneFileKind> cases[] = {
      {1, SceneFileKind::Tumbra},
      {2, SceneFileKind::Kestrel},
      // No such filter: read as a scene file.
      {0, SceneFileKind::Kestrel},
      {3, SceneFileKind::Kestrel},
  };
  for (const auto& [filter, kind] : cases) EXPECT_EQ(SceneFileKindOfFilter(filter), kind) << filter;
  // And back: the filter that reads a kind.
  EXPECT_EQ(FilterIndexOfKind(SceneFileKind::Tumbra), 1);
  EXPECT_EQ(FilterIndexOfKind(SceneFileKind::Kestrel), 2);
  EXPECT_EQ(FilterIndexOfKind(SceneFileKind::None), 0);
}

// Every way in tells the controls of a file read in full, with the filter of its reader, and of
// nothing else: not a refused file, not a name no reader takes, not a failure that escapes.
TEST_F(DropTest, EveryFileReadInFullIsToldOnceWithItsReadersFilter) {
  const std::string square = dir.Write("square.tmb", kSquare);
  const std::string named = dir.Write("named.ksl", kSquare);
  const std::string damaged = dir.Write("damaged.tmb", "1 2 three 4\n");
  form.FormShow(square);
  form.OpenDroppedFile(damaged);
  form.OpenDroppedFile(dir.Write("square.txt", kSquare));
  controls.NextOpen = HeadlessControls::OpenAnswer{named, 1};
  form.Open1Click();
  EXPECT_THROW(form.OpenDroppedFile(named), KestrelError);
  EXPECT_TRUE(LoadSceneFile(form, SceneFileKind::Tumbra, square));
  EXPECT_FALSE(LoadSceneFile(form, SceneFileKind::Tumbra, damaged));
  EXPECT_FALSE(LoadSceneFile(form, SceneFileKind::None, square));
  const std::vector<std::pair<std::string, int>> expected = {{square, 1}, {named, 1}, {square, 1}};
  EXPECT_EQ(controls.OpenedFiles, expected);
}

TEST(FileNames, MessagesNameAFileByItsLastPart) {
  const std::pair<const char*, const char*> cases[] = {
      {"/home/me/models/bunny.tmb", "bunny.tmb"},
      {"bunny.tmb", "bunny.tmb"},
      {"models/bunny.tmb", "bunny.tmb"},
      {"/", "/"},
      {"odd/", "odd/"},
      {"", ""},
  };
  for (const auto& [path, shown] : cases) EXPECT_EQ(ShownFileName(path), shown) << path;
}

// Open reads with the filter's reader whatever the name says, and enables Save As when the
// reader returns.
TEST_F(DropTest, OpenReadsWithTheChosenFiltersReaderWhateverTheName) {
  controls.NextOpen = HeadlessControls::OpenAnswer{dir.Write("square.ksl", kSquare), 1};
  form.Open1Click();
  EXPECT_TRUE(controls.Messages.empty());
  EXPECT_EQ(form.PointCount, 5);
  EXPECT_TRUE(controls.IsEnabled(Command::SaveAs));

  FormFixture other;
  other.controls.NextOpen = HeadlessControls::OpenAnswer{dir.Write("square.tmb", kSquare), 2};
  EXPECT_THROW(other.form.Open1Click(), KestrelError);
  EXPECT_TRUE(other.controls.Messages.empty()) << "not read as a Tumbra file";
  EXPECT_FALSE(other.controls.IsEnabled(Command::SaveAs));
}

TEST_F(DropTest, ATumbraFileOpensAsOpenWouldAndEnablesSaveAs) {
  const int frames = controls.FramesPresented;
  form.OpenDroppedFile(dir.Write("SQUARE.TMB", kSquare));
  EXPECT_TRUE(controls.Messages.empty());
  EXPECT_FALSE(form.NoModel);
  EXPECT_EQ(form.PointCount, 5);
  EXPECT_EQ(controls.Memo, std::vector<std::string>{" A square"});
  EXPECT_EQ(controls.FramesPresented, frames + 1);
  EXPECT_TRUE(controls.IsEnabled(Command::SaveAs));
  EXPECT_TRUE(controls.IsEnabled(Command::SaveImageAs));
  EXPECT_TRUE(controls.IsEnabled(Command::Center));
}

TEST_F(DropTest, AReaderThatReportsItsOwnFailureStillEnablesSaveAs) {
  form.OpenDroppedFile(dir.Write("damaged.tmb", "1 2 three 4\n"));
  EXPECT_EQ(controls.Messages, std::vector<std::string>{"Error reading text file"});
  EXPECT_TRUE(controls.IsEnabled(Command::SaveAs));
}

// The scene reader reads a text file named .ksl, and fails: the failure ends the drop before Save
// As, as it ends Open. (Holds for the scene reader and for its stand-in alike.)
TEST_F(DropTest, AKestrelFileGoesToTheSceneReaderWhoseFailureEndsTheDrop) {
  const std::string path = dir.Write("square.ksl", kSquare);
  EXPECT_THROW(form.OpenDroppedFile(path), KestrelError);
  EXPECT_FALSE(controls.IsEnabled(Command::SaveAs));
  EXPECT_TRUE(controls.Messages.empty()) << "not read as a Tumbra file";
  EXPECT_NE(form.PointCount, 5);
}

TEST_F(DropTest, AnyOtherNameOpensNothingAndSaysNothing) {
  const int frames = controls.FramesPresented;
  for (const char* name : {"square.txt", "square.tmb.bak", "square"}) {
    form.OpenDroppedFile(dir.Write(name, kSquare));
  }
  EXPECT_TRUE(controls.Messages.empty());
  EXPECT_TRUE(form.NoModel);
  EXPECT_EQ(form.PointCount, 0);
  EXPECT_EQ(controls.FramesPresented, frames);
  EXPECT_FALSE(controls.IsEnabled(Command::SaveAs));
  EXPECT_FALSE(controls.IsEnabled(Command::Center));
}
