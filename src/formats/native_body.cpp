// The native scene file's body: little-endian, reals in IEEE 754, widths from VecSize and
// IntSize.
#include "formats/native_body.h"

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

#include "scene/colour_codes.h"
#include "scene/error.h"
#include "scene/scene_model.h"

namespace {

constexpr size_t kRealBytes = 8;
constexpr size_t kSingleBytes = 4;
constexpr size_t kColourBytes = 3;
constexpr size_t kOptionBytes = 6;  // version 2 and 3; versions 0 and 1 have 5

// The layout is defined for vectors of three 64-bit reals and for 32-bit counts and indices
// (the index slot of a segment also holds a 32-bit real radius). VecSize and IntSize never hold
// anything else; should they, no file is written or read with widths nobody can parse.
void CheckWidths(uint8_t vecSize, uint8_t intSize) {
  if (vecSize != 3 * kRealBytes || intSize != sizeof(int32_t)) {
    throw KestrelError("vectors of " + std::to_string(vecSize) + " bytes and integers of " +
                       std::to_string(intSize) + " bytes are not a layout of this format");
  }
}

class BodyWriter {
 public:
  BodyWriter(uint8_t* out, uint8_t vecSize, uint8_t intSize)
      : p_(out), vecSize_(vecSize), intSize_(intSize) {}
  void Byte(uint8_t v) { *p_++ = v; }
  void Int(int32_t v) { Put(static_cast<uint32_t>(v), intSize_); }
  void Single(float v) { Put(std::bit_cast<uint32_t>(v), kSingleBytes); }
  void Vec(const Vec3& v) {
    const size_t part = vecSize_ / 3;
    Put(std::bit_cast<uint64_t>(v.x), part);
    Put(std::bit_cast<uint64_t>(v.y), part);
    Put(std::bit_cast<uint64_t>(v.z), part);
  }
  void Text(const std::string& s) {
    if (!s.empty()) std::memcpy(p_, s.data(), s.size());
    p_ += s.size();
  }

 private:
  void Put(uint64_t v, size_t width) {
    for (size_t i = 0; i < width; ++i) *p_++ = static_cast<uint8_t>(v >> (8 * i));
  }
  uint8_t* p_;
  uint8_t vecSize_;
  uint8_t intSize_;
};

int32_t CheckedCount(size_t n, const char* what) {
  if (n > static_cast<size_t>(std::numeric_limits<int32_t>::max())) {
    throw KestrelError(std::string("there are more ") + what + " than the file can count");
  }
  return static_cast<int32_t>(n);
}

bool InRange(int32_t index, size_t count) {
  return index >= 0 && static_cast<size_t>(index) < count;
}

// The radius goes to the file as a 32-bit real. A radius that does not fit is refused rather
// than written as infinity: the file would draw nothing sensible and this program would not
// open it again.
float StoredRadius(double radius, size_t segment) {
  if (!std::isfinite(radius)) {
    throw KestrelError("the circle radius of segment " + std::to_string(segment) +
                       " is not a finite number");
  }
  try {
    return ToSingle(radius);
  } catch (const KestrelError&) {
    throw KestrelError("the circle radius of segment " + std::to_string(segment) +
                       " is too large for the file's single-precision field");
  }
}

}  // namespace

