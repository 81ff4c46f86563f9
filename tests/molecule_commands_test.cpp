// Molecule files opened every way a file opens: the table sends each extension to the molecule
// reader (an .xyz only when its first line is an atom count, a .cif as mmCIF or as a crystal by
// what it holds), the load ticks Fill Circles, and a refused file leaves the whole state as it was.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "form_state.h"
#include "formats/file_kind.h"
#include "formats/live_reload.h"
#include "formats/memory_budget.h"
#include "formats/memory_budget_testing.h"
#include "formats/molecule_file.h"
#include "support/protein_files.h"
#include "test_support.h"

namespace {

const std::string kWaterSdf =
    "water\n  Kestrel test\n\n"
    "  3  2  0  0  0  0  0  0  0  0999 V2000\n"
    "    0.0000    0.0000    0.1173 O   0  0  0  0  0  0  0  0  0  0  0  0\n"
    "    0.0000    0.7572   -0.4692 H   0  0  0  0  0  0  0  0  0  0  0  0\n"
    "    0.0000   -0.7572   -0.4692 H   0  0  0  0  0  0  0  0  0  0  0  0\n"
    "  1  2  1  0\n  1  3  1  0\nM  END\n$$$$\n";

const std::string kWaterXyz = "3\nwater\nO 0 0 0.1173\nH 0 0.7572 -0.4692\nH 0 -0.7572 -0.4692\n";

const std::string kWaterCif =
    "data_water\n_cell_length_a 10\n_cell_length_b 10\n_cell_length_c 10\n"
    "_cell_angle_alpha 90\n_cell_angle_beta 90\n_cell_angle_gamma 90\n"
    "_symmetry_space_group_name_H-M 'P 1'\nloop_\n_atom_site_label\n_atom_site_type_symbol\n"
    "_atom_site_fract_x\n_atom_site_fract_y\n_atom_site_fract_z\n"
    "O1 O 0.5 0.5 0.51173\nH2 H 0.5 0.57572 0.45308\nH3 H 0.5 0.42428 0.45308\n";

struct MoleculeCommandTest : ::testing::Test, FormFixture {
  ScratchDir dir;
  MoleculeCommandTest() { form.FormResize(200 + FrameWidthAllowance, 150 + FrameHeightAllowance); }

