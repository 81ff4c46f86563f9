// The main window: layout, start-up, enabled commands, loads, check boxes and resizing.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QFrame>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "app/AboutUnit.h"
#include "app/ClientArea.h"
#include "app/ControlsUnit.h"
#include "app/MainUnit.h"
#include "app/QtControls.h"
#include "formats/file_kind.h"
#include "gui_support.h"
#include "scene/colour_codes.h"
#include "scene/scene_model.h"

namespace {

struct Expected {
  const char* text;
  QRect geometry;
  bool checked;
};

// What the user sees of the commands' enabled states, in a fixed order:
// Open, Save As, Save Image As, Exit, About, Center.
QList<bool> EnabledStates(TMainWindow& w) {
  return {w.Open1->isEnabled(), w.SaveAs1->isEnabled(), w.SaveImageAs1->isEnabled(),
          w.Exit1->isEnabled(), w.About1->isEnabled(),  w.CenterButton->isEnabled()};
}

const QList<bool> kAtStart = {true, false, false, true, true, false};
const QList<bool> kAfterCommandLineLoad = {true, false, true, true, true, true};
const QList<bool> kAfterOpen = {true, true, true, true, true, true};

QStringList MemoLines(TMainWindow& w) {
  QCoreApplication::processEvents();  // the memo shows added lines when the loop next runs
  return w.Memo->toPlainText().split(QLatin1Char('\n'));
}

}  // namespace

class WindowTest : public QObject {
  Q_OBJECT

 private slots:
  void layoutOfPanelAndControls();
  void menuEntriesIconsAndStates();
  void windowSizeCaptionAndPlacement();
  void tabOrderPutsCenterBeforeFillCircles();
  void emptyFrameOnButtonFaceBeforeAnyModel();
  void argumentWithOtherExtensionLoadsNothing();
  void argumentInCapitalsLoadsAsTumbra();
  void commandLineLoadLeavesSaveAsDisabled();
  void openEnablesSaveAsAfterTheLoaderReturns();
  void cancelledOpenChangesNothing();
  void filterNotExtensionDecidesTheReader();
  void failureEscapingTheReaderLeavesSaveAsAlone();
  void checkBoxesBeforeAnyModelOnlySetFlags();
  void checkBoxesWithAModelDrawOneFrame();
  void whiteBackRecoloursBothWays();
  void loaderSettingABoxToItsStateRunsNoHandler();
  void freeSpinBoxStopsTheTimer();
  void resizeKeepsPanelAndRefits();
  void memoShowsCommentLinesWhateverTheirEncoding();
  void memoShowsTheStartOfHugeCommentBlocksAndTheModelKeepsAll();
  void exitClosesWithoutAsking();
  void aboutShowsTheAboutBoxModally();
};

