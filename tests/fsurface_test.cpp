// Surfaces on a real screen: the hooks that fire and their order, the back buffer's pixels
// and the flushed rectangles; hooks that release their surface or its parent (plain
// surfaces and controls), and how often a resize tells the tree below.

#include "fsurface.h"

#include "control_fixture.h"

namespace {

// Probes on the heap, so that the address sanitizer sees every read of a freed one; the
// fixture frees those a test leaves.
std::vector<Probe*> g_heap;

Probe* probe_new(const char* name, Probe* parent, FRect rect) {
  auto* p = new Probe{};
  probe_create(*p, name, parent, rect, 0xFF0000FFu);
  g_heap.push_back(p);
  return p;
}

// As a well-behaved owner frees a dialog: out of its parent's children, its own children
// orphaned, released, deleted.
void probe_free(Probe* p) {
  if (FSurface* parent = p->surface.parent) {
    Probe* owner = probe_of(parent);
    Probe** end = owner->children + owner->child_total;
    *std::find(owner->children, end, p) = *(end - 1);
    --owner->child_total;
  }
  for (int32_t i = 0; i < p->child_total; ++i)
    fsurface_set_parent(&p->children[i]->surface, nullptr);
  g_heap.erase(std::find(g_heap.begin(), g_heap.end(), p));
  fsurface_release(&p->surface);
  delete p;
}

class SurfaceTest : public SurfaceBench {
 protected:
  void TearDown() override {
    while (!g_heap.empty()) probe_free(g_heap.back());
    while (!g_boxes.empty()) box_destroy(g_boxes.back());
    SurfaceBench::TearDown();
  }
  // P at (2, 1) holding C at (1, 1), which holds the one-pixel G at (0, 0).
  void tree() {
    probe_create(a, "P", nullptr, {2, 1, 11, 8}, 0xFF0000FFu);
    probe_create(b, "C", &a, {1, 1, 3, 2}, 0xFF00FF00u);
    probe_create(c, "G", &b, {0, 0, 0, 0}, 0xFFFF0000u);
  }
};

TEST_F(SurfaceTest, RealizeBuildsTheSubtreeAndUpdateRecomposesUpTheChain) {
  tree();
  fsurface_show(&a.surface);
  EXPECT_EQ(fsurface_update(&b.surface, nullptr), 0);  // never realized: nothing happens
  EXPECT_EQ(g_log, Log{});
  ASSERT_EQ(fsurface_realize(&a.surface), 1);
  EXPECT_EQ(fsurface_realize(&a.surface), 1);  // once only
  EXPECT_EQ(g_log, (Log{"P:moved 2,1,11,8", "C:screen 2,1,11,8", "G:screen 2,1,11,8",
                        "P:draw 0,0,9,7", "C:moved 1,1,3,2", "G:screen 1,1,3,2", "C:draw 0,0,2,1",
                        "G:moved 0,0,0,0", "G:draw 0,0,0,0", "G:compose", "C:compose"}));
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

TEST_F(SurfaceTest, MovesAndResizesRepaintTheOldPlaceAndTellTheChildrenOnce) {
  probe_create(d, "a", nullptr, {1, 2, 5, 6}, 0xFFFF0000u);
  fsurface_move_by(&d.surface, 1, 0, 0);  // not realized: no old place to repaint
  EXPECT_EQ(fsurface_get_dirty(&d.surface, nullptr), 0);
  fsurface_show(&d.surface);
  fsurface_realize(&d.surface);
  g_log.clear();
  fsurface_move_by(&d.surface, 10, 0, 1);
  fsurface_move_by(&d.surface, 0, 0, 1);  // no change, no call
  ASSERT_EQ(fsurface_update(&d.surface, nullptr), 1);
  EXPECT_EQ(g_log, (Log{"a:moved 12,2,16,6", "a:draw 0,0,4,4", "background 2,2,16,6", "a:compose",
                        "flush 2,2,16,6"}));
  EXPECT_EQ(screen_rgb(6, 6), 0x808080u);  // the place it left
  // The dirty place is spent by the update and widened by every later move.
  fsurface_move_by(&d.surface, -1, 0, 0);
  fsurface_move_by(&d.surface, 0, 3, 0);
  FRect dirty{};
  ASSERT_EQ(fsurface_get_dirty(&d.surface, &dirty), 1);
  EXPECT_EQ(text(dirty), "11,2,16,9");
  fsurface_hide(&d.surface);

  // A resize recreates the canvas and tells the children; the same size does nothing, or
  // only on_moved for a new place, and keeps the canvas.
  tree();
  fsurface_realize(&a.surface);
  g_log.clear();
  ASSERT_EQ(fsurface_resize(&a.surface, 6, 4), 1);
  EXPECT_EQ(g_log, (Log{"P:moved 2,1,7,4", "C:screen 2,1,7,4", "G:screen 2,1,7,4"}));
  EXPECT_EQ(text(a.surface.canvas.rect), "0,0,5,3");
  const FBitmap* bitmap = a.surface.canvas.bitmap;
  g_log.clear();
  EXPECT_EQ(fsurface_resize(&a.surface, 6, 4), 1);
  EXPECT_EQ(fsurface_set_rect(&a.surface, 5, 5, 6, 4), 1);
  EXPECT_EQ(g_log, Log{"P:moved 5,5,10,8"});
  EXPECT_EQ(a.surface.canvas.bitmap, bitmap);

  // C takes P's height minus two on every notification: its own resize tells G, and the
  // notification from P does not tell G a second time. Unchanged, C passes the news on.
  fsurface_set_on_screen_changed(&b.surface, [](FSurface* s, const FRect* r) {
    note(s, ":screen " + text(*r));
    fsurface_resize(s, 3, fsurface_get_height(s->parent) - 2);
  });
  g_log.clear();
  ASSERT_EQ(fsurface_resize(&a.surface, 6, 5), 1);
  ASSERT_EQ(fsurface_resize(&a.surface, 7, 5), 1);
  EXPECT_EQ(g_log,
            (Log{"P:moved 5,5,10,9", "C:screen 5,5,10,9", "C:moved 1,1,3,3", "G:screen 1,1,3,3",
                 "P:moved 5,5,11,9", "C:screen 5,5,11,9", "G:screen 5,5,11,9"}));

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
  EXPECT_EQ(g_log, (Log{"D:draw 0,0,7,5", "P:draw 0,0,19,9", "background 12,7,19,12", "P:compose",
                        "flush 12,7,19,12"}));
  EXPECT_EQ(screen_rgb(12, 7), 0x0000FFu);

  // Capture: letting go does not end another's; a release clears every screen reference.
  fsurface_set_capture(&b.surface, 1);
  fsurface_set_capture(&c.surface, 1);
  fsurface_set_capture(&b.surface, 0);
  EXPECT_EQ(fscreen_get_capture(&screen), &c.surface);
  fscreen_set_active(&screen, &c.surface);
  fscreen_set_top(&screen, &c.surface);
  fsurface_release(&c.surface);
  EXPECT_EQ(fscreen_get_capture(&screen), nullptr);
  EXPECT_EQ(fscreen_get_active(&screen), nullptr);
  EXPECT_EQ(fscreen_get_top(&screen), nullptr);
}

// ---- Hooks that release surfaces --------------------------------------------------------

// A hook of every kind that logs like the probe's own, then frees the probe's `other`.
void moved_then_free(FSurface* s, const FRect* r) {
  note(s, ":moved " + text(*r));
  probe_free(probe_of(s)->other);
}
void draw_then_free(FSurface* s, FCanvas*, const FRect* r) {
  note(s, ":draw " + text(*r));
  probe_free(probe_of(s)->other);
}
void screen_then_free(FSurface* s, const FRect* r) {
  note(s, ":screen " + text(*r));
  probe_free(probe_of(s)->other);
}
void compose_then_free(FSurface* s, FCanvas*, const FRect*) {
  note(s, ":compose");
  probe_free(probe_of(s)->other);
}

TEST_F(SurfaceTest, AHookThatReleasesItsSurfaceOrItsParentEndsEveryWalkAtOnce) {
  // P at (2, 1) holds C and S; its own hook or C's (a button closing its dialog) frees P.
  // Shown, P is realized and listed behind `a`, which every walk must still reach.
  enum Hook { moved, draw, screen_changed, compose };
  enum Act { resize, set_rect, move_by, update, realize, paint, broadcast, update_c, direct_c };
  struct Row {
    bool childs;  // the hook is C's, else P's own
    Hook hook;
    bool shown;
    Act act;
    int result;  // -1: the operation has none
    Log log;
  };
  const Log realize_p = {"P:moved 2,1,11,8", "C:screen 2,1,11,8", "S:screen 2,1,11,8", "P:draw 0,0,9,7"};
  const Log realize_c = {"P:moved 2,1,11,8", "C:screen 2,1,11,8", "S:screen 2,1,11,8", "P:draw 0,0,9,7",
                         "C:moved 1,1,3,2", "C:draw 0,0,2,1"};
  const Row rows[] = {
      {false, moved, false, resize, 0, {"P:moved 2,1,7,4"}},
      {false, moved, false, set_rect, 0, {"P:moved 5,5,14,12"}},
      {false, moved, false, move_by, -1, {"P:moved 3,1,12,8"}},
      {false, draw, true, update, 0, {"P:draw 0,0,9,7"}},
      {false, draw, false, realize, 0, realize_p},
      {false, compose, true, paint, -1, {"background 0,0,39,19", "P:compose", "a:compose", "flush all"}},
      {false, screen_changed, true, broadcast, -1,
       {"P:screen 0,0,29,9", "a:screen 0,0,29,9", "background 0,0,39,19", "a:compose", "flush all"}},
      {true, compose, true, update_c, 1, {"C:draw 0,0,2,1", "P:draw 0,0,9,7", "C:compose"}},
      {true, draw, false, realize, 0, realize_c},
      {true, screen_changed, true, broadcast, -1,
       {"P:screen 0,0,29,9", "C:screen 0,0,29,9", "a:screen 0,0,29,9", "background 0,0,39,19",
        "a:compose", "flush all"}},
      // A direct C that composes into its ancestors: its place on the screen is no longer
      // known once P is gone, so nothing is blitted or flushed.
      {true, compose, true, direct_c, 1, {"C:draw 0,0,2,1", "C:compose"}},
  };
  probe_create(a, "a", nullptr, {0, 0, 1, 1}, 0xFFFF0000u);
  fsurface_show(&a.surface);
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << "hook " << row.hook << " act " << row.act);
    Probe* p = probe_new("P", nullptr, {2, 1, 11, 8});
    Probe* c = probe_new("C", p, {1, 1, 3, 2});
    probe_new("S", p, {5, 1, 6, 2});
    if (row.shown) {
      ASSERT_EQ(fsurface_realize(&p->surface), 1);
      fsurface_show(&p->surface);
      fsurface_raise(&a.surface);
    }
    FSurface* hooked = &(row.childs ? c : p)->surface;
    probe_of(hooked)->other = p;
    if (row.hook == moved) fsurface_set_on_moved(hooked, moved_then_free);
    if (row.hook == draw) fsurface_set_on_draw(hooked, draw_then_free);
    if (row.hook == screen_changed) fsurface_set_on_screen_changed(hooked, screen_then_free);
    if (row.hook == compose) fsurface_set_before_compose(hooked, compose_then_free);
    if (row.act == direct_c) fsurface_set_direct(&c->surface, 1, 1);
    g_log.clear();
    FRect changed{0, 0, 29, 9};
    int result = -1;
    switch (row.act) {
      case resize: result = fsurface_resize(&p->surface, 6, 4); break;
      case set_rect: result = fsurface_set_rect(&p->surface, 5, 5, 10, 8); break;
      case move_by: fsurface_move_by(&p->surface, 1, 0, 1); break;
      case update: result = fsurface_update(&p->surface, nullptr); break;
      case realize: result = fsurface_realize(&p->surface); break;
      case paint: fscreen_paint(&screen, nullptr); break;
      case broadcast: fscreen_broadcast_screen_changed(&screen, &changed); break;
      case update_c:
      case direct_c: result = fsurface_update(&c->surface, nullptr); break;
    }
    EXPECT_EQ(result, row.result);
    EXPECT_EQ(g_log, row.log);
    EXPECT_EQ(screen.first, &a.surface);     // the release took P off the list
    EXPECT_NE(screen_rgb(3, 2), 0x0000FFu);  // and P never reached the screen
  }
}

