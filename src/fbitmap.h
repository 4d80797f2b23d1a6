// FBitmap: the framework's pixel buffer, laid out as a Windows device-independent bitmap
// (an information block plus a separate pixel buffer, rows padded to 4 bytes), with the
// per-format span and blit kernels that every drawing layer stands on.
#pragma once

#include <cstdint>

#include "frect.h"

// 0xAARRGGBB; in memory the bytes blue, green, red, alpha. Alpha 255 is opaque.
using FColor = uint32_t;

inline FColor fcolor_make(uint8_t red, uint8_t green, uint8_t blue, uint8_t alpha) {
  return (static_cast<uint32_t>(alpha) << 24) | (static_cast<uint32_t>(red) << 16) |
         (static_cast<uint32_t>(green) << 8) | blue;
}
inline uint8_t fcolor_alpha(FColor c) { return static_cast<uint8_t>(c >> 24); }
inline uint8_t fcolor_red(FColor c) { return static_cast<uint8_t>(c >> 16); }
inline uint8_t fcolor_green(FColor c) { return static_cast<uint8_t>(c >> 8); }
inline uint8_t fcolor_blue(FColor c) { return static_cast<uint8_t>(c); }

// Colour keys are COLORREF values: red in the low byte, then green, then blue; -1 = none.
constexpr int32_t FCOLOR_KEY_NONE = -1;
inline int32_t fcolor_key_make(uint8_t red, uint8_t green, uint8_t blue) {
  return red | (green << 8) | (blue << 16);
}

// Sizes of the information block pieces.
constexpr uint32_t FBITMAP_INFO_HEADER_SIZE = 40;
constexpr uint32_t FBITMAP_BI_RGB = 0;
constexpr uint32_t FBITMAP_BI_BITFIELDS = 3;

struct FBitmap {
  uint8_t* info;  // owned (not owned for bitmaps handed out by resource files):
                  // BITMAPINFOHEADER, then the three masks (bit fields) or the palette
  uint32_t stride;  // bytes per row, padded to 4
  uint32_t red_mask, green_mask, blue_mask;
  uint32_t red_shift, green_shift, blue_shift;  // position of each mask's lowest bit
  uint32_t red_loss, green_loss, blue_loss;     // 8 minus the bits of each mask
  uint8_t* pixels;  // owned like info; null for a record that only describes a format
};

// ---- Creation and release ---------------------------------------------------------------
// A negative height stores rows top-down, a positive one bottom-up. bpp is 8, 16, 24 or 32
// (16 bpp is RGB565 with bit fields; 8 bpp gets a grey-ramp palette).
int fbitmap_init_info(FBitmap* bitmap, int32_t width, int32_t height, int32_t bpp);
// As fbitmap_init_info, plus a pixel buffer filled with 0xFF (white).
int fbitmap_init(FBitmap* bitmap, int32_t width, int32_t height, int32_t bpp);
// New heap record (destroy with fbitmap_destroy) or null.
FBitmap* fbitmap_create(int32_t width, int32_t height, int32_t bpp);
// Like fbitmap_create but the pixels are left unwritten except the row padding (zeroed, so
// no stale memory reaches a file written later): for decoders about to write every pixel,
// where the white fill would be one more pass over the picture. 8 bpp or more.
FBitmap* fbitmap_create_for_decoding(int32_t width, int32_t height, int32_t bpp);
// Deep copy of information block and pixels; on failure `bitmap` is left released.
int fbitmap_copy_into(FBitmap* bitmap, const FBitmap* source);
// New heap record holding a deep copy, or null. The caller destroys it.
FBitmap* fbitmap_clone(const FBitmap* source);
// Takes an information block (and pixels) built elsewhere, e.g. by a picture reader:
// fills the channel description from the block. Takes ownership of both.
void fbitmap_adopt(FBitmap* bitmap, uint8_t* info, uint8_t* pixels);
// Fills stride and the channel description (masks, shifts, losses) from `info`.
void fbitmap_describe(FBitmap* bitmap);

