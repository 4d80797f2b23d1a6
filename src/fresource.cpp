// Resource files: loading the string and bitmap containers into up to 16 slots and looking
// ids up in them. A file is read in two blocks (header, data) and its entries are used in
// place; the only things built beside the data are the bitmap records, because the stored
// 52-byte record image holds 32-bit addresses that cannot serve on this machine.
//
// Every file is checked completely at load time (section bounds, entry lengths, string
// terminators, bitmap sizes), so that the lookups can walk the data without any further
// checks: a file that fails one check is refused as a whole and leaves no slot in use.
//
// fres_load -> read header, data -> find sections -> check each entry, build bitmap records
// fres_get_string / fres_get_bitmap -> per slot: id range check -> scan the section

#include "fresource.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "fbitmap.h"
#include "fbytes.h"
#include "fplatform.h"

namespace {

// Limits that keep a hostile header from asking for absurd allocations.
constexpr uint32_t kMaxHeaderSize = 64u * 1024 * 1024;
constexpr uint32_t kMaxDataSize = 64u * 1024 * 1024;
constexpr int32_t kMaxBitmapSide = 32767;

constexpr uint32_t kEntryHeaderSize = 8;  // id, length
// The information block is followed by 4 bytes that the pixels come after.
constexpr uint32_t kInfoTrailerSize = 4;

// One bitmap entry as handed out: the record the callers use and, when the stored pixels
// are not 4-byte aligned inside the data block, an aligned copy of them.
struct FResourceBitmap {
  uint32_t id;
  FBitmap bitmap;       // info points into the data block; pixels into it or pixel_copy
  uint8_t* pixel_copy;  // owned, null when the pixels are used in place
};

struct FResourceFile {
  uint32_t in_use;  // 1 while the slot holds a file
  uint32_t string_offset, string_length, string_high, string_low;
  uint32_t bitmap_offset, bitmap_length, bitmap_high, bitmap_low;
  uint8_t* data;  // owned: the data block
  uint32_t data_size;
  FResourceBitmap* bitmaps;  // owned: one per bitmap entry, in section order
  uint32_t bitmap_count;
};

// The slot table; exists exactly while at least one file is loaded.
FResourceFile* g_slots = nullptr;  // owned, max_resource_file_number entries

void release_file(FResourceFile* file) {
  for (uint32_t i = 0; i < file->bitmap_count; ++i) std::free(file->bitmaps[i].pixel_copy);
  std::free(file->bitmaps);
  std::free(file->data);
  *file = FResourceFile{};
}

void free_table_when_empty() {
  if (!g_slots) return;
  for (int i = 0; i < max_resource_file_number; ++i) {
    if (g_slots[i].in_use) return;
  }
  std::free(g_slots);
  g_slots = nullptr;
}

bool read_exact(std::FILE* f, uint8_t* buffer, uint32_t size) {
  return size == 0 || std::fread(buffer, 1, size, f) == size;
}

uint32_t row_bytes(uint32_t bpp, uint32_t width) {
  return static_cast<uint32_t>(((static_cast<uint64_t>(bpp) * width + 31) / 32) * 4);
}

// Walks the entries of one section: each must fit inside it. Calls `check(id, payload,
// length)` for every entry; a false from it fails the walk. Sets low and high to the first
// and the last entry's id.
template <typename Check>
bool walk_section(const uint8_t* section, uint32_t length, uint32_t* low, uint32_t* high,
                  Check check) {
  uint32_t pos = 0;
  bool first = true;
  while (pos < length) {
    if (length - pos < kEntryHeaderSize) return false;
    uint32_t id = fbytes_get_u32(section + pos);
    uint32_t size = fbytes_get_u32(section + pos + 4);
    if (size > length - pos - kEntryHeaderSize) return false;
    if (!check(id, section + pos + kEntryHeaderSize, size)) return false;
    if (first) *low = id;
    first = false;
    *high = id;
    pos += kEntryHeaderSize + size;
  }
  return true;
}

// A string payload holds whole UTF-16 units and its terminator.
bool string_payload_ok(const uint8_t* payload, uint32_t length) {
  if (length % 2 != 0) return false;
  for (uint32_t i = 0; i < length; i += 2) {
    if (fbytes_get_u16(payload + i) == 0) return true;
  }
  return false;
}

// Checks a bitmap payload against its own length and builds the record for it. The stored
// record words must agree with what the information block describes: the blit kernels
// trust stride and masks, so a record that disagrees would send them outside the pixels.
bool bitmap_from_payload(const uint8_t* payload, uint32_t length, FResourceBitmap* out) {
  constexpr uint32_t info_at = FRES_BITMAP_RECORD_SIZE;
  if (length < info_at + FBITMAP_INFO_HEADER_SIZE + kInfoTrailerSize) return false;
  const uint8_t* info = payload + info_at;
  uint32_t header = fbytes_get_u32(info);
  int32_t width = fbytes_get_i32(info + 4);
  int32_t height = fbytes_get_i32(info + 8);
  uint32_t bpp = fbytes_get_u16(info + 14);
  uint32_t compression = fbytes_get_u32(info + 16);
  uint32_t colors_used = fbytes_get_u32(info + 32);
  if (header != FBITMAP_INFO_HEADER_SIZE) return false;
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return false;
  bool bit_fields = compression == FBITMAP_BI_BITFIELDS;
  if (compression != FBITMAP_BI_RGB && !(bit_fields && (bpp == 16 || bpp == 32))) return false;
  if (width < 1 || width > kMaxBitmapSide) return false;
  if (height == 0 || height < -kMaxBitmapSide || height > kMaxBitmapSide) return false;
  if (colors_used > (bpp <= 8 ? (1u << bpp) : 0u)) return false;

  uint32_t info_size = FBITMAP_INFO_HEADER_SIZE + (bit_fields ? 12 : 0) + (bpp <= 8 ? 4u << bpp : 0);
  uint64_t pixels_at = static_cast<uint64_t>(info_at) + info_size + kInfoTrailerSize;
  uint32_t stride = row_bytes(bpp, static_cast<uint32_t>(width));
  uint64_t image = static_cast<uint64_t>(stride) * static_cast<uint32_t>(height < 0 ? -height : height);
  if (pixels_at + image > length) return false;

  FBitmap described{};
  described.info = const_cast<uint8_t*>(info);
  fbitmap_describe(&described);
  const uint32_t stored[10] = {
      fbytes_get_u32(payload + 8),  fbytes_get_u32(payload + 12), fbytes_get_u32(payload + 16),
      fbytes_get_u32(payload + 20), fbytes_get_u32(payload + 24), fbytes_get_u32(payload + 28),
      fbytes_get_u32(payload + 32), fbytes_get_u32(payload + 36), fbytes_get_u32(payload + 40),
      fbytes_get_u32(payload + 44)};
  const uint32_t expected[10] = {described.stride,     described.red_mask,   described.green_mask,
                                 described.blue_mask,  described.red_shift,  described.green_shift,
                                 described.blue_shift, described.red_loss,   described.green_loss,
                                 described.blue_loss};
  if (std::memcmp(stored, expected, sizeof stored) != 0) return false;
  // Channels wider than 8 bits would make the losses negative, and the shifts by them
  // undefined, in every reader of the pixels.
  if (described.red_loss > 8 || described.green_loss > 8 || described.blue_loss > 8) return false;

  out->bitmap = described;
  out->bitmap.pixels = const_cast<uint8_t*>(payload + pixels_at);
  out->pixel_copy = nullptr;
  // The kernels read whole 16- and 32-bit pixels; give them aligned rows even when the
  // writer of the file did not pad the entries.
  if (reinterpret_cast<uintptr_t>(out->bitmap.pixels) % 4 != 0) {
    out->pixel_copy = static_cast<uint8_t*>(std::malloc(image ? image : 1));
    if (!out->pixel_copy) return false;
    std::memcpy(out->pixel_copy, out->bitmap.pixels, image);
    out->bitmap.pixels = out->pixel_copy;
  }
  return true;
}

// Finds the sections in the table and checks every entry. The table and data are the
// file's; `file` receives the section bounds and the bitmap records.
bool parse_file(FResourceFile* file, const uint8_t* table, uint32_t table_entries) {
  for (uint32_t i = 0; i < table_entries; ++i) {
    uint32_t type = fbytes_get_u32(table + 8 * i);
    uint32_t offset = fbytes_get_u32(table + 8 * i + 4);
    uint32_t end = i + 1 < table_entries ? fbytes_get_u32(table + 8 * (i + 1) + 4) : file->data_size;
    if (offset > file->data_size || end > file->data_size || end < offset) return false;
    if (type == FRES_SECTION_STRINGS) {
      file->string_offset = offset;
      file->string_length = end - offset;
    } else if (type == FRES_SECTION_BITMAPS) {
      file->bitmap_offset = offset;
      file->bitmap_length = end - offset;
    }
  }

  // Strings are handed out as char16_t pointers, so they must sit on even addresses.
  if (file->string_length > 0 && file->string_offset % 2 != 0) return false;
  if (!walk_section(file->data + file->string_offset, file->string_length, &file->string_low,
                    &file->string_high,
                    [](uint32_t, const uint8_t* payload, uint32_t size) {
                      return string_payload_ok(payload, size);
                    })) {
    return false;
  }

  uint32_t count = 0;
  if (!walk_section(file->data + file->bitmap_offset, file->bitmap_length, &file->bitmap_low,
                    &file->bitmap_high, [&count](uint32_t, const uint8_t*, uint32_t) {
                      ++count;
                      return true;
                    })) {
    return false;
  }
  if (count == 0) return true;
  file->bitmaps = static_cast<FResourceBitmap*>(std::calloc(count, sizeof(FResourceBitmap)));
  if (!file->bitmaps) return false;
  uint32_t low = 0, high = 0;
  return walk_section(file->data + file->bitmap_offset, file->bitmap_length, &low, &high,
                      [file](uint32_t id, const uint8_t* payload, uint32_t size) {
                        FResourceBitmap* entry = &file->bitmaps[file->bitmap_count];
                        entry->id = id;
                        if (!bitmap_from_payload(payload, size, entry)) return false;
                        ++file->bitmap_count;
                        return true;
                      });
}

// Reads and checks the whole file into `file`. On failure the caller releases it.
bool read_file(FResourceFile* file, std::FILE* f) {
  uint8_t head[16];
  if (!read_exact(f, head, sizeof head)) return false;
  if (fbytes_get_u32(head) != FRES_MAGIC || fbytes_get_u32(head + 4) != FRES_VERSION) return false;
  uint32_t header_size = fbytes_get_u32(head + 8);
  uint32_t data_size = fbytes_get_u32(head + 12);
  if (header_size < 16 || (header_size - 16) % 8 != 0 || header_size > kMaxHeaderSize) return false;
  if (data_size > kMaxDataSize) return false;

  uint32_t table_size = header_size - 16;
  uint8_t* table = static_cast<uint8_t*>(std::malloc(table_size ? table_size : 1));
  if (!table) return false;
  // malloc's alignment keeps the stored pixels 4-byte aligned when the writer padded them.
  file->data = static_cast<uint8_t*>(std::malloc(data_size ? data_size : 1));
  file->data_size = data_size;
  bool ok = file->data && read_exact(f, table, table_size) && read_exact(f, file->data, data_size) &&
            parse_file(file, table, table_size / 8);
  std::free(table);
  return ok;
}

// Files that might hold `id`, in load order: the later result replaces the earlier one.
const uint8_t* find_string(const FResourceFile* file, uint32_t id) {
  if (file->string_length == 0 || id < file->string_low || id > file->string_high) return nullptr;
  const uint8_t* section = file->data + file->string_offset;
  for (uint32_t pos = 0; pos < file->string_length;) {
    uint32_t size = fbytes_get_u32(section + pos + 4);
    if (fbytes_get_u32(section + pos) == id) return section + pos + kEntryHeaderSize;
    pos += kEntryHeaderSize + size;
  }
  return nullptr;
}

}  // namespace

