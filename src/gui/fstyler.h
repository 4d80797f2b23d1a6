// FStyler: the hook through which the application gives every control its look. Each
// control creation ends by handing the new control to the theme's styler with its kind
// and tag; the toolkit's own styler does nothing.
#pragma once

#include <cstdint>

struct FControl;
struct FStyler;

// `extra` is always 0 from the toolkit; it is there for the application's own calls.
using FStyleFn = void (*)(FStyler* styler, FControl* control, int32_t kind, uint32_t tag,
                          int32_t extra);

// Kinds handed to the styler by the controls that create them.
enum : int32_t {
  FSTYLE_CONTROL = 0,
  FSTYLE_BUTTON = 1,
  FSTYLE_LABEL = 3,
  FSTYLE_CONTROL_BAR = 5,
  FSTYLE_MENU = 6,
  FSTYLE_IMAGE = 7,
  FSTYLE_LINK_LABEL = 8,
  FSTYLE_FORM = 10,
  FSTYLE_DIALOG = 15,        // when the dialog is complete
  FSTYLE_DIALOG_START = 16,  // right after the dialog's control is initialised
  FSTYLE_SEPARATOR = 17,
  FSTYLE_HINT = 27,
};

// An application's styler embeds this record first and keeps its own state behind it.
struct FStyler {
  FStyleFn style;                    // first field: the style function
  void (*release)(FStyler* styler);  // frees the styler when the theme drops it; null
                                     // for a styler the theme does not own
};

// The toolkit's default styler: styles nothing, owned by nobody.
FStyler* fstyler_default();

// Calls the style function with `extra` 0.
void fstyler_style(FStyler* styler, FControl* control, int32_t kind, uint32_t tag);
