// The canvas's rasterisers: a fixed-point ellipse walker, a y-monotone polygon scan
// converter and the span walker behind the tolerance flood fill. They produce geometry
// only (spans and the questions "does this pixel belong?"); fcanvas.cpp owns colour,
// brushes and the clip, so each rasteriser can be tested on its own reports.
//
// fcanvas_ellipse -> fraster_ellipse -> span callback (row map, interior, outline pixels)
// fcanvas_fill_polygon -> fraster_polygon -> span callback (brush span)
// fcanvas_flood_fill -> fraster_flood -> match callback / span callback (graded paint)

#include "fcanvas_raster.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <new>

namespace {

int32_t saturate_i32(int64_t v) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

// Reports the span centre +- half on a row, saturating coordinates that leave the 32-bit
// range so that a huge centre or radius cannot overflow.
void report_span(FRasterSpanFn span, void* context, int64_t cx, int64_t half, int64_t row) {
  span(context, saturate_i32(cx - half), saturate_i32(cx + half), saturate_i32(row));
}

// "Not seen yet" for the previous values of the walk. Any value the walk can produce on its
// first turn differs from it in at least one of the compared pairs.
constexpr int64_t kUnset = 65535;

}  // namespace

void fraster_ellipse(int32_t cx, int32_t cy, int32_t rx, int32_t ry, FRasterSpanFn span,
                     void* context) {
  // The point (a, b) turns along a circle of the larger radius in 6-bit fixed point; the
  // other axis is scaled by min / max. Rows are reported from both ends of the quarter arc
  // so the outline stays connected where the slope is steep and where it is flat.
  const int64_t x0 = cx;
  const int64_t y0 = cy;
  const int64_t radius_x = std::max<int64_t>(rx, 1);
  const int64_t radius_y = std::max<int64_t>(ry, 1);
  if (radius_x <= radius_y) {
    int64_t a = 0;
    int64_t b = radius_y * 64;
    int64_t prev_i = kUnset, prev_j = kUnset, prev_x1 = kUnset, prev_x2 = kUnset;
    int64_t i = 0, j = 0;
    do {
      i = (a + 32) >> 6;
      j = (b + 32) >> 6;
      const int64_t x1 = (i * radius_x) / radius_y;
      const int64_t x2 = (j * radius_x) / radius_y;
      if ((x1 != prev_x1 || j != prev_j) && i < j) {
        report_span(span, context, x0, x1, y0 + j);
        if (j != 0) report_span(span, context, x0, x1, y0 - j);
      }
      if ((x2 != prev_x2 || i != prev_i) && i < prev_j) {
        report_span(span, context, x0, x2, y0 + i);
        if (i != 0) report_span(span, context, x0, x2, y0 - i);
      }
      a += b / radius_y;
      b -= a / radius_y;
      prev_i = i;
      prev_j = j;
      prev_x1 = x1;
      prev_x2 = x2;
    } while (j > i);
  } else {
    int64_t a = 0;
    int64_t b = radius_x * 64;
    int64_t prev_i = kUnset, prev_j = kUnset, prev_y1 = kUnset, prev_y2 = kUnset;
    int64_t i = 0, j = 0;
    do {
      i = (a + 32) >> 6;
      j = (b + 32) >> 6;
      const int64_t y1 = (i * radius_y) / radius_x;
      const int64_t y2 = (j * radius_y) / radius_x;
      if ((i != prev_i || y2 != prev_y2) && i < prev_j) {
        report_span(span, context, x0, i, y0 + y2);
        if (y2 != 0) report_span(span, context, x0, i, y0 - y2);
      }
      if ((j != prev_j || y1 != prev_y1) && j > i) {
        report_span(span, context, x0, j, y0 + y1);
        if (y1 != 0) report_span(span, context, x0, j, y0 - y1);
      }
      a += b / radius_x;
      b -= a / radius_x;
      prev_i = i;
      prev_j = j;
      prev_y1 = y1;
      prev_y2 = y2;
    } while (j > i);
  }
}

