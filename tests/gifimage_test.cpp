// GIF reading and writing. The test pictures are made with giflib's own encoder (and a
// few bytes patched afterwards where the encoder refuses to write something bad), then
// read back and checked pixel by pixel: placement on the screen, interlaced rows, colour
// tables, backgrounds, clipping, damaged files; and the writer's round trips.

#include "gifimage.h"

#include <gif_lib.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "fbitmap.h"
#include "fsafe_file.h"
#include "picture_files.h"

namespace {

std::string home_path(const std::string& name) { return picture_test_path(name); }
void write_file(const std::string& path, const Bytes& bytes) { picture_write_file(path, bytes); }
std::string read_file(const std::string& path) {
  Bytes b = picture_read_file(path);
  return std::string(b.begin(), b.end());
}
bool exists(const std::string& path) { return picture_file_exists(path); }

using BitmapPtr = std::unique_ptr<FBitmap, decltype(&fbitmap_destroy)>;
BitmapPtr own(FBitmap* b) { return BitmapPtr(b, &fbitmap_destroy); }

// ---- Building GIF files with giflib ----------------------------------------------------------

struct GifImage {
  int left = 0, top = 0, width = 1, height = 1;
  bool interlace = false;
  std::vector<uint32_t> local_map;  // 0xRRGGBB entries; empty: none
  std::vector<uint8_t> indices;     // width x height, top row first
};

struct GifRecipe {
  int width = 1, height = 1, background = 0;
  std::vector<uint32_t> global_map;  // empty: none
  std::vector<std::string> comments;  // extension records before the images
  std::vector<GifImage> images;
};

// Tables are padded to a power of two with black, as the format requires.
ColorMapObject* make_map(const std::vector<uint32_t>& rgb) {
  if (rgb.empty()) return nullptr;
  int size = 2;
  while (size < static_cast<int>(rgb.size())) size *= 2;
  std::vector<GifColorType> colors(static_cast<size_t>(size), GifColorType{0, 0, 0});
  for (size_t i = 0; i < rgb.size(); ++i) {
    colors[i] = GifColorType{static_cast<uint8_t>(rgb[i] >> 16), static_cast<uint8_t>(rgb[i] >> 8),
                             static_cast<uint8_t>(rgb[i])};
  }
  return GifMakeMapObject(size, colors.data());
}

int append_to_vector(GifFileType* gif, const GifByteType* data, int length) {
  auto* out = static_cast<std::vector<uint8_t>*>(gif->UserData);
  out->insert(out->end(), data, data + length);
  return length;
}

std::vector<uint8_t> build_gif(const GifRecipe& recipe) {
  std::vector<uint8_t> bytes;
  int error = 0;
  GifFileType* gif = EGifOpen(&bytes, append_to_vector, &error);
  EXPECT_NE(gif, nullptr);
  ColorMapObject* global = make_map(recipe.global_map);
  EXPECT_EQ(EGifPutScreenDesc(gif, recipe.width, recipe.height, 8, recipe.background, global), GIF_OK);
  GifFreeMapObject(global);
  for (const std::string& text : recipe.comments) EXPECT_EQ(EGifPutComment(gif, text.c_str()), GIF_OK);
  for (const GifImage& image : recipe.images) {
    ColorMapObject* local = make_map(image.local_map);
    EXPECT_EQ(EGifPutImageDesc(gif, image.left, image.top, image.width, image.height, image.interlace, local), GIF_OK);
    GifFreeMapObject(local);
    std::vector<uint8_t> row(static_cast<size_t>(image.width));
    auto put = [&](int r) {
      std::memcpy(row.data(), image.indices.data() + static_cast<size_t>(r) * image.width, row.size());
      EXPECT_EQ(EGifPutLine(gif, row.data(), image.width), GIF_OK);
    };
    if (image.interlace) {
      for (int r = 0; r < image.height; r += 8) put(r);
      for (int r = 4; r < image.height; r += 8) put(r);
      for (int r = 2; r < image.height; r += 4) put(r);
      for (int r = 1; r < image.height; r += 2) put(r);
    } else {
      for (int r = 0; r < image.height; ++r) put(r);
    }
  }
  EXPECT_EQ(EGifCloseFile(gif, &error), GIF_OK);
  return bytes;
}

struct ReadResult {
  int result = 0;
  BitmapPtr bitmap{nullptr, &fbitmap_destroy};
};

ReadResult read_bytes(const std::vector<uint8_t>& bytes, const std::string& name = "picture.gif") {
  std::string path = home_path(name);
  write_file(path, bytes);
  ReadResult r;
  // The reader must reset the output pointer whatever it held.
  FBitmap stale{};
  FBitmap* out = &stale;
  r.result = gifimage_read(&out, path.c_str());
  EXPECT_NE(out, &stale);
  if (out != &stale) r.bitmap.reset(out);
  return r;
}

uint32_t rgb_at(const FBitmap* b, int32_t x, int32_t y) {
  uint8_t out[4] = {};
  EXPECT_EQ(fbitmap_get_rgba(b, x, y, out), 1) << x << "," << y;
  return (static_cast<uint32_t>(out[2]) << 16) | (out[1] << 8) | out[0];
}

// The picture top row first, as 0xRRGGBB.
std::vector<uint32_t> picture(const FBitmap* b) {
  std::vector<uint32_t> all;
  for (int32_t y = 0; y < fbitmap_get_height(b); ++y)
    for (int32_t x = 0; x < fbitmap_get_width(b); ++x) all.push_back(rgb_at(b, x, y));
  return all;
}

// A screen of `width` x `height` holding `background`, with `image` drawn at its place
// through `map` (indices beyond the map read entry 0), clipped to the screen.
std::vector<uint32_t> expected_picture(int width, int height, uint32_t background, const GifImage& image,
                                       const std::vector<uint32_t>& map) {
  std::vector<uint32_t> all(static_cast<size_t>(width) * height, background);
  for (int r = 0; r < image.height; ++r)
    for (int c = 0; c < image.width; ++c) {
      int x = image.left + c, y = image.top + r;
      if (x >= width || y >= height) continue;
      uint8_t index = image.indices[static_cast<size_t>(r) * image.width + c];
      all[static_cast<size_t>(y) * width + x] = map[index < map.size() ? index : 0];
    }
  return all;
}

// Reads the file and compares the whole picture, top row first.
void expect_picture(const std::vector<uint8_t>& bytes, const std::vector<uint32_t>& expected) {
  ReadResult read = read_bytes(bytes);
  ASSERT_EQ(read.result, 1);
  EXPECT_EQ(picture(read.bitmap.get()), expected);
}

GifImage image_of(int left, int top, int width, int height, uint8_t colors) {
  GifImage image{left, top, width, height, false, {}, {}};
  for (int i = 0; i < width * height; ++i) image.indices.push_back(static_cast<uint8_t>((i * 7 + i / width) % colors));
  return image;
}

const std::vector<uint32_t> kGlobal = {0x000000, 0xFFFFFF, 0x336699, 0xFF0000, 0x00FF00, 0x0000FF, 0x123456, 0xFEDCBA};
const std::vector<uint32_t> kLocal = {0x010101, 0x020202, 0xABCDEF, 0x808080};

}  // namespace

