// The frame renderer.
#include "scene/scene_model.h"

// Interim: only presents the frame until the renderer lands.
void TForm1::Render() { BlitBitmap(); }
