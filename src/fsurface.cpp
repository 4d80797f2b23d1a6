// The surface unit: a rectangle with its own off-screen canvas, drawn by its owner through
// on_draw and composed, with its children, onto its parent's canvas or onto the screen's
// back buffer (fscreen.cpp). A change is made visible by fsurface_update, which redraws the
// surface and recomposes upward; direct surfaces skip the parent chain and go straight to
// the back buffer, which keeps fast-changing areas (the painting) cheap.
//
//   fsurface_update -> redraw (on_draw, compose children) -> parent update ... -> fscreen_paint
//                   -> direct: [compose into ancestors] -> blit to back buffer
//                      -> re-compose active and top surfaces over it -> fplatform_flush
//
// Geometry changes of a realized surface leave a dirty rectangle (old and new places) that
// the next update widens its area by, so that the place a surface left is repainted too.
//
// Every hook may release the surface that called it, or its parent (a button whose click
// closes its dialog). Each path here that calls a hook and then touches a surface again
// holds an FSurfaceGuard on it and returns as soon as the guard says it is gone;
// fsurface_release ends the guards. The children walk, which most paths share, does the
// same for the parent it walks.

#include "fsurface.h"

#include <algorithm>
#include <utility>

#include "fplatform.h"
#include "fscreen.h"

namespace {

FSurfaceGuard* g_guards = nullptr;  // innermost first; every entry lives on a stack

int32_t surface_width(const FSurface* surface) { return frect_width(surface->rect); }
int32_t surface_height(const FSurface* surface) { return frect_height(surface->rect); }

FRect surface_local_rect(const FSurface* surface) {
  return {0, 0, surface_width(surface) - 1, surface_height(surface) - 1};
}

// The canvas takes the back buffer's depth and row order so that composing onto it is a
// plain copy; without a screen (tests, start-up) 32-bit top-down rows.
int surface_create_canvas(FSurface* surface) {
  int32_t bpp = 32;
  bool top_down = true;
  FScreen* screen = fscreen_get();
  if (screen && screen->canvas.bitmap) {
    bpp = fbitmap_get_bpp(screen->canvas.bitmap);
    top_down = fbitmap_is_top_down(screen->canvas.bitmap) != 0;
  }
  int32_t width = surface_width(surface);
  int32_t height = surface_height(surface);
  if (!fcanvas_create(&surface->canvas, surface, bpp, width, top_down ? -height : height)) {
    surface->canvas = FCanvas{};
    return 0;
  }
  return 1;
}

int32_t surface_child_count(FSurface* surface) {
  return surface->child_count && surface->child_at ? surface->child_count(surface) : 0;
}

// Calls visit(child, guard) for each child, the guard watching `surface`. The count is
// read afresh for each child, since a hook may add or remove children. Returns false,
// having stopped at once, when a call released `surface`.
template <typename Visit>
bool surface_for_each_child(FSurface* surface, Visit visit) {
  FSurfaceGuard guard(surface);
  for (int32_t i = 0;; ++i) {
    const int32_t count = surface_child_count(surface);
    if (!guard.alive()) return false;
    if (i >= count) return true;
    FSurface* child = surface->child_at(surface, i);
    if (!guard.alive()) return false;
    if (child) visit(child, guard);
    if (!guard.alive()) return false;
  }
}

// A notification of the screen rect in progress for one surface. When the surface's own
// hook changes its size, the resize tells the children the new rect; the notification
// learns it here and does not tell them again. Telling them twice would cost little once,
// but each level of a tree of docked controls would repeat it for every level below,
// so that a resize cost grew with the square of the tree's depth.
class NotifyScope {
 public:
  explicit NotifyScope(const FSurface* surface) : surface_(surface), outer_(innermost_) {
    innermost_ = this;
  }
  ~NotifyScope() { innermost_ = outer_; }
  NotifyScope(const NotifyScope&) = delete;
  NotifyScope& operator=(const NotifyScope&) = delete;
  bool children_told() const { return children_told_; }