// ---- Queries ----------------------------------------------------------------------------
int32_t fbitmap_get_width(const FBitmap* bitmap);
int32_t fbitmap_get_height(const FBitmap* bitmap);  // always positive
int32_t fbitmap_get_bpp(const FBitmap* bitmap);
uint32_t fbitmap_get_stride(const FBitmap* bitmap);
int fbitmap_is_top_down(const FBitmap* bitmap);
uint32_t fbitmap_get_compression(const FBitmap* bitmap);
uint32_t fbitmap_get_size_image(const FBitmap* bitmap);  // biSizeImage
uint32_t fbitmap_get_info_size(const FBitmap* bitmap);   // header + masks + palette bytes
int32_t fbitmap_get_color_count(const FBitmap* bitmap);
// The palette's first entry (blue, green, red, 0 each), or null above 8 bpp.
const uint8_t* fbitmap_get_palette(const FBitmap* bitmap);
// 1 for 16-bit bitmaps with exactly the 0xF800/0x07E0/0x001F masks.
int fbitmap_is_rgb565(const FBitmap* bitmap);

uint8_t* fbitmap_row(const FBitmap* bitmap, int32_t y);  // null outside 0..height-1
uint8_t* fbitmap_pixel_address(const FBitmap* bitmap, int32_t x, int32_t y);
uint32_t fbitmap_get_pixel(const FBitmap* bitmap, int32_t x, int32_t y);  // raw; 0 outside
// out = blue, green, red, fourth byte. Returns 0 outside the bitmap.
int fbitmap_get_rgba(const FBitmap* bitmap, int32_t x, int32_t y, uint8_t out[4]);

// ---- Drawing ----------------------------------------------------------------------------
int fbitmap_set_pixel(FBitmap* bitmap, int32_t x, int32_t y, uint32_t raw);
int fbitmap_blend_pixel(FBitmap* bitmap, int32_t x, int32_t y, FColor color);
int fbitmap_hline(FBitmap* bitmap, int32_t x1, int32_t x2, int32_t y, FColor color);
int fbitmap_vline(FBitmap* bitmap, int32_t x, int32_t y1, int32_t y2, FColor color);
int fbitmap_fill_rect(FBitmap* bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                      FColor color);

// Blits: `src_rect` is inclusive and normalised by the call; opacity 0..255.
int fbitmap_blit(FBitmap* dst, FPoint dst_point, const FBitmap* src, FRect src_rect,
                 uint8_t opacity);
int fbitmap_blit_masked(FBitmap* dst, FPoint dst_point, const FBitmap* src, FRect src_rect,
                        const FBitmap* mask, uint8_t opacity);
// `key` is a COLORREF (FCOLOR_KEY_NONE for none). With no key and opacity 255 this is an
// exact copy.
int fbitmap_blit_keyed(FBitmap* dst, FPoint dst_point, const FBitmap* src, FRect src_rect,
                       int32_t key, uint8_t opacity);

// ---- Scaling (nearest neighbour) ---------------------------------------------------------
enum class FBitmapScale {
  exact,     // to exactly width x height
  keep_ratio  // the largest size that fits inside width x height with the aspect ratio kept
};
enum class FBitmapRows { top_down, bottom_up };
// New 32-bit bitmap holding `src` scaled, upright whatever the row orders. The caller
// destroys it. Null when a size is below 1 or memory is short.
FBitmap* fbitmap_scale(const FBitmap* src, int32_t width, int32_t height, FBitmapScale mode,
                       FBitmapRows rows);
// Scales the whole of `src` onto the whole of `dst` (16/24/32 bpp destinations).
int fbitmap_scale_into(FBitmap* dst, const FBitmap* src);

// ---- Files ------------------------------------------------------------------------------
// The largest picture the readers accept (BMP, PNG, JPEG, GIF): 64 megapixels, 256 MiB
// as a 32-bit painting. Larger pictures are refused before their pixels are allocated.
constexpr uint64_t FBITMAP_MAX_PICTURE_PIXELS = 64ull * 1024 * 1024;
// Reads a BMP file into `bitmap` (a record the caller owns; its old contents are not
// released): the information block and pixels as the file holds them, rows in the file's
// order, palettes kept. Uncompressed and bit-field files only. 1, or 0 with the record
// cleared; header fields are checked before anything is allocated.
int fbitmap_load_bmp(FBitmap* bitmap, const char* path);
// Writes a BMP file: file header, the information block and the pixels as they are in
// memory. Written beside the target and renamed over it only when complete.
int fbitmap_save_bmp(const FBitmap* bitmap, const char* path);

// ---- Release ----------------------------------------------------------------------------
void fbitmap_release(FBitmap* bitmap);  // frees pixels and info, zeroes the record
void fbitmap_destroy(FBitmap* bitmap);  // release and free the record
