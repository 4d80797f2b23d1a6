// The drawing tools' common head. Every tool is a plain record that starts with a Shape
// and continues with its own state; the tool's create function fills the operation slots.
// The paint view hands pen events to the current tool; the history hands recorded
// geometry back to the tool with the step's id and lets it draw again on replay.
#pragma once

#include <cstdint>

#include <cairo.h>

#include "frect.h"

struct PaintContext;
struct PaintHistory;
struct Shape;

// Pen events: 1 down, 2 up, 3 move; x, y on the screen. 1 when the tool used the event.
using ShapePenFn = int (*)(Shape* shape, int32_t event, int32_t x, int32_t y, uint32_t modifiers);
// Renders the current geometry into `cr`. `unused` is null on replay and ignored by every
// tool; `scale` is the current zoom over the zoom the geometry was recorded at.
using ShapeDrawFn = void (*)(Shape* shape, cairo_t* cr, void* unused, double scale);
using ShapeResetFn = void (*)(Shape* shape);
// Replaces the geometry by a recorded one (a step's data). Data that does not have the
// tool's size is ignored, so a damaged document can never make a tool read past it.
using ShapeLoadFn = void (*)(Shape* shape, const uint8_t* data, int32_t size);

constexpr int SHAPE_NAME_LENGTH = 64;   // characters including the terminating zero
constexpr int SHAPE_TIP_LENGTH = 1024;  // characters including the terminating zero

struct Shape {
  uint32_t id;  // tool id, also the history step type
  char16_t name[SHAPE_NAME_LENGTH];
  char16_t tip[SHAPE_TIP_LENGTH];
  ShapePenFn on_pen;
  ShapeDrawFn draw;
  ShapeResetFn reset;
  ShapeLoadFn load;
  uint8_t active;          // 1 between pen-down and pen-up of an accepted stroke
  PaintContext* context;   // not owned
  PaintHistory* history;   // not owned
  void* owner;             // the application record for tools that need it, not owned
};

// Fills the head (name cut to 63 characters); always 1.
int shape_init(Shape* shape, uint32_t id, const char16_t* name, PaintContext* context,
               PaintHistory* history, void* owner);
void shape_release(Shape* shape);  // the common part of a tool's destroy

uint32_t shape_get_id(const Shape* shape);
const char16_t* shape_get_name(const Shape* shape);
const char16_t* shape_get_tip(const Shape* shape);
void shape_set_tip(Shape* shape, const char16_t* tip);  // cut to 1023 characters

void shape_set_on_pen(Shape* shape, ShapePenFn fn);
void shape_set_draw(Shape* shape, ShapeDrawFn fn);
void shape_set_reset(Shape* shape, ShapeResetFn fn);
void shape_set_load(Shape* shape, ShapeLoadFn fn);
void shape_set_active(Shape* shape, uint8_t active);

int shape_on_pen(Shape* shape, int32_t event, int32_t x, int32_t y, uint32_t modifiers);  // 0 when unset
void shape_draw(Shape* shape, cairo_t* cr, void* unused, double scale);
void shape_reset(Shape* shape);
void shape_load(Shape* shape, const uint8_t* data, int32_t size);

// ---- Two-point tools (line, rectangles, ellipses, polygons, pentagram, heart, text) ----
// Their state follows the head: the drag's start and end in view coordinates (painting
// pixels at the zoom in force), the deferred preview, the damaged rectangle and the style.
// A tool with more state (the polygon's sides and variant) places it behind this record.
struct FActiveObject;

constexpr int32_t SHAPE_TWO_POINT_DATA_SIZE = 16;  // start_x, start_y, end_x, end_y

struct ShapeTwoPoint {
  Shape head;
  int32_t start_x, start_y;  // pen-down point, view coordinates
  int32_t end_x, end_y;      // latest pen point
  FActiveObject* preview_job;  // owned, created at the first move
  FRect damaged;  // union of everything this tool damaged; (0, 0, 0, 0) at creation
  int32_t style;  // 1 outline, 2 filled; ellipses also 3 circle outline, 4 filled circle
};

// Fills the head and the two-point state and installs the drag protocol and the 16-byte
// load; the caller sets its draw. Always 1.
int shape_two_point_init(ShapeTwoPoint* shape, uint32_t id, const char16_t* name,
                         PaintContext* context, PaintHistory* history, int32_t style,
                         void* owner);
// Cancels and destroys the preview job, then the common release.
void shape_two_point_release(ShapeTwoPoint* shape);
// The drag: down saves the visible part; moves store the end and signal one deferred
// preview, drawn clipped to the visible part; up draws the final figure once over the
// whole painting and records the 16-byte step unless the pen came back to where it
// started.
int shape_two_point_on_pen(Shape* shape, int32_t event, int32_t x, int32_t y,
                           uint32_t modifiers);
// Reads start and end from exactly 16 little-endian bytes; any other size is ignored.
void shape_two_point_load(Shape* shape, const uint8_t* data, int32_t size);
// Creates the preview job on first use and signals it, dropping a run still pending.
void shape_two_point_schedule_preview(ShapeTwoPoint* shape);

// ---- Drawing set-up shared by every painter ---------------------------------------------
enum class ShapeCap { keep, round };
enum class ShapeJoin { keep, round };
// Line width = pen size x zoom, source = the fore colour, cap and join as asked. Returns
// the line width.
double shape_begin_draw(Shape* shape, cairo_t* cr, ShapeCap cap, ShapeJoin join);
// Around the path: geometry coordinates scaled for replay, line widths not scaled.
void shape_begin_path(cairo_t* cr, double scale);
void shape_end_path(cairo_t* cr, double scale);
// The damage rule: `bounds` (geometry coordinates, either corner order) widened by
// width + 1 and truncated, united with `damaged` (both normalised), repainted as a tool's
// partial repaint and stored back.
void shape_damage(Shape* shape, FRect* damaged, FRect bounds, double width);
// A geometry value truncated towards zero into the i32 range (NaN gives 0): stored steps
// may carry any coordinates, and a double outside the range must not be cast as it is.
int32_t shape_truncate(double value);
