// What TForm1 needs from the window's controls, and nothing more. The Qt window, the headless
// command and the tests each implement it; TForm1 itself never sees a widget.
#pragma once

#include <string>

class QImage;

// Menu entries and buttons whose enabled state the program changes.
enum class Command { SaveAs, SaveImageAs, Center };

// Cursor ids: 0 the default (no screen-wide override), 1 the open hand, 2 the closed hand.
enum class CursorId { Default = 0, FlatHand = 1, GrabHand = 2 };

// The three save dialogs differ only in filter and default extension.
enum class SaveDialogKind { Scene, Picture };

// Check box numbers, as SetCheckBox takes them.
enum CheckBoxNumber : int {
  kAliasCheckBox = 1,
  kFadeCheckBox = 2,
  kFlipZCheckBox = 3,
  kWhiteBackCheckBox = 4,
  kFreeSpinCheckBox = 5,
  kCircleFillCheckBox = 6,
};

// Virtual-key codes of the keys the program reads (the Windows values).
enum VirtualKey : int {
  VK_SHIFT = 16,
  VK_CONTROL = 17,
  VK_LEFT = 37,
  VK_UP = 38,
  VK_RIGHT = 39,
  VK_DOWN = 40,
};

class FormControls {
 public:
  virtual ~FormControls() = default;

  // A modal message box with a fixed text and, where the program knows more, a second line of
  // detail (empty for none); returns when the user dismisses it.
  virtual void ShowMessage(const std::string& text, const std::string& detail = {}) = 0;

  // The side panel's read-only memo.
  virtual void MemoClear() = 0;
  virtual void MemoAdd(const std::string& line) = 0;

  // Check boxes 1–6 (any other number means 6). Setting a box to a new state runs its click
  // handler on the form before returning; setting it to the state it has runs nothing.
  virtual bool CheckBoxChecked(int number) const = 0;
  virtual void SetCheckBoxChecked(int number, bool checked) = 0;

  virtual void SetCommandEnabled(Command command, bool enabled) = 0;

  // Timer1, the 30 ms free-spin timer.
  virtual void SetTimerEnabled(bool enabled) = 0;
  virtual bool TimerEnabled() const = 0;

  // The screen-wide cursor override; Default clears it.
  virtual void SetScreenCursor(CursorId cursor) = 0;

  // Whether a key (a VirtualKey) is held at the time of the key event being handled.
  virtual bool KeyIsDown(int virtualKey) const = 0;

  // Fills the whole client area with the window's background colour.
  virtual void ClearClientArea() = 0;

  // Copies the frame to the client area at (left, top) now, synchronously.
  virtual void PresentFrame(const QImage& frame, int left, int top) = 0;

  // The open dialog: on confirm, the chosen path and the 1-based index of the selected filter
  // (1 Tumbra, 2 Kestrel). Returns false when the user cancels.
  virtual bool RunOpenDialog(std::string& path, int& filterIndex) = 0;

  // A save dialog, default extension already appended; `filterIndex` is the filter chosen,
  // counted from 1. Returns false when the user cancels.
  virtual bool RunSaveDialog(SaveDialogKind kind, std::string& path, int& filterIndex) = 0;

  // A model file was read in full and is shown now, whichever way it was opened: `path` as it
  // was given, `filterIndex` the Open dialog's filter of the reader that read it. The window
  // keeps it among the recent files and reads it again on Reload.
  virtual void SceneFileOpened(const std::string& path, int filterIndex) = 0;
};
