#include "tools/livery_tree.h"

#include <fmt/format.h>
#include <pugixml.hpp>

#include <algorithm>
#include <array>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace {

enum class Encoding { utf8, utf8Bom, utf16, ansi };

struct Registration {
  std::string airline, op, model;
  bool cargo = false;
};

struct SampleData {
  std::vector<std::string> models;
  std::vector<std::string> airlines;
  std::map<std::string, Registration> registrations;
  std::vector<std::pair<std::string, std::string>> aigTitles;  // title, registration
};

std::vector<std::string> lf_splitList(const std::string& text) {
  std::vector<std::string> items;
  std::stringstream stream(text);
  for (std::string item; std::getline(stream, item, ',');)
    if (!item.empty()) items.push_back(item);
  return items;
}

pugi::xml_node lf_loadRoot(pugi::xml_document& document, const fs::path& file) {
  if (!document.load_file(file.c_str())) throw std::runtime_error(fmt::format("cannot read {}", file.string()));
  return document.child("root");
}

SampleData lf_readSampleData(const fs::path& folder) {
  SampleData data;
  pugi::xml_document dbase;
  const pugi::xml_node root = lf_loadRoot(dbase, folder / "dbase.xml");
  for (const pugi::xml_node node : root.child("aircrafts").children("aircraft"))
    for (auto& model : lf_splitList(node.attribute("types").value())) data.models.push_back(model);
  for (const pugi::xml_node node : root.child("ICAO_airlines").children("ICAO"))
    for (auto& code : lf_splitList(node.attribute("codes").value()))
      if (code != "ZZZ") data.airlines.push_back(code);
  for (const pugi::xml_node node : root.child("dbase").children("d")) {
    const std::string cargo = node.attribute("c").value();
    data.registrations[node.attribute("r").value()] = {node.attribute("a").value(), node.attribute("o").value(),
                                                      node.attribute("m").value(), cargo == "yes" || cargo == "true"};
  }
  pugi::xml_document aig;
  for (const pugi::xml_node node : lf_loadRoot(aig, folder / "AIG-regcodes.xml").child("aig").children("l"))
    data.aigTitles.emplace_back(node.attribute("t").value(), node.attribute("r").value());
  return data;
}

void lf_appendUtf16(std::string& out, std::uint32_t unit) {
  out += static_cast<char>(unit & 0xFF);
  out += static_cast<char>(unit >> 8);
}

