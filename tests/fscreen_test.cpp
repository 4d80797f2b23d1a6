// The screen driven as the platform drives it: paint requests, keys, pen events and a
// display change, asserting the hooks that fired, their order, the pixels and the flushes.

#include "fscreen.h"

#include "surface_fixture.h"

namespace {

class ScreenTest : public SurfaceBench {
 protected:
  // a, b, c, d listed with d in front; b is also the active surface; e the top one.
  void make_stack() {
    probe_create(a, "a", nullptr, {0, 0, 3, 3}, 0xFFFF0000u);
    probe_create(b, "b", nullptr, {2, 2, 5, 5}, 0xFF00FF00u);
    probe_create(c, "c", nullptr, {10, 0, 13, 3}, 0xFF0000FFu);
    probe_create(d, "d", nullptr, {4, 4, 7, 7}, 0xFFFF0000u);
    probe_create(e, "e", nullptr, {20, 0, 23, 3}, 0xFF00FF00u);
    for (Probe* p : {&a, &b, &c, &d}) fsurface_show(&p->surface);
    fscreen_set_active(&screen, &b.surface);
    fscreen_set_top(&screen, &e.surface);
  }
  // The names front to back, read both ways so that a broken back link shows.
  std::string order() {
    std::string names, backwards;
    for (FSurface* s = screen.first; s; s = s->next) names += probe_of(s)->name;
    for (FSurface* s = screen.last; s; s = s->prev) backwards = probe_of(s)->name + backwards;
    EXPECT_EQ(names, backwards);
    return names;
  }
};

TEST_F(ScreenTest, ListChangesThenPaintBackgroundListActiveTopAndFlush) {
  make_stack();
  EXPECT_EQ(order(), "dcba");
  fscreen_add_surface(&screen, &b.surface);  // moves, never doubles
  fsurface_hide(&c.surface);
  fsurface_hide(&c.surface);
  EXPECT_EQ(c.surface.next, &c.surface);
  fsurface_raise(&a.surface);
  fsurface_raise(&d.surface);
  EXPECT_EQ(order(), "dab");
  fsurface_show(&c.surface);

  fscreen_set_paint_suspended(&screen, 1);
  EXPECT_EQ(fscreen_paint(&screen, nullptr), 1);
  EXPECT_EQ(g_log, Log{});
  EXPECT_EQ(screen_rgb(0, 0), 0xFFFFFFu);
  fscreen_set_paint_suspended(&screen, 0);

  ASSERT_EQ(fscreen_paint(&screen, nullptr), 1);
  EXPECT_EQ(g_log, (Log{"background 0,0,39,19", "a:compose", "d:compose", "c:compose",
                        "b:compose", "e:compose", "flush all"}));
  EXPECT_EQ(screen_rgb(3, 3), 0x00FF00u);  // the active b over a
  EXPECT_EQ(screen_rgb(4, 4), 0x00FF00u);  // and over d, listed in front of it
  EXPECT_EQ(screen_rgb(6, 6), 0xFF0000u);
  EXPECT_EQ(screen_rgb(30, 10), 0x808080u);

  // A rectangle is normalized and cut to the screen; one wholly outside paints nothing.
  g_log.clear();
  FRect corner{50, 30, 35, 15}, outside{40, 0, 45, 5};
  fscreen_paint(&screen, &corner);
  EXPECT_EQ(g_log.front(), "background 35,15,39,19");
  EXPECT_EQ(g_log.back(), "flush 35,15,39,19");
  g_log.clear();
  fscreen_paint(&screen, &outside);
  EXPECT_EQ(g_log, Log{});

  // Half-transparent c: (255 x 128 + 128 x 127) >> 8 = 0xBF blue over grey, and a partial
  // repaint must not blend c over itself beside the repainted part.
  fsurface_set_color_key(&c.surface, fcolor_make(1, 2, 3, 128));
  fscreen_paint(&screen, nullptr);
  FRect part{10, 0, 11, 1};
  fscreen_paint(&screen, &part);
  EXPECT_EQ(screen_rgb(10, 0), 0x3F3FBFu);
  EXPECT_EQ(screen_rgb(12, 0), 0x3F3FBFu);
  EXPECT_EQ(screen.canvas.clip_on, 0);
}

TEST_F(ScreenTest, KeysGoTopThenActiveThenListedFrontToBackThenDefault) {
  make_stack();
  fscreen_set_on_key_default(&screen, [](uint32_t code, int32_t, uint32_t) {
    g_log.push_back(fmt("default %u", code));
    return 1;
  });
  EXPECT_EQ(fscreen_key(&screen, 0xF805, 2, FMOD_CTRL), 1);
  // b, listed as well, is not asked a second time.
  EXPECT_EQ(g_log, (Log{"e:key 63493 2 4", "b:key 63493 2 4", "d:key 63493 2 4",
                        "c:key 63493 2 4", "a:key 63493 2 4", "default 63493"}));

  // The first taker ends it; hidden surfaces and surfaces without a key hook are passed.
  g_log.clear();
  c.key_answer = 1;
  fsurface_set_visible(&e.surface, 0);
  fsurface_set_on_key(&d.surface, nullptr);
  EXPECT_EQ(fscreen_key(&screen, 'x', 1, 0), 1);
  EXPECT_EQ(g_log, (Log{"b:key 120 1 0", "c:key 120 1 0"}));

  c.key_answer = 0;
  fscreen_set_on_key_default(&screen, nullptr);
  EXPECT_EQ(fscreen_key(&screen, 127, 1, 0), 0);
}

TEST_F(ScreenTest, CaptureGetsThePenInItsParentsCoordinatesUntilPenUp) {
  make_stack();
  Probe parent{}, child{};
  probe_create(parent, "P", nullptr, {10, 5, 29, 14}, 0xFF0000FFu);
  probe_create(child, "C", &parent, {2, 3, 5, 6}, 0xFFFF0000u);
  fscreen_set_on_pointer_default(&screen, [](int32_t type, int32_t x, int32_t y, uint32_t) {
    g_log.push_back(fmt("default %d %d,%d", type, x, y));
    return 0;
  });
  // Outside its rect the capture surface is still asked first, then the usual order.
  fsurface_set_capture(&child.surface, 1);
  EXPECT_EQ(fscreen_pointer(&screen, FPOINTER_DOWN, 3, 2, FMOD_SHIFT), 0);
  EXPECT_EQ(g_log, (Log{"C:pen 1 -7,-3 2", "b:pen 1 3,2 2", "d:pen 1 3,2 2", "c:pen 1 3,2 2",
                        "a:pen 1 3,2 2", "default 1 3,2"}));

  g_log.clear();
  child.pointer_answer = 1;
  EXPECT_EQ(fscreen_pointer(&screen, FPOINTER_MOVE, 35, 18, 0), 1);
  EXPECT_EQ(g_log, Log{"C:pen 3 25,13 0"});

  // Pen up ends the capture even when refused; the event then goes on.
  g_log.clear();
  child.pointer_answer = 0;
  b.pointer_answer = 1;
  EXPECT_EQ(fscreen_pointer(&screen, FPOINTER_UP, 12, 9, 0), 1);
  EXPECT_EQ(g_log, (Log{"C:pen 2 2,4 0", "b:pen 2 12,9 0"}));
  EXPECT_EQ(fscreen_get_capture(&screen), nullptr);
  EXPECT_EQ(child.surface.captured, 0);
  EXPECT_EQ(fscreen_get_pointer_pos(&screen).y, 9);

  g_log.clear();
  fscreen_set_active(&screen, nullptr);
  d.pointer_answer = 1;
  EXPECT_EQ(fscreen_pointer(&screen, FPOINTER_DOWN, 1, 1, 0), 1);
  EXPECT_EQ(g_log, Log{"d:pen 1 1,1 0"});
  fsurface_release(&child.surface);
  fsurface_release(&parent.surface);
}

TEST_F(ScreenTest, HooksMayDestroySurfacesWhileTheScreenDispatches) {
  // Heap records, so that a touch after destruction shows under the address sanitizer.
  Probe* back = new Probe{};
  Probe* middle = new Probe{};
  Probe* front = new Probe{};
  probe_create(*back, "back", nullptr, {0, 0, 3, 3}, 0xFFFF0000u);
  probe_create(*middle, "middle", nullptr, {0, 0, 3, 3}, 0xFFFF0000u);
  probe_create(*front, "front", nullptr, {0, 0, 3, 3}, 0xFFFF0000u);
  for (Probe* p : {back, middle, front}) fsurface_show(&p->surface);
  front->other = middle;  // front closes the surface behind it and declines
  front->action = [](Probe* p) {
    fsurface_release(&p->other->surface);
    delete p->other;
    p->action = nullptr;
  };
  EXPECT_EQ(fscreen_pointer(&screen, FPOINTER_DOWN, 1, 1, 0), 0);
  EXPECT_EQ(g_log, (Log{"front:pen 1 1,1 0", "back:pen 1 1,1 0"}));

  // The capture surface closes itself at pen up.
  fsurface_set_capture(&front->surface, 1);
  front->pointer_answer = 1;
  front->action = [](Probe* p) {
    fsurface_release(&p->surface);
    delete p;
  };
  EXPECT_EQ(fscreen_pointer(&screen, FPOINTER_UP, 2, 2, 0), 1);
  EXPECT_EQ(fscreen_get_capture(&screen), nullptr);
  EXPECT_EQ(screen.first, &back->surface);
  EXPECT_EQ(screen.last, &back->surface);

  // A capture handed on during pen up survives it.
  probe_create(a, "a", nullptr, {0, 0, 3, 3}, 0xFFFF0000u);
  back->other = &a;
  back->action = [](Probe* p) { fsurface_set_capture(&p->other->surface, 1); };
  fsurface_set_capture(&back->surface, 1);
  g_log.clear();
  fscreen_pointer(&screen, FPOINTER_UP, 2, 2, 0);
  EXPECT_EQ(g_log, Log{"back:pen 2 2,2 0"});  // declined, yet not asked again as listed
  EXPECT_EQ(fscreen_get_capture(&screen), &a.surface);
  EXPECT_EQ(back->surface.captured, 0);
  fsurface_release(&back->surface);
  delete back;
}

TEST_F(ScreenTest, ResizeThenBroadcastTellsBackToFrontThenTheScreenAndPaintsOnce) {
  probe_create(a, "a", nullptr, {0, 0, 3, 3}, 0xFFFF0000u);
  probe_create(b, "b", nullptr, {30, 10, 39, 19}, 0xFF00FF00u);
  probe_create(c, "c", &b, {1, 1, 2, 2}, 0xFF0000FFu);
  fsurface_show(&a.surface);
  fsurface_show(&b.surface);
  // Paints asked for mid-change, as a re-layout would, must not reach the display.
  fsurface_set_on_screen_changed(&a.surface, [](FSurface* s, const FRect* r) {
    note(s, ":screen " + text(*r));
    fscreen_paint(fscreen_get(), nullptr);
  });
  fscreen_set_on_screen_changed(&screen, [](const FRect* r) {
    g_log.push_back("changed " + text(*r));
    fscreen_paint(fscreen_get(), nullptr);
  });
  EXPECT_EQ(fscreen_resize(&screen, 100000, 100000), 0);  // the old buffer is kept
  EXPECT_EQ(fscreen_get_width(&screen), 40);
  ASSERT_EQ(fscreen_resize(&screen, 30, 10), 1);
  FRect full = screen.rect;
  fscreen_broadcast_screen_changed(&screen, &full);
  EXPECT_EQ(g_log, (Log{"a:screen 0,0,29,9", "b:screen 0,0,29,9", "c:screen 0,0,29,9",
                        "changed 0,0,29,9", "background 0,0,29,9", "a:compose", "b:compose",
                        "flush all"}));
  EXPECT_EQ(screen.paint_suspended, 0u);
}

TEST_F(ScreenTest, BufferRowsAreTopDownAndSurfacesFollowItsDepthAfterAResize) {
  fscreen_release(&screen);
  EXPECT_EQ(fscreen_get(), nullptr);  // the released screen is no longer the global one
  ASSERT_EQ(fscreen_create(&screen, 8, 6, 16), 1);  // top-down rows whatever the sign
  fscreen_set_global(&screen);
  ASSERT_EQ(fscreen_resize(&screen, 12, 4), 1);
  probe_create(a, "a", nullptr, {0, 0, 3, 3}, 0xFF000000u);
  EXPECT_EQ(fbitmap_get_bpp(a.surface.canvas.bitmap), 16);
  EXPECT_EQ(fbitmap_is_top_down(a.surface.canvas.bitmap), 1);
  EXPECT_EQ(fsurface_set_rect(&a.surface, 0, 0, 0, -3), 1);  // at least one pixel
  EXPECT_EQ(fsurface_get_width(&a.surface), 1);
}

TEST(ScreenDeathTest, NullRecordsAreFatal) {
  EXPECT_DEATH(fscreen_paint(nullptr, nullptr), "screen!=null");
  FScreen screen{};
  EXPECT_DEATH(fscreen_add_surface(&screen, nullptr), "screen!=null && surface!=null");
}

}  // namespace
