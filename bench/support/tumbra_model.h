// Deterministic Tumbra models for the load benchmarks, written to a scratch folder.
#pragma once

#include <cstdint>
#include <filesystem>

// A scratch folder of its own, removed with everything in it when the object goes.
class BenchFolder {
 public:
  BenchFolder();
  ~BenchFolder();
  BenchFolder(const BenchFolder&) = delete;
  BenchFolder& operator=(const BenchFolder&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// Writes `pointLines` point lines (after a comment block and two switches) to `file`. Every
// coordinate has 17 significant digits, the most a double needs and the slowest to read; the
// codes mix moves, coloured lines, circles and explicit colours. Same count, same bytes.
void WriteTumbraModel(const std::filesystem::path& file, int64_t pointLines);
