// The timer table on a clock the tests move by hand: the limit of eight, kills from outside
// and from inside callbacks, deadlines, the loop's wait time and the single fire after a stall.

#include "wins_timer.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

uint64_t g_now;
using Fires = std::vector<std::pair<uint32_t, void*>>;
Fires g_fired;
void record(uint32_t id, void* user) { g_fired.emplace_back(id, user); }

struct TimerTest : testing::Test {
  void SetUp() override { g_now = 1000, wins_timer_set_clock([] { return g_now; }); }
  void TearDown() override { wins_timer_kill_all(), wins_timer_set_clock(nullptr), g_fired.clear(); }
};

}  // namespace

TEST_F(TimerTest, EightLiveTimersThenRefusedAndKillingOneKeepsTheOthersData) {
  EXPECT_EQ(ftimer_create(10, nullptr, nullptr), 0u);  // nothing to call
  int user[FTIMER_MAX];
  Fires expected;
  for (int& u : user) expected.emplace_back(ftimer_create(10, record, &u), &u);
  EXPECT_EQ(ftimer_create(10, record, nullptr), 0u);
  EXPECT_EQ(ftimer_kill(expected[3].first), 1);
  EXPECT_EQ(ftimer_kill(expected[3].first), 0);  // unknown now: the table is left alone
  expected.erase(expected.begin() + 3);
  expected.emplace_back(ftimer_create(10, record, nullptr), nullptr);  // at the table's end
  wins_timer_run_due(1010);
  EXPECT_EQ(g_fired, expected);
}

TEST_F(TimerTest, CallbackMayKillItselfAndOthersAndCreateTimers) {
  static uint32_t ids[4];
  // The first kills itself and the third, and replaces the third with a new timer.
  ids[0] = ftimer_create(10, [](uint32_t id, void* user) {
    record(id, user);
    ftimer_kill(id);
    ftimer_kill(ids[2]);
    ids[2] = ftimer_create(5, record, nullptr);
  }, nullptr);
  for (int i = 1; i < 4; ++i) ids[i] = ftimer_create(10, record, &ids[i]);
  g_now = 1010;
  wins_timer_run_due(1010);
  // The killed third does not fire; the one created during the walk waits for its deadline.
  EXPECT_EQ(g_fired, (Fires{{ids[0], nullptr}, {ids[1], &ids[1]}, {ids[3], &ids[3]}}));
  EXPECT_EQ(wins_timer_wait_ms(1010), 5);
  g_fired.clear();
  wins_timer_run_due(1020);
  EXPECT_EQ(g_fired, (Fires{{ids[1], &ids[1]}, {ids[3], &ids[3]}, {ids[2], nullptr}}));
}

TEST_F(TimerTest, DeadlinesWaitTimeAndNoBurstAfterAStall) {
  EXPECT_EQ(wins_timer_wait_ms(1000), -1);
  ftimer_create(100, record, nullptr);
  g_now = 1030;
  ftimer_create(40, record, nullptr);  // due at 1070, before the first
  EXPECT_EQ(wins_timer_wait_ms(1030), 40);
  EXPECT_EQ(wins_timer_wait_ms(5000), 0);
  wins_timer_run_due(1069);
  EXPECT_TRUE(g_fired.empty());
  wins_timer_run_due(1070);
  EXPECT_EQ(g_fired.size(), 1u);
  EXPECT_EQ(wins_timer_wait_ms(1070), 30);  // the first at 1100; the second now at 1110
  wins_timer_run_due(9000);                 // both missed many intervals: one fire each
  EXPECT_EQ(g_fired.size(), 3u);
  EXPECT_EQ(wins_timer_wait_ms(9000), 40);
  ftimer_create(0, record, nullptr);  // a zero interval still waits a millisecond
  EXPECT_EQ(wins_timer_wait_ms(g_now), 1);
}

TEST(TimerDeathTest, KillingIdZeroIsFatal) {
  EXPECT_EXIT(ftimer_kill(0), testing::ExitedWithCode(255), "wins_timer.*h!=null");
}
