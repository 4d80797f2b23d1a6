// The fuzzers' seed corpora, made at build time by Penlark's own writers: a few small
// files of every kind each harness reads, so that fuzzing starts from well-formed input
// that reaches deep into each reader instead of stalling at its magic numbers. Where our
// writers make only one variant (they write no palettes, grey, interlaced, animated or
// progressive pictures), the seed is encoded with the codec library the readers use.
//
//   make_seeds <folder>  ->  <folder>/{bmp,png,jpeg,gif,fres,xml,plk,save_dirs}/<seed>
//
// Every seed is a few KB at most: libFuzzer's mutations stay cheap on small inputs.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <gif_lib.h>
#include <jpeglib.h>
#include <png.h>

#include "fbitmap.h"
#include "fbytes.h"
#include "fres_writer.h"
#include "fsys.h"
#include "gifimage.h"
#include "jpegimage.h"
#include "paint_config.h"
#include "paint_context.h"
#include "paint_file.h"
#include "paint_history.h"
#include "paint_tools.h"
#include "pngimage.h"
#include "shape_pencil.h"
#include "shape_text.h"

namespace {

std::string g_out;  // the corpus folder
int g_failures = 0;

std::string seed_path(const char* harness, const char* name) {
  std::filesystem::create_directories(g_out + "/" + harness);
  return g_out + "/" + harness + "/" + name;
}

void check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "make_seeds: could not make %s\n", what);
  ++g_failures;
}

void write_bytes(const std::string& path, const void* data, size_t size) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  bool ok = file && std::fwrite(data, 1, size, file) == size;
  if (file) ok = std::fclose(file) == 0 && ok;
  check(ok, path.c_str());
}

void write_text(const std::string& path, const std::string& text) {
  write_bytes(path, text.data(), text.size());
}

// A picture with something in every channel: a red and green ramp, a blue checker, and an
// alpha ramp for the 32-bit ones.
uint8_t channel(int32_t x, int32_t y, int c) {
  switch (c) {
    case 0: return static_cast<uint8_t>(((x / 2 + y / 2) % 2) ? 200 : 30);  // blue
    case 1: return static_cast<uint8_t>(y * 255 / 15);                       // green
    case 2: return static_cast<uint8_t>(x * 255 / 23);                       // red
    default: return static_cast<uint8_t>(255 - x * 8);                       // alpha
  }
}

