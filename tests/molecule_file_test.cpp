// Molecule files read whole: small molecules in every format through Open Babel, a peptide as PDB
// with and without CONECT records and as mmCIF, several models, the reader each file asks for,
// every failure's message, silence on the standard streams, and one picture against the same
// model written as a Tumbra file.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fcntl.h>
#include <cstdio>
#include <cstring>
#include <set>
#include <sstream>

#include "formats/library_quiet.h"
#include "formats/molecule_bonds.h"
#include "formats/molecule_elements.h"
#include "formats/molecule_babel.h"
#include "formats/molecule_file.h"
#include "scene/colour_codes.h"
#include "scene/scene_data.h"
#include "support/protein_files.h"
#include "test_support.h"

// Open Babel's readers leave a little behind on some files (the CML reader an attribute libxml2
// copies for it, the MDL reader a property of a molecule it gives up on): the leak check is told
// to look away from memory taken inside them, and nowhere else.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libxml2.so\nleak:libopenbabel.so\nleak:/openbabel/3.1.1/\n";
}

namespace {

using Bond = std::array<int32_t, 2>;

struct TestAtom {
  const char* symbol;
  double x, y, z;
};

struct TestBond {
  int first, second, order;  // atoms counted from 1, as SDF and MOL2 count them
};

struct TestMolecule {
  const char* name;
  std::vector<TestAtom> atoms;
  std::vector<TestBond> bonds;
  const char* formula;
};

const TestMolecule kWater = {
    "water",
    {{"O", 0, 0, 0.1173}, {"H", 0, 0.7572, -0.4692}, {"H", 0, -0.7572, -0.4692}},
    {{1, 2, 1}, {1, 3, 1}},
    "H2O"};

// Tetrahedral carbons, C–C 1.52, C–O 1.43, C–H 1.09, O–H 0.96 Å.
const TestMolecule kEthanol = {
    "ethanol",
    {{"C", 0, 0, 0},
     {"C", 1.52, 0, 0},
     {"O", 1.9966, 0.6741, 1.1676},
     {"H", -0.3633, 1.0277, 0},
     {"H", -0.3633, -0.5138, 0.89},
     {"H", -0.3633, -0.5138, -0.89},
     {"H", 1.8833, -1.0277, 0},
     {"H", 1.8833, 0.5138, -0.89},
     {"H", 1.3548, 1.3433, 1.4163}},
    {{1, 2, 1}, {1, 4, 1}, {1, 5, 1}, {1, 6, 1}, {2, 3, 1}, {2, 7, 1}, {2, 8, 1}, {3, 9, 1}},
    "C2H6O"};

// A regular hexagon of 1.397 Å sides, hydrogens 1.084 Å out.
const TestMolecule kBenzene = {"benzene",
                               {{"C", 1.397, 0, 0},
                                {"C", 0.6985, 1.2098, 0},
                                {"C", -0.6985, 1.2098, 0},
                                {"C", -1.397, 0, 0},
                                {"C", -0.6985, -1.2098, 0},
                                {"C", 0.6985, -1.2098, 0},
                                {"H", 2.481, 0, 0},
                                {"H", 1.2405, 2.1486, 0},
                                {"H", -1.2405, 2.1486, 0},
                                {"H", -2.481, 0, 0},
                                {"H", -1.2405, -2.1486, 0},
                                {"H", 1.2405, -2.1486, 0}},
                               {{1, 2, 2},
                                {2, 3, 1},
                                {3, 4, 2},
                                {4, 5, 1},
                                {5, 6, 2},
                                {6, 1, 1},
                                {1, 7, 1},
                                {2, 8, 1},
                                {3, 9, 1},
                                {4, 10, 1},
                                {5, 11, 1},
                                {6, 12, 1}},
                               "C6H6"};

std::string Printf(const char* format, auto... args) {
  char line[256];
  std::snprintf(line, sizeof line, format, args...);
  return line;
}

std::string SdfText(const TestMolecule& m) {
  std::string s = std::string(m.name) + "\n  Kestrel test\n\n";
  s += Printf("%3zu%3zu  0  0  0  0  0  0  0  0999 V2000\n", m.atoms.size(), m.bonds.size());
  for (const TestAtom& a : m.atoms) {
    s += Printf("%10.4f%10.4f%10.4f %-3s 0  0  0  0  0  0  0  0  0  0  0  0\n", a.x, a.y, a.z,
                a.symbol);
  }
  for (const TestBond& b : m.bonds) s += Printf("%3d%3d%3d  0\n", b.first, b.second, b.order);
  return s + "M  END\n$$$$\n";
}

std::string XyzText(const TestMolecule& m) {
  std::string s = std::to_string(m.atoms.size()) + "\n" + m.name + "\n";
  for (const TestAtom& a : m.atoms) s += Printf("%s %.4f %.4f %.4f\n", a.symbol, a.x, a.y, a.z);
  return s;
}

std::string Mol2Text(const TestMolecule& m) {
  std::string s = std::string("@<TRIPOS>MOLECULE\n") + m.name + "\n";
  s += Printf(" %zu %zu 0 0 0\nSMALL\nNO_CHARGES\n\n@<TRIPOS>ATOM\n", m.atoms.size(),
              m.bonds.size());
  int n = 0;
  for (const TestAtom& a : m.atoms) {
    ++n;
    s += Printf("%7d %s%d %10.4f %10.4f %10.4f %s 1 MOL 0.0000\n", n, a.symbol, n, a.x, a.y, a.z,
                a.symbol);
  }
  s += "@<TRIPOS>BOND\n";
  n = 0;
  for (const TestBond& b : m.bonds)
    s += Printf("%6d %5d %5d %d\n", ++n, b.first, b.second, b.order);
  return s;
}

std::string CmlText(const TestMolecule& m) {
  std::string s = std::string("<?xml version=\"1.0\"?>\n<molecule id=\"m1\" title=\"") + m.name +
                  "\" xmlns=\"http://www.xml-cml.org/schema\">\n <atomArray>\n";
  int n = 0;
  for (const TestAtom& a : m.atoms) {
    s += Printf("  <atom id=\"a%d\" elementType=\"%s\" x3=\"%.4f\" y3=\"%.4f\" z3=\"%.4f\"/>\n",
                ++n, a.symbol, a.x, a.y, a.z);
  }
  s += " </atomArray>\n <bondArray>\n";
  for (const TestBond& b : m.bonds) {
    s += Printf("  <bond atomRefs2=\"a%d a%d\" order=\"%d\"/>\n", b.first, b.second, b.order);
  }
  return s + " </bondArray>\n</molecule>\n";
}

// A small-molecule crystal file: a cubic cell of 10 Å, the molecule 5 Å in along each axis, no
// bonds listed.
std::string CifText(const TestMolecule& m) {
  std::string s = std::string("data_") + m.name +
                  "\n_cell_length_a 10\n_cell_length_b 10\n_cell_length_c 10\n"
                  "_cell_angle_alpha 90\n_cell_angle_beta 90\n_cell_angle_gamma 90\n"
                  "_symmetry_space_group_name_H-M 'P 1'\nloop_\n_atom_site_label\n"
                  "_atom_site_type_symbol\n_atom_site_fract_x\n_atom_site_fract_y\n"
                  "_atom_site_fract_z\n";
  int n = 0;
  for (const TestAtom& a : m.atoms) {
    s += Printf("%s%d %s %.5f %.5f %.5f\n", a.symbol, ++n, a.symbol, 0.5 + a.x / 10, 0.5 + a.y / 10,
                0.5 + a.z / 10);
  }
  return s;
}

// What the scene says the structure was: the atoms (circles, in order) and the bonds (pairs of
// half bonds ending at the same middle), each bond as (smaller, larger) in the scene's order.
struct Structure {
  std::vector<Vec3> atoms;
  std::vector<Bond> bonds;
};

Structure StructureOf(const SceneData& scene) {
  Structure s;
  size_t i = 0;
  for (; i < scene.Segments.size() && scene.Segments[i].Kind != 0; ++i) {
    s.atoms.push_back(scene.Points[static_cast<size_t>(scene.Segments[i].First)].Pos);
  }
  for (; i + 1 < scene.Segments.size(); i += 2) {
    const SegmentRecord& a = scene.Segments[i];
    const SegmentRecord& b = scene.Segments[i + 1];
    EXPECT_EQ(a.Second, b.Second);
    s.bonds.push_back({std::min(a.First, b.First), std::max(a.First, b.First)});
  }
  EXPECT_EQ(i, scene.Segments.size());
  return s;
}

std::set<Bond> BondSet(const std::vector<Bond>& bonds) {
  return {bonds.begin(), bonds.end()};
}

std::set<Bond> BondSet(const TestMolecule& m) {
  std::set<Bond> set;
  for (const TestBond& b : m.bonds) {
    set.insert({std::min(b.first, b.second) - 1, std::max(b.first, b.second) - 1});
  }
  return set;
}

std::string Message(const std::string& path) {
  try {
    ReadMolecule(path);
  } catch (const KestrelError& e) {
    return e.what();
  }
  return "(read)";
}

}  // namespace

