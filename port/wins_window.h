// The platform's window and loop: program entry, the window that shows the screen's back
// buffer, the translation of window-system input into screen calls, the message loop with
// its nesting counter, posted wake-ups, the flush, full screen, text input, the emulator
// commands and the fatal-error routine.
#pragma once

#include <cstddef>
#include <cstdint>

#include "fplatform.h"

// ---- Program entry ------------------------------------------------------------------------
// What the port asks of the application. The application installs these; the port never
// links against the layers above it.
struct FAppHooks {
  const char16_t* (*title)();          // window title, at most 128 UTF-16 units
  int (*main)(int argc, char** argv);  // start-up; normally runs fplatform_main_loop
  void (*activate)();                  // the window gained focus (may be null)
  void (*deactivate)();                // the window lost focus (may be null)
  // A second start handed this running instance a file to open (absolute path, UTF-8);
  // may be null.
  void (*open_file)(const char* path);
};

// Single instance, window, framework screen, then hooks->main; tears down afterwards and
// returns the application's exit code (0 when another instance was brought to the front).
int wins_window_entry(int argc, char** argv, const FAppHooks* hooks);
// Parses a display size "WxH" (each 16..8192), as the executable's --screen= gives it.
// Returns 0 for anything else.
int wins_window_parse_size(const char* text, int32_t* width, int32_t* height);

// ---- Loops --------------------------------------------------------------------------------
// The outermost loop: runs until fplatform_quit; returns the quit code.
int fplatform_main_loop();
// A nested loop that returns when the matching fplatform_run_exit is called.
void fplatform_run();
// Ends the innermost fplatform_run; an exit with no run left is a programming error.
void fplatform_run_exit();
// Asks the quit hook (if any); unless it refuses (returns 0), posts the quit with `code`.
void fplatform_quit(int code);
using FQuitHook = int (*)(int code);
void fplatform_set_quit_hook(FQuitHook hook);
// The nesting counter of fplatform_run (0 outside modal loops).
int32_t fplatform_run_level();

// ---- Posted wake-ups ------------------------------------------------------------------------
// Private messages, posted to the loop from anywhere on the UI thread (and safe from others).
enum class WinsMessage : uint32_t {
  run_active_objects = 1125,  // WM_USER + 101
  repaint = 1126,             // WM_USER + 102: fscreen_paint of the whole screen
};
void wins_window_post(WinsMessage message);

// ---- Window ---------------------------------------------------------------------------------
void fplatform_show_window();  // bring to the front
void fplatform_hide_window();
void fplatform_set_fullscreen(int on);  // the handheld's "hide the task bar": no-op here
int32_t fplatform_display_depth();      // 32, or 16 with PENLARK_DEPTH=16
// The program's own folder (the executable's directory), UTF-8, no trailing slash.
int fplatform_module_dir(char* buffer, size_t size);

// Resizes the display (emulator commands, window resizing, rotation): the back buffer is
// re-created, every surface is told the new full rectangle, then one repaint.
int wins_window_resize_display(int32_t width, int32_t height);

// ---- Text input (the toolkit's edit control) ------------------------------------------------
// While a record is focused, Return delivers the carriage return instead of the action key,
// and on_change follows every character or editing key (Backspace, Delete, Return) that the
// screen was given, where the handheld's native edit box reported a change.
struct FTextInput {
  void (*on_change)(void* context);  // the edit text changed
  void* context;                     // not owned
};
void fplatform_begin_text_input(FTextInput* input);
void fplatform_show_input_panel();
void fplatform_end_text_input(FTextInput* input);

// ---- Hooks for headless runs and tests ----------------------------------------------------
// The function that shows the back buffer on the display; null makes fplatform_flush do
// nothing, as in headless runs. The window installs its own.
using FPlatformFlushFn = void (*)(const FRect* rect);
void wins_window_set_flush(FPlatformFlushFn flush);

// Records the display size last applied (start-up, rotation, resizing; tests use it to
// pick a screen class).
void wins_window_set_display_size(int32_t width, int32_t height);

// Desktop message boxes on the window, for the application's messages until the dialog
// toolkit brings its own. Show: 1 when a box was shown, 0 when the text went to stderr
// (no window, a headless driver, or PENLARK_NO_DIALOGS). Ask: 1 yes, 0 no, -1 when no box
// can be shown.
int wins_window_show_message(const char* caption, const char* text, int is_error);
int wins_window_ask(const char* caption, const char* text, const char* yes, const char* no);

// Formats the fatal-error banner for a failed check in `source_path` at `line`: the unit is
// the base name without folders and extension.
void wins_window_format_fatal(char* out, size_t size, const char* source_path, int line);
