// The undo history keeps every step as the parameters of one drawing operation and never
// as pixels. Undo and redo move the current index and rebuild the painting: fill the base,
// then hand each step's geometry back to the tool with the step's id. After every 25th
// step the painting is written into a gzip checkpoint file, so a rebuild redraws at most
// 25 steps after the newest checkpoint (plus the crops before it, which give the painting
// the size the checkpoint was taken at).
//
//   undo / redo -> replay -> fit zoom, fill base
//                         -> [crops 0 .. 25k-1, read checkpoint k-1]
//                         -> for each step: restore state, tool load + draw / document op
//                         -> [write missing checkpoints] -> restore the user's state
//
// A checkpoint is written beside its name and renamed over it once complete, and is used
// only when it holds exactly the painting's bytes with a good gzip trailer; anything else
// sends the replay back to step 0 with the base filled again, and the replay then writes
// the checkpoints it passes afresh.

#include "paint_history.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "fbytes.h"
#include "fcanvas.h"
#include "fplatform.h"
#include "fsafe_file.h"
#include "fscreen.h"
#include "fsys.h"
#include "paint_context.h"
#include "shape.h"

namespace {

constexpr int32_t kCapacityStep = 64;
// zlib's default 8 KiB buffer turns a checkpoint read into hundreds of small reads and
// inflate calls; a larger one lets inflate run over long stretches of the file.
constexpr unsigned kGzBufferBytes = 256 * 1024;
// gzread and deflate count in unsigned int; large paintings go through in pieces.
constexpr size_t kGzChunkBytes = 16u * 1024 * 1024;

void step_state_write(const PaintStep* step, uint8_t state[PAINT_STEP_STATE_SIZE]) {
  fbytes_put_i32(state + 0, step->view_x);
  fbytes_put_i32(state + 4, step->view_y);
  fbytes_put_u32(state + 8, step->fore_color);
  fbytes_put_u32(state + 12, step->back_color);
  fbytes_put_i32(state + 16, step->pen_size);
  fbytes_put_i32(state + 20, step->pen_style);
}

void step_state_read(PaintStep* step, const uint8_t state[PAINT_STEP_STATE_SIZE]) {
  step->view_x = fbytes_get_i32(state + 0);
  step->view_y = fbytes_get_i32(state + 4);
  step->fore_color = fbytes_get_u32(state + 8);
  step->back_color = fbytes_get_u32(state + 12);
  step->pen_size = fbytes_get_i32(state + 16);
  step->pen_style = fbytes_get_i32(state + 20);
}

// Steps own their data only in the consistent form: a size of 0 has no data, and data
// that is missing counts as size 0, so a tool's load never reads through a null pointer.
void step_normalize(PaintStep* step) {
  if (step->data_size <= 0 || !step->data) {
    std::free(step->data);
    step->data = nullptr;
    step->data_size = 0;
  }
}

int grow_steps(PaintHistory* history) {
  if (history->count < history->capacity) return 1;
  int32_t capacity = history->capacity + kCapacityStep;
  void* steps = std::realloc(history->steps, sizeof(PaintStep*) * static_cast<size_t>(capacity));
  if (!steps) return 0;
  history->steps = static_cast<PaintStep**>(steps);
  history->capacity = capacity;
  return 1;
}

void free_steps(PaintHistory* history, int32_t from) {
  for (int32_t i = from; i < history->count; ++i) {
    if (history->steps[i]) paint_step_destroy(history->steps[i]);
    history->steps[i] = nullptr;
  }
  if (from < history->count) history->count = from;
}

// Deletes checkpoint files from .. checkpoint_count - 1; the ones before stay valid.
void drop_checkpoints_from(PaintHistory* history, int32_t from) {
  if (from < 0) from = 0;
  for (int32_t k = from; k < history->checkpoint_count; ++k) {
    fsys_delete_file(paint_history_checkpoint_path(history, k).c_str());
  }
  if (from < history->checkpoint_count) history->checkpoint_count = from;
}

size_t painting_bytes(const FBitmap* painting) {
  return static_cast<size_t>(fbitmap_get_stride(painting)) *
         static_cast<size_t>(fbitmap_get_height(painting));
}

// Deflates `size` bytes into a gzip stream on `file`, the same bytes zlib's gz file
// functions write at level 1 with the default strategy. False on any error.
bool write_gzip(std::FILE* file, const uint8_t* data, size_t size) {
  std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[kGzBufferBytes]);
  if (!buffer) return false;
  z_stream stream{};
  // Level 1: checkpoints are written while the user draws. 15 + 16: a gzip wrapper.
  if (deflateInit2(&stream, 1, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK) return false;
  bool ok = true;
  int status = Z_OK;
  while (ok && status != Z_STREAM_END) {
    if (stream.avail_in == 0 && size > 0) {
      // avail_in counts in unsigned int; large paintings go through in pieces.
      const size_t n = std::min(size, kGzChunkBytes);
      stream.next_in = const_cast<Bytef*>(data);
      stream.avail_in = static_cast<uInt>(n);
      data += n;
      size -= n;
    }
    stream.next_out = buffer.get();
    stream.avail_out = kGzBufferBytes;
    status = deflate(&stream, size == 0 ? Z_FINISH : Z_NO_FLUSH);
    const size_t produced = kGzBufferBytes - stream.avail_out;
    ok = (status == Z_OK || status == Z_STREAM_END || status == Z_BUF_ERROR) &&
         std::fwrite(buffer.get(), 1, produced, file) == produced;
  }
  deflateEnd(&stream);
  return ok;
}

// Writes checkpoint number checkpoint_count from the painting, beside its name first and
// renamed when complete. 1, or 0 with no file left (a full disk loses the checkpoint, never
// leaves a damaged one).
int write_checkpoint(PaintHistory* history) {
  FBitmap* painting = paint_context_get_painting(history->context);
  // Without a folder there are no checkpoints: every replay starts at step 0.
  if (!painting || !painting->pixels || history->cache_dir.empty()) return 0;
  cairo_t* renderer = paint_context_get_renderer(history->context);
  if (renderer) cairo_surface_flush(cairo_get_target(renderer));
  const std::string path = paint_history_checkpoint_path(history, history->checkpoint_count);
  FSafeFile out;
  std::FILE* file = fsafe_file_open(&out, path.c_str());
  if (!file) return 0;
  // A cache: a checkpoint lost to a crash is written again by the next replay, so the
  // stroke that triggers it does not wait for the disk.
  out.sync = false;
  const bool ok = write_gzip(file, painting->pixels, painting_bytes(painting));
  if (!fsafe_file_commit(&out, ok ? 1 : 0)) return 0;
  ++history->checkpoint_count;
  return 1;
}

// Reads checkpoint k into the painting: exactly stride x height bytes of gzip data, ended
// by a good trailer. A short, long, damaged or non-gzip file gives 0 (the painting's
// pixels are then undefined).
int read_checkpoint(PaintHistory* history, int32_t k) {
  FBitmap* painting = paint_context_get_painting(history->context);
  if (!painting || !painting->pixels) return 0;
  gzFile file = gzopen(paint_history_checkpoint_path(history, k).c_str(), "rb");
  if (!file) return 0;
  gzbuffer(file, kGzBufferBytes);
  // zlib hands out a file without a gzip header as it is; a checkpoint never is one.
  bool ok = gzdirect(file) == 0;
  uint8_t* p = painting->pixels;
  size_t left = painting_bytes(painting);
  while (ok && left > 0) {
    unsigned n = static_cast<unsigned>(std::min(left, kGzChunkBytes));
    ok = gzread(file, p, n) == static_cast<int>(n);
    p += n;
    left -= n;
  }
  // Reading past the end checks the trailer's length and CRC and proves nothing follows.
  uint8_t extra = 0;
  if (ok) ok = gzread(file, &extra, 1) == 0 && gzeof(file);
  ok = gzclose(file) == Z_OK && ok;
  cairo_t* renderer = paint_context_get_renderer(history->context);
  if (renderer) cairo_surface_mark_dirty(cairo_get_target(renderer));
  return ok ? 1 : 0;
}

// The step's coordinates are painting pixels at its own zoom; 0 for a step whose zoom is
// no usable number (a damaged document), which is then skipped.
double step_scale(double zoom, const PaintStep* step) {
  double scale = zoom / step->zoom;
  return std::isfinite(scale) && scale > 0.0 ? scale : 0.0;
}

// A stored coordinate times the scale, truncated; false when it leaves 32 bits.
bool scaled_coordinate(int32_t value, double scale, int64_t* out) {
  double v = std::trunc(value * scale);
  if (!(v >= INT32_MIN && v <= INT32_MAX)) return false;
  *out = static_cast<int64_t>(v);
  return true;
}

// Crop step: the new area in the old painting's pixels, scaled to the current zoom. Data
// that is not a crop record or an area that cannot be a painting is skipped.
void replay_crop(PaintContext* pc, const PaintStep* step, double scale) {
  if (step->data_size != PAINT_STEP_CROP_SIZE || !step->data) return;
  int64_t left, top, right, bottom;
  if (!scaled_coordinate(fbytes_get_i32(step->data + 0), scale, &left) ||
      !scaled_coordinate(fbytes_get_i32(step->data + 4), scale, &top) ||
      !scaled_coordinate(fbytes_get_i32(step->data + 8), scale, &right) ||
      !scaled_coordinate(fbytes_get_i32(step->data + 12), scale, &bottom)) {
    return;
  }
  int64_t width = right - left + 1, height = bottom - top + 1;
  if (width < 1 || height < 1 || width > PAINT_CONTEXT_MAX_SIDE || height > PAINT_CONTEXT_MAX_SIDE) {
    return;
  }
  paint_context_crop(pc, static_cast<int32_t>(left), static_cast<int32_t>(top),
                     static_cast<int32_t>(width), static_cast<int32_t>(height));
}

// ---- Progress bar -----------------------------------------------------------------------

// Drawn straight on the screen's back buffer and flushed for its own rectangle, because
// the caller keeps screen updates off while the painting is half rebuilt.
struct ProgressBar {
  FScreen* screen;  // not owned; null when no bar is shown
  FRect rect;
  int32_t threshold;  // next percentage at which the bar is drawn again
};

bool low_resolution(int32_t width, int32_t height) {
  return width == 240 || height == 240 || (width == 320 && height == 320);
}

void progress_draw(ProgressBar* bar, int32_t percent) {
  FBitmap* target = fscreen_get_bitmap(bar->screen);
  if (!target) return;
  FCanvas canvas{};
  fcanvas_attach(&canvas, target);
  const FRect& r = bar->rect;
  fcanvas_set_pen(&canvas, FPEN_SOLID, 1, fcolor_make(128, 128, 128, 255));
  fcanvas_set_brush(&canvas, FBRUSH_SOLID, fcolor_make(255, 255, 255, 255));
  fcanvas_rectangle(&canvas, r.left, r.top, r.right, r.bottom);
  int32_t inner = r.right - r.left - 1;
  int32_t filled = inner * std::clamp(percent, 0, 100) / 100;
  if (filled > 0) {
    fcanvas_set_brush(&canvas, FBRUSH_SOLID, fcolor_make(128, 128, 255, 255));
    fcanvas_fill_rect(&canvas, r.left + 1, r.top + 1, r.left + filled, r.bottom - 1);
  }
  fcanvas_release(&canvas);
  fplatform_flush(&bar->rect);
}

void progress_open(ProgressBar* bar, PaintContext* pc) {
  *bar = ProgressBar{};
  FScreen* screen = paint_context_get_owner(pc);
  if (!screen) return;
  int32_t sw = fscreen_get_width(screen), sh = fscreen_get_height(screen);
  bool low = low_resolution(sw, sh);
  int32_t w = low ? 100 : 200, h = low ? 10 : 20;
  int32_t left = (sw - w) / 2, top = (sh - h) / 2;
  bar->screen = screen;
  bar->rect = FRect{left, top, left + w - 1, top + h - 1};
  bar->threshold = PAINT_HISTORY_CHECKPOINT_STEPS;
  progress_draw(bar, 0);
}

void progress_step(ProgressBar* bar, int32_t i, int32_t current) {
  if (!bar->screen || current <= 0) return;
  int32_t percent = static_cast<int32_t>(100 * static_cast<int64_t>(i) / current);
  if (percent < bar->threshold) return;
  progress_draw(bar, percent);
  bar->threshold += 25;
}

// The bar's area is given back to whatever the screen shows there; while the caller keeps
// repaints suspended its own full repaint follows.
void progress_close(ProgressBar* bar) {
  if (bar->screen) fscreen_paint(bar->screen, &bar->rect);
  bar->screen = nullptr;
}

}  // namespace

