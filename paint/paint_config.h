// PaintConfig: the user's settings kept between runs in config.xml in the state folder —
// the size and colour of new paintings, the drawing attributes, the folders last used,
// the toolbar's placement and behaviour, and the recent colours. The application context
// embeds one record; start-up sets the defaults and loads the file over them, shut-down
// saves it.
//
//   PaintConfig config{};
//   paint_config_defaults(&config, screen_width, screen_height, fsys_documents_dir());
//   paint_config_load(&config);    // overrides what the file holds; SaveDir checked
//   ...
//   paint_config_save(&config);
#pragma once

#include <cstdint>
#include <string>

#include "fbitmap.h"

constexpr int32_t PAINT_CONFIG_RECENT_COLORS = 8;
constexpr size_t PAINT_CONFIG_PATH_MAX = 260;  // characters a loaded path keeps

// Value-initialise (PaintConfig{}): the paths are std::string, so the record must not be
// zero-filled with memset.
struct PaintConfig {
  int32_t new_width;     // NewWidth, pixels of a new painting
  int32_t new_height;    // NewHeight
  FColor new_color;      // NewColor, canvas colour of a new painting
  FColor fore_color;     // ForeColor
  FColor back_color;     // BackColor
  int32_t pen_size;      // PenSize
  int32_t pen_style;     // PenStyle
  int32_t fill_style;    // FillStyle
  int32_t font_style;    // FontStyle
  int32_t picture_style; // PictureStyle (bit 0: inserted pictures keep their proportions)
  std::string my_paints_dir;  // MyPaintsDir, UTF-8
  std::string open_dir;       // OpenDir, UTF-8
  std::string save_dir;       // SaveDir, UTF-8
  uint8_t tb_translucent;     // TBTranslucent
  uint8_t tb_auto_hide;       // TBAutoHide
  int32_t tb_x1, tb_y1, tb_width1, tb_height1;  // toolbar in portrait
  int32_t tb_x2, tb_y2, tb_width2, tb_height2;  // toolbar in landscape
  int32_t recent_color_num;   // RecentColorNum, 0..8 after loading
  int32_t recent_colors[PAINT_CONFIG_RECENT_COLORS];  // RecentColors, red + green*256 + blue*65536
};

// A screen whose width or height is 240, or which is 320 x 320.
int paint_config_is_low_res(int screen_width, int screen_height);

// The values start-up sets before the file is read. `documents_dir` is the user's
// documents folder (UTF-8); My Paints is "Penlark" inside it.
void paint_config_defaults(PaintConfig* config, int screen_width, int screen_height,
                           const char* documents_dir);

// fsys_state_dir() + "/config.xml".
std::string paint_config_path();

// Reads the settings file and overrides the fields it holds. A file that is missing,
// malformed or whose root is not "Penlark" changes nothing (result 0); an absent element
// leaves its field. paint_config_load also replaces a SaveDir that is not an existing
// folder by MyPaintsDir, whatever the file held.
int paint_config_load(PaintConfig* config);
int paint_config_load_file(PaintConfig* config, const char* path);

// Writes the settings file beside and renames it over the old one, so a failed save
// keeps the previous settings. 1 when written.
int paint_config_save(const PaintConfig* config);
int paint_config_save_file(const PaintConfig* config, const char* path);

// The settings text exactly as it is written.
std::string paint_config_format(const PaintConfig* config);

// Reads "red,green,blue,alpha" over opaque black: each value unsigned decimal, kept in
// its low 8 bits; a missing (empty) value ends the reading and leaves the rest as they
// are, so "10,20" gives red 10, green 20, blue 0, alpha 255.
void paint_config_parse_color(const char* text, FColor* out);
