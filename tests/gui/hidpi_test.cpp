// The window on a screen of several device pixels per logical pixel: the frame at the screen's
// own pixels shown one for one, the pointer reaching the form in them, the hint over the empty
// frame, and the pictures drawn for 2x screens. CTest runs this program once for each ratio it
// sets with QT_SCALE_FACTOR (1 included, where nothing may differ from a plain screen).
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>

#include "app/AboutUnit.h"
#include "app/ClientArea.h"
#include "app/JpegPicture.h"
#include "app/MainUnit.h"
#include "app/Resources.h"
#include "gui_support.h"
#include "scene/headless_controls.h"
#include "scene/scene_model.h"

namespace {

// The ratio CTest asked for.
qreal AskedRatio() {
  return qEnvironmentVariable("QT_SCALE_FACTOR", QStringLiteral("1")).toDouble();
}

// What the X server, or here Qt's own rendering, shows of the client area, in device pixels.
QImage Shown(TMainWindow& w) {
  QImage shown = w.ClientArea->grab().toImage().convertToFormat(QImage::Format_RGB32);
  shown.setDevicePixelRatio(1);
  return shown;
}

// The device pixels of the screen where the frame lies.
QImage FrameOnScreen(TMainWindow& w) {
  const QImage& frame = w.Form().FrameBitmap;
  const int left = qRound(FrameLeft * w.Form().PixelRatio);
  return Shown(w).copy(left, 0, frame.width(), frame.height());
}

bool AllBlack(const QImage& image) {
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      if (image.pixel(x, y) != qRgb(0, 0, 0)) return false;
    }
  }
  return true;
}

}  // namespace

class HiDpiTest : public QObject {
  Q_OBJECT

 private slots:
  void frameHasTheScreensPixelsShownOneForOne();
  void pointerTurnsPerLogicalPixelAndPansPerDevicePixel();
  void hintIsOverTheEmptyFrameNeverInIt();
  void savedPictureHasTheFramesPixels();
  void cursorsAndAboutPictureAtTheScreensPixels();
};

void HiDpiTest::frameHasTheScreensPixelsShownOneForOne() {
  const qreal ratio = AskedRatio();
  ModalScript script;
  TMainWindow w("");
  w.ShowCentred();
  QVERIFY(QTest::qWaitForWindowExposed(&w));
  QCOMPARE(w.ClientArea->devicePixelRatioF(), ratio);
  TForm1& f = w.Form();
  QCOMPARE(f.PixelRatio, ratio);
  const QSize logical = w.ClientArea->size() - QSize(199, 7);
  QCOMPARE(f.FrameBitmap.width(), static_cast<int>(std::nearbyint(logical.width() * ratio)));
  QCOMPARE(f.FrameBitmap.height(), static_cast<int>(std::nearbyint(logical.height() * ratio)));

  SetUpModel(f);
  // Fitted to the device-pixel frame: the model fills the same part of the window at any ratio.
  const int side = std::min(f.FrameBitmap.width(), f.FrameBitmap.height());
  QCOMPARE(f.Scale, (side - FitMargin) / static_cast<double>(f.ModelDiameter));
  QCOMPARE(FrameOnScreen(w), f.FrameBitmap.convertToFormat(QImage::Format_RGB32));
  // Left of the frame is the window's colour, not a stretched column of the frame.
  const QImage shown = Shown(w);
  const int left = qRound(FrameLeft * ratio);
  QCOMPARE(shown.pixel(left - 1, 10), w.ClientArea->palette().color(QPalette::Button).rgb());

  // A resize sizes and refits the frame at the same ratio.
  const int menu = w.ClientArea->geometry().top();
  w.resize(700, 500 + menu);
  QTRY_COMPARE(w.ClientArea->size(), QSize(700, 500));
  QCOMPARE(f.FrameBitmap.size(), QSize(static_cast<int>(std::nearbyint(501 * ratio)),
                                       static_cast<int>(std::nearbyint(493 * ratio))));
  QCOMPARE(FrameOnScreen(w), f.FrameBitmap.convertToFormat(QImage::Format_RGB32));
  QVERIFY(script.boxes.empty());
}

