#include "gui_support.h"

#include <QClipboard>
#include <QDialog>
#include <QFile>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QSettings>
#include <QShortcut>
#include <QTemporaryDir>
#include <QTest>

#include "app/AboutUnit.h"
#include "app/MainUnit.h"
#include "app/ModalBoxes.h"
#include "scene/colour_codes.h"
#include "scene/scene_model.h"

namespace {

// No test reads or writes the user's own settings: every window test program keeps them in a
// folder of its own, gone when it ends. Set before main(), so before any window exists.
struct SettingsSandbox {
  QTemporaryDir folder;
  SettingsSandbox() {
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, folder.path());
  }
};
const SettingsSandbox sandbox;

}  // namespace

void ForgetSettings() {
  QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("kestrel"),
            QStringLiteral("kestrel"))
      .clear();
}

ModalScript::ModalScript() {
  SetModalRunner([this](QDialog& dialog) { return Run(dialog); });
}

ModalScript::~ModalScript() {
  SetModalRunner({});
}

void ModalScript::AnswerFile(const QString& path, const QString& nameFilter) {
  answers_.push_back({path, nameFilter});
}

int ModalScript::Run(QDialog& dialog) {
  if (auto* box = qobject_cast<QMessageBox*>(&dialog)) {
    bool plain = box->textFormat() == Qt::PlainText;
    bool oneLine = true;
    for (const QLabel* label : box->findChildren<QLabel*>()) {
      if (label->text() != box->informativeText()) continue;
      plain = plain && label->textFormat() == Qt::PlainText;
      oneLine = oneLine && !label->wordWrap();
    }
    // What the copy key would take.
    QString copied;
    for (QShortcut* shortcut : box->findChildren<QShortcut*>()) {
      if (shortcut->key() != QKeySequence::Copy) continue;
      emit shortcut->activated();
      copied = QGuiApplication::clipboard()->text();
    }
    boxes.push_back({box->icon(), box->windowTitle(), box->text(), box->standardButtons(),
                     box->informativeText(), plain, oneLine, copied});
    if (duringBox) duringBox();
    return QMessageBox::Ok;
  }
  if (auto* files = qobject_cast<QFileDialog*>(&dialog)) {
    fileDialogs.push_back({files->nameFilters(), files->defaultSuffix(),
                           !files->testOption(QFileDialog::DontConfirmOverwrite),
                           files->acceptMode() == QFileDialog::AcceptSave,
                           files->selectedNameFilter()});
    if (answers_.empty()) return QDialog::Rejected;
    const Answer answer = answers_.front();
    answers_.pop_front();
    if (answer.path.isEmpty()) return QDialog::Rejected;
    // The filter first: choosing one may rewrite the name typed so far.
    if (!answer.nameFilter.isEmpty()) files->selectNameFilter(answer.nameFilter);
    files->selectFile(answer.path);
    return QDialog::Accepted;
  }
  if (qobject_cast<TAboutBox*>(&dialog) != nullptr) ++aboutBoxes;
  return other ? other(dialog) : QDialog::Rejected;
}

void SetUpModel(TForm1& form) {
  form.NewView();
  // Each edge has its own two points, a little nearer the viewer than the edge before, so the
  // depth sort of every frame keeps the segments in this order.
  const Vec3 corners[] = {{-1, -1, 0}, {1, -1, 0}, {1, 1, 0}, {-1, 1, 0}};
  const uint32_t colours[] = {MakeColor(255, 255, 255), MakeColor(255, 255, 255),
                              MakeColor(40, 40, 40), MakeColor(0, 0, 255)};
  for (int i = 0; i < 4; ++i) {
    Vec3 from = corners[i];
    Vec3 to = corners[(i + 1) % 4];
    from.z = to.z = 0.1 * i;
    form.Points.push_back(PointRecord{from, {}, 0, 0});
    form.Points.push_back(PointRecord{to, {}, 0, 0});
    form.Segments.push_back(SegmentRecord{0, 0, colours[i], 2 * i, 2 * i + 1, 0});
  }
  form.PointCount = 8;
  form.SegmentCount = 4;
  form.ComputeScale();
  form.Render();
}

QString WriteTumbraFile(const QTemporaryDir& dir, const QString& name) {
  const QString path = dir.filePath(name);
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly)) return QString();
  file.write(
      "# Square\n"
      "# with a diagonal\n"
      "\n"
      "-1 0 -1 0\n"
      "1 0 -1 7\n"
      "1 0 1 7\n"
      "-1 0 1 7\n"
      "-1 0 -1 7\n"
      "1 0 1 7\n");
  return path;
}

void ShowAndActivate(TMainWindow& window) {
  window.ShowCentred();
  window.activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(&window));
}
