// The window's client area under the menu bar: its coordinates are the form's client
// coordinates. It holds the side panel, shows the frame and hands its paint, size and mouse
// events to the form. On a screen of more than one device pixel per logical pixel the frame is
// drawn at device pixels and shown pixel for pixel, and the pointer reaches the form in them.
#pragma once

#include <QPoint>
#include <QString>
#include <QWidget>

class QImage;
class QMouseEvent;
class QPainter;
class TForm1;

class TClientArea : public QWidget {
  Q_OBJECT
 public:
  explicit TClientArea(QWidget* parent);

  // Set once the form exists; events before that have no one to go to.
  void Attach(TForm1* form) { form_ = form; }

  // Copies the frame to (left, top) now. The frame is the form's own image, drawn where it
  // lies: a copy held here would make the renderer's next writes reallocate it.
  void Present(const QImage& frame, int left, int top);
  // Fills the whole area with the window's colour now.
  void Clear();
  // While held, the frames the form presents wait, and the release shows the last of them once.
  // A reload keeping the view draws twice, the reader's fitted view and then the user's: only
  // the second may reach the screen.
  void HoldFrames() { held_ = true; }
  void ReleaseFrames();
  // How many frames the form has presented.
  int FramesPresented() const { return framesPresented_; }

  // What the drawing area says while there is no model, over the frame (never in it).
  static QString NoModelHint();

 protected:
  bool event(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  // Sizes the frame for the area's logical size at the screen's pixel ratio.
  void SizeFrame();
  // The pointer in device pixels, as the form takes it.
  QPoint DevicePoint(const QMouseEvent& event) const;
  void DrawFrame(QPainter& painter, const QImage& frame, QPoint at) const;
  void DrawHint(QPainter& painter, const QImage& frame, QPoint at) const;

  TForm1* form_ = nullptr;
  // What the form presents while a paint is under way: drawn by that paint.
  const QImage* frame_ = nullptr;
  QPoint frameAt_;
  bool painting_ = false;
  bool held_ = false;
  const QImage* heldFrame_ = nullptr;
  QPoint heldAt_;
  int framesPresented_ = 0;
};
