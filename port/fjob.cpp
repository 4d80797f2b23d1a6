// Picture jobs: the one place where a picture file is turned into bitmaps or written from
// one on behalf of the application. The codec runs at once, inside the start call; only
// the report is deferred, through the job's own active object, so that the owner's
// continuation always runs from the loop (faomngr_run_due) and never inside the call that
// started the work. The owner may destroy the job from its continuation.
//
//   fjob_load_picture -> reader by extension -> result stored -> fao_signal
//   ... loop -> faomngr_run_due -> fjob_run -> on_done(job, result, owner value)

#include "fjob.h"

#include <cstring>
#include <new>
#include <strings.h>

#include "fbitmap.h"
#include "fplatform.h"
#include "gifimage.h"
#include "jpegimage.h"
#include "pngimage.h"
#include "win_ao.h"

namespace {

enum class PictureReader { none, bmp, png, jpeg, gif };

// The extension of the path's last component: after its last dot, or "" without one.
const char* fjob_extension_of(const char* path) {
  const char* name = std::strrchr(path, '/');
  name = name ? name + 1 : path;
  const char* dot = std::strrchr(name, '.');
  return dot ? dot + 1 : "";
}

PictureReader fjob_reader_for(const char* path) {
  const char* extension = fjob_extension_of(path);
  if (strcasecmp(extension, "bmp") == 0) return PictureReader::bmp;
  if (strcasecmp(extension, "png") == 0) return PictureReader::png;
  if (strcasecmp(extension, "jpg") == 0 || strcasecmp(extension, "jpeg") == 0) return PictureReader::jpeg;
  if (strcasecmp(extension, "gif") == 0) return PictureReader::gif;
  return PictureReader::none;
}

// The BMP reader fills a record the caller owns; the job hands out a heap record so that
// every load ends the same way for the owner (fbitmap_destroy).
int fjob_read_bmp(FBitmap** out_color, const char* path) {
  FBitmap* bitmap = new (std::nothrow) FBitmap{};
  if (!bitmap) return 0;
  if (!fbitmap_load_bmp(bitmap, path)) {
    fbitmap_destroy(bitmap);
    return 0;
  }
  *out_color = bitmap;
  return 1;
}

void fjob_run(FActiveObject*, void* context) {
  FJob* job = static_cast<FJob*>(context);
  // The continuation may destroy the job; nothing here touches it afterwards.
  if (job->on_done) job->on_done(job, job->result, job->owner_value);
}

void fjob_finish(FJob* job, int result, void* owner_value) {
  job->result = result;
  job->owner_value = owner_value;
  fao_signal(job->object);
}

}  // namespace

FJob* fjob_create(FJobDoneFn on_done) {
  FJob* job = new (std::nothrow) FJob{};
  if (!job) return nullptr;
  job->on_done = on_done;
  job->object = fao_create();
  if (!job->object) {
    delete job;
    return nullptr;
  }
  fao_set_run(job->object, fjob_run);
  fao_set_context(job->object, job);
  return job;
}

void fjob_load_picture(FJob* job, FBitmap** out_color, FBitmap** out_alpha, const char* path,
                       void* owner_value) {
  FCHECK(job != nullptr, "job!=null");
  FCHECK(out_color != nullptr, "out_color!=null");
  job->out_color = out_color;
  job->out_alpha = out_alpha;
  *out_color = nullptr;
  if (out_alpha) *out_alpha = nullptr;
  int result = 0;
  if (path) {
    switch (fjob_reader_for(path)) {
      case PictureReader::bmp: result = fjob_read_bmp(out_color, path); break;
      case PictureReader::png: result = pngimage_read(out_color, out_alpha, path); break;
      case PictureReader::jpeg: result = jpegimage_read(out_color, path); break;
      case PictureReader::gif: result = gifimage_read(out_color, path); break;
      case PictureReader::none: break;
    }
  }
  fjob_finish(job, result, owner_value);
}

void fjob_save_picture(FJob* job, int type, FBitmap* bitmap, const char* path, int quality,
                       void* owner_value) {
  FCHECK(job != nullptr, "job!=null");
  int result = 0;
  if (bitmap && path) {
    switch (type) {
      case FJOB_TYPE_PNG: result = pngimage_write(bitmap, path); break;
      case FJOB_TYPE_JPEG: result = jpegimage_write(bitmap, path, quality); break;
      case FJOB_TYPE_GIF: result = gifimage_write(bitmap, path, quality); break;
      default: break;
    }
  }
  fjob_finish(job, result, owner_value);
}

int fjob_type_from_extension(const char* extension) {
  if (!extension) return FJOB_TYPE_NONE;
  if (strcasecmp(extension, "png") == 0) return FJOB_TYPE_PNG;
  if (strcasecmp(extension, "jpg") == 0 || strcasecmp(extension, "jpeg") == 0) return FJOB_TYPE_JPEG;
  if (strcasecmp(extension, "gif") == 0) return FJOB_TYPE_GIF;
  return FJOB_TYPE_NONE;
}

void fjob_cancel(FJob* job) {
  FCHECK(job != nullptr, "job!=null");
  fao_cancel(job->object);
}

void fjob_destroy(FJob* job) {
  FCHECK(job != nullptr, "job!=null");
  fao_destroy(job->object);
  delete job;
}
