// The bench the control tests share, on the surface bench's log (surface_fixture.h): a
// screen of the asked depth made global, a theme, and "boxes": controls whose handlers
// write what fired, in order, to the log. A box with kids is a container that routes pen
// events to them (topmost first), takes the focus of a tapped kid and moves it with the
// arrow keys.
#pragma once

#include <algorithm>

#include "fcontrol.h"
#include "ftheme.h"
#include "surface_fixture.h"

struct Box;
using BoxAction = void (*)(Box* box);

// The control comes first, so that a handler finds its box as a subclass finds itself.
struct Box {
  FControl control;
  const char* name;
  Box* parent_box;
  Box* kids[8];
  int32_t kid_count;
  int32_t pen_answer;  // for points inside the box (or while it holds the capture)
  int32_t key_answer;
  int32_t focusable;
  int32_t focus_index;          // container: the focused kid, -1 none
  FRect viewport;               // container: where the arrow keys look for kids
  BoxAction pen_action;         // runs in the pen handler after the answer is taken; may destroy
  BoxAction focus_lost_action;  // runs in the focus-lost handler; may destroy
};

inline Box* box_of(FControl* c) { return reinterpret_cast<Box*>(c); }
inline void note(Box* b, const std::string& what) { g_log.push_back(b->name + what); }
inline std::string text(const FInsets& m) {
  return fmt("%d %d %d %d", m.left, m.top, m.right, m.bottom);
}
inline FRect rect_of(const Box* b) { return b->control.surface.rect; }

inline std::vector<Box*> g_boxes;  // every live box, freed by the fixture

// As a well-behaved owner: out of its parent's list, deinit, its kids orphaned, freed.
// The kids are orphaned only after deinit, which must find a kid's capture through them.
inline void box_destroy(Box* b) {
  if (Box* parent = b->parent_box) {
    Box** end = parent->kids + parent->kid_count;
    std::copy(std::find(parent->kids, end, b) + 1, end, std::find(parent->kids, end, b));
    --parent->kid_count;
  }
  g_boxes.erase(std::find(g_boxes.begin(), g_boxes.end(), b));
  fcontrol_deinit(&b->control);
  for (int32_t i = 0; i < b->kid_count; ++i) {
    b->kids[i]->parent_box = nullptr;
    fsurface_set_parent(&b->kids[i]->control.surface, nullptr);
  }
  delete b;
}

inline int32_t box_pen(FControl* c, int32_t type, int32_t x, int32_t y, uint32_t modifiers) {
  Box* b = box_of(c);
  note(b, fmt(":pen %d %d,%d", type, x, y));
  if (b->kid_count > 0) {
    FChildHit hit = fcontrol_pen_children(c, type, x, y, modifiers);
    if (hit.gone) {
      g_log.push_back("container gone");
      return 1;
    }
    if (hit.index >= 0) {
      if (hit.focused && hit.index != b->focus_index) {
        if (b->focus_index >= 0) fcontrol_focus_move(&b->kids[b->focus_index]->control, nullptr);
        b->focus_index = hit.index;
      }
      return 1;
    }
  }
  const FRect& r = c->surface.rect;
  const bool inside = x >= r.left && x <= r.right && y >= r.top && y <= r.bottom;
  const int32_t answer = inside || c->surface.captured ? b->pen_answer : 0;
  if (b->pen_action) b->pen_action(b);
  return answer;
}

inline int32_t box_key(FControl* c, uint32_t key, int32_t, uint32_t) {
  Box* b = box_of(c);
  note(b, fmt(":key %X", key));
  const FFocusDirection directions[] = {FFocusDirection::left, FFocusDirection::right,
                                        FFocusDirection::up, FFocusDirection::down};
  if (key < FKEY_LEFT || key > FKEY_DOWN || b->kid_count == 0) return b->key_answer;
  const char* name = b->name;
  FControlGuard guard(c);
  int moved = fcontrol_focus_navigate(c, b->kid_count, &b->focus_index, &b->viewport,
                                      directions[key - FKEY_LEFT]);
  if (!guard.alive()) {
    g_log.push_back(fmt("%s:gone", name));
    return 1;
  }
  note(b, fmt(":nav %d -> %d", moved, b->focus_index));
  return moved;
}

