// What the file commands say when a format returns an Error: the formats'
// real failures, turned into the captions and texts a person reads.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "access/dispatcher.h"
#include "formats/file_io.h"
#include "formats/igc_reader.h"
#include "formats/igc_writer.h"
#include "formats/kml_reader.h"
#include "formats/kml_writer.h"
#include "formats/kml_test_support.h"
#include "shell/app_state.h"
#include "shell/command_line/command_line_run.h"
#include "shell/commands/file_messages.h"
#include "temp_dir.h"

namespace skylode {
namespace {

namespace fs = std::filesystem;

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void Spit(const std::string& path, std::string_view text) { std::ofstream(path, std::ios::binary) << text; }

using kml_test::Track;

// Caption first, then text, and only that way round: two strings, or the two
// swapped, do not compile.
template <typename Host, typename A, typename B>
concept ShowsMessage = requires(Host& host, A a, B b) { host.ShowMessage(a, b); };
static_assert(ShowsMessage<AppState, Caption, std::string_view>);
static_assert(!ShowsMessage<AppState, std::string_view, Caption>);
static_assert(!ShowsMessage<AppState, const char*, const char*>);
template <typename A, typename B>
concept HostShowsMessage = requires(DispatcherHost& host, A a, B b) { host.ShowMessage(a, b, MessageIcon::kError); };
static_assert(HostShowsMessage<Caption, std::string_view>);
static_assert(!HostShowsMessage<std::string_view, Caption>);
static_assert(!HostShowsMessage<const char*, const char*>);

class FileMessagesTest : public ::testing::Test {
 protected:
  std::string Path(const std::string& name) const { return dir / name; }
  test::TempDir dir;
};

TEST_F(FileMessagesTest, IgcSaveFailures) {
  TrackLog log;
  log.points = Track(4);
  IgcSaveParameters p;
  p.pilot = "Jane";
  p.frSerial = "AB1";
  struct Case {
    const char* name;
    Error error;
    bool raw;
    FileMessage expected;
  };
  const Result<IgcSaved> none = SaveIgcTrackLog({}, log, p, Path("x.igc"), WriteMode::kReplace);
  const Result<IgcSaved> noFolder = SaveIgcTrackLog(log.points, log, p, Path("missing/x.igc"), WriteMode::kReplace);
  const Status noRaw = SaveRawIgcLog(RawIgcBuffer{}, Path("x.igc"), WriteMode::kReplace);
  ASSERT_FALSE(none.ok());
  ASSERT_FALSE(noFolder.ok());
  ASSERT_FALSE(noRaw.ok());
  const Error full = Error::System(ErrorKind::kWriteError, ENOSPC, Path("x.igc"));
  const Case cases[] = {
      {"no points", none.error(), false, {"Write IGC track log file", "No position(s) selected", BoxIcon::kError}},
      {"no raw log", noRaw.error(), true, {"Save IGC log", "No raw IGC log stored", BoxIcon::kError}},
      {"no memory", Error::NoMemory(), false, {"Encoding .igc file", "Memory allocation error", BoxIcon::kError}},
      // One prefix (the caption), then the file and the system's reason.
      {"no folder", noFolder.error(), false,
       {"Error opening file", Path("missing/x.igc") + ": " + SystemErrorText(ENOENT), BoxIcon::kInformation}},
      {"disk full", full, false,
       {"File write error", Path("x.igc") + ": " + SystemErrorText(ENOSPC), BoxIcon::kInformation}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const FileMessage m = IgcSaveFailure(c.error, c.raw);
    EXPECT_EQ(m.caption, c.expected.caption);
    EXPECT_EQ(m.text, c.expected.text);
    EXPECT_EQ(m.icon, c.expected.icon);
  }
  // Without the system's text the description stands in.
  const Error bare = Error::System(ErrorKind::kCannotReplace, 0, "/x/y.igc");
  EXPECT_EQ(IgcSaveFailure(bare, false).text, "Cannot replace file /x/y.igc");
}

TEST_F(FileMessagesTest, IgcReadFailures) {
  Spit(Path("empty.igc"), "");
  Spit(Path("bad.igc"), "AXYZ\r\nB1000004703501N00800000WA0123401300\r\n");
  struct Case {
    std::string base;
    const char* caption;
    const char* text;  // empty: the system's text
  } cases[] = {
      {Path("empty"), "Reading IGC log file", "File is empty"},
      {Path("bad"), "Reading IGC log file", "Missing date line"},
      {Path("absent"), "Error opening file", ""},
      {std::string(254, 'x'), "Reading IGC log file", "File name too long"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.base);
    const Result<IgcParse> r = ReadIgcFile(c.base);
    ASSERT_FALSE(r.ok());
    const FileMessage m = IgcReadFailure(r.error());
    EXPECT_EQ(m.caption, c.caption);
    EXPECT_EQ(m.text, *c.text ? std::string(c.text) : SystemErrorText(ENOENT));
  }
}

TEST_F(FileMessagesTest, VerifyMessages) {
  struct Case {
    Result<IgcVerifyOutcome> checked;
    const char* caption;
    const char* text;
    BoxIcon icon;
  };
  Spit(Path("empty.igc"), "");
  const Case cases[] = {
      {IgcVerifyOutcome::kPassed, "Security check", "Security check PASSED", BoxIcon::kNone},
      {IgcVerifyOutcome::kNoSecurityRecord, "Security check", "No security record", BoxIcon::kNone},
      {IgcVerifyOutcome::kFailed, "Security check", "Security check FAILED", BoxIcon::kError},
      {VerifyIgcFile(Path("empty.igc")), "Reading track log file", "File is empty", BoxIcon::kError},
      {Error::System(ErrorKind::kTooLarge, 0, "big.igc"), "File buffer memory allocation",
       "File buffer memory allocation", BoxIcon::kError},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const FileMessage m = IgcVerifyMessage(c.checked);
    EXPECT_EQ(m.caption, c.caption);
    EXPECT_EQ(m.text, c.text);
    EXPECT_EQ(m.icon, c.icon);
  }
  const FileMessage absent = IgcVerifyMessage(VerifyIgcFile(Path("absent.igc")));
  EXPECT_EQ(absent.caption, "Error opening track log file");
  EXPECT_EQ(absent.text, SystemErrorText(ENOENT));
  EXPECT_EQ(absent.icon, BoxIcon::kInformation);
}

TEST(FileMessages, StatusLinesAndQuestions) {
  EXPECT_EQ(IgcPositionsReadStatus(12), "12 positions read (Signature not ok or ignored)");
  EXPECT_EQ(IgcPositionsWrittenStatus(4), "4 positions written");
  KmlTrack track;
  track.points.resize(26);
  track.signatureValid = true;
  EXPECT_EQ(KmlTrackStatusText(track), "26 positions read (Signature ok)");
  track.signatureValid = false;
  EXPECT_EQ(KmlTrackStatusText(track), "26 positions read (Signature not ok or ignored)");
  EXPECT_EQ(KmlTrackLimitText(), "Number of tracks limited to 50");
  Waypoint w;
  w.id = "A";
  EXPECT_EQ(WaypointExistsQuestion(w), "Waypoint A already exists, overwrite ?");
}

// As after a download, a short track is written; only an empty one is refused.
TEST_F(FileMessagesTest, GoogleEarthTrackWritesShortTracksAndRespectsExistingFiles) {
  const std::vector<TrackPoint> points = Track(12);
  const auto none = WriteGoogleEarthTrack(Path("g.kml"), std::span(points).first(0), {});
  ASSERT_TRUE(none);
  EXPECT_EQ(none->caption, "Write GoogleEarth file");
  EXPECT_EQ(none->text, "Too few track positions");
  EXPECT_FALSE(fs::exists(Path("g.kml")));
  for (size_t count : {1u, 4u}) {
    const std::string name = Path("short" + std::to_string(count) + ".kml");
    ASSERT_FALSE(WriteGoogleEarthTrack(name, std::span(points).first(count), {}));
    const Result<KmlTrack> back = ReadKmlTrack(Slurp(name));
    ASSERT_TRUE(back.ok()) << back.error().text;
    EXPECT_EQ(back->points.size(), count);
  }

  GoogleEarthTrackRequest request;
  request.hashWanted = true;
  request.utcFlag = true;
  ASSERT_FALSE(WriteGoogleEarthTrack(Path("g.kml"), points, request));
  const std::string text = Slurp(Path("g.kml"));
  EXPECT_EQ(text.rfind(kKmlDocumentHead, 0), 0u);
  EXPECT_NE(text.find("<description><![CDATA[2024-06-15\r\n"), std::string::npos);
  const Result<KmlTrack> back = ReadKmlTrack(text);
  ASSERT_TRUE(back.ok()) << back.error().text;
  EXPECT_TRUE(back->signatureValid);
  EXPECT_EQ(back->points.size(), points.size());

  const auto exists = WriteGoogleEarthTrack(Path("g.kml"), points, request);
  ASSERT_TRUE(exists);
  EXPECT_EQ(exists->text, Path("g.kml") + " exists, not replaced; use /OVERWRITE");
  request.overwrite = true;
  request.hashWanted = false;
  EXPECT_FALSE(WriteGoogleEarthTrack(Path("g.kml"), points, request));
  EXPECT_EQ(Slurp(Path("g.kml")).find("hash="), std::string::npos);

  // A folder that cannot take a file says which and why.
  const auto missing = WriteGoogleEarthTrack(Path("missing/g.kml"), points, request);
  ASSERT_TRUE(missing);
  EXPECT_EQ(missing->caption, "File creation error");
  EXPECT_EQ(missing->text, Path("missing/g.kml") + ": " + SystemErrorText(ENOENT));
}

TEST(TerminalText, ControlCharactersBecomeBlanks) {
  struct Case {
    std::string in, out;
  } cases[] = {
      {"plain L\xC3\xA9gende", "plain L\xC3\xA9gende"},
      {"\x1B[31mred\x1B[0m", " [31mred [0m"},
      {"bell\a and\r\nbreak\tand\x7F", "bell  and  break and "},
      {std::string("nul\0in", 6), "nul in"},
  };
  for (const Case& c : cases) EXPECT_EQ(PrintableText(c.in), c.out);
}

TEST(IgcDialogChecks, InOrder) {
  struct Case {
    const char* pilot;
    const char* flight;
    const char* serial;
    std::optional<std::string> error;
  } cases[] = {
      {"Jane", "1", "AB1", std::nullopt},
      {"Jane", " +35 ", "ab1", std::nullopt},
      {"", "x", "", "Missing pilot name"},
      {"Jane", "", "", "Missing flight number"},
      {"Jane", "   ", "AB1", "Missing flight number"},
      {"Jane", "1x", "AB1", "Bad flight number input"},
      {"Jane", "+", "AB1", "Bad flight number input"},
      {"Jane", "1 2", "AB1", "Bad flight number input"},
      {"Jane", "0", "AB1", "Flight number out of range"},
      {"Jane", "36", "AB1", "Flight number out of range"},
      {"Jane", "-1", "AB1", "Flight number out of range"},
      {"Jane", "99999999999999999999", "AB1", "Flight number out of range"},
      {"Jane", "7", "", "Missing FR serial number"},
      {"Jane", "7", "A1", "FR serial number string too short"},
      {"Jane", "7", "A-1", "FR serial number not alpha-numeric"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(CheckIgcSaveParameters(c.pilot, c.flight, c.serial), c.error) << c.flight << "|" << c.serial;
  const IgcFlightNumberCheck twelve = CheckIgcFlightNumber(" 12");
  EXPECT_EQ(twelve.flight, 12);
  EXPECT_FALSE(twelve.error);
}

}  // namespace
}  // namespace skylode
