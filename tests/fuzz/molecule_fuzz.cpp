// The molecule reader on arbitrary bytes: the first byte picks the format (PDB, SDF, mmCIF,
// XYZ), the rest is the file. An accepted structure must give a model whose every segment names
// existing points and that fits and draws; a refused one only a KestrelError. Nothing may reach
// the standard streams (checked by the reader's own test; here only crashes and leaks count).
#include <cstdlib>

#include "formats/molecule_file.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  static const char* const kExtensions[] = {".pdb", ".sdf", ".cif", ".xyz"};
  const char* extension = kExtensions[data[0] % 4];
  const std::string path = WriteFuzzFile(data + 1, size - 1, extension);
  SceneData scene;
  try {
    scene = ReadMolecule(path);
  } catch (const KestrelError&) {
    return 0;
  }
  if (scene.Points.empty() || !scene.FillCircles) std::abort();
  FuzzForm f(48, 40);
  f.form.AdoptScene(std::move(scene));
  CheckModelInvariants(f.form);
  f.form.RotateCam(1, 0.5);
  f.form.Render();
  return 0;
}
