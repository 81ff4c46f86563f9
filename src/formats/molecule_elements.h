// What an element looks like in a ball-and-stick model, from Open Babel's element table: its
// colour, its covalent radius (which also decides bonds from distances) and its circle's radius.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "formats/molecule.h"

// The circle of an atom is this fraction of its element's covalent radius: small enough that the
// sticks show between the balls (C–C is 1.54 Å, two carbon circles take 0.76 Å of it).
inline constexpr double kAtomRadiusFraction = 0.5;

// Open Babel's table knows elements 0 (its dummy atom) to 118; any other number is taken as 0.
inline constexpr int32_t kLastElement = 118;

// The atomic number of a symbol in any letter case ("FE", "fe", "Fe"), deuterium and tritium as
// hydrogen; 0 for anything else.
int32_t ElementNumber(std::string_view symbol);

// Ångström. Elements the table gives no radius (the dummy atom) take carbon's.
double CovalentRadius(int32_t element);
double AtomRadius(int32_t element);

// The element's colour as a colour value. Open Babel's table (carbon grey 102, oxygen red,
// nitrogen blue, sulphur dark yellow, phosphorus orange), except hydrogen, which is exactly white
// so that the White Back switch turns it (40, 40, 40) and it stays visible on white.
uint32_t ElementColour(int32_t element);

// The formula in Hill order (carbon, hydrogen, then the rest by symbol; all by symbol when there
// is no carbon), counts of one left out. Atoms of no known element are not counted.
std::string HillFormula(const std::vector<MoleculeAtom>& atoms);
