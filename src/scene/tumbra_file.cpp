// The Tumbra file reader.
#include "scene/scene_model.h"

void TForm1::LoadTmbFile(const std::string&) { throw KestrelError("not built yet"); }