void paint_pattern(FBitmap* bitmap) {
  const int32_t w = fbitmap_get_width(bitmap), h = fbitmap_get_height(bitmap);
  const int32_t bpp = fbitmap_get_bpp(bitmap);
  for (int32_t y = 0; y < h; ++y) {
    for (int32_t x = 0; x < w; ++x) {
      const uint8_t b = channel(x, y, 0), g = channel(x, y, 1), r = channel(x, y, 2);
      uint32_t raw = 0;
      if (bpp == 8) raw = static_cast<uint32_t>((r + g + b) / 3);
      else if (bpp == 16) raw = ((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3);
      else raw = b | (g << 8) | (r << 16) | (static_cast<uint32_t>(channel(x, y, 3)) << 24);
      fbitmap_set_pixel(bitmap, x, y, raw);
    }
  }
}

// ---- BMP ----------------------------------------------------------------------------------

void save_bmp(FBitmap* bitmap, const char* name) {
  check(fbitmap_save_bmp(bitmap, seed_path("bmp", name).c_str()) == 1, name);
}

// A bitmap whose information block is built here: 1 and 4 bits per pixel with a palette,
// or 32 bits with bit fields other than the usual ones.
void save_bmp_built(const char* name, int32_t width, int32_t height, int32_t bpp,
                    uint32_t compression, const uint32_t* masks) {
  const uint32_t colors = bpp <= 8 ? (1u << bpp) : 0;
  const uint32_t extra = compression == FBITMAP_BI_BITFIELDS ? 12 : colors * 4;
  const uint32_t stride = static_cast<uint32_t>(((width * bpp + 31) / 32) * 4);
  const uint32_t rows = static_cast<uint32_t>(height < 0 ? -height : height);
  uint8_t* info = static_cast<uint8_t*>(std::calloc(1, FBITMAP_INFO_HEADER_SIZE + extra));
  uint8_t* pixels = static_cast<uint8_t*>(std::calloc(rows, stride));
  if (!info || !pixels) {
    std::free(info);
    std::free(pixels);
    check(false, name);
    return;
  }
  fbytes_put_u32(info, FBITMAP_INFO_HEADER_SIZE);
  fbytes_put_i32(info + 4, width);
  fbytes_put_i32(info + 8, height);
  fbytes_put_u16(info + 12, 1);
  fbytes_put_u16(info + 14, static_cast<uint16_t>(bpp));
  fbytes_put_u32(info + 16, compression);
  fbytes_put_u32(info + 20, stride * rows);
  fbytes_put_u32(info + 32, colors);
  uint8_t* table = info + FBITMAP_INFO_HEADER_SIZE;
  if (compression == FBITMAP_BI_BITFIELDS) {
    for (int i = 0; i < 3; ++i) fbytes_put_u32(table + i * 4, masks[i]);
  } else {
    for (uint32_t i = 0; i < colors; ++i) {
      table[i * 4 + 0] = static_cast<uint8_t>(i * 255 / (colors - 1));
      table[i * 4 + 1] = static_cast<uint8_t>(255 - i * 255 / (colors - 1));
      table[i * 4 + 2] = static_cast<uint8_t>(i * 37);
    }
  }
  for (uint32_t y = 0; y < rows; ++y) {
    for (uint32_t i = 0; i < stride; ++i) pixels[y * stride + i] = static_cast<uint8_t>(y * 29 + i * 7);
  }
  FBitmap bitmap{};
  fbitmap_adopt(&bitmap, info, pixels);
  save_bmp(&bitmap, name);
  fbitmap_release(&bitmap);
}

void make_bmp_seeds() {
  const struct {
    const char* name;
    int32_t height;
    int32_t bpp;
  } plain[] = {{"grey8.bmp", 16, 8}, {"rgb565.bmp", -16, 16}, {"rgb24.bmp", 16, 24},
               {"rgb32_top_down.bmp", -16, 32}};
  for (const auto& seed : plain) {
    FBitmap bitmap{};
    if (!fbitmap_init(&bitmap, 24, seed.height, seed.bpp)) {
      check(false, seed.name);
      continue;
    }
    paint_pattern(&bitmap);
    save_bmp(&bitmap, seed.name);
    fbitmap_release(&bitmap);
  }
  save_bmp_built("mono1.bmp", 21, 9, 1, FBITMAP_BI_RGB, nullptr);
  save_bmp_built("palette4.bmp", 13, -7, 4, FBITMAP_BI_RGB, nullptr);
  const uint32_t masks_101010[3] = {0x3FF00000, 0x000FFC00, 0x000003FF};
  save_bmp_built("bitfields32.bmp", 9, 6, 32, FBITMAP_BI_BITFIELDS, masks_101010);
  const uint32_t masks_555[3] = {0x7C00, 0x03E0, 0x001F};
  save_bmp_built("bitfields555.bmp", 11, 5, 16, FBITMAP_BI_BITFIELDS, masks_555);
}

// ---- PNG, JPEG, GIF -----------------------------------------------------------------------

FBitmap* pattern_bitmap(int32_t width, int32_t height, int32_t bpp) {
  FBitmap* bitmap = fbitmap_create(width, height, bpp);
  if (bitmap) paint_pattern(bitmap);
  return bitmap;
}

// libpng straight, for the kinds the reader converts: palettes with transparency, low-bit
// and 16-bit grey with alpha, Adam7 interlacing and a gamma chunk.
bool write_png_direct(const std::string& path, int color_type, int bit_depth, bool interlaced) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
    return false;
  }
  constexpr int kWidth = 13, kHeight = 7;
  png_init_io(png, file);
  png_set_IHDR(png, info, kWidth, kHeight, bit_depth, color_type,
               interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_set_gAMA(png, info, 0.45455);
  if (color_type == PNG_COLOR_TYPE_PALETTE) {
    png_color palette[16];
    png_byte alpha[4] = {0, 64, 128, 200};
    for (int i = 0; i < 16; ++i) {
      palette[i] = png_color{static_cast<png_byte>(i * 16), static_cast<png_byte>(200 - i * 9),
                             static_cast<png_byte>(i * 3)};
    }
    png_set_PLTE(png, info, palette, 1 << bit_depth);
    png_set_tRNS(png, info, alpha, 4, nullptr);
  }
  png_write_info(png, info);
  const int channels = color_type == PNG_COLOR_TYPE_GRAY_ALPHA ? 2 : 1;
  std::vector<png_byte> row(static_cast<size_t>(kWidth) * channels * 2 + 8);
  const int passes = interlaced ? png_set_interlace_handling(png) : 1;
  for (int pass = 0; pass < passes; ++pass) {
    for (int y = 0; y < kHeight; ++y) {
      for (size_t i = 0; i < row.size(); ++i) row[i] = static_cast<png_byte>(i * 29 + y * 71);
      png_write_row(png, row.data());
    }
  }
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return std::fclose(file) == 0;
}

