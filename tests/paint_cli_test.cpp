// The command line run in-process: every option and its refusals, the exit statuses, the
// messages, the exports of a document made here with the real tools (compared pixel for
// pixel with the painting drawn live), the JSON description byte for byte, thumbnails,
// and the rule that a failure never leaves a partial output nor touches an old one.

#include "paint_cli.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <vector>

#include "fbitmap.h"
#include "fbytes.h"
#include "fsafe_file.h"
#include "fsys.h"
#include "jpegimage.h"
#include "paint_context.h"
#include "paint_file.h"
#include "paint_history.h"
#include "paint_tools.h"
#include "pngimage.h"
#include "shape.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes read_file(const std::string& path) {
  Bytes bytes;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return bytes;
  int c;
  while ((c = std::fgetc(file)) != EOF) bytes.push_back(static_cast<uint8_t>(c));
  std::fclose(file);
  return bytes;
}

void write_file(const std::string& path, const std::string& text) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr) << path;
  std::fwrite(text.data(), 1, text.size(), file);
  std::fclose(file);
}

bool exists(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0;
}

FColor rgb(uint8_t r, uint8_t g, uint8_t b) { return fcolor_make(r, g, b, 255); }

// What one run printed and returned.
struct CliRun {
  int status;
  std::string out;
  std::string err;
};

std::string drain(std::FILE* file) {
  std::string text;
  std::rewind(file);
  int c;
  while ((c = std::fgetc(file)) != EOF) text.push_back(static_cast<char>(c));
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

// Pixels of a bitmap as blue, green, red, row by row from the top, whatever its format.
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
    const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
    static const std::string root = [] {
      const char* base = std::getenv("PENLARK_HOME");
      return std::string(base ? base : testing::TempDir() + "penlark-cli");
    }();
    mkdir(root.c_str(), 0755);
    home_ = root + "/" + info->name();
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
        p[0] = 99;
        p[1] = static_cast<uint8_t>(y * 4);
        p[2] = static_cast<uint8_t>(x * 4);
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
  for (const char* text :
       {"--export=OUT", "--jpeg-quality=N", "--bmp=24|256|grey", "--thumbnail=OUT.png", "--size=N",
        "--info", "--screen=WxH", "--version", "--help", "b, Ctrl+Z", "f, Ctrl+Y, Ctrl+Shift+Z",
        "Ctrl+Q", "Ctrl+Shift+S", "F11", "Exit status"}) {
    EXPECT_NE(help.out.find(text), std::string::npos) << text;
  }
  EXPECT_EQ(run_cli({"-h"}).out, help.out);
  CliRun version = run_cli({"--version"});
  EXPECT_EQ(version.status, PAINT_CLI_OK);
  EXPECT_EQ(version.out, std::string("penlark ") + PAINT_CLI_VERSION + "\n");
}

TEST_F(PaintCliTest, UsageErrorsExitTwoWithTheReasonAndWriteNothing) {
  std::string picture = make_picture("in.png", 8, 8);
  std::string out = path("out.png");
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
      {{"--export=" + path("out"), picture}, "cannot tell the format"},
      {{"--export=" + path("o.jpg"), "--jpeg-quality=101", picture}, "from 0 to 100"},
      {{"--export=" + path("o.jpg"), "--jpeg-quality=-1", picture}, "from 0 to 100"},
      {{"--export=" + path("o.jpg"), "--jpeg-quality=7x", picture}, "from 0 to 100"},
      {{"--export=" + path("o.jpg"), "--jpeg-quality=", picture}, "from 0 to 100"},
      {{"--export=" + out, "--jpeg-quality=50", picture}, "goes with a .jpg"},
      {{"--export=" + path("o.bmp"), "--bmp=16", picture}, "24, 256 or grey"},
      {{"--export=" + out, "--bmp=256", picture}, "goes with a .bmp"},
      {{"--info", "--jpeg-quality=50", picture}, "go with --export"},
      {{"--thumbnail=" + path("t.jpg"), picture}, "must end in .png"},
      {{"--thumbnail=" + out, "--size=0", picture}, "from 1 to 4096"},
      {{"--thumbnail=" + out, "--size=4097", picture}, "from 1 to 4096"},
      {{"--export=" + out, "--size=5", picture}, "--size goes with --thumbnail"},
      {{"--info"}, "exactly one FILE"},
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
  for (const char* name : {"out.png", "out.tiff", "out", "o.jpg", "o.bmp", "t.jpg"}) {
    EXPECT_FALSE(exists(path(name))) << name;
  }
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

  std::string picture = make_picture("pic.png", 12, 7);
  run = run_cli({"--info", picture});
  EXPECT_EQ(run.status, PAINT_CLI_OK) << run.err;
  EXPECT_EQ(run.out,
            "{\"width\":12,\"height\":7,\"canvas\":\"#ffffff\",\"picture\":true,\"steps\":0,"
            "\"current\":-1,\"types\":{}}\n");

  // A document whose base is a picture says so, and keeps the picture's size.
  std::string from_picture = path("from-picture.plk");
  ASSERT_EQ(run_cli({"--export=" + from_picture, picture}).status, PAINT_CLI_OK);
  run = run_cli({"--info", from_picture});
  EXPECT_EQ(run.out,
            "{\"width\":12,\"height\":7,\"canvas\":\"#ffffff\",\"picture\":true,\"steps\":0,"
            "\"current\":-1,\"types\":{}}\n");
}

