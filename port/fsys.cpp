// Platform services on POSIX and the freedesktop conventions. The handheld's notions map
// onto the desktop like this: file times stay in 100 ns units since 1601 so that stored
// and compared times keep their meaning; "beside the program" (settings, recent folders,
// checkpoints, files for sending) becomes the user's XDG state and cache folders, or the
// one folder PENLARK_HOME when it is set; the root storage is the file system of the
// documents folder; the shell is xdg-open. The language table lives in
// fsys_language.cpp.
//
// Folders without PENLARK_HOME:
//   state      $XDG_STATE_HOME/penlark, else ~/.local/state/penlark
//   cache      $XDG_CACHE_HOME/penlark, else ~/.cache/penlark
//   temp       <cache>/temp (kept on disk, unlike the runtime folder, because attachments
//              can be large and the mail program may read them after we exit)
//   documents  $XDG_DOCUMENTS_DIR, else user-dirs.dirs, else ~/Documents
//   pictures   $XDG_PICTURES_DIR, else user-dirs.dirs, else ~/Pictures

#include "fsys.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "fplatform.h"

extern char** environ;

namespace {

constexpr char16_t kReplacement = 0xFFFD;
constexpr int64_t kUnitsPerSecond = 10000000;
constexpr int64_t kSecondsFrom1601To1970 = 11644473600;
// A list grows in steps up to its capacity rather than reserving it all at once: the
// toolkit asks for generous capacities and most folders are small.
constexpr int32_t kFirstListAllocation = 16;
constexpr size_t kMaxWebAddress = 4096;

// ---- UTF-8 and UTF-16 ---------------------------------------------------------------------

// Decodes one code point of `text` (length > 0); returns the bytes used and sets *code.
// Overlong forms, surrogates, values past U+10FFFF and cut sequences give U+FFFD for
// their first byte, so each bad byte costs one replacement character.
size_t utf8_decode(const unsigned char* text, size_t length, uint32_t* code) {
  unsigned char lead = text[0];
  if (lead < 0x80) {
    *code = lead;
    return 1;
  }
  size_t needed;
  uint32_t value;
  uint32_t minimum;
  if (lead >= 0xC2 && lead <= 0xDF) {
    needed = 1, value = lead & 0x1F, minimum = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    needed = 2, value = lead & 0x0F, minimum = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    needed = 3, value = lead & 0x07, minimum = 0x10000;
  } else {
    *code = kReplacement;
    return 1;
  }
  if (length < needed + 1) {
    *code = kReplacement;
    return 1;
  }
  for (size_t i = 1; i <= needed; ++i) {
    if ((text[i] & 0xC0) != 0x80) {
      *code = kReplacement;
      return 1;
    }
    value = (value << 6) | (text[i] & 0x3F);
  }
  if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
    *code = kReplacement;
    return 1;
  }
  *code = value;
  return needed + 1;
}

// Converts `length` bytes; writes at most `capacity` units (no terminator) and returns the
// number of units the whole text needs. A surrogate pair is never split.
size_t utf16_from_utf8_counted(const char* text, size_t length, char16_t* out,
                               size_t capacity) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text);
  size_t units = 0;
  size_t at = 0;
  while (at < length) {
    uint32_t code;
    at += utf8_decode(bytes + at, length - at, &code);
    if (code >= 0x10000) {
      if (units + 2 <= capacity) {
        code -= 0x10000;
        out[units] = static_cast<char16_t>(0xD800 + (code >> 10));
        out[units + 1] = static_cast<char16_t>(0xDC00 + (code & 0x3FF));
      }
      units += 2;
    } else {
      if (units + 1 <= capacity) out[units] = static_cast<char16_t>(code);
      units += 1;
    }
  }
  return units;
}

// ---- Times ---------------------------------------------------------------------------------

