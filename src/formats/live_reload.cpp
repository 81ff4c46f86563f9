// Reload keeping the view.
#include "formats/live_reload.h"

#include <cmath>
#include <limits>

#include "formats/file_commands.h"
#include "scene/scene_model.h"

namespace {

struct SavedView {
  Vec3 viewAxis, upAxis, rightAxis;
  double panX, panY, scale, initialScale;

  explicit SavedView(const TForm1& f)
      : viewAxis(f.ViewAxis),
        upAxis(f.UpAxis),
        rightAxis(f.RightAxis),
        panX(f.PanX),
        panY(f.PanY),
        scale(f.Scale),
        initialScale(f.InitialScale) {}

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
  return ReloadKeepingView(form, SceneFileKindOf(path), path);
}

bool ReloadKeepingView(TForm1& form, SceneFileKind kind, const std::string& path) {
  if (kind == SceneFileKind::None) return false;
  const bool hadModel = !form.NoModel;
  const SavedView saved(form);
  // Both readers end with the fit, and the fit alone sets InitialScale: a NaN still there after
  // the reader returns says that it stopped before (or that the fit itself failed).
  form.InitialScale = std::numeric_limits<double>::quiet_NaN();
  const auto settle = [&] {
    const bool fitted = !std::isnan(form.InitialScale);
    if (!fitted) form.InitialScale = saved.initialScale;
    if (hadModel) saved.RestoreView(form);
    return fitted;
  };
  try {
    LoadSceneFile(form, kind, path);
  } catch (...) {
    settle();
    throw;
  }
  const bool fitted = settle();
  if (fitted && hadModel) form.Render();
  return fitted;
}
