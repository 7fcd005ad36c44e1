#pragma once
// The option controls of the main window: their creation in a fixed order, their filling and
// enabling at every start of the worker, and how an option writes its value into its control.
#include <cstdint>

#include "config/options.h"
#include "config/parameter_load.h"
#include "platform/ui.h"

// WM_CREATE of the main window: every option control, in creation order, into g_optionControls.
void lf_createOptionControls(ui::Hwnd parent);
// Worker set-up: fills and enables the controls.
void lf_initOptionControls();
void lf_initTimeShiftControls();
// Enables what the livery scan disabled.
void lf_reenableScanControls();

// Writes the value (an int as decimal text) into the option's control and redraws the panel;
// only logs when the control does not exist. Never throw.
void gf_showInGui(const IntListOption& option) noexcept;
void gf_showInGui(const GuiStringOption& option) noexcept;

// MAX_FIT_FL's list of half hours (gf_maxFitHours gives the hours of an index).
int gf_maxFitIndex(float hours);
void gf_clampMaxFitValue(float hours);
