// The path of an input event through controls: the screen's order (capture, active, the
// shown list newest first, fallback), containers routing to their children in their own
// coordinates, focus on a tap, directional focus navigation, and handlers that destroy
// their own control or its container in the middle of it all.

#include "control_fixture.h"
#include "fcontrol.h"

namespace {

class DispatchTest : public ControlBench {
 protected:
  void SetUp() override {
    ControlBench::SetUp();
    fscreen_set_on_pointer_default(&screen, [](int32_t type, int32_t x, int32_t y, uint32_t) {
      g_log.push_back(fmt("default:pen %d %d,%d", type, x, y));
      return 0;
    });
    fscreen_set_on_key_default(&screen, [](uint32_t key, int32_t, uint32_t) {
      g_log.push_back(fmt("default:key %X", key));
      return 0;
    });
  }
  Box* shown(const char* name, FRect rect) {
    Box* b = box_make(name, nullptr, rect);
    fcontrol_show(&b->control);
    return b;
  }
  // The event, and the log it wrote.
  Log pen(int32_t type, int32_t x, int32_t y, int expected_answer) {
    g_log.clear();
    EXPECT_EQ(fscreen_pointer(&screen, type, x, y, 0), expected_answer);
    return g_log;
  }
  Log key(uint32_t code, int expected_answer) {
    g_log.clear();
    EXPECT_EQ(fscreen_key(&screen, code, 1, 0), expected_answer);
    return g_log;
  }
  // A 100 x 100 container of focusable 10 x 10 kids at the given corners, focus on `index`.
  Box* form(std::initializer_list<FPoint> corners, int32_t index) {
    Box* form = shown("form", {0, 0, 99, 99});
    static const char* names[] = {"k0", "k1", "k2", "k3", "k4"};
    for (FPoint at : corners) {
      box_make(names[form->kid_count], form, {at.x, at.y, at.x + 9, at.y + 9})->focusable = 1;
    }
    focus(form, index);
    return form;
  }
  void focus(Box* form, int32_t index) {
    if (form->focus_index >= 0) fcontrol_set_focused(&form->kids[form->focus_index]->control, 0);
    form->focus_index = index;
    fcontrol_set_focused(&form->kids[index]->control, 1);
  }
};

void capture_on_down(Box* b) { fsurface_set_capture(&b->control.surface, 1); }
void focus_self(Box* b) { fcontrol_set_focused(&b->control, 1); }

TEST_F(DispatchTest, ScreenOffersInputToCaptureTopActiveListedNewestFirstThenFallback) {
  Box* a = shown("a", {0, 0, 19, 19});
  Box* b = shown("b", {10, 10, 39, 29});
  Box* c = shown("c", {0, 0, 63, 47});
  Box* k = box_make("k", b, {2, 2, 5, 5});  // in b, at screen (12, 12)
  // Nobody answers: every listed control, newest first, then the fallback.
  EXPECT_EQ(pen(FPOINTER_DOWN, 1, 1, 0), (Log{"c:pen 1 1,1", "b:pen 1 1,1", "k:pen 1 -9,-9",
                                              "a:pen 1 1,1", "default:pen 1 1,1"}));
  // b answers for points inside it; c, in front, is asked first; a hidden one is skipped.
  b->pen_answer = 1;
  EXPECT_EQ(pen(FPOINTER_DOWN, 30, 20, 1),
            (Log{"c:pen 1 30,20", "b:pen 1 30,20", "k:pen 1 20,10"}));
  fcontrol_set_visible(&c->control, 0);
  EXPECT_EQ(pen(FPOINTER_DOWN, 30, 20, 1), (Log{"b:pen 1 30,20", "k:pen 1 20,10"}));
  // The kid takes the pen down at screen (13, 13), i.e. (3, 3) in b, and captures it.
  k->pen_answer = 1;
  k->pen_action = capture_on_down;
  EXPECT_EQ(pen(FPOINTER_DOWN, 13, 13, 1), (Log{"b:pen 1 13,13", "k:pen 1 3,3"}));
  EXPECT_EQ(fscreen_get_capture(&screen), &k->control.surface);
  k->pen_action = nullptr;
  // While captured, moves far outside go to k alone, in b's coordinates. A pen up ends the
  // capture even though k declines it; the event then goes on to the shown list.
  EXPECT_EQ(pen(FPOINTER_MOVE, 60, 40, 1), Log{"k:pen 3 50,30"});
  k->pen_answer = 0;
  EXPECT_EQ(pen(FPOINTER_UP, 61, 41, 0), (Log{"k:pen 2 51,31", "b:pen 2 61,41", "k:pen 2 51,31",
                                              "a:pen 2 61,41", "default:pen 2 61,41"}));
  EXPECT_EQ(fscreen_get_capture(&screen), nullptr);
  EXPECT_EQ(k->control.surface.captured, 0);
  // An active control swallows everything before the list.
  fcontrol_set_visible(&c->control, 1);
  fscreen_set_active(&screen, &a->control.surface);
  a->pen_answer = 1;
  EXPECT_EQ(pen(FPOINTER_DOWN, 5, 5, 1), Log{"a:pen 1 5,5"});

  // Keys: the top surface, the active one, the list newest first, the fallback.
  Box* top = box_make("top", nullptr, {0, 0, 9, 9});
  fscreen_set_top(&screen, &top->control.surface);
  EXPECT_EQ(key('x', 0), (Log{"top:key 78", "a:key 78", "c:key 78", "b:key 78", "default:key 78"}));
  c->key_answer = 1;
  EXPECT_EQ(key(FKEY_ACTION, 1), (Log{"top:key F823", "a:key F823", "c:key F823"}));
}

TEST_F(DispatchTest, ContainersOfferTopmostChildFirstInTheirOwnCoordinatesAndFocusATap) {
  Box* form = shown("form", {10, 10, 49, 39});
  Box* k0 = box_make("k0", form, {0, 0, 9, 9});
  Box* k1 = box_make("k1", form, {5, 5, 24, 24});
  Box* k2 = box_make("k2", form, {0, 0, 29, 29});
  box_make("g", k1, {1, 1, 4, 4});  // in k1: screen (16, 16) .. (19, 19)
  fcontrol_set_visible(&k2->control, 0);
  k0->pen_answer = 1;
  k0->focusable = k1->focusable = 1;
  // Screen (17, 17) is (7, 7) in the form and (2, 2) in k1. The hidden k2 is skipped, k1
  // (above k0) is asked first and routes to g, which declines; k1 itself declines too. k0
  // takes the tap without asking for the focus.
  EXPECT_EQ(pen(FPOINTER_DOWN, 17, 17, 1),
            (Log{"form:pen 1 17,17", "k1:pen 1 7,7", "g:pen 1 2,2", "k0:pen 1 7,7"}));
  EXPECT_EQ(form->focus_index, -1);
  // A child that focuses itself in its pen handler becomes the container's focused child;
  // a tap on k1 then moves the focus there.
  k0->pen_action = focus_self;
  EXPECT_EQ(pen(FPOINTER_DOWN, 11, 11, 1), (Log{"form:pen 1 11,11", "k1:pen 1 1,1", "g:pen 1 -4,-4",
                                                "k0:pen 1 1,1", "k0:gained"}));
  EXPECT_EQ(form->focus_index, 0);
  k1->pen_answer = 1;
  k1->pen_action = focus_self;
  EXPECT_EQ(pen(FPOINTER_DOWN, 30, 30, 1),
            (Log{"form:pen 1 30,30", "k1:pen 1 20,20", "g:pen 1 15,15", "k1:gained", "k0:lost"}));
  EXPECT_EQ(form->focus_index, 1);
  EXPECT_EQ(fcontrol_is_focused(&k0->control), 0);
  // A point in no child falls through the form to the list and the fallback.
  k0->pen_action = k1->pen_action = nullptr;
  EXPECT_EQ(pen(FPOINTER_DOWN, 45, 35, 0),
            (Log{"form:pen 1 45,35", "k1:pen 1 35,25", "g:pen 1 30,20", "k0:pen 1 35,25",
                 "default:pen 1 45,35"}));
}

TEST_F(DispatchTest, ArrowsPickTheNearestCandidateScannedFirstAndNeverWrap) {
  //  k0 k1
  //  k2 k3
  //  k4
  Box* f = form({{0, 0}, {20, 0}, {0, 20}, {20, 20}, {0, 40}}, 0);
  // Down: k2 and k3 are as far down, k2's centre is nearer; up from k3: k1 straight above.
  EXPECT_EQ(key(FKEY_DOWN, 1), (Log{"form:key F80A", "k0:lost", "k2:gained", "form:nav 1 -> 2"}));
  EXPECT_EQ(key(FKEY_RIGHT, 1), (Log{"form:key F808", "k2:lost", "k3:gained", "form:nav 1 -> 3"}));
  EXPECT_EQ(key(FKEY_UP, 1), (Log{"form:key F809", "k3:lost", "k1:gained", "form:nav 1 -> 1"}));
  key(FKEY_LEFT, 1);
  EXPECT_EQ(f->focus_index, 0);
  // No wrap: from the first kid nothing backward, from the last nothing forward; the key
  // then goes on to the fallback.
  key(FKEY_UP, 0);
  EXPECT_EQ(f->focus_index, 0);
  focus(f, 4);
  EXPECT_EQ(key(FKEY_DOWN, 0), (Log{"form:key F80A", "form:nav 0 -> 4", "default:key F80A"}));
  // Disabled and hidden kids are passed over.
  focus(f, 0);
  fcontrol_set_enabled(&f->kids[2]->control, 0);
  key(FKEY_DOWN, 1);
  EXPECT_EQ(f->focus_index, 3);
  focus(f, 0);
  fcontrol_set_visible(&f->kids[3]->control, 0);
  key(FKEY_DOWN, 1);
  EXPECT_EQ(f->focus_index, 4);
  box_destroy(f);

  // Equal distances: down from (20, 0), k1 and k2 are both 20 down and their centres as far
  // from the corner: the forward scan meets k1 first. Up from (20, 40) the backward scan
  // runs from the end and meets k1 first too.
  f = form({{20, 0}, {0, 20}, {30, 20}}, 0);
  key(FKEY_DOWN, 1);
  EXPECT_EQ(f->focus_index, 1);
  box_destroy(f);
  f = form({{0, 20}, {30, 20}, {20, 40}}, 2);
  key(FKEY_UP, 1);
  EXPECT_EQ(f->focus_index, 1);
}

TEST_F(DispatchTest, TheViewportLimitsCandidatesAndAFocusedKidOutsideItLosesTheFocus) {
  Box* f = form({{0, 0}, {20, 0}, {0, 20}, {20, 20}, {0, 40}}, 4);
  f->viewport = {0, 0, 99, 29};  // k4 is below it
  // Up from the out-of-view k4 still finds k2; down from it finds nothing, and k4 is no
  // candidate: it loses the focus.
  key(FKEY_UP, 1);
  EXPECT_EQ(f->focus_index, 2);
  focus(f, 4);
  EXPECT_EQ(key(FKEY_DOWN, 0),
            (Log{"form:key F80A", "k4:lost", "form:nav 0 -> -1", "default:key F80A"}));
  // A focused kid that was disabled is dropped the same way when nothing else is found.
  focus(f, 1);
  fcontrol_set_enabled(&f->kids[1]->control, 0);
  key(FKEY_RIGHT, 0);
  EXPECT_EQ(f->focus_index, -1);
  // Focus-first skips kids that may not take focus.
  fcontrol_set_visible(&f->kids[0]->control, 0);
  EXPECT_EQ(fcontrol_focus_first(&f->control, f->kid_count, &f->focus_index, &f->viewport), 1);
  EXPECT_EQ(f->focus_index, 2);
  // The scan stops at the first kid below the viewport, even when later kids lie inside:
  // children are expected top to bottom.
  f->viewport = {0, 0, 99, 99};
  fcontrol_set_bounds(&f->kids[1]->control, 20, 200, 10, 10);
  fcontrol_set_enabled(&f->kids[1]->control, 1);
  fcontrol_set_visible(&f->kids[0]->control, 1);
  focus(f, 0);
  key(FKEY_DOWN, 0);
  EXPECT_EQ(f->focus_index, 0);
  EXPECT_EQ(fcontrol_focus_search_first(&f->control, f->kid_count, &f->viewport), 0);

  // A stale index beyond the list it is given counts as none focused, even where the
  // container holds that child (k3, with k0 above it in the list).
  FFocusSearch search = fcontrol_focus_search(&f->control, 2, 3, &f->viewport, FFocusDirection::up);
  EXPECT_EQ(search.found, -1);
  EXPECT_EQ(search.drop, 0);
  // Nothing to focus finds nothing.
  for (int32_t i = 0; i < f->kid_count; ++i) f->kids[i]->focusable = 0;
  f->focus_index = -1;
  EXPECT_EQ(fcontrol_focus_first(&f->control, f->kid_count, &f->focus_index, &f->viewport), 0);
  EXPECT_EQ(f->focus_index, -1);
  key(FKEY_DOWN, 0);
}

TEST_F(DispatchTest, HandlersThatDestroyTheirControlOrItsContainerAreSafe) {
  // A top-level control that destroys itself while taking a pen event is gone from the list.
  Box* self = shown("self", {0, 0, 9, 9});
  self->pen_answer = 1;
  self->pen_action = box_destroy;
  EXPECT_EQ(pen(FPOINTER_DOWN, 2, 2, 1), Log{"self:pen 1 2,2"});
  pen(FPOINTER_DOWN, 2, 2, 0);

  // A child that focuses and destroys itself: the container goes on and reports the hit
  // unfocused.
  Box* dialog = shown("form", {10, 10, 49, 39});
  Box* kid = box_make("kid", dialog, {0, 0, 9, 9});
  kid->pen_answer = kid->focusable = 1;
  kid->pen_action = [](Box* box) {
    focus_self(box);
    box_destroy(box);
  };
  EXPECT_EQ(pen(FPOINTER_DOWN, 12, 12, 1),
            (Log{"form:pen 1 12,12", "kid:pen 1 2,2", "kid:gained"}));
  EXPECT_EQ(dialog->focus_index, -1);
  EXPECT_EQ(dialog->kid_count, 0);
  // A child that destroys its container, as a button whose click closes its dialog.
  Box* closer = box_make("closer", dialog, {0, 0, 9, 9});
  closer->pen_answer = 1;
  closer->pen_action = [](Box* box) { box_destroy(box->parent_box); };
  EXPECT_EQ(pen(FPOINTER_DOWN, 12, 12, 1),
            (Log{"form:pen 1 12,12", "closer:pen 1 2,2", "container gone"}));

  // The capture holder destroyed by its own move handler: the next events route normally.
  Box* dragger = shown("dragger", {0, 0, 9, 9});
  dragger->pen_answer = 1;
  dragger->pen_action = capture_on_down;
  pen(FPOINTER_DOWN, 1, 1, 1);
  dragger->pen_action = box_destroy;
  EXPECT_EQ(pen(FPOINTER_MOVE, 30, 30, 1), Log{"dragger:pen 3 30,30"});
  EXPECT_EQ(fscreen_get_capture(&screen), nullptr);
  EXPECT_EQ(pen(FPOINTER_UP, 30, 30, 0), Log{"default:pen 2 30,30"});
  // A container destroyed while its child holds the capture lets go of the capture, so the
  // screen never walks up through the freed container.
  Box* holder = shown("holder", {20, 20, 39, 39});
  Box* grip = box_make("grip", holder, {0, 0, 4, 4});
  fsurface_set_capture(&grip->control.surface, 1);
  box_destroy(holder);
  EXPECT_EQ(fscreen_get_capture(&screen), nullptr);
  EXPECT_EQ(grip->control.surface.captured, 0);
  EXPECT_EQ(pen(FPOINTER_MOVE, 21, 21, 0), Log{"default:pen 3 21,21"});

  // Focus hooks: the losing kid closes the whole container (the index inside it is not
  // written); the gaining kid destroys itself (it is not re-drawn afterwards).
  Box* f = form({{0, 0}, {0, 20}}, 0);
  f->kids[0]->focus_lost_action = [](Box* box) { box_destroy(box->parent_box); };
  EXPECT_EQ(key(FKEY_DOWN, 1), (Log{"form:key F80A", "k0:lost", "form:gone"}));
  f = form({{0, 0}, {0, 20}}, 0);
  fcontrol_set_focus_gained_handler(&f->kids[1]->control, [](FControl* c) {
    note(box_of(c), ":gained and gone");
    box_destroy(box_of(c));
  });
  EXPECT_EQ(key(FKEY_DOWN, 1),
            (Log{"form:key F80A", "k0:lost", "k1:gained and gone", "form:nav 1 -> 1"}));
}

}  // namespace
