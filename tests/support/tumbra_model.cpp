// Deterministic large Tumbra models.
#include "support/tumbra_model.h"

#include <charconv>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>

namespace {

// mt19937_64 is defined to the bit by the standard; the distributions are not, so the
// mapping to a coordinate is done here.
double Coordinate(std::mt19937_64& random) {
  const double unit = static_cast<double>(random() >> 11) * 0x1p-53;
  return unit * 200.0 - 100.0;
}

void AppendReal(std::string& out, double value) {
  char buffer[32];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 17);
  out.append(buffer, result.ptr);
}

}  // namespace

void WriteTumbraModel(const std::filesystem::path& file, int64_t pointLines) {
  std::ofstream out(file, std::ios::binary);
  if (!out) throw std::runtime_error("cannot write " + file.string());
  std::string chunk = "# Benchmark model\n# 17 significant digits\n\ns circlediameter 0.5\n";
  std::mt19937_64 random(20240611);
  // Eight kinds of line in turn: a move, five coloured lines, a circle, an explicit colour.
  static const char* const kCodes[8] = {" 0", " 1", " 2", " 3", " 4", " 5", " -1", " 200 10 20"};
  for (int64_t i = 0; i < pointLines; ++i) {
    AppendReal(chunk, Coordinate(random));
    chunk += ' ';
    AppendReal(chunk, Coordinate(random));
    chunk += ' ';
    AppendReal(chunk, Coordinate(random));
    chunk += kCodes[i % 8];
    chunk += '\n';
    if (chunk.size() > (1 << 20)) {
      out.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
      chunk.clear();
    }
  }
  out.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
  if (!out) throw std::runtime_error("cannot write " + file.string());
}
