// The application's spine: start-up failures, settings surviving a real start and quit under
// SDL's offscreen driver, and, on a screen made here, the screen handlers, canvas resize, the
// tools' callbacks, the exit question, sending and the document commands.

#include "paint_main.h"
#include "paint_tools.h"
#include "win_ao.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "fbitmap.h"
#include "fbytes.h"
#include "fresource.h"
#include "fscreen.h"
#include "fsys.h"
#include "jpegimage.h"
#include "paint_context.h"
#include "paint_file.h"
#include "paint_history.h"
#include "paint_strings.h"
#include "pngimage.h"
#include "shape.h"
#include "shape_text.h"
#include "wins_timer.h"
#include "wins_window.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Pair = std::pair<int32_t, int32_t>;

constexpr uint32_t kCtrlY = 25, kCtrlZ = 26;
constexpr int32_t kCanvasValue = 10 + 20 * 256 + 30 * 65536;  // (10, 20, 30)

std::string read_text(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}
Bytes read_file(const std::string& path) {
  const std::string text = read_text(path);
  return Bytes(text.begin(), text.end());
}
void write_file(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}
bool exists(const std::string& path) { return std::filesystem::exists(path); }

// 0xRRGGBB of a 32-bit bitmap pixel.
uint32_t rgb_at(const FBitmap* bitmap, int32_t x, int32_t y) {
  uint8_t p[4] = {};
  fbitmap_get_rgba(bitmap, x, y, p);
  return static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[1]) << 8 | p[0];
}

// A fresh per-test folder made the home of everything the program writes.
std::string make_home() {
  static const std::string root = [] {
    const char* base = std::getenv("PENLARK_HOME");
    return std::string(base ? base : testing::TempDir() + "penlark-main");
  }();
  mkdir(root.c_str(), 0755);
  std::string home = root + "/" + testing::UnitTest::GetInstance()->current_test_info()->name();
  std::filesystem::remove_all(home);
  mkdir(home.c_str(), 0755);
  setenv("PENLARK_HOME", home.c_str(), 1);
  setenv("LC_ALL", "C", 1);
  fsys_reset_folders();
  return home;
}

struct Messages {
  std::vector<std::u16string> errors, questions;
  int answer = 0;
};
Messages g_messages;

void install_message_capture() {
  g_messages = Messages{};
  PaintMessageHooks hooks{};
  hooks.error = [](const char16_t* text) { g_messages.errors.emplace_back(text); };
  hooks.question = [](const char16_t* text) {
    g_messages.questions.emplace_back(text);
    return g_messages.answer;
  };
  paint_message_set_hooks(&hooks);
}

std::vector<std::string> g_spawned;
int g_spawn_result = 1;
int record_spawn(const char* const* argv) {
  g_spawned.clear();
  for (const char* const* a = argv; *a; ++a) g_spawned.emplace_back(*a);
  return g_spawn_result;
}

std::string start_error() {
  testing::internal::CaptureStderr();
  EXPECT_EQ(paint_main_start(), 0);
  return testing::internal::GetCapturedStderr();
}

TEST(PaintMainStart, MissingOrDamagedResourcesEndStartUpWithTheReason) {
  const std::string home = make_home(), res = home + "/res";
  FScreen screen{};
  ASSERT_EQ(fscreen_create(&screen, 480, -640, 32), 1);
  fscreen_set_global(&screen);
  mkdir(res.c_str(), 0755);
  mkdir((res + "/resvga").c_str(), 0755);
  paint_main_set_resource_dir(res.c_str());
  const std::string prefix = "penlark: cannot load resources: " + res;

  testing::internal::CaptureStderr();
  EXPECT_EQ(paint_main(0, nullptr), 1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            prefix + "/resvga/penlrk.fres: no such file\n");
  write_file(res + "/resvga/penlrk.fres", "FRES but nothing else");
  EXPECT_EQ(start_error(), prefix + "/resvga/penlrk.fres: not a readable resource file\n");
  write_file(res + "/resvga/penlrk.fres",
             read_text(std::string(PENLARK_RES_DIR) + "/resvga/penlrk.fres"));
  EXPECT_EQ(start_error(), prefix + "/gui.fmbm: no such file\n");
  // Nothing is left behind.
  EXPECT_EQ(paint_main_app(), nullptr);
  EXPECT_EQ(screen.on_key_default, nullptr);
  EXPECT_EQ(screen.on_paint_background, nullptr);
  EXPECT_FALSE(exists(home + "/config.xml"));
  EXPECT_EQ(fres_get_string(PAINT_STR_TOOL_PENCIL.id), nullptr);
  // A low-resolution screen reads the small artwork's folder.
  fscreen_resize(&screen, 240, 320);
  EXPECT_NE(start_error().find(res + "/resqvga/penlrk.fres: no such file"), std::string::npos);

  paint_main_stop();
  paint_main_set_resource_dir(nullptr);
  fscreen_set_global(nullptr);
  fscreen_release(&screen);
}

