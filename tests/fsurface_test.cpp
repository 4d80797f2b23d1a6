// Surfaces on a real screen: the hooks that fire and their order, the back buffer's
// pixels and the flushed rectangles.

#include "fsurface.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fscreen.h"
#include "wins_window.h"

namespace {

using Log = std::vector<std::string>;
Log g_log;

std::string text(const FRect& r) {
  return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) +
         "," + std::to_string(r.bottom);
}

// The surface comes first so that a hook finds its probe, as a control finds itself.
struct Probe {
  FSurface surface;
  const char* name;
  FColor color;
  int32_t child_total;
  Probe* children[2];
};
Probe* probe_of(FSurface* s) { return reinterpret_cast<Probe*>(s); }
void note(FSurface* s, const std::string& what) { g_log.push_back(probe_of(s)->name + what); }

void probe_create(Probe& p, const char* name, Probe* parent, FRect rect, FColor color) {
  p.name = name;
  p.color = color;
  ASSERT_EQ(fsurface_create(&p.surface, parent ? &parent->surface : nullptr, &rect, 0), 1);
  fsurface_set_on_draw(&p.surface, [](FSurface* s, FCanvas* canvas, const FRect* r) {
    note(s, ":draw " + text(*r));
    fbitmap_fill_rect(canvas->bitmap, r->left, r->top, r->right, r->bottom, probe_of(s)->color);
  });
  fsurface_set_on_moved(&p.surface, [](FSurface* s, const FRect* r) { note(s, ":moved " + text(*r)); });
  fsurface_set_on_screen_changed(&p.surface,
                                 [](FSurface* s, const FRect* r) { note(s, ":screen " + text(*r)); });
  fsurface_set_before_compose(&p.surface,
                              [](FSurface* s, FCanvas*, const FRect*) { note(s, ":compose"); });
  fsurface_set_children(
      &p.surface, [](FSurface* s) { return probe_of(s)->child_total; },
      [](FSurface* s, int32_t i) { return &probe_of(s)->children[i]->surface; });
  if (parent) parent->children[parent->child_total++] = &p;
}

uint32_t rgb(const FBitmap* bitmap, int32_t x, int32_t y) {
  return fbitmap_get_pixel(bitmap, x, y) & 0xFFFFFF;
}

// A 40 x 20 screen at 32 bpp, made global, with a grey background and a recording flush.
class SurfaceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(fscreen_create(&screen, 40, -20, 32), 1);
    fscreen_set_global(&screen);
    fscreen_set_on_paint_background(&screen, [](FScreen* sc, const FRect* r) {
      g_log.push_back("background " + text(*r));
      fbitmap_fill_rect(sc->canvas.bitmap, r->left, r->top, r->right, r->bottom, 0xFF808080u);
    });
    wins_window_set_flush([](const FRect* r) { g_log.push_back("flush " + (r ? text(*r) : "all")); });
    g_log.clear();
  }
  void TearDown() override {
    for (Probe* p : {&a, &p1, &c1, &g1}) fsurface_release(&p->surface);
    wins_window_set_flush(nullptr);
    fscreen_release(&screen);
  }
  uint32_t screen_rgb(int32_t x, int32_t y) { return rgb(screen.canvas.bitmap, x, y); }
  // P at (2, 1) holds C at (1, 1), which holds the one-pixel G at (0, 0).
  void make_tree() {
    probe_create(p1, "P", nullptr, {2, 1, 11, 8}, 0xFF0000FFu);
    probe_create(c1, "C", &p1, {1, 1, 3, 2}, 0xFF00FF00u);
    probe_create(g1, "G", &c1, {0, 0, 0, 0}, 0xFFFF0000u);
  }

  FScreen screen{};
  Probe a{}, p1{}, c1{}, g1{};
};