TEST(MoleculeFile, SmallMoleculesInEveryFormat) {
  struct Case {
    const TestMolecule* molecule;
    const char* extension;
    std::string (*text)(const TestMolecule&);
    const char* format;
    bool perceived;  // the format lists no bonds here: they come from distances
    double offset;   // where the file puts the molecule
  } cases[] = {
      {&kWater, ".sdf", SdfText, "SDF", false, 0},
      {&kEthanol, ".sdf", SdfText, "SDF", false, 0},
      {&kBenzene, ".sdf", SdfText, "SDF", false, 0},
      {&kWater, ".xyz", XyzText, "XYZ", true, 0},
      {&kEthanol, ".xyz", XyzText, "XYZ", true, 0},
      {&kBenzene, ".xyz", XyzText, "XYZ", true, 0},
      {&kEthanol, ".mol", SdfText, "MOL", false, 0},
      {&kEthanol, ".mol2", Mol2Text, "MOL2", false, 0},
      {&kBenzene, ".cml", CmlText, "CML", false, 0},
      {&kEthanol, ".cif", CifText, "CIF", true, 5},
  };
  ScratchDir dir;
  for (const Case& c : cases) {
    const TestMolecule& m = *c.molecule;
    const std::string file = std::string(m.name) + c.extension;
    SCOPED_TRACE(file);
    const SceneData scene = ReadMolecule(dir.Write(file, c.text(m)));
    const Structure s = StructureOf(scene);

    ASSERT_EQ(s.atoms.size(), m.atoms.size());
    for (size_t i = 0; i < m.atoms.size(); ++i) {
      EXPECT_NEAR(s.atoms[i].x, m.atoms[i].x + c.offset, 1e-9);
      EXPECT_NEAR(s.atoms[i].y, m.atoms[i].y + c.offset, 1e-9);
      EXPECT_NEAR(s.atoms[i].z, m.atoms[i].z + c.offset, 1e-9);
    }
    EXPECT_EQ(s.bonds.size(), m.bonds.size());
    EXPECT_EQ(BondSet(s.bonds), BondSet(m));
    const std::vector<std::string> memo = {
        "File: " + file,
        std::string("Format: ") + c.format,
        std::string("Title: ") + m.name,
        "Atoms: " + std::to_string(m.atoms.size()),
        "Bonds: " + std::to_string(m.bonds.size()) + (c.perceived ? " (from distances)" : ""),
        std::string("Formula: ") + m.formula};
    EXPECT_EQ(scene.CommentLines, memo);
    EXPECT_TRUE(scene.FillCircles);
  }
}

