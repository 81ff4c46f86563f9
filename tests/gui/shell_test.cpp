// The about box, the built-in pictures, the modal boxes and the file dialogs.
#include <QBuffer>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFrame>
#include <QImageWriter>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>
#include <stdexcept>

#include "app/AboutUnit.h"
#include "app/ClientArea.h"
#include "app/ControlsUnit.h"
#include "app/JpegPicture.h"
#include "app/MainUnit.h"
#include "app/ModalBoxes.h"
#include "app/QtControls.h"
#include "app/Resources.h"
#include "gui_support.h"
#include "scene/scene_model.h"

namespace {

// Receives what the desktop would be asked to open.
class UrlCatcher : public QObject {
  Q_OBJECT
 public:
  QList<QUrl> opened;
 public slots:
  void open(const QUrl& url) { opened.append(url); }
};

int TopOpaqueRow(const QImage& image) {
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      if (qAlpha(image.pixel(x, y)) != 0) return y;
    }
  }
  return -1;
}

QByteArray EncodeJpeg(const QImage& image) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  QImageWriter writer(&buffer, "jpeg");
  writer.setQuality(95);
  return writer.write(image) ? bytes : QByteArray();
}

// Counts the resize events a widget gets.
class ResizeCounter : public QObject {
 public:
  int count = 0;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Resize) ++count;
    return false;
  }
};

}  // namespace

class ShellTest : public QObject {
  Q_OBJECT

 private slots:
  void aboutBoxLayout();
  void aboutBoxPictureIsOurColourJpeg();
  void aboutBoxOkAndAuthorLabel();
  void jpegDecoderReadsWhatItShouldAndRefusesTheRest();
  void handCursorsAreMonochromeWithTheirHotSpot();
  void menuIconsAreSixteenSquare();
  void messageAndErrorBoxesCarryTheApplicationTitle();
  void failureInARoutedHandlerEndsOnlyThatEvent();
  void boxesAskedForInAResizeOrPaintRunAfterIt();
  void fileDialogsFiltersAndDefaultExtensions();
  void theRealOpenDialogRunsAndReportsTheFilter();
};

void ShellTest::aboutBoxLayout() {
  TMainWindow w("");
  TAboutBox& box = w.AboutBox();
  QVERIFY(!box.isVisible());
  QCOMPARE(box.windowTitle(), QStringLiteral("About"));
  QCOMPARE(box.size(), QSize(298, 213));
  QCOMPARE(box.minimumSize(), box.maximumSize());
  QVERIFY(!(box.windowFlags() & Qt::WindowMinimizeButtonHint));
  QVERIFY(!(box.windowFlags() & Qt::WindowMaximizeButtonHint));

  QWidget* panel = box.Image1->parentWidget();
  QCOMPARE(panel->geometry(), QRect(8, 8, 281, 161));
  QCOMPARE(qobject_cast<QFrame*>(panel)->frameShadow(), QFrame::Sunken);
  QCOMPARE(box.Image1->geometry(), QRect(16, 20, 120, 120));
  QCOMPARE(box.ProductName->text(), QStringLiteral("Kestrel"));
  QCOMPARE(box.ProductName->pos(), QPoint(158, 16));
  QCOMPARE(box.ProductName->font().pixelSize(), 24);
  QCOMPARE(box.ProductName->palette().color(QPalette::WindowText), QColor(0, 0, 128));
  QCOMPARE(box.Version->text(), QStringLiteral("Version 1.0.0"));
  QCOMPARE(box.Version->pos(), QPoint(176, 64));
  QCOMPARE(box.Label1->pos(), QPoint(150, 96));
  QCOMPARE(box.AuthorLabel->pos(), QPoint(206, 96));
  QCOMPARE(box.AuthorLabel->cursor().shape(), Qt::PointingHandCursor);
  QCOMPARE(box.AuthorLabel->palette().color(QPalette::WindowText),
           box.palette().color(QPalette::Link));
  QCOMPARE(box.Comments->geometry(), QRect(174, 128, 75, 26));
  QVERIFY(box.Comments->wordWrap());
  QVERIFY(QRegularExpression(QStringLiteral("^\\d{1,2} / \\d{1,2} / \\d{4}$"))
              .match(box.Comments->text())
              .hasMatch());
  QCOMPARE(box.OKButton->text(), QStringLiteral("OK"));
  QCOMPARE(box.OKButton->geometry(), QRect(111, 180, 75, 25));
  QVERIFY(box.OKButton->isDefault());
  // Every label fits inside the panel.
  for (QLabel* label : {box.ProductName, box.Version, box.Label1, box.AuthorLabel}) {
    QVERIFY2(label->geometry().right() < 281, qPrintable(label->text()));
  }
}

