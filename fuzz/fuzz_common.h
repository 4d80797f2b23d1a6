// What every fuzz harness shares: a private folder per process (PENLARK_HOME points into
// it, so the program's state, cache and temp folders are there and never in the real
// home), the one file each run's input is written to, and the routing of the framework's
// fatal errors to abort() so that libFuzzer keeps the input that caused one.
//
//   extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
//     fuzz_setup("bmp", *argc, *argv);
//     return 0;
//   }
//   extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
//     const char* path = fuzz_write_input(data, size);  // always the same file
//     ... the reader on path ...
//   }
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Makes $TMPDIR/penlark-fuzz-<name>-<pid> (removed again at a normal exit), points
// PENLARK_HOME at its "home" folder and makes the program's folders there. Call once,
// from LLVMFuzzerInitialize, with its arguments.
//
// Memory: libFuzzer's -malloc_limit_mb=N stops any single allocation above N MiB. The
// harnesses also hold everything one input makes live at once to the same N (read from
// the same flag): the heap may grow by at most N MiB from the start of a run, checked
// whenever a block of 1 MiB or more is allocated. Without the flag there is no such check.
void fuzz_setup(const char* name, int argc, char** argv);

// The process's folder (UTF-8, no trailing slash).
const std::string& fuzz_dir();

// Writes the input to fuzz_dir()/input.<name>, replacing the previous run's, and returns
// its path. Starts the run's memory account (see fuzz_setup). Aborts when the file cannot be written: a
// harness that silently tests nothing would be worse than one that stops.
const char* fuzz_write_input(const uint8_t* data, size_t size);
// Writes the input to `path` instead (readers with a fixed file name, such as config.xml),
// and starts the run's memory account too.
void fuzz_write_file(const char* path, const uint8_t* data, size_t size);

struct FBitmap;

// Reads every byte of the bitmap's information block and rows, then scales it (nearest
// neighbour, which reads pixels through the format kernels) into a small 32-bit bitmap:
// a reader that hands back a bitmap whose description and buffer disagree is caught here.
void fuzz_use_bitmap(const FBitmap* bitmap);

// Runs a reader that makes a new bitmap (GIF, JPEG) on the input: a failed read must leave
// no bitmap behind; a good one is used whole (fuzz_use_bitmap) and destroyed.
void fuzz_read_picture(int (*read)(FBitmap** out, const char* path), const uint8_t* data,
                       size_t size);

// Folds a run of bytes into a value the compiler cannot drop, so that a harness can make
// the sanitizers look at every byte a reader handed back.
void fuzz_consume(const void* bytes, size_t size);
