// FControl: the base record of every widget. It is a surface (the FSurface record comes
// first) with a client rectangle, docking and anchoring to its parent, focus and enabled
// state, an owned background drawer and its own row of handlers. Fixed adapters in the
// surface's callbacks lead painting, geometry changes and input to those handlers.
// Subclasses (forms, buttons, labels ...) place their fields behind the record and call
// fcontrol_init first; they chain handlers through the previous handler a setter returns.
#pragma once

#include <cstdint>

#include "fbdrawer.h"
#include "fcanvas.h"
#include "frect.h"
#include "fsurface.h"

struct FControl;

// Docking modes: a docked control takes a side (or all) of its parent's client rectangle.
enum : int32_t {
  FDOCK_NONE = 0,
  FDOCK_LEFT = 1,
  FDOCK_TOP = 2,
  FDOCK_RIGHT = 3,
  FDOCK_BOTTOM = 4,
  FDOCK_FILL = 5,
};
// Anchor bits: the control keeps its distance to these edges of its parent.
enum : uint32_t {
  FANCHOR_LEFT = 1,
  FANCHOR_TOP = 2,
  FANCHOR_RIGHT = 4,
  FANCHOR_BOTTOM = 8,
};

// Distances to the four edges of an enclosing rectangle (not a rectangle itself).
struct FInsets {
  int32_t left;
  int32_t top;
  int32_t right;
  int32_t bottom;
};

// Handler slots. Pen coordinates are in the parent's space, like the control's rect.
using FControlPaintFn = void (*)(FControl* control, FCanvas* canvas, const FRect* rect);
using FControlRectFn = void (*)(FControl* control, const FRect* rect);
using FControlKeyFn = int32_t (*)(FControl* control, uint32_t key, int32_t repeat,
                                  uint32_t modifiers);
using FControlPenFn = int32_t (*)(FControl* control, int32_t type, int32_t x, int32_t y,
                                  uint32_t modifiers);
using FControlCountFn = int32_t (*)(FControl* control);
using FControlChildAtFn = FSurface* (*)(FControl* control, int32_t index);
using FControlTestFn = int32_t (*)(FControl* control);
using FControlFn = void (*)(FControl* control);

struct FControl {
  FSurface surface;                // first: a control is a surface
  FRect client_rect;               // own coordinates; (0, 0, width - 1, height - 1) after
                                   // every resize, forms inset it by their margins
  int32_t dock;                    // FDOCK_*
  uint32_t anchors;                // FANCHOR_* bits
  uint8_t focused;                 // holds the focus of its container
  uint8_t disabled;                // enabled is its negation
  FBDrawer* drawer;                // owned, may be null: paints the background
  FControlPaintFn on_paint;        // absent: the drawer paints the background
  FControlRectFn on_resize;        // after a change of size or place; absent: update
  FControlRectFn on_layout;        // after the dock/anchor layout against a changed parent,
                                   // with the parent's client rectangle
  FControlKeyFn on_key;            // nonzero = consumed
  FControlPenFn on_pen;            // nonzero = consumed
  FControlCountFn on_child_count;  // children composed onto the control
  FControlChildAtFn on_child_at;
  FControlTestFn can_focus;        // nonzero = takes focus; absent = never
  FControlFn on_focus_gained;      // focused went 0 -> 1
  FControlFn on_focus_lost;        // focused went 1 -> 0
  FInsets margins;                 // distances to the parent's client rectangle, kept by
                                   // every move, resize and anchor change
};

// ---- Creation ---------------------------------------------------------------------------
// Initialises a zero-filled record (a plain control or a subclass's head): the surface
// with its canvas, the adapters, client_rect, a copy of the theme's background drawer;
// ends by handing the control to the styler (kind 0). Result 0 when the canvas or the
// drawer cannot be had; the record then holds nothing to release.
int fcontrol_init(FControl* control, FControl* parent, const FRect* rect, uint32_t tag);
// A new plain control, or null. Destroy with fcontrol_destroy.
FControl* fcontrol_create(FControl* parent, const FRect* rect, uint32_t tag);
// A top-level control goes to the front of the screen's list; then the whole subtree is
// drawn for the first time (realized).
void fcontrol_show(FControl* control);

// ---- Queries ----------------------------------------------------------------------------
// The control a surface belongs to, or null when the surface is not a control's.
FControl* fcontrol_from_surface(FSurface* surface);
// The parent's client rectangle, or the screen rectangle at top level.
FRect fcontrol_get_parent_rect(const FControl* control);
FBDrawer* fcontrol_get_drawer(const FControl* control);
FRect* fcontrol_get_client_rect(FControl* control);
int fcontrol_is_enabled(const FControl* control);
uint8_t fcontrol_is_focused(const FControl* control);
// can_focus says yes, the control is enabled and visible.
int fcontrol_is_focus_candidate(FControl* control);

// ---- Handlers (setters return the handler they replace) ---------------------------------
FControlPaintFn fcontrol_set_paint_handler(FControl* control, FControlPaintFn handler);
FControlRectFn fcontrol_set_resize_handler(FControl* control, FControlRectFn handler);
FControlRectFn fcontrol_set_layout_handler(FControl* control, FControlRectFn handler);
FControlKeyFn fcontrol_set_key_handler(FControl* control, FControlKeyFn handler);
FControlPenFn fcontrol_set_pen_handler(FControl* control, FControlPenFn handler);
void fcontrol_set_child_handlers(FControl* control, FControlCountFn count, FControlChildAtFn at);
void fcontrol_set_can_focus(FControl* control, FControlTestFn handler);
void fcontrol_set_focus_gained_handler(FControl* control, FControlFn handler);
void fcontrol_set_focus_lost_handler(FControl* control, FControlFn handler);

