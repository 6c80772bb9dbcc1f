// The track folder byte for byte, its FsInfo hash recomputed from the items,
// the line breaks of the lists, the pilot IDs and the files around folders.
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <filesystem>
#include <regex>

#include "formats/file_io.h"
#include "formats/kml_reader.h"
#include "formats/kml_writer.h"
#include "kml_test_support.h"

namespace skylode {
namespace {

namespace fs = std::filesystem;
using kml_test::At;
using kml_test::ReadFile;
using kml_test::Statistics;
using kml_test::Track;

std::string Folder(const FlightStatistics& stats, std::string_view description = "Ridge run",
                   std::string_view instrument = "Flytec 6030  SN\t1234 ") {
  TextOutputBuffer out;
  EXPECT_TRUE(BuildKmlTrackFolder(out, stats, description, {instrument, 800}).ok());
  return out.Take();
}

// The text between <tag> and </tag> of the track placemark.
std::string Between(const std::string& text, const std::string& tag) {
  const size_t a = text.find("<" + tag + ">\r\n");
  const size_t b = text.find("</" + tag + ">", a);
  if (a == std::string::npos || b == std::string::npos) return {};
  return text.substr(a + tag.size() + 4, b - a - tag.size() - 4);
}

std::string TrackCoordinates(const std::string& folder) {
  return Between(folder.substr(folder.find("<name>Tracklog</name>")), "coordinates");
}

std::string Attribute(const std::string& text, const std::string& name) {
  std::smatch m;
  if (!std::regex_search(text, m, std::regex("[\\s]" + name + "=\"([^\"]*)\""))) return {};
  return m[1];
}

std::vector<std::string> Items(const std::string& block) {
  std::vector<std::string> items;
  std::regex item("[^ \r\n]+ ?");
  for (auto it = std::sregex_iterator(block.begin(), block.end(), item); it != std::sregex_iterator(); ++it)
    items.push_back(it->str());
  return items;
}

std::string Sha1Hex(const std::string& data) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int n = 0;
  EVP_Digest(data.data(), data.size(), digest, &n, EVP_sha1(), nullptr);
  char hex[3];
  std::string out;
  for (unsigned int i = 0; i < n; ++i) {
    std::snprintf(hex, sizeof hex, "%02X", digest[i]);
    out += hex;
  }
  return out;
}

TEST(KmlTrackFolder, MatchesTheExpectedFolderByteForByte) {
  const std::string expected = ReadFile(std::string(SKYLODE_TEST_DATA) + "/kml/track_folder_26.kml");
  ASSERT_FALSE(expected.empty());
  EXPECT_EQ(Folder(Statistics(Track(26)), "Ridge run <north> & back"), expected);
}

TEST(KmlTrackFolder, HashCoversExactlyTheListedItems) {
  const std::string folder = Folder(Statistics(Track(26)));
  std::string data = FsInfoKey();
  ASSERT_EQ(data.size(), 17u);
  data += Attribute(folder, "time_of_first_point");
  data += Attribute(folder, "instrument");
  data += Attribute(folder, "downloaded");
  for (const auto& tag : {"SecondsFromTimeOfFirstPoint", "PressureAltitude"})
    for (const auto& item : Items(Between(folder, tag))) data += item;
  for (const auto& item : Items(TrackCoordinates(folder))) data += item;
  EXPECT_EQ(Attribute(folder, "instrument"), "Flytec 6030 SN 1234");
  EXPECT_EQ(Attribute(folder, "hash"), Sha1Hex(data));
}

TEST(KmlTrackFolder, ListsBreakAfterEveryTwentyFifthOffsetAndFifthPosition) {
  struct Case {
    size_t count;
    std::vector<size_t> offsetsPerLine;
    std::vector<size_t> positionsPerLine;
  };
  const Case cases[] = {
      {5, {5}, {5}},
      {6, {6}, {5, 1}},
      {25, {25}, {5, 5, 5, 5, 5}},
      {26, {25, 1}, {5, 5, 5, 5, 5, 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.count);
    const std::string folder = Folder(Statistics(Track(c.count)));
    for (const auto& [block, perLine] : {std::pair{Between(folder, "SecondsFromTimeOfFirstPoint"), c.offsetsPerLine},
                                         std::pair{TrackCoordinates(folder), c.positionsPerLine}}) {
      std::vector<std::string> lines;
      // The block ends with the indentation of the closing tag.
      for (size_t at = 0; block.find_first_not_of(' ', at) != std::string::npos;) {
        const size_t end = block.find("\r\n", at);
        ASSERT_NE(end, std::string::npos) << "every line ends in CR LF";
        lines.push_back(block.substr(at, end - at));
        at = end + 2;
      }
      ASSERT_EQ(lines.size(), perLine.size());
      for (size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(Items(lines[i]).size(), perLine[i]);
        // Every item but the very last is followed by a blank.
        EXPECT_EQ(lines[i].back() == ' ', i + 1 < lines.size()) << lines[i];
      }
    }
  }
}

TEST(KmlTrackFolder, PilotIdsFollowTheTimeOnTheirOwnLine) {
  struct Case {
    bool flag;
    int32_t civl, comp;
    std::string line;  // empty: no ID line
  };
  const Case cases[] = {
      {true, -1, 12, "                comp_pilot_id=\"12\""},
      {true, 5, 12, "                civl_pilot_id=\"5\" comp_pilot_id=\"12\""},
      {true, 5, -1, "                civl_pilot_id=\"5\""},
      {true, -1, -1, ""},
      {false, 5, 12, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    FlightStatistics s = Statistics(Track(6));
    s.pilotIdFlag = c.flag;
    s.civlId = c.civl;
    s.competitionId = c.comp;
    const std::string folder = Folder(s, "x", "");
    const std::string head = "<FsInfo time_of_first_point=\"2024-06-15T10:30:00Z\"\r\n";
    const size_t at = folder.find(head);
    ASSERT_NE(at, std::string::npos);
    const std::string next = folder.substr(at + head.size(), folder.find("\r\n", at + head.size()) - at - head.size());
    if (c.line.empty()) {
      EXPECT_EQ(next.rfind("                downloaded=", 0), 0u) << next;
    } else {
      EXPECT_EQ(next, c.line);
    }
    // The IDs do not touch the hash.
    EXPECT_EQ(Attribute(folder, "hash"), Attribute(Folder(Statistics(Track(6)), "x", ""), "hash"));
  }
}

TEST(KmlTrackFolder, TrackWithoutTimesGetsFiveSecondStepsAndNoZone) {
  FlightStatistics s = Statistics(Track(6));
  s.points[2].time = 0;
  const std::string folder = Folder(s);
  EXPECT_NE(folder.find("time_of_first_point=\"1989-12-31T00:00:00\""), std::string::npos);
  EXPECT_EQ(Between(folder, "SecondsFromTimeOfFirstPoint"), "0 5 10 15 20 25\r\n          ");
  EXPECT_EQ(s.points[2].time, 0u) << "the caller's record is left alone";
}

TEST(KmlTrackFolder, WithoutHashFlagOnlyTheHashAttributeGoes) {
  FlightStatistics s = Statistics(Track(7));
  const std::string with = Folder(s);
  s.analysisTimeValid = false;
  const std::string without = Folder(s);
  const size_t at = with.find("\r\n                hash=\"");
  ASSERT_NE(at, std::string::npos);
  std::string expected = with;
  expected.erase(at, 2 + 16 + 6 + 40 + 1);
  EXPECT_EQ(without, expected);
}

TEST(KmlTrackFolder, DescriptionIsEscapedUtf8InsideCdata) {
  struct Case {
    std::string in, out;
  };
  const Case cases[] = {
      {"a<b", "a&lt;b"},
      {"]]>", "]]&gt;"},
      {"Gr\xC3\xBC\xC3\x9F" "e", "Gr\xC3\xBC\xC3\x9F" "e"},
      {"caf\xE9", "caf\xC3\xA9"},  // a stray Latin-1 byte
      {"\xE2\x82\xAC 5 & 6", "\xE2\x82\xAC 5 & 6"},
  };
  for (const Case& c : cases) {
    const std::string folder = Folder(Statistics(Track(5)), c.in);
    EXPECT_NE(folder.find("<description><![CDATA[" + c.out + "\r\n<pre>"), std::string::npos) << c.in;
  }
}

TEST(KmlTrackFolder, EmptyTrackIsRefused) {
  FlightStatistics s;
  TextOutputBuffer out;
  out.Append("kept");
  const Status built = BuildKmlTrackFolder(out, s, "x");
  ASSERT_FALSE(built.ok());
  EXPECT_EQ(built.error().kind, ErrorKind::kNothingToWrite);
  EXPECT_EQ(out.text(), "kept");
}

class KmlFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string tmpl = (fs::path(::testing::TempDir()) / "kml_XXXXXX").string();
    ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  fs::path dir_;
};

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

TEST_F(KmlFileTest, NewAerodiaryFileHasHeadFolderAndTail) {
  const FlightStatistics s = Statistics(Track(8));
  ASSERT_TRUE(WriteAerodiaryFile(Path("a.kml"), Folder(s, "d", ""), AerodiaryWrite::kCreateNew).ok());
  EXPECT_EQ(ReadFile(Path("a.kml")), WrapKmlDocument(Folder(s, "d", "")));
  EXPECT_EQ(AerodiaryFileName(s), "2024-06-15_10-30");
  // A second new file at the same place is refused and the first one kept.
  const Status again = WriteAerodiaryFile(Path("a.kml"), Folder(s, "e", ""), AerodiaryWrite::kCreateNew);
  ASSERT_FALSE(again.ok());
  EXPECT_EQ(again.error().kind, ErrorKind::kExists);
  EXPECT_EQ(ReadFile(Path("a.kml")), WrapKmlDocument(Folder(s, "d", "")));
}

TEST_F(KmlFileTest, AppendToThreeFoldersGivesFourUnderOneHead) {
  const FlightStatistics s = Statistics(Track(8));
  std::string three = Folder(s, "1", "") + Folder(s, "2", "") + Folder(s, "3", "");
  three.pop_back();
  three.pop_back();  // the last folder without its line end
  ASSERT_TRUE(WriteFileAtomically(Path("log.kml"), WrapKmlDocument(three + "\r\n")).ok());
  const Status r = WriteAerodiaryFile(Path("log.kml"), Folder(s, "4", ""), AerodiaryWrite::kAppend);
  ASSERT_TRUE(r.ok()) << r.error().Describe();
  const std::string text = ReadFile(Path("log.kml"));
  EXPECT_EQ(Count(text, "<Folder>"), 4u);
  EXPECT_EQ(Count(text, "</Folder>"), 4u);
  EXPECT_EQ(Count(text, "<?xml"), 1u);
  EXPECT_EQ(Count(text, "<Document>"), 1u);
  EXPECT_EQ(text, WrapKmlDocument(three + "\r\n" + Folder(s, "4", "")));
  // Every folder still reads back with a good hash.
  const Result<KmlTrack> back = ReadKmlTrack(text, {nullptr, [](const std::vector<std::string>& labels) {
                                                      EXPECT_EQ(labels.size(), 4u);
                                                      return std::optional<size_t>(3);
                                                    }});
  ASSERT_TRUE(back.ok()) << back.error().text;
  EXPECT_TRUE(back->signatureValid);
}

TEST_F(KmlFileTest, AppendToFileThatStartsWithFolder) {
  const FlightStatistics s = Statistics(Track(6));
  std::string bare = Folder(s, "1", "");
  bare.erase(0, 2);  // "<Folder>" is the first byte of the file
  ASSERT_TRUE(WriteFileAtomically(Path("bare.kml"), bare).ok());
  const Status r = WriteAerodiaryFile(Path("bare.kml"), Folder(s, "2", ""), AerodiaryWrite::kAppend);
  ASSERT_TRUE(r.ok()) << r.error().Describe();
  EXPECT_EQ(ReadFile(Path("bare.kml")), WrapKmlDocument("  " + bare + Folder(s, "2", "")));
}

TEST_F(KmlFileTest, ExistingFileSurvivesUnreadableAppend) {
  const FlightStatistics s = Statistics(Track(6));
  struct Case {
    std::string old;
    ErrorKind kind;
  };
  const Case cases[] = {
      {"<Document><Folder></Document>", ErrorKind::kBadContent},
      {"<Document></Document>", ErrorKind::kBadContent},
      {"", ErrorKind::kEmpty},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.old);
    std::ofstream(Path("old.kml"), std::ios::binary) << c.old;
    const Status r = WriteAerodiaryFile(Path("old.kml"), Folder(s, "x", ""), AerodiaryWrite::kAppend);
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error().kind, c.kind);
    EXPECT_EQ(ReadFile(Path("old.kml")), c.old);
  }
  ASSERT_TRUE(WriteFileAtomically(Path("old.kml"), "junk").ok());
  ASSERT_TRUE(WriteAerodiaryFile(Path("old.kml"), Folder(s, "x", ""), AerodiaryWrite::kOverwrite).ok());
  EXPECT_EQ(ReadFile(Path("old.kml")), WrapKmlDocument(Folder(s, "x", "")));
}

}  // namespace
}  // namespace skylode
