// The port's window and loop: program entry with the single-instance rule, the SDL window
// that shows the screen's back buffer at a whole-number scale, the translation of SDL
// events into the screen's pen and key calls (through wins_input.cpp), the message loop
// with its nesting counter, posted wake-ups for active objects and repaints, the flush,
// full screen, text input, the emulator commands and the fatal-error routine.
//
//   wins_window_entry -> instance claim -> SDL, screen, window -> hooks->main
//     fplatform_main_loop / fplatform_run -> wins_loop_turn:
//       wait (next timer deadline or event) -> dispatch event -> fscreen_pointer / _key
//       -> wins_timer_run_due -> faomngr_run_due (posted) -> fscreen_paint (posted)
//   fscreen_paint -> fplatform_flush -> upload the changed rectangle -> present
//
// Posted wake-ups are two atomic flags plus an SDL user event that wakes a waiting loop.
// The flags alone carry the request when SDL is not running (the active-object tests run
// without a window), and every loop turn honours them before it waits.

#include "wins_window.h"

#include <SDL.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "fbitmap.h"
#include "fscreen.h"
#include "fsys.h"
#include "win_ao.h"
#include "wins_input.h"
#include "wins_timer.h"

namespace {

// ---- State --------------------------------------------------------------------------------

FPlatformFlushFn g_flush = nullptr;
// The display size last applied; the handheld's portrait VGA screen until told otherwise.
int32_t g_display_width = 480;
int32_t g_display_height = 640;

const FAppHooks* g_hooks = nullptr;  // not owned; set while wins_window_entry runs
FScreen* g_screen = nullptr;         // owned while wins_window_entry runs
FQuitHook g_quit_hook = nullptr;

SDL_Window* g_window = nullptr;      // owned
SDL_Renderer* g_renderer = nullptr;  // owned
SDL_Texture* g_texture = nullptr;    // owned; display size, the back buffer's format
int32_t g_texture_width = 0;
int32_t g_texture_height = 0;
int32_t g_scale = 1;        // window pixels per display pixel in windowed mode
bool g_fullscreen = false;  // the desktop's real full screen (F11)

// The smallest display a hand-resized window may give, so that the interface keeps room
// for its bars.
constexpr int32_t kMinDisplaySide = 96;
// Room left for the window's title bar before the window manager has told its sizes.
constexpr int32_t kTitleBarAllowance = 32;

// The pen: one source at a time, so that a finger and the mouse never interleave strokes.
enum class PenSource { none, mouse, finger };
PenSource g_pen = PenSource::none;
SDL_FingerID g_pen_finger = 0;
int32_t g_pen_x = 0, g_pen_y = 0;  // last delivered position, display pixels

// Loops.
int32_t g_run_wait = 0;  // active fplatform_run levels
bool g_quit_posted = false;
int g_quit_code = 0;
std::atomic<bool> g_due_active_objects{false};
std::atomic<bool> g_due_repaint{false};
std::atomic<uint32_t> g_wake_event{0};  // the registered SDL event type, 0 until registered

enum WakeCode : int32_t { kWakePosted = 0, kWakeInstance = 1 };

FTextInput* g_text_input = nullptr;  // not owned; the focused edit's record

// ---- Helpers ------------------------------------------------------------------------------

bool env_flag(const char* name) {
  const char* value = std::getenv(name);
  return value && *value && std::strcmp(value, "0") != 0;
}

// Message boxes need a real desktop; tests and headless runs report on stderr instead.
bool wins_window_dialogs_allowed() {
  if (env_flag("PENLARK_NO_DIALOGS")) return false;
  if (!SDL_WasInit(SDL_INIT_VIDEO)) return false;
  const char* driver = SDL_GetCurrentVideoDriver();
  return driver && std::strcmp(driver, "offscreen") != 0 && std::strcmp(driver, "dummy") != 0;
}

enum class MessageKind { information, error };

void wins_window_message(const char* caption, const char* text, MessageKind kind) {
  if (g_window && wins_window_dialogs_allowed()) {
    uint32_t flags = kind == MessageKind::error ? SDL_MESSAGEBOX_ERROR : SDL_MESSAGEBOX_INFORMATION;
    if (SDL_ShowSimpleMessageBox(flags, caption, text, g_window) == 0) return;
  }
  std::fprintf(stderr, "%s: %s\n", caption, text);
}

void wins_window_push_wake(int32_t code) {
  uint32_t type = g_wake_event.load();
  if (type == 0 || !SDL_WasInit(SDL_INIT_EVENTS)) return;
  SDL_Event event{};
  event.type = type;
  event.user.code = code;
  SDL_PushEvent(&event);
}

// The loops need SDL's event queue even without a window (tests of timers and active
// objects run the loop headless).
void wins_loop_ensure_events() {
  if (!SDL_WasInit(SDL_INIT_EVENTS) && SDL_InitSubSystem(SDL_INIT_EVENTS) != 0) {
    std::fprintf(stderr, "penlark: no event queue: %s\n", SDL_GetError());
    FCHECK(false, "events!=null");
  }
  if (g_wake_event.load() == 0) {
    // Registered once per process: SDL never hands the same number out twice, so the type
    // stays valid across SDL restarts.
    uint32_t type = SDL_RegisterEvents(1);
    if (type != static_cast<uint32_t>(-1)) g_wake_event.store(type);
  }
}

// ---- Display and flush ----------------------------------------------------------------------

WinsViewport wins_window_viewport() {
  int width = 0, height = 0;
  if (g_window) SDL_GetWindowSize(g_window, &width, &height);
  int32_t scale = g_fullscreen ? wins_input_fit_scale(g_texture_width, g_texture_height, width, height)
                               : g_scale;
  return wins_input_viewport(width, height, g_texture_width, g_texture_height, scale);
}

void wins_window_present() {
  if (!g_renderer || !g_texture) return;
  WinsViewport viewport = wins_window_viewport();
  SDL_SetRenderDrawColor(g_renderer, 0, 0, 0, 255);
  SDL_RenderClear(g_renderer);
  SDL_Rect target{viewport.x, viewport.y, g_texture_width * viewport.scale,
                  g_texture_height * viewport.scale};
  SDL_RenderCopy(g_renderer, g_texture, nullptr, &target);
  SDL_RenderPresent(g_renderer);
}

uint32_t wins_window_texture_format(const FBitmap* bitmap) {
  switch (fbitmap_get_bpp(bitmap)) {
    case 16: return fbitmap_is_rgb565(bitmap) ? SDL_PIXELFORMAT_RGB565 : SDL_PIXELFORMAT_RGB555;
    case 24: return SDL_PIXELFORMAT_BGR24;
    // The fourth byte of the back buffer is not alpha for the display: the texture ignores it.
    default: return SDL_PIXELFORMAT_RGB888;
  }
}

// Copies `area` (inclusive, inside the bitmap) of the back buffer into the texture.
void wins_window_upload(const FBitmap* bitmap, const FRect& area) {
  int32_t width = area.right - area.left + 1;
  int32_t pitch = static_cast<int32_t>(fbitmap_get_stride(bitmap));
  if (fbitmap_is_top_down(bitmap)) {
    SDL_Rect rect{area.left, area.top, width, area.bottom - area.top + 1};
    SDL_UpdateTexture(g_texture, &rect, fbitmap_pixel_address(bitmap, area.left, area.top), pitch);
    return;
  }
  // Bottom-up rows run backwards in memory; SDL wants them forwards, one row at a time.
  for (int32_t y = area.top; y <= area.bottom; ++y) {
    SDL_Rect row{area.left, y, width, 1};
    SDL_UpdateTexture(g_texture, &row, fbitmap_pixel_address(bitmap, area.left, y), pitch);
  }
}

// (Re)creates the texture at the back buffer's size and format and fills it.
bool wins_window_make_texture() {
  if (g_texture) SDL_DestroyTexture(g_texture);
  g_texture = nullptr;
  g_texture_width = g_texture_height = 0;
  FScreen* screen = fscreen_get();
  if (!g_renderer || !screen || !fscreen_get_bitmap(screen)) return false;
  const FBitmap* bitmap = fscreen_get_bitmap(screen);
  int32_t width = fbitmap_get_width(bitmap), height = fbitmap_get_height(bitmap);
  g_texture = SDL_CreateTexture(g_renderer, wins_window_texture_format(bitmap),
                                SDL_TEXTUREACCESS_STREAMING, width, height);
  if (!g_texture) {
    std::fprintf(stderr, "penlark: no texture for the display: %s\n", SDL_GetError());
    return false;
  }
  SDL_SetTextureBlendMode(g_texture, SDL_BLENDMODE_NONE);
  SDL_SetTextureScaleMode(g_texture, SDL_ScaleModeNearest);
  g_texture_width = width;
  g_texture_height = height;
  wins_window_upload(bitmap, FRect{0, 0, width - 1, height - 1});
  return true;
}

void wins_window_flush(const FRect* rect) {
  FScreen* screen = fscreen_get();
  if (!g_renderer || !screen || !fscreen_get_bitmap(screen)) return;
  const FBitmap* bitmap = fscreen_get_bitmap(screen);
  int32_t width = fbitmap_get_width(bitmap), height = fbitmap_get_height(bitmap);
  if (!g_texture || g_texture_width != width || g_texture_height != height) {
    // A new texture is filled whole, so the rectangle is already covered.
    if (!wins_window_make_texture()) return;
  } else {
    FRect full{0, 0, width - 1, height - 1};
    FRect area = rect ? frect_intersect(frect_normalized(*rect), full) : full;
    if (frect_is_empty(area)) return;
    wins_window_upload(bitmap, area);
  }
  wins_window_present();
}

// The largest whole scale at which the display fits the usable part of the desktop.
int32_t wins_window_desktop_scale(int32_t width, int32_t height) {
  int display = g_window ? SDL_GetWindowDisplayIndex(g_window) : 0;
  if (display < 0) display = 0;
  SDL_Rect usable;
  if (SDL_GetDisplayUsableBounds(display, &usable) != 0 &&
      SDL_GetDisplayBounds(display, &usable) != 0) {
    return 1;
  }
  int top = kTitleBarAllowance, left = 0, bottom = 0, right = 0;
  if (g_window && SDL_GetWindowBordersSize(g_window, &top, &left, &bottom, &right) != 0) {
    top = kTitleBarAllowance, left = bottom = right = 0;
  }
  return wins_input_fit_scale(width, height, usable.w - left - right, usable.h - top - bottom);
}

void wins_window_fit_to_desktop() {
  if (!g_window) return;
  g_scale = wins_window_desktop_scale(g_display_width, g_display_height);
  // In full screen the window keeps the desktop's size; the new scale waits for the
  // return to a window.
  if (g_fullscreen) return;
  if (SDL_GetWindowFlags(g_window) & SDL_WINDOW_MAXIMIZED) SDL_RestoreWindow(g_window);
  SDL_SetWindowMinimumSize(g_window, kMinDisplaySide * g_scale, kMinDisplaySide * g_scale);
  SDL_SetWindowSize(g_window, g_display_width * g_scale, g_display_height * g_scale);
}

enum class WindowFit { fit_desktop, keep_window };

int wins_window_apply_display_size(int32_t width, int32_t height, WindowFit fit) {
  if (width < 1 || height < 1) return 0;
  FScreen* screen = fscreen_get();
  if (screen && !fscreen_resize(screen, width, height)) return 0;
  wins_window_set_display_size(width, height);
  if (g_renderer) wins_window_make_texture();
  if (fit == WindowFit::fit_desktop) wins_window_fit_to_desktop();
  // Surfaces lay themselves out for the new rectangle with painting held back, then one
  // repaint shows the result.
  if (screen) fscreen_broadcast_screen_changed(screen, nullptr);
  return 1;
}

// A window resized by hand keeps its scale: the display grows or shrinks to what fits.
// The window's present size is read rather than the event's: size events of the port's
// own resizes may still be queued behind a newer one, and must not undo it.
void wins_window_on_resized() {
  if (!g_window) return;
  if (!g_fullscreen) {
    int window_width = 0, window_height = 0;
    SDL_GetWindowSize(g_window, &window_width, &window_height);
    int32_t width = std::max(window_width / g_scale, kMinDisplaySide);
    int32_t height = std::max(window_height / g_scale, kMinDisplaySide);
    if (width != g_display_width || height != g_display_height) {
      wins_window_apply_display_size(width, height, WindowFit::keep_window);
      return;  // the broadcast repainted and presented
    }
  }
  wins_window_present();
}

void wins_window_toggle_fullscreen() {
  if (!g_window) return;
  bool on = !g_fullscreen;
  if (SDL_SetWindowFullscreen(g_window, on ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0) != 0) return;
  // Set before the size events arrive, so that the full-screen size is not taken for a
  // hand resize of the display.
  g_fullscreen = on;
  // Back in a window, the window is the scaled display again, whatever the window system
  // restored.
  if (!on) SDL_SetWindowSize(g_window, g_display_width * g_scale, g_display_height * g_scale);
  wins_window_present();
}

// ---- Emulator commands --------------------------------------------------------------------

void wins_window_save_screen() {
  FScreen* screen = fscreen_get();
  // The user's pictures folder (below PENLARK_HOME when that is set).
  std::string path = std::string(fsys_pictures_dir()) + "/screen.bmp";
  if (screen && fscreen_get_bitmap(screen) &&
      fbitmap_save_bmp(fscreen_get_bitmap(screen), path.c_str())) {
    std::string text = "Screen saved to " + path + " ok.";
    wins_window_message("Marlo", text.c_str(), MessageKind::information);
  } else {
    wins_window_message("Marlo", "Save screen fail.", MessageKind::error);
  }
}

void wins_window_run_command(WinsCommand command) {
  int32_t width = 0, height = 0;
  if (wins_input_command_size(command, &width, &height)) {
    wins_window_resize_display(width, height);
    return;
  }
  switch (command) {
    case WinsCommand::close:
    case WinsCommand::quit: fplatform_quit(0); break;
    case WinsCommand::save_screen: wins_window_save_screen(); break;
    case WinsCommand::about:
      wins_window_message("Marlo", "Marlo Emulator 1.0", MessageKind::information);
      break;
    case WinsCommand::rotate: wins_window_resize_display(g_display_height, g_display_width); break;
    case WinsCommand::toggle_fullscreen: wins_window_toggle_fullscreen(); break;
    default: break;
  }
}

// ---- Pen ----------------------------------------------------------------------------------

void wins_window_deliver_pen(int32_t type, int32_t x, int32_t y) {
  g_pen_x = x;
  g_pen_y = y;
  FScreen* screen = fscreen_get();
  if (screen) fscreen_pointer(screen, type, x, y, wins_input_modifiers(SDL_GetModState()));
}

void wins_window_pen_up(int32_t x, int32_t y) {
  if (g_pen == PenSource::mouse) SDL_CaptureMouse(SDL_FALSE);
  g_pen = PenSource::none;
  wins_window_deliver_pen(FPOINTER_UP, x, y);
}

void wins_window_pen_down(PenSource source, int32_t x, int32_t y) {
  if (g_pen != PenSource::none && g_pen != source) return;  // the other source holds the pen
  // A second down from the same source means its up got lost (released outside a window
  // that could not capture): the stroke in progress ends where it was last seen.
  if (g_pen == source) wins_window_pen_up(g_pen_x, g_pen_y);
  g_pen = source;
  if (source == PenSource::mouse) SDL_CaptureMouse(SDL_TRUE);
  wins_window_deliver_pen(FPOINTER_DOWN, x, y);
}

void wins_window_mouse_point(int32_t window_x, int32_t window_y, int32_t* x, int32_t* y) {
  wins_input_window_to_display(wins_window_viewport(), window_x, window_y, x, y);
}

void wins_window_finger_point(float finger_x, float finger_y, int32_t* x, int32_t* y) {
  int width = 0, height = 0;
  if (g_window) SDL_GetWindowSize(g_window, &width, &height);
  auto window_x = static_cast<int32_t>(finger_x * static_cast<float>(width));
  auto window_y = static_cast<int32_t>(finger_y * static_cast<float>(height));
  wins_input_window_to_display(wins_window_viewport(), window_x, window_y, x, y);
}

void wins_window_on_mouse_button(const SDL_MouseButtonEvent& button) {
  // Touches also arrive as synthesized mouse events; the finger events deliver them.
  if (button.which == SDL_TOUCH_MOUSEID || button.button != SDL_BUTTON_LEFT) return;
  int32_t x, y;
  wins_window_mouse_point(button.x, button.y, &x, &y);
  // A double click arrives as a second button-down, which is a pen down like the first.
  if (button.type == SDL_MOUSEBUTTONDOWN) {
    wins_window_pen_down(PenSource::mouse, x, y);
  } else if (g_pen == PenSource::mouse) {
    wins_window_pen_up(x, y);
  }
}

void wins_window_on_mouse_motion(const SDL_MouseMotionEvent& motion) {
  if (motion.which == SDL_TOUCH_MOUSEID || g_pen != PenSource::mouse) return;
  int32_t x, y;
  wins_window_mouse_point(motion.x, motion.y, &x, &y);
  wins_window_deliver_pen(FPOINTER_MOVE, x, y);
}

void wins_window_on_finger(const SDL_TouchFingerEvent& finger) {
  int32_t x, y;
  wins_window_finger_point(finger.x, finger.y, &x, &y);
  if (finger.type == SDL_FINGERDOWN) {
    // Further fingers while one draws are ignored: the handheld's screen knew one pen.
    if (g_pen != PenSource::none) return;
    g_pen_finger = finger.fingerId;
    wins_window_pen_down(PenSource::finger, x, y);
    return;
  }
  if (g_pen != PenSource::finger || finger.fingerId != g_pen_finger) return;
  if (finger.type == SDL_FINGERMOTION) {
    wins_window_deliver_pen(FPOINTER_MOVE, x, y);
  } else {
    wins_window_pen_up(x, y);
  }
}

// ---- Keys ---------------------------------------------------------------------------------

void wins_window_deliver_key(uint32_t code, uint32_t modifiers) {
  FScreen* screen = fscreen_get();
  if (!screen) return;
  FTextInput* input = g_text_input;
  fscreen_key(screen, code, 1, modifiers);
  // The key may have ended the edit (Return confirming a dialog); only the record still
  // focused afterwards is told.
  bool edits = code < 0xF800;
  if (edits && input && g_text_input == input && input->on_change) input->on_change(input->context);
}

void wins_window_on_key_down(const SDL_KeyboardEvent& key) {
  WinsCommand command = wins_input_chord_command(key.keysym);
  if (command != WinsCommand::none) {
    // A held chord runs once and never reaches the screen as a key.
    if (!key.repeat) wins_window_run_command(command);
    return;
  }
  uint32_t modifiers = wins_input_modifiers(key.keysym.mod);
  WinsTextFocus focus = g_text_input ? WinsTextFocus::editing : WinsTextFocus::none;
  uint32_t code = wins_input_key_down_code(key.keysym.sym, modifiers, focus);
  // Every auto-repeat arrives as its own key-down, so each carries a count of one.
  if (code) wins_window_deliver_key(code, modifiers);
}

void wins_window_on_key_up(const SDL_KeyboardEvent& key) {
  uint32_t code = wins_input_key_up_code(key.keysym.sym);
  if (code) wins_window_deliver_key(code, wins_input_modifiers(key.keysym.mod));
}

void wins_window_on_text(const SDL_TextInputEvent& text) {
  // Characters beyond the basic plane arrive as two calls, one per surrogate, as the
  // handheld's character messages brought them.
  char16_t units[SDL_TEXTINPUTEVENT_TEXT_SIZE + 1];
  int32_t count = fsys_utf16_from_utf8(text.text, units, std::size(units));
  uint32_t modifiers = wins_input_modifiers(SDL_GetModState());
  for (int32_t i = 0; i < count; ++i) wins_window_deliver_key(units[i], modifiers);
}

// ---- Single instance ----------------------------------------------------------------------
// The first instance listens on a per-user Unix socket; a second start connects, writes
// its request ("raise", or "open <absolute path>"), closes and exits. A thread accepts
// the requests and wakes the loop, which serves them on the user-interface thread.

struct InstanceServer {
  int fd = -1;            // listening socket, owned
  std::string path;       // socket file, removed at shut-down
  std::thread thread;     // accepts requests
  std::mutex mutex;       // guards requests
  std::vector<std::string> requests;

