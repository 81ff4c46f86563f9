// Shared by the importers.
#include "formats/import_common.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "scene/error.h"

namespace {

std::string Counted(size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

std::vector<std::string> DescribeImport(const std::string& path, std::string_view format,
                                        size_t points, size_t lines, size_t dots) {
  const size_t slash = path.find_last_of('/');
  return {slash == std::string::npos ? path : path.substr(slash + 1), std::string(format),
          Counted(points, "point", "points") + ", " + Counted(lines, "line", "lines") + ", " +
              Counted(dots, "dot", "dots")};
}

std::string DamagedMessage(std::string_view format, const std::string& path,
                           std::string_view reason) {
  return "The " + std::string(format) + " file \"" + path + "\" is damaged: " + std::string(reason);
}

std::string TooLargeMessage(std::string_view format, const std::string& path,
                            std::string_view reason) {
  return "The " + std::string(format) + " file \"" + path +
         "\" is too large: " + std::string(reason);
}

uint64_t OpenFileSize(int fd) {
  struct stat info {};
  if (fstat(fd, &info) != 0 || info.st_size < 0) return 0;
  return static_cast<uint64_t>(info.st_size);
}
