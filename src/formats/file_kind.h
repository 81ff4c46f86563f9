// Which reader a file asks for. By name: the start-up rule (the extension, letter case ignored)
// that the command line, a dropped file, a watched file and kestrel-render all follow. In the
// Open dialog: the filter the user chose; its first two filters pick their reader whatever the
// name, the others leave it to the name.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "formats/file_name.h"

struct SceneData;

enum class SceneFileKind { None, Tumbra, Kestrel, Imported };

// The Open dialog's filters, in their order: bit k is filter k + 1. "All models", the last,
// lists every extension and is no bit of its own.
enum OpenFilter : unsigned {
  kOpenTumbra = 1u << 0,
  kOpenKestrel = 1u << 1,
  kOpenMeshes = 1u << 2,
  kOpenPointClouds = 1u << 3,
  kOpenMolecules = 1u << 4,
};

// Reads a whole file of another program into a scene, or throws KestrelError naming the file
// and what is wrong. `format` is the row's name, for the memo and the messages.
using ImportReader = SceneData (*)(const std::string& path, std::string_view format);

// One row per extension: the one place a new format gives its extension, its name, the Open
// filters that list it and its reader. A format of several extensions has a row for each.
struct SceneFileType {
  SceneFileKind kind;
  const char* extension;  // from the dot, lower case
  const char* name;       // the format, as the memo and the messages name it
  unsigned filters;       // the OpenFilter bits of the filters that list it
  ImportReader read;      // for an Imported kind; the form's own loaders read the others
};

std::span<const SceneFileType> SceneFileTypes();


// The row of the file's extension; null for an extension no row has.
const SceneFileType* SceneFileTypeOf(const std::string& path);

// The kind of the extension in the table, None for any other.
SceneFileKind SceneFileKindOf(const std::string& path);

// The Open dialog's filters as the user sees them, from the table, in order:
// "Tumbra File (*.tmb)", "Kestrel File (*.ksl)", "Meshes (*.obj *.ply ...)",
// "Point clouds (*.xyz ...)", "Molecules (*.xyz *.sdf ...)", "All models (...)".
std::vector<std::string> OpenFilters();

// What the Open dialog's filter `filterIndex` (from 1) reads `path` as. The first two read
// their own kind whatever the name, and an index no filter has reads as a scene file, as it
// always has; the others go by the name, and give null for a name no row has.
const SceneFileType* SceneFileTypeForOpen(int filterIndex, const std::string& path);

// Every extension Kestrel opens, in the table's order, each once: ".tmb, .ksl, ... and .pts".
std::string OpenedExtensions();

// What is said when a file is asked for by a name whose extension nothing reads.
std::string NotOpenedMessage(const std::string& path);

// The Open filter that reads `type` again from the same name: the first two for Kestrel's own
// kinds (which they read whatever the name), "All models" for the others (read by the name).
int OpenFilterOf(const SceneFileType& type);
