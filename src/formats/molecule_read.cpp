// From a molecule file's name to its scene, through the chemistry libraries. This runs in the
// reader program kestrel-molecule (src/cli/molecule_reader.cpp), never in the window or in
// kestrel-render, which take its scene through a pipe (formats/molecule_process.h).
#include "formats/molecule_file.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string_view>

#include "formats/file_bytes.h"
#include "formats/file_name.h"
#include "formats/import_common.h"
#include "formats/memory_budget.h"
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

uint64_t LineCount(std::string_view bytes) {
  uint64_t lines = 1;
  for (const char *at = bytes.data(), *end = at + bytes.size();
       (at = static_cast<const char*>(std::memchr(at, '\n', static_cast<size_t>(end - at)))) !=
       nullptr;
       ++at) {
    ++lines;
  }
  return lines;
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

uint64_t MoleculeBytes(uint64_t fileBytes, uint64_t lines) {
  // Measured (bench/molecule_bench open): a PDB file of 100,000 atoms raised the peak by about
  // 720 bytes an atom on its way to the first frame, the model and the frame included; this
  // estimate comes to about 1,000 bytes an atom.
  constexpr uint64_t kLibraryPerAtom = 384;
  constexpr uint64_t kMoleculePerAtom = sizeof(MoleculeAtom) + 2 * sizeof(std::array<int32_t, 2>);
  // An atom and a bond for each atom: a point and a circle, a midpoint and two half bonds; and
  // the file's size again for the text the libraries copy out of it (titles, values, lines).
  return fileBytes + lines * (kLibraryPerAtom + kMoleculePerAtom) +
         SceneBytes(2 * lines, 3 * lines);
}

SceneData ReadMolecule(const std::string& fileName) {
  // A file whose bytes cannot be had is refused by the reader with what it needed.
  const FileContents file = ReadFileBytes(fileName, kMaxMoleculeFileBytes);
  const std::string_view bytes = file.Text();
  const MoleculeKind kind = MoleculeKindOf(fileName, bytes);
  if (kind == MoleculeKind::None) throw KestrelError("\"" + fileName + "\" is not a molecule file");
  const uint64_t more = MoleculeBytes(bytes.size(), LineCount(bytes));
  RequireMemory(fileName, more, more + bytes.size());
  try {
    return MoleculeScene(ReadKind(kind, bytes), fileName);
  } catch (const NotEnoughMemory&) {
    throw;
  } catch (const KestrelError& e) {
    throw KestrelError(std::string("The ") + MoleculeKindName(kind) + " file \"" + fileName +
                       "\" is damaged: " + e.what());
  } catch (const std::bad_alloc&) {
    // The estimate fell short of what the allocator could give after all.
    throw NotEnoughMemory(fileName, more + bytes.size());
  } catch (const std::exception& e) {
    // Whatever else a library throws is its reason for refusing the file.
    throw KestrelError(std::string("The ") + MoleculeKindName(kind) + " file \"" + fileName +
                       "\" is damaged: " + e.what());
  }
}

