// The command line run in-process: options and their refusals, exit statuses and messages,
// exports compared pixel for pixel with the painting drawn live, the --info JSON byte for
// byte, thumbnails, and failures that never leave a partial output nor touch an old one.

#include "paint_cli.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <string>
#include <vector>

#include "fbitmap.h"
#include "fbytes.h"
#include "fsafe_file.h"
#include "fsys.h"
#include "paint_context.h"
#include "paint_file.h"
#include "paint_history.h"
#include "paint_tools.h"
#include "pngimage.h"
#include "shape.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::string read_text(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}
void write_file(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}
bool exists(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0;
}
FColor rgb(uint8_t r, uint8_t g, uint8_t b) { return fcolor_make(r, g, b, 255); }

struct CliRun {
  int status;
  std::string out, err;
};

std::string drain(std::FILE* file) {
  std::string text;
  std::rewind(file);
  for (int c; (c = std::fgetc(file)) != EOF;) text.push_back(static_cast<char>(c));
  std::fclose(file);
  return text;
}

CliRun run_cli(std::initializer_list<std::string> args) {
  std::vector<std::string> storage{"penlark"};
  storage.insert(storage.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : storage) argv.push_back(arg.data());
  argv.push_back(nullptr);
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  int status = paint_cli_run(static_cast<int>(storage.size()), argv.data(), out, err);
  return CliRun{status, drain(out), drain(err)};
}

// Blue, green, red of every pixel, top row first, whatever the bitmap's format.
Bytes rgb_pixels(const FBitmap* bitmap) {
  Bytes out;
  for (int32_t y = 0; y < fbitmap_get_height(bitmap); ++y) {
    for (int32_t x = 0; x < fbitmap_get_width(bitmap); ++x) {
      uint8_t p[4];
      fbitmap_get_rgba(bitmap, x, y, p);
      out.insert(out.end(), p, p + 3);
    }
  }
  return out;
}

class PaintCliTest : public testing::Test {
 protected:
  void SetUp() override {
    static const std::string root = [] {
      const char* base = std::getenv("PENLARK_HOME");
      return std::string(base ? base : testing::TempDir() + "penlark-cli");
    }();
    mkdir(root.c_str(), 0755);
    home_ = root + "/" + testing::UnitTest::GetInstance()->current_test_info()->name();
    std::filesystem::remove_all(home_);
    mkdir(home_.c_str(), 0755);
    setenv("PENLARK_HOME", home_.c_str(), 1);
    fsys_reset_folders();
    fsafe_file_fail_after(-1);
  }
  void TearDown() override { fsafe_file_fail_after(-1); }

  std::string path(const std::string& name) const { return home_ + "/" + name; }