void make_png_seeds() {
  FBitmap* rgb = pattern_bitmap(24, 16, 24);
  FBitmap* rgba = pattern_bitmap(17, -9, 32);
  check(rgb && pngimage_write(rgb, seed_path("png", "rgb.png").c_str()), "rgb.png");
  check(rgba && pngimage_write(rgba, seed_path("png", "rgba.png").c_str()), "rgba.png");
  if (rgb) fbitmap_destroy(rgb);
  if (rgba) fbitmap_destroy(rgba);
  check(write_png_direct(seed_path("png", "palette4_trns.png"), PNG_COLOR_TYPE_PALETTE, 4, false),
        "palette4_trns.png");
  check(write_png_direct(seed_path("png", "grey1_interlaced.png"), PNG_COLOR_TYPE_GRAY, 1, true),
        "grey1_interlaced.png");
  check(write_png_direct(seed_path("png", "grey_alpha16.png"), PNG_COLOR_TYPE_GRAY_ALPHA, 16, false),
        "grey_alpha16.png");
}

// libjpeg straight: a one-component picture, or a progressive colour one.
bool write_jpeg_direct(const std::string& path, int components, bool progressive) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  jpeg_compress_struct cinfo;
  jpeg_error_mgr error;
  cinfo.err = jpeg_std_error(&error);
  jpeg_create_compress(&cinfo);
  jpeg_stdio_dest(&cinfo, file);
  cinfo.image_width = 20;
  cinfo.image_height = 12;
  cinfo.input_components = components;
  cinfo.in_color_space = components == 1 ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, 60, TRUE);
  if (progressive) jpeg_simple_progression(&cinfo);
  jpeg_start_compress(&cinfo, TRUE);
  std::vector<JSAMPLE> row(20 * components);
  while (cinfo.next_scanline < cinfo.image_height) {
    const int32_t y = static_cast<int32_t>(cinfo.next_scanline);
    for (int32_t x = 0; x < 20; ++x) {
      for (int c = 0; c < components; ++c) row[x * components + c] = channel(x, y, 2 - c);
    }
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&cinfo, rows, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  return std::fclose(file) == 0;
}

void make_jpeg_seeds() {
  FBitmap* rgb = pattern_bitmap(24, 16, 24);
  check(rgb && jpegimage_write(rgb, seed_path("jpeg", "colour.jpg").c_str(), 75), "colour.jpg");
  if (rgb) fbitmap_destroy(rgb);
  check(write_jpeg_direct(seed_path("jpeg", "grey.jpg"), 1, false), "grey.jpg");
  check(write_jpeg_direct(seed_path("jpeg", "progressive.jpg"), 3, true), "progressive.jpg");
}

