// The per-pixel reference path of the bitmap kernels: every pixel is read, converted,
// blended and written through small general functions with a format switch per pixel.
// It is slow on purpose and written to be checked by eye; the tests run random jobs
// through it and through the specialised kernels and compare every byte.

#include <cstring>

#include "fbitmap_kernels.h"

namespace {

// A pixel split into channels at the precision of some format: 5/6/5 bits for RGB565,
// 5/5/5 for 5-5-5, 8/8/8 otherwise.
struct Channels {
  uint32_t r, g, b;
};

const uint8_t* src_pixel(const FBitmap* bitmap, int32_t x, int32_t y) {
  return fbitmap_pixel_address(bitmap, x, y);
}

// A palette shorter than 256 entries (biClrUsed) reads indices past its end as entry 0.
const uint8_t* palette_entry(const FBitmap* bitmap, uint8_t index) {
  return fbitmap_get_palette(bitmap) + 4 * (index < fbitmap_palette_entries(bitmap) ? index : 0);
}

// Reads a source pixel as 8-bit channels the way the kernels widen them.
Channels read_wide(const FBitmap* src, FPixelFormat format, int32_t x, int32_t y) {
  const uint8_t* p = src_pixel(src, x, y);
  switch (format) {
    case FPixelFormat::pal8: {
      const uint8_t* entry = palette_entry(src, p[0]);
      return {entry[2], entry[1], entry[0]};
    }
    case FPixelFormat::rgb565: {
      uint32_t v = p[0] | (p[1] << 8);
      return {((v >> 11) & 31) << 3, ((v >> 5) & 63) << 2, (v & 31) << 3};
    }
    case FPixelFormat::rgb555: {
      uint32_t v = p[0] | (p[1] << 8);
      return {(v >> 7) & 0xF8, (v >> 2) & 0xF8, (v & 31) << 3};
    }
    default: return {p[2], p[1], p[0]};
  }
}

// Reads a source pixel converted to the channel precision of the destination format.
Channels read_as(const FBitmap* src, FPixelFormat src_format, FPixelFormat dst_format,
                 int32_t x, int32_t y) {
  const uint8_t* p = src_pixel(src, x, y);
  if (src_format == FPixelFormat::rgb565 || src_format == FPixelFormat::rgb555) {
    uint32_t v = p[0] | (p[1] << 8);
    bool six = src_format == FPixelFormat::rgb565;
    uint32_t r = six ? (v >> 11) & 31 : (v >> 10) & 31;
    uint32_t g = six ? (v >> 5) & 63 : (v >> 5) & 31;  // 6 or 5 bits
    uint32_t b = v & 31;
    if (dst_format == FPixelFormat::rgb565) return {r, six ? g : g << 1, b};
    if (dst_format == FPixelFormat::rgb555) return {r, six ? g >> 1 : g, b};
    return read_wide(src, src_format, x, y);
  }
  Channels c = read_wide(src, src_format, x, y);
  if (dst_format == FPixelFormat::rgb565) return {c.r >> 3, c.g >> 2, c.b >> 3};
  if (dst_format == FPixelFormat::rgb555) return {c.r >> 3, c.g >> 3, c.b >> 3};
  return c;
}

Channels read_dst(const FBitmap* dst, FPixelFormat format, int32_t x, int32_t y) {
  const uint8_t* p = fbitmap_pixel_address(dst, x, y);
  uint32_t v = p[0] | (p[1] << 8);
  switch (format) {
    case FPixelFormat::rgb565: return {(v >> 11) & 31, (v >> 5) & 63, v & 31};
    case FPixelFormat::rgb555: return {(v >> 10) & 31, (v >> 5) & 31, v & 31};
    default: return {p[2], p[1], p[0]};
  }
}

// Stores channels already in the destination's precision. The fourth byte of a 32-bit
// pixel is left as it was.
void write_dst(FBitmap* dst, FPixelFormat format, int32_t x, int32_t y, Channels c) {
  uint8_t* p = fbitmap_pixel_address(dst, x, y);
  switch (format) {
    case FPixelFormat::rgb565: {
      uint32_t v = (c.r << 11) | (c.g << 5) | c.b;
      p[0] = static_cast<uint8_t>(v);
      p[1] = static_cast<uint8_t>(v >> 8);
      break;
    }
    case FPixelFormat::rgb555: {
      uint32_t v = (c.r << 10) | (c.g << 5) | c.b;
      p[0] = static_cast<uint8_t>(v);
      p[1] = static_cast<uint8_t>(v >> 8);
      break;
    }
    default:
      p[0] = static_cast<uint8_t>(c.b);
      p[1] = static_cast<uint8_t>(c.g);
      p[2] = static_cast<uint8_t>(c.r);
      break;
  }
}

Channels blend(Channels src, Channels dst, uint32_t alpha) {
  return {(src.r * alpha + dst.r * (255 - alpha)) >> 8, (src.g * alpha + dst.g * (255 - alpha)) >> 8,
          (src.b * alpha + dst.b * (255 - alpha)) >> 8};
}

// The colour key in the source format's raw terms, compared with each source pixel.
bool key_matches(const FBitmap* src, FPixelFormat format, int32_t x, int32_t y, int32_t key) {
  if (key == FCOLOR_KEY_NONE) return false;
  uint32_t kr = key & 0xFF, kg = (key >> 8) & 0xFF, kb = (key >> 16) & 0xFF;
  const uint8_t* p = src_pixel(src, x, y);
  switch (format) {
    case FPixelFormat::pal8: {
      const uint8_t* entry = palette_entry(src, p[0]);
      return entry[2] == kr && entry[1] == kg && entry[0] == kb;
    }
    case FPixelFormat::rgb565:
      return static_cast<uint32_t>(p[0] | (p[1] << 8)) == (((kr >> 3) << 11) | ((kg >> 2) << 5) | (kb >> 3));
    case FPixelFormat::rgb555:
      return static_cast<uint32_t>((p[0] | (p[1] << 8)) & 0x7FFF) ==
             (((kr >> 3) << 10) | ((kg >> 3) << 5) | (kb >> 3));
    default: return p[2] == kr && p[1] == kg && p[0] == kb;
  }
}

uint32_t masked_alpha(uint32_t m, uint8_t opacity) {
  if (opacity == 255) return m;
  float factor = static_cast<float>(opacity) * 0.003921569f;
  return static_cast<uint32_t>(static_cast<float>(m) * factor);
}

}  // namespace

