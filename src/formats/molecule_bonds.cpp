// Bonds from distances through a cell list.
#include "formats/molecule_bonds.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "formats/molecule_elements.h"

namespace {

// Far beyond any structure (the largest are a few thousand Å across), and small enough that a
// cell index and its neighbours stay well inside 64 bits.
constexpr double kFarthest = 1e15;

struct CellKey {
  int64_t x, y, z;
  bool operator==(const CellKey&) const = default;
};

uint64_t Mix(uint64_t h) {
  h ^= h >> 33;
  h *= 0xFF51AFD7ED558CCDull;
  h ^= h >> 33;
  h *= 0xC4CEB9FE1A85EC53ull;
  return h ^ (h >> 33);
}

uint64_t Hash(const CellKey& key) {
  return Mix(static_cast<uint64_t>(key.x) ^
             Mix(static_cast<uint64_t>(key.y) ^ Mix(static_cast<uint64_t>(key.z))));
}

// Cells by key: open addressing in a table at least twice as large as the atoms it holds.
class CellTable {
 public:
  explicit CellTable(size_t atoms) {
    size_t capacity = 16;
    while (capacity < 2 * atoms) capacity *= 2;
    slots_.assign(capacity, Slot{});
    mask_ = capacity - 1;
  }
  // The cell's number, a new one for a key not seen before.
  int32_t Insert(const CellKey& key) {
    for (size_t i = Hash(key) & mask_;; i = (i + 1) & mask_) {
      if (slots_[i].cell < 0) {
        slots_[i] = {key, cells_++};
        return slots_[i].cell;
      }
      if (slots_[i].key == key) return slots_[i].cell;
    }
  }
  // The cell's number, or −1 when no atom lies in it.
  int32_t Find(const CellKey& key) const {
    for (size_t i = Hash(key) & mask_;; i = (i + 1) & mask_) {
      if (slots_[i].cell < 0) return -1;
      if (slots_[i].key == key) return slots_[i].cell;
    }
  }
  int32_t Cells() const { return cells_; }

 private:
  struct Slot {
    CellKey key{};
    int32_t cell = -1;
  };
  std::vector<Slot> slots_;
  size_t mask_ = 0;
  int32_t cells_ = 0;
};

bool Usable(const Vec3& p) {
  return std::fabs(p.x) <= kFarthest && std::fabs(p.y) <= kFarthest && std::fabs(p.z) <= kFarthest;
}

}  // namespace

int32_t PerceiveBonds(const std::vector<MoleculeAtom>& atoms, const std::vector<uint8_t>& eligible,
                      std::vector<std::array<int32_t, 2>>& bonds) {
  std::array<double, kLastElement + 1> radii{};
  for (int32_t e = 0; e <= kLastElement; ++e) radii[static_cast<size_t>(e)] = CovalentRadius(e);
  auto radius = [&](int32_t element) {
    return radii[static_cast<size_t>(element >= 0 && element <= kLastElement ? element : 0)];
  };

  std::vector<int32_t> members;
  double largest = 0;
  for (size_t i = 0; i < atoms.size() && i < eligible.size(); ++i) {
    if (!eligible[i] || !Usable(atoms[i].Pos)) continue;  // NaN fails Usable too
    members.push_back(static_cast<int32_t>(i));
    largest = std::max(largest, radius(atoms[i].Element));
  }
  if (members.size() < 2) return 0;

  // No bond is longer than the two largest radii and the tolerance: a cell that wide holds every
  // partner of an atom in its own cell or in one of the 26 around it.
  const double edge = 2 * largest + kBondTolerance;
  auto keyOf = [edge](const Vec3& p) {
    return CellKey{static_cast<int64_t>(std::floor(p.x / edge)),
                   static_cast<int64_t>(std::floor(p.y / edge)),
                   static_cast<int64_t>(std::floor(p.z / edge))};
  };

  // Counting sort of the members by cell.
  CellTable table(members.size());
  std::vector<int32_t> cellOf(members.size());
  for (size_t m = 0; m < members.size(); ++m) {
    cellOf[m] = table.Insert(keyOf(atoms[static_cast<size_t>(members[m])].Pos));
  }
  std::vector<int32_t> start(static_cast<size_t>(table.Cells()) + 1, 0);
  for (int32_t cell : cellOf) ++start[static_cast<size_t>(cell) + 1];
  for (size_t c = 1; c < start.size(); ++c) start[c] += start[c - 1];
  std::vector<int32_t> inCell(members.size());
  {
    std::vector<int32_t> fill(start.begin(), start.end() - 1);
    for (size_t m = 0; m < members.size(); ++m) {
      inCell[static_cast<size_t>(fill[static_cast<size_t>(cellOf[m])]++)] = members[m];
    }
  }

  const size_t before = bonds.size();
  std::vector<int32_t> partners;
  for (int32_t i : members) {
    const MoleculeAtom& a = atoms[static_cast<size_t>(i)];
    const CellKey home = keyOf(a.Pos);
    const double ra = radius(a.Element) + kBondTolerance;
    partners.clear();
    for (int64_t dx = -1; dx <= 1; ++dx) {
      for (int64_t dy = -1; dy <= 1; ++dy) {
        for (int64_t dz = -1; dz <= 1; ++dz) {
          const int32_t cell = table.Find({home.x + dx, home.y + dy, home.z + dz});
          if (cell < 0) continue;
          for (int32_t k = start[static_cast<size_t>(cell)];
               k < start[static_cast<size_t>(cell) + 1]; ++k) {
            const int32_t j = inCell[static_cast<size_t>(k)];
            if (j <= i) continue;
            const MoleculeAtom& b = atoms[static_cast<size_t>(j)];
            const double x = b.Pos.x - a.Pos.x;
            const double y = b.Pos.y - a.Pos.y;
            const double z = b.Pos.z - a.Pos.z;
            const double d2 = x * x + y * y + z * z;
            const double reach = ra + radius(b.Element);
            if (d2 < reach * reach && d2 >= kShortestBond * kShortestBond) partners.push_back(j);
          }
        }
      }
    }
    std::sort(partners.begin(), partners.end());
    for (int32_t j : partners) bonds.push_back({i, j});
  }
  return static_cast<int32_t>(bonds.size() - before);
}
