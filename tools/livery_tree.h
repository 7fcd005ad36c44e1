#pragma once
// A Community folder of AI livery packages for the tests, the demo and the benchmark, with what
// a livery scan of it must give written beside it. Deterministic for a seed.
//
// The tree holds the packages AIG, FSLTL, Just Flight, IVAO MTL and user-aitraffic, and decoys
// that no scan may use (a "_CVT_" copy, the AIG beta, a scenery folder, skipped subfolders);
// files in UTF-8 with and without byte-order mark, UTF-16 and Windows-1252, with LF and CR LF;
// the header, key and rejection cases of aircraft.cfg; and, from the seed, plain files of
// liveries of the sample dbase's airlines and models.
//
// The expected outcome is that of a scan with MSFS 2024 chosen, the default package order and
// prioritising on, with input/AIG-regcodes.enc present and the my_regcodes file of the
// expected folder copied into input/my_regcodes:
//   liveries.txt    one line per livery of the scan result, "a|o|m|c|t|r" (o empty without an
//                   operator, c 1 for cargo), sorted
//   <report>.txt    each report file the scan writes, as it must read; files it must not write
//                   are absent
//   my_regcodes/dontuse.txt   the user's don't-use title
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

struct LiveryTreeOptions {
  std::filesystem::path community;   // created; the paths in the expected lines start with it
  std::filesystem::path expected;    // created
  std::filesystem::path dataFolder;  // holds dbase.xml and AIG-regcodes.xml
  std::uint32_t seed = 20261208;
  std::size_t bulkFiles = 24;  // seeded plain files, one to three liveries each
  bool cases = true;           // the hand-written cases and decoys
};

struct LiveryTreeSummary {
  std::size_t files = 0;            // aircraft.cfg files written, decoys included
  std::vector<std::string> titles;  // of the expected liveries, sorted
};

// Throws std::runtime_error when the data folder cannot be read or a file cannot be written.
LiveryTreeSummary gf_writeLiveryTree(const LiveryTreeOptions& options);