  static void mark_children_told(const FSurface* surface) {
    for (NotifyScope* scope = innermost_; scope; scope = scope->outer_) {
      if (scope->surface_ == surface) scope->children_told_ = true;
    }
  }

 private:
  static inline NotifyScope* innermost_ = nullptr;  // scopes nest on the stack
  const FSurface* surface_;  // not owned; compared, never read
  NotifyScope* outer_;
  bool children_told_ = false;
};

// The rect passed is a copy: the hook may move the surface again, or free it.
bool surface_call_moved(FSurface* surface) {
  if (!surface->on_moved) return true;
  FSurfaceGuard guard(surface);
  const FRect rect = surface->rect;
  surface->on_moved(surface, &rect);
  return guard.alive();
}

// on_draw paints into the canvas; a surface with on_compose draws itself at composition
// time instead, and one whose canvas could not be made has nothing to paint into.
bool surface_draw_content(FSurface* surface) {
  if (surface->on_compose || !surface->on_draw || !surface->canvas.bitmap) return true;
  FSurfaceGuard guard(surface);
  FRect local = surface_local_rect(surface);
  surface->on_draw(surface, &surface->canvas, &local);
  return guard.alive();
}

bool surface_compose_children(FSurface* surface) {
  return surface_for_each_child(surface, [surface](FSurface* child, const FSurfaceGuard&) {
    fsurface_compose(child, &surface->canvas);
  });
}

// Children lay themselves out against their parent, so every change of this surface's
// geometry is passed down with its rect.
bool surface_tell_children(FSurface* surface) {
  const FRect rect = surface->rect;
  const bool alive =
      surface_for_each_child(surface, [&rect](FSurface* child, const FSurfaceGuard&) {
        fsurface_notify_screen_changed(child, &rect);
      });
  if (alive) NotifyScope::mark_children_told(surface);
  return alive;
}

// on_draw, then every child composed onto the canvas; false when the surface is gone.
bool surface_redraw(FSurface* surface) {
  return surface_draw_content(surface) && surface_compose_children(surface);
}

void surface_mark_dirty(FSurface* surface, const FRect& old_rect) {
  if (!surface->realized) return;
  if (!surface->dirty) {
    surface->dirty_rect = old_rect;
    surface->dirty = 1;
  }
  surface->dirty_rect =
      frect_union(surface->dirty_rect, frect_union(surface->rect, old_rect));
}

bool surface_is_self_or_ancestor(const FSurface* surface, const FSurface* other) {
  for (const FSurface* s = surface; s; s = s->parent) {
    if (s == other) return true;
  }
  return false;
}

FPoint surface_ancestor_offset(const FSurface* surface) {
  FPoint offset{0, 0};
  for (const FSurface* a = surface->parent; a; a = a->parent) {
    offset.x += a->rect.left;
    offset.y += a->rect.top;
  }
  return offset;
}

// Composes `surface` onto the back buffer inside `area` only: outside it the back buffer
// already shows the surface, and a translucent one would be blended over itself.
void surface_compose_on_screen(FScreen* screen, FSurface* surface, const FRect& area) {
  FRect saved_clip = screen->canvas.clip;
  uint8_t saved_clip_on = screen->canvas.clip_on;
  fcanvas_set_clip(&screen->canvas, &area);
  fsurface_compose(surface, &screen->canvas);
  screen->canvas.clip = saved_clip;
  screen->canvas.clip_on = saved_clip_on;
}

// `area` is in the parent's coordinates. An owner that releases a surface orphans or
// releases its children, so a live surface's parent is live or null; when a hook releases
// any link of the chain, the surface's place on the screen is no longer known and the
// update ends.
void surface_update_direct(FSurface* surface, const FRect& area) {
  FSurfaceGuard guard(surface);
  if (surface->paint_ancestors) {
    for (FSurface* s = surface; s->parent; s = s->parent) {
      FSurfaceGuard step(s);
      FSurfaceGuard above(s->parent);
      fsurface_compose(s, &s->parent->canvas);
      if (!guard.alive() || !step.alive() || !above.alive()) return;
    }
  }
  FScreen* screen = fscreen_get();
  if (!screen || !screen->canvas.bitmap) return;
  FPoint offset = surface_ancestor_offset(surface);
  FRect on_screen = frect_intersect(frect_offset(area, offset.x, offset.y), screen->rect);
  if (frect_is_empty(on_screen)) return;

  // Only the part of the area the surface covers can come from its bitmap; the rest of a
  // widened (moved) area keeps what the back buffer holds.
  FRect covered = frect_intersect(area, surface->rect);
  if (surface->canvas.bitmap && !frect_is_empty(covered)) {
    FRect source = frect_offset(covered, -surface->rect.left, -surface->rect.top);
    fcanvas_draw_bitmap(&screen->canvas, {covered.left + offset.x, covered.top + offset.y},
                        surface->canvas.bitmap, source);
  }
  // Whatever floats above this surface is laid over the fresh pixels again. The active
  // surface's hooks may release this one; whoever releases a surface repaints its place.
  FSurface* active = screen->active_surface;
  if (active && !surface_is_self_or_ancestor(surface, active)) {
    surface_compose_on_screen(screen, active, on_screen);
    if (!guard.alive()) return;
  }
  FSurface* top = screen->top_surface;
  if (top && top != active && !surface_is_self_or_ancestor(surface, top)) {
    surface_compose_on_screen(screen, top, on_screen);
  }
  fplatform_flush(&on_screen);
}

enum class SameSize { stop, notify_if_moved };

// Shared by fsurface_resize and fsurface_set_rect.
int surface_change_rect(FSurface* surface, FRect rect, SameSize same_size) {
  FRect old = surface->rect;
  surface->rect = rect;
  surface_mark_dirty(surface, old);
  if (frect_width(old) == frect_width(rect) && frect_height(old) == frect_height(rect)) {
    if (same_size == SameSize::notify_if_moved && !frect_equal(old, rect)) {
      return surface_call_moved(surface) ? 1 : 0;
    }
    return 1;
  }
  fcanvas_release(&surface->canvas);
  if (!surface_create_canvas(surface)) return 0;
  if (!surface_call_moved(surface)) return 0;
  return surface_tell_children(surface) ? 1 : 0;
}

// A rect from an origin and a size; sizes below one pixel are taken as one, since an
// inclusive rectangle cannot be narrower.
FRect surface_rect_from_size(int32_t x, int32_t y, int32_t width, int32_t height) {
  width = std::max(width, 1);
  height = std::max(height, 1);
  return {x, y, x + width - 1, y + height - 1};
}

}  // namespace

