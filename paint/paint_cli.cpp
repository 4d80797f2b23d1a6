// The command line. The window mode hands over to the port's entry with the
// application's hooks; the headless modes build a paint context without a screen (owner
// null, the screen size given), open FILE into it exactly as the program would (a
// document with its whole history replayed, or a picture as the base) and write or
// describe the result. They never touch the settings or the recent folders.
//
//   paint_cli_run -> parse -> help | version | window (wins_window_entry -> paint_main)
//                          | export: open -> replay -> paint_file_export / jpegimage_write
//                          | thumbnail: stored thumbnail or picture -> scale -> PNG
//                          | info: open -> JSON

#include "paint_cli.h"

#include <cairo.h>
#include <strings.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "fbitmap.h"
#include "fsys.h"
#include "jpegimage.h"
#include "paint_context.h"
#include "paint_file.h"
#include "paint_history.h"
#include "paint_main.h"
#include "paint_strings.h"
#include "paint_tools.h"
#include "pngimage.h"
#include "shape_text.h"
#include "wins_window.h"

namespace {

const char kUsage[] =
    "Usage: penlark [OPTIONS] [FILE]\n"
    "\n"
    "Penlark, a paint program for touch and stylus screens. The window shows the\n"
    "handheld's screen; FILE, a Penlark document (.plk) or a BMP, PNG, JPEG or GIF\n"
    "picture, is opened in it. A second start brings the running one to the front and\n"
    "hands it FILE.\n"
    "\n"
    "  --screen=WxH           display size in pixels (default 480x640)\n"
    "  --version              the version\n"
    "  --help                 this text\n"
    "\n"
    "Without a window:\n"
    "  --export=OUT FILE      write FILE (a document replayed, or a picture) as OUT;\n"
    "                         OUT's extension picks the format: .plk, .png, .jpg,\n"
    "                         .jpeg, .gif or .bmp\n"
    "  --jpeg-quality=N       JPEG quality 0..100 for --export (default 75)\n"
    "  --bmp=24|256|grey      BMP kind for --export: true colour, 256 colours or grey\n"
    "                         (default 24)\n"
    "  --thumbnail=OUT.png FILE\n"
    "                         write the document's thumbnail, or the picture, as PNG\n"
    "  --size=N               the thumbnail fits inside N x N pixels (default 128)\n"
    "  --info FILE            describe FILE as one JSON object on standard output:\n"
    "                         width, height, canvas (\"#rrggbb\"), picture, steps,\n"
    "                         current, types (steps per step type)\n"
    "\n"
    "Exit status: 0 done, 1 a file could not be read or written, 2 wrong usage.\n"
    "Outputs are written beside OUT and renamed over it only when complete.\n"
    "\n"
    "Keys on the painting:\n"
    "  q              quit\n"
    "  b, Ctrl+Z      undo\n"
    "  f, Ctrl+Y, Ctrl+Shift+Z\n"
    "                 redo\n"
    "\n"
    "Keys of the handheld and its emulator:\n"
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

enum class Mode { window, export_file, thumbnail, info };

// What OUT's extension asks --export to write.
enum class OutputKind { unknown, native, png, jpeg, gif, bmp };

struct CliOptions {
  Mode mode = Mode::window;
  int modes = 0;  // headless options given
  bool help = false;
  bool version = false;
  std::string output;
  int jpeg_quality = PAINT_CLI_DEFAULT_JPEG_QUALITY;
  bool jpeg_quality_given = false;
  int32_t bmp_type = PAINT_FILE_TYPE_BMP_TRUE_COLOR;
  bool bmp_given = false;
  int size = PAINT_CLI_DEFAULT_THUMBNAIL_SIZE;
  bool size_given = false;
  int32_t screen_width = PAINT_CLI_DEFAULT_SCREEN_WIDTH;
  int32_t screen_height = PAINT_CLI_DEFAULT_SCREEN_HEIGHT;
  bool screen_given = false;
  std::vector<const char*> files;
};

const char* extension_of(const char* path) {
  const char* name = std::strrchr(path, '/');
  name = name ? name + 1 : path;
  const char* dot = std::strrchr(name, '.');
  return dot ? dot + 1 : "";
}

bool has_extension(const char* path, const char* extension) {
  return strcasecmp(extension_of(path), extension) == 0;
}

OutputKind output_kind(const char* path) {
  if (has_extension(path, "plk")) return OutputKind::native;
  if (has_extension(path, "png")) return OutputKind::png;
  if (has_extension(path, "jpg") || has_extension(path, "jpeg")) return OutputKind::jpeg;
  if (has_extension(path, "gif")) return OutputKind::gif;
  if (has_extension(path, "bmp")) return OutputKind::bmp;
  return OutputKind::unknown;
}

bool is_picture_name(const char* path) {
  return has_extension(path, "bmp") || has_extension(path, "png") || has_extension(path, "jpg") ||
         has_extension(path, "jpeg") || has_extension(path, "gif");
}

// A whole decimal number in [low, high]; false for anything else.
bool parse_number(const char* text, int low, int high, int* out) {
  if (!text || *text < '0' || *text > '9') return false;
  long value = 0;
  for (const char* p = text; *p; ++p) {
    if (*p < '0' || *p > '9') return false;
    value = value * 10 + (*p - '0');
    if (value > high) return false;
  }
  if (value < low) return false;
  *out = static_cast<int>(value);
  return true;
}

// The value of "--name=value", or null when `arg` is not that option.
const char* option_value(const char* arg, const char* name) {
  size_t length = std::strlen(name);
  if (std::strncmp(arg, name, length) != 0 || arg[length] != '=') return nullptr;
  return arg + length + 1;
}

int usage_error(std::FILE* err, const std::string& reason) {
  std::fprintf(err, "penlark: %s (see --help)\n", reason.c_str());
  return PAINT_CLI_USAGE;
}

// Reads the command line into `options`; PAINT_CLI_OK or the usage status after the
// message.
int parse(int argc, char** argv, CliOptions* options, std::FILE* err) {
  bool only_files = false;
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (only_files || arg[0] != '-' || arg[1] == '\0') {
      options->files.push_back(arg);
      continue;
    }
    const char* value = nullptr;
    if (std::strcmp(arg, "--") == 0) {
      only_files = true;
    } else if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
      options->help = true;
    } else if (std::strcmp(arg, "--version") == 0) {
      options->version = true;
    } else if (std::strcmp(arg, "--info") == 0) {
      options->mode = Mode::info;
      ++options->modes;
    } else if ((value = option_value(arg, "--export")) != nullptr) {
      if (!*value) return usage_error(err, "--export wants an output file");
      options->mode = Mode::export_file;
      options->output = value;
      ++options->modes;
    } else if ((value = option_value(arg, "--thumbnail")) != nullptr) {
      if (!*value) return usage_error(err, "--thumbnail wants an output file");
      options->mode = Mode::thumbnail;
      options->output = value;
      ++options->modes;
    } else if ((value = option_value(arg, "--jpeg-quality")) != nullptr) {
      if (!parse_number(value, 0, 100, &options->jpeg_quality)) {
        return usage_error(err, "--jpeg-quality wants a whole number from 0 to 100, not \"" +
                                    std::string(value) + "\"");
      }
      options->jpeg_quality_given = true;
    } else if ((value = option_value(arg, "--bmp")) != nullptr) {
      if (std::strcmp(value, "24") == 0) {
        options->bmp_type = PAINT_FILE_TYPE_BMP_TRUE_COLOR;
      } else if (std::strcmp(value, "256") == 0) {
        options->bmp_type = PAINT_FILE_TYPE_BMP_256_COLORS;
      } else if (std::strcmp(value, "grey") == 0 || std::strcmp(value, "gray") == 0) {
        options->bmp_type = PAINT_FILE_TYPE_BMP_GRAY;
      } else {
        return usage_error(err, "--bmp wants 24, 256 or grey, not \"" + std::string(value) + "\"");
      }
      options->bmp_given = true;
    } else if ((value = option_value(arg, "--size")) != nullptr) {
      if (!parse_number(value, 1, PAINT_CLI_MAX_THUMBNAIL_SIZE, &options->size)) {
        return usage_error(err, "--size wants a whole number from 1 to " +
                                    std::to_string(PAINT_CLI_MAX_THUMBNAIL_SIZE) + ", not \"" +
                                    std::string(value) + "\"");
      }
      options->size_given = true;
    } else if ((value = option_value(arg, "--screen")) != nullptr) {
      if (!wins_window_parse_size(value, &options->screen_width, &options->screen_height)) {
        return usage_error(
            err, "--screen wants WxH, each 16 to 8192, not \"" + std::string(value) + "\"");
      }
      options->screen_given = true;
    } else {
      return usage_error(err, "unknown option " + std::string(arg));
    }
  }
  if (options->help || options->version) return PAINT_CLI_OK;
  if (options->modes > 1) return usage_error(err, "choose one of --export, --thumbnail and --info");
  const bool exporting = options->mode == Mode::export_file;
  if ((options->jpeg_quality_given || options->bmp_given) && !exporting) {
    return usage_error(err, "--jpeg-quality and --bmp go with --export");
  }
  if (options->size_given && options->mode != Mode::thumbnail) {
    return usage_error(err, "--size goes with --thumbnail");
  }
  if (options->mode == Mode::window) {
    if (options->files.size() > 1) return usage_error(err, "one FILE at most");
    return PAINT_CLI_OK;
  }
  if (options->files.size() != 1) return usage_error(err, "exactly one FILE is needed");
  const char* out = options->output.c_str();
  if (exporting) {
    OutputKind kind = output_kind(out);
    if (kind == OutputKind::unknown) {
      return usage_error(err, "cannot tell the format of \"" + options->output +
                                  "\": use .plk, .png, .jpg, .jpeg, .gif or .bmp");
    }
    if (options->jpeg_quality_given && kind != OutputKind::jpeg) {
      return usage_error(err, "--jpeg-quality goes with a .jpg or .jpeg output");
    }
    if (options->bmp_given && kind != OutputKind::bmp) {
      return usage_error(err, "--bmp goes with a .bmp output");
    }
  }
  if (options->mode == Mode::thumbnail && !has_extension(out, "png")) {
    return usage_error(err, "--thumbnail writes PNG: the output must end in .png");
  }
  return PAINT_CLI_OK;
}

