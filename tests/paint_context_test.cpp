// The paint context: where a new painting lands on the screen, its sizes under zoom, new
// bases, crops and pictures, the exact pixels of the base fill and of the copies between
// the painting and the screen backup, repaint requests, the tool table and the step state.

#include "paint_context.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fbytes.h"
#include "fscreen.h"
#include "shape.h"

namespace {

constexpr FColor kBlack = 0xFF000000u;
constexpr FColor kWhite = 0xFFFFFFFFu;

PaintContext* make_context(FScreen* owner, int32_t width, int32_t height,
                           FColor canvas = kWhite) {
  return paint_context_create(owner, width, height, kBlack, kWhite, canvas, 3, 1, 2, 0);
}

uint32_t pixel(const FBitmap* bitmap, int32_t x, int32_t y) { return fbitmap_get_pixel(bitmap, x, y); }

// Every pixel of the painting equals `value` (fourth byte included).
bool all_pixels(const FBitmap* bitmap, uint32_t value) {
  for (int32_t y = 0; y < fbitmap_get_height(bitmap); ++y) {
    for (int32_t x = 0; x < fbitmap_get_width(bitmap); ++x) {
      if (pixel(bitmap, x, y) != value) return false;
    }
  }
  return true;
}

// Column x holds 0xFF0000xx + x, row y adds y << 8: every pixel says where it came from.
void fill_positions(FBitmap* bitmap) {
  for (int32_t y = 0; y < fbitmap_get_height(bitmap); ++y) {
    for (int32_t x = 0; x < fbitmap_get_width(bitmap); ++x) {
      fbitmap_set_pixel(bitmap, x, y, 0xFF000000u | (static_cast<uint32_t>(y) << 8) | static_cast<uint32_t>(x));
    }
  }
}
uint32_t position(int32_t x, int32_t y) { return 0xFF000000u | (static_cast<uint32_t>(y) << 8) | static_cast<uint32_t>(x); }

// The renderer must wrap exactly the painting's pixels.
void expect_renderer_on_painting(PaintContext* pc) {
  FBitmap* painting = paint_context_get_painting(pc);
  ASSERT_NE(painting, nullptr);
  cairo_t* cr = paint_context_get_renderer(pc);
  ASSERT_NE(cr, nullptr);
  cairo_surface_t* surface = cairo_get_target(cr);
  EXPECT_EQ(cairo_image_surface_get_data(surface), painting->pixels);
  EXPECT_EQ(cairo_image_surface_get_width(surface), fbitmap_get_width(painting));
  EXPECT_EQ(cairo_image_surface_get_height(surface), fbitmap_get_height(painting));
  EXPECT_EQ(static_cast<uint32_t>(cairo_image_surface_get_stride(surface)),
            fbitmap_get_stride(painting));
}

class PaintContextOnScreen : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(fscreen_create(&screen, 480, 640, 32), 1); }
  void TearDown() override { fscreen_release(&screen); }
  FScreen screen{};
};

TEST_F(PaintContextOnScreen, CreationCentresThePaintingAndRefusesSizesItCannotHold) {
  PaintContext* pc = make_context(&screen, 240, 320);
  ASSERT_NE(pc, nullptr);
  EXPECT_EQ(pc->view_x, 120);
  EXPECT_EQ(pc->view_y, 160);
  EXPECT_TRUE(fbitmap_is_top_down(paint_context_get_painting(pc)));
  EXPECT_TRUE(all_pixels(paint_context_get_painting(pc), 0xFFFFFFFFu));
  ASSERT_NE(pc->screen_backup, nullptr);
  EXPECT_EQ(fbitmap_get_height(pc->screen_backup), 640);
  expect_renderer_on_painting(pc);
  paint_context_destroy(pc);

  // Sides beyond cairo's limit, empty sides and pictures over the pixel limit are refused
  // before anything is allocated.
  EXPECT_EQ(make_context(&screen, 1, PAINT_CONTEXT_MAX_SIDE + 1), nullptr);
  EXPECT_EQ(make_context(&screen, 0, 10), nullptr);
  EXPECT_EQ(make_context(&screen, 20000, 20000), nullptr);
  pc = make_context(&screen, PAINT_CONTEXT_MAX_SIDE, 2);
  ASSERT_NE(pc, nullptr);
  FBitmap* before = paint_context_get_painting(pc);
  EXPECT_EQ(paint_context_new_blank(pc, PAINT_CONTEXT_MAX_SIDE + 1, 2, kBlack), 0);
  EXPECT_EQ(paint_context_resize_painting(pc, 30000, 30000), 0);
  EXPECT_EQ(paint_context_crop(pc, 0, 0, 0, 5), 0);
  EXPECT_EQ(paint_context_set_zoom(pc, 2.0), 0);  // 65534 wide
  EXPECT_EQ(paint_context_set_zoom(pc, NAN), 0);
  EXPECT_EQ(paint_context_get_painting(pc), before);  // nothing was thrown away
  EXPECT_EQ(paint_context_get_zoom(pc), 1.0);
  paint_context_destroy(pc);
}

