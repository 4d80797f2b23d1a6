// The resource compiler's library. Translators edit the string tables as plain UTF-8 text
// and artists drop PNG files beside a bitmap list; this unit turns both into the sorted
// entries of a resource file and lays out the container exactly as fres_load checks it:
// every entry padded to 4 bytes, so strings land on even and pixels on 4-byte addresses in
// the loaded data block. Bitmaps are built with the core's own bitmap calls, so the stored
// record words and information block are the ones the program itself would make.
//
// fresc -> parse tables / lists -> read PNGs -> payloads -> sort -> build -> write

#include "fres_writer.h"

#include <png.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

#include "fbitmap.h"
#include "fbytes.h"
#include "fresource.h"
#include "fsafe_file.h"

namespace {

// Images larger than this are surely a mistake for an interface bitmap; the loader refuses
// the same bound.
constexpr uint32_t kMaxImageSide = 32767;

void add_error(std::string* errors, const std::string& where, const std::string& message) {
  *errors += where + ": " + message + "\n";
}

std::string origin_of(const std::string& source, int line) {
  return source + ":" + std::to_string(line);
}

// Splits `text` into lines without their "\n" or "\r\n" and hands each to `take` with its
// 1-based number.
template <typename Take>
void for_each_line(std::string_view text, Take take) {
  int number = 0;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    take(line, ++number);
    start = end + 1;
  }
}

// Reads the decimal id at the start of `line`; `used` gets the digits' count. False when
// there are no digits or the value does not fit 32 bits.
bool parse_id(std::string_view line, uint32_t* id, size_t* used) {
  uint64_t value = 0;
  *used = 0;
  while (*used < line.size() && line[*used] >= '0' && line[*used] <= '9') {
    value = value * 10 + static_cast<uint64_t>(line[*used] - '0');
    ++*used;
    if (value > UINT32_MAX) return false;
  }
  *id = static_cast<uint32_t>(value);
  return *used > 0;
}

// One code point from strict UTF-8 (no overlong forms, no surrogates, at most U+10FFFF).
// Returns the bytes used, or 0 for an invalid sequence.
size_t decode_utf8(std::string_view s, size_t at, uint32_t* code) {
  uint8_t lead = static_cast<uint8_t>(s[at]);
  size_t length;
  uint32_t value, minimum;
  if (lead < 0x80) {
    *code = lead;
    return 1;
  } else if ((lead & 0xE0) == 0xC0) {
    length = 2, value = lead & 0x1F, minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, value = lead & 0x0F, minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, value = lead & 0x07, minimum = 0x10000;
  } else {
    return 0;
  }
  if (at + length > s.size()) return 0;
  for (size_t k = 1; k < length; ++k) {
    uint8_t next = static_cast<uint8_t>(s[at + k]);
    if ((next & 0xC0) != 0x80) return 0;
    value = (value << 6) | (next & 0x3F);
  }
  if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
  *code = value;
  return length;
}

void put_utf16(std::vector<uint8_t>* out, uint32_t code) {
  auto put_unit = [out](uint32_t unit) {
    out->push_back(static_cast<uint8_t>(unit));
    out->push_back(static_cast<uint8_t>(unit >> 8));
  };
  if (code >= 0x10000) {
    code -= 0x10000;
    put_unit(0xD800 | (code >> 10));
    put_unit(0xDC00 | (code & 0x3FF));
  } else {
    put_unit(code);
  }
}

// The text of one table line as a zero-terminated UTF-16LE payload. An error message, or
// empty when the text is good.
std::string encode_text(std::string_view text, std::vector<uint8_t>* payload) {
  for (size_t i = 0; i < text.size();) {
    uint32_t code;
    size_t used = decode_utf8(text, i, &code);
    if (used == 0) return "invalid UTF-8 at byte " + std::to_string(i + 1) + " of the text";
    if (code == 0) return "a NUL character would cut the text short";
    i += used;
    if (code == '\\') {
      if (i == text.size()) return "a backslash ends the line (write \\\\ for a backslash)";
      char escape = text[i++];
      switch (escape) {
        case 'n': code = '\n'; break;
        case 't': code = '\t'; break;
        case 's': code = ' '; break;
        case '\\': code = '\\'; break;
        default:
          return std::string("unknown escape \\") + escape + " (known: \\n \\t \\s \\\\)";
      }
    }
    put_utf16(payload, code);
  }
  put_utf16(payload, 0);
  return {};
}

bool parse_kind(std::string_view word, FresBitmapKind* kind) {
  static const std::pair<std::string_view, FresBitmapKind> kinds[] = {
      {"8", FresBitmapKind::pal8},      {"16", FresBitmapKind::rgb565},
      {"24", FresBitmapKind::rgb24},    {"32", FresBitmapKind::rgb32},
      {"pair16", FresBitmapKind::pair16}, {"pair24", FresBitmapKind::pair24}};
  for (const auto& [name, value] : kinds) {
    if (word == name) {
      *kind = value;
      return true;
    }
  }
  return false;
}

