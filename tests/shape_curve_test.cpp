// The curve tool through the real screen dispatch: the first drag's control points, the
// capture control that takes the following contacts, handle drags, the committing tap with
// its exact 64-byte record, handles and damage, replay at another zoom, hostile records,
// and undo/redo of a session that mixes the pencil, the eraser and the curve.

#include "shape_curve.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <limits>
#include <string>
#include <vector>

#include "fcontrol.h"
#include "fscreen.h"
#include "paint_context.h"
#include "paint_history.h"
#include "shape_pencil.h"
#include "win_ao.h"
#include "wins_window.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr int32_t kViewX = 20, kViewY = 10;  // the 160 x 120 painting on a 200 x 150 screen
constexpr FColor kBlack = 0xFF000000u;
constexpr FColor kWhite = 0xFFFFFFFFu;
constexpr FColor kHandle = 0xFFCECECEu;  // the handle brush (128, 128, 128, 96) over white

Shape* g_current = nullptr;  // the tool the screen's fallback pen handler serves

Bytes curve_bytes(std::initializer_list<double> values) {
  Bytes out;
  for (double v : values) {
    for (int i = 0; i < 8; ++i)
      out.push_back(static_cast<uint8_t>(std::bit_cast<uint64_t>(v) >> (8 * i)));
  }
  return out;
}

std::string text(const FRect& r) {
  return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) +
         "," + std::to_string(r.bottom);
}

class CurveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = std::string(std::getenv("PENLARK_HOME")) + "/" +
          ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::filesystem::remove_all(dir);
    ASSERT_EQ(faomngr_init(), 1);
    ASSERT_EQ(fscreen_create(&screen, 200, -150, 32), 1);
    fscreen_set_global(&screen);
    wins_window_set_flush([](const FRect*) {});
    // The application's pen handler: whatever no surface takes goes to the current tool.
    fscreen_set_on_pointer_default(&screen, [](int32_t type, int32_t x, int32_t y, uint32_t m) {
      return shape_on_pen(g_current, type, x, y, m);
    });
    pc = paint_context_create(nullptr, 160, 120, kBlack, 0xFF0000FFu, kWhite, 3, 0, 0, 0);
    ASSERT_NE(pc, nullptr);
    paint_context_set_screen_size(pc, 200, 150);
    paint_context_set_view(pc, kViewX, kViewY);
    history = paint_history_create(pc, dir.c_str());
    curve = shape_curve_create(10, u"Curve", pc, history, nullptr);
    pencil = shape_pencil_create(1, u"Pencil", pc, history, nullptr);
    eraser = shape_rubber_create(5, u"Eraser", pc, history, nullptr);
    ASSERT_TRUE(history && curve && pencil && eraser);
    for (Shape* tool : {pencil, eraser, curve}) paint_context_add_shape(pc, tool);
    paint_context_fill_base(pc);
    g_current = curve;
  }
  void TearDown() override {
    if (curve) shape_curve_destroy(curve);
    if (pencil) shape_pencil_destroy(pencil);
    if (eraser) shape_rubber_destroy(eraser);
    if (history) paint_history_destroy(history);
    if (pc) paint_context_destroy(pc);
    fscreen_release(&screen);
    fscreen_set_global(nullptr);
    wins_window_set_flush(nullptr);
    faomngr_shutdown();
    std::filesystem::remove_all(dir);
  }

  ShapeCurve* c() { return reinterpret_cast<ShapeCurve*>(curve); }
  // A pen event on the screen at a painting position.
  int screen_pen(int32_t type, int32_t x, int32_t y) {
    return fscreen_pointer(&screen, type, x + kViewX, y + kViewY, 0);
  }
  // Down at the first point, a move and a draw for each further one, up at the last.
  void drag(std::initializer_list<FPoint> points) {
    for (const FPoint* p = points.begin(); p != points.end(); ++p) {
      screen_pen(p == points.begin() ? 1 : 3, p->x, p->y);
      faomngr_run_due();
    }
    screen_pen(2, (points.end() - 1)->x, (points.end() - 1)->y);
    faomngr_run_due();
  }
  uint32_t pixel(int32_t x, int32_t y) {
    cairo_surface_flush(pc->renderer_surface);
    return fbitmap_get_pixel(paint_context_get_painting(pc), x, y);
  }
  std::vector<uint32_t> pixels(std::initializer_list<FPoint> at) {
    std::vector<uint32_t> out;
    for (FPoint p : at) out.push_back(pixel(p.x, p.y));
    return out;
  }
  Bytes painting() {
    cairo_surface_flush(pc->renderer_surface);
    FBitmap* p = paint_context_get_painting(pc);
    return Bytes(p->pixels, p->pixels + fbitmap_get_stride(p) * fbitmap_get_height(p));
  }
  void load_and_draw(const Bytes& data, double scale) {
    shape_load(curve, data.data(), static_cast<int32_t>(data.size()));
    shape_draw(curve, paint_context_get_renderer(pc), nullptr, scale);
  }
  // The four points as "x,y" in the order P0, P1, C1, C2.
  std::vector<std::string> points() {
    std::vector<std::string> out;
    for (const ShapeCurvePoint& p : c()->points)
      out.push_back(testing::PrintToString(p.x) + "," + testing::PrintToString(p.y));
    return out;
  }

  std::string dir;
  FScreen screen{};
  PaintContext* pc = nullptr;
  PaintHistory* history = nullptr;
  Shape* curve = nullptr;
  Shape* pencil = nullptr;
  Shape* eraser = nullptr;
};

