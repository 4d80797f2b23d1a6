// The specialised bitmap kernels against the per-pixel reference path: random blits and
// fills for every operation and format pair go through the public calls twice, once on the
// kernel table and once on the reference, and every byte of the destinations must agree.
// A few hand-computed cases pin down what the reference itself promises.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "fbitmap.h"
#include "fbitmap_kernels.h"

namespace {

constexpr FPixelFormat kDestinations[] = {FPixelFormat::rgb565, FPixelFormat::rgb555,
                                          FPixelFormat::rgb24, FPixelFormat::rgb32};
constexpr FPixelFormat kSources[] = {FPixelFormat::pal8, FPixelFormat::rgb565,
                                     FPixelFormat::rgb555, FPixelFormat::rgb24,
                                     FPixelFormat::rgb32};
constexpr uint8_t kOpacities[] = {0, 1, 128, 254, 255};

const char* format_name(FPixelFormat format) {
  switch (format) {
    case FPixelFormat::pal8: return "pal8";
    case FPixelFormat::rgb565: return "rgb565";
    case FPixelFormat::rgb555: return "rgb555";
    case FPixelFormat::rgb24: return "rgb24";
    case FPixelFormat::rgb32: return "rgb32";
    default: return "?";
  }
}

int32_t format_bpp(FPixelFormat format) {
  switch (format) {
    case FPixelFormat::pal8: return 8;
    case FPixelFormat::rgb24: return 24;
    case FPixelFormat::rgb32: return 32;
    default: return 16;
  }
}

enum class Rows { top_down, bottom_up };

// Owns a bitmap for the length of a test.
struct Owned {
  FBitmap* bitmap = nullptr;
  explicit Owned(FBitmap* b) : bitmap(b) {}
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;
  ~Owned() {
    if (bitmap) fbitmap_destroy(bitmap);
  }
  FBitmap* get() const { return bitmap; }
};

// Turns a fresh 16-bit bitmap into 5-5-5 by rewriting its bit-field masks.
void make_rgb555(FBitmap* bitmap) {
  uint8_t* masks = bitmap->info + FBITMAP_INFO_HEADER_SIZE;
  const uint32_t values[3] = {0x7C00, 0x03E0, 0x001F};
  for (int i = 0; i < 3; ++i) {
    for (int b = 0; b < 4; ++b) masks[4 * i + b] = static_cast<uint8_t>(values[i] >> (8 * b));
  }
  fbitmap_describe(bitmap);
}

FBitmap* new_bitmap(FPixelFormat format, int32_t width, int32_t height, Rows rows) {
  FBitmap* bitmap = fbitmap_create(width, rows == Rows::top_down ? -height : height, format_bpp(format));
  if (bitmap && format == FPixelFormat::rgb555) make_rgb555(bitmap);
  return bitmap;
}

// Random pixels, half of them drawn from a few repeated raw values so that colour keys taken
// from the picture occur many times; padding bytes and 5-5-5 bit 15 are random too.
void fill_random(FBitmap* bitmap, std::mt19937& rng) {
  int32_t bytes = fbitmap_get_bpp(bitmap) / 8;
  uint8_t common[4][4];
  for (auto& value : common)
    for (auto& b : value) b = static_cast<uint8_t>(rng());
  uint32_t size = fbitmap_get_size_image(bitmap);
  for (uint32_t i = 0; i < size; ++i) bitmap->pixels[i] = static_cast<uint8_t>(rng());
  for (int32_t y = 0; y < fbitmap_get_height(bitmap); ++y) {
    uint8_t* row = fbitmap_row(bitmap, y);
    for (int32_t x = 0; x < fbitmap_get_width(bitmap); ++x) {
      if (rng() % 2) std::memcpy(row + x * bytes, common[rng() % 4], bytes);
    }
  }
  if (fbitmap_get_bpp(bitmap) == 8) {
    uint8_t* palette = bitmap->info + FBITMAP_INFO_HEADER_SIZE;
    for (int i = 0; i < 256; ++i) {
      palette[4 * i] = static_cast<uint8_t>(rng());
      palette[4 * i + 1] = static_cast<uint8_t>(rng());
      palette[4 * i + 2] = static_cast<uint8_t>(rng());
    }
    // Every other palette repeats an entry, so that a key can match several indices.
    if (rng() % 2) std::memcpy(palette + 4 * 7, palette + 4 * 3, 3);
  }
}

// The colour key (COLORREF) of the source pixel at (x, y). Low bits that the source format
// drops are random, since the key's conversion must drop them too.
int32_t key_of_pixel(const FBitmap* src, int32_t x, int32_t y, std::mt19937& rng) {
  uint32_t v = fbitmap_get_pixel(src, x, y);
  uint32_t r = 0, g = 0, b = 0;
  switch (fbitmap_pixel_format(src)) {
    case FPixelFormat::pal8: {
      uint8_t rgba[4];
      fbitmap_get_rgba(src, x, y, rgba);
      return fcolor_key_make(rgba[2], rgba[1], rgba[0]);
    }
    case FPixelFormat::rgb565:
      r = ((v >> 11) << 3) | (rng() & 7);
      g = (((v >> 5) & 63) << 2) | (rng() & 3);
      b = ((v & 31) << 3) | (rng() & 7);
      break;
    case FPixelFormat::rgb555:
      r = (((v >> 10) & 31) << 3) | (rng() & 7);
      g = (((v >> 5) & 31) << 3) | (rng() & 7);
      b = ((v & 31) << 3) | (rng() & 7);
      break;
    default:
      r = (v >> 16) & 0xFF;
      g = (v >> 8) & 0xFF;
      b = v & 0xFF;
      break;
  }
  return fcolor_key_make(static_cast<uint8_t>(r), static_cast<uint8_t>(g), static_cast<uint8_t>(b));
}

// Describes where the two destinations first differ, or returns "" when they agree.
std::string first_difference(const FBitmap* a, const FBitmap* b) {
  uint32_t size = fbitmap_get_size_image(a);
  for (uint32_t i = 0; i < size; ++i) {
    if (a->pixels[i] != b->pixels[i]) {
      return "byte " + std::to_string(i) + " (row " + std::to_string(i / a->stride) + " in memory, byte " +
             std::to_string(i % a->stride) + "): kernel " + std::to_string(a->pixels[i]) +
             ", reference " + std::to_string(b->pixels[i]);
    }
  }
  return "";
}

struct BlitCase {
  FBlitOp op;
  FPoint point;
  FRect rect;
  const FBitmap* mask;
  int32_t key;
  uint8_t opacity;
};

int run_blit(FBitmap* dst, const FBitmap* src, const BlitCase& c) {
  switch (c.op) {
    case FBlitOp::plain: return fbitmap_blit(dst, c.point, src, c.rect, c.opacity);
    case FBlitOp::masked: return fbitmap_blit_masked(dst, c.point, src, c.rect, c.mask, c.opacity);
    case FBlitOp::keyed: return fbitmap_blit_keyed(dst, c.point, src, c.rect, c.key, c.opacity);
  }
  return -1;
}

// Runs one blit through the kernel table and through the reference on two copies of `dst`;
// the results and every byte of the two copies must agree, and the source must not change.
void expect_blit_matches_reference(const FBitmap* dst, const FBitmap* src, const BlitCase& c) {
  Owned fast(fbitmap_clone(dst));
  Owned slow(fbitmap_clone(dst));
  Owned src_before(fbitmap_clone(src));
  ASSERT_TRUE(fast.get() && slow.get() && src_before.get());
  fbitmap_kernels_set_path(FKernelPath::specialised);
  int fast_result = run_blit(fast.get(), src, c);
  fbitmap_kernels_set_path(FKernelPath::reference);
  int slow_result = run_blit(slow.get(), src, c);
  fbitmap_kernels_set_path(FKernelPath::specialised);
  EXPECT_EQ(fast_result, slow_result);
  EXPECT_EQ(first_difference(fast.get(), slow.get()), "");
  EXPECT_EQ(first_difference(src, src_before.get()), "");
}

std::string describe(const FBitmap* dst, const FBitmap* src, const BlitCase& c) {
  const char* ops[] = {"plain", "masked", "keyed"};
  return std::string(ops[static_cast<int>(c.op)]) + " " + format_name(fbitmap_pixel_format(dst)) +
         (fbitmap_is_top_down(dst) ? "(td)" : "(bu)") + " <- " +
         format_name(fbitmap_pixel_format(src)) + (fbitmap_is_top_down(src) ? "(td)" : "(bu)") +
         " dst " + std::to_string(fbitmap_get_width(dst)) + "x" + std::to_string(fbitmap_get_height(dst)) +
         " src " + std::to_string(fbitmap_get_width(src)) + "x" + std::to_string(fbitmap_get_height(src)) +
         " at (" + std::to_string(c.point.x) + "," + std::to_string(c.point.y) + ") rect (" +
         std::to_string(c.rect.left) + "," + std::to_string(c.rect.top) + ")-(" +
         std::to_string(c.rect.right) + "," + std::to_string(c.rect.bottom) + ") key " +
         std::to_string(c.key) + " opacity " + std::to_string(c.opacity);
}

int32_t random_between(std::mt19937& rng, int32_t low, int32_t high) {
  return std::uniform_int_distribution<int32_t>(low, high)(rng);
}

// ---- The kernels against the reference ---------------------------------------------------------

TEST(FBitmapKernels, EveryBlitOfEveryFormatPairMatchesTheReference) {
  std::mt19937 rng(20240611);
  const Rows orders[] = {Rows::top_down, Rows::bottom_up};
  for (FPixelFormat dst_format : kDestinations) {
    for (FPixelFormat src_format : kSources) {
      for (Rows dst_rows : orders) {
        for (Rows src_rows : orders) {
          // Widths up to 80 run the vector loops' bodies as well as their tails.
          int32_t sw = random_between(rng, 1, 80), sh = random_between(rng, 1, 12);
          // Half the destinations are as wide as the source, so that whole rows get copied.
          int32_t dw = rng() % 2 ? sw : random_between(rng, 1, 80), dh = random_between(rng, 1, 12);
          Owned src(new_bitmap(src_format, sw, sh, src_rows));
          Owned dst(new_bitmap(dst_format, dw, dh, dst_rows));
          Owned mask(new_bitmap(FPixelFormat::pal8, sw, sh, rng() % 2 ? Rows::top_down : Rows::bottom_up));
          ASSERT_TRUE(src.get() && dst.get() && mask.get());
          fill_random(src.get(), rng);
          fill_random(dst.get(), rng);
          fill_random(mask.get(), rng);
          for (int trial = 0; trial < 4; ++trial) {
            // Rectangles and points reach past every edge, negative included, and come in
            // either corner order.
            FRect rect{random_between(rng, -6, sw + 5), random_between(rng, -6, sh + 5),
                       random_between(rng, -6, sw + 5), random_between(rng, -6, sh + 5)};
            if (trial < 2) rect = {0, 0, sw - 1, sh - 1};
            FPoint point{random_between(rng, -sw - 3, dw + 2), random_between(rng, -sh - 3, dh + 2)};
            if (trial == 0) point = {0, random_between(rng, -2, 2)};
            if (trial == 1) point = {random_between(rng, -2, 2), random_between(rng, -2, 2)};
            int32_t present_key = key_of_pixel(src.get(), random_between(rng, 0, sw - 1),
                                               random_between(rng, 0, sh - 1), rng);
            int32_t random_key = fcolor_key_make(static_cast<uint8_t>(rng()), static_cast<uint8_t>(rng()),
                                                 static_cast<uint8_t>(rng()));
            for (uint8_t opacity : kOpacities) {
              std::vector<BlitCase> cases = {
                  {FBlitOp::plain, point, rect, nullptr, FCOLOR_KEY_NONE, opacity},
                  {FBlitOp::masked, point, rect, mask.get(), FCOLOR_KEY_NONE, opacity},
                  {FBlitOp::keyed, point, rect, nullptr, FCOLOR_KEY_NONE, opacity},
                  {FBlitOp::keyed, point, rect, nullptr, present_key, opacity},
                  {FBlitOp::keyed, point, rect, nullptr, random_key, opacity},
              };
              for (const BlitCase& c : cases) {
                SCOPED_TRACE(describe(dst.get(), src.get(), c));
                expect_blit_matches_reference(dst.get(), src.get(), c);
                if (HasFailure()) return;
              }
            }
          }
        }
      }
    }
  }
}

TEST(FBitmapKernels, MaskedBlitAlphaMatchesTheReferenceForEveryMaskByteAndOpacity) {
  // One 256-pixel row holds every mask value and all 256 opacities follow, covering the
  // whole alpha table. Red blends 255 over 0 and green 0 over 255, so that no two alphas give
  // the same pixel: (255 x a) >> 8 tells every alpha apart but 0 from 1, and
  // (255 x (255 - a)) >> 8 tells those two apart.
  Owned mask(new_bitmap(FPixelFormat::pal8, 256, 1, Rows::top_down));
  Owned src(new_bitmap(FPixelFormat::rgb32, 256, 1, Rows::top_down));
  Owned dst(new_bitmap(FPixelFormat::rgb32, 256, 1, Rows::bottom_up));
  ASSERT_TRUE(mask.get() && src.get() && dst.get());
  for (int32_t m = 0; m < 256; ++m) {
    mask.get()->pixels[m] = static_cast<uint8_t>(m);
    fbitmap_set_pixel(src.get(), m, 0, 0x00FF0000);
    fbitmap_set_pixel(dst.get(), m, 0, 0x0000FF00);
  }
  for (int opacity = 0; opacity < 256; ++opacity) {
    BlitCase c{FBlitOp::masked, {0, 0}, {0, 0, 255, 0}, mask.get(), FCOLOR_KEY_NONE,
               static_cast<uint8_t>(opacity)};
    SCOPED_TRACE(describe(dst.get(), src.get(), c));
    expect_blit_matches_reference(dst.get(), src.get(), c);
    if (HasFailure()) return;
  }
}

TEST(FBitmapKernels, SpansAndRectanglesMatchTheReferenceInEveryFormat) {
  std::mt19937 rng(99);
  const uint8_t alphas[] = {0, 1, 128, 254, 255};
  for (FPixelFormat format : kDestinations) {
    for (Rows rows : {Rows::top_down, Rows::bottom_up}) {
      int32_t w = random_between(rng, 1, 70), h = random_between(rng, 1, 12);
      Owned dst(new_bitmap(format, w, h, rows));
      ASSERT_TRUE(dst.get());
      fill_random(dst.get(), rng);
      for (int trial = 0; trial < 12; ++trial) {
        for (uint8_t alpha : alphas) {
          FColor color = fcolor_make(static_cast<uint8_t>(rng()), static_cast<uint8_t>(rng()),
                                     static_cast<uint8_t>(rng()), alpha);
          int32_t x1 = random_between(rng, -6, w + 5), x2 = random_between(rng, -6, w + 5);
          int32_t y1 = random_between(rng, -6, h + 5), y2 = random_between(rng, -6, h + 5);
          if (trial == 0) {
            x1 = -1, x2 = w, y1 = h, y2 = -1;  // the whole bitmap, corners swapped
          }
          for (int shape = 0; shape < 3; ++shape) {
            SCOPED_TRACE(std::string(format_name(format)) + (rows == Rows::top_down ? "(td) " : "(bu) ") +
                         std::to_string(w) + "x" + std::to_string(h) + " shape " + std::to_string(shape) +
                         " (" + std::to_string(x1) + "," + std::to_string(y1) + ")-(" +
                         std::to_string(x2) + "," + std::to_string(y2) + ") alpha " +
                         std::to_string(alpha));
            Owned fast(fbitmap_clone(dst.get()));
            Owned slow(fbitmap_clone(dst.get()));
            ASSERT_TRUE(fast.get() && slow.get());
            int results[2];
            FBitmap* targets[2] = {fast.get(), slow.get()};
            for (int path = 0; path < 2; ++path) {
              fbitmap_kernels_set_path(path == 0 ? FKernelPath::specialised : FKernelPath::reference);
              FBitmap* t = targets[path];
              results[path] = shape == 0   ? fbitmap_hline(t, x1, x2, y1, color)
                              : shape == 1 ? fbitmap_vline(t, x1, y1, y2, color)
                                           : fbitmap_fill_rect(t, x1, y1, x2, y2, color);
            }
            fbitmap_kernels_set_path(FKernelPath::specialised);
            EXPECT_EQ(results[0], 1);
            EXPECT_EQ(results[1], 1);
            EXPECT_EQ(first_difference(fast.get(), slow.get()), "");
            if (HasFailure()) return;
          }
        }
      }
    }
  }
}

TEST(FBitmapKernels, BlitOntoItselfReadsTheSourceAsItWasBefore) {
  // Scrolling a bitmap within itself, in every direction and row order: the result must be
  // that of a blit from an untouched copy, on the kernels and on the reference alike.
  std::mt19937 rng(31);
  for (FPixelFormat format : kDestinations) {
    for (Rows rows : {Rows::top_down, Rows::bottom_up}) {
      Owned bitmap(new_bitmap(format, 40, 9, rows));
      ASSERT_TRUE(bitmap.get());
      fill_random(bitmap.get(), rng);
      for (int trial = 0; trial < 8; ++trial) {
        FRect rect{random_between(rng, 0, 10), random_between(rng, 0, 3), random_between(rng, 20, 39),
                   random_between(rng, 4, 8)};
        FPoint point{rect.left + random_between(rng, -3, 3), rect.top + random_between(rng, -2, 2)};
        for (FBlitOp op : {FBlitOp::plain, FBlitOp::keyed}) {
          for (FKernelPath path : {FKernelPath::specialised, FKernelPath::reference}) {
            BlitCase c{op, point, rect, nullptr, FCOLOR_KEY_NONE, static_cast<uint8_t>(trial % 2 ? 255 : 100)};
            SCOPED_TRACE(describe(bitmap.get(), bitmap.get(), c));
            Owned in_place(fbitmap_clone(bitmap.get()));
            Owned expected(fbitmap_clone(bitmap.get()));
            Owned source(fbitmap_clone(bitmap.get()));
            ASSERT_TRUE(in_place.get() && expected.get() && source.get());
            fbitmap_kernels_set_path(path);
            EXPECT_EQ(run_blit(in_place.get(), in_place.get(), c), 1);
            fbitmap_kernels_set_path(FKernelPath::reference);
            EXPECT_EQ(run_blit(expected.get(), source.get(), c), 1);
            fbitmap_kernels_set_path(FKernelPath::specialised);
            EXPECT_EQ(first_difference(in_place.get(), expected.get()), "");
            if (HasFailure()) return;
          }
        }
      }
    }
  }
}

TEST(FBitmapKernels, LargeExactCopiesMatchTheReferenceAcrossBlocksOfRows) {
  // 1024-byte rows, 600 of them: exact copies go in several blocks of whole rows.
  std::mt19937 rng(17);
  for (FPixelFormat format : {FPixelFormat::rgb32, FPixelFormat::rgb565}) {
    int32_t width = format == FPixelFormat::rgb32 ? 256 : 512;
    for (Rows rows : {Rows::top_down, Rows::bottom_up}) {
      Owned src(new_bitmap(format, width, 600, rows));
      Owned dst(new_bitmap(format, width, 600, rows));
      ASSERT_TRUE(src.get() && dst.get());
      fill_random(src.get(), rng);
      fill_random(dst.get(), rng);
      for (int32_t y : {0, -5, 7}) {
        BlitCase c{FBlitOp::keyed, {0, y}, {0, 0, width - 1, 599}, nullptr, FCOLOR_KEY_NONE, 255};
        SCOPED_TRACE(describe(dst.get(), src.get(), c));
        expect_blit_matches_reference(dst.get(), src.get(), c);
      }
    }
  }
}

TEST(FBitmapKernels, MaskSharingBytesWithTheDestinationIsReadAsItWasBefore) {
  // An 8-bit record laid over the first bytes of the destination's own pixels: the blit
  // must take its alphas from those bytes as they were before it wrote any of them.
  std::mt19937 rng(41);
  Owned dst(new_bitmap(FPixelFormat::rgb32, 8, 4, Rows::top_down));
  Owned src(new_bitmap(FPixelFormat::rgb32, 8, 4, Rows::bottom_up));
  Owned overlay(new_bitmap(FPixelFormat::pal8, 8, 4, Rows::top_down));
  ASSERT_TRUE(dst.get() && src.get() && overlay.get());
  fill_random(dst.get(), rng);
  fill_random(src.get(), rng);
  Owned mask_before(fbitmap_clone(overlay.get()));
  Owned expected(fbitmap_clone(dst.get()));
  ASSERT_TRUE(mask_before.get() && expected.get());
  std::memcpy(mask_before.get()->pixels, dst.get()->pixels, fbitmap_get_size_image(overlay.get()));
  uint8_t* own_pixels = overlay.get()->pixels;
  overlay.get()->pixels = dst.get()->pixels;
  for (uint8_t opacity : {uint8_t{255}, uint8_t{90}}) {
    EXPECT_EQ(fbitmap_blit_masked(dst.get(), {0, 0}, src.get(), {0, 0, 7, 3}, overlay.get(), opacity), 1);
    fbitmap_kernels_set_path(FKernelPath::reference);
    EXPECT_EQ(fbitmap_blit_masked(expected.get(), {0, 0}, src.get(), {0, 0, 7, 3}, mask_before.get(), opacity), 1);
    fbitmap_kernels_set_path(FKernelPath::specialised);
    EXPECT_EQ(first_difference(dst.get(), expected.get()), "");
    std::memcpy(mask_before.get()->pixels, dst.get()->pixels, fbitmap_get_size_image(overlay.get()));
  }
  overlay.get()->pixels = own_pixels;
}

// ---- Hand-computed cases --------------------------------------------------------------------------

TEST(FBitmapKernels, PlainBlitAtFullOpacityDarkensFullChannelsByOneStep) {
  // (31 x 255 + 0) >> 8 = 30 and (255 x 255) >> 8 = 254: the blend divides by 256.
  struct Case {
    FPixelFormat format;
    uint32_t white, expected;
  } cases[] = {
      {FPixelFormat::rgb565, 0xFFFF, (30u << 11) | (62u << 5) | 30u},
      {FPixelFormat::rgb555, 0x7FFF, (30u << 10) | (30u << 5) | 30u},
      {FPixelFormat::rgb24, 0xFFFFFF, 0xFEFEFE},
      {FPixelFormat::rgb32, 0xFFFFFFFF, 0x12FEFEFE},  // the destination's fourth byte stays
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(format_name(c.format));
    Owned src(new_bitmap(c.format, 3, 2, Rows::top_down));
    Owned dst(new_bitmap(c.format, 3, 2, Rows::bottom_up));
    ASSERT_TRUE(src.get() && dst.get());
    for (int32_t y = 0; y < 2; ++y) {
      for (int32_t x = 0; x < 3; ++x) {
        fbitmap_set_pixel(src.get(), x, y, c.white);
        fbitmap_set_pixel(dst.get(), x, y, c.format == FPixelFormat::rgb32 ? 0x12000000 : 0);
      }
    }
    EXPECT_EQ(fbitmap_blit(dst.get(), {0, 0}, src.get(), {0, 0, 2, 1}, 255), 1);
    for (int32_t y = 0; y < 2; ++y) {
      for (int32_t x = 0; x < 3; ++x) EXPECT_EQ(fbitmap_get_pixel(dst.get(), x, y), c.expected);
    }
  }
}

TEST(FBitmapKernels, KeyedBlitWithoutKeyAtFullOpacityCopiesExactly) {
  std::mt19937 rng(5);
  // Equal formats copy the raw pixels, the fourth byte of 32-bit pixels included; the
  // blit to (-2, 1) draws source columns 2.. at destination columns 0...
  for (FPixelFormat format : {FPixelFormat::rgb565, FPixelFormat::rgb24, FPixelFormat::rgb32}) {
    SCOPED_TRACE(format_name(format));
    Owned src(new_bitmap(format, 10, 4, Rows::bottom_up));
    Owned dst(new_bitmap(format, 8, 5, Rows::top_down));
    ASSERT_TRUE(src.get() && dst.get());
    fill_random(src.get(), rng);
    fill_random(dst.get(), rng);
    Owned before(fbitmap_clone(dst.get()));
    EXPECT_EQ(fbitmap_blit_keyed(dst.get(), {-2, 1}, src.get(), {0, 0, 9, 9}, FCOLOR_KEY_NONE, 255), 1);
    for (int32_t y = 0; y < 5; ++y) {
      for (int32_t x = 0; x < 8; ++x) {
        uint32_t expected = y >= 1 ? fbitmap_get_pixel(src.get(), x + 2, y - 1) : fbitmap_get_pixel(before.get(), x, y);
        EXPECT_EQ(fbitmap_get_pixel(dst.get(), x, y), expected) << x << "," << y;
      }
    }
  }
  // Between 5-5-5 bitmaps the channels are copied and bit 15, not being one, is cleared.
  Owned src(new_bitmap(FPixelFormat::rgb555, 2, 1, Rows::top_down));
  Owned dst(new_bitmap(FPixelFormat::rgb555, 2, 1, Rows::top_down));
  ASSERT_TRUE(src.get() && dst.get());
  fbitmap_set_pixel(src.get(), 0, 0, 0x8000 | 0x1234);
  fbitmap_set_pixel(src.get(), 1, 0, 0x7FFF);
  EXPECT_EQ(fbitmap_blit_keyed(dst.get(), {0, 0}, src.get(), {0, 0, 1, 0}, FCOLOR_KEY_NONE, 255), 1);
  EXPECT_EQ(fbitmap_get_pixel(dst.get(), 0, 0), 0x1234u);
  EXPECT_EQ(fbitmap_get_pixel(dst.get(), 1, 0), 0x7FFFu);
  // A 32-bit source into 24 bits drops the fourth byte; a 24-bit source into 32 bits keeps
  // the destination's.
  Owned s32(new_bitmap(FPixelFormat::rgb32, 1, 1, Rows::top_down));
  Owned d24(new_bitmap(FPixelFormat::rgb24, 1, 1, Rows::top_down));
  Owned d32(new_bitmap(FPixelFormat::rgb32, 1, 1, Rows::top_down));
  ASSERT_TRUE(s32.get() && d24.get() && d32.get());
  fbitmap_set_pixel(s32.get(), 0, 0, 0xAB123456);
  fbitmap_set_pixel(d32.get(), 0, 0, 0xCD000000);
  EXPECT_EQ(fbitmap_blit_keyed(d24.get(), {0, 0}, s32.get(), {0, 0, 0, 0}, FCOLOR_KEY_NONE, 255), 1);
  EXPECT_EQ(fbitmap_blit_keyed(d32.get(), {0, 0}, d24.get(), {0, 0, 0, 0}, FCOLOR_KEY_NONE, 255), 1);
  EXPECT_EQ(fbitmap_get_pixel(d24.get(), 0, 0), 0x123456u);
  EXPECT_EQ(fbitmap_get_pixel(d32.get(), 0, 0), 0xCD123456u);
}

TEST(FBitmapKernels, KeyedBlitSkipsPixelsEqualToTheKeyInTheSourceFormat) {
  // RGB565 source: the key (250, 130, 20) converts to (31, 32, 2), so does (255, 131, 23).
  Owned src(new_bitmap(FPixelFormat::rgb565, 3, 1, Rows::top_down));
  Owned dst(new_bitmap(FPixelFormat::rgb32, 3, 1, Rows::top_down));
  ASSERT_TRUE(src.get() && dst.get());
  uint32_t key565 = (31u << 11) | (32u << 5) | 2u;
  fbitmap_set_pixel(src.get(), 0, 0, key565);
  fbitmap_set_pixel(src.get(), 1, 0, 0x0000);
  fbitmap_set_pixel(src.get(), 2, 0, key565 ^ 1);
  for (int32_t x = 0; x < 3; ++x) fbitmap_set_pixel(dst.get(), x, 0, 0x77665544);
  EXPECT_EQ(fbitmap_blit_keyed(dst.get(), {0, 0}, src.get(), {0, 0, 2, 0}, fcolor_key_make(255, 131, 23), 255), 1);
  EXPECT_EQ(fbitmap_get_pixel(dst.get(), 0, 0), 0x77665544u);
  EXPECT_EQ(fbitmap_get_pixel(dst.get(), 1, 0), 0x77000000u);
  EXPECT_EQ(fbitmap_get_pixel(dst.get(), 2, 0), 0x77F88018u);  // 31 << 3, 32 << 2, 3 << 3
}

TEST(FBitmapKernels, MaskedBlitNeedsAnEightBitMaskOfTheSourceSize) {
  Owned src(new_bitmap(FPixelFormat::rgb32, 4, 3, Rows::top_down));
  Owned dst(new_bitmap(FPixelFormat::rgb32, 4, 3, Rows::top_down));
  Owned wider(new_bitmap(FPixelFormat::pal8, 5, 3, Rows::top_down));
  Owned taller(new_bitmap(FPixelFormat::pal8, 4, 4, Rows::top_down));
  Owned deep(new_bitmap(FPixelFormat::rgb565, 4, 3, Rows::top_down));
  Owned fitting(new_bitmap(FPixelFormat::pal8, 4, 3, Rows::bottom_up));
  ASSERT_TRUE(src.get() && dst.get() && wider.get() && taller.get() && deep.get() && fitting.get());
  std::memset(src.get()->pixels, 0, fbitmap_get_size_image(src.get()));
  Owned before(fbitmap_clone(dst.get()));
  for (const FBitmap* mask : {wider.get(), taller.get(), deep.get()}) {
    EXPECT_EQ(fbitmap_blit_masked(dst.get(), {0, 0}, src.get(), {0, 0, 3, 2}, mask, 255), 0);
    EXPECT_EQ(first_difference(dst.get(), before.get()), "");
  }
  // The mask is read at source coordinates in its own (bottom-up) row order: mask pixel
  // (2, 1) gives alpha 255 to source pixel (2, 1), drawn at destination (1, 0).
  std::memset(fitting.get()->pixels, 0, fbitmap_get_size_image(fitting.get()));
  fbitmap_set_pixel(fitting.get(), 2, 1, 255);
  EXPECT_EQ(fbitmap_blit_masked(dst.get(), {0, 0}, src.get(), {1, 1, 3, 2}, fitting.get(), 255), 1);
  EXPECT_EQ(fbitmap_get_pixel(dst.get(), 1, 0), 0xFF000000u);  // black at alpha 255
  EXPECT_EQ(fbitmap_get_pixel(dst.get(), 0, 0), 0xFFFEFEFEu);  // white x 255 >> 8 at alpha 0
}

TEST(FBitmapKernels, FillsKeepTheFourthByteAndBlendAtAlphaZeroOneStepDarker) {
  Owned dst(new_bitmap(FPixelFormat::rgb32, 4, 2, Rows::bottom_up));
  ASSERT_TRUE(dst.get());
  for (int32_t x = 0; x < 4; ++x) {
    fbitmap_set_pixel(dst.get(), x, 0, 0x01000000u * static_cast<uint32_t>(x + 1) | 0x808080);
    fbitmap_set_pixel(dst.get(), x, 1, 0xA0808080);
  }
  EXPECT_EQ(fbitmap_hline(dst.get(), -5, 2, 0, fcolor_make(0x11, 0x22, 0x33, 255)), 1);
  EXPECT_EQ(fbitmap_get_pixel(dst.get(), 0, 0), 0x01112233u);
  EXPECT_EQ(fbitmap_get_pixel(dst.get(), 2, 0), 0x03112233u);
  EXPECT_EQ(fbitmap_get_pixel(dst.get(), 3, 0), 0x04808080u);
  EXPECT_EQ(fbitmap_fill_rect(dst.get(), 3, 1, 0, 1, fcolor_make(0xFF, 0xFF, 0xFF, 0)), 1);
  EXPECT_EQ(fbitmap_get_pixel(dst.get(), 1, 1), 0xA07F7F7Fu);  // 128 x 255 >> 8 = 127
  Owned d565(new_bitmap(FPixelFormat::rgb565, 3, 3, Rows::top_down));
  ASSERT_TRUE(d565.get());
  EXPECT_EQ(fbitmap_vline(d565.get(), 1, 5, -1, fcolor_make(0xFF, 0x80, 0x08, 255)), 1);
  for (int32_t y = 0; y < 3; ++y) {
    EXPECT_EQ(fbitmap_get_pixel(d565.get(), 0, y), 0xFFFFu);
    EXPECT_EQ(fbitmap_get_pixel(d565.get(), 1, y), (31u << 11) | (32u << 5) | 1u);
  }
}

TEST(FBitmapKernels, PaletteIndicesPastAShortPaletteReadAsEntryZero) {
  // A picture read from a file may carry fewer than 256 palette entries (biClrUsed).
  Owned src(new_bitmap(FPixelFormat::pal8, 3, 1, Rows::top_down));
  Owned dst(new_bitmap(FPixelFormat::rgb24, 3, 1, Rows::top_down));
  ASSERT_TRUE(src.get() && dst.get());
  uint8_t* info = src.get()->info;
  info[32] = 2;  // biClrUsed
  uint8_t* palette = info + FBITMAP_INFO_HEADER_SIZE;
  const uint8_t entries[3][4] = {{1, 2, 3, 0}, {4, 5, 6, 0}, {7, 8, 9, 0}};
  std::memcpy(palette, entries, sizeof entries);
  const uint8_t indices[3] = {1, 2, 200};
  std::memcpy(src.get()->pixels, indices, 3);
  for (FKernelPath path : {FKernelPath::specialised, FKernelPath::reference}) {
    fbitmap_kernels_set_path(path);
    std::memset(dst.get()->pixels, 0xEE, 9);
    EXPECT_EQ(fbitmap_blit_keyed(dst.get(), {0, 0}, src.get(), {0, 0, 2, 0}, FCOLOR_KEY_NONE, 255), 1);
    EXPECT_EQ(fbitmap_get_pixel(dst.get(), 0, 0), 0x060504u);
    EXPECT_EQ(fbitmap_get_pixel(dst.get(), 1, 0), 0x030201u);
    EXPECT_EQ(fbitmap_get_pixel(dst.get(), 2, 0), 0x030201u);
    // The key matches entry 0's colour, so indices 2 and 200 are skipped as well.
    std::memset(dst.get()->pixels, 0xEE, 9);
    EXPECT_EQ(fbitmap_blit_keyed(dst.get(), {0, 0}, src.get(), {0, 0, 2, 0}, fcolor_key_make(3, 2, 1), 255), 1);
    EXPECT_EQ(fbitmap_get_pixel(dst.get(), 0, 0), 0x060504u);
    EXPECT_EQ(fbitmap_get_pixel(dst.get(), 1, 0), 0xEEEEEEu);
    EXPECT_EQ(fbitmap_get_pixel(dst.get(), 2, 0), 0xEEEEEEu);
  }
  fbitmap_kernels_set_path(FKernelPath::specialised);
}

}  // namespace
