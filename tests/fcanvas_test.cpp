// The canvas and its rasterisers on tiny bitmaps, compared pixel by pixel: lines and their
// clip rules, rectangles, chamfers, ellipses (the rasteriser's reports and the fill-once row
// map), polygons, pattern tiling, the flood fill against a plain region walk, and the
// clipped bitmap draws.

#include "fcanvas.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "fcanvas_raster.h"

namespace {

constexpr FColor kWhite = 0xFFFFFFFF, kBlack = 0xFF000000, kRed = 0xFFFF0000, kBlue = 0xFF0000FF;
constexpr FColor kHalfBlack = 0x80000000, kWhiteRgb = 0xFFFFFF;

using Picture = std::vector<std::string>;
using Spans = std::vector<std::tuple<int32_t, int32_t, int32_t>>;  // x_a, x_b, y of each report
using Clip = std::optional<FRect>;

// A canvas on its own white bitmap (top-down unless asked otherwise), released at the end.
// A brush colour of 0 keeps the default brush. It stands in for its FCanvas* in calls.
struct TestCanvas {
  FCanvas canvas{};
  TestCanvas(int32_t w, int32_t h, FColor brush = 0, Clip clip = {}, int32_t bpp = 32,
             bool top_down = true) {
    EXPECT_EQ(fcanvas_create(&canvas, nullptr, bpp, w, top_down ? -h : h), 1);
    if (brush != 0) fcanvas_set_brush_color(&canvas, brush);
    if (clip) fcanvas_set_clip(&canvas, &*clip);
  }
  // A canvas painted from the picture's '#' (black) and '.' (white).
  TestCanvas(const Picture& rows, FColor brush)
      : TestCanvas(static_cast<int32_t>(rows[0].size()), static_cast<int32_t>(rows.size()), brush) {
    for (int32_t y = 0; y < std::ssize(rows); ++y)
      for (int32_t x = 0; x < std::ssize(rows[y]); ++x)
        if (rows[y][x] == '#') fbitmap_blend_pixel(canvas.bitmap, x, y, kBlack);
  }
  TestCanvas(const TestCanvas&) = delete;
  ~TestCanvas() { fcanvas_release(&canvas); }
  operator FCanvas*() { return &canvas; }
};

bool inside(FRect r, int x, int y) {
  return x >= r.left && x <= r.right && y >= r.top && y <= r.bottom;
}

// Test canvases are 24 or 32 bits deep: the raw pixel holds the colour.
uint32_t rgb_at(const FCanvas* canvas, int32_t x, int32_t y) {
  return fbitmap_get_pixel(canvas->bitmap, x, y) & 0xFFFFFFu;
}

uint32_t grey(int v) { return static_cast<uint32_t>(v) * 0x010101u; }

// An opaque colour blitted over white at the opacity, rounded as the plain blit does.
uint32_t over_white(uint32_t rgb, uint32_t alpha) {
  uint32_t out = 0;
  for (int shift : {16, 8, 0})
    out |= ((((rgb >> shift) & 255) * alpha + 255 * (255 - alpha)) >> 8) << shift;
  return out;
}

// '.' white, '#' black, 'o' red, 'b' blue, 'g' the grey of half black over white, '?'
// anything else.
Picture picture(const FCanvas* c) {
  const std::map<uint32_t, char> legend{
      {kWhiteRgb, '.'}, {0, '#'}, {0xFF0000, 'o'}, {0xFF, 'b'}, {grey(126), 'g'}};
  Picture rows(fbitmap_get_height(c->bitmap), std::string(fbitmap_get_width(c->bitmap), '?'));
  for (int32_t y = 0; y < std::ssize(rows); ++y)
    for (int32_t x = 0; x < std::ssize(rows[y]); ++x)
      if (auto it = legend.find(rgb_at(c, x, y)); it != legend.end()) rows[y][x] = it->second;
  return rows;
}

// The first pixel that differs from expected(x, y), or "" when every pixel matches.
std::string first_mismatch(const FCanvas* c, std::function<uint32_t(int, int)> expected) {
  for (int y = 0; y < fbitmap_get_height(c->bitmap); ++y)
    for (int x = 0; x < fbitmap_get_width(c->bitmap); ++x)
      if (rgb_at(c, x, y) != expected(x, y))
        return std::to_string(x) + "," + std::to_string(y) + ": " + std::to_string(rgb_at(c, x, y));
  return "";
}

Spans ellipse_spans(int32_t cx, int32_t cy, int32_t rx, int32_t ry) {
  Spans spans;
  const auto record = [](void* out, int32_t a, int32_t b, int32_t y) {
    static_cast<Spans*>(out)->emplace_back(a, b, y);
  };
  fraster_ellipse(cx, cy, rx, ry, record, &spans);
  return spans;
}

}  // namespace

