// Fuzzes the native document: the input is a ".plk" file opened into a fresh paint context
// and history that hold all 26 tools, as the program holds them, with no screen (the
// repaints go nowhere) and the checkpoints in the process's own folder. Whatever opens,
// wholly or as far as its step list was sound, is then replayed at zoom 1 and at zoom 0.5,
// so every step the file holds reaches its tool's loader and painter, the text step and
// the crop included, with the geometry scaled both ways. A document of more than 25 steps
// then has one step undone, which starts from the newest checkpoint the replay wrote (and
// replays the crops before it). The thumbnail reader gets the same file.
//
//   paint_file_open -> paint_context_set_zoom(1) -> paint_history_rebuild
//                   -> paint_context_set_zoom(0.5) -> paint_history_rebuild
//                   -> paint_history_undo (more than 25 steps)
//   paint_file_read_thumbnail
#include <cstddef>
#include <cstdint>
#include <string>

#include "fbitmap.h"
#include "fuzz_common.h"
#include "paint_context.h"
#include "paint_file.h"
#include "paint_history.h"
#include "paint_tools.h"

namespace {

// A high-resolution portrait screen, the size the program meets most.
constexpr int32_t kScreenWidth = 480;
constexpr int32_t kScreenHeight = 640;

void open_and_replay(const char* path) {
  PaintContext* pc =
      paint_context_create(nullptr, 16, 16, fcolor_make(0, 0, 0, 255),
                           fcolor_make(255, 255, 255, 255), fcolor_make(255, 255, 255, 255), 3,
                           0, 0, 0);
  if (!pc) return;
  paint_context_set_screen_size(pc, kScreenWidth, kScreenHeight);
  const std::string cache = fuzz_dir() + "/checkpoints";
  PaintHistory* history = paint_history_create(pc, cache.c_str());
  Shape* tools[PAINT_TOOL_COUNT] = {};
  PaintFile* file = nullptr;
  if (history && paint_tools_create(pc, history, nullptr, tools) &&
      (file = paint_file_create(pc, history, nullptr)) != nullptr) {
    const int opened = paint_file_open(file, path);
    if (opened == PAINT_FILE_DONE || opened == PAINT_FILE_PARTIAL) {
      for (double zoom : {1.0, 0.5}) {
        paint_context_set_zoom(pc, zoom);
        paint_history_rebuild(history);
      }
      if (paint_history_get_count(history) > PAINT_HISTORY_CHECKPOINT_STEPS) {
        paint_history_undo(history);
      }
    }
  }
  if (file) paint_file_destroy(file);
  paint_tools_destroy(tools);
  if (history) paint_history_destroy(history);
  paint_context_destroy(pc);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  fuzz_setup("plk", *argc, *argv);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* path = fuzz_write_input(data, size);
  open_and_replay(path);
  if (FBitmap* thumbnail = paint_file_read_thumbnail(path)) {
    fuzz_use_bitmap(thumbnail);
    fbitmap_destroy(thumbnail);
  }
  return 0;
}
