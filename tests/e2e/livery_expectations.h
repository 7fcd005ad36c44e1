#pragma once
// The livery each live flight of a run must have: the matching ladder run here, with random
// picks off, on the livery database the program's own scan wrote.
#include <filesystem>
#include <map>
#include <set>
#include <string>

#include "tests/e2e/trace_checks.h"
#include "tools/trace_picture.h"

namespace e2e {

struct LiveryChoices {
  std::map<std::string, std::string> expected;  // by registration; "" where the ladder finds none
  std::set<std::string> installed;              // every title of the scan result
};

// programFolder holds input/ and output/ as the run left them; appdata the per-user folder.
LiveryChoices liveryChoices(const std::filesystem::path& programFolder, const std::filesystem::path& appdata,
                            const Knowledge& knowledge, const tracepicture::Trace& trace);

}  // namespace e2e
