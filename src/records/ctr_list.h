// Airspaces (CTRs): outlines in double-precision degrees.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace skylode {

enum class CtrSegmentKind : uint32_t {
  kPoint = 0,         // OpenAir DP
  kArcByPoints = 1,   // DB: centre and two end points
  kArcByAngles = 2,   // DA: centre, radius and two angles
  kCircle = 3,        // DC
};

struct LatLonDegrees {
  double latitude = 0;
  double longitude = 0;
  friend bool operator==(const LatLonDegrees&, const LatLonDegrees&) = default;
};

struct CtrSegment {
  CtrSegmentKind kind = CtrSegmentKind::kPoint;
  LatLonDegrees centre;  // the point itself for kPoint
  int32_t radius = 0;    // metres (arcs by angles and circles)
  LatLonDegrees from;    // arc by points: first end; arc by angles: start and end angle
  LatLonDegrees to;      // arc by points: second end
  char direction = '+';  // '+' clockwise, '-' counter-clockwise
  friend bool operator==(const CtrSegment&, const CtrSegment&) = default;
};

inline constexpr size_t kCtrTextMax = 50;
inline constexpr int32_t kDefaultWarningDistance = 200;

struct CtrArea {
  std::string name;     // at most 50 characters
  std::string ceiling;  // OpenAir AH, at most 50 characters
  std::string floor;    // OpenAir AL, at most 50 characters
  int32_t sourceLine = 0;
  bool selected = false;  // marked for an upload
  int32_t warningDistance = kDefaultWarningDistance;
  std::vector<CtrSegment> segments;
  friend bool operator==(const CtrArea&, const CtrArea&) = default;
};

struct CtrList {
  std::vector<CtrArea> areas;
  int32_t count() const { return static_cast<int32_t>(areas.size()); }
  bool empty() const { return areas.empty(); }
};

}  // namespace skylode
