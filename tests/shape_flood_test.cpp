// The paint bucket: its step and taps, the tolerance the zoom gives with graded edges,
// 4-connectivity, the canvas fill against a breadth-first model, translucent and white
// fills, the screen repaint, and a replay at twice the zoom.

#include "shape_flood.h"

#include <gtest/gtest.h>

#include <cairo.h>

#include <algorithm>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "fbytes.h"
#include "fcanvas.h"
#include "fcanvas_raster.h"
#include "fscreen.h"
#include "fsurface.h"
#include "paint_context.h"
#include "paint_history.h"
#include "wins_window.h"

namespace {

namespace fs = std::filesystem;

constexpr FColor kWhite = 0xFFFFFFFFu, kBlack = 0xFF000000u, kRed = 0xFFFF0000u;
constexpr FColor kBlue = 0xFF0000FFu;
constexpr uint32_t kFloodId = 9, kBarId = 50;

// A test tool that fills (x0, y0)-(x1, y1) in step coordinates, for replays.
struct BarShape {
  Shape head;
  int32_t x0, y0, x1, y1;
};

void bar_load(Shape* shape, const uint8_t* data, int32_t size) {
  auto* bar = reinterpret_cast<BarShape*>(shape);
  if (size != 16) return;
  bar->x0 = fbytes_get_i32(data);
  bar->y0 = fbytes_get_i32(data + 4);
  bar->x1 = fbytes_get_i32(data + 8);
  bar->y1 = fbytes_get_i32(data + 12);
}

void bar_draw(Shape* shape, cairo_t* cr, void*, double scale) {
  auto* bar = reinterpret_cast<BarShape*>(shape);
  cairo_set_source_rgb(cr, 0, 0, 0);
  cairo_rectangle(cr, bar->x0 * scale, bar->y0 * scale, (bar->x1 - bar->x0) * scale,
                  (bar->y1 - bar->y0) * scale);
  cairo_fill(cr);
}

class FloodTest : public ::testing::Test {
 protected:
  void SetUp() override { open(20, 10); }
  void open(int32_t width, int32_t height) {
    close();
    dir = std::string(std::getenv("PENLARK_HOME")) + "/flood-" +
          ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::remove_all(dir);
    pc = paint_context_create(nullptr, width, height, kRed, kWhite, kWhite, 1, 0, 0, 0);
    ASSERT_NE(pc, nullptr);
    paint_context_set_screen_size(pc, 240, 320);
    paint_context_set_view(pc, 30, 40);
    history = paint_history_create(pc, dir.c_str());
    flood = shape_flood_create(kFloodId, u"Paint Bucket", pc, history, nullptr);
    ASSERT_NE(flood, nullptr);
    ASSERT_EQ(paint_context_add_shape(pc, flood), 1);
    paint_context_fill_base(pc);
  }
  void close() {
    if (flood) shape_flood_destroy(flood);
    if (history) paint_history_destroy(history);
    if (pc) paint_context_destroy(pc);
    flood = nullptr, history = nullptr, pc = nullptr;
    if (!dir.empty()) fs::remove_all(dir);
  }
  void TearDown() override { close(); }

  FBitmap* painting() { return paint_context_get_painting(pc); }
  int32_t width() { return fbitmap_get_width(painting()); }
  void put(int32_t x, int32_t y, FColor c) { fbitmap_set_pixel(painting(), x, y, c); }
  FColor at(int32_t x, int32_t y) { return fbitmap_get_pixel(painting(), x, y); }
  void fill_all(FColor c) {
    fbitmap_fill_rect(painting(), 0, 0, width() - 1, fbitmap_get_height(painting()) - 1, c);
  }
  int pen(int32_t type, int32_t x, int32_t y) {
    FPoint view = paint_context_get_view(pc);
    return shape_on_pen(flood, type, x + view.x, y + view.y, 0);
  }
  int tap(int32_t x, int32_t y) { return pen(FPOINTER_DOWN, x, y) && pen(FPOINTER_UP, x, y); }
  std::vector<FColor> snapshot() {
    std::vector<FColor> all;
    for (int32_t y = 0; y < fbitmap_get_height(painting()); ++y)
      for (int32_t x = 0; x < width(); ++x) all.push_back(at(x, y));
    return all;
  }

