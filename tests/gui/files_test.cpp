// The window's everyday file habits: Reload, Open Recent, the folders the dialogs remember, the
// shortcuts (none taking a key the view uses), full screen, the smallest window and the tooltips.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFrame>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>

#include "app/ClientArea.h"
#include "app/ControlsUnit.h"
#include "app/MainUnit.h"
#include "app/QtControls.h"
#include "app/Settings.h"
#include "gui_support.h"
#include "scene/colour_codes.h"
#include "scene/scene_model.h"

namespace {

bool WriteFile(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

// A square of four coloured edges (code `colour`), as Tumbra text.
QByteArray Square(int colour) {
  const QByteArray c = QByteArray::number(colour);
  return "# square\n\n-1 0 -1 0\n1 0 -1 " + c + "\n1 0 1 " + c + "\n-1 0 1 " + c + "\n-1 0 -1 " +
         c + "\n";
}

// The recent files as Open Recent shows them: each entry's text and whether it can be chosen,
// then the Clear entry's.
QStringList RecentMenu(TMainWindow& w) {
  emit w.OpenRecent1->aboutToShow();
  QStringList shown;
  for (QAction* entry : w.OpenRecent1->actions()) {
    if (entry->isSeparator()) continue;
    shown << entry->text() + (entry->isEnabled() ? QString() : QStringLiteral(" (disabled)"));
  }
  return shown;
}

QAction* RecentEntry(TMainWindow& w, int index) {
  emit w.OpenRecent1->aboutToShow();
  return w.OpenRecent1->actions().value(index);
}

// The same window state as a user would see it: the model's colours and the view.
struct Seen {
  std::vector<uint32_t> colours;
  Vec3 right;
  double panX, scale;
  explicit Seen(const TForm1& f) : right(f.RightAxis), panX(f.PanX), scale(f.Scale) {
    for (const SegmentRecord& s : f.Segments) colours.push_back(s.Colour);
  }
};

}  // namespace

class FilesTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { ForgetSettings(); }
  void reloadReadsTheShownFileAgainKeepingTheView();
  void reloadUsesTheReaderThatOpenedTheFile();
  void recentFilesFromEveryWayInLatestFirst();
  void recentFilesKeepTenAndOpenAsOpenDoes();
  void missingRecentFileIsDisabledAndClearEmptiesTheList();
  void dialogsStartInTheFolderLastUsed();
  void shortcutsLeaveThePanAndZoomKeysAlone();
  void smallestWindowKeepsThePanelAndADrawingArea();
  void everyOptionAndCenterSaysWhatItDoes();
};

void FilesTest::reloadReadsTheShownFileAgainKeepingTheView() {
  QTemporaryDir dir;
  ModalScript script;
  TMainWindow w("");
  ShowAndActivate(w);
  QVERIFY(!w.Reload1->isEnabled());
  w.Reload1->trigger();  // nothing to read
  QVERIFY(w.Form().NoModel);

  const QString path = dir.filePath(QStringLiteral("square.tmb"));
  QVERIFY(WriteFile(path, Square(1)));
  script.AnswerFile(path);
  w.Open1->trigger();
  QVERIFY(w.Reload1->isEnabled());
  QCOMPARE(w.CurrentFile(), path);
  TForm1& f = w.Form();
  f.RotateCam(1, 0.4);
  f.PanX = 0.25;
  f.Scale *= 1.5;
  const Seen before(f);
  QCOMPARE(before.colours.front(), f.CodeToColor(1));

  // The file changes on disk; F5 reads it again, in the colours it has now, in the user's view.
  QVERIFY(WriteFile(path, Square(2)));
  const int frames = w.ClientArea->FramesPresented();
  QTest::keyClick(w.windowHandle(), Qt::Key_F5);
  const Seen after(f);
  QCOMPARE(after.colours, std::vector<uint32_t>(4, f.CodeToColor(2)));
  QCOMPARE(after.right.x, before.right.x);
  QCOMPARE(after.panX, before.panX);
  QCOMPARE(after.scale, before.scale);
  // One picture reaches the screen: the new model in the old view.
  QCOMPARE(w.ClientArea->FramesPresented(), frames + 1);
  QVERIFY(script.boxes.empty());
}