void HiDpiTest::pointerTurnsPerLogicalPixelAndPansPerDevicePixel() {
  const qreal ratio = AskedRatio();
  ModalScript script;
  TMainWindow w("");
  ShowAndActivate(w);
  TForm1& f = w.Form();
  SetUpModel(f);
  // Logical points that are whole device pixels at every ratio tested (1, 1.25, 1.5, 2).
  const QPoint from(320, 200), to(328, 196);
  const int dx = qRound(8 * ratio), dy = qRound(4 * ratio);

  QTest::mousePress(w.ClientArea, Qt::LeftButton, Qt::NoModifier, from);
  QCOMPARE(f.LastMouseX, qRound(320 * ratio));
  QCOMPARE(f.LastMouseY, qRound(200 * ratio));
  QTest::mouseMove(w.ClientArea, to);
  QCOMPARE(f.SpinDX, -dx);
  QCOMPARE(f.SpinDY, dy);
  QTest::mouseRelease(w.ClientArea, Qt::LeftButton, Qt::NoModifier, to);
  HeadlessControls spare;
  TForm1 turned(spare);
  turned.NewView();
  turned.RotateCam(1, -dx * 0.003 / ratio);
  turned.RotateCam(0, dy * 0.003 / ratio);
  QCOMPARE(f.RightAxis.x, turned.RightAxis.x);
  QCOMPARE(f.UpAxis.y, turned.UpAxis.y);

  const double panX = f.PanX, panY = f.PanY;
  QTest::mousePress(w.ClientArea, Qt::RightButton, Qt::NoModifier, from);
  QTest::mouseMove(w.ClientArea, to);
  QTest::mouseRelease(w.ClientArea, Qt::RightButton, Qt::NoModifier, to);
  QCOMPARE(f.PanX, panX + dx / f.Scale);
  QCOMPARE(f.PanY, panY + dy / f.Scale);
  QVERIFY(script.boxes.empty());
}

void HiDpiTest::hintIsOverTheEmptyFrameNeverInIt() {
  ModalScript script;
  TMainWindow w("");
  w.ShowCentred();
  QVERIFY(QTest::qWaitForWindowExposed(&w));
  TForm1& f = w.Form();
  QVERIFY(AllBlack(f.FrameBitmap));
  const QImage withHint = FrameOnScreen(w);
  // One line of light text across the middle of the frame, and nothing else on it.
  int top = withHint.height(), bottom = -1;
  for (int y = 0; y < withHint.height(); ++y) {
    for (int x = 0; x < withHint.width(); ++x) {
      if (withHint.pixel(x, y) == qRgb(0, 0, 0)) continue;
      top = std::min(top, y);
      bottom = std::max(bottom, y);
    }
  }
  QVERIFY2(bottom >= 0, "no hint on the empty frame");
  const int middle = withHint.height() / 2;
  QVERIFY(top > middle - 14 * f.PixelRatio && bottom < middle + 14 * f.PixelRatio);

  // With a model there is no hint; the frame is the model's picture alone.
  SetUpModel(f);
  w.ClientArea->repaint();
  QCOMPARE(FrameOnScreen(w), f.FrameBitmap.convertToFormat(QImage::Format_RGB32));
  QCOMPARE(TClientArea::NoModelHint(),
           QStringLiteral("Open a model with File > Open, or drop a file here"));
  QVERIFY(script.boxes.empty());
}

void HiDpiTest::savedPictureHasTheFramesPixels() {
  QTemporaryDir dir;
  ModalScript script;
  TMainWindow w("");
  w.ShowCentred();
  QVERIFY(QTest::qWaitForWindowExposed(&w));
  SetUpModel(w.Form());
  const QString path = dir.filePath(QStringLiteral("frame.bmp"));
  script.AnswerFile(path);
  w.SaveImageAs1->trigger();
  const QImage saved(path);
  QCOMPARE(saved.size(), w.Form().FrameBitmap.size());
  QCOMPARE(saved.convertToFormat(QImage::Format_RGB32),
           w.Form().FrameBitmap.convertToFormat(QImage::Format_RGB32));
  QVERIFY(script.boxes.empty());
}

