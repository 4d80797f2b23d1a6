// The geometric tools through the two-point drag on a real screen, previews run by the
// active-object manager: the 16 recorded bytes, refused events, pixels against the same
// figures drawn straight with cairo, hand-worked damage and rectangle edges, the repaints
// the damage asks for, replay at another zoom, undo and redo, and previews over a painting
// larger than the screen.

#include "shape_geometric.h"

#include <cairo.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <numbers>
#include <string>
#include <vector>

#include "fbytes.h"
#include "fscreen.h"
#include "paint_context.h"
#include "paint_history.h"
#include "win_ao.h"

namespace {

namespace fs = std::filesystem;
constexpr double kPi = std::numbers::pi;
constexpr FColor kCanvas = 0xFFFAF0E1u;
constexpr FColor kInk = 0xFF1428C8u;
constexpr int32_t kPen = 3;

std::string text(FRect r) {
  return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) +
         "," + std::to_string(r.bottom);
}

enum class Kind { line, rect, roundrect, circle, polygon, rhombus, pentagram, heart };

struct Tool {
  uint32_t id;
  Kind kind;
  int32_t style;
  int32_t sides;  // polygons only
};

constexpr Tool kTools[] = {
    {2, Kind::line, 0, 0},        {101, Kind::rect, 1, 0},      {102, Kind::rect, 2, 0},
    {103, Kind::roundrect, 1, 0}, {104, Kind::roundrect, 2, 0}, {201, Kind::circle, 1, 0},
    {202, Kind::circle, 2, 0},    {203, Kind::circle, 3, 0},    {204, Kind::circle, 4, 0},
    {301, Kind::polygon, 1, 3},   {302, Kind::polygon, 2, 3},   {303, Kind::rhombus, 1, 4},
    {304, Kind::rhombus, 2, 4},   {305, Kind::polygon, 1, 5},   {306, Kind::polygon, 2, 5},
    {307, Kind::pentagram, 1, 0}, {308, Kind::pentagram, 2, 0}, {309, Kind::heart, 1, 0},
    {310, Kind::heart, 2, 0},
};

Shape* create_tool(const Tool& t, PaintContext* pc, PaintHistory* h) {
  switch (t.kind) {
    case Kind::line: return shape_line_create(t.id, u"Line", pc, h, nullptr);
    case Kind::rect: return shape_rect_create(t.id, u"Rect", pc, h, t.style, nullptr);
    case Kind::roundrect: return shape_roundrect_create(t.id, u"Round", pc, h, t.style, nullptr);
    case Kind::circle: return shape_circle_create(t.id, u"Ellipse", pc, h, t.style, nullptr);
    case Kind::pentagram: return shape_pentagram_create(t.id, u"Star", pc, h, t.style, nullptr);
    case Kind::heart: return shape_heart_create(t.id, u"Heart", pc, h, t.style, nullptr);
    default:
      return shape_polygon_create(
          t.id, u"Polygon", pc, h, t.style, t.sides,
          t.kind == Kind::rhombus ? SHAPE_POLYGON_INSCRIBED : SHAPE_POLYGON_REGULAR, nullptr);
  }
}

// Figures built from the direction S -> E. Their reference takes its angles from atan2 and
// its vertices from an index, the tools accumulate angles: one level of difference at most.
int tolerance(Kind kind) {
  return kind == Kind::polygon || kind == Kind::pentagram || kind == Kind::heart;
}

// ---- Reference figures: the same cairo calls, written out independently ----------------

using Image = std::vector<uint8_t>;  // ARGB32 rows, top first

Image blank(size_t pixels) {
  Image image(pixels * 4);
  for (size_t i = 0; i < image.size(); i += 4) fbytes_put_u32(&image[i], kCanvas);
  return image;
}

int max_difference(const Image& a, const Image& b) {
  int worst = a.size() == b.size() ? 0 : 256;
  for (size_t i = 0; i < a.size() && i < b.size(); ++i)
    worst = std::max(worst, std::abs(a[i] - b[i]));
  return worst;
}

