// The curve tool (id 10): one cubic Bezier curve made in two phases. A straight drag sets
// the end points (the control points start on the line between them); then four handles
// are shown, and any number of drags move the end or control points until a tap away from
// all handles commits the curve as one history step. While the handles are shown an
// invisible control holds the screen's pen input, so that the next contact reaches the
// curve wherever it lands.
#pragma once

#include <cstdint>

#include "frect.h"
#include "shape.h"

struct FActiveObject;
struct FControl;

constexpr int32_t SHAPE_CURVE_DATA_SIZE = 64;  // four points of two doubles

// Indexes into ShapeCurve::points and of the handle being dragged.
enum : int32_t {
  SHAPE_CURVE_START = 0,     // P0
  SHAPE_CURVE_END = 1,       // P1
  SHAPE_CURVE_CONTROL1 = 2,  // C1
  SHAPE_CURVE_CONTROL2 = 3,  // C2
  SHAPE_CURVE_NO_HANDLE = -1,
};

// Recorded coordinates are kept within this distance of the origin: far beyond any
// painting, and well inside the fixed-point range cairo works in.
constexpr double SHAPE_CURVE_COORDINATE_LIMIT = 1048576.0;

struct ShapeCurvePoint {
  double x;  // view coordinates: painting pixels at the zoom in force
  double y;
};

struct ShapeCurve {
  Shape head;
  ShapeCurvePoint points[4];   // P0, P1, C1, C2: in this order the 64-byte record
  FActiveObject* preview_job;  // owned, created at the first redraw
  FRect damaged;   // union of everything this tool has damaged; (0, 0, 0, 0) at creation
  FRect boxes[4];  // hit areas of the handles around P0, P1, C1, C2; a point is inside
                   // when left <= x < right and top <= y < bottom
  uint8_t editing;   // 0 during the first drag, 1 while the handles are shown
  int32_t selected;  // SHAPE_CURVE_START .. CONTROL2 being dragged, or NO_HANDLE
  FControl* capture;  // owned, only while editing: the invisible control that forwards
                      // the screen's pen input to the curve
  uint8_t drawable;   // 0 after a record that could not be loaded: draw draws nothing
};

// A new curve tool, or null when memory is short; the caller frees it with
// shape_curve_destroy. `name` is copied (63 characters at most); context, history and
// owner are not owned.
Shape* shape_curve_create(uint32_t id, const char16_t* name, PaintContext* context,
                          PaintHistory* history, void* owner);
// Commits a curve whose handles are still shown (as a tap away from them would), so that a
// command that replays or saves the history never meets a half-edited curve. 1 when a
// curve was committed; 0 when none was being edited or the pen is down on it.
int shape_curve_finish(Shape* shape);
// Cancels and destroys the preview job and a capture control still held, then frees.
void shape_curve_destroy(Shape* shape);
