// Open Babel behind the molecule reader: the file goes in as bytes, the first molecule comes out
// as atoms and bonds, and Open Babel's own complaint becomes the reason in the message.
#include "formats/molecule_babel.h"

#include <openbabel/atom.h>
#include <openbabel/bond.h>
#include <openbabel/generic.h>
#include <openbabel/mol.h>
#include <openbabel/obconversion.h>
#include <openbabel/oberror.h>
#include <openbabel/obiter.h>

#include <cctype>
#include <cstring>
#include <istream>
#include <sstream>

#include "formats/byte_stream.h"
#include "formats/library_quiet.h"
#include "formats/molecule_bonds.h"
#include "formats/molecule_elements.h"
#include "formats/molecule_scene.h"
#include "formats/molfile_guard.h"
#include "scene/error.h"

namespace {

const char* FormatId(BabelFormat format) {
  switch (format) {
    case BabelFormat::Sdf:
      return "sdf";
    case BabelFormat::Mol2:
      return "mol2";
    case BabelFormat::Cml:
      return "cml";
    case BabelFormat::Cif:
      return "cif";
    case BabelFormat::Xyz:
      return "xyz";
    case BabelFormat::Pdb:
      return "pdb";
  }
  return "";
}

// Formats whose files may list no bonds, or bonds for only some of their atoms.
bool ListsBondsAtWill(BabelFormat format) {
  return format == BabelFormat::Xyz || format == BabelFormat::Pdb || format == BabelFormat::Cif;
}

// Open Babel's message without its banner lines, on one line: "Problems reading an XYZ file:
// Could not read line #4, file error. According to line one, ...".
std::string ReasonOf(const std::string& message) {
  std::string reason;
  std::istringstream lines(message);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("==", 0) == 0 || line.rfind("*** Open Babel", 0) == 0) continue;
    std::string text = OneLine(line);
    if (text.rfind("WARNING: ", 0) == 0) text.erase(0, 9);
    if (text.empty()) continue;
    if (!reason.empty())
      reason += std::isalnum(static_cast<unsigned char>(reason.back())) ? ": " : " ";
    reason += text;
  }
  return reason;
}

std::string LibraryReason() {
  for (auto level : {OpenBabel::obError, OpenBabel::obWarning}) {
    for (const std::string& message : OpenBabel::obErrorLog.GetMessagesOfLevel(level)) {
      std::string reason = ReasonOf(message);
      if (!reason.empty()) return reason;
    }
  }
  return "Open Babel could not read it";
}

struct RecordCounts {
  uint64_t conect = 0;
  uint64_t atoms = 0;
};

// Lines that begin with CONECT, and with ATOM or HETATM: only to size the work of the CONECT
// records before Open Babel does it.
RecordCounts CountPdbRecords(std::string_view bytes) {
  RecordCounts counts;
  size_t at = 0;
  while (at < bytes.size()) {
    const std::string_view line = bytes.substr(at, 6);
    if (line == "CONECT") ++counts.conect;
    if (line == "ATOM  " || line == "HETATM") ++counts.atoms;
    const void* end = std::memchr(bytes.data() + at, '\n', bytes.size() - at);
    if (end == nullptr) break;
    at = static_cast<size_t>(static_cast<const char*>(end) - bytes.data()) + 1;
  }
  return counts;
}

// How many molecules the file holds, the first included: through the format's own skipping where
// it has one, otherwise by reading them.
int32_t CountModels(std::string_view bytes, OpenBabel::OBConversion& conv) {
  ByteBuffer buffer(bytes);
  std::istream in(&buffer);
  conv.SetInStream(&in, false);
  int n = conv.NumInputObjects();
  if (n < 0) {
    in.clear();
    in.seekg(0);
    n = 0;
    for (OpenBabel::OBMol mol; conv.Read(&mol, &in); mol.Clear()) {
      if (mol.NumAtoms() > 0) ++n;
    }
  }
  conv.SetInStream(nullptr, false);
  return std::max(n, 1);
}

