// The tool table: which unit makes each of the 26 tools, with which arguments and texts,
// in the order the program creates them. Start-up calls paint_tools_create once and
// shut-down paint_tools_destroy; the paint context's table and the toolbar see the tools
// in this order.

#include "paint_tools.h"

#include "fplatform.h"
#include "paint_context.h"
#include "paint_history.h"
#include "paint_strings.h"
#include "shape_curve.h"
#include "shape_flood.h"
#include "shape_geometric.h"
#include "shape_pencil.h"
#include "shape_position.h"
#include "shape_straw.h"
#include "shape_text.h"

namespace {

using Unit = PaintToolUnit;
constexpr int32_t kOutline = SHAPE_STYLE_OUTLINE, kFilled = SHAPE_STYLE_FILLED;
constexpr int32_t kRegular = SHAPE_POLYGON_REGULAR, kInscribed = SHAPE_POLYGON_INSCRIBED;

}  // namespace

// Only the first triangle of the polygons is handed the owner: the others never ask it.
const PaintToolEntry paint_tool_table[PAINT_TOOL_COUNT] = {
    {PAINT_TOOL_PENCIL, PAINT_STR_TOOL_PENCIL, PAINT_STR_TOOL_PENCIL_TIP, Unit::pencil, 0, 0, 0, 0},
    {PAINT_TOOL_LINE, PAINT_STR_TOOL_LINE, PAINT_STR_TOOL_LINE_TIP, Unit::line, 0, 0, 0, 0},
    {PAINT_TOOL_RECT_OUTLINE, PAINT_STR_TOOL_RECT_OUTLINE, PAINT_STR_TOOL_RECT_OUTLINE_TIP,
     Unit::rect, kOutline, 0, 0, 0},
    {PAINT_TOOL_RECT_FILLED, PAINT_STR_TOOL_RECT_FILLED, PAINT_STR_TOOL_RECT_FILLED_TIP,
     Unit::rect, kFilled, 0, 0, 0},
    {PAINT_TOOL_ROUNDRECT_OUTLINE, PAINT_STR_TOOL_ROUNDRECT_OUTLINE,
     PAINT_STR_TOOL_ROUNDRECT_OUTLINE_TIP, Unit::roundrect, kOutline, 0, 0, 0},
    {PAINT_TOOL_ROUNDRECT_FILLED, PAINT_STR_TOOL_ROUNDRECT_FILLED,
     PAINT_STR_TOOL_ROUNDRECT_FILLED_TIP, Unit::roundrect, kFilled, 0, 0, 0},
    {PAINT_TOOL_ELLIPSE_OUTLINE, PAINT_STR_TOOL_ELLIPSE_OUTLINE, PAINT_STR_TOOL_ELLIPSE_OUTLINE_TIP,
     Unit::circle, kOutline, 0, 0, 0},
    {PAINT_TOOL_ELLIPSE_FILLED, PAINT_STR_TOOL_ELLIPSE_FILLED, PAINT_STR_TOOL_ELLIPSE_FILLED_TIP,
     Unit::circle, kFilled, 0, 0, 0},
    {PAINT_TOOL_CIRCLE_OUTLINE, PAINT_STR_TOOL_CIRCLE_OUTLINE, PAINT_STR_TOOL_CIRCLE_OUTLINE_TIP,
     Unit::circle, SHAPE_STYLE_CIRCLE_OUTLINE, 0, 0, 0},
    {PAINT_TOOL_CIRCLE_FILLED, PAINT_STR_TOOL_CIRCLE_FILLED, PAINT_STR_TOOL_CIRCLE_FILLED_TIP,
     Unit::circle, SHAPE_STYLE_CIRCLE_FILLED, 0, 0, 0},
    {PAINT_TOOL_ERASER, PAINT_STR_TOOL_ERASER, PAINT_STR_TOOL_ERASER_TIP, Unit::rubber, 0, 0, 0, 0},
    {PAINT_TOOL_PAN, PAINT_STR_TOOL_PAN, PAINT_STR_TOOL_PAN_TIP, Unit::position, 0, 0, 0, 1},
    {PAINT_TOOL_TEXT, PAINT_STR_TOOL_TEXT, PAINT_STR_TOOL_TEXT_TIP, Unit::text, 0, 0, 0, 1},
    {PAINT_TOOL_COLOR_PICKER, PAINT_STR_TOOL_COLOR_PICKER, PAINT_STR_TOOL_COLOR_PICKER_TIP,
     Unit::straw, 0, 0, 0, 1},
    {PAINT_TOOL_PAINT_BUCKET, PAINT_STR_TOOL_PAINT_BUCKET, PAINT_STR_TOOL_PAINT_BUCKET_TIP,
     Unit::flood, 0, 0, 0, 1},
    {PAINT_TOOL_CURVE, PAINT_STR_TOOL_CURVE, PAINT_STR_TOOL_CURVE_TIP, Unit::curve, 0, 0, 0, 1},
    {PAINT_TOOL_TRIANGLE_OUTLINE, PAINT_STR_TOOL_TRIANGLE_OUTLINE,
     PAINT_STR_TOOL_TRIANGLE_OUTLINE_TIP, Unit::polygon, kOutline, 3, kRegular, 1},
    {PAINT_TOOL_TRIANGLE_FILLED, PAINT_STR_TOOL_TRIANGLE_FILLED, PAINT_STR_TOOL_TRIANGLE_FILLED_TIP,
     Unit::polygon, kFilled, 3, kRegular, 0},
    {PAINT_TOOL_RHOMBUS_OUTLINE, PAINT_STR_TOOL_RHOMBUS_OUTLINE, PAINT_STR_TOOL_RHOMBUS_OUTLINE_TIP,
     Unit::polygon, kOutline, 4, kInscribed, 0},
    {PAINT_TOOL_RHOMBUS_FILLED, PAINT_STR_TOOL_RHOMBUS_FILLED, PAINT_STR_TOOL_RHOMBUS_FILLED_TIP,
     Unit::polygon, kFilled, 4, kInscribed, 0},
    {PAINT_TOOL_PENTAGON_OUTLINE, PAINT_STR_TOOL_PENTAGON_OUTLINE,
     PAINT_STR_TOOL_PENTAGON_OUTLINE_TIP, Unit::polygon, kOutline, 5, kRegular, 0},
    {PAINT_TOOL_PENTAGON_FILLED, PAINT_STR_TOOL_PENTAGON_FILLED, PAINT_STR_TOOL_PENTAGON_FILLED_TIP,
     Unit::polygon, kFilled, 5, kRegular, 0},
    {PAINT_TOOL_PENTAGRAM_OUTLINE, PAINT_STR_TOOL_PENTAGRAM_OUTLINE,
     PAINT_STR_TOOL_PENTAGRAM_OUTLINE_TIP, Unit::pentagram, kOutline, 0, 0, 1},
    {PAINT_TOOL_PENTAGRAM_FILLED, PAINT_STR_TOOL_PENTAGRAM_FILLED,
     PAINT_STR_TOOL_PENTAGRAM_FILLED_TIP, Unit::pentagram, kFilled, 0, 0, 1},
    {PAINT_TOOL_HEART_OUTLINE, PAINT_STR_TOOL_HEART_OUTLINE, PAINT_STR_TOOL_HEART_OUTLINE_TIP,
     Unit::heart, kOutline, 0, 0, 1},
    {PAINT_TOOL_HEART_FILLED, PAINT_STR_TOOL_HEART_FILLED, PAINT_STR_TOOL_HEART_FILLED_TIP,
     Unit::heart, kFilled, 0, 0, 1},
};