TEST(PaintMainLanguage, RussianBelarusianAndChineseChooseTheirFilesOthersEnglish) {
  for (auto [id, language] : {std::pair<uint16_t, const char*>{0x0423, "ru_ru"}, {0x0819, "ru_ru"},
                              {0x0404, "zh_cn"}, {0x0409, "en_us"}, {0, "en_us"}})
    EXPECT_STREQ(paint_main_language_for(id), language) << std::hex << id;
}

struct OffscreenRun {
  uint32_t painting_pixel = 0, border_pixel = 0;
  int32_t backup_width = 0;  // the screen backup after the display turned
};
OffscreenRun g_run;

void quit_by_key(uint32_t id, void*) {
  ftimer_kill(id);
  FScreen* screen = fscreen_get();
  g_run.painting_pixel = rgb_at(fscreen_get_bitmap(screen), 240, 320);
  g_run.border_pixel = rgb_at(fscreen_get_bitmap(screen), 100, 320);
  wins_window_resize_display(640, 480);
  g_run.backup_width = fbitmap_get_width(paint_main_app()->paint->screen_backup);
  fscreen_key(screen, 'q', 1, 0);
}

TEST(PaintMainRun, SettingsSurviveARealStartAndQuit) {
  const std::string home = make_home();
  // The software renderer: no GL driver whose allocations outlive SDL_Quit.
  setenv("SDL_VIDEODRIVER", "offscreen", 1);
  setenv("SDL_RENDER_DRIVER", "software", 1);
  setenv("SDL_FRAMEBUFFER_ACCELERATION", "0", 1);
  setenv("PENLARK_NO_DIALOGS", "1", 1);
  paint_main_set_resource_dir(PENLARK_RES_DIR);
  mkdir((home + "/paints").c_str(), 0755);
  mkdir((home + "/saves").c_str(), 0755);
  // Every setting differs from its default; the paths exist, so that they survive.
  const std::string settings =
      "<Penlark>\n<NewWidth>200</NewWidth>\n<NewHeight>100</NewHeight>\n<NewColor>" +
      std::to_string(kCanvasValue) +
      "</NewColor>\n<ForeColor>1,2,3,200</ForeColor>\n<BackColor>4</BackColor>\n"
      "<PenSize>12</PenSize>\n<PenStyle>2</PenStyle>\n<FillStyle>1</FillStyle>\n"
      "<FontStyle>3</FontStyle>\n<PictureStyle>0</PictureStyle>\n<MyPaintsDir>" + home +
      "/paints</MyPaintsDir>\n<OpenDir>" + home + "</OpenDir>\n<SaveDir>" + home +
      "/saves</SaveDir>\n<TBTranslucent>0</TBTranslucent>\n<TBAutoHide>0</TBAutoHide>\n"
      "<TBX1>6</TBX1>\n<TBY1>7</TBY1>\n<TBWidth1>300</TBWidth1>\n<TBHeight1>90</TBHeight1>\n"
      "<TBX2>8</TBX2>\n<TBY2>9</TBY2>\n<TBWidth2>91</TBWidth2>\n<TBHeight2>301</TBHeight2>\n"
      "<RecentColorNum>2</RecentColorNum>\n<RecentColors>5,6,0,0,0,0,0,0,</RecentColors>\n"
      "</Penlark>\n";
  write_file(home + "/config.xml", settings);
  g_run = OffscreenRun{};
  ASSERT_NE(ftimer_create(300, quit_by_key, nullptr), 0u);
  char name[] = "penlark";
  char* argv[] = {name, nullptr};
  const FAppHooks hooks{paint_main_title, paint_main, paint_main_on_activate, nullptr,
                        paint_main_on_open_file};
  EXPECT_EQ(wins_window_entry(1, argv, &hooks), 0);
  wins_window_set_display_size(480, 640);
  paint_main_set_resource_dir(nullptr);

  EXPECT_EQ(g_run.painting_pixel, 0x0A141Eu);  // the 200 x 100 canvas in the middle
  EXPECT_EQ(g_run.border_pixel, 0x404040u);
  EXPECT_EQ(g_run.backup_width, 640);
  EXPECT_EQ(paint_main_app(), nullptr);
  EXPECT_EQ(read_text(home + "/config.xml"), settings);
}

