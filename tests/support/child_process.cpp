// A job in a child process, its answer back through a pipe.
#include "support/child_process.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

std::string RunInChild(const std::function<std::string()>& job, rusage* usage) {
  int fds[2];
  if (pipe(fds) != 0) return "!pipe";
  std::fflush(nullptr);
  const pid_t child = fork();
  if (child == 0) {
    close(fds[0]);
    const std::string said = job();
    if (write(fds[1], said.data(), said.size()) < 0) _exit(2);
    _exit(0);
  }
  close(fds[1]);
  std::string said;
  char buffer[512];
  ssize_t n;
  while ((n = read(fds[0], buffer, sizeof buffer)) > 0) said.append(buffer, static_cast<size_t>(n));
  close(fds[0]);
  int status = 0;
  rusage ignored{};
  wait4(child, &status, 0, usage != nullptr ? usage : &ignored);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return "!child " + std::to_string(status);
  return said;
}
