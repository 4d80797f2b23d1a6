// Penlark's entry while the window port is being built: creates the framework screen at
// the handheld's default display size and reports what it made.
#include <cstdio>

#include "fscreen.h"

int main() {
  FScreen screen{};
  if (!fscreen_create(&screen, 480, 640, 32)) {
    std::fprintf(stderr, "penlark: cannot create the screen\n");
    return 1;
  }
  fscreen_set_global(&screen);
  fscreen_paint(&screen, nullptr);
  std::printf("penlark: screen %d x %d ready; the window arrives with the platform port\n",
              fscreen_get_width(&screen), fscreen_get_height(&screen));
  fscreen_set_global(nullptr);
  fscreen_release(&screen);
  return 0;
}
