// PNG reader and writer. The test pictures are made here with libpng itself (palette with
// transparency, low-bit grey, 16-bit, grey with alpha, interlaced, gamma), read through
// pngimage_read and checked pixel by pixel in both bitmaps; exports are compared byte for
// byte with libpng fed plain RGB rows and read back; damaged, cut and oversized files and
// a disk that fills up midway fail cleanly.

#include "pngimage.h"

#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fbitmap.h"
#include "fsafe_file.h"
#include "picture_files.h"

namespace {

// A picture as the file stores it: rows already packed at the file's bit depth.
struct PngPicture {
  uint32_t width = 0, height = 0;
  int bit_depth = 8;
  int color_type = PNG_COLOR_TYPE_RGB;
  int interlace = PNG_INTERLACE_NONE;
  std::vector<png_color> palette;
  Bytes palette_alpha;                   // tRNS of a palette picture
  const png_color_16* transparent = nullptr;  // tRNS of a grey or RGB picture
  double gamma = 0;                      // gAMA when non-zero
  std::vector<Bytes> rows;
};

void append_bytes(png_structp png, png_bytep data, png_size_t length) {
  auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}

Bytes png_encode(const PngPicture& picture) {
  Bytes out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    ADD_FAILURE() << "libpng could not write the test picture";
    png_destroy_write_struct(&png, &info);
    return {};
  }
  png_set_write_fn(png, &out, append_bytes, nullptr);
  png_set_IHDR(png, info, picture.width, picture.height, picture.bit_depth, picture.color_type, picture.interlace,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (!picture.palette.empty()) png_set_PLTE(png, info, picture.palette.data(), int(picture.palette.size()));
  if (!picture.palette_alpha.empty()) png_set_tRNS(png, info, picture.palette_alpha.data(), int(picture.palette_alpha.size()), nullptr);
  if (picture.transparent) png_set_tRNS(png, info, nullptr, 0, picture.transparent);
  if (picture.gamma > 0) png_set_gAMA(png, info, picture.gamma);
  png_write_info(png, info);
  std::vector<png_bytep> rows;
  for (const Bytes& row : picture.rows) rows.push_back(const_cast<png_bytep>(row.data()));
  png_write_image(png, rows.data());
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return out;
}

// Reads through pngimage_read; the outputs start non-null to show they are set.
struct Loaded {
  int result = -1;
  FBitmap* color = reinterpret_cast<FBitmap*>(1);
  FBitmap* alpha = reinterpret_cast<FBitmap*>(1);
  ~Loaded() {
    if (result == 1) fbitmap_destroy(color), fbitmap_destroy(alpha);
  }
};

void load(Loaded* loaded, const Bytes& file) {
  std::string path = picture_test_path("picture.png");
  picture_write_file(path, file);
  loaded->result = pngimage_read(&loaded->color, &loaded->alpha, path.c_str());
}

// Blue, green, red and alpha of image pixel (x, y), counted from the top.
struct Bgra {
  int b, g, r, a;
  bool operator==(const Bgra&) const = default;
};
std::ostream& operator<<(std::ostream& os, const Bgra& p) {
  return os << "(b " << p.b << ", g " << p.g << ", r " << p.r << ", a " << p.a << ")";
}
Bgra pixel(const Loaded& loaded, int x, int y) {
  const uint8_t* c = fbitmap_row(loaded.color, y) + 3 * x;
  return {c[0], c[1], c[2], fbitmap_row(loaded.alpha, y)[x]};
}

void expect_shape(const Loaded& loaded, int width, int height) {
  ASSERT_EQ(loaded.result, 1);
  for (const FBitmap* bitmap : {loaded.color, loaded.alpha}) {
    EXPECT_EQ(fbitmap_get_width(bitmap), width);
    EXPECT_EQ(fbitmap_get_height(bitmap), height);
    EXPECT_FALSE(fbitmap_is_top_down(bitmap));  // bottom-up, as a new positive-height bitmap
  }
  EXPECT_EQ(fbitmap_get_bpp(loaded.color), 24);
  EXPECT_EQ(fbitmap_get_bpp(loaded.alpha), 8);
}

PngPicture rgb_picture(uint32_t width, uint32_t height, int interlace = PNG_INTERLACE_NONE) {
  PngPicture p;
  p.width = width, p.height = height, p.interlace = interlace;
  for (uint32_t y = 0; y < height; ++y) {
    Bytes row;  // red, green, blue
    for (uint32_t x = 0; x < width; ++x) row.insert(row.end(), {uint8_t(10 * x + y), uint8_t(100 + y), uint8_t(200 + x - y)});
    p.rows.push_back(row);
  }
  return p;
}

Bgra rgb_expected(int x, int y) {
  return {static_cast<uint8_t>(200 + x - y), 100 + y, static_cast<uint8_t>(10 * x + y), 255};
}

}  // namespace

