// The texts of the flight statistics window and the track copy for the
// clipboard. Numbers are written without the user's locale: a decimal comma
// in a pasted track would break every program that reads it.
#pragma once

#include <span>
#include <string>

#include "analysis/flight_statistics.h"

namespace skylode {

// A double with a fixed number of decimals, always with a point.
std::string FixedDecimals(double value, int decimals);

// "hh:mm:ss" of a time.
std::string ClockText(uint32_t time);

struct StatisticsTexts {
  std::string date;         // "Date (UTC)"
  std::string start;        // "Start / Finish (UTC)"
  std::string finish;
  std::string duration;     // "Duration (hh:mm:ss)"
  std::string maxHeight;    // "Max./ min. height"
  std::string minHeight;
  std::string maxMeanSpeed; // "Max. mean/top speed"
  std::string topSpeed;
  std::string totalDistance;  // "Total distance"
};
StatisticsTexts FormatStatistics(const FlightStatistics& stats);

// One of the seven trip results as shown when the search is done: km, two decimals.
std::string FormatTripKm(const TripResult& result);

// The warning after a download whose times run backwards, or empty when they
// do not ("pos." counts from 1).
std::string BackwardsTimeWarning(const TimeOrderResult& order);

// One line per position: UTC date and time, latitude and longitude in
// degrees, GPS height in metres with one decimal, 60-second mean speed.
std::string BuildTrackClipboardText(std::span<const TrackPoint> points);

}  // namespace skylode
