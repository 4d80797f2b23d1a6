// The application's spine. Start-up builds the AppContext in a fixed order (resources,
// folders, settings, language, active objects, the paint context, its history and
// document state, the 26 tools, the screen handlers) and shut-down takes it down in the
// reverse order, writing the settings back. Between the two, the message loop drives
// everything through the four screen handlers here: they receive only what no toolbar,
// panel or dialog consumed, so everything that reaches them belongs to the painting area.
//
//   paint_main -> paint_main_start -> fplatform_main_loop -> paint_main_stop
//   pen:   resize mode (handles) -> text bar / image bar seams -> auto-hide -> current tool
//   key:   q quit (exit hook) | b, Ctrl+Z undo | f, Ctrl+Y, Ctrl+Shift+Z redo
//   paint: dark grey -> the painting's visible part -> the resize overlay
//
// The toolkit's controls do not exist yet: their pointers stay null and the spine calls
// them only through AppSeams, each checked before use.

#include "paint_main.h"

#include <cairo.h>
#include <strings.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

#include "fbitmap.h"
#include "fbytes.h"
#include "fcanvas.h"
#include "fgui_strings.h"
#include "fplatform.h"
#include "fresource.h"
#include "fscreen.h"
#include "fsys.h"
#include "gifimage.h"
#include "jpegimage.h"
#include "paint_context.h"
#include "paint_file.h"
#include "paint_history.h"
#include "paint_strings.h"
#include "paint_tools.h"
#include "pngimage.h"
#include "shape.h"
#include "shape_curve.h"
#include "shape_position.h"
#include "shape_straw.h"
#include "shape_text.h"
#include "win_ao.h"
#include "wins_window.h"

