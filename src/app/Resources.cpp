// The program's built-in pictures.
#include "app/Resources.h"

#include <QFile>
#include <QPixmap>
#include <QString>

// Outside any namespace, as Qt's resource initialiser must be.
static int RegisterResources() {
  // The resources live in a static library; naming their initialiser here keeps the linker
  // from dropping them.
  Q_INIT_RESOURCE(kestrel);
  return 0;
}

static void EnsureResources() {
  [[maybe_unused]] static const int once = RegisterResources();
}

QCursor LoadHandCursor(const char* name) {
  EnsureResources();
  return QCursor(QPixmap(QStringLiteral(":/cursors/") + QString::fromLatin1(name)), kHandHotX,
                 kHandHotY);
}

QIcon MenuIcon(int index) {
  EnsureResources();
  static const char* const kNames[] = {"open", "save-as", "exit"};
  if (index < 0 || index > 2) return QIcon();
  return QIcon(QStringLiteral(":/icons/") + QString::fromLatin1(kNames[index]));
}

QIcon AppIcon() {
  EnsureResources();
  QIcon icon;
  for (int size : {16, 32, 48, 64, 128, 256}) {
    icon.addFile(QStringLiteral(":/appicon/") + QString::number(size), QSize(size, size));
  }
  return icon;
}

QByteArray AboutPictureBytes() {
  EnsureResources();
  QFile file(QStringLiteral(":/about/picture.jpg"));
  if (!file.open(QIODevice::ReadOnly)) return {};
  return file.readAll();
}