  std::string dir;
  PaintContext* pc = nullptr;
  PaintHistory* history = nullptr;
  Shape* flood = nullptr;
};

TEST_F(FloodTest, TapFillsAndRecordsTheSeedTapsOffThePaintingRecordNothing) {
  auto* state = reinterpret_cast<ShapeFlood*>(flood);
  const std::vector<FColor> before = snapshot();
  for (FPoint p : {FPoint{20, 0}, FPoint{0, 10}, FPoint{-1, 3}, FPoint{5, -1}})
    EXPECT_EQ(tap(p.x, p.y), 1);
  EXPECT_EQ(snapshot(), before);
  EXPECT_EQ(paint_history_get_count(history), 0);

  EXPECT_EQ(pen(FPOINTER_DOWN, 19, 0), 1);  // the last column is on the painting
  EXPECT_EQ(at(0, 0), kRed);
  EXPECT_EQ(at(19, 9), kRed);
  ASSERT_EQ(paint_history_get_count(history), 1);
  const PaintStep* step = paint_history_get_step(history, 0);
  EXPECT_EQ(step->type, 9);
  EXPECT_EQ(std::vector<uint8_t>(step->data, step->data + step->data_size),
            (std::vector<uint8_t>{19, 0, 0, 0, 0, 0, 0, 0}));
  // Moves are swallowed while the pen is down; up ends the stroke and clears the seed.
  EXPECT_EQ(pen(FPOINTER_MOVE, 3, 3), 1);
  EXPECT_EQ(paint_history_get_count(history), 1);
  EXPECT_EQ(pen(FPOINTER_UP, 3, 3), 1);
  EXPECT_EQ(flood->active, 0);
  EXPECT_EQ(state->seed_x, -1);
  EXPECT_EQ(state->seed_y, -1);
  EXPECT_EQ(pen(FPOINTER_MOVE, 0, 0), 0);
  EXPECT_EQ(pen(FPOINTER_UP, 0, 0), 0);
  EXPECT_EQ(pen(7, 0, 0), 0);

  // Load takes exactly eight bytes; a loaded seed off the painting draws nothing.
  uint8_t data[9] = {3, 0, 0, 0, 0xFE, 0xFF, 0xFF, 0xFF, 1};
  shape_load(flood, data, 7);
  shape_load(flood, data, 9);
  shape_load(flood, nullptr, 8);
  EXPECT_EQ(state->seed_x, -1);
  shape_load(flood, data, 8);
  EXPECT_EQ(state->seed_x, 3);
  EXPECT_EQ(state->seed_y, -2);
  const std::vector<FColor> filled = snapshot();
  shape_draw(flood, paint_context_get_renderer(pc), nullptr, 1.0);
  EXPECT_EQ(snapshot(), filled);
}

TEST_F(FloodTest, ToleranceFollowsTheZoomAndEdgesAreGraded) {
  for (auto [zoom, tolerance] :
       {std::pair{1.0, 32}, {0.25, 32}, {0.2, 16}, {0.125, 16}, {0.1, 0}})
    EXPECT_EQ(shape_flood_tolerance(zoom), tolerance) << zoom;

  // Row 0: x0 differs by 16 in red, x1..x3 are the seed, x4 differs by 17, x5 by 100.
  const FColor seed = fcolor_make(200, 200, 200, 255), off16 = fcolor_make(216, 200, 200, 255),
               off17 = fcolor_make(200, 183, 200, 255), off100 = fcolor_make(100, 200, 200, 255);
  open(100, 50);
  paint_context_set_fore_color(pc, kBlue);
  // Grading keeps w = distance / 3 of the pixel: (brush x (255 - w) + pixel x w) >> 8.
  const FColor graded16 = fcolor_make(216 * 5 >> 8, 200 * 5 >> 8, (255 * 250 + 200 * 5) >> 8, 255);
  const FColor graded17 = fcolor_make(200 * 5 >> 8, 183 * 5 >> 8, (255 * 250 + 200 * 5) >> 8, 255);
  struct Case {
    double zoom;
    FColor x0, x4, x5;
  };
  for (const Case& c : {Case{0.2, graded16, off17, off100}, Case{0.1, off16, off17, off100},
                        Case{0.25, graded16, graded17, off100}}) {
    ASSERT_EQ(paint_context_set_zoom(pc, c.zoom), 1);
    fill_all(kBlack);
    for (int32_t x = 0; x < 6; ++x) put(x, 0, x == 0 ? off16 : x == 4 ? off17 : x == 5 ? off100 : seed);
    tap(2, 0);
    EXPECT_EQ(at(0, 0), c.x0) << c.zoom;
    EXPECT_EQ(at(1, 0), kBlue);
    EXPECT_EQ(at(3, 0), kBlue);
    EXPECT_EQ(at(4, 0), c.x4) << c.zoom;
    EXPECT_EQ(at(5, 0), c.x5) << c.zoom;
    EXPECT_EQ(at(0, 1), kBlack);
  }
}

TEST_F(FloodTest, CornersDoNotJoin) {
  // A white chequer: no two white pixels share an edge, so a tap fills one pixel.
  fill_all(kBlack);
  for (int32_t y = 0; y < 10; ++y)
    for (int32_t x = (y % 2); x < 20; x += 2) put(x, y, kWhite);
  tap(4, 4);
  EXPECT_EQ(at(4, 4), kRed);
  for (FPoint p : {FPoint{5, 5}, FPoint{3, 3}, FPoint{5, 3}, FPoint{3, 5}})
    EXPECT_EQ(at(p.x, p.y), kWhite);
}

// The canvas fill worked out independently: the 4-connected pixels within the tolerance of
// the seed; from each end of a row's run the pixels not exactly the seed are graded
// (w = summed distance / 3 kept), the rest take the brush, keeping the fourth byte.
struct Model {
  int32_t w, h, bytes;
  std::vector<uint8_t> px;  // rows of blue, green, red (, fourth byte)
  uint8_t* at(int32_t x, int32_t y) { return &px[(static_cast<size_t>(y) * w + x) * bytes]; }
};

void model_fill(Model* m, int32_t sx, int32_t sy, int32_t tolerance, FColor brush) {
  uint8_t seed[3];
  std::copy(m->at(sx, sy), m->at(sx, sy) + 3, seed);
  auto similar = [&](const uint8_t* p) {
    for (int c = 0; c < 3; ++c)
      if (std::abs(p[c] - seed[c]) > tolerance) return false;
    return true;
  };
  std::vector<uint8_t> in(static_cast<size_t>(m->w) * m->h, 0);
  std::deque<FPoint> queue{{sx, sy}};
  in[static_cast<size_t>(sy) * m->w + sx] = 1;
  while (!queue.empty()) {
    FPoint p = queue.front();
    queue.pop_front();
    for (FPoint q : {FPoint{p.x - 1, p.y}, FPoint{p.x + 1, p.y}, FPoint{p.x, p.y - 1},
                     FPoint{p.x, p.y + 1}}) {
      if (q.x < 0 || q.y < 0 || q.x >= m->w || q.y >= m->h) continue;
      size_t i = static_cast<size_t>(q.y) * m->w + q.x;
      if (in[i] || !similar(m->at(q.x, q.y))) continue;
      in[i] = 1;
      queue.push_back(q);
    }
  }
  const uint8_t b[3] = {fcolor_blue(brush), fcolor_green(brush), fcolor_red(brush)};
  auto exact = [&](const uint8_t* p) { return std::equal(p, p + 3, seed); };
  // A graded pixel is blended at its own fourth byte as opacity and then stored opaque.
  auto grade = [&](uint8_t* p) {
    const int keep = (std::abs(p[0] - seed[0]) + std::abs(p[1] - seed[1]) + std::abs(p[2] - seed[2])) / 3;
    const int a = m->bytes == 4 ? p[3] : 255;
    for (int c = 0; c < 3; ++c) {
      const int mix = (b[c] * (255 - keep) + p[c] * keep) >> 8;
      p[c] = static_cast<uint8_t>(a == 255 ? mix : (p[c] * (255 - a) + mix * a) >> 8);
    }
    if (m->bytes == 4) p[3] = 255;
  };
  for (int32_t y = 0; y < m->h; ++y) {
    for (int32_t x = 0; x < m->w; ++x) {
      if (!in[static_cast<size_t>(y) * m->w + x]) continue;
      int32_t r = x;
      while (r + 1 < m->w && in[static_cast<size_t>(y) * m->w + r + 1]) ++r;
      int32_t a = x, z = r;
      for (; a <= r && !exact(m->at(a, y)); ++a) grade(m->at(a, y));
      for (; z >= a && !exact(m->at(z, y)); --z) grade(m->at(z, y));
      for (int32_t k = a; k <= z; ++k) std::copy(b, b + 3, m->at(k, y));
      x = r;
    }
  }
}

TEST(FloodFillModelTest, CanvasFillMatchesTheModelOnRandomPicturesAtEveryTolerance) {
  std::mt19937 rng(77);
  for (int round = 0; round < 120; ++round) {
    // The second half runs without the fill's indexes and caches, as when memory is short.
    fraster_flood_refuse_indexes(round >= 60);
    const int32_t bpp = round % 2 ? 24 : 32, bytes = bpp / 8;
    // Widths of whole 64-pixel words are among them: runs that reach the row's end.
    int32_t w = round % 20 == 5 ? 64 : round % 20 == 15 ? 128 : 5 + static_cast<int32_t>(rng() % 140);
    const int32_t h = 3 + static_cast<int32_t>(rng() % 40);
    FCanvas canvas{};
    ASSERT_EQ(fcanvas_create(&canvas, nullptr, bpp, w, round % 3 ? -h : h), 1);
    Model m{w, h, bytes, std::vector<uint8_t>(static_cast<size_t>(w) * h * bytes)};
    // Few close levels, so that many pixels are similar but not equal to the seed.
    for (int32_t y = 0; y < h; ++y) {
      for (int32_t x = 0; x < w; ++x) {
        uint8_t* p = fbitmap_row(canvas.bitmap, y) + x * bytes;
        for (int c = 0; c < 3; ++c) p[c] = static_cast<uint8_t>(100 + 20 * (rng() % 5) + rng() % 3);
        if (bpp == 32) p[3] = static_cast<uint8_t>(rng() % 2 ? 255 : rng());
        std::copy(p, p + bytes, m.at(x, y));
      }
    }
    const int32_t tolerance = static_cast<int32_t>(rng() % 70);
    const int32_t sx = static_cast<int32_t>(rng() % w), sy = static_cast<int32_t>(rng() % h);
    const FColor brush = fcolor_make(static_cast<uint8_t>(rng()), static_cast<uint8_t>(rng()),
                                     static_cast<uint8_t>(rng()), 255);
    fcanvas_set_brush(&canvas, FBRUSH_SOLID, brush);
    ASSERT_EQ(fcanvas_flood_fill(&canvas, sx, sy, tolerance), 1);
    model_fill(&m, sx, sy, tolerance, brush);
    int wrong = 0;
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; ++x)
        wrong += !std::equal(m.at(x, y), m.at(x, y) + bytes, fbitmap_row(canvas.bitmap, y) + x * bytes);
    EXPECT_EQ(wrong, 0) << "round " << round << " bpp " << bpp << " tolerance " << tolerance;
    fcanvas_release(&canvas);
  }
  fraster_flood_refuse_indexes(0);
}