// ---- Messages -------------------------------------------------------------------------

std::string utf8_from_utf16(const std::u16string& text) {
  std::string out(text.size() * 3 + 1, '\0');
  int32_t n = fsys_utf8_from_utf16(text.c_str(), out.data(), out.size());
  out.resize(n < 0 ? std::strlen(out.c_str()) : static_cast<size_t>(n));
  // Message texts may hold line breaks; a terminal line keeps them as spaces.
  for (char& c : out) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  return out;
}

// "Fail to save file (code: %d)." for a writer that reported only its code.
std::u16string save_failure_text(int32_t code) {
  std::u16string text = fres_text(PAINT_STR_FAIL_TO_SAVE);
  size_t at = text.find(u"%d");
  if (at != std::u16string::npos) {
    std::string number = std::to_string(code);
    text.replace(at, 2, std::u16string(number.begin(), number.end()));
  }
  return text;
}

int read_failure(std::FILE* err, const char* path, const std::string& reason) {
  std::fprintf(err, "penlark: cannot read %s: %s\n", path, reason.c_str());
  return PAINT_CLI_FAILED;
}

int write_failure(std::FILE* err, const std::string& path, const std::u16string& reason) {
  std::fprintf(err, "penlark: cannot write %s: %s\n", path.c_str(),
               utf8_from_utf16(reason).c_str());
  return PAINT_CLI_FAILED;
}

