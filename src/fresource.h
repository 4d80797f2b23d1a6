// Resource files: the container that holds the user interface's strings and bitmaps
// (".fres", ".fmbm", ".lang" share it). Up to 16 files are loaded at once; a lookup asks
// every loaded file and a file loaded later wins, so language files override the base
// ones. Strings and bitmaps are used in place inside the loaded data and stay valid until
// their file is unloaded.
//
// Layout (32-bit little-endian): "FRES", version 1, header size H, data size D, then
// (H - 16) / 8 section entries {type, offset into the data block}; the data block follows
// the header. Section type 1 holds strings, 2 bitmaps; each section is a run of entries
// {id, length L, L bytes} with ascending ids. A string is zero-terminated UTF-16LE; a
// bitmap is a 52-byte image of the bitmap record, its information block (with palette for
// 8 bpp or less) plus 4 bytes, then the pixels.
#pragma once

#include <cstdint>

struct FBitmap;

constexpr int max_resource_file_number = 16;
constexpr uint32_t FRES_MAGIC = 0x53455246;  // "FRES"
constexpr uint32_t FRES_VERSION = 1;
constexpr uint32_t FRES_SECTION_STRINGS = 1;
constexpr uint32_t FRES_SECTION_BITMAPS = 2;
constexpr uint32_t FRES_BITMAP_RECORD_SIZE = 52;  // the stored image of the bitmap record

// File id 1..16, or 0 on any failure (missing file, wrong magic or version, short read,
// inconsistent sizes, no free slot, memory short); a failure leaves no slot in use.
int fres_load(const char* path);
// Ids outside 1..16 are fatal; unloading a free slot does nothing.
void fres_unload(int id);
void fres_unload_all();

// Zero-terminated UTF-16 text inside the loaded data, or null. Later files win.
const char16_t* fres_get_string(uint32_t id);
// The loaded text, or `fallback` (the built-in English text) when no file has the id.
const char16_t* fres_get_string_or(uint32_t id, const char16_t* fallback);
// A bitmap living inside the loaded data (the caller never releases it), or null.
FBitmap* fres_get_bitmap(uint32_t id);

// A localised text: its string id and the built-in English text used when no loaded file
// has the id. The toolkit and the application list theirs in one table each.
struct FString {
  uint32_t id;
  const char16_t* text;  // static, not owned
};
inline const char16_t* fres_text(FString string) {
  return fres_get_string_or(string.id, string.text);
}
