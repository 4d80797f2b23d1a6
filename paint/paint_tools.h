// The tool table: the 26 drawing tools the program creates at start-up, in the order the
// paint context's table and the toolbar know them, with their localised names and tips.
// Tool ids double as history step types and as the toolbar's command ids.
#pragma once

#include <cstdint>

#include "fresource.h"
#include "shape.h"

constexpr int PAINT_TOOL_COUNT = 26;

// Tool ids.
enum : uint32_t {
  PAINT_TOOL_PENCIL = 1,
  PAINT_TOOL_LINE = 2,
  PAINT_TOOL_ERASER = 5,
  PAINT_TOOL_PAN = 6,
  PAINT_TOOL_TEXT = 7,
  PAINT_TOOL_COLOR_PICKER = 8,
  PAINT_TOOL_PAINT_BUCKET = 9,
  PAINT_TOOL_CURVE = 10,
  PAINT_TOOL_RECT_OUTLINE = 101,
  PAINT_TOOL_RECT_FILLED = 102,
  PAINT_TOOL_ROUNDRECT_OUTLINE = 103,
  PAINT_TOOL_ROUNDRECT_FILLED = 104,
  PAINT_TOOL_ELLIPSE_OUTLINE = 201,
  PAINT_TOOL_ELLIPSE_FILLED = 202,
  PAINT_TOOL_CIRCLE_OUTLINE = 203,
  PAINT_TOOL_CIRCLE_FILLED = 204,
  PAINT_TOOL_TRIANGLE_OUTLINE = 301,
  PAINT_TOOL_TRIANGLE_FILLED = 302,
  PAINT_TOOL_RHOMBUS_OUTLINE = 303,
  PAINT_TOOL_RHOMBUS_FILLED = 304,
  PAINT_TOOL_PENTAGON_OUTLINE = 305,
  PAINT_TOOL_PENTAGON_FILLED = 306,
  PAINT_TOOL_PENTAGRAM_OUTLINE = 307,
  PAINT_TOOL_PENTAGRAM_FILLED = 308,
  PAINT_TOOL_HEART_OUTLINE = 309,
  PAINT_TOOL_HEART_FILLED = 310,
};

// Which unit makes a tool.
enum class PaintToolUnit : int32_t {
  pencil, line, rect, roundrect, circle, rubber, position, text, straw, flood, curve,
  polygon, pentagram, heart
};

// One row of the table: the tool, the texts it shows and its unit's arguments.
struct PaintToolEntry {
  uint32_t id;
  FString name;  // the tip's string id is the name's + 1
  FString tip;
  PaintToolUnit unit;
  int32_t style;    // two-point figures: SHAPE_STYLE_*; 0 for the others
  int32_t sides;    // polygons only
  int32_t variant;  // polygons only: SHAPE_POLYGON_*
  uint8_t owned;    // 1: the tool is handed the application record as its owner
};

// The table in creation order; pencil first (the current tool after start-up).
extern const PaintToolEntry paint_tool_table[PAINT_TOOL_COUNT];

// Creates every tool of the table in order, names and tips looked up in the loaded
// resources (English built in), adds each to the context's table and stores it in
// `tools` at its table index. `owner` (the application record, not owned) goes to the
// tools the table marks. The history (may be null in tests) gets the text step's replay
// as its replay_text hook. 1 on success; 0 when memory is short or the context's table has
// no room for 26 more, in which case nothing is created or added and `tools` is all null.
int paint_tools_create(PaintContext* pc, PaintHistory* history, void* owner,
                       Shape* tools[PAINT_TOOL_COUNT]);
// Destroys every tool in `tools` (null entries are skipped) and clears the array. The
// context's table still names them: destroy the context afterwards, or not use it again.
void paint_tools_destroy(Shape* tools[PAINT_TOOL_COUNT]);
