// The watched file: change events, the settle timer, the re-watch after a rename.
#include "app/FileWatch.h"

#include <sys/stat.h>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <utility>

namespace {

TFileWatch::Stamp StampOf(const std::string& path) {
  TFileWatch::Stamp stamp;
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return stamp;
  stamp.exists = true;
  stamp.device = info.st_dev;
  stamp.inode = info.st_ino;
  stamp.size = info.st_size;
  stamp.modifiedNs =
      static_cast<long long>(info.st_mtim.tv_sec) * 1000000000LL + info.st_mtim.tv_nsec;
  return stamp;
}

// `path` from the root, as bytes.
std::string Absolute(const std::string& path) {
  if (!path.empty() && path.front() == '/') return path;
  return QFile::encodeName(QDir::currentPath()).toStdString() + "/" + path;
}

}  // namespace

TFileWatch::TFileWatch(const std::string& path, std::function<void()> reload, QObject* parent)
    : QObject(parent),
      pathBytes_(Absolute(path)),
      path_(QFileInfo(QFile::decodeName(pathBytes_.c_str())).absoluteFilePath()),
      reload_(std::move(reload)) {
  settle_.setSingleShot(true);
  settle_.setInterval(kSettleMs);
  connect(&settle_, &QTimer::timeout, this, [this] { Settled(); });
  connect(&watcher_, &QFileSystemWatcher::fileChanged, this, [this] { Changed(true); });
  // The folder tells us when the file comes back after an editor's rename or a delete and
  // re-create; the file's own watch has gone with the old file by then.
  connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, [this] { Changed(false); });
  watcher_.addPath(QFileInfo(path_).absolutePath());
  // What is on disk now is what start-up read (or failed to read): only a change reloads.
  loaded_ = seen_ = StampOf(pathBytes_);
  Rewatch(loaded_);
  // Qt's watcher takes names as text: bytes that are not valid in the local encoding would have
  // it watch another name. Such a file is looked at by its own name instead, every kPollMs.
  if (QFile::encodeName(QFile::decodeName(pathBytes_.c_str())).toStdString() != pathBytes_) {
    poll_.setInterval(kPollMs);
    connect(&poll_, &QTimer::timeout, this, [this] { Changed(false); });
    poll_.start();
  }
}

// A watch on a file is a watch on the file the name led to when it was set. After a rename over
// the name, the name leads to another file: watch that one instead.
void TFileWatch::Rewatch(const Stamp& now) {
  const bool watching = watcher_.files().contains(path_);
  if (watching && now.exists && now.inode == watchedInode_) return;
  if (watching) watcher_.removePath(path_);
  watchedInode_ = 0;
  if (now.exists && watcher_.addPath(path_)) watchedInode_ = now.inode;
}

void TFileWatch::Changed(bool fileEvent) {
  const Stamp now = StampOf(pathBytes_);
  Rewatch(now);
  // The folder also changes for other files in it (an editor's swap file): those are no reason
  // to read ours again, nor to wait longer.
  if (!fileEvent && now == (pending_ ? seen_ : loaded_)) return;
  pending_ = true;
  seen_ = now;
  settle_.start();
}

void TFileWatch::Settled() {
  if (!pending_) return;
  const Stamp now = StampOf(pathBytes_);
  Rewatch(now);
  const bool quiet = now == seen_;
  seen_ = now;
  // Gone, for good or half-way through an editor's rename: the folder's event for its return
  // starts the wait again.
  if (!now.exists) return;
  // Changed without our hearing of it (a write since the last event), or the program is inside
  // another event: not settled yet.
  if (!quiet || reloading_ || ApplicationBusy()) {
    settle_.start();
    return;
  }
  pending_ = false;
  loaded_ = now;
  reloading_ = true;
  ++reloads_;
  reload_();
  reloading_ = false;
}

// A modal box, an open menu or a nested event loop means we are inside some other event (a
// reader's own message box among them); the reload waits until that has ended.
bool TFileWatch::ApplicationBusy() {
  return QApplication::activeModalWidget() != nullptr ||
         QApplication::activePopupWidget() != nullptr || QThread::currentThread()->loopLevel() > 1;
}