void WindowTest::layoutOfPanelAndControls() {
  TMainWindow w("");
  QCOMPARE(w.centralWidget(), static_cast<QWidget*>(w.ClientArea));
  QCOMPARE(w.Panel1->parentWidget(), static_cast<QWidget*>(w.ClientArea));
  QCOMPARE(w.Panel1->geometry(), QRect(0, 0, 185, 401));

  QCOMPARE(w.Memo->geometry(), QRect(8, 16, 167, 145));
  QVERIFY(w.Memo->isReadOnly());
  QCOMPARE(w.Memo->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  QVERIFY(w.Memo->toPlainText().isEmpty());

  const Expected boxes[] = {
      {"Anti-aliasing", QRect(56, 168, 81, 17), true},
      {"Fade", QRect(56, 200, 49, 17), true},
      {"Flip Z", QRect(56, 232, 49, 17), false},
      {"White Back", QRect(56, 264, 81, 17), false},
      {"Free Spin", QRect(56, 296, 65, 17), false},
      {"Fill Circles", QRect(56, 328, 65, 17), false},
  };
  const TCheck* checks[] = {w.AliasCheckBox,     w.FadeCheckBox,     w.FlipZCheckBox,
                            w.WhiteBackCheckBox, w.FreeSpinCheckBox, w.CircleFillCheckBox};
  for (int i = 0; i < 6; ++i) {
    QCOMPARE(checks[i]->text(), QString::fromLatin1(boxes[i].text));
    QCOMPARE(checks[i]->geometry(), boxes[i].geometry);
    QCOMPARE(checks[i]->isChecked(), boxes[i].checked);
    QCOMPARE(checks[i]->parentWidget(), static_cast<QWidget*>(w.Panel1));
    // The form's flags start as the boxes show them.
    QCOMPARE(w.Controls().CheckBoxChecked(i + 1), boxes[i].checked);
  }
  QCOMPARE(w.Form().AntiAlias, true);
  QCOMPARE(w.Form().Fade, true);
  QCOMPARE(w.Form().NoModel, true);

  QCOMPARE(w.CenterButton->text(), QStringLiteral("Center"));
  QCOMPARE(w.CenterButton->geometry(), QRect(56, 360, 60, 25));
  QVERIFY(!w.CenterButton->isEnabled());

  QCOMPARE(w.Timer1->interval(), 30);
  QVERIFY(!w.Timer1->isActive());
}

void WindowTest::menuEntriesIconsAndStates() {
  TMainWindow w("");
  const QList<QAction*> top = w.menuBar()->actions();
  QCOMPARE(top.size(), 2);
  QCOMPARE(top[0]->text(), QStringLiteral("File"));
  QCOMPARE(top[0]->menu(), w.File1);
  // "About" is a command on the menu bar itself.
  QCOMPARE(top[1], w.About1);
  QCOMPARE(top[1]->text(), QStringLiteral("About"));
  QVERIFY(top[1]->menu() == nullptr);

  // The five entries in their order, with Open Recent and Reload after Open.
  const QList<QAction*> items = w.File1->actions();
  QCOMPARE(items.size(), 7);
  QCOMPARE(items[0]->text(), QStringLiteral("Open"));
  QCOMPARE(items[1]->text(), QStringLiteral("Open Recent"));
  QCOMPARE(items[1]->menu(), w.OpenRecent1);
  QCOMPARE(items[2], w.Reload1);
  QCOMPARE(items[2]->text(), QStringLiteral("Reload"));
  QCOMPARE(items[3]->text(), QStringLiteral("Save As"));
  QCOMPARE(items[4]->text(), QStringLiteral("Save Image As"));
  QVERIFY(items[5]->isSeparator());
  QCOMPARE(items[6]->text(), QStringLiteral("Exit"));

  for (QAction* withIcon : {w.Open1, w.SaveAs1, w.Exit1}) {
    QVERIFY(!withIcon->icon().isNull());
    QCOMPARE(withIcon->icon().availableSizes().value(0), QSize(16, 16));
  }
  QVERIFY(w.SaveImageAs1->icon().isNull());
  QVERIFY(w.About1->icon().isNull());
  QCOMPARE(EnabledStates(w), kAtStart);
}

void WindowTest::windowSizeCaptionAndPlacement() {
  TMainWindow w("");
  w.ShowCentred();
  QVERIFY(QTest::qWaitForWindowExposed(&w));
  QCOMPARE(w.windowTitle(), QStringLiteral("Kestrel"));
  // The offscreen platform has a thin frame of its own: the client area gives way to it.
  const QSize frame = w.frameGeometry().size() - w.size();
  QVERIFY(frame.width() > 0);
  QCOMPARE(w.frameGeometry().size(), QSize(672, 462));
  const QRect area = w.screen()->availableGeometry();
  QVERIFY(qAbs(w.frameGeometry().center().x() - area.center().x()) <= 1);
  QVERIFY(qAbs(w.frameGeometry().center().y() - area.center().y()) <= 1);
  // The client area is all the window under the menu bar.
  QCOMPARE(w.ClientArea->geometry().top(), w.menuBar()->geometry().bottom() + 1);
  QCOMPARE(w.ClientArea->width(), 672 - frame.width());
  QCOMPARE(w.ClientArea->geometry().bottom(), 462 - frame.height() - 1);
  QCOMPARE(w.ClientArea->palette().color(QPalette::Window),
           w.ClientArea->palette().color(QPalette::Button));
}

void WindowTest::tabOrderPutsCenterBeforeFillCircles() {
  TMainWindow w("");
  QList<QWidget*> chain;
  QWidget* next = w.Memo;
  do {
    if (next->parentWidget() == w.Panel1 && (next->focusPolicy() & Qt::TabFocus)) {
      chain.append(next);
    }
    next = next->nextInFocusChain();
  } while (next != w.Memo);
  const QList<QWidget*> expected = {w.Memo,          w.AliasCheckBox,     w.FadeCheckBox,
                                    w.FlipZCheckBox, w.WhiteBackCheckBox, w.FreeSpinCheckBox,
                                    w.CenterButton,  w.CircleFillCheckBox};
  QCOMPARE(chain, expected);

  // And as the user walks it, once "Center" is enabled; the memo has the focus at start.
  ModalScript script;
  ShowAndActivate(w);
  QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w.Memo));
  w.Form().NewView();
  for (int i = 1; i < expected.size(); ++i) {
    QTest::keyClick(w.windowHandle(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), expected[i]);
  }
}

