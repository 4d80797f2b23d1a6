// Platform services: files and folders, file times and calendar fields, free space, the
// clock, a random number, handing documents and web addresses to the desktop, the user's
// language, and the folders the program reads from and writes to. Nothing above the port
// calls the operating system for these directly.
//
// File-system paths are UTF-8 (`const char*`); names handed to the toolkit are UTF-16.
// Results are 1 for success and 0 for failure unless stated otherwise. Everything runs on
// the user-interface thread.
#pragma once

#include <cstddef>
#include <cstdint>

// ---- Files and folders --------------------------------------------------------------------
int fsys_dir_exists(const char* path);   // 1 when the path names a directory
int fsys_file_exists(const char* path);  // 1 when anything exists under the path
int fsys_delete_file(const char* path);  // removes a file (not a directory)
int fsys_make_dir(const char* path);     // 1 if it exists already; one level only

// ---- Times --------------------------------------------------------------------------------
// File times count 100-nanosecond units since 1601-01-01 00:00 UTC.
constexpr uint64_t FSYS_TIME_1970 = 0x019DB1DED53E8000ull;  // 1970-01-01 in those units

// Last-write time of a file or folder; 0 (and *time untouched) when it cannot be read.
int fsys_file_time(const char* path, uint64_t* time);

struct FSysCalendar {
  uint16_t year;
  uint16_t month;        // 1..12
  uint16_t day_of_week;  // 0 = Sunday
  uint16_t day;          // 1..31
  uint16_t hour;
  uint16_t minute;
  uint16_t second;
  uint16_t millisecond;
};

// UTC calendar fields of a file time; 0 when the time has its top bit set (past the year
// 30828), which the fields were never meant to hold.
int fsys_time_to_calendar(uint64_t time, FSysCalendar* out);

// Seconds since 1970-01-01 UTC, also stored in *out when given. When the clock cannot be
// read, the previous content of *out is returned (0 without one).
int64_t fsys_now(int64_t* out);

// A pseudo-random number in 0..0x7FFFFFFF; the generator is re-seeded from its own next
// value plus fsys_now before each draw.
int32_t fsys_random();

// ---- Directory listing --------------------------------------------------------------------
enum : uint32_t {
  FSYS_ITEM_DIRECTORY = 1,
  FSYS_ITEM_HIDDEN = 2,     // the name starts with a dot
  FSYS_ITEM_READ_ONLY = 4,  // the caller may not write it
  FSYS_ITEM_SYSTEM = 8,     // sockets, devices, pipes
};

struct FSysDirItem {
  uint32_t flags;       // FSYS_ITEM_* bits
  uint32_t time_low;    // last-write time (100 ns since 1601), low half
  uint32_t time_high;   // ... high half
  uint32_t size_low;    // bytes, low half; 0 for directories
  uint32_t size_high;   // ... high half
  char16_t* name;       // owned by the list, zero-terminated UTF-16
};

// A list of items that takes at most `capacity` entries; the toolkit's file lists keep one
// for folders and one for files.
struct FSysDirList {
  FSysDirItem* items;  // owned, `count` used of `allocated`
  int32_t count;
  int32_t allocated;
  int32_t capacity;    // most items the list accepts
};

void fsys_dir_list_init(FSysDirList* list, int32_t capacity);
// Appends a copy of the item with a copy of `name` (`length` UTF-16 units); 0 when the
// list is full or memory is short.
int fsys_dir_list_add(FSysDirList* list, const FSysDirItem* item, const char16_t* name,
                      int32_t length);
void fsys_dir_list_clear(FSysDirList* list);  // frees the items, keeps the capacity
void fsys_dir_list_release(FSysDirList* list);

// Appends the entries of `directory` ("." and ".." skipped), folders to `dirs` and
// everything else to `files`, in the order the file system returns them. Stops when a
// list cannot take another item. Returns the number of items added, or -1 when the
// directory cannot be opened. Names that are not valid UTF-8 get U+FFFD for each bad
// byte.
int32_t fsys_list_dir(const char* directory, FSysDirList* dirs, FSysDirList* files);

