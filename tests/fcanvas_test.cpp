// The canvas and its rasterisers on tiny bitmaps, compared pixel by pixel: lines and their
// clip rules, rectangles, chamfers, ellipses (the rasteriser's reports and the fill-once row
// map), polygons, pattern tiling, the flood fill against a plain region walk, and the
// clipped bitmap draws.

#include "fcanvas.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "fcanvas_raster.h"

namespace {

constexpr FColor kWhite = 0xFFFFFFFFu, kBlack = 0xFF000000u, kRed = 0xFFFF0000u;
constexpr FColor kBlue = 0xFF0000FFu, kHalfBlack = 0x80000000u;
constexpr uint32_t kWhiteRgb = 0xFFFFFFu;

using Picture = std::vector<std::string>;
using Span = std::tuple<int32_t, int32_t, int32_t>;  // x_a, x_b, y

// A canvas on its own white bitmap (top-down unless asked otherwise), released at the end.
// A brush colour of 0 keeps the default brush.
struct TestCanvas {
  FCanvas canvas{};
  TestCanvas(int32_t w, int32_t h, FColor brush = 0, int32_t bpp = 32, bool top_down = true) {
    EXPECT_EQ(fcanvas_create(&canvas, nullptr, bpp, w, top_down ? -h : h), 1);
    if (brush != 0) fcanvas_set_brush_color(&canvas, brush);
  }
  ~TestCanvas() { fcanvas_release(&canvas); }
  FCanvas* get() { return &canvas; }
};

void set_clip(FCanvas* canvas, FRect clip) { fcanvas_set_clip(canvas, &clip); }

bool inside(FRect r, int x, int y) {
  return x >= r.left && x <= r.right && y >= r.top && y <= r.bottom;
}

uint32_t rgb_at(const FCanvas* canvas, int32_t x, int32_t y) {
  uint8_t p[4] = {};
  fbitmap_get_rgba(canvas->bitmap, x, y, p);
  return static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[1]) << 8 | p[0];
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
Picture picture(const FCanvas* canvas) {
  const std::map<uint32_t, char> legend{
      {kWhiteRgb, '.'}, {0, '#'}, {0xFF0000, 'o'}, {0xFF, 'b'}, {grey(126), 'g'}};
  Picture rows(fbitmap_get_height(canvas->bitmap));
  for (int32_t y = 0; y < static_cast<int32_t>(rows.size()); ++y) {
    for (int32_t x = 0; x < fbitmap_get_width(canvas->bitmap); ++x) {
      auto it = legend.find(rgb_at(canvas, x, y));
      rows[y] += it == legend.end() ? '?' : it->second;
    }
  }
  return rows;
}

// Paints '#' black and '.' white, row by row.
void paint(FCanvas* canvas, const Picture& rows) {
  for (size_t y = 0; y < rows.size(); ++y)
    for (size_t x = 0; x < rows[y].size(); ++x)
      fbitmap_blend_pixel(canvas->bitmap, static_cast<int32_t>(x), static_cast<int32_t>(y),
                          rows[y][x] == '#' ? kBlack : kWhite);
}

// The first pixel that differs from expected(x, y), or "" when every pixel matches.
std::string first_mismatch(const FCanvas* canvas, std::function<uint32_t(int, int)> expected) {
  for (int y = 0; y < fbitmap_get_height(canvas->bitmap); ++y)
    for (int x = 0; x < fbitmap_get_width(canvas->bitmap); ++x)
      if (rgb_at(canvas, x, y) != expected(x, y))
        return std::to_string(x) + "," + std::to_string(y) + ": " +
               std::to_string(rgb_at(canvas, x, y));
  return "";
}

std::vector<Span> ellipse_spans(int32_t cx, int32_t cy, int32_t rx, int32_t ry) {
  std::vector<Span> spans;
  const FRasterSpanFn record = [](void* context, int32_t a, int32_t b, int32_t y) {
    static_cast<std::vector<Span>*>(context)->emplace_back(a, b, y);
  };
  fraster_ellipse(cx, cy, rx, ry, record, &spans);
  return spans;
}

// The 4-connected '.' region of the maze that holds the seed, marked 'o' by a stack walk.
Picture reference_region(Picture maze, int sx, int sy) {
  std::vector<FPoint> stack{{sx, sy}};
  while (!stack.empty()) {
    const FPoint p = stack.back();
    stack.pop_back();
    if (p.y < 0 || p.y >= static_cast<int>(maze.size()) || p.x < 0 ||
        p.x >= static_cast<int>(maze[0].size()) || maze[p.y][p.x] != '.')
      continue;
    maze[p.y][p.x] = 'o';
    stack.insert(stack.end(), {{p.x - 1, p.y}, {p.x + 1, p.y}, {p.x, p.y - 1}, {p.x, p.y + 1}});
  }
  return maze;
}

}  // namespace