TEST(PaintContext, HeadlessColoursAndTheTwentyFourByteStepState) {
  // Headless: no backup until the screen size comes from the fields, and no repaints.
  PaintContext* pc = make_context(nullptr, 10, 6);
  ASSERT_NE(pc, nullptr);
  EXPECT_EQ(pc->screen_backup, nullptr);
  EXPECT_EQ(pc->view_x, -5);
  EXPECT_EQ(pc->view_y, -3);
  paint_context_set_screen_size(pc, 30, 20);
  ASSERT_NE(pc->screen_backup, nullptr);
  EXPECT_EQ(fbitmap_get_width(pc->screen_backup), 30);
  FRect r{0, 0, 1, 1};
  EXPECT_EQ(paint_context_repaint(pc, &r, 0), 0);
  EXPECT_EQ(paint_context_is_partial_repaint(pc), 0);

  // Each colour keeps unit doubles of its bytes, alpha included.
  constexpr double k = 0.00392156862745098;
  paint_context_set_back_color(pc, fcolor_make(0, 51, 255, 0));
  paint_context_set_canvas_color(pc, fcolor_make(102, 0, 204, 7));
  const double back[4] = {0, 51 * k, 255 * k, 0}, canvas[3] = {102 * k, 0, 204 * k};
  EXPECT_EQ(std::memcmp(pc->back_rgba, back, sizeof back), 0);
  EXPECT_EQ(std::memcmp(pc->canvas_rgb, canvas, sizeof canvas), 0);

  paint_context_set_view(pc, -3, 7);
  paint_context_set_fore_color(pc, 0x80112233u);
  paint_context_set_back_color(pc, 0xFF445566u);
  paint_context_set_pen_size(pc, 5);
  paint_context_set_pen_style(pc, 258);
  uint8_t state[PAINT_STEP_STATE_SIZE];
  paint_context_save_state(pc, state);
  const uint8_t golden[PAINT_STEP_STATE_SIZE] = {
      0xFD, 0xFF, 0xFF, 0xFF, 7, 0, 0, 0, 0x33, 0x22, 0x11, 0x80,
      0x66, 0x55, 0x44, 0xFF, 5, 0, 0, 0, 2, 1, 0, 0};
  EXPECT_EQ(std::memcmp(state, golden, sizeof golden), 0);

  PaintContext* other = make_context(nullptr, 4, 4);
  ASSERT_NE(other, nullptr);
  paint_context_restore_state(other, state);
  uint8_t again[PAINT_STEP_STATE_SIZE];
  paint_context_save_state(other, again);
  EXPECT_EQ(std::memcmp(again, golden, sizeof golden), 0);
  // The restored colour reaches the unit doubles cairo draws with.
  const double fore[4] = {0x11 * k, 0x22 * k, 0x33 * k, 0x80 * k};
  EXPECT_EQ(std::memcmp(other->fore_rgba, fore, sizeof fore), 0);
  // A view from a damaged step or an endless pan is held where screen minus view fits.
  fbytes_put_i32(state, INT32_MIN);
  fbytes_put_i32(state + 4, INT32_MAX);
  paint_context_restore_state(other, state);
  EXPECT_EQ(paint_context_get_view(other).x, -PAINT_CONTEXT_MAX_VIEW);
  EXPECT_EQ(paint_context_get_view(other).y, PAINT_CONTEXT_MAX_VIEW);
  paint_context_set_view(other, INT32_MAX, -PAINT_CONTEXT_MAX_VIEW - 1);
  EXPECT_EQ(paint_context_get_view(other).x, PAINT_CONTEXT_MAX_VIEW);
  EXPECT_EQ(paint_context_get_view(other).y, -PAINT_CONTEXT_MAX_VIEW);
  paint_context_destroy(other);
  paint_context_destroy(pc);
}

