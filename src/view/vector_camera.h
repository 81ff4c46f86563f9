// Vector helpers and the camera: three axis vectors turned in place about one another. The
// helpers are inline: the renderer and the framing call them once per point.
#pragma once

#include "scene/records.h"

// a.x·b.x + a.y·b.y + a.z·b.z, summed in that order.
inline double Dot(const Vec3& a, const Vec3& b) {
  return a.x * b.x + a.y * b.y + a.z * b.z;
}
inline Vec3 VecScale(const Vec3& v, double s) {
  return Vec3{v.x * s, v.y * s, v.z * s};
}
inline Vec3 VecAdd(const Vec3& a, const Vec3& b) {
  return Vec3{a.x + b.x, a.y + b.y, a.z + b.z};
}
// a − b.
inline Vec3 VecSub(const Vec3& a, const Vec3& b) {
  return Vec3{a.x - b.x, a.y - b.y, a.z - b.z};
}
inline Vec3 MakeVec3(double x, double y, double z) {
  return Vec3{x, y, z};
}
inline Vec2 MakeVec2(double x, double y) {
  return Vec2{x, y};
}
