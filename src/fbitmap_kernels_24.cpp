// Kernels that draw into 24-bit bitmaps (bytes blue, green, red): every operation over every
// source format, instantiated from fbitmap_kernel_templates.h. Channels are blended at 8 bits,
// 16-bit sources widened first.

#include "fbitmap_kernel_templates.h"

namespace fbitmap_kernels {
namespace {

struct DstRgb24 {
  static constexpr FPixelFormat format = FPixelFormat::rgb24;
  static constexpr Depth depth = Depth::rgb888;
  static constexpr size_t bytes = 3;
  static FBITMAP_INLINE Px load(const uint8_t* p) { return SrcRgb24::decode<depth>(p); }
  static FBITMAP_INLINE void store(uint8_t* p, Px c) {
    p[0] = static_cast<uint8_t>(c.rb);
    p[1] = static_cast<uint8_t>(c.g);
    p[2] = static_cast<uint8_t>(c.rb >> 16);
  }
};

}  // namespace
}  // namespace fbitmap_kernels

const fbitmap_kernels::FBlitKernelTable fbitmap_kernels_blit_rgb24 =
    fbitmap_kernels::blit_table<fbitmap_kernels::DstRgb24>();
const fbitmap_kernels::FFillKernelTable fbitmap_kernels_fill_rgb24 =
    fbitmap_kernels::fill_table<fbitmap_kernels::DstRgb24>();
