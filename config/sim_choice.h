#pragma once
// Which simulator and which traffic source this run of the worker serves. Read from any thread.
#include <cstdint>
#include <memory>
#include <string>

struct SimChoice {
  std::int32_t sim = 2;    // 1 = MSFS 2020, 2 = MSFS 2024
  std::int32_t rtApp = 0;  // 0 = RT Direct, 1 = RT App
};

// Until the worker publishes its choice: MSFS 2024 and RT Direct, the options' defaults.
std::shared_ptr<const SimChoice> gf_simChoice();
void gf_publishSimChoice(SimChoice choice);

bool gf_isMsfs2020();
bool gf_isRtDirect();

// Object ids in log lines and lists: decimal for MSFS 2020, lower-case hex for MSFS 2024.
std::string gf_objectIdText(std::uint32_t objectId);
