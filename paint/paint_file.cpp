// The document's file state: the native ".plk" format (the base, the history's steps and
// a thumbnail, never the finished raster), the exports through the picture writers, the
// save-as logic and the recently used save folders.
//
// Every file is written beside its target and renamed over it only when complete
// (fsafe_file), so a failed save never costs the old document. Documents are read as
// untrusted input: every count and size is checked against what the file holds before
// anything is allocated, and everything up to the step list is parsed into a side record,
// so an open that fails leaves the open document as it was.
//
//   paint_file_open -> parse_header -> parse_picture -> parse_steps (side record)
//                   -> install_document (context base, history reset + append)
//   paint_file_save -> save_native: compress picture, check steps, thumbnail, then write
//                      everything in file order through one safe file

#include "paint_file.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include <zlib.h>

#include "fbytes.h"
#include "fplatform.h"
#include "fsafe_file.h"
#include "fsys.h"
#include "gifimage.h"
#include "jpegimage.h"
#include "paint_context.h"
#include "paint_history.h"
#include "paint_strings.h"
#include "pngimage.h"

namespace {

// Header field offsets.
constexpr int kMagic = 0;
constexpr int kVersion = 4;
constexpr int kWidth = 8;
constexpr int kHeight = 12;
constexpr int kCanvas = 16;
constexpr int kZoom = 20;
constexpr int kCount = 28;
constexpr int kCurrent = 32;
constexpr int kThumbnailOffset = 36;
constexpr int kPictureSize = 40;

// Information block offsets (BITMAPINFOHEADER).
constexpr int kInfoWidth = 4;
constexpr int kInfoHeight = 8;
constexpr int kInfoBitCount = 14;
constexpr int kInfoCompression = 16;

constexpr int32_t kBlockHead = PAINT_FILE_BITMAP_RECORD_SIZE + PAINT_FILE_BITMAP_INFO_SIZE;

// Deflate never expands more than 1032 to 1 (a 258-byte match per bit pair); a picture
// block that claims more pixels than its compressed bytes can carry is damaged, and is
// refused before its pixel buffer is allocated.
constexpr uint64_t kMaxDeflateRatio = 1032;

// The zooms a step can have been recorded at: a 32767-pixel side fitted to a small
// screen is far above the lower bound, the zoom bar's largest factor far below the upper.
constexpr double kMinStepZoom = 1.0 / 65536;
constexpr double kMaxStepZoom = 65536.0;

struct SaveType {
  const char* extension;
  int32_t quality;  // JPEG quality, or the argument the GIF and PNG writers are given
};
constexpr SaveType kSaveTypes[PAINT_FILE_TYPE_COUNT] = {
    {"plk", 0}, {"bmp", 0}, {"bmp", 0}, {"bmp", 0}, {"jpg", 40},
    {"jpg", 75}, {"jpg", 100}, {"gif", 100}, {"png", 100},
};

const FString kTypeNames[PAINT_FILE_TYPE_COUNT] = {
    PAINT_STR_SAVE_TYPE_PLK,      PAINT_STR_SAVE_TYPE_BMP_TRUE_COLOR,
    PAINT_STR_SAVE_TYPE_BMP_256_COLORS, PAINT_STR_SAVE_TYPE_BMP_GRAY,
    PAINT_STR_SAVE_TYPE_JPEG_LOW, PAINT_STR_SAVE_TYPE_JPEG_MEDIUM,
    PAINT_STR_SAVE_TYPE_JPEG_HIGH, PAINT_STR_SAVE_TYPE_GIF,
    PAINT_STR_SAVE_TYPE_PNG,
};

// ---- Text -----------------------------------------------------------------------------------

std::u16string utf16_from_utf8(const char* text) {
  if (!text || !*text) return {};
  size_t capacity = std::strlen(text) + 1;  // UTF-16 never needs more units than UTF-8 bytes
  std::unique_ptr<char16_t[]> buffer(new (std::nothrow) char16_t[capacity]);
  if (!buffer) return {};
  int32_t length = fsys_utf16_from_utf8(text, buffer.get(), capacity);
  return length < 0 ? std::u16string() : std::u16string(buffer.get(), static_cast<size_t>(length));
}

std::string utf8_from_utf16(const char16_t* text) {
  if (!text || !*text) return {};
  size_t units = 0;
  while (text[units]) ++units;
  size_t capacity = 3 * units + 1;  // a unit takes at most 3 bytes, a pair 4 for 2 units
  std::unique_ptr<char[]> buffer(new (std::nothrow) char[capacity]);
  if (!buffer) return {};
  int32_t length = fsys_utf8_from_utf16(text, buffer.get(), capacity);
  return length < 0 ? std::string() : std::string(buffer.get(), static_cast<size_t>(length));
}

// The message formats carry at most one "%d" and one "%s"; "%%" is a percent sign.
std::u16string format_text(const char16_t* pattern, int32_t number, const std::u16string& text) {
  std::u16string out;
  for (const char16_t* p = pattern; p && *p; ++p) {
    if (p[0] == u'%' && p[1] == u'd') {
      std::string digits = std::to_string(number);
      out.append(digits.begin(), digits.end());
      ++p;
    } else if (p[0] == u'%' && p[1] == u's') {
      out += text;
      ++p;
    } else if (p[0] == u'%' && p[1] == u'%') {
      out += u'%';
      ++p;
    } else {
      out += *p;
    }
  }
  return out;
}

char ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c; }

bool equal_ignoring_ascii_case(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (ascii_lower(a[i]) != ascii_lower(b[i])) return false;
  }
  return true;
}

// The document name of a path: the file name up to its last dot.
std::u16string name_from_path(const std::string& path) {
  size_t slash = path.find_last_of('/');
  std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  size_t dot = base.find_last_of('.');
  if (dot != std::string::npos) base.resize(dot);
  return utf16_from_utf8(base.c_str());
}

std::string folder_of(const std::string& path) {
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return {};
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}

// ---- Notices --------------------------------------------------------------------------------

void notify(PaintFile* file, PaintFileNotice kind, const char16_t* text) {
  if (file->on_notice) file->on_notice(file, kind, text);
}

