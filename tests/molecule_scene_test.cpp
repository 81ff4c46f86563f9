// Ball and stick from a structure, the element table behind it, the formula, and bonds from
// distances, each at its own seam (no files here).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>

#include "formats/molecule_bonds.h"
#include "formats/molecule_elements.h"
#include "formats/molecule_scene.h"
#include "scene/colour_codes.h"
#include "scene/scene_model.h"

namespace {

using Bond = std::array<int32_t, 2>;

struct Rgb {
  int red, green, blue;
};

Rgb ColourOf(uint32_t colour) {
  return {ColourRed(colour), ColourGreen(colour), ColourBlue(colour)};
}

// Water with its two bonds, as a reader hands it over.
Molecule Water() {
  Molecule m;
  m.Atoms = {{8, {0, 0, 0.1173}}, {1, {0, 0.7572, -0.4692}}, {1, {0, -0.7572, -0.4692}}};
  m.Bonds = {{0, 1}, {0, 2}};
  m.Format = "XYZ";
  m.Title = "water";
  m.Formula = "H2O";
  return m;
}

}  // namespace

TEST(MoleculeElements, ColoursOfTheNamedElementsAndTheTableForTheRest) {
  struct Case {
    int element;
    Rgb colour;
  } cases[] = {
      {1, {255, 255, 255}},  // hydrogen: exactly white, so White Back turns it dark grey
      {6, {102, 102, 102}},  // carbon grey, seen on black and on white alike
      {7, {13, 13, 255}},    // nitrogen blue
      {8, {255, 13, 13}},    // oxygen red
      {15, {255, 128, 0}},   // phosphorus orange
      {16, {179, 179, 0}},   // sulphur yellow, dark enough for the white background
      {17, {31, 240, 31}},   // chlorine, from the table
      {26, {224, 102, 51}},  // iron
      {0, {18, 128, 179}},   // the table's dummy atom, for anything unknown
      {500, {18, 128, 179}}, {-3, {18, 128, 179}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.element);
    const Rgb got = ColourOf(ElementColour(c.element));
    EXPECT_EQ(got.red, c.colour.red);
    EXPECT_EQ(got.green, c.colour.green);
    EXPECT_EQ(got.blue, c.colour.blue);
    EXPECT_EQ(ElementColour(c.element) >> 24, 0u);
  }
}

TEST(MoleculeElements, RadiiAreHalfTheCovalentRadius) {
  struct Case {
    int element;
    double covalent;
  } cases[] = {{1, 0.31},  {6, 0.76},  {7, 0.71}, {8, 0.66},
               {16, 1.05}, {15, 1.07}, {0, 0.76}, {119, 0.76}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.element);
    EXPECT_EQ(CovalentRadius(c.element), c.covalent);
    EXPECT_EQ(AtomRadius(c.element), 0.5 * c.covalent);
  }
}

TEST(MoleculeElements, SymbolsInAnyLetterCase) {
  struct Case {
    const char* symbol;
    int element;
  } cases[] = {{"Fe", 26}, {"FE", 26}, {"fe", 26}, {"fE", 26}, {"C", 6},
               {"c", 6},   {"CL", 17}, {"D", 1},   {"T", 1},   {"Og", 118},
               {"Xx", 0},  {"", 0},    {"C1", 0},  {"*", 0},   {"Carbon", 0}};
  for (const Case& c : cases) EXPECT_EQ(ElementNumber(c.symbol), c.element) << c.symbol;
}

TEST(MoleculeElements, HillFormula) {
  struct Case {
    std::vector<int> elements;
    const char* formula;
  } cases[] = {
      {{8, 1, 1}, "H2O"},
      {{6, 6, 8, 1, 1, 1, 1, 1, 1}, "C2H6O"},
      {{1, 6, 1, 1, 1}, "CH4"},
      {{17, 11}, "ClNa"},  // no carbon: all by symbol, hydrogen among them
      {{1, 17}, "ClH"},
      {{6, 17, 17, 17, 17}, "CCl4"},  // carbon first, no hydrogen
      {{27, 17, 6}, "CClCo"},
      {{0, 6, 0}, "C"},  // unknown atoms are not counted
      {{}, ""},
  };
  for (const Case& c : cases) {
    std::vector<MoleculeAtom> atoms;
    for (int e : c.elements) atoms.push_back({e, {0, 0, 0}});
    EXPECT_EQ(HillFormula(atoms), c.formula);
  }
}

