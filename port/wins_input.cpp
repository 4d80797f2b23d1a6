// The translation half of the window unit: everything that turns a desktop event into what
// the framework expects (key codes, modifier bits, emulator commands, display positions)
// without touching a window. wins_window.cpp reads SDL events and calls these; the tests
// call them directly.
//
// Desktop keys for the handheld's own buttons: F1 and F2 are the left and right soft keys,
// Escape is the right soft key too, and Return is the action key. SDL sends no text for
// control characters, so Backspace, Tab and Ctrl+letter deliver theirs from the key-down;
// Return delivers the carriage return instead of the action key while an edit control has
// the text input, where it ends a line or confirms the entry.

#include "wins_input.h"

#include <algorithm>
#include <iterator>

#include "fsurface.h"

namespace {

int32_t floor_div(int32_t a, int32_t b) {
  int32_t q = a / b;
  if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
  return q;
}

}  // namespace

// ---- Keys -------------------------------------------------------------------------------

uint32_t wins_input_key_down_code(SDL_Keycode key, uint32_t modifiers, WinsTextFocus focus) {
  switch (key) {
    // The handheld's key table, in its own order.
    case SDLK_DELETE: return FKEY_DELETE;
    case SDLK_PAUSE: return FKEY_PAUSE;
    case SDLK_HOME: return FKEY_HOME;
    case SDLK_END: return FKEY_END;
    case SDLK_PAGEUP: return FKEY_PAGE_UP;
    case SDLK_PAGEDOWN: return FKEY_PAGE_DOWN;
    case SDLK_INSERT: return FKEY_INSERT;
    case SDLK_LEFT: return FKEY_LEFT;
    case SDLK_RIGHT: return FKEY_RIGHT;
    case SDLK_UP: return FKEY_UP;
    case SDLK_DOWN: return FKEY_DOWN;
    // The handheld's buttons.
    case SDLK_F1: return FKEY_SOFT_LEFT;
    case SDLK_F2:
    case SDLK_ESCAPE: return FKEY_SOFT_RIGHT;
    case SDLK_RETURN:
    case SDLK_RETURN2:
    case SDLK_KP_ENTER: return focus == WinsTextFocus::editing ? FKEY_RETURN : FKEY_ACTION;
    // Control characters the desktop sends no text for.
    case SDLK_BACKSPACE: return FKEY_BACKSPACE;
    case SDLK_TAB: return FKEY_TAB;
    default: break;
  }
  // Shift, Alt and Ctrl come last in the handheld's table, and are the only keys whose
  // release is delivered too.
  if (uint32_t code = wins_input_key_up_code(key)) return code;
  // Ctrl+letter is the control character, as the handheld's keyboard driver made it. With
  // Alt also held the chord is AltGr on many layouts and stays text.
  if (key >= SDLK_a && key <= SDLK_z && (modifiers & FMOD_CTRL) && !(modifiers & FMOD_ALT)) {
    return static_cast<uint32_t>(key - SDLK_a + 1);
  }
  return 0;
}

uint32_t wins_input_key_up_code(SDL_Keycode key) {
  switch (key) {
    case SDLK_LSHIFT:
    case SDLK_RSHIFT: return FKEY_SHIFT;
    case SDLK_LALT:
    case SDLK_RALT: return FKEY_ALT;
    case SDLK_LCTRL:
    case SDLK_RCTRL: return FKEY_CTRL;
    default: return 0;
  }
}

uint32_t wins_input_modifiers(uint16_t sdl_modifiers) {
  uint32_t bits = 0;
  if (sdl_modifiers & KMOD_ALT) bits |= FMOD_ALT;
  if (sdl_modifiers & KMOD_SHIFT) bits |= FMOD_SHIFT;
  if (sdl_modifiers & KMOD_CTRL) bits |= FMOD_CTRL;
  return bits;
}

// ---- Emulator commands --------------------------------------------------------------------

WinsCommand wins_input_chord_command(const SDL_Keysym& keysym) {
  uint16_t mod = keysym.mod;
  bool ctrl = mod & KMOD_CTRL, shift = mod & KMOD_SHIFT, alt = mod & KMOD_ALT;
  bool gui = mod & KMOD_GUI;
  if (gui || alt) return WinsCommand::none;
  if (keysym.sym == SDLK_F11) return ctrl || shift ? WinsCommand::none : WinsCommand::toggle_fullscreen;
  if (!ctrl) return WinsCommand::none;
  if (shift) {
    if (keysym.sym == SDLK_s) return WinsCommand::save_screen;
    if (keysym.sym == SDLK_a) return WinsCommand::about;
    return WinsCommand::none;
  }
  if (keysym.sym == SDLK_q) return WinsCommand::quit;
  if (keysym.sym == SDLK_r) return WinsCommand::rotate;
  if (keysym.scancode >= SDL_SCANCODE_1 && keysym.scancode <= SDL_SCANCODE_7) {
    return static_cast<WinsCommand>(static_cast<int32_t>(WinsCommand::size_176x208) +
                                    (keysym.scancode - SDL_SCANCODE_1));
  }
  return WinsCommand::none;
}

int wins_input_command_size(WinsCommand command, int32_t* width, int32_t* height) {
  struct Size {
    int32_t width, height;
  };
  static constexpr Size kSizes[] = {{176, 208}, {240, 320}, {320, 240}, {360, 640},
                                    {640, 360}, {480, 640}, {640, 480}};
  auto index = static_cast<int32_t>(command) - static_cast<int32_t>(WinsCommand::size_176x208);
  if (index < 0 || index >= static_cast<int32_t>(std::size(kSizes))) return 0;
  if (width) *width = kSizes[index].width;
  if (height) *height = kSizes[index].height;
  return 1;
}

// ---- Geometry ---------------------------------------------------------------------------

int32_t wins_input_fit_scale(int32_t width, int32_t height, int32_t avail_width,
                             int32_t avail_height) {
  if (width < 1 || height < 1) return 1;
  int32_t scale = std::min(avail_width / width, avail_height / height);
  return scale < 1 ? 1 : scale;
}

WinsViewport wins_input_viewport(int32_t win_width, int32_t win_height, int32_t display_width,
                                 int32_t display_height, int32_t scale) {
  if (scale < 1) scale = 1;
  WinsViewport viewport{0, 0, scale};
  int32_t spare_x = win_width - display_width * scale;
  int32_t spare_y = win_height - display_height * scale;
  if (spare_x > 0) viewport.x = spare_x / 2;
  if (spare_y > 0) viewport.y = spare_y / 2;
  return viewport;
}

void wins_input_window_to_display(const WinsViewport& viewport, int32_t win_x, int32_t win_y,
                                  int32_t* x, int32_t* y) {
  int32_t scale = viewport.scale < 1 ? 1 : viewport.scale;
  // Floor division, so that the window pixel just left of the display maps to -1 and not
  // to 0 like the display's first column.
  if (x) *x = floor_div(win_x - viewport.x, scale);
  if (y) *y = floor_div(win_y - viewport.y, scale);
}
