// Which reader a file name asks for: the start-up rule (the extension, letter case ignored) that
// the command line, a dropped file, a watched file and kestrel-render all follow.
#pragma once

#include <string>

enum class SceneFileKind { None, Tumbra, Kestrel };

// The text from the last dot to the end, ASCII letters in lower case; empty when there is no dot,
// or when a backslash, slash or colon comes after the last one.
std::string LowerExtension(const std::string& path);

// Tumbra for ".tmb", Kestrel for ".ksl", None for anything else.
SceneFileKind SceneFileKindOf(const std::string& path);
