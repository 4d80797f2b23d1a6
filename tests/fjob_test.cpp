// Picture jobs: the reader is picked by the extension whatever its case, the writer by
// type; the result reaches the owner's continuation from faomngr_run_due with the owner's
// value, never inside the start call; cancel and destroy (also from the continuation)
// keep the continuation from running.

#include "fjob.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "fbitmap.h"
#include "gifimage.h"
#include "jpegimage.h"
#include "picture_files.h"
#include "pngimage.h"
#include "win_ao.h"

namespace {

struct Call {
  FJob* job;
  int result;
  void* owner_value;
};
std::vector<Call> g_calls;
int owner_a, owner_b;  // their addresses serve as owner values

struct PictureJobTest : testing::Test {
  FJob* job = nullptr;
  FBitmap* picture = nullptr;  // 5 x 3, 24-bit, top-down
  void SetUp() override {
    g_calls.clear();
    ASSERT_EQ(faomngr_init(), 1);
    job = fjob_create([](FJob* j, int result, void* value) { g_calls.push_back({j, result, value}); });
    ASSERT_NE(job, nullptr);
    picture = fbitmap_create(5, -3, 24);
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 5; ++x) fbitmap_set_pixel(picture, x, y, 0x102030u + 0x010101u * static_cast<uint32_t>(x + y));
  }
  void TearDown() override {
    if (job) fjob_destroy(job);
    fbitmap_destroy(picture);
    faomngr_shutdown();
  }
  // Runs the loop once: exactly one report, never one from inside the start call.
  const Call& report() {
    EXPECT_TRUE(g_calls.empty());
    faomngr_run_due();
    EXPECT_EQ(g_calls.size(), 1u);
    static const Call none{};
    return g_calls.empty() ? none : g_calls[0];
  }
};

}  // namespace

