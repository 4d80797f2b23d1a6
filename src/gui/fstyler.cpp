// The styler unit: one call through which every new control is offered to the
// application for its look (colours, drawers, fonts), chosen by the control's kind and
// tag. The theme (ftheme.cpp) holds the styler in force; controls call it through
// ftheme_style at the end of their creation.

#include "fstyler.h"

#include "fplatform.h"

namespace {

void style_nothing(FStyler*, FControl*, int32_t, uint32_t, int32_t) {}

FStyler g_default_styler{style_nothing, nullptr};

}  // namespace

FStyler* fstyler_default() { return &g_default_styler; }

void fstyler_style(FStyler* styler, FControl* control, int32_t kind, uint32_t tag) {
  FCHECK(styler != nullptr, "styler!=null");
  if (styler->style) styler->style(styler, control, kind, tag, 0);
}
