// The resource compiler's library proven against fres_load: string tables and bitmap lists
// round-trip, faults are reported with file and line. Source PNGs are made here with libpng.

#include "fres_writer.h"

#include <gtest/gtest.h>
#include <png.h>
#include <sys/stat.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "fbitmap.h"
#include "fbytes.h"
#include "fresource.h"
#include "fsafe_file.h"

namespace {

// The tests of this file run in parallel processes that share PENLARK_HOME: each keeps its
// files in a folder named after the test.
std::string home_dir() {
  std::string folder = std::getenv("PENLARK_HOME");
  mkdir(folder.c_str(), 0755);
  folder += "/";
  folder += testing::UnitTest::GetInstance()->current_test_info()->name();
  mkdir(folder.c_str(), 0755);
  return folder;
}

std::string home_file(const std::string& name) { return home_dir() + "/" + name; }

std::string read_text(const std::string& path) {
  std::string text, errors;
  fres_writer_read_text(path.c_str(), &text, &errors);
  return text;
}

// A straight RGBA picture, or a palette picture when `palette` (RGB triples) is given.
void write_png(const std::string& path, int width, int height, const std::vector<uint8_t>& pixels,
               const std::vector<uint8_t>& palette = {}) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION, image.width = static_cast<png_uint_32>(width);
  image.height = static_cast<png_uint_32>(height);
  image.format = palette.empty() ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB_COLORMAP;
  image.colormap_entries = static_cast<png_uint_32>(palette.size() / 3);
  ASSERT_TRUE(png_image_write_to_file(&image, path.c_str(), 0, pixels.data(), 0,
                                      palette.empty() ? nullptr : palette.data()));
}

// 5 x 3 (odd width: every depth pads its rows), 15 colours, alpha varying too.
constexpr int kWidth = 5, kHeight = 3;
std::vector<uint8_t> sample_rgba() {
  std::vector<uint8_t> rgba;
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) rgba.insert(rgba.end(), {uint8_t(40 * x + 7), uint8_t(60 * y + 3), uint8_t(200 - 30 * x), uint8_t(50 * x + 20 * y)});
  return rgba;
}

// Compiles `list` (lines of a bitmap list whose images lie in the home folder) into a file
// and loads it; the file id, or 0 with the errors in `errors`.
int compile_bitmaps(const std::string& list, std::string* errors) {
  std::vector<FresBitmapItem> items;
  std::vector<FresEntry> bitmaps;
  bool ok = fres_writer_parse_bitmap_list(list, "icons.list", home_dir(), &items, errors);
  for (const FresBitmapItem& item : items) ok = fres_writer_add_bitmap(item, &bitmaps, errors) && ok;
  ok = fres_writer_sort(&bitmaps, errors) && ok;
  std::string path = home_file("icons.fmbm");
  if (!ok || !fres_writer_write_file(path.c_str(), fres_writer_build({}, bitmaps))) return 0;
  return fres_load(path.c_str());
}

// blue, green, red, fourth byte of a bitmap pixel.
std::vector<uint8_t> rgba_at(const FBitmap* bitmap, int x, int y) {
  uint8_t out[4] = {0, 0, 0, 0};
  fbitmap_get_rgba(bitmap, x, y, out);
  return {out[0], out[1], out[2], out[3]};
}

class FresWriter : public ::testing::Test {
 protected:
  void TearDown() override { fres_unload_all(); }
};

}  // namespace

TEST_F(FresWriter, StringTablesRoundTripThroughTheLoader) {
  std::string main_table =
      "\xEF\xBB\xBF# Application strings\n"
      "\n"
      "25005 Не удалось открыть страницу\n"
      "2 确定\r\n"
      "25001 Penlark\n"
      "7 \\sTwo\\tcolumns\\nand a \\\\ backslash\\s\n"
      "8 \xF0\x9F\x98\x80\n"
      "9 ";
  std::vector<FresEntry> strings;
  std::string errors;
  ASSERT_TRUE(fres_writer_parse_strings(main_table, "main.txt", &strings, &errors)) << errors;
  ASSERT_TRUE(fres_writer_parse_strings("3 Cancel\n", "more.txt", &strings, &errors)) << errors;
  ASSERT_TRUE(fres_writer_sort(&strings, &errors)) << errors;
  std::vector<uint8_t> bytes = fres_writer_build(strings, {});

  // Header, one strings section, then the lowest id first: "确定" is 3 UTF-16 units with
  // its terminator, padded to 8 bytes.
  ASSERT_GE(bytes.size(), 40u);
  const std::vector<uint8_t> head(bytes.begin(), bytes.begin() + 40);
  const std::vector<uint8_t> expected_head = {
      'F', 'R', 'E', 'S', 1, 0, 0, 0, 24, 0, 0, 0,
      static_cast<uint8_t>(bytes.size() - 24), static_cast<uint8_t>((bytes.size() - 24) >> 8), 0, 0,
      1, 0, 0, 0, 0, 0, 0, 0,
      2, 0, 0, 0, 8, 0, 0, 0, 0x6E, 0x78, 0x9A, 0x5B, 0, 0, 0, 0};
  EXPECT_EQ(head, expected_head);

  std::string path = home_file("strings.fres");
  ASSERT_TRUE(fres_writer_write_file(path.c_str(), bytes));
  ASSERT_EQ(fres_load(path.c_str()), 1);
  for (auto [id, want] : {std::pair<uint32_t, std::u16string>{25005, u"Не удалось открыть страницу"},
                          {2, u"确定"}, {3, u"Cancel"}, {25001, u"Penlark"},
                          {7, u" Two\tcolumns\nand a \\ backslash "}, {8, u"\U0001F600"}, {9, u""}})
    EXPECT_EQ(std::u16string(fres_get_string(id)), want) << id;

  // Nothing at all still makes a file the loader takes (an empty bitmap list).
  std::string empty = home_file("empty.fmbm");
  ASSERT_TRUE(fres_writer_write_file(empty.c_str(), fres_writer_build({}, {})));
  EXPECT_EQ(read_text(empty).size(), 16u);
  EXPECT_EQ(fres_load(empty.c_str()), 2);
}

