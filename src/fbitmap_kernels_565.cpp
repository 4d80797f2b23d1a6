// Kernels that draw into RGB565 bitmaps, the display format of the target devices: every
// operation over every source format, instantiated from fbitmap_kernel_templates.h. Channels
// are blended at 5/6/5 bits; fills store whole 16-bit pixels.

#include "fbitmap_kernel_templates.h"

namespace fbitmap_kernels {
namespace {

struct DstRgb565 {
  static constexpr FPixelFormat format = FPixelFormat::rgb565;
  static constexpr Depth depth = Depth::rgb565;
  static constexpr size_t bytes = 2;
  static FBITMAP_INLINE Px load(const uint8_t* p) { return SrcRgb565::decode<depth>(load_u16(p)); }
  static FBITMAP_INLINE void store(uint8_t* p, Px c) {
    // Red sits in bits 16..20 of rb, so rb >> 5 puts it at 11..15 and drops blue.
    store_u16(p, (c.rb >> 5) | (c.g << 5) | (c.rb & 0x1Fu));
  }
};

}  // namespace

// 32-bit pictures copied to the screen: the hot path of every screen update. Read as two
// 16-bit halves (green and blue, then the fourth byte and red) the pixel converts in 16-bit
// lanes from load to store, which the vectoriser packs twice as densely as the channel form.
template <>
struct CopyPixel<DstRgb565, SrcRgb32> {
  static FBITMAP_INLINE void run(uint8_t* dst, const uint8_t* src_row, int32_t x, const FBlitContext&) {
    const uint8_t* p = src_row + 4 * static_cast<size_t>(x);
    uint32_t green_blue = load_u16(p), red = load_u16(p + 2);
    store_u16(dst, ((red & 0xF8u) << 8) | ((green_blue >> 5) & 0x07E0u) | ((green_blue >> 3) & 0x1Fu));
  }
};

}  // namespace fbitmap_kernels

const fbitmap_kernels::FBlitKernelTable fbitmap_kernels_blit_rgb565 =
    fbitmap_kernels::blit_table<fbitmap_kernels::DstRgb565>();
const fbitmap_kernels::FFillKernelTable fbitmap_kernels_fill_rgb565 =
    fbitmap_kernels::fill_table<fbitmap_kernels::DstRgb565>();