// ---- Step records -----------------------------------------------------------------------

void paint_step_write(const PaintStep* step, uint8_t out[PAINT_STEP_RECORD_SIZE]) {
  FCHECK(step != nullptr, "item!=null");
  std::memset(out, 0, PAINT_STEP_RECORD_SIZE);
  step_state_write(step, out);
  uint64_t zoom_bits = 0;
  std::memcpy(&zoom_bits, &step->zoom, sizeof zoom_bits);
  fbytes_put_u32(out + 32, static_cast<uint32_t>(zoom_bits));
  fbytes_put_u32(out + 36, static_cast<uint32_t>(zoom_bits >> 32));
  fbytes_put_i32(out + 40, step->type);
  fbytes_put_i32(out + 44, step->data_size);
  // Bytes 48..51 held the data's address in memory; it means nothing in a file.
}

void paint_step_read(PaintStep* step, const uint8_t in[PAINT_STEP_RECORD_SIZE]) {
  FCHECK(step != nullptr, "item!=null");
  *step = PaintStep{};
  step_state_read(step, in);
  uint64_t zoom_bits = fbytes_get_u32(in + 32) | (static_cast<uint64_t>(fbytes_get_u32(in + 36)) << 32);
  std::memcpy(&step->zoom, &zoom_bits, sizeof zoom_bits);
  step->type = fbytes_get_i32(in + 40);
  step->data_size = std::max(fbytes_get_i32(in + 44), 0);
  step->data = nullptr;
}

