// Test hook of memory_budget: the memory the process is taken to have left, so that a test can
// refuse a file of a few megabytes as a machine would refuse one of many gigabytes.
#pragma once

#include <cstdint>
#include <optional>

// From now on AvailableMemory() answers `bytes`; nullopt measures the machine again.
void SetAvailableMemoryForTesting(std::optional<uint64_t> bytes);