void report_save(PaintFile* file, int result) {
  if (result == PAINT_FILE_DONE) {
    notify(file, PaintFileNotice::note, fres_text(PAINT_STR_SAVED_OK));
    return;
  }
  file->last_error = result;
  std::u16string text = format_text(fres_text(PAINT_STR_FAIL_TO_SAVE), result, {});
  notify(file, PaintFileNotice::error, text.c_str());
}

const char16_t* open_reason(int code) {
  switch (code) {
    case PAINT_FILE_CANNOT_OPEN: return fres_text(PAINT_STR_FAIL_TO_OPEN_FILE);
    case PAINT_FILE_DAMAGED: return fres_text(PAINT_STR_DAMAGED_FILE);
    case PAINT_FILE_BAD_FORMAT: return fres_text(PAINT_STR_INVALID_FORMAT);
    case PAINT_FILE_NEWER_VERSION: return fres_text(PAINT_STR_HIGHER_VERSION);
    default: return fres_text(PAINT_STR_NO_MEMORY);
  }
}

void report_open(PaintFile* file, int code) {
  file->last_error = code;
  // The reason texts end with their own full stop, which the format adds again.
  std::u16string reason = open_reason(code);
  if (!reason.empty() && reason.back() == u'.') reason.pop_back();
  std::u16string text = format_text(fres_text(PAINT_STR_FAIL_TO_OPEN_PAINT), code, reason);
  notify(file, PaintFileNotice::error, text.c_str());
}

// ---- Bitmap blocks --------------------------------------------------------------------------

// The 52-byte stored image of a bitmap record; the two addresses are written as 0.
void put_bitmap_record(uint8_t* out, const FBitmap* bitmap) {
  std::memset(out, 0, PAINT_FILE_BITMAP_RECORD_SIZE);
  fbytes_put_u32(out + 8, bitmap->stride);
  fbytes_put_u32(out + 12, bitmap->red_mask);
  fbytes_put_u32(out + 16, bitmap->green_mask);
  fbytes_put_u32(out + 20, bitmap->blue_mask);
  fbytes_put_u32(out + 24, bitmap->red_shift);
  fbytes_put_u32(out + 28, bitmap->green_shift);
  fbytes_put_u32(out + 32, bitmap->blue_shift);
  fbytes_put_u32(out + 36, bitmap->red_loss);
  fbytes_put_u32(out + 40, bitmap->green_loss);
  fbytes_put_u32(out + 44, bitmap->blue_loss);
}

// Record and 44-byte information block of a 32-bit bitmap (its header, then 4 zero bytes).
void put_block_head(uint8_t* out, const FBitmap* bitmap) {
  put_bitmap_record(out, bitmap);
  uint8_t* info = out + PAINT_FILE_BITMAP_RECORD_SIZE;
  std::memset(info, 0, PAINT_FILE_BITMAP_INFO_SIZE);
  std::memcpy(info, bitmap->info, FBITMAP_INFO_HEADER_SIZE);
}

uint32_t row_bytes(int32_t bpp, int32_t width) {
  return static_cast<uint32_t>(((static_cast<uint64_t>(bpp) * width + 31) / 32) * 4);
}

// The painting's pixels as cairo left them.
const FBitmap* flushed_painting(PaintContext* pc) {
  if (pc->renderer_surface) cairo_surface_flush(pc->renderer_surface);
  return pc->painting;
}

// ---- Reading --------------------------------------------------------------------------------

using FileHandle = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

// A file read with its length known, so every request is checked against what remains.
struct FileReader {
  std::FILE* file;    // not owned
  uint64_t size;      // bytes in the file
  uint64_t position;  // bytes consumed
};

