// BMP reading: files built byte by byte at every depth and row order, checked pixel by
// pixel through fbitmap_get_rgba; every header field a hostile file could bend; short and
// long files; and files written by fbitmap_save_bmp read back.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "fbitmap.h"
#include "fbytes.h"

namespace {

std::string home_path(const std::string& name) {
  const char* home = std::getenv("PENLARK_HOME");
  mkdir(home, 0755);
  return std::string(home) + "/" + name;
}

void write_file(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                              static_cast<std::streamsize>(bytes.size()));
}

// Little-endian byte builder.
struct Bytes {
  std::vector<uint8_t> data;
  Bytes& u8(uint8_t v) {
    data.push_back(v);
    return *this;
  }
  Bytes& u16(uint16_t v) { return u8(static_cast<uint8_t>(v)).u8(static_cast<uint8_t>(v >> 8)); }
  Bytes& u32(uint32_t v) { return u16(static_cast<uint16_t>(v)).u16(static_cast<uint16_t>(v >> 16)); }
  Bytes& bytes(const std::vector<uint8_t>& more) {
    data.insert(data.end(), more.begin(), more.end());
    return *this;
  }
};

// A BMP file with every field open to tampering. By default the information block is a
// 40-byte header followed by `extra` (masks or palette), and the pixels follow at once.
struct BmpFile {
  uint16_t type = 0x4D42;
  uint32_t header_size = 40;
  int32_t width = 1;
  int32_t height = 1;
  uint16_t bpp = 24;
  uint32_t compression = 0;
  uint32_t colors_used = 0;
  std::vector<uint8_t> header_tail;  // bytes 40.. of a longer header (zeros by default)
  std::vector<uint8_t> extra;        // after the header: masks or palette
  std::vector<uint8_t> pixels;       // as stored, rows padded
  int64_t pixel_offset = -1;         // -1: right after the extra bytes
  int64_t cut = -1;                  // file length to keep, -1: all

  std::vector<uint8_t> build() const {
    Bytes info;
    info.u32(header_size).u32(static_cast<uint32_t>(width)).u32(static_cast<uint32_t>(height));
    info.u16(1).u16(bpp).u32(compression).u32(0).u32(2835).u32(2835).u32(colors_used).u32(0);
    std::vector<uint8_t> tail = header_tail;
    if (header_size > 40) tail.resize(header_size - 40);
    info.bytes(tail).bytes(extra);
    uint32_t offset = pixel_offset >= 0 ? static_cast<uint32_t>(pixel_offset)
                                        : static_cast<uint32_t>(14 + info.data.size());
    Bytes file;
    file.u16(type).u32(static_cast<uint32_t>(offset + pixels.size())).u16(0).u16(0).u32(offset);
    file.bytes(info.data);
    file.data.resize(std::max<size_t>(file.data.size(), offset));
    file.data.resize(offset);
    file.bytes(pixels);
    if (cut >= 0) file.data.resize(static_cast<size_t>(cut));
    return file.data;
  }
};

// Palette entries blue, green, red, 0.
std::vector<uint8_t> palette(const std::vector<uint32_t>& rgb) {
  Bytes b;
  for (uint32_t c : rgb) b.u8(static_cast<uint8_t>(c)).u8(static_cast<uint8_t>(c >> 8)).u8(static_cast<uint8_t>(c >> 16)).u8(0);
  return b.data;
}

std::vector<uint8_t> masks(uint32_t red, uint32_t green, uint32_t blue) {
  return Bytes().u32(red).u32(green).u32(blue).data;
}

// Stored rows (already in file order), each padded with zeros to 4 bytes.
std::vector<uint8_t> padded(const std::vector<std::vector<uint8_t>>& rows) {
  std::vector<uint8_t> out;
  for (const auto& row : rows) {
    out.insert(out.end(), row.begin(), row.end());
    out.resize((out.size() + 3) / 4 * 4);
  }
  return out;
}

bool cleared(const FBitmap& b) {
  FBitmap zero{};
  return std::memcmp(&b, &zero, sizeof b) == 0;
}

struct Loaded {
  FBitmap bitmap{};
  int result = 0;
  ~Loaded() { fbitmap_release(&bitmap); }
};

std::unique_ptr<Loaded> load(const std::vector<uint8_t>& bytes, const std::string& name = "picture.bmp") {
  std::string path = home_path(name);
  write_file(path, bytes);
  auto loaded = std::make_unique<Loaded>();
  // Stale contents must not survive a failed load.
  loaded->bitmap.stride = 77;
  loaded->result = fbitmap_load_bmp(&loaded->bitmap, path.c_str());
  return loaded;
}

