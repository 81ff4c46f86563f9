// Deterministic protein-like structures for the molecule benchmarks, written as PDB (with or
// without CONECT records) and as mmCIF. Strands of residues with side chains, stacked in sheets,
// with real bond lengths: perception from distances finds exactly the bonds listed here.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

struct ProteinAtom {
  std::string Name;     // "CA", "OG1", ...
  std::string Residue;  // "ALA", ...
  std::string Element;  // "C", "O", ...
  char Chain;
  int32_t ResidueNumber;
  double X, Y, Z;
};

struct ProteinStructure {
  std::vector<ProteinAtom> Atoms;
  // Index pairs, first < second, each bond once.
  std::vector<std::array<int32_t, 2>> Bonds;
};

// `atoms` atoms exactly (the last residue may be cut short). Same count, same structure.
ProteinStructure MakeProtein(int32_t atoms);

// PDB: ATOM records with TER after each chain; serials above 99,999 in the hybrid-36 form that
// files of that size use. With `conect`, every bond as CONECT records of both its atoms.
void WritePdbFile(const std::filesystem::path& file, const ProteinStructure& protein, bool conect);

// mmCIF: one data block with an entry id, a title and the atom_site table.
void WriteMmcifFile(const std::filesystem::path& file, const ProteinStructure& protein);
