// PNG pictures: the glue between libpng and FBitmap. Pictures open as a 24-bit colour
// bitmap plus an 8-bit alpha bitmap, because the painting keeps colour and opacity apart
// until a picture is placed; exports go out as 8-bit RGB or RGBA.
//
// libpng reports errors by long-jumping to the recovery point set in the caller. Every
// step that may jump therefore lives in a function of its own (png_read_steps,
// png_write_steps) that returns at once after a jump, reading none of its locals, and
// owns nothing with a destructor; all state the clean-up needs lives in a record of the
// caller. libpng
// does the blue/red exchange itself, on its own copy of each row (png_set_bgr), so the
// reader decodes straight into the bitmap rows and the writer never touches the
// caller's pixels: a write that fails half-way leaves the bitmap as it was.

#include "pngimage.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "fbitmap.h"
#include "fplatform.h"
#include "fsafe_file.h"

namespace {

constexpr size_t kSignatureBytes = 8;
// Header sizes beyond these are refused by libpng before it allocates anything. The
// pixel count is checked separately; this only keeps the row arithmetic far from overflow.
constexpr png_uint_32 kMaxSide = 1u << 20;
// Ancillary chunks (text, profiles) larger than this are dropped rather than buffered.
constexpr png_alloc_size_t kMaxChunkBytes = 8u << 20;
constexpr double kScreenGamma = 2.2;
// libpng asks for 8 KiB at a time and libjpeg for 4 KiB; with stdio's usual buffer of one
// disk block each of those requests would become a system call of its own.
constexpr size_t kFileBufferBytes = 64 * 1024;

// Errors and warnings are the caller's business (a failed load is reported to the user
// by whoever asked for it); libpng must not print to the console.
[[noreturn]] void png_fail_quietly(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void png_warn_quietly(png_structp, png_const_charp) {}

void png_read_from_file(png_structp png, png_bytep data, png_size_t length) {
  auto* file = static_cast<std::FILE*>(png_get_io_ptr(png));
  if (std::fread(data, 1, length, file) != length) png_error(png, "short read");
}

void png_write_to_file(png_structp png, png_bytep data, png_size_t length) {
  auto* file = static_cast<std::FILE*>(png_get_io_ptr(png));
  if (std::fwrite(data, 1, length, file) != length) png_error(png, "short write");
}

void png_flush_file(png_structp) {}  // fsafe_file_commit flushes and syncs at the end

struct PngRead {
  std::FILE* file;          // owned
  png_structp png;          // owned, with `info`
  png_infop info;
  FBitmap* color;           // owned until handed out
  FBitmap* alpha;           // owned until handed out; stays null when nobody wants it
  uint8_t* rgba;            // owned: decoded rows of 4-channel pictures, or null
  png_bytep* rows;          // owned: row pointer table, or null
  int want_alpha;
};

// Splits a row of blue, green, red, alpha pixels into the colour row and the alpha row
// (null when nobody asked for alpha).
void png_split_row(const uint8_t* bgra, uint8_t* color, uint8_t* alpha, png_uint_32 width) {
  for (png_uint_32 x = 0; x < width; ++x, bgra += 4, color += 3) {
    color[0] = bgra[0];
    color[1] = bgra[1];
    color[2] = bgra[2];
    if (alpha) alpha[x] = bgra[3];
  }
}

int png_read_steps(PngRead* r) {
  if (setjmp(png_jmpbuf(r->png))) return 0;
  png_set_user_limits(r->png, kMaxSide, kMaxSide);
  png_set_chunk_malloc_max(r->png, kMaxChunkBytes);
  png_set_read_fn(r->png, r->file, png_read_from_file);
  png_set_sig_bytes(r->png, static_cast<int>(kSignatureBytes));
  png_read_info(r->png, r->info);

  png_uint_32 width = 0, height = 0;
  int bit_depth = 0, color_type = 0;
  png_get_IHDR(r->png, r->info, &width, &height, &bit_depth, &color_type, nullptr, nullptr, nullptr);
  if (static_cast<uint64_t>(width) * height > FBITMAP_MAX_PICTURE_PIXELS) return 0;

  if (color_type == PNG_COLOR_TYPE_PALETTE) png_set_expand(r->png);
  if (color_type == PNG_COLOR_TYPE_GRAY && bit_depth < 8) png_set_expand_gray_1_2_4_to_8(r->png);
  if (png_get_valid(r->png, r->info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(r->png);
  if (bit_depth == 16) png_set_strip_16(r->png);
  if (color_type == PNG_COLOR_TYPE_GRAY || color_type == PNG_COLOR_TYPE_GRAY_ALPHA) {
    png_set_gray_to_rgb(r->png);
  }
  double file_gamma = 0;
  if (png_get_gAMA(r->png, r->info, &file_gamma)) png_set_gamma(r->png, kScreenGamma, file_gamma);
  // The bitmaps hold blue, green, red: libpng exchanges the channels while it unfilters
  // each row, which costs nothing next to a pass of our own over the picture.
  png_set_bgr(r->png);
  int passes = png_set_interlace_handling(r->png);
  png_read_update_info(r->png, r->info);
  int channels = png_get_channels(r->png, r->info);
  if (channels != 3 && channels != 4) return 0;

  r->color = fbitmap_create_for_decoding(static_cast<int32_t>(width), static_cast<int32_t>(height), 24);
  if (!r->color) return 0;
  if (r->want_alpha) {
    r->alpha = fbitmap_create(static_cast<int32_t>(width), static_cast<int32_t>(height), 8);
    if (!r->alpha) return 0;
  }
  int32_t rows = static_cast<int32_t>(height);

  if (channels == 3) {
    // Three channels decode straight into the colour bitmap, rows placed from the top.
    r->rows = static_cast<png_bytep*>(std::malloc(sizeof(png_bytep) * height));
    if (!r->rows) return 0;
    for (int32_t y = 0; y < rows; ++y) r->rows[y] = fbitmap_row(r->color, y);
    png_read_image(r->png, r->rows);
    // A new alpha bitmap is all 0xFF already: fully opaque.
  } else if (passes == 1) {
    // Four channels of a sequential picture: one row at a time through a row buffer.
    r->rgba = static_cast<uint8_t*>(std::malloc(4 * static_cast<size_t>(width)));
    if (!r->rgba) return 0;
    for (int32_t y = 0; y < rows; ++y) {
      png_read_row(r->png, r->rgba, nullptr);
      png_split_row(r->rgba, fbitmap_row(r->color, y), r->alpha ? fbitmap_row(r->alpha, y) : nullptr,
                    width);
    }
  } else {
    // An interlaced picture revisits every row on each pass: it needs the whole picture.
    size_t row_bytes = 4 * static_cast<size_t>(width);
    r->rgba = static_cast<uint8_t*>(std::malloc(row_bytes * height));
    r->rows = static_cast<png_bytep*>(std::malloc(sizeof(png_bytep) * height));
    if (!r->rgba || !r->rows) return 0;
    for (int32_t y = 0; y < rows; ++y) r->rows[y] = r->rgba + row_bytes * static_cast<size_t>(y);
    png_read_image(r->png, r->rows);
    for (int32_t y = 0; y < rows; ++y) {
      png_split_row(r->rows[y], fbitmap_row(r->color, y), r->alpha ? fbitmap_row(r->alpha, y) : nullptr,
                    width);
    }
  }
  png_read_end(r->png, nullptr);
  return 1;
}

struct PngWrite {
  std::FILE* file;  // not owned: the safe file's temporary
  png_structp png;  // owned, with `info`
  png_infop info;
  const FBitmap* bitmap;  // not owned
};

int png_write_steps(PngWrite* w) {
  if (setjmp(png_jmpbuf(w->png))) return 0;
  int32_t width = fbitmap_get_width(w->bitmap);
  int32_t height = fbitmap_get_height(w->bitmap);
  int bpp = fbitmap_get_bpp(w->bitmap);
  png_set_write_fn(w->png, w->file, png_write_to_file, png_flush_file);
  png_set_IHDR(w->png, w->info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
               bpp == 32 ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(w->png, w->info);
  // Our pixels are blue, green, red (and the fourth byte, written as alpha). libpng copies
  // each row before it transforms it, so the exchange never reaches the bitmap.
  png_set_bgr(w->png);
  for (int32_t y = 0; y < height; ++y) png_write_row(w->png, fbitmap_row(w->bitmap, y));
  png_write_end(w->png, w->info);
  return 1;
}

}  // namespace

int pngimage_read(FBitmap** out_color, FBitmap** out_alpha, const char* path) {
  FCHECK(out_color != nullptr, "out_color!=null");
  *out_color = nullptr;
  if (out_alpha) *out_alpha = nullptr;
  if (!path) return 0;

  PngRead r{};
  r.want_alpha = out_alpha != nullptr;
  std::unique_ptr<char[]> buffer(new (std::nothrow) char[kFileBufferBytes]);  // outlives the file
  r.file = std::fopen(path, "rb");
  if (!r.file) return 0;
  if (buffer) std::setvbuf(r.file, buffer.get(), _IOFBF, kFileBufferBytes);
  png_byte signature[kSignatureBytes];
  int ok = std::fread(signature, 1, kSignatureBytes, r.file) == kSignatureBytes &&
           png_sig_cmp(signature, 0, kSignatureBytes) == 0;
  if (ok) {
    r.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, png_fail_quietly, png_warn_quietly);
    r.info = r.png ? png_create_info_struct(r.png) : nullptr;
    ok = r.info && png_read_steps(&r);
  }
  if (r.png) png_destroy_read_struct(&r.png, r.info ? &r.info : nullptr, nullptr);
  std::free(r.rows);
  std::free(r.rgba);
  std::fclose(r.file);
  if (!ok) {
    if (r.color) fbitmap_destroy(r.color);
    if (r.alpha) fbitmap_destroy(r.alpha);
    return 0;
  }
  *out_color = r.color;
  if (out_alpha) *out_alpha = r.alpha;
  return 1;
}

int pngimage_write(FBitmap* bitmap, const char* path) {
  FCHECK(bitmap != nullptr, "bitmap!=null");
  int bpp = fbitmap_get_bpp(bitmap);
  if ((bpp != 24 && bpp != 32) || !bitmap->pixels || !path) return 0;
  if (fbitmap_get_width(bitmap) < 1 || fbitmap_get_height(bitmap) < 1) return 0;

  std::unique_ptr<char[]> buffer(new (std::nothrow) char[kFileBufferBytes]);  // outlives the file
  FSafeFile out;
  PngWrite w{};
  w.bitmap = bitmap;
  w.file = fsafe_file_open(&out, path);
  if (!w.file) return 0;
  if (buffer) std::setvbuf(w.file, buffer.get(), _IOFBF, kFileBufferBytes);
  w.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, png_fail_quietly, png_warn_quietly);
  w.info = w.png ? png_create_info_struct(w.png) : nullptr;
  int ok = w.info && png_write_steps(&w);
  if (w.png) png_destroy_write_struct(&w.png, w.info ? &w.info : nullptr);
  return fsafe_file_commit(&out, ok);
}
