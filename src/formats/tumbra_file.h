// The Tumbra file reader: a plain-text Tumbra file read in full into a scene off to the side,
// and the load that hands it to the form only once the whole file was read.
#pragma once

#include <optional>
#include <string>

#include "formats/file_commands.h"
#include "scene/scene_data.h"

class FormControls;
class WorkerPool;

// The scene the file holds, or nullopt when it is refused. Every refusal, and an unrecognised
// switch (once for the file; reading goes on), is shown through `controls` as it is met. Asks for
// the memory the file's counts call for before it allocates anything for them. A large file's
// lines are read on `pool`'s threads, with the same outcome as on one.
std::optional<SceneData> ReadTumbraScene(const std::string& fileName, FormControls& controls,
                                         WorkerPool& pool);

// LoadTmbFile, telling what became of the load. A refused file changes nothing at all: the
// model, the memo, the options, the centre, the view, the enabled commands and the frame on
// screen stay as they were, and only its message is new.
LoadResult LoadTumbraScene(TForm1& form, const std::string& fileName);
