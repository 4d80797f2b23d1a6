// The canvas and its rasterisers: defaults, the pen and brush styles, lines and their
// clip rules, rectangles, chamfers, ellipses (rasteriser reports and the fill-once row
// map), polygons, pattern tiling, the flood fill against a reference walk, and the
// clipped bitmap draws. Pictures are drawn on tiny bitmaps and compared pixel by pixel.

#include "fcanvas.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <map>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "fcanvas_raster.h"

namespace {

constexpr FColor kWhite = 0xFFFFFFFFu;
constexpr FColor kBlack = 0xFF000000u;
constexpr FColor kRed = 0xFFFF0000u;
constexpr FColor kBlue = 0xFF0000FFu;

using Picture = std::vector<std::string>;

// A canvas on its own bitmap, top-down unless asked otherwise, released at the end.
struct TestCanvas {
  FCanvas canvas{};
  TestCanvas(int32_t width, int32_t height, int32_t bpp = 32, bool top_down = true) {
    EXPECT_EQ(fcanvas_create(&canvas, nullptr, bpp, width, top_down ? -height : height), 1);
  }
  ~TestCanvas() { fcanvas_release(&canvas); }
  FCanvas* operator->() { return &canvas; }
  FCanvas* get() { return &canvas; }
};

uint32_t rgb_at(const FCanvas* canvas, int32_t x, int32_t y) {
  uint8_t p[4] = {};
  fbitmap_get_rgba(canvas->bitmap, x, y, p);
  return static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[1]) << 8 | p[0];
}

uint32_t grey(int v) { return static_cast<uint32_t>(v) * 0x010101u; }

