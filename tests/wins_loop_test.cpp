// The real entry, window and loop under SDL's offscreen driver: SDL events pushed into the
// queue arrive at the screen as pen and key calls; resizing, the flush, posted wake-ups,
// the quit hook, the nesting of fplatform_run and the single-instance hand-over.
//
// The offscreen desktop is 1024 x 768, so the 176 x 208 display these tests start with
// shows at scale 3 in a 528 x 624 window.

#include <SDL.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
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
FColor g_background = 0xFFFF0000;

void note(const char* format, int a = 0, int b = 0, int c = 0, int d = 0) {
  char text[64];
  std::snprintf(text, sizeof text, format, a, b, c, d);
  g_log.push_back(text);
}

int test_main(int, char**) {
  FScreen* screen = fscreen_get();
  fscreen_set_on_pointer_default(screen, [](int32_t type, int32_t x, int32_t y, uint32_t mods) {
    note("pen %d %d,%d +%d", type, x, y, static_cast<int>(mods));
    return 1;
  });
  fscreen_set_on_key_default(screen, [](uint32_t code, int32_t repeat, uint32_t mods) {
    note("key %x*%d +%d", static_cast<int>(code), repeat, static_cast<int>(mods));
    return 1;
  });
  fscreen_set_on_screen_changed(screen, [](const FRect* r) { note("screen %dx%d", r->right + 1, r->bottom + 1); });
  fscreen_set_on_paint_background(screen, [](FScreen* s, const FRect* r) {
    note("paint");
    fbitmap_fill_rect(fscreen_get_bitmap(s), r->left, r->top, r->right, r->bottom, g_background);
  });
  return g_scenario();
}
const FAppHooks kHooks{[] { return u"Loop t\u00e9st"; }, test_main, [] { note("activate"); },
                       [] { note("deactivate"); },
                       [](const char* path) {
                         g_log.push_back(std::string("open ") + path);
                         fplatform_quit(0);
                       }};

void push(SDL_Event e) { ASSERT_EQ(SDL_PushEvent(&e), 1) << SDL_GetError(); }
void push_button(uint32_t type, int x, int y, uint8_t button = SDL_BUTTON_LEFT, uint8_t clicks = 1,
                 uint32_t which = 0) {
  push(SDL_Event{.button = {type, 0, 0, which, button, 0, clicks, 0, x, y}});
}
void push_motion(int x, int y, uint32_t which = 0) {
  push(SDL_Event{.motion = {SDL_MOUSEMOTION, 0, 0, which, 0, x, y, 0, 0}});
}
void push_finger(uint32_t type, SDL_FingerID id, float x, float y) {
  push(SDL_Event{.tfinger = {type, 0, 0, id, x, y, 0, 0, 0, 0}});
}
void push_key(uint32_t type, SDL_Keycode sym, uint16_t mod = KMOD_NONE, uint8_t repeat = 0) {
  push(SDL_Event{.key = {type, 0, 0, 0, repeat, 0, 0, {SDL_GetScancodeFromKey(sym), sym, mod, 0}}});
}
void push_text(const char* utf8) {
  SDL_Event e{.type = SDL_TEXTINPUT};
  std::snprintf(e.text.text, sizeof e.text.text, "%s", utf8);
  push(e);
}
void push_window_event(uint8_t event) {
  push(SDL_Event{.window = {SDL_WINDOWEVENT, 0, 0, event, 0, 0, 0, 0, 0}});
}
// Runs the real loop over everything pushed so far; the quit chord comes last.
int loop_through_queue() {
  push_key(SDL_KEYDOWN, SDLK_q, KMOD_LCTRL);
  return fplatform_main_loop();
}
uint32_t window_pixel(int x, int y) {
  uint32_t pixel = 0;
  SDL_Rect rect{x, y, 1, 1};
  SDL_RenderReadPixels(SDL_GetRenderer(wins_window_sdl_window()), &rect, SDL_PIXELFORMAT_RGB888,
                       &pixel, 4);
  return pixel & 0xFFFFFF;
}