namespace {

// Row table of the scan converter: two x values per row of the reported window.
struct PolygonRows {
  int32_t* xs;        // owned by fraster_polygon: 2 x count values
  int64_t first_row;  // row of entry 0
  int64_t last_row;
};

// Stores, for each row the edge crosses downward, the edge's x rounded up, into column
// `side` (0 = the backward chain, 1 = the forward chain). Upward and flat edges store
// nothing; the chain's downward edges cover every row between top and bottom.
void polygon_store_edge(PolygonRows* rows, FPoint from, FPoint to, int side) {
  if (to.y <= from.y) return;
  const int64_t dy = static_cast<int64_t>(to.y) - from.y;
  const int64_t dx = static_cast<int64_t>(to.x) - from.x;
  const int64_t t_first = std::max<int64_t>(0, rows->first_row - from.y);
  const int64_t t_last = std::min<int64_t>(dy - 1, rows->last_row - from.y);
  for (int64_t t = t_first; t <= t_last; ++t) {
    const double x = static_cast<double>(from.x) +
                     std::ceil(static_cast<double>(t) * static_cast<double>(dx) /
                               static_cast<double>(dy));
    const int64_t row = from.y + t;
    rows->xs[2 * (row - rows->first_row) + side] =
        saturate_i32(static_cast<int64_t>(std::clamp(x, -2147483648.0, 2147483647.0)));
  }
}

}  // namespace

int fraster_polygon(const FPoint* points, int32_t count, int32_t first_row, int32_t last_row,
                    FRasterSpanFn span, void* context) {
  if (points == nullptr || count < 3) return 1;
  int32_t top = 0;
  int32_t bottom = 0;
  for (int32_t k = 1; k < count; ++k) {
    if (points[k].y < points[top].y) top = k;
    if (points[k].y > points[bottom].y) bottom = k;
  }
  if (points[bottom].y == points[top].y) return 1;

  // The bottom vertex's row is left to the outline.
  PolygonRows rows;
  rows.first_row = std::max<int64_t>(points[top].y, first_row);
  rows.last_row = std::min<int64_t>(static_cast<int64_t>(points[bottom].y) - 1, last_row);
  if (rows.first_row > rows.last_row) return 1;
  const int64_t row_count = rows.last_row - rows.first_row + 1;
  rows.xs = new (std::nothrow) int32_t[static_cast<size_t>(row_count) * 2]();
  if (rows.xs == nullptr) return 0;

  for (int32_t k = top; k != bottom;) {
    const int32_t prev = (k == 0) ? count - 1 : k - 1;
    polygon_store_edge(&rows, points[k], points[prev], 0);
    k = prev;
  }
  for (int32_t k = top; k != bottom;) {
    const int32_t next = (k == count - 1) ? 0 : k + 1;
    polygon_store_edge(&rows, points[k], points[next], 1);
    k = next;
  }
  for (int64_t row = rows.first_row; row <= rows.last_row; ++row) {
    const int64_t e = row - rows.first_row;
    span(context, rows.xs[2 * e], rows.xs[2 * e + 1], static_cast<int32_t>(row));
  }
  delete[] rows.xs;
  return 1;
}

// ---- Flood fill span walker -----------------------------------------------------------------

