// The frame as a BMP file.
#include "scene/scene_model.h"

void TForm1::SaveImageAs1Click() {
  throw KestrelError("not built yet");
}

void TForm1::SaveBitmapFile(const std::string&) const {
  throw KestrelError("not built yet");
}
