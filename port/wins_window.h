// The platform's window and loop. Until the window system arrives this unit holds the
// fatal-error routine and the flush hook the graphics core calls.
#pragma once

#include "fplatform.h"

// The function that shows the back buffer on the display; null (the default) makes
// fplatform_flush do nothing, as in headless runs.
using FPlatformFlushFn = void (*)(const FRect* rect);
void wins_window_set_flush(FPlatformFlushFn flush);

// Records the display size last applied (the window system calls this on start-up,
// rotation and resizing; tests call it to pick a screen class).
void wins_window_set_display_size(int32_t width, int32_t height);

// Formats the fatal-error banner for a failed check in `source_path` at `line`:
// the unit is the base name without folders and extension.
void wins_window_format_fatal(char* out, size_t size, const char* source_path, int line);
