// JPEG reader and writer, checked against libjpeg itself: reading exactly as libjpeg
// decodes (and within the codec's loss of the source), writing byte for byte as libjpeg
// fed packed RGB rows. Cut, damaged, oversized and CMYK files fail cleanly, and a full
// disk keeps the old file.

#include "jpegimage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>
// After the C headers that define size_t and FILE.
#include <jpeglib.h>

#include "fbitmap.h"
#include "fsafe_file.h"
#include "picture_files.h"

namespace {

// Packed rows, `components` bytes per pixel, from the top.
struct Raw {
  int width = 0, height = 0, components = 3;
  Bytes pixels;
  const uint8_t* at(int x, int y) const { return pixels.data() + (static_cast<size_t>(y) * width + x) * components; }
};

// libjpeg's standard error handling ends the process: a bad test picture fails loudly.
Bytes jpeg_encode(const Raw& raw, int quality, J_COLOR_SPACE space, bool progressive = false) {
  jpeg_compress_struct cinfo;
  jpeg_error_mgr errors;
  cinfo.err = jpeg_std_error(&errors);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_create_compress(&cinfo);
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = static_cast<JDIMENSION>(raw.width), cinfo.image_height = static_cast<JDIMENSION>(raw.height);
  cinfo.input_components = raw.components, cinfo.in_color_space = space;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  if (progressive) jpeg_simple_progression(&cinfo);
  jpeg_start_compress(&cinfo, TRUE);
  for (JSAMPROW row; cinfo.next_scanline < cinfo.image_height;) {
    row = const_cast<JSAMPROW>(raw.at(0, static_cast<int>(cinfo.next_scanline)));
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  Bytes out(buffer, buffer + size);
  std::free(buffer);
  return out;
}

Raw jpeg_decode(const Bytes& file) {
  jpeg_decompress_struct cinfo;
  jpeg_error_mgr errors;
  cinfo.err = jpeg_std_error(&errors);
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, file.data(), file.size());
  jpeg_read_header(&cinfo, TRUE);
  jpeg_start_decompress(&cinfo);
  Raw raw{static_cast<int>(cinfo.output_width), static_cast<int>(cinfo.output_height), cinfo.output_components, {}};
  raw.pixels.resize(static_cast<size_t>(raw.width) * raw.height * raw.components);
  for (JSAMPROW row; cinfo.output_scanline < cinfo.output_height;) {
    row = const_cast<JSAMPROW>(raw.at(0, static_cast<int>(cinfo.output_scanline)));
    jpeg_read_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  return raw;
}

// Smooth gradients, what JPEG keeps well; grey is the first channel alone.
Raw gradient(int width, int height, int components) {
  Raw raw{width, height, components, {}};
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      uint8_t rgb[3] = {uint8_t(30 + 180 * x / (width - 1)), uint8_t(40 + 150 * y / (height - 1)), uint8_t(200 - 100 * x / (width - 1))};
      raw.pixels.insert(raw.pixels.end(), rgb, rgb + components);
    }
  return raw;
}

struct Loaded {
  int result = -1;
  FBitmap* color = reinterpret_cast<FBitmap*>(1);  // shows that the reader sets it
  explicit Loaded(const Bytes& file) {
    std::string path = picture_test_path("picture.jpg");
    picture_write_file(path, file);
    result = jpegimage_read(&color, path.c_str());
  }
  ~Loaded() {
    if (result == 1) fbitmap_destroy(color);
  }
};

size_t find_marker(const Bytes& file, uint8_t code) {
  for (size_t i = 0; i + 1 < file.size(); ++i)
    if (file[i] == 0xFF && file[i + 1] == code) return i;
  ADD_FAILURE() << "no marker " << int{code};
  return 0;
}

Bytes pixels_of(const FBitmap* bitmap) { return Bytes(bitmap->pixels, bitmap->pixels + fbitmap_get_size_image(bitmap)); }

}  // namespace

