// The canvas's rasterisers: a fixed-point ellipse walker, a y-monotone polygon scan
// converter and the span walker behind the tolerance flood fill. They produce geometry
// only (spans, and which pixels of a row belong to an area); fcanvas.cpp owns colour,
// brushes and the clip, so each rasteriser can be tested on its own reports.
//
// fcanvas_ellipse -> fraster_ellipse -> span callback (row map, interior, outline pixels)
// fcanvas_fill_polygon -> fraster_polygon -> span callback (brush span)
// fcanvas_flood_fill -> fraster_flood -> row callback (similarity bits) / span callback
//                                       (graded paint, after the walk)

#include "fcanvas_raster.h"

#include <algorithm>
#include <bit>
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
//
// The table of recorded runs is the walker's memory of what it filled: one entry per row of
// the bounds, further runs of a row appended and chained from it, each entry flagged with
// the neighbour rows still to scan. Sweeps over the table in index order follow those flags
// until a sweep finds nothing more to try. The area itself comes a row at a time as bits,
// so that following a run of pixels is a search for the next bit of the other kind. Three
// indexes make the questions a scan asks cheap without changing any answer:
//   - per row, beside the row's area bits, a bit per column set inside the recorded runs
//     (the marks), so that "which run holds x, and where does it end" is a bit test and a
//     search for the next clear bit instead of a walk along the row's chain (a maze row
//     can hold hundreds of runs);
//   - per row, the chain's last entry, so that a new run is linked without a walk;
//   - a bit per entry set while it carries a scan flag, so that a sweep steps from one
//     flagged entry to the next instead of visiting every entry (a maze fill takes about a
//     hundred sweeps over half a million entries, few of them flagged at a time).
// The number of entries that still carry a scan flag ends the sweeps as soon as it reaches
// zero: a sweep over a table without flags could try nothing.
//
//   fraster_flood -> seed run -> sweeps: flagged entry -> scan row below / above
//     -> row's area bits (row callback, once per row) -> marks -> new runs (table, marks)
//   -> report: marks row by row -> span callback

namespace {

bool g_refuse_indexes = false;  // test hook, see fraster_flood_refuse_indexes

enum : int32_t {
  kSpanUsed = 1,
  kScanAbove = 2,  // the row above still has to be scanned over this span
  kScanBelow = 4,  // the row below still has to be scanned over this span
};

// One recorded run. The first (bounds height) entries belong to the rows in order; further
// runs of a row are appended and chained from the row's entry. 32-bit fields keep the
// table correct for bitmaps of any size, and 32-bit links let a row chain more than the
// 32767 runs that a 16-bit link could reach (a 2048 x 2048 maze holds half a million).
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
  int64_t pending;   // entries with kScanAbove or kScanBelow set
  uint64_t* flagged;  // owned, may be null: a bit per table entry (words for `capacity`
                      // entries), set while the entry carries a scan flag
  int32_t* tails;    // owned, may be null: per row, the last entry of its chain
  uint64_t* rows_bits;  // owned, may be null: per row 2 x `words` words side by side (a
                        // scan needs both): the area's bits as the callback made them, then
                        // the marks, a bit per column set inside recorded runs
  uint8_t* ready;    // owned with rows_bits: per row, 1 once its area bits are made
  uint64_t* scratch;  // owned, only without rows_bits: the one row of the area at hand
  int32_t scratch_y;  // the row `scratch` holds, or an out-of-bounds value
  int64_t words;     // per row, for the area's bits and the marks
  FRect bounds;      // right and bottom exclusive
  FRasterRowFn row;
  void* context;
  bool failed;  // the table could not grow
};

// ---- Runs of bits (bit i stands for x = bounds.left + i) ----

// The last bit of the run of bits equal to `want` that starts at p and goes right, not
// past `last`; p - 1 when bit p differs.
int64_t bits_run_right(const uint64_t* bits, int64_t p, int64_t last, bool want) {
  const uint64_t flip = want ? ~uint64_t{0} : 0;
  int64_t w = p >> 6;
  uint64_t other = (bits[w] ^ flip) & (~uint64_t{0} << (p & 63));
  while (other == 0) {
    if (++w * 64 > last) return last;
    other = bits[w] ^ flip;
  }
  return std::min<int64_t>(w * 64 + std::countr_zero(other) - 1, last);
}

