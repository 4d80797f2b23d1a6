// The geometric tools through the two-point drag, with previews run from the active-object
// manager: the 16 bytes each tool records, the pen events it must refuse, strokes that end
// where they started, pixels compared with the same figures drawn straight with cairo and
// with hand-worked corners, vertices, radii and lobes, the circle's squaring both ways, the
// damaged rectangle, replay at twice the zoom, undo and redo over a mixed session, previews
// over a painting larger than the screen, and the repaint requests a real screen receives.

#include "shape_geometric.h"

#include <cairo.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <numbers>
#include <string>
#include <vector>

#include "fbytes.h"
#include "fscreen.h"
#include "fsurface.h"
#include "paint_context.h"
#include "paint_history.h"
#include "win_ao.h"

namespace {

namespace fs = std::filesystem;
constexpr double kPi = std::numbers::pi;

enum class Kind { line, rect, roundrect, circle, polygon, rhombus, pentagram, heart };

struct Tool {
  uint32_t id;
  Kind kind;
  int32_t style;
  int32_t sides;  // polygons only
};

constexpr Tool kTools[] = {
    {2, Kind::line, 0, 0},         {101, Kind::rect, 1, 0},      {102, Kind::rect, 2, 0},
    {103, Kind::roundrect, 1, 0},  {104, Kind::roundrect, 2, 0}, {201, Kind::circle, 1, 0},
    {202, Kind::circle, 2, 0},     {203, Kind::circle, 3, 0},    {204, Kind::circle, 4, 0},
    {301, Kind::polygon, 1, 3},    {302, Kind::polygon, 2, 3},   {303, Kind::rhombus, 1, 4},
    {304, Kind::rhombus, 2, 4},    {305, Kind::polygon, 1, 5},   {306, Kind::polygon, 2, 5},
    {307, Kind::pentagram, 1, 0},  {308, Kind::pentagram, 2, 0}, {309, Kind::heart, 1, 0},
    {310, Kind::heart, 2, 0},
};

Shape* create_tool(const Tool& t, PaintContext* pc, PaintHistory* history) {
  switch (t.kind) {
    case Kind::line: return shape_line_create(t.id, u"Line", pc, history, nullptr);
    case Kind::rect: return shape_rect_create(t.id, u"Rect", pc, history, t.style, nullptr);
    case Kind::roundrect:
      return shape_roundrect_create(t.id, u"Round", pc, history, t.style, nullptr);
    case Kind::circle: return shape_circle_create(t.id, u"Ellipse", pc, history, t.style, nullptr);
    case Kind::polygon:
      return shape_polygon_create(t.id, u"Polygon", pc, history, t.style, t.sides,
                                  SHAPE_POLYGON_REGULAR, nullptr);
    case Kind::rhombus:
      return shape_polygon_create(t.id, u"Rhombus", pc, history, t.style, t.sides,
                                  SHAPE_POLYGON_INSCRIBED, nullptr);
    case Kind::pentagram:
      return shape_pentagram_create(t.id, u"Star", pc, history, t.style, nullptr);
    case Kind::heart: return shape_heart_create(t.id, u"Heart", pc, history, t.style, nullptr);
  }
  return nullptr;
}

void destroy_tool(const Tool& t, Shape* shape) {
  switch (t.kind) {
    case Kind::line: shape_line_destroy(shape); break;
    case Kind::rect: shape_rect_destroy(shape); break;
    case Kind::roundrect: shape_roundrect_destroy(shape); break;
    case Kind::circle: shape_circle_destroy(shape); break;
    case Kind::polygon:
    case Kind::rhombus: shape_polygon_destroy(shape); break;
    case Kind::pentagram: shape_pentagram_destroy(shape); break;
    case Kind::heart: shape_heart_destroy(shape); break;
  }
}

bool needs_direction(Kind kind) {
  return kind == Kind::polygon || kind == Kind::pentagram || kind == Kind::heart;
}

// ---- Reference figures: the same cairo calls, written out here independently ----------

struct Image {
  int32_t width = 0, height = 0;
  std::vector<uint8_t> pixels;  // ARGB32 rows, top first, 4 x width bytes each
};

Image blank(int32_t width, int32_t height, FColor color) {
  Image image{width, height, std::vector<uint8_t>(static_cast<size_t>(width) * height * 4)};
  for (size_t i = 0; i < image.pixels.size(); i += 4) fbytes_put_u32(&image.pixels[i], color);
  return image;
}

int max_difference(const Image& a, const Image& b) {
  if (a.width != b.width || a.height != b.height) return 256;
  int worst = 0;
  for (size_t i = 0; i < a.pixels.size(); ++i) worst = std::max(worst, std::abs(a.pixels[i] - b.pixels[i]));
  return worst;
}

struct Painter {
  cairo_surface_t* surface;
  cairo_t* cr;
  explicit Painter(Image* image)
      : surface(cairo_image_surface_create_for_data(image->pixels.data(), CAIRO_FORMAT_ARGB32,
                                                    image->width, image->height,
                                                    image->width * 4)),
        cr(cairo_create(surface)) {}
  ~Painter() {
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
  }
};

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

// The circle styles square the box to one less than the shorter extent; dragged right and
// down from S's corner, in other directions from the right and bottom edges and one unit
// further out.
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
  double dx = e.x - s.x, dy = e.y - s.y, d = std::hypot(dx, dy);
  double theta = std::atan2(dy, dx);
  if (needs_direction(tool.kind) && d == 0) return;
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
    case Kind::polygon:
      cairo_move_to(cr, e.x, e.y);
      for (int i = 1; i <= tool.sides; ++i) {
        double a = theta + i * 2 * kPi / tool.sides;
        cairo_line_to(cr, s.x + d * std::cos(a), s.y + d * std::sin(a));
      }
      break;
    case Kind::rhombus: {
      double hw = (r - l + 1) / 2, hh = (b - t + 1) / 2, cx = l + hw, cy = t + hh;
      cairo_move_to(cr, cx, t);
      cairo_line_to(cr, cx + hw, cy);
      cairo_line_to(cr, cx, cy + hh);
      cairo_line_to(cr, cx - hw, cy);
      cairo_line_to(cr, cx, cy - hh);
      break;
    }
    case Kind::pentagram:
      cairo_move_to(cr, e.x, e.y);
      for (int i = 1; i <= 10; ++i) {
        double a = theta + i * kPi / 5, radius = i % 2 ? d * 0.3819660112501051 : d;
        cairo_line_to(cr, s.x + radius * std::cos(a), s.y + radius * std::sin(a));
      }
      break;
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

// The figure of `tool` for S and E over `image`, at `scale` with a line width of
// pen x scale, set up as every painter sets up.
void draw_reference(Image* image, const Tool& tool, FPoint s, FPoint e, int32_t pen, FColor ink,
                    double scale) {
  Painter p(image);
  cairo_set_line_width(p.cr, pen * scale);
  cairo_set_source_rgba(p.cr, fcolor_red(ink) / 255.0, fcolor_green(ink) / 255.0,
                        fcolor_blue(ink) / 255.0, fcolor_alpha(ink) / 255.0);
  if (tool.kind != Kind::line && tool.kind != Kind::rect && tool.kind != Kind::circle) {
    cairo_set_line_join(p.cr, CAIRO_LINE_JOIN_ROUND);
  }
  if (tool.kind != Kind::rect) cairo_set_line_cap(p.cr, CAIRO_LINE_CAP_ROUND);
  cairo_save(p.cr);
  cairo_scale(p.cr, scale, scale);
  reference_path(p.cr, tool, s, e);
  cairo_restore(p.cr);
  if (tool.style == 2 || tool.style == 4) {
    cairo_fill(p.cr);
  } else {
    cairo_stroke(p.cr);
  }
}

// Figures whose reference takes its angles from atan2 and its vertices from an index may
// land a 1/256 pixel step apart from the tool's accumulated angles: one level at most.
int tolerance(Kind kind) { return needs_direction(kind) ? 1 : 0; }

// ---- The bench ---------------------------------------------------------------------------

constexpr FColor kCanvas = 0xFFFAF0E1u;
constexpr FColor kInk = 0xFF1428C8u;
constexpr int32_t kPen = 3;
constexpr int32_t kScreenWidth = 200, kScreenHeight = 150;

class GeometricTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(faomngr_init(), 1);
    const char* home = std::getenv("PENLARK_HOME");
    ASSERT_NE(home, nullptr);
    dir = std::string(home) + "/" + testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::remove_all(dir);
    open(160, 120, 17, 11);
  }
  void TearDown() override {
    close();
    faomngr_shutdown();
    fs::remove_all(dir);
  }

  // A painting of width x height whose top-left pixel is at (view_x, view_y) on the screen.
  void open(int32_t width, int32_t height, int32_t view_x, int32_t view_y) {
    pc = paint_context_create(nullptr, width, height, kInk, 0xFF000000u, kCanvas, kPen, 0, 0, 0);
    ASSERT_NE(pc, nullptr);
    paint_context_set_screen_size(pc, kScreenWidth, kScreenHeight);
    paint_context_set_view(pc, view_x, view_y);
    history = paint_history_create(pc, dir.c_str());
    ASSERT_NE(history, nullptr);
    for (const Tool& t : kTools) {
      Shape* shape = create_tool(t, pc, history);
      ASSERT_NE(shape, nullptr);
      shapes.push_back(shape);
      ASSERT_EQ(paint_context_add_shape(pc, shape), 1);
    }
    paint_context_fill_base(pc);
  }
  void close() {
    for (size_t i = 0; i < shapes.size(); ++i) destroy_tool(kTools[i], shapes[i]);
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
  void draw_direct(uint32_t id, FPoint s, FPoint e) {
    uint8_t data[16];
    fbytes_put_i32(data, s.x);
    fbytes_put_i32(data + 4, s.y);
    fbytes_put_i32(data + 8, e.x);
    fbytes_put_i32(data + 12, e.y);
    shape_load(tool(id), data, 16);
    shape_draw(tool(id), paint_context_get_renderer(pc), nullptr, 1.0);
  }
  void clear() {
    paint_history_reset(history);
    paint_context_fill_base(pc);
  }

  Image painting() {
    FBitmap* bitmap = paint_context_get_painting(pc);
    cairo_surface_flush(pc->renderer_surface);
    Image image{fbitmap_get_width(bitmap), fbitmap_get_height(bitmap), {}};
    for (int32_t y = 0; y < image.height; ++y) {
      const uint8_t* row = fbitmap_row(bitmap, y);
      image.pixels.insert(image.pixels.end(), row, row + image.width * 4);
    }
    return image;
  }
  FColor pixel(int32_t x, int32_t y) {
    cairo_surface_flush(pc->renderer_surface);
    return fbitmap_get_pixel(paint_context_get_painting(pc), x, y);
  }
  Image figure(const Tool& t, FPoint s, FPoint e, double scale = 1.0) {
    FBitmap* bitmap = paint_context_get_painting(pc);
    Image image = blank(fbitmap_get_width(bitmap), fbitmap_get_height(bitmap), kCanvas);
    draw_reference(&image, t, s, e, kPen, kInk, scale);
    return image;
  }

  std::string dir;
  PaintContext* pc = nullptr;
  PaintHistory* history = nullptr;
  std::vector<Shape*> shapes;
};