  // A 40 x 30 document in (10, 20, 30) drawn with the real tools: a filled rectangle, a
  // line, a crop that widens the canvas to 50, then a rectangle that is undone. `live`
  // receives the painting as drawn before the undone step.
  void make_document(const std::string& file, Bytes* live) {
    PaintContext* pc = paint_context_create(nullptr, 40, 30, rgb(0, 0, 0), rgb(255, 255, 255),
                                            rgb(10, 20, 30), 3, 1, 0, 0);
    ASSERT_NE(pc, nullptr);
    paint_context_set_screen_size(pc, 480, 640);
    PaintHistory* history = paint_history_create(pc, "");
    Shape* tools[PAINT_TOOL_COUNT];
    ASSERT_EQ(paint_tools_create(pc, history, nullptr, tools), 1);
    paint_context_fill_base(pc);
    auto figure = [&](uint32_t id, int32_t l, int32_t t, int32_t r, int32_t b, FColor fore) {
      paint_context_set_fore_color(pc, fore);
      uint8_t data[16];
      int32_t fields[4] = {l, t, r, b};
      for (int i = 0; i < 4; ++i) fbytes_put_i32(data + 4 * i, fields[i]);
      Shape* shape = paint_context_find_shape(pc, id);
      shape_load(shape, data, 16);
      shape_draw(shape, paint_context_get_renderer(pc), nullptr, 1.0);
      ASSERT_NE(paint_history_add(history, static_cast<int32_t>(id), data, 16), nullptr);
    };
    figure(PAINT_TOOL_RECT_FILLED, 2, 2, 12, 10, rgb(200, 0, 0));
    figure(PAINT_TOOL_LINE, 0, 29, 39, 0, rgb(0, 200, 0));
    ASSERT_EQ(paint_context_crop(pc, 0, 0, 50, 30), 1);
    uint8_t crop[PAINT_STEP_CROP_SIZE];
    int32_t fields[8] = {0, 0, 49, 29, 0, 0, 39, 29};
    for (int i = 0; i < 8; ++i) fbytes_put_i32(crop + 4 * i, fields[i]);
    ASSERT_NE(paint_history_add(history, PAINT_STEP_CROP, crop, PAINT_STEP_CROP_SIZE), nullptr);
    FBitmap* painting = paint_context_get_painting(pc);
    cairo_surface_flush(cairo_get_target(paint_context_get_renderer(pc)));
    *live = rgb_pixels(painting);
    figure(PAINT_TOOL_RECT_FILLED, 20, 5, 45, 20, rgb(0, 0, 200));
    paint_history_set_current(history, 2);
    PaintFile* doc = paint_file_create(pc, history, nullptr);
    paint_file_set_path(doc, file.c_str());
    ASSERT_EQ(paint_file_save(doc), PAINT_FILE_DONE);
    paint_file_recent_folders_forget();
    paint_file_destroy(doc);
    paint_tools_destroy(tools);
    paint_history_destroy(history);
    paint_context_destroy(pc);
  }

  // A w x h picture written as PNG, each pixel (x * 4, y * 4, 99).
  std::string make_picture(const std::string& name, int32_t w, int32_t h) {
    FBitmap* bitmap = fbitmap_create(w, -h, 24);
    for (int32_t y = 0; y < h; ++y) {
      for (int32_t x = 0; x < w; ++x) {
        uint8_t* p = fbitmap_pixel_address(bitmap, x, y);
        p[0] = 99, p[1] = static_cast<uint8_t>(y * 4), p[2] = static_cast<uint8_t>(x * 4);
      }
    }
    std::string file = path(name);
    EXPECT_EQ(pngimage_write(bitmap, file.c_str()), 1);
    fbitmap_destroy(bitmap);
    return file;
  }

  std::string home_;
};

TEST_F(PaintCliTest, HelpListsEveryOptionAndKeyAndVersionPrintsIt) {
  CliRun help = run_cli({"--help"});
  EXPECT_EQ(help.status, PAINT_CLI_OK);
  EXPECT_TRUE(help.err.empty());
  for (const char* text : {"--export=OUT", "--thumbnail=OUT.png", "--info", "Exit status"})
    EXPECT_NE(help.out.find(text), std::string::npos) << text;
  EXPECT_EQ(run_cli({"-h"}).out, help.out);
  CliRun version = run_cli({"--version"});
  EXPECT_EQ(version.status, PAINT_CLI_OK);
  EXPECT_EQ(version.out, std::string("penlark ") + PAINT_CLI_VERSION + "\n");
}

