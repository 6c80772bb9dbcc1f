#include "formats/kml_reader.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "formats/kml_writer.h"
#include "formats/xml_tokenizer.h"
#include "records/angles.h"
#include "records/calendar.h"
#include "records/numeric.h"

namespace skylode {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\r' || c == '\n' || c == '\t'; }

// Whitespace-separated items of an element's text.
std::vector<std::string_view> Items(std::string_view text) {
  std::vector<std::string_view> items;
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && IsBlank(text[i])) ++i;
    const size_t start = i;
    while (i < text.size() && !IsBlank(text[i])) ++i;
    if (i > start) items.push_back(text.substr(start, i - start));
  }
  return items;
}

template <typename Number>
bool WholeNumber(std::string_view s, Number& value) {
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  const auto r = std::from_chars(s.data(), s.data() + s.size(), value);
  return !s.empty() && r.ec == std::errc{} && r.ptr == s.data() + s.size();
}

bool Decimal(std::string_view s, double& value) {
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  const auto r = std::from_chars(s.data(), s.data() + s.size(), value);
  return !s.empty() && r.ec == std::errc{} && r.ptr == s.data() + s.size() && std::isfinite(value);
}

struct Position {
  double longitude = 0;  // degrees
  double latitude = 0;
  double height = 0;     // metres
  bool hasHeight = false;
};

// "lon,lat[,height]" in degrees and metres.
bool ParsePosition(std::string_view item, Position& p) {
  const size_t c1 = item.find(',');
  if (c1 == std::string_view::npos) return false;
  const size_t c2 = item.find(',', c1 + 1);
  const std::string_view lat = item.substr(c1 + 1, c2 == std::string_view::npos ? std::string_view::npos : c2 - c1 - 1);
  if (!Decimal(item.substr(0, c1), p.longitude) || !Decimal(lat, p.latitude)) return false;
  if (std::fabs(p.latitude) > 90 || std::fabs(p.longitude) > 180) return false;
  p.hasHeight = c2 != std::string_view::npos;
  if (p.hasHeight && !Decimal(item.substr(c2 + 1), p.height)) return false;
  return true;
}

struct TrackCandidate {
  bool isTrack = false;
  bool hasFsInfo = false;
  const char* fsInfo = nullptr;
  std::optional<std::string_view> seconds;
  std::optional<std::string_view> pressure;
  std::optional<std::string_view> coordinates;
};

std::string TimeLabel(const CalendarTime& t) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%d-%02d-%02d   %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute,
                t.second);
  return buf;
}

Error Fail(std::string message) { return Error::Content(std::move(message)); }

std::string_view Parent(const std::vector<std::string_view>& names) {
  return names.size() >= 2 ? names[names.size() - 2] : std::string_view();
}

