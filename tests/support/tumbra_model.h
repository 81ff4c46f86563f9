// Deterministic large Tumbra models, written to a file.
#pragma once

#include <cstdint>
#include <filesystem>

// Writes `pointLines` point lines (after a comment block and two switches) to `file`. Every
// coordinate has 17 significant digits, the most a double needs and the slowest to read; the
// codes mix moves, coloured lines, circles and explicit colours. Same count, same bytes.
void WriteTumbraModel(const std::filesystem::path& file, int64_t pointLines);
