// Rectangles and points shared by every layer: signed 32-bit, right and bottom inclusive.
#pragma once

#include <algorithm>
#include <cstdint>

struct FPoint {
  int32_t x;
  int32_t y;
};

struct FRect {
  int32_t left;
  int32_t top;
  int32_t right;   // inclusive
  int32_t bottom;  // inclusive
};

inline int32_t frect_width(const FRect& r) { return r.right - r.left + 1; }
inline int32_t frect_height(const FRect& r) { return r.bottom - r.top + 1; }

// Swaps the corners so that left <= right and top <= bottom.
inline FRect frect_normalized(FRect r) {
  if (r.left > r.right) std::swap(r.left, r.right);
  if (r.top > r.bottom) std::swap(r.top, r.bottom);
  return r;
}

inline FRect frect_union(const FRect& a, const FRect& b) {
  return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
          std::max(a.bottom, b.bottom)};
}

// The overlap of two normalised rectangles; empty when right < left or bottom < top.
inline FRect frect_intersect(const FRect& a, const FRect& b) {
  return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
          std::min(a.bottom, b.bottom)};
}

inline bool frect_is_empty(const FRect& r) { return r.right < r.left || r.bottom < r.top; }

inline FRect frect_offset(const FRect& r, int32_t dx, int32_t dy) {
  return {r.left + dx, r.top + dy, r.right + dx, r.bottom + dy};
}

inline bool frect_equal(const FRect& a, const FRect& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
