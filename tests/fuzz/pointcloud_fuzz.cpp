// The text point-cloud reader on arbitrary bytes (the first byte's low bit picks the .pts
// layout): an accepted cloud is whole and draws; a refused one says whose file it is.
#include "formats/point_cloud.h"
#include "import_fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const PointCloudFormat format{"XYZ point cloud", (data[0] & 1) != 0};
  const std::string path = WriteFuzzFile(data + 1, size - 1, ".xyz");
  SceneData scene;
  try {
    scene = ReadPointCloudFile(path, format);
  } catch (const KestrelError& e) {
    CheckRefusal(e.what(), path);
    return 0;
  }
  CheckImportedScene(scene);
  // One dot a point, each on its own point.
  if (scene.Segments.size() != scene.Points.size()) std::abort();
  ShowImportedScene(std::move(scene));
  return 0;
}
