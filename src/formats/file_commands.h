// The one step from a kind of file to its reader, shared by every way a file is opened: the
// command line, Open, a drop and a reload.
#pragma once

#include <string>

#include "formats/file_kind.h"

class TForm1;

// Runs the reader of `type` on `path`. The form's own loaders report their own failures; an
// imported file is read whole off to the side and handed over only when it was read in full,
// and a refused one changes nothing: the error that says why is passed on, as every error that
// escapes a reader is.
void LoadSceneFile(TForm1& form, const SceneFileType& type, const std::string& path);