TEST(FCanvasLifecycle, DefaultsRowOrderAndAttachedBitmaps) {
  // A new canvas: a white bitmap, a black pen and a white brush. Bottom-up rows draw the
  // same picture as top-down ones; rectangle corners come in either order.
  TestCanvas c(5, 4, 0, 32, false);
  fcanvas_rectangle(c.get(), 3, 3, 1, 1);
  fcanvas_line(c.get(), 0, 3, 4, 0);
  EXPECT_EQ(picture(c.get()), (Picture{"....#", ".###.", ".#.#.", "####."}));

  // An attached bitmap survives the canvas; the owner of the record stays.
  FBitmap* shared = fbitmap_create(3, 6, 24);
  FCanvas a{};
  a.owner = reinterpret_cast<FSurface*>(&c);
  ASSERT_EQ(fcanvas_attach(&a, shared), 1);
  EXPECT_EQ(a.owner, reinterpret_cast<FSurface*>(&c));
  fcanvas_set_brush_color(&a, kRed);
  fcanvas_clear(&a);
  fcanvas_release(&a);
  EXPECT_EQ(fbitmap_get_pixel(shared, 2, 5), 0xFF0000u);
  fbitmap_destroy(shared);
}

TEST(FCanvasLifecycle, NullPatternIsFatal) {
  TestCanvas t(2, 2);
  EXPECT_DEATH(fcanvas_set_pattern(t.get(), nullptr), "canvas!=null && patbmp!=null");
}

TEST(FCanvasLines, ClipColumnsTheWalkAndPens) {
  // A diagonal ending on the clip's right column leaves that pixel out; a vertical line
  // on the same column draws it, clamped to the clip rows (bottom row included).
  TestCanvas t(8, 8);
  set_clip(t.get(), FRect{4, 4, 0, 0});
  fcanvas_line(t.get(), 0, 0, 4, 4);
  EXPECT_EQ(picture(t.get())[4], "........");
  fcanvas_line(t.get(), 4, -3, 4, 20);
  fcanvas_line(t.get(), 10, 6, -5, 6);  // wholly below the clip
  fcanvas_line(t.get(), 10, 1, -5, 1);  // clamped to columns 0..4
  EXPECT_EQ(picture(t.get()), (Picture{"#...#...", "#####...", "..#.#...", "...##...", "....#...",
                                       "........", "........", "........"}));

  // The walk steps the minor axis when the error reaches the major delta; drawn
  // backwards the same line is not the same set of pixels.
  TestCanvas w(5, 3), back(5, 3), far(6, 6);
  fcanvas_line(w.get(), 0, 0, 4, 2);
  fcanvas_line(back.get(), 4, 2, 0, 0);
  EXPECT_EQ(picture(w.get()), (Picture{"#....", ".##..", "...##"}));
  EXPECT_EQ(picture(back.get()), (Picture{"##...", "..##.", "....#"}));
  // A line from far outside costs no more than the bitmap and lands on the full walk.
  fcanvas_line(far.get(), -2000000000, -2000000000, 2000000000, 2000000000);
  EXPECT_EQ(first_mismatch(far.get(), [](int x, int y) { return x == y ? 0u : kWhiteRgb; }), "");

  // Random lines through a clip, where the walk starts part-way along, against the whole
  // walk drawn on a bitmap that holds every point, with the right/bottom-exclusive test.
  std::mt19937 rng(7);
  std::uniform_int_distribution<int32_t> coord(-40, 56);
  for (int n = 0; n < 300; ++n) {
    const int32_t x1 = coord(rng), y1 = coord(rng), x2 = coord(rng), y2 = coord(rng);
    if (x1 == x2 || y1 == y2) continue;
    TestCanvas r(16, 16), whole(97, 97);
    set_clip(r.get(), FRect{1, 2, 12, 13});
    fcanvas_line(r.get(), x1, y1, x2, y2);
    fcanvas_line(whole.get(), x1 + 40, y1 + 40, x2 + 40, y2 + 40);
    ASSERT_EQ(first_mismatch(r.get(), [&](int x, int y) {
                return inside(FRect{1, 2, 11, 12}, x, y) ? rgb_at(whole.get(), x + 40, y + 40)
                                                         : kWhiteRgb;
              }), "") << x1 << "," << y1 << " -> " << x2 << "," << y2;
  }

  // Pen none draws nothing; other styles draw like solid, blending each point once.
  TestCanvas tr(4, 1);
  fcanvas_set_pen(tr.get(), FPEN_NONE, 1, kBlack);
  EXPECT_EQ(fcanvas_line(tr.get(), 0, 0, 3, 0), 1);
  fcanvas_set_pen(tr.get(), 5, 1, kHalfBlack);
  fcanvas_line(tr.get(), 0, 0, 3, 0);
  EXPECT_EQ(picture(tr.get()), Picture{"gggg"});
}

