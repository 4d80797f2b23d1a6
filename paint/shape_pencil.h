// The free-hand stroke tools: the pencil (tool 1) draws the pen's path in the fore colour,
// the eraser (tool 5) draws the same kind of path with the base picture or the canvas
// colour. Both follow every pen point without smoothing, draw from a deferred job so that
// the work happens at most once per turn of the event loop, and record the points they
// drew (with separators where the pen was lifted) as their history step. They share one
// record and all of their code; only the source of the ink and a few pen rules differ.
#pragma once

#include <cstdint>

#include "frect.h"
#include "shape.h"

struct FActiveObject;

// A point with these coordinates marks a lifted pen: the next point starts a new sub-path.
constexpr int32_t SHAPE_STROKE_SEPARATOR = 65535;
constexpr int32_t SHAPE_STROKE_GROWTH = 1024;     // points; also the starting capacity
constexpr int32_t SHAPE_STROKE_POINT_SIZE = 8;    // stored bytes per point: x, y as i32

struct ShapeStroke {
  Shape head;
  FPoint* pending;  // owned: points received since the last draw; after a draw only the
                    // last point drawn, where the next run starts
  int32_t pending_count;
  int32_t pending_capacity;
  FActiveObject* preview_job;  // owned, created at the first move: the deferred draw
  FPoint* stroke;  // owned: every point of the current stroke as drawn, with separators;
                   // this is the geometry record
  int32_t stroke_count;
  int32_t stroke_capacity;
  uint8_t translucent;  // pencil: the fore alpha (1..254) taken at pen down, else 0
};

// Each create returns a new tool that the caller frees with the matching destroy, or null
// when the record or either point array cannot be allocated. `name` is copied (63
// characters at most); context, history and owner are not owned.
Shape* shape_pencil_create(uint32_t id, const char16_t* name, PaintContext* context,
                           PaintHistory* history, void* owner);
void shape_pencil_destroy(Shape* shape);

Shape* shape_rubber_create(uint32_t id, const char16_t* name, PaintContext* context,
                           PaintHistory* history, void* owner);
void shape_rubber_destroy(Shape* shape);

// Test hook: growing a point array to more than `points` points fails as if memory were
// short; a negative value (the default) switches the hook off.
void shape_stroke_fail_growth_beyond(int32_t points);