TEST_F(PaintCliTest, UsageErrorsExitTwoWithTheReasonAndWriteNothing) {
  std::string picture = make_picture("in.png", 8, 8);
  std::string out = path("out.png"), jpg = "--export=" + path("o.jpg");
  struct Case {
    std::initializer_list<std::string> args;
    const char* message;
  };
  const Case cases[] = {
      {{"--frobnicate"}, "unknown option --frobnicate"},
      {{"--export=" + out, "--info", picture}, "choose one of"},
      {{"--export=" + out}, "exactly one FILE"},
      {{"--export=" + out, picture, picture}, "exactly one FILE"},
      {{"--export=", picture}, "--export wants an output file"},
      {{"--export=" + path("out.tiff"), picture}, "cannot tell the format"},
      {{jpg, "--jpeg-quality=101", picture}, "from 0 to 100"},
      {{jpg, "--jpeg-quality=7x", picture}, "from 0 to 100"},
      {{"--export=" + out, "--jpeg-quality=50", picture}, "goes with a .jpg"},
      {{"--export=" + path("o.bmp"), "--bmp=16", picture}, "24, 256 or grey"},
      {{"--export=" + out, "--bmp=256", picture}, "goes with a .bmp"},
      {{"--info", "--jpeg-quality=50", picture}, "go with --export"},
      {{"--thumbnail=" + path("t.jpg"), picture}, "must end in .png"},
      {{"--thumbnail=" + out, "--size=0", picture}, "from 1 to 4096"},
      {{"--thumbnail=" + out, "--size=4097", picture}, "from 1 to 4096"},
      {{"--export=" + out, "--size=5", picture}, "--size goes with --thumbnail"},
      {{"--screen=10x10", "--info", picture}, "--screen wants WxH"},
      {{picture, picture}, "one FILE at most"},
  };
  for (const Case& c : cases) {
    CliRun run = run_cli(c.args);
    EXPECT_EQ(run.status, PAINT_CLI_USAGE) << c.message;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("(see --help)"), std::string::npos) << run.err;
    EXPECT_TRUE(run.out.empty());
  }
  for (const char* name : {"out.png", "out.tiff", "o.jpg", "o.bmp", "t.jpg"})
    EXPECT_FALSE(exists(path(name))) << name;
}

TEST_F(PaintCliTest, InfoDescribesADocumentAndAPictureExactly) {
  std::string doc = path("doc.plk");
  Bytes live;
  make_document(doc, &live);
  CliRun run = run_cli({"--info", doc});
  EXPECT_EQ(run.status, PAINT_CLI_OK) << run.err;
  EXPECT_EQ(run.out,
            "{\"width\":40,\"height\":30,\"canvas\":\"#0a141e\",\"picture\":false,\"steps\":4,"
            "\"current\":2,\"types\":{\"2\":1,\"102\":2,\"1010\":1}}\n");
  EXPECT_TRUE(run.err.empty());

  // A picture, and a document whose base is that picture, keep the picture's size.
  std::string picture = make_picture("pic.png", 12, 7);
  std::string from_picture = path("from-picture.plk");
  ASSERT_EQ(run_cli({"--export=" + from_picture, picture}).status, PAINT_CLI_OK);
  for (const std::string& file : {picture, from_picture}) {
    run = run_cli({"--info", file});
    EXPECT_EQ(run.status, PAINT_CLI_OK) << run.err;
    EXPECT_EQ(run.out,
              "{\"width\":12,\"height\":7,\"canvas\":\"#ffffff\",\"picture\":true,\"steps\":0,"
              "\"current\":-1,\"types\":{}}\n");
  }
}

