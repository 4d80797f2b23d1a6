// The application's spine: the one AppContext record, start-up and shut-down around the
// message loop, the four screen handlers through which the painting area receives
// drawing, pen input, keys and rotation, the canvas-resize mode, the callbacks that tie
// the pan, text and colour-picker tools to the rest of the program, the question about
// unsaved changes on exit, the document commands the toolbar and command panel issue, and
// the message helpers every part of the program reports through.
//
//   paint_main (FAppHooks::main) -> paint_main_start -> fplatform_main_loop
//                                -> paint_main_stop (settings written back)
//
// The toolkit's bars, panels and dialogs are not built yet. AppContext holds their
// pointers (null until they exist) and AppSeams the calls the spine makes into them; a
// seam left null means "no such control": the spine skips it and goes on.
#pragma once

#include <cstdint>
#include <string>

#include "frect.h"
#include "paint_config.h"
#include "paint_tools.h"

struct FBitmap;
struct FScreen;
struct FStyler;
struct PaintContext;
struct PaintFile;
struct PaintHistory;
struct Shape;

// The toolkit's controls, declared only: AppContext owns them once they exist.
struct Toolbar;
struct ThumbnailWindow;
struct ThickMenu;
struct TextBar;
struct ZoomBar;
struct CommandPanel;
struct ColorPanel;
struct AlphaPanel;
struct WaitWindow;
struct ImageBar;
struct AppContext;

constexpr int32_t PAINT_MAIN_HANDLE_COUNT = 8;
constexpr int32_t PAINT_MAIN_MIN_CANVAS_SIDE = 16;  // a resize drag never goes below this
constexpr int32_t PAINT_MAIN_HANDLE_REACH = 10;     // handle half-size; 5 on low resolution

// Calls into the toolkit's controls. Each may be null (the control does not exist yet);
// the toolkit's units install them at start-up.
struct AppSeams {
  // The text bar: open over `rect` (screen coordinates), and commit-and-close.
  void (*textbar_open)(AppContext* app, const FRect* rect);
  void (*textbar_commit)(AppContext* app);
  // The image bar: place its picture (recorded as step 1009) and close; close only.
  void (*imagebar_commit)(AppContext* app);
  void (*imagebar_close)(AppContext* app);
  // The toolbar: auto-hide on a pen down, show the tool now current, open the zoom bar.
  void (*toolbar_hide)(AppContext* app);
  void (*toolbar_select)(AppContext* app, uint32_t tool_id);
  void (*zoom_bar_open)(AppContext* app);
  void (*zoom_bar_set)(AppContext* app, int32_t percent);  // trunc(zoom x 100)
  void (*zoom_bar_layout)(AppContext* app);                // after a rotation
  // The thumbnail window: redraw when visible; move to its corner after a rotation.
  void (*thumbnail_refresh)(AppContext* app);
  void (*thumbnail_place)(AppContext* app);
  // The colour panel: redraw the fore-colour swatch; move to its corner after a rotation.
  void (*color_panel_redraw)(AppContext* app);
  void (*color_panel_place)(AppContext* app);
  // The save-as dialog for a document that has no name yet; 1 when it saved.
  int (*save_as)(AppContext* app);
  // Destroys every control above (shut-down, before the paint context goes).
  void (*destroy_controls)(AppContext* app);
};

