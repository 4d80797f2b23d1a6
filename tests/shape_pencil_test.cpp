// The pencil and the eraser through shape_on_pen, deferred draws run by the active-object
// manager: recorded points with separators between runs, the translucent pencil that
// re-strokes its whole path over the restored visible part, the eraser's ink, replay at
// another zoom, hostile step data and point arrays that cannot grow.

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

using Bytes = std::vector<uint8_t>;

constexpr int32_t kViewX = 10, kViewY = 5;  // the 64 x 48 painting on a 100 x 80 screen
constexpr FColor kBlack = 0xFF000000u;
constexpr FColor kWhite = 0xFFFFFFFFu;
constexpr FColor kCanvas = 0xFF0A141Eu;
constexpr FColor kHalfRed = 0xFFFF7F7Fu;  // red at alpha 128 over white, blended once
constexpr FPoint kSep{SHAPE_STROKE_SEPARATOR, SHAPE_STROKE_SEPARATOR};

using Colors = std::vector<uint32_t>;

Bytes points_bytes(const std::vector<FPoint>& points) {
  Bytes out(points.size() * 8);
  uint8_t* at = out.data();
  for (FPoint p : points) {
    fbytes_put_i32(at, p.x);
    fbytes_put_i32(at + 4, p.y);
    at += 8;
  }
  return out;
}

class StrokeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = std::string(std::getenv("PENLARK_HOME")) + "/" +
          ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::filesystem::remove_all(dir);
    ASSERT_EQ(faomngr_init(), 1);
    pc = paint_context_create(nullptr, 64, 48, kBlack, 0xFF0000FFu, kCanvas, 3, 0, 0, 0);
    ASSERT_NE(pc, nullptr);
    paint_context_set_screen_size(pc, 100, 80);
    paint_context_set_view(pc, kViewX, kViewY);
    history = paint_history_create(pc, dir.c_str());
    pencil = shape_pencil_create(1, u"Pencil", pc, history, nullptr);
    eraser = shape_rubber_create(5, u"Eraser", pc, history, nullptr);
    ASSERT_TRUE(history && pencil && eraser);
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
    std::filesystem::remove_all(dir);
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
  Colors pixels(std::initializer_list<FPoint> at) {
    Colors out;
    for (FPoint p : at) out.push_back(pixel(p.x, p.y));
    return out;
  }
  void set_pixel(int32_t x, int32_t y, uint32_t raw) {
    cairo_surface_flush(pc->renderer_surface);
    fbitmap_set_pixel(paint_context_get_painting(pc), x, y, raw);
    cairo_surface_mark_dirty(pc->renderer_surface);
  }
  Bytes painting() {
    cairo_surface_flush(pc->renderer_surface);
    FBitmap* p = paint_context_get_painting(pc);
    return Bytes(p->pixels, p->pixels + fbitmap_get_stride(p) * fbitmap_get_height(p));
  }
  Bytes step_data(int32_t index) {
    PaintStep* step = paint_history_get_step(history, index);
    return step ? Bytes(step->data, step->data + step->data_size) : Bytes{};
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

TEST_F(StrokeTest, StrokesRecordTheirRunsWithSeparatorsAndReplayAtTwiceTheZoom) {
  EXPECT_EQ(pen(pencil, 3, 20, 20), 0);  // no stroke yet
  EXPECT_EQ(pen(pencil, 2, 20, 20), 0);
  // A tap records both points as a round-capped dot; the pencil keeps its stroke after
  // pen up, the eraser (type 5) resets, and the renderer holds no path.
  EXPECT_EQ(pen(pencil, 1, 20, 20), 1);
  EXPECT_EQ(pen(pencil, 2, 20, 20), 1);
  EXPECT_EQ(pencil->active, 0);
  EXPECT_EQ(step_data(0), points_bytes({{20, 20}, {20, 20}}));
  EXPECT_EQ(pixels({{20, 20}, {24, 20}}), (Colors{kBlack, kCanvas}));
  EXPECT_EQ(stroke(pencil)->stroke_count, 2);
  EXPECT_FALSE(cairo_has_current_point(paint_context_get_renderer(pc)));
  EXPECT_EQ(pen(eraser, 1, 20, 20), 1);
  EXPECT_EQ(pen(eraser, 2, 21, 20), 1);
  EXPECT_EQ(paint_history_get_step(history, 1)->type, 5);
  EXPECT_EQ(step_data(1), points_bytes({{20, 20}, {21, 20}}));
  EXPECT_EQ(stroke(eraser)->stroke_count, 0);
  EXPECT_EQ(pixel(20, 20), kCanvas);

  // Moves before a draw make one run, drawn before the pen is up; the run's last point
  // starts the next one behind a separator. Pen up takes the waiting moves and cancels
  // their draw.
  paint_history_reset(history);
  paint_context_fill_base(pc);
  pen(pencil, 1, 4, 4);
  pen(pencil, 3, 12, 6);
  pen(pencil, 3, 20, 10);
  faomngr_run_due();
  EXPECT_EQ(pixel(12, 6), kBlack);
  pen(pencil, 3, 30, 30);
  faomngr_run_due();
  pen(pencil, 3, 8, 40);
  pen(pencil, 2, 9, 41);
  faomngr_run_due();
  ASSERT_EQ(paint_history_get_count(history), 1);
  std::vector<FPoint> points{{4, 4},   {12, 6}, {20, 10}, kSep,    {20, 10},
                             {30, 30}, kSep,    {30, 30}, {8, 40}, {9, 41}};
  ASSERT_EQ(step_data(0), points_bytes(points));
  // Replayed at zoom 2 it is the stroke through the doubled points.
  ASSERT_EQ(paint_context_set_zoom(pc, 2.0), 1);
  paint_history_rebuild(history);
  Bytes replayed = painting();
  EXPECT_EQ(pixel(40, 20), kBlack);
  paint_context_fill_base(pc);
  for (FPoint& p : points) p = p.x == kSep.x ? p : FPoint{p.x * 2, p.y * 2};
  load_and_draw(pencil, points_bytes(points), 1.0);
  EXPECT_EQ(painting(), replayed);
}

TEST_F(StrokeTest, TranslucentPencilRestrokesTheWholeStrokeOpaqueOnlyNewRuns) {
  const uint32_t kMarker = 0xFF0000FFu;
  paint_context_set_canvas_color(pc, kWhite);
  paint_context_fill_base(pc);
  // Alpha 128: every frame restores the saved area and strokes the whole path once, so the
  // run going back over the first one does not darken it a second time.
  paint_context_set_fore_color(pc, fcolor_make(255, 0, 0, 128));
  pen(pencil, 1, 5, 10);
  EXPECT_EQ(stroke(pencil)->translucent, 128);
  pen(pencil, 3, 40, 10);
  faomngr_run_due();
  EXPECT_EQ(pixel(30, 10), kHalfRed);
  set_pixel(50, 40, kMarker);  // a change the next frame's restore must undo
  pen(pencil, 3, 20, 10);      // back over the first run
  faomngr_run_due();
  EXPECT_EQ(pixels({{30, 10}, {10, 10}, {50, 40}}), (Colors{kHalfRed, kHalfRed, kWhite}));
  pen(pencil, 2, 20, 30);
  EXPECT_EQ(pixels({{30, 10}, {20, 25}}), (Colors{kHalfRed, kHalfRed}));
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
    EXPECT_EQ(pixel(20, 10), alpha == 255 ? kBlack : kWhite);
    set_pixel(20, 10, kMarker);  // on the first run: a re-stroke would cover it
    set_pixel(50, 40, kMarker);  // elsewhere: a restore would remove it
    pen(pencil, 3, 40, 30);
    faomngr_run_due();
    EXPECT_EQ(pixel(40, 20), alpha == 255 ? kBlack : kWhite);
    pen(pencil, 2, 40, 30);
    EXPECT_EQ(pixels({{20, 10}, {50, 40}}), (Colors{kMarker, kMarker}));
  }

  // Columns 0..19 lie left of the screen, outside the backup: frames leave them alone and
  // the pen-up draw strokes them once.
  paint_history_reset(history);
  paint_context_fill_base(pc);
  paint_context_set_view(pc, -20, kViewY);
  paint_context_set_fore_color(pc, fcolor_make(255, 0, 0, 128));
  auto at = [&](int32_t type, int32_t x, int32_t y) {
    shape_on_pen(pencil, type, x - 20, y + kViewY, 0);
  };
  at(1, 30, 20);
  at(3, 2, 20);
  faomngr_run_due();
  EXPECT_EQ(pixels({{10, 20}, {25, 20}}), (Colors{kWhite, kHalfRed}));
  at(3, 30, 21);
  faomngr_run_due();
  at(3, 4, 20);
  faomngr_run_due();
  at(2, 4, 20);
  EXPECT_EQ(pixels({{10, 20}, {25, 20}}), (Colors{kHalfRed, kHalfRed}));
  live = painting();
  paint_history_rebuild(history);
  EXPECT_EQ(painting(), live);
}

TEST_F(StrokeTest, EraserPaintsTheCanvasColourOrRevealsThePicture) {
  // Blank painting: the canvas colour, whatever the fore colour says, never translucent.
  pen(pencil, 1, 5, 20);
  pen(pencil, 2, 50, 20);
  paint_context_set_fore_color(pc, fcolor_make(255, 0, 0, 128));
  pen(eraser, 1, 5, 20);
  EXPECT_EQ(stroke(eraser)->translucent, 0);
  pen(eraser, 3, 30, 20);
  faomngr_run_due();
  pen(eraser, 2, 50, 20);
  for (int32_t x = 5; x <= 50; ++x) ASSERT_EQ(pixel(x, 20), kCanvas) << x;

  // A painting started from a picture: the picture's own pixels come back.
  FBitmap* picture = fbitmap_create(64, -48, 32);
  ASSERT_NE(picture, nullptr);
  for (int32_t y = 0; y < 48; ++y)
    for (int32_t x = 0; x < 64; ++x) fbitmap_set_pixel(picture, x, y, fcolor_make(x * 4, y * 5, 100, 255));
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
  for (int32_t x = 5; x <= 50; ++x) ASSERT_EQ(pixel(x, 20), fbitmap_get_pixel(picture, x, 20)) << x;
  // At zoom 2 the replayed eraser takes the picture fitted to the painting.
  ASSERT_EQ(paint_context_set_zoom(pc, 2.0), 1);
  paint_history_rebuild(history);
  for (int32_t x = 10; x <= 100; ++x)
    ASSERT_EQ(pixel(x, 40), fbitmap_get_pixel(picture, x / 2, 20)) << x;
  fbitmap_destroy(picture);
}

