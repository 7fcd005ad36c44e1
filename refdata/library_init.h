#pragma once
// libsodium and libcurl want one global initialisation per process, before any thread uses
// them. The worker calls this once at start-up; later calls do nothing.
// Throws std::runtime_error when libsodium cannot be initialised: without it no data set can
// be opened and the program has to stop. A libcurl failure is logged; downloads then fail.
void gf_initDataLibraries();
