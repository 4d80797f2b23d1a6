// Active objects through the manager's walk: run once per signal burst, cancellation, the
// newest-first order, signals and destruction from inside callbacks (including the object
// the walk visits next and from a nested walk), and shut-down with objects still pending.

#include "win_ao.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string g_log;  // names of the objects run; "~x" when x was cancelled

struct Probe {
  char name;
  void (*action)(Probe* self) = nullptr;  // what on_run does after logging
  FActiveObject* object = nullptr;
  FActiveObject* other = nullptr;  // the object the action works on
};

void make(Probe* probe) {
  probe->object = fao_create();
  fao_set_run(probe->object, [](FActiveObject* object, void* context) {
    auto* probe = static_cast<Probe*>(context);
    EXPECT_EQ(probe->object, object);
    g_log += probe->name;
    if (probe->action) probe->action(probe);
  });
  fao_set_cancel(probe->object, [](FActiveObject* object) {
    (g_log += '~') += static_cast<Probe*>(fao_get_context(object))->name;
  });
  fao_set_context(probe->object, probe);
}

struct ActiveObjectTest : testing::Test {
  Probe a{'a'}, b{'b'}, c{'c'}, d{'d'};
  void SetUp() override { g_log.clear(); ASSERT_EQ(faomngr_init(), 1); }
  void TearDown() override { faomngr_shutdown(); }
};

}  // namespace

TEST_F(ActiveObjectTest, SignalledTwiceRunsOnceAndCancelRunsOnlyOnCancel) {
  EXPECT_EQ(faomngr_init(), 0);  // one manager at most
  make(&a);
  fao_signal(a.object), fao_signal(a.object);
  faomngr_run_due(), faomngr_run_due();
  fao_cancel(a.object);  // idle: nothing
  fao_signal(a.object), fao_cancel(a.object);
  faomngr_run_due();
  EXPECT_EQ(g_log, "a~a");
}

TEST_F(ActiveObjectTest, NewestRunsFirstAndSignalsAheadRunOnTheSameWalk) {
  make(&a), make(&b), make(&c);  // the list is c, b, a
  for (Probe* p : {&a, &b, &c}) fao_signal(p->object);
  faomngr_run_due();
  b.other = c.object;  // ahead of b: waits for the next walk
  b.action = [](Probe* self) { fao_signal(self->other), fao_signal(self->object->next); };
  fao_signal(b.object), faomngr_run_due();
  EXPECT_EQ(g_log, "cbaba");
  faomngr_run_due();
  EXPECT_EQ(g_log, "cbabac");
}

TEST_F(ActiveObjectTest, CallbacksMayDestroyTheirOwnAndTheNextObject) {
  make(&a), make(&b), make(&c), make(&d);  // the list is d, c, b, a
  // d destroys c, the object the walk would visit next (pending, so its on_cancel runs), and
  // itself; b runs a nested walk (which runs a) and then destroys a, the outer walk's next.
  d.other = c.object;
  d.action = [](Probe* self) { fao_destroy(self->other), fao_destroy(self->object); };
  b.other = a.object;
  b.action = [](Probe* self) { faomngr_run_due(), fao_destroy(self->other); };
  for (Probe* p : {&a, &b, &c, &d}) fao_signal(p->object);
  faomngr_run_due();
  b.action = nullptr;
  fao_signal(b.object), faomngr_run_due();
  EXPECT_EQ(g_log, "d~cbab");
}

TEST_F(ActiveObjectTest, CancelAllAndShutdownCancelPendingObjects) {
  make(&a), make(&b);
  fao_signal(a.object), faomngr_cancel_all();
  fao_signal(a.object), fao_signal(b.object);
  faomngr_shutdown();  // frees both objects with the head
  faomngr_run_due();   // no manager: nothing to do
  ASSERT_EQ(faomngr_init(), 1);
  make(&a), make(&b);
  b.action = [](Probe*) { faomngr_shutdown(); };  // in the middle of a walk
  fao_signal(a.object), fao_signal(b.object);
  faomngr_run_due();
  EXPECT_EQ(g_log, "~a~b~ab~a");
  EXPECT_EQ(faomngr_exists(), 0);
}

TEST(ActiveObjectDeathTest, CreatingWithoutAManagerIsFatal) {
  EXPECT_EXIT(fao_create(), testing::ExitedWithCode(255), "win_ao.*aomngr_global!=null");
}
