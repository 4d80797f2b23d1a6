// The theme unit: the defaults a new control copies (its background drawer) and the
// styler it is handed to at the end of its creation (fcontrol.cpp, and later every
// subclass with its own kind). Replacing a default destroys the one it replaces, so the
// theme always owns exactly one of each.

#include "ftheme.h"

#include <cstdlib>

#include "fplatform.h"

namespace {

FTheme* g_theme = nullptr;  // not owned: the toolkit's start-up owns it

void theme_release_styler(FStyler* styler) {
  if (styler && styler->release) styler->release(styler);
}

}  // namespace

// ---- Creation ---------------------------------------------------------------------------

FTheme* ftheme_create() {
  auto* theme = static_cast<FTheme*>(std::calloc(1, sizeof(FTheme)));
  if (!theme) return nullptr;
  theme->background = fbdrawer_create();
  if (!theme->background) {
    std::free(theme);
    return nullptr;
  }
  theme->styler = fstyler_default();
  return theme;
}

FTheme* ftheme_get() { return g_theme; }

void ftheme_set_global(FTheme* theme) { g_theme = theme; }

// ---- Defaults ---------------------------------------------------------------------------

FBDrawer* ftheme_get_background(const FTheme* theme) {
  FCHECK(theme != nullptr, "theme!=null");
  return theme->background;
}

void ftheme_set_background(FTheme* theme, FBDrawer* drawer) {
  FCHECK(theme != nullptr, "theme!=null");
  if (!drawer || drawer == theme->background) return;
  fbdrawer_destroy(theme->background);
  theme->background = drawer;
}

FStyler* ftheme_get_styler(const FTheme* theme) {
  FCHECK(theme != nullptr, "theme!=null");
  return theme->styler;
}

void ftheme_set_styler(FTheme* theme, FStyler* styler) {
  FCHECK(theme != nullptr, "theme!=null");
  if (!styler) styler = fstyler_default();
  if (styler == theme->styler) return;
  theme_release_styler(theme->styler);
  theme->styler = styler;
}

// ---- Used by every control's creation ---------------------------------------------------

FBDrawer* ftheme_copy_background() {
  // Controls made before the toolkit start (tests, tools) still get the toolkit's look.
  if (!g_theme || !g_theme->background) return fbdrawer_create();
  return fbdrawer_copy(g_theme->background);
}

void ftheme_style(FControl* control, int32_t kind, uint32_t tag) {
  if (g_theme && g_theme->styler) fstyler_style(g_theme->styler, control, kind, tag);
}

// ---- Release ----------------------------------------------------------------------------

void ftheme_destroy(FTheme* theme) {
  FCHECK(theme != nullptr, "theme!=null");
  if (theme->background) fbdrawer_destroy(theme->background);
  theme_release_styler(theme->styler);
  if (g_theme == theme) g_theme = nullptr;
  std::free(theme);
}
