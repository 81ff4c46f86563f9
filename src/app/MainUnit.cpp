// The main window: layout, start-up and the routing of its events to the form.
#include "app/MainUnit.h"

#include <QAction>
#include <QApplication>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QTimer>
#include <QWheelEvent>
#include <QWindow>
#include <algorithm>
#include <optional>
#include <utility>

#include "app/AboutUnit.h"
#include "app/Appearance.h"
#include "app/ClientArea.h"
#include "app/ControlsUnit.h"
#include "app/Desktop.h"
#include "app/FileWatch.h"
#include "app/KeyInput.h"
#include "app/ModalBoxes.h"
#include "app/QtControls.h"
#include "app/Resources.h"
#include "app/Settings.h"
#include "formats/file_commands.h"
#include "formats/file_kind.h"
#include "formats/live_reload.h"
#include "scene/scene_model.h"

namespace {

TCheck* MakeCheck(QWidget* panel, const char* text, int left, int top, int width, bool checked,
                  const char* tip) {
  auto* box = new TCheck(QString::fromLatin1(text), panel);
  box->setGeometry(left, top, width, 17);
  box->setChecked(checked);
  box->setToolTip(QString::fromLatin1(tip));
  return box;
}

// The side panel's place and size: not anchored, it keeps them whatever the window's size.
const QRect kPanel(0, 0, 185, 401);
// The least the drawing area may shrink to.
constexpr int kSmallestDrawingArea = 64;

// A recent file's entry: its place in the list (keyed 1 to 9) and its path, every "&" in it
// shown as itself.
QString RecentEntryText(int index, const QString& path) {
  QString shown = path;
  shown.replace(QLatin1Char('&'), QStringLiteral("&&"));
  const QString number =
      index < 9 ? QStringLiteral("&%1").arg(index + 1) : QString::number(index + 1);
  return number + QLatin1Char(' ') + shown;
}

// Accepts a drag of one model file as a copy (no file manager may take the drop as leave to move
// the file away) and returns the file; refuses anything else.
std::optional<std::string> TakeDrop(QDropEvent& event) {
  std::optional<std::string> path = DroppedSceneFile(*event.mimeData());
  if (path && (event.possibleActions() & Qt::CopyAction)) {
    event.setDropAction(Qt::CopyAction);
    event.accept();
    return path;
  }
  event.ignore();
  return std::nullopt;
}

}  // namespace

TMainWindow::TMainWindow(std::string firstArgument) : firstArgument_(std::move(firstArgument)) {
  setWindowTitle(QStringLiteral("Kestrel"));
  UseFormLook(*this);
  // Qt sizes the client area; the outer size is made right once the frame is known
  // (FitOuterSize). Until then, and where there is no frame, the window is this size.
  resize(kOuterWidth, kOuterHeight);

  ClientArea = new TClientArea(this);
  ClientArea->setCursor(LoadHandCursor("FlatHand"));
  ClientArea->setMinimumSize(MinimumClientSize());
  setCentralWidget(ClientArea);
  BuildPanel();
  BuildMenu();
  Timer1 = new QTimer(this);
  Timer1->setInterval(30);

  TControlSet set;
  set.window = this;
  set.memo = Memo;
  set.checkBoxes = {AliasCheckBox,     FadeCheckBox,     FlipZCheckBox,
                    WhiteBackCheckBox, FreeSpinCheckBox, CircleFillCheckBox};
  set.saveAs = SaveAs1;
  set.saveImageAs = SaveImageAs1;
  set.center = CenterButton;
  set.timer = Timer1;
  set.clientArea = ClientArea;
  set.fileOpened = [this](const QString& path, int filterIndex) { FileOpened(path, filterIndex); };
  controls_ = std::make_unique<TQtControls>(set);

  // Creating the form runs FormCreate, once the controls it speaks to are there.
  form_ = std::make_unique<TForm1>(*controls_);
  RouteEvents();

  aboutBox_ = new TAboutBox(this);
  // A model file dragged from the file manager opens wherever it is dropped on the window.
  setAcceptDrops(true);
}