uint64_t file_time_from_timespec(const struct timespec& when) {
  int64_t seconds = static_cast<int64_t>(when.tv_sec);
  if (seconds < -kSecondsFrom1601To1970) return 0;
  // Far-future stamps (a damaged file system, a hostile archive) must not overflow.
  constexpr int64_t kLatestSeconds = INT64_MAX / kUnitsPerSecond - kSecondsFrom1601To1970 - 1;
  if (seconds > kLatestSeconds) seconds = kLatestSeconds;
  return static_cast<uint64_t>((seconds + kSecondsFrom1601To1970) * kUnitsPerSecond +
                               when.tv_nsec / 100);
}

// Days since 1970-01-01 to a proleptic Gregorian date (H. Hinnant's civil_from_days).
void civil_from_days(int64_t days, int64_t* year, uint32_t* month, uint32_t* day) {
  days += 719468;
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const auto day_of_era = static_cast<uint32_t>(days - era * 146097);
  const uint32_t year_of_era =
      (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  const uint32_t day_of_year =
      day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const uint32_t month_index = (5 * day_of_year + 2) / 153;
  *day = day_of_year - (153 * month_index + 2) / 5 + 1;
  *month = month_index < 10 ? month_index + 3 : month_index - 9;
  *year = static_cast<int64_t>(year_of_era) + era * 400 + (*month <= 2 ? 1 : 0);
}

// ---- Random numbers ------------------------------------------------------------------------

uint64_t g_random_state = 0;

// splitmix64: tiny, no shared library state, and any seed (even 0) gives a good stream.
uint64_t random_next() {
  uint64_t z = (g_random_state += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

// ---- Starting programs ---------------------------------------------------------------------

std::vector<pid_t> g_unreaped;  // children no waiter thread could be started for

void reap_finished_children() {
  for (size_t i = 0; i < g_unreaped.size();) {
    int status;
    pid_t done = waitpid(g_unreaped[i], &status, WNOHANG);
    if (done == g_unreaped[i] || (done < 0 && errno == ECHILD)) {
      g_unreaped.erase(g_unreaped.begin() + static_cast<std::ptrdiff_t>(i));
    } else {
      ++i;
    }
  }
}

// The opener may run as long as the viewer it starts (some desktops keep xdg-open in the
// foreground), so nobody on the UI thread may wait for it. A detached thread collects its
// exit status so that no zombie is left behind; when no thread can be had, the child is
// polled without blocking at the next start.
int spawn_detached(const char* const* argv) {
  reap_finished_children();
  posix_spawnattr_t attributes;
  if (posix_spawnattr_init(&attributes) != 0) return 0;
  // The child starts with a clean signal state whatever the window system blocked here.
  sigset_t none;
  sigemptyset(&none);
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  sigaddset(&defaults, SIGCHLD);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  pid_t child;
  int error = posix_spawnp(&child, argv[0], nullptr, &attributes,
                           const_cast<char* const*>(argv), environ);
  posix_spawnattr_destroy(&attributes);
  if (error != 0) return 0;
  try {
    std::thread([child] {
      int status;
      while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
      }
    }).detach();
  } catch (const std::system_error&) {
    g_unreaped.push_back(child);
  }
  return 1;
}

FSysSpawnFn g_spawn = spawn_detached;

bool starts_with_ignoring_case(const char* text, const char* prefix) {
  for (; *prefix; ++text, ++prefix) {
    char c = *text;
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != *prefix) return false;
  }
  return true;
}

// ---- Folders -------------------------------------------------------------------------------

struct Folders {
  std::optional<std::string> program;
  std::optional<std::string> resource;
  std::optional<std::string> state;
  std::optional<std::string> cache;
  std::optional<std::string> temp;
  std::optional<std::string> documents;
  std::optional<std::string> pictures;
};
Folders g_folders;

void strip_trailing_slashes(std::string* path) {
  while (path->size() > 1 && path->back() == '/') path->pop_back();
}

// An environment variable that holds an absolute path; the XDG rules say relative values
// are to be ignored.
std::optional<std::string> absolute_env(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || value[0] != '/') return std::nullopt;
  std::string path(value);
  strip_trailing_slashes(&path);
  return path;
}