class WindowLoop : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    // The software renderer on a plain framebuffer: pixels can be read back, and no GL
    // driver is loaded (its allocations outlive SDL_Quit and read as leaks).
    setenv("SDL_RENDER_DRIVER", "software", 1);
    setenv("SDL_FRAMEBUFFER_ACCELERATION", "0", 1);
    setenv("PENLARK_NO_DIALOGS", "1", 1);
    // A folder of its own: each start claims the single-instance socket there, and the
    // tests of this file may run side by side.
    const char* base = std::getenv("PENLARK_HOME");
    saved_home_ = base ? base : "";
    std::string pattern = (base && *base ? saved_home_ : std::string("/tmp")) + "/loop-XXXXXX";
    std::filesystem::create_directories(std::filesystem::path(pattern).parent_path());
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    home_ = pattern;
    setenv("PENLARK_HOME", home_.c_str(), 1);
    fsys_reset_folders();
    g_log.clear();
    g_background = 0xFFFF0000;
    wins_window_set_display_size(176, 208);
  }
  void TearDown() override {
    std::filesystem::remove_all(home_);
    if (saved_home_.empty()) unsetenv("PENLARK_HOME");
    else setenv("PENLARK_HOME", saved_home_.c_str(), 1);
    fsys_reset_folders();
  }
  int run(std::function<int()> scenario, std::vector<const char*> args = {"penlark"}) {
    g_scenario = std::move(scenario);
    return wins_window_entry(static_cast<int>(args.size()), const_cast<char**>(args.data()), &kHooks);
  }
  std::string home_, saved_home_;
};

TEST_F(WindowLoop, MouseAndTouchBecomeOnePenInDisplayCoordinates) {
  int code = run([] {
    SDL_SetModState(KMOD_LSHIFT);
    push_motion(30, 60);  // no pen down yet
    push_button(SDL_MOUSEBUTTONDOWN, 30, 60);
    push_motion(-4, 700);  // dragged off the window while captured
    push_button(SDL_MOUSEBUTTONDOWN, 40, 40, SDL_BUTTON_RIGHT);
    push_button(SDL_MOUSEBUTTONUP, 36, 66);
    push_motion(50, 50);                                         // after the up
    push_button(SDL_MOUSEBUTTONDOWN, 4, 5, SDL_BUTTON_LEFT, 2);  // a double click
    push_button(SDL_MOUSEBUTTONUP, 4, 5, SDL_BUTTON_LEFT, 2);
    loop_through_queue();
    SDL_SetModState(KMOD_NONE);
    // SDL sends its mouse copy of a touch ahead of the finger event; the copies here point
    // elsewhere so that a delivered copy would show. A second finger is ignored.
    push_button(SDL_MOUSEBUTTONDOWN, 0, 0, SDL_BUTTON_LEFT, 1, SDL_TOUCH_MOUSEID);
    push_finger(SDL_FINGERDOWN, 7, 0.5f, 0.25f);
    push_finger(SDL_FINGERDOWN, 8, 0.1f, 0.1f);
    push_motion(3, 3, SDL_TOUCH_MOUSEID);
    push_finger(SDL_FINGERMOTION, 7, 0.25f, 0.5f);
    push_finger(SDL_FINGERUP, 8, 0.2f, 0.2f);
    push_button(SDL_MOUSEBUTTONUP, 3, 3, SDL_BUTTON_LEFT, 1, SDL_TOUCH_MOUSEID);
    push_finger(SDL_FINGERUP, 7, 0.25f, 0.5f);
    // Losing the focus ends a stroke in progress.
    push_button(SDL_MOUSEBUTTONDOWN, 9, 9);
    push_window_event(SDL_WINDOWEVENT_FOCUS_LOST);
    push_window_event(SDL_WINDOWEVENT_FOCUS_GAINED);
    return loop_through_queue();
  });
  EXPECT_EQ(code, 0);
  EXPECT_EQ(g_log, (Log{"pen 1 10,20 +2", "pen 3 -2,233 +2", "pen 2 12,22 +2", "pen 1 1,1 +2",
                        "pen 2 1,1 +2", "pen 1 88,52 +0", "pen 3 44,104 +0", "pen 2 44,104 +0",
                        "pen 1 3,3 +0", "pen 2 3,3 +0", "deactivate", "activate"}));
}

