// Tests of the port's text rasteriser: the UTF-16 walk, font resolution, metrics, widths and
// fits, and the coverage handed to the sink. Glyph shapes depend on the installed fonts, so
// the assertions are about properties (ink inside the cell, antialiased edges, more ink for
// bold) rather than exact pixels.

#include "wins_graphics.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

// A coverage grid that the sink paints into, keeping the strongest coverage per cell.
struct InkGrid {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint8_t> cells;
  int32_t pieces = 0;
  int32_t cells_outside = 0;  // covered pixels that fell outside the grid
  bool bad_pitch = false;

  InkGrid(int32_t w, int32_t h) : width(w), height(h), cells(static_cast<size_t>(w) * h, 0) {}
  uint8_t at(int32_t x, int32_t y) const { return cells[static_cast<size_t>(y) * width + x]; }
  int64_t total() const {
    int64_t sum = 0;
    for (uint8_t c : cells) sum += c;
    return sum;
  }
  int32_t count_between(int lo, int hi) const {
    int32_t n = 0;
    for (uint8_t c : cells) n += (c >= lo && c <= hi) ? 1 : 0;
    return n;
  }
  // True when every cell of row y from x1 to x2 is fully covered.
  bool full_row(int32_t y, int32_t x1, int32_t x2) const {
    for (int32_t x = x1; x <= x2; ++x) {
      if (at(x, y) != 255) return false;
    }
    return true;
  }
};

void ink_grid_sink(void* context, int32_t x, int32_t y, const uint8_t* coverage, int32_t width,
                   int32_t height, int32_t pitch) {
  auto* grid = static_cast<InkGrid*>(context);
  grid->pieces += 1;
  if (pitch < width) grid->bad_pitch = true;
  for (int32_t r = 0; r < height; ++r) {
    for (int32_t c = 0; c < width; ++c) {
      uint8_t value = coverage[static_cast<size_t>(r) * pitch + c];
      int32_t gx = x + c;
      int32_t gy = y + r;
      if (gx < 0 || gy < 0 || gx >= grid->width || gy >= grid->height) {
        if (value) grid->cells_outside += 1;
        continue;
      }
      uint8_t& cell = grid->cells[static_cast<size_t>(gy) * grid->width + gx];
      if (value > cell) cell = value;
    }
  }
}

int32_t length_of(const char16_t* text) {
  int32_t n = 0;
  while (text[n]) ++n;
  return n;
}

// Holds a font for one test and gives it back.
struct FontHolder {
  FPlatformFont* font;
  FontHolder(int32_t height, const char16_t* face, uint32_t style)
      : font(fplatform_font_create(height, face, style)) {}
  ~FontHolder() { fplatform_font_destroy(font); }
};

TEST(WinsGraphicsText, Utf16WalkJoinsPairsAndReplacesLoneSurrogates) {
  const char16_t text[] = {u'A', 0xD83D, 0xDE00, 0xD800, u'B', 0xDC00, 0xD801};
  int32_t index = 0;
  EXPECT_EQ(wins_graphics_next_code_point(text, 7, &index), 0x41u);
  EXPECT_EQ(index, 1);
  EXPECT_EQ(wins_graphics_next_code_point(text, 7, &index), 0x1F600u);
  EXPECT_EQ(index, 3);
  // A high surrogate followed by a plain character stands alone.
  EXPECT_EQ(wins_graphics_next_code_point(text, 7, &index), 0xFFFDu);
  EXPECT_EQ(index, 4);
  EXPECT_EQ(wins_graphics_next_code_point(text, 7, &index), 0x42u);
  // A low surrogate without its high half.
  EXPECT_EQ(wins_graphics_next_code_point(text, 7, &index), 0xFFFDu);
  EXPECT_EQ(index, 6);
  // A high surrogate as the last unit does not read past the length.
  EXPECT_EQ(wins_graphics_next_code_point(text, 7, &index), 0xFFFDu);
  EXPECT_EQ(index, 7);
  // The pair's high half at the end of a shorter length is cut off as well.
  index = 1;
  EXPECT_EQ(wins_graphics_next_code_point(text, 2, &index), 0xFFFDu);
  EXPECT_EQ(index, 2);
}

