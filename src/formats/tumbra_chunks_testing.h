// A switch for the tests alone: pieces of a Tumbra file as small as they like, so that small
// files are cut at every kind of line. Process-wide; the program never touches it.
#pragma once

#include <cstddef>

namespace tumbra {

// The smallest piece, in bytes, that the model lines are cut into; 0 puts back the program's
// own size.
void SetSmallestChunk(size_t bytes);

}  // namespace tumbra