// ---- Creation ---------------------------------------------------------------------------

int fsurface_create(FSurface* surface, FSurface* parent, const FRect* rect, uint32_t tag) {
  FCHECK(surface != nullptr, "surface!=null");
  // Hooks and composition settings are left as the caller put them (records come zeroed);
  // the state that belongs to a fresh surface is set here.
  surface->parent = parent;
  surface->rect = rect ? frect_normalized(*rect) : FRect{0, 0, 0, 0};
  surface->visible = 1;
  surface->realized = 0;
  surface->dirty = 0;
  surface->dirty_rect = FRect{};
  surface->captured = 0;
  surface->tag = tag;
  surface->next = surface;
  surface->prev = surface;
  surface->canvas = FCanvas{};
  return surface_create_canvas(surface);
}

// ---- Queries ----------------------------------------------------------------------------

FCanvas* fsurface_get_canvas(FSurface* surface) {
  FCHECK(surface != nullptr, "surface!=null");
  return &surface->canvas;
}

FRect fsurface_get_rect(const FSurface* surface) {
  FCHECK(surface != nullptr, "surface!=null");
  return surface->rect;
}

int32_t fsurface_get_width(const FSurface* surface) {
  FCHECK(surface != nullptr, "surface!=null");
  return surface_width(surface);
}

int32_t fsurface_get_height(const FSurface* surface) {
  FCHECK(surface != nullptr, "surface!=null");
  return surface_height(surface);
}

FSurface* fsurface_get_parent(const FSurface* surface) {
  FCHECK(surface != nullptr, "surface!=null");
  return surface->parent;
}

