// Penlark's executable: reads the few desktop options, then hands over to the port's entry
// with the application's hooks. Until the paint application arrives, its start-up shows
// the empty screen (the background the screen paints behind all surfaces), lets the pen
// scribble on it in white so that input can be checked by hand, and runs the message loop.
#include <cstdio>
#include <cstring>

#include "fbitmap.h"
#include "fcanvas.h"
#include "fscreen.h"
#include "wins_window.h"

namespace {

constexpr FColor kBackground = 0xFF404040;  // dark grey behind every surface

const char kUsage[] =
    "Usage: penlark [--screen=WxH] [FILE]\n"
    "\n"
    "Penlark, a paint program for touch and stylus screens. The window shows the\n"
    "handheld's screen; a second start brings the running one to the front and hands\n"
    "it FILE.\n"
    "\n"
    "  --screen=WxH   display size in pixels (default 480x640)\n"
    "  --help         this text\n"
    "\n"
    "Keys:\n"
    "  F1, F2         left and right soft keys (Escape is the right soft key too)\n"
    "  Return         action key (a line end while editing text)\n"
    "  Ctrl+Q         quit\n"
    "  Ctrl+1 .. 7    display 176x208, 240x320, 320x240, 360x640, 640x360,\n"
    "                 480x640, 640x480\n"
    "  Ctrl+R         rotate the display\n"
    "  F11            full screen on the desktop\n"
    "  Ctrl+Shift+S   save the screen as screen.bmp in the pictures folder\n"
    "  Ctrl+Shift+A   about\n"
    "\n"
    "Environment: PENLARK_HOME (folder for everything Penlark writes),\n"
    "PENLARK_DEPTH=16 (RGB565 display like the devices).\n";

const char16_t* penlark_title() { return u"Penlark"; }

void penlark_paint_background(FScreen* screen, const FRect* rect) {
  fbitmap_fill_rect(fscreen_get_bitmap(screen), rect->left, rect->top, rect->right, rect->bottom,
                    kBackground);
}

FPoint g_last_pen{};

// Draws straight on the back buffer; a repaint (resize, rotation) clears the scribbles.
int penlark_scribble(int32_t type, int32_t x, int32_t y, uint32_t) {
  FScreen* screen = fscreen_get();
  FCanvas* canvas = fscreen_get_canvas(screen);
  if (type == FPOINTER_DOWN) g_last_pen = FPoint{x, y};
  fcanvas_line_color(canvas, g_last_pen.x, g_last_pen.y, x, y, 0xFFFFFFFF);
  FRect changed = frect_normalized(FRect{g_last_pen.x, g_last_pen.y, x, y});
  fplatform_flush(&changed);
  g_last_pen = FPoint{x, y};
  return 1;
}

int penlark_main(int, char**) {
  FScreen* screen = fscreen_get();
  fscreen_set_on_paint_background(screen, penlark_paint_background);
  fscreen_set_on_pointer_default(screen, penlark_scribble);
  fscreen_paint(screen, nullptr);
  return fplatform_main_loop();
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (std::strncmp(arg, "--screen=", 9) == 0) {
      int32_t width = 0, height = 0;
      if (!wins_window_parse_size(arg + 9, &width, &height)) {
        std::fprintf(stderr, "penlark: --screen wants WxH, each 16 to 8192, not \"%s\"\n",
                     arg + 9);
        return 2;
      }
      wins_window_set_display_size(width, height);
      continue;
    }
    if (arg[0] == '-') {
      std::fprintf(stderr, "penlark: unknown option %s (see --help)\n", arg);
      return 2;
    }
  }
  FAppHooks hooks{penlark_title, penlark_main, nullptr, nullptr, nullptr};
  return wins_window_entry(argc, argv, &hooks);
}