class PaintMainTest : public testing::Test {
 protected:
  static constexpr int32_t kViewX = 190, kViewY = 280, kWidth = 100, kHeight = 80;

  void SetUp() override {
    home_ = make_home();
    ASSERT_EQ(fscreen_create(&screen_, 480, -640, 32), 1);
    fscreen_set_global(&screen_);
    paint_main_set_resource_dir(PENLARK_RES_DIR);
    install_message_capture();
    write_file(home_ + "/config.xml", "<Penlark><NewWidth>100</NewWidth><NewHeight>80</NewHeight>"
                                      "<NewColor>" + std::to_string(kCanvasValue) +
                                      "</NewColor><ForeColor>255,0,0,255</ForeColor>"
                                      "<PenSize>3</PenSize></Penlark>");
    ASSERT_EQ(paint_main_start(), 1);
    app_ = paint_main_app();
    ASSERT_NE(app_, nullptr);
  }
  void TearDown() override {
    paint_main_stop();
    paint_main_set_start_file(nullptr);
    paint_main_set_resource_dir(nullptr);
    paint_message_set_hooks(nullptr);
    fsys_set_spawn(nullptr);
    fscreen_set_global(nullptr);
    fscreen_release(&screen_);
  }

  FBitmap* painting() const { return paint_context_get_painting(app_->paint); }
  Pair view() const {
    const FPoint v = paint_context_get_view(app_->paint);
    return {v.x, v.y};
  }
  uint32_t screen_at(int32_t x, int32_t y) const {
    return rgb_at(fscreen_get_bitmap(const_cast<FScreen*>(&screen_)), x, y);
  }
  int key(uint32_t code, uint32_t modifiers = 0) {
    return fscreen_key(&screen_, code, 1, modifiers);
  }
  void pen(int32_t type, int32_t x, int32_t y) { fscreen_pointer(&screen_, type, x, y, 0); }
  void stroke(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    pen(FPOINTER_DOWN, x1, y1);
    pen(FPOINTER_MOVE, (x1 + x2) / 2, (y1 + y2) / 2);
    pen(FPOINTER_UP, x2, y2);
  }
  Bytes painting_bytes() const {
    cairo_surface_flush(app_->paint->renderer_surface);
    return Bytes(painting()->pixels, painting()->pixels + fbitmap_get_size_image(painting()));
  }
  std::vector<int32_t> crop_fields(int32_t index) const {
    const PaintStep* step = paint_history_get_step(app_->history, index);
    std::vector<int32_t> fields;
    if (!step || step->type != PAINT_STEP_CROP || step->data_size != PAINT_STEP_CROP_SIZE)
      return fields;
    for (int i = 0; i < 8; ++i) fields.push_back(fbytes_get_i32(step->data + 4 * i));
    return fields;
  }

  std::string home_;
  FScreen screen_{};
  AppContext* app_ = nullptr;
};