inline Box* box_make(const char* name, Box* parent, FRect rect) {
  Box* b = new Box{};
  b->name = name;
  b->focus_index = -1;
  b->viewport = {0, 0, rect.right - rect.left, rect.bottom - rect.top};
  EXPECT_EQ(fcontrol_init(&b->control, parent ? &parent->control : nullptr, &rect, 0), 1);
  g_boxes.push_back(b);
  if (parent) {
    b->parent_box = parent;
    parent->kids[parent->kid_count++] = b;
  }
  FControl* c = &b->control;
  fcontrol_set_child_handlers(
      c, [](FControl* s) { return box_of(s)->kid_count; },
      [](FControl* s, int32_t i) -> FSurface* {
        Box* box = box_of(s);
        return i >= 0 && i < box->kid_count ? &box->kids[i]->control.surface : nullptr;
      });
  fcontrol_set_pen_handler(c, box_pen);
  fcontrol_set_key_handler(c, box_key);
  fcontrol_set_can_focus(c, [](FControl* s) { return box_of(s)->focusable; });
  fcontrol_set_focus_gained_handler(c, [](FControl* s) { note(box_of(s), ":gained"); });
  fcontrol_set_focus_lost_handler(c, [](FControl* s) {
    note(box_of(s), ":lost");
    if (box_of(s)->focus_lost_action) box_of(s)->focus_lost_action(box_of(s));
  });
  return b;
}

// Resize and layout handlers that log, for the geometry tests.
inline void box_log_geometry(Box* b) {
  fcontrol_set_resize_handler(
      &b->control, [](FControl* c, const FRect* r) { note(box_of(c), ":resize " + text(*r)); });
  fcontrol_set_layout_handler(
      &b->control, [](FControl* c, const FRect* r) { note(box_of(c), ":layout " + text(*r)); });
}

class ControlBench : public ::testing::Test {
 protected:
  void open_screen(int32_t width, int32_t height, int32_t bpp) {
    ASSERT_EQ(fscreen_create(&screen, width, -height, bpp), 1);
    fscreen_set_global(&screen);
    fscreen_set_on_paint_background(&screen, [](FScreen* sc, const FRect* r) {
      fbitmap_fill_rect(sc->canvas.bitmap, r->left, r->top, r->right, r->bottom, 0xFF0000FFu);
    });
  }
  void SetUp() override {
    open_screen(64, 48, 32);
    theme = ftheme_create();
    ASSERT_NE(theme, nullptr);
    ftheme_set_global(theme);
    wins_window_set_flush([](const FRect*) {});
    g_log.clear();
  }
  void TearDown() override {
    while (!g_boxes.empty()) box_destroy(g_boxes.back());
    wins_window_set_flush(nullptr);
    if (theme) ftheme_destroy(theme);
    fscreen_release(&screen);
  }
  // `rgb` (0xRRGGBB) as the screen stores it: as it is at 32 bpp, RGB565 at 16.
  uint32_t stored(uint32_t rgb) {
    if (fbitmap_get_bpp(screen.canvas.bitmap) == 32) return rgb;
    return ((rgb >> 19) & 0x1F) << 11 | ((rgb >> 10) & 0x3F) << 5 | ((rgb >> 3) & 0x1F);
  }
  uint32_t pixel(int32_t x, int32_t y) {  // the screen pixel as stored
    uint32_t raw = fbitmap_get_pixel(screen.canvas.bitmap, x, y);
    return fbitmap_get_bpp(screen.canvas.bitmap) == 32 ? raw & 0xFFFFFF : raw;
  }

  FScreen screen{};
  FTheme* theme = nullptr;
};
