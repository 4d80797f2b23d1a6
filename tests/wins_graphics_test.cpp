// Tests of the port's text rasteriser: the UTF-16 walk, font resolution and its cache,
// metrics, widths and fits, and the coverage handed to the sink. Glyph shapes depend on the
// installed fonts, so the assertions are about properties (ink inside the cell, antialiased
// edges, more ink for bold, full bars) rather than exact pixels.

#include "wins_graphics.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <numeric>
#include <vector>

namespace {

using Font = std::unique_ptr<FPlatformFont, decltype(&fplatform_font_destroy)>;

Font make_font(int32_t pixel_height, const char16_t* face, uint32_t style = 0) {
  return Font(fplatform_font_create(pixel_height, face, style), fplatform_font_destroy);
}

// A coverage grid that the sink paints into, keeping the strongest coverage per cell.
struct InkGrid {
  int32_t width, height;
  std::vector<uint8_t> cells;
  int32_t outside = 0;  // covered pixels that fell outside the grid
  InkGrid(int32_t w, int32_t h) : width(w), height(h), cells(static_cast<size_t>(w) * h, 0) {}
  uint8_t at(int32_t x, int32_t y) const { return cells[static_cast<size_t>(y) * width + x]; }
  int64_t total() const { return std::accumulate(cells.begin(), cells.end(), int64_t{0}); }
  int64_t count(uint8_t lo, uint8_t hi) const {
    return std::count_if(cells.begin(), cells.end(), [&](uint8_t c) { return c >= lo && c <= hi; });
  }
  // The first row fully covered over columns x0 to x0 + n - 1, or the height.
  int32_t first_full_row(int32_t x0, int32_t n) const {
    for (int32_t y = 0; y < height; ++y)
      if (std::count(&cells[y * width + x0], &cells[y * width + x0 + n], 255) == n) return y;
    return height;
  }
  // The first column of row y with coverage above half, or -1.
  int32_t first_ink(int32_t y) const {
    for (int32_t x = 0; x < width; ++x)
      if (at(x, y) > 128) return x;
    return -1;
  }
};

void ink_grid_sink(void* context, int32_t x, int32_t y, const uint8_t* coverage, int32_t width,
                   int32_t height, int32_t pitch) {
  auto* grid = static_cast<InkGrid*>(context);
  for (int32_t r = 0; r < height; ++r) {
    for (int32_t c = 0; c < width; ++c) {
      const uint8_t value = coverage[static_cast<size_t>(r) * pitch + c];
      const size_t cell = static_cast<size_t>(y + r) * grid->width + x + c;
      if (x + c < 0 || y + r < 0 || x + c >= grid->width || y + r >= grid->height)
        grid->outside += value ? 1 : 0;
      else
        grid->cells[cell] = std::max(grid->cells[cell], value);
    }
  }
}

InkGrid render(FPlatformFont* font, const char16_t* text, int32_t x, int32_t y, int32_t width,
               int32_t height) {
  InkGrid grid(width, height);
  fplatform_font_render(font, text, static_cast<int32_t>(std::char_traits<char16_t>::length(text)),
                        x, y, ink_grid_sink, &grid);
  return grid;
}

FFontMetrics metrics_of(const FPlatformFont* font) {
  FFontMetrics m{};
  fplatform_font_metrics(font, &m);
  return m;
}

TEST(WinsGraphicsText, Utf16WalkJoinsPairsAndReplacesLoneSurrogates) {
  // 'A'; a pair; a high half before a plain character; 'B'; two low halves without a high
  // half; a high half as the last unit, which must not read past the length; last, the
  // pair cut by a shorter length, which leaves its high half alone.
  const char16_t text[] = {u'A', 0xD83D, 0xDE00, 0xD800, u'B', 0xDC00, 0xDC00, 0xD801};
  const std::tuple<int32_t, int32_t, uint32_t, int32_t> steps[] = {  // start, length, result, next
      {0, 8, 0x41, 1},   {1, 8, 0x1F600, 3}, {3, 8, 0xFFFD, 4}, {4, 8, 0x42, 5},
      {5, 8, 0xFFFD, 6}, {6, 8, 0xFFFD, 7},  {7, 8, 0xFFFD, 8}, {1, 2, 0xFFFD, 2}};
  for (auto [start, length, code_point, next] : steps) {
    int32_t index = start;
    EXPECT_EQ(wins_graphics_next_code_point(text, length, &index), code_point) << start;
    EXPECT_EQ(index, next) << start;
  }
}

TEST(WinsGraphicsText, FontsResolveMeasureSanelyAndAreCached) {
  // Missing families resolve to the sans default; sizes out of range are brought into it.
  const Font none = make_font(32, nullptr);
  ASSERT_NE(none, nullptr);
  for (const char16_t* face : {u"", u"No Such Family Anywhere 1234"})
    EXPECT_STREQ(wins_graphics_font_file(make_font(32, face).get()),
                 wins_graphics_font_file(none.get()));
  for (int32_t height : {0, -20, 1 << 30}) EXPECT_NE(make_font(height, nullptr), nullptr) << height;

  // The cell is at least the em height and not absurdly taller; metrics and widths scale
  // with the height.
  const Font small = make_font(16, u"tahoma"), large = make_font(64, u"tahoma");
  ASSERT_TRUE(small != nullptr && large != nullptr);
  const FFontMetrics s = metrics_of(small.get()), l = metrics_of(large.get());
  EXPECT_TRUE(s.ascent > 0 && s.descent > 0 && s.height == s.ascent + s.descent &&
              l.height == l.ascent + l.descent);
  EXPECT_TRUE(s.height >= 16 && s.height <= 32) << s.height;
  EXPECT_NEAR(l.height, 4 * s.height, 8);
  EXPECT_NEAR(fplatform_font_text_width(large.get(), u"Hello", 5),
              4 * fplatform_font_text_width(small.get(), u"Hello", 5), 10);

  // Releasing the cache while a font is held keeps that font working; a font made after a
  // full release starts a new library and measures the same.
  FPlatformFont* held = fplatform_font_create(24, u"tahoma", FFONT_UNDERLINE);
  ASSERT_NE(held, nullptr);
  const int32_t width = fplatform_font_text_width(held, u"cache", 5);
  wins_graphics_release_cache();
  EXPECT_EQ(fplatform_font_text_width(held, u"cache", 5), width);
  fplatform_font_destroy(held);
  fplatform_font_destroy(nullptr);
  wins_graphics_release_cache();
  const Font again = make_font(24, u"tahoma");
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(fplatform_font_text_width(again.get(), u"cache", 5), width);
}

TEST(WinsGraphicsText, WidthsGrowAndFitsNeverSplitAPair) {
  const Font font = make_font(32, u"tahoma");
  ASSERT_NE(font, nullptr);
  FPlatformFont* f = font.get();
  // "Hello, " then a pair (mathematical bold A, outside the basic plane), then " world".
  const char16_t text[] = u"Hello, \xD835\xDC00 world";
  const int32_t length = static_cast<int32_t>(std::char_traits<char16_t>::length(text));
  const int32_t pair = 7;  // unit index of the pair's high half

  // Each character widens the text (a pair cut in half would end in a replacement glyph).
  for (int32_t n = 1, previous = 0; n <= length; n += n == pair ? 2 : 1) {
    EXPECT_GT(fplatform_font_text_width(f, text, n), previous) << "prefix " << n;
    previous = fplatform_font_text_width(f, text, n);
  }
  const int32_t full = fplatform_font_text_width(f, text, length);
  // What fits is never wider than the limit, one more character would not fit, and the
  // count never ends inside the pair.
  int32_t last_fit = 0;
  for (int32_t max_width = -5; max_width <= full + 2; ++max_width) {
    const int32_t fit = fplatform_font_text_fit(f, text, length, max_width);
    EXPECT_GE(fit, last_fit) << max_width;
    EXPECT_NE(fit, pair + 1) << max_width;
    EXPECT_LE(fplatform_font_text_width(f, text, fit), std::max(max_width, 0));
    const int32_t next = fit == pair ? fit + 2 : fit + 1;
    EXPECT_TRUE(fit == length || fplatform_font_text_width(f, text, next) > max_width) << max_width;
    last_fit = fit;
  }
  for (int32_t n : {0, -3}) EXPECT_EQ(fplatform_font_text_width(f, text, n), 0);
  EXPECT_EQ(fplatform_font_text_width(f, nullptr, 5) + fplatform_font_text_fit(f, nullptr, 5, 9),
            0);
}

TEST(WinsGraphicsText, LoneSurrogatesCjkAndFallbackFacesAreSafe) {
  const Font font = make_font(32, u"tahoma");
  ASSERT_NE(font, nullptr);
  InkGrid grid = render(font.get(), u"\xD800x\xDC00\xDBFF", 2, 2, 400, 80);
  fplatform_font_render(font.get(), u"\u4E2D\u6587", 2, 2, 40, ink_grid_sink, &grid);
  fplatform_font_render(font.get(), nullptr, 0, 0, 0, ink_grid_sink, &grid);
  fplatform_font_render(font.get(), u"ab", -4, 0, 0, ink_grid_sink, &grid);
  fplatform_font_render(font.get(), u"ab", 2, 0, 0, nullptr, nullptr);
  EXPECT_GT(grid.total(), 0);

  // Mathematical bold capital A lives in the serif and math faces of the installed family,
  // not in its sans face: it has to be found through the sorted candidates. A size no other
  // test uses keeps the cached glyphs of other tests out of the count, and the glyph is
  // cached: drawing it again does not search again.
  const Font odd = make_font(37, u"tahoma");
  ASSERT_NE(odd, nullptr);
  const int32_t before = wins_graphics_fallback_glyph_count(odd.get());
  InkGrid math = render(odd.get(), u"\xD835\xDC00", 10, 10, 80, 80);
  EXPECT_EQ(wins_graphics_fallback_glyph_count(odd.get()), before + 1);
  EXPECT_GT(math.count(255, 255), 0);
  fplatform_font_render(odd.get(), u"\xD835\xDC00", 2, 10, 10, ink_grid_sink, &math);
  EXPECT_EQ(wins_graphics_fallback_glyph_count(odd.get()), before + 1);
}

TEST(WinsGraphicsText, InkStaysInTheCellAndTheStylesShowInIt) {
  // "H H" plain, bold, italic, underlined and struck out. The space leaves a gap in every
  // row of the plain rendering; no letter descends.
  const char16_t* text = u"H H";
  const int32_t x = 20, y = 20;
  const uint32_t styles[] = {0, FFONT_BOLD, FFONT_ITALIC, FFONT_UNDERLINE, FFONT_STRIKEOUT};
  std::vector<InkGrid> grids;
  for (uint32_t style : styles) {
    const Font font = make_font(32, u"tahoma", style);
    ASSERT_NE(font, nullptr);
    grids.push_back(render(font.get(), text, x, y, 200, 100));
  }
  const InkGrid &plain = grids[0], &bold = grids[1], &italic = grids[2];
  const Font font = make_font(32, u"tahoma");
  const FFontMetrics m = metrics_of(font.get());
  const int32_t width = fplatform_font_text_width(font.get(), text, 3), baseline = y + m.ascent;
  const int32_t right = x + width + 1;  // a pixel of overhang past the advance
  EXPECT_EQ(plain.outside, 0);
  EXPECT_TRUE(plain.count(255, 255) > 0 && plain.count(1, 254) > 0);  // stems and smooth edges
  // Ink stays in the cell: nothing above its top, below the baseline, left of the start or
  // past the advance width. 'H' stands on the baseline.
  for (int32_t gy = 0; gy < plain.height; ++gy)
    for (int32_t gx = 0; gx < plain.width; ++gx)
      ASSERT_TRUE(!plain.at(gx, gy) || (gy >= y && gy <= baseline && gx >= x && gx <= right))
          << gx << "," << gy;
  EXPECT_NE(plain.first_ink(baseline - 1), -1);

  // Bold inks more; an upright 'H' has its top and bottom ink in the same column, a leaning
  // one has its top further right than its bottom.
  EXPECT_GT(bold.total(), plain.total() * 11 / 10);
  EXPECT_EQ(plain.first_ink(baseline - 20), plain.first_ink(baseline - 2));
  EXPECT_GT(italic.first_ink(baseline - 20), italic.first_ink(baseline - 2));

  // The bars are rows fully covered across the text: the underline below the baseline
  // inside the cell, the strike-out above the baseline.
  EXPECT_EQ(plain.first_full_row(x, width), plain.height);
  const int32_t underline = grids[3].first_full_row(x, width);
  const int32_t strike = grids[4].first_full_row(x, width);
  EXPECT_TRUE(underline >= baseline && underline < y + m.height) << underline;
  EXPECT_TRUE(strike > y && strike < baseline) << strike;
}

TEST(WinsGraphicsTextDeathTest, NullFontIsAProgrammingError) {
  EXPECT_EXIT(fplatform_font_text_width(nullptr, u"x", 1), testing::ExitedWithCode(255), "font");
}

}  // namespace
