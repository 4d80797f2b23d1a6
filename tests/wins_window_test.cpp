// The platform pieces the graphics core relies on before any window exists: the fatal
// banner and exit code, the flush hook, and the text resolution by screen class.

#include "wins_window.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

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

TEST(FatalErrorDeathTest, EndsTheProcessWithMinusOne) {
  EXPECT_EXIT(fplatform_fatal("bitmap!=null", "src/fbitmap.cpp", 42),
              ::testing::ExitedWithCode(255), "code = fbitmap\\(42\\)");
}

namespace {
std::vector<FRect> g_flushed;
int g_full_flushes = 0;
void record_flush(const FRect* rect) {
  if (rect) {
    g_flushed.push_back(*rect);
  } else {
    ++g_full_flushes;
  }
}
}  // namespace

TEST(Flush, DoesNothingUntilAWindowInstallsItsHook) {
  FRect r{1, 2, 3, 4};
  fplatform_flush(&r);  // no hook: nothing happens
  wins_window_set_flush(record_flush);
  fplatform_flush(&r);
  fplatform_flush(nullptr);
  wins_window_set_flush(nullptr);
  fplatform_flush(&r);
  ASSERT_EQ(g_flushed.size(), 1u);
  EXPECT_TRUE(frect_equal(g_flushed[0], r));
  EXPECT_EQ(g_full_flushes, 1);
}

TEST(TextResolution, LowResolutionScreensUse96) {
  wins_window_set_display_size(240, 320);
  EXPECT_EQ(fplatform_text_dpi(), 96);
  wins_window_set_display_size(320, 240);
  EXPECT_EQ(fplatform_text_dpi(), 96);
  wins_window_set_display_size(320, 320);
  EXPECT_EQ(fplatform_text_dpi(), 96);
  wins_window_set_display_size(176, 208);
  EXPECT_EQ(fplatform_text_dpi(), 192);
  wins_window_set_display_size(480, 640);
  EXPECT_EQ(fplatform_text_dpi(), 192);
  int32_t w = 0, h = 0;
  fplatform_display_size(&w, &h);
  EXPECT_EQ(w, 480);
  EXPECT_EQ(h, 640);
}