// '.' white, '#' black, 'o' red, 'b' blue, '?' anything else.
Picture picture(const FCanvas* canvas) {
  const std::map<uint32_t, char> legend = {
      {0xFFFFFF, '.'}, {0x000000, '#'}, {0xFF0000, 'o'}, {0x0000FF, 'b'}};
  Picture rows;
  for (int32_t y = 0; y < fbitmap_get_height(canvas->bitmap); ++y) {
    std::string row;
    for (int32_t x = 0; x < fbitmap_get_width(canvas->bitmap); ++x) {
      auto it = legend.find(rgb_at(canvas, x, y));
      row += it == legend.end() ? '?' : it->second;
    }
    rows.push_back(row);
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

struct Span {
  int32_t a, b, y;
  bool operator==(const Span&) const = default;
};
std::ostream& operator<<(std::ostream& out, const Span& s) {
  return out << "(" << s.a << ".." << s.b << " @" << s.y << ")";
}
void record_span(void* context, int32_t a, int32_t b, int32_t y) {
  static_cast<std::vector<Span>*>(context)->push_back({a, b, y});
}
std::vector<Span> ellipse_spans(int32_t cx, int32_t cy, int32_t rx, int32_t ry) {
  std::vector<Span> spans;
  fraster_ellipse(cx, cy, rx, ry, record_span, &spans);
  return spans;
}

// Every point of the line walk, without any clipping.
std::vector<FPoint> walk_line(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  const int32_t adx = std::abs(x2 - x1), ady = std::abs(y2 - y1);
  const int32_t sx = x2 < x1 ? -1 : 1, sy = y2 < y1 ? -1 : 1;
  const bool x_major = adx >= ady;
  const int32_t major = x_major ? adx : ady, minor = x_major ? ady : adx;
  int32_t x = x1, y = y1, err = major / 2;
  std::vector<FPoint> points{{x, y}};
  for (int32_t k = 0; k < major; ++k) {
    err += minor;
    const bool step_minor = err >= major;
    if (step_minor) err -= major;
    if (x_major) {
      x += sx;
      if (step_minor) y += sy;
    } else {
      y += sy;
      if (step_minor) x += sx;
    }
    points.push_back({x, y});
  }
  return points;
}

}  // namespace

TEST(FCanvasLifecycle, DefaultsAttachReleaseAndFontSettings) {
  int owner_tag = 0;
  FCanvas c{};
  ASSERT_EQ(fcanvas_create(&c, reinterpret_cast<FSurface*>(&owner_tag), 32, 5, -4), 1);
  EXPECT_EQ(c.owner, reinterpret_cast<FSurface*>(&owner_tag));
  EXPECT_EQ(c.text_dc, nullptr);
  EXPECT_EQ(c.owns_bitmap, 1);
  EXPECT_TRUE(frect_equal(c.rect, FRect{0, 0, 4, 3}));
  EXPECT_EQ(c.clip_on, 0);
  EXPECT_EQ(c.pen_style, FPEN_SOLID);
  EXPECT_EQ(c.pen_width, 1u);
  EXPECT_EQ(fcanvas_get_pen_color(&c), 0xFF000000u);
  EXPECT_EQ(c.brush_style, FBRUSH_SOLID);
  EXPECT_EQ(c.brush_color, 0xFFFFFFFFu);
  EXPECT_EQ(c.pattern, nullptr);
  EXPECT_EQ(c.font_class, 3);
  EXPECT_EQ(fcanvas_get_font_size(&c), 12);
  EXPECT_EQ(std::u16string(c.font_face), u"tahoma");
  EXPECT_EQ(fcanvas_get_font_style(&c), 0u);
  EXPECT_EQ(picture(&c), Picture(4, "....."));  // a new bitmap is white

  const FRect reversed{3, 2, 1, 0};
  fcanvas_set_clip(&c, &reversed);
  fcanvas_set_clip(&c, nullptr);  // changes nothing
  EXPECT_EQ(c.clip_on, 1);
  EXPECT_TRUE(frect_equal(c.clip, FRect{1, 0, 3, 2}));

  // Font classes and faces: the face is taken only when it fits with its terminator.
  const std::pair<int32_t, int32_t> classes[] = {{1, 22}, {2, 18}, {3, 12}, {4, 10},
                                                 {5, 8},  {6, 8},  {7, 12}, {0, 12}};
  for (auto [font_class, size] : classes) {
    fcanvas_set_font(&c, 99, u"courier");
    fcanvas_set_font_class(&c, font_class);
    EXPECT_EQ(fcanvas_get_font_size(&c), size) << font_class;
    EXPECT_EQ(c.font_class, font_class);
    EXPECT_EQ(std::u16string(c.font_face), u"tahoma");
  }
  const std::u16string face31(31, u'a');
  const std::u16string face32(32, u'b');
  fcanvas_set_font(&c, 14, face31.c_str());
  EXPECT_EQ(std::u16string(c.font_face), face31);
  fcanvas_set_font(&c, 16, face32.c_str());
  EXPECT_EQ(fcanvas_get_font_size(&c), 16);
  EXPECT_EQ(std::u16string(c.font_face), face31);

  fcanvas_release(&c);
  EXPECT_EQ(c.bitmap, nullptr);
  EXPECT_EQ(c.owns_bitmap, 0);

  // An attached bitmap survives the canvas; the owner of the record stays.
  FBitmap* shared = fbitmap_create(3, 6, 24);
  ASSERT_NE(shared, nullptr);
  FCanvas a{};
  a.owner = reinterpret_cast<FSurface*>(&owner_tag);
  ASSERT_EQ(fcanvas_attach(&a, shared), 1);
  EXPECT_EQ(fcanvas_get_bitmap(&a), shared);
  EXPECT_EQ(a.owns_bitmap, 0);
  EXPECT_EQ(a.owner, reinterpret_cast<FSurface*>(&owner_tag));
  EXPECT_TRUE(frect_equal(a.rect, FRect{0, 0, 2, 5}));
  EXPECT_EQ(a.font_class, 3);
  fcanvas_set_brush_color(&a, kRed);
  fcanvas_clear(&a);
  fcanvas_release(&a);
  EXPECT_EQ(fbitmap_get_pixel(shared, 2, 5), 0xFF0000u);
  fbitmap_destroy(shared);

  // A bottom-up canvas draws the same picture as a top-down one.
  TestCanvas up(5, 4, 32, false), down(5, 4, 32, true);
  for (FCanvas* t : {up.get(), down.get()}) {
    fcanvas_set_brush_color(t, kRed);
    fcanvas_rectangle(t, 0, 0, 3, 2);
    fcanvas_line(t, 0, 3, 4, 1);
  }
  EXPECT_EQ(picture(up.get()), picture(down.get()));
  EXPECT_EQ(picture(down.get()), (Picture{"####.", "#oo##", "####.", "#...."}));
}

TEST(FCanvasLifecycle, NullRecordsAreFatal) {
  EXPECT_DEATH(fcanvas_line(nullptr, 0, 0, 1, 1), "canvas!=null");
  TestCanvas t(2, 2);
  EXPECT_DEATH(fcanvas_set_pattern(t.get(), nullptr), "canvas!=null && patbmp!=null");
  EXPECT_DEATH(fcanvas_draw_bitmap(t.get(), FPoint{0, 0}, nullptr, FRect{0, 0, 1, 1}),
               "canvas!=null && bitmap!=null");
  EXPECT_DEATH(fcanvas_attach(t.get(), nullptr), "canvas!=null && bitmap!=null");
}

TEST(FCanvasLines, ClipColumnsSpansAndTheWalk) {
  // A diagonal ending on the clip's right column leaves that pixel out; a vertical line
  // on the same column draws it, clamped to the clip rows (bottom row included).
  TestCanvas t(8, 8);
  const FRect clip{0, 0, 4, 4};
  fcanvas_set_clip(t.get(), &clip);
  fcanvas_line(t.get(), 0, 0, 4, 4);
  EXPECT_EQ(rgb_at(t.get(), 3, 3), 0u);
  EXPECT_EQ(rgb_at(t.get(), 4, 4), 0xFFFFFFu);
  fcanvas_line(t.get(), 4, -3, 4, 20);
  fcanvas_line(t.get(), 10, 6, -5, 6);  // wholly below the clip
  fcanvas_line(t.get(), 10, 1, -5, 1);  // clamped to columns 0..4
  EXPECT_EQ(picture(t.get()), (Picture{"#...#...", "#####...", "..#.#...", "...##...", "....#...",
                                       "........", "........", "........"}));

  // The walk visits the first point and steps the minor axis when the error reaches the
  // major delta; drawn backwards the same line is not the same set of pixels.
  TestCanvas w(5, 3), back(5, 3);
  fcanvas_line(w.get(), 0, 0, 4, 2);
  EXPECT_EQ(picture(w.get()), (Picture{"#....", ".##..", "...##"}));
  fcanvas_line(back.get(), 4, 2, 0, 0);
  EXPECT_EQ(picture(back.get()), (Picture{"##...", "..##.", "....#"}));

  // Without a clip, a line from far outside costs no more than the bitmap and lands on
  // the same pixels as the full walk.
  TestCanvas far(6, 6);
  fcanvas_line(far.get(), -2000000000, -2000000000, 2000000000, 2000000000);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(rgb_at(far.get(), i, i), 0u) << i;

  // Random lines through a clip against the full walk with the right/bottom-exclusive test.
  std::mt19937 rng(7);
  std::uniform_int_distribution<int32_t> coord(-40, 56);
  const FRect random_clip{1, 2, 12, 13};
  for (int n = 0; n < 300; ++n) {
    const int32_t x1 = coord(rng), y1 = coord(rng), x2 = coord(rng), y2 = coord(rng);
    if (x1 == x2 || y1 == y2) continue;
    TestCanvas r(16, 16);
    fcanvas_set_clip(r.get(), &random_clip);
    fcanvas_line(r.get(), x1, y1, x2, y2);
    TestCanvas expected(16, 16);
    for (FPoint p : walk_line(x1, y1, x2, y2))
      if (p.x >= 1 && p.x < 12 && p.y >= 2 && p.y < 13)
        fbitmap_blend_pixel(expected->bitmap, p.x, p.y, kBlack);
    ASSERT_EQ(picture(r.get()), picture(expected.get()))
        << x1 << "," << y1 << " -> " << x2 << "," << y2;
  }

  // A translucent pen blends each point once; pen none draws nothing; other styles draw.
  TestCanvas tr(4, 1);
  fcanvas_set_pen_color(tr.get(), 0x80000000u);
  fcanvas_line(tr.get(), 0, 0, 3, 0);
  fcanvas_set_pen_style(tr.get(), FPEN_NONE);
  EXPECT_EQ(fcanvas_line(tr.get(), 0, 0, 3, 0), 1);
  for (int x = 0; x < 4; ++x) EXPECT_EQ(rgb_at(tr.get(), x, 0), grey(126));
  fcanvas_set_pen(tr.get(), 5, 1, kBlack);
  fcanvas_line(tr.get(), 1, 0, 1, 0);
  EXPECT_EQ(rgb_at(tr.get(), 1, 0), 0u);
}

TEST(FCanvasFigures, RectanglesChamfersAndPenNone) {
  TestCanvas t(5, 4);
  fcanvas_set_brush_color(t.get(), kRed);
  fcanvas_rectangle(t.get(), 3, 3, 1, 1);
  EXPECT_EQ(picture(t.get()), (Picture{".....", ".###.", ".#o#.", ".###."}));

  // A one-row rectangle stays on its row and each outline pixel is blended once.
  TestCanvas row(5, 3);
  fcanvas_set_pen_color(row.get(), 0x80000000u);
  fcanvas_rectangle(row.get(), 0, 1, 4, 1);
  for (int x = 0; x < 5; ++x) {
    EXPECT_EQ(rgb_at(row.get(), x, 0), 0xFFFFFFu);
    EXPECT_EQ(rgb_at(row.get(), x, 1), grey(126));
    EXPECT_EQ(rgb_at(row.get(), x, 2), 0xFFFFFFu);
  }

  // Fills and clear obey the clip, corners in either order.
  TestCanvas f(5, 4);
  fcanvas_set_brush_color(f.get(), kBlue);
  fcanvas_clear(f.get());
  const FRect clip{1, 1, 3, 2};
  fcanvas_set_clip(f.get(), &clip);
  fcanvas_set_brush_color(f.get(), kRed);
  fcanvas_fill_rect(f.get(), 4, 3, 2, 0);
  fcanvas_set_brush_style(f.get(), FBRUSH_NONE);
  fcanvas_fill_rect(f.get(), 0, 0, 4, 3);
  EXPECT_EQ(picture(f.get()), (Picture{"bbbbb", "bboob", "bboob", "bbbbb"}));

  // Chamfer: r is cut to half the width and height, so 10 draws like 3.
  TestCanvas ch(7, 9), ch3(7, 9);
  fcanvas_set_brush_color(ch.get(), kRed);
  fcanvas_set_brush_color(ch3.get(), kRed);
  EXPECT_EQ(fcanvas_chamfer_rect(ch.get(), 6, 8, 0, 0, 10), 1);
  fcanvas_chamfer_rect(ch3.get(), 0, 0, 6, 8, 3);
  const Picture octagon{"...#...", "..#o#..", ".#ooo#.", "#ooooo#", "#ooooo#",
                        "#ooooo#", ".#ooo#.", "..#o#..", "...#..."};
  EXPECT_EQ(picture(ch.get()), octagon);
  EXPECT_EQ(picture(ch3.get()), octagon);

  // A negative cut is no cut: the plain rectangle.
  TestCanvas neg(4, 3), plain(4, 3);
  fcanvas_set_brush_color(neg.get(), kRed);
  fcanvas_set_brush_color(plain.get(), kRed);
  fcanvas_chamfer_rect(neg.get(), 0, 0, 3, 2, -5);
  fcanvas_rectangle(plain.get(), 0, 0, 3, 2);
  EXPECT_EQ(picture(neg.get()), picture(plain.get()));
  EXPECT_EQ(picture(neg.get()), (Picture{"####", "#oo#", "####"}));

  // Pen none: fills still happen, outlines do not.
  TestCanvas none(8, 5);
  fcanvas_set_pen_style(none.get(), FPEN_NONE);
  fcanvas_set_brush_color(none.get(), kRed);
  fcanvas_rectangle(none.get(), 0, 0, 1, 1);
  fcanvas_ellipse(none.get(), 4, 2, 2, 2);
  fcanvas_circle(none.get(), 7, 3, 1);  // the interior of a one-radius circle is its centre
  const FPoint tri[] = {{6, 0}, {7, 0}, {7, 2}};
  fcanvas_polygon(none.get(), tri, 3);
  EXPECT_EQ(picture(none.get()),
            (Picture{"oo....oo", "oo.ooo.o", "...ooo..", "...ooo.o", "........"}));
}

TEST(FCanvasEllipse, RasteriserReports) {
  // Circle of radius 1: the two poles, then the equator.
  const std::vector<Span> one{{0, 0, 1}, {0, 0, -1}, {-1, 1, 0}};
  EXPECT_EQ(ellipse_spans(0, 0, 1, 1), one);
  // Radii below 1 count as 1.
  EXPECT_EQ(ellipse_spans(0, 0, 0, 0), one);
  EXPECT_EQ(ellipse_spans(0, 0, -7, 1), one);
  // Radius 2: rows are reported again as they widen, narrowest first.
  EXPECT_EQ(ellipse_spans(10, 20, 2, 2), (std::vector<Span>{{10, 10, 22},
                                                            {10, 10, 18},
                                                            {8, 12, 20},
                                                            {9, 11, 22},
                                                            {9, 11, 18},
                                                            {8, 12, 21},
                                                            {8, 12, 19}}));
  // Wider than tall: the axes exchange roles.
  EXPECT_EQ(
      ellipse_spans(0, 0, 3, 1),
      (std::vector<Span>{{0, 0, 1}, {0, 0, -1}, {-3, 3, 0}, {-1, 1, 1}, {-1, 1, -1}, {-2, 2, 0}}));

  // Every shape up to radius 12 either way: symmetric spans inside the bounding box, every
  // row of the box reported, the equator at full width.
  for (int32_t rx = 0; rx <= 12; ++rx) {
    for (int32_t ry = 0; ry <= 12; ++ry) {
      const int32_t ax = std::max(rx, 1), ay = std::max(ry, 1);
      const std::vector<Span> spans = ellipse_spans(-5, 7, rx, ry);
      std::vector<int> rows_seen(2 * ay + 1, 0);
      bool equator = false;
      for (const Span& s : spans) {
        ASSERT_EQ(s.a + s.b, -10) << rx << "x" << ry;
        ASSERT_LE(s.a, s.b);
        ASSERT_GE(s.a, -5 - ax);
        ASSERT_LE(std::abs(s.y - 7), ay) << rx << "x" << ry;
        rows_seen[s.y - 7 + ay] = 1;
        if (s.y == 7 && s.a == -5 - ax) equator = true;
      }
      EXPECT_EQ(std::count(rows_seen.begin(), rows_seen.end(), 0), 0) << rx << "x" << ry;
      EXPECT_TRUE(equator) << rx << "x" << ry;
    }
  }

  // A centre near the end of the 32-bit range saturates instead of overflowing.
  for (const Span& s : ellipse_spans(2147483647, -2147483647 - 1, 5, 9)) {
    EXPECT_EQ(s.b, 2147483647);
    EXPECT_LE(s.y, -2147483647 + 9);
  }
}

TEST(FCanvasEllipse, PicturesRowMapAndClip) {
  TestCanvas t(5, 5);
  fcanvas_set_brush_color(t.get(), kRed);
  fcanvas_circle(t.get(), 2, 2, 2);
  EXPECT_EQ(picture(t.get()), (Picture{".###.", "#ooo#", "#ooo#", "#ooo#", ".###."}));

  // Tall and wide shapes; a zero radius counts as one, with no row outside the map.
  TestCanvas tall(3, 7), wide(7, 3);
  fcanvas_set_brush_color(tall.get(), kRed);
  fcanvas_set_brush_color(wide.get(), kRed);
  fcanvas_ellipse(tall.get(), 1, 3, 1, 3);
  fcanvas_ellipse(wide.get(), 3, 0, 3, 0);
  EXPECT_EQ(picture(tall.get()), (Picture{".#.", ".#.", "#o#", "#o#", "#o#", ".#.", ".#."}));
  EXPECT_EQ(picture(wide.get()), (Picture{"##ooo##", "..###..", "......."}));

  // A translucent brush fills every row exactly once although rows are reported again.
  for (auto [rx, ry] : {std::pair{6, 6}, std::pair{7, 3}, std::pair{3, 7}}) {
    TestCanvas h(17, 17);
    fcanvas_set_pen_style(h.get(), FPEN_NONE);
    fcanvas_set_brush_color(h.get(), 0x80000000u);
    fcanvas_ellipse(h.get(), 8, 8, rx, ry);
    int filled = 0;
    for (int y = 0; y < 17; ++y) {
      for (int x = 0; x < 17; ++x) {
        const uint32_t p = rgb_at(h.get(), x, y);
        if (p == 0xFFFFFFu) continue;
        EXPECT_EQ(p, grey(126)) << rx << "x" << ry << " at " << x << "," << y;
        ++filled;
      }
    }
    EXPECT_GT(filled, rx * ry);
  }

  // A negative centre draws the same pixels as the shifted circle on a larger bitmap.
  TestCanvas small(6, 6), big(16, 16);
  for (FCanvas* c : {small.get(), big.get()}) fcanvas_set_brush_color(c, kRed);
  EXPECT_EQ(fcanvas_circle(small.get(), -3, -2, 5), 1);
  fcanvas_circle(big.get(), 7, 8, 5);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 6; ++x)
      EXPECT_EQ(rgb_at(small.get(), x, y), rgb_at(big.get(), x + 10, y + 10)) << x << "," << y;

  // Far-away centres and huge radii stay inside the map: a huge circle around the bitmap
  // fills it with the brush, one far away draws nothing.
  TestCanvas huge(5, 5);
  fcanvas_set_brush_color(huge.get(), kBlue);
  EXPECT_EQ(fcanvas_circle(huge.get(), -2000000000, -2000000000, 5), 1);
  EXPECT_EQ(picture(huge.get()), Picture(5, "....."));
  EXPECT_EQ(fcanvas_circle(huge.get(), 2, 2, 100000), 1);
  EXPECT_EQ(picture(huge.get()), Picture(5, "bbbbb"));

  // Clip: reports outside the clip rows are ignored; interiors take the clip inclusive,
  // outline pixels leave out its right column and bottom row.
  TestCanvas c(5, 5);
  fcanvas_set_brush_color(c.get(), kRed);
  const FRect clip{0, 1, 4, 3};
  fcanvas_set_clip(c.get(), &clip);
  fcanvas_circle(c.get(), 2, 2, 2);
  EXPECT_EQ(picture(c.get()), (Picture{".....", "#ooo.", "#ooo.", ".ooo.", "....."}));
}

