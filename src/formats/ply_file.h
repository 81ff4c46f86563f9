// PLY files. The header is read here first: one that is not a PLY header to its end (the library
// loops for ever on some), and counts the file cannot hold, are refused before the library
// allocates anything for them; and the commonest large PLY file, a binary little-endian list of
// vertices (a scan or a point cloud, often of many millions of points), is read by our own
// reader, several times quicker than the library. Every other PLY file goes to the library.
#pragma once

#include <optional>
#include <string>

#include "formats/mesh_import.h"
#include "scene/scene_data.h"

// Reads a PLY file as ReadMeshFile would: the same scene, memo and messages.
SceneData ReadPlyFile(const std::string& path, const MeshFormat& format);

// The header checked as ReadPlyFile does, then the whole file read by the library, whichever
// reader ReadPlyFile would take. A binary body that starts with a line feed is read as it stands
// (ReadMeshFile on its own reads it a byte late).
SceneData ReadPlyWithLibrary(const std::string& path, const MeshFormat& format);

// Our own reader alone: the scene of a binary little-endian vertex list it fully understands
// (only scalar vertex properties, x, y and z as float or double, red, green and blue as uchar
// if at all, none of the other names the library reads as a colour (r, g, b; alpha without
// red, green and blue), no other element with any items, and exactly the bytes the header asks
// for); no value for any other file, which the library is to read. Throws KestrelError for a file it
// refuses: a damaged header, counts the file cannot hold, a position that is not finite.
std::optional<SceneData> ReadPlyVertexList(const std::string& path, const MeshFormat& format);