TEST_F(SurfaceTest, RealizeBuildsTheSubtreeAndUpdateRecomposesUpTheChain) {
  make_tree();
  fsurface_show(&p1.surface);
  EXPECT_EQ(fsurface_update(&c1.surface, nullptr), 0);  // never realized: nothing happens
  EXPECT_EQ(fsurface_redraw(&p1.surface), 0);
  EXPECT_EQ(g_log, Log{});

  ASSERT_EQ(fsurface_realize(&p1.surface), 1);
  EXPECT_EQ(g_log, (Log{"P:moved 2,1,11,8", "C:screen 2,1,11,8", "G:screen 2,1,11,8",
                        "P:draw 0,0,9,7", "C:moved 1,1,3,2", "G:screen 1,1,3,2",
                        "C:draw 0,0,2,1", "G:moved 0,0,0,0", "G:draw 0,0,0,0", "G:compose",
                        "C:compose"}));
  EXPECT_EQ(fsurface_realize(&p1.surface), 1);  // once only
  EXPECT_EQ(g_log.size(), 11u);
  EXPECT_EQ(rgb(p1.surface.canvas.bitmap, 1, 1), 0xFF0000u);  // G through C
  EXPECT_EQ(rgb(p1.surface.canvas.bitmap, 3, 2), 0x00FF00u);
  EXPECT_EQ(rgb(p1.surface.canvas.bitmap, 4, 2), 0x0000FFu);
  EXPECT_TRUE(frect_equal(fsurface_get_screen_rect(&g1.surface), FRect{3, 2, 3, 2}));
  EXPECT_EQ(screen_rgb(3, 2), 0xFFFFFFu);  // the screen has not been painted

  g_log.clear();
  FRect part{1, 0, 0, 0};  // C's two left pixels of its top row, corners swapped
  ASSERT_EQ(fsurface_update(&c1.surface, &part), 1);
  EXPECT_EQ(g_log, (Log{"C:draw 0,0,2,1", "G:compose", "P:draw 0,0,9,7", "C:compose",
                        "background 3,2,4,2", "P:compose", "flush 3,2,4,2"}));
  EXPECT_EQ(screen_rgb(3, 2), 0xFF0000u);
  EXPECT_EQ(screen_rgb(4, 2), 0x00FF00u);
  EXPECT_EQ(screen_rgb(5, 2), 0xFFFFFFu);  // outside the area nothing was painted
}

TEST_F(SurfaceTest, MovingThenUpdatingRepaintsTheOldAndTheNewPlace) {
  probe_create(a, "a", nullptr, {2, 2, 6, 6}, 0xFFFF0000u);
  fsurface_move_by(&a.surface, 1, 0, 0);  // not realized: no old place to repaint
  EXPECT_EQ(fsurface_get_dirty(&a.surface, nullptr), 0);
  fsurface_move_by(&a.surface, -1, 0, 0);
  fsurface_show(&a.surface);
  fsurface_realize(&a.surface);
  fscreen_paint(&screen, nullptr);
  g_log.clear();

  fsurface_move_by(&a.surface, 10, 0, 1);
  fsurface_move_by(&a.surface, 0, 0, 1);  // no change, no call
  ASSERT_EQ(fsurface_update(&a.surface, nullptr), 1);
  EXPECT_EQ(g_log, (Log{"a:moved 12,2,16,6", "a:draw 0,0,4,4", "background 2,2,16,6",
                        "a:compose", "flush 2,2,16,6"}));
  EXPECT_EQ(screen_rgb(6, 6), 0x808080u);
  EXPECT_EQ(screen_rgb(12, 2), 0xFF0000u);
  EXPECT_EQ(fsurface_get_dirty(&a.surface, nullptr), 0);

  fsurface_move_by(&a.surface, -1, 0, 0);
  fsurface_move_by(&a.surface, 0, 3, 0);
  FRect dirty{};
  ASSERT_EQ(fsurface_get_dirty(&a.surface, &dirty), 1);
  EXPECT_TRUE(frect_equal(dirty, FRect{11, 2, 16, 9}));
}

