// Keys, wheel, mouse, timer and cursor as the window hands them to the form.
#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>
#include <QWindow>
#include <cmath>

#include "app/ClientArea.h"
#include "app/ControlsUnit.h"
#include "app/KeyInput.h"
#include "app/MainUnit.h"
#include "app/QtControls.h"
#include "app/Resources.h"
#include "gui_support.h"
#include "scene/scene_model.h"

namespace {

// A wheel turn over `at` (client coordinates), entering the window as the system's would.
void Wheel(TMainWindow& w, QPoint at, int delta, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
  const QPointF local = w.ClientArea->mapTo(&w, at);
  const QPointF global = w.mapToGlobal(local);
  QWheelEvent event(local, global, QPoint(), QPoint(0, delta), Qt::NoButton, modifiers,
                    Qt::NoScrollPhase, false);
  QCoreApplication::sendEvent(w.windowHandle(), &event);
}

// An active window with the small model loaded; a script answers its modal dialogs.
struct ModelWindow {
  ModalScript script;
  TMainWindow w{""};
  TForm1& f = w.Form();
  ModelWindow() {
    ShowAndActivate(w);
    SetUpModel(f);
  }
};

// Enough lines for the memo to scroll, shown from the top.
void FillMemo(TMainWindow& w) {
  for (int i = 0; i < 40; ++i) w.Memo->appendPlainText(QStringLiteral("line"));
  w.Memo->verticalScrollBar()->setValue(0);
}

bool SameCursor(const QCursor* a, const QCursor& b) {
  return a != nullptr && a->hotSpot() == b.hotSpot() &&
         a->pixmap().toImage() == b.pixmap().toImage();
}

}  // namespace

class InputTest : public QObject {
  Q_OBJECT

 private slots:
  void virtualKeyCodes();
  void heldKeysFollowPressAndRelease();
  void arrowsWithFocusOnCheckBoxesAndCenterReachTheForm();
  void arrowsBeforeAnyModelLeaveTheFocusWhereItIs();
  void letterKeyTakenByTheFormNeverReachesTheMemo();
  void wheelOverTheMemoZoomsAndScrollsNothing();
  void wheelZoomsWhateverKeysAreHeld();
  void mouseOnTheDrawingAreaDragsWithTheClosedHand();
  void pressOnThePanelIsNotForTheDrawingArea();
  void screenCursorIsOneOverrideAtMost();
  void timerTicksTurnTheModel();
};

void InputTest::virtualKeyCodes() {
  QCOMPARE(VirtualKeyOf(Qt::Key_Left), 37);
  QCOMPARE(VirtualKeyOf(Qt::Key_Up), 38);
  QCOMPARE(VirtualKeyOf(Qt::Key_Right), 39);
  QCOMPARE(VirtualKeyOf(Qt::Key_Down), 40);
  QCOMPARE(VirtualKeyOf(Qt::Key_Shift), 16);
  QCOMPARE(VirtualKeyOf(Qt::Key_Control), 17);
  QCOMPARE(VirtualKeyOf(Qt::Key_A), 65);
  QCOMPARE(VirtualKeyOf(Qt::Key_Q), 81);
  QCOMPARE(VirtualKeyOf(Qt::Key_Z), 90);
  QCOMPARE(VirtualKeyOf(Qt::Key_0), 48);
  QCOMPARE(VirtualKeyOf(Qt::Key_F1), 112);
  QCOMPARE(VirtualKeyOf(Qt::Key_Space), 32);
  // Keys without a code still reach the form (held arrows act on any key), never as 0.
  QCOMPARE(VirtualKeyOf(Qt::Key_Eacute), kUnmappedKey);
  QVERIFY(kUnmappedKey != 0);
}