// giflib straight: two frames with a loop and a transparent colour, the second interlaced
// and placed inside the logical screen.
bool write_gif_animated(const std::string& path) {
  int error = 0;
  GifFileType* gif = EGifOpenFileName(path.c_str(), false, &error);
  if (!gif) return false;
  GifColorType colors[16];
  for (int i = 0; i < 16; ++i) {
    colors[i] = GifColorType{static_cast<GifByteType>(i * 16), static_cast<GifByteType>(255 - i * 16),
                             static_cast<GifByteType>(i * 5)};
  }
  ColorMapObject* map = GifMakeMapObject(16, colors);
  bool ok = map && EGifPutScreenDesc(gif, 16, 12, 4, 0, map) == GIF_OK;
  static const GifByteType loop[3] = {1, 0, 0};
  ok = ok && EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE) == GIF_OK &&
       EGifPutExtensionBlock(gif, 11, "NETSCAPE2.0") == GIF_OK &&
       EGifPutExtensionBlock(gif, 3, loop) == GIF_OK && EGifPutExtensionTrailer(gif) == GIF_OK;
  const struct {
    int left, top, width, height;
    bool interlaced;
  } frames[] = {{0, 0, 16, 12, false}, {3, 2, 9, 9, true}};
  for (const auto& frame : frames) {
    static const GifByteType control[4] = {0x09, 10, 0, 5};  // restore to background, key 5
    ok = ok && EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, control) == GIF_OK &&
         EGifPutImageDesc(gif, frame.left, frame.top, frame.width, frame.height,
                          frame.interlaced, nullptr) == GIF_OK;
    std::vector<GifPixelType> line(frame.width);
    for (int y = 0; ok && y < frame.height; ++y) {
      for (int x = 0; x < frame.width; ++x) line[x] = static_cast<GifPixelType>((x + y * 3) % 16);
      ok = EGifPutLine(gif, line.data(), frame.width) == GIF_OK;
    }
  }
  GifFreeMapObject(map);
  return EGifCloseFile(gif, &error) == GIF_OK && ok;
}

void make_gif_seeds() {
  FBitmap* rgb = pattern_bitmap(24, 16, 24);
  check(rgb && gifimage_write(rgb, seed_path("gif", "still.gif").c_str(), 100), "still.gif");
  if (rgb) fbitmap_destroy(rgb);
  check(write_gif_animated(seed_path("gif", "animated_interlaced.gif")), "animated_interlaced.gif");
}

// ---- Resource file ------------------------------------------------------------------------

void make_fres_seeds() {
  std::string errors;
  std::vector<FresEntry> strings;
  fres_writer_parse_strings("2 OK\n3 Cancel\n25001 Pen\\tlark\\n\n25002 \xE4\xB8\xAD\xE6\x96\x87\n",
                            "seed", &strings, &errors);
  FresImage image;
  image.width = 6;
  image.height = 5;
  for (int32_t y = 0; y < image.height; ++y) {
    for (int32_t x = 0; x < image.width; ++x) {
      for (int c = 0; c < 4; ++c) image.rgba.push_back(channel(x * 4, y * 3, 2 - (c < 3 ? c : -1)));
    }
  }
  std::vector<FresEntry> bitmaps;
  const struct {
    uint32_t id;
    FresDepth depth;
  } kinds[] = {{100, FresDepth::pal8}, {101, FresDepth::rgb565}, {102, FresDepth::rgb24},
               {103, FresDepth::rgb32}, {104, FresDepth::alpha8}};
  for (const auto& kind : kinds) {
    FresEntry entry{kind.id, {}, "seed"};
    if (fres_writer_bitmap_payload(image, kind.depth, "seed", &entry.payload, &errors)) {
      bitmaps.push_back(std::move(entry));
    }
  }
  bool ok = fres_writer_sort(&strings, &errors) && fres_writer_sort(&bitmaps, &errors);
  check(ok && fres_writer_write_file(seed_path("fres", "strings_bitmaps.fres").c_str(),
                                     fres_writer_build(strings, bitmaps)),
        "strings_bitmaps.fres");
  check(fres_writer_write_file(seed_path("fres", "strings.lang").c_str(),
                               fres_writer_build(strings, {})),
        "strings.lang");
  if (!errors.empty()) std::fprintf(stderr, "%s", errors.c_str());
}

// ---- Settings -----------------------------------------------------------------------------

