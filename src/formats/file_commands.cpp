// Opening files: the command-line argument at start-up, the File menu's Open and a file dropped
// on the window, and the one step every reader ends with, handing over the scene it read.
#include <utility>

#include "formats/file_kind.h"
#include "scene/scene_data.h"
#include "scene/scene_model.h"

namespace {

// What Open does once it has a name: the selected filter picks the reader, whatever the file's
// extension says, and Save As is enabled when the reader returns. A failure that escapes the
// reader ends the command before that.
void LoadWithFilter(TForm1& form, const std::string& path, int filterIndex) {
  if (filterIndex == 1) {
    form.LoadTmbFile(path);
  } else {
    form.LoadKslFile(path);
  }
  form.Controls().SetCommandEnabled(Command::SaveAs, true);
}

}  // namespace

void TForm1::FormShow(const std::string& firstArgument) {
  switch (SceneFileKindOf(firstArgument)) {
    case SceneFileKind::Tumbra:
      LoadTmbFile(firstArgument);
      break;
    case SceneFileKind::Kestrel:
      LoadKslFile(firstArgument);
      break;
    case SceneFileKind::None:
      break;
  }
}

void TForm1::Open1Click() {
  std::string path;
  int filterIndex = 1;
  if (!controls_.RunOpenDialog(path, filterIndex)) return;
  LoadWithFilter(*this, path, filterIndex);
}

// A drop is an Open whose filter is the one of the file's extension; the window only hands over
// names that have one, and anything else is dropped here too, without a word.
void TForm1::OpenDroppedFile(const std::string& fileName) {
  switch (SceneFileKindOf(fileName)) {
    case SceneFileKind::Tumbra:
      LoadWithFilter(*this, fileName, 1);
      break;
    case SceneFileKind::Kestrel:
      LoadWithFilter(*this, fileName, 2);
      break;
    case SceneFileKind::None:
      break;
  }
}

void TForm1::AdoptScene(SceneData&& scene) {
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

  ComputeScale();
  Render();
}
