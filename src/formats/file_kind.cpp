// The file-name and filter rules that pick a reader.
#include "formats/file_kind.h"

std::string LowerExtension(const std::string& path) {
  // The extension starts at the last dot, unless a path separator or drive colon comes after it.
  const size_t last = path.find_last_of(".\\:/");
  std::string extension;
  if (last != std::string::npos && path[last] == '.') extension = path.substr(last);
  for (char& c : extension) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return extension;
}

SceneFileKind SceneFileKindOf(const std::string& path) {
  const std::string extension = LowerExtension(path);
  for (const SceneFileType& type : kSceneFileTypes) {
    if (extension == type.extension) return type.kind;
  }
  return SceneFileKind::None;
}

int FilterIndexOfKind(SceneFileKind kind) {
  for (const SceneFileType& type : kSceneFileTypes) {
    if (kind == type.kind) return type.filterIndex;
  }
  return 0;
}

SceneFileKind SceneFileKindOfFilter(int filterIndex) {
  for (const SceneFileType& type : kSceneFileTypes) {
    if (filterIndex == type.filterIndex) return type.kind;
  }
  return SceneFileKind::Kestrel;
}