  // A program ended by exit() from inside the loop (Xlib does that when its display goes
  // away) still has the accepting thread: it is left to the system, which ends it with the
  // process, instead of std::thread aborting the exit.
  ~InstanceServer() {
    if (thread.joinable()) thread.detach();
    if (fd >= 0) unlink(path.c_str());
  }
};
InstanceServer g_instance;

constexpr size_t kMaxRequest = 4096 + 8;

// Makes the folder and any missing parents (new ones private to the user).
bool make_private_dir(const std::string& path) {
  for (size_t at = 1; at <= path.size(); ++at) {
    if (at != path.size() && path[at] != '/') continue;
    if (mkdir(path.substr(0, at).c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  struct stat info;
  return lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// The socket's folder: PENLARK_HOME (tests stay isolated), the runtime folder, or a
// private folder under /tmp that belongs to this user alone.
std::string wins_instance_dir() {
  const char* home = std::getenv("PENLARK_HOME");
  if (home && *home) return make_private_dir(home) ? home : "";
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime && *runtime) return runtime;
  std::string dir = "/tmp/penlark-" + std::to_string(getuid());
  if (!make_private_dir(dir)) return "";
  struct stat info;
  // Someone else's folder of that name must not receive our socket.
  if (lstat(dir.c_str(), &info) != 0 || info.st_uid != getuid() || (info.st_mode & 077)) return "";
  return dir;
}

bool wins_instance_address(const std::string& path, sockaddr_un* address) {
  *address = sockaddr_un{};
  address->sun_family = AF_UNIX;
  if (path.size() >= sizeof address->sun_path) return false;
  std::memcpy(address->sun_path, path.c_str(), path.size() + 1);
  return true;
}

bool write_all(int fd, const char* data, size_t length) {
  while (length > 0) {
    ssize_t written = write(fd, data, length);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    data += written;
    length -= static_cast<size_t>(written);
  }
  return true;
}

void wins_instance_serve(int server) {
  for (;;) {
    int client = accept4(server, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) {
      if (errno == EINTR || errno == ECONNABORTED) continue;
      return;  // the socket was shut down
    }
    // A client that connects and then says nothing must not hold up the next one for long.
    timeval timeout{2, 0};
    setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    std::string request;
    char buffer[512];
    for (;;) {
      ssize_t got = read(client, buffer, sizeof buffer);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) break;
      request.append(buffer, static_cast<size_t>(got));
      if (request.size() > kMaxRequest) break;
    }
    close(client);
    if (request.size() > kMaxRequest) continue;
    {
      std::lock_guard<std::mutex> lock(g_instance.mutex);
      g_instance.requests.push_back(std::move(request));
    }
    wins_window_push_wake(kWakeInstance);
  }
}

enum class InstanceClaim { first, forwarded, alone };

// Either hands `request` to a running instance (forwarded) or becomes the instance that
// listens (first). Without a usable folder the program runs alone, unguarded.
InstanceClaim wins_instance_claim(const std::string& request) {
  std::string dir = wins_instance_dir();
  if (dir.empty()) return InstanceClaim::alone;
  std::string path = dir + "/penlark.sock";
  sockaddr_un address;
  if (!wins_instance_address(path, &address)) return InstanceClaim::alone;

  // The lock makes "nobody answers, so remove the stale socket and listen" one step: two
  // programs started together cannot both decide they are first.
  int lock = open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (lock < 0) return InstanceClaim::alone;
  while (flock(lock, LOCK_EX) != 0 && errno == EINTR) {
  }
  InstanceClaim claim = InstanceClaim::alone;
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
    write_all(fd, request.data(), request.size());
    claim = InstanceClaim::forwarded;
  } else {
    unlink(path.c_str());  // left behind by an instance that ended without cleaning up
    int server = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (server >= 0 && bind(server, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        listen(server, 8) == 0) {
      g_instance.fd = server;
      g_instance.path = path;
      claim = InstanceClaim::first;
    } else if (server >= 0) {
      close(server);
    }
  }
  if (fd >= 0) close(fd);
  flock(lock, LOCK_UN);
  close(lock);
  return claim;
}

void wins_instance_start() {
  if (g_instance.fd < 0) return;
  try {
    g_instance.thread = std::thread(wins_instance_serve, g_instance.fd);
  } catch (...) {
    // Without the thread the program still runs; later starts just find nobody answering.
    close(g_instance.fd);
    g_instance.fd = -1;
    unlink(g_instance.path.c_str());
  }
}

void wins_instance_stop() {
  if (g_instance.fd < 0) return;
  // Shutting the listening socket down makes the blocked accept return.
  shutdown(g_instance.fd, SHUT_RDWR);
  if (g_instance.thread.joinable()) g_instance.thread.join();
  close(g_instance.fd);
  g_instance.fd = -1;
  unlink(g_instance.path.c_str());
  std::lock_guard<std::mutex> lock(g_instance.mutex);
  g_instance.requests.clear();
}

void wins_instance_serve_requests() {
  std::vector<std::string> requests;
  {
    std::lock_guard<std::mutex> lock(g_instance.mutex);
    requests.swap(g_instance.requests);
  }
  for (const std::string& request : requests) {
    fplatform_show_window();
    if (request.rfind("open ", 0) == 0 && request.size() > 5 && g_hooks && g_hooks->open_file) {
      g_hooks->open_file(request.c_str() + 5);
    }
  }
}

// What a second start asks of the first: open the first file argument, or just come to
// the front.
std::string wins_instance_request(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (!argv[i] || argv[i][0] == '-' || argv[i][0] == '\0') continue;
    std::string path = argv[i];
    if (path[0] != '/') {
      char cwd[PATH_MAX];
      if (getcwd(cwd, sizeof cwd)) path = std::string(cwd) + "/" + path;
    }
    return "open " + path;
  }
  return "raise";
}

// ---- Dispatch -----------------------------------------------------------------------------

void wins_window_on_window_event(const SDL_WindowEvent& window) {
  switch (window.event) {
    case SDL_WINDOWEVENT_EXPOSED: wins_window_present(); break;
    case SDL_WINDOWEVENT_RESIZED:
    case SDL_WINDOWEVENT_SIZE_CHANGED: wins_window_on_resized(); break;
    case SDL_WINDOWEVENT_FOCUS_GAINED:
      if (g_hooks && g_hooks->activate) g_hooks->activate();
      break;
    case SDL_WINDOWEVENT_FOCUS_LOST:
      // A stroke must not stay open while another program has the pointer.
      if (g_pen != PenSource::none) wins_window_pen_up(g_pen_x, g_pen_y);
      if (g_hooks && g_hooks->deactivate) g_hooks->deactivate();
      break;
    default: break;
  }
}

void wins_window_dispatch(const SDL_Event& event) {
  switch (event.type) {
    case SDL_QUIT: fplatform_quit(0); return;
    case SDL_WINDOWEVENT: wins_window_on_window_event(event.window); return;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: wins_window_on_mouse_button(event.button); return;
    case SDL_MOUSEMOTION: wins_window_on_mouse_motion(event.motion); return;
    case SDL_FINGERDOWN:
    case SDL_FINGERUP:
    case SDL_FINGERMOTION: wins_window_on_finger(event.tfinger); return;
    case SDL_KEYDOWN: wins_window_on_key_down(event.key); return;
    case SDL_KEYUP: wins_window_on_key_up(event.key); return;
    case SDL_TEXTINPUT: wins_window_on_text(event.text); return;
    default: break;
  }
  if (event.type == g_wake_event.load() && event.user.code == kWakeInstance) {
    wins_instance_serve_requests();
  }
  // kWakePosted only wakes the loop: the turn honours the flags after dispatch.
}

enum class LoopKind { main, nested };

// One turn of a loop: sleeps until an event arrives or the earliest timer is due (never
// when a posted wake-up is waiting), handles the event, fires due timers, then runs what
// was posted. Nested loops also run due active objects after every event, as the
// waiting screens expect. Returns false once a quit has been posted.
bool wins_loop_turn(LoopKind kind) {
  if (g_quit_posted) return false;
  wins_loop_ensure_events();
  int64_t wait = wins_timer_wait_ms(wins_timer_now_ms());
  if (g_due_active_objects.load() || g_due_repaint.load()) wait = 0;
  SDL_Event event;
  int got;
  if (wait == 0) {
    got = SDL_PollEvent(&event);
  } else if (wait < 0) {
    got = SDL_WaitEvent(&event);
  } else {
    got = SDL_WaitEventTimeout(&event, static_cast<int>(std::min<int64_t>(wait, INT_MAX)));
  }
  if (got) wins_window_dispatch(event);
  wins_timer_run_due(wins_timer_now_ms());
  bool run_objects = g_due_active_objects.exchange(false) || (kind == LoopKind::nested && got);
  if (run_objects && faomngr_exists()) faomngr_run_due();
  if (g_due_repaint.exchange(false) && fscreen_get()) fscreen_paint(fscreen_get(), nullptr);
  return !g_quit_posted;
}

void wins_window_reset_loop_state() {
  g_quit_posted = false;
  g_quit_code = 0;
  g_pen = PenSource::none;
  g_text_input = nullptr;
}

void wins_window_release_window() {
  if (g_texture) SDL_DestroyTexture(g_texture);
  if (g_renderer) SDL_DestroyRenderer(g_renderer);
  if (g_window) SDL_DestroyWindow(g_window);
  g_texture = nullptr;
  g_renderer = nullptr;
  g_window = nullptr;
  g_texture_width = g_texture_height = 0;
  g_fullscreen = false;
  g_scale = 1;
}

bool wins_window_create_window(const char* title) {
  g_scale = wins_window_desktop_scale(g_display_width, g_display_height);
  g_window = SDL_CreateWindow(title, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                              g_display_width * g_scale, g_display_height * g_scale,
                              SDL_WINDOW_RESIZABLE);
  if (!g_window) return false;
  SDL_SetWindowMinimumSize(g_window, kMinDisplaySide * g_scale, kMinDisplaySide * g_scale);
  g_renderer = SDL_CreateRenderer(g_window, -1, 0);
  if (!g_renderer) g_renderer = SDL_CreateRenderer(g_window, -1, SDL_RENDERER_SOFTWARE);
  if (!g_renderer) return false;
  return wins_window_make_texture();
}

}  // namespace

int wins_window_show_message(const char* caption, const char* text, int is_error) {
  if (g_window && wins_window_dialogs_allowed()) {
    uint32_t flags = is_error ? SDL_MESSAGEBOX_ERROR : SDL_MESSAGEBOX_INFORMATION;
    if (SDL_ShowSimpleMessageBox(flags, caption, text, g_window) == 0) return 1;
  }
  std::fprintf(stderr, "%s: %s\n", caption, text);
  return 0;
}

int wins_window_ask(const char* caption, const char* text, const char* yes, const char* no) {
  if (!g_window || !wins_window_dialogs_allowed()) return -1;
  const SDL_MessageBoxButtonData buttons[] = {
      {SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, 0, no},
      {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT, 1, yes},
  };
  SDL_MessageBoxData data{};
  data.flags = SDL_MESSAGEBOX_INFORMATION;
  data.window = g_window;
  data.title = caption;
  data.message = text;
  data.numbuttons = 2;
  data.buttons = buttons;
  int pressed = -1;
  if (SDL_ShowMessageBox(&data, &pressed) != 0) return -1;
  return pressed == 1 ? 1 : 0;
}

// ---- Program entry ------------------------------------------------------------------------

int wins_window_entry(int argc, char** argv, const FAppHooks* hooks) {
  FCHECK(hooks != nullptr && hooks->main != nullptr, "hooks!=null");
  InstanceClaim claim = wins_instance_claim(wins_instance_request(argc, argv));
  if (claim == InstanceClaim::forwarded) return 0;

  char title[128 * 4 + 1] = "Marlo";
  const char16_t* wide_title = hooks->title ? hooks->title() : nullptr;
  if (wide_title) {
    // At most 128 units are the title, as the handheld's window title held.
    char16_t units[129] = {};
    for (size_t i = 0; i < 128 && wide_title[i]; ++i) units[i] = wide_title[i];
    fsys_utf8_from_utf16(units, title, sizeof title);
  }

  SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "nearest");
  SDL_SetHint(SDL_HINT_RENDER_VSYNC, "0");  // a flush must not wait for the next frame
  SDL_SetHint(SDL_HINT_MOUSE_TOUCH_EVENTS, "0");
  SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
  SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
  if (SDL_Init(SDL_INIT_VIDEO) != 0) {
    std::fprintf(stderr, "penlark: cannot open a window: %s\n", SDL_GetError());
    wins_instance_stop();
    return 1;
  }
  wins_loop_ensure_events();
  wins_window_reset_loop_state();
  g_hooks = hooks;

