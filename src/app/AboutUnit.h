// The about box: the program's picture, name, version, release date and author.
#pragma once

#include <QDialog>
#include <QUrl>

class QLabel;
class QPushButton;

class TAboutBox : public QDialog {
  Q_OBJECT
 public:
  explicit TAboutBox(QWidget* parent);

  // Opens the author's web page in the desktop's browser.
  void AuthorLabelClick();

  // The address the author label opens.
  static QUrl AuthorPage();

  QLabel* Image1 = nullptr;
  QLabel* ProductName = nullptr;
  QLabel* Version = nullptr;
  QLabel* Label1 = nullptr;
  QLabel* AuthorLabel = nullptr;
  QLabel* Comments = nullptr;
  QPushButton* OKButton = nullptr;

 protected:
  void showEvent(QShowEvent* event) override;
};
