// The one step from a kind of file to its reader, shared by every way a file is opened: the
// command line, Open, a drop, a reload and kestrel-render.
#pragma once

#include <string>

#include "formats/file_kind.h"

class TForm1;

// What became of a load.
enum class LoadResult {
  // Nothing changed; the reader has shown why (or there was no reader for the name).
  Refused,
  // The model was read and shown, but the fit failed and has shown its message: the frame
  // shows the model as the failed fit left the view.
  Unfitted,
  // The model was read, fitted and drawn.
  Shown,
};

// Runs the reader of `type` on `path` (nothing for None, which is Refused). A reader reports its
// own failures; an error that escapes it (the scene file's, an imported file's: those are read
// whole off to the side and handed over only when read in full) is passed on, and has changed
// nothing either. A file read (Unfitted or Shown) is then told to the controls
// (FormControls::SceneFileOpened), whichever way it came in, with the Open filter that reads it
// again (OpenFilterOf).
LoadResult LoadSceneFile(TForm1& form, const SceneFileType& type, const std::string& path);

// The same, the reader picked by the file's name; a name no row has is Refused without a word.
LoadResult LoadSceneFile(TForm1& form, const std::string& path);

// What File > Open does once it has a name, and what the window's other ways of opening a file
// the user chose do (a drop, a recent file): the reader of `type`, then Save As is enabled once
// a model was read. A refused file changes nothing, Save As's state included (which before the
// first model would offer to save a model there is not); a failure that escapes the reader ends
// the command before that too.
void OpenSceneFile(TForm1& form, const SceneFileType& type, const std::string& path);