TEST(GifImageRead, FirstImageLandsOnTheScreen) {
  // An image filling the screen: top-down 24-bit of the screen's size.
  GifRecipe full{.width = 5, .height = 3, .background = 0, .global_map = kGlobal, .comments = {}, .images = {image_of(0, 0, 5, 3, 8)}};
  ReadResult a = read_bytes(build_gif(full));
  ASSERT_EQ(a.result, 1);
  EXPECT_EQ(fbitmap_get_bpp(a.bitmap.get()), 24);
  EXPECT_TRUE(fbitmap_is_top_down(a.bitmap.get()));
  EXPECT_EQ(fbitmap_get_width(a.bitmap.get()), 5);
  EXPECT_EQ(fbitmap_get_height(a.bitmap.get()), 3);
  EXPECT_EQ(picture(a.bitmap.get()), expected_picture(5, 3, 0, full.images[0], kGlobal));

  // Interlaced rows arrive in four passes and land in their own rows; heights that end
  // inside every pass.
  for (int height : {1, 2, 5, 10, 17}) {
    GifRecipe interlaced{.width = 3, .height = height, .background = 0, .global_map = kGlobal, .comments = {}, .images = {}};
    GifImage image = image_of(0, 0, 3, height, 8);
    for (int r = 0; r < height; ++r)
      for (int c = 0; c < 3; ++c) image.indices[static_cast<size_t>(r) * 3 + c] = static_cast<uint8_t>((r + c) % 8);
    image.interlace = true;
    interlaced.images = {image};
    SCOPED_TRACE(height);
    expect_picture(build_gif(interlaced), expected_picture(3, height, 0, image, kGlobal));
  }

  // A small image at an offset keeps the background (global entry 2) around it, and a
  // local table wins over the global one.
  GifRecipe offset{.width = 7, .height = 6, .background = 2, .global_map = kGlobal, .comments = {}, .images = {image_of(3, 2, 2, 3, 4)}};
  offset.images[0].local_map = kLocal;
  expect_picture(build_gif(offset), expected_picture(7, 6, 0x336699, offset.images[0], kLocal));

  // Without a global table the background number's bytes are the colour: 5 is red 5.
  GifRecipe no_global = offset;
  no_global.global_map.clear();
  no_global.background = 5;
  expect_picture(build_gif(no_global), expected_picture(7, 6, 0x050000, offset.images[0], kLocal));

  // Only extension records: the background and success.
  GifRecipe comments{.width = 4, .height = 2, .background = 7, .global_map = kGlobal, .comments = {"first", std::string(600, 'x')}, .images = {}};
  expect_picture(build_gif(comments), std::vector<uint32_t>(8, 0xFEDCBA));

  // An animation: extensions before the first frame are skipped, and only the first frame
  // is drawn.
  GifRecipe animated{.width = 4, .height = 4, .background = 1, .global_map = kGlobal, .comments = {"frame one"}, .images = {image_of(0, 0, 2, 2, 8), image_of(0, 0, 4, 4, 3), image_of(2, 2, 2, 2, 8)}};
  expect_picture(build_gif(animated), expected_picture(4, 4, 0xFFFFFF, animated.images[0], kGlobal));
}

