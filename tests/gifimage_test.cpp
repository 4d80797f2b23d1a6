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

std::string read_file(const std::string& path) {
  Bytes b = picture_read_file(path);
  return std::string(b.begin(), b.end());
}

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
  for (size_t i = 0; i < rgb.size(); ++i) colors[i] = {uint8_t(rgb[i] >> 16), uint8_t(rgb[i] >> 8), uint8_t(rgb[i])};
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
    auto put = [&](int r) {
      auto* row = const_cast<uint8_t*>(image.indices.data() + static_cast<size_t>(r) * image.width);
      EXPECT_EQ(EGifPutLine(gif, row, image.width), GIF_OK);
    };
    // Interlaced rows go in four passes; a plain image is one pass of step 1.
    static constexpr int kStart[4] = {0, 4, 2, 1}, kStep[4] = {8, 8, 4, 2};
    for (int pass = 0; pass < (image.interlace ? 4 : 1); ++pass)
      for (int r = image.interlace ? kStart[pass] : 0; r < image.height; r += image.interlace ? kStep[pass] : 1) put(r);
  }
  EXPECT_EQ(EGifCloseFile(gif, &error), GIF_OK);
  return bytes;
}

struct ReadResult {
  int result = 0;
  BitmapPtr bitmap{nullptr, &fbitmap_destroy};
};

ReadResult read_bytes(const std::vector<uint8_t>& bytes) {
  std::string path = picture_test_path("picture.gif");
  picture_write_file(path, bytes);
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

// The recipe's screen holding `background`, with its first image drawn at its place
// through its own or the global table (indices beyond it read entry 0), clipped.
std::vector<uint32_t> expected_picture(const GifRecipe& recipe, uint32_t background) {
  std::vector<uint32_t> all(static_cast<size_t>(recipe.width) * recipe.height, background);
  if (recipe.images.empty()) return all;
  const GifImage& image = recipe.images[0];
  const std::vector<uint32_t>& map = image.local_map.empty() ? recipe.global_map : image.local_map;
  for (int r = 0; r < image.height; ++r)
    for (int c = 0; c < image.width; ++c) {
      int x = image.left + c, y = image.top + r;
      if (x >= recipe.width || y >= recipe.height) continue;
      uint8_t index = image.indices[static_cast<size_t>(r) * image.width + c];
      all[static_cast<size_t>(y) * recipe.width + x] = map[index < map.size() ? index : 0];
    }
  return all;
}

GifImage image_of(int left, int top, int width, int height, uint8_t colors) {
  GifImage image{left, top, width, height, false, {}, {}};
  for (int i = 0; i < width * height; ++i) image.indices.push_back(static_cast<uint8_t>((i * 7 + i / width) % colors));
  return image;
}

const std::vector<uint32_t> kGlobal = {0x000000, 0xFFFFFF, 0x336699, 0xFF0000, 0x00FF00, 0x0000FF, 0x123456, 0xFEDCBA};
const std::vector<uint32_t> kLocal = {0x010101, 0x020202, 0xABCDEF, 0x808080};

GifRecipe screen(int width, int height, int background, std::vector<GifImage> images,
                 std::vector<uint32_t> global_map = kGlobal, std::vector<std::string> comments = {}) {
  return {width, height, background, std::move(global_map), std::move(comments), std::move(images)};
}

GifImage with_local_map(GifImage image) { return image.local_map = kLocal, image; }

GifImage interlaced(int height) {
  GifImage image = image_of(0, 0, 3, height, 8);
  for (size_t i = 0; i < image.indices.size(); ++i) image.indices[i] = static_cast<uint8_t>((i / 3 + i % 3) % 8);
  return image.interlace = true, image;
}

}  // namespace

