// The settings file: defaults by screen, the exact bytes written, round trips with markup and
// non-Latin paths, the colour, number and recent-colour readers, and files to ignore.

#include "paint_config.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <tuple>

#include "fsafe_file.h"
#include "fsys.h"

namespace {

std::string read_all(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

bool exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

class PaintConfigTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Never the real home. Tests of this file run in parallel processes sharing
    // PENLARK_HOME: each gets its own folder below it, config.xml included.
    static const std::string root = [] {
      const char* home = std::getenv("PENLARK_HOME");
      return std::string(home && *home ? home : testing::TempDir() + "penlark-config");
    }();
    mkdir(root.c_str(), 0755);
    home_ = root + "/" + testing::UnitTest::GetInstance()->current_test_info()->name();
    mkdir(home_.c_str(), 0755);
    setenv("PENLARK_HOME", home_.c_str(), 1);
    fsys_reset_folders();
    file_ = home_ + "/settings_under_test.xml";
    unlink(file_.c_str());
    paint_config_defaults(&config_, 480, 640, "/docs");
  }
  void TearDown() override { fsafe_file_fail_after(-1); }

  // Loads `body` wrapped in the root element into the defaults.
  int load_body(const std::string& body) {
    std::ofstream(file_, std::ios::binary) << "<Penlark>\n" << body << "</Penlark>\n";
    return paint_config_load_file(&config_, file_.c_str());
  }

  std::string home_;
  std::string file_;
  PaintConfig config_{};
};

// The written text holds every field, the paths escaped one to one.
void expect_same(const PaintConfig& a, const PaintConfig& b) {
  EXPECT_EQ(paint_config_format(&a), paint_config_format(&b));
}

}  // namespace

TEST_F(PaintConfigTest, DefaultsFollowTheScreenAndItsResolution) {
  // The high-resolution defaults are in the exact bytes below.
  PaintConfig low{};
  paint_config_defaults(&low, 240, 320, "/");
  EXPECT_EQ(low.my_paints_dir, "/Penlark");
  EXPECT_EQ(std::tuple(low.tb_width1, low.tb_height1, low.tb_width2, low.tb_height2),
            std::tuple(230, 60, 60, 230));
  for (auto [w, h, low_res] : {std::tuple{240, 320, 1}, {320, 240, 1}, {320, 320, 1},
                               {320, 480, 0}, {480, 480, 0}})
    EXPECT_EQ(paint_config_is_low_res(w, h), low_res) << w << "x" << h;
}

TEST_F(PaintConfigTest, SavedDefaultsHaveTheseExactBytes) {
  ASSERT_EQ(paint_config_save_file(&config_, file_.c_str()), 1);
  EXPECT_EQ(read_all(file_),
            "<Penlark>\n"
            "<NewWidth>480</NewWidth>\n"
            "<NewHeight>640</NewHeight>\n"
            "<NewColor>10092543</NewColor>\n"
            "<ForeColor>153,204,0,255</ForeColor>\n"
            "<BackColor>10092543</BackColor>\n"
            "<PenSize>7</PenSize>\n"
            "<PenStyle>1</PenStyle>\n"
            "<FillStyle>0</FillStyle>\n"
            "<FontStyle>0</FontStyle>\n"
            "<PictureStyle>1</PictureStyle>\n"
            "<MyPaintsDir>/docs/Penlark</MyPaintsDir>\n"
            "<OpenDir>/</OpenDir>\n"
            "<SaveDir>/docs/Penlark</SaveDir>\n"
            "<TBTranslucent>1</TBTranslucent>\n"
            "<TBAutoHide>1</TBAutoHide>\n"
            "<TBX1>5</TBX1>\n"
            "<TBY1>5</TBY1>\n"
            "<TBWidth1>470</TBWidth1>\n"
            "<TBHeight1>120</TBHeight1>\n"
            "<TBX2>5</TBX2>\n"
            "<TBY2>5</TBY2>\n"
            "<TBWidth2>120</TBWidth2>\n"
            "<TBHeight2>470</TBHeight2>\n"
            "<RecentColorNum>1</RecentColorNum>\n"
            "<RecentColors>0,0,0,0,0,0,0,0,</RecentColors>\n"
            "</Penlark>\n");
  EXPECT_FALSE(exists(file_ + ".part"));
}

