// The pencil and the eraser driven through shape_on_pen, with deferred draws run by the
// active-object manager: the recorded points (exact bytes, separators between runs), the
// translucent pencil that re-strokes its whole path over the restored area, the eraser's
// ink (picture or canvas colour), replays at another zoom compared with the stroke drawn
// at that size, hostile step data and point arrays that cannot grow.

#include "shape_pencil.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <vector>

#include "fbytes.h"
#include "paint_context.h"
#include "paint_history.h"
#include "win_ao.h"

namespace {

namespace fs = std::filesystem;

using Bytes = std::vector<uint8_t>;

constexpr int32_t kViewX = 10, kViewY = 5;  // the painting's place on a 100 x 80 screen
constexpr FColor kBlack = 0xFF000000u;
constexpr FColor kCanvas = 0xFF0A141Eu;  // (10, 20, 30)
constexpr FPoint kSep{SHAPE_STROKE_SEPARATOR, SHAPE_STROKE_SEPARATOR};

Bytes points_bytes(std::initializer_list<FPoint> points) {
  Bytes out;
  for (FPoint p : points) {
    uint8_t field[8];
    fbytes_put_i32(field, p.x);
    fbytes_put_i32(field + 4, p.y);
    out.insert(out.end(), field, field + 8);
  }
  return out;
}

class StrokeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* home = std::getenv("PENLARK_HOME");
    ASSERT_NE(home, nullptr);
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir = std::string(home) + "/" + info->test_suite_name() + "." + info->name();
    fs::remove_all(dir);
    ASSERT_EQ(faomngr_init(), 1);
    pc = paint_context_create(nullptr, 64, 48, kBlack, 0xFF0000FFu, kCanvas, 3, 0, 0, 0);
    ASSERT_NE(pc, nullptr);
    paint_context_set_screen_size(pc, 100, 80);
    paint_context_set_view(pc, kViewX, kViewY);
    history = paint_history_create(pc, dir.c_str());
    ASSERT_NE(history, nullptr);
    pencil = shape_pencil_create(1, u"Pencil", pc, history, nullptr);
    eraser = shape_rubber_create(5, u"Eraser", pc, history, nullptr);
    ASSERT_NE(pencil, nullptr);
    ASSERT_NE(eraser, nullptr);
    paint_context_add_shape(pc, pencil);
    paint_context_add_shape(pc, eraser);
    paint_context_fill_base(pc);
  }
  void TearDown() override {
    shape_stroke_fail_growth_beyond(-1);
    if (pencil) shape_pencil_destroy(pencil);
    if (eraser) shape_rubber_destroy(eraser);
    if (history) paint_history_destroy(history);
    if (pc) paint_context_destroy(pc);
    faomngr_shutdown();
    fs::remove_all(dir);
  }

  // Pen events in painting coordinates (the tool gets them on the screen).
  int pen(Shape* tool, int32_t type, int32_t x, int32_t y) {
    return shape_on_pen(tool, type, x + kViewX, y + kViewY, 0);
  }
  ShapeStroke* stroke(Shape* tool) { return reinterpret_cast<ShapeStroke*>(tool); }
  uint32_t pixel(int32_t x, int32_t y) {
    cairo_surface_flush(pc->renderer_surface);
    return fbitmap_get_pixel(paint_context_get_painting(pc), x, y);
  }
  void set_pixel(int32_t x, int32_t y, uint32_t raw) {
    cairo_surface_flush(pc->renderer_surface);
    fbitmap_set_pixel(paint_context_get_painting(pc), x, y, raw);
    cairo_surface_mark_dirty(pc->renderer_surface);
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
  int32_t step_type(int32_t index) {
    PaintStep* step = paint_history_get_step(history, index);
    return step ? step->type : -1;
  }
  void load_and_draw(Shape* tool, const Bytes& data, double scale) {
    shape_load(tool, data.data(), static_cast<int32_t>(data.size()));
    shape_draw(tool, paint_context_get_renderer(pc), nullptr, scale);
  }

  std::string dir;
  PaintContext* pc = nullptr;
  PaintHistory* history = nullptr;
  Shape* pencil = nullptr;
  Shape* eraser = nullptr;
};

