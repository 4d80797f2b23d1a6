// The control unit: the base of every widget, built on the surface (fsurface.cpp). A
// control installs fixed adapters in its surface's callbacks, so that the surface
// machinery (realize, redraw, update, the screen's input routing in fscreen.cpp) reaches
// the control's own handlers; it keeps a client rectangle, docking and anchoring to its
// parent, focus and enabled state and an owned background drawer (fbdrawer.cpp).
//
//   fscreen_pointer -> capture / active / listed surface -> pen adapter -> on_pen
//                   -> container: fcontrol_pen_children (own left/top off, topmost first)
//                      -> child's pen adapter -> on_pen ...
//   parent resized  -> every child's parent adapter -> dock/anchor layout -> set rect
//                   -> resized adapter (client_rect, on_resize or update) -> on_layout
//
// Hooks may destroy the control that called them (a click that closes the dialog). Every
// place here that calls a hook and then touches a control again holds an FControlGuard on
// it; releasing the control's surface ends the guards (the mechanism is the surface unit's).

#include "fcontrol.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

#include "fplatform.h"
#include "fscreen.h"
#include "ftheme.h"

namespace {

// ---- Guards and nesting ----------------------------------------------------------------


// Layout and resize handlers may change geometry again (an image that fits itself to its
// picture, a layout hook that resizes its parent); each change calls the handlers anew.
// Past this nesting the geometry is still stored but no handler is called, so that two
// controls that keep answering each other end instead of exhausting the stack. Real
// trees need two levels per generation, far below the bound.
constexpr int kNestingLimit = 64;
int g_nesting = 0;

class NestingScope {
 public:
  NestingScope() { ++g_nesting; }
  ~NestingScope() { --g_nesting; }
  NestingScope(const NestingScope&) = delete;
  NestingScope& operator=(const NestingScope&) = delete;
  bool allowed() const { return g_nesting <= kNestingLimit; }
};

// ---- Small helpers ---------------------------------------------------------------------

FControl* control_of(FSurface* surface) { return reinterpret_cast<FControl*>(surface); }

FRect control_local_rect(const FControl* control) {
  const FRect& r = control->surface.rect;
  return {0, 0, r.right - r.left, r.bottom - r.top};
}

bool control_is_docked(const FControl* control) {
  return control->dock >= FDOCK_LEFT && control->dock <= FDOCK_FILL;
}

void control_update_margins(FControl* control) {
  const FRect p = fcontrol_get_parent_rect(control);
  const FRect& r = control->surface.rect;
  control->margins = {r.left - p.left, r.top - p.top, p.right - r.right, p.bottom - r.bottom};
}

// Sets the surface rect (which calls the resized adapter when it changed); margins follow
// unless the handler destroyed the control. Result 0 when the canvas could not be had.
int control_set_rect_keep_margins(FControl* control, int32_t x, int32_t y, int32_t width,
                                  int32_t height) {
  FControlGuard guard(control);
  int result = fsurface_set_rect(&control->surface, x, y, width, height);
  if (guard.alive()) control_update_margins(control);
  return result;
}

bool surface_descends_from(const FSurface* surface, const FSurface* ancestor) {
  for (const FSurface* s = surface; s; s = s->parent) {
    if (s == ancestor) return true;
  }
  return false;
}

// Children that were added after their parent was drawn the first time have never been
// drawn; the surface composes every child, so they are drawn now, before composition.
void control_realize_children(FControl* control) {
  FControlGuard guard(control);
  for (int32_t i = 0; guard.alive() && i < fcontrol_child_count(control); ++i) {
    FSurface* child = fcontrol_child_at(control, i);
    if (child && !child->realized) fsurface_realize(child);
  }
}

// The dock/anchor layout against the parent's client rectangle `p`; margins stay as they
// are, so that a parent that shrinks and grows again gives the control its place back.
void control_apply_layout(FControl* control, const FRect& p) {
  const FRect& r = control->surface.rect;
  const int32_t width = frect_width(r);
  const int32_t height = frect_height(r);
  const uint32_t anchors = control->anchors;
  FRect next = r;
  if (anchors & FANCHOR_LEFT) next.left = p.left + control->margins.left;
  if (anchors & FANCHOR_TOP) next.top = p.top + control->margins.top;
  if (anchors & FANCHOR_RIGHT) next.right = p.right - control->margins.right;
  if (anchors & FANCHOR_BOTTOM) {
    next.bottom = p.bottom - control->margins.bottom;
    // Without a top anchor the control follows the bottom edge and keeps its height.
    if (control->dock != FDOCK_BOTTOM && !(anchors & FANCHOR_TOP)) {
      next.top = next.bottom - height + 1;
    }
  }
  if (control->dock == FDOCK_RIGHT) next.left = next.right - width + 1;
  if (control->dock == FDOCK_BOTTOM) next.top = next.bottom - height + 1;
  // A parent smaller than the margins leaves an inverted rectangle; the surface keeps at
  // least one pixel and the margins bring the size back when the parent grows.
  fsurface_set_rect(&control->surface, next.left, next.top, next.right - next.left + 1,
                    next.bottom - next.top + 1);
}

// ---- Surface adapters ------------------------------------------------------------------

void adapter_paint(FSurface* surface, FCanvas* canvas, const FRect* rect) {
  FControl* control = control_of(surface);
  FControlGuard guard(control);
  if (control->on_paint) {
    control->on_paint(control, canvas, rect);
  } else if (control->drawer) {
    fbdrawer_paint(control->drawer, canvas, rect);
  }
  if (guard.alive()) control_realize_children(control);
}

void adapter_resized(FSurface* surface, const FRect* rect) {
  FControl* control = control_of(surface);
  // A copy: the handler may move the control, and the rect is the surface's own.
  const FRect changed = *rect;
  control->client_rect = {0, 0, changed.right - changed.left, changed.bottom - changed.top};
  NestingScope scope;
  if (!scope.allowed()) return;
  if (control->on_resize) control->on_resize(control, &changed);
  else fsurface_update(&control->surface, nullptr);
}

void adapter_parent_resized(FSurface* surface, const FRect*) {
  FControl* control = control_of(surface);
  NestingScope scope;
  if (!scope.allowed()) return;
  // The rect the surface passes down is the parent's whole rect in its own parent's
  // coordinates; a control lays itself out against the parent's client rectangle.
  const FRect p = fcontrol_get_parent_rect(control);
  if (frect_width(p) < 1 && frect_height(p) < 1) return;
  FControlGuard guard(control);
  control_apply_layout(control, p);
  if (guard.alive() && control->on_layout) control->on_layout(control, &p);
}

int adapter_key(FSurface* surface, uint32_t code, int32_t repeat, uint32_t modifiers) {
  return fcontrol_key(control_of(surface), code, repeat, modifiers);
}

int adapter_pen(FSurface* surface, int32_t type, int32_t x, int32_t y, uint32_t modifiers) {
  return fcontrol_pen(control_of(surface), type, x, y, modifiers);
}

int32_t adapter_child_count(FSurface* surface) {
  return fcontrol_child_count(control_of(surface));
}

FSurface* adapter_child_at(FSurface* surface, int32_t index) {
  return fcontrol_child_at(control_of(surface), index);
}

void control_install_adapters(FControl* control) {
  FSurface* s = &control->surface;
  s->on_draw = adapter_paint;
  s->on_moved = adapter_resized;
  s->on_screen_changed = adapter_parent_resized;
  s->on_key = adapter_key;
  s->on_pointer = adapter_pen;
  s->child_count = adapter_child_count;
  s->child_at = adapter_child_at;
}

// ---- Focus search helpers --------------------------------------------------------------

FControl* container_child(FControl* container, int32_t index) {
  return fcontrol_from_surface(fcontrol_child_at(container, index));
}

// The end (exclusive) of the scan: the first child whose top lies below the viewport.
int32_t focus_scan_end(FControl* container, int32_t count, const FRect& viewport) {
  for (int32_t i = 0; i < count; ++i) {
    const FSurface* child = fcontrol_child_at(container, i);
    if (child && child->rect.top > viewport.bottom) return i;
  }
  return count;
}

bool focus_candidate_at(FControl* container, int32_t index, int32_t scan_end,
                        const FRect& viewport) {
  if (index < 0 || index >= scan_end) return false;
  FControl* child = container_child(container, index);
  if (!child || !fcontrol_is_focus_candidate(child)) return false;
  return !frect_is_empty(frect_intersect(child->surface.rect, viewport));
}

}  // namespace