TEST(FCanvasFigures, RectanglesChamfersAndPenNone) {
  // A one-row rectangle stays on its row and each outline pixel is blended once.
  TestCanvas row(5, 3);
  fcanvas_set_pen_color(row.get(), kHalfBlack);
  fcanvas_rectangle(row.get(), 0, 1, 4, 1);
  EXPECT_EQ(picture(row.get()), (Picture{".....", "ggggg", "....."}));

  // Fills and clear obey the clip, corners in either order; brush none fills nothing.
  TestCanvas f(5, 4, kBlue);
  fcanvas_clear(f.get());
  set_clip(f.get(), FRect{1, 1, 3, 2});
  fcanvas_set_brush_color(f.get(), kRed);
  fcanvas_fill_rect(f.get(), 4, 3, 2, 0);
  fcanvas_set_brush_style(f.get(), FBRUSH_NONE);
  fcanvas_fill_rect(f.get(), 0, 0, 4, 3);
  EXPECT_EQ(picture(f.get()), (Picture{"bbbbb", "bboob", "bboob", "bbbbb"}));

  // Chamfer: the cut is limited to half the width and height (3 here).
  TestCanvas ch(7, 9, kRed);
  EXPECT_EQ(fcanvas_chamfer_rect(ch.get(), 6, 8, 0, 0, 10), 1);
  EXPECT_EQ(picture(ch.get()), (Picture{"...#...", "..#o#..", ".#ooo#.", "#ooooo#", "#ooooo#",
                                        "#ooooo#", ".#ooo#.", "..#o#..", "...#..."}));

  // Pen none: fills still happen, outlines do not.
  TestCanvas none(8, 5, kRed);
  fcanvas_set_pen_style(none.get(), FPEN_NONE);
  fcanvas_rectangle(none.get(), 0, 0, 1, 1);
  fcanvas_ellipse(none.get(), 4, 2, 2, 2);
  fcanvas_circle(none.get(), 7, 3, 1);  // the interior of a one-radius circle is its centre
  const FPoint tri[] = {{6, 0}, {7, 0}, {7, 2}};
  fcanvas_polygon(none.get(), tri, 3);
  EXPECT_EQ(picture(none.get()),
            (Picture{"oo....oo", "oo.ooo.o", "...ooo..", "...ooo.o", "........"}));
}

