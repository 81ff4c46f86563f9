// Modal boxes and the guard around every event the window hands to the form: a failure that
// escapes a handler ends that event and is shown in the generic error box; the program goes on.
#pragma once

#include <QString>
#include <exception>
#include <functional>
#include <new>

#include "scene/error.h"

class QDialog;
class QWidget;

// Runs a configured modal dialog (message box, file dialog, about box) and returns its result.
int RunModal(QDialog& dialog);

// Replaces how modal dialogs are run, so that tests can answer them without a user. An empty
// runner restores QDialog::exec.
void SetModalRunner(std::function<int(QDialog&)> runner);

// The program's plain message box: the text, an OK button, the application's title as caption;
// a detail, when there is one, as a second line under the text.
void ShowMessageBox(QWidget* owner, const QString& text, const QString& detail = QString());

// While one lives (the window's resize and paint handlers), a message or error box is not run
// where it is asked for: the toolkit is in the middle of laying out or painting the window, and
// a modal box's event loop would enter that again. Each such box runs once that event has
// returned, queued behind the others, one at a time: one box for every failure, in order.
class TBoxesAfterThisEvent {
 public:
  TBoxesAfterThisEvent();
  ~TBoxesAfterThisEvent();
  TBoxesAfterThisEvent(const TBoxesAfterThisEvent&) = delete;
  TBoxesAfterThisEvent& operator=(const TBoxesAfterThisEvent&) = delete;
};

// The generic error box: as the message box, with the error icon.
void ShowErrorBox(QWidget* owner, const QString& text);

// Runs `handler`; a failure it throws is shown in the generic error box and goes no further.
template <typename Handler>
void Guarded(QWidget* owner, Handler&& handler) noexcept {
  try {
    handler();
  } catch (const std::bad_alloc&) {
    ShowErrorBox(owner, QString::fromLatin1(kOutOfMemoryText));
  } catch (const std::exception& e) {
    ShowErrorBox(owner, QString::fromUtf8(e.what()));
  } catch (...) {
    ShowErrorBox(owner, QStringLiteral("Unknown error"));
  }
}
