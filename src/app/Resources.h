// The pictures the program carries inside itself: the two hand cursors, the menu icons, the
// application icon and the about box's picture. The one place that knows their resource names.
#pragma once

#include <QByteArray>
#include <QCursor>
#include <QIcon>

// Where both hand cursors point, from their top-left corner, in logical pixels.
inline constexpr int kHandHotX = 7;
inline constexpr int kHandHotY = 20;

// From this many device pixels per logical pixel on, the pictures drawn twice as fine are used.
inline constexpr qreal kFinePicturesFrom = 1.5;

// "FlatHand" (the open hand) or "GrabHand" (the closed one), with its hot spot: the 32 x 32
// picture, or on a screen of kFinePicturesFrom or more (`ratio`, by default the densest screen's)
// the 64 x 64 one drawn for 2x screens.
QCursor LoadHandCursor(const char* name, qreal ratio = 0);

// The menu icons, numbered as the menu uses them: 0 Open, 1 Save As, 2 Exit.
QIcon MenuIcon(int index);

// The application's icon in every size the desktop theme installs (16 to 256 pixels square).
QIcon AppIcon();

// The about box's picture, still JPEG-encoded: 119 x 119 pixels, or 238 x 238 with `scale` 2.
QByteArray AboutPictureBytes(int scale = 1);
