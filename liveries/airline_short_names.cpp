#include "liveries/airline_short_names.h"

#include <array>
#include <unordered_map>
#include <utility>

#include "refdata/model_ids.h"

namespace {

using namespace std::string_view_literals;

constexpr std::array<std::pair<std::string_view, std::string_view>, 72> kShortNames{{
    {"AAL"sv, "American"sv},      {"AAR"sv, "Asiana"sv},          {"AAY"sv, "Allegiant"sv},
    {"ACA"sv, "Air Canada"sv},    {"AFR"sv, "Air France"sv},      {"AIC"sv, "Air India"sv},
    {"ANA"sv, "ANA"sv},           {"ANZ"sv, "Air New Zealand"sv}, {"ASA"sv, "Alaska"sv},
    {"ASH"sv, "Mesa"sv},          {"AUA"sv, "Austrian"sv},        {"AVA"sv, "Avianca"sv},
    {"BAW"sv, "British Airways"sv}, {"BEL"sv, "Brussels"sv},      {"BOX"sv, "AeroLogic"sv},
    {"CAI"sv, "Corendon"sv},      {"CCA"sv, "Air China"sv},       {"CES"sv, "China Eastern"sv},
    {"CFE"sv, "BA CityFlyer"sv},  {"CHH"sv, "Hainan"sv},          {"CPA"sv, "Cathay"sv},
    {"CSN"sv, "China Southern"sv}, {"DAE"sv, "DHL Aero"sv},       {"DAL"sv, "Delta"sv},
    {"DHK"sv, "DHL Air"sv},       {"DLH"sv, "Lufthansa"sv},       {"EDV"sv, "Endeavor"sv},
    {"EIN"sv, "Aer Lingus"sv},    {"ETH"sv, "Ethiopian"sv},       {"ETD"sv, "Etihad"sv},
    {"EVA"sv, "EVA Air"sv},       {"EZY"sv, "easyJet"sv},         {"FDX"sv, "FedEx"sv},
    {"FFT"sv, "Frontier"sv},      {"FIN"sv, "Finnair"sv},         {"FJO"sv, "Flexjet"sv},
    {"GJS"sv, "GoJet"sv},         {"IBE"sv, "Iberia"sv},          {"JAL"sv, "Japan Airlines"sv},
    {"JBU"sv, "JetBlue"sv},       {"JIA"sv, "PSA Airlines"sv},    {"JZA"sv, "Jazz"sv},
    {"KAL"sv, "Korean Air"sv},    {"KLC"sv, "Cityhopper"sv},      {"KLM"sv, "KLM"sv},
    {"LAN"sv, "LATAM"sv},         {"LOT"sv, "LOT"sv},             {"LRC"sv, "Avianca"sv},
    {"PDT"sv, "Piedmont"sv},      {"PRM"sv, "Prime Air"sv},       {"QFA"sv, "Qantas"sv},
    {"QLK"sv, "QantasLink"sv},    {"QTR"sv, "Qatar"sv},           {"QXE"sv, "Horizon"sv},
    {"RPA"sv, "Republic"sv},      {"RYR"sv, "Ryanair"sv},         {"SAS"sv, "Scandinavian"sv},
    {"SIA"sv, "Singapore"sv},     {"SKW"sv, "SkyWest"sv},         {"SWA"sv, "Southwest"sv},
    {"SWR"sv, "Swiss"sv},         {"TAP"sv, "TAP"sv},             {"THY"sv, "Turkish"sv},
    {"TVF"sv, "Transavia"sv},     {"UAL"sv, "United"sv},          {"UAE"sv, "Emirates"sv},
    {"UPS"sv, "UPS"sv},           {"VIR"sv, "Virgin Atlantic"sv}, {"VJT"sv, "VistaJet"sv},
    {"VLG"sv, "Vueling"sv},       {"WJA"sv, "WestJet"sv},         {"NKS"sv, "Spirit"sv},
}};

}  // namespace

std::string_view lf_airlineShortName(std::string_view code) {
  static const std::unordered_map<std::string_view, std::string_view, Fnv1aHash> table(kShortNames.begin(),
                                                                                        kShortNames.end());
  const auto it = table.find(code);
  return it == table.end() ? std::string_view() : it->second;
}
