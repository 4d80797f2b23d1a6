// Bitmap records: creation and its information block, addressing in both row orders,
// raw and channel access, single-pixel blending, span clipping, the scaler and BMP files.

#include "fbitmap.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include "fbytes.h"

namespace {

struct BitmapDeleter {
  void operator()(FBitmap* b) const { fbitmap_destroy(b); }
};
using BitmapPtr = std::unique_ptr<FBitmap, BitmapDeleter>;

BitmapPtr make(int32_t w, int32_t h, int32_t bpp) { return BitmapPtr(fbitmap_create(w, h, bpp)); }

std::filesystem::path temp_dir() {
  auto dir = std::filesystem::temp_directory_path() / ("penlark-fbitmap-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  return dir;
}

}  // namespace

TEST(FBitmapCreate, InformationBlockAndDepths) {
  FBitmap b{};
  EXPECT_EQ(fbitmap_init(&b, 4, 4, 1), 0);
  EXPECT_EQ(fbitmap_init(&b, 4, 4, 4), 0);
  EXPECT_EQ(b.info, nullptr);

  BitmapPtr b16 = make(1, 2, 16);
  ASSERT_TRUE(b16);
  EXPECT_EQ(fbitmap_get_compression(b16.get()), FBITMAP_BI_BITFIELDS);
  EXPECT_EQ(fbitmap_get_info_size(b16.get()), 52u);
  EXPECT_EQ(fbytes_get_u32(b16->info + 40), 0xF800u);
  EXPECT_EQ(fbytes_get_u32(b16->info + 44), 0x07E0u);
  EXPECT_EQ(fbytes_get_u32(b16->info + 48), 0x001Fu);
  EXPECT_EQ(b16->red_shift, 11u);
  EXPECT_EQ(b16->green_loss, 2u);
  EXPECT_EQ(fbitmap_get_stride(b16.get()), 4u);  // width 1 at 16 bpp pads to 4 bytes
  EXPECT_TRUE(fbitmap_is_rgb565(b16.get()));

  BitmapPtr b24 = make(3, 2, 24);
  EXPECT_EQ(fbitmap_get_stride(b24.get()), 12u);
  EXPECT_EQ(fbytes_get_u32(b24->info + 20), 24u);  // biSizeImage
  EXPECT_EQ(fbitmap_get_info_size(b24.get()), 40u);

  BitmapPtr b8 = make(5, 1, 8);
  EXPECT_EQ(fbitmap_get_color_count(b8.get()), 256);
  EXPECT_EQ(fbitmap_get_info_size(b8.get()), 40u + 1024u);
  const uint8_t* palette = fbitmap_get_palette(b8.get());
  EXPECT_EQ(palette[4 * 77 + 0], 77);
  EXPECT_EQ(palette[4 * 77 + 2], 77);
  EXPECT_EQ(palette[4 * 77 + 3], 0);

  // A new bitmap is white.
  BitmapPtr b32 = make(7, -3, 32);
  for (uint32_t i = 0; i < fbitmap_get_size_image(b32.get()); ++i) ASSERT_EQ(b32->pixels[i], 0xFF);
  EXPECT_TRUE(fbitmap_is_top_down(b32.get()));
  EXPECT_EQ(fbitmap_get_height(b32.get()), 3);

  // Sizes whose pixel buffer cannot be described are refused, not wrapped around.
  EXPECT_EQ(fbitmap_create(70000, 70000, 32), nullptr);
  EXPECT_EQ(fbitmap_create(-1, 4, 32), nullptr);
}

TEST(FBitmapAddress, RowOrderAndBounds) {
  BitmapPtr up = make(2, 3, 32);
  BitmapPtr down = make(2, -3, 32);
  EXPECT_EQ(fbitmap_row(up.get(), 0), up->pixels + 2 * up->stride);  // last row in memory
  EXPECT_EQ(fbitmap_row(down.get(), 0), down->pixels);
  EXPECT_EQ(fbitmap_row(up.get(), 3), nullptr);
  EXPECT_EQ(fbitmap_row(up.get(), -1), nullptr);
  EXPECT_EQ(fbitmap_pixel_address(up.get(), 2, 0), nullptr);
  EXPECT_EQ(fbitmap_pixel_address(up.get(), 1, 2), up->pixels + 4);
  EXPECT_EQ(fbitmap_get_pixel(up.get(), -1, 0), 0u);
  EXPECT_EQ(fbitmap_set_pixel(up.get(), 0, 5, 1), 0);
}

TEST(FBitmapPixels, RawValuesAtEveryDepth) {
  // 1 and 4 bpp only come from files; build them by hand to check the bit addressing.
  FBitmap b{};
  ASSERT_TRUE(fbitmap_init(&b, 8, -1, 8));
  fbytes_put_u16(b.info + 14, 1);
  fbitmap_describe(&b);
  std::memset(b.pixels, 0, fbitmap_get_size_image(&b));
  EXPECT_EQ(fbitmap_set_pixel(&b, 1, 0, 1), 1);
  EXPECT_EQ(fbitmap_set_pixel(&b, 7, 0, 1), 1);
  EXPECT_EQ(b.pixels[0], 0x41);
  EXPECT_EQ(fbitmap_get_pixel(&b, 1, 0), 1u);
  EXPECT_EQ(fbitmap_get_pixel(&b, 2, 0), 0u);
  fbytes_put_u16(b.info + 14, 4);
  fbitmap_describe(&b);
  b.pixels[0] = 0;
  fbitmap_set_pixel(&b, 0, 0, 0xA);
  fbitmap_set_pixel(&b, 1, 0, 0x5);
  EXPECT_EQ(b.pixels[0], 0xA5);
  EXPECT_EQ(fbitmap_get_pixel(&b, 1, 0), 5u);
  fbitmap_release(&b);
  EXPECT_EQ(b.info, nullptr);

  BitmapPtr b24 = make(2, 2, 24);
  fbitmap_set_pixel(b24.get(), 1, 1, 0x112233);
  uint8_t rgba[4] = {0, 0, 0, 0x5A};
  ASSERT_TRUE(fbitmap_get_rgba(b24.get(), 1, 1, rgba));
  EXPECT_EQ(rgba[0], 0x33);
  EXPECT_EQ(rgba[1], 0x22);
  EXPECT_EQ(rgba[2], 0x11);
  EXPECT_EQ(rgba[3], 0x5A);  // no fourth byte at 24 bpp

  BitmapPtr b16 = make(1, 1, 16);
  fbitmap_set_pixel(b16.get(), 0, 0, 0xF81F);  // magenta
  ASSERT_TRUE(fbitmap_get_rgba(b16.get(), 0, 0, rgba));
  EXPECT_EQ(rgba[0], 0xF8);
  EXPECT_EQ(rgba[1], 0x00);
  EXPECT_EQ(rgba[2], 0xF8);
}

TEST(FBitmapPixels, BlendPixelByAlpha) {
  BitmapPtr b = make(2, 1, 32);
  b->pixels[3] = 0x10;
  fbitmap_blend_pixel(b.get(), 0, 0, fcolor_make(10, 20, 30, 255));
  EXPECT_EQ(fbytes_get_u32(b->pixels), 0xFF0A141Eu);  // stored opaque
  fbitmap_blend_pixel(b.get(), 1, 0, fcolor_make(0, 0, 0, 128));
  EXPECT_EQ(b->pixels[4], (255 * 127) >> 8);
  // Alpha 0 still darkens by one step: old x 255 >> 8.
  fbitmap_blend_pixel(b.get(), 0, 0, fcolor_make(200, 200, 200, 0));
  EXPECT_EQ(b->pixels[0], (30 * 255) >> 8);

  BitmapPtr b16 = make(1, 1, 16);
  fbitmap_blend_pixel(b16.get(), 0, 0, fcolor_make(255, 0, 0, 255));
  EXPECT_EQ(fbitmap_get_pixel(b16.get(), 0, 0), 0xF800u);
  BitmapPtr b8 = make(1, 1, 8);
  EXPECT_EQ(fbitmap_blend_pixel(b8.get(), 0, 0, 0xFF000000), 0);
}

TEST(FBitmapSpans, ClampedAtBothEndsAndSkippedOutside) {
  BitmapPtr b = make(10, -2, 32);
  const FColor red = fcolor_make(255, 0, 0, 255);
  fbitmap_hline(b.get(), -5, 3, 0, red);
  for (int x = 0; x < 10; ++x) EXPECT_EQ(fbitmap_get_pixel(b.get(), x, 0), x <= 3 ? 0xFFFF0000u : 0xFFFFFFFFu) << x;
  fbitmap_hline(b.get(), -5, -1, 1, red);
  fbitmap_hline(b.get(), 10, 20, 1, red);
  fbitmap_hline(b.get(), 12, 8, 1, red);  // reversed order, clamped on the right
  for (int x = 0; x < 10; ++x) EXPECT_EQ(fbitmap_get_pixel(b.get(), x, 1), x >= 8 ? 0xFFFF0000u : 0xFFFFFFFFu) << x;

  // A fill with alpha 255 keeps each pixel's fourth byte.
  BitmapPtr c = make(3, 3, 32);
  std::memset(c->pixels, 0x20, fbitmap_get_size_image(c.get()));
  fbitmap_fill_rect(c.get(), 2, 2, -4, 0, fcolor_make(1, 2, 3, 255));
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 3; ++x) EXPECT_EQ(fbitmap_get_pixel(c.get(), x, y), 0x20010203u);

