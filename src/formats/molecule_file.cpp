// From a molecule file's name to its scene.
#include "formats/molecule_file.h"

#include <algorithm>
#include <new>
#include <string_view>

#include "formats/file_bytes.h"
#include "formats/file_kind.h"
#include "formats/molecule_babel.h"
#include "formats/molecule_mmcif.h"
#include "formats/molecule_scene.h"
#include "scene/error.h"

namespace {

MoleculeKind KindOfExtension(const std::string& extension) {
  if (extension == ".sdf" || extension == ".sd") return MoleculeKind::Sdf;
  if (extension == ".mol") return MoleculeKind::Mol;
  if (extension == ".mol2") return MoleculeKind::Mol2;
  if (extension == ".cml") return MoleculeKind::Cml;
  if (extension == ".cif") return MoleculeKind::Cif;
  if (extension == ".mmcif") return MoleculeKind::Mmcif;
  if (extension == ".xyz") return MoleculeKind::Xyz;
  if (extension == ".pdb" || extension == ".ent") return MoleculeKind::Pdb;
  return MoleculeKind::None;
}

bool Blank(char c) {
  return c == ' ' || c == '\t';
}

Molecule ReadKind(MoleculeKind kind, std::string_view bytes) {
  if (bytes.empty()) throw KestrelError("it is empty");
  const char* name = MoleculeKindName(kind);
  switch (kind) {
    case MoleculeKind::Sdf:
    case MoleculeKind::Mol:
      return ReadBabelMolecule(bytes, BabelFormat::Sdf, name);
    case MoleculeKind::Mol2:
      return ReadBabelMolecule(bytes, BabelFormat::Mol2, name);
    case MoleculeKind::Cml:
      return ReadBabelMolecule(bytes, BabelFormat::Cml, name);
    case MoleculeKind::Cif:
      return ReadBabelMolecule(bytes, BabelFormat::Cif, name);
    case MoleculeKind::Xyz:
      return ReadBabelMolecule(bytes, BabelFormat::Xyz, name);
    case MoleculeKind::Pdb:
      return ReadBabelMolecule(bytes, BabelFormat::Pdb, name);
    case MoleculeKind::Mmcif:
      return ReadMmcifMolecule(bytes);
    case MoleculeKind::None:
      break;
  }
  return {};
}

}  // namespace

MoleculeKind MoleculeKindOf(const std::string& path, std::string_view bytes) {
  const MoleculeKind kind = KindOfExtension(LowerExtension(path));
  if (kind == MoleculeKind::Cif && CifHoldsMacromolecule(bytes)) return MoleculeKind::Mmcif;
  if (kind == MoleculeKind::Xyz && !XyzHoldsMolecule(bytes)) return MoleculeKind::None;
  return kind;
}

bool MoleculeExtension(const std::string& path) {
  return KindOfExtension(LowerExtension(path)) != MoleculeKind::None;
}

bool XyzHoldsMolecule(std::string_view bytes) {
  const std::string_view line = bytes.substr(0, bytes.find_first_of("\r\n"));
  size_t begin = 0;
  size_t end = line.size();
  while (begin < end && Blank(line[begin])) ++begin;
  while (end > begin && Blank(line[end - 1])) --end;
  return begin < end && std::all_of(line.begin() + static_cast<std::ptrdiff_t>(begin),
                                    line.begin() + static_cast<std::ptrdiff_t>(end),
                                    [](char c) { return c >= '0' && c <= '9'; });
}

const char* MoleculeKindName(MoleculeKind kind) {
  switch (kind) {
    case MoleculeKind::Sdf:
      return "SDF";
    case MoleculeKind::Mol:
      return "MOL";
    case MoleculeKind::Mol2:
      return "MOL2";
    case MoleculeKind::Cml:
      return "CML";
    case MoleculeKind::Cif:
      return "CIF";
    case MoleculeKind::Mmcif:
      return "mmCIF";
    case MoleculeKind::Xyz:
      return "XYZ";
    case MoleculeKind::Pdb:
      return "PDB";
    case MoleculeKind::None:
      break;
  }
  return "molecule";
}

SceneData ReadMolecule(const std::string& fileName) {
  const FileContents file = ReadFileBytes(fileName, kMaxMoleculeFileBytes);
  const std::string_view bytes = file.Text();
  const MoleculeKind kind = MoleculeKindOf(fileName, bytes);
  if (kind == MoleculeKind::None) throw KestrelError("\"" + fileName + "\" is not a molecule file");
  try {
    return MoleculeScene(ReadKind(kind, bytes), fileName);
  } catch (const KestrelError& e) {
    throw KestrelError(std::string("The ") + MoleculeKindName(kind) + " file \"" + fileName +
                       "\" is damaged: " + e.what());
  } catch (const std::bad_alloc&) {
    throw KestrelError("Not enough memory to open \"" + fileName + "\"");
  } catch (const std::exception& e) {
    // Whatever else a library throws is its reason for refusing the file.
    throw KestrelError(std::string("The ") + MoleculeKindName(kind) + " file \"" + fileName +
                       "\" is damaged: " + e.what());
  }
}
