// The form's controls as Qt widgets.
#include "app/QtControls.h"

#include <QAbstractItemView>
#include <QAction>
#include <QCheckBox>
#include <QCompleter>
#include <QDialog>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStringDecoder>
#include <QTimer>
#include <utility>

#include "app/ClientArea.h"
#include "app/ModalBoxes.h"
#include "app/Resources.h"
#include "app/Settings.h"
#include "formats/file_kind.h"
#include "formats/picture_file.h"
#include "scene/scene_model.h"

namespace {

QFileDialog* MakeDialog(QWidget* owner, QFileDialog::AcceptMode mode, const QStringList& filters,
                        const QString& defaultSuffix) {
  auto* dialog = new QFileDialog(owner);
  dialog->setAcceptMode(mode);
  dialog->setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile
                                                      : QFileDialog::AnyFile);
  dialog->setNameFilters(filters);
  dialog->setDefaultSuffix(defaultSuffix);
  // Saving over an existing file asks nothing.
  dialog->setOption(QFileDialog::DontConfirmOverwrite);
  return dialog;
}

// A dialog opens where the user last chose a file with one of its kind, in this run or before;
// a folder since removed leaves the dialog where it is.
void StartInLastFolder(QFileDialog& dialog, TFolder folder) {
  const QString last = TSettings::LastFolder(folder);
  if (!last.isEmpty() && QFileInfo(last).isDir()) dialog.setDirectory(last);
}

// Runs a file dialog. A name typed and confirmed at once can leave the dialog's completion list
// open after the dialog has gone: the folder is read in the background and the list shows when
// it is done. Nothing of the dialog may outlive it on the screen.
int RunFileDialog(QFileDialog& dialog) {
  const int result = RunModal(dialog);
  for (QCompleter* completer : dialog.findChildren<QCompleter*>()) {
    if (completer->popup() != nullptr) completer->popup()->hide();
  }
  return result;
}

// The filter chosen in a dialog, counted from 1.
int SelectedFilter(const QFileDialog& dialog) {
  const auto index = dialog.nameFilters().indexOf(dialog.selectedNameFilter());
  return index < 0 ? 1 : static_cast<int>(index) + 1;
}

// A bare name typed into the picture dialog takes the extension of the filter chosen, so that
// the file is named for what it holds.
void SuffixFromFilter(QFileDialog& pictures) {
  pictures.setDefaultSuffix(SelectedFilter(pictures) == kPngPictureFilter ? QStringLiteral("png")
                                                                          : QStringLiteral("bmp"));
}

// The chosen file as the file system spells it.
std::string FileNameOf(const QFileDialog& dialog) {
  const QStringList files = dialog.selectedFiles();
  return files.isEmpty() ? std::string() : QFile::encodeName(files.first()).toStdString();
}

// Comment lines are 8-bit text of no stated encoding: shown as UTF-8 when they are valid
// UTF-8, else byte for byte as Latin-1, so that no line is ever lost to a decoding error.
QString MemoText(const std::string& line) {
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  const QString text = utf8(QByteArrayView(line.data(), static_cast<qsizetype>(line.size())));
  if (!utf8.hasError()) return text;
  return QString::fromLatin1(line.data(), static_cast<qsizetype>(line.size()));
}

}  // namespace

QStringList OpenDialogFilters() {
  QStringList filters;
  for (const std::string& filter : OpenFilters()) filters << QString::fromStdString(filter);
  return filters;
}

TQtControls::TQtControls(const TControlSet& controls)
    : c_(controls),
      openDialog_(MakeDialog(c_.window, QFileDialog::AcceptOpen, OpenDialogFilters(), QString())),
      saveDialog_(
          MakeDialog(c_.window, QFileDialog::AcceptSave, {kKestrelFilter}, QStringLiteral("ksl"))),
      pictureDialog_(MakeDialog(c_.window, QFileDialog::AcceptSave, {kBitmapFilter, kPngFilter},
                                QStringLiteral("bmp"))),
      flatHand_(LoadHandCursor("FlatHand")),
      grabHand_(LoadHandCursor("GrabHand")) {
  QObject::connect(pictureDialog_, &QFileDialog::filterSelected, pictureDialog_,
                   [this] { SuffixFromFilter(*pictureDialog_); });
}

TQtControls::~TQtControls() {
  if (overriding_) QGuiApplication::restoreOverrideCursor();
}

void TQtControls::Attach(TForm1& form) {
  for (int number = 1; number <= 6; ++number) {
    QObject::connect(Box(number), &QCheckBox::toggled, c_.window,
                     [this, &form, number](bool) { OnToggled(form, number); });
  }
}

void TQtControls::OnToggled(TForm1& form, int number) {
  if (!changingFromCode_) {
    Guarded(c_.window, [&] { form.CheckBoxClick(number); });
    return;
  }
  // Qt's signal cannot carry an exception across; SetCheckBoxChecked throws it on.
  try {
    form.CheckBoxClick(number);
  } catch (...) {
    handlerFailure_ = std::current_exception();
  }
}

QCheckBox* TQtControls::Box(int number) const {
  return c_.checkBoxes[number >= 1 && number <= 5 ? number - 1 : 5];
}

void TQtControls::ShowMessage(const std::string& text, const std::string& detail) {
  FlushMemo();
  ShowMessageBox(c_.window, QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())),
                 QString::fromUtf8(detail.data(), static_cast<qsizetype>(detail.size())));
}

