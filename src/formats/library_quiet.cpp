// Silencing the chemistry libraries for the length of a read.
#include "formats/library_quiet.h"

#include <libxml/xmlerror.h>

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

void IgnoreGeneric(void*, const char*, ...) {}
void IgnoreStructured(void*, xmlErrorPtr) {}

}  // namespace

LibraryQuiet::LibraryQuiet()
    : out_(std::cout.rdbuf(&Nowhere())),
      err_(std::cerr.rdbuf(&Nowhere())),
      log_(std::clog.rdbuf(&Nowhere())) {
  // libxml2 keeps its handlers per thread: set them on the thread that reads.
  xmlSetGenericErrorFunc(nullptr, IgnoreGeneric);
  xmlSetStructuredErrorFunc(nullptr, IgnoreStructured);
}

LibraryQuiet::~LibraryQuiet() {
  std::cout.rdbuf(out_);
  std::cerr.rdbuf(err_);
  std::clog.rdbuf(log_);
}
