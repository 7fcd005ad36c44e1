#pragma once
// The user's RealTraffic license or API token for RT Direct: RealTraffic.lic in the
// RealTraffic app's folder (read only) or in the program's folder (created from a template and
// filled through a small dialog when it holds only a placeholder).
#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/ui.h"

// The credential in use; emptied when the start-up step begins. Worker thread only.
extern std::string g_rtCredential;

inline constexpr std::string_view kLicensePlaceholder = "fill in your license here";
inline constexpr std::string_view kTokenPlaceholder = "fill in your API-token here";

// What the dialog asks: a modal one-line prompt over the owner window.
struct TextPromptRequest {
  std::string title = "RealTraffic license";
  std::string label = "License / token:";
  std::size_t maxChars = 60;
};
// The text the user confirmed with OK, or none for Cancel, closing, or no prompt at all.
using TextPrompt = std::function<std::optional<std::string>(ui::Hwnd owner, const TextPromptRequest& request)>;
// The window layer installs its prompt here, with the main window as the dialog's owner.
void gf_setLicensePrompt(TextPrompt prompt, ui::Hwnd owner);

bool gf_isLicensePlaceholder(std::string_view value);

// A licence or token is a hundred bytes or so; a file past this is refused unread.
inline constexpr std::size_t kLicenseFileMaxBytes = std::size_t{64} << 10;

// The start-up step: on success g_rtCredential holds the credential; otherwise throws
// jrv::UserRelatedException 899 naming where the license belongs.
void gf_readRTLicenseOrToken();
// The "License" value of one file, or empty (each reason logged).
std::string gf_readLicenseFile(const std::filesystem::path& path);
// The program's RealTraffic.lic with value, or the token template for an empty value.
bool gf_writeLicenseFile(const std::string& value);
// The typed text after OK with a non-empty input; empty otherwise.
std::optional<std::string> gf_licenseTokenDialog(ui::Hwnd owner);