TEST_F(WindowLoop, KeysAndTextArriveAsFrameworkCodes) {
  static int changes = 0;
  static FTextInput input{[](void*) { ++changes; }, nullptr};
  changes = 0;
  run([] {
    push_key(SDL_KEYDOWN, SDLK_PAGEDOWN, KMOD_LCTRL);
    push_key(SDL_KEYUP, SDLK_PAGEDOWN, KMOD_LCTRL);
    push_key(SDL_KEYUP, SDLK_LCTRL);
    push_key(SDL_KEYDOWN, SDLK_LSHIFT, KMOD_LSHIFT);
    push_key(SDL_KEYDOWN, SDLK_a, KMOD_LSHIFT);  // its character comes as text
    push_text("A\xC3\xA9\xF0\x9F\x98\x80");      // A, U+00E9, U+1F600
    push_key(SDL_KEYDOWN, SDLK_LEFT, KMOD_NONE, 1);
    push_key(SDL_KEYDOWN, SDLK_ESCAPE);
    push_key(SDL_KEYDOWN, SDLK_RETURN);
    push_key(SDL_KEYDOWN, SDLK_q, KMOD_LCTRL, 1);  // a held quit chord neither quits nor types
    loop_through_queue();
    // An edit has the text input: Return ends a line, and edits report a change.
    fplatform_begin_text_input(&input);
    push_key(SDL_KEYDOWN, SDLK_RETURN);
    push_text("x");
    push_key(SDL_KEYDOWN, SDLK_BACKSPACE);
    push_key(SDL_KEYDOWN, SDLK_RIGHT);
    loop_through_queue();
    fplatform_end_text_input(&input);
    push_key(SDL_KEYDOWN, SDLK_RETURN);
    return loop_through_queue();
  });
  EXPECT_EQ(g_log, (Log{"key f805*1 +4", "key f80d*1 +0", "key f80b*1 +2", "key 41*1 +0",
                        "key e9*1 +0", "key d83d*1 +0", "key de00*1 +0", "key f807*1 +0",
                        "key f822*1 +0", "key f823*1 +0", "key d*1 +0", "key 78*1 +0",
                        "key 8*1 +0", "key f808*1 +0",
                        "paint",  // posted when the edit ended
                        "key f823*1 +0"}));
  EXPECT_EQ(changes, 3);
}

TEST_F(WindowLoop, ChordsRotationHandResizingAndFullScreen) {
  run([] {
    SDL_Window* window = wins_window_sdl_window();
    EXPECT_STREQ(SDL_GetWindowTitle(window), "Loop t\xC3\xA9st");
    push_key(SDL_KEYDOWN, SDLK_2, KMOD_LCTRL);  // 240 x 320 at scale 2
    push_key(SDL_KEYDOWN, SDLK_r, KMOD_LCTRL);  // 320 x 240 at scale 3
    loop_through_queue();
    int w = 0, h = 0;
    SDL_GetWindowSize(window, &w, &h);
    EXPECT_EQ(w * 1000 + h, 960 * 1000 + 720);
    // By hand the scale stays and the display takes what the window holds, down to 96.
    SDL_SetWindowSize(window, 900, 601);
    loop_through_queue();
    SDL_SetWindowSize(window, 30, 30);
    loop_through_queue();
    // Full screen leaves the display alone and centres it at scale 8; the pen follows.
    push_key(SDL_KEYDOWN, SDLK_F11);
    push_button(SDL_MOUSEBUTTONDOWN, (1024 - 768) / 2 + 17, 0);
    push_key(SDL_KEYDOWN, SDLK_F11);
    loop_through_queue();
    fplatform_set_fullscreen(1);  // the handheld's task bar: nothing to hide here
    SDL_GetWindowSize(window, &w, &h);
    EXPECT_EQ(w * 1000 + h, 288 * 1000 + 288);
    return 0;
  });
  EXPECT_EQ(g_log, (Log{"screen 240x320", "paint", "screen 320x240", "paint", "screen 300x200",
                        "paint", "screen 96x96", "paint", "pen 1 2,0 +0"}));
  int32_t w = 0, h = 0;
  fplatform_display_size(&w, &h);
  EXPECT_EQ(w * 1000 + h, 96 * 1000 + 96);
}

