// Shared by the fuzz targets: a fresh form on headless controls for every input, with a small
// frame so that loads also fit and draw, and a scratch file to hand the loaders.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "scene/headless_controls.h"
#include "scene/scene_model.h"

struct FuzzForm {
  HeadlessControls controls;
  TForm1 form{controls};
  FuzzForm(int frameWidth, int frameHeight) {
    controls.Attach(&form);
    form.FormResize(frameWidth + FrameWidthAllowance, frameHeight + FrameHeightAllowance);
  }
};

// Writes `size` bytes to this process's scratch file for `extension` and returns its path.
std::string WriteFuzzFile(const uint8_t* data, size_t size, const char* extension);

// Checks the invariants every operation must leave, and aborts (a finding) when one is broken.
void CheckModelInvariants(const TForm1& form);
