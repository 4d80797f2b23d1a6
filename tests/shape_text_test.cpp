// The text tool (dashed preview frame, rectangle callback, damage and repaints) and the text
// step (exact record bytes, commit, undo, replay at other zooms, old colours, hostile records).

#include "shape_text.h"

#include <gtest/gtest.h>

#include <cairo.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "fbytes.h"
#include "fcanvas.h"
#include "fscreen.h"
#include "fsurface.h"
#include "ftdrawer.h"
#include "paint_context.h"
#include "paint_history.h"
#include "win_ao.h"
#include "wins_window.h"

namespace {

namespace fs = std::filesystem;

constexpr FColor kWhite = 0xFFFFFFFFu;
constexpr uint32_t kTextId = 7;

struct Calls {
  static inline std::vector<FRect> rects;
  static inline std::vector<std::pair<FRect, int>> paints;
  static inline PaintContext* pc = nullptr;
  static void on_rect(Shape* shape, const FRect* r) {
    EXPECT_EQ(shape->active, 1);  // the tool is still in its stroke
    rects.push_back(*r);
  }
  static void on_background(FScreen*, const FRect* r) {
    paints.push_back({*r, pc ? paint_context_is_partial_repaint(pc) : -1});
  }
};

constexpr uint32_t kFrameGrey = 0xFF404040u;  // 0.25 grey as cairo stores it

using Pixels = std::vector<uint8_t>;

Pixels pixels_of(const FBitmap* b) {
  return Pixels(b->pixels, b->pixels + fbitmap_get_size_image(b));
}

class TextTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(faomngr_init(), 1);
    Calls::rects.clear();
    Calls::paints.clear();
    const char* home = std::getenv("PENLARK_HOME");
    ASSERT_NE(home, nullptr);
    dir = std::string(home) + "/text-" +
          ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::remove_all(dir);
  }
  void open(FScreen* owner) {
    pc = paint_context_create(owner, 100, 60, 0xFF000000u, kWhite, kWhite, 2, 0, 0, 0);
    ASSERT_NE(pc, nullptr);
    if (!owner) paint_context_set_screen_size(pc, 240, 320);
    paint_context_set_view(pc, 30, 40);
    history = paint_history_create(pc, dir.c_str());
    ASSERT_NE(history, nullptr);
    history->replay_text = shape_text_replay;
    tool = shape_text_create(kTextId, u"Text", pc, history, nullptr);
    ASSERT_NE(tool, nullptr);
    ASSERT_EQ(paint_context_add_shape(pc, tool), 1);
    paint_context_fill_base(pc);
    cairo_surface_flush(cairo_get_target(paint_context_get_renderer(pc)));
    Calls::pc = pc;
  }
  void TearDown() override {
    if (tool) shape_text_destroy(tool);
    if (history) paint_history_destroy(history);
    if (pc) paint_context_destroy(pc);
    Calls::pc = nullptr;
    if (screen.canvas.bitmap) {
      wins_window_set_flush(nullptr);
      fscreen_set_global(nullptr);
      fscreen_release(&screen);
    }
    faomngr_shutdown();
    fs::remove_all(dir);
  }
  int pen(int32_t event, int32_t x, int32_t y) {
    FPoint view = paint_context_get_view(pc);
    return shape_on_pen(tool, event, x + view.x, y + view.y, 0);
  }
  FBitmap* painting() { return paint_context_get_painting(pc); }
  uint32_t at(int32_t x, int32_t y) { return fbitmap_get_pixel(painting(), x, y); }

  // The painting as it would look with `d` drawing `text` into `rect` over the base.
  Pixels expected_text(const FTDrawer* d, FRect rect, const std::u16string& text) {
    FBitmap* copy = fbitmap_create(fbitmap_get_width(painting()), -fbitmap_get_height(painting()), 32);
    EXPECT_NE(copy, nullptr);
    fbitmap_fill_rect(copy, 0, 0, fbitmap_get_width(copy) - 1, fbitmap_get_height(copy) - 1, kWhite);
    FCanvas canvas{};
    fcanvas_attach(&canvas, copy);
    EXPECT_EQ(ftdrawer_draw_text(d, &canvas, &rect, text.data(), static_cast<int32_t>(text.size())),
              1);
    fcanvas_release(&canvas);
    Pixels out = pixels_of(copy);
    fbitmap_destroy(copy);
    return out;
  }

  std::string dir;
  FScreen screen{};
  PaintContext* pc = nullptr;
  PaintHistory* history = nullptr;
  Shape* tool = nullptr;
};

