// The field counts a V3000 molfile must have before Open Babel reads it: every line that made
// its reader read past the end of a line's fields refused, every well-formed file let through.
#include <gtest/gtest.h>

#include "formats/molfile_guard.h"

namespace {

const std::string kHeader = "methane\n  Kestrel\n\n  0  0  0     0  0            999 V3000\n";

std::string Ctab(const std::string& atoms, const std::string& bonds = "") {
  return kHeader + "M  V30 BEGIN CTAB\nM  V30 COUNTS 2 1 0 0 0\nM  V30 BEGIN ATOM\n" + atoms +
         "M  V30 END ATOM\nM  V30 BEGIN BOND\n" + bonds +
         "M  V30 END BOND\nM  V30 END CTAB\nM  END\n";
}

const std::string kAtoms = "M  V30 1 C 0 0 0 0\nM  V30 2 H 1.09 0 0 0\n";
const std::string kBond = "M  V30 1 1 1 2\n";

}  // namespace

TEST(MolfileGuard, RefusesWhatOpenBabelWouldReadPastAndNothingElse) {
  struct Case {
    const char* what;
    std::string text;
    const char* hazard;
  } cases[] = {
      {"a V2000 molecule is never checked",
       "x\n\n\n  1  0  0  0  0  0  0  0  0  0999 V2000\nM  V30\n", ""},
      {"a short file", "x\n\n", ""},
      {"well formed", Ctab(kAtoms, kBond), ""},
      {"properties after an atom, CR LF line ends",
       Ctab("M  V30 1 C 0 0 0 0 CHG=1 MASS=13\r\nM  V30 2 H 1.09 0 0 0\r\n", kBond), ""},
      {"an atom line going on on the next",
       Ctab("M  V30 1 C 0 0 -\nM  V30 x 0 0\n" + kAtoms, kBond), ""},
      {"a block Open Babel skips, with BEGIN lines in it",
       Ctab(kAtoms, kBond)
           .insert(Ctab(kAtoms, kBond).find("M  V30 END CTAB"),
                   "M  V30 BEGIN SGROUP\nM  V30 BEGIN X Y\nM  V30 END SGROUP\n"),
       ""},
      {"M V30 with one blank and a short BEGIN (found by fuzzing)", kHeader + "M V30 BEGIN \nM  VA",
       "line 5 has too few fields"},
      {"a lone M  V30", kHeader + "M  V30\nM  END\n", "line 5 has too few fields"},
      {"BEGIN without a block", kHeader + "M  V30 BEGIN\nM  END\n", "line 5 has too few fields"},
      {"a short atom", Ctab("M  V30 1 C 0 0 0\n", kBond), "line 8 has too few fields for an atom"},
      {"a short bond", Ctab(kAtoms, "M  V30 1 1 1\n"), "line 12 has too few fields for a bond"},
      {"M  END inside the atoms",
       kHeader + "M  V30 BEGIN CTAB\nM  V30 COUNTS 1 0 0 0 0\n"
                 "M  V30 BEGIN ATOM\nM  END\n",
       "line 8 ends the molecule inside its ATOM block"},
      {"a stray line inside the table", Ctab(kAtoms + "C 0 0 0\n", kBond),
       "line 10 is not a V3000 line (\"M  V30 ...\")"},
      {"going on past the end", kHeader + "M  V30 BEGIN CTAB -",
       "line 5 goes on past the end of the file"},
      {"going on with M  END", kHeader + "M  V30 BEGIN -\nM  END\n",
       "line 6 does not go on with the line before it"},
      {"a zero byte cutting a line short",
       kHeader + "M  V30 BEGIN CTAB\nM  V30 " + std::string(1, '\0') + "HEADER    PEPBEGTID",
       "line 6 holds a zero byte, which the molfile reader takes for its end"},
      {"a line longer than the reader takes",
       kHeader + "M  V30 BEGIN CTAB" + std::string(40000, ' ') + "\n",
       "line 5 is longer than the molfile reader takes"},
      {"END RGROUP too short",
       kHeader + "M  V30 BEGIN CTAB\nM  V30 BEGIN RGROUP 1\nM  V30 END\nM  END\n",
       "line 7 has too few fields"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(MolfileHazard(c.text), c.hazard);
  }
}
