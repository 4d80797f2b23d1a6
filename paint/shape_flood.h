// The paint bucket (tool 9): fills the 4-connected area around a tapped pixel with the
// fore colour through the canvas's tolerance flood fill, at once on pen down, and records
// the seed as its history step. It draws through a framework canvas, not through cairo.
#pragma once

#include <cstdint>

#include "shape.h"

constexpr int32_t SHAPE_FLOOD_DATA_SIZE = 8;  // seed_x, seed_y as i32

struct ShapeFlood {
  Shape head;
  int32_t seed_x, seed_y;  // tapped point in view coordinates; (-1, -1) when none
};

// A new paint bucket, or null when memory is short; the caller frees it with
// shape_flood_destroy. `name` is copied (63 characters at most); context, history and
// owner are not owned.
Shape* shape_flood_create(uint32_t id, const char16_t* name, PaintContext* context,
                          PaintHistory* history, void* owner);

// The colour distance a fill accepts at a zoom: 32 from 0.25 up, 16 from 0.125, else 0
// (at a strong reduction outlines are thinner than a pixel and antialiasing lightens them
// towards their surroundings, so a wide tolerance would leak through them).
int32_t shape_flood_tolerance(double zoom);

void shape_flood_destroy(Shape* shape);
