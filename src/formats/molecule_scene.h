// A structure drawn as ball and stick: what a molecule becomes on screen.
#pragma once

#include <string>
#include <string_view>

#include "formats/molecule.h"
#include "scene/scene_data.h"

// One point and one filled circle per atom (in the atoms' order; radius AtomRadius, colour
// ElementColour), then per bond one point at its middle and two lines to it, each from one of
// its atoms in that atom's colour. The memo names the file (`fileName` without its folder), the
// format, the title, the counts, the formula and the models. Fill Circles is on, every other
// option at its default. Throws KestrelError when an atom is not at a finite place, a bond names
// an atom that does not exist or joins an atom to itself, or there is more than a model can count.
SceneData MoleculeScene(const Molecule& molecule, const std::string& fileName);

// `text` on one line: runs of blanks and line ends become one blank, none at either end. Titles
// span lines in several formats; the memo shows them whole.
std::string OneLine(std::string_view text);