TEST_F(PaintMainTest, StartUpBuildsEverythingFromTheSettingsAndShutDownWritesThemBack) {
  EXPECT_EQ(fbitmap_get_height(painting()), kHeight);
  EXPECT_EQ(view(), Pair(kViewX, kViewY));
  EXPECT_EQ(paint_context_get_pen_size(app_->paint), 3);
  for (int i = 0; i < PAINT_TOOL_COUNT; ++i) {
    ASSERT_NE(app_->tools[i], nullptr);
    EXPECT_EQ(shape_get_id(app_->tools[i]), paint_tool_table[i].id);
  }
  EXPECT_EQ(app_->current_shape, app_->tools[0]);
  EXPECT_EQ(app_->history->replay_text, shape_text_replay);
  EXPECT_TRUE(exists(app_->config.my_paints_dir));
  EXPECT_EQ(screen_at(kViewX - 1, kViewY), 0x404040u);
  EXPECT_EQ(screen_at(kViewX + kWidth - 1, kViewY + kHeight - 1), 0x0A141Eu);
  EXPECT_EQ(screen_at(kViewX + kWidth, kViewY + kHeight), 0x404040u);

  paint_context_set_fore_color(app_->paint, fcolor_make(9, 8, 7, 6));
  paint_context_set_pen_size(app_->paint, 21);
  paint_main_stop();
  const std::string text = read_text(home_ + "/config.xml");
  for (const char* element :
       {"<ForeColor>9,8,7,6</ForeColor>", "<PenSize>21</PenSize>", "<NewWidth>100</NewWidth>"})
    EXPECT_NE(text.find(element), std::string::npos) << text;
  EXPECT_EQ(fres_get_string(PAINT_STR_TOOL_PENCIL.id), nullptr);
  EXPECT_EQ(screen_.on_pointer_default, nullptr);
}

TEST_F(PaintMainTest, AnImpossibleNewSizeFallsBackToTheScreenAndRussianLoadsItsTexts) {
  paint_main_stop();
  for (const char* size : {"-5", "40000"}) {
    write_file(home_ + "/config.xml", std::string("<Penlark><NewWidth>") + size +
                                          "</NewWidth><NewHeight>80</NewHeight></Penlark>");
    ASSERT_EQ(paint_main_start(), 1) << size;
    app_ = paint_main_app();
    EXPECT_EQ(fbitmap_get_height(painting()), 640);
    EXPECT_EQ(paint_main_new_empty(app_), 1);
    paint_main_stop();
  }
  setenv("LC_ALL", "ru_RU.UTF-8", 1);
  ASSERT_EQ(paint_main_start(), 1);
  app_ = paint_main_app();
  EXPECT_EQ(app_->config.new_width, 480);  // the fallback was written back
  EXPECT_EQ(app_->language, "ru_ru");
  EXPECT_NE(std::u16string(fres_text(PAINT_STR_SAVED_OK)), u"Saved Ok");
  paint_main_stop();
  setenv("LC_ALL", "C", 1);
  EXPECT_EQ(std::u16string(fres_text(PAINT_STR_SAVED_OK)), u"Saved Ok");
}

TEST_F(PaintMainTest, UndoWhileACurveIsEditedCommitsItFirstAndNeverPaintsItsHandles) {
  const Bytes blank = painting_bytes();
  app_->current_shape = paint_context_find_shape(app_->paint, PAINT_TOOL_CURVE);
  stroke(kViewX + 20, kViewY + 20, kViewX + 120, kViewY + 80);  // first drag: handles shown
  faomngr_run_due();
  ASSERT_EQ(paint_history_get_count(app_->history), 0);

  EXPECT_EQ(key('b'), 1);  // commits the curve, then undoes it
  EXPECT_EQ(paint_history_get_count(app_->history), 1);
  EXPECT_EQ(paint_history_get_current(app_->history), -1);
  EXPECT_EQ(painting_bytes(), blank);

  EXPECT_EQ(key('f'), 1);
  const Bytes redone = painting_bytes();
  // The redone curve equals a replay of its step: no handle circles left in the painting.
  paint_history_rebuild(app_->history);
  EXPECT_EQ(painting_bytes(), redone);
  EXPECT_NE(redone, blank);
}