std::optional<std::string> penlark_home() {
  const char* value = std::getenv("PENLARK_HOME");
  if (value == nullptr || value[0] == 0) return std::nullopt;
  std::string path(value);
  strip_trailing_slashes(&path);
  return path;
}

std::string home_dir() {
  if (auto home = absolute_env("HOME")) return *home;
  std::vector<char> buffer(16384);
  struct passwd entry;
  struct passwd* found = nullptr;
  if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
      found->pw_dir && found->pw_dir[0] == '/') {
    std::string path(found->pw_dir);
    strip_trailing_slashes(&path);
    return path;
  }
  // No home at all (a stripped-down service account): keep things beside the program,
  // where the handheld kept them.
  return fsys_program_dir();
}

// mkdir -p; components that exist already are left as they are.
void make_dirs(const std::string& path, mode_t mode) {
  for (size_t at = 1; at <= path.size(); ++at) {
    if (at == path.size() || path[at] == '/') {
      std::string part = path.substr(0, at);
      if (mkdir(part.c_str(), mode) != 0 && errno != EEXIST) return;
    }
  }
}

std::string parent_dir(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// The value of `key` in user-dirs.dirs: lines KEY="$HOME/Folder" or KEY="/absolute",
// shell-quoted. Other forms are ignored, as xdg-user-dirs itself does.
std::optional<std::string> user_dirs_value(const char* key, const std::string& home) {
  std::string config = absolute_env("XDG_CONFIG_HOME").value_or(home + "/.config");
  std::FILE* file = std::fopen((config + "/user-dirs.dirs").c_str(), "r");
  if (file == nullptr) return std::nullopt;
  std::optional<std::string> result;
  const size_t key_length = std::strlen(key);
  char line[4096];
  while (std::fgets(line, sizeof line, file)) {
    const char* at = line;
    while (*at == ' ' || *at == '\t') ++at;
    if (std::strncmp(at, key, key_length) != 0 || at[key_length] != '=') continue;
    at += key_length + 1;
    std::string value;
    if (*at == '"') {
      for (++at; *at && *at != '"'; ++at) {
        if (*at == '\\' && at[1]) ++at;
        value += *at;
      }
    } else {
      for (; *at && *at != '\n' && *at != '\r'; ++at) value += *at;
    }
    std::string path;
    if (value.rfind("$HOME", 0) == 0 && (value.size() == 5 || value[5] == '/')) {
      path = home + value.substr(5);
    } else if (value.rfind("${HOME}", 0) == 0 && (value.size() == 7 || value[7] == '/')) {
      path = home + value.substr(7);
    } else if (!value.empty() && value[0] == '/') {
      path = value;
    } else {
      continue;
    }
    strip_trailing_slashes(&path);
    result = path;  // the last assignment wins, as when the file is sourced by a shell
  }
  std::fclose(file);
  return result;
}

// A user folder such as documents: PENLARK_HOME/<fallback_name>, else the environment,
// else user-dirs.dirs, else ~/<fallback_name>. Created when missing, since the program
// puts its own folder inside and that single mkdir would fail without it.
std::string user_folder(const char* key, const char* fallback_name) {
  std::string path;
  if (auto home = penlark_home()) {
    path = *home + "/" + fallback_name;
  } else if (auto from_env = absolute_env(key)) {
    path = *from_env;
  } else {
    std::string home = home_dir();
    path = user_dirs_value(key, home).value_or(home + "/" + fallback_name);
  }
  make_dirs(path, 0777);
  return path;
}

// A per-user folder of the program's own: private to the user.
std::string private_folder(const char* xdg_key, const char* xdg_fallback,
                           const char* home_subfolder) {
  std::string path;
  if (auto home = penlark_home()) {
    path = home_subfolder[0] ? *home + "/" + home_subfolder : *home;
  } else {
    std::string base = absolute_env(xdg_key).value_or(home_dir() + "/" + xdg_fallback);
    path = base + "/penlark";
  }
  make_dirs(path, 0700);
  return path;
}

bool is_dir(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool is_regular_file(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// Whether the caller may not write the entry. The owner's write bit is the file's own
// "read-only" mark, and it is what matters even for root, who could write anyway; for
// someone else's file the kernel is asked.
bool entry_is_read_only(int dir_fd, const char* name, const struct stat& info) {
  if (info.st_uid == geteuid()) return (info.st_mode & S_IWUSR) == 0;
  return faccessat(dir_fd, name, W_OK, AT_EACCESS) != 0;
}

}  // namespace

// ---- Files and folders --------------------------------------------------------------------

int fsys_dir_exists(const char* path) {
  if (path == nullptr) return 0;
  struct stat info;
  return stat(path, &info) == 0 && S_ISDIR(info.st_mode) ? 1 : 0;
}

int fsys_file_exists(const char* path) {
  if (path == nullptr) return 0;
  struct stat info;
  // A dangling symbolic link still occupies the name.
  return lstat(path, &info) == 0 ? 1 : 0;
}

int fsys_delete_file(const char* path) {
  if (path == nullptr) return 0;
  return unlink(path) == 0 ? 1 : 0;
}

int fsys_make_dir(const char* path) {
  if (path == nullptr || path[0] == 0) return 0;
  // Only an existing folder counts: a file of that name would make every later file
  // inside it fail, so that is reported here instead.
  if (fsys_dir_exists(path)) return 1;
  return mkdir(path, 0777) == 0 ? 1 : 0;
}

// ---- Times --------------------------------------------------------------------------------

int fsys_file_time(const char* path, uint64_t* time) {
  FCHECK(time != nullptr, "time!=null");
  if (path == nullptr) return 0;
  struct stat info;
  if (stat(path, &info) != 0) return 0;
  *time = file_time_from_timespec(info.st_mtim);
  return 1;
}

int fsys_time_to_calendar(uint64_t time, FSysCalendar* out) {
  FCHECK(out != nullptr, "calendar!=null");
  if (time > static_cast<uint64_t>(INT64_MAX)) return 0;
  const uint64_t milliseconds = time / 10000;
  const uint64_t seconds = milliseconds / 1000;
  const auto days_since_1601 = static_cast<int64_t>(seconds / 86400);
  const uint64_t second_of_day = seconds % 86400;
  int64_t year;
  uint32_t month;
  uint32_t day;
  civil_from_days(days_since_1601 - kSecondsFrom1601To1970 / 86400, &year, &month, &day);
  out->year = static_cast<uint16_t>(year);
  out->month = static_cast<uint16_t>(month);
  out->day_of_week = static_cast<uint16_t>((days_since_1601 + 1) % 7);  // 1601-01-01: Monday
  out->day = static_cast<uint16_t>(day);
  out->hour = static_cast<uint16_t>(second_of_day / 3600);
  out->minute = static_cast<uint16_t>(second_of_day / 60 % 60);
  out->second = static_cast<uint16_t>(second_of_day % 60);
  out->millisecond = static_cast<uint16_t>(milliseconds % 1000);
  return 1;
}

int64_t fsys_now(int64_t* out) {
  struct timespec now;
  if (clock_gettime(CLOCK_REALTIME, &now) != 0) return out ? *out : 0;
  const auto seconds = static_cast<int64_t>(now.tv_sec);
  if (out) *out = seconds;
  return seconds;
}

int32_t fsys_random() {
  g_random_state = random_next() + static_cast<uint64_t>(fsys_now(nullptr));
  return static_cast<int32_t>(random_next() >> 33);
}

// ---- Directory listing --------------------------------------------------------------------

void fsys_dir_list_init(FSysDirList* list, int32_t capacity) {
  FCHECK(list != nullptr, "list!=null");
  list->items = nullptr;
  list->count = 0;
  list->allocated = 0;
  list->capacity = capacity > 0 ? capacity : 0;
}

int fsys_dir_list_add(FSysDirList* list, const FSysDirItem* item, const char16_t* name,
                      int32_t length) {
  FCHECK(list != nullptr, "list!=null");
  FCHECK(item != nullptr, "item!=null");
  if (list->count >= list->capacity || length < 0) return 0;
  if (list->count == list->allocated) {
    int32_t grown = list->allocated ? list->allocated * 2 : kFirstListAllocation;
    if (grown > list->capacity || grown < list->allocated) grown = list->capacity;
    auto* items = static_cast<FSysDirItem*>(
        std::realloc(list->items, static_cast<size_t>(grown) * sizeof(FSysDirItem)));
    if (items == nullptr) return 0;
    list->items = items;
    list->allocated = grown;
  }
  auto* copy =
      static_cast<char16_t*>(std::malloc((static_cast<size_t>(length) + 1) * sizeof(char16_t)));
  if (copy == nullptr) return 0;
  if (length > 0) std::memcpy(copy, name, static_cast<size_t>(length) * sizeof(char16_t));
  copy[length] = 0;
  FSysDirItem& added = list->items[list->count++];
  added = *item;
  added.name = copy;
  return 1;
}

void fsys_dir_list_clear(FSysDirList* list) {
  FCHECK(list != nullptr, "list!=null");
  for (int32_t i = 0; i < list->count; ++i) std::free(list->items[i].name);
  list->count = 0;
}

void fsys_dir_list_release(FSysDirList* list) {
  FCHECK(list != nullptr, "list!=null");
  fsys_dir_list_clear(list);
  std::free(list->items);
  list->items = nullptr;
  list->allocated = 0;
}

int32_t fsys_list_dir(const char* directory, FSysDirList* dirs, FSysDirList* files) {
  FCHECK(dirs != nullptr, "dirs!=null");
  FCHECK(files != nullptr, "files!=null");
  if (directory == nullptr) return -1;
  DIR* stream = opendir(directory);
  if (stream == nullptr) return -1;
  const int dir_fd = dirfd(stream);
  int32_t added = 0;
  std::vector<char16_t> name;
  while (const struct dirent* entry = readdir(stream)) {
    const char* raw = entry->d_name;
    if (std::strcmp(raw, ".") == 0 || std::strcmp(raw, "..") == 0) continue;
    // A link is listed as what it points to, so a linked folder can be entered; a
    // dangling one is still shown, as a file.
    struct stat info;
    if (fstatat(dir_fd, raw, &info, 0) != 0 &&
        fstatat(dir_fd, raw, &info, AT_SYMLINK_NOFOLLOW) != 0) {
      continue;  // removed while we were listing
    }
    FSysDirItem item{};
    const bool is_directory = S_ISDIR(info.st_mode);
    if (is_directory) item.flags |= FSYS_ITEM_DIRECTORY;
    if (raw[0] == '.') item.flags |= FSYS_ITEM_HIDDEN;
    if (entry_is_read_only(dir_fd, raw, info)) item.flags |= FSYS_ITEM_READ_ONLY;
    if (S_ISSOCK(info.st_mode) || S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode) ||
        S_ISFIFO(info.st_mode)) {
      item.flags |= FSYS_ITEM_SYSTEM;
    }
    const uint64_t time = file_time_from_timespec(info.st_mtim);
    item.time_low = static_cast<uint32_t>(time);
    item.time_high = static_cast<uint32_t>(time >> 32);
    const uint64_t size =
        is_directory || info.st_size < 0 ? 0 : static_cast<uint64_t>(info.st_size);
    item.size_low = static_cast<uint32_t>(size);
    item.size_high = static_cast<uint32_t>(size >> 32);

    const size_t raw_length = std::strlen(raw);
    name.resize(raw_length * 2 + 1);  // never more units than twice the bytes
    const size_t units = utf16_from_utf8_counted(raw, raw_length, name.data(), name.size());
    FSysDirList* list = is_directory ? dirs : files;
    if (!fsys_dir_list_add(list, &item, name.data(), static_cast<int32_t>(units))) break;
    ++added;
  }
  closedir(stream);
  return added;
}

// ---- Storage ------------------------------------------------------------------------------

void fsys_storage_info_init(FSysStorageInfo* info) {
  FCHECK(info != nullptr, "info!=null");
  *info = FSysStorageInfo{};
  info->present = 1;
}

int fsys_storage_info(char16_t drive, FSysStorageInfo* info) {
  FCHECK(info != nullptr, "info!=null");
  if (drive != u'/' && drive != u'\\') return 0;
  struct statvfs volume;
  if (statvfs(fsys_documents_dir(), &volume) != 0) return 0;
  const uint64_t unit = volume.f_frsize ? volume.f_frsize : volume.f_bsize;
  const uint64_t available = static_cast<uint64_t>(volume.f_bavail) * unit;
  const uint64_t total = static_cast<uint64_t>(volume.f_blocks) * unit;
  info->type = 3;
  info->free_low = static_cast<uint32_t>(available);
  info->free_high = static_cast<uint32_t>(available >> 32);
  info->total_low = static_cast<uint32_t>(total);
  info->total_high = static_cast<uint32_t>(total >> 32);
  return 1;
}

// ---- The desktop --------------------------------------------------------------------------

FSysSpawnFn fsys_set_spawn(FSysSpawnFn spawn) {
  FSysSpawnFn previous = g_spawn;
  g_spawn = spawn ? spawn : spawn_detached;
  return previous;
}

int fsys_spawn(const char* const* argv) {
  if (argv == nullptr || argv[0] == nullptr || argv[0][0] == 0) return 0;
  return g_spawn(argv);
}

int fsys_shell_open(const char* path) {
  if (path == nullptr || path[0] == 0 || !fsys_file_exists(path)) return 0;
  // A relative name such as "-h" would reach the opener as an option.
  std::string argument = path[0] == '-' ? std::string("./") + path : std::string(path);
  const char* argv[] = {"xdg-open", argument.c_str(), nullptr};
  return g_spawn(argv);
}

int fsys_open_web(const char* address) {
  if (address == nullptr || address[0] == '-') return 0;
  size_t scheme_length;
  if (starts_with_ignoring_case(address, "http://")) {
    scheme_length = 7;
  } else if (starts_with_ignoring_case(address, "https://")) {
    scheme_length = 8;
  } else if (starts_with_ignoring_case(address, "mailto:")) {
    scheme_length = 7;
  } else {
    return 0;
  }
  const size_t length = std::strlen(address);
  if (length == scheme_length || length > kMaxWebAddress) return 0;
  for (size_t i = 0; i < length; ++i) {
    const auto c = static_cast<unsigned char>(address[i]);
    if (c < 0x20 || c == 0x7F) return 0;
  }
  const char* argv[] = {"xdg-open", address, nullptr};
  return g_spawn(argv);
}

int fsys_camera_capture(char* path, size_t size) {
  if (path != nullptr && size > 0) path[0] = 0;
  return 0;
}

// ---- Folders ------------------------------------------------------------------------------

const char* fsys_program_dir() {
  if (!g_folders.program) {
    std::string path = ".";
    std::vector<char> buffer(4096);
    ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length > 0 && static_cast<size_t>(length) < buffer.size()) {
      path = parent_dir(std::string(buffer.data(), static_cast<size_t>(length)));
    }
    g_folders.program = path;
  }
  return g_folders.program->c_str();
}