bool reader_open(FileReader* reader, std::FILE* file) {
  struct stat st;
  if (fstat(fileno(file), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  *reader = FileReader{file, static_cast<uint64_t>(st.st_size), 0};
  return true;
}

uint64_t reader_remaining(const FileReader* reader) { return reader->size - reader->position; }

bool reader_take(FileReader* reader, void* out, uint64_t bytes) {
  if (bytes > reader_remaining(reader)) return false;
  if (bytes && std::fread(out, 1, bytes, reader->file) != bytes) return false;
  reader->position += bytes;
  return true;
}

bool reader_seek(FileReader* reader, uint64_t position) {
  if (position > reader->size) return false;
  if (fseeko(reader->file, static_cast<off_t>(position), SEEK_SET) != 0) return false;
  reader->position = position;
  return true;
}

bool header_magic_and_version(const uint8_t* header, int* code) {
  if (fbytes_get_u32(header + kMagic) != PAINT_FILE_MAGIC) {
    *code = PAINT_FILE_BAD_FORMAT;
    return false;
  }
  // Compared unsigned: a version with the top bit set is not an old one.
  if (fbytes_get_u32(header + kVersion) > PAINT_FILE_VERSION) {
    *code = PAINT_FILE_NEWER_VERSION;
    return false;
  }
  return true;
}

bool size_fits_painting(int64_t width, int64_t height) {
  return width >= 1 && height >= 1 && width <= PAINT_CONTEXT_MAX_SIDE &&
         height <= PAINT_CONTEXT_MAX_SIDE &&
         static_cast<uint64_t>(width) * static_cast<uint64_t>(height) <= FBITMAP_MAX_PICTURE_PIXELS;
}

// A document parsed aside, before anything of the open document is touched.
struct ParsedDocument {
  int32_t width = 0, height = 0;
  FColor canvas = 0;
  int32_t count = 0;    // steps the header announces
  int32_t current = 0;
  int32_t picture_size = 0;
  FBitmap* picture = nullptr;  // owned, null for a blank base
  PaintStep** steps = nullptr; // owned array of `read` owned steps
  int32_t read = 0;
  int step_damage = 0;  // the code that stopped the step list early, 0 when all were read

  ParsedDocument() = default;
  ParsedDocument(const ParsedDocument&) = delete;
  ParsedDocument& operator=(const ParsedDocument&) = delete;
  ~ParsedDocument() {
    if (picture) fbitmap_destroy(picture);
    for (int32_t i = 0; i < read; ++i) {
      if (steps[i]) paint_step_destroy(steps[i]);
    }
    delete[] steps;
  }
};

int parse_header(FileReader* reader, ParsedDocument* doc) {
  uint8_t header[PAINT_FILE_HEADER_SIZE];
  // Magic and version first, so a short foreign file reads as the wrong format.
  if (!reader_take(reader, header, 8)) return PAINT_FILE_DAMAGED;
  int code = 0;
  if (!header_magic_and_version(header, &code)) return code;
  if (!reader_take(reader, header + 8, PAINT_FILE_HEADER_SIZE - 8)) return PAINT_FILE_DAMAGED;

  doc->width = fbytes_get_i32(header + kWidth);
  doc->height = fbytes_get_i32(header + kHeight);
  doc->canvas = fbytes_get_u32(header + kCanvas);
  doc->count = fbytes_get_i32(header + kCount);
  doc->current = fbytes_get_i32(header + kCurrent);
  int32_t thumbnail_offset = fbytes_get_i32(header + kThumbnailOffset);
  doc->picture_size = fbytes_get_i32(header + kPictureSize);

  if (!size_fits_painting(doc->width, doc->height)) return PAINT_FILE_DAMAGED;
  int64_t picture_size = doc->picture_size;
  if (picture_size < 0) return PAINT_FILE_DAMAGED;
  if (picture_size > 0 &&
      (picture_size <= kBlockHead || static_cast<uint64_t>(picture_size) > reader_remaining(reader))) {
    return PAINT_FILE_DAMAGED;
  }
  // The thumbnail lies after the picture; opening never reads it, so one cut off the end
  // of the file costs only the preview.
  if (thumbnail_offset < PAINT_FILE_HEADER_SIZE + picture_size) return PAINT_FILE_DAMAGED;
  // A count beyond what the file can hold is a cut step list: the steps that are there
  // still open (parse_steps never makes room for more than the file holds).
  if (doc->count < 0) return PAINT_FILE_DAMAGED;
  // An empty history keeps the 0 of a fresh one; otherwise current names a step or -1.
  bool current_ok = (doc->count == 0 && doc->current == 0) ||
                    (doc->current >= -1 && doc->current < doc->count);
  if (!current_ok) return PAINT_FILE_DAMAGED;
  return PAINT_FILE_DONE;
}

int parse_picture(FileReader* reader, ParsedDocument* doc) {
  if (doc->picture_size == 0) return PAINT_FILE_DONE;
  uint8_t head[kBlockHead];
  if (!reader_take(reader, head, kBlockHead)) return PAINT_FILE_DAMAGED;
  const uint8_t* info = head + PAINT_FILE_BITMAP_RECORD_SIZE;
  uint32_t stride = fbytes_get_u32(head + 8);
  int32_t width = fbytes_get_i32(info + kInfoWidth);
  int32_t stored_height = fbytes_get_i32(info + kInfoHeight);
  int64_t height = stored_height < 0 ? -static_cast<int64_t>(stored_height) : stored_height;
  if (fbytes_get_u32(info) != FBITMAP_INFO_HEADER_SIZE || fbytes_get_u16(info + kInfoBitCount) != 32 ||
      fbytes_get_u32(info + kInfoCompression) != FBITMAP_BI_RGB || !size_fits_painting(width, height) ||
      stride != static_cast<uint32_t>(width) * 4) {
    return PAINT_FILE_DAMAGED;
  }
  uint64_t compressed = static_cast<uint64_t>(doc->picture_size) - kBlockHead;
  uint64_t image = static_cast<uint64_t>(stride) * static_cast<uint64_t>(height);
  if (image > (compressed + 1) * kMaxDeflateRatio) return PAINT_FILE_DAMAGED;

  std::unique_ptr<uint8_t[]> source(new (std::nothrow) uint8_t[compressed]);
  if (!source) return PAINT_FILE_NO_MEMORY;
  if (!reader_take(reader, source.get(), compressed)) return PAINT_FILE_DAMAGED;
  FBitmap* picture = fbitmap_create(width, stored_height < 0 ? -static_cast<int32_t>(height)
                                                             : static_cast<int32_t>(height), 32);
  if (!picture) return PAINT_FILE_NO_MEMORY;
  uLongf produced = static_cast<uLongf>(image);
  int z = uncompress(picture->pixels, &produced, source.get(), static_cast<uLong>(compressed));
  if (z != Z_OK || produced != image) {
    // A picture stream that does not inflate to exactly its pixels: the message the user
    // has always seen for it is the memory one.
    fbitmap_destroy(picture);
    return PAINT_FILE_NO_MEMORY;
  }
  doc->picture = picture;
  return PAINT_FILE_DONE;
}

// Reads steps until the announced count or the first damage; what was read is kept.
void parse_steps(FileReader* reader, ParsedDocument* doc) {
  if (doc->count == 0) return;
  // Every step takes at least its record, so the file bounds the room needed.
  uint64_t room = std::min<uint64_t>(static_cast<uint64_t>(doc->count),
                                     reader_remaining(reader) / PAINT_STEP_RECORD_SIZE);
  doc->steps = new (std::nothrow) PaintStep*[room + 1];
  if (!doc->steps) {
    doc->step_damage = PAINT_FILE_NO_MEMORY;
    return;
  }
  for (int32_t i = 0; i < doc->count; ++i) {
    uint8_t record[PAINT_STEP_RECORD_SIZE];
    if (static_cast<uint64_t>(doc->read) >= room ||
        !reader_take(reader, record, PAINT_STEP_RECORD_SIZE)) {
      doc->step_damage = PAINT_FILE_DAMAGED;
      return;
    }
    PaintStep fields{};
    paint_step_read(&fields, record);
    // The raw field: a negative size is damage, not a step without data.
    int64_t size = fbytes_get_i32(record + 44);
    // A step zoom outside any zoom the program can reach would scale every replayed
    // coordinate into nonsense; a crop carries exactly its two rectangles.
    bool sane = size >= 0 && static_cast<uint64_t>(size) <= reader_remaining(reader) &&
                fields.zoom >= kMinStepZoom && fields.zoom <= kMaxStepZoom &&
                (fields.type != PAINT_STEP_CROP || size == PAINT_STEP_CROP_SIZE);
    if (!sane) {
      doc->step_damage = PAINT_FILE_DAMAGED;
      return;
    }
    std::unique_ptr<uint8_t[]> data;
    if (size > 0) {
      data.reset(new (std::nothrow) uint8_t[static_cast<size_t>(size)]);
      if (!data) {
        doc->step_damage = PAINT_FILE_NO_MEMORY;
        return;
      }
      if (!reader_take(reader, data.get(), static_cast<uint64_t>(size))) {
        doc->step_damage = PAINT_FILE_DAMAGED;
        return;
      }
    }
    PaintStep* step = paint_step_create(fields.type, data.get(), fields.data_size);
    if (!step) {
      doc->step_damage = PAINT_FILE_NO_MEMORY;
      return;
    }
    uint8_t* own_data = step->data;
    paint_step_read(step, record);
    step->data = own_data;
    doc->steps[doc->read++] = step;
  }
}

// Replaces the open document by the parsed one. The base goes first: it is the only part
// that can still fail as a whole, and then the history is left as it was (*replaced
// false). Once the history is reset the document is this file's, whole or in part.
int install_document(PaintFile* file, ParsedDocument* doc, bool* replaced) {
  PaintContext* pc = file->context;
  *replaced = false;
  int ok = doc->picture ? paint_context_load_picture(pc, doc->picture)
                        : paint_context_new_blank(pc, doc->width, doc->height, doc->canvas);
  if (!ok) return PAINT_FILE_NO_MEMORY;
  // A cropped picture document fills its new margins with the saved canvas colour.
  if (doc->picture) paint_context_set_canvas_color(pc, doc->canvas);

  paint_history_reset(file->history);
  *replaced = true;
  int32_t appended = 0;
  int damage = doc->step_damage;
  bool appending = true;
  for (int32_t i = 0; i < doc->read; ++i) {
    PaintStep* step = doc->steps[i];
    doc->steps[i] = nullptr;  // the history owns it now, or append destroyed it
    if (!appending) {
      paint_step_destroy(step);
    } else if (paint_history_append(file->history, step)) {
      ++appended;
    } else {
      appending = false;
      if (damage == 0) damage = PAINT_FILE_NO_MEMORY;
    }
  }
  if (damage == 0) {
    paint_history_set_current(file->history, doc->current);
    paint_history_set_modified(file->history, 0);
  } else if (appended > 0) {
    // The steps that survived are shown up to where the user was, as far as they reach.
    paint_history_set_current(file->history, std::min(doc->current, appended - 1));
  }
  return damage == 0 ? PAINT_FILE_DONE : damage;
}

// ---- Writing --------------------------------------------------------------------------------

bool write_bytes(std::FILE* out, const void* data, size_t size) {
  return size == 0 || std::fwrite(data, 1, size, out) == size;
}

bool write_i32(std::FILE* out, int32_t value) {
  uint8_t bytes[4];
  fbytes_put_i32(bytes, value);
  return write_bytes(out, bytes, 4);
}

// The picture block: record, information block, the pixels as one zlib stream.
struct PictureBlock {
  std::unique_ptr<uint8_t[]> data;  // head + compressed pixels
  uint64_t size = 0;                // S
};

int build_picture_block(const FBitmap* picture, PictureBlock* block) {
  if (!picture->info || !picture->pixels) return PAINT_FILE_NO_MEMORY;
  uint64_t n = fbitmap_get_size_image(picture);
  // The stored capacity formula n + n/4096 + n/16384 + 11 holds for zlib's own deflate
  // with no byte to spare; compressBound also covers other deflate builds.
  uint64_t capacity = std::max<uint64_t>(n + n / 4096 + n / 16384 + 11, compressBound(static_cast<uLong>(n)));
  block->data.reset(new (std::nothrow) uint8_t[kBlockHead + capacity]);
  if (!block->data) return PAINT_FILE_NO_MEMORY;
  put_block_head(block->data.get(), picture);
  uLongf produced = static_cast<uLongf>(capacity);
  if (compress2(block->data.get() + kBlockHead, &produced, picture->pixels, static_cast<uLong>(n),
                Z_DEFAULT_COMPRESSION) != Z_OK) {
    return PAINT_FILE_NO_MEMORY;
  }
  block->size = kBlockHead + produced;
  return PAINT_FILE_DONE;
}

// The thumbnail block: record, information block and bottom-up pixels, in one buffer.
int build_thumbnail_block(const FBitmap* painting, std::unique_ptr<uint8_t[]>* block, uint32_t* size) {
  if (!painting) return PAINT_FILE_NEWER_VERSION;
  FBitmap* thumbnail = fbitmap_scale(painting, PAINT_FILE_THUMBNAIL_SIDE, PAINT_FILE_THUMBNAIL_SIDE,
                                     FBitmapScale::keep_ratio, FBitmapRows::bottom_up);
  if (!thumbnail) return PAINT_FILE_NEWER_VERSION;
  uint32_t image = fbitmap_get_size_image(thumbnail);
  *size = kBlockHead + image;
  block->reset(new (std::nothrow) uint8_t[*size]());
  if (!*block) {
    fbitmap_destroy(thumbnail);
    return PAINT_FILE_NEWER_VERSION;
  }
  put_block_head(block->get(), thumbnail);
  std::memcpy(block->get() + kBlockHead, thumbnail->pixels, image);
  fbitmap_destroy(thumbnail);
  return PAINT_FILE_DONE;
}

// Writes the native document to `path`. Everything is prepared before the first byte is
// written, so the thumbnail offset is known in time and the file goes out strictly in
// order (the full-disk hook's stream cannot seek back).
int save_native(PaintFile* file, const std::string& path) {
  PaintContext* pc = file->context;
  PaintHistory* history = file->history;
  file->target_path = path;
  FSafeFile out;
  std::FILE* f = fsafe_file_open(&out, path.c_str());
  if (!f) return PAINT_FILE_CANNOT_OPEN;

  PictureBlock picture;
  if (const FBitmap* base = paint_context_get_picture(pc)) {
    int code = build_picture_block(base, &picture);
    if (code != PAINT_FILE_DONE) {
      fsafe_file_abort(&out);
      return code;
    }
  }
  int32_t count = paint_history_get_count(history);
  uint64_t thumbnail_offset = PAINT_FILE_HEADER_SIZE + picture.size;
  for (int32_t i = 0; i < count; ++i) {
    const PaintStep* step = paint_history_get_step(history, i);
    if (!step || (step->data_size > 0 && !step->data)) {
      fsafe_file_abort(&out);
      return PAINT_FILE_BAD_FORMAT;
    }
    thumbnail_offset += PAINT_STEP_RECORD_SIZE + static_cast<uint64_t>(std::max(step->data_size, 0));
  }
  std::unique_ptr<uint8_t[]> thumbnail;
  uint32_t thumbnail_size = 0;
  int code = build_thumbnail_block(flushed_painting(pc), &thumbnail, &thumbnail_size);
  if (code != PAINT_FILE_DONE) {
    fsafe_file_abort(&out);
    return code;
  }
  // Every offset and size of the format is a signed 32-bit field.
  if (thumbnail_offset + 4 + thumbnail_size > INT32_MAX) {
    fsafe_file_abort(&out);
    return PAINT_FILE_DAMAGED;
  }

  uint8_t header[PAINT_FILE_HEADER_SIZE];
  fbytes_put_u32(header + kMagic, PAINT_FILE_MAGIC);
  fbytes_put_u32(header + kVersion, PAINT_FILE_VERSION);
  fbytes_put_i32(header + kWidth, paint_context_get_base_width(pc));
  fbytes_put_i32(header + kHeight, paint_context_get_base_height(pc));
  fbytes_put_u32(header + kCanvas, paint_context_get_canvas_color(pc));
  uint64_t zoom_bits = 0;
  double zoom = paint_context_get_zoom(pc);
  std::memcpy(&zoom_bits, &zoom, sizeof zoom_bits);
  fbytes_put_u32(header + kZoom, static_cast<uint32_t>(zoom_bits));
  fbytes_put_u32(header + kZoom + 4, static_cast<uint32_t>(zoom_bits >> 32));
  fbytes_put_i32(header + kCount, count);
  fbytes_put_i32(header + kCurrent, paint_history_get_current(history));
  fbytes_put_i32(header + kThumbnailOffset, static_cast<int32_t>(thumbnail_offset));
  fbytes_put_i32(header + kPictureSize, static_cast<int32_t>(picture.size));

  bool ok = write_bytes(f, header, sizeof header) && write_bytes(f, picture.data.get(), picture.size);
  for (int32_t i = 0; ok && i < count; ++i) {
    const PaintStep* step = paint_history_get_step(history, i);
    uint8_t record[PAINT_STEP_RECORD_SIZE];
    paint_step_write(step, record);
    ok = write_bytes(f, record, sizeof record) &&
         write_bytes(f, step->data, static_cast<size_t>(std::max(step->data_size, 0)));
  }
  ok = ok && write_i32(f, static_cast<int32_t>(thumbnail_size)) &&
       write_bytes(f, thumbnail.get(), thumbnail_size);
  if (!fsafe_file_commit(&out, ok)) return PAINT_FILE_DAMAGED;

  paint_history_set_modified(history, 0);
  file->open_after_save = 0;
  std::string folder = folder_of(path);
  if (!folder.empty()) paint_file_recent_folder_add(folder.c_str());
  return PAINT_FILE_DONE;
}

// ---- Exports --------------------------------------------------------------------------------

// A bottom-up bitmap for a BMP export; its row padding is zeroed (a new bitmap is white)
// so that the same painting always gives the same file.
FBitmap* export_bitmap_create(int32_t width, int32_t height, int32_t bpp) {
  FBitmap* bitmap = fbitmap_create(width, height, bpp);
  if (bitmap) std::memset(bitmap->pixels, 0, fbitmap_get_size_image(bitmap));
  return bitmap;
}

int export_true_color(const FBitmap* painting, const char* target) {
  int32_t w = fbitmap_get_width(painting), h = fbitmap_get_height(painting);
  FBitmap* bitmap = export_bitmap_create(w, h, 24);
  if (!bitmap) return PAINT_FILE_NO_MEMORY;
  fbitmap_blit_keyed(bitmap, FPoint{0, 0}, painting, FRect{0, 0, w - 1, h - 1}, FCOLOR_KEY_NONE, 255);
  int ok = fbitmap_save_bmp(bitmap, target);
  fbitmap_destroy(bitmap);
  return ok ? PAINT_FILE_DONE : PAINT_FILE_BMP_FAILED;
}

int export_gray(const FBitmap* painting, const char* target) {
  int32_t w = fbitmap_get_width(painting), h = fbitmap_get_height(painting);
  FBitmap* bitmap = export_bitmap_create(w, h, 8);  // with the grey-ramp palette
  if (!bitmap) return PAINT_FILE_NO_MEMORY;
  for (int32_t y = 0; y < h; ++y) {
    const uint8_t* in = fbitmap_row(painting, y);
    uint8_t* out = fbitmap_row(bitmap, y);
    for (int32_t x = 0; x < w; ++x, in += 4) {
      out[x] = static_cast<uint8_t>((77 * in[2] + 151 * in[1] + 28 * in[0]) >> 8);
    }
  }
  int ok = fbitmap_save_bmp(bitmap, target);
  fbitmap_destroy(bitmap);
  return ok ? PAINT_FILE_DONE : PAINT_FILE_BMP_FAILED;
}

// 12-bit colour bins: blue, green and red nibbles from high to low.
inline uint32_t color_bin(const uint8_t* bgra) {
  return static_cast<uint32_t>((bgra[0] >> 4) << 8 | (bgra[1] >> 4) << 4 | (bgra[2] >> 4));
}

// The popularity palette: the 256 most used bins, and every other bin mapped to its
// nearest entry.
int export_256_colors(const FBitmap* painting, const char* target) {
  constexpr int kBins = 4096;
  int32_t w = fbitmap_get_width(painting), h = fbitmap_get_height(painting);
  std::unique_ptr<uint32_t[]> counts(new (std::nothrow) uint32_t[kBins]());
  std::unique_ptr<uint16_t[]> order(new (std::nothrow) uint16_t[kBins]);
  std::unique_ptr<uint8_t[]> index_of(new (std::nothrow) uint8_t[kBins]());
  FBitmap* bitmap = export_bitmap_create(w, h, 8);
  if (!counts || !order || !index_of || !bitmap) {
    if (bitmap) fbitmap_destroy(bitmap);
    return PAINT_FILE_NO_MEMORY;
  }
  for (int32_t y = 0; y < h; ++y) {
    const uint8_t* in = fbitmap_row(painting, y);
    for (int32_t x = 0; x < w; ++x) ++counts[color_bin(in + 4 * x)];
  }
  int n = 0;
  for (int bin = 0; bin < kBins; ++bin) {
    if (counts[bin]) order[n++] = static_cast<uint16_t>(bin);
  }
  // Exchange sort, largest count first: position i swaps with every later position of a
  // greater count. Its order among equal counts is part of the file, so no other sort
  // will do; positions past 255 never reach the palette and are left unsorted.
  int used = std::min(n, 256);
  for (int i = 0; i < used; ++i) {
    for (int j = i + 1; j < n; ++j) {
      if (counts[order[j]] > counts[order[i]]) std::swap(order[i], order[j]);
    }
  }
  uint8_t* palette = bitmap->info + FBITMAP_INFO_HEADER_SIZE;
  std::memset(palette, 0, 4 * 256);  // entries past a short list are black
  for (int i = 0; i < used; ++i) {
    uint32_t bin = order[i];
    palette[4 * i + 0] = static_cast<uint8_t>(((bin >> 8) & 15) * 16);
    palette[4 * i + 1] = static_cast<uint8_t>(((bin >> 4) & 15) * 16);
    palette[4 * i + 2] = static_cast<uint8_t>((bin & 15) * 16);
    index_of[bin] = static_cast<uint8_t>(i);
  }
  for (int k = used; k < n; ++k) {
    uint32_t bin = order[k];
    int b = ((bin >> 8) & 15) * 16, g = ((bin >> 4) & 15) * 16, r = (bin & 15) * 16;
    int best = 0, best_distance = INT32_MAX;
    for (int i = 0; i < 256; ++i) {
      int db = b - palette[4 * i], dg = g - palette[4 * i + 1], dr = r - palette[4 * i + 2];
      int distance = db * db + dg * dg + dr * dr;
      if (distance < best_distance) {
        best_distance = distance;
        best = i;
      }
    }
    index_of[bin] = static_cast<uint8_t>(best);
  }
  for (int32_t y = 0; y < h; ++y) {
    const uint8_t* in = fbitmap_row(painting, y);
    uint8_t* out = fbitmap_row(bitmap, y);
    for (int32_t x = 0; x < w; ++x) out[x] = index_of[color_bin(in + 4 * x)];
  }
  int ok = fbitmap_save_bmp(bitmap, target);
  fbitmap_destroy(bitmap);
  return ok ? PAINT_FILE_DONE : PAINT_FILE_BMP_FAILED;
}

// The picture writers are synchronous calls: the file is complete (or refused) when they
// return, so there is no encoder service to start and no loop to wait in.
int export_encoded(FBitmap* painting, int32_t save_type, const char* target) {
  int32_t quality = kSaveTypes[save_type].quality;
  switch (save_type) {
    case PAINT_FILE_TYPE_GIF:
      return gifimage_write(painting, target, quality) ? PAINT_FILE_DONE : PAINT_FILE_GIF_FAILED;
    case PAINT_FILE_TYPE_PNG:
      return pngimage_write(painting, target) ? PAINT_FILE_DONE : PAINT_FILE_PNG_FAILED;
    default:
      return jpegimage_write(painting, target, quality) ? PAINT_FILE_DONE : PAINT_FILE_JPEG_FAILED;
  }
}

// ---- Recent folders -------------------------------------------------------------------------

struct RecentFolders {
  bool read = false;  // loaded from the file (and so written back)
  int32_t count = 0;
  std::string folders[PAINT_FILE_RECENT_FOLDERS];  // newest first
};
RecentFolders g_recent;

std::string recent_folders_path() { return std::string(fsys_state_dir()) + "/save_dirs.dat"; }

void recent_folders_read() {
  if (g_recent.read) return;
  g_recent.read = true;
  g_recent.count = 0;
  FileHandle in(std::fopen(recent_folders_path().c_str(), "rb"), std::fclose);
  if (!in) return;
  std::string line;
  int c;
  // A path longer than any file system takes is no folder of ours: the line is dropped.
  constexpr size_t kLongestLine = 4096;
  bool too_long = false;
  while (g_recent.count < PAINT_FILE_RECENT_FOLDERS && (c = std::fgetc(in.get())) != EOF) {
    if (c != '\n') {
      if (line.size() < kLongestLine) line += static_cast<char>(c);
      else too_long = true;
      continue;
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && !too_long) g_recent.folders[g_recent.count++] = line;
    line.clear();
    too_long = false;
  }
  if (g_recent.count < PAINT_FILE_RECENT_FOLDERS && !line.empty() && !too_long) {
    if (line.back() == '\r') line.pop_back();
    if (!line.empty()) g_recent.folders[g_recent.count++] = line;
  }
}

}  // namespace

// ---- Creation ---------------------------------------------------------------------------

PaintFile* paint_file_create(PaintContext* context, PaintHistory* history, const char* save_dir) {
  FCHECK(context != nullptr, "pc!=null");
  FCHECK(history != nullptr, "history!=null");
  PaintFile* file = new (std::nothrow) PaintFile{};
  if (!file) return nullptr;
  file->context = context;
  file->history = history;
  if (save_dir) file->folder = save_dir;
  for (int i = 0; i < PAINT_FILE_TYPE_COUNT; ++i) file->type_names[i] = fres_text(kTypeNames[i]);
  file->type_count = PAINT_FILE_TYPE_COUNT;
  file->open_file = fsys_shell_open;
  return file;
}

// ---- Queries ----------------------------------------------------------------------------

const std::string& paint_file_get_path(const PaintFile* file) {
  FCHECK(file != nullptr, "file!=null");
  return file->path;
}

const std::u16string& paint_file_get_name(const PaintFile* file) {
  FCHECK(file != nullptr, "file!=null");
  return file->name;
}

const std::string& paint_file_get_folder(const PaintFile* file) {
  FCHECK(file != nullptr, "file!=null");
  return file->folder;
}

std::u16string paint_file_save_as_title(const PaintFile* file) {
  FCHECK(file != nullptr, "file!=null");
  std::u16string name = file->name.empty() ? std::u16string(fres_text(PAINT_STR_UNTITLED)) : file->name;
  return format_text(fres_text(PAINT_STR_SAVE_AS_TITLE), 0, name);
}

// ---- Changes ----------------------------------------------------------------------------

void paint_file_set_name(PaintFile* file, const char16_t* name) {
  FCHECK(file != nullptr, "file!=null");
  file->name = name ? name : u"";
}

void paint_file_set_path(PaintFile* file, const char* path) {
  FCHECK(file != nullptr, "file!=null");
  file->path = path ? path : "";
}

void paint_file_set_folder(PaintFile* file, const char* folder) {
  FCHECK(file != nullptr, "file!=null");
  file->folder = folder ? folder : "";
}

void paint_file_set_open_after_save(PaintFile* file) {
  FCHECK(file != nullptr, "file!=null");
  file->open_after_save = 1;
}

void paint_file_clear_open_after_save(PaintFile* file) {
  FCHECK(file != nullptr, "file!=null");
  file->open_after_save = 0;
}

// ---- Native documents -------------------------------------------------------------------

int paint_file_save(PaintFile* file) {
  FCHECK(file != nullptr, "file!=null");
  if (file->path.empty()) return PAINT_FILE_NEEDS_NAME;
  notify(file, PaintFileNotice::wait, fres_text(PAINT_STR_SAVING_FILE));
  int result = save_native(file, file->path);
  notify(file, PaintFileNotice::wait_end, nullptr);
  report_save(file, result);
  return result;
}

int paint_file_open(PaintFile* file, const char* path) {
  FCHECK(file != nullptr, "file!=null");
  notify(file, PaintFileNotice::wait, fres_text(PAINT_STR_LOADING_PAINT));
  int result = PAINT_FILE_CANNOT_OPEN;
  bool replaced = false;
  {
    ParsedDocument doc;
    FileHandle in(path ? std::fopen(path, "rb") : nullptr, std::fclose);
    FileReader reader{};
    if (in && reader_open(&reader, in.get())) {
      result = parse_header(&reader, &doc);
      if (result == PAINT_FILE_DONE) result = parse_picture(&reader, &doc);
      if (result == PAINT_FILE_DONE) {
        parse_steps(&reader, &doc);
        result = install_document(file, &doc, &replaced);
      }
    }
  }
  if (replaced) {
    file->path = path;
    file->name = name_from_path(file->path);
  }
  notify(file, PaintFileNotice::wait_end, nullptr);
  if (result == PAINT_FILE_DONE) return PAINT_FILE_DONE;
  report_open(file, result);
  return replaced ? PAINT_FILE_PARTIAL : result;
}

FBitmap* paint_file_read_thumbnail(const char* path) {
  if (!path) return nullptr;
  FileHandle in(std::fopen(path, "rb"), std::fclose);
  FileReader reader{};
  if (!in || !reader_open(&reader, in.get())) return nullptr;
  uint8_t header[PAINT_FILE_HEADER_SIZE];
  int code = 0;
  if (!reader_take(&reader, header, sizeof header) || !header_magic_and_version(header, &code)) {
    return nullptr;
  }
  int64_t offset = fbytes_get_i32(header + kThumbnailOffset);
  uint8_t size_field[4];
  if (offset < PAINT_FILE_HEADER_SIZE || !reader_seek(&reader, static_cast<uint64_t>(offset)) ||
      !reader_take(&reader, size_field, 4)) {
    return nullptr;
  }
  int64_t block_size = fbytes_get_i32(size_field);
  uint8_t head[kBlockHead];
  if (block_size < kBlockHead || static_cast<uint64_t>(block_size) > reader_remaining(&reader) ||
      !reader_take(&reader, head, kBlockHead)) {
    return nullptr;
  }
  const uint8_t* stored_info = head + PAINT_FILE_BITMAP_RECORD_SIZE;
  uint32_t stride = fbytes_get_u32(head + 8);
  int32_t width = fbytes_get_i32(stored_info + kInfoWidth);
  int32_t stored_height = fbytes_get_i32(stored_info + kInfoHeight);
  int64_t height = stored_height < 0 ? -static_cast<int64_t>(stored_height) : stored_height;
  int32_t bpp = fbytes_get_u16(stored_info + kInfoBitCount);
  bool depth_ok = bpp == 1 || bpp == 4 || bpp == 8 || bpp == 16 || bpp == 24 || bpp == 32;
  if (fbytes_get_u32(stored_info) != FBITMAP_INFO_HEADER_SIZE || !depth_ok ||
      fbytes_get_u32(stored_info + kInfoCompression) != FBITMAP_BI_RGB ||
      !size_fits_painting(width, height) || stride != row_bytes(bpp, width)) {
    return nullptr;
  }
  // The information block carries a palette up to 8 bits per pixel, then 4 unused bytes.
  uint32_t info_size = bpp <= 8 ? ((1u << bpp) + 11) * 4 : PAINT_FILE_BITMAP_INFO_SIZE;
  uint64_t image = static_cast<uint64_t>(stride) * static_cast<uint64_t>(height);
  if (PAINT_FILE_BITMAP_RECORD_SIZE + info_size + image > static_cast<uint64_t>(block_size)) {
    return nullptr;
  }
  uint32_t kept_info = info_size - 4;
  uint8_t* info = static_cast<uint8_t*>(std::malloc(kept_info));
  uint8_t* pixels = static_cast<uint8_t*>(std::malloc(image));
  bool ok = info && pixels;
  if (ok) {
    std::memcpy(info, stored_info, PAINT_FILE_BITMAP_INFO_SIZE - 4);
    uint8_t rest[4];
    uint32_t palette = kept_info - (PAINT_FILE_BITMAP_INFO_SIZE - 4);
    ok = reader_take(&reader, info + PAINT_FILE_BITMAP_INFO_SIZE - 4, palette) &&
         reader_take(&reader, rest, bpp <= 8 ? 4 : 0) && reader_take(&reader, pixels, image);
    // The palette is read in full, so the used-colour count may not ask for more.
    if (bpp <= 8 && fbytes_get_u32(info + 32) > (1u << bpp)) fbytes_put_u32(info + 32, 0);
  }
  if (!ok) {
    std::free(info);
    std::free(pixels);
    return nullptr;
  }
  FBitmap* bitmap = new (std::nothrow) FBitmap{};
  if (!bitmap) {
    std::free(info);
    std::free(pixels);
    return nullptr;
  }
  fbitmap_adopt(bitmap, info, pixels);
  return bitmap;
}

// ---- Save as ----------------------------------------------------------------------------

PaintFileNameCheck paint_file_check_name(int confirmed, const char16_t* name) {
  if (!confirmed) return PaintFileNameCheck::ok;
  if (!name || !*name) return PaintFileNameCheck::empty;
  for (const char16_t* p = name; *p; ++p) {
    for (const char16_t* bad = PAINT_FILE_INVALID_CHARS; *bad; ++bad) {
      if (*p == *bad) return PaintFileNameCheck::invalid_char;
    }
  }
  return PaintFileNameCheck::ok;
}

std::u16string paint_file_name_message(PaintFileNameCheck check) {
  switch (check) {
    case PaintFileNameCheck::empty: return fres_text(PAINT_STR_FILE_NAME_EMPTY);
    case PaintFileNameCheck::invalid_char:
      return format_text(fres_text(PAINT_STR_FILE_NAME_INVALID), 0, PAINT_FILE_INVALID_CHARS);
    default: return {};
  }
}

const char* paint_file_type_extension(int32_t save_type) {
  if (save_type < 0 || save_type >= PAINT_FILE_TYPE_COUNT) return nullptr;
  return kSaveTypes[save_type].extension;
}

std::string paint_file_target_path(const char* folder, const char16_t* name, int32_t save_type) {
  std::string target = folder ? folder : "";
  if (!target.empty() && target.back() != '/') target += '/';
  std::string base = utf8_from_utf16(name);
  target += base;
  const char* extension = paint_file_type_extension(save_type);
  if (!extension) return target;
  size_t dot = base.find_last_of('.');
  std::string current = dot == std::string::npos ? std::string() : base.substr(dot + 1);
  if (dot == std::string::npos || !equal_ignoring_ascii_case(current, extension)) {
    target += '.';
    target += extension;
  }
  return target;
}

std::u16string paint_file_overwrite_question(const char* target) {
  return format_text(fres_text(PAINT_STR_CONFIRM_OVERWRITE), 0, utf16_from_utf8(target));
}

int paint_file_export(PaintFile* file, int32_t save_type, const char* target) {
  FCHECK(file != nullptr, "file!=null");
  FCHECK(save_type >= 0 && save_type < PAINT_FILE_TYPE_COUNT, "save_type<9");
  FCHECK(target != nullptr, "target!=null");
  file->save_type = save_type;
  file->target_path = target;
  std::string folder = folder_of(file->target_path);
  if (!folder.empty() && !fsys_dir_exists(folder.c_str())) fsys_make_dir(folder.c_str());

  notify(file, PaintFileNotice::wait, fres_text(PAINT_STR_SAVING_FILE));
  int result;
  FBitmap* painting = paint_context_get_painting(file->context);
  if (save_type == PAINT_FILE_TYPE_NATIVE) {
    file->path = target;
    file->name = name_from_path(file->path);
    result = save_native(file, file->path);
  } else if (!painting) {
    result = PAINT_FILE_NO_MEMORY;
  } else {
    flushed_painting(file->context);
    switch (save_type) {
      case PAINT_FILE_TYPE_BMP_TRUE_COLOR: result = export_true_color(painting, target); break;
      case PAINT_FILE_TYPE_BMP_256_COLORS: result = export_256_colors(painting, target); break;
      case PAINT_FILE_TYPE_BMP_GRAY: result = export_gray(painting, target); break;
      default: result = export_encoded(painting, save_type, target); break;
    }
  }
  notify(file, PaintFileNotice::wait_end, nullptr);
  report_save(file, result);
  if (result == PAINT_FILE_DONE && file->open_after_save) {
    file->open_after_save = 0;
    if (file->open_file) file->open_file(file->target_path.c_str());
  }
  return result;
}

// ---- Recently used save folders ---------------------------------------------------------

const char* paint_file_recent_folder(int32_t index) {
  recent_folders_read();
  if (index < 0 || index >= g_recent.count) return nullptr;
  return g_recent.folders[index].c_str();
}

void paint_file_recent_folder_add(const char* folder) {
  if (!folder || !*folder) return;
  recent_folders_read();
  std::string entry = folder;
  int32_t found = g_recent.count;
  for (int32_t i = 0; i < g_recent.count; ++i) {
    if (equal_ignoring_ascii_case(g_recent.folders[i], entry)) {
      found = i;
      break;
    }
  }
  // Shift the entries in front of the old place (or all, dropping the last when full).
  int32_t last = found < g_recent.count ? found
                                        : std::min(g_recent.count, PAINT_FILE_RECENT_FOLDERS - 1);
  for (int32_t i = last; i > 0; --i) g_recent.folders[i] = std::move(g_recent.folders[i - 1]);
  g_recent.folders[0] = std::move(entry);
  if (found == g_recent.count && g_recent.count < PAINT_FILE_RECENT_FOLDERS) ++g_recent.count;
}

int paint_file_recent_folders_write() {
  if (!g_recent.read) return 1;
  FSafeFile out;
  std::FILE* f = fsafe_file_open(&out, recent_folders_path().c_str());
  if (!f) return 0;
  bool ok = true;
  for (int32_t i = 0; ok && i < g_recent.count; ++i) {
    ok = write_bytes(f, g_recent.folders[i].data(), g_recent.folders[i].size()) &&
         write_bytes(f, "\n", 1);
  }
  return fsafe_file_commit(&out, ok);
}

void paint_file_recent_folders_forget() {
  g_recent.read = false;
  g_recent.count = 0;
  for (std::string& folder : g_recent.folders) folder.clear();
}

// ---- Release ----------------------------------------------------------------------------

void paint_file_destroy(PaintFile* file) {
  FCHECK(file != nullptr, "file!=null");
  paint_file_recent_folders_write();
  delete file;
}
