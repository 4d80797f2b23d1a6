// Internal to the bitmap kernels: the source pixel formats as small trait records, the one
// blend, and one template per operation over a destination and a source format. The
// destination traits live in their own files (fbitmap_kernels_565.cpp, _555, _24, _32),
// which instantiate these templates into their kernel tables; fbitmap_kernels.cpp picks a
// kernel from those tables once per call.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "fbitmap_kernels.h"

static_assert(std::endian::native == std::endian::little,
              "the kernels read 16- and 32-bit pixels as little-endian words");

// Kernel entry points are compiled twice on x86-64, for the baseline and for AVX2, and the
// loader picks one for the running processor: the plain loops below vectorise far better
// with AVX2's 32-bit multiplies and wider registers. They also ask for the vectoriser's full
// cost model: at -O2 it otherwise vectorises only loops that need no scalar remainder, and a
// row of any width needs one, so no row loop would be vectorised.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__)
#define FBITMAP_KERNEL \
  __attribute__((target_clones("avx2", "default"), optimize("vect-cost-model=dynamic")))
#elif defined(__GNUC__) && !defined(__clang__)
#define FBITMAP_KERNEL __attribute__((optimize("vect-cost-model=dynamic")))
#else
#define FBITMAP_KERNEL
#endif
// The per-pixel helpers must land inside each clone to be vectorised with its instruction set.
#if defined(__GNUC__)
#define FBITMAP_INLINE __attribute__((always_inline)) inline
#else
#define FBITMAP_INLINE inline
#endif

namespace fbitmap_kernels {

// ---- Pixels as channels ---------------------------------------------------------------------

// The channel precision a destination blends and stores in: 5/6/5 bits, 5/5/5 bits or 8 bits.
enum class Depth : uint8_t { rgb565, rgb555, rgb888 };

// A pixel's channels at some depth. Red and blue share one word in two 16-bit lanes
// (red << 16 | blue) so that one 32-bit multiply blends both: a lane's
// src x a + dst x (255 - a) is at most 255 x 255 < 65536 and never carries into the other.
struct Px {
  uint32_t rb;  // red << 16 | blue
  uint32_t g;   // green
};

// new = (src x a + dst x (255 - a)) >> 8 per channel, in the channels' own precision.
FBITMAP_INLINE Px blend(Px src, Px dst, uint32_t a) {
  uint32_t ia = 255 - a;
  return {((src.rb * a + dst.rb * ia) >> 8) & 0x00FF00FFu, (src.g * a + dst.g * ia) >> 8};
}

// 8-bit channels cut down to a depth by dropping their low bits.
template <Depth depth>
FBITMAP_INLINE Px px_from_rgb(uint32_t r, uint32_t g, uint32_t b) {
  if constexpr (depth == Depth::rgb565) return {((r >> 3) << 16) | (b >> 3), g >> 2};
  if constexpr (depth == Depth::rgb555) return {((r >> 3) << 16) | (b >> 3), g >> 3};
  return {(r << 16) | b, g};
}

FBITMAP_INLINE uint32_t load_u16(const uint8_t* p) {
  uint16_t v;
  std::memcpy(&v, p, 2);
  return v;
}
FBITMAP_INLINE void store_u16(uint8_t* p, uint32_t v) {
  uint16_t w = static_cast<uint16_t>(v);
  std::memcpy(p, &w, 2);
}
FBITMAP_INLINE uint32_t load_u32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}
FBITMAP_INLINE void store_u32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }

// ---- What a call prepares once --------------------------------------------------------------

struct FBlitContext {
  std::array<Px, 256> palette;         // 8-bit sources: entries at the destination's depth
  std::array<uint8_t, 256> key_hits;   // 8-bit sources with a key: 1 where the entry is the key
  std::array<uint8_t, 256> alpha;      // masked blits below opacity 255: alpha by mask byte
  uint32_t key;                        // other sources: the key in the source's raw terms
  uint32_t opacity;                    // 0..255, the job's
};