  int result = 1;
  g_screen = new (std::nothrow) FScreen{};
  if (g_screen && fscreen_create(g_screen, g_display_width, -g_display_height,
                                 fplatform_display_depth())) {
    fscreen_set_global(g_screen);
    if (wins_window_create_window(title)) {
      wins_window_set_flush(wins_window_flush);
      wins_instance_start();
      wins_window_present();
      result = hooks->main(argc, argv);
    } else {
      std::fprintf(stderr, "penlark: cannot create the window: %s\n", SDL_GetError());
    }
  } else {
    std::fprintf(stderr, "penlark: cannot create the screen\n");
  }

  wins_window_set_flush(nullptr);
  wins_instance_stop();
  wins_window_release_window();
  if (g_screen) {
    fscreen_set_global(nullptr);
    if (g_screen->canvas.bitmap) fscreen_release(g_screen);
    delete g_screen;
    g_screen = nullptr;
  }
  g_hooks = nullptr;
  g_quit_hook = nullptr;
  wins_window_reset_loop_state();
  SDL_Quit();
  return result;
}

// ---- Loops --------------------------------------------------------------------------------

int fplatform_main_loop() {
  while (wins_loop_turn(LoopKind::main)) {
  }
  int code = g_quit_code;
  g_quit_posted = false;
  g_quit_code = 0;
  return code;
}

