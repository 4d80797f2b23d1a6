// Surfaces on a real screen: the hooks that fire and their order, the back buffer's
// pixels and the flushed rectangles; hooks that release their surface or its parent
// (plain surfaces and controls), and how often a resize tells the tree below.

#include "fsurface.h"

#include <algorithm>

#include "fcontrol.h"
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

// ---- Hooks that release surfaces --------------------------------------------------------

// Probes on the heap, so that the address sanitizer sees every read of a freed one.
Probe* probe_new(const char* name, Probe* parent, FRect rect) {
  auto* p = new Probe{};
  probe_create(*p, name, parent, rect, 0xFF0000FFu);
  return p;
}

// As a well-behaved owner frees a dialog: out of its parent's children, its own children
// orphaned, released, deleted.
void probe_free(Probe* p) {
  if (FSurface* parent = p->surface.parent) {
    Probe* owner = probe_of(parent);
    for (int32_t i = 0; i < owner->child_total; ++i) {
      if (owner->children[i] != p) continue;
      owner->children[i] = owner->children[--owner->child_total];
      break;
    }
  }
  for (int32_t i = 0; i < p->child_total; ++i) {
    fsurface_set_parent(&p->children[i]->surface, nullptr);
  }
  fsurface_release(&p->surface);
  delete p;
}

// Hooks that log like the probe's own, then free the probe's `other`, itself when unset.
void free_target(FSurface* s) {
  Probe* p = probe_of(s);
  probe_free(p->other ? p->other : p);
}
void moved_then_free(FSurface* s, const FRect* r) {
  note(s, ":moved " + text(*r));
  free_target(s);
}
void draw_then_free(FSurface* s, FCanvas*, const FRect* r) {
  note(s, ":draw " + text(*r));
  free_target(s);
}
void screen_then_free(FSurface* s, const FRect* r) {
  note(s, ":screen " + text(*r));
  free_target(s);
}
void compose_then_free(FSurface* s, FCanvas*, const FRect*) {
  note(s, ":compose");
  free_target(s);
}

TEST_F(SurfaceTest, ASurfaceReleasedByItsOwnHookIsNeverTouchedAgain) {
  // Resized: on_moved frees it, so its child is not told and the result is 0.
  Probe* p = probe_new("P", nullptr, {2, 1, 11, 8});
  Probe* kid = probe_new("C", p, {1, 1, 3, 2});
  fsurface_set_on_moved(&p->surface, moved_then_free);
  EXPECT_EQ(fsurface_resize(&p->surface, 6, 4), 0);
  EXPECT_EQ(g_log, Log{"P:moved 2,1,7,4"});
  EXPECT_EQ(kid->surface.parent, nullptr);
  probe_free(kid);

  // Moved by a new rect of the same size, and by move_by.
  p = probe_new("P", nullptr, {2, 1, 11, 8});
  fsurface_set_on_moved(&p->surface, moved_then_free);
  g_log.clear();
  EXPECT_EQ(fsurface_set_rect(&p->surface, 5, 5, 10, 8), 0);
  p = probe_new("Q", nullptr, {2, 1, 11, 8});
  fsurface_set_on_moved(&p->surface, moved_then_free);
  fsurface_move_by(&p->surface, 1, 0, 1);
  EXPECT_EQ(g_log, (Log{"P:moved 5,5,14,12", "Q:moved 3,1,12,8"}));

  // Updated: on_draw frees it; nothing is composed, painted or flushed.
  p = probe_new("P", nullptr, {2, 1, 11, 8});
  kid = probe_new("C", p, {1, 1, 3, 2});
  fsurface_show(&p->surface);
  ASSERT_EQ(fsurface_realize(&p->surface), 1);
  fsurface_set_on_draw(&p->surface, draw_then_free);
  g_log.clear();
  EXPECT_EQ(fsurface_update(&p->surface, nullptr), 0);
  EXPECT_EQ(g_log, Log{"P:draw 0,0,9,7"});
  EXPECT_EQ(screen.first, nullptr);  // the release took it off the list
  probe_free(kid);

  // Realized for the first time: on_draw frees it before any child is built.
  p = probe_new("P", nullptr, {2, 1, 11, 8});
  kid = probe_new("C", p, {1, 1, 3, 2});
  fsurface_set_on_draw(&p->surface, draw_then_free);
  g_log.clear();
  EXPECT_EQ(fsurface_realize(&p->surface), 0);
  EXPECT_EQ(g_log, (Log{"P:moved 2,1,11,8", "C:screen 2,1,11,8", "P:draw 0,0,9,7"}));
  EXPECT_EQ(kid->surface.realized, 0);
  probe_free(kid);

  // Composed: before_compose frees it while the screen paints; the list walk goes on.
  p = probe_new("P", nullptr, {2, 1, 11, 8});
  fsurface_set_before_compose(&p->surface, compose_then_free);
  probe_create(a, "a", nullptr, {0, 0, 1, 1}, 0xFFFF0000u);
  fsurface_show(&p->surface);
  fsurface_show(&a.surface);
  g_log.clear();
  fscreen_paint(&screen, nullptr);
  EXPECT_EQ(g_log, (Log{"background 0,0,39,19", "P:compose", "a:compose", "flush all"}));
  EXPECT_EQ(screen_rgb(3, 2), 0x808080u);

  // Told of a new screen: on_screen_changed frees it before its child hears; the other
  // listed surface is still told and the one repaint follows.
  p = probe_new("P", nullptr, {2, 1, 11, 8});
  kid = probe_new("C", p, {1, 1, 3, 2});
  fsurface_set_on_screen_changed(&p->surface, screen_then_free);
  fsurface_show(&p->surface);
  fsurface_raise(&a.surface);
  g_log.clear();
  fscreen_broadcast_screen_changed(&screen, nullptr);
  EXPECT_EQ(g_log, (Log{"P:screen 0,0,39,19", "a:screen 0,0,39,19", "background 0,0,39,19",
                        "a:compose", "flush all"}));
  probe_free(kid);
}

