// Protein-like benchmark structures.
#include "support/protein_files.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <stdexcept>

#include "support/bench_models.h"

namespace {

// A side-chain atom: where it sits from CB along the strand (x) and away from the backbone
// (z, flipped with the residue's side), and which atom of the residue it is bonded to.
struct SideAtom {
  const char* Name;
  const char* Element;
  double Along;
  double Out;
  int Parent;  // index in the residue: 1 is CA, 4 is CB
};

struct ResidueTemplate {
  const char* Name;
  std::vector<SideAtom> Side;
};

// Bond lengths about 1.5 Å (1.24 for the carboxylate, 1.8 for C–S); every pair that is not
// bonded lies at least 2.0 Å apart, so distances alone give back exactly these bonds.
const std::vector<ResidueTemplate>& Templates() {
  static const std::vector<ResidueTemplate> templates = {
      {"GLY", {}},
      {"ALA", {{"CB", "C", 0, 0, 1}}},
      {"SER", {{"CB", "C", 0, 0, 1}, {"OG", "O", 0.5, 1.43, 4}}},
      {"CYS", {{"CB", "C", 0, 0, 1}, {"SG", "S", 0.6, 1.70, 4}}},
      {"VAL", {{"CB", "C", 0, 0, 1}, {"CG1", "C", 1.25, 0.88, 4}, {"CG2", "C", -1.25, 0.88, 4}}},
      {"THR", {{"CB", "C", 0, 0, 1}, {"OG1", "O", 1.25, 0.88, 4}, {"CG2", "C", -1.25, 0.88, 4}}},
      {"LEU",
       {{"CB", "C", 0, 0, 1},
        {"CG", "C", 0.5, 1.43, 4},
        {"CD1", "C", 1.75, 2.31, 5},
        {"CD2", "C", -0.75, 2.31, 5}}},
      {"ILE",
       {{"CB", "C", 0, 0, 1},
        {"CG1", "C", 1.25, 0.88, 4},
        {"CG2", "C", -1.25, 0.88, 4},
        {"CD1", "C", 1.25, 2.41, 5}}},
      {"LYS",
       {{"CB", "C", 0, 0, 1},
        {"CG", "C", 0.5, 1.43, 4},
        {"CD", "C", 0, 2.86, 5},
        {"CE", "C", 0.5, 4.29, 6},
        {"NZ", "N", 0, 5.72, 7}}},
      {"ASP",
       {{"CB", "C", 0, 0, 1},
        {"CG", "C", 0.5, 1.43, 4},
        {"OD1", "O", 1.58, 2.04, 5},
        {"OD2", "O", -0.58, 2.04, 5}}},
  };
  return templates;
}

constexpr int kResiduesPerStrand = 50;
constexpr double kResidueRise = 3.75;
constexpr double kStrandSpacing = 5.0;
constexpr double kSheetSpacing = 15.0;
constexpr int kChainIds = 62;

char ChainId(int index) {
  static const char ids[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  return ids[index % kChainIds];
}

// Five columns: decimal up to 99,999, then hybrid-36 ("A0000" is 100,000).
std::string Serial5(int64_t serial) {
  if (serial < 100000) {
    char text[24];
    std::snprintf(text, sizeof text, "%5lld", static_cast<long long>(serial));
    return text;
  }
  int64_t n = serial - 100000 + 10LL * 36 * 36 * 36 * 36;
  std::string digits(5, '0');
  for (int i = 4; i >= 0; --i) {
    digits[i] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ"[n % 36];
    n /= 36;
  }
  return digits;
}

// Columns 13–16: a one-letter element's name starts in column 14.
std::string PdbAtomName(const ProteinAtom& atom) {
  std::string name = atom.Element.size() == 1 && atom.Name.size() < 4 ? " " + atom.Name : atom.Name;
  name.resize(4, ' ');
  return name;
}

}  // namespace

ProteinStructure MakeProtein(int32_t atoms) {
  ProteinStructure protein;
  protein.Atoms.reserve(static_cast<size_t>(atoms));
  BenchRandom random(0x5EED0F9A7E1Dull);
  const auto& templates = Templates();

  // Strands on a grid about as deep as it is wide: y steps of 5 Å, sheets 15 Å apart.
  const int64_t residues = atoms / 6 + 1;
  const int64_t strands = (residues + kResiduesPerStrand - 1) / kResiduesPerStrand;
  const int64_t sheets = std::max<int64_t>(1, std::llround(std::sqrt(strands / 3.0)));
  const int64_t strandsPerSheet = (strands + sheets - 1) / sheets;
  // Whole strands share a chain id, so residue numbers run on within a chain.
  const int64_t strandsPerChain = (strands + kChainIds - 1) / kChainIds;

  for (int64_t strand = 0; static_cast<int32_t>(protein.Atoms.size()) < atoms; ++strand) {
    const double y0 = kStrandSpacing * static_cast<double>(strand % strandsPerSheet);
    const double z0 = kSheetSpacing * static_cast<double>(strand / strandsPerSheet);
    const char chain = ChainId(static_cast<int>(strand / strandsPerChain));
    int32_t previousC = -1;
    for (int k = 0; k < kResiduesPerStrand && static_cast<int32_t>(protein.Atoms.size()) < atoms;
         ++k) {
      const ResidueTemplate& residue = templates[random.Next() % templates.size()];
      const int32_t number =
          static_cast<int32_t>(strand % strandsPerChain) * kResiduesPerStrand + k + 1;
      const double s = k % 2 == 0 ? 1.0 : -1.0;
      const double x0 = kResidueRise * k;
      const int32_t first = static_cast<int32_t>(protein.Atoms.size());
      auto add = [&](const char* name, const char* element, double x, double y, double z,
                     int parent) {
        if (static_cast<int32_t>(protein.Atoms.size()) >= atoms) return;
        protein.Atoms.push_back({name, residue.Name, element, chain, number, x, y0 + y, z0 + z});
        if (parent >= 0) {
          protein.Bonds.push_back({first + parent, static_cast<int32_t>(protein.Atoms.size() - 1)});
        }
      };
      // N, CA, C, O in the sheet's plane, zig-zagging by the residue's side.
      add("N", "N", x0, 0, 0, -1);
      if (previousC >= 0 && static_cast<int32_t>(protein.Atoms.size()) > first) {
        protein.Bonds.push_back({previousC, first});
      }
      add("CA", "C", x0 + 1.2, 0.83 * s, 0, 0);
      add("C", "C", x0 + 2.45, -0.02 * s, 0, 1);
      add("O", "O", x0 + 1.78, -1.05 * s, 0, 2);
      for (const SideAtom& side : residue.Side) {
        add(side.Name, side.Element, x0 + 1.2 + side.Along, 1.38 * s, (1.42 + side.Out) * s,
            side.Parent);
      }
      previousC = static_cast<int32_t>(protein.Atoms.size()) > first + 2 ? first + 2 : -1;
    }
  }
  return protein;
}

void WritePdbFile(const std::filesystem::path& file, const ProteinStructure& protein, bool conect) {
  std::ofstream out(file, std::ios::binary);
  if (!out) throw std::runtime_error("cannot write " + file.string());
  out << "HEADER    BENCHMARK                               01-JAN-24   BNCH              \n";
  out << "TITLE     GENERATED PROTEIN-LIKE STRUCTURE OF " << protein.Atoms.size() << " ATOMS\n";
  std::vector<int64_t> serials(protein.Atoms.size());
  int64_t serial = 1;
  char line[128];
  for (size_t i = 0; i < protein.Atoms.size(); ++i) {
    const ProteinAtom& a = protein.Atoms[i];
    serials[i] = serial;
    std::snprintf(line, sizeof line,
                  "ATOM  %s %s %3s %c%4d    %8.3f%8.3f%8.3f  1.00 20.00          %2s\n",
                  Serial5(serial).c_str(), PdbAtomName(a).c_str(), a.Residue.c_str(), a.Chain,
                  a.ResidueNumber, a.X, a.Y, a.Z, a.Element.c_str());
    out << line;
    ++serial;
    const bool chainEnds = i + 1 == protein.Atoms.size() || protein.Atoms[i + 1].Chain != a.Chain;
    if (chainEnds) {
      std::snprintf(line, sizeof line, "TER   %s      %3s %c%4d\n", Serial5(serial).c_str(),
                    a.Residue.c_str(), a.Chain, a.ResidueNumber);
      out << line;
      ++serial;
    }
  }
  if (conect) {
    std::vector<std::vector<int32_t>> partners(protein.Atoms.size());
    for (const auto& bond : protein.Bonds) {
      partners[bond[0]].push_back(bond[1]);
      partners[bond[1]].push_back(bond[0]);
    }
    for (size_t i = 0; i < partners.size(); ++i) {
      for (size_t j = 0; j < partners[i].size(); j += 4) {
        out << "CONECT" << Serial5(serials[i]);
        for (size_t k = j; k < partners[i].size() && k < j + 4; ++k) {
          out << Serial5(serials[partners[i][k]]);
        }
        out << '\n';
      }
    }
  }
  out << "END\n";
  if (!out.flush()) throw std::runtime_error("cannot write " + file.string());
}

void WriteMmcifFile(const std::filesystem::path& file, const ProteinStructure& protein) {
  std::ofstream out(file, std::ios::binary);
  if (!out) throw std::runtime_error("cannot write " + file.string());
  out << "data_BNCH\n#\n_entry.id BNCH\n#\n_struct.entry_id BNCH\n_struct.title "
         "'Generated protein-like structure of "
      << protein.Atoms.size() << " atoms'\n#\nloop_\n";
  for (const char* item : {"group_PDB", "id", "type_symbol", "label_atom_id", "label_alt_id",
                           "label_comp_id", "label_asym_id", "label_entity_id", "label_seq_id",
                           "pdbx_PDB_ins_code", "Cartn_x", "Cartn_y", "Cartn_z", "occupancy",
                           "B_iso_or_equiv", "auth_seq_id", "auth_asym_id", "pdbx_PDB_model_num"}) {
    out << "_atom_site." << item << '\n';
  }
  char line[160];
  for (size_t i = 0; i < protein.Atoms.size(); ++i) {
    const ProteinAtom& a = protein.Atoms[i];
    std::snprintf(line, sizeof line,
                  "ATOM %zu %s %s . %s %c 1 %d ? %.3f %.3f %.3f 1.00 20.00 %d %c 1\n", i + 1,
                  a.Element.c_str(), a.Name.c_str(), a.Residue.c_str(), a.Chain, a.ResidueNumber,
                  a.X, a.Y, a.Z, a.ResidueNumber, a.Chain);
    out << line;
  }
  out << "#\n";
  if (!out.flush()) throw std::runtime_error("cannot write " + file.string());
}
