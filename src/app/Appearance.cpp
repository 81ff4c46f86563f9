// The windows' look and placement.
#include "app/Appearance.h"

#include <QFont>
#include <QPalette>
#include <QScreen>
#include <QStringList>
#include <QWidget>

namespace {

// The layout's sizes were made for a small sans-serif 11 pixels high; whatever family the
// system gives for it, that height keeps the captions inside their controls.
void UseElevenPixelFont(QWidget& widget, const QStringList& families) {
  QFont font = widget.font();
  font.setFamilies(families);
  font.setPixelSize(11);
  widget.setFont(font);
}

}  // namespace

void UseFormLook(QWidget& window) {
  UseElevenPixelFont(window, {QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"),
                              QStringLiteral("Arial"), QStringLiteral("DejaVu Sans")});
  QPalette palette = window.palette();
  palette.setColor(QPalette::Window, palette.color(QPalette::Button));
  window.setPalette(palette);
}

void UseNarrowCaptions(QWidget& panel) {
  // The check boxes' widths were made for a font narrower than today's common sans-serifs,
  // and Qt's check mark takes a little more room than the one they were made for.
  UseElevenPixelFont(
      panel, {QStringLiteral("Liberation Sans Narrow"), QStringLiteral("Arial Narrow"),
              QStringLiteral("Nimbus Sans Narrow"), QStringLiteral("DejaVu Sans Condensed")});
}

void CentreOnScreen(QWidget& window) {
  const QScreen* screen = window.screen();
  if (screen == nullptr) return;
  const QRect area = screen->availableGeometry();
  const QSize outer = window.frameGeometry().size();
  window.move(area.x() + (area.width() - outer.width()) / 2,
              area.y() + (area.height() - outer.height()) / 2);
}