TEST(FCanvasLines, ClipColumnsTheWalkAndHugeCoordinates) {
  // A vertical line on the clip's right column is drawn, clamped to the clip rows (bottom
  // row included); a diagonal ending on that column leaves its last pixel out.
  TestCanvas t(6, 6, 0, FRect{4, 4, 0, 0});
  fcanvas_line_color(t, 4, -3, 4, 20, kRed);
  fcanvas_line(t, 0, 0, 4, 4);
  fcanvas_line(t, 10, 5, -5, 5);  // wholly below the clip
  fcanvas_line(t, 10, 1, -5, 1);  // clamped to columns 0..4
  EXPECT_EQ(picture(t), (Picture{"#...o.", "#####.", "..#.o.", "...#o.", "....o.", "......"}));

  // The walk steps the minor axis when the error reaches the major delta; drawn
  // backwards (the lower three rows) the same line is not the same set of pixels.
  TestCanvas w(5, 6), far(6, 6);
  fcanvas_line(w, 0, 0, 4, 2);
  fcanvas_line(w, 4, 5, 0, 3);
  EXPECT_EQ(picture(w), (Picture{"#....", ".##..", "...##", "##...", "..##.", "....#"}));
  // A line from far outside costs no more than the bitmap and lands on the full walk.
  fcanvas_line(far, -2000000000, -2000000000, 2000000000, 2000000000);
  EXPECT_EQ(first_mismatch(far, [](int x, int y) { return x == y ? 0u : kWhiteRgb; }), "");

  // Random lines through a clip, where the walk starts part-way along, against the whole
  // walk drawn on a bitmap that holds every point, with the right/bottom-exclusive test.
  std::mt19937 rng(7);
  std::uniform_int_distribution<int32_t> coord(-40, 56);
  for (int n = 0; n < 300; ++n) {
    const int32_t x1 = coord(rng), y1 = coord(rng), x2 = coord(rng), y2 = coord(rng);
    if (x1 == x2 || y1 == y2) continue;
    TestCanvas r(16, 16, 0, FRect{1, 2, 12, 13}), whole(97, 97);
    fcanvas_line(r, x1, y1, x2, y2);
    fcanvas_line(whole, x1 + 40, y1 + 40, x2 + 40, y2 + 40);
    ASSERT_EQ(first_mismatch(r, [&](int x, int y) {
                return inside({1, 2, 11, 12}, x, y) ? rgb_at(whole, x + 40, y + 40) : kWhiteRgb;
              }), "") << x1 << "," << y1 << " -> " << x2 << "," << y2;
  }
}

