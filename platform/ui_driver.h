#pragma once
// Acts as the user on the headless window: every action is carried out on the GUI thread,
// in order with the posted messages, exactly as the window would see a real click.
#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/canvas.h"
#include "platform/ui.h"

namespace ui::driver {

// A click on a disabled control does nothing; a check box is not ticked by the click itself
// (its owner flips it on BN_CLICKED).
void click(Hwnd parent, int controlId);
void selectComboItem(Hwnd parent, int controlId, int index);
void typeText(Hwnd parent, int controlId, std::string_view text);
void pressEnter(Hwnd parent, int controlId);
void closeWindow(Hwnd hwnd);

// Runs fn on the GUI thread, in order with the queue, and waits for it (not from the GUI thread).
void runOnGuiThread(const std::function<void()>& fn);
// Waits until everything posted before this call has been dispatched.
void sync();
// How many messages of this id wait in the queue for the window.
int countQueued(Hwnd hwnd, std::uint32_t message);

// Modal dialogs are answered from a script: the next message boxes get these answers in order
// (then their first button); the next folder pickers these folders (nullopt: cancelled; then
// every picker is cancelled).
struct MessageBoxShown {
  std::string text;
  std::string caption;
  unsigned type = 0;
  int answer = 0;
};
void answerMessageBoxes(std::vector<int> answers);
std::vector<MessageBoxShown> messageBoxesShown();
void answerFolderPicks(std::vector<std::optional<std::string>> answers);
std::vector<std::string> folderPicksShown();  // the initial folder of each picker opened
// The next text prompts get these answers (nullopt: cancelled; then every prompt is cancelled).
struct PromptShown {
  std::string title;
  std::string label;
  std::size_t maxChars = 0;
};
void answerPrompts(std::vector<std::optional<std::string>> answers);
std::vector<PromptShown> promptsShown();

// GUI thread (or with no loop running): paints one control and returns what it drew.
std::vector<Primitive> paintControl(Hwnd control);
// GUI thread (or with no loop running): paints the window and its visible controls into a
// PNG file of the client area's size.
bool renderPng(Hwnd window, const std::filesystem::path& file);

}  // namespace ui::driver
