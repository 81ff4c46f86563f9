#include "cli/progress.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>

std::string ProgressText(int done, int total, double elapsed) {
  const int current = done < total ? done + 1 : total;
  std::string text = "frame " + std::to_string(current) + " of " + std::to_string(total);
  if (done < 1 || done >= total) return text;
  const double left = std::ceil(elapsed / done * (total - done));
  if (!std::isfinite(left)) return text;
  const long long seconds = static_cast<long long>(std::min(left, 1e9));
  if (seconds < 60) return text + ", " + std::to_string(seconds) + " s left";
  return text + ", " + std::to_string(seconds / 60) + " min " + std::to_string(seconds % 60) +
         " s left";
}

ProgressLine::ProgressLine(std::FILE* stream)
    : start_(std::chrono::steady_clock::now()), shown_(start_) {
  if (isatty(fileno(stream))) stream_ = stream;
}

ProgressLine::~ProgressLine() {
  Show("");
}

void ProgressLine::Frames(int done, int total) {
  const auto now = std::chrono::steady_clock::now();
  if (done > 0 && done < total && now - shown_ < std::chrono::milliseconds(100)) return;
  shown_ = now;
  Show(ProgressText(done, total, std::chrono::duration<double>(now - start_).count()));
}

void ProgressLine::Say(const std::string& text) {
  Show(text);
}

void ProgressLine::Show(const std::string& text) {
  if (!stream_) return;
  // Spaces over what is left of a longer line, then back to the end of this one.
  std::string line = "\r" + text;
  if (width_ > text.size()) line += std::string(width_ - text.size(), ' ') + "\r" + text;
  width_ = text.size();
  std::fputs(line.c_str(), stream_);
  std::fflush(stream_);
}