TEST_F(PaintCliTest, ExportReplaysTheDocumentToThePaintingDrawnLive) {
  std::string doc = path("doc.plk");
  Bytes live;
  make_document(doc, &live);
  ASSERT_EQ(live.size(), 50u * 30u * 3u);

  // PNG and true-colour BMP are lossless: every pixel of the replay equals the live one.
  for (const char* name : {"doc.png", "doc.bmp", "DOC.PNG"}) {
    std::string out = path(name);
    CliRun run = run_cli({"--export=" + out, doc});
    ASSERT_EQ(run.status, PAINT_CLI_OK) << name << ": " << run.err;
    EXPECT_TRUE(run.out.empty());
    FBitmap* color = nullptr;
    FBitmap* alpha = nullptr;
    if (std::string(name).find(".bmp") != std::string::npos) {
      color = new FBitmap{};
      ASSERT_EQ(fbitmap_load_bmp(color, out.c_str()), 1);
      EXPECT_EQ(fbitmap_get_bpp(color), 24);
    } else {
      ASSERT_EQ(pngimage_read(&color, &alpha, out.c_str()), 1);
      fbitmap_destroy(alpha);
    }
    EXPECT_EQ(fbitmap_get_width(color), 50);
    EXPECT_EQ(fbitmap_get_height(color), 30);
    EXPECT_EQ(rgb_pixels(color), live) << name;
    // The crop's new columns take the canvas colour.
    uint8_t p[4];
    fbitmap_get_rgba(color, 45, 25, p);
    EXPECT_EQ(p[2] * 65536 + p[1] * 256 + p[0], 10 * 65536 + 20 * 256 + 30);
    fbitmap_destroy(color);
  }

  // The other BMP kinds are 8-bit; the grey one follows (77 R + 151 G + 28 B) >> 8.
  std::string grey = path("grey.bmp");
  ASSERT_EQ(run_cli({"--export=" + grey, "--bmp=grey", doc}).status, PAINT_CLI_OK);
  FBitmap bitmap{};
  ASSERT_EQ(fbitmap_load_bmp(&bitmap, grey.c_str()), 1);
  EXPECT_EQ(fbitmap_get_bpp(&bitmap), 8);
  uint8_t p[4];
  fbitmap_get_rgba(&bitmap, 45, 25, p);
  EXPECT_EQ(p[0], (77 * 10 + 151 * 20 + 28 * 30) >> 8);
  fbitmap_release(&bitmap);
  std::string palette = path("palette.bmp");
  ASSERT_EQ(run_cli({"--export=" + palette, "--bmp=256", doc}).status, PAINT_CLI_OK);
  ASSERT_EQ(fbitmap_load_bmp(&bitmap, palette.c_str()), 1);
  EXPECT_EQ(fbitmap_get_bpp(&bitmap), 8);
  fbitmap_release(&bitmap);

  // A re-export as a document keeps the base, the steps and the current index.
  std::string again = path("again.plk");
  ASSERT_EQ(run_cli({"--export=" + again, doc}).status, PAINT_CLI_OK);
  EXPECT_EQ(run_cli({"--info", again}).out, run_cli({"--info", doc}).out);

  // JPEG: the quality reaches the encoder; 0 and 100 are both accepted.
  std::string low = path("low.jpg"), high = path("high.jpeg"), plain = path("plain.jpg");
  ASSERT_EQ(run_cli({"--export=" + low, "--jpeg-quality=0", doc}).status, PAINT_CLI_OK);
  ASSERT_EQ(run_cli({"--export=" + high, "--jpeg-quality=100", doc}).status, PAINT_CLI_OK);
  ASSERT_EQ(run_cli({"--export=" + plain, doc}).status, PAINT_CLI_OK);
  EXPECT_LT(read_file(low).size(), read_file(plain).size());
  EXPECT_LT(read_file(plain).size(), read_file(high).size());
  FBitmap* jpeg = nullptr;
  ASSERT_EQ(jpegimage_read(&jpeg, high.c_str()), 1);
  EXPECT_EQ(fbitmap_get_width(jpeg), 50);
  fbitmap_destroy(jpeg);
  std::string gif = path("doc.gif");
  ASSERT_EQ(run_cli({"--export=" + gif, doc}).status, PAINT_CLI_OK);
  EXPECT_EQ(read_file(gif).size() > 6 && std::memcmp(read_file(gif).data(), "GIF", 3) == 0, true);
}