// ---- The drag --------------------------------------------------------------------------

TEST_F(GeometricTest, EachToolRecordsItsDragAndDrawsTheFigure) {
  const FPoint drags[][2] = {{{40, 30}, {95, 80}},    // right and down
                             {{110, 90}, {62, 41}},   // left and up
                             {{50, 95}, {90, 60}},    // right and up
                             {{120, 20}, {85, 70}}};  // left and down
  for (const Tool& t : kTools) {
    for (const auto& d : drags) {
      SCOPED_TRACE(testing::Message() << "tool " << t.id << " from " << d[0].x << "," << d[0].y);
      clear();
      drag(tool(t.id), d[0], d[1]);
      EXPECT_EQ(tool(t.id)->active, 0);
      ASSERT_EQ(paint_history_get_count(history), 1);
      const PaintStep* step = paint_history_get_step(history, 0);
      EXPECT_EQ(step->type, static_cast<int32_t>(t.id));
      ASSERT_EQ(step->data_size, 16);
      const uint8_t expected[16] = {
          static_cast<uint8_t>(d[0].x), 0, 0, 0, static_cast<uint8_t>(d[0].y), 0, 0, 0,
          static_cast<uint8_t>(d[1].x), 0, 0, 0, static_cast<uint8_t>(d[1].y), 0, 0, 0};
      EXPECT_EQ(std::vector<uint8_t>(step->data, step->data + 16),
                std::vector<uint8_t>(expected, expected + 16));
      Image drawn = painting();
      EXPECT_LE(max_difference(drawn, figure(t, d[0], d[1])), tolerance(t.kind));
      EXPECT_NE(max_difference(drawn, blank(drawn.width, drawn.height, kCanvas)), 0);
    }
  }
}

