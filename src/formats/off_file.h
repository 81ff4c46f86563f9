// OFF files: the counts their header announces are checked against the file's size before the
// library reads it, since it allocates for them first (a header of a few bytes could ask for
// gigabytes). The library then reads the file.
#pragma once

#include <string>

#include "formats/mesh_import.h"
#include "scene/scene_data.h"

// Reads an OFF file as ReadMeshFile would, refusing first a header that announces more
// vertices and faces than the file can hold, or more vertices than a model can.
SceneData ReadOffFile(const std::string& path, const MeshFormat& format);