TEST(PaintContext, ShapeTableRefusesTheHundredTwentyNinthAndFindsTheFirstOfAnId) {
  PaintContext* pc = make_context(nullptr, 4, 4);
  ASSERT_NE(pc, nullptr);
  std::vector<Shape> shapes(PAINT_CONTEXT_MAX_SHAPES + 1);
  for (size_t i = 0; i < shapes.size(); ++i) {
    shape_init(&shapes[i], static_cast<uint32_t>(i % 100), u"tool", pc, nullptr, nullptr);
  }
  for (int i = 0; i < PAINT_CONTEXT_MAX_SHAPES; ++i) EXPECT_EQ(paint_context_add_shape(pc, &shapes[i]), 1);
  EXPECT_EQ(paint_context_add_shape(pc, &shapes[PAINT_CONTEXT_MAX_SHAPES]), 0);
  EXPECT_EQ(paint_context_find_shape(pc, 7), &shapes[7]);  // not shapes[107]
  EXPECT_EQ(paint_context_find_shape(pc, 100), nullptr);
  paint_context_destroy(pc);
}

TEST(PaintContext, ZoomResizesTheWhitePaintingAndRecreatesTheRenderer) {
  PaintContext* pc = make_context(nullptr, 100, 50, fcolor_make(1, 2, 3, 255));
  ASSERT_NE(pc, nullptr);
  EXPECT_EQ(paint_context_set_zoom(pc, 2.0), 1);
  FBitmap* painting = paint_context_get_painting(pc);
  EXPECT_EQ(fbitmap_get_height(painting), 100);
  EXPECT_TRUE(all_pixels(painting, 0xFFFFFFFFu));  // white until replayed
  expect_renderer_on_painting(pc);
  // Already the right size: nothing is re-created.
  EXPECT_EQ(paint_context_fit_zoom(pc), 1);
  EXPECT_EQ(paint_context_get_painting(pc), painting);
  // Sizes truncate: 100 x 0.333 = 33.3, 50 x 0.333 = 16.65.
  EXPECT_EQ(paint_context_set_zoom(pc, 0.333), 1);
  EXPECT_EQ(fbitmap_get_width(paint_context_get_painting(pc)), 33);
  EXPECT_EQ(fbitmap_get_height(paint_context_get_painting(pc)), 16);
  // A crop changes the painting but not the base: fit zoom brings the zoomed base back.
  EXPECT_EQ(paint_context_crop(pc, 0, 0, 5, 5), 1);
  EXPECT_EQ(paint_context_fit_zoom(pc), 1);
  EXPECT_EQ(fbitmap_get_width(paint_context_get_painting(pc)), 33);
  expect_renderer_on_painting(pc);

  // A new blank base resets zoom, size, colour and centres the view.
  paint_context_set_screen_size(pc, 50, 40);
  EXPECT_EQ(paint_context_new_blank(pc, 21, 10, fcolor_make(9, 8, 7, 255)), 1);
  EXPECT_EQ(paint_context_get_zoom(pc), 1.0);
  EXPECT_EQ(pc->view_x, 15);  // 50 / 2 - 21 / 2: each half truncated
  EXPECT_EQ(pc->view_y, 15);
  paint_context_fill_base(pc);
  EXPECT_TRUE(all_pixels(paint_context_get_painting(pc), 0xFF090807u));
  expect_renderer_on_painting(pc);
  paint_context_destroy(pc);
}