using Points = std::vector<std::string>;
using Colors = std::vector<uint32_t>;

TEST_F(CurveTest, FirstDragKeepsControlPointsOnTheLineAndStartsTheCapture) {
  EXPECT_EQ(shape_on_pen(curve, 3, 50, 50, 0), 0);  // not active
  screen_pen(1, 30, 10);
  EXPECT_EQ(curve->active, 1);
  screen_pen(3, 30, 40);  // vertical: the control points stay at the pen-down point
  EXPECT_EQ(points(), (Points{"30,10", "30,40", "30,10", "30,10"}));
  screen_pen(3, 60, 40);  // diagonal: at the thirds of the line
  EXPECT_EQ(points(), (Points{"30,10", "60,40", "40,20", "50,30"}));
  screen_pen(3, 30, 70);  // vertical again: left where they were
  EXPECT_EQ(points(), (Points{"30,10", "30,70", "40,20", "50,30"}));
  screen_pen(3, 70, 10);  // horizontal
  EXPECT_DOUBLE_EQ(c()->points[SHAPE_CURVE_CONTROL1].x, 30 + 40.0 / 3);
  EXPECT_DOUBLE_EQ(c()->points[SHAPE_CURVE_CONTROL2].x, 30 + 80.0 / 3);
  EXPECT_EQ(c()->points[SHAPE_CURVE_CONTROL2].y, 10);
  EXPECT_EQ(fscreen_get_capture(&screen), nullptr);

  screen_pen(2, 70, 10);
  EXPECT_EQ(curve->active, 0);
  EXPECT_EQ(c()->editing, 1);
  EXPECT_EQ(c()->selected, SHAPE_CURVE_NO_HANDLE);
  EXPECT_EQ(paint_history_get_count(history), 0);
  // Boxes of half size trunc(3) / 2 + 10 = 11.
  EXPECT_EQ(text(c()->boxes[SHAPE_CURVE_START]), "19,-1,41,21");
  EXPECT_EQ(text(c()->boxes[SHAPE_CURVE_END]), "59,-1,81,21");
  ASSERT_NE(c()->capture, nullptr);
  EXPECT_EQ(fscreen_get_capture(&screen), &c()->capture->surface);
  EXPECT_EQ(screen.first, &c()->capture->surface);

  // A box holds its left and top edges but not its right and bottom ones.
  screen_pen(1, 81, 20);
  EXPECT_EQ(c()->selected, SHAPE_CURVE_NO_HANDLE);
  // Destroying the tool while it edits lets go of the screen.
  shape_curve_destroy(curve);
  curve = nullptr;
  EXPECT_EQ(fscreen_get_capture(&screen), nullptr);
  EXPECT_EQ(screen.first, nullptr);
}

