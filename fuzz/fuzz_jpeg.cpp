// Fuzzes the JPEG reader (jpegimage_read): every byte of the bitmap it hands back is
// read and the picture is scaled through the pixel kernels of its format.
#include <cstddef>
#include <cstdint>

#include "fuzz_common.h"
#include "jpegimage.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  fuzz_setup("jpeg", *argc, *argv);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_read_picture(jpegimage_read, data, size);
  return 0;
}