// ---------------------------------------------------------------------------------------------
// A peptide, Ala-Gly-Ser without hydrogens, as an X-ray structure gives it: 15 atoms, 14 bonds.

namespace {

const char* const kPeptideAtoms =
    "ATOM      1  N   ALA A   1       0.000   0.000   0.000  1.00 20.00           N\n"
    "ATOM      2  CA  ALA A   1       1.200   0.830   0.000  1.00 20.00           C\n"
    "ATOM      3  C   ALA A   1       2.450  -0.020   0.000  1.00 20.00           C\n"
    "ATOM      4  O   ALA A   1       1.780  -1.050   0.000  1.00 20.00           O\n"
    "ATOM      5  CB  ALA A   1       1.200   1.380   1.420  1.00 20.00           C\n"
    "ATOM      6  N   GLY A   2       3.750   0.000   0.000  1.00 20.00           N\n"
    "ATOM      7  CA  GLY A   2       4.950  -0.830   0.000  1.00 20.00           C\n"
    "ATOM      8  C   GLY A   2       6.200   0.020   0.000  1.00 20.00           C\n"
    "ATOM      9  O   GLY A   2       5.530   1.050   0.000  1.00 20.00           O\n"
    "ATOM     10  N   SER A   3       7.500   0.000   0.000  1.00 20.00           N\n"
    "ATOM     11  CA  SER A   3       8.700   0.830   0.000  1.00 20.00           C\n"
    "ATOM     12  C   SER A   3       9.950  -0.020   0.000  1.00 20.00           C\n"
    "ATOM     13  O   SER A   3       9.280  -1.050   0.000  1.00 20.00           O\n"
    "ATOM     14  CB  SER A   3       8.700   1.380   1.420  1.00 20.00           C\n"
    "ATOM     15  OG  SER A   3       9.200   1.380   2.850  1.00 20.00           O\n";

const std::vector<Bond> kPeptideBonds = {{0, 1},   {1, 2},   {1, 4},   {2, 3},  {2, 5},
                                         {5, 6},   {6, 7},   {7, 8},   {7, 9},  {9, 10},
                                         {10, 11}, {10, 13}, {11, 12}, {13, 14}};

const char* const kPeptideHeader =
    "HEADER    PEPTIDE                                 01-JAN-24   TEST              \n"
    "TITLE     ALA-GLY-SER, A TEST\n";

// Every bond listed from both ends, and a made-up link from the first N to the serine's OG that
// no distance would give.
const char* const kFullConect =
    "CONECT    1    2   15\nCONECT    2    1    3    5\nCONECT    3    2    4    6\n"
    "CONECT    4    3\nCONECT    5    2\nCONECT    6    3    7\nCONECT    7    6    8\n"
    "CONECT    8    7    9   10\nCONECT    9    8\nCONECT   10    8   11\n"
    "CONECT   11   10   12   14\nCONECT   12   11   13\nCONECT   13   12\n"
    "CONECT   14   11   15\nCONECT   15   14    1\n";

std::string FirstLines(const std::string& text, int n) {
  size_t end = 0;
  for (int i = 0; i < n; ++i) end = text.find('\n', end) + 1;
  return text.substr(0, end);
}

std::string Pdb(const std::string& conect) {
  return std::string(kPeptideHeader) + kPeptideAtoms + "TER      16      SER A   3\n" + conect +
         "END\n";
}

}  // namespace