// Red, green, blue of a pixel through fbitmap_get_rgba, as 0xRRGGBB.
uint32_t rgb_at(const FBitmap& b, int32_t x, int32_t y) {
  uint8_t out[4] = {};
  EXPECT_EQ(fbitmap_get_rgba(&b, x, y, out), 1) << x << "," << y;
  return (static_cast<uint32_t>(out[2]) << 16) | (out[1] << 8) | out[0];
}

// The pixels top row first, as 0xRRGGBB.
std::vector<uint32_t> picture(const FBitmap& b) {
  std::vector<uint32_t> all;
  for (int32_t y = 0; y < fbitmap_get_height(&b); ++y)
    for (int32_t x = 0; x < fbitmap_get_width(&b); ++x) all.push_back(rgb_at(b, x, y));
  return all;
}

}  // namespace

TEST(FBitmapLoadBmp, PalettedDepthsInBothRowOrders) {
  // 1 bpp, 10 pixels wide: two bytes of bits per row, padded to 4. Bottom-up, so the file's
  // first row is the picture's bottom row.
  BmpFile one;
  one.bpp = 1;
  one.width = 10;
  one.height = 2;
  one.extra = palette({0x102030, 0xF0E0D0});
  one.pixels = padded({{0b10000000, 0b01000000}, {0b01111111, 0b10000000}});
  auto a = load(one.build());
  ASSERT_EQ(a->result, 1);
  EXPECT_EQ(fbitmap_get_bpp(&a->bitmap), 1);
  EXPECT_EQ(fbitmap_get_stride(&a->bitmap), 4u);
  EXPECT_FALSE(fbitmap_is_top_down(&a->bitmap));
  EXPECT_EQ(fbitmap_get_color_count(&a->bitmap), 2);
  std::vector<uint32_t> expected;
  for (int x = 0; x < 10; ++x) expected.push_back(x == 0 || x == 9 ? 0x102030 : 0xF0E0D0);  // top row
  for (int x = 0; x < 10; ++x) expected.push_back(x == 0 || x == 9 ? 0xF0E0D0 : 0x102030);
  EXPECT_EQ(picture(a->bitmap), expected);

  // 4 bpp with a three-entry palette (biClrUsed), top-down; index 7 lies beyond the
  // palette and reads entry 0 rather than bytes past the block.
  BmpFile four;
  four.bpp = 4;
  four.width = 3;
  four.height = -2;
  four.colors_used = 3;
  four.extra = palette({0x000001, 0x0000FF, 0xFF0000});
  four.pixels = padded({{0x12, 0x00}, {0x21, 0x70}});
  auto b = load(four.build());
  ASSERT_EQ(b->result, 1);
  EXPECT_TRUE(fbitmap_is_top_down(&b->bitmap));
  EXPECT_EQ(fbitmap_get_color_count(&b->bitmap), 3);
  EXPECT_EQ(picture(b->bitmap),
            (std::vector<uint32_t>{0x0000FF, 0xFF0000, 0x000001, 0xFF0000, 0x0000FF, 0x000001}));
  EXPECT_EQ(fbitmap_get_pixel(&b->bitmap, 2, 1), 7u);

  // 8 bpp, a full palette after a V5-size header; biClrUsed above 256 is capped.
  BmpFile eight;
  eight.bpp = 8;
  eight.header_size = 124;
  eight.width = 2;
  eight.height = 2;
  eight.colors_used = 5000;
  auto entry = [](uint32_t i) { return (i << 16) | ((255 - i) << 8) | (i ^ 0x55); };
  std::vector<uint32_t> entries(256);
  for (uint32_t i = 0; i < 256; ++i) entries[i] = entry(i);
  eight.extra = palette(entries);
  eight.pixels = padded({{1, 2}, {254, 255}});
  auto c = load(eight.build());
  ASSERT_EQ(c->result, 1);
  EXPECT_EQ(fbitmap_get_color_count(&c->bitmap), 256);
  EXPECT_EQ(fbitmap_get_info_size(&c->bitmap), 40u + 1024u);
  EXPECT_EQ(picture(c->bitmap), (std::vector<uint32_t>{entry(254), entry(255), entry(1), entry(2)}));
}