TEST(FCanvasPolygon, ClosedListsTrianglesAndDegenerateShapes) {
  TestCanvas t(6, 5);
  fcanvas_set_brush_color(t.get(), kRed);
  const FPoint open5[] = {{0, 0}, {5, 0}, {5, 4}, {0, 4}, {1, 1}};
  const FPoint open4[] = {{0, 0}, {5, 0}, {5, 4}, {0, 4}};
  EXPECT_EQ(fcanvas_polygon(t.get(), open5, 5), 0);
  EXPECT_EQ(fcanvas_fill_polygon(t.get(), open5, 5), 0);
  EXPECT_EQ(fcanvas_polygon(t.get(), open4, 4), 0);
  EXPECT_EQ(picture(t.get()), Picture(5, "......"));

  // Three points need no repeated first point, and the closing edge is then not drawn.
  // The bottom row is left to the outline.
  const FPoint tri[] = {{0, 0}, {4, 4}, {0, 4}};
  EXPECT_EQ(fcanvas_polygon(t.get(), tri, 3), 1);
  EXPECT_EQ(picture(t.get()), (Picture{"#.....", "o#....", "oo#...", "ooo#..", "#####."}));

  // Edge x values round up, also on edges running left.
  TestCanvas f(6, 5);
  fcanvas_set_brush_color(f.get(), kRed);
  const FPoint kite[] = {{0, 0}, {5, 2}, {0, 4}, {0, 0}};
  EXPECT_EQ(fcanvas_fill_polygon(f.get(), kite, 4), 1);
  EXPECT_EQ(picture(f.get()), (Picture{"o.....", "oooo..", "oooooo", "oooo..", "......"}));

  // All points on one row: nothing to fill, the outline is the row.
  TestCanvas flat(6, 3);
  fcanvas_set_brush_color(flat.get(), kRed);
  const FPoint line[] = {{0, 1}, {5, 1}, {3, 1}, {0, 1}};
  EXPECT_EQ(fcanvas_fill_polygon(flat.get(), line, 4), 1);
  EXPECT_EQ(picture(flat.get()), Picture(3, "......"));
  EXPECT_EQ(fcanvas_polygon(flat.get(), line, 4), 1);
  EXPECT_EQ(picture(flat.get()), (Picture{"......", "######", "......"}));

  // Fewer than three points fill nothing; a null list of no points is empty.
  EXPECT_EQ(fcanvas_fill_polygon(flat.get(), line, 2), 1);
  EXPECT_EQ(fcanvas_polygon(flat.get(), nullptr, 0), 1);

  // A polygon far larger than the bitmap only walks the bitmap's rows.
  TestCanvas big(4, 4);
  fcanvas_set_brush_color(big.get(), kBlue);
  const FPoint huge[] = {
      {-1000000000, -1000000000}, {2000000000, 1000000000}, {-1000000000, 1000000000}};
  EXPECT_EQ(fcanvas_fill_polygon(big.get(), huge, 3), 1);
  EXPECT_EQ(picture(big.get()), Picture(4, "bbbb"));

  // The clip cuts the spans like lines.
  TestCanvas cl(6, 5);
  fcanvas_set_brush_color(cl.get(), kRed);
  const FRect clip{1, 1, 3, 2};
  fcanvas_set_clip(cl.get(), &clip);
  fcanvas_fill_polygon(cl.get(), kite, 4);
  EXPECT_EQ(picture(cl.get()), (Picture{"......", ".ooo..", ".ooo..", "......", "......"}));
}