PaintStep* paint_step_create(int32_t type, const uint8_t* data, int32_t data_size) {
  PaintStep* step = new (std::nothrow) PaintStep{};
  if (!step) return nullptr;
  step->type = type;
  if (data_size > 0 && data) {
    step->data = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(data_size)));
    if (!step->data) {
      delete step;
      return nullptr;
    }
    std::memcpy(step->data, data, static_cast<size_t>(data_size));
    step->data_size = data_size;
  }
  return step;
}

void paint_step_destroy(PaintStep* step) {
  FCHECK(step != nullptr, "item!=null");
  std::free(step->data);
  delete step;
}

// ---- The history ------------------------------------------------------------------------

PaintHistory* paint_history_create(PaintContext* context, const char* cache_dir) {
  FCHECK(context != nullptr, "pc!=null");
  PaintHistory* history = new (std::nothrow) PaintHistory{};
  if (!history) return nullptr;
  history->steps = static_cast<PaintStep**>(std::calloc(kCapacityStep, sizeof(PaintStep*)));
  if (!history->steps) {
    delete history;
    return nullptr;
  }
  history->capacity = kCapacityStep;
  history->context = context;
  history->cache_dir = cache_dir ? cache_dir : "";
  while (history->cache_dir.size() > 1 && history->cache_dir.back() == '/') {
    history->cache_dir.pop_back();
  }
  // Every missing level is made, so a fresh cache home works on the first run.
  const std::string& dir = history->cache_dir;
  for (size_t slash = dir.find('/', 1); slash != std::string::npos; slash = dir.find('/', slash + 1)) {
    fsys_make_dir(dir.substr(0, slash).c_str());
  }
  if (!dir.empty()) fsys_make_dir(dir.c_str());
  return history;
}

