// The client area: the frame on the window's colour, and the drawing area's mouse.
#include "app/ClientArea.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QtMath>
#include <optional>
#include <utility>

#include "app/ModalBoxes.h"
#include "scene/scene_model.h"

namespace {

// The hint's colour: light enough to read on the black frame, dim enough not to be mistaken for
// part of a model.
const QColor kHintColour(160, 160, 160);

// A frame of `frame`'s device pixels at `ratio`, in the area's logical pixels.
QRectF LogicalRect(const QImage& frame, QPoint at, qreal ratio) {
  return QRectF(QPointF(at), QSizeF(frame.size()) / ratio);
}

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
  const qreal ratio = form_ != nullptr ? form_->PixelRatio : 1;
  repaint(LogicalRect(frame, QPoint(left, top), ratio).toAlignedRect());
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
  if (frame_ != nullptr) {
    DrawFrame(painter, *frame_, frameAt_);
    if (form_->NoModel) DrawHint(painter, *frame_, frameAt_);
  }
  frame_ = nullptr;
}

// The frame's device pixels onto the screen's, one for one: the painter's logical pixels are
// scaled back out, and what remains is a plain copy at a whole device pixel.
void TClientArea::DrawFrame(QPainter& painter, const QImage& frame, QPoint at) const {
  const qreal ratio = form_->PixelRatio;
  painter.save();
  painter.translate(at);
  if (ratio != 1) painter.scale(1 / ratio, 1 / ratio);
  painter.drawImage(0, 0, frame);
  painter.restore();
}

QString TClientArea::NoModelHint() {
  return QStringLiteral("Open a model with File > Open, or drop a file here");
}

// One line in the middle of the frame, cut short with an ellipsis where the frame is narrow, and
// drawn only inside it.
void TClientArea::DrawHint(QPainter& painter, const QImage& frame, QPoint at) const {
  const QRectF area = LogicalRect(frame, at, form_->PixelRatio);
  if (area.isEmpty()) return;
  painter.save();
  painter.setClipRect(area);
  painter.setPen(kHintColour);
  const QString text =
      painter.fontMetrics().elidedText(NoModelHint(), Qt::ElideRight, qFloor(area.width()) - 8);
  painter.drawText(area, Qt::AlignCenter, text);
  painter.restore();
}

void TClientArea::resizeEvent(QResizeEvent* event) {
  const TBoxesAfterThisEvent boxesAfterTheResize;
  QWidget::resizeEvent(event);
  SizeFrame();
}

bool TClientArea::event(QEvent* event) {
  const bool handled = QWidget::event(event);
  // On another screen the area keeps its logical size, and so gets no resize, but the frame
  // must take the new screen's pixels.
  if (event->type() == QEvent::ScreenChangeInternal && form_ != nullptr &&
      devicePixelRatioF() != form_->PixelRatio) {
    SizeFrame();
  }
  return handled;
}

void TClientArea::SizeFrame() {
  if (form_ == nullptr) return;
  form_->PixelRatio = devicePixelRatioF();
  Guarded(window(), [&] { form_->FormResize(width(), height()); });
}

QPoint TClientArea::DevicePoint(const QMouseEvent& event) const {
  const QPointF at = event.position() * form_->PixelRatio;
  return QPoint(qRound(at.x()), qRound(at.y()));
}

// Qt holds the mouse for this widget while any button is down, so every release comes back
// here, even outside the window. A double click's second press arrives as a double-click
// event, which QWidget passes on to mousePressEvent.
void TClientArea::mousePressEvent(QMouseEvent* event) {
  const std::optional<MouseButton> button = FormButton(event->button());
  if (form_ == nullptr || !button) return;
  const QPoint at = DevicePoint(*event);
  Guarded(window(), [&] { form_->FormMouseDown(*button, at.x(), at.y()); });
}

void TClientArea::mouseMoveEvent(QMouseEvent* event) {
  if (form_ == nullptr) return;
  const QPoint at = DevicePoint(*event);
  Guarded(window(), [&] { form_->FormMouseMove(at.x(), at.y()); });
}

void TClientArea::mouseReleaseEvent(QMouseEvent* event) {
  const std::optional<MouseButton> button = FormButton(event->button());
  if (form_ == nullptr || !button) return;
  const QPoint at = DevicePoint(*event);
  Guarded(window(), [&] { form_->FormMouseUp(*button, at.x(), at.y()); });
}
