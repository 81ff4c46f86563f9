// Which reader a file asks for. By name: the start-up rule (the extension, letter case ignored)
// that the command line, a dropped file, a watched file and kestrel-render all follow. In the
// Open dialog: the filter the user chose, whatever the name.
#pragma once

#include <string>

enum class SceneFileKind { None, Tumbra, Kestrel };

// One row per kind of file: the one place a new format gives its extension and its filter.
struct SceneFileType {
  SceneFileKind kind;
  const char* extension;  // from the dot, lower case
  int filterIndex;        // its filter's place in the Open dialog, from 1
};

inline constexpr SceneFileType kSceneFileTypes[] = {
    {SceneFileKind::Tumbra, ".tmb", 1},
    {SceneFileKind::Kestrel, ".ksl", 2},
};

// The text from the last dot to the end, ASCII letters in lower case; empty when there is no dot,
// or when a backslash, slash or colon comes after the last one.
std::string LowerExtension(const std::string& path);

// The kind of the extension in the table, None for any other.
SceneFileKind SceneFileKindOf(const std::string& path);

// The kind the Open dialog's filter `filterIndex` reads. An index no filter has reads as a
// scene file, as it always has.
SceneFileKind SceneFileKindOfFilter(int filterIndex);

// The Open dialog's filter that reads `kind`; 0 for None.
int FilterIndexOfKind(SceneFileKind kind);
