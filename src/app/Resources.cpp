// The program's built-in pictures.
#include "app/Resources.h"

#include <QFile>
#include <QGuiApplication>
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

QCursor LoadHandCursor(const char* name, qreal ratio) {
  EnsureResources();
  const QString path = QStringLiteral(":/cursors/") + QString::fromLatin1(name);
  if (ratio <= 0) ratio = qGuiApp != nullptr ? qGuiApp->devicePixelRatio() : 1;
  if (ratio < kFinePicturesFrom) return QCursor(QPixmap(path), kHandHotX, kHandHotY);
  QPixmap fine(path + QStringLiteral("@2x"));
  fine.setDevicePixelRatio(2);
  // Qt's X11 platform makes the cursor from the picture's own pixels and hands the hot spot to X
  // unscaled, so there it must be given in those pixels; the others take it in logical ones.
  const int scale = QGuiApplication::platformName() == QLatin1String("xcb") ? 2 : 1;
  return QCursor(fine, kHandHotX * scale, kHandHotY * scale);
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

QByteArray AboutPictureBytes(int scale) {
  EnsureResources();
  QFile file(scale == 2 ? QStringLiteral(":/about/picture@2x.jpg")
                        : QStringLiteral(":/about/picture.jpg"));
  if (!file.open(QIODevice::ReadOnly)) return {};
  return file.readAll();
}