TEST(FCanvasPattern, TilingWithNegativeOriginsAndClip) {
  // A 3 x 2 tile of distinct colours; with opacity 255 the plain blit gives c * 255 >> 8.
  FBitmap* tile = fbitmap_create(3, -2, 32);
  ASSERT_NE(tile, nullptr);
  const auto tile_color = [](int tx, int ty) {
    return fcolor_make(static_cast<uint8_t>(10 + 40 * tx), static_cast<uint8_t>(20 + 50 * ty), 200,
                       255);
  };
  for (int ty = 0; ty < 2; ++ty)
    for (int tx = 0; tx < 3; ++tx) fbitmap_blend_pixel(tile, tx, ty, tile_color(tx, ty));
  const auto drawn = [&](int tx, int ty) {
    const FColor c = tile_color(tx, ty);
    return static_cast<uint32_t>((fcolor_red(c) * 255) >> 8) << 16 |
           static_cast<uint32_t>((fcolor_green(c) * 255) >> 8) << 8 |
           static_cast<uint32_t>((fcolor_blue(c) * 255) >> 8);
  };
  const auto mod = [](int v, int m) { return ((v % m) + m) % m; };

  for (FPoint origin : {FPoint{-1, -3}, FPoint{2, 1}, FPoint{-7, 5}}) {
    TestCanvas t(8, 4);
    fcanvas_set_brush(t.get(), FBRUSH_PATTERN, kWhite);
    fcanvas_set_pattern(t.get(), tile);
    fcanvas_set_pattern_origin(t.get(), origin.x, origin.y);
    fcanvas_fill_rect(t.get(), -20, -20, 20, 20);
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 8; ++x)
        EXPECT_EQ(rgb_at(t.get(), x, y), drawn(mod(x - origin.x, 3), mod(y - origin.y, 2)))
            << origin.x << "," << origin.y << " at " << x << "," << y;
  }

  // Clipped pieces keep their tile columns; the brush alpha is the opacity.
  TestCanvas c(8, 4);
  fcanvas_set_brush(c.get(), FBRUSH_PATTERN, 0x80FFFFFFu);
  fcanvas_set_pattern(c.get(), tile);
  fcanvas_set_pattern_origin(c.get(), -1, 0);
  const FRect clip{2, 1, 6, 2};
  fcanvas_set_clip(c.get(), &clip);
  fcanvas_clear(c.get());
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 8; ++x) {
      uint32_t expected = 0xFFFFFFu;
      if (x >= 2 && x <= 6 && y >= 1 && y <= 2) {
        const FColor s = tile_color(mod(x + 1, 3), y % 2);
        const auto mix = [](int src) {
          return static_cast<uint32_t>((src * 128 + 255 * 127) >> 8);
        };
        expected = mix(fcolor_red(s)) << 16 | mix(fcolor_green(s)) << 8 | mix(fcolor_blue(s));
      }
      EXPECT_EQ(rgb_at(c.get(), x, y), expected) << x << "," << y;
    }
  }

  // Ellipse interiors and polygon spans tile the same way.
  TestCanvas e(5, 5);
  fcanvas_set_brush(e.get(), FBRUSH_PATTERN, kWhite);
  fcanvas_set_pattern(e.get(), tile);
  fcanvas_set_pen_style(e.get(), FPEN_NONE);
  fcanvas_circle(e.get(), 2, 2, 2);
  const FPoint tri[] = {{0, 4}, {4, 4}, {4, 0}};
  fcanvas_fill_polygon(e.get(), tri, 3);
  for (int y = 0; y < 5; ++y) {
    for (int x = 0; x < 5; ++x) {
      const bool in_circle = x >= 1 && x <= 3 && y >= 1 && y <= 3;
      const bool in_triangle = y < 4 && x >= 4 - y;
      const uint32_t expected = in_circle || in_triangle ? drawn(x % 3, y % 2) : 0xFFFFFFu;
      EXPECT_EQ(rgb_at(e.get(), x, y), expected) << x << "," << y;
    }
  }

  // A tile without pixels across draws nothing.
  FBitmap empty{};
  TestCanvas z(3, 1);
  fcanvas_set_brush_style(z.get(), FBRUSH_PATTERN);
  fcanvas_set_pattern(z.get(), &empty);
  EXPECT_EQ(fcanvas_clear(z.get()), 1);
  EXPECT_EQ(picture(z.get()), Picture(1, "..."));
  fbitmap_destroy(tile);
}

