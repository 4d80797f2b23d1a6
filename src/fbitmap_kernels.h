// Internal to the bitmap unit: the clipped jobs that the public span, rectangle and blit
// operations hand to the per-format kernels, and the plain per-pixel reference path that
// proves them. Callers outside the bitmap unit use fbitmap.h.
#pragma once

#include <cstdint>

#include "fbitmap.h"

// Pixel formats the kernels tell apart. 16-bit bitmaps are RGB565 only with exactly the
// 0xF800/0x07E0/0x001F masks; every other 16-bit bitmap is treated as 5-5-5.
enum class FPixelFormat : uint8_t { pal8, rgb565, rgb555, rgb24, rgb32, unsupported };
FPixelFormat fbitmap_pixel_format(const FBitmap* bitmap);

enum class FBlitOp : uint8_t { plain, masked, keyed };

// A blit already clipped to both bitmaps: width and height are at least 1 and every
// addressed pixel lies inside its bitmap. The mask (8 bpp, the source's size) is read at
// the source coordinates. Destination is rgb565/rgb555/rgb24/rgb32; source any but
// unsupported.
struct FBlitJob {
  FBlitOp op;
  FBitmap* dst;
  int32_t dst_x, dst_y;
  const FBitmap* src;
  int32_t src_x, src_y;
  int32_t width, height;
  const FBitmap* mask;  // masked blits only
  int32_t key;          // keyed blits only: COLORREF or FCOLOR_KEY_NONE
  uint8_t opacity;
};

// A solid fill already clipped to the bitmap (width, height >= 1), destination
// rgb565/rgb555/rgb24/rgb32. Blends when the colour's alpha is below 255.
struct FFillJob {
  FBitmap* dst;
  int32_t x, y, width, height;
  FColor color;
};

// The specialised kernels, chosen once per call from a table.
void fbitmap_kernels_blit(const FBlitJob& job);
void fbitmap_kernels_fill(const FFillJob& job);

// Which path fbitmap_kernels_blit/fill take. Tests switch to the reference to compute the
// expected bytes through the same public calls; the program never leaves `specialised`.
enum class FKernelPath : uint8_t { specialised, reference };
void fbitmap_kernels_set_path(FKernelPath path);

// Palette entries an 8-bit bitmap really holds: biClrUsed when it is 1..256, else 256.
// Indices at or beyond it read as entry 0, as fbitmap_get_rgba does.
int32_t fbitmap_palette_entries(const FBitmap* bitmap);

// The per-pixel reference: slow, obviously right, used by the tests to check the kernels
// byte for byte.
void fbitmap_reference_blit(const FBlitJob& job);
void fbitmap_reference_fill(const FFillJob& job);