TEST_F(PaintMainTest, KeysUndoRedoWithLettersAndControlChords) {
  const Bytes blank = painting_bytes();
  // With an empty history nothing changes, not even the screen: no repaint covers the mark.
  FBitmap* shown = fscreen_get_bitmap(&screen_);
  fbitmap_set_pixel(shown, 0, 0, 0xFF123456u);
  EXPECT_EQ(key('b'), 1);
  EXPECT_EQ(key('f'), 1);
  EXPECT_EQ(fbitmap_get_pixel(shown, 0, 0) | 0xFF000000u, 0xFF123456u);

  stroke(kViewX + 10, kViewY + 40, kViewX + 90, kViewY + 40);
  ASSERT_EQ(paint_history_get_count(app_->history), 1);
  const Bytes drawn = painting_bytes();
  ASSERT_NE(drawn, blank);
  EXPECT_EQ(key(kCtrlZ, FMOD_CTRL), 1);
  EXPECT_EQ(painting_bytes(), blank);
  EXPECT_EQ(screen_at(kViewX + 50, kViewY + 40), 0x0A141Eu);
  EXPECT_EQ(screen_.paint_suspended, 0u);
  EXPECT_EQ(key(kCtrlY, FMOD_CTRL), 1);
  EXPECT_EQ(painting_bytes(), drawn);
  EXPECT_EQ(key('B'), 1);
  EXPECT_EQ(painting_bytes(), blank);
  EXPECT_EQ(key(kCtrlZ, FMOD_CTRL | FMOD_SHIFT), 1);
  EXPECT_EQ(screen_at(kViewX + 50, kViewY + 40), 0xFF0000u);
  EXPECT_EQ(key('b'), 1);
  EXPECT_EQ(key('F'), 1);
  EXPECT_EQ(painting_bytes(), drawn);
  for (uint32_t code : {kCtrlZ, kCtrlY, uint32_t{'x'}, uint32_t{FKEY_LEFT}}) EXPECT_EQ(key(code), 0);
}

TEST_F(PaintMainTest, QuitAsksAboutUnsavedChangesAndSavesOnYes) {
  EXPECT_EQ(key('q'), 1);
  EXPECT_EQ(fplatform_main_loop(), 0);  // the quit was posted
  EXPECT_TRUE(g_messages.questions.empty());

  stroke(kViewX + 10, kViewY + 10, kViewX + 50, kViewY + 50);
  const std::string doc = home_ + "/saves-here.plk";
  paint_file_set_path(app_->file, doc.c_str());
  EXPECT_EQ(key('Q'), 1);
  EXPECT_EQ(fplatform_main_loop(), 0);
  EXPECT_EQ(g_messages.questions, std::vector<std::u16string>{u"Save paint changes to file?"});
  EXPECT_FALSE(exists(doc));
  g_messages.answer = 1;
  EXPECT_EQ(key('q'), 1);
  EXPECT_EQ(fplatform_main_loop(), 0);
  EXPECT_TRUE(exists(doc));
  EXPECT_EQ(paint_history_is_modified(app_->history), 0);

  // With no question box at all the exit goes on and nothing is written.
  paint_message_set_hooks(nullptr);
  stroke(kViewX + 10, kViewY + 60, kViewX + 50, kViewY + 60);
  const Bytes saved = read_file(doc);
  EXPECT_EQ(paint_main_on_quit(0), 1);
  EXPECT_EQ(read_file(doc), saved);
}

TEST_F(PaintMainTest, AnUnnamedPaintingIsSavedUnderAFreeUntitledName) {
  const std::string folder = app_->config.my_paints_dir;
  ASSERT_EQ(fsys_make_dir(folder.c_str()), 1);
  write_file(folder + "/Untitled.plk", "someone else's");
  stroke(kViewX + 10, kViewY + 10, kViewX + 50, kViewY + 50);
  g_messages.answer = 1;
  EXPECT_EQ(paint_main_on_quit(0), 1);
  EXPECT_EQ(read_text(folder + "/Untitled.plk"), "someone else's");
  EXPECT_TRUE(exists(folder + "/Untitled 2.plk"));
  EXPECT_EQ(paint_history_is_modified(app_->history), 0);
}

