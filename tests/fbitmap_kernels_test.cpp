// The specialised bitmap kernels against the per-pixel reference path: random blits and
// fills for every operation, format pair and row order go through the public calls twice,
// once on the kernel table and once on the reference, and every byte of the destinations,
// row padding included, must agree. A few hand-computed cases pin down what the reference
// itself promises.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <string>

#include "fbitmap.h"
#include "fbitmap_kernels.h"
#include "fbytes.h"

namespace {

using enum FPixelFormat;

constexpr FPixelFormat kDestinations[] = {rgb565, rgb555, rgb24, rgb32};
constexpr FPixelFormat kSources[] = {pal8, rgb565, rgb555, rgb24, rgb32};
// By FPixelFormat.
const char* const kFormatNames[] = {"pal8", "rgb565", "rgb555", "rgb24", "rgb32"};
constexpr int32_t kBpp[] = {8, 16, 16, 24, 32};

struct BitmapDeleter {
  void operator()(FBitmap* b) const { fbitmap_destroy(b); }
};
using Owned = std::unique_ptr<FBitmap, BitmapDeleter>;

enum class Rows { top_down, bottom_up };
using enum Rows;

// A 16-bit bitmap is 5-5-5 when its bit fields say so.
Owned new_bitmap(FPixelFormat format, int32_t width, int32_t height, Rows rows) {
  Owned bitmap(fbitmap_create(width, rows == top_down ? -height : height, kBpp[static_cast<int>(format)]));
  if (bitmap && format == rgb555) {  // masks 0x7C00, 0x03E0, 0x001F
    for (int i = 0; i < 3; ++i) fbytes_put_u32(bitmap->info + FBITMAP_INFO_HEADER_SIZE + 4 * i, 0x7C00u >> (5 * i));
    fbitmap_describe(bitmap.get());
  }
  return bitmap;
}

// Random bytes everywhere, row padding and 5-5-5 bit 15 included. Half the pixels repeat a
// few values that differ from one another in a single byte: keys taken from the picture match
// many times, and a key compare that drops bits matches too often. Palettes are random but for
// the entries of those values, which repeat the first one's colour but for one channel, or
// whole (a key then matches several indices). Half are short (biClrUsed) yet hold those
// entries; indices past their end read as entry 0.
void fill_random(FBitmap* bitmap, std::mt19937& rng) {
  size_t bytes = static_cast<size_t>(fbitmap_get_bpp(bitmap) / 8);
  uint8_t common[16];
  for (int i = 0; i < 4; ++i) common[i] = static_cast<uint8_t>(rng());
  for (int v = 1; v < 4; ++v) {
    std::memcpy(common + 4 * v, common, 4);
    common[4 * v + rng() % bytes] ^= static_cast<uint8_t>(1 + rng() % 255);
  }
  for (uint32_t i = 0; i < fbitmap_get_size_image(bitmap); ++i) bitmap->pixels[i] = static_cast<uint8_t>(rng());
  for (int32_t y = 0; y < fbitmap_get_height(bitmap); ++y) {
    for (int32_t x = 0; x < fbitmap_get_width(bitmap); ++x) {
      if (rng() % 2) std::memcpy(fbitmap_pixel_address(bitmap, x, y), common + 4 * (rng() % 4), bytes);
    }
  }
  if (bytes == 1) {
    uint8_t* palette = bitmap->info + FBITMAP_INFO_HEADER_SIZE;
    for (int i = 0; i < 4 * 256; ++i) palette[i] = i % 4 == 3 ? 0 : static_cast<uint8_t>(rng());
    for (int v = 1; v < 4; ++v) {
      std::memcpy(palette + 4 * common[4 * v], palette + 4 * common[0], 3);
      if (v < 3) palette[4 * common[4 * v] + rng() % 3] ^= static_cast<uint8_t>(1 + rng() % 255);
    }
    uint32_t used = 1u + std::max({common[0], common[4], common[8], common[12]});
    if (rng() % 2) fbytes_put_u32(bitmap->info + 32, used);
  }
}

// The colour key (COLORREF) of a source pixel, with random bits where the source format
// keeps none: the key's conversion must drop them.
int32_t key_of_pixel(const FBitmap* src, int32_t x, int32_t y, std::mt19937& rng) {
  uint8_t c[4];
  fbitmap_get_rgba(src, x, y, c);
  auto noisy = [&rng](uint8_t v, uint32_t loss) { return static_cast<uint8_t>(v | (rng() & ((1u << loss) - 1))); };
  return fcolor_key_make(noisy(c[2], src->red_loss), noisy(c[1], src->green_loss), noisy(c[0], src->blue_loss));
}

// Where two pixel buffers of one size first differ, or "" when they agree.
std::string first_difference(const FBitmap* a, const FBitmap* b) {
  for (uint32_t i = 0; i < fbitmap_get_size_image(a); ++i) {
    if (a->pixels[i] != b->pixels[i]) {
      return "byte " + std::to_string(i) + " (stride " + std::to_string(a->stride) + "): " +
             std::to_string(a->pixels[i]) + " against " + std::to_string(b->pixels[i]);
    }
  }
  return "";
}

// Draws with `draw` on one copy of `dst` through the kernels and on another through the
// reference: the results and every byte must agree.
template <class Draw>
void expect_matches_reference(const FBitmap* dst, Draw draw) {
  Owned copies[2] = {Owned(fbitmap_clone(dst)), Owned(fbitmap_clone(dst))};
  ASSERT_TRUE(copies[0] && copies[1]);
  int results[2];
  for (FKernelPath path : {FKernelPath::specialised, FKernelPath::reference}) {
    fbitmap_kernels_set_path(path);
    results[static_cast<int>(path)] = draw(copies[static_cast<int>(path)].get(), path);
  }
  fbitmap_kernels_set_path(FKernelPath::specialised);
  EXPECT_EQ(results[0], results[1]);
  EXPECT_EQ(first_difference(copies[0].get(), copies[1].get()), "");
}

int32_t random_between(std::mt19937& rng, int32_t low, int32_t high) {
  return std::uniform_int_distribution<int32_t>(low, high)(rng);
}

// Corners anywhere from a few pixels before to a few past a w x h bitmap, in either order.
FRect random_rect(std::mt19937& rng, int32_t w, int32_t h) {
  return {random_between(rng, -6, w + 5), random_between(rng, -6, h + 5), random_between(rng, -6, w + 5),
          random_between(rng, -6, h + 5)};
}

enum class Size { random, tall };

// One random configuration of formats, row orders and sizes: every blit operation at fixed
// and random opacities over random rectangles, from a separate source and (for one format
// and row order) in place, then spans and rectangles of every alpha. Tall bitmaps of one
// format only copy whole rows (more than one block of rows of the exact copy, whose rows
// lie back to back when stored in one order).
void check_configuration(std::mt19937& rng, FPixelFormat dst_format, Rows dst_rows, FPixelFormat src_format,
                         Rows src_rows, Size size) {
  // Widths up to 80 run the vector loops' bodies and tails; a few past 256 run the masked
  // blits' alpha stretches more than once. Half the destinations are as wide as the source,
  // so that whole rows get copied.
  bool tall = size == Size::tall, wide = rng() % 8 == 0;
  int32_t sw = tall ? 260 : wide ? random_between(rng, 257, 300) : random_between(rng, 1, 80);
  int32_t sh = tall ? 300000 / (260 * kBpp[static_cast<int>(src_format)] / 8)  // some 300 000 bytes
                    : random_between(rng, 1, wide ? 3 : 12);
  int32_t dw = tall || rng() % 2 ? sw : random_between(rng, 1, 80), dh = tall ? sh : random_between(rng, 1, 12);
  Rows mask_rows = rng() % 2 ? top_down : bottom_up;
  Owned src = new_bitmap(src_format, sw, sh, src_rows), dst = new_bitmap(dst_format, dw, dh, dst_rows);
  Owned mask = new_bitmap(pal8, sw, sh, mask_rows), overlay = new_bitmap(pal8, dw, dh, mask_rows);
  ASSERT_TRUE(src && dst && mask && overlay);
  fill_random(src.get(), rng);
  fill_random(dst.get(), rng);
  if (!tall) fill_random(mask.get(), rng);
  std::memcpy(overlay->pixels, dst->pixels, fbitmap_get_size_image(overlay.get()));
  Owned src_before(fbitmap_clone(src.get()));
  SCOPED_TRACE(testing::Message() << kFormatNames[static_cast<int>(dst_format)] << "/" << static_cast<int>(dst_rows)
               << " " << dw << "x" << dh << " <- " << kFormatNames[static_cast<int>(src_format)] << "/"
               << static_cast<int>(src_rows) << " " << sw << "x" << sh << " (rows 0 top-down, 1 bottom-up)");
  const FBlitOp ops[] = {FBlitOp::plain, FBlitOp::masked, FBlitOp::keyed, FBlitOp::keyed, FBlitOp::keyed};
  for (int trial = 0; trial < (tall ? 1 : 4); ++trial) {
    // In place, the kernels' copy of the destination is its own source and the overlay, the
    // mask, lies over its first bytes (scrolling a bitmap within itself); the reference reads
    // untouched copies of both.
    for (int in_place = 0; in_place <= (!tall && src_format == dst_format && src_rows == dst_rows); ++in_place) {
      const FBitmap* from = in_place ? dst.get() : src.get();
      const FBitmap* alphas = in_place ? overlay.get() : mask.get();
      int32_t fw = fbitmap_get_width(from), fh = fbitmap_get_height(from);
      FRect rect = trial < 2 ? FRect{0, 0, fw - 1, fh - 1} : random_rect(rng, fw, fh);
      FPoint point{random_between(rng, -fw - 3, dw + 2), random_between(rng, -fh - 3, dh + 2)};
      if (trial == 0) point = {0, random_between(rng, -2, 2)};
      if (trial == 1) point = {random_between(rng, -2, 2), random_between(rng, -2, 2)};
      const int32_t keys[] = {FCOLOR_KEY_NONE, FCOLOR_KEY_NONE, FCOLOR_KEY_NONE,
                              key_of_pixel(from, random_between(rng, 0, fw - 1), random_between(rng, 0, fh - 1), rng),
                              static_cast<int32_t>(rng() & 0xFFFFFF)};
      for (uint8_t opacity : {0, 1, 128, 254, 255, static_cast<int>(rng() % 256)}) {
        for (int kind = 0; kind < 5; ++kind) {
          if (tall && (kind != 2 || opacity != 255)) continue;
          SCOPED_TRACE(testing::Message() << "op " << static_cast<int>(ops[kind]) << " at (" << point.x << ","
                       << point.y << ") rect (" << rect.left << "," << rect.top << ")-(" << rect.right << ","
                       << rect.bottom << ") key " << keys[kind] << " opacity " << int{opacity}
                       << " in place " << in_place);
          auto blit = [&](FBitmap* target, const FBitmap* s, const FBitmap* m) {
            return ops[kind] == FBlitOp::plain    ? fbitmap_blit(target, point, s, rect, opacity)
                   : ops[kind] == FBlitOp::masked ? fbitmap_blit_masked(target, point, s, rect, m, opacity)
                                                  : fbitmap_blit_keyed(target, point, s, rect, keys[kind], opacity);
          };
          expect_matches_reference(dst.get(), [&](FBitmap* target, FKernelPath path) {
            if (!in_place || path == FKernelPath::reference) return blit(target, from, alphas);
            uint8_t* own = overlay->pixels;
            overlay->pixels = target->pixels;
            int result = blit(target, target, overlay.get());
            overlay->pixels = own;
            return result;
          });
          if (testing::Test::HasFailure()) return;
        }
      }
    }
    for (uint8_t alpha : {0, 1, 128, 254, 255, static_cast<int>(rng() % 256)}) {
      if (tall) break;
      FColor color = fcolor_make(static_cast<uint8_t>(rng()), static_cast<uint8_t>(rng()),
                                 static_cast<uint8_t>(rng()), alpha);
      FRect r = trial == 0 ? FRect{-1, dh, dw, -1} : random_rect(rng, dw, dh);  // whole, corners swapped
      for (int shape = 0; shape < 3; ++shape) {
        SCOPED_TRACE(testing::Message() << "fill shape " << shape << " (" << r.left << "," << r.top << ")-("
                     << r.right << "," << r.bottom << ") colour " << std::hex << color);
        expect_matches_reference(dst.get(), [&](FBitmap* t, FKernelPath) {
          return shape == 0   ? fbitmap_hline(t, r.left, r.right, r.top, color)
                 : shape == 1 ? fbitmap_vline(t, r.left, r.top, r.bottom, color)
                              : fbitmap_fill_rect(t, r.left, r.top, r.right, r.bottom, color);
        });
        if (testing::Test::HasFailure()) return;
      }
    }
  }
  EXPECT_EQ(first_difference(src.get(), src_before.get()), "");  // sources are only read
}

TEST(FBitmapKernels, EveryOperationFormatPairAndRowOrderMatchesTheReference) {
  std::mt19937 rng(20240611);
  for (FPixelFormat dst_format : kDestinations) {
    for (FPixelFormat src_format : kSources) {
      for (Rows dst_rows : {top_down, bottom_up}) {
        for (Rows src_rows : {top_down, bottom_up}) {
          check_configuration(rng, dst_format, dst_rows, src_format, src_rows, Size::random);
          if (src_format == dst_format && src_format != rgb555) {  // 5-5-5 copies go pixel by pixel
            check_configuration(rng, dst_format, dst_rows, src_format, src_rows, Size::tall);
          }
          if (HasFailure()) return;
        }
      }
    }
  }
}

// ---- Hand-computed cases --------------------------------------------------------------------------

TEST(FBitmapKernels, ExactCopiesAndFullOpacityBlendsByHand) {
  // Without key at opacity 255 a keyed blit copies exactly, the fourth byte of 32-bit pixels
  // included, but 5-5-5 bit 15 is no channel and is cleared. A plain blit always blends,
  // dividing by 256: full channels come out one step lower even at opacity 255, and a 32-bit
  // destination keeps its fourth byte.
  struct Case {
    FPixelFormat format;
    uint32_t channels, darkened;
  } cases[] = {{rgb565, 0xFFFF, (30u << 11) | (62u << 5) | 30u},
               {rgb555, 0x7FFF, (30u << 10) | (30u << 5) | 30u},
               {rgb24, 0xFFFFFF, 0xFEFEFE},
               {rgb32, 0xFFFFFFFF, 0x12FEFEFE}};
  std::mt19937 rng(5);
  for (const Case& c : cases) {
    SCOPED_TRACE(kFormatNames[static_cast<int>(c.format)]);
    Owned src = new_bitmap(c.format, 10, 4, bottom_up), dst = new_bitmap(c.format, 8, 5, top_down);
    ASSERT_TRUE(src && dst);
    fill_random(src.get(), rng);
    fill_random(dst.get(), rng);
    Owned before(fbitmap_clone(dst.get()));
    ASSERT_TRUE(before);
    // Drawn at (-2, 1): source columns 2.. land on destination columns 0.., one row lower.
    EXPECT_EQ(fbitmap_blit_keyed(dst.get(), {-2, 1}, src.get(), {0, 0, 9, 9}, FCOLOR_KEY_NONE, 255), 1);
    for (int32_t y = 0; y < 5; ++y) {
      for (int32_t x = 0; x < 8; ++x) {
        uint32_t expected = y >= 1 ? fbitmap_get_pixel(src.get(), x + 2, y - 1) & c.channels
                                   : fbitmap_get_pixel(before.get(), x, y);
        EXPECT_EQ(fbitmap_get_pixel(dst.get(), x, y), expected) << x << "," << y;
      }
    }
    std::memset(src->pixels, 0xFF, fbitmap_get_size_image(src.get()));
    std::memset(dst->pixels, 0x12, fbitmap_get_size_image(dst.get()));
    EXPECT_EQ(fbitmap_blit(dst.get(), {0, 0}, src.get(), {0, 0, 9, 9}, 255), 1);
    for (int32_t y = 0; y < 4; ++y) {
      for (int32_t x = 0; x < 8; ++x) EXPECT_EQ(fbitmap_get_pixel(dst.get(), x, y), c.darkened) << x << "," << y;
    }
  }
}

TEST(FBitmapKernels, MaskSizeAndDepthRuleAndFourthBytesByHand) {
  // A masked blit needs an 8-bit mask of the source's size; otherwise it draws nothing.
  Owned src = new_bitmap(rgb32, 4, 3, top_down), dst = new_bitmap(rgb32, 4, 3, top_down);
  Owned taller = new_bitmap(pal8, 4, 4, top_down), deep = new_bitmap(rgb565, 4, 3, top_down);
  Owned fitting = new_bitmap(pal8, 4, 3, bottom_up), white24 = new_bitmap(rgb24, 1, 1, top_down);
  Owned before(fbitmap_clone(dst.get()));
  ASSERT_TRUE(src && dst && taller && deep && fitting && white24 && before);
  std::memset(src->pixels, 0, fbitmap_get_size_image(src.get()));
  EXPECT_EQ(fbitmap_blit_masked(dst.get(), {0, 0}, src.get(), {0, 0, 3, 2}, taller.get(), 255), 0);
  EXPECT_EQ(fbitmap_blit_masked(dst.get(), {0, 0}, src.get(), {0, 0, 3, 2}, deep.get(), 255), 0);
  EXPECT_EQ(first_difference(dst.get(), before.get()), "");
  // The mask is read at source coordinates in its own (bottom-up) row order: mask pixel
  // (2, 1) gives alpha 255 to source pixel (2, 1), drawn at destination (1, 0).
  std::memset(fitting->pixels, 0, fbitmap_get_size_image(fitting.get()));
  fbitmap_set_pixel(fitting.get(), 2, 1, 255);
  EXPECT_EQ(fbitmap_blit_masked(dst.get(), {0, 0}, src.get(), {1, 1, 3, 2}, fitting.get(), 255), 1);
  EXPECT_EQ(fbitmap_get_pixel(dst.get(), 1, 0), 0xFF000000u);  // black at alpha 255
  EXPECT_EQ(fbitmap_get_pixel(dst.get(), 0, 0), 0xFFFEFEFEu);  // white x 255 >> 8 at alpha 0

  // Fills and copies from other formats keep each pixel's own fourth byte; alpha 0 still
  // darkens by one step.
  for (int32_t x = 0; x < 4; ++x) {
    fbitmap_set_pixel(dst.get(), x, 1, 0x01000000u * static_cast<uint32_t>(x + 1) | 0x808080);
    fbitmap_set_pixel(dst.get(), x, 2, 0xA0808080);
  }
  EXPECT_EQ(fbitmap_hline(dst.get(), -5, 2, 1, fcolor_make(0x11, 0x22, 0x33, 255)), 1);
  EXPECT_EQ(fbitmap_get_pixel(dst.get(), 0, 1), 0x01112233u);
  EXPECT_EQ(fbitmap_get_pixel(dst.get(), 2, 1), 0x03112233u);
  EXPECT_EQ(fbitmap_get_pixel(dst.get(), 3, 1), 0x04808080u);
  EXPECT_EQ(fbitmap_fill_rect(dst.get(), 3, 2, 0, 2, fcolor_make(0xFF, 0xFF, 0xFF, 0)), 1);
  EXPECT_EQ(fbitmap_get_pixel(dst.get(), 1, 2), 0xA07F7F7Fu);  // 128 x 255 >> 8 = 127
  EXPECT_EQ(fbitmap_blit_keyed(dst.get(), {3, 1}, white24.get(), {0, 0, 0, 0}, FCOLOR_KEY_NONE, 255), 1);
  EXPECT_EQ(fbitmap_get_pixel(dst.get(), 3, 1), 0x04FFFFFFu);
}

}  // namespace
