// The text drawer: how a text looks and how it is laid out in a rectangle. Controls own
// copies of the toolkit's default and hand them a canvas and a rectangle to draw in; the
// paint program's text step stores a drawer's mode and metrics so that a replay lays the
// text out as it was typed. Glyphs come from the canvas's text context (fcanvas_text.cpp).
//
//   ftdrawer_draw_text -> canvas font, pen and clip -> fcanvas_begin_text
//     -> pass 1: break into lines (count them) -> pass 2: measure and fcanvas_text_out
//     -> fcanvas_end_text -> the caller's clip back

#include "ftdrawer.h"

#include <algorithm>
#include <cstdint>
#include <new>

#include "fplatform.h"

namespace {

// The built-in look; also the toolkit's default until the theme carries its own.
constexpr FTDrawer kBuiltIn{0xFF000000u, 12, {}, 0, FTDRAW_TOP_LEFT | FTDRAW_WRAP, 0, 0};

void copy_face(char16_t* out, const char16_t* face) {
  int32_t n = 0;
  if (face) {
    for (; n < FTDRAWER_FACE_UNITS - 1 && face[n] != 0; ++n) out[n] = face[n];
  }
  for (int32_t i = n; i < FTDRAWER_FACE_UNITS; ++i) out[i] = 0;
}

// ---- Line breaking ----------------------------------------------------------------------

bool is_break(char16_t c) { return c == u'\n' || c == u'\r'; }
bool is_low_surrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// Walks a text line by line. Each line is a run of units without its line feed and, when
// it was wrapped, without the spaces at the break.
struct LineCursor {
  const char16_t* text;
  int32_t length;
  int32_t pos;   // first unit of the next line
  bool done;     // every line has been handed out
  bool wrap;
  int32_t width;  // inner width in pixels, for wrapping
  FCanvas* canvas;
  FTextContext* context;
};

int32_t paragraph_end(const LineCursor& c, int32_t from) {
  int32_t end = from;
  while (end < c.length && !is_break(c.text[end])) ++end;
  return end;
}

// Moves past the line feed at `end` (the end of the current paragraph). A text that ends
// right after a line feed still has one more, empty, line.
void leave_paragraph(LineCursor* c, int32_t end) {
  if (end >= c->length) {
    c->done = true;
    c->pos = c->length;
    return;
  }
  int32_t next = end + 1;
  if (c->text[end] == u'\r' && next < c->length && c->text[next] == u'\n') ++next;
  c->pos = next;
}

// Where a line that is too wide breaks, given that `fit` units fit: at the last space
// that fits, else between characters (at least one unit, never inside a surrogate pair).
// Sets *count to the units drawn and returns the first unit after the break.
int32_t wrap_point(const LineCursor& c, int32_t start, int32_t fit, int32_t end, int32_t* count) {
  int32_t space = -1;
  if (start + fit < end && c.text[start + fit] == u' ') {
    space = start + fit;
  } else {
    for (int32_t k = start + fit - 1; k > start; --k) {
      if (c.text[k] == u' ') {
        space = k;
        break;
      }
    }
  }
  if (space >= 0) {
    int32_t last = space;
    while (last > start && c.text[last - 1] == u' ') --last;
    *count = last - start;
    int32_t next = space;
    while (next < end && c.text[next] == u' ') ++next;
    return next;
  }
  int32_t units = std::max(fit, 1);
  if (start + units < end && is_low_surrogate(c.text[start + units])) {
    units = units > 1 ? units - 1 : units + 1;
  }
  *count = units;
  return start + units;
}

bool line_next(LineCursor* c, int32_t* start, int32_t* count) {
  if (c->done) return false;
  const int32_t from = c->pos;
  const int32_t end = paragraph_end(*c, from);
  *start = from;
  const int32_t rest = end - from;
  if (!c->wrap || rest == 0) {
    *count = rest;
    leave_paragraph(c, end);
    return true;
  }
  const int32_t fit = fcanvas_text_fit(c->canvas, c->context, c->text + from, rest, c->width);
  if (fit >= rest) {
    *count = rest;
    leave_paragraph(c, end);
    return true;
  }
  const int32_t next = wrap_point(*c, from, fit, end, count);
  // Spaces that ran up to the line feed end the paragraph with this line.
  if (next >= end) {
    leave_paragraph(c, end);
  } else {
    c->pos = next;
  }
  return true;
}

}  // namespace