TEST_F(SurfaceTest, AChildHookThatClosesItsParentEndsTheParentsWalk) {
  // Update: the child's before_compose closes the parent while the parent recomposes.
  Probe* p = probe_new("P", nullptr, {2, 1, 11, 8});
  Probe* kid = probe_new("C", p, {1, 1, 3, 2});
  Probe* sibling = probe_new("S", p, {5, 1, 6, 2});
  fsurface_show(&p->surface);
  ASSERT_EQ(fsurface_realize(&p->surface), 1);
  kid->other = p;
  fsurface_set_before_compose(&kid->surface, compose_then_free);
  g_log.clear();
  EXPECT_EQ(fsurface_update(&kid->surface, nullptr), 1);  // the child itself lives on
  EXPECT_EQ(g_log, (Log{"C:draw 0,0,2,1", "P:draw 0,0,9,7", "C:compose"}));
  for (Probe* orphan : {kid, sibling}) probe_free(orphan);

  // Realize: the child's on_draw closes the parent; the second child is never built.
  p = probe_new("P", nullptr, {2, 1, 11, 8});
  kid = probe_new("C", p, {1, 1, 3, 2});
  sibling = probe_new("S", p, {5, 1, 6, 2});
  kid->other = p;
  fsurface_set_on_draw(&kid->surface, draw_then_free);
  fsurface_set_on_screen_changed(&sibling->surface, nullptr);
  fsurface_set_on_screen_changed(&kid->surface, nullptr);
  g_log.clear();
  EXPECT_EQ(fsurface_realize(&p->surface), 0);
  EXPECT_EQ(g_log, (Log{"P:moved 2,1,11,8", "P:draw 0,0,9,7", "C:moved 1,1,3,2",
                        "C:draw 0,0,2,1"}));
  EXPECT_EQ(sibling->surface.realized, 0);
  for (Probe* orphan : {kid, sibling}) probe_free(orphan);

  // Screen change: the child's on_screen_changed closes the listed parent; the sibling is
  // not told, the other listed surface is.
  p = probe_new("P", nullptr, {2, 1, 11, 8});
  kid = probe_new("C", p, {1, 1, 3, 2});
  sibling = probe_new("S", p, {5, 1, 6, 2});
  kid->other = p;
  fsurface_set_on_screen_changed(&kid->surface, screen_then_free);
  probe_create(a, "a", nullptr, {0, 0, 1, 1}, 0xFFFF0000u);
  fsurface_show(&a.surface);
  fsurface_show(&p->surface);
  g_log.clear();
  FRect full{0, 0, 29, 9};
  fscreen_broadcast_screen_changed(&screen, &full);
  EXPECT_EQ(g_log, (Log{"a:screen 0,0,29,9", "P:screen 0,0,29,9", "C:screen 0,0,29,9",
                        "background 0,0,39,19", "a:compose", "flush all"}));
  for (Probe* orphan : {kid, sibling}) probe_free(orphan);

  // A direct update that composes into its ancestors: its own before_compose closes the
  // parent. Its place on the screen is no longer known, so nothing is blitted or flushed.
  p = probe_new("P", nullptr, {10, 5, 29, 14});
  kid = probe_new("D", p, {2, 2, 9, 7});
  fsurface_set_direct(&kid->surface, 1, 1);
  fsurface_show(&p->surface);
  ASSERT_EQ(fsurface_realize(&p->surface), 1);
  kid->other = p;
  fsurface_set_before_compose(&kid->surface, compose_then_free);
  fscreen_paint(&screen, nullptr);
  g_log.clear();
  EXPECT_EQ(fsurface_update(&kid->surface, nullptr), 1);
  EXPECT_EQ(g_log, (Log{"D:draw 0,0,7,5", "D:compose"}));
  probe_free(kid);
}

