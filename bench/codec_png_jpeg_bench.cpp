// Benchmarks of the PNG and JPEG readers and writers beside the libraries used directly
// through their simplest interfaces: libpng's simplified png_image API and TurboJPEG,
// with the same settings (default PNG compression; JPEG quality 75 with 4:2:0 chroma, as
// libjpeg's defaults give) on the same 2048 x 2048 photograph-like picture, in the same
// process. Both sides go from file to pixels and back, into the same pixel layout (blue,
// green, red; PNG rows bottom-up, JPEG rows top-down): the peers read and write the same
// files through stdio. Our PNG reader also hands out an alpha bitmap, which the peer does
// not make. The files live on a memory file system where one is available, so that the
// codec, not the disk, decides the figures.
//
// This file has no main of its own (the bitmap benchmarks' main runs every registered
// benchmark); it registers its runs when the program starts and prints its lines when it
// ends:
//
//   speedup <operation> <peer> <peer time / our time>
//
// Each time is the CPU time per call of the best of several repetitions.

#include <benchmark/benchmark.h>
#include <png.h>
#include <turbojpeg.h>

#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "fbitmap.h"
#include "jpegimage.h"
#include "pngimage.h"

namespace {

constexpr int kSide = 2048;
constexpr int kJpegQuality = 75;

double thread_seconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

// The picture, its files and the peers' handles; made on first use.
struct CodecScene {
  FBitmap* picture = nullptr;  // owned: 24-bit top-down, the layout both sides read
  std::string folder, png_path, jpeg_path, out_png, out_peer_png, out_jpeg, out_peer_jpeg;
  tjhandle compressor = nullptr, decompressor = nullptr;

  CodecScene() {
    picture = fbitmap_create(kSide, -kSide, 24);
    if (!picture) std::abort();
    // Smooth lighting and colour gradients, sensor-like noise and a few hard-edged shapes.
    std::mt19937 rng(7);
    std::normal_distribution<float> noise(0.0f, 4.0f);
    for (int y = 0; y < kSide; ++y) {
      uint8_t* row = fbitmap_row(picture, y);
      for (int x = 0; x < kSide; ++x) {
        float fx = static_cast<float>(x) / kSide, fy = static_cast<float>(y) / kSide;
        float light = 0.6f + 0.4f * std::sin(3.1f * fx + 1.7f * fy);
        float r = 200 * light * (0.5f + 0.5f * fx), g = 180 * light * (0.4f + 0.6f * fy), b = 160 * light;
        float dx = fx - 0.6f, dy = fy - 0.4f;
        if (dx * dx + dy * dy < 0.04f) r = 230, g = 40, b = 30;  // a red disc
        if (x > 300 && x < 700 && y > 1200 && y < 1900) r *= 0.3f, g *= 0.3f, b *= 0.35f;  // shadowed block
        if ((x / 64 + y / 64) % 2 == 0 && y > 1800) r += 40, g += 40, b += 40;  // chequered floor
        float c[3] = {b, g, r};
        for (int k = 0; k < 3; ++k) {
          float v = c[k] + noise(rng);
          row[3 * x + k] = static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
        }
      }
    }
    const char* base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string pattern = std::string(base) + "/penlark-codec-XXXXXX";
    if (!mkdtemp(pattern.data())) std::abort();
    folder = pattern;
    png_path = folder + "/in.png", jpeg_path = folder + "/in.jpg";
    out_png = folder + "/ours.png", out_peer_png = folder + "/peer.png";
    out_jpeg = folder + "/ours.jpg", out_peer_jpeg = folder + "/peer.jpg";
    if (!pngimage_write(picture, png_path.c_str()) || !jpegimage_write(picture, jpeg_path.c_str(), kJpegQuality)) {
      std::abort();
    }
    compressor = tjInitCompress();
    decompressor = tjInitDecompress();
  }
  ~CodecScene() {
    for (const std::string* path : {&png_path, &jpeg_path, &out_png, &out_peer_png, &out_jpeg, &out_peer_jpeg}) {
      std::remove(path->c_str());
    }
    rmdir(folder.c_str());
    tjDestroy(compressor);
    tjDestroy(decompressor);
    fbitmap_destroy(picture);
  }
};

CodecScene& scene() {
  static CodecScene instance;
  return instance;
}

std::vector<uint8_t> read_whole(const std::string& path) {
  std::vector<uint8_t> bytes;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) std::abort();
  std::fseek(file, 0, SEEK_END);
  bytes.resize(static_cast<size_t>(std::ftell(file)));
  std::fseek(file, 0, SEEK_SET);
  if (std::fread(bytes.data(), 1, bytes.size(), file) != bytes.size()) std::abort();
  std::fclose(file);
  return bytes;
}

void write_whole(const std::string& path, const unsigned char* data, unsigned long size) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file || std::fwrite(data, 1, size, file) != size) std::abort();
  std::fclose(file);
}

// ---- The jobs --------------------------------------------------------------------------

void png_decode_ours(CodecScene& s) {
  FBitmap *color = nullptr, *alpha = nullptr;
  if (!pngimage_read(&color, &alpha, s.png_path.c_str())) std::abort();
  benchmark::DoNotOptimize(color->pixels);
  fbitmap_destroy(color), fbitmap_destroy(alpha);
}

