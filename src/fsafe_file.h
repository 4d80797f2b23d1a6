// Files replaced whole: every file Penlark writes (documents, exports, settings, recent
// folders, checkpoints) is written to a temporary file beside its target and renamed over
// the target only when everything was written, flushed and synced. A failure anywhere
// removes the temporary and leaves the old file untouched, so no partial file ever
// appears where a good one was.
//
//   FSafeFile out;
//   FILE* f = fsafe_file_open(&out, path);   // null: nothing was created
//   ... fwrite(f) / libpng / libjpeg / giflib on f ...
//   ok = fsafe_file_commit(&out, ok);        // renames on success, else discards
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

struct FSafeFile {
  std::string target;     // the file that is replaced
  std::string temporary;  // target + ".part"
  std::FILE* file;        // owned until commit or abort
  bool sync;              // fsync before the rename; set by open, cleared by callers whose
                          // file is a cache that is re-created when lost
};

// Creates the temporary beside `path` for binary writing. Null on failure.
std::FILE* fsafe_file_open(FSafeFile* out, const char* path);
// `ok` is the caller's verdict on its writes. Flushes, syncs and closes; when everything
// succeeded renames the temporary over the target and returns 1, otherwise removes the
// temporary and returns 0.
int fsafe_file_commit(FSafeFile* out, int ok);
// Closes and removes the temporary (an error path that has no verdict to give).
void fsafe_file_abort(FSafeFile* out);

// Test hook: every file opened by fsafe_file_open from now on fails its writes once
// `bytes` bytes were written to it (a full disk). A negative value turns it off.
void fsafe_file_fail_after(int64_t bytes);
