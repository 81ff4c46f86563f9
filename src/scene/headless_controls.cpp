// Controls without a window.
#include "scene/headless_controls.h"

#include "scene/scene_model.h"

void HeadlessControls::ShowMessage(const std::string& text, const std::string& detail) {
  Messages.push_back(text);
  MessageDetails.push_back(detail);
  if (OnMessage) OnMessage(text, detail);
}

void HeadlessControls::SetCheckBoxChecked(int number, bool checked) {
  const int i = Index(number);
  if (Checks[i] == checked) return;
  Checks[i] = checked;
  if (form_ != nullptr) form_->CheckBoxClick(i);
}

void HeadlessControls::SetCommandEnabled(Command command, bool enabled) {
  Enabled[static_cast<int>(command)] = enabled;
}

void HeadlessControls::PresentFrame(const QImage&, int, int) {
  ++FramesPresented;
}

bool HeadlessControls::RunOpenDialog(std::string& path, int& filterIndex) {
  if (!NextOpen) return false;
  path = NextOpen->path;
  filterIndex = NextOpen->filterIndex;
  NextOpen.reset();
  return true;
}

bool HeadlessControls::RunSaveDialog(SaveDialogKind kind, std::string& path, int& filterIndex) {
  LastSaveKind = kind;
  if (!NextSave) return false;
  path = *NextSave;
  filterIndex = NextSaveFilter;
  NextSave.reset();
  return true;
}
