// The command line as scoring software writes it: every keyword's good and
// bad values, the operation/instrument checks and the tokenizer's positions.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shell/command_line/command_line.h"
#include "protocols/family.h"
#include "records/calendar.h"

namespace skylode {
namespace {

std::vector<std::string> Args(std::initializer_list<const char*> list) { return {list.begin(), list.end()}; }

CmdRun ParsedOk(const std::vector<std::string>& args) {
  CmdParseResult r = ParseCommandLine(args);
  EXPECT_TRUE(r.ok()) << r.error;
  EXPECT_TRUE(r.run.has_value());
  return r.run.value_or(CmdRun{});
}

struct ErrorCase {
  std::vector<std::string> args;
  std::string error;
};

TEST(CommandLineParse, BadValuesGiveTheirMessage) {
  const std::vector<ErrorCase> cases = {
      {{"/COM=0"}, "Bad COM port"},
      {{"/COM=3x"}, "Bad COM port"},
      {{"/COM="}, "Bad COM port"},
      {{"/GPS=ETREX"}, "Bad GPS type"},
      {{"/KML_LOG="}, "Missing log file name"},
      {{"/OZI_LOG"}, "Missing log file name"},
      {{"/RD_LOG="}, "Missing track log file name"},
      {{"/LOGFILE="}, "Missing track log file name"},
      {{"/IGC_LOG="}, "Missing log file directory name"},
      {{"/RD_WPT="}, "Missing wpt file name"},
      {{"/WR_WPT2="}, "Missing wpt file name"},
      {{"/WR_CTR="}, "Missing CTR file name"},
      {{"/WIN=3"}, "Bad window size"},
      {{"/WIN=00"}, "Bad window size"},
      {{"/IGC2KML="}, "Missing IGC/KML file name"},
      {{"/DAT2KML="}, "Missing DAT/KML file name"},
      {{"/COMP_LOG=GPX"}, "Bad competition fle type"},
      {{"/COMP_DIR="}, "Missing competition directory name"},
      {{"/COMP_FS="}, "Missing flight score file name"},
      {{"/COMPID=abc"}, "Bad COMPID value"},
      {{"/CIVLID=-3"}, "Bad CIVLID value"},
      {{"/FILTER=2010050512000"}, "Bad track log start filter time"},
      {{"/FILTER=20101305120000"}, "Bad track log start filter time"},
      {{"/FILTER=20100532120000"}, "Bad track log start filter time"},
      {{"/FILTEREND=20100505246000"}, "Bad track log stop filter time"},
      {{"/FILTEREND=2010050512000a"}, "Bad track log stop filter time"},
      {{"/NOTIFY="}, "Missing window class name"},
      {{"/NOTIFY=../x"}, "Bad notify name"},
      {{"/SESSION="}, "Missing session number"},
      {{"/SESSION=12a"}, "Bad session number"},
      {{"/SENDLOG=x"}, "Bad SENDLOG value"},
      {{"/POSX=1.5"}, "Bad POSX value"},
      {{"/POSY=y"}, "Bad POSX value"},
      {{"/USERNAME="}, "Missing username"},
      {{"/TIMEOUT=ten"}, "Bad TIMEOUT value"},
      {{"/PORT="}, "Missing port name"},
      {{"/GPS=IQCOMPEO", "/KML_LOG=a.kml", "/USB"}, "USB is not supported"},
      {{"/GPS=LOGIT", "/WR_WPT=w.wpt"}, "Unsupported GPS for track log upload"},
      {{"/GPS=TOPNAV", "/IGC_LOG=out/"}, "Unsupported GPS for IGC track log download"},
      {{"/GPS=GRAVITER", "/IGC_LOG=out/"}, "Unsupported GPS for IGC track log download"},
      {{"/GPS=LOGIT", "/RD_WPT=w.wpt"}, "Unsupported GPS for waypoint download"},
      {{"/GPS=MTK", "/WR_WPT=w.wpt"}, "Unsupported GPS for track log upload"},
      {{"/GPS=FLYMASTER", "/WR_CTR=a.txt"}, "Unsupported GPS for CTR upload"},
      {{"/GPS=GARMIN", "/USERNAME=Jo"}, "Unsupported GPS for username upload"},
      // A family takes what it registered workers for: none yet for these.
      {{"/GPS=DSX", "/WR_CTR=a.txt"}, "Unsupported GPS for CTR upload"},
      {{"/GPS=DSX", "/RD_WPT=a.wpt"}, "Unsupported GPS for waypoint download"},
      {{"/GPS=DSX", "/WR_CTR=a.txt"}, "Unsupported GPS for CTR upload"},
      {{"/FILTEREND=20100505110000", "/FILTER=20100505120000"}, "Comp. stop time before start time"},
      {{"/FILTER=20100505120000", "/FILTEREND=20100505110000"}, "Comp. start time after end time"},
      {{"/FILTER=20100505120000", "/FILTEREND=20100505120000"}, "Comp. start time after end time"},
  };
  for (const ErrorCase& c : cases) {
    const CmdParseResult r = ParseCommandLine(c.args);
    EXPECT_EQ(r.error, c.error) << c.args.front();
    EXPECT_FALSE(r.run.has_value()) << c.args.front();
  }
}

TEST(CommandLineParse, GoodValuesFillTheRun) {
  CmdRun run = ParsedOk(Args({"/gps=garmin", "/COM=12", "/KML_LOG=/tmp/a $date.kml", "/exit", "/OVERWRITE",
                              "/WIN=0", "/PILOT=Anna Bell", "/ID=", "/NOTIFY=organiser", "/SESSION=77",
                              "/POSX=-20", "/POSY=300", "/COMPID=12", "/CIVLID=4711", "/NOSPLIT", "/NOCHECK",
                              "/PWROFF", "/SENDLOG=10", "/COMP_SPECIAL", "/COMP_DIR=/srv/comp/"}));
  EXPECT_EQ(run.operation, CmdOperation::kKmlLog);
  EXPECT_EQ(FindCommandLineName(run.gpsName)->name, "GARMIN");
  EXPECT_EQ(run.portName, "\\\\.\\COM12");
  EXPECT_EQ(run.fileName, "/tmp/a $date.kml");
  EXPECT_TRUE(run.exitWhenDone);
  EXPECT_TRUE(run.overwrite);
  EXPECT_TRUE(run.hidden());
  EXPECT_EQ(run.pilotName, "Anna Bell");
  EXPECT_EQ(run.idText, "");
  EXPECT_EQ(run.notifyName, "organiser");
  EXPECT_EQ(run.tag(), 77u);
  EXPECT_EQ(run.posX, -20);
  EXPECT_EQ(run.posY, 300);
  EXPECT_EQ(run.compId, 12);
  EXPECT_EQ(run.civlId, 4711);
  EXPECT_TRUE(run.noSplit && run.noCheck && run.powerOff && run.compSpecial);
  EXPECT_EQ(run.sendLog, 10);
  EXPECT_EQ(run.compDir, "/srv/comp/");

  run = ParsedOk(Args({"/COM=9", "/GPS=IQCOMPEO", "/IGC_LOG=out/"}));
  EXPECT_EQ(run.portName, "COM9");
  EXPECT_EQ(run.compId, -1);
  EXPECT_EQ(run.civlId, -1);
  EXPECT_EQ(run.showState, WindowShow::kNormal);
  EXPECT_FALSE(run.sessionGiven);

  run = ParsedOk(Args({"/PORT=/dev/ttyUSB0", "/GPS=iqcompeo", "/COMP_LOG=igc"}));
  EXPECT_EQ(run.portName, "/dev/ttyUSB0");
  EXPECT_EQ(run.operation, CmdOperation::kCompetitionLog);
  EXPECT_TRUE(run.compIgc);
  run = ParsedOk(Args({"/PORT=sim:flytec", "/GPS=GARMIN", "/USB"}));
  EXPECT_EQ(run.portName, "sim:flytec");
  EXPECT_TRUE(run.useUsb);
  // /USB takes the family's USB column, which has its own workers.
  run = ParsedOk(Args({"/PORT=sim:garmin-usb", "/GPS=GARMIN", "/USB", "/KML_LOG=a.kml"}));
  EXPECT_TRUE(run.useUsb);
  EXPECT_EQ(run.operation, CmdOperation::kKmlLog);
  run = ParsedOk(Args({"/GPS=GARMIN", "/USB", "/WR_CTR=a.txt"}));
  EXPECT_TRUE(run.useUsb);
}

TEST(CommandLineParse, EachOperationKeywordWithAnInstrumentThatTakesIt) {
  struct Case {
    std::vector<std::string> args;
    CmdOperation operation;
  };
  const std::vector<Case> cases = {
      {{"/GPS=GARMIN", "/KML_LOG=a.kml"}, CmdOperation::kKmlLog},
      {{"/GPS=IQCOMPEO", "/OZI_LOG=a.plt"}, CmdOperation::kOziLog},
      {{"/GPS=IQCOMPEO", "/IGC_LOG=a.igc"}, CmdOperation::kIgcLog},
      {{"/GPS=GARMIN", "/MPS_LOG=a.mps"}, CmdOperation::kMpsLog},
      {{"/GPS=GARMIN", "/RD_WPT=a.wpt"}, CmdOperation::kReadWaypoints},
      {{"/GPS=IQCOMPEO", "/RD_GEO_WPT=a.txt"}, CmdOperation::kReadGeoWaypoints},
      {{"/GPS=GARMIN", "/WR_WPT=a.wpt"}, CmdOperation::kWriteWaypoints},
      {{"/GPS=GARMIN", "/WR_WPT2=a.wpt"}, CmdOperation::kWriteWaypoints2},
      {{"/GPS=IQCOMPEO", "/COMP_LOG=kml", "/COMP_FS=pilots.csv"}, CmdOperation::kCompetitionLog},
      {{"/IGC2KML=a"}, CmdOperation::kIgcToKml},
      {{"/DAT2KML=a.dat"}, CmdOperation::kDatToKml},
      {{"/LOGFILE=a.gpx"}, CmdOperation::kReadLog},
      // The last operation named is the one carried out.
      {{"/GPS=GARMIN", "/IGC_LOG=a.igc", "/KML_LOG=a.kml"}, CmdOperation::kKmlLog},
  };
  for (const Case& c : cases) EXPECT_EQ(ParsedOk(c.args).operation, c.operation) << c.args.back();
  EXPECT_TRUE(IsOperationAvailable(CmdOperation::kIgcLog));
  EXPECT_TRUE(IsOperationAvailable(CmdOperation::kOziLog));
  EXPECT_TRUE(IsOperationAvailable(CmdOperation::kCompetitionLog));
  EXPECT_TRUE(IsOperationAvailable(CmdOperation::kUserName));
  EXPECT_TRUE(IsOperationAvailable(CmdOperation::kWriteCtr));
}

TEST(CommandLineParse, TimeoutIsClipped) {
  const std::vector<std::pair<std::string, int32_t>> cases = {
      {"/TIMEOUT=100000", 86400}, {"/TIMEOUT=-5", 0},   {"/TIMEOUT=0", 0},
      {"/TIMEOUT=86400", 86400},  {"/TIMEOUT=12", 12},  {"/TIMEOUT=99999999999999999999999", 86400},
  };
  for (const auto& [arg, expected] : cases) EXPECT_EQ(ParsedOk({arg}).timeout, expected) << arg;
}

TEST(CommandLineParse, FilterTimesAndTheirOrder) {
  CmdRun run = ParsedOk(Args({"/FILTER=20100505110000", "/FILTEREND=20100505120000"}));
  CalendarTime start{2010, 5, 5, 11, 0, 0, 0};
  EXPECT_EQ(run.filterStart, CalendarToTime(start).value());
  EXPECT_EQ(run.filterStop, run.filterStart + 3600);
  // Either order on the line: the check waits for the second one.
  run = ParsedOk(Args({"/FILTEREND=20100505120000", "/FILTER=20100505110000"}));
  EXPECT_EQ(run.filterStop, run.filterStart + 3600);
}

TEST(CommandLineParse, LongValuesAreRefusedNotCut) {
  const std::string longName(kCmdFileNameMax + 1, 'a');
  EXPECT_TRUE(ParseCommandLine(Args({"/KML_LOG=x"})).ok());
  EXPECT_EQ(ParsedOk({"/KML_LOG=" + std::string(kCmdFileNameMax, 'a')}).fileName.size(), kCmdFileNameMax);
  const std::vector<std::string> refused = {
      "/KML_LOG=" + longName, "/IGC_LOG=" + longName + "/", "/PILOT=" + std::string(kCmdPilotNameMax + 1, 'p'),
      "/ID=" + std::string(kCmdIdTextMax + 1, 'i'), "/NOTIFY=" + std::string(kCmdNotifyNameMax + 1, 'n'),
      "/USERNAME=" + std::string(kCmdPilotNameMax + 1, 'u')};
  for (const std::string& arg : refused) {
    const CmdParseResult r = ParseCommandLine(std::vector<std::string>{arg});
    EXPECT_NE(r.error.find("too long"), std::string::npos) << arg.substr(0, 12) << ": " << r.error;
    EXPECT_FALSE(r.run.has_value());
  }
  EXPECT_NE(ParseCommandLine(std::vector<std::string>{longName}).error.find("too long"), std::string::npos);
  EXPECT_NE(ParseCommandLine("/KML_LOG=\"" + longName + "\"").error.find("too long"), std::string::npos);
}

TEST(CommandLineParse, ArgumentsThatAreNotKeywordsAreFileNames) {
  // '/' starts every absolute path: only a known keyword makes a keyword.
  for (const char* name : {"/home/pilot/flight.igc", "flight.kml", "/exit/flight.igc", "/gpsdata.igc"}) {
    const CmdRun run = ParsedOk({name});
    EXPECT_EQ(run.operation, CmdOperation::kReadLog) << name;
    EXPECT_EQ(run.fileName, name);
  }
  EXPECT_EQ(ParsedOk({"/GPS=GARMIN"}).operation, CmdOperation::kNone);
  EXPECT_FALSE(ParseCommandLine(std::vector<std::string>{}).run.has_value());
  EXPECT_TRUE(ParseCommandLine(std::vector<std::string>{}).ok());
}

TEST(CommandLineParse, StrayWordGivesItsPosition) {
  // Positions count in the arguments joined by blanks, from 1.
  EXPECT_EQ(ParseCommandLine(Args({"/GPS=GARMIN", "/EXIT", "stray"})).error, "Error at position 19");
  EXPECT_EQ(ParseCommandLine(Args({"stray", "/EXIT"})).error, "Error at position 1");
  EXPECT_EQ(ParseCommandLine(Args({"/EXIT", "/home/x.igc"})).error, "Error at position 7");
  EXPECT_EQ(ParseCommandLine("/GPS=GARMIN /EXIT stray").error, "Error at position 19");
  EXPECT_EQ(ParseCommandLine("/GPS=GARMIN  x").error, "Error at position 14");
}

// A flag given a value must not quietly mean yes: "/OVERWRITE=no" would
// otherwise replace the very files the script meant to keep.
TEST(CommandLineParse, FlagsRefuseAValue) {
  for (const char* arg : {"/OVERWRITE=no", "/OVERWRITE=0", "/OVERWRITE=", "/overwrite=false"}) {
    const CmdParseResult r = ParseCommandLine(Args({"/GPS=GARMIN", "/IGC_LOG=out/", arg}));
    EXPECT_EQ(r.error, "/OVERWRITE takes no value") << arg;
    EXPECT_FALSE(r.run.has_value()) << arg;
  }
  EXPECT_EQ(ParseCommandLine("/IGC_LOG=out/ /OVERWRITE=no").error, "/OVERWRITE takes no value");
  int flags = 0;
  for (const CmdKeyword& k : CommandLineKeywords()) {
    if (k.value != CmdValueUse::kRefused) continue;
    ++flags;
    const std::string name(k.name);
    EXPECT_EQ(ParseCommandLine(std::vector<std::string>{"/" + name + "=0"}).error, "/" + name + " takes no value");
    EXPECT_TRUE(ParseCommandLine(std::vector<std::string>{"/" + name}).ok()) << name;
  }
  EXPECT_GE(flags, 7);  // USB, EXIT, OVERWRITE, COMP_SPECIAL, NOSPLIT, NOCHECK, PWROFF
  // Without '=' the flag is set; the optional values may be empty or absent.
  const CmdRun run = ParsedOk(Args({"/OVERWRITE", "/PILOT", "/ID="}));
  EXPECT_TRUE(run.overwrite);
  EXPECT_EQ(run.pilotName, "");
}

TEST(CommandLineParse, UnknownKeywordsAreNamed) {
  const std::vector<ErrorCase> cases = {
      {{"/GPS=GARMIN", "/EXIT", "/FOO"}, "Error at position 19: unknown keyword /FOO"},
      {{"/GPS=GARMIN", "/EXIT", "/overwrte=1"}, "Error at position 19: unknown keyword /OVERWRTE"},
      // Alone it has a keyword's shape, not a track file's: no file to open.
      {{"/OVERWRTE"}, "Error at position 1: unknown keyword /OVERWRTE"},
      {{"/KML_LOG=a.kml", "/" + std::string(100, 'X')}, "Error at position 16: unknown keyword /" +
                                                            std::string(32, 'X') + "..."},
  };
  for (const ErrorCase& c : cases) {
    const CmdParseResult r = ParseCommandLine(c.args);
    EXPECT_EQ(r.error, c.error) << c.args.back();
    EXPECT_FALSE(r.run.has_value());
  }
  // What the terminal would take as a control sequence is not printed.
  EXPECT_EQ(ParseCommandLine("/EXIT /F\x1b[2JO").error, "Unrecognized command /F?[2JO");
}

TEST(CommandLineParse, HelpAndVersionAskedAnywhere) {
  struct Case {
    std::vector<std::string> args;
    bool help;
    bool version;
  };
  const std::vector<Case> cases = {
      {Args({"-h"}), true, false},
      {Args({"--help"}), true, false},
      {Args({"/GPS=GARMIN", "--help"}), true, false},
      {Args({"/COM=0", "-h"}), true, false},
      {Args({"--version"}), false, true},
      // A bad keyword beside it must not turn the answer into an error.
      {Args({"/COM=0", "--version"}), false, true},
      {Args({"/NOSUCH", "--version"}), false, true},
      {Args({"flight.igc", "--version"}), false, true},
      {Args({"--version", "--help"}), true, false},
  };
  for (const Case& c : cases) {
    const CmdParseResult r = ParseCommandLine(c.args);
    EXPECT_EQ(r.help, c.help) << c.args.back();
    EXPECT_EQ(r.version, c.version) << c.args.back();
    EXPECT_TRUE(r.ok()) << r.error;
    EXPECT_FALSE(r.run.has_value());
  }
  EXPECT_TRUE(ParseCommandLine("--help").help);
  EXPECT_TRUE(ParseCommandLine("--version").version);
  EXPECT_TRUE(ParseCommandLine("\"--version\"").version);
  EXPECT_FALSE(ParseCommandLine(Args({"-hx"})).help);
  EXPECT_EQ(ParsedOk({"-hx"}).fileName, "-hx");
  // Only the long form: "-v" and "--versions" stay file names, as before.
  for (const char* name : {"-v", "--versions", "-version"}) {
    const CmdParseResult r = ParseCommandLine(Args({name}));
    EXPECT_FALSE(r.version) << name;
    EXPECT_EQ(ParsedOk({name}).fileName, name);
  }
}

TEST(CommandLineParse, SingleTextTokenizer) {
  CmdParseResult r = ParseCommandLine("/gps=IQCOMPEO /KML_LOG=\"my flights/$date.kml\" /Win=0 /TIMEOUT=5");
  ASSERT_TRUE(r.ok()) << r.error;
  EXPECT_EQ(r.run->fileName, "my flights/$date.kml");
  EXPECT_EQ(r.run->gpsName, "IQCOMPEO");
  EXPECT_TRUE(r.run->hidden());
  EXPECT_EQ(r.run->timeout, 5);
  // A quoted value may run to the end of the text.
  r = ParseCommandLine("/KML_LOG=\"a b");
  ASSERT_TRUE(r.ok()) << r.error;
  EXPECT_EQ(r.run->fileName, "a b");
  // The whole line quoted, and a file name alone.
  r = ParseCommandLine("\"C:\\flights\\a b.igc\"");
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(r.run->operation, CmdOperation::kReadLog);
  EXPECT_EQ(r.run->fileName, "C:\\flights\\a b.igc");
  EXPECT_EQ(ParseCommandLine("\"/KML_LOG=a").error, "Bad double apostrophe (\") balance");
  EXPECT_EQ(ParseCommandLine("/FOO=1").error, "Unrecognized command /FOO");
  EXPECT_FALSE(ParseCommandLine(std::string_view{}).run.has_value());
  // Quotes inside an argument the system already split are taken off.
  EXPECT_EQ(ParsedOk({"/KML_LOG=\"a b.kml\""}).fileName, "a b.kml");
}

TEST(CommandLineHelpers, DateReplacementAndNames) {
  CalendarTime day{2010, 5, 5, 11, 0, 0, 0};
  const uint32_t t = CalendarToTime(day).value();
  EXPECT_EQ(ReplaceDate("a $date b $date.kml", t).value(), "a 20100505 b 20100505.kml");
  EXPECT_EQ(ReplaceDate("plain.kml", t).value(), "plain.kml");
  EXPECT_FALSE(ReplaceDate(std::string(255, 'x') + "$date", t).has_value());
  EXPECT_EQ(ReplaceDate(std::string(251, 'x') + "$date", t)->size(), 259u);
  EXPECT_TRUE(IsFolderValue("out/"));
  EXPECT_TRUE(IsFolderValue("C:\\out\\"));
  EXPECT_FALSE(IsFolderValue("out/a.igc"));
  EXPECT_EQ(ComPortName(1), "COM1");
  EXPECT_EQ(ComPortName(10), "\\\\.\\COM10");
  EXPECT_EQ(DownloadTargetFor("GARMIN", true)->protocol, ProtocolType::kGarminUsb);
  EXPECT_EQ(DownloadTargetFor("LOGIT", false)->baudRate, 57600u);
  EXPECT_EQ(DownloadTargetFor("XCT_MXP", false)->protocol, ProtocolType::kXcTrainerMxp);
  EXPECT_EQ(DownloadTargetFor("IQBASIC", false)->protocol, ProtocolType::kIqBasic);
  EXPECT_FALSE(DownloadTargetFor("IQCOMPEO", true).has_value());
}

}  // namespace
}  // namespace skylode