  BitmapPtr v = make(2, 4, 32);
  fbitmap_vline(v.get(), 1, 5, 2, red);  // rows in image order, bottom-up storage
  EXPECT_EQ(fbitmap_get_pixel(v.get(), 1, 1), 0xFFFFFFFFu);
  EXPECT_EQ(fbitmap_get_pixel(v.get(), 1, 2), 0xFFFF0000u);
  EXPECT_EQ(fbitmap_get_pixel(v.get(), 1, 3), 0xFFFF0000u);
  EXPECT_EQ(fbitmap_vline(v.get(), 2, 0, 3, red), 1);
  EXPECT_EQ(fbitmap_get_pixel(v.get(), 0, 2), 0xFFFFFFFFu);

  BitmapPtr p = make(4, 4, 8);
  EXPECT_EQ(fbitmap_hline(p.get(), 0, 3, 0, red), 0);
}

TEST(FBitmapBlit, ClippingAtNegativePointsAndSizeRules) {
  BitmapPtr src = make(10, -10, 32);
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 10; ++x) fbitmap_set_pixel(src.get(), x, y, 0xFF000000u | (y << 8) | x);
  BitmapPtr dst = make(10, -10, 32);
  ASSERT_EQ(fbitmap_blit_keyed(dst.get(), {-2, 0}, src.get(), {0, 0, 9, 9}, FCOLOR_KEY_NONE, 255), 1);
  for (int x = 0; x < 8; ++x) EXPECT_EQ(fbitmap_get_pixel(dst.get(), x, 3), 0xFF000300u | (x + 2)) << x;
  EXPECT_EQ(fbitmap_get_pixel(dst.get(), 8, 3), 0xFFFFFFFFu);

  // Reversed source rectangle and a negative source corner.
  BitmapPtr dst2 = make(10, -10, 32);
  ASSERT_EQ(fbitmap_blit_keyed(dst2.get(), {0, 0}, src.get(), {3, 3, -2, 1}, FCOLOR_KEY_NONE, 255), 1);
  // Normalised to (-2, 1)-(3, 3): source column 0 lands at destination column 2.
  EXPECT_EQ(fbitmap_get_pixel(dst2.get(), 1, 0), 0xFFFFFFFFu);
  EXPECT_EQ(fbitmap_get_pixel(dst2.get(), 2, 0), 0xFF000100u);
  EXPECT_EQ(fbitmap_get_pixel(dst2.get(), 5, 2), 0xFF000303u);
  EXPECT_EQ(fbitmap_get_pixel(dst2.get(), 6, 2), 0xFFFFFFFFu);
  EXPECT_EQ(fbitmap_get_pixel(dst2.get(), 2, 3), 0xFFFFFFFFu);

  // Both source x coordinates negative: nothing, result 0. Empty clip: result 1.
  EXPECT_EQ(fbitmap_blit(dst.get(), {0, 0}, src.get(), {-5, 0, -1, 3}, 255), 0);
  EXPECT_EQ(fbitmap_blit(dst.get(), {20, 0}, src.get(), {0, 0, 3, 3}, 255), 1);

  BitmapPtr mask = make(9, 10, 8);
  EXPECT_EQ(fbitmap_blit_masked(dst.get(), {0, 0}, src.get(), {0, 0, 3, 3}, mask.get(), 255), 0);
  BitmapPtr pal = make(4, 4, 8);
  EXPECT_EQ(fbitmap_blit(pal.get(), {0, 0}, src.get(), {0, 0, 3, 3}, 255), 0);

  // A plain blit always blends: 5-bit 31 comes out as 30 even at opacity 255.
  BitmapPtr s16 = make(1, 1, 16), d16 = make(1, 1, 16);
  fbitmap_set_pixel(s16.get(), 0, 0, 0xFFFF);
  fbitmap_blit(d16.get(), {0, 0}, s16.get(), {0, 0, 0, 0}, 255);
  EXPECT_EQ(fbitmap_get_pixel(d16.get(), 0, 0) & 31u, 30u);
}