using FBlitKernel = void (*)(const FBlitJob& job, const FBlitContext& context);
using FFillKernel = void (*)(const FFillJob& job);

// The blit kernels one call may need. A keyed blit without key and below opacity 255 is a
// plain blend, so it has no entry of its own.
enum class FBlitKernelOp : uint8_t {
  blend,          // plain blit, and keyed without key below 255
  masked,         // masked at opacity 255: alpha is the mask byte
  masked_scaled,  // masked below 255: alpha from the per-call table
  copy,           // keyed without key at 255: an exact copy
  copy_keyed,     // keyed with key at 255
  blend_keyed,    // keyed with key below 255
  count
};
constexpr size_t kBlitKernelOps = static_cast<size_t>(FBlitKernelOp::count);
constexpr size_t kSourceFormats = 5;  // FPixelFormat::pal8 .. rgb32

enum class FFillKernelOp : uint8_t { solid, blend, count };
constexpr size_t kFillKernelOps = static_cast<size_t>(FFillKernelOp::count);

using FBlitKernelTable = std::array<std::array<FBlitKernel, kSourceFormats>, kBlitKernelOps>;
using FFillKernelTable = std::array<FFillKernel, kFillKernelOps>;

// ---- Source formats ---------------------------------------------------------------------------
// Each reads pixel x of a row as channels at the destination's depth, and tells whether it
// equals the colour key in the source's own raw terms.

struct SrcPal8 {
  static constexpr FPixelFormat format = FPixelFormat::pal8;
  static constexpr size_t bytes = 1;
  template <Depth>
  static FBITMAP_INLINE Px load(const uint8_t* row, int32_t x, const FBlitContext& context) {
    return context.palette[row[x]];
  }
  static FBITMAP_INLINE bool is_key(const uint8_t* row, int32_t x, const FBlitContext& context) {
    return context.key_hits[row[x]] != 0;
  }
};

struct SrcRgb565 {
  static constexpr FPixelFormat format = FPixelFormat::rgb565;
  static constexpr size_t bytes = 2;
  template <Depth depth>
  static FBITMAP_INLINE Px load(const uint8_t* row, int32_t x, const FBlitContext&) {
    return decode<depth>(load_u16(row + 2 * static_cast<size_t>(x)));
  }
  static FBITMAP_INLINE bool is_key(const uint8_t* row, int32_t x, const FBlitContext& context) {
    return load_u16(row + 2 * static_cast<size_t>(x)) == context.key;
  }
  template <Depth depth>
  static FBITMAP_INLINE Px decode(uint32_t v) {
    if constexpr (depth == Depth::rgb565) return {((v & 0xF800u) << 5) | (v & 0x1Fu), (v >> 5) & 0x3Fu};
    if constexpr (depth == Depth::rgb555) return {((v & 0xF800u) << 5) | (v & 0x1Fu), (v >> 6) & 0x1Fu};
    // Widened to 8 bits: 5-bit channels x 8, the 6-bit green x 4.
    return {((v & 0xF800u) << 8) | ((v & 0x1Fu) << 3), ((v >> 5) & 0x3Fu) << 2};
  }
};

// Every 16-bit format other than exact RGB565 is read as 5-5-5; bit 15 is not a channel.
struct SrcRgb555 {
  static constexpr FPixelFormat format = FPixelFormat::rgb555;
  static constexpr size_t bytes = 2;
  template <Depth depth>
  static FBITMAP_INLINE Px load(const uint8_t* row, int32_t x, const FBlitContext&) {
    return decode<depth>(load_u16(row + 2 * static_cast<size_t>(x)));
  }
  static FBITMAP_INLINE bool is_key(const uint8_t* row, int32_t x, const FBlitContext& context) {
    return (load_u16(row + 2 * static_cast<size_t>(x)) & 0x7FFFu) == context.key;
  }
  template <Depth depth>
  static FBITMAP_INLINE Px decode(uint32_t v) {
    if constexpr (depth == Depth::rgb565) return {((v & 0x7C00u) << 6) | (v & 0x1Fu), ((v >> 5) & 0x1Fu) << 1};
    if constexpr (depth == Depth::rgb555) return {((v & 0x7C00u) << 6) | (v & 0x1Fu), (v >> 5) & 0x1Fu};
    return {((v & 0x7C00u) << 9) | ((v & 0x1Fu) << 3), ((v >> 5) & 0x1Fu) << 3};
  }
};