void paint_history_destroy(PaintHistory* history) {
  FCHECK(history != nullptr, "history!=null");
  drop_checkpoints_from(history, 0);
  free_steps(history, 0);
  std::free(history->steps);
  delete history;
}

void paint_history_reset(PaintHistory* history) {
  FCHECK(history != nullptr, "history!=null");
  free_steps(history, 0);
  // Back to the first capacity; when the smaller array cannot be had the old one serves.
  void* steps = std::realloc(history->steps, sizeof(PaintStep*) * kCapacityStep);
  if (steps) {
    history->steps = static_cast<PaintStep**>(steps);
    history->capacity = kCapacityStep;
  }
  history->count = 0;
  history->current = 0;
  drop_checkpoints_from(history, 0);
  history->modified = 0;
}

PaintStep* paint_history_add(PaintHistory* history, int32_t type, const uint8_t* data,
                             int32_t data_size) {
  FCHECK(history != nullptr, "history!=null");
  // The record is made first: when memory is short nothing of the history changes.
  PaintStep* step = paint_step_create(type, data, data_size);
  if (!step) return nullptr;
  if (history->count > 0) {
    int32_t current = std::clamp(history->current, -1, history->count - 1) + 1;
    free_steps(history, current);
    if (history->checkpoint_count > 0) {
      drop_checkpoints_from(history, current / PAINT_HISTORY_CHECKPOINT_STEPS);
    }
  }
  if (!grow_steps(history)) {
    paint_step_destroy(step);
    return nullptr;
  }
  history->steps[history->count++] = step;
  history->current = history->count - 1;
  uint8_t state[PAINT_STEP_STATE_SIZE];
  paint_context_save_state(history->context, state);
  step_state_read(step, state);
  step->zoom = paint_context_get_zoom(history->context);
  if (history->count / PAINT_HISTORY_CHECKPOINT_STEPS > history->checkpoint_count) {
    write_checkpoint(history);
  }
  history->modified = 1;
  return step;
}

