// The undo history against a small rectangle tool: step counts under undo, redo and new
// steps, the checkpoint files it writes and deletes, replays that start from a checkpoint
// compared pixel for pixel with full replays (crops and zoom changes included), damaged
// or missing checkpoints, document steps and the stored 56-byte record.

#include "paint_history.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fbytes.h"
#include "fsafe_file.h"
#include "fscreen.h"
#include "paint_context.h"
#include "shape.h"
#include "wins_window.h"

namespace {

namespace fs = std::filesystem;

constexpr uint32_t kRectTool = 1;

// The test tool: its geometry is a rectangle (four i32), filled with the fore colour.
struct RectShape {
  Shape head;
  int32_t x0, y0, x1, y1;
};

void rect_load(Shape* shape, const uint8_t* data, int32_t size) {
  if (size != 16) return;
  RectShape* rect = reinterpret_cast<RectShape*>(shape);
  int32_t* fields[4] = {&rect->x0, &rect->y0, &rect->x1, &rect->y1};
  for (int i = 0; i < 4; ++i) *fields[i] = fbytes_get_i32(data + 4 * i);
}

void rect_draw(Shape* shape, cairo_t* cr, void*, double scale) {
  RectShape* rect = reinterpret_cast<RectShape*>(shape);
  PaintContext* pc = shape->context;
  cairo_set_source_rgba(cr, paint_context_get_fore_red(pc), paint_context_get_fore_green(pc),
                        paint_context_get_fore_blue(pc), paint_context_get_fore_alpha(pc));
  cairo_rectangle(cr, rect->x0 * scale, rect->y0 * scale, (rect->x1 - rect->x0) * scale,
                  (rect->y1 - rect->y0) * scale);
  cairo_fill(cr);
}

using Pixels = std::vector<uint8_t>;

class PaintHistoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* home = std::getenv("PENLARK_HOME");
    ASSERT_NE(home, nullptr);
    dir = std::string(home) + "/" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::remove_all(dir);
    pc = paint_context_create(nullptr, 64, 48, 0xFF000000u, 0xFFFFFFFFu, fcolor_make(10, 20, 30, 255),
                              1, 0, 0, 0);
    ASSERT_NE(pc, nullptr);
    history = paint_history_create(pc, dir.c_str());
    ASSERT_NE(history, nullptr);
    ASSERT_TRUE(fs::is_directory(dir));
    shape_init(&tool.head, kRectTool, u"rect", pc, history, nullptr);
    shape_set_load(&tool.head, rect_load);
    shape_set_draw(&tool.head, rect_draw);
    ASSERT_EQ(paint_context_add_shape(pc, &tool.head), 1);
    paint_context_fill_base(pc);
  }
  void TearDown() override {
    if (history) paint_history_destroy(history);
    if (pc) paint_context_destroy(pc);
    fs::remove_all(dir);
  }

  // Draws a rectangle live, as the tool would at pen-up, and records it.
  void draw(int32_t x0, int32_t y0, int32_t x1, int32_t y1, FColor color) {
    paint_context_set_fore_color(pc, color);
    uint8_t data[16];
    const int32_t fields[4] = {x0, y0, x1, y1};
    for (int i = 0; i < 4; ++i) fbytes_put_i32(data + 4 * i, fields[i]);
    shape_load(&tool.head, data, 16);
    shape_draw(&tool.head, paint_context_get_renderer(pc), nullptr, 1.0);
    ASSERT_NE(paint_history_add(history, kRectTool, data, 16), nullptr);
  }
  // A step number i draws something of its own, partly overlapping the others.
  void draw_step(int i) {
    FBitmap* p = paint_context_get_painting(pc);
    int32_t w = fbitmap_get_width(p), h = fbitmap_get_height(p);
    int32_t x = (i * 7) % std::max(w - 4, 1), y = (i * 5) % std::max(h - 4, 1);
    FColor color = fcolor_make(static_cast<uint8_t>(i * 37), static_cast<uint8_t>(255 - i * 11),
                               static_cast<uint8_t>(i * 91), i % 3 == 0 ? 160 : 255);
    draw(x, y, x + 3 + i % 9, y + 2 + i % 7, color);
  }
  // Crops live and records the crop step with its stored data.
  void crop(int32_t left, int32_t top, int32_t right, int32_t bottom) {
    FBitmap* p = paint_context_get_painting(pc);
    int32_t ow = fbitmap_get_width(p), oh = fbitmap_get_height(p);
    ASSERT_EQ(paint_context_crop(pc, left, top, right - left + 1, bottom - top + 1), 1);
    ASSERT_NE(paint_history_add(history, PAINT_STEP_CROP, crop_data(left, top, right, bottom, ow, oh).data(),
                                PAINT_STEP_CROP_SIZE),
              nullptr);
  }
  static std::vector<uint8_t> crop_data(int32_t l, int32_t t, int32_t r, int32_t b, int32_t ow, int32_t oh) {
    std::vector<uint8_t> data(PAINT_STEP_CROP_SIZE);
    const int32_t values[8] = {l, t, r, b, 0, 0, ow - 1, oh - 1};
    for (int i = 0; i < 8; ++i) fbytes_put_i32(data.data() + 4 * i, values[i]);
    return data;
  }
  Pixels pixels() const {
    FBitmap* p = paint_context_get_painting(pc);
    // The size goes first, so paintings of different sizes never compare equal.
    Pixels out(8);
    fbytes_put_i32(out.data(), fbitmap_get_width(p));
    fbytes_put_i32(out.data() + 4, fbitmap_get_height(p));
    out.insert(out.end(), p->pixels, p->pixels + fbitmap_get_stride(p) * fbitmap_get_height(p));
    return out;
  }
  std::string checkpoint(int k) const { return paint_history_checkpoint_path(history, k); }
  bool has_checkpoint(int k) const { return fs::exists(checkpoint(k)); }
  // The painting a checkpoint file holds, or an empty vector.
  Pixels inflate(int k) const {
    gzFile f = gzopen(checkpoint(k).c_str(), "rb");
    if (!f) return {};
    Pixels out;
    uint8_t buffer[65536];
    int n;
    while ((n = gzread(f, buffer, sizeof buffer)) > 0) out.insert(out.end(), buffer, buffer + n);
    gzclose(f);
    return out;
  }
  static Pixels body(const Pixels& snapshot) { return Pixels(snapshot.begin() + 8, snapshot.end()); }
  static Pixels file_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Pixels((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }
  bool no_part_files() const {
    for (const auto& entry : fs::directory_iterator(dir)) {
      if (entry.path().extension() == ".part") return false;
    }
    return true;
  }
  // The painting from a replay without any checkpoint, at the same index.
  Pixels full_replay() {
    paint_history_rebuild(history);
    return pixels();
  }

  std::string dir;
  PaintContext* pc = nullptr;
  PaintHistory* history = nullptr;
  RectShape tool{};
};