void HiDpiTest::cursorsAndAboutPictureAtTheScreensPixels() {
  const qreal ratio = AskedRatio();
  const bool fine = ratio >= kFinePicturesFrom;
  const int side = fine ? 64 : 32;
  QImage hands[2];
  int i = 0;
  for (const char* name : {"FlatHand", "GrabHand"}) {
    const QCursor cursor = LoadHandCursor(name);
    QCOMPARE(cursor.pixmap().devicePixelRatio(), fine ? 2.0 : 1.0);
    // The offscreen platform takes the hot spot in logical pixels, as all but X11 do.
    QCOMPARE(cursor.hotSpot(), QPoint(kHandHotX, kHandHotY));
    const QImage image = cursor.pixmap().toImage().convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(image.size(), QSize(side, side));
    const int scale = side / 32;
    QCOMPARE(image.pixel(kHandHotX * scale, kHandHotY * scale), qRgba(255, 255, 255, 255));
    hands[i++] = image;
  }
  if (fine) {
    // Drawn from the small pair, the fine pair is the same two hands: every pixel black, white
    // or clear, the wrist the same, the closed hand about twelve pixels shorter at the top, and
    // each hand covering what the small one covers, give or take the smoothed edge.
    for (int h = 0; h < 2; ++h) {
      const QImage small = LoadHandCursor(h == 0 ? "FlatHand" : "GrabHand", 1)
                               .pixmap()
                               .toImage()
                               .convertToFormat(QImage::Format_ARGB32);
      int differ = 0, covered = 0;
      for (int y = 0; y < 64; ++y) {
        for (int x = 0; x < 64; ++x) {
          const QRgb p = hands[h].pixel(x, y);
          QVERIFY(qAlpha(p) == 0 || p == qRgba(0, 0, 0, 255) || p == qRgba(255, 255, 255, 255));
          const bool on = qAlpha(p) != 0;
          covered += on ? 1 : 0;
          differ += on != (qAlpha(small.pixel(x / 2, y / 2)) != 0) ? 1 : 0;
        }
      }
      QVERIFY2(differ * 10 < covered,
               qPrintable(QStringLiteral("%1 of %2").arg(differ).arg(covered)));
    }
    int topOpen = 64, topClosed = 64;
    for (int y = 63; y >= 0; --y) {
      for (int x = 0; x < 64; ++x) {
        if (qAlpha(hands[0].pixel(x, y)) != 0) topOpen = y;
        if (qAlpha(hands[1].pixel(x, y)) != 0) topClosed = y;
      }
    }
    QVERIFY2(topClosed - topOpen >= 10 && topClosed - topOpen <= 14,
             qPrintable(QString::number(topClosed - topOpen)));
    for (int y = 52; y < 64; ++y) {
      for (int x = 0; x < 64; ++x) QCOMPARE(hands[1].pixel(x, y), hands[0].pixel(x, y));
    }
  }

  TMainWindow w("");
  const QPixmap picture = w.AboutBox().Image1->pixmap();
  const int pictureSide = ratio < 1.01 ? 119 : ratio >= 2 ? 238 : qRound(119 * ratio);
  QCOMPARE(picture.size(), QSize(pictureSide, pictureSide));
  QCOMPARE(picture.deviceIndependentSize(), QSizeF(119, 119));
  if (ratio >= 2) {
    QImage shown = picture.toImage().convertToFormat(QImage::Format_RGB888);
    shown.setDevicePixelRatio(1);
    QCOMPARE(shown, DecodeJpeg(AboutPictureBytes(2)));
  }
}

QTEST_MAIN(HiDpiTest)
#include "hidpi_test.moc"
