// The window's client area under the menu bar: its coordinates are the form's client
// coordinates. It holds the side panel, shows the frame and hands its paint, size and mouse
// events to the form.
#pragma once

#include <QPoint>
#include <QWidget>

class QImage;
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

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
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
