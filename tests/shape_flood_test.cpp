// The paint bucket through its pen events and the history: the 8-byte step and the taps
// that record nothing, the tolerance the zoom in force gives (with the graded edge pixels
// worked out by hand), 4-connectivity, combs and random mazes filled exactly like a
// reference breadth-first fill, a translucent fill blended once per pixel, a white fill of
// a white region, the whole-painting repaint a screen receives, and a replay at twice the
// zoom that seeds at twice the point.

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
constexpr uint32_t kFloodId = 9;
constexpr uint32_t kBarId = 50;  // a test tool that paints a black bar, for replays

// The bar tool: a filled rectangle from (x0, y0) to (x1, y1) in step coordinates.
struct BarShape {
  Shape head;
  int32_t x0, y0, x1, y1;
};

void bar_load(Shape* shape, const uint8_t* data, int32_t size) {
  if (size != 16) return;
  auto* bar = reinterpret_cast<BarShape*>(shape);
  bar->x0 = fbytes_get_i32(data);
  bar->y0 = fbytes_get_i32(data + 4);
  bar->x1 = fbytes_get_i32(data + 8);
  bar->y1 = fbytes_get_i32(data + 12);
}

void bar_draw(Shape* shape, cairo_t* cr, void*, double scale) {
  auto* bar = reinterpret_cast<BarShape*>(shape);
  PaintContext* pc = shape->context;
  cairo_set_source_rgba(cr, paint_context_get_fore_red(pc), paint_context_get_fore_green(pc),
                        paint_context_get_fore_blue(pc), paint_context_get_fore_alpha(pc));
  cairo_rectangle(cr, bar->x0 * scale, bar->y0 * scale, (bar->x1 - bar->x0) * scale,
                  (bar->y1 - bar->y0) * scale);
  cairo_fill(cr);
}

class FloodTest : public ::testing::Test {
 protected:
  void SetUp() override { open(20, 10); }
  void open(int32_t width, int32_t height) {
    close();
    const char* home = std::getenv("PENLARK_HOME");
    ASSERT_NE(home, nullptr);
    dir = std::string(home) + "/flood-" +
          ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::remove_all(dir);
    pc = paint_context_create(nullptr, width, height, kRed, kWhite, kWhite, 1, 0, 0, 0);
    ASSERT_NE(pc, nullptr);
    paint_context_set_screen_size(pc, 240, 320);
    paint_context_set_view(pc, 30, 40);
    history = paint_history_create(pc, dir.c_str());
    ASSERT_NE(history, nullptr);
    flood = shape_flood_create(kFloodId, u"Paint Bucket", pc, history, nullptr);
    ASSERT_NE(flood, nullptr);
    ASSERT_EQ(paint_context_add_shape(pc, flood), 1);
    paint_context_fill_base(pc);
  }
  void close() {
    if (flood) shape_flood_destroy(flood);
    if (history) paint_history_destroy(history);
    if (pc) paint_context_destroy(pc);
    flood = nullptr;
    history = nullptr;
    pc = nullptr;
    if (!dir.empty()) fs::remove_all(dir);
  }
  void TearDown() override { close(); }

  FBitmap* painting() { return paint_context_get_painting(pc); }
  int32_t width() { return fbitmap_get_width(painting()); }
  int32_t height() { return fbitmap_get_height(painting()); }
  void put(int32_t x, int32_t y, FColor c) { fbitmap_set_pixel(painting(), x, y, c); }
  FColor at(int32_t x, int32_t y) { return fbitmap_get_pixel(painting(), x, y); }
  void fill_all(FColor c) {
    for (int32_t y = 0; y < height(); ++y)
      for (int32_t x = 0; x < width(); ++x) put(x, y, c);
  }
  // A tap at a painting pixel, through the view.
  int tap(int32_t x, int32_t y) {
    FPoint view = paint_context_get_view(pc);
    int down = shape_on_pen(flood, FPOINTER_DOWN, x + view.x, y + view.y, 0);
    int up = shape_on_pen(flood, FPOINTER_UP, x + view.x, y + view.y, 0);
    return down && up;
  }
  std::vector<FColor> snapshot() {
    std::vector<FColor> all;
    for (int32_t y = 0; y < height(); ++y)
      for (int32_t x = 0; x < width(); ++x) all.push_back(at(x, y));
    return all;
  }

