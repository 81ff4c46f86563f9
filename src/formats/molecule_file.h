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

// Reads the whole file and returns its first structure as ball and stick (molecule_scene). Throws
// KestrelError: "The PDB file "…" is damaged: <reason>" when the file cannot be taken as its kind,
// the file reader's message when it cannot be read at all.
SceneData ReadMolecule(const std::string& fileName);
