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

#include <algorithm>
#include <cctype>
#include <cstring>
#include <istream>
#include <sstream>
#include <string>
#include <unordered_set>
#include <vector>

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

// One molecule read by Open Babel, or no value where it refuses the bytes (its reason is in its
// log).
bool ReadOne(OpenBabel::OBConversion& conv, std::string_view bytes, OpenBabel::OBMol& mol) {
  ByteBuffer buffer(bytes);
  std::istream in(&buffer);
  try {
    return conv.Read(&mol, &in);
  } catch (const std::bad_alloc&) {
    throw;
  } catch (const std::exception& e) {
    throw KestrelError(e.what());
  }
}

void AddAtoms(const OpenBabel::OBMol& mol, Molecule& molecule) {
  FOR_ATOMS_OF_MOL(atom, const_cast<OpenBabel::OBMol&>(mol)) {
    molecule.Atoms.push_back(MoleculeAtom{static_cast<int32_t>(atom->GetAtomicNum()),
                                          Vec3{atom->GetX(), atom->GetY(), atom->GetZ()}});
  }
}

// The bonds of `mol` among molecule atoms: Open Babel's atom k (from 0) is `atoms[k]`.
void AddBonds(const OpenBabel::OBMol& mol, const std::vector<int32_t>& atoms, Molecule& molecule) {
  FOR_BONDS_OF_MOL(bond, const_cast<OpenBabel::OBMol&>(mol)) {
    const int32_t first = atoms[bond->GetBeginAtomIdx() - 1];
    const int32_t second = atoms[bond->GetEndAtomIdx() - 1];
    molecule.Bonds.push_back({std::min(first, second), std::max(first, second)});
  }
}

std::vector<int32_t> Identity(size_t n) {
  std::vector<int32_t> atoms(n);
  for (size_t k = 0; k < n; ++k) atoms[k] = static_cast<int32_t>(k);
  return atoms;
}

OpenBabel::OBConversion Conversion(BabelFormat format) {
  OpenBabel::OBConversion conv;
  if (!conv.SetInFormat(FormatId(format))) {
    throw KestrelError(std::string("Open Babel has no reader for ") + FormatId(format) +
                       " files here (are its format plugins installed?)");
  }
  // Bonds by distance are ours: linear in the atoms, where Open Babel's own perception and bond
  // orders take most of its time on a large structure. Sticks carry no bond order anyway.
  if (ListsBondsAtWill(format)) {
    conv.AddOption("b", OpenBabel::OBConversion::INOPTIONS);
    conv.AddOption("s", OpenBabel::OBConversion::INOPTIONS);
  }
  if (format == BabelFormat::Cif) conv.AddOption("B", OpenBabel::OBConversion::INOPTIONS);
  return conv;
}

std::string ConectNote(size_t records) {
  return "The file's " + std::to_string(records) +
         " CONECT records were not read: too many for a structure this large";
}

// PDB as one read: atoms, title and bonds as Open Babel gives them.
void ReadWholePdb(std::string_view bytes, OpenBabel::OBMol& mol, Molecule& molecule) {
  OpenBabel::OBConversion conv = Conversion(BabelFormat::Pdb);
  const RecordCounts counts = CountPdbRecords(bytes);
  if (counts.conect > 0 && counts.conect * counts.atoms > kConectBudget) {
    conv.AddOption("c", OpenBabel::OBConversion::INOPTIONS);
    molecule.BondNote = ConectNote(counts.conect);
  }
  if (!ReadOne(conv, bytes, mol)) throw KestrelError(LibraryReason());
  AddAtoms(mol, molecule);
  AddBonds(mol, Identity(molecule.Atoms.size()), molecule);
}

bool IsAtomRecord(std::string_view line) {
  return line.starts_with("ATOM  ") || line.starts_with("HETATM");
}

// Columns `from` (from 0) on, `size` of them or as many as the line has, without blanks around.
std::string_view Columns(std::string_view line, size_t from, size_t size) {
  if (from >= line.size()) return {};
  std::string_view field = line.substr(from, size);
  while (!field.empty() && field.front() == ' ') field.remove_prefix(1);
  while (!field.empty() && field.back() == ' ') field.remove_suffix(1);
  return field;
}

