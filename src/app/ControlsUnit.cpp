// The arrow-key-aware check box and push button.
#include "app/ControlsUnit.h"

#include <QKeyEvent>

bool IsArrowKey(const QKeyEvent& event) {
  switch (event.key()) {
    case Qt::Key_Left:
    case Qt::Key_Up:
    case Qt::Key_Right:
    case Qt::Key_Down:
      return true;
    default:
      return false;
  }
}

// The window has already seen the key (its key preview); an arrow that it did not take stays
// here and does nothing, rather than moving the focus.
void TCheck::keyPressEvent(QKeyEvent* event) {
  if (IsArrowKey(*event)) {
    event->accept();
    return;
  }
  QCheckBox::keyPressEvent(event);
}

void TButtonKeyStop::keyPressEvent(QKeyEvent* event) {
  if (IsArrowKey(*event)) {
    event->accept();
    return;
  }
  QPushButton::keyPressEvent(event);
}