TEST_F(WindowLoop, FlushUploadsTheChangedRectangleAtTheScale) {
  for (int depth : {32, 16}) {
    setenv("PENLARK_DEPTH", std::to_string(depth).c_str(), 1);
    run([depth] {
      EXPECT_EQ(fplatform_display_depth(), depth);
      FBitmap* bitmap = fscreen_get_bitmap(fscreen_get());
      fscreen_paint(fscreen_get(), nullptr);  // red everywhere
      fbitmap_fill_rect(bitmap, 10, 10, 19, 19, 0xFF0000FF);
      fbitmap_fill_rect(bitmap, 50, 50, 50, 50, 0xFF00FF00);  // changed but not flushed
      FRect changed{19, 19, 10, 10};                           // not normalised
      fplatform_flush(&changed);
      EXPECT_EQ(window_pixel(30, 30), 0x0000FFu);
      EXPECT_EQ(window_pixel(59, 59), 0x0000FFu);
      EXPECT_EQ(window_pixel(60, 29), 0xFF0000u);
      EXPECT_EQ(window_pixel(151, 151), 0xFF0000u);
      fplatform_flush(nullptr);
      EXPECT_EQ(window_pixel(150, 152), 0x00FF00u);
      EXPECT_EQ(window_pixel(153, 150), 0xFF0000u);
      // An exposed window is shown again from the texture, without a repaint.
      g_log.clear();
      push_window_event(SDL_WINDOWEVENT_EXPOSED);
      loop_through_queue();
      EXPECT_TRUE(g_log.empty());
      EXPECT_EQ(window_pixel(527, 623), 0xFF0000u);
      return 0;
    });
  }
  unsetenv("PENLARK_DEPTH");
}

TEST_F(WindowLoop, QuitHookMayRefuseAndQuitCodesReachTheLoop) {
  static int refusals = 2;
  int code = run([] {
    fplatform_set_quit_hook([](int c) {
      note("asked %d", c);
      return refusals-- > 0 ? 0 : 1;
    });
    push_key(SDL_KEYDOWN, SDLK_q, KMOD_LCTRL);
    push(SDL_Event{.type = SDL_QUIT});  // the window's close button
    note("loop returned %d", loop_through_queue());
    fplatform_quit(7);
    return fplatform_main_loop();
  });
  EXPECT_EQ(code, 7);
  EXPECT_EQ(g_log, (Log{"asked 0", "asked 0", "asked 0", "loop returned 0", "asked 7"}));
}

TEST_F(WindowLoop, PostedWakeUpsRunActiveObjectsAndRepaintsEvenFromAnotherThread) {
  int code = run([] {
    EXPECT_EQ(faomngr_init(), 1);
    FActiveObject* object = fao_create();
    fao_set_run(object, [](FActiveObject*, void*) { note("run"); });
    fao_signal(object);
    fao_signal(object);
    loop_through_queue();
    fao_destroy(object);
    faomngr_shutdown();
    // Only the guard timer is due, in five seconds: the other thread's wake-up must cut
    // the wait short.
    fscreen_set_on_paint_background(fscreen_get(), [](FScreen*, const FRect*) { fplatform_quit(5); });
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
  });
  EXPECT_EQ(code, 5);
  EXPECT_EQ(g_log, Log{"run"});
}