void ShellTest::aboutBoxPictureIsOurColourJpeg() {
  const QByteArray bytes = AboutPictureBytes();
  QVERIFY(bytes.startsWith("\xFF\xD8\xFF"));
  const QImage picture = DecodeJpeg(bytes);
  QCOMPARE(picture.size(), QSize(119, 119));
  bool colour = false;
  for (int y = 0; y < picture.height() && !colour; ++y) {
    for (int x = 0; x < picture.width() && !colour; ++x) {
      const QRgb p = picture.pixel(x, y);
      colour = qAbs(qRed(p) - qBlue(p)) > 60;
    }
  }
  QVERIFY(colour);
  TMainWindow w("");
  const QPixmap shown = w.AboutBox().Image1->pixmap();
  QCOMPARE(shown.size(), QSize(119, 119));
  QCOMPARE(shown.toImage().convertToFormat(QImage::Format_RGB888), picture);
  QCOMPARE(w.AboutBox().Image1->alignment(), Qt::AlignLeft | Qt::AlignTop);
}

void ShellTest::aboutBoxOkAndAuthorLabel() {
  ModalScript script;
  TMainWindow w("");
  TAboutBox& box = w.AboutBox();
  int result = -1;
  script.other = [&](QDialog& dialog) {
    QTimer::singleShot(0, &box, [&] { QTest::mouseClick(box.OKButton, Qt::LeftButton); });
    result = dialog.exec();
    return result;
  };
  w.About1->trigger();
  QCOMPARE(result, 1);
  QVERIFY(!box.isVisible());

  UrlCatcher catcher;
  QDesktopServices::setUrlHandler(QStringLiteral("https"), &catcher, "open");
  QTest::mouseClick(box.AuthorLabel, Qt::LeftButton);
  QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
  QCOMPARE(catcher.opened, QList<QUrl>({TAboutBox::AuthorPage()}));
}

void ShellTest::jpegDecoderReadsWhatItShouldAndRefusesTheRest() {
  QVERIFY(DecodeJpeg(QByteArray()).isNull());
  QVERIFY(DecodeJpeg(QByteArray("not a picture at all")).isNull());
  // A JPEG cut off inside its header.
  QVERIFY(DecodeJpeg(AboutPictureBytes().left(40)).isNull());

  if (!QImageWriter::supportedImageFormats().contains("jpeg")) {
    QSKIP("Qt has no JPEG writer here to make test pictures with");
  }
  QImage source(16, 8, QImage::Format_RGB888);
  source.fill(QColor(200, 30, 40));
  const QImage colour = DecodeJpeg(EncodeJpeg(source));
  QCOMPARE(colour.size(), QSize(16, 8));
  const QRgb p = colour.pixel(5, 5);
  QVERIFY(qAbs(qRed(p) - 200) <= 4 && qAbs(qGreen(p) - 30) <= 4 && qAbs(qBlue(p) - 40) <= 4);

  // A grey picture comes out in RGB, grey.
  QImage grey(8, 8, QImage::Format_Grayscale8);
  grey.fill(QColor(90, 90, 90));
  const QImage fromGrey = DecodeJpeg(EncodeJpeg(grey));
  QCOMPARE(fromGrey.format(), QImage::Format_RGB888);
  const QRgb g = fromGrey.pixel(3, 3);
  QVERIFY(qRed(g) == qGreen(g) && qGreen(g) == qBlue(g));
  QVERIFY(qAbs(qRed(g) - 90) <= 2);
}