std::string_view next_word(std::string_view* rest) {
  size_t start = rest->find_first_not_of(" \t");
  if (start == std::string_view::npos) {
    *rest = {};
    return {};
  }
  size_t end = rest->find_first_of(" \t", start);
  if (end == std::string_view::npos) end = rest->size();
  std::string_view word = rest->substr(start, end - start);
  rest->remove_prefix(end);
  return word;
}

// The raw pixel value of picture pixel i at a depth (the palette index for pal8).
uint32_t raw_pixel(const FresImage& image, FresDepth depth, size_t i,
                   const std::map<uint32_t, uint32_t>& palette_index) {
  const uint8_t* p = &image.rgba[4 * i];
  uint32_t r = p[0], g = p[1], b = p[2], a = p[3];
  switch (depth) {
    case FresDepth::pal8:
      if (!image.indices.empty()) return image.indices[i];
      return palette_index.at(r << 16 | g << 8 | b);
    case FresDepth::alpha8: return a;
    case FresDepth::rgb565: return (r >> 3) << 11 | (g >> 2) << 5 | (b >> 3);
    case FresDepth::rgb24: return r << 16 | g << 8 | b;
    case FresDepth::rgb32: return a << 24 | r << 16 | g << 8 | b;
  }
  return 0;
}

void put_u32(std::vector<uint8_t>* out, uint32_t value) {
  uint8_t bytes[4];
  fbytes_put_u32(bytes, value);
  out->insert(out->end(), bytes, bytes + 4);
}

uint32_t padded(size_t size) { return static_cast<uint32_t>((size + 3) & ~size_t{3}); }

}  // namespace

// ---- Sources ----------------------------------------------------------------------------------

bool fres_writer_read_text(const char* path, std::string* out, std::string* errors) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  if (in) text << in.rdbuf();
  if (!in || in.bad()) {
    add_error(errors, path, "cannot read the file");
    return false;
  }
  *out = text.str();
  return true;
}

bool fres_writer_parse_strings(std::string_view text, const std::string& source,
                               std::vector<FresEntry>* out, std::string* errors) {
  bool ok = true;
  // Editors on some systems start UTF-8 files with a byte order mark.
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  for_each_line(text, [&](std::string_view line, int number) {
    if (line.empty() || line[0] == '#') return;
    std::string where = origin_of(source, number);
    uint32_t id;
    size_t digits;
    std::string problem;
    if (!parse_id(line, &id, &digits)) {
      problem = digits > 0 ? "the id does not fit 32 bits" : "the line must start with a decimal id";
    } else if (digits == line.size() || line[digits] != ' ') {
      problem = "the id must be decimal digits followed by one space and the text";
    } else {
      FresEntry entry{id, {}, where};
      problem = encode_text(line.substr(digits + 1), &entry.payload);
      if (problem.empty()) out->push_back(std::move(entry));
    }
    if (!problem.empty()) {
      add_error(errors, where, problem);
      ok = false;
    }
  });
  return ok;
}

bool fres_writer_parse_bitmap_list(std::string_view text, const std::string& source,
                                   const std::string& folder, std::vector<FresBitmapItem>* out,
                                   std::string* errors) {
  bool ok = true;
  for_each_line(text, [&](std::string_view line, int number) {
    std::string_view rest = line;
    std::string_view id_word = next_word(&rest);
    if (id_word.empty() || id_word[0] == '#') return;
    std::string where = origin_of(source, number);
    std::string_view kind_word = next_word(&rest);
    size_t path_start = rest.find_first_not_of(" \t");
    size_t path_end = rest.find_last_not_of(" \t");
    std::string_view path = path_start == std::string_view::npos
                                ? std::string_view{}
                                : rest.substr(path_start, path_end - path_start + 1);
    FresBitmapItem item{0, FresBitmapKind::pal8, {}, where};
    size_t digits;
    std::string problem;
    if (!parse_id(id_word, &item.id, &digits) || digits != id_word.size()) {
      problem = "the line must start with a decimal id that fits 32 bits";
    } else if (!parse_kind(kind_word, &item.kind)) {
      problem = "unknown kind '" + std::string(kind_word) + "' (known: 8 16 24 32 pair16 pair24)";
    } else if (path.empty()) {
      problem = "the image file is missing";
    } else if ((item.kind == FresBitmapKind::pair16 || item.kind == FresBitmapKind::pair24) &&
               item.id == UINT32_MAX) {
      problem = "a pair needs the id after it for its alpha mask";
    }
    if (!problem.empty()) {
      add_error(errors, where, problem);
      ok = false;
      return;
    }
    item.path = path[0] == '/' || folder.empty() ? std::string(path)
                                                 : folder + "/" + std::string(path);
    out->push_back(std::move(item));
  });
  return ok;
}

