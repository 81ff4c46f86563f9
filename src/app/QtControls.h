// The form's controls as Qt widgets: what TForm1 asks of the window (boxes, memo, check boxes,
// enabled commands, timer, cursor, held keys, frame, dialogs) done with the real controls.
#pragma once

#include <QCursor>
#include <QString>
#include <array>
#include <exception>
#include <functional>

#include "app/KeyInput.h"
#include "scene/form_controls.h"

class QAction;
class QCheckBox;
class QFileDialog;
class QKeyEvent;
class QPlainTextEdit;
class QPushButton;
class QTimer;
class QWidget;
class TClientArea;
class TForm1;

// The widgets the window built, handed over whole.
struct TControlSet {
  QWidget* window = nullptr;
  QPlainTextEdit* memo = nullptr;
  std::array<QCheckBox*, 6> checkBoxes{};  // check box numbers 1 to 6, in that order
  QAction* saveAs = nullptr;
  QAction* saveImageAs = nullptr;
  QPushButton* center = nullptr;
  QTimer* timer = nullptr;
  TClientArea* clientArea = nullptr;
  // Told of every file read in full, its path made absolute, after it joined the recent files.
  std::function<void(const QString& path, int filterIndex)> fileOpened;
};

// The dialogs' filters, as the user sees them. The Open dialog's come from the table of file
// kinds (formats/file_kind.h): these two first, then meshes, point clouds and all models.
inline const QString kTumbraFilter = QStringLiteral("Tumbra File (*.tmb)");
inline const QString kKestrelFilter = QStringLiteral("Kestrel File (*.ksl)");
inline const QString kBitmapFilter = QStringLiteral("Bitmaps (*.bmp)");
inline const QString kPngFilter = QStringLiteral("PNG image (*.png)");
QStringList OpenDialogFilters();

class TQtControls : public FormControls {
 public:
  explicit TQtControls(const TControlSet& controls);
  TQtControls(const TQtControls&) = delete;
  TQtControls& operator=(const TQtControls&) = delete;
  ~TQtControls() override;

  // Wires the check boxes to the form's click handlers.
  void Attach(TForm1& form);

  // The window's key preview passes every key press and release through here first.
  void NoteKey(const QKeyEvent& event) { keys_.Note(event); }
  void ForgetKeys() { keys_.Clear(); }

  QFileDialog& OpenDialog() { return *openDialog_; }
  QFileDialog& SaveDialog() { return *saveDialog_; }
  QFileDialog& SavePictureDialog() { return *pictureDialog_; }

  void ShowMessage(const std::string& text, const std::string& detail = {}) override;
  void MemoClear() override;
  void MemoAdd(const std::string& line) override;
  bool CheckBoxChecked(int number) const override;
  void SetCheckBoxChecked(int number, bool checked) override;
  void SetCommandEnabled(Command command, bool enabled) override;
  void SetTimerEnabled(bool enabled) override;
  bool TimerEnabled() const override;
  void SetScreenCursor(CursorId cursor) override;
  bool KeyIsDown(int virtualKey) const override { return keys_.IsDown(virtualKey); }
  void ClearClientArea() override;
  void PresentFrame(const QImage& frame, int left, int top) override;
  bool RunOpenDialog(std::string& path, int& filterIndex) override;
  bool RunSaveDialog(SaveDialogKind kind, std::string& path, int& filterIndex) override;
  void SceneFileOpened(const std::string& path, int filterIndex) override;

 private:
  QCheckBox* Box(int number) const;
  void OnToggled(TForm1& form, int number);
  // Shows the memo lines added since the last flush, in one go.
  void FlushMemo();

  TControlSet c_;
  QFileDialog* openDialog_;
  QFileDialog* saveDialog_;
  QFileDialog* pictureDialog_;
  QCursor flatHand_;
  QCursor grabHand_;
  bool overriding_ = false;
  THeldKeys keys_;
  // Memo lines waiting to be shown, and how many lines the memo holds with them.
  QStringList pendingMemo_;
  qsizetype memoLines_ = 0;
  // A change made by the form itself: its handler's failure belongs to the form's caller.
  bool changingFromCode_ = false;
  std::exception_ptr handlerFailure_;
};
