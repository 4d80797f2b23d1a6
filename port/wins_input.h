// The window unit's translation of desktop input into the framework's codes: SDL keys into
// the framework key codes, SDL modifier state into the modifier bits, desktop chords into
// emulator commands, and window positions into display positions through the integer
// scale. Pure functions: the tests run them without a
// window. Internal to the port; the toolkit and the application never include SDL.
#pragma once

#include <SDL.h>

#include <cstddef>
#include <cstdint>

#include "fsurface.h"

// What a key-down should deliver, given whether an edit control has the text input.
enum class WinsTextFocus { none, editing };

// The framework code for a key-down of `key`, or 0 when the key-down delivers nothing
// (printable keys arrive as text events instead). `modifiers` are framework bits: with
// Ctrl held (and not Alt) a letter gives its control character 1..26, since the desktop
// sends no text for it.
uint32_t wins_input_key_down_code(SDL_Keycode key, uint32_t modifiers, WinsTextFocus focus);
// The framework code for a key release: only Shift, Ctrl and Alt are delivered; else 0.
uint32_t wins_input_key_up_code(SDL_Keycode key);
// SDL modifier state to the bits 1 Alt, 2 Shift, 4 Ctrl (either side of each).
uint32_t wins_input_modifiers(uint16_t sdl_modifiers);

// ---- Emulator commands --------------------------------------------------------------------
// The handheld emulator's command numbers, plus the desktop's own rotation and full screen.
enum class WinsCommand : int32_t {
  none = 0,
  close = 1000,
  size_176x208 = 1001,
  size_240x320 = 1002,
  size_320x240 = 1003,
  size_360x640 = 1004,
  size_640x360 = 1005,
  size_480x640 = 1006,
  size_640x480 = 1007,
  save_screen = 1009,
  about = 1010,
  rotate = 1011,
  toggle_fullscreen = 1012,
  quit = 10001,
};
// The command bound to a key-down chord, or none. The digits of the size chords are taken
// by position (scancode), so that they work on layouts whose digit row needs Shift.
WinsCommand wins_input_chord_command(const SDL_Keysym& keysym);
// The display size a resize command asks for; 0 for other commands.
int wins_input_command_size(WinsCommand command, int32_t* width, int32_t* height);

// ---- Geometry ---------------------------------------------------------------------------
// The largest whole factor (at least 1) by which a display of width x height fits into an
// area of avail_width x avail_height.
int32_t wins_input_fit_scale(int32_t width, int32_t height, int32_t avail_width,
                             int32_t avail_height);

// Where the scaled display lies in the window: its top-left corner and the factor.
struct WinsViewport {
  int32_t x, y;   // window pixels
  int32_t scale;  // window pixels per display pixel, at least 1
};
// The display centred in a window of win_width x win_height at `scale`; a window smaller
// than the scaled display puts the display at the top-left corner.
WinsViewport wins_input_viewport(int32_t win_width, int32_t win_height, int32_t display_width,
                                 int32_t display_height, int32_t scale);
// A window position to a display position. Positions outside the display keep their sign
// (a captured pen dragged off the left edge reports negative x).
void wins_input_window_to_display(const WinsViewport& viewport, int32_t win_x, int32_t win_y,
                                  int32_t* x, int32_t* y);

// ---- The window unit's state, for the port's own tests ------------------------------------
// The SDL window while wins_window_entry runs, else null.
SDL_Window* wins_window_sdl_window();