uint32_t fsurface_get_tag(const FSurface* surface) {
  FCHECK(surface != nullptr, "surface!=null");
  return surface->tag;
}

int fsurface_is_visible(const FSurface* surface) {
  FCHECK(surface != nullptr, "surface!=null");
  return surface->visible;
}

int fsurface_is_realized(const FSurface* surface) {
  FCHECK(surface != nullptr, "surface!=null");
  return surface->realized;
}

int fsurface_get_dirty(const FSurface* surface, FRect* out) {
  FCHECK(surface != nullptr, "surface!=null");
  if (!surface->dirty) return 0;
  if (out) *out = surface->dirty_rect;
  return 1;
}

FRect fsurface_get_screen_rect(const FSurface* surface) {
  FCHECK(surface != nullptr, "surface!=null");
  FPoint offset = surface_ancestor_offset(surface);
  return frect_offset(surface->rect, offset.x, offset.y);
}

// ---- Configuration ----------------------------------------------------------------------

void fsurface_set_parent(FSurface* surface, FSurface* parent) {
  FCHECK(surface != nullptr, "surface!=null");
  surface->parent = parent;
}

void fsurface_set_visible(FSurface* surface, int visible) {
  FCHECK(surface != nullptr, "surface!=null");
  surface->visible = visible ? 1 : 0;
}

FSurfaceDrawFn fsurface_set_on_draw(FSurface* surface, FSurfaceDrawFn fn) {
  FCHECK(surface != nullptr, "surface!=null");
  return std::exchange(surface->on_draw, fn);
}

FSurfaceRectFn fsurface_set_on_moved(FSurface* surface, FSurfaceRectFn fn) {
  FCHECK(surface != nullptr, "surface!=null");
  return std::exchange(surface->on_moved, fn);
}

FSurfaceRectFn fsurface_set_on_screen_changed(FSurface* surface, FSurfaceRectFn fn) {
  FCHECK(surface != nullptr, "surface!=null");
  return std::exchange(surface->on_screen_changed, fn);
}

FSurfaceKeyFn fsurface_set_on_key(FSurface* surface, FSurfaceKeyFn fn) {
  FCHECK(surface != nullptr, "surface!=null");
  return std::exchange(surface->on_key, fn);
}

FSurfacePointerFn fsurface_set_on_pointer(FSurface* surface, FSurfacePointerFn fn) {
  FCHECK(surface != nullptr, "surface!=null");
  return std::exchange(surface->on_pointer, fn);
}

void fsurface_set_children(FSurface* surface, FSurfaceChildCountFn count, FSurfaceChildAtFn at) {
  FCHECK(surface != nullptr, "surface!=null");
  surface->child_count = count;
  surface->child_at = at;
}

FSurfaceComposeFn fsurface_set_on_compose(FSurface* surface, FSurfaceComposeFn fn) {
  FCHECK(surface != nullptr, "surface!=null");
  return std::exchange(surface->on_compose, fn);
}

FSurfaceComposeFn fsurface_set_before_compose(FSurface* surface, FSurfaceComposeFn fn) {
  FCHECK(surface != nullptr, "surface!=null");
  return std::exchange(surface->before_compose, fn);
}

void fsurface_set_color_key(FSurface* surface, FColor color) {
  FCHECK(surface != nullptr, "surface!=null");
  surface->key_blue = fcolor_blue(color);
  surface->key_green = fcolor_green(color);
  surface->key_red = fcolor_red(color);
  surface->key_opacity = fcolor_alpha(color);
  surface->keyed = 1;
}

void fsurface_clear_color_key(FSurface* surface) {
  FCHECK(surface != nullptr, "surface!=null");
  surface->keyed = 0;
}

void fsurface_set_mask(FSurface* surface, const FBitmap* mask, uint16_t opacity) {
  FCHECK(surface != nullptr, "surface!=null");
  surface->mask = mask;
  surface->mask_opacity = opacity;
  // Without a mask there is nothing to compose through; the surface composes as before.
  surface->masked = mask ? 1 : 0;
}

