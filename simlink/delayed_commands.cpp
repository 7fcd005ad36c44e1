#include "simlink/delayed_commands.h"

std::mutex g_delayedSimCommandsMutex;
std::vector<DelayedSimCommand> g_delayedSimCommands;

void gf_queueDelayedSimCommand(const DelayedSimCommand& command) {
  std::lock_guard lock(g_delayedSimCommandsMutex);
  g_delayedSimCommands.push_back(command);
}

void gf_takeDelayedSimCommands(std::vector<DelayedSimCommand>& taken) {
  taken.clear();
  std::lock_guard lock(g_delayedSimCommandsMutex);
  taken.swap(g_delayedSimCommands);
}

void gf_clearDelayedSimCommands() {
  std::vector<DelayedSimCommand> dropped;  // freed outside the lock
  std::lock_guard lock(g_delayedSimCommandsMutex);
  dropped.swap(g_delayedSimCommands);
}