TEST(FBitmapLoadBmp, DirectColourDepthsAndMasks) {
  // 16 bpp without bit fields is 5-5-5: 0x7C00 is full red, not a 5-6-5 mix.
  BmpFile plain16;
  plain16.bpp = 16;
  plain16.width = 3;
  plain16.height = -1;
  plain16.pixels = padded({{0x00, 0x7C, 0xE0, 0x03, 0x1F, 0x00}});
  auto a = load(plain16.build());
  ASSERT_EQ(a->result, 1);
  EXPECT_EQ(picture(a->bitmap), (std::vector<uint32_t>{0xF80000, 0x00F800, 0x0000F8}));
  EXPECT_FALSE(fbitmap_is_rgb565(&a->bitmap));
  EXPECT_EQ(a->bitmap.red_mask, 0x7C00u);
  EXPECT_EQ(a->bitmap.green_loss, 3u);

  // 16 bpp 5-6-5 with bit fields, bottom-up.
  BmpFile fields16;
  fields16.bpp = 16;
  fields16.compression = 3;
  fields16.width = 2;
  fields16.height = 2;
  fields16.extra = masks(0xF800, 0x07E0, 0x001F);
  fields16.pixels = padded({{0x00, 0xF8, 0xE0, 0x07}, {0x1F, 0x00, 0xFF, 0xFF}});
  auto b = load(fields16.build());
  ASSERT_EQ(b->result, 1);
  EXPECT_TRUE(fbitmap_is_rgb565(&b->bitmap));
  EXPECT_EQ(b->bitmap.red_shift, 11u);
  EXPECT_EQ(b->bitmap.green_loss, 2u);
  EXPECT_EQ(picture(b->bitmap), (std::vector<uint32_t>{0x0000F8, 0xF8FCF8, 0xF80000, 0x00FC00}));

  // 24 bpp, width 3: 9 bytes a row padded to 12; both row orders.
  for (int32_t height : {2, -2}) {
    BmpFile rgb;
    rgb.width = 3;
    rgb.height = height;
    std::vector<uint8_t> first = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    std::vector<uint8_t> second = {10, 11, 12, 13, 14, 15, 16, 17, 18};
    rgb.pixels = padded({first, second});
    auto c = load(rgb.build());
    ASSERT_EQ(c->result, 1);
    EXPECT_EQ(fbitmap_get_stride(&c->bitmap), 12u);
    std::vector<uint32_t> first_rgb = {0x030201, 0x060504, 0x090807};
    std::vector<uint32_t> second_rgb = {0x0C0B0A, 0x0F0E0D, 0x121110};
    std::vector<uint32_t> expected = height < 0 ? first_rgb : second_rgb;
    const auto& rest = height < 0 ? second_rgb : first_rgb;
    expected.insert(expected.end(), rest.begin(), rest.end());
    EXPECT_EQ(picture(c->bitmap), expected) << height;
  }

  // 32 bpp plain keeps the fourth byte; 32 bpp bit fields inside a V4 header (no masks
  // after it) read their masks from the header.
  BmpFile plain32;
  plain32.bpp = 32;
  plain32.width = 1;
  plain32.height = 1;
  plain32.pixels = {0x11, 0x22, 0x33, 0x44};
  auto d = load(plain32.build());
  ASSERT_EQ(d->result, 1);
  uint8_t bgra[4] = {};
  fbitmap_get_rgba(&d->bitmap, 0, 0, bgra);
  EXPECT_EQ(fbytes_get_u32(bgra), 0x44332211u);

  BmpFile v4;
  v4.bpp = 32;
  v4.compression = 3;
  v4.header_size = 108;
  v4.header_tail = Bytes().u32(0x000000FF).u32(0x0000FF00).u32(0x00FF0000).u32(0xFF000000).data;
  v4.width = 2;
  v4.height = -1;
  v4.pixels = {0x11, 0x22, 0x33, 0x44, 0xFF, 0x00, 0x00, 0x00};
  auto e = load(v4.build());
  ASSERT_EQ(e->result, 1);
  EXPECT_EQ(e->bitmap.red_mask, 0xFFu);
  EXPECT_EQ(e->bitmap.blue_shift, 16u);
  EXPECT_EQ(picture(e->bitmap), (std::vector<uint32_t>{0x112233, 0xFF0000}));
  // The block now holds the masks right after a 40-byte header, as saving expects.
  EXPECT_EQ(fbitmap_get_info_size(&e->bitmap), 52u);
  EXPECT_EQ(fbytes_get_u32(e->bitmap.info), 40u);
}

