// Benchmarks of the undo history at 480 x 640 and 2048 x 2048 with a small tool that fills
// rectangles and strokes lines through cairo, as the real tools do:
//
//   undo_<size>    undo to 25k + 23: read checkpoint k - 1, replay 24 steps (the most that
//                  checkpoints leave to replay)
//   redo_<size>    redo back: the same checkpoint and 25 steps
//   replay_<size>  a 1000-step document rebuilt from its base, writing its 40 checkpoints
//   replay_steps_<size>  the same without checkpoints: the drawing alone
//   floor_<size>   the physical floor of an undo: inflating one checkpoint and copying the
//                  painting once
//
// Each benchmark times only its own operation (manual time, wall clock: the checkpoint is
// read through the file system). After the runs one line per size compares undo with its
// floor:
//
//   speedup undo_<size> floor <floor time / undo time>
//
// so 1.00 would be an undo that costs no more than reading its checkpoint.

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "bench_document.h"
#include "paint_context.h"
#include "paint_history.h"

namespace {

// A painting with its history and tool, in a cache folder of its own.
struct Document {
  std::string dir;
  PaintContext* pc = nullptr;
  PaintHistory* history = nullptr;
  BenchShape tool{};

  Document(BenchSize size, const std::string& folder) : dir(folder) {
    pc = paint_context_create(nullptr, size.width, size.height, 0xFF000000u, 0xFFFFFFFFu,
                              0xFFFFFFFFu, 3, 0, 0, 0);
    history = pc ? paint_history_create(pc, dir.c_str()) : nullptr;
    if (!history) {
      std::fprintf(stderr, "paint_history_bench: no memory for %s\n", bench_size_name(size).c_str());
      std::exit(1);
    }
    bench_shape_add(&tool, pc, history);
    paint_context_fill_base(pc);
  }
  ~Document() {
    if (history) paint_history_destroy(history);
    if (pc) paint_context_destroy(pc);
    std::filesystem::remove_all(dir);
  }

  // Draws step i live and records it, as a tool does at pen-up.
  void draw(int i) {
    FBitmap* p = paint_context_get_painting(pc);
    BenchStep step = bench_step(i, fbitmap_get_width(p), fbitmap_get_height(p));
    paint_context_set_fore_color(pc, step.color);
    paint_context_set_pen_size(pc, step.pen);
    paint_context_set_pen_style(pc, step.style);
    shape_load(&tool.head, step.data, 16);
    shape_draw(&tool.head, paint_context_get_renderer(pc), nullptr, 1.0);
    paint_history_add(history, kBenchTool, step.data, 16);
  }
};

// Per size: the 50-step document for undo and redo, the 1000-step one for replays; made
// on first use so that a filtered run builds only what it needs.
struct Scene {
  BenchSize size;
  std::unique_ptr<Document> undo_doc;
  std::unique_ptr<Document> long_doc;

  Document& undo_document() {
    if (!undo_doc) {
      undo_doc = std::make_unique<Document>(size, bench_make_folder("penlark-bench"));
      // 50 steps: checkpoints 0 (steps 0..24) and 1 (0..49); current 49.
      for (int i = 0; i < 50; ++i) undo_doc->draw(i);
    }
    return *undo_doc;
  }
  Document& long_document() {
    if (!long_doc) {
      long_doc = std::make_unique<Document>(size, bench_make_folder("penlark-bench"));
      for (int i = 0; i < 1000; ++i) bench_step_append(long_doc->history, long_doc->pc, i);
      paint_history_set_current(long_doc->history, 999);
    }
    return *long_doc;
  }
};

// Best and all times per benchmark name; the lines are printed when the program ends.
struct Results {
  BenchTimes seconds;
  std::vector<std::unique_ptr<Scene>> scenes;

