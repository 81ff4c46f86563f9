// Anti-aliased lines.
#include "scene/scene_model.h"

void TForm1::WuLine(int32_t, int32_t, int32_t, int32_t, uint8_t, uint8_t, uint8_t) { throw KestrelError("not built yet"); }

