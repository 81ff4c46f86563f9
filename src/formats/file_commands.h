// The one step from a kind of file to its reader, shared by every way a file is opened: the
// command line, Open, a drop and a reload.
#pragma once

#include <string>

#include "formats/file_kind.h"

class TForm1;

// Runs the reader of `kind` on `path` (nothing for None). A reader reports its own failures;
// an error that escapes it is passed on. A file read in full is then told to the controls
// (FormControls::SceneFileOpened), whichever way it came in. Returns whether it was.
bool LoadSceneFile(TForm1& form, SceneFileKind kind, const std::string& path);

// What File > Open does once it has a name, and what the window's other ways of opening a file
// the user chose do (a drop, a recent file): the reader of `kind`, then Save As is enabled when
// the reader returns. A failure that escapes the reader ends the command before that.
void OpenSceneFile(TForm1& form, SceneFileKind kind, const std::string& path);
