#pragma once
// The simulator's install path: the fix of a stored Community folder, the prompt when none is
// known, and the check of a folder the user picked.
#include <filesystem>

#include "config/options.h"

// The install-path option of the chosen simulator.
PathOption& gf_installPathOption();
// A stored path that ends in "Community" (trailing separators aside) becomes its parent folder.
// True when it changed.
bool gf_fixCommunityInstallPath(PathOption& option);
// True when the picked folder is a Community folder; it is then stored in the option.
bool gf_validateInstallPath(PathOption& option, const std::filesystem::path& path);
// Discovery first; then (never in production mode) the message box and the folder picker.
bool lf_promptInstallPath();
