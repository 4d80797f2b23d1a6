// The settings file: defaults, reading config.xml through the XML reader, and writing it
// back as one element per line under the root "Penlark". Reading is forgiving — numbers
// take their leading digits and clamp, an absent element keeps its value, a broken file
// keeps everything — because a bad settings file must never stop the program. Writing
// goes through the safe-file unit, so a full disk leaves the previous settings in place.
//
// The reader decodes entities but the file once held paths raw, so the writer escapes
// only what it must and in an order the reader's decoding undoes exactly (see
// append_escaped_path); files written raw by older versions read as they always did.

#include "paint_config.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include "fplatform.h"
#include "fsafe_file.h"
#include "fsys.h"
#include "fxml.h"

namespace {

constexpr const char* kRootName = "Penlark";

bool is_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Leading white space, an optional sign and the leading digits as a 32-bit integer.
// Anything unreadable gives 0; values beyond the range clamp to its ends.
int32_t parse_int(const char* text) {
  const char* p = text;
  while (is_space(*p)) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  int64_t value = 0;
  for (; *p >= '0' && *p <= '9'; ++p) {
    value = value * 10 + (*p - '0');
    if (value > int64_t{INT32_MAX} + 1) value = int64_t{INT32_MAX} + 1;
  }
  if (negative) value = -value;
  if (value > INT32_MAX) value = INT32_MAX;
  return static_cast<int32_t>(value);
}

// An unsigned decimal as a 32-bit conversion reads it (a minus sign wraps, too many
// digits give the largest value), then its low 8 bits.
uint8_t parse_component(const char* begin, const char* end) {
  const char* p = begin;
  while (p < end && is_space(*p)) ++p;
  bool negative = false;
  if (p < end && (*p == '+' || *p == '-')) negative = *p++ == '-';
  uint64_t value = 0;
  bool overflow = false;
  for (; p < end && *p >= '0' && *p <= '9'; ++p) {
    value = value * 10 + static_cast<uint64_t>(*p - '0');
    if (value > UINT32_MAX) {
      overflow = true;
      value = UINT32_MAX;
    }
  }
  if (overflow) return 0xFF;
  if (negative) value = (uint64_t{1} << 32) - value;
  return static_cast<uint8_t>(value & 0xFF);
}

// Colours stored as one integer hold red in bits 0..7, green in 8..15, blue in 16..23.
FColor color_from_int(int32_t value, FColor keep_alpha_of) {
  const auto bits = static_cast<uint32_t>(value);
  return fcolor_make(static_cast<uint8_t>(bits), static_cast<uint8_t>(bits >> 8),
                     static_cast<uint8_t>(bits >> 16), fcolor_alpha(keep_alpha_of));
}

int32_t color_to_int(FColor color) {
  return fcolor_red(color) + fcolor_green(color) * 256 + fcolor_blue(color) * 65536;
}

// At most PAINT_CONFIG_PATH_MAX characters, cut between UTF-8 sequences.
std::string path_from_text(const char* text) {
  size_t characters = 0;
  size_t length = 0;
  for (; text[length]; ++length) {
    const bool starts_character = (static_cast<unsigned char>(text[length]) & 0xC0) != 0x80;
    if (starts_character) {
      if (characters == PAINT_CONFIG_PATH_MAX) break;
      ++characters;
    }
  }
  return std::string(text, length);
}

// "&" goes first so that the entities written for the other three are not escaped
// again; the reader decodes "&amp;" last and in one pass, so "&amp;lt;" comes back as
// the literal "&lt;" it was. A path ending in an unpaired "^" would make the reader step
// over the "<" of the end tag and swallow the rest of the file: a blank after it keeps
// the end tag visible and is trimmed away on reading.
void append_escaped_path(std::string* out, const std::string& path) {
  const size_t start = out->size();
  for (char c : path) {
    switch (c) {
      case '&': *out += "&amp;"; break;
      case '<': *out += "&lt;"; break;
      case '>': *out += "&gt;"; break;
      case '"': *out += "&quot;"; break;
      default: *out += c; break;
    }
  }
  size_t i = start;
  while (i < out->size()) i += (*out)[i] == '^' ? 2 : 1;
  if (i > out->size()) *out += ' ';
}

void append_element(std::string* out, const char* name, const std::string& value) {
  *out += '<';
  *out += name;
  *out += '>';
  *out += value;
  *out += "</";
  *out += name;
  *out += ">\n";
}

void append_number(std::string* out, const char* name, int32_t value) {
  append_element(out, name, std::to_string(value));
}

void append_path(std::string* out, const char* name, const std::string& path) {
  std::string escaped;
  append_escaped_path(&escaped, path);
  append_element(out, name, escaped);
}

struct XmlDeleter {
  void operator()(FXml* xml) const { fxml_destroy(xml); }
};

// Looks up the elements of one loaded file. Each value is fetched once, because the
// reader decodes entities again on every fetch.
struct ConfigReader {
  FXmlNode* root;  // not owned

