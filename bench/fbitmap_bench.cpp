// Benchmarks of the bitmap kernels. Each kernel runs beside memcpy or memset of the same
// bytes (the physical limit) and beside pixman doing the same job, in the same process and
// on the same buffers. After the runs one line per comparison is printed:
//
//   speedup <kernel>/<size> <peer> <peer time / our time>
//
// so a value of 1.00 or more means the kernel is at least as fast as its peer. Each timing
// is the CPU time per iteration of the best of a few repetitions: the machine may be shared,
// and the least disturbed run, not counting time spent descheduled, is the closest to what
// the code can do.

#include <benchmark/benchmark.h>
#include <pixman.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "fbitmap.h"

namespace {

struct Size {
  int32_t width, height;
};
constexpr Size kSizes[] = {{480, 640}, {2048, 2048}};

struct BitmapDeleter {
  void operator()(FBitmap* bitmap) const { fbitmap_destroy(bitmap); }
};
using BitmapPtr = std::unique_ptr<FBitmap, BitmapDeleter>;

struct PixmanDeleter {
  void operator()(pixman_image_t* image) const { pixman_image_unref(image); }
};
using PixmanPtr = std::unique_ptr<pixman_image_t, PixmanDeleter>;

// Top-down bitmaps: their rows lie in memory as pixman expects, so pixman can wrap the very
// same pixels.
BitmapPtr make_bitmap(Size size, int32_t bpp, std::mt19937& rng) {
  BitmapPtr bitmap(fbitmap_create(size.width, -size.height, bpp));
  if (!bitmap) {
    std::fprintf(stderr, "out of memory\n");
    std::exit(1);
  }
  uint32_t bytes = fbitmap_get_size_image(bitmap.get());
  for (uint32_t i = 0; i < bytes; ++i) bitmap->pixels[i] = static_cast<uint8_t>(rng());
  return bitmap;
}

PixmanPtr wrap(const FBitmap* bitmap, pixman_format_code_t format) {
  return PixmanPtr(pixman_image_create_bits(format, fbitmap_get_width(bitmap), fbitmap_get_height(bitmap),
                                            reinterpret_cast<uint32_t*>(bitmap->pixels),
                                            static_cast<int>(bitmap->stride)));
}

// The buffers of one size, shared by all benchmarks of that size.
struct Scene {
  Size size;
  BitmapPtr dst32, src32, mask8, dst565;
  PixmanPtr pix_dst32, pix_src32, pix_mask8, pix_dst565, pix_half;
  std::vector<uint8_t> scratch;  // memcpy target for the limits

  explicit Scene(Size s) : size(s) {
    std::mt19937 rng(static_cast<uint32_t>(s.width * 7919 + s.height));
    dst32 = make_bitmap(s, 32, rng);
    src32 = make_bitmap(s, 32, rng);
    // A random mask is the case where no stretch of the row is fully opaque or fully clear,
    // so pixman gets no shortcuts and neither do we.
    mask8 = make_bitmap(s, 8, rng);
    dst565 = make_bitmap(s, 16, rng);
    // The fourth byte is not a channel to the kernels: x8r8g8b8 is the same job for pixman.
    pix_dst32 = wrap(dst32.get(), PIXMAN_x8r8g8b8);
    pix_src32 = wrap(src32.get(), PIXMAN_x8r8g8b8);
    pix_mask8 = wrap(mask8.get(), PIXMAN_a8);
    pix_dst565 = wrap(dst565.get(), PIXMAN_r5g6b5);
    pixman_color_t half{0, 0, 0, 0x8080};
    pix_half = PixmanPtr(pixman_image_create_solid_fill(&half));
    scratch.resize(fbitmap_get_size_image(dst32.get()));
  }

