// Whether an .xyz file is a molecule or a point cloud, by its first line. Reading a molecule
// itself is the reader program's (molecule_read.cpp, kestrel-molecule), which links the
// chemistry libraries; the program that shows the model never does.
#include "formats/molecule_file.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>

#include "formats/file_bytes.h"
#include "scene/error.h"

namespace {

bool Blank(char c) {
  return c == ' ' || c == '\t';
}

// An XYZ file's first line, fed in pieces as they are read: whether it holds only a count, digits
// with blanks around them. The answer is known at the line's end or at the first other byte, so a
// long first line is never held.
class CountLine {
 public:
  // Whether more of the line could change the answer.
  bool Feed(std::string_view piece) {
    for (const char c : piece) {
      if (c == '\n' || c == '\r') return false;
      const bool digit = c >= '0' && c <= '9';
      if (digit && state_ != kAfterDigits) {
        state_ = kDigits;
      } else if (Blank(c)) {
        if (state_ == kDigits) state_ = kAfterDigits;
      } else {
        state_ = kNoCount;
        return false;
      }
    }
    return true;
  }

  bool IsCount() const { return state_ == kDigits || state_ == kAfterDigits; }

 private:
  enum State { kBlanks, kDigits, kAfterDigits, kNoCount };
  State state_ = kBlanks;
};

}  // namespace

bool XyzHoldsMolecule(std::string_view bytes) {
  CountLine line;
  line.Feed(bytes);
  return line.IsCount();
}

bool XyzFileHoldsMolecule(const std::string& fileName) {
  const int fd = OpenRegularFile(fileName);
  CountLine line;
  char piece[4096];
  for (;;) {
    const ssize_t n = ::read(fd, piece, sizeof piece);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const int error = errno;
      ::close(fd);
      throw KestrelError("Cannot read file \"" + fileName + "\": " + std::strerror(error));
    }
    if (n == 0 || !line.Feed(std::string_view(piece, static_cast<size_t>(n)))) break;
  }
  ::close(fd);
  return line.IsCount();
}
