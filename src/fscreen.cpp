// The screen unit: the one back buffer of the display, the stacking list of top-level
// surfaces and the routing of pen and key input to them. Surfaces (fsurface.cpp) compose
// themselves onto the back buffer here; the platform port shows it through
// fplatform_flush and feeds input in through fscreen_pointer and fscreen_key.
//
//   fscreen_paint   -> background hook -> listed surfaces back to front (fsurface_compose)
//                   -> active surface -> top surface -> fplatform_flush
//   fscreen_pointer -> capture (parent coordinates) -> active -> listed front to back
//                   -> default hook
//   fscreen_key     -> top -> active -> listed front to back -> default hook
//
// Every hook the screen calls may hide, raise or destroy surfaces, its own included. The
// list walks therefore run over a snapshot of the list taken before the first call, and a
// surface of the snapshot is only touched while it is still listed (a check that compares
// pointers and never reads a surface that may have gone). The screen's capture, active and
// top references are read afresh after each call, since fsurface_release clears them.

#include "fscreen.h"

#include <memory>
#include <new>
#include <utility>

#include "fplatform.h"

namespace {

FScreen* g_screen = nullptr;  // not owned: the framework's global record holds it

enum class ListOrder { front_to_back, back_to_front };

bool fscreen_lists(const FScreen* screen, const FSurface* surface) {
  for (const FSurface* s = screen->first; s; s = s->next) {
    if (s == surface) return true;
  }
  return false;
}

// The listed surfaces at the moment of construction, in the asked order.
class ListSnapshot {
 public:
  ListSnapshot(const FScreen* screen, ListOrder order) {
    int32_t total = 0;
    for (const FSurface* s = screen->first; s; s = s->next) ++total;
    items_ = inline_items_;
    if (total > kInlineCount) {
      heap_items_.reset(new (std::nothrow) FSurface*[total]);
      // Short of memory the walk still serves the front-most surfaces, which are the ones
      // the user sees and touches.
      if (heap_items_) items_ = heap_items_.get();
      else total = kInlineCount;
    }
    count_ = 0;
    for (FSurface* s = screen->first; s && count_ < total; s = s->next) items_[count_++] = s;
    if (order == ListOrder::back_to_front) {
      for (int32_t i = 0, j = count_ - 1; i < j; ++i, --j) std::swap(items_[i], items_[j]);
    }
  }
  ListSnapshot(const ListSnapshot&) = delete;
  ListSnapshot& operator=(const ListSnapshot&) = delete;

  int32_t count() const { return count_; }
  FSurface* at(int32_t index) const { return items_[index]; }

 private:
  static constexpr int32_t kInlineCount = 32;
  FSurface* inline_items_[kInlineCount];
  std::unique_ptr<FSurface*[]> heap_items_;
  FSurface** items_;
  int32_t count_;
};

// Calls `visit` for each surface listed when the walk began and still listed when its turn
// comes; stops as soon as `visit` returns true. Returns whether it stopped.
template <typename Visit>
bool fscreen_walk_list(FScreen* screen, ListOrder order, Visit visit) {
  ListSnapshot snapshot(screen, order);
  for (int32_t i = 0; i < snapshot.count(); ++i) {
    FSurface* surface = snapshot.at(i);
    if (!fscreen_lists(screen, surface)) continue;
    if (visit(surface)) return true;
  }
  return false;
}

void fscreen_unlink(FScreen* screen, FSurface* surface) {
  if (surface->prev) surface->prev->next = surface->next;
  else screen->first = surface->next;
  if (surface->next) surface->next->prev = surface->prev;
  else screen->last = surface->prev;
  surface->next = surface;
  surface->prev = surface;
}

}  // namespace

FScreen* fscreen_get() { return g_screen; }

void fscreen_set_global(FScreen* screen) { g_screen = screen; }

// ---- Creation ---------------------------------------------------------------------------

int fscreen_create(FScreen* screen, int32_t width, int32_t height, int32_t bpp) {
  FCHECK(screen != nullptr, "screen!=null");
  *screen = FScreen{};
  // The platform passes the height negative to ask for top-down rows; the back buffer is
  // top-down whatever the sign, since the flush and the port expect it so.
  if (height < 0) height = -height;
  if (width < 1 || height < 1) return 0;
  if (!fcanvas_create(&screen->canvas, nullptr, bpp, width, -height)) {
    *screen = FScreen{};
    return 0;
  }
  screen->rect = {0, 0, width - 1, height - 1};
  return 1;
}

// ---- Queries ----------------------------------------------------------------------------

FCanvas* fscreen_get_canvas(FScreen* screen) {
  FCHECK(screen != nullptr, "screen!=null");
  return &screen->canvas;
}

FBitmap* fscreen_get_bitmap(FScreen* screen) {
  FCHECK(screen != nullptr, "screen!=null");
  return screen->canvas.bitmap;
}