TEST_F(PaintMainTest, CanvasResizeHandlesRefuseTinyCanvasesAndRecordCrops) {
  paint_main_set_resize_mode(app_, 1);
  const FPoint right_middle{kViewX + kWidth - 1, kViewY + kHeight / 2};
  EXPECT_EQ(app_->handle_points[3].x, right_middle.x);
  EXPECT_EQ(app_->handle_points[3].y, right_middle.y);
  EXPECT_TRUE(frect_equal(app_->handle_boxes[0],
                          FRect{kViewX - 10, kViewY - 10, kViewX + 10, kViewY + 10}));
  // A handle square blends (128, 128, 128) at 96 over the dark grey.
  const uint8_t blended = static_cast<uint8_t>((128 * 96 + 64 * (255 - 96)) >> 8);
  EXPECT_EQ(screen_at(kViewX - 5, kViewY - 5), blended * 0x010101u);

  stroke(kViewX + 10, kViewY + 10, kViewX + 30, kViewY + 10);  // misses every handle
  ASSERT_EQ(paint_history_get_count(app_->history), 1);
  cairo_surface_flush(app_->paint->renderer_surface);
  const uint32_t ink = rgb_at(painting(), 20, 10);
  ASSERT_EQ(ink, 0xFF0000u);
  // A tap on a handle records nothing.
  pen(FPOINTER_DOWN, right_middle.x, right_middle.y);
  pen(FPOINTER_UP, right_middle.x, right_middle.y);
  EXPECT_EQ(paint_history_get_count(app_->history), 1);

  // 15 pixels wide is refused, 16 is taken.
  pen(FPOINTER_DOWN, right_middle.x, right_middle.y);
  EXPECT_EQ(app_->active_handle, 3);
  pen(FPOINTER_MOVE, right_middle.x - 85, right_middle.y);
  EXPECT_TRUE(frect_equal(app_->resize_rect, FRect{kViewX, kViewY, kViewX + 99, kViewY + 79}));
  pen(FPOINTER_MOVE, right_middle.x - 84, right_middle.y);
  EXPECT_TRUE(frect_equal(app_->resize_rect, FRect{kViewX, kViewY, kViewX + 15, kViewY + 79}));
  pen(FPOINTER_UP, right_middle.x - 84, right_middle.y);
  EXPECT_EQ(crop_fields(1), (std::vector<int32_t>{0, 0, 15, 79, 0, 0, 99, 79}));
  EXPECT_EQ(fbitmap_get_width(painting()), 16);
  EXPECT_EQ(key(kCtrlZ, FMOD_CTRL), 1);
  ASSERT_EQ(fbitmap_get_width(painting()), kWidth);
  EXPECT_EQ(app_->handle_points[3].x, right_middle.x);  // the handles followed the undo

  // Handle 3 dragged 20 to the right, by the pen's distance from the handle's point.
  pen(FPOINTER_DOWN, right_middle.x + 3, right_middle.y - 2);
  pen(FPOINTER_MOVE, right_middle.x + 20, right_middle.y - 2);
  pen(FPOINTER_UP, right_middle.x + 20, right_middle.y - 2);
  ASSERT_EQ(paint_history_get_count(app_->history), 2);  // the undone crop was replaced
  EXPECT_EQ(crop_fields(1),
            (std::vector<int32_t>{0, 0, kWidth + 19, kHeight - 1, 0, 0, kWidth - 1, kHeight - 1}));
  ASSERT_EQ(fbitmap_get_width(painting()), kWidth + 20);
  cairo_surface_flush(app_->paint->renderer_surface);
  EXPECT_EQ(rgb_at(painting(), 20, 10), ink);
  EXPECT_EQ(rgb_at(painting(), kWidth - 1, kHeight - 1), 0x0A141Eu);
  EXPECT_EQ(rgb_at(painting(), kWidth, 0), 0x0A141Eu);
  EXPECT_EQ(screen_at(kViewX + kWidth + 5, kViewY + 30), 0x0A141Eu);
  EXPECT_EQ(app_->handle_points[3].x, right_middle.x + 20);

  // Handle 0 dragged up and left: the view moves with the new top-left corner.
  pen(FPOINTER_DOWN, kViewX, kViewY);
  EXPECT_EQ(app_->active_handle, 0);
  pen(FPOINTER_MOVE, kViewX - 10, kViewY - 5);
  pen(FPOINTER_UP, kViewX - 10, kViewY - 5);
  EXPECT_EQ(crop_fields(2), (std::vector<int32_t>{-10, -5, kWidth + 19, kHeight - 1, 0, 0,
                                                  kWidth + 19, kHeight - 1}));
  EXPECT_EQ(view(), Pair(kViewX - 10, kViewY - 5));
  EXPECT_EQ(screen_at(kViewX + 20, kViewY + 10), ink);

  const Bytes live = painting_bytes();
  paint_history_rebuild(app_->history);
  EXPECT_EQ(painting_bytes(), live);
  paint_main_set_resize_mode(app_, 0);
  EXPECT_EQ(screen_at(kViewX - 15, kViewY - 10), 0x404040u);  // the overlay is gone
}