TEST(MoleculeScene, AtomsAreFilledCirclesAndBondsTwoHalvesToTheirMiddle) {
  const SceneData scene = MoleculeScene(Water(), "/some/folder/water.xyz");

  ASSERT_EQ(scene.Points.size(), 5u);
  EXPECT_EQ(scene.Points[0].Pos.z, 0.1173);
  EXPECT_EQ(scene.Points[2].Pos.y, -0.7572);
  // The middles of O–H1 and O–H2.
  EXPECT_EQ(scene.Points[3].Pos.x, 0);
  EXPECT_EQ(scene.Points[3].Pos.y, 0.5 * 0.7572);
  EXPECT_EQ(scene.Points[3].Pos.z, 0.5 * 0.1173 + 0.5 * -0.4692);
  EXPECT_EQ(scene.Points[4].Pos.y, 0.5 * -0.7572);

  struct Expected {
    uint8_t kind;
    int32_t first, second;
    double radius;
    uint32_t colour;
  };
  const uint32_t red = MakeColor(13, 13, 255);
  const uint32_t white = MakeColor(255, 255, 255);
  const Expected expected[] = {
      {1, 0, 0, 0.33, red}, {1, 1, 0, 0.155, white}, {1, 2, 0, 0.155, white}, {0, 0, 3, 0, red},
      {0, 1, 3, 0, white},  {0, 0, 4, 0, red},       {0, 2, 4, 0, white},
  };
  ASSERT_EQ(scene.Segments.size(), std::size(expected));
  for (size_t i = 0; i < std::size(expected); ++i) {
    SCOPED_TRACE(i);
    const SegmentRecord& s = scene.Segments[i];
    EXPECT_EQ(s.Kind, expected[i].kind);
    EXPECT_EQ(s.First, expected[i].first);
    if (s.Kind == 0) {
      EXPECT_EQ(s.Second, expected[i].second);
    }
    EXPECT_EQ(s.Radius, expected[i].radius);
    EXPECT_EQ(s.Colour, expected[i].colour);
  }
  EXPECT_EQ(scene.CircleRadius, 0.33);
}

TEST(MoleculeScene, FillCirclesOnEverythingElseAtItsDefault) {
  const SceneData scene = MoleculeScene(Water(), "water.xyz");
  EXPECT_TRUE(scene.FillCircles);
  EXPECT_TRUE(scene.HasFillCircles);
  EXPECT_TRUE(scene.AntiAlias);
  EXPECT_TRUE(scene.Fade);
  EXPECT_FALSE(scene.FlipZ);
  EXPECT_FALSE(scene.WhiteBack);
  EXPECT_FALSE(scene.FreeSpin);
  EXPECT_FALSE(scene.CentreGiven);
}

