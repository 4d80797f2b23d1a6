// Tests of the canvas's text contexts. The glyph shapes come from the installed fonts, so
// each test first renders its text through the platform rasteriser into a reference
// coverage grid and then asserts every pixel of the canvas against the blend that coverage
// calls for: exact bytes without depending on a font version.

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <vector>

#include "fbitmap.h"
#include "fcanvas.h"
#include "fplatform.h"

namespace {

constexpr int32_t kWidth = 160;
constexpr int32_t kHeight = 56;
const char16_t kHello[] = u"Hello";
constexpr int32_t kHelloLength = 5;

// A canvas with its own bitmap, released at the end of the test.
struct TestCanvas {
  FCanvas canvas{};
  TestCanvas(int32_t bpp, int32_t width, int32_t height) {
    EXPECT_EQ(fcanvas_create(&canvas, nullptr, bpp, width, height), 1);
  }
  ~TestCanvas() { fcanvas_release(&canvas); }
  FBitmap* bitmap() { return canvas.bitmap; }
  std::vector<uint8_t> bytes() const {
    const FBitmap* b = canvas.bitmap;
    return std::vector<uint8_t>(b->pixels, b->pixels + fbitmap_get_size_image(b));
  }
};

// Reference coverage: the rasteriser's pieces blended one after the other, as a white
// pen on black does it, into a grid the size of the test canvases.
struct Coverage {
  std::vector<uint8_t> cells = std::vector<uint8_t>(static_cast<size_t>(kWidth) * kHeight, 0);
  uint8_t at(int32_t x, int32_t y) const { return cells[static_cast<size_t>(y) * kWidth + x]; }
  int32_t count_between(int lo, int hi) const {
    int32_t n = 0;
    for (uint8_t c : cells) n += (c >= lo && c <= hi) ? 1 : 0;
    return n;
  }
  int64_t total() const {
    int64_t sum = 0;
    for (uint8_t c : cells) sum += c;
    return sum;
  }
};

void coverage_sink(void* context, int32_t x, int32_t y, const uint8_t* coverage, int32_t width,
                   int32_t height, int32_t pitch) {
  auto* grid = static_cast<Coverage*>(context);
  for (int32_t r = 0; r < height; ++r) {
    for (int32_t c = 0; c < width; ++c) {
      int32_t gx = x + c;
      int32_t gy = y + r;
      if (gx < 0 || gy < 0 || gx >= kWidth || gy >= kHeight) continue;
      uint32_t value = coverage[static_cast<size_t>(r) * pitch + c];
      uint8_t& cell = grid->cells[static_cast<size_t>(gy) * kWidth + gx];
      cell = static_cast<uint8_t>((255 * value + cell * (255 - value) + 127) / 255);
    }
  }
}

int32_t pixel_height_of(int32_t points) { return points * fplatform_text_dpi() / 72; }

Coverage reference_coverage(const char16_t* text, int32_t length, FPoint at, int32_t points,
                            uint32_t style) {
  Coverage grid;
  FPlatformFont* font = fplatform_font_create(pixel_height_of(points), u"tahoma", style);
  EXPECT_NE(font, nullptr);
  if (font) {
    fplatform_font_render(font, text, length, at.x, at.y, coverage_sink, &grid);
    fplatform_font_destroy(font);
  }
  return grid;
}

// Draws one text in one context with the canvas's current pen and font.
void draw_text(FCanvas* canvas, const char16_t* text, int32_t length, FPoint at) {
  FTextContext* context = fcanvas_begin_text(canvas);
  ASSERT_NE(context, nullptr);
  EXPECT_EQ(fcanvas_text_out(canvas, context, at, text, length), 1);
  EXPECT_EQ(fcanvas_end_text(canvas, context), 1);
}

uint8_t blend_exact(uint32_t ink, uint32_t old, uint32_t c) {
  return static_cast<uint8_t>((ink * c + old * (255 - c) + 127) / 255);
}

// The masked blit's weight for a mask byte at an opacity below 255.
uint32_t masked_alpha(uint32_t m, uint32_t opacity) {
  return static_cast<uint32_t>(static_cast<float>(m) *
                               (static_cast<float>(opacity) * 0.003921569f));
}

uint16_t pixel16(const FBitmap* bitmap, int32_t x, int32_t y) {
  const uint8_t* p = fbitmap_pixel_address(bitmap, x, y);
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

TEST(FcanvasText, DirectModeBlendsThePenByCoverageExactly) {
  const FPoint at{6, 4};
  Coverage coverage = reference_coverage(kHello, kHelloLength, at, 12, 0);
  ASSERT_GT(coverage.count_between(255, 255), 0);
  ASSERT_GT(coverage.count_between(1, 254), 0);

  // White on black reproduces the coverage itself.
  {
    TestCanvas black(32, kWidth, -kHeight);
    fbitmap_fill_rect(black.bitmap(), 0, 0, kWidth - 1, kHeight - 1, 0xFF000000u);
    fcanvas_set_pen_color(&black.canvas, 0xFFFFFFFFu);
    draw_text(&black.canvas, kHello, kHelloLength, at);
    for (int32_t y = 0; y < kHeight; ++y) {
      for (int32_t x = 0; x < kWidth; ++x) {
        uint8_t rgba[4];
        fbitmap_get_rgba(black.bitmap(), x, y, rgba);
        ASSERT_EQ(rgba[0], coverage.at(x, y)) << x << "," << y;
        ASSERT_EQ(rgba[1], coverage.at(x, y));
        ASSERT_EQ(rgba[2], coverage.at(x, y));
      }
    }
  }

  // A coloured pen on white: full coverage is exactly the pen, edges lie in between, and
  // the fourth byte of inked pixels is opaque.
  TestCanvas canvas(32, kWidth, -kHeight);
  std::memset(canvas.bitmap()->pixels, 0xFF, fbitmap_get_size_image(canvas.bitmap()));
  for (int32_t y = 0; y < kHeight; ++y) {
    for (int32_t x = 0; x < kWidth; ++x) fbitmap_pixel_address(canvas.bitmap(), x, y)[3] = 0;
  }
  const FColor pen = fcolor_make(0x20, 0x40, 0xC0, 255);
  fcanvas_set_pen_color(&canvas.canvas, pen);
  FTextContext* context = fcanvas_begin_text(&canvas.canvas);
  ASSERT_NE(context, nullptr);
  EXPECT_EQ(canvas.canvas.text_dc, context);
  std::vector<uint8_t> before = canvas.bytes();
  fcanvas_text_out(&canvas.canvas, context, at, kHello, kHelloLength);
  // The text waits in the context's pixels; the bitmap is untouched until the end.
  EXPECT_EQ(canvas.bytes(), before);
  EXPECT_EQ(fcanvas_end_text(&canvas.canvas, context), 1);
  EXPECT_EQ(canvas.canvas.text_dc, nullptr);
  int32_t exact_pen = 0;
  for (int32_t y = 0; y < kHeight; ++y) {
    for (int32_t x = 0; x < kWidth; ++x) {
      uint8_t c = coverage.at(x, y);
      const uint8_t* p = fbitmap_pixel_address(canvas.bitmap(), x, y);
      ASSERT_EQ(p[0], blend_exact(0xC0, 255, c)) << x << "," << y;
      ASSERT_EQ(p[1], blend_exact(0x40, 255, c));
      ASSERT_EQ(p[2], blend_exact(0x20, 255, c));
      ASSERT_EQ(p[3], c ? 0xFF : 0);
      exact_pen += (p[0] == 0xC0 && p[1] == 0x40 && p[2] == 0x20) ? 1 : 0;
    }
  }
  EXPECT_GE(exact_pen, coverage.count_between(255, 255));
}

TEST(FcanvasText, DirectModeWritesTheWholeCopyBack) {
  // Drawing into the bitmap while a context is open is lost when it ends: the context's
  // copy replaces the pixels.
  TestCanvas canvas(24, kWidth, kHeight);
  FTextContext* context = fcanvas_begin_text(&canvas.canvas);
  ASSERT_NE(context, nullptr);
  fbitmap_fill_rect(canvas.bitmap(), 100, 40, 120, 50, 0xFF00FF00u);
  EXPECT_EQ(fcanvas_end_text(&canvas.canvas, context), 1);
  uint8_t rgba[4];
  fbitmap_get_rgba(canvas.bitmap(), 110, 45, rgba);
  EXPECT_EQ(rgba[0], 0xFF);
  EXPECT_EQ(rgba[1], 0xFF);
  EXPECT_EQ(rgba[2], 0xFF);
}

TEST(FcanvasText, MaskModeBlendsATranslucentPenThroughTheLuminance) {
  const FPoint at{6, 4};
  Coverage coverage = reference_coverage(kHello, kHelloLength, at, 12, 0);
  TestCanvas canvas(32, kWidth, -kHeight);
  fcanvas_set_pen_color(&canvas.canvas, fcolor_make(0, 0, 0, 128));
  draw_text(&canvas.canvas, kHello, kHelloLength, at);
  uint8_t darkest = 255;
  int32_t edges = 0;
  for (int32_t y = 0; y < kHeight; ++y) {
    for (int32_t x = 0; x < kWidth; ++x) {
      // White on black gives a grey equal to the coverage, whose luminance is itself.
      uint32_t m = coverage.at(x, y);
      uint8_t expected = m ? static_cast<uint8_t>((255 * (255 - masked_alpha(m, 128))) >> 8) : 255;
      uint8_t rgba[4];
      fbitmap_get_rgba(canvas.bitmap(), x, y, rgba);
      ASSERT_EQ(rgba[0], expected) << x << "," << y;
      ASSERT_EQ(rgba[1], expected);
      ASSERT_EQ(rgba[2], expected);
      darkest = std::min(darkest, rgba[0]);
    }
  }
  // Half strength: full coverage of black at alpha 128 over white is a middle grey.
  EXPECT_NEAR(darkest, 127, 3);
  for (uint8_t value : canvas.bytes()) edges += (value > darkest + 8 && value < 247) ? 1 : 0;
  EXPECT_GT(edges, 0);
}

TEST(FcanvasText, MaskModeWithAnInvisiblePenChangesNothing) {
  TestCanvas canvas(32, kWidth, -kHeight);
  fcanvas_set_pen_color(&canvas.canvas, fcolor_make(255, 0, 0, 0));
  std::vector<uint8_t> before = canvas.bytes();
  draw_text(&canvas.canvas, kHello, kHelloLength, FPoint{6, 4});
  EXPECT_EQ(canvas.bytes(), before);
}

TEST(FcanvasText, Rgb565CanvasesBlendInTheirOwnPrecision) {
  const FPoint at{3, 8};
  Coverage coverage = reference_coverage(kHello, kHelloLength, at, 12, 0);

  TestCanvas direct(16, kWidth, -kHeight);
  const FColor pen = fcolor_make(0xE0, 0x30, 0x90, 255);
  fcanvas_set_pen_color(&direct.canvas, pen);
  draw_text(&direct.canvas, kHello, kHelloLength, at);
  const uint16_t pen565 = ((0xE0 >> 3) << 11) | ((0x30 >> 2) << 5) | (0x90 >> 3);
  int32_t exact_pen = 0;
  for (int32_t y = 0; y < kHeight; ++y) {
    for (int32_t x = 0; x < kWidth; ++x) {
      uint32_t c = coverage.at(x, y);
      // White widens to 255 in every channel, and the blend packs back by truncation.
      uint16_t expected = static_cast<uint16_t>(((blend_exact(0xE0, 255, c) >> 3) << 11) |
                                                ((blend_exact(0x30, 255, c) >> 2) << 5) |
                                                (blend_exact(0x90, 255, c) >> 3));
      ASSERT_EQ(pixel16(direct.bitmap(), x, y), expected) << x << "," << y;
      exact_pen += pixel16(direct.bitmap(), x, y) == pen565 ? 1 : 0;
    }
  }
  EXPECT_GT(exact_pen, 0);

  // Mask mode: white on black in RGB565 holds the fields c >> 3, c >> 2, c >> 3, and the
  // mask weighs them as ((G6 << 2) * 151 + R5 * 616 + B5 * 224) >> 8.
  TestCanvas mask(16, kWidth, kHeight);  // bottom-up rows as well
  fcanvas_set_pen_color(&mask.canvas, fcolor_make(0, 0, 0, 128));
  draw_text(&mask.canvas, kHello, kHelloLength, at);
  int32_t changed = 0;
  for (int32_t y = 0; y < kHeight; ++y) {
    for (int32_t x = 0; x < kWidth; ++x) {
      uint32_t c = coverage.at(x, y);
      uint32_t m = (((c >> 2) << 2) * 151 + (c >> 3) * 616 + (c >> 3) * 224) >> 8;
      uint16_t expected = 0xFFFF;
      if (m) {
        uint32_t a = masked_alpha(m, 128);
        expected = static_cast<uint16_t>((((31 * (255 - a)) >> 8) << 11) |
                                         (((63 * (255 - a)) >> 8) << 5) | ((31 * (255 - a)) >> 8));
        ++changed;
      }
      ASSERT_EQ(pixel16(mask.bitmap(), x, y), expected) << x << "," << y;
    }
  }
  EXPECT_GT(changed, 0);
}

TEST(FcanvasText, BottomUpCanvasesKeepTheTextUpright) {
  const FPoint at{5, 2};
  Coverage coverage = reference_coverage(kHello, kHelloLength, at, 12, 0);
  TestCanvas canvas(24, kWidth, kHeight);
  draw_text(&canvas.canvas, kHello, kHelloLength, at);
  for (int32_t y = 0; y < kHeight; ++y) {
    for (int32_t x = 0; x < kWidth; ++x) {
      uint8_t rgba[4];
      fbitmap_get_rgba(canvas.bitmap(), x, y, rgba);
      ASSERT_EQ(rgba[0], blend_exact(0, 255, coverage.at(x, y))) << x << "," << y;
    }
  }
}

TEST(FcanvasText, ClipKeepsTextInsideInBothModes) {
  const FPoint at{2, 4};
  Coverage coverage = reference_coverage(kHello, kHelloLength, at, 12, 0);
  const FRect clip{40, 10, 70, 30};
  for (FColor pen : {fcolor_make(0, 0, 0, 255), fcolor_make(0, 0, 0, 128)}) {
    TestCanvas clipped(32, kWidth, -kHeight);
    TestCanvas open(32, kWidth, -kHeight);
    fcanvas_set_pen_color(&clipped.canvas, pen);
    fcanvas_set_pen_color(&open.canvas, pen);
    FRect reversed{clip.right, clip.bottom, clip.left, clip.top};
    fcanvas_set_clip(&clipped.canvas, &reversed);
    draw_text(&clipped.canvas, kHello, kHelloLength, at);
    draw_text(&open.canvas, kHello, kHelloLength, at);
    int32_t inked_inside = 0;
    for (int32_t y = 0; y < kHeight; ++y) {
      for (int32_t x = 0; x < kWidth; ++x) {
        bool inside = x >= clip.left && x <= clip.right && y >= clip.top && y <= clip.bottom;
        const uint8_t* got = fbitmap_pixel_address(clipped.bitmap(), x, y);
        const uint8_t* want = inside ? fbitmap_pixel_address(open.bitmap(), x, y) : nullptr;
        for (int k = 0; k < 3; ++k) {
          ASSERT_EQ(got[k], want ? want[k] : 0xFF) << x << "," << y << " pen " << pen;
        }
        inked_inside += (inside && coverage.at(x, y)) ? 1 : 0;
      }
    }
    EXPECT_GT(inked_inside, 0);
  }
}

TEST(FcanvasText, PenNoneAndOffCanvasPointsDrawNothing) {
  for (FColor pen : {fcolor_make(0, 0, 0, 255), fcolor_make(0, 0, 0, 100)}) {
    TestCanvas canvas(32, kWidth, -kHeight);
    std::vector<uint8_t> before = canvas.bytes();
    fcanvas_set_pen(&canvas.canvas, FPEN_NONE, 1, pen);
    draw_text(&canvas.canvas, kHello, kHelloLength, FPoint{4, 4});
    EXPECT_EQ(canvas.bytes(), before);

    fcanvas_set_pen_style(&canvas.canvas, FPEN_SOLID);
    FTextContext* context = fcanvas_begin_text(&canvas.canvas);
    ASSERT_NE(context, nullptr);
    fcanvas_text_out(&canvas.canvas, context, FPoint{INT32_MAX - 3, INT32_MAX - 3}, kHello,
                     kHelloLength);
    fcanvas_text_out(&canvas.canvas, context, FPoint{INT32_MIN + 3, INT32_MIN + 3}, kHello,
                     kHelloLength);
    fcanvas_text_out(&canvas.canvas, context, FPoint{-5000, 10}, kHello, kHelloLength);
    fcanvas_text_out(&canvas.canvas, context, FPoint{4, 4}, kHello, 0);
    fcanvas_text_out(&canvas.canvas, context, FPoint{4, 4}, kHello, -2);
    fcanvas_text_out(&canvas.canvas, context, FPoint{4, 4}, nullptr, 5);
    EXPECT_EQ(fcanvas_end_text(&canvas.canvas, context), 1);
    EXPECT_EQ(canvas.bytes(), before);
  }
}

TEST(FcanvasText, MetricsWidthsAndFitFollowTheFont) {
  TestCanvas canvas(32, kWidth, -kHeight);
  FTextContext* context = fcanvas_begin_text(&canvas.canvas);
  ASSERT_NE(context, nullptr);
  int32_t ascent = fcanvas_text_ascent(&canvas.canvas, context);
  int32_t descent = fcanvas_text_descent(&canvas.canvas, context);
  int32_t height = fcanvas_text_height(&canvas.canvas, context);
  EXPECT_GT(ascent, 0);
  EXPECT_GE(descent, 0);
  EXPECT_EQ(height, ascent + descent);
  // The default font is 12 pt: at least its em height in pixels, not twice it.
  EXPECT_GE(height, pixel_height_of(12));
  EXPECT_LT(height, 2 * pixel_height_of(12));

  int32_t previous = 0;
  for (int32_t n = 1; n <= kHelloLength; ++n) {
    int32_t width = fcanvas_text_width(&canvas.canvas, context, kHello, n);
    EXPECT_GT(width, previous);
    previous = width;
  }
  EXPECT_EQ(fcanvas_text_width(&canvas.canvas, context, kHello, 0), 0);
  EXPECT_EQ(fcanvas_text_width(&canvas.canvas, context, kHello, -1), 0);
  EXPECT_EQ(fcanvas_text_width(&canvas.canvas, context, nullptr, 3), 0);
  int32_t three = fcanvas_text_width(&canvas.canvas, context, kHello, 3);
  EXPECT_EQ(fcanvas_text_fit(&canvas.canvas, context, kHello, kHelloLength, three), 3);
  EXPECT_EQ(fcanvas_text_fit(&canvas.canvas, context, kHello, kHelloLength, 1), 0);
  EXPECT_EQ(fcanvas_text_fit(&canvas.canvas, context, kHello, kHelloLength, previous),
            kHelloLength);
  int32_t last = 0;
  for (int32_t w = 0; w <= previous; ++w) {
    int32_t fit = fcanvas_text_fit(&canvas.canvas, context, kHello, kHelloLength, w);
    EXPECT_GE(fit, last);
    last = fit;
  }

  // Changing the font takes size, face, colour and style into the canvas and the context.
  const FColor red = fcolor_make(255, 0, 0, 255);
  EXPECT_EQ(fcanvas_change_font(&canvas.canvas, context, 24, u"", red, FFONT_BOLD), 1);
  EXPECT_EQ(canvas.canvas.font_size, 24);
  EXPECT_EQ(canvas.canvas.font_style, static_cast<uint32_t>(FFONT_BOLD));
  EXPECT_EQ(canvas.canvas.pen_color, red);
  EXPECT_GE(fcanvas_text_height(&canvas.canvas, context), 2 * height - 4);
  EXPECT_GT(fcanvas_text_width(&canvas.canvas, context, kHello, kHelloLength), 2 * previous - 4);
  fcanvas_text_out(&canvas.canvas, context, FPoint{0, 0}, u"l", 1);
  EXPECT_EQ(fcanvas_end_text(&canvas.canvas, context), 1);
  // The new colour drew the text.
  int32_t red_pixels = 0;
  for (int32_t y = 0; y < kHeight; ++y) {
    for (int32_t x = 0; x < kWidth; ++x) {
      const uint8_t* p = fbitmap_pixel_address(canvas.bitmap(), x, y);
      red_pixels += (p[0] == 0 && p[1] == 0 && p[2] == 255) ? 1 : 0;
    }
  }
  EXPECT_GT(red_pixels, 0);
}

TEST(FcanvasText, BoldDrawsMoreInk) {
  auto ink = [](uint32_t style) {
    TestCanvas canvas(32, kWidth, -kHeight);
    fcanvas_set_font_style(&canvas.canvas, style);
    draw_text(&canvas.canvas, u"Illumination", 12, FPoint{2, 2});
    int64_t sum = 0;
    for (uint8_t value : canvas.bytes()) sum += 255 - value;
    return sum;
  };
  int64_t regular = ink(0);
  int64_t bold = ink(FFONT_BOLD);
  EXPECT_GT(regular, 0);
  EXPECT_GT(bold, regular * 11 / 10);
}

TEST(FcanvasText, SurrogatesAndCjkAreDrawnSafely) {
  TestCanvas canvas(16, kWidth, -kHeight);
  FTextContext* context = fcanvas_begin_text(&canvas.canvas);
  ASSERT_NE(context, nullptr);
  const char16_t mixed[] = {u'a', 0xD835, 0xDC00, 0x4E2D, 0xD800, u'b', 0xDC00, 0xDBFF};
  EXPECT_GT(fcanvas_text_width(&canvas.canvas, context, mixed, 8), 0);
  for (int32_t w = 0; w < 200; w += 3) {
    EXPECT_NE(fcanvas_text_fit(&canvas.canvas, context, mixed, 8, w), 2);
  }
  EXPECT_EQ(fcanvas_text_out(&canvas.canvas, context, FPoint{2, 2}, mixed, 8), 1);
  EXPECT_EQ(fcanvas_end_text(&canvas.canvas, context), 1);
  int32_t inked = 0;
  for (int32_t y = 0; y < kHeight; ++y) {
    for (int32_t x = 0; x < kWidth; ++x) inked += pixel16(canvas.bitmap(), x, y) != 0xFFFF;
  }
  EXPECT_GT(inked, 0);
}

TEST(FcanvasText, RefusedOrMissingContextsDoNothing) {
  // Palette canvases are refused.
  TestCanvas palette(8, 20, 20);
  std::vector<uint8_t> before = palette.bytes();
  EXPECT_EQ(fcanvas_begin_text(&palette.canvas), nullptr);
  EXPECT_EQ(palette.canvas.text_dc, nullptr);
  EXPECT_EQ(palette.bytes(), before);

  // Every text call with no context returns 0 and draws nothing.
  TestCanvas canvas(32, 20, 20);
  FCanvas* c = &canvas.canvas;
  EXPECT_EQ(fcanvas_text_out(c, nullptr, FPoint{0, 0}, kHello, kHelloLength), 0);
  EXPECT_EQ(fcanvas_end_text(c, nullptr), 0);
  EXPECT_EQ(fcanvas_change_font(c, nullptr, 30, u"x", 0xFF00FF00u, FFONT_BOLD), 0);
  EXPECT_EQ(c->font_size, 12);
  EXPECT_EQ(fcanvas_text_height(c, nullptr), 0);
  EXPECT_EQ(fcanvas_text_ascent(c, nullptr), 0);
  EXPECT_EQ(fcanvas_text_descent(c, nullptr), 0);
  EXPECT_EQ(fcanvas_text_width(c, nullptr, kHello, kHelloLength), 0);
  EXPECT_EQ(fcanvas_text_fit(c, nullptr, kHello, kHelloLength, 100), 0);

  // One context at a time per canvas.
  FTextContext* first = fcanvas_begin_text(c);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(fcanvas_begin_text(c), nullptr);
  EXPECT_EQ(fcanvas_end_text(c, first), 1);
  FTextContext* again = fcanvas_begin_text(c);
  EXPECT_NE(again, nullptr);
  EXPECT_EQ(fcanvas_end_text(c, again), 1);

  // Releasing a canvas closes a context left open (the sanitizer build sees the leak).
  FCanvas own{};
  ASSERT_TRUE(fcanvas_create(&own, nullptr, 32, 10, -10));
  ASSERT_NE(fcanvas_begin_text(&own), nullptr);
  fcanvas_release(&own);
  EXPECT_EQ(own.text_dc, nullptr);
}

TEST(FcanvasTextDeathTest, NullCanvasIsAProgrammingError) {
  EXPECT_EXIT(fcanvas_begin_text(nullptr), testing::ExitedWithCode(255), "canvas!=null");
  EXPECT_EXIT(fcanvas_text_width(nullptr, nullptr, kHello, 1), testing::ExitedWithCode(255),
              "canvas!=null");
}

}  // namespace