void FilesTest::reloadUsesTheReaderThatOpenedTheFile() {
  QTemporaryDir dir;
  ModalScript script;
  TMainWindow w("");
  w.ShowCentred();
  // Tumbra text named as a scene file, opened with the Tumbra filter: Reload reads it as Tumbra.
  const QString path = dir.filePath(QStringLiteral("square.ksl"));
  QVERIFY(WriteFile(path, Square(1)));
  script.AnswerFile(path, kTumbraFilter);
  w.Open1->trigger();
  QVERIFY(WriteFile(path, Square(3)));
  w.Reload1->trigger();
  QVERIFY(script.boxes.empty());
  QCOMPARE(w.Form().Segments.front().Colour, w.Form().CodeToColor(3));

  // A scene file that has since been damaged is refused: the model and view stay as they were.
  const QString scene = dir.filePath(QStringLiteral("scene.ksl"));
  w.Form().SaveKslFile(scene.toStdString());
  script.AnswerFile(scene, kKestrelFilter);
  w.Open1->trigger();
  w.Form().RotateCam(0, 0.3);
  const Seen before(w.Form());
  QVERIFY(WriteFile(scene, "not a scene"));
  w.Reload1->trigger();
  QCOMPARE(script.boxes.size(), size_t{1});
  QCOMPARE(script.boxes[0].icon, QMessageBox::Critical);
  const Seen after(w.Form());
  QCOMPARE(after.colours, before.colours);
  QCOMPARE(after.right.y, before.right.y);
  QCOMPARE(w.CurrentFile(), scene);
}

void FilesTest::recentFilesFromEveryWayInLatestFirst() {
  QTemporaryDir dir;
  ModalScript script;
  const QString first = dir.filePath(QStringLiteral("first.tmb"));
  const QString second = dir.filePath(QStringLiteral("second.tmb"));
  const QString broken = dir.filePath(QStringLiteral("broken.tmb"));
  QVERIFY(WriteFile(first, Square(1)) && WriteFile(second, Square(2)));
  QVERIFY(WriteFile(broken, "# nothing but a comment\n"));
  {
    // The command line, then Open, then a refused file, then a drop of the first again.
    TMainWindow w(first.toStdString());
    QVERIFY(!w.OpenRecent1->menuAction()->isEnabled());
    w.ShowCentred();
    QVERIFY(w.OpenRecent1->menuAction()->isEnabled());
    script.AnswerFile(second);
    w.Open1->trigger();
    script.AnswerFile(broken);
    w.Open1->trigger();
    QCOMPARE(script.boxes.size(), size_t{1});
    QCOMPARE(RecentMenu(w), QStringList({"&1 " + second, "&2 " + first, QStringLiteral("Clear")}));
    w.Form().OpenDroppedFile(first.toStdString());
    QCOMPARE(RecentMenu(w), QStringList({"&1 " + first, "&2 " + second, QStringLiteral("Clear")}));
  }
  // The next run finds them, and the same file by another spelling is the same entry.
  TMainWindow next("");
  QCOMPARE(RecentMenu(next), QStringList({"&1 " + first, "&2 " + second, QStringLiteral("Clear")}));
  const QString roundabout = dir.path() + QStringLiteral("/./sub/../second.tmb");
  QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("sub")));
  next.Form().OpenDroppedFile(roundabout.toStdString());
  QCOMPARE(TSettings::RecentFiles(), QList<TRecentFile>({{second, 1}, {first, 1}}));
}

