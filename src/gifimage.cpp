// GIF pictures for the picture jobs and the export: giflib decodes and encodes, this unit
// places the first image of a file on a bitmap of the logical screen, and turns a bitmap
// into 256 indexed colours for the encoder.
//
// gifimage_read:  whole file -> DGifOpen (memory) -> records: skip extensions, first image
//                 -> lines (interlaced passes) -> colour table -> top-down 24-bit bitmap
// gifimage_write: bitmap -> exact palette (<= 256 colours) or median cut + centroids
//                 -> EGifOpen (safe file) -> screen, image, lines -> commit
//
// Images reaching outside the screen are clipped to it, and colour indices beyond the
// image's table read its first entry, so no file can make the reader write outside the
// bitmap or read outside a table.

#include "gifimage.h"

#include <gif_lib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "fbitmap.h"
#include "fplatform.h"
#include "fsafe_file.h"

namespace {

// GIF files are read whole; a picture file larger than this is not one a user paints on.
constexpr uint64_t kMaxFileBytes = 100ull * 1024 * 1024;
// Screen and image sizes are 16-bit fields.
constexpr int32_t kMaxSide = 65535;

struct FreeDeleter {
  void operator()(void* memory) const { std::free(memory); }
};
template <typename T>
using Malloced = std::unique_ptr<T, FreeDeleter>;

template <typename T>
Malloced<T> allocate(size_t count) {
  return Malloced<T>(static_cast<T*>(std::malloc(count ? count * sizeof(T) : 1)));
}

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

struct BitmapDeleter {
  void operator()(FBitmap* bitmap) const { fbitmap_destroy(bitmap); }
};
using BitmapPtr = std::unique_ptr<FBitmap, BitmapDeleter>;

struct DecoderCloser {
  void operator()(GifFileType* gif) const { DGifCloseFile(gif, nullptr); }
};
using DecoderPtr = std::unique_ptr<GifFileType, DecoderCloser>;

// ---- Reading --------------------------------------------------------------------------------

struct MemorySource {
  const uint8_t* data;  // not owned
  size_t size;
  size_t position;
};

int read_from_memory(GifFileType* gif, GifByteType* out, int length) {
  auto* source = static_cast<MemorySource*>(gif->UserData);
  if (length <= 0) return 0;
  size_t take = source->size - source->position;
  if (static_cast<size_t>(length) < take) take = static_cast<size_t>(length);
  std::memcpy(out, source->data + source->position, take);
  source->position += take;
  return static_cast<int>(take);
}

// The file's bytes followed by one zero byte, or null.
Malloced<uint8_t> read_whole_file(const char* path, size_t* size) {
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path, "rb"));
  if (!file || fseeko(file.get(), 0, SEEK_END) != 0) return nullptr;
  off_t end = ftello(file.get());
  if (end <= 0 || static_cast<uint64_t>(end) > kMaxFileBytes || fseeko(file.get(), 0, SEEK_SET) != 0) {
    return nullptr;
  }
  *size = static_cast<size_t>(end);
  Malloced<uint8_t> data = allocate<uint8_t>(*size + 1);
  if (!data || std::fread(data.get(), 1, *size, file.get()) != *size) return nullptr;
  data.get()[*size] = 0;
  return data;
}

// Colours as 32-bit words whose low three bytes are blue, green, red: the bytes of a
// 24-bit pixel, stored with one 4-byte write.
uint32_t bgr_word(const GifColorType& color) {
  return color.Blue | (static_cast<uint32_t>(color.Green) << 8) | (static_cast<uint32_t>(color.Red) << 16);
}

// All 256 indices resolve; those beyond the table read its first entry.
void palette_from_map(const ColorMapObject* map, uint32_t palette[256]) {
  int count = map->ColorCount < 256 ? map->ColorCount : 256;
  for (int i = 0; i < 256; ++i) palette[i] = count > 0 ? bgr_word(map->Colors[i < count ? i : 0]) : 0;
}

// The screen's background colour number is an index into the global table. Without a
// table (or beyond it) the number's own bytes are taken as red, green and blue.
uint32_t background_word(const GifFileType* gif) {
  int number = gif->SBackGroundColor;
  const ColorMapObject* map = gif->SColorMap;
  if (map && number >= 0 && number < map->ColorCount) return bgr_word(map->Colors[number]);
  uint32_t red = number & 0xFF, green = (number >> 8) & 0xFF, blue = (number >> 16) & 0xFF;
  return blue | (green << 8) | (red << 16);
}