std::vector<uint8_t> EncodeKslBody(const TForm1& form) {
  CheckWidths(form.VecSize, form.IntSize);
  const size_t vec = form.VecSize;
  const size_t in = form.IntSize;
  // Comment lines are saved as they were read (CommentLines), not as the memo shows them: the
  // memo wraps long lines and cuts them at 4096 characters, which a save would make permanent.
  const std::vector<std::string>& lines = form.CommentLines;
  const int32_t lineCount = CheckedCount(lines.size(), "comment lines");
  const int32_t pointCount = CheckedCount(form.Points.size(), "points");
  const int32_t segmentCount = CheckedCount(form.Segments.size(), "segments");

  // Sizes in 64 bits can only wrap for counts far beyond what memory holds; the bound below
  // catches everything short of that.
  uint64_t size = 1 + kOptionBytes + vec + in;
  for (const std::string& line : lines) {
    CheckedCount(line.size(), "characters in a comment line");
    size += in + line.size();
  }
  size += in + uint64_t{vec} * form.Points.size();
  size += in + uint64_t{1 + 2 * in + kColourBytes} * form.Segments.size();
  if (size > kMaxKslBodyBytes) {
    throw KestrelError("the model is too large for a KSL file (more than " +
                       std::to_string(kMaxKslBodyBytes >> 20) + " MiB uncompressed)");
  }

  // What the reader refuses is refused here too: a saved file always opens again.
  if (!IsFinite(form.Centre)) throw KestrelError("the centre is not a finite point");

  std::vector<uint8_t> body(size);
  BodyWriter w(body.data(), form.VecSize, form.IntSize);
  w.Byte(FormatVersion);
  w.Byte(form.AntiAlias);
  w.Byte(form.Fade);
  w.Byte(form.FlipZ);
  w.Byte(form.WhiteBack);
  w.Byte(form.FreeSpin);
  w.Byte(form.FillCircles);
  w.Vec(form.Centre);
  w.Int(lineCount);
  for (const std::string& line : lines) {
    w.Int(static_cast<int32_t>(line.size()));
    w.Text(line);
  }
  w.Int(pointCount);
  for (size_t i = 0; i < form.Points.size(); ++i) {
    const Vec3& p = form.Points[i].Pos;
    if (!IsFinite(p)) {
      throw KestrelError("point " + std::to_string(i) + " is not a finite point");
    }
    w.Vec(p);
  }
  // In the current order of Segments: the drawing order of the last frame.
  w.Int(segmentCount);
  const size_t points = form.Points.size();
  for (size_t i = 0; i < form.Segments.size(); ++i) {
    const SegmentRecord& s = form.Segments[i];
    const bool line = s.Kind == 0;
    if (!InRange(s.First, points) || (line && !InRange(s.Second, points))) {
      throw KestrelError("segment " + std::to_string(i) + " refers to a point that does not exist");
    }
    w.Byte(s.Kind);
    w.Int(s.First);
    if (line) {
      w.Int(s.Second);
    } else {
      w.Single(StoredRadius(s.Radius, i));
    }
    w.Byte(ColourRed(s.Colour));
    w.Byte(ColourGreen(s.Colour));
    w.Byte(ColourBlue(s.Colour));
  }
  return body;
}

namespace {

// Reads the body front to back. Every read checks that its bytes are there; the message names
// what was being read, so a damaged file says where it ends.
class BodyReader {
 public:
  BodyReader(std::span<const uint8_t> body, uint8_t vecSize, uint8_t intSize)
      : p_(body.data()), end_(body.data() + body.size()), vecSize_(vecSize), intSize_(intSize) {}

  size_t Left() const { return static_cast<size_t>(end_ - p_); }

  uint8_t Byte(const char* what) {
    Need(1, what);
    return *p_++;
  }
  int32_t Int(const char* what) { return static_cast<int32_t>(Get(intSize_, what)); }
  float Single(const char* what) {
    return std::bit_cast<float>(static_cast<uint32_t>(Get(kSingleBytes, what)));
  }
  Vec3 Vec(const char* what) {
    Need(vecSize_, what);
    const size_t part = vecSize_ / 3;
    Vec3 v;
    v.x = std::bit_cast<double>(Get(part, what));
    v.y = std::bit_cast<double>(Get(part, what));
    v.z = std::bit_cast<double>(Get(part, what));
    return v;
  }
  void Skip(size_t n, const char* what) {
    Need(n, what);
    p_ += n;
  }
  std::string Text(size_t n, const char* what) {
    Need(n, what);
    std::string s(reinterpret_cast<const char*>(p_), n);
    p_ += n;
    return s;
  }

  // A count of entries of at least `entryBytes` each. Checked against the bytes that are left
  // before anyone allocates for it.
  size_t Count(const char* what, size_t entryBytes) {
    if (Left() < intSize_) throw KestrelError(std::string("it ends inside the number of ") + what);
    const int32_t n = Int(what);
    if (n < 0) {
      throw KestrelError(std::string("the number of ") + what + " is negative (" +
                         std::to_string(n) + ")");
    }
    if (static_cast<size_t>(n) > Left() / entryBytes) {
      throw KestrelError("it claims " + std::to_string(n) + " " + what +
                         " but has room for at most " + std::to_string(Left() / entryBytes));
    }
    return static_cast<size_t>(n);
  }

 private:
  void Need(size_t n, const char* what) {
    if (n > Left()) throw KestrelError(std::string("it ends inside ") + what);
  }
  uint64_t Get(size_t width, const char* what) {
    Need(width, what);
    uint64_t v = 0;
    for (size_t i = 0; i < width; ++i) v |= uint64_t{p_[i]} << (8 * i);
    p_ += width;
    return v;
  }

  const uint8_t* p_;
  const uint8_t* end_;
  uint8_t vecSize_;
  uint8_t intSize_;
};

// The drawing parts index Points directly with these.
int32_t PointIndex(BodyReader& r, size_t points, size_t segment) {
  const int32_t index = r.Int("the segments");
  if (!InRange(index, points)) {
    throw KestrelError("segment " + std::to_string(segment) + " refers to point " +
                       std::to_string(index) + ", but there are " + std::to_string(points) +
                       " points");
  }
  return index;
}

// Non-finite radii have no drawing and break the fit. Negative ones are kept: a Tumbra file's
// negative circle diameter gives them, and such a model saves and opens again as it was.
double CheckedRadius(float radius, size_t segment) {
  if (!std::isfinite(radius)) {
    throw KestrelError("the circle radius of segment " + std::to_string(segment) +
                       " is not a finite number");
  }
  return radius;
}

}  // namespace