bool fres_writer_read_png(const char* path, FresImage* out, std::string* errors) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path)) {
    add_error(errors, path, std::string("cannot read the PNG: ") + image.message);
    return false;
  }
  if (image.width == 0 || image.height == 0 || image.width > kMaxImageSide ||
      image.height > kMaxImageSide) {
    png_image_free(&image);
    add_error(errors, path, "the image is larger than 32767 pixels on a side");
    return false;
  }
  *out = FresImage{};
  out->width = static_cast<int32_t>(image.width);
  out->height = static_cast<int32_t>(image.height);
  size_t pixels = static_cast<size_t>(image.width) * image.height;
  bool ok;
  if (image.format & PNG_FORMAT_FLAG_COLORMAP) {
    // Reading a palette file into a colour-mapped buffer keeps its palette and indices.
    image.format = PNG_FORMAT_RGBA_COLORMAP;
    out->indices.resize(pixels);
    out->palette.resize(256 * 4);
    ok = png_image_finish_read(&image, nullptr, out->indices.data(), 0, out->palette.data());
    out->palette.resize(4 * static_cast<size_t>(image.colormap_entries));
    out->rgba.resize(4 * pixels);
    for (size_t i = 0; ok && i < pixels; ++i) {
      size_t index = out->indices[i] < image.colormap_entries ? out->indices[i] : 0;
      std::memcpy(&out->rgba[4 * i], &out->palette[4 * index], 4);
    }
  } else {
    image.format = PNG_FORMAT_RGBA;
    out->rgba.resize(4 * pixels);
    ok = png_image_finish_read(&image, nullptr, out->rgba.data(), 0, nullptr);
  }
  if (!ok) {
    add_error(errors, path, std::string("cannot read the PNG: ") + image.message);
    png_image_free(&image);
    *out = FresImage{};
    return false;
  }
  return true;
}

// ---- Payloads ---------------------------------------------------------------------------------

bool fres_writer_bitmap_payload(const FresImage& image, FresDepth depth, const std::string& origin,
                                std::vector<uint8_t>* out, std::string* errors) {
  size_t pixels = static_cast<size_t>(image.width) * image.height;
  std::map<uint32_t, uint32_t> palette_index;  // 0xRRGGBB -> index, for built palettes
  if (depth == FresDepth::pal8 && image.indices.empty()) {
    for (size_t i = 0; i < pixels && palette_index.size() <= 256; ++i) {
      const uint8_t* p = &image.rgba[4 * i];
      uint32_t rgb = p[0] << 16 | p[1] << 8 | p[2];
      palette_index.emplace(rgb, static_cast<uint32_t>(palette_index.size()));
    }
    if (palette_index.size() > 256) {
      add_error(errors, origin, "the image has more than 256 colours; kind 8 takes at most 256");
      return false;
    }
  }

  int32_t bpp = depth == FresDepth::rgb565 ? 16 : depth == FresDepth::rgb24 ? 24
              : depth == FresDepth::rgb32  ? 32 : 8;
  // A positive height: the rows are stored bottom-up, as in a DIB file.
  FBitmap bitmap;
  if (!fbitmap_init(&bitmap, image.width, image.height, bpp)) {
    add_error(errors, origin, "not enough memory for the bitmap");
    return false;
  }
  // An 8-bit bitmap starts with a grey ramp, which is the alpha mask's palette already.
  uint8_t* palette = bitmap.info + FBITMAP_INFO_HEADER_SIZE;
  if (depth == FresDepth::pal8) {
    std::memset(palette, 0, 4 * 256);
    auto set_entry = [palette](uint32_t index, uint32_t r, uint32_t g, uint32_t b) {
      palette[4 * index] = static_cast<uint8_t>(b);
      palette[4 * index + 1] = static_cast<uint8_t>(g);
      palette[4 * index + 2] = static_cast<uint8_t>(r);
    };
    for (size_t i = 0; i < image.palette.size() / 4; ++i) {
      set_entry(static_cast<uint32_t>(i), image.palette[4 * i], image.palette[4 * i + 1],
                image.palette[4 * i + 2]);
    }
    for (const auto& [rgb, index] : palette_index) set_entry(index, rgb >> 16, (rgb >> 8) & 0xFF, rgb & 0xFF);
  }
  for (int32_t y = 0; y < image.height; ++y) {
    for (int32_t x = 0; x < image.width; ++x) {
      size_t i = static_cast<size_t>(y) * image.width + x;
      fbitmap_set_pixel(&bitmap, x, y, raw_pixel(image, depth, i, palette_index));
    }
  }

  // The record image: a word the loader skips, the information block's address (filled in
  // at load), the channel description, the pixels' address (filled in at load).
  out->clear();
  const uint32_t words[13] = {0, 0, bitmap.stride, bitmap.red_mask, bitmap.green_mask,
                              bitmap.blue_mask, bitmap.red_shift, bitmap.green_shift,
                              bitmap.blue_shift, bitmap.red_loss, bitmap.green_loss,
                              bitmap.blue_loss, 0};
  for (uint32_t word : words) put_u32(out, word);
  uint32_t info_size = fbitmap_get_info_size(&bitmap);
  out->insert(out->end(), bitmap.info, bitmap.info + info_size);
  put_u32(out, 0);
  out->insert(out->end(), bitmap.pixels, bitmap.pixels + fbitmap_get_size_image(&bitmap));
  fbitmap_release(&bitmap);
  return true;
}

