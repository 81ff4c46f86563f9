// The native scene file (.ksl): one zlib stream around the body of native_body.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "formats/file_commands.h"

class TForm1;

// The whole file of the form's model, options, centre and comment lines: the version 3 body,
// compressed. Throws KestrelError (the reason, without a file name) for a model the format
// cannot hold or this program could not open again.
std::vector<uint8_t> KslFileBytes(const TForm1& form);

// LoadKslFile, telling what became of the load. Nothing changes before the whole file was read
// and checked: a refused version returns Refused with its message shown; a file that cannot be
// read, is damaged, or needs more memory than there is throws KestrelError (NotEnoughMemory for
// the last) and has changed nothing either.
LoadResult LoadKestrelScene(TForm1& form, const std::string& fileName);
