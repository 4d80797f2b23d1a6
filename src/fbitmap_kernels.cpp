// Kernel dispatch: takes a clipped blit or fill job from the bitmap unit, prepares what the
// kernel needs once (the palette at the destination's depth, the colour key in the source's
// raw terms, the masked blit's alpha table) and runs the kernel that a table picks by
// operation, destination format and source format. The kernels themselves live by
// destination format in fbitmap_kernels_565/_555/_24/_32.cpp.
//
// fbitmap_kernels_blit -> separate a source sharing the destination's bytes -> choose op
//   -> prepare context -> table[destination][op][source] (job, context)

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "fbitmap_kernel_templates.h"

using fbitmap_kernels::FBlitContext;
using fbitmap_kernels::FBlitKernelOp;
using fbitmap_kernels::FBlitKernelTable;
using fbitmap_kernels::FFillKernelOp;
using fbitmap_kernels::FFillKernelTable;
using fbitmap_kernels::Px;

namespace {

FKernelPath g_path = FKernelPath::specialised;

const FBlitKernelTable* blit_table_for(FPixelFormat dst) {
  switch (dst) {
    case FPixelFormat::rgb565: return &fbitmap_kernels_blit_rgb565;
    case FPixelFormat::rgb555: return &fbitmap_kernels_blit_rgb555;
    case FPixelFormat::rgb24: return &fbitmap_kernels_blit_rgb24;
    case FPixelFormat::rgb32: return &fbitmap_kernels_blit_rgb32;
    default: return nullptr;
  }
}

const FFillKernelTable* fill_table_for(FPixelFormat dst) {
  switch (dst) {
    case FPixelFormat::rgb565: return &fbitmap_kernels_fill_rgb565;
    case FPixelFormat::rgb555: return &fbitmap_kernels_fill_rgb555;
    case FPixelFormat::rgb24: return &fbitmap_kernels_fill_rgb24;
    case FPixelFormat::rgb32: return &fbitmap_kernels_fill_rgb32;
    default: return nullptr;
  }
}

FBlitKernelOp choose_op(const FBlitJob& job) {
  bool opaque = job.opacity == 255;
  switch (job.op) {
    case FBlitOp::plain: return FBlitKernelOp::blend;
    case FBlitOp::masked: return opaque ? FBlitKernelOp::masked : FBlitKernelOp::masked_scaled;
    case FBlitOp::keyed:
      if (job.key == FCOLOR_KEY_NONE) return opaque ? FBlitKernelOp::copy : FBlitKernelOp::blend;
      return opaque ? FBlitKernelOp::copy_keyed : FBlitKernelOp::blend_keyed;
  }
  return FBlitKernelOp::blend;
}

// The palette entry an index reads: entries past the palette's length read as entry 0.
const uint8_t* palette_entry(const FBitmap* bitmap, int32_t entries, uint32_t index) {
  return fbitmap_get_palette(bitmap) + 4 * (static_cast<int32_t>(index) < entries ? index : 0);
}

template <fbitmap_kernels::Depth depth>
void prepare_palette(const FBitmap* src, FBlitContext& context) {
  int32_t entries = fbitmap_palette_entries(src);
  for (uint32_t i = 0; i < 256; ++i) {
    const uint8_t* entry = palette_entry(src, entries, i);
    context.palette[i] = fbitmap_kernels::px_from_rgb<depth>(entry[2], entry[1], entry[0]);
  }
}

void prepare_context(const FBlitJob& job, FBlitKernelOp op, FPixelFormat dst_format,
                     FPixelFormat src_format, FBlitContext& context) {
  context.opacity = job.opacity;
  if (src_format == FPixelFormat::pal8) {
    switch (dst_format) {
      case FPixelFormat::rgb565: prepare_palette<fbitmap_kernels::Depth::rgb565>(job.src, context); break;
      case FPixelFormat::rgb555: prepare_palette<fbitmap_kernels::Depth::rgb555>(job.src, context); break;
      default: prepare_palette<fbitmap_kernels::Depth::rgb888>(job.src, context); break;
    }
  }
  if (op == FBlitKernelOp::copy_keyed || op == FBlitKernelOp::blend_keyed) {
    // COLORREF order: red in the low byte, then green, then blue.
    uint32_t r = job.key & 0xFF, g = (job.key >> 8) & 0xFF, b = (job.key >> 16) & 0xFF;
    switch (src_format) {
      case FPixelFormat::pal8: {
        int32_t entries = fbitmap_palette_entries(job.src);
        for (uint32_t i = 0; i < 256; ++i) {
          const uint8_t* entry = palette_entry(job.src, entries, i);
          context.key_hits[i] = entry[2] == r && entry[1] == g && entry[0] == b;
        }
        break;
      }
      case FPixelFormat::rgb565: context.key = ((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3); break;
      case FPixelFormat::rgb555: context.key = ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3); break;
      default: context.key = b | (g << 8) | (r << 16); break;  // bytes blue, green, red
    }
  }
  if (op == FBlitKernelOp::masked_scaled) {
    // The alpha is truncate(m x (p / 255)) with the factor rounded to single precision as
    // p x 0.003921569f; a table keeps those exact float results without a float per pixel.
    float factor = static_cast<float>(job.opacity) * 0.003921569f;
    for (uint32_t m = 0; m < 256; ++m) {
      context.alpha[m] = static_cast<uint8_t>(static_cast<float>(m) * factor);
    }
  }
}

bool buffers_overlap(const FBitmap* a, const FBitmap* b) {
  uintptr_t a0 = reinterpret_cast<uintptr_t>(a->pixels);
  uintptr_t b0 = reinterpret_cast<uintptr_t>(b->pixels);
  return a0 < b0 + fbitmap_get_size_image(b) && b0 < a0 + fbitmap_get_size_image(a);
}

// A copy of the rows a job reads from `bitmap`, at the same offsets in a buffer of the same
// size, so that the job's coordinates stay valid. Rows outside the job are never read and
// stay untouched (for a large bitmap, never even paged in).
struct RowSnapshot {
  FBitmap bitmap;             // shares the original's information block (not owned)
  uint8_t* pixels = nullptr;  // owned
  RowSnapshot() = default;
  RowSnapshot(const RowSnapshot&) = delete;
  RowSnapshot& operator=(const RowSnapshot&) = delete;
  ~RowSnapshot() { std::free(pixels); }
};

bool snapshot_rows(const FBitmap* source, int32_t y, int32_t height, RowSnapshot& out) {
  out.pixels = static_cast<uint8_t*>(std::malloc(fbitmap_get_size_image(source)));
  if (!out.pixels) return false;
  out.bitmap = *source;
  out.bitmap.pixels = out.pixels;
  for (int32_t row = y; row < y + height; ++row) {
    std::memcpy(fbitmap_row(&out.bitmap, row), fbitmap_row(source, row), source->stride);
  }
  return true;
}

void run_blit(const FBlitJob& job) {
  if (g_path == FKernelPath::reference) {
    fbitmap_reference_blit(job);
    return;
  }
  FPixelFormat dst_format = fbitmap_pixel_format(job.dst);
  FPixelFormat src_format = fbitmap_pixel_format(job.src);
  const FBlitKernelTable* table = blit_table_for(dst_format);
  size_t src_index = static_cast<size_t>(src_format);
  if (!table || src_index >= fbitmap_kernels::kSourceFormats) return;
  FBlitKernelOp op = choose_op(job);
  FBlitContext context;
  prepare_context(job, op, dst_format, src_format, context);
  (*table)[static_cast<size_t>(op)][src_index](job, context);
}

}  // namespace