TEST_F(TextTest, DragShowsADashedFrameRepaintsItsDamageAndHandsOverTheNormalisedRectangle) {
  ASSERT_EQ(fscreen_create(&screen, 240, -320, 32), 1);
  fscreen_set_global(&screen);
  wins_window_set_flush([](const FRect*) {});
  fscreen_set_on_paint_background(&screen, Calls::on_background);
  open(&screen);
  shape_text_set_rect_callback(tool, Calls::on_rect);
  const Pixels base = pixels_of(painting());

  EXPECT_EQ(pen(FPOINTER_MOVE, 5, 5), 0);
  EXPECT_EQ(pen(FPOINTER_UP, 5, 5), 0);
  EXPECT_EQ(pen(FPOINTER_DOWN, 10, 20), 1);
  EXPECT_EQ(pen(FPOINTER_MOVE, 70, 50), 1);
  EXPECT_EQ(pen(FPOINTER_MOVE, 40, 5), 1);  // two moves, one frame
  faomngr_run_due();
  // The frame runs from (10, 20) up to (40, 5) with the renderer's line width (2): the
  // bottom edge covers rows 19 and 20, dashed 5 on, 5 off from x = 10.
  EXPECT_EQ(at(12, 20), kFrameGrey);
  EXPECT_EQ(at(12, 19), kFrameGrey);
  EXPECT_EQ(at(17, 20), kWhite);
  EXPECT_EQ(at(22, 20), kFrameGrey);
  EXPECT_EQ(at(60, 40), kWhite);  // the first move's frame never ran
  // (10, 5)-(40, 20) widened by 5 and united with (0, 0, 0, 0), then moved by the view.
  ASSERT_EQ(Calls::paints.size(), 1u);
  EXPECT_TRUE(frect_equal(Calls::paints[0].first, FRect{30, 40, 75, 65}));
  EXPECT_EQ(Calls::paints[0].second, 1);

  EXPECT_EQ(pen(FPOINTER_UP, 40, 5), 1);
  ASSERT_EQ(Calls::paints.size(), 2u);
  EXPECT_TRUE(frect_equal(Calls::paints[1].first, FRect{0, 0, 239, 319}));
  EXPECT_EQ(Calls::paints[1].second, 0);  // a full update
  EXPECT_EQ(pixels_of(painting()), base);
  EXPECT_EQ(paint_history_get_count(history), 0);  // the tool itself records nothing
  ASSERT_EQ(Calls::rects.size(), 1u);
  EXPECT_TRUE(frect_equal(Calls::rects[0], FRect{10, 5, 40, 20}));

  // A drag that ends where it began opens nothing; the frame drawn on the way goes.
  pen(FPOINTER_DOWN, 10, 10);
  pen(FPOINTER_MOVE, 60, 40);
  faomngr_run_due();
  EXPECT_NE(pixels_of(painting()), base);
  pen(FPOINTER_MOVE, 10, 10);
  EXPECT_EQ(pen(FPOINTER_UP, 10, 10), 1);
  faomngr_run_due();
  EXPECT_EQ(pixels_of(painting()), base);
  EXPECT_EQ(Calls::rects.size(), 1u);
  EXPECT_EQ(tool->active, 0);
}