  std::string dir;
  PaintContext* pc = nullptr;
  PaintHistory* history = nullptr;
  Shape* flood = nullptr;
};

TEST_F(FloodTest, TapFillsAtOnceAndRecordsTheSeedTapsOffThePaintingRecordNothing) {
  ASSERT_EQ(width(), 20);
  auto* state = reinterpret_cast<ShapeFlood*>(flood);
  EXPECT_EQ(state->seed_x, -1);
  EXPECT_EQ(state->seed_y, -1);

  // Off the painting: right of it, below it, left of it. Accepted, nothing happens.
  const std::vector<FColor> before = snapshot();
  for (FPoint p : {FPoint{20, 0}, FPoint{0, 10}, FPoint{-1, 3}, FPoint{5, -1}}) {
    EXPECT_EQ(tap(p.x, p.y), 1);
  }
  EXPECT_EQ(snapshot(), before);
  EXPECT_EQ(paint_history_get_count(history), 0);

  // The last column is on the painting.
  FPoint view = paint_context_get_view(pc);
  EXPECT_EQ(shape_on_pen(flood, FPOINTER_DOWN, view.x + 19, view.y, 0), 1);
  EXPECT_EQ(at(0, 0), kRed);
  EXPECT_EQ(at(19, 9), kRed);
  ASSERT_EQ(paint_history_get_count(history), 1);
  const PaintStep* step = paint_history_get_step(history, 0);
  EXPECT_EQ(step->type, 9);
  ASSERT_EQ(step->data_size, 8);
  const uint8_t expected[8] = {19, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(std::vector<uint8_t>(step->data, step->data + 8),
            std::vector<uint8_t>(expected, expected + 8));
  EXPECT_EQ(state->seed_x, 19);

  // Moves are swallowed while the pen is down; up ends the stroke and clears the seed.
  EXPECT_EQ(shape_on_pen(flood, FPOINTER_MOVE, view.x + 3, view.y + 3, 0), 1);
  EXPECT_EQ(paint_history_get_count(history), 1);
  EXPECT_EQ(shape_on_pen(flood, FPOINTER_UP, view.x + 3, view.y + 3, 0), 1);
  EXPECT_EQ(flood->active, 0);
  EXPECT_EQ(state->seed_x, -1);
  EXPECT_EQ(state->seed_y, -1);
  EXPECT_EQ(shape_on_pen(flood, FPOINTER_MOVE, view.x, view.y, 0), 0);
  EXPECT_EQ(shape_on_pen(flood, FPOINTER_UP, view.x, view.y, 0), 0);
  EXPECT_EQ(shape_on_pen(flood, 7, view.x, view.y, 0), 0);
}

TEST_F(FloodTest, LoadTakesExactlyEightBytes) {
  auto* state = reinterpret_cast<ShapeFlood*>(flood);
  uint8_t data[9] = {3, 0, 0, 0, 0xFE, 0xFF, 0xFF, 0xFF, 1};
  shape_load(flood, data, 7);
  shape_load(flood, data, 9);
  shape_load(flood, nullptr, 8);
  EXPECT_EQ(state->seed_x, -1);
  shape_load(flood, data, 8);
  EXPECT_EQ(state->seed_x, 3);
  EXPECT_EQ(state->seed_y, -2);
  // A loaded seed off the painting draws nothing.
  const std::vector<FColor> before = snapshot();
  shape_draw(flood, paint_context_get_renderer(pc), nullptr, 1.0);
  EXPECT_EQ(snapshot(), before);
  shape_reset(flood);
  EXPECT_EQ(state->seed_x, -1);
}

TEST_F(FloodTest, ToleranceFollowsTheZoomAndEdgesAreGraded) {
  EXPECT_EQ(shape_flood_tolerance(1.0), 32);
  EXPECT_EQ(shape_flood_tolerance(0.25), 32);
  EXPECT_EQ(shape_flood_tolerance(0.2), 16);
  EXPECT_EQ(shape_flood_tolerance(0.125), 16);
  EXPECT_EQ(shape_flood_tolerance(0.1), 0);

  // One row: x0 differs by 16 in red, x1..x3 are the seed, x4 differs by 17, x5 by 100;
  // every other row is black.
  const FColor seed = fcolor_make(200, 200, 200, 255);
  auto scene = [&] {
    fill_all(kBlack);
    put(0, 0, fcolor_make(216, 200, 200, 255));
    put(1, 0, seed);
    put(2, 0, seed);
    put(3, 0, seed);
    put(4, 0, fcolor_make(200, 183, 200, 255));
    put(5, 0, fcolor_make(100, 200, 200, 255));
  };
  open(100, 50);
  paint_context_set_fore_color(pc, kBlue);
  // Grading keeps w = distance / 3 of the pixel: (brush x (255 - w) + pixel x w) >> 8.
  const FColor graded16 = fcolor_make((0 * 250 + 216 * 5) >> 8, (0 * 250 + 200 * 5) >> 8,
                                      (255 * 250 + 200 * 5) >> 8, 255);
  const FColor graded17 = fcolor_make((0 * 250 + 200 * 5) >> 8, (0 * 250 + 183 * 5) >> 8,
                                      (255 * 250 + 200 * 5) >> 8, 255);

  ASSERT_EQ(paint_context_set_zoom(pc, 0.2), 1);
  ASSERT_EQ(width(), 20);
  scene();
  tap(2, 0);
  EXPECT_EQ(at(0, 0), graded16);
  EXPECT_EQ(at(1, 0), kBlue);
  EXPECT_EQ(at(3, 0), kBlue);
  EXPECT_EQ(at(4, 0), fcolor_make(200, 183, 200, 255));
  EXPECT_EQ(at(0, 1), kBlack);

  ASSERT_EQ(paint_context_set_zoom(pc, 0.1), 1);
  ASSERT_EQ(width(), 10);
  scene();
  tap(2, 0);
  EXPECT_EQ(at(0, 0), fcolor_make(216, 200, 200, 255));
  EXPECT_EQ(at(1, 0), kBlue);
  EXPECT_EQ(at(3, 0), kBlue);
  EXPECT_EQ(at(4, 0), fcolor_make(200, 183, 200, 255));

  ASSERT_EQ(paint_context_set_zoom(pc, 0.25), 1);
  scene();
  tap(2, 0);
  EXPECT_EQ(at(0, 0), graded16);
  EXPECT_EQ(at(4, 0), graded17);
  EXPECT_EQ(at(5, 0), fcolor_make(100, 200, 200, 255));
}

TEST_F(FloodTest, CornersDoNotJoinAndCombsFillEveryTooth) {
  // A white chequer: no two white pixels share an edge, so a tap fills one pixel.
  fill_all(kBlack);
  for (int32_t y = 0; y < 10; ++y)
    for (int32_t x = 0; x < 20; ++x)
      if ((x + y) % 2 == 0) put(x, y, kWhite);
  tap(4, 4);
  EXPECT_EQ(at(4, 4), kRed);
  EXPECT_EQ(at(5, 5), kWhite);
  EXPECT_EQ(at(3, 3), kWhite);
  EXPECT_EQ(at(5, 3), kWhite);
  EXPECT_EQ(at(3, 5), kWhite);

  // Two combs, teeth down from a spine and up from a spine, so that some rows hold five
  // separate spans; the tap lands at the tip of the last tooth of each.
  for (int spine_row : {0, 9}) {
    fill_all(kBlack);
    for (int32_t x = 1; x < 19; ++x) put(x, spine_row, kWhite);
    for (int32_t x = 1; x < 19; x += 4)
      for (int32_t y = 0; y < 10; ++y) put(x, y, kWhite);
    const std::vector<FColor> before = snapshot();
    tap(17, spine_row == 0 ? 9 : 0);
    const std::vector<FColor> after = snapshot();
    for (size_t i = 0; i < before.size(); ++i) {
      EXPECT_EQ(after[i], before[i] == kWhite ? kRed : kBlack) << "pixel " << i;
    }
  }
}

// Reference: the 4-connected set of pixels equal to the seed, breadth first.
std::vector<uint8_t> reference_region(const std::vector<FColor>& pixels, int32_t w, int32_t h,
                                      int32_t sx, int32_t sy) {
  std::vector<uint8_t> in(pixels.size(), 0);
  const FColor seed = pixels[static_cast<size_t>(sy) * w + sx];
  std::deque<FPoint> queue{{sx, sy}};
  in[static_cast<size_t>(sy) * w + sx] = 1;
  while (!queue.empty()) {
    FPoint p = queue.front();
    queue.pop_front();
    const FPoint next[4] = {{p.x - 1, p.y}, {p.x + 1, p.y}, {p.x, p.y - 1}, {p.x, p.y + 1}};
    for (FPoint q : next) {
      if (q.x < 0 || q.y < 0 || q.x >= w || q.y >= h) continue;
      size_t i = static_cast<size_t>(q.y) * w + q.x;
      if (in[i] || pixels[i] != seed) continue;
      in[i] = 1;
      queue.push_back(q);
    }
  }
  return in;
}

TEST_F(FloodTest, RandomMazesFillExactlyTheConnectedRegion) {
  open(61, 47);
  std::mt19937 rng(1234);
  for (int round = 0; round < 40; ++round) {
    fraster_flood_refuse_indexes(round % 2);
    const int density = 25 + round % 4 * 10;  // percent of walls
    fill_all(kWhite);
    for (int32_t y = 0; y < 47; ++y)
      for (int32_t x = 0; x < 61; ++x)
        if (static_cast<int>(rng() % 100) < density) put(x, y, kBlack);
    const int32_t sx = static_cast<int32_t>(rng() % 61), sy = static_cast<int32_t>(rng() % 47);
    put(sx, sy, kWhite);
    const std::vector<FColor> before = snapshot();
    const std::vector<uint8_t> region = reference_region(before, 61, 47, sx, sy);
    tap(sx, sy);
    const std::vector<FColor> after = snapshot();
    int wrong = 0;
    for (size_t i = 0; i < before.size(); ++i) {
      if (after[i] != (region[i] ? kRed : before[i])) ++wrong;
    }
    EXPECT_EQ(wrong, 0) << "round " << round;
  }
  fraster_flood_refuse_indexes(0);
}

// The whole canvas fill worked out independently: the region is the 4-connected set of
// pixels within the tolerance of the seed; each row's maximal runs of it are the spans;
// from each end of a span the pixels that are not exactly the seed are graded (w = the
// summed distance / 3 of the pixel kept), and the rest of the span takes the brush's blue,
// green and red, keeping the fourth byte.
struct Model {
  int32_t w, h, bytes;  // bytes per pixel: 3 or 4
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
    const FPoint next[4] = {{p.x - 1, p.y}, {p.x + 1, p.y}, {p.x, p.y - 1}, {p.x, p.y + 1}};
    for (FPoint q : next) {
      if (q.x < 0 || q.y < 0 || q.x >= m->w || q.y >= m->h) continue;
      size_t i = static_cast<size_t>(q.y) * m->w + q.x;
      if (in[i] || !similar(m->at(q.x, q.y))) continue;
      in[i] = 1;
      queue.push_back(q);
    }
  }
  const uint8_t b[3] = {fcolor_blue(brush), fcolor_green(brush), fcolor_red(brush)};
  auto exact = [&](const uint8_t* p) { return p[0] == seed[0] && p[1] == seed[1] && p[2] == seed[2]; };
  // A graded pixel is blended at its own fourth byte as opacity and then stored opaque.
  auto grade = [&](uint8_t* p) {
    const int d = std::abs(p[0] - seed[0]) + std::abs(p[1] - seed[1]) + std::abs(p[2] - seed[2]);
    const int keep = d / 3;
    const int a = m->bytes == 4 ? p[3] : 255;
    for (int c = 0; c < 3; ++c) {
      const int mix = (b[c] * (255 - keep) + p[c] * keep) >> 8;
      p[c] = static_cast<uint8_t>(a == 255 ? mix : (p[c] * (255 - a) + mix * a) >> 8);
    }
    if (m->bytes == 4) p[3] = 255;
  };
  for (int32_t y = 0; y < m->h; ++y) {
    for (int32_t x = 0; x < m->w;) {
      if (!in[static_cast<size_t>(y) * m->w + x]) {
        ++x;
        continue;
      }
      int32_t l = x, r = x;
      while (r + 1 < m->w && in[static_cast<size_t>(y) * m->w + r + 1]) ++r;
      x = r + 1;
      int32_t a = l, z = r;
      for (; a <= r && !exact(m->at(a, y)); ++a) grade(m->at(a, y));
      for (; z >= a && !exact(m->at(z, y)); --z) grade(m->at(z, y));
      for (int32_t k = a; k <= z; ++k) std::copy(b, b + 3, m->at(k, y));
    }
  }
}

