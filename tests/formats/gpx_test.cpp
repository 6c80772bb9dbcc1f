// GPX: the three writers, the track and waypoint readers, height texts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "formats/gpx_reader.h"
#include "formats/gpx_writer.h"
#include "records/angles.h"
#include "records/calendar.h"

namespace skylode {
namespace {

uint32_t At(uint16_t y, uint16_t mo, uint16_t d, uint16_t h, uint16_t mi, uint16_t s) {
  return *CalendarToTime(CalendarTime{y, mo, d, h, mi, s, 0});
}

size_t Count(const std::string& text, const std::string& piece) {
  size_t n = 0;
  for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) ++n;
  return n;
}

std::vector<TrackPoint> Track(size_t count) {
  std::vector<TrackPoint> points;
  for (size_t i = 0; i < count; ++i) {
    TrackPoint p;
    p.flags = i == 0 ? 1 : 0;
    p.time = At(2024, 6, 15, 10, 0, 0) + static_cast<uint32_t>(i);
    p.latitude = *DegreesToLatitude(46.5 + i * 1e-4);
    p.longitude = *DegreesToLongitude(8.25 - i * 1e-4);
    p.gpsHeight = 12345 + static_cast<int32_t>(i);
    points.push_back(p);
  }
  return points;
}

constexpr uint32_t kNow = 1000000000;

TEST(GpxTrack, WrittenAsOneSegmentAndReadBack) {
  const std::vector<TrackPoint> points = Track(1000);
  const std::string text = BuildGpxTrack(points, kNow);
  EXPECT_EQ(Count(text, "<trkseg>"), 1u);
  EXPECT_EQ(Count(text, "<trkpt "), 1000u);
  EXPECT_NE(text.find("        <ele>1234.5</ele>\r\n"), std::string::npos);
  EXPECT_NE(text.find("     creator=\"Skylode 4.49\"\r\n"), std::string::npos);
  // The program has no home page to link to: no link with a made-up address.
  EXPECT_NE(text.find("  <metadata>\r\n    <desc>Skylode, for the Aerodiary flight log</desc>\r\n    <time>"),
            std::string::npos);
  EXPECT_EQ(text.find("<link"), std::string::npos);
  EXPECT_NE(text.find("<bounds minlat=\"46.500000\" minlon=\"8.150100\" maxlat=\"46.599900\" maxlon=\"8.250000\"/>"),
            std::string::npos);
  Result<std::vector<TrackPoint>> r = ReadGpxTrack(text);
  ASSERT_TRUE(r.ok()) << r.error().Describe();
  ASSERT_EQ(r->size(), points.size());
  for (size_t i = 0; i < points.size(); i += 97) {
    SCOPED_TRACE(i);
    EXPECT_EQ((*r)[i].time, points[i].time);
    EXPECT_EQ((*r)[i].gpsHeight, points[i].gpsHeight);
    EXPECT_NEAR(SemicirclesToDegrees((*r)[i].latitude), SemicirclesToDegrees(points[i].latitude), 5e-7);
    EXPECT_NEAR(SemicirclesToDegrees((*r)[i].longitude), SemicirclesToDegrees(points[i].longitude), 5e-7);
  }
  EXPECT_EQ((*r)[0].flags, kTrackPointStartsSegment);
}

const char kTwoSegments[] =
    "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<gpx version=\"1.1\" creator=\"handheld\" xmlns=\"http://www.topografix.com/GPX/1/1\">\n"
    " <metadata><name>Flight</name><time>2024-06-15T09:00:00Z</time></metadata>\n"
    " <trk><name>ACTIVE LOG</name>\n"
    "  <trkseg>\n"
    "   <trkpt lat=\"46.5\" lon=\"8.25\"><ele>1000.4</ele><time>2024-06-15T12:00:00+02:00</time></trkpt>\n"
    "   <trkpt lat=\"46.6\" lon=\"8.35\"><ele>1001</ele><time>2024-06-15T10:00:05.500Z</time></trkpt>\n"
    "  </trkseg>\n"
    "  <trkseg>\n"
    "   <trkpt lat='-33.5' lon='-70.25'><time>2024-06-16T08:00:00Z</time><extensions><x>1</x></extensions></trkpt>\n"
    "  </trkseg>\n"
    " </trk>\n"
    "</gpx>\n";

TEST(GpxTrack, SegmentChoiceAndTimeOffsets) {
  std::vector<std::string> offered;
  GpxTrackHooks hooks;
  hooks.chooseTrack = [&](const std::vector<std::string>& labels) -> std::optional<size_t> {
    offered = labels;
    return 1;
  };
  Result<std::vector<TrackPoint>> r = ReadGpxTrack(kTwoSegments, hooks);
  ASSERT_TRUE(r.ok()) << r.error().Describe();
  EXPECT_EQ(offered, (std::vector<std::string>{"2024-06-15   10:00:00", "2024-06-16   08:00:00"}));
  ASSERT_EQ(r->size(), 1u);
  EXPECT_NEAR(SemicirclesToDegrees((*r)[0].latitude), -33.5, 1e-7);
  EXPECT_EQ((*r)[0].gpsHeight, 0);

  hooks.chooseTrack = [](const std::vector<std::string>&) -> std::optional<size_t> { return 0; };
  r = ReadGpxTrack(kTwoSegments, hooks);
  ASSERT_TRUE(r.ok());
  ASSERT_EQ(r->size(), 2u);
  EXPECT_EQ((*r)[0].time, At(2024, 6, 15, 10, 0, 0));  // +02:00 taken off
  EXPECT_EQ((*r)[0].gpsHeight, 10004);
  EXPECT_EQ((*r)[1].time, At(2024, 6, 15, 10, 0, 5));

  hooks.chooseTrack = [](const std::vector<std::string>&) -> std::optional<size_t> { return std::nullopt; };
  EXPECT_TRUE(ReadGpxTrack(kTwoSegments, hooks).cancelled());
}

TEST(GpxTrack, Errors) {
  const std::string head = "<?xml version=\"1.0\"?><gpx><trk><trkseg>";
  const std::string tail = "</trkseg></trk></gpx>";
  const struct {
    std::string text;
    const char* message;
  } cases[] = {
      {"no tags at all", "No tags found"},
      {"\xFF\xFE<\0?\0", "Unknown BOM before opening tag '<?xml>'"},
      {"<gpx></gpx>", "Missing opening tag '<?xml>'"},
      {"<?xml version=\"1.0\"?><gpx></gpx>", "No tracks found"},
      {head + "<trkpt lon=\"8\"><time>2024-06-15T10:00:00Z</time></trkpt>" + tail,
       "Missing/bad latitude data in position 1"},
      {head + "<trkpt lat=\"91\" lon=\"8\"><time>2024-06-15T10:00:00Z</time></trkpt>" + tail,
       "Missing/bad latitude data in position 1"},
      {head + "<trkpt lat=\"46\" lon=\"east\"><time>2024-06-15T10:00:00Z</time></trkpt>" + tail,
       "Missing/bad longitude data in position 1"},
      {head + "<trkpt lat=\"46\" lon=\"8\"><ele>high</ele><time>2024-06-15T10:00:00Z</time></trkpt>" + tail,
       "Bad height data for position 1"},
      {head + "<trkpt lat=\"46\" lon=\"8\"><time>2024-06-15T10:00:00Z</time></trkpt>" +
           "<trkpt lat=\"46\" lon=\"8\"><time>2024-13-15T10:00:00Z</time></trkpt>" + tail,
       "Bad time data for position 2"},
      {head + "<trkpt lat=\"46\" lon=\"8\"><time></time></trkpt>" + tail, "Missing data for position 1"},
      {head + "<trkpt lat=\"46\" lon=\"8\"><ele>5</ele></trkpt>" + tail, "Missing tag(s) for position 1"},
      {head + "<trkpt lat=\"46\" lon=\"8\"><time>2024-06-15T10:00:00Z</time></trkpt>" + "</trkseg></gpx>",
       "Tag <trk> is terminated by </gpx>"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    Result<std::vector<TrackPoint>> r = ReadGpxTrack(c.text);
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error().text, c.message);
  }
  std::string many = "<?xml version=\"1.0\"?><gpx><trk>";
  for (size_t i = 0; i <= kGpxSegmentLimit; ++i) many += "<trkseg></trkseg>";
  many += "</trk></gpx>";
  Result<std::vector<TrackPoint>> r = ReadGpxTrack(many);
  ASSERT_FALSE(r.ok());
  EXPECT_EQ(r.error().text, "Too many track segments");
}

TEST(GpxWaypoints, WrittenEscapedAndReadBack) {
  WaypointList list;
  list.items.push_back({*DegreesToLatitude(46.5), *DegreesToLongitude(8.25), 1234, "TOP", "Summit & \"<Ridge>\"",
                        At(2024, 6, 15, 10, 0, 0), 18});
  list.items.push_back({*DegreesToLatitude(-33.75), *DegreesToLongitude(-70.5), -5, "LZ-2", "", 5, 18});
  const std::string text = BuildGpxWaypoints(list, kNow);
  EXPECT_NE(text.find("<cmt>Summit &amp; &quot;&lt;Ridge&gt;&quot;</cmt>"), std::string::npos);
  EXPECT_NE(text.find("    <time>2024-06-15T10:00:00</time>\r\n"), std::string::npos);
  WaypointReadOptions options;
  options.now = kNow;
  Result<WaypointList> r = ReadGpxWaypoints(text, options);
  ASSERT_TRUE(r.ok()) << r.error().Describe();
  ASSERT_EQ(r->items.size(), 2u);
  for (size_t i = 0; i < 2; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(r->items[i].id, list.items[i].id);
    EXPECT_EQ(r->items[i].name, list.items[i].name);
    EXPECT_EQ(r->items[i].height, list.items[i].height);
    EXPECT_EQ(r->items[i].time, list.items[i].time);
    EXPECT_NEAR(SemicirclesToDegrees(r->items[i].latitude), SemicirclesToDegrees(list.items[i].latitude), 5e-7);
  }
}

TEST(GpxWaypoints, HandheldFileWithCdataEntitiesAndNoComment) {
  const char text[] =
      "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\" ?>\n"
      "<gpx xmlns=\"http://www.topografix.com/GPX/1/1\" creator=\"eTrex 30\" version=\"1.1\">\n"
      "  <metadata><link href=\"http://www.garmin.com\"><text>Garmin</text></link><name>x</name></metadata>\n"
      "  <wpt lat=\"46.5\" lon=\"8.25\"><ele>1500.49</ele><time>2024-06-15T10:00:00Z</time>"
      "<name><![CDATA[peak]]></name><desc>Gipfel &amp; Kreuz &#xE4;</desc><sym>Summit</sym></wpt>\n"
      "  <wpt lat=\"46.6\" lon=\"8.35\"><name>B&amp;B</name><cmt><![CDATA[a &amp; b]]></cmt></wpt>\n"
      "</gpx>\n";
  WaypointReadOptions options;
  options.now = kNow;
  Result<WaypointList> r = ReadGpxWaypoints(text, options);
  ASSERT_TRUE(r.ok()) << r.error().Describe();
  ASSERT_EQ(r->items.size(), 2u);
  EXPECT_EQ(r->items[0].id, "PEAK");
  EXPECT_EQ(r->items[0].name, "Gipfel & Kreuz \xC3\xA4");
  EXPECT_EQ(r->items[0].height, 1500);
  EXPECT_EQ(r->items[0].time, At(2024, 6, 15, 10, 0, 0));
  EXPECT_EQ(r->items[1].id, "B-B");  // '&' is no ID character: modified at the default answer
  EXPECT_EQ(r->items[1].name, "a &amp; b");  // CDATA stands as it is
  EXPECT_EQ(r->items[1].time, kNow);
}

TEST(GpxWaypoints, Errors) {
  const std::string head = "<?xml version=\"1.0\"?><gpx>";
  const struct {
    std::string body;
    const char* message;
  } cases[] = {
      {"<wpt><name>A</name></wpt>", "Missing position data for waypoint 1"},
      {"<wpt lat=\"x\" lon=\"8\"><name>A</name></wpt>", "Missing/bad latitude data in waypoint 1"},
      {"<wpt lat=\"4\" lon=\"181\"><name>A</name></wpt>", "Missing/bad longitude data in waypoint 1"},
      {"<wpt lat=\"4\" lon=\"8\"><name>A</name></wpt><wpt lat=\"4\" lon=\"8\"><desc>A</desc></wpt>",
       "Missing name data for waypoint 2"},
      {"<wpt lat=\"4\" lon=\"8\"><name>A</name><ele>x</ele></wpt>", "Bad height data for waypoint 1"},
      {"<wpt lat=\"4\" lon=\"8\"><name>A</name><time>yesterday</time></wpt>", "Bad time data for waypoint 1"},
  };
  WaypointReadOptions options;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.body);
    Result<WaypointList> r = ReadGpxWaypoints(head + c.body + "</gpx>", options);
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error().text, c.message);
  }
  options.askModifyId = [](std::string_view) { return ModifyIdAnswer::kCancel; };
  Result<WaypointList> r = ReadGpxWaypoints(head + "<wpt lat=\"4\" lon=\"8\"><name>TOOLONG</name></wpt></gpx>", options);
  ASSERT_FALSE(r.ok());
  EXPECT_EQ(r.error().text, "Bad ID for waypoint 1");
}

