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
      {"PART.STL", ".stl", SceneFileKind::Imported},
      {"scan.Xyz", ".xyz", SceneFileKind::Imported},
      {"model.gltf", ".gltf", SceneFileKind::Imported},
      {"model.glb.bak", ".bak", SceneFileKind::None},
      // Only ASCII letters change case: a byte above 127 is no letter.
      {"model.tm\xc2", ".tm\xc2", SceneFileKind::None},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(LowerExtension(c.path), c.extension) << c.path;
    EXPECT_EQ(SceneFileKindOf(c.path), c.kind) << c.path;
  }
}

TEST(FileKind, TheOpenDialogsFilterPicksTheReader) {
  const struct {
    int filter;
    const char* path;
    const char* extension;  // of the row it reads with; null for none
  } cases[] = {
      // The first two whatever the name.
      {1, "square.ksl", ".tmb"},
      {2, "square.tmb", ".ksl"},
      {2, "part.stl", ".ksl"},
      // No such filter: read as a scene file.
      {0, "square.tmb", ".ksl"},
      {7, "part.stl", ".ksl"},
      // Meshes, point clouds, molecules and all models go by the name, whatever the filter lists.
      {3, "part.STL", ".stl"},
      {3, "scan.xyz", ".xyz"},
      {4, "scan.pts", ".pts"},
      {5, "scan.xyz", ".xyz"},
      {6, "square.tmb", ".tmb"},
      {6, "scene.ksl", ".ksl"},
      {6, "notes.doc", nullptr},
      {3, "no-extension", nullptr},
  };
  for (const auto& c : cases) {
    const SceneFileType* type = SceneFileTypeForOpen(c.filter, c.path);
    if (c.extension == nullptr) {
      EXPECT_EQ(type, nullptr) << c.filter << " " << c.path;
    } else {
      ASSERT_NE(type, nullptr) << c.filter << " " << c.path;
      EXPECT_STREQ(type->extension, c.extension) << c.filter << " " << c.path;
    }
  }
}

TEST(FileKind, TheTableGivesTheFiltersAndTheListOfWhatOpens) {
  EXPECT_EQ(OpenFilters(),
            (std::vector<std::string>{
                "Tumbra File (*.tmb)", "Kestrel File (*.ksl)",
                "Meshes (*.obj *.ply *.stl *.off *.gltf *.glb *.dae)",
                "Point clouds (*.ply *.xyz *.txt *.csv *.pts)",
                "Molecules (*.xyz *.pdb *.ent *.cif *.mmcif *.sdf *.mol *.mol2 *.cml)",
                "All models (*.tmb *.ksl *.obj *.ply *.stl *.off *.gltf *.glb *.dae *.xyz *.txt "
                "*.csv *.pts *.pdb *.ent *.cif *.mmcif *.sdf *.mol *.mol2 *.cml)"}));
  EXPECT_EQ(NotOpenedMessage("part.step"),
            "Kestrel cannot open \"part.step\": it opens .tmb, .ksl, .obj, .ply, .stl, .off, "
            ".gltf, .glb, .dae, .xyz, .txt, .csv, .pts, .pdb, .ent, .cif, .mmcif, .sdf, .mol, "
            ".mol2 and .cml files");
  // Every imported row has its reader and its name; the two own kinds have neither reader.
  for (const SceneFileType& type : SceneFileTypes()) {
    EXPECT_EQ(type.read != nullptr, type.kind == SceneFileKind::Imported) << type.extension;
    EXPECT_EQ(SceneFileTypeOf(std::string("x") + type.extension)->name, type.name);
  }
  // And back: the filter that reads each row again, by the same name.
  for (const SceneFileType& type : SceneFileTypes()) {
    const std::string name = std::string("model") + type.extension;
    const SceneFileType* again = SceneFileTypeForOpen(OpenFilterOf(type), name);
    ASSERT_NE(again, nullptr) << name;
    EXPECT_EQ(again->kind, type.kind) << name;
    EXPECT_STREQ(again->extension, type.extension) << name;
  }
}

