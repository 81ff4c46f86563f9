// kestrel-molecule FILE: reads a molecule file through the chemistry libraries and writes the
// scene it makes to standard output, for the window and kestrel-render to show
// (formats/molecule_process.h). A file it refuses: status 1 and the message on standard output.
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <new>
#include <string>
#include <string_view>

#include "formats/molecule_file.h"
#include "formats/scene_pipe.h"
#include "scene/error.h"

namespace {

bool WriteAll(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(STDOUT_FILENO, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: kestrel-molecule FILE\n"
               "Reads a molecule file for Kestrel and writes its scene to standard output.\n",
               stderr);
    return 2;
  }
  // A reader that is no longer listened to just ends.
  signal(SIGPIPE, SIG_IGN);
  std::string out;
  int status = 0;
  try {
    out = ScenePipeBytes(ReadMolecule(argv[1]));
  } catch (const std::bad_alloc&) {
    out = "Out of memory";
    status = 1;
  } catch (const std::exception& e) {
    out = e.what();
    status = 1;
  }
  return WriteAll(out) ? status : 3;
}
