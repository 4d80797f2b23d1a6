// The bitmap unit: creation, description and release of FBitmap records, single-pixel
// access, the clipping of spans, rectangles and blits before they reach the per-format
// kernels (fbitmap_kernels*.cpp), and BMP writing.
//
// fbitmap_hline / vline / fill_rect -> clip -> FFillJob -> fbitmap_kernels_fill
// fbitmap_blit / _masked / _keyed   -> clip -> FBlitJob -> fbitmap_kernels_blit

#include "fbitmap.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "fbitmap_kernels.h"
#include "fbytes.h"
#include "fplatform.h"
#include "fsafe_file.h"

namespace {

// Information block offsets.
constexpr int kWidth = 4;
constexpr int kHeight = 8;
constexpr int kPlanes = 12;
constexpr int kBitCount = 14;
constexpr int kCompression = 16;
constexpr int kSizeImage = 20;
constexpr int kClrUsed = 32;

// The largest pixel buffer a bitmap may hold: biSizeImage is a 32-bit field, and a
// signed bound keeps every offset computation inside int arithmetic on the callers' side.
constexpr uint64_t kMaxImageBytes = 0x7FFFFFFF;

uint32_t row_bytes(int32_t bpp, int32_t width) {
  return static_cast<uint32_t>(((static_cast<uint64_t>(bpp) * width + 31) / 32) * 4);
}

uint32_t count_trailing_zeros(uint32_t mask) {
  if (mask == 0) return 0;
  uint32_t n = 0;
  while (!(mask & 1u)) {
    mask >>= 1;
    ++n;
  }
  return n;
}

// 8 minus the length of the run of one-bits that starts at the lowest set bit.
uint32_t mask_loss(uint32_t mask) {
  if (mask == 0) return 0;
  mask >>= count_trailing_zeros(mask);
  int32_t bits = 0;
  while (mask & 1u) {
    mask >>= 1;
    ++bits;
  }
  return static_cast<uint32_t>(8 - bits);
}

int32_t palette_entries(const uint8_t* info) {
  int32_t bpp = fbytes_get_u16(info + kBitCount);
  uint32_t used = fbytes_get_u32(info + kClrUsed);
  if (bpp > 8) return 0;
  if (used != 0 && used <= (1u << bpp)) return static_cast<int32_t>(used);
  return 1 << bpp;
}

}  // namespace

// ---- Creation and release -----------------------------------------------------------------

void fbitmap_describe(FBitmap* bitmap) {
  FCHECK(bitmap != nullptr, "bitmap!=null");
  const uint8_t* info = bitmap->info;
  if (!info) return;
  int32_t bpp = fbytes_get_u16(info + kBitCount);
  int32_t width = fbytes_get_i32(info + kWidth);
  uint32_t compression = fbytes_get_u32(info + kCompression);
  bitmap->stride = row_bytes(bpp, width < 0 ? 0 : width);
  if (compression == FBITMAP_BI_BITFIELDS) {
    uint32_t header = fbytes_get_u32(info);
    const uint8_t* masks = info + header;
    bitmap->red_mask = fbytes_get_u32(masks);
    bitmap->green_mask = fbytes_get_u32(masks + 4);
    bitmap->blue_mask = fbytes_get_u32(masks + 8);
    bitmap->red_shift = count_trailing_zeros(bitmap->red_mask);
    bitmap->green_shift = count_trailing_zeros(bitmap->green_mask);
    bitmap->blue_shift = count_trailing_zeros(bitmap->blue_mask);
    bitmap->red_loss = mask_loss(bitmap->red_mask);
    bitmap->green_loss = mask_loss(bitmap->green_mask);
    bitmap->blue_loss = mask_loss(bitmap->blue_mask);
  } else if (compression == FBITMAP_BI_RGB && bpp == 16) {
    bitmap->red_mask = 0xF800;
    bitmap->green_mask = 0x07E0;
    bitmap->blue_mask = 0x001F;
    bitmap->red_shift = 11;
    bitmap->green_shift = 5;
    bitmap->blue_shift = 0;
    bitmap->red_loss = 3;
    bitmap->green_loss = 2;
    bitmap->blue_loss = 3;
  } else if (compression == FBITMAP_BI_RGB && (bpp == 24 || bpp == 32)) {
    bitmap->red_mask = 0xFF0000;
    bitmap->green_mask = 0x00FF00;
    bitmap->blue_mask = 0x0000FF;
    bitmap->red_shift = 16;
    bitmap->green_shift = 8;
    bitmap->blue_shift = 0;
    bitmap->red_loss = bitmap->green_loss = bitmap->blue_loss = 0;
  }
}

