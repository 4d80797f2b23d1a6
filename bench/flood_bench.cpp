// Benchmarks of the canvas's tolerance flood fill (the paint bucket's work) at 2048 x 2048
// beside OpenCV's cv::floodFill doing the same fill in the same process:
//
//   flood_open  one large connected area: a white painting with scattered dark discs and
//               bars, filled from the middle
//   flood_maze  a maze of 3-pixel corridors between 1-pixel walls, all connected, so that
//               every row holds hundreds of separate spans and the fill turns back up and
//               down through every corridor
//
// Both fill with 4-connectivity and the tolerance of zoom 1 (32 per channel against the
// seed): fcanvas_flood_fill on the 32-bit painting, cv::floodFill on a 3-channel copy with
// FLOODFILL_FIXED_RANGE and loDiff = upDiff = 32. Each iteration restores the picture
// first and times only the fill (thread CPU time, best iteration kept). Before timing, the
// two fills are checked to change exactly the same pixels. When the process ends:
//
//   speedup flood_<case> opencv <OpenCV time / our time>

#include <benchmark/benchmark.h>
#include <time.h>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "fbitmap.h"
#include "fcanvas.h"

namespace {

constexpr int32_t kSide = 2048;
constexpr int32_t kTolerance = 32;
constexpr FColor kWhite = 0xFFFFFFFFu, kWall = 0xFF202020u, kFill = 0xFFE03010u;

double thread_seconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

struct BitmapDeleter {
  void operator()(FBitmap* bitmap) const { fbitmap_destroy(bitmap); }
};
using BitmapPtr = std::unique_ptr<FBitmap, BitmapDeleter>;

struct Scene {
  std::string name;
  BitmapPtr original;  // the picture before the fill
  BitmapPtr work;      // filled by ours, restored before each iteration
  cv::Mat original_mat, work_mat;  // the same picture as 8-bit BGR
  FPoint seed;
};

void put(FBitmap* b, int32_t x, int32_t y, FColor c) {
  reinterpret_cast<uint32_t*>(fbitmap_row(b, y))[x] = c;
}

BitmapPtr make_open() {
  BitmapPtr b(fbitmap_create(kSide, -kSide, 32));
  if (!b) return b;
  fbitmap_fill_rect(b.get(), 0, 0, kSide - 1, kSide - 1, kWhite);
  std::mt19937 rng(7);
  for (int i = 0; i < 300; ++i) {
    const int32_t cx = static_cast<int32_t>(rng() % kSide), cy = static_cast<int32_t>(rng() % kSide);
    const int32_t r = 4 + static_cast<int32_t>(rng() % 40);
    for (int32_t y = std::max(cy - r, 0); y <= std::min(cy + r, kSide - 1); ++y)
      for (int32_t x = std::max(cx - r, 0); x <= std::min(cx + r, kSide - 1); ++x)
        if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r) put(b.get(), x, y, kWall);
  }
  for (int i = 0; i < 60; ++i) {
    const int32_t x = static_cast<int32_t>(rng() % (kSide - 300)), y = static_cast<int32_t>(rng() % kSide);
    for (int32_t k = 0; k < 280; ++k) put(b.get(), x + k, y, kWall);
  }
  // The seed itself is kept clear.
  for (int32_t y = kSide / 2 - 2; y <= kSide / 2 + 2; ++y)
    for (int32_t x = kSide / 2 - 2; x <= kSide / 2 + 2; ++x) put(b.get(), x, y, kWhite);
  return b;
}

// A perfect maze on a grid of 4-pixel cells (3 pixels of corridor, 1 of wall), carved by
// a depth-first walk, so that every corridor is connected to every other.
BitmapPtr make_maze() {
  BitmapPtr b(fbitmap_create(kSide, -kSide, 32));
  if (!b) return b;
  fbitmap_fill_rect(b.get(), 0, 0, kSide - 1, kSide - 1, kWall);
  constexpr int32_t kCells = kSide / 4;
  std::vector<uint8_t> seen(static_cast<size_t>(kCells) * kCells, 0);
  std::vector<int32_t> stack{0};
  seen[0] = 1;
  std::mt19937 rng(11);
  auto open_cell = [&](int32_t cx, int32_t cy) {
    for (int32_t y = 0; y < 3; ++y)
      for (int32_t x = 0; x < 3; ++x) put(b.get(), cx * 4 + x, cy * 4 + y, kWhite);
  };
  open_cell(0, 0);
  while (!stack.empty()) {
    const int32_t cell = stack.back();
    const int32_t cx = cell % kCells, cy = cell / kCells;
    int32_t options[4];
    int32_t count = 0;
    const int32_t dx[4] = {1, -1, 0, 0}, dy[4] = {0, 0, 1, -1};
    for (int32_t d = 0; d < 4; ++d) {
      const int32_t nx = cx + dx[d], ny = cy + dy[d];
      if (nx < 0 || ny < 0 || nx >= kCells || ny >= kCells) continue;
      if (!seen[static_cast<size_t>(ny) * kCells + nx]) options[count++] = d;
    }
    if (count == 0) {
      stack.pop_back();
      continue;
    }
    const int32_t d = options[rng() % count];
    const int32_t nx = cx + dx[d], ny = cy + dy[d];
    seen[static_cast<size_t>(ny) * kCells + nx] = 1;
    open_cell(nx, ny);
    // The wall between the two cells.
    for (int32_t k = 0; k < 3; ++k) {
      if (dx[d] != 0) {
        put(b.get(), std::max(cx, nx) * 4 - 1, cy * 4 + k, kWhite);
      } else {
        put(b.get(), cx * 4 + k, std::max(cy, ny) * 4 - 1, kWhite);
      }
    }
    stack.push_back(ny * kCells + nx);
  }
  return b;
}