void reference_round_rect(cairo_t* cr, double x, double y, double w, double h, double rx,
                          double ry) {
  double c1 = 0.55228475 * rx, c2 = 0.55228475 * ry;
  cairo_move_to(cr, x + rx, y);
  cairo_line_to(cr, x + w - rx, y);
  cairo_curve_to(cr, x + w - rx + c1, y, x + w, y + c2, x + w, y + ry);
  cairo_line_to(cr, x + w, y + h - ry);
  cairo_curve_to(cr, x + w, y + h - ry + c2, x + w - rx + c1, y + h, x + w - rx, y + h);
  cairo_line_to(cr, x + rx, y + h);
  cairo_curve_to(cr, x + rx - c1, y + h, x, y + h - c2, x, y + h - ry);
  cairo_line_to(cr, x, y + ry);
  cairo_curve_to(cr, x, y + ry - c2, x + rx - c1, y, x + rx, y);
  cairo_close_path(cr);
}

void reference_ellipse(cairo_t* cr, FRect box) {
  double w = box.right - box.left + 1, h = box.bottom - box.top + 1;
  cairo_save(cr);
  cairo_translate(cr, box.left + w / 2, box.top + h / 2);
  cairo_scale(cr, w / 2, h / 2);
  cairo_arc(cr, 0, 0, 1, 0, 2 * kPi);
  cairo_restore(cr);
}

// Circle styles square the box to one less than the shorter extent: dragged right and down
// from S's corner, otherwise from the right and bottom edges and one unit further out.
FRect reference_circle_box(int32_t style, FPoint s, FPoint e) {
  int32_t l = std::min(s.x, e.x), t = std::min(s.y, e.y);
  int32_t r = std::max(s.x, e.x), b = std::max(s.y, e.y);
  if (style < 3) return FRect{l, t, r, b};
  int32_t side = std::min(r - l, b - t);
  if (s.x <= e.x && s.y <= e.y) return FRect{l, t, l + side, t + side};
  if (r - l > b - t) return FRect{r - side - 1, t, r, b};
  return FRect{l, b - side - 1, r, b};
}

void reference_path(cairo_t* cr, const Tool& tool, FPoint s, FPoint e) {
  double d = std::hypot(e.x - s.x, e.y - s.y), theta = std::atan2(e.y - s.y, e.x - s.x);
  if (tolerance(tool.kind) && d == 0) return;
  int32_t l = std::min(s.x, e.x), t = std::min(s.y, e.y);
  int32_t r = std::max(s.x, e.x), b = std::max(s.y, e.y);
  switch (tool.kind) {
    case Kind::line:
      cairo_move_to(cr, s.x, s.y);
      cairo_line_to(cr, e.x, e.y);
      break;
    case Kind::rect: cairo_rectangle(cr, s.x, s.y, e.x - s.x + 1, e.y - s.y + 1); break;
    case Kind::roundrect: {
      int32_t w = r - l + 1, h = b - t + 1;
      reference_round_rect(cr, l, t, w, h, w < 40 ? w / 2 : 20, h < 40 ? h / 2 : 20);
      break;
    }
    case Kind::circle: reference_ellipse(cr, reference_circle_box(tool.style, s, e)); break;
    case Kind::rhombus: {
      double hw = (r - l + 1) / 2, hh = (b - t + 1) / 2, cx = l + hw, cy = t + hh;
      for (auto [x, y] : {std::pair{cx, cy - hh}, {cx + hw, cy}, {cx, cy + hh}, {cx - hw, cy}, {cx, cy - hh}})
        cairo_line_to(cr, x, y);
      break;
    }
    case Kind::polygon:
    case Kind::pentagram: {  // the star: ten vertices, the inner ones at 0.381966 d
      int n = tool.kind == Kind::polygon ? tool.sides : 10;
      cairo_move_to(cr, e.x, e.y);
      for (int i = 1; i <= n; ++i) {
        double a = theta + i * 2 * kPi / n;
        double radius = tool.kind == Kind::pentagram && i % 2 ? d * 0.3819660112501051 : d;
        cairo_line_to(cr, s.x + radius * std::cos(a), s.y + radius * std::sin(a));
      }
      break;
    }
    case Kind::heart:
      for (double side : {-1.0, 1.0}) {
        double a = theta + side * kPi / 3, b2 = theta + side * 2 * kPi / 7;
        cairo_move_to(cr, s.x, s.y);
        cairo_curve_to(cr, s.x + d * std::cos(a), s.y + d * std::sin(a), e.x + d * std::cos(b2),
                       e.y + d * std::sin(b2), e.x, e.y);
      }
      break;
  }
}