TEST_F(PaintMainTest, PickedColourKeepsTheAlphaAndReturnsToThePreviousTool) {
  paint_context_set_fore_color(app_->paint, fcolor_make(1, 2, 3, 128));
  ASSERT_EQ(paint_main_select_tool(app_, PAINT_TOOL_LINE), 1);
  ASSERT_EQ(paint_main_select_tool(app_, PAINT_TOOL_COLOR_PICKER), 1);
  EXPECT_EQ(paint_main_select_tool(app_, 999), 0);
  pen(FPOINTER_DOWN, kViewX + 5, kViewY + 5);
  pen(FPOINTER_UP, kViewX + 5, kViewY + 5);
  EXPECT_EQ(paint_context_get_fore_color(app_->paint), fcolor_make(10, 20, 30, 128));
  EXPECT_EQ(shape_get_id(app_->current_shape), PAINT_TOOL_LINE);
}

TEST_F(PaintMainTest, PenAndToolCallbacksReachTheBarsAndTheHandles) {
  // An open text bar takes the pen down and is committed; the tool does not draw.
  static int commits, hides;
  static FRect text_rect;
  commits = hides = 0;
  app_->_textbar = reinterpret_cast<TextBar*>(&commits);  // never dereferenced
  app_->seams.textbar_commit = [](AppContext* app) {
    ++commits;
    app->_textbar = nullptr;
  };
  pen(FPOINTER_DOWN, kViewX + 10, kViewY + 10);
  EXPECT_EQ(commits, 1);
  EXPECT_EQ(app_->_textbar, nullptr);
  pen(FPOINTER_UP, kViewX + 10, kViewY + 10);
  EXPECT_EQ(paint_history_get_count(app_->history), 0);
  EXPECT_EQ(fscreen_pointer(&screen_, 4, kViewX, kViewY, 0), 0);

  // Auto-hide: a pen down hides the toolbar, except for the pan tool.
  app_->toolbar = reinterpret_cast<Toolbar*>(&hides);  // never dereferenced
  app_->seams.toolbar_hide = [](AppContext*) { ++hides; };
  app_->seams.textbar_open = [](AppContext*, const FRect* rect) { text_rect = *rect; };
  stroke(kViewX + 10, kViewY + 10, kViewX + 20, kViewY + 10);
  EXPECT_EQ(hides, 1);
  ASSERT_EQ(paint_main_select_tool(app_, PAINT_TOOL_TEXT), 1);
  pen(FPOINTER_DOWN, kViewX + 10, kViewY + 15);
  pen(FPOINTER_MOVE, kViewX + 40, kViewY + 30);
  pen(FPOINTER_UP, kViewX + 40, kViewY + 30);
  EXPECT_TRUE(frect_equal(text_rect, FRect{kViewX + 10, kViewY + 15, kViewX + 40, kViewY + 30}));
  EXPECT_EQ(hides, 2);

  // The pan tool moves the view; in resize mode the handles follow it.
  paint_main_set_resize_mode(app_, 1);
  ASSERT_EQ(paint_main_select_tool(app_, PAINT_TOOL_PAN), 1);
  pen(FPOINTER_DOWN, kViewX + 50, kViewY + 20);
  pen(FPOINTER_MOVE, kViewX + 57, kViewY + 24);
  pen(FPOINTER_UP, kViewX + 57, kViewY + 24);
  EXPECT_EQ(hides, 2);
  EXPECT_EQ(view(), Pair(kViewX + 7, kViewY + 4));
  EXPECT_EQ(app_->handle_points[4].y, kViewY + 4 + kHeight - 1);
  paint_main_set_resize_mode(app_, 0);
  app_->current_shape = nullptr;
  EXPECT_EQ(fscreen_pointer(&screen_, FPOINTER_DOWN, kViewX, kViewY, 0), 0);
  app_->toolbar = nullptr;
  app_->seams = AppSeams{};
}

