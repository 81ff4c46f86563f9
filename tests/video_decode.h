// Reads a video back with the FFmpeg libraries, as a player would: what it holds, how long it
// lasts, and every picture as RGB32.
#pragma once

#include <QImage>
#include <cstdint>
#include <string>
#include <vector>

struct DecodedVideo {
  std::string error;        // empty when the whole file was read
  std::string container;    // the demuxer's name, e.g. "mov,mp4,m4a,3gp,3g2,mj2"
  std::string codec;        // "h264", "vp9", "gif"
  std::string pixelFormat;  // of the coded pictures, e.g. "yuv420p"
  int width = 0;
  int height = 0;
  int64_t durationMicroseconds = 0;  // as the container says
  std::vector<QImage> frames;
};

DecodedVideo DecodeVideo(const std::string& path);
