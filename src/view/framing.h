// Fitting a model to the frame. NewView, ComputeScale and CenterButtonClick are TForm1's; the
// fit's last step is shared with the frame, which refits the zoom when its size changes.
#pragma once

class TForm1;

// Scale, and InitialScale with it, from ModelDiameter and the frame's size: the smaller frame
// side less FitMargin pixels spans the diameter. Throws KestrelError for a diameter of 0.
void FitScaleToFrame(TForm1& form);