void make_xml_seeds() {
  PaintConfig config{};
  paint_config_defaults(&config, 480, 640, "/home/user/Documents");
  config.recent_color_num = 3;
  config.recent_colors[0] = 0x0000FF;
  config.recent_colors[1] = 0x00FF00;
  config.recent_colors[2] = 0x808080;
  config.save_dir = "/home/user/Pictures/<drafts> & \"more\"";
  check(paint_config_save_file(&config, seed_path("xml", "config.xml").c_str()), "config.xml");
  write_text(seed_path("xml", "markup.xml"),
             "<?xml version=\"1.0\"?>\n<!-- note -->\n"
             "<Penlark a=\"1\" b='two' c=\"&lt;&amp;&gt;&quot;\">\n"
             "  <NewWidth>640</NewWidth><ForeColor>10,20,30,128</ForeColor>\n"
             "  <SaveDir>/x^<y^>z</SaveDir>\n"
             "  <Empty/><Deep><Deeper><Deepest>x</Deepest></Deeper></Deep>\n"
             "</Penlark>\n");
}

// ---- Recent folders -----------------------------------------------------------------------

void make_save_dirs_seeds() {
  paint_file_recent_folders_forget();
  paint_file_recent_folder_add("/home/user/Documents/Penlark");
  paint_file_recent_folder_add("/media/card/Paintings");
  paint_file_recent_folder_add("/home/user/\xE5\x9B\xBE\xE7\x89\x87");
  check(paint_file_recent_folders_write() == 1, "save_dirs.dat");
  std::error_code error;
  std::filesystem::copy_file(std::string(fsys_state_dir()) + "/save_dirs.dat",
                             seed_path("save_dirs", "save_dirs.dat"),
                             std::filesystem::copy_options::overwrite_existing, error);
  check(!error, "save_dirs.dat copy");
  write_text(seed_path("save_dirs", "crlf.dat"), "/a\r\n\r\n/B\r\n/b\n/c");
}

// ---- Native documents ---------------------------------------------------------------------

std::vector<uint8_t> two_points(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  std::vector<uint8_t> data(SHAPE_TWO_POINT_DATA_SIZE);
  fbytes_put_i32(&data[0], x1);
  fbytes_put_i32(&data[4], y1);
  fbytes_put_i32(&data[8], x2);
  fbytes_put_i32(&data[12], y2);
  return data;
}

std::vector<uint8_t> stroke(std::initializer_list<FPoint> points) {
  std::vector<uint8_t> data(points.size() * SHAPE_STROKE_POINT_SIZE);
  size_t at = 0;
  for (const FPoint& p : points) {
    fbytes_put_i32(&data[at], p.x);
    fbytes_put_i32(&data[at + 4], p.y);
    at += SHAPE_STROKE_POINT_SIZE;
  }
  return data;
}

std::vector<uint8_t> curve(std::initializer_list<double> coordinates) {
  std::vector<uint8_t> data;
  for (double value : coordinates) {
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    for (int i = 0; i < 8; ++i) data.push_back(static_cast<uint8_t>(bits >> (8 * i)));
  }
  return data;
}

std::vector<uint8_t> fill_seed(int32_t x, int32_t y) {
  std::vector<uint8_t> data(8);
  fbytes_put_i32(&data[0], x);
  fbytes_put_i32(&data[4], y);
  return data;
}

std::vector<uint8_t> crop(int32_t l, int32_t t, int32_t r, int32_t b, int32_t w, int32_t h) {
  std::vector<uint8_t> data(PAINT_STEP_CROP_SIZE);
  const int32_t values[8] = {l, t, r, b, 0, 0, w - 1, h - 1};
  for (int i = 0; i < 8; ++i) fbytes_put_i32(&data[i * 4], values[i]);
  return data;
}

