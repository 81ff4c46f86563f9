// Reload keeping the view.
#include "formats/live_reload.h"

#include "formats/file_commands.h"
#include "scene/scene_model.h"

namespace {

struct SavedView {
  Vec3 viewAxis, upAxis, rightAxis;
  double panX, panY, scale;

  explicit SavedView(const TForm1& f)
      : viewAxis(f.ViewAxis),
        upAxis(f.UpAxis),
        rightAxis(f.RightAxis),
        panX(f.PanX),
        panY(f.PanY),
        scale(f.Scale) {}

  void RestoreView(TForm1& f) const {
    f.ViewAxis = viewAxis;
    f.UpAxis = upAxis;
    f.RightAxis = rightAxis;
    f.PanX = panX;
    f.PanY = panY;
    f.Scale = scale;
  }
};

}  // namespace

bool ReloadKeepingView(TForm1& form, const std::string& path) {
  const SceneFileType* type = SceneFileTypeOf(path);
  return type != nullptr && ReloadKeepingView(form, *type, path);
}

bool ReloadKeepingView(TForm1& form, const SceneFileType& type, const std::string& path) {
  const bool hadModel = !form.NoModel;
  const SavedView saved(form);
  const LoadResult loaded = LoadSceneFile(form, type, path);
  if (loaded == LoadResult::Refused || !hadModel) return loaded == LoadResult::Shown;
  // A failed fit kept the old InitialScale; a new one stays for Center.
  saved.RestoreView(form);
  if (loaded == LoadResult::Unfitted) return false;
  form.Render();
  return true;
}
