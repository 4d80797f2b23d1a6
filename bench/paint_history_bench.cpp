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

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "fbytes.h"
#include "paint_context.h"
#include "paint_history.h"
#include "shape.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint32_t kBenchTool = 1;

// Even steps fill a rectangle, odd ones stroke a line with the pen size.
struct BenchShape {
  Shape head;
  int32_t x0, y0, x1, y1;
};

void bench_load(Shape* shape, const uint8_t* data, int32_t size) {
  if (size != 16) return;
  BenchShape* s = reinterpret_cast<BenchShape*>(shape);
  s->x0 = fbytes_get_i32(data);
  s->y0 = fbytes_get_i32(data + 4);
  s->x1 = fbytes_get_i32(data + 8);
  s->y1 = fbytes_get_i32(data + 12);
}

void bench_draw(Shape* shape, cairo_t* cr, void*, double scale) {
  BenchShape* s = reinterpret_cast<BenchShape*>(shape);
  PaintContext* pc = shape->context;
  cairo_set_source_rgba(cr, paint_context_get_fore_red(pc), paint_context_get_fore_green(pc),
                        paint_context_get_fore_blue(pc), paint_context_get_fore_alpha(pc));
  if (paint_context_get_pen_style(pc) == 0) {
    cairo_rectangle(cr, s->x0 * scale, s->y0 * scale, (s->x1 - s->x0) * scale,
                    (s->y1 - s->y0) * scale);
    cairo_fill(cr);
  } else {
    cairo_set_line_width(cr, paint_context_get_pen_size(pc) * scale);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
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

// A painting with its history and tool, in a cache folder of its own.
struct Document {
  std::string dir;
  PaintContext* pc = nullptr;
  PaintHistory* history = nullptr;
  BenchShape tool{};

  Document(Size size, const std::string& folder) : dir(folder) {
    pc = paint_context_create(nullptr, size.width, size.height, 0xFF000000u, 0xFFFFFFFFu,
                              0xFFFFFFFFu, 3, 0, 0, 0);
    history = pc ? paint_history_create(pc, dir.c_str()) : nullptr;
    if (!history) {
      std::fprintf(stderr, "paint_history_bench: no memory for %s\n", size_name(size).c_str());
      std::exit(1);
    }
    shape_init(&tool.head, kBenchTool, u"bench", pc, history, nullptr);
    shape_set_load(&tool.head, bench_load);
    shape_set_draw(&tool.head, bench_draw);
    paint_context_add_shape(pc, &tool.head);
    paint_context_fill_base(pc);
  }
  ~Document() {
    if (history) paint_history_destroy(history);
    if (pc) paint_context_destroy(pc);
    std::filesystem::remove_all(dir);
  }

  // Geometry and attributes of step i: rectangles up to an eighth of the width, lines up
  // to half of it, a third of them translucent.
  void step_of(int i, uint8_t data[16], FColor* color, int32_t* pen, int32_t* style) const {
    FBitmap* p = paint_context_get_painting(pc);
    int32_t w = fbitmap_get_width(p), h = fbitmap_get_height(p);
    uint32_t r = static_cast<uint32_t>(i) * 2654435761u;
    int32_t x = static_cast<int32_t>(r % static_cast<uint32_t>(w));
    int32_t y = static_cast<int32_t>((r >> 8) % static_cast<uint32_t>(h));
    bool rect = i % 2 == 0;
    int32_t reach = rect ? w / 8 : w / 2;
    int32_t dx = static_cast<int32_t>((r >> 4) % static_cast<uint32_t>(reach)) + 4;
    int32_t dy = static_cast<int32_t>((r >> 12) % static_cast<uint32_t>(reach)) + 4;
    fbytes_put_i32(data, x);
    fbytes_put_i32(data + 4, y);
    fbytes_put_i32(data + 8, std::min(x + dx, w - 1));
    fbytes_put_i32(data + 12, std::min(y + dy, h - 1));
    *color = fcolor_make(static_cast<uint8_t>(r >> 3), static_cast<uint8_t>(r >> 11),
                         static_cast<uint8_t>(r >> 19), i % 3 == 0 ? 128 : 255);
    *pen = 2 + i % 5 * (w / 480);
    *style = rect ? 0 : 1;
  }
  // Draws step i live and records it, as a tool does at pen-up.
  void draw(int i) {
    uint8_t data[16];
    FColor color;
    int32_t pen, style;
    step_of(i, data, &color, &pen, &style);
    paint_context_set_fore_color(pc, color);
    paint_context_set_pen_size(pc, pen);
    paint_context_set_pen_style(pc, style);
    shape_load(&tool.head, data, 16);
    shape_draw(&tool.head, paint_context_get_renderer(pc), nullptr, 1.0);
    paint_history_add(history, kBenchTool, data, 16);
  }
  // Appends step i as a document load does, without drawing.
  void append(int i) {
    uint8_t data[16];
    FColor color;
    int32_t pen, style;
    step_of(i, data, &color, &pen, &style);
    PaintStep* step = paint_step_create(kBenchTool, data, 16);
    step->fore_color = color;
    step->back_color = 0xFFFFFFFFu;
    step->pen_size = pen;
    step->pen_style = style;
    step->zoom = 1.0;
    paint_history_append(history, step);
  }
};

std::string make_folder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "penlark-bench-XXXXXX").string();
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back(0);
  if (!mkdtemp(buffer.data())) {
    std::perror("paint_history_bench: mkdtemp");
    std::exit(1);
  }
  return buffer.data();
}

