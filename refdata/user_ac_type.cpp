#include "refdata/user_ac_type.h"

#include <array>
#include <cctype>

#include "refdata/model_ids.h"

namespace {

struct TitledModel {
  std::string_view model;
  std::string_view titleWord;
  std::string_view type;
};

struct ModelType {
  std::string_view model;
  std::string_view type;
};

// Models that name a family; the title tells the variant.
constexpr std::array<TitledModel, 8> kByTitle = {{
    {"", "A340-300", "A343"},
    {"737", "DG 737-600", "B736"},
    {"737", "DG 737-700", "B737"},
    {"737", "DG 737-800", "B738"},
    {"737", "DG 737-900", "B739"},
    {"BA46", "146-100", "B461"},
    {"BA46", "146-200", "B462"},
    {"BA46", "146-300", "B463"},
}};

// Makers' short names for a type.
constexpr std::array<ModelType, 22> kByModel = {{
    {"414AW", "C414"},     {"777", "B772"},      {"A220-300", "BCS3"}, {"A330-200 (RR)", "A332"},
    {"A350-900", "A359"},  {"A380", "A388"},     {"BF109", "BF19"},    {"F-14A", "F14"},
    {"F-14B", "F14"},      {"F6F-5", "HCAT"},    {"GL6T", "GLEX"},     {"HA420", "HDJT"},
    {"Jaguar", "JAGR"},    {"KODIAK", "K100"},   {"MD11F", "MD11"},    {"N738B", "B38M"},
    {"P38L", "P38"},       {"Rafale C", "RFAL"}, {"RJ100", "RJ1H"},    {"SPITFIRE", "SPIT"},
    {"SR-71", "SR71"},     {"UH-1H", "UH1"},
}};

constexpr std::array<ModelType, 1> kByModelWord = {{{"Phenom 300E", "E55P"}}};

bool lf_isSpace(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

bool lf_startsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

bool lf_endsWith(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

std::string lf_trimSpaces(std::string text) {
  std::size_t first = 0;
  while (first < text.size() && lf_isSpace(text[first])) ++first;
  std::size_t last = text.size();
  while (last > first && lf_isSpace(text[last - 1])) --last;
  return text.substr(first, last - first);
}

// The simulator wraps the model in its string-table decorations: ATCCOM.AC_MODEL B738.0.text.
std::string lf_normalizeModelText(std::string model) {
  model = lf_trimSpaces(std::move(model));
  if (lf_startsWith(model, "ATCCOM.AC_MODEL ")) model.erase(0, 16);
  if (lf_endsWith(model, ".0.text")) model.erase(model.size() - 7);
  if (lf_startsWith(model, "$$:")) model.erase(0, 3);
  return lf_trimSpaces(std::move(model));
}

}  // namespace

std::optional<std::string> gf_userAcIcaoType(std::string model, std::string_view title) {
  std::string m = lf_normalizeModelText(std::move(model));
  bool found = false;
  for (const TitledModel& row : kByTitle) {
    if (m == row.model && title.find(row.titleWord) != std::string_view::npos) {
      m = row.type;
      found = true;
      break;
    }
  }
  if (!found) {
    for (const ModelType& row : kByModel) {
      if (m == row.model) {
        m = row.type;
        found = true;
        break;
      }
    }
  }
  if (!found) {
    for (const ModelType& row : kByModelWord) {
      if (m.find(row.model) != std::string::npos) {
        m = row.type;
        break;
      }
    }
  }
  if (m.empty() || !gf_isIcaoModelCode(m)) return std::nullopt;
  return m;
}
