// Running the molecule reader program and taking its scene.
#include "formats/molecule_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <new>
#include <string_view>

#include "formats/memory_budget.h"
#include "formats/molecule_process_testing.h"
#include "formats/scene_pipe.h"
#include "scene/error.h"

extern char** environ;

namespace {

constexpr const char* kReaderName = "kestrel-molecule";

std::string& ReaderOverride() {
  static std::string program;
  return program;
}

[[noreturn]] void CannotRead(const std::string& fileName, const std::string& reason) {
  throw KestrelError("Cannot read file \"" + fileName + "\": " + reason);
}

// Closes both ends it holds, whatever path the caller leaves by.
struct PipeEnds {
  int fds[2] = {-1, -1};
  ~PipeEnds() {
    for (const int fd : fds) {
      if (fd >= 0) ::close(fd);
    }
  }
};

}  // namespace

void SetMoleculeReaderForTesting(const std::string& program) {
  ReaderOverride() = program;
}

std::string MoleculeReaderPath() {
  if (!ReaderOverride().empty()) return ReaderOverride();
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return {};
  const std::filesystem::path here = self.parent_path();
  for (const std::filesystem::path& candidate :
       {here / kReaderName, here / ".." / "libexec" / "kestrel" / kReaderName,
        here / ".." / kReaderName}) {
    if (::access(candidate.c_str(), X_OK) == 0) return candidate.lexically_normal().string();
  }
  return {};
}

SceneData ReadMoleculeInReader(const std::string& fileName) {
  const std::string program = MoleculeReaderPath();
  if (program.empty()) {
    CannotRead(fileName, std::string("the molecule reader ") + kReaderName + " is not installed");
  }

  PipeEnds out;
  if (::pipe2(out.fds, O_CLOEXEC) != 0) CannotRead(fileName, std::strerror(errno));
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  // The scene or the message comes on standard output; whatever the libraries print on standard
  // error is theirs, and is dropped.
  posix_spawn_file_actions_adddup2(&actions, out.fds[1], STDOUT_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  // Names are bytes: the file's goes on as it came.
  char* const argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>(fileName.c_str()),
                        nullptr};
  pid_t child = 0;
  const int spawned = posix_spawn(&child, program.c_str(), &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    CannotRead(fileName, "the molecule reader cannot be run: " + std::string(std::strerror(spawned)));
  }
  ::close(out.fds[1]);
  out.fds[1] = -1;

  std::string said;
  bool outOfMemory = false;
  char piece[1 << 16];
  for (;;) {
    const ssize_t n = ::read(out.fds[0], piece, sizeof piece);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    try {
      said.append(piece, static_cast<size_t>(n));
    } catch (const std::bad_alloc&) {
      // Stop the reader rather than leave it blocked on a pipe no one reads.
      outOfMemory = true;
      ::kill(child, SIGKILL);
      break;
    }
  }
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (outOfMemory) throw NotEnoughMemory(fileName, said.size() * 2);

  if (WIFSIGNALED(status)) {
    CannotRead(fileName, "the molecule reader stopped on signal " +
                             std::to_string(WTERMSIG(status)) + " (" +
                             strsignal(WTERMSIG(status)) + ")");
  }
  const int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  if (code == 1 && !said.empty()) throw KestrelError(said);
  if (code != 0) {
    CannotRead(fileName, "the molecule reader ended with status " + std::to_string(code));
  }
  try {
    return SceneFromPipeBytes(said, fileName);
  } catch (const NotEnoughMemory&) {
    throw;
  } catch (const KestrelError& e) {
    CannotRead(fileName, e.what());
  }
}