namespace {

// 4-connected region of pixels exactly equal to the seed's colour.
std::vector<std::vector<bool>> reference_region(const FCanvas* canvas, int sx, int sy) {
  const int w = fbitmap_get_width(canvas->bitmap), h = fbitmap_get_height(canvas->bitmap);
  const uint32_t seed = rgb_at(canvas, sx, sy);
  std::vector<std::vector<bool>> in(h, std::vector<bool>(w, false));
  std::deque<FPoint> queue{{sx, sy}};
  in[sy][sx] = true;
  while (!queue.empty()) {
    const FPoint p = queue.front();
    queue.pop_front();
    const FPoint next[] = {{p.x - 1, p.y}, {p.x + 1, p.y}, {p.x, p.y - 1}, {p.x, p.y + 1}};
    for (FPoint q : next) {
      if (q.x < 0 || q.y < 0 || q.x >= w || q.y >= h || in[q.y][q.x]) continue;
      if (rgb_at(canvas, q.x, q.y) != seed) continue;
      in[q.y][q.x] = true;
      queue.push_back(q);
    }
  }
  return in;
}

}  // namespace

TEST(FCanvasFloodFill, CombsDiagonalsAndRandomMazes) {
  TestCanvas comb(7, 5);
  paint(comb.get(), {".#.#.#.", ".#.#.#.", ".#.#.#.", ".#.#.#.", "......."});
  fcanvas_set_brush_color(comb.get(), kRed);
  EXPECT_EQ(fcanvas_flood_fill(comb.get(), 0, 0, 0), 1);
  EXPECT_EQ(picture(comb.get()), (Picture{"o#o#o#o", "o#o#o#o", "o#o#o#o", "o#o#o#o", "ooooooo"}));

  // The same comb upside down, filled from below: the fill climbs back up every tooth.
  TestCanvas up(7, 5);
  paint(up.get(), {".......", ".#.#.#.", ".#.#.#.", ".#.#.#.", ".#.#.#."});
  fcanvas_set_brush_color(up.get(), kRed);
  EXPECT_EQ(fcanvas_flood_fill(up.get(), 6, 4, 0), 1);
  EXPECT_EQ(picture(up.get()), (Picture{"ooooooo", "o#o#o#o", "o#o#o#o", "o#o#o#o", "o#o#o#o"}));

  // Neighbours are the four sides only: a diagonal line of single pixels is a wall.
  TestCanvas diag(5, 5);
  paint(diag.get(), {"....#", "...#.", "..#..", ".#...", "#...."});
  fcanvas_set_brush_color(diag.get(), kRed);
  EXPECT_EQ(fcanvas_flood_fill(diag.get(), 0, 0, 0), 1);
  EXPECT_EQ(picture(diag.get()), (Picture{"oooo#", "ooo#.", "oo#..", "o#...", "#...."}));

  // Random mazes against a breadth-first walk of the same area.
  std::mt19937 rng(11);
  for (int n = 0; n < 40; ++n) {
    TestCanvas m(23, 17);
    Picture maze(17, std::string(23, '.'));
    for (auto& row : maze)
      for (char& ch : row) ch = (rng() % 100) < 38 ? '#' : '.';
    const int sx = static_cast<int>(rng() % 23), sy = static_cast<int>(rng() % 17);
    maze[sy][sx] = '.';
    paint(m.get(), maze);
    const auto region = reference_region(m.get(), sx, sy);
    fcanvas_set_brush_color(m.get(), kRed);
    ASSERT_EQ(fcanvas_flood_fill(m.get(), sx, sy, 0), 1);
    for (int y = 0; y < 17; ++y)
      for (int x = 0; x < 23; ++x)
        ASSERT_EQ(rgb_at(m.get(), x, y),
                  region[y][x] ? 0xFF0000u : (maze[y][x] == '#' ? 0u : 0xFFFFFFu))
            << "maze " << n << " at " << x << "," << y;
  }

  // A brush within the tolerance of the seed still ends: filled runs are not revisited.
  TestCanvas near(5, 4);
  paint(near.get(), {"..#..", "..#..", "..#..", "....."});
  fcanvas_set_brush_color(near.get(), 0xFFFEFEFEu);
  EXPECT_EQ(fcanvas_flood_fill(near.get(), 0, 0, 10), 1);
  EXPECT_EQ(rgb_at(near.get(), 1, 1), 0xFEFEFEu);
  EXPECT_EQ(rgb_at(near.get(), 4, 0), 0xFEFEFEu);  // round the wall's end
  EXPECT_EQ(rgb_at(near.get(), 0, 3), 0xFEFEFEu);
  EXPECT_EQ(rgb_at(near.get(), 2, 0), 0u);
}