TEST(JpegImageRead, GreyAndColourComeTopDownAsLibjpegDecodesThem) {
  // Grey becomes an 8-bit grey palette bitmap, colour 24-bit blue, green, red. Odd widths,
  // so padded rows, which must hold zeros.
  struct Case {
    int components;
    J_COLOR_SPACE space;
    bool progressive;
  };
  for (Case c : {Case{1, JCS_GRAYSCALE, false}, Case{3, JCS_RGB, false}, Case{3, JCS_RGB, true}}) {
    SCOPED_TRACE(std::to_string(c.components) + (c.progressive ? " progressive" : " baseline"));
    Raw source = gradient(37, 19, c.components);
    Bytes file = jpeg_encode(source, 95, c.space, c.progressive);
    Raw want = jpeg_decode(file);
    Loaded loaded(file);
    ASSERT_EQ(loaded.result, 1);
    EXPECT_EQ(fbitmap_get_bpp(loaded.color), 8 * c.components);
    EXPECT_TRUE(fbitmap_is_top_down(loaded.color));
    EXPECT_EQ(std::pair(fbitmap_get_width(loaded.color), fbitmap_get_height(loaded.color)), std::pair(37, 19));
    if (c.components == 1) {
      const uint8_t* palette = fbitmap_get_palette(loaded.color);
      EXPECT_EQ(Bytes(palette + 4 * 77, palette + 4 * 78), (Bytes{77, 77, 77, 0}));
    }
    for (int y = 0; y < 19; ++y) {
      const uint8_t* row = fbitmap_row(loaded.color, y);
      for (int x = 0; x < 37; ++x)
        for (int k = 0; k < c.components; ++k) {
          int file_channel = c.components - 1 - k;  // blue, green, red in the bitmap
          EXPECT_EQ(row[c.components * x + k], want.at(x, y)[file_channel]) << x << "," << y;
          EXPECT_NEAR(row[c.components * x + k], source.at(x, y)[file_channel], 6) << x << "," << y;
        }
      int used = 37 * c.components;
      EXPECT_EQ(Bytes(row + used, row + (used + 3) / 4 * 4), Bytes((used + 3) / 4 * 4 - used, 0)) << y;
    }
  }
}

TEST(JpegImageRead, CutDamagedOversizedCmykAndMissingFilesFailWithANullOutput) {
  const Bytes good = jpeg_encode(gradient(64, 48, 3), 90, JCS_RGB);
  ASSERT_EQ(Loaded(good).result, 1);
  auto expect_failure = [](const Bytes& file) {
    Loaded loaded(file);
    EXPECT_EQ(loaded.result, 0);
    EXPECT_EQ(loaded.color, nullptr);
  };
  const size_t scan = find_marker(good, 0xDA), frame = find_marker(good, 0xC0), table = find_marker(good, 0xC4);
  for (size_t cut : {size_t{2}, scan, (scan + good.size()) / 2}) {
    SCOPED_TRACE("cut at " + std::to_string(cut));
    expect_failure(Bytes(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(cut)));
  }
  // The start marker, the frame's precision, the table marker, the scan's component count.
  for (size_t at : {size_t{1}, frame + 4, table + 1, scan + 4}) {
    SCOPED_TRACE("flipped byte " + std::to_string(at));
    Bytes damaged = good;
    damaged[at] ^= 0x55;
    expect_failure(damaged);
  }
  // An empty frame, and one of 65000 x 65000 pixels (above the picture limit).
  for (uint8_t side : {0x00, 0xFD}) {
    Bytes sized = good;
    for (size_t at = frame + 5; at < frame + 9; at += 2) sized[at] = side, sized[at + 1] = side == 0 ? 0 : 0xE8;
    expect_failure(sized);
  }
  Raw cmyk = gradient(16, 16, 3);
  cmyk.components = 4;
  cmyk.pixels.resize(16 * 16 * 4, 128);
  expect_failure(jpeg_encode(cmyk, 90, JCS_CMYK));
  FBitmap* color = reinterpret_cast<FBitmap*>(1);
  EXPECT_EQ(jpegimage_read(&color, picture_test_path("missing.jpg").c_str()), 0);
  EXPECT_EQ(color, nullptr);
}