// The first bit of the run of bits equal to `want` that ends at p going left, not before
// `first`; p + 1 when bit p differs.
int64_t bits_run_left(const uint64_t* bits, int64_t p, int64_t first, bool want) {
  const uint64_t flip = want ? ~uint64_t{0} : 0;
  int64_t w = p >> 6;
  uint64_t other = (bits[w] ^ flip) & (~uint64_t{0} >> (63 - (p & 63)));
  while (other == 0) {
    if (w == 0 || --w * 64 + 63 < first) return first;
    other = bits[w] ^ flip;
  }
  return std::max<int64_t>(w * 64 + 63 - std::countl_zero(other) + 1, first);
}

int32_t flood_flag_count(int32_t flags) {
  return ((flags & kScanAbove) ? 1 : 0) + ((flags & kScanBelow) ? 1 : 0);
}

// Clears `flag` on entry e, keeping the pending count. True when it was set.
bool flood_take_flag(FloodWalk* walk, int64_t e, int32_t flag) {
  FloodSpan& s = walk->table[e];
  if ((s.flags & flag) == 0) return false;
  s.flags &= ~flag;
  if ((s.flags & (kScanAbove | kScanBelow)) == 0) {
    --walk->pending;
    if (walk->flagged) walk->flagged[e >> 6] &= ~(uint64_t{1} << (e & 63));
  }
  return true;
}

// The first entry from e on that carries a scan flag (entries without one do nothing in a
// sweep), or the entry count when there is none. Without the bit index, e itself.
int64_t flood_next_flagged(const FloodWalk* walk, int64_t e) {
  if (!walk->flagged || e >= walk->count) return e;
  int64_t w = e >> 6;
  uint64_t bits = walk->flagged[w] & (~uint64_t{0} << (e & 63));
  const int64_t words = (walk->count + 63) >> 6;
  while (bits == 0) {
    if (++w >= words) return walk->count;
    bits = walk->flagged[w];
  }
  return std::min(w * 64 + std::countr_zero(bits), walk->count);
}

uint64_t* flood_mark_row(const FloodWalk* walk, int32_t y) {
  return walk->rows_bits + (static_cast<int64_t>(y) - walk->bounds.top) * 2 * walk->words +
         walk->words;
}

void flood_mark(FloodWalk* walk, int32_t low, int32_t high, int32_t y) {
  if (!walk->rows_bits) return;
  uint64_t* row = flood_mark_row(walk, y);
  const int64_t a = static_cast<int64_t>(low) - walk->bounds.left;
  const int64_t b = static_cast<int64_t>(high) - walk->bounds.left;
  const int64_t wa = a >> 6, wb = b >> 6;
  const uint64_t from = ~uint64_t{0} << (a & 63);
  const uint64_t to = ~uint64_t{0} >> (63 - (b & 63));
  if (wa == wb) {
    row[wa] |= from & to;
    return;
  }
  row[wa] |= from;
  for (int64_t w = wa + 1; w < wb; ++w) row[w] = ~uint64_t{0};
  row[wb] |= to;
}

// The right end of the recorded run of row y that holds x, or false when none does.
bool flood_find(const FloodWalk* walk, int64_t x, int32_t y, int64_t* high) {
  if (walk->rows_bits) {
    const uint64_t* row = flood_mark_row(walk, y);
    const int64_t p = x - walk->bounds.left;
    if (((row[p >> 6] >> (p & 63)) & 1) == 0) return false;
    const int64_t last = static_cast<int64_t>(walk->bounds.right) - 1 - walk->bounds.left;
    *high = walk->bounds.left + bits_run_right(row, p, last, true);
    return true;
  }
  int64_t e = static_cast<int64_t>(y) - walk->bounds.top;
  if ((walk->table[e].flags & kSpanUsed) == 0) return false;
  for (;;) {
    const FloodSpan& s = walk->table[e];
    if (x >= s.low && x <= s.high) {
      *high = s.high;
      return true;
    }
    if (s.next == 0) return false;
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
    if (walk->flagged) {
      const int64_t old_words = (walk->capacity + 63) >> 6, new_words = (capacity + 63) >> 6;
      void* bits = std::realloc(walk->flagged, static_cast<size_t>(new_words) * sizeof(uint64_t));
      if (bits) {
        walk->flagged = static_cast<uint64_t*>(bits);
        std::fill(walk->flagged + old_words, walk->flagged + new_words, uint64_t{0});
      } else {
        std::free(walk->flagged);  // the sweeps visit every entry from now on
        walk->flagged = nullptr;
      }
    }
    walk->capacity = capacity;
  }
  const int64_t added = walk->count++;
  walk->table[added] = FloodSpan{0, 0, 0, y, 0};
  int64_t last = row_entry;
  if (walk->tails) {
    last = walk->tails[row_entry];
    walk->tails[row_entry] = static_cast<int32_t>(added);
  } else {
    while (walk->table[last].next != 0) last = walk->table[last].next;
  }
  walk->table[last].next = static_cast<int32_t>(added);
  return added;
}