TEST(FCanvasFigures, RectanglesChamfersPensAndAttachedBitmaps) {
  // A one-row rectangle, corners in either order, stays on its row (the top one of these
  // bottom-up rows) and each outline pixel is blended once; pen styles other than none
  // draw like solid.
  TestCanvas row(5, 3, 0, {}, 32, false);
  fcanvas_set_pen(row, 5, 1, kHalfBlack);
  fcanvas_rectangle(row, 4, 0, 0, 0);
  EXPECT_EQ(picture(row), (Picture{"ggggg", ".....", "....."}));

  // Clear and fills obey the clip, corners in either order; brush none fills nothing.
  TestCanvas f(5, 4, kBlue, FRect{3, 2, 1, 1});
  fcanvas_clear(f);
  fcanvas_set_brush_color(f, kRed);
  fcanvas_fill_rect(f, 4, 3, 2, 0);
  fcanvas_set_brush_style(f, FBRUSH_NONE);
  fcanvas_fill_rect(f, 0, 0, 4, 3);
  EXPECT_EQ(picture(f), (Picture{".....", ".boo.", ".boo.", "....."}));

  // Chamfer: the cut is limited to half the width and height (3 here).
  TestCanvas ch(9, 7, kRed);
  fcanvas_chamfer_rect(ch, 8, 6, 0, 0, 10);
  EXPECT_EQ(picture(ch), (Picture{"...###...", "..#ooo#..", ".#ooooo#.", "#ooooooo#", ".#ooooo#.",
                                  "..#ooo#..", "...###..."}));

  // Pen none: fills still happen, outlines and lines do not.
  TestCanvas none(8, 5, kRed);
  fcanvas_set_pen_style(none, FPEN_NONE);
  fcanvas_rectangle(none, 0, 0, 1, 1);
  fcanvas_ellipse(none, 4, 2, 2, 2);
  fcanvas_circle(none, 7, 3, 1);  // the interior of a one-radius circle is its centre
  const FPoint tri[] = {{6, 0}, {7, 0}, {7, 2}};
  fcanvas_polygon(none, tri, 3);
  fcanvas_line(none, 0, 4, 7, 4);
  EXPECT_EQ(picture(none), (Picture{"oo....oo", "oo.ooo.o", "...ooo..", "...ooo.o", "........"}));

  // An attached bitmap survives the canvas; the owner of the record stays.
  FBitmap* shared = fbitmap_create(3, 6, 24);
  FCanvas a{};
  a.owner = reinterpret_cast<FSurface*>(&row);
  fcanvas_attach(&a, shared);
  EXPECT_EQ(a.owner, reinterpret_cast<FSurface*>(&row));
  fcanvas_set_brush_color(&a, kRed);
  fcanvas_clear(&a);
  fcanvas_release(&a);
  EXPECT_EQ(fbitmap_get_pixel(shared, 2, 5), 0xFF0000u);
  fbitmap_destroy(shared);
}

