// Import benchmark files.
#include "support/import_files.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <numbers>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/bench_models.h"

namespace {

// Buffered output with number formatting that is quick enough for files of hundreds of MB.
class Output {
 public:
  explicit Output(const std::filesystem::path& file) : f_(std::fopen(file.c_str(), "wb")) {
    if (f_ == nullptr) throw std::runtime_error("cannot create " + file.string());
    buffer_.reserve(kFlushAt + 256);
  }
  ~Output() {
    Flush();
    std::fclose(f_);
  }
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;

  void Text(const char* s) { buffer_.append(s); }
  void Char(char c) { buffer_.push_back(c); }
  void Fixed6(double v) {
    char digits[64];
    const auto end = std::to_chars(digits, digits + sizeof digits, v, std::chars_format::fixed, 6);
    buffer_.append(digits, end.ptr);
  }
  void Int(int64_t v) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, v);
    buffer_.append(digits, end.ptr);
  }
  template <class T>
  void Raw(T v) {
    char bytes[sizeof v];
    std::memcpy(bytes, &v, sizeof v);  // the benchmark machine is little-endian
    buffer_.append(bytes, sizeof v);
  }
  void EndPiece() {
    if (buffer_.size() >= kFlushAt) Flush();
  }

 private:
  static constexpr size_t kFlushAt = size_t{1} << 20;
  void Flush() {
    if (!buffer_.empty() && std::fwrite(buffer_.data(), 1, buffer_.size(), f_) != buffer_.size()) {
      throw std::runtime_error("cannot write a benchmark file");
    }
    buffer_.clear();
  }
  std::FILE* f_;
  std::string buffer_;
};

struct Grid {
  int64_t around;  // quads around the ring
  int64_t across;  // quads around the tube
};

Grid TorusGrid(int64_t triangles) {
  const int64_t quads = std::max<int64_t>(triangles / 2, 4);
  const int64_t across = std::max<int64_t>(2, std::llround(std::sqrt(quads / 2.0)));
  return Grid{std::max<int64_t>(2, quads / across), across};
}

struct Corner {
  float x, y, z;     // position
  float nx, ny, nz;  // outward normal of the tube
};

// Corner (i, j) of the grid, on a ring of radius 3 about the y axis with a slightly bumpy tube.
Corner TorusCorner(const Grid& g, int64_t i, int64_t j) {
  const double u = 2 * std::numbers::pi * static_cast<double>(i % g.around) / g.around;
  const double v = 2 * std::numbers::pi * static_cast<double>(j % g.across) / g.across;
  const double r = 1 + 0.05 * std::sin(7 * u) * std::cos(5 * v);
  const double ring = 3 + r * std::cos(v);
  return Corner{
      static_cast<float>(ring * std::cos(u)), static_cast<float>(r * std::sin(v)),
      static_cast<float>(ring * std::sin(u)), static_cast<float>(std::cos(v) * std::cos(u)),
      static_cast<float>(std::sin(v)),        static_cast<float>(std::cos(v) * std::sin(u))};
}

// The two triangles of quad (i, j), as grid corners.
void QuadTriangles(int64_t i, int64_t j, int64_t (*t)[2]) {
  const int64_t c[6][2] = {{i, j}, {i + 1, j}, {i + 1, j + 1}, {i, j}, {i + 1, j + 1}, {i, j + 1}};
  std::memcpy(t, c, sizeof c);
}

// A point of the benchmark cloud: a bumpy sphere of radius about 500, coloured by direction.
struct CloudPoint {
  float x, y, z;
  uint8_t red, green, blue;
};

CloudPoint NextCloudPoint(BenchRandom& random) {
  Vec3 d = random.InBall();
  const double length = std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
  if (length == 0) d = Vec3{1, 0, 0};
  const double scale = 500 * (1 + 0.02 * random.Unit()) / (length == 0 ? 1 : length);
  const auto channel = [](double c) { return static_cast<uint8_t>(std::lround(127.5 + 127 * c)); };
  return CloudPoint{
      static_cast<float>(d.x * scale),           static_cast<float>(d.y * scale),
      static_cast<float>(d.z * scale),           channel(d.x / (length == 0 ? 1 : length)),
      channel(d.y / (length == 0 ? 1 : length)), channel(d.z / (length == 0 ? 1 : length))};
}

}  // namespace

