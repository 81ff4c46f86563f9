// Molecules are read by a program of their own, kestrel-molecule: the chemistry libraries it
// links may not be combined in one program with the mesh library's (Open Babel is GPL-2.0 only;
// Debian's Assimp links Draco, Apache-2.0), and a library that crashes or runs away on a damaged
// file takes that program down, not the window. It writes the scene it read to a pipe
// (formats/scene_pipe.h), or its message.
#pragma once

#include <string>

#include "scene/scene_data.h"

// The molecule in `fileName`, read by kestrel-molecule. Throws KestrelError with the reader's own
// message when it refuses the file, and a message naming the file when the reader cannot be run
// or does not end normally.
SceneData ReadMoleculeInReader(const std::string& fileName);

// Where kestrel-molecule is looked for: beside the running program (the build tree, or /usr/bin
// were it installed there), in ../libexec/kestrel/ from it (an installed Kestrel), and one folder
// up (the tests and benchmarks, in folders of the build tree). The first that exists, or empty.
std::string MoleculeReaderPath();
