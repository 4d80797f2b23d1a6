// BMP reading for the bitmap unit: a Windows bitmap file becomes an FBitmap whose pixels
// are the file's own rows, in the file's row order and depth (1 to 32 bits), palettes kept.
// Writing lives with the rest of the unit in fbitmap.cpp.
//
// Every header field is checked against the file's real size before anything is allocated,
// and the information block is rebuilt in the layout the bitmap unit's accessors assume
// (a 40-byte header, then three masks or the palette), whatever header version the file
// carries. That keeps fbitmap_describe, fbitmap_get_rgba and fbitmap_save_bmp inside the
// block for V4 and V5 headers, whose masks sit inside the header rather than after it.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "fbitmap.h"
#include "fbytes.h"
#include "fplatform.h"

namespace {

constexpr uint32_t kFileHeaderSize = 14;
constexpr uint16_t kTypeBm = 0x4D42;  // "BM"
constexpr uint32_t kMasksSize = 12;

// Information header offsets.
constexpr int kWidth = 4;
constexpr int kHeight = 8;
constexpr int kBitCount = 14;
constexpr int kCompression = 16;
constexpr int kSizeImage = 20;
constexpr int kClrUsed = 32;

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

bool read_at(std::FILE* file, uint64_t position, uint8_t* out, size_t size) {
  if (fseeko(file, static_cast<off_t>(position), SEEK_SET) != 0) return false;
  return std::fread(out, 1, size, file) == size;
}

// What the headers promise, once every field has been checked against the file.
struct BmpLayout {
  uint32_t pixel_offset;
  int32_t bpp;
  uint32_t compression;
  uint32_t palette_entries;   // 0 above 8 bpp
  uint32_t palette_position;  // file offset of the palette
  uint64_t image_bytes;       // stride x rows: what the bitmap holds
  uint64_t bytes_needed;      // the last row may lack its padding
  uint64_t bytes_read;        // what the file has of image_bytes, at least bytes_needed
};

// A channel mask the bitmap unit can widen to 8 bits: empty, or one run of at most 8 bits.
bool mask_usable(uint32_t mask) {
  if (mask == 0) return true;
  while (!(mask & 1u)) mask >>= 1;
  uint32_t bits = 0;
  while (mask & 1u) {
    mask >>= 1;
    ++bits;
  }
  return mask == 0 && bits <= 8;
}

// Checks the file header and the 40 bytes of the information header that every version
// shares against the file's real size; the size field of the file header is not trusted,
// since writers often leave it 0 or wrong.
bool bmp_layout_check(const uint8_t* file_header, const uint8_t* info, uint64_t file_size,
                      BmpLayout* out) {
  if (fbytes_get_u16(file_header) != kTypeBm) return false;
  uint32_t pixel_offset = fbytes_get_u32(file_header + 10);
  if (pixel_offset < kFileHeaderSize + FBITMAP_INFO_HEADER_SIZE || pixel_offset > file_size) {
    return false;
  }
  uint32_t block_size = pixel_offset - kFileHeaderSize;

  uint32_t header_size = fbytes_get_u32(info);
  if (header_size < FBITMAP_INFO_HEADER_SIZE || header_size > block_size) return false;

  int32_t bpp = fbytes_get_u16(info + kBitCount);
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return false;

  uint32_t compression = fbytes_get_u32(info + kCompression);
  if (compression != FBITMAP_BI_RGB && compression != FBITMAP_BI_BITFIELDS) return false;
  // The masks follow a 40-byte header and sit inside the later header versions, at the
  // same offset either way.
  if (compression == FBITMAP_BI_BITFIELDS &&
      ((bpp != 16 && bpp != 32) || block_size < FBITMAP_INFO_HEADER_SIZE + kMasksSize)) {
    return false;
  }

  int32_t width = fbytes_get_i32(info + kWidth);
  int32_t height = fbytes_get_i32(info + kHeight);
  if (width <= 0 || height == 0 || height == INT32_MIN) return false;
  uint64_t rows = static_cast<uint64_t>(height < 0 ? -static_cast<int64_t>(height) : height);
  if (static_cast<uint64_t>(width) * rows > FBITMAP_MAX_PICTURE_PIXELS) return false;

  uint32_t palette_entries = 0;
  if (bpp <= 8) {
    uint32_t used = fbytes_get_u32(info + kClrUsed);
    uint32_t full = 1u << bpp;
    palette_entries = used == 0 || used > full ? full : used;
    if (static_cast<uint64_t>(header_size) + 4ull * palette_entries > block_size) return false;
  }

  uint64_t row_bits = static_cast<uint64_t>(bpp) * static_cast<uint64_t>(width);
  uint64_t stride = (row_bits + 31) / 32 * 4;
  out->pixel_offset = pixel_offset;
  out->bpp = bpp;
  out->compression = compression;
  out->palette_entries = palette_entries;
  out->palette_position = kFileHeaderSize + header_size;
  out->image_bytes = stride * rows;
  out->bytes_needed = stride * (rows - 1) + (row_bits + 7) / 8;
  uint64_t available = file_size - pixel_offset;
  out->bytes_read = available < out->image_bytes ? available : out->image_bytes;
  return out->bytes_needed <= available;
}

}  // namespace

