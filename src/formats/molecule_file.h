// Molecule files: which reader a file asks for, and the whole read from a name to a scene.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "scene/scene_data.h"

enum class MoleculeKind { None, Sdf, Mol, Mol2, Cml, Cif, Mmcif, Xyz, Pdb };

// Larger files are refused before they are read: the libraries hold a few hundred bytes per atom
// and the file beside it.
inline constexpr uint64_t kMaxMoleculeFileBytes = uint64_t{1} << 30;

// The kind the extension names (letter case ignored): .sdf .sd .mol .mol2 .cml .cif .mmcif .xyz
// .pdb .ent; None for any other. A .cif is Mmcif when `bytes` hold the mmCIF atom_site table, and
// an .xyz is a molecule only when XyzHoldsMolecule(bytes) — otherwise None (a point cloud).
MoleculeKind MoleculeKindOf(const std::string& path, std::string_view bytes);

// Whether the extension is one MoleculeKindOf may take as a molecule, without looking inside.
bool MoleculeExtension(const std::string& path);

// An XYZ molecule's first line holds only its atom count (blanks around it allowed).
bool XyzHoldsMolecule(std::string_view bytes);

// The name the memo and the messages give the kind: "SDF", "mmCIF", ...
const char* MoleculeKindName(MoleculeKind kind);

// What opening a molecule file of `fileBytes` bytes holding at most `lines` lines may take beyond
// the file itself: the library's atoms and residues, our atoms and bonds, and the model made of
// them, for as many atoms as there are lines (every format the readers take gives an atom a line
// of its own in any file of a size that matters).
uint64_t MoleculeBytes(uint64_t fileBytes, uint64_t lines);

// Reads the whole file and returns its first structure as ball and stick (molecule_scene). Throws
// KestrelError: "The PDB file "…" is damaged: <reason>" when the file cannot be taken as its kind,
// the file reader's message when it cannot be read at all, and NotEnoughMemory when the structure
// could not fit.
SceneData ReadMolecule(const std::string& fileName);

// Whether the file is an XYZ molecule rather than a point cloud, by its first line alone (see
// XyzHoldsMolecule): the start of the file is read, not the whole of it. Throws the file
// reader's message when it cannot be opened.
bool XyzFileHoldsMolecule(const std::string& fileName);