TEST(JpegImageWrite, FilesMatchLibjpegFedRgbAndReadBackUprightAndCloseAtQuality100) {
  const Raw source = gradient(45, 30, 3);
  for (int bpp : {24, 32}) {
    for (bool top_down : {true, false}) {
      SCOPED_TRACE(std::to_string(bpp) + (top_down ? " top-down" : " bottom-up"));
      // The fourth byte of 32-bit pixels differs between the two: the export ignores it.
      FBitmap* bitmaps[2];
      for (int k = 0; k < 2; ++k) {
        bitmaps[k] = fbitmap_create(45, top_down ? -30 : 30, bpp);
        for (int i = 0; i < 45 * 30; ++i) {
          uint8_t* out = fbitmap_pixel_address(bitmaps[k], i % 45, i / 45);
          const uint8_t* in = source.at(i % 45, i / 45);
          out[0] = in[2], out[1] = in[1], out[2] = in[0];
          if (bpp == 32) out[3] = static_cast<uint8_t>(k * 99 + i);
        }
      }
      Bytes before = pixels_of(bitmaps[0]);
      std::string path = picture_test_path("export.jpg");
      for (int quality : {40, 100})
        for (FBitmap* b : bitmaps) {
          ASSERT_EQ(jpegimage_write(b, path.c_str(), quality), 1);
          EXPECT_EQ(picture_read_file(path), jpeg_encode(source, quality, JCS_RGB)) << quality;
        }
      EXPECT_EQ(pixels_of(bitmaps[0]), before);
      EXPECT_FALSE(picture_file_exists(path + ".part"));

      FBitmap* color = nullptr;
      ASSERT_EQ(jpegimage_read(&color, path.c_str()), 1);
      int worst = 0;
      for (int i = 0; i < 45 * 30 * 3; ++i)
        worst = std::max(worst, std::abs(fbitmap_pixel_address(bitmaps[0], i / 3 % 45, i / 135)[i % 3] -
                                         fbitmap_pixel_address(color, i / 3 % 45, i / 135)[i % 3]));
      EXPECT_LE(worst, 4);  // 4:2:0 chroma at quality 100
      fbitmap_destroy(color), fbitmap_destroy(bitmaps[1]), fbitmap_destroy(bitmaps[0]);
    }
  }
}

TEST(JpegImageWrite, OtherDepthsAreRefusedAndAFullDiskKeepsTheOldFile) {
  std::string path = picture_test_path("refused.jpg");
  std::remove(path.c_str());
  FBitmap* grey = fbitmap_create(4, 4, 8);
  EXPECT_EQ(jpegimage_write(grey, path.c_str(), 75), 0);
  EXPECT_FALSE(picture_file_exists(path));
  fbitmap_destroy(grey);
  // Noise compresses badly: the file outgrows libjpeg's and the stream's buffers.
  FBitmap* bitmap = fbitmap_create(256, -256, 24);
  uint32_t state = 99;
  for (uint32_t i = 0; i < fbitmap_get_size_image(bitmap); ++i) bitmap->pixels[i] = static_cast<uint8_t>((state = state * 1103515245u + 12345u) >> 23);
  Bytes before = pixels_of(bitmap);
  std::string kept = picture_test_path("kept.jpg");
  picture_write_file(kept, {'o', 'l', 'd'});
  for (int64_t budget : {0, 20000}) {
    SCOPED_TRACE(budget);
    fsafe_file_fail_after(budget);
    EXPECT_EQ(jpegimage_write(bitmap, kept.c_str(), 100), 0);
    fsafe_file_fail_after(-1);
    EXPECT_EQ(picture_read_file(kept), (Bytes{'o', 'l', 'd'}));
    EXPECT_FALSE(picture_file_exists(kept + ".part"));
    EXPECT_EQ(pixels_of(bitmap), before);
  }
  EXPECT_EQ(jpegimage_write(bitmap, picture_test_path("no-such-folder/x.jpg").c_str(), 75), 0);
  fbitmap_destroy(bitmap);
}