TEST(GifImageRead, ImagesAndIndicesBeyondTheirBoundsAreContained) {
  // giflib writes any position; the reader clips to the screen. Images that stick out on
  // the right, at the bottom, both, or lie wholly outside.
  for (auto [left, top] : {std::pair{3, 0}, std::pair{0, 4}, std::pair{4, 3}, std::pair{5, 0}, std::pair{60000, 60000}}) {
    GifRecipe outside{.width = 5, .height = 5, .background = 6, .global_map = kGlobal, .comments = {}, .images = {image_of(left, top, 4, 3, 8)}};
    ReadResult a = read_bytes(build_gif(outside));
    ASSERT_EQ(a.result, 1) << left << "," << top;
    EXPECT_EQ(fbitmap_get_width(a.bitmap.get()), 5);
    EXPECT_EQ(picture(a.bitmap.get()), expected_picture(5, 5, 0x123456, outside.images[0], kGlobal));
  }

  // An image of two lines with a two-entry local table, holding indices 2 and 3: written
  // with a four-entry table, then the table is cut to two entries in the file. Indices
  // beyond the table read its first entry.
  GifRecipe beyond{.width = 4, .height = 1, .background = 0, .global_map = {}, .comments = {}, .images = {}};
  GifImage image = image_of(0, 0, 4, 1, 4);
  image.indices = {0, 1, 2, 3};
  image.local_map = kLocal;
  beyond.images = {image};
  std::vector<uint8_t> bytes = build_gif(beyond);
  // Header 6, screen 7, image descriptor 10 (packed byte last), then the local table.
  ASSERT_EQ(bytes[13], ',');
  ASSERT_EQ(bytes[22] & 0x87, 0x81);
  bytes[22] = static_cast<uint8_t>((bytes[22] & ~0x07) | 0x00);
  bytes.erase(bytes.begin() + 23 + 6, bytes.begin() + 23 + 12);
  expect_picture(bytes, {0x010101, 0x020202, 0x010101, 0x010101});

  // An image descriptor larger than any picture the reader takes, on a small screen.
  GifRecipe huge_image{.width = 4, .height = 4, .background = 0, .global_map = kGlobal, .comments = {}, .images = {image_of(0, 0, 2, 2, 8)}};
  std::vector<uint8_t> patched = build_gif(huge_image);
  size_t descriptor = 13 + 3 * 8;
  ASSERT_EQ(patched[descriptor], ',');
  for (size_t field : {descriptor + 5, descriptor + 7}) patched[field] = patched[field + 1] = 0xFF;
  EXPECT_EQ(read_bytes(patched).result, 0);

  // Screens of no size or beyond the pixel bound fail before any pixel is allocated.
  for (auto [w, h] : {std::pair{0, 5}, std::pair{5, 0}, std::pair{65535, 65535}, std::pair{8193, 8193}}) {
    GifRecipe huge{.width = w, .height = h, .background = 0, .global_map = kGlobal, .comments = {}, .images = {}};
    ReadResult c = read_bytes(build_gif(huge));
    EXPECT_EQ(c.result, 0) << w << "x" << h;
    EXPECT_EQ(c.bitmap, nullptr);
  }
}