// The text step as the text bar records it (layout in shape_text.h).
std::vector<uint8_t> text_record(const char16_t* text, FRect rect, uint32_t style) {
  int32_t length = 0;
  while (text[length]) ++length;
  std::vector<uint8_t> data(static_cast<size_t>(length + 57) * 2);
  fbytes_put_u32(&data[0], 1);    // mode
  fbytes_put_i32(&data[4], 2);    // line spacing
  fbytes_put_i32(&data[8], 3);    // margin
  fbytes_put_i32(&data[12], 14);  // font size
  const char16_t face[] = u"tahoma";
  for (int i = 0; face[i]; ++i) fbytes_put_u16(&data[16 + i * 2], face[i]);
  fbytes_put_u32(&data[80], fcolor_make(200, 20, 40, 255));
  fbytes_put_u32(&data[84], style);
  fbytes_put_i32(&data[88], rect.left);
  fbytes_put_i32(&data[92], rect.top);
  fbytes_put_i32(&data[96], rect.right);
  fbytes_put_i32(&data[100], rect.bottom);
  fbytes_put_i32(&data[104], length);
  for (int32_t i = 0; i < length; ++i) fbytes_put_u16(&data[112 + i * 2], text[i]);
  return data;
}

struct Document {
  PaintContext* pc = nullptr;
  PaintHistory* history = nullptr;
  Shape* tools[PAINT_TOOL_COUNT] = {};
};

bool document_open(Document* doc, int32_t width, int32_t height) {
  doc->pc = paint_context_create(nullptr, width, height, fcolor_make(0, 0, 0, 255),
                                 fcolor_make(255, 255, 255, 255), fcolor_make(250, 240, 200, 255),
                                 2, 0, 0, 0);
  if (!doc->pc) return false;
  paint_context_set_screen_size(doc->pc, 480, 640);
  const std::string cache = g_out + "/.checkpoints";
  doc->history = paint_history_create(doc->pc, cache.c_str());
  return doc->history && paint_tools_create(doc->pc, doc->history, nullptr, doc->tools);
}

void document_add(Document* doc, int32_t type, const std::vector<uint8_t>& data) {
  static uint32_t turn = 0;
  ++turn;
  paint_context_set_fore_color(doc->pc, fcolor_make(static_cast<uint8_t>(turn * 40),
                                                    static_cast<uint8_t>(turn * 90), 60,
                                                    turn % 3 ? 255 : 128));
  paint_context_set_pen_size(doc->pc, 1 + static_cast<int32_t>(turn % 5));
  paint_context_set_pen_style(doc->pc, static_cast<int32_t>(turn % 2));
  check(paint_history_add(doc->history, type, data.empty() ? nullptr : data.data(),
                          static_cast<int32_t>(data.size())) != nullptr,
        "a step");
}

void document_save(Document* doc, const char* name) {
  PaintFile* file = paint_file_create(doc->pc, doc->history, nullptr);
  if (file) {
    paint_file_set_path(file, seed_path("plk", name).c_str());
    check(paint_file_save(file) == PAINT_FILE_DONE, name);
    paint_file_destroy(file);
  } else {
    check(false, name);
  }
  paint_tools_destroy(doc->tools);
  if (doc->history) paint_history_destroy(doc->history);
  if (doc->pc) paint_context_destroy(doc->pc);
  *doc = Document{};
}