void fbitmap_kernels_set_path(FKernelPath path) { g_path = path; }

int32_t fbitmap_palette_entries(const FBitmap* bitmap) {
  int32_t used = fbitmap_get_color_count(bitmap);
  return used >= 1 && used <= 256 ? used : 256;
}

void fbitmap_kernels_blit(const FBlitJob& job) {
  // A blit whose source (or mask) shares bytes with its destination - scrolling a bitmap
  // within itself - reads the source as it was before the blit started. Drawing in place
  // would read pixels the blit has already written.
  FBlitJob separated = job;
  RowSnapshot src_copy, mask_copy;
  if (buffers_overlap(job.dst, job.src)) {
    if (!snapshot_rows(job.src, job.src_y, job.height, src_copy)) {
      // Out of memory: the per-pixel path at least stays inside both bitmaps.
      fbitmap_reference_blit(job);
      return;
    }
    separated.src = &src_copy.bitmap;
  }
  if (job.op == FBlitOp::masked && buffers_overlap(job.dst, job.mask)) {
    if (!snapshot_rows(job.mask, job.src_y, job.height, mask_copy)) {
      fbitmap_reference_blit(job);
      return;
    }
    separated.mask = &mask_copy.bitmap;
  }
  run_blit(separated);
}

void fbitmap_kernels_fill(const FFillJob& job) {
  if (g_path == FKernelPath::reference) {
    fbitmap_reference_fill(job);
    return;
  }
  const FFillKernelTable* table = fill_table_for(fbitmap_pixel_format(job.dst));
  if (!table) return;
  FFillKernelOp op = fcolor_alpha(job.color) == 255 ? FFillKernelOp::solid : FFillKernelOp::blend;
  (*table)[static_cast<size_t>(op)](job);
}
