#include "formats/gpx_reader.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <functional>

#include "formats/xml_tokenizer.h"
#include "records/angles.h"
#include "records/calendar.h"
#include "records/numeric.h"

namespace skylode {
namespace {

// The declaration must open the file; what follows it is the walker's.
std::optional<std::string> HeadProblem(std::string_view text) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") {
    text.remove_prefix(3);
  } else if (!text.empty() && (static_cast<uint8_t>(text[0]) == 0xFE || static_cast<uint8_t>(text[0]) == 0xFF ||
                               (text.size() > 1 && (text[0] == '\0' || text[1] == '\0')))) {
    return "Unknown BOM before opening tag '<?xml>'";
  }
  std::string copy(text.substr(0, text.find('\0')));
  char* cursor = copy.data();
  XmlTag tag;
  const XmlNext next = NextXmlTag(cursor, tag);
  if (next == XmlNext::kEnd) return "No tags found";
  if (next == XmlNext::kBroken || std::string_view(tag.name) != "?xml" || tag.text != nullptr)
    return "Missing opening tag '<?xml>'";
  return std::nullopt;
}

std::optional<double> Decimal(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r' || s.front() == '\n'))
    s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n'))
    s.remove_suffix(1);
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  double v = 0;
  const auto r = std::from_chars(s.data(), s.data() + s.size(), v);
  if (s.empty() || r.ec != std::errc{} || r.ptr != s.data() + s.size() || !std::isfinite(v)) return std::nullopt;
  return v;
}

bool Blank(std::string_view s) { return s.find_first_not_of(" \t\r\n") == std::string_view::npos; }

// An element's text as it reads: entities decoded, except in a CDATA
// section, whose content stands as it is.
class ElementText {
 public:
  explicit ElementText(std::string_view original) : original_(original) {}
  void Started(const XmlEvent& ev) { contentStart_ = ev.endOffset; }
  std::string Of(const XmlEvent& ev) const {
    const bool cdata = contentStart_ <= ev.tagOffset &&
                       original_.substr(contentStart_, ev.tagOffset - contentStart_).find("<![CDATA[") !=
                           std::string_view::npos;
    return cdata ? std::string(ev.text) : XmlDecodeEntities(ev.text);
  }

 private:
  std::string_view original_;
  size_t contentStart_ = 0;
};

std::string Numbered(const char* format, int number) {
  char text[96];
  std::snprintf(text, sizeof text, format, number);
  return text;
}

std::string TimeLabel(uint32_t time) {
  const CalendarTime t = SecondsToDateTime(time);
  char text[48];
  std::snprintf(text, sizeof text, "%d-%02d-%02d   %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute,
                t.second);
  return text;
}

std::string_view Parent(const std::vector<std::string_view>& names) {
  return names.size() >= 2 ? names[names.size() - 2] : std::string_view();
}

// Counts the records (positions, waypoints) and keeps the first problem,
// whose message names the record.
struct Problems {
  int number = 0;
  std::string text;
  bool Fail(const char* format) {
    text = Numbered(format, number);
    return false;
  }
};

// Both readers walk a GPX text alike: the head is checked first; every start
// or empty tag goes to `onStart` with the name of its parent element, every
// end tag to `onEnd` with its parent's name and the element's text. A
// handler that returns false stops the walk after setting the problem.
using GpxStart = std::function<bool(const XmlEvent& ev, std::string_view parent)>;
using GpxEnd = std::function<bool(const XmlEvent& ev, std::string_view parent, const ElementText& text)>;

Status WalkGpx(std::string_view text, Problems& problems, const GpxStart& onStart, const GpxEnd& onEnd) {
  if (auto problem = HeadProblem(text)) return Error::Content(*problem);
  // The walk cuts its copy into pieces; CDATA is told apart in the original.
  std::string buffer(text);
  ElementText element(text);
  std::vector<std::string_view> names;
  const Status walked = WalkXml(buffer, [&](const XmlEvent& ev) {
    if (ev.kind != XmlEvent::kEnd) {
      names.push_back(ev.name);
      element.Started(ev);
      const bool more = onStart(ev, Parent(names));
      if (ev.kind == XmlEvent::kEmpty) names.pop_back();
      return more;
    }
    // `names` still holds the element itself.
    const bool more = onEnd(ev, Parent(names), element);
    names.pop_back();
    return more;
  });
  if (!problems.text.empty()) return Error::Content(problems.text);
  return walked;
}

// The lat and lon attributes of a track point or waypoint, in semicircles;
// false after the problem is set.
bool ReadPosition(const XmlEvent& ev, Problems& problems, const char* badLatitude, const char* badLongitude,
                  int32_t& latitude, int32_t& longitude) {
  const auto lat = XmlAttributeAngle(ev.attributes, "lat");
  const auto checkedLat = lat ? RadiansToLatitude(*lat) : std::nullopt;
  if (!checkedLat || std::fabs(*lat) > 1.5707963267948966 + 1e-12) return problems.Fail(badLatitude);
  const auto lon = XmlAttributeAngle(ev.attributes, "lon");
  const auto checkedLon = lon ? RadiansToLongitude(*lon) : std::nullopt;
  if (!checkedLon || std::fabs(*lon) > 3.141592653589793 + 1e-12) return problems.Fail(badLongitude);
  latitude = *checkedLat;
  longitude = *checkedLon;
  return true;
}

}  // namespace

