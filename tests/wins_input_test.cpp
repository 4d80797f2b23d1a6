// The desktop-to-framework translation without a window: the key table, the handheld's
// buttons, control characters, modifier bits, the emulator chords and the integer-scale
// geometry (the loop test drives the same paths through real events).

#include "wins_input.h"

#include <gtest/gtest.h>

#include <tuple>

#include "fsurface.h"

namespace {

uint32_t down(SDL_Keycode key, uint32_t modifiers = 0, WinsTextFocus focus = WinsTextFocus::none) {
  return wins_input_key_down_code(key, modifiers, focus);
}

WinsCommand chord(SDL_Keycode sym, uint16_t mod, SDL_Scancode scancode = SDL_SCANCODE_UNKNOWN) {
  SDL_Keysym k{};
  k.sym = sym;
  k.mod = mod;
  k.scancode = scancode == SDL_SCANCODE_UNKNOWN ? SDL_GetScancodeFromKey(sym) : scancode;
  return wins_input_chord_command(k);
}

}  // namespace

TEST(KeyTranslation, KeyTableButtonsControlCharactersAndModifiers) {
  // The key table, the handheld's buttons, the control characters the desktop sends no text
  // for; AltGr chords, plain letters and unknown keys give nothing (they come as text).
  const std::tuple<SDL_Keycode, uint32_t, uint32_t> downs[] = {
      {SDLK_DELETE, 0, 0x7F}, {SDLK_PAUSE, 0, 0xF801}, {SDLK_HOME, 0, 0xF802}, {SDLK_END, 0, 0xF803},
      {SDLK_PAGEUP, 0, 0xF804}, {SDLK_PAGEDOWN, 0, 0xF805}, {SDLK_INSERT, 0, 0xF806},
      {SDLK_LEFT, 0, 0xF807}, {SDLK_RIGHT, 0, 0xF808}, {SDLK_UP, 0, 0xF809}, {SDLK_DOWN, 0, 0xF80A},
      {SDLK_LSHIFT, 0, 0xF80B}, {SDLK_RALT, 0, 0xF80C}, {SDLK_RCTRL, 0, 0xF80D}, {SDLK_F1, 0, 0xF821},
      {SDLK_F2, 0, 0xF822}, {SDLK_ESCAPE, 0, 0xF822}, {SDLK_KP_ENTER, 0, 0xF823},
      {SDLK_BACKSPACE, 0, 0x08}, {SDLK_TAB, FMOD_SHIFT, 0x09}, {SDLK_a, FMOD_CTRL, 1},
      {SDLK_z, FMOD_CTRL | FMOD_SHIFT, 26}, {SDLK_a, FMOD_CTRL | FMOD_ALT, 0}, {SDLK_a, 0, 0},
      {SDLK_F3, 0, 0}};
  for (auto [key, modifiers, code] : downs) EXPECT_EQ(down(key, modifiers), code) << key;
  // While an edit has the text input, Return is the line end.
  EXPECT_EQ(down(SDLK_RETURN, 0, WinsTextFocus::editing), 0x0Du);

  // Releases: only the three modifiers, either side.
  EXPECT_EQ(wins_input_key_up_code(SDLK_RSHIFT), 0xF80Bu);
  EXPECT_EQ(wins_input_key_up_code(SDLK_LALT), 0xF80Cu);
  EXPECT_EQ(wins_input_key_up_code(SDLK_LCTRL), 0xF80Du);
  EXPECT_EQ(wins_input_key_up_code(SDLK_PAGEDOWN), 0u);
  EXPECT_EQ(wins_input_key_up_code(SDLK_RETURN), 0u);

  // Modifier bits from either side; lock keys and the system key are none of them.
  EXPECT_EQ(wins_input_modifiers(KMOD_RALT | KMOD_LSHIFT | KMOD_RCTRL), 7u);
  EXPECT_EQ(wins_input_modifiers(KMOD_NUM | KMOD_CAPS | KMOD_LGUI | KMOD_MODE), 0u);
}

