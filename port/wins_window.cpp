// The port's window and loop unit. For now it carries what the graphics core needs from
// the platform whatever the window system: the fatal-error routine, the flush hook and
// the text resolution.

#include "wins_window.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>


namespace {
FPlatformFlushFn g_flush = nullptr;
// The display size last applied; the handheld's portrait VGA screen until the window
// system says otherwise.
int32_t g_display_width = 480;
int32_t g_display_height = 640;
}  // namespace

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
  std::_Exit(-1);
}

int32_t fplatform_text_dpi() {
  // Low resolution: a display whose width or height is 240, or which is 320 x 320.
  int32_t w = g_display_width, h = g_display_height;
  bool low = w == 240 || h == 240 || (w == 320 && h == 320);
  return low ? 96 : 192;
}