TEST_F(SurfaceTest, AResizeTellsEveryDescendantOnceWhenAChildResizesItself) {
  // C takes the parent's height minus two on every notification; its own resize tells G,
  // and the notification from P does not tell G a second time.
  probe_create(a, "P", nullptr, {2, 1, 11, 8}, 0xFF0000FFu);
  probe_create(b, "C", &a, {1, 1, 3, 2}, 0xFF00FF00u);
  probe_create(c, "G", &b, {0, 0, 0, 0}, 0xFFFF0000u);
  fsurface_set_on_screen_changed(&b.surface, [](FSurface* s, const FRect* r) {
    note(s, ":screen " + text(*r));
    fsurface_resize(s, 3, fsurface_get_height(s->parent) - 2);
  });
  ASSERT_EQ(fsurface_resize(&a.surface, 6, 5), 1);
  EXPECT_EQ(g_log, (Log{"P:moved 2,1,7,5", "C:screen 2,1,7,5", "C:moved 1,1,3,3",
                        "G:screen 1,1,3,3"}));
  // Unchanged in size, C passes the news on itself.
  g_log.clear();
  ASSERT_EQ(fsurface_resize(&a.surface, 7, 5), 1);
  EXPECT_EQ(g_log, (Log{"P:moved 2,1,8,5", "C:screen 2,1,8,5", "G:screen 2,1,8,5"}));
}

// ---- Controls on the surface ------------------------------------------------------------

// A control with children, freed like a dialog: out of its parent, deinitialised, its
// children orphaned (after deinit, which looks for a held capture through them), deleted.
struct Ctl {
  FControl control;  // first: the handlers find their Ctl from the control
  const char* name;
  Ctl* parent;
  Ctl* kids[4];
  int32_t kid_count;
  int32_t layouts;  // on_layout calls
  Ctl* close;       // what the closing handler frees; itself when null
};
Ctl* ctl_of(FControl* c) { return reinterpret_cast<Ctl*>(c); }

Ctl* ctl_new(const char* name, Ctl* parent, FRect rect) {
  auto* k = new Ctl{};
  k->name = name;
  k->parent = parent;
  EXPECT_EQ(fcontrol_init(&k->control, parent ? &parent->control : nullptr, &rect, 0), 1);
  if (parent) parent->kids[parent->kid_count++] = k;
  fcontrol_set_child_handlers(
      &k->control, [](FControl* c) { return ctl_of(c)->kid_count; },
      [](FControl* c, int32_t i) { return &ctl_of(c)->kids[i]->control.surface; });
  fcontrol_set_layout_handler(&k->control, [](FControl* c, const FRect*) {
    ++ctl_of(c)->layouts;
  });
  return k;
}

void ctl_free(Ctl* k) {
  if (Ctl* parent = k->parent) {
    Ctl** end = parent->kids + parent->kid_count;
    std::copy(std::find(parent->kids, end, k) + 1, end, std::find(parent->kids, end, k));
    --parent->kid_count;
  }
  fcontrol_deinit(&k->control);
  for (int32_t i = 0; i < k->kid_count; ++i) {
    k->kids[i]->parent = nullptr;
    fsurface_set_parent(&k->kids[i]->control.surface, nullptr);
  }
  delete k;
}

void ctl_close(FControl* c) {
  Ctl* k = ctl_of(c);
  g_log.push_back(std::string(k->name) + " closes");
  ctl_free(k->close ? k->close : k);
}