TEST(FCanvasEllipse, RasteriserReportsRowMapAndClip) {
  // Radius 1 (and radii below 1, which count as 1): the two poles, then the equator.
  for (auto [rx, ry] : {std::pair{1, 1}, {0, 0}, {-7, 1}})
    EXPECT_EQ(ellipse_spans(0, 0, rx, ry), (Spans{{0, 0, 1}, {0, 0, -1}, {-1, 1, 0}})) << rx;
  // Radius 2: rows are reported again as they widen, narrowest first.
  EXPECT_EQ(ellipse_spans(0, 0, 2, 2), (Spans{{0, 0, 2}, {0, 0, -2}, {-2, 2, 0}, {-1, 1, 2},
                                              {-1, 1, -2}, {-2, 2, 1}, {-2, 2, -1}}));

  // Every shape up to radius 12 either way: symmetric spans inside the bounding box, every
  // row of the box reported, the equator at full width.
  for (int32_t n = 0; n < 13 * 13; ++n) {
    const int32_t rx = n / 13, ry = n % 13, ax = std::max(rx, 1), ay = std::max(ry, 1);
    std::vector<int> reports(2 * ay + 1, 0);
    for (auto [a, b, y] : ellipse_spans(-5, 7, rx, ry)) {
      ASSERT_TRUE(a + b == -10 && a <= b && a >= -5 - ax && std::abs(y - 7) <= ay)
          << rx << "x" << ry << ": " << a << ".." << b << " @" << y;
      reports[y - 7 + ay] |= y == 7 && a == -5 - ax ? 3 : 1;
    }
    EXPECT_TRUE(reports[ay] == 3 && std::ranges::count(reports, 0) == 0) << rx << "x" << ry;
  }

  // A centre near the end of the 32-bit range saturates instead of overflowing.
  for (auto [a, b, y] : ellipse_spans(2147483647, -2147483647 - 1, 5, 9))
    EXPECT_TRUE(b == 2147483647 && y <= -2147483647 + 9) << a << ".." << b << " @" << y;

  // The canvas: outline pixels in the pen colour, the interior in the brush.
  TestCanvas wide(7, 3, kRed);
  fcanvas_ellipse(wide, 3, 0, 3, 0);  // a zero radius counts as one
  EXPECT_EQ(picture(wide), (Picture{"##ooo##", "..###..", "......."}));

  // A translucent pen and brush blend every pixel once although rows are reported again as
  // they widen: the interior is filled at the first report only, and the one-pixel poles
  // are single outline pixels.
  for (auto [rx, ry] : {std::pair{2, 2}, {6, 6}, {7, 3}, {3, 7}}) {
    TestCanvas h(17, 17, kHalfBlack);
    fcanvas_set_pen_color(h, kHalfBlack);
    fcanvas_ellipse(h, 8, 8, rx, ry);
    std::string all;
    for (const std::string& row : picture(h)) all += row;
    EXPECT_TRUE(all.find_first_not_of(".g") == std::string::npos &&
                std::ranges::count(all, 'g') > 2 * rx * ry) << rx << "x" << ry << ": " << all;
  }

  // A circle far away draws nothing; a huge one around the bitmap, whose rows mostly lie
  // outside the row map, fills it.
  TestCanvas huge(5, 5, kBlue);
  fcanvas_circle(huge, -2000000000, -2000000000, 5);
  EXPECT_EQ(picture(huge), Picture(5, "....."));
  fcanvas_circle(huge, 2, 2, 100000);
  EXPECT_EQ(picture(huge), Picture(5, "bbbbb"));

  // Clip: interiors take the clip inclusive, outline pixels leave out its right column and
  // bottom row.
  TestCanvas c(5, 5, kRed, FRect{0, 1, 4, 3});
  fcanvas_circle(c, 2, 2, 2);
  EXPECT_EQ(picture(c), (Picture{".....", "#ooo.", "#ooo.", ".ooo.", "....."}));
}

TEST(FCanvasPolygon, ClosedListsTrianglesAndDegenerateShapes) {
  // Lists of four or more points must repeat the first point at the end. Three points
  // need no repeated first point, and the closing edge is then not drawn. The bottom row
  // is left to the outline.
  TestCanvas t(6, 5, kRed);
  const FPoint open5[] = {{0, 0}, {5, 0}, {5, 4}, {0, 4}, {1, 1}}, tri[] = {{0, 0}, {4, 4}, {0, 4}};
  EXPECT_EQ(fcanvas_fill_polygon(t, open5, 5) + fcanvas_polygon(t, open5, 4), 0);
  EXPECT_EQ(fcanvas_polygon(t, tri, 3), 1);
  EXPECT_EQ(picture(t), (Picture{"#.....", "o#....", "oo#...", "ooo#..", "#####."}));

  // Edge x values round up, also on edges running left; the clip cuts the spans.
  const FPoint kite[] = {{0, 0}, {5, 2}, {0, 4}, {0, 0}};
  TestCanvas f(6, 5, kRed), cl(6, 5, kRed, FRect{1, 1, 3, 2});
  EXPECT_EQ(fcanvas_fill_polygon(f, kite, 4) + fcanvas_fill_polygon(cl, kite, 4), 2);
  EXPECT_EQ(picture(f), (Picture{"o.....", "oooo..", "oooooo", "oooo..", "......"}));
  EXPECT_EQ(picture(cl), (Picture{"......", ".ooo..", ".ooo..", "......", "......"}));

  // All points on one row: nothing to fill, the outline is the row. Fewer than three
  // points fill nothing; a null list of no points is empty.
  TestCanvas flat(6, 3, kRed);
  const FPoint line[] = {{0, 1}, {5, 1}, {3, 1}, {0, 1}};
  EXPECT_EQ(fcanvas_fill_polygon(flat, line, 4) + fcanvas_fill_polygon(flat, line, 2), 2);
  EXPECT_EQ(picture(flat), Picture(3, "......"));
  EXPECT_EQ(fcanvas_polygon(flat, line, 4) + fcanvas_polygon(flat, nullptr, 0), 2);
  EXPECT_EQ(picture(flat), (Picture{"......", "######", "......"}));

  // A polygon far larger than the bitmap only walks the bitmap's rows.
  TestCanvas big(4, 4, kBlue);
  const FPoint huge[] = {{INT32_MIN, INT32_MIN}, {INT32_MAX, 0}, {INT32_MIN, INT32_MAX}};
  EXPECT_EQ(fcanvas_fill_polygon(big, huge, 3), 1);
  EXPECT_EQ(picture(big), Picture(4, "bbbb"));
}

