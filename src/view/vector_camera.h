// Vector helpers and the camera: three axis vectors turned in place about one another.
#pragma once

#include "scene/records.h"

// a.x·b.x + a.y·b.y + a.z·b.z, summed in that order.
double Dot(const Vec3& a, const Vec3& b);
Vec3 VecScale(const Vec3& v, double s);
Vec3 VecAdd(const Vec3& a, const Vec3& b);
// a − b.
Vec3 VecSub(const Vec3& a, const Vec3& b);
Vec3 MakeVec3(double x, double y, double z);
Vec2 MakeVec2(double x, double y);