// Zero-filled but for the settings' strings: create with new AppContext{}.
struct AppContext {
  PaintContext* paint;   // owned: the open painting
  PaintHistory* history; // owned: its undo history
  PaintFile* file;       // owned: document file state (current name, save type)
  Toolbar* toolbar;              // owned, null until the toolbar exists
  ThumbnailWindow* thumbnail;    // owned, null until it exists; hidden at start
  ThickMenu* thick_menu;         // owned, may be null
  Shape* current_shape;          // not owned (tools[]): receives pen input; Pencil at start
  int32_t previous_shape_id;     // tool current before the last change; 0 for none
  FStyler* styler;               // owned, null until the application styler exists
  TextBar* _textbar;             // owned, null when closed
  ZoomBar* scale_bar;            // owned, null when closed
  CommandPanel* command_panel;   // owned, null until it exists
  ColorPanel* color_panel;       // owned, null until it exists
  AlphaPanel* alpha_panel;       // owned, null until it exists
  WaitWindow* wait_window;       // owned, null when not shown
  ImageBar* _imagebar;           // owned, null when closed
  uint8_t resize_mode;           // 1 while the canvas-resize mode is on
  FPoint handle_points[PAINT_MAIN_HANDLE_COUNT];  // canvas handles, screen coordinates
  FRect handle_boxes[PAINT_MAIN_HANDLE_COUNT];    // squares around them: hit and drawing
  int32_t active_handle;         // 0..7 being dragged, -1 for none
  FRect resize_rect;             // canvas rectangle being edited, screen coordinates
  uint8_t answer;                // last yes/no answer (1 = yes)
  PaintConfig config;            // the settings (config.xml) between start-up and shut-down
  std::string cache_dir;         // undo checkpoints (UTF-8)
  std::string temp_dir;          // files made for sending (UTF-8)
  std::string language;          // "en_us", "zh_cn" or "ru_ru"
  int32_t language_index;        // the user's language code (fsys), 99 when unknown
  uint16_t user_lang_id;         // the user's Windows language identifier
  Shape* tools[PAINT_TOOL_COUNT];  // owned, in tool-table order
  FScreen* screen;               // not owned: the framework's screen
  int32_t resource_ids[5];       // resource files loaded at start-up (fres ids), 0 for none
  AppSeams seams;                // calls into the toolkit's controls, each may be null
};

// ---- Start-up and shut-down ----------------------------------------------------------
// The application's main for the platform entry: start-up, the message loop, shut-down.
// 0 after a normal run, 1 when start-up failed (with the reason on stderr).
int paint_main(int argc, char** argv);
// Start-up without the loop, on the framework's screen (fscreen_get()). 1, or 0 with
// the reason on stderr and nothing left behind.
int paint_main_start();
// Shut-down: everything start-up made is destroyed, the settings are written back.
void paint_main_stop();
// The running application, or null outside start-up .. shut-down.
AppContext* paint_main_app();

// Where start-up looks for the resource set; null (the default) means fsys_resource_dir().
// The string is copied. Tests and alternative installs point it elsewhere.
void paint_main_set_resource_dir(const char* folder);
// A file (".plk" document or BMP, PNG, JPEG, GIF picture) that start-up opens once the
// painting exists; null for none. The string is copied.
void paint_main_set_start_file(const char* path);

// "ru_ru" for Russian and Belarusian, "zh_cn" for Chinese, else "en_us", from a Windows
// language identifier (full or primary).
const char* paint_main_language_for(uint16_t lang_id);

// ---- Platform hooks --------------------------------------------------------------
const char16_t* paint_main_title();  // "Penlark", the window's title
// The window came back to the front: one full repaint once the painting exists.
void paint_main_on_activate();
// A second start handed this instance a file (FAppHooks::open_file).
void paint_main_on_open_file(const char* path);

// ---- Screen handlers (registered on the screen at start-up) ------------------------
void paint_main_on_paint(FScreen* screen, const FRect* rect);
int paint_main_on_pen(int32_t type, int32_t x, int32_t y, uint32_t modifiers);
// "q" quits, "b" undoes, "f" redoes; Ctrl+Z undoes, Ctrl+Shift+Z and Ctrl+Y redo.
int paint_main_on_key(uint32_t code, int32_t repeat, uint32_t modifiers);
void paint_main_on_rotate(const FRect* rect);
// The exit hook: asks about unsaved changes; always lets the program quit (1).
int paint_main_on_quit(int code);