// A PDB file's first molecule cut into pieces for Open Babel, and its atom and CONECT records.
struct PdbPieces {
  std::vector<std::string> texts;
  std::vector<std::string_view> atoms;  // in file order
  std::vector<std::string_view> conect;
};

// Pieces of at least `pieceAtoms` atom records, each of whole residues, of the lines up to the
// first END or ENDMDL line, where Open Babel ends the first molecule; the last piece ends with
// that line. The CONECT records are left out of the pieces: even told to ignore them, Open Babel
// spends as long on them as on the atoms.
PdbPieces CutPdb(std::string_view bytes, size_t pieceAtoms) {
  PdbPieces pieces;
  pieces.texts.emplace_back();
  size_t inPiece = 0;
  std::string_view residue;
  for (size_t at = 0; at < bytes.size();) {
    const size_t end = std::min(bytes.find('\n', at), bytes.size());
    std::string_view line = bytes.substr(at, end - at);
    at = end + 1;
    if (line.ends_with('\r')) line.remove_suffix(1);
    if (line.starts_with("CONECT")) {
      pieces.conect.push_back(line);
      continue;
    }
    if (IsAtomRecord(line)) {
      // Residue name, chain, number and insertion code.
      const std::string_view key = line.substr(std::min<size_t>(17, line.size()), 10);
      if (inPiece >= pieceAtoms && key != residue) {
        pieces.texts.emplace_back();
        inPiece = 0;
      }
      residue = key;
      ++inPiece;
      pieces.atoms.push_back(line);
    }
    pieces.texts.back().append(line).push_back('\n');
    if (line.starts_with("END")) break;
  }
  return pieces;
}

// The file's CONECT records as bonds, read by Open Babel from those records and the atom records
// they name (in file order). False where that read does not give one atom for each such record.
bool ReadConect(const PdbPieces& pieces, Molecule& molecule) {
  // Every serial a record may name: its five-column fields, and its words where a program
  // wrote them without the columns (naming more atom records than needed is harmless).
  std::unordered_set<std::string_view> named;
  for (std::string_view line : pieces.conect) {
    for (size_t from = 6; from < line.size(); from += 5) {
      const std::string_view serial = Columns(line, from, 5);
      if (!serial.empty()) named.insert(serial);
    }
    for (size_t at = 6; at < line.size();) {
      while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) ++at;
      const size_t start = at;
      while (at < line.size() && line[at] != ' ' && line[at] != '\t') ++at;
      if (at > start) named.insert(line.substr(start, at - start));
    }
  }
  std::string text;
  std::vector<int32_t> atoms;
  for (size_t k = 0; k < pieces.atoms.size(); ++k) {
    if (named.count(Columns(pieces.atoms[k], 6, 5)) == 0) continue;
    text.append(pieces.atoms[k]).push_back('\n');
    atoms.push_back(static_cast<int32_t>(k));
  }
  if (pieces.conect.size() * atoms.size() > kConectBudget) {
    molecule.BondNote = ConectNote(pieces.conect.size());
    return true;
  }
  for (std::string_view line : pieces.conect) text.append(line).push_back('\n');
  text += "END\n";
  OpenBabel::OBConversion conv = Conversion(BabelFormat::Pdb);
  OpenBabel::OBMol mol;
  if (!ReadOne(conv, text, mol) || mol.NumAtoms() != atoms.size()) return false;
  AddBonds(mol, atoms, molecule);
  return true;
}

