#pragma once
// Messages meant for the user. The main window's status line takes them once the window
// layer has registered itself; until then (and in tools and tests) they go to the log.
#include <string_view>

using UserMessageSink = void (*)(std::string_view text, bool alsoLog);

void gf_setUserMessageSink(UserMessageSink sink);
void gf_showUserMessage(std::string_view text, bool alsoLog);