TEST_F(SurfaceTest, ControlHandlersThatCloseTheirDialogEndResizeLayoutPaintAndBroadcast) {
  // The dialog's resize handler closes it: its children hear nothing, the result is 0.
  Ctl* dialog = ctl_new("dialog", nullptr, {0, 0, 19, 9});
  Ctl* button = ctl_new("button", dialog, {1, 1, 5, 3});
  fcontrol_set_resize_handler(&dialog->control, [](FControl* c, const FRect*) { ctl_close(c); });
  EXPECT_EQ(fcontrol_set_size(&dialog->control, 30, 12), 0);
  EXPECT_EQ(button->layouts, 0);
  EXPECT_EQ(button->control.surface.parent, nullptr);
  ctl_free(button);

  // A button's layout handler closes the dialog as the dialog grows: the second button,
  // next in the walk, is not laid out.
  dialog = ctl_new("dialog", nullptr, {0, 0, 19, 9});
  button = ctl_new("button", dialog, {1, 1, 5, 3});
  Ctl* other = ctl_new("other", dialog, {7, 1, 9, 3});
  button->close = dialog;
  fcontrol_set_layout_handler(&button->control, [](FControl* c, const FRect*) { ctl_close(c); });
  g_log.clear();
  EXPECT_EQ(fcontrol_set_size(&dialog->control, 30, 12), 0);
  EXPECT_EQ(g_log, Log{"button closes"});
  EXPECT_EQ(other->layouts, 0);
  for (Ctl* orphan : {button, other}) ctl_free(orphan);

  // Paint handlers that close: when first shown, and on a later update.
  dialog = ctl_new("dialog", nullptr, {0, 0, 19, 9});
  button = ctl_new("button", dialog, {1, 1, 5, 3});
  fcontrol_set_paint_handler(&dialog->control,
                             [](FControl* c, FCanvas*, const FRect*) { ctl_close(c); });
  g_log.clear();
  fcontrol_show(&dialog->control);
  EXPECT_EQ(g_log, Log{"dialog closes"});
  EXPECT_EQ(screen.first, nullptr);
  EXPECT_EQ(button->control.surface.realized, 0);
  ctl_free(button);

  dialog = ctl_new("dialog", nullptr, {0, 0, 19, 9});
  button = ctl_new("button", dialog, {1, 1, 5, 3});
  fcontrol_show(&dialog->control);
  fcontrol_set_paint_handler(&dialog->control,
                             [](FControl* c, FCanvas*, const FRect*) { ctl_close(c); });
  g_log.clear();
  EXPECT_EQ(fcontrol_update(&button->control, nullptr), 1);  // the button lives on
  EXPECT_EQ(g_log, Log{"dialog closes"});
  ctl_free(button);

  // A rotation: the listed dialog's layout handler closes it before its button hears.
  dialog = ctl_new("dialog", nullptr, {0, 0, 19, 9});
  button = ctl_new("button", dialog, {1, 1, 5, 3});
  fcontrol_set_layout_handler(&dialog->control, [](FControl* c, const FRect*) { ctl_close(c); });
  fcontrol_show(&dialog->control);
  button->layouts = 0;
  g_log.clear();
  fscreen_broadcast_screen_changed(&screen, nullptr);
  EXPECT_EQ(g_log, (Log{"dialog closes", "background 0,0,39,19", "flush all"}));
  EXPECT_EQ(button->layouts, 0);
  ctl_free(button);
}

TEST_F(SurfaceTest, NestedFillDockedControlsAreLaidOutOncePerResizeOrRotation) {
  // Five levels, each filling its parent: a resize of the root lays out every level
  // exactly once, and so does a rotation.
  Ctl* chain[5];
  chain[0] = ctl_new("root", nullptr, {0, 0, 19, 9});
  for (int i = 1; i < 5; ++i) {
    chain[i] = ctl_new("level", chain[i - 1], {0, 0, 0, 0});
    fcontrol_set_dock(&chain[i]->control, FDOCK_FILL);
  }
  EXPECT_EQ(text(chain[4]->control.surface.rect), "0,0,19,9");
  for (Ctl* k : chain) k->layouts = 0;
  ASSERT_EQ(fcontrol_set_size(&chain[0]->control, 30, 12), 1);
  for (int i = 1; i < 5; ++i) {
    EXPECT_EQ(chain[i]->layouts, 1) << i;
    EXPECT_EQ(text(chain[i]->control.surface.rect), "0,0,29,11") << i;
  }
  fcontrol_show(&chain[0]->control);
  for (Ctl* k : chain) k->layouts = 0;
  fscreen_broadcast_screen_changed(&screen, nullptr);
  for (Ctl* k : chain) EXPECT_EQ(k->layouts, 1) << k->name;
  for (int i = 4; i >= 0; --i) ctl_free(chain[i]);
}

TEST(SurfaceDeathTest, NullSurfaceIsFatal) {
  EXPECT_DEATH(fsurface_update(nullptr, nullptr), "surface!=null");
}

}  // namespace