TEST(FCanvasEllipse, RasteriserReports) {
  // Radius 1 (and radii below 1, which count as 1): the two poles, then the equator.
  const std::vector<Span> one{{0, 0, 1}, {0, 0, -1}, {-1, 1, 0}};
  for (auto [rx, ry] : {std::pair{1, 1}, std::pair{0, 0}, std::pair{-7, 1}})
    EXPECT_EQ(ellipse_spans(0, 0, rx, ry), one) << rx << "x" << ry;
  // Radius 2: rows are reported again as they widen, narrowest first.
  EXPECT_EQ(ellipse_spans(10, 20, 2, 2),
            (std::vector<Span>{{10, 10, 22}, {10, 10, 18}, {8, 12, 20}, {9, 11, 22}, {9, 11, 18},
                               {8, 12, 21}, {8, 12, 19}}));
  // Wider than tall: the axes exchange roles.
  EXPECT_EQ(
      ellipse_spans(0, 0, 3, 1),
      (std::vector<Span>{{0, 0, 1}, {0, 0, -1}, {-3, 3, 0}, {-1, 1, 1}, {-1, 1, -1}, {-2, 2, 0}}));

  // Every shape up to radius 12 either way: symmetric spans inside the bounding box, every
  // row of the box reported, the equator at full width.
  for (int32_t rx = 0; rx <= 12; ++rx) {
    for (int32_t ry = 0; ry <= 12; ++ry) {
      const int32_t ax = std::max(rx, 1), ay = std::max(ry, 1);
      std::vector<int> rows_seen(2 * ay + 1, 0);
      bool equator = false;
      for (auto [a, b, y] : ellipse_spans(-5, 7, rx, ry)) {
        ASSERT_TRUE(a + b == -10 && a <= b && a >= -5 - ax && std::abs(y - 7) <= ay)
            << rx << "x" << ry << ": " << a << ".." << b << " @" << y;
        rows_seen[y - 7 + ay] = 1;
        equator = equator || (y == 7 && a == -5 - ax);
      }
      EXPECT_TRUE(equator && std::count(rows_seen.begin(), rows_seen.end(), 0) == 0)
          << rx << "x" << ry;
    }
  }

  // A centre near the end of the 32-bit range saturates instead of overflowing.
  for (auto [a, b, y] : ellipse_spans(2147483647, -2147483647 - 1, 5, 9))
    EXPECT_TRUE(b == 2147483647 && y <= -2147483647 + 9) << a << ".." << b << " @" << y;
}

TEST(FCanvasEllipse, PicturesRowMapAndClip) {
  TestCanvas t(5, 5, kRed), wide(7, 3, kRed);
  fcanvas_circle(t.get(), 2, 2, 2);
  fcanvas_ellipse(wide.get(), 3, 0, 3, 0);  // a zero radius counts as one
  EXPECT_EQ(picture(t.get()), (Picture{".###.", "#ooo#", "#ooo#", "#ooo#", ".###."}));
  EXPECT_EQ(picture(wide.get()), (Picture{"##ooo##", "..###..", "......."}));

  // A translucent brush fills every row exactly once although rows are reported again.
  for (auto [rx, ry] : {std::pair{6, 6}, std::pair{7, 3}, std::pair{3, 7}}) {
    TestCanvas h(17, 17, kHalfBlack);
    fcanvas_set_pen_style(h.get(), FPEN_NONE);
    fcanvas_ellipse(h.get(), 8, 8, rx, ry);
    std::string all;
    for (const std::string& row : picture(h.get())) all += row;
    EXPECT_TRUE(all.find_first_not_of(".g") == std::string::npos &&
                std::count(all.begin(), all.end(), 'g') > rx * ry)
        << rx << "x" << ry << ": " << all;
  }

  // A circle far away draws nothing; a huge one around the bitmap, whose rows mostly lie
  // outside the row map, fills it.
  TestCanvas huge(5, 5, kBlue);
  EXPECT_EQ(fcanvas_circle(huge.get(), -2000000000, -2000000000, 5), 1);
  EXPECT_EQ(picture(huge.get()), Picture(5, "....."));
  EXPECT_EQ(fcanvas_circle(huge.get(), 2, 2, 100000), 1);
  EXPECT_EQ(picture(huge.get()), Picture(5, "bbbbb"));

  // Clip: interiors take the clip inclusive, outline pixels leave out its right column and
  // bottom row.
  TestCanvas c(5, 5, kRed);
  set_clip(c.get(), FRect{0, 1, 4, 3});
  fcanvas_circle(c.get(), 2, 2, 2);
  EXPECT_EQ(picture(c.get()), (Picture{".....", "#ooo.", "#ooo.", ".ooo.", "....."}));
}

