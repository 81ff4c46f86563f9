// Asks Qt what a desktop would see of the installed files: the MIME type of a file by name and
// content, the type of content alone, and the format and size of an image. The install test reads
// its answers; Qt reads the MIME database from XDG_DATA_DIRS, as every Qt program does.
//
//   desktop_probe mime FILE...        one line per file: NAME TYPE text|not-text
//   desktop_probe content FILE...     one line per file: NAME TYPE (the content alone decides)
//   desktop_probe image FILE          FORMAT WxH
//   desktop_probe same A B TOLERANCE  "same" when every channel of every pixel differs by at most
//                                     TOLERANCE, else where and by how much they differ
#include <QCoreApplication>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QMimeDatabase>
#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

int Mime(const QStringList& files, bool contentOnly) {
  const QMimeDatabase db;
  for (const QString& file : files) {
    const QMimeType type = contentOnly ? db.mimeTypeForFile(file, QMimeDatabase::MatchContent)
                                       : db.mimeTypeForFile(file);
    QString line = QFileInfo(file).fileName() + u' ' + type.name();
    if (!contentOnly) {
      line += type.inherits(QStringLiteral("text/plain")) ? QStringLiteral(" text")
                                                          : QStringLiteral(" not-text");
    }
    std::printf("%s\n", qPrintable(line));
  }
  return 0;
}

int Image(const QString& file) {
  QImageReader reader(file);
  const QImage image = reader.read();
  if (image.isNull()) {
    std::fprintf(stderr, "%s: %s\n", qPrintable(file), qPrintable(reader.errorString()));
    return 1;
  }
  // By content: a thumbnail's name need not say what it holds.
  const QByteArray format = QImageReader::imageFormat(file);
  std::printf("%s %dx%d\n", format.constData(), image.width(), image.height());
  return 0;
}

int Same(const QString& a, const QString& b, int tolerance) {
  const QImage left = QImage(a).convertToFormat(QImage::Format_ARGB32);
  const QImage right = QImage(b).convertToFormat(QImage::Format_ARGB32);
  if (left.isNull() || right.isNull() || left.size() != right.size()) {
    std::printf("different sizes\n");
    return 0;
  }
  for (int y = 0; y < left.height(); ++y) {
    for (int x = 0; x < left.width(); ++x) {
      const QRgb p = left.pixel(x, y);
      const QRgb q = right.pixel(x, y);
      const int d = std::max({std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                              std::abs(qBlue(p) - qBlue(q)), std::abs(qAlpha(p) - qAlpha(q))});
      if (d > tolerance) {
        std::printf("differ at %d,%d by %d\n", x, y, d);
        return 0;
      }
    }
  }
  std::printf("same\n");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QStringList args = QCoreApplication::arguments().mid(1);
  const QString command = args.isEmpty() ? QString() : args.takeFirst();
  if (command == u"mime" || command == u"content") return Mime(args, command == u"content");
  if (command == u"image" && args.size() == 1) return Image(args[0]);
  if (command == u"same" && args.size() == 3) return Same(args[0], args[1], args[2].toInt());
  std::fprintf(stderr, "usage: desktop_probe mime|content FILE... | image FILE | same A B TOL\n");
  return 2;
}
