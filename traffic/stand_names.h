#pragma once
// Stand names for log lines and for other threads: by position from the published stand
// positions (any thread: the feed readers, the simulator link, lf_main), and by stand number from
// g_stands (lf_main only).
#include <cstdint>
#include <optional>
#include <string>

#include "core/geodesy.h"

// The nearest stand within 20 m of the position; none while the user aircraft is airborne or no
// stands are published. Each thread keeps its last answer and gives it again for a query within
// 3 m of the last one, until new stand positions are published. Lock-free apart from the
// snapshot's load.
std::optional<std::string> gf_standNameAtPos(const Lalo& position);

// The name of stand standId of g_stands; "sid==0?" for 0, "sid==?" for a number the table does
// not hold.
std::string gf_standName(std::int32_t standId);