TEST(GpxCtrs, OutlinesWithFloorAndCeiling) {
  std::vector<CtrOutline> areas(2);
  areas[0] = {"CTR <Zürich> & \"TMA\"", "2500 ft", "GND", {{47.0, 8.0}, {47.1, 8.1}, {47.0, 8.0}}};
  areas[1] = {"R 1", "FL95", "1000m AGL", {{46.0, 7.5}}};
  const std::string text = BuildGpxCtrs(areas, kNow);
  EXPECT_NE(text.find("<name>CTR &lt;Zürich&gt; &amp; &quot;TMA&quot;</name>"), std::string::npos);
  EXPECT_EQ(Count(text, "<ele>762.000000</ele>"), 3u);
  EXPECT_EQ(Count(text, "<gpxx:Depth>0.000000</gpxx:Depth>"), 3u);
  EXPECT_NE(text.find("<ele>2895.600000</ele>"), std::string::npos);
  EXPECT_NE(text.find("<gpxx:Depth>1000.000000</gpxx:Depth>"), std::string::npos);
  EXPECT_NE(text.find("<bounds minlat=\"46.000000\" minlon=\"7.500000\" maxlat=\"47.100000\" maxlon=\"8.100000\"/>"),
            std::string::npos);
}

TEST(GpxHeights, ParseHeightText) {
  const struct {
    const char* text;
    double metres;
  } cases[] = {
      {"4500 MSL", 4500 * 0.3048}, {"4500F", 4500 * 0.3048},  {"4500ft AMSL", 4500 * 0.3048},
      {"4500 FT", 4500 * 0.3048},  {"  4500", 4500 * 0.3048}, {"1000m", 1000},
      {"1000 M AGL", 1000},        {"1000,5m", 1000.5},       {"2500 ft", 762},
      {"GND", 0},                  {"SFC", 0},                {"UNL", 0},
      {"FL95", 9500 * 0.3048},     {"FL 100", 10000 * 0.3048}, {"", 0},
      {"-300m", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_NEAR(ParseHeightText(c.text), c.metres, 1e-9);
  }
}

}  // namespace
}  // namespace skylode
