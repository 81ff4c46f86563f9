// The Tumbra reader on arbitrary bytes, over a model already shown: a refused file must leave
// everything exactly as it was; an accepted one must name only existing points. Then what a
// loaded model meets next: a frame, a resize, and a turn.
#include <cstdlib>

#include "../form_state.h"
#include "formats/tumbra_file.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string shown = [] {
    const char text[] = "# shown before\n\ns fadeoff\n0 0 0 0\n1 0 0 2\n1 1 0 -3 10 20\n";
    return WriteFuzzFile(reinterpret_cast<const uint8_t*>(text), sizeof text - 1, ".shown.tmb");
  }();
  FuzzForm f(48, 40);
  f.form.LoadTmbFile(shown);
  f.controls.Messages.clear();
  const std::string before = DescribeState(f.form, f.controls, false);
  if (LoadTumbraScene(f.form, WriteFuzzFile(data, size, ".tmb")) == LoadResult::Refused &&
      DescribeState(f.form, f.controls, false) != before) {
    std::abort();
  }
  CheckModelInvariants(f.form);
  f.form.FormResize(60 + FrameWidthAllowance, 30 + FrameHeightAllowance);
  f.form.RotateCam(1, 0.5);
  f.form.Render();
  return 0;
}
