// GIF pictures through giflib: the first image of the file read into a top-down 24-bit
// blue-green-red bitmap of the logical screen's size, written quantised to 256 colours
// with giflib's median-cut quantiser.
// Returns 1 or 0; on failure every bitmap the call created is destroyed and the output
// pointers are left null. Pictures above FBITMAP_MAX_PICTURE_PIXELS are refused before
// their pixels are allocated. Writers take 24- or 32-bit bitmaps (row 0 is the picture's
// top row whatever the row order), refuse other depths, leave the source unchanged also on
// failure, and write beside the target, renaming over it only when the file is complete.
#pragma once

struct FBitmap;

int gifimage_read(FBitmap** out_color, const char* path);
int gifimage_write(const FBitmap* bitmap, const char* path, int quality);  // quality unused