// ---- Controls on the surface ------------------------------------------------------------

void close_self(FControl* c) {
  note(box_of(c), " closes");
  box_destroy(box_of(c));
}

TEST_F(SurfaceTest, ControlHandlersThatCloseTheirDialogEndResizeLayoutPaintAndBroadcast) {
  // Each scenario: a dialog with a button, both logging their resizes and layouts.
  auto dialog = [](const char* name = "dialog") {
    Box* d = box_make(name, nullptr, {0, 0, 19, 9});
    Box* button = box_make("button", d, {1, 1, 5, 3});
    box_log_geometry(button);
    return d;
  };
  // The dialog's resize handler closes it: its button hears nothing, the result is 0.
  Box* d = dialog();
  fcontrol_set_resize_handler(&d->control, [](FControl* c, const FRect*) { close_self(c); });
  EXPECT_EQ(fcontrol_set_size(&d->control, 30, 12), 0);
  EXPECT_EQ(g_log, Log{"dialog closes"});
  // The button's layout handler closes the dialog as it grows: the second button, next in
  // the walk, is not laid out.
  d = dialog();
  box_log_geometry(box_make("other", d, {7, 1, 9, 3}));
  fcontrol_set_layout_handler(&d->kids[0]->control, [](FControl* c, const FRect*) {
    close_self(&box_of(c)->parent_box->control);
  });
  g_log.clear();
  EXPECT_EQ(fcontrol_set_size(&d->control, 30, 12), 0);
  EXPECT_EQ(g_log, Log{"dialog closes"});

  // Paint handlers that close: when first shown, and on a later update (the button lives on).
  d = dialog();
  fcontrol_set_paint_handler(&d->control,
                             [](FControl* c, FCanvas*, const FRect*) { close_self(c); });
  g_log.clear();
  fcontrol_show(&d->control);  // the button is laid out, never realized
  EXPECT_EQ(g_log, (Log{"button:layout 0,0,19,9", "dialog closes"}));
  EXPECT_EQ(screen.first, nullptr);
  d = dialog();
  fcontrol_show(&d->control);
  fcontrol_set_paint_handler(&d->control,
                             [](FControl* c, FCanvas*, const FRect*) { close_self(c); });
  g_log.clear();
  EXPECT_EQ(fcontrol_update(&d->kids[0]->control, nullptr), 1);
  EXPECT_EQ(g_log, Log{"dialog closes"});

  // A rotation: the listed dialog's layout handler closes it before its button hears.
  d = dialog();
  fcontrol_set_layout_handler(&d->control, [](FControl* c, const FRect*) { close_self(c); });
  fcontrol_show(&d->control);
  g_log.clear();
  fscreen_broadcast_screen_changed(&screen, nullptr);
  EXPECT_EQ(g_log, (Log{"dialog closes", "background 0,0,39,19", "flush all"}));
}

TEST_F(SurfaceTest, NestedFillDockedControlsAreLaidOutOncePerResizeOrRotation) {
  // Five levels, each filling its parent.
  Box* chain[5] = {box_make("root", nullptr, {0, 0, 19, 9})};
  for (int i = 1; i < 5; ++i) {
    chain[i] = box_make("level", chain[i - 1], {0, 0, 0, 0});
    fcontrol_set_dock(&chain[i]->control, FDOCK_FILL);
    fcontrol_set_layout_handler(&chain[i]->control, [](FControl* c, const FRect*) {
      note(box_of(c), " " + text(box_of(c)->control.surface.rect));
    });
  }
  EXPECT_EQ(text(rect_of(chain[4])), "0,0,19,9");
  Log once(4, "level 0,0,29,11");
  ASSERT_EQ(fcontrol_set_size(&chain[0]->control, 30, 12), 1);
  EXPECT_EQ(g_log, once);
  fcontrol_show(&chain[0]->control);
  g_log.clear();
  fscreen_broadcast_screen_changed(&screen, nullptr);
  once.insert(once.end(), {"background 0,0,39,19", "flush all"});
  EXPECT_EQ(g_log, once);
}

}  // namespace