TEST_F(FloodTest, TranslucentFillBlendsOncePerPixelAndWhiteOnWhiteEnds) {
  // A closed white box, walls at x 2 and 12, y 1 and 8.
  fill_all(kWhite);
  fbitmap_fill_rect(painting(), 2, 1, 12, 8, kBlack);
  fbitmap_fill_rect(painting(), 3, 2, 11, 7, kWhite);
  paint_context_set_fore_color(pc, kWhite);
  const std::vector<FColor> before = snapshot();
  tap(5, 5);
  EXPECT_EQ(snapshot(), before);
  EXPECT_EQ(paint_history_get_count(history), 1);

  // (255 x 128 + 255 x 127) >> 8 = 254 and (255 x 127) >> 8 = 126; twice would give 62.
  paint_context_set_fore_color(pc, fcolor_make(255, 0, 0, 128));
  tap(5, 5);
  for (int32_t y = 0; y < 10; ++y) {
    for (int32_t x = 0; x < 20; ++x) {
      const bool inside = x > 2 && x < 12 && y > 1 && y < 8;
      const bool wall = !inside && x >= 2 && x <= 12 && y >= 1 && y <= 8;
      EXPECT_EQ(at(x, y), inside ? fcolor_make(254, 126, 126, 255) : wall ? kBlack : kWhite)
          << x << "," << y;
    }
  }
}