void fplatform_run() {
  int32_t level = ++g_run_wait;
  while (g_run_wait >= level) {
    if (!wins_loop_turn(LoopKind::nested)) {
      // A quit ends every loop, this one first; the level it held is given back so the
      // counter stays balanced, and the quit stays posted for the loops outside.
      if (g_run_wait >= level) g_run_wait = level - 1;
      break;
    }
  }
}

void fplatform_run_exit() {
  --g_run_wait;
  FCHECK(g_run_wait >= 0, "g_run_wait>=0");
}

void fplatform_quit(int code) {
  if (g_quit_hook && g_quit_hook(code) == 0) return;
  g_quit_posted = true;
  g_quit_code = code;
}

void fplatform_set_quit_hook(FQuitHook hook) { g_quit_hook = hook; }

int32_t fplatform_run_level() { return g_run_wait; }

void wins_window_post(WinsMessage message) {
  std::atomic<bool>& due =
      message == WinsMessage::run_active_objects ? g_due_active_objects : g_due_repaint;
  // One wake-up on its way is enough: the turn that takes the flag serves every post
  // made before it.
  if (due.exchange(true)) return;
  wins_window_push_wake(kWakePosted);
}

// ---- Window -------------------------------------------------------------------------------

void fplatform_show_window() {
  if (!g_window) return;
  SDL_ShowWindow(g_window);
  if (SDL_GetWindowFlags(g_window) & SDL_WINDOW_MINIMIZED) SDL_RestoreWindow(g_window);
  SDL_RaiseWindow(g_window);
}

