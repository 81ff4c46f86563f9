// The table of file kinds, and the file-name and filter rules that pick a reader from it.
#include "formats/file_kind.h"

#include <algorithm>

#include "formats/mesh_import.h"
#include "formats/molecule_file.h"
#include "formats/molecule_process.h"
#include "formats/off_file.h"
#include "formats/ply_file.h"
#include "formats/point_cloud.h"
#include "scene/scene_data.h"

namespace {

// The readers of the table's imported formats. Formats with materials of their own take their
// colours; for the others the library makes one up, which is no colour of the file's.
SceneData ReadMeshWithMaterials(const std::string& path, std::string_view format) {
  return ReadMeshFile(path, MeshFormat{format, true});
}

SceneData ReadMeshWithoutMaterials(const std::string& path, std::string_view format) {
  return ReadMeshFile(path, MeshFormat{format, false});
}

SceneData ReadPly(const std::string& path, std::string_view format) {
  return ReadPlyFile(path, MeshFormat{format, false});
}

SceneData ReadOff(const std::string& path, std::string_view format) {
  return ReadOffFile(path, MeshFormat{format, false});
}

SceneData ReadCloud(const std::string& path, std::string_view format) {
  return ReadPointCloudFile(path, PointCloudFormat{format, false});
}

SceneData ReadPtsCloud(const std::string& path, std::string_view format) {
  return ReadPointCloudFile(path, PointCloudFormat{format, true});
}

// A molecule file names its own kind on reading (a .cif is mmCIF when it holds the
// macromolecular atom table, a small-molecule CIF otherwise), and so its own format.
SceneData ReadMoleculeOfKind(const std::string& path, std::string_view) {
  return ReadMoleculeInReader(path);
}

// XYZ is both a point cloud's and a chemist's extension: a first line holding only an atom count
// makes the file a molecule.
SceneData ReadXyz(const std::string& path, std::string_view format) {
  return XyzFileHoldsMolecule(path) ? ReadMoleculeInReader(path) : ReadCloud(path, format);
}

constexpr SceneFileType kTypes[] = {
    {SceneFileKind::Tumbra, ".tmb", "Tumbra", kOpenTumbra, nullptr},
    {SceneFileKind::Kestrel, ".ksl", "Kestrel scene", kOpenKestrel, nullptr},
    {SceneFileKind::Imported, ".obj", "Wavefront OBJ", kOpenMeshes, ReadMeshWithMaterials},
    // A scan is as often points alone as a mesh: both filters list it.
    {SceneFileKind::Imported, ".ply", "PLY", kOpenMeshes | kOpenPointClouds, ReadPly},
    {SceneFileKind::Imported, ".stl", "STL", kOpenMeshes, ReadMeshWithoutMaterials},
    {SceneFileKind::Imported, ".off", "OFF", kOpenMeshes, ReadOff},
    {SceneFileKind::Imported, ".gltf", "glTF", kOpenMeshes, ReadMeshWithMaterials},
    {SceneFileKind::Imported, ".glb", "glTF", kOpenMeshes, ReadMeshWithMaterials},
    {SceneFileKind::Imported, ".dae", "COLLADA", kOpenMeshes, ReadMeshWithMaterials},
    {SceneFileKind::Imported, ".xyz", "XYZ point cloud", kOpenPointClouds | kOpenMolecules,
     ReadXyz},
    {SceneFileKind::Imported, ".txt", "text point cloud", kOpenPointClouds, ReadCloud},
    {SceneFileKind::Imported, ".csv", "CSV point cloud", kOpenPointClouds, ReadCloud},
    {SceneFileKind::Imported, ".pts", "PTS point cloud", kOpenPointClouds, ReadPtsCloud},
    {SceneFileKind::Imported, ".pdb", "PDB", kOpenMolecules, ReadMoleculeOfKind},
    {SceneFileKind::Imported, ".ent", "PDB", kOpenMolecules, ReadMoleculeOfKind},
    {SceneFileKind::Imported, ".cif", "CIF", kOpenMolecules, ReadMoleculeOfKind},
    {SceneFileKind::Imported, ".mmcif", "mmCIF", kOpenMolecules, ReadMoleculeOfKind},
    {SceneFileKind::Imported, ".sdf", "SDF", kOpenMolecules, ReadMoleculeOfKind},
    {SceneFileKind::Imported, ".mol", "MOL", kOpenMolecules, ReadMoleculeOfKind},
    {SceneFileKind::Imported, ".mol2", "MOL2", kOpenMolecules, ReadMoleculeOfKind},
    {SceneFileKind::Imported, ".cml", "CML", kOpenMolecules, ReadMoleculeOfKind},
};

struct FilterLabel {
  const char* label;
  unsigned bit;  // 0: every extension
};

constexpr FilterLabel kFilters[] = {
    {"Tumbra File", kOpenTumbra},       {"Kestrel File", kOpenKestrel}, {"Meshes", kOpenMeshes},
    {"Point clouds", kOpenPointClouds}, {"Molecules", kOpenMolecules},  {"All models", 0}};

// The extensions of the filter's rows, in the table's order, each once.
std::vector<std::string> ExtensionsOf(unsigned bit) {
  std::vector<std::string> extensions;
  for (const SceneFileType& type : kTypes) {
    if (bit != 0 && (type.filters & bit) == 0) continue;
    if (std::find(extensions.begin(), extensions.end(), type.extension) == extensions.end()) {
      extensions.emplace_back(type.extension);
    }
  }
  return extensions;
}

const SceneFileType& RowOfKind(SceneFileKind kind) {
  return *std::find_if(std::begin(kTypes), std::end(kTypes),
                       [&](const SceneFileType& type) { return type.kind == kind; });
}

}  // namespace

