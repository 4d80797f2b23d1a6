// The paint bucket: its step, taps and screen repaint, the tolerance the zoom gives with
// graded edges, the canvas fill against a plain region model, translucent and white fills,
// and a replay at twice the zoom.

#include "shape_flood.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <tuple>
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

std::vector<std::pair<FRect, int>> g_repaints;  // screen areas repainted, partial flag
PaintContext* g_pc = nullptr;

class FloodTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(fscreen_create(&screen, 240, -320, 32), 1);
    fscreen_set_global(&screen);
    wins_window_set_flush([](const FRect*) {});
    fscreen_set_on_paint_background(&screen, [](FScreen*, const FRect* r) {
      g_repaints.push_back({*r, paint_context_is_partial_repaint(g_pc)});
    });
    open(20, 10);
  }
  void open(int32_t width, int32_t height) {
    close();
    dir = std::string(std::getenv("PENLARK_HOME")) + "/flood-" +
          ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::remove_all(dir);
    g_pc = pc = paint_context_create(&screen, width, height, kRed, kWhite, kWhite, 1, 0, 0, 0);
    ASSERT_NE(pc, nullptr);
    paint_context_set_view(pc, 30, 40);
    history = paint_history_create(pc, dir.c_str());
    flood = shape_flood_create(kFloodId, u"Paint Bucket", pc, history, nullptr);
    ASSERT_NE(flood, nullptr);
    ASSERT_EQ(paint_context_add_shape(pc, flood), 1);
    paint_context_fill_base(pc);
    g_repaints.clear();
  }
  void close() {
    if (flood) shape_flood_destroy(flood);
    if (history) paint_history_destroy(history);
    if (pc) paint_context_destroy(pc);
    flood = nullptr, history = nullptr, g_pc = pc = nullptr;
    if (!dir.empty()) fs::remove_all(dir);
  }
  void TearDown() override {
    close();
    wins_window_set_flush(nullptr);
    fscreen_set_global(nullptr);
    fscreen_release(&screen);
  }

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
  FScreen screen{};
  PaintContext* pc = nullptr;
  PaintHistory* history = nullptr;
  Shape* flood = nullptr;
};

TEST_F(FloodTest, TapFillsRecordsTheSeedAndRepaintsTheScreenTapsOffThePaintingDoNothing) {
  auto* state = reinterpret_cast<ShapeFlood*>(flood);
  const std::vector<FColor> before = snapshot();
  for (FPoint p : {FPoint{20, 0}, FPoint{0, 10}, FPoint{-1, 3}, FPoint{5, -1}})
    EXPECT_EQ(tap(p.x, p.y), 1);
  EXPECT_EQ(snapshot(), before);
  EXPECT_EQ(paint_history_get_count(history), 0);
  EXPECT_TRUE(g_repaints.empty());

  EXPECT_EQ(pen(FPOINTER_DOWN, 19, 0), 1);  // the last column is on the painting
  EXPECT_EQ(at(0, 0), kRed);
  EXPECT_EQ(at(19, 9), kRed);
  // The whole screen, as a tool's repaint.
  ASSERT_EQ(g_repaints.size(), 1u);
  EXPECT_TRUE(frect_equal(g_repaints[0].first, FRect{0, 0, 239, 319}));
  EXPECT_EQ(g_repaints[0].second, 1);
  EXPECT_EQ(paint_context_is_partial_repaint(pc), 0);
  ASSERT_EQ(paint_history_get_count(history), 1);
  const PaintStep* step = paint_history_get_step(history, 0);
  EXPECT_EQ(step->type, 9);
  EXPECT_EQ(std::vector<uint8_t>(step->data, step->data + step->data_size),
            (std::vector<uint8_t>{19, 0, 0, 0, 0, 0, 0, 0}));
  // Moves are swallowed while the pen is down.
  EXPECT_EQ(pen(FPOINTER_MOVE, 3, 3), 1);
  EXPECT_EQ(pen(FPOINTER_UP, 3, 3), 1);
  EXPECT_EQ(paint_history_get_count(history), 1);
  EXPECT_EQ(state->seed_x, -1);
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
  EXPECT_EQ(state->seed_y, -2);
  fill_all(kBlack);
  const std::vector<FColor> black = snapshot();
  shape_draw(flood, paint_context_get_renderer(pc), nullptr, 1.0);
  EXPECT_EQ(snapshot(), black);
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
  for (auto [zoom, x0, x4] : {std::tuple{0.2, graded16, off17}, std::tuple{0.1, off16, off17},
                              std::tuple{0.25, graded16, graded17}}) {
    ASSERT_EQ(paint_context_set_zoom(pc, zoom), 1);
    fill_all(kBlack);
    const FColor row[] = {off16, seed, seed, seed, off17, off100};
    for (int32_t x = 0; x < 6; ++x) put(x, 0, row[x]);
    tap(2, 0);
    EXPECT_EQ((std::vector<FColor>{at(0, 0), at(1, 0), at(3, 0), at(4, 0), at(5, 0), at(0, 1)}),
              (std::vector<FColor>{x0, kBlue, kBlue, x4, off100, kBlack})) << zoom;
  }
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
  std::vector<uint8_t> in(static_cast<size_t>(m->w) * m->h, 0);
  std::vector<FPoint> todo{{sx, sy}};
  while (!todo.empty()) {
    const FPoint p = todo.back();
    todo.pop_back();
    if (p.x < 0 || p.y < 0 || p.x >= m->w || p.y >= m->h || in[size_t(p.y) * m->w + p.x]) continue;
    const uint8_t* q = m->at(p.x, p.y);
    bool similar = true;
    for (int c = 0; c < 3; ++c) similar = similar && std::abs(q[c] - seed[c]) <= tolerance;
    if (!similar) continue;
    in[size_t(p.y) * m->w + p.x] = 1;
    todo.insert(todo.end(), {{p.x - 1, p.y}, {p.x + 1, p.y}, {p.x, p.y - 1}, {p.x, p.y + 1}});
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
  // A picture black from column 4 on: at zoom 2 the unscaled seed (5, 4) would be white.
  FBitmap* picture = fbitmap_create(20, -10, 32);
  ASSERT_NE(picture, nullptr);
  fbitmap_fill_rect(picture, 0, 0, 19, 9, kWhite);
  fbitmap_fill_rect(picture, 4, 0, 19, 9, kBlack);
  ASSERT_EQ(paint_context_load_picture(pc, picture), 1);
  fbitmap_destroy(picture);
  paint_history_reset(history);
  paint_context_fill_base(pc);
  tap(5, 4);
  EXPECT_EQ(at(3, 0), kWhite);
  EXPECT_EQ(at(4, 0), kRed);

  ASSERT_EQ(paint_context_set_zoom(pc, 2.0), 1);
  paint_history_rebuild(history);
  ASSERT_EQ(width(), 40);
  for (int32_t x = 0; x < 40; ++x) {
    if (x >= 6 && x <= 9) continue;
    EXPECT_EQ(at(x, 10), x < 8 ? kWhite : kRed) << x;
  }
}

TEST(FloodDeathTest, NullToolIsFatal) {
  EXPECT_DEATH(shape_flood_destroy(nullptr), "shape!=null");
}

}  // namespace