namespace {

constexpr FColor kDarkGrey = 0xFF404040;  // around the painting
constexpr int32_t kSendQuality = 85;
constexpr const char* kAttachmentName = "attachment.jpg";

AppContext* g_app = nullptr;     // owned between start-up and shut-down
std::string g_resource_dir;      // empty: fsys_resource_dir()
std::string g_start_file;        // empty: none
bool g_made_ao_manager = false;  // start-up started the active-object manager
PaintMessageHooks g_messages{};  // null entries: the defaults

// ---- Small helpers ------------------------------------------------------------------

std::string utf8_from_utf16(const char16_t* text) {
  if (!text) return std::string();
  size_t units = 0;
  while (text[units]) ++units;
  std::string out(units * 3 + 1, '\0');
  int32_t n = fsys_utf8_from_utf16(text, out.data(), out.size());
  out.resize(n < 0 ? std::strlen(out.c_str()) : static_cast<size_t>(n));
  return out;
}

std::u16string utf16_from_utf8(const char* text) {
  if (!text) return std::u16string();
  size_t bytes = std::strlen(text);
  std::u16string out(bytes + 1, u'\0');
  int32_t n = fsys_utf16_from_utf8(text, out.data(), out.size());
  out.resize(n < 0 ? 0 : static_cast<size_t>(n));
  return out;
}

// The pattern with its first "%s" replaced by `argument`.
std::u16string format_text(const char16_t* pattern, const std::u16string& argument) {
  std::u16string text(pattern);
  size_t at = text.find(u"%s");
  if (at != std::u16string::npos) text.replace(at, 2, argument);
  return text;
}

const char* extension_of(const char* path) {
  const char* name = std::strrchr(path, '/');
  name = name ? name + 1 : path;
  const char* dot = std::strrchr(name, '.');
  return dot ? dot + 1 : "";
}

std::string resource_root() {
  return g_resource_dir.empty() ? std::string(fsys_resource_dir()) : g_resource_dir;
}

bool is_low_res(const AppContext* app) {
  return paint_config_is_low_res(fscreen_get_width(app->screen), fscreen_get_height(app->screen));
}

// The painting's rectangle on the screen, worked out in 64 bits (a stored view may be
// anywhere) and kept inside 32.
FRect painting_screen_rect(const AppContext* app) {
  const FBitmap* painting = paint_context_get_painting(app->paint);
  FPoint view = paint_context_get_view(app->paint);
  int64_t width = painting ? fbitmap_get_width(painting) : 0;
  int64_t height = painting ? fbitmap_get_height(painting) : 0;
  auto clamp = [](int64_t v) {
    return static_cast<int32_t>(std::min<int64_t>(std::max<int64_t>(v, INT32_MIN), INT32_MAX));
  };
  return FRect{view.x, view.y, clamp(int64_t{view.x} + width - 1),
               clamp(int64_t{view.y} + height - 1)};
}

// Screen updates off around work that would show half-built states; the previous state
// is given back, so nested suspensions stay suspended.
struct PaintSuspension {
  explicit PaintSuspension(FScreen* screen) : screen(screen) {
    previous = screen->paint_suspended;
    fscreen_set_paint_suspended(screen, 1);
  }
  ~PaintSuspension() { fscreen_set_paint_suspended(screen, previous); }
  FScreen* screen;
  uint32_t previous;
};

void repaint_all(AppContext* app) {
  if (app->paint && paint_context_get_owner(app->paint)) {
    paint_context_repaint(app->paint, nullptr, 1);
  } else if (app->screen) {
    fscreen_paint(app->screen, nullptr);
  }
}

// What every document command ends with.
void finish_document_change(AppContext* app) {
  if (app->thumbnail && app->seams.thumbnail_refresh) app->seams.thumbnail_refresh(app);
  if (app->scale_bar && app->seams.zoom_bar_set) {
    app->seams.zoom_bar_set(
        app, static_cast<int32_t>(std::trunc(paint_context_get_zoom(app->paint) * 100.0)));
  }
  FRect rect = painting_screen_rect(app);
  paint_main_compute_handles(app, &rect);
  repaint_all(app);
}

// Replays the whole history with screen updates off.
void rebuild_painting(AppContext* app) {
  PaintSuspension suspended(app->screen);
  paint_history_rebuild(app->history);
}

void centre_view(AppContext* app) {
  const FBitmap* painting = paint_context_get_painting(app->paint);
  if (!painting) return;
  paint_context_set_view(app->paint,
                         fscreen_get_width(app->screen) / 2 - fbitmap_get_width(painting) / 2,
                         fscreen_get_height(app->screen) / 2 - fbitmap_get_height(painting) / 2);
}

// The unsaved-changes question; a yes saves to the current file (or the save-as seam).
void ask_save_changes(AppContext* app) {
  if (!app->history || !paint_history_is_modified(app->history)) return;
  if (paint_message_question(fres_text(PAINT_STR_ASK_SAVE_CHANGES))) paint_main_save(app);
}

// The document file's notices become the message helpers.
void on_file_notice(PaintFile*, PaintFileNotice kind, const char16_t* text) {
  switch (kind) {
    case PaintFileNotice::wait: paint_message_wait(text); break;
    case PaintFileNotice::wait_end: paint_message_wait_close(); break;
    case PaintFileNotice::note: paint_message_note(text); break;
    case PaintFileNotice::error: paint_message_error(text); break;
  }
}

void cairo_flush_painting(PaintContext* pc) {
  cairo_t* renderer = paint_context_get_renderer(pc);
  if (renderer) cairo_surface_flush(cairo_get_target(renderer));
}

// ---- Canvas-resize mode -------------------------------------------------------------

bool handle_hit(const FRect& box, int32_t x, int32_t y) {
  return x >= box.left && x < box.right && y >= box.top && y < box.bottom;
}

// A drag of the active handle to (x, y). Sizes below the minimum are ignored.
void resize_drag(AppContext* app, int32_t x, int32_t y) {
  const FPoint point = app->handle_points[app->active_handle];
  const int64_t dx = int64_t{x} - point.x, dy = int64_t{y} - point.y;
  int64_t left = app->resize_rect.left, top = app->resize_rect.top;
  int64_t right = app->resize_rect.right, bottom = app->resize_rect.bottom;
  switch (app->active_handle) {
    case 0: left += dx; top += dy; break;
    case 1: top += dy; break;
    case 2: right += dx; top += dy; break;
    case 3: right += dx; break;
    case 4: right += dx; bottom += dy; break;
    case 5: bottom += dy; break;
    case 6: left += dx; bottom += dy; break;
    default: left += dx; break;
  }
  const int64_t width = right - left + 1, height = bottom - top + 1;
  if (width < PAINT_MAIN_MIN_CANVAS_SIDE || height < PAINT_MAIN_MIN_CANVAS_SIDE) return;
  // A canvas can never be larger than a painting may be; the drag stops there.
  if (width > PAINT_CONTEXT_MAX_SIDE || height > PAINT_CONTEXT_MAX_SIDE) return;
  app->resize_rect = FRect{static_cast<int32_t>(left), static_cast<int32_t>(top),
                           static_cast<int32_t>(right), static_cast<int32_t>(bottom)};
  paint_main_compute_handles(app, &app->resize_rect);
  fscreen_paint(app->screen, nullptr);
}

// Pen up: the edited rectangle becomes the canvas, recorded as one crop step in the
// painting's pixels at the zoom in force.
void resize_commit(AppContext* app) {
  PaintContext* pc = app->paint;
  const FRect r = app->resize_rect;
  const FRect old = painting_screen_rect(app);
  app->active_handle = -1;
  // A tap on a handle changes nothing and leaves no empty step behind.
  if (!frect_equal(r, old)) {
    const FPoint view = paint_context_get_view(pc);
    const FBitmap* painting = paint_context_get_painting(pc);
    const int32_t width = painting ? fbitmap_get_width(painting) : 0;
    const int32_t height = painting ? fbitmap_get_height(painting) : 0;
    uint8_t data[PAINT_STEP_CROP_SIZE];
    fbytes_put_i32(data + 0, r.left - view.x);
    fbytes_put_i32(data + 4, r.top - view.y);
    fbytes_put_i32(data + 8, r.right - view.x);
    fbytes_put_i32(data + 12, r.bottom - view.y);
    fbytes_put_i32(data + 16, 0);
    fbytes_put_i32(data + 20, 0);
    fbytes_put_i32(data + 24, width - 1);
    fbytes_put_i32(data + 28, height - 1);
    if (paint_context_crop(pc, r.left - view.x, r.top - view.y, frect_width(r), frect_height(r))) {
      paint_context_set_view(pc, r.left, r.top);
      paint_history_add(app->history, PAINT_STEP_CROP, data, PAINT_STEP_CROP_SIZE);
    } else {
      paint_message_error(fres_text(PAINT_STR_NO_MEMORY_FOR_TASK));
    }
  }
  finish_document_change(app);
}

// 1 when the resize mode took the event.
int resize_on_pen(AppContext* app, int32_t type, int32_t x, int32_t y) {
  if (type == FPOINTER_DOWN) {
    app->active_handle = -1;
    for (int32_t i = 0; i < PAINT_MAIN_HANDLE_COUNT; ++i) {
      if (handle_hit(app->handle_boxes[i], x, y)) {
        app->active_handle = i;
        break;
      }
    }
    if (app->active_handle < 0) return 0;
    app->resize_rect = FRect{app->handle_points[0].x, app->handle_points[0].y,
                             app->handle_points[4].x, app->handle_points[4].y};
    return 1;
  }
  if (app->active_handle < 0) return 0;
  if (type == FPOINTER_MOVE) resize_drag(app, x, y);
  if (type == FPOINTER_UP) resize_commit(app);
  return 1;
}

void draw_resize_overlay(AppContext* app, FCanvas* canvas) {
  // The screen's canvas is shared with every surface: its pen and brush are given back.
  const FCanvas saved = *canvas;
  fcanvas_set_brush(canvas, FBRUSH_NONE, 0);
  fcanvas_set_pen(canvas, FPEN_SOLID, 1, fcolor_make(128, 128, 128, 96));
  fcanvas_rectangle(canvas, app->handle_points[0].x, app->handle_points[0].y,
                    app->handle_points[4].x, app->handle_points[4].y);
  fcanvas_set_pen(canvas, FPEN_SOLID, 1, fcolor_make(64, 64, 64, 64));
  for (const FRect& box : app->handle_boxes) {
    // The square drawn is the one that is hit: right and bottom are outside.
    const int32_t right = box.right - 1, bottom = box.bottom - 1;
    fcanvas_set_brush(canvas, FBRUSH_SOLID, fcolor_make(128, 128, 128, 96));
    fcanvas_fill_rect(canvas, box.left + 1, box.top + 1, right - 1, bottom - 1);
    fcanvas_set_brush(canvas, FBRUSH_NONE, 0);
    fcanvas_rectangle(canvas, box.left, box.top, right, bottom);
  }
  fcanvas_set_pen(canvas, saved.pen_style, saved.pen_width, saved.pen_color);
  fcanvas_set_brush(canvas, saved.brush_style, saved.brush_color);
}

// ---- Start-up pieces ------------------------------------------------------------------

void report_start_failure(const char* what, const std::string& path, const char* reason) {
  std::fprintf(stderr, "penlark: %s: %s: %s\n", what, path.c_str(), reason);
}

// A resource file that start-up cannot do without; 0 after the message.
int load_required_resource(AppContext* app, int slot, const std::string& path) {
  int id = fres_load(path.c_str());
  if (id == 0) {
    report_start_failure("cannot load resources", path,
                         fsys_file_exists(path.c_str()) ? "not a readable resource file"
                                                        : "no such file");
    return 0;
  }
  app->resource_ids[slot] = id;
  return 1;
}

void load_optional_resource(AppContext* app, int slot, const std::string& path) {
  app->resource_ids[slot] = fres_load(path.c_str());
}

// Wires the callbacks of the tools that talk back to the application.
void connect_tools(AppContext* app) {
  for (int i = 0; i < PAINT_TOOL_COUNT; ++i) {
    Shape* tool = app->tools[i];
    switch (paint_tool_table[i].id) {
      case PAINT_TOOL_PAN: shape_position_set_moved(tool, paint_main_on_hand_moved); break;
      case PAINT_TOOL_TEXT: shape_text_set_rect_callback(tool, paint_main_on_text_rect); break;
      case PAINT_TOOL_COLOR_PICKER: shape_straw_set_picked(tool, paint_main_on_color_picked); break;
      default: break;
    }
  }
}

// Takes down whatever start-up made, in the reverse order; the settings are written only
// after a complete start.
void app_destroy(AppContext* app, bool save_settings) {
  FScreen* screen = app->screen;
  if (screen) {
    fscreen_set_on_paint_background(screen, nullptr);
    fscreen_set_on_pointer_default(screen, nullptr);
    fscreen_set_on_key_default(screen, nullptr);
    fscreen_set_on_screen_changed(screen, nullptr);
  }
  if (app->_textbar && app->seams.textbar_commit) app->seams.textbar_commit(app);
  if (app->_imagebar && app->seams.imagebar_close) app->seams.imagebar_close(app);
  paint_tools_destroy(app->tools);
  app->current_shape = nullptr;
  if (app->file) {
    app->config.save_dir = paint_file_get_folder(app->file);
    paint_file_destroy(app->file);
    app->file = nullptr;
  }
  if (app->history) {
    paint_history_destroy(app->history);
    app->history = nullptr;
  }
  if (app->paint) {
    PaintContext* pc = app->paint;
    app->config.fore_color = paint_context_get_fore_color(pc);
    app->config.back_color = paint_context_get_back_color(pc);
    app->config.pen_size = paint_context_get_pen_size(pc);
    app->config.pen_style = paint_context_get_pen_style(pc);
    app->config.fill_style = paint_context_get_fill_style(pc);
    app->config.font_style = paint_context_get_font_style(pc);
    paint_context_destroy(pc);
    app->paint = nullptr;
  }
  if (app->seams.destroy_controls) app->seams.destroy_controls(app);
  paint_message_wait_close();
  if (g_made_ao_manager) {
    faomngr_shutdown();
    g_made_ao_manager = false;
  }
  if (save_settings) paint_config_save(&app->config);
  for (int32_t& id : app->resource_ids) {
    if (id) fres_unload(id);
    id = 0;
  }
  fplatform_set_quit_hook(nullptr);
  delete app;
}

}  // namespace