void paint_history_undo(PaintHistory* history) {
  FCHECK(history != nullptr, "history!=null");
  if (!paint_history_can_undo(history)) return;
  --history->current;
  paint_history_replay(history);
  history->modified = 1;
}

void paint_history_redo(PaintHistory* history) {
  FCHECK(history != nullptr, "history!=null");
  if (!paint_history_can_redo(history)) return;
  ++history->current;
  paint_history_replay(history);
  history->modified = 1;
}

void paint_history_rebuild(PaintHistory* history) {
  FCHECK(history != nullptr, "history!=null");
  drop_checkpoints_from(history, 0);
  paint_history_replay(history);
  history->modified = 1;
}

void paint_history_replay(PaintHistory* history) {
  FCHECK(history != nullptr, "history!=null");
  PaintContext* pc = history->context;
  const double zoom = paint_context_get_zoom(pc);
  const int32_t current = history->current;
  const int32_t k = current / PAINT_HISTORY_CHECKPOINT_STEPS;
  const bool replaying = current >= 0 && current < history->count;
  // The checkpoint overwrites every pixel, so the base is filled only when none is used.
  bool try_checkpoint = replaying && k > 0 && k <= history->checkpoint_count;
  if (try_checkpoint && !fsys_file_exists(paint_history_checkpoint_path(history, k - 1).c_str())) {
    // Counted but gone: forgetting it and those after it makes the replay write them anew.
    drop_checkpoints_from(history, k - 1);
    try_checkpoint = false;
  }
  paint_context_fit_zoom(pc);
  // Without a painting (memory ran out even for the fallback) there is nothing to draw on.
  if (!paint_context_get_painting(pc)) return;
  if (!try_checkpoint) paint_context_fill_base(pc);
  if (!replaying) return;

  uint8_t saved[PAINT_STEP_STATE_SIZE];
  paint_context_save_state(pc, saved);
  ProgressBar bar{};
  if (current > PAINT_HISTORY_CHECKPOINT_STEPS && history->checkpoint_count < 1) {
    progress_open(&bar, pc);
  }

  int32_t start = 0;
  if (try_checkpoint) {
    const int32_t covered = PAINT_HISTORY_CHECKPOINT_STEPS * k;
    for (int32_t i = 0; i < covered; ++i) {
      const PaintStep* step = history->steps[i];
      if (!step) break;
      if (step->type == PAINT_STEP_CROP) replay_crop(pc, step, step_scale(zoom, step));
    }
    if (read_checkpoint(history, k - 1)) {
      start = covered;
    } else {
      // The crops already changed the painting's size and the read left its pixels
      // half written: back to the base, and the checkpoints from this one on are
      // written again as the replay passes them.
      drop_checkpoints_from(history, k - 1);
      paint_context_fit_zoom(pc);
      if (!paint_context_get_painting(pc)) {
        paint_context_restore_state(pc, saved);
        progress_close(&bar);
        return;
      }
      paint_context_fill_base(pc);
    }
  }

  for (int32_t i = start; i <= current; ++i) {
    const PaintStep* step = history->steps[i];
    if (!step) break;
    uint8_t state[PAINT_STEP_STATE_SIZE];
    step_state_write(step, state);
    paint_context_restore_state(pc, state);
    const double scale = step_scale(zoom, step);
    cairo_t* renderer = paint_context_get_renderer(pc);
    Shape* shape = step->type >= 0 ? paint_context_find_shape(pc, static_cast<uint32_t>(step->type))
                                   : nullptr;
    if (scale <= 0.0 || !renderer) {
      // A step with no usable zoom cannot be placed; it is skipped like an unknown one.
    } else if (shape) {
      shape_load(shape, step->data, step->data_size);
      shape_draw(shape, renderer, nullptr, scale);
    } else if (step->type == PAINT_STEP_CLEAR) {
      paint_context_fill_base(pc);
    } else if (step->type == PAINT_STEP_TEXT) {
      if (history->replay_text) history->replay_text(history, step, scale);
    } else if (step->type == PAINT_STEP_PICTURE) {
      if (history->replay_picture) history->replay_picture(history, step, scale);
    } else if (step->type == PAINT_STEP_CROP) {
      replay_crop(pc, step, scale);
    }
    if ((i + 1) / PAINT_HISTORY_CHECKPOINT_STEPS > history->checkpoint_count) {
      write_checkpoint(history);
    }
    progress_step(&bar, i, current);
  }

  progress_close(&bar);
  paint_context_restore_state(pc, saved);
}

