// JPEG pictures through libjpeg: read into a top-down 24-bit blue-green-red bitmap (8-bit
// with the grey palette for one-component files), written baseline with a quality.
// Returns 1 or 0; on failure every bitmap the call created is destroyed and the output
// pointers are left null. Pictures above FBITMAP_MAX_PICTURE_PIXELS are refused before
// their pixels are allocated. Writers take 24- or 32-bit bitmaps (row 0 is the picture's
// top row whatever the row order), refuse other depths, leave the source unchanged also on
// failure, and write beside the target, renaming over it only when the file is complete.
#pragma once

struct FBitmap;

int jpegimage_read(FBitmap** out_color, const char* path);
int jpegimage_write(const FBitmap* bitmap, const char* path, int quality);  // quality 0..100
