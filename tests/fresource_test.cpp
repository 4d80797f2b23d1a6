// Resource files built byte by byte: lookups and the later file winning, the slot table, and
// damaged or hostile files refused without a read outside the loaded data.

#include "fresource.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "fbitmap.h"
#include "fbytes.h"

namespace {

using Bytes = std::vector<uint8_t>;

void put(Bytes* out, uint32_t value) {
  uint8_t b[4];
  fbytes_put_u32(b, value);
  out->insert(out->end(), b, b + 4);
}

Bytes entry(uint32_t id, const Bytes& payload) {
  Bytes out;
  put(&out, id);
  put(&out, static_cast<uint32_t>(payload.size()));
  out.insert(out.end(), payload.begin(), payload.end());
  return out;
}

Bytes text(const std::u16string& s) {
  Bytes out;
  for (char16_t c : s) out.insert(out.end(), {static_cast<uint8_t>(c), static_cast<uint8_t>(c >> 8)});
  out.insert(out.end(), {0, 0});
  return out;
}

Bytes join(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// A whole file: header, section table {type, offset}, data block.
Bytes container(const std::vector<std::pair<uint32_t, uint32_t>>& table, const Bytes& data,
                uint32_t version = FRES_VERSION) {
  Bytes out;
  put(&out, FRES_MAGIC);
  put(&out, version);
  put(&out, static_cast<uint32_t>(16 + 8 * table.size()));
  put(&out, static_cast<uint32_t>(data.size()));
  for (auto [type, offset] : table) {
    put(&out, type);
    put(&out, offset);
  }
  out.insert(out.end(), data.begin(), data.end());
  return out;
}

Bytes strings_file(const std::vector<std::pair<uint32_t, std::u16string>>& strings) {
  Bytes data;
  for (const auto& [id, s] : strings) data = join({data, entry(id, text(s))});
  return container({{FRES_SECTION_STRINGS, 0}}, data);
}

// A bitmap payload: the record image, the information block (palette for 8 bpp or less,
// `masks` as bit fields when given), 4 bytes, then `pixels`. The record words are the ones
// the core describes for the block.
Bytes bitmap_payload(int32_t width, int32_t height, uint16_t bpp, const Bytes& pixels,
                     const std::vector<uint32_t>& masks = {}) {
  Bytes info(40 + (bpp <= 8 ? 4u << bpp : 0), 0);
  for (uint32_t mask : masks) put(&info, mask);
  if (!masks.empty()) fbytes_put_u32(&info[16], FBITMAP_BI_BITFIELDS);
  fbytes_put_u32(&info[0], 40);
  fbytes_put_i32(&info[4], width);
  fbytes_put_i32(&info[8], height);
  fbytes_put_u16(&info[12], 1);
  fbytes_put_u16(&info[14], bpp);
  for (size_t i = 40; bpp <= 8 && i < info.size(); i += 4) info[i] = info[i + 1] = info[i + 2] = static_cast<uint8_t>(i);
  FBitmap described{};
  described.info = info.data();
  fbitmap_describe(&described);
  Bytes out;
  for (uint32_t word : {0u, 0u, described.stride, described.red_mask, described.green_mask,
                        described.blue_mask, described.red_shift, described.green_shift,
                        described.blue_shift, described.red_loss, described.green_loss,
                        described.blue_loss, 0u}) {
    put(&out, word);
  }
  return join({out, info, Bytes(4, 0), pixels});
}

// 2 x 2, 32 bpp, top-down: pixels 0x11223344, 0x55667788 / 0x99AABBCC, 0xDDEEFF00.
Bytes sample_bitmap() {
  Bytes pixels;
  for (uint32_t p : {0x11223344u, 0x55667788u, 0x99AABBCCu, 0xDDEEFF00u}) put(&pixels, p);
  return bitmap_payload(2, -2, 32, pixels);
}

// The tests of this file run in parallel processes that share PENLARK_HOME: each keeps its
// files in a folder named after the test.
std::string home_file(const std::string& name) {
  std::string folder = std::getenv("PENLARK_HOME");
  mkdir(folder.c_str(), 0755);
  folder += "/";
  folder += testing::UnitTest::GetInstance()->current_test_info()->name();
  mkdir(folder.c_str(), 0755);
  return folder + "/" + name;
}

int load(const Bytes& bytes, const std::string& name = "test.fres") {
  std::string path = home_file(name);
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  return fres_load(path.c_str());
}

std::u16string string_of(uint32_t id) {
  const char16_t* s = fres_get_string(id);
  return s ? std::u16string(s) : u"<none>";
}

// Blue, green, red of pixel (0, 0) as 0x00RRGGBB.
uint32_t rgba_of(const FBitmap* bitmap) {
  uint8_t out[4] = {};
  fbitmap_get_rgba(bitmap, 0, 0, out);
  return static_cast<uint32_t>(out[2] << 16 | out[1] << 8 | out[0]);
}

class FResource : public ::testing::Test {
 protected:
  void TearDown() override { fres_unload_all(); }
};

}  // namespace

TEST_F(FResource, LookupsAskEveryFileAndTheLaterOneWins) {
  EXPECT_EQ(fres_get_string(25005), nullptr);
  EXPECT_EQ(std::u16string(fres_get_string_or(25005, u"default")), u"default");
  EXPECT_EQ(fres_get_bitmap(1), nullptr);

  EXPECT_EQ(load(strings_file({{2, u"OK"}, {25001, u"Penlark"}, {25005, u"old"}}), "a.fres"), 1);
  EXPECT_EQ(load(strings_file({{25005, u"новый"}, {25010, u"x"}}), "b.fres"), 2);
  EXPECT_EQ(string_of(25005), u"новый");
  EXPECT_EQ(string_of(3), u"<none>");  // inside the first file's range, not in it
  EXPECT_EQ(std::u16string(fres_get_string_or(25001, u"default")), u"Penlark");
  fres_unload(2);
  EXPECT_EQ(string_of(25005), u"old");

  // A single bitmap section as the only table entry takes its length from the data size.
  ASSERT_EQ(load(container({{FRES_SECTION_BITMAPS, 0}}, entry(300, sample_bitmap())), "c.fmbm"), 2);
  EXPECT_TRUE(fres_get_bitmap(299) == nullptr && fres_get_bitmap(301) == nullptr);
  ASSERT_NE(fres_get_bitmap(300), nullptr);
  EXPECT_EQ(fbitmap_get_pixel(fres_get_bitmap(300), 0, 1), 0x99AABBCCu);

  fres_unload_all();
  EXPECT_EQ(fres_get_string(25001), nullptr);
  EXPECT_EQ(fres_get_bitmap(300), nullptr);
}

TEST_F(FResource, SixteenSlotsAreFilledFreedAndReused) {
  Bytes file = strings_file({{7, u"seven"}});
  for (int id = 1; id <= max_resource_file_number; ++id) EXPECT_EQ(load(file), id);
  EXPECT_EQ(load(file), 0);
  fres_unload(5);
  fres_unload(5);  // a free slot: nothing happens
  EXPECT_EQ(load(file), 5);
  EXPECT_EQ(string_of(7), u"seven");
  fres_unload_all();
  EXPECT_EQ(load(file), 1);

  EXPECT_DEATH(fres_unload(0), "fresource.*id>=1 && id<=max_resource_file_number");
  EXPECT_DEATH(fres_unload(17), "id>=1 && id<=max_resource_file_number");
}

TEST_F(FResource, DamagedHeadersSectionsAndEntriesRefuseTheFileAndTakeNoSlot) {
  Bytes good = strings_file({{7, u"seven"}});
  auto word = [](Bytes bytes, size_t at, uint32_t value) { return fbytes_put_u32(&bytes[at], value), bytes; };
  Bytes two = join({entry(1, text(u"a")), entry(2, text(u"bc"))});
  auto strings = [](const Bytes& data) { return container({{FRES_SECTION_STRINGS, 0}}, data); };
  const std::vector<std::pair<const char*, Bytes>> cases = {
      {"version 2", container({{FRES_SECTION_STRINGS, 0}}, entry(7, text(u"x")), 2)},
      {"magic", word(good, 0, 0x53455247)},
      {"truncated header", Bytes(good.begin(), good.begin() + 20)},
      {"truncated data", Bytes(good.begin(), good.end() - 1)},
      {"header below 16", word(good, 8, 12)},
      {"absurd header size", word(good, 8, 0xFFFFFFF8)},
      {"absurd data size", word(good, 12, 0xFFFFFFF0)},
      {"offset past the data", container({{FRES_SECTION_STRINGS, 100}}, two)},
      {"offsets going back", container({{FRES_SECTION_BITMAPS, 8}, {FRES_SECTION_STRINGS, 0}}, two)},
      {"string without terminator", strings(entry(1, Bytes{'a', 0, 'b', 0}))},
      {"odd string length", strings(entry(1, Bytes{0, 0, 'a'}))},
      {"strings at an odd address", container({{9, 0}, {FRES_SECTION_STRINGS, 1}}, join({Bytes(1, 0), two}))},
      {"entry past the section", strings(word(two, 4, 1000))},
      {"entry length wrapping", strings(word(two, 4, 0xFFFFFFFC))},
      {"half an entry header", strings(join({two, Bytes(4, 0)}))},
      {"bitmap entry too short", container({{FRES_SECTION_BITMAPS, 0}}, entry(5, Bytes(60, 0)))},
  };
  EXPECT_EQ(fres_load(home_file("missing.fres").c_str()), 0);
  for (const auto& [name, bytes] : cases) EXPECT_EQ(load(bytes), 0) << name;
  EXPECT_EQ(load(good), 1);  // none of these took a slot
  EXPECT_EQ(load(container({}, {}), "empty.fres"), 2);  // no sections: valid, holds nothing
  EXPECT_EQ(string_of(7), u"seven");
  EXPECT_EQ(fres_get_string(1), nullptr);

  // Unknown section types are skipped but still end the section before them.
  ASSERT_EQ(load(container({{FRES_SECTION_STRINGS, 0}, {9, uint32_t(two.size())}}, join({two, Bytes(8, 0xEE)}))), 3);
  EXPECT_EQ(string_of(2), u"bc");
}

TEST_F(FResource, BitmapPayloadsAreCheckedAgainstTheirLength) {
  Bytes good = sample_bitmap();
  auto bitmap_file = [](const Bytes& payload) {
    return container({{FRES_SECTION_BITMAPS, 0}}, entry(9, payload));
  };
  auto bent = [&](size_t at, uint32_t value, int size = 4) {
    Bytes bad = good;
    if (size == 2) fbytes_put_u16(&bad[at], static_cast<uint16_t>(value));
    else fbytes_put_u32(&bad[at], value);
    return bitmap_file(bad);
  };
  constexpr size_t info = 52;
  // 3 x 1 at 4 bpp: pixels 1, 2, 15.
  Bytes nibbles = bitmap_payload(3, 1, 4, Bytes{0x12, 0xF0, 0, 0});
  Bytes seventeen_colours = nibbles;
  fbytes_put_u32(&seventeen_colours[info + 32], 17);
  const std::vector<std::pair<const char*, Bytes>> cases = {
      {"one pixel byte short", bitmap_file(Bytes(good.begin(), good.end() - 1))},
      {"depth 7", bent(info + 14, 7, 2)},
      {"width 0", bent(info + 4, 0)},
      {"taller than the pixels", bent(info + 8, static_cast<uint32_t>(-3))},
      {"huge height", bent(info + 8, 0x7FFFFFFF)},
      {"header size 12", bent(info, 12)},
      {"compressed", bent(info + 16, 1)},
      {"stride disagreeing", bent(8, 4)},
      {"shift disagreeing", bent(24, 40)},
      {"17 colours in 4 bits", bitmap_file(seventeen_colours)},
      {"10-bit channels", bitmap_file(bitmap_payload(1, 1, 32, Bytes(4, 0), {0x3FF00000, 0xFFC00, 0x3FF}))},
  };
  // The same with 8-bit channels is a good bit-field bitmap.
  ASSERT_EQ(load(bitmap_file(bitmap_payload(1, 1, 32, Bytes{1, 2, 3, 4}, {0xFF0000, 0xFF00, 0xFF}))), 1);
  EXPECT_EQ(rgba_of(fres_get_bitmap(9)), 0x00030201u);
  fres_unload_all();
  for (const auto& [name, bytes] : cases) EXPECT_EQ(load(bytes), 0) << name;

  // Low depths load and read through their palette; blits from them are declined.
  ASSERT_EQ(load(bitmap_file(nibbles)), 1);
  FBitmap* bitmap = fres_get_bitmap(9);
  ASSERT_NE(bitmap, nullptr);
  const uint32_t nibble_pixels[3] = {1, 2, 15};
  for (int32_t x = 0; x < 3; ++x) EXPECT_EQ(fbitmap_get_pixel(bitmap, x, 0), nibble_pixels[x]);
  FBitmap* painting = fbitmap_create(3, 1, 32);
  EXPECT_EQ(fbitmap_blit(painting, {0, 0}, bitmap, {0, 0, 2, 0}, 255), 0);
  fbitmap_destroy(painting);
}

TEST_F(FResource, PixelsOffTheirAlignmentAreServedFromAnAlignedCopy) {
  // After a 2-byte unknown section the pixels sit 2 bytes off a 4-byte boundary.
  Bytes data = join({Bytes(2, 0), entry(300, sample_bitmap())});
  ASSERT_EQ(load(container({{7, 0}, {FRES_SECTION_BITMAPS, 2}}, data)), 1);
  FBitmap* bitmap = fres_get_bitmap(300);
  ASSERT_NE(bitmap, nullptr);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(bitmap->pixels) % 4, 0u);
  EXPECT_EQ(fbitmap_get_pixel(bitmap, 1, 1), 0xDDEEFF00u);
}