TEST(PaintContext, PictureBaseIsCopiedExactlyOpaqueAndScaledWithTheZoom) {
  PaintContext* pc = make_context(nullptr, 10, 10, fcolor_make(1, 2, 3, 255));
  ASSERT_NE(pc, nullptr);
  paint_context_set_screen_size(pc, 100, 100);
  FBitmap* source = fbitmap_create(4, 2, 32);  // bottom-up, with a transparent fourth byte
  ASSERT_NE(source, nullptr);
  fill_positions(source);
  fbitmap_set_pixel(source, 3, 1, 0x00FF8000u);
  ASSERT_EQ(paint_context_load_picture(pc, source), 1);
  EXPECT_EQ(paint_context_get_canvas_color(pc), 0xFFFFFFFFu);
  EXPECT_EQ(pc->view_x, 48);
  EXPECT_EQ(pc->view_y, 49);
  FBitmap* picture = paint_context_get_picture(pc);
  ASSERT_NE(picture, nullptr);
  // At zoom 1 the fitted picture is the picture itself.
  EXPECT_EQ(paint_context_get_picture_scaled(pc), picture);

  paint_context_fill_base(pc);
  FBitmap* painting = paint_context_get_painting(pc);
  for (int32_t y = 0; y < 2; ++y) {
    for (int32_t x = 0; x < 4; ++x) {
      uint32_t expected = x == 3 && y == 1 ? 0xFFFF8000u : position(x, y);
      EXPECT_EQ(pixel(painting, x, y), expected) << x << "," << y;
    }
  }
  // Zoom 2: nearest neighbour to exactly the painting's size.
  ASSERT_EQ(paint_context_set_zoom(pc, 2.0), 1);
  paint_context_fill_base(pc);
  painting = paint_context_get_painting(pc);
  for (int32_t y = 0; y < 4; ++y) {
    for (int32_t x = 0; x < 8; ++x) EXPECT_EQ(pixel(painting, x, y), pixel(picture, x / 2, y / 2));
  }
  FBitmap* fitted = paint_context_get_picture_scaled(pc);
  ASSERT_NE(fitted, nullptr);
  EXPECT_NE(fitted, picture);
  EXPECT_EQ(paint_context_get_picture_scaled(pc), fitted);  // cached per zoom
  // A picture too large to be a painting is refused and changes nothing.
  FBitmap* wide = fbitmap_create(PAINT_CONTEXT_MAX_SIDE + 1, 1, 24);
  ASSERT_NE(wide, nullptr);
  EXPECT_EQ(paint_context_load_picture(pc, wide), 0);
  EXPECT_EQ(paint_context_get_picture(pc), picture);
  EXPECT_EQ(paint_context_get_painting(pc), painting);
  fbitmap_destroy(wide);

  // A 1-bit picture (as BMP files may carry) is converted through its palette.
  FBitmap mono{};
  uint8_t* info = static_cast<uint8_t*>(std::calloc(1, 48));
  uint8_t* bits = static_cast<uint8_t*>(std::calloc(1, 8));
  ASSERT_TRUE(info && bits);
  const uint8_t header[16] = {40, 0, 0, 0, 3, 0, 0, 0, 0xFE, 0xFF, 0xFF, 0xFF, 1, 0, 1, 0};
  std::memcpy(info, header, sizeof header);
  info[20] = 8;                                             // biSizeImage
  info[40] = 0x10, info[41] = 0x20, info[42] = 0x30;        // entry 0
  info[44] = 0xA0, info[45] = 0xB0, info[46] = 0xC0;        // entry 1
  bits[0] = 0xA0;  // row 0: 1 0 1
  bits[4] = 0x40;  // row 1: 0 1 0
  fbitmap_adopt(&mono, info, bits);
  ASSERT_EQ(paint_context_load_picture(pc, &mono), 1);
  paint_context_fill_base(pc);
  painting = paint_context_get_painting(pc);
  EXPECT_EQ(pixel(painting, 0, 0), 0xFFC0B0A0u);
  EXPECT_EQ(pixel(painting, 2, 1), 0xFF302010u);
  fbitmap_release(&mono);

  // A new blank base drops the picture.
  ASSERT_EQ(paint_context_new_blank(pc, 3, 3, kBlack), 1);
  EXPECT_EQ(paint_context_get_picture_scaled(pc), nullptr);
  fbitmap_destroy(source);
  paint_context_destroy(pc);
}