void fsurface_set_direct(FSurface* surface, int direct, int paint_ancestors) {
  FCHECK(surface != nullptr, "surface!=null");
  surface->direct = direct ? 1 : 0;
  surface->paint_ancestors = paint_ancestors ? 1 : 0;
}

void fsurface_set_capture(FSurface* surface, int on) {
  FCHECK(surface != nullptr, "surface!=null");
  FScreen* screen = fscreen_get();
  if (on) {
    if (screen) fscreen_set_capture(screen, surface);
    surface->captured = 1;
    return;
  }
  surface->captured = 0;
  // Letting go must not end a capture another surface holds by now.
  if (screen && screen->capture_surface == surface) screen->capture_surface = nullptr;
}

// ---- Screen list ------------------------------------------------------------------------

void fsurface_show(FSurface* surface) {
  FCHECK(surface != nullptr, "surface!=null");
  if (FScreen* screen = fscreen_get()) fscreen_add_surface(screen, surface);
}

void fsurface_hide(FSurface* surface) {
  FCHECK(surface != nullptr, "surface!=null");
  if (FScreen* screen = fscreen_get()) fscreen_remove_surface(screen, surface);
}

void fsurface_raise(FSurface* surface) {
  FCHECK(surface != nullptr, "surface!=null");
  if (FScreen* screen = fscreen_get()) fscreen_raise_surface(screen, surface);
}

// ---- Geometry ---------------------------------------------------------------------------

void fsurface_move_by(FSurface* surface, int32_t dx, int32_t dy, int notify) {
  FCHECK(surface != nullptr, "surface!=null");
  if (dx == 0 && dy == 0) return;
  FRect old = surface->rect;
  surface->rect = frect_offset(old, dx, dy);
  surface_mark_dirty(surface, old);
  if (notify) surface_call_moved(surface);
}

int fsurface_resize(FSurface* surface, int32_t width, int32_t height) {
  FCHECK(surface != nullptr, "surface!=null");
  FRect rect = surface_rect_from_size(surface->rect.left, surface->rect.top, width, height);
  return surface_change_rect(surface, rect, SameSize::stop);
}

int fsurface_set_rect(FSurface* surface, int32_t x, int32_t y, int32_t width, int32_t height) {
  FCHECK(surface != nullptr, "surface!=null");
  return surface_change_rect(surface, surface_rect_from_size(x, y, width, height),
                             SameSize::notify_if_moved);
}

void fsurface_notify_screen_changed(FSurface* surface, const FRect* rect) {
  FCHECK(surface != nullptr, "surface!=null");
  // A copy: the rect may belong to a surface whose hook is about to move it.
  const FRect changed = rect ? *rect : surface->rect;
  NotifyScope scope(surface);
  if (surface->on_screen_changed) {
    FSurfaceGuard guard(surface);
    surface->on_screen_changed(surface, &changed);
    if (!guard.alive() || scope.children_told()) return;
  }
  surface_for_each_child(surface, [&changed](FSurface* child, const FSurfaceGuard&) {
    fsurface_notify_screen_changed(child, &changed);
  });
}

// ---- Drawing ----------------------------------------------------------------------------

int fsurface_realize(FSurface* surface) {
  FCHECK(surface != nullptr, "surface!=null");
  if (surface->realized) return 1;
  if (!surface_call_moved(surface) || !surface_tell_children(surface) ||
      !surface_draw_content(surface)) {
    return 0;
  }
  const bool alive = surface_for_each_child(surface, [surface](FSurface* child,
                                                               const FSurfaceGuard& guard) {
    FSurfaceGuard child_guard(child);
    fsurface_realize(child);
    if (guard.alive() && child_guard.alive()) fsurface_compose(child, &surface->canvas);
  });
  if (!alive) return 0;
  surface->realized = 1;
  return 1;
}

int fsurface_redraw(FSurface* surface) {
  FCHECK(surface != nullptr, "surface!=null");
  if (!surface->realized) return 0;
  return surface_redraw(surface) ? 1 : 0;
}

