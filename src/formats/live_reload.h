// Reading a watched model file again after it changed on disk, keeping the user's view.
#pragma once

#include <string>

#include "formats/file_kind.h"

class TForm1;

// Loads `path` again with the reader its extension picks (as at start-up), keeping the camera
// axes, pan and zoom the user had. Returns true when the reader went through to its fit.
//
// The loaders reset the view and fit the new model; afterwards the user's axes, pan and Scale
// come back, and one more frame is drawn with them. The new fit stays as InitialScale and the
// reader's centre as Centre, so "Center" returns to the fitted view of the model as it is now.
// A file the reader refuses (one saved half-edited, or too large for memory) changes nothing at
// all, as any refused load: the model, memo, options and view shown stay, and only the reader's
// message is new; an error escaping the reader is passed on, having changed nothing either. A
// model the fit refuses is shown as the reader leaves it, in the user's view, with the old fit
// kept for Center. With no model shown before, there is no view to keep: the reload is a plain
// load.
bool ReloadKeepingView(TForm1& form, const std::string& path);

// The same with the reader of `type`, whatever the name: File > Reload reads the file with the
// reader that opened it.
bool ReloadKeepingView(TForm1& form, const SceneFileType& type, const std::string& path);
