// The active-object unit: deferred callbacks for a single-threaded program. An owner
// signals its object; the signal posts a wake-up to the window unit's loop, which calls
// faomngr_run_due, and every pending object runs once from there rather than inside the
// call that signalled it. The manager keeps all objects in one circular list behind a
// sentinel head, newest first.
//
//   fao_signal -> wins_window_post(run_active_objects) ... loop -> faomngr_run_due
//              -> walk first to last -> on_run (may signal, create or destroy objects)
//
// Callbacks may destroy any object, not only their own, and may start a nested loop that
// walks the list again. Every walk in progress therefore registers its cursor (the object it
// will visit next) with the manager, and fao_destroy moves any cursor off the object it is
// about to free. This is the one place that knows a hook may have freed what comes next.

#include "win_ao.h"

#include <new>

#include "fplatform.h"
#include "wins_window.h"

namespace {

// A walk in progress; lives on the stack of the function walking.
struct AoWalk {
  FActiveObject* next;  // the object to visit next, or the head at the end; not owned
  AoWalk* outer;        // the walk this one is nested in, or null; not owned
  bool stopped;         // the manager was shut down by a callback: touch nothing more
};

struct AoManager {
  FActiveObject head;  // sentinel of the circular list; its next is the newest object
  AoWalk* walks;       // innermost walk in progress, or null; not owned
};

AoManager* aomngr_global = nullptr;  // owned, null while no manager exists

#define AO_CHECK(object) \
  FCHECK((object) != nullptr && aomngr_global != nullptr, "ao!=null && aomngr_global!=null")

// Visits every object from first to last, including objects linked ahead of the cursor
// while the walk runs. The cursor is advanced before `visit`, so the visited object may be
// destroyed; fao_destroy advances it past any other object that goes.
template <typename Visit>
void aomngr_walk(AoManager* manager, Visit visit) {
  AoWalk walk{manager->head.next, manager->walks, false};
  manager->walks = &walk;
  while (walk.next != &manager->head) {
    FActiveObject* object = walk.next;
    walk.next = object->next;
    visit(object);
    if (walk.stopped) return;  // the manager and every object are gone
  }
  manager->walks = walk.outer;
}

void ao_unlink(AoManager* manager, FActiveObject* object) {
  for (AoWalk* walk = manager->walks; walk; walk = walk->outer)
    if (walk->next == object) walk->next = object->next;
  object->prev->next = object->next;
  object->next->prev = object->prev;
  object->next = object->prev = nullptr;
}

}  // namespace

int faomngr_init() {
  if (aomngr_global) return 0;
  AoManager* manager = new (std::nothrow) AoManager{};
  if (!manager) return 0;
  manager->head.next = manager->head.prev = &manager->head;
  aomngr_global = manager;
  return 1;
}

int faomngr_exists() { return aomngr_global != nullptr; }

void faomngr_run_due() {
  // The loop calls this after every message of a nested run, also before the application
  // has started a manager, so having none is not an error here.
  if (!aomngr_global) return;
  aomngr_walk(aomngr_global, [](FActiveObject* object) {
    if (!object->pending) return;
    object->pending = 0;
    if (object->on_run) object->on_run(object, object->context);
  });
}

void faomngr_cancel_all() {
  if (!aomngr_global) return;
  aomngr_walk(aomngr_global, [](FActiveObject* object) { fao_cancel(object); });
}

void faomngr_shutdown() {
  AoManager* manager = aomngr_global;
  if (!manager) return;
  faomngr_cancel_all();
  // Objects still linked can no longer be reached through any call (each one checks for a
  // manager first), so they go with the head instead of leaking.
  while (manager->head.next != &manager->head) {
    FActiveObject* object = manager->head.next;
    ao_unlink(manager, object);
    delete object;
  }
  for (AoWalk* walk = manager->walks; walk; walk = walk->outer) walk->stopped = true;
  aomngr_global = nullptr;
  delete manager;
}

FActiveObject* fao_create() {
  FCHECK(aomngr_global != nullptr, "aomngr_global!=null");
  FActiveObject* object = new (std::nothrow) FActiveObject{};
  if (!object) return nullptr;
  FActiveObject* head = &aomngr_global->head;
  object->next = head->next;
  object->prev = head;
  head->next->prev = object;
  head->next = object;
  return object;
}

void fao_set_run(FActiveObject* object, FAoRunFn on_run) {
  AO_CHECK(object);
  object->on_run = on_run;
}

void fao_set_cancel(FActiveObject* object, FAoCancelFn on_cancel) {
  AO_CHECK(object);
  object->on_cancel = on_cancel;
}

void fao_set_context(FActiveObject* object, void* context) {
  AO_CHECK(object);
  object->context = context;
}

void* fao_get_context(const FActiveObject* object) {
  AO_CHECK(object);
  return object->context;
}

void fao_signal(FActiveObject* object) {
  AO_CHECK(object);
  object->pending = 1;
  // One wake-up per signal; a second signal before the run still runs the object once.
  wins_window_post(WinsMessage::run_active_objects);
}

int fao_is_pending(const FActiveObject* object) {
  AO_CHECK(object);
  return object->pending;
}

void fao_cancel(FActiveObject* object) {
  AO_CHECK(object);
  if (!object->pending) return;
  object->pending = 0;
  if (object->on_cancel) object->on_cancel(object);
}

void fao_destroy(FActiveObject* object) {
  AO_CHECK(object);
  fao_cancel(object);
  ao_unlink(aomngr_global, object);
  delete object;
}
