// JPEG pictures: the glue between libjpeg and FBitmap. Photographs open as top-down 24-bit
// bitmaps (grey pictures as 8-bit bitmaps with the grey palette) and exports are written
// as baseline JPEG with the quality the save dialog chose.
//
// libjpeg's standard error manager ends the process on a damaged file; ours long-jumps
// back to the call instead, and also treats the warnings that mean damaged or missing
// picture data as errors, since libjpeg would otherwise hand back a half-grey picture
// from a cut file as a success. As with libpng, every step that may jump lives in a
// function of its own (jpeg_read_steps, jpeg_write_steps) that returns at once after a
// jump, reading none of its locals; the state the clean-up needs lives in a record of the
// caller.
//
// libjpeg-turbo converts between YCbCr and blue-green-red order itself (JCS_EXT_BGR,
// JCS_EXT_BGRX), so rows are decoded straight into the bitmap and encoded straight from
// it with no pass of our own over the pixels; the files are the same as through RGB.

#include "jpegimage.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
// jpeglib.h needs size_t and FILE declared before it.
#include <jpeglib.h>
#include <jerror.h>

#include "fbitmap.h"
#include "fplatform.h"
#include "fsafe_file.h"

#ifndef JCS_EXTENSIONS
#error "libjpeg-turbo's colour space extensions are needed"
#endif

namespace {

// Progressive files keep coefficient buffers for the whole picture: at most 3 components
// of 2-byte coefficients for FBITMAP_MAX_PICTURE_PIXELS pixels fit, anything that asks for
// more is refused instead of being given the memory.
constexpr long kMaxDecoderMemory = 512L << 20;
// A progressive file may hold any number of scans, each a pass over every coefficient;
// real encoders write a dozen at most.
constexpr int kMaxScans = 500;
// Rows handed to libjpeg per call, enough for its largest row group.
constexpr int kRowsPerCall = 16;
// libpng asks for 8 KiB at a time and libjpeg for 4 KiB; with stdio's usual buffer of one
// disk block each of those requests would become a system call of its own.
constexpr size_t kFileBufferBytes = 64 * 1024;

struct JpegErrors {
  jpeg_error_mgr manager;  // first, so that a j_common_ptr's err converts back
  std::jmp_buf recovery;
};

[[noreturn]] void jpeg_fail(j_common_ptr cinfo) {
  std::longjmp(reinterpret_cast<JpegErrors*>(cinfo->err)->recovery, 1);
}

// libjpeg reports damaged data as warnings and carries on with made-up data. A picture
// that is cut short or corrupt is a failed load here; notes about unknown markers or
// stray bytes between segments are not.
void jpeg_message(j_common_ptr cinfo, int level) {
  if (level >= 0) return;  // trace messages
  switch (cinfo->err->msg_code) {
    case JWRN_JPEG_EOF:
    case JWRN_HIT_MARKER:
    case JWRN_HUFF_BAD_CODE:
    case JWRN_ARITH_BAD_CODE:
    case JWRN_MUST_RESYNC:
    case JWRN_NOT_SEQUENTIAL:
    case JWRN_BOGUS_PROGRESSION:
      jpeg_fail(cinfo);
    default:
      break;
  }
}

void jpeg_limit_scans(j_common_ptr cinfo) {
  if (!cinfo->is_decompressor) return;
  if (reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > kMaxScans) jpeg_fail(cinfo);
}

void jpeg_quiet_errors(JpegErrors* errors) {
  jpeg_std_error(&errors->manager);
  errors->manager.error_exit = jpeg_fail;
  errors->manager.emit_message = jpeg_message;
}

struct JpegRead {
  JpegErrors errors;
  jpeg_decompress_struct cinfo;
  jpeg_progress_mgr progress;
  std::FILE* file;  // owned
  FBitmap* color;   // owned until handed out
};

int jpeg_read_steps(JpegRead* r) {
  if (setjmp(r->errors.recovery)) return 0;
  jpeg_create_decompress(&r->cinfo);
  r->cinfo.mem->max_memory_to_use = kMaxDecoderMemory;
  r->progress.progress_monitor = jpeg_limit_scans;
  r->cinfo.progress = &r->progress;
  jpeg_stdio_src(&r->cinfo, r->file);
  jpeg_read_header(&r->cinfo, TRUE);

  uint64_t pixels = static_cast<uint64_t>(r->cinfo.image_width) * r->cinfo.image_height;
  if (pixels > FBITMAP_MAX_PICTURE_PIXELS) return 0;
  int bpp = 0;
  switch (r->cinfo.jpeg_color_space) {
    case JCS_GRAYSCALE:
      r->cinfo.out_color_space = JCS_GRAYSCALE;
      bpp = 8;
      break;
    case JCS_YCbCr:
    case JCS_RGB:
      r->cinfo.out_color_space = JCS_EXT_BGR;
      bpp = 24;
      break;
    default:
      return 0;  // CMYK and YCCK (print files) and unknown layouts are not opened
  }
  jpeg_start_decompress(&r->cinfo);
  if (r->cinfo.output_components != bpp / 8) return 0;

  r->color = fbitmap_create_for_decoding(static_cast<int32_t>(r->cinfo.output_width),
                                      -static_cast<int32_t>(r->cinfo.output_height), bpp);
  if (!r->color) return 0;
  JSAMPROW rows[kRowsPerCall];
  while (r->cinfo.output_scanline < r->cinfo.output_height) {
    JDIMENSION first = r->cinfo.output_scanline;
    JDIMENSION count = r->cinfo.output_height - first;
    if (count > kRowsPerCall) count = kRowsPerCall;
    for (JDIMENSION i = 0; i < count; ++i) rows[i] = fbitmap_row(r->color, static_cast<int32_t>(first + i));
    if (jpeg_read_scanlines(&r->cinfo, rows, count) == 0) return 0;  // suspended: cannot happen on a file
  }
  jpeg_finish_decompress(&r->cinfo);
  return 1;
}

struct JpegWrite {
  JpegErrors errors;
  jpeg_compress_struct cinfo;
  std::FILE* file;  // not owned: the safe file's temporary
  const FBitmap* bitmap;  // not owned
  int quality;
};

int jpeg_write_steps(JpegWrite* w) {
  if (setjmp(w->errors.recovery)) return 0;
  jpeg_create_compress(&w->cinfo);
  jpeg_stdio_dest(&w->cinfo, w->file);
  int bpp = fbitmap_get_bpp(w->bitmap);
  w->cinfo.image_width = static_cast<JDIMENSION>(fbitmap_get_width(w->bitmap));
  w->cinfo.image_height = static_cast<JDIMENSION>(fbitmap_get_height(w->bitmap));
  // The fourth byte of a 32-bit pixel is skipped by the colour conversion.
  w->cinfo.input_components = bpp / 8;
  w->cinfo.in_color_space = bpp == 32 ? JCS_EXT_BGRX : JCS_EXT_BGR;
  jpeg_set_defaults(&w->cinfo);
  jpeg_set_quality(&w->cinfo, w->quality, TRUE);
  jpeg_start_compress(&w->cinfo, TRUE);
  JSAMPROW rows[kRowsPerCall];
  while (w->cinfo.next_scanline < w->cinfo.image_height) {
    JDIMENSION first = w->cinfo.next_scanline;
    JDIMENSION count = w->cinfo.image_height - first;
    if (count > kRowsPerCall) count = kRowsPerCall;
    // libjpeg only reads the rows it is given; its row type merely lacks the const.
    for (JDIMENSION i = 0; i < count; ++i) rows[i] = fbitmap_row(w->bitmap, static_cast<int32_t>(first + i));
    jpeg_write_scanlines(&w->cinfo, rows, count);
  }
  jpeg_finish_compress(&w->cinfo);
  return 1;
}

}  // namespace