TEST(FCanvasPattern, TilingWithNegativeOriginsAndClip) {
  // A 3 x 2 tile of distinct colours; tile_rgb takes canvas offsets from the origin.
  TestCanvas tile(3, 2);
  const auto tile_rgb = [](int dx, int dy) {
    return 0x0A14C8u + 0x280000u * ((dx % 3 + 3) % 3) + 0x3200u * (dy & 1);
  };
  for (int i = 0; i < 6; ++i)
    fbitmap_blend_pixel(tile.canvas.bitmap, i % 3, i / 3, kBlack | tile_rgb(i % 3, i / 3));

  // Clipped pieces keep their tile columns; the brush alpha is the opacity.
  const FRect all{0, 0, 7, 3}, part{2, 1, 6, 2};
  for (auto [o, clip, alpha] : {std::tuple{FPoint{-1, -3}, all, 255}, {FPoint{2, 1}, all, 255},
                                {FPoint{-7, 5}, all, 255}, {FPoint{-1, 0}, part, 128}}) {
    TestCanvas t(8, 4, 0, frect_equal(clip, all) ? Clip{} : clip);
    fcanvas_set_brush(t, FBRUSH_PATTERN, fcolor_make(255, 255, 255, static_cast<uint8_t>(alpha)));
    fcanvas_set_pattern(t, tile.canvas.bitmap);
    fcanvas_set_pattern_origin(t, o.x, o.y);
    fcanvas_fill_rect(t, -20, -20, 20, 20);
    EXPECT_EQ(first_mismatch(t, [&, o = o, clip = clip, alpha = alpha](int x, int y) {
                if (!inside(clip, x, y)) return kWhiteRgb;
                return over_white(tile_rgb(x - o.x, y - o.y), alpha);
              }), "") << o.x << "," << o.y;
  }

  // A tile without pixels across draws nothing. Ellipse interiors, polygon spans and flood
  // fill runs (the black bottom row) tile like rectangles.
  TestCanvas e(5, 5);
  FBitmap empty{};
  fcanvas_set_brush(e, FBRUSH_PATTERN, kWhite);
  fcanvas_set_pattern(e, &empty);
  fcanvas_fill_rect(e, 0, 0, 4, 4);
  fcanvas_set_pattern(e, tile.canvas.bitmap);
  fcanvas_set_pen_style(e, FPEN_NONE);
  fcanvas_circle(e, 2, 2, 2);
  const FPoint tri[] = {{0, 4}, {4, 4}, {4, 0}};
  fcanvas_fill_polygon(e, tri, 3);
  fcanvas_line_color(e, 0, 4, 4, 4, kBlack);
  fcanvas_flood_fill(e, 0, 4, 0);
  EXPECT_EQ(first_mismatch(e, [&](int x, int y) {
              const bool in_circle = inside({1, 1, 3, 3}, x, y);
              return in_circle || x >= 4 - y ? over_white(tile_rgb(x, y), 255) : kWhiteRgb;
            }), "");
}