void WindowTest::emptyFrameOnButtonFaceBeforeAnyModel() {
  TMainWindow w("");
  w.ShowCentred();
  QVERIFY(QTest::qWaitForWindowExposed(&w));
  const QSize client = w.ClientArea->size();
  QCOMPARE(w.Form().FrameBitmap.size(), client - QSize(199, 7));

  const QImage shot = w.ClientArea->grab().toImage();
  const QRgb face = w.ClientArea->palette().color(QPalette::Button).rgb();
  const QRgb black = qRgb(0, 0, 0);
  QCOMPARE(shot.pixel(192, 0), black);
  QCOMPARE(shot.pixel(client.width() - 8, client.height() - 8), black);
  QCOMPARE(shot.pixel(191, 10), face);
  QCOMPARE(shot.pixel(client.width() - 7, 10), face);
  QCOMPARE(shot.pixel(300, client.height() - 7), face);
  QCOMPARE(shot.pixel(100, client.height() - 1), face);
}

// The window opens all the same, and says once what it opens.
void WindowTest::argumentWithOtherExtensionLoadsNothing() {
  QTemporaryDir dir;
  ModalScript script;
  const QString path = WriteTumbraFile(dir, QStringLiteral("square.doc"));
  TMainWindow w(path.toStdString());
  w.ShowCentred();
  QVERIFY(QTest::qWaitForWindowExposed(&w));
  QCOMPARE(script.boxes.size(), size_t{1});
  QCOMPARE(script.boxes[0].icon, QMessageBox::NoIcon);
  QCOMPARE(script.boxes[0].text, QString::fromStdString(NotOpenedMessage(path.toStdString())));
  QVERIFY(w.Form().NoModel);
  QVERIFY(w.Memo->toPlainText().isEmpty());
  QCOMPARE(EnabledStates(w), kAtStart);
}

// Needs the Tumbra reader.
void WindowTest::argumentInCapitalsLoadsAsTumbra() {
  QTemporaryDir dir;
  ModalScript script;
  TMainWindow w(WriteTumbraFile(dir, QStringLiteral("SQUARE.TMB")).toStdString());
  w.ShowCentred();
  QVERIFY(QTest::qWaitForWindowExposed(&w));
  QVERIFY(script.boxes.empty());
  QVERIFY(!w.Form().NoModel);
  QCOMPARE(w.Form().PointCount, 6);
  QCOMPARE(MemoLines(w),
           QStringList({QStringLiteral(" Square"), QStringLiteral(" with a diagonal")}));
}

