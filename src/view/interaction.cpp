// Mouse, keyboard, wheel and free spin.
#include "scene/scene_model.h"

void TForm1::FormMouseDown(MouseButton, int32_t, int32_t) { throw KestrelError("not built yet"); }

void TForm1::FormMouseMove(int32_t, int32_t) { throw KestrelError("not built yet"); }

void TForm1::FormMouseUp(MouseButton, int32_t, int32_t) { throw KestrelError("not built yet"); }

void TForm1::FormKeyDown(uint16_t&) { throw KestrelError("not built yet"); }

void TForm1::FormMouseWheel(int32_t) { throw KestrelError("not built yet"); }

void TForm1::FormMouseWheelDown() { throw KestrelError("not built yet"); }

void TForm1::FormMouseWheelUp() { throw KestrelError("not built yet"); }

void TForm1::Timer1Timer() { throw KestrelError("not built yet"); }