// ---- The bench ---------------------------------------------------------------------------

std::vector<std::string> g_repaints;  // the screen areas repainted, and how
PaintContext* g_context = nullptr;

class GeometricTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(faomngr_init(), 1);
    ASSERT_EQ(fscreen_create(&screen, 200, -150, 32), 1);
    fscreen_set_on_paint_background(&screen, [](FScreen*, const FRect* r) {
      g_repaints.push_back(text(*r) +
                           (paint_context_is_partial_repaint(g_context) ? " partial" : ""));
    });
    dir = std::string(std::getenv("PENLARK_HOME")) + "/" +
          testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::remove_all(dir);
    open(160, 120, 17, 11);
  }
  void TearDown() override {
    close();
    fscreen_release(&screen);
    faomngr_shutdown();
    fs::remove_all(dir);
  }

  // A painting of width x height whose top-left pixel is at (view_x, view_y) on the
  // 200 x 150 screen, with every tool.
  void open(int32_t width, int32_t height, int32_t view_x, int32_t view_y) {
    g_context = pc =
        paint_context_create(&screen, width, height, kInk, 0xFF000000u, kCanvas, kPen, 0, 0, 0);
    ASSERT_NE(pc, nullptr);
    paint_context_set_view(pc, view_x, view_y);
    history = paint_history_create(pc, dir.c_str());
    ASSERT_NE(history, nullptr);
    for (const Tool& t : kTools) {
      shapes.push_back(create_tool(t, pc, history));
      ASSERT_NE(shapes.back(), nullptr);
      ASSERT_EQ(paint_context_add_shape(pc, shapes.back()), 1);
    }
    paint_context_fill_base(pc);
  }
  void close() {
    for (Shape* shape : shapes) shape_geometric_free(shape);  // what every destroy does
    shapes.clear();
    if (history) paint_history_destroy(history);
    if (pc) paint_context_destroy(pc);
    history = nullptr;
    pc = nullptr;
  }

  Shape* tool(uint32_t id) { return paint_context_find_shape(pc, id); }
  ShapeTwoPoint* two_point(uint32_t id) { return reinterpret_cast<ShapeTwoPoint*>(tool(id)); }

  // Pen events in painting coordinates, sent as the screen positions they come from.
  int pen(Shape* shape, int32_t event, FPoint p) {
    FPoint view = paint_context_get_view(pc);
    return shape_on_pen(shape, event, p.x + view.x, p.y + view.y, 0);
  }
  // A drag with a detour whose preview the final frame must erase.
  void drag(Shape* shape, FPoint from, FPoint to) {
    ASSERT_EQ(pen(shape, FPOINTER_DOWN, from), 1);
    ASSERT_EQ(pen(shape, FPOINTER_MOVE, FPoint{to.x + 13, to.y - 9}), 1);
    faomngr_run_due();
    ASSERT_EQ(pen(shape, FPOINTER_MOVE, to), 1);
    faomngr_run_due();
    ASSERT_EQ(pen(shape, FPOINTER_UP, to), 1);
  }
  // Loads S and E as a step would and draws once at scale 1.
  void draw_direct(uint32_t id, FPoint s, FPoint e, double scale = 1.0) {
    uint8_t data[16];
    for (int i = 0; i < 4; ++i) fbytes_put_i32(data + 4 * i, std::array{s.x, s.y, e.x, e.y}[i]);
    shape_load(tool(id), data, 16);
    shape_draw(tool(id), paint_context_get_renderer(pc), nullptr, scale);
  }
  void clear() {
    paint_history_reset(history);
    paint_context_fill_base(pc);
  }

  Image painting() {  // the painting's rows are top-down and 4 x width bytes apart
    FBitmap* bitmap = paint_context_get_painting(pc);
    cairo_surface_flush(pc->renderer_surface);
    const uint8_t* top = fbitmap_row(bitmap, 0);
    return Image(top, top + fbitmap_get_width(bitmap) * fbitmap_get_height(bitmap) * 4);
  }
  FColor pixel(int32_t x, int32_t y) {
    cairo_surface_flush(pc->renderer_surface);
    return fbitmap_get_pixel(paint_context_get_painting(pc), x, y);
  }
  // `path` as a figure of `kind` and `style` over `base` (blank by default), at `scale`,
  // set up as every painter sets up: the fore colour, line width pen x scale, round caps
  // but on rectangles, round joins but on lines, rectangles and ellipses.
  template <typename Path>
  Image expected(Kind kind, int32_t style, Path path, double scale = 1.0, Image image = {}) {
    FBitmap* bitmap = paint_context_get_painting(pc);
    int32_t w = fbitmap_get_width(bitmap), h = fbitmap_get_height(bitmap);
    if (image.empty()) image = blank(w * h);
    cairo_surface_t* surface =
        cairo_image_surface_create_for_data(image.data(), CAIRO_FORMAT_ARGB32, w, h, w * 4);
    cairo_t* cr = cairo_create(surface);
    cairo_set_line_width(cr, paint_context_get_pen_size(pc) * scale);
    FColor ink = paint_context_get_fore_color(pc);
    cairo_set_source_rgba(cr, fcolor_red(ink) / 255.0, fcolor_green(ink) / 255.0,
                          fcolor_blue(ink) / 255.0, fcolor_alpha(ink) / 255.0);
    if (kind > Kind::rect && kind != Kind::circle) cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    if (kind != Kind::rect) cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_scale(cr, scale, scale);
    path(cr);
    cairo_identity_matrix(cr);
    style == 2 || style == 4 ? cairo_fill(cr) : cairo_stroke(cr);
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
    return image;
  }
  Image figure(const Tool& t, FPoint s, FPoint e, double scale = 1.0, Image base = {}) {
    auto path = [&](cairo_t* cr) { reference_path(cr, t, s, e); };
    return expected(t.kind, t.style, path, scale, std::move(base));
  }

  std::string dir;
  FScreen screen{};
  PaintContext* pc = nullptr;
  PaintHistory* history = nullptr;
  std::vector<Shape*> shapes;
};

