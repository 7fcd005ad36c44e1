#pragma once
#include "platform/ui.h"

ui::LResult WndProc(ui::Hwnd hwnd, std::uint32_t message, ui::WParam wParam, ui::LParam lParam);