void ShellTest::handCursorsAreMonochromeWithTheirHotSpot() {
  const QCursor flat = LoadHandCursor("FlatHand");
  const QCursor grab = LoadHandCursor("GrabHand");
  QImage images[2];
  int i = 0;
  for (const QCursor& cursor : {flat, grab}) {
    QCOMPARE(cursor.hotSpot(), QPoint(7, 20));
    const QImage image = cursor.pixmap().toImage().convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(image.size(), QSize(32, 32));
    for (int y = 0; y < 32; ++y) {
      for (int x = 0; x < 32; ++x) {
        const QRgb p = image.pixel(x, y);
        const bool clear = qAlpha(p) == 0;
        const bool black = p == qRgba(0, 0, 0, 255);
        const bool white = p == qRgba(255, 255, 255, 255);
        QVERIFY2(clear || black || white, qPrintable(QStringLiteral("%1,%2").arg(x).arg(y)));
      }
    }
    QCOMPARE(qAlpha(image.pixel(0, 0)), 0);
    // The hot spot lies on the hand.
    QCOMPARE(image.pixel(7, 20), qRgba(255, 255, 255, 255));
    images[i++] = image;
  }
  // The closed hand is about six pixels shorter at the top, with the same wrist.
  const int shorter = TopOpaqueRow(images[1]) - TopOpaqueRow(images[0]);
  QVERIFY2(shorter >= 5 && shorter <= 7, qPrintable(QString::number(shorter)));
  for (int y = 24; y < 32; ++y) {
    for (int x = 0; x < 32; ++x) QCOMPARE(images[1].pixel(x, y), images[0].pixel(x, y));
  }
}

void ShellTest::menuIconsAreSixteenSquare() {
  for (int index = 0; index < 3; ++index) {
    const QIcon icon = MenuIcon(index);
    QVERIFY(!icon.isNull());
    QCOMPARE(icon.availableSizes().value(0), QSize(16, 16));
  }
  QVERIFY(MenuIcon(3).isNull());
}

void ShellTest::messageAndErrorBoxesCarryTheApplicationTitle() {
  ModalScript script;
  TMainWindow w("");
  w.Controls().ShowMessage("Error sizing form");
  Guarded(&w, [] { throw KestrelError("Cannot create file \"/x/y.bmp\"."); });
  Guarded(&w, [] { throw std::runtime_error("plain failure"); });
  w.Controls().ShowMessage("Error reading text file", "<b>caf\xC3\xA9</b>.tmb: Permission denied");
  // Never the allocator's own text.
  Guarded(&w, [] { throw std::bad_alloc(); });
  QCOMPARE(script.boxes.size(), size_t{5});
  QCOMPARE(script.boxes[4].icon, QMessageBox::Critical);
  QCOMPARE(script.boxes[4].text, QStringLiteral("Out of memory"));
  QCOMPARE(script.boxes[0].icon, QMessageBox::NoIcon);
  QCOMPARE(script.boxes[0].text, QStringLiteral("Error sizing form"));
  QVERIFY(script.boxes[0].detail.isEmpty());
  // The fixed text stays the text; what more the program knows is the second line, as written.
  QCOMPARE(script.boxes[3].text, QStringLiteral("Error reading text file"));
  QCOMPARE(script.boxes[3].detail, QStringLiteral("<b>caf\u00E9</b>.tmb: Permission denied"));
  QVERIFY(script.boxes[3].plain);
  QVERIFY(script.boxes[3].oneLine);
  // Ctrl+C copies the message as two lines; a box without a detail, its text alone.
  QCOMPARE(script.boxes[3].copied,
           QStringLiteral("Error reading text file\n<b>caf\u00E9</b>.tmb: Permission denied"));
  QCOMPARE(script.boxes[0].copied, QStringLiteral("Error sizing form"));
  QCOMPARE(script.boxes[1].icon, QMessageBox::Critical);
  QCOMPARE(script.boxes[1].text, QStringLiteral("Cannot create file \"/x/y.bmp\"."));
  QCOMPARE(script.boxes[2].text, QStringLiteral("plain failure"));
  for (const ModalScript::Box& box : script.boxes) {
    QCOMPARE(box.title, QCoreApplication::applicationName());
    QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
  }
  QVERIFY(!QCoreApplication::applicationName().isEmpty());
}

