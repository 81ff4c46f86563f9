// The checked zoom and pan: what the keys, the wheel and the drags do to Scale, PanX and PanY,
// for every caller (kestrel-render's --zoom and --pan too). A result that is not finite throws
// KestrelError with the fault's text, as a key would, and leaves that field as it was.
#pragma once

class TForm1;

// Scale × factor.
void ZoomBy(TForm1& form, double factor);

// Move the picture `pixels` to the right, or up, at the current Scale: PanX or PanY grows by
// pixels / Scale (a Scale of 0 is a division by zero).
void PanRight(TForm1& form, double pixels);
void PanUp(TForm1& form, double pixels);
