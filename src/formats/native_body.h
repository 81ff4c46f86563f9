// The body of a native scene file (.ksl), the bytes inside its zlib stream: built from the
// form for saving, and parsed and checked in full into a SceneData before a load changes
// anything.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "scene/records.h"
#include "scene/scene_data.h"

class TForm1;

// The version written; 0 to 3 are read.
inline constexpr uint8_t FormatVersion = 3;

// The largest body written or read: 1 GiB. With 32-bit counts the format could describe far
// more (2^31 − 1 points alone are 48 GiB), more than any machine holds, so the bound is set by
// what a model can usefully be instead: 1 GiB is some 30 million points with as many lines,
// 3 to 4 GiB in memory and far too many to turn at an interactive rate. A file that unpacks to
// more is refused before it exhausts memory.
inline constexpr size_t kMaxKslBodyBytes = size_t{1} << 30;

// The version 3 body of the form's model, options, centre and CommentLines, widths from its
// VecSize and IntSize. Throws KestrelError (the reason, without the file name) for a model the
// format cannot hold or that this program could not open again.
std::vector<uint8_t> EncodeKslBody(const TForm1& form);

// Parses a body of version 0 to 3 and checks every count, index and number: the scene it holds,
// its centre given (a body always holds one). Throws KestrelError (the reason, without the file
// name) for a body that is damaged. Never allocates for a count that the rest of the body cannot
// hold.
SceneData DecodeKslBody(std::span<const uint8_t> body, uint8_t vecSize, uint8_t intSize);

// What the scene a body holds will take in memory once read and shown (SceneBytes and
// CommentLineBytes, scene/scene_data.h), from its counts and line lengths alone, before anything
// is allocated for them. Where the body is damaged the walk stops and what it counted stands:
// DecodeKslBody says what is wrong.
uint64_t KslSceneBytes(std::span<const uint8_t> body, uint8_t vecSize, uint8_t intSize);