TEST(FCanvasPolygon, ClosedListsTrianglesAndDegenerateShapes) {
  // Lists of four or more points must repeat the first point at the end.
  TestCanvas t(6, 5, kRed);
  const FPoint open5[] = {{0, 0}, {5, 0}, {5, 4}, {0, 4}, {1, 1}};
  EXPECT_EQ(fcanvas_fill_polygon(t.get(), open5, 5), 0);
  EXPECT_EQ(fcanvas_polygon(t.get(), open5, 4), 0);
  EXPECT_EQ(picture(t.get()), Picture(5, "......"));

  // Three points need no repeated first point, and the closing edge is then not drawn.
  // The bottom row is left to the outline.
  const FPoint tri[] = {{0, 0}, {4, 4}, {0, 4}};
  EXPECT_EQ(fcanvas_polygon(t.get(), tri, 3), 1);
  EXPECT_EQ(picture(t.get()), (Picture{"#.....", "o#....", "oo#...", "ooo#..", "#####."}));

  // Edge x values round up, also on edges running left; the clip cuts the spans.
  const FPoint kite[] = {{0, 0}, {5, 2}, {0, 4}, {0, 0}};
  TestCanvas f(6, 5, kRed), cl(6, 5, kRed);
  set_clip(cl.get(), FRect{1, 1, 3, 2});
  for (FCanvas* c : {f.get(), cl.get()}) EXPECT_EQ(fcanvas_fill_polygon(c, kite, 4), 1);
  EXPECT_EQ(picture(f.get()), (Picture{"o.....", "oooo..", "oooooo", "oooo..", "......"}));
  EXPECT_EQ(picture(cl.get()), (Picture{"......", ".ooo..", ".ooo..", "......", "......"}));

  // All points on one row: nothing to fill, the outline is the row. Fewer than three
  // points fill nothing; a null list of no points is empty.
  TestCanvas flat(6, 3, kRed);
  const FPoint line[] = {{0, 1}, {5, 1}, {3, 1}, {0, 1}};
  EXPECT_EQ(fcanvas_fill_polygon(flat.get(), line, 4), 1);
  EXPECT_EQ(fcanvas_fill_polygon(flat.get(), line, 2), 1);
  EXPECT_EQ(picture(flat.get()), Picture(3, "......"));
  EXPECT_EQ(fcanvas_polygon(flat.get(), line, 4), 1);
  EXPECT_EQ(fcanvas_polygon(flat.get(), nullptr, 0), 1);
  EXPECT_EQ(picture(flat.get()), (Picture{"......", "######", "......"}));

  // A polygon far larger than the bitmap only walks the bitmap's rows.
  TestCanvas big(4, 4, kBlue);
  const FPoint huge[] = {
      {-1000000000, -1000000000}, {2000000000, 1000000000}, {-1000000000, 1000000000}};
  EXPECT_EQ(fcanvas_fill_polygon(big.get(), huge, 3), 1);
  EXPECT_EQ(picture(big.get()), Picture(4, "bbbb"));
}

