// A structure as the chemistry libraries hand it over: atoms with their element and place, the
// bonds, and what the memo tells about the file. Every molecule reader fills one; the scene is
// built from it in one place (molecule_scene).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "scene/records.h"

struct MoleculeAtom {
  // The atomic number; 0 where the file names no element anybody knows.
  int32_t Element;
  // Ångström, in the file's own axes.
  Vec3 Pos;
};

struct Molecule {
  std::vector<MoleculeAtom> Atoms;
  // Indices into Atoms, each bond once.
  std::vector<std::array<int32_t, 2>> Bonds;

  // For the memo.
  std::string Format;  // "PDB", "MDL SDF", ...
  std::string Title;   // empty where the file has none
  std::string Formula;
  // Models or frames the file holds; only the first is read.
  int32_t Models = 1;
  // How many of the bonds came from distances rather than from the file.
  int32_t PerceivedBonds = 0;
  // Why the file's own bonds were not read, where they were not (shown in the memo).
  std::string BondNote;
};