TEST(MoleculeFile, PdbBondsFromConectWhereListedFromDistancesElsewhere) {
  std::vector<Bond> withLink = kPeptideBonds;
  withLink.push_back({0, 14});
  // The link alone: its two atoms take no bond from distances, the other thirteen do.
  std::vector<Bond> linkAndRest = {{0, 14}};
  for (const Bond& b : kPeptideBonds) {
    if (b[0] != 0 && b[1] != 14) linkAndRest.push_back(b);
  }
  struct Case {
    const char* what;
    std::string conect;
    std::vector<Bond> bonds;
    const char* bondLine;
  } cases[] = {
      {"no CONECT", "", kPeptideBonds, "Bonds: 14 (from distances)"},
      {"every bond and a link", kFullConect, withLink, "Bonds: 15"},
      {"only the link", "CONECT    1   15\nCONECT   15    1\n", linkAndRest,
       "Bonds: 13 (12 from distances)"},
  };
  ScratchDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const SceneData scene = ReadMolecule(dir.Write("peptide.pdb", Pdb(c.conect)));
    const Structure s = StructureOf(scene);
    EXPECT_EQ(s.atoms.size(), 15u);
    EXPECT_EQ(s.atoms[14].z, 2.85);
    EXPECT_EQ(BondSet(s.bonds), BondSet(c.bonds));
    EXPECT_EQ(s.bonds.size(), c.bonds.size());
    const std::vector<std::string> memo = {
        "File: peptide.pdb", "Format: PDB", "Title: ALA-GLY-SER, A TEST",
        "Atoms: 15",         c.bondLine,    "Formula: C8N3O4"};
    EXPECT_EQ(scene.CommentLines, memo);
  }
}

// Open Babel reads a large PDB file a few thousand atoms at a time: the same molecule as from one
// read of the whole file, whatever the cuts.
TEST(MoleculeFile, PdbReadInPiecesIsTheWholeFileRead) {
  ScratchDir dir;
  const ProteinStructure protein = MakeProtein(3000);
  WritePdbFile(dir.path() / "protein.pdb", protein, true);
  const std::string generated = ReadWholeFile((dir.path() / "protein.pdb").string());
  std::string crlf;
  for (const char c : Pdb(kFullConect)) {
    if (c == '\n') crlf.push_back('\r');
    crlf.push_back(c);
  }
  const std::string water =
      "HETATM   16  O   HOH B 101      20.000  20.000  20.000  1.00 30.00           O\n"
      "ANISOU   16  O   HOH B 101     3000   3000   3000      0      0      0       O\n"
      "HETATM   17  H1  HOH B 101      20.960  20.000  20.000  1.00 30.00           H\n"
      "HETATM   18  H2  HOH B 101      19.760  20.930  20.000  1.00 30.00           H\n";
  const struct {
    const char* what;
    std::string text;
  } cases[] = {
      {"no CONECT", Pdb("")},
      {"every bond and a link", Pdb(kFullConect)},
      {"CR LF", crlf},
      {"a water, its ANISOU record and CONECT",
       std::string(kPeptideHeader) + kPeptideAtoms + water +
           "CONECT   16   17   18\nCONECT   17   16\nCONECT   18   16\nEND\n"},
      {"CONECT naming atoms the file lacks", Pdb("CONECT    1   99\nCONECT   15   14  123\n")},
      {"CONECT written without its columns", Pdb("CONECT 1 15\nCONECT\t15\t1 3\n")},
      {"two models, CONECT after them",
       std::string("MODEL        1\n") + kPeptideAtoms + "ENDMDL\nMODEL        2\n" +
           kPeptideAtoms + "ENDMDL\n" + kFullConect + "END\n"},
      {"atoms after END", Pdb("CONECT    1   15\n") + FirstLines(kPeptideAtoms, 3)},
      {"a residue met again after others",
       std::string(kPeptideAtoms) + FirstLines(kPeptideAtoms, 2) + "END\n"},
      {"a generated protein, every bond listed", generated},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    bool inPieces = true;
    const Molecule whole = ReadPdbMolecule(c.text, 0, &inPieces);
    EXPECT_FALSE(inPieces);
    for (size_t pieceAtoms : {size_t{1}, size_t{4}, size_t{500}}) {
      SCOPED_TRACE(pieceAtoms);
      const Molecule pieces = ReadPdbMolecule(c.text, pieceAtoms, &inPieces);
      EXPECT_TRUE(inPieces);
      ASSERT_EQ(pieces.Atoms.size(), whole.Atoms.size());
      for (size_t k = 0; k < whole.Atoms.size(); ++k) {
        EXPECT_EQ(pieces.Atoms[k].Element, whole.Atoms[k].Element) << k;
        EXPECT_EQ(std::memcmp(&pieces.Atoms[k].Pos, &whole.Atoms[k].Pos, sizeof(Vec3)), 0) << k;
      }
      EXPECT_EQ(BondSet(pieces.Bonds), BondSet(whole.Bonds));
      EXPECT_EQ(pieces.Bonds.size(), whole.Bonds.size());
      EXPECT_EQ(pieces.PerceivedBonds, whole.PerceivedBonds);
      EXPECT_EQ(pieces.Title, whole.Title);
      EXPECT_EQ(pieces.Formula, whole.Formula);
      EXPECT_EQ(pieces.Models, whole.Models);
      EXPECT_EQ(pieces.BondNote, whole.BondNote);
    }
  }
  // The generated protein's bonds are all listed: none comes from distances.
  const Molecule read = ReadPdbMolecule(generated);
  EXPECT_EQ(read.PerceivedBonds, 0);
  EXPECT_EQ(BondSet(read.Bonds), BondSet(protein.Bonds));
}

