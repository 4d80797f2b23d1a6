// Benchmarks of the native document file at 480 x 640 and 2048 x 2048, on a 1000-step
// document drawn with a small rectangle-and-line tool:
//
//   save_<size>          header, 1000 step entries, thumbnail; written beside the target,
//                        flushed, synced and renamed
//   open_<size>          parse, check and install base and steps (no replay)
//   open_replay_<size>   open followed by the rebuild the caller always does
//   save_picture_<size>  the same with a picture base: its pixels go through compress2
//   open_picture_<size>  ... and through uncompress when opened
//
// Each benchmark times only its own operation (manual time, wall clock: the file system is
// part of the work). After the runs one line per benchmark gives the best and median time.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "fbytes.h"
#include "fsys.h"
#include "paint_context.h"
#include "paint_file.h"
#include "paint_history.h"
#include "shape.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint32_t kFileBenchTool = 1;
constexpr int kSteps = 1000;

// Even steps fill a rectangle, odd ones stroke a line with the pen size.
struct FileBenchShape {
  Shape head;
  int32_t x0, y0, x1, y1;
};

void file_bench_load(Shape* shape, const uint8_t* data, int32_t size) {
  if (size != 16) return;
  auto* s = reinterpret_cast<FileBenchShape*>(shape);
  s->x0 = fbytes_get_i32(data);
  s->y0 = fbytes_get_i32(data + 4);
  s->x1 = fbytes_get_i32(data + 8);
  s->y1 = fbytes_get_i32(data + 12);
}

void file_bench_draw(Shape* shape, cairo_t* cr, void*, double scale) {
  auto* s = reinterpret_cast<FileBenchShape*>(shape);
  PaintContext* pc = shape->context;
  cairo_set_source_rgba(cr, paint_context_get_fore_red(pc), paint_context_get_fore_green(pc),
                        paint_context_get_fore_blue(pc), paint_context_get_fore_alpha(pc));
  if (paint_context_get_pen_style(pc) == 0) {
    cairo_rectangle(cr, s->x0 * scale, s->y0 * scale, (s->x1 - s->x0) * scale, (s->y1 - s->y0) * scale);
    cairo_fill(cr);
  } else {
    cairo_set_line_width(cr, paint_context_get_pen_size(pc) * scale);
    cairo_move_to(cr, s->x0 * scale, s->y0 * scale);
    cairo_line_to(cr, s->x1 * scale, s->y1 * scale);
    cairo_stroke(cr);
  }
}

struct Size {
  int32_t width, height;
};
constexpr Size kSizes[] = {{480, 640}, {2048, 2048}};

std::string size_name(Size size) {
  return std::to_string(size.width) + "x" + std::to_string(size.height);
}

// Everything the benchmarks write lives in one temporary folder, recent folders included.
const std::string& bench_folder() {
  static const std::string folder = [] {
    std::string pattern = (std::filesystem::temp_directory_path() / "penlark-file-bench-XXXXXX").string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back(0);
    if (!mkdtemp(buffer.data())) {
      std::perror("paint_file_bench: mkdtemp");
      std::exit(1);
    }
    setenv("PENLARK_HOME", buffer.data(), 1);
    fsys_reset_folders();
    return std::string(buffer.data());
  }();
  return folder;
}

// A painting, its history and file state; the 1000 steps are recorded as a tool records
// them and the painting rebuilt once, so the thumbnail shows the real picture.
struct Document {
  std::string path;
  PaintContext* pc = nullptr;
  PaintHistory* history = nullptr;
  PaintFile* file = nullptr;
  FileBenchShape tool{};

  Document(Size size, bool with_picture) {
    std::string name = size_name(size) + (with_picture ? "-picture" : "");
    path = bench_folder() + "/" + name + ".plk";
    pc = paint_context_create(nullptr, size.width, size.height, 0xFF000000u, 0xFFFFFFFFu,
                              0xFFFFFFFFu, 3, 0, 0, 0);
    history = pc ? paint_history_create(pc, (bench_folder() + "/cache-" + name).c_str()) : nullptr;
    file = history ? paint_file_create(pc, history, bench_folder().c_str()) : nullptr;
    if (!file) {
      std::fprintf(stderr, "paint_file_bench: no memory for %s\n", name.c_str());
      std::exit(1);
    }
    shape_init(&tool.head, kFileBenchTool, u"bench", pc, history, nullptr);
    shape_set_load(&tool.head, file_bench_load);
    shape_set_draw(&tool.head, file_bench_draw);
    paint_context_add_shape(pc, &tool.head);
    if (with_picture) load_picture(size);
    for (int i = 0; i < kSteps; ++i) append(i);
    paint_history_set_current(history, kSteps - 1);
    paint_history_rebuild(history);
    paint_file_set_path(file, path.c_str());
  }
  ~Document() {
    paint_file_destroy(file);
    paint_history_destroy(history);
    paint_context_destroy(pc);
  }

  // A photograph-like base: smooth gradients with a little noise, which deflate must work
  // at rather than skip.
  void load_picture(Size size) {
    FBitmap* picture = fbitmap_create(size.width, -size.height, 32);
    if (!picture) std::exit(1);
    uint32_t noise = 12345;
    for (int32_t y = 0; y < size.height; ++y) {
      uint8_t* row = fbitmap_row(picture, y);
      for (int32_t x = 0; x < size.width; ++x) {
        noise = noise * 1103515245u + 12345u;
        row[4 * x + 0] = static_cast<uint8_t>(x * 255 / size.width + (noise >> 29));
        row[4 * x + 1] = static_cast<uint8_t>(y * 255 / size.height + (noise >> 30));
        row[4 * x + 2] = static_cast<uint8_t>((x + y) / 8);
        row[4 * x + 3] = 255;
      }
    }
    paint_context_load_picture(pc, picture);
    fbitmap_destroy(picture);
    paint_history_reset(history);
  }