TEST_F(PaintMainTest, SendHandsTheAttachmentToTheMailProgramWithoutAShell) {
  fsys_set_spawn(record_spawn);
  g_spawn_result = 1;
  EXPECT_EQ(paint_main_send(app_), 1);
  const std::string attachment = std::string(fsys_temp_dir()) + "/attachment.jpg";
  EXPECT_EQ(g_spawned, (std::vector<std::string>{"xdg-email", "--attach", attachment}));
  FBitmap* jpeg = nullptr;
  ASSERT_EQ(jpegimage_read(&jpeg, attachment.c_str()), 1);
  EXPECT_EQ(fbitmap_get_width(jpeg), kWidth);
  fbitmap_destroy(jpeg);
  EXPECT_TRUE(g_messages.errors.empty());
  g_spawn_result = 0;  // no mail program
  EXPECT_EQ(paint_main_send(app_), 0);
  EXPECT_EQ(g_messages.errors, std::vector<std::u16string>{u"Can not send paint."});
}

TEST_F(PaintMainTest, DocumentCommandsNewClearZoomAndOpen) {
  stroke(kViewX + 10, kViewY + 10, kViewX + 50, kViewY + 50);
  const Bytes drawn = painting_bytes();
  paint_main_clear(app_);
  ASSERT_EQ(paint_history_get_count(app_->history), 2);
  EXPECT_EQ(paint_history_get_step(app_->history, 1)->type, PAINT_STEP_CLEAR);
  EXPECT_EQ(rgb_at(painting(), 30, 30), 0x0A141Eu);

  // Zoom keeping the centre: 100 x 80 at (190, 280) becomes 200 x 160 at (140, 240).
  paint_main_undo(app_);
  EXPECT_EQ(paint_main_zoom(app_, 2.0, 0), 1);
  EXPECT_EQ(fbitmap_get_width(painting()), 200);
  EXPECT_EQ(view(), Pair(140, 240));
  EXPECT_EQ(paint_main_zoom(app_, 0.0, 0), 0);
  EXPECT_EQ(g_messages.errors, std::vector<std::u16string>{u"Fail to complete this task."});
  EXPECT_EQ(paint_main_zoom(app_, 1.0, 1), 1);
  EXPECT_EQ(painting_bytes(), drawn);

  // A document larger than the screen opens zoomed out to fit and centred.
  const std::string doc = home_ + "/wide.plk";
  app_->config.new_width = 960;
  app_->config.new_height = 320;
  ASSERT_EQ(paint_main_new_empty(app_), 1);
  stroke(10, 400, 400, 400);
  paint_file_set_path(app_->file, doc.c_str());
  ASSERT_EQ(paint_main_save(app_), PAINT_FILE_DONE);
  ASSERT_EQ(paint_main_new_empty(app_), 1);
  ASSERT_EQ(paint_main_open_document(app_, doc.c_str()), 1);
  EXPECT_DOUBLE_EQ(paint_context_get_zoom(app_->paint), 0.5);
  EXPECT_EQ(fbitmap_get_height(painting()), 160);
  EXPECT_EQ(view(), Pair(0, 240));
  EXPECT_EQ(paint_history_get_count(app_->history), 1);
  EXPECT_EQ(paint_history_is_modified(app_->history), 0);
  EXPECT_EQ(paint_file_get_path(app_->file), doc);

  // A picture becomes a new painting; an unreadable one is reported and changes nothing.
  FBitmap* picture = fbitmap_create(30, -20, 24);
  fbitmap_fill_rect(picture, 0, 0, 29, 19, fcolor_make(1, 200, 3, 255));
  const std::string png = home_ + "/picture.png";
  ASSERT_EQ(pngimage_write(picture, png.c_str()), 1);
  fbitmap_destroy(picture);
  g_messages.errors.clear();
  ASSERT_EQ(paint_main_open_path(app_, png.c_str()), 1);
  EXPECT_EQ(rgb_at(painting(), 5, 5), 0x01C803u);
  EXPECT_TRUE(paint_file_get_path(app_->file).empty());
  const std::string missing = home_ + "/missing.gif";
  EXPECT_EQ(paint_main_open_path(app_, missing.c_str()), 0);
  EXPECT_EQ(g_messages.errors, std::vector<std::u16string>{u"Cannot open file \"" +
                                                           std::u16string(missing.begin(), missing.end()) + u"\""});
  EXPECT_EQ(fbitmap_get_width(painting()), 30);
}

}  // namespace
