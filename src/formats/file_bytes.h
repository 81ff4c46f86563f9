// Files read whole into memory and written whole from memory; a write never destroys the file
// it replaces.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

// The whole file. Throws KestrelError naming the file and the reason when it cannot be read,
// and when it holds more than `maxBytes` (checked before anything is read).
std::vector<uint8_t> ReadFileBytes(const std::string& fileName, uint64_t maxBytes);

// Creates or replaces the file with `bytes`. The bytes go to a temporary file in the same
// folder, which is flushed to disk and then renamed over the target, so the old file stays
// whole until the new one is. On failure the temporary file is removed, the old file is as it
// was, and KestrelError names the file and the reason.
void ReplaceFileBytes(const std::string& fileName, std::span<const uint8_t> bytes);