std::span<const SceneFileType> SceneFileTypes() {
  return kTypes;
}

const SceneFileType* SceneFileTypeOf(const std::string& path) {
  const std::string extension = LowerExtension(path);
  for (const SceneFileType& type : kTypes) {
    if (extension == type.extension) return &type;
  }
  return nullptr;
}

SceneFileKind SceneFileKindOf(const std::string& path) {
  const SceneFileType* type = SceneFileTypeOf(path);
  return type == nullptr ? SceneFileKind::None : type->kind;
}

std::vector<std::string> OpenFilters() {
  std::vector<std::string> filters;
  for (const FilterLabel& f : kFilters) {
    std::string text = std::string(f.label) + " (";
    const std::vector<std::string> extensions = ExtensionsOf(f.bit);
    for (size_t k = 0; k < extensions.size(); ++k) {
      text += (k == 0 ? "*" : " *") + extensions[k];
    }
    filters.push_back(text + ")");
  }
  return filters;
}

const SceneFileType* SceneFileTypeForOpen(int filterIndex, const std::string& path) {
  if (filterIndex == 1) return &RowOfKind(SceneFileKind::Tumbra);
  const auto count = static_cast<int>(std::size(kFilters));
  if (filterIndex < 3 || filterIndex > count) return &RowOfKind(SceneFileKind::Kestrel);
  return SceneFileTypeOf(path);
}

std::string OpenedExtensions() {
  const std::vector<std::string> extensions = ExtensionsOf(0);
  std::string text;
  for (size_t k = 0; k < extensions.size(); ++k) {
    if (k != 0) text += k + 1 == extensions.size() ? " and " : ", ";
    text += extensions[k];
  }
  return text;
}

std::string NotOpenedMessage(const std::string& path) {
  return "Kestrel cannot open \"" + path + "\": it opens " + OpenedExtensions() + " files";
}

int OpenFilterOf(const SceneFileType& type) {
  if (type.kind == SceneFileKind::Tumbra) return 1;
  if (type.kind == SceneFileKind::Kestrel) return 2;
  return static_cast<int>(std::size(kFilters));
}
