// Fuzzes the PNG reader (pngimage_read): both bitmaps it hands back are read through and
// scaled, and they must have the same size, as the alpha plane is laid over the colours.
// libpng refuses a chunk whose checksum is wrong, so nearly every mutation would stop at
// the first chunk it touched; the harness writes every complete chunk's checksum afresh,
// so that mutated sizes, palettes and image data reach the decoder.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <zlib.h>

#include "fbitmap.h"
#include "fuzz_common.h"
#include "pngimage.h"

namespace {

uint32_t get_u32_big_endian(const uint8_t* p) {
  return (static_cast<uint32_t>(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
}

// Chunks after the 8-byte signature: length, type, data, checksum over type and data.
void fix_chunk_checksums(std::vector<uint8_t>* file) {
  size_t at = 8;
  while (at + 12 <= file->size()) {
    const uint32_t length = get_u32_big_endian(&(*file)[at]);
    if (length > file->size() - at - 12) break;
    uint8_t* type = &(*file)[at + 4];
    const uint32_t sum = static_cast<uint32_t>(crc32(0, type, length + 4));
    uint8_t* out = type + 4 + length;
    out[0] = static_cast<uint8_t>(sum >> 24);
    out[1] = static_cast<uint8_t>(sum >> 16);
    out[2] = static_cast<uint8_t>(sum >> 8);
    out[3] = static_cast<uint8_t>(sum);
    at += 12 + length;
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  fuzz_setup("png", *argc, *argv);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> file(data, data + size);
  fix_chunk_checksums(&file);
  const char* path = fuzz_write_input(file.data(), file.size());
  FBitmap* color = nullptr;
  FBitmap* alpha = nullptr;
  if (!pngimage_read(&color, &alpha, path)) {
    if (color || alpha) {
      std::fprintf(stderr, "a failed read left a bitmap behind\n");
      std::abort();
    }
    return 0;
  }
  if (!color || !alpha || fbitmap_get_width(color) != fbitmap_get_width(alpha) ||
      fbitmap_get_height(color) != fbitmap_get_height(alpha)) {
    std::fprintf(stderr, "colour and alpha bitmaps do not match\n");
    std::abort();
  }
  fuzz_use_bitmap(color);
  fuzz_use_bitmap(alpha);
  fbitmap_destroy(color);
  fbitmap_destroy(alpha);
  return 0;
}
