// The program on the desktop.
#include "app/Desktop.h"

#include <QApplication>
#include <QFile>
#include <QMimeData>
#include <QUrl>
#include <string_view>

#include "app/Resources.h"
#include "formats/file_kind.h"

void SetUpApplication() {
  QApplication::setWindowIcon(AppIcon());
  QGuiApplication::setDesktopFileName(QString::fromLatin1(kDesktopFileName));
}

TStartOptions ParseStartArguments(int argc, const char* const* argv) {
  TStartOptions options;
  if (argc > 1) options.firstArgument = argv[1];
  for (int i = 2; i < argc; ++i) {
    if (std::string_view(argv[i]) == "--watch") options.watch = true;
  }
  return options;
}

std::optional<std::string> DroppedSceneFile(const QMimeData& data) {
  const QList<QUrl> urls = data.urls();
  if (urls.size() != 1 || !urls.first().isLocalFile()) return std::nullopt;
  // The name as the file system spells it, as the open dialog hands it over.
  const std::string path = QFile::encodeName(urls.first().toLocalFile()).toStdString();
  if (path.empty() || SceneFileTypeOf(path) == nullptr) return std::nullopt;
  return path;
}