TEST(FCanvasFloodFill, ToleranceGradedEdgesAndBounds) {
  // Greys 255, 200, 100, 0 from the seed: tolerance 300 acts as 255 and takes them all,
  // each graded by its distance from the seed; the run of exact seed pixels gets the brush.
  const auto make_ramp = [](TestCanvas& t) {
    const int values[] = {255, 200, 100, 0};
    for (int x = 0; x < 4; ++x) fbitmap_blend_pixel(t->bitmap, x, 0, 0xFF000000u | grey(values[x]));
    fcanvas_set_brush_color(t.get(), kRed);
  };
  const std::vector<uint32_t> graded{0xFF0000u, 0xF22A2Au, 0xA03C3Cu, 0x000000u};
  for (int32_t tolerance : {255, 300}) {
    TestCanvas t(4, 1);
    make_ramp(t);
    EXPECT_EQ(fcanvas_flood_fill(t.get(), 0, 0, tolerance), 1);
    for (int x = 0; x < 4; ++x)
      EXPECT_EQ(rgb_at(t.get(), x, 0), graded[x]) << tolerance << " " << x;
  }
  TestCanvas low(4, 1);
  make_ramp(low);
  EXPECT_EQ(fcanvas_flood_fill(low.get(), 0, 0, -5), 1);  // acts as 0
  EXPECT_EQ(rgb_at(low.get(), 0, 0), 0xFF0000u);
  EXPECT_EQ(rgb_at(low.get(), 1, 0), grey(200));

  // Anti-aliased edges keep part of their colour, also on bitmaps without an alpha byte.
  for (int32_t bpp : {32, 24}) {
    TestCanvas e(6, 1, bpp);
    const int values[] = {230, 255, 255, 255, 230, 0};
    for (int x = 0; x < 6; ++x) fbitmap_blend_pixel(e->bitmap, x, 0, 0xFF000000u | grey(values[x]));
    fcanvas_set_brush_color(e.get(), kBlack);
    EXPECT_EQ(fcanvas_flood_fill(e.get(), 2, 0, 30), 1);
    const std::vector<uint32_t> expected{grey(22), 0, 0, 0, grey(22), 0};
    for (int x = 0; x < 6; ++x) EXPECT_EQ(rgb_at(e.get(), x, 0), expected[x]) << bpp << " " << x;
  }

  // The clip holds for the graded pixels as for the brush run.
  TestCanvas c(6, 1);
  const int values[] = {230, 255, 255, 255, 230, 0};
  for (int x = 0; x < 6; ++x) fbitmap_blend_pixel(c->bitmap, x, 0, 0xFF000000u | grey(values[x]));
  const FRect clip{0, 0, 2, 0};
  fcanvas_set_clip(c.get(), &clip);
  fcanvas_set_brush_color(c.get(), kBlack);
  EXPECT_EQ(fcanvas_flood_fill(c.get(), 2, 0, 30), 1);
  const std::vector<uint32_t> clipped{grey(22), 0, 0, grey(255), grey(230), 0};
  for (int x = 0; x < 6; ++x) EXPECT_EQ(rgb_at(c.get(), x, 0), clipped[x]) << x;

  // Seeds outside the bitmap fail; brush none succeeds without drawing.
  TestCanvas o(3, 2);
  fcanvas_set_brush_color(o.get(), kRed);
  EXPECT_EQ(fcanvas_flood_fill(o.get(), -1, 0, 0), 0);
  EXPECT_EQ(fcanvas_flood_fill(o.get(), 3, 0, 0), 0);
  EXPECT_EQ(fcanvas_flood_fill(o.get(), 0, 2, 0), 0);
  EXPECT_EQ(fcanvas_flood_fill(o.get(), 0, -1, 0), 0);
  fcanvas_set_brush_style(o.get(), FBRUSH_NONE);
  EXPECT_EQ(fcanvas_flood_fill(o.get(), 1, 1, 0), 1);
  EXPECT_EQ(picture(o.get()), Picture(2, "..."));

  // Bitmaps wider and taller than 32767 pixels fill correctly.
  TestCanvas wide(40000, 2);
  fcanvas_line(wide.get(), 35000, 0, 35000, 1);
  fcanvas_set_brush_color(wide.get(), kRed);
  EXPECT_EQ(fcanvas_flood_fill(wide.get(), 100, 1, 0), 1);
  for (int x : {0, 32767, 32768, 34999}) EXPECT_EQ(rgb_at(wide.get(), x, 0), 0xFF0000u) << x;
  for (int x : {35001, 39999}) EXPECT_EQ(rgb_at(wide.get(), x, 1), 0xFFFFFFu) << x;
  TestCanvas tall(2, 40000);
  fcanvas_line(tall.get(), 0, 33000, 1, 33000);
  fcanvas_set_brush_color(tall.get(), kRed);
  EXPECT_EQ(fcanvas_flood_fill(tall.get(), 1, 39999, 0), 1);
  for (int y : {33001, 39999}) EXPECT_EQ(rgb_at(tall.get(), 0, y), 0xFF0000u) << y;
  for (int y : {0, 32767, 32999}) EXPECT_EQ(rgb_at(tall.get(), 1, y), 0xFFFFFFu) << y;
}