const char* fsys_resource_dir() {
  if (!g_folders.resource) {
    // A build tree or an unpacked archive keeps the resources beside the executable; an
    // installed program keeps them in <prefix>/share/penlark beside <prefix>/bin.
    std::string program = fsys_program_dir();
    std::string path = program;
    if (!is_regular_file(program + "/gui.fres") && !is_dir(program + "/resvga")) {
      std::string shared = parent_dir(program) + "/share/penlark";
      if (shared.rfind("//", 0) == 0) shared.erase(0, 1);
      if (is_dir(shared)) path = shared;
    }
    g_folders.resource = path;
  }
  return g_folders.resource->c_str();
}

const char* fsys_state_dir() {
  if (!g_folders.state) g_folders.state = private_folder("XDG_STATE_HOME", ".local/state", "");
  return g_folders.state->c_str();
}

const char* fsys_cache_dir() {
  if (!g_folders.cache) g_folders.cache = private_folder("XDG_CACHE_HOME", ".cache", "cache");
  return g_folders.cache->c_str();
}

const char* fsys_temp_dir() {
  if (!g_folders.temp) {
    std::string path;
    if (auto home = penlark_home()) {
      path = *home + "/temp";
    } else {
      path = std::string(fsys_cache_dir()) + "/temp";
    }
    make_dirs(path, 0700);
    g_folders.temp = path;
  }
  return g_folders.temp->c_str();
}

