// The user's settings.
#include "app/Settings.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace {

// One store for the program, named as its desktop entry is, whatever the application's name.
QSettings Store() {
  return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("kestrel"),
                   QStringLiteral("kestrel"));
}

const QString kRecent = QStringLiteral("recentFiles");

QString FolderKey(TFolder folder) {
  return folder == TFolder::Models ? QStringLiteral("folders/models")
                                   : QStringLiteral("folders/pictures");
}

void WriteRecentFiles(const QList<TRecentFile>& files) {
  QSettings store = Store();
  store.remove(kRecent);
  store.beginWriteArray(kRecent, static_cast<int>(files.size()));
  for (int i = 0; i < files.size(); ++i) {
    store.setArrayIndex(i);
    store.setValue(QStringLiteral("path"), files[i].path);
    store.setValue(QStringLiteral("filter"), files[i].filterIndex);
  }
  store.endArray();
}

}  // namespace

QList<TRecentFile> TSettings::RecentFiles() {
  QSettings store = Store();
  QList<TRecentFile> files;
  const int count = store.beginReadArray(kRecent);
  for (int i = 0; i < count && files.size() < kMaxRecentFiles; ++i) {
    store.setArrayIndex(i);
    TRecentFile file{store.value(QStringLiteral("path")).toString(),
                     store.value(QStringLiteral("filter")).toInt()};
    // A store edited by hand may hold anything; what cannot be a file is left out.
    if (!file.path.isEmpty() && !files.contains(file)) files.append(file);
  }
  store.endArray();
  return files;
}

QString TSettings::RememberOpened(const QString& path, int filterIndex) {
  const TRecentFile opened{QDir::cleanPath(QFileInfo(path).absoluteFilePath()), filterIndex};
  QList<TRecentFile> files = RecentFiles();
  // One entry a file, whichever reader read it last.
  files.removeIf([&](const TRecentFile& f) { return f.path == opened.path; });
  files.prepend(opened);
  while (files.size() > kMaxRecentFiles) files.removeLast();
  WriteRecentFiles(files);
  return opened.path;
}

void TSettings::ClearRecentFiles() {
  WriteRecentFiles({});
}

QString TSettings::LastFolder(TFolder folder) {
  return Store().value(FolderKey(folder)).toString();
}

void TSettings::RememberFolder(TFolder folder, const QString& chosenFile) {
  if (chosenFile.isEmpty()) return;
  Store().setValue(FolderKey(folder), QFileInfo(chosenFile).absolutePath());
}