struct SrcRgb24 {
  static constexpr FPixelFormat format = FPixelFormat::rgb24;
  static constexpr size_t bytes = 3;
  template <Depth depth>
  static FBITMAP_INLINE Px load(const uint8_t* row, int32_t x, const FBlitContext&) {
    return decode<depth>(row + 3 * static_cast<size_t>(x));
  }
  static FBITMAP_INLINE bool is_key(const uint8_t* row, int32_t x, const FBlitContext& context) {
    const uint8_t* p = row + 3 * static_cast<size_t>(x);
    return (p[0] | (p[1] << 8) | (static_cast<uint32_t>(p[2]) << 16)) == context.key;
  }
  template <Depth depth>
  static FBITMAP_INLINE Px decode(const uint8_t* p) {
    return px_from_rgb<depth>(p[2], p[1], p[0]);
  }
};

// The fourth byte is never a channel.
struct SrcRgb32 {
  static constexpr FPixelFormat format = FPixelFormat::rgb32;
  static constexpr size_t bytes = 4;
  template <Depth depth>
  static FBITMAP_INLINE Px load(const uint8_t* row, int32_t x, const FBlitContext&) {
    return decode<depth>(load_u32(row + 4 * static_cast<size_t>(x)));
  }
  static FBITMAP_INLINE bool is_key(const uint8_t* row, int32_t x, const FBlitContext& context) {
    return (load_u32(row + 4 * static_cast<size_t>(x)) & 0x00FFFFFFu) == context.key;
  }
  template <Depth depth>
  static FBITMAP_INLINE Px decode(uint32_t v) {
    if constexpr (depth == Depth::rgb565) return {(v >> 3) & 0x001F001Fu, (v >> 10) & 0x3Fu};
    if constexpr (depth == Depth::rgb555) return {(v >> 3) & 0x001F001Fu, (v >> 11) & 0x1Fu};
    return {v & 0x00FF00FFu, (v >> 8) & 0xFFu};
  }
};

// ---- Rows --------------------------------------------------------------------------------------

// The rows of a job, walked downwards in image order whatever the bitmap's row order: the
// first row comes from fbitmap_row, the others follow one signed stride apart, which spares
// a lookup per row on narrow, tall jobs.
struct RowWalk {
  uint8_t* first;  // the job's first pixel in its first row
  ptrdiff_t step;  // bytes from one image row to the next: negative for bottom-up rows
  FBITMAP_INLINE uint8_t* at(int32_t row) const { return first + step * row; }
};

FBITMAP_INLINE RowWalk walk_rows(const FBitmap* bitmap, int32_t x, int32_t y, size_t pixel_bytes) {
  ptrdiff_t stride = static_cast<ptrdiff_t>(bitmap->stride);
  return {fbitmap_row(bitmap, y) + pixel_bytes * static_cast<size_t>(x),
          fbitmap_is_top_down(bitmap) ? stride : -stride};
}

template <class D>
FBITMAP_INLINE RowWalk dst_rows(const FBlitJob& job) {
  return walk_rows(job.dst, job.dst_x, job.dst_y, D::bytes);
}
template <class S>
FBITMAP_INLINE RowWalk src_rows(const FBlitJob& job) {
  return walk_rows(job.src, job.src_x, job.src_y, S::bytes);
}
// The mask is read at the source's coordinates.
FBITMAP_INLINE RowWalk mask_rows(const FBlitJob& job) {
  return walk_rows(job.mask, job.src_x, job.src_y, 1);
}

