// Bitmap records: creation and its information block, addressing in both row orders, raw
// and channel access, single-pixel blending, the clipping of spans and blits, copies, the
// scaler and BMP files. The kernels behind spans and blits are compared with the reference
// path in fbitmap_kernels_test.cpp.

#include "fbitmap.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "fbytes.h"

namespace {

using BitmapPtr = std::unique_ptr<FBitmap, decltype(&fbitmap_destroy)>;
BitmapPtr own(FBitmap* b) { return BitmapPtr(b, &fbitmap_destroy); }
BitmapPtr make(int32_t w, int32_t h, int32_t bpp) { return own(fbitmap_create(w, h, bpp)); }

// The four bytes fbitmap_get_rgba gives (blue, green, red, fourth) as one little-endian
// value; the fourth starts as 0x5A to show whether it is written. 0 outside the bitmap.
uint32_t rgba_at(const FBitmap* b, int32_t x, int32_t y) {
  uint8_t out[4] = {0, 0, 0, 0x5A};
  return fbitmap_get_rgba(b, x, y, out) ? fbytes_get_u32(out) : 0;
}

// The first pixel whose raw value differs from expected(x, y), or "" when all match.
template <typename Expected>
std::string first_mismatch(const FBitmap* b, Expected expected) {
  for (int32_t y = 0; y < fbitmap_get_height(b); ++y)
    for (int32_t x = 0; x < fbitmap_get_width(b); ++x)
      if (fbitmap_get_pixel(b, x, y) != expected(x, y))
        return std::to_string(x) + "," + std::to_string(y) + ": " + std::to_string(fbitmap_get_pixel(b, x, y));
  return "";
}

}  // namespace

TEST(FBitmapCreate, InformationBlockAtEveryDepthAndCopies) {
  // Only 8, 16, 24 and 32 bpp are created; sizes whose pixel buffer cannot be described are
  // refused, not wrapped around.
  FBitmap none{};
  EXPECT_EQ(fbitmap_init(&none, 4, 4, 1) + fbitmap_init(&none, 4, 4, 4), 0);
  EXPECT_TRUE(none.info == nullptr && !make(70000, 70000, 32) && !make(-1, 4, 32));

  // Rows pad to 4 bytes; 16 bpp carries the RGB565 bit fields after the header, 8 bpp a
  // 256-entry palette. A new bitmap is white in either row order.
  using Case = std::tuple<int32_t, int32_t, int32_t, uint32_t, uint32_t>;
  for (auto [w, h, bpp, stride, info_size] :
       {Case{1, 2, 16, 4, 52}, Case{3, 2, 24, 12, 40}, Case{5, 1, 8, 8, 1064}, Case{7, -3, 32, 28, 40}}) {
    BitmapPtr b = make(w, h, bpp);
    ASSERT_TRUE(b);
    EXPECT_EQ(fbitmap_get_stride(b.get()), stride);
    EXPECT_EQ(fbytes_get_u32(b->info + 20), stride * std::abs(h));  // biSizeImage
    EXPECT_EQ(fbitmap_get_info_size(b.get()), info_size);
    EXPECT_TRUE(fbitmap_get_height(b.get()) == std::abs(h) && fbitmap_is_top_down(b.get()) == (h < 0)) << h;
    EXPECT_TRUE(std::all_of(b->pixels, b->pixels + stride * std::abs(h), [](uint8_t v) { return v == 0xFF; }));
    EXPECT_TRUE(bpp != 16 || std::memcmp(b->info + 40, "\x00\xF8\0\0\xE0\x07\0\0\x1F\0\0\0", 12) == 0);
  }

  // A clone is described like its original and shares nothing with it. Copying into a
  // record replaces (and frees) what it held; copying onto itself keeps it.
  BitmapPtr a = make(3, 2, 16);
  fbitmap_set_pixel(a.get(), 1, 1, 0x1234);
  BitmapPtr b = own(fbitmap_clone(a.get()));
  ASSERT_TRUE(b && b->green_mask == 0x07E0u);
  fbitmap_set_pixel(a.get(), 1, 1, 0);
  EXPECT_EQ(fbitmap_get_pixel(b.get(), 1, 1), 0x1234u);
  FBitmap into{};
  ASSERT_TRUE(fbitmap_init(&into, 50, 50, 32) && fbitmap_copy_into(&into, b.get()));
  EXPECT_EQ(fbitmap_copy_into(&into, &into), 1);
  EXPECT_TRUE(fbitmap_get_width(&into) == 3 && fbitmap_get_pixel(&into, 1, 1) == 0x1234u);
  fbitmap_release(&into);
}