TEST_F(WindowLoop, ScreenSaveWritesTheBackBufferAndReports) {
  testing::internal::CaptureStderr();
  run([] {
    g_background = 0xFF123456;
    fscreen_paint(fscreen_get(), nullptr);
    push_key(SDL_KEYDOWN, SDLK_s, KMOD_LCTRL | KMOD_LSHIFT);
    return loop_through_queue();
  });
  std::string path = home_ + "/Pictures/screen.bmp";
  EXPECT_NE(testing::internal::GetCapturedStderr().find("Marlo: Screen saved to " + path + " ok."),
            std::string::npos);
  std::ifstream file(path, std::ios::binary);
  std::vector<unsigned char> b((std::istreambuf_iterator<char>(file)), {});
  ASSERT_GT(b.size(), 60u);
  auto u32 = [&](size_t at) { return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | b[at + 3] << 24; };
  EXPECT_EQ(b[0] * 256 + b[1], 'B' * 256 + 'M');
  EXPECT_EQ(u32(18), 176u);
  EXPECT_EQ(static_cast<int32_t>(u32(22)), -208);
  EXPECT_EQ(u32(u32(10)) & 0xFFFFFF, 0x123456u);
}

TEST_F(WindowLoop, ASecondStartHandsItsFileToTheFirst) {
  // A socket left behind by an instance that crashed does not stop the next start.
  std::string socket_path = home_ + "/penlark.sock";
  int stale = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::snprintf(address.sun_path, sizeof address.sun_path, "%s", socket_path.c_str());
  ASSERT_EQ(bind(stale, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  close(stale);

  static int second_exit = -1;
  int code = run([] {
    pid_t child = fork();
    if (child == 0) {
      static const FAppHooks second{nullptr, [](int, char**) { return 42; }, nullptr, nullptr, nullptr};
      const char* args[] = {"penlark", "--screen=240x320", "picture.plk", nullptr};
      _exit(wins_window_entry(3, const_cast<char**>(args), &second));
    }
    int status = 0;
    waitpid(child, &status, 0);
    second_exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    uint32_t guard = ftimer_create(5000, [](uint32_t, void*) { fplatform_quit(99); }, nullptr);
    int result = fplatform_main_loop();
    ftimer_kill(guard);
    return result;
  });
  EXPECT_EQ(code, 0);
  EXPECT_EQ(second_exit, 0);
  EXPECT_EQ(g_log, Log{"open " + std::filesystem::current_path().string() + "/picture.plk"});
  EXPECT_FALSE(std::filesystem::exists(socket_path));  // removed at the end
}

// ---- Without a window ---------------------------------------------------------------------

void run_nested_twice() {
  g_log.clear();
  ftimer_create(1, [](uint32_t id, void*) {
    ftimer_kill(id);
    note("inner at %d", fplatform_run_level() + 1);
    fplatform_run();
    note("inner returned at %d", fplatform_run_level());
  }, nullptr);
  uint32_t exits = ftimer_create(20, [](uint32_t, void*) {
    fplatform_run_exit();
    note("exit to %d", fplatform_run_level());
  }, nullptr);
  fplatform_run();
  ftimer_kill(exits);
  note("outer returned at %d", fplatform_run_level());
}

TEST(LoopNestingDeathTest, TwoNestedRunsNeedTwoExitsAndAThirdIsFatal) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  run_nested_twice();
  EXPECT_EQ(g_log, (Log{"inner at 2", "exit to 1", "inner returned at 1", "exit to 0",
                        "outer returned at 0"}));
  EXPECT_EXIT(fplatform_run_exit(), ::testing::ExitedWithCode(255),
              "code = wins_window\\([0-9]+\\).*g_run_wait>=0");
}

TEST(HeadlessLoop, APostBeforeSdlRunsIsHonouredByTheNextLoop) {
  SDL_Quit();
  ASSERT_EQ(SDL_WasInit(SDL_INIT_EVENTS), 0u);
  g_log.clear();
  ASSERT_EQ(faomngr_init(), 1);
  FActiveObject* object = fao_create();
  fao_set_run(object, [](FActiveObject*, void*) {
    note("run");
    fplatform_run_exit();
  });
  fao_signal(object);  // no event queue yet: only remembered
  fplatform_run();
  EXPECT_EQ(g_log, Log{"run"});
  EXPECT_EQ(fplatform_run_level(), 0);
  fao_destroy(object);
  faomngr_shutdown();
}

}  // namespace
