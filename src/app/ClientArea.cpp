// The client area: the frame on the window's colour, and the drawing area's mouse.
#include "app/ClientArea.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>
#include <optional>
#include <utility>

#include "app/ModalBoxes.h"
#include "scene/scene_model.h"

namespace {

std::optional<MouseButton> FormButton(Qt::MouseButton button) {
  switch (button) {
    case Qt::LeftButton:
      return MouseButton::Left;
    case Qt::RightButton:
      return MouseButton::Right;
    case Qt::MiddleButton:
      return MouseButton::Middle;
    default:
      return std::nullopt;
  }
}

}  // namespace

TClientArea::TClientArea(QWidget* parent) : QWidget(parent) {
  // Every pixel is painted here: the frame and, around it, the window's colour.
  setAttribute(Qt::WA_OpaquePaintEvent);
  // The form follows every move, not only drags: a drag it still thinks is on (its release
  // went to a message box) must see the pointer come back.
  setMouseTracking(true);
}

void TClientArea::Present(const QImage& frame, int left, int top) {
  if (painting_) {
    frame_ = &frame;
    frameAt_ = QPoint(left, top);
    return;
  }
  if (held_) {
    heldFrame_ = &frame;
    heldAt_ = QPoint(left, top);
    return;
  }
  ++framesPresented_;
  // The paint asks the form for its frame again (FormPaint), which lands in the branch above.
  repaint(QRect(left, top, frame.width(), frame.height()));
}

void TClientArea::ReleaseFrames() {
  held_ = false;
  const QImage* frame = std::exchange(heldFrame_, nullptr);
  if (frame != nullptr) Present(*frame, heldAt_.x(), heldAt_.y());
}

void TClientArea::Clear() {
  repaint();
}

void TClientArea::paintEvent(QPaintEvent* event) {
  const TBoxesAfterThisEvent boxesAfterThePaint;
  QPainter painter(this);
  painter.fillRect(event->rect(), palette().color(QPalette::Button));
  if (form_ == nullptr) return;
  painting_ = true;
  frame_ = nullptr;
  Guarded(window(), [&] { form_->FormPaint(); });
  painting_ = false;
  if (frame_ != nullptr) painter.drawImage(frameAt_, *frame_);
  frame_ = nullptr;
}

void TClientArea::resizeEvent(QResizeEvent* event) {
  const TBoxesAfterThisEvent boxesAfterTheResize;
  QWidget::resizeEvent(event);
  if (form_ == nullptr) return;
  Guarded(window(), [&] { form_->FormResize(width(), height()); });
}

// Qt holds the mouse for this widget while any button is down, so every release comes back
// here, even outside the window. A double click's second press arrives as a double-click
// event, which QWidget passes on to mousePressEvent.
void TClientArea::mousePressEvent(QMouseEvent* event) {
  const std::optional<MouseButton> button = FormButton(event->button());
  if (form_ == nullptr || !button) return;
  const QPoint at = event->position().toPoint();
  Guarded(window(), [&] { form_->FormMouseDown(*button, at.x(), at.y()); });
}

void TClientArea::mouseMoveEvent(QMouseEvent* event) {
  if (form_ == nullptr) return;
  const QPoint at = event->position().toPoint();
  Guarded(window(), [&] { form_->FormMouseMove(at.x(), at.y()); });
}

void TClientArea::mouseReleaseEvent(QMouseEvent* event) {
  const std::optional<MouseButton> button = FormButton(event->button());
  if (form_ == nullptr || !button) return;
  const QPoint at = event->position().toPoint();
  Guarded(window(), [&] { form_->FormMouseUp(*button, at.x(), at.y()); });
}
