// The real entry, window and loop under SDL's offscreen driver: SDL events pushed into the
// queue arrive at the screen as pen and key calls; resizing, the flush, posted wake-ups,
// the quit hook, the nesting of fplatform_run and the single-instance hand-over.
//
// The offscreen desktop is 1024 x 768, so the 176 x 208 display these tests start with
// shows at scale 3 in a 528 x 624 window.

#include <SDL.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "fbitmap.h"
#include "fscreen.h"
#include "fsys.h"
#include "win_ao.h"
#include "wins_input.h"
#include "wins_timer.h"
#include "wins_window.h"

namespace {

using Log = std::vector<std::string>;
Log g_log;
std::function<int()> g_scenario;

template <typename... Values> void note(const char* format, Values... values) {
  char text[256];
  std::snprintf(text, sizeof text, format, values...);
  g_log.push_back(text);
}

int test_main(int, char**) {
  FScreen* screen = fscreen_get();
  fscreen_set_on_pointer_default(screen, [](int32_t type, int32_t x, int32_t y, uint32_t mods) {
    return note("pen %d %d,%d +%u", type, x, y, mods), 1;
  });
  fscreen_set_on_key_default(screen, [](uint32_t code, int32_t repeat, uint32_t mods) {
    return note("key %x*%d +%u", code, repeat, mods), 1;
  });
  fscreen_set_on_paint_background(screen, [](FScreen* s, const FRect* r) {
    note("paint %dx%d", r->right + 1, r->bottom + 1);
    fbitmap_fill_rect(fscreen_get_bitmap(s), r->left, r->top, r->right, r->bottom, 0xFF123456);
  });
  return g_scenario();
}
const FAppHooks kHooks{[] { return u"Loop t\u00e9st"; }, test_main, [] { note("activate"); },
                       [] { note("deactivate"); },
                       [](const char* path) { note("open %s", path), fplatform_quit(0); }};

constexpr uint32_t kDown = SDL_MOUSEBUTTONDOWN, kUp = SDL_MOUSEBUTTONUP, kTouch = SDL_TOUCH_MOUSEID;
SDL_Event button(uint32_t type, int x, int y, uint32_t which = 0, uint8_t b = SDL_BUTTON_LEFT) {
  return {.button = {type, 0, 0, which, b, 0, 1, 0, x, y}};
}
SDL_Event motion(int x, int y, uint32_t w = 0) {
  return {.motion = {SDL_MOUSEMOTION, 0, 0, w, 0, x, y, 0, 0}};
}
SDL_Event finger(uint32_t type, SDL_FingerID id, float x, float y) {
  return {.tfinger = {type, 0, 0, id, x, y, 0, 0, 0, 0}};
}
SDL_Event key(SDL_Keycode sym, uint16_t mod = KMOD_NONE, uint8_t repeat = 0, uint32_t up = 0) {
  SDL_Keysym keysym{SDL_GetScancodeFromKey(sym), sym, mod, 0};
  return {.key = {up ? SDL_KEYUP : SDL_KEYDOWN, 0, 0, 0, repeat, 0, 0, keysym}};
}
SDL_Event text(const char* utf8) {
  SDL_Event e{.type = SDL_TEXTINPUT};
  std::snprintf(e.text.text, sizeof e.text.text, "%s", utf8);
  return e;
}
SDL_Event window_event(uint8_t e) { return {.window = {SDL_WINDOWEVENT, 0, 0, e, 0, 0, 0, 0, 0}}; }
// Runs the real loop over `events`, then the quit chord.
int loop_through(std::vector<SDL_Event> events = {}) {
  events.push_back(key(SDLK_q, KMOD_LCTRL));
  for (SDL_Event& e : events) EXPECT_EQ(SDL_PushEvent(&e), 1) << SDL_GetError();
  return fplatform_main_loop();
}
uint32_t window_pixel(int x, int y) {
  uint32_t pixel = 0;
  SDL_Rect at{x, y, 1, 1};
  SDL_RenderReadPixels(SDL_GetRenderer(wins_window_sdl_window()), &at, SDL_PIXELFORMAT_RGB888,
                       &pixel, 4);
  return pixel & 0xFFFFFF;
}

class WindowLoop : public ::testing::Test {
 protected:
  // The software renderer on a plain framebuffer: pixels can be read back, and no GL driver
  // is loaded (its allocations outlive SDL_Quit and read as leaks). A home folder per
  // process: each start claims the single-instance socket there, and the tests of this
  // file may run side by side.
  void SetUp() override {
    for (const char* setting : {"SDL_VIDEODRIVER=offscreen", "SDL_RENDER_DRIVER=software",
                                "SDL_FRAMEBUFFER_ACCELERATION=0", "PENLARK_NO_DIALOGS=1"}) {
      putenv(const_cast<char*>(setting));
    }
    home_ = "/tmp/penlark-loop-" + std::to_string(getpid());
    setenv("PENLARK_HOME", home_.c_str(), 1);
    fsys_reset_folders();
    g_log.clear();
    wins_window_set_display_size(176, 208);
  }
  void TearDown() override { std::filesystem::remove_all(home_); }
  int run(std::function<int()> scenario) {
    g_scenario = std::move(scenario);
    const char* argv[] = {"penlark", nullptr};
    return wins_window_entry(1, const_cast<char**>(argv), &kHooks);
  }
  std::string home_;
};

TEST_F(WindowLoop, MouseAndTouchBecomeOnePenInDisplayCoordinates) {
  EXPECT_EQ(run([] {
    // A move before the down or after the up is not delivered; a captured pen dragged off
    // the window goes on; only the left button draws. The modifiers held come along.
    SDL_SetModState(KMOD_LSHIFT);
    loop_through({motion(30, 60), button(kDown, 30, 60), motion(-4, 700),
                  button(kDown, 40, 40, 0, SDL_BUTTON_RIGHT), button(kUp, 36, 66), motion(50, 50)});
    SDL_SetModState(KMOD_NONE);
    // SDL sends its mouse copy of a touch ahead of the finger event; the copies here point
    // elsewhere so that a delivered copy would show. A second finger is ignored, and losing
    // the focus ends a stroke in progress.
    return loop_through({button(kDown, 0, 0, kTouch), finger(SDL_FINGERDOWN, 7, 0.5f, 0.25f),
                         finger(SDL_FINGERDOWN, 8, 0.1f, 0.1f), motion(3, 3, kTouch),
                         finger(SDL_FINGERMOTION, 7, 0.25f, 0.5f),
                         finger(SDL_FINGERUP, 8, 0.2f, 0.2f), button(kUp, 3, 3, kTouch),
                         finger(SDL_FINGERUP, 7, 0.25f, 0.5f),
                         button(kDown, 9, 9), window_event(SDL_WINDOWEVENT_FOCUS_LOST),
                         window_event(SDL_WINDOWEVENT_FOCUS_GAINED)});
  }), 0);
  EXPECT_EQ(g_log, (Log{"pen 1 10,20 +2", "pen 3 -2,233 +2", "pen 2 12,22 +2", "pen 1 88,52 +0",
                        "pen 3 44,104 +0", "pen 2 44,104 +0", "pen 1 3,3 +0", "pen 2 3,3 +0",
                        "deactivate", "activate"}));
}

TEST_F(WindowLoop, KeysAndTextArriveAsFrameworkCodes) {
  static FTextInput input{[](void*) { note("changed"); }, nullptr};
  run([] {
    // Printable keys come as text: U+1F600 as two units. A held quit chord neither quits
    // nor types.
    loop_through({key(SDLK_PAGEDOWN, KMOD_LCTRL), key(SDLK_LCTRL, 0, 0, 1),
                  key(SDLK_LSHIFT, KMOD_LSHIFT), key(SDLK_a, KMOD_LSHIFT),
                  text("A\xC3\xA9\xF0\x9F\x98\x80"), key(SDLK_q, KMOD_LCTRL, 1)});
    // An edit has the text input: Return ends a line, and edits report a change.
    fplatform_begin_text_input(&input);
    loop_through({key(SDLK_RETURN), text("x"), key(SDLK_BACKSPACE), key(SDLK_RIGHT)});
    fplatform_end_text_input(&input);
    return loop_through({key(SDLK_RETURN)});
  });
  EXPECT_EQ(g_log, (Log{"key f805*1 +4", "key f80d*1 +0", "key f80b*1 +2", "key 41*1 +0",
                        "key e9*1 +0", "key d83d*1 +0", "key de00*1 +0", "key d*1 +0", "changed",
                        "key 78*1 +0", "changed", "key 8*1 +0", "changed", "key f808*1 +0",
                        "paint 176x208" /* posted when the edit ended */, "key f823*1 +0"}));
}

TEST_F(WindowLoop, ChordsRotationHandResizingFullScreenAndScreenSave) {
  testing::internal::CaptureStderr();
  run([] {
    SDL_Window* window = wins_window_sdl_window();
    EXPECT_STREQ(SDL_GetWindowTitle(window), "Loop t\xC3\xA9st");
    // 240 x 320 at scale 2, then rotated to 320 x 240 at scale 3.
    auto size = [window] { int w, h; return SDL_GetWindowSize(window, &w, &h), w * 1000 + h; };
    loop_through({key(SDLK_2, KMOD_LCTRL), key(SDLK_r, KMOD_LCTRL)});
    EXPECT_EQ(size(), 960 * 1000 + 720);
    // By hand the scale stays and the display takes what the window holds, down to 96.
    SDL_SetWindowSize(window, 900, 601);
    loop_through();
    SDL_SetWindowSize(window, 30, 30);
    loop_through();
    // Full screen leaves the display alone and centres it at scale 8; the pen follows.
    loop_through({key(SDLK_F11), button(kDown, (1024 - 768) / 2 + 17, 0), key(SDLK_F11)});
    EXPECT_EQ(size(), 288 * 1000 + 288);
    return loop_through({key(SDLK_s, KMOD_LCTRL | KMOD_LSHIFT)});
  });
  // Each resize paints once.
  EXPECT_EQ(g_log, (Log{"paint 240x320", "paint 320x240", "paint 300x200", "paint 96x96",
                        "pen 1 2,0 +0"}));
  // The saved screen is the back buffer, top-down rows.
  std::string path = home_ + "/Pictures/screen.bmp";
  EXPECT_NE(testing::internal::GetCapturedStderr().find("Marlo: Screen saved to " + path + " ok."),
            std::string::npos);
  std::vector<unsigned char> b(std::istreambuf_iterator<char>(std::ifstream(path).rdbuf()), {});
  ASSERT_GT(b.size(), 60u);
  auto u32 = [&](size_t i) { return b[i] | b[i + 1] << 8 | b[i + 2] << 16 | b[i + 3] << 24; };
  EXPECT_EQ(int32_t(u32(18)) * 1000 + int32_t(u32(22)), 96 * 1000 - 96);
  EXPECT_EQ(u32(u32(10)) & 0xFFFFFF, 0x123456u);
}

TEST_F(WindowLoop, FlushUploadsTheChangedRectangleAtTheScale) {
  for (int depth : {32, 16}) {
    setenv("PENLARK_DEPTH", std::to_string(depth).c_str(), 1);
    run([depth] {
      fscreen_paint(fscreen_get(), nullptr);
      // A blue square flushed through a rectangle given corners first, and a green pixel
      // changed but not flushed.
      fbitmap_fill_rect(fscreen_get_bitmap(fscreen_get()), 10, 10, 19, 19, 0xFF0000FF);
      fbitmap_fill_rect(fscreen_get_bitmap(fscreen_get()), 50, 50, 50, 50, 0xFF00FF00);
      FRect changed{19, 19, 10, 10};
      fplatform_flush(&changed);
      const uint32_t background = depth == 32 ? 0x123456u : 0x103452u;  // 5-6-5 loses bits
      EXPECT_EQ((std::vector{window_pixel(30, 30), window_pixel(59, 59), window_pixel(60, 29),
                             window_pixel(151, 151)}),
                (std::vector{0x0000FFu, 0x0000FFu, background, background}));
      fplatform_flush(nullptr);
      EXPECT_EQ(window_pixel(150, 152), 0x00FF00u);
      // An exposed window is shown again from the texture, without a repaint.
      g_log.clear();
      loop_through({window_event(SDL_WINDOWEVENT_EXPOSED)});
      EXPECT_TRUE(g_log.empty());
      EXPECT_EQ(window_pixel(527, 623), background);
      return 0;
    });
  }
  unsetenv("PENLARK_DEPTH");
}

TEST_F(WindowLoop, QuitHookMayRefuseAndAPostFromAnotherThreadCutsAWaitShort) {
  EXPECT_EQ(run([] {
    // The hook refuses the first two asks.
    fplatform_set_quit_hook([](int code) { return note("asked %d", code), int(g_log.size() > 2); });
    note("loop returned %d", loop_through({key(SDLK_q, KMOD_LCTRL), SDL_Event{.type = SDL_QUIT}}));
    // Only the guard timer is due, in five seconds: the posted repaint must end the wait.
    fscreen_set_on_paint_background(fscreen_get(),
                                    [](FScreen*, const FRect*) { fplatform_quit(5); });
    uint32_t guard = ftimer_create(5000, [](uint32_t, void*) { fplatform_quit(99); }, nullptr);
    auto start = std::chrono::steady_clock::now();
    std::thread poster([] {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      wins_window_post(WinsMessage::repaint);
    });
    int result = fplatform_main_loop();
    poster.join();
    ftimer_kill(guard);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    return result;
  }), 5);
  EXPECT_EQ(g_log, (Log{"asked 0", "asked 0", "asked 0", "loop returned 0", "asked 5"}));
}

TEST_F(WindowLoop, ASecondStartHandsItsFileToTheFirst) {
  // Whatever an instance that crashed left at the socket's name does not stop the next start.
  std::filesystem::create_directories(home_);
  std::ofstream(home_ + "/penlark.sock") << "stale";
  EXPECT_EQ(run([] {
    pid_t child = fork();
    if (child == 0) {
      static const FAppHooks second{nullptr, [](int, char**) { return 42; }, nullptr, nullptr,
                                    nullptr};
      const char* args[] = {"penlark", "--screen=240x320", "picture.plk", nullptr};
      _exit(wins_window_entry(3, const_cast<char**>(args), &second));
    }
    int status = -1;
    waitpid(child, &status, 0);
    EXPECT_EQ(status, 0);  // the second start handed over and ended with 0
    uint32_t guard = ftimer_create(5000, [](uint32_t, void*) { fplatform_quit(99); }, nullptr);
    int result = fplatform_main_loop();
    ftimer_kill(guard);
    return result;
  }), 0);
  EXPECT_EQ(g_log, Log{"open " + std::filesystem::current_path().string() + "/picture.plk"});
  EXPECT_FALSE(std::filesystem::exists(home_ + "/penlark.sock"));  // removed at the end
}

TEST_F(WindowLoop, ExitFromInsideTheLoopEndsWithItsStatus) {
  // What a library that gives up does (Xlib when its display goes away): exit() with the
  // single-instance thread still accepting.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(run([]() -> int { std::exit(7); }), ::testing::ExitedWithCode(7), "");
}

// ---- Without a window ---------------------------------------------------------------------
// The outer run's first turn runs an object signalled before SDL was started (only a flag
// then); the object nests a second run, and a timer ends one run each time it fires.
TEST(LoopNestingDeathTest, TwoNestedRunsNeedTwoExitsAndAThirdIsFatal) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  SDL_Quit();
  ASSERT_EQ(faomngr_init(), 1);
  FActiveObject* object = fao_create();
  fao_set_run(object, [](FActiveObject*, void*) {
    note("inner at %d", fplatform_run_level() + 1), fplatform_run();
    note("inner returned at %d", fplatform_run_level());
  });
  fao_signal(object);
  uint32_t exits = ftimer_create(20, [](uint32_t, void*) {
    fplatform_run_exit(), note("exit to %d", fplatform_run_level());
  }, nullptr);
  fplatform_run();
  ftimer_kill(exits);
  faomngr_shutdown();
  EXPECT_EQ(g_log, (Log{"inner at 2", "exit to 1", "inner returned at 1", "exit to 0"}));
  EXPECT_EXIT(fplatform_run_exit(), ::testing::ExitedWithCode(255),
              "code = wins_window\\([0-9]+\\).*g_run_wait>=0");
}

}  // namespace
