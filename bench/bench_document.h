// What the document benchmarks share: a small tool that fills rectangles and strokes lines
// through cairo as the real tools do, the 1000-odd steps they record with it (spread over
// the painting, a third translucent), the painting sizes, and the timing and summary lines.
#pragma once

#include <benchmark/benchmark.h>
#include <cairo.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "fbitmap.h"
#include "fbytes.h"
#include "paint_context.h"
#include "paint_history.h"
#include "shape.h"

constexpr uint32_t kBenchTool = 1;

// Even steps fill a rectangle, odd ones stroke a line with the pen size.
struct BenchShape {
  Shape head;
  int32_t x0, y0, x1, y1;
};

inline void bench_shape_load(Shape* shape, const uint8_t* data, int32_t size) {
  if (size != 16) return;
  auto* s = reinterpret_cast<BenchShape*>(shape);
  s->x0 = fbytes_get_i32(data);
  s->y0 = fbytes_get_i32(data + 4);
  s->x1 = fbytes_get_i32(data + 8);
  s->y1 = fbytes_get_i32(data + 12);
}

inline void bench_shape_draw(Shape* shape, cairo_t* cr, void*, double scale) {
  auto* s = reinterpret_cast<BenchShape*>(shape);
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

// Makes the tool and adds it to the painting's shape table.
inline void bench_shape_add(BenchShape* tool, PaintContext* pc, PaintHistory* history) {
  shape_init(&tool->head, kBenchTool, u"bench", pc, history, nullptr);
  shape_set_load(&tool->head, bench_shape_load);
  shape_set_draw(&tool->head, bench_shape_draw);
  paint_context_add_shape(pc, &tool->head);
}

struct BenchSize {
  int32_t width, height;
};
inline constexpr BenchSize kBenchSizes[] = {{480, 640}, {2048, 2048}};

inline std::string bench_size_name(BenchSize size) {
  return std::to_string(size.width) + "x" + std::to_string(size.height);
}

// Step i on a painting of w x h: rectangles up to an eighth of the width, lines up to half
// of it, a third of them translucent, pens growing with the painting.
struct BenchStep {
  uint8_t data[16];
  FColor color;
  int32_t pen, style;
};

inline BenchStep bench_step(int i, int32_t w, int32_t h) {
  BenchStep step{};
  uint32_t r = static_cast<uint32_t>(i) * 2654435761u;
  int32_t x = static_cast<int32_t>(r % static_cast<uint32_t>(w));
  int32_t y = static_cast<int32_t>((r >> 8) % static_cast<uint32_t>(h));
  bool rect = i % 2 == 0;
  int32_t reach = rect ? w / 8 : w / 2;
  int32_t dx = static_cast<int32_t>((r >> 4) % static_cast<uint32_t>(reach)) + 4;
  int32_t dy = static_cast<int32_t>((r >> 12) % static_cast<uint32_t>(reach)) + 4;
  fbytes_put_i32(step.data, x);
  fbytes_put_i32(step.data + 4, y);
  fbytes_put_i32(step.data + 8, std::min(x + dx, w - 1));
  fbytes_put_i32(step.data + 12, std::min(y + dy, h - 1));
  step.color = fcolor_make(static_cast<uint8_t>(r >> 3), static_cast<uint8_t>(r >> 11),
                           static_cast<uint8_t>(r >> 19), i % 3 == 0 ? 128 : 255);
  step.pen = 2 + i % 5 * std::max(w / 480, 1);
  step.style = rect ? 0 : 1;
  return step;
}

// Appends step i as a document load does, without drawing.
inline void bench_step_append(PaintHistory* history, PaintContext* pc, int i) {
  FBitmap* p = paint_context_get_painting(pc);
  BenchStep s = bench_step(i, fbitmap_get_width(p), fbitmap_get_height(p));
  PaintStep* step = paint_step_create(kBenchTool, s.data, 16);
  if (!step) std::exit(1);
  step->fore_color = s.color;
  step->back_color = 0xFFFFFFFFu;
  step->pen_size = s.pen;
  step->pen_style = s.style;
  step->zoom = 1.0;
  paint_history_append(history, step);
}

// A new folder "<prefix>-XXXXXX" in the system's temporary folder; stops the program when
// none can be made.
inline std::string bench_make_folder(const char* prefix) {
  std::string pattern = (std::filesystem::temp_directory_path() / prefix).string() + "-XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back(0);
  if (!mkdtemp(buffer.data())) {
    std::perror("mkdtemp");
    std::exit(1);
  }
  return buffer.data();
}

// Wall-clock seconds of one call.
template <class F>
double bench_seconds(F&& job) {
  auto start = std::chrono::steady_clock::now();
  job();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Every time a benchmark measured, by name; printed as best and median when done.
using BenchTimes = std::map<std::string, std::vector<double>>;

inline void bench_record(benchmark::State& state, BenchTimes* times, const std::string& name,
                         double seconds) {
  state.SetIterationTime(seconds);
  (*times)[name].push_back(seconds);
}

inline void bench_print_times(const char* group, const BenchTimes& times) {
  for (const auto& [name, list] : times) {
    if (list.empty()) continue;
    std::vector<double> sorted = list;
    std::sort(sorted.begin(), sorted.end());
    std::printf("%s %s best %.3f ms median %.3f ms (%zu runs)\n", group, name.c_str(),
                sorted.front() * 1e3, sorted[sorted.size() / 2] * 1e3, sorted.size());
  }
  std::fflush(stdout);
}