TEST_F(GeometricTest, PenEventsOutsideAStrokeAndStrokesThatEndWhereTheyStarted) {
  const FPoint p{70, 50}, away{100, 85};
  for (const Tool& t : kTools) {
    SCOPED_TRACE(testing::Message() << "tool " << t.id);
    clear();
    Shape* shape = tool(t.id);
    Image base = painting();
    EXPECT_EQ(pen(shape, FPOINTER_MOVE, away), 0);
    EXPECT_EQ(pen(shape, FPOINTER_UP, away), 0);
    EXPECT_EQ(pen(shape, 4, away), 0);

    // Down and up at one point: nothing recorded, nothing drawn.
    EXPECT_EQ(pen(shape, FPOINTER_DOWN, p), 1);
    EXPECT_EQ(shape->active, 1);
    EXPECT_EQ(pen(shape, 4, p), 0);
    EXPECT_EQ(pen(shape, FPOINTER_UP, p), 1);
    EXPECT_EQ(shape->active, 0);
    faomngr_run_due();
    EXPECT_EQ(paint_history_get_count(history), 0);
    EXPECT_EQ(max_difference(painting(), base), 0);

    // Away and back: still nothing recorded, and the last frame (the figure from p to p)
    // stays, while the frame drawn away from p is gone.
    ASSERT_EQ(pen(shape, FPOINTER_DOWN, p), 1);
    ASSERT_EQ(pen(shape, FPOINTER_MOVE, away), 1);
    faomngr_run_due();
    EXPECT_NE(max_difference(painting(), base), 0);
    ASSERT_EQ(pen(shape, FPOINTER_MOVE, p), 1);
    faomngr_run_due();
    ASSERT_EQ(pen(shape, FPOINTER_UP, p), 1);
    faomngr_run_due();
    EXPECT_EQ(paint_history_get_count(history), 0);
    EXPECT_EQ(shape->active, 0);
    Image drawn = painting();
    EXPECT_EQ(max_difference(drawn, figure(t, p, p)), 0);
    // A figure with no direction draws nothing at all, nor does a filled rhombus of no
    // area; the others leave a dot or a pixel.
    bool draws = !needs_direction(t.kind) && !(t.kind == Kind::rhombus && t.style == 2);
    EXPECT_EQ(max_difference(drawn, base) != 0, draws);
  }

  // A tool destroyed with its preview still pending never runs it.
  Shape* line = shape_line_create(2, u"Line", pc, history, nullptr);
  ASSERT_NE(line, nullptr);
  ASSERT_EQ(pen(line, FPOINTER_DOWN, p), 1);
  ASSERT_EQ(pen(line, FPOINTER_MOVE, away), 1);
  Image before = painting();
  shape_line_destroy(line);
  faomngr_run_due();
  EXPECT_EQ(max_difference(painting(), before), 0);
}