// A copy between equal formats moves the raw bytes, the fourth byte of a 32-bit pixel
// included. Not 5-5-5: its stores clear bit 15.
template <class D, class S>
constexpr bool kRawCopy = D::format == S::format && D::format != FPixelFormat::rgb555;

// One source pixel stored unblended into one destination pixel. The general form goes
// through channels; a destination file may specialise it for a pair that deserves it.
template <class D, class S>
struct CopyPixel {
  static FBITMAP_INLINE void run(uint8_t* dst, const uint8_t* src_row, int32_t x,
                                 const FBlitContext& context) {
    D::store(dst, S::template load<D::depth>(src_row, x, context));
  }
};

// The pixel loops take restrict rows: the dispatcher never hands a kernel a source or mask
// that shares bytes with the destination.

template <class D, class S>
FBITMAP_INLINE void row_blend(uint8_t* __restrict dst, const uint8_t* __restrict src, int32_t width,
                              const FBlitContext& context, uint32_t a) {
  for (int32_t x = 0; x < width; ++x) {
    uint8_t* p = dst + D::bytes * static_cast<size_t>(x);
    D::store(p, blend(S::template load<D::depth>(src, x, context), D::load(p), a));
  }
}

template <class D, class S>
FBITMAP_INLINE void row_masked(uint8_t* __restrict dst, const uint8_t* __restrict src,
                               const uint8_t* __restrict alpha, int32_t width,
                               const FBlitContext& context) {
  for (int32_t x = 0; x < width; ++x) {
    uint8_t* p = dst + D::bytes * static_cast<size_t>(x);
    D::store(p, blend(S::template load<D::depth>(src, x, context), D::load(p), alpha[x]));
  }
}

template <class D, class S>
FBITMAP_INLINE void row_copy(uint8_t* __restrict dst, const uint8_t* __restrict src, int32_t width,
                             const FBlitContext& context) {
  if constexpr (kRawCopy<D, S>) {
    std::memcpy(dst, src, D::bytes * static_cast<size_t>(width));
  } else {
    for (int32_t x = 0; x < width; ++x) {
      CopyPixel<D, S>::run(dst + D::bytes * static_cast<size_t>(x), src, x, context);
    }
  }
}

template <class D, class S>
FBITMAP_INLINE void row_copy_keyed(uint8_t* __restrict dst, const uint8_t* __restrict src,
                                   int32_t width, const FBlitContext& context) {
  for (int32_t x = 0; x < width; ++x) {
    if (S::is_key(src, x, context)) continue;
    uint8_t* p = dst + D::bytes * static_cast<size_t>(x);
    if constexpr (kRawCopy<D, S>) {
      std::memcpy(p, src + S::bytes * static_cast<size_t>(x), D::bytes);
    } else {
      CopyPixel<D, S>::run(p, src, x, context);
    }
  }
}

template <class D, class S>
FBITMAP_INLINE void row_blend_keyed(uint8_t* __restrict dst, const uint8_t* __restrict src,
                                    int32_t width, const FBlitContext& context, uint32_t a) {
  for (int32_t x = 0; x < width; ++x) {
    if (S::is_key(src, x, context)) continue;
    uint8_t* p = dst + D::bytes * static_cast<size_t>(x);
    D::store(p, blend(S::template load<D::depth>(src, x, context), D::load(p), a));
  }
}

template <class D>
FBITMAP_INLINE void row_fill(uint8_t* __restrict dst, int32_t width, Px color) {
  // The loop body is a load, two logic operations and a store: unrolled, the loop's own
  // counting no longer competes with them.
#pragma GCC unroll 4
  for (int32_t x = 0; x < width; ++x) D::store(dst + D::bytes * static_cast<size_t>(x), color);
}

template <class D>
FBITMAP_INLINE void row_fill_blend(uint8_t* __restrict dst, int32_t width, Px color, uint32_t a) {
  for (int32_t x = 0; x < width; ++x) {
    uint8_t* p = dst + D::bytes * static_cast<size_t>(x);
    D::store(p, blend(color, D::load(p), a));
  }
}