TMainWindow::~TMainWindow() {
  // The children outlive the form by a moment; nothing of theirs may reach it meanwhile.
  qApp->removeEventFilter(this);
  delete fileWatch_;
  fileWatch_ = nullptr;
  Timer1->stop();
  ClientArea->Attach(nullptr);
  for (QObject* box : Panel1->children()) box->blockSignals(true);
}

void TMainWindow::BuildPanel() {
  Panel1 = new QFrame(ClientArea);
  Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
  // Not anchored: it keeps this place and size whatever the window's size.
  Panel1->setGeometry(kPanel);
  // A click on the panel is not a click on the drawing area behind it.
  Panel1->setAttribute(Qt::WA_NoMousePropagation);
  Panel1->setCursor(Qt::ArrowCursor);
  UseNarrowCaptions(*Panel1);

  Memo = new QPlainTextEdit(Panel1);
  Memo->setGeometry(8, 16, 167, 145);
  Memo->setReadOnly(true);
  Memo->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  Memo->setFocusPolicy(Qt::StrongFocus);
  Memo->setTabChangesFocus(true);
  Memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

  AliasCheckBox =
      MakeCheck(Panel1, "Anti-aliasing", 56, 168, 81, true, "Draw lines with smooth edges");
  FadeCheckBox = MakeCheck(Panel1, "Fade", 56, 200, 49, true,
                           "Draw the far parts of the model darker than the near ones");
  FlipZCheckBox = MakeCheck(Panel1, "Flip Z", 56, 232, 49, false,
                            "Mirror the model front to back, as if seen in a mirror behind it");
  WhiteBackCheckBox = MakeCheck(Panel1, "White Back", 56, 264, 81, false,
                                "Draw on white instead of black; white lines turn dark grey");
  FreeSpinCheckBox = MakeCheck(Panel1, "Free Spin", 56, 296, 65, false,
                               "Keep the model turning when you let go of a left-button drag");
  CircleFillCheckBox = MakeCheck(Panel1, "Fill Circles", 56, 328, 65, false,
                                 "Draw the model's circles filled instead of as rings");
  CenterButton = new TButtonKeyStop(QStringLiteral("Center"), Panel1);
  CenterButton->setGeometry(56, 360, 60, 25);
  CenterButton->setEnabled(false);
  CenterButton->setToolTip(
      QStringLiteral("Back to the view the model opened with: unturned, centred, fitted"));

  // "Center" comes before "Fill Circles", though it stands below it.
  QWidget::setTabOrder(Memo, AliasCheckBox);
  QWidget::setTabOrder(AliasCheckBox, FadeCheckBox);
  QWidget::setTabOrder(FadeCheckBox, FlipZCheckBox);
  QWidget::setTabOrder(FlipZCheckBox, WhiteBackCheckBox);
  QWidget::setTabOrder(WhiteBackCheckBox, FreeSpinCheckBox);
  QWidget::setTabOrder(FreeSpinCheckBox, CenterButton);
  QWidget::setTabOrder(CenterButton, CircleFillCheckBox);
  Memo->setFocus();
}

// No shortcut here may take a key the view uses: the letters A, Q, S, D, F and C pan and zoom
// whatever Ctrl, Shift or Alt are held, and the arrows turn and pan.
void TMainWindow::BuildMenu() {
  File1 = menuBar()->addMenu(QStringLiteral("File"));
  Open1 = File1->addAction(MenuIcon(0), QStringLiteral("Open"));
  Open1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
  OpenRecent1 = File1->addMenu(QStringLiteral("Open Recent"));
  Reload1 = File1->addAction(QStringLiteral("Reload"));
  Reload1->setShortcut(QKeySequence(Qt::Key_F5));
  Reload1->setEnabled(false);
  SaveAs1 = File1->addAction(MenuIcon(1), QStringLiteral("Save As"));
  SaveAs1->setEnabled(false);
  SaveImageAs1 = File1->addAction(QStringLiteral("Save Image As"));
  SaveImageAs1->setEnabled(false);
  File1->addSeparator();
  Exit1 = File1->addAction(MenuIcon(2), QStringLiteral("Exit"));
  // A command of its own on the menu bar, with no menu under it.
  About1 = menuBar()->addAction(QStringLiteral("About"));
  FullScreen1 = new QAction(QStringLiteral("Full Screen"), this);
  FullScreen1->setShortcut(QKeySequence(Qt::Key_F11));
  addAction(FullScreen1);
  // Whether a recent file is still there is looked at each time the list is shown.
  connect(OpenRecent1, &QMenu::aboutToShow, this, &TMainWindow::FillRecentMenu);
  FillRecentMenu();
}

