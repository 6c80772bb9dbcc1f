#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "formats/igc_reader.h"
#include "formats/igc_writer.h"
#include "igc_test_support.h"

namespace skylode {
namespace {

namespace fs = std::filesystem;

class IgcFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string tmpl = (fs::path(::testing::TempDir()) / "igc_files_XXXXXX").string();
    ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string Path(const char* name) const { return (dir_ / name).string(); }
  static void Put(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
  }
  static TrackLog InstrumentLog() {
    TrackLog log;
    log.points = igc_test::FixtureTrack();
    log.gRecordValid = true;
    log.instrumentText = "Vario 5030 V3.2";
    log.downloadTime = CalendarTime{2009, 7, 2, 8, 15, 30, 0};
    return log;
  }
  static IgcSaveParameters Parameters() {
    IgcSaveParameters p;
    p.pilot = "Jane Doe";
    p.frSerial = "AB1";
    p.gliderType = "Alpha 7";
    p.gliderId = "D-1234";
    p.site = "Valley";
    p.competitionClass = "Sport";
    return p;
  }
  fs::path dir_;
};

TEST_F(IgcFiles, SaveWritesTheBuiltTextAndVerifies) {
  const TrackLog log = InstrumentLog();
  const std::string path = Path("flight.igc");
  const Result<IgcSaved> r = SaveIgcTrackLog(log.points, log, Parameters(), path, WriteMode::kCreateNew);
  ASSERT_TRUE(r.ok()) << r.error().Describe();
  EXPECT_EQ(r->positionsWritten, log.points.size());
  EXPECT_FALSE(r->gRecordSkipped);
  // The save passes no competition ID; otherwise the fixture's texts.
  EXPECT_EQ(igc_test::ReadFile(path), igc_test::ReadFile(std::string(SKYLODE_TEST_DATA) + "/igc/fixture_g.igc"));
  const Result<IgcVerifyOutcome> checked = VerifyIgcFile(path);
  ASSERT_TRUE(checked.ok());
  EXPECT_EQ(*checked, IgcVerifyOutcome::kPassed);
}

TEST_F(IgcFiles, ExistingFileIsKeptUntilTheUserAgrees) {
  const TrackLog log = InstrumentLog();
  const std::string path = Path("flight.igc");
  Put(path, "old contents");
  Result<IgcSaved> r = SaveIgcTrackLog(log.points, log, Parameters(), path, WriteMode::kCreateNew);
  ASSERT_FALSE(r.ok());
  EXPECT_EQ(r.error().kind, ErrorKind::kExists);
  EXPECT_EQ(r.error().path, path);
  EXPECT_EQ(igc_test::ReadFile(path), "old contents");
  r = SaveIgcTrackLog(log.points, log, Parameters(), path, WriteMode::kReplace);
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(*VerifyIgcFile(path), IgcVerifyOutcome::kPassed);
}

TEST_F(IgcFiles, FailuresLeaveNoFileAndSayWhy) {
  const TrackLog log = InstrumentLog();
  const std::string path = Path("flight.igc");
  Put(path, "old contents");
  Result<IgcSaved> r = SaveIgcTrackLog({}, log, Parameters(), path, WriteMode::kReplace);
  ASSERT_FALSE(r.ok());
  EXPECT_EQ(r.error().kind, ErrorKind::kNothingToWrite);
  EXPECT_EQ(igc_test::ReadFile(path), "old contents");

  r = SaveIgcTrackLog(log.points, log, Parameters(), Path("missing-folder/flight.igc"), WriteMode::kCreateNew);
  ASSERT_FALSE(r.ok());
  EXPECT_EQ(r.error().kind, ErrorKind::kCannotCreate);
  EXPECT_FALSE(r.error().osText.empty());
  EXPECT_FALSE(fs::exists(Path("missing-folder")));

  const Status raw = SaveRawIgcLog(RawIgcBuffer{}, path, WriteMode::kReplace);
  ASSERT_FALSE(raw.ok());
  EXPECT_EQ(raw.error().kind, ErrorKind::kNothingToWrite);
  EXPECT_EQ(igc_test::ReadFile(path), "old contents");
}

TEST_F(IgcFiles, LogFromAFileIsSavedWithoutSecurityRecord) {
  TrackLog log = InstrumentLog();
  log.gRecordValid = false;
  const std::string path = Path("flight.igc");
  const Result<IgcSaved> r = SaveIgcTrackLog(log.points, log, Parameters(), path, WriteMode::kCreateNew);
  ASSERT_TRUE(r.ok());
  EXPECT_TRUE(r->gRecordSkipped);
  EXPECT_EQ(*VerifyIgcFile(path), IgcVerifyOutcome::kNoSecurityRecord);

  IgcSaveParameters noG = Parameters();
  noG.wantGRecord = false;
  EXPECT_FALSE(SaveIgcTrackLog(log.points, log, noG, path, WriteMode::kReplace)->gRecordSkipped);
}

TEST_F(IgcFiles, RawLogIsSavedByteForByte) {
  RawIgcBuffer raw;
  // Ends in a control byte, a high byte and a NUL: none of it is touched.
  raw.text = std::string("AFLY123\nHFDTE010709\nB1000004703501N00800000WA0123401300\n\x01\xff", 59);
  const std::string path = Path("raw.igc");
  ASSERT_TRUE(SaveRawIgcLog(raw, path, WriteMode::kCreateNew).ok());
  EXPECT_EQ(igc_test::ReadFile(path), raw.text);
  const Status again = SaveRawIgcLog(raw, path, WriteMode::kCreateNew);
  ASSERT_FALSE(again.ok());
  EXPECT_EQ(again.error().kind, ErrorKind::kExists);
}

// What the program saves it must read again: an instrument's text with NUL
// bytes in its lines and after them is saved as it is and read back whole.
TEST_F(IgcFiles, SavedRawLogWithNulBytesReadsBack) {
  const std::string text = std::string("AFLY123\r\nHFDTE010709\0\0\r\nB1000004703501N00800000WA0123401300\r\n", 61) +
                           "B1000014703501N00800000WA0123401310\r\n" + std::string(16, '\0');
  const Result<AcceptedIgc> accepted = AcceptInstrumentIgc(text);
  ASSERT_TRUE(accepted.ok()) << accepted.error().text;
  const std::string path = Path("nul.igc");
  ASSERT_TRUE(SaveRawIgcLog(accepted->raw, path, WriteMode::kCreateNew).ok());
  EXPECT_EQ(igc_test::ReadFile(path), text);
  const Result<IgcParse> again = ReadIgcFile(Path("nul"));
  ASSERT_TRUE(again.ok()) << again.error().text;
  EXPECT_EQ(again->points, accepted->points);
  EXPECT_EQ(again->points.size(), 2u);
}

TEST_F(IgcFiles, ReadIgcFileAppendsTheExtension) {
  Put(Path("good.igc"), igc_test::ReadFile(std::string(SKYLODE_TEST_DATA) + "/igc/fixture_enl_g.igc"));
  Put(Path("empty.igc"), "");
  Put(Path("bad.igc"), "AXYZ\r\nB1000004703501N00800000WA0123401300\r\n");
  Result<IgcParse> r = ReadIgcFile(Path("good"));
  ASSERT_TRUE(r.ok()) << r.error().Describe();
  EXPECT_EQ(r->points.size(), 4u);
  EXPECT_EQ(r->manufacturer, "XKL");
  EXPECT_EQ(r->serial, "AB1");

  struct Case {
    std::string base;
    ErrorKind kind;
    const char* text;  // the reader's own account, for content errors
    bool system;
  } cases[] = {
      {Path("empty"), ErrorKind::kEmpty, "", false},
      {Path("bad"), ErrorKind::kBadContent, "Missing date line", false},
      {Path("absent"), ErrorKind::kCannotOpen, "", true},
      {std::string(254, 'x'), ErrorKind::kNameTooLong, "", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.base);
    r = ReadIgcFile(c.base);
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error().kind, c.kind);
    EXPECT_EQ(r.error().text, c.text);
    EXPECT_EQ(!r.error().osText.empty(), c.system);
  }
}

TEST_F(IgcFiles, VerifyReportsFileErrors) {
  Put(Path("empty.igc"), "");
  Result<IgcVerifyOutcome> v = VerifyIgcFile(Path("empty.igc"));
  ASSERT_FALSE(v.ok());
  EXPECT_EQ(v.error().kind, ErrorKind::kEmpty);
  v = VerifyIgcFile(Path("absent.igc"));
  ASSERT_FALSE(v.ok());
  EXPECT_EQ(v.error().kind, ErrorKind::kCannotOpen);
  EXPECT_FALSE(v.error().osText.empty());
  v = VerifyIgcFile(std::string(SKYLODE_TEST_DATA) + "/igc/fixture_enl_g.igc");
  ASSERT_TRUE(v.ok());
  EXPECT_EQ(*v, IgcVerifyOutcome::kPassed);
}

}  // namespace
}  // namespace skylode
