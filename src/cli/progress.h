// kestrel-render's progress line for long jobs: "frame 12 of 120, 3 s left", kept on one line
// of standard error, and only when standard error is a terminal (never in a log or a pipe).
#pragma once

#include <chrono>
#include <cstdio>
#include <string>

// What the line says once `done` of `total` frames are finished, `elapsed` seconds after the
// first one began: the frame being worked on and, from the first finished frame on, the time
// the rest will take at the pace so far, rounded up to whole seconds.
std::string ProgressText(int done, int total, double elapsed);

class ProgressLine {
 public:
  // Shows nothing unless `stream` is a terminal.
  explicit ProgressLine(std::FILE* stream);
  // Leaves the terminal's line empty.
  ~ProgressLine();
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  // `done` frames of `total` are finished. Redrawn at most ten times a second.
  void Frames(int done, int total);
  // A step with no count, such as writing the file.
  void Say(const std::string& text);

 private:
  void Show(const std::string& text);

  std::FILE* stream_ = nullptr;  // null when quiet
  std::chrono::steady_clock::time_point start_;
  std::chrono::steady_clock::time_point shown_;
  size_t width_ = 0;  // of the text on the line now
};
