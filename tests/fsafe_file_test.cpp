#include "fsafe_file.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>

namespace {

std::string home_path(const char* name) { return std::string(std::getenv("PENLARK_HOME")) + "/" + name; }

std::string read_all(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

bool exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

void write_plain(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

int write_safely(const std::string& path, const std::string& text) {
  FSafeFile out;
  std::FILE* file = fsafe_file_open(&out, path.c_str());
  if (!file) return 0;
  bool ok = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  return fsafe_file_commit(&out, ok);
}

}  // namespace

TEST(FSafeFile, ReplacesTheTargetOnlyWhenEverythingWasWritten) {
  mkdir(std::getenv("PENLARK_HOME"), 0755);
  std::string path = home_path("safe.txt");
  write_plain(path, "old contents");

  EXPECT_EQ(write_safely(path, "new contents"), 1);
  EXPECT_EQ(read_all(path), "new contents");
  EXPECT_FALSE(exists(path + ".part"));

  // The caller's own verdict of failure discards the new data.
  FSafeFile out;
  std::FILE* file = fsafe_file_open(&out, path.c_str());
  ASSERT_NE(file, nullptr);
  std::fputs("half", file);
  EXPECT_EQ(fsafe_file_commit(&out, 0), 0);
  EXPECT_EQ(read_all(path), "new contents");
  EXPECT_FALSE(exists(path + ".part"));

  // Abort removes the temporary too.
  file = fsafe_file_open(&out, path.c_str());
  ASSERT_NE(file, nullptr);
  fsafe_file_abort(&out);
  EXPECT_FALSE(exists(path + ".part"));
  EXPECT_EQ(read_all(path), "new contents");
}

TEST(FSafeFile, AFullDiskMidwayKeepsTheOldFile) {
  mkdir(std::getenv("PENLARK_HOME"), 0755);
  std::string path = home_path("full.txt");
  write_plain(path, "precious");
  std::string big(100000, 'x');

  fsafe_file_fail_after(5000);
  EXPECT_EQ(write_safely(path, big), 0);
  // Within the budget the write goes through, also through the limited stream.
  EXPECT_EQ(write_safely(home_path("small.txt"), "tiny"), 1);
  fsafe_file_fail_after(-1);

  EXPECT_EQ(read_all(path), "precious");
  EXPECT_FALSE(exists(path + ".part"));
  EXPECT_EQ(read_all(home_path("small.txt")), "tiny");
}

TEST(FSafeFile, AMissingFolderCreatesNothing) {
  FSafeFile out;
  EXPECT_EQ(fsafe_file_open(&out, "/nonexistent-folder/x.bin"), nullptr);
  EXPECT_EQ(fsafe_file_open(&out, ""), nullptr);
  EXPECT_EQ(fsafe_file_commit(&out, 1), 0);
}
