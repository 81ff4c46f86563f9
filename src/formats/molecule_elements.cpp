// Element colours, radii and formulas from Open Babel's element table.
#include "formats/molecule_elements.h"

#include <openbabel/elements.h>

#include <algorithm>
#include <array>
#include <cmath>

#include "scene/colour_codes.h"

namespace {

constexpr int32_t kCarbon = 6;
constexpr int32_t kHydrogen = 1;

int32_t Known(int32_t element) {
  return element >= 0 && element <= kLastElement ? element : 0;
}

uint8_t Channel(double fraction) {
  return static_cast<uint8_t>(std::lround(std::clamp(fraction, 0.0, 1.0) * 255.0));
}

}  // namespace

int32_t ElementNumber(std::string_view symbol) {
  // The table spells symbols with one capital; files write "FE" (mmCIF, PDB) as often as "Fe".
  if (symbol.empty() || symbol.size() > 3) return 0;
  char spelled[4] = {};
  for (size_t i = 0; i < symbol.size(); ++i) {
    const char c = symbol[i];
    const bool upper = c >= 'A' && c <= 'Z';
    const bool lower = c >= 'a' && c <= 'z';
    if (!upper && !lower) return 0;
    spelled[i] = i == 0 ? static_cast<char>(upper ? c : c - 'a' + 'A')
                        : static_cast<char>(lower ? c : c - 'A' + 'a');
  }
  return Known(static_cast<int32_t>(OpenBabel::OBElements::GetAtomicNum(spelled)));
}

double CovalentRadius(int32_t element) {
  const double radius =
      OpenBabel::OBElements::GetCovalentRad(static_cast<unsigned>(Known(element)));
  return radius > 0 ? radius : OpenBabel::OBElements::GetCovalentRad(kCarbon);
}

double AtomRadius(int32_t element) {
  return kAtomRadiusFraction * CovalentRadius(element);
}

uint32_t ElementColour(int32_t element) {
  element = Known(element);
  if (element == kHydrogen) return MakeColor(255, 255, 255);
  double r = 0, g = 0, b = 0;
  OpenBabel::OBElements::GetRGB(static_cast<unsigned>(element), &r, &g, &b);
  return MakeColor(Channel(b), Channel(g), Channel(r));
}

std::string HillFormula(const std::vector<MoleculeAtom>& atoms) {
  std::array<int64_t, kLastElement + 1> counts{};
  for (const MoleculeAtom& atom : atoms) ++counts[static_cast<size_t>(Known(atom.Element))];
  std::string formula;
  auto add = [&](int32_t element) {
    const int64_t n = counts[static_cast<size_t>(element)];
    if (element == 0 || n == 0) return;
    formula += OpenBabel::OBElements::GetSymbol(static_cast<unsigned>(element));
    if (n > 1) formula += std::to_string(n);
    counts[static_cast<size_t>(element)] = 0;
  };
  if (counts[kCarbon] > 0) {
    add(kCarbon);
    add(kHydrogen);
  }
  // The rest by symbol, as the table spells it ("Cl" before "Co").
  std::vector<int32_t> rest;
  for (int32_t e = 1; e <= kLastElement; ++e) {
    if (counts[static_cast<size_t>(e)] > 0) rest.push_back(e);
  }
  std::sort(rest.begin(), rest.end(), [](int32_t a, int32_t b) {
    return std::string_view(OpenBabel::OBElements::GetSymbol(static_cast<unsigned>(a))) <
           std::string_view(OpenBabel::OBElements::GetSymbol(static_cast<unsigned>(b)));
  });
  for (int32_t e : rest) add(e);
  return formula;
}