TEST_F(PaintConfigTest, EveryElementSurvivesARoundTrip) {
  PaintConfig saved{};
  paint_config_defaults(&saved, 800, 600, "/elsewhere");
  saved.new_width = 1024, saved.new_height = -3;
  saved.new_color = fcolor_make(1, 2, 3, 255);
  saved.fore_color = fcolor_make(10, 20, 30, 40);
  saved.back_color = fcolor_make(250, 128, 0, 255);
  saved.pen_size = 31, saved.pen_style = 4, saved.fill_style = 2, saved.font_style = 5;
  saved.picture_style = 0;
  saved.my_paints_dir = "/home/Zoë/画图 & <sketches> \"q\"";
  saved.open_dir = "/literal/&lt;&amp;&quot;&gt;/dir";
  saved.save_dir = "/odd/name^";
  saved.tb_translucent = 0;
  saved.tb_auto_hide = 255;
  saved.tb_x1 = 11, saved.tb_y1 = 12, saved.tb_width1 = 13, saved.tb_height1 = 14;
  saved.tb_x2 = -15, saved.tb_y2 = 16, saved.tb_width2 = 17, saved.tb_height2 = 2147483647;
  saved.recent_color_num = 8;
  for (int i = 0; i < 8; ++i) saved.recent_colors[i] = 0x10101 * (i + 1) + i;
  ASSERT_EQ(paint_config_save_file(&saved, file_.c_str()), 1);

  const std::string text = read_all(file_);
  EXPECT_NE(text.find("<MyPaintsDir>/home/Zoë/画图 &amp; &lt;sketches&gt; &quot;q&quot;</MyPaintsDir>"),
            std::string::npos);
  EXPECT_NE(text.find("<SaveDir>/odd/name^ </SaveDir>"), std::string::npos);
  ASSERT_EQ(paint_config_load_file(&config_, file_.c_str()), 1);
  expect_same(config_, saved);

  // A path ending in paired circumflexes needs no blank.
  saved.save_dir = "/odd/name^^";
  ASSERT_EQ(paint_config_save_file(&saved, file_.c_str()), 1);
  EXPECT_NE(read_all(file_).find("<SaveDir>/odd/name^^</SaveDir>"), std::string::npos);
  ASSERT_EQ(paint_config_load_file(&config_, file_.c_str()), 1);
  EXPECT_EQ(config_.save_dir, "/odd/name^^");
}

TEST_F(PaintConfigTest, FilesWrittenWithRawPathsReadAsTheyAlwaysDid) {
  ASSERT_EQ(load_body("<MyPaintsDir>/a&b</MyPaintsDir>\n"
                      "<OpenDir>/a&lt;b</OpenDir>\n"
                      "<SaveDir>/x&amp;lt;y</SaveDir>\n"), 1);
  EXPECT_EQ(config_.my_paints_dir, "/a&b");
  EXPECT_EQ(config_.open_dir, "/a<b");
  EXPECT_EQ(config_.save_dir, "/x&lt;y");  // decoded once, not twice

  // Loaded paths keep at most 260 characters, cut between UTF-8 sequences.
  std::string long_path = "/";
  for (int i = 0; i < 300; ++i) long_path += "é";
  ASSERT_EQ(load_body("<OpenDir>" + long_path + "</OpenDir>\n"), 1);
  EXPECT_EQ(config_.open_dir, long_path.substr(0, 1 + 259 * 2));
}

TEST_F(PaintConfigTest, ColoursReadComponentByComponent) {
  // Low 8 bits of each; an empty value ends the reading.
  for (auto [text, want] : {std::pair{"10,20", fcolor_make(10, 20, 0, 255)},
                            {"300,256,511,1000", fcolor_make(44, 0, 255, 232)},
                            {"7,,9", fcolor_make(7, 0, 0, 255)},
                            {" 5x, -1,99999999999,+6", fcolor_make(5, 255, 255, 6)}}) {
    FColor color = 0;
    paint_config_parse_color(text, &color);
    EXPECT_EQ(color, want) << text;
  }

  // In the file: ForeColor with commas uses that reader; without one it reads like
  // NewColor and keeps the alpha it had.
  config_.fore_color = fcolor_make(9, 9, 9, 100);
  config_.back_color = fcolor_make(0, 0, 0, 77);
  ASSERT_EQ(load_body("<ForeColor>255</ForeColor>\n<NewColor>197121</NewColor>\n"
                      "<BackColor>-1</BackColor>\n"), 1);
  EXPECT_EQ(config_.fore_color, fcolor_make(255, 0, 0, 100));
  EXPECT_EQ(config_.new_color, fcolor_make(1, 2, 3, 255));
  EXPECT_EQ(config_.back_color, fcolor_make(255, 255, 255, 77));
  ASSERT_EQ(load_body("<ForeColor>1,2,3</ForeColor>\n"), 1);
  EXPECT_EQ(config_.fore_color, fcolor_make(1, 2, 3, 255));
}

