#pragma once
// SIGINT, SIGTERM and SIGHUP are how a terminal, a logout or a service manager asks a Linux
// program to close: here each one closes the window as its close button would.
#include "platform/ui.h"

namespace ui {

// While it lives, each of the three signals posts WM_CLOSE to the window through the message
// loop (the handler itself only writes to a pipe). A second one, while the first is being
// handled, ends the process at once by the signal's default action. One at a time per process,
// made and ended on the same thread.
class CloseOnTerminationSignals {
 public:
  explicit CloseOnTerminationSignals(Hwnd window);
  // The signals go back to what they were before.
  ~CloseOnTerminationSignals();
  CloseOnTerminationSignals(const CloseOnTerminationSignals&) = delete;
  CloseOnTerminationSignals& operator=(const CloseOnTerminationSignals&) = delete;

  // False when the signals could not be taken (no pipe, no thread); they keep their action then.
  bool active() const { return active_; }

 private:
  bool active_ = false;
};

}  // namespace ui
