// Modal boxes and the error guard.
#include "app/ModalBoxes.h"

#include <QCoreApplication>
#include <QDialog>
#include <QMessageBox>
#include <utility>

namespace {

std::function<int(QDialog&)>& Runner() {
  static std::function<int(QDialog&)> runner;
  return runner;
}

void ShowBox(QWidget* owner, QMessageBox::Icon icon, const QString& text) {
  // The program sets no title of its own: Qt's default, the program file's name, captions
  // every box.
  QMessageBox box(icon, QCoreApplication::applicationName(), text, QMessageBox::Ok, owner);
  RunModal(box);
}

}  // namespace

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
