// The pictures the program carries inside itself: the two hand cursors, the menu icons, the
// application icon and the about box's picture. The one place that knows their resource names.
#pragma once

#include <QByteArray>
#include <QCursor>
#include <QIcon>

// Where both hand cursors point, from their top-left corner.
inline constexpr int kHandHotX = 7;
inline constexpr int kHandHotY = 20;

// "FlatHand" (the open hand) or "GrabHand" (the closed one), with its hot spot.
QCursor LoadHandCursor(const char* name);

// The menu icons, numbered as the menu uses them: 0 Open, 1 Save As, 2 Exit.
QIcon MenuIcon(int index);

// The application's icon in every size the desktop theme installs (16 to 256 pixels square).
QIcon AppIcon();

// The about box's picture, still JPEG-encoded.
QByteArray AboutPictureBytes();