int fbitmap_init_info(FBitmap* bitmap, int32_t width, int32_t height, int32_t bpp) {
  FCHECK(bitmap != nullptr, "bitmap!=null");
  *bitmap = FBitmap{};
  if (bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return 0;
  if (width < 0 || height == INT32_MIN) return 0;
  uint64_t rows = static_cast<uint64_t>(height < 0 ? -static_cast<int64_t>(height) : height);
  uint64_t image = static_cast<uint64_t>(row_bytes(bpp, width)) * rows;
  if (image > kMaxImageBytes) return 0;

  uint32_t extra = bpp == 16 ? 12 : 0;
  uint32_t palette = bpp == 8 ? 4 * 256 : 0;
  uint8_t* info = static_cast<uint8_t*>(std::calloc(1, FBITMAP_INFO_HEADER_SIZE + extra + palette));
  if (!info) return 0;
  fbytes_put_u32(info, FBITMAP_INFO_HEADER_SIZE);
  fbytes_put_i32(info + kWidth, width);
  fbytes_put_i32(info + kHeight, height);
  fbytes_put_u16(info + kPlanes, 1);
  fbytes_put_u16(info + kBitCount, static_cast<uint16_t>(bpp));
  fbytes_put_u32(info + kCompression, bpp == 16 ? FBITMAP_BI_BITFIELDS : FBITMAP_BI_RGB);
  fbytes_put_u32(info + kSizeImage, static_cast<uint32_t>(image));
  if (bpp == 16) {
    fbytes_put_u32(info + 40, 0xF800);
    fbytes_put_u32(info + 44, 0x07E0);
    fbytes_put_u32(info + 48, 0x001F);
  }
  if (bpp == 8) {
    for (int i = 0; i < 256; ++i) {
      uint8_t* entry = info + FBITMAP_INFO_HEADER_SIZE + 4 * i;
      entry[0] = entry[1] = entry[2] = static_cast<uint8_t>(i);
    }
  }
  bitmap->info = info;
  fbitmap_describe(bitmap);
  return 1;
}

int fbitmap_init(FBitmap* bitmap, int32_t width, int32_t height, int32_t bpp) {
  if (!fbitmap_init_info(bitmap, width, height, bpp)) return 0;
  uint32_t size = fbitmap_get_size_image(bitmap);
  // At least one byte, so that an empty bitmap still has a buffer to point at.
  bitmap->pixels = static_cast<uint8_t*>(std::malloc(size ? size : 1));
  if (!bitmap->pixels) {
    fbitmap_release(bitmap);
    return 0;
  }
  std::memset(bitmap->pixels, 0xFF, size);
  return 1;
}

FBitmap* fbitmap_create(int32_t width, int32_t height, int32_t bpp) {
  FBitmap* bitmap = new (std::nothrow) FBitmap{};
  if (!bitmap) return nullptr;
  if (!fbitmap_init(bitmap, width, height, bpp)) {
    delete bitmap;
    return nullptr;
  }
  return bitmap;
}

FBitmap* fbitmap_create_for_decoding(int32_t width, int32_t height, int32_t bpp) {
  FBitmap* bitmap = new (std::nothrow) FBitmap{};
  if (!bitmap) return nullptr;
  if (!fbitmap_init_info(bitmap, width, height, bpp)) {
    delete bitmap;
    return nullptr;
  }
  uint32_t size = fbitmap_get_size_image(bitmap);
  bitmap->pixels = static_cast<uint8_t*>(std::malloc(size ? size : 1));
  if (!bitmap->pixels) {
    fbitmap_destroy(bitmap);
    return nullptr;
  }
  size_t used = static_cast<size_t>(width) * static_cast<size_t>(bpp / 8);
  int32_t rows = height < 0 ? -height : height;
  if (used < bitmap->stride) {
    for (int32_t y = 0; y < rows; ++y) {
      std::memset(fbitmap_row(bitmap, y) + used, 0, bitmap->stride - used);
    }
  }
  return bitmap;
}

int fbitmap_copy_into(FBitmap* bitmap, const FBitmap* source) {
  FCHECK(bitmap != nullptr && source != nullptr, "bitmap!=null && srcbmp!=null");
  if (bitmap == source) return 1;
  fbitmap_release(bitmap);
  if (!source->info) return 0;
  uint32_t info_size = fbitmap_get_info_size(source);
  uint32_t image = fbitmap_get_size_image(source);
  uint8_t* info = static_cast<uint8_t*>(std::malloc(info_size));
  uint8_t* pixels = source->pixels ? static_cast<uint8_t*>(std::malloc(image ? image : 1)) : nullptr;
  if (!info || (source->pixels && !pixels)) {
    std::free(info);
    std::free(pixels);
    return 0;
  }
  std::memcpy(info, source->info, info_size);
  if (pixels) std::memcpy(pixels, source->pixels, image);
  fbitmap_adopt(bitmap, info, pixels);
  return 1;
}

FBitmap* fbitmap_clone(const FBitmap* source) {
  FCHECK(source != nullptr, "bitmap!=null");
  FBitmap* bitmap = new (std::nothrow) FBitmap{};
  if (!bitmap) return nullptr;
  if (!fbitmap_copy_into(bitmap, source)) {
    delete bitmap;
    return nullptr;
  }
  return bitmap;
}

void fbitmap_adopt(FBitmap* bitmap, uint8_t* info, uint8_t* pixels) {
  FCHECK(bitmap != nullptr, "bitmap!=null");
  *bitmap = FBitmap{};
  bitmap->info = info;
  bitmap->pixels = pixels;
  fbitmap_describe(bitmap);
}

void fbitmap_release(FBitmap* bitmap) {
  FCHECK(bitmap != nullptr, "bitmap!=null");
  std::free(bitmap->pixels);
  std::free(bitmap->info);
  *bitmap = FBitmap{};
}

void fbitmap_destroy(FBitmap* bitmap) {
  FCHECK(bitmap != nullptr, "bitmap!=null");
  fbitmap_release(bitmap);
  delete bitmap;
}

// ---- Queries ------------------------------------------------------------------------------

int32_t fbitmap_get_width(const FBitmap* bitmap) {
  FCHECK(bitmap != nullptr, "bitmap!=null");
  return bitmap->info ? fbytes_get_i32(bitmap->info + kWidth) : 0;
}

int32_t fbitmap_get_height(const FBitmap* bitmap) {
  FCHECK(bitmap != nullptr, "bitmap!=null");
  if (!bitmap->info) return 0;
  int32_t h = fbytes_get_i32(bitmap->info + kHeight);
  return h < 0 ? -h : h;
}

int32_t fbitmap_get_bpp(const FBitmap* bitmap) {
  FCHECK(bitmap != nullptr, "bitmap!=null");
  return bitmap->info ? fbytes_get_u16(bitmap->info + kBitCount) : 0;
}

uint32_t fbitmap_get_stride(const FBitmap* bitmap) {
  FCHECK(bitmap != nullptr, "bitmap!=null");
  return bitmap->stride;
}

int fbitmap_is_top_down(const FBitmap* bitmap) {
  FCHECK(bitmap != nullptr, "bitmap!=null");
  return bitmap->info && fbytes_get_i32(bitmap->info + kHeight) < 0 ? 1 : 0;
}

uint32_t fbitmap_get_compression(const FBitmap* bitmap) {
  FCHECK(bitmap != nullptr, "bitmap!=null");
  return bitmap->info ? fbytes_get_u32(bitmap->info + kCompression) : 0;
}

uint32_t fbitmap_get_size_image(const FBitmap* bitmap) {
  FCHECK(bitmap != nullptr, "bitmap!=null");
  // The pixel buffer always holds whole rows: stride x height, whatever biSizeImage says.
  return static_cast<uint32_t>(static_cast<uint64_t>(bitmap->stride) * fbitmap_get_height(bitmap));
}

uint32_t fbitmap_get_info_size(const FBitmap* bitmap) {
  FCHECK(bitmap != nullptr, "bitmap!=null");
  if (!bitmap->info) return 0;
  uint32_t size = fbytes_get_u32(bitmap->info);
  if (fbitmap_get_compression(bitmap) == FBITMAP_BI_BITFIELDS) size += 12;
  size += 4 * static_cast<uint32_t>(palette_entries(bitmap->info));
  return size;
}

int32_t fbitmap_get_color_count(const FBitmap* bitmap) {
  FCHECK(bitmap != nullptr, "bitmap!=null");
  if (!bitmap->info) return 0;
  uint32_t used = fbytes_get_u32(bitmap->info + kClrUsed);
  if (used != 0) return static_cast<int32_t>(used);
  switch (fbitmap_get_bpp(bitmap)) {
    case 1: return 2;
    case 4: return 16;
    case 8: return 256;
    default: return 0;
  }
}

const uint8_t* fbitmap_get_palette(const FBitmap* bitmap) {
  FCHECK(bitmap != nullptr, "bitmap!=null");
  if (!bitmap->info || fbitmap_get_bpp(bitmap) > 8) return nullptr;
  return bitmap->info + fbytes_get_u32(bitmap->info);
}

int fbitmap_is_rgb565(const FBitmap* bitmap) {
  FCHECK(bitmap != nullptr, "bitmap!=null");
  return fbitmap_get_bpp(bitmap) == 16 && bitmap->red_mask == 0xF800 &&
                 bitmap->green_mask == 0x07E0 && bitmap->blue_mask == 0x001F
             ? 1
             : 0;
}

uint8_t* fbitmap_row(const FBitmap* bitmap, int32_t y) {
  FCHECK(bitmap != nullptr, "bitmap!=null");
  int32_t height = fbitmap_get_height(bitmap);
  if (!bitmap->pixels || y < 0 || y >= height) return nullptr;
  int32_t r = fbitmap_is_top_down(bitmap) ? y : height - 1 - y;
  return bitmap->pixels + static_cast<size_t>(bitmap->stride) * r;
}

uint8_t* fbitmap_pixel_address(const FBitmap* bitmap, int32_t x, int32_t y) {
  FCHECK(bitmap != nullptr, "bitmap!=null");
  if (x < 0 || x >= fbitmap_get_width(bitmap)) return nullptr;
  uint8_t* row = fbitmap_row(bitmap, y);
  if (!row) return nullptr;
  return row + (static_cast<size_t>(fbitmap_get_bpp(bitmap)) * x) / 8;
}

uint32_t fbitmap_get_pixel(const FBitmap* bitmap, int32_t x, int32_t y) {
  uint8_t* p = fbitmap_pixel_address(bitmap, x, y);
  if (!p) return 0;
  switch (fbitmap_get_bpp(bitmap)) {
    case 1: return (*p >> (7 - (x & 7))) & 1u;
    case 4: return (x & 1) ? (*p & 0x0F) : (*p >> 4);
    case 8: return *p;
    case 16: return fbytes_get_u16(p);
    case 24: return p[0] | (p[1] << 8) | (p[2] << 16);
    case 32: return fbytes_get_u32(p);
    default: return 0;
  }
}

int fbitmap_get_rgba(const FBitmap* bitmap, int32_t x, int32_t y, uint8_t out[4]) {
  uint8_t* p = fbitmap_pixel_address(bitmap, x, y);
  if (!p) return 0;
  int32_t bpp = fbitmap_get_bpp(bitmap);
  if (bpp <= 8) {
    uint32_t index = fbitmap_get_pixel(bitmap, x, y);
    if (static_cast<int32_t>(index) >= palette_entries(bitmap->info)) index = 0;
    const uint8_t* entry = fbitmap_get_palette(bitmap) + 4 * index;
    std::memcpy(out, entry, 4);
    return 1;
  }
  uint32_t compression = fbitmap_get_compression(bitmap);
  if (bpp == 24 || (bpp == 32 && compression == FBITMAP_BI_RGB)) {
    out[0] = p[0];
    out[1] = p[1];
    out[2] = p[2];
    if (bpp == 32) out[3] = p[3];
    return 1;
  }
  uint32_t pixel = fbitmap_get_pixel(bitmap, x, y);
  out[0] = static_cast<uint8_t>(((pixel & bitmap->blue_mask) >> bitmap->blue_shift) << bitmap->blue_loss);
  out[1] = static_cast<uint8_t>(((pixel & bitmap->green_mask) >> bitmap->green_shift) << bitmap->green_loss);
  out[2] = static_cast<uint8_t>(((pixel & bitmap->red_mask) >> bitmap->red_shift) << bitmap->red_loss);
  return 1;
}

// ---- Drawing ------------------------------------------------------------------------------

int fbitmap_set_pixel(FBitmap* bitmap, int32_t x, int32_t y, uint32_t raw) {
  uint8_t* p = fbitmap_pixel_address(bitmap, x, y);
  if (!p) return 0;
  switch (fbitmap_get_bpp(bitmap)) {
    case 1: {
      uint8_t bit = static_cast<uint8_t>(0x80 >> (x & 7));
      *p = static_cast<uint8_t>((raw & 1u) ? (*p | bit) : (*p & ~bit));
      return 1;
    }
    case 4:
      *p = (x & 1) ? static_cast<uint8_t>((*p & 0xF0) | (raw & 0x0F))
                   : static_cast<uint8_t>((*p & 0x0F) | ((raw & 0x0F) << 4));
      return 1;
    case 8: *p = static_cast<uint8_t>(raw); return 1;
    case 16: fbytes_put_u16(p, static_cast<uint16_t>(raw)); return 1;
    case 24:
      p[0] = static_cast<uint8_t>(raw);
      p[1] = static_cast<uint8_t>(raw >> 8);
      p[2] = static_cast<uint8_t>(raw >> 16);
      return 1;
    case 32: fbytes_put_u32(p, raw); return 1;
    default: return 0;
  }
}

int fbitmap_blend_pixel(FBitmap* bitmap, int32_t x, int32_t y, FColor color) {
  uint8_t* p = fbitmap_pixel_address(bitmap, x, y);
  if (!p) return 0;
  int32_t bpp = fbitmap_get_bpp(bitmap);
  if (bpp <= 8) return 0;
  uint32_t a = fcolor_alpha(color);
  uint32_t r = fcolor_red(color), g = fcolor_green(color), b = fcolor_blue(color);
  bool direct = bpp == 24 || (bpp == 32 && fbitmap_get_compression(bitmap) == FBITMAP_BI_RGB);
  if (a != 255) {
    uint8_t old[4];
    fbitmap_get_rgba(bitmap, x, y, old);
    b = (old[0] * (255 - a) + b * a) >> 8;
    g = (old[1] * (255 - a) + g * a) >> 8;
    r = (old[2] * (255 - a) + r * a) >> 8;
  }
  if (direct) {
    p[0] = static_cast<uint8_t>(b);
    p[1] = static_cast<uint8_t>(g);
    p[2] = static_cast<uint8_t>(r);
    // A plain 32-bit pixel is stored opaque: the painting is an opaque ARGB32 raster.
    if (bpp == 32) p[3] = 0xFF;
    return 1;
  }
  uint32_t masks = bitmap->red_mask | bitmap->green_mask | bitmap->blue_mask;
  uint32_t packed = (((r >> bitmap->red_loss) << bitmap->red_shift) & bitmap->red_mask) |
                    (((g >> bitmap->green_loss) << bitmap->green_shift) & bitmap->green_mask) |
                    (((b >> bitmap->blue_loss) << bitmap->blue_shift) & bitmap->blue_mask);
  uint32_t old = fbitmap_get_pixel(bitmap, x, y);
  return fbitmap_set_pixel(bitmap, x, y, (old & ~masks) | packed);
}

namespace {

bool fill_depth_ok(const FBitmap* bitmap) {
  if (!bitmap->pixels) return false;
  FPixelFormat format = fbitmap_pixel_format(bitmap);
  return format == FPixelFormat::rgb565 || format == FPixelFormat::rgb555 ||
         format == FPixelFormat::rgb24 || format == FPixelFormat::rgb32;
}

// Clamps an inclusive span [a, b] (either order) to 0..limit-1. False when both ends lie
// on the same side outside.
bool clamp_span(int32_t& a, int32_t& b, int32_t limit) {
  if ((a < 0 && b < 0) || (a >= limit && b >= limit)) return false;
  if (a > b) std::swap(a, b);
  a = std::max(a, 0);
  b = std::min(b, limit - 1);
  return a <= b;
}

}  // namespace

int fbitmap_hline(FBitmap* bitmap, int32_t x1, int32_t x2, int32_t y, FColor color) {
  FCHECK(bitmap != nullptr, "bitmap!=null");
  if (!fill_depth_ok(bitmap)) return 0;
  if (y < 0 || y >= fbitmap_get_height(bitmap)) return 1;
  if (!clamp_span(x1, x2, fbitmap_get_width(bitmap))) return 1;
  fbitmap_kernels_fill(FFillJob{bitmap, x1, y, x2 - x1 + 1, 1, color});
  return 1;
}

int fbitmap_vline(FBitmap* bitmap, int32_t x, int32_t y1, int32_t y2, FColor color) {
  FCHECK(bitmap != nullptr, "bitmap!=null");
  if (!fill_depth_ok(bitmap)) return 0;
  if (x < 0 || x >= fbitmap_get_width(bitmap)) return 1;
  if (!clamp_span(y1, y2, fbitmap_get_height(bitmap))) return 1;
  fbitmap_kernels_fill(FFillJob{bitmap, x, y1, 1, y2 - y1 + 1, color});
  return 1;
}

int fbitmap_fill_rect(FBitmap* bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                      FColor color) {
  FCHECK(bitmap != nullptr, "bitmap!=null");
  if (!fill_depth_ok(bitmap)) return 0;
  if (!clamp_span(x1, x2, fbitmap_get_width(bitmap))) return 1;
  if (!clamp_span(y1, y2, fbitmap_get_height(bitmap))) return 1;
  fbitmap_kernels_fill(FFillJob{bitmap, x1, y1, x2 - x1 + 1, y2 - y1 + 1, color});
  return 1;
}

namespace {

// Clips a blit against both bitmaps. Returns -1 when nothing may be drawn (result 0),
// 0 when the clipped area is empty (result 1), 1 when `job` holds work.
int clip_blit(FBlitJob& job, FPoint dst_point, FRect src_rect) {
  FRect s = frect_normalized(src_rect);
  if (s.right < 0 || s.bottom < 0) return -1;
  int64_t dx = dst_point.x, dy = dst_point.y;
  int64_t left = s.left, top = s.top, right = s.right, bottom = s.bottom;
  if (dx < 0) {
    left -= dx;
    dx = 0;
  }
  if (dy < 0) {
    top -= dy;
    dy = 0;
  }
  if (left < 0) {
    dx -= left;
    left = 0;
  }
  if (top < 0) {
    dy -= top;
    top = 0;
  }
  FPixelFormat dst_format = fbitmap_pixel_format(job.dst);
  FPixelFormat src_format = fbitmap_pixel_format(job.src);
  if (dst_format == FPixelFormat::pal8 || dst_format == FPixelFormat::unsupported ||
      src_format == FPixelFormat::unsupported || !job.dst->pixels || !job.src->pixels) {
    return -1;
  }
  if (job.op == FBlitOp::masked) {
    if (!job.mask || !job.mask->pixels || fbitmap_get_bpp(job.mask) != 8 ||
        fbitmap_get_width(job.mask) != fbitmap_get_width(job.src) ||
        fbitmap_get_height(job.mask) != fbitmap_get_height(job.src)) {
      return -1;
    }
  }
  int64_t w = right - left + 1;
  int64_t h = bottom - top + 1;
  w = std::min<int64_t>(w, fbitmap_get_width(job.src) - left);
  w = std::min<int64_t>(w, fbitmap_get_width(job.dst) - dx);
  h = std::min<int64_t>(h, fbitmap_get_height(job.src) - top);
  h = std::min<int64_t>(h, fbitmap_get_height(job.dst) - dy);
  if (w <= 0 || h <= 0) return 0;
  job.dst_x = static_cast<int32_t>(dx);
  job.dst_y = static_cast<int32_t>(dy);
  job.src_x = static_cast<int32_t>(left);
  job.src_y = static_cast<int32_t>(top);
  job.width = static_cast<int32_t>(w);
  job.height = static_cast<int32_t>(h);
  return 1;
}

int run_blit(FBlitJob& job, FPoint dst_point, FRect src_rect) {
  int clipped = clip_blit(job, dst_point, src_rect);
  if (clipped < 0) return 0;
  if (clipped > 0) fbitmap_kernels_blit(job);
  return 1;
}

}  // namespace

int fbitmap_blit(FBitmap* dst, FPoint dst_point, const FBitmap* src, FRect src_rect,
                 uint8_t opacity) {
  FCHECK(dst != nullptr && src != nullptr, "dst_bmp!=null && src_bmp!=null");
  FBlitJob job{FBlitOp::plain, dst, 0, 0, src, 0, 0, 0, 0, nullptr, FCOLOR_KEY_NONE, opacity};
  return run_blit(job, dst_point, src_rect);
}

int fbitmap_blit_masked(FBitmap* dst, FPoint dst_point, const FBitmap* src, FRect src_rect,
                        const FBitmap* mask, uint8_t opacity) {
  FCHECK(dst != nullptr && src != nullptr, "dst_bmp!=null && src_bmp!=null");
  FBlitJob job{FBlitOp::masked, dst, 0, 0, src, 0, 0, 0, 0, mask, FCOLOR_KEY_NONE, opacity};
  return run_blit(job, dst_point, src_rect);
}

int fbitmap_blit_keyed(FBitmap* dst, FPoint dst_point, const FBitmap* src, FRect src_rect,
                       int32_t key, uint8_t opacity) {
  FCHECK(dst != nullptr && src != nullptr, "dst_bmp!=null && src_bmp!=null");
  FBlitJob job{FBlitOp::keyed, dst, 0, 0, src, 0, 0, 0, 0, nullptr, key, opacity};
  return run_blit(job, dst_point, src_rect);
}

FPixelFormat fbitmap_pixel_format(const FBitmap* bitmap) {
  FCHECK(bitmap != nullptr, "bitmap!=null");
  switch (fbitmap_get_bpp(bitmap)) {
    case 8: return FPixelFormat::pal8;
    case 16: return fbitmap_is_rgb565(bitmap) ? FPixelFormat::rgb565 : FPixelFormat::rgb555;
    case 24: return FPixelFormat::rgb24;
    case 32: return FPixelFormat::rgb32;
    default: return FPixelFormat::unsupported;
  }
}

// ---- Files --------------------------------------------------------------------------------

int fbitmap_save_bmp(const FBitmap* bitmap, const char* path) {
  FCHECK(bitmap != nullptr, "bitmap!=null");
  if (!path || !bitmap->info || !bitmap->pixels) return 0;
  uint32_t header = fbytes_get_u32(bitmap->info);
  uint32_t extra = fbitmap_get_compression(bitmap) == FBITMAP_BI_BITFIELDS ? 12 : 0;
  uint32_t colors = fbitmap_get_bpp(bitmap) <= 8 ? static_cast<uint32_t>(palette_entries(bitmap->info)) : 0;
  uint32_t info_size = header + 4 * colors + extra;
  uint32_t image = fbitmap_get_size_image(bitmap);
  uint8_t file_header[14] = {};
  fbytes_put_u16(file_header, 0x4D42);
  fbytes_put_u32(file_header + 2, image + info_size + 14);
  fbytes_put_u32(file_header + 10, info_size + 14);

  FSafeFile out;
  std::FILE* file = fsafe_file_open(&out, path);
  if (!file) return 0;
  bool ok = std::fwrite(file_header, 1, sizeof file_header, file) == sizeof file_header &&
            std::fwrite(bitmap->info, 1, info_size, file) == info_size &&
            std::fwrite(bitmap->pixels, 1, image, file) == image;
  return fsafe_file_commit(&out, ok);
}