TEST_F(PaintHistoryTest, UndoRedoAndANewStepDiscardTheRedoBranch) {
  Pixels base = pixels();
  std::vector<Pixels> after;
  for (int i = 0; i < 3; ++i) {
    draw_step(i);
    after.push_back(pixels());
  }
  paint_history_set_modified(history, 0);

  paint_history_undo(history);
  EXPECT_EQ(paint_history_get_current(history), 1);
  EXPECT_EQ(paint_history_is_modified(history), 1);
  EXPECT_EQ(pixels(), after[1]);
  draw(1, 1, 30, 30, 0xFF00FF00u);  // discards step 2
  EXPECT_EQ(paint_history_get_count(history), 3);
  EXPECT_EQ(paint_history_can_redo(history), 0);
  EXPECT_EQ(paint_history_get_step(history, 2)->fore_color, 0xFF00FF00u);
  Pixels latest = pixels();

  // The replay restores each step's colours but leaves the user's own state alone.
  paint_context_set_fore_color(pc, 0xFF123456u);
  paint_context_set_view(pc, 5, 6);
  for (int i = 0; i < 4; ++i) paint_history_undo(history);  // one more than there is
  EXPECT_EQ(paint_history_get_current(history), -1);
  EXPECT_EQ(pixels(), base);  // the base only
  paint_history_undo(history);
  paint_history_redo(history);
  EXPECT_EQ(pixels(), after[0]);
  for (int i = 0; i < 3; ++i) paint_history_redo(history);
  EXPECT_EQ(paint_history_get_current(history), 2);
  EXPECT_EQ(pixels(), latest);
  EXPECT_EQ(paint_context_get_fore_color(pc), 0xFF123456u);
  EXPECT_EQ(paint_context_get_view(pc).y, 6);

  // A step from the base discards everything; an index from a document is clamped.
  for (int i = 0; i < 3; ++i) paint_history_undo(history);
  draw_step(9);
  EXPECT_EQ(paint_history_get_count(history), 1);
  paint_history_set_current(history, 40);
  EXPECT_EQ(paint_history_get_current(history), 0);
  paint_history_set_current(history, -7);
  EXPECT_EQ(paint_history_get_current(history), -1);
}