void ShellTest::failureInARoutedHandlerEndsOnlyThatEvent() {
  QTemporaryDir dir;
  ModalScript script;
  TMainWindow w("");
  w.ShowCentred();
  SetUpModel(w.Form());
  // A picture saved into a folder that is not there cannot be written.
  script.AnswerFile(dir.filePath(QStringLiteral("missing/picture.bmp")));
  w.SaveImageAs1->trigger();
  QCOMPARE(script.fileDialogs.size(), size_t{1});
  QCOMPARE(script.boxes.size(), size_t{1});
  QCOMPARE(script.boxes[0].icon, QMessageBox::Critical);
  QVERIFY(!script.boxes[0].text.isEmpty());
  // The window carries on.
  QVERIFY(w.isVisible());
  const int before = w.ClientArea->FramesPresented();
  w.CenterButton->click();
  QCOMPARE(w.ClientArea->FramesPresented(), before + 1);
  QCOMPARE(script.boxes.size(), size_t{1});
}

// A box run inside the window's resize would enter Qt's layout again from its event loop: each
// waits until the resize has returned, one box for each failure, one after another.
void ShellTest::boxesAskedForInAResizeOrPaintRunAfterIt() {
  ModalScript script;
  TMainWindow w("");
  w.ShowCentred();
  SetUpModel(w.Form());
  // A model whose fit failed: every refit divides by zero.
  w.Form().ModelDiameter = 0;
  ResizeCounter resizes;
  w.ClientArea->installEventFilter(&resizes);
  for (int i = 1; i <= 3; ++i) {
    w.ClientArea->resize(500 + 20 * i, 400);
    QCOMPARE(w.Form().FrameBitmap.width(), 500 + 20 * i - FrameWidthAllowance);
  }
  QVERIFY(script.boxes.empty());
  // While the first box is up, its event loop resizes the window once more: that failure's box
  // waits its turn instead of opening over it.
  int depth = 0;
  int deepest = 0;
  bool resized = false;
  script.duringBox = [&] {
    deepest = std::max(deepest, ++depth);
    if (!resized) {
      resized = true;
      w.ClientArea->resize(620, 420);
    }
    --depth;
  };
  QCoreApplication::processEvents();
  QCoreApplication::processEvents();
  QCOMPARE(deepest, 1);
  // One box for each failed resize (the window's layout may put the area back once more).
  QVERIFY(resizes.count >= 4);
  QCOMPARE(script.boxes.size(), static_cast<size_t>(resizes.count));
  for (const ModalScript::Box& box : script.boxes) {
    QCOMPARE(box.icon, QMessageBox::NoIcon);
    QCOMPARE(box.text, QStringLiteral("Error sizing form"));
  }
  // Outside a resize or a paint a box runs where it is asked for, as ever.
  script.duringBox = nullptr;
  const size_t shown = script.boxes.size();
  w.Controls().ShowMessage("unrecognized switch in text file");
  QCOMPARE(script.boxes.size(), shown + 1);
}