int paint_history_can_undo(const PaintHistory* history) {
  FCHECK(history != nullptr, "history!=null");
  return history->count >= 1 && history->current >= 0 ? 1 : 0;
}

int paint_history_can_redo(const PaintHistory* history) {
  FCHECK(history != nullptr, "history!=null");
  return history->count >= 1 && history->current < history->count - 1 ? 1 : 0;
}

int32_t paint_history_get_count(const PaintHistory* history) {
  FCHECK(history != nullptr, "history!=null");
  return history->count;
}

int32_t paint_history_get_current(const PaintHistory* history) {
  FCHECK(history != nullptr, "history!=null");
  return history->current;
}

void paint_history_set_current(PaintHistory* history, int32_t current) {
  FCHECK(history != nullptr, "history!=null");
  // A damaged document may name any index; only -1 .. count - 1 mean something.
  history->current = std::clamp(current, -1, std::max(history->count - 1, 0));
}

PaintStep* paint_history_get_step(const PaintHistory* history, int32_t index) {
  FCHECK(history != nullptr, "history!=null");
  if (index < 0 || index >= history->count) return nullptr;
  return history->steps[index];
}

int paint_history_append(PaintHistory* history, PaintStep* step) {
  FCHECK(history != nullptr, "history!=null");
  FCHECK(step != nullptr, "item!=null");
  step_normalize(step);
  if (!grow_steps(history)) {
    paint_step_destroy(step);
    return 0;
  }
  history->steps[history->count++] = step;
  return 1;
}

int paint_history_is_modified(const PaintHistory* history) {
  FCHECK(history != nullptr, "history!=null");
  return history->modified;
}

void paint_history_set_modified(PaintHistory* history, uint8_t modified) {
  FCHECK(history != nullptr, "history!=null");
  history->modified = modified;
}

int32_t paint_history_get_checkpoint_count(const PaintHistory* history) {
  FCHECK(history != nullptr, "history!=null");
  return history->checkpoint_count;
}

std::string paint_history_checkpoint_path(const PaintHistory* history, int32_t k) {
  FCHECK(history != nullptr, "history!=null");
  return history->cache_dir + "/" + std::to_string(k) + ".cache";
}