// Per size: the 50-step document for undo and redo, the 1000-step one for replays; made
// on first use so that a filtered run builds only what it needs.
struct Scene {
  Size size;
  std::unique_ptr<Document> undo_doc;
  std::unique_ptr<Document> long_doc;

  Document& undo_document() {
    if (!undo_doc) {
      undo_doc = std::make_unique<Document>(size, make_folder());
      // 50 steps: checkpoints 0 (steps 0..24) and 1 (0..49); current 49.
      for (int i = 0; i < 50; ++i) undo_doc->draw(i);
    }
    return *undo_doc;
  }
  Document& long_document() {
    if (!long_doc) {
      long_doc = std::make_unique<Document>(size, make_folder());
      for (int i = 0; i < 1000; ++i) long_doc->append(i);
      paint_history_set_current(long_doc->history, 999);
    }
    return *long_doc;
  }
};

// Best and all times per benchmark name; the lines are printed when the program ends.
struct Results {
  std::map<std::string, std::vector<double>> seconds;
  std::vector<std::unique_ptr<Scene>> scenes;

  ~Results() {
    for (auto& [name, times] : seconds) {
      if (times.empty()) continue;
      std::vector<double> sorted = times;
      std::sort(sorted.begin(), sorted.end());
      std::printf("paint_history %s best %.3f ms median %.3f ms (%zu runs)\n", name.c_str(),
                  sorted.front() * 1e3, sorted[sorted.size() / 2] * 1e3, sorted.size());
    }
    for (Size size : kSizes) {
      double undo = best("undo_" + size_name(size));
      double floor = best("floor_" + size_name(size));
      if (undo > 0 && floor > 0) {
        std::printf("speedup undo_%s floor %.2f\n", size_name(size).c_str(), floor / undo);
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

Scene& scene(Size size) {
  for (auto& s : results().scenes) {
    if (s->size.width == size.width && s->size.height == size.height) return *s;
  }
  results().scenes.push_back(std::make_unique<Scene>());
  results().scenes.back()->size = size;
  return *results().scenes.back();
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

void bench_undo(benchmark::State& state, Size size) {
  Document& doc = scene(size).undo_document();
  std::string name = "undo_" + size_name(size);
  for (auto _ : state) {
    record(state, name, timed([&] { paint_history_undo(doc.history); }));
    paint_history_redo(doc.history);
  }
}

void bench_redo(benchmark::State& state, Size size) {
  Document& doc = scene(size).undo_document();
  std::string name = "redo_" + size_name(size);
  for (auto _ : state) {
    paint_history_undo(doc.history);
    record(state, name, timed([&] { paint_history_redo(doc.history); }));
  }
}

void bench_replay(benchmark::State& state, Size size) {
  Document& doc = scene(size).long_document();
  std::string name = "replay_" + size_name(size);
  for (auto _ : state) {
    record(state, name, timed([&] { paint_history_rebuild(doc.history); }));
  }
}

// The same replay with checkpoint writing switched off (no folder): the steps' drawing
// alone, to tell it apart from deflating the 40 checkpoints.
void bench_replay_steps(benchmark::State& state, Size size) {
  Document& doc = scene(size).long_document();
  std::string name = "replay_steps_" + size_name(size);
  std::string folder = doc.history->cache_dir;
  doc.history->cache_dir.clear();
  for (auto _ : state) {
    record(state, name, timed([&] { paint_history_rebuild(doc.history); }));
  }
  doc.history->cache_dir = folder;
}

// Inflating the checkpoint the undo reads, into a buffer of the painting's size, and one
// copy of the painting: what an undo cannot avoid.
void bench_floor(benchmark::State& state, Size size) {
  Document& doc = scene(size).undo_document();
  std::string name = "floor_" + size_name(size);
  FBitmap* painting = paint_context_get_painting(doc.pc);
  size_t bytes = static_cast<size_t>(fbitmap_get_stride(painting)) * fbitmap_get_height(painting);
  std::vector<uint8_t> buffer(bytes);
  std::string path = paint_history_checkpoint_path(doc.history, 0);
  for (auto _ : state) {
    record(state, name, timed([&] {
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
  for (Size size : kSizes) {
    bool large = size.width * size.height > 1000000;
    std::string tag = size_name(size);
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