TEST(PaintContext, CropMovesTheWindowAndFillsWhatLiesOutsideWithTheCanvasColour) {
  const FColor canvas = fcolor_make(1, 2, 3, 255);
  PaintContext* pc = make_context(nullptr, 100, 20, canvas);
  ASSERT_NE(pc, nullptr);
  fill_positions(paint_context_get_painting(pc));
  ASSERT_EQ(paint_context_crop(pc, -10, 0, 120, 20), 1);
  FBitmap* painting = paint_context_get_painting(pc);
  ASSERT_EQ(fbitmap_get_width(painting), 120);
  EXPECT_EQ(paint_context_get_base_width(pc), 100);  // a crop is a step, not a new base
  for (int32_t x = 0; x < 120; ++x) {
    uint32_t expected = x < 10 || x >= 110 ? 0xFF010203u : position(x - 10, 7);
    EXPECT_EQ(pixel(painting, x, 7), expected) << x;
  }
  expect_renderer_on_painting(pc);

  // A window inside: (20, 5) becomes (0, 0); rows past the old bottom are canvas.
  ASSERT_EQ(paint_context_crop(pc, 30, 5, 4, 20), 1);
  painting = paint_context_get_painting(pc);
  EXPECT_EQ(pixel(painting, 0, 0), position(20, 5));
  EXPECT_EQ(pixel(painting, 3, 14), position(23, 19));
  EXPECT_EQ(pixel(painting, 0, 15), 0xFF010203u);

  // Windows far outside, even at the ends of 32 bits, give the canvas colour only.
  fill_positions(paint_context_get_painting(pc));
  ASSERT_EQ(paint_context_crop(pc, INT32_MAX - 1, 0, 6, 6), 1);
  EXPECT_TRUE(all_pixels(paint_context_get_painting(pc), 0xFF010203u));
  fill_positions(paint_context_get_painting(pc));
  ASSERT_EQ(paint_context_crop(pc, INT32_MIN, INT32_MIN, 6, 6), 1);
  EXPECT_TRUE(all_pixels(paint_context_get_painting(pc), 0xFF010203u));
  paint_context_destroy(pc);
}

TEST(PaintContext, VisiblePartIsSavedRestoredAndCopiedExactly) {
  PaintContext* pc = make_context(nullptr, 10, 10);
  ASSERT_NE(pc, nullptr);
  paint_context_set_screen_size(pc, 6, 5);
  paint_context_set_view(pc, -2, 1);  // painting column 2 at screen column 0, row 0 at row 1
  FBitmap* painting = paint_context_get_painting(pc);
  fill_positions(painting);
  paint_context_save_visible(pc);
  FBitmap* backup = pc->screen_backup;
  for (int32_t y = 1; y < 5; ++y) {
    for (int32_t x = 0; x < 6; ++x) EXPECT_EQ(pixel(backup, x, y), position(x + 2, y - 1));
  }
  EXPECT_EQ(pixel(backup, 0, 0), 0xFFFFFFFFu);  // above the painting

  // A preview frame draws over everything; restoring gives back the visible part only.
  cairo_t* cr = paint_context_get_renderer(pc);
  cairo_set_source_rgb(cr, 0, 0, 0);
  cairo_paint(cr);
  cairo_surface_flush(cairo_get_target(cr));
  paint_context_restore_visible(pc);
  for (int32_t y = 0; y < 10; ++y) {
    for (int32_t x = 0; x < 10; ++x) {
      bool shown = x >= 2 && x < 8 && y < 4;
      EXPECT_EQ(pixel(painting, x, y), shown ? position(x, y) : 0xFF000000u) << x << "," << y;
    }
  }
  // Repeated save and restore never wear a pixel down.
  for (int i = 0; i < 3; ++i) {
    paint_context_save_visible(pc);
    paint_context_restore_visible(pc);
  }
  EXPECT_EQ(pixel(painting, 7, 3), position(7, 3));

  // The visible part as its own bitmap: columns 2..7, rows 0..3.
  FBitmap* copy = paint_context_copy_visible(pc);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(fbitmap_get_height(copy), 4);
  EXPECT_EQ(pixel(copy, 5, 3), position(7, 3));
  fbitmap_destroy(copy);
  // A painting wholly off the screen has no visible part.
  paint_context_set_view(pc, INT32_MIN, INT32_MIN);
  EXPECT_EQ(paint_context_copy_visible(pc), nullptr);
  paint_context_save_visible(pc);

  // A larger screen keeps the old backup's pixels at (0, 0).
  paint_context_set_view(pc, -2, 1);
  paint_context_save_visible(pc);
  paint_context_set_screen_size(pc, 8, 7);
  ASSERT_NE(pc->screen_backup, nullptr);
  EXPECT_EQ(pixel(pc->screen_backup, 5, 4), position(7, 3));
  EXPECT_EQ(pixel(pc->screen_backup, 7, 6), 0xFFFFFFFFu);
  paint_context_destroy(pc);
}

