// BMP reading: files built byte by byte at every depth and row order, checked pixel by
// pixel through fbitmap_get_rgba; every header field a hostile file could bend; short and
// long files; and files written by fbitmap_save_bmp read back.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "fbitmap.h"
#include "fbytes.h"
#include "picture_files.h"

namespace {

// Little-endian byte builder.
struct LeBytes {
  std::vector<uint8_t> data;
  LeBytes& u8(uint8_t v) {
    data.push_back(v);
    return *this;
  }
  LeBytes& u16(uint16_t v) { return u8(static_cast<uint8_t>(v)).u8(static_cast<uint8_t>(v >> 8)); }
  LeBytes& u32(uint32_t v) { return u16(static_cast<uint16_t>(v)).u16(static_cast<uint16_t>(v >> 16)); }
  LeBytes& bytes(const std::vector<uint8_t>& more) {
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
    LeBytes info;
    info.u32(header_size).u32(static_cast<uint32_t>(width)).u32(static_cast<uint32_t>(height));
    info.u16(1).u16(bpp).u32(compression).u32(0).u32(2835).u32(2835).u32(colors_used).u32(0);
    std::vector<uint8_t> tail = header_tail;
    if (header_size > 40) tail.resize(header_size - 40);
    info.bytes(tail).bytes(extra);
    uint32_t offset = pixel_offset >= 0 ? static_cast<uint32_t>(pixel_offset)
                                        : static_cast<uint32_t>(14 + info.data.size());
    LeBytes file;
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
  LeBytes b;
  for (uint32_t c : rgb) b.u8(static_cast<uint8_t>(c)).u8(static_cast<uint8_t>(c >> 8)).u8(static_cast<uint8_t>(c >> 16)).u8(0);
  return b.data;
}

std::vector<uint8_t> masks(uint32_t red, uint32_t green, uint32_t blue) {
  return LeBytes().u32(red).u32(green).u32(blue).data;
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
  std::string path = picture_test_path(name);
  picture_write_file(path, bytes);
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

TEST(FBitmapLoadBmp, EveryDepthAndRowOrderGivesItsPixels) {
  auto file = [](uint16_t bpp, uint32_t compression, int32_t width, int32_t height, std::vector<uint8_t> pixels,
                 std::vector<uint8_t> extra = {}) {
    BmpFile f;
    f.bpp = bpp, f.compression = compression, f.width = width, f.height = height;
    f.pixels = std::move(pixels), f.extra = std::move(extra);
    return f;
  };
  // 1 bpp, 10 wide: two bytes of bits a row, padded to 4; bottom-up, so the file's first
  // row is the picture's bottom row.
  BmpFile one = file(1, 0, 10, 2, padded({{0b10000000, 0b01000000}, {0b01111111, 0b10000000}}), palette({0x102030, 0xF0E0D0}));
  std::vector<uint32_t> one_rows(20, 0xF0E0D0);
  for (int x = 1; x < 9; ++x) one_rows[10 + x] = 0x102030;
  one_rows[0] = one_rows[9] = 0x102030;
  // 4 bpp, top-down, three palette entries (biClrUsed): index 7 lies beyond them and reads
  // entry 0 rather than bytes past the block.
  BmpFile four = file(4, 0, 3, -2, padded({{0x12, 0x00}, {0x21, 0x70}}), palette({0x000001, 0x0000FF, 0xFF0000}));
  four.colors_used = 3;
  // 8 bpp, a full palette after a V5-size header; biClrUsed above 256 is capped.
  auto entry = [](uint32_t i) { return (i << 16) | ((255 - i) << 8) | (i ^ 0x55); };
  std::vector<uint32_t> entries(256);
  for (uint32_t i = 0; i < 256; ++i) entries[i] = entry(i);
  BmpFile eight = file(8, 0, 2, 2, padded({{1, 2}, {254, 255}}), palette(entries));
  eight.header_size = 124, eight.colors_used = 5000;
  BmpFile fields16 = file(16, 3, 2, 2, padded({{0x00, 0xF8, 0xE0, 0x07}, {0x1F, 0x00, 0xFF, 0xFF}}), masks(0xF800, 0x07E0, 0x001F));
  // Bit fields inside a V4 header (no masks after it) come from the header.
  BmpFile v4 = file(32, 3, 2, -1, {0x11, 0x22, 0x33, 0x44, 0xFF, 0x00, 0x00, 0x00});
  v4.header_size = 108;
  v4.header_tail = LeBytes().u32(0x000000FF).u32(0x0000FF00).u32(0x00FF0000).u32(0xFF000000).data;
  const std::vector<uint8_t> rows24 = padded({{1, 2, 3, 4, 5, 6, 7, 8, 9}, {10, 11, 12, 13, 14, 15, 16, 17, 18}});
  struct Case {
    const char* what;
    BmpFile file;
    std::vector<uint32_t> expected;  // top row first
  };
  const Case cases[] = {
      {"1 bpp bottom-up", one, one_rows},
      {"4 bpp top-down, short palette", four, {0x0000FF, 0xFF0000, 0x000001, 0xFF0000, 0x0000FF, 0x000001}},
      {"8 bpp, V5 header", eight, {entry(254), entry(255), entry(1), entry(2)}},
      // Without bit fields 16 bpp is 5-5-5: 0x7C00 is full red, not a 5-6-5 mix.
      {"16 bpp plain", file(16, 0, 3, -1, padded({{0x00, 0x7C, 0xE0, 0x03, 0x1F, 0x00}})), {0xF80000, 0x00F800, 0x0000F8}},
      {"16 bpp 5-6-5 bottom-up", fields16, {0x0000F8, 0xF8FCF8, 0xF80000, 0x00FC00}},
      // Width 3: 9 bytes a row padded to 12.
      {"24 bpp bottom-up", file(24, 0, 3, 2, rows24), {0x0C0B0A, 0x0F0E0D, 0x121110, 0x030201, 0x060504, 0x090807}},
      {"24 bpp top-down", file(24, 0, 3, -2, rows24), {0x030201, 0x060504, 0x090807, 0x0C0B0A, 0x0F0E0D, 0x121110}},
      {"32 bpp plain", file(32, 0, 1, 1, {0x11, 0x22, 0x33, 0x44}), {0x332211}},
      {"32 bpp V4 masks", v4, {0x112233, 0xFF0000}},
  };
  for (const Case& c : cases) {
    auto loaded = load(c.file.build());
    ASSERT_EQ(loaded->result, 1) << c.what;
    EXPECT_EQ(fbitmap_is_top_down(&loaded->bitmap), c.file.height < 0) << c.what;
    EXPECT_EQ(picture(loaded->bitmap), c.expected) << c.what;
  }
  EXPECT_EQ(fbitmap_get_stride(&load(one.build())->bitmap), 4u);
  auto b = load(four.build());
  EXPECT_EQ(fbitmap_get_color_count(&b->bitmap), 3);
  EXPECT_EQ(fbitmap_get_pixel(&b->bitmap, 2, 1), 7u);
  auto c = load(eight.build());
  EXPECT_EQ(fbitmap_get_color_count(&c->bitmap), 256);
  EXPECT_EQ(fbitmap_get_info_size(&c->bitmap), 40u + 1024u);
  auto plain16 = load(cases[3].file.build());
  EXPECT_FALSE(fbitmap_is_rgb565(&plain16->bitmap));
  EXPECT_EQ(plain16->bitmap.green_loss, 3u);
  auto d = load(fields16.build());
  EXPECT_TRUE(fbitmap_is_rgb565(&d->bitmap));
  EXPECT_EQ(d->bitmap.green_loss, 2u);
  // Plain 32 bpp keeps the fourth byte.
  uint8_t bgra[4] = {};
  fbitmap_get_rgba(&load(cases[7].file.build())->bitmap, 0, 0, bgra);
  EXPECT_EQ(fbytes_get_u32(bgra), 0x44332211u);
  // The V4 block now holds the masks right after a 40-byte header, as saving expects.
  auto e = load(v4.build());
  EXPECT_EQ(fbitmap_get_info_size(&e->bitmap), 52u);
  EXPECT_EQ(fbytes_get_u32(e->bitmap.info), 40u);
}

TEST(FBitmapLoadBmp, ShortAndLongFiles) {
  BmpFile base;
  base.width = 3, base.height = 2;
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
  for (size_t cut : {full.size() - 4, size_t{54}, size_t{20}, size_t{0}}) {
    auto c = load(std::vector<uint8_t>(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(cut)));
    EXPECT_EQ(c->result, 0) << cut;
    EXPECT_TRUE(cleared(c->bitmap)) << cut;
  }

  // A missing file, and a folder.
  FBitmap none{};
  none.stride = 5;
  EXPECT_EQ(fbitmap_load_bmp(&none, picture_test_path("absent.bmp").c_str()), 0);
  EXPECT_TRUE(cleared(none));
  EXPECT_EQ(fbitmap_load_bmp(&none, std::getenv("PENLARK_HOME")), 0);
  EXPECT_EQ(fbitmap_load_bmp(&none, nullptr), 0);
}

TEST(FBitmapLoadBmp, HostileHeaderFieldsAreRefused) {
  BmpFile good;
  good.width = 2, good.height = 2, good.pixels = std::vector<uint8_t>(16, 0x40);
  ASSERT_EQ(load(good.build())->result, 1);

  using Tamper = std::function<void(BmpFile&)>;
  const std::vector<std::pair<const char*, Tamper>> cases = {
      {"type BA", [](BmpFile& f) { f.type = 0x4142; }},
      {"RLE8", [](BmpFile& f) { f.compression = 1; }},
      {"bit fields at 24 bpp", [](BmpFile& f) { f.compression = 3; f.extra = masks(0xFF0000, 0xFF00, 0xFF); }},
      {"bit fields without masks", [](BmpFile& f) { f.bpp = 32; f.compression = 3; }},
      {"mask wider than 8 bits", [](BmpFile& f) { f.bpp = 32; f.compression = 3; f.extra = masks(0xFFF00000, 0xFF00, 0xFF); }},
      {"mask with a hole", [](BmpFile& f) { f.bpp = 32; f.compression = 3; f.extra = masks(0x00FF0000, 0xF00F, 0xFF); }},
      {"height INT32_MIN", [](BmpFile& f) { f.height = INT32_MIN; }},
      {"depth 2", [](BmpFile& f) { f.bpp = 2; }},
      {"core header", [](BmpFile& f) { f.header_size = 12; }},
      {"header longer than the block", [](BmpFile& f) { f.header_size = 41; f.header_tail.clear(); f.pixel_offset = 54; }},
      {"width 0", [](BmpFile& f) { f.width = 0; }},
      {"height 0", [](BmpFile& f) { f.height = 0; }},
      // Complete 1-bit files: only the pixel bound refuses them (8192 x 8192 loads below).
      {"more pixels than allowed", [](BmpFile& f) {
         f.bpp = 1, f.width = 8193, f.height = -8193, f.extra = palette({0, 0xFFFFFF}), f.pixels = std::vector<uint8_t>(1028u * 8193u, 0);
       }},
      {"overflowing stride", [](BmpFile& f) { f.width = INT32_MAX; f.height = 1; f.bpp = 32; }},
      {"offset past the end", [](BmpFile& f) { f.pixel_offset = 71; f.cut = 70; }},
      {"offset inside the header", [](BmpFile& f) { f.pixel_offset = 40; }},
      {"palette outside the block", [](BmpFile& f) { f.bpp = 8; f.extra = palette({1, 2}); }},
      {"4-bit palette cut short", [](BmpFile& f) { f.bpp = 4; f.extra = palette(std::vector<uint32_t>(15, 1)); }},
  };
  for (const auto& [name, tamper] : cases) {
    BmpFile file = good;
    tamper(file);
    auto loaded = load(file.build());
    EXPECT_EQ(loaded->result, 0) << name;
    EXPECT_TRUE(cleared(loaded->bitmap)) << name;
  }

  // The largest allowed picture still loads (8192 x 8192 at 1 bpp: 8 MiB).
  BmpFile large;
  large.bpp = 1, large.width = 8192, large.height = -8192, large.extra = palette({0, 0xFFFFFF});
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
      std::string path = picture_test_path("round.bmp");
      ASSERT_EQ(fbitmap_save_bmp(source.get(), path.c_str()), 1);
      Loaded back;
      ASSERT_EQ(fbitmap_load_bmp(&back.bitmap, path.c_str()), 1);
      EXPECT_EQ(fbitmap_get_info_size(&back.bitmap), fbitmap_get_info_size(source.get()));
      EXPECT_EQ(std::memcmp(back.bitmap.info, source->info, fbitmap_get_info_size(source.get())), 0);
      EXPECT_EQ(std::memcmp(back.bitmap.pixels, source->pixels, size), 0) << bpp << " " << height;
      EXPECT_EQ(back.bitmap.green_mask, source->green_mask);
      EXPECT_EQ(picture(back.bitmap), picture(*source));
    }
  }

  // A loaded 4-bit file with a short palette saves and loads again as it was.
  BmpFile four;
  four.bpp = 4, four.width = 5, four.height = 1, four.colors_used = 2;
  four.extra = palette({0xABCDEF, 0x123456}), four.pixels = padded({{0x01, 0x10, 0x10}});
  auto first = load(four.build());
  ASSERT_EQ(first->result, 1);
  std::string path = picture_test_path("again.bmp");
  ASSERT_EQ(fbitmap_save_bmp(&first->bitmap, path.c_str()), 1);
  Loaded again;
  ASSERT_EQ(fbitmap_load_bmp(&again.bitmap, path.c_str()), 1);
  EXPECT_EQ(picture(again.bitmap), (std::vector<uint32_t>{0xABCDEF, 0x123456, 0x123456, 0xABCDEF, 0x123456}));
}