// ---- Start-up and shut-down ----------------------------------------------------------

int paint_main_start() {
  FScreen* screen = fscreen_get();
  if (!screen || g_app) {
    std::fprintf(stderr, "penlark: %s\n", screen ? "already started" : "no screen to start on");
    return 0;
  }
  AppContext* app = new (std::nothrow) AppContext{};
  if (!app) {
    std::fprintf(stderr, "penlark: not enough memory to start\n");
    return 0;
  }
  fplatform_set_quit_hook(paint_main_on_quit);
  app->screen = screen;
  app->active_handle = -1;
  const int32_t screen_width = fscreen_get_width(screen);
  const int32_t screen_height = fscreen_get_height(screen);
  const bool low = paint_config_is_low_res(screen_width, screen_height);

  // The handheld renamed large artwork into place on its first high-resolution run; here
  // the build and the installer lay out resvga and resqvga as they are used, and the
  // resource folder may not even be writable, so both folders are read as they are.
  const std::string root = resource_root();
  const std::string folder = root + (low ? "/resqvga" : "/resvga");
  if (!load_required_resource(app, 0, folder + "/penlrk.fres") ||
      !load_required_resource(app, 1, root + "/gui.fmbm")) {
    app_destroy(app, false);
    return 0;
  }
  // The toolkit's texts have built-in English defaults; its artwork has none.
  load_optional_resource(app, 2, root + "/gui.fres");

  paint_config_defaults(&app->config, screen_width, screen_height, fsys_documents_dir());
  const std::string& my_paints = app->config.my_paints_dir;
  if (!fsys_make_dir(my_paints.c_str())) {
    report_start_failure("cannot create the paintings folder", my_paints, std::strerror(errno));
    app_destroy(app, false);
    return 0;
  }
  app->cache_dir = fsys_cache_dir();
  app->temp_dir = fsys_temp_dir();
  paint_config_load(&app->config);

  app->user_lang_id = fsys_language_id();
  app->language_index = fsys_language_code();
  app->language = paint_main_language_for(app->user_lang_id);
  load_optional_resource(app, 3, root + "/gui_" + app->language + ".fres");
  load_optional_resource(app, 4, root + "/" + app->language + ".lang");

  g_made_ao_manager = !faomngr_exists() && faomngr_init();
  const PaintConfig& config = app->config;
  app->paint = paint_context_create(screen, config.new_width, config.new_height, config.fore_color,
                                    config.back_color, config.new_color, config.pen_size,
                                    config.pen_style, config.fill_style, config.font_style);
  if (!app->paint) {
    // A settings file may ask for a size no painting can have; the screen's size can, and
    // becomes the size of new paintings too.
    app->paint = paint_context_create(screen, screen_width, screen_height, config.fore_color,
                                      config.back_color, config.new_color, config.pen_size,
                                      config.pen_style, config.fill_style, config.font_style);
    app->config.new_width = screen_width;
    app->config.new_height = screen_height;
  }
  if (app->paint) {
    paint_context_fill_base(app->paint);
    app->history = paint_history_create(app->paint, app->cache_dir.c_str());
  }
  if (app->history) {
    app->history->replay_text = shape_text_replay;
    app->file = paint_file_create(app->paint, app->history, config.save_dir.c_str());
  }
  if (!app->file) {
    std::fprintf(stderr, "penlark: not enough memory for the painting\n");
    app_destroy(app, false);
    return 0;
  }
  app->file->on_notice = on_file_notice;
  app->file->notice_data = app;

  {
    PaintSuspension suspended(screen);
    if (!paint_tools_create(app->paint, app->history, app, app->tools)) {
      std::fprintf(stderr, "penlark: not enough memory for the tools\n");
      app_destroy(app, false);
      return 0;
    }
    connect_tools(app);
    app->current_shape = app->tools[0];
    g_app = app;
    fscreen_set_on_paint_background(screen, paint_main_on_paint);
    fscreen_set_on_pointer_default(screen, paint_main_on_pen);
    fscreen_set_on_key_default(screen, paint_main_on_key);
    fscreen_set_on_screen_changed(screen, paint_main_on_rotate);
  }
  repaint_all(app);
  if (!g_start_file.empty()) paint_main_open_path(app, g_start_file.c_str());
  return 1;
}