TEST(FBitmapLoadBmp, ShortAndLongFiles) {
  BmpFile base;
  base.width = 3;
  base.height = 2;
  base.pixels = padded({{1, 2, 3, 4, 5, 6, 7, 8, 9}, {10, 11, 12, 13, 14, 15, 16, 17, 18}});
  std::vector<uint8_t> full = base.build();

  // Longer than needed: the extra bytes are ignored.
  std::vector<uint8_t> longer = full;
  longer.insert(longer.end(), 100, 0xEE);
  auto a = load(longer);
  ASSERT_EQ(a->result, 1);
  EXPECT_EQ(fbitmap_get_size_image(&a->bitmap), 24u);
  EXPECT_EQ(fbytes_get_u32(a->bitmap.info + 20), 24u);
  EXPECT_EQ(rgb_at(a->bitmap, 0, 1), 0x030201u);

  // Only the last row's padding missing: every pixel is there, so the file is read.
  std::vector<uint8_t> no_pad(full.begin(), full.end() - 3);
  auto b = load(no_pad);
  ASSERT_EQ(b->result, 1);
  EXPECT_EQ(rgb_at(b->bitmap, 2, 0), 0x121110u);

  // Any pixel missing: refused, whatever the header's own size field says.
  for (size_t cut : {full.size() - 4, full.size() - 12, size_t{54}, size_t{53}, size_t{20}, size_t{13}, size_t{0}}) {
    auto c = load(std::vector<uint8_t>(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(cut)));
    EXPECT_EQ(c->result, 0) << cut;
    EXPECT_TRUE(cleared(c->bitmap)) << cut;
  }

  // A missing file, and a folder.
  FBitmap none{};
  none.stride = 5;
  EXPECT_EQ(fbitmap_load_bmp(&none, home_path("absent.bmp").c_str()), 0);
  EXPECT_TRUE(cleared(none));
  EXPECT_EQ(fbitmap_load_bmp(&none, std::getenv("PENLARK_HOME")), 0);
  EXPECT_EQ(fbitmap_load_bmp(&none, nullptr), 0);
}

TEST(FBitmapLoadBmp, HostileHeaderFieldsAreRefused) {
  BmpFile good;
  good.width = 2;
  good.height = 2;
  good.pixels = std::vector<uint8_t>(16, 0x40);
  ASSERT_EQ(load(good.build())->result, 1);

  using Tamper = std::function<void(BmpFile&)>;
  const std::vector<std::pair<const char*, Tamper>> cases = {
      {"type BA", [](BmpFile& f) { f.type = 0x4142; }},
      {"RLE8", [](BmpFile& f) { f.compression = 1; }},
      {"JPEG inside", [](BmpFile& f) { f.compression = 4; }},
      {"bit fields at 24 bpp", [](BmpFile& f) { f.compression = 3; f.extra = masks(0xFF0000, 0xFF00, 0xFF); }},
      {"bit fields without masks", [](BmpFile& f) { f.bpp = 32; f.compression = 3; }},
      {"mask wider than 8 bits", [](BmpFile& f) { f.bpp = 32; f.compression = 3; f.extra = masks(0xFFF00000, 0xFF00, 0xFF); }},
      {"mask with a hole", [](BmpFile& f) { f.bpp = 32; f.compression = 3; f.extra = masks(0x00FF0000, 0xF00F, 0xFF); }},
      {"depth 2", [](BmpFile& f) { f.bpp = 2; }},
      {"depth 0", [](BmpFile& f) { f.bpp = 0; }},
      {"depth 64", [](BmpFile& f) { f.bpp = 64; }},
      {"core header", [](BmpFile& f) { f.header_size = 12; }},
      {"header longer than the block", [](BmpFile& f) { f.header_size = 41; f.header_tail.clear(); f.pixel_offset = 54; }},
      {"width 0", [](BmpFile& f) { f.width = 0; }},
      {"negative width", [](BmpFile& f) { f.width = -2; }},
      {"height 0", [](BmpFile& f) { f.height = 0; }},
      {"height INT32_MIN", [](BmpFile& f) { f.height = INT32_MIN; }},
      // Complete 1-bit files: only the pixel bound refuses them (8192 x 8192 loads below).
      {"more pixels than allowed",
       [](BmpFile& f) {
         f.bpp = 1;
         f.width = 8193;
         f.height = -8193;
         f.extra = palette({0, 0xFFFFFF});
         f.pixels = std::vector<uint8_t>(1028u * 8193u, 0);
       }},
      {"overflowing sizes", [](BmpFile& f) { f.width = INT32_MAX; f.height = INT32_MAX; f.bpp = 32; }},
      {"overflowing stride", [](BmpFile& f) { f.width = INT32_MAX; f.height = 1; f.bpp = 32; }},
      {"offset past the end", [](BmpFile& f) { f.pixel_offset = 71; f.cut = 70; }},
      {"offset at the end", [](BmpFile& f) { f.pixel_offset = 70; f.cut = 70; }},
      {"offset inside the header", [](BmpFile& f) { f.pixel_offset = 40; }},
      {"offset 0", [](BmpFile& f) { f.pixel_offset = 0; }},
      {"palette outside the block", [](BmpFile& f) { f.bpp = 8; f.extra = palette({1, 2}); }},
      {"used colours outside the block", [](BmpFile& f) { f.bpp = 8; f.colors_used = 3; f.extra = palette({1, 2}); }},
      {"4-bit palette cut short", [](BmpFile& f) { f.bpp = 4; f.extra = palette(std::vector<uint32_t>(15, 1)); }},
  };
  for (const auto& [name, tamper] : cases) {
    BmpFile file = good;
    tamper(file);
    auto loaded = load(file.build());
    EXPECT_EQ(loaded->result, 0) << name;
    EXPECT_TRUE(cleared(loaded->bitmap)) << name;
  }

  // The same tampering within bounds is accepted: a palette that does fit, a long header.
  BmpFile fits = good;
  fits.bpp = 8;
  fits.colors_used = 2;
  fits.extra = palette({0x010203, 0x040506});
  fits.pixels = padded({{1, 0}, {0, 1}});
  auto a = load(fits.build());
  ASSERT_EQ(a->result, 1);
  EXPECT_EQ(picture(a->bitmap), (std::vector<uint32_t>{0x010203, 0x040506, 0x040506, 0x010203}));

  // The largest allowed picture still loads (8192 x 8192 at 1 bpp: 8 MiB).
  BmpFile large;
  large.bpp = 1;
  large.width = 8192;
  large.height = -8192;
  large.extra = palette({0, 0xFFFFFF});
  large.pixels = std::vector<uint8_t>(8192u * 1024u, 0x0F);
  auto b = load(large.build(), "large.bmp");
  ASSERT_EQ(b->result, 1);
  EXPECT_EQ(rgb_at(b->bitmap, 8191, 8191), 0xFFFFFFu);
  EXPECT_EQ(rgb_at(b->bitmap, 8184, 8191), 0u);
}

