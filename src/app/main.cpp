// Kestrel's window: start-up.
#include <QApplication>
#include <cstdio>
#include <string>

#include "app/Desktop.h"
#include "app/MainUnit.h"

int main(int argc, char* argv[]) {
  // Answered before the toolkit starts: neither needs a display.
  const TStartOptions asked = ParseStartArguments(argc, argv);
  if (asked.help || asked.version) {
    const std::string text = asked.help ? StartUsage(ReadmeLocation()) : VersionLine();
    std::fputs(text.c_str(), stdout);
    return 0;
  }
  QApplication app(argc, argv);
  SetUpApplication();
  // Qt has taken its own options out of argv; the first argument left is the file to open.
  const TStartOptions options = ParseStartArguments(argc, argv);
  TMainWindow window(options.firstArgument);
  // Watching starts before the window shows and reads the file, so that no change is missed.
  if (options.watch) window.WatchFirstArgument();
  window.ShowCentred();
  return QApplication::exec();
}