int fbitmap_load_bmp(FBitmap* bitmap, const char* path) {
  FCHECK(bitmap != nullptr, "bitmap!=null");
  *bitmap = FBitmap{};
  if (!path) return 0;
  FilePtr file(std::fopen(path, "rb"));
  if (!file || fseeko(file.get(), 0, SEEK_END) != 0) return 0;
  off_t end = ftello(file.get());
  if (end < 0) return 0;
  uint64_t file_size = static_cast<uint64_t>(end);

  uint8_t headers[kFileHeaderSize + FBITMAP_INFO_HEADER_SIZE + kMasksSize] = {};
  const uint8_t* info = headers + kFileHeaderSize;
  BmpLayout layout{};
  if (!read_at(file.get(), 0, headers, kFileHeaderSize + FBITMAP_INFO_HEADER_SIZE) ||
      !bmp_layout_check(headers, info, file_size, &layout)) {
    return 0;
  }
  bool has_masks = layout.compression == FBITMAP_BI_BITFIELDS;
  if (has_masks) {
    if (!read_at(file.get(), kFileHeaderSize + FBITMAP_INFO_HEADER_SIZE,
                 headers + kFileHeaderSize + FBITMAP_INFO_HEADER_SIZE, kMasksSize)) {
      return 0;
    }
    const uint8_t* masks = info + FBITMAP_INFO_HEADER_SIZE;
    if (!mask_usable(fbytes_get_u32(masks)) || !mask_usable(fbytes_get_u32(masks + 4)) ||
        !mask_usable(fbytes_get_u32(masks + 8))) {
      return 0;
    }
  }
  // A 16-bit file without bit fields holds 5-5-5 pixels; stating that with masks keeps the
  // bitmap unit from taking them for its own RGB565 default.
  bool five_five_five = layout.bpp == 16 && !has_masks;

  uint32_t extra = has_masks || five_five_five ? kMasksSize : 0;
  uint32_t block_size = FBITMAP_INFO_HEADER_SIZE + extra + 4 * layout.palette_entries;
  uint8_t* block = static_cast<uint8_t*>(std::calloc(1, block_size));
  uint8_t* pixels = static_cast<uint8_t*>(std::calloc(1, layout.image_bytes));
  if (!block || !pixels) {
    std::free(block);
    std::free(pixels);
    return 0;
  }
  std::memcpy(block, info, FBITMAP_INFO_HEADER_SIZE + (has_masks ? kMasksSize : 0));
  fbytes_put_u32(block, FBITMAP_INFO_HEADER_SIZE);
  fbytes_put_u32(block + kSizeImage, static_cast<uint32_t>(layout.image_bytes));
  // Only pictures of 8 bpp or less keep a palette; the count stays within the depth.
  fbytes_put_u32(block + kClrUsed, layout.bpp <= 8 && fbytes_get_u32(info + kClrUsed) != 0
                                       ? layout.palette_entries
                                       : 0);
  if (five_five_five) {
    fbytes_put_u32(block + kCompression, FBITMAP_BI_BITFIELDS);
    fbytes_put_u32(block + FBITMAP_INFO_HEADER_SIZE, 0x7C00);
    fbytes_put_u32(block + FBITMAP_INFO_HEADER_SIZE + 4, 0x03E0);
    fbytes_put_u32(block + FBITMAP_INFO_HEADER_SIZE + 8, 0x001F);
  }
  bool ok = layout.palette_entries == 0 ||
            read_at(file.get(), layout.palette_position, block + FBITMAP_INFO_HEADER_SIZE,
                    4 * layout.palette_entries);
  // A file whose last row lacks its padding still fills every pixel; the missing padding
  // stays zero.
  ok = ok && read_at(file.get(), layout.pixel_offset, pixels, layout.bytes_read);
  if (!ok) {
    std::free(block);
    std::free(pixels);
    return 0;
  }
  fbitmap_adopt(bitmap, block, pixels);
  return 1;
}
