// Fuzzes the GIF reader (gifimage_read): every byte of the bitmap it hands back is
// read and the picture is scaled through the pixel kernels of its format.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "fbitmap.h"
#include "fuzz_common.h"
#include "gifimage.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  fuzz_setup("gif", *argc, *argv);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* path = fuzz_write_input(data, size);
  FBitmap* color = nullptr;
  if (!gifimage_read(&color, path)) {
    if (color) {
      std::fprintf(stderr, "a failed read left a bitmap behind\n");
      std::abort();
    }
    return 0;
  }
  fuzz_use_bitmap(color);
  fbitmap_destroy(color);
  return 0;
}
