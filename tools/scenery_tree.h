#pragma once
// A simulator's package folders with add-on airports, for the airport scan's tests, the demo and
// its benchmark, with what a scan must leave in airports/ written beside them. Deterministic for
// a seed.
//
// Two installation folders, MSFS2020 (Official, Community) and MSFS2024 (Community,
// StreamedPackages, Official2024, Community2024). Each airport gets an add-on package in
// Community with a manifest and a generated .bgl holding its airport record; an airport the
// stand-in simulator has facility data for also gets a package of the simulator's makers
// (Official/OneStore with a .bgl for MSFS 2020, a StreamedPackages folder for MSFS 2024).
//
// The cases add what a scan must pass over: an excluded folder, an excluded file, excluded and
// nested streamed packages (the nested one with a .bgl), all holding the decoy airport, and a
// folder link back up its package.
//
// The expected outcome is that of a scan with every code known and in this week's list, the
// stand-in simulator holding the facility codes, an archive that links exactly the given
// simulator-maker airports and no add-on publisher's, and nothing else in airports/: one line
// per file, "my_simaddon/LSZH.xml" or ".txt", "my_thirdparty/EDDF.xml", sorted.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

struct SceneryTreeOptions {
  std::filesystem::path folder;             // created
  std::uint32_t seed = 20261209;
  std::vector<std::string> facilityCodes;   // the stand-in simulator has their facility data
  std::vector<std::string> bglCodes;        // it lacks them: the stands come from the .bgl
  std::vector<std::string> simaddonLinked;  // facility codes whose makers' file the archive holds
  std::string decoyCode;                    // only in places a scan must pass over; empty: no cases
};

struct SceneryTreeSummary {
  std::filesystem::path msfs2020, msfs2024;  // the installation folders
  std::vector<std::string> expected2020, expected2024;
  std::size_t packages = 0;  // add-on and makers' packages, decoys included
  std::size_t bglFiles = 0;
};

// Also writes expected-2020.txt and expected-2024.txt into the folder. Throws
// std::runtime_error when a file cannot be written.
SceneryTreeSummary gf_writeSceneryTree(const SceneryTreeOptions& options);

// One add-on airport package "genworks-airport-<code>" in the folder: manifest.json and
// scenery/global/<code>-genworks.bgl with the airport record and a few stands.
void gf_writeAddonAirportPackage(const std::filesystem::path& folder, const std::string& code, std::uint32_t seed);