// ---- The drag ------------------------------------------------------------------------------

TEST_F(GeometricTest, EachToolRecordsItsDragAndDrawsTheFigureAndUndoRedoRebuildExactly) {
  // Every tool dragged in the four directions, each step over the ones before, in a colour
  // of its own (some translucent) and pen sizes that change. Odd steps lift the pen before
  // their preview ran: pen up must draw it before the step (and with the 25th, 50th and
  // 75th, a checkpoint) is recorded, and the cancelled preview must not run again.
  const FPoint drags[][2] = {{{40, 30}, {95, 80}},    // right and down
                             {{110, 90}, {62, 41}},   // left and up
                             {{50, 95}, {90, 60}},    // right and up
                             {{120, 20}, {85, 70}}};  // left and down
  std::vector<Image> after{painting()};
  for (int i = 0; i < 4 * static_cast<int>(std::size(kTools)); ++i) {
    const Tool& t = kTools[i / 4];
    FPoint s = drags[i % 4][0], e = drags[i % 4][1];
    SCOPED_TRACE(testing::Message() << "tool " << t.id << " from " << s.x << "," << s.y);
    paint_context_set_fore_color(pc, fcolor_make(i * 3, 255 - i * 3, 100, i % 3 ? 255 : 140));
    paint_context_set_pen_size(pc, 1 + i % 5);
    if (i % 2 == 0) {
      drag(tool(t.id), s, e);
    } else {
      ASSERT_EQ(pen(tool(t.id), FPOINTER_DOWN, s), 1);
      ASSERT_EQ(pen(tool(t.id), FPOINTER_MOVE, e), 1);
      ASSERT_EQ(pen(tool(t.id), FPOINTER_UP, e), 1);
      faomngr_run_due();
    }
    ASSERT_EQ(paint_history_get_count(history), i + 1);
    const PaintStep* step = paint_history_get_step(history, i);
    EXPECT_EQ(step->type, static_cast<int32_t>(t.id));
    auto b = [](int32_t v) { return static_cast<uint8_t>(v); };
    EXPECT_EQ(
        std::vector<uint8_t>(step->data, step->data + step->data_size),
        (std::vector<uint8_t>{b(s.x), 0, 0, 0, b(s.y), 0, 0, 0, b(e.x), 0, 0, 0, b(e.y), 0, 0, 0}));
    EXPECT_LE(max_difference(painting(), figure(t, s, e, 1.0, after.back())), tolerance(t.kind));
    after.push_back(painting());
  }
  ASSERT_EQ(paint_history_get_checkpoint_count(history), 3);
  for (int i = static_cast<int>(after.size()) - 2; i >= 0; --i) {
    paint_history_undo(history);
    EXPECT_EQ(max_difference(painting(), after[i]), 0) << "undo to " << i - 1;
  }
  for (size_t i = 1; i < after.size(); ++i) {
    paint_history_redo(history);
    EXPECT_EQ(max_difference(painting(), after[i]), 0) << "redo to " << i - 1;
  }
}

