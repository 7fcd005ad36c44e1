#include "platform/termination_signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <iterator>
#include <system_error>
#include <thread>
#include <utility>

namespace ui {
namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr char kStopWatching = 0;

// What the handler may touch: lock-free atomics and a pipe's write end.
std::atomic<int> g_writeEnd{-1};
std::atomic<bool> g_closeRequested{false};
static_assert(std::atomic<int>::is_always_lock_free && std::atomic<bool>::is_always_lock_free);

struct Watch {
  int readEnd = -1;
  std::thread watcher;
  struct sigaction previous[std::size(kSignals)] = {};
};
// Used by the thread that makes and ends the guard. Never destroyed: a process that exits
// while the guard lives must not end on a joinable thread.
Watch& g_watch = *new Watch;

void lf_onTerminationSignal(int signo) {
  if (g_closeRequested.exchange(true)) {
    // Asked again while closing: the user means it. Delivered once this handler returns.
    std::signal(signo, SIG_DFL);
    std::raise(signo);
    return;
  }
  const int savedErrno = errno;
  const char byte = static_cast<char>(signo);
  [[maybe_unused]] const ssize_t written = ::write(g_writeEnd.load(), &byte, 1);
  errno = savedErrno;
}

void lf_watch(int readEnd, Hwnd window) {
  for (;;) {
    char byte = kStopWatching;
    const ssize_t got = ::read(readEnd, &byte, 1);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0 || byte == kStopWatching) return;
    postMessage(window, WM_CLOSE, 0, 0);
  }
}

void lf_closePipe(int readEnd) {
  ::close(readEnd);
  ::close(g_writeEnd.exchange(-1));
}

}  // namespace

CloseOnTerminationSignals::CloseOnTerminationSignals(Hwnd window) {
  if (g_watch.readEnd >= 0) return;  // one at a time
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) {
    std::perror("The close signals could not be taken: pipe");
    return;
  }
  g_writeEnd = ends[1];
  g_closeRequested = false;
  try {
    g_watch.watcher = std::thread(lf_watch, ends[0], window);
  } catch (const std::system_error& e) {
    std::fprintf(stderr, "The close signals could not be taken: %s\n", e.what());
    lf_closePipe(ends[0]);
    return;
  }
  g_watch.readEnd = ends[0];
  struct sigaction action = {};
  action.sa_handler = lf_onTerminationSignal;
  sigemptyset(&action.sa_mask);
  for (int signo : kSignals) sigaddset(&action.sa_mask, signo);  // one handler at a time
  action.sa_flags = SA_RESTART;
  for (std::size_t i = 0; i < std::size(kSignals); ++i) sigaction(kSignals[i], &action, &g_watch.previous[i]);
  active_ = true;
}

CloseOnTerminationSignals::~CloseOnTerminationSignals() {
  if (!active_) return;
  for (std::size_t i = 0; i < std::size(kSignals); ++i) sigaction(kSignals[i], &g_watch.previous[i], nullptr);
  const char stop = kStopWatching;
  while (::write(g_writeEnd.load(), &stop, 1) < 0 && errno == EINTR) {
  }
  g_watch.watcher.join();
  lf_closePipe(std::exchange(g_watch.readEnd, -1));
}

}  // namespace ui