// ---- Forwarders (0 or null when the handler is absent) ----------------------------------
int32_t fcontrol_key(FControl* control, uint32_t key, int32_t repeat, uint32_t modifiers);
int32_t fcontrol_pen(FControl* control, int32_t type, int32_t x, int32_t y, uint32_t modifiers);
void fcontrol_resized(FControl* control, const FRect* rect);
int32_t fcontrol_child_count(FControl* control);
FSurface* fcontrol_child_at(FControl* control, int32_t index);
int32_t fcontrol_can_focus(FControl* control);

// ---- State ------------------------------------------------------------------------------
// Takes ownership of `drawer` and destroys the one it replaces.
void fcontrol_set_drawer(FControl* control, FBDrawer* drawer);
void fcontrol_set_client_rect(FControl* control, const FRect* rect);
// Disabling a focused control takes its focus away (on_focus_lost).
void fcontrol_set_enabled(FControl* control, int enabled);
// Hiding a focused control takes its focus away (on_focus_lost).
void fcontrol_set_visible(FControl* control, int visible);
// Calls on_focus_gained / on_focus_lost on a change only. A disabled or hidden control
// does not take the focus.
void fcontrol_set_focused(FControl* control, int focused);

// ---- Geometry ---------------------------------------------------------------------------
void fcontrol_set_anchors(FControl* control, int left, int top, int right, int bottom);
// Takes half (or all) of the parent's client rectangle on that side and the matching
// anchors; FDOCK_NONE clears the anchors and keeps the rectangle. Unknown modes are ignored.
void fcontrol_set_dock(FControl* control, int32_t mode);
// Ignored while docked. `notify` calls the resize handler when the rectangle moved.
void fcontrol_move_by(FControl* control, int32_t dx, int32_t dy, int notify);
void fcontrol_move_to(FControl* control, int32_t x, int32_t y, int notify);
// The docked side decides which edge stays (a right-docked control keeps its right edge);
// a fill-docked control keeps its size. Result 0 when the new canvas cannot be had.
int fcontrol_set_size(FControl* control, int32_t width, int32_t height);
int fcontrol_set_width(FControl* control, int32_t width);
int fcontrol_set_height(FControl* control, int32_t height);
int fcontrol_set_bounds(FControl* control, int32_t x, int32_t y, int32_t width, int32_t height);

// ---- Drawing ----------------------------------------------------------------------------
// Re-draws and recomposes upward to the screen (fsurface_update). A control added to a
// realized parent is realized first, so that late children show like early ones.
int fcontrol_update(FControl* control, const FRect* rect);

// ---- Dispatch inside containers ---------------------------------------------------------
// What a container learns from offering a pen event to its children.
struct FChildHit {
  int32_t index;    // the child that consumed the event, -1 when none did
  uint8_t focused;  // that child holds the focus after its handler (it asked for it)
  uint8_t gone;     // a handler destroyed the container: touch it no more
};
// Offers a pen event to child `index` (visible ones only) in the container's own
// coordinates: x, y come in the container's parent space, as the container's handler got
// them. Returns 1 when the child consumed it; `hit` tells what happened.
int fcontrol_pen_child(FControl* container, int32_t index, int32_t type, int32_t x, int32_t y,
                       uint32_t modifiers, FChildHit* hit);
// Offers the event to the children topmost first (last index first) until one consumes
// it. hit.index is -1 when none did.
FChildHit fcontrol_pen_children(FControl* container, int32_t type, int32_t x, int32_t y,
                                uint32_t modifiers);

// ---- Focus among a container's children -------------------------------------------------
// The focus candidates are the first `count` children (list order, expected top to bottom)
// that intersect `viewport` (container coordinates) and may take focus; the scan stops at
// the first child whose top lies below the viewport.
enum class FFocusDirection : int32_t { up, down, left, right };
struct FFocusSearch {
  int32_t found;  // index of the child to focus next, -1 when there is none
  uint8_t drop;   // no winner, and the focused child is not a candidate any more
};
FFocusSearch fcontrol_focus_search(FControl* container, int32_t count, int32_t focus_index,
                                   const FRect* viewport, FFocusDirection direction);
// The first candidate, or -1.
int32_t fcontrol_focus_search_first(FControl* container, int32_t count, const FRect* viewport);
// `from` loses the focus and is re-drawn, then `to` gains it and is re-drawn; either may
// be null. A focus hook may destroy either control; the other is still served.
void fcontrol_focus_move(FControl* from, FControl* to);
// The search above, then the move; *focus_index follows (-1 when the focus was dropped).
// Returns 1 when a child received the focus.
int fcontrol_focus_navigate(FControl* container, int32_t count, int32_t* focus_index,
                            const FRect* viewport, FFocusDirection direction);
int fcontrol_focus_first(FControl* container, int32_t count, int32_t* focus_index,
                         const FRect* viewport);

// ---- Hooks that may destroy ------------------------------------------------------------
// Watches a control across calls into hooks that may destroy it (a button whose click
// closes its dialog): alive() turns false when fcontrol_deinit released its surface. The
// surface unit keeps the one mechanism; this only names it for controls.
class FControlGuard {
 public:
  explicit FControlGuard(FControl* control) : surface_(control ? &control->surface : nullptr) {}
  bool alive() const { return surface_.alive(); }

 private:
  FSurfaceGuard surface_;
};

// ---- Release ----------------------------------------------------------------------------
// Out of the screen's list, the screen's references (capture, active, top; a capture held
// by a descendant too) let go, the surface released, the drawer destroyed, the record
// zeroed. Calls no handler.
void fcontrol_deinit(FControl* control);
void fcontrol_destroy(FControl* control);  // deinit, then free a record from fcontrol_create
