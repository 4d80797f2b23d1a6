// The curve tool driven through the real screen dispatch: the first drag's control points,
// the capture control that takes the following contacts, handle drags, the committing tap
// with its exact 64-byte record, handles and damage, replay at another zoom, hostile
// records, and undo/redo of a session that mixes the pencil, the eraser and the curve.

#include "shape_curve.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <limits>
#include <string>
#include <vector>

#include "fbytes.h"
#include "fcontrol.h"
#include "fscreen.h"
#include "paint_context.h"
#include "paint_history.h"
#include "shape_pencil.h"
#include "win_ao.h"
#include "wins_window.h"

namespace {

namespace fs = std::filesystem;

using Bytes = std::vector<uint8_t>;

constexpr int32_t kViewX = 20, kViewY = 10;  // the 160 x 120 painting on a 200 x 150 screen
constexpr FColor kBlack = 0xFF000000u;
constexpr FColor kWhite = 0xFFFFFFFFu;
constexpr FColor kHandle = 0xFFCECECEu;  // the handle brush (128, 128, 128, 96) over white

Shape* g_current = nullptr;  // the tool the screen's fallback pen handler serves

Bytes curve_bytes(std::initializer_list<double> values) {
  Bytes out;
  for (double v : values) {
    uint64_t bits = std::bit_cast<uint64_t>(v);
    for (int i = 0; i < 8; ++i) out.push_back(static_cast<uint8_t>(bits >> (8 * i)));
  }
  return out;
}

class CurveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* home = std::getenv("PENLARK_HOME");
    ASSERT_NE(home, nullptr);
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir = std::string(home) + "/" + info->test_suite_name() + "." + info->name();
    fs::remove_all(dir);
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
    ASSERT_NE(history, nullptr);
    curve = shape_curve_create(10, u"Curve", pc, history, nullptr);
    pencil = shape_pencil_create(1, u"Pencil", pc, history, nullptr);
    eraser = shape_rubber_create(5, u"Eraser", pc, history, nullptr);
    ASSERT_NE(curve, nullptr);
    ASSERT_NE(pencil, nullptr);
    ASSERT_NE(eraser, nullptr);
    paint_context_add_shape(pc, pencil);
    paint_context_add_shape(pc, eraser);
    paint_context_add_shape(pc, curve);
    paint_context_fill_base(pc);
    g_current = curve;
  }
  void TearDown() override {
    if (curve) shape_curve_destroy(curve);
    if (pencil) shape_pencil_destroy(pencil);
    if (eraser) shape_rubber_destroy(eraser);
    if (history) paint_history_destroy(history);
    if (pc) paint_context_destroy(pc);
    g_current = nullptr;
    fscreen_release(&screen);
    fscreen_set_global(nullptr);
    wins_window_set_flush(nullptr);
    faomngr_shutdown();
    fs::remove_all(dir);
  }

  ShapeCurve* c() { return reinterpret_cast<ShapeCurve*>(curve); }
  // A pen event on the screen at a painting position.
  int screen_pen(int32_t type, int32_t x, int32_t y) {
    return fscreen_pointer(&screen, type, x + kViewX, y + kViewY, 0);
  }
  void drag(std::initializer_list<FPoint> points) {
    auto p = points.begin();
    screen_pen(1, p->x, p->y);
    for (++p; p != points.end(); ++p) {
      screen_pen(3, p->x, p->y);
      faomngr_run_due();
    }
    screen_pen(2, (points.end() - 1)->x, (points.end() - 1)->y);
    faomngr_run_due();
  }
  void tap(int32_t x, int32_t y) {
    screen_pen(1, x, y);
    screen_pen(2, x, y);
    faomngr_run_due();
  }
  // The curve used by several tests: a straight first drag, then C2 pulled down.
  void bent_curve() {
    drag({{10, 40}, {130, 40}});
    drag({{95, 45}, {90, 70}});
  }
  uint32_t pixel(int32_t x, int32_t y) {
    cairo_surface_flush(pc->renderer_surface);
    return fbitmap_get_pixel(paint_context_get_painting(pc), x, y);
  }
  Bytes painting() {
    cairo_surface_flush(pc->renderer_surface);
    FBitmap* p = paint_context_get_painting(pc);
    Bytes out(8);
    fbytes_put_i32(out.data(), fbitmap_get_width(p));
    fbytes_put_i32(out.data() + 4, fbitmap_get_height(p));
    out.insert(out.end(), p->pixels, p->pixels + fbitmap_get_stride(p) * fbitmap_get_height(p));
    return out;
  }
  Bytes step_data(int32_t index) {
    PaintStep* step = paint_history_get_step(history, index);
    if (!step) return {};
    return Bytes(step->data, step->data + step->data_size);
  }
  void load_and_draw(const Bytes& data, double scale) {
    shape_load(curve, data.data(), static_cast<int32_t>(data.size()));
    shape_draw(curve, paint_context_get_renderer(pc), nullptr, scale);
  }
  void expect_point(int index, double x, double y) {
    EXPECT_DOUBLE_EQ(c()->points[index].x, x) << "point " << index;
    EXPECT_DOUBLE_EQ(c()->points[index].y, y) << "point " << index;
  }
  static bool same(const FRect& a, const FRect& b) { return frect_equal(a, b); }

  std::string dir;
  FScreen screen{};
  PaintContext* pc = nullptr;
  PaintHistory* history = nullptr;
  Shape* curve = nullptr;
  Shape* pencil = nullptr;
  Shape* eraser = nullptr;
};