TEST(MoleculeFile, PdbWithoutHeaderOrEndStillOpens) {
  ScratchDir dir;
  const SceneData scene = ReadMolecule(dir.Write("bare.ent", kPeptideAtoms));
  EXPECT_EQ(StructureOf(scene).bonds.size(), 14u);
  EXPECT_EQ(scene.CommentLines[1], "Format: PDB");
  EXPECT_EQ(scene.CommentLines[2], "Atoms: 15");
}

TEST(MoleculeFile, MmcifFirstModelFirstAlternateLocation) {
  // The peptide again, the serine's OG in two places (A first), and a second model.
  std::string text =
      "data_TEST\n_entry.id TEST\n_struct.entry_id TEST\n_struct.title\n;Ala-Gly-Ser,\n"
      "a test\n;\nloop_\n_atom_site.group_PDB\n_atom_site.id\n_atom_site.type_symbol\n"
      "_atom_site.label_atom_id\n_atom_site.label_alt_id\n_atom_site.Cartn_x\n"
      "_atom_site.Cartn_y\n_atom_site.Cartn_z\n_atom_site.pdbx_PDB_model_num\n";
  int id = 0;
  std::string model2;
  std::istringstream lines(kPeptideAtoms);
  for (std::string l; std::getline(lines, l);) {
    const std::string element = l.substr(77, 1);
    std::string name = l.substr(13, 3);
    name.erase(name.find_last_not_of(' ') + 1);
    const std::string xyz = l.substr(30, 24);
    const bool og = name == "OG";
    text += "ATOM " + std::to_string(++id) + " " + element + " " + name + " " + (og ? "A " : ". ") +
            xyz + " 1\n";
    if (og) text += "ATOM " + std::to_string(++id) + " O OG B 9.400 1.500 2.950 1\n";
    model2 += "ATOM " + std::to_string(id + 100) + " " + element + " X . " + xyz + " 2\n";
  }
  text += model2 + "#\ndata_SECOND\n_entry.id SECOND\n";
  ScratchDir dir;
  const SceneData scene = ReadMolecule(dir.Write("peptide.cif", text));
  const Structure s = StructureOf(scene);
  EXPECT_EQ(s.atoms.size(), 15u);
  EXPECT_EQ(s.atoms[14].x, 9.2);
  EXPECT_EQ(BondSet(s.bonds), BondSet(kPeptideBonds));
  const std::vector<std::string> memo = {
      "File: peptide.cif",          "Format: mmCIF",   "Title: Ala-Gly-Ser, a test", "Atoms: 15",
      "Bonds: 14 (from distances)", "Formula: C8N3O4", "Models: 2, the first shown"};
  EXPECT_EQ(scene.CommentLines, memo);
}

TEST(MoleculeFile, MmcifBytesOutsideItsCharacterSetAreReadAsQuestionMarks) {
  // libcifpp 5.0 never returns from a loop value that holds a control character or a byte above
  // 0x7E (found by fuzzing); CIF allows neither.
  const std::string atoms =
      "data_x\nloop_\n_atom_site.type_symbol\n_atom_site.Cartn_x\n_atom_site.Cartn_y\n"
      "_atom_site.Cartn_z\nC 0 0 0\nO 1.2 0 0\n";
  struct Case {
    const char* what;
    std::string text;
    const char* title;
  } cases[] = {
      {"a byte above 0x7E in a loop", atoms + "loop_\n_x.a\n_x.b\n1 \xd5\n", nullptr},
      {"a control character in a loop", atoms + "loop_\n_x.a\n_x.b\n1 a\x01\n", nullptr},
      {"DEL", atoms + "loop_\n_x.a\n\x7f\n", nullptr},
      {"UTF-8 in the title", atoms + "_struct.title 'M\xc3\xbcller'\n", "Title: M??ller"},
  };
  ScratchDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const SceneData scene = ReadMolecule(dir.Write("x.mmcif", c.text));
    EXPECT_EQ(StructureOf(scene).bonds.size(), 1u);
    if (c.title) {
      EXPECT_EQ(scene.CommentLines[2], c.title);
    }
  }
}

