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
// Asks whether pixel (x, y) belongs to the area, i.e. is similar to the seed.
using FRasterMatchFn = bool (*)(void* context, int32_t x, int32_t y);

// Walks the 4-connected area of matching pixels that holds (seed_x, seed_y), inside
// `bounds` (left and top inclusive, right and bottom exclusive), and reports every
// horizontal run of it exactly once through `span` (left, right, y) as soon as it is found.
// The callback may repaint the run; pixels of reported runs are never asked about again.
// Returns 0 when the span table cannot be allocated (the area may then be partly
// reported), else 1. A seed outside `bounds` reports nothing and returns 1.
int fraster_flood(int32_t seed_x, int32_t seed_y, FRect bounds, FRasterMatchFn match,
                  FRasterSpanFn span, void* context);
