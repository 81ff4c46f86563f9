// Scratch folders and whole files for the tests and the benchmarks.
#pragma once

#include <filesystem>
#include <string>

// A fresh folder of its own under the system's temporary folder, removed with everything in it
// when the object goes.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  // Writes `bytes` to `name` in the folder and returns the full path.
  std::string Write(const std::string& name, const std::string& bytes) const;

 private:
  std::filesystem::path path_;
};

std::string ReadWholeFile(const std::string& path);