TEST(PngImageRead, PaletteLowBitGreySixteenBitAlphaGammaAndInterlaceGiveTheirPixels) {
  // Each file is one row of pixels; the expected blue, green, red, alpha per pixel.
  struct Case {
    const char* what;
    int depth, type;
    Bytes row;
    std::vector<Bgra> expected;
    double gamma = 0;
    int interlace = PNG_INTERLACE_NONE;
  };
  const Bgra red{0, 0, 255, 0};
  const Case cases[] = {
      // Palette entries 0..2 carry tRNS alpha; entry 3 has none, so it is opaque.
      {"4-bit palette with tRNS", 4, PNG_COLOR_TYPE_PALETTE, {0x01, 0x23}, {red, {0, 255, 0, 128}, {255, 0, 0, 200}, {30, 20, 10, 255}}},
      {"1-bit grey", 1, PNG_COLOR_TYPE_GRAY, {0b1010'0000}, {{255, 255, 255, 255}, {0, 0, 0, 255}, {255, 255, 255, 255}, {0, 0, 0, 255}}},
      {"4-bit grey", 4, PNG_COLOR_TYPE_GRAY, {0x0F, 0x71}, {{0, 0, 0, 255}, {255, 255, 255, 255}, {119, 119, 119, 255}, {17, 17, 17, 255}}},
      // 16-bit channels keep their high bytes.
      {"16-bit RGB", 16, PNG_COLOR_TYPE_RGB, {0x12, 0xAB, 0x34, 0xFF, 0x56, 0x01, 0xFF, 0xFF, 0x00, 0x80, 0x7F, 0xFF},
       {{0x56, 0x34, 0x12, 255}, {0x7F, 0x00, 0xFF, 255}}},
      {"grey with alpha", 8, PNG_COLOR_TYPE_GRAY_ALPHA, {100, 50, 0, 0, 255, 255, 5, 6},
       {{100, 100, 100, 50}, {0, 0, 0, 0}, {255, 255, 255, 255}, {5, 5, 5, 6}}},
      // A linear file is brightened by the exponent 1 / 2.2; a file already at 1 / 2.2 is left.
      {"linear gamma", 8, PNG_COLOR_TYPE_GRAY, {0, 64, 128, 255}, {{0, 0, 0, 255}, {136, 136, 136, 255}, {186, 186, 186, 255}, {255, 255, 255, 255}}, 1.0},
      {"screen gamma", 8, PNG_COLOR_TYPE_GRAY, {0, 64, 128, 255}, {{0, 0, 0, 255}, {64, 64, 64, 255}, {128, 128, 128, 255}, {255, 255, 255, 255}}, 1 / 2.2},
      // Interlaced with alpha: the whole picture is decoded before the rows are split.
      {"interlaced RGBA", 8, PNG_COLOR_TYPE_RGB_ALPHA, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16},
       {{3, 2, 1, 4}, {7, 6, 5, 8}, {11, 10, 9, 12}, {15, 14, 13, 16}}, 0, PNG_INTERLACE_ADAM7},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    PngPicture p;
    p.width = static_cast<uint32_t>(c.expected.size()), p.height = 2, p.bit_depth = c.depth, p.color_type = c.type;
    p.palette = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {10, 20, 30}};
    if (c.type != PNG_COLOR_TYPE_PALETTE) p.palette.clear();
    else p.palette_alpha = {0, 128, 200};
    p.gamma = c.gamma, p.interlace = c.interlace;
    p.rows = {c.row, Bytes(c.row.size(), 0)};  // row 1 is all zeros: the rows come from the top
    Loaded loaded;
    load(&loaded, png_encode(p));
    expect_shape(loaded, static_cast<int>(c.expected.size()), 2);
    for (size_t x = 0; x < c.expected.size(); ++x) {
      Bgra got = pixel(loaded, static_cast<int>(x), 0);
      if (c.gamma > 0) {
        EXPECT_TRUE(got.g == got.r && got.b == got.r) << "x " << x;
        EXPECT_NEAR(got.r, c.expected[x].r, 1) << "x " << x;
        got.r = got.g = got.b = c.expected[x].r;
      }
      EXPECT_EQ(got, c.expected[x]) << "x " << x;
    }
  }
}