// Tries to grow a run from (x, y), `area` being row y's bits. Returns where scanning of
// the row goes on: past the pixel when it does not match, else past the run and the
// non-matching pixel after it.
int64_t flood_fill_span(FloodWalk* walk, int32_t x, int32_t y, const uint64_t* area) {
  const int64_t left_edge = walk->bounds.left;
  const int64_t p = x - left_edge;
  const int64_t b = bits_run_right(area, p, walk->bounds.right - 1 - left_edge, true);
  if (b < p) return static_cast<int64_t>(x) + 1;
  const int64_t a = p > 0 ? bits_run_left(area, p - 1, 0, true) : p;
  const int32_t left = static_cast<int32_t>(left_edge + a);
  const int32_t right = static_cast<int32_t>(left_edge + b);

  const int64_t e = flood_new_entry(walk, y);
  if (e < 0) {
    walk->failed = true;
    return static_cast<int64_t>(right) + 2;
  }
  flood_mark(walk, left, right, y);
  FloodSpan& s = walk->table[e];
  s.flags = kSpanUsed;
  if (y > walk->bounds.top) s.flags |= kScanAbove;
  if (static_cast<int64_t>(y) + 1 < walk->bounds.bottom) s.flags |= kScanBelow;
  if (flood_flag_count(s.flags) > 0) {
    ++walk->pending;
    if (walk->flagged) walk->flagged[e >> 6] |= uint64_t{1} << (e & 63);
  }
  s.low = left;
  s.high = right;
  s.y = y;
  return static_cast<int64_t>(right) + 2;
}

// Row y of the area, made by the callback on its first use. A pixel's answer cannot change
// while the walk runs (nothing is painted before the walk is over), so each row is asked
// for once; without room for all rows, a single row is remade whenever another is needed.
const uint64_t* flood_area_row(FloodWalk* walk, int32_t y) {
  if (!walk->rows_bits) {
    if (walk->scratch_y != y) walk->row(walk->context, y, walk->scratch);
    walk->scratch_y = y;
    return walk->scratch;
  }
  const int64_t r = static_cast<int64_t>(y) - walk->bounds.top;
  uint64_t* bits = walk->rows_bits + r * 2 * walk->words;
  if (!walk->ready[r]) {
    walk->row(walk->context, y, bits);
    walk->ready[r] = 1;
  }
  return bits;
}

// Scans row y over x0..x1, skipping runs already recorded. Returns whether any pixel was
// tried.
bool flood_scan_row(FloodWalk* walk, int32_t y, int32_t x0, int32_t x1) {
  // Half of all scans meet a run recorded from the other side that covers the whole range
  // (runs never touch, so one run covers it or none does): nothing to try.
  if (walk->rows_bits) {
    const uint64_t* marks = flood_mark_row(walk, y);
    const int64_t p0 = static_cast<int64_t>(x0) - walk->bounds.left;
    const int64_t p1 = static_cast<int64_t>(x1) - walk->bounds.left;
    if (bits_run_right(marks, p0, p1, true) == p1) return false;
  }
  const uint64_t* area = flood_area_row(walk, y);
  bool tried = false;
  int64_t x = x0;
  while (x <= x1 && !walk->failed) {
    int64_t high = 0;
    if (flood_find(walk, x, y, &high)) {
      x = high + 2;
      continue;
    }
    tried = true;
    // Pixels that do not match would each be tried and passed by one; they are passed
    // together, up to the end of the scan.
    const int64_t p = x - walk->bounds.left;
    const int64_t other = bits_run_right(area, p, x1 - walk->bounds.left, false);
    if (other >= p) {
      x = walk->bounds.left + other + 1;
      continue;
    }
    x = flood_fill_span(walk, static_cast<int32_t>(x), y, area);
  }
  return tried;
}