TEST(GifImageRead, DamagedFilesFailCleanly) {
  GifRecipe recipe{.width = 9, .height = 7, .background = 0, .global_map = kGlobal, .comments = {"note"}, .images = {image_of(1, 1, 8, 6, 8)}};
  std::vector<uint8_t> good = build_gif(recipe);
  ASSERT_EQ(read_bytes(good).result, 1);

  // Cut anywhere before the image's last data block ends: 0 and no bitmap. Only the final
  // terminator byte may be missing, since reading stops after the first image.
  for (size_t size = 0; size + 1 < good.size(); ++size) {
    ReadResult r = read_bytes(std::vector<uint8_t>(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(size)));
    EXPECT_EQ(r.result, 0) << size;
    EXPECT_EQ(r.bitmap, nullptr) << size;
  }
  EXPECT_EQ(read_bytes(std::vector<uint8_t>(good.begin(), good.end() - 1)).result, 1);

  // Not a GIF; a record that is neither extension, image nor terminator.
  std::vector<uint8_t> not_gif = good;
  not_gif[0] = 'J';
  EXPECT_EQ(read_bytes(not_gif).result, 0);
  std::vector<uint8_t> bad_record = good;
  size_t record = 13 + 3 * 8;
  ASSERT_EQ(bad_record[record], '!');
  bad_record[record] = 'Q';
  EXPECT_EQ(read_bytes(bad_record).result, 0);

  // An image with neither a local nor a global table: giflib will not write one, so the
  // two-entry global table is cut out of the file afterwards.
  GifRecipe no_map{.width = 2, .height = 2, .background = 0, .global_map = {0x111111, 0x222222}, .comments = {}, .images = {image_of(0, 0, 2, 2, 2)}};
  std::vector<uint8_t> stripped = build_gif(no_map);
  ASSERT_EQ(stripped[10], 0xF0);
  stripped[10] = 0x70;
  stripped.erase(stripped.begin() + 13, stripped.begin() + 19);
  ASSERT_EQ(stripped[13], ',');
  ReadResult n = read_bytes(stripped);
  EXPECT_EQ(n.result, 0);
  EXPECT_EQ(n.bitmap, nullptr);

  // A missing file, an empty one, a folder.
  FBitmap* out = nullptr;
  EXPECT_EQ(gifimage_read(&out, home_path("absent.gif").c_str()), 0);
  EXPECT_EQ(read_bytes({}).result, 0);
  EXPECT_EQ(gifimage_read(&out, std::getenv("PENLARK_HOME")), 0);
  EXPECT_EQ(out, nullptr);

  // Random damage anywhere: either a clean failure or a picture of the screen's size.
  std::mt19937 rng(1234);
  for (int trial = 0; trial < 400; ++trial) {
    std::vector<uint8_t> bytes = good;
    int flips = 1 + static_cast<int>(rng() % 4);
    for (int i = 0; i < flips; ++i) bytes[rng() % bytes.size()] = static_cast<uint8_t>(rng());
    ReadResult r = read_bytes(bytes);
    if (r.result == 1) {
      ASSERT_NE(r.bitmap, nullptr);
      EXPECT_EQ(fbitmap_get_bpp(r.bitmap.get()), 24);
      EXPECT_GT(fbitmap_get_width(r.bitmap.get()), 0);
    } else {
      EXPECT_EQ(r.bitmap, nullptr) << trial;
    }
  }
}