Result<std::vector<TrackPoint>> ReadGpxTrack(std::string_view text, const GpxTrackHooks& hooks) {
  std::vector<std::vector<TrackPoint>> segments;
  struct Point {
    TrackPoint p;
    bool hasTime = false;
  };
  std::optional<Point> point;
  bool inSegment = false;
  Problems problems;

  const auto onStart = [&](const XmlEvent& ev, std::string_view parent) {
    if (ev.name == "trkseg" && parent == "trk") {
      if (segments.size() >= kGpxSegmentLimit) {
        problems.text = "Too many track segments";
        return false;
      }
      segments.emplace_back();
      inSegment = ev.kind == XmlEvent::kStart;
    } else if (ev.name == "trkpt" && inSegment && parent == "trkseg") {
      ++problems.number;
      Point p;
      if (!ReadPosition(ev, problems, "Missing/bad latitude data in position %d",
                        "Missing/bad longitude data in position %d", p.p.latitude, p.p.longitude))
        return false;
      point = p;
      if (ev.kind == XmlEvent::kEmpty) return problems.Fail("Missing tag(s) for position %d");
    }
    return true;
  };
  const auto onEnd = [&](const XmlEvent& ev, std::string_view parent, const ElementText& element) {
    if (point && (ev.name == "ele" || ev.name == "time") && parent == "trkpt") {
      if (Blank(ev.text)) return problems.Fail("Missing data for position %d");
      const std::string value = element.Of(ev);
      if (ev.name == "ele") {
        const auto metres = Decimal(value);
        const auto decimetres = metres ? CheckedRound<int32_t>(*metres * 10) : std::nullopt;
        if (!decimetres) return problems.Fail("Bad height data for position %d");
        point->p.gpsHeight = *decimetres;
      } else {
        const auto time = ParseXmlTime(value);
        if (!time) return problems.Fail("Bad time data for position %d");
        point->p.time = time->seconds;
        point->hasTime = true;
      }
    } else if (point && ev.name == "trkpt") {
      if (!point->hasTime) return problems.Fail("Missing tag(s) for position %d");
      std::vector<TrackPoint>& segment = segments.back();
      if (segment.empty()) point->p.flags = kTrackPointStartsSegment;
      segment.push_back(point->p);
      point.reset();
    } else if (ev.name == "trkseg") {
      inSegment = false;
    }
    return true;
  };
  if (const Status walked = WalkGpx(text, problems, onStart, onEnd); !walked.ok()) return walked.error();

  std::vector<size_t> filled;
  for (size_t k = 0; k < segments.size(); ++k)
    if (!segments[k].empty()) filled.push_back(k);
  if (filled.empty()) return Error::Content("No tracks found");
  size_t chosen = filled.front();
  if (filled.size() > 1 && hooks.chooseTrack) {
    std::vector<std::string> labels;
    for (size_t k : filled) labels.push_back(TimeLabel(segments[k].front().time));
    const auto pick = hooks.chooseTrack(labels);
    if (!pick || *pick >= filled.size()) return Error::Cancelled();
    chosen = filled[*pick];
  }
  return std::move(segments[chosen]);
}

Result<WaypointList> ReadGpxWaypoints(std::string_view text, const WaypointReadOptions& options) {
  WaypointIdCheck ids(options);
  WaypointList list;
  struct Fields {
    Waypoint w;
    std::optional<std::string> name, comment, description;
  };
  std::optional<Fields> wpt;
  Problems problems;

  const auto onStart = [&](const XmlEvent& ev, std::string_view parent) {
    if (ev.name != "wpt" || parent != "gpx") return true;
    ++problems.number;
    if (ev.attributes == nullptr) return problems.Fail("Missing position data for waypoint %d");
    Fields f;
    if (!ReadPosition(ev, problems, "Missing/bad latitude data in waypoint %d",
                      "Missing/bad longitude data in waypoint %d", f.w.latitude, f.w.longitude))
      return false;
    f.w.time = options.now;
    f.w.symbol = kDefaultWaypointSymbol;
    wpt = std::move(f);
    if (ev.kind == XmlEvent::kEmpty) return problems.Fail("Missing name data for waypoint %d");
    return true;
  };
  const auto onEnd = [&](const XmlEvent& ev, std::string_view parent, const ElementText& element) {
    if (wpt && parent == "wpt") {
      const std::string value = element.Of(ev);
      if (ev.name == "name") {
        wpt->name = value;
      } else if (ev.name == "cmt") {
        wpt->comment = value;
      } else if (ev.name == "desc") {
        wpt->description = value;
      } else if (ev.name == "ele") {
        const auto metres = Decimal(value);
        const auto height = metres ? CheckedRound<int32_t>(*metres) : std::nullopt;
        if (!height) return problems.Fail("Bad height data for waypoint %d");
        wpt->w.height = *height;
      } else if (ev.name == "time") {
        const auto time = ParseXmlTime(value);
        if (!time) return problems.Fail("Bad time data for waypoint %d");
        wpt->w.time = time->seconds;
      }
    } else if (wpt && ev.name == "wpt") {
      Fields f = std::move(*wpt);
      wpt.reset();
      if (!f.name || Blank(*f.name)) return problems.Fail("Missing name data for waypoint %d");
      std::string id;
      const auto outcome = ids.Check(*f.name, id);
      if (outcome == WaypointIdCheck::Outcome::kBad) return problems.Fail("Bad ID for waypoint %d");
      if (outcome == WaypointIdCheck::Outcome::kOk) {
        f.w.id = std::move(id);
        const std::optional<std::string>& name = f.comment && !Blank(*f.comment) ? f.comment : f.description;
        if (name) f.w.name = BoundedWaypointName(*name);
        list.items.push_back(std::move(f.w));
      }
    }
    return true;
  };
  if (const Status walked = WalkGpx(text, problems, onStart, onEnd); !walked.ok()) return walked.error();
  return list;
}

}  // namespace skylode