TEST_F(GeometricTest, PenUpDrawsAPreviewThatHasNotRunYetBeforeTheStepIsRecorded) {
  // Down, move, up within one turn of the loop: the preview never ran, yet the painting
  // holds the figure when the step (and with the 25th, checkpoint 0) is recorded.
  std::vector<Image> after;
  for (int i = 0; i < 26; ++i) {
    const Tool& t = kTools[i % std::size(kTools)];
    FPoint s{20 + (i * 7) % 100, 15 + (i * 11) % 80}, e{s.x + 30, s.y + 25 - (i % 3) * 20};
    Shape* shape = tool(t.id);
    // A colour of its own, so that no figure can vanish into an earlier one.
    if (i > 0) paint_context_set_fore_color(pc, fcolor_make(i * 9, 255 - i * 9, 100, 255));
    ASSERT_EQ(pen(shape, FPOINTER_DOWN, s), 1);
    ASSERT_EQ(pen(shape, FPOINTER_MOVE, e), 1);
    Image before = painting();
    ASSERT_EQ(pen(shape, FPOINTER_UP, e), 1);
    if (i == 0) {
      EXPECT_EQ(max_difference(painting(), figure(t, s, e)), 0);
    }
    Image committed = painting();
    faomngr_run_due();  // the cancelled preview does not run again
    EXPECT_EQ(max_difference(painting(), committed), 0);
    EXPECT_NE(max_difference(committed, before), 0) << i;
    after.push_back(committed);
  }
  ASSERT_EQ(paint_history_get_checkpoint_count(history), 1);
  paint_history_undo(history);  // steps 0..24 replayed from the base
  EXPECT_EQ(max_difference(painting(), after[24]), 0);
  paint_history_redo(history);  // checkpoint 0, then step 25
  EXPECT_EQ(max_difference(painting(), after[25]), 0);
}

// ---- Hand-worked figures -------------------------------------------------------------

TEST_F(GeometricTest, RectangleFollowsTheDragAsItComesWithMitredCorners) {
  // Dragged right and down it covers S to E inclusive.
  draw_direct(102, {10, 10}, {20, 30});
  EXPECT_EQ(pixel(10, 10), kInk);
  EXPECT_EQ(pixel(20, 30), kInk);
  EXPECT_EQ(pixel(9, 10), kCanvas);
  EXPECT_EQ(pixel(10, 9), kCanvas);
  EXPECT_EQ(pixel(21, 30), kCanvas);
  EXPECT_EQ(pixel(20, 31), kCanvas);
  // Dragged back it is (20, 30, -9, -19): from E + 1 to S, that is pixels 11..19 across
  // and 11..29 down, so neither E's nor S's own pixel is covered.
  clear();
  draw_direct(102, {20, 30}, {10, 10});
  EXPECT_EQ(pixel(11, 11), kInk);
  EXPECT_EQ(pixel(19, 29), kInk);
  EXPECT_EQ(pixel(10, 10), kCanvas);
  EXPECT_EQ(pixel(10, 20), kCanvas);
  EXPECT_EQ(pixel(15, 10), kCanvas);
  EXPECT_EQ(pixel(20, 20), kCanvas);
  EXPECT_EQ(pixel(15, 30), kCanvas);
  EXPECT_EQ(pixel(20, 30), kCanvas);

  // The outline straddles the rectangle's edges; drawn right after a polygon (round joins)
  // its corners are still cairo's default mitres, as in a replay from a fresh renderer.
  clear();
  paint_context_set_pen_size(pc, 2);
  draw_direct(301, {100, 60}, {130, 60});
  draw_direct(101, {10, 10}, {20, 30});  // the cairo rectangle (10, 10, 11, 21)
  for (int32_t x : {9, 10, 20, 21}) EXPECT_EQ(pixel(x, 15), kInk) << x;
  for (int32_t x : {8, 11, 19, 22}) EXPECT_EQ(pixel(x, 15), kCanvas) << x;
  EXPECT_EQ(pixel(9, 9), kInk);
  EXPECT_EQ(pixel(21, 31), kInk);
  EXPECT_EQ(cairo_get_line_join(paint_context_get_renderer(pc)), CAIRO_LINE_JOIN_MITER);
}

