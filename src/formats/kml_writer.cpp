#include "formats/kml_writer.h"

#include <openssl/evp.h>

#include <array>
#include <new>

#include "analysis/contest_score_text.h"
#include "analysis/coordinate_text.h"
#include "analysis/trip_search.h"
#include "formats/file_io.h"
#include "formats/kml_reader.h"
#include "formats/xml_text.h"
#include "formats/xml_tokenizer.h"
#include "records/text_encoding.h"
#include "records/angles.h"
#include "records/calendar.h"

namespace skylode {
namespace {

constexpr std::string_view kCrLf = "\r\n";
constexpr std::string_view kContinuation = "\r\n                ";  // 16 blanks

// The key is never stored as it is used, so it does not turn up as one piece
// in the program file.
constexpr std::array<char, 17> kKeySeed = {'F', 'S', 'I', 'N', 'F', 'O', '-', 'K', 'E',
                                           'Y', '-', 'S', 'K', 'Y', 'L', 'O', 'D'};

double Degrees(int32_t semicircles) { return SemicirclesToRadians(semicircles) * 57.29577951308; }

// Metres from decimetres as the files carry them: integer division toward zero.
int32_t FileHeight(const TrackPoint& p) { return (p.gpsHeight + 5) / 10; }

TextOutputBuffer& Version(TextOutputBuffer& out) {
  return out.Int(kKmlProgramVersion / 100).Append('.').Int(kKmlProgramVersion % 100, 2);
}


void AppendDateTime(TextOutputBuffer& out, uint32_t time, bool zulu) {
  const CalendarTime t = SecondsToDateTime(time);
  out.Int(t.year).Append('-').Int(t.month, 2).Append('-').Int(t.day, 2).Append('T');
  out.Int(t.hour, 2).Append(':').Int(t.minute, 2).Append(':').Int(t.second, 2);
  if (zulu) out.Append('Z');
}

void AppendClock(TextOutputBuffer& out, uint32_t time) {
  const CalendarTime t = SecondsToDateTime(time);
  out.Int(t.hour, 2).Append(':').Int(t.minute, 2).Append(':').Int(t.second, 2);
}

void AppendCoordinate(TextOutputBuffer& out, const TrackPoint& p) {
  out.Fixed(Degrees(p.longitude), 6).Append(',').Fixed(Degrees(p.latitude), 6).Append(',').Int(FileHeight(p));
}

// The instrument text as one line: CR, LF and TAB become blanks, runs of
// blanks one, no leading blank, one trailing blank dropped.
std::string NormaliseInstrument(std::string_view text) {
  text = text.substr(0, kInstrumentTextMax);
  std::string out;
  for (char c : text) {
    if (c == '\r' || c == '\n' || c == '\t') c = ' ';
    if (c == ' ' && (out.empty() || out.back() == ' ')) continue;
    out.push_back(c);
  }
  if (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

struct DistanceRow {
  const char* type;
  const char* name;
  const char* heading;  // before the gap, if any
  bool showsGap;
  int count;
  const TripResult TripDistances::*result;
  bool sum;
  const char* colour;
};

constexpr DistanceRow kRows[] = {
    {"distance_5_point", "Distance over 5 points", "Greatest distance using 5 points", false, 5,
     &TripDistances::five, true, "FFFF0000"},
    {"distance_4_point", "Distance over 4 points", "Greatest distance using 4 points", false, 4,
     &TripDistances::four, true, "FFFF0000"},
    {"distance_3_point", "Distance over 3 points", "Greatest distance using 3 points", false, 3,
     &TripDistances::three, true, "FFFF0000"},
    {"distance_open", "Open distance", "Greatest distance between any 2 points", false, 2, &TripDistances::open,
     false, "FF0000FF"},
    {"distance_out_and_return", "Out-and-return distance", "Out-and-return distance", true, 3,
     &TripDistances::outAndReturn, true, "FFFF0000"},
    {"distance_flat_triangle", "Flat triangle", "Flat triangle", true, 5, &TripDistances::flatTriangle, true,
     "FFFF0000"},
    {"distance_fai_triangle", "FAI triangle", "FAI triangle", true, 5, &TripDistances::faiTriangle, true,
     "FFFF0000"},
};

class FolderBuilder {
 public:
  FolderBuilder(TextOutputBuffer& out, const FlightStatistics& stats, const KmlFolderOptions& options)
      : out_(out), stats_(stats), options_(options), points_(stats.points), utc_(stats.utcFlag) {}

  void Build(std::string_view description) {
    PrePass();
    Head(description);
    for (const DistanceRow& row : kRows) DistancePlacemark(row);
    TrackPlacemark();
    out_.Append("  </Folder>\r\n");
  }

 private:
  // Out-of-range indices from a search that found nothing point at the first
  // position rather than past the array.
  const TrackPoint& At(int32_t index) const {
    if (index < 0 || static_cast<size_t>(index) >= points_.size()) return points_.front();
    return points_[static_cast<size_t>(index)];
  }

  void PrePass() {
    for (const TrackPoint& p : points_) {
      if (p.gpsHeight != 0) hasHeights_ = true;
    }
    bool timeless = false;
    for (const TrackPoint& p : points_) {
      if (p.time == 0 || p.time == 0x7FFFFFFFu || p.time == 0xFFFFFFFFu) timeless = true;
    }
    if (timeless) {
      for (size_t i = 0; i < points_.size(); ++i) points_[i].time = static_cast<uint32_t>(5 * i);
      utc_ = false;
    }
  }

  void Head(std::string_view description) {
    out_.Append("  <Folder>\r\n    <Metadata src=\"Skylode\" v=\"");
    Version(out_).Append("\" type=\"trip\"/>\r\n");
    out_.Append("    <open>1</open>\r\n    <name>Trip</name>\r\n    <description><![CDATA[");
    // Inside CDATA only "]]>" would end the section early; with '>' escaped
    // it cannot occur.
    out_.Append(XmlText(description, false, false));
    out_.Append("\r\n<pre>\r\nFlight statistics\r\n");
    const CalendarTime start = SecondsToDateTime(stats_.startTime);
    out_.Append("Date                 ").PaddedInt(start.year, 4).Append('-').Int(start.month, 2);
    out_.Append('-').Int(start.day, 2).Append(kCrLf);
    out_.Append("Start/finish         ");
    AppendClock(out_, stats_.startTime);
    out_.Append(" - ");
    AppendClock(out_, stats_.endTime);
    out_.Append(kCrLf);
    const uint32_t d = stats_.duration;
    out_.Append("Duration             ").Int(d / 3600).Append(" : ").Int((d / 60) % 60, 2);
    out_.Append(" : ").Int(d % 60, 2).Append(kCrLf);
    out_.Append("Max./min. height     ").Int(stats_.maxHeight).Append(" / ").Int(stats_.minHeight);
    out_.Append(" m\r\n");
    out_.Append("Max. mean/top speed  ").Int(ClampTrunc(stats_.maxMeanSpeed + 0.5)).Append(" km/h / ");
    out_.Int(ClampTrunc(stats_.topSpeed + 0.5)).Append(" km/h\r\n");
    out_.Append("Max/min climb rate   ").Fixed(stats_.maxClimb, 2).Append(" / ").Fixed(stats_.minClimb, 2);
    out_.Append(" m/s over 60s\r\n");
    out_.Append("Total distance       ").Fixed(stats_.totalDistance / 1000, 2).Append(" km\r\n");
    if (options_.contest != nullptr)
      for (ContestRules rules : kContestRules)
        out_.Append("Contest score        ")
            .Append(XmlText(ContestSummary(rules, (*options_.contest)[rules]), false, false))
            .Append(kCrLf);
    out_.Append("</pre>]]>\r\n    </description>\r\n");
  }

  static int64_t ClampTrunc(double v) {
    if (!(v > -1e15 && v < 1e15)) return 0;
    return static_cast<int64_t>(v);
  }

  void PositionLine(char letter, int32_t index, const double* legKm) {
    const TrackPoint& p = At(index);
    out_.Append(' ').Append(letter).Append(' ').PaddedInt(int64_t{index} + 1, 5).Append("  ");
    AppendClock(out_, p.time);
    out_.Append("  ").Append(FormatDms(SemicirclesToCentiSeconds(p.latitude), true));
    out_.Append("  ").Append(FormatDms(SemicirclesToCentiSeconds(p.longitude), false));
    if (legKm != nullptr) out_.Append("  ").Fixed(*legKm, 2);
    out_.Append(kCrLf);
  }

  void CoordinateLine(std::string_view indent, int32_t index) {
    out_.Append(indent);
    AppendCoordinate(out_, At(index));
    out_.Append(kCrLf);
  }

  void LineString(std::string_view indent, std::initializer_list<int> order, const TripResult& r) {
    const std::string i(indent);
    out_.Append(i).Append("<LineString>\r\n");
    out_.Append(i).Append("  <tessellate>1</tessellate>\r\n");
    out_.Append(i).Append("  <coordinates>\r\n");
    for (int k : order) CoordinateLine(i + "    ", r.index[static_cast<size_t>(k)]);
    out_.Append(i).Append("  </coordinates>\r\n");
    out_.Append(i).Append("</LineString>\r\n");
  }

  void DistancePlacemark(const DistanceRow& row) {
    const TripResult& r = stats_.trips.*row.result;
    out_.Append("    <Placemark>\r\n      <Metadata src=\"Skylode\" v=\"");
    Version(out_).Append("\" type=\"").Append(row.type).Append("\">\r\n");
    out_.Append("        <FsInfo track_idx=\"");
    for (int k = 0; k < row.count; ++k) {
      if (k > 0) out_.Append(' ');
      out_.Int(r.index[static_cast<size_t>(k)]);
    }
    out_.Append("\" />\r\n      </Metadata>\r\n");
    out_.Append("      <name>").Append(row.name).Append("</name>\r\n");
    out_.Append("      <description>\r\n        <![CDATA[\r\n<pre>\r\n").Append(row.heading);
    if (row.showsGap) out_.Append(" (max allowable gap ").Int(options_.loopFlightGap).Append(')');
    out_.Append("\r\n\r\nPos.      Time      Latitude         Longitude         Distance\r\n");
    for (int k = 0; k < row.count; ++k) {
      const double km = k > 0 ? r.legs[static_cast<size_t>(k - 1)] / 1000 : 0;
      PositionLine(static_cast<char>('A' + k), r.index[static_cast<size_t>(k)], k > 0 ? &km : nullptr);
    }
    if (row.sum) {
      out_.Append(std::string(50, ' ')).Append("Sum  ").Fixed(r.total / 1000, 2).Append(kCrLf);
    }
    out_.Append("</pre>]]>\r\n      </description>\r\n");
    if (row.count == 5 && row.showsGap) {
      out_.Append("      <MultiGeometry>\r\n");
      LineString("        ", {1, 2, 3, 1}, r);
      LineString("        ", {0, 4}, r);
      out_.Append("      </MultiGeometry>\r\n");
    } else if (row.result == &TripDistances::outAndReturn) {
      LineString("      ", {2, 0, 1}, r);
    } else {
      switch (row.count) {
        case 2: LineString("      ", {0, 1}, r); break;
        case 3: LineString("      ", {0, 1, 2}, r); break;
        case 4: LineString("      ", {0, 1, 2, 3}, r); break;
        default: LineString("      ", {0, 1, 2, 3, 4}, r); break;
      }
    }
    out_.Append("      <Style>\r\n        <LineStyle>\r\n          <color>").Append(row.colour);
    out_.Append("</color>\r\n        </LineStyle>\r\n      </Style>\r\n    </Placemark>\r\n");
  }

  // Writes `text` and feeds it to the hash.
  void Hashed(std::string_view text) {
    out_.Append(text);
    sha_.Feed(text);
  }

  // Items of a list, `perLine` to a line, each followed by a blank but the last.
  template <typename Item>
  void ItemList(size_t count, size_t perLine, const Item& item) {
    for (size_t i = 0; i < count; ++i) {
      TextOutputBuffer piece;
      item(piece, i);
      if (i + 1 < count) piece.Append(' ');
      Hashed(piece.text());
      if ((i + 1) % perLine == 0 || i + 1 == count) out_.Append(kCrLf);
    }
  }

  void TrackPlacemark() {
    out_.Append("    <Placemark>\r\n      <Metadata src=\"Skylode\" v=\"");
    Version(out_).Append("\" type=\"track\">\r\n");
    out_.Append("        <FsInfo time_of_first_point=\"");
    TextOutputBuffer first;
    AppendDateTime(first, points_.front().time, utc_);
    Hashed(first.text());
    out_.Append('"');

    if (stats_.pilotIdFlag && (stats_.civlId >= 0 || stats_.competitionId >= 0)) {
      out_.Append(kContinuation);
      if (stats_.civlId < 0) {
        out_.Append("comp_pilot_id=\"").Int(stats_.competitionId).Append('"');
      } else {
        out_.Append("civl_pilot_id=\"").Int(stats_.civlId).Append('"');
        if (stats_.competitionId >= 0) out_.Append(" comp_pilot_id=\"").Int(stats_.competitionId).Append('"');
      }
    }

    const std::string instrument = NormaliseInstrument(options_.instrumentText);
    if (!instrument.empty()) {
      // The file carries the text as UTF-8, escaped so that a quote or '<'
      // in it cannot break the tag; the hash covers what a reader gets back
      // from the file, so that a Latin-1 byte verifies as its UTF-8 form.
      const std::string written = XmlText(instrument, true, true);
      out_.Append(kContinuation).Append("instrument=\"");
      out_.Append(written);
      sha_.Feed(XmlDecodeEntities(written));
      out_.Append('"');
    }

    if (stats_.analysisTime != -1) {
      out_.Append(kContinuation).Append("downloaded=\"");
      TextOutputBuffer when;
      AppendDateTime(when, static_cast<uint32_t>(stats_.analysisTime), true);
      Hashed(when.text());
      out_.Append('"');
    }

    // An offset, not a pointer: the buffer may move while it grows.
    std::optional<size_t> hashAt;
    if (stats_.analysisTimeValid) {
      out_.Append(kContinuation).Append("hash=\"");
      hashAt = out_.length();
      out_.Append(std::string(40, '0')).Append('"');
    }

    out_.Append(">\r\n          <SecondsFromTimeOfFirstPoint>\r\n");
    const uint32_t t0 = points_.front().time;
    ItemList(points_.size(), 25, [&](TextOutputBuffer& b, size_t i) {
      b.Int(static_cast<int32_t>(points_[i].time - t0));
    });
    out_.Append("          </SecondsFromTimeOfFirstPoint>\r\n");
    if (stats_.pressureFlag) {
      out_.Append("          <PressureAltitude>\r\n");
      ItemList(points_.size(), 25, [&](TextOutputBuffer& b, size_t i) { b.Int(points_[i].baroHeight); });
      out_.Append("          </PressureAltitude>\r\n");
    }
    out_.Append("        </FsInfo>\r\n      </Metadata>\r\n      <name>Tracklog</name>\r\n      <LineString>\r\n");
    out_.Append(hasHeights_ ? "        <altitudeMode>absolute</altitudeMode>\r\n"
                            : "        <altitudeMode>clampedToGround</altitudeMode>\r\n");
    out_.Append("        <coordinates>\r\n");
    ItemList(points_.size(), 5, [&](TextOutputBuffer& b, size_t i) { AppendCoordinate(b, points_[i]); });
    out_.Append("        </coordinates>\r\n");

    const std::string digest = sha_.Finish();
    if (hashAt) out_.text().replace(*hashAt, digest.size(), digest);
    out_.Append("      </LineString>\r\n    </Placemark>\r\n");
  }

  TextOutputBuffer& out_;
  const FlightStatistics& stats_;
  const KmlFolderOptions& options_;
  std::vector<TrackPoint> points_;
  bool utc_;
  bool hasHeights_ = false;
  FsInfoHash sha_;
};

}  // namespace

FsInfoHash::FsInfoHash() : ctx_(EVP_MD_CTX_new()) {
  if (ctx_ == nullptr || EVP_DigestInit_ex(static_cast<EVP_MD_CTX*>(ctx_), EVP_sha1(), nullptr) != 1)
    throw std::bad_alloc();
  Feed(FsInfoKey());
}

FsInfoHash::~FsInfoHash() { EVP_MD_CTX_free(static_cast<EVP_MD_CTX*>(ctx_)); }

void FsInfoHash::Feed(std::string_view text) {
  EVP_DigestUpdate(static_cast<EVP_MD_CTX*>(ctx_), text.data(), text.size());
}

std::string FsInfoHash::Finish() {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_DigestFinal_ex(static_cast<EVP_MD_CTX*>(ctx_), digest, &length);
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string hex;
  for (unsigned int i = 0; i < length; ++i) {
    hex.push_back(kHex[digest[i] >> 4]);
    hex.push_back(kHex[digest[i] & 0x0F]);
  }
  return hex;
}

std::string FsInfoKey() {
  std::string key(kKeySeed.size(), '\0');
  for (size_t i = 0; i < kKeySeed.size(); ++i) key[i] = static_cast<char>(kKeySeed[i] + static_cast<char>(i));
  return key;
}

Status BuildKmlTrackFolder(TextOutputBuffer& out, const FlightStatistics& stats, std::string_view description,
                           const KmlFolderOptions& options) {
  if (stats.points.empty()) return Error::Of(ErrorKind::kNothingToWrite, "Too few track positions");
  const size_t before = out.length();
  try {
    FolderBuilder(out, stats, options).Build(description);
  } catch (const std::bad_alloc&) {
    out.text().resize(before);
    return Error::NoMemory();
  }
  return {};
}

std::string AerodiaryFileName(const FlightStatistics& stats) {
  const uint32_t first = stats.points.empty() ? stats.startTime : stats.points.front().time;
  const CalendarTime t = SecondsToDateTime(first);
  TextOutputBuffer b;
  b.Int(t.year).Append('-').Int(t.month, 2).Append('-').Int(t.day, 2).Append('_');
  b.Int(t.hour, 2).Append('-').Int(t.minute, 2);
  return b.Take();
}

std::string WrapKmlDocument(std::string_view folders) {
  std::string s;
  s.reserve(kKmlDocumentHead.size() + folders.size() + kKmlDocumentTail.size());
  s.append(kKmlDocumentHead).append(folders).append(kKmlDocumentTail);
  return s;
}

Status WriteAerodiaryFile(const std::string& path, std::string_view folder, AerodiaryWrite how) {
  switch (how) {
    case AerodiaryWrite::kCreateNew: return WriteFileAtomically(path, WrapKmlDocument(folder), WriteMode::kCreateNew);
    case AerodiaryWrite::kOverwrite: return WriteFileAtomically(path, WrapKmlDocument(folder), WriteMode::kReplace);
    case AerodiaryWrite::kAppend: break;
  }
  Result<std::string> old = ReadWholeFile(path);
  if (!old.ok()) return std::move(old.error());
  const KmlFolderSpan span = FindKmlFolders(*old);
  if (!span.ok()) {
    Error e = Error::Content("No folders found");
    e.path = path;
    return e;
  }
  std::string text;
  text.reserve(old->size() + folder.size() + 64);
  // The old folders keep their own indentation; the first one's two
  // leading characters are written as blanks, whatever stood there.
  text.append(kKmlDocumentHead).append("  ");
  text.append(*old, span.start, span.end - span.start);
  text.append(kCrLf).append(folder).append(kKmlDocumentTail);
  return WriteFileAtomically(path, text, WriteMode::kReplace);
}

std::string BuildKmlWaypointDocument(const WaypointList& list) {
  TextOutputBuffer out(4000);
  out.Append("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n");
  out.Append("<kml xmlns=\"http://www.opengis.net/kml/2.2\">\r\n");
  out.Append("  <Document>\r\n    <Folder>\r\n      <name>Waypoints</name>\r\n");
  for (const Waypoint& w : list.items) {
    out.Append("      <Placemark>\r\n");
    out.Append("        <name>").Append(XmlText(w.id, true, false)).Append("</name>\r\n");
    out.Append("        <description>").Append(XmlText(w.name, true, false)).Append("</description>\r\n");
    out.Append("        <Point>\r\n        <coordinates>");
    out.Fixed(Degrees(w.longitude), 6).Append(',').Fixed(Degrees(w.latitude), 6).Append(',');
    out.Fixed(w.height, 6).Append("</coordinates>\r\n        </Point>\r\n      </Placemark>\r\n");
  }
  out.Append("    </Folder>\r\n  </Document>\r\n</kml>\r\n");
  return out.Take();
}

Status WriteGoogleEarthWaypoints(const std::string& path, const WaypointList& list) {
  std::string text;
  try {
    text = BuildKmlWaypointDocument(list);
  } catch (const std::bad_alloc&) {
    return Error::NoMemory();
  }
  return WriteFileAtomically(path, text, WriteMode::kReplace);
}

}  // namespace skylode
