// TForm1: the one owner of the program's state (model, comment lines, camera, options, drag
// and spin state, frame) and of every operation on it. It knows no widgets: whatever it needs
// of the window it asks through FormControls. Its methods are defined in the source file of the
// unit they belong to, which the comment over each group names.
#pragma once

#include <QImage>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "scene/error.h"
#include "scene/form_controls.h"
#include "scene/records.h"

struct SceneData;

enum class MouseButton { Left, Right, Middle };

// The renderer's working arrays (render/render_workspace.h).
struct RenderWorkspace;
class WorkerPool;

// Pixels subtracted from the smaller frame side when a model is fitted.
inline constexpr int FitMargin = 10;

// Where the frame sits in the client area, and what the frame leaves of the client area.
inline constexpr int FrameLeft = 192;
inline constexpr int FrameWidthAllowance = 199;
inline constexpr int FrameHeightAllowance = 7;

class TForm1 {
 public:
  // Runs FormCreate, as the window's creation does.
  explicit TForm1(FormControls& controls);
  TForm1(const TForm1&) = delete;
  TForm1& operator=(const TForm1&) = delete;

  // Creation and the option check boxes: scene/scene_model.cpp
  void FormCreate();
  void SetCheckBox(uint8_t number, bool value);
  void AliasCheckBoxClick();
  void FadeCheckboxClick();
  void FlipZCheckBoxClick();
  void WhiteBackCheckBoxClick();
  void FreeSpinCheckBoxClick();
  void CircleFillCheckBoxClick();
  // Runs the click handler of check box `number` (1–6, any other number 6).
  void CheckBoxClick(int number);

  // Opening files: formats/file_commands.cpp
  void FormShow(const std::string& firstArgument);
  void Open1Click();
  // A .tmb or .ksl file dropped on the window: opened as Open opens it with that file's filter.
  void OpenDroppedFile(const std::string& fileName);
  // Replaces the model, the memo, the options and the centre with a scene read in full, then
  // fits and draws it: the one way a load changes the shown model. Returns whether the fit went
  // through (ComputeScale's result).
  bool AdoptScene(SceneData&& scene);

  // Tumbra files: formats/tumbra_file.cpp
  void LoadTmbFile(const std::string& fileName);

  // Scene files and Save As: formats/native_file.cpp
  void LoadKslFile(const std::string& fileName);
  void SaveKslFile(const std::string& fileName);
  void SaveAs1Click();

  // The picture file and Save Image As: formats/picture_file.cpp
  void SaveImageAs1Click();
  // Writes the frame as a 32-bit Windows BMP file; throws KestrelError when it cannot.
  void SaveBitmapFile(const std::string& fileName) const;

  // Colours: scene/colour_codes.cpp
  uint32_t CodeToColor(uint8_t code) const;

  // Camera: view/vector_camera.cpp
  void RotateCam(uint8_t axis, double angle);
  void LookAt(const Vec3& source, Vec3& result) const;

  // Framing: view/framing.cpp
  void NewView();
  // Reports its own failure, as ever; the result says whether the fit went through.
  bool ComputeScale();
  void CenterButtonClick();

  // Mouse, keyboard, wheel and free spin: view/interaction.cpp
  void FormMouseDown(MouseButton button, int32_t x, int32_t y);
  void FormMouseMove(int32_t x, int32_t y);
  void FormMouseUp(MouseButton button, int32_t x, int32_t y);
  void FormKeyDown(uint16_t& key);
  // Adds up wheel rotation (120 units a notch) and runs one handler per full notch.
  void FormMouseWheel(int32_t delta);
  void FormMouseWheelDown();
  void FormMouseWheelUp();
  void Timer1Timer();

  // The frame: render/frame_buffer.cpp
  void FormResize(int32_t clientWidth, int32_t clientHeight);
  void PopulateScanlines();
  void BlitBitmap();
  void FormPaint();

  // Drawing: render/frame_renderer.cpp, render/wu_line.cpp
  void Render();
  void WuLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint8_t r, uint8_t g, uint8_t b);

  // --- Model ---
  std::vector<PointRecord> Points;
  std::vector<SegmentRecord> Segments;
  int32_t PointCount = 0;
  int32_t SegmentCount = 0;
  // The comment lines exactly as read from the file; the memo shows them. Kept here so that a
  // save writes them as read, not as the memo happens to wrap them.
  std::vector<std::string> CommentLines;

  // --- Frame ---
  // Device pixels per logical pixel of the screen the window is on: 1 on a plain screen, 2 on a
  // 2x one, 1.25 or 1.5 on others. The frame has the drawing area's logical size times this,
  // rounded, so that it is shown pixel for pixel; the pointer arrives in those pixels too. The
  // window sets it before it sizes the frame; it must be positive and finite.
  double PixelRatio = 1;
  // Working arrays the renderer keeps from one frame to the next, so that a frame of an
  // unchanged model allocates nothing. They hold no state: each frame rewrites them.
  std::shared_ptr<RenderWorkspace> Workspace;
  // The threads a frame is drawn with: the process's shared pool when this is empty.
  std::shared_ptr<WorkerPool> Workers;
  QImage FrameBitmap;
  std::vector<uint8_t*> ScanLines;
  TRect FrameRect{};

  // --- View ---
  Vec3 Centre{};
  bool CentreGiven = false;
  double Scale = 0;
  double InitialScale = 0;
  float ModelDiameter = 0;
  Vec3 ViewAxis{};
  Vec3 UpAxis{};
  Vec3 RightAxis{};
  double PanX = 0;
  double PanY = 0;

  // --- Options ---
  bool AntiAlias = false;
  bool Fade = false;
  bool FlipZ = false;
  bool WhiteBack = false;
  bool FreeSpin = false;
  bool FillCircles = false;
  bool NoModel = false;

  // --- Drag and spin ---
  bool LeftDragging = false;
  bool RightDragging = false;
  int32_t LastMouseX = 0;
  int32_t LastMouseY = 0;
  int32_t SpinDX = 0;
  int32_t SpinDY = 0;
  // Wheel rotation not yet turned into a zoom step, with its sign.
  int32_t WheelRemainder = 0;

  // --- Native file widths ---
  uint8_t VecSize = 0;
  uint8_t IntSize = 0;

  double CircleRadius = 0;

  // PixelRatio, or the invalid-operation fault when it is not a positive finite number.
  double CheckedPixelRatio() const;

  FormControls& Controls() { return controls_; }

 private:
  FormControls& controls_;
};
