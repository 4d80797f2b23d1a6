// The undo history: every step the user did to the painting, as the parameters of one
// drawing operation (tool id, geometry, colours, pen, zoom), never as pixels. Undo and
// redo rebuild the painting by filling the base and replaying steps; after every 25th step
// the painting is written into a gzip checkpoint file so a replay starts from the newest
// one. The same step list is what the native document stores.
#pragma once

#include <cstdint>
#include <string>

#include "fbitmap.h"

struct PaintContext;
struct PaintHistory;

constexpr int32_t PAINT_STEP_RECORD_SIZE = 56;  // stored size of a step record
constexpr int32_t PAINT_HISTORY_CHECKPOINT_STEPS = 25;

// Step types besides the tool ids.
constexpr int32_t PAINT_STEP_CLEAR = 1004;
constexpr int32_t PAINT_STEP_TEXT = 1007;
constexpr int32_t PAINT_STEP_PICTURE = 1009;
constexpr int32_t PAINT_STEP_CROP = 1010;
constexpr int32_t PAINT_STEP_CROP_SIZE = 32;  // new area l, t, r, b; old area 0, 0, w-1, h-1

// One step; stored as 56 bytes little-endian: view_x, view_y, fore, back, pen_size,
// pen_style, 8 reserved, zoom (double), type, data_size, data address (written 0), 4
// reserved.
struct PaintStep {
  int32_t view_x, view_y;
  FColor fore_color, back_color;
  int32_t pen_size, pen_style;
  double zoom;        // the context's zoom when recorded; data is in pixels at that zoom
  int32_t type;       // a tool id or PAINT_STEP_*
  int32_t data_size;  // bytes of data, 0 for none
  uint8_t* data;      // owned, null when data_size is 0
};

// Replays a document operation that is not a tool (text, inserted picture): the step's
// state is already restored; `scale` is the current zoom over the step's zoom.
using PaintStepReplayFn = void (*)(PaintHistory* history, const PaintStep* step, double scale);

struct PaintHistory {
  PaintStep** steps;   // owned, the steps in order; each owned
  int32_t count;
  int32_t capacity;    // 64 at creation, grown by 64
  PaintContext* context;  // not owned
  int32_t current;     // index of the last step in effect; -1: only the base
  std::string cache_dir;  // checkpoint folder (UTF-8)
  int32_t checkpoint_count;  // files 0 .. checkpoint_count - 1 are valid
  uint8_t modified;    // changed since opened or saved
  PaintStepReplayFn replay_text;     // step 1007, may be null (skipped)
  PaintStepReplayFn replay_picture;  // step 1009, may be null (skipped)
};

// ---- Step records -----------------------------------------------------------------------
void paint_step_write(const PaintStep* step, uint8_t out[PAINT_STEP_RECORD_SIZE]);
// Fills everything but data (left null); the caller reads data_size bytes after it.
void paint_step_read(PaintStep* step, const uint8_t in[PAINT_STEP_RECORD_SIZE]);
// A zeroed step with a private copy of `data`; null when memory is short. Free with
// paint_step_destroy.
PaintStep* paint_step_create(int32_t type, const uint8_t* data, int32_t data_size);
void paint_step_destroy(PaintStep* step);

// ---- The history ------------------------------------------------------------------------
// Checkpoints go to `cache_dir` (created when missing). Null when memory is short.
PaintHistory* paint_history_create(PaintContext* context, const char* cache_dir);
void paint_history_destroy(PaintHistory* history);  // deletes the checkpoint files too
void paint_history_reset(PaintHistory* history);

// Records a step the tool has already drawn: discards the redo branch and the checkpoints
// it invalidates, writes a checkpoint at every 25th step. Null when memory is short (the
// drawing stays in the painting, nothing is recorded).
PaintStep* paint_history_add(PaintHistory* history, int32_t type, const uint8_t* data,
                             int32_t data_size);
void paint_history_undo(PaintHistory* history);
void paint_history_redo(PaintHistory* history);
void paint_history_rebuild(PaintHistory* history);  // drops checkpoints, replays
void paint_history_replay(PaintHistory* history);
int paint_history_can_undo(const PaintHistory* history);
int paint_history_can_redo(const PaintHistory* history);

int32_t paint_history_get_count(const PaintHistory* history);
int32_t paint_history_get_current(const PaintHistory* history);
void paint_history_set_current(PaintHistory* history, int32_t current);
PaintStep* paint_history_get_step(const PaintHistory* history, int32_t index);
// Appends a ready step (from a document), taking ownership. 0 when memory is short (the
// step is then destroyed).
int paint_history_append(PaintHistory* history, PaintStep* step);
int paint_history_is_modified(const PaintHistory* history);
void paint_history_set_modified(PaintHistory* history, uint8_t modified);
int32_t paint_history_get_checkpoint_count(const PaintHistory* history);
// The file name of checkpoint k inside the cache folder.
std::string paint_history_checkpoint_path(const PaintHistory* history, int32_t k);