TEST(MoleculeFile, SeveralModelsOrFramesShowTheFirst) {
  const std::string waterAgain = SdfText(kWater);
  struct Case {
    const char* file;
    std::string text;
    size_t atoms;
    const char* models;
  } cases[] = {
      {"two.sdf", SdfText(kWater) + SdfText(kEthanol), 3, "Models: 2, the first shown"},
      {"three.sdf", SdfText(kEthanol) + SdfText(kWater) + SdfText(kBenzene), 9,
       "Models: 3, the first shown"},
      {"frames.xyz", XyzText(kBenzene) + XyzText(kWater), 12, "Models: 2, the first shown"},
      {"nmr.pdb",
       std::string("MODEL        1\n") + kPeptideAtoms + "ENDMDL\nMODEL        2\n" +
           FirstLines(kPeptideAtoms, 4) + "ENDMDL\nEND\n",
       15, "Models: 2, the first shown"},
      {"one.pdb", std::string("MODEL        1\n") + kPeptideAtoms + "ENDMDL\nEND\n", 15, nullptr},
  };
  ScratchDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const SceneData scene = ReadMolecule(dir.Write(c.file, c.text));
    EXPECT_EQ(StructureOf(scene).atoms.size(), c.atoms);
    if (c.models) {
      EXPECT_EQ(scene.CommentLines.back(), c.models);
    } else {
      EXPECT_EQ(scene.CommentLines.back().rfind("Formula: ", 0), 0u);
    }
  }
}

TEST(MoleculeFile, V3000MolfilesOpen) {
  const std::string text =
      "CH\n  Kestrel\n\n  0  0  0     0  0            999 V3000\nM  V30 BEGIN CTAB\n"
      "M  V30 COUNTS 2 1 0 0 0\nM  V30 BEGIN ATOM\nM  V30 1 C 0 0 0 0\n"
      "M  V30 2 H 1.09 0 0 0\nM  V30 END ATOM\nM  V30 BEGIN BOND\nM  V30 1 1 1 2\n"
      "M  V30 END BOND\nM  V30 END CTAB\nM  END\n$$$$\n";
  ScratchDir dir;
  const Structure s = StructureOf(ReadMolecule(dir.Write("ch.mol", text)));
  EXPECT_EQ(s.atoms.size(), 2u);
  EXPECT_EQ(s.atoms[1].x, 1.09);
  EXPECT_EQ(s.bonds, (std::vector<Bond>{{0, 1}}));
}

TEST(MoleculeFile, KindByExtensionAndForCifAndXyzByContent) {
  struct Case {
    const char* path;
    const char* bytes;
    MoleculeKind kind;
  } cases[] = {
      {"a.sdf", "", MoleculeKind::Sdf},
      {"A.SD", "", MoleculeKind::Sdf},
      {"a.Mol", "", MoleculeKind::Mol},
      {"a.mol2", "", MoleculeKind::Mol2},
      {"a.cml", "", MoleculeKind::Cml},
      {"x/a.PDB", "", MoleculeKind::Pdb},
      {"a.ent", "", MoleculeKind::Pdb},
      {"a.mmcif", "", MoleculeKind::Mmcif},
      {"a.cif", "data_x\n_cell_length_a 5\nloop_\n_atom_site_fract_x\n", MoleculeKind::Cif},
      {"a.cif", "data_x\nloop_\n_atom_site.id\n_ATOM_SITE.CARTN_X\n", MoleculeKind::Mmcif},
      {"a.xyz", "3\nwater\n", MoleculeKind::Xyz},
      {"a.xyz", " \t12 \r\n", MoleculeKind::Xyz},
      {"a.xyz", "1 2 3\n4 5 6\n", MoleculeKind::None},  // a point cloud
      {"a.xyz", "3 atoms\n", MoleculeKind::None},
      {"a.xyz", "\n3\n", MoleculeKind::None},
      {"a.xyz", "", MoleculeKind::None},
      {"a.tmb", "", MoleculeKind::None},
      {"a.sdf.txt", "", MoleculeKind::None},
      {"sdf", "", MoleculeKind::None},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(MoleculeKindOf(c.path, c.bytes), c.kind) << c.path << " " << c.bytes;
  }
  EXPECT_TRUE(MoleculeExtension("a.XYZ"));
  EXPECT_FALSE(MoleculeExtension("a.ply"));
}