// Open Babel's message log goes nowhere but stays readable: its last message is our reason.
void SilenceLog() {
  static std::ostringstream* sink = [] {
    auto* s = new std::ostringstream;
    s->setstate(std::ios_base::badbit);
    OpenBabel::obErrorLog.SetOutputStream(s);
    return s;
  }();
  (void)sink;
  OpenBabel::obErrorLog.ClearLog();
}

}  // namespace

Molecule ReadBabelMolecule(std::string_view bytes, BabelFormat format, const char* name) {
  LibraryQuiet quiet;
  SilenceLog();
  OpenBabel::OBConversion conv;
  if (!conv.SetInFormat(FormatId(format))) {
    throw KestrelError(std::string("Open Babel has no reader for ") + FormatId(format) +
                       " files here (are its format plugins installed?)");
  }

  if (format == BabelFormat::Sdf) {
    const std::string hazard = MolfileHazard(bytes);
    if (!hazard.empty()) throw KestrelError(hazard);
  }

  Molecule molecule;
  molecule.Format = name;
  // Bonds by distance are ours: linear in the atoms, where Open Babel's own perception and bond
  // orders take most of its time on a large structure. Sticks carry no bond order anyway.
  if (ListsBondsAtWill(format)) {
    conv.AddOption("b", OpenBabel::OBConversion::INOPTIONS);
    conv.AddOption("s", OpenBabel::OBConversion::INOPTIONS);
  }
  if (format == BabelFormat::Cif) conv.AddOption("B", OpenBabel::OBConversion::INOPTIONS);
  if (format == BabelFormat::Pdb) {
    const RecordCounts counts = CountPdbRecords(bytes);
    if (counts.conect > 0 && counts.conect * counts.atoms > kConectBudget) {
      conv.AddOption("c", OpenBabel::OBConversion::INOPTIONS);
      molecule.BondNote = "The file's " + std::to_string(counts.conect) +
                          " CONECT records were not read: too many for a structure this large";
    }
  }

  OpenBabel::OBMol mol;
  {
    ByteBuffer buffer(bytes);
    std::istream in(&buffer);
    bool read = false;
    try {
      read = conv.Read(&mol, &in);
    } catch (const std::bad_alloc&) {
      throw;
    } catch (const std::exception& e) {
      throw KestrelError(e.what());
    }
    if (!read) throw KestrelError(LibraryReason());
  }
  if (mol.NumAtoms() == 0) throw KestrelError("it holds no atoms");

  molecule.Atoms.reserve(mol.NumAtoms());
  FOR_ATOMS_OF_MOL(atom, mol) {
    molecule.Atoms.push_back(MoleculeAtom{static_cast<int32_t>(atom->GetAtomicNum()),
                                          Vec3{atom->GetX(), atom->GetY(), atom->GetZ()}});
  }
  std::vector<uint8_t> unbonded(molecule.Atoms.size(), 1);
  molecule.Bonds.reserve(mol.NumBonds());
  FOR_BONDS_OF_MOL(bond, mol) {
    const auto first = static_cast<int32_t>(bond->GetBeginAtomIdx()) - 1;
    const auto second = static_cast<int32_t>(bond->GetEndAtomIdx()) - 1;
    molecule.Bonds.push_back({std::min(first, second), std::max(first, second)});
    for (int32_t end : {first, second}) {
      if (end >= 0 && static_cast<size_t>(end) < unbonded.size())
        unbonded[static_cast<size_t>(end)] = 0;
    }
  }
  if (ListsBondsAtWill(format)) {
    molecule.PerceivedBonds = PerceiveBonds(molecule.Atoms, unbonded, molecule.Bonds);
  }

  if (format == BabelFormat::Pdb) {
    // The TITLE record; Open Babel keeps the molecule's own title empty for PDB.
    if (auto* title = dynamic_cast<OpenBabel::OBPairData*>(mol.GetData("TITLE"))) {
      molecule.Title = title->GetValue();
    }
    molecule.Formula = HillFormula(molecule.Atoms);
  } else {
    molecule.Title = mol.GetTitle();
    molecule.Formula = mol.GetFormula();
  }
  molecule.Models = CountModels(bytes, conv);
  OpenBabel::obErrorLog.ClearLog();
  return molecule;
}
