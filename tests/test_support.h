// Shared test helpers: a form wired to the recording fake, and scratch files.
#pragma once

#include <filesystem>
#include <string>

#include "scene/headless_controls.h"
#include "scene/scene_model.h"

// A TForm1 on a recording fake, created as the window creates it.
struct FormFixture {
  HeadlessControls controls;
  TForm1 form{controls};
  FormFixture() { controls.Attach(&form); }
};

// A fresh folder for this test's files, removed when the object goes.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  // Writes `bytes` to `name` in the folder and returns the full path.
  std::string Write(const std::string& name, const std::string& bytes) const;

 private:
  std::filesystem::path path_;
};

std::string ReadWholeFile(const std::string& path);
