// Work done in a child process of its own: a limit, a lost privilege or a mount that must not
// touch the test program, or a peak of memory to be measured alone.
#pragma once

#include <sys/resource.h>

#include <functional>
#include <string>

// Runs `job` in a child process and returns the text it returned, or "!child STATUS" when the
// child did not end normally. With `usage`, the child's use of the machine (its peak resident
// size among it).
std::string RunInChild(const std::function<std::string()>& job, rusage* usage = nullptr);