TEST_F(GeometricTest, RefusedEventsStrokesThatEndWhereTheyStartedAndReplayAtTwiceTheZoom) {
  const FPoint p{70, 50}, away{100, 85};
  for (const Tool& t : kTools) {
    SCOPED_TRACE(testing::Message() << "tool " << t.id);
    clear();
    Shape* shape = tool(t.id);
    Image base = painting();
    EXPECT_EQ(pen(shape, FPOINTER_MOVE, away), 0);
    EXPECT_EQ(pen(shape, FPOINTER_UP, away), 0);

    // Down and up at one point: nothing recorded, nothing drawn.
    EXPECT_EQ(pen(shape, FPOINTER_DOWN, p), 1);
    EXPECT_EQ(pen(shape, 4, p), 0);
    EXPECT_EQ(pen(shape, FPOINTER_UP, p), 1);
    EXPECT_EQ(shape->active, 0);
    faomngr_run_due();
    EXPECT_EQ(max_difference(painting(), base), 0);
    // Away and back: still nothing recorded; the frame from p to p stays (a dot or nothing,
    // as the figure has it), the one away is gone.
    ASSERT_EQ(pen(shape, FPOINTER_DOWN, p), 1);
    ASSERT_EQ(pen(shape, FPOINTER_MOVE, away), 1);
    faomngr_run_due();
    EXPECT_NE(max_difference(painting(), base), 0);
    ASSERT_EQ(pen(shape, FPOINTER_MOVE, p), 1);
    ASSERT_EQ(pen(shape, FPOINTER_UP, p), 1);  // the frame back at p has not run yet
    EXPECT_EQ(paint_history_get_count(history), 0);
    EXPECT_EQ(max_difference(painting(), figure(t, p, p)), 0);

    // A step replayed at twice the zoom: coordinates scaled by 2, the line width 2 x the pen.
    drag(shape, p, away);
    ASSERT_EQ(paint_context_set_zoom(pc, 2.0), 1);
    paint_history_rebuild(history);
    EXPECT_LE(max_difference(painting(), figure(t, p, away, 2.0)), tolerance(t.kind));
    ASSERT_EQ(paint_context_set_zoom(pc, 1.0), 1);
  }

  // A tool destroyed with its preview still pending never runs it.
  Shape* line = shape_line_create(2, u"Line", pc, history, nullptr);
  ASSERT_EQ(pen(line, FPOINTER_DOWN, p), 1);
  ASSERT_EQ(pen(line, FPOINTER_MOVE, away), 1);
  Image before = painting();
  shape_line_destroy(line);
  faomngr_run_due();
  EXPECT_EQ(max_difference(painting(), before), 0);
}