void png_decode_simplified(CodecScene& s) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, s.png_path.c_str())) std::abort();
  image.format = PNG_FORMAT_BGR;
  auto* pixels = static_cast<uint8_t*>(std::malloc(PNG_IMAGE_SIZE(image)));
  // A negative stride stores the rows bottom-up, the layout our reader hands out.
  auto stride = -static_cast<png_int_32>(PNG_IMAGE_ROW_STRIDE(image));
  if (!pixels || !png_image_finish_read(&image, nullptr, pixels, stride, nullptr)) std::abort();
  benchmark::DoNotOptimize(pixels);
  std::free(pixels);
}

void png_encode_ours(CodecScene& s) {
  if (!pngimage_write(s.picture, s.out_png.c_str())) std::abort();
}

void png_encode_simplified(CodecScene& s) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = kSide, image.height = kSide, image.format = PNG_FORMAT_BGR;
  if (!png_image_write_to_file(&image, s.out_peer_png.c_str(), 0, s.picture->pixels,
                               static_cast<png_int_32>(s.picture->stride), nullptr)) {  // in 1-byte components
    std::abort();
  }
}

void jpeg_decode_ours(CodecScene& s) {
  FBitmap* color = nullptr;
  if (!jpegimage_read(&color, s.jpeg_path.c_str())) std::abort();
  benchmark::DoNotOptimize(color->pixels);
  fbitmap_destroy(color);
}

void jpeg_decode_turbojpeg(CodecScene& s) {
  std::vector<uint8_t> file = read_whole(s.jpeg_path);
  int width = 0, height = 0, subsampling = 0, colorspace = 0;
  if (tjDecompressHeader3(s.decompressor, file.data(), file.size(), &width, &height, &subsampling, &colorspace)) {
    std::abort();
  }
  auto* pixels = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(width) * height * 3));
  if (!pixels || tjDecompress2(s.decompressor, file.data(), file.size(), pixels, width, 0, height, TJPF_BGR, 0)) {
    std::abort();
  }
  benchmark::DoNotOptimize(pixels);
  std::free(pixels);
}

void jpeg_encode_ours(CodecScene& s) {
  if (!jpegimage_write(s.picture, s.out_jpeg.c_str(), kJpegQuality)) std::abort();
}

void jpeg_encode_turbojpeg(CodecScene& s) {
  unsigned char* out = nullptr;
  unsigned long size = 0;
  if (tjCompress2(s.compressor, s.picture->pixels, kSide, static_cast<int>(s.picture->stride), kSide, TJPF_BGR,
                  &out, &size, TJSAMP_420, kJpegQuality, 0)) {
    std::abort();
  }
  write_whole(s.out_peer_jpeg, out, size);
  tjFree(out);
}

struct Comparison {
  const char* name;
  const char* peer;
  void (*ours)(CodecScene&);
  void (*theirs)(CodecScene&);
};
constexpr Comparison kComparisons[] = {
    {"png_decode", "libpng_simplified", png_decode_ours, png_decode_simplified},
    {"png_encode", "libpng_simplified", png_encode_ours, png_encode_simplified},
    {"jpeg_decode", "turbojpeg", jpeg_decode_ours, jpeg_decode_turbojpeg},
    {"jpeg_encode", "turbojpeg", jpeg_encode_ours, jpeg_encode_turbojpeg},
};

// Best CPU seconds per call of every run, and the speedup lines once the program ends.
struct CodecResults {
  std::map<std::string, double> best;
  ~CodecResults() {
    for (const Comparison& c : kComparisons) {
      auto ours = best.find(std::string(c.name) + "/penlark");
      auto theirs = best.find(std::string(c.name) + "/" + c.peer);
      if (ours == best.end() || theirs == best.end() || ours->second <= 0) continue;
      std::printf("speedup %s %s %.2f\n", c.name, c.peer, theirs->second / ours->second);
    }
    std::fflush(stdout);
  }
};
CodecResults g_results;

void run_timed(benchmark::State& state, const std::string& name, void (*job)(CodecScene&)) {
  CodecScene& s = scene();
  double start = thread_seconds();
  for (auto _ : state) job(s);
  double seconds = (thread_seconds() - start) / static_cast<double>(state.iterations());
  auto [it, fresh] = g_results.best.emplace(name, seconds);
  if (!fresh && seconds < it->second) it->second = seconds;
}

const bool g_registered = [] {
  for (const Comparison& c : kComparisons) {
    const std::pair<std::string, void (*)(CodecScene&)> sides[] = {{"penlark", c.ours}, {c.peer, c.theirs}};
    for (const auto& [side, job] : sides) {
      std::string name = std::string(c.name) + "/" + side;
      benchmark::RegisterBenchmark(("codec/" + name).c_str(),
                                   [name, job = job](benchmark::State& state) { run_timed(state, name, job); })
          ->Unit(benchmark::kMillisecond)
          ->MinTime(0.2)
          ->Repetitions(7);
    }
  }
  return true;
}();

}  // namespace