// ---- Creation ---------------------------------------------------------------------------

int fcontrol_init(FControl* control, FControl* parent, const FRect* rect, uint32_t tag) {
  FCHECK(control != nullptr, "control!=null");
  if (!fsurface_create(&control->surface, parent ? &parent->surface : nullptr, rect, tag)) {
    return 0;
  }
  FBDrawer* drawer = ftheme_copy_background();
  if (!drawer) {
    fsurface_release(&control->surface);
    return 0;
  }
  control_install_adapters(control);
  control->client_rect = control_local_rect(control);
  control->dock = FDOCK_NONE;
  control->anchors = 0;
  control->focused = 0;
  control->disabled = 0;
  control->drawer = drawer;
  control_update_margins(control);
  ftheme_style(control, FSTYLE_CONTROL, tag);
  return 1;
}

FControl* fcontrol_create(FControl* parent, const FRect* rect, uint32_t tag) {
  auto* control = static_cast<FControl*>(std::calloc(1, sizeof(FControl)));
  if (!control) return nullptr;
  if (!fcontrol_init(control, parent, rect, tag)) {
    std::free(control);
    return nullptr;
  }
  return control;
}

void fcontrol_show(FControl* control) {
  FCHECK(control != nullptr, "control!=null");
  if (!control->surface.parent) fsurface_show(&control->surface);
  fsurface_realize(&control->surface);
}