// An existing readable file of a known kind; else the message and false.
bool check_input(const char* path, std::FILE* err) {
  if (fsys_dir_exists(path)) {
    read_failure(err, path, "it is a folder");
    return false;
  }
  std::FILE* file = std::fopen(path, "rb");
  if (!file) {
    read_failure(err, path, std::strerror(errno));
    return false;
  }
  std::fclose(file);
  if (!has_extension(path, "plk") && !is_picture_name(path)) {
    read_failure(err, path, "not a Penlark document (.plk) or a BMP, PNG, JPEG or GIF picture");
    return false;
  }
  return true;
}

// ---- The headless document --------------------------------------------------------------

struct HeadlessDocument {
  PaintContext* pc = nullptr;      // owned
  PaintHistory* history = nullptr; // owned
  PaintFile* file = nullptr;       // owned
  Shape* tools[PAINT_TOOL_COUNT] = {};  // owned
  std::u16string error;            // the document file's last error text

  HeadlessDocument() = default;
  HeadlessDocument(const HeadlessDocument&) = delete;
  HeadlessDocument& operator=(const HeadlessDocument&) = delete;
  ~HeadlessDocument() {
    paint_tools_destroy(tools);
    if (file) {
      // The recent save folders are the window's business.
      paint_file_recent_folders_forget();
      paint_file_destroy(file);
    }
    if (history) paint_history_destroy(history);
    if (pc) paint_context_destroy(pc);
  }
};

