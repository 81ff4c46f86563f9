// Shared test helpers: a form wired to the recording fake, and scratch files.
#pragma once

#include "scene/headless_controls.h"
#include "scene/scene_model.h"
#include "support/scratch_dir.h"

// A TForm1 on a recording fake, created as the window creates it.
struct FormFixture {
  HeadlessControls controls;
  TForm1 form{controls};
  FormFixture() { controls.Attach(&form); }
};