TEST_F(SurfaceTest, ResizeRecreatesTheCanvasAndTellsTheChildren) {
  make_tree();
  fsurface_realize(&p1.surface);
  g_log.clear();
  ASSERT_EQ(fsurface_resize(&p1.surface, 6, 4), 1);
  EXPECT_EQ(g_log, (Log{"P:moved 2,1,7,4", "C:screen 2,1,7,4", "G:screen 2,1,7,4"}));
  const FBitmap* bitmap = p1.surface.canvas.bitmap;
  EXPECT_EQ(fbitmap_get_width(bitmap), 6);
  EXPECT_EQ(fbitmap_get_height(bitmap), 4);
  EXPECT_EQ(fbitmap_is_top_down(bitmap), 1);
  EXPECT_EQ(p1.surface.canvas.owner, &p1.surface);
  EXPECT_TRUE(frect_equal(p1.surface.canvas.rect, FRect{0, 0, 5, 3}));

  // Same size: nothing, or only on_moved for a new place, and the canvas is kept.
  g_log.clear();
  EXPECT_EQ(fsurface_resize(&p1.surface, 6, 4), 1);
  EXPECT_EQ(fsurface_set_rect(&p1.surface, 5, 5, 6, 4), 1);
  EXPECT_EQ(g_log, Log{"P:moved 5,5,10,8"});
  EXPECT_EQ(p1.surface.canvas.bitmap, bitmap);

  // No memory for the canvas: 0, no canvas, and updating stays harmless.
  g_log.clear();
  EXPECT_EQ(fsurface_set_rect(&p1.surface, 0, 0, 100000, 100000), 0);
  EXPECT_EQ(p1.surface.canvas.bitmap, nullptr);
  fsurface_show(&p1.surface);
  EXPECT_EQ(fsurface_update(&p1.surface, nullptr), 1);
  EXPECT_EQ(g_log, (Log{"background 0,0,39,19", "P:compose", "flush 0,0,39,19"}));

  // The canvas follows the screen's depth.
  FScreen deep{};
  ASSERT_EQ(fscreen_create(&deep, 4, -4, 16), 1);
  fscreen_set_global(&deep);
  EXPECT_EQ(fsurface_set_rect(&p1.surface, 0, 0, 0, -3), 1);  // at least one pixel
  EXPECT_EQ(fbitmap_get_bpp(p1.surface.canvas.bitmap), 16);
  EXPECT_EQ(fsurface_get_width(&p1.surface), 1);
  fscreen_release(&deep);
  fscreen_set_global(&screen);
}

TEST_F(SurfaceTest, CompositionGoesThroughTheMaskOverTheKeyOrTheHook) {
  FCanvas target{};
  ASSERT_EQ(fcanvas_create(&target, nullptr, 32, 8, -1), 1);
  auto compose_row = [&] {
    fbitmap_fill_rect(target.bitmap, 0, 0, 7, 0, 0xFF808080u);
    fsurface_compose(&a.surface, &target);
    std::vector<uint32_t> row;
    for (int32_t x = 0; x < 8; ++x) row.push_back(rgb(target.bitmap, x, 0));
    return row;
  };
  using Row = std::vector<uint32_t>;
  constexpr uint32_t g = 0x808080;
  FRect rect{2, 0, 5, 0};
  ASSERT_EQ(fsurface_create(&a.surface, nullptr, &rect, 0), 1);
  fbitmap_fill_rect(a.surface.canvas.bitmap, 0, 0, 1, 0, 0xFF102030u);
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

  // on_compose replaces the bitmap; before_compose comes first, with the target's rect.
  fsurface_set_before_compose(&a.surface, [](FSurface*, FCanvas*, const FRect* r) {
    g_log.push_back("before " + text(*r));
  });
  fsurface_set_on_compose(&a.surface, [](FSurface*, FCanvas*, const FRect* r) {
    g_log.push_back("compose " + text(*r));
  });
  EXPECT_EQ(compose_row(), (Row(8, g)));
  EXPECT_EQ(g_log, (Log{"before 0,0,7,0", "compose 2,0,5,0"}));
  fsurface_set_visible(&a.surface, 0);
  compose_row();
  EXPECT_EQ(g_log.size(), 2u);
  fbitmap_release(&mask);
  fcanvas_release(&target);
}

