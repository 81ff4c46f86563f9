// Point clouds as text (.xyz, .txt, .csv, .pts): one point a line, its columns separated by
// blanks, a comma or a semicolon, as `x y z` or `x y z r g b`, numbers with "." whatever the
// locale. Every point becomes a single-pixel dot.
#pragma once

#include <string>
#include <string_view>

#include "scene/scene_data.h"

struct PointCloudFormat {
  // Shown in the memo and in messages: "XYZ point cloud", ...
  std::string_view name;
  // The .pts layout: a first line holding only a whole number (the point count) is skipped,
  // and a line of seven columns is `x y z intensity r g b`.
  bool pts;
};

// The columns, when the first line that is no comment holds no number, are named by it
// (x, y, z, and r, g, b or red, green, blue, in any letter case; other names are skipped, and a
// leading "//" is dropped). Otherwise a line of six columns or more is `x y z r g b` (of seven
// in a .pts file, `x y z intensity r g b`), and a shorter one `x y z`; the first point line
// decides for the whole file. Colours run from 0 to 255, or from 0 to 1 when no colour value
// of the file is above 1. Blank lines and lines starting with "#" are skipped.
//
// Returns the scene with the memo describing the file and every option at its default. Throws
// KestrelError naming the file, and for a bad line its number and column; nothing changes.
SceneData ReadPointCloudFile(const std::string& path, const PointCloudFormat& format);

// The same on text already in memory; `path` is only named in the memo and in messages.
SceneData ParsePointCloud(std::string_view text, const std::string& path,
                          const PointCloudFormat& format);