TEST_F(FresWriter, TableFaultsAreReportedWithTheirLines) {
  std::string table =
      "1 good\n"
      "hello\n"
      "12\n"
      "13\ttab\n"
      "-5 minus\n"
      "14 bad \\q escape\n"
      "15 \xC3\x28\n"
      "16 \xED\xA0\x80 surrogate\n"
      "99999999999 big\n"
      "17 ends with \\\n"
      "18 fine\n";
  std::vector<FresEntry> strings;
  std::string errors;
  EXPECT_FALSE(fres_writer_parse_strings(table, "t.txt", &strings, &errors));
  EXPECT_EQ(errors,
            "t.txt:2: the line must start with a decimal id\n"
            "t.txt:3: the id must be decimal digits followed by one space and the text\n"
            "t.txt:4: the id must be decimal digits followed by one space and the text\n"
            "t.txt:5: the line must start with a decimal id\n"
            "t.txt:6: unknown escape \\q (known: \\n \\t \\s \\\\)\n"
            "t.txt:7: invalid UTF-8 at byte 1 of the text\n"
            "t.txt:8: invalid UTF-8 at byte 1 of the text\n"
            "t.txt:9: the id does not fit 32 bits\n"
            "t.txt:10: a backslash ends the line (write \\\\ for a backslash)\n");
  ASSERT_EQ(strings.size(), 2u);
  EXPECT_EQ(strings[1].id, 18u);
  EXPECT_EQ(strings[1].origin, "t.txt:11");

  // Duplicates, within a table and across tables, name both places.
  strings.clear();
  errors.clear();
  EXPECT_TRUE(fres_writer_parse_strings("5 x\n6 y\n5 z\n", "a.txt", &strings, &errors));
  EXPECT_TRUE(fres_writer_parse_strings("6 again\n", "b.txt", &strings, &errors));
  EXPECT_FALSE(fres_writer_sort(&strings, &errors));
  EXPECT_EQ(errors,
            "a.txt:3: duplicate id 5 (also at a.txt:1)\n"
            "b.txt:1: duplicate id 6 (also at a.txt:2)\n");

  // Bitmap lists: ids, kinds and images, paths relative to the list's folder.
  std::vector<FresBitmapItem> items;
  errors.clear();
  EXPECT_FALSE(fres_writer_parse_bitmap_list(
      "# icons\n\nx 8 a.png\n3 12 a.png\n4 16\n4294967295 pair16 a.png\n  5 pair24  sub dir/b.png \r\n",
      "l.list", "/art", &items, &errors));
  EXPECT_EQ(errors,
            "l.list:3: the line must start with a decimal id that fits 32 bits\n"
            "l.list:4: unknown kind '12' (known: 8 16 24 32 pair16 pair24)\n"
            "l.list:5: the image file is missing\n"
            "l.list:6: a pair needs the id after it for its alpha mask\n");
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].id, 5u);
  EXPECT_EQ(items[0].kind, FresBitmapKind::pair24);
  EXPECT_EQ(items[0].path, "/art/sub dir/b.png");
}