TEST_F(StrokeTest, TapRecordsBothPointsAndInactiveEventsAreRefused) {
  EXPECT_EQ(pen(pencil, 3, 20, 20), 0);  // no stroke yet
  EXPECT_EQ(pen(pencil, 2, 20, 20), 0);
  EXPECT_EQ(pen(pencil, 1, 20, 20), 1);
  EXPECT_EQ(pencil->active, 1);
  EXPECT_EQ(pen(pencil, 2, 20, 20), 1);
  EXPECT_EQ(pencil->active, 0);
  ASSERT_EQ(paint_history_get_count(history), 1);
  EXPECT_EQ(step_type(0), 1);
  EXPECT_EQ(step_data(0), points_bytes({{20, 20}, {20, 20}}));
  EXPECT_EQ(pixel(20, 20), kBlack);  // a round-capped dot
  EXPECT_EQ(pixel(24, 20), kCanvas);
  // The pencil keeps its stroke after pen up; the renderer holds no path any more.
  EXPECT_EQ(stroke(pencil)->stroke_count, 2);
  EXPECT_FALSE(cairo_has_current_point(paint_context_get_renderer(pc)));

  // The eraser records type 5 and resets after recording.
  EXPECT_EQ(pen(eraser, 1, 20, 20), 1);
  EXPECT_EQ(pen(eraser, 2, 21, 20), 1);
  ASSERT_EQ(paint_history_get_count(history), 2);
  EXPECT_EQ(step_type(1), 5);
  EXPECT_EQ(step_data(1), points_bytes({{20, 20}, {21, 20}}));
  EXPECT_EQ(stroke(eraser)->stroke_count, 0);
  EXPECT_EQ(pixel(20, 20), kCanvas);
  EXPECT_EQ(pen(eraser, 3, 30, 30), 0);
}

TEST_F(StrokeTest, StrokeOfTwoDrawsHoldsRunsJoinedAtTheRepeatedPoint) {
  pen(pencil, 1, 5, 5);
  pen(pencil, 3, 10, 6);
  pen(pencil, 3, 12, 8);  // one draw for both moves
  EXPECT_EQ(stroke(pencil)->pending_count, 3);
  faomngr_run_due();
  EXPECT_EQ(stroke(pencil)->pending_count, 1);
  EXPECT_EQ(stroke(pencil)->pending[0].x, 12);
  EXPECT_EQ(stroke(pencil)->stroke_count, 3);
  EXPECT_EQ(pixel(10, 6), kBlack);  // drawn before the pen is up
  pen(pencil, 3, 20, 9);
  pen(pencil, 2, 21, 9);
  faomngr_run_due();  // the pen up cancelled the waiting draw: nothing more happens
  ASSERT_EQ(paint_history_get_count(history), 1);
  EXPECT_EQ(step_data(0),
            points_bytes({{5, 5}, {10, 6}, {12, 8}, kSep, {12, 8}, {20, 9}, {21, 9}}));
  EXPECT_EQ(stroke(pencil)->stroke_count, 7);
}

