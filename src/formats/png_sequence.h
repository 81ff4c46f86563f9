// Numbered PNG files named by a pattern: "spin_%03d.png" gives spin_000.png, spin_001.png, ...
// Each file is written through the same safe replace as every other file.
#pragma once

#include <QImage>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Whether `name` is a pattern of numbered PNG files: exactly one "%d", or "%0Nd" with N from 1 to
// 9 (the number at least N digits wide, zeros in front), "%%" for a percent sign, and the
// extension .png in any letter case.
bool IsPngPattern(const std::string& name);

// The name of file `number` of a pattern IsPngPattern accepts.
std::string PatternFileName(const std::string& pattern, int number);

class PngSequenceWriter {
 public:
  // Throws KestrelError when the first file could not be written at all (no such folder, no
  // permission), before any frame is drawn. Nothing is written yet.
  explicit PngSequenceWriter(std::string pattern);
  // Abandoned before Finish (a failed write, a failed frame), it removes every file it wrote,
  // so that no partial sequence is left.
  ~PngSequenceWriter();
  PngSequenceWriter(const PngSequenceWriter&) = delete;
  PngSequenceWriter& operator=(const PngSequenceWriter&) = delete;

  // Writes the next frame as file 0, 1, 2, ...; throws KestrelError naming the file and the
  // reason.
  void AddFrame(const QImage& frame);
  // Keeps the files.
  void Finish() { finished_ = true; }

 private:
  std::string pattern_;
  std::vector<std::string> written_;
  bool finished_ = false;
};
