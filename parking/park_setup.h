#pragma once
// Setting up the chosen park airport: its stand file read and applied, its stands installed as
// g_stands (with the name index and the published positions), its runways checked, the stand the
// user aircraft stands at noted in the park-airports list, and the airport shown. lf_main only.
#include <string>

// The park airport's name from its stand file, as the window shows it.
extern std::string g_parkAirportName;

struct ParkedFileResult {
  std::string text;  // the error when not ok
  bool ok = false;
  // Not ok yet: the stand file is being fetched off the worker; the set-up is to be asked again.
  bool fetching = false;
};
ParkedFileResult lf_readParkedFile();

// No applied file, no name, the stand search's state, the removal list, the generation flag and the
// running number as at program start (restart, tests). g_stands itself belongs to the engine's reset.
void gf_resetParkSetup();
