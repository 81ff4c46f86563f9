// Work done in a child process of its own: a limit, a lost privilege or a mount that must not
// touch the test program, or a peak of memory to be measured alone.
#pragma once

#include <sys/resource.h>

#include <cstring>
#include <functional>
#include <string>
#include <type_traits>

// Runs `job` in a child process and returns the text it returned, or "!child STATUS" when the
// child did not end normally. With `usage`, the child's use of the machine (its peak resident
// size among it).
std::string RunInChild(const std::function<std::string()>& job, rusage* usage = nullptr);

// Runs `work` in a child process and hands back in `result` the plain value it filled in. False
// when the child did not finish (it crashed, or could not hand the value back).
template <class T>
bool InChildProcess(T& result, const std::function<void(T&)>& work) {
  static_assert(std::is_trivially_copyable_v<T>, "the value crosses a pipe as bytes");
  const std::string said = RunInChild([&]() -> std::string {
    T filled{};
    work(filled);
    return std::string(reinterpret_cast<const char*>(&filled), sizeof filled);
  });
  if (said.size() != sizeof result || said.rfind("!child ", 0) == 0) return false;
  std::memcpy(&result, said.data(), sizeof result);
  return true;
}
