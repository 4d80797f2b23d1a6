// The calls the graphics core makes into the platform port. The core declares them here
// and never includes a window-system header; the port layer (port/) defines them.
#pragma once

#include <cstdint>

#include "frect.h"

// Ends the process after a programming error (a null record, a broken invariant): prints
// the banner "*** MLO FATAL ERROR OCCURS." with the source unit's base name and the line,
// and exits with code -1. `expression` is the failed check's text, e.g. "bitmap!=null".
[[noreturn]] void fplatform_fatal(const char* expression, const char* source_path, int line);

// Checks a precondition whose failure is a programming error.
#define FCHECK(condition, text)                              \
  do {                                                       \
    if (!(condition)) fplatform_fatal(text, __FILE__, __LINE__); \
  } while (0)

// Copies the screen's back buffer to the display; `rect` null means the whole screen.
// Does nothing while there is no window (headless runs, tests).
void fplatform_flush(const FRect* rect);

// The display size last applied, in pixels.
void fplatform_display_size(int32_t* width, int32_t* height);

// Vertical resolution used to turn point sizes into pixels: 96 on a low-resolution
// display and 192 on a high-resolution one, so point sizes look alike on both.
int32_t fplatform_text_dpi();

// ---- Text rasteriser -------------------------------------------------------------------
// A font resolved by the platform's font matcher. Created and destroyed by the caller.
struct FPlatformFont;

// Font style bits, shared with FCanvas::font_style.
enum : uint32_t {
  FFONT_BOLD = 1,
  FFONT_ITALIC = 2,
  FFONT_UNDERLINE = 4,
  FFONT_STRIKEOUT = 8,
};

// `pixel_height` is the character height in pixels (em size); `face` is a zero-terminated
// UTF-16 family name ("tahoma" resolves to the system's best sans match). Returns null
// when no font can be had. The caller destroys the font.
FPlatformFont* fplatform_font_create(int32_t pixel_height, const char16_t* face, uint32_t style);
void fplatform_font_destroy(FPlatformFont* font);

struct FFontMetrics {
  int32_t height;   // ascent + descent, pixels
  int32_t ascent;   // pixels above the baseline
  int32_t descent;  // pixels below the baseline
};
void fplatform_font_metrics(const FPlatformFont* font, FFontMetrics* out);

// Advance width in pixels of the first `length` UTF-16 units of `text`.
int32_t fplatform_font_text_width(FPlatformFont* font, const char16_t* text, int32_t length);

// How many of the first `length` UTF-16 units fit into `max_width` pixels.
int32_t fplatform_font_text_fit(FPlatformFont* font, const char16_t* text, int32_t length,
                                int32_t max_width);

// Receives one piece of rendered text: a coverage map (0 = none, 255 = full) of
// width x height bytes, rows `pitch` bytes apart, whose top-left pixel lands at (x, y).
using FCoverageSink = void (*)(void* context, int32_t x, int32_t y, const uint8_t* coverage,
                               int32_t width, int32_t height, int32_t pitch);

// Renders `text` with the top-left corner of its line cell at (x, y): glyphs, then the
// underline and strike-out bars of the font's style, each handed to `sink`.
void fplatform_font_render(FPlatformFont* font, const char16_t* text, int32_t length, int32_t x,
                           int32_t y, FCoverageSink sink, void* context);
