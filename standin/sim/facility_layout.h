#pragma once
// An airport's layout as the stand-in simulator's facility fixtures give it (data/sim/facilities/):
// the reference point, the field elevation, runways with their ends and stands with positions.
// Tools that draw or generate traffic around a fixture airport read it here, so they see the
// airport exactly as the simulator serves it.
#include <filesystem>
#include <string>
#include <vector>

namespace standin::sim {

struct LayoutRunwayEnd {
  std::string designator;     // "14", "28L"
  double latitude = 0.0;      // the runway's end, degrees
  double longitude = 0.0;
  double headingDeg = 0.0;    // true heading of a landing or take-off on this end
  double displacedMetres = 0.0;  // threshold displacement from the end
};

struct LayoutRunway {
  double latitude = 0.0;  // centre
  double longitude = 0.0;
  double altitudeMetres = 0.0;
  double headingDeg = 0.0;  // the primary end's direction
  double lengthMetres = 0.0;
  double widthMetres = 0.0;
  LayoutRunwayEnd primary;    // where a landing in the primary direction begins
  LayoutRunwayEnd secondary;
};

struct LayoutStand {
  std::string name;  // "A5", "B31"; "" for a parking without a name
  double latitude = 0.0;
  double longitude = 0.0;
  double headingDeg = 0.0;
  double radiusMetres = 0.0;
  int type = 0;  // SimConnect's TAXI_PARKING TYPE
};

struct FacilityLayout {
  std::string icao;
  std::string name;
  double latitude = 0.0;
  double longitude = 0.0;
  double elevationMetres = 0.0;
  std::vector<LayoutRunway> runways;
  std::vector<LayoutStand> stands;
};

// Throws std::runtime_error naming the file and what is wrong.
FacilityLayout readFacilityLayout(const std::filesystem::path& file);
FacilityLayout facilityLayoutFromJson(const std::string& json, const std::string& origin);

// Spherical-earth helpers, good to metres over the few tens of miles around an airport.
inline constexpr double kFeetPerMetre = 3.280839895;
inline constexpr double kMetresPerNm = 1852.0;
double distanceMetres(double lat1, double lon1, double lat2, double lon2);
double bearingDeg(double lat1, double lon1, double lat2, double lon2);  // initial, 0..360
void offsetPosition(double& lat, double& lon, double bearingDeg, double metres);

}  // namespace standin::sim