TEST_F(CurveTest, FirstDragKeepsControlPointsOnTheLineAndStartsTheCapture) {
  EXPECT_EQ(shape_on_pen(curve, 3, 50, 50, 0), 0);  // not active
  screen_pen(1, 30, 10);
  EXPECT_EQ(curve->active, 1);
  screen_pen(3, 30, 40);  // vertical: the control points stay at the pen-down point
  expect_point(SHAPE_CURVE_START, 30, 10);
  expect_point(SHAPE_CURVE_END, 30, 40);
  expect_point(SHAPE_CURVE_CONTROL1, 30, 10);
  expect_point(SHAPE_CURVE_CONTROL2, 30, 10);
  screen_pen(3, 60, 40);  // diagonal: at the thirds of the line
  expect_point(SHAPE_CURVE_CONTROL1, 40, 20);
  expect_point(SHAPE_CURVE_CONTROL2, 50, 30);
  screen_pen(3, 30, 70);  // vertical again: left where they were
  expect_point(SHAPE_CURVE_CONTROL1, 40, 20);
  expect_point(SHAPE_CURVE_CONTROL2, 50, 30);
  screen_pen(3, 70, 10);  // horizontal
  expect_point(SHAPE_CURVE_CONTROL1, 30 + 40.0 / 3, 10);
  expect_point(SHAPE_CURVE_CONTROL2, 30 + 80.0 / 3, 10);
  EXPECT_EQ(c()->editing, 0);
  EXPECT_EQ(fscreen_get_capture(&screen), nullptr);

  screen_pen(2, 70, 10);
  EXPECT_EQ(curve->active, 0);
  EXPECT_EQ(c()->editing, 1);
  EXPECT_EQ(c()->selected, SHAPE_CURVE_NO_HANDLE);
  EXPECT_EQ(paint_history_get_count(history), 0);
  // Boxes of half size trunc(3) / 2 + 10 = 11.
  EXPECT_TRUE(same(c()->boxes[SHAPE_CURVE_START], FRect{19, -1, 41, 21}));
  EXPECT_TRUE(same(c()->boxes[SHAPE_CURVE_END], FRect{59, -1, 81, 21}));
  ASSERT_NE(c()->capture, nullptr);
  EXPECT_EQ(fscreen_get_capture(&screen), &c()->capture->surface);
  EXPECT_EQ(screen.first, &c()->capture->surface);

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
  // The first frame's damage reaches to (0, 0): it is united with the initial rectangle.
  EXPECT_TRUE(same(c()->damaged, FRect{0, 0, 134, 44}));
  screen_pen(2, 130, 40);
  faomngr_run_due();
  // Handles of radius 11 around every point, widening the damage by 11 + 3 + 1.
  EXPECT_EQ(pixel(50, 33), kHandle);
  EXPECT_EQ(pixel(90, 47), kHandle);
  EXPECT_EQ(pixel(50, 25), kWhite);
  EXPECT_TRUE(same(c()->damaged, FRect{-5, 0, 145, 55}));

  // The next contact reaches the curve through the capture control: down inside C2's box,
  // then the move takes C2 along.
  screen_pen(1, 95, 45);
  EXPECT_EQ(c()->selected, SHAPE_CURVE_CONTROL2);
  screen_pen(3, 90, 70);
  expect_point(SHAPE_CURVE_CONTROL2, 90, 70);
  faomngr_run_due();
  EXPECT_EQ(pixel(70, 40), kWhite);  // the middle of the curve moved down by 11.25
  EXPECT_EQ(pixel(70, 51), kBlack);
  screen_pen(2, 90, 70);
  EXPECT_EQ(fscreen_get_capture(&screen), nullptr);  // that contact's pen up ended it
  EXPECT_TRUE(same(c()->boxes[SHAPE_CURVE_CONTROL2], FRect{79, 59, 101, 81}));
  EXPECT_EQ(paint_history_get_count(history), 0);

  // Outside the painting and away from every handle, the control still takes the tap; a
  // move without a handle changes nothing.
  screen_pen(1, 170, 125);
  EXPECT_EQ(c()->selected, SHAPE_CURVE_NO_HANDLE);
  screen_pen(3, 10, 40);
  expect_point(SHAPE_CURVE_START, 10, 40);
  screen_pen(2, 10, 40);
  ASSERT_EQ(paint_history_get_count(history), 1);
  EXPECT_EQ(paint_history_get_step(history, 0)->type, 10);
  EXPECT_EQ(step_data(0), curve_bytes({10, 40, 130, 40, 50, 40, 90, 70}));
  EXPECT_EQ(c()->editing, 0);
  EXPECT_EQ(c()->capture, nullptr);
  EXPECT_EQ(screen.first, nullptr);
  EXPECT_EQ(fscreen_get_capture(&screen), nullptr);
  // The handles are gone at once (the step may take a checkpoint of the painting).
  EXPECT_EQ(pixel(50, 33), kWhite);
  EXPECT_EQ(pixel(70, 51), kBlack);
  Bytes live = painting();
  faomngr_run_due();
  EXPECT_EQ(painting(), live);
  paint_history_rebuild(history);
  EXPECT_EQ(painting(), live);

  // The next contact starts a new curve through the ordinary path.
  screen_pen(1, 5, 5);
  EXPECT_EQ(c()->editing, 0);
  expect_point(SHAPE_CURVE_CONTROL2, 5, 5);
}