void fill_span(uint8_t* row, int32_t x_begin, int32_t x_end, uint32_t word) {
  uint8_t b = static_cast<uint8_t>(word), g = static_cast<uint8_t>(word >> 8), r = static_cast<uint8_t>(word >> 16);
  for (uint8_t* p = row + 3 * x_begin; p < row + 3 * x_end; p += 3) {
    p[0] = b;
    p[1] = g;
    p[2] = r;
  }
}

// Each index becomes three bytes. Every pixel but the last is stored with a 4-byte write
// whose fourth byte the next pixel overwrites. (Packing eight pixels into three 64-bit
// stores, or streaming stores past the caches, measured no faster: the loop waits on
// memory, not on instructions.)
void convert_span(uint8_t* out, const uint8_t* indices, int32_t count, const uint32_t palette[256]) {
  if (count <= 0) return;
  for (int32_t i = 0; i < count - 1; ++i) std::memcpy(out + 3 * i, &palette[indices[i]], 4);
  std::memcpy(out + 3 * (count - 1), &palette[indices[count - 1]], 3);
}

// The part of the screen an image covers.
struct Placement {
  int32_t left, top;             // image position on the screen
  int32_t x_end, y_end;          // end of the visible part, exclusive
  int32_t visible_width;         // columns written per row; 0 when nothing shows
};

Placement place_image(const GifImageDesc& image, int32_t screen_width, int32_t screen_height) {
  Placement p{};
  p.left = image.Left;
  p.top = image.Top;
  int64_t x_end = static_cast<int64_t>(image.Left) + (image.Width > 0 ? image.Width : 0);
  int64_t y_end = static_cast<int64_t>(image.Top) + (image.Height > 0 ? image.Height : 0);
  p.x_end = static_cast<int32_t>(x_end < screen_width ? x_end : screen_width);
  p.y_end = static_cast<int32_t>(y_end < screen_height ? y_end : screen_height);
  p.visible_width = p.x_end > p.left && p.y_end > p.top ? p.x_end - p.left : 0;
  return p;
}

// Background wherever the image will not draw, and zero row padding. The image's own
// pixels are written once, by the decoder.
void paint_background(FBitmap* bitmap, const Placement& place, uint32_t word) {
  int32_t width = fbitmap_get_width(bitmap);
  int32_t height = fbitmap_get_height(bitmap);
  uint32_t used = 3u * static_cast<uint32_t>(width);
  for (int32_t y = 0; y < height; ++y) {
    uint8_t* row = fbitmap_row(bitmap, y);
    if (place.visible_width > 0 && y >= place.top && y < place.y_end) {
      fill_span(row, 0, place.left, word);
      fill_span(row, place.x_end, width, word);
    } else {
      fill_span(row, 0, width, word);
    }
    std::memset(row + used, 0, bitmap->stride - used);
  }
}

// A top-down 24-bit bitmap whose pixels are not yet written. Null when out of memory.
BitmapPtr create_screen_bitmap(int32_t width, int32_t height) {
  BitmapPtr bitmap(new (std::nothrow) FBitmap{});
  if (!bitmap || !fbitmap_init_info(bitmap.get(), width, -height, 24)) return nullptr;
  bitmap->pixels = static_cast<uint8_t*>(std::malloc(fbitmap_get_size_image(bitmap.get())));
  if (!bitmap->pixels) return nullptr;
  return bitmap;
}

bool skip_extension(GifFileType* gif) {
  int code = 0;
  GifByteType* block = nullptr;
  if (DGifGetExtension(gif, &code, &block) == GIF_ERROR) return false;
  while (block) {
    if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) return false;
  }
  return true;
}