// Needs the Tumbra reader.
void WindowTest::commandLineLoadLeavesSaveAsDisabled() {
  QTemporaryDir dir;
  ModalScript script;
  TMainWindow w(WriteTumbraFile(dir, QStringLiteral("square.tmb")).toStdString());
  w.ShowCentred();
  QVERIFY(QTest::qWaitForWindowExposed(&w));
  QVERIFY(script.boxes.empty());
  QCOMPARE(EnabledStates(w), kAfterCommandLineLoad);
  // Whichever came first, load or sizing, the frame shown is fitted to the window.
  TForm1& f = w.Form();
  const int side = std::min(f.FrameBitmap.width(), f.FrameBitmap.height());
  QVERIFY(f.FrameBitmap.width() > 0);
  QCOMPARE(f.Scale, (side - FitMargin) / static_cast<double>(f.ModelDiameter));
}

// Needs the Tumbra reader.
void WindowTest::openEnablesSaveAsAfterTheLoaderReturns() {
  QTemporaryDir dir;
  ModalScript script;
  TMainWindow w("");
  w.ShowCentred();
  script.AnswerFile(WriteTumbraFile(dir, QStringLiteral("square.tmb")));
  w.Open1->trigger();
  QCOMPARE(script.fileDialogs.size(), size_t{1});
  const ModalScript::FileDialog& shown = script.fileDialogs[0];
  QVERIFY(!shown.saves);
  // The two filters of old keep their places; meshes, point clouds, molecules and all models
  // follow.
  QCOMPARE(shown.nameFilters,
           QStringList({kTumbraFilter, kKestrelFilter,
                        QStringLiteral("Meshes (*.obj *.ply *.stl *.off *.gltf *.glb *.dae)"),
                        QStringLiteral("Point clouds (*.ply *.xyz *.txt *.csv *.pts)"),
                        QStringLiteral("Molecules (*.xyz *.pdb *.ent *.cif *.mmcif *.sdf *.mol "
                                       "*.mol2 *.cml)"),
                        QStringLiteral("All models (*.tmb *.ksl *.obj *.ply *.stl *.off *.gltf "
                                       "*.glb *.dae *.xyz *.txt *.csv *.pts *.pdb *.ent *.cif "
                                       "*.mmcif *.sdf *.mol *.mol2 *.cml)")}));
  QCOMPARE(shown.selectedFilterBefore, kTumbraFilter);
  QVERIFY(script.boxes.empty());
  QCOMPARE(EnabledStates(w), kAfterOpen);
  QCOMPARE(MemoLines(w),
           QStringList({QStringLiteral(" Square"), QStringLiteral(" with a diagonal")}));

  // A damaged file: the reader reports it itself and changes nothing, Save As included.
  TMainWindow again("");
  const QString damaged = dir.filePath(QStringLiteral("damaged.tmb"));
  QFile file(damaged);
  QVERIFY(file.open(QIODevice::WriteOnly));
  file.write("1 2 three 4\n");
  file.close();
  script.AnswerFile(damaged);
  again.Open1->trigger();
  QCOMPARE(script.boxes.size(), size_t{1});
  QCOMPARE(script.boxes[0].icon, QMessageBox::NoIcon);
  QCOMPARE(EnabledStates(again), kAtStart);
}

void WindowTest::cancelledOpenChangesNothing() {
  ModalScript script;
  TMainWindow w("");
  w.ShowCentred();
  w.Open1->trigger();  // no answer: the user cancels
  QCOMPARE(script.fileDialogs.size(), size_t{1});
  QVERIFY(script.boxes.empty());
  QVERIFY(w.Form().NoModel);
  QCOMPARE(EnabledStates(w), kAtStart);
}