TEST(MoleculeFile, EveryFailureNamesTheFileAndWhatIsWrong) {
  ScratchDir dir;
  struct Case {
    const char* file;
    std::string text;
    std::string reason;  // after "The <kind> file "<path>" is damaged: "
    const char* kind;
  } cases[] = {
      {"empty.sdf", "", "it is empty", "SDF"},
      {"truncated.sdf", SdfText(kEthanol).substr(0, 200),
       "Problems reading a MDL file: Not enough atoms to match atom count (9) in counts line",
       "SDF"},
      {"short.xyz", "2\ncomment\nC 0 0 0\n",
       "Problems reading an XYZ file: Could not read line #4, file error. According to line one, "
       "there should be 2 atoms, and therefore 4 lines in the file.",
       "XYZ"},
      {"broken.cml", "<molecule><atomArray><atom id=\"a1\"", "Couldn't find end of Start Tag atom",
       "CML"},
      {"noatoms.pdb", "HEADER    NOTHING\nREMARK   1 NOTHING HERE\nEND\n", "it holds no atoms",
       "PDB"},
      {"empty.mmcif", "", "it is empty", "mmCIF"},
      {"nothing.mmcif", "data_x\n_entry.id x\n", "it has no atom_site table", "mmCIF"},
      {"unclosed.cif", "data_x\n_atom_site.Cartn_x 'open\n",
       "parse error at line 3: unterminated quoted string", "mmCIF"},
      {"table.cif", "data_x\nloop_\n_atom_site.id\n_atom_site.Cartn_x\n",
       "its atom_site table holds no atoms", "mmCIF"},
      {"nocoordinate.cif",
       "data_x\nloop_\n_atom_site.type_symbol\n_atom_site.Cartn_x\n_atom_site.Cartn_y\n"
       "_atom_site.Cartn_z\nC 1 2 3\nN 1 ? 3\n",
       "atom_site row 2 has no number for its y coordinate", "mmCIF"},
      {"word.cif",
       "data_x\nloop_\n_atom_site.type_symbol\n_atom_site.Cartn_x\n_atom_site.Cartn_y\n"
       "_atom_site.Cartn_z\nC 1 2 3abc\n",
       "atom_site row 1 has no number for its z coordinate", "mmCIF"},
      // libcifpp's parser fails as it is made, on its first token (found by fuzzing).
      {"quote.mmcif", "'open\n", "parse error at line 2: unterminated quoted string", "mmCIF"},
      {"circles.mmcif", "data_x\n_a.b 1\nloop_\nH\n", "libcifpp could not get past line 4",
       "mmCIF"},
      {"model.cif",
       "data_x\nloop_\n_atom_site.type_symbol\n_atom_site.Cartn_x\n_atom_site.Cartn_y\n"
       "_atom_site.Cartn_z\n_atom_site.pdbx_PDB_model_num\nC 1 2 3 one\n",
       "atom_site row 1 has no number for its model", "mmCIF"},
      {"nan.xyz", "1\nx\nC nan 0 0\n", "atom 1 is not at a finite place", "XYZ"},
      // Open Babel's V3000 reader would read past this line's fields (found by fuzzing).
      {"short.sdf", "meane\n\x80\xffl\n\n   0  V3000\nM V30 BEGIN \nM  VA",
       "line 5 has too few fields", "SDF"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const std::string path = dir.Write(c.file, c.text);
    EXPECT_EQ(Message(path),
              std::string("The ") + c.kind + " file \"" + path + "\" is damaged: " + c.reason);
  }
  // Open Babel's own sentence on an XYZ line that is not numbers: its start and its end, the
  // library's wording of the rule between them left to the library.
  const std::string words = dir.Write("words.xyz", "1\nx\nC zero 0 0\n");
  const std::string said = Message(words);
  EXPECT_EQ(said.rfind("The XYZ file \"" + words +
                           "\" is damaged: Problems reading an XYZ file: Could not read line #3. "
                           "OpenBabel found the line 'C zero 0 0' ",
                       0),
            0u)
      << said;
  const std::string end = "OpenBabel could not interpret item #1 as a number.";
  EXPECT_TRUE(said.size() > end.size() &&
              said.compare(said.size() - end.size(), end.size(), end) == 0)
      << said;
  const std::string missing = (dir.path() / "missing.pdb").string();
  EXPECT_EQ(Message(missing).rfind("Cannot open file \"" + missing + "\"", 0), 0u);
  const std::string cloud = dir.Write("cloud.xyz", "1 2 3\n");
  EXPECT_EQ(Message(cloud), "\"" + cloud + "\" is not a molecule file");
}

TEST(MoleculeFile, LibrariesPrintNothing) {
  ScratchDir dir;
  const std::string files[] = {
      dir.Write("a.cml", "<molecule><atomArray><atom id=\"a1\""),
      dir.Write("b.sdf", SdfText(kEthanol).substr(0, 200)),
      dir.Write("c.xyz", "2\ncomment\nC 0 0 0\n"),
      dir.Write("d.cif", "data_x\n_atom_site.Cartn_x 'open\n"),
      dir.Write("e.pdb", "HEADER\nATOM      1  N   ALA A   1       0.000   0.000   0.00x\n"),
      dir.Write("f.mol2", "@<TRIPOS>MOLECULE\nx\n 2 1\n"),
      dir.Write("g.sdf", SdfText(kBenzene) + "garbage after\n"),
  };
  // Both streams into a file for the length of the reads.
  const std::string caught = (dir.path() / "caught").string();
  fflush(stdout);
  fflush(stderr);
  const int saved[2] = {dup(1), dup(2)};
  const int sink = open(caught.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  ASSERT_GE(sink, 0);
  dup2(sink, 1);
  dup2(sink, 2);
  for (const std::string& f : files) Message(f);
  {
    // Open Babel's PDB reader and its core also print through C's stdio (a remark on some
    // insertion codes, found by fuzzing): that is silenced as well.
    LibraryQuiet quiet;
    std::fprintf(stderr, "to stderr\n");
    std::printf("to stdout\n");
    std::puts("puts");
    std::perror("perror");
  }
  fflush(stdout);
  fflush(stderr);
  dup2(saved[0], 1);
  dup2(saved[1], 2);
  close(sink);
  close(saved[0]);
  close(saved[1]);
  EXPECT_EQ(ReadWholeFile(caught), "");
}

TEST(MoleculeFile, PictureIsThatOfTheSameModelWrittenAsTumbra) {
  // Water by hand: circles of 0.33 (oxygen, red 255 13 13) and 0.155 Å (hydrogens, white), then
  // per bond two halves to its middle, each in its atom's colour. Tumbra lines list x, z, y.
  std::string tumbra =
      "# water\n\ns fillcircles\n"
      "s circlediameter 0.66\n0 0.1173 0 -255 13 13\n"
      "s circlediameter 0.31\n0 -0.4692 0.7572 -255 255 255\n0 -0.4692 -0.7572 -255 255 255\n"
      "0 0.1173 0 0\n0 MID 0.3786 255 13 13\n"
      "0 -0.4692 0.7572 0\n0 MID 0.3786 255 255 255\n"
      "0 0.1173 0 0\n0 MID -0.3786 255 13 13\n"
      "0 -0.4692 -0.7572 0\n0 MID -0.3786 255 255 255\n";
  // The middles' height, to the last bit as the middle is taken.
  const std::string middle = Printf("%.17g", 0.1173 * 0.5 + -0.4692 * 0.5);
  for (size_t at; (at = tumbra.find("MID")) != std::string::npos;) tumbra.replace(at, 3, middle);
  ScratchDir dir;
  FormFixture molecule;
  FormFixture written;
  for (FormFixture* f : {&molecule, &written}) f->form.FormResize(300 + FrameWidthAllowance, 260);
  molecule.form.AdoptScene(ReadMolecule(dir.Write("water.sdf", SdfText(kWater))));
  written.form.LoadTmbFile(dir.Write("water.tmb", tumbra));
  ASSERT_TRUE(written.controls.Messages.empty());
  ASSERT_EQ(molecule.form.Scale, written.form.Scale);

  for (int turn = 0; turn < 3; ++turn) {
    SCOPED_TRACE(turn);
    EXPECT_TRUE(molecule.form.FrameBitmap == written.form.FrameBitmap);
    for (FormFixture* f : {&molecule, &written}) {
      f->form.RotateCam(1, 0.7);
      f->form.RotateCam(0, 0.4);
      f->form.Render();
    }
  }
  // White Back turns the hydrogens and their halves dark grey in both.
  for (FormFixture* f : {&molecule, &written}) f->controls.ClickCheckBox(4);
  EXPECT_TRUE(molecule.form.FrameBitmap == written.form.FrameBitmap);
  EXPECT_EQ(molecule.form.Segments.size(), 7u);
  int grey = 0;
  for (const SegmentRecord& s : molecule.form.Segments) grey += s.Colour == MakeColor(40, 40, 40);
  EXPECT_EQ(grey, 4);
}

TEST(MoleculeFile, ExampleCaffeineListsTheBondsItsDistancesGive) {
  const SceneData scene = ReadMolecule(std::string(KESTREL_SOURCE_DIR) + "/examples/caffeine.sdf");
  const std::vector<std::string> memo = {"File: caffeine.sdf", "Format: SDF", "Title: caffeine",
                                         "Atoms: 24",          "Bonds: 25",   "Formula: C8H10N4O2"};
  EXPECT_EQ(scene.CommentLines, memo);
  const Structure s = StructureOf(scene);
  std::vector<MoleculeAtom> atoms;
  for (size_t i = 0; i < s.atoms.size(); ++i) {
    // The element back from its circle's colour.
    int element = 0;
    for (int e : {1, 6, 7, 8}) {
      if (ElementColour(e) == scene.Segments[i].Colour) element = e;
    }
    ASSERT_NE(element, 0);
    atoms.push_back({element, s.atoms[i]});
  }
  std::vector<Bond> fromDistances;
  PerceiveBonds(atoms, std::vector<uint8_t>(atoms.size(), 1), fromDistances);
  EXPECT_EQ(BondSet(s.bonds), BondSet(fromDistances));
}
