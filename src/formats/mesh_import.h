// Meshes, lines and points from the files Open Asset Import Library reads (OBJ, PLY, STL, OFF,
// glTF, COLLADA and others), as a scene of points and segments: faces become their outlines,
// line primitives lines, and point primitives and files without faces single-pixel dots.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "scene/scene_data.h"

struct MeshFormat {
  // Shown in the memo and in messages: "Wavefront OBJ", "STL", ...
  std::string_view name;
  // Whether the format has materials of its own. Where it has none the library makes one up,
  // whose colour is none of the file's: the default colour is taken instead.
  bool hasMaterials;
};

// About what the library holds for a mesh of `vertices` and `faces` (triangles, say): each
// vertex's position, normal and colour, each face's record and its corners.
uint64_t LibraryMeshBytes(uint64_t vertices, uint64_t faces);

// Reads the whole file through the library, without any of its post-processing steps, applies
// every node's transform, and returns the scene: corners merged by exact position, each edge
// once, colours from the vertices, else the material, else the default colour (white, as on the
// black background), the memo describing the file, every option at its default. Throws
// KestrelError naming the file and saying what is wrong; nothing is shown or changed.
//
// Before each step allocates, what it will need is asked of the memory left (RequireMemory):
// the file and `libraryBytes` (what the library will hold, where a reader knows the file's
// counts from its header) before the library reads it; then, from the counts the library found,
// the merging's tables and the model's arrays. A file that cannot fit throws NotEnoughMemory.
//
// `carriageReturnAt`: the file is served to the library with a carriage return inserted at that
// offset, before a line end (for a reader that knows the library misreads the file as it is).
SceneData ReadMeshFile(const std::string& path, const MeshFormat& format,
                       uint64_t libraryBytes = 0,
                       std::optional<uint64_t> carriageReturnAt = std::nullopt);