void on_headless_notice(PaintFile* file, PaintFileNotice kind, const char16_t* text) {
  if (kind != PaintFileNotice::error || !text) return;
  static_cast<HeadlessDocument*>(file->notice_data)->error = text;
}

// The context, history, document state and tools, with no screen and no checkpoint
// folder (a single replay never needs checkpoints). False when memory is short.
bool headless_create(HeadlessDocument* doc, const CliOptions& options) {
  doc->pc = paint_context_create(nullptr, 1, 1, fcolor_make(0, 0, 0, 255),
                                 fcolor_make(255, 255, 255, 255), fcolor_make(255, 255, 255, 255),
                                 1, 1, 0, 0);
  if (!doc->pc) return false;
  paint_context_set_screen_size(doc->pc, options.screen_width, options.screen_height);
  doc->history = paint_history_create(doc->pc, "");
  if (!doc->history) return false;
  doc->history->replay_text = shape_text_replay;
  doc->file = paint_file_create(doc->pc, doc->history, nullptr);
  if (!doc->file) return false;
  doc->file->on_notice = on_headless_notice;
  doc->file->notice_data = doc;
  doc->file->open_file = nullptr;  // nothing is handed to the desktop
  return paint_tools_create(doc->pc, doc->history, nullptr, doc->tools) == 1;
}

// Opens `path` (checked by check_input) as the program would. A document damaged inside
// its step list counts as unreadable: a partial painting is never written out.
bool headless_open(HeadlessDocument* doc, const char* path, const CliOptions& options,
                   std::FILE* err) {
  if (!headless_create(doc, options)) {
    read_failure(err, path, "not enough memory");
    return false;
  }
  if (has_extension(path, "plk")) {
    int result = paint_file_open(doc->file, path);
    if (result != PAINT_FILE_DONE) {
      read_failure(err, path,
                   doc->error.empty() ? "damaged document" : utf8_from_utf16(doc->error));
      return false;
    }
    return true;
  }
  FBitmap* picture = paint_main_read_picture(path);
  if (!picture) {
    read_failure(err, path, "not a readable " + std::string(extension_of(path)) + " picture");
    return false;
  }
  int loaded = paint_context_load_picture(doc->pc, picture);
  fbitmap_destroy(picture);
  if (!loaded) {
    read_failure(err, path, "not enough memory for the picture");
    return false;
  }
  paint_history_reset(doc->history);
  return true;
}

// ---- The modes -------------------------------------------------------------------------

int run_export(const CliOptions& options, std::FILE* err) {
  const char* path = options.files[0];
  if (!check_input(path, err)) return PAINT_CLI_FAILED;
  HeadlessDocument doc;
  if (!headless_open(&doc, path, options, err)) return PAINT_CLI_FAILED;
  paint_history_rebuild(doc.history);
  FBitmap* painting = paint_context_get_painting(doc.pc);
  if (!painting) return write_failure(err, options.output, save_failure_text(PAINT_FILE_NO_MEMORY));
  const char* out = options.output.c_str();
  int32_t type = PAINT_FILE_TYPE_NATIVE;
  switch (output_kind(out)) {
    case OutputKind::jpeg: {
      // Any quality, where the save-as types offer three: the encoder is called directly.
      cairo_surface_flush(cairo_get_target(paint_context_get_renderer(doc.pc)));
      if (!jpegimage_write(painting, out, options.jpeg_quality)) {
        return write_failure(err, options.output, save_failure_text(PAINT_FILE_JPEG_FAILED));
      }
      return PAINT_CLI_OK;
    }
    case OutputKind::png: type = PAINT_FILE_TYPE_PNG; break;
    case OutputKind::gif: type = PAINT_FILE_TYPE_GIF; break;
    case OutputKind::bmp: type = options.bmp_type; break;
    default: type = PAINT_FILE_TYPE_NATIVE; break;
  }
  int result = paint_file_export(doc.file, type, out);
  if (result != PAINT_FILE_DONE) {
    return write_failure(err, options.output,
                         doc.error.empty() ? save_failure_text(result) : doc.error);
  }
  return PAINT_CLI_OK;
}

