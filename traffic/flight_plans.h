#pragma once
// Minimal flight plans that let MSFS 2020 show where a live aircraft comes from and goes to:
// one small ".pln" file per simulator object in the per-user folder "orig_dest", loaded by the
// simulator link (gf_queueFlightPlan). MSFS 2024 gets neither folder nor plans, and every
// operation here answers false. File-system errors are logged and answered false, never thrown.
// Called on the worker thread.
#include <cstdint>
#include <filesystem>
#include <optional>

struct AcIdentity;

// The plan folder, present only while MSFS 2020 is the chosen simulator.
std::optional<std::filesystem::path> gf_flightPlanFolder();
// Creates the folder with its parents; true when it stands as a directory.
bool gf_ensureFlightPlanFolder();
// Removes the folder and every plan left in it; true when a folder was removed.
bool gf_removeFlightPlanFolder();

// folder/"<objectId>.pln", the id in decimal.
std::filesystem::path gf_flightPlanPath(const std::filesystem::path& folder, std::uint32_t objectId);
// Writes the aircraft's plan: IFR for twoprops to heavy, VFR for the rest, its origin and
// destination IATA codes (empty elements when unset). A failed write leaves no file behind.
bool gf_writeFlightPlan(const std::filesystem::path& path, const AcIdentity& aircraft);
// True when the object's plan file was there and is gone.
bool gf_removeFlightPlan(std::uint32_t objectId);