TEST_F(PaintCliTest, ExportReplaysTheDocumentToThePaintingDrawnLive) {
  std::string doc = path("doc.plk");
  Bytes live;
  make_document(doc, &live);
  ASSERT_EQ(live.size(), 50u * 30u * 3u);
  // PNG and true-colour BMP are lossless: every pixel of the replay equals the live one.
  // The other BMP kinds are 8-bit: the canvas (10, 20, 30) in grey is
  // (77 R + 151 G + 28 B) >> 8 = 18, and with 256 colours its nibbles (blue, green, red).
  struct Bmp {
    const char *name, *kind;
    uint8_t canvas[3];
  } bmps[] = {{"doc.bmp", nullptr, {30, 20, 10}}, {"grey.bmp", "grey", {18, 18, 18}},
              {"256.bmp", "256", {16, 16, 0}}};
  for (auto [name, kind, canvas] : bmps) {
    std::string out = path(name);
    CliRun run = kind ? run_cli({"--export=" + out, std::string("--bmp=") + kind, doc})
                      : run_cli({"--export=" + out, doc});
    ASSERT_EQ(run.status, PAINT_CLI_OK) << name << ": " << run.err;
    EXPECT_TRUE(run.out.empty());
    FBitmap bitmap{};
    ASSERT_EQ(fbitmap_load_bmp(&bitmap, out.c_str()), 1);
    EXPECT_EQ(fbitmap_get_bpp(&bitmap), kind ? 8 : 24);
    if (!kind) { EXPECT_EQ(rgb_pixels(&bitmap), live); }
    uint8_t p[4];
    fbitmap_get_rgba(&bitmap, 45, 25, p);
    EXPECT_EQ(Bytes(p, p + 3), Bytes(canvas, canvas + 3)) << name;
    fbitmap_release(&bitmap);
  }
  for (const char* name : {"doc.png", "DOC.PNG"}) {
    ASSERT_EQ(run_cli({"--export=" + path(name), doc}).status, PAINT_CLI_OK) << name;
    FBitmap* color = nullptr;
    FBitmap* alpha = nullptr;
    ASSERT_EQ(pngimage_read(&color, &alpha, path(name).c_str()), 1);
    EXPECT_EQ(rgb_pixels(color), live) << name;
    fbitmap_destroy(color);
    fbitmap_destroy(alpha);
  }

  // A re-export as a document keeps the base, the steps and the current index.
  std::string again = path("again.plk");
  ASSERT_EQ(run_cli({"--export=" + again, doc}).status, PAINT_CLI_OK);
  EXPECT_EQ(run_cli({"--info", again}).out, run_cli({"--info", doc}).out);

  // JPEG: the quality reaches the encoder; 0 and 100 are both accepted.
  std::string low = path("low.jpg"), high = path("high.jpeg"), plain = path("plain.jpg");
  ASSERT_EQ(run_cli({"--export=" + low, "--jpeg-quality=0", doc}).status, PAINT_CLI_OK);
  ASSERT_EQ(run_cli({"--export=" + high, "--jpeg-quality=100", doc}).status, PAINT_CLI_OK);
  ASSERT_EQ(run_cli({"--export=" + plain, doc}).status, PAINT_CLI_OK);
  EXPECT_LT(read_text(low).size(), read_text(plain).size());
  EXPECT_LT(read_text(plain).size(), read_text(high).size());
  ASSERT_EQ(run_cli({"--export=" + path("doc.gif"), doc}).status, PAINT_CLI_OK);
  EXPECT_EQ(read_text(path("doc.gif")).substr(0, 3), "GIF");
}

TEST_F(PaintCliTest, UnreadableInputsExitOneAndLeaveOutputsAlone) {
  std::string out = path("out.png"), garbage = path("garbage.plk"), cut = path("cut.plk");
  write_file(out, "old contents");
  write_file(garbage, "this is no document at all, only words");
  write_file(path("notes.txt"), "hello");
  write_file(path("bad.png"), "\x89PNG but not really");
  // A document cut inside its step list: the header, then half of the first step.
  Bytes live;
  make_document(path("doc.plk"), &live);
  write_file(cut, read_text(path("doc.plk")).substr(0, 44 + 56 + 8));
  mkdir(path("folder.png").c_str(), 0755);
  const std::pair<std::string, const char*> cases[] = {
      {path("missing.plk"), "No such file or directory"},
      {garbage, "code: -3"},
      {cut, "code: -2"},
      {path("notes.txt"), "not a Penlark document (.plk) or a BMP, PNG, JPEG or GIF picture"},
      {path("bad.png"), "not a readable png picture"},
      {path("folder.png"), "it is a folder"},
  };
  for (const auto& [file, reason] : cases) {
    for (const std::string& mode : {"--export=" + out, std::string("--info"), "--thumbnail=" + out}) {
      CliRun run = run_cli({mode, file});
      EXPECT_EQ(run.status, PAINT_CLI_FAILED) << mode << " " << file;
      EXPECT_NE(run.err.find("penlark: cannot read " + file + ": "), std::string::npos) << run.err;
      // A thumbnail reads only the document's thumbnail block.
      const bool thumb_of_doc = mode[2] == 't' && (file == garbage || file == cut);
      EXPECT_NE(run.err.find(thumb_of_doc ? "no readable thumbnail in this document" : reason),
                std::string::npos)
          << mode << ": " << run.err;
      EXPECT_TRUE(run.out.empty());
    }
  }
  // The window is never opened for a FILE that cannot be read.
  CliRun window = run_cli({"--screen=240x320", path("missing.plk")});
  EXPECT_EQ(window.status, PAINT_CLI_FAILED);
  EXPECT_EQ(window.err,
            "penlark: cannot read " + path("missing.plk") + ": No such file or directory\n");
  EXPECT_EQ(read_text(out), "old contents");
  EXPECT_FALSE(exists(out + ".part"));
}