namespace {

Shape* tool_create(const PaintToolEntry& e, PaintContext* pc, PaintHistory* history,
                   void* app) {
  const char16_t* name = fres_text(e.name);
  void* owner = e.owned ? app : nullptr;
  switch (e.unit) {
    case Unit::pencil: return shape_pencil_create(e.id, name, pc, history, owner);
    case Unit::line: return shape_line_create(e.id, name, pc, history, owner);
    case Unit::rect: return shape_rect_create(e.id, name, pc, history, e.style, owner);
    case Unit::roundrect: return shape_roundrect_create(e.id, name, pc, history, e.style, owner);
    case Unit::circle: return shape_circle_create(e.id, name, pc, history, e.style, owner);
    case Unit::rubber: return shape_rubber_create(e.id, name, pc, history, owner);
    case Unit::position: return shape_position_create(e.id, name, pc, history, owner);
    case Unit::text: return shape_text_create(e.id, name, pc, history, owner);
    case Unit::straw: return shape_straw_create(e.id, name, pc, history, owner);
    case Unit::flood: return shape_flood_create(e.id, name, pc, history, owner);
    case Unit::curve: return shape_curve_create(e.id, name, pc, history, owner);
    case Unit::polygon:
      return shape_polygon_create(e.id, name, pc, history, e.style, e.sides, e.variant, owner);
    case Unit::pentagram: return shape_pentagram_create(e.id, name, pc, history, e.style, owner);
    case Unit::heart: return shape_heart_create(e.id, name, pc, history, e.style, owner);
  }
  return nullptr;
}

void tool_destroy(Unit unit, Shape* shape) {
  switch (unit) {
    case Unit::pencil: shape_pencil_destroy(shape); return;
    case Unit::line: shape_line_destroy(shape); return;
    case Unit::rect: shape_rect_destroy(shape); return;
    case Unit::roundrect: shape_roundrect_destroy(shape); return;
    case Unit::circle: shape_circle_destroy(shape); return;
    case Unit::rubber: shape_rubber_destroy(shape); return;
    case Unit::position: shape_position_destroy(shape); return;
    case Unit::text: shape_text_destroy(shape); return;
    case Unit::straw: shape_straw_destroy(shape); return;
    case Unit::flood: shape_flood_destroy(shape); return;
    case Unit::curve: shape_curve_destroy(shape); return;
    case Unit::polygon: shape_polygon_destroy(shape); return;
    case Unit::pentagram: shape_pentagram_destroy(shape); return;
    case Unit::heart: shape_heart_destroy(shape); return;
  }
}

}  // namespace