TEST(WinsGraphicsText, MissingFamiliesResolveToTheSansDefault) {
  FontHolder none(32, nullptr, 0);
  FontHolder empty(32, u"", 0);
  FontHolder missing(32, u"No Such Family Anywhere 1234", 0);
  FontHolder tahoma(32, u"tahoma", 0);
  ASSERT_NE(none.font, nullptr);
  ASSERT_NE(empty.font, nullptr);
  ASSERT_NE(missing.font, nullptr);
  ASSERT_NE(tahoma.font, nullptr);
  EXPECT_GT(std::strlen(wins_graphics_font_file(none.font)), 0u);
  EXPECT_STREQ(wins_graphics_font_file(none.font), wins_graphics_font_file(empty.font));
  EXPECT_STREQ(wins_graphics_font_file(none.font), wins_graphics_font_file(missing.font));
  // Sizes out of range are brought into it rather than refused.
  FontHolder zero(0, nullptr, 0);
  FontHolder negative(-20, nullptr, 0);
  FontHolder huge(1 << 30, nullptr, 0);
  EXPECT_NE(zero.font, nullptr);
  EXPECT_NE(negative.font, nullptr);
  EXPECT_NE(huge.font, nullptr);
}

TEST(WinsGraphicsText, MetricsAreSaneAndScaleWithTheHeight) {
  FontHolder small(16, u"tahoma", 0);
  FontHolder large(64, u"tahoma", 0);
  ASSERT_NE(small.font, nullptr);
  ASSERT_NE(large.font, nullptr);
  FFontMetrics s{};
  FFontMetrics l{};
  fplatform_font_metrics(small.font, &s);
  fplatform_font_metrics(large.font, &l);
  EXPECT_GT(s.ascent, 0);
  EXPECT_GT(s.descent, 0);
  EXPECT_EQ(s.height, s.ascent + s.descent);
  EXPECT_EQ(l.height, l.ascent + l.descent);
  // The cell is at least the em height and not absurdly taller.
  EXPECT_GE(s.height, 16);
  EXPECT_LE(s.height, 32);
  EXPECT_GE(l.height, 4 * s.height - 8);
  EXPECT_LE(l.height, 4 * s.height + 8);
  int32_t small_width = fplatform_font_text_width(small.font, u"Hello", 5);
  int32_t large_width = fplatform_font_text_width(large.font, u"Hello", 5);
  EXPECT_GE(large_width, 4 * small_width - 10);
  EXPECT_LE(large_width, 4 * small_width + 10);
}

TEST(WinsGraphicsText, WidthsGrowAndFitIsMonotone) {
  FontHolder holder(32, u"tahoma", 0);
  FPlatformFont* font = holder.font;
  ASSERT_NE(font, nullptr);
  const char16_t* text = u"Hello, world";
  int32_t length = length_of(text);

  EXPECT_EQ(fplatform_font_text_width(font, text, 0), 0);
  EXPECT_EQ(fplatform_font_text_width(font, nullptr, 0), 0);
  EXPECT_EQ(fplatform_font_text_width(font, nullptr, 5), 0);
  EXPECT_EQ(fplatform_font_text_width(font, text, -3), 0);
  int32_t previous = 0;
  for (int32_t n = 1; n <= length; ++n) {
    int32_t width = fplatform_font_text_width(font, text, n);
    EXPECT_GT(width, previous) << "prefix " << n;
    previous = width;
  }
  int32_t full = previous;

  EXPECT_EQ(fplatform_font_text_fit(font, text, length, full), length);
  EXPECT_EQ(fplatform_font_text_fit(font, text, length, full + 100), length);
  EXPECT_EQ(fplatform_font_text_fit(font, text, length, full - 1), length - 1);
  EXPECT_EQ(fplatform_font_text_fit(font, text, length, 0), 0);
  EXPECT_EQ(fplatform_font_text_fit(font, text, length, -5), 0);
  EXPECT_EQ(fplatform_font_text_fit(font, text, 0, 1000), 0);
  EXPECT_EQ(fplatform_font_text_fit(font, nullptr, 0, 1000), 0);
  EXPECT_EQ(fplatform_font_text_fit(font, text, -1, 1000), 0);
  int32_t last_fit = 0;
  for (int32_t max_width = 0; max_width <= full + 2; ++max_width) {
    int32_t fit = fplatform_font_text_fit(font, text, length, max_width);
    EXPECT_GE(fit, last_fit) << "max width " << max_width;
    // What fits is never wider than the limit, and one more character would not fit.
    EXPECT_LE(fplatform_font_text_width(font, text, fit), max_width);
    if (fit < length) {
      EXPECT_GT(fplatform_font_text_width(font, text, fit + 1), max_width);
    }
    last_fit = fit;
  }
}