TEST(GifImageRead, TheFirstImageLandsOnTheScreenClippedToIt) {
  struct Case {
    const char* what;
    GifRecipe recipe;
    uint32_t background;
  };
  const Case cases[] = {
      {"filling the screen", screen(5, 3, 0, {image_of(0, 0, 5, 3, 8)}), 0},
      // Heights that end inside every pass of the interlacing.
      {"interlaced, 2 rows", screen(3, 2, 0, {interlaced(2)}), 0},
      {"interlaced, 17 rows", screen(3, 17, 0, {interlaced(17)}), 0},
      // The background is global entry 2; the local table wins over the global one.
      {"offset, local table", screen(7, 6, 2, {with_local_map(image_of(3, 2, 2, 3, 4))}), 0x336699},
      // Without a global table the background number's bytes are the colour: 5 is red 5.
      {"no global table", screen(7, 6, 5, {with_local_map(image_of(3, 2, 2, 3, 4))}, {}), 0x050000},
      {"extension records only", screen(4, 2, 7, {}, kGlobal, {"first", std::string(600, 'x')}), 0xFEDCBA},
      // Extensions before the first frame are skipped, and only the first frame is drawn.
      {"animation", screen(4, 4, 1, {image_of(0, 0, 2, 2, 8), image_of(0, 0, 4, 4, 3), image_of(2, 2, 2, 2, 8)}, kGlobal, {"one"}), 0xFFFFFF},
      // giflib writes any position; the reader clips to the screen.
      {"out on the right", screen(5, 5, 6, {image_of(3, 0, 4, 3, 8)}), 0x123456},
      {"out at the bottom", screen(5, 5, 6, {image_of(0, 4, 4, 3, 8)}), 0x123456},
      {"wholly outside", screen(5, 5, 6, {image_of(60000, 60000, 4, 3, 8)}), 0x123456},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ReadResult read = read_bytes(build_gif(c.recipe));
    ASSERT_EQ(read.result, 1);
    EXPECT_EQ(fbitmap_get_bpp(read.bitmap.get()), 24);
    EXPECT_TRUE(fbitmap_is_top_down(read.bitmap.get()));
    EXPECT_EQ(std::pair(fbitmap_get_width(read.bitmap.get()), fbitmap_get_height(read.bitmap.get())), std::pair(c.recipe.width, c.recipe.height));
    EXPECT_EQ(picture(read.bitmap.get()), expected_picture(c.recipe, c.background));
  }
}

TEST(GifImageRead, IndicesBeyondTheTableAndOversizedPicturesAreContained) {
  // An image of two lines with a two-entry local table, holding indices 2 and 3: written
  // with a four-entry table, then the table is cut to two entries in the file. Indices
  // beyond the table read its first entry.
  GifImage image = with_local_map(image_of(0, 0, 4, 1, 4));
  image.indices = {0, 1, 2, 3};
  std::vector<uint8_t> bytes = build_gif(screen(4, 1, 0, {image}, {}));
  // Header 6, screen 7, image descriptor 10 (packed byte last), then the local table.
  ASSERT_EQ(bytes[13], ',');
  ASSERT_EQ(bytes[22] & 0x87, 0x81);
  bytes[22] = static_cast<uint8_t>((bytes[22] & ~0x07) | 0x00);
  bytes.erase(bytes.begin() + 23 + 6, bytes.begin() + 23 + 12);
  EXPECT_EQ(picture(read_bytes(bytes).bitmap.get()), (std::vector<uint32_t>{0x010101, 0x020202, 0x010101, 0x010101}));

  // An image descriptor larger than any picture the reader takes, on a small screen.
  std::vector<uint8_t> patched = build_gif(screen(4, 4, 0, {image_of(0, 0, 2, 2, 8)}));
  size_t descriptor = 13 + 3 * 8;
  ASSERT_EQ(patched[descriptor], ',');
  for (size_t field : {descriptor + 5, descriptor + 7}) patched[field] = patched[field + 1] = 0xFF;
  EXPECT_EQ(read_bytes(patched).result, 0);

  // Screens of no size or beyond the pixel bound fail before any pixel is allocated.
  for (auto [w, h] : {std::pair{0, 5}, std::pair{65535, 65535}, std::pair{8193, 8193}}) {
    ReadResult c = read_bytes(build_gif(screen(w, h, 0, {})));
    EXPECT_EQ(c.result, 0) << w << "x" << h;
    EXPECT_EQ(c.bitmap, nullptr);
  }
}