TEST(FBitmapPixels, AddressingRawBitsChannelsAndBlending) {
  // Row 0 of bottom-up rows is the last in memory; outside the bitmap there is nothing.
  BitmapPtr up = make(2, 3, 32), down = make(2, -3, 32);
  EXPECT_TRUE(fbitmap_row(up.get(), 0) == up->pixels + 2 * up->stride && fbitmap_row(down.get(), 0) == down->pixels);
  EXPECT_EQ(fbitmap_pixel_address(up.get(), 1, 2), up->pixels + 4);
  for (auto [x, y] : {std::pair{0, 3}, {0, -1}, {2, 0}, {-1, 0}})
    EXPECT_TRUE(!fbitmap_pixel_address(up.get(), x, y) && !fbitmap_set_pixel(up.get(), x, y, 1)) << x << "," << y;

  // 1 and 4 bpp only come from files; a record made by hand checks the bit addressing: the
  // leftmost pixel sits in the high bits, and writes keep the neighbours.
  FBitmap b{};
  ASSERT_TRUE(fbitmap_init(&b, 8, -1, 8));
  for (auto [bpp, x1, v1, x2, v2, byte] : {std::tuple{1, 1, 1u, 7, 1u, 0x41}, {4, 0, 0xAu, 1, 0x5u, 0xA5}}) {
    fbytes_put_u16(b.info + 14, static_cast<uint16_t>(bpp));
    fbitmap_describe(&b);
    b.pixels[0] = 0;
    EXPECT_EQ(fbitmap_set_pixel(&b, x1, 0, v1) + fbitmap_set_pixel(&b, x2, 0, v2), 2);
    EXPECT_TRUE(b.pixels[0] == byte && fbitmap_get_pixel(&b, x1, 0) == v1 && fbitmap_get_pixel(&b, x2, 0) == v2)
        << bpp;
  }
  fbitmap_release(&b);

  // Channels: 8 bpp through the grey-ramp palette (fourth byte 0), 24 bpp without a fourth
  // byte, 16 bpp widened from the bit fields.
  BitmapPtr b8 = make(1, 1, 8), b24 = make(2, 2, 24), b16 = make(1, 1, 16);
  EXPECT_EQ(fbitmap_set_pixel(b8.get(), 0, 0, 77) + fbitmap_set_pixel(b24.get(), 1, 1, 0x112233) +
                fbitmap_set_pixel(b16.get(), 0, 0, 0xF81F), 3);
  EXPECT_EQ((std::vector{rgba_at(b8.get(), 0, 0), rgba_at(b24.get(), 1, 1), rgba_at(b16.get(), 0, 0)}),
            (std::vector{0x004D4D4Du, 0x5A112233u, 0x5AF800F8u}));

  // Blending by alpha: 32-bit pixels are stored opaque, and alpha 0 still darkens by one
  // step (old x 255 >> 8). 16 bpp packs into the bit fields; 8 bpp cannot blend.
  BitmapPtr b32 = make(2, 1, 32);
  b32->pixels[3] = 0x10;
  fbitmap_blend_pixel(b32.get(), 0, 0, fcolor_make(10, 20, 30, 255));
  fbitmap_blend_pixel(b32.get(), 0, 0, fcolor_make(200, 200, 200, 0));
  fbitmap_blend_pixel(b32.get(), 1, 0, fcolor_make(0, 0, 0, 128));
  EXPECT_EQ(first_mismatch(b32.get(), [](int x, int) { return x == 0 ? 0xFF09131Du : 0xFF7E7E7Eu; }), "");
  EXPECT_EQ(fbitmap_blend_pixel(b16.get(), 0, 0, 0xFFFF0000) + fbitmap_blend_pixel(b8.get(), 0, 0, 0xFF000000), 1);
  EXPECT_EQ(fbitmap_get_pixel(b16.get(), 0, 0), 0xF800u);
}

