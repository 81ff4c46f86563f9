// The whole state of a form and of its recording controls, written out exactly: every field of
// the model, the view, the options and the drag and spin state (reals in hexadecimal), the frame
// (its size, rectangle, row table and a checksum of every pixel byte), and everything the
// controls show. Two states are the same exactly when their descriptions are equal; a failed
// load or save must leave it as it was.
#pragma once

#include <cstdint>
#include <sstream>
#include <string>

#include "scene/headless_controls.h"
#include "scene/scene_model.h"

// Every field of TForm1 is described below, except the renderer's workspace and the threads it
// draws with, which hold no state. A new field changes the size: describe it, then update the
// size here.
static_assert(sizeof(TForm1) == 384, "TForm1 has a new field: add it to DescribeState");

inline std::string DescribeState(const TForm1& t, const HeadlessControls& c,
                                 bool withMessages = true) {
  std::ostringstream o;
  o << std::hexfloat;
  auto vec = [&o](const Vec3& v) { o << v.x << ' ' << v.y << ' ' << v.z << ' '; };
  o << "points " << t.PointCount << ' ' << t.Points.size() << '\n';
  for (const PointRecord& p : t.Points) {
    vec(p.Pos);
    vec(p.View);
    o << p.ScreenX << ' ' << p.ScreenY << '\n';
  }
  o << "segments " << t.SegmentCount << ' ' << t.Segments.size() << '\n';
  for (const SegmentRecord& s : t.Segments) {
    o << int{s.Kind} << ' ' << s.Radius << ' ' << s.Colour << ' ' << s.First << ' ' << s.Second
      << ' ' << s.Depth << '\n';
  }
  o << "comments";
  for (const std::string& line : t.CommentLines) o << " [" << line << ']';
  o << "\nview ";
  vec(t.Centre);
  vec(t.ViewAxis);
  vec(t.UpAxis);
  vec(t.RightAxis);
  o << t.CentreGiven << ' ' << t.Scale << ' ' << t.InitialScale << ' ' << t.ModelDiameter << ' '
    << t.PanX << ' ' << t.PanY << ' ' << t.CircleRadius << '\n';
  o << "options " << t.AntiAlias << t.Fade << t.FlipZ << t.WhiteBack << t.FreeSpin << t.FillCircles
    << " nomodel " << t.NoModel << '\n';
  o << "drag " << t.LeftDragging << t.RightDragging << ' ' << t.LastMouseX << ' ' << t.LastMouseY
    << ' ' << t.SpinDX << ' ' << t.SpinDY << ' ' << t.WheelRemainder << '\n';
  o << "widths " << int{t.VecSize} << ' ' << int{t.IntSize} << " ratio " << t.PixelRatio << '\n';
  // FNV-1a over every pixel byte of every row.
  uint64_t pixels = 14695981039346656037ull;
  for (int y = 0; y < t.FrameBitmap.height(); ++y) {
    const uint8_t* row = t.FrameBitmap.constScanLine(y);
    for (qsizetype x = 0; x < t.FrameBitmap.bytesPerLine(); ++x) {
      pixels = (pixels ^ row[x]) * 1099511628211ull;
    }
  }
  o << "frame " << t.FrameBitmap.width() << 'x' << t.FrameBitmap.height() << ' '
    << t.FrameBitmap.format() << ' ' << pixels << " rect " << t.FrameRect.Left << ' '
    << t.FrameRect.Top << ' ' << t.FrameRect.Right << ' ' << t.FrameRect.Bottom << " rows "
    << t.ScanLines.size();
  // Each row's place relative to the frame's storage, which a copy elsewhere may move.
  const auto base = reinterpret_cast<intptr_t>(t.FrameBitmap.constBits());
  for (uint8_t* row : t.ScanLines) o << ' ' << reinterpret_cast<intptr_t>(row) - base;
  o << "\nmemo";
  for (const std::string& line : c.Memo) o << " [" << line << ']';
  o << "\nchecks";
  for (int i = 1; i <= 6; ++i) o << c.Checks[i];
  o << " enabled " << c.Enabled[0] << c.Enabled[1] << c.Enabled[2] << " timer " << c.TimerOn
    << " cursor " << static_cast<int>(c.ScreenCursor) << " frames " << c.FramesPresented
    << " clears " << c.ClientClears << "\nopened";
  for (const auto& [path, filter] : c.OpenedFiles) o << " [" << path << ' ' << filter << ']';
  if (withMessages) {
    o << "\nmessages";
    for (size_t i = 0; i < c.Messages.size(); ++i) {
      o << " [" << c.Messages[i];
      if (i < c.MessageDetails.size() && !c.MessageDetails[i].empty())
        o << ": " << c.MessageDetails[i];
      o << ']';
    }
  }
  return o.str();
}