TEST(MoleculeScene, MemoNamesFileFormatTitleCountsFormulaAndModels) {
  struct Case {
    const char* what;
    int32_t models;
    int32_t perceived;
    std::string title;
    std::string note;
    std::vector<std::string> memo;
  } cases[] = {
      {"bonds from the file",
       1,
       0,
       "water",
       "",
       {"File: water.xyz", "Format: XYZ", "Title: water", "Atoms: 3", "Bonds: 2", "Formula: H2O"}},
      {"all bonds from distances, several models",
       7,
       2,
       "",
       "",
       {"File: water.xyz", "Format: XYZ", "Atoms: 3", "Bonds: 2 (from distances)", "Formula: H2O",
        "Models: 7, the first shown"}},
      {"some from distances, a title over lines, a note",
       1,
       1,
       "  water\n  in two   lines ",
       "The bonds were not read",
       {"File: water.xyz", "Format: XYZ", "Title: water in two lines", "Atoms: 3",
        "Bonds: 2 (1 from distances)", "The bonds were not read", "Formula: H2O"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Molecule m = Water();
    m.Models = c.models;
    m.PerceivedBonds = c.perceived;
    m.Title = c.title;
    m.BondNote = c.note;
    EXPECT_EQ(MoleculeScene(m, "dir/water.xyz").CommentLines, c.memo);
  }
}

TEST(MoleculeScene, RefusesWhatNoModelCanDraw) {
  struct Case {
    const char* what;
    void (*spoil)(Molecule&);
    const char* message;
  } cases[] = {
      {"NaN", [](Molecule& m) { m.Atoms[1].Pos.y = std::nan(""); },
       "atom 2 is not at a finite place"},
      {"infinity", [](Molecule& m) { m.Atoms[2].Pos.z = -INFINITY; },
       "atom 3 is not at a finite place"},
      {"bond past the atoms",
       [](Molecule& m) {
         m.Bonds[1] = {0, 3};
       },
       "bond 2 does not join two of its atoms"},
      {"negative index",
       [](Molecule& m) {
         m.Bonds[0] = {-1, 2};
       },
       "bond 1 does not join two of its atoms"},
      {"atom to itself",
       [](Molecule& m) {
         m.Bonds[0] = {1, 1};
       },
       "bond 1 does not join two of its atoms"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Molecule m = Water();
    c.spoil(m);
    try {
      MoleculeScene(m, "water.xyz");
      ADD_FAILURE() << "accepted";
    } catch (const KestrelError& e) {
      EXPECT_STREQ(e.what(), c.message);
    }
  }
}

TEST(MoleculeScene, MiddleOfFarApartAtomsStaysFinite) {
  Molecule m = Water();
  m.Atoms[0].Pos = {1.5e308, -1.5e308, 0};
  m.Atoms[1].Pos = {1.5e308, -1.5e308, 0};
  const SceneData scene = MoleculeScene(m, "far.xyz");
  EXPECT_EQ(scene.Points[3].Pos.x, 1.5e308);
  EXPECT_EQ(scene.Points[3].Pos.y, -1.5e308);
}

// ---------------------------------------------------------------------------------------------
// Bonds from distances.

namespace {

// Every pair, the plain way: what the cell list must find.
std::vector<Bond> AllPairs(const std::vector<MoleculeAtom>& atoms,
                           const std::vector<uint8_t>& use) {
  std::vector<Bond> bonds;
  for (size_t i = 0; i < atoms.size(); ++i) {
    for (size_t j = i + 1; j < atoms.size(); ++j) {
      if (!use[i] || !use[j]) continue;
      const Vec3 a = atoms[i].Pos;
      const Vec3 b = atoms[j].Pos;
      const double d = std::sqrt((a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y) +
                                 (a.z - b.z) * (a.z - b.z));
      const double reach =
          CovalentRadius(atoms[i].Element) + CovalentRadius(atoms[j].Element) + 0.45;
      if (d < reach && d >= 0.4)
        bonds.push_back({static_cast<int32_t>(i), static_cast<int32_t>(j)});
    }
  }
  return bonds;
}

}  // namespace

TEST(PerceiveBonds, DistanceRuleAtItsEdges) {
  // Carbon pairs reach 0.76 + 0.76 + 0.45 = 1.97 Å; nothing closer than 0.4 Å is a bond.
  struct Case {
    double distance;
    int elementA, elementB;
    bool bonded;
  } cases[] = {
      {1.54, 6, 6, true},    {1.96, 6, 6, true},  {1.98, 6, 6, false},
      {0.41, 6, 6, true},    {0.39, 6, 6, false}, {0.0, 6, 6, false},
      {1.06, 1, 1, true},    {1.08, 1, 1, false}, {2.24, 16, 16, true},  // S–S reaches 2.55 Å
      {2.56, 16, 16, false}, {1.90, 0, 6, true},  // an unknown element takes carbon's radius
      {2.00, 0, 6, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.distance << " " << c.elementA << "-" << c.elementB);
    const std::vector<MoleculeAtom> atoms = {{c.elementA, {1, 2, 3}},
                                             {c.elementB, {1, 2, 3 + c.distance}}};
    std::vector<Bond> bonds;
    EXPECT_EQ(PerceiveBonds(atoms, {1, 1}, bonds), c.bonded ? 1 : 0);
    EXPECT_EQ(bonds, (c.bonded ? std::vector<Bond>{{0, 1}} : std::vector<Bond>{}));
  }
}

TEST(PerceiveBonds, OnlyEligibleUsableAtomsTakePart) {
  // A chain of carbons 1.5 Å apart; atom 2 is not eligible, atom 4 is not at a finite place,
  // atom 5 lies beyond 1e15 Å next to atom 6.
  std::vector<MoleculeAtom> atoms;
  for (int i = 0; i < 5; ++i) atoms.push_back({6, {1.5 * i, 0, 0}});
  atoms[4].Pos.x = std::nan("");
  atoms.push_back({6, {2e15, 0, 0}});
  atoms.push_back({6, {2e15 + 1, 0, 0}});
  std::vector<Bond> bonds = {{7, 8}};  // already there: kept, appended to
  EXPECT_EQ(PerceiveBonds(atoms, {1, 1, 0, 1, 1, 1, 1}, bonds), 1);
  EXPECT_EQ(bonds, (std::vector<Bond>{{7, 8}, {0, 1}}));
}

TEST(PerceiveBonds, CellListFindsWhatEveryPairWouldFind) {
  // Random clouds at densities from sparse to crowded, with every element of a protein and
  // a few heavy ones, some atoms left out: the same bonds in the same order as the plain check.
  std::mt19937_64 random(7);
  const int elements[] = {1, 6, 7, 8, 16, 15, 26, 55};
  for (double side : {3.0, 12.0, 40.0, 400.0}) {
    SCOPED_TRACE(side);
    std::uniform_real_distribution<double> place(-side / 2, side / 2);
    std::vector<MoleculeAtom> atoms(2000);
    std::vector<uint8_t> use(atoms.size());
    for (size_t i = 0; i < atoms.size(); ++i) {
      atoms[i] = {elements[random() % std::size(elements)],
                  {place(random), place(random), place(random)}};
      use[i] = random() % 10 != 0;
    }
    std::vector<Bond> bonds;
    const int32_t found = PerceiveBonds(atoms, use, bonds);
    EXPECT_EQ(bonds, AllPairs(atoms, use));
    EXPECT_EQ(found, static_cast<int32_t>(bonds.size()));
  }
}

TEST(PerceiveBonds, AtomsOnCellBordersAndBelowZero) {
  // A chain of carbons 1.65 Å apart through the origin, astride the cells' borders (cells are
  // 1.97 Å wide here) on both sides of zero.
  std::vector<MoleculeAtom> atoms;
  for (int i = -6; i <= 6; ++i) atoms.push_back({6, {1.1 * i, -1.1 * i, 0.55 * i}});
  std::vector<uint8_t> use(atoms.size(), 1);
  std::vector<Bond> bonds;
  PerceiveBonds(atoms, use, bonds);
  EXPECT_EQ(bonds.size(), 12u);
  EXPECT_EQ(bonds, AllPairs(atoms, use));
}
