// Timers: a callback after an interval, repeating until killed. At most eight exist at a
// time, kept packed in creation order. They run on the user-interface thread from the
// message loop, which sleeps until the next event or the earliest timer deadline.
#pragma once

#include <cstdint>

constexpr int FTIMER_MAX = 8;

using FTimerFn = void (*)(uint32_t id, void* user);

// A new timer firing every `interval_ms` (at least 1 ms), or 0 when eight already exist.
uint32_t ftimer_create(uint32_t interval_ms, FTimerFn callback, void* user);
// Non-zero when the timer existed and was killed. A zero id is a programming error.
int ftimer_kill(uint32_t id);

// ---- Loop integration (the window unit's loops call these) ------------------------------
// Milliseconds on the loop's monotonic clock.
uint64_t wins_timer_now_ms();
// Milliseconds until the earliest timer is due at `now_ms` (0 when one is due), or -1 when
// no timer exists.
int64_t wins_timer_wait_ms(uint64_t now_ms);
// Fires every timer due at `now_ms` once, in table order, and schedules its next run. The
// table is re-read after each callback, so a callback may create or kill timers.
void wins_timer_run_due(uint64_t now_ms);
// Kills every timer (shut-down, tests).
void wins_timer_kill_all();
// Replaces the clock that ftimer_create and wins_timer_now_ms read (tests drive deadlines
// with it); null restores the monotonic clock.
using WinsTimerClockFn = uint64_t (*)();
void wins_timer_set_clock(WinsTimerClockFn clock);