TEST(EmulatorChords, EachCommandHasItsChordAndNearMissesStayKeys) {
  EXPECT_EQ(chord(SDLK_q, KMOD_RCTRL), WinsCommand::quit);
  EXPECT_EQ(chord(SDLK_r, KMOD_LCTRL), WinsCommand::rotate);
  EXPECT_EQ(chord(SDLK_F11, KMOD_NONE), WinsCommand::toggle_fullscreen);
  EXPECT_EQ(chord(SDLK_s, KMOD_LCTRL | KMOD_LSHIFT), WinsCommand::save_screen);
  EXPECT_EQ(chord(SDLK_a, KMOD_LCTRL | KMOD_RSHIFT), WinsCommand::about);
  const int32_t sizes[7][2] = {{176, 208}, {240, 320}, {320, 240}, {360, 640},
                               {640, 360}, {480, 640}, {640, 480}};
  for (int i = 0; i < 7; ++i) {
    auto scancode = static_cast<SDL_Scancode>(SDL_SCANCODE_1 + i);
    WinsCommand command = chord(SDLK_1 + i, KMOD_LCTRL, scancode);
    EXPECT_EQ(static_cast<int32_t>(command), 1001 + i);
    int32_t w = 0, h = 0;
    ASSERT_EQ(wins_input_command_size(command, &w, &h), 1);
    EXPECT_EQ(w, sizes[i][0]);
    EXPECT_EQ(h, sizes[i][1]);
  }
  // By position: on a layout whose first digit key is '&', Ctrl+1 still works.
  EXPECT_EQ(chord(SDLK_AMPERSAND, KMOD_LCTRL, SDL_SCANCODE_1), WinsCommand::size_176x208);
  EXPECT_EQ(wins_input_command_size(WinsCommand::rotate, nullptr, nullptr), 0);
  EXPECT_EQ(wins_input_command_size(static_cast<WinsCommand>(1008), nullptr, nullptr), 0);

  EXPECT_EQ(chord(SDLK_q, KMOD_NONE), WinsCommand::none);
  EXPECT_EQ(chord(SDLK_q, KMOD_LCTRL | KMOD_LALT), WinsCommand::none);
  EXPECT_EQ(chord(SDLK_q, KMOD_LCTRL | KMOD_LGUI), WinsCommand::none);
  EXPECT_EQ(chord(SDLK_s, KMOD_LCTRL), WinsCommand::none);
  EXPECT_EQ(chord(SDLK_1, KMOD_LCTRL | KMOD_LSHIFT, SDL_SCANCODE_1), WinsCommand::none);
  EXPECT_EQ(chord(SDLK_8, KMOD_LCTRL, SDL_SCANCODE_8), WinsCommand::none);
  EXPECT_EQ(chord(SDLK_F11, KMOD_LCTRL), WinsCommand::none);
}

TEST(DisplayGeometry, WholeScaleAndCentredViewportMapWindowToDisplay) {
  EXPECT_EQ(wins_input_fit_scale(480, 640, 1280, 992), 1);
  EXPECT_EQ(wins_input_fit_scale(176, 208, 1280, 992), 4);
  EXPECT_EQ(wins_input_fit_scale(240, 320, 960, 1280), 4);  // an exact fit counts
  EXPECT_EQ(wins_input_fit_scale(640, 480, 600, 400), 1);   // too large still shows at 1
  EXPECT_EQ(wins_input_fit_scale(0, 480, 1000, 1000), 1);

  int32_t x = 0, y = 0;
  // Full screen: the display in the middle, bars around it.
  WinsViewport centred = wins_input_viewport(1024, 768, 176, 208, 3);
  EXPECT_EQ(centred.x, 248);
  EXPECT_EQ(centred.y, 72);
  wins_input_window_to_display(centred, 247, 72 + 32, &x, &y);
  EXPECT_EQ(x, -1);
  EXPECT_EQ(y, 10);
  // A window smaller than the display keeps it at the corner; a zero scale is 1.
  WinsViewport small = wins_input_viewport(100, 100, 480, 640, 0);
  EXPECT_EQ(small.x, 0);
  EXPECT_EQ(small.scale, 1);
}