// ---- Queries ----------------------------------------------------------------------------

FControl* fcontrol_from_surface(FSurface* surface) {
  if (!surface) return nullptr;
  // A surface is a control's when it carries the control adapters; subclasses replace
  // handlers, not adapters, so any one of them gives it away.
  if (surface->on_moved == adapter_resized ||
      surface->on_screen_changed == adapter_parent_resized || surface->on_draw == adapter_paint) {
    return control_of(surface);
  }
  return nullptr;
}

FRect fcontrol_get_parent_rect(const FControl* control) {
  FCHECK(control != nullptr, "control!=null");
  FSurface* parent = control->surface.parent;
  if (parent) {
    if (const FControl* owner = fcontrol_from_surface(parent)) return owner->client_rect;
    // A plain surface has no client area of its own: all of it.
    return {0, 0, parent->rect.right - parent->rect.left, parent->rect.bottom - parent->rect.top};
  }
  if (const FScreen* screen = fscreen_get()) return screen->rect;
  int32_t width = 0, height = 0;
  fplatform_display_size(&width, &height);
  return {0, 0, width - 1, height - 1};
}

FBDrawer* fcontrol_get_drawer(const FControl* control) {
  FCHECK(control != nullptr, "control!=null");
  return control->drawer;
}

FRect* fcontrol_get_client_rect(FControl* control) {
  FCHECK(control != nullptr, "control!=null");
  return &control->client_rect;
}

int fcontrol_is_enabled(const FControl* control) {
  FCHECK(control != nullptr, "control!=null");
  return control->disabled ? 0 : 1;
}

uint8_t fcontrol_is_focused(const FControl* control) {
  FCHECK(control != nullptr, "control!=null");
  return control->focused;
}

int fcontrol_is_focus_candidate(FControl* control) {
  FCHECK(control != nullptr, "control!=null");
  if (control->disabled || !control->surface.visible) return 0;
  return fcontrol_can_focus(control) ? 1 : 0;
}

// ---- Handlers ---------------------------------------------------------------------------

FControlPaintFn fcontrol_set_paint_handler(FControl* control, FControlPaintFn handler) {
  FCHECK(control != nullptr, "control!=null");
  return std::exchange(control->on_paint, handler);
}

FControlRectFn fcontrol_set_resize_handler(FControl* control, FControlRectFn handler) {
  FCHECK(control != nullptr, "control!=null");
  return std::exchange(control->on_resize, handler);
}

FControlRectFn fcontrol_set_layout_handler(FControl* control, FControlRectFn handler) {
  FCHECK(control != nullptr, "control!=null");
  return std::exchange(control->on_layout, handler);
}