void fplatform_hide_window() {
  if (g_window) SDL_HideWindow(g_window);
}

// The handheld's full screen hid its task bar; the desktop keeps its panels, and F11 is
// the user's own full screen.
void fplatform_set_fullscreen(int) {}

int32_t fplatform_display_depth() {
  FScreen* screen = fscreen_get();
  if (screen && fscreen_get_bitmap(screen)) return fbitmap_get_bpp(fscreen_get_bitmap(screen));
  const char* depth = std::getenv("PENLARK_DEPTH");
  return depth && std::strcmp(depth, "16") == 0 ? 16 : 32;
}

int fplatform_module_dir(char* buffer, size_t size) {
  const char* dir = fsys_program_dir();
  size_t length = std::strlen(dir);
  if (!buffer || length + 1 > size) return 0;
  std::memcpy(buffer, dir, length + 1);
  return 1;
}

int wins_window_parse_size(const char* text, int32_t* width, int32_t* height) {
  if (!text) return 0;
  int32_t values[2] = {0, 0};
  const char* p = text;
  for (int part = 0; part < 2; ++part) {
    if (*p < '0' || *p > '9') return 0;
    int32_t value = 0;
    while (*p >= '0' && *p <= '9') {
      value = value * 10 + (*p - '0');
      if (value > 8192) return 0;
      ++p;
    }
    if (value < 16) return 0;
    values[part] = value;
    if (part == 0) {
      if (*p != 'x' && *p != 'X') return 0;
      ++p;
    }
  }
  if (*p != '\0') return 0;
  if (width) *width = values[0];
  if (height) *height = values[1];
  return 1;
}