TEST(FCanvasFloodFill, MazesToleranceGradedEdgesAndBounds) {
  // Combs filled from above and from below (the fill climbs back up every tooth), a
  // diagonal of single pixels, which is a wall (neighbours are the four sides only), then
  // random mazes: each against a plain recursive walk of the same region.
  std::vector<std::pair<Picture, FPoint>> mazes{
      {{".#.#.#.", ".#.#.#.", ".#.#.#.", ".#.#.#.", "......."}, {0, 0}},
      {{".......", ".#.#.#.", ".#.#.#.", ".#.#.#.", ".#.#.#."}, {6, 4}},
      {{"....#", "...#.", "..#..", ".#...", "#...."}, {0, 0}}};
  std::mt19937 rng(11);
  for (int n = 0; n < 40; ++n) {
    Picture maze(17, std::string(23, '.'));
    for (auto& row : maze) std::ranges::generate(row, [&] { return rng() % 100 < 38 ? '#' : '.'; });
    const FPoint seed{static_cast<int>(rng() % 23), static_cast<int>(rng() % 17)};
    maze[seed.y][seed.x] = '.';
    mazes.emplace_back(maze, seed);
  }
  for (auto [maze, seed] : mazes) {
    TestCanvas m(maze, kRed);
    ASSERT_EQ(fcanvas_flood_fill(m, seed.x, seed.y, 0), 1);
    const std::function<void(int, int)> walk = [&](int x, int y) {
      if (x < 0 || y < 0 || y >= std::ssize(maze) || x >= std::ssize(maze[0]) || maze[y][x] != '.')
        return;
      maze[y][x] = 'o';
      walk(x - 1, y), walk(x + 1, y), walk(x, y - 1), walk(x, y + 1);
    };
    walk(seed.x, seed.y);
    ASSERT_EQ(picture(m), maze) << seed.x << "," << seed.y;
  }

  // A brush within the tolerance of the seed still ends: filled runs are not revisited.
  TestCanvas near({"..#..", "..#..", "..#..", "....."}, 0xFFFEFEFEu);
  EXPECT_EQ(fcanvas_flood_fill(near, 0, 0, 10), 1);
  EXPECT_EQ(first_mismatch(near, [](int x, int y) { return x == 2 && y < 3 ? 0 : 0xFEFEFE; }), "");

  // Greys 255, 200, 100, 0 from the seed: tolerance 300 acts as 255 and takes them all,
  // each graded by its distance from the seed; -5 acts as 0 and takes the seed's run only.
  // Anti-aliased edges keep part of their colour, also on bitmaps without an alpha byte;
  // the clip holds for the graded pixels as for the brush run.
  const std::vector<int> ramp{255, 200, 100, 0}, edges{230, 255, 255, 255, 230, 0};
  using Case = std::tuple<int32_t, int32_t, FColor, Clip, std::vector<int>, std::vector<uint32_t>>;
  const Case cases[] = {
      {32, 300, kRed, {}, ramp, {0xFF0000u, 0xF22A2Au, 0xA03C3Cu, 0}},
      {32, -5, kRed, {}, ramp, {0xFF0000u, grey(200), grey(100), 0}},
      {32, 30, kBlack, {}, edges, {grey(22), 0, 0, 0, grey(22), 0}},
      {24, 30, kBlack, {}, edges, {grey(22), 0, 0, 0, grey(22), 0}},
      {32, 30, kBlack, FRect{0, 0, 2, 0}, edges, {grey(22), 0, 0, grey(255), grey(230), 0}},
  };
  for (const auto& [bpp, tolerance, brush, clip, greys, expected] : cases) {
    TestCanvas t(static_cast<int32_t>(greys.size()), 1, brush, clip, bpp);
    for (size_t x = 0; x < greys.size(); ++x)
      fbitmap_blend_pixel(t.canvas.bitmap, static_cast<int32_t>(x), 0, kBlack | grey(greys[x]));
    EXPECT_EQ(fcanvas_flood_fill(t, greys[0] == 255 ? 0 : 2, 0, tolerance), 1);
    EXPECT_EQ(first_mismatch(t, [&](int x, int) { return expected[x]; }), "")
        << bpp << " bpp, tolerance " << tolerance << (clip ? ", clipped" : "");
  }

  // Seeds outside the bitmap fail; brush none succeeds without drawing.
  TestCanvas o(3, 2, kRed);
  for (FPoint seed : {FPoint{-1, 0}, FPoint{3, 0}, FPoint{0, 2}, FPoint{0, -1}})
    EXPECT_EQ(fcanvas_flood_fill(o, seed.x, seed.y, 0), 0) << seed.x << "," << seed.y;
  fcanvas_set_brush_style(o, FBRUSH_NONE);
  EXPECT_EQ(fcanvas_flood_fill(o, 1, 1, 0), 1);
  EXPECT_EQ(picture(o), Picture(2, "..."));

  // Bitmaps wider and taller than 32767 pixels fill correctly.
  TestCanvas wide(40000, 2, kRed), tall(2, 40000, kRed);
  fcanvas_line(wide, 35000, 0, 35000, 1);
  fcanvas_line(tall, 0, 33000, 1, 33000);
  EXPECT_EQ(fcanvas_flood_fill(wide, 100, 1, 0) + fcanvas_flood_fill(tall, 1, 39999, 0), 2);
  const auto side = [](int i, int wall) { return i == wall ? 0 : i < wall ? 0xFF0000 : kWhiteRgb; };
  EXPECT_EQ(first_mismatch(wide, [&](int x, int) { return side(x, 35000); }), "");
  EXPECT_EQ(first_mismatch(tall, [&](int, int y) { return side(-y, -33000); }), "");
}