TEST_F(GeometricTest, CircleSquaresTheBoxBothWays) {
  struct Case {
    FPoint s, e;
    FRect box;
  };
  const Case cases[] = {
      {{10, 10}, {40, 20}, {10, 10, 20, 20}},  // right and down, wide: 11 x 11 at S
      {{10, 10}, {20, 40}, {10, 10, 20, 20}},  // right and down, tall
      {{40, 20}, {10, 10}, {29, 10, 40, 20}},  // left and up, wide: 12 x 11
      {{20, 40}, {10, 10}, {10, 29, 20, 40}},  // left and up, tall: 11 x 12
      {{10, 40}, {20, 10}, {10, 29, 20, 40}},  // right and up keeps the bottom edge
      {{40, 10}, {10, 20}, {29, 10, 40, 20}},  // left and down keeps the right edge
      {{20, 20}, {10, 10}, {10, 9, 20, 20}},   // already square, dragged back: 11 x 12
  };
  for (uint32_t id : {203u, 204u}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::Message() << id << " from " << c.s.x << "," << c.s.y << " to "
                                      << c.e.x << "," << c.e.y);
      clear();
      int32_t cx = (c.box.left + c.box.right) / 2, cy = (c.box.top + c.box.bottom) / 2;
      two_point(id)->damaged = FRect{cx, cy, cx, cy};
      draw_direct(id, c.s, c.e);
      // The damage rule: the box widened by the line width (3) + 1.
      FRect d = two_point(id)->damaged;
      EXPECT_EQ(d.left, c.box.left - 4);
      EXPECT_EQ(d.top, c.box.top - 4);
      EXPECT_EQ(d.right, c.box.right + 4);
      EXPECT_EQ(d.bottom, c.box.bottom + 4);
      Image expected = blank(160, 120, kCanvas);
      {
        Painter p(&expected);
        cairo_set_line_width(p.cr, kPen);
        cairo_set_source_rgb(p.cr, 0x14 / 255.0, 0x28 / 255.0, 0xC8 / 255.0);
        cairo_set_line_cap(p.cr, CAIRO_LINE_CAP_ROUND);
        reference_ellipse(p.cr, c.box);
        id == 204 ? cairo_fill(p.cr) : cairo_stroke(p.cr);
      }
      EXPECT_EQ(max_difference(painting(), expected), 0);
    }
  }
  // The ellipse styles keep the drag rectangle as it is.
  clear();
  draw_direct(202, {40, 20}, {10, 10});
  EXPECT_EQ(max_difference(painting(), figure(kTools[6], {10, 10}, {40, 20})), 0);
  EXPECT_EQ(pixel(14, 15), kInk);
  EXPECT_EQ(pixel(36, 15), kInk);
}

TEST_F(GeometricTest, RoundRectangleRadiusIsHalvedOnShortSides) {
  struct Case {
    FRect r;
    int32_t rx, ry;
  };
  const Case cases[] = {
      {{10, 10, 39, 59}, 15, 20},  // width 30: 20 > 30 - 20
      {{10, 10, 50, 50}, 20, 20},  // 41 keeps 20
      {{10, 10, 49, 48}, 20, 19},  // 40 keeps 20 (20 > 20 is false); 39 halves to 19
      {{10, 10, 12, 11}, 1, 1},    // 3 and 2 halve to 1
      {{10, 10, 10, 10}, 0, 0},    // a single pixel is a plain square
  };
  for (uint32_t id : {103u, 104u}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::Message() << id << " width " << frect_width(c.r));
      clear();
      // Dragged from the bottom-right corner: the figure is built from the normalised R.
      draw_direct(id, {c.r.right, c.r.bottom}, {c.r.left, c.r.top});
      Image expected = blank(160, 120, kCanvas);
      {
        Painter p(&expected);
        cairo_set_line_width(p.cr, kPen);
        cairo_set_source_rgb(p.cr, 0x14 / 255.0, 0x28 / 255.0, 0xC8 / 255.0);
        cairo_set_line_join(p.cr, CAIRO_LINE_JOIN_ROUND);
        cairo_set_line_cap(p.cr, CAIRO_LINE_CAP_ROUND);
        reference_round_rect(p.cr, c.r.left, c.r.top, frect_width(c.r), frect_height(c.r), c.rx,
                             c.ry);
        id == 104 ? cairo_fill(p.cr) : cairo_stroke(p.cr);
      }
      EXPECT_EQ(max_difference(painting(), expected), 0);
    }
  }
  clear();
  draw_direct(104, {10, 10}, {10, 10});
  EXPECT_EQ(pixel(10, 10), kInk);
  EXPECT_EQ(pixel(11, 10), kCanvas);
  EXPECT_EQ(pixel(10, 11), kCanvas);
}