  const char* text(const char* element) const {
    const std::string path = std::string(kRootName) + "/" + element;
    FXmlNode* node = fxml_find_path(root, path.c_str());
    return node ? fxml_value(node) : nullptr;
  }
  void number(const char* element, int32_t* field) const {
    if (const char* value = text(element)) *field = parse_int(value);
  }
  void byte(const char* element, uint8_t* field) const {
    if (const char* value = text(element)) *field = static_cast<uint8_t>(parse_int(value));
  }
  void color(const char* element, FColor* field) const {
    if (const char* value = text(element)) *field = color_from_int(parse_int(value), *field);
  }
  void path(const char* element, std::string* field) const {
    if (const char* value = text(element)) *field = path_from_text(value);
  }
};

}  // namespace

int paint_config_is_low_res(int screen_width, int screen_height) {
  return screen_width == 240 || screen_height == 240 ||
         (screen_width == 320 && screen_height == 320);
}

void paint_config_defaults(PaintConfig* config, int screen_width, int screen_height,
                           const char* documents_dir) {
  FCHECK(config != nullptr, "config!=null");
  const int32_t smaller = screen_width < screen_height ? screen_width : screen_height;
  const int32_t toolbar_depth = paint_config_is_low_res(screen_width, screen_height) ? 60 : 120;
  config->new_width = screen_width;
  config->new_height = screen_height;
  config->new_color = fcolor_make(255, 255, 153, 255);
  config->fore_color = fcolor_make(153, 204, 0, 255);
  config->back_color = fcolor_make(255, 255, 153, 255);
  config->pen_size = 7;
  config->pen_style = 1;
  config->fill_style = 0;
  config->font_style = 0;
  config->picture_style = 1;
  config->my_paints_dir = documents_dir ? documents_dir : "";
  if (config->my_paints_dir.empty() || config->my_paints_dir.back() != '/') {
    config->my_paints_dir += '/';
  }
  config->my_paints_dir += "Penlark";
  config->open_dir = "/";
  config->save_dir = config->my_paints_dir;
  config->tb_translucent = 1;
  config->tb_auto_hide = 1;
  config->tb_x1 = 5;
  config->tb_y1 = 5;
  config->tb_width1 = smaller - 10;
  config->tb_height1 = toolbar_depth;
  config->tb_x2 = 5;
  config->tb_y2 = 5;
  config->tb_width2 = toolbar_depth;
  config->tb_height2 = smaller - 10;
  config->recent_color_num = 1;
  for (int32_t& color : config->recent_colors) color = 0;
}

std::string paint_config_path() { return std::string(fsys_state_dir()) + "/config.xml"; }

int paint_config_load(PaintConfig* config) {
  FCHECK(config != nullptr, "config!=null");
  const int loaded = paint_config_load_file(config, paint_config_path().c_str());
  if (!fsys_dir_exists(config->save_dir.c_str())) config->save_dir = config->my_paints_dir;
  return loaded;
}

