// Platform services on a private temporary folder: listing, times and calendar fields,
// files and folders, storage, the opener, text conversion, and where the program's
// folders resolve with and without PENLARK_HOME. The real home is never touched: HOME,
// PENLARK_HOME and the XDG variables all point into the temporary folder.

#include "fsys.h"

#include <fcntl.h>
#include <signal.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace {

class FsysTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"PENLARK_HOME", "HOME", "PATH", "XDG_STATE_HOME", "XDG_CACHE_HOME",
                             "XDG_CONFIG_HOME", "XDG_DOCUMENTS_DIR", "XDG_PICTURES_DIR"}) {
      const char* value = std::getenv(name);
      saved_[name] = value ? std::optional<std::string>(value) : std::nullopt;
      if (std::strncmp(name, "XDG", 3) == 0) unsetenv(name);
    }
    char pattern[] = "/tmp/fsys_test.XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root_ = pattern;
    setenv("PENLARK_HOME", root_.c_str(), 1);
    setenv("HOME", path("home").c_str(), 1);
    fsys_reset_folders();
  }

  void TearDown() override {
    for (const auto& [name, value] : saved_) {
      value ? setenv(name.c_str(), value->c_str(), 1) : unsetenv(name.c_str());
    }
    fsys_reset_folders();
    auto remove = [](const char* path, const struct stat*, int, struct FTW*) {
      std::remove(path);
      return 0;  // go on with the rest whatever one entry did
    };
    nftw(root_.c_str(), remove, 16, FTW_DEPTH | FTW_PHYS);
  }

  std::string path(const std::string& name) const { return root_ + "/" + name; }

  void write_file(const std::string& name, const std::string& bytes) const {
    std::FILE* file = std::fopen(path(name).c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
  }

  std::string root_;
  std::map<std::string, std::optional<std::string>> saved_;
};

std::string utf8(const char16_t* text) {
  char out[1024];
  EXPECT_GE(fsys_utf8_from_utf16(text, out, sizeof out), 0);
  return out;
}

const FSysDirItem* find_item(const FSysDirList& list, const std::string& name) {
  for (int32_t i = 0; i < list.count; ++i) {
    if (utf8(list.items[i].name) == name) return &list.items[i];
  }
  return nullptr;
}

// 2026-12-06 12:34:56.789 UTC, a Sunday.
constexpr int64_t kSundaySeconds = 1796560496;
constexpr uint64_t kSundayFileTime = 134410340967890000ull;
constexpr struct timespec kSundayStamps[2] = {{kSundaySeconds, 789000000},
                                              {kSundaySeconds, 789000000}};

std::vector<std::string> g_spawned;
int record_spawn(const char* const* argv) {
  g_spawned.clear();
  for (; *argv; ++argv) g_spawned.emplace_back(*argv);
  return 1;
}

}  // namespace