TEST(FBitmapLoadBmp, SavedBitmapsReadBackUnchanged) {
  for (int32_t bpp : {8, 16, 24, 32}) {
    for (int32_t height : {5, -5}) {
      std::unique_ptr<FBitmap, decltype(&fbitmap_destroy)> source(fbitmap_create(7, height, bpp), &fbitmap_destroy);
      ASSERT_TRUE(source);
      uint32_t size = fbitmap_get_size_image(source.get());
      for (uint32_t i = 0; i < size; ++i) source->pixels[i] = static_cast<uint8_t>(i * 37 + bpp);
      std::string path = home_path("round.bmp");
      ASSERT_EQ(fbitmap_save_bmp(source.get(), path.c_str()), 1);
      Loaded back;
      ASSERT_EQ(fbitmap_load_bmp(&back.bitmap, path.c_str()), 1);
      EXPECT_EQ(fbitmap_get_info_size(&back.bitmap), fbitmap_get_info_size(source.get()));
      EXPECT_EQ(std::memcmp(back.bitmap.info, source->info, fbitmap_get_info_size(source.get())), 0);
      EXPECT_EQ(std::memcmp(back.bitmap.pixels, source->pixels, size), 0) << bpp << " " << height;
      EXPECT_EQ(back.bitmap.stride, source->stride);
      EXPECT_EQ(back.bitmap.green_mask, source->green_mask);
      EXPECT_EQ(picture(back.bitmap), picture(*source));
    }
  }

  // A loaded 4-bit file with a short palette saves and loads again as it was.
  BmpFile four;
  four.bpp = 4;
  four.width = 5;
  four.height = 1;
  four.colors_used = 2;
  four.extra = palette({0xABCDEF, 0x123456});
  four.pixels = padded({{0x01, 0x10, 0x10}});
  auto first = load(four.build());
  ASSERT_EQ(first->result, 1);
  std::string path = home_path("again.bmp");
  ASSERT_EQ(fbitmap_save_bmp(&first->bitmap, path.c_str()), 1);
  Loaded again;
  ASSERT_EQ(fbitmap_load_bmp(&again.bitmap, path.c_str()), 1);
  EXPECT_EQ(picture(again.bitmap), (std::vector<uint32_t>{0xABCDEF, 0x123456, 0x123456, 0xABCDEF, 0x123456}));
}