cv::Mat to_mat(const FBitmap* b) {
  cv::Mat mat(kSide, kSide, CV_8UC3);
  for (int32_t y = 0; y < kSide; ++y) {
    const uint8_t* src = fbitmap_row(b, y);
    uint8_t* dst = mat.ptr<uint8_t>(y);
    for (int32_t x = 0; x < kSide; ++x) {
      dst[3 * x] = src[4 * x];
      dst[3 * x + 1] = src[4 * x + 1];
      dst[3 * x + 2] = src[4 * x + 2];
    }
  }
  return mat;
}

std::vector<std::unique_ptr<Scene>>& scenes() {
  static std::vector<std::unique_ptr<Scene>> all;
  return all;
}

Scene* make_scene(const std::string& name, BitmapPtr picture, FPoint seed) {
  if (!picture) {
    std::fprintf(stderr, "out of memory\n");
    std::exit(1);
  }
  auto scene = std::make_unique<Scene>();
  scene->name = name;
  scene->work.reset(fbitmap_clone(picture.get()));
  scene->original_mat = to_mat(picture.get());
  scene->work_mat = scene->original_mat.clone();
  scene->original = std::move(picture);
  scene->seed = seed;
  scenes().push_back(std::move(scene));
  return scenes().back().get();
}

void restore(Scene& s) {
  std::memcpy(s.work->pixels, s.original->pixels, fbitmap_get_size_image(s.original.get()));
}

void fill_ours(Scene& s) {
  FCanvas canvas{};
  fcanvas_attach(&canvas, s.work.get());
  fcanvas_set_brush(&canvas, FBRUSH_SOLID, kFill);
  fcanvas_flood_fill(&canvas, s.seed.x, s.seed.y, kTolerance);
  fcanvas_release(&canvas);
}

void fill_opencv(Scene& s) {
  const cv::Scalar range(kTolerance, kTolerance, kTolerance);
  cv::floodFill(s.work_mat, cv::Point(s.seed.x, s.seed.y),
                cv::Scalar(fcolor_blue(kFill), fcolor_green(kFill), fcolor_red(kFill)), nullptr,
                range, range, 4 | cv::FLOODFILL_FIXED_RANGE);
}

// Both fills must change the same pixels, or the comparison means nothing.
bool same_fill(Scene& s) {
  restore(s);
  s.original_mat.copyTo(s.work_mat);
  fill_ours(s);
  fill_opencv(s);
  int64_t changed = 0;
  for (int32_t y = 0; y < kSide; ++y) {
    const uint8_t* ours = fbitmap_row(s.work.get(), y);
    const uint8_t* before = fbitmap_row(s.original.get(), y);
    const uint8_t* theirs = s.work_mat.ptr<uint8_t>(y);
    for (int32_t x = 0; x < kSide; ++x) {
      const bool ours_changed = std::memcmp(ours + 4 * x, before + 4 * x, 3) != 0;
      const bool theirs_changed = theirs[3 * x] != before[4 * x] ||
                                  theirs[3 * x + 1] != before[4 * x + 1] ||
                                  theirs[3 * x + 2] != before[4 * x + 2];
      if (ours_changed != theirs_changed) {
        std::fprintf(stderr, "%s: fills differ at (%d, %d)\n", s.name.c_str(), x, y);
        return false;
      }
      changed += ours_changed;
    }
  }
  std::fprintf(stderr, "%s: %lld pixels filled by both\n", s.name.c_str(),
               static_cast<long long>(changed));
  return true;
}

// Holds its own list of cases: it outlives the scenes, which are gone when it prints.
struct FloodResults {
  std::vector<std::string> cases;
  std::map<std::string, double> best;
  void note(const std::string& name, double seconds) {
    auto [it, fresh] = best.emplace(name, seconds);
    if (!fresh && seconds < it->second) it->second = seconds;
  }
  ~FloodResults() {
    for (const std::string& name : cases) {
      auto ours = best.find(name + "/penlark");
      auto theirs = best.find(name + "/opencv");
      if (ours == best.end() || theirs == best.end() || ours->second <= 0) continue;
      std::printf("speedup %s opencv %.2f\n", name.c_str(), theirs->second / ours->second);
    }
    std::fflush(stdout);
  }
};
FloodResults g_flood_results;

void run(benchmark::State& state, Scene* s, bool ours) {
  const std::string name = s->name + (ours ? "/penlark" : "/opencv");
  for (auto _ : state) {
    if (ours) {
      restore(*s);
    } else {
      s->original_mat.copyTo(s->work_mat);
    }
    const double start = thread_seconds();
    if (ours) {
      fill_ours(*s);
    } else {
      fill_opencv(*s);
    }
    const double seconds = thread_seconds() - start;
    state.SetIterationTime(seconds);
    g_flood_results.note(name, seconds);
  }
}

// Registered at start-up like the other benchmark files; the shared main runs them.
const bool g_registered = [] {
  Scene* open = make_scene("flood_open", make_open(), FPoint{kSide / 2, kSide / 2});
  Scene* maze = make_scene("flood_maze", make_maze(), FPoint{1, 1});
  for (Scene* s : {open, maze}) {
    if (!same_fill(*s)) std::exit(1);
    g_flood_results.cases.push_back(s->name);
    for (bool ours : {true, false}) {
      benchmark::RegisterBenchmark((s->name + (ours ? "/penlark" : "/opencv")).c_str(),
                                   [s, ours](benchmark::State& state) { run(state, s, ours); })
          ->UseManualTime()
          ->Unit(benchmark::kMillisecond)
          ->MinTime(0.2)
          ->Repetitions(5);
    }
  }
  return true;
}();

}  // namespace