  ~Results() {
    bench_print_times("paint_history", seconds);
    for (BenchSize size : kBenchSizes) {
      double undo = best("undo_" + bench_size_name(size));
      double floor = best("floor_" + bench_size_name(size));
      if (undo > 0 && floor > 0) {
        std::printf("speedup undo_%s floor %.2f\n", bench_size_name(size).c_str(), floor / undo);
      }
    }
    std::fflush(stdout);
  }
  double best(const std::string& name) const {
    auto it = seconds.find(name);
    if (it == seconds.end() || it->second.empty()) return 0.0;
    return *std::min_element(it->second.begin(), it->second.end());
  }
};

Results& results() {
  static Results all;
  return all;
}

Scene& scene(BenchSize size) {
  for (auto& s : results().scenes) {
    if (s->size.width == size.width && s->size.height == size.height) return *s;
  }
  results().scenes.push_back(std::make_unique<Scene>());
  results().scenes.back()->size = size;
  return *results().scenes.back();
}

void record(benchmark::State& state, const std::string& name, double seconds) {
  bench_record(state, &results().seconds, name, seconds);
}

void bench_undo(benchmark::State& state, BenchSize size) {
  Document& doc = scene(size).undo_document();
  std::string name = "undo_" + bench_size_name(size);
  for (auto _ : state) {
    record(state, name, bench_seconds([&] { paint_history_undo(doc.history); }));
    paint_history_redo(doc.history);
  }
}

void bench_redo(benchmark::State& state, BenchSize size) {
  Document& doc = scene(size).undo_document();
  std::string name = "redo_" + bench_size_name(size);
  for (auto _ : state) {
    paint_history_undo(doc.history);
    record(state, name, bench_seconds([&] { paint_history_redo(doc.history); }));
  }
}

void bench_replay(benchmark::State& state, BenchSize size) {
  Document& doc = scene(size).long_document();
  std::string name = "replay_" + bench_size_name(size);
  for (auto _ : state) {
    record(state, name, bench_seconds([&] { paint_history_rebuild(doc.history); }));
  }
}

// The same replay with checkpoint writing switched off (no folder): the steps' drawing
// alone, to tell it apart from deflating the 40 checkpoints.
void bench_replay_steps(benchmark::State& state, BenchSize size) {
  Document& doc = scene(size).long_document();
  std::string name = "replay_steps_" + bench_size_name(size);
  std::string folder = doc.history->cache_dir;
  doc.history->cache_dir.clear();
  for (auto _ : state) {
    record(state, name, bench_seconds([&] { paint_history_rebuild(doc.history); }));
  }
  doc.history->cache_dir = folder;
}

// Inflating the checkpoint the undo reads, into a buffer of the painting's size, and one
// copy of the painting: what an undo cannot avoid.
void bench_floor(benchmark::State& state, BenchSize size) {
  Document& doc = scene(size).undo_document();
  std::string name = "floor_" + bench_size_name(size);
  FBitmap* painting = paint_context_get_painting(doc.pc);
  size_t bytes = static_cast<size_t>(fbitmap_get_stride(painting)) * fbitmap_get_height(painting);
  std::vector<uint8_t> buffer(bytes);
  std::string path = paint_history_checkpoint_path(doc.history, 0);
  for (auto _ : state) {
    record(state, name, bench_seconds([&] {
             gzFile f = gzopen(path.c_str(), "rb");
             if (!f) return;
             gzbuffer(f, 256 * 1024);
             gzread(f, buffer.data(), static_cast<unsigned>(bytes));
             gzclose(f);
             std::memcpy(painting->pixels, buffer.data(), bytes);
             benchmark::ClobberMemory();
           }));
  }
  // The painting was overwritten with checkpoint 0: put step 49 back.
  paint_history_replay(doc.history);
}

[[maybe_unused]] const bool registered = [] {
  for (BenchSize size : kBenchSizes) {
    bool large = size.width * size.height > 1000000;
    std::string tag = bench_size_name(size);
    benchmark::RegisterBenchmark(("paint_history/undo/" + tag).c_str(), bench_undo, size)
        ->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(0.3);
    benchmark::RegisterBenchmark(("paint_history/redo/" + tag).c_str(), bench_redo, size)
        ->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(0.3);
    benchmark::RegisterBenchmark(("paint_history/floor/" + tag).c_str(), bench_floor, size)
        ->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(0.3);
    benchmark::RegisterBenchmark(("paint_history/replay/" + tag).c_str(), bench_replay, size)
        ->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(large ? 2 : 5);
    benchmark::RegisterBenchmark(("paint_history/replay_steps/" + tag).c_str(), bench_replay_steps,
                                 size)
        ->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(large ? 2 : 5);
  }
  return true;
}();

}  // namespace