TEST_F(CurveTest, HandleDragBendsTheCurveAndATapAwayCommitsIt) {
  screen_pen(1, 10, 40);
  screen_pen(3, 130, 40);
  faomngr_run_due();
  EXPECT_EQ(pixel(70, 40), kBlack);
  EXPECT_EQ(text(c()->damaged), "0,0,134,44");  // united with the initial (0, 0, 0, 0)
  screen_pen(2, 130, 40);
  faomngr_run_due();
  // Handles of radius 11 around every point, widening the damage by 11 + 3 + 1.
  EXPECT_EQ(pixels({{50, 33}, {90, 47}, {50, 25}}), (Colors{kHandle, kHandle, kWhite}));
  EXPECT_EQ(text(c()->damaged), "-5,0,145,55");

  // The next contact reaches the curve through the capture control: down inside C2's box,
  // then the move takes C2 along and the middle of the curve moves down by 11.25.
  screen_pen(1, 95, 45);
  EXPECT_EQ(c()->selected, SHAPE_CURVE_CONTROL2);
  screen_pen(3, 90, 70);
  faomngr_run_due();
  EXPECT_EQ(pixels({{70, 40}, {70, 51}}), (Colors{kWhite, kBlack}));
  screen_pen(2, 90, 70);
  EXPECT_EQ(fscreen_get_capture(&screen), nullptr);  // that contact's pen up ended it
  EXPECT_EQ(text(c()->boxes[SHAPE_CURVE_CONTROL2]), "79,59,101,81");
  EXPECT_EQ(paint_history_get_count(history), 0);

  // Outside the painting and away from every handle the control still takes the tap; a
  // move without a handle changes nothing, and the pen up commits.
  screen_pen(1, 170, 125);
  EXPECT_EQ(c()->selected, SHAPE_CURVE_NO_HANDLE);
  screen_pen(3, 10, 40);
  screen_pen(2, 10, 40);
  ASSERT_EQ(paint_history_get_count(history), 1);
  const PaintStep* step = paint_history_get_step(history, 0);
  EXPECT_EQ(step->type, 10);
  EXPECT_EQ(Bytes(step->data, step->data + step->data_size),
            curve_bytes({10, 40, 130, 40, 50, 40, 90, 70}));
  EXPECT_EQ(c()->editing, 0);
  EXPECT_EQ(c()->capture, nullptr);
  EXPECT_EQ(screen.first, nullptr);
  // The handles are gone at once (the step may take a checkpoint of the painting).
  EXPECT_EQ(pixels({{50, 33}, {70, 51}}), (Colors{kWhite, kBlack}));
  Bytes live = painting();
  faomngr_run_due();
  EXPECT_EQ(painting(), live);
  paint_history_rebuild(history);
  EXPECT_EQ(painting(), live);

  // Replayed at zoom 2 it is the doubled curve.
  ASSERT_EQ(paint_context_set_zoom(pc, 2.0), 1);
  paint_history_rebuild(history);
  Bytes replayed = painting();
  EXPECT_EQ(pixel(140, 102), kBlack);
  paint_context_fill_base(pc);
  load_and_draw(curve_bytes({20, 80, 260, 80, 100, 80, 180, 140}), 1.0);
  EXPECT_EQ(painting(), replayed);
}