void TQtControls::MemoClear() {
  pendingMemo_.clear();
  memoLines_ = 0;
  c_.memo->clear();
}

// A comment block is a few lines of description, but a file may hold millions, or one line of
// megabytes, and laying those out would hold the window up for minutes. So the memo shows at
// most kShownLines lines of at most kShownBytes bytes each, and is filled in one go when the
// loader next shows something (a frame or a message) or the event loop next runs. The model
// keeps every line whole: a save writes them all.
namespace {
constexpr qsizetype kShownLines = 10000;
constexpr size_t kShownBytes = 4096;
}  // namespace

void TQtControls::MemoAdd(const std::string& line) {
  ++memoLines_;
  if (memoLines_ > kShownLines + 1) return;
  if (memoLines_ == kShownLines + 1) {
    pendingMemo_ << QString(QChar(0x2026));
  } else if (line.size() <= kShownBytes) {
    pendingMemo_ << MemoText(line);
  } else {
    size_t cut = kShownBytes;
    // Never cut a UTF-8 sequence in two: step back over continuation bytes.
    while (cut > kShownBytes - 3 && (static_cast<uint8_t>(line[cut]) & 0xC0) == 0x80) --cut;
    pendingMemo_ << MemoText(line.substr(0, cut)) + QChar(0x2026);
  }
  if (pendingMemo_.size() == 1) QTimer::singleShot(0, c_.memo, [this] { FlushMemo(); });
}

void TQtControls::FlushMemo() {
  if (pendingMemo_.isEmpty()) return;
  c_.memo->appendPlainText(pendingMemo_.join(QChar('\n')));
  pendingMemo_.clear();
  // A description is read from its first line.
  c_.memo->moveCursor(QTextCursor::Start);
}

bool TQtControls::CheckBoxChecked(int number) const {
  return Box(number)->isChecked();
}

void TQtControls::SetCheckBoxChecked(int number, bool checked) {
  // setChecked emits toggled only when the state really changes.
  const bool outer = std::exchange(changingFromCode_, true);
  Box(number)->setChecked(checked);
  changingFromCode_ = outer;
  if (handlerFailure_) std::rethrow_exception(std::exchange(handlerFailure_, nullptr));
}

void TQtControls::SetCommandEnabled(Command command, bool enabled) {
  switch (command) {
    case Command::SaveAs:
      c_.saveAs->setEnabled(enabled);
      break;
    case Command::SaveImageAs:
      c_.saveImageAs->setEnabled(enabled);
      break;
    case Command::Center:
      c_.center->setEnabled(enabled);
      break;
  }
}

void TQtControls::SetTimerEnabled(bool enabled) {
  // Enabling a running timer leaves its beat alone.
  if (!enabled) {
    c_.timer->stop();
  } else if (!c_.timer->isActive()) {
    c_.timer->start();
  }
}

bool TQtControls::TimerEnabled() const {
  return c_.timer->isActive();
}

void TQtControls::SetScreenCursor(CursorId cursor) {
  if (cursor == CursorId::Default) {
    if (overriding_) QGuiApplication::restoreOverrideCursor();
    overriding_ = false;
    return;
  }
  const QCursor& shape = cursor == CursorId::GrabHand ? grabHand_ : flatHand_;
  // Qt keeps a stack of overrides; ours is only ever one deep.
  if (overriding_) {
    QGuiApplication::changeOverrideCursor(shape);
  } else {
    QGuiApplication::setOverrideCursor(shape);
    overriding_ = true;
  }
}

void TQtControls::ClearClientArea() {
  c_.clientArea->Clear();
}

void TQtControls::PresentFrame(const QImage& frame, int left, int top) {
  FlushMemo();
  c_.clientArea->Present(frame, left, top);
}

bool TQtControls::RunOpenDialog(std::string& path, int& filterIndex) {
  StartInLastFolder(*openDialog_, TFolder::Models);
  if (RunFileDialog(*openDialog_) != QDialog::Accepted) return false;
  path = FileNameOf(*openDialog_);
  TSettings::RememberFolder(TFolder::Models, QFile::decodeName(path.c_str()));
  filterIndex = SelectedFilter(*openDialog_);
  return true;
}

bool TQtControls::RunSaveDialog(SaveDialogKind kind, std::string& path, int& filterIndex) {
  QFileDialog& dialog = kind == SaveDialogKind::Scene ? *saveDialog_ : *pictureDialog_;
  const TFolder folder = kind == SaveDialogKind::Scene ? TFolder::Models : TFolder::Pictures;
  StartInLastFolder(dialog, folder);
  const bool picture = kind == SaveDialogKind::Picture;
  if (picture) {
    // Each time it opens on BMP, the picture the program has always saved.
    dialog.selectNameFilter(kBitmapFilter);
    SuffixFromFilter(dialog);
  }
  if (RunFileDialog(dialog) != QDialog::Accepted) return false;
  filterIndex = SelectedFilter(dialog);
  // The filter may have been chosen by the program rather than by a click, which Qt does not
  // signal: the name is taken with the suffix of the filter as it stands.
  if (picture) SuffixFromFilter(dialog);
  path = FileNameOf(dialog);
  TSettings::RememberFolder(folder, QFile::decodeName(path.c_str()));
  return true;
}

void TQtControls::SceneFileOpened(const std::string& path, int filterIndex) {
  const QString kept = TSettings::RememberOpened(QFile::decodeName(path.c_str()), filterIndex);
  if (c_.fileOpened) c_.fileOpened(kept, filterIndex);
}
