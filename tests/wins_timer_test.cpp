// The timer table on a clock the tests move by hand: the limit of eight, kills from outside
// and from inside callbacks, deadlines, the loop's wait time and the single fire after a stall.

#include "wins_timer.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

uint64_t g_now;
uint64_t fake_clock() { return g_now; }

using Fire = std::pair<uint32_t, void*>;
std::vector<Fire> g_fired;
void record(uint32_t id, void* user) { g_fired.emplace_back(id, user); }

struct TimerTest : testing::Test {
  void SetUp() override {
    g_now = 1000;
    g_fired.clear();
    wins_timer_set_clock(fake_clock);
  }
  void TearDown() override {
    wins_timer_kill_all();
    wins_timer_set_clock(nullptr);
  }
};

uint32_t g_ids[4];
void kill_self_and_third(uint32_t id, void* user) {
  record(id, user);
  ftimer_kill(id);
  ftimer_kill(g_ids[2]);
  g_ids[2] = ftimer_create(5, record, nullptr);
}

}  // namespace

TEST_F(TimerTest, EightLiveTimersThenRefusedAndKillsKeepTheOthersData) {
  int user[FTIMER_MAX];
  uint32_t ids[FTIMER_MAX];
  for (int i = 0; i < FTIMER_MAX; ++i) ids[i] = ftimer_create(10, record, &user[i]);
  EXPECT_EQ(ftimer_create(10, record, nullptr), 0u);
  EXPECT_EQ(ftimer_kill(ids[1]), 1);
  EXPECT_EQ(ftimer_kill(ids[1]), 0);  // unknown now: the table is left alone
  uint32_t again = ftimer_create(10, record, nullptr);
  EXPECT_EQ(ftimer_create(10, nullptr, nullptr), 0u);
  wins_timer_run_due(1010);
  std::vector<Fire> expected{{ids[0], &user[0]}};
  for (int i = 2; i < FTIMER_MAX; ++i) expected.emplace_back(ids[i], &user[i]);
  expected.emplace_back(again, nullptr);  // appended at the end of the table
  EXPECT_EQ(g_fired, expected);
  for (Fire& fire : expected) EXPECT_NE(fire.first, 0u);
  EXPECT_NE(again, ids[1]);
}

TEST_F(TimerTest, CallbackMayKillItselfAndOthersAndCreateTimers) {
  g_ids[0] = ftimer_create(10, kill_self_and_third, nullptr);
  for (int i = 1; i < 4; ++i) g_ids[i] = ftimer_create(10, record, nullptr);
  uint32_t third = g_ids[2];
  g_now = 1010;
  wins_timer_run_due(1010);
  // The killed third does not fire; the one created during the walk waits for its deadline.
  EXPECT_EQ(g_fired, (std::vector<Fire>{{g_ids[0], nullptr}, {g_ids[1], nullptr},
                                        {g_ids[3], nullptr}}));
  EXPECT_EQ(wins_timer_wait_ms(1010), 5);
  EXPECT_NE(g_ids[2], third);
  g_fired.clear();
  wins_timer_run_due(1020);
  EXPECT_EQ(g_fired, (std::vector<Fire>{{g_ids[1], nullptr}, {g_ids[3], nullptr},
                                        {g_ids[2], nullptr}}));
}

TEST_F(TimerTest, DeadlinesWaitTimeAndNoBurstAfterAStall) {
  EXPECT_EQ(wins_timer_wait_ms(1000), -1);
  ftimer_create(100, record, nullptr);
  g_now = 1030;
  ftimer_create(40, record, nullptr);  // due at 1070, before the first
  EXPECT_EQ(wins_timer_wait_ms(1030), 40);
  EXPECT_EQ(wins_timer_wait_ms(1069), 1);
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
