#pragma once
// Blocking one aircraft (it is then filtered out of the feed), lifting the block, and the
// user's destination airport with an optional reserved stand there. GUI thread, from the
// window procedure; gf_setDestination also from the worker's set-up.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ui.h"
#include "refdata/airports.h"

// The "Block" and "Unblock" buttons.
void gf_blockSelectedAircraft();
void gf_unblockAircraft();

// The aircraft selector's list: "select an aircraft" followed by the entries, its first entry
// selected. gf_setAircraftList stores it on any thread and asks the window to show it;
// gf_showAircraftList (GUI thread) refills the combo box and enables Block only when there is
// an aircraft to block.
inline constexpr std::string_view kSelectAnAircraft = "select an aircraft";
void gf_setAircraftList(std::vector<std::string> entries);
void gf_showAircraftList();

// Enter in the destination field.
void gf_destinationEntered();
void gf_setDestination(const std::string& icao, const Airport& airport);
// The destination edit control's own procedure: Enter sets the destination and is swallowed.
ui::LResult gf_destinationEditProc(ui::Hwnd hwnd, std::uint32_t message, ui::WParam wParam, ui::LParam lParam);

// The text of a main-window control; empty (after a log line) when the control is missing or
// its text is not valid UTF-8.
std::string lf_getTextFromId(std::uint16_t controlId);