int wins_window_resize_display(int32_t width, int32_t height) {
  return wins_window_apply_display_size(width, height, WindowFit::fit_desktop);
}

// ---- Text input ---------------------------------------------------------------------------
// Text events stay on all the time, since the handheld delivered typed characters whether
// or not an edit had the focus. Beginning an edit restarts them so that an input method
// composes into it; ending one stops and restarts them, which drops a half-composed word
// and hides on-screen keyboards.

void fplatform_begin_text_input(FTextInput* input) {
  FCHECK(input != nullptr, "input!=null");
  g_text_input = input;
  if (SDL_WasInit(SDL_INIT_VIDEO)) SDL_StartTextInput();
}

void fplatform_show_input_panel() {
  if (SDL_WasInit(SDL_INIT_VIDEO)) SDL_StartTextInput();
}

void fplatform_end_text_input(FTextInput*) {
  g_text_input = nullptr;
  if (SDL_WasInit(SDL_INIT_VIDEO)) {
    SDL_StopTextInput();
    SDL_StartTextInput();
  }
  // The handheld repainted once its input panel had gone.
  wins_window_post(WinsMessage::repaint);
}

// ---- Hooks and state for headless runs ------------------------------------------------------

void fplatform_display_size(int32_t* width, int32_t* height) {
  if (width) *width = g_display_width;
  if (height) *height = g_display_height;
}