namespace {

// A picture of a few colours: bands and a diagonal, values that are not multiples of 8.
void paint_few_colours(FBitmap* b, const std::vector<uint32_t>& colours) {
  for (int32_t y = 0; y < fbitmap_get_height(b); ++y)
    for (int32_t x = 0; x < fbitmap_get_width(b); ++x) {
      uint32_t c = colours[static_cast<size_t>(x == y ? 0 : (x / 3 + y) % colours.size())];
      fbitmap_blend_pixel(b, x, y, 0xFF000000u | c);
    }
}

}  // namespace

TEST(GifImageWrite, FewColoursRoundTripExactly) {
  std::vector<uint32_t> colours = {0xFFFFFF, 0x000000, 0x131313, 0x101010, 0x7F3A01, 0xFEFDFC};
  for (int32_t bpp : {24, 32}) {
    for (int32_t height : {-9, 9}) {
      BitmapPtr source = own(fbitmap_create(13, height, bpp));
      ASSERT_TRUE(source);
      paint_few_colours(source.get(), colours);
      std::vector<uint8_t> before(source->pixels, source->pixels + fbitmap_get_size_image(source.get()));
      std::string path = home_path("few.gif");
      ASSERT_EQ(gifimage_write(source.get(), path.c_str(), 75), 1);
      // The writer leaves its source alone.
      EXPECT_EQ(std::memcmp(before.data(), source->pixels, before.size()), 0);

      FBitmap* read = nullptr;
      ASSERT_EQ(gifimage_read(&read, path.c_str()), 1);
      BitmapPtr back = own(read);
      EXPECT_EQ(picture(back.get()), picture(source.get())) << bpp << " " << height;
    }
  }

  // The file: GIF header, the screen's size, a global table of 8 entries for 6 colours
  // (size field 2, resolution 8), background 0, one image descriptor at (0, 0).
  std::string bytes = read_file(home_path("few.gif"));
  ASSERT_GT(bytes.size(), 13u + 24u + 10u);
  EXPECT_EQ(bytes.substr(0, 4), "GIF8");
  EXPECT_EQ(static_cast<uint8_t>(bytes[6]) | static_cast<uint8_t>(bytes[7]) << 8, 13);
  EXPECT_EQ(static_cast<uint8_t>(bytes[8]) | static_cast<uint8_t>(bytes[9]) << 8, 9);
  EXPECT_EQ(static_cast<uint8_t>(bytes[10]), 0xF2);
  EXPECT_EQ(bytes[11], 0);
  EXPECT_EQ(bytes[13 + 24], ',');
  EXPECT_EQ(bytes.substr(13 + 24 + 1, 4), std::string(4, '\0'));
  EXPECT_EQ(bytes.back(), ';');

  // Exactly 256 colours still take the exact palette.
  BitmapPtr many = own(fbitmap_create(16, -16, 24));
  for (int32_t y = 0; y < 16; ++y)
    for (int32_t x = 0; x < 16; ++x) fbitmap_set_pixel(many.get(), x, y, static_cast<uint32_t>((y * 16 + x) * 0x010305u));
  std::string path = home_path("all256.gif");
  ASSERT_EQ(gifimage_write(many.get(), path.c_str(), 0), 1);
  FBitmap* read = nullptr;
  ASSERT_EQ(gifimage_read(&read, path.c_str()), 1);
  BitmapPtr back = own(read);
  EXPECT_EQ(picture(back.get()), picture(many.get()));
}