TEST_F(FloodTest, ReplayAtTwiceTheZoomSeedsAtTwiceThePoint) {
  // A black bar over columns 4..; at zoom 2 the unscaled seed (5, 4) would be white.
  BarShape bar{};
  shape_init(&bar.head, kBarId, u"bar", pc, history, nullptr);
  shape_set_load(&bar.head, bar_load);
  shape_set_draw(&bar.head, bar_draw);
  ASSERT_EQ(paint_context_add_shape(pc, &bar.head), 1);
  uint8_t data[16];
  const int32_t fields[4] = {4, 0, 20, 10};
  for (int i = 0; i < 4; ++i) fbytes_put_i32(data + 4 * i, fields[i]);
  shape_load(&bar.head, data, 16);
  shape_draw(&bar.head, paint_context_get_renderer(pc), nullptr, 1.0);
  cairo_surface_flush(cairo_get_target(paint_context_get_renderer(pc)));
  paint_history_add(history, kBarId, data, 16);
  tap(5, 4);
  EXPECT_EQ(at(3, 0), kWhite);
  EXPECT_EQ(at(4, 0), kRed);

  ASSERT_EQ(paint_context_set_zoom(pc, 2.0), 1);
  paint_history_rebuild(history);
  ASSERT_EQ(width(), 40);
  for (int32_t x = 0; x < 40; ++x) EXPECT_EQ(at(x, 10), x < 8 ? kWhite : kRed) << x;
  shape_release(&bar.head);
}