TEST(FCanvasPattern, TilingWithNegativeOriginsAndClip) {
  // A 3 x 2 tile of distinct colours; tile_rgb takes canvas offsets from the origin.
  FBitmap* tile = fbitmap_create(3, -2, 32);
  const auto tile_rgb = [](int dx, int dy) {
    return (10u + 40 * ((dx % 3 + 3) % 3)) << 16 | (20u + 50 * ((dy % 2 + 2) % 2)) << 8 | 200u;
  };
  for (int ty = 0; ty < 2; ++ty)
    for (int tx = 0; tx < 3; ++tx) fbitmap_blend_pixel(tile, tx, ty, kBlack | tile_rgb(tx, ty));
  const auto use_pattern = [&](TestCanvas& t, uint8_t alpha, FPoint origin) {
    fcanvas_set_brush(t.get(), FBRUSH_PATTERN, fcolor_make(255, 255, 255, alpha));
    fcanvas_set_pattern(t.get(), tile);
    fcanvas_set_pattern_origin(t.get(), origin.x, origin.y);
  };

  // Clipped pieces keep their tile columns; the brush alpha is the opacity.
  const FRect all{0, 0, 7, 3}, part{2, 1, 6, 2};
  for (auto [o, clip, alpha] : {std::tuple{FPoint{-1, -3}, all, 255}, {FPoint{2, 1}, all, 255},
                                {FPoint{-7, 5}, all, 255}, {FPoint{-1, 0}, part, 128}}) {
    TestCanvas t(8, 4);
    use_pattern(t, static_cast<uint8_t>(alpha), o);
    if (!frect_equal(clip, all)) set_clip(t.get(), clip);
    fcanvas_fill_rect(t.get(), -20, -20, 20, 20);
    EXPECT_EQ(first_mismatch(t.get(), [&, o = o, clip = clip, alpha = alpha](int x, int y) {
                return inside(clip, x, y) ? over_white(tile_rgb(x - o.x, y - o.y), alpha)
                                          : kWhiteRgb;
              }), "") << o.x << "," << o.y;
  }

  // Ellipse interiors and polygon spans tile the same way.
  TestCanvas e(5, 5);
  use_pattern(e, 255, FPoint{0, 0});
  fcanvas_set_pen_style(e.get(), FPEN_NONE);
  fcanvas_circle(e.get(), 2, 2, 2);
  const FPoint tri[] = {{0, 4}, {4, 4}, {4, 0}};
  fcanvas_fill_polygon(e.get(), tri, 3);
  EXPECT_EQ(first_mismatch(e.get(), [&](int x, int y) {
              const bool in_triangle = y < 4 && x >= 4 - y;
              const bool in_circle = inside(FRect{1, 1, 3, 3}, x, y);
              return in_circle || in_triangle ? over_white(tile_rgb(x, y), 255) : kWhiteRgb;
            }), "");

  // A tile without pixels across draws nothing.
  FBitmap empty{};
  TestCanvas z(3, 1);
  use_pattern(z, 255, FPoint{0, 0});
  fcanvas_set_pattern(z.get(), &empty);
  EXPECT_EQ(fcanvas_clear(z.get()), 1);
  EXPECT_EQ(picture(z.get()), Picture(1, "..."));
  fbitmap_destroy(tile);
}

