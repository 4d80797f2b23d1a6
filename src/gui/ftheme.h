// FTheme: the toolkit-wide defaults every control starts from: the default background
// drawer (copied into each new control), the styler that restyles each control at its
// creation, and the skin resource files. One theme per program, made at toolkit start.
#pragma once

#include <cstdint>

#include "fbdrawer.h"
#include "fstyler.h"

struct FControl;

struct FTheme {
  FBDrawer* background;  // owned: the default background drawer
  FStyler* styler;       // the styler in force, never null; released through its own hook
  int32_t skin_bitmaps;  // resource-file id of "gui.fmbm", 0 while not loaded
  int32_t skin_strings;  // resource-file id of "gui.fres", 0 while not loaded
};

// ---- Creation ---------------------------------------------------------------------------
// White background with a black 1-pixel border, the default styler. Null when memory is
// short; the caller destroys it.
FTheme* ftheme_create();

// The program's theme (set at toolkit start), or null.
FTheme* ftheme_get();
void ftheme_set_global(FTheme* theme);

// ---- Defaults ---------------------------------------------------------------------------
FBDrawer* ftheme_get_background(const FTheme* theme);
// Takes ownership of `drawer` and destroys the previous default; null is ignored.
void ftheme_set_background(FTheme* theme, FBDrawer* drawer);
FStyler* ftheme_get_styler(const FTheme* theme);
// Releases the previous styler; null goes back to the toolkit's default styler.
void ftheme_set_styler(FTheme* theme, FStyler* styler);

// ---- Used by every control's creation ---------------------------------------------------
// A copy of the global theme's background drawer, or of the built-in default look when no
// theme is set. Null when memory is short; the caller owns the copy.
FBDrawer* ftheme_copy_background();
// Hands the control to the global theme's styler; does nothing without a theme.
void ftheme_style(FControl* control, int32_t kind, uint32_t tag);

// ---- Release ----------------------------------------------------------------------------
// Destroys the drawer and releases the styler; clears the global reference if it is this.
void ftheme_destroy(FTheme* theme);