// Reads the image descriptor and its lines onto the bitmap, which holds the background.
bool decode_first_image(GifFileType* gif, FBitmap* bitmap, uint32_t background) {
  if (DGifGetImageDesc(gif) == GIF_ERROR) return false;
  const GifImageDesc& image = gif->Image;
  const ColorMapObject* map = image.ColorMap ? image.ColorMap : gif->SColorMap;
  if (!map) return false;
  // Every line is decoded, also where it is clipped away; a huge image on a small screen
  // would otherwise keep the reader busy for minutes on a file of a few megabytes.
  if (static_cast<uint64_t>(image.Width > 0 ? image.Width : 0) * static_cast<uint64_t>(image.Height > 0 ? image.Height : 0) >
      FBITMAP_MAX_PICTURE_PIXELS) {
    return false;
  }
  uint32_t palette[256];
  palette_from_map(map, palette);

  Placement place = place_image(image, fbitmap_get_width(bitmap), fbitmap_get_height(bitmap));
  paint_background(bitmap, place, background);
  if (image.Width <= 0 || image.Height <= 0) return true;

  Malloced<uint8_t> line = allocate<uint8_t>(static_cast<size_t>(image.Width));
  if (!line) return false;
  // Rows beyond the screen are still decoded, so the data stays in step, but dropped.
  auto put_row = [&](int32_t row) {
    if (DGifGetLine(gif, line.get(), image.Width) == GIF_ERROR) return false;
    int32_t y = place.top + row;
    if (place.visible_width > 0 && y < place.y_end) {
      convert_span(fbitmap_row(bitmap, y) + 3 * place.left, line.get(), place.visible_width, palette);
    }
    return true;
  };
  if (image.Interlace) {
    static constexpr int32_t kPassStart[4] = {0, 4, 2, 1};
    static constexpr int32_t kPassStep[4] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass) {
      for (int32_t row = kPassStart[pass]; row < image.Height; row += kPassStep[pass]) {
        if (!put_row(row)) return false;
      }
    }
  } else {
    for (int32_t row = 0; row < image.Height; ++row) {
      if (!put_row(row)) return false;
    }
  }
  return true;
}

// ---- Writing --------------------------------------------------------------------------------

template <int kStep>
void split_direct_row(const uint8_t* __restrict p, int32_t width, uint8_t* __restrict red,
                      uint8_t* __restrict green, uint8_t* __restrict blue) {
  for (int32_t x = 0; x < width; ++x, p += kStep) {
    blue[x] = p[0];
    green[x] = p[1];
    red[x] = p[2];
  }
}

// Splits image row y into red, green and blue bytes exactly as fbitmap_get_rgba reads them.
void split_row(const FBitmap* bitmap, int32_t y, uint8_t* red, uint8_t* green, uint8_t* blue) {
  int32_t width = fbitmap_get_width(bitmap);
  int32_t bpp = fbitmap_get_bpp(bitmap);
  if (bpp == 24) return split_direct_row<3>(fbitmap_row(bitmap, y), width, red, green, blue);
  if (bpp == 32 && fbitmap_get_compression(bitmap) == FBITMAP_BI_RGB) {
    return split_direct_row<4>(fbitmap_row(bitmap, y), width, red, green, blue);
  }
  for (int32_t x = 0; x < width; ++x) {
    uint8_t bgra[4] = {};
    fbitmap_get_rgba(bitmap, x, y, bgra);
    blue[x] = bgra[0];
    green[x] = bgra[1];
    red[x] = bgra[2];
  }
}

// Indexes a picture of at most 256 colours with an exact palette, in order of first
// appearance. False as soon as a 257th colour shows up.
bool index_exact_colors(const FBitmap* bitmap, uint8_t* indices, GifColorType colors[256], int* count) {
  int32_t width = fbitmap_get_width(bitmap);
  int32_t height = fbitmap_get_height(bitmap);
  Malloced<uint8_t> row = allocate<uint8_t>(3 * static_cast<size_t>(width));
  if (!row) return false;
  uint8_t* red = row.get();
  uint8_t* green = red + width;
  uint8_t* blue = green + width;
  // Open addressing over 1024 slots for at most 256 keys; key 0 marks a free slot, so
  // every stored key carries bit 24.
  constexpr uint32_t kSlots = 1024;
  uint32_t keys[kSlots] = {};
  uint8_t values[kSlots];
  int found = 0;
  uint32_t last_key = 0;
  uint8_t last_index = 0;
  for (int32_t y = 0; y < height; ++y) {
    split_row(bitmap, y, red, green, blue);
    uint8_t* out = indices + static_cast<size_t>(y) * width;
    for (int32_t x = 0; x < width; ++x) {
      uint32_t key = (1u << 24) | (static_cast<uint32_t>(red[x]) << 16) | (green[x] << 8) | blue[x];
      if (key != last_key) {
        uint32_t slot = (key * 2654435761u) >> 22;
        while (keys[slot] != 0 && keys[slot] != key) slot = (slot + 1) & (kSlots - 1);
        if (keys[slot] == 0) {
          if (found == 256) return false;
          keys[slot] = key;
          values[slot] = static_cast<uint8_t>(found);
          colors[found] = GifColorType{red[x], green[x], blue[x]};
          ++found;
        }
        last_key = key;
        last_index = values[slot];
      }
      out[x] = last_index;
    }
  }
  *count = found;
  return true;
}

