// The one step from a kind of file to its reader, shared by every way a file is opened: the
// command line, Open, a drop and a reload.
#pragma once

#include <string>

#include "formats/file_kind.h"

class TForm1;

// Runs the reader of `kind` on `path` (nothing for None). A reader reports its own failures;
// an error that escapes it is passed on.
void LoadSceneFile(TForm1& form, SceneFileKind kind, const std::string& path);