TEST(FBitmapCopy, DeepCopyIsIndependent) {
  BitmapPtr a = make(3, 2, 16);
  fbitmap_set_pixel(a.get(), 1, 1, 0x1234);
  BitmapPtr b(fbitmap_clone(a.get()));
  ASSERT_TRUE(b);
  EXPECT_NE(a->info, b->info);
  EXPECT_NE(a->pixels, b->pixels);
  EXPECT_EQ(fbitmap_get_pixel(b.get(), 1, 1), 0x1234u);
  EXPECT_EQ(b->green_mask, 0x07E0u);
  fbitmap_set_pixel(a.get(), 1, 1, 0);
  EXPECT_EQ(fbitmap_get_pixel(b.get(), 1, 1), 0x1234u);

  FBitmap into{};
  ASSERT_TRUE(fbitmap_init(&into, 50, 50, 32));  // replaced, not leaked
  ASSERT_TRUE(fbitmap_copy_into(&into, a.get()));
  EXPECT_EQ(fbitmap_get_width(&into), 3);
  EXPECT_EQ(fbitmap_copy_into(&into, &into), 1);
  fbitmap_release(&into);
}

TEST(FBitmapScale, FitExactAndRowOrders) {
  BitmapPtr src = make(4, 2, 24);  // bottom-up source
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 4; ++x) fbitmap_set_pixel(src.get(), x, y, static_cast<uint32_t>(y * 16 + x));

  BitmapPtr fit(fbitmap_scale(src.get(), 100, 100, FBitmapScale::keep_ratio, FBitmapRows::bottom_up));
  ASSERT_TRUE(fit);
  EXPECT_EQ(fbitmap_get_width(fit.get()), 100);
  EXPECT_EQ(fbitmap_get_height(fit.get()), 50);
  EXPECT_FALSE(fbitmap_is_top_down(fit.get()));
  EXPECT_EQ(fbitmap_get_bpp(fit.get()), 32);
  // Upright: the top-left destination pixel comes from the top-left source pixel.
  EXPECT_EQ(fbitmap_get_pixel(fit.get(), 0, 0), 0xFF000000u);
  EXPECT_EQ(fbitmap_get_pixel(fit.get(), 99, 49), 0xFF000013u);
  EXPECT_EQ(fbitmap_get_pixel(fit.get(), 25, 25), 0xFF000011u);

  BitmapPtr tall(fbitmap_scale(src.get(), 100, 100, FBitmapScale::exact, FBitmapRows::top_down));
  ASSERT_TRUE(tall);
  EXPECT_EQ(fbitmap_get_height(tall.get()), 100);
  EXPECT_TRUE(fbitmap_is_top_down(tall.get()));
  EXPECT_EQ(fbitmap_get_pixel(tall.get(), 0, 99), 0xFF000010u);

  // A very thin picture still gets one row.
  BitmapPtr thin = make(1000, 1, 32);
  BitmapPtr t(fbitmap_scale(thin.get(), 100, 100, FBitmapScale::keep_ratio, FBitmapRows::top_down));
  ASSERT_TRUE(t);
  EXPECT_EQ(fbitmap_get_height(t.get()), 1);
  EXPECT_EQ(fbitmap_scale(thin.get(), 0, 10, FBitmapScale::exact, FBitmapRows::top_down), nullptr);

  // Into a 16-bit destination.
  BitmapPtr d16 = make(2, 2, 16);
  BitmapPtr white = make(1, 1, 32);
  fbitmap_set_pixel(white.get(), 0, 0, 0xFF00FF00u);
  ASSERT_TRUE(fbitmap_scale_into(d16.get(), white.get()));
  EXPECT_EQ(fbitmap_get_pixel(d16.get(), 1, 1), 0x07E0u);
}

