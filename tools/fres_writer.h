// The resource compiler's library: reads string tables, bitmap lists and PNG images, turns
// them into the entries of a resource file and writes the container that fres_load reads.
// fresc is its command line; the tests drive it directly.
//
// Errors are appended to `errors` as lines "file:line: message\n" (or "file: message\n"
// when no line applies); a parser keeps going after an error so that one run reports all
// of a table's faults. Functions return true when they added no error.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// One entry of a section: its id and payload, and where it came from.
struct FresEntry {
  uint32_t id;
  std::vector<uint8_t> payload;
  std::string origin;  // "file:line", for messages about duplicates
};

// A PNG as straight (not premultiplied) red, green, blue, alpha bytes, top row first. A
// palette PNG also keeps its palette and its indices.
struct FresImage {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint8_t> rgba;     // width x height x 4
  std::vector<uint8_t> palette;  // palette PNGs only: red, green, blue, alpha per entry
  std::vector<uint8_t> indices;  // palette PNGs only: width x height
};

// Depths a bitmap payload is written in. `alpha8` is the 8-bit opacity mask of a pair: a
// grey palette and one opacity byte per pixel.
enum class FresDepth { pal8, rgb565, rgb24, rgb32, alpha8 };

// Bitmap list kinds: a single bitmap at one depth, or a colour bitmap at id with its alpha
// mask at id + 1.
enum class FresBitmapKind { pal8, rgb565, rgb24, rgb32, pair16, pair24 };

struct FresBitmapItem {
  uint32_t id;
  FresBitmapKind kind;
  std::string path;    // the image, already joined with the list's folder
  std::string origin;  // "file:line"
};

// ---- Sources ------------------------------------------------------------------------------
// Reads a whole file; on failure adds "path: cannot read".
bool fres_writer_read_text(const char* path, std::string* out, std::string* errors);

// String table: UTF-8 lines "<decimal id> <text>"; escapes \n \t \\ \s; empty lines and
// lines starting with '#' are skipped. Appends one entry per line with its zero-terminated
// UTF-16LE payload. `source` names the table in messages.
bool fres_writer_parse_strings(std::string_view text, const std::string& source,
                               std::vector<FresEntry>* out, std::string* errors);

// Bitmap list: lines "<id> <kind> <image.png>", kinds 8 16 24 32 pair16 pair24; image paths
// are relative to `folder` (the list's own folder).
bool fres_writer_parse_bitmap_list(std::string_view text, const std::string& source,
                                   const std::string& folder, std::vector<FresBitmapItem>* out,
                                   std::string* errors);

bool fres_writer_read_png(const char* path, FresImage* out, std::string* errors);

// ---- Payloads -----------------------------------------------------------------------------
// The payload of one bitmap: record image, information block, 4 bytes, bottom-up pixels,
// padded to a multiple of 4. pal8 keeps a palette PNG's palette and otherwise builds one
// from the image's colours (at most 256). `origin` prefixes the messages.
bool fres_writer_bitmap_payload(const FresImage& image, FresDepth depth, const std::string& origin,
                                std::vector<uint8_t>* out, std::string* errors);

// Reads the item's image and appends its entries (two for a pair).
bool fres_writer_add_bitmap(const FresBitmapItem& item, std::vector<FresEntry>* out,
                            std::string* errors);

// ---- Container ----------------------------------------------------------------------------
// Sorts a section's entries by id; a repeated id is an error naming both places.
bool fres_writer_sort(std::vector<FresEntry>* entries, std::string* errors);

// The container bytes: a section table with a strings and a bitmaps section when each has
// entries, every entry padded to 4 bytes. Entries must be sorted.
std::vector<uint8_t> fres_writer_build(const std::vector<FresEntry>& strings,
                                       const std::vector<FresEntry>& bitmaps);

// Writes beside `path` and renames over it when complete.
bool fres_writer_write_file(const char* path, const std::vector<uint8_t>& bytes);