TEST_F(FsysTest, ListingSortsFoldersFromFilesWithTheirFlags) {
  const std::string dir = path("list");
  ASSERT_EQ(mkdir(dir.c_str(), 0755), 0);
  ASSERT_EQ(mkdir((dir + "/sub").c_str(), 0755), 0);
  ASSERT_EQ(mkdir((dir + "/.config").c_str(), 0755), 0);
  write_file("list/a.txt", "abc");
  write_file("list/.profile", "");
  write_file("list/locked.txt", "12345");
  write_file("list/bad\xff.txt", "");
  ASSERT_EQ(chmod((dir + "/locked.txt").c_str(), 0444), 0);
  ASSERT_EQ(mkfifo((dir + "/pipe").c_str(), 0644), 0);
  ASSERT_EQ(symlink("sub", (dir + "/linked").c_str()), 0);
  ASSERT_EQ(symlink("nowhere", (dir + "/dangling").c_str()), 0);
  ASSERT_EQ(utimensat(AT_FDCWD, (dir + "/a.txt").c_str(), kSundayStamps, 0), 0);

  FSysDirList dirs;
  FSysDirList files;
  fsys_dir_list_init(&dirs, 100);
  fsys_dir_list_init(&files, 100);
  EXPECT_EQ(fsys_list_dir(dir.c_str(), &dirs, &files), 9);
  ASSERT_EQ(dirs.count, 3);
  ASSERT_EQ(files.count, 6);
  const std::map<std::string, uint32_t> dir_flags = {
      {"sub", FSYS_ITEM_DIRECTORY},
      {".config", FSYS_ITEM_DIRECTORY | FSYS_ITEM_HIDDEN},
      {"linked", FSYS_ITEM_DIRECTORY}};  // a link to a folder can be entered
  // The bad byte survives as one replacement character rather than losing the entry.
  const std::map<std::string, uint32_t> file_flags = {
      {"a.txt", 0},        {".profile", FSYS_ITEM_HIDDEN}, {"locked.txt", FSYS_ITEM_READ_ONLY},
      {"pipe", FSYS_ITEM_SYSTEM}, {"dangling", 0},        {"bad\xEF\xBF\xBD.txt", 0}};
  for (const auto& [lists, expected] : {std::pair{&dirs, dir_flags}, {&files, file_flags}}) {
    for (const auto& [name, flags] : expected) {
      const FSysDirItem* item = find_item(*lists, name);
      ASSERT_NE(item, nullptr) << name;
      EXPECT_EQ(item->flags, flags) << name;
    }
  }
  EXPECT_EQ(find_item(dirs, "sub")->size_low, 0u);
  const FSysDirItem* text = find_item(files, "a.txt");
  EXPECT_EQ(text->size_low, 3u);
  EXPECT_EQ(text->size_high, 0u);
  EXPECT_EQ((static_cast<uint64_t>(text->time_high) << 32) | text->time_low, kSundayFileTime);
  EXPECT_EQ(find_item(files, "locked.txt")->size_low, 5u);
  fsys_dir_list_release(&dirs);
  fsys_dir_list_release(&files);
}

TEST_F(FsysTest, ListingEmptyMissingAndFullLists) {
  FSysDirList dirs;
  FSysDirList files;
  FSysDirList big;
  fsys_dir_list_init(&dirs, 10);
  fsys_dir_list_init(&files, 3);
  fsys_dir_list_init(&big, 1000);
  ASSERT_EQ(mkdir(path("empty").c_str(), 0755), 0);
  EXPECT_EQ(fsys_list_dir(path("empty").c_str(), &dirs, &files), 0);
  EXPECT_EQ(fsys_list_dir(path("missing").c_str(), &dirs, &files), -1);
  write_file("plain", "");
  EXPECT_EQ(fsys_list_dir(path("plain").c_str(), &dirs, &files), -1);

  ASSERT_EQ(mkdir(path("many").c_str(), 0755), 0);
  for (int i = 0; i < 40; ++i) write_file("many/f" + std::to_string(i), "");
  EXPECT_EQ(fsys_list_dir(path("many").c_str(), &dirs, &files), 3);  // the list is full
  EXPECT_EQ(files.count, 3);
  // Growing past the first allocation keeps every earlier item intact.
  EXPECT_EQ(fsys_list_dir(path("many").c_str(), &dirs, &big), 40);
  std::set<std::string> names;
  for (int32_t i = 0; i < big.count; ++i) names.insert(utf8(big.items[i].name));
  EXPECT_EQ(names.size(), 40u);
  fsys_dir_list_clear(&big);
  EXPECT_EQ(big.count, 0);
  EXPECT_EQ(fsys_list_dir(path("many").c_str(), &dirs, &big), 40);  // capacity kept
  fsys_dir_list_release(&big);
  fsys_dir_list_release(&dirs);
  fsys_dir_list_release(&files);
}

