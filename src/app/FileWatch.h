// Watches one model file for `kestrel FILE --watch` and says when it has changed and settled, so
// that it can be read again. Writers that save in pieces and editors that save by writing a new
// file and renaming it over the old one are both followed.
#pragma once

#include <sys/types.h>
#include <QFileSystemWatcher>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <string>

class TFileWatch : public QObject {
 public:
  // How long the file must stay unchanged before it counts as written.
  static constexpr int kSettleMs = 200;
  // How often a file whose name Qt's watcher cannot take is looked at instead.
  static constexpr int kPollMs = 250;

  // Calls `reload` on the user-interface thread, from the event loop, once the file at `path`
  // has changed and stayed unchanged for kSettleMs, and never inside another event. `path` is the
  // file name's bytes, as the command line gave them: the file is looked at by those.
  TFileWatch(const std::string& path, std::function<void()> reload, QObject* parent = nullptr);

  // How many times `reload` has run.
  int Reloads() const { return reloads_; }

  // What a file is as far as a reload cares: it exists, which file it is, its size and time.
  struct Stamp {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    long long modifiedNs = 0;
    bool operator==(const Stamp&) const = default;
  };

 private:
  void Changed(bool fileEvent);
  void Settled();
  void Rewatch(const Stamp& now);
  static bool ApplicationBusy();

  // The name made absolute: its bytes, by which the file is looked at, and as Qt's watcher
  // takes it.
  std::string pathBytes_;
  QString path_;
  std::function<void()> reload_;
  QFileSystemWatcher watcher_;
  QTimer settle_;
  QTimer poll_;
  Stamp seen_;    // at the last change noticed
  Stamp loaded_;  // when the file was last read
  ino_t watchedInode_ = 0;
  bool pending_ = false;
  bool reloading_ = false;
  int reloads_ = 0;
};