TEST(FCanvasBitmaps, ClippedDrawsOfEveryKind) {
  FBitmap *src = fbitmap_create(4, -4, 32), *mask = fbitmap_create(4, -4, 8);
  const auto src_rgb = [](int x, int y) { return (60u * x) << 16 | (60u * y) << 8 | 7u; };
  for (int i = 0; i < 16; ++i) {
    fbitmap_blend_pixel(src, i % 4, i / 4, kBlack | src_rgb(i % 4, i / 4));
    fbitmap_set_pixel(mask, i % 4, i / 4, i % 2 == 0 ? 255 : 0);
  }
  const FRect whole{0, 0, 3, 3}, clip{2, 2, 3, 3};
  const int32_t key = fcolor_key_make(120, 120, 7);  // source pixel (2, 2), drawn at (3, 3)

  // Every kind drawn at (1, 1) through a clip that cuts each side of the picture: the
  // source shifts along (a reversed source rectangle is normalised), the mask stays aligned
  // with it, and a zero mask byte still weighs the destination by 255 / 256.
  for (int kind = 0; kind < 4; ++kind) {
    TestCanvas d(6, 6, 0, clip);
    if (kind == 0) fcanvas_draw_bitmap(d, {1, 1}, src, FRect{3, 3, 0, 0});
    if (kind == 1) fcanvas_draw_bitmap_alpha(d, {1, 1}, src, whole, 128);
    if (kind == 2) fcanvas_draw_bitmap_masked(d, {1, 1}, src, whole, mask, 255);
    if (kind == 3) fcanvas_draw_bitmap_keyed(d, {1, 1}, src, whole, key, 255);
    EXPECT_EQ(first_mismatch(d, [&](int x, int y) {
                const uint32_t s = src_rgb(x - 1, y - 1);
                if (!inside(clip, x, y) || (kind == 3 && x == 3 && y == 3)) return kWhiteRgb;
                if (kind == 1 || kind == 2) return over_white(s, kind == 1 ? 128 : x % 2 * 255);
                return s;
              }), "") << "kind " << kind;
  }

  // Empty intersections on either side succeed and draw nothing; a masked draw needs its
  // mask.
  TestCanvas e(6, 6, 0, clip);
  EXPECT_EQ(fcanvas_draw_bitmap(e, FPoint{4, 0}, src, whole), 1);
  EXPECT_EQ(fcanvas_draw_bitmap_masked(e, FPoint{0, -2}, src, whole, mask, 255), 1);
  EXPECT_EQ(fcanvas_draw_bitmap_masked(e, FPoint{2, 2}, src, whole, nullptr, 255), 0);
  EXPECT_EQ(picture(e), Picture(6, "......"));
  fbitmap_destroy(mask);
  fbitmap_destroy(src);
}
