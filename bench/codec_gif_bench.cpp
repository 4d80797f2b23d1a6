// Benchmarks of the GIF reader and writer against giflib's own calls doing the same job in
// the same process, and the time of a BMP load (which has no peer here). The picture is a
// 2048 x 2048 photograph-like scene made here: gradients, noise and hard-edged shapes.
//
//   gif_decode: gifimage_read (file -> bitmap) vs DGifOpen on memory + DGifSlurp
//   gif_encode: gifimage_write (bitmap -> file) vs planes + GifQuantizeBuffer + EGifPutLine
//
// The files live on a memory file system where there is one, so that the disk's flush,
// the same for any writer, does not drown the codec's work. Each benchmark keeps the CPU
// time of its best iteration; when the process ends the lines
//
//   speedup gif_decode giflib <giflib time / our time>
//   time bmp_load/2048x2048 <milliseconds>
//
// are printed after the shared main's own.

#include <benchmark/benchmark.h>
#include <gif_lib.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "fbitmap.h"
#include "gifimage.h"

namespace {

constexpr int32_t kSide = 2048;

struct BitmapDeleter {
  void operator()(FBitmap* bitmap) const { fbitmap_destroy(bitmap); }
};
using BitmapPtr = std::unique_ptr<FBitmap, BitmapDeleter>;

// Best wall time per benchmark, printed as the comparisons when the process ends.
struct BestTimes {
  std::map<std::string, double> seconds;

  void note(const std::string& name, double s) {
    auto [it, fresh] = seconds.emplace(name, s);
    if (!fresh && s < it->second) it->second = s;
  }
  double get(const std::string& name) const {
    auto it = seconds.find(name);
    return it == seconds.end() ? 0.0 : it->second;
  }
  ~BestTimes() {
    for (const char* job : {"gif_decode", "gif_encode"}) {
      double ours = get(std::string(job) + "/penlark"), theirs = get(std::string(job) + "/giflib");
      if (ours > 0 && theirs > 0) std::printf("speedup %s giflib %.2f\n", job, theirs / ours);
    }
    double bmp = get("bmp_load/penlark");
    if (bmp > 0) std::printf("time bmp_load/%dx%d %.2f ms\n", kSide, kSide, bmp * 1000.0);
    std::fflush(stdout);
  }
};

BestTimes& best_times() {
  static BestTimes times;
  return times;
}

// Gradients across the picture, a soft vignette, sensor-like noise, and shapes with hard
// edges (a disc, bars, a diagonal split) the way a photograph has object outlines.
BitmapPtr make_photo() {
  BitmapPtr photo(fbitmap_create(kSide, -kSide, 24));
  if (!photo) {
    std::fprintf(stderr, "out of memory\n");
    std::exit(1);
  }
  std::mt19937 rng(2048);
  std::normal_distribution<float> noise(0.0f, 5.0f);
  auto clamp = [](float v) { return static_cast<uint8_t>(std::lround(std::clamp(v, 0.0f, 255.0f))); };
  for (int32_t y = 0; y < kSide; ++y) {
    uint8_t* row = fbitmap_row(photo.get(), y);
    for (int32_t x = 0; x < kSide; ++x) {
      float fx = static_cast<float>(x) / kSide, fy = static_cast<float>(y) / kSide;
      float dx = fx - 0.5f, dy = fy - 0.45f;
      float vignette = 1.0f - 0.6f * (dx * dx + dy * dy);
      float r = (60 + 150 * fx) * vignette, g = (90 + 120 * fy) * vignette, b = (200 - 140 * fy + 30 * std::sin(fx * 9)) * vignette;
      if (dx * dx + dy * dy < 0.04f) {  // a disc
        r = 220 - 80 * fy;
        g = 140 + 40 * fx;
        b = 40;
      }
      if (fx > 0.7f && fx < 0.75f) r = g = b = 30;                     // a dark bar
      if (fy > 0.8f + 0.1f * fx) r *= 0.5f, g = g * 0.6f + 60, b *= 0.4f;  // ground below a slanted edge
      row[3 * x] = clamp(b + noise(rng));
      row[3 * x + 1] = clamp(g + noise(rng));
      row[3 * x + 2] = clamp(r + noise(rng));
    }
  }
  return photo;
}

struct Scene {
  std::string folder;
  BitmapPtr photo;
  std::string gif_path, out_path, peer_path, bmp_path;
  std::vector<uint8_t> gif_bytes;