// ---- Hand-worked figures -------------------------------------------------------------------

TEST_F(GeometricTest, DamageBoundsEachFigureAndPaintersLeaveTheRendererAsFound) {
  // Bounds widened by 3 + 1, united with S.
  struct Case {
    uint32_t id;
    FPoint s, e;
    FRect damage;
  };
  const Case cases[] = {
      {102, {20, 30}, {10, 10}, {6, 6, 24, 34}},
      {304, {0, 0}, {9, 19}, {-4, -4, 13, 23}},         // inscribed: the drag rectangle
      {302, {100, 60}, {150, 60}, {46, 6, 154, 114}},   // regular: the circle through E
      {308, {80, 60}, {80, 10}, {26, 6, 134, 114}},     // the star likewise
      {104, {50, 40}, {10, 10}, {6, 6, 54, 44}},
      // The heart: the control points (149.3, 60), (142.5, 149.9), (10.7, 60), (17.5, 149.9).
      {310, {80, 20}, {80, 100}, {6, 16, 153, 153}},
      // A square box dragged back grows upwards: (10, 9)-(20, 20).
      {203, {20, 20}, {10, 10}, {6, 5, 24, 24}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.id);
    two_point(c.id)->damaged = FRect{c.s.x, c.s.y, c.s.x, c.s.y};
    draw_direct(c.id, c.s, c.e);
    EXPECT_EQ(text(two_point(c.id)->damaged), text(c.damage));
  }

  // Every painter leaves the shared renderer as it found it: a rectangle drawn after a
  // polygon keeps cairo's default mitres, as in a replay from a fresh renderer.
  draw_direct(301, {100, 60}, {130, 60});
  EXPECT_EQ(cairo_get_line_join(paint_context_get_renderer(pc)), CAIRO_LINE_JOIN_MITER);
}

TEST_F(GeometricTest, RoundRectangleRadiiHalveOnShortSides) {
  // Radius 20 unless 20 > side - 20, then half the side as an integer.
  struct Round {
    FRect r;
    int32_t rx, ry;
  };
  const Round rounds[] = {
      {{10, 10, 39, 59}, 15, 20},  // width 30: 20 > 30 - 20
      {{10, 10, 49, 48}, 20, 19},  // 40 keeps 20 (20 > 20 is false); 39 halves to 19
      {{10, 10, 12, 11}, 1, 1},    // 3 and 2 halve to 1
      {{10, 10, 10, 10}, 0, 0},    // a single pixel is a plain square
  };
  for (int32_t style : {1, 2}) {
    for (const Round& c : rounds) {
      SCOPED_TRACE(testing::Message() << style << " width " << frect_width(c.r));
      clear();
      // Dragged from the bottom-right corner: the figure is built from the normalised R.
      draw_direct(102 + style, {c.r.right, c.r.bottom}, {c.r.left, c.r.top});
      auto path = [&](cairo_t* cr) {
        reference_round_rect(cr, c.r.left, c.r.top, frect_width(c.r), frect_height(c.r), c.rx, c.ry);
      };
      EXPECT_EQ(max_difference(painting(), expected(Kind::roundrect, style, path)), 0);
    }
  }
}

// ---- Damage and stored steps -------------------------------------------------------------

