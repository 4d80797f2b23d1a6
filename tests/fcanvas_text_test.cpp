// Tests of the canvas's text contexts. The glyph shapes come from the installed fonts, so
// each test first renders its text through the platform rasteriser into a reference
// coverage grid and then asserts every pixel of the canvas against the blend that coverage
// calls for: exact bytes without depending on a font version.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "fbitmap.h"
#include "fcanvas.h"
#include "fplatform.h"

namespace {

constexpr int32_t kWidth = 160, kHeight = 56;
const char16_t kHello[] = u"Hello";

// A canvas of the test size with its own white bitmap (negative height = top-down rows).
struct TestCanvas {
  FCanvas canvas{};
  explicit TestCanvas(int32_t bpp, int32_t height = -kHeight) {
    EXPECT_EQ(fcanvas_create(&canvas, nullptr, bpp, kWidth, height), 1);
  }
  ~TestCanvas() { fcanvas_release(&canvas); }
  FCanvas* get() { return &canvas; }
};

// Reference coverage: the rasteriser's pieces blended one after the other, as a white pen
// on black does it, into a grid the size of the test canvases.
struct Coverage {
  std::vector<uint8_t> cells = std::vector<uint8_t>(static_cast<size_t>(kWidth) * kHeight, 0);
  uint32_t at(int32_t x, int32_t y) const { return cells[static_cast<size_t>(y) * kWidth + x]; }
};

void coverage_sink(void* context, int32_t x, int32_t y, const uint8_t* coverage, int32_t width,
                   int32_t height, int32_t pitch) {
  auto* grid = static_cast<Coverage*>(context);
  for (int32_t r = 0; r < height; ++r) {
    for (int32_t c = 0; c < width; ++c) {
      if (x + c < 0 || y + r < 0 || x + c >= kWidth || y + r >= kHeight) continue;
      uint32_t value = coverage[static_cast<size_t>(r) * pitch + c];
      uint8_t& cell = grid->cells[static_cast<size_t>(y + r) * kWidth + x + c];
      cell = static_cast<uint8_t>((255 * value + cell * (255 - value) + 127) / 255);
    }
  }
}

int32_t pixel_height_of(int32_t points) { return points * fplatform_text_dpi() / 72; }

// The text must give both solid and smoothed pixels for the blends to be tested.
Coverage reference_coverage(const char16_t* text, int32_t length, FPoint at, int32_t points = 12,
                            uint32_t style = 0) {
  Coverage grid;
  FPlatformFont* font = fplatform_font_create(pixel_height_of(points), u"tahoma", style);
  EXPECT_NE(font, nullptr);
  if (font) fplatform_font_render(font, text, length, at.x, at.y, coverage_sink, &grid);
  fplatform_font_destroy(font);
  const auto& cells = grid.cells;
  EXPECT_TRUE(std::count(cells.begin(), cells.end(), 255) > 0 &&
              std::count_if(cells.begin(), cells.end(), [](uint8_t c) { return c % 255; }) > 0);
  return grid;
}

// A clip (set reversed) that cuts through the ink of a text drawn at (6, 4) on every side.
constexpr FRect kCut{40, 20, 150, 50};
void set_cut(FCanvas* canvas) {
  const FRect reversed{kCut.right, kCut.bottom, kCut.left, kCut.top};
  fcanvas_set_clip(canvas, &reversed);
}
bool in_cut(int32_t x, int32_t y) {
  return x >= kCut.left && x <= kCut.right && y >= kCut.top && y <= kCut.bottom;
}

uint8_t blend_exact(uint32_t ink, uint32_t old, uint32_t c) {
  return static_cast<uint8_t>((ink * c + old * (255 - c) + 127) / 255);
}

// The masked blit's weight for a mask byte at an opacity below 255.
uint32_t masked_alpha(uint32_t m, uint32_t opacity) {
  return static_cast<uint32_t>(static_cast<float>(m) *
                               (static_cast<float>(opacity) * 0.003921569f));
}

std::vector<uint8_t> rgb565_bytes(uint32_t r5, uint32_t g6, uint32_t b5) {
  const uint32_t v = r5 << 11 | g6 << 5 | b5;
  return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)};
}

// The first pixel whose leading bytes differ from expected(x, y), or "" when all match.
std::string first_mismatch(const FBitmap* bitmap,
                           const std::function<std::vector<uint8_t>(int32_t, int32_t)>& expected) {
  for (int32_t y = 0; y < kHeight; ++y) {
    for (int32_t x = 0; x < kWidth; ++x) {
      const std::vector<uint8_t> want = expected(x, y);
      const uint8_t* got = fbitmap_pixel_address(bitmap, x, y);
      if (!std::equal(want.begin(), want.end(), got))
        return std::to_string(x) + "," + std::to_string(y) + ": " + std::to_string(got[0]);
    }
  }
  return "";
}