// PDB in pieces. Open Babel looks each new residue up among every residue it has read before, so
// one read of a structure of 100,000 atoms takes seconds, nearly all of them there; read a few
// thousand atoms at a time, it takes a tenth of a second. Residues are not kept, and the atoms
// come in file order, the same as from one read. False where a piece is refused or the counts
// disagree (the whole file is then read at once, for Open Babel's own reason).
bool ReadPdbPieces(std::string_view bytes, size_t pieceAtoms, OpenBabel::OBMol& first,
                   Molecule& molecule) {
  const PdbPieces pieces = CutPdb(bytes, pieceAtoms);
  OpenBabel::OBConversion conv = Conversion(BabelFormat::Pdb);
  for (size_t p = 0; p < pieces.texts.size(); ++p) {
    OpenBabel::OBMol piece;
    OpenBabel::OBMol& mol = p == 0 ? first : piece;
    if (!ReadOne(conv, pieces.texts[p], mol)) return false;
    AddAtoms(mol, molecule);
  }
  if (molecule.Atoms.size() != pieces.atoms.size()) return false;
  return pieces.conect.empty() || ReadConect(pieces, molecule);
}

}  // namespace

Molecule ReadPdbMolecule(std::string_view bytes, size_t pieceAtoms, bool* readInPieces) {
  LibraryQuiet quiet;
  SilenceLog();
  Molecule molecule;
  molecule.Format = "PDB";
  OpenBabel::OBMol mol;
  const bool pieces = pieceAtoms != 0 && ReadPdbPieces(bytes, pieceAtoms, mol, molecule);
  if (readInPieces != nullptr) *readInPieces = pieces;
  if (!pieces) {
    molecule = Molecule{};
    molecule.Format = "PDB";
    mol.Clear();
    OpenBabel::obErrorLog.ClearLog();
    ReadWholePdb(bytes, mol, molecule);
  }
  if (molecule.Atoms.empty()) throw KestrelError("it holds no atoms");
  std::vector<uint8_t> unbonded(molecule.Atoms.size(), 1);
  for (const auto& bond : molecule.Bonds) unbonded[bond[0]] = unbonded[bond[1]] = 0;
  molecule.PerceivedBonds = PerceiveBonds(molecule.Atoms, unbonded, molecule.Bonds);
  // The TITLE record; Open Babel keeps the molecule's own title empty for PDB.
  if (auto* title = dynamic_cast<OpenBabel::OBPairData*>(mol.GetData("TITLE"))) {
    molecule.Title = title->GetValue();
  }
  molecule.Formula = HillFormula(molecule.Atoms);
  OpenBabel::OBConversion conv = Conversion(BabelFormat::Pdb);
  molecule.Models = CountModels(bytes, conv);
  OpenBabel::obErrorLog.ClearLog();
  return molecule;
}

Molecule ReadBabelMolecule(std::string_view bytes, BabelFormat format, const char* name) {
  if (format == BabelFormat::Pdb) {
    Molecule molecule = ReadPdbMolecule(bytes);
    molecule.Format = name;
    return molecule;
  }
  LibraryQuiet quiet;
  SilenceLog();
  OpenBabel::OBConversion conv = Conversion(format);

  if (format == BabelFormat::Sdf) {
    const std::string hazard = MolfileHazard(bytes);
    if (!hazard.empty()) throw KestrelError(hazard);
  }

  Molecule molecule;
  molecule.Format = name;
  OpenBabel::OBMol mol;
  if (!ReadOne(conv, bytes, mol)) throw KestrelError(LibraryReason());
  if (mol.NumAtoms() == 0) throw KestrelError("it holds no atoms");

  molecule.Atoms.reserve(mol.NumAtoms());
  AddAtoms(mol, molecule);
  molecule.Bonds.reserve(mol.NumBonds());
  AddBonds(mol, Identity(molecule.Atoms.size()), molecule);
  if (ListsBondsAtWill(format)) {
    std::vector<uint8_t> unbonded(molecule.Atoms.size(), 1);
    for (const auto& bond : molecule.Bonds) unbonded[bond[0]] = unbonded[bond[1]] = 0;
    molecule.PerceivedBonds = PerceiveBonds(molecule.Atoms, unbonded, molecule.Bonds);
  }
  molecule.Title = mol.GetTitle();
  molecule.Formula = mol.GetFormula();
  molecule.Models = CountModels(bytes, conv);
  OpenBabel::obErrorLog.ClearLog();
  return molecule;
}
