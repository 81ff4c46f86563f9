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
struct TStartOptions {
  std::string firstArgument;
  bool watch = false;
};
TStartOptions ParseStartArguments(int argc, const char* const* argv);

// The file a drag carries, when the window takes it: exactly one URL, a local file, whose name
// has the extension of a model (.tmb or .ksl, letter case ignored). Anything else, several files
// among them (we show one model, and which of several was meant is a guess), is refused.
std::optional<std::string> DroppedSceneFile(const QMimeData& data);