namespace {

enum : int32_t {
  kSpanUsed = 1,
  kScanAbove = 2,  // the row above still has to be scanned over this span
  kScanBelow = 4,  // the row below still has to be scanned over this span
};

// One recorded run. The first (bounds height) entries belong to the rows in order; further
// runs of a row are appended and chained from the row's entry. 32-bit fields keep the
// table correct for bitmaps of any size.
struct FloodSpan {
  int32_t flags;  // kSpan* bits
  int32_t low;    // leftmost x of the run
  int32_t high;   // rightmost x of the run
  int32_t y;
  int32_t next;  // index of the row's next run, 0 = none (index 0 is never appended)
};

struct FloodWalk {
  FloodSpan* table;  // owned by fraster_flood (malloc)
  int64_t count;     // entries in use
  int64_t capacity;
  int64_t rows;      // per-row entries at the front
  FRect bounds;      // right and bottom exclusive
  FRasterMatchFn match;
  FRasterSpanFn span;
  void* context;
  bool failed;  // the table could not grow
};

// Index of the recorded run of row y that holds x, or -1.
int64_t flood_find(const FloodWalk* walk, int64_t x, int32_t y) {
  int64_t e = static_cast<int64_t>(y) - walk->bounds.top;
  if ((walk->table[e].flags & kSpanUsed) == 0) return -1;
  for (;;) {
    const FloodSpan& s = walk->table[e];
    if (x >= s.low && x <= s.high) return e;
    if (s.next == 0) return -1;
    e = s.next;
  }
}

// Returns the entry that will hold a new run of row y, or -1 when the table cannot grow.
int64_t flood_new_entry(FloodWalk* walk, int32_t y) {
  const int64_t row_entry = static_cast<int64_t>(y) - walk->bounds.top;
  if ((walk->table[row_entry].flags & kSpanUsed) == 0) return row_entry;
  if (walk->count == std::numeric_limits<int32_t>::max()) return -1;
  if (walk->count == walk->capacity) {
    const int64_t capacity =
        std::min<int64_t>(walk->capacity * 2, std::numeric_limits<int32_t>::max());
    void* grown = std::realloc(walk->table, static_cast<size_t>(capacity) * sizeof(FloodSpan));
    if (grown == nullptr) return -1;
    walk->table = static_cast<FloodSpan*>(grown);
    walk->capacity = capacity;
  }
  const int64_t added = walk->count++;
  walk->table[added] = FloodSpan{0, 0, 0, y, 0};
  int64_t last = row_entry;
  while (walk->table[last].next != 0) last = walk->table[last].next;
  walk->table[last].next = static_cast<int32_t>(added);
  return added;
}

// Tries to grow a run from (x, y). Returns where scanning of the row goes on: past the
// pixel when it does not match, else past the run and the non-matching pixel after it.
int64_t flood_fill_span(FloodWalk* walk, int32_t x, int32_t y) {
  if (!walk->match(walk->context, x, y)) return static_cast<int64_t>(x) + 1;
  int32_t left = x;
  while (left - 1 >= walk->bounds.left && walk->match(walk->context, left - 1, y)) --left;
  int32_t right = x;
  while (static_cast<int64_t>(right) + 1 < walk->bounds.right &&
         walk->match(walk->context, right + 1, y))
    ++right;
  walk->span(walk->context, left, right, y);

  const int64_t e = flood_new_entry(walk, y);
  if (e < 0) {
    walk->failed = true;
    return static_cast<int64_t>(right) + 2;
  }
  FloodSpan& s = walk->table[e];
  s.flags = kSpanUsed;
  if (y > walk->bounds.top) s.flags |= kScanAbove;
  if (static_cast<int64_t>(y) + 1 < walk->bounds.bottom) s.flags |= kScanBelow;
  s.low = left;
  s.high = right;
  s.y = y;
  return static_cast<int64_t>(right) + 2;
}

// Scans row y over x0..x1, skipping runs already recorded. Returns whether any pixel was
// tried.
bool flood_scan_row(FloodWalk* walk, int32_t y, int32_t x0, int32_t x1) {
  bool tried = false;
  int64_t x = x0;
  while (x <= x1 && !walk->failed) {
    const int64_t e = flood_find(walk, x, y);
    if (e >= 0) {
      x = static_cast<int64_t>(walk->table[e].high) + 2;
      continue;
    }
    tried = true;
    x = flood_fill_span(walk, static_cast<int32_t>(x), y);
  }
  return tried;
}

}  // namespace

int fraster_flood(int32_t seed_x, int32_t seed_y, FRect bounds, FRasterMatchFn match,
                  FRasterSpanFn span, void* context) {
  if (seed_x < bounds.left || seed_x >= bounds.right || seed_y < bounds.top ||
      seed_y >= bounds.bottom)
    return 1;
  FloodWalk walk{};
  walk.rows = static_cast<int64_t>(bounds.bottom) - bounds.top;
  // Entry indices are stored in 32 bits; a taller area could not chain its runs.
  if (walk.rows >= std::numeric_limits<int32_t>::max()) return 0;
  walk.capacity = walk.rows + 16;
  walk.table =
      static_cast<FloodSpan*>(std::malloc(static_cast<size_t>(walk.capacity) * sizeof(FloodSpan)));
  if (walk.table == nullptr) return 0;
  for (int64_t e = 0; e < walk.rows; ++e) {
    walk.table[e] = FloodSpan{0, std::numeric_limits<int32_t>::max(),
                              std::numeric_limits<int32_t>::min(),
                              static_cast<int32_t>(bounds.top + e), 0};
  }
  walk.count = walk.rows;
  walk.bounds = bounds;
  walk.match = match;
  walk.span = span;
  walk.context = context;

  flood_fill_span(&walk, seed_x, seed_y);
  bool tried_any = true;
  while (tried_any && !walk.failed) {
    tried_any = false;
    for (int64_t e = 0; e < walk.count && !walk.failed; ++e) {
      if (walk.table[e].flags & kScanBelow) {
        walk.table[e].flags &= ~kScanBelow;
        const FloodSpan s = walk.table[e];
        if (flood_scan_row(&walk, s.y + 1, s.low, s.high)) tried_any = true;
      }
      if (walk.table[e].flags & kScanAbove) {
        walk.table[e].flags &= ~kScanAbove;
        const FloodSpan s = walk.table[e];
        if (flood_scan_row(&walk, s.y - 1, s.low, s.high)) {
          tried_any = true;
          // Going back to the row above at once lets a fill that climbs upward finish in
          // one sweep instead of one sweep per row.
          if (e < walk.rows) e = std::max<int64_t>(e - 2, -1);
        }
      }
    }
  }
  const bool failed = walk.failed;
  std::free(walk.table);
  return failed ? 0 : 1;
}
