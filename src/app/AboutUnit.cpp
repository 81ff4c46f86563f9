// The about box.
#include "app/AboutUnit.h"

#include <QDesktopServices>
#include <QFrame>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>

#include "app/Appearance.h"
#include "app/JpegPicture.h"
#include "app/Resources.h"

namespace {

constexpr const char* kReleaseDate = "7 / 12 / 2026";

// A label that answers a click, as the author's name does.
class TClickLabel : public QLabel {
 public:
  TClickLabel(const QString& text, QWidget* parent, TAboutBox& box)
      : QLabel(text, parent), box_(box) {}

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override {
    // A click is a press and a release on the label.
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
      box_.AuthorLabelClick();
    }
  }
  void mousePressEvent(QMouseEvent* event) override { event->accept(); }

 private:
  TAboutBox& box_;
};

// The picture at the screen's own pixels: the 119 x 119 one on a plain screen, the 238 x 238
// one on a 2x screen, and between the two that one scaled smoothly to the screen's pixels (Qt
// would scale either with the nearest pixel, which shows).
QPixmap AboutPixmap(qreal ratio) {
  if (ratio < 1.01) return QPixmap::fromImage(DecodeJpeg(AboutPictureBytes()));
  QImage fine = DecodeJpeg(AboutPictureBytes(2));
  if (fine.isNull()) return QPixmap();
  if (ratio < 2) {
    const int side = qRound(119 * ratio);
    fine = fine.scaled(side, side, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  }
  QPixmap picture = QPixmap::fromImage(fine);
  picture.setDevicePixelRatio(fine.width() / 119.0);
  return picture;
}

QLabel* PlaceLabel(QLabel* label, int left, int top) {
  label->move(left, top);
  label->adjustSize();
  return label;
}

}  // namespace

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("About"));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
  setFixedSize(298, 213);
  UseFormLook(*this);

  // A lowered outer edge with a raised one inside it.
  auto* panel = new QFrame(this);
  panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  panel->setGeometry(8, 8, 281, 161);
  auto* inner = new QFrame(panel);
  inner->setFrameStyle(QFrame::Panel | QFrame::Raised);
  inner->setGeometry(1, 1, 279, 159);

  Image1 = new QLabel(panel);
  Image1->setGeometry(16, 20, 120, 120);
  Image1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  Image1->setPixmap(AboutPixmap(devicePixelRatioF()));

  ProductName = new QLabel(QStringLiteral("Kestrel"), panel);
  QFont nameFont(QStringLiteral("Tahoma"));
  nameFont.setPixelSize(24);
  ProductName->setFont(nameFont);
  QPalette namePalette = ProductName->palette();
  namePalette.setColor(QPalette::WindowText, QColor(0, 0, 128));
  ProductName->setPalette(namePalette);
  PlaceLabel(ProductName, 158, 16);

  Version = PlaceLabel(new QLabel(QStringLiteral("Version " KESTREL_VERSION), panel), 176, 64);
  Label1 = PlaceLabel(new QLabel(QStringLiteral("Written by"), panel), 150, 96);

  AuthorLabel = new TClickLabel(QStringLiteral("Kestrel team"), panel, *this);
  QPalette linkPalette = AuthorLabel->palette();
  linkPalette.setColor(QPalette::WindowText, linkPalette.color(QPalette::Link));
  AuthorLabel->setPalette(linkPalette);
  AuthorLabel->setCursor(Qt::PointingHandCursor);
  PlaceLabel(AuthorLabel, 206, 96);

  Comments = new QLabel(QString::fromLatin1(kReleaseDate), panel);
  Comments->setGeometry(174, 128, 75, 26);
  Comments->setWordWrap(true);
  Comments->setAlignment(Qt::AlignLeft | Qt::AlignTop);

  OKButton = new QPushButton(QStringLiteral("OK"), this);
  OKButton->setGeometry(111, 180, 75, 25);
  OKButton->setDefault(true);
  connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
}

QUrl TAboutBox::AuthorPage() {
  return QUrl(QStringLiteral("https://kestrel.example.org/"));
}

void TAboutBox::AuthorLabelClick() {
  QDesktopServices::openUrl(AuthorPage());
}

void TAboutBox::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  CentreOnScreen(*this);
}
