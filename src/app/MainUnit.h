// The main window: builds the side panel, menu, timer and about box with their fixed layout,
// owns the form (TForm1) and hands every window event to the form's matching handler. The
// program's behaviour is the form's; nothing here decides anything.
#pragma once

#include <QMainWindow>
#include <QSize>
#include <QString>
#include <memory>
#include <string>

#include "formats/file_kind.h"

class QAction;
class QFrame;
class QKeyEvent;
class QMenu;
class QPlainTextEdit;
class QTimer;
class TQtControls;
class TAboutBox;
class TButtonKeyStop;
class TCheck;
class TClientArea;
class TFileWatch;
class TForm1;

// The window's outer size when it first opens, frame included.
inline constexpr int kOuterWidth = 672;
inline constexpr int kOuterHeight = 462;

class TMainWindow : public QMainWindow {
  Q_OBJECT
 public:
  // `firstArgument` is the file to open once the window shows (empty for none).
  explicit TMainWindow(std::string firstArgument);
  ~TMainWindow() override;

  // Shows the window at the centre of the screen.
  void ShowCentred();

  // `kestrel FILE --watch`: from now on, FILE is read again whenever it changes on disk and has
  // settled, keeping the user's view. Does nothing when the first argument names no model file.
  void WatchFirstArgument();
  // The watch, once started (tests look at it).
  TFileWatch* FileWatch() { return fileWatch_; }

  TForm1& Form() { return *form_; }
  TQtControls& Controls() { return *controls_; }
  TAboutBox& AboutBox() { return *aboutBox_; }

  void Exit1Click();
  void About1Click();
  // File > Reload: the file shown now, read again with the reader that opened it, keeping the
  // view, as a watched file is.
  void Reload1Click();
  // F11: full screen and back.
  void FullScreen1Click();

  // The file whose model is shown (absolute; empty before the first file read in full), and the
  // Open filter of the reader that read it.
  const QString& CurrentFile() const { return currentFile_; }

  // The smallest client area: the whole side panel and a 64 x 64 drawing area beside it.
  static QSize MinimumClientSize();

  // The controls, named as the layout names them.
  TClientArea* ClientArea = nullptr;
  QFrame* Panel1 = nullptr;
  QPlainTextEdit* Memo = nullptr;
  TCheck* AliasCheckBox = nullptr;
  TCheck* FadeCheckBox = nullptr;
  TCheck* FlipZCheckBox = nullptr;
  TCheck* WhiteBackCheckBox = nullptr;
  TCheck* FreeSpinCheckBox = nullptr;
  TCheck* CircleFillCheckBox = nullptr;
  TButtonKeyStop* CenterButton = nullptr;
  QMenu* File1 = nullptr;
  QAction* Open1 = nullptr;
  QMenu* OpenRecent1 = nullptr;
  QAction* Reload1 = nullptr;
  QAction* SaveAs1 = nullptr;
  QAction* SaveImageAs1 = nullptr;
  QAction* Exit1 = nullptr;
  QAction* About1 = nullptr;
  // Not on a menu: F11 alone.
  QAction* FullScreen1 = nullptr;
  QTimer* Timer1 = nullptr;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void BuildPanel();
  void BuildMenu();
  void RouteEvents();
  // Key preview: the form sees every key press before the focused control. True when the
  // form took the key.
  bool PreviewKeyPress(const QKeyEvent& event);
  void FitOuterSize();
  void ReloadWatchedFile();
  // Reads `path` again with the reader of `kind`, keeping the view; only the last frame shows.
  void ReloadKeepingViewShown(const SceneFileType* type, const std::string& path);
  void FileOpened(const QString& path, int filterIndex);
  // Rebuilds Open Recent from the settings: a file no longer there is shown disabled.
  void FillRecentMenu();

  std::string firstArgument_;
  QString currentFile_;
  int currentFilter_ = 0;
  std::unique_ptr<TQtControls> controls_;
  std::unique_ptr<TForm1> form_;
  TAboutBox* aboutBox_ = nullptr;
  TFileWatch* fileWatch_ = nullptr;
  bool shown_ = false;
  bool outerSizeFitted_ = false;
};