void FilesTest::recentFilesKeepTenAndOpenAsOpenDoes() {
  QTemporaryDir dir;
  ModalScript script;
  TMainWindow w("");
  w.ShowCentred();
  QStringList paths;
  for (int i = 0; i < 12; ++i) {
    paths << dir.filePath(QStringLiteral("m%1.tmb").arg(i));
    QVERIFY(WriteFile(paths.back(), Square(1 + i % 5)));
    w.Form().OpenDroppedFile(paths.back().toStdString());
  }
  // A name with an ampersand shows it as itself.
  const QString amp = dir.filePath(QStringLiteral("R&D.ksl"));
  QVERIFY(WriteFile(amp, Square(4)));
  script.AnswerFile(amp, kTumbraFilter);
  w.Open1->trigger();
  const QStringList shown = RecentMenu(w);
  QCOMPARE(shown.size(), TSettings::kMaxRecentFiles + 1);
  QCOMPARE(shown[0], QStringLiteral("&1 ") + dir.path() + QStringLiteral("/R&&D.ksl"));
  QCOMPARE(shown[1], "&2 " + paths[11]);
  QCOMPARE(shown[8], "&9 " + paths[4]);
  QCOMPARE(shown[9], "10 " + paths[3]);
  QCOMPARE(shown[10], QStringLiteral("Clear"));

  // Chosen from the list, a file opens as Open opens it, with the reader that read it before:
  // the Tumbra text named .ksl reads as Tumbra again, and Save As is enabled.
  TMainWindow fresh("");
  fresh.ShowCentred();
  QVERIFY(!fresh.SaveAs1->isEnabled());
  RecentEntry(fresh, 0)->trigger();
  QVERIFY(script.boxes.empty());
  QCOMPARE(fresh.Form().Segments.front().Colour, fresh.Form().CodeToColor(4));
  QVERIFY(fresh.SaveAs1->isEnabled());
  QCOMPARE(fresh.CurrentFile(), amp);
}

void FilesTest::missingRecentFileIsDisabledAndClearEmptiesTheList() {
  QTemporaryDir dir;
  ModalScript script;
  const QString kept = dir.filePath(QStringLiteral("kept.tmb"));
  const QString gone = dir.filePath(QStringLiteral("gone.tmb"));
  QVERIFY(WriteFile(kept, Square(1)) && WriteFile(gone, Square(2)));
  TMainWindow w("");
  w.Form().OpenDroppedFile(kept.toStdString());
  w.Form().OpenDroppedFile(gone.toStdString());
  QVERIFY(QFile::remove(gone));
  QCOMPARE(RecentMenu(w),
           QStringList({"&1 " + gone + " (disabled)", "&2 " + kept, QStringLiteral("Clear")}));
  // Put back, it can be chosen again.
  QVERIFY(WriteFile(gone, Square(2)));
  QCOMPARE(RecentMenu(w).value(0), "&1 " + gone);

  QAction* clear = RecentEntry(w, 3);  // after the two files and a separator
  QCOMPARE(clear->text(), QStringLiteral("Clear"));
  clear->trigger();
  QVERIFY(TSettings::RecentFiles().isEmpty());
  QVERIFY(!w.OpenRecent1->menuAction()->isEnabled());
  QCOMPARE(RecentMenu(w), QStringList({QStringLiteral("Clear")}));
  // Clearing the list forgets nothing else: the shown file can still be read again.
  QVERIFY(w.Reload1->isEnabled());
  QVERIFY(script.boxes.empty());
}

void FilesTest::dialogsStartInTheFolderLastUsed() {
  QTemporaryDir dir;
  QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("models")));
  QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("pictures")));
  const QString models = dir.filePath(QStringLiteral("models"));
  const QString pictures = dir.filePath(QStringLiteral("pictures"));
  const QString square = models + QStringLiteral("/square.tmb");
  QVERIFY(WriteFile(square, Square(1)));
  ModalScript script;
  {
    TMainWindow w("");
    w.ShowCentred();
    script.AnswerFile(square);
    w.Open1->trigger();
    script.AnswerFile(pictures + QStringLiteral("/square.bmp"));
    w.SaveImageAs1->trigger();
    QVERIFY(script.boxes.empty());
  }
  // The next run's dialogs start there: Open and Save As where the model was, Save Image As
  // where the picture went.
  TMainWindow w("");
  w.ShowCentred();
  TQtControls& c = w.Controls();
  std::string path;
  int filter = 0;
  QCOMPARE(c.RunOpenDialog(path, filter), false);  // the script cancels
  QCOMPARE(c.OpenDialog().directory().absolutePath(), models);
  QCOMPARE(c.RunSaveDialog(SaveDialogKind::Scene, path, filter), false);
  QCOMPARE(c.SaveDialog().directory().absolutePath(), models);
  QCOMPARE(c.RunSaveDialog(SaveDialogKind::Picture, path, filter), false);
  QCOMPARE(c.SavePictureDialog().directory().absolutePath(), pictures);
  // A folder since removed leaves a dialog where it was.
  QVERIFY(QDir(pictures).removeRecursively());
  const QString before = c.SavePictureDialog().directory().absolutePath();
  c.RunSaveDialog(SaveDialogKind::Picture, path, filter);
  QCOMPARE(c.SavePictureDialog().directory().absolutePath(), before);
}

