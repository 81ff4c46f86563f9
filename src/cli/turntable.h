// Turntables: frames of a full turn of the model, each drawn exactly as a single kestrel-render
// run draws the view set up by the options with that frame's turn applied after them.
#pragma once

#include <QImage>
#include <functional>

class TForm1;
class HeadlessControls;

enum class TurnAxis { Vertical, Horizontal };

// Turns the model as the mouse does: YAW degrees as a drag to the left, then PITCH degrees as a
// drag upward (each about the screen's axis as it stands). --turn and every turntable frame
// turn through this, so that the two agree to the bit.
void TurnByDegrees(TForm1& form, double yaw, double pitch);

// Frame k of n: 360 k / n degrees.
double TurntableDegrees(int k, int n);

// Draws frames 0 to n - 1 and hands each to `take` as it is drawn. Every frame starts from the
// camera and the segment order the form has now, turns by its own angle about `axis` (vertical
// as a left drag, horizontal as an upward drag) and renders. Returns false when a frame could
// not be drawn; the form has shown why. The form keeps the last frame's state.
bool DrawTurntable(TForm1& form, const HeadlessControls& controls, int n, TurnAxis axis,
                   const std::function<void(int k, const QImage& frame)>& take);
