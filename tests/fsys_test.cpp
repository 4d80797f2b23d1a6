// Platform services on a private temporary folder: listing, times and calendar fields,
// files and folders, storage, the opener, text conversion, and where the program's
// folders resolve with and without PENLARK_HOME. The real home is never touched: HOME and
// PENLARK_HOME (and the XDG variables where they are read) point into the temporary
// folder, and the changes to the environment stay inside this test process.

#include "fsys.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <span>
#include <string>
#include <vector>

namespace {

// 2026-12-06 12:34:56.789 UTC, a Sunday.
constexpr uint64_t kSundayFileTime = 134410340967890000ull;
constexpr struct timespec kSundayStamps[2] = {{1796560496, 789000000}, {1796560496, 789000000}};

// "name flags size", and "sunday" for the one item stamped so.
std::set<std::string> describe(const FSysDirList& list) {
  std::set<std::string> out;
  for (const FSysDirItem& item : std::span(list.items, list.count)) {
    char name[256];
    EXPECT_GE(fsys_utf8_from_utf16(item.name, name, sizeof name), 0);
    const bool sunday = (uint64_t{item.time_high} << 32 | item.time_low) == kSundayFileTime;
    out.insert(std::string(name) + " " + std::to_string(item.flags) + " " +
               std::to_string(uint64_t{item.size_high} << 32 | item.size_low) +
               (sunday ? " sunday" : ""));
  }
  return out;
}

// Polls for up to five seconds.
bool eventually(const std::function<bool()>& done) {
  for (int waited = 0; waited < 500 && !done(); ++waited) usleep(10000);
  return done();
}

std::vector<std::string> g_spawned;  // the opener and its one argument

class FsysTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/fsys_test.XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root_ = pattern;
    setenv("PENLARK_HOME", root_.c_str(), 1);
    setenv("HOME", path("home").c_str(), 1);
    fsys_reset_folders();
  }
  void TearDown() override { std::filesystem::remove_all(root_); }
  std::string path(const std::string& name) const { return root_ + "/" + name; }
  void write_file(std::string name, std::string text) const { std::ofstream(path(name)) << text; }
  std::string root_;
};

}  // namespace

TEST_F(FsysTest, ListingSplitsFoldersFromFilesWithFlagsSizesAndTimesUpToTheCapacity) {
  for (auto dir : {"list", "list/sub", "list/.cfg", "none", "many"}) mkdir(path(dir).c_str(), 0755);
  // Bad bytes in a name: a stray one, an overlong NUL and an encoded surrogate.
  write_file("list/a.txt", "abc"), write_file("list/locked.txt", "12345");
  write_file("list/.profile", ""), write_file("list/b\xff\xE0\x80\x80\xED\xA0\x80.txt", "");
  ASSERT_EQ(chmod(path("list/locked.txt").c_str(), 0444), 0);
  ASSERT_EQ(mkfifo(path("list/pipe").c_str(), 0644), 0);
  ASSERT_EQ(symlink("sub", path("list/linked").c_str()), 0);
  ASSERT_EQ(symlink("nowhere", path("list/dangling").c_str()), 0);
  ASSERT_EQ(utimensat(AT_FDCWD, path("list/a.txt").c_str(), kSundayStamps, 0), 0);
  for (int i = 0; i < 40; ++i) write_file("many/f" + std::to_string(i), "");
  FSysDirList dirs, files, few;
  fsys_dir_list_init(&dirs, 100), fsys_dir_list_init(&files, 100), fsys_dir_list_init(&few, 3);
  auto list = [&](auto dir, auto into) { return fsys_list_dir(path(dir).c_str(), &dirs, into); };
  EXPECT_EQ(list("list", &files), 9);  // without "." and ".."
  // Flags: 1 folder, 2 hidden, 4 read-only, 8 system. A link to a folder can be entered; a
  // dangling one is a file (of its own length); each bad byte becomes one U+FFFD.
  EXPECT_EQ(describe(dirs), (std::set<std::string>{"sub 1 0", ".cfg 3 0", "linked 1 0"}));
  EXPECT_EQ(describe(files),
            (std::set<std::string>{"a.txt 0 3 sunday", ".profile 2 0", "locked.txt 4 5", "pipe 8 0",
                                   "dangling 0 7",
                                   "b\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD.txt 0 0"}));
  // Empty, missing, not a folder, and a list that is full after three.
  EXPECT_EQ((std::vector{list("none", &files), list("nowhere", &files), list("list/a.txt", &files),
                         list("many", &few)}),
            (std::vector{0, -1, -1, 3}));
  // Growing past the first allocation keeps every item; a cleared list keeps its capacity.
  fsys_dir_list_clear(&files);
  EXPECT_EQ(list("many", &files), 40);
  EXPECT_EQ(describe(files).count("f39 0 0") + describe(files).size(), 41u);
  fsys_dir_list_clear(&files);
  EXPECT_EQ(list("many", &files), 40);
  fsys_dir_list_release(&dirs), fsys_dir_list_release(&files), fsys_dir_list_release(&few);
}

