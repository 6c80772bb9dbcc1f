// Reading KML back: our own tracks with their hash, broken and hostile
// files, waypoint placemarks and the folder locator.
#include <gtest/gtest.h>

#include "formats/kml_reader.h"
#include "formats/kml_writer.h"
#include "kml_test_support.h"
#include "records/angles.h"

namespace skylode {
namespace {

using kml_test::Statistics;
using kml_test::Track;

std::string TrackFile(size_t count, bool hash = true) {
  FlightStatistics s = Statistics(Track(count));
  s.analysisTimeValid = hash;
  TextOutputBuffer out;
  EXPECT_TRUE(BuildKmlTrackFolder(out, s, "x", {"Compeo+ SN 77", 800}).ok());
  return WrapKmlDocument(out.text());
}

// A track placemark from the given list texts.
std::string HandMade(const std::string& offsets, const std::string& coordinates, const std::string& pressure = "") {
  std::string s = "<Document><Folder><Placemark><Metadata type=\"track\">"
                  "<FsInfo time_of_first_point=\"2024-06-15T10:30:00Z\">"
                  "<SecondsFromTimeOfFirstPoint>" + offsets + "</SecondsFromTimeOfFirstPoint>";
  if (!pressure.empty()) s += "<PressureAltitude>" + pressure + "</PressureAltitude>";
  s += "</FsInfo></Metadata><LineString><coordinates>" + coordinates +
       "</coordinates></LineString></Placemark></Folder></Document>";
  return s;
}

std::string Repeat(const std::string& item, size_t n) {
  std::string s;
  for (size_t i = 0; i < n; ++i) s += item + " ";
  return s;
}

TEST(KmlTrackReader, OwnTrackReadsBackWithGoodSignature) {
  const std::vector<TrackPoint> written = Track(26);
  const Result<KmlTrack> r_read = ReadKmlTrack(TrackFile(26));
  ASSERT_TRUE(r_read.ok()) << r_read.error().text;
  const KmlTrack& r = *r_read;
  EXPECT_TRUE(r.signatureValid);
  EXPECT_TRUE(r.timesUtc);
  EXPECT_TRUE(r.hasPressure);
  ASSERT_EQ(r.points.size(), written.size());
  for (size_t i = 0; i < written.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(r.points[i].time, written[i].time);
    EXPECT_EQ(r.points[i].baroHeight, written[i].baroHeight);
    EXPECT_EQ(r.points[i].flags, i == 0 ? 1u : 0u);
    // Six decimals of a degree are about 0.11 m: 60 semicircles.
    EXPECT_NEAR(r.points[i].latitude, written[i].latitude, 60);
    EXPECT_NEAR(r.points[i].longitude, written[i].longitude, 60);
    EXPECT_EQ(r.points[i].gpsHeight, (written[i].gpsHeight + 5) / 10 * 10);
  }
}

TEST(KmlTrackReader, ChangedDigitsBreakTheSignatureButNotTheReading) {
  const std::string good = TrackFile(12);
  struct Case {
    std::string from, to;
  };
  const Case cases[] = {
      {"7.998862,46.502047,1503", "7.998862,46.502048,1503"},  // a coordinate
      {"1480 1481", "1480 1482"},                              // a pressure altitude
      {"0 3 6", "0 3 7"},                                      // a time offset
      {"Compeo+ SN 77", "Compeo+ SN 78"},                      // the instrument
      {"downloaded=\"2024-06-16T08", "downloaded=\"2024-06-17T08"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.to);
    std::string bad = good;
    const size_t at = bad.rfind(c.from);  // the track placemark comes last
    ASSERT_NE(at, std::string::npos);
    bad.replace(at, c.from.size(), c.to);
    const Result<KmlTrack> r_read = ReadKmlTrack(bad);
    ASSERT_TRUE(r_read.ok()) << r_read.error().text;
    const KmlTrack& r = *r_read;
    EXPECT_FALSE(r.signatureValid);
    EXPECT_EQ(r.points.size(), 12u);
  }
  const Result<KmlTrack> unsigned__read = ReadKmlTrack(TrackFile(12, false));
  ASSERT_TRUE(unsigned__read.ok());
  const KmlTrack& unsigned_ = *unsigned__read;
  EXPECT_FALSE(unsigned_.signatureValid);
}

TEST(KmlTrackReader, LongestInstrumentTextStillVerifies) {
  FlightStatistics s = Statistics(Track(6));
  const std::string instrument(kInstrumentTextMax, 'X');
  TextOutputBuffer out;
  ASSERT_TRUE(BuildKmlTrackFolder(out, s, "", {instrument, 800}).ok());
  const Result<KmlTrack> r_read = ReadKmlTrack(WrapKmlDocument(out.text()));
  ASSERT_TRUE(r_read.ok()) << r_read.error().text;
  const KmlTrack& r = *r_read;
  EXPECT_TRUE(r.signatureValid);
  // Characters that would break the attribute are escaped and still verify.
  TextOutputBuffer quoted;
  ASSERT_TRUE(BuildKmlTrackFolder(quoted, s, "", {"6030 \"A&B\" <2>", 800}).ok());
  EXPECT_NE(quoted.text().find("instrument=\"6030 &quot;A&amp;B&quot; &lt;2&gt;\""), std::string::npos);
  EXPECT_TRUE(ReadKmlTrack(WrapKmlDocument(quoted.text()))->signatureValid);
}

// An instrument text with a Latin-1 byte is written as UTF-8; the hash covers
// what is written, so the file verifies. UTF-8 text verifies as it is.
TEST(KmlTrackReader, NonAsciiInstrumentTextVerifies) {
  FlightStatistics s = Statistics(Track(6));
  for (const std::string& instrument : {std::string("eTrex L\xE9gende"), std::string("eTrex L\xC3\xA9gende")}) {
    SCOPED_TRACE(instrument);
    TextOutputBuffer out;
    ASSERT_TRUE(BuildKmlTrackFolder(out, s, "", {instrument, 800}).ok());
    EXPECT_NE(out.text().find("instrument=\"eTrex L\xC3\xA9gende\""), std::string::npos);
    const Result<KmlTrack> r = ReadKmlTrack(WrapKmlDocument(out.text()));
    ASSERT_TRUE(r.ok()) << r.error().text;
    EXPECT_TRUE(r->signatureValid);
  }
}

TEST(KmlTrackReader, BadFilesGiveTheirMessage) {
  struct Case {
    std::string text, message;
  };
  const Case cases[] = {
      {HandMade(Repeat("1", 10), Repeat("8.1,46.1,100", 9)), "Bad number of positions in <coordinates>"},
      {HandMade(Repeat("1", 10), Repeat("8.1,46.1,100", 5000)), "Bad number of positions in <coordinates>"},
      {HandMade(Repeat("1", 3), Repeat("8.1,46.1,100", 3), "1 2"), "Bad number of positions in <PressureAltitude>"},
      {HandMade("1 x 2", Repeat("8.1,46.1,100", 3)), "Bad <SecondsFromTimeOfFirstPoint> data"},
      {HandMade(" \r\n ", ""), "No track log time offsets found"},
      {HandMade("1 2", "8.1,46.1,100 8.1;46.1"), "Bad <coordinates> data"},
      {HandMade("1 2", "8.1,46.1,100 8.1,96.1,3"), "Bad <coordinates> data"},
      {HandMade("1 2", "8.1,46.1 8.1,46.1", "1 b"), "Bad <PressureAltitude> data"},
      {"<Document><Placemark><name>x</name></Placemark></Document>", "No track log found"},
      {"<Document><Placemark><Metadata type=\"track\"></Metadata></Placemark></Document>",
       "No track log information found"},
      {"<Placemark><Metadata type=\"track\"><FsInfo time_of_first_point=\"2024-06-15T10:30:00\"/></Metadata>"
       "<LineString><coordinates>1,2,3</coordinates></LineString></Placemark>",
       "No track log time offsets found"},
      {"<Placemark><Metadata type=\"track\"><FsInfo time_of_first_point=\"2024-06-15T10:30:00\">"
       "<SecondsFromTimeOfFirstPoint>0</SecondsFromTimeOfFirstPoint></FsInfo></Metadata></Placemark>",
       "No track log positions found"},
      {"<Placemark><Metadata type=\"track\"><FsInfo time_of_first_point=\"15.06.2024\">"
       "<SecondsFromTimeOfFirstPoint>0</SecondsFromTimeOfFirstPoint></FsInfo></Metadata>"
       "<LineString><coordinates>1,2,3</coordinates></LineString></Placemark>",
       "Bad time_of_first_point"},
      {"<Placemark><Metadata type=\"track\"/><Metadata type=\"track\"/></Placemark>",
       "Multiple tracks in one <Placemark> element"},
      {"<Folder><Placemark><Metadata type=\"track\"/></Placemark><Placemark><Metadata type=\"track\"/></Placemark>"
       "</Folder>",
       "Multiple tracks in one <Folder> element"},
      {"\xFF\xFE<\0D\0", "Unknown BOM before opening tag"},
      {"<Document><Folder></Document>", "Tag <Folder> is terminated by </Document>"},
      {"<Document>", "Nesting level not zero at end-of-file"},
      {"<Document><Folder", "End-of-file encountered within a tag"},
      {"no tags", "No tags found"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    const Result<KmlTrack> r = ReadKmlTrack(c.text);
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error().kind, ErrorKind::kBadContent);
    EXPECT_EQ(r.error().text, c.message);
  }
}

// A document type declaration is passed over, internal subset and all; an
// entity it declares is never expanded.
TEST(KmlTrackReader, DocumentTypeDeclarationIsSkipped) {
  const std::string file = TrackFile(6);
  // After the XML declaration, before the root element.
  const size_t declaration = file.find("?>");
  const size_t root = declaration == std::string::npos ? 0 : file.find('<', declaration);
  for (const std::string& doctype : {std::string("<!DOCTYPE kml>\r\n"),
                                    std::string("<!DOCTYPE kml [\r\n  <!ENTITY big \"<x>lots</x>\">\r\n]>\n")}) {
    SCOPED_TRACE(doctype);
    const Result<KmlTrack> r = ReadKmlTrack(std::string(file).insert(root, doctype));
    ASSERT_TRUE(r.ok()) << r.error().text;
    EXPECT_TRUE(r->signatureValid);
    EXPECT_EQ(r->points.size(), 6u);
  }
  const Result<KmlTrack> inside = ReadKmlTrack("<Document><!DOCTYPE kml></Document>");
  ASSERT_FALSE(inside.ok());
  const Result<KmlTrack> open = ReadKmlTrack("<!DOCTYPE kml [ <!ENTITY a \"b\"> ");
  ASSERT_FALSE(open.ok());
  EXPECT_EQ(open.error().text, "End-of-file encountered within a tag");
}

TEST(KmlTrackReader, Utf8ByteOrderMarkIsSkipped) {
  const Result<KmlTrack> r_read = ReadKmlTrack("\xEF\xBB\xBF" + TrackFile(6));
  ASSERT_TRUE(r_read.ok()) << r_read.error().text;
  const KmlTrack& r = *r_read;
  EXPECT_TRUE(r.signatureValid);
}

TEST(KmlTrackReader, SixtyTracksAreCutToFiftyWithANotice) {
  FlightStatistics s = Statistics(Track(5));
  TextOutputBuffer folders;
  for (int i = 0; i < 60; ++i) {
    for (TrackPoint& p : s.points) p.time += 3600;
    ASSERT_TRUE(BuildKmlTrackFolder(folders, s, "", {}).ok());
  }
  int limited = 0;
  std::vector<std::string> offered;
  KmlTrackHooks hooks;
  hooks.tracksLimited = [&] { ++limited; };
  hooks.chooseTrack = [&](const std::vector<std::string>& labels) {
    offered = labels;
    return std::optional<size_t>(49);
  };
  const Result<KmlTrack> r_read = ReadKmlTrack(WrapKmlDocument(folders.text()), hooks);
  ASSERT_TRUE(r_read.ok()) << r_read.error().text;
  const KmlTrack& r = *r_read;
  EXPECT_EQ(limited, 1);
  ASSERT_EQ(offered.size(), 50u);
  EXPECT_EQ(offered[0], "2024-06-15   11:30:00");
  EXPECT_EQ(offered[49], "2024-06-17   12:30:00");
  EXPECT_EQ(r.points.front().time, kml_test::At(2024, 6, 17, 12, 30, 0));
  EXPECT_TRUE(r.signatureValid);

  hooks.chooseTrack = [](const std::vector<std::string>&) { return std::optional<size_t>(); };
  const Result<KmlTrack> none = ReadKmlTrack(WrapKmlDocument(folders.text()), hooks);
  ASSERT_FALSE(none.ok());
  EXPECT_TRUE(none.cancelled());
}

TEST(KmlFolderLocator, FindsTheOutermostFolders) {
  struct Case {
    std::string text;
    bool ok;
    size_t start, end;
  };
  const std::string two = "<?xml version=\"1.0\"?>\r\n<Document>\r\n  <Folder><Folder/><Folder>a</Folder></Folder>\r\n"
                          "  <Folder>b</Folder>\r\n</Document>\r\n";
  const Case cases[] = {
      {two, true, two.find("<Folder>"), two.rfind("</Folder>") + 9},
      {"<Folder></Folder>", true, 0, 17},
      {"<Document><Folder/></Document>", false, 0, 0},
      {"<Document></Document>", false, 0, 0},
      {"<Document><Folder></Folder>", false, 0, 0},
      {"<Document><Folder></Folder></Document>junk", false, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const KmlFolderSpan span = FindKmlFolders(c.text);
    EXPECT_EQ(span.ok(), c.ok);
    if (c.ok) {
      EXPECT_EQ(span.start, c.start);
      EXPECT_EQ(span.end, c.end);
    }
  }
}

TEST(KmlWaypoints, WrittenListReadsBack) {
  WaypointList list;
  list.items.push_back({*DegreesToLatitude(46.5), *DegreesToLongitude(8.25), 1234, "TOP", "SUMMIT NORTH", 0, 18});
  list.items.push_back({*DegreesToLatitude(-33.75), *DegreesToLongitude(-70.5), -5, "LZ-2", "", 0, 18});
  const Result<WaypointList> r_read = ReadKmlWaypoints(BuildKmlWaypointDocument(list), 777);
  ASSERT_TRUE(r_read.ok()) << r_read.error().text;
  const WaypointList& r = *r_read;
  ASSERT_EQ(r.items.size(), 2u);
  for (size_t i = 0; i < 2; ++i) {
    Waypoint expected = list.items[i];
    expected.time = 777;
    EXPECT_EQ(r.items[i].id, expected.id);
    EXPECT_EQ(r.items[i].name, expected.name);
    EXPECT_EQ(r.items[i].height, expected.height);
    EXPECT_NEAR(r.items[i].latitude, expected.latitude, 60);
    EXPECT_NEAR(r.items[i].longitude, expected.longitude, 60);
    EXPECT_EQ(r.items[i].time, 777u);
    EXPECT_EQ(r.items[i].symbol, kDefaultWaypointSymbol);
  }
}

TEST(KmlWaypoints, EscapesTextsThatWouldBreakTheDocument) {
  WaypointList list;
  list.items.push_back({0, 0, 0, "A1", "R&D <west>", 0, 18});
  list.items.push_back({0, 0, 0, "A2", "Z\xFCrich", 0, 18});  // a Latin-1 byte
  const std::string doc = BuildKmlWaypointDocument(list);
  EXPECT_NE(doc.find("<description>R&amp;D &lt;west&gt;</description>"), std::string::npos);
  EXPECT_NE(doc.find("<description>Z\xC3\xBCrich</description>"), std::string::npos);
  const Result<WaypointList> r_read = ReadKmlWaypoints(doc, 0);
  ASSERT_TRUE(r_read.ok()) << r_read.error().text;
  const WaypointList& r = *r_read;
  EXPECT_EQ(r.items[0].name, NormaliseDescription("R&D <west>"));
}

TEST(KmlWaypoints, BadPlacemarksGiveTheirMessage) {
  const auto placemark = [](const std::string& inner) {
    return "<kml><Document><Placemark><name>OK</name><Point><coordinates>8,46,1</coordinates></Point></Placemark>"
           "<Placemark>" + inner + "</Placemark></Document></kml>";
  };
  struct Case {
    std::string text, message;
  };
  const Case cases[] = {
      {placemark("<name>A</name>"), "Missing tag(s) for waypoint 2"},
      {placemark("<Point><coordinates>8,46</coordinates></Point>"), "Missing tag(s) for waypoint 2"},
      {placemark("<name> </name><Point><coordinates>8,46</coordinates></Point>"), "Missing data for waypoint 2"},
      {placemark("<name>A</name><Point><coordinates></coordinates></Point>"), "Missing data for waypoint 2"},
      {placemark("<name>TOOLONGID</name><Point><coordinates>8,46</coordinates></Point>"), "Bad ID for waypoint 2"},
      {placemark("<name>A</name><Point><coordinates>8;46</coordinates></Point>"), "Bad <coordinates> in waypoint A"},
      {placemark("<name>A</name><Point><coordinates>8,146</coordinates></Point>"), "Bad <coordinates> in waypoint A"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    const Result<WaypointList> r = ReadKmlWaypoints(c.text, 0);
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error().kind, ErrorKind::kBadContent);
    EXPECT_EQ(r.error().text, c.message);
  }
}

TEST(KmlWaypoints, DuplicateIdsGoThroughTheInsertRule) {
  const std::string doc =
      "<Document><Placemark><name>A</name><description>FIRST</description><Point><coordinates>8,46</coordinates>"
      "</Point></Placemark><Placemark><name>A</name><description>SECOND</description><Point>"
      "<coordinates>9,47</coordinates></Point></Placemark></Document>";
  std::vector<std::string> asked;
  const Result<WaypointList> replaced_read = ReadKmlWaypoints(doc, 0, [&](const Waypoint& w) {
    asked.push_back(w.id + "/" + w.name);
    return true;
  });
  ASSERT_TRUE(replaced_read.ok());
  const WaypointList& replaced = *replaced_read;
  EXPECT_EQ(asked, std::vector<std::string>{"A/FIRST"});
  ASSERT_EQ(replaced.items.size(), 1u);
  EXPECT_EQ(replaced.items[0].name, "SECOND");
  const Result<WaypointList> kept = ReadKmlWaypoints(doc, 0, [](const Waypoint&) { return false; });
  ASSERT_TRUE(kept.ok());
  EXPECT_EQ(kept->items.size(), 2u);
}

}  // namespace
}  // namespace skylode
