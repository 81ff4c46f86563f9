// The program on the desktop.
#include "app/Desktop.h"

#include <QApplication>
#include <QFile>
#include <QMimeData>
#include <QUrl>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "app/Resources.h"
#include "formats/file_kind.h"

void SetUpApplication() {
  QApplication::setWindowIcon(AppIcon());
  QGuiApplication::setDesktopFileName(QString::fromLatin1(kDesktopFileName));
}

TStartOptions ParseStartArguments(int argc, const char* const* argv) {
  TStartOptions options;
  if (argc > 1) options.firstArgument = argv[1];
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg(argv[i]);
    if (i >= 2 && arg == "--watch") options.watch = true;
    if (arg == "--help" || arg == "-h") options.help = true;
    if (arg == "--version") options.version = true;
  }
  if (options.help) options.version = false;
  return options;
}

std::string StartUsage(const std::string& readme) {
  return "usage: kestrel [MODEL [--watch]]\n"
         "\n"
         "Opens MODEL in Kestrel's window: a Tumbra model, a Kestrel scene, a mesh or a point\n"
         "cloud, by its extension (" +
         OpenedExtensions() +
         ").\n"
         "Without MODEL the window opens empty (File > Open, or drop a file on it).\n"
         "\n"
         "  --watch     read MODEL again whenever it changes on disk, keeping the view\n"
         "  --help      show this text\n"
         "  --version   show the version\n"
         "\n"
         "Keys: drag left to turn, right to pan; arrows turn, Ctrl+arrows or A/Q/S/D pan; wheel, "
         "F/C or Shift+Up/Down zoom; Ctrl+O open, F5 reload, F11 full screen.\n"
         "\n"
         "The README tells the rest (keys, kestrel-render, install): " +
         readme + "\n";
}

std::string VersionLine() {
  return "kestrel " KESTREL_VERSION "\n";
}

std::string ReadmeLocation() {
  namespace fs = std::filesystem;
  const fs::path installed = fs::path("..") / KESTREL_DOC_DIR / "README.md";
  std::error_code error;
  const fs::path program = fs::read_symlink("/proc/self/exe", error);
  if (!error) {
    const fs::path beside = (program.parent_path() / installed).lexically_normal();
    if (fs::exists(beside, error)) return beside.string();
  }
  const fs::path checkout = fs::path(KESTREL_SOURCE_DIR) / "README.md";
  if (fs::exists(checkout, error)) return checkout.string();
  return "PREFIX/" KESTREL_DOC_DIR "/README.md, where Kestrel is installed";
}

std::optional<std::string> DroppedSceneFile(const QMimeData& data) {
  const QList<QUrl> urls = data.urls();
  if (urls.size() != 1 || !urls.first().isLocalFile()) return std::nullopt;
  // The name as the file system spells it, as the open dialog hands it over.
  const std::string path = QFile::encodeName(urls.first().toLocalFile()).toStdString();
  if (path.empty() || SceneFileTypeOf(path) == nullptr) return std::nullopt;
  return path;
}