// The thumbnail is the painting fitted into 100 x 100, so the paintings are wide and low:
// that keeps each document at a few KB while its steps still land on the painting.
void make_plk_seeds() {
  // Every tool's step on a blank base, more than 25 steps so a checkpoint is passed.
  Document doc;
  if (document_open(&doc, 96, 10)) {
    static const uint32_t two_point_tools[] = {
        PAINT_TOOL_LINE,              PAINT_TOOL_RECT_OUTLINE,      PAINT_TOOL_RECT_FILLED,
        PAINT_TOOL_ROUNDRECT_OUTLINE, PAINT_TOOL_ROUNDRECT_FILLED,  PAINT_TOOL_ELLIPSE_OUTLINE,
        PAINT_TOOL_ELLIPSE_FILLED,    PAINT_TOOL_CIRCLE_OUTLINE,    PAINT_TOOL_CIRCLE_FILLED,
        PAINT_TOOL_TRIANGLE_OUTLINE,  PAINT_TOOL_TRIANGLE_FILLED,   PAINT_TOOL_RHOMBUS_OUTLINE,
        PAINT_TOOL_RHOMBUS_FILLED,    PAINT_TOOL_PENTAGON_OUTLINE,  PAINT_TOOL_PENTAGON_FILLED,
        PAINT_TOOL_PENTAGRAM_OUTLINE, PAINT_TOOL_PENTAGRAM_FILLED,  PAINT_TOOL_HEART_OUTLINE,
        PAINT_TOOL_HEART_FILLED};
    int32_t i = 0;
    for (uint32_t tool : two_point_tools) {
      document_add(&doc, static_cast<int32_t>(tool), two_points(1 + i * 4, 9 - i % 3, 12 + i * 4, 1 + i % 4));
      ++i;
    }
    const int32_t gap = SHAPE_STROKE_SEPARATOR;
    document_add(&doc, PAINT_TOOL_PENCIL, stroke({{2, 2}, {10, 4}, {12, 8}, {gap, gap}, {30, 3}, {31, 7}}));
    document_add(&doc, PAINT_TOOL_ERASER, stroke({{5, 8}, {40, 1}}));
    document_add(&doc, PAINT_TOOL_CURVE, curve({4, 9, 90, 2, 30, 0, 60, 10}));
    document_add(&doc, PAINT_TOOL_PAINT_BUCKET, fill_seed(1, 8));
    document_add(&doc, PAINT_STEP_TEXT, text_record(u"Hi \u4e2d", FRect{4, 0, 90, 9}, 5));
    document_add(&doc, PAINT_TOOL_PAN, two_points(0, 0, 5, 5));
    document_add(&doc, PAINT_TOOL_COLOR_PICKER, fill_seed(3, 3));
    document_add(&doc, PAINT_STEP_CROP, crop(-4, 1, 99, 9, 96, 10));
    document_add(&doc, PAINT_TOOL_RECT_FILLED, two_points(0, 0, 8, 8));
    document_add(&doc, PAINT_STEP_CLEAR, {});
    document_add(&doc, PAINT_TOOL_LINE, two_points(0, 0, 60, 7));
    document_save(&doc, "every_tool.plk");
  }
  // A picture base, recorded at zoom 0.5, with an undone step after the current one.
  if (document_open(&doc, 8, 8)) {
    FBitmap* picture = pattern_bitmap(64, 8, 32);
    check(picture && paint_context_load_picture(doc.pc, picture) == 1, "picture base");
    if (picture) fbitmap_destroy(picture);
    paint_context_set_zoom(doc.pc, 0.5);
    document_add(&doc, PAINT_TOOL_PENCIL, stroke({{1, 1}, {30, 3}}));
    document_add(&doc, PAINT_TOOL_PAINT_BUCKET, fill_seed(5, 2));
    document_add(&doc, PAINT_STEP_CROP, crop(2, 1, 29, 3, 32, 4));
    document_add(&doc, PAINT_TOOL_HEART_FILLED, two_points(1, 1, 6, 3));
    paint_history_set_current(doc.history, 2);
    document_save(&doc, "picture_zoom_half.plk");
  }
  // A text step recorded at zoom 2, and an empty document.
  if (document_open(&doc, 40, 4)) {
    paint_context_set_zoom(doc.pc, 2.0);
    document_add(&doc, PAINT_STEP_TEXT, text_record(u"ab\ncd", FRect{2, 0, 76, 7}, 3));
    document_save(&doc, "text_zoom_two.plk");
  }
  if (document_open(&doc, 50, 1)) document_save(&doc, "empty.plk");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_seeds <folder>\n");
    return 2;
  }
  g_out = argv[1];
  std::error_code error;
  std::filesystem::create_directories(g_out, error);
  // The writers that keep state (recent folders, checkpoints) do so in a private home.
  const std::string home = g_out + "/.home";
  setenv("PENLARK_HOME", home.c_str(), 1);
  fsys_reset_folders();

  make_bmp_seeds();
  make_png_seeds();
  make_jpeg_seeds();
  make_gif_seeds();
  make_fres_seeds();
  make_xml_seeds();
  make_save_dirs_seeds();
  make_plk_seeds();

  std::filesystem::remove_all(home, error);
  std::filesystem::remove_all(g_out + "/.checkpoints", error);
  if (g_failures) {
    std::fprintf(stderr, "make_seeds: %d seeds failed\n", g_failures);
    return 1;
  }
  return 0;
}
