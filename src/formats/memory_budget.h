// What a file may ask of memory. Every reader estimates, from the counts it finds, what a file
// will need before it allocates for it, and refuses what the machine cannot give with one clear
// message instead of running out part way (or letting the allocator's own text reach the user).
#pragma once

#include <cstdint>
#include <string>

#include "scene/error.h"

// A file refused because opening it would need more memory than there is.
class NotEnoughMemory : public KestrelError {
 public:
  NotEnoughMemory(const std::string& fileName, uint64_t bytes);
};

// "Not enough memory to open "NAME": it needs about N GB", N in gigabytes (10^9 bytes) to one
// decimal, never below 0.1.
std::string NotEnoughMemoryMessage(const std::string& fileName, uint64_t bytes);

// The bytes this process can still take: the least of what the machine has free (its available
// memory and free swap), what the process's address-space and data limits leave of them, and
// what its control group's memory limit leaves.
uint64_t AvailableMemory();

// Throws NotEnoughMemory when `more` bytes beyond what the process holds now cannot be had. Its
// message gives `total`, what opening the file needs in all (the file itself included).
void RequireMemory(const std::string& fileName, uint64_t more, uint64_t total);