TEST(GifImageWrite, ManyColoursStayCloseWithoutDarkening) {
  // Smooth gradients with noise: far more than 256 colours, through the median cut.
  BitmapPtr source = own(fbitmap_create(96, 64, 32));
  std::mt19937 rng(7);
  for (int32_t y = 0; y < 64; ++y)
    for (int32_t x = 0; x < 96; ++x) {
      int noise = static_cast<int>(rng() % 9) - 4;
      auto clamp = [](int v) { return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); };
      uint8_t r = clamp(x * 255 / 95 + noise), g = clamp(y * 255 / 63 - noise), b = clamp(128 + (x - y) + noise);
      // A white block: the brightest colour must not come back grey.
      if (x >= 80 && y < 10) r = g = b = 255;
      fbitmap_blend_pixel(source.get(), x, y, fcolor_make(r, g, b, 255));
    }
  std::string path = home_path("many.gif");
  ASSERT_EQ(gifimage_write(source.get(), path.c_str(), 100), 1);
  FBitmap* read = nullptr;
  ASSERT_EQ(gifimage_read(&read, path.c_str()), 1);
  BitmapPtr back = own(read);

  double total = 0, signed_total = 0;
  int worst = 0;
  for (int32_t y = 0; y < 64; ++y)
    for (int32_t x = 0; x < 96; ++x) {
      uint8_t a[4], b[4];
      fbitmap_get_rgba(source.get(), x, y, a);
      fbitmap_get_rgba(back.get(), x, y, b);
      for (int c = 0; c < 3; ++c) {
        int d = b[c] - a[c];
        total += std::abs(d);
        signed_total += d;
        worst = std::max(worst, std::abs(d));
      }
    }
  double samples = 96.0 * 64.0 * 3.0;
  // 256 boxes over a gradient this wide leave about 6 levels of error on average; the
  // corner-of-cell colours would also shift every channel down by about 3.5.
  EXPECT_LT(total / samples, 8.0);
  EXPECT_LT(std::fabs(signed_total / samples), 1.0);
  EXPECT_LT(worst, 64);
  EXPECT_EQ(rgb_at(back.get(), 90, 3), 0xFFFFFFu);
}

TEST(GifImageWrite, RefusalsAndFailedWritesKeepTheOldFile) {
  std::string path = home_path("kept.gif");
  write_file(path, {'o', 'l', 'd'});
  for (int32_t bpp : {8, 16}) {
    BitmapPtr wrong = own(fbitmap_create(4, 4, bpp));
    EXPECT_EQ(gifimage_write(wrong.get(), path.c_str(), 0), 0) << bpp;
  }
  EXPECT_EQ(gifimage_write(nullptr, path.c_str(), 0), 0);
  // GIF sizes are 16-bit fields.
  BitmapPtr wide = own(fbitmap_create(65536, 1, 24));
  ASSERT_TRUE(wide);
  EXPECT_EQ(gifimage_write(wide.get(), path.c_str(), 0), 0);
  EXPECT_EQ(read_file(path), "old");

  // A disk that fills up midway, on the few-colour path and the quantised one.
  BitmapPtr few = own(fbitmap_create(200, 100, 24));
  paint_few_colours(few.get(), {0x112233, 0x445566, 0x778899});
  BitmapPtr noisy = own(fbitmap_create(200, 100, 24));
  std::mt19937 rng(3);
  for (uint32_t i = 0; i < fbitmap_get_size_image(noisy.get()); ++i) noisy->pixels[i] = static_cast<uint8_t>(rng());
  for (FBitmap* source : {few.get(), noisy.get()}) {
    ASSERT_EQ(gifimage_write(source, home_path("sized.gif").c_str(), 0), 1);
    int64_t size = static_cast<int64_t>(read_file(home_path("sized.gif")).size());
    for (int64_t budget : {int64_t{0}, int64_t{10}, size / 2, size - 1}) {
      fsafe_file_fail_after(budget);
      EXPECT_EQ(gifimage_write(source, path.c_str(), 0), 0) << budget;
      fsafe_file_fail_after(-1);
      EXPECT_EQ(read_file(path), "old") << budget;
      EXPECT_FALSE(exists(path + ".part")) << budget;
    }
    ASSERT_EQ(gifimage_write(source, path.c_str(), 0), 1);
    EXPECT_EQ(read_file(path).substr(0, 4), "GIF8");
    write_file(path, {'o', 'l', 'd'});
  }
}
