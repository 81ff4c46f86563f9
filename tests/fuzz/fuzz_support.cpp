#include "fuzz_support.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

std::string WriteFuzzFile(const uint8_t* data, size_t size, const char* extension) {
  const std::string path = (std::filesystem::temp_directory_path() /
                            ("kestrel-fuzz-" + std::to_string(getpid()) + extension))
                               .string();
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) std::abort();
  if (size != 0 && std::fwrite(data, 1, size, f) != size) std::abort();
  std::fclose(f);
  return path;
}

void CheckModelInvariants(const TForm1& form) {
  if (form.PointCount < 0 || static_cast<size_t>(form.PointCount) != form.Points.size()) {
    std::abort();
  }
  if (form.SegmentCount < 0 || static_cast<size_t>(form.SegmentCount) != form.Segments.size()) {
    std::abort();
  }
  for (const SegmentRecord& s : form.Segments) {
    if (s.First < 0 || s.First >= form.PointCount) std::abort();
    if (s.Kind == 0 && (s.Second < 0 || s.Second >= form.PointCount)) std::abort();
  }
}
