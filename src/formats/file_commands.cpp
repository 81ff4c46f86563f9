// Opening files: the command-line argument at start-up, the File menu's Open and a file dropped
// on the window, and the one step every reader ends with, handing over the scene it read.
#include "formats/file_commands.h"

#include <utility>

#include "formats/native_file.h"
#include "formats/tumbra_file.h"
#include "scene/scene_data.h"
#include "scene/scene_model.h"

void OpenSceneFile(TForm1& form, const SceneFileType& type, const std::string& path) {
  if (LoadSceneFile(form, type, path) != LoadResult::Refused) {
    form.Controls().SetCommandEnabled(Command::SaveAs, true);
  }
}

LoadResult LoadSceneFile(TForm1& form, const SceneFileType& type, const std::string& path) {
  LoadResult result = LoadResult::Refused;
  switch (type.kind) {
    case SceneFileKind::Tumbra:
      result = LoadTumbraScene(form, path);
      break;
    case SceneFileKind::Kestrel:
      result = LoadKestrelScene(form, path);
      break;
    case SceneFileKind::Imported: {
      // Read whole off to the side: a refused file throws before anything changes.
      SceneData scene = type.read(path, type.name);
      result = form.AdoptScene(std::move(scene)) ? LoadResult::Shown : LoadResult::Unfitted;
      break;
    }
    case SceneFileKind::None:
      break;
  }
  if (result != LoadResult::Refused) form.Controls().SceneFileOpened(path, OpenFilterOf(type));
  return result;
}

LoadResult LoadSceneFile(TForm1& form, const std::string& path) {
  const SceneFileType* type = SceneFileTypeOf(path);
  return type != nullptr ? LoadSceneFile(form, *type, path) : LoadResult::Refused;
}

// A name nothing reads still says so: the window opens, and one message lists what it opens.
void TForm1::FormShow(const std::string& firstArgument) {
  if (firstArgument.empty()) return;
  const SceneFileType* type = SceneFileTypeOf(firstArgument);
  if (type == nullptr) {
    controls_.ShowMessage(NotOpenedMessage(firstArgument));
    return;
  }
  LoadSceneFile(*this, *type, firstArgument);
}

// The first two filters pick the reader whatever the file's extension says; the others go by
// the extension, and a name none reads is said to be so.
void TForm1::Open1Click() {
  std::string path;
  int filterIndex = 1;
  if (!controls_.RunOpenDialog(path, filterIndex)) return;
  const SceneFileType* type = SceneFileTypeForOpen(filterIndex, path);
  if (type == nullptr) {
    controls_.ShowMessage(NotOpenedMessage(path));
    return;
  }
  OpenSceneFile(*this, *type, path);
}

// A drop is an Open whose filter is the one of the file's extension; the window only hands over
// names that have one, and anything else is dropped here too, without a word.
void TForm1::OpenDroppedFile(const std::string& fileName) {
  if (const SceneFileType* type = SceneFileTypeOf(fileName)) OpenSceneFile(*this, *type, fileName);
}

bool TForm1::AdoptScene(SceneData&& scene) {
  NewView();
  AntiAlias = scene.AntiAlias;
  SetCheckBox(kAliasCheckBox, AntiAlias);
  Fade = scene.Fade;
  SetCheckBox(kFadeCheckBox, Fade);
  FlipZ = scene.FlipZ;
  SetCheckBox(kFlipZCheckBox, FlipZ);
  WhiteBack = scene.WhiteBack;
  SetCheckBox(kWhiteBackCheckBox, WhiteBack);
  FreeSpin = scene.FreeSpin;
  SetCheckBox(kFreeSpinCheckBox, FreeSpin);
  // Scene files of versions 0 and 1 have no fill-circles byte: the option keeps its value,
  // shown again.
  if (scene.HasFillCircles) FillCircles = scene.FillCircles;
  SetCheckBox(kCircleFillCheckBox, FillCircles);

  Centre = scene.Centre;
  CentreGiven = scene.CentreGiven;

  // The memo shows the lines; CommentLines keeps them as read, for the next save.
  Controls().MemoClear();
  CommentLines = std::move(scene.CommentLines);
  for (const std::string& line : CommentLines) Controls().MemoAdd(line);

  Points = std::move(scene.Points);
  PointCount = static_cast<int32_t>(Points.size());
  Segments = std::move(scene.Segments);
  SegmentCount = static_cast<int32_t>(Segments.size());
  CircleRadius = scene.CircleRadius;

  const bool fitted = ComputeScale();
  Render();
  return fitted;
}
