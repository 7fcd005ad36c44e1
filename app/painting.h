#pragma once
// WM_PAINT of the main window: the bands painted by g_gui (Gui::paint and its helpers, defined
// in painting.cpp) between beginPaint and endPaint.
#include "platform/ui.h"

// GUI thread. A failure inside the painting is logged; the paint always ends.
void gf_paintMainWindow(ui::Hwnd hwnd);