// The median-cut quantiser gives each entry the average of its cells' corners at 5 bits a
// channel, which darkens every colour by half a cell and cannot reach 255 (white becomes
// 248). Each entry becomes the mean of the pixels actually mapped to it instead.
void set_entries_to_centroids(const uint8_t* indices, const uint8_t* red, const uint8_t* green,
                              const uint8_t* blue, size_t pixels, GifColorType colors[256]) {
  // Neighbouring pixels mostly share an entry; four tables used in turn keep their sums
  // from waiting on each other's stores. 32-bit partial sums are folded into the totals
  // before 2^24 pixels could overflow them.
  constexpr size_t kLanes = 4;
  constexpr size_t kChunk = size_t{1} << 22;  // pixels per lane per fold
  uint64_t totals[256][4] = {};
  uint32_t lanes[kLanes][256][4];
  for (size_t start = 0; start < pixels; start += kChunk * kLanes) {
    std::memset(lanes, 0, sizeof lanes);
    size_t end = pixels - start < kChunk * kLanes ? pixels : start + kChunk * kLanes;
    size_t i = start;
    for (; i + kLanes <= end; i += kLanes) {
      for (size_t lane = 0; lane < kLanes; ++lane) {
        uint32_t* sum = lanes[lane][indices[i + lane]];
        sum[0] += red[i + lane];
        sum[1] += green[i + lane];
        sum[2] += blue[i + lane];
        sum[3] += 1;
      }
    }
    for (; i < end; ++i) {
      uint32_t* sum = lanes[0][indices[i]];
      sum[0] += red[i];
      sum[1] += green[i];
      sum[2] += blue[i];
      sum[3] += 1;
    }
    for (size_t lane = 0; lane < kLanes; ++lane)
      for (int k = 0; k < 256; ++k)
        for (int c = 0; c < 4; ++c) totals[k][c] += lanes[lane][k][c];
  }
  for (int i = 0; i < 256; ++i) {
    uint64_t n = totals[i][3];
    if (n == 0) continue;
    colors[i] = GifColorType{static_cast<uint8_t>((totals[i][0] + n / 2) / n),
                             static_cast<uint8_t>((totals[i][1] + n / 2) / n),
                             static_cast<uint8_t>((totals[i][2] + n / 2) / n)};
  }
}

// Median cut to 256 colours. The planes are needed only here, so they are built here.
bool index_quantized_colors(const FBitmap* bitmap, uint8_t* indices, GifColorType colors[256]) {
  int32_t width = fbitmap_get_width(bitmap);
  int32_t height = fbitmap_get_height(bitmap);
  size_t pixels = static_cast<size_t>(width) * height;
  Malloced<uint8_t> planes = allocate<uint8_t>(3 * pixels);
  if (!planes) return false;
  uint8_t* red = planes.get();
  uint8_t* green = red + pixels;
  uint8_t* blue = green + pixels;
  for (int32_t y = 0; y < height; ++y) {
    size_t at = static_cast<size_t>(y) * width;
    split_row(bitmap, y, red + at, green + at, blue + at);
  }
  int count = 256;
  if (GifQuantizeBuffer(static_cast<unsigned>(width), static_cast<unsigned>(height), &count, red, green,
                        blue, indices, colors) == GIF_ERROR) {
    return false;
  }
  set_entries_to_centroids(indices, red, green, blue, pixels, colors);
  return true;
}

struct FileSink {
  std::FILE* file;  // not owned
  bool failed;
};