void FilesTest::shortcutsLeaveThePanAndZoomKeysAlone() {
  ModalScript script;
  TMainWindow w("");
  ShowAndActivate(w);
  QCOMPARE(w.Open1->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_O));
  QCOMPARE(w.Reload1->shortcut(), QKeySequence(Qt::Key_F5));
  QCOMPARE(w.FullScreen1->shortcut(), QKeySequence(Qt::Key_F11));
  // The letters the view pans and zooms with, whatever the modifiers, and the arrows.
  const QList<int> viewKeys = {Qt::Key_A, Qt::Key_Q,  Qt::Key_S,    Qt::Key_D,    Qt::Key_F,
                               Qt::Key_C, Qt::Key_Up, Qt::Key_Down, Qt::Key_Left, Qt::Key_Right};
  // Every command of the main window: its own, the menu bar's and the menus'.
  const QList<QAction*> commands =
      w.actions() + w.menuBar()->actions() + w.File1->actions() + w.OpenRecent1->actions();
  QVERIFY(commands.contains(w.FullScreen1));
  for (QAction* action : commands) {
    for (const QKeySequence& keys : action->shortcuts()) {
      for (int i = 0; i < keys.count(); ++i) {
        QVERIFY2(!viewKeys.contains(keys[i].key()), qPrintable(action->text()));
      }
    }
  }
  // Nor does Alt with a letter open a menu: no title on the menu bar has a mnemonic.
  for (QAction* top : w.menuBar()->actions()) QVERIFY(!top->text().contains(QLatin1Char('&')));

  // Ctrl+O opens the Open dialog, F11 goes full screen and back.
  QTest::keyClick(w.windowHandle(), Qt::Key_O, Qt::ControlModifier);
  QCOMPARE(script.fileDialogs.size(), size_t{1});
  QVERIFY(!script.fileDialogs[0].saves);
  QTest::keyClick(w.windowHandle(), Qt::Key_F11);
  QTRY_VERIFY(w.isFullScreen());
  QTest::keyClick(w.windowHandle(), Qt::Key_F11);
  QTRY_VERIFY(!w.isFullScreen());
}

void FilesTest::smallestWindowKeepsThePanelAndADrawingArea() {
  ModalScript script;
  TMainWindow w("");
  w.ShowCentred();
  QVERIFY(QTest::qWaitForWindowExposed(&w));
  QCOMPARE(TMainWindow::MinimumClientSize(), QSize(263, 401));
  w.resize(50, 50);
  QTRY_COMPARE(w.ClientArea->size(), QSize(263, 401));
  const QRect panel = w.Panel1->geometry();
  QVERIFY(w.ClientArea->rect().contains(panel));
  const QRect center = w.CenterButton->geometry().translated(panel.topLeft());
  QVERIFY(w.ClientArea->rect().contains(center));
  QCOMPARE(w.Form().FrameBitmap.size(), QSize(64, 394));
  QVERIFY(script.boxes.empty());
}

void FilesTest::everyOptionAndCenterSaysWhatItDoes() {
  TMainWindow w("");
  const QList<QWidget*> controls = {w.AliasCheckBox,     w.FadeCheckBox,     w.FlipZCheckBox,
                                    w.WhiteBackCheckBox, w.FreeSpinCheckBox, w.CircleFillCheckBox,
                                    w.CenterButton};
  QStringList tips;
  for (QWidget* control : controls) {
    const QString tip = control->toolTip();
    QVERIFY2(!tip.isEmpty() && !tip.contains(QLatin1Char('\n')), qPrintable(tip));
    QVERIFY(!tips.contains(tip));
    tips << tip;
  }
  QVERIFY(w.FlipZCheckBox->toolTip().contains(QStringLiteral("mirror"), Qt::CaseInsensitive));
}

QTEST_MAIN(FilesTest)
#include "files_test.moc"