TEST(PngImageRead, RgbIsOpaqueEverywhereAndATransparentColourBecomesAlpha) {
  // Only the pixel whose colour equals the tRNS colour turns transparent.
  PngPicture keyed = rgb_picture(5, 3);
  png_color_16 key{};
  key.red = 10 * 2 + 1, key.green = 101, key.blue = 200 + 2 - 1;  // pixel (2, 1)
  keyed.transparent = &key;
  Loaded loaded;
  load(&loaded, png_encode(keyed));
  expect_shape(loaded, 5, 3);
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 5; ++x) {
      Bgra expected = rgb_expected(x, y);
      if (x == 2 && y == 1) expected.a = 0;
      EXPECT_EQ(pixel(loaded, x, y), expected) << x << "," << y;
    }
    EXPECT_EQ(fbitmap_row(loaded.color, y)[15], 0) << "row " << y;  // width 5 pads: no stale memory
  }

  // Nobody asked for the alpha bitmap: the colour comes alone.
  std::string path = picture_test_path("picture.png");
  FBitmap* color = nullptr;
  ASSERT_EQ(pngimage_read(&color, nullptr, path.c_str()), 1);
  EXPECT_EQ(fbitmap_row(color, 1)[3 * 2 + 2], key.red);
  fbitmap_destroy(color);
}

TEST(PngImageRead, CutDamagedOversizedAndMissingFilesFailWithNullOutputs) {
  const Bytes good = png_encode(rgb_picture(40, 30, PNG_INTERLACE_ADAM7));
  auto expect_failure = [](const Bytes& file) {
    Loaded loaded;
    load(&loaded, file);
    EXPECT_EQ(loaded.result, 0);
    EXPECT_EQ(loaded.color, nullptr);
    EXPECT_EQ(loaded.alpha, nullptr);
  };
  for (size_t cut : {size_t{0}, size_t{20}, size_t{60}, good.size() / 2, good.size() - 1}) {
    SCOPED_TRACE("cut at " + std::to_string(cut));
    expect_failure(Bytes(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(cut)));
  }
  // Signature, the width, the colour type, the compressed data: every one is caught.
  for (size_t at : {size_t{0}, size_t{18}, size_t{25}, size_t{45}}) {
    SCOPED_TRACE("flipped byte " + std::to_string(at));
    Bytes damaged = good;
    damaged[at] ^= 0x55;
    expect_failure(damaged);
  }

  // Sizes with valid checksums: above the pixel limit, and beyond libpng's side limit.
  for (auto [width, height] : {std::pair<uint32_t, uint32_t>{30000, 30000}, {1, 0x7FFFFFFF}}) {
    SCOPED_TRACE(std::to_string(width) + " x " + std::to_string(height));
    Bytes huge = good;
    uint8_t* ihdr = huge.data() + 8;  // length, "IHDR", data, checksum
    for (int i = 0; i < 4; ++i) {
      ihdr[8 + i] = static_cast<uint8_t>(width >> (24 - 8 * i));
      ihdr[12 + i] = static_cast<uint8_t>(height >> (24 - 8 * i));
    }
    uLong crc = crc32(0, ihdr + 4, 17);
    for (int i = 0; i < 4; ++i) ihdr[21 + i] = static_cast<uint8_t>(crc >> (24 - 8 * i));
    expect_failure(huge);
  }

  FBitmap* color = reinterpret_cast<FBitmap*>(1);
  FBitmap* alpha = reinterpret_cast<FBitmap*>(1);
  EXPECT_EQ(pngimage_read(&color, &alpha, picture_test_path("missing.png").c_str()), 0);
  EXPECT_EQ(color, nullptr);
  EXPECT_EQ(alpha, nullptr);
}