int paint_tools_create(PaintContext* pc, PaintHistory* history, void* owner,
                       Shape* tools[PAINT_TOOL_COUNT]) {
  FCHECK(pc != nullptr, "pc!=null");
  FCHECK(tools != nullptr, "tools!=null");
  for (int i = 0; i < PAINT_TOOL_COUNT; ++i) tools[i] = nullptr;
  // Checked first, so that a full table never leaves some of the tools added.
  if (pc->shape_count > PAINT_CONTEXT_MAX_SHAPES - PAINT_TOOL_COUNT) return 0;
  for (int i = 0; i < PAINT_TOOL_COUNT; ++i) {
    const PaintToolEntry& e = paint_tool_table[i];
    tools[i] = tool_create(e, pc, history, owner);
    if (!tools[i]) {
      paint_tools_destroy(tools);
      return 0;
    }
    shape_set_tip(tools[i], fres_text(e.tip));
  }
  for (int i = 0; i < PAINT_TOOL_COUNT; ++i) paint_context_add_shape(pc, tools[i]);
  // Text steps are not a tool's: the history replays them through its hook.
  if (history) history->replay_text = shape_text_replay;
  return 1;
}

void paint_tools_destroy(Shape* tools[PAINT_TOOL_COUNT]) {
  FCHECK(tools != nullptr, "tools!=null");
  for (int i = 0; i < PAINT_TOOL_COUNT; ++i) {
    if (tools[i]) tool_destroy(paint_tool_table[i].unit, tools[i]);
    tools[i] = nullptr;
  }
}
