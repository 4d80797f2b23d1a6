// fresc, the resource compiler: merges string tables and bitmap lists into one resource
// file. Run by the build for every file of the resource set; see res/README.md.
//
//   fresc --out FILE [--strings TABLE.txt]... [--bitmaps LIST]...
//
// Every fault is reported on standard error as "file:line: message"; any fault ends the
// run with status 1 and leaves no output file, so a broken table never ships a stale or
// half-made resource file.

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "fres_writer.h"

namespace {

int usage() {
  std::fputs("usage: fresc --out FILE [--strings TABLE.txt]... [--bitmaps LIST]...\n", stderr);
  return 1;
}

std::string folder_of(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

}  // namespace

int main(int argc, char** argv) {
  const char* out_path = nullptr;
  std::vector<const char*> tables, lists;
  for (int i = 1; i < argc; ++i) {
    if (i + 1 >= argc) return usage();
    if (std::strcmp(argv[i], "--out") == 0) {
      out_path = argv[++i];
    } else if (std::strcmp(argv[i], "--strings") == 0) {
      tables.push_back(argv[++i]);
    } else if (std::strcmp(argv[i], "--bitmaps") == 0) {
      lists.push_back(argv[++i]);
    } else {
      return usage();
    }
  }
  if (!out_path) return usage();

  std::string errors;
  std::vector<FresEntry> strings, bitmaps;
  for (const char* table : tables) {
    std::string text;
    if (fres_writer_read_text(table, &text, &errors)) {
      fres_writer_parse_strings(text, table, &strings, &errors);
    }
  }
  for (const char* list : lists) {
    std::string text;
    std::vector<FresBitmapItem> items;
    if (fres_writer_read_text(list, &text, &errors)) {
      fres_writer_parse_bitmap_list(text, list, folder_of(list), &items, &errors);
    }
    for (const FresBitmapItem& item : items) fres_writer_add_bitmap(item, &bitmaps, &errors);
  }
  fres_writer_sort(&strings, &errors);
  fres_writer_sort(&bitmaps, &errors);

  if (errors.empty() && !fres_writer_write_file(out_path, fres_writer_build(strings, bitmaps))) {
    errors = std::string(out_path) + ": cannot write the file\n";
  }
  if (!errors.empty()) {
    std::fputs(errors.c_str(), stderr);
    std::remove(out_path);
    return 1;
  }
  return 0;
}