// Reports the recorded runs row by row from the top, left to right. The painting of a run
// never changes what the walk sees (the area's bits were taken before anything was
// painted, and only pixels outside recorded runs are asked about), so the runs are
// painted when the walk is over, in the order of memory instead of scattered over the
// whole bitmap. A row's runs are the runs of set bits in its marks (recorded runs never
// touch: a pixel that did not match lies between any two); without the marks, each row's
// chain is walked.
void flood_report(const FloodWalk* walk, FRasterSpanFn span, void* context) {
  const int64_t last = static_cast<int64_t>(walk->bounds.right) - 1 - walk->bounds.left;
  for (int64_t row = 0; row < walk->rows; ++row) {
    if ((walk->table[row].flags & kSpanUsed) == 0) continue;
    const int32_t y = static_cast<int32_t>(walk->bounds.top + row);
    if (!walk->rows_bits) {
      for (int64_t e = row;; e = walk->table[e].next) {
        const FloodSpan& s = walk->table[e];
        span(context, s.low, s.high, s.y);
        if (s.next == 0) break;
      }
      continue;
    }
    const uint64_t* bits = flood_mark_row(walk, y);
    int64_t p = 0;
    while (p <= last) {
      const int64_t gap = bits_run_right(bits, p, last, false);  // clear bits from p
      if (gap >= last) break;
      const int64_t low = gap + 1;
      const int64_t high = bits_run_right(bits, low, last, true);
      span(context, static_cast<int32_t>(walk->bounds.left + low),
           static_cast<int32_t>(walk->bounds.left + high), y);
      p = high + 1;
    }
  }
}

}  // namespace

int fraster_flood(int32_t seed_x, int32_t seed_y, FRect bounds, FRasterRowFn row,
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
  // The indexes are a convenience: without memory for them the walk asks the chains.
  walk.words = fraster_flood_row_words(bounds);
  if (!g_refuse_indexes) {
    walk.rows_bits = static_cast<uint64_t*>(std::calloc(
        static_cast<size_t>(walk.rows), 2 * static_cast<size_t>(walk.words) * sizeof(uint64_t)));
    walk.ready = static_cast<uint8_t*>(std::calloc(static_cast<size_t>(walk.rows), 1));
    if (!walk.rows_bits || !walk.ready) {
      std::free(walk.rows_bits);
      std::free(walk.ready);
      walk.rows_bits = nullptr;
      walk.ready = nullptr;
    }
    walk.tails =
        static_cast<int32_t*>(std::malloc(static_cast<size_t>(walk.rows) * sizeof(int32_t)));
    walk.flagged = static_cast<uint64_t*>(
        std::calloc(static_cast<size_t>((walk.capacity + 63) >> 6), sizeof(uint64_t)));
  }
  if (walk.tails) {
    for (int64_t e = 0; e < walk.rows; ++e) walk.tails[e] = static_cast<int32_t>(e);
  }
  walk.bounds = bounds;
  walk.row = row;
  walk.context = context;
  walk.scratch_y = bounds.top - 1;
  if (!walk.rows_bits) {
    walk.scratch = static_cast<uint64_t*>(
        std::malloc(static_cast<size_t>(walk.words) * sizeof(uint64_t)));
    if (!walk.scratch) {
      std::free(walk.table);
      std::free(walk.tails);
      std::free(walk.flagged);
      return 0;
    }
  }

  flood_fill_span(&walk, seed_x, seed_y, flood_area_row(&walk, seed_y));
  while (walk.pending > 0 && !walk.failed) {
    for (int64_t e = flood_next_flagged(&walk, 0); e < walk.count && walk.pending > 0 && !walk.failed;
         e = flood_next_flagged(&walk, e + 1)) {
      if (flood_take_flag(&walk, e, kScanBelow)) {
        const FloodSpan s = walk.table[e];
        flood_scan_row(&walk, s.y + 1, s.low, s.high);
      }
      if (flood_take_flag(&walk, e, kScanAbove)) {
        const FloodSpan s = walk.table[e];
        // Going back to the row above at once lets a fill that climbs upward finish in
        // one sweep instead of one sweep per row.
        if (flood_scan_row(&walk, s.y - 1, s.low, s.high) && e < walk.rows) {
          e = std::max<int64_t>(e - 2, -1);
        }
      }
    }
  }
  flood_report(&walk, span, context);
  const bool failed = walk.failed;
  std::free(walk.table);
  std::free(walk.tails);
  std::free(walk.flagged);
  std::free(walk.rows_bits);
  std::free(walk.ready);
  std::free(walk.scratch);
  return failed ? 0 : 1;
}

int64_t fraster_flood_row_words(FRect bounds) {
  const int64_t width = static_cast<int64_t>(bounds.right) - bounds.left;
  return width > 0 ? (width + 63) / 64 : 0;
}

void fraster_flood_refuse_indexes(int refuse) { g_refuse_indexes = refuse != 0; }

int fraster_flood_indexes_refused() { return g_refuse_indexes ? 1 : 0; }
