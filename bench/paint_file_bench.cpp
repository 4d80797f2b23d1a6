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

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench_document.h"
#include "fsys.h"
#include "paint_context.h"
#include "paint_file.h"
#include "paint_history.h"

namespace {

constexpr int kSteps = 1000;

// Everything the benchmarks write lives in one temporary folder, recent folders included.
const std::string& bench_folder() {
  static const std::string folder = [] {
    std::string made = bench_make_folder("penlark-file-bench");
    setenv("PENLARK_HOME", made.c_str(), 1);
    fsys_reset_folders();
    return made;
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
  BenchShape tool{};

  Document(BenchSize size, bool with_picture) {
    std::string name = bench_size_name(size) + (with_picture ? "-picture" : "");
    path = bench_folder() + "/" + name + ".plk";
    pc = paint_context_create(nullptr, size.width, size.height, 0xFF000000u, 0xFFFFFFFFu,
                              0xFFFFFFFFu, 3, 0, 0, 0);
    history = pc ? paint_history_create(pc, (bench_folder() + "/cache-" + name).c_str()) : nullptr;
    file = history ? paint_file_create(pc, history, bench_folder().c_str()) : nullptr;
    if (!file) {
      std::fprintf(stderr, "paint_file_bench: no memory for %s\n", name.c_str());
      std::exit(1);
    }
    bench_shape_add(&tool, pc, history);
    if (with_picture) load_picture(size);
    for (int i = 0; i < kSteps; ++i) bench_step_append(history, pc, i);
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
  void load_picture(BenchSize size) {
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
};

struct Results {
  BenchTimes seconds;
  std::map<std::string, std::unique_ptr<Document>> documents;

  ~Results() {
    documents.clear();
    bench_print_times("paint_file", seconds);
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
Document& document(BenchSize size, bool with_picture) {
  std::string key = bench_size_name(size) + (with_picture ? "-picture" : "");
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

void record(benchmark::State& state, const std::string& name, double seconds) {
  bench_record(state, &results().seconds, name, seconds);
}

void bench_save(benchmark::State& state, BenchSize size, bool with_picture) {
  Document& doc = document(size, with_picture);
  std::string name = std::string(with_picture ? "save_picture_" : "save_") + bench_size_name(size);
  for (auto _ : state) {
    int result = 0;
    record(state, name, bench_seconds([&] { result = paint_file_save(doc.file); }));
    if (result != PAINT_FILE_DONE) state.SkipWithError("save failed");
  }
}

void bench_open(benchmark::State& state, BenchSize size, bool with_picture, bool replay) {
  Document& doc = document(size, with_picture);
  std::string name = std::string(replay ? "open_replay_" : with_picture ? "open_picture_" : "open_") +
                     bench_size_name(size);
  for (auto _ : state) {
    int result = 0;
    record(state, name, bench_seconds([&] {
             result = paint_file_open(doc.file, doc.path.c_str());
             if (replay) paint_history_rebuild(doc.history);
           }));
    if (result != PAINT_FILE_DONE) state.SkipWithError("open failed");
  }
}

[[maybe_unused]] const bool registered = [] {
  for (BenchSize size : kBenchSizes) {
    bool large = size.width * size.height > 1000000;
    std::string tag = bench_size_name(size);
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
