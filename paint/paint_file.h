// PaintFile: the document's file state — the program's own ".plk" documents (the base,
// the whole step list with its current index, and a thumbnail), the exports as BMP (true
// colour, 256 colours, grey), JPEG (three qualities), GIF and PNG, the save-as logic the
// dialog builds on (file types, name check, target path, title) and the recently used
// save folders ("save_dirs.dat" in the state folder).
//
// Native layout, little-endian: magic 0x706C6B20, version 0x00020001, base width,
// base height, canvas colour (blue, green, red, alpha), zoom (double), step count,
// current step, thumbnail offset, picture size S; the picture block (S bytes, S = 0 for a
// blank base); the steps (56-byte record + data each); the thumbnail block at its offset.
//
//   PaintFile* file = paint_file_create(pc, history, config.save_dir.c_str());
//   paint_file_open(file, path);      // 1; 0 damaged step list (steps so far kept); < 0
//   paint_history_rebuild(history);   // the caller replays after every open
//   paint_file_save(file);            // PAINT_FILE_NEEDS_NAME: the UI opens save-as
//   paint_file_export(file, type, paint_file_target_path(folder, name, type).c_str());
//   paint_file_destroy(file);         // writes the recent folders back
#pragma once

#include <cstdint>
#include <string>

#include "fbitmap.h"

struct PaintContext;
struct PaintHistory;
struct PaintFile;

constexpr uint32_t PAINT_FILE_MAGIC = 0x706C6B20;  // the bytes " klp"
constexpr uint32_t PAINT_FILE_VERSION = 0x00020001;
constexpr int32_t PAINT_FILE_HEADER_SIZE = 44;        // header with the picture size field
constexpr int32_t PAINT_FILE_BITMAP_RECORD_SIZE = 52; // stored image of an FBitmap
constexpr int32_t PAINT_FILE_BITMAP_INFO_SIZE = 44;   // BITMAPINFOHEADER + 4 zero bytes
constexpr int32_t PAINT_FILE_THUMBNAIL_SIDE = 100;    // the thumbnail fits inside 100 x 100
constexpr int32_t PAINT_FILE_RECENT_FOLDERS = 16;

// Results: 1 success, else the code the user sees in "Fail to save file (code: %d)." or
// "Fail to open paint (code: %d)\n%s.".
enum : int32_t {
  PAINT_FILE_DONE = 1,
  PAINT_FILE_NEEDS_NAME = 0,     // save with an empty path: nothing written, ask for a name
  PAINT_FILE_PARTIAL = 0,        // open: damaged inside the step list, the steps so far kept
  PAINT_FILE_CANNOT_OPEN = -1,   // the file cannot be created / opened
  PAINT_FILE_DAMAGED = -2,       // a write failed / a read came up short or is inconsistent
  PAINT_FILE_BAD_FORMAT = -3,    // saving: a step is missing / opening: wrong magic
  PAINT_FILE_NEWER_VERSION = -4, // saving: no thumbnail / opening: version above ours
  PAINT_FILE_BMP_FAILED = -5,
  PAINT_FILE_NO_MEMORY = -6,     // also a corrupt compressed picture
  PAINT_FILE_NO_ENCODER = -7,    // kept for the message table; the writers are built in
  PAINT_FILE_JPEG_FAILED = -8,
  PAINT_FILE_GIF_FAILED = -9,
  PAINT_FILE_PNG_FAILED = -10,
};

// Save types, the index of the save-as dialog's type list.
enum : int32_t {
  PAINT_FILE_TYPE_NATIVE = 0,
  PAINT_FILE_TYPE_BMP_TRUE_COLOR = 1,
  PAINT_FILE_TYPE_BMP_256_COLORS = 2,
  PAINT_FILE_TYPE_BMP_GRAY = 3,
  PAINT_FILE_TYPE_JPEG_LOW = 4,     // quality 40
  PAINT_FILE_TYPE_JPEG_MEDIUM = 5,  // quality 75
  PAINT_FILE_TYPE_JPEG_HIGH = 6,    // quality 100
  PAINT_FILE_TYPE_GIF = 7,
  PAINT_FILE_TYPE_PNG = 8,
  PAINT_FILE_TYPE_COUNT = 9,
};

// What the user interface is asked to show. The hook must not destroy the file record.
enum class PaintFileNotice {
  wait,      // a wait window with `text` ("Saving file...", "Loading paint...")
  wait_end,  // the wait window closes (`text` null)
  note,      // a note that vanishes by itself ("Saved Ok")
  error,     // an error box with the formatted failure text
};
using PaintFileNoticeFn = void (*)(PaintFile* file, PaintFileNotice kind, const char16_t* text);
// Hands a written file to the desktop (open_after_save); 1 when it was handed over.
using PaintFileOpenFn = int (*)(const char* path);

