// What the program's windows share in look and placement.
#pragma once

class QWidget;

// The windows' own font (11 pixels high) and their button-face background.
void UseFormLook(QWidget& window);

// Captions that must fit the fixed widths of their controls: a narrow sans-serif of the same
// height, where the system has one.
void UseNarrowCaptions(QWidget& panel);

// Places a top-level window, frame included, at the centre of its screen's work area.
void CentreOnScreen(QWidget& window);