QSize TMainWindow::MinimumClientSize() {
  return QSize(FrameWidthAllowance + kSmallestDrawingArea,
               std::max(kPanel.bottom() + 1, FrameHeightAllowance + kSmallestDrawingArea));
}

void TMainWindow::FillRecentMenu() {
  OpenRecent1->clear();
  const QList<TRecentFile> files = TSettings::RecentFiles();
  for (int i = 0; i < files.size(); ++i) {
    const TRecentFile file = files[i];
    QAction* entry = OpenRecent1->addAction(RecentEntryText(i, file.path));
    entry->setEnabled(QFileInfo::exists(file.path));
    connect(entry, &QAction::triggered, this, [this, file] {
      Guarded(this, [&] {
        // As File > Open with the filter that read it then.
        const std::string path = QFile::encodeName(file.path).toStdString();
        if (const SceneFileType* type = SceneFileTypeForOpen(file.filterIndex, path)) {
          OpenSceneFile(*form_, *type, path);
        } else {
          form_->Controls().ShowMessage(NotOpenedMessage(path));
        }
      });
    });
  }
  OpenRecent1->addSeparator();
  QAction* clear = OpenRecent1->addAction(QStringLiteral("Clear"));
  connect(clear, &QAction::triggered, this, [this] {
    TSettings::ClearRecentFiles();
    FillRecentMenu();
  });
  // An empty list has nothing to show: the entry is greyed until a file opens.
  OpenRecent1->menuAction()->setEnabled(!files.isEmpty());
}

void TMainWindow::RouteEvents() {
  ClientArea->Attach(form_.get());
  controls_->Attach(*form_);
  TForm1& form = *form_;
  connect(Timer1, &QTimer::timeout, this,
          [this, &form] { Guarded(this, [&] { form.Timer1Timer(); }); });
  connect(CenterButton, &QPushButton::clicked, this,
          [this, &form] { Guarded(this, [&] { form.CenterButtonClick(); }); });
  connect(Open1, &QAction::triggered, this,
          [this, &form] { Guarded(this, [&] { form.Open1Click(); }); });
  connect(SaveAs1, &QAction::triggered, this,
          [this, &form] { Guarded(this, [&] { form.SaveAs1Click(); }); });
  connect(SaveImageAs1, &QAction::triggered, this,
          [this, &form] { Guarded(this, [&] { form.SaveImageAs1Click(); }); });
  connect(Exit1, &QAction::triggered, this, &TMainWindow::Exit1Click);
  connect(About1, &QAction::triggered, this, &TMainWindow::About1Click);
  connect(Reload1, &QAction::triggered, this, &TMainWindow::Reload1Click);
  connect(FullScreen1, &QAction::triggered, this, &TMainWindow::FullScreen1Click);
  // Keys and the wheel are caught where they enter the window, before any control: see
  // eventFilter.
  qApp->installEventFilter(this);
}

void TMainWindow::ShowCentred() {
  CentreOnScreen(*this);
  show();
}

void TMainWindow::WatchFirstArgument() {
  if (fileWatch_ != nullptr || SceneFileTypeOf(firstArgument_) == nullptr) return;
  fileWatch_ = new TFileWatch(
      firstArgument_, [this] { ReloadWatchedFile(); }, this);
}

void TMainWindow::ReloadWatchedFile() {
  ReloadKeepingViewShown(SceneFileTypeOf(firstArgument_), firstArgument_);
}