Result<KmlTrack> ReadChosenTrack(const TrackCandidate& track) {
  if (!track.hasFsInfo) return Fail("No track log information found");
  if (!track.seconds) return Fail("No track log time offsets found");
  if (!track.coordinates) return Fail("No track log positions found");

  const auto firstText = XmlAttributeText(track.fsInfo, "time_of_first_point", kKmlAttributeLimit);
  const auto first = firstText ? ParseXmlTime(*firstText) : std::nullopt;
  if (!first) return Fail("Bad time_of_first_point");

  FsInfoHash sha;
  const auto feed = [&](std::string_view s) { sha.Feed(s); };
  feed(*firstText);
  if (const auto instrument = XmlAttributeText(track.fsInfo, "instrument", kKmlAttributeLimit))
    feed(XmlDecodeEntities(*instrument));
  if (const auto downloaded = XmlAttributeText(track.fsInfo, "downloaded", kKmlAttributeLimit)) feed(*downloaded);

  KmlTrack result;
  const std::vector<std::string_view> offsets = Items(*track.seconds);
  // An empty list would hand the program a track log without positions.
  if (offsets.empty()) return Fail("No track log time offsets found");
  result.points.resize(offsets.size());
  for (size_t i = 0; i < offsets.size(); ++i) {
    int32_t offset = 0;
    if (!WholeNumber(offsets[i], offset)) return Fail("Bad <SecondsFromTimeOfFirstPoint> data");
    const int64_t time = static_cast<int64_t>(first->seconds) + offset;
    if (time < 0 || time > static_cast<int64_t>(UINT32_MAX)) return Fail("Bad <SecondsFromTimeOfFirstPoint> data");
    result.points[i].time = static_cast<uint32_t>(time);
    TextOutputBuffer item;
    item.Int(offset);
    if (i + 1 < offsets.size()) item.Append(' ');
    feed(item.text());
  }
  if (!result.points.empty()) result.points.front().flags = kTrackPointStartsSegment;

  if (track.pressure) {
    const std::vector<std::string_view> heights = Items(*track.pressure);
    if (heights.size() != offsets.size()) return Fail("Bad number of positions in <PressureAltitude>");
    for (size_t i = 0; i < heights.size(); ++i) {
      int32_t h = 0;
      if (!WholeNumber(heights[i], h)) return Fail("Bad <PressureAltitude> data");
      result.points[i].baroHeight = h;
      TextOutputBuffer item;
      item.Int(h);
      if (i + 1 < heights.size()) item.Append(' ');
      feed(item.text());
    }
    result.hasPressure = true;
  }

  const std::vector<std::string_view> coordinates = Items(*track.coordinates);
  if (coordinates.size() != offsets.size()) return Fail("Bad number of positions in <coordinates>");
  for (size_t i = 0; i < coordinates.size(); ++i) {
    Position p;
    if (!ParsePosition(coordinates[i], p)) return Fail("Bad <coordinates> data");
    const auto lat = DegreesToLatitude(p.latitude);
    const auto lon = DegreesToLongitude(p.longitude);
    const auto tenths = CheckedRound<int32_t>(p.height * 10);
    if (!lat || !lon || !tenths) return Fail("Bad <coordinates> data");
    result.points[i].latitude = *lat;
    result.points[i].longitude = *lon;
    result.points[i].gpsHeight = *tenths;
    TextOutputBuffer item;
    item.Fixed(p.longitude, 6).Append(',').Fixed(p.latitude, 6).Append(',').Int(ClampRound<int32_t>(p.height));
    if (i + 1 < coordinates.size()) item.Append(' ');
    feed(item.text());
  }

  const std::string expected = sha.Finish();
  if (const auto hash = XmlAttributeText(track.fsInfo, "hash", kKmlAttributeLimit))
    result.signatureValid = *hash == expected;
  result.timesUtc = first->zulu;
  return result;
}

}  // namespace

Result<KmlTrack> ReadKmlTrack(std::string_view text, const KmlTrackHooks& hooks) {
  std::string buffer(text);
  std::vector<TrackCandidate> tracks;
  std::vector<std::string_view> names;
  std::vector<int> folderTracks;  // tracks in each open folder
  std::optional<TrackCandidate> placemark;
  bool inTrackMetadata = false;
  bool limited = false;
  std::string problem;

  const Status walked = WalkXml(buffer, [&](const XmlEvent& ev) {
    if (ev.kind == XmlEvent::kStart) names.push_back(ev.name);
    const bool opens = ev.kind != XmlEvent::kEnd;
    if (ev.name == "Folder" && ev.kind == XmlEvent::kStart) folderTracks.push_back(0);
    if (ev.name == "Placemark" && ev.kind == XmlEvent::kStart) {
      placemark.emplace();
      inTrackMetadata = false;
    } else if (placemark && ev.name == "Metadata" && opens) {
      const auto type = XmlAttributeText(ev.attributes, "type", kKmlAttributeLimit);
      if (type && *type == "track") {
        if (placemark->isTrack) {
          problem = "Multiple tracks in one <Placemark> element";
          return false;
        }
        placemark->isTrack = true;
        inTrackMetadata = ev.kind == XmlEvent::kStart;
      }
    } else if (placemark && inTrackMetadata && ev.name == "FsInfo" && opens) {
      placemark->hasFsInfo = true;
      placemark->fsInfo = ev.attributes;
    } else if (ev.kind == XmlEvent::kEnd) {
      if (placemark && inTrackMetadata && ev.name == "SecondsFromTimeOfFirstPoint") {
        placemark->seconds = ev.text;
      } else if (placemark && inTrackMetadata && ev.name == "PressureAltitude") {
        placemark->pressure = ev.text;
      } else if (ev.name == "Metadata") {
        inTrackMetadata = false;
      } else if (placemark && ev.name == "coordinates" && Parent(names) == "LineString") {
        placemark->coordinates = ev.text;
      } else if (ev.name == "Placemark" && placemark) {
        if (placemark->isTrack) {
          if (!folderTracks.empty() && ++folderTracks.back() > 1) {
            problem = "Multiple tracks in one <Folder> element";
            return false;
          }
          if (tracks.size() < static_cast<size_t>(kKmlTrackLimit)) {
            tracks.push_back(*placemark);
          } else if (!limited) {
            limited = true;
            if (hooks.tracksLimited) hooks.tracksLimited();
          }
        }
        placemark.reset();
      } else if (ev.name == "Folder" && !folderTracks.empty()) {
        folderTracks.pop_back();
      }
      names.pop_back();
    }
    return true;
  });
  if (!walked.ok()) return walked.error();
  if (!problem.empty()) return Fail(problem);
  if (tracks.empty()) return Fail("No track log found");

  size_t chosen = 0;
  if (tracks.size() > 1) {
    std::vector<std::string> labels;
    for (const TrackCandidate& t : tracks) {
      const auto value = XmlAttributeText(t.fsInfo, "time_of_first_point", kKmlAttributeLimit);
      if (!value) return Fail("Missing track time");
      const auto time = ParseXmlTime(*value);
      if (!time) return Fail("Bad track time");
      labels.push_back(TimeLabel(SecondsToDateTime(time->seconds)));
    }
    if (hooks.chooseTrack) {
      const auto pick = hooks.chooseTrack(labels);
      if (!pick || *pick >= tracks.size()) return Error::Cancelled();
      chosen = *pick;
    }
  }
  return ReadChosenTrack(tracks[chosen]);
}

