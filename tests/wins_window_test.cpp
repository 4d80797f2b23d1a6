// The platform pieces that work before any window exists: the fatal banner,
// the flush hook, the text resolution by screen class, the display size option and
// resizing the display.

#include "wins_window.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "fbitmap.h"
#include "fscreen.h"
#include "fsurface.h"

// The fatal routine itself (exit code 255 and this banner) is seen by the death tests of
// the timer, active-object and loop units.
TEST(FatalError, BannerNamesTheUnitAndLine) {
  char banner[256];
  wins_window_format_fatal(banner, sizeof banner, "/work/main/src/fcanvas.cpp", 387);
  EXPECT_STREQ(banner, "\r\n*** MLO FATAL ERROR OCCURS. \r\n\r\n code = fcanvas(387)\r\n");
  wins_window_format_fatal(banner, sizeof banner, "c:\\marlo\\src\\fbitmap.c", 12);
  EXPECT_NE(std::strstr(banner, "code = fbitmap(12)"), nullptr);
  wins_window_format_fatal(banner, sizeof banner, "noext", 1);
  EXPECT_NE(std::strstr(banner, "code = noext(1)"), nullptr);
  wins_window_format_fatal(banner, sizeof banner, nullptr, 0);
  EXPECT_NE(std::strstr(banner, "code = (0)"), nullptr);
}

TEST(Flush, DoesNothingUntilAWindowInstallsItsHook) {
  static std::vector<FRect> flushed;  // the whole screen recorded as {-1, -1, -1, -1}
  const FRect r{1, 2, 3, 4};
  fplatform_flush(&r);  // no hook: nothing happens
  wins_window_set_flush([](const FRect* r) { flushed.push_back(r ? *r : FRect{-1, -1, -1, -1}); });
  fplatform_flush(&r);
  fplatform_flush(nullptr);
  wins_window_set_flush(nullptr);
  fplatform_flush(&r);
  ASSERT_EQ(flushed.size(), 2u);
  EXPECT_TRUE(frect_equal(flushed[0], r));
  EXPECT_EQ(flushed[1].right, -1);
}

TEST(TextResolution, LowResolutionScreensUse96) {
  for (auto [w, h, dpi] : {std::tuple{240, 320, 96}, {320, 240, 96}, {320, 320, 96},
                           {176, 208, 192}, {480, 640, 192}}) {
    wins_window_set_display_size(w, h);
    EXPECT_EQ(fplatform_text_dpi(), dpi) << w << "x" << h;
  }
}

TEST(DisplaySize, ScreenOptionAcceptsOnlyWholeSizesInRange) {
  int32_t w = 0, h = 0;
  EXPECT_EQ(wins_window_parse_size("8192X16", &w, &h), 1);
  EXPECT_EQ(w * 10000 + h, 8192 * 10000 + 16);
  for (const char* bad : {"", "240", "240x", "x320", "240x320x", "240 x 320", "15x320", "240x8193",
                          "-240x320", "99999999999x1"}) {
    EXPECT_EQ(wins_window_parse_size(bad, &w, &h), 0) << bad;
  }
  EXPECT_EQ(w, 8192);  // untouched by refusals
}

TEST(DisplaySize, ResizingWithoutAWindowTellsSurfacesBeforeOneRepaint) {
  static std::vector<std::string> log;
  FScreen screen{};
  ASSERT_EQ(fscreen_create(&screen, 480, -640, 32), 1);
  fscreen_set_global(&screen);
  FSurface surface{};
  FRect rect{0, 0, 9, 9};
  ASSERT_EQ(fsurface_create(&surface, nullptr, &rect, 0), 1);
  fsurface_set_on_screen_changed(&surface, [](FSurface*, const FRect* r) {
    log.push_back("surface " + std::to_string(r->right) + "," + std::to_string(r->bottom));
  });
  fsurface_show(&surface);
  fscreen_set_on_paint_background(&screen, [](FScreen* s, const FRect*) {
    log.push_back("paint " + std::to_string(fscreen_get_width(s)));
  });
  EXPECT_EQ(wins_window_resize_display(640, 480), 1);
  EXPECT_EQ(wins_window_resize_display(0, 480), 0);  // refused: nothing changes
  EXPECT_EQ(log, (std::vector<std::string>{"surface 639,479", "paint 640"}));
  int32_t w = 0, h = 0;
  fplatform_display_size(&w, &h);
  EXPECT_EQ(w * 1000 + h, 640 * 1000 + 480);
  EXPECT_EQ(fbitmap_get_height(fscreen_get_bitmap(&screen)), 480);
  fsurface_hide(&surface);
  fsurface_release(&surface);
  fscreen_release(&screen);
  wins_window_set_display_size(480, 640);
}
