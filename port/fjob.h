// Picture jobs: load or save a picture and report the result through the job's own active
// object, so that the owner's continuation runs from the loop and not inside the call that
// started the work.
#pragma once

#include <cstdint>

struct FActiveObject;
struct FBitmap;
struct FJob;

// Continuation: the job, its result (1/0) and the owner's value given to the call.
using FJobDoneFn = void (*)(FJob* job, int result, void* owner_value);

enum FJobType { FJOB_TYPE_NONE = 0, FJOB_TYPE_PNG = 1, FJOB_TYPE_JPEG = 2, FJOB_TYPE_GIF = 3 };

struct FJob {
  FBitmap** out_color;   // where a load stores its colour bitmap, not owned
  FBitmap** out_alpha;   // where a PNG load stores its alpha bitmap (may be null), not owned
  int result;            // 1/0 of the last load or save
  FJobDoneFn on_done;    // the owner's continuation, may be null
  void* owner_value;     // passed to on_done, not owned
  FActiveObject* object; // owned; its run calls on_done
};

// Needs the active-object manager. Null when memory is short.
FJob* fjob_create(FJobDoneFn on_done);
// Picks the reader by the path's extension without regard to case: bmp, png, jpg/jpeg,
// gif; anything else gives result 0. The result is stored and the object signalled.
// A BMP or JPEG or GIF load leaves *out_alpha null.
void fjob_load_picture(FJob* job, FBitmap** out_color, FBitmap** out_alpha, const char* path,
                       void* owner_value);
// type 1 PNG, 2 JPEG (with quality), 3 GIF; stores the result and signals.
void fjob_save_picture(FJob* job, int type, FBitmap* bitmap, const char* path, int quality,
                       void* owner_value);
// "PNG" 1, "JPG"/"JPEG" 2, "GIF" 3, else 0; case-insensitive, without the dot.
int fjob_type_from_extension(const char* extension);
void fjob_cancel(FJob* job);
void fjob_destroy(FJob* job);  // cancel, destroy the object, free the job
