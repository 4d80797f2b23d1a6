// Fuzzes the recently used save folders: the input is save_dirs.dat in the state folder.
// The list is read, every entry looked at, two folders added (one the seeds hold in another
// case, so both the move and the insert run), and the list written back and
// read again: what was written must read back as the same list, once trailing carriage
// returns are set aside (the reader takes one as part of a CRLF line end, so a hostile
// "x\r\r\n" gives an entry "x\r" that reads back as "x", and "\r\r\n" one that vanishes).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fsys.h"
#include "fuzz_common.h"
#include "paint_file.h"

namespace {

std::vector<std::string> read_list() {
  std::vector<std::string> list;
  for (int32_t i = 0; const char* folder = paint_file_recent_folder(i); ++i) {
    if (i >= PAINT_FILE_RECENT_FOLDERS) {
      std::fprintf(stderr, "more than %d recent folders\n", PAINT_FILE_RECENT_FOLDERS);
      std::abort();
    }
    list.emplace_back(folder);
  }
  return list;
}

std::vector<std::string> without_trailing_returns(const std::vector<std::string>& list) {
  std::vector<std::string> out;
  for (std::string entry : list) {
    while (!entry.empty() && entry.back() == '\r') entry.pop_back();
    if (!entry.empty()) out.push_back(entry);
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  fuzz_setup("save_dirs", *argc, *argv);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = std::string(fsys_state_dir()) + "/save_dirs.dat";
  fuzz_write_file(path.c_str(), data, size);
  paint_file_recent_folders_forget();

  read_list();
  // One folder the seeds hold in another case (moved to the front), one new (inserted).
  paint_file_recent_folder_add("/HOME/USER/DOCUMENTS/PENLARK");
  paint_file_recent_folder_add("/media/card/Paintings/new");
  const std::vector<std::string> written = read_list();
  if (!paint_file_recent_folders_write()) std::abort();

  paint_file_recent_folders_forget();
  if (without_trailing_returns(read_list()) != without_trailing_returns(written)) {
    std::fprintf(stderr, "the recent folders do not read back as they were written\n");
    std::abort();
  }
  paint_file_recent_folders_forget();
  return 0;
}