void InputTest::heldKeysFollowPressAndRelease() {
  THeldKeys keys;
  const auto note = [&keys](QEvent::Type type, int key, Qt::KeyboardModifiers mods,
                            bool repeat = false) {
    QKeyEvent event(type, key, mods, QString(), repeat);
    keys.Note(event);
  };
  note(QEvent::KeyPress, Qt::Key_Left, Qt::NoModifier);
  QVERIFY(keys.IsDown(VK_LEFT));
  QVERIFY(!keys.IsDown(VK_UP));
  // Auto-repeat releases the key only in name.
  note(QEvent::KeyRelease, Qt::Key_Left, Qt::NoModifier, true);
  QVERIFY(keys.IsDown(VK_LEFT));
  note(QEvent::KeyPress, Qt::Key_Up, Qt::NoModifier);
  QVERIFY(keys.IsDown(VK_LEFT) && keys.IsDown(VK_UP));
  note(QEvent::KeyRelease, Qt::Key_Left, Qt::NoModifier);
  QVERIFY(!keys.IsDown(VK_LEFT));
  QVERIFY(keys.IsDown(VK_UP));

  // Shift's own press may not carry its modifier yet; it is down all the same.
  note(QEvent::KeyPress, Qt::Key_Shift, Qt::NoModifier);
  QVERIFY(keys.IsDown(VK_SHIFT));
  QVERIFY(!keys.IsDown(VK_CONTROL));
  note(QEvent::KeyPress, Qt::Key_Control, Qt::ShiftModifier);
  QVERIFY(keys.IsDown(VK_SHIFT) && keys.IsDown(VK_CONTROL));
  // Its release may still carry it; it is up.
  note(QEvent::KeyRelease, Qt::Key_Shift, Qt::ShiftModifier | Qt::ControlModifier);
  QVERIFY(!keys.IsDown(VK_SHIFT));
  QVERIFY(keys.IsDown(VK_CONTROL));
  // Any other key's modifiers are the state now.
  note(QEvent::KeyPress, Qt::Key_S, Qt::NoModifier);
  QVERIFY(!keys.IsDown(VK_CONTROL));
  QVERIFY(!keys.IsDown(VK_SHIFT));

  keys.Clear();
  QVERIFY(!keys.IsDown(VK_UP));
  QVERIFY(!keys.IsDown(-1));
  QVERIFY(!keys.IsDown(100000));
}

// Needs the key handler.
void InputTest::arrowsWithFocusOnCheckBoxesAndCenterReachTheForm() {
  ModelWindow m;
  TMainWindow& w = m.w;
  TForm1& f = m.f;
  QVERIFY(w.CenterButton->isEnabled());
  QWidget* stops[] = {w.AliasCheckBox,     w.FadeCheckBox,     w.FlipZCheckBox,
                      w.WhiteBackCheckBox, w.FreeSpinCheckBox, w.CircleFillCheckBox,
                      w.CenterButton};
  for (QWidget* stop : stops) {
    stop->setFocus();
    QCOMPARE(QApplication::focusWidget(), stop);
    const int before = w.ClientArea->FramesPresented();
    // Left alone turns the front of the model to the left, 5 degrees about the up axis.
    const Vec3 right = f.RightAxis;
    QTest::keyPress(w.windowHandle(), Qt::Key_Left);
    QTest::keyRelease(w.windowHandle(), Qt::Key_Left);
    QVERIFY(std::abs(f.RightAxis.x - right.x) > 1e-3 || std::abs(f.RightAxis.z - right.z) > 1e-3);
    QCOMPARE(w.ClientArea->FramesPresented(), before + 1);
    QCOMPARE(QApplication::focusWidget(), stop);
  }
  // Ctrl with Up pans up by ten pixels' worth.
  w.CenterButton->setFocus();
  const double panY = f.PanY;
  QTest::keyPress(w.windowHandle(), Qt::Key_Control);
  QTest::keyPress(w.windowHandle(), Qt::Key_Up, Qt::ControlModifier);
  QTest::keyRelease(w.windowHandle(), Qt::Key_Up, Qt::ControlModifier);
  QTest::keyRelease(w.windowHandle(), Qt::Key_Control, Qt::ControlModifier);
  QCOMPARE(f.PanY, panY + 10.0f / f.Scale);
  QVERIFY(m.script.boxes.empty());
}

void InputTest::arrowsBeforeAnyModelLeaveTheFocusWhereItIs() {
  ModalScript script;
  TMainWindow w("");
  ShowAndActivate(w);
  w.Form().NewView();  // enables Center
  w.Form().NoModel = true;
  for (QWidget* stop :
       {static_cast<QWidget*>(w.FadeCheckBox), static_cast<QWidget*>(w.CenterButton)}) {
    stop->setFocus();
    for (Qt::Key key : {Qt::Key_Left, Qt::Key_Up, Qt::Key_Right, Qt::Key_Down}) {
      QTest::keyClick(w.windowHandle(), key);
      QCOMPARE(QApplication::focusWidget(), stop);
    }
  }
  QVERIFY(w.FadeCheckBox->isChecked());
}

