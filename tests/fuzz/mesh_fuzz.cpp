// The mesh import on arbitrary bytes as an OBJ, a PLY or an STL file (the first byte picks
// which), through the library and, for PLY, our own vertex-list reader, as opening the file
// reads it: an accepted scene is whole and draws; a refused one says whose file it is.
#include "formats/file_kind.h"
#include "import_fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  static const char* const kExtensions[] = {".obj", ".ply", ".stl"};
  const int kind = data[0] % 3;
  const std::string path = WriteFuzzFile(data + 1, size - 1, kExtensions[kind]);
  // Read as opening the file reads it: by its extension's row.
  const SceneFileType* type = SceneFileTypeOf(path);
  SceneData scene;
  try {
    scene = type->read(path, type->name);
  } catch (const KestrelError& e) {
    CheckRefusal(e.what(), path);
    return 0;
  }
  CheckImportedScene(scene);
  ShowImportedScene(std::move(scene));
  return 0;
}
