// Modal boxes and the error guard.
#include "app/ModalBoxes.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QDialog>
#include <QGuiApplication>
#include <QKeySequence>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QShortcut>
#include <QWidget>
#include <deque>
#include <utility>

namespace {

std::function<int(QDialog&)>& Runner() {
  static std::function<int(QDialog&)> runner;
  return runner;
}

void RunBox(QWidget* owner, QMessageBox::Icon icon, const QString& text, const QString& detail) {
  // The program sets no title of its own: Qt's default, the program file's name, captions
  // every box.
  QMessageBox box(icon, QCoreApplication::applicationName(), text, QMessageBox::Ok, owner);
  // A message may name a file, and a file's name may hold anything: shown as it is, never read
  // as markup. Qt gives the second line a label of its own, which the box's format leaves alone.
  box.setTextFormat(Qt::PlainText);
  if (!detail.isEmpty()) {
    box.setInformativeText(detail);
    auto* second = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel"));
    // One line under the text, as wide as it needs: Qt would wrap it to the width of the text
    // above, and a line number or a file name broken in two reads badly.
    if (second != nullptr) {
      second->setTextFormat(Qt::PlainText);
      second->setWordWrap(false);
    }
  }
  // The usual copy key takes the message, both lines, for a report or a search.
  const QString copied = detail.isEmpty() ? text : text + QLatin1Char('\n') + detail;
  QObject::connect(new QShortcut(QKeySequence::Copy, &box), &QShortcut::activated, &box,
                   [copied] { QGuiApplication::clipboard()->setText(copied); });
  RunModal(box);
}

struct WaitingBox {
  QPointer<QWidget> owner;
  QMessageBox::Icon icon;
  QString text;
  QString detail;
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
    if (box.owner) RunBox(box.owner, box.icon, box.text, box.detail);
  }
  q.showing = false;
}

void ShowBox(QWidget* owner, QMessageBox::Icon icon, const QString& text,
             const QString& detail = QString()) {
  BoxQueue& q = Queue();
  if (q.holding == 0) {
    RunBox(owner, icon, text, detail);
    return;
  }
  q.waiting.push_back(WaitingBox{owner, icon, text, detail});
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

void ShowMessageBox(QWidget* owner, const QString& text, const QString& detail) {
  ShowBox(owner, QMessageBox::NoIcon, text, detail);
}

void ShowErrorBox(QWidget* owner, const QString& text) {
  ShowBox(owner, QMessageBox::Critical, text);
}