TEST_F(StrokeTest, HostileStepDataIsHarmless) {
  const Bytes base = painting();
  Bytes valid = points_bytes({{1, 1}, {30, 30}});
  // Sizes that are no whole number of points draw nothing, not even part of a point.
  for (auto [data, size] : {std::pair{valid.data(), 7},
                            {valid.data(), 12},
                            {valid.data(), -8},
                            {valid.data(), 0},
                            {nullptr, 16}}) {
    SCOPED_TRACE(size);
    shape_load(pencil, data, size);
    EXPECT_EQ(stroke(pencil)->pending_count, 0);
    shape_draw(pencil, paint_context_get_renderer(pc), nullptr, 1.0);
    EXPECT_EQ(painting(), base);
  }
  // Coordinates at the ends of the range, leading, trailing and doubled separators.
  Bytes wild = points_bytes({kSep,
                             {INT32_MIN, INT32_MAX},
                             {INT32_MAX, INT32_MIN},
                             kSep,
                             kSep,
                             {5, 5},
                             {INT32_MAX, INT32_MAX},
                             kSep});
  for (double scale : {1.0, 2.0, 0.5}) {
    load_and_draw(pencil, wild, scale);
    load_and_draw(eraser, wild, scale);
  }
  EXPECT_EQ(cairo_status(paint_context_get_renderer(pc)), CAIRO_STATUS_SUCCESS);
}

TEST_F(StrokeTest, PointArraysGrowBy1024AndDropPointsWhenTheyCannot) {
  pen(pencil, 1, 0, 0);
  for (int32_t i = 1; i <= 2100; ++i) pen(pencil, 3, i % 60, i % 40);
  EXPECT_EQ(stroke(pencil)->pending_count, 2101);
  EXPECT_EQ(stroke(pencil)->pending_capacity, 3072);
  pen(pencil, 2, 1, 1);
  Bytes data = step_data(0);
  ASSERT_EQ(data.size(), 2102u * 8);
  EXPECT_EQ(fbytes_get_i32(data.data() + 8 * 2100), 2100 % 60);
  EXPECT_EQ(fbytes_get_i32(data.data() + 8 * 2101 + 4), 1);

  // One draw of 1502 points with growth failing: the pending array is full at the 1024th,
  // drops those and goes on with the rest.
  shape_stroke_fail_growth_beyond(1024);
  pen(eraser, 1, 0, 0);
  for (int32_t i = 1; i <= 1500; ++i) pen(eraser, 3, i % 60, i % 40);
  pen(eraser, 2, 7, 7);
  EXPECT_EQ(step_data(1).size(), 478u * 8);
  EXPECT_EQ(fbytes_get_i32(step_data(1).data()), 1024 % 60);
  // Two draws of 600 points: the stroke array fills up in the second one.
  pen(eraser, 1, 0, 0);
  for (int32_t i = 1; i < 600; ++i) pen(eraser, 3, i % 60, i % 40);
  faomngr_run_due();
  for (int32_t i = 600; i < 1200; ++i) pen(eraser, 3, i % 60, i % 40);
  pen(eraser, 2, 5, 5);
  EXPECT_EQ(step_data(2).size(), size_t(601 + 602 - 1024) * 8);

  // A huge record is read in full when memory allows, only as far as the array can hold
  // when it does not.
  constexpr int32_t kMany = 300000;
  Bytes huge(kMany * 8);
  for (int32_t i = 0; i < kMany; ++i) {
    fbytes_put_i32(huge.data() + 8 * i, i % 60);
    fbytes_put_i32(huge.data() + 8 * i + 4, i % 7 + 10);
  }
  shape_stroke_fail_growth_beyond(4096);
  shape_load(eraser, huge.data(), static_cast<int32_t>(huge.size()));
  EXPECT_EQ(stroke(eraser)->pending_count, 1024);
  shape_stroke_fail_growth_beyond(-1);
  shape_load(eraser, huge.data(), static_cast<int32_t>(huge.size()));
  EXPECT_EQ(stroke(eraser)->pending_count, kMany);
  EXPECT_EQ(stroke(eraser)->pending_capacity, 293 * 1024);
  EXPECT_EQ(stroke(eraser)->pending[kMany - 1].x, (kMany - 1) % 60);
  // Creation needs both arrays.
  shape_stroke_fail_growth_beyond(512);
  EXPECT_EQ(shape_pencil_create(1, u"Pencil", pc, history, nullptr), nullptr);
  EXPECT_EQ(shape_rubber_create(5, u"Eraser", pc, history, nullptr), nullptr);
}

}  // namespace
