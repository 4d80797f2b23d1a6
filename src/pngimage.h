// PNG pictures through libpng: read into a bottom-up 24-bit blue-green-red bitmap and an
// 8-bit alpha bitmap of the same size and row order (255 where the file has no alpha),
// written as 8-bit RGB (24-bit bitmaps) or RGBA (32-bit, the fourth byte as alpha).
// Returns 1 or 0; on failure every bitmap the call created is destroyed and the output
// pointers are left null. Pictures above FBITMAP_MAX_PICTURE_PIXELS are refused before
// their pixels are allocated. Writers take 24- or 32-bit bitmaps (row 0 is the picture's
// top row whatever the row order), refuse other depths, leave the source unchanged also on
// failure, and write beside the target, renaming over it only when the file is complete.
#pragma once

struct FBitmap;

int pngimage_read(FBitmap** out_color, FBitmap** out_alpha, const char* path);
int pngimage_write(FBitmap* bitmap, const char* path);