int jpegimage_read(FBitmap** out_color, const char* path) {
  FCHECK(out_color != nullptr, "out_color!=null");
  *out_color = nullptr;
  if (!path) return 0;
  // On the heap: libjpeg's records are large, and the recovery path reads them through a
  // pointer rather than as locals of the frame that jumped.
  JpegRead* r = new (std::nothrow) JpegRead{};
  if (!r) return 0;
  std::unique_ptr<char[]> buffer(new (std::nothrow) char[kFileBufferBytes]);  // outlives the file
  r->file = std::fopen(path, "rb");
  if (!r->file) {
    delete r;
    return 0;
  }
  if (buffer) std::setvbuf(r->file, buffer.get(), _IOFBF, kFileBufferBytes);
  jpeg_quiet_errors(&r->errors);
  r->cinfo.err = &r->errors.manager;
  int ok = jpeg_read_steps(r);
  // Safe also when creation failed: the record starts zeroed and destroy skips a null pool.
  jpeg_destroy_decompress(&r->cinfo);
  std::fclose(r->file);
  if (ok) {
    *out_color = r->color;
  } else if (r->color) {
    fbitmap_destroy(r->color);
  }
  delete r;
  return ok;
}

int jpegimage_write(const FBitmap* bitmap, const char* path, int quality) {
  FCHECK(bitmap != nullptr, "bitmap!=null");
  int bpp = fbitmap_get_bpp(bitmap);
  if ((bpp != 24 && bpp != 32) || !bitmap->pixels || !path) return 0;
  if (fbitmap_get_width(bitmap) < 1 || fbitmap_get_height(bitmap) < 1) return 0;
  JpegWrite* w = new (std::nothrow) JpegWrite{};
  if (!w) return 0;
  w->bitmap = bitmap;
  w->quality = quality < 0 ? 0 : quality > 100 ? 100 : quality;
  std::unique_ptr<char[]> buffer(new (std::nothrow) char[kFileBufferBytes]);  // outlives the file
  FSafeFile out;
  w->file = fsafe_file_open(&out, path);
  if (!w->file) {
    delete w;
    return 0;
  }
  if (buffer) std::setvbuf(w->file, buffer.get(), _IOFBF, kFileBufferBytes);
  jpeg_quiet_errors(&w->errors);
  w->cinfo.err = &w->errors.manager;
  int ok = jpeg_write_steps(w);
  jpeg_destroy_compress(&w->cinfo);
  delete w;
  return fsafe_file_commit(&out, ok);
}