// Every way in tells the controls of a file read in full, with the filter of its reader, and of
// nothing else: not a refused file, not a name no reader takes, not a failure that escapes.
TEST_F(DropTest, EveryFileReadInFullIsToldOnceWithItsReadersFilter) {
  const std::string square = dir.Write("square.tmb", kSquare);
  const std::string named = dir.Write("named.ksl", kSquare);
  const std::string damaged = dir.Write("damaged.tmb", "1 2 three 4\n");
  form.FormShow(square);
  form.OpenDroppedFile(damaged);
  form.OpenDroppedFile(dir.Write("square.doc", kSquare));
  controls.NextOpen = HeadlessControls::OpenAnswer{named, 1};
  form.Open1Click();
  EXPECT_THROW(form.OpenDroppedFile(named), KestrelError);
  EXPECT_EQ(LoadSceneFile(form, square), LoadResult::Shown);
  EXPECT_EQ(LoadSceneFile(form, damaged), LoadResult::Refused);
  EXPECT_EQ(LoadSceneFile(form, dir.Write("square.step", kSquare)), LoadResult::Refused);
  // A point cloud is read again by its name: "All models", the last filter.
  const std::string cloud = dir.Write("cloud.xyz", "0 0 0\n1 2 3\n");
  form.OpenDroppedFile(cloud);
  const int allModels = static_cast<int>(OpenFilters().size());
  const std::vector<std::pair<std::string, int>> expected = {
      {square, 1}, {named, 1}, {square, 1}, {cloud, allModels}};
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

// A refused file changes nothing, Save As included: before any model there is nothing to save.
// A model the fit refuses was read, and shown: Save As saves it.
TEST_F(DropTest, SaveAsIsEnabledOnceAModelWasReadNotByARefusal) {
  const std::string damaged = dir.Write("damaged.tmb", "1 2 three 4\n");
  form.OpenDroppedFile(damaged);
  EXPECT_EQ(controls.Messages, std::vector<std::string>{"Error reading text file"});
  EXPECT_FALSE(controls.IsEnabled(Command::SaveAs));
  controls.NextOpen = HeadlessControls::OpenAnswer{damaged, 1};
  form.Open1Click();
  EXPECT_FALSE(controls.IsEnabled(Command::SaveAs));

  controls.Messages.clear();
  form.OpenDroppedFile(dir.Write("dot.tmb", "1 2 3 0\n"));
  EXPECT_EQ(controls.Messages, std::vector<std::string>{"Error centering and scaling coordinates"});
  EXPECT_EQ(form.PointCount, 1);
  EXPECT_TRUE(controls.IsEnabled(Command::SaveAs));
}

// The window's case: a model the fit refuses is shown with the fit's message; every resize after
// it then fails its refit and says so once, having sized and cleared the frame, and nothing else
// changes. (The window shows each of these boxes once the resize has returned.)
TEST_F(DropTest, AfterAModelTheFitRefusesEveryResizeSaysSoOnce) {
  const std::pair<const char*, int32_t> cases[] = {{"1 2 3 0\n", 1}, {"1 2 3 0\n1 2 3 1\n", 2}};
  for (const auto& [text, points] : cases) {
    FormFixture f;
    f.form.FormResize(410 + FrameWidthAllowance, 300 + FrameHeightAllowance);
    f.form.FormShow(dir.Write("one place.tmb", text));
    EXPECT_EQ(f.controls.Messages,
              std::vector<std::string>{"Error centering and scaling coordinates"});
    const double scale = f.form.Scale;
    const int frames = f.controls.FramesPresented;
    for (int i = 1; i <= 3; ++i) {
      const int width = 500 + 40 * i;
      f.form.FormResize(width, 450);
      EXPECT_EQ(f.controls.Messages.size(), 1u + i) << text;
      EXPECT_EQ(f.controls.Messages.back(), "Error sizing form");
      EXPECT_EQ(f.form.FrameBitmap.width(), width - FrameWidthAllowance);
      EXPECT_EQ(f.form.FrameBitmap.pixel(0, 0), 0xFF000000u);
    }
    EXPECT_EQ(f.form.Scale, scale);
    EXPECT_EQ(f.form.InitialScale, scale);
    EXPECT_EQ(f.controls.FramesPresented, frames);
    EXPECT_FALSE(f.form.NoModel);
    EXPECT_EQ(f.form.PointCount, points);
  }
}

// What became of a load, for every way a file is opened to act on.
TEST_F(DropTest, TheLoadSaysWhetherTheModelWasRefusedUnfittedOrShown) {
  const struct {
    const char* name;
    const char* text;
    LoadResult result;
  } cases[] = {
      {"square.tmb", kSquare.c_str(), LoadResult::Shown},
      {"one point.tmb", "1 2 3 0\n", LoadResult::Unfitted},
      {"two equal points.tmb", "1 2 3 0\n1 2 3 1\n", LoadResult::Unfitted},
      {"bad.tmb", "1 2 3\n", LoadResult::Refused},
      {"comments.tmb", "# a\n", LoadResult::Refused},
  };
  for (const auto& c : cases) {
    const std::string path = dir.Write(c.name, c.text);
    EXPECT_EQ(LoadSceneFile(form, path), c.result) << c.name;
  }
  EXPECT_EQ(LoadSceneFile(form, dir.Write("square.abc", kSquare)), LoadResult::Refused);
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
  for (const char* name : {"square.doc", "square.tmb.bak", "square"}) {
    form.OpenDroppedFile(dir.Write(name, kSquare));
  }
  EXPECT_TRUE(controls.Messages.empty());
  EXPECT_TRUE(form.NoModel);
  EXPECT_EQ(form.PointCount, 0);
  EXPECT_EQ(controls.FramesPresented, frames);
  EXPECT_FALSE(controls.IsEnabled(Command::SaveAs));
  EXPECT_FALSE(controls.IsEnabled(Command::Center));
}