// Needs the key handler.
void InputTest::letterKeyTakenByTheFormNeverReachesTheMemo() {
  ModelWindow m;
  TMainWindow& w = m.w;
  TForm1& f = m.f;
  FillMemo(w);
  w.Memo->setFocus();
  const double scale = f.Scale;
  // F zooms in; the memo would otherwise scroll on Down, and it must not see Down either.
  QTest::keyClick(w.windowHandle(), Qt::Key_F);
  QCOMPARE(f.Scale, scale / 0.96);
  QTest::keyClick(w.windowHandle(), Qt::Key_PageDown);
  QVERIFY(w.Memo->verticalScrollBar()->value() > 0);  // keys the form leaves reach the memo
  w.Memo->verticalScrollBar()->setValue(0);
  const int position = w.Memo->textCursor().position();
  QTest::keyClick(w.windowHandle(), Qt::Key_Down);
  QCOMPARE(w.Memo->textCursor().position(), position);
  QCOMPARE(w.Memo->verticalScrollBar()->value(), 0);
  QVERIFY(m.script.boxes.empty());
}

// Zooming needs the wheel handler; that the memo does not scroll does not.
void InputTest::wheelOverTheMemoZoomsAndScrollsNothing() {
  ModelWindow m;
  TMainWindow& w = m.w;
  TForm1& f = m.f;
  FillMemo(w);
  const double scale = f.Scale;
  const QPoint overMemo = w.Memo->geometry().center();
  Wheel(w, overMemo, -120);
  QCOMPARE(w.Memo->verticalScrollBar()->value(), 0);
  QVERIFY(std::abs(f.Scale - scale * 0.96) < 1e-12 * scale);
  // Half notches add up: the second one makes a step.
  Wheel(w, QPoint(400, 200), 60);
  QVERIFY(std::abs(f.Scale - scale * 0.96) < 1e-12 * scale);
  Wheel(w, QPoint(400, 200), 60);
  QVERIFY(std::abs(f.Scale - scale) < 1e-12 * scale);
  QVERIFY(m.script.boxes.empty());
}

void InputTest::wheelZoomsWhateverKeysAreHeld() {
  // Where the platform turns Alt and the wheel sideways, the sideways part is the wheel.
  QCOMPARE(VerticalWheelTurn(QPoint(-120, 0), Qt::AltModifier, true), -120);
  QCOMPARE(VerticalWheelTurn(QPoint(240, 0), Qt::AltModifier | Qt::ShiftModifier, true), 240);
  // ...and a tilt sideways under Alt, which it turns upright, is still no zoom.
  QCOMPARE(VerticalWheelTurn(QPoint(0, 120), Qt::AltModifier, true), 0);
  QCOMPARE(VerticalWheelTurn(QPoint(0, 120), Qt::ControlModifier, true), 120);
  QCOMPARE(VerticalWheelTurn(QPoint(120, 0), Qt::NoModifier, true), 0);
  // Platforms that leave it alone.
  QCOMPARE(VerticalWheelTurn(QPoint(0, -120), Qt::AltModifier, false), -120);
  QCOMPARE(VerticalWheelTurn(QPoint(-120, 0), Qt::AltModifier, false), 0);
  QVERIFY(!PlatformTransposesAltWheel());  // offscreen; X11 is tested under Xvfb

  ModelWindow m;
  const double scale = m.f.Scale;
  Wheel(m.w, QPoint(400, 200), -120, Qt::AltModifier);
  QVERIFY(std::abs(m.f.Scale - scale * 0.96) < 1e-12 * scale);
  Wheel(m.w, QPoint(400, 200), 120, Qt::ShiftModifier | Qt::ControlModifier);
  QVERIFY(std::abs(m.f.Scale - scale) < 1e-12 * scale);
}

