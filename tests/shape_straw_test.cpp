// The colour picker (pen held to the painting, 0x00BBGGRR colour, the swatch kept on the
// screen and taken away at pen up) and the pan tool (view moved by the pen, one repaint a move).

#include "shape_straw.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fbdrawer.h"
#include "fcontrol.h"
#include "fscreen.h"
#include "fsurface.h"
#include "paint_context.h"
#include "shape_position.h"
#include "wins_window.h"

namespace {

constexpr FColor kWhite = 0xFFFFFFFFu, kBlack = 0xFF000000u;
constexpr FColor kBackground = 0xFF102030u;  // the screen around the painting

// Every painting pixel gets its own colour: red = 10 x column, green = 20 x row, blue 99.
FColor pixel_color(int32_t x, int32_t y) {
  return fcolor_make(static_cast<uint8_t>(10 * x), static_cast<uint8_t>(20 * y), 99, 255);
}
uint32_t as_bgr(FColor c) { return fcolor_red(c) | fcolor_green(c) << 8 | fcolor_blue(c) << 16; }

struct Events {
  static inline std::vector<uint32_t> picked;
  static inline std::vector<std::string> log;
  static inline PaintContext* pc = nullptr;
  static void on_picked(Shape* shape, uint32_t color) {
    EXPECT_EQ(shape->active, 0);
    picked.push_back(color);
  }
  static void on_background(FScreen* screen, const FRect* r) {
    fbitmap_fill_rect(fscreen_get_bitmap(screen), r->left, r->top, r->right, r->bottom,
                      kBackground);
    log.push_back("paint " + std::to_string(r->left) + "," + std::to_string(r->top) + "," +
                  std::to_string(r->right) + "," + std::to_string(r->bottom) +
                  (pc && paint_context_is_partial_repaint(pc) ? " partial" : " whole"));
  }
  static void on_moved(Shape*) { log.push_back("moved"); }
};

class ToolScreenTest : public ::testing::Test {
 protected:
  void SetUp() override { Events::picked.clear(), Events::log.clear(); }
  void TearDown() override {
    if (tool_destroy && tool) tool_destroy(tool);
    if (pc) paint_context_destroy(pc);
    if (screen_open) {
      wins_window_set_flush(nullptr);
      fscreen_set_global(nullptr);
      fscreen_release(&screen);
    }
    Events::pc = nullptr;
  }
  void open_screen(int32_t width, int32_t height) {
    ASSERT_EQ(fscreen_create(&screen, width, -height, 32), 1);
    screen_open = true;
    fscreen_set_global(&screen);
    fscreen_set_on_paint_background(&screen, Events::on_background);
    wins_window_set_flush([](const FRect*) {});
  }
  // A 20 x 10 painting at view (30, 40), on the screen when there is one.
  void open_painting(bool on_screen) {
    pc = paint_context_create(on_screen ? &screen : nullptr, 20, 10, kBlack, kWhite, kWhite, 1,
                              0, 0, 0);
    ASSERT_NE(pc, nullptr);
    if (!on_screen) paint_context_set_screen_size(pc, 240, 320);
    paint_context_set_view(pc, 30, 40);
    FBitmap* painting = paint_context_get_painting(pc);
    for (int32_t y = 0; y < 10; ++y)
      for (int32_t x = 0; x < 20; ++x) fbitmap_set_pixel(painting, x, y, pixel_color(x, y));
    Events::pc = pc;
  }
  uint32_t screen_pixel(int32_t x, int32_t y) {
    return fbitmap_get_pixel(fscreen_get_bitmap(&screen), x, y) | 0xFF000000u;
  }