TEST(GifImageRead, DamagedFilesFailCleanly) {
  std::vector<uint8_t> good = build_gif(screen(9, 7, 0, {image_of(1, 1, 8, 6, 8)}, kGlobal, {"note"}));
  ASSERT_EQ(read_bytes(good).result, 1);

  // Cut inside the signature, the screen, the global table, the comment, the image
  // descriptor, the pixel data: 0 and no bitmap. Only the final terminator byte may be
  // missing, since reading stops after the first image.
  for (size_t size : {size_t{0}, size_t{4}, size_t{10}, size_t{20}, size_t{40}, size_t{50}, size_t{58}, good.size() - 2}) {
    ReadResult r = read_bytes(std::vector<uint8_t>(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(size)));
    EXPECT_EQ(r.result, 0) << size;
    EXPECT_EQ(r.bitmap, nullptr) << size;
  }
  EXPECT_EQ(read_bytes(std::vector<uint8_t>(good.begin(), good.end() - 1)).result, 1);

  // A record that is neither extension, image nor terminator.
  std::vector<uint8_t> bad_record = good;
  size_t record = 13 + 3 * 8;
  ASSERT_EQ(bad_record[record], '!');
  bad_record[record] = 'Q';
  EXPECT_EQ(read_bytes(bad_record).result, 0);

  // An image with neither a local nor a global table: giflib will not write one, so the
  // two-entry global table is cut out of the file afterwards.
  std::vector<uint8_t> stripped = build_gif(screen(2, 2, 0, {image_of(0, 0, 2, 2, 2)}, {0x111111, 0x222222}));
  ASSERT_EQ(stripped[10], 0xF0);
  stripped[10] = 0x70;
  stripped.erase(stripped.begin() + 13, stripped.begin() + 19);
  ASSERT_EQ(stripped[13], ',');
  EXPECT_EQ(read_bytes(stripped).bitmap, nullptr);

  // A missing file, a folder.
  FBitmap* out = nullptr;
  EXPECT_EQ(gifimage_read(&out, picture_test_path("absent.gif").c_str()), 0);
  EXPECT_EQ(gifimage_read(&out, std::getenv("PENLARK_HOME")), 0);
  EXPECT_EQ(out, nullptr);
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
      std::string path = picture_test_path("few.gif");
      ASSERT_EQ(gifimage_write(source.get(), path.c_str(), 75), 1);
      // The writer leaves its source alone.
      EXPECT_EQ(std::memcmp(before.data(), source->pixels, before.size()), 0);

      ReadResult back = read_bytes(picture_read_file(path));
      ASSERT_EQ(back.result, 1);
      EXPECT_EQ(picture(back.bitmap.get()), picture(source.get())) << bpp << " " << height;
    }
  }

  // The file: GIF header, the screen's size, a global table of 8 entries for 6 colours
  // (size field 2, resolution 8), background 0, one image descriptor at (0, 0).
  std::string bytes = read_file(picture_test_path("few.gif"));
  ASSERT_GT(bytes.size(), 13u + 24u + 10u);
  EXPECT_EQ(bytes.substr(0, 4), "GIF8");
  EXPECT_EQ(bytes.substr(6, 6), std::string("\x0D\0\x09\0\xF2\0", 6));
  EXPECT_EQ(bytes.substr(13 + 24, 5), std::string(",\0\0\0\0", 5));
  EXPECT_EQ(bytes.back(), ';');

  // Exactly 256 colours still take the exact palette.
  BitmapPtr many = own(fbitmap_create(16, -16, 24));
  for (uint32_t i = 0; i < 256; ++i) fbitmap_set_pixel(many.get(), int32_t(i % 16), int32_t(i / 16), i * 0x010305u);
  std::string path = picture_test_path("all256.gif");
  ASSERT_EQ(gifimage_write(many.get(), path.c_str(), 0), 1);
  ReadResult back = read_bytes(picture_read_file(path));
  EXPECT_EQ(picture(back.bitmap.get()), picture(many.get()));
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
  std::string path = picture_test_path("many.gif");
  ASSERT_EQ(gifimage_write(source.get(), path.c_str(), 100), 1);
  ReadResult read = read_bytes(picture_read_file(path));
  ASSERT_EQ(read.result, 1);
  const FBitmap* back = read.bitmap.get();
  double total = 0, signed_total = 0;
  int worst = 0;
  for (int32_t i = 0; i < 64 * 96 * 3; ++i) {
    uint8_t a[4], b[4];
    fbitmap_get_rgba(source.get(), i / 3 % 96, i / 3 / 96, a);
    fbitmap_get_rgba(back, i / 3 % 96, i / 3 / 96, b);
    int d = b[i % 3] - a[i % 3];
    total += std::abs(d), signed_total += d, worst = std::max(worst, std::abs(d));
  }
  double samples = 96.0 * 64.0 * 3.0;
  // 256 boxes over a gradient this wide leave about 6 levels of error on average; the
  // corner-of-cell colours would also shift every channel down by about 3.5.
  EXPECT_LT(total / samples, 8.0);
  EXPECT_LT(std::fabs(signed_total / samples), 1.0);
  EXPECT_LT(worst, 64);
  EXPECT_EQ(rgb_at(back, 90, 3), 0xFFFFFFu);
}

