// The text tool and the text step. The tool is a two-point drag (shape.cpp) whose preview
// is a dashed frame; at pen up the frame is taken out again and the application gets the
// rectangle to open its text bar in. The typed text becomes a step of its own type (1007),
// not a tool step, so it replays through the history's text hook, shape_text_replay.
//
//   pen down/move -> shape_two_point_on_pen (save visible, deferred frame)
//   pen up -> restore visible, full repaint -> rectangle callback
//   text bar commit -> shape_text_build_record -> shape_text_draw_record(1.0)
//                   -> paint_history_add(1007)
//   replay -> shape_text_replay -> shape_text_draw_record(scale)

#include "shape_text.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "fbytes.h"
#include "fcanvas.h"
#include "fplatform.h"
#include "fsurface.h"
#include "ftdrawer.h"
#include "paint_context.h"
#include "paint_history.h"
#include "win_ao.h"

namespace {

// Offsets of the record's fields.
constexpr int32_t kMode = 0, kSpacing = 4, kMargin = 8, kFontSize = 12, kFace = 16, kColor = 80,
                  kStyle = 84, kRect = 88, kLength = 104, kAddress = 108;
constexpr int32_t kFaceBytes = 64;

ShapeText* text_of(Shape* shape) {
  FCHECK(shape != nullptr, "shape!=null");
  return reinterpret_cast<ShapeText*>(shape);
}

void text_reset(Shape* shape) {
  ShapeText* tool = text_of(shape);
  tool->drag.start_x = tool->drag.start_y = 0;
  tool->drag.end_x = tool->drag.end_y = 0;
}

// The dashed frame around the drag rectangle. It is the only painter that takes neither
// the fore colour nor the pen size: the frame must show on any painting at any pen.
void text_draw(Shape* shape, cairo_t* cr, void* unused, double scale) {
  (void)unused;
  ShapeText* tool = text_of(shape);
  if (!cr) return;
  const ShapeTwoPoint& d = tool->drag;
  cairo_save(cr);
  cairo_set_source_rgb(cr, 0.25, 0.25, 0.25);
  const double dashes[2] = {5.0, 5.0};
  cairo_set_dash(cr, dashes, 2, 0.0);
  shape_begin_path(cr, scale);
  cairo_new_path(cr);
  cairo_rectangle(cr, d.start_x, d.start_y, static_cast<double>(d.end_x) - d.start_x + 1.0,
                  static_cast<double>(d.end_y) - d.start_y + 1.0);
  shape_end_path(cr, scale);
  cairo_stroke(cr);
  cairo_set_dash(cr, nullptr, 0, 0.0);
  cairo_restore(cr);
  tool->framed = 1;
  // The damage rule widens by width + 1: 4 gives the frame's margin of 5 on each side.
  shape_damage(shape, &tool->drag.damaged, FRect{d.start_x, d.start_y, d.end_x, d.end_y}, 4.0);
}

int text_on_pen(Shape* shape, int32_t event, int32_t x, int32_t y, uint32_t modifiers) {
  ShapeText* tool = text_of(shape);
  if (event == FPOINTER_DOWN) tool->framed = 0;
  if (event != FPOINTER_UP || !shape->active) {
    return shape_two_point_on_pen(shape, event, x, y, modifiers);
  }
  PaintContext* pc = shape->context;
  ShapeTwoPoint& d = tool->drag;
  // A frame still waiting for the next idle turn would be drawn after the restore below
  // and stay in the painting.
  if (d.preview_job) fao_cancel(d.preview_job);
  if (d.start_x == d.end_x && d.start_y == d.end_y) {
    // No rectangle, so no text bar. A pen that left and came back may have left a frame.
    if (tool->framed) {
      paint_context_restore_visible(pc);
      paint_context_repaint(pc, nullptr, 1);
      tool->framed = 0;
    }
    shape->active = 0;
    return 1;
  }
  paint_context_restore_visible(pc);
  tool->framed = 0;
  paint_context_repaint(pc, nullptr, 1);
  const FRect rect = frect_normalized(FRect{d.start_x, d.start_y, d.end_x, d.end_y});
  if (tool->on_rect) tool->on_rect(shape, &rect);
  shape->active = 0;
  shape_reset(shape);
  return 1;
}

// The text of a record, decoded from its little-endian units into a buffer of its own
// (the record's bytes need not be aligned for char16_t). Null when memory is short.
char16_t* record_text(const uint8_t* data, int32_t length) {
  auto* text = new (std::nothrow) char16_t[static_cast<size_t>(length) + 1];
  if (!text) return nullptr;
  const uint8_t* p = data + SHAPE_TEXT_RECORD_HEADER;
  for (int32_t i = 0; i < length; ++i) text[i] = static_cast<char16_t>(fbytes_get_u16(p + 2 * i));
  text[length] = 0;
  return text;
}

int32_t scaled(int32_t value, double scale) { return shape_truncate(value * scale); }

}  // namespace