TEST_F(GeometricTest, FramesRepaintTheDamagedUnionAndExtremeStepsDrawWithoutFault) {
  // Moves only schedule. Each frame repaints its damage united with all before, from the
  // initial (0, 0, 0, 0), through the view at (17, 11) and cut to the painting; pen up
  // repaints the final figure once more. (26, 36)-(74, 54) is (30, 40)-(70, 50) widened
  // by 3 + 1.
  Shape* line = tool(2);
  g_repaints.clear();
  ASSERT_EQ(pen(line, FPOINTER_DOWN, {30, 40}), 1);
  ASSERT_EQ(pen(line, FPOINTER_MOVE, {70, 50}), 1);
  EXPECT_TRUE(g_repaints.empty());
  faomngr_run_due();
  ASSERT_EQ(pen(line, FPOINTER_MOVE, {140, 185}), 1);  // off the painting
  faomngr_run_due();
  ASSERT_EQ(pen(line, FPOINTER_UP, {140, 185}), 1);
  EXPECT_EQ(g_repaints, (std::vector<std::string>{"17,11,91,65 partial", "17,11,161,130 partial",
                                                  "17,11,161,130 partial"}));
  // Never reset: a later stroke far from the origin still repaints from it.
  drag(line, {100, 100}, {110, 105});
  EXPECT_EQ(text(two_point(2)->damaged), "0,0,144,189");

  // A document may carry any four i32: no overflow, and the damage stays normalised.
  const FPoint extremes[][2] = {{{INT32_MIN, INT32_MIN}, {INT32_MAX, INT32_MAX}},
                                {{INT32_MAX, 0}, {INT32_MIN, 5}},
                                {{0, 0}, {1, INT32_MAX}},
                                {{INT32_MIN, INT32_MAX}, {INT32_MIN, INT32_MAX}}};
  for (const Tool& t : kTools) {
    for (const auto& c : extremes) {
      for (double scale : {1.0, 2.0}) {
        draw_direct(t.id, c[0], c[1], scale);
        FRect d = two_point(t.id)->damaged;
        EXPECT_LE(d.left, d.right) << t.id;
        EXPECT_LE(d.top, d.bottom) << t.id;
      }
    }
  }
  // The line's bounds reach the whole i32 range: clamped, not wrapped.
  EXPECT_TRUE(
      frect_equal(two_point(2)->damaged, FRect{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX}));
  EXPECT_EQ(cairo_status(paint_context_get_renderer(pc)), CAIRO_STATUS_SUCCESS);
  // A step of the wrong size is ignored.
  shape_load(tool(2), reinterpret_cast<const uint8_t*>("0123456789abcdefX"), 17);
  EXPECT_EQ(two_point(2)->start_x, INT32_MIN);
}

// ---- Replay and the visible part -----------------------------------------------------------

TEST_F(GeometricTest, PreviewsOverAPaintingLargerThanTheScreenTouchOnlyTheVisiblePart) {
  // 300 x 220 at (-50, -20) on the 200 x 150 screen: painting pixels 50..249 x 20..169 are
  // visible and backed up; a preview must not draw anywhere else.
  close();
  open(300, 220, -50, -20);
  Image base = painting();
  Shape* circle = tool(201);
  const FPoint s{150, 100}, e{270, 185};  // the final box reaches past the screen too
  ASSERT_EQ(pen(circle, FPOINTER_DOWN, s), 1);
  ASSERT_EQ(pen(circle, FPOINTER_MOVE, FPoint{290, 210}), 1);
  faomngr_run_due();
  Image preview = painting();
  EXPECT_NE(max_difference(preview, base), 0);
  for (int32_t y = 0; y < 220; ++y) {
    for (int32_t x = 0; x < 300; ++x) {
      if (x >= 50 && x < 250 && y >= 20 && y < 170) continue;
      ASSERT_EQ(fbytes_get_u32(&preview[(y * 300 + x) * 4]), kCanvas) << x << "," << y;
    }
  }
  ASSERT_EQ(pen(circle, FPOINTER_MOVE, e), 1);
  faomngr_run_due();
  ASSERT_EQ(pen(circle, FPOINTER_UP, e), 1);
  // The committed figure is whole, off-screen parts included, and no earlier frame is left.
  Image committed = painting();
  EXPECT_EQ(max_difference(committed, figure(kTools[5], s, e)), 0);
  paint_history_rebuild(history);
  EXPECT_EQ(max_difference(painting(), committed), 0);
}

}  // namespace