void paint_main_stop() {
  AppContext* app = g_app;
  if (!app) return;
  g_app = nullptr;
  app_destroy(app, true);
}

int paint_main(int, char**) {
  if (!paint_main_start()) return 1;
  fplatform_main_loop();
  paint_main_stop();
  return 0;
}

AppContext* paint_main_app() { return g_app; }

void paint_main_set_resource_dir(const char* folder) { g_resource_dir = folder ? folder : ""; }

void paint_main_set_start_file(const char* path) { g_start_file = path ? path : ""; }

const char* paint_main_language_for(uint16_t lang_id) {
  const uint16_t primary = lang_id & 0x3FF;
  if (lang_id == 0x0419 || lang_id == 0x0423 || primary == 0x19 || primary == 0x23) return "ru_ru";
  if (lang_id == 0x0804 || primary == 0x04) return "zh_cn";
  return "en_us";
}

// ---- Platform hooks --------------------------------------------------------------

const char16_t* paint_main_title() { return PAINT_STR_QUESTION_TITLE.text; }

void paint_main_on_activate() {
  if (g_app && g_app->paint) paint_context_repaint(g_app->paint, nullptr, 1);
}

void paint_main_on_open_file(const char* path) {
  if (g_app && path) paint_main_open_path(g_app, path);
}

