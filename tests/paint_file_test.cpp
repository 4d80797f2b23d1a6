// Native documents, exports, save-as logic and recent folders. Documents are built with a
// tiny filled-rectangle tool registered in a headless paint context, plus crop and clear
// steps; saved bytes are checked field by field, reopened documents are replayed and
// compared pixel for pixel with the painting drawn live, and hostile files (every header
// and size field overwritten, every length of cut) must fail with a clean code and leave
// the open document as it was. Each test works in its own folder under PENLARK_HOME.

#include "paint_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "fbitmap.h"
#include "fbytes.h"
#include "fsafe_file.h"
#include "fsys.h"
#include "gifimage.h"
#include "jpegimage.h"
#include "paint_context.h"
#include "paint_history.h"
#include "picture_files.h"
#include "pngimage.h"
#include "shape.h"

namespace {

constexpr uint32_t kRectId = 4;  // the test tool's id, also its steps' type

Bytes read_file(const std::string& path) { return picture_read_file(path); }
void write_file(const std::string& path, const Bytes& bytes) { picture_write_file(path, bytes); }
bool exists(const std::string& path) { return picture_file_exists(path); }

int32_t i32_at(const Bytes& b, size_t at) { return fbytes_get_i32(b.data() + at); }
uint32_t u32_at(const Bytes& b, size_t at) { return fbytes_get_u32(b.data() + at); }
void put_i32(Bytes* b, size_t at, int32_t v) { fbytes_put_i32(b->data() + at, v); }

// The test tool: fills its rectangle (left, top, right, bottom) with the fore colour.
struct RectTool {
  Shape shape;  // first, so the tool's slots can cast back
  int32_t rect[4];
};

void rect_load(Shape* shape, const uint8_t* data, int32_t size) {
  if (size != 16) return;
  auto* tool = reinterpret_cast<RectTool*>(shape);
  for (int i = 0; i < 4; ++i) tool->rect[i] = fbytes_get_i32(data + 4 * i);
}

void rect_draw(Shape* shape, cairo_t* cr, void*, double scale) {
  auto* tool = reinterpret_cast<RectTool*>(shape);
  PaintContext* pc = shape->context;
  cairo_set_source_rgba(cr, paint_context_get_fore_red(pc), paint_context_get_fore_green(pc),
                        paint_context_get_fore_blue(pc), paint_context_get_fore_alpha(pc));
  cairo_rectangle(cr, tool->rect[0] * scale, tool->rect[1] * scale,
                  (tool->rect[2] - tool->rect[0] + 1) * scale, (tool->rect[3] - tool->rect[1] + 1) * scale);
  cairo_fill(cr);
}

FColor rgb(uint8_t r, uint8_t g, uint8_t b) { return fcolor_make(r, g, b, 255); }

class PaintFileTest : public testing::Test {
 protected:
  void SetUp() override {
    const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
    // The first test's PENLARK_HOME is the root of every test's own folder.
    static const std::string root = [] {
      const char* base = std::getenv("PENLARK_HOME");
      return std::string(base ? base : testing::TempDir() + "penlark-paint-file");
    }();
    mkdir(root.c_str(), 0755);
    home_ = root + "/" + info->name();
    mkdir(home_.c_str(), 0755);
    // Everything the unit writes (recent folders included) lands in this test's folder.
    setenv("PENLARK_HOME", home_.c_str(), 1);
    fsys_reset_folders();
    paint_file_recent_folders_forget();
    std::remove((home_ + "/save_dirs.dat").c_str());
    fsafe_file_fail_after(-1);

    pc_ = paint_context_create(nullptr, 240, 320, rgb(153, 204, 0), rgb(255, 255, 153),
                               rgb(255, 255, 153), 7, 1, 0, 0);
    ASSERT_NE(pc_, nullptr);
    paint_context_set_screen_size(pc_, 480, 640);
    history_ = paint_history_create(pc_, (home_ + "/cache").c_str());
    ASSERT_NE(history_, nullptr);
    tool_ = RectTool{};
    shape_init(&tool_.shape, kRectId, u"Rect", pc_, history_, nullptr);
    shape_set_load(&tool_.shape, rect_load);
    shape_set_draw(&tool_.shape, rect_draw);
    ASSERT_EQ(paint_context_add_shape(pc_, &tool_.shape), 1);
    paint_context_fill_base(pc_);
    file_ = paint_file_create(pc_, history_, home_.c_str());
    ASSERT_NE(file_, nullptr);
    file_->on_notice = record_notice;
    file_->notice_data = this;
    file_->open_file = record_open;
    opened_.clear();
  }

  void TearDown() override {
    fsafe_file_fail_after(-1);
    if (file_) paint_file_destroy(file_);
    if (history_) paint_history_destroy(history_);
    if (pc_) paint_context_destroy(pc_);
  }

  static void record_notice(PaintFile* file, PaintFileNotice kind, const char16_t* text) {
    auto* self = static_cast<PaintFileTest*>(file->notice_data);
    self->notices_.emplace_back(kind, text ? std::u16string(text) : std::u16string());
  }
  static inline std::vector<std::string> opened_;
  static int record_open(const char* path) {
    opened_.push_back(path);
    return 1;
  }

  std::string path(const char* name) const { return home_ + "/" + name; }

  // Draws live, then records the step as a tool does at pen-up.
  void draw_rect(int32_t l, int32_t t, int32_t r, int32_t b, FColor color) {
    paint_context_set_fore_color(pc_, color);
    uint8_t data[16];
    const int32_t fields[4] = {l, t, r, b};
    for (int i = 0; i < 4; ++i) fbytes_put_i32(data + 4 * i, fields[i]);
    shape_load(&tool_.shape, data, 16);
    shape_draw(&tool_.shape, paint_context_get_renderer(pc_), nullptr, 1.0);
    ASSERT_NE(paint_history_add(history_, kRectId, data, 16), nullptr);
  }