int fsurface_update(FSurface* surface, const FRect* rect) {
  FCHECK(surface != nullptr, "surface!=null");
  FSurfaceGuard guard(surface);
  if (!surface->realized || !surface_redraw(surface)) return 0;
  FRect area = surface->rect;
  if (rect) area = frect_offset(frect_normalized(*rect), surface->rect.left, surface->rect.top);
  if (surface->dirty) {
    surface->dirty = 0;
    area = frect_union(area, surface->dirty_rect);
  }
  // An invisible direct surface must not be blitted; recomposing its surroundings the
  // ordinary way clears the place it occupied.
  if (surface->direct && surface->visible) {
    surface_update_direct(surface, area);
  } else if (surface->parent) {
    fsurface_update(surface->parent, &area);
  } else if (FScreen* screen = fscreen_get()) {
    fscreen_paint(screen, &area);
  }
  return guard.alive() ? 1 : 0;
}

void fsurface_compose(FSurface* surface, FCanvas* target) {
  FCHECK(surface != nullptr, "surface!=null");
  FCHECK(target != nullptr, "canvas!=null");
  if (!surface->visible || !target->bitmap) return;
  if (surface->before_compose) {
    // The hook may release this surface, or the surface whose canvas is the target (a
    // child's hook that closes its dialog).
    FSurfaceGuard guard(surface);
    FSurface* target_owner = target->owner;
    FSurfaceGuard target_guard(target_owner);
    const FRect target_rect = target->rect;
    surface->before_compose(surface, target, &target_rect);
    if (!guard.alive() || (target_owner && !target_guard.alive())) return;
    if (!target->bitmap) return;
  }
  if (surface->on_compose) {
    FRect rect{surface->rect.left, surface->rect.top,
               surface->rect.left + surface_width(surface) - 1,
               surface->rect.top + surface_height(surface) - 1};
    surface->on_compose(surface, target, &rect);
    return;
  }
  const FBitmap* bitmap = surface->canvas.bitmap;
  if (!bitmap) return;
  FPoint at{surface->rect.left, surface->rect.top};
  FRect source = surface_local_rect(surface);
  if (surface->masked && surface->mask) {
    auto opacity = static_cast<uint8_t>(std::min<uint16_t>(surface->mask_opacity, 255));
    fcanvas_draw_bitmap_masked(target, at, bitmap, source, surface->mask, opacity);
  } else if (surface->keyed) {
    int32_t key = fcolor_key_make(surface->key_red, surface->key_green, surface->key_blue);
    fcanvas_draw_bitmap_keyed(target, at, bitmap, source, key, surface->key_opacity);
  } else {
    fcanvas_draw_bitmap(target, at, bitmap, source);
  }
}

// ---- Hooks that may destroy -------------------------------------------------------------

FSurfaceGuard::FSurfaceGuard(const FSurface* surface) : surface_(surface), next_(g_guards) {
  g_guards = this;
}

FSurfaceGuard::~FSurfaceGuard() {
  // Guards live on the stack and nest, so this one is nearly always the head.
  for (FSurfaceGuard** link = &g_guards; *link; link = &(*link)->next_) {
    if (*link == this) {
      *link = next_;
      return;
    }
  }
}

void FSurfaceGuard::forget(const FSurface* surface) {
  for (FSurfaceGuard* guard = g_guards; guard; guard = guard->next_) {
    if (guard->surface_ == surface) guard->surface_ = nullptr;
  }
}

// ---- Release ----------------------------------------------------------------------------

void fsurface_release(FSurface* surface) {
  FCHECK(surface != nullptr, "surface!=null");
  FSurfaceGuard::forget(surface);
  // The screen must not keep routing input to, or composing, a surface that is gone.
  if (FScreen* screen = fscreen_get()) {
    fscreen_remove_surface(screen, surface);
    if (screen->active_surface == surface) screen->active_surface = nullptr;
    if (screen->capture_surface == surface) screen->capture_surface = nullptr;
    if (screen->top_surface == surface) screen->top_surface = nullptr;
  }
  fcanvas_release(&surface->canvas);
  *surface = FSurface{};
}
