// What the window remembers from one run to the next, in the user's settings (Qt's store, under
// ~/.config/kestrel/ on Linux): the files opened last and the folders the file dialogs were last
// used in. Nothing the picture depends on is kept here; a model's options travel with its file.
#pragma once

#include <QList>
#include <QString>

// A file opened in full, and the Open filter of the reader that read it.
struct TRecentFile {
  QString path;  // absolute
  int filterIndex = 0;
  bool operator==(const TRecentFile&) const = default;
};

// The folders the dialogs start in: models for Open and Save As, pictures for Save Image As.
enum class TFolder { Models, Pictures };

class TSettings {
 public:
  // How many recent files are kept.
  static constexpr int kMaxRecentFiles = 10;

  // The files opened last, the latest first.
  static QList<TRecentFile> RecentFiles();
  // Puts `path` (made absolute and clean) first among the recent files, once, and keeps at most
  // kMaxRecentFiles. Returns the path as kept.
  static QString RememberOpened(const QString& path, int filterIndex);
  static void ClearRecentFiles();

  // The folder a dialog was last used in; empty before the first time.
  static QString LastFolder(TFolder folder);
  // Keeps the folder of `chosenFile` for the dialogs of `folder`.
  static void RememberFolder(TFolder folder, const QString& chosenFile);
};
