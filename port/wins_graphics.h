// The port's text rasteriser on FreeType and fontconfig. It defines the fplatform_font_*
// calls of fplatform.h; what is declared here is the port's own side of it: the UTF-16
// walk every text call shares, and the process-wide font cache's upkeep.
#pragma once

#include <cstdint>

#include "fplatform.h"

// The code point that starts at text[*index] (index < length); *index moves past it.
// A surrogate pair gives one code point and two units; an unpaired surrogate gives
// U+FFFD and one unit.
uint32_t wins_graphics_next_code_point(const char16_t* text, int32_t length, int32_t* index);

// The file of the face a font resolved to (the first one that serves its characters);
// owned by the font cache, valid while the font lives.
const char* wins_graphics_font_file(const FPlatformFont* font);

// Number of glyphs of the font that were drawn with a fallback face (characters the
// primary face lacks). For diagnostics and tests.
int32_t wins_graphics_fallback_glyph_count(const FPlatformFont* font);

// Frees the resolved fonts that no caller holds. When none is held any more, also closes
// every cached face and the FreeType library (re-created by the next font). Call at
// shut-down, or to give memory back.
void wins_graphics_release_cache();