SceneData DecodeKslBody(std::span<const uint8_t> body, uint8_t vecSize, uint8_t intSize) {
  CheckWidths(vecSize, intSize);
  BodyReader r(body, vecSize, intSize);
  SceneData b;
  const uint8_t version = r.Byte("the version");
  if (version > FormatVersion) {
    throw KestrelError("version " + std::to_string(version) + " is not known");
  }
  // Any byte but 0 is on, as a check box would take it.
  b.AntiAlias = r.Byte("the options") != 0;
  b.Fade = r.Byte("the options") != 0;
  b.FlipZ = r.Byte("the options") != 0;
  b.WhiteBack = r.Byte("the options") != 0;
  b.FreeSpin = r.Byte("the options") != 0;
  b.HasFillCircles = version >= 2;
  if (b.HasFillCircles) b.FillCircles = r.Byte("the options") != 0;
  double sharedRadius = 0;
  if (version < 3) sharedRadius = r.Single("the circle radius");
  if (!std::isfinite(sharedRadius)) throw KestrelError("the circle radius is not a finite number");

  b.Centre = r.Vec("the centre");
  if (!IsFinite(b.Centre)) throw KestrelError("the centre is not a finite point");
  b.CentreGiven = true;

  const size_t lineCount = r.Count("comment lines", intSize);
  b.CommentLines.resize(lineCount);
  for (std::string& line : b.CommentLines) {
    line = r.Text(r.Count("characters in a comment line", 1), "a comment line");
  }

  const size_t pointCount = r.Count("points", vecSize);
  b.Points.resize(pointCount);
  for (size_t i = 0; i < pointCount; ++i) {
    b.Points[i].Pos = r.Vec("the points");
    if (!IsFinite(b.Points[i].Pos)) {
      throw KestrelError("point " + std::to_string(i) + " is not a finite point");
    }
  }

  // The shortest entry: a version 3 segment always has both slots; an older point segment
  // has no radius slot.
  const size_t shortest = 1 + intSize + (version >= 3 ? intSize : 0) + kColourBytes;
  const size_t segmentCount = r.Count("segments", shortest);
  b.Segments.resize(segmentCount);
  for (size_t i = 0; i < segmentCount; ++i) {
    SegmentRecord& s = b.Segments[i];
    s.Kind = r.Byte("the segments");
    s.First = PointIndex(r, pointCount, i);
    if (s.Kind == 0) {
      s.Second = PointIndex(r, pointCount, i);
    } else if (version >= 3) {
      s.Radius = CheckedRadius(r.Single("the segments"), i);
    } else {
      s.Radius = sharedRadius;
    }
    const uint8_t red = r.Byte("the segments");
    const uint8_t green = r.Byte("the segments");
    const uint8_t blue = r.Byte("the segments");
    s.Colour = MakeColor(blue, green, red);
    // Started at 0, as the Tumbra reader does: negative radii never shrink the fit.
    if (s.Kind != 0 && s.Radius > b.CircleRadius) b.CircleRadius = s.Radius;
  }
  // Everything the counts describe has been read; more means a count is wrong.
  if (r.Left() != 0) {
    throw KestrelError("it holds " + std::to_string(r.Left()) + " bytes after its last segment");
  }
  return b;
}

uint64_t KslSceneBytes(std::span<const uint8_t> body, uint8_t vecSize, uint8_t intSize) {
  uint64_t bytes = 0;
  try {
    CheckWidths(vecSize, intSize);
    BodyReader r(body, vecSize, intSize);
    const uint8_t version = r.Byte("the version");
    r.Skip(version >= 2 ? kOptionBytes : kOptionBytes - 1, "the options");
    if (version < 3) r.Skip(kSingleBytes, "the circle radius");
    r.Skip(vecSize, "the centre");
    const size_t lineCount = r.Count("comment lines", intSize);
    for (size_t i = 0; i < lineCount; ++i) {
      const size_t length = r.Count("characters in a comment line", 1);
      r.Skip(length, "a comment line");
      bytes += CommentLineBytes(length);
    }
    const size_t pointCount = r.Count("points", vecSize);
    r.Skip(pointCount * vecSize, "the points");
    bytes += SceneBytes(pointCount, 0);
    const size_t shortest = 1 + intSize + (version >= 3 ? intSize : 0) + kColourBytes;
    bytes += SceneBytes(0, r.Count("segments", shortest));
  } catch (const KestrelError&) {
    // Damaged: what was counted stands.
  }
  return bytes;
}
