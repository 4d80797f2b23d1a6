// Kernels that draw into 16-bit bitmaps other than RGB565, all treated as 5-5-5: every
// operation over every source format, instantiated from fbitmap_kernel_templates.h. Bit 15
// is not a channel: it is ignored when read and stored as 0, so even an exact copy between
// two 5-5-5 bitmaps clears it.

#include "fbitmap_kernel_templates.h"

namespace fbitmap_kernels {
namespace {

struct DstRgb555 {
  static constexpr FPixelFormat format = FPixelFormat::rgb555;
  static constexpr Depth depth = Depth::rgb555;
  static constexpr size_t bytes = 2;
  static FBITMAP_INLINE Px load(const uint8_t* p) { return SrcRgb555::decode<depth>(load_u16(p)); }
  static FBITMAP_INLINE void store(uint8_t* p, Px c) {
    // Red sits in bits 16..20 of rb, so rb >> 6 puts it at 10..14 and drops blue.
    store_u16(p, (c.rb >> 6) | (c.g << 5) | (c.rb & 0x1Fu));
  }
};

}  // namespace
}  // namespace fbitmap_kernels

const fbitmap_kernels::FBlitKernelTable fbitmap_kernels_blit_rgb555 =
    fbitmap_kernels::blit_table<fbitmap_kernels::DstRgb555>();
const fbitmap_kernels::FFillKernelTable fbitmap_kernels_fill_rgb555 =
    fbitmap_kernels::fill_table<fbitmap_kernels::DstRgb555>();
