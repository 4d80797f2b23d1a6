// Files for the picture codec and job tests: a scratch folder (the test's PENLARK_HOME, or
// a temporary folder when the binary runs on its own) and whole-file reads and writes.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

// The tests of one binary run in parallel processes that share PENLARK_HOME, so each test
// keeps its files in a folder of its own.
inline std::string picture_test_path(const std::string& name) {
  const char* home = std::getenv("PENLARK_HOME");
  std::string folder = home ? home : testing::TempDir() + "penlark-pictures";
  mkdir(folder.c_str(), 0755);
  const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
  if (test) {
    folder += "/";
    folder += test->name();
    mkdir(folder.c_str(), 0755);
  }
  return folder + "/" + name;
}

inline void picture_write_file(const std::string& path, const Bytes& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr) << path;
  if (!bytes.empty()) {
    ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), file), bytes.size());
  }
  std::fclose(file);
}

// The whole file, or nothing when it cannot be opened.
inline Bytes picture_read_file(const std::string& path) {
  Bytes bytes;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return bytes;
  for (int c; (c = std::fgetc(file)) != EOF;) bytes.push_back(static_cast<uint8_t>(c));
  std::fclose(file);
  return bytes;
}

inline bool picture_file_exists(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0;
}
