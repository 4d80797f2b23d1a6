// The bench the surface and screen tests share: a 40 x 20 screen at 32 bpp made global,
// with a grey background and a recording flush, and probe surfaces whose hooks write what
// fired, in order, to one log.
#pragma once

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

#include "fscreen.h"
#include "wins_window.h"

using Log = std::vector<std::string>;
inline Log g_log;

__attribute__((format(printf, 1, 2))) inline std::string fmt(const char* format, ...) {
  char buffer[128];
  va_list args;
  va_start(args, format);
  vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  return buffer;
}
inline std::string text(const FRect& r) {
  return fmt("%d,%d,%d,%d", r.left, r.top, r.right, r.bottom);
}
inline uint32_t rgb(const FBitmap* bitmap, int32_t x, int32_t y) {
  return fbitmap_get_pixel(bitmap, x, y) & 0xFFFFFF;
}

// The surface comes first so that a hook finds its probe, as a control finds itself.
struct Probe {
  FSurface surface;
  const char* name;
  FColor color;  // on_draw fills with it; the canvas starts filled with it too
  int key_answer, pointer_answer;
  void (*action)(Probe* probe);  // run by the pen hook after the answer is taken; may free
  Probe* other;
  int32_t child_total;
  Probe* children[2];
};
inline Probe* probe_of(FSurface* s) { return reinterpret_cast<Probe*>(s); }
inline void note(FSurface* s, const std::string& what) {
  g_log.push_back(probe_of(s)->name + what);
}

inline void probe_create(Probe& p, const char* name, Probe* parent, FRect rect, FColor color) {
  p.name = name;
  p.color = color;
  ASSERT_EQ(fsurface_create(&p.surface, parent ? &parent->surface : nullptr, &rect, 0), 1);
  fbitmap_fill_rect(p.surface.canvas.bitmap, 0, 0, rect.right, rect.bottom, color);
  if (parent) parent->children[parent->child_total++] = &p;
  fsurface_set_children(
      &p.surface, [](FSurface* s) { return probe_of(s)->child_total; },
      [](FSurface* s, int32_t i) { return &probe_of(s)->children[i]->surface; });
  fsurface_set_on_draw(&p.surface, [](FSurface* s, FCanvas* canvas, const FRect* r) {
    note(s, ":draw " + text(*r));
    fbitmap_fill_rect(canvas->bitmap, r->left, r->top, r->right, r->bottom, probe_of(s)->color);
  });
  fsurface_set_on_moved(&p.surface,
                        [](FSurface* s, const FRect* r) { note(s, ":moved " + text(*r)); });
  fsurface_set_on_screen_changed(
      &p.surface, [](FSurface* s, const FRect* r) { note(s, ":screen " + text(*r)); });
  fsurface_set_before_compose(&p.surface,
                              [](FSurface* s, FCanvas*, const FRect*) { note(s, ":compose"); });
  fsurface_set_on_key(&p.surface, [](FSurface* s, uint32_t code, int32_t repeat, uint32_t mods) {
    note(s, fmt(":key %u %d %u", code, repeat, mods));
    return probe_of(s)->key_answer;
  });
  fsurface_set_on_pointer(&p.surface, [](FSurface* s, int32_t type, int32_t x, int32_t y,
                                         uint32_t mods) {
    note(s, fmt(":pen %d %d,%d %u", type, x, y, mods));
    Probe* probe = probe_of(s);
    int answer = probe->pointer_answer;
    if (probe->action) probe->action(probe);  // as a dialog that closes itself
    return answer;
  });
}

class SurfaceBench : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(fscreen_create(&screen, 40, -20, 32), 1);
    fscreen_set_global(&screen);
    fscreen_set_on_paint_background(&screen, [](FScreen* sc, const FRect* r) {
      g_log.push_back("background " + text(*r));
      fbitmap_fill_rect(sc->canvas.bitmap, r->left, r->top, r->right, r->bottom, 0xFF808080u);
    });
    wins_window_set_flush(
        [](const FRect* r) { g_log.push_back("flush " + (r ? text(*r) : "all")); });
    g_log.clear();
  }
  void TearDown() override {
    for (Probe* p : {&a, &b, &c, &d, &e}) fsurface_release(&p->surface);
    wins_window_set_flush(nullptr);
    fscreen_release(&screen);
  }
  uint32_t screen_rgb(int32_t x, int32_t y) { return rgb(screen.canvas.bitmap, x, y); }

  FScreen screen{};
  Probe a{}, b{}, c{}, d{}, e{};
};
