// The geometry the layout rule works in: boxes with room for every sum of
// two 32-bit coordinates, and how two of them meet.
#pragma once

#include <cstdint>

#include "screen_layout.h"

namespace pelmode::layout {

using Coord = std::int64_t;

struct Box {
  Coord left, top, right, bottom;

  bool operator==(const Box& other) const {
    return left == other.left && top == other.top && right == other.right &&
           bottom == other.bottom;
  }
};

struct Shift {
  Coord dx = 0;
  Coord dy = 0;

  bool operator==(const Shift& other) const { return dx == other.dx && dy == other.dy; }
};

inline Box BoxOf(const Area& area) {
  return {area.x, area.y, area.x + Coord(area.width_px), area.y + Coord(area.height_px)};
}

inline bool IsEmpty(const Area& area) { return area.width_px == 0 || area.height_px == 0; }

inline Box Moved(const Box& box, Shift shift) {
  return {box.left + shift.dx, box.top + shift.dy, box.right + shift.dx, box.bottom + shift.dy};
}

inline Shift Between(const Box& from, const Box& to) {
  return {to.left - from.left, to.top - from.top};
}

inline bool Overlap(const Box& a, const Box& b) {
  return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

// Joined: a stretch of border in common, or an overlap; never a corner
// alone. The pointer crosses only where two areas are joined.
inline bool Joined(const Box& a, const Box& b) {
  const bool columns_overlap = a.left < b.right && b.left < a.right;
  const bool rows_overlap = a.top < b.bottom && b.top < a.bottom;
  const bool columns_touch = a.left <= b.right && b.left <= a.right;
  const bool rows_touch = a.top <= b.bottom && b.top <= a.bottom;
  return (columns_overlap && rows_touch) || (rows_overlap && columns_touch);
}

inline Coord Magnitude(Coord value) { return value < 0 ? -value : value; }

inline Coord Displacement(Shift shift) { return Magnitude(shift.dx) + Magnitude(shift.dy); }

}  // namespace pelmode::layout