TEST(FBitmapFile, SaveBmpWritesHeaderBlockAndPixels) {
  auto dir = temp_dir();
  BitmapPtr b = make(3, 2, 16);
  fbitmap_set_pixel(b.get(), 0, 0, 0xABCD);
  std::string path = (dir / "a.bmp").string();
  ASSERT_EQ(fbitmap_save_bmp(b.get(), path.c_str()), 1);
  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_EQ(bytes.size(), 14u + 40u + 12u + 16u);
  EXPECT_EQ(bytes[0], 'B');
  EXPECT_EQ(bytes[1], 'M');
  EXPECT_EQ(fbytes_get_u32(&bytes[2]), bytes.size());
  EXPECT_EQ(fbytes_get_u32(&bytes[10]), 14u + 40u + 12u);
  EXPECT_EQ(std::memcmp(&bytes[14], b->info, 52), 0);
  EXPECT_EQ(std::memcmp(&bytes[66], b->pixels, 16), 0);

  // 8 bpp: the palette follows the header.
  BitmapPtr p = make(1, 1, 8);
  ASSERT_EQ(fbitmap_save_bmp(p.get(), path.c_str()), 1);
  EXPECT_EQ(std::filesystem::file_size(path), 14u + 40u + 1024u + 4u);

  // A folder that cannot be written: failure, and the earlier file is untouched.
  EXPECT_EQ(fbitmap_save_bmp(b.get(), (dir / "missing" / "x.bmp").string().c_str()), 0);
  EXPECT_EQ(std::filesystem::file_size(path), 14u + 40u + 1024u + 4u);
  std::filesystem::remove_all(dir);
}