void ShellTest::fileDialogsFiltersAndDefaultExtensions() {
  QTemporaryDir dir;
  ModalScript script;
  TMainWindow w("");
  TQtControls& c = w.Controls();

  std::string path;
  int filter = 0;
  QVERIFY(!c.RunOpenDialog(path, filter));  // cancelled
  QCOMPARE(script.fileDialogs[0].nameFilters, OpenDialogFilters());
  QCOMPARE(script.fileDialogs[0].nameFilters.mid(0, 2),
           QStringList({kTumbraFilter, kKestrelFilter}));
  QCOMPARE(script.fileDialogs[0].selectedFilterBefore, kTumbraFilter);
  QCOMPARE(script.fileDialogs[0].defaultSuffix, QString());

  const QString model = WriteTumbraFile(dir, QStringLiteral("square.tmb"));
  script.AnswerFile(model, kKestrelFilter);
  QVERIFY(c.RunOpenDialog(path, filter));
  QCOMPARE(QString::fromStdString(path), model);
  QCOMPARE(filter, 2);
  script.AnswerFile(model, kTumbraFilter);
  QVERIFY(c.RunOpenDialog(path, filter));
  QCOMPARE(filter, 1);

  // A bare name gets the default extension; a name with one keeps it.
  script.AnswerFile(dir.filePath(QStringLiteral("scene")));
  QVERIFY(c.RunSaveDialog(SaveDialogKind::Scene, path, filter));
  QCOMPARE(QString::fromStdString(path), dir.filePath(QStringLiteral("scene.ksl")));
  QCOMPARE(filter, 1);
  const ModalScript::FileDialog& scene = script.fileDialogs[3];
  QVERIFY(scene.saves);
  QCOMPARE(scene.nameFilters, QStringList({kKestrelFilter}));
  QCOMPARE(scene.defaultSuffix, QStringLiteral("ksl"));
  QVERIFY(!scene.confirmsOverwrite);

  // Pictures: a bare name takes the extension of the filter chosen; a name with one keeps it,
  // whatever the filter.
  const struct {
    const char* typed;
    QString filter;  // empty: left as the dialog opens
    const char* saved;
    int index;
  } pictures[] = {
      {"picture", QString(), "picture.bmp", 1},
      {"picture", kPngFilter, "picture.png", 2},
      {"picture.old.bmp", QString(), "picture.old.bmp", 1},
      {"picture.BMP", kPngFilter, "picture.BMP", 2},
      {"picture.png", kBitmapFilter, "picture.png", 1},
  };
  for (const auto& p : pictures) {
    script.AnswerFile(dir.filePath(QString::fromLatin1(p.typed)), p.filter);
    QVERIFY(c.RunSaveDialog(SaveDialogKind::Picture, path, filter));
    QCOMPARE(QString::fromStdString(path), dir.filePath(QString::fromLatin1(p.saved)));
    QCOMPARE(filter, p.index);
    // Each time it opens on BMP, after a PNG too.
    const ModalScript::FileDialog& picture = script.fileDialogs.back();
    QVERIFY(picture.saves);
    QCOMPARE(picture.nameFilters, QStringList({kBitmapFilter, kPngFilter}));
    QCOMPARE(picture.selectedFilterBefore, kBitmapFilter);
    QCOMPARE(picture.defaultSuffix, QStringLiteral("bmp"));
    QVERIFY(!picture.confirmsOverwrite);
  }
  QVERIFY(!c.RunSaveDialog(SaveDialogKind::Picture, path, filter));
}

// The seam above answers dialogs without running them; here the open dialog really runs, and
// the user types a name and picks the second filter.
void ShellTest::theRealOpenDialogRunsAndReportsTheFilter() {
  QTemporaryDir dir;
  const QString model = WriteTumbraFile(dir, QStringLiteral("square.tmb"));
  TMainWindow w("");
  QFileDialog& dialog = w.Controls().OpenDialog();
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  ModalScript script;
  script.other = [](QDialog&) { return QDialog::Rejected; };
  SetModalRunner([&](QDialog& shown) {
    QTimer::singleShot(0, &shown, [&] {
      dialog.selectNameFilter(kKestrelFilter);
      auto* name = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
      QVERIFY(name != nullptr);
      name->setText(model);
      QMetaObject::invokeMethod(&dialog, "accept");
    });
    return shown.exec();
  });
  std::string path;
  int filter = 0;
  const bool chosen = w.Controls().RunOpenDialog(path, filter);
  SetModalRunner({});
  QVERIFY(chosen);
  QCOMPARE(QString::fromStdString(path), model);
  QCOMPARE(filter, 2);
}

QTEST_MAIN(ShellTest)
#include "shell_test.moc"
