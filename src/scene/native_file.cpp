// The native scene file.
#include "scene/scene_model.h"

void TForm1::LoadKslFile(const std::string&) { throw KestrelError("not built yet"); }

void TForm1::SaveKslFile(const std::string&) { throw KestrelError("not built yet"); }

void TForm1::SaveAs1Click() { throw KestrelError("not built yet"); }

