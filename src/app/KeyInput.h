// Keys and the wheel as the form reads them: Qt key codes turned into virtual-key codes, which
// of the arrows, Shift and Ctrl are held at the time of each key event, and the wheel's turn.
#pragma once

#include <QPoint>
#include <Qt>
#include <bitset>

class QKeyEvent;

// The code a key has for the form; keys without one give kUnmappedKey, which no handler acts
// on. It is never 0: the form sets a key to 0 to say it has taken it.
inline constexpr int kUnmappedKey = 0xFF;
int VirtualKeyOf(int qtKey);

class THeldKeys {
 public:
  // Takes in a key press or release, before the form sees it.
  void Note(const QKeyEvent& event);
  // Releases that happen while another window has the keyboard never reach us.
  void Clear() { down_.reset(); }
  bool IsDown(int virtualKey) const;

 private:
  std::bitset<256> down_;
};

// The vertical wheel's turn, 120 to a notch, whatever keys are held. Qt's X11 platform hands a
// vertical turn made with Alt held on as a horizontal one (`altTransposes`); that is undone here,
// so Alt and the wheel still zoom, and a sideways tilt under Alt still does not.
int VerticalWheelTurn(QPoint angleDelta, Qt::KeyboardModifiers modifiers, bool altTransposes);
// Whether the platform the program runs on turns Alt and the wheel sideways.
bool PlatformTransposesAltWheel();