TEST_F(PaintCliTest, FailedWritesKeepTheOldOutputAndLeaveNoPart) {
  std::string picture = make_picture("in.png", 16, 16);
  for (const char* name : {"out.png", "out.jpg", "out.bmp", "out.gif", "out.plk"}) {
    std::string out = path(name);
    write_file(out, "old");
    fsafe_file_fail_after(20);  // a disk that fills up after 20 bytes
    CliRun run = run_cli({"--export=" + out, picture});
    fsafe_file_fail_after(-1);
    EXPECT_EQ(run.status, PAINT_CLI_FAILED) << name;
    EXPECT_NE(run.err.find("penlark: cannot write " + out + ": Fail to save file (code: "),
              std::string::npos)
        << run.err;
    EXPECT_EQ(read_text(out), "old") << name;
    EXPECT_FALSE(exists(out + ".part")) << name;
  }
  std::string deep = path("no/such/out.png");
  EXPECT_EQ(run_cli({"--export=" + deep, picture}).status, PAINT_CLI_FAILED);
  EXPECT_FALSE(exists(deep));
  CliRun run = run_cli({"--thumbnail=" + deep, picture});
  EXPECT_EQ(run.status, PAINT_CLI_FAILED);
  EXPECT_NE(run.err.find("code: -10"), std::string::npos) << run.err;
}

TEST_F(PaintCliTest, ThumbnailsFitTheAskedSize) {
  std::string doc = path("doc.plk");
  Bytes live;
  make_document(doc, &live);
  std::string picture = make_picture("wide.png", 64, 32);
  struct Case {
    std::string file, size;  // size empty: the default
    int32_t width, height;
  };
  // The document's stored thumbnail is its 50 x 30 painting fitted into 100 x 100.
  const Case cases[] = {
      {doc, "", 128, 76}, {doc, "50", 50, 30}, {picture, "16", 16, 8}, {picture, "1", 1, 1},
  };
  for (const Case& c : cases) {
    std::string out = path("thumb.png");
    std::remove(out.c_str());
    CliRun run = c.size.empty() ? run_cli({"--thumbnail=" + out, c.file})
                                : run_cli({"--thumbnail=" + out, "--size=" + c.size, c.file});
    ASSERT_EQ(run.status, PAINT_CLI_OK) << run.err;
    FBitmap* color = nullptr;
    FBitmap* alpha = nullptr;
    ASSERT_EQ(pngimage_read(&color, &alpha, out.c_str()), 1);
    EXPECT_EQ(fbitmap_get_width(color), c.width) << c.file << " " << c.size;
    EXPECT_EQ(fbitmap_get_height(color), c.height) << c.file << " " << c.size;
    uint8_t p[4];
    fbitmap_get_rgba(alpha, 0, 0, p);
    EXPECT_EQ(p[0], 255);  // written as RGB: opaque
    if (c.size == "16") {
      // Nearest neighbour: the top-left output pixel is the picture's top-left pixel.
      fbitmap_get_rgba(color, 0, 0, p);
      EXPECT_EQ(p[0] * 65536 + p[1] * 256 + p[2], 99 * 65536);
    }
    fbitmap_destroy(color);
    fbitmap_destroy(alpha);
  }
}

}  // namespace