  void crop(int32_t x, int32_t y, int32_t w, int32_t h) {
    FBitmap* painting = paint_context_get_painting(pc_);
    int32_t old_w = fbitmap_get_width(painting), old_h = fbitmap_get_height(painting);
    ASSERT_EQ(paint_context_crop(pc_, x, y, w, h), 1);
    uint8_t data[PAINT_STEP_CROP_SIZE];
    int32_t fields[8] = {x, y, x + w - 1, y + h - 1, 0, 0, old_w - 1, old_h - 1};
    for (int i = 0; i < 8; ++i) fbytes_put_i32(data + 4 * i, fields[i]);
    ASSERT_NE(paint_history_add(history_, PAINT_STEP_CROP, data, PAINT_STEP_CROP_SIZE), nullptr);
  }

  void clear() {
    paint_context_fill_base(pc_);
    ASSERT_NE(paint_history_add(history_, PAINT_STEP_CLEAR, nullptr, 0), nullptr);
  }

  // The painting's pixels with its size in front, as cairo left them.
  Bytes painting_bytes() const {
    FBitmap* painting = paint_context_get_painting(pc_);
    if (pc_->renderer_surface) cairo_surface_flush(pc_->renderer_surface);
    Bytes out(8);
    fbytes_put_i32(out.data(), fbitmap_get_width(painting));
    fbytes_put_i32(out.data() + 4, fbitmap_get_height(painting));
    out.insert(out.end(), painting->pixels, painting->pixels + fbitmap_get_size_image(painting));
    return out;
  }

  // Everything of the open document a failed open must leave alone.
  struct Snapshot {
    Bytes pixels;
    int32_t base_width, base_height, count, current;
    FColor canvas;
    std::string path;
    bool operator==(const Snapshot&) const = default;
  };
  Snapshot snapshot() const {
    return Snapshot{painting_bytes(), paint_context_get_base_width(pc_),
                    paint_context_get_base_height(pc_), paint_history_get_count(history_),
                    paint_history_get_current(history_), paint_context_get_canvas_color(pc_),
                    file_->path};
  }

  // A small open document that every hostile open is checked against.
  void make_baseline() {
    ASSERT_EQ(paint_context_new_blank(pc_, 16, 12, rgb(1, 2, 3)), 1);
    paint_history_reset(history_);
    paint_context_fill_base(pc_);
    draw_rect(2, 2, 9, 5, rgb(200, 10, 10));
    draw_rect(4, 3, 14, 10, rgb(10, 200, 10));
    file_->path = path("baseline.plk");
  }

  void paint_pixels(const std::vector<FColor>& colors, int32_t width) {
    FBitmap* painting = paint_context_get_painting(pc_);
    cairo_surface_flush(pc_->renderer_surface);
    for (size_t i = 0; i < colors.size(); ++i) {
      uint8_t* p = fbitmap_pixel_address(painting, static_cast<int32_t>(i % width),
                                         static_cast<int32_t>(i / width));
      fbytes_put_u32(p, colors[i]);
    }
    cairo_surface_mark_dirty(pc_->renderer_surface);
  }