TEST_F(FsysTest, FileTimesBecomeCalendarFields) {
  FSysCalendar fields{};
  const std::pair<uint64_t, FSysCalendar> instants[] = {
      {0, {1601, 1, 1, 1, 0, 0, 0, 0}},               // a Monday
      {FSYS_TIME_1970, {1970, 1, 4, 1, 0, 0, 0, 0}},  // a Thursday
      {kSundayFileTime, {2026, 12, 0, 6, 12, 34, 56, 789}},
      {133537247999990000ull, {2024, 2, 4, 29, 23, 59, 59, 999}},  // end of a leap day
      {0x7FFFFFFFFFFFFFFFull, {30828, 9, 4, 14, 2, 48, 5, 477}}};
  for (const auto& [time, expected] : instants) {
    ASSERT_EQ(fsys_time_to_calendar(time, &fields), 1) << time;
    EXPECT_EQ(std::memcmp(&fields, &expected, sizeof fields), 0) << time;
  }
  EXPECT_EQ(fsys_time_to_calendar(0x8000000000000000ull, &fields), 0);
}

TEST_F(FsysTest, FilesAndFoldersAreMadeStampedTestedAndDeletedAndTheRootHasStorage) {
  const std::string folder = path("made"), file = path("made/file");
  EXPECT_EQ(fsys_make_dir(folder.c_str()) + fsys_make_dir(folder.c_str()), 2);  // and again
  EXPECT_EQ(fsys_dir_exists(folder.c_str()) + fsys_file_exists(folder.c_str()), 2);
  EXPECT_EQ(fsys_make_dir(path("no/such/parent").c_str()), 0);  // one level only
  EXPECT_EQ(fsys_delete_file(folder.c_str()), 0);                // not for folders
  write_file("made/file", "x");
  ASSERT_EQ(utimensat(AT_FDCWD, file.c_str(), kSundayStamps, 0), 0);
  uint64_t time = 42;
  EXPECT_EQ(fsys_file_time(path("missing").c_str(), &time) + time, 42u);  // untouched
  ASSERT_EQ(fsys_file_time(file.c_str(), &time), 1);
  EXPECT_EQ(time, kSundayFileTime);
  EXPECT_EQ(fsys_dir_exists(file.c_str()), 0);
  EXPECT_EQ(fsys_make_dir(file.c_str()), 0);  // a file is in the way
  EXPECT_EQ(fsys_delete_file(file.c_str()), 1);
  EXPECT_EQ(fsys_file_exists(file.c_str()) + fsys_delete_file(file.c_str()), 0);
  ASSERT_EQ(symlink("nowhere", path("dangling").c_str()), 0);
  EXPECT_EQ(fsys_file_exists(path("dangling").c_str()), 1);  // the name is taken
  FSysStorageInfo info{};
  EXPECT_EQ(fsys_storage_info(u'C', &info) + info.type, 0);  // only the root answers
  ASSERT_EQ(fsys_storage_info(u'/', &info), 1);
  EXPECT_EQ(info.type, 3);
  const uint64_t total = uint64_t{info.total_high} << 32 | info.total_low;
  EXPECT_TRUE(total > 0 && (uint64_t{info.free_high} << 32 | info.free_low) <= total);
}