TEST(FBitmapClip, SpansAndBlitsAtEveryEdge) {
  // Spans in image order on bottom-up rows: ends in either order are clamped, spans wholly
  // outside draw nothing and still succeed; 8 bpp has no spans. (Opaque fills of one colour
  // give the same picture in any order.)
  const FColor red = 0xFFFF0000;
  BitmapPtr s = make(10, 3, 32), p8 = make(4, 4, 8);
  EXPECT_EQ(fbitmap_hline(s.get(), -5, 3, 0, red) + fbitmap_hline(s.get(), 12, 8, 1, red) +
                fbitmap_vline(s.get(), 9, 5, 1, red) + fbitmap_fill_rect(s.get(), 6, 5, 5, 2, red) +
                fbitmap_hline(s.get(), -5, -1, 1, red) + fbitmap_hline(s.get(), 10, 20, 1, red) +
                fbitmap_hline(s.get(), 0, 9, 3, red) + fbitmap_vline(s.get(), 10, 0, 2, red) +
                fbitmap_fill_rect(s.get(), 0, -1, 9, -9, red), 9);
  const std::string rows[] = {"####......", "........##", ".....##..#"};
  EXPECT_EQ(first_mismatch(s.get(), [&](int x, int y) { return rows[y][x] == '#' ? red : 0xFFFFFFFF; }), "");
  EXPECT_EQ(fbitmap_hline(p8.get(), 0, 3, 0, red) + fbitmap_fill_rect(p8.get(), 0, 0, 3, 3, red), 0);

  // Exact copies of a 10 x 10 source onto 10 x 10 destinations: a negative destination
  // point or source corner moves the other side along, a reversed source rectangle is
  // normalised, and the copy is cut to both bitmaps. Source rectangles wholly left of or
  // above the source draw nothing and fail; a copy that misses the destination succeeds.
  // `drawn` is the destination area, where pixel (x, y) comes from (x, y) + shift.
  BitmapPtr src = make(10, -10, 32);
  const auto src_pixel = [](int x, int y) { return 0xFF000000u | y << 8 | x; };
  for (int i = 0; i < 100; ++i) fbitmap_set_pixel(src.get(), i % 10, i / 10, src_pixel(i % 10, i / 10));
  const struct { FPoint at; FRect src_rect; int result; FRect drawn; FPoint shift; } cases[] = {
      {{-2, 0}, {0, 0, 9, 9}, 1, {0, 0, 7, 9}, {2, 0}},   {{0, 0}, {3, 3, -2, 1}, 1, {2, 0, 5, 2}, {-2, 1}},
      {{5, 5}, {0, 0, 9, 9}, 1, {5, 5, 9, 9}, {-5, -5}}, {{1, -3}, {6, 0, 20, 20}, 1, {1, 0, 4, 6}, {5, 3}},
      {{20, 0}, {0, 0, 3, 3}, 1, {0, 0, -1, -1}, {}},    {{0, 0}, {-5, 0, -1, 3}, 0, {0, 0, -1, -1}, {}},
      {{0, 0}, {0, -5, 3, -1}, 0, {0, 0, -1, -1}, {}}};
  for (const auto& c : cases) {
    BitmapPtr dst = make(10, 10, 32);
    EXPECT_EQ(fbitmap_blit_keyed(dst.get(), c.at, src.get(), c.src_rect, FCOLOR_KEY_NONE, 255), c.result);
    EXPECT_EQ(first_mismatch(dst.get(), [&](int x, int y) {
                if (frect_is_empty(frect_intersect(c.drawn, FRect{x, y, x, y}))) return 0xFFFFFFFFu;
                return src_pixel(x + c.shift.x, y + c.shift.y);
              }), "") << c.at.x << "," << c.at.y;
  }
  // A mask must be as wide as the source; palette destinations take no blits.
  BitmapPtr narrow_mask = make(9, 10, 8), dst = make(10, 10, 32);
  EXPECT_EQ(fbitmap_blit_masked(dst.get(), {0, 0}, src.get(), {0, 0, 3, 3}, narrow_mask.get(), 255) +
                fbitmap_blit(p8.get(), {0, 0}, src.get(), {0, 0, 3, 3}, 255), 0);
}

