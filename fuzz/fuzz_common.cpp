// The harnesses' common ground: each fuzzing process works in a folder of its own under
// $TMPDIR, with PENLARK_HOME inside it so the readers' state, cache and temp folders are
// private too, and every run's input goes to one fixed file there that the next run
// overwrites. The framework's fatal routine ends the process with _Exit, which libFuzzer
// cannot see; the harnesses link with --wrap=fplatform_fatal and the wrapper below aborts
// instead, so a fatal error is a crash with its input saved like any other. A malloc hook
// keeps the account of what one input makes live (see fuzz_setup in the header).
#include "fuzz_common.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include <sanitizer/allocator_interface.h>
#include <unistd.h>

#include "fbitmap.h"
#include "fsys.h"

namespace {

std::string g_dir;         // the process's folder
std::string g_input_path;  // the fixed input file inside it
volatile uint32_t g_sink;  // fuzz_consume's result, kept so it is computed

// The memory account: bytes the heap may grow by within one run (0: no check), and the
// heap's size when the run started.
size_t g_run_limit = 0;
size_t g_run_base = 0;
constexpr size_t kCheckedBlock = size_t{1} << 20;  // smaller blocks are not looked at

void on_malloc(const volatile void*, size_t size) {
  if (g_run_limit == 0 || size < kCheckedBlock) return;
  const size_t live = __sanitizer_get_current_allocated_bytes();
  if (live > g_run_base && live - g_run_base > g_run_limit) {
    std::fprintf(stderr, "one input made %zu MiB live, more than the bound of %zu MiB\n",
                 (live - g_run_base) >> 20, g_run_limit >> 20);
    std::abort();
  }
}

void on_free(const volatile void*) {}

void start_run() { g_run_base = __sanitizer_get_current_allocated_bytes(); }

// The N of libFuzzer's -malloc_limit_mb=N among the arguments, or 0.
size_t malloc_limit_mb(int argc, char** argv) {
  static const char flag[] = "-malloc_limit_mb=";
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], flag, sizeof flag - 1) == 0) {
      return std::strtoull(argv[i] + sizeof flag - 1, nullptr, 10);
    }
  }
  return 0;
}

void remove_folder() {
  std::error_code ignored;
  std::filesystem::remove_all(g_dir, ignored);
}

}  // namespace

// Replaces fplatform_fatal for every caller outside the port's own unit (see above). The
// linker's --wrap works on symbol names, so this carries the mangled name of
// fplatform_fatal(const char*, const char*, int) behind the "__wrap_" prefix.
extern "C" [[noreturn]] void __wrap__Z15fplatform_fatalPKcS0_i(const char* expression,
                                                                  const char* source_path,
                                                                  int line) {
  std::fprintf(stderr, "fatal error in %s(%d): %s\n", source_path ? source_path : "?", line,
               expression ? expression : "?");
  std::abort();
}

void fuzz_setup(const char* name, int argc, char** argv) {
  const char* tmp = std::getenv("TMPDIR");
  std::string base = (tmp && tmp[0] == '/') ? tmp : "/tmp";
  g_dir = base + "/penlark-fuzz-" + name + "-" + std::to_string(getpid());
  std::error_code error;
  std::filesystem::create_directories(g_dir + "/home", error);
  if (error) {
    std::fprintf(stderr, "fuzz_setup: cannot make %s: %s\n", g_dir.c_str(),
                 error.message().c_str());
    std::abort();
  }
  setenv("PENLARK_HOME", (g_dir + "/home").c_str(), 1);
  fsys_reset_folders();
  // The folders exist before any reader asks for them.
  std::filesystem::create_directories(fsys_state_dir(), error);
  std::filesystem::create_directories(fsys_cache_dir(), error);
  g_input_path = g_dir + "/input." + name;
  std::atexit(remove_folder);
  g_run_limit = malloc_limit_mb(argc, argv) << 20;
  if (g_run_limit) __sanitizer_install_malloc_and_free_hooks(on_malloc, on_free);
}

const std::string& fuzz_dir() { return g_dir; }

void fuzz_write_file(const char* path, const uint8_t* data, size_t size) {
  std::FILE* file = std::fopen(path, "wb");
  if (file == nullptr || (size > 0 && std::fwrite(data, 1, size, file) != size) ||
      std::fclose(file) != 0) {
    std::fprintf(stderr, "fuzz_write_file: cannot write %s\n", path);
    std::abort();
  }
  start_run();
}

const char* fuzz_write_input(const uint8_t* data, size_t size) {
  fuzz_write_file(g_input_path.c_str(), data, size);
  return g_input_path.c_str();
}

void fuzz_consume(const void* bytes, size_t size) {
  const uint8_t* at = static_cast<const uint8_t*>(bytes);
  uint32_t sum = g_sink;
  for (size_t i = 0; i < size; ++i) sum = sum * 31 + at[i];
  g_sink = sum;
}

void fuzz_use_bitmap(const FBitmap* bitmap) {
  const int32_t height = fbitmap_get_height(bitmap);
  fuzz_consume(bitmap->info, fbitmap_get_info_size(bitmap));
  for (int32_t y = 0; y < height; ++y) fuzz_consume(fbitmap_row(bitmap, y), bitmap->stride);
  if (FBitmap* small = fbitmap_scale(bitmap, 37, 23, FBitmapScale::exact, FBitmapRows::top_down)) {
    fuzz_consume(small->pixels, static_cast<size_t>(small->stride) * 23);
    fbitmap_destroy(small);
  }
}

void fuzz_read_picture(int (*read)(FBitmap** out, const char* path), const uint8_t* data,
                       size_t size) {
  const char* path = fuzz_write_input(data, size);
  FBitmap* bitmap = nullptr;
  if (!read(&bitmap, path)) {
    if (bitmap) {
      std::fprintf(stderr, "a failed read left a bitmap behind\n");
      std::abort();
    }
    return;
  }
  fuzz_use_bitmap(bitmap);
  fbitmap_destroy(bitmap);
}
