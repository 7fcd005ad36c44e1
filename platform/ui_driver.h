#pragma once
// Acts as the user on the headless window: every action is carried out on the GUI thread,
// in order with the posted messages, exactly as the window would see a real click.
#include <functional>
#include <string_view>

#include "platform/ui.h"

namespace ui::driver {

void click(Hwnd parent, int controlId);  // a check box flips its state first
void selectComboItem(Hwnd parent, int controlId, int index);
void typeText(Hwnd parent, int controlId, std::string_view text);
void pressEnter(Hwnd parent, int controlId);
void closeWindow(Hwnd hwnd);

// Runs fn on the GUI thread, in order with the queue, and waits for it (not from the GUI thread).
void runOnGuiThread(const std::function<void()>& fn);
// Waits until everything posted before this call has been dispatched.
void sync();

}  // namespace ui::driver
