// Internal to the canvas unit: the rasterisers that turn ellipses and polygons into
// horizontal spans and walk the connected area of a flood fill. They know nothing of
// colours, brushes or clipping; they report geometry through callbacks and the canvas
// draws it.
#pragma once

#include <cstdint>

#include "frect.h"

// One horizontal span on row y between x_a and x_b, both inclusive. The order of x_a and
// x_b is the rasteriser's (the ellipse reports left first; the polygon reports its two
// chains, which may be in either order).
using FRasterSpanFn = void (*)(void* context, int32_t x_a, int32_t x_b, int32_t y);

// Ellipse of radii rx, ry around (cx, cy) in 6-bit fixed point. A row may be reported
// several times, narrowest first, the outline growing outward with each report. Radii
// below 1 count as 1. Coordinates that leave the 32-bit range are saturated (such rows and
// columns lie outside every bitmap).
void fraster_ellipse(int32_t cx, int32_t cy, int32_t rx, int32_t ry, FRasterSpanFn span,
                     void* context);

// y-monotone scan conversion, exact for convex polygons: one span per row from the top
// vertex's row down to, but not including, the bottom vertex's row. Only rows inside
// first_row..last_row are reported (and stored), so a polygon far larger than the target
// costs no more than the target's height. Fewer than three points report nothing.
// Returns 0 when the row table cannot be allocated, else 1.
int fraster_polygon(const FPoint* points, int32_t count, int32_t first_row, int32_t last_row,
                    FRasterSpanFn span, void* context);

// ---- Flood fill span walker ---------------------------------------------------------------
// Writes which pixels of row y belong to the area (are similar to the seed) into `bits`:
// bit i (word i / 64, bit i % 64) stands for x = bounds.left + i, for x from bounds.left
// to bounds.right - 1, fraster_flood_row_words(bounds) words in all; bits past the right
// edge must be clear. The walker keeps the rows it was given and asks for each row once
// (again only when memory is short), so a pixel's answer must not change during the walk.
using FRasterRowFn = void (*)(void* context, int32_t y, uint64_t* bits);

// Walks the 4-connected area that holds (seed_x, seed_y), inside `bounds` (left and top
// inclusive, right and bottom exclusive), and then reports every horizontal run of it
// exactly once through `span` (left, right, y), row by row from the top, left to right.
// The callback may repaint the run: painting happens only after the walk, so the area's
// rows and the callback both see the pixels as they were before the fill. Returns 0 when
// the span table cannot be allocated or grown (the part found so far is still reported),
// else 1. A seed outside `bounds` reports nothing and returns 1.
int fraster_flood(int32_t seed_x, int32_t seed_y, FRect bounds, FRasterRowFn row,
                  FRasterSpanFn span, void* context);

// Words in one row of the area's bits for `bounds`.
int64_t fraster_flood_row_words(FRect bounds);

// Test hook: while on, the flood walker runs without its optional indexes and caches (the
// row marks, chain tails, flag bits and the kept rows of the area), as it does when memory
// for them is short. Off by default.
void fraster_flood_refuse_indexes(int refuse);
int fraster_flood_indexes_refused();