TEST(FCanvasBitmaps, ClippedDrawsOfEveryKind) {
  FBitmap* src = fbitmap_create(4, -4, 32);
  FBitmap* mask = fbitmap_create(4, -4, 8);
  ASSERT_NE(src, nullptr);
  ASSERT_NE(mask, nullptr);
  const auto src_color = [](int x, int y) {
    return fcolor_make(static_cast<uint8_t>(60 * x), static_cast<uint8_t>(60 * y), 7, 255);
  };
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 4; ++x) {
      fbitmap_blend_pixel(src, x, y, src_color(x, y));
      fbitmap_set_pixel(mask, x, y, x % 2 == 0 ? 255 : 0);
    }
  }
  const auto rgb = [](FColor c) { return c & 0xFFFFFFu; };
  const FRect whole{0, 0, 3, 3};
  const FRect clip{2, 2, 5, 5};

  // Opaque copy: only the part inside the clip, source shifted along.
  TestCanvas t(8, 8);
  fcanvas_set_clip(t.get(), &clip);
  EXPECT_EQ(fcanvas_draw_bitmap(t.get(), FPoint{0, 0}, src, whole), 1);
  EXPECT_EQ(fcanvas_draw_bitmap(t.get(), FPoint{4, 3}, src, FRect{3, 3, 0, 0}), 1);
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; ++x) {
      uint32_t expected = 0xFFFFFFu;
      if (x >= 2 && x <= 3 && y >= 2 && y <= 3) expected = rgb(src_color(x, y));
      if (x >= 4 && x <= 5 && y >= 3 && y <= 5) expected = rgb(src_color(x - 4, y - 3));
      EXPECT_EQ(rgb_at(t.get(), x, y), expected) << x << "," << y;
    }
  }

  // Empty intersections succeed and draw nothing, whatever the kind.
  TestCanvas e(8, 8);
  fcanvas_set_clip(e.get(), &clip);
  EXPECT_EQ(fcanvas_draw_bitmap(e.get(), FPoint{6, 6}, src, whole), 1);
  EXPECT_EQ(fcanvas_draw_bitmap_alpha(e.get(), FPoint{-2, 0}, src, whole, 255), 1);
  EXPECT_EQ(fcanvas_draw_bitmap_masked(e.get(), FPoint{0, -2}, src, whole, mask, 255), 1);
  EXPECT_EQ(fcanvas_draw_bitmap_keyed(e.get(), FPoint{2, 6}, src, whole, -1, 255), 1);
  EXPECT_EQ(picture(e.get()), Picture(8, "........"));

  // Translucent, masked and keyed draws through the clip: the mask stays aligned with the
  // shifted source.
  TestCanvas a(8, 8), m(8, 8), k(8, 8);
  for (FCanvas* c : {a.get(), m.get(), k.get()}) fcanvas_set_clip(c, &clip);
  EXPECT_EQ(fcanvas_draw_bitmap_alpha(a.get(), FPoint{1, 1}, src, whole, 128), 1);
  EXPECT_EQ(fcanvas_draw_bitmap_masked(m.get(), FPoint{1, 1}, src, whole, mask, 255), 1);
  const FColor key_color = src_color(2, 2);
  EXPECT_EQ(
      fcanvas_draw_bitmap_keyed(
          k.get(), FPoint{1, 1}, src, whole,
          fcolor_key_make(fcolor_red(key_color), fcolor_green(key_color), fcolor_blue(key_color)),
          255),
      1);
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; ++x) {
      const bool inside = x >= 2 && x <= 4 && y >= 2 && y <= 4;
      const int sx = x - 1, sy = y - 1;
      const FColor s = inside ? src_color(sx, sy) : 0;
      const auto blend = [&](int alpha) {
        const auto ch = [&](int v) {
          return static_cast<uint32_t>((v * alpha + 255 * (255 - alpha)) >> 8);
        };
        return ch(fcolor_red(s)) << 16 | ch(fcolor_green(s)) << 8 | ch(fcolor_blue(s));
      };
      EXPECT_EQ(rgb_at(a.get(), x, y), inside ? blend(128) : 0xFFFFFFu) << x << "," << y;
      // A zero mask byte still weighs the destination by 255 / 256.
      EXPECT_EQ(rgb_at(m.get(), x, y), inside ? blend(sx % 2 == 0 ? 255 : 0) : 0xFFFFFFu)
          << x << "," << y;
      EXPECT_EQ(rgb_at(k.get(), x, y), inside && !(sx == 2 && sy == 2) ? rgb(s) : 0xFFFFFFu)
          << x << "," << y;
    }
  }

  // Without a clip the bitmap's own clipping applies.
  TestCanvas n(3, 3);
  EXPECT_EQ(fcanvas_draw_bitmap(n.get(), FPoint{-1, -1}, src, whole), 1);
  EXPECT_EQ(rgb_at(n.get(), 0, 0), rgb(src_color(1, 1)));
  EXPECT_EQ(rgb_at(n.get(), 2, 2), rgb(src_color(3, 3)));
  EXPECT_EQ(fcanvas_draw_bitmap_masked(n.get(), FPoint{0, 0}, src, whole, nullptr, 255), 0);

  fbitmap_destroy(mask);
  fbitmap_destroy(src);
}