TEST_F(PaintCliTest, UnreadableInputsExitOneAndLeaveOutputsAlone) {
  std::string out = path("out.png");
  write_file(out, "old contents");
  std::string garbage = path("garbage.plk");
  write_file(garbage, "this is no document at all, only words");
  std::string wrong = path("notes.txt");
  write_file(wrong, "hello");
  std::string bad_png = path("bad.png");
  write_file(bad_png, "\x89PNG but not really");
  // A document cut inside its step list opens only partly: never exported.
  std::string doc = path("doc.plk");
  Bytes live;
  make_document(doc, &live);
  Bytes whole = read_file(doc);
  std::string cut = path("cut.plk");
  {
    std::FILE* file = std::fopen(cut.c_str(), "wb");
    std::fwrite(whole.data(), 1, 44 + 56 + 8, file);  // header, then half of the first step
    std::fclose(file);
  }
  mkdir(path("folder.png").c_str(), 0755);
  struct Case {
    std::string file;
    const char* reason;
  };
  const Case cases[] = {
      {path("missing.plk"), "No such file or directory"},
      {garbage, "code: -3"},
      {cut, "code: -2"},
      {wrong, "not a Penlark document (.plk) or a BMP, PNG, JPEG or GIF picture"},
      {bad_png, "not a readable png picture"},
      {path("folder.png"), "it is a folder"},
  };
  for (const Case& c : cases) {
    for (const std::string& mode : {std::string("--export=") + out, std::string("--info"),
                                    std::string("--thumbnail=") + out}) {
      CliRun run = run_cli({mode, c.file});
      EXPECT_EQ(run.status, PAINT_CLI_FAILED) << mode << " " << c.file;
      EXPECT_NE(run.err.find("penlark: cannot read " + c.file + ": "), std::string::npos)
          << run.err;
      // A thumbnail reads only the document's thumbnail block, not the whole document.
      const bool document = c.file == garbage || c.file == cut;
      const char* reason = mode == "--thumbnail=" + out && document
                               ? "no readable thumbnail in this document"
                               : c.reason;
      EXPECT_NE(run.err.find(reason), std::string::npos) << mode << ": " << run.err;
      EXPECT_TRUE(run.out.empty());
    }
  }
  // The window is never opened for a FILE that cannot be read.
  CliRun window = run_cli({"--screen=240x320", path("missing.plk")});
  EXPECT_EQ(window.status, PAINT_CLI_FAILED);
  EXPECT_EQ(window.err, "penlark: cannot read " + path("missing.plk") + ": No such file or directory\n");
  const std::string old_contents = "old contents";
  EXPECT_EQ(read_file(out), Bytes(old_contents.begin(), old_contents.end()));
  EXPECT_FALSE(exists(out + ".part"));
}

TEST_F(PaintCliTest, FailedWritesKeepTheOldOutputAndLeaveNoPart) {
  std::string picture = make_picture("in.png", 16, 16);
  for (const char* name : {"out.png", "out.jpg", "out.bmp", "out.gif", "out.plk"}) {
    std::string out = path(name);
    write_file(out, "old");
    // A disk that fills up after 20 bytes.
    fsafe_file_fail_after(20);
    CliRun run = run_cli({"--export=" + out, picture});
    fsafe_file_fail_after(-1);
    EXPECT_EQ(run.status, PAINT_CLI_FAILED) << name;
    EXPECT_NE(run.err.find("penlark: cannot write " + out + ": Fail to save file (code: "),
              std::string::npos)
        << run.err;
    EXPECT_EQ(read_file(out), Bytes({'o', 'l', 'd'})) << name;
    EXPECT_FALSE(exists(out + ".part")) << name;
  }
  // A folder that does not exist (two levels down) cannot take the file.
  std::string deep = path("no/such/out.png");
  CliRun run = run_cli({"--export=" + deep, picture});
  EXPECT_EQ(run.status, PAINT_CLI_FAILED);
  EXPECT_FALSE(exists(deep));
  run = run_cli({"--thumbnail=" + deep, picture});
  EXPECT_EQ(run.status, PAINT_CLI_FAILED);
  EXPECT_NE(run.err.find("code: -10"), std::string::npos) << run.err;
}

TEST_F(PaintCliTest, ThumbnailsFitTheAskedSize) {
  std::string doc = path("doc.plk");
  Bytes live;
  make_document(doc, &live);
  std::string picture = make_picture("wide.png", 64, 32);
  struct Case {
    std::string file;
    std::string size;  // empty: the default
    int32_t width, height;
  };
  // The document's stored thumbnail is its 50 x 30 painting fitted into 100 x 100.
  const Case cases[] = {
      {doc, "", 128, 76}, {doc, "50", 50, 30}, {doc, "100", 100, 60},
      {picture, "16", 16, 8}, {picture, "", 128, 64}, {picture, "1", 1, 1},
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
    // Written as RGB: opaque everywhere.
    uint8_t p[4];
    fbitmap_get_rgba(alpha, 0, 0, p);
    EXPECT_EQ(p[0], 255);
    if (c.file == picture && c.size == "16") {
      // Nearest neighbour: the top-left output pixel is the picture's top-left pixel.
      fbitmap_get_rgba(color, 0, 0, p);
      EXPECT_EQ(p[0] * 65536 + p[1] * 256 + p[2], 99 * 65536);
    }
    fbitmap_destroy(color);
    fbitmap_destroy(alpha);
  }
}

}  // namespace