TEST_F(FsysTest, OpenersRefuseWhatCouldHarmAndPassTheRestAsOneArgumentWithoutAShell) {
  fsys_set_spawn([](const char* const* argv) {
    return g_spawned.assign(argv, argv + 2), int(argv[2] == nullptr);
  });
  const std::string huge = "http://" + std::string(5000, 'a');
  for (const char* refused : {"-x", "file:///etc/passwd", "javascript:alert(1)", "http://", "",
                              "http://example.org/\n--x", "www.example.org", huge.c_str()}) {
    EXPECT_EQ(fsys_open_web(refused), 0) << refused;
  }
  EXPECT_TRUE(g_spawned.empty());
  EXPECT_EQ(fsys_open_web("mailto:someone@example.org"), 1);
  EXPECT_EQ(fsys_open_web("HTTPS://example.org/?d=$(id)"), 1);
  EXPECT_EQ(g_spawned, (std::vector<std::string>{"xdg-open", "HTTPS://example.org/?d=$(id)"}));
  EXPECT_EQ(fsys_shell_open(path("missing.png").c_str()), 0);
  // A relative name that looks like an option is handed over as a path.
  ASSERT_EQ(chdir(root_.c_str()), 0);
  write_file("-n", "x");
  EXPECT_EQ(fsys_shell_open("-n"), 1);
  EXPECT_EQ(g_spawned[1], "./-n");
  ASSERT_EQ(chdir("/"), 0);

  // The real opener: a stand-in found first on PATH writes its pid and what it was given.
  fsys_set_spawn(nullptr);
  ASSERT_EQ(mkdir(path("bin").c_str(), 0755), 0);
  write_file("bin/xdg-open", "#!/bin/sh\nprintf '%s|' $$ \"$@\" > " + path("args.tmp") + "\nmv " +
                                 path("args.tmp") + " " + path("args") + "\n");
  ASSERT_EQ(chmod(path("bin/xdg-open").c_str(), 0755), 0);
  setenv("PATH", (path("bin") + ":/usr/bin:/bin").c_str(), 1);
  const std::string address = "https://example.org/?a=1&b=$(touch x);c d";
  ASSERT_EQ(fsys_open_web(address.c_str()), 1);
  std::string got;
  ASSERT_TRUE(eventually([&] { return !std::getline(std::ifstream(path("args")), got).fail(); }));
  EXPECT_EQ(got.substr(got.find('|') + 1), address + "|");
  // A zombie still answers kill(pid, 0); only a reaped child is gone.
  const pid_t opener = std::atoi(got.c_str());
  EXPECT_TRUE(opener > 0 && eventually([&] { return kill(opener, 0) != 0 && errno == ESRCH; }));
  setenv("PATH", path("nothing").c_str(), 1);
  EXPECT_EQ(fsys_open_web("https://example.org/"), 0);  // no opener at all
}

TEST_F(FsysTest, TextConvertsWithoutSplittingPairsOrKeepingLoneSurrogates) {
  char16_t wide[4];
  EXPECT_EQ(fsys_utf16_from_utf8("ab\xF0\x9F\x8E\xA8", wide, 4), -1);
  EXPECT_EQ(std::u16string(wide), u"ab");  // never half a surrogate pair
  char narrow[16];
  const char16_t lone[] = {u'x', 0xD800, u'y', 0xDC00, 0xD83C, 0xDFA8, 0};
  EXPECT_EQ(fsys_utf8_from_utf16(lone, narrow, sizeof narrow), 12);
  EXPECT_STREQ(narrow, "x\xEF\xBF\xBDy\xEF\xBF\xBD\xF0\x9F\x8E\xA8");
  EXPECT_EQ(fsys_utf8_from_utf16(u"abc\u00E9", narrow, 5), -1);
  EXPECT_STREQ(narrow, "abc");
}