TEST(FcanvasText, DirectModeBlendsThePenByCoverageExactly) {
  // Surrogate pairs, lone surrogates and a CJK character go through the same exact path.
  const char16_t mixed[] = {u'a', 0xD835, 0xDC00, 0x4E2D, 0xD800, u'b', 0xDC00, 0xDBFF};
  const FPoint at{6, 4};
  // 32 bpp top-down, 24 bpp bottom-up and clipped, RGB565 top-down.
  for (auto [bpp, height] : {std::pair{32, -kHeight}, {24, kHeight}, {16, -kHeight}}) {
    const bool hello = bpp != 24, clipped = bpp == 24;
    const Coverage coverage = reference_coverage(hello ? kHello : mixed, hello ? 5 : 8, at);
    TestCanvas canvas(bpp, height);
    // A zero fourth byte shows which pixels the text marks opaque.
    for (int32_t y = 0; bpp == 32 && y < kHeight; ++y)
      for (int32_t x = 0; x < kWidth; ++x) fbitmap_pixel_address(canvas.canvas.bitmap, x, y)[3] = 0;
    fcanvas_set_pen_color(canvas.get(), fcolor_make(0xE0, 0x30, 0x90, 255));
    if (clipped) set_cut(canvas.get());
    FTextContext* text = fcanvas_begin_text(canvas.get());
    fcanvas_text_out(canvas.get(), text, at, hello ? kHello : mixed, hello ? 5 : 8);
    // The context's copy replaces the pixels at the end: drawing meanwhile is lost.
    fbitmap_fill_rect(canvas.canvas.bitmap, 100, 40, 120, 50, 0xFF00FF00u);
    EXPECT_EQ(fcanvas_end_text(canvas.get(), text), 1);
    // White widens to 255 in every channel; RGB565 packs the blend back by truncation.
    EXPECT_EQ(first_mismatch(canvas.canvas.bitmap, [&](int32_t x, int32_t y) {
                const uint32_t c = clipped && !in_cut(x, y) ? 0 : coverage.at(x, y);
                const uint8_t r = blend_exact(0xE0, 255, c), g = blend_exact(0x30, 255, c),
                              b = blend_exact(0x90, 255, c);
                if (bpp == 16) return rgb565_bytes(r >> 3, g >> 2, b >> 3);
                if (bpp == 24) return std::vector<uint8_t>{b, g, r};
                return std::vector<uint8_t>{b, g, r, static_cast<uint8_t>(c ? 0xFF : 0)};
              }), "") << bpp << " bpp";
  }
}

TEST(FcanvasText, MaskModeBlendsATranslucentPenThroughTheLuminance) {
  const FPoint at{6, 4};
  const Coverage coverage = reference_coverage(kHello, 5, at);
  // 32 bpp top-down and clipped, RGB565 bottom-up. White on black gives a grey equal to
  // the coverage; RGB565 holds it as the fields c >> 3, c >> 2, c >> 3, and the mask
  // weighs them as ((G6 << 2) * 151 + R5 * 616 + B5 * 224) >> 8.
  for (auto [bpp, height] : {std::pair{32, -kHeight}, std::pair{16, kHeight}}) {
    TestCanvas canvas(bpp, height);
    fcanvas_set_pen_color(canvas.get(), fcolor_make(0, 0, 0, 128));
    if (bpp == 32) set_cut(canvas.get());
    FTextContext* text = fcanvas_begin_text(canvas.get());
    fcanvas_text_out(canvas.get(), text, at, kHello, 5);
    EXPECT_EQ(fcanvas_end_text(canvas.get(), text), 1);
    EXPECT_EQ(first_mismatch(canvas.canvas.bitmap, [&](int32_t x, int32_t y) {
                const uint32_t c = bpp == 32 && !in_cut(x, y) ? 0 : coverage.at(x, y);
                const uint32_t m =
                    bpp == 32 ? c : (((c >> 2) << 2) * 151 + (c >> 3) * 616 + (c >> 3) * 224) >> 8;
                if (m == 0) return std::vector<uint8_t>(bpp == 16 ? 2 : 3, 0xFF);  // untouched
                const uint32_t keep = 255 - masked_alpha(m, 128);
                if (bpp == 16)
                  return rgb565_bytes((31 * keep) >> 8, (63 * keep) >> 8, (31 * keep) >> 8);
                const auto v = static_cast<uint8_t>((255 * keep) >> 8);
                return std::vector<uint8_t>{v, v, v};
              }), "") << bpp << " bpp";
  }
}

