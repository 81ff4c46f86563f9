// mmCIF files (the atom_site table) read by libcifpp's parser.
#pragma once

#include <string_view>

#include "formats/molecule.h"

// The first model of the first data block's atom_site table, first alternate location only, with
// bonds from distances (the table lists none) and the formula of its atoms. The title is
// _struct.title. Throws KestrelError with libcifpp's reason ("parse error at line 6: ...") or
// ours when there is no atom_site table, no atom, or an atom without a number for a coordinate.
Molecule ReadMmcifMolecule(std::string_view bytes);

// Whether a .cif file holds a macromolecule: the mmCIF atom_site table names its Cartesian
// columns "_atom_site.Cartn_x"; small-molecule CIF files give fractional ones.
bool CifHoldsMacromolecule(std::string_view bytes);