  FRect whole() const { return {0, 0, size.width - 1, size.height - 1}; }
  uint32_t bytes32() const { return fbitmap_get_size_image(dst32.get()); }
  uint32_t bytes565() const { return fbitmap_get_size_image(dst565.get()); }
};

std::vector<std::unique_ptr<Scene>>& scenes() {
  static std::vector<std::unique_ptr<Scene>> all;
  return all;
}

// One comparison: our kernel, the physical limit and pixman, each a job on a scene.
struct Comparison {
  const char* name;
  const char* limit;  // "memcpy" or "memset"
  std::function<void(Scene&)> ours, limit_job, pixman;
};

std::vector<Comparison> comparisons() {
  return {
      {"fill_opaque_32", "memset",
       [](Scene& s) {
         fbitmap_fill_rect(s.dst32.get(), 0, 0, s.size.width - 1, s.size.height - 1,
                           fcolor_make(0x12, 0x34, 0x56, 255));
       },
       [](Scene& s) { std::memset(s.dst32->pixels, 0x5A, s.bytes32()); },
       [](Scene& s) {
         pixman_fill(reinterpret_cast<uint32_t*>(s.dst32->pixels), static_cast<int>(s.dst32->stride / 4), 32,
                     0, 0, s.size.width, s.size.height, 0xFF123456);
       }},
      {"copy_32", "memcpy",
       [](Scene& s) { fbitmap_blit_keyed(s.dst32.get(), {0, 0}, s.src32.get(), s.whole(), FCOLOR_KEY_NONE, 255); },
       [](Scene& s) { std::memcpy(s.dst32->pixels, s.src32->pixels, s.bytes32()); },
       [](Scene& s) {
         int stride = static_cast<int>(s.dst32->stride / 4);
         pixman_blt(reinterpret_cast<uint32_t*>(s.src32->pixels), reinterpret_cast<uint32_t*>(s.dst32->pixels),
                    stride, stride, 32, 32, 0, 0, 0, 0, s.size.width, s.size.height);
       }},
      {"blend_32_opacity_128", "memcpy",
       [](Scene& s) { fbitmap_blit(s.dst32.get(), {0, 0}, s.src32.get(), s.whole(), 128); },
       [](Scene& s) { std::memcpy(s.dst32->pixels, s.src32->pixels, s.bytes32()); },
       [](Scene& s) {
         pixman_image_composite32(PIXMAN_OP_OVER, s.pix_src32.get(), s.pix_half.get(), s.pix_dst32.get(), 0, 0,
                                  0, 0, 0, 0, s.size.width, s.size.height);
       }},
      // The limit is a copy of the bytes written.
      {"copy_32_to_565", "memcpy",
       [](Scene& s) { fbitmap_blit_keyed(s.dst565.get(), {0, 0}, s.src32.get(), s.whole(), FCOLOR_KEY_NONE, 255); },
       [](Scene& s) { std::memcpy(s.dst565->pixels, s.scratch.data(), s.bytes565()); },
       [](Scene& s) {
         pixman_image_composite32(PIXMAN_OP_SRC, s.pix_src32.get(), nullptr, s.pix_dst565.get(), 0, 0, 0, 0, 0,
                                  0, s.size.width, s.size.height);
       }},
      {"masked_32", "memcpy",
       [](Scene& s) {
         fbitmap_blit_masked(s.dst32.get(), {0, 0}, s.src32.get(), s.whole(), s.mask8.get(), 255);
       },
       [](Scene& s) { std::memcpy(s.dst32->pixels, s.src32->pixels, s.bytes32()); },
       [](Scene& s) {
         pixman_image_composite32(PIXMAN_OP_OVER, s.pix_src32.get(), s.pix_mask8.get(), s.pix_dst32.get(), 0, 0,
                                  0, 0, 0, 0, s.size.width, s.size.height);
       }},
  };
}

std::string size_name(Size size) { return std::to_string(size.width) + "x" + std::to_string(size.height); }

// Keeps the best time per iteration of every benchmark while the console shows the runs.
class BestTimeReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration || run.error_occurred || run.iterations == 0) continue;
      double seconds = run.cpu_accumulated_time / static_cast<double>(run.iterations);
      auto [it, fresh] = best_.emplace(run.run_name.function_name, seconds);
      if (!fresh && seconds < it->second) it->second = seconds;
    }
    // With repetitions the console shows one line per benchmark: their median.
    std::vector<Run> shown;
    for (const Run& run : runs) {
      bool repeated = run.repetitions > 1;
      if (!repeated || (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median")) {
        shown.push_back(run);
      }
    }
    if (!shown.empty()) ConsoleReporter::ReportRuns(shown);
  }
  // Seconds per iteration, or 0 when the benchmark did not run (filtered out).
  double best(const std::string& name) const {
    auto it = best_.find(name);
    return it == best_.end() ? 0.0 : it->second;
  }

 private:
  std::map<std::string, double> best_;
};

}  // namespace

int main(int argc, char** argv) {
  // Repetitions run in random order across benchmarks, so that no peer always runs right
  // after the same neighbour, on the same warm or cold caches and clock. A flag given on the
  // command line still wins.
  std::vector<char*> args(argv, argv + argc);
  std::string interleave = "--benchmark_enable_random_interleaving=true";
  args.insert(args.begin() + 1, interleave.data());
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());
  if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 1;

  for (Size size : kSizes) scenes().push_back(std::make_unique<Scene>(size));
  std::vector<Comparison> all = comparisons();
  for (size_t s = 0; s < scenes().size(); ++s) {
    Scene* scene = scenes()[s].get();
    for (const Comparison& c : all) {
      std::string base = std::string(c.name) + "/" + size_name(scene->size) + "/";
      const std::pair<std::string, std::function<void(Scene&)>> variants[] = {
          {"penlark", c.ours}, {c.limit, c.limit_job}, {"pixman", c.pixman}};
      for (const auto& [peer, job] : variants) {
        benchmark::RegisterBenchmark((base + peer).c_str(),
                                     [scene, job](benchmark::State& state) {
                                       for (auto _ : state) {
                                         job(*scene);
                                         benchmark::ClobberMemory();
                                       }
                                     })
            ->Unit(benchmark::kMicrosecond)
            ->MinTime(0.05)
            ->Repetitions(7);
      }
    }
  }

  BestTimeReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);

  for (const auto& scene : scenes()) {
    for (const Comparison& c : all) {
      std::string base = std::string(c.name) + "/" + size_name(scene->size);
      double ours = reporter.best(base + "/penlark");
      if (ours <= 0) continue;
      for (const char* peer : {c.limit, "pixman"}) {
        double theirs = reporter.best(base + "/" + peer);
        if (theirs > 0) std::printf("speedup %s %s %.2f\n", base.c_str(), peer, theirs / ours);
      }
    }
  }
  benchmark::Shutdown();
  return 0;
}
