// A check box and a push button that keep the arrow keys for the window: Qt's buttons move
// the focus to the next button on an arrow key, and the arrows turn the model instead.
#pragma once

#include <QCheckBox>
#include <QPushButton>

class QKeyEvent;

// True for the four arrow keys, which these controls leave to the window.
bool IsArrowKey(const QKeyEvent& event);

class TCheck : public QCheckBox {
  Q_OBJECT
 public:
  using QCheckBox::QCheckBox;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
};

class TButtonKeyStop : public QPushButton {
  Q_OBJECT
 public:
  using QPushButton::QPushButton;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
};