TEST_F(GeometricTest, RhombusCornersAndTriangleVertices) {
  // The rhombus over (0, 0)-(9, 19) has its corners at (10, 10), (5, 20), (0, 10), (5, 0),
  // whichever way it was dragged.
  Image expected = blank(160, 120, kCanvas);
  {
    Painter p(&expected);
    cairo_set_source_rgb(p.cr, 0x14 / 255.0, 0x28 / 255.0, 0xC8 / 255.0);
    cairo_move_to(p.cr, 5, 0);
    for (FPoint v : {FPoint{10, 10}, FPoint{5, 20}, FPoint{0, 10}, FPoint{5, 0}}) {
      cairo_line_to(p.cr, v.x, v.y);
    }
    cairo_fill(p.cr);
  }
  draw_direct(304, {0, 0}, {9, 19});
  EXPECT_EQ(max_difference(painting(), expected), 0);
  EXPECT_EQ(pixel(5, 10), kInk);
  EXPECT_EQ(pixel(0, 0), kCanvas);
  EXPECT_EQ(pixel(9, 1), kCanvas);
  clear();
  draw_direct(304, {9, 19}, {0, 0});
  EXPECT_EQ(max_difference(painting(), expected), 0);

  // The triangle from S = (100, 60) to E = (150, 60): vertices at 0, 120 and 240 degrees
  // on the circle of radius 50 round S.
  clear();
  FRect start{100, 60, 100, 60};
  two_point(302)->damaged = start;
  draw_direct(302, {100, 60}, {150, 60});
  expected = blank(160, 120, kCanvas);
  {
    Painter p(&expected);
    cairo_set_source_rgb(p.cr, 0x14 / 255.0, 0x28 / 255.0, 0xC8 / 255.0);
    double h = 25 * std::sqrt(3.0);
    cairo_move_to(p.cr, 150, 60);
    cairo_line_to(p.cr, 75, 60 + h);
    cairo_line_to(p.cr, 75, 60 - h);
    cairo_fill(p.cr);
  }
  EXPECT_LE(max_difference(painting(), expected), 0);
  EXPECT_EQ(pixel(100, 60), kInk);
  EXPECT_EQ(pixel(75, 60), kInk);
  EXPECT_EQ(pixel(74, 60), kCanvas);
  EXPECT_EQ(pixel(150, 60), kCanvas);
  EXPECT_EQ(pixel(75, 104), kCanvas);
  // Bounds: S +- d, widened by 3 + 1.
  FRect d = two_point(302)->damaged;
  EXPECT_TRUE(frect_equal(d, FRect{46, 6, 154, 114}))
      << d.left << "," << d.top << "," << d.right << "," << d.bottom;
}

TEST_F(GeometricTest, PentagramInnerRadiusIsTheStarRatio) {
  // S = (80, 60), E straight above at d = 50: the inner vertices lie at 0.381966 d = 19.1
  // on the rays half-way between the points.
  draw_direct(308, {80, 60}, {80, 10});
  for (int j = 0; j < 5; ++j) {
    double a = -kPi / 2 + kPi / 5 + j * 2 * kPi / 5;
    auto at = [&](double r) {
      return pixel(static_cast<int32_t>(std::floor(80 + r * std::cos(a))),
                   static_cast<int32_t>(std::floor(60 + r * std::sin(a))));
    };
    EXPECT_EQ(at(17.0), kInk) << j;
    EXPECT_EQ(at(21.5), kCanvas) << j;
  }
  EXPECT_EQ(pixel(80, 60), kInk);  // the filled star's centre: default winding rule
  EXPECT_EQ(pixel(80, 20), kInk);
  EXPECT_EQ(pixel(80, 8), kCanvas);
  EXPECT_LE(max_difference(painting(), figure(kTools[16], {80, 60}, {80, 10})), 0);
}

TEST_F(GeometricTest, HeartLobesMeetAtBothEnds) {
  // S = (80, 20), E = (80, 100): lobes to both sides of the axis, reaching x = 129.4 and
  // 30.6 half-way; control points (149.3, 60), (142.5, 149.9), (10.7, 60), (17.5, 149.9).
  two_point(310)->damaged = FRect{80, 60, 80, 60};
  draw_direct(310, {80, 20}, {80, 100});
  for (FPoint inside : {FPoint{120, 93}, FPoint{40, 93}, FPoint{79, 60}, FPoint{80, 60}}) {
    EXPECT_EQ(pixel(inside.x, inside.y), kInk) << inside.x << "," << inside.y;
  }
  for (FPoint outside : {FPoint{140, 93}, FPoint{20, 93}, FPoint{80, 10}}) {
    EXPECT_EQ(pixel(outside.x, outside.y), kCanvas) << outside.x << "," << outside.y;
  }
  FRect d = two_point(310)->damaged;
  EXPECT_TRUE(frect_equal(d, FRect{6, 16, 153, 153}))
      << d.left << "," << d.top << "," << d.right << "," << d.bottom;
  EXPECT_LE(max_difference(painting(), figure(kTools[18], {80, 20}, {80, 100})), 0);

  // The outline draws both curves and no line along the axis.
  clear();
  draw_direct(309, {80, 20}, {80, 100});
  EXPECT_EQ(pixel(129, 93), kInk);
  EXPECT_EQ(pixel(30, 93), kInk);
  EXPECT_EQ(pixel(80, 60), kCanvas);
  EXPECT_EQ(pixel(100, 60), kCanvas);
}

