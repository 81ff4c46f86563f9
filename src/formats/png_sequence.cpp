#include "formats/png_sequence.h"

#include <cstdio>

#include "formats/file_bytes.h"
#include "formats/file_kind.h"
#include "formats/picture_file.h"
#include "scene/error.h"

namespace {

// The number's place in a pattern: where its directive starts and ends, and its width.
struct Directive {
  size_t begin = 0;
  size_t end = 0;
  int width = 0;
};

// The one number directive, or nothing when there is none, more than one, or a '%' that
// starts neither a directive nor "%%".
std::optional<Directive> FindDirective(const std::string& name) {
  std::optional<Directive> found;
  for (size_t i = 0; i < name.size(); ++i) {
    if (name[i] != '%') continue;
    Directive d{i, 0, 0};
    if (i + 1 < name.size() && name[i + 1] == '%') {
      ++i;
      continue;
    }
    if (i + 1 < name.size() && name[i + 1] == 'd') {
      d.end = i + 2;
    } else if (i + 3 < name.size() && name[i + 1] == '0' && name[i + 2] >= '1' &&
               name[i + 2] <= '9' && name[i + 3] == 'd') {
      d.width = name[i + 2] - '0';
      d.end = i + 4;
    } else {
      return std::nullopt;
    }
    if (found) return std::nullopt;
    found = d;
    i = d.end - 1;
  }
  return found;
}

// Literal text of a pattern: "%%" is one percent sign.
std::string Unescape(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    out += text[i];
    if (text[i] == '%') ++i;
  }
  return out;
}

}  // namespace

bool IsPngPattern(const std::string& name) {
  return LowerExtension(name) == ".png" && FindDirective(name).has_value();
}

std::string PatternFileName(const std::string& pattern, int number) {
  const Directive d = *FindDirective(pattern);
  char digits[16];
  std::snprintf(digits, sizeof digits, "%0*d", d.width, number);
  return Unescape(pattern.substr(0, d.begin)) + digits + Unescape(pattern.substr(d.end));
}

PngSequenceWriter::PngSequenceWriter(std::string pattern) : pattern_(std::move(pattern)) {
  CheckReplaceable(PatternFileName(pattern_, 0));
}

PngSequenceWriter::~PngSequenceWriter() {
  if (finished_) return;
  for (const std::string& name : written_) std::remove(name.c_str());
}

void PngSequenceWriter::AddFrame(const QImage& frame) {
  const std::string name = PatternFileName(pattern_, static_cast<int>(written_.size()));
  ReplaceFileBytes(name, PictureBytes(frame, PictureFormat::Png));
  written_.push_back(name);
}