  FScreen screen{};
  bool screen_open = false;
  PaintContext* pc = nullptr;
  Shape* tool = nullptr;
  void (*tool_destroy)(Shape*) = nullptr;
};

TEST_F(ToolScreenTest, PickerHoldsThePenToThePaintingAndReportsTheLastColour) {
  open_painting(false);
  tool = shape_straw_create(8, u"Color Picker", pc, nullptr, nullptr);
  ASSERT_NE(tool, nullptr);
  tool_destroy = shape_straw_destroy;
  EXPECT_EQ(shape_straw_set_picked(tool, Events::on_picked), nullptr);

  EXPECT_EQ(shape_on_pen(tool, FPOINTER_MOVE, 35, 45, 0), 0);
  EXPECT_EQ(shape_on_pen(tool, FPOINTER_UP, 35, 45, 0), 0);
  EXPECT_EQ(shape_on_pen(tool, FPOINTER_DOWN, 0, 45, 0), 1);
  EXPECT_EQ(shape_straw_get_color(tool), as_bgr(pixel_color(0, 5)));
  EXPECT_EQ(reinterpret_cast<ShapeStraw*>(tool)->swatch, nullptr);  // no screen, no swatch
  EXPECT_EQ(shape_on_pen(tool, FPOINTER_MOVE, 1000, 0, 0), 1);
  EXPECT_EQ(shape_straw_get_color(tool), as_bgr(pixel_color(19, 0)));
  EXPECT_EQ(shape_on_pen(tool, FPOINTER_MOVE, 37, 1000, 0), 1);
  EXPECT_EQ(shape_straw_get_color(tool), as_bgr(pixel_color(7, 9)));
  EXPECT_TRUE(Events::picked.empty());
  EXPECT_EQ(shape_on_pen(tool, FPOINTER_UP, 37, 1000, 0), 1);
  ASSERT_EQ(Events::picked.size(), 1u);
  EXPECT_EQ(Events::picked[0], 0x63B446u);  // red 70, green 180, blue 99
  EXPECT_EQ(tool->active, 0);
  EXPECT_EQ(shape_on_pen(tool, FPOINTER_MOVE, 35, 45, 0), 0);

  // Without a callback the pick still ends cleanly.
  shape_straw_set_picked(tool, nullptr);
  shape_on_pen(tool, FPOINTER_DOWN, 31, 41, 0);
  shape_on_pen(tool, FPOINTER_UP, 31, 41, 0);
  EXPECT_EQ(Events::picked.size(), 1u);
  EXPECT_EQ(shape_straw_get_color(tool), as_bgr(pixel_color(1, 1)));
}

TEST(SwatchRect, SitsAboveThePenAndStaysOnTheScreen) {
  // Low resolution: half 11, size 22; high resolution: half 22, size 45.
  struct Case {
    int32_t x, y, width, height;
    FRect rect;
  };
  for (const Case& c : {Case{10, 100, 240, 320, {5, 73, 26, 94}},
                        Case{100, 100, 240, 320, {84, 73, 105, 94}},
                        Case{100, 100, 320, 320, {84, 73, 105, 94}},
                        Case{100, 200, 480, 640, {73, 150, 117, 194}},
                        Case{238, 100, 240, 320, {218, 73, 239, 94}},
                        Case{475, 10, 480, 640, {435, 5, 479, 49}},
                        Case{100, 400, 240, 320, {84, 298, 105, 319}},
                        Case{-50, -50, 240, 320, {5, 5, 26, 26}}})
    EXPECT_TRUE(frect_equal(shape_straw_swatch_rect(c.x, c.y, c.width, c.height), c.rect))
        << c.x << "," << c.y << " on " << c.width << "x" << c.height;
}

TEST_F(ToolScreenTest, SwatchShowsTheColourWhileThePenIsDownAndLeavesNoTrace) {
  open_screen(240, 320);
  open_painting(true);
  tool = shape_straw_create(8, u"Color Picker", pc, nullptr, nullptr);
  ASSERT_NE(tool, nullptr);
  tool_destroy = shape_straw_destroy;
  shape_straw_set_picked(tool, Events::on_picked);
  fscreen_paint(&screen, nullptr);
  auto* straw = reinterpret_cast<ShapeStraw*>(tool);

  shape_on_pen(tool, FPOINTER_DOWN, 40, 45, 0);  // painting pixel (10, 5)
  ASSERT_NE(straw->swatch, nullptr);
  EXPECT_EQ(screen.first, &straw->swatch->surface);
  const FColor seen = pixel_color(10, 5);
  EXPECT_EQ(fcontrol_get_drawer(straw->swatch)->fill_color, seen);
  FRect place = fsurface_get_rect(&straw->swatch->surface);
  EXPECT_TRUE(frect_equal(place, FRect{24, 18, 45, 39}));
  EXPECT_EQ(screen_pixel(35, 28), seen);  // inside the border

  FControl* first = straw->swatch;
  // Off the painting: the pen is held to its corner (49, 49), pixel (19, 9), and the
  // swatch follows the held point.
  shape_on_pen(tool, FPOINTER_MOVE, 140, 200, 0);
  EXPECT_EQ(straw->swatch, first);  // moved, not made again
  place = fsurface_get_rect(&straw->swatch->surface);
  EXPECT_TRUE(frect_equal(place, FRect{33, 22, 54, 43}));
  EXPECT_EQ(screen_pixel(45, 35), pixel_color(19, 9));
  EXPECT_EQ(screen_pixel(26, 20), kBackground);  // the old place was repainted

  Events::log.clear();
  shape_on_pen(tool, FPOINTER_UP, 140, 200, 0);
  EXPECT_EQ(straw->swatch, nullptr);
  EXPECT_EQ(screen.first, nullptr);
  ASSERT_EQ(Events::log.size(), 1u);
  EXPECT_EQ(Events::log[0], "paint 33,22,54,43 whole");
  EXPECT_EQ(screen_pixel(45, 35), kBackground);
  ASSERT_EQ(Events::picked.size(), 1u);
  EXPECT_EQ(Events::picked[0], as_bgr(pixel_color(19, 9)));

  // Destroying the tool with the pen still down takes the swatch with it.
  shape_on_pen(tool, FPOINTER_DOWN, 40, 45, 0);
  ASSERT_NE(straw->swatch, nullptr);
  shape_straw_destroy(tool);
  tool = nullptr;
  EXPECT_EQ(screen.first, nullptr);
}

TEST_F(ToolScreenTest, PanMovesTheViewByThePenAndRepaintsOncePerMove) {
  open_screen(240, 320);
  open_painting(true);
  tool = shape_position_create(6, u"Pan", pc, nullptr, nullptr);
  ASSERT_NE(tool, nullptr);
  tool_destroy = shape_position_destroy;
  EXPECT_EQ(shape_position_set_moved(tool, Events::on_moved), nullptr);

  EXPECT_EQ(shape_on_pen(tool, FPOINTER_MOVE, 130, 90, 0), 0);
  EXPECT_EQ(shape_on_pen(tool, FPOINTER_DOWN, 100, 100, 0), 1);
  EXPECT_TRUE(Events::log.empty());
  EXPECT_EQ(shape_on_pen(tool, FPOINTER_MOVE, 130, 90, 0), 1);
  EXPECT_EQ(paint_context_get_view(pc).x, 60);
  EXPECT_EQ(paint_context_get_view(pc).y, 30);
  EXPECT_EQ(Events::log, (std::vector<std::string>{"moved", "paint 0,0,239,319 whole"}));
  EXPECT_EQ(shape_on_pen(tool, FPOINTER_MOVE, 129, 95, 0), 1);
  EXPECT_EQ(shape_on_pen(tool, FPOINTER_MOVE, 129, 95, 0), 1);  // no motion: still a move
  EXPECT_EQ(paint_context_get_view(pc).x, 59);
  EXPECT_EQ(paint_context_get_view(pc).y, 35);
  EXPECT_EQ(Events::log.size(), 6u);
  EXPECT_EQ(shape_on_pen(tool, FPOINTER_UP, 500, 500, 0), 1);
  EXPECT_EQ(tool->active, 0);
  EXPECT_EQ(shape_on_pen(tool, FPOINTER_MOVE, 0, 0, 0), 0);
  EXPECT_EQ(paint_context_get_view(pc).x, 59);
  EXPECT_EQ(Events::log.size(), 6u);

  // Far out, the view stops at its limit instead of wrapping around.
  paint_context_set_view(pc, PAINT_CONTEXT_MAX_VIEW - 5, -PAINT_CONTEXT_MAX_VIEW + 5);
  shape_on_pen(tool, FPOINTER_DOWN, 0, 100, 0);
  shape_on_pen(tool, FPOINTER_MOVE, 100, 0, 0);
  EXPECT_EQ(paint_context_get_view(pc).x, PAINT_CONTEXT_MAX_VIEW);
  EXPECT_EQ(paint_context_get_view(pc).y, -PAINT_CONTEXT_MAX_VIEW);
  shape_on_pen(tool, FPOINTER_UP, 100, 0, 0);
}

TEST_F(ToolScreenTest, PanWithoutAScreenStillMovesTheView) {
  open_painting(false);
  tool = shape_position_create(6, u"Pan", pc, nullptr, nullptr);
  tool_destroy = shape_position_destroy;
  shape_on_pen(tool, FPOINTER_DOWN, 10, 10, 0);
  shape_on_pen(tool, FPOINTER_MOVE, 40, 0, 0);
  EXPECT_EQ(paint_context_get_view(pc).x, 60);
  EXPECT_EQ(paint_context_get_view(pc).y, 30);
}

TEST(StrawDeathTest, NullToolIsFatal) {
  EXPECT_DEATH(shape_straw_get_color(nullptr), "shape!=null");
  EXPECT_DEATH(shape_position_set_moved(nullptr, nullptr), "shape!=null");
}

}  // namespace