// ---- Canvas-resize mode ------------------------------------------------------------
// On: the rectangle is the painting's screen rectangle and the handles follow it.
void paint_main_set_resize_mode(AppContext* app, int on);
// Handles of the rectangle (left, top, right, bottom) in screen coordinates.
void paint_main_compute_handles(AppContext* app, const FRect* rect);

// ---- Tools ---------------------------------------------------------------------------
// Makes `id` the current tool; the tool it replaces becomes previous_shape_id. 0 when no
// tool has the id.
int paint_main_select_tool(AppContext* app, uint32_t id);
// The tools' callbacks (installed at start-up): a colour picked as 0x00BBGGRR, the view
// moved by the pan tool, a text rectangle dragged (view coordinates).
void paint_main_on_color_picked(Shape* shape, uint32_t color);
void paint_main_on_hand_moved(Shape* shape);
void paint_main_on_text_rect(Shape* shape, const FRect* rect);

// ---- Document commands ---------------------------------------------------------------
// Each ends with the thumbnail and zoom bar refreshed, the handles recomputed and a full
// repaint.
// A blank painting of the settings' new size and colour. 1, or 0 after "Not enough
// memory to create new empty paint." (the old size is kept).
int paint_main_new_empty(AppContext* app);
// The picture as the new base. 1, or 0 after "Not enough memory to create new paint.".
int paint_main_new_from_picture(AppContext* app, const FBitmap* picture);
// Reads a BMP, PNG, JPEG or GIF file (by extension, without regard to case) into a new
// 24- or 32-bit bitmap the caller destroys; null when it cannot be read.
FBitmap* paint_main_read_picture(const char* path);
// Asks about unsaved changes, then opens a native document, zoomed out to fit a larger
// one. 1 when the document was opened (also when its step list was damaged).
int paint_main_open_document(AppContext* app, const char* path);
// A ".plk" document, or any other file as a picture for a new painting.
int paint_main_open_path(AppContext* app, const char* path);
// Zoom keeping the painting's centre where it is on screen (centre = 0) or centring the
// painting (centre = 1). The paint context's result: 1, 0 (refused) or -1 (kept the size).
int paint_main_zoom(AppContext* app, double zoom, int centre);
// Commits an open text bar, fills the base and records step 1004.
void paint_main_clear(AppContext* app);
// Saves to the current path (an unnamed document goes to the save-as seam). The document
// file's result, or 0 when the save-as seam is missing.
int paint_main_save(AppContext* app);
// Exports "attachment.jpg" (quality 85) into the temp folder and hands it to
// `xdg-email --attach`. 1 when the mail program was started; 0 after "Can not send paint.".
int paint_main_send(AppContext* app);
// Undo and redo with screen updates off, then one full repaint. 0 when there was nothing
// to undo or redo (nothing changes).
int paint_main_undo(AppContext* app);
int paint_main_redo(AppContext* app);

// ---- Message helpers ---------------------------------------------------------------
// The boxes of the dialog toolkit: error ("Error"), stop ("Stop"), yes/no question
// ("Penlark"), a note that vanishes after two seconds, and the wait window. Until the
// toolkit installs its boxes, errors and stops are written to stderr as "Title: text",
// questions answer no, and notes and the wait window show nothing.
struct PaintMessageHooks {
  void (*error)(const char16_t* text);
  void (*stop)(const char16_t* text);
  int (*question)(const char16_t* text);  // 1 yes, 0 no
  void (*note)(const char16_t* text);
  void (*wait)(const char16_t* text);     // shows the text until wait_close
  void (*wait_close)();
};
// Installs the boxes (copied); null restores the defaults above.
void paint_message_set_hooks(const PaintMessageHooks* hooks);
void paint_message_error(const char16_t* text);
void paint_message_stop(const char16_t* text);
int paint_message_question(const char16_t* text);
void paint_message_note(const char16_t* text);
void paint_message_wait(const char16_t* text);
void paint_message_wait_close();
