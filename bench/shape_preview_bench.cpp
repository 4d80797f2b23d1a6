// One preview frame of each geometric tool, as the active-object manager runs it while the
// pen moves: restore the visible part of the painting, draw the figure through cairo
// straight into the painting, and repaint the damaged rectangle on a real screen whose
// background hook copies the painting into the back buffer, as the paint view does. The
// painting fills the screen (480 x 640, a high-resolution device in portrait, and
// 1024 x 1024); the pen went down at a third of the way across and moves between two
// points near two thirds, so every frame redraws a figure of about a third of the screen.
// The damaged rectangle starts at (0, 0) as in the program, so each repaint covers the
// screen from its top-left corner to the figure's far corner. No window exists, so the
// flush to the display costs nothing here.
//
// This file has no main of its own (the bitmap benchmarks' main runs every registered
// benchmark); it registers its runs when the program starts and, when it ends, prints
//
//   preview <size> <tool id> <milliseconds per frame>
//
// with the CPU time per frame of the best of several repetitions.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <map>
#include <string>

#include "fscreen.h"
#include "fsurface.h"
#include "paint_context.h"
#include "shape_geometric.h"
#include "win_ao.h"

namespace {

struct Size {
  int32_t width, height;
};
constexpr Size kSizes[] = {{480, 640}, {1024, 1024}};

enum class Kind { line, rect, roundrect, circle, polygon, rhombus, pentagram, heart };
struct Tool {
  uint32_t id;
  Kind kind;
  int32_t style;
  int32_t sides;
};
constexpr Tool kTools[] = {
    {2, Kind::line, 0, 0},         {101, Kind::rect, 1, 0},      {102, Kind::rect, 2, 0},
    {103, Kind::roundrect, 1, 0},  {104, Kind::roundrect, 2, 0}, {201, Kind::circle, 1, 0},
    {202, Kind::circle, 2, 0},     {203, Kind::circle, 3, 0},    {204, Kind::circle, 4, 0},
    {301, Kind::polygon, 1, 3},    {302, Kind::polygon, 2, 3},   {303, Kind::rhombus, 1, 4},
    {304, Kind::rhombus, 2, 4},    {305, Kind::polygon, 1, 5},   {306, Kind::polygon, 2, 5},
    {307, Kind::pentagram, 1, 0},  {308, Kind::pentagram, 2, 0}, {309, Kind::heart, 1, 0},
    {310, Kind::heart, 2, 0},
};

// The tools never lift the pen here, so they record nothing and need no history.
Shape* create_tool(const Tool& t, PaintContext* pc) {
  switch (t.kind) {
    case Kind::line: return shape_line_create(t.id, u"tool", pc, nullptr, nullptr);
    case Kind::rect: return shape_rect_create(t.id, u"tool", pc, nullptr, t.style, nullptr);
    case Kind::roundrect: return shape_roundrect_create(t.id, u"tool", pc, nullptr, t.style, nullptr);
    case Kind::circle: return shape_circle_create(t.id, u"tool", pc, nullptr, t.style, nullptr);
    case Kind::polygon:
      return shape_polygon_create(t.id, u"tool", pc, nullptr, t.style, t.sides,
                                  SHAPE_POLYGON_REGULAR, nullptr);
    case Kind::rhombus:
      return shape_polygon_create(t.id, u"tool", pc, nullptr, t.style, t.sides,
                                  SHAPE_POLYGON_INSCRIBED, nullptr);
    case Kind::pentagram: return shape_pentagram_create(t.id, u"tool", pc, nullptr, t.style, nullptr);
    case Kind::heart: return shape_heart_create(t.id, u"tool", pc, nullptr, t.style, nullptr);
  }
  return nullptr;
}

void destroy_tool(const Tool& t, Shape* shape) {
  switch (t.kind) {
    case Kind::line: shape_line_destroy(shape); break;
    case Kind::rect: shape_rect_destroy(shape); break;
    case Kind::roundrect: shape_roundrect_destroy(shape); break;
    case Kind::circle: shape_circle_destroy(shape); break;
    case Kind::polygon:
    case Kind::rhombus: shape_polygon_destroy(shape); break;
    case Kind::pentagram: shape_pentagram_destroy(shape); break;
    case Kind::heart: shape_heart_destroy(shape); break;
  }
}

PaintContext* g_painting_context = nullptr;  // the context whose painting the screen shows

// The paint view's part of a repaint: the painting's pixels under the area, copied exactly.
void paint_painting(FScreen* screen, const FRect* area) {
  PaintContext* pc = g_painting_context;
  FPoint view = paint_context_get_view(pc);
  fbitmap_blit_keyed(fscreen_get_bitmap(screen), FPoint{area->left, area->top},
                     paint_context_get_painting(pc),
                     FRect{area->left - view.x, area->top - view.y, area->right - view.x,
                           area->bottom - view.y},
                     FCOLOR_KEY_NONE, 255);
}

double thread_seconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

std::map<std::string, double>& best_times() {
  static std::map<std::string, double> times;
  return times;
}

struct Report {
  ~Report() {
    for (const auto& [name, seconds] : best_times()) {
      std::printf("preview %s %.3f ms\n", name.c_str(), seconds * 1e3);
    }
    std::fflush(stdout);
  }
};
Report g_report;

void run_preview(benchmark::State& state, Size size, const Tool& t, const std::string& name) {
  if (!faomngr_exists()) faomngr_init();
  FScreen screen{};
  if (!fscreen_create(&screen, size.width, -size.height, 32)) {
    state.SkipWithError("no screen");
    return;
  }
  fscreen_set_on_paint_background(&screen, paint_painting);
  PaintContext* pc = paint_context_create(&screen, size.width, size.height, 0xFF2040C0u,
                                          0xFFFFFFFFu, 0xFFFFFFFFu, 4, 0, 0, 0);
  Shape* shape = pc ? create_tool(t, pc) : nullptr;
  if (!shape) {
    if (pc) paint_context_destroy(pc);
    fscreen_release(&screen);
    state.SkipWithError("out of memory");
    return;
  }
  g_painting_context = pc;
  paint_context_fill_base(pc);
  FPoint view = paint_context_get_view(pc);
  int32_t w = size.width, h = size.height;
  const FPoint ends[2] = {{w * 65 / 100 + view.x, h * 60 / 100 + view.y},
                          {w * 62 / 100 + view.x, h * 66 / 100 + view.y}};
  shape_on_pen(shape, FPOINTER_DOWN, w / 3 + view.x, h / 3 + view.y, 0);
  int frame = 0;
  double start = thread_seconds();
  for (auto _ : state) {
    const FPoint& end = ends[frame++ & 1];
    shape_on_pen(shape, FPOINTER_MOVE, end.x, end.y, 0);
    faomngr_run_due();
  }
  double seconds = (thread_seconds() - start) / static_cast<double>(state.iterations());
  auto [it, fresh] = best_times().emplace(name, seconds);
  if (!fresh && seconds < it->second) it->second = seconds;
  // A frame that reached neither the painting nor the screen would time nothing at all.
  FBitmap* back = fscreen_get_bitmap(&screen);
  bool seen = false;
  for (int32_t y = 0; y < h && !seen; ++y) {
    for (int32_t x = 0; x < w && !seen; ++x) seen = fbitmap_get_pixel(back, x, y) == 0xFF2040C0u;
  }
  if (!seen) state.SkipWithError("the figure never reached the screen");
  destroy_tool(t, shape);
  paint_context_destroy(pc);
  g_painting_context = nullptr;
  fscreen_release(&screen);
}

const bool g_registered = [] {
  for (Size size : kSizes) {
    for (const Tool& t : kTools) {
      std::string name = std::to_string(size.width) + "x" + std::to_string(size.height) + " " +
                         std::to_string(t.id);
      benchmark::RegisterBenchmark(("preview/" + std::to_string(size.width) + "x" +
                                    std::to_string(size.height) + "/" + std::to_string(t.id))
                                       .c_str(),
                                   [size, t, name](benchmark::State& state) {
                                     run_preview(state, size, t, name);
                                   })
          ->Unit(benchmark::kMicrosecond)
          ->MinTime(0.1)
          ->Repetitions(5);
    }
  }
  return true;
}();

}  // namespace