TEST_F(SurfaceTest, DirectUpdateGoesStraightToTheScreenUnderTheActiveSurface) {
  probe_create(p1, "P", nullptr, {10, 5, 29, 14}, 0xFF0000FFu);
  probe_create(c1, "D", &p1, {2, 2, 9, 7}, 0xFF00FF00u);
  probe_create(a, "A", nullptr, {14, 6, 16, 8}, 0xFFFF0000u);
  fsurface_set_direct(&c1.surface, 1, 0);
  fsurface_show(&p1.surface);
  fsurface_show(&a.surface);
  fscreen_set_active(&screen, &a.surface);
  fsurface_realize(&p1.surface);
  fsurface_realize(&a.surface);
  fscreen_paint(&screen, nullptr);

  c1.color = 0xFFFFFF00u;
  g_log.clear();
  FRect part{0, 0, 5, 3};
  ASSERT_EQ(fsurface_update(&c1.surface, &part), 1);
  EXPECT_EQ(g_log, (Log{"D:draw 0,0,7,5", "A:compose", "flush 12,7,17,10"}));
  EXPECT_EQ(screen_rgb(12, 7), 0xFFFF00u);
  EXPECT_EQ(screen_rgb(18, 7), 0x00FF00u);  // beyond the area
  EXPECT_EQ(screen_rgb(14, 7), 0xFF0000u);  // the active surface, laid over again
  EXPECT_EQ(rgb(p1.surface.canvas.bitmap, 2, 2), 0x00FF00u);

  // paint_ancestors brings the parent up to date; an active ancestor is not laid over.
  fsurface_set_direct(&c1.surface, 1, 1);
  fscreen_set_active(&screen, &p1.surface);
  g_log.clear();
  ASSERT_EQ(fsurface_update(&c1.surface, nullptr), 1);
  EXPECT_EQ(g_log, (Log{"D:draw 0,0,7,5", "D:compose", "flush 12,7,19,12"}));
  EXPECT_EQ(rgb(p1.surface.canvas.bitmap, 2, 2), 0xFFFF00u);
  EXPECT_EQ(screen_rgb(14, 7), 0xFFFF00u);

  // Hidden, it is not blitted: the parent recomposes the place.
  fsurface_set_visible(&c1.surface, 0);
  g_log.clear();
  ASSERT_EQ(fsurface_update(&c1.surface, nullptr), 1);
  EXPECT_EQ(g_log, (Log{"D:draw 0,0,7,5", "P:draw 0,0,19,9", "background 12,7,19,12",
                        "A:compose", "P:compose", "flush 12,7,19,12"}));
  EXPECT_EQ(screen_rgb(12, 7), 0x0000FFu);
}

TEST_F(SurfaceTest, CaptureAndReleaseKeepTheScreensReferencesTrue) {
  probe_create(a, "a", nullptr, {0, 0, 3, 3}, 0xFFFF0000u);
  probe_create(p1, "b", nullptr, {4, 0, 7, 3}, 0xFF0000FFu);
  fsurface_set_capture(&a.surface, 1);
  fsurface_set_capture(&p1.surface, 1);
  EXPECT_EQ(a.surface.captured, 0);
  fsurface_set_capture(&a.surface, 0);  // a no longer holds it
  EXPECT_EQ(fscreen_get_capture(&screen), &p1.surface);

  fsurface_show(&a.surface);
  fsurface_show(&p1.surface);
  fsurface_set_capture(&a.surface, 1);
  fscreen_set_active(&screen, &a.surface);
  fscreen_set_top(&screen, &a.surface);
  fsurface_release(&a.surface);
  EXPECT_EQ(fscreen_get_capture(&screen), nullptr);
  EXPECT_EQ(fscreen_get_active(&screen), nullptr);
  EXPECT_EQ(fscreen_get_top(&screen), nullptr);
  EXPECT_EQ(screen.first, &p1.surface);
  EXPECT_EQ(p1.surface.next, nullptr);
  EXPECT_EQ(a.surface.canvas.bitmap, nullptr);
}

TEST(SurfaceDeathTest, NullSurfaceIsFatal) {
  EXPECT_DEATH(fsurface_update(nullptr, nullptr), "surface!=null");
}

}  // namespace