  Scene() {
    std::string base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : std::filesystem::temp_directory_path().string();
    std::string pattern = base + "/penlark-gif-bench-XXXXXX";
    if (!mkdtemp(pattern.data())) {
      std::fprintf(stderr, "no temporary folder\n");
      std::exit(1);
    }
    folder = pattern;
    gif_path = folder + "/photo.gif";
    out_path = folder + "/out.gif";
    peer_path = folder + "/peer.gif";
    bmp_path = folder + "/photo.bmp";
    photo = make_photo();
    if (!gifimage_write(photo.get(), gif_path.c_str(), 100) || !fbitmap_save_bmp(photo.get(), bmp_path.c_str())) {
      std::fprintf(stderr, "cannot write the bench pictures\n");
      std::exit(1);
    }
    std::ifstream in(gif_path, std::ios::binary);
    gif_bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    std::fprintf(stderr, "gif %zu bytes\n", gif_bytes.size());
  }
  ~Scene() { std::filesystem::remove_all(folder); }
};

Scene& scene() {
  static Scene s;
  return s;
}

double thread_seconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Runs `job` once per iteration, timing each with the thread's CPU clock: the machine may
// be shared, and time spent descheduled says nothing about the code.
template <typename Job>
void run_timed(benchmark::State& state, const char* name, Job job) {
  for (auto _ : state) {
    double start = thread_seconds();
    job();
    double seconds = thread_seconds() - start;
    state.SetIterationTime(seconds);
    best_times().note(name, seconds);
  }
}

// ---- giflib on its own ------------------------------------------------------------------------

struct MemorySource {
  const uint8_t* data;
  size_t size, position;
};

int read_memory(GifFileType* gif, GifByteType* out, int length) {
  auto* source = static_cast<MemorySource*>(gif->UserData);
  size_t take = std::min(static_cast<size_t>(length), source->size - source->position);
  std::memcpy(out, source->data + source->position, take);
  source->position += take;
  return static_cast<int>(take);
}

bool giflib_decode(const std::vector<uint8_t>& bytes) {
  MemorySource source{bytes.data(), bytes.size(), 0};
  int error = 0;
  GifFileType* gif = DGifOpen(&source, read_memory, &error);
  if (!gif) return false;
  bool ok = DGifSlurp(gif) == GIF_OK && gif->ImageCount > 0;
  benchmark::DoNotOptimize(gif->SavedImages);
  DGifCloseFile(gif, &error);
  return ok;
}

int write_file(GifFileType* gif, const GifByteType* data, int length) {
  return static_cast<int>(std::fwrite(data, 1, static_cast<size_t>(length), static_cast<std::FILE*>(gif->UserData)));
}

bool giflib_encode(const FBitmap* photo, const char* path) {
  size_t pixels = static_cast<size_t>(kSide) * kSide;
  std::vector<uint8_t> red(pixels), green(pixels), blue(pixels), indices(pixels);
  for (int32_t y = 0; y < kSide; ++y) {
    const uint8_t* p = fbitmap_row(photo, y);
    size_t at = static_cast<size_t>(y) * kSide;
    for (int32_t x = 0; x < kSide; ++x, p += 3) {
      blue[at + x] = p[0];
      green[at + x] = p[1];
      red[at + x] = p[2];
    }
  }
  GifColorType colors[256] = {};
  int count = 256;
  if (GifQuantizeBuffer(kSide, kSide, &count, red.data(), green.data(), blue.data(), indices.data(), colors) != GIF_OK) {
    return false;
  }
  ColorMapObject* map = GifMakeMapObject(256, colors);
  std::FILE* file = std::fopen(path, "wb");
  int error = 0;
  GifFileType* gif = file && map ? EGifOpen(file, write_file, &error) : nullptr;
  bool ok = gif && EGifPutScreenDesc(gif, kSide, kSide, 8, 0, map) == GIF_OK &&
            EGifPutImageDesc(gif, 0, 0, kSide, kSide, false, nullptr) == GIF_OK &&
            EGifPutLine(gif, indices.data(), static_cast<int>(pixels)) == GIF_OK;
  if (gif && EGifCloseFile(gif, &error) != GIF_OK) ok = false;
  if (file && std::fclose(file) != 0) ok = false;
  GifFreeMapObject(map);
  return ok;
}

// ---- The benchmarks -----------------------------------------------------------------------------

void gif_decode_penlark(benchmark::State& state) {
  Scene& s = scene();
  run_timed(state, "gif_decode/penlark", [&] {
    FBitmap* bitmap = nullptr;
    if (!gifimage_read(&bitmap, s.gif_path.c_str())) state.SkipWithError("gifimage_read failed");
    if (bitmap) fbitmap_destroy(bitmap);
  });
}

void gif_decode_giflib(benchmark::State& state) {
  Scene& s = scene();
  run_timed(state, "gif_decode/giflib", [&] {
    if (!giflib_decode(s.gif_bytes)) state.SkipWithError("DGifSlurp failed");
  });
}

void gif_encode_penlark(benchmark::State& state) {
  Scene& s = scene();
  run_timed(state, "gif_encode/penlark", [&] {
    if (!gifimage_write(s.photo.get(), s.out_path.c_str(), 100)) state.SkipWithError("gifimage_write failed");
  });
}

void gif_encode_giflib(benchmark::State& state) {
  Scene& s = scene();
  run_timed(state, "gif_encode/giflib", [&] {
    if (!giflib_encode(s.photo.get(), s.peer_path.c_str())) state.SkipWithError("giflib encode failed");
  });
}

void bmp_load_penlark(benchmark::State& state) {
  Scene& s = scene();
  run_timed(state, "bmp_load/penlark", [&] {
    FBitmap bitmap{};
    if (!fbitmap_load_bmp(&bitmap, s.bmp_path.c_str())) state.SkipWithError("fbitmap_load_bmp failed");
    benchmark::DoNotOptimize(bitmap.pixels);
    fbitmap_release(&bitmap);
  });
}

#define PENLARK_CODEC_BENCH(function) \
  BENCHMARK(function)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(0.3)->Repetitions(5)

PENLARK_CODEC_BENCH(gif_decode_penlark);
PENLARK_CODEC_BENCH(gif_decode_giflib);
PENLARK_CODEC_BENCH(gif_encode_penlark);
PENLARK_CODEC_BENCH(gif_encode_giflib);
PENLARK_CODEC_BENCH(bmp_load_penlark);

}  // namespace
