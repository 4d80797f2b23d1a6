// Active objects: callbacks that run on the next pass of the message loop after they were
// signalled. Drawing tools defer redraws with them, and picture jobs report completion
// through them so that the caller's continuation runs from the loop.
#pragma once

#include <cstdint>

struct FActiveObject;

using FAoRunFn = void (*)(FActiveObject* object, void* context);
using FAoCancelFn = void (*)(FActiveObject* object);

struct FActiveObject {
  uint32_t result;  // free for the owner's use
  uint8_t pending;  // 1 between signal and run
  FAoRunFn on_run;
  FAoCancelFn on_cancel;
  void* context;  // owner's data passed to on_run, not owned
  FActiveObject* next;  // manager's circular list
  FActiveObject* prev;
};

// ---- The manager (one at most) ---------------------------------------------------------
int faomngr_init();  // 1, or 0 when a manager exists already
int faomngr_exists();
// Runs every pending object once, first to last; a callback may destroy its own object.
void faomngr_run_due();
void faomngr_cancel_all();
void faomngr_shutdown();  // cancels every object, frees the list head

// ---- Objects ----------------------------------------------------------------------------
// A zeroed object at the front of the manager's list; destroy with fao_destroy.
FActiveObject* fao_create();
void fao_set_run(FActiveObject* object, FAoRunFn on_run);
void fao_set_cancel(FActiveObject* object, FAoCancelFn on_cancel);
void fao_set_context(FActiveObject* object, void* context);
void* fao_get_context(const FActiveObject* object);
// pending = 1 and a wake-up is posted to the loop.
void fao_signal(FActiveObject* object);
int fao_is_pending(const FActiveObject* object);
void fao_cancel(FActiveObject* object);   // if pending: clear it and call on_cancel
void fao_destroy(FActiveObject* object);  // cancel, unlink, free