TEST(TextRecordTest, TenCharactersMake134BytesLaidOutFieldByField) {
  FTDrawer* d = ftdrawer_create();
  ASSERT_NE(d, nullptr);
  ftdrawer_set_mode(d, FTDRAW_WRAP | FTDRAW_TOP_RIGHT);
  ftdrawer_set_line_spacing(d, 3);
  ftdrawer_set_margin(d, -1);
  ftdrawer_set_font_size(d, 14);
  ftdrawer_set_font_face(d, u"Arial");
  ftdrawer_set_color(d, 0x80112233u);
  ftdrawer_set_font_style(d, FFONT_BOLD | FFONT_UNDERLINE);
  const FRect rect{1, -2, 300, 4};
  const std::u16string text = u"Hello, wld";
  int32_t size = -1;
  uint8_t* record = shape_text_build_record(d, &rect, text.data(), 10, &size);
  ASSERT_NE(record, nullptr);
  ASSERT_EQ(size, 134);

  std::vector<uint8_t> want = {0x12, 0, 0, 0, 3, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 14, 0, 0, 0};
  const std::u16string face = u"Arial";
  for (int i = 0; i < 32; ++i) want.insert(want.end(), {uint8_t(i < 5 ? face[i] : 0), 0});
  for (uint8_t b : {0x33, 0x22, 0x11, 0x80, 5, 0, 0, 0, 1, 0, 0, 0, 0xFE, 0xFF, 0xFF, 0xFF,
                    0x2C, 0x01, 0, 0, 4, 0, 0, 0, 10, 0, 0, 0, 0, 0, 0, 0})
    want.push_back(b);
  for (char16_t c : text + u'\0') want.insert(want.end(), {uint8_t(c), uint8_t(c >> 8)});
  EXPECT_EQ(std::vector<uint8_t>(record, record + size), want);
  std::free(record);

  // An empty text is 114 bytes; lengths out of range make no record.
  record = shape_text_build_record(d, &rect, nullptr, 0, &size);
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(size, 114);
  std::free(record);
  EXPECT_EQ(shape_text_build_record(d, &rect, text.data(), -1, &size), nullptr);
  EXPECT_EQ(size, 0);
  EXPECT_EQ(shape_text_build_record(d, &rect, text.data(), SHAPE_TEXT_MAX_LENGTH + 1, &size),
            nullptr);
  ftdrawer_destroy(d);
}

TEST_F(TextTest, CommitDrawsAndRecordsUndoRedoAndZoomedReplaysDrawItAgain) {
  open(nullptr);
  FTDrawer* d = ftdrawer_copy(ftdrawer_get_default());
  ASSERT_NE(d, nullptr);
  ftdrawer_set_color(d, 0xFF2050A0u);
  ftdrawer_set_font_size(d, 7);
  ftdrawer_set_line_spacing(d, 3);
  ftdrawer_set_margin(d, 2);
  ftdrawer_set_mode(d, FTDRAW_WRAP | FTDRAW_CENTRE);
  const FRect rect{5, 6, 50, 30};
  const std::u16string text = u"two lines of text\nhere";
  const int32_t length = static_cast<int32_t>(text.size());
  const Pixels base = pixels_of(painting());
  const Pixels want = expected_text(d, rect, text);
  ASSERT_NE(want, base);

  EXPECT_EQ(shape_text_commit(pc, history, d, &rect, text.data(), 0), 0);  // empty: nothing
  EXPECT_EQ(paint_history_get_count(history), 0);
  EXPECT_EQ(shape_text_commit(pc, history, d, &rect, text.data(), length), 1);
  EXPECT_EQ(pixels_of(painting()), want);
  ASSERT_EQ(paint_history_get_count(history), 1);
  const PaintStep* step = paint_history_get_step(history, 0);
  EXPECT_EQ(step->type, PAINT_STEP_TEXT);
  EXPECT_EQ(step->data_size, (length + 57) * 2);
  paint_history_undo(history);
  EXPECT_EQ(pixels_of(painting()), base);
  paint_history_redo(history);
  EXPECT_EQ(pixels_of(painting()), want);

  // At zoom 2 the rectangle, font size, spacing and margin double.
  ASSERT_EQ(paint_context_set_zoom(pc, 2.0), 1);
  paint_history_rebuild(history);
  ASSERT_EQ(fbitmap_get_width(painting()), 200);
  ftdrawer_set_font_size(d, 14);
  ftdrawer_set_line_spacing(d, 6);
  ftdrawer_set_margin(d, 4);
  EXPECT_EQ(pixels_of(painting()), expected_text(d, FRect{10, 12, 100, 60}, text));
  // A scale that is not a whole number truncates each value.
  ASSERT_EQ(paint_context_set_zoom(pc, 1.5), 1);
  paint_history_rebuild(history);
  ftdrawer_set_font_size(d, 10);   // 10.5
  ftdrawer_set_line_spacing(d, 4);  // 4.5
  ftdrawer_set_margin(d, 3);
  EXPECT_EQ(pixels_of(painting()), expected_text(d, FRect{7, 9, 75, 45}, text));
  ftdrawer_destroy(d);
}