// ---- Creation ---------------------------------------------------------------------------

FTDrawer* ftdrawer_create() {
  FTDrawer* drawer = new (std::nothrow) FTDrawer(kBuiltIn);
  return drawer;
}

FTDrawer* ftdrawer_copy(const FTDrawer* src_drawer) {
  FCHECK(src_drawer != nullptr, "drawer!=null");
  return new (std::nothrow) FTDrawer(*src_drawer);
}

const FTDrawer* ftdrawer_get_default() { return &kBuiltIn; }

// ---- Queries ----------------------------------------------------------------------------

FColor ftdrawer_get_color(const FTDrawer* drawer) {
  FCHECK(drawer != nullptr, "drawer!=null");
  return drawer->color;
}

int32_t ftdrawer_get_font_size(const FTDrawer* drawer) {
  FCHECK(drawer != nullptr, "drawer!=null");
  return drawer->font_size;
}

const char16_t* ftdrawer_get_font_face(const FTDrawer* drawer) {
  FCHECK(drawer != nullptr, "drawer!=null");
  return drawer->font_face;
}

uint32_t ftdrawer_get_font_style(const FTDrawer* drawer) {
  FCHECK(drawer != nullptr, "drawer!=null");
  return drawer->font_style;
}

uint32_t ftdrawer_get_mode(const FTDrawer* drawer) {
  FCHECK(drawer != nullptr, "drawer!=null");
  return drawer->mode;
}

uint32_t ftdrawer_get_alignment(const FTDrawer* drawer) {
  FCHECK(drawer != nullptr, "drawer!=null");
  return drawer->mode & FTDRAW_ALIGN_MASK;
}

int32_t ftdrawer_get_line_spacing(const FTDrawer* drawer) {
  FCHECK(drawer != nullptr, "drawer!=null");
  return drawer->line_spacing;
}

int32_t ftdrawer_get_margin(const FTDrawer* drawer) {
  FCHECK(drawer != nullptr, "drawer!=null");
  return drawer->margin;
}

// ---- Changes ----------------------------------------------------------------------------

void ftdrawer_set_color(FTDrawer* drawer, FColor color) {
  FCHECK(drawer != nullptr, "drawer!=null");
  drawer->color = color;
}

void ftdrawer_set_font_size(FTDrawer* drawer, int32_t points) {
  FCHECK(drawer != nullptr, "drawer!=null");
  drawer->font_size = points;
}

void ftdrawer_set_font_face(FTDrawer* drawer, const char16_t* face) {
  FCHECK(drawer != nullptr, "drawer!=null");
  copy_face(drawer->font_face, face);
}

void ftdrawer_set_font_style(FTDrawer* drawer, uint32_t style) {
  FCHECK(drawer != nullptr, "drawer!=null");
  drawer->font_style = style;
}

void ftdrawer_set_mode(FTDrawer* drawer, uint32_t mode) {
  FCHECK(drawer != nullptr, "drawer!=null");
  drawer->mode = mode;
}

void ftdrawer_set_alignment(FTDrawer* drawer, uint32_t position) {
  FCHECK(drawer != nullptr, "drawer!=null");
  drawer->mode = (drawer->mode & ~static_cast<uint32_t>(FTDRAW_ALIGN_MASK)) |
                 (position & FTDRAW_ALIGN_MASK);
}

void ftdrawer_set_line_spacing(FTDrawer* drawer, int32_t pixels) {
  FCHECK(drawer != nullptr, "drawer!=null");
  drawer->line_spacing = pixels;
}

void ftdrawer_set_margin(FTDrawer* drawer, int32_t pixels) {
  FCHECK(drawer != nullptr, "drawer!=null");
  drawer->margin = pixels;
}

// ---- Drawing ----------------------------------------------------------------------------