TEST_F(FsysTest, PenlarkHomeHoldsEverythingTheProgramWritesAndTheXdgFoldersServeWithoutIt) {
  setenv("PENLARK_HOME", (root_ + "/").c_str(), 1);
  fsys_reset_folders();
  using Folder = const char* (*)();
  for (auto [folder, below] : {std::pair<Folder, const char*>{fsys_state_dir, ""},
                               {fsys_cache_dir, "/cache"}, {fsys_temp_dir, "/temp"},
                               {fsys_documents_dir, "/Documents"}, {fsys_pictures_dir, "/Pictures"}}) {
    EXPECT_EQ(folder(), root_ + below);
    EXPECT_EQ(fsys_dir_exists(folder()), 1) << below;
  }
  EXPECT_EQ(std::filesystem::status(path("cache")).permissions(), std::filesystem::perms::owner_all);
  EXPECT_EQ(fsys_dir_exists(path("home").c_str()), 0);  // HOME untouched
  // Resolved once: a changed environment counts only after a reset.
  setenv("PENLARK_HOME", path("other").c_str(), 1);
  EXPECT_EQ(fsys_cache_dir(), root_ + "/cache");
  fsys_reset_folders();
  EXPECT_EQ(fsys_cache_dir(), root_ + "/other/cache");

  // Without PENLARK_HOME the XDG folders serve.
  unsetenv("PENLARK_HOME"), unsetenv("XDG_DOCUMENTS_DIR"), unsetenv("XDG_PICTURES_DIR");
  const std::string home = path("home");
  ASSERT_EQ(mkdir(home.c_str(), 0755) + mkdir(path("config").c_str(), 0755), 0);
  for (auto [name, dir] : {std::pair{"XDG_STATE_HOME", "state"}, {"XDG_CACHE_HOME", "cache"},
                           {"XDG_CONFIG_HOME", "config"}}) setenv(name, path(dir).c_str(), 1);
  write_file("config/user-dirs.dirs", "# written by xdg-user-dirs-update\n"
                                      "XDG_DOCUMENTS_DIR=\"$HOME/My \\\"Docs\\\"\"\n"
                                      "XDG_PICTURES_DIR=\"$HOME/Old\"\n"  // the last one counts
                                      "XDG_PICTURES_DIR=\"" + root_ + "/pics/\"\n");
  fsys_reset_folders();
  EXPECT_EQ(fsys_state_dir(), root_ + "/state/penlark");
  EXPECT_EQ(fsys_cache_dir(), root_ + "/cache/penlark");
  EXPECT_EQ(fsys_temp_dir(), root_ + "/cache/penlark/temp");
  EXPECT_EQ(fsys_documents_dir(), home + "/My \"Docs\"");
  EXPECT_EQ(fsys_pictures_dir(), root_ + "/pics");
  setenv("XDG_DOCUMENTS_DIR", path("env-docs").c_str(), 1);  // wins over the file
  fsys_reset_folders();
  EXPECT_EQ(fsys_documents_dir(), root_ + "/env-docs");
  // Relative XDG values are ignored; the home's standard places serve instead.
  setenv("XDG_STATE_HOME", "relative/state", 1);
  unsetenv("XDG_CACHE_HOME"), unsetenv("XDG_CONFIG_HOME"), unsetenv("XDG_DOCUMENTS_DIR");
  fsys_reset_folders();
  EXPECT_EQ(fsys_state_dir(), home + "/.local/state/penlark");
  EXPECT_EQ(fsys_documents_dir(), home + "/Documents");
}