TEST_F(TextTest, HostileRecordsAreIgnoredAndAlphaZeroColoursReadRedFirst) {
  open(nullptr);
  const Pixels base = pixels_of(painting());
  FTDrawer* d = ftdrawer_copy(ftdrawer_get_default());
  ASSERT_NE(d, nullptr);
  const FRect rect{0, 0, 99, 59};
  const std::u16string text = u"abcdefghij";
  int32_t size = 0;
  uint8_t* good = shape_text_build_record(d, &rect, text.data(), 10, &size);
  ASSERT_NE(good, nullptr);
  const std::vector<uint8_t> whole(good, good + size);
  std::free(good);
  // Each record lives in a buffer of exactly its size, so that a read past it shows.
  auto try_record = [&](std::vector<uint8_t> exact) {
    return shape_text_draw_record(pc, exact.empty() ? nullptr : exact.data(),
                                  static_cast<int32_t>(exact.size()), 1.0);
  };
  using Record = std::vector<uint8_t>;
  std::vector<Record> bad{Record(whole.begin(), whole.end() - 2), whole,
                          Record(whole.begin(), whole.begin() + 100), Record{}};
  bad[1].insert(bad[1].end(), {0, 0});
  // The last length wraps the record size around to this buffer's size in 32 bits.
  for (int32_t length : {-1, -57, INT32_MIN, INT32_MAX, INT32_MAX / 2, 11, 9,
                         static_cast<int32_t>(0x80000000u + 10u)}) {
    bad.push_back(whole);
    fbytes_put_i32(bad.back().data() + 104, length);
  }
  for (const Record& record : bad) EXPECT_EQ(try_record(record), 0) << record.size();
  EXPECT_EQ(pixels_of(painting()), base);

  // Through the history: a damaged step replays as nothing.
  paint_history_add(history, PAINT_STEP_TEXT, whole.data(), size - 2);
  paint_history_rebuild(history);
  EXPECT_EQ(pixels_of(painting()), base);

  // An old record's colour with alpha 0 is red, green, blue and drawn opaque.
  Record old = whole;
  const uint8_t old_colour[4] = {0xC0, 0x20, 0x10, 0x00};
  std::memcpy(old.data() + 80, old_colour, 4);
  ASSERT_EQ(try_record(old), 1);
  ftdrawer_set_color(d, fcolor_make(0xC0, 0x20, 0x10, 255));
  EXPECT_EQ(pixels_of(painting()), expected_text(d, rect, text));
  ftdrawer_destroy(d);
}

TEST(TextDeathTest, NullRecordsAreFatal) {
  EXPECT_DEATH(shape_text_destroy(nullptr), "shape!=null");
  EXPECT_DEATH(shape_text_draw_record(nullptr, nullptr, 0, 1.0), "pc!=null");
  EXPECT_DEATH(shape_text_replay(nullptr, nullptr, 1.0), "history!=null");
}

}  // namespace