TEST_F(StrokeTest, TranslucentPencilRestrokesTheWholeStrokeOpaqueOnlyNewRuns) {
  paint_context_set_canvas_color(pc, 0xFFFFFFFFu);
  paint_context_fill_base(pc);
  const uint32_t kMarker = 0xFF0000FFu;

  // Alpha 128: every frame restores the saved area and strokes the whole path once, so the
  // run going back over the first one does not darken it a second time.
  paint_context_set_fore_color(pc, fcolor_make(255, 0, 0, 128));
  pen(pencil, 1, 5, 10);
  EXPECT_EQ(stroke(pencil)->translucent, 128);
  pen(pencil, 3, 40, 10);
  faomngr_run_due();
  const uint32_t once = 0xFFFF7F7Fu;  // red at alpha 128 over white, blended once
  EXPECT_EQ(pixel(30, 10), once);
  set_pixel(50, 40, kMarker);  // a change the next frame's restore must undo
  pen(pencil, 3, 20, 10);      // back over the first run
  faomngr_run_due();
  EXPECT_EQ(pixel(30, 10), once);
  EXPECT_EQ(pixel(10, 10), once);
  EXPECT_EQ(pixel(50, 40), 0xFFFFFFFFu);
  pen(pencil, 2, 20, 30);
  EXPECT_EQ(pixel(30, 10), once);
  EXPECT_EQ(pixel(20, 25), once);
  EXPECT_FALSE(cairo_has_current_point(paint_context_get_renderer(pc)));
  Bytes live = painting();
  paint_history_rebuild(history);  // a replay strokes the same path once
  EXPECT_EQ(painting(), live);

  // Alpha 255 and alpha 0: only the new run is stroked and nothing is ever restored.
  for (uint8_t alpha : {uint8_t{255}, uint8_t{0}}) {
    SCOPED_TRACE(alpha);
    paint_context_fill_base(pc);
    paint_context_set_fore_color(pc, fcolor_make(0, 0, 0, alpha));
    pen(pencil, 1, 5, 10);
    EXPECT_EQ(stroke(pencil)->translucent, 0);
    pen(pencil, 3, 40, 10);
    faomngr_run_due();
    EXPECT_EQ(pixel(20, 10), alpha == 255 ? kBlack : 0xFFFFFFFFu);
    set_pixel(20, 10, kMarker);  // on the first run: a re-stroke would cover it
    set_pixel(50, 40, kMarker);  // elsewhere: a restore would remove it
    pen(pencil, 3, 40, 30);
    faomngr_run_due();
    EXPECT_EQ(pixel(40, 20), alpha == 255 ? kBlack : 0xFFFFFFFFu);
    pen(pencil, 2, 40, 30);
    EXPECT_EQ(pixel(20, 10), kMarker);
    EXPECT_EQ(pixel(50, 40), kMarker);
  }
}

TEST_F(StrokeTest, TranslucentFramesLeaveThePaintingOffTheScreenAlone) {
  // Columns 0..19 of the painting lie left of the screen: the backup does not cover them,
  // so frames must not touch them; the pen-up draw strokes them once.
  paint_context_set_canvas_color(pc, 0xFFFFFFFFu);
  paint_context_fill_base(pc);
  paint_context_set_view(pc, -20, kViewY);
  paint_context_set_fore_color(pc, fcolor_make(255, 0, 0, 128));
  auto at = [&](int32_t type, int32_t x, int32_t y) {
    shape_on_pen(pencil, type, x - 20, y + kViewY, 0);
  };
  at(1, 30, 20);
  at(3, 2, 20);
  faomngr_run_due();
  EXPECT_EQ(pixel(10, 20), 0xFFFFFFFFu);  // off the screen: not yet
  EXPECT_EQ(pixel(25, 20), 0xFFFF7F7Fu);
  at(3, 30, 21);
  faomngr_run_due();
  at(3, 4, 20);
  faomngr_run_due();
  at(2, 4, 20);
  EXPECT_EQ(pixel(10, 20), 0xFFFF7F7Fu);
  EXPECT_EQ(pixel(25, 20), 0xFFFF7F7Fu);
  Bytes live = painting();
  paint_history_rebuild(history);
  EXPECT_EQ(painting(), live);
}

