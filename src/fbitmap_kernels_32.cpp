// Kernels that draw into 32-bit bitmaps (bytes blue, green, red, fourth byte): every operation
// over every source format, instantiated from fbitmap_kernel_templates.h. Channels are blended
// at 8 bits. The fourth byte belongs to whoever wrote the pixel last (the vector renderer keeps
// its alpha there), so stores keep it; only an exact copy from another 32-bit bitmap carries
// the source's fourth byte along.

#include "fbitmap_kernel_templates.h"

namespace fbitmap_kernels {
namespace {

struct DstRgb32 {
  static constexpr FPixelFormat format = FPixelFormat::rgb32;
  static constexpr Depth depth = Depth::rgb888;
  static constexpr size_t bytes = 4;
  static FBITMAP_INLINE Px load(const uint8_t* p) { return SrcRgb32::decode<depth>(load_u32(p)); }
  // A whole-word read-modify-write: the loops stay free of byte-wise gaps and vectorise.
  static FBITMAP_INLINE void store(uint8_t* p, Px c) {
    store_u32(p, (load_u32(p) & 0xFF000000u) | c.rb | (c.g << 8));
  }
};

}  // namespace
}  // namespace fbitmap_kernels

const fbitmap_kernels::FBlitKernelTable fbitmap_kernels_blit_rgb32 =
    fbitmap_kernels::blit_table<fbitmap_kernels::DstRgb32>();
const fbitmap_kernels::FFillKernelTable fbitmap_kernels_fill_rgb32 =
    fbitmap_kernels::fill_table<fbitmap_kernels::DstRgb32>();