void fbitmap_reference_blit(const FBlitJob& job) {
  FPixelFormat dst_format = fbitmap_pixel_format(job.dst);
  FPixelFormat src_format = fbitmap_pixel_format(job.src);
  for (int32_t row = 0; row < job.height; ++row) {
    for (int32_t col = 0; col < job.width; ++col) {
      int32_t sx = job.src_x + col, sy = job.src_y + row;
      int32_t dx = job.dst_x + col, dy = job.dst_y + row;
      Channels s = read_as(job.src, src_format, dst_format, sx, sy);
      Channels d = read_dst(job.dst, dst_format, dx, dy);
      switch (job.op) {
        case FBlitOp::plain:
          write_dst(job.dst, dst_format, dx, dy, blend(s, d, job.opacity));
          break;
        case FBlitOp::masked: {
          uint32_t m = *fbitmap_pixel_address(job.mask, sx, sy);
          write_dst(job.dst, dst_format, dx, dy, blend(s, d, masked_alpha(m, job.opacity)));
          break;
        }
        case FBlitOp::keyed:
          if (key_matches(job.src, src_format, sx, sy, job.key)) break;
          if (job.opacity == 255) {
            write_dst(job.dst, dst_format, dx, dy, s);
            // An exact copy between 32-bit bitmaps carries the fourth byte too.
            if (dst_format == FPixelFormat::rgb32 && src_format == FPixelFormat::rgb32) {
              fbitmap_pixel_address(job.dst, dx, dy)[3] = src_pixel(job.src, sx, sy)[3];
            }
          } else {
            write_dst(job.dst, dst_format, dx, dy, blend(s, d, job.opacity));
          }
          break;
      }
    }
  }
}

void fbitmap_reference_fill(const FFillJob& job) {
  FPixelFormat format = fbitmap_pixel_format(job.dst);
  uint32_t a = fcolor_alpha(job.color);
  Channels wide{fcolor_red(job.color), fcolor_green(job.color), fcolor_blue(job.color)};
  Channels c = wide;
  if (format == FPixelFormat::rgb565) c = {wide.r >> 3, wide.g >> 2, wide.b >> 3};
  if (format == FPixelFormat::rgb555) c = {wide.r >> 3, wide.g >> 3, wide.b >> 3};
  for (int32_t y = job.y; y < job.y + job.height; ++y) {
    for (int32_t x = job.x; x < job.x + job.width; ++x) {
      if (a == 255) {
        write_dst(job.dst, format, x, y, c);
      } else {
        write_dst(job.dst, format, x, y, blend(c, read_dst(job.dst, format, x, y), a));
      }
    }
  }
}
