// What the window tests share: a script that answers modal dialogs in place of a user, a small
// model set up as a loader would leave it, and model files on disk.
#pragma once

#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <deque>
#include <functional>
#include <vector>

class QDialog;
class TForm1;
class TMainWindow;

// Answers every modal dialog the window runs, while it lives, and records what it was shown.
class ModalScript {
 public:
  struct Box {
    QMessageBox::Icon icon;
    QString title;
    QString text;
    QMessageBox::StandardButtons buttons;
    QString detail;  // the second line, under the text
    bool plain;      // text and detail shown as they are, never read as markup
    bool oneLine;    // the detail never wrapped
    QString copied;  // what the copy key puts on the clipboard
  };
  struct FileDialog {
    QStringList nameFilters;
    QString defaultSuffix;
    bool confirmsOverwrite;
    bool saves;
    QString selectedFilterBefore;
  };

  ModalScript();
  ~ModalScript();
  ModalScript(const ModalScript&) = delete;
  ModalScript& operator=(const ModalScript&) = delete;

  // The next file dialog chooses `path` with `nameFilter` selected (empty: keep the dialog's);
  // an empty path cancels. Without an answer a file dialog is cancelled.
  void AnswerFile(const QString& path, const QString& nameFilter = QString());
  // Runs for a dialog no rule above covers (the about box); returns its result.
  std::function<int(QDialog&)> other;
  // Runs while a message box is up, as a user's events would run in its event loop.
  std::function<void()> duringBox;

  std::vector<Box> boxes;
  std::vector<FileDialog> fileDialogs;
  int aboutBoxes = 0;

 private:
  struct Answer {
    QString path;
    QString nameFilter;
  };
  int Run(QDialog& dialog);
  std::deque<Answer> answers_;
};

// A small model set up the way a loader leaves it (NewView, points and segments, fit, frame):
// two white lines, one (40, 40, 40) line and a red one, spanning x from -1 to 1.
void SetUpModel(TForm1& form);

// A Tumbra model on disk: a comment block of two lines, then a square with one diagonal
// (six points).
QString WriteTumbraFile(const QTemporaryDir& dir, const QString& name);

// The window, shown and active, ready for keys.
void ShowAndActivate(TMainWindow& window);

// Empties the settings the windows of this test program remember (recent files, folders).
void ForgetSettings();
