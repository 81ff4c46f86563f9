// The Tumbra reader on arbitrary bytes, followed by what a loaded model meets next: a frame,
// a resize, and a turn.
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzForm f(48, 40);
  f.form.LoadTmbFile(WriteFuzzFile(data, size, ".tmb"));
  CheckModelInvariants(f.form);
  f.form.FormResize(60 + FrameWidthAllowance, 30 + FrameHeightAllowance);
  f.form.RotateCam(1, 0.5);
  f.form.Render();
  return 0;
}
