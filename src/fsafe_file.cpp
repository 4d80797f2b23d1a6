// Files replaced whole. Writers hand their FILE to libraries that know nothing about
// temporaries (libpng, libjpeg, giflib), so the unit deals in plain FILE handles and keeps
// the rename and the clean-up in one place. The failure hook wraps the handle in a cookie
// stream whose writes stop at a byte budget, which is how tests simulate a full disk
// midway through any writer.
#include "fsafe_file.h"

#include "fplatform.h"

#include <cerrno>
#include <unistd.h>

namespace {

int64_t g_fail_after = -1;

struct LimitedStream {
  std::FILE* real;     // owned
  int64_t remaining;   // bytes still accepted
};

ssize_t limited_write(void* cookie, const char* data, size_t size) {
  auto* stream = static_cast<LimitedStream*>(cookie);
  if (stream->remaining <= 0) {
    errno = ENOSPC;
    return -1;
  }
  size_t take = size;
  if (static_cast<int64_t>(take) > stream->remaining) take = static_cast<size_t>(stream->remaining);
  size_t written = std::fwrite(data, 1, take, stream->real);
  stream->remaining -= static_cast<int64_t>(written);
  if (written == 0) {
    errno = ENOSPC;
    return -1;
  }
  return static_cast<ssize_t>(written);
}

int limited_close(void* cookie) {
  auto* stream = static_cast<LimitedStream*>(cookie);
  int result = std::fclose(stream->real);
  delete stream;
  return result;
}

}  // namespace

std::FILE* fsafe_file_open(FSafeFile* out, const char* path) {
  FCHECK(out != nullptr, "out!=null");
  out->file = nullptr;
  out->sync = true;
  if (!path || !*path) return nullptr;
  out->target = path;
  out->temporary = out->target + ".part";
  std::FILE* file = std::fopen(out->temporary.c_str(), "wb");
  if (!file) return nullptr;
  if (g_fail_after >= 0) {
    auto* stream = new (std::nothrow) LimitedStream{file, g_fail_after};
    cookie_io_functions_t functions{nullptr, limited_write, nullptr, limited_close};
    std::FILE* limited = stream ? fopencookie(stream, "wb", functions) : nullptr;
    if (!limited) {
      delete stream;
      std::fclose(file);
      std::remove(out->temporary.c_str());
      return nullptr;
    }
    file = limited;
  }
  out->file = file;
  return file;
}

int fsafe_file_commit(FSafeFile* out, int ok) {
  FCHECK(out != nullptr, "out!=null");
  if (!out->file) return 0;
  bool good = ok != 0;
  good = std::fflush(out->file) == 0 && good;
  // The data must be on the disk before the rename makes it the only copy.
  // (A test's limited stream has no descriptor; its real file is flushed on close.)
  int descriptor = fileno(out->file);
  good = good && (!out->sync || descriptor < 0 || fsync(descriptor) == 0);
  good = std::fclose(out->file) == 0 && good;
  out->file = nullptr;
  if (good && std::rename(out->temporary.c_str(), out->target.c_str()) == 0) return 1;
  std::remove(out->temporary.c_str());
  return 0;
}

void fsafe_file_abort(FSafeFile* out) {
  FCHECK(out != nullptr, "out!=null");
  if (!out->file) return;
  std::fclose(out->file);
  out->file = nullptr;
  std::remove(out->temporary.c_str());
}

void fsafe_file_fail_after(int64_t bytes) { g_fail_after = bytes; }
