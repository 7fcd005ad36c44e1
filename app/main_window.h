#pragma once
// The main window: created by initInstance on the GUI thread, known to every handler.
#include "platform/ui.h"

bool initInstance(const char* title);
ui::Hwnd gf_mainWindow();
void gf_setMainWindow(ui::Hwnd hwnd);