TEST(FCanvasFloodFill, CombsDiagonalsAndRandomMazes) {
  // Combs filled from above and from below (the fill climbs back up every tooth), and a
  // diagonal of single pixels, which is a wall: neighbours are the four sides only.
  const std::tuple<Picture, FPoint, Picture> cases[] = {
      {{".#.#.#.", ".#.#.#.", ".#.#.#.", ".#.#.#.", "......."}, {0, 0},
       {"o#o#o#o", "o#o#o#o", "o#o#o#o", "o#o#o#o", "ooooooo"}},
      {{".......", ".#.#.#.", ".#.#.#.", ".#.#.#.", ".#.#.#."}, {6, 4},
       {"ooooooo", "o#o#o#o", "o#o#o#o", "o#o#o#o", "o#o#o#o"}},
      {{"....#", "...#.", "..#..", ".#...", "#...."}, {0, 0},
       {"oooo#", "ooo#.", "oo#..", "o#...", "#...."}},
  };
  for (const auto& [before, seed, after] : cases) {
    TestCanvas t(static_cast<int32_t>(before[0].size()), static_cast<int32_t>(before.size()),
                 kRed);
    paint(t.get(), before);
    EXPECT_EQ(fcanvas_flood_fill(t.get(), seed.x, seed.y, 0), 1);
    EXPECT_EQ(picture(t.get()), after);
  }

  // Random mazes against a plain walk of the same region.
  std::mt19937 rng(11);
  for (int n = 0; n < 40; ++n) {
    TestCanvas m(23, 17, kRed);
    Picture maze(17, std::string(23, '.'));
    for (auto& row : maze)
      for (char& ch : row) ch = (rng() % 100) < 38 ? '#' : '.';
    const int sx = static_cast<int>(rng() % 23), sy = static_cast<int>(rng() % 17);
    maze[sy][sx] = '.';
    paint(m.get(), maze);
    ASSERT_EQ(fcanvas_flood_fill(m.get(), sx, sy, 0), 1);
    ASSERT_EQ(picture(m.get()), reference_region(maze, sx, sy)) << "maze " << n;
  }

  // A brush within the tolerance of the seed still ends: filled runs are not revisited.
  TestCanvas near(5, 4, 0xFFFEFEFEu);
  paint(near.get(), {"..#..", "..#..", "..#..", "....."});
  EXPECT_EQ(fcanvas_flood_fill(near.get(), 0, 0, 10), 1);
  EXPECT_EQ(first_mismatch(near.get(), [](int x, int y) { return x == 2 && y < 3 ? 0 : 0xFEFEFE; }),
            "");
}

TEST(FCanvasFloodFill, ToleranceGradedEdgesAndBounds) {
  // Greys 255, 200, 100, 0 from the seed: tolerance 300 acts as 255 and takes them all,
  // each graded by its distance from the seed; -5 acts as 0 and takes the seed's run only.
  // Anti-aliased edges keep part of their colour, also on bitmaps without an alpha byte;
  // the clip holds for the graded pixels as for the brush run.
  const std::vector<int> ramp{255, 200, 100, 0}, edges{230, 255, 255, 255, 230, 0};
  using Case = std::tuple<int32_t, int32_t, FColor, bool, std::vector<int>, std::vector<uint32_t>>;
  const Case cases[] = {
      {32, 300, kRed, false, ramp, {0xFF0000u, 0xF22A2Au, 0xA03C3Cu, 0}},
      {32, -5, kRed, false, ramp, {0xFF0000u, grey(200), grey(100), 0}},
      {32, 30, kBlack, false, edges, {grey(22), 0, 0, 0, grey(22), 0}},
      {24, 30, kBlack, false, edges, {grey(22), 0, 0, 0, grey(22), 0}},
      {32, 30, kBlack, true, edges, {grey(22), 0, 0, grey(255), grey(230), 0}},
  };
  for (const auto& [bpp, tolerance, brush, clipped, greys, expected] : cases) {
    TestCanvas t(static_cast<int32_t>(greys.size()), 1, brush, bpp);
    for (size_t x = 0; x < greys.size(); ++x)
      fbitmap_blend_pixel(t.canvas.bitmap, static_cast<int32_t>(x), 0, kBlack | grey(greys[x]));
    if (clipped) set_clip(t.get(), FRect{0, 0, 2, 0});
    EXPECT_EQ(fcanvas_flood_fill(t.get(), greys[0] == 255 ? 0 : 2, 0, tolerance), 1);
    EXPECT_EQ(first_mismatch(t.get(), [&](int x, int) { return expected[x]; }), "")
        << bpp << " bpp, tolerance " << tolerance << (clipped ? ", clipped" : "");
  }

  // Seeds outside the bitmap fail; brush none succeeds without drawing.
  TestCanvas o(3, 2, kRed);
  for (FPoint seed : {FPoint{-1, 0}, FPoint{3, 0}, FPoint{0, 2}, FPoint{0, -1}})
    EXPECT_EQ(fcanvas_flood_fill(o.get(), seed.x, seed.y, 0), 0) << seed.x << "," << seed.y;
  fcanvas_set_brush_style(o.get(), FBRUSH_NONE);
  EXPECT_EQ(fcanvas_flood_fill(o.get(), 1, 1, 0), 1);
  EXPECT_EQ(picture(o.get()), Picture(2, "..."));

  // Bitmaps wider and taller than 32767 pixels fill correctly.
  TestCanvas wide(40000, 2, kRed), tall(2, 40000, kRed);
  fcanvas_line(wide.get(), 35000, 0, 35000, 1);
  fcanvas_line(tall.get(), 0, 33000, 1, 33000);
  EXPECT_EQ(fcanvas_flood_fill(wide.get(), 100, 1, 0), 1);
  EXPECT_EQ(fcanvas_flood_fill(tall.get(), 1, 39999, 0), 1);
  for (int x : {0, 32767, 32768, 34999}) EXPECT_EQ(rgb_at(wide.get(), x, 0), 0xFF0000u) << x;
  for (int x : {35001, 39999}) EXPECT_EQ(rgb_at(wide.get(), x, 1), kWhiteRgb) << x;
  for (int y : {33001, 39999}) EXPECT_EQ(rgb_at(tall.get(), 0, y), 0xFF0000u) << y;
  for (int y : {0, 32767, 32999}) EXPECT_EQ(rgb_at(tall.get(), 1, y), kWhiteRgb) << y;
}

