// Fuzzes the BMP reader (fbitmap_load_bmp): every byte of what it hands back is read and
// the picture is scaled through the pixel kernels of its format.
#include <cstddef>
#include <cstdint>

#include "fbitmap.h"
#include "fuzz_common.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  fuzz_setup("bmp", *argc, *argv);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* path = fuzz_write_input(data, size);
  FBitmap bitmap{};
  if (fbitmap_load_bmp(&bitmap, path)) {
    fuzz_use_bitmap(&bitmap);
    fbitmap_release(&bitmap);
  }
  return 0;
}