// Our texts are valid UTF-8; these writers assume it.
std::string lf_encode(const std::string& text, Encoding encoding) {
  if (encoding == Encoding::utf8) return text;
  if (encoding == Encoding::utf8Bom) return "\xEF\xBB\xBF" + text;
  std::string out = encoding == Encoding::utf16 ? std::string("\xFF\xFE") : std::string();
  for (std::size_t i = 0; i < text.size();) {
    const auto b = static_cast<unsigned char>(text[i]);
    std::uint32_t cp = b;
    std::size_t length = 1;
    if (b >= 0xF0) cp = b & 0x07u, length = 4;
    else if (b >= 0xE0) cp = b & 0x0Fu, length = 3;
    else if (b >= 0xC0) cp = b & 0x1Fu, length = 2;
    for (std::size_t k = 1; k < length; ++k) cp = (cp << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3Fu);
    i += length;
    if (encoding == Encoding::ansi) {
      if (cp >= 0x100 || (cp >= 0x80 && cp < 0xA0)) throw std::runtime_error("not a Windows-1252 text");
      out += static_cast<char>(cp);
    } else if (cp >= 0x10000) {
      lf_appendUtf16(out, 0xD800 + ((cp - 0x10000) >> 10));
      lf_appendUtf16(out, 0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      lf_appendUtf16(out, cp);
    }
  }
  return out;
}

void lf_writeBytes(const fs::path& file, const std::string& bytes) {
  fs::create_directories(file.parent_path());
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error(fmt::format("cannot write {}", file.string()));
}

struct ExpectedLivery {
  std::string airline, op, model;
  bool cargo = false;
  std::string title, registration;
  int rank = 0;
};

class TreeWriter {
 public:
  TreeWriter(const LiveryTreeOptions& options, SampleData data)
      : o_(options), data_(std::move(data)), random_(options.seed) {}

  LiveryTreeSummary write() {
    fs::create_directories(o_.community);
    if (o_.cases) {
      aigFromRegcodes();
      aigCases();
      otherPackages();
      ivao();
      decoys();
    }
    bulk();
    return finish();
  }

 private:
  static constexpr int kAig = 1, kFsltl = 2, kJf = 3, kMtl = 4, kUser = 5;
  static constexpr std::array<const char*, 5> kPackages{"", "aig-aitraffic-oci", "fsltl-traffic-base",
                                                         "justflight-aircraft-traffic-fleet", "IVAO_MTL"};

  static fs::path planes(int rank) {
    return fs::path(rank == kUser ? "user-aitraffic" : kPackages[static_cast<std::size_t>(rank)]) / "SimObjects" /
           "Airplanes";
  }
  std::string pathOf(const fs::path& file) const { return (o_.community / file).string(); }
  std::string folderOf(const fs::path& file) const { return (o_.community / file).parent_path().string(); }

  void file(const fs::path& relative, Encoding encoding, bool crlf, const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& line : lines) text += line + (crlf ? "\r\n" : "\n");
    lf_writeBytes(o_.community / relative, lf_encode(text, encoding));
    ++files_;
  }
  void livery(int rank, const std::string& airline, const std::string& op, const std::string& model, bool cargo,
              const std::string& title, const std::string& registration = "") {
    liveries_.push_back({airline, op, model, cargo, title, registration, rank});
  }
  void dbaseLivery(int rank, const std::string& title, const std::string& registration) {
    const Registration& r = data_.registrations.at(registration);
    livery(rank, r.airline, r.op, r.model, r.cargo, title, registration);
  }
  void missingAirline(const fs::path& f, const std::string& header) {
    incomplete_.push_back(fmt::format("{} {} icao_airline is missing, or it has invalid info ", pathOf(f), header));
  }
  void incomplete(std::string line) { incomplete_.push_back(std::move(line)); }

  // The AIG package from the registration codes: one file per model, its sections in every
  // header and title form, each followed by comment lines that must not count as its own.
  void aigFromRegcodes() {
    std::map<std::string, std::vector<std::pair<std::string, std::string>>> byModel;
    for (const auto& entry : data_.aigTitles) byModel[data_.registrations.at(entry.second).model].push_back(entry);
    const std::map<std::string, std::pair<Encoding, bool>> encodings{
        {"A388", {Encoding::utf8Bom, false}}, {"B77W", {Encoding::utf16, true}}, {"MD11", {Encoding::ansi, true}},
        {"A359", {Encoding::utf8, true}}};
    for (const auto& [model, entries] : byModel) {
      const fs::path f = planes(kAig) / ("AIG_" + model) / "aircraft.cfg";
      std::vector<std::string> lines{"[VERSION]", "major = 1"};
      int n = 0;
      for (const auto& [title, registration] : entries) {
        const std::array<std::string, 4> headers{fmt::format("[fltsim.{}]", n), fmt::format("[FLTSIM.{}]", n),
                                                 fmt::format("  [fltsim.{}]\t", n),
                                                 fmt::format("[fltsim.{}] ; old", n)};
        lines.push_back(headers[static_cast<std::size_t>(n % 4)]);
        lines.push_back(n % 2 == 1 ? fmt::format("title = \"{}\" ; quoted", title) : "title=" + title);
        lines.push_back("icao_airline=" + data_.registrations.at(registration).airline);
        lines.push_back("atc_id=" + registration);
        lines.insert(lines.end(), {"; the next livery", "// atc_id=XX-OLD", ""});
        dbaseLivery(kAig, title, registration);
        ++n;
      }
      if (model == "MD11") {
        lines.insert(lines.end(), {fmt::format("[fltsim.{}]", n), "title=AIG MD-11F Caf\xC3\xA9 Cargolux",
                                   "icao_airline=CLX", "atc_id=LX-ECV", "atc_parking_types=RAMP_CARGO"});
        livery(kAig, "CLX", "", "MD11", true, "AIG MD-11F Caf\xC3\xA9 Cargolux", "LX-ECV");
        ++n;
      }
      if (model == "B77W") {
        const std::string h1 = fmt::format("[fltsim.{}]", n), h2 = fmt::format("[fltsim.{}]", n + 1),
                          h3 = fmt::format("[fltsim.{}]", n + 2);
        lines.insert(lines.end(), {h1, "title=" + entries.front().first, "icao_airline=BAW", "atc_id=G-STBB", h2,
                                   "title=AIG Boeing 777-300ER Nobody", h3, "title=AIG Boeing 777-300ER Unknown",
                                   "atc_id=ZZ-TOP99"});
        const std::string folder = folderOf(f);
        incomplete(fmt::format("{} {} title '{}' already exists", folder, h1, entries.front().first));
        missingAirline(f, h2);
        incomplete(fmt::format("'{}' '{}' has no airline and no regcode info", folder, h2));
        missingAirline(f, h3);
        incomplete(fmt::format("'{}' '{}' has no airline and regcode not in dbase", folder, h3));
      }
      lines.insert(lines.end(), {"[General]", "icao_type_designator=" + model, "; [fltsim.90]",
                                 "title=AIG Ghost behind a comment", "// [fltsim.91]"});
      const auto found = encodings.find(model);
      const auto [encoding, crlf] = found == encodings.end() ? std::pair{Encoding::utf8, false} : found->second;
      file(f, encoding, crlf, lines);
    }
  }

  // Every rule of a section, one section each, in a file of model "a20n".
  void aigCases() {
    const fs::path f = planes(kAig) / "AIG_A20N" / "aircraft.cfg";
    const std::string folder = folderOf(f), path = pathOf(f);
    std::vector<std::string> lines{"[General]", "icao_type_designator=a20n"};
    int n = 0;
    auto section = [&](std::vector<std::string> keys) {
      std::string header = fmt::format("[fltsim.{}]", n++);
      lines.push_back(header);
      lines.insert(lines.end(), keys.begin(), keys.end());
      return header;
    };
    const std::string t = "AIG A20N ";
    missingAirline(f, section({"title=" + t + "FenixA320 House", "icao_airline=DLH"}));
    section({"icao_airline=RFO", "title=" + t + "Rfo"});
    std::string h = section({"title=" + t + "Qqq", "icao_airline=QQQ"});
    invalidAirline_.push_back(fmt::format("{:12} in {} {}", "QQQ", path, h));
    missingAirline(f, h);
    livery(kAig, "PVT", "", "A20N", false, t + "Qqq");
    section({"title=" + t + "British Airways", "icao_airline=BAWX"});
    livery(kAig, "BAW", "", "A20N", false, t + "British Airways");
    h = section({"title=" + t + "Abcd", "icao_airline=ABCD"});
    invalidAirline_.push_back(fmt::format("{:12} in {} {}", "ABCD", path, h));
    missingAirline(f, h);
    livery(kAig, "PVT", "", "A20N", false, t + "Abcd");
    section({"title=" + t + "Generic", "icao_airline=ZZZZ", "atc_id=D-AGEN"});
    livery(kAig, "ZZZ", "", "A20N", false, t + "Generic");
    section({"title=" + t + "Lufthansa-STUB", "icao_airline=DLH", "atc_id=D-ASTB"});
    livery(kAig, "ZZZ", "", "A20N", false, t + "Lufthansa-STUB");
    section({"title=" + t + "Fictional Air", "icao_airline=DLH"});
    h = section({"title=" + t + "One", "title=" + t + "Two", "icao_airline=DLH"});
    incomplete(fmt::format("{} {} has more than one title key", folder, h));
    missingAirline(f, h);
    h = section({"title=" + t + "Swiss", "icao_airline=SWR", "icao_airline=DLH"});
    incomplete(fmt::format("{} {} has more than one icao_airline key", folder, h));
    h = section({"title=" + t + "Austrian", "icao_airline=AUA", "atc_parking_types=GATE", "atc_parking_types=RAMP"});
    incomplete(fmt::format("{} {} has more than one atc_parking_types key", folder, h));
    h = section({"title=" + t + "KLM", "icao_airline=KLM", "atc_id=PH-AAA", "atc_id=PH-BBB"});
    incomplete(fmt::format("{}, {}, has more than one atc_id key", folder, h));
    section({"title=" + t + "Delta", "icao_airline=DAL", "atc_id=N123AB,N124AB"});
    livery(kAig, "DAL", "", "A20N", false, t + "Delta");
    section({"title=" + t + "United", "icao_airline=UAL", "atc_id=ABCDEFGHIJKLM"});
    incomplete(fmt::format("invalid atc_id=ABCDEFGHIJKLM in: {}United", t));
    livery(kAig, "UAL", "", "A20N", false, t + "United");
    section({"title=" + t + "American", "icao_airline=AAL", "atc_id=N-AB*C"});
    incomplete(fmt::format("invalid atc_id=N-AB*C in: {}American", t));
    livery(kAig, "AAL", "", "A20N", false, t + "American");
    section({"title=" + t + "Lufthansa", "icao_airline=DLH", "atc_id=D-ABCD ; old", "atc_id = D-ABCE"});
    livery(kAig, "DLH", "", "A20N", false, t + "Lufthansa", "D-ABCD");
    section({"title=" + t + "Short Registration", "icao_airline=EZY", "atc_id=ABCD"});
    livery(kAig, "EZY", "", "A20N", false, t + "Short Registration");
    h = section({"icao_airline=RYR"});
    incomplete(fmt::format("{} {} misses title", folder, h));
    section({"title=" + t + "Gate Cargo", "icao_airline=UPS", "atc_parking_types=GATE,CARGO"});
    livery(kAig, "UPS", "", "A20N", false, t + "Gate Cargo");
    section({"title=" + t + "Small Cargo", "icao_airline=GTI", "atc_parking_types=cargo"});
    livery(kAig, "GTI", "", "A20N", true, t + "Small Cargo");
    section({"title=" + kDontUseTitle, "icao_airline=DLH"});
    section({"title=" + t + "Emirates ; comment kept", "icao_airline=UAE"});
    livery(kAig, "UAE", "", "A20N", false, t + "Emirates ; comment kept");
    h = section({"title=\"", "icao_airline=SIA"});
    incomplete(fmt::format("{} {} misses title", folder, h));
    file(f, Encoding::utf8, false, lines);

    auto one = [&](const std::string& name, std::vector<std::string> content) {
      const fs::path g = planes(kAig) / name;
      file(g, Encoding::utf8, false, content);
      return g;
    };
    const fs::path b787 = one("AIG_B787/aircraft.cfg", {"[General]", "icao_type_designator=B7878", "[fltsim.0]",
                                                         "title=AIG B787 Unknown", "icao_airline=DLH"});
    invalidModel_.push_back(fmt::format("{:16} in {}", "B787", pathOf(b787)));
    const fs::path fix = one("AIG_B77F/aircraft.cfg", {"[fltsim.0]", "title=AIG Boeing 777F DHL", "icao_airline=DHK",
                                                        "atc_parking_types=CARGO", "[General]",
                                                        "icao_type_designator=B77F"});
    fixes_.push_back(fmt::format("Model fix: B77F found in {} changed into B77L", pathOf(fix)));
    livery(kAig, "DHK", "", "B77L", true, "AIG Boeing 777F DHL");
    const fs::path empty = one("AIG_Empty/aircraft.cfg", {"[General]", "icao_type_designator=XXXX"});
    noFltsim_.push_back(pathOf(empty));
    invalidModel_.push_back(fmt::format("{:16} in {}", "XXXX", pathOf(empty)));
    one("AIG_Range/aircraft.cfg", {"[General]", "icao_type_designator=B738", "[fltsim.10000]",
                                    "title=AIG B738 Ryanair", "icao_airline=RYR"});
    livery(kAig, "RYR", "", "B738", false, "AIG B738 Ryanair");
    const fs::path high = one("AIG_TooHigh/aircraft.cfg", {"[General]", "icao_type_designator=B738", "[fltsim.0]",
                                                           "title=AIG B738 Too High 0", "icao_airline=RYR",
                                                           "[fltsim.10001]", "title=AIG B738 Too High 1"});
    invalidCfg_.push_back(
        fmt::format("{} contains a [fltsim.x] section with a number < 0 or > 10000", pathOf(high)));
    one("AIG_Huge/aircraft.cfg", {"[General]", "icao_type_designator=B738", "[fltsim.99999999999]",
                                  "title=AIG B738 Huge Number", "icao_airline=RYR"});
    one("AIG_Asobo/aircraft.cfg", {"[General]", "base_container = \"..\\Asobo_A320_NEO\"", "[fltsim.0]",
                                   "title=AIG Asobo A20N KLM", "icao_airline=KLM"});
    livery(kAig, "KLM", "", "A20N", false, "AIG Asobo A20N KLM");
    const fs::path lower = one("AIG_asobo_case/aircraft.cfg", {"[General]", "base_container=..\\asobo_a320_neo",
                                                               "[fltsim.0]", "title=AIG asobo lower case",
                                                               "icao_airline=KLM"});
    invalidCfg_.push_back(
        fmt::format("Line icao_type_designator= is missing in [General] section of {}", pathOf(lower)));
    one("AIG_Upper/AIRCRAFT.CFG", {"[General]", "icao_type_designator=E190", "[fltsim.0]",
                                   "title=AIG E190 KLM Cityhopper", "icao_airline=KLM"});
    livery(kAig, "KLM", "", "E190", false, "AIG E190 KLM Cityhopper");
    const std::vector<std::string> unused{"[General]", "icao_type_designator=E190", "[fltsim.0]",
                                          "title=AIG E190 Never Scanned", "icao_airline=KLM"};
    one("AIG_Upper/aircraft.cfg.bak", unused);
    one("airport-vehicles/aircraft.cfg", unused);
    one("_CVT_Old/aircraft.cfg", unused);
  }

  // A key that the AIG package already has gives way in a lower package.
  void otherPackages() {
    file(planes(kFsltl) / "FSLTL_A20N" / "aircraft.cfg", Encoding::utf8, true,
         {"[General]", "icao_type_designator=A20N", "[fltsim.0]", "title=FSLTL A20N British Airways",
          "icao_airline=BAW", "[fltsim.1]", "title=FSLTL A20N Qantas", "icao_airline=QFA"});
    livery(kFsltl, "BAW", "", "A20N", false, "FSLTL A20N British Airways");
    livery(kFsltl, "QFA", "", "A20N", false, "FSLTL A20N Qantas");
    // A payware airliner's own file has no type line: left out without a word.
    file(planes(kFsltl) / "pmdg-aircraft-77w" / "aircraft.cfg", Encoding::utf8, false,
         {"[fltsim.0]", "title=PMDG 777 House", "icao_airline=DLH"});
    file(planes(kJf) / "JF_B738" / "aircraft.cfg", Encoding::utf8Bom, true,
         {"[General]", "icao_type_designator=B738", "[fltsim.0]", "title=JF B738 Ryanair", "icao_airline=RYR",
          "[fltsim.1]", "title=JF B738 Air France", "icao_airline=AFR", "atc_parking_types=GATE"});
    livery(kJf, "RYR", "", "B738", false, "JF B738 Ryanair");
    livery(kJf, "AFR", "", "B738", false, "JF B738 Air France");
    const fs::path user = planes(kUser) / "MyTraffic" / "aircraft.cfg";
    file(user, Encoding::utf8Bom, false,
         {"[General]", "icao_type_designator=C172", "[fltsim.0]", "title=User C172 Private"});
    missingAirline(user, "[fltsim.0]");
    livery(kUser, "PVT", "", "C172", false, "User C172 Private");
    file(planes(kUser) / "MyA20N" / "aircraft.cfg", Encoding::utf8, false,
         {"[General]", "icao_type_designator=A20N", "[fltsim.0]", "title=User A20N British Airways",
          "icao_airline=BAW"});
    livery(kUser, "BAW", "", "A20N", false, "User A20N British Airways");
  }

  void ivao() {
    const fs::path f = planes(kMtl) / "IVAO_B738" / "aircraft.cfg";
    const std::string folder = folderOf(f), path = pathOf(f);
    for (const char* texture : {"DLH", "KLM", "EZY", "ZZZ"})
      fs::create_directories(o_.community / f.parent_path() / fmt::format("texture.{}", texture));
    file(f, Encoding::utf16, true,
         {"[fltsim.0]", "title=B738 DLH D-ABCD", "texture=DLH",
          "[fltsim.1]", "title=\"  B738 KLM PH-BXA  \"", "texture=KLM", "atc_id=PH-BXA",
          "[fltsim.2]", "title=B738 dlh Lower", "texture=DLH",
          "[fltsim.3]", "title=Some B738", "texture=DLH",
          "[fltsim.4]", "title=Other 738", "atc_id=ZZ-UNKN", "texture=DLH",
          "[fltsim.5]", "title=Other 738 easyJet", "atc_id=G-EZAA", "texture=EZY",
          "[fltsim.6]", "title=B738 No Texture Line",
          "[fltsim.7]", "title=B738 QFA Missing", "texture=MISSING",
          "[fltsim.8]", "title=B738 ZZZ Generic", "atc_id=X-ABCDE", "texture=ZZZ",
          "[fltsim.9]", "title=" + data_.aigTitles.front().first, "atc_id=" + data_.aigTitles.front().second,
          "texture=DLH"});
    livery(kMtl, "DLH", "", "B738", false, "B738 DLH D-ABCD");
    livery(kMtl, "KLM", "", "B738", false, "B738 KLM PH-BXA", "PH-BXA");
    invalidAirline_.push_back(fmt::format("{:12} in {} {}", "dlh", path, "[fltsim.2]"));
    incomplete(fmt::format("{} [fltsim.3] misses airlinecode in title: Some B738, and no regcode", folder));
    incomplete(
        fmt::format("{} [fltsim.4] misses airlinecode in title: Other 738, and regcode unknown ZZ-UNKN", folder));
    dbaseLivery(kMtl, "Other 738 easyJet", "G-EZAA");
    incomplete(fmt::format("{}/texture. [fltsim.6] does not exist", folder));
    incomplete(fmt::format("{}/texture.MISSING [fltsim.7] does not exist", folder));
    livery(kMtl, "ZZZ", "", "B738", false, "B738 ZZZ Generic");
    incomplete(fmt::format("{} [fltsim.9] title already exists: {}", folder, data_.aigTitles.front().first));

    const fs::path w = planes(kMtl) / "IVAO_A320wIAE" / "aircraft.cfg";
    fs::create_directories(o_.community / w.parent_path() / "texture.SWR");
    file(w, Encoding::utf8, false,
         {"[fltsim.0]", "title=A320W SWR HB-IJA", "texture=SWR", "[fltsim.1]", "title=A320 SWR Without W",
          "texture=SWR"});
    livery(kMtl, "SWR", "", "A320", false, "A320W SWR HB-IJA");
    incomplete(fmt::format("{} [fltsim.1] misses airlinecode in title: A320 SWR Without W, and no regcode",
                           folderOf(w)));
    const fs::path unknown = planes(kMtl) / "IVAO_B7X7" / "aircraft.cfg";
    file(unknown, Encoding::utf8, false, {"[fltsim.0]", "title=B7X7 DLH", "texture=DLH"});
    invalidModel_.push_back(fmt::format("{:16} in {}", "B7X7", pathOf(unknown)));
    const fs::path odd = planes(kMtl) / "IVAO-B738" / "aircraft.cfg";
    file(odd, Encoding::utf8, false, {"[fltsim.0]", "title=B738 DLH Odd Folder", "texture=DLH"});
    invalidModel_.push_back(fmt::format("{:16} in {}", "  ", pathOf(odd)));
  }

  // Folders no scan of MSFS 2024 may read.
  void decoys() {
    const std::vector<std::string> content{"[General]", "icao_type_designator=A319", "[fltsim.0]",
                                           "title=Decoy A319 easyJet", "icao_airline=EZY"};
    for (const char* folder : {"_CVT_aig-aitraffic-oci", "_CVT_user-aitraffic", "aig-aitraffic-oci-beta",
                               "myairport-scenery"})
      file(fs::path(folder) / "SimObjects" / "Airplanes" / "Decoy" / "aircraft.cfg", Encoding::utf8, false, content);
  }

  // Plain files of seeded liveries in every package but IVAO's.
  void bulk() {
    constexpr std::array<int, 4> ranks{kAig, kFsltl, kJf, kUser};
    constexpr std::array<Encoding, 4> encodings{Encoding::utf8, Encoding::utf8Bom, Encoding::utf16, Encoding::ansi};
    for (std::size_t i = 0; i < o_.bulkFiles; ++i) {
      const int rank = ranks[i % ranks.size()];
      const std::string& model = pick(data_.models);
      std::vector<std::string> lines{"[General]", "icao_type_designator=" + model};
      const std::size_t sections = 1 + random_() % 3;
      for (std::size_t s = 0; s < sections; ++s) {
        const std::string& airline = pick(data_.airlines);
        const bool cargo = random_() % 8 == 0;
        const std::string title = fmt::format("Bulk {} {} {}-{}", airline, model, i, s);
        const std::string registration = fmt::format("Q{}-{:05}", static_cast<char>('A' + s), i);
        lines.insert(lines.end(), {fmt::format("[fltsim.{}]", s), "title=" + title, "icao_airline=" + airline,
                                   "atc_id=" + registration,
                                   cargo ? "atc_parking_types=CARGO" : "atc_parking_types=GATE"});
        livery(rank, airline, "", model, cargo, title, registration);
      }
      file(planes(rank) / fmt::format("Bulk_{:05}", i) / "aircraft.cfg", encodings[random_() % encodings.size()],
           random_() % 2 == 0, lines);
    }
  }

  const std::string& pick(const std::vector<std::string>& items) { return items[random_() % items.size()]; }

  LiveryTreeSummary finish() {
    // A combination of airline, operator, model and cargo flag stays with the highest package.
    std::map<std::string, int> highest;
    auto key = [](const ExpectedLivery& l) { return fmt::format("{}|{}|{}|{}", l.airline, l.op, l.model, l.cargo); };
    for (const auto& l : liveries_) {
      const auto [it, added] = highest.try_emplace(key(l), l.rank);
      if (!added) it->second = std::min(it->second, l.rank);
    }
    LiveryTreeSummary summary;
    summary.files = files_;
    std::vector<std::string> lines;
    for (const auto& l : liveries_) {
      if (l.rank > highest.at(key(l))) continue;
      lines.push_back(fmt::format("{}|{}|{}|{}|{}|{}", l.airline, l.op, l.model, l.cargo ? 1 : 0, l.title,
                                  l.registration));
      summary.titles.push_back(l.title);
    }
    std::sort(summary.titles.begin(), summary.titles.end());
    fs::create_directories(o_.expected);
    writeSorted("liveries.txt", lines, false);
    if (o_.cases) {
      writeSorted("IncompleFltsimSections.txt", incomplete_, true);
      writeSorted("InvalidAirlineCodes.txt", invalidAirline_, false);
      writeSorted("InvalidAircraftCodes.txt", invalidModel_, false);
      writeSorted("InvalidAircraftCfgFiles.txt", invalidCfg_, false);
      writeSorted("AircraftCfgWithNoFltsimSection.txt", noFltsim_, false);
      writeLines(o_.expected / "Fixes.txt", fixes_);
      writeLines(o_.expected / "DontUseLiveries.txt", {kDontUseTitle});
      writeLines(o_.expected / "my_regcodes" / "dontuse.txt", {kDontUseTitle});
    }
    return summary;
  }

  void writeSorted(const std::string& name, std::vector<std::string> lines, bool unique) {
    std::sort(lines.begin(), lines.end());
    if (unique) lines.erase(std::unique(lines.begin(), lines.end()), lines.end());
    writeLines(o_.expected / name, lines);
  }
  // A report the scan must not write has no file.
  static void writeLines(const fs::path& file, const std::vector<std::string>& lines) {
    if (lines.empty()) return;
    std::string text;
    for (const auto& line : lines) text += line + "\n";
    lf_writeBytes(file, text);
  }

  static inline const std::string kDontUseTitle = "AIG A20N DontUse Air";

  const LiveryTreeOptions& o_;
  SampleData data_;
  std::mt19937 random_;
  std::size_t files_ = 0;
  std::vector<ExpectedLivery> liveries_;
  std::vector<std::string> incomplete_, invalidAirline_, invalidModel_, invalidCfg_, noFltsim_, fixes_;
};

}  // namespace

LiveryTreeSummary gf_writeLiveryTree(const LiveryTreeOptions& options) {
  return TreeWriter(options, lf_readSampleData(options.dataFolder)).write();
}