TEST_F(PaintHistoryTest, CheckpointIsWrittenAtTheTwentyFifthStepAndDroppedWhenItsStepsGo) {
  for (int i = 0; i < 24; ++i) draw_step(i);
  EXPECT_FALSE(has_checkpoint(0));
  draw_step(24);
  ASSERT_TRUE(has_checkpoint(0));
  EXPECT_EQ(inflate(0), body(pixels()));  // raw pixels, rows top first
  EXPECT_EQ(checkpoint(0), dir + "/0.cache");
  EXPECT_TRUE(no_part_files());

  for (int i = 0; i < 14; ++i) paint_history_undo(history);
  ASSERT_EQ(paint_history_get_current(history), 10);
  EXPECT_TRUE(has_checkpoint(0));  // undo alone keeps it
  draw_step(40);
  EXPECT_FALSE(has_checkpoint(0));
  EXPECT_EQ(paint_history_get_checkpoint_count(history), 0);

  // Steps 12..24 again: the 25th writes checkpoint 0 anew; step 49 (count 50) writes 1.
  for (int i = 12; i < 50; ++i) draw_step(i);
  EXPECT_TRUE(has_checkpoint(0));
  EXPECT_FALSE(has_checkpoint(2));
  EXPECT_EQ(inflate(1), body(pixels()));
  // Back to index 30 and a new step: checkpoint 1 covered steps that are gone, 0 did not.
  for (int i = 0; i < 19; ++i) paint_history_undo(history);
  ASSERT_EQ(paint_history_get_current(history), 30);
  draw_step(70);
  EXPECT_TRUE(has_checkpoint(0));
  EXPECT_FALSE(has_checkpoint(1));
  EXPECT_EQ(paint_history_get_checkpoint_count(history), 1);
}