// Needs the Tumbra reader.
void WindowTest::filterNotExtensionDecidesTheReader() {
  QTemporaryDir dir;
  ModalScript script;
  TMainWindow w("");
  w.ShowCentred();
  // A Tumbra file named like a scene file, opened with the Tumbra filter, reads as Tumbra.
  script.AnswerFile(WriteTumbraFile(dir, QStringLiteral("square.ksl")), kTumbraFilter);
  w.Open1->trigger();
  QVERIFY(script.boxes.empty());
  QCOMPARE(w.Form().PointCount, 6);
  QCOMPARE(MemoLines(w).value(0), QStringLiteral(" Square"));
}

void WindowTest::failureEscapingTheReaderLeavesSaveAsAlone() {
  QTemporaryDir dir;
  ModalScript script;
  TMainWindow w("");
  w.ShowCentred();
  // Text is no compressed scene: the scene reader fails, and its failure ends the command.
  script.AnswerFile(WriteTumbraFile(dir, QStringLiteral("square.tmb")), kKestrelFilter);
  w.Open1->trigger();
  QCOMPARE(script.fileDialogs.size(), size_t{1});
  QCOMPARE(script.boxes.size(), size_t{1});
  QCOMPARE(script.boxes[0].icon, QMessageBox::Critical);
  QVERIFY(!script.boxes[0].text.isEmpty());
  QVERIFY(!w.SaveAs1->isEnabled());
  // The program goes on: the next command works.
  w.Open1->trigger();
  QCOMPARE(script.fileDialogs.size(), size_t{2});
  QCOMPARE(script.fileDialogs[1].selectedFilterBefore, kKestrelFilter);
}

void WindowTest::checkBoxesBeforeAnyModelOnlySetFlags() {
  ModalScript script;
  TMainWindow w("");
  w.ShowCentred();
  QVERIFY(QTest::qWaitForWindowExposed(&w));
  const int framesBefore = w.ClientArea->FramesPresented();
  TForm1& f = w.Form();
  f.Segments.push_back(SegmentRecord{0, 0, MakeColor(255, 255, 255), 0, 0, 0});

  QTest::mouseClick(w.AliasCheckBox, Qt::LeftButton);
  QTest::mouseClick(w.FadeCheckBox, Qt::LeftButton);
  QTest::mouseClick(w.FlipZCheckBox, Qt::LeftButton);
  QTest::mouseClick(w.WhiteBackCheckBox, Qt::LeftButton);
  QTest::mouseClick(w.FreeSpinCheckBox, Qt::LeftButton);
  QTest::mouseClick(w.CircleFillCheckBox, Qt::LeftButton);
  QCOMPARE(f.AntiAlias, false);
  QCOMPARE(f.Fade, false);
  QCOMPARE(f.FlipZ, true);
  QCOMPARE(f.WhiteBack, true);
  QCOMPARE(f.FreeSpin, true);
  QCOMPARE(f.FillCircles, true);
  QCOMPARE(f.Segments[0].Colour, MakeColor(255, 255, 255));
  QCOMPARE(w.ClientArea->FramesPresented(), framesBefore);
  QVERIFY(script.boxes.empty());
  QVERIFY(f.NoModel);
}

void WindowTest::checkBoxesWithAModelDrawOneFrame() {
  ModalScript script;
  TMainWindow w("");
  w.ShowCentred();
  QVERIFY(QTest::qWaitForWindowExposed(&w));
  SetUpModel(w.Form());
  for (TCheck* box : {w.AliasCheckBox, w.FadeCheckBox, w.FlipZCheckBox, w.CircleFillCheckBox}) {
    const int before = w.ClientArea->FramesPresented();
    QTest::mouseClick(box, Qt::LeftButton);
    QCOMPARE(w.ClientArea->FramesPresented(), before + 1);
  }
  QCOMPARE(w.Form().AntiAlias, false);
  QCOMPARE(w.Form().FillCircles, true);
  // Free Spin never draws.
  const int before = w.ClientArea->FramesPresented();
  QTest::mouseClick(w.FreeSpinCheckBox, Qt::LeftButton);
  QCOMPARE(w.ClientArea->FramesPresented(), before);
  QCOMPARE(w.Form().FreeSpin, true);
  QVERIFY(script.boxes.empty());
}