int write_to_file(GifFileType* gif, const GifByteType* data, int length) {
  auto* sink = static_cast<FileSink*>(gif->UserData);
  if (length <= 0) return 0;
  size_t written = std::fwrite(data, 1, static_cast<size_t>(length), sink->file);
  if (written != static_cast<size_t>(length)) sink->failed = true;
  return static_cast<int>(written);
}

// Screen descriptor, one image descriptor and the rows. giflib does not report a failed
// write of the closing terminator, so the sink keeps its own verdict.
bool encode_indexed(std::FILE* file, int32_t width, int32_t height, uint8_t* indices,
                    const ColorMapObject* map) {
  FileSink sink{file, false};
  int error = 0;
  GifFileType* gif = EGifOpen(&sink, write_to_file, &error);
  if (!gif) return false;
  bool ok = EGifPutScreenDesc(gif, width, height, 8, 0, map) != GIF_ERROR &&
            EGifPutImageDesc(gif, 0, 0, width, height, false, nullptr) != GIF_ERROR;
  for (int32_t y = 0; ok && y < height; ++y) {
    ok = EGifPutLine(gif, indices + static_cast<size_t>(y) * width, width) != GIF_ERROR;
  }
  if (EGifCloseFile(gif, &error) == GIF_ERROR) ok = false;
  return ok && !sink.failed;
}

}  // namespace

int gifimage_read(FBitmap** out_color, const char* path) {
  FCHECK(out_color != nullptr, "out_color!=null");
  *out_color = nullptr;
  if (!path) return 0;
  size_t size = 0;
  Malloced<uint8_t> data = read_whole_file(path, &size);
  if (!data) return 0;

  MemorySource source{data.get(), size, 0};
  int error = 0;
  DecoderPtr gif(DGifOpen(&source, read_from_memory, &error));
  if (!gif) return 0;
  int32_t width = gif->SWidth, height = gif->SHeight;
  if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide ||
      static_cast<uint64_t>(width) * static_cast<uint64_t>(height) > FBITMAP_MAX_PICTURE_PIXELS) {
    return 0;
  }
  BitmapPtr bitmap = create_screen_bitmap(width, height);
  if (!bitmap) return 0;
  uint32_t background = background_word(gif.get());

  for (;;) {
    GifRecordType type = UNDEFINED_RECORD_TYPE;
    if (DGifGetRecordType(gif.get(), &type) == GIF_ERROR) return 0;
    if (type == EXTENSION_RECORD_TYPE) {
      if (!skip_extension(gif.get())) return 0;
    } else if (type == TERMINATE_RECORD_TYPE) {
      paint_background(bitmap.get(), Placement{}, background);
      break;
    } else if (type == IMAGE_DESC_RECORD_TYPE) {
      // Only the first image: later frames of an animation are never looked at.
      if (!decode_first_image(gif.get(), bitmap.get(), background)) return 0;
      break;
    } else {
      return 0;
    }
  }
  *out_color = bitmap.release();
  return 1;
}

int gifimage_write(const FBitmap* bitmap, const char* path, int /*quality*/) {
  if (!bitmap || !path || !bitmap->info || !bitmap->pixels) return 0;
  int32_t bpp = fbitmap_get_bpp(bitmap);
  int32_t width = fbitmap_get_width(bitmap);
  int32_t height = fbitmap_get_height(bitmap);
  if ((bpp != 24 && bpp != 32) || width < 1 || height < 1 || width > kMaxSide || height > kMaxSide) {
    return 0;
  }
  Malloced<uint8_t> indices = allocate<uint8_t>(static_cast<size_t>(width) * height);
  if (!indices) return 0;
  GifColorType colors[256] = {};
  int count = 0;
  int map_size = 256;
  if (index_exact_colors(bitmap, indices.get(), colors, &count)) {
    // An exact palette needs only as many entries as the power of two above its count.
    map_size = 1 << GifBitSize(count);
  } else if (!index_quantized_colors(bitmap, indices.get(), colors)) {
    return 0;
  }
  ColorMapObject* map = GifMakeMapObject(map_size, colors);
  if (!map) return 0;

  FSafeFile out;
  std::FILE* file = fsafe_file_open(&out, path);
  bool ok = file && encode_indexed(file, width, height, indices.get(), map);
  GifFreeMapObject(map);
  return file ? fsafe_file_commit(&out, ok) : 0;
}