bool fres_writer_add_bitmap(const FresBitmapItem& item, std::vector<FresEntry>* out,
                            std::string* errors) {
  FresImage image;
  std::string problem;
  if (!fres_writer_read_png(item.path.c_str(), &image, &problem)) {
    *errors += item.origin + ": " + problem;
    return false;
  }
  FresDepth colour = FresDepth::pal8;
  bool pair = item.kind == FresBitmapKind::pair16 || item.kind == FresBitmapKind::pair24;
  switch (item.kind) {
    case FresBitmapKind::pal8: colour = FresDepth::pal8; break;
    case FresBitmapKind::rgb565:
    case FresBitmapKind::pair16: colour = FresDepth::rgb565; break;
    case FresBitmapKind::rgb24:
    case FresBitmapKind::pair24: colour = FresDepth::rgb24; break;
    case FresBitmapKind::rgb32: colour = FresDepth::rgb32; break;
  }
  FresEntry entry{item.id, {}, item.origin};
  if (!fres_writer_bitmap_payload(image, colour, item.origin, &entry.payload, errors)) return false;
  out->push_back(std::move(entry));
  if (pair) {
    FresEntry mask{item.id + 1, {}, item.origin};
    if (!fres_writer_bitmap_payload(image, FresDepth::alpha8, item.origin, &mask.payload, errors)) {
      return false;
    }
    out->push_back(std::move(mask));
  }
  return true;
}

// ---- Container --------------------------------------------------------------------------------

bool fres_writer_sort(std::vector<FresEntry>* entries, std::string* errors) {
  std::stable_sort(entries->begin(), entries->end(),
                   [](const FresEntry& a, const FresEntry& b) { return a.id < b.id; });
  bool ok = true;
  for (size_t i = 1; i < entries->size(); ++i) {
    const FresEntry& before = (*entries)[i - 1];
    const FresEntry& entry = (*entries)[i];
    if (entry.id == before.id) {
      add_error(errors, entry.origin,
                "duplicate id " + std::to_string(entry.id) + " (also at " + before.origin + ")");
      ok = false;
    }
  }
  return ok;
}

std::vector<uint8_t> fres_writer_build(const std::vector<FresEntry>& strings,
                                       const std::vector<FresEntry>& bitmaps) {
  struct Section {
    uint32_t type;
    const std::vector<FresEntry>* entries;
  };
  std::vector<Section> sections;
  if (!strings.empty()) sections.push_back({FRES_SECTION_STRINGS, &strings});
  if (!bitmaps.empty()) sections.push_back({FRES_SECTION_BITMAPS, &bitmaps});

  std::vector<uint8_t> data;
  std::vector<uint32_t> offsets;
  for (const Section& section : sections) {
    offsets.push_back(static_cast<uint32_t>(data.size()));
    for (const FresEntry& entry : *section.entries) {
      uint32_t length = padded(entry.payload.size());
      put_u32(&data, entry.id);
      put_u32(&data, length);
      data.insert(data.end(), entry.payload.begin(), entry.payload.end());
      data.resize(data.size() + (length - entry.payload.size()), 0);
    }
  }

  std::vector<uint8_t> bytes;
  put_u32(&bytes, FRES_MAGIC);
  put_u32(&bytes, FRES_VERSION);
  put_u32(&bytes, static_cast<uint32_t>(16 + 8 * sections.size()));
  put_u32(&bytes, static_cast<uint32_t>(data.size()));
  for (size_t i = 0; i < sections.size(); ++i) {
    put_u32(&bytes, sections[i].type);
    put_u32(&bytes, offsets[i]);
  }
  bytes.insert(bytes.end(), data.begin(), data.end());
  return bytes;
}

bool fres_writer_write_file(const char* path, const std::vector<uint8_t>& bytes) {
  FSafeFile out;
  std::FILE* file = fsafe_file_open(&out, path);
  if (!file) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return fsafe_file_commit(&out, ok) == 1;
}
