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
  const IgcSaveResult r = SaveIgcTrackLog(log.points, log, Parameters(), path, false);
  ASSERT_EQ(r.status, IgcSaveStatus::kSaved) << r.message << r.systemError;
  EXPECT_EQ(r.positionsWritten, log.points.size());
  EXPECT_FALSE(r.gRecordSkipped);
  // The save passes no competition ID; otherwise the fixture's texts.
  EXPECT_EQ(igc_test::ReadFile(path), igc_test::ReadFile(std::string(SKYLODE_TEST_DATA) + "/igc/fixture_g.igc"));
  EXPECT_EQ(VerifyIgcFile(path).outcome, IgcVerifyOutcome::kPassed);
  EXPECT_EQ(IgcPositionsWrittenStatus(r.positionsWritten), "4 positions written");
}

TEST_F(IgcFiles, ExistingFileIsKeptUntilTheUserAgrees) {
  const TrackLog log = InstrumentLog();
  const std::string path = Path("flight.igc");
  Put(path, "old contents");
  IgcSaveResult r = SaveIgcTrackLog(log.points, log, Parameters(), path, false);
  EXPECT_EQ(r.status, IgcSaveStatus::kExists);
  EXPECT_EQ(r.message, "File already exists, overwrite ?");
  EXPECT_EQ(r.caption, "File creation");
  EXPECT_EQ(igc_test::ReadFile(path), "old contents");
  r = SaveIgcTrackLog(log.points, log, Parameters(), path, true);
  ASSERT_EQ(r.status, IgcSaveStatus::kSaved);
  EXPECT_EQ(VerifyIgcFile(path).outcome, IgcVerifyOutcome::kPassed);
}

TEST_F(IgcFiles, FailuresLeaveNoFileAndSayWhy) {
  const TrackLog log = InstrumentLog();
  const std::string path = Path("flight.igc");
  Put(path, "old contents");
  IgcSaveResult r = SaveIgcTrackLog({}, log, Parameters(), path, true);
  EXPECT_EQ(r.status, IgcSaveStatus::kFailed);
  EXPECT_EQ(r.message, "No position(s) selected");
  EXPECT_EQ(r.caption, "Write IGC track log file");
  EXPECT_EQ(igc_test::ReadFile(path), "old contents");

  r = SaveIgcTrackLog(log.points, log, Parameters(), Path("missing-folder/flight.igc"), false);
  EXPECT_EQ(r.status, IgcSaveStatus::kFailed);
  EXPECT_EQ(r.message, "Error opening file");
  EXPECT_FALSE(r.systemError.empty());
  EXPECT_FALSE(fs::exists(Path("missing-folder")));

  r = SaveRawIgcLog(RawIgcBuffer{}, path, true);
  EXPECT_EQ(r.status, IgcSaveStatus::kFailed);
  EXPECT_EQ(r.message, "No raw IGC log stored");
  EXPECT_EQ(r.caption, "Save IGC log");
  EXPECT_EQ(igc_test::ReadFile(path), "old contents");
}

TEST_F(IgcFiles, LogFromAFileIsSavedWithoutSecurityRecord) {
  TrackLog log = InstrumentLog();
  log.gRecordValid = false;
  const std::string path = Path("flight.igc");
  const IgcSaveResult r = SaveIgcTrackLog(log.points, log, Parameters(), path, false);
  ASSERT_EQ(r.status, IgcSaveStatus::kSaved);
  EXPECT_TRUE(r.gRecordSkipped);
  EXPECT_EQ(VerifyIgcFile(path).message, "No security record");

  IgcSaveParameters noG = Parameters();
  noG.wantGRecord = false;
  EXPECT_FALSE(SaveIgcTrackLog(log.points, log, noG, path, true).gRecordSkipped);
}

TEST_F(IgcFiles, RawLogIsSavedByteForByte) {
  RawIgcBuffer raw;
  // Ends in a control byte, a high byte and a NUL: none of it is touched.
  raw.text = std::string("AFLY123\nHFDTE010709\nB1000004703501N00800000WA0123401300\n\x01\xff", 59);
  const std::string path = Path("raw.igc");
  ASSERT_EQ(SaveRawIgcLog(raw, path, false).status, IgcSaveStatus::kSaved);
  EXPECT_EQ(igc_test::ReadFile(path), raw.text);
  EXPECT_EQ(SaveRawIgcLog(raw, path, false).status, IgcSaveStatus::kExists);
}

TEST_F(IgcFiles, ReadIgcFileAppendsTheExtension) {
  Put(Path("good.igc"), igc_test::ReadFile(std::string(SKYLODE_TEST_DATA) + "/igc/fixture_enl_g.igc"));
  Put(Path("empty.igc"), "");
  Put(Path("bad.igc"), "AXYZ\r\nB1000004703501N00800000WA0123401300\r\n");
  IgcFileReadResult r = ReadIgcFile(Path("good"));
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.points.size(), 4u);
  EXPECT_EQ(r.manufacturer, "XKL");
  EXPECT_EQ(r.serial, "AB1");

  struct Case {
    std::string base;
    const char* error;
    bool system;
  } cases[] = {
      {Path("empty"), "File is empty", false},
      {Path("bad"), "Missing date line", false},
      {Path("absent"), "Error opening file", true},
      {std::string(254, 'x'), "File name too long", false},
  };
  for (const auto& c : cases) {
    r = ReadIgcFile(c.base);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, c.error);
    EXPECT_EQ(!r.systemError.empty(), c.system) << c.error;
  }
}

TEST_F(IgcFiles, VerifyReportsFileErrors) {
  Put(Path("empty.igc"), "");
  IgcVerifyReport v = VerifyIgcFile(Path("empty.igc"));
  EXPECT_EQ(v.outcome, IgcVerifyOutcome::kFileError);
  EXPECT_EQ(v.message, "File is empty");
  EXPECT_EQ(v.caption, "Reading track log file");
  v = VerifyIgcFile(Path("absent.igc"));
  EXPECT_EQ(v.outcome, IgcVerifyOutcome::kFileError);
  EXPECT_EQ(v.message, "Error opening track log file");
  EXPECT_FALSE(v.systemError.empty());
  v = VerifyIgcFile(std::string(SKYLODE_TEST_DATA) + "/igc/fixture_enl_g.igc");
  EXPECT_EQ(v.message, "Security check PASSED");
}

}  // namespace
}  // namespace skylode
