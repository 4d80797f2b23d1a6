// Fuzzes the resource file reader (fres_load) and the lookups that walk a loaded file in
// place. The ids looked up are every aligned 32-bit word of the input plus a few fixed ones,
// so that a mutated entry id is asked for as soon as it appears. Every string is read to its
// terminator and every bitmap row to its stride, then each bitmap is blitted into a small
// painting: the lookups and kernels trust what fres_load accepted, so anything it lets
// through that lies about its size shows up here.
#include <cstddef>
#include <cstdint>

#include "fbitmap.h"
#include "fresource.h"
#include "fuzz_common.h"

namespace {

void use_string(uint32_t id) {
  const char16_t* text = fres_get_string(id);
  if (text == nullptr) return;
  size_t length = 0;
  while (text[length] != 0) ++length;
  fuzz_consume(text, length * sizeof(char16_t));
}

void use_bitmap(uint32_t id, FBitmap* target) {
  FBitmap* bitmap = fres_get_bitmap(id);
  if (bitmap == nullptr) return;
  const int32_t width = fbitmap_get_width(bitmap);
  const int32_t height = fbitmap_get_height(bitmap);
  fuzz_consume(bitmap->info, fbitmap_get_info_size(bitmap));
  for (int32_t y = 0; y < height; ++y) fuzz_consume(fbitmap_row(bitmap, y), bitmap->stride);
  const FRect whole{0, 0, width - 1, height - 1};
  fbitmap_blit_keyed(target, FPoint{-1, -1}, bitmap, whole, FCOLOR_KEY_NONE, 255);
  fbitmap_blit(target, FPoint{3, 2}, bitmap, whole, 128);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  fuzz_setup("fres", *argc, *argv);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* path = fuzz_write_input(data, size);
  const int file = fres_load(path);
  if (file == 0) return 0;
  FBitmap target{};
  if (fbitmap_init(&target, 48, 32, 32)) {
    static constexpr uint32_t fixed_ids[] = {0, 1, 2, 3, 25001, 0xFFFFFFFF};
    for (uint32_t id : fixed_ids) {
      use_string(id);
      use_bitmap(id, &target);
    }
    // Every aligned word as an id, up to a bound that keeps large inputs quick.
    for (size_t at = 0; at + 4 <= size && at < 4096; at += 4) {
      const uint32_t id = data[at] | (data[at + 1] << 8) | (data[at + 2] << 16) |
                          (static_cast<uint32_t>(data[at + 3]) << 24);
      use_string(id);
      use_bitmap(id, &target);
    }
    fbitmap_release(&target);
  }
  fres_unload(file);
  return 0;
}