TEST(FCanvasBitmaps, ClippedDrawsOfEveryKind) {
  FBitmap* src = fbitmap_create(4, -4, 32);
  FBitmap* mask = fbitmap_create(4, -4, 8);
  ASSERT_TRUE(src != nullptr && mask != nullptr);
  const auto src_rgb = [](int x, int y) { return (60u * x) << 16 | (60u * y) << 8 | 7u; };
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 4; ++x) {
      fbitmap_blend_pixel(src, x, y, kBlack | src_rgb(x, y));
      fbitmap_set_pixel(mask, x, y, x % 2 == 0 ? 255 : 0);
    }
  }
  const FRect whole{0, 0, 3, 3}, clip{2, 2, 3, 3};

  // Every kind drawn at (1, 1) through a clip that cuts each side of the picture: the
  // source shifts along (a reversed source rectangle is normalised), the mask stays aligned
  // with it, and a zero mask byte still weighs the destination by 255 / 256.
  for (int kind = 0; kind < 4; ++kind) {
    TestCanvas d(6, 6);
    set_clip(d.get(), clip);
    const FPoint at{1, 1};
    const int key = fcolor_key_make(120, 120, 7);  // source pixel (2, 2)
    EXPECT_EQ(kind == 0   ? fcanvas_draw_bitmap(d.get(), at, src, FRect{3, 3, 0, 0})
              : kind == 1 ? fcanvas_draw_bitmap_alpha(d.get(), at, src, whole, 128)
              : kind == 2 ? fcanvas_draw_bitmap_masked(d.get(), at, src, whole, mask, 255)
                          : fcanvas_draw_bitmap_keyed(d.get(), at, src, whole, key, 255),
              1);
    EXPECT_EQ(first_mismatch(d.get(), [&](int x, int y) {
                const uint32_t s = src_rgb(x - 1, y - 1);
                if (!inside(clip, x, y) || (kind == 3 && x == 3 && y == 3)) return kWhiteRgb;
                if (kind == 1 || kind == 2) return over_white(s, kind == 1 ? 128 : x % 2 * 255);
                return s;
              }), "") << "kind " << kind;
  }

  // Empty intersections on either side succeed and draw nothing; a masked draw needs its
  // mask.
  TestCanvas e(6, 6);
  set_clip(e.get(), clip);
  EXPECT_EQ(fcanvas_draw_bitmap(e.get(), FPoint{4, 0}, src, whole), 1);
  EXPECT_EQ(fcanvas_draw_bitmap_masked(e.get(), FPoint{0, -2}, src, whole, mask, 255), 1);
  EXPECT_EQ(fcanvas_draw_bitmap_masked(e.get(), FPoint{2, 2}, src, whole, nullptr, 255), 0);
  EXPECT_EQ(picture(e.get()), Picture(6, "......"));

  fbitmap_destroy(mask);
  fbitmap_destroy(src);
}