int fres_load(const char* path) {
  if (!path) return 0;
  if (!g_slots) {
    g_slots = static_cast<FResourceFile*>(std::calloc(max_resource_file_number, sizeof(FResourceFile)));
    if (!g_slots) return 0;
  }
  int slot = 0;
  while (slot < max_resource_file_number && g_slots[slot].in_use) ++slot;
  if (slot == max_resource_file_number) return 0;

  FResourceFile* file = &g_slots[slot];
  std::FILE* f = std::fopen(path, "rb");
  bool ok = f && read_file(file, f);
  if (f) std::fclose(f);
  if (!ok) {
    release_file(file);
    free_table_when_empty();
    return 0;
  }
  file->in_use = 1;
  return slot + 1;
}

void fres_unload(int id) {
  FCHECK(id >= 1 && id <= max_resource_file_number, "id>=1 && id<=max_resource_file_number");
  if (!g_slots || !g_slots[id - 1].in_use) return;
  release_file(&g_slots[id - 1]);
  free_table_when_empty();
}

void fres_unload_all() {
  for (int id = 1; id <= max_resource_file_number; ++id) fres_unload(id);
}

const char16_t* fres_get_string(uint32_t id) {
  if (!g_slots) return nullptr;
  const uint8_t* found = nullptr;
  for (int i = 0; i < max_resource_file_number; ++i) {
    if (!g_slots[i].in_use) continue;
    if (const uint8_t* text = find_string(&g_slots[i], id)) found = text;
  }
  // The load checked that string payloads sit on even addresses.
  return reinterpret_cast<const char16_t*>(found);
}

const char16_t* fres_get_string_or(uint32_t id, const char16_t* fallback) {
  const char16_t* text = fres_get_string(id);
  return text ? text : fallback;
}

FBitmap* fres_get_bitmap(uint32_t id) {
  if (!g_slots) return nullptr;
  FBitmap* found = nullptr;
  for (int i = 0; i < max_resource_file_number; ++i) {
    FResourceFile* file = &g_slots[i];
    if (!file->in_use || file->bitmap_count == 0) continue;
    if (id < file->bitmap_low || id > file->bitmap_high) continue;
    for (uint32_t k = 0; k < file->bitmap_count; ++k) {
      if (file->bitmaps[k].id == id) {
        found = &file->bitmaps[k].bitmap;
        break;
      }
    }
  }
  return found;
}