int32_t fscreen_get_width(const FScreen* screen) {
  FCHECK(screen != nullptr, "screen!=null");
  return screen->canvas.bitmap ? fbitmap_get_width(screen->canvas.bitmap) : 0;
}

int32_t fscreen_get_height(const FScreen* screen) {
  FCHECK(screen != nullptr, "screen!=null");
  return screen->canvas.bitmap ? fbitmap_get_height(screen->canvas.bitmap) : 0;
}

FPoint fscreen_get_pointer_pos(const FScreen* screen) {
  FCHECK(screen != nullptr, "screen!=null");
  return {screen->pointer_x, screen->pointer_y};
}

FSurface* fscreen_get_capture(const FScreen* screen) {
  FCHECK(screen != nullptr, "screen!=null");
  return screen->capture_surface;
}

FSurface* fscreen_get_active(const FScreen* screen) {
  FCHECK(screen != nullptr, "screen!=null");
  return screen->active_surface;
}

FSurface* fscreen_get_top(const FScreen* screen) {
  FCHECK(screen != nullptr, "screen!=null");
  return screen->top_surface;
}

// ---- Configuration ----------------------------------------------------------------------

void fscreen_set_on_paint_background(FScreen* screen, FScreenPaintFn fn) {
  FCHECK(screen != nullptr, "screen!=null");
  screen->on_paint_background = fn;
}

void fscreen_set_on_screen_changed(FScreen* screen, FScreenChangedFn fn) {
  FCHECK(screen != nullptr, "screen!=null");
  screen->on_screen_changed = fn;
}

void fscreen_set_on_key_default(FScreen* screen, FScreenKeyFn fn) {
  FCHECK(screen != nullptr, "screen!=null");
  screen->on_key_default = fn;
}

void fscreen_set_on_pointer_default(FScreen* screen, FScreenPointerFn fn) {
  FCHECK(screen != nullptr, "screen!=null");
  screen->on_pointer_default = fn;
}

void fscreen_set_paint_suspended(FScreen* screen, uint32_t suspended) {
  FCHECK(screen != nullptr, "screen!=null");
  screen->paint_suspended = suspended;
}

void fscreen_set_capture(FScreen* screen, FSurface* surface) {
  FCHECK(screen != nullptr, "screen!=null");
  // The captured flag follows the reference, so that a surface never believes it holds a
  // capture another surface has taken over.
  if (screen->capture_surface && screen->capture_surface != surface) {
    screen->capture_surface->captured = 0;
  }
  screen->capture_surface = surface;
  if (surface) surface->captured = 1;
}

void fscreen_set_active(FScreen* screen, FSurface* surface) {
  FCHECK(screen != nullptr, "screen!=null");
  screen->active_surface = surface;
}

void fscreen_set_top(FScreen* screen, FSurface* surface) {
  FCHECK(screen != nullptr, "screen!=null");
  screen->top_surface = surface;
}

// ---- Surface list -----------------------------------------------------------------------

void fscreen_add_surface(FScreen* screen, FSurface* surface) {
  FCHECK(screen != nullptr && surface != nullptr, "screen!=null && surface!=null");
  // Membership is decided by walking the list rather than by the links, which a released
  // (zeroed) or never-created record does not keep in the self-linked form.
  if (fscreen_lists(screen, surface)) fscreen_unlink(screen, surface);
  surface->prev = nullptr;
  surface->next = screen->first;
  if (screen->first) screen->first->prev = surface;
  else screen->last = surface;
  screen->first = surface;
}

void fscreen_remove_surface(FScreen* screen, FSurface* surface) {
  FCHECK(screen != nullptr && surface != nullptr, "screen!=null && surface!=null");
  if (fscreen_lists(screen, surface)) fscreen_unlink(screen, surface);
}

void fscreen_raise_surface(FScreen* screen, FSurface* surface) {
  FCHECK(screen != nullptr && surface != nullptr, "screen!=null && surface!=null");
  fscreen_remove_surface(screen, surface);
  fscreen_add_surface(screen, surface);
}

// ---- Changes and input ------------------------------------------------------------------

int fscreen_resize(FScreen* screen, int32_t width, int32_t height) {
  FCHECK(screen != nullptr, "screen!=null");
  if (width < 1 || height < 1 || !screen->canvas.bitmap) return 0;
  int32_t bpp = fbitmap_get_bpp(screen->canvas.bitmap);
  int32_t rows = fbitmap_is_top_down(screen->canvas.bitmap) ? -height : height;
  // The new back buffer is made before the old one goes, so that a shortage of memory
  // leaves the screen as it was instead of without a buffer to compose on.
  FCanvas fresh{};
  if (!fcanvas_create(&fresh, nullptr, bpp, width, rows)) return 0;
  fcanvas_release(&screen->canvas);
  screen->canvas = fresh;
  screen->rect = {0, 0, width - 1, height - 1};
  return 1;
}

