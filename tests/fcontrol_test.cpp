// The control base: creation and its defaults, handler chaining, docking, anchoring and
// margins against a parent that changes, the focus flags, the background drawer's pixels
// on the real screen, and children that join a parent after it was first drawn.

#include "fcontrol.h"

#include "control_fixture.h"

namespace {

class ControlTest : public ControlBench {};

struct StylerProbe {
  FStyler base;
  std::vector<std::string>* seen;
  int* released;
};

TEST_F(ControlTest, CreationGivesDefaultsAnOwnDrawerAndTheStylerAndSettersChain) {
  std::vector<std::string> seen;
  int released = 0;
  auto* probe = new StylerProbe{
      {[](FStyler* s, FControl* c, int32_t kind, uint32_t tag, int32_t extra) {
         auto* p = reinterpret_cast<StylerProbe*>(s);
         p->seen->push_back(fmt("kind %d tag %u extra %d size %d", kind, tag, extra,
                                fsurface_get_width(&c->surface)));
       },
       [](FStyler* s) {
         auto* p = reinterpret_cast<StylerProbe*>(s);
         ++*p->released;
         delete p;
       }},
      &seen,
      &released};
  ftheme_set_styler(theme, &probe->base);
  fbdrawer_set_fill_color(ftheme_get_background(theme), 0xFF102030u);

  FRect rect{5, 6, 24, 15};
  FControl* c = fcontrol_create(nullptr, &rect, 77);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(seen, std::vector<std::string>{"kind 0 tag 77 extra 0 size 20"});
  EXPECT_EQ(text(c->client_rect), "0,0,19,9");
  EXPECT_EQ(c->surface.visible, 1);
  EXPECT_EQ(c->surface.tag, 77u);
  EXPECT_EQ(c->dock, FDOCK_NONE);
  EXPECT_EQ(c->anchors, 0u);
  EXPECT_EQ(fcontrol_is_enabled(c), 1);
  EXPECT_EQ(fcontrol_is_focused(c), 0);
  EXPECT_EQ(fcontrol_from_surface(&c->surface), c);
  // A copy, not the theme's drawer: restyling one control leaves the theme alone.
  ASSERT_NE(c->drawer, nullptr);
  EXPECT_NE(c->drawer, ftheme_get_background(theme));
  EXPECT_EQ(c->drawer->fill_color, 0xFF102030u);
  fbdrawer_set_fill_color(c->drawer, 0xFFFFFFFFu);
  EXPECT_EQ(ftheme_get_background(theme)->fill_color, 0xFF102030u);
  // Margins to the screen (64 x 48).
  EXPECT_EQ(fmt("%d %d %d %d", c->margins.left, c->margins.top, c->margins.right,
                c->margins.bottom), "5 6 39 32");

  // Absent handlers answer 0 / null.
  EXPECT_EQ(fcontrol_key(c, 'a', 1, 0), 0);
  EXPECT_EQ(fcontrol_pen(c, FPOINTER_DOWN, 1, 1, 0), 0);
  EXPECT_EQ(fcontrol_child_count(c), 0);
  EXPECT_EQ(fcontrol_child_at(c, 0), nullptr);
  EXPECT_EQ(fcontrol_can_focus(c), 0);
  EXPECT_EQ(fcontrol_is_focus_candidate(c), 0);

  // Each setter hands back the handler it replaces, null the first time.
  FControlKeyFn base_key = [](FControl*, uint32_t, int32_t, uint32_t) -> int32_t { return 1; };
  FControlKeyFn sub_key = [](FControl*, uint32_t, int32_t, uint32_t) -> int32_t { return 2; };
  EXPECT_EQ(fcontrol_set_key_handler(c, base_key), nullptr);
  EXPECT_EQ(fcontrol_set_key_handler(c, sub_key), base_key);
  EXPECT_EQ(fcontrol_key(c, 'a', 1, 0), 2);
  FControlPenFn pen = [](FControl*, int32_t, int32_t, int32_t, uint32_t) -> int32_t { return 3; };
  EXPECT_EQ(fcontrol_set_pen_handler(c, pen), nullptr);
  EXPECT_EQ(fcontrol_set_pen_handler(c, nullptr), pen);
  FControlPaintFn paint = [](FControl*, FCanvas*, const FRect*) {};
  EXPECT_EQ(fcontrol_set_paint_handler(c, paint), nullptr);
  EXPECT_EQ(fcontrol_set_paint_handler(c, paint), paint);
  FControlRectFn rect_fn = [](FControl*, const FRect*) {};
  EXPECT_EQ(fcontrol_set_resize_handler(c, rect_fn), nullptr);
  EXPECT_EQ(fcontrol_set_resize_handler(c, nullptr), rect_fn);
  EXPECT_EQ(fcontrol_set_layout_handler(c, rect_fn), nullptr);
  EXPECT_EQ(fcontrol_set_layout_handler(c, rect_fn), rect_fn);

  // A new drawer replaces (and frees) the old one; the leak checker watches this.
  FBDrawer* mine = fbdrawer_create();
  fcontrol_set_drawer(c, mine);
  fcontrol_set_drawer(c, mine);
  EXPECT_EQ(fcontrol_get_drawer(c), mine);
  fcontrol_destroy(c);

  // Replacing the styler releases the one it replaces.
  ftheme_set_styler(theme, nullptr);
  EXPECT_EQ(released, 1);
  EXPECT_EQ(ftheme_get_styler(theme), fstyler_default());

  // Without a theme a control still gets the toolkit's look.
  ftheme_set_global(nullptr);
  FControl* plain = fcontrol_create(nullptr, &rect, 0);
  ASSERT_NE(plain, nullptr);
  ASSERT_NE(plain->drawer, nullptr);
  EXPECT_EQ(plain->drawer->fill_color, 0xFFFFFFFFu);
  EXPECT_EQ(plain->drawer->border_kind, FBORDER_RECT);
  EXPECT_EQ(plain->drawer->border_color, 0xFF000000u);
  fcontrol_destroy(plain);
  ftheme_set_global(theme);

  // A plain surface is not taken for a control.
  FSurface surface{};
  ASSERT_EQ(fsurface_create(&surface, nullptr, &rect, 0), 1);
  EXPECT_EQ(fcontrol_from_surface(&surface), nullptr);
  fsurface_release(&surface);

  EXPECT_EXIT(fcontrol_show(nullptr), ::testing::ExitedWithCode(255),
              "code = fcontrol\\([0-9]+\\)[^c]*check = control!=null");
}

// Parent 100 x 60 with one child per docking mode, in that order.
TEST_F(ControlTest, DockingTakesHalfTheParentSizingKeepsTheDockedEdgeAndResizeFollows) {
  Box* p = box_make("p", nullptr, {0, 0, 99, 59});
  Box* left = box_make("left", p, {3, 3, 12, 12});
  Box* top = box_make("top", p, {3, 3, 12, 12});
  Box* right = box_make("right", p, {3, 3, 12, 12});
  Box* bottom = box_make("bottom", p, {3, 3, 12, 12});
  Box* fill = box_make("fill", p, {3, 3, 12, 12});

  fcontrol_set_dock(&left->control, FDOCK_LEFT);
  fcontrol_set_dock(&top->control, FDOCK_TOP);
  fcontrol_set_dock(&right->control, FDOCK_RIGHT);
  fcontrol_set_dock(&bottom->control, FDOCK_BOTTOM);
  fcontrol_set_dock(&fill->control, FDOCK_FILL);
  EXPECT_EQ(text(rect_of(left)), "0,0,49,59");
  EXPECT_EQ(text(rect_of(top)), "0,0,99,29");
  EXPECT_EQ(text(rect_of(right)), "50,0,99,59");
  EXPECT_EQ(text(rect_of(bottom)), "0,30,99,59");
  EXPECT_EQ(text(rect_of(fill)), "0,0,99,59");
  EXPECT_EQ(left->control.anchors, FANCHOR_LEFT | FANCHOR_TOP | FANCHOR_BOTTOM);
  EXPECT_EQ(top->control.anchors, FANCHOR_LEFT | FANCHOR_TOP | FANCHOR_RIGHT);
  EXPECT_EQ(right->control.anchors, FANCHOR_TOP | FANCHOR_RIGHT | FANCHOR_BOTTOM);
  EXPECT_EQ(bottom->control.anchors, FANCHOR_LEFT | FANCHOR_RIGHT | FANCHOR_BOTTOM);
  EXPECT_EQ(fill->control.anchors, 15u);
  // The new client rectangle follows every resize.
  EXPECT_EQ(text(left->control.client_rect), "0,0,49,59");

  // The owner gives each its thickness; only the docked dimension is taken.
  EXPECT_EQ(fcontrol_set_size(&left->control, 20, 5), 1);
  EXPECT_EQ(fcontrol_set_size(&top->control, 5, 10), 1);
  EXPECT_EQ(fcontrol_set_size(&right->control, 20, 5), 1);
  EXPECT_EQ(fcontrol_set_size(&bottom->control, 5, 8), 1);
  EXPECT_EQ(fcontrol_set_size(&fill->control, 10, 10), 1);
  EXPECT_EQ(text(rect_of(left)), "0,0,19,59");
  EXPECT_EQ(text(rect_of(top)), "0,0,99,9");
  EXPECT_EQ(text(rect_of(right)), "80,0,99,59");  // the right edge stays
  EXPECT_EQ(text(rect_of(bottom)), "0,52,99,59");  // the bottom edge stays
  EXPECT_EQ(text(rect_of(fill)), "0,0,99,59");
  EXPECT_EQ(fmt("%d %d %d %d", right->control.margins.left, right->control.margins.top,
                right->control.margins.right, right->control.margins.bottom), "80 0 0 0");

  // Docked controls do not move.
  for (Box* b : {left, top, right, bottom, fill}) {
    fcontrol_move_by(&b->control, 7, 7, 1);
    fcontrol_move_to(&b->control, 30, 30, 1);
  }
  EXPECT_EQ(text(rect_of(right)), "80,0,99,59");
  EXPECT_EQ(text(rect_of(fill)), "0,0,99,59");

  // The parent grows: each docked child follows in list order, resized then laid out.
  for (Box* b : {p, left, top, right, bottom, fill}) box_log_geometry(b);
  g_log.clear();
  EXPECT_EQ(fcontrol_set_size(&p->control, 140, 80), 1);
  EXPECT_EQ(g_log, (Log{"p:resize 0,0,139,79",
                        "left:resize 0,0,19,79", "left:layout 0,0,139,79",
                        "top:resize 0,0,139,9", "top:layout 0,0,139,79",
                        "right:resize 120,0,139,79", "right:layout 0,0,139,79",
                        "bottom:resize 0,72,139,79", "bottom:layout 0,0,139,79",
                        "fill:resize 0,0,139,79", "fill:layout 0,0,139,79"}));

  // Undocking clears the anchors and keeps the place; the control moves again.
  fcontrol_set_dock(&right->control, FDOCK_NONE);
  EXPECT_EQ(right->control.anchors, 0u);
  EXPECT_EQ(text(rect_of(right)), "120,0,139,79");
  fcontrol_move_to(&right->control, 1, 2, 0);
  EXPECT_EQ(text(rect_of(right)), "1,2,20,81");
  fcontrol_set_dock(&right->control, 42);  // not a mode: nothing changes
  EXPECT_EQ(right->control.dock, FDOCK_NONE);

  // Odd sizes halve downward, and docking takes the client rectangle, not the rect.
  EXPECT_EQ(fcontrol_set_size(&p->control, 101, 61), 1);
  fcontrol_set_dock(&right->control, FDOCK_RIGHT);
  EXPECT_EQ(text(rect_of(right)), "50,0,100,60");
  FRect inset{5, 4, 94, 54};
  fcontrol_set_client_rect(&p->control, &inset);
  fcontrol_set_dock(&left->control, FDOCK_LEFT);
  EXPECT_EQ(text(rect_of(left)), "5,4,49,54");
  fcontrol_set_dock(&fill->control, FDOCK_FILL);
  EXPECT_EQ(text(rect_of(fill)), "5,4,94,54");
}

struct AnchorCase {
  uint32_t anchors;
  const char* grown;  // after the parent went from 100 x 60 to 150 x 90
};

TEST_F(ControlTest, EveryAnchorCombinationFollowsTheParentAndMarginsSurviveACollapse) {
  // The child sits at (10, 10) size 20 x 10: margins 10, 10, 70, 40.
  const AnchorCase cases[] = {
      {0, "10,10,29,19"},   {1, "10,10,29,19"},   {2, "10,10,29,19"},   {3, "10,10,29,19"},
      {4, "10,10,79,19"},   {5, "10,10,79,19"},   {6, "10,10,79,19"},   {7, "10,10,79,19"},
      {8, "10,40,29,49"},   {9, "10,40,29,49"},   {10, "10,10,29,49"},  {11, "10,10,29,49"},
      {12, "10,40,79,49"},  {13, "10,40,79,49"},  {14, "10,10,79,49"},  {15, "10,10,79,49"},
  };
  for (const AnchorCase& k : cases) {
    SCOPED_TRACE(fmt("anchors %u", k.anchors));
    Box* p = box_make("p", nullptr, {0, 0, 99, 59});
    Box* c = box_make("c", p, {10, 10, 29, 19});
    fcontrol_set_anchors(&c->control, k.anchors & 1, k.anchors & 2, k.anchors & 4, k.anchors & 8);
    EXPECT_EQ(c->control.anchors, k.anchors);
    EXPECT_EQ(fmt("%d %d %d %d", c->control.margins.left, c->control.margins.top,
                  c->control.margins.right, c->control.margins.bottom), "10 10 70 40");
    fcontrol_set_size(&p->control, 150, 90);
    EXPECT_EQ(text(rect_of(c)), k.grown);
    // Collapsed below the margins the child keeps at least a pixel, and the unchanged
    // margins give it its place back.
    fcontrol_set_size(&p->control, 20, 15);
    EXPECT_GE(frect_width(rect_of(c)), 1);
    fcontrol_set_size(&p->control, 100, 60);
    EXPECT_EQ(text(rect_of(c)), "10,10,29,19");
    box_destroy(c);
    box_destroy(p);
  }

  // Margins follow every move, resize and anchor change.
  Box* p = box_make("p", nullptr, {0, 0, 99, 59});
  Box* c = box_make("c", p, {10, 10, 29, 19});
  auto margins = [&] {
    const FInsets& m = c->control.margins;
    return fmt("%d %d %d %d", m.left, m.top, m.right, m.bottom);
  };
  fcontrol_move_by(&c->control, 5, 5, 0);
  EXPECT_EQ(margins(), "15 15 65 35");
  fcontrol_set_size(&c->control, 30, 20);
  EXPECT_EQ(margins(), "15 15 55 25");
  fcontrol_set_bounds(&c->control, 0, 1, 10, 10);
  EXPECT_EQ(margins(), "0 1 90 49");
  FRect wide{0, 0, 199, 99};
  fcontrol_set_client_rect(&p->control, &wide);
  EXPECT_EQ(margins(), "0 1 90 49");  // nothing moved yet
  fcontrol_set_anchors(&c->control, 1, 1, 1, 1);
  EXPECT_EQ(margins(), "0 1 190 89");

  // A parent whose client rectangle is empty both ways lays out nothing.
  box_log_geometry(c);
  g_log.clear();
  FRect none{0, 0, -1, -1};
  fcontrol_set_client_rect(&p->control, &none);
  fsurface_notify_screen_changed(&c->control.surface, nullptr);
  EXPECT_EQ(g_log, Log{});
  EXPECT_EQ(text(rect_of(c)), "0,1,9,10");
}

TEST_F(ControlTest, ResizeHandlersThatResizeOrDestroyTheirOwnControlEndSafely) {
  // A handler that grows its own control on every resize would never end; the nesting
  // bound stops calling it, and the geometry it set is kept.
  static int calls = 0;
  calls = 0;
  Box* grower = box_make("grower", nullptr, {0, 0, 9, 9});
  fcontrol_set_resize_handler(&grower->control, [](FControl* c, const FRect*) {
    ++calls;
    fcontrol_set_width(c, fsurface_get_width(&c->surface) + 1);
  });
  fcontrol_set_width(&grower->control, 10 + 1);
  EXPECT_EQ(calls, 64);
  EXPECT_EQ(fsurface_get_width(&grower->control.surface), 11 + 64);
  EXPECT_EQ(text(grower->control.client_rect), "0,0,74,9");

  // A resize handler that destroys its control during a notified move: the margins are
  // not written into the freed record.
  Box* doomed = box_make("doomed", nullptr, {0, 20, 9, 29});
  fcontrol_set_resize_handler(&doomed->control, [](FControl* c, const FRect* r) {
    note(box_of(c), ":destroyed at " + text(*r));
    box_destroy(box_of(c));
  });
  g_log.clear();
  fcontrol_move_by(&doomed->control, 3, 0, 1);
  EXPECT_EQ(g_log, Log{"doomed:destroyed at 3,20,12,29"});
}

TEST_F(ControlTest, FocusFlagsCallTheirHandlersOnChangesOnlyAndNeverOnUnusableControls) {
  Box* b = box_make("b", nullptr, {0, 0, 9, 9});
  EXPECT_EQ(fcontrol_is_focus_candidate(&b->control), 0);  // can_focus says no
  b->focusable = 1;
  EXPECT_EQ(fcontrol_is_focus_candidate(&b->control), 1);

  fcontrol_set_focused(&b->control, 1);
  fcontrol_set_focused(&b->control, 5);
  fcontrol_set_focused(&b->control, 0);
  fcontrol_set_focused(&b->control, 0);
  EXPECT_EQ(g_log, (Log{"b:gained", "b:lost"}));

  // Disabling or hiding a focused control takes its focus; neither kind takes it back.
  g_log.clear();
  fcontrol_set_focused(&b->control, 1);
  fcontrol_set_enabled(&b->control, 0);
  EXPECT_EQ(fcontrol_is_enabled(&b->control), 0);
  EXPECT_EQ(fcontrol_is_focus_candidate(&b->control), 0);
  fcontrol_set_focused(&b->control, 1);
  EXPECT_EQ(fcontrol_is_focused(&b->control), 0);
  fcontrol_set_enabled(&b->control, 1);
  fcontrol_set_focused(&b->control, 1);
  fcontrol_set_visible(&b->control, 0);
  EXPECT_EQ(fcontrol_is_focus_candidate(&b->control), 0);
  fcontrol_set_focused(&b->control, 1);
  fcontrol_set_visible(&b->control, 1);
  EXPECT_EQ(g_log, (Log{"b:gained", "b:lost", "b:gained", "b:lost"}));
  EXPECT_EQ(fcontrol_is_focused(&b->control), 0);
}

class ControlPaintTest : public ControlBench, public ::testing::WithParamInterface<int32_t> {
 protected:
  void SetUp() override {
    ControlBench::SetUp();
    fscreen_release(&screen);
    open_screen(64, 48, GetParam());
  }
};

TEST_P(ControlPaintTest, AControlWithoutPaintHandlerShowsItsDrawerOnTheScreen) {
  // The theme's default: white fill, black 1-pixel rectangle.
  Box* plain = box_make("plain", nullptr, {2, 3, 11, 10});
  fcontrol_show(&plain->control);
  ASSERT_EQ(fscreen_paint(&screen, nullptr), 1);
  EXPECT_EQ(pixel(2, 3), stored(0x000000));
  EXPECT_EQ(pixel(11, 10), stored(0x000000));
  EXPECT_EQ(pixel(11, 5), stored(0x000000));
  EXPECT_EQ(pixel(6, 10), stored(0x000000));
  EXPECT_EQ(pixel(3, 4), stored(0xFFFFFF));
  EXPECT_EQ(pixel(10, 9), stored(0xFFFFFF));
  EXPECT_EQ(pixel(12, 5), stored(0x0000FF));  // background beside it
  EXPECT_EQ(pixel(5, 11), stored(0x0000FF));

  // Raised: grey outline one pixel in from the right and bottom, black right and bottom.
  Box* raised = box_make("raised", nullptr, {20, 3, 29, 10});
  fbdrawer_set_fill_color(raised->control.drawer, 0xFFFF0000u);
  fbdrawer_set_raised(raised->control.drawer, 0xFF808080u, 0xFF000000u);
  fcontrol_show(&raised->control);
  // Sunken: grey all round, black left and top over it.
  Box* sunken = box_make("sunken", nullptr, {40, 3, 49, 10});
  fbdrawer_set_fill_color(sunken->control.drawer, 0xFF00FF00u);
  fbdrawer_set_sunken(sunken->control.drawer, 0xFF808080u, 0xFF000000u);
  fcontrol_show(&sunken->control);
  // A child with a fill and no border composes into its parent.
  Box* holder = box_make("holder", nullptr, {2, 20, 11, 29});
  Box* kid = box_make("kid", holder, {2, 2, 4, 4});
  fbdrawer_set_fill_color(kid->control.drawer, 0xFF00FF00u);
  fbdrawer_set_no_border(kid->control.drawer);
  fcontrol_show(&holder->control);
  // A gradient from black at the top to red at the bottom, three rows.
  Box* ramp = box_make("ramp", nullptr, {30, 20, 33, 22});
  fbdrawer_set_gradient(ramp->control.drawer, 0, 0x000000, 0xFF0000, 100, 0);
  fbdrawer_set_no_border(ramp->control.drawer);
  fcontrol_show(&ramp->control);
  // A 2 x 1 tile, red then green, repeated from the control's corner.
  FBitmap* tile = fbitmap_create(2, 1, 32);
  ASSERT_NE(tile, nullptr);
  fbitmap_fill_rect(tile, 0, 0, 0, 0, 0xFFFF0000u);
  fbitmap_fill_rect(tile, 1, 0, 1, 0, 0xFF00FF00u);
  Box* tiled = box_make("tiled", nullptr, {40, 20, 44, 21});
  fbdrawer_set_fill_pattern(tiled->control.drawer, tile, 0);
  fbdrawer_set_no_border(tiled->control.drawer);
  fcontrol_show(&tiled->control);
  ASSERT_EQ(fscreen_paint(&screen, nullptr), 1);
  EXPECT_EQ(pixel(40, 20), stored(0xFF0000));
  EXPECT_EQ(pixel(41, 21), stored(0x00FF00));
  EXPECT_EQ(pixel(44, 21), stored(0xFF0000));
  EXPECT_EQ(pixel(45, 21), stored(0x0000FF));
  box_destroy(tiled);
  fbitmap_destroy(tile);

  EXPECT_EQ(pixel(20, 3), stored(0x808080));
  EXPECT_EQ(pixel(28, 5), stored(0x808080));
  EXPECT_EQ(pixel(24, 9), stored(0x808080));
  EXPECT_EQ(pixel(29, 5), stored(0x000000));
  EXPECT_EQ(pixel(29, 3), stored(0x000000));
  EXPECT_EQ(pixel(24, 10), stored(0x000000));
  EXPECT_EQ(pixel(24, 6), stored(0xFF0000));

  EXPECT_EQ(pixel(40, 6), stored(0x000000));
  EXPECT_EQ(pixel(44, 3), stored(0x000000));
  EXPECT_EQ(pixel(49, 6), stored(0x808080));
  EXPECT_EQ(pixel(44, 10), stored(0x808080));
  EXPECT_EQ(pixel(44, 6), stored(0x00FF00));

  EXPECT_EQ(pixel(4, 22), stored(0x00FF00));
  EXPECT_EQ(pixel(6, 24), stored(0x00FF00));
  EXPECT_EQ(pixel(7, 25), stored(0xFFFFFF));
  EXPECT_EQ(pixel(2, 20), stored(0x000000));

  EXPECT_EQ(pixel(30, 20), stored(0x000000));
  EXPECT_EQ(pixel(33, 21), stored(0x7F0000));
  EXPECT_EQ(pixel(31, 22), stored(0xFF0000));
  // Copies own their rendered gradient.
  FBDrawer* copy = fbdrawer_copy(ramp->control.drawer);
  ASSERT_NE(copy, nullptr);
  ASSERT_NE(copy->gradient_bitmap, nullptr);
  EXPECT_NE(copy->gradient_bitmap, ramp->control.drawer->gradient_bitmap);
  fbdrawer_destroy(copy);

  // A paint handler replaces the drawer entirely.
  fcontrol_set_paint_handler(&plain->control, [](FControl*, FCanvas* canvas, const FRect* r) {
    fbitmap_fill_rect(canvas->bitmap, r->left, r->top, r->right, r->bottom, 0xFF00FF00u);
  });
  ASSERT_EQ(fcontrol_update(&plain->control, nullptr), 1);
  EXPECT_EQ(pixel(2, 3), stored(0x00FF00));
  EXPECT_EQ(pixel(6, 6), stored(0x00FF00));
}

INSTANTIATE_TEST_SUITE_P(Depths, ControlPaintTest, ::testing::Values(16, 32),
                         [](const auto& info) { return fmt("bpp%d", info.param); });

TEST_F(ControlTest, ChildrenAddedAfterTheParentWasDrawnAreDrawnToo) {
  Box* p = box_make("p", nullptr, {0, 0, 19, 19});
  fcontrol_show(&p->control);
  ASSERT_EQ(p->control.surface.realized, 1);

  // A fresh canvas is white; a child that was never drawn would compose as white.
  Box* late = box_make("late", p, {5, 5, 8, 8});
  fbdrawer_set_fill_color(late->control.drawer, 0xFFFF0000u);
  fbdrawer_set_no_border(late->control.drawer);
  EXPECT_EQ(late->control.surface.realized, 0);
  ASSERT_EQ(fcontrol_update(&p->control, nullptr), 1);
  EXPECT_EQ(late->control.surface.realized, 1);
  EXPECT_EQ(pixel(6, 6), 0xFF0000u);

  // Updating the late child itself draws it first as well.
  Box* later = box_make("later", p, {10, 10, 13, 13});
  fbdrawer_set_fill_color(later->control.drawer, 0xFF00FF00u);
  fbdrawer_set_no_border(later->control.drawer);
  ASSERT_EQ(fcontrol_update(&later->control, nullptr), 1);
  EXPECT_EQ(later->control.surface.realized, 1);
  EXPECT_EQ(pixel(11, 11), 0x00FF00u);
  EXPECT_EQ(pixel(6, 6), 0xFF0000u);

  // Under a parent never drawn, nothing is drawn or shown.
  Box* hidden_parent = box_make("hidden", nullptr, {30, 0, 39, 9});
  Box* orphan = box_make("orphan", hidden_parent, {1, 1, 2, 2});
  EXPECT_EQ(fcontrol_update(&orphan->control, nullptr), 0);
  EXPECT_EQ(orphan->control.surface.realized, 0);
}

}  // namespace
