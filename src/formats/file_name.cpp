// A file's extension, as every way a file opens picks its reader by it.
#include "formats/file_name.h"

std::string LowerExtension(const std::string& path) {
  // The extension starts at the last dot, unless a path separator or drive colon comes after it.
  const size_t last = path.find_last_of(".\\:/");
  std::string extension;
  if (last != std::string::npos && path[last] == '.') extension = path.substr(last);
  for (char& c : extension) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return extension;
}
