// Benchmark models.
#include "support/bench_models.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "scene/colour_codes.h"

uint64_t BenchRandom::Next() {
  uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

Vec3 BenchRandom::InBall() {
  for (;;) {
    const Vec3 v{Unit() * 2 - 1, Unit() * 2 - 1, Unit() * 2 - 1};
    if (v.x * v.x + v.y * v.y + v.z * v.z <= 1) return v;
  }
}

uint32_t BenchRandom::Colour() {
  const uint64_t bits = Next();
  return MakeColor(static_cast<uint8_t>(bits), static_cast<uint8_t>(bits >> 8),
                   static_cast<uint8_t>(bits >> 16));
}

namespace {

// Starts a model as a loader does: camera reset, arrays emptied.
void BeginModel(TForm1& form) {
  form.NewView();
  form.Points.clear();
  form.Segments.clear();
  form.CircleRadius = 0;
}

void EndModel(TForm1& form) {
  form.PointCount = static_cast<int32_t>(form.Points.size());
  form.SegmentCount = static_cast<int32_t>(form.Segments.size());
  form.ComputeScale();
}

void AddPoint(TForm1& form, const Vec3& p) {
  form.Points.push_back(PointRecord{p, {}, 0, 0});
}

Vec3 LorenzRate(const Vec3& p) {
  constexpr double kSigma = 10, kRho = 28, kBeta = 8.0 / 3;
  return Vec3{kSigma * (p.y - p.x), p.x * (kRho - p.z) - p.y, p.x * p.y - kBeta * p.z};
}

Vec3 Along(const Vec3& p, const Vec3& d, double h) {
  return Vec3{p.x + d.x * h, p.y + d.y * h, p.z + d.z * h};
}

}  // namespace

void MakeLorenzCurve(TForm1& form, int32_t points) {
  BeginModel(form);
  form.Points.reserve(static_cast<size_t>(points));
  form.Segments.reserve(static_cast<size_t>(std::max(points - 1, 0)));
  constexpr double kStep = 0.002;
  Vec3 p{1, 1, 20};
  for (int32_t i = 0; i < points; ++i) {
    AddPoint(form, Vec3{p.x, p.z - 25, p.y});  // the attractor's axis upright
    if (i > 0) {
      const double t = static_cast<double>(i) / points;
      const uint8_t red = static_cast<uint8_t>(80 + 175 * t);
      const uint8_t blue = static_cast<uint8_t>(255 - 175 * t);
      form.Segments.push_back(SegmentRecord{0, 0, MakeColor(blue, 160, red), i - 1, i, 0});
    }
    const Vec3 k1 = LorenzRate(p);
    const Vec3 k2 = LorenzRate(Along(p, k1, kStep / 2));
    const Vec3 k3 = LorenzRate(Along(p, k2, kStep / 2));
    const Vec3 k4 = LorenzRate(Along(p, k3, kStep));
    p = Vec3{p.x + kStep / 6 * (k1.x + 2 * k2.x + 2 * k3.x + k4.x),
             p.y + kStep / 6 * (k1.y + 2 * k2.y + 2 * k3.y + k4.y),
             p.z + kStep / 6 * (k1.z + 2 * k2.z + 2 * k3.z + k4.z)};
  }
  EndModel(form);
}

void MakeRandomLines(TForm1& form, int32_t lines, uint64_t seed, int32_t colours) {
  BeginModel(form);
  BenchRandom random(seed);
  std::vector<uint32_t> palette;
  for (int32_t c = 0; c < colours; ++c) palette.push_back(random.Colour());
  form.Points.reserve(static_cast<size_t>(lines) * 2);
  form.Segments.reserve(static_cast<size_t>(lines));
  for (int32_t i = 0; i < lines; ++i) {
    AddPoint(form, random.InBall());
    AddPoint(form, random.InBall());
    const uint32_t colour =
        palette.empty() ? random.Colour() : palette[random.Next() % palette.size()];
    form.Segments.push_back(SegmentRecord{0, 0, colour, 2 * i, 2 * i + 1, 0});
  }
  EndModel(form);
}

void MakeDots(TForm1& form, int32_t dots, uint64_t seed) {
  BeginModel(form);
  BenchRandom random(seed);
  form.Points.reserve(static_cast<size_t>(dots));
  form.Segments.reserve(static_cast<size_t>(dots));
  for (int32_t i = 0; i < dots; ++i) {
    AddPoint(form, random.InBall());
    form.Segments.push_back(SegmentRecord{1, 0, random.Colour(), i, 0, 0});
  }
  EndModel(form);
}

void MakeCircles(TForm1& form, int32_t circles, double radius, uint64_t seed) {
  BeginModel(form);
  BenchRandom random(seed);
  form.Points.reserve(static_cast<size_t>(circles));
  form.Segments.reserve(static_cast<size_t>(circles));
  for (int32_t i = 0; i < circles; ++i) {
    AddPoint(form, random.InBall());
    form.Segments.push_back(SegmentRecord{1, radius, random.Colour(), i, 0, 0});
  }
  form.CircleRadius = radius;
  EndModel(form);
}

void MakeTorusGrid(TForm1& form, int32_t rings, int32_t around) {
  BeginModel(form);
  constexpr double kPi = 3.14159265358979323846;
  form.Points.reserve(static_cast<size_t>(rings) * static_cast<size_t>(around));
  form.Segments.reserve(static_cast<size_t>(rings) * static_cast<size_t>(around));
  for (int32_t r = 0; r < rings; ++r) {
    const double u = 2 * kPi * r / rings;
    for (int32_t a = 0; a < around; ++a) {
      const double v = 2 * kPi * a / around;
      const double w = 1 + 0.4 * std::cos(v);
      AddPoint(form, Vec3{w * std::cos(u), 0.4 * std::sin(v), w * std::sin(u)});
      const int32_t here = r * around + a;
      const int32_t next = r * around + (a + 1) % around;
      const uint8_t shade = static_cast<uint8_t>(96 + 159 * a / around);
      form.Segments.push_back(
          SegmentRecord{0, 0, MakeColor(shade, 200, 255 - shade), here, next, 0});
    }
  }
  EndModel(form);
}

void MakeTiedModel(TForm1& form, int32_t segments, int32_t steps, uint64_t seed) {
  BeginModel(form);
  BenchRandom random(seed);
  const auto coordinate = [&] {
    return static_cast<double>(static_cast<int64_t>(random.Next() % static_cast<uint64_t>(steps))) /
               steps * 2 -
           1;
  };
  const int32_t points = std::max(segments / 2, 2);
  for (int32_t i = 0; i < points; ++i)
    AddPoint(form, Vec3{coordinate(), coordinate(), coordinate()});
  for (int32_t k = 0; k < segments; ++k) {
    const auto a = static_cast<int32_t>(random.Next() % static_cast<uint64_t>(points));
    const auto b = static_cast<int32_t>(random.Next() % static_cast<uint64_t>(points));
    const uint8_t kind = random.Next() % 4 == 0 ? 1 : 0;
    form.Segments.push_back(SegmentRecord{kind, 0, random.Colour(), a, b, 0});
  }
  EndModel(form);
}