TEST_F(PaintConfigTest, NumbersTakeLeadingDigitsAndClamp) {
  ASSERT_EQ(load_body("<NewWidth>99999999999</NewWidth>\n"
                      "<NewHeight>-99999999999</NewHeight>\n"
                      "<PenSize>12px</PenSize>\n"
                      "<PenStyle>wide</PenStyle>\n"
                      "<FillStyle>+3</FillStyle>\n"
                      "<TBTranslucent>257</TBTranslucent>\n"
                      "<TBX1></TBX1>\n"), 1);
  EXPECT_EQ(config_.new_width, 2147483647);
  EXPECT_EQ(config_.new_height, -2147483647 - 1);
  EXPECT_EQ(config_.pen_size, 12);
  EXPECT_EQ(config_.pen_style, 0);
  EXPECT_EQ(config_.fill_style, 3);
  EXPECT_EQ(config_.tb_translucent, 1);
  EXPECT_EQ(config_.tb_x1, 0);
  EXPECT_EQ(config_.tb_y1, 5);  // absent: default kept
}

TEST_F(PaintConfigTest, RecentColoursCountOnlyNumbersClosedByACommaUpToTheCount) {
  for (int i = 0; i < 8; ++i) config_.recent_colors[i] = 100 + i;
  struct Case {
    const char *count, *colors;
    int32_t num, slot1, slot2;
  } cases[] = {
      {"2", "5,6,7,", 2, 6, 102},
      {"3", "9,8,7", 3, 8, 102},  // the last number has no comma
      // The count indexes eight slots, so it is kept within 0..8.
      {"20", "1,2,3,4,5,6,7,8,9,10,", 8, 2, 3},
      {"-4", "50,", 0, 2, 3},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(load_body(std::string("<RecentColorNum>") + c.count + "</RecentColorNum>\n"
                        "<RecentColors>" + c.colors + "</RecentColors>\n"), 1);
    EXPECT_EQ(config_.recent_color_num, c.num) << c.count;
    EXPECT_EQ(config_.recent_colors[1], c.slot1) << c.count;
    EXPECT_EQ(config_.recent_colors[2], c.slot2) << c.count;
  }
  EXPECT_EQ(config_.recent_colors[7], 8);
}

TEST_F(PaintConfigTest, UnusableFilesAndAbsentElementsLeaveTheDefaults) {
  PaintConfig defaults{};
  paint_config_defaults(&defaults, 480, 640, "/docs");

  EXPECT_EQ(paint_config_load_file(&config_, file_.c_str()), 0);  // missing
  std::ofstream(file_, std::ios::binary) << "<Settings><NewWidth>1</NewWidth></Settings>\n"
                                         << "<Penlark><NewWidth>2</NewWidth></Penlark>\n";
  EXPECT_EQ(paint_config_load_file(&config_, file_.c_str()), 0);  // another root
  std::ofstream(file_, std::ios::binary) << "<Penlark><NewWidth>3</NewHeight></Penlark>\n";
  EXPECT_EQ(paint_config_load_file(&config_, file_.c_str()), 0);  // malformed
  expect_same(config_, defaults);

  ASSERT_EQ(load_body("<PenSize>9</PenSize>\n<Unknown>1</Unknown>\n"), 1);
  EXPECT_EQ(config_.pen_size, 9);
  config_.pen_size = defaults.pen_size;
  expect_same(config_, defaults);
}

TEST_F(PaintConfigTest, TheStateFolderFileAndTheSaveDirCheck) {
  EXPECT_EQ(paint_config_path(), home_ + "/config.xml");
  const std::string paints = home_ + "/Documents";
  mkdir(paints.c_str(), 0755);
  PaintConfig saved{};
  paint_config_defaults(&saved, 480, 640, paints.c_str());
  mkdir(saved.my_paints_dir.c_str(), 0755);
  saved.save_dir = home_;
  ASSERT_EQ(paint_config_save(&saved), 1);
  ASSERT_EQ(paint_config_load(&config_), 1);
  EXPECT_EQ(config_.save_dir, home_);  // an existing folder stays

  saved.save_dir = home_ + "/gone";
  ASSERT_EQ(paint_config_save(&saved), 1);
  ASSERT_EQ(paint_config_load(&config_), 1);
  EXPECT_EQ(config_.save_dir, saved.my_paints_dir);

  // The check holds with no file at all.
  unlink((home_ + "/config.xml").c_str());
  config_.save_dir = "/no/such/folder";
  EXPECT_EQ(paint_config_load(&config_), 0);
  EXPECT_EQ(config_.save_dir, config_.my_paints_dir);
}

TEST_F(PaintConfigTest, AFailedSaveKeepsTheOldSettings) {
  ASSERT_EQ(paint_config_save_file(&config_, file_.c_str()), 1);
  const std::string before = read_all(file_);
  PaintConfig changed = config_;
  changed.pen_size = 40;
  fsafe_file_fail_after(100);
  EXPECT_EQ(paint_config_save_file(&changed, file_.c_str()), 0);
  fsafe_file_fail_after(-1);
  EXPECT_EQ(read_all(file_), before);
  EXPECT_FALSE(exists(file_ + ".part"));

  // A folder that cannot hold the file writes nothing.
  EXPECT_EQ(paint_config_save_file(&changed, (home_ + "/missing/config.xml").c_str()), 0);
}