TEST(WinsGraphicsText, SurrogatePairsAndMissingCharactersAreSafe) {
  FontHolder holder(32, u"tahoma", 0);
  FPlatformFont* font = holder.font;
  ASSERT_NE(font, nullptr);
  // 'a', a pair (mathematical bold A, outside the basic plane), 'b'.
  const char16_t pair_text[] = {u'a', 0xD835, 0xDC00, u'b', 0};
  int32_t full = fplatform_font_text_width(font, pair_text, 4);
  int32_t a_width = fplatform_font_text_width(font, pair_text, 1);
  EXPECT_GT(full, a_width);
  for (int32_t max_width = 0; max_width <= full; ++max_width) {
    EXPECT_NE(fplatform_font_text_fit(font, pair_text, 4, max_width), 2) << max_width;
  }
  EXPECT_EQ(fplatform_font_text_fit(font, pair_text, 4, full), 4);
  // Cutting the length inside the pair leaves a lone high surrogate: a replacement glyph.
  EXPECT_GT(fplatform_font_text_width(font, pair_text, 2), a_width);

  const char16_t lone[] = {0xD800, u'x', 0xDC00, 0xDBFF, 0};
  const char16_t* cjk = u"\u4E2D\u6587";
  InkGrid grid(400, 80);
  fplatform_font_render(font, lone, 4, 2, 2, ink_grid_sink, &grid);
  fplatform_font_render(font, cjk, 2, 2, 40, ink_grid_sink, &grid);
  fplatform_font_render(font, pair_text, 4, 200, 2, ink_grid_sink, &grid);
  fplatform_font_render(font, nullptr, 0, 0, 0, ink_grid_sink, &grid);
  fplatform_font_render(font, pair_text, -4, 0, 0, ink_grid_sink, &grid);
  fplatform_font_render(font, pair_text, 4, 0, 0, nullptr, nullptr);
  EXPECT_GT(fplatform_font_text_width(font, lone, 4), 0);
  EXPECT_GT(fplatform_font_text_width(font, cjk, 2), 0);
  EXPECT_GT(grid.total(), 0);
  EXPECT_FALSE(grid.bad_pitch);
}

TEST(WinsGraphicsText, CharactersThePrimaryLacksComeFromAFallbackFace) {
  // Mathematical bold capital A lives in the serif and math faces of the installed
  // family, not in its sans face: it has to be found through the sorted candidates. A
  // size no other test uses keeps the cached glyphs of other tests out of the count.
  FontHolder holder(37, u"tahoma", 0);
  ASSERT_NE(holder.font, nullptr);
  const char16_t text[] = {0xD835, 0xDC00};
  int32_t before = wins_graphics_fallback_glyph_count(holder.font);
  InkGrid grid(80, 80);
  fplatform_font_render(holder.font, text, 2, 10, 10, ink_grid_sink, &grid);
  EXPECT_EQ(wins_graphics_fallback_glyph_count(holder.font), before + 1);
  EXPECT_GT(grid.count_between(255, 255), 0);
  // The glyph is cached: drawing it again does not search again.
  fplatform_font_render(holder.font, text, 2, 10, 10, ink_grid_sink, &grid);
  EXPECT_EQ(wins_graphics_fallback_glyph_count(holder.font), before + 1);
}

