// Virtual-key codes, the held-key state and the wheel's turn.
#include "app/KeyInput.h"

#include <QGuiApplication>
#include <QKeyEvent>

#include "scene/form_controls.h"

int VirtualKeyOf(int qtKey) {
  // Letters and digits carry their ASCII codes in both schemes.
  if ((qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) || (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9)) {
    return qtKey;
  }
  if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24) return 112 + (qtKey - Qt::Key_F1);
  switch (qtKey) {
    case Qt::Key_Left:
      return VK_LEFT;
    case Qt::Key_Up:
      return VK_UP;
    case Qt::Key_Right:
      return VK_RIGHT;
    case Qt::Key_Down:
      return VK_DOWN;
    case Qt::Key_Shift:
      return VK_SHIFT;
    case Qt::Key_Control:
      return VK_CONTROL;
    case Qt::Key_Alt:
      return 18;
    case Qt::Key_Backspace:
      return 8;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
      return 9;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      return 13;
    case Qt::Key_Escape:
      return 27;
    case Qt::Key_Space:
      return 32;
    case Qt::Key_PageUp:
      return 33;
    case Qt::Key_PageDown:
      return 34;
    case Qt::Key_End:
      return 35;
    case Qt::Key_Home:
      return 36;
    case Qt::Key_Insert:
      return 45;
    case Qt::Key_Delete:
      return 46;
    default:
      return kUnmappedKey;
  }
}

void THeldKeys::Note(const QKeyEvent& event) {
  const bool press = event.type() == QEvent::KeyPress;
  const int key = VirtualKeyOf(event.key());
  if (key >= VK_LEFT && key <= VK_DOWN) {
    // Auto-repeat sends a release before each repeated press; the key is still held.
    if (press) {
      down_.set(key);
    } else if (!event.isAutoRepeat()) {
      down_.reset(key);
    }
  }
  // The modifiers of Shift's or Ctrl's own event may still show the state before it (X11
  // reports them so); for every other key they are the state now. Either Shift or Ctrl key
  // counts.
  down_[VK_SHIFT] = key == VK_SHIFT ? press : (event.modifiers() & Qt::ShiftModifier) != 0;
  down_[VK_CONTROL] = key == VK_CONTROL ? press : (event.modifiers() & Qt::ControlModifier) != 0;
}

bool THeldKeys::IsDown(int virtualKey) const {
  return virtualKey >= 0 && virtualKey < static_cast<int>(down_.size()) && down_.test(virtualKey);
}

int VerticalWheelTurn(QPoint angleDelta, Qt::KeyboardModifiers modifiers, bool altTransposes) {
  return altTransposes && (modifiers & Qt::AltModifier) ? angleDelta.x() : angleDelta.y();
}

bool PlatformTransposesAltWheel() {
  return QGuiApplication::platformName() == QLatin1String("xcb");
}
