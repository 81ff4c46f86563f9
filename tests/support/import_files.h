// Deterministic mesh and point-cloud files for the import benchmark: the same count always
// gives the same bytes, so figures from different runs compare.
#pragma once

#include <cstdint>
#include <filesystem>

// A closed torus of `triangles` triangles (rounded down to an even count of at least 8) as a
// binary STL file: every triangle lists its three corners, so each corner appears six times
// and each edge twice, as in every STL file.
void WriteStlTorus(const std::filesystem::path& file, int64_t triangles);

// The same torus as a Wavefront OBJ file with positions, normals and `f a//a b//b c//c`
// faces, six decimals a number (about 70 bytes a triangle).
void WriteObjTorus(const std::filesystem::path& file, int64_t triangles);

// `points` points of a bumpy sphere with colours, as a binary little-endian PLY vertex list
// (float x, y, z and uchar red, green, blue: 15 bytes a point).
void WritePlyCloud(const std::filesystem::path& file, int64_t points);

// The same kind of cloud as text, one `x y z` line a point with six decimals (about 35 bytes
// a line).
void WriteXyzCloud(const std::filesystem::path& file, int64_t points);