void TMainWindow::Reload1Click() {
  if (currentFile_.isEmpty()) return;
  const std::string path = QFile::encodeName(currentFile_).toStdString();
  ReloadKeepingViewShown(SceneFileTypeForOpen(currentFilter_, path), path);
}

void TMainWindow::ReloadKeepingViewShown(const SceneFileType* type, const std::string& path) {
  if (type == nullptr) return;
  // Of the frames the reload draws, only the last reaches the screen.
  ClientArea->HoldFrames();
  Guarded(this, [&] { ReloadKeepingView(*form_, *type, path); });
  ClientArea->ReleaseFrames();
}

void TMainWindow::FileOpened(const QString& path, int filterIndex) {
  currentFile_ = path;
  currentFilter_ = filterIndex;
  Reload1->setEnabled(true);
  FillRecentMenu();
}

void TMainWindow::FullScreen1Click() {
  if (isFullScreen()) {
    showNormal();
  } else {
    showFullScreen();
  }
}

void TMainWindow::dragEnterEvent(QDragEnterEvent* event) {
  TakeDrop(*event);
}

void TMainWindow::dragMoveEvent(QDragMoveEvent* event) {
  TakeDrop(*event);
}

void TMainWindow::dropEvent(QDropEvent* event) {
  if (const std::optional<std::string> path = TakeDrop(*event)) {
    Guarded(this, [&] { form_->OpenDroppedFile(*path); });
  }
}

void TMainWindow::Exit1Click() {
  close();
}

void TMainWindow::About1Click() {
  RunModal(*aboutBox_);
}

bool TMainWindow::eventFilter(QObject* watched, QEvent* event) {
  // Every key and wheel event of this window reaches its QWindow first, once, before Qt hands
  // it to the focused control or the control under the pointer.
  if (watched == nullptr || watched != windowHandle()) return false;
  switch (event->type()) {
    case QEvent::KeyPress: {
      const auto& key = static_cast<const QKeyEvent&>(*event);
      controls_->NoteKey(key);
      return PreviewKeyPress(key);
    }
    case QEvent::KeyRelease:
      controls_->NoteKey(static_cast<const QKeyEvent&>(*event));
      return false;
    case QEvent::Wheel: {
      // The wheel zooms wherever the pointer is, the memo included; it scrolls nothing.
      const auto& wheel = static_cast<const QWheelEvent&>(*event);
      const int delta =
          VerticalWheelTurn(wheel.angleDelta(), wheel.modifiers(), PlatformTransposesAltWheel());
      Guarded(this, [&] { form_->FormMouseWheel(delta); });
      return true;
    }
    default:
      return false;
  }
}

bool TMainWindow::PreviewKeyPress(const QKeyEvent& event) {
  uint16_t key = static_cast<uint16_t>(VirtualKeyOf(event.key()));
  Guarded(this, [&] { form_->FormKeyDown(key); });
  return key == 0;
}

void TMainWindow::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (shown_) return;
  shown_ = true;
  Guarded(this, [&] { form_->FormShow(firstArgument_); });
  FitOuterSize();
}

void TMainWindow::moveEvent(QMoveEvent* event) {
  QMainWindow::moveEvent(event);
  FitOuterSize();
}

void TMainWindow::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  FitOuterSize();
}

void TMainWindow::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() == QEvent::ActivationChange && !isActiveWindow()) controls_->ForgetKeys();
}

// Under X11 the frame belongs to the window manager, and its width is known only once the
// manager has put it round the window. The first time it is known, the client area gives up
// that much, so that the window, frame included, is 672 x 462, and the window is centred again.
// Without a frame (no window manager) the client area is the whole 672 x 462.
void TMainWindow::FitOuterSize() {
  if (outerSizeFitted_ || !shown_) return;
  const QSize frame = frameGeometry().size() - size();
  if (frame.width() <= 0 && frame.height() <= 0) return;
  outerSizeFitted_ = true;
  resize(QSize(kOuterWidth, kOuterHeight) - frame);
  CentreOnScreen(*this);
}
