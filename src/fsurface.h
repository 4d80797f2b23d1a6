// FSurface: a rectangular drawable area with its own off-screen canvas, a place in its
// parent (or on the screen), the callbacks through which its owner draws it and receives
// input, and children composed onto it. Every control, form and dialog owns one.
#pragma once

#include <cstdint>

#include "fcanvas.h"
#include "frect.h"

struct FSurface;

// Pointer event types and modifier bits, as delivered by the platform.
enum : int32_t {
  FPOINTER_DOWN = 1,  // also a double tap
  FPOINTER_UP = 2,
  FPOINTER_MOVE = 3,
};
// Key codes: characters arrive as their UTF-16 code; these keys have codes of their own.
enum : uint32_t {
  FKEY_BACKSPACE = 0x08,
  FKEY_TAB = 0x09,
  FKEY_RETURN = 0x0D,
  FKEY_DELETE = 0x7F,
  FKEY_PAUSE = 0xF801,
  FKEY_HOME = 0xF802,
  FKEY_END = 0xF803,
  FKEY_PAGE_UP = 0xF804,
  FKEY_PAGE_DOWN = 0xF805,
  FKEY_INSERT = 0xF806,
  FKEY_LEFT = 0xF807,
  FKEY_RIGHT = 0xF808,
  FKEY_UP = 0xF809,
  FKEY_DOWN = 0xF80A,
  FKEY_SHIFT = 0xF80B,
  FKEY_ALT = 0xF80C,
  FKEY_CTRL = 0xF80D,
  FKEY_SOFT_LEFT = 0xF821,
  FKEY_SOFT_RIGHT = 0xF822,
  FKEY_ACTION = 0xF823,
};
enum : uint32_t {
  FMOD_ALT = 1,
  FMOD_SHIFT = 2,
  FMOD_CTRL = 4,
};

using FSurfaceDrawFn = void (*)(FSurface* surface, FCanvas* canvas, const FRect* rect);
using FSurfaceRectFn = void (*)(FSurface* surface, const FRect* rect);
using FSurfaceKeyFn = int (*)(FSurface* surface, uint32_t code, int32_t repeat, uint32_t modifiers);
using FSurfacePointerFn = int (*)(FSurface* surface, int32_t type, int32_t x, int32_t y,
                                  uint32_t modifiers);
using FSurfaceChildCountFn = int32_t (*)(FSurface* surface);
using FSurfaceChildAtFn = FSurface* (*)(FSurface* surface, int32_t index);
using FSurfaceComposeFn = void (*)(FSurface* surface, FCanvas* target, const FRect* rect);

struct FSurface {
  FSurface* parent;  // enclosing surface, null at top level; not owned
  FCanvas canvas;    // off-screen canvas of the surface's size, display depth and the
                     // screen bitmap's row order; canvas.owner points here
  FRect rect;        // in the parent's coordinates (screen coordinates at top level)
  uint8_t visible;   // invisible surfaces are neither composed nor given input
  uint8_t realized;  // content drawn once by fsurface_realize
  FRect dirty_rect;  // parent coordinates, still to be refreshed
  uint8_t dirty;
  uint8_t key_blue, key_green, key_red;  // transparent colour for composition
  uint8_t key_opacity;
  uint8_t keyed;
  const FBitmap* mask;  // 8-bit composition mask, not owned
  uint16_t mask_opacity;
  uint8_t masked;  // takes precedence over keyed
  uint8_t captured;
  uint8_t direct;           // updates go straight to the screen, not through the parent
  uint8_t paint_ancestors;  // on a direct update, compose into every ancestor first
  FSurfaceDrawFn on_draw;
  FSurfaceRectFn on_moved;
  FSurfaceRectFn on_screen_changed;
  FSurfaceKeyFn on_key;
  FSurfacePointerFn on_pointer;
  FSurfaceChildCountFn child_count;
  FSurfaceChildAtFn child_at;
  FSurfaceComposeFn on_compose;      // replaces the default bitmap composition
  FSurfaceComposeFn before_compose;  // called before every composition
  uint32_t tag;
  FSurface* next;  // screen list links; a surface outside the list links to itself
  FSurface* prev;
};

// ---- Creation ---------------------------------------------------------------------------
int fsurface_create(FSurface* surface, FSurface* parent, const FRect* rect, uint32_t tag);