// ---- Screen handlers ----------------------------------------------------------------

void paint_main_on_paint(FScreen* screen, const FRect* rect) {
  AppContext* app = g_app;
  FCanvas* canvas = fscreen_get_canvas(screen);
  PaintContext* pc = app ? app->paint : nullptr;
  if (!pc || !paint_context_is_partial_repaint(pc)) {
    fbitmap_fill_rect(fscreen_get_bitmap(screen), rect->left, rect->top, rect->right, rect->bottom,
                      kDarkGrey);
  }
  if (!pc) return;
  const FBitmap* painting = paint_context_get_painting(pc);
  if (painting) {
    const FRect area = frect_intersect(*rect, painting_screen_rect(app));
    if (!frect_is_empty(area)) {
      cairo_flush_painting(pc);
      const FPoint view = paint_context_get_view(pc);
      fcanvas_draw_bitmap_keyed(canvas, FPoint{area.left, area.top}, painting,
                                frect_offset(area, -view.x, -view.y), FCOLOR_KEY_NONE, 255);
    }
  }
  if (app->resize_mode) draw_resize_overlay(app, canvas);
}

int paint_main_on_pen(int32_t type, int32_t x, int32_t y, uint32_t modifiers) {
  AppContext* app = g_app;
  if (!app || !app->paint) return 0;
  if (app->resize_mode && resize_on_pen(app, type, x, y)) return 1;
  if (type != FPOINTER_DOWN && type != FPOINTER_UP && type != FPOINTER_MOVE) return 0;
  if (app->_textbar) {
    if (app->seams.textbar_commit) app->seams.textbar_commit(app);
    repaint_all(app);
    return 1;
  }
  if (app->_imagebar) {
    if (app->seams.imagebar_commit) app->seams.imagebar_commit(app);
    if (app->thumbnail && app->seams.thumbnail_refresh) app->seams.thumbnail_refresh(app);
    repaint_all(app);
    return 1;
  }
  Shape* shape = app->current_shape;
  if (!shape) return 0;
  if (app->config.tb_auto_hide && type == FPOINTER_DOWN && shape_get_id(shape) != PAINT_TOOL_PAN &&
      app->toolbar && app->seams.toolbar_hide) {
    app->seams.toolbar_hide(app);
  }
  return shape_on_pen(shape, type, x, y, modifiers);
}

int paint_main_on_key(uint32_t code, int32_t, uint32_t modifiers) {
  AppContext* app = g_app;
  if (!app || !app->paint) return 0;
  constexpr uint32_t kCtrlY = 'y' - 'a' + 1, kCtrlZ = 'z' - 'a' + 1;
  const bool ctrl = (modifiers & FMOD_CTRL) != 0;
  switch (code) {
    case 'q':
    case 'Q': fplatform_quit(0); return 1;
    case 'b':
    case 'B': paint_main_undo(app); return 1;
    case 'f':
    case 'F': paint_main_redo(app); return 1;
    case kCtrlZ:
      if (!ctrl) return 0;
      if (modifiers & FMOD_SHIFT) {
        paint_main_redo(app);
      } else {
        paint_main_undo(app);
      }
      return 1;
    case kCtrlY:
      if (!ctrl) return 0;
      paint_main_redo(app);
      return 1;
    default: return 0;
  }
}

void paint_main_on_rotate(const FRect*) {
  AppContext* app = g_app;
  if (!app || !app->paint) return;
  paint_context_resize_screen_backup(app->paint);
  if (app->thumbnail) {
    if (app->seams.thumbnail_place) app->seams.thumbnail_place(app);
    if (app->seams.thumbnail_refresh) app->seams.thumbnail_refresh(app);
  }
  if (app->color_panel && app->seams.color_panel_place) app->seams.color_panel_place(app);
  if (app->scale_bar && app->seams.zoom_bar_layout) app->seams.zoom_bar_layout(app);
}

// With no question box installed the question answers no: the exit goes on without
// saving, as it would after the user's "no".
int paint_main_on_quit(int) {
  if (g_app) ask_save_changes(g_app);
  return 1;
}

// ---- Canvas-resize mode ------------------------------------------------------------

