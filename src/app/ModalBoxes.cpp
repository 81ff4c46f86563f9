// Modal boxes and the error guard.
#include "app/ModalBoxes.h"

#include <QCoreApplication>
#include <QDialog>
#include <QLabel>
#include <QMessageBox>
#include <utility>

namespace {

std::function<int(QDialog&)>& Runner() {
  static std::function<int(QDialog&)> runner;
  return runner;
}

void ShowBox(QWidget* owner, QMessageBox::Icon icon, const QString& text,
             const QString& detail = QString()) {
  // The program sets no title of its own: Qt's default, the program file's name, captions
  // every box.
  QMessageBox box(icon, QCoreApplication::applicationName(), text, QMessageBox::Ok, owner);
  // A message may name a file, and a file's name may hold anything: shown as it is, never read
  // as markup. Qt gives the second line a label of its own, which the box's format leaves alone.
  box.setTextFormat(Qt::PlainText);
  if (!detail.isEmpty()) {
    box.setInformativeText(detail);
    auto* second = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel"));
    if (second != nullptr) second->setTextFormat(Qt::PlainText);
  }
  RunModal(box);
}

}  // namespace

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