void WindowTest::whiteBackRecoloursBothWays() {
  ModalScript script;
  TMainWindow w("");
  w.ShowCentred();
  SetUpModel(w.Form());
  std::vector<SegmentRecord>& s = w.Form().Segments;
  const uint32_t white = MakeColor(255, 255, 255);
  const uint32_t grey = MakeColor(40, 40, 40);
  const uint32_t red = MakeColor(0, 0, 255);

  const int before = w.ClientArea->FramesPresented();
  QTest::mouseClick(w.WhiteBackCheckBox, Qt::LeftButton);
  QCOMPARE(w.Form().WhiteBack, true);
  QCOMPARE(s[0].Colour, grey);
  QCOMPARE(s[1].Colour, grey);
  QCOMPARE(s[2].Colour, grey);
  QCOMPARE(s[3].Colour, red);
  QCOMPARE(w.ClientArea->FramesPresented(), before + 1);

  QTest::keyClick(w.WhiteBackCheckBox, Qt::Key_Space);
  QCOMPARE(w.Form().WhiteBack, false);
  QCOMPARE(s[0].Colour, white);
  QCOMPARE(s[1].Colour, white);
  QCOMPARE(s[2].Colour, white);  // grey from the start turns white as well
  QCOMPARE(s[3].Colour, red);
  QCOMPARE(w.ClientArea->FramesPresented(), before + 2);
}

void WindowTest::loaderSettingABoxToItsStateRunsNoHandler() {
  TMainWindow w("");
  TForm1& f = w.Form();
  SetUpModel(f);
  // The free-spin handler stops the timer: a running timer shows whether it ran.
  w.Timer1->start();
  f.SetCheckBox(kFreeSpinCheckBox, false);
  QVERIFY(w.Timer1->isActive());
  QVERIFY(!f.NoModel);

  const int before = w.ClientArea->FramesPresented();
  f.SetCheckBox(kFreeSpinCheckBox, true);
  QVERIFY(w.FreeSpinCheckBox->isChecked());
  QVERIFY(f.FreeSpin);
  QVERIFY(!w.Timer1->isActive());
  // A loader's change neither draws nor recolours.
  f.SetCheckBox(kWhiteBackCheckBox, true);
  QVERIFY(f.WhiteBack);
  QCOMPARE(f.Segments[0].Colour, MakeColor(255, 255, 255));
  f.SetCheckBox(42, true);  // any other number is Fill Circles
  QVERIFY(w.CircleFillCheckBox->isChecked());
  QVERIFY(f.FillCircles);
  QCOMPARE(w.ClientArea->FramesPresented(), before);
  QVERIFY(!f.NoModel);
}

void WindowTest::freeSpinBoxStopsTheTimer() {
  ModalScript script;
  TMainWindow w("");
  SetUpModel(w.Form());
  QTest::mouseClick(w.FreeSpinCheckBox, Qt::LeftButton);
  w.Controls().SetTimerEnabled(true);
  QVERIFY(w.Controls().TimerEnabled());
  QTest::mouseClick(w.FreeSpinCheckBox, Qt::LeftButton);
  QVERIFY(!w.Controls().TimerEnabled());
  QVERIFY(!w.Form().FreeSpin);
}