// ---- Storage ------------------------------------------------------------------------------
struct FSysStorageInfo {
  uint8_t type;          // 3 = the fixed root storage
  uint32_t free_low;     // bytes available to the caller, low half
  uint32_t free_high;
  uint32_t total_low;    // bytes of the whole file system, low half
  uint32_t total_high;
  uint8_t present;       // set to 1 by fsys_storage_info_init
};

void fsys_storage_info_init(FSysStorageInfo* info);
// Only the root answers: '/' (and the handheld's '\\') measure the file system that holds
// the documents folder, where paintings are saved. Any other character gives 0.
int fsys_storage_info(char16_t drive, FSysStorageInfo* info);

// ---- The desktop --------------------------------------------------------------------------
// Opens a document with the desktop's preferred program (xdg-open). 1 when the opener was
// started; it runs on its own and is reaped without waiting for it.
int fsys_shell_open(const char* path);
// Opens an http, https or mailto address in the desktop's browser or mail program; other
// schemes, control characters and addresses that would read as options are refused (0).
int fsys_open_web(const char* address);
// 1 with the photo's path, -1 when the user cancelled, 0 on error. There is no camera
// facility on the desktop: always 0, with `path` emptied.
int fsys_camera_capture(char* path, size_t size);

// Starts a program from an argument vector (argv[0] is looked up in PATH), without a
// shell; 1 when it started. Tests replace it to see what would be run.
using FSysSpawnFn = int (*)(const char* const* argv);
// Installs `spawn` (null restores the real one); returns the previous function.
FSysSpawnFn fsys_set_spawn(FSysSpawnFn spawn);
// Starts a program through the installed function, never through a shell; 1 when it
// started. The application hands attachments to the mail program this way.
int fsys_spawn(const char* const* argv);

// ---- Language ------------------------------------------------------------------------------
// The user's language as a language code (English UK 1, French 2, German 3, ...; 99 when
// the language is not in the table), from LC_ALL, LC_MESSAGES, then LANG.
int32_t fsys_language_code();
// The same for a locale name such as "en_GB.UTF-8", "pt_BR@euro" or "C".
int32_t fsys_language_code_for(const char* locale);
// The Windows language identifier of the user's locale (0x409 for "C", 0 when the
// language is unknown) and of a given locale name.
uint16_t fsys_language_id();
uint16_t fsys_language_id_for(const char* locale);
// The first row of the language table whose identifier equals `id` gives the code;
// none gives 99.
int32_t fsys_language_code_for_id(uint16_t id);

struct FSysLanguageRow {
  uint16_t id;    // Windows language identifier, full (0x807) or primary (0x07)
  int32_t code;   // language code
};
// The language table (179 rows); *count receives the number of rows.
const FSysLanguageRow* fsys_language_table(size_t* count);

// ---- Folders ------------------------------------------------------------------------------
// Each folder is resolved once and cached; the strings live until fsys_reset_folders. All
// are UTF-8 without a trailing slash. With PENLARK_HOME set, everything the program writes
// lives in that one folder: state in it, cache/, temp/, Documents/ and Pictures/ below it.
const char* fsys_program_dir();   // the executable's folder
const char* fsys_resource_dir();  // read-only resources: beside the executable or share/penlark
const char* fsys_state_dir();     // config.xml, save_dirs.dat (XDG state home)
const char* fsys_cache_dir();     // undo checkpoints (XDG cache home)
const char* fsys_temp_dir();      // files made for sending: the cache folder's temp/
const char* fsys_documents_dir(); // the user's documents folder (XDG_DOCUMENTS_DIR)
const char* fsys_pictures_dir();  // the user's pictures folder (XDG_PICTURES_DIR)
// Forgets the resolved folders so the next call reads the environment again (tests).
void fsys_reset_folders();

// ---- Text ---------------------------------------------------------------------------------
// UTF-8 to zero-terminated UTF-16 in `out` (capacity units, including the terminator).
// Bad bytes become U+FFFD. Returns the units written without the terminator, or -1 when
// the text does not fit (out then holds the part that fitted).
int32_t fsys_utf16_from_utf8(const char* text, char16_t* out, size_t capacity);
// Zero-terminated UTF-16 to zero-terminated UTF-8; unpaired surrogates become U+FFFD.
// Same result convention.
int32_t fsys_utf8_from_utf16(const char16_t* text, char* out, size_t capacity);