TEST_F(CurveTest, HostileRecordsDrawNothingAndKeepTheRendererSound) {
  const Bytes base = painting();
  const Bytes valid = curve_bytes({10, 40, 130, 40, 50, 40, 90, 70});
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  Bytes longer = valid;
  longer.push_back(0);
  for (const Bytes& data : {Bytes(valid.begin(), valid.end() - 1), longer, Bytes(12, 0),
                            curve_bytes({nan, 40, 130, 40, 50, 40, 90, 70}),
                            curve_bytes({10, 40, 130, inf, 50, 40, 90, 70}),
                            curve_bytes({10, 40, 130, 40, 50, 40, -inf, 70})}) {
    SCOPED_TRACE(data.size());
    load_and_draw(valid, 1.0);  // a curve loaded before must not be drawn again
    EXPECT_EQ(pixel(70, 51), kBlack);
    paint_context_fill_base(pc);
    load_and_draw(data, 1.0);
    load_and_draw(data, 2.0);
    EXPECT_EQ(painting(), base);
  }
  // Coordinates far off the painting are kept within reach of cairo's fixed point.
  load_and_draw(curve_bytes({-1e300, 1e300, 1e300, -1e300, 3e9, -3e9, 1e18, 5}), 3.0);
  EXPECT_EQ(c()->points[SHAPE_CURVE_START].x, -SHAPE_CURVE_COORDINATE_LIMIT);
  EXPECT_EQ(c()->points[SHAPE_CURVE_START].y, SHAPE_CURVE_COORDINATE_LIMIT);
  EXPECT_EQ(cairo_status(paint_context_get_renderer(pc)), CAIRO_STATUS_SUCCESS);
  paint_context_fill_base(pc);
  load_and_draw(valid, 1.0);
  EXPECT_EQ(pixel(70, 51), kBlack);
}

TEST_F(CurveTest, UndoAndRedoOfAMixedSessionGiveBackEveryLivePainting) {
  paint_context_set_canvas_color(pc, fcolor_make(200, 220, 240, 255));
  paint_context_fill_base(pc);
  std::vector<Bytes> live{painting()};
  auto unscheduled = [&](std::initializer_list<FPoint> points) {  // one draw at pen up
    for (const FPoint* p = points.begin(); p != points.end(); ++p) {
      screen_pen(p == points.begin() ? 1 : p + 1 == points.end() ? 2 : 3, p->x, p->y);
    }
    live.push_back(painting());
  };
  g_current = pencil;  // opaque, one draw
  unscheduled({{10, 10}, {40, 12}, {60, 30}, {60, 31}});
  g_current = curve;  // first drag, C1 pulled up, committed
  paint_context_set_fore_color(pc, fcolor_make(200, 30, 30, 255));
  drag({{20, 60}, {80, 90}, {140, 60}});
  drag({{60, 60}, {60, 20}});
  drag({{150, 110}});
  live.push_back(painting());
  g_current = eraser;  // one draw: opaque runs drawn one by one blend their joins twice
  unscheduled({{30, 10}, {45, 40}, {50, 60}, {50, 60}});
  g_current = pencil;  // translucent, several runs crossing each other
  paint_context_set_fore_color(pc, fcolor_make(0, 0, 255, 100));
  drag({{5, 100}, {150, 20}, {150, 100}, {5, 20}});
  live.push_back(painting());
  paint_context_set_fore_color(pc, fcolor_make(0, 160, 0, 255));
  paint_context_set_pen_size(pc, 7);
  unscheduled({{100, 100}, {120, 70}, {130, 60}});

  ASSERT_EQ(paint_history_get_count(history), 5);
  const int32_t types[] = {1, 10, 5, 1, 1};
  for (int32_t i = 0; i < 5; ++i) EXPECT_EQ(paint_history_get_step(history, i)->type, types[i]);
  for (int32_t i = 4; i >= 0; --i) {
    paint_history_undo(history);
    EXPECT_EQ(painting(), live[i]) << "undo to " << i - 1;
  }
  for (int32_t i = 1; i <= 5; ++i) {
    paint_history_redo(history);
    EXPECT_EQ(painting(), live[i]) << "redo to " << i - 1;
  }
}

}  // namespace