int paint_config_load_file(PaintConfig* config, const char* path) {
  FCHECK(config != nullptr, "config!=null");
  std::unique_ptr<FXml, XmlDeleter> xml(fxml_create());
  if (!xml || !fxml_load_file(xml.get(), path)) return 0;
  FXmlNode* root = fxml_root(xml.get());
  if (!root || std::strcmp(root->name, kRootName) != 0) return 0;

  const ConfigReader read{root};
  read.number("NewWidth", &config->new_width);
  read.number("NewHeight", &config->new_height);
  read.color("NewColor", &config->new_color);
  if (const char* fore = read.text("ForeColor")) {
    if (std::strchr(fore, ',')) {
      paint_config_parse_color(fore, &config->fore_color);
    } else {
      config->fore_color = color_from_int(parse_int(fore), config->fore_color);
    }
  }
  read.color("BackColor", &config->back_color);
  read.number("PenSize", &config->pen_size);
  read.number("PenStyle", &config->pen_style);
  read.number("FillStyle", &config->fill_style);
  read.number("FontStyle", &config->font_style);
  read.number("PictureStyle", &config->picture_style);
  read.path("MyPaintsDir", &config->my_paints_dir);
  read.path("OpenDir", &config->open_dir);
  read.path("SaveDir", &config->save_dir);
  read.byte("TBTranslucent", &config->tb_translucent);
  read.byte("TBAutoHide", &config->tb_auto_hide);
  read.number("TBX1", &config->tb_x1);
  read.number("TBY1", &config->tb_y1);
  read.number("TBWidth1", &config->tb_width1);
  read.number("TBHeight1", &config->tb_height1);
  read.number("TBX2", &config->tb_x2);
  read.number("TBY2", &config->tb_y2);
  read.number("TBWidth2", &config->tb_width2);
  read.number("TBHeight2", &config->tb_height2);
  read.number("RecentColorNum", &config->recent_color_num);
  // The count indexes the eight slots wherever recent colours are shown.
  if (config->recent_color_num < 0) config->recent_color_num = 0;
  if (config->recent_color_num > PAINT_CONFIG_RECENT_COLORS) {
    config->recent_color_num = PAINT_CONFIG_RECENT_COLORS;
  }
  if (const char* recent = read.text("RecentColors")) {
    // Only numbers closed by a comma count; a last number without one is ignored.
    const char* p = recent;
    for (int32_t stored = 0; stored < config->recent_color_num; ++stored) {
      const char* comma = std::strchr(p, ',');
      if (!comma) break;
      config->recent_colors[stored] = parse_int(std::string(p, comma).c_str());
      p = comma + 1;
    }
  }
  return 1;
}

std::string paint_config_format(const PaintConfig* config) {
  FCHECK(config != nullptr, "config!=null");
  std::string out = "<Penlark>\n";
  append_number(&out, "NewWidth", config->new_width);
  append_number(&out, "NewHeight", config->new_height);
  append_number(&out, "NewColor", color_to_int(config->new_color));
  const FColor fore = config->fore_color;
  char text[64];
  std::snprintf(text, sizeof text, "%d,%d,%d,%d", fcolor_red(fore), fcolor_green(fore),
                fcolor_blue(fore), fcolor_alpha(fore));
  append_element(&out, "ForeColor", text);
  append_number(&out, "BackColor", color_to_int(config->back_color));
  append_number(&out, "PenSize", config->pen_size);
  append_number(&out, "PenStyle", config->pen_style);
  append_number(&out, "FillStyle", config->fill_style);
  append_number(&out, "FontStyle", config->font_style);
  append_number(&out, "PictureStyle", config->picture_style);
  append_path(&out, "MyPaintsDir", config->my_paints_dir);
  append_path(&out, "OpenDir", config->open_dir);
  append_path(&out, "SaveDir", config->save_dir);
  append_number(&out, "TBTranslucent", config->tb_translucent);
  append_number(&out, "TBAutoHide", config->tb_auto_hide);
  append_number(&out, "TBX1", config->tb_x1);
  append_number(&out, "TBY1", config->tb_y1);
  append_number(&out, "TBWidth1", config->tb_width1);
  append_number(&out, "TBHeight1", config->tb_height1);
  append_number(&out, "TBX2", config->tb_x2);
  append_number(&out, "TBY2", config->tb_y2);
  append_number(&out, "TBWidth2", config->tb_width2);
  append_number(&out, "TBHeight2", config->tb_height2);
  append_number(&out, "RecentColorNum", config->recent_color_num);
  std::string recent;
  for (int32_t color : config->recent_colors) recent += std::to_string(color) + ",";
  append_element(&out, "RecentColors", recent);
  out += "</Penlark>\n";
  return out;
}

int paint_config_save(const PaintConfig* config) {
  FCHECK(config != nullptr, "config!=null");
  return paint_config_save_file(config, paint_config_path().c_str());
}

int paint_config_save_file(const PaintConfig* config, const char* path) {
  FCHECK(config != nullptr, "config!=null");
  const std::string text = paint_config_format(config);
  FSafeFile out;
  std::FILE* file = fsafe_file_open(&out, path);
  if (!file) return 0;
  const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  return fsafe_file_commit(&out, written ? 1 : 0);
}

void paint_config_parse_color(const char* text, FColor* out) {
  FCHECK(text != nullptr && out != nullptr, "text!=null && out!=null");
  uint8_t parts[4] = {0, 0, 0, 255};  // red, green, blue, alpha
  const char* p = text;
  for (uint8_t& part : parts) {
    const char* comma = std::strchr(p, ',');
    const char* end = comma ? comma : p + std::strlen(p);
    if (end == p) break;
    part = parse_component(p, end);
    if (!comma) break;
    p = comma + 1;
  }
  *out = fcolor_make(parts[0], parts[1], parts[2], parts[3]);
}