void WindowTest::resizeKeepsPanelAndRefits() {
  ModalScript script;
  TMainWindow w("");
  w.ShowCentred();
  QVERIFY(QTest::qWaitForWindowExposed(&w));
  TForm1& f = w.Form();
  SetUpModel(f);
  f.Scale *= 3;  // the user's zoom goes with the resize
  const int menu = w.ClientArea->geometry().top();
  w.resize(800, 600 + menu);
  QTRY_COMPARE(w.ClientArea->size(), QSize(800, 600));
  QCOMPARE(w.Panel1->geometry(), QRect(0, 0, 185, 401));
  QCOMPARE(f.FrameBitmap.size(), QSize(601, 593));
  QCOMPARE(f.Scale, (593 - FitMargin) / static_cast<double>(f.ModelDiameter));
  QCOMPARE(f.InitialScale, f.Scale);
  QVERIFY(script.boxes.empty());
}

void WindowTest::memoShowsCommentLinesWhateverTheirEncoding() {
  TMainWindow w("");
  TQtControls& c = w.Controls();
  c.MemoAdd("caf\xC3\xA9 in UTF-8");
  c.MemoAdd("caf\xE9 in Latin-1");
  c.MemoAdd(" ");
  QCOMPARE(MemoLines(w),
           QStringList({QStringLiteral("caf\u00E9 in UTF-8"),
                        QStringLiteral("caf\u00E9 in Latin-1"), QStringLiteral(" ")}));
  c.MemoClear();
  QVERIFY(w.Memo->toPlainText().isEmpty());
}

void WindowTest::memoShowsTheStartOfHugeCommentBlocksAndTheModelKeepsAll() {
  QTemporaryDir dir;
  // 20,000 comment lines, the first 5,000 bytes long with a two-byte letter across the cut.
  std::string text = "#" + std::string(4095, 'a') + "\xC3\xA9" + std::string(903, 'b') + "\n";
  for (int i = 1; i < 20000; ++i) text += "# line " + std::to_string(i) + "\n";
  text += "\n0 0 0 0\n1 1 1 1\n";
  const QString path = dir.filePath(QStringLiteral("long.tmb"));
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly));
  file.write(text.data(), static_cast<qint64>(text.size()));
  file.close();

  TMainWindow w("");
  w.Form().LoadTmbFile(path.toStdString());
  const QStringList shown = MemoLines(w);
  QCOMPARE(shown.size(), 10001);
  QCOMPARE(shown[0], QString(4095, QLatin1Char('a')) + QChar(0x2026));
  QCOMPARE(shown[1], QStringLiteral(" line 1"));
  QCOMPARE(shown[9999], QStringLiteral(" line 9999"));
  QCOMPARE(shown[10000], QString(QChar(0x2026)));
  // The model keeps every line whole, for a save to write.
  QCOMPARE(w.Form().CommentLines.size(), size_t{20000});
  QCOMPARE(w.Form().CommentLines[0].size(), size_t{5000});
  // A second load starts the memo afresh.
  w.Form().LoadTmbFile(WriteTumbraFile(dir, QStringLiteral("square.tmb")).toStdString());
  QCOMPARE(MemoLines(w),
           QStringList({QStringLiteral(" Square"), QStringLiteral(" with a diagonal")}));
}

void WindowTest::exitClosesWithoutAsking() {
  ModalScript script;
  TMainWindow w("");
  w.ShowCentred();
  QVERIFY(QTest::qWaitForWindowExposed(&w));
  SetUpModel(w.Form());
  w.Exit1->trigger();
  QVERIFY(!w.isVisible());
  QVERIFY(script.boxes.empty());
  QVERIFY(script.fileDialogs.empty());
}

void WindowTest::aboutShowsTheAboutBoxModally() {
  ModalScript script;
  TMainWindow w("");
  QVERIFY(!w.AboutBox().isVisible());
  w.About1->trigger();
  QCOMPARE(script.aboutBoxes, 1);
  w.About1->trigger();
  QCOMPARE(script.aboutBoxes, 2);
}

QTEST_MAIN(WindowTest)
#include "window_test.moc"