TEST(FcanvasText, InvisiblePensAndOffCanvasTextDrawNothing) {
  // Pen none in both modes and a fully transparent pen draw nothing at all; visible pens
  // draw nothing for text off the coordinate range, off the canvas, or without units.
  const std::pair<uint32_t, FColor> pens[] = {{FPEN_NONE, 0xFF000000u}, {FPEN_NONE, 0x64000000u},
                                              {FPEN_SOLID, 0x00FF0000u}, {FPEN_SOLID, 0xFF000000u},
                                              {FPEN_SOLID, 0x64000000u}};
  for (auto [style, pen] : pens) {
    TestCanvas canvas(32);
    fcanvas_set_pen(canvas.get(), style, 1, pen);
    FTextContext* text = fcanvas_begin_text(canvas.get());
    if (style == FPEN_NONE || fcolor_alpha(pen) == 0)
      fcanvas_text_out(canvas.get(), text, FPoint{4, 4}, kHello, 5);
    for (FPoint far : {FPoint{INT32_MAX - 3, INT32_MAX - 3}, FPoint{INT32_MIN + 3, INT32_MIN + 3},
                       FPoint{-5000, 10}})
      fcanvas_text_out(canvas.get(), text, far, kHello, 5);
    for (int32_t length : {0, -2})
      fcanvas_text_out(canvas.get(), text, FPoint{4, 4}, kHello, length);
    fcanvas_text_out(canvas.get(), text, FPoint{4, 4}, nullptr, 5);
    EXPECT_EQ(fcanvas_end_text(canvas.get(), text), 1);
    EXPECT_EQ(first_mismatch(canvas.canvas.bitmap, [](int32_t, int32_t) {
                return std::vector<uint8_t>{0xFF, 0xFF, 0xFF};
              }), "") << "style " << style << ", pen " << pen;
  }
}

TEST(FcanvasText, MetricsAndFitsAreThoseOfTheCanvasFont) {
  TestCanvas canvas(32);
  FCanvas* c = canvas.get();
  FTextContext* dc = fcanvas_begin_text(c);
  ASSERT_NE(dc, nullptr);
  // The canvas font in points becomes the platform font in pixels at the text resolution,
  // first the default 12 pt, then 24 pt bold through a change of font.
  for (auto [points, style] : {std::pair{12, 0u}, std::pair{24, uint32_t{FFONT_BOLD}}}) {
    if (points == 24) {
      ASSERT_EQ(fcanvas_change_font(c, dc, 24, u"", fcolor_make(255, 0, 0, 255), style), 1);
    }
    FPlatformFont* font = fplatform_font_create(pixel_height_of(points), u"tahoma", style);
    ASSERT_NE(font, nullptr);
    FFontMetrics m{};
    fplatform_font_metrics(font, &m);
    EXPECT_TRUE(fcanvas_text_height(c, dc) == m.height &&
                fcanvas_text_ascent(c, dc) == m.ascent &&
                fcanvas_text_descent(c, dc) == m.descent) << points;
    const int32_t full = fplatform_font_text_width(font, kHello, 5);
    EXPECT_EQ(fcanvas_text_width(c, dc, kHello, 5), full);
    for (int32_t w = -1; w <= full + 1; w += 3)
      EXPECT_EQ(fcanvas_text_fit(c, dc, kHello, 5, w), fplatform_font_text_fit(font, kHello, 5, w));
    fplatform_font_destroy(font);
  }

  // The new colour, size and style draw the text.
  const Coverage coverage = reference_coverage(u"l", 1, FPoint{0, 0}, 24, FFONT_BOLD);
  fcanvas_text_out(c, dc, FPoint{0, 0}, u"l", 1);
  EXPECT_EQ(fcanvas_end_text(c, dc), 1);
  EXPECT_EQ(first_mismatch(canvas.canvas.bitmap, [&](int32_t x, int32_t y) {
              const uint8_t fade = blend_exact(0, 255, coverage.at(x, y));
              return std::vector<uint8_t>{fade, fade, 255};
            }), "");
}

TEST(FcanvasText, RefusedOrMissingContextsDoNothing) {
  // Palette canvases are refused.
  TestCanvas palette(8);
  EXPECT_EQ(fcanvas_begin_text(palette.get()), nullptr);

  // Every text call without a context returns 0 and changes nothing.
  TestCanvas canvas(32);
  FCanvas* c = canvas.get();
  const int32_t results[] = {
      fcanvas_text_out(c, nullptr, FPoint{0, 0}, kHello, 5), fcanvas_end_text(c, nullptr),
      fcanvas_change_font(c, nullptr, 30, u"x", 0xFF00FF00u, FFONT_BOLD),
      fcanvas_text_height(c, nullptr), fcanvas_text_ascent(c, nullptr),
      fcanvas_text_descent(c, nullptr), fcanvas_text_width(c, nullptr, kHello, 5),
      fcanvas_text_fit(c, nullptr, kHello, 5, 100)};
  for (int32_t result : results) EXPECT_EQ(result, 0);

  // One context at a time per canvas.
  FTextContext* first = fcanvas_begin_text(c);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(fcanvas_begin_text(c), nullptr);
  EXPECT_EQ(fcanvas_end_text(c, first), 1);
  EXPECT_NE(fcanvas_begin_text(c), nullptr);
  // Releasing a canvas closes a context left open (the sanitizer build sees a leak).
  fcanvas_release(c);
  EXPECT_EQ(c->text_dc, nullptr);
}

}  // namespace