TEST_F(GeometricTest, FirstFrameDamageReachesTheOrigin) {
  auto straight = [&](Shape* shape, FPoint from, FPoint to) {
    ASSERT_EQ(pen(shape, FPOINTER_DOWN, from), 1);
    ASSERT_EQ(pen(shape, FPOINTER_MOVE, to), 1);
    faomngr_run_due();
    ASSERT_EQ(pen(shape, FPOINTER_UP, to), 1);
  };
  for (const Tool& t : kTools) {
    SCOPED_TRACE(testing::Message() << "tool " << t.id);
    ASSERT_TRUE(frect_equal(two_point(t.id)->damaged, FRect{0, 0, 0, 0}));
    straight(tool(t.id), {60, 50}, {90, 70});
    FRect d = two_point(t.id)->damaged;
    EXPECT_EQ(d.left, 0);
    EXPECT_EQ(d.top, 0);
    EXPECT_GE(d.right, 84);  // the squared circles end at 80
    EXPECT_GE(d.bottom, 74);
  }
  // The line's bounds (60, 50)-(90, 70) widened by 3 + 1 and united with (0, 0, 0, 0).
  EXPECT_TRUE(frect_equal(two_point(2)->damaged, FRect{0, 0, 94, 74}));
  // Never reset: a later stroke far from the origin still repaints from it.
  straight(tool(2), {100, 100}, {110, 105});
  EXPECT_TRUE(frect_equal(two_point(2)->damaged, FRect{0, 0, 114, 109}));
}

TEST_F(GeometricTest, StoredStepsWithExtremeCoordinatesDrawWithoutFault) {
  // A document may carry any four i32: differences beyond 32 bits, bounds beyond the i32
  // range and figures far off the painting must neither overflow nor leave a damaged
  // rectangle that is not normalised.
  const FPoint cases[][2] = {{{INT32_MIN, INT32_MIN}, {INT32_MAX, INT32_MAX}},
                             {{INT32_MAX, 0}, {INT32_MIN, 5}},
                             {{0, 0}, {1, INT32_MAX}},
                             {{INT32_MIN, INT32_MAX}, {INT32_MIN, INT32_MAX}}};
  for (const Tool& t : kTools) {
    for (const auto& c : cases) {
      for (double scale : {1.0, 2.0}) {
        uint8_t data[16];
        fbytes_put_i32(data, c[0].x);
        fbytes_put_i32(data + 4, c[0].y);
        fbytes_put_i32(data + 8, c[1].x);
        fbytes_put_i32(data + 12, c[1].y);
        shape_load(tool(t.id), data, 16);
        shape_draw(tool(t.id), paint_context_get_renderer(pc), nullptr, scale);
        FRect d = two_point(t.id)->damaged;
        EXPECT_LE(d.left, d.right) << t.id;
        EXPECT_LE(d.top, d.bottom) << t.id;
      }
    }
  }
  // The line's bounds reach the whole i32 range: clamped, not wrapped.
  EXPECT_TRUE(frect_equal(two_point(2)->damaged, FRect{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX}));
  EXPECT_EQ(cairo_status(paint_context_get_renderer(pc)), CAIRO_STATUS_SUCCESS);
  // A step of the wrong size is ignored: the geometry stays as it was.
  shape_load(tool(2), reinterpret_cast<const uint8_t*>("0123456789abcdefX"), 17);
  EXPECT_EQ(two_point(2)->start_x, INT32_MIN);
}

// ---- Replay --------------------------------------------------------------------------

TEST_F(GeometricTest, StepReplayedAtTwiceTheZoomIsDrawnAtScaleTwo) {
  const FPoint s{40, 30}, e{95, 80};
  for (const Tool& t : kTools) {
    SCOPED_TRACE(testing::Message() << "tool " << t.id);
    ASSERT_EQ(paint_context_set_zoom(pc, 1.0), 1);
    clear();
    drag(tool(t.id), s, e);
    ASSERT_EQ(paint_context_set_zoom(pc, 2.0), 1);
    paint_history_rebuild(history);
    // Coordinates scaled by 2, the line width that of zoom 2: 2 x the pen.
    Image replayed = painting();
    ASSERT_EQ(replayed.width, 320);
    Image expected = blank(320, 240, kCanvas);
    draw_reference(&expected, t, s, e, kPen, kInk, 2.0);
    EXPECT_LE(max_difference(replayed, expected), tolerance(t.kind));
  }
}

