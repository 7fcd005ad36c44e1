#include "core/user_message.h"

#include <atomic>

#include "core/log.h"

namespace {

std::atomic<UserMessageSink> g_sink{nullptr};

}  // namespace

void gf_setUserMessageSink(UserMessageSink sink) { g_sink = sink; }

void gf_showUserMessage(std::string_view text, bool alsoLog) {
  if (auto sink = g_sink.load()) {
    sink(text, alsoLog);
  } else if (alsoLog && !text.empty()) {
    gf_log(text);
  }
}