void wins_window_set_display_size(int32_t width, int32_t height) {
  g_display_width = width;
  g_display_height = height;
}

void wins_window_set_flush(FPlatformFlushFn flush) { g_flush = flush; }

void fplatform_flush(const FRect* rect) {
  if (g_flush) g_flush(rect);
}

SDL_Window* wins_window_sdl_window() { return g_window; }

int32_t fplatform_text_dpi() {
  // Low resolution: a display whose width or height is 240, or which is 320 x 320.
  int32_t w = g_display_width, h = g_display_height;
  bool low = w == 240 || h == 240 || (w == 320 && h == 320);
  return low ? 96 : 192;
}

// ---- Fatal errors -------------------------------------------------------------------------

void wins_window_format_fatal(char* out, size_t size, const char* source_path, int line) {
  // The unit is the file's base name: after the last '\\', '/' or ':' and before the last '.'.
  const char* base = source_path ? source_path : "";
  for (const char* p = base; *p; ++p) {
    if (*p == '\\' || *p == '/' || *p == ':') base = p + 1;
  }
  const char* dot = std::strrchr(base, '.');
  int length = dot ? static_cast<int>(dot - base) : static_cast<int>(std::strlen(base));
  std::snprintf(out, size, "\r\n*** MLO FATAL ERROR OCCURS. \r\n\r\n code = %.*s(%d)\r\n", length,
                base, line);
}

void fplatform_fatal(const char* expression, const char* source_path, int line) {
  char banner[512];
  wins_window_format_fatal(banner, sizeof banner, source_path, line);
  std::fputs(banner, stderr);
  if (expression) std::fprintf(stderr, " check = %s\r\n", expression);
  std::fflush(stderr);
  if (g_window && wins_window_dialogs_allowed()) {
    SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, "Error", banner, g_window);
  }
  std::_Exit(-1);
}
