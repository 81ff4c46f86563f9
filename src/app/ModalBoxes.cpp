// Modal boxes and the error guard.
#include "app/ModalBoxes.h"

#include <QCoreApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPointer>
#include <QWidget>
#include <deque>
#include <utility>

namespace {

std::function<int(QDialog&)>& Runner() {
  static std::function<int(QDialog&)> runner;
  return runner;
}

void RunBox(QWidget* owner, QMessageBox::Icon icon, const QString& text) {
  // The program sets no title of its own: Qt's default, the program file's name, captions
  // every box.
  QMessageBox box(icon, QCoreApplication::applicationName(), text, QMessageBox::Ok, owner);
  RunModal(box);
}

struct WaitingBox {
  QPointer<QWidget> owner;
  QMessageBox::Icon icon;
  QString text;
};

// The boxes asked for inside a resize or paint, and whether they are being shown now.
struct BoxQueue {
  int holding = 0;
  bool showing = false;
  std::deque<WaitingBox> waiting;
};

BoxQueue& Queue() {
  static BoxQueue queue;
  return queue;
}

// Shows the waiting boxes one after another. A box asked for while one of them is up (its event
// loop runs the window's events) joins the end of the line rather than opening over it.
void ShowWaitingBoxes() {
  BoxQueue& q = Queue();
  if (q.showing) return;
  q.showing = true;
  while (!q.waiting.empty()) {
    const WaitingBox box = std::move(q.waiting.front());
    q.waiting.pop_front();
    // A window closed meanwhile has nobody left to tell.
    if (box.owner) RunBox(box.owner, box.icon, box.text);
  }
  q.showing = false;
}

void ShowBox(QWidget* owner, QMessageBox::Icon icon, const QString& text) {
  BoxQueue& q = Queue();
  if (q.holding == 0) {
    RunBox(owner, icon, text);
    return;
  }
  q.waiting.push_back(WaitingBox{owner, icon, text});
  if (q.waiting.size() == 1 && !q.showing) {
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [] { ShowWaitingBoxes(); }, Qt::QueuedConnection);
  }
}

}  // namespace

TBoxesAfterThisEvent::TBoxesAfterThisEvent() {
  ++Queue().holding;
}

TBoxesAfterThisEvent::~TBoxesAfterThisEvent() {
  --Queue().holding;
}

int RunModal(QDialog& dialog) {
  return Runner() ? Runner()(dialog) : dialog.exec();
}

void SetModalRunner(std::function<int(QDialog&)> runner) {
  Runner() = std::move(runner);
}

void ShowMessageBox(QWidget* owner, const QString& text) {
  ShowBox(owner, QMessageBox::NoIcon, text);
}

void ShowErrorBox(QWidget* owner, const QString& text) {
  ShowBox(owner, QMessageBox::Critical, text);
}
