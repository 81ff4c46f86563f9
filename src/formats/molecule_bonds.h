// Bonds from distances, for the files that list none: two atoms are bonded when they lie closer
// than the sum of their covalent radii and 0.45 Å, but not closer than 0.4 Å (two copies of one
// atom, not a bond). The usual rule of molecular graphics; valences are not checked.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "formats/molecule.h"

inline constexpr double kBondTolerance = 0.45;
inline constexpr double kShortestBond = 0.4;

// Appends the bonds between atoms whose `eligible` entry is non-zero, each once as (i, j) with
// i < j, ordered by i then j; returns how many it appended. Atoms that are not finite or lie
// beyond 1e15 Å take no part. Expected linear time: atoms are put in cells as wide as the longest
// possible bond, found again through a hash of the cell, and compared only with the 27 cells
// around their own.
int32_t PerceiveBonds(const std::vector<MoleculeAtom>& atoms, const std::vector<uint8_t>& eligible,
                      std::vector<std::array<int32_t, 2>>& bonds);