namespace {

enum class Along { start, middle, end };

// Column and row of the 3 x 3 position; 9..15 fall back to the top-left corner.
void position_parts(uint32_t position, Along* horizontal, Along* vertical) {
  static constexpr Along kColumn[9] = {Along::start, Along::middle, Along::end,
                                       Along::end,   Along::end,    Along::middle,
                                       Along::start, Along::start,  Along::middle};
  static constexpr Along kRow[9] = {Along::start, Along::start, Along::start,
                                    Along::middle, Along::end,  Along::end,
                                    Along::end,   Along::middle, Along::middle};
  if (position > 8) position = 0;
  *horizontal = kColumn[position];
  *vertical = kRow[position];
}

// Offset of a run of `size` pixels inside `room` pixels.
int64_t place(Along along, int64_t room, int64_t size) {
  switch (along) {
    case Along::start: return 0;
    case Along::middle: return (room - size) / 2;
    case Along::end: return room - size;
  }
  return 0;
}

}  // namespace

int ftdrawer_draw_text(const FTDrawer* drawer, FCanvas* canvas, const FRect* rect,
                       const char16_t* text, int32_t length) {
  FCHECK(drawer != nullptr, "drawer!=null");
  FCHECK(canvas != nullptr, "canvas!=null");
  if (!rect || !text || length <= 0) return 1;
  const FRect box = frect_normalized(*rect);
  const int64_t margin = std::max(drawer->margin, 0);
  const int64_t inner_left = box.left + margin, inner_top = box.top + margin;
  const int64_t inner_width = static_cast<int64_t>(box.right) - box.left + 1 - 2 * margin;
  const int64_t inner_height = static_cast<int64_t>(box.bottom) - box.top + 1 - 2 * margin;
  if (inner_width <= 0 || inner_height <= 0) return 1;

  const uint8_t had_clip = canvas->clip_on;
  const FRect old_clip = canvas->clip;
  FRect clip = had_clip ? frect_intersect(box, frect_normalized(old_clip)) : box;
  if (frect_is_empty(clip)) return 1;

  // The text context picks its mode from the pen colour and makes its font from the
  // canvas font when it opens, so both are set first.
  fcanvas_set_font(canvas, drawer->font_size, drawer->font_face);
  fcanvas_set_font_style(canvas, drawer->font_style);
  fcanvas_set_pen_color(canvas, drawer->color);
  fcanvas_set_clip(canvas, &clip);
  FTextContext* context = fcanvas_begin_text(canvas);
  if (!context) {
    if (had_clip) {
      fcanvas_set_clip(canvas, &old_clip);
    } else {
      fcanvas_clear_clip(canvas);
    }
    return 0;
  }

  LineCursor cursor{text, length, 0, false, (drawer->mode & FTDRAW_WRAP) != 0,
                    static_cast<int32_t>(std::min<int64_t>(inner_width, INT32_MAX)), canvas,
                    context};
  int64_t lines = 0;
  int32_t start = 0, count = 0;
  while (line_next(&cursor, &start, &count)) ++lines;

  Along horizontal, vertical;
  position_parts(drawer->mode & FTDRAW_ALIGN_MASK, &horizontal, &vertical);
  const int64_t line_height = fcanvas_text_height(canvas, context);
  const int64_t advance = line_height + drawer->line_spacing;
  const int64_t block = lines * line_height + (lines - 1) * drawer->line_spacing;
  int64_t y = inner_top + place(vertical, inner_height, block);

  cursor = LineCursor{text, length, 0, false, cursor.wrap, cursor.width, canvas, context};
  while (line_next(&cursor, &start, &count)) {
    // Lines wholly outside the clip are skipped: they cost a measure and draw nothing.
    const bool visible = y + line_height > clip.top && y <= clip.bottom;
    if (visible && count > 0) {
      const int64_t width = fcanvas_text_width(canvas, context, text + start, count);
      const int64_t x = inner_left + place(horizontal, inner_width, width);
      if (x >= INT32_MIN && x <= INT32_MAX) {
        fcanvas_text_out(canvas, context, FPoint{static_cast<int32_t>(x), static_cast<int32_t>(y)},
                         text + start, count);
      }
    }
    y += advance;
  }

  const int result = fcanvas_end_text(canvas, context);
  if (had_clip) {
    fcanvas_set_clip(canvas, &old_clip);
  } else {
    fcanvas_clear_clip(canvas);
  }
  return result;
}

// ---- Release ----------------------------------------------------------------------------

void ftdrawer_destroy(FTDrawer* drawer) {
  FCHECK(drawer != nullptr, "drawer!=null");
  delete drawer;
}
