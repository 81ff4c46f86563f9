// The native scene reader on arbitrary bytes, and (first byte odd) on a valid zlib stream of an
// arbitrary body, so that inputs reach past inflate into the body's parser. A refused file must
// leave the shown model exactly as it was; an accepted one must name only existing points.
#include <zlib.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz_support.h"

namespace {

// Everything a refused load must leave alone.
struct Snapshot {
  std::vector<Vec3> positions;
  std::vector<SegmentRecord> segments;
  std::vector<std::string> comments, memo;
  Vec3 centre, view, up, right;
  double scale, initialScale, panX, panY, circleRadius;
  bool options[7], checks[7], enabled[3], noModel, centreGiven;

  explicit Snapshot(const FuzzForm& f) {
    const TForm1& t = f.form;
    for (const PointRecord& p : t.Points) positions.push_back(p.Pos);
    segments = t.Segments;
    comments = t.CommentLines;
    memo = f.controls.Memo;
    centre = t.Centre, view = t.ViewAxis, up = t.UpAxis, right = t.RightAxis;
    scale = t.Scale, initialScale = t.InitialScale, panX = t.PanX, panY = t.PanY;
    circleRadius = t.CircleRadius;
    const bool o[7] = {false, t.AntiAlias, t.Fade, t.FlipZ, t.WhiteBack, t.FreeSpin, t.FillCircles};
    for (int i = 0; i < 7; ++i) options[i] = o[i], checks[i] = f.controls.Checks[i];
    for (int i = 0; i < 3; ++i) enabled[i] = f.controls.Enabled[i];
    noModel = t.NoModel, centreGiven = t.CentreGiven;
  }
};

bool Same(const Vec3& a, const Vec3& b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

void ExpectUnchanged(const Snapshot& was, const FuzzForm& f) {
  const Snapshot now(f);
  bool same = was.positions.size() == now.positions.size() &&
              was.segments.size() == now.segments.size() && was.comments == now.comments &&
              was.memo == now.memo && Same(was.centre, now.centre) && Same(was.view, now.view) &&
              Same(was.up, now.up) && Same(was.right, now.right) && was.scale == now.scale &&
              was.initialScale == now.initialScale && was.panX == now.panX &&
              was.panY == now.panY && was.circleRadius == now.circleRadius &&
              was.noModel == now.noModel && was.centreGiven == now.centreGiven;
  for (size_t i = 0; same && i < was.positions.size(); ++i) {
    same = Same(was.positions[i], now.positions[i]);
  }
  for (size_t i = 0; same && i < was.segments.size(); ++i) {
    same = std::memcmp(&was.segments[i], &now.segments[i], sizeof(SegmentRecord)) == 0;
  }
  for (int i = 0; same && i < 7; ++i)
    same = was.options[i] == now.options[i] && was.checks[i] == now.checks[i];
  for (int i = 0; same && i < 3; ++i) same = was.enabled[i] == now.enabled[i];
  if (!same) std::abort();
}

const std::string& ShownModelFile() {
  static const std::string path = [] {
    const char text[] =
        "# shown before\n\ns whiteback\n0 0 0 0\n1 0 0 2\n1 1 0 3 10 20\n0 1 0 -1\n";
    return WriteFuzzFile(reinterpret_cast<const uint8_t*>(text), sizeof text - 1, ".shown.tmb");
  }();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  std::vector<uint8_t> file;
  if (data[0] & 1) {
    uLongf length = compressBound(size - 1);
    file.resize(length);
    if (compress2(file.data(), &length, data + 1, size - 1, 1) != Z_OK) std::abort();
    file.resize(length);
  } else {
    file.assign(data + 1, data + size);
  }

  FuzzForm f(40, 30);
  f.form.LoadTmbFile(ShownModelFile());
  const Snapshot before(f);
  const size_t messages = f.controls.Messages.size();
  bool refused = false;
  try {
    f.form.LoadKslFile(WriteFuzzFile(file.data(), file.size(), ".ksl"));
  } catch (const KestrelError&) {
    refused = true;
  }
  // The newer-version message is the one refusal that is shown rather than thrown.
  if (!refused && f.controls.Messages.size() > messages &&
      f.controls.Messages[messages] ==
          "That KSL file is not compatible with this version of Kestrel") {
    refused = true;
  }
  if (refused) {
    ExpectUnchanged(before, f);
    return 0;
  }
  CheckModelInvariants(f.form);
  // An accepted scene must save and load back.
  try {
    f.form.SaveKslFile(WriteFuzzFile(nullptr, 0, ".saved.ksl"));
  } catch (const KestrelError&) {
    std::abort();
  }
  return 0;
}