TEST_F(CurveTest, ReplayAtZoomTwoEqualsTheDoubledCurve) {
  bent_curve();
  tap(150, 110);
  ASSERT_EQ(paint_history_get_count(history), 1);
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
  load_and_draw(valid, 1.0);
  EXPECT_EQ(pixel(70, 51), kBlack);
  paint_context_fill_base(pc);

  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  Bytes longer = valid;
  longer.push_back(0);
  const std::vector<Bytes> bad = {
      Bytes(valid.begin(), valid.end() - 1),  // 63 bytes
      longer,                                 // 65 bytes
      Bytes(12, 0),
      curve_bytes({nan, 40, 130, 40, 50, 40, 90, 70}),
      curve_bytes({10, 40, 130, inf, 50, 40, 90, 70}),
      curve_bytes({10, 40, 130, 40, 50, 40, -inf, 70}),
  };
  for (const Bytes& data : bad) {
    SCOPED_TRACE(data.size());
    load_and_draw(valid, 1.0);  // a curve loaded before must not be drawn again
    paint_context_fill_base(pc);
    load_and_draw(data, 1.0);
    EXPECT_EQ(painting(), base);
    load_and_draw(data, 2.0);
    EXPECT_EQ(painting(), base);
  }
  // Coordinates far off the painting are kept within reach of cairo's fixed point.
  load_and_draw(curve_bytes({-1e300, 1e300, 1e300, -1e300, 3e9, -3e9, 1e18, 5}), 3.0);
  expect_point(SHAPE_CURVE_START, -SHAPE_CURVE_COORDINATE_LIMIT, SHAPE_CURVE_COORDINATE_LIMIT);
  EXPECT_EQ(cairo_status(paint_context_get_renderer(pc)), CAIRO_STATUS_SUCCESS);
  paint_context_fill_base(pc);
  load_and_draw(valid, 1.0);
  EXPECT_EQ(pixel(70, 51), kBlack);

  // Through the history: a damaged step replays as nothing.
  paint_history_append(history, paint_step_create(10, valid.data(), 63));
  paint_history_set_current(history, 0);
  paint_history_rebuild(history);
  EXPECT_EQ(painting(), base);
}

TEST_F(CurveTest, UndoAndRedoOfAMixedSessionGiveBackEveryLivePainting) {
  paint_context_set_canvas_color(pc, fcolor_make(200, 220, 240, 255));
  paint_context_fill_base(pc);
  std::vector<Bytes> live{painting()};

  g_current = pencil;  // opaque, one draw
  screen_pen(1, 10, 10);
  screen_pen(3, 40, 12);
  screen_pen(3, 60, 30);
  screen_pen(2, 60, 31);
  live.push_back(painting());

  g_current = curve;  // first drag, C1 pulled up, committed
  paint_context_set_fore_color(pc, fcolor_make(200, 30, 30, 255));
  drag({{20, 60}, {80, 90}, {140, 60}});
  drag({{60, 60}, {60, 20}});
  tap(150, 110);
  live.push_back(painting());

  g_current = eraser;  // one draw: opaque runs drawn one by one blend their joins twice
  screen_pen(1, 30, 10);
  screen_pen(3, 45, 40);
  screen_pen(3, 50, 60);
  screen_pen(2, 50, 60);
  live.push_back(painting());

  g_current = pencil;  // translucent, several runs crossing each other
  paint_context_set_fore_color(pc, fcolor_make(0, 0, 255, 100));
  drag({{5, 100}, {150, 20}, {150, 100}, {5, 20}});
  live.push_back(painting());

  paint_context_set_fore_color(pc, fcolor_make(0, 160, 0, 255));
  paint_context_set_pen_size(pc, 7);
  screen_pen(1, 100, 100);
  screen_pen(3, 120, 70);
  screen_pen(2, 130, 60);
  live.push_back(painting());

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