// ---- The tool ---------------------------------------------------------------------------

Shape* shape_text_create(uint32_t id, const char16_t* name, PaintContext* context,
                         PaintHistory* history, void* owner) {
  auto* tool = static_cast<ShapeText*>(std::calloc(1, sizeof(ShapeText)));
  if (!tool) return nullptr;
  shape_two_point_init(&tool->drag, id, name, context, history, 0, owner);
  shape_set_on_pen(&tool->drag.head, text_on_pen);
  shape_set_draw(&tool->drag.head, text_draw);
  shape_set_reset(&tool->drag.head, text_reset);
  return &tool->drag.head;
}

ShapeTextRectFn shape_text_set_rect_callback(Shape* shape, ShapeTextRectFn fn) {
  ShapeText* tool = text_of(shape);
  ShapeTextRectFn previous = tool->on_rect;
  tool->on_rect = fn;
  return previous;
}

void shape_text_destroy(Shape* shape) {
  ShapeText* tool = text_of(shape);
  shape_two_point_release(&tool->drag);
  std::free(tool);
}

// ---- The text step ----------------------------------------------------------------------

uint8_t* shape_text_build_record(const FTDrawer* drawer, const FRect* rect,
                                 const char16_t* text, int32_t length, int32_t* size) {
  FCHECK(drawer != nullptr, "drawer!=null");
  FCHECK(rect != nullptr && size != nullptr, "rect!=null && size!=null");
  *size = 0;
  if (length < 0 || length > SHAPE_TEXT_MAX_LENGTH || (length > 0 && !text)) return nullptr;
  const int32_t bytes = (length + 57) * 2;
  auto* data = static_cast<uint8_t*>(std::calloc(1, static_cast<size_t>(bytes)));
  if (!data) return nullptr;
  fbytes_put_u32(data + kMode, ftdrawer_get_mode(drawer));
  fbytes_put_i32(data + kSpacing, ftdrawer_get_line_spacing(drawer));
  fbytes_put_i32(data + kMargin, ftdrawer_get_margin(drawer));
  fbytes_put_i32(data + kFontSize, ftdrawer_get_font_size(drawer));
  // The face is zero-terminated within its 32 units (the drawer keeps 31 at most).
  const char16_t* face = ftdrawer_get_font_face(drawer);
  for (int32_t i = 0; i < FTDRAWER_FACE_UNITS - 1 && face[i] != 0; ++i) {
    fbytes_put_u16(data + kFace + 2 * i, static_cast<uint16_t>(face[i]));
  }
  fbytes_put_u32(data + kColor, ftdrawer_get_color(drawer));
  fbytes_put_u32(data + kStyle, ftdrawer_get_font_style(drawer));
  fbytes_put_i32(data + kRect, rect->left);
  fbytes_put_i32(data + kRect + 4, rect->top);
  fbytes_put_i32(data + kRect + 8, rect->right);
  fbytes_put_i32(data + kRect + 12, rect->bottom);
  fbytes_put_i32(data + kLength, length);
  fbytes_put_u32(data + kAddress, 0);
  for (int32_t i = 0; i < length; ++i) {
    fbytes_put_u16(data + SHAPE_TEXT_RECORD_HEADER + 2 * i, static_cast<uint16_t>(text[i]));
  }
  *size = bytes;  // the terminator is already zero
  return data;
}

