// Scratch folders and whole files.
#include "support/scratch_dir.h"

#include <unistd.h>

#include <fstream>
#include <random>
#include <sstream>

ScratchDir::ScratchDir() {
  std::random_device random;
  path_ = std::filesystem::temp_directory_path() /
          ("kestrel-" + std::to_string(::getpid()) + "-" + std::to_string(random()));
  std::filesystem::create_directories(path_);
}

ScratchDir::~ScratchDir() {
  // A test may have taken its own permissions away to see a write fail.
  std::error_code error;
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, error);
  std::filesystem::remove_all(path_, error);
}

std::string ScratchDir::Write(const std::string& name, const std::string& bytes) const {
  const std::filesystem::path p = path_ / name;
  std::ofstream out(p, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return p.string();
}

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}