TEST(GifImageWrite, RefusalsAndFailedWritesKeepTheOldFile) {
  std::string path = picture_test_path("kept.gif");
  picture_write_file(path, {'o', 'l', 'd'});
  EXPECT_EQ(gifimage_write(own(fbitmap_create(4, 4, 8)).get(), path.c_str(), 0), 0);
  EXPECT_EQ(gifimage_write(nullptr, path.c_str(), 0), 0);
  // GIF sizes are 16-bit fields.
  EXPECT_EQ(gifimage_write(own(fbitmap_create(65536, 1, 24)).get(), path.c_str(), 0), 0);
  EXPECT_EQ(read_file(path), "old");

  // A disk that fills up midway, on the few-colour path and the quantised one.
  BitmapPtr few = own(fbitmap_create(200, 100, 24));
  paint_few_colours(few.get(), {0x112233, 0x445566, 0x778899});
  BitmapPtr noisy = own(fbitmap_create(200, 100, 24));
  std::mt19937 rng(3);
  for (uint32_t i = 0; i < fbitmap_get_size_image(noisy.get()); ++i) noisy->pixels[i] = static_cast<uint8_t>(rng());
  for (FBitmap* source : {few.get(), noisy.get()}) {
    ASSERT_EQ(gifimage_write(source, picture_test_path("sized.gif").c_str(), 0), 1);
    int64_t size = static_cast<int64_t>(read_file(picture_test_path("sized.gif")).size());
    for (int64_t budget : {int64_t{0}, size / 2}) {
      fsafe_file_fail_after(budget);
      EXPECT_EQ(gifimage_write(source, path.c_str(), 0), 0) << budget;
      fsafe_file_fail_after(-1);
      EXPECT_EQ(read_file(path), "old") << budget;
      EXPECT_FALSE(picture_file_exists(path + ".part")) << budget;
    }
    ASSERT_EQ(gifimage_write(source, path.c_str(), 0), 1);
    EXPECT_EQ(read_file(path).substr(0, 4), "GIF8");
    picture_write_file(path, {'o', 'l', 'd'});
  }
}