TEST_F(GeometricTest, UndoAndRedoRebuildAMixedSessionExactly) {
  const FColor colours[] = {kInk, 0x80E03020u, 0xFF207020u, 0xC0101010u};
  Image base = painting();
  std::vector<Image> after;
  for (int i = 0; i < 30; ++i) {
    const Tool& t = kTools[(i * 7) % std::size(kTools)];
    paint_context_set_fore_color(pc, colours[i % 4]);
    paint_context_set_pen_size(pc, 1 + i % 5);
    FPoint s{10 + (i * 37) % 120, 10 + (i * 23) % 90};
    FPoint e{s.x + 25 - (i % 3) * 20, s.y + 30 - (i % 4) * 15};
    drag(tool(t.id), s, e);
    after.push_back(painting());
  }
  ASSERT_EQ(paint_history_get_count(history), 30);
  EXPECT_EQ(paint_history_get_checkpoint_count(history), 1);
  for (int i = 29; i >= 0; --i) {
    paint_history_undo(history);
    ASSERT_EQ(paint_history_get_current(history), i - 1);
    EXPECT_EQ(max_difference(painting(), i > 0 ? after[i - 1] : base), 0) << "undo to " << i - 1;
  }
  for (int i = 0; i < 30; ++i) {
    paint_history_redo(history);
    EXPECT_EQ(max_difference(painting(), after[i]), 0) << "redo to " << i;
  }
}

TEST_F(GeometricTest, PreviewsOverAPaintingLargerThanTheScreenTouchOnlyTheVisiblePart) {
  // 300 x 220 at (-50, -20) on the 200 x 150 screen: painting pixels 50..249 x 20..169 are
  // visible and backed up; the rest is not, so a preview must not draw there.
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
      ASSERT_EQ(fbytes_get_u32(&preview.pixels[(y * 300 + x) * 4]), kCanvas) << x << "," << y;
    }
  }
  ASSERT_EQ(pen(circle, FPOINTER_MOVE, e), 1);
  faomngr_run_due();
  ASSERT_EQ(pen(circle, FPOINTER_UP, e), 1);
  // The committed figure is whole, off-screen parts included, and no earlier frame is left:
  // it is exactly what a rebuild of the step draws.
  Image committed = painting();
  Image expected = blank(300, 220, kCanvas);
  draw_reference(&expected, kTools[5], s, e, kPen, kInk, 1.0);
  EXPECT_EQ(max_difference(committed, expected), 0);
  paint_history_rebuild(history);
  EXPECT_EQ(max_difference(painting(), committed), 0);
}

// ---- The screen --------------------------------------------------------------------------

std::vector<std::string> g_repaints;
PaintContext* g_context = nullptr;

TEST(GeometricScreenTest, PreviewRepaintsTheDamagedUnionThroughTheView) {
  ASSERT_EQ(faomngr_init(), 1);
  FScreen screen{};
  ASSERT_EQ(fscreen_create(&screen, 200, -150, 32), 1);
  fscreen_set_on_paint_background(&screen, [](FScreen*, const FRect* r) {
    g_repaints.push_back(std::to_string(r->left) + "," + std::to_string(r->top) + "," +
                         std::to_string(r->right) + "," + std::to_string(r->bottom) +
                         (paint_context_is_partial_repaint(g_context) ? " partial" : " whole"));
  });
  PaintContext* pc = paint_context_create(&screen, 160, 120, kInk, 0xFF000000u, kCanvas, kPen,
                                          0, 0, 0);
  ASSERT_NE(pc, nullptr);
  g_context = pc;
  const char* home = std::getenv("PENLARK_HOME");
  ASSERT_NE(home, nullptr);
  std::string dir = std::string(home) + "/screen";
  PaintHistory* history = paint_history_create(pc, dir.c_str());
  ASSERT_NE(history, nullptr);
  paint_context_fill_base(pc);
  Shape* line = shape_line_create(2, u"Line", pc, history, nullptr);
  ASSERT_NE(line, nullptr);
  // The painting is centred: its top-left pixel is at (20, 15) on the screen.
  ASSERT_EQ(shape_on_pen(line, FPOINTER_DOWN, 50, 55, 0), 1);  // painting (30, 40)
  ASSERT_EQ(shape_on_pen(line, FPOINTER_MOVE, 90, 65, 0), 1);  // (70, 50)
  EXPECT_TRUE(g_repaints.empty());  // moves only schedule
  faomngr_run_due();
  ASSERT_EQ(shape_on_pen(line, FPOINTER_MOVE, 160, 200, 0), 1);  // (140, 185): off the painting
  faomngr_run_due();
  ASSERT_EQ(shape_on_pen(line, FPOINTER_UP, 160, 200, 0), 1);
  // (0, 0)-(74, 54) on the painting, then the union with (26, 36)-(144, 189), cut to the
  // painting's 160 x 120 at (20, 15); pen up repaints the final figure once more.
  const std::vector<std::string> expected = {"20,15,94,69 partial", "20,15,164,134 partial",
                                             "20,15,164,134 partial"};
  EXPECT_EQ(g_repaints, expected);
  shape_line_destroy(line);
  paint_history_destroy(history);
  paint_context_destroy(pc);
  fscreen_release(&screen);
  faomngr_shutdown();
  std::filesystem::remove_all(dir);
}

}  // namespace
