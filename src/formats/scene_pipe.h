// A whole scene as bytes, for a reader that runs as a program of its own and hands what it read
// to the program that shows it. Both ends are the same build on the same machine: records go as
// they are in memory, and the receiving end still checks every count against what arrived.
#pragma once

#include <string>
#include <string_view>

#include "scene/scene_data.h"

std::string ScenePipeBytes(const SceneData& scene);

// The scene `bytes` hold. Throws KestrelError (the reason alone) when they are not a whole scene
// as ScenePipeBytes writes one, and NotEnoughMemory for `fileName` when its arrays cannot fit.
SceneData SceneFromPipeBytes(std::string_view bytes, const std::string& fileName);