// The screen's background hook sees what the application's paint handler would see.
struct RepaintProbe {
  static inline PaintContext* context = nullptr;
  static inline std::vector<FRect> rects;
  static inline std::vector<int> partial;
  static void on_background(FScreen*, const FRect* rect) {
    rects.push_back(*rect);
    partial.push_back(paint_context_is_partial_repaint(context));
  }
};

TEST_F(PaintContextOnScreen, RepaintTranslatesClipsAndFlagsToolRepaints) {
  PaintContext* pc = make_context(&screen, 100, 50);
  ASSERT_NE(pc, nullptr);
  ASSERT_EQ(pc->view_x, 190);
  ASSERT_EQ(pc->view_y, 295);
  RepaintProbe::context = pc;
  RepaintProbe::rects.clear();
  RepaintProbe::partial.clear();
  fscreen_set_on_paint_background(&screen, &RepaintProbe::on_background);

  FRect inside{9, 9, 0, 0};  // normalised first
  EXPECT_EQ(paint_context_repaint(pc, &inside, 0), 1);
  FRect overlapping{-5, -5, 4, 4};
  EXPECT_EQ(paint_context_repaint(pc, &overlapping, 1), 1);
  FRect outside{100, 0, 120, 10};
  EXPECT_EQ(paint_context_repaint(pc, &outside, 0), 0);
  EXPECT_EQ(paint_context_repaint(pc, nullptr, 1), 1);
  EXPECT_EQ(paint_context_is_partial_repaint(pc), 0);

  ASSERT_EQ(RepaintProbe::rects.size(), 3u);
  EXPECT_TRUE(frect_equal(RepaintProbe::rects[0], FRect{190, 295, 199, 304}));
  EXPECT_TRUE(frect_equal(RepaintProbe::rects[1], FRect{190, 295, 194, 299}));
  EXPECT_TRUE(frect_equal(RepaintProbe::rects[2], FRect{0, 0, 479, 639}));
  EXPECT_EQ(RepaintProbe::partial, (std::vector<int>{1, 0, 0}));
  fscreen_set_on_paint_background(&screen, nullptr);
  paint_context_destroy(pc);
}

TEST_F(PaintContextOnScreen, WithoutAPaintingEveryOperationCopesAndFitZoomRecovers) {
  PaintContext* pc = make_context(&screen, 40, 30);
  ASSERT_NE(pc, nullptr);
  // The state a failed fallback allocation leaves behind.
  fbitmap_destroy(pc->painting);
  pc->painting = nullptr;
  EXPECT_EQ(paint_context_reset_renderer(pc), nullptr);
  EXPECT_EQ(pc->renderer_surface, nullptr);
  paint_context_fill_base(pc);
  paint_context_restore_visible(pc);
  EXPECT_EQ(paint_context_copy_visible(pc), nullptr);
  FRect r{0, 0, 5, 5};
  EXPECT_EQ(paint_context_repaint(pc, &r, 0), 0);

  EXPECT_EQ(paint_context_fit_zoom(pc), 1);
  EXPECT_EQ(fbitmap_get_width(paint_context_get_painting(pc)), 40);
  expect_renderer_on_painting(pc);

  // A crop of no painting is the canvas colour alone.
  fbitmap_destroy(pc->painting);
  pc->painting = nullptr;
  paint_context_reset_renderer(pc);
  ASSERT_EQ(paint_context_crop(pc, 3, 3, 4, 2), 1);
  EXPECT_TRUE(all_pixels(paint_context_get_painting(pc), 0xFFFFFFFFu));
  expect_renderer_on_painting(pc);
  paint_context_destroy(pc);
}

TEST(PaintContextDeathTest, NullContextIsFatal) {
  EXPECT_DEATH(paint_context_get_zoom(nullptr), "pc!=null");
  EXPECT_DEATH(paint_context_destroy(nullptr), "pc!=null");
}

}  // namespace