TEST_F(PictureJobTest, LoadPicksTheReaderByExtensionAndReportsFromTheLoop) {
  ASSERT_EQ(pngimage_write(picture, picture_test_path("source.png").c_str()), 1);
  ASSERT_EQ(jpegimage_write(picture, picture_test_path("source.jpg").c_str(), 90), 1);
  ASSERT_EQ(fbitmap_save_bmp(picture, picture_test_path("source.bmp").c_str()), 1);
  ASSERT_EQ(gifimage_write(picture, picture_test_path("source.gif").c_str(), 0), 1);
  mkdir(picture_test_path("dotted.png").c_str(), 0755);
  struct Case {
    const char *source, *name;  // source copied under name; no source: missing
    int result, alpha;          // alpha: an alpha bitmap comes with the colour
  };
  const Case cases[] = {
      {"source.bmp", "a.BMP", 1, 0}, {"source.png", "a.Png", 1, 1},        {"source.jpg", "a.JPG", 1, 0},
      {"source.jpg", "a.jpeg", 1, 0}, {"source.gif", "a.GIF", 1, 0},       {"source.png", "a.tif", 0, 0},
      {"source.png", "no-extension", 0, 0}, {"source.png", "a.png.tif", 0, 0},
      {"source.png", "dotted.png/inside", 0, 0}, {nullptr, "missing.png", 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string path = picture_test_path(c.name);
    if (c.source) picture_write_file(path, picture_read_file(picture_test_path(c.source)));
    g_calls.clear();
    FBitmap* color = reinterpret_cast<FBitmap*>(1);
    FBitmap* alpha = reinterpret_cast<FBitmap*>(1);
    fjob_load_picture(job, &color, &alpha, path.c_str(), &owner_a);
    EXPECT_TRUE(fao_is_pending(job->object));
    const Call& call = report();
    EXPECT_EQ(call.job, job);
    EXPECT_EQ(call.result, c.result);
    EXPECT_EQ(call.owner_value, &owner_a);
    EXPECT_EQ(job->result, c.result);
    EXPECT_EQ(color != nullptr, c.result == 1);
    EXPECT_EQ(alpha != nullptr, c.alpha == 1);
    if (color) {
      EXPECT_EQ(fbitmap_get_width(color), 5);
      EXPECT_EQ(fbitmap_get_height(color), 3);
      uint8_t top_left[4] = {};
      fbitmap_get_rgba(color, 0, 0, top_left);
      EXPECT_NEAR(top_left[2], 0x10, 12);  // red; JPEG is lossy
      fbitmap_destroy(color);
    }
    if (alpha) fbitmap_destroy(alpha);
  }
}

TEST_F(PictureJobTest, SavePicksTheWriterByTypeAndReportsFromTheLoop) {
  FBitmap* grey = fbitmap_create(4, 4, 8);  // cannot be exported as PNG or JPEG
  struct Case {
    int type;
    FBitmap* source;
    const char* name;
    int result;
    std::string start;  // the written file's first bytes
  };
  const Case cases[] = {
      {FJOB_TYPE_PNG, picture, "out.png", 1, "\x89PNG"}, {FJOB_TYPE_JPEG, picture, "out.jpg", 1, "\xFF\xD8\xFF"},
      {FJOB_TYPE_GIF, picture, "out.gif", 1, "GIF8"},    {FJOB_TYPE_NONE, picture, "none.bmp", 0, ""},
      {7, picture, "seven.png", 0, ""},                  {FJOB_TYPE_PNG, grey, "grey.png", 0, ""},
      {FJOB_TYPE_JPEG, grey, "grey.jpg", 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    g_calls.clear();
    std::string path = picture_test_path(c.name);
    fjob_save_picture(job, c.type, c.source, path.c_str(), 75, &owner_b);
    const Call& call = report();
    EXPECT_EQ(call.result, c.result);
    EXPECT_EQ(call.owner_value, &owner_b);
    Bytes written = picture_read_file(path);
    EXPECT_EQ(std::string(written.begin(), written.begin() + std::min(written.size(), c.start.size())), c.start);
  }
  fbitmap_destroy(grey);
}

TEST_F(PictureJobTest, CancelOrDestroyKeepsTheContinuationFromRunningAndItMayDestroyItsJob) {
  fjob_save_picture(job, FJOB_TYPE_PNG, picture, picture_test_path("cancelled.png").c_str(), 0, &owner_a);
  fjob_cancel(job);
  faomngr_run_due();
  EXPECT_TRUE(g_calls.empty());
  EXPECT_EQ(job->result, 1);  // the work itself was done at once

  fjob_save_picture(job, FJOB_TYPE_NONE, picture, picture_test_path("x").c_str(), 0, &owner_a);
  fjob_destroy(job);
  job = nullptr;
  faomngr_run_due();
  EXPECT_TRUE(g_calls.empty());

  // The owner's usual pattern: take the result and destroy the job in the continuation.
  static int destroyed;
  destroyed = 0;
  FJob* once = fjob_create([](FJob* self, int, void*) {
    fjob_destroy(self);
    ++destroyed;
  });
  for (int i = 0; i < 2; ++i)
    fjob_save_picture(once, FJOB_TYPE_PNG, picture, picture_test_path("once.png").c_str(), 0, nullptr);
  faomngr_run_due();
  faomngr_run_due();
  EXPECT_EQ(destroyed, 1);  // two signals before the loop: one report
}

TEST(PictureJobType, ExtensionsMapToTypesWithoutRegardToCase) {
  const std::pair<const char*, int> cases[] = {
      {"PNG", FJOB_TYPE_PNG},   {"pNg", FJOB_TYPE_PNG},   {"JPG", FJOB_TYPE_JPEG}, {"jpeg", FJOB_TYPE_JPEG},
      {"JpEg", FJOB_TYPE_JPEG}, {"gif", FJOB_TYPE_GIF},   {"bmp", FJOB_TYPE_NONE}, {".png", FJOB_TYPE_NONE},
      {"pngx", FJOB_TYPE_NONE}, {"jp", FJOB_TYPE_NONE},   {"", FJOB_TYPE_NONE},    {nullptr, FJOB_TYPE_NONE},
  };
  for (auto [extension, type] : cases) EXPECT_EQ(fjob_type_from_extension(extension), type) << (extension ? extension : "null");
}