void paint_main_set_resize_mode(AppContext* app, int on) {
  FCHECK(app != nullptr, "app!=null");
  app->resize_mode = on ? 1 : 0;
  app->active_handle = -1;
  app->resize_rect = painting_screen_rect(app);
  paint_main_compute_handles(app, &app->resize_rect);
  repaint_all(app);
}

void paint_main_compute_handles(AppContext* app, const FRect* rect) {
  FCHECK(app != nullptr, "app!=null");
  const int32_t l = rect->left, t = rect->top, r = rect->right, b = rect->bottom;
  const int32_t mx = static_cast<int32_t>(l + (int64_t{r} - l + 1) / 2);
  const int32_t my = static_cast<int32_t>(t + (int64_t{b} - t + 1) / 2);
  const FPoint points[PAINT_MAIN_HANDLE_COUNT] = {{l, t}, {mx, t}, {r, t}, {r, my},
                                                  {r, b}, {mx, b}, {l, b}, {l, my}};
  const int32_t d = is_low_res(app) ? PAINT_MAIN_HANDLE_REACH / 2 : PAINT_MAIN_HANDLE_REACH;
  for (int32_t i = 0; i < PAINT_MAIN_HANDLE_COUNT; ++i) {
    app->handle_points[i] = points[i];
    app->handle_boxes[i] =
        FRect{points[i].x - d, points[i].y - d, points[i].x + d, points[i].y + d};
  }
}

// ---- Tools ---------------------------------------------------------------------------

int paint_main_select_tool(AppContext* app, uint32_t id) {
  FCHECK(app != nullptr, "app!=null");
  Shape* shape = nullptr;
  for (Shape* tool : app->tools) {
    if (tool && shape_get_id(tool) == id) shape = tool;
  }
  if (!shape) return 0;
  if (shape != app->current_shape) {
    if (app->current_shape)
      app->previous_shape_id = static_cast<int32_t>(shape_get_id(app->current_shape));
    app->current_shape = shape;
  }
  if (app->toolbar && app->seams.toolbar_select) app->seams.toolbar_select(app, id);
  return 1;
}

void paint_main_on_color_picked(Shape* shape, uint32_t color) {
  FCHECK(shape != nullptr, "shape!=null");
  AppContext* app = static_cast<AppContext*>(shape->owner);
  if (!app || !app->paint) return;
  const FColor fore = paint_context_get_fore_color(app->paint);
  paint_context_set_fore_color(
      app->paint, fcolor_make(static_cast<uint8_t>(color), static_cast<uint8_t>(color >> 8),
                              static_cast<uint8_t>(color >> 16), fcolor_alpha(fore)));
  if (app->color_panel && app->seams.color_panel_redraw) app->seams.color_panel_redraw(app);
  if (app->previous_shape_id >= 1)
    paint_main_select_tool(app, static_cast<uint32_t>(app->previous_shape_id));
}

void paint_main_on_hand_moved(Shape* shape) {
  FCHECK(shape != nullptr, "shape!=null");
  AppContext* app = static_cast<AppContext*>(shape->owner);
  if (!app || !app->paint || !app->resize_mode) return;
  app->resize_rect = painting_screen_rect(app);
  paint_main_compute_handles(app, &app->resize_rect);
}

void paint_main_on_text_rect(Shape* shape, const FRect* rect) {
  FCHECK(shape != nullptr, "shape!=null");
  AppContext* app = static_cast<AppContext*>(shape->owner);
  if (!app || !app->paint || !rect) return;
  FCHECK(app->_textbar == nullptr, "app_context->_textbar==null");
  const FPoint view = paint_context_get_view(app->paint);
  const FRect on_screen = frect_offset(*rect, view.x, view.y);
  if (app->seams.textbar_open) app->seams.textbar_open(app, &on_screen);
}

// ---- Document commands ---------------------------------------------------------------

namespace {

// A curve whose handles are still shown is committed before any command that replays,
// replaces or saves the history: a replay would otherwise load older curves into the tool
// being edited and draw its handles into the painting.
void finish_edits(AppContext* app) {
  if (!app->paint) return;
  if (Shape* curve = paint_context_find_shape(app->paint, PAINT_TOOL_CURVE)) {
    shape_curve_finish(curve);
  }
}

}  // namespace

int paint_main_new_empty(AppContext* app) {
  FCHECK(app != nullptr, "app!=null");
  finish_edits(app);
  const PaintConfig& config = app->config;
  const int ok =
      paint_context_new_blank(app->paint, config.new_width, config.new_height, config.new_color);
  if (ok) {
    paint_history_reset(app->history);
    paint_file_set_name(app->file, u"");
    paint_file_set_path(app->file, "");
  }
  rebuild_painting(app);
  paint_history_set_modified(app->history, 0);
  if (!ok) paint_message_error(fres_text(PAINT_STR_NO_MEMORY_FOR_NEW_EMPTY_PAINT));
  finish_document_change(app);
  return ok;
}