TEST(FloodFillModelTest, CanvasFillMatchesTheModelOnRandomPicturesAtEveryTolerance) {
  std::mt19937 rng(77);
  for (int round = 0; round < 120; ++round) {
    // The second half runs without the fill's indexes and caches, as when memory is short.
    fraster_flood_refuse_indexes(round >= 60);
    const int32_t bpp = round % 2 ? 24 : 32;
    // Widths of whole 64-pixel words are among them: runs that reach the row's end.
    int32_t w = 5 + static_cast<int32_t>(rng() % 140);
    if (round % 20 == 5) w = 64;
    if (round % 20 == 15) w = 128;
    const int32_t h = 3 + static_cast<int32_t>(rng() % 40);
    FCanvas canvas{};
    ASSERT_EQ(fcanvas_create(&canvas, nullptr, bpp, w, round % 3 ? -h : h), 1);
    Model m{w, h, bpp / 8, std::vector<uint8_t>(static_cast<size_t>(w) * h * (bpp / 8))};
    // Few levels close together, so that many pixels are similar but not equal to the seed.
    for (int32_t y = 0; y < h; ++y) {
      uint8_t* row = fbitmap_row(canvas.bitmap, y);
      for (int32_t x = 0; x < w; ++x) {
        uint8_t* p = row + x * (bpp / 8);
        for (int c = 0; c < 3; ++c) p[c] = static_cast<uint8_t>(100 + 20 * (rng() % 5) + rng() % 3);
        // The fourth byte is never compared; the fill keeps it (the model never writes it).
        if (bpp == 32) p[3] = static_cast<uint8_t>(rng() % 2 ? 255 : rng());
        std::copy(p, p + bpp / 8, m.at(x, y));
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
    for (int32_t y = 0; y < h; ++y) {
      const uint8_t* row = fbitmap_row(canvas.bitmap, y);
      for (int32_t x = 0; x < w; ++x)
        if (!std::equal(m.at(x, y), m.at(x, y) + bpp / 8, row + x * (bpp / 8))) ++wrong;
    }
    EXPECT_EQ(wrong, 0) << "round " << round << " bpp " << bpp << " tolerance " << tolerance;
    fcanvas_release(&canvas);
  }
  fraster_flood_refuse_indexes(0);
}

TEST_F(FloodTest, TranslucentFillBlendsOncePerPixelAndWhiteOnWhiteEnds) {
  // A closed white box inside black walls, on a white painting.
  fill_all(kWhite);
  for (int32_t x = 2; x <= 12; ++x) {
    put(x, 1, kBlack);
    put(x, 8, kBlack);
  }
  for (int32_t y = 1; y <= 8; ++y) {
    put(2, y, kBlack);
    put(12, y, kBlack);
  }
  // White over white: the fill colour matches the seed, yet every pixel is painted once
  // and the fill ends; nothing changes.
  paint_context_set_fore_color(pc, kWhite);
  const std::vector<FColor> before = snapshot();
  tap(5, 5);
  EXPECT_EQ(snapshot(), before);
  EXPECT_EQ(paint_history_get_count(history), 1);

  // Half-transparent red: (255 x 128 + 255 x 127) >> 8 = 254 and (255 x 127) >> 8 = 126.
  // A second blend would give 62 for green and blue.
  paint_context_set_fore_color(pc, fcolor_make(255, 0, 0, 128));
  tap(5, 5);
  const FColor once = fcolor_make(254, 126, 126, 255);
  for (int32_t y = 0; y < 10; ++y) {
    for (int32_t x = 0; x < 20; ++x) {
      const bool inside = x > 2 && x < 12 && y > 1 && y < 8;
      const bool wall = !inside && x >= 2 && x <= 12 && y >= 1 && y <= 8;
      EXPECT_EQ(at(x, y), inside ? once : wall ? kBlack : kWhite) << x << "," << y;
    }
  }
}

TEST_F(FloodTest, ReplayAtTwiceTheZoomSeedsAtTwiceThePoint) {
  // A black bar over columns 4.. at zoom 1; the tap at (5, 4) lies in the bar. At zoom 2
  // the unscaled point (5, 4) would be in the white part (columns 0..7), the scaled one
  // (10, 8) is in the bar.
  BarShape bar{};
  shape_init(&bar.head, kBarId, u"bar", pc, history, nullptr);
  shape_set_load(&bar.head, bar_load);
  shape_set_draw(&bar.head, bar_draw);
  ASSERT_EQ(paint_context_add_shape(pc, &bar.head), 1);
  uint8_t data[16];
  fbytes_put_i32(data, 4);
  fbytes_put_i32(data + 4, 0);
  fbytes_put_i32(data + 8, 20);
  fbytes_put_i32(data + 12, 10);
  paint_context_set_fore_color(pc, kBlack);
  shape_load(&bar.head, data, 16);
  shape_draw(&bar.head, paint_context_get_renderer(pc), nullptr, 1.0);
  cairo_surface_flush(cairo_get_target(paint_context_get_renderer(pc)));
  paint_history_add(history, kBarId, data, 16);
  paint_context_set_fore_color(pc, kRed);
  tap(5, 4);
  EXPECT_EQ(at(3, 0), kWhite);
  EXPECT_EQ(at(4, 0), kRed);
  EXPECT_EQ(at(19, 9), kRed);

  ASSERT_EQ(paint_context_set_zoom(pc, 2.0), 1);
  paint_history_rebuild(history);
  ASSERT_EQ(width(), 40);
  for (int32_t x = 0; x < 40; ++x) {
    EXPECT_EQ(at(x, 10), x < 8 ? kWhite : kRed) << x;
  }
  shape_release(&bar.head);
}

// What the screen's background hook saw: the rectangle and whether a tool asked.
struct Probe {
  static inline PaintContext* pc = nullptr;
  static inline std::vector<std::pair<FRect, int>> calls;
  static void on_background(FScreen*, const FRect* r) {
    calls.push_back({*r, paint_context_is_partial_repaint(pc)});
  }
};

TEST(FloodScreenTest, FillRepaintsTheWholeScreenAsAToolRepaint) {
  FScreen screen{};
  ASSERT_EQ(fscreen_create(&screen, 240, -320, 32), 1);
  fscreen_set_global(&screen);
  wins_window_set_flush([](const FRect*) {});
  PaintContext* pc = paint_context_create(&screen, 40, 30, kRed, kWhite, kWhite, 1, 0, 0, 0);
  ASSERT_NE(pc, nullptr);
  const char* home = std::getenv("PENLARK_HOME");
  ASSERT_NE(home, nullptr);
  const std::string dir = std::string(home) + "/flood-screen";
  PaintHistory* history = paint_history_create(pc, dir.c_str());
  ASSERT_NE(history, nullptr);
  Shape* flood = shape_flood_create(kFloodId, u"Paint Bucket", pc, history, nullptr);
  ASSERT_NE(flood, nullptr);
  Probe::pc = pc;
  Probe::calls.clear();
  fscreen_set_on_paint_background(&screen, Probe::on_background);
  FPoint view = paint_context_get_view(pc);
  shape_on_pen(flood, FPOINTER_DOWN, view.x + 1, view.y + 1, 0);
  ASSERT_EQ(Probe::calls.size(), 1u);
  EXPECT_TRUE(frect_equal(Probe::calls[0].first, FRect{0, 0, 239, 319}));
  EXPECT_EQ(Probe::calls[0].second, 1);  // whole flag 0: a tool's repaint
  EXPECT_EQ(paint_context_is_partial_repaint(pc), 0);
  // A tap off the painting repaints nothing.
  shape_on_pen(flood, FPOINTER_UP, view.x + 1, view.y + 1, 0);
  shape_on_pen(flood, FPOINTER_DOWN, view.x - 1, view.y, 0);
  EXPECT_EQ(Probe::calls.size(), 1u);
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