TEST_F(StrokeTest, EraserPaintsTheCanvasColourOrRevealsThePicture) {
  // Blank painting: the canvas colour, whatever the fore colour says.
  pen(pencil, 1, 5, 20);
  pen(pencil, 2, 50, 20);
  EXPECT_EQ(pixel(30, 20), kBlack);
  paint_context_set_fore_color(pc, fcolor_make(255, 0, 0, 128));
  pen(eraser, 1, 5, 20);
  EXPECT_EQ(stroke(eraser)->translucent, 0);  // no translucent mode
  pen(eraser, 3, 30, 20);
  faomngr_run_due();
  pen(eraser, 2, 50, 20);
  for (int32_t x = 5; x <= 50; ++x) ASSERT_EQ(pixel(x, 20), kCanvas) << x;
  EXPECT_EQ(step_type(1), 5);

  // A painting started from a picture: the picture's own pixels come back.
  FBitmap* picture = fbitmap_create(64, -48, 32);
  ASSERT_NE(picture, nullptr);
  for (int32_t y = 0; y < 48; ++y)
    for (int32_t x = 0; x < 64; ++x)
      fbitmap_set_pixel(picture, x, y, fcolor_make(uint8_t(x * 4), uint8_t(y * 5), 100, 255));
  ASSERT_EQ(paint_context_load_picture(pc, picture), 1);
  paint_history_reset(history);
  paint_context_set_view(pc, kViewX, kViewY);
  paint_context_fill_base(pc);
  paint_context_set_fore_color(pc, kBlack);
  pen(pencil, 1, 5, 20);
  pen(pencil, 2, 50, 20);
  EXPECT_EQ(pixel(30, 20), kBlack);
  pen(eraser, 1, 5, 20);
  pen(eraser, 2, 50, 20);
  for (int32_t x = 5; x <= 50; ++x) {
    ASSERT_EQ(pixel(x, 20), fbitmap_get_pixel(picture, x, 20)) << x;
    ASSERT_EQ(pixel(x, 19), fbitmap_get_pixel(picture, x, 19)) << x;
  }

  // At zoom 2 the replayed eraser takes the picture fitted to the painting.
  ASSERT_EQ(paint_context_set_zoom(pc, 2.0), 1);
  paint_history_rebuild(history);
  for (int32_t x = 10; x <= 100; ++x)
    ASSERT_EQ(pixel(x, 40), fbitmap_get_pixel(picture, x / 2, 20)) << x;
  fbitmap_destroy(picture);
}

TEST_F(StrokeTest, ReplayAtScaleTwoEqualsTheDoubledStroke) {
  pen(pencil, 1, 4, 4);
  pen(pencil, 3, 20, 10);
  faomngr_run_due();
  pen(pencil, 3, 30, 30);
  pen(pencil, 3, 8, 40);
  faomngr_run_due();
  pen(pencil, 2, 9, 41);
  ASSERT_EQ(paint_history_get_count(history), 1);
  ASSERT_EQ(step_data(0), points_bytes({{4, 4}, {20, 10}, kSep, {20, 10}, {30, 30}, {8, 40},
                                        kSep, {8, 40}, {9, 41}}));

  ASSERT_EQ(paint_context_set_zoom(pc, 2.0), 1);
  paint_history_rebuild(history);
  Bytes replayed = painting();
  EXPECT_EQ(pixel(40, 20), kBlack);

  paint_context_fill_base(pc);
  load_and_draw(pencil, points_bytes({{8, 8}, {40, 20}, kSep, {40, 20}, {60, 60}, {16, 80},
                                      kSep, {16, 80}, {18, 82}}),
                1.0);
  EXPECT_EQ(painting(), replayed);
}

