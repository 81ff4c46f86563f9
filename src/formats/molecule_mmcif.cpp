// mmCIF through libcifpp's event parser: the atom_site rows are taken as the parser hands them
// over, never stored as a whole document. Loading the document instead would load and check it
// against the 5 MB PDBx dictionary that real files name, three times the time of the parse.
#include "formats/molecule_mmcif.h"

#include <cif++.hpp>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <optional>
#include <set>

#include "formats/byte_stream.h"
#include "formats/library_quiet.h"
#include "formats/molecule_bonds.h"
#include "formats/molecule_elements.h"
#include "scene/error.h"

namespace {

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

// '?' (unknown) and '.' (not applicable) hold no value.
bool Missing(std::string_view value) {
  return value.empty() || value == "?" || value == ".";
}

enum Field { kX, kY, kZ, kSymbol, kAlt, kModel, kFieldCount, kOther = kFieldCount };

Field FieldOf(std::string_view item) {
  static constexpr std::string_view kNames[kFieldCount] = {
      "Cartn_x", "Cartn_y", "Cartn_z", "type_symbol", "label_alt_id", "pdbx_PDB_model_num"};
  for (int f = 0; f < kFieldCount; ++f) {
    if (SameName(item, kNames[f])) return static_cast<Field>(f);
  }
  return kOther;
}

// Ends the parse at the second data block: only the first is shown.
struct SecondBlock {};

class AtomSiteParser : public cif::sac_parser {
 public:
  AtomSiteParser(std::istream& in, size_t bytes) : cif::sac_parser(in), budget_(2 * bytes + 16) {}

  Molecule molecule;
  std::set<int64_t> models;
  int64_t rows = 0;
  bool sawTable = false;

  void Finish() { EndRow(); }

 protected:
  void produce_datablock(const std::string&) override {
    EndRow();
    if (++blocks_ > 1) throw SecondBlock{};
  }
  void produce_category(const std::string& name) override {
    EndRow();
    inAtomSite_ = SameName(name, "atom_site");
    inStruct_ = SameName(name, "struct");
    sawTable = sawTable || inAtomSite_;
  }
  void produce_row() override {
    Advance();
    EndRow();
    if (!inAtomSite_) return;
    open_ = true;
    ++rows;
    for (std::string& value : values_) value.clear();
  }
  void produce_item(const std::string&, const std::string& item,
                    const std::string& value) override {
    Advance();
    if (inAtomSite_ && open_) {
      const Field field = FieldOf(item);
      if (field != kOther) values_[field] = value;
    } else if (inStruct_ && SameName(item, "title") && !Missing(value)) {
      molecule.Title = value;
    }
  }

 private:
  // Every row and every value the parser hands over takes at least one byte of the file: more of
  // them than twice the bytes means it no longer moves on. libcifpp 5.0 goes round for ever on
  // some damaged files (a loop_ with values but no names after another item).
  void Advance() {
    if (++produced_ > budget_) {
      throw KestrelError("libcifpp could not get past line " + std::to_string(m_line_nr));
    }
  }

  double Coordinate(Field field, const char* axis) const {
    const std::string& text = values_[field];
    double v = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (Missing(text) || error != std::errc() || end != text.data() + text.size()) {
      throw KestrelError("atom_site row " + std::to_string(rows) + " has no number for its " +
                         axis + " coordinate");
    }
    return v;
  }

  void EndRow() {
    if (!open_) return;
    open_ = false;
    int64_t model = 1;
    if (!Missing(values_[kModel])) {
      const std::string& text = values_[kModel];
      const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), model);
      if (error != std::errc() || end != text.data() + text.size()) {
        throw KestrelError("atom_site row " + std::to_string(rows) +
                           " has no number for its model");
      }
    }
    models.insert(model);
    if (!firstModelSet_) {
      firstModel_ = model;
      firstModelSet_ = true;
    }
    if (model != firstModel_) return;
    // The first alternate location stands for the others: two copies of a side chain would bond
    // to each other's neighbours.
    if (!Missing(values_[kAlt])) {
      if (alt_.empty()) alt_ = values_[kAlt];
      if (values_[kAlt] != alt_) return;
    }
    molecule.Atoms.push_back(
        MoleculeAtom{ElementNumber(values_[kSymbol]),
                     Vec3{Coordinate(kX, "x"), Coordinate(kY, "y"), Coordinate(kZ, "z")}});
  }

  size_t produced_ = 0;
  size_t budget_;
  std::string values_[kFieldCount];
  std::string alt_;
  int64_t firstModel_ = 0;
  bool firstModelSet_ = false;
  int blocks_ = 0;
  bool inAtomSite_ = false;
  bool inStruct_ = false;
  bool open_ = false;
};

}  // namespace

Molecule ReadMmcifMolecule(std::string_view bytes) {
  // libcifpp 5.0 loops for ever on a value in a loop that holds a byte outside CIF's character
  // set (a control character or one above 0x7E). CIF files hold none; where one does, it is read
  // as '?', which at worst spoils a title or a number, and the number is refused below.
  const auto outside = [](char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u < 0x20 && u != '\t' && u != '\n' && u != '\v' && u != '\f' && u != '\r') || u > 0x7E;
  };
  std::string cleaned;
  if (std::any_of(bytes.begin(), bytes.end(), outside)) {
    cleaned.assign(bytes);
    std::replace_if(cleaned.begin(), cleaned.end(), outside, '?');
    bytes = cleaned;
  }
  LibraryQuiet quiet;
  cif::VERBOSE = -1;
  ByteBuffer buffer(bytes);
  std::istream in(&buffer);
  // The parser reads its first token as it is made, and may fail there already.
  std::optional<AtomSiteParser> parser;
  try {
    parser.emplace(in, bytes.size());
    parser->parse_file();
  } catch (const SecondBlock&) {
  } catch (const KestrelError&) {
    throw;
  } catch (const std::bad_alloc&) {
    throw;
  } catch (const std::exception& e) {
    throw KestrelError(e.what());
  }
  parser->Finish();

  Molecule molecule = std::move(parser->molecule);
  if (!parser->sawTable) throw KestrelError("it has no atom_site table");
  if (molecule.Atoms.empty()) throw KestrelError("its atom_site table holds no atoms");
  molecule.Format = "mmCIF";
  molecule.Models = static_cast<int32_t>(std::min<size_t>(parser->models.size(), INT32_MAX));
  std::vector<uint8_t> all(molecule.Atoms.size(), 1);
  molecule.PerceivedBonds = PerceiveBonds(molecule.Atoms, all, molecule.Bonds);
  molecule.Formula = HillFormula(molecule.Atoms);
  return molecule;
}

bool CifHoldsMacromolecule(std::string_view bytes) {
  constexpr std::string_view kTag = "_atom_site.cartn_x";
  const auto hit =
      std::search(bytes.begin(), bytes.end(), kTag.begin(), kTag.end(),
                  [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; });
  return hit != bytes.end();
}
