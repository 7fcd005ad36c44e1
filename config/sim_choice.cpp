#include "config/sim_choice.h"

#include <fmt/format.h>

#include "core/atomic_shared_ptr.h"

namespace {

AtomicSharedPtr<const SimChoice>& lf_simChoice() {
  static AtomicSharedPtr<const SimChoice> choice{std::make_shared<const SimChoice>()};
  return choice;
}

}  // namespace

std::shared_ptr<const SimChoice> gf_simChoice() { return lf_simChoice().load(); }

void gf_publishSimChoice(SimChoice choice) { lf_simChoice().store(std::make_shared<const SimChoice>(choice)); }

bool gf_isMsfs2020() { return gf_simChoice()->sim == 1; }

bool gf_isRtDirect() { return gf_simChoice()->rtApp == 0; }

std::string gf_objectIdText(std::uint32_t objectId) {
  return gf_isMsfs2020() ? fmt::format("{}", objectId) : fmt::format("{:x}", objectId);
}