void fscreen_broadcast_screen_changed(FScreen* screen, const FRect* rect) {
  FCHECK(screen != nullptr, "screen!=null");
  FRect full = rect ? *rect : screen->rect;
  // Surfaces re-lay themselves out one after the other; painting in between would show
  // half-arranged screens, so the one repaint waits for the end.
  screen->paint_suspended = 1;
  fscreen_walk_list(screen, ListOrder::back_to_front, [&](FSurface* surface) {
    fsurface_notify_screen_changed(surface, &full);
    return false;
  });
  if (screen->on_screen_changed) screen->on_screen_changed(&full);
  screen->paint_suspended = 0;
  fscreen_paint(screen, nullptr);
}

int fscreen_paint(FScreen* screen, const FRect* rect) {
  FCHECK(screen != nullptr, "screen!=null");
  if (screen->paint_suspended) return 1;
  if (!screen->canvas.bitmap) return 0;
  FRect area = screen->rect;
  if (rect) {
    area = frect_intersect(frect_normalized(*rect), screen->rect);
    if (frect_is_empty(area)) return 1;
  }
  FRect saved_clip = screen->canvas.clip;
  uint8_t saved_clip_on = screen->canvas.clip_on;
  fcanvas_set_clip(&screen->canvas, &area);
  if (screen->on_paint_background) screen->on_paint_background(screen, &area);
  // The active and top surfaces are drawn above the list even when they are listed.
  fscreen_walk_list(screen, ListOrder::back_to_front, [&](FSurface* surface) {
    if (surface != screen->active_surface && surface != screen->top_surface) {
      fsurface_compose(surface, &screen->canvas);
    }
    return false;
  });
  if (screen->active_surface) fsurface_compose(screen->active_surface, &screen->canvas);
  if (screen->top_surface && screen->top_surface != screen->active_surface) {
    fsurface_compose(screen->top_surface, &screen->canvas);
  }
  screen->canvas.clip = saved_clip;
  screen->canvas.clip_on = saved_clip_on;
  fplatform_flush(rect ? &area : nullptr);
  return 1;
}

int fscreen_key(FScreen* screen, uint32_t code, int32_t repeat, uint32_t modifiers) {
  FCHECK(screen != nullptr, "screen!=null");
  auto offer = [&](FSurface* surface) {
    return surface && surface->visible && surface->on_key &&
           surface->on_key(surface, code, repeat, modifiers) != 0;
  };
  FSurface* top = screen->top_surface;
  if (offer(top)) return 1;
  FSurface* active = screen->active_surface;
  if (offer(active)) return 1;
  // Surfaces already asked are not asked twice when they are also listed.
  bool handled = fscreen_walk_list(screen, ListOrder::front_to_back, [&](FSurface* surface) {
    return surface != top && surface != active && offer(surface);
  });
  if (handled) return 1;
  return screen->on_key_default ? screen->on_key_default(code, repeat, modifiers) : 0;
}

int fscreen_pointer(FScreen* screen, int32_t type, int32_t x, int32_t y, uint32_t modifiers) {
  FCHECK(screen != nullptr, "screen!=null");
  screen->pointer_x = x;
  screen->pointer_y = y;

  FSurface* capture = screen->capture_surface;
  if (capture && capture->on_pointer) {
    // The capture surface compares positions with its own rect, which lies in its
    // parent's coordinates.
    int32_t local_x = x, local_y = y;
    for (const FSurface* a = capture->parent; a; a = a->parent) {
      local_x -= a->rect.left;
      local_y -= a->rect.top;
    }
    int handled = capture->on_pointer(capture, type, local_x, local_y, modifiers);
    // The pen up ends the capture whatever the answer. When the hook released the surface
    // or handed the capture to another surface, the reference no longer points here and
    // neither the surface nor the new capture may be touched.
    if (type == FPOINTER_UP && screen->capture_surface == capture) {
      capture->captured = 0;
      screen->capture_surface = nullptr;
    }
    if (handled) return 1;
  } else {
    capture = nullptr;  // not asked, so not skipped below
  }

  auto offer = [&](FSurface* surface) {
    return surface && surface->visible && surface->on_pointer &&
           surface->on_pointer(surface, type, x, y, modifiers) != 0;
  };
  FSurface* active = screen->active_surface;
  if (active != capture && offer(active)) return 1;
  bool handled = fscreen_walk_list(screen, ListOrder::front_to_back, [&](FSurface* surface) {
    return surface != capture && surface != active && offer(surface);
  });
  if (handled) return 1;
  return screen->on_pointer_default ? screen->on_pointer_default(type, x, y, modifiers) : 0;
}

// ---- Release ----------------------------------------------------------------------------

void fscreen_release(FScreen* screen) {
  FCHECK(screen != nullptr, "screen!=null");
  // Surfaces outlive the screen in some shut-down orders; they must not keep links into a
  // list that is gone.
  while (screen->first) fscreen_unlink(screen, screen->first);
  fcanvas_release(&screen->canvas);
  if (g_screen == screen) g_screen = nullptr;
  *screen = FScreen{};
}
