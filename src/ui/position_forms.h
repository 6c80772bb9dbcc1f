// What the Edit Waypoint, Calculate distance and Coordinate conversion
// dialogs do with their fields, apart from the widgets: reading typed text in
// the order the checks run, with the message each failure shows, and
// writing positions back in the form the person reads. Free of Qt so that
// every check can be tried without a window.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "analysis/geodesy.h"
#include "records/waypoint.h"

namespace skylode {

// A refused field: the box's caption and text.
struct FieldError {
  std::string caption;
  std::string text;
  friend bool operator==(const FieldError&, const FieldError&) = default;
};

// --- Edit Waypoint ---------------------------------------------------------

struct WaypointFields {
  std::string id;
  std::string comment;
  std::string height;
  std::string symbol;
  std::string timestamp;
  bool utm = false;  // which of the two position sets counts
  std::string latitude;
  std::string longitude;
  std::string zone;
  std::string easting;
  std::string northing;
};

inline constexpr std::string_view kEditWaypointCaption = "Edit waypoint";

// The fields as the dialog opens with a waypoint.
WaypointFields FormatWaypointFields(const Waypoint& waypoint, bool utm);

// Checks the fields in the dialog's order and stops at the first error (all
// captioned "Edit waypoint"). The waypoint on success.
struct WaypointFieldsResult {
  std::optional<Waypoint> waypoint;
  std::optional<FieldError> error;
};
WaypointFieldsResult ParseWaypointFields(const WaypointFields& fields);

// "2026-07-14T13:05:09": year-month-dayThour:minute:second, an optional
// trailing 'Z' and blanks. Nothing for other text or an impossible date.
std::optional<uint32_t> ParseTimestamp(std::string_view text);
std::string FormatTimestamp(uint32_t seconds);

// --- Calculate distance ----------------------------------------------------

struct PositionFields {
  std::string latitude;
  std::string longitude;
  std::string zone;
  std::string easting;
  std::string northing;
};

// The fields for a position: FormatDms latitude and longitude, or the UTM
// zone "32T" with easting and northing as whole metres "0462343".
PositionFields FormatPositionFields(int32_t latitude, int32_t longitude, bool utm);

// Reads the From (`isFrom`) or To fields of the distance dialog.
struct PositionRead {
  std::optional<GeoPosition> position;
  std::optional<FieldError> error;
};
PositionRead ReadDistanceFields(const PositionFields& fields, bool utm, bool isFrom);

// "%.2f" metres, or "Error" when the distance cannot be had.
std::string DistanceText(const GeoPosition& from, const GeoPosition& to);

// --- Coordinate conversion -------------------------------------------------

struct ConversionResult {
  std::optional<FieldError> error;
  std::string zone;       // "32T"
  std::string easting;    // "%012.4f"
  std::string northing;
  std::string latitude;   // "N 47 12 30.50000"
  std::string longitude;  // "E 008 30 12.00000"
};

// "To UTM/UPS": an empty zone is chosen from the position; a given zone is
// used as typed and only the band letter is worked out again.
ConversionResult ConvertToUtm(std::string_view latitude, std::string_view longitude, std::string_view zone);
// "To degrees".
ConversionResult ConvertToDegrees(std::string_view zone, std::string_view easting, std::string_view northing);

}  // namespace skylode