// Value-initialise (the strings are std::string); paint_file_create does.
struct PaintFile {
  std::string path;            // UTF-8 full path of the document; empty: never saved/opened
  std::u16string name;         // shown in titles: the file name without folder and extension
  std::string folder;          // UTF-8 folder offered by save-as; starts as the settings' SaveDir
  int32_t save_type;           // PAINT_FILE_TYPE_*, the type last chosen in save-as
  PaintContext* context;       // not owned
  PaintHistory* history;       // not owned
  std::string target_path;     // UTF-8 path being written
  uint8_t open_after_save;     // 1: a successful export is opened by the desktop, then cleared
  const char16_t* type_names[PAINT_FILE_TYPE_COUNT];  // not owned: resource texts
  int32_t type_count;
  int32_t last_error;          // code of the last reported failure, 0 when none since create
  PaintFileNoticeFn on_notice; // null: nothing is shown
  void* notice_data;           // for the hook, not owned
  PaintFileOpenFn open_file;   // fsys_shell_open unless replaced
};

// ---- Creation ---------------------------------------------------------------------------
// `save_dir` (UTF-8, may be null) starts the save-as folder. Null when memory is short.
PaintFile* paint_file_create(PaintContext* context, PaintHistory* history, const char* save_dir);

// ---- Queries ----------------------------------------------------------------------------
const std::string& paint_file_get_path(const PaintFile* file);
const std::u16string& paint_file_get_name(const PaintFile* file);
// The folder to copy back into the settings' SaveDir at shut-down.
const std::string& paint_file_get_folder(const PaintFile* file);
// "Save %s As" with the document name, or "Untitled" without one.
std::u16string paint_file_save_as_title(const PaintFile* file);

// ---- Changes ----------------------------------------------------------------------------
void paint_file_set_name(PaintFile* file, const char16_t* name);
void paint_file_set_path(PaintFile* file, const char* path);
void paint_file_set_folder(PaintFile* file, const char* folder);
void paint_file_set_open_after_save(PaintFile* file);
void paint_file_clear_open_after_save(PaintFile* file);

// ---- Native documents -------------------------------------------------------------------
// Saves to path in the native format. PAINT_FILE_NEEDS_NAME when path is empty (nothing
// shown: the caller opens save-as). The file is written beside the document and renamed
// over it only when complete: a failure leaves the old document untouched. Success shows
// "Saved Ok", clears the modified flag and open_after_save and moves the document's folder
// to the front of the recent folders.
int paint_file_save(PaintFile* file);
// Reads a native document. Everything up to the step list is checked before anything is
// allocated and parsed into a side record; the open document is replaced only then. A
// failure before the step list returns its code and leaves the open document as it was.
// Damage inside the step list opens the base with the steps read so far, shows
// "Damaged file." (code -2) and returns PAINT_FILE_PARTIAL. On 1 and 0 path and name are
// the file's. The caller rebuilds the painting (paint_history_rebuild).
int paint_file_open(PaintFile* file, const char* path);
// New bitmap holding the document's thumbnail (the caller destroys it), or null.
FBitmap* paint_file_read_thumbnail(const char* path);

// ---- Save as ----------------------------------------------------------------------------
enum class PaintFileNameCheck { ok, empty, invalid_char };
constexpr char16_t PAINT_FILE_INVALID_CHARS[] = u"/\\:*?\"<>|";
// The save-as dialog's validator: anything goes when the dialog was not confirmed.
PaintFileNameCheck paint_file_check_name(int confirmed, const char16_t* name);
// The message for a refused name (empty for ok): "File name can not be empty." or
// "File name contains invalid char such as /\:*?"<>|".
std::u16string paint_file_name_message(PaintFileNameCheck check);
// folder + "/" + name, with the type's extension appended unless the name already ends in
// it (compared without regard to case): "a.JPG" stays for a JPEG, "a.png" becomes
// "a.png.jpg".
std::string paint_file_target_path(const char* folder, const char16_t* name, int32_t save_type);
const char* paint_file_type_extension(int32_t save_type);  // "plk", "bmp", ... or null
// "File '%s' exists, do you want to overwrite it?" for the target.
std::u16string paint_file_overwrite_question(const char* target);
// Writes the painting as `save_type` to `target` (the dialog's confirmed choice), creating
// the target's folder when missing. Type 0 makes target the document's path and name and
// saves natively; 1-3 write BMP files; 4-8 JPEG (40, 75, 100), GIF and PNG. The writers run
// synchronously: the call returns when the file is complete. 1 or the negative code.
int paint_file_export(PaintFile* file, int32_t save_type, const char* target);

// ---- Recently used save folders ---------------------------------------------------------
// Read from save_dirs.dat on first use. The index-th folder (0 newest), or null.
const char* paint_file_recent_folder(int32_t index);
// Moves `folder` to the front (an entry equal without regard to ASCII case moves; a new one
// is inserted; the 17th is dropped).
void paint_file_recent_folder_add(const char* folder);
// Writes the list back when it was read; 1 when nothing needed writing or it was written.
int paint_file_recent_folders_write();
// Forgets the list in memory without writing it; the next use reads the file again.
void paint_file_recent_folders_forget();

// ---- Release ----------------------------------------------------------------------------
// Writes the recent folders back (when they were read) and frees the record.
void paint_file_destroy(PaintFile* file);