TEST_F(StrokeTest, HostileStepDataIsHarmless) {
  const Bytes base = painting();
  Bytes valid = points_bytes({{1, 1}, {30, 30}});
  struct Case {
    const uint8_t* data;
    int32_t size;
  };
  // Sizes that are no whole number of points draw nothing (not even part of a point).
  for (Case c : {Case{valid.data(), 7}, Case{valid.data(), 12}, Case{valid.data(), -8},
                 Case{valid.data(), 0}, Case{nullptr, 16}}) {
    SCOPED_TRACE(c.size);
    shape_load(pencil, c.data, c.size);
    EXPECT_EQ(stroke(pencil)->pending_count, 0);
    shape_draw(pencil, paint_context_get_renderer(pc), nullptr, 1.0);
    EXPECT_EQ(painting(), base);
  }

  // Coordinates at the ends of the range, leading, trailing and doubled separators.
  Bytes wild = points_bytes({kSep, {INT32_MIN, INT32_MAX}, {INT32_MAX, INT32_MIN}, kSep, kSep,
                             {5, 5}, {INT32_MAX, INT32_MAX}, kSep});
  for (double scale : {1.0, 2.0, 0.5}) {
    load_and_draw(pencil, wild, scale);
    load_and_draw(eraser, wild, scale);
  }
  EXPECT_EQ(cairo_status(paint_context_get_renderer(pc)), CAIRO_STATUS_SUCCESS);

  // A huge record is read in full when memory allows, and only as far as the array can
  // hold when it does not.
  constexpr size_t kMany = 300000;
  Bytes huge(kMany * 8);
  for (size_t i = 0; i < kMany; ++i) {
    fbytes_put_i32(huge.data() + 8 * i, static_cast<int32_t>(i % 60));
    fbytes_put_i32(huge.data() + 8 * i + 4, static_cast<int32_t>(i % 7 + 10));
  }
  shape_stroke_fail_growth_beyond(4096);
  shape_load(pencil, huge.data(), static_cast<int32_t>(huge.size()));
  EXPECT_EQ(stroke(pencil)->pending_count, 1024);
  shape_stroke_fail_growth_beyond(-1);
  shape_load(pencil, huge.data(), static_cast<int32_t>(huge.size()));
  EXPECT_EQ(stroke(pencil)->pending_count, 300000);
  EXPECT_EQ(stroke(pencil)->pending_capacity, 293 * 1024);
  EXPECT_EQ(stroke(pencil)->pending[299999].x, 299999 % 60);

  // Through the history: a damaged step replays as nothing.
  paint_history_append(history, paint_step_create(1, valid.data(), 7));
  paint_history_set_current(history, 0);
  paint_history_rebuild(history);
  EXPECT_EQ(painting(), base);
}

TEST_F(StrokeTest, ArraysThatCannotGrowDropTheirPointsButNotTheStroke) {
  shape_stroke_fail_growth_beyond(1024);
  // One draw of 1502 points: the pending array is full at the 1024th and cannot grow, so
  // those points are dropped and the stroke goes on with the rest.
  pen(pencil, 1, 0, 0);
  for (int32_t i = 1; i <= 1500; ++i) pen(pencil, 3, i % 60, i % 40);
  pen(pencil, 2, 7, 7);
  ASSERT_EQ(paint_history_get_count(history), 1);
  EXPECT_EQ(step_data(0).size(), 478u * 8);
  EXPECT_EQ(fbytes_get_i32(step_data(0).data()), 1024 % 60);

  // Two draws of 600 points: the stroke array fills up in the second one.
  pen(pencil, 1, 0, 0);
  for (int32_t i = 1; i < 600; ++i) pen(pencil, 3, i % 60, i % 40);
  faomngr_run_due();
  EXPECT_EQ(stroke(pencil)->stroke_count, 600);
  for (int32_t i = 600; i < 1200; ++i) pen(pencil, 3, i % 60, i % 40);
  pen(pencil, 2, 5, 5);
  EXPECT_EQ(stroke(pencil)->stroke_count, 601 + 602 - 1024);
  EXPECT_EQ(step_data(1).size(), size_t(601 + 602 - 1024) * 8);

  // Creation needs both arrays.
  shape_stroke_fail_growth_beyond(512);
  EXPECT_EQ(shape_pencil_create(1, u"Pencil", pc, history, nullptr), nullptr);
  EXPECT_EQ(shape_rubber_create(5, u"Eraser", pc, history, nullptr), nullptr);
}

TEST_F(StrokeTest, LongStrokesGrowTheirArraysInStepsOf1024) {
  pen(pencil, 1, 0, 0);
  for (int32_t i = 1; i <= 2100; ++i) pen(pencil, 3, i % 60, i % 40);
  EXPECT_EQ(stroke(pencil)->pending_count, 2101);
  EXPECT_EQ(stroke(pencil)->pending_capacity, 3072);
  pen(pencil, 2, 1, 1);
  EXPECT_EQ(stroke(pencil)->stroke_count, 2102);
  EXPECT_EQ(stroke(pencil)->stroke_capacity, 3072);
  Bytes data = step_data(0);
  ASSERT_EQ(data.size(), 2102u * 8);
  EXPECT_EQ(fbytes_get_i32(data.data() + 8 * 2100), 2100 % 60);
  EXPECT_EQ(fbytes_get_i32(data.data() + 8 * 2101 + 4), 1);
}

}  // namespace