std::vector<std::pair<FRect, int>> g_repaints;
PaintContext* g_pc = nullptr;

TEST(FloodScreenTest, FillRepaintsTheWholeScreenAsAToolRepaint) {
  FScreen screen{};
  ASSERT_EQ(fscreen_create(&screen, 240, -320, 32), 1);
  fscreen_set_global(&screen);
  wins_window_set_flush([](const FRect*) {});
  PaintContext* pc = paint_context_create(&screen, 40, 30, kRed, kWhite, kWhite, 1, 0, 0, 0);
  ASSERT_NE(pc, nullptr);
  const std::string dir = std::string(std::getenv("PENLARK_HOME")) + "/flood-screen";
  PaintHistory* history = paint_history_create(pc, dir.c_str());
  Shape* flood = shape_flood_create(kFloodId, u"Paint Bucket", pc, history, nullptr);
  ASSERT_NE(flood, nullptr);
  g_pc = pc;
  g_repaints.clear();
  fscreen_set_on_paint_background(&screen, [](FScreen*, const FRect* r) {
    g_repaints.push_back({*r, paint_context_is_partial_repaint(g_pc)});
  });
  FPoint view = paint_context_get_view(pc);
  shape_on_pen(flood, FPOINTER_DOWN, view.x + 1, view.y + 1, 0);
  ASSERT_EQ(g_repaints.size(), 1u);
  EXPECT_TRUE(frect_equal(g_repaints[0].first, FRect{0, 0, 239, 319}));
  EXPECT_EQ(g_repaints[0].second, 1);  // a tool's repaint
  EXPECT_EQ(paint_context_is_partial_repaint(pc), 0);
  shape_on_pen(flood, FPOINTER_UP, view.x + 1, view.y + 1, 0);
  shape_on_pen(flood, FPOINTER_DOWN, view.x - 1, view.y, 0);  // off the painting
  EXPECT_EQ(g_repaints.size(), 1u);
  shape_flood_destroy(flood);
  paint_history_destroy(history);
  paint_context_destroy(pc);
  fs::remove_all(dir);
  wins_window_set_flush(nullptr);
  fscreen_set_global(nullptr);
  fscreen_release(&screen);
}

TEST(FloodDeathTest, NullToolIsFatal) {
  EXPECT_DEATH(shape_flood_destroy(nullptr), "shape!=null");
}

}  // namespace
