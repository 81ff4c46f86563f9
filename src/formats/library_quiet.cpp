// Silencing the chemistry libraries for the length of a read.
#include "formats/library_quiet.h"

#include <libxml/xmlerror.h>

#include <cstdio>

namespace {

// Takes every character and keeps none.
class NullBuffer : public std::streambuf {
 protected:
  int_type overflow(int_type c) override { return traits_type::not_eof(c); }
  std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

NullBuffer& Nowhere() {
  static NullBuffer buffer;
  return buffer;
}

// C's streams go here instead: Open Babel prints through stdio too (the PDB reader's remarks on
// insertion codes, its core's messages on some files).
FILE* NullFile() {
  static FILE* const file = std::fopen("/dev/null", "w");
  return file;
}

void IgnoreGeneric(void*, const char*, ...) {}
void IgnoreStructured(void*, xmlErrorPtr) {}

}  // namespace

LibraryQuiet::LibraryQuiet()
    : out_(std::cout.rdbuf(&Nowhere())),
      err_(std::cerr.rdbuf(&Nowhere())),
      log_(std::clog.rdbuf(&Nowhere())),
      cOut_(stdout),
      cErr_(stderr) {
  if (FILE* nowhere = NullFile()) {
    std::fflush(stdout);
    std::fflush(stderr);
    stdout = nowhere;
    stderr = nowhere;
  }
  // libxml2 keeps its handlers per thread: set them on the thread that reads.
  xmlSetGenericErrorFunc(nullptr, IgnoreGeneric);
  xmlSetStructuredErrorFunc(nullptr, IgnoreStructured);
}

LibraryQuiet::~LibraryQuiet() {
  if (FILE* nowhere = NullFile()) std::fflush(nowhere);
  stdout = cOut_;
  stderr = cErr_;
  std::cout.rdbuf(out_);
  std::cerr.rdbuf(err_);
  std::clog.rdbuf(log_);
}
