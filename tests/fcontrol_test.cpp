// The control base: creation and its defaults, handler chaining, docking, anchoring and
// margins against a parent that changes, the focus flags, the background drawer's pixels
// on the real screen, and children that join a parent after it was first drawn.

#include "fcontrol.h"

#include "control_fixture.h"

namespace {

using ControlTest = ControlBench;

struct StylerProbe {
  FStyler base;
  std::vector<std::string> seen;
  int* released;
};

TEST_F(ControlTest, CreationGivesDefaultsAnOwnDrawerAndTheStylerAndHandlersChain) {
  int released = 0;
  auto* probe = new StylerProbe{
      {[](FStyler* s, FControl* c, int32_t kind, uint32_t tag, int32_t extra) {
         reinterpret_cast<StylerProbe*>(s)->seen.push_back(fmt(
             "kind %d tag %u extra %d size %d", kind, tag, extra, fsurface_get_width(&c->surface)));
       },
       [](FStyler* s) {
         ++*reinterpret_cast<StylerProbe*>(s)->released;
         delete reinterpret_cast<StylerProbe*>(s);
       }},
      {},
      &released};
  ftheme_set_styler(theme, &probe->base);
  fbdrawer_set_fill_color(ftheme_get_background(theme), 0xFF102030u);

  FRect rect{5, 6, 24, 15};
  FControl* c = fcontrol_create(nullptr, &rect, 77);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(probe->seen, Log{"kind 0 tag 77 extra 0 size 20"});
  EXPECT_EQ(text(c->client_rect), "0,0,19,9");
  EXPECT_EQ(text(c->margins), "5 6 39 32");  // to the 64 x 48 screen
  EXPECT_EQ(fcontrol_from_surface(&c->surface), c);
  // A copy, not the theme's drawer: restyling one control leaves the theme alone.
  ASSERT_NE(c->drawer, nullptr);
  EXPECT_EQ(c->drawer->fill_color, 0xFF102030u);
  fbdrawer_set_fill_color(c->drawer, 0xFFFFFFFFu);
  EXPECT_EQ(ftheme_get_background(theme)->fill_color, 0xFF102030u);

  // Absent handlers answer 0; a setter hands back the handler it replaces, for chaining.
  EXPECT_EQ(fcontrol_key(c, 'a', 1, 0), 0);
  EXPECT_EQ(fcontrol_pen(c, FPOINTER_DOWN, 1, 1, 0), 0);
  FControlKeyFn base_key = [](FControl*, uint32_t, int32_t, uint32_t) -> int32_t { return 1; };
  FControlKeyFn sub_key = [](FControl*, uint32_t, int32_t, uint32_t) -> int32_t { return 2; };
  EXPECT_EQ(fcontrol_set_key_handler(c, base_key), nullptr);
  EXPECT_EQ(fcontrol_set_key_handler(c, sub_key), base_key);
  EXPECT_EQ(fcontrol_key(c, 'a', 1, 0), 2);

  // A new drawer replaces (and frees) the old one; the leak checker watches this.
  FBDrawer* mine = fbdrawer_create();
  fcontrol_set_drawer(c, mine);
  fcontrol_set_drawer(c, mine);
  EXPECT_EQ(fcontrol_get_drawer(c), mine);
  fcontrol_destroy(c);
  ftheme_set_styler(theme, nullptr);  // releases the one it replaces
  EXPECT_EQ(released, 1);
  EXPECT_EQ(ftheme_get_styler(theme), fstyler_default());

  // Without a theme a control still gets the toolkit's look.
  ftheme_set_global(nullptr);
  FControl* plain = fcontrol_create(nullptr, &rect, 0);
  ASSERT_NE(plain, nullptr);
  EXPECT_EQ(plain->drawer->border_kind, FBORDER_RECT);
  fcontrol_destroy(plain);
  ftheme_set_global(theme);

  // A plain surface is not taken for a control.
  FSurface surface{};
  ASSERT_EQ(fsurface_create(&surface, nullptr, &rect, 0), 1);
  EXPECT_EQ(fcontrol_from_surface(&surface), nullptr);
  fsurface_release(&surface);
}

TEST_F(ControlTest, DockingTakesHalfTheParentSizingKeepsTheDockedEdgeAndResizeFollows) {
  Box* p = box_make("p", nullptr, {0, 0, 99, 59});
  const char* names[] = {"left", "top", "right", "bottom", "fill"};
  Box* kids[5];
  for (int32_t mode = FDOCK_LEFT; mode <= FDOCK_FILL; ++mode) {
    Box* k = kids[mode - 1] = box_make(names[mode - 1], p, {3, 3, 12, 12});
    fcontrol_set_dock(&k->control, mode);
  }
  Box *left = kids[0], *right = kids[2], *fill = kids[4];
  auto rects = [&] {
    Log out;
    for (Box* k : kids) out.push_back(text(rect_of(k)));
    return out;
  };
  EXPECT_EQ(rects(), (Log{"0,0,49,59", "0,0,99,29", "50,0,99,59", "0,30,99,59", "0,0,99,59"}));

  // The owner gives each its thickness; only the docked dimension is taken, and the right
  // and bottom edges stay.
  for (Box* k : kids) EXPECT_EQ(fcontrol_set_size(&k->control, 20, 8), 1);
  EXPECT_EQ(rects(), (Log{"0,0,19,59", "0,0,99,7", "80,0,99,59", "0,52,99,59", "0,0,99,59"}));
  // Docked controls do not move.
  for (Box* k : kids) fcontrol_move_by(&k->control, 7, 7, 1), fcontrol_move_to(&k->control, 30, 30, 1);
  EXPECT_EQ(rects(), (Log{"0,0,19,59", "0,0,99,7", "80,0,99,59", "0,52,99,59", "0,0,99,59"}));

  // The parent grows: each docked child follows in list order, resized then laid out.
  box_log_geometry(p);
  for (Box* k : kids) box_log_geometry(k);
  g_log.clear();
  EXPECT_EQ(fcontrol_set_size(&p->control, 140, 80), 1);
  EXPECT_EQ(g_log,
            (Log{"p:resize 0,0,139,79", "left:resize 0,0,19,79", "left:layout 0,0,139,79",
                 "top:resize 0,0,139,7", "top:layout 0,0,139,79", "right:resize 120,0,139,79",
                 "right:layout 0,0,139,79", "bottom:resize 0,72,139,79", "bottom:layout 0,0,139,79",
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

TEST_F(ControlTest, EveryAnchorCombinationFollowsTheParentAndMarginsSurviveACollapse) {
  // The child sits at (10, 10) size 20 x 10: margins 10, 10, 70, 40. Its rect after the
  // parent went from 100 x 60 to 150 x 90, by anchor bits 0 .. 15:
  const char* grown[] = {"10,10,29,19", "10,10,29,19", "10,10,29,19", "10,10,29,19",
                         "10,10,79,19", "10,10,79,19", "10,10,79,19", "10,10,79,19",
                         "10,40,29,49", "10,40,29,49", "10,10,29,49", "10,10,29,49",
                         "10,40,79,49", "10,40,79,49", "10,10,79,49", "10,10,79,49"};
  for (uint32_t a = 0; a < 16; ++a) {
    SCOPED_TRACE(fmt("anchors %u", a));
    Box* p = box_make("p", nullptr, {0, 0, 99, 59});
    Box* c = box_make("c", p, {10, 10, 29, 19});
    fcontrol_set_anchors(&c->control, a & 1, a & 2, a & 4, a & 8);
    fcontrol_set_size(&p->control, 150, 90);
    EXPECT_EQ(text(rect_of(c)), grown[a]);
    // Collapsed below the margins the child keeps a pixel; the unchanged margins give it
    // its place back.
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
  fcontrol_move_by(&c->control, 5, 5, 0);
  EXPECT_EQ(text(c->control.margins), "15 15 65 35");
  fcontrol_set_size(&c->control, 30, 20);
  EXPECT_EQ(text(c->control.margins), "15 15 55 25");
  fcontrol_set_bounds(&c->control, 0, 1, 10, 10);
  EXPECT_EQ(text(c->control.margins), "0 1 90 49");
  FRect wide{0, 0, 199, 99};
  fcontrol_set_client_rect(&p->control, &wide);
  EXPECT_EQ(text(c->control.margins), "0 1 90 49");  // nothing moved yet
  fcontrol_set_anchors(&c->control, 1, 1, 1, 1);
  EXPECT_EQ(text(c->control.margins), "0 1 190 89");

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
  Box* grower = box_make("grower", nullptr, {0, 0, 9, 9});
  fcontrol_set_resize_handler(&grower->control, [](FControl* c, const FRect*) {
    note(box_of(c), "");
    fcontrol_set_width(c, fsurface_get_width(&c->surface) + 1);
  });
  fcontrol_set_width(&grower->control, 10 + 1);
  EXPECT_EQ(g_log.size(), 64u);
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
  for (int focused : {1, 5, 0, 0}) fcontrol_set_focused(&b->control, focused);
  EXPECT_EQ(g_log, (Log{"b:gained", "b:lost"}));

  // Disabling or hiding a focused control takes its focus; neither kind takes it back.
  for (auto set : {fcontrol_set_enabled, fcontrol_set_visible}) {
    g_log.clear();
    fcontrol_set_focused(&b->control, 1);
    set(&b->control, 0);
    EXPECT_EQ(fcontrol_is_focus_candidate(&b->control), 0);
    fcontrol_set_focused(&b->control, 1);
    set(&b->control, 1);
    EXPECT_EQ(g_log, (Log{"b:gained", "b:lost"}));
    EXPECT_EQ(fcontrol_is_focused(&b->control), 0);
  }
}

class ControlPaintTest : public ControlBench, public ::testing::WithParamInterface<int32_t> {
 protected:
  void SetUp() override {
    ControlBench::SetUp();
    fscreen_release(&screen);
    open_screen(64, 48, GetParam());
  }
  Box* shown(const char* name, FRect rect, FColor fill = 0) {
    Box* b = box_make(name, nullptr, rect);
    if (fill) fbdrawer_set_fill_color(b->control.drawer, fill);
    fcontrol_show(&b->control);
    return b;
  }
};

TEST_P(ControlPaintTest, AControlWithoutPaintHandlerShowsItsDrawerOnTheScreen) {
  // The theme's default: white fill, black 1-pixel rectangle.
  Box* plain = shown("plain", {2, 3, 11, 10});
  // Raised: grey outline one pixel in from the right and bottom, black right and bottom.
  fbdrawer_set_raised(shown("raised", {20, 3, 29, 10}, 0xFFFF0000u)->control.drawer, 0xFF808080u,
                      0xFF000000u);
  // Sunken: grey all round, black left and top over it.
  fbdrawer_set_sunken(shown("sunken", {40, 3, 49, 10}, 0xFF00FF00u)->control.drawer, 0xFF808080u,
                      0xFF000000u);
  // A child with a fill and no border composes into its parent.
  Box* holder = box_make("holder", nullptr, {2, 20, 11, 29});
  Box* kid = box_make("kid", holder, {2, 2, 4, 4});
  fbdrawer_set_fill_color(kid->control.drawer, 0xFF00FF00u);
  fbdrawer_set_no_border(kid->control.drawer);
  fcontrol_show(&holder->control);
  // A gradient from black at the top to red at the bottom, three rows.
  Box* ramp = shown("ramp", {30, 20, 33, 22});
  fbdrawer_set_gradient(ramp->control.drawer, 0, 0x000000, 0xFF0000, 100, 0);
  fbdrawer_set_no_border(ramp->control.drawer);
  // A 2 x 1 tile, red then green, repeated from the control's corner.
  FBitmap* tile = fbitmap_create(2, 1, 32);
  ASSERT_NE(tile, nullptr);
  fbitmap_set_pixel(tile, 0, 0, 0xFFFF0000u);
  fbitmap_set_pixel(tile, 1, 0, 0xFF00FF00u);
  Box* tiled = shown("tiled", {40, 20, 44, 21});
  fbdrawer_set_fill_pattern(tiled->control.drawer, tile, 0);
  fbdrawer_set_no_border(tiled->control.drawer);
  for (Box* b : g_boxes) fcontrol_update(&b->control, nullptr);
  ASSERT_EQ(fscreen_paint(&screen, nullptr), 1);
  fbitmap_destroy(tile);

  // x, y and the colour: plain's border, inside and the background beside it, then raised,
  // sunken, the kid in its holder, the ramp's three rows and the tiles.
  const uint32_t expected[][3] = {
      {2, 3, 0x000000},   {11, 10, 0x000000}, {11, 5, 0x000000},  {6, 10, 0x000000},
      {3, 4, 0xFFFFFF},   {10, 9, 0xFFFFFF},  {12, 5, 0x0000FF},  {5, 11, 0x0000FF},
      {20, 3, 0x808080},  {28, 5, 0x808080},  {24, 9, 0x808080},  {29, 5, 0x000000},
      {29, 3, 0x000000},  {24, 10, 0x000000}, {24, 6, 0xFF0000},  {40, 6, 0x000000},
      {44, 3, 0x000000},  {49, 6, 0x808080},  {44, 10, 0x808080}, {44, 6, 0x00FF00},
      {4, 22, 0x00FF00},  {6, 24, 0x00FF00},  {7, 25, 0xFFFFFF},  {2, 20, 0x000000},
      {30, 20, 0x000000}, {33, 21, 0x7F0000}, {31, 22, 0xFF0000}, {40, 20, 0xFF0000},
      {41, 21, 0x00FF00}, {44, 21, 0xFF0000}, {45, 21, 0x0000FF}};
  for (const auto& e : expected) EXPECT_EQ(pixel(e[0], e[1]), stored(e[2])) << e[0] << "," << e[1];

  // Copies own their rendered gradient.
  FBDrawer* copy = fbdrawer_copy(ramp->control.drawer);
  ASSERT_NE(copy, nullptr);
  EXPECT_NE(copy->gradient_bitmap, nullptr);
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
  // A fresh canvas is white; a child that was never drawn would compose as white. A late
  // child is drawn when its parent is updated, or when it is updated itself.
  Box* late = box_make("late", p, {5, 5, 8, 8});
  fbdrawer_set_fill_color(late->control.drawer, 0xFFFF0000u);
  fbdrawer_set_no_border(late->control.drawer);
  EXPECT_EQ(late->control.surface.realized, 0);
  ASSERT_EQ(fcontrol_update(&p->control, nullptr), 1);
  EXPECT_EQ(late->control.surface.realized, 1);
  EXPECT_EQ(pixel(6, 6), 0xFF0000u);
  Box* later = box_make("later", p, {10, 10, 13, 13});
  fbdrawer_set_fill_color(later->control.drawer, 0xFF00FF00u);
  fbdrawer_set_no_border(later->control.drawer);
  ASSERT_EQ(fcontrol_update(&later->control, nullptr), 1);
  EXPECT_EQ(pixel(11, 11), 0x00FF00u);
  EXPECT_EQ(pixel(6, 6), 0xFF0000u);

  // Under a parent never drawn, nothing is drawn or shown.
  Box* orphan = box_make("orphan", box_make("hidden", nullptr, {30, 0, 39, 9}), {1, 1, 2, 2});
  EXPECT_EQ(fcontrol_update(&orphan->control, nullptr), 0);
  EXPECT_EQ(orphan->control.surface.realized, 0);
}

}  // namespace