namespace {

// A bitmap of the given depth and row order full of noise, padding too, so that its file
// is too large for the output buffers and a full disk stops libpng midway.
FBitmap* noise_bitmap(int width, int height, int bpp, bool top_down) {
  FBitmap* bitmap = fbitmap_create(width, top_down ? -height : height, bpp);
  uint32_t state = 12345;
  for (uint32_t i = 0; i < fbitmap_get_size_image(bitmap); ++i) bitmap->pixels[i] = uint8_t((state = state * 1103515245u + 12345u) >> 23);
  return bitmap;
}

Bytes pixels_of(const FBitmap* bitmap) {
  return Bytes(bitmap->pixels, bitmap->pixels + fbitmap_get_size_image(bitmap));
}

// What libpng itself writes for the same picture given as RGB or RGBA rows from the top.
Bytes reference_png(const FBitmap* bitmap) {
  int bpp = fbitmap_get_bpp(bitmap), step = bpp / 8;
  PngPicture p;
  p.width = uint32_t(fbitmap_get_width(bitmap)), p.height = uint32_t(fbitmap_get_height(bitmap));
  p.color_type = bpp == 32 ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB;
  for (uint32_t y = 0; y < p.height; ++y) {
    const uint8_t* in = fbitmap_row(bitmap, static_cast<int32_t>(y));
    Bytes row;
    for (uint32_t x = 0; x < p.width; ++x, in += step) {
      row.insert(row.end(), {in[2], in[1], in[0]});
      if (step == 4) row.push_back(in[3]);
    }
    p.rows.push_back(row);
  }
  return png_encode(p);
}

}  // namespace

TEST(PngImageWrite, RgbAndRgbaFilesMatchLibpngAndReadBackUprightWithTheBitmapUnchanged) {
  for (int bpp : {24, 32}) {
    for (bool top_down : {true, false}) {
      SCOPED_TRACE(std::to_string(bpp) + (top_down ? " top-down" : " bottom-up"));
      FBitmap* bitmap = noise_bitmap(7, 5, bpp, top_down);
      Bytes before = pixels_of(bitmap);
      std::string path = picture_test_path("export.png");
      ASSERT_EQ(pngimage_write(bitmap, path.c_str()), 1);
      EXPECT_EQ(pixels_of(bitmap), before);
      EXPECT_EQ(picture_read_file(path), reference_png(bitmap));
      EXPECT_FALSE(picture_file_exists(path + ".part"));

      FBitmap *color = nullptr, *alpha = nullptr;
      ASSERT_EQ(pngimage_read(&color, &alpha, path.c_str()), 1);
      for (int i = 0; i < 35; ++i) {
        const uint8_t* in = fbitmap_pixel_address(bitmap, i % 7, i / 7);
        const uint8_t* out = fbitmap_pixel_address(color, i % 7, i / 7);
        EXPECT_EQ(Bytes(out, out + 3), Bytes(in, in + 3)) << i;
        EXPECT_EQ(fbitmap_row(alpha, i / 7)[i % 7], bpp == 32 ? in[3] : 255) << i;
      }
      fbitmap_destroy(color), fbitmap_destroy(alpha), fbitmap_destroy(bitmap);
    }
  }
}

TEST(PngImageWrite, OtherDepthsAreRefusedAndAFullDiskKeepsTheOldFileAndTheBitmap) {
  std::string kept = picture_test_path("kept.png");
  picture_write_file(kept, {'o', 'l', 'd'});
  FBitmap* grey = fbitmap_create(4, 4, 8);
  EXPECT_EQ(pngimage_write(grey, kept.c_str()), 0);
  fbitmap_destroy(grey);
  FBitmap* bitmap = noise_bitmap(300, 200, 32, true);
  Bytes before = pixels_of(bitmap);
  for (int64_t budget : {0, 5000}) {
    SCOPED_TRACE(budget);
    fsafe_file_fail_after(budget);
    EXPECT_EQ(pngimage_write(bitmap, kept.c_str()), 0);
    fsafe_file_fail_after(-1);
    EXPECT_EQ(picture_read_file(kept), (Bytes{'o', 'l', 'd'}));
    EXPECT_FALSE(picture_file_exists(kept + ".part"));
    EXPECT_EQ(pixels_of(bitmap), before);
  }
  EXPECT_EQ(pngimage_write(bitmap, picture_test_path("no-such-folder/x.png").c_str()), 0);
  fbitmap_destroy(bitmap);
}