TEST_F(FresWriter, BitmapsOfEveryDepthMatchTheSourcePixels) {
  std::vector<uint8_t> rgba = sample_rgba();
  write_png(home_file("rgba.png"), kWidth, kHeight, rgba);
  // A palette picture whose palette is in no particular order: kind 8 keeps it as it is.
  const std::vector<uint8_t> palette = {9, 8, 7, 250, 0, 0, 0, 250, 0, 1, 2, 3};
  const std::vector<uint8_t> indices = {3, 1, 0, 2, 2, 1};
  write_png(home_file("pal.png"), 3, 2, indices, palette);

  std::string errors;
  ASSERT_EQ(compile_bitmaps("13 32 rgba.png\n10 8 rgba.png\n11 16 rgba.png\n12 24 rgba.png\n"
                            "14 8 pal.png\n",
                            &errors),
            1)
      << errors;
  const int depths[] = {8, 16, 24, 32};
  for (uint32_t id = 10; id <= 13; ++id) {
    SCOPED_TRACE(id);
    FBitmap* bitmap = fres_get_bitmap(id);
    ASSERT_NE(bitmap, nullptr);
    ASSERT_EQ(fbitmap_get_bpp(bitmap), depths[id - 10]);
    EXPECT_EQ(fbitmap_is_top_down(bitmap), 0);
    for (int i = 0; i < kWidth * kHeight; ++i) {
      const uint8_t* s = &rgba[4 * i];
      std::vector<uint8_t> expected = {s[2], s[1], s[0], 0};
      if (id == 11) expected = {uint8_t(s[2] & 0xF8), uint8_t(s[1] & 0xFC), uint8_t(s[0] & 0xF8), 0};  // 5-6-5
      if (id == 13) expected[3] = s[3];
      EXPECT_EQ(rgba_at(bitmap, i % kWidth, i / kWidth), expected) << i;
    }
  }
  EXPECT_TRUE(fbitmap_is_rgb565(fres_get_bitmap(11)));

  FBitmap* kept = fres_get_bitmap(14);
  ASSERT_NE(kept, nullptr);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(fbitmap_get_pixel(kept, i % 3, i / 3), indices[i]);
  const uint8_t* entries = fbitmap_get_palette(kept);
  for (int i = 0; i < 4; ++i)
    EXPECT_TRUE(entries[4 * i] == palette[3 * i + 2] && entries[4 * i + 1] == palette[3 * i + 1] && entries[4 * i + 2] == palette[3 * i]) << i;

  fres_unload_all();

  // More than 256 colours cannot be 8 bpp; a missing image is named with its list line.
  std::vector<uint8_t> many;
  for (int i = 0; i < 17 * 16; ++i) many.insert(many.end(), {static_cast<uint8_t>(i), static_cast<uint8_t>(i >> 8), 0, 255});
  write_png(home_file("many.png"), 17, 16, many);
  errors.clear();
  EXPECT_EQ(compile_bitmaps("1 24 many.png\n2 8 many.png\n3 8 nope.png\n", &errors), 0);
  EXPECT_NE(errors.find("icons.list:2: the image has more than 256 colours"), std::string::npos) << errors;
  EXPECT_NE(errors.find("icons.list:3: " + home_file("nope.png") + ": cannot read the PNG"),
            std::string::npos)
      << errors;
}

TEST_F(FresWriter, APairSplitsColourAndAlpha) {
  std::vector<uint8_t> rgba = sample_rgba();
  write_png(home_file("rgba.png"), kWidth, kHeight, rgba);
  std::string errors;
  ASSERT_EQ(compile_bitmaps("40 pair16 rgba.png\n50 pair24 rgba.png\n", &errors), 1) << errors;
  FBitmap* colour16 = fres_get_bitmap(40);
  FBitmap* colour24 = fres_get_bitmap(50);
  ASSERT_TRUE(colour16 && colour24);
  EXPECT_EQ(fbitmap_get_bpp(colour16), 16);
  EXPECT_EQ(fbitmap_get_bpp(colour24), 24);
  for (uint32_t mask_id : {41u, 51u}) {
    FBitmap* mask = fres_get_bitmap(mask_id);
    ASSERT_NE(mask, nullptr);
    ASSERT_EQ(fbitmap_get_bpp(mask), 8);
    const uint8_t* grey = fbitmap_get_palette(mask);
    for (int i = 0; i < 256; ++i) ASSERT_TRUE(grey[4 * i] == i && grey[4 * i + 1] == i && grey[4 * i + 2] == i);
    for (int i = 0; i < kWidth * kHeight; ++i) {
      EXPECT_EQ(fbitmap_get_pixel(mask, i % kWidth, i / kWidth), rgba[4 * i + 3]);
      EXPECT_EQ(rgba_at(colour24, i % kWidth, i / kWidth),
                (std::vector<uint8_t>{rgba[4 * i + 2], rgba[4 * i + 1], rgba[4 * i], 0}));
    }
  }
  EXPECT_EQ(fres_get_bitmap(42), nullptr);
}

TEST_F(FresWriter, AWriteFailingMidwayKeepsTheOldFile) {
  std::string path = home_file("kept.fres");
  std::vector<FresEntry> strings;
  std::string errors;
  ASSERT_TRUE(fres_writer_parse_strings("1 old\n", "a.txt", &strings, &errors));
  ASSERT_TRUE(fres_writer_write_file(path.c_str(), fres_writer_build(strings, {})));
  std::string old = read_text(path);

  strings.clear();
  ASSERT_TRUE(fres_writer_parse_strings("1 a much longer replacement text\n", "a.txt", &strings, &errors));
  fsafe_file_fail_after(20);
  EXPECT_FALSE(fres_writer_write_file(path.c_str(), fres_writer_build(strings, {})));
  fsafe_file_fail_after(-1);
  EXPECT_EQ(read_text(path), old);
  struct stat st;
  EXPECT_NE(stat((path + ".part").c_str(), &st), 0);  // no leftover
}
