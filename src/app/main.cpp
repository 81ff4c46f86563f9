// Kestrel's window: start-up.
#include <QApplication>
#include <string>

#include "app/MainUnit.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  // Qt has taken its own options out of argv; the first argument left is the file to open,
  // passed on byte for byte.
  const std::string firstArgument = argc > 1 ? argv[1] : "";
  TMainWindow window(firstArgument);
  window.ShowCentred();
  return QApplication::exec();
}