  std::string Protein(const std::string& name, int32_t atoms) {
    const std::string path = (dir.path() / name).string();
    const ProteinStructure protein = MakeProtein(atoms);
    if (name.ends_with(".pdb") || name.ends_with(".ent")) {
      WritePdbFile(path, protein, false);
    } else {
      WriteMmcifFile(path, protein);
    }
    return path;
  }
};

// The ways a file opens, the Open dialog with the "Molecules" filter (the fifth) chosen.
std::vector<std::pair<const char*, std::function<void(FormFixture&, const std::string&)>>> Ways() {
  return {
      {"command line", [](FormFixture& f, const std::string& p) { f.form.FormShow(p); }},
      {"Open, Molecules",
       [](FormFixture& f, const std::string& p) {
         f.controls.NextOpen = HeadlessControls::OpenAnswer{p, 5};
         f.form.Open1Click();
       }},
      {"drop", [](FormFixture& f, const std::string& p) { f.form.OpenDroppedFile(p); }},
      {"reload", [](FormFixture& f, const std::string& p) { ReloadKeepingView(f.form, p); }},
  };
}

// The filters' text is checked with the table's (file_commands_test); here, that the Molecules
// filter reads every molecule extension by its name.
TEST(MoleculeKinds, TheMoleculesFilterReadsEachMoleculeExtension) {
  for (const char* name :
       {"a.PDB", "a.ent", "a.cif", "a.mmCIF", "a.sdf", "a.mol", "a.Mol2", "a.cml", "a.xyz"}) {
    const SceneFileType* type = SceneFileTypeForOpen(5, name);
    ASSERT_NE(type, nullptr) << name;
    EXPECT_EQ(type->kind, SceneFileKind::Imported) << name;
    EXPECT_NE(type->filters & kOpenMolecules, 0u) << name;
  }
}

TEST_F(MoleculeCommandTest, EveryWayInOpensEachKindAsBallAndStick) {
  const struct {
    std::string path;
    const char* format;  // the memo's second line
    int32_t atoms;
  } files[] = {
      {dir.Write("water.SDF", kWaterSdf), "Format: SDF", 3},
      {dir.Write("water.mol", kWaterSdf), "Format: MOL", 3},
      {dir.Write("water.xyz", kWaterXyz), "Format: XYZ", 3},
      {dir.Write("water.cif", kWaterCif), "Format: CIF", 3},
      {Protein("protein.pdb", 60), "Format: PDB", 60},
      {Protein("protein.ent", 60), "Format: PDB", 60},
      {Protein("protein.cif", 60), "Format: mmCIF", 60},
      {Protein("protein.mmcif", 60), "Format: mmCIF", 60},
  };
  for (const auto& file : files) {
    for (const auto& [way, open] : Ways()) {
      SCOPED_TRACE(file.path + " by " + way);
      FormFixture f;
      f.form.FormResize(200 + FrameWidthAllowance, 150 + FrameHeightAllowance);
      open(f, file.path);
      EXPECT_TRUE(f.controls.Messages.empty());
      ASSERT_GE(f.controls.Memo.size(), 3u);
      EXPECT_EQ(f.controls.Memo[1], file.format);
      const std::string atoms = "Atoms: " + std::to_string(file.atoms);
      EXPECT_EQ(std::count(f.controls.Memo.begin(), f.controls.Memo.end(), atoms), 1);
      // One circle per atom, filled: the load ticks the box.
      EXPECT_TRUE(f.form.FillCircles);
      EXPECT_TRUE(f.controls.Checks[kCircleFillCheckBox]);
      int32_t circles = 0;
      for (const SegmentRecord& s : f.form.Segments) circles += s.Kind == 1 ? 1 : 0;
      EXPECT_EQ(circles, file.atoms);
    }
  }
}

// An .xyz file is a molecule only when its first line holds an atom count alone; anything else
// is read, as before, as a point cloud, however the file is opened.
TEST_F(MoleculeCommandTest, AnXyzFileIsAMoleculeOnlyAfterACountLine) {
  const struct {
    const char* name;
    std::string text;
    const char* memo;  // the memo's second line
  } files[] = {
      {"water.xyz", kWaterXyz, "Format: XYZ"},
      {"padded.xyz", " \t3\r\nwater\r\nO 0 0 0\r\nH 0 0.76 -0.47\r\nH 0 -0.76 -0.47\r\n",
       "Format: XYZ"},
      {"cloud.xyz", "0 0 0\n1 1 1\n2 0 2\n", "XYZ point cloud"},
      {"named.xyz", "x y z\n0 0 0\n1 1 1\n2 0 2\n", "XYZ point cloud"},
      // A first line longer than one read of the file's start: decided by the whole line.
      {"long.xyz", std::string(5000, ' ') + "1 2 3\n4 5 6\n", "XYZ point cloud"},
      {"spaced.xyz", std::string(5000, ' ') + "3" + kWaterXyz.substr(1), "Format: XYZ"},
  };
  for (const auto& file : files) {
    const std::string path = dir.Write(file.name, file.text);
    for (int filter : {4, 5, 6}) {
      SCOPED_TRACE(std::string(file.name) + " with filter " + std::to_string(filter));
      FormFixture f;
      f.form.FormResize(200 + FrameWidthAllowance, 150 + FrameHeightAllowance);
      f.controls.NextOpen = HeadlessControls::OpenAnswer{path, filter};
      f.form.Open1Click();
      EXPECT_TRUE(f.controls.Messages.empty());
      ASSERT_GE(f.controls.Memo.size(), 2u);
      EXPECT_EQ(f.controls.Memo[1], file.memo);
    }
  }
}

// A damaged, empty, missing or too large molecule file, by every way in: refused with one message
// naming the file, and not one thing changed.
TEST_F(MoleculeCommandTest, ARefusedMoleculeChangesNothing) {
  controls.NextOpen = HeadlessControls::OpenAnswer{Protein("shown.pdb", 30), 5};
  form.Open1Click();
  ASSERT_TRUE(controls.Messages.empty());
  form.RotateCam(1, 0.3);
  controls.ClickCheckBox(kWhiteBackCheckBox);
  controls.ClickCheckBox(kCircleFillCheckBox);  // hollow circles, until a file is read
  form.Render();

  const std::string large = Protein("large.pdb", 2000);
  const struct {
    std::string path;
    std::string start;  // of the message
  } files[] = {
      {dir.Write("empty.sdf", ""), "The SDF file \""},
      {dir.Write("atoms.xyz", "3\nwater\nO 0 0 0\nH 0 x 0\n"), "The XYZ file \""},
      {dir.Write("nothing.pdb", "HEADER    NOTHING\nEND\n"), "The PDB file \""},
      {dir.Write("broken.mmcif", "data_x\nloop_\n_atom_site.id\n_atom_site.Cartn_x\n1\n"),
       "The mmCIF file \""},
      {(dir.path() / "missing.mol2").string(), "Cannot open file \""},
      {large, "Not enough memory to open \""},
  };
  // Room for the first files and the large one's bytes, not for its atoms.
  SetAvailableMemoryForTesting(std::filesystem::file_size(large) +
                               MoleculeBytes(std::filesystem::file_size(large), 200));
  for (const auto& file : files) {
    for (const auto& [way, open] : Ways()) {
      SCOPED_TRACE(file.path + " by " + way);
      const std::string before = DescribeState(form, controls);
      try {
        open(*this, file.path);
        ADD_FAILURE() << "read";
      } catch (const KestrelError& e) {
        const std::string message = e.what();
        EXPECT_TRUE(message.starts_with(file.start + file.path + "\"")) << message;
        if (file.path == large) {
          EXPECT_TRUE(dynamic_cast<const NotEnoughMemory*>(&e) != nullptr) << message;
        }
      }
      EXPECT_EQ(DescribeState(form, controls), before);
    }
  }
  SetAvailableMemoryForTesting(std::nullopt);
}

}  // namespace