TEST_F(PaintHistoryTest, CheckpointIsTheGzipFileFunctionsOutputAndAFullDiskLeavesNone) {
  for (int i = 0; i < 25; ++i) draw_step(i);
  ASSERT_TRUE(has_checkpoint(0));
  const Pixels written = file_bytes(checkpoint(0));
  // What zlib's own gz functions write at level 1, default strategy.
  const std::string reference = dir + "/reference.gz";
  gzFile gz = gzopen(reference.c_str(), "wb");
  ASSERT_NE(gz, nullptr);
  gzsetparams(gz, 1, Z_DEFAULT_STRATEGY);
  const Pixels painting = body(pixels());
  gzwrite(gz, painting.data(), static_cast<unsigned>(painting.size()));
  gzclose(gz);
  EXPECT_EQ(written, file_bytes(reference));
  fs::remove(reference);

  // The disk fills up at every point of the next checkpoint's file: no checkpoint and no
  // partial file, and undo still gives the exact painting by replaying from checkpoint 0.
  for (int i = 25; i < 49; ++i) draw_step(i);
  const Pixels before_last = pixels();
  for (int64_t budget : {int64_t{0}, int64_t{1}, int64_t{10}, static_cast<int64_t>(written.size() / 2),
                         static_cast<int64_t>(written.size()) - 1}) {
    fsafe_file_fail_after(budget);
    draw_step(49);
    fsafe_file_fail_after(-1);
    EXPECT_EQ(paint_history_get_checkpoint_count(history), 1) << budget;
    EXPECT_FALSE(has_checkpoint(1)) << budget;
    EXPECT_TRUE(no_part_files()) << budget;
    paint_history_undo(history);
    EXPECT_EQ(pixels(), before_last) << budget;
  }
  // The next replay through step 49 writes the checkpoint that was lost.
  paint_history_redo(history);
  EXPECT_TRUE(has_checkpoint(1));
  EXPECT_EQ(inflate(1), body(pixels()));
}

TEST_F(PaintHistoryTest, CheckpointReplaysEqualFullReplaysThroughZoomsAndCrops) {
  for (int i = 0; i < 30; ++i) {
    if (i == 7) crop(-6, 2, 70, 45);
    else draw_step(i);
  }
  ASSERT_EQ(paint_context_set_zoom(pc, 0.5), 1);
  paint_history_rebuild(history);
  for (int i = 30; i < 60; ++i) {
    if (i == 41) crop(1, 1, 30, 20);  // in pixels at zoom 0.5
    else draw_step(i);
  }
  ASSERT_EQ(paint_context_set_zoom(pc, 2.0), 1);
  paint_history_rebuild(history);
  for (int i = 60; i < 110; ++i) {
    if (i == 77) crop(-3, -3, 120, 90);
    else draw_step(i);
  }
  // Live drawing and a full rebuild agree.
  Pixels live = pixels();
  EXPECT_EQ(full_replay(), live);
  ASSERT_EQ(paint_history_get_checkpoint_count(history), 4);

  // Checkpoint 3 replaced by a marker painting of the same size: the replay shows the
  // marker wherever steps 100..109 did not draw, so it was this file that was read, at the
  // size the re-applied crops gave the painting.
  {
    const Pixels marker(inflate(3).size(), 0x5A);
    gzFile f = gzopen(checkpoint(3).c_str(), "wb");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(gzwrite(f, marker.data(), static_cast<unsigned>(marker.size())), static_cast<int>(marker.size()));
    ASSERT_EQ(gzclose(f), Z_OK);
    paint_history_replay(history);
    const Pixels shown = body(pixels());
    ASSERT_EQ(shown.size(), marker.size());
    EXPECT_GT(std::count(shown.begin(), shown.end(), 0x5A), static_cast<long>(shown.size() / 2));
  }
  EXPECT_EQ(full_replay(), live);

  // Every undo and redo from a checkpoint equals the full replay at that index.
  const int stops[] = {99, 76, 75, 49, 41, 25, 24, 3};
  for (int stop : stops) {
    while (paint_history_get_current(history) > stop) paint_history_undo(history);
    Pixels undone = pixels();
    EXPECT_EQ(full_replay(), undone) << "undo to " << stop;
  }
  while (paint_history_can_redo(history)) paint_history_redo(history);
  EXPECT_EQ(pixels(), live);

  // The same history replayed at zoom 0.5: checkpoints of that zoom, same agreement.
  ASSERT_EQ(paint_context_set_zoom(pc, 0.5), 1);
  paint_history_rebuild(history);
  for (int i = 0; i < 30; ++i) paint_history_undo(history);
  Pixels undone = pixels();
  EXPECT_EQ(full_replay(), undone);
}