  std::string home_;
  PaintContext* pc_ = nullptr;
  PaintHistory* history_ = nullptr;
  PaintFile* file_ = nullptr;
  RectTool tool_{};
  std::vector<std::pair<PaintFileNotice, std::u16string>> notices_;
};

// ---- Layout --------------------------------------------------------------------------------

TEST_F(PaintFileTest, BlankDocumentIsHeaderThenThumbnailBlockByteForByte) {
  EXPECT_EQ(paint_file_save(file_), PAINT_FILE_NEEDS_NAME);
  EXPECT_TRUE(notices_.empty());

  paint_file_set_path(file_, path("blank.plk").c_str());
  paint_history_set_modified(history_, 1);
  ASSERT_EQ(paint_file_save(file_), PAINT_FILE_DONE);
  Bytes b = read_file(path("blank.plk"));
  // The 240 x 320 painting fits 100 x 100 as 75 x 100: T = 52 + 44 + 75 * 4 * 100.
  constexpr int32_t T = 52 + 44 + 300 * 100;
  ASSERT_EQ(b.size(), 44u + 4 + T);
  // Magic, version, 240 x 320, canvas (blue, green, red, alpha), zoom 1.0, no steps,
  // current 0 of an empty history, thumbnail at 44, no picture; then the block size T.
  const uint8_t head[48] = {0x20, 0x6B, 0x6C, 0x70, 1, 0, 2, 0, 240, 0, 0, 0, 0x40, 1, 0, 0,
                            153, 255, 255, 255, 0, 0, 0, 0, 0, 0, 0xF0, 0x3F, 0, 0, 0, 0,
                            0, 0, 0, 0, 44, 0, 0, 0, 0, 0, 0, 0, 0x90, 0x75, 0, 0};
  EXPECT_EQ(Bytes(b.begin(), b.begin() + 48), Bytes(head, head + 48));
  // Bitmap record: addresses 0, stride, masks, shifts, losses.
  const uint32_t record[13] = {0, 0, 300, 0xFF0000, 0xFF00, 0xFF, 16, 8, 0, 0, 0, 0, 0};
  for (int i = 0; i < 13; ++i) EXPECT_EQ(u32_at(b, 48 + 4 * i), record[i]) << "record field " << i;
  // Information block: 40-byte header with a positive (bottom-up) height, then 4 zeros.
  const size_t info = 48 + 52;
  Bytes expected_info(44, 0);
  for (auto [at, v] : {std::pair{0, 40}, {4, 75}, {8, 100}, {12, 1}, {14, 32}, {20, 30000}})
    fbytes_put_u32(expected_info.data() + at, v);
  EXPECT_EQ(Bytes(b.begin() + info, b.begin() + info + 44), expected_info);
  const uint8_t canvas[] = {153, 255, 255, 255};
  for (size_t at = info + 44; at < b.size(); at += 4) {
    ASSERT_EQ(0, std::memcmp(b.data() + at, canvas, 4)) << at;
  }
  EXPECT_FALSE(exists(path("blank.plk.part")));

  // The user saw the wait window, then the note; the document is clean and its folder first.
  ASSERT_EQ(notices_.size(), 3u);
  EXPECT_EQ(notices_[0], std::make_pair(PaintFileNotice::wait, std::u16string(u"Saving file...")));
  EXPECT_EQ(notices_[1].first, PaintFileNotice::wait_end);
  EXPECT_EQ(notices_[2], std::make_pair(PaintFileNotice::note, std::u16string(u"Saved Ok")));
  EXPECT_EQ(paint_history_is_modified(history_), 0);
  ASSERT_NE(paint_file_recent_folder(0), nullptr);
  EXPECT_STREQ(paint_file_recent_folder(0), home_.c_str());
}

TEST_F(PaintFileTest, StepsFollowTheHeaderAndTheThumbnailIsStoredBottomRowFirst) {
  // Red top half, blue bottom half.
  draw_rect(0, 0, 239, 159, rgb(255, 0, 0));
  draw_rect(0, 160, 239, 319, rgb(0, 0, 255));
  paint_file_set_path(file_, path("steps.plk").c_str());
  ASSERT_EQ(paint_file_save(file_), PAINT_FILE_DONE);
  Bytes b = read_file(path("steps.plk"));
  EXPECT_EQ(i32_at(b, 28), 2);
  EXPECT_EQ(i32_at(b, 32), 1);
  EXPECT_EQ(i32_at(b, 36), 44 + 2 * (56 + 16));
  for (int s = 0; s < 2; ++s) {
    size_t at = 44 + s * 72;
    uint8_t record[PAINT_STEP_RECORD_SIZE];
    paint_step_write(paint_history_get_step(history_, s), record);
    EXPECT_EQ(0, std::memcmp(b.data() + at, record, 56)) << "step " << s;
    EXPECT_EQ(u32_at(b, at + 48), 0u);  // the data's address means nothing in a file
    EXPECT_EQ(i32_at(b, at + 56 + 4), s == 0 ? 0 : 160);
  }
  size_t pixels = 44 + 144 + 4 + 96;
  const uint8_t blue[] = {255, 0, 0, 255}, red[] = {0, 0, 255, 255};
  EXPECT_EQ(0, std::memcmp(b.data() + pixels, blue, 4));  // first stored row: the bottom
  EXPECT_EQ(0, std::memcmp(b.data() + b.size() - 4, red, 4));

  FBitmap* thumbnail = paint_file_read_thumbnail(path("steps.plk").c_str());
  ASSERT_NE(thumbnail, nullptr);
  EXPECT_EQ(fbitmap_get_pixel(thumbnail, 10, 0), 0xFFFF0000u);   // top row is red
  EXPECT_EQ(fbitmap_get_pixel(thumbnail, 10, 99), 0xFF0000FFu);  // bottom row is blue
  fbitmap_destroy(thumbnail);
}

TEST_F(PaintFileTest, OlderVersionsOpenAndAMissingFileIsReported) {
  paint_file_set_path(file_, path("v.plk").c_str());
  ASSERT_EQ(paint_file_save(file_), PAINT_FILE_DONE);
  Bytes old = read_file(path("v.plk"));
  make_baseline();
  EXPECT_EQ(paint_file_open(file_, path("missing.plk").c_str()), PAINT_FILE_CANNOT_OPEN);
  EXPECT_EQ(notices_.back().second, u"Fail to open paint (code: -1)\nFail to open this file.");
  fbytes_put_u32(old.data() + 4, 0x00010000);
  write_file(path("old.plk"), old);
  EXPECT_EQ(paint_file_open(file_, path("old.plk").c_str()), PAINT_FILE_DONE);
  EXPECT_EQ(paint_context_get_base_width(pc_), 240);
  EXPECT_EQ(file_->name, u"old");
}

// ---- Save as -------------------------------------------------------------------------------

TEST_F(PaintFileTest, SaveAsNamesTargetsAndTitle) {
  EXPECT_EQ(paint_file_check_name(0, u""), PaintFileNameCheck::ok);  // dialog cancelled
  EXPECT_EQ(paint_file_check_name(1, nullptr), PaintFileNameCheck::empty);
  EXPECT_EQ(paint_file_check_name(1, u"my picture.v2"), PaintFileNameCheck::ok);
  for (const char16_t* c = u"/\\:*?\"<>|"; *c; ++c) {
    std::u16string name = u"ab";
    name.insert(1, 1, *c);
    EXPECT_EQ(paint_file_check_name(1, name.c_str()), PaintFileNameCheck::invalid_char)
        << static_cast<int>(*c);
  }
  EXPECT_EQ(paint_file_name_message(PaintFileNameCheck::empty), u"File name can not be empty.");
  EXPECT_EQ(paint_file_name_message(PaintFileNameCheck::invalid_char),
            u"File name contains invalid char such as /\\:*?\"<>|");

  EXPECT_EQ(paint_file_target_path("/d", u"a.JPG", 5), "/d/a.JPG");
  EXPECT_EQ(paint_file_target_path("/d", u"a.png", 5), "/d/a.png.jpg");
  EXPECT_EQ(paint_file_target_path("/d/", u"sky", 0), "/d/sky.plk");
  EXPECT_EQ(paint_file_target_path("/d", u"x.", 7), "/d/x..gif");
  EXPECT_EQ(paint_file_target_path("/d.bmp", u"\u00e9t\u00e9", 3), "/d.bmp/\xc3\xa9t\xc3\xa9.bmp");
  const char* extensions[] = {"plk", "bmp", "bmp", "bmp", "jpg", "jpg", "jpg", "gif", "png", nullptr};
  for (int i = 0; i <= PAINT_FILE_TYPE_COUNT; ++i) EXPECT_STREQ(paint_file_type_extension(i), extensions[i]);

  EXPECT_EQ(paint_file_save_as_title(file_), u"Save Untitled As");
  paint_file_set_name(file_, u"Sky");
  EXPECT_EQ(paint_file_save_as_title(file_), u"Save Sky As");
  EXPECT_EQ(paint_file_overwrite_question("/d/a.plk"), u"File '/d/a.plk' exists, do you want to overwrite it?");
}

// ---- BMP exports -----------------------------------------------------------------------------

// BMP file offsets: 14-byte file header, 40-byte information header, then palette/pixels.
constexpr size_t kBmpPalette = 14 + 40;

// Each case paints a small picture, exports one BMP type and checks its palette entries
// and bottom-row-first pixel bytes.
TEST_F(PaintFileTest, PaletteGreyAndTrueColourBmpsHoldTheExactBytes) {
  // 256 colours, bins (blue, green, red nibbles): a once, b and c twice, d three times. The
  // exchange sort gives d, c, b, a (a stable sort would give d, b, c, a); the rest is black.
  FColor a = rgb(0x1F, 0x0E, 0x03), b = rgb(0x20, 0, 0), c = rgb(0x3A, 0, 0x0F), d = rgb(0, 0x10, 0);
  // Grey and true colour: (77 r + 151 g + 28 b) >> 8 and plain bytes.
  const std::vector<FColor> six = {rgb(255, 0, 0), rgb(0, 255, 0), rgb(0, 0, 255),
                                   rgb(255, 255, 255), rgb(10, 200, 30), rgb(0, 0, 0)};
  std::vector<uint8_t> grey_palette;
  for (int i = 0; i < 256; ++i) grey_palette.insert(grey_palette.end(), {uint8_t(i), uint8_t(i), uint8_t(i), 0});
  std::vector<uint8_t> popular = {0, 0x10, 0, 0, 0, 0, 0x30, 0, 0, 0, 0x20, 0, 0, 0, 0x10, 0};
  popular.resize(1024, 0);
  struct Case {
    int type, width;
    std::vector<FColor> colors;
    std::vector<uint8_t> palette, pixels;
  } cases[] = {
      {PAINT_FILE_TYPE_BMP_256_COLORS, 4, {a, b, b, c, c, d, d, d}, popular, {1, 0, 0, 0, 3, 2, 2, 1}},
      {PAINT_FILE_TYPE_BMP_GRAY, 3, six, grey_palette, {255, 124, 0, 0, 76, 150, 27, 0}},
      {PAINT_FILE_TYPE_BMP_TRUE_COLOR, 3, six, {},
       {255, 255, 255, 30, 200, 10, 0, 0, 0, 0, 0, 0, 0, 0, 255, 0, 255, 0, 255, 0, 0, 0, 0, 0}},
  };
  for (const Case& k : cases) {
    ASSERT_EQ(paint_context_new_blank(pc_, k.width, 2, rgb(0, 0, 0)), 1);
    paint_pixels(k.colors, k.width);
    ASSERT_EQ(paint_file_export(file_, k.type, path("p.bmp").c_str()), 1);
    Bytes f = read_file(path("p.bmp"));
    ASSERT_EQ(f.size(), 54 + k.palette.size() + k.pixels.size()) << k.type;
    EXPECT_EQ(i32_at(f, 14 + 8), 2);  // bottom-up
    EXPECT_EQ(fbytes_get_u16(f.data() + 14 + 14), k.palette.empty() ? 24 : 8);
    EXPECT_TRUE(Bytes(f.begin() + 54, f.begin() + 54 + k.palette.size()) == k.palette) << k.type;
    EXPECT_TRUE(Bytes(f.end() - k.pixels.size(), f.end()) == k.pixels) << k.type;
  }
}

TEST_F(PaintFileTest, PopularityPaletteMapsFurtherBinsToTheNearestEntryFirstWins) {
  // 256 palette bins twice each (bin order = palette order, every count equal). Two further
  // bins once each: (1, 3, 4) lies exactly between (0, 3, 4) and (2, 3, 4) and takes the
  // first; (0, 5, 9) is nearest (0, 5, 7).
  ASSERT_EQ(paint_context_new_blank(pc_, 257, 2, rgb(0, 0, 0)), 1);
  std::vector<FColor> colors;
  for (int blue : {0, 2}) {
    for (int green = 0; green < 16; ++green) {
      for (int red = 0; red < 8; ++red) {
        FColor c = rgb(uint8_t(red * 16 + 5), uint8_t(green * 16), uint8_t(blue * 16 + 9));
        colors.insert(colors.end(), {c, c});
      }
    }
  }
  colors.push_back(rgb(0x40, 0x30, 0x10));
  colors.push_back(rgb(0x90, 0x50, 0x00));
  paint_pixels(colors, 257);
  ASSERT_EQ(paint_file_export(file_, PAINT_FILE_TYPE_BMP_256_COLORS, path("n.bmp").c_str()), 1);
  Bytes f = read_file(path("n.bmp"));
  ASSERT_EQ(f.size(), 54 + 1024 + 2 * 260u);
  const uint8_t* bottom = f.data() + 54 + 1024;  // the painting's row 1
  EXPECT_EQ(bottom[254], 255);
  EXPECT_EQ(bottom[255], 3 * 8 + 4);  // the tie goes to the first entry
  EXPECT_EQ(bottom[256], 5 * 8 + 7);
}

// ---- Exports of every type ---------------------------------------------------------------------

TEST_F(PaintFileTest, EveryTypeWritesAFileItsReaderAcceptsOrFailsWithItsOwnCode) {
  draw_rect(0, 0, 119, 319, rgb(255, 0, 0));
  draw_rect(120, 0, 239, 319, rgb(0, 0, 255));
  Bytes painting = painting_bytes();
  std::string out = home_ + "/out";  // missing: the export makes it
  const int codes[] = {-1, -5, -5, -5, -8, -8, -8, -9, -10};
  for (int type = 0; type < PAINT_FILE_TYPE_COUNT; ++type) {
    // A target whose folder cannot be made: the writer's own code, and nothing opened.
    notices_.clear();
    paint_file_set_open_after_save(file_);
    EXPECT_EQ(paint_file_export(file_, type, (home_ + "/no/such/folder/x").c_str()), codes[type]) << type;
    std::string text = "Fail to save file (code: " + std::to_string(codes[type]) + ").";
    EXPECT_EQ(notices_.back(), std::make_pair(PaintFileNotice::error, std::u16string(text.begin(), text.end())));
    EXPECT_TRUE(opened_.empty());

    std::string target = out + "/pic" + std::to_string(type) + "." + paint_file_type_extension(type);
    notices_.clear();
    paint_file_set_open_after_save(file_);
    ASSERT_EQ(paint_file_export(file_, type, target.c_str()), 1) << type;
    EXPECT_EQ(file_->open_after_save, 0);
    EXPECT_FALSE(exists(target + ".part"));
    EXPECT_EQ(painting_bytes(), painting) << "the painting is unchanged by type " << type;

    if (type == PAINT_FILE_TYPE_NATIVE) {
      // A native save is never handed to the desktop: that would start Penlark again.
      EXPECT_TRUE(opened_.empty());
      EXPECT_EQ(file_->path, target);
      continue;
    }
    ASSERT_EQ(opened_.size(), 1u);
    EXPECT_EQ(opened_.back(), target);
    opened_.clear();
    // The BMP bytes are checked exactly above; the encoded types are read back.
    FBitmap* read = nullptr;
    FBitmap* alpha = nullptr;
    if (type <= 3) continue;
    if (type <= 6) {
      ASSERT_EQ(jpegimage_read(&read, target.c_str()), 1);
    } else if (type == 7) {
      ASSERT_EQ(gifimage_read(&read, target.c_str()), 1);
    } else {
      ASSERT_EQ(pngimage_read(&read, &alpha, target.c_str()), 1);
      fbitmap_destroy(alpha);
    }
    EXPECT_EQ(fbitmap_get_width(read), 240);
    EXPECT_EQ(fbitmap_get_height(read), 320);
    uint8_t left[4], right[4];  // blue, green, red, alpha
    ASSERT_EQ(fbitmap_get_rgba(read, 60, 100, left), 1);
    ASSERT_EQ(fbitmap_get_rgba(read, 180, 100, right), 1);
    EXPECT_NEAR(left[2] - left[0], 255, 12) << type;
    EXPECT_NEAR(right[0] - right[2], 255, 12) << type;
    fbitmap_destroy(read);
  }
  // The three JPEG qualities 40, 75 and 100 in that order.
  EXPECT_LT(read_file(out + "/pic4.jpg").size(), read_file(out + "/pic5.jpg").size());
  EXPECT_LT(read_file(out + "/pic5.jpg").size(), read_file(out + "/pic6.jpg").size());
}

// ---- Round trips -------------------------------------------------------------------------------

TEST_F(PaintFileTest, SavedDocumentReplaysToTheSamePaintingAndHistory) {
  draw_rect(10, 10, 100, 60, rgb(255, 0, 0));
  draw_rect(50, 40, 200, 300, fcolor_make(0, 128, 255, 160));  // translucent
  crop(-10, 5, 250, 300);  // wider than the painting: new columns take the canvas colour
  draw_rect(0, 0, 20, 20, rgb(0, 255, 0));
  clear();
  draw_rect(30, 30, 240, 290, rgb(10, 20, 30));
  draw_rect(5, 100, 60, 299, fcolor_make(200, 200, 0, 100));
  Bytes live = painting_bytes();
  paint_file_set_path(file_, path("trip.plk").c_str());
  ASSERT_EQ(paint_file_save(file_), PAINT_FILE_DONE);

  // Something else is open when the document comes back.
  make_baseline();
  notices_.clear();
  ASSERT_EQ(paint_file_open(file_, path("trip.plk").c_str()), PAINT_FILE_DONE);
  EXPECT_EQ(notices_.size(), 2u);  // wait, wait_end: no message on success
  EXPECT_EQ(paint_history_get_count(history_), 7);
  EXPECT_EQ(paint_history_get_current(history_), 6);
  EXPECT_EQ(paint_context_get_canvas_color(pc_), rgb(255, 255, 153));
  paint_history_rebuild(history_);
  EXPECT_EQ(painting_bytes(), live);

  // An undone step is saved as such, and undo still reaches back through the crop.
  paint_history_undo(history_);
  paint_history_undo(history_);
  Bytes undone = painting_bytes();
  ASSERT_EQ(paint_file_save(file_), PAINT_FILE_DONE);
  make_baseline();
  ASSERT_EQ(paint_file_open(file_, path("trip.plk").c_str()), PAINT_FILE_DONE);
  EXPECT_EQ(paint_history_get_current(history_), 4);
  paint_history_rebuild(history_);
  EXPECT_EQ(painting_bytes(), undone);
  paint_history_redo(history_);
  paint_history_redo(history_);
  EXPECT_EQ(painting_bytes(), live);
}

TEST_F(PaintFileTest, PictureDocumentKeepsItsPictureExactly) {
  FBitmap* picture = fbitmap_create(37, -23, 32);
  ASSERT_NE(picture, nullptr);
  for (uint32_t i = 0; i < 37 * 23; ++i) fbytes_put_u32(picture->pixels + 4 * i, 0xFF000000u | i * 0x10307);
  ASSERT_EQ(paint_context_load_picture(pc_, picture), 1);
  fbitmap_destroy(picture);
  paint_history_reset(history_);
  paint_context_fill_base(pc_);
  draw_rect(3, 3, 10, 8, rgb(0, 0, 0));
  crop(-2, -2, 41, 27);
  Bytes live = painting_bytes();
  paint_file_set_path(file_, path("pic.plk").c_str());
  ASSERT_EQ(paint_file_save(file_), PAINT_FILE_DONE);

  Bytes b = read_file(path("pic.plk"));
  int32_t S = i32_at(b, 40);
  uLongf n = 37 * 4 * 23;
  Bytes inflated(n);
  ASSERT_EQ(uncompress(inflated.data(), &n, b.data() + 44 + 96, S - 96), Z_OK);
  ASSERT_EQ(n, 37u * 4 * 23);
  EXPECT_EQ(0, std::memcmp(inflated.data(), paint_context_get_picture(pc_)->pixels, n));
  EXPECT_EQ(i32_at(b, 44 + 52 + 8), -23);      // information block: top-down
  EXPECT_EQ(i32_at(b, 36), 44 + S + 2 * 56 + 16 + 32);

  make_baseline();
  ASSERT_EQ(paint_file_open(file_, path("pic.plk").c_str()), PAINT_FILE_DONE);
  FBitmap* reopened = paint_context_get_picture(pc_);
  ASSERT_NE(reopened, nullptr);
  ASSERT_EQ(fbitmap_get_width(reopened), 37);
  ASSERT_EQ(fbitmap_get_height(reopened), 23);
  EXPECT_TRUE(fbitmap_is_top_down(reopened));
  EXPECT_EQ(0, std::memcmp(inflated.data(), reopened->pixels, n));
  paint_history_rebuild(history_);
  EXPECT_EQ(painting_bytes(), live);
}

// ---- Damage ----------------------------------------------------------------------------------

TEST_F(PaintFileTest, CutInsideTheThirdStepOpensTheBaseWithTwoSteps) {
  draw_rect(0, 0, 50, 50, rgb(255, 0, 0));
  draw_rect(60, 60, 100, 100, rgb(0, 255, 0));
  draw_rect(110, 110, 150, 150, rgb(0, 0, 255));
  paint_file_set_path(file_, path("cut.plk").c_str());
  ASSERT_EQ(paint_file_save(file_), PAINT_FILE_DONE);
  Bytes whole = read_file(path("cut.plk"));
  size_t third = 44 + 2 * 72;
  for (size_t cut : {third + 30, third + 60}) {  // inside the record, inside the data
    write_file(path("cut2.plk"), Bytes(whole.begin(), whole.begin() + cut));
    make_baseline();
    notices_.clear();
    EXPECT_EQ(paint_file_open(file_, path("cut2.plk").c_str()), PAINT_FILE_PARTIAL) << cut;
    ASSERT_EQ(notices_.size(), 3u);
    EXPECT_EQ(notices_[2].second, u"Fail to open paint (code: -2)\nDamaged file.");
    EXPECT_EQ(paint_history_get_count(history_), 2);
    EXPECT_EQ(paint_history_get_current(history_), 1);
    EXPECT_EQ(paint_context_get_base_width(pc_), 240);
    EXPECT_EQ(file_->path, path("cut2.plk"));
    paint_history_rebuild(history_);
    FBitmap* painting = paint_context_get_painting(pc_);
    EXPECT_EQ(fbitmap_get_pixel(painting, 80, 80), 0xFF00FF00u);
    EXPECT_EQ(fbitmap_get_pixel(painting, 130, 130), rgb(255, 255, 153));
  }
}

// Overwrites a 32-bit field with each hostile value and opens the result.
TEST_F(PaintFileTest, HostileFieldsFailCleanlyAndLeaveTheOpenDocumentAlone) {
  FBitmap* picture = fbitmap_create(9, -7, 32);
  ASSERT_NE(picture, nullptr);
  ASSERT_EQ(paint_context_load_picture(pc_, picture), 1);
  fbitmap_destroy(picture);
  paint_history_reset(history_);
  paint_context_fill_base(pc_);
  draw_rect(1, 1, 4, 4, rgb(255, 0, 0));
  crop(0, 0, 8, 6);
  draw_rect(2, 2, 5, 5, rgb(0, 255, 0));
  paint_file_set_path(file_, path("good.plk").c_str());
  ASSERT_EQ(paint_file_save(file_), PAINT_FILE_DONE);
  const Bytes good = read_file(path("good.plk"));
  const int32_t S = i32_at(good, 40);
  const size_t steps = 44 + S;
  const size_t thumb = static_cast<size_t>(i32_at(good, 36));
  const int32_t size = static_cast<int32_t>(good.size());

  std::vector<size_t> fields;
  for (size_t at = 0; at < 44; at += 4) fields.push_back(at);
  for (size_t at : {8, 12, 48}) fields.push_back(44 + at);  // record: address, stride, masks
  for (size_t at : {0, 4, 8, 12, 14, 16, 20}) fields.push_back(44 + 52 + at);  // information
  size_t entry = steps;
  for (int s = 0; s < 3; ++s) {
    for (size_t at : {0, 24, 32, 36, 40, 44}) fields.push_back(entry + at);
    entry += 56 + static_cast<size_t>(i32_at(good, entry + 44));
  }
  for (size_t at : {0, 4 + 8, 4 + 52 + 4, 4 + 52 + 8, 4 + 52 + 14, 4 + 52 + 16}) {
    fields.push_back(thumb + at);
  }
  const int32_t values[] = {0, -1, 7, 97, 0x7FFFFFFF, INT32_MIN, size, size + 1, S};

  make_baseline();
  const Snapshot baseline = snapshot();
  int refused = 0, opened = 0;
  for (size_t at : fields) {
    for (int32_t value : values) {
      Bytes b = good;
      put_i32(&b, at, value);
      write_file(path("hostile.plk"), b);
      int result = paint_file_open(file_, path("hostile.plk").c_str());
      ASSERT_LE(result, 1);
      ASSERT_GE(result, -6) << "field " << at << " value " << value;
      if (result < 0) {
        ++refused;
        ASSERT_TRUE(snapshot() == baseline) << "field " << at << " value " << value;
      } else {
        ++opened;
        // Whatever opened must replay without harm.
        paint_history_rebuild(history_);
        make_baseline();
      }
      if (FBitmap* t = paint_file_read_thumbnail(path("hostile.plk").c_str())) fbitmap_destroy(t);
    }
  }
  EXPECT_GT(refused, 50);
  EXPECT_GT(opened, 5);

  // Every length of the file: a clean code, never a crash.
  for (size_t length = 0; length <= good.size(); length += length < thumb + 200 ? 1 : 97) {
    write_file(path("short.plk"), Bytes(good.begin(), good.begin() + length));
    int result = paint_file_open(file_, path("short.plk").c_str());
    ASSERT_LE(result, 1);
    if (result < 0) {
      ASSERT_TRUE(snapshot() == baseline) << "length " << length;
    } else {
      make_baseline();
    }
    FBitmap* t = paint_file_read_thumbnail(path("short.plk").c_str());
    EXPECT_EQ(t != nullptr, length == good.size()) << length;
    if (t) fbitmap_destroy(t);
  }
}

TEST_F(PaintFileTest, HostileSizesAreRefusedBeforeAnythingLargeIsAllocated) {
  paint_file_set_path(file_, path("base.plk").c_str());
  ASSERT_EQ(paint_file_save(file_), PAINT_FILE_DONE);
  const Bytes blank = read_file(path("base.plk"));
  make_baseline();
  const Snapshot baseline = snapshot();
  auto open_with = [&](const Bytes& b) {
    write_file(path("h.plk"), b);
    return paint_file_open(file_, path("h.plk").c_str());
  };
  struct Case {
    size_t at;
    int32_t value;
    int result;
    const char16_t* text = nullptr;
  } header_cases[] = {
      {4, 0x00020002, -4, u"Fail to open paint (code: -4)\nCan not open higher version of paint file."},
      {0, 0x706C6B21, -3, u"Fail to open paint (code: -3)\nInvalid file format."},
      {8, 0, -2}, {8, 32768, -2},  // sides 1 .. 32767
      {8, 32767, -2},              // 32767 x 320 is fine, with 12 below too big
      {28, -1, -2},                // a negative step count
      {32, 5, -2},                 // current outside the steps
      {36, 43, -2},                // thumbnail inside the header
      {40, 96, -2}, {40, 0x7FFFFFFF, -2},  // a picture block with no stream, or beyond the file
  };
  for (const Case& c : header_cases) {
    Bytes b = blank;
    put_i32(&b, c.at, c.value);
    if (c.at == 8 && c.value == 32767) put_i32(&b, 12, 32767);  // 1 G pixels
    notices_.clear();
    EXPECT_EQ(open_with(b), c.result) << c.at << " " << c.value;
    EXPECT_EQ(file_->last_error, c.result);
    EXPECT_TRUE(snapshot() == baseline);
    ASSERT_EQ(notices_.size(), 3u);
    EXPECT_EQ(notices_[0], std::make_pair(PaintFileNotice::wait, std::u16string(u"Loading paint...")));
    if (!c.text) continue;
    EXPECT_EQ(notices_[2], std::make_pair(PaintFileNotice::error, std::u16string(c.text)));
    EXPECT_EQ(paint_file_read_thumbnail(path("h.plk").c_str()), nullptr);
  }

  // A step count far beyond the file: the thumbnail's bytes are no steps, so the list is
  // damaged after the first entry at most, and nothing like 2^31 entries is allocated.
  Bytes many = blank;
  put_i32(&many, 28, 0x7FFFFFFF);
  EXPECT_EQ(open_with(many), PAINT_FILE_PARTIAL);
  EXPECT_LE(paint_history_get_count(history_), 1);
  EXPECT_EQ(notices_.back().second, u"Fail to open paint (code: -2)\nDamaged file.");
  make_baseline();

  // A picture block that claims 8192 x 8192 pixels from a few compressed bytes.
  Bytes b(blank.begin(), blank.begin() + 44);
  Bytes block(96 + 16, 0);
  fbytes_put_u32(block.data() + 8, 8192 * 4);
  fbytes_put_u32(block.data() + 52, 40);
  fbytes_put_i32(block.data() + 52 + 4, 8192);
  fbytes_put_i32(block.data() + 52 + 8, -8192);
  fbytes_put_u16(block.data() + 52 + 14, 32);
  b.insert(b.end(), block.begin(), block.end());
  put_i32(&b, 8, 8192);
  put_i32(&b, 12, 8192);
  put_i32(&b, 40, static_cast<int32_t>(block.size()));
  put_i32(&b, 36, static_cast<int32_t>(b.size()));
  b.insert(b.end(), blank.begin() + 44, blank.end());
  EXPECT_EQ(open_with(b), -2);
  // A stride that is not width x 4, and a stream that does not inflate to the pixels.
  fbytes_put_i32(b.data() + 44 + 52 + 4, 2);
  fbytes_put_i32(b.data() + 44 + 52 + 8, -2);
  EXPECT_EQ(open_with(b), -2);
  fbytes_put_u32(b.data() + 44 + 8, 8);
  EXPECT_EQ(open_with(b), -6);
  EXPECT_EQ(notices_.back().second, u"Fail to open paint (code: -6)\nNo enough memory.");
  EXPECT_TRUE(snapshot() == baseline);
}

TEST_F(PaintFileTest, AFullDiskAtAnyPointKeepsTheOldDocument) {
  draw_rect(0, 0, 30, 30, rgb(255, 0, 0));
  paint_file_set_path(file_, path("disk.plk").c_str());
  ASSERT_EQ(paint_file_save(file_), PAINT_FILE_DONE);
  const Bytes old = read_file(path("disk.plk"));
  draw_rect(40, 40, 80, 80, rgb(0, 255, 0));
  draw_rect(90, 90, 99, 99, rgb(0, 0, 255));
  const size_t new_size = old.size() + 2 * 72;
  for (size_t budget = 0; budget < new_size; budget += budget < 300 ? 1 : 509) {
    fsafe_file_fail_after(static_cast<int64_t>(budget));
    notices_.clear();
    ASSERT_EQ(paint_file_save(file_), PAINT_FILE_DAMAGED) << budget;
    ASSERT_EQ(read_file(path("disk.plk")), old) << budget;
    ASSERT_FALSE(exists(path("disk.plk.part"))) << budget;
    ASSERT_EQ(notices_.back().second, u"Fail to save file (code: -2).");
    ASSERT_EQ(paint_history_is_modified(history_), 1);
  }
  fsafe_file_fail_after(static_cast<int64_t>(new_size));
  ASSERT_EQ(paint_file_save(file_), PAINT_FILE_DONE);
  fsafe_file_fail_after(-1);
  EXPECT_EQ(read_file(path("disk.plk")).size(), new_size);
  EXPECT_EQ(paint_history_is_modified(history_), 0);
}

TEST_F(PaintFileTest, ThumbnailReaderChecksEverySizeBeforeUse) {
  paint_file_set_path(file_, path("t.plk").c_str());
  ASSERT_EQ(paint_file_save(file_), PAINT_FILE_DONE);
  const Bytes good = read_file(path("t.plk"));
  const size_t T = 44;  // blank document: the thumbnail block right after the header
  struct Case {
    size_t at;
    int32_t value;
  } cases[] = {
      {36, 43}, {36, static_cast<int32_t>(good.size()) - 3}, {T, 95}, {T, 30096 + 1},
      {T + 4 + 8, 296}, {T + 4 + 52, 41}, {T + 4 + 52 + 4, 76}, {T + 4 + 52 + 8, INT32_MIN},
      {T + 4 + 52 + 16, 3},
  };
  for (const Case& c : cases) {
    Bytes b = good;
    put_i32(&b, c.at, c.value);
    write_file(path("tb.plk"), b);
    EXPECT_EQ(paint_file_read_thumbnail(path("tb.plk").c_str()), nullptr) << c.at << " " << c.value;
  }
  Bytes b = good;
  fbytes_put_u16(b.data() + T + 4 + 52 + 14, 12);  // no such depth
  write_file(path("tb.plk"), b);
  EXPECT_EQ(paint_file_read_thumbnail(path("tb.plk").c_str()), nullptr);
  EXPECT_EQ(paint_file_read_thumbnail(nullptr), nullptr);

  // A top-down thumbnail of another writer is read as it is.
  b = good;
  put_i32(&b, T + 4 + 52 + 8, -100);
  write_file(path("tb.plk"), b);
  FBitmap* thumbnail = paint_file_read_thumbnail(path("tb.plk").c_str());
  ASSERT_NE(thumbnail, nullptr);
  EXPECT_TRUE(fbitmap_is_top_down(thumbnail));
  EXPECT_EQ(fbitmap_get_pixel(thumbnail, 74, 99), rgb(255, 255, 153));
  fbitmap_destroy(thumbnail);
}

// ---- Recent folders --------------------------------------------------------------------------

TEST_F(PaintFileTest, RecentFoldersKeepSixteenNewestFirstWithoutRegardToCase) {
  std::string list;
  for (int i = 0; i < 18; ++i) list += "/f/Folder" + std::to_string(i) + (i % 2 ? "\r\n" : "\n");
  write_file(path("save_dirs.dat"), Bytes(list.begin(), list.end()));
  EXPECT_STREQ(paint_file_recent_folder(1), "/f/Folder1");  // carriage return dropped
  EXPECT_EQ(paint_file_recent_folder(16), nullptr);

  paint_file_recent_folder_add("/F/FOLDER7");  // moves, keeps the count
  paint_file_recent_folder_add("/new");  // inserted; the oldest goes

  ASSERT_EQ(paint_file_recent_folders_write(), 1);
  std::string expected = "/new\n/F/FOLDER7\n";
  for (int i = 0; i <= 14; ++i) {
    if (i != 7) expected += "/f/Folder" + std::to_string(i) + "\n";
  }
  Bytes written = read_file(path("save_dirs.dat"));
  EXPECT_EQ(std::string(written.begin(), written.end()), expected);

  // Never read, never written: the file on disk is left alone.
  paint_file_recent_folders_forget();
  write_file(path("save_dirs.dat"), Bytes{'/', 'k', '\n'});
  EXPECT_EQ(paint_file_recent_folders_write(), 1);
  EXPECT_EQ(read_file(path("save_dirs.dat")), (Bytes{'/', 'k', '\n'}));

  // Starting without a file; destroying the record writes the list back.
  std::remove(path("save_dirs.dat").c_str());
  EXPECT_EQ(paint_file_recent_folder(0), nullptr);
  paint_file_recent_folder_add("/a");
  paint_file_recent_folder_add("/b");
  paint_file_recent_folder_add("/A");
  paint_file_destroy(file_);
  file_ = nullptr;
  written = read_file(path("save_dirs.dat"));
  EXPECT_EQ(std::string(written.begin(), written.end()), "/A\n/b\n");
}

}  // namespace