// ---- Queries ----------------------------------------------------------------------------
FCanvas* fsurface_get_canvas(FSurface* surface);
FRect fsurface_get_rect(const FSurface* surface);
int32_t fsurface_get_width(const FSurface* surface);
int32_t fsurface_get_height(const FSurface* surface);
FSurface* fsurface_get_parent(const FSurface* surface);
uint32_t fsurface_get_tag(const FSurface* surface);
int fsurface_is_visible(const FSurface* surface);
int fsurface_is_realized(const FSurface* surface);
int fsurface_get_dirty(const FSurface* surface, FRect* out);  // 0 when not dirty
FRect fsurface_get_screen_rect(const FSurface* surface);

// ---- Configuration ----------------------------------------------------------------------
void fsurface_set_parent(FSurface* surface, FSurface* parent);
void fsurface_set_visible(FSurface* surface, int visible);
FSurfaceDrawFn fsurface_set_on_draw(FSurface* surface, FSurfaceDrawFn fn);
FSurfaceRectFn fsurface_set_on_moved(FSurface* surface, FSurfaceRectFn fn);
FSurfaceRectFn fsurface_set_on_screen_changed(FSurface* surface, FSurfaceRectFn fn);
FSurfaceKeyFn fsurface_set_on_key(FSurface* surface, FSurfaceKeyFn fn);
FSurfacePointerFn fsurface_set_on_pointer(FSurface* surface, FSurfacePointerFn fn);
void fsurface_set_children(FSurface* surface, FSurfaceChildCountFn count, FSurfaceChildAtFn at);
FSurfaceComposeFn fsurface_set_on_compose(FSurface* surface, FSurfaceComposeFn fn);
FSurfaceComposeFn fsurface_set_before_compose(FSurface* surface, FSurfaceComposeFn fn);
void fsurface_set_color_key(FSurface* surface, FColor color);  // alpha = key opacity
void fsurface_clear_color_key(FSurface* surface);
void fsurface_set_mask(FSurface* surface, const FBitmap* mask, uint16_t opacity);
void fsurface_set_direct(FSurface* surface, int direct, int paint_ancestors);
void fsurface_set_capture(FSurface* surface, int on);

// ---- Screen list ------------------------------------------------------------------------
void fsurface_show(FSurface* surface);   // to the front of the screen's list
void fsurface_hide(FSurface* surface);   // out of the list
void fsurface_raise(FSurface* surface);  // to the front again

// ---- Geometry ---------------------------------------------------------------------------
void fsurface_move_by(FSurface* surface, int32_t dx, int32_t dy, int notify);
// A change of size re-creates the canvas (result 0 when it cannot be had), then calls
// on_moved and tells the children with the new rect.
int fsurface_resize(FSurface* surface, int32_t width, int32_t height);
int fsurface_set_rect(FSurface* surface, int32_t x, int32_t y, int32_t width, int32_t height);
// on_screen_changed of the surface, then of its children and theirs down the tree. A
// surface whose hook changed its size has told its children through the resize already;
// they are not told a second time.
void fsurface_notify_screen_changed(FSurface* surface, const FRect* rect);

// ---- Drawing ----------------------------------------------------------------------------
// fsurface_update -> redraw (on_draw, compose children) -> parent update ... -> fscreen_paint
int fsurface_realize(FSurface* surface);
int fsurface_redraw(FSurface* surface);
int fsurface_update(FSurface* surface, const FRect* rect);  // local rect, or null for all
void fsurface_compose(FSurface* surface, FCanvas* target);

// ---- Hooks that may destroy -------------------------------------------------------------
// Any hook may release the surface that called it, or its parent (a button whose click
// closes its dialog). The operations above that call hooks stop as soon as that happens,
// and those with a result answer 0 then; they never touch the released record again.
//
// Watches a surface across calls into such hooks: alive() turns false when fsurface_release
// ran on it. Keep it on the stack around the calls; it never reads the surface, so asking
// it is safe after the record was freed. A guard made for null is never alive.
class FSurfaceGuard {
 public:
  explicit FSurfaceGuard(const FSurface* surface);
  ~FSurfaceGuard();
  FSurfaceGuard(const FSurfaceGuard&) = delete;
  FSurfaceGuard& operator=(const FSurfaceGuard&) = delete;
  bool alive() const { return surface_ != nullptr; }

 private:
  friend void fsurface_release(FSurface* surface);
  static void forget(const FSurface* surface);
  const FSurface* surface_;  // not owned; null once released
  FSurfaceGuard* next_;      // the chain of live guards, innermost first
};

// ---- Release ----------------------------------------------------------------------------
// Also ends every FSurfaceGuard watching the surface.
void fsurface_release(FSurface* surface);
