#pragma once
// What was learned at the park airport, saved when it is given up: the stands' learned options
// and the stands made by hand (every stand whole for a hand-made file), with the parking settings
// in force, into the learned file that the read of its stand file looked for; then the parking
// settings back as they were when the file was applied. lf_main only.
#include <cstddef>
#include <span>
#include <vector>

#include "simlink/facility_stand.h"

void gf_saveLearned(std::span<const Stand> stands, bool handmade);
void gf_restoreParkingSettings();
// Removes the options read from the stand file and the dead ones (id 0), keeping the order of
// the others; the number removed.
std::size_t lf_dropFileOptions(std::vector<StandOption>& options);
