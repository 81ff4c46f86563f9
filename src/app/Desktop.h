// What the program says to the desktop and takes from it: its icon and the name of its desktop
// entry, the start-up options, and which dragged files it accepts.
#pragma once

#include <optional>
#include <string>

class QMimeData;

// The desktop entry the program installs (kestrel.desktop), without ".desktop".
inline constexpr char kDesktopFileName[] = "kestrel";

// Gives the application its icon (every window's, the about box's too) and its desktop entry's
// name, by which a Wayland compositor finds the icon and the name to show.
void SetUpApplication();

// The command line after Qt has taken its own options out: the first argument is the file to
// open, byte for byte as before; "--watch" after it asks to read the file again on every change.
// "--help" (or "-h") and "--version" anywhere ask for the usage or the version instead, and the
// program ends after printing it; the usage wins when both are there.
struct TStartOptions {
  std::string firstArgument;
  bool watch = false;
  bool help = false;
  bool version = false;
};
TStartOptions ParseStartArguments(int argc, const char* const* argv);

// What `kestrel --help` prints: what it opens, --watch, the keys in a line, and where the README
// is (`readme`).
std::string StartUsage(const std::string& readme);
// What `kestrel --version` prints, one line.
std::string VersionLine();
// Where the README is: the installed one beside the program (PREFIX/share/doc/kestrel), or, for
// a program run from its build folder, the checkout's.
std::string ReadmeLocation();

// The file a drag carries, when the window takes it: exactly one URL, a local file, whose name
// has the extension of a model (.tmb or .ksl, letter case ignored). Anything else, several files
// among them (we show one model, and which of several was meant is a guess), is refused.
std::optional<std::string> DroppedSceneFile(const QMimeData& data);
