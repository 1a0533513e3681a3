// Placing the other outputs around one that changes size: the geometry
// shared by the layout rule's steps, and the step that moves the outputs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "screen_layout.h"

namespace pelmode::layout {

using Coord = std::int64_t;  // room for every sum of two 32-bit values

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
};

inline Box BoxOf(const Area& area) {
  return {area.x, area.y, area.x + Coord(area.width_px),
          area.y + Coord(area.height_px)};
}

inline bool IsEmpty(const Area& area) {
  return area.width_px == 0 || area.height_px == 0;
}

inline Box Moved(const Box& box, Shift shift) {
  return {box.left + shift.dx, box.top + shift.dy, box.right + shift.dx,
          box.bottom + shift.dy};
}

inline bool Overlap(const Box& a, const Box& b) {
  return a.left < b.right && b.left < a.right && a.top < b.bottom &&
         b.top < a.bottom;
}

// The outlines meet: an overlap, a shared stretch of border or a corner.
inline bool Meet(const Box& a, const Box& b) {
  return a.left <= b.right && b.left <= a.right && a.top <= b.bottom &&
         b.top <= a.bottom;
}

// A stretch of border in common (or an overlap): the pointer can cross.
inline bool Joined(const Box& a, const Box& b) {
  const bool columns_overlap = a.left < b.right && b.left < a.right;
  const bool rows_overlap = a.top < b.bottom && b.top < a.bottom;
  return Meet(a, b) && (columns_overlap || rows_overlap);
}

inline bool RowsMeet(const Box& a, const Box& b) {
  return a.top <= b.bottom && b.top <= a.bottom;
}

inline bool ColumnsMeet(const Box& a, const Box& b) {
  return a.left <= b.right && b.left <= a.right;
}

inline Coord Displacement(Shift shift) {
  return (shift.dx < 0 ? -shift.dx : shift.dx) +
         (shift.dy < 0 ? -shift.dy : shift.dy);
}

// The boxes before and after: which take the new size (the changed one and
// its mirrors), which stay whatever happens (those attached to the changed
// box's left or top), and which are placed already.
struct Desktop {
  std::vector<Box> before;
  std::vector<Box> after;
  std::vector<bool> active;
  std::vector<bool> resized;
  std::vector<bool> anchored;
  std::vector<bool> placed;
  Box old_box;
  Box new_box;
};

// Moves every box that must make way for the change, placing it beside the
// changed box or beside what it touched, clear of the others. Reads
// `before`, `active`, `resized`, the two boxes and the resized boxes' places.
void PlaceMovingBoxes(Desktop& d);

}  // namespace pelmode::layout
