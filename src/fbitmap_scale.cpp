// Nearest-neighbour scaling of bitmaps: thumbnails, a picture fitted into the painting,
// and the base picture stretched over a zoomed painting all come through here. Rows are
// addressed in image order, so the result is upright whatever the two row orders.

#include <cstring>
#include <memory>
#include <new>

#include "fbitmap.h"
#include "fbitmap_kernels.h"
#include "fplatform.h"

namespace {

// Source column for every destination column: the destination pixel's left edge mapped
// back into the source, truncated.
std::unique_ptr<int32_t[]> column_map(int32_t dst_width, int32_t src_width) {
  std::unique_ptr<int32_t[]> map(new (std::nothrow) int32_t[dst_width > 0 ? dst_width : 1]);
  if (!map) return map;
  for (int32_t x = 0; x < dst_width; ++x) {
    map[x] = static_cast<int32_t>(static_cast<int64_t>(x) * src_width / dst_width);
  }
  return map;
}

void pack_pixel(FBitmap* dst, FPixelFormat format, uint8_t* p, const uint8_t bgra[4]) {
  switch (format) {
    case FPixelFormat::rgb565: {
      uint16_t v = static_cast<uint16_t>(((bgra[2] >> 3) << 11) | ((bgra[1] >> 2) << 5) | (bgra[0] >> 3));
      std::memcpy(p, &v, 2);
      break;
    }
    case FPixelFormat::rgb555: {
      uint16_t v = static_cast<uint16_t>(((bgra[2] >> 3) << 10) | ((bgra[1] >> 3) << 5) | (bgra[0] >> 3));
      std::memcpy(p, &v, 2);
      break;
    }
    case FPixelFormat::rgb24:
      std::memcpy(p, bgra, 3);
      break;
    default:
      std::memcpy(p, bgra, 4);
      break;
  }
  (void)dst;
}

}  // namespace

int fbitmap_scale_into(FBitmap* dst, const FBitmap* src) {
  FCHECK(dst != nullptr && src != nullptr, "dst_bmp!=null && src_bmp!=null");
  FPixelFormat dst_format = fbitmap_pixel_format(dst);
  if (dst_format == FPixelFormat::pal8 || dst_format == FPixelFormat::unsupported) return 0;
  if (!dst->pixels || !src->pixels) return 0;
  int32_t dw = fbitmap_get_width(dst), dh = fbitmap_get_height(dst);
  int32_t sw = fbitmap_get_width(src), sh = fbitmap_get_height(src);
  if (dw <= 0 || dh <= 0 || sw <= 0 || sh <= 0) return 0;
  std::unique_ptr<int32_t[]> columns = column_map(dw, sw);
  if (!columns) return 0;
  bool same32 = dst_format == FPixelFormat::rgb32 && fbitmap_pixel_format(src) == FPixelFormat::rgb32;
  int32_t dst_bytes = fbitmap_get_bpp(dst) / 8;
  for (int32_t y = 0; y < dh; ++y) {
    int32_t sy = static_cast<int32_t>(static_cast<int64_t>(y) * sh / dh);
    uint8_t* out = fbitmap_row(dst, y);
    if (same32) {
      const uint32_t* in = reinterpret_cast<const uint32_t*>(fbitmap_row(src, sy));
      uint32_t* o = reinterpret_cast<uint32_t*>(out);
      for (int32_t x = 0; x < dw; ++x) o[x] = in[columns[x]];
      continue;
    }
    for (int32_t x = 0; x < dw; ++x) {
      // Opaque unless the source carries a fourth byte of its own.
      uint8_t bgra[4] = {0, 0, 0, 0xFF};
      fbitmap_get_rgba(src, columns[x], sy, bgra);
      if (fbitmap_get_bpp(src) <= 8) bgra[3] = 0xFF;
      pack_pixel(dst, dst_format, out + x * dst_bytes, bgra);
    }
  }
  return 1;
}

FBitmap* fbitmap_scale(const FBitmap* src, int32_t width, int32_t height, FBitmapScale mode,
                       FBitmapRows rows) {
  FCHECK(src != nullptr, "bitmap!=null");
  int32_t sw = fbitmap_get_width(src), sh = fbitmap_get_height(src);
  if (width < 1 || height < 1 || sw < 1 || sh < 1) return nullptr;
  if (mode == FBitmapScale::keep_ratio) {
    // The larger relative side fills its limit; the other follows, at least one pixel.
    if (static_cast<int64_t>(sw) * height > static_cast<int64_t>(sh) * width) {
      height = static_cast<int32_t>(std::max<int64_t>(1, static_cast<int64_t>(sh) * width / sw));
    } else {
      width = static_cast<int32_t>(std::max<int64_t>(1, static_cast<int64_t>(sw) * height / sh));
    }
  }
  FBitmap* result = fbitmap_create(width, rows == FBitmapRows::top_down ? -height : height, 32);
  if (!result) return nullptr;
  if (!fbitmap_scale_into(result, src)) {
    fbitmap_destroy(result);
    return nullptr;
  }
  return result;
}
