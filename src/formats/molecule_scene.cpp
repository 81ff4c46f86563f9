// Ball and stick from a structure.
#include "formats/molecule_scene.h"

#include <cctype>
#include <cmath>
#include <filesystem>
#include <limits>

#include "formats/molecule_elements.h"
#include "scene/error.h"

namespace {

bool Finite(const Vec3& p) {
  return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
}

std::string BaseName(const std::string& fileName) {
  return std::filesystem::path(fileName).filename().string();
}

std::string BondLine(const Molecule& molecule) {
  const size_t bonds = molecule.Bonds.size();
  std::string line = "Bonds: " + std::to_string(bonds);
  if (molecule.PerceivedBonds > 0) {
    line += static_cast<size_t>(molecule.PerceivedBonds) == bonds
                ? " (from distances)"
                : " (" + std::to_string(molecule.PerceivedBonds) + " from distances)";
  }
  return line;
}

}  // namespace

std::string OneLine(std::string_view text) {
  std::string out;
  bool blank = false;
  for (char c : text) {
    if (std::isspace(static_cast<unsigned char>(c))) {
      blank = !out.empty();
    } else {
      if (blank) out += ' ';
      out += c;
      blank = false;
    }
  }
  return out;
}

SceneData MoleculeScene(const Molecule& molecule, const std::string& fileName) {
  const size_t atoms = molecule.Atoms.size();
  const size_t bonds = molecule.Bonds.size();
  constexpr size_t kMost = static_cast<size_t>(std::numeric_limits<int32_t>::max());
  if (atoms > kMost - bonds || bonds > (kMost - atoms) / 2) {
    throw KestrelError("it holds " + std::to_string(atoms) + " atoms and " + std::to_string(bonds) +
                       " bonds, more than one model can hold");
  }
  for (size_t i = 0; i < atoms; ++i) {
    if (!Finite(molecule.Atoms[i].Pos)) {
      throw KestrelError("atom " + std::to_string(i + 1) + " is not at a finite place");
    }
  }

  SceneData scene;
  scene.FillCircles = true;
  scene.Points.reserve(atoms + bonds);
  scene.Segments.reserve(atoms + 2 * bonds);
  for (size_t i = 0; i < atoms; ++i) {
    const MoleculeAtom& atom = molecule.Atoms[i];
    scene.Points.push_back(PointRecord{atom.Pos, {}, 0, 0});
    const double radius = AtomRadius(atom.Element);
    scene.Segments.push_back(
        SegmentRecord{1, radius, ElementColour(atom.Element), static_cast<int32_t>(i), 0, 0});
    scene.CircleRadius = std::max(scene.CircleRadius, radius);
  }
  for (size_t b = 0; b < bonds; ++b) {
    const auto [first, second] = molecule.Bonds[b];
    if (first < 0 || second < 0 || static_cast<size_t>(first) >= atoms ||
        static_cast<size_t>(second) >= atoms || first == second) {
      throw KestrelError("bond " + std::to_string(b + 1) + " does not join two of its atoms");
    }
    const MoleculeAtom& a = molecule.Atoms[static_cast<size_t>(first)];
    const MoleculeAtom& c = molecule.Atoms[static_cast<size_t>(second)];
    // Halved before adding: the middle of two far-apart finite points stays finite.
    const Vec3 middle{a.Pos.x * 0.5 + c.Pos.x * 0.5, a.Pos.y * 0.5 + c.Pos.y * 0.5,
                      a.Pos.z * 0.5 + c.Pos.z * 0.5};
    const auto mid = static_cast<int32_t>(scene.Points.size());
    scene.Points.push_back(PointRecord{middle, {}, 0, 0});
    scene.Segments.push_back(SegmentRecord{0, 0, ElementColour(a.Element), first, mid, 0});
    scene.Segments.push_back(SegmentRecord{0, 0, ElementColour(c.Element), second, mid, 0});
  }

  auto& memo = scene.CommentLines;
  memo.push_back("File: " + BaseName(fileName));
  memo.push_back("Format: " + molecule.Format);
  const std::string title = OneLine(molecule.Title);
  if (!title.empty()) memo.push_back("Title: " + title);
  memo.push_back("Atoms: " + std::to_string(atoms));
  memo.push_back(BondLine(molecule));
  if (!molecule.BondNote.empty()) memo.push_back(molecule.BondNote);
  if (!molecule.Formula.empty()) memo.push_back("Formula: " + molecule.Formula);
  if (molecule.Models > 1) {
    memo.push_back("Models: " + std::to_string(molecule.Models) + ", the first shown");
  }
  return scene;
}