const char* fsys_documents_dir() {
  if (!g_folders.documents) g_folders.documents = user_folder("XDG_DOCUMENTS_DIR", "Documents");
  return g_folders.documents->c_str();
}

const char* fsys_pictures_dir() {
  if (!g_folders.pictures) g_folders.pictures = user_folder("XDG_PICTURES_DIR", "Pictures");
  return g_folders.pictures->c_str();
}

void fsys_reset_folders() { g_folders = Folders{}; }

// ---- Text ---------------------------------------------------------------------------------

int32_t fsys_utf16_from_utf8(const char* text, char16_t* out, size_t capacity) {
  if (out == nullptr || capacity == 0) return -1;
  if (text == nullptr) text = "";
  const size_t length = std::strlen(text);
  const size_t needed = utf16_from_utf8_counted(text, length, out, capacity - 1);
  if (needed <= capacity - 1) {
    out[needed] = 0;
    return static_cast<int32_t>(needed);
  }
  // Terminate after the last whole code point that fitted.
  size_t fitted = 0;
  const auto* bytes = reinterpret_cast<const unsigned char*>(text);
  for (size_t at = 0; at < length;) {
    uint32_t code;
    at += utf8_decode(bytes + at, length - at, &code);
    const size_t units = code >= 0x10000 ? 2 : 1;
    if (fitted + units > capacity - 1) break;
    fitted += units;
  }
  out[fitted] = 0;
  return -1;
}

