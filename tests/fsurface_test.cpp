// Surfaces on a real screen: the hooks that fire and their order, the back buffer's
// pixels and the flushed rectangles.

#include "fsurface.h"

#include "surface_fixture.h"

namespace {

using SurfaceTest = SurfaceBench;

TEST_F(SurfaceTest, RealizeBuildsTheSubtreeAndUpdateRecomposesUpTheChain) {
  // P at (2, 1) holds C at (1, 1), which holds the one-pixel G at (0, 0).
  probe_create(a, "P", nullptr, {2, 1, 11, 8}, 0xFF0000FFu);
  probe_create(b, "C", &a, {1, 1, 3, 2}, 0xFF00FF00u);
  probe_create(c, "G", &b, {0, 0, 0, 0}, 0xFFFF0000u);
  fsurface_show(&a.surface);
  EXPECT_EQ(fsurface_update(&b.surface, nullptr), 0);  // never realized: nothing happens
  EXPECT_EQ(g_log, Log{});

  ASSERT_EQ(fsurface_realize(&a.surface), 1);
  EXPECT_EQ(fsurface_realize(&a.surface), 1);  // once only
  EXPECT_EQ(g_log, (Log{"P:moved 2,1,11,8", "C:screen 2,1,11,8", "G:screen 2,1,11,8",
                        "P:draw 0,0,9,7", "C:moved 1,1,3,2", "G:screen 1,1,3,2",
                        "C:draw 0,0,2,1", "G:moved 0,0,0,0", "G:draw 0,0,0,0", "G:compose",
                        "C:compose"}));
  EXPECT_EQ(rgb(a.surface.canvas.bitmap, 1, 1), 0xFF0000u);  // G through C
  EXPECT_EQ(rgb(a.surface.canvas.bitmap, 3, 2), 0x00FF00u);
  EXPECT_EQ(screen_rgb(3, 2), 0xFFFFFFu);  // the screen has not been painted

  g_log.clear();
  FRect part{0, 0, 1, 0};  // C's two left pixels of its top row
  ASSERT_EQ(fsurface_update(&b.surface, &part), 1);
  EXPECT_EQ(g_log, (Log{"C:draw 0,0,2,1", "G:compose", "P:draw 0,0,9,7", "C:compose",
                        "background 3,2,4,2", "P:compose", "flush 3,2,4,2"}));
  EXPECT_EQ(screen_rgb(3, 2), 0xFF0000u);
  EXPECT_EQ(screen_rgb(5, 2), 0xFFFFFFu);  // outside the area nothing was painted
}

TEST_F(SurfaceTest, MovingThenUpdatingRepaintsTheOldAndTheNewPlace) {
  probe_create(a, "a", nullptr, {1, 2, 5, 6}, 0xFFFF0000u);
  fsurface_move_by(&a.surface, 1, 0, 0);  // not realized: no old place to repaint
  EXPECT_EQ(fsurface_get_dirty(&a.surface, nullptr), 0);
  fsurface_show(&a.surface);
  fsurface_realize(&a.surface);
  g_log.clear();

  fsurface_move_by(&a.surface, 10, 0, 1);
  fsurface_move_by(&a.surface, 0, 0, 1);  // no change, no call
  ASSERT_EQ(fsurface_update(&a.surface, nullptr), 1);
  EXPECT_EQ(g_log, (Log{"a:moved 12,2,16,6", "a:draw 0,0,4,4", "background 2,2,16,6",
                        "a:compose", "flush 2,2,16,6"}));
  EXPECT_EQ(screen_rgb(6, 6), 0x808080u);  // the place it left

  // The dirty place is spent by the update and widened by every later move.
  fsurface_move_by(&a.surface, -1, 0, 0);
  fsurface_move_by(&a.surface, 0, 3, 0);
  FRect dirty{};
  ASSERT_EQ(fsurface_get_dirty(&a.surface, &dirty), 1);
  EXPECT_TRUE(frect_equal(dirty, FRect{11, 2, 16, 9}));
}

TEST_F(SurfaceTest, ResizeRecreatesTheCanvasAndTellsTheChildren) {
  probe_create(a, "P", nullptr, {2, 1, 11, 8}, 0xFF0000FFu);
  probe_create(b, "C", &a, {1, 1, 3, 2}, 0xFF00FF00u);
  probe_create(c, "G", &b, {0, 0, 0, 0}, 0xFFFF0000u);
  fsurface_realize(&a.surface);
  g_log.clear();
  ASSERT_EQ(fsurface_resize(&a.surface, 6, 4), 1);
  EXPECT_EQ(g_log, (Log{"P:moved 2,1,7,4", "C:screen 2,1,7,4", "G:screen 2,1,7,4"}));
  const FBitmap* bitmap = a.surface.canvas.bitmap;
  EXPECT_TRUE(frect_equal(a.surface.canvas.rect, FRect{0, 0, 5, 3}));

  // Same size: nothing, or only on_moved for a new place, and the canvas is kept.
  g_log.clear();
  EXPECT_EQ(fsurface_resize(&a.surface, 6, 4), 1);
  EXPECT_EQ(fsurface_set_rect(&a.surface, 5, 5, 6, 4), 1);
  EXPECT_EQ(g_log, Log{"P:moved 5,5,10,8"});
  EXPECT_EQ(a.surface.canvas.bitmap, bitmap);

  // No memory for the canvas: 0, no canvas, and updating stays harmless.
  g_log.clear();
  EXPECT_EQ(fsurface_set_rect(&a.surface, 0, 0, 100000, 100000), 0);
  EXPECT_EQ(a.surface.canvas.bitmap, nullptr);
  fsurface_show(&a.surface);
  EXPECT_EQ(fsurface_update(&a.surface, nullptr), 1);
  EXPECT_EQ(g_log, (Log{"background 0,0,39,19", "P:compose", "flush 0,0,39,19"}));
}

TEST_F(SurfaceTest, CompositionGoesThroughTheMaskOverTheKeyOrTheHook) {
  FCanvas target{};
  ASSERT_EQ(fcanvas_create(&target, nullptr, 32, 8, -1), 1);
  using Row = std::vector<uint32_t>;
  auto compose_row = [&] {
    fbitmap_fill_rect(target.bitmap, 0, 0, 7, 0, 0xFF808080u);
    fsurface_compose(&a.surface, &target);
    Row row;
    for (int32_t x = 0; x < 8; ++x) row.push_back(rgb(target.bitmap, x, 0));
    return row;
  };
  constexpr uint32_t g = 0x808080;
  probe_create(a, "a", nullptr, {2, 0, 5, 0}, 0xFF102030u);
  fbitmap_fill_rect(a.surface.canvas.bitmap, 2, 0, 3, 0, 0xFF302010u);
  EXPECT_EQ(compose_row(), (Row{g, g, 0x102030, 0x102030, 0x302010, 0x302010, g, g}));

  // The key is matched with red in the low byte: only the first colour vanishes.
  fsurface_set_color_key(&a.surface, 0xFF102030u);
  EXPECT_EQ(compose_row(), (Row{g, g, g, g, 0x302010, 0x302010, g, g}));

  // The mask wins over the key. Blends shift by 8: full cover keeps (src x 255) >> 8.
  FBitmap mask{};
  ASSERT_EQ(fbitmap_init(&mask, 4, -1, 8), 1);
  for (int32_t x = 0; x < 4; ++x) fbitmap_set_pixel(&mask, x, 0, x % 2 ? 0 : 255);
  fsurface_set_mask(&a.surface, &mask, 255);
  EXPECT_EQ(compose_row(), (Row{g, g, 0x0F1F2F, 0x7F7F7F, 0x2F1F0F, 0x7F7F7F, g, g}));

  // on_compose replaces the bitmap, after before_compose; a hidden surface gets neither.
  fsurface_set_on_compose(&a.surface, [](FSurface*, FCanvas*, const FRect* r) {
    g_log.push_back("on_compose " + text(*r));
  });
  g_log.clear();
  EXPECT_EQ(compose_row(), (Row(8, g)));
  fsurface_set_visible(&a.surface, 0);
  compose_row();
  EXPECT_EQ(g_log, (Log{"a:compose", "on_compose 2,0,5,0"}));
  fbitmap_release(&mask);
  fcanvas_release(&target);
}

TEST_F(SurfaceTest, DirectUpdateGoesStraightToTheScreenUnderTheActiveSurface) {
  probe_create(a, "P", nullptr, {10, 5, 29, 14}, 0xFF0000FFu);
  probe_create(b, "D", &a, {2, 2, 9, 7}, 0xFF00FF00u);
  probe_create(c, "A", nullptr, {14, 6, 16, 8}, 0xFFFF0000u);
  fsurface_set_direct(&b.surface, 1, 0);
  for (Probe* p : {&a, &c}) fsurface_realize(&p->surface);
  fsurface_show(&a.surface);
  fscreen_set_active(&screen, &c.surface);
  fscreen_paint(&screen, nullptr);

  b.color = 0xFFFFFF00u;
  g_log.clear();
  FRect part{5, 3, 0, 0};  // corners swapped
  ASSERT_EQ(fsurface_update(&b.surface, &part), 1);
  EXPECT_EQ(g_log, (Log{"D:draw 0,0,7,5", "A:compose", "flush 12,7,17,10"}));
  EXPECT_EQ(screen_rgb(12, 7), 0xFFFF00u);
  EXPECT_EQ(screen_rgb(18, 7), 0x00FF00u);  // beyond the area
  EXPECT_EQ(screen_rgb(14, 7), 0xFF0000u);  // the active surface, laid over again
  EXPECT_EQ(rgb(a.surface.canvas.bitmap, 2, 2), 0x00FF00u);

  // paint_ancestors brings the parent up to date; an active ancestor is not laid over.
  fsurface_set_direct(&b.surface, 1, 1);
  fscreen_set_active(&screen, &a.surface);
  g_log.clear();
  ASSERT_EQ(fsurface_update(&b.surface, nullptr), 1);
  EXPECT_EQ(g_log, (Log{"D:draw 0,0,7,5", "D:compose", "flush 12,7,19,12"}));
  EXPECT_EQ(rgb(a.surface.canvas.bitmap, 2, 2), 0xFFFF00u);

  // Hidden, it is not blitted: the parent recomposes the place.
  fsurface_set_visible(&b.surface, 0);
  g_log.clear();
  ASSERT_EQ(fsurface_update(&b.surface, nullptr), 1);
  EXPECT_EQ(g_log, (Log{"D:draw 0,0,7,5", "P:draw 0,0,19,9", "background 12,7,19,12",
                        "P:compose", "flush 12,7,19,12"}));
  EXPECT_EQ(screen_rgb(12, 7), 0x0000FFu);
}

TEST_F(SurfaceTest, CaptureAndReleaseKeepTheScreensReferencesTrue) {
  probe_create(a, "a", nullptr, {0, 0, 3, 3}, 0xFFFF0000u);
  probe_create(b, "b", nullptr, {4, 0, 7, 3}, 0xFF0000FFu);
  for (Probe* p : {&a, &b}) fsurface_set_capture(&p->surface, 1);
  fsurface_set_capture(&a.surface, 0);  // a no longer holds the capture, so cannot end it
  EXPECT_EQ(fscreen_get_capture(&screen), &b.surface);
  fscreen_set_active(&screen, &b.surface);
  fscreen_set_top(&screen, &b.surface);
  fsurface_release(&b.surface);
  EXPECT_EQ(fscreen_get_capture(&screen), nullptr);
  EXPECT_EQ(fscreen_get_active(&screen), nullptr);
  EXPECT_EQ(fscreen_get_top(&screen), nullptr);
}

TEST(SurfaceDeathTest, NullSurfaceIsFatal) {
  EXPECT_DEATH(fsurface_update(nullptr, nullptr), "surface!=null");
}

}  // namespace