int paint_main_new_from_picture(AppContext* app, const FBitmap* picture) {
  FCHECK(app != nullptr, "app!=null");
  finish_edits(app);
  FCHECK(picture != nullptr, "bitmap!=null");
  const int ok = paint_context_load_picture(app->paint, picture);
  if (ok) {
    paint_history_reset(app->history);
    paint_file_set_name(app->file, u"");
    paint_file_set_path(app->file, "");
  }
  rebuild_painting(app);
  paint_history_set_modified(app->history, 0);
  paint_message_wait_close();
  if (!ok) paint_message_error(fres_text(PAINT_STR_NO_MEMORY_FOR_NEW_PAINT));
  finish_document_change(app);
  return ok;
}

FBitmap* paint_main_read_picture(const char* path) {
  if (!path) return nullptr;
  const char* extension = extension_of(path);
  FBitmap* color = nullptr;
  if (strcasecmp(extension, "bmp") == 0) {
    color = new (std::nothrow) FBitmap{};
    if (color && !fbitmap_load_bmp(color, path)) {
      fbitmap_destroy(color);
      color = nullptr;
    }
  } else if (strcasecmp(extension, "png") == 0) {
    // The painting is opaque: a picture's transparency has no place in it.
    FBitmap* alpha = nullptr;
    if (pngimage_read(&color, &alpha, path) && alpha) fbitmap_destroy(alpha);
  } else if (strcasecmp(extension, "jpg") == 0 || strcasecmp(extension, "jpeg") == 0) {
    jpegimage_read(&color, path);
  } else if (strcasecmp(extension, "gif") == 0) {
    gifimage_read(&color, path);
  }
  return color;
}

int paint_main_open_document(AppContext* app, const char* path) {
  FCHECK(app != nullptr, "app!=null");
  finish_edits(app);
  ask_save_changes(app);
  const int result = paint_file_open(app->file, path);
  // Below 0 the open document was left as it was; 0 opened the steps read before damage.
  if (result < 0) return 0;
  PaintContext* pc = app->paint;
  const double fit = std::min(
      static_cast<double>(fscreen_get_width(app->screen)) / paint_context_get_base_width(pc),
      static_cast<double>(fscreen_get_height(app->screen)) / paint_context_get_base_height(pc));
  bool reduced = false;
  if (fit < 1.0) reduced = paint_context_set_zoom(pc, fit) == 1;
  rebuild_painting(app);
  // A damaged document stays modified, so that leaving offers to save what was recovered.
  if (result == PAINT_FILE_DONE) paint_history_set_modified(app->history, 0);
  centre_view(app);
  if (reduced && !app->scale_bar && app->seams.zoom_bar_open) app->seams.zoom_bar_open(app);
  paint_message_wait_close();
  finish_document_change(app);
  return 1;
}

int paint_main_open_path(AppContext* app, const char* path) {
  FCHECK(app != nullptr, "app!=null");
  if (!path) return 0;
  if (strcasecmp(extension_of(path), "plk") == 0) return paint_main_open_document(app, path);
  ask_save_changes(app);
  paint_message_wait(fres_text(PAINT_STR_LOADING_PICTURE));
  FBitmap* picture = paint_main_read_picture(path);
  if (!picture) {
    paint_message_wait_close();
    const std::u16string text =
        format_text(fres_text(PAINT_STR_CANNOT_OPEN_FILE), utf16_from_utf8(path));
    paint_message_error(text.c_str());
    return 0;
  }
  const int ok = paint_main_new_from_picture(app, picture);
  fbitmap_destroy(picture);
  return ok;
}

int paint_main_zoom(AppContext* app, double zoom, int centre) {
  FCHECK(app != nullptr, "app!=null");
  finish_edits(app);
  PaintContext* pc = app->paint;
  const FRect before = painting_screen_rect(app);
  const int result = paint_context_set_zoom(pc, zoom);
  if (result == 0) {
    paint_message_error(fres_text(PAINT_STR_FAIL_TO_COMPLETE_TASK));
    return 0;
  }
  // A new zoom changes no step: the document stays as modified as it was.
  const int modified = paint_history_is_modified(app->history);
  rebuild_painting(app);
  paint_history_set_modified(app->history, static_cast<uint8_t>(modified));
  if (centre) {
    centre_view(app);
  } else {
    const FRect after = painting_screen_rect(app);
    paint_context_set_view(pc, before.left + frect_width(before) / 2 - frect_width(after) / 2,
                           before.top + frect_height(before) / 2 - frect_height(after) / 2);
  }
  if (result == -1) paint_message_error(fres_text(PAINT_STR_NO_MEMORY_FOR_TASK));
  finish_document_change(app);
  return result;
}

void paint_main_clear(AppContext* app) {
  FCHECK(app != nullptr, "app!=null");
  finish_edits(app);
  if (app->_textbar && app->seams.textbar_commit) app->seams.textbar_commit(app);
  paint_context_fill_base(app->paint);
  paint_history_add(app->history, PAINT_STEP_CLEAR, nullptr, 0);
  finish_document_change(app);
}

namespace {

// The first of "Untitled.plk", "Untitled 2.plk", ... that does not exist in My Paints.
std::string untitled_path(AppContext* app) {
  const std::string folder = app->config.my_paints_dir;
  if (folder.empty() || !fsys_make_dir(folder.c_str())) return std::string();
  const std::string stem = folder + "/" + utf8_from_utf16(fres_text(PAINT_STR_UNTITLED));
  for (int n = 1; n < 10000; ++n) {
    std::string path = n == 1 ? stem + ".plk" : stem + " " + std::to_string(n) + ".plk";
    if (!fsys_file_exists(path.c_str())) return path;
  }
  return std::string();
}

}  // namespace

