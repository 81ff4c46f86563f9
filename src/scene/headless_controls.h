// Controls without a window: the state a real window would hold (check boxes, memo, enabled
// commands, timer, cursor, held keys), kept in plain fields. The headless command uses it, and
// the tests use it as a recording fake that acts exactly as the window would.
#pragma once

#include <functional>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "scene/form_controls.h"

class TForm1;

class HeadlessControls : public FormControls {
 public:
  // The form whose click handlers the check boxes run. Must be set before any check box changes.
  void Attach(TForm1* form) { form_ = form; }

  void ShowMessage(const std::string& text, const std::string& detail = {}) override;
  void MemoClear() override { Memo.clear(); }
  void MemoAdd(const std::string& line) override {
    if (KeepsMemo) Memo.push_back(line);
  }
  bool CheckBoxChecked(int number) const override { return Checks[Index(number)]; }
  void SetCheckBoxChecked(int number, bool checked) override;
  void SetCommandEnabled(Command command, bool enabled) override;
  void SetTimerEnabled(bool enabled) override { TimerOn = enabled; }
  bool TimerEnabled() const override { return TimerOn; }
  void SetScreenCursor(CursorId cursor) override { ScreenCursor = cursor; }
  bool KeyIsDown(int virtualKey) const override { return HeldKeys.count(virtualKey) != 0; }
  void ClearClientArea() override { ++ClientClears; }
  void PresentFrame(const QImage& frame, int left, int top) override;
  bool RunOpenDialog(std::string& path, int& filterIndex) override;
  bool RunSaveDialog(SaveDialogKind kind, std::string& path, int& filterIndex) override;
  void SceneFileOpened(const std::string& path, int filterIndex) override {
    OpenedFiles.emplace_back(path, filterIndex);
  }

  // A user's click on check box `number`: toggles it, which runs its handler.
  void ClickCheckBox(int number) { SetCheckBoxChecked(number, !CheckBoxChecked(number)); }
  bool IsEnabled(Command command) const { return Enabled[static_cast<int>(command)]; }

  // --- State, as the window would show it ---
  std::vector<std::string> Messages;
  std::vector<std::string> MessageDetails;  // one for each message, empty where it has none
  std::vector<std::string> Memo;
  // False where nothing ever shows the memo (kestrel-render): the form's CommentLines is then
  // the one copy of the comment lines, which a file can make gigabytes of.
  bool KeepsMemo = true;
  bool Checks[7] = {false, true, true, false, false, false, false};
  bool Enabled[3] = {false, false, false};  // Save As, Save Image As, Center
  bool TimerOn = false;
  CursorId ScreenCursor = CursorId::Default;
  std::set<int> HeldKeys;
  int FramesPresented = 0;
  int ClientClears = 0;
  // Every file read in full, with the filter of its reader, in order.
  std::vector<std::pair<std::string, int>> OpenedFiles;

  // Called for every message box, after it is recorded (the headless command prints it).
  std::function<void(const std::string& text, const std::string& detail)> OnMessage;

  // What the next dialog answers; an empty answer is a cancel. Consumed by the dialog.
  struct OpenAnswer {
    std::string path;
    int filterIndex = 1;
  };
  std::optional<OpenAnswer> NextOpen;
  std::optional<std::string> NextSave;
  int NextSaveFilter = 1;  // the filter the next save dialog reports, when it is answered
  SaveDialogKind LastSaveKind = SaveDialogKind::Scene;

 private:
  static int Index(int number) { return number >= 1 && number <= 5 ? number : 6; }
  TForm1* form_ = nullptr;
};