void WriteStlTorus(const std::filesystem::path& file, int64_t triangles) {
  const Grid g = TorusGrid(triangles);
  Output out(file);
  char header[80] = "Kestrel benchmark torus";
  for (char c : header) out.Char(c);
  out.Raw(static_cast<uint32_t>(2 * g.around * g.across));
  int64_t t[6][2];
  for (int64_t i = 0; i < g.around; ++i) {
    for (int64_t j = 0; j < g.across; ++j) {
      QuadTriangles(i, j, t);
      for (int k = 0; k < 6; k += 3) {
        const Corner n = TorusCorner(g, t[k][0], t[k][1]);
        out.Raw(n.nx), out.Raw(n.ny), out.Raw(n.nz);
        for (int m = k; m < k + 3; ++m) {
          const Corner c = TorusCorner(g, t[m][0], t[m][1]);
          out.Raw(c.x), out.Raw(c.y), out.Raw(c.z);
        }
        out.Raw(uint16_t{0});
      }
    }
    out.EndPiece();
  }
}

void WriteObjTorus(const std::filesystem::path& file, int64_t triangles) {
  const Grid g = TorusGrid(triangles);
  Output out(file);
  out.Text("# Kestrel benchmark torus\n");
  // The positions, then the normals, corner by corner.
  for (const bool normals : {false, true}) {
    for (int64_t i = 0; i < g.around; ++i) {
      for (int64_t j = 0; j < g.across; ++j) {
        const Corner c = TorusCorner(g, i, j);
        out.Text(normals ? "vn " : "v ");
        out.Fixed6(normals ? c.nx : c.x), out.Char(' ');
        out.Fixed6(normals ? c.ny : c.y), out.Char(' ');
        out.Fixed6(normals ? c.nz : c.z), out.Char('\n');
      }
      out.EndPiece();
    }
  }
  int64_t t[6][2];
  for (int64_t i = 0; i < g.around; ++i) {
    for (int64_t j = 0; j < g.across; ++j) {
      QuadTriangles(i, j, t);
      for (int k = 0; k < 6; ++k) {
        out.Text(k % 3 == 0 ? "f " : " ");
        const int64_t index = (t[k][0] % g.around) * g.across + (t[k][1] % g.across) + 1;
        out.Int(index), out.Text("//"), out.Int(index);
        if (k % 3 == 2) out.Char('\n');
      }
    }
    out.EndPiece();
  }
}

void WritePlyCloud(const std::filesystem::path& file, int64_t points) {
  Output out(file);
  out.Text(
      "ply\nformat binary_little_endian 1.0\ncomment Kestrel benchmark cloud\nelement vertex ");
  out.Int(points);
  out.Text(
      "\nproperty float x\nproperty float y\nproperty float z\nproperty uchar red\n"
      "property uchar green\nproperty uchar blue\nend_header\n");
  BenchRandom random(15);
  for (int64_t k = 0; k < points; ++k) {
    const CloudPoint p = NextCloudPoint(random);
    out.Raw(p.x), out.Raw(p.y), out.Raw(p.z), out.Raw(p.red), out.Raw(p.green), out.Raw(p.blue);
    if (k % 65536 == 0) out.EndPiece();
  }
}

void WriteXyzCloud(const std::filesystem::path& file, int64_t points) {
  Output out(file);
  BenchRandom random(15);
  for (int64_t k = 0; k < points; ++k) {
    const CloudPoint p = NextCloudPoint(random);
    out.Fixed6(p.x), out.Char(' '), out.Fixed6(p.y), out.Char(' '), out.Fixed6(p.z);
    out.Char('\n');
    if (k % 65536 == 0) out.EndPiece();
  }
}