Result<WaypointList> ReadKmlWaypoints(std::string_view text, uint32_t now,
                                      const WaypointOverwriteQuestion& askOverwrite) {
  std::string buffer(text);
  WaypointList list;
  std::vector<std::string_view> names;
  struct Fields {
    std::optional<std::string_view> name, description, coordinates;
  };
  std::optional<Fields> placemark;
  int number = 0;
  std::string problem;

  const Status walked = WalkXml(buffer, [&](const XmlEvent& ev) {
    if (ev.kind == XmlEvent::kStart) names.push_back(ev.name);
    if (ev.name == "Placemark" && ev.kind == XmlEvent::kStart) placemark.emplace();
    if (ev.kind != XmlEvent::kEnd) return true;
    const std::string_view parent = Parent(names);
    if (placemark && ev.name == "name" && parent == "Placemark") {
      placemark->name = ev.text;
    } else if (placemark && ev.name == "description" && parent == "Placemark") {
      placemark->description = ev.text;
    } else if (placemark && ev.name == "coordinates" && parent == "Point") {
      placemark->coordinates = ev.text;
    } else if (placemark && ev.name == "Placemark") {
      ++number;
      const Fields f = *placemark;
      placemark.reset();
      if (!f.name || !f.coordinates) {
        problem = "Missing tag(s) for waypoint " + std::to_string(number);
        return false;
      }
      const std::string idText = XmlDecodeEntities(*f.name);
      const std::vector<std::string_view> items = Items(*f.coordinates);
      if (Items(idText).empty() || items.empty()) {
        problem = "Missing data for waypoint " + std::to_string(number);
        return false;
      }
      const auto id = ParseWaypointId(idText);
      if (!id || id->empty()) {
        problem = "Bad ID for waypoint " + std::to_string(number);
        return false;
      }
      Position p;
      const auto bad = [&] { problem = "Bad <coordinates> in waypoint " + *id; };
      if (items.size() != 1 || !ParsePosition(items[0], p)) {
        bad();
        return false;
      }
      const auto lat = DegreesToLatitude(p.latitude);
      const auto lon = DegreesToLongitude(p.longitude);
      const auto height = CheckedRound<int32_t>(p.height);
      if (!lat || !lon || !height) {
        bad();
        return false;
      }
      Waypoint w;
      w.id = *id;
      w.name = f.description ? NormaliseDescription(XmlDecodeEntities(*f.description)) : std::string();
      w.latitude = *lat;
      w.longitude = *lon;
      w.height = *height;
      w.time = now;
      w.symbol = kDefaultWaypointSymbol;
      InsertWaypoint(list, w, askOverwrite);
    }
    names.pop_back();
    return true;
  });
  if (!walked.ok()) return walked.error();
  if (!problem.empty()) return Fail(problem);
  return list;
}

KmlFolderSpan FindKmlFolders(std::string_view text) {
  std::string buffer(text);
  KmlFolderSpan span;
  int depth = 0;
  bool started = false;
  const Status walked = WalkXml(buffer, [&](const XmlEvent& ev) {
    if (ev.name != "Folder") return true;
    if (ev.kind == XmlEvent::kStart) {
      if (depth == 0 && !started) {
        span.start = ev.tagOffset;
        started = true;
      }
      ++depth;
    } else if (ev.kind == XmlEvent::kEnd) {
      --depth;
      if (depth == 0) {
        span.end = ev.endOffset;
        span.found = true;
      }
    }
    return true;
  });
  if (!walked.ok()) return {};
  return span;
}

}  // namespace skylode