FControlKeyFn fcontrol_set_key_handler(FControl* control, FControlKeyFn handler) {
  FCHECK(control != nullptr, "control!=null");
  return std::exchange(control->on_key, handler);
}

FControlPenFn fcontrol_set_pen_handler(FControl* control, FControlPenFn handler) {
  FCHECK(control != nullptr, "control!=null");
  return std::exchange(control->on_pen, handler);
}

void fcontrol_set_child_handlers(FControl* control, FControlCountFn count, FControlChildAtFn at) {
  FCHECK(control != nullptr, "control!=null");
  control->on_child_count = count;
  control->on_child_at = at;
}

void fcontrol_set_can_focus(FControl* control, FControlTestFn handler) {
  FCHECK(control != nullptr, "control!=null");
  control->can_focus = handler;
}

void fcontrol_set_focus_gained_handler(FControl* control, FControlFn handler) {
  FCHECK(control != nullptr, "control!=null");
  control->on_focus_gained = handler;
}

void fcontrol_set_focus_lost_handler(FControl* control, FControlFn handler) {
  FCHECK(control != nullptr, "control!=null");
  control->on_focus_lost = handler;
}

// ---- Forwarders -------------------------------------------------------------------------

int32_t fcontrol_key(FControl* control, uint32_t key, int32_t repeat, uint32_t modifiers) {
  FCHECK(control != nullptr, "control!=null");
  return control->on_key ? control->on_key(control, key, repeat, modifiers) : 0;
}

int32_t fcontrol_pen(FControl* control, int32_t type, int32_t x, int32_t y, uint32_t modifiers) {
  FCHECK(control != nullptr, "control!=null");
  return control->on_pen ? control->on_pen(control, type, x, y, modifiers) : 0;
}

void fcontrol_resized(FControl* control, const FRect* rect) {
  FCHECK(control != nullptr, "control!=null");
  if (control->on_resize) control->on_resize(control, rect);
}

int32_t fcontrol_child_count(FControl* control) {
  FCHECK(control != nullptr, "control!=null");
  if (!control->on_child_count || !control->on_child_at) return 0;
  return std::max<int32_t>(0, control->on_child_count(control));
}

FSurface* fcontrol_child_at(FControl* control, int32_t index) {
  FCHECK(control != nullptr, "control!=null");
  return control->on_child_at ? control->on_child_at(control, index) : nullptr;
}

int32_t fcontrol_can_focus(FControl* control) {
  FCHECK(control != nullptr, "control!=null");
  return control->can_focus ? control->can_focus(control) : 0;
}

// ---- State ------------------------------------------------------------------------------

void fcontrol_set_drawer(FControl* control, FBDrawer* drawer) {
  FCHECK(control != nullptr, "control!=null");
  // The control owns its drawer; the one replaced would otherwise be lost.
  if (control->drawer && control->drawer != drawer) fbdrawer_destroy(control->drawer);
  control->drawer = drawer;
}

void fcontrol_set_client_rect(FControl* control, const FRect* rect) {
  FCHECK(control != nullptr, "control!=null");
  if (rect) control->client_rect = *rect;
}

void fcontrol_set_enabled(FControl* control, int enabled) {
  FCHECK(control != nullptr, "control!=null");
  control->disabled = enabled ? 0 : 1;
  if (control->disabled) fcontrol_set_focused(control, 0);
}

void fcontrol_set_visible(FControl* control, int visible) {
  FCHECK(control != nullptr, "control!=null");
  fsurface_set_visible(&control->surface, visible);
  if (!visible) fcontrol_set_focused(control, 0);
}

void fcontrol_set_focused(FControl* control, int focused) {
  FCHECK(control != nullptr, "control!=null");
  const uint8_t flag = focused ? 1 : 0;
  // Keys would go to a control the user can neither see nor use.
  if (flag && (control->disabled || !control->surface.visible)) return;
  if (control->focused == flag) return;
  control->focused = flag;
  FControlFn hook = flag ? control->on_focus_gained : control->on_focus_lost;
  if (hook) hook(control);
}

// ---- Geometry ---------------------------------------------------------------------------