// ---- Kernels: one per operation, walking the job's rows ---------------------------------------

template <class D, class S>
FBITMAP_KERNEL void blit_blend(const FBlitJob& job, const FBlitContext& context) {
  RowWalk dst = dst_rows<D>(job), src = src_rows<S>(job);
  for (int32_t row = 0; row < job.height; ++row) {
    row_blend<D, S>(dst.at(row), src.at(row), job.width, context, context.opacity);
  }
}

template <class D, class S>
FBITMAP_KERNEL void blit_masked(const FBlitJob& job, const FBlitContext& context) {
  RowWalk dst = dst_rows<D>(job), src = src_rows<S>(job), mask = mask_rows(job);
  for (int32_t row = 0; row < job.height; ++row) {
    row_masked<D, S>(dst.at(row), src.at(row), mask.at(row), job.width, context);
  }
}

// Below opacity 255 the alphas of a stretch of the row are looked up first, so that the
// blend itself stays a plain loop.
template <class D, class S>
FBITMAP_KERNEL void blit_masked_scaled(const FBlitJob& job, const FBlitContext& context) {
  constexpr int32_t kStretch = 256;
  uint8_t alpha[kStretch];
  RowWalk dst = dst_rows<D>(job), src = src_rows<S>(job), mask = mask_rows(job);
  for (int32_t row = 0; row < job.height; ++row) {
    for (int32_t x0 = 0; x0 < job.width; x0 += kStretch) {
      int32_t n = job.width - x0 < kStretch ? job.width - x0 : kStretch;
      const uint8_t* m = mask.at(row) + x0;
      for (int32_t i = 0; i < n; ++i) alpha[i] = context.alpha[m[i]];
      row_masked<D, S>(dst.at(row) + D::bytes * static_cast<size_t>(x0),
                       src.at(row) + S::bytes * static_cast<size_t>(x0), alpha, n, context);
    }
  }
}

template <class D, class S>
FBITMAP_KERNEL void blit_copy(const FBlitJob& job, const FBlitContext& context) {
  RowWalk dst = dst_rows<D>(job), src = src_rows<S>(job);
  if constexpr (kRawCopy<D, S>) {
    // Whole rows without padding, stored in the same order in both bitmaps, lie back to
    // back and go a block of rows at a time. Blocks stay far below the size at which the C
    // library's copy switches to stores that bypass the cache: a blit's destination is
    // usually drawn on or shown right afterwards.
    constexpr ptrdiff_t kBlockBytes = 256 * 1024;
    ptrdiff_t row_bytes = static_cast<ptrdiff_t>(D::bytes) * job.width;
    if (dst.step == src.step && (dst.step == row_bytes || dst.step == -row_bytes)) {
      int32_t block_rows = row_bytes >= kBlockBytes ? 1 : static_cast<int32_t>(kBlockBytes / row_bytes);
      for (int32_t row = 0; row < job.height; row += block_rows) {
        int32_t rows = job.height - row < block_rows ? job.height - row : block_rows;
        int32_t lowest = dst.step > 0 ? row : row + rows - 1;
        std::memcpy(dst.at(lowest), src.at(lowest), static_cast<size_t>(row_bytes) * rows);
      }
      return;
    }
  }
  for (int32_t row = 0; row < job.height; ++row) {
    row_copy<D, S>(dst.at(row), src.at(row), job.width, context);
  }
}

template <class D, class S>
FBITMAP_KERNEL void blit_copy_keyed(const FBlitJob& job, const FBlitContext& context) {
  RowWalk dst = dst_rows<D>(job), src = src_rows<S>(job);
  for (int32_t row = 0; row < job.height; ++row) {
    row_copy_keyed<D, S>(dst.at(row), src.at(row), job.width, context);
  }
}

template <class D, class S>
FBITMAP_KERNEL void blit_blend_keyed(const FBlitJob& job, const FBlitContext& context) {
  RowWalk dst = dst_rows<D>(job), src = src_rows<S>(job);
  for (int32_t row = 0; row < job.height; ++row) {
    row_blend_keyed<D, S>(dst.at(row), src.at(row), job.width, context, context.opacity);
  }
}