int run_thumbnail(const CliOptions& options, std::FILE* err) {
  const char* path = options.files[0];
  if (!check_input(path, err)) return PAINT_CLI_FAILED;
  const bool document = has_extension(path, "plk");
  FBitmap* source = document ? paint_file_read_thumbnail(path) : paint_main_read_picture(path);
  if (!source) {
    return read_failure(err, path,
                        document
                            ? "no readable thumbnail in this document"
                            : "not a readable " + std::string(extension_of(path)) + " picture");
  }
  FBitmap* scaled = fbitmap_scale(source, options.size, options.size, FBitmapScale::keep_ratio,
                                  FBitmapRows::top_down);
  fbitmap_destroy(source);
  // Written as RGB: the fourth byte of a scaled picture is no transparency.
  FBitmap* rgb = scaled ? fbitmap_create(fbitmap_get_width(scaled), -fbitmap_get_height(scaled), 24)
                        : nullptr;
  bool ok = rgb && fbitmap_blit_keyed(
                       rgb, FPoint{0, 0}, scaled,
                       FRect{0, 0, fbitmap_get_width(scaled) - 1, fbitmap_get_height(scaled) - 1},
                       FCOLOR_KEY_NONE, 255);
  if (scaled) fbitmap_destroy(scaled);
  if (!ok) {
    if (rgb) fbitmap_destroy(rgb);
    return write_failure(err, options.output, save_failure_text(PAINT_FILE_NO_MEMORY));
  }
  ok = pngimage_write(rgb, options.output.c_str());
  fbitmap_destroy(rgb);
  if (!ok) return write_failure(err, options.output, save_failure_text(PAINT_FILE_PNG_FAILED));
  return PAINT_CLI_OK;
}

int run_info(const CliOptions& options, std::FILE* out, std::FILE* err) {
  const char* path = options.files[0];
  if (!check_input(path, err)) return PAINT_CLI_FAILED;
  HeadlessDocument doc;
  if (!headless_open(&doc, path, options, err)) return PAINT_CLI_FAILED;
  std::map<int32_t, int32_t> types;
  const int32_t count = paint_history_get_count(doc.history);
  for (int32_t i = 0; i < count; ++i) {
    if (const PaintStep* step = paint_history_get_step(doc.history, i)) ++types[step->type];
  }
  const FColor canvas = paint_context_get_canvas_color(doc.pc);
  std::string json = "{\"width\":" + std::to_string(paint_context_get_base_width(doc.pc)) +
                     ",\"height\":" + std::to_string(paint_context_get_base_height(doc.pc));
  char colour[8];
  std::snprintf(colour, sizeof colour, "#%02x%02x%02x", fcolor_red(canvas), fcolor_green(canvas),
                fcolor_blue(canvas));
  json += ",\"canvas\":\"" + std::string(colour) + "\"";
  json += std::string(",\"picture\":") + (paint_context_get_picture(doc.pc) ? "true" : "false");
  json += ",\"steps\":" + std::to_string(count);
  // An empty history keeps 0 as its index; no step is in effect all the same.
  const int32_t current = std::clamp(paint_history_get_current(doc.history), -1, count - 1);
  json += ",\"current\":" + std::to_string(current);
  json += ",\"types\":{";
  bool first = true;
  for (const auto& [type, n] : types) {
    json += (first ? "\"" : ",\"") + std::to_string(type) + "\":" + std::to_string(n);
    first = false;
  }
  json += "}}\n";
  std::fputs(json.c_str(), out);
  return PAINT_CLI_OK;
}

int run_window(const CliOptions& options, int argc, char** argv, std::FILE* err) {
  const char* file = options.files.empty() ? nullptr : options.files[0];
  // Checked here, so a typing error ends at once instead of opening an empty window.
  if (file && !check_input(file, err)) return PAINT_CLI_FAILED;
  if (options.screen_given)
    wins_window_set_display_size(options.screen_width, options.screen_height);
  paint_main_set_start_file(file);
  static const FAppHooks hooks{paint_main_title, paint_main, paint_main_on_activate, nullptr,
                               paint_main_on_open_file};
  return wins_window_entry(argc, argv, &hooks);
}

}  // namespace

int paint_cli_run(int argc, char** argv, std::FILE* out, std::FILE* err) {
  CliOptions options;
  int status = parse(argc, argv, &options, err);
  if (status != PAINT_CLI_OK) return status;
  if (options.help) {
    std::fputs(kUsage, out);
    return PAINT_CLI_OK;
  }
  if (options.version) {
    std::fprintf(out, "penlark %s\n", PAINT_CLI_VERSION);
    return PAINT_CLI_OK;
  }
  switch (options.mode) {
    case Mode::export_file: return run_export(options, err);
    case Mode::thumbnail: return run_thumbnail(options, err);
    case Mode::info: return run_info(options, out, err);
    case Mode::window: break;
  }
  return run_window(options, argc, argv, err);
}