TEST_F(FsysTest, FileTimesBecomeCalendarFields) {
  const std::pair<uint64_t, FSysCalendar> instants[] = {
      {0, {1601, 1, 1, 1, 0, 0, 0, 0}},               // a Monday
      {FSYS_TIME_1970, {1970, 1, 4, 1, 0, 0, 0, 0}},  // a Thursday
      {kSundayFileTime, {2026, 12, 0, 6, 12, 34, 56, 789}},
      {133537247999990000ull, {2024, 2, 4, 29, 23, 59, 59, 999}},  // end of a leap day
      {0x7FFFFFFFFFFFFFFFull, {30828, 9, 4, 14, 2, 48, 5, 477}}};
  for (const auto& [time, expected] : instants) {
    FSysCalendar fields{};
    ASSERT_EQ(fsys_time_to_calendar(time, &fields), 1) << time;
    EXPECT_EQ(std::memcmp(&fields, &expected, sizeof fields), 0) << time;
  }
  FSysCalendar fields{};
  EXPECT_EQ(fsys_time_to_calendar(0x8000000000000000ull, &fields), 0);

  write_file("stamped", "x");
  ASSERT_EQ(utimensat(AT_FDCWD, path("stamped").c_str(), kSundayStamps, 0), 0);
  uint64_t time = 42;
  ASSERT_EQ(fsys_file_time(path("stamped").c_str(), &time), 1);
  EXPECT_EQ(time, kSundayFileTime);
  time = 42;
  EXPECT_EQ(fsys_file_time(path("missing").c_str(), &time), 0);
  EXPECT_EQ(time, 42u);

  int64_t out = 0;
  const int64_t before = std::time(nullptr);
  const int64_t now = fsys_now(&out);
  EXPECT_EQ(out, now);
  EXPECT_GE(now, before);
  EXPECT_LE(now, std::time(nullptr));
}

TEST_F(FsysTest, FilesAndFoldersAreMadeTestedAndDeleted) {
  const std::string folder = path("made");
  const std::string file = folder + "/file";
  EXPECT_EQ(fsys_dir_exists(folder.c_str()), 0);
  EXPECT_EQ(fsys_make_dir(folder.c_str()), 1);
  EXPECT_EQ(fsys_make_dir(folder.c_str()), 1);  // already there
  EXPECT_EQ(fsys_dir_exists(folder.c_str()), 1);
  EXPECT_EQ(fsys_file_exists(folder.c_str()), 1);
  EXPECT_EQ(fsys_make_dir(path("no/such/parent").c_str()), 0);  // one level only
  EXPECT_EQ(fsys_delete_file(folder.c_str()), 0);                // not for folders
  write_file("made/file", "x");
  EXPECT_EQ(fsys_dir_exists(file.c_str()), 0);
  EXPECT_EQ(fsys_make_dir(file.c_str()), 0);  // a file is in the way
  EXPECT_EQ(fsys_delete_file(file.c_str()), 1);
  EXPECT_EQ(fsys_file_exists(file.c_str()), 0);
  EXPECT_EQ(fsys_delete_file(file.c_str()), 0);
  ASSERT_EQ(symlink("nowhere", path("dangling").c_str()), 0);
  EXPECT_EQ(fsys_file_exists(path("dangling").c_str()), 1);
  EXPECT_EQ(fsys_file_exists(nullptr), 0);
}

TEST_F(FsysTest, StorageAnswersOnlyForTheRoot) {
  FSysStorageInfo info;
  fsys_storage_info_init(&info);
  EXPECT_EQ(info.present, 1);
  EXPECT_EQ(fsys_storage_info(u'C', &info), 0);
  EXPECT_EQ(info.type, 0);
  ASSERT_EQ(fsys_storage_info(u'/', &info), 1);
  EXPECT_EQ(info.type, 3);
  const uint64_t free_bytes = (static_cast<uint64_t>(info.free_high) << 32) | info.free_low;
  const uint64_t total = (static_cast<uint64_t>(info.total_high) << 32) | info.total_low;
  EXPECT_GT(total, 0u);
  EXPECT_LE(free_bytes, total);
}

TEST_F(FsysTest, OpenersRefuseWhatCouldHarmAndPassTheRestAsOneArgument) {
  const FSysSpawnFn previous = fsys_set_spawn(record_spawn);
  const std::string huge = "http://" + std::string(5000, 'a');
  for (const char* refused : {"-x", "--help", "file:///etc/passwd", "javascript:alert(1)",
                              "http://", "", "http://example.org/\n--x", "www.example.org",
                              huge.c_str()}) {
    g_spawned.clear();
    EXPECT_EQ(fsys_open_web(refused), 0) << refused;
    EXPECT_TRUE(g_spawned.empty()) << refused;
  }
  EXPECT_EQ(fsys_open_web("HTTPS://example.org/?d=$(id)"), 1);
  EXPECT_EQ(g_spawned, (std::vector<std::string>{"xdg-open", "HTTPS://example.org/?d=$(id)"}));
  EXPECT_EQ(fsys_open_web("mailto:someone@example.org"), 1);

  g_spawned.clear();
  EXPECT_EQ(fsys_shell_open(path("missing.png").c_str()), 0);
  EXPECT_TRUE(g_spawned.empty());
  // A relative name that looks like an option is handed over as a path.
  char previous_dir[4096];
  ASSERT_NE(getcwd(previous_dir, sizeof previous_dir), nullptr);
  ASSERT_EQ(chdir(root_.c_str()), 0);
  write_file("-n", "x");
  EXPECT_EQ(fsys_shell_open("-n"), 1);
  ASSERT_EQ(chdir(previous_dir), 0);
  EXPECT_EQ(g_spawned[1], "./-n");
  fsys_set_spawn(previous);

  char photo[16] = "stale";
  EXPECT_EQ(fsys_camera_capture(photo, sizeof photo), 0);
  EXPECT_STREQ(photo, "");
}