void fcontrol_set_anchors(FControl* control, int left, int top, int right, int bottom) {
  FCHECK(control != nullptr, "control!=null");
  control->anchors = (left ? FANCHOR_LEFT : 0u) | (top ? FANCHOR_TOP : 0u) |
                     (right ? FANCHOR_RIGHT : 0u) | (bottom ? FANCHOR_BOTTOM : 0u);
  control_update_margins(control);
}

void fcontrol_set_dock(FControl* control, int32_t mode) {
  FCHECK(control != nullptr, "control!=null");
  if (mode < FDOCK_NONE || mode > FDOCK_FILL) return;
  control->dock = mode;
  const FRect p = fcontrol_get_parent_rect(control);
  const int32_t pw = frect_width(p);
  const int32_t ph = frect_height(p);
  switch (mode) {
    case FDOCK_NONE:
      control->anchors = 0;
      control_update_margins(control);
      return;
    case FDOCK_LEFT:
      control->anchors = FANCHOR_LEFT | FANCHOR_TOP | FANCHOR_BOTTOM;
      control_set_rect_keep_margins(control, p.left, p.top, pw / 2, ph);
      return;
    case FDOCK_TOP:
      control->anchors = FANCHOR_LEFT | FANCHOR_TOP | FANCHOR_RIGHT;
      control_set_rect_keep_margins(control, p.left, p.top, pw, ph / 2);
      return;
    case FDOCK_RIGHT: {
      control->anchors = FANCHOR_TOP | FANCHOR_RIGHT | FANCHOR_BOTTOM;
      const int32_t x = p.left + pw / 2;
      control_set_rect_keep_margins(control, x, p.top, p.right - x + 1, ph);
      return;
    }
    case FDOCK_BOTTOM: {
      control->anchors = FANCHOR_LEFT | FANCHOR_RIGHT | FANCHOR_BOTTOM;
      const int32_t y = p.top + ph / 2;
      control_set_rect_keep_margins(control, p.left, y, pw, p.bottom - y + 1);
      return;
    }
    default:
      control->anchors = FANCHOR_LEFT | FANCHOR_TOP | FANCHOR_RIGHT | FANCHOR_BOTTOM;
      control_set_rect_keep_margins(control, p.left, p.top, pw, ph);
      return;
  }
}

void fcontrol_move_by(FControl* control, int32_t dx, int32_t dy, int notify) {
  FCHECK(control != nullptr, "control!=null");
  if (control_is_docked(control)) return;
  FControlGuard guard(control);
  fsurface_move_by(&control->surface, dx, dy, notify);
  if (guard.alive()) control_update_margins(control);
}

void fcontrol_move_to(FControl* control, int32_t x, int32_t y, int notify) {
  FCHECK(control != nullptr, "control!=null");
  fcontrol_move_by(control, x - control->surface.rect.left, y - control->surface.rect.top, notify);
}

int fcontrol_set_size(FControl* control, int32_t width, int32_t height) {
  FCHECK(control != nullptr, "control!=null");
  const FRect r = control->surface.rect;
  const int32_t current_width = frect_width(r);
  const int32_t current_height = frect_height(r);
  switch (control->dock) {
    case FDOCK_FILL:
      return 1;
    case FDOCK_LEFT:
      return control_set_rect_keep_margins(control, r.left, r.top, width, current_height);
    case FDOCK_TOP:
      return control_set_rect_keep_margins(control, r.left, r.top, current_width, height);
    case FDOCK_RIGHT:
      width = std::max(width, 1);
      return control_set_rect_keep_margins(control, r.right - width + 1, r.top, width,
                                           current_height);
    case FDOCK_BOTTOM:
      height = std::max(height, 1);
      return control_set_rect_keep_margins(control, r.left, r.bottom - height + 1, current_width,
                                           height);
    default:
      return control_set_rect_keep_margins(control, r.left, r.top, width, height);
  }
}

int fcontrol_set_width(FControl* control, int32_t width) {
  FCHECK(control != nullptr, "control!=null");
  return fcontrol_set_size(control, width, frect_height(control->surface.rect));
}

int fcontrol_set_height(FControl* control, int32_t height) {
  FCHECK(control != nullptr, "control!=null");
  return fcontrol_set_size(control, frect_width(control->surface.rect), height);
}