int shape_text_draw_record(PaintContext* pc, const uint8_t* data, int32_t size, double scale) {
  FCHECK(pc != nullptr, "pc!=null");
  if (!data || size < SHAPE_TEXT_RECORD_HEADER) return 0;
  const int32_t length = fbytes_get_i32(data + kLength);
  if (length < 0 || length > SHAPE_TEXT_MAX_LENGTH || (length + 57) * 2 != size) return 0;
  FBitmap* painting = paint_context_get_painting(pc);
  if (!painting) return 0;

  FTDrawer* drawer = ftdrawer_copy(ftdrawer_get_default());
  char16_t* text = record_text(data, length);
  if (!drawer || !text) {
    if (drawer) ftdrawer_destroy(drawer);
    delete[] text;
    return 0;
  }
  ftdrawer_set_mode(drawer, fbytes_get_u32(data + kMode));
  ftdrawer_set_line_spacing(drawer, scaled(fbytes_get_i32(data + kSpacing), scale));
  ftdrawer_set_margin(drawer, scaled(fbytes_get_i32(data + kMargin), scale));
  ftdrawer_set_font_size(drawer, scaled(fbytes_get_i32(data + kFontSize), scale));
  char16_t face[FTDRAWER_FACE_UNITS] = {};
  for (int32_t i = 0; i < FTDRAWER_FACE_UNITS - 1; ++i) {
    face[i] = static_cast<char16_t>(fbytes_get_u16(data + kFace + 2 * i));
  }
  ftdrawer_set_font_face(drawer, face);
  ftdrawer_set_font_style(drawer, fbytes_get_u32(data + kStyle));
  const uint8_t* c = data + kColor;
  // Alpha 0 marks a colour written in the older red-first byte order.
  const FColor color = c[3] == 0 ? fcolor_make(c[0], c[1], c[2], 255) : fbytes_get_u32(c);
  ftdrawer_set_color(drawer, color);

  FRect rect{fbytes_get_i32(data + kRect), fbytes_get_i32(data + kRect + 4),
             fbytes_get_i32(data + kRect + 8), fbytes_get_i32(data + kRect + 12)};
  if (scale != 1.0) {
    rect = FRect{scaled(rect.left, scale), scaled(rect.top, scale), scaled(rect.right, scale),
                 scaled(rect.bottom, scale)};
  }
  // The canvas writes the pixels behind cairo's back (see the paint bucket).
  cairo_t* renderer = paint_context_get_renderer(pc);
  if (renderer) cairo_surface_flush(cairo_get_target(renderer));
  FCanvas canvas{};
  fcanvas_attach(&canvas, painting);
  const int result = ftdrawer_draw_text(drawer, &canvas, &rect, text, length);
  fcanvas_release(&canvas);
  if (renderer) cairo_surface_mark_dirty(cairo_get_target(renderer));
  ftdrawer_destroy(drawer);
  delete[] text;
  return result;
}

int shape_text_commit(PaintContext* pc, PaintHistory* history, const FTDrawer* drawer,
                      const FRect* rect, const char16_t* text, int32_t length) {
  FCHECK(pc != nullptr, "pc!=null");
  FCHECK(history != nullptr, "history!=null");
  if (!text || length <= 0) return 0;
  int32_t size = 0;
  uint8_t* record = shape_text_build_record(drawer, rect, text, length, &size);
  if (!record) return 0;
  shape_text_draw_record(pc, record, size, 1.0);
  const PaintStep* step = paint_history_add(history, PAINT_STEP_TEXT, record, size);
  std::free(record);
  paint_context_repaint(pc, rect, 0);
  return step ? 1 : 0;
}

void shape_text_replay(PaintHistory* history, const PaintStep* step, double scale) {
  FCHECK(history != nullptr, "history!=null");
  if (!step) return;
  shape_text_draw_record(history->context, step->data, step->data_size, scale);
}