template <class D>
FBITMAP_INLINE Px fill_color(FColor color) {
  return px_from_rgb<D::depth>(fcolor_red(color), fcolor_green(color), fcolor_blue(color));
}

template <class D>
FBITMAP_KERNEL void fill_solid(const FFillJob& job) {
  Px color = fill_color<D>(job.color);
  RowWalk dst = walk_rows(job.dst, job.x, job.y, D::bytes);
  for (int32_t row = 0; row < job.height; ++row) row_fill<D>(dst.at(row), job.width, color);
}

template <class D>
FBITMAP_KERNEL void fill_blend(const FFillJob& job) {
  Px color = fill_color<D>(job.color);
  uint32_t a = fcolor_alpha(job.color);
  RowWalk dst = walk_rows(job.dst, job.x, job.y, D::bytes);
  for (int32_t row = 0; row < job.height; ++row) row_fill_blend<D>(dst.at(row), job.width, color, a);
}

// ---- Tables --------------------------------------------------------------------------------------

// Rows by FBlitKernelOp, columns by source format in FPixelFormat order.
template <class D>
constexpr FBlitKernelTable blit_table() {
  return {{
      {&blit_blend<D, SrcPal8>, &blit_blend<D, SrcRgb565>, &blit_blend<D, SrcRgb555>,
       &blit_blend<D, SrcRgb24>, &blit_blend<D, SrcRgb32>},
      {&blit_masked<D, SrcPal8>, &blit_masked<D, SrcRgb565>, &blit_masked<D, SrcRgb555>,
       &blit_masked<D, SrcRgb24>, &blit_masked<D, SrcRgb32>},
      {&blit_masked_scaled<D, SrcPal8>, &blit_masked_scaled<D, SrcRgb565>,
       &blit_masked_scaled<D, SrcRgb555>, &blit_masked_scaled<D, SrcRgb24>,
       &blit_masked_scaled<D, SrcRgb32>},
      {&blit_copy<D, SrcPal8>, &blit_copy<D, SrcRgb565>, &blit_copy<D, SrcRgb555>,
       &blit_copy<D, SrcRgb24>, &blit_copy<D, SrcRgb32>},
      {&blit_copy_keyed<D, SrcPal8>, &blit_copy_keyed<D, SrcRgb565>, &blit_copy_keyed<D, SrcRgb555>,
       &blit_copy_keyed<D, SrcRgb24>, &blit_copy_keyed<D, SrcRgb32>},
      {&blit_blend_keyed<D, SrcPal8>, &blit_blend_keyed<D, SrcRgb565>,
       &blit_blend_keyed<D, SrcRgb555>, &blit_blend_keyed<D, SrcRgb24>,
       &blit_blend_keyed<D, SrcRgb32>},
  }};
}

template <class D>
constexpr FFillKernelTable fill_table() {
  return {&fill_solid<D>, &fill_blend<D>};
}

}  // namespace fbitmap_kernels

// The tables of the four destination formats, one per file.
extern const fbitmap_kernels::FBlitKernelTable fbitmap_kernels_blit_rgb565;
extern const fbitmap_kernels::FBlitKernelTable fbitmap_kernels_blit_rgb555;
extern const fbitmap_kernels::FBlitKernelTable fbitmap_kernels_blit_rgb24;
extern const fbitmap_kernels::FBlitKernelTable fbitmap_kernels_blit_rgb32;
extern const fbitmap_kernels::FFillKernelTable fbitmap_kernels_fill_rgb565;
extern const fbitmap_kernels::FFillKernelTable fbitmap_kernels_fill_rgb555;
extern const fbitmap_kernels::FFillKernelTable fbitmap_kernels_fill_rgb24;
extern const fbitmap_kernels::FFillKernelTable fbitmap_kernels_fill_rgb32;
