// The command line: `penlark [OPTIONS] [FILE]`. Without a headless option the window
// opens (FILE, a ".plk" document or a BMP, PNG, JPEG or GIF picture, is opened in it);
// with --export, --thumbnail or --info the work is done without a window or screen and
// the program ends.
//
//   --export=OUT FILE         FILE replayed and written as OUT, the format by OUT's
//                             extension (.plk, .png, .jpg/.jpeg, .gif, .bmp);
//                             --jpeg-quality=N (0..100, default 75), --bmp=24|256|grey
//   --thumbnail=OUT.png FILE  the document's stored thumbnail, or the picture, scaled to
//                             fit --size=N (default 128), as an RGB PNG
//   --info FILE               one JSON object on standard output, one line:
//     {"width":W,"height":H,"canvas":"#rrggbb","picture":false,"steps":N,"current":C,
//      "types":{"1":2,"1010":1}}
//     width and height are the base's, canvas its colour, picture whether the base is a
//     picture, current the index of the last step in effect (-1: none), types the step
//     count per step type in ascending order. A picture FILE gives its size, "#ffffff",
//     true, 0 steps, -1 and {}.
//
// Every output is written beside its target and renamed over it when complete: a
// failure never leaves a partial OUT, and an old OUT stays as it was.
#pragma once

#include <cstdio>

// Exit statuses.
enum : int {
  PAINT_CLI_OK = 0,
  PAINT_CLI_FAILED = 1,  // a file could not be read or written (reason on err)
  PAINT_CLI_USAGE = 2,   // the command line is wrong (reason on err)
};

constexpr const char* PAINT_CLI_VERSION = "0.1";
constexpr int PAINT_CLI_DEFAULT_JPEG_QUALITY = 75;
constexpr int PAINT_CLI_DEFAULT_THUMBNAIL_SIZE = 128;
constexpr int PAINT_CLI_MAX_THUMBNAIL_SIZE = 4096;
// The screen a headless painting is laid out for when --screen is not given.
constexpr int PAINT_CLI_DEFAULT_SCREEN_WIDTH = 480;
constexpr int PAINT_CLI_DEFAULT_SCREEN_HEIGHT = 640;

// Runs the command line: help and version go to `out`, --info's object too; messages to
// `err`. Without a headless option it runs the window (wins_window_entry with
// paint_main) and returns its exit code.
int paint_cli_run(int argc, char** argv, std::FILE* out, std::FILE* err);