int fcontrol_set_bounds(FControl* control, int32_t x, int32_t y, int32_t width, int32_t height) {
  FCHECK(control != nullptr, "control!=null");
  FControlGuard guard(control);
  fcontrol_move_to(control, x, y, 0);
  return guard.alive() ? fcontrol_set_size(control, width, height) : 0;
}

// ---- Drawing ----------------------------------------------------------------------------

int fcontrol_update(FControl* control, const FRect* rect) {
  FCHECK(control != nullptr, "control!=null");
  if (!control->surface.realized) {
    const FSurface* parent = control->surface.parent;
    if (!parent || !parent->realized) return 0;
    FControlGuard guard(control);
    fsurface_realize(&control->surface);
    if (!guard.alive()) return 0;
  }
  return fsurface_update(&control->surface, rect);
}

// ---- Dispatch inside containers ---------------------------------------------------------

int fcontrol_pen_child(FControl* container, int32_t index, int32_t type, int32_t x, int32_t y,
                       uint32_t modifiers, FChildHit* hit) {
  FCHECK(container != nullptr, "control!=null");
  FChildHit local_hit{-1, 0, 0};
  FChildHit& out = hit ? *hit : local_hit;
  out = {-1, 0, 0};
  FSurface* child = fcontrol_child_at(container, index);
  if (!child || !child->visible || !child->on_pointer) return 0;
  FControl* child_control = fcontrol_from_surface(child);
  FControlGuard container_guard(container);
  FControlGuard child_guard(child_control);
  // The child compares the point with its own rect, which lies in this container's space.
  const int32_t local_x = x - container->surface.rect.left;
  const int32_t local_y = y - container->surface.rect.top;
  const int handled = child->on_pointer(child, type, local_x, local_y, modifiers) != 0;
  out.gone = container_guard.alive() ? 0 : 1;
  if (!handled) return 0;
  out.index = index;
  out.focused = child_control && child_guard.alive() && child_control->focused ? 1 : 0;
  return 1;
}

FChildHit fcontrol_pen_children(FControl* container, int32_t type, int32_t x, int32_t y,
                                uint32_t modifiers) {
  FCHECK(container != nullptr, "control!=null");
  FChildHit hit{-1, 0, 0};
  for (int32_t i = fcontrol_child_count(container) - 1; i >= 0; --i) {
    // A handler may have removed children; the count is read again for each one.
    if (i >= fcontrol_child_count(container)) continue;
    if (fcontrol_pen_child(container, i, type, x, y, modifiers, &hit) || hit.gone) return hit;
  }
  return hit;
}

// ---- Focus among a container's children -------------------------------------------------

FFocusSearch fcontrol_focus_search(FControl* container, int32_t count, int32_t focus_index,
                                   const FRect* viewport_rect, FFocusDirection direction) {
  FCHECK(container != nullptr, "control!=null");
  FFocusSearch result{-1, 0};
  count = std::min(count, fcontrol_child_count(container));
  if (!viewport_rect || focus_index < 0 || focus_index >= count) return result;
  FControl* focused = container_child(container, focus_index);
  if (!focused) return result;
  const FRect viewport = frect_normalized(*viewport_rect);
  const int32_t scan_end = focus_scan_end(container, count, viewport);
  const int64_t cl = focused->surface.rect.left;
  const int64_t ct = focused->surface.rect.top;
  const bool vertical = direction == FFocusDirection::up || direction == FFocusDirection::down;
  const bool forward = direction == FFocusDirection::down || direction == FFocusDirection::right;

  // d is the distance along the direction, q the squared distance of the candidate's
  // centre from the focused child's corner; both must not grow, q must shrink, so on a
  // full tie the candidate scanned first keeps the focus target.
  int64_t best_d = 0x0FFFFFFF;
  int64_t best_q = 0x0FFFFFFF;
  auto consider = [&](int32_t i) {
    if (!focus_candidate_at(container, i, scan_end, viewport)) return;
    const FRect& r = container_child(container, i)->surface.rect;
    const int64_t d = vertical ? r.top - ct : r.left - cl;
    const int64_t ex = frect_width(r) / 2 + r.left - cl;
    const int64_t ey = frect_height(r) / 2 + r.top - ct;
    const int64_t q = ex * ex + ey * ey;
    const int64_t reach = forward ? d : -d;
    if (reach >= 1 && reach <= best_d && q < best_q) {
      best_d = reach;
      best_q = q;
      result.found = i;
    }
  };
  if (forward) {
    if (focus_index != count - 1) {
      for (int32_t i = focus_index + 1; i < scan_end; ++i) consider(i);
    }
  } else if (focus_index >= 1) {
    for (int32_t i = std::min(focus_index, scan_end) - 1; i >= 0; --i) consider(i);
  }
  if (result.found < 0 && !focus_candidate_at(container, focus_index, scan_end, viewport)) {
    result.drop = 1;
  }
  return result;
}