TEST(FBitmapScale, FitExactRowOrdersAndThinPictures) {
  // A bottom-up 24-bit source of 4 x 2 distinct pixels; results are 32-bit and upright,
  // each pixel taken from where its left/top edge falls in the source.
  BitmapPtr src = make(4, 2, 24);
  for (int i = 0; i < 8; ++i) fbitmap_set_pixel(src.get(), i % 4, i / 4, static_cast<uint32_t>(i / 4 * 16 + i % 4));
  const auto scaled = [](int32_t w, int32_t h) {
    return [w, h](int32_t x, int32_t y) { return 0xFF000000u | (y * 2 / h * 16 + x * 4 / w); };
  };
  BitmapPtr fit = own(fbitmap_scale(src.get(), 100, 100, FBitmapScale::keep_ratio, FBitmapRows::bottom_up));
  BitmapPtr tall = own(fbitmap_scale(src.get(), 100, 100, FBitmapScale::exact, FBitmapRows::top_down));
  ASSERT_TRUE(fit && tall && fbitmap_get_width(fit.get()) == 100 && fbitmap_get_height(fit.get()) == 50 &&
              !fbitmap_is_top_down(fit.get()) && fbitmap_get_bpp(fit.get()) == 32);
  EXPECT_TRUE(fbitmap_get_height(tall.get()) == 100 && fbitmap_is_top_down(tall.get()));
  EXPECT_EQ(first_mismatch(fit.get(), scaled(100, 50)) + first_mismatch(tall.get(), scaled(100, 100)), "");
  // Back down from 32 bits to 32 bits gives the source again.
  BitmapPtr back = own(fbitmap_scale(fit.get(), 4, 2, FBitmapScale::exact, FBitmapRows::top_down));
  EXPECT_EQ(first_mismatch(back.get(), scaled(4, 2)), "");

  // A very thin picture still gets one row; no size may be below 1.
  BitmapPtr thin = make(1000, 1, 32);
  BitmapPtr t = own(fbitmap_scale(thin.get(), 100, 100, FBitmapScale::keep_ratio, FBitmapRows::top_down));
  EXPECT_TRUE(t && fbitmap_get_width(t.get()) == 100 && fbitmap_get_height(t.get()) == 1);
  EXPECT_EQ(fbitmap_scale(thin.get(), 0, 10, FBitmapScale::exact, FBitmapRows::top_down), nullptr);

  // Into a 16-bit destination: green keeps its six bits.
  BitmapPtr d16 = make(2, 2, 16), green = make(1, 1, 32);
  fbitmap_set_pixel(green.get(), 0, 0, 0xFF00FF00u);
  EXPECT_TRUE(fbitmap_scale_into(d16.get(), green.get()) && fbitmap_get_pixel(d16.get(), 1, 1) == 0x07E0u);
}

TEST(FBitmapFile, SaveBmpBytesAndFailedWrites) {
  const auto dir = std::filesystem::temp_directory_path() / ("penlark-fbitmap-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string path = (dir / "a.bmp").string();
  const auto file_bytes = [&] {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
  };

  // File header ("BM", file size, reserved, pixel offset), the information block with its
  // bit fields, then the pixels as in memory.
  BitmapPtr b = make(3, 2, 16);
  fbitmap_set_pixel(b.get(), 0, 0, 0xABCD);
  ASSERT_EQ(fbitmap_save_bmp(b.get(), path.c_str()), 1);
  std::vector<uint8_t> expected{'B', 'M', 14 + 52 + 16, 0, 0, 0, 0, 0, 0, 0, 14 + 52, 0, 0, 0};
  expected.insert(expected.end(), b->info, b->info + 52);
  expected.insert(expected.end(), b->pixels, b->pixels + 16);
  EXPECT_EQ(file_bytes(), expected);
  // 8 bpp: the palette follows the header.
  BitmapPtr p = make(1, 1, 8);
  ASSERT_EQ(fbitmap_save_bmp(p.get(), path.c_str()), 1);
  const std::vector<uint8_t> saved = file_bytes();
  EXPECT_TRUE(saved.size() == 14u + 40u + 1024u + 4u && fbytes_get_u32(&saved[10]) == 14u + 40u + 1024u);

  // A write that fails part-way (here at the file size limit) or cannot start (a missing
  // folder) returns 0, leaves the earlier file as it was and nothing beside it.
  BitmapPtr big = make(64, 64, 32);
  rlimit before{}, limit{};
  getrlimit(RLIMIT_FSIZE, &before);
  limit = {std::min<rlim_t>(before.rlim_cur, 4096), before.rlim_max};
  const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
  setrlimit(RLIMIT_FSIZE, &limit);
  const int limited = fbitmap_save_bmp(big.get(), path.c_str());
  setrlimit(RLIMIT_FSIZE, &before);
  std::signal(SIGXFSZ, old_handler);
  EXPECT_EQ(limited + fbitmap_save_bmp(b.get(), (dir / "missing" / "x.bmp").string().c_str()), 0);
  EXPECT_EQ(file_bytes(), saved);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1);
  std::filesystem::remove_all(dir);
}