TEST_F(FsysTest, TheOpenerGetsItsArgumentsWithoutAShellAndIsReaped) {
  // A stand-in opener found first on PATH records its pid and what it was given.
  ASSERT_EQ(mkdir(path("bin").c_str(), 0755), 0);
  const std::string record = path("args.tmp");
  write_file("bin/xdg-open", "#!/bin/sh\necho $$ > \"" + record + "\"\nprintf '%s|' \"$@\" >> \"" +
                                 record + "\"\nmv \"" + record + "\" \"" + path("args") + "\"\n");
  ASSERT_EQ(chmod(path("bin/xdg-open").c_str(), 0755), 0);
  setenv("PATH", (path("bin") + ":/usr/bin:/bin").c_str(), 1);
  const char* address = "https://example.org/?a=1&b=$(touch x);c d";
  ASSERT_EQ(fsys_open_web(address), 1);
  char recorded[256] = {};
  int opener = 0;
  for (int waited = 0; waited < 500 && opener == 0; ++waited) {
    usleep(10000);
    if (std::FILE* file = std::fopen(path("args").c_str(), "r")) {
      EXPECT_EQ(std::fscanf(file, "%d %255[^\n]", &opener, recorded), 2);
      std::fclose(file);
    }
  }
  EXPECT_EQ(std::string(recorded), std::string(address) + "|");
  ASSERT_GT(opener, 0);
  // A zombie still answers kill(pid, 0); only a reaped child is gone.
  bool gone = false;
  for (int waited = 0; waited < 500 && !gone; ++waited) {
    usleep(10000);
    gone = kill(opener, 0) != 0 && errno == ESRCH;
  }
  EXPECT_TRUE(gone);

  setenv("PATH", path("nothing").c_str(), 1);
  EXPECT_EQ(fsys_open_web("https://example.org/"), 0);  // no opener at all
}

TEST_F(FsysTest, TextConvertsBetweenUtf8AndUtf16) {
  char16_t wide[16];
  // Overlong, surrogate, cut and stray sequences: one replacement per bad byte.
  const char* mixed = "\xC3\xA9\xF0\x9F\x8E\xA8" "\xC0\x80|\xED\xA0\x80|\xE2\x82|\x80";
  EXPECT_EQ(fsys_utf16_from_utf8(mixed, wide, 16), 14);
  EXPECT_EQ(std::u16string(wide),
            u"\u00E9\U0001F3A8\uFFFD\uFFFD|\uFFFD\uFFFD\uFFFD|\uFFFD\uFFFD|\uFFFD");
  EXPECT_EQ(fsys_utf16_from_utf8("ab\xF0\x9F\x8E\xA8", wide, 4), -1);
  EXPECT_EQ(std::u16string(wide), u"ab");  // never half a surrogate pair
  char narrow[16];
  const char16_t lone[] = {u'x', 0xD800, u'y', 0xDC00, 0xD83C, 0xDFA8, 0};
  EXPECT_EQ(fsys_utf8_from_utf16(lone, narrow, sizeof narrow), 12);
  EXPECT_STREQ(narrow, "x\xEF\xBF\xBDy\xEF\xBF\xBD\xF0\x9F\x8E\xA8");
  EXPECT_EQ(fsys_utf8_from_utf16(u"abc\u00E9", narrow, 5), -1);
  EXPECT_STREQ(narrow, "abc");
}