int32_t fcontrol_focus_search_first(FControl* container, int32_t count,
                                    const FRect* viewport_rect) {
  FCHECK(container != nullptr, "control!=null");
  count = std::min(count, fcontrol_child_count(container));
  if (!viewport_rect) return -1;
  const FRect viewport = frect_normalized(*viewport_rect);
  const int32_t scan_end = focus_scan_end(container, count, viewport);
  for (int32_t i = 0; i < scan_end; ++i) {
    if (focus_candidate_at(container, i, scan_end, viewport)) return i;
  }
  return -1;
}

void fcontrol_focus_move(FControl* from, FControl* to) {
  FControlGuard from_guard(from);
  FControlGuard to_guard(to);
  if (from && from != to) {
    fcontrol_set_focused(from, 0);
    if (from_guard.alive()) fcontrol_update(from, nullptr);
  }
  if (to && to_guard.alive()) {
    fcontrol_set_focused(to, 1);
    if (to_guard.alive()) fcontrol_update(to, nullptr);
  }
}

namespace {

// Moves the focus from the child at *focus_index to the child at `to` (-1: nobody). The
// index lives in the container, so it is written only while the container exists.
void container_move_focus(FControl* container, int32_t count, int32_t* focus_index, int32_t to) {
  FControlGuard guard(container);
  const int32_t from = *focus_index;
  FControl* from_child = from >= 0 && from < count ? container_child(container, from) : nullptr;
  FControl* to_child = to >= 0 ? container_child(container, to) : nullptr;
  FControlGuard to_guard(to_child);
  if (from_child && from_child != to_child) {
    fcontrol_focus_move(from_child, nullptr);
    if (!guard.alive()) return;
  }
  *focus_index = to_child && to_guard.alive() ? to : -1;
  if (to_child && to_guard.alive()) fcontrol_focus_move(nullptr, to_child);
}

}  // namespace

int fcontrol_focus_navigate(FControl* container, int32_t count, int32_t* focus_index,
                            const FRect* viewport, FFocusDirection direction) {
  FCHECK(container != nullptr, "control!=null");
  if (!focus_index) return 0;
  const FFocusSearch search =
      fcontrol_focus_search(container, count, *focus_index, viewport, direction);
  if (search.found >= 0) {
    container_move_focus(container, count, focus_index, search.found);
    return 1;
  }
  if (search.drop) container_move_focus(container, count, focus_index, -1);
  return 0;
}

int fcontrol_focus_first(FControl* container, int32_t count, int32_t* focus_index,
                         const FRect* viewport) {
  FCHECK(container != nullptr, "control!=null");
  if (!focus_index) return 0;
  const int32_t first = fcontrol_focus_search_first(container, count, viewport);
  if (first < 0) return 0;
  container_move_focus(container, count, focus_index, first);
  return 1;
}

// ---- Release ----------------------------------------------------------------------------

void fcontrol_deinit(FControl* control) {
  FCHECK(control != nullptr, "control!=null");
  if (FScreen* screen = fscreen_get()) {
    // A child holding the capture would otherwise have the screen walk up through this
    // freed record to convert the next pen position.
    FSurface* capture = screen->capture_surface;
    if (capture && capture != &control->surface &&
        surface_descends_from(capture, &control->surface)) {
      fscreen_set_capture(screen, nullptr);
    }
  }
  // The surface leaves the screen's list and the screen's references by itself.
  fsurface_release(&control->surface);
  if (control->drawer) fbdrawer_destroy(control->drawer);
  *control = FControl{};
}

void fcontrol_destroy(FControl* control) {
  FCHECK(control != nullptr, "control!=null");
  fcontrol_deinit(control);
  std::free(control);
}