TEST(WinsGraphicsText, RenderingGivesAntialiasedInkInsideTheCell) {
  FontHolder holder(32, u"tahoma", 0);
  FPlatformFont* font = holder.font;
  ASSERT_NE(font, nullptr);
  FFontMetrics metrics{};
  fplatform_font_metrics(font, &metrics);
  const char16_t* text = u"Hello";
  int32_t width = fplatform_font_text_width(font, text, 5);
  InkGrid grid(width + 40, metrics.height + 40);
  const int32_t x = 20;
  const int32_t y = 20;
  fplatform_font_render(font, text, 5, x, y, ink_grid_sink, &grid);
  EXPECT_FALSE(grid.bad_pitch);
  EXPECT_EQ(grid.cells_outside, 0);
  EXPECT_GE(grid.pieces, 5);
  EXPECT_GT(grid.count_between(255, 255), 0);  // solid stems
  EXPECT_GT(grid.count_between(1, 254), 0);    // smoothed edges
  // Ink stays in the cell: nothing above its top or below its bottom, nothing left of the
  // start, and nothing past the advance width but a pixel of overhang.
  for (int32_t gy = 0; gy < grid.height; ++gy) {
    for (int32_t gx = 0; gx < grid.width; ++gx) {
      if (!grid.at(gx, gy)) continue;
      EXPECT_GE(gy, y);
      EXPECT_LT(gy, y + metrics.height);
      EXPECT_GE(gx, x);
      EXPECT_LE(gx, x + width + 1);
    }
  }
  // The baseline sits ascent pixels below the top: 'H' stands on it, so the row just
  // above the baseline has ink and the rows below it (no descenders in "Hello") have none.
  int32_t baseline = y + metrics.ascent;
  int32_t on_row = 0;
  int32_t below = 0;
  for (int32_t gx = 0; gx < grid.width; ++gx) {
    on_row += grid.at(gx, baseline - 1) > 128 ? 1 : 0;
    for (int32_t gy = baseline + 1; gy < grid.height; ++gy) below += grid.at(gx, gy) ? 1 : 0;
  }
  EXPECT_GT(on_row, 0);
  EXPECT_EQ(below, 0);
}

TEST(WinsGraphicsText, BoldInksMoreAndItalicLeans) {
  FontHolder regular(32, u"tahoma", 0);
  FontHolder bold(32, u"tahoma", FFONT_BOLD);
  FontHolder italic(32, u"tahoma", FFONT_ITALIC);
  ASSERT_NE(regular.font, nullptr);
  ASSERT_NE(bold.font, nullptr);
  ASSERT_NE(italic.font, nullptr);
  const char16_t* text = u"Illumination";
  int32_t length = length_of(text);
  InkGrid r(600, 80);
  InkGrid b(600, 80);
  InkGrid i(600, 80);
  fplatform_font_render(regular.font, text, length, 4, 4, ink_grid_sink, &r);
  fplatform_font_render(bold.font, text, length, 4, 4, ink_grid_sink, &b);
  fplatform_font_render(italic.font, text, length, 4, 4, ink_grid_sink, &i);
  EXPECT_GT(b.total(), r.total() * 11 / 10);
  EXPECT_GT(fplatform_font_text_width(bold.font, text, length),
            fplatform_font_text_width(regular.font, text, length));
  // An upright 'I' has its top and bottom ink in the same columns; a leaning one has its
  // top further right than its bottom.
  auto first_ink_column = [](const InkGrid& grid, int32_t row) {
    for (int32_t x = 0; x < grid.width; ++x) {
      if (grid.at(x, row) > 128) return x;
    }
    return -1;
  };
  FFontMetrics m{};
  fplatform_font_metrics(regular.font, &m);
  int32_t top_row = 4 + m.ascent - 20;
  int32_t bottom_row = 4 + m.ascent - 2;
  EXPECT_EQ(first_ink_column(r, top_row), first_ink_column(r, bottom_row));
  EXPECT_GT(first_ink_column(i, top_row), first_ink_column(i, bottom_row));
}