TEST_F(PaintHistoryTest, DamagedCheckpointFallsBackToAFullReplayWithTheRightPixels) {
  std::vector<Pixels> after;
  for (int i = 0; i < 30; ++i) {
    if (i == 4) crop(-8, -8, 71, 55);  // the fallback must undo this size before step 0
    else draw_step(i);
    after.push_back(pixels());
  }
  ASSERT_TRUE(has_checkpoint(0));
  Pixels good = inflate(0);
  auto read_file = [&]() {
    const Pixels bytes = file_bytes(checkpoint(0));
    return std::string(bytes.begin(), bytes.end());
  };
  const std::string original = read_file();
  ASSERT_GT(original.size(), 20u);

  auto write_file = [&](const std::string& bytes) {
    std::ofstream out(checkpoint(0), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  };
  auto gzip_of = [&](const Pixels& data) {
    std::string path = dir + "/scratch.gz";
    gzFile f = gzopen(path.c_str(), "wb");
    gzwrite(f, data.data(), static_cast<unsigned>(data.size()));
    gzclose(f);
    const Pixels bytes = file_bytes(path);
    return std::string(bytes.begin(), bytes.end());
  };
  Pixels longer = good;
  longer.push_back(0);
  // A stream that breaks off, and a sound stream of the wrong size.
  const std::pair<const char*, std::string> damages[] = {
      {"truncated", original.substr(0, original.size() / 2)},
      {"one byte too many", gzip_of(longer)},
  };
  for (const auto& [name, bytes] : damages) {
    write_file(bytes);
    ASSERT_EQ(paint_history_get_current(history), 29);
    paint_history_undo(history);  // to 28: tries checkpoint 0
    EXPECT_EQ(pixels(), after[28]) << name;
    // The fallback wrote checkpoint 0 afresh on its way through step 24.
    EXPECT_TRUE(read_file() == original) << name;
    paint_history_redo(history);
    EXPECT_EQ(pixels(), after[29]) << name;
  }

  // A checkpoint that is counted but gone is written again by the replay.
  fs::remove(checkpoint(0));
  paint_history_undo(history);
  EXPECT_EQ(pixels(), after[28]);
  EXPECT_EQ(inflate(0), good);
  EXPECT_TRUE(no_part_files());
}

struct DocumentCalls {
  static inline std::vector<std::pair<int32_t, double>> calls;
  static void replay(PaintHistory*, const PaintStep* step, double scale) {
    calls.push_back({step->type, scale});
  }
};

TEST_F(PaintHistoryTest, DocumentStepsClearCropAndHookWhileUnknownOrBrokenStepsAreSkipped) {
  draw(0, 0, 20, 20, 0xFFFF0000u);
  Pixels red = pixels();
  const uint8_t junk[5] = {1, 2, 3, 4, 5};
  ASSERT_NE(paint_history_add(history, 999, junk, 5), nullptr);  // no such tool
  ASSERT_NE(paint_history_add(history, PAINT_STEP_TEXT, junk, 5), nullptr);
  ASSERT_NE(paint_history_add(history, PAINT_STEP_PICTURE, junk, 5), nullptr);
  // Crops that cannot be applied: short data, empty area, beyond 32 bits.
  ASSERT_NE(paint_history_add(history, PAINT_STEP_CROP, crop_data(0, 0, 9, 9, 64, 48).data(), 31), nullptr);
  ASSERT_NE(paint_history_add(history, PAINT_STEP_CROP, crop_data(5, 5, 4, 9, 64, 48).data(), 32), nullptr);
  ASSERT_NE(paint_history_add(history, PAINT_STEP_CROP,
                              crop_data(INT32_MIN, 0, INT32_MAX, 9, 64, 48).data(), 32), nullptr);
  // A negative size is no data at all.
  PaintStep* odd = paint_history_add(history, kRectTool, junk, -4);
  ASSERT_NE(odd, nullptr);
  EXPECT_EQ(odd->data, nullptr);
  paint_history_rebuild(history);
  EXPECT_EQ(pixels(), red);

  // The hooks receive text and picture steps with the zoom ratio.
  history->replay_text = DocumentCalls::replay;
  history->replay_picture = DocumentCalls::replay;
  DocumentCalls::calls.clear();
  ASSERT_EQ(paint_context_set_zoom(pc, 0.5), 1);
  paint_history_rebuild(history);
  EXPECT_EQ(DocumentCalls::calls, (std::vector<std::pair<int32_t, double>>{
                                      {PAINT_STEP_TEXT, 0.5}, {PAINT_STEP_PICTURE, 0.5}}));
  ASSERT_EQ(paint_context_set_zoom(pc, 1.0), 1);

  // Clear fills the base over everything before it; a crop at zoom 1 shrinks.
  ASSERT_NE(paint_history_add(history, PAINT_STEP_CLEAR, nullptr, 0), nullptr);
  paint_history_rebuild(history);
  EXPECT_EQ(fbitmap_get_pixel(paint_context_get_painting(pc), 5, 5), 0xFF0A141Eu);
  ASSERT_NE(paint_history_add(history, PAINT_STEP_CROP, crop_data(2, 3, 11, 7, 64, 48).data(), 32), nullptr);
  paint_history_rebuild(history);
  EXPECT_EQ(fbitmap_get_width(paint_context_get_painting(pc)), 10);
  EXPECT_EQ(fbitmap_get_height(paint_context_get_painting(pc)), 5);
}

TEST_F(PaintHistoryTest, ResetLeavesAnEmptyHistoryWithoutCheckpoints) {
  for (int i = 0; i < 52; ++i) draw_step(i);
  ASSERT_TRUE(has_checkpoint(1));
  paint_history_reset(history);
  EXPECT_EQ(paint_history_get_count(history), 0);
  EXPECT_EQ(paint_history_is_modified(history), 0);
  EXPECT_FALSE(has_checkpoint(0));
  EXPECT_FALSE(has_checkpoint(1));

  // Steps appended from a document, then rebuilt: the checkpoints come back on the way.
  for (int i = 0; i < 70; ++i) {
    uint8_t data[16];
    const int32_t r[4] = {i % 50, i % 40, i % 50 + 5, i % 40 + 4};
    for (int j = 0; j < 4; ++j) fbytes_put_i32(data + 4 * j, r[j]);
    PaintStep* step = paint_step_create(kRectTool, data, 16);
    ASSERT_NE(step, nullptr);
    step->fore_color = 0xFF000000u | static_cast<uint32_t>(i * 3000);
    step->zoom = 1.0;
    ASSERT_EQ(paint_history_append(history, step), 1);
  }
  paint_history_set_current(history, 69);
  paint_history_rebuild(history);
  EXPECT_TRUE(has_checkpoint(1));
}

TEST(PaintStep, RecordIsFiftySixLittleEndianBytes) {
  PaintStep step{};
  step.view_x = -2;
  step.view_y = 3;
  step.fore_color = 0x80FF0000u;
  step.back_color = 0xFF00FF00u;
  step.pen_size = 7;
  step.pen_style = 2;
  step.zoom = 0.5;
  step.type = PAINT_STEP_CROP;
  step.data_size = 32;
  uint8_t data[32] = {};
  step.data = data;
  uint8_t out[PAINT_STEP_RECORD_SIZE];
  std::memset(out, 0xEE, sizeof out);
  paint_step_write(&step, out);
  const uint8_t golden[PAINT_STEP_RECORD_SIZE] = {
      0xFE, 0xFF, 0xFF, 0xFF, 3, 0, 0, 0,        // view
      0x00, 0x00, 0xFF, 0x80, 0x00, 0xFF, 0x00, 0xFF,  // fore, back: blue, green, red, alpha
      7, 0, 0, 0, 2, 0, 0, 0,                    // pen size, pen style
      0, 0, 0, 0, 0, 0, 0, 0,                    // reserved
      0, 0, 0, 0, 0, 0, 0xE0, 0x3F,              // zoom 0.5
      0xF2, 0x03, 0, 0, 32, 0, 0, 0,             // type 1010, data size
      0, 0, 0, 0, 0, 0, 0, 0};                   // data address, reserved
  EXPECT_EQ(std::memcmp(out, golden, sizeof golden), 0);

  PaintStep back{};
  paint_step_read(&back, golden);
  EXPECT_EQ(back.data, nullptr);
  paint_step_write(&back, out);
  EXPECT_EQ(std::memcmp(out, golden, sizeof golden), 0);
  // A negative size from a damaged file reads as no data.
  uint8_t damaged[PAINT_STEP_RECORD_SIZE];
  std::memcpy(damaged, golden, sizeof damaged);
  fbytes_put_i32(damaged + 44, -9);
  paint_step_read(&back, damaged);
  EXPECT_EQ(back.data_size, 0);
}

// The progress bar for long replays without checkpoints, drawn on the screen's back buffer.
struct FlushLog {
  static inline std::vector<FRect> rects;
  static void flush(const FRect* rect) { rects.push_back(rect ? *rect : FRect{-1, -1, -1, -1}); }
};

class PaintHistoryProgressTest : public PaintHistoryTest {
 protected:
  void run_with_screen(int32_t width, int32_t height) {
    ASSERT_EQ(fscreen_create(&screen, width, height, 32), 1);
    pc->owner = &screen;
    for (int i = 0; i < 60; ++i) draw_step(i);
    FlushLog::rects.clear();
    wins_window_set_flush(FlushLog::flush);
    // As the caller does for an undo: updates off, so closing the bar repaints nothing.
    fscreen_set_paint_suspended(&screen, 1);
    paint_history_rebuild(history);  // no checkpoint left: 60 steps with a bar
    wins_window_set_flush(nullptr);
    pc->owner = nullptr;
  }
  void TearDown() override {
    fscreen_release(&screen);
    PaintHistoryTest::TearDown();
  }
  FScreen screen{};
};

TEST_F(PaintHistoryProgressTest, LongReplayShowsACentredBarAtEveryQuarterHalfSizeOnLowResolution) {
  run_with_screen(480, 640);
  const FRect bar{140, 310, 339, 329};
  ASSERT_EQ(FlushLog::rects.size(), 5u);  // 0, 25, 50, 75 and 100 %
  for (const FRect& r : FlushLog::rects) EXPECT_TRUE(frect_equal(r, bar));
  FBitmap* back = fscreen_get_bitmap(&screen);
  EXPECT_EQ(fbitmap_get_pixel(back, 140, 310) & 0xFFFFFF, 0x808080u);
  EXPECT_EQ(fbitmap_get_pixel(back, 338, 328) & 0xFFFFFF, 0x8080FFu);

  // With the checkpoints the rebuild wrote, an undo shows no bar.
  FlushLog::rects.clear();
  pc->owner = &screen;
  wins_window_set_flush(FlushLog::flush);
  paint_history_undo(history);
  wins_window_set_flush(nullptr);
  pc->owner = nullptr;
  EXPECT_TRUE(FlushLog::rects.empty());

  // A low-resolution screen: the half-size bar, from a replay with no checkpoint left.
  fscreen_release(&screen);
  paint_history_reset(history);
  paint_context_fill_base(pc);
  run_with_screen(240, 320);
  ASSERT_FALSE(FlushLog::rects.empty());
  EXPECT_TRUE(frect_equal(FlushLog::rects[0], FRect{70, 155, 169, 164}));
}

TEST(PaintHistoryDeathTest, NullRecordsAreFatal) {
  EXPECT_DEATH(paint_history_undo(nullptr), "history!=null");
  EXPECT_DEATH(paint_step_destroy(nullptr), "item!=null");
}

}  // namespace
