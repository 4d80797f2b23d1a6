// The timer unit: up to eight repeating callbacks, kept packed in creation order. The
// desktop has no per-thread timer messages, so each entry carries its own deadline on a
// monotonic millisecond clock; the window unit's loops ask for the time to the earliest
// deadline, sleep at most that long waiting for events, and then fire whatever is due.
//
//   loop: wait (wins_timer_wait_ms) -> events -> wins_timer_run_due -> callback (may create
//         or kill timers, including itself)

#include "wins_timer.h"

#include <chrono>

#include "fplatform.h"

namespace {

struct TimerEntry {
  uint32_t id;         // non-zero, unique among the living timers
  FTimerFn callback;   // not null
  void* user;          // the creator's data, not owned
  uint32_t interval_ms;
  uint64_t due_ms;     // next deadline on the timer clock
};

TimerEntry g_timers[FTIMER_MAX];
int g_timer_count = 0;
uint32_t g_last_id = 0;  // ids count upwards from here and skip 0 and living ids on wrap
WinsTimerClockFn g_clock = nullptr;

int timer_find(uint32_t id) {
  for (int i = 0; i < g_timer_count; ++i)
    if (g_timers[i].id == id) return i;
  return -1;
}

uint32_t timer_next_id() {
  // At most eight ids are alive, so this settles within nine steps even after the counter
  // wraps.
  do {
    ++g_last_id;
  } while (g_last_id == 0 || timer_find(g_last_id) >= 0);
  return g_last_id;
}

}  // namespace

uint32_t ftimer_create(uint32_t interval_ms, FTimerFn callback, void* user) {
  // A timer without a callback could only fault when it fires; refuse it as the platform
  // would.
  if (g_timer_count == FTIMER_MAX || !callback) return 0;
  if (interval_ms == 0) interval_ms = 1;
  TimerEntry& entry = g_timers[g_timer_count];
  entry.id = timer_next_id();
  entry.callback = callback;
  entry.user = user;
  entry.interval_ms = interval_ms;
  entry.due_ms = wins_timer_now_ms() + interval_ms;
  ++g_timer_count;
  return entry.id;
}

int ftimer_kill(uint32_t id) {
  FCHECK(id != 0, "h!=null");
  int index = timer_find(id);
  if (index < 0) return 0;
  for (int i = index; i + 1 < g_timer_count; ++i) g_timers[i] = g_timers[i + 1];
  --g_timer_count;
  g_timers[g_timer_count] = TimerEntry{};
  return 1;
}

uint64_t wins_timer_now_ms() {
  if (g_clock) return g_clock();
  auto since = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
}

int64_t wins_timer_wait_ms(uint64_t now_ms) {
  if (g_timer_count == 0) return -1;
  uint64_t earliest = g_timers[0].due_ms;
  for (int i = 1; i < g_timer_count; ++i)
    if (g_timers[i].due_ms < earliest) earliest = g_timers[i].due_ms;
  return earliest <= now_ms ? 0 : static_cast<int64_t>(earliest - now_ms);
}

void wins_timer_run_due(uint64_t now_ms) {
  // Callbacks may kill or create timers, which moves entries around, so the due ones are
  // noted by id first and looked up again before each call. A timer created by a callback
  // is not among them and waits for its own deadline.
  uint32_t due_ids[FTIMER_MAX];
  int due_count = 0;
  for (int i = 0; i < g_timer_count; ++i)
    if (g_timers[i].due_ms <= now_ms) due_ids[due_count++] = g_timers[i].id;

  for (int k = 0; k < due_count; ++k) {
    int index = timer_find(due_ids[k]);
    if (index < 0) continue;  // killed by an earlier callback
    TimerEntry& entry = g_timers[index];
    // Counted from now rather than from the missed deadline: after a long stall (a modal
    // wait, a slow save) a timer fires once, not once for every interval it missed.
    entry.due_ms = now_ms + entry.interval_ms;
    FTimerFn callback = entry.callback;
    void* user = entry.user;
    callback(due_ids[k], user);
  }
}

void wins_timer_kill_all() {
  for (int i = 0; i < g_timer_count; ++i) g_timers[i] = TimerEntry{};
  g_timer_count = 0;
}

void wins_timer_set_clock(WinsTimerClockFn clock) { g_clock = clock; }
