// Measurements in a child process of their own, so that a peak of memory is the measurement's
// own and not that of whatever the program did before.
#pragma once

#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <type_traits>

// Runs `work` in a child process and hands back in `result` the plain value it filled in. False
// when the child did not finish (it crashed, or could not hand the value back).
template <class T>
bool InChildProcess(T& result, const std::function<void(T&)>& work) {
  static_assert(std::is_trivially_copyable_v<T>, "the value crosses a pipe as bytes");
  int fds[2];
  if (pipe(fds) != 0) return false;
  const pid_t child = fork();
  if (child < 0) {
    close(fds[0]);
    close(fds[1]);
    return false;
  }
  if (child == 0) {
    close(fds[0]);
    T filled{};
    work(filled);
    _exit(write(fds[1], &filled, sizeof filled) == static_cast<ssize_t>(sizeof filled) ? 0 : 1);
  }
  close(fds[1]);
  const ssize_t got = read(fds[0], &result, sizeof result);
  close(fds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  return got == static_cast<ssize_t>(sizeof result) && WIFEXITED(status) &&
         WEXITSTATUS(status) == 0;
}