int paint_main_save(AppContext* app) {
  FCHECK(app != nullptr, "app!=null");
  finish_edits(app);
  paint_file_set_open_after_save(app->file);
  int result = paint_file_save(app->file);
  if (result == PAINT_FILE_NEEDS_NAME) {
    if (app->seams.save_as) return app->seams.save_as(app);
    // No save-as dialog yet: an unnamed painting is kept in My Paints under the first
    // free "Untitled" name rather than lost.
    paint_file_clear_open_after_save(app->file);
    const std::string path = untitled_path(app);
    if (path.empty()) return 0;
    paint_file_set_path(app->file, path.c_str());
    const size_t slash = path.rfind('/');
    const std::string name = path.substr(slash + 1, path.size() - slash - 1 - 4);  // no ".plk"
    paint_file_set_name(app->file, utf16_from_utf8(name.c_str()).c_str());
    result = paint_file_save(app->file);
    if (result == 1) std::fprintf(stderr, "penlark: saved %s\n", path.c_str());
  }
  return result;
}

int paint_main_send(AppContext* app) {
  FCHECK(app != nullptr, "app!=null");
  finish_edits(app);
  paint_file_clear_open_after_save(app->file);
  fsys_make_dir(app->temp_dir.c_str());
  const std::string path = app->temp_dir + "/" + kAttachmentName;
  if (fsys_file_exists(path.c_str())) fsys_delete_file(path.c_str());
  paint_message_wait(fres_text(PAINT_STR_SAVING_TEMPORARY_FILE));
  FBitmap* painting = paint_context_get_painting(app->paint);
  int sent = 0;
  if (painting) {
    cairo_flush_painting(app->paint);
    if (jpegimage_write(painting, path.c_str(), kSendQuality) && fsys_file_exists(path.c_str())) {
      // A path that starts with '-' would reach the mail program as an option.
      const std::string argument = path[0] == '-' ? "./" + path : path;
      const char* argv[] = {"xdg-email", "--attach", argument.c_str(), nullptr};
      sent = fsys_spawn(argv);
    }
  }
  paint_message_wait_close();
  if (!sent) paint_message_error(fres_text(PAINT_STR_CANNOT_SEND));
  return sent;
}

int paint_main_undo(AppContext* app) {
  FCHECK(app != nullptr, "app!=null");
  finish_edits(app);
  if (!paint_history_can_undo(app->history)) return 0;
  {
    PaintSuspension suspended(app->screen);
    paint_history_undo(app->history);
  }
  finish_document_change(app);
  return 1;
}

int paint_main_redo(AppContext* app) {
  FCHECK(app != nullptr, "app!=null");
  finish_edits(app);
  if (!paint_history_can_redo(app->history)) return 0;
  {
    PaintSuspension suspended(app->screen);
    paint_history_redo(app->history);
  }
  finish_document_change(app);
  return 1;
}

// ---- Message helpers ---------------------------------------------------------------

namespace {

// Until the dialog toolkit installs its boxes, the desktop's own message boxes stand in
// (or stderr when there is no window).
void write_box(FString title, const char16_t* text, int is_error) {
  wins_window_show_message(utf8_from_utf16(fres_text(title)).c_str(),
                           utf8_from_utf16(text).c_str(), is_error);
}

// An error or stop box: the installed one, else the desktop's. A wait box closes first.
void show_alert(void (*hook)(const char16_t*), FString title, const char16_t* text) {
  paint_message_wait_close();
  if (hook) {
    hook(text);
  } else {
    write_box(title, text, 1);
  }
}

}  // namespace

void paint_message_set_hooks(const PaintMessageHooks* hooks) {
  g_messages = hooks ? *hooks : PaintMessageHooks{};
}

void paint_message_error(const char16_t* text) {
  show_alert(g_messages.error, PAINT_STR_ERROR_TITLE, text);
}

void paint_message_stop(const char16_t* text) {
  show_alert(g_messages.stop, PAINT_STR_STOP_TITLE, text);
}

int paint_message_question(const char16_t* text) {
  paint_message_wait_close();
  int answer = 0;
  if (g_messages.question) {
    answer = g_messages.question(text) ? 1 : 0;
  } else {
    // A desktop box; without a window nobody can answer, which counts as no.
    answer = wins_window_ask(utf8_from_utf16(fres_text(PAINT_STR_QUESTION_TITLE)).c_str(),
                             utf8_from_utf16(text).c_str(),
                             utf8_from_utf16(fres_text(FGUI_STR_YES)).c_str(),
                             utf8_from_utf16(fres_text(FGUI_STR_NO)).c_str()) == 1;
  }
  if (g_app) g_app->answer = static_cast<uint8_t>(answer);
  return answer;
}

void paint_message_note(const char16_t* text) {
  if (g_messages.note) g_messages.note(text);
}

void paint_message_wait(const char16_t* text) {
  if (g_messages.wait) g_messages.wait(text);
}

void paint_message_wait_close() {
  if (g_messages.wait_close) g_messages.wait_close();
}
