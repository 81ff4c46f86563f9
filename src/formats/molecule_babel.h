// Molecule files read by Open Babel: small molecules (SDF and MOL, MOL2, CML, crystallographic
// CIF, XYZ) and PDB.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "formats/molecule.h"

enum class BabelFormat { Sdf, Mol2, Cml, Cif, Xyz, Pdb };

// Above this many CONECT lines times the atom records they name, a PDB file's CONECT records are
// not read: Open Babel looks every partner up by walking all atoms, about 20 ns a step, so a
// structure of 100,000 atoms with every bond listed would take minutes. About a second's worth
// is read.
inline constexpr uint64_t kConectBudget = 50'000'000;

// The first molecule of `bytes`, with Open Babel's formula (its hydrogens included) for the small
// formats and the formula of the atoms listed for PDB, whose files mostly list no hydrogens.
// Bonds: the file's where it lists them; bonds from distances among the atoms no listed bond
// touches in XYZ, PDB and CIF files; the file's alone in SDF, MOL2 and CML, which always list
// theirs. Throws KestrelError with Open Babel's reason when the file cannot be read or holds no
// atom. `name` is the format's name for the memo.
Molecule ReadBabelMolecule(std::string_view bytes, BabelFormat format, const char* name);

// Atom records a PDB file is read in, a piece at a time (see molecule_babel.cpp).
inline constexpr size_t kPdbPieceAtoms = 2000;

// A PDB file as ReadBabelMolecule reads it, its atom records taken `pieceAtoms` or so at a time;
// 0 reads the whole file at once, as does a file Open Babel refuses or reads otherwise in pieces.
// The same molecule whatever the size of the pieces. `readInPieces` tells which way it was read.
Molecule ReadPdbMolecule(std::string_view bytes, size_t pieceAtoms = kPdbPieceAtoms,
                         bool* readInPieces = nullptr);
