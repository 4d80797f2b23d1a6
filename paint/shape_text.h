// The text tool (tool 7) and the text step (history type 1007). The tool lets the user drag
// the rectangle a text will fill, showing it as a dashed frame, and hands the rectangle to
// the application, which opens the text bar there. The text bar later commits the typed
// text: it is drawn into the painting with the bar's text drawer and recorded as a text
// step, which replays through the same drawing routine.
//
// Text step record (little-endian, (length + 57) x 2 bytes):
//   0 mode (u32, unscaled) | 4 line spacing (i32) | 8 margin (i32) | 12 font size (i32)
//   16 font face, 32 UTF-16 units, zero-terminated | 80 colour, FColor bytes b, g, r, a
//   84 font style bits | 88 rectangle left, top, right, bottom (i32, view coordinates)
//   104 length in UTF-16 units | 108 written 0 (an in-memory text address once)
//   112 the text, length units and a zero terminator
// Spacing, margin and font size are scaled with the painting on replay (ftdrawer.h tells
// what mode and the two metrics mean). A colour whose alpha byte is 0 is read as its
// first three bytes red, green, blue, opaque.
#pragma once

#include <cstdint>

#include "frect.h"
#include "shape.h"

struct FTDrawer;
struct PaintStep;

constexpr int32_t SHAPE_TEXT_RECORD_HEADER = 112;  // bytes before the text
// The largest text a record can hold: its size, (length + 57) x 2, must fit in an i32.
constexpr int32_t SHAPE_TEXT_MAX_LENGTH = INT32_MAX / 2 - 57;

// The rectangle of a finished drag, normalised, in view coordinates.
using ShapeTextRectFn = void (*)(Shape* shape, const FRect* rect);

struct ShapeText {
  ShapeTwoPoint drag;  // start and end, preview job, damaged rectangle (style unused)
  ShapeTextRectFn on_rect;  // may be null
  uint8_t framed;  // a preview frame may be in the painting since the last pen down
};

// ---- The tool ---------------------------------------------------------------------------
// A new text tool, or null when memory is short; the caller frees it with
// shape_text_destroy. `name` is copied (63 characters at most); context, history and
// owner are not owned.
Shape* shape_text_create(uint32_t id, const char16_t* name, PaintContext* context,
                         PaintHistory* history, void* owner);
// Returns the callback it replaces.
ShapeTextRectFn shape_text_set_rect_callback(Shape* shape, ShapeTextRectFn fn);
// Cancels and destroys the preview job, then frees the tool.
void shape_text_destroy(Shape* shape);

// ---- The text step ----------------------------------------------------------------------
// A new record for `text` (length units, 0..SHAPE_TEXT_MAX_LENGTH) laid out by `drawer`
// in `rect` (view coordinates); *size receives its size. Null when the length is out of
// range or memory is short. The caller frees it with std::free.
uint8_t* shape_text_build_record(const FTDrawer* drawer, const FRect* rect,
                                 const char16_t* text, int32_t length, int32_t* size);
// Draws a record into the painting, its geometry multiplied by `scale`. 0 when the record
// is not a well-formed text step (its size must be (length + 57) x 2) or cannot be drawn.
int shape_text_draw_record(PaintContext* pc, const uint8_t* data, int32_t size, double scale);
// What the text bar does on commit: draws the text into the painting and records it as
// a text step. An empty text does nothing; when memory is short the text is neither drawn
// nor recorded. 1 when drawn and recorded.
int shape_text_commit(PaintContext* pc, PaintHistory* history, const FTDrawer* drawer,
                      const FRect* rect, const char16_t* text, int32_t length);
// The history's replay of type 1007 (install it as PaintHistory::replay_text).
void shape_text_replay(PaintHistory* history, const PaintStep* step, double scale);