TEST(WinsGraphicsText, UnderlineAndStrikeOutAreFullBarsAcrossTheText) {
  FontHolder plain(32, u"tahoma", 0);
  FontHolder lined(32, u"tahoma", FFONT_UNDERLINE);
  FontHolder struck(32, u"tahoma", FFONT_STRIKEOUT);
  ASSERT_NE(plain.font, nullptr);
  ASSERT_NE(lined.font, nullptr);
  ASSERT_NE(struck.font, nullptr);
  FFontMetrics m{};
  fplatform_font_metrics(plain.font, &m);
  // The space guarantees a gap in every row of the plain rendering.
  const char16_t* text = u"H H";
  int32_t width = fplatform_font_text_width(plain.font, text, 3);
  EXPECT_EQ(fplatform_font_text_width(lined.font, text, 3), width);
  const int32_t x = 10;
  const int32_t y = 10;
  int32_t baseline = y + m.ascent;
  auto full_rows = [&](FPlatformFont* font, int32_t* first) {
    InkGrid grid(width + 20, m.height + 20);
    fplatform_font_render(font, text, 3, x, y, ink_grid_sink, &grid);
    int32_t count = 0;
    *first = -1;
    for (int32_t row = 0; row < grid.height; ++row) {
      if (grid.full_row(row, x, x + width - 1)) {
        if (*first < 0) *first = row;
        ++count;
      }
    }
    return count;
  };
  int32_t first = -1;
  EXPECT_EQ(full_rows(plain.font, &first), 0);
  EXPECT_GT(full_rows(lined.font, &first), 0);
  EXPECT_GT(first, baseline - 1);
  EXPECT_LT(first, y + m.height);
  EXPECT_GT(full_rows(struck.font, &first), 0);
  EXPECT_LT(first, baseline);
  EXPECT_GT(first, y);
}

TEST(WinsGraphicsText, ResolvedFontsAreSharedAndTheCacheCanBeReleased) {
  FPlatformFont* a = fplatform_font_create(24, u"tahoma", 0);
  FPlatformFont* b = fplatform_font_create(24, u"tahoma", FFONT_UNDERLINE);
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_STREQ(wins_graphics_font_file(a), wins_graphics_font_file(b));
  FFontMetrics ma{};
  FFontMetrics mb{};
  fplatform_font_metrics(a, &ma);
  fplatform_font_metrics(b, &mb);
  EXPECT_EQ(ma.height, mb.height);
  int32_t width = fplatform_font_text_width(a, u"cache", 5);
  // Releasing while a font is held keeps that font working.
  wins_graphics_release_cache();
  EXPECT_EQ(fplatform_font_text_width(a, u"cache", 5), width);
  fplatform_font_destroy(a);
  fplatform_font_destroy(b);
  fplatform_font_destroy(nullptr);
  wins_graphics_release_cache();
  // A font made after a full release starts a new library and measures the same.
  FPlatformFont* again = fplatform_font_create(24, u"tahoma", 0);
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(fplatform_font_text_width(again, u"cache", 5), width);
  fplatform_font_destroy(again);
  wins_graphics_release_cache();
}

TEST(WinsGraphicsTextDeathTest, NullFontIsAProgrammingError) {
  EXPECT_EXIT(fplatform_font_text_width(nullptr, u"x", 1), testing::ExitedWithCode(255),
              "font!=null");
}

}  // namespace