  void append(int i) {
    FBitmap* p = paint_context_get_painting(pc);
    int32_t w = fbitmap_get_width(p), h = fbitmap_get_height(p);
    uint32_t r = static_cast<uint32_t>(i) * 2654435761u;
    int32_t x = static_cast<int32_t>(r % static_cast<uint32_t>(w));
    int32_t y = static_cast<int32_t>((r >> 8) % static_cast<uint32_t>(h));
    bool rect = i % 2 == 0;
    int32_t reach = rect ? w / 8 : w / 2;
    uint8_t data[16];
    fbytes_put_i32(data, x);
    fbytes_put_i32(data + 4, y);
    fbytes_put_i32(data + 8, std::min(x + static_cast<int32_t>((r >> 4) % reach) + 4, w - 1));
    fbytes_put_i32(data + 12, std::min(y + static_cast<int32_t>((r >> 12) % reach) + 4, h - 1));
    PaintStep* step = paint_step_create(kFileBenchTool, data, 16);
    if (!step) std::exit(1);
    step->fore_color = fcolor_make(static_cast<uint8_t>(r >> 3), static_cast<uint8_t>(r >> 11),
                                   static_cast<uint8_t>(r >> 19), i % 3 == 0 ? 128 : 255);
    step->back_color = 0xFFFFFFFFu;
    step->pen_size = 2 + i % 5;
    step->pen_style = rect ? 0 : 1;
    step->zoom = 1.0;
    paint_history_append(history, step);
  }
};

struct Results {
  std::map<std::string, std::vector<double>> seconds;
  std::map<std::string, std::unique_ptr<Document>> documents;

  ~Results() {
    documents.clear();
    for (auto& [name, times] : seconds) {
      if (times.empty()) continue;
      std::vector<double> sorted = times;
      std::sort(sorted.begin(), sorted.end());
      std::printf("paint_file %s best %.3f ms median %.3f ms (%zu runs)\n", name.c_str(),
                  sorted.front() * 1e3, sorted[sorted.size() / 2] * 1e3, sorted.size());
    }
    std::fflush(stdout);
    std::error_code ignored;
    std::filesystem::remove_all(bench_folder(), ignored);
  }
};

Results& results() {
  // The folder's name is made first so that it outlives the results, which remove it.
  bench_folder();
  static Results all;
  return all;
}

// Made on first use, saved once so that the open benchmarks find the file.
Document& document(Size size, bool with_picture) {
  std::string key = size_name(size) + (with_picture ? "-picture" : "");
  std::unique_ptr<Document>& doc = results().documents[key];
  if (!doc) {
    doc = std::make_unique<Document>(size, with_picture);
    if (paint_file_save(doc->file) != PAINT_FILE_DONE) {
      std::fprintf(stderr, "paint_file_bench: cannot save %s\n", doc->path.c_str());
      std::exit(1);
    }
  }
  return *doc;
}

template <class F>
double timed(F&& job) {
  Clock::time_point start = Clock::now();
  job();
  return std::chrono::duration<double>(Clock::now() - start).count();
}

void record(benchmark::State& state, const std::string& name, double seconds) {
  state.SetIterationTime(seconds);
  results().seconds[name].push_back(seconds);
}

void bench_save(benchmark::State& state, Size size, bool with_picture) {
  Document& doc = document(size, with_picture);
  std::string name = std::string(with_picture ? "save_picture_" : "save_") + size_name(size);
  for (auto _ : state) {
    int result = 0;
    record(state, name, timed([&] { result = paint_file_save(doc.file); }));
    if (result != PAINT_FILE_DONE) state.SkipWithError("save failed");
  }
}

void bench_open(benchmark::State& state, Size size, bool with_picture, bool replay) {
  Document& doc = document(size, with_picture);
  std::string name = std::string(replay ? "open_replay_" : with_picture ? "open_picture_" : "open_") +
                     size_name(size);
  for (auto _ : state) {
    int result = 0;
    record(state, name, timed([&] {
             result = paint_file_open(doc.file, doc.path.c_str());
             if (replay) paint_history_rebuild(doc.history);
           }));
    if (result != PAINT_FILE_DONE) state.SkipWithError("open failed");
  }
}

[[maybe_unused]] const bool registered = [] {
  for (Size size : kSizes) {
    bool large = size.width * size.height > 1000000;
    std::string tag = size_name(size);
    benchmark::RegisterBenchmark(("paint_file/save/" + tag).c_str(), bench_save, size, false)
        ->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(0.3);
    benchmark::RegisterBenchmark(("paint_file/open/" + tag).c_str(), bench_open, size, false, false)
        ->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(0.3);
    benchmark::RegisterBenchmark(("paint_file/open_replay/" + tag).c_str(), bench_open, size, false, true)
        ->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(large ? 2 : 5);
    benchmark::RegisterBenchmark(("paint_file/save_picture/" + tag).c_str(), bench_save, size, true)
        ->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(large ? 3 : 10);
    benchmark::RegisterBenchmark(("paint_file/open_picture/" + tag).c_str(), bench_open, size, true, false)
        ->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(large ? 3 : 10);
  }
  return true;
}();

}  // namespace