int32_t fsys_utf8_from_utf16(const char16_t* text, char* out, size_t capacity) {
  if (out == nullptr || capacity == 0) return -1;
  if (text == nullptr) text = u"";
  size_t written = 0;
  for (size_t at = 0; text[at];) {
    uint32_t code = text[at++];
    if (code >= 0xD800 && code <= 0xDBFF && text[at] >= 0xDC00 && text[at] <= 0xDFFF) {
      code = 0x10000 + ((code - 0xD800) << 10) + (text[at++] - 0xDC00);
    } else if (code >= 0xD800 && code <= 0xDFFF) {
      code = kReplacement;
    }
    char bytes[4];
    size_t count;
    if (code < 0x80) {
      bytes[0] = static_cast<char>(code), count = 1;
    } else if (code < 0x800) {
      bytes[0] = static_cast<char>(0xC0 | (code >> 6));
      bytes[1] = static_cast<char>(0x80 | (code & 0x3F)), count = 2;
    } else if (code < 0x10000) {
      bytes[0] = static_cast<char>(0xE0 | (code >> 12));
      bytes[1] = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      bytes[2] = static_cast<char>(0x80 | (code & 0x3F)), count = 3;
    } else {
      bytes[0] = static_cast<char>(0xF0 | (code >> 18));
      bytes[1] = static_cast<char>(0x80 | ((code >> 12) & 0x3F));
      bytes[2] = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      bytes[3] = static_cast<char>(0x80 | (code & 0x3F)), count = 4;
    }
    if (written + count > capacity - 1) {
      out[written] = 0;
      return -1;
    }
    std::memcpy(out + written, bytes, count);
    written += count;
  }
  out[written] = 0;
  return static_cast<int32_t>(written);
}
