// Field counts of a V3000 connection table, as Open Babel 3.1.1 takes them.
#include "formats/molfile_guard.h"

#include <vector>

namespace {

// Open Babel reads a line into a buffer of this many bytes, the terminator included.
constexpr size_t kLongestLine = 32767;

// The fewest fields Open Babel takes from a line: "M V30 BEGIN ATOM"; an atom line "M V30 1 C
// 0.0 0.0 0.0 0" and its properties after; a bond line "M V30 1 1 1 2".
constexpr size_t kLineFields = 4;
constexpr size_t kAtomFields = 8;
constexpr size_t kBondFields = 6;
// A continued line hands on its fields from the fourth.
constexpr size_t kContinuedFields = 3;

// Lines as Open Babel sees them: it ends a line at LF, CR or CR LF.
std::vector<std::string_view> Lines(std::string_view bytes) {
  std::vector<std::string_view> lines;
  size_t start = 0;
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] != '\n' && bytes[i] != '\r') continue;
    lines.push_back(bytes.substr(start, i - start));
    if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < bytes.size()) lines.push_back(bytes.substr(start));
  return lines;
}

std::vector<std::string_view> Fields(std::string_view line) {
  std::vector<std::string_view> fields;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    const size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
    if (i > start) fields.push_back(line.substr(start, i - start));
  }
  return fields;
}

bool V3000Line(const std::vector<std::string_view>& f) {
  return f.size() >= 2 && f[0] == "M" && (f[1] == "V30" || f[1] == "END");
}

std::string At(size_t line, const std::string& what) {
  return "line " + std::to_string(line + 1) + " " + what;
}

}  // namespace

std::string MolfileHazard(std::string_view bytes) {
  const std::vector<std::string_view> lines = Lines(bytes);
  // The header's fourth line is the counts line; only "V3000" there leads to the V3000 reader.
  if (lines.size() < 4 || lines[3].find("V3000") == std::string_view::npos) return {};

  // Open blocks, innermost last. Inside any block but these three Open Babel skips lines up to
  // the block's end without opening the blocks they name.
  std::vector<std::string_view> blocks;
  const auto open = [&] { return blocks.empty() ? std::string_view{} : blocks.back(); };
  for (size_t i = 4; i < lines.size(); ++i) {
    if (lines[i].size() >= kLongestLine) return At(i, "is longer than the molfile reader takes");
    // The reader takes a line as a C string: a zero byte would end it there, short of the
    // fields it then reads anyway (a use after free in Open Babel, found by fuzzing).
    if (lines[i].find('\0') != std::string_view::npos) {
      return At(i, "holds a zero byte, which the molfile reader takes for its end");
    }
    std::vector<std::string_view> fields = Fields(lines[i]);
    if (fields.size() == 2 && fields[0] == "M" && fields[1] == "END") {
      if (blocks.empty()) return {};
      return At(i, "ends the molecule inside its " + std::string(open()) + " block");
    }
    if (!V3000Line(fields) || fields[1] != "V30")
      return At(i, "is not a V3000 line (\"M  V30 ...\")");
    // A line ending in '-' goes on on the next one, which hands on its fields from the fourth.
    const size_t first = i;
    while (!lines[i].empty() && lines[i].back() == '-') {
      if (++i >= lines.size()) return At(first, "goes on past the end of the file");
      const std::vector<std::string_view> more = Fields(lines[i]);
      if (!V3000Line(more) || more.size() < kContinuedFields) {
        return At(i, "does not go on with the line before it");
      }
      fields.insert(fields.end(), more.begin() + kContinuedFields, more.end());
    }

    const std::string_view block = open();
    const bool ends = fields.size() > 2 && fields[2] == "END";
    const size_t needed = ends              ? kLineFields
                          : block == "ATOM" ? kAtomFields
                          : block == "BOND" ? kBondFields
                                            : kLineFields;
    if (fields.size() < needed) {
      const char* what = ends              ? ""
                         : block == "ATOM" ? " for an atom"
                         : block == "BOND" ? " for a bond"
                                           : "";
      return At(first, std::string("has too few fields") + what);
    }
    const bool nests = block.empty() || block == "CTAB";
    if (ends) {
      if (!blocks.empty() && (block != "RGROUP" || fields[3] == "RGROUP")) blocks.pop_back();
    } else if (nests && fields[2] == "BEGIN") {
      blocks.push_back(fields[3]);
    }
  }
  return {};
}
