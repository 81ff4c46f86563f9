// Opening files: the command-line argument at start-up and the File menu's Open.
#include "scene/scene_model.h"

void TForm1::FormShow(const std::string& firstArgument) {
  if (firstArgument.empty()) return;
  // The extension starts at the last dot, unless a path separator or drive colon comes after it.
  const size_t last = firstArgument.find_last_of(".\\:/");
  std::string extension;
  if (last != std::string::npos && firstArgument[last] == '.') extension = firstArgument.substr(last);
  for (char& c : extension) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  if (extension == ".tmb") {
    LoadTmbFile(firstArgument);
  } else if (extension == ".ksl") {
    LoadKslFile(firstArgument);
  }
}

void TForm1::Open1Click() {
  std::string path;
  int filterIndex = 1;
  if (!controls_.RunOpenDialog(path, filterIndex)) return;
  // The selected filter picks the reader, whatever the file's extension says.
  if (filterIndex == 1) {
    LoadTmbFile(path);
  } else {
    LoadKslFile(path);
  }
  controls_.SetCommandEnabled(Command::SaveAs, true);
}