TEST_F(FsysTest, PenlarkHomeHoldsEverythingTheProgramWrites) {
  setenv("PENLARK_HOME", (root_ + "/").c_str(), 1);
  fsys_reset_folders();
  EXPECT_EQ(std::string(fsys_state_dir()), root_);
  EXPECT_EQ(std::string(fsys_cache_dir()), root_ + "/cache");
  EXPECT_EQ(std::string(fsys_temp_dir()), root_ + "/temp");
  EXPECT_EQ(std::string(fsys_documents_dir()), root_ + "/Documents");
  EXPECT_EQ(std::string(fsys_pictures_dir()), root_ + "/Pictures");
  for (const char* made : {"cache", "temp", "Documents", "Pictures"}) {
    EXPECT_EQ(fsys_dir_exists(path(made).c_str()), 1) << made;
  }
  struct stat info;
  ASSERT_EQ(stat(path("cache").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  EXPECT_EQ(fsys_dir_exists(path("home").c_str()), 0);  // HOME untouched

  // Resolved once: a changed environment counts only after a reset.
  setenv("PENLARK_HOME", path("other").c_str(), 1);
  EXPECT_EQ(std::string(fsys_cache_dir()), root_ + "/cache");
  fsys_reset_folders();
  EXPECT_EQ(std::string(fsys_cache_dir()), root_ + "/other/cache");

  // Without resources beside this test, its own folder or an installed share/penlark
  // serves them.
  const std::string program = fsys_program_dir();
  EXPECT_EQ(fsys_file_exists((program + "/fsys_test").c_str()), 1);
  const std::string resources = fsys_resource_dir();
  EXPECT_TRUE(resources == program || resources.ends_with("/share/penlark")) << resources;
}

TEST_F(FsysTest, WithoutPenlarkHomeTheXdgFoldersServe) {
  unsetenv("PENLARK_HOME");
  const std::string home = path("home");
  ASSERT_EQ(mkdir(home.c_str(), 0755), 0);
  ASSERT_EQ(mkdir(path("config").c_str(), 0755), 0);
  setenv("XDG_STATE_HOME", path("state").c_str(), 1);
  setenv("XDG_CACHE_HOME", path("cache").c_str(), 1);
  setenv("XDG_CONFIG_HOME", path("config").c_str(), 1);
  write_file("config/user-dirs.dirs", "# written by xdg-user-dirs-update\n"
                                      "XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
                                      "XDG_DOCUMENTS_DIR=\"$HOME/My \\\"Docs\\\"\"\n"
                                      "XDG_PICTURES_DIR=\"" + root_ + "/pics/\"\n");
  fsys_reset_folders();
  EXPECT_EQ(std::string(fsys_state_dir()), root_ + "/state/penlark");
  EXPECT_EQ(std::string(fsys_cache_dir()), root_ + "/cache/penlark");
  EXPECT_EQ(std::string(fsys_temp_dir()), root_ + "/cache/penlark/temp");
  EXPECT_EQ(std::string(fsys_documents_dir()), home + "/My \"Docs\"");
  EXPECT_EQ(std::string(fsys_pictures_dir()), root_ + "/pics");
  EXPECT_EQ(fsys_dir_exists(fsys_temp_dir()) + fsys_dir_exists(fsys_documents_dir()), 2);
  struct stat info;
  ASSERT_EQ(stat(fsys_state_dir(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);

  setenv("XDG_DOCUMENTS_DIR", path("env-docs").c_str(), 1);  // wins over the file
  fsys_reset_folders();
  EXPECT_EQ(std::string(fsys_documents_dir()), root_ + "/env-docs");

  // Relative XDG values are ignored; the home's standard places serve instead.
  setenv("XDG_STATE_HOME", "relative/state", 1);
  for (const char* name : {"XDG_CACHE_HOME", "XDG_CONFIG_HOME", "XDG_DOCUMENTS_DIR"}) {
    unsetenv(name);
  }
  fsys_reset_folders();
  EXPECT_EQ(std::string(fsys_state_dir()), home + "/.local/state/penlark");
  EXPECT_EQ(std::string(fsys_cache_dir()), home + "/.cache/penlark");
  EXPECT_EQ(std::string(fsys_documents_dir()), home + "/Documents");
  EXPECT_EQ(std::string(fsys_pictures_dir()), home + "/Pictures");
}