// Needs the mouse handlers.
void InputTest::mouseOnTheDrawingAreaDragsWithTheClosedHand() {
  ModelWindow m;
  TMainWindow& w = m.w;
  TForm1& f = m.f;
  const QCursor own = w.ClientArea->cursor();
  QVERIFY(SameCursor(&own, LoadHandCursor("FlatHand")));

  QTest::mousePress(w.ClientArea, Qt::LeftButton, Qt::NoModifier, QPoint(400, 200));
  QVERIFY(f.LeftDragging);
  QCOMPARE(f.LastMouseX, 400);
  QCOMPARE(f.LastMouseY, 200);
  QVERIFY(SameCursor(QGuiApplication::overrideCursor(), LoadHandCursor("GrabHand")));
  const int before = w.ClientArea->FramesPresented();
  QTest::mouseMove(w.ClientArea, QPoint(390, 200));
  QCOMPARE(f.SpinDX, 10);
  QCOMPARE(f.SpinDY, 0);
  QCOMPARE(w.ClientArea->FramesPresented(), before + 1);
  QTest::mouseRelease(w.ClientArea, Qt::LeftButton, Qt::NoModifier, QPoint(390, 200));
  QVERIFY(!f.LeftDragging);
  QVERIFY(QGuiApplication::overrideCursor() == nullptr);

  // The right button pans: the picture follows the pointer.
  const double panX = f.PanX;
  QTest::mousePress(w.ClientArea, Qt::RightButton, Qt::NoModifier, QPoint(300, 100));
  QTest::mouseMove(w.ClientArea, QPoint(310, 100));
  QTest::mouseRelease(w.ClientArea, Qt::RightButton, Qt::NoModifier, QPoint(310, 100));
  QCOMPARE(f.PanX, panX + 10 / f.Scale);
  QVERIFY(!f.RightDragging);
  QVERIFY(m.script.boxes.empty());
}

void InputTest::pressOnThePanelIsNotForTheDrawingArea() {
  ModelWindow m;
  TMainWindow& w = m.w;
  QTest::mousePress(w.Panel1, Qt::LeftButton, Qt::NoModifier, QPoint(20, 300));
  QTest::mouseRelease(w.Panel1, Qt::LeftButton, Qt::NoModifier, QPoint(20, 300));
  QTest::mouseClick(w.CenterButton, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
  QVERIFY(!w.Form().LeftDragging);
  QVERIFY(QGuiApplication::overrideCursor() == nullptr);
  QVERIFY(m.script.boxes.empty());
}

void InputTest::screenCursorIsOneOverrideAtMost() {
  TMainWindow w("");
  TQtControls& c = w.Controls();
  c.SetScreenCursor(CursorId::GrabHand);
  c.SetScreenCursor(CursorId::GrabHand);
  QVERIFY(SameCursor(QGuiApplication::overrideCursor(), LoadHandCursor("GrabHand")));
  c.SetScreenCursor(CursorId::FlatHand);
  QVERIFY(SameCursor(QGuiApplication::overrideCursor(), LoadHandCursor("FlatHand")));
  c.SetScreenCursor(CursorId::Default);
  QVERIFY(QGuiApplication::overrideCursor() == nullptr);
  c.SetScreenCursor(CursorId::Default);
  QVERIFY(QGuiApplication::overrideCursor() == nullptr);
  // A window closed mid-drag leaves no override behind.
  {
    TMainWindow other("");
    other.Controls().SetScreenCursor(CursorId::GrabHand);
  }
  QVERIFY(QGuiApplication::overrideCursor() == nullptr);
}

// Needs the free-spin handler.
void InputTest::timerTicksTurnTheModel() {
  ModalScript script;
  TMainWindow w("");
  w.ShowCentred();
  TForm1& f = w.Form();
  SetUpModel(f);
  f.SpinDX = 10;
  f.SpinDY = 0;
  const int before = w.ClientArea->FramesPresented();
  w.Controls().SetTimerEnabled(true);
  QTRY_VERIFY(w.ClientArea->FramesPresented() >= before + 2);
  w.Controls().SetTimerEnabled(false);
  QVERIFY(std::abs(f.RightAxis.x - 1) > 1e-6);
  QVERIFY(script.boxes.empty());
}

QTEST_MAIN(InputTest)
#include "input_test.moc"
