// The program as organisers' scripts run it: hidden, no display, against
// the virtual instruments, with the notify listener beside it.
#include <fcntl.h>
#include <sys/resource.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "formats/file_io.h"
#include "formats/igc_reader.h"
#include "formats/kml_reader.h"
#include "records/calendar.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

class E2eTest : public ::testing::Test {
 protected:
  E2eTest() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = fs::temp_directory_path() / ("skylode_e2e_" + std::string(info->name()) + "_" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "runtime");
    fs::create_directories(dir_ / "config");
  }
  ~E2eTest() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }

  std::string Path(const std::string& name) const { return (dir_ / name).string(); }

  // Starts a program with no display, its output in files.
  // `inChild` runs in the new process just before the program starts.
  pid_t Spawn(const std::string& exe, const std::vector<std::string>& args, const std::string& outName,
              const std::function<void()>& inChild = {}) {
    const std::string out = Path(outName + ".out"), err = Path(outName + ".err");
    const std::string runtime = Path("runtime"), config = Path("config");
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::unsetenv("DISPLAY");
      ::unsetenv("WAYLAND_DISPLAY");
      ::unsetenv("QT_QPA_PLATFORM");
      ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
      ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
      if (::chdir(dir_.c_str()) != 0) ::_exit(126);
      const int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      const int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      ::dup2(o, 1);
      ::dup2(e, 2);
      if (inChild) inChild();
      std::vector<char*> argv{const_cast<char*>(exe.c_str())};
      for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      ::execv(exe.c_str(), argv.data());
      ::_exit(127);
    }
    return pid;
  }

  // The exit code, or -1 when the program had to be stopped after `limit`.
  static int Wait(pid_t pid, std::chrono::seconds limit = std::chrono::seconds(60)) {
    const auto end = Clock::now() + limit;
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
      if (Clock::now() > end) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        return -1;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  int Skylode(const std::vector<std::string>& args, const std::string& outName = "skylode") {
    return Wait(Spawn(SKYLODE_EXE, args, outName));
  }

  std::string Text(const std::string& name) const {
    skylode::Result<std::string> file = skylode::ReadWholeFile(Path(name));
    return file.ok() ? std::move(*file) : std::string();
  }

  std::vector<std::string> Files(const std::string& folder) const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir_ / folder)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  // Starts skylode-notify for one run and waits until it listens.
  pid_t StartListener(const std::string& name) {
    const pid_t pid = Spawn(SKYLODE_NOTIFY_EXE, {name, "--once"}, "notify");
    const auto end = Clock::now() + std::chrono::seconds(10);
    while (Text("notify.out").find("listening") == std::string::npos && Clock::now() < end)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return pid;
  }

  static std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

  fs::path dir_;
};

TEST_F(E2eTest, FlytecIgcIntoFolderWithNotify) {
  fs::create_directories(dir_ / "out");
  const pid_t listener = StartListener("station");
  ASSERT_EQ(Skylode({"/GPS=IQCOMPEO", "/PORT=sim:flytec", "/IGC_LOG=out/", "/WIN=0", "/EXIT", "/NOTIFY=station",
                     "/SESSION=9", "/TIMEOUT=10"}),
            0)
      << Text("skylode.err");
  ASSERT_EQ(Wait(listener), 0);

  const std::vector<std::string> files = Files("out");
  ASSERT_EQ(files.size(), 1u);
  EXPECT_TRUE(files[0].ends_with("-01.igc") && files[0].find("-xxx-") == 10) << files[0];
  const std::string igc = Text("out/" + files[0]);
  EXPECT_TRUE(igc.starts_with("A")) << igc.substr(0, 20);
  EXPECT_NE(igc.find("\nB"), std::string::npos);

  // Every message carries the session tag; the transfer's lines come in order.
  const std::vector<std::string> lines = Lines(Text("notify.out"));
  ASSERT_GE(lines.size(), 5u) << Text("notify.out");
  std::vector<std::string> texts;
  for (size_t i = 1; i < lines.size(); ++i) {
    ASSERT_TRUE(lines[i].starts_with("9 ")) << lines[i];
    texts.push_back(lines[i].substr(2));
  }
  EXPECT_EQ(texts.front(), "Transfer started");
  EXPECT_TRUE(texts.back().ends_with(" positions written")) << texts.back();
  EXPECT_EQ(texts[texts.size() - 2], "Transfer completed");
  size_t progress = 0;
  for (size_t i = 1; i + 2 < texts.size(); ++i) {
    EXPECT_TRUE(texts[i].starts_with("Progress ")) << texts[i];
    ++progress;
  }
  EXPECT_GT(progress, 0u);
  EXPECT_NE(Text("skylode.out").find("Saved out/" + files[0]), std::string::npos) << Text("skylode.out");

  // The conversion reads it back and writes the KML beside it.
  ASSERT_EQ(Skylode({"/IGC2KML=out/" + files[0]}, "convert"), 0) << Text("convert.err");
  const std::string kml = Text("out/" + files[0].substr(0, files[0].size() - 4) + ".kml");
  EXPECT_NE(kml.find("<Folder>"), std::string::npos);
  EXPECT_NE(Text("convert.out").find("max height"), std::string::npos);
}

TEST_F(E2eTest, FlymasterIgcAndUserName) {
  ASSERT_EQ(Skylode({"/GPS=FLYMASTER", "/PORT=sim:flymaster", "/IGC_LOG=fm.igc", "/WIN=0", "/EXIT", "/PWROFF"}), 0)
      << Text("skylode.err");
  const std::vector<std::string> lines = Lines(Text("fm.igc"));
  size_t fixes = 0;
  for (const std::string& line : lines) fixes += line.starts_with("B") ? 1 : 0;
  // The newest flight of the demo instrument: an hour of fixes.
  EXPECT_EQ(fixes, 3600u);
  EXPECT_NE(Text("skylode.out").find("Saved fm.igc: 3600 positions written"), std::string::npos)
      << Text("skylode.out");

  ASSERT_EQ(Skylode({"/GPS=FLYMASTER", "/PORT=sim:flymaster", "/USERNAME=Anna", "/COMPID=17", "/WIN=0", "/EXIT"},
                    "username"),
            1);
  // The demo instrument is an F1: the IDs are for a B1 NAV only.
  EXPECT_NE(Text("username.err").find("Command available for B1 NAV only"), std::string::npos)
      << Text("username.err");
}

TEST_F(E2eTest, XcTrainerMxpLogSignedIgcAfterThePilotStarts) {
  // The virtual XC Trainer starts sending half a second after the line is set up.
  ASSERT_EQ(Skylode({"/GPS=XCT_MXP", "/PORT=sim:xctrainer", "/IGC_LOG=xc.igc", "/WIN=0", "/EXIT", "/TIMEOUT=10"}), 0)
      << Text("skylode.err");
  const std::string igc = Text("xc.igc");
  EXPECT_NE(igc.find("XC Trainer V1.2-34, S/N 4660"), std::string::npos) << igc.substr(0, 400);
  size_t fixes = 0;
  for (size_t at = igc.find("\nB"); at != std::string::npos; at = igc.find("\nB", at + 1)) ++fixes;
  EXPECT_EQ(fixes, 240u);
  EXPECT_NE(igc.find("\nG"), std::string::npos);
}

TEST_F(E2eTest, TopNavigatorTncLogAsKml) {
  // At 9600 baud the virtual Top Navigator sends its TNC log.
  ASSERT_EQ(Skylode({"/GPS=TOPNAV", "/PORT=sim:topnav", "/KML_LOG=tn.kml", "/WIN=0", "/EXIT", "/TIMEOUT=10"}), 0)
      << Text("skylode.err");
  const std::string kml = Text("tn.kml");
  EXPECT_NE(kml.find("<coordinates>"), std::string::npos) << kml.substr(0, 400);
  EXPECT_NE(kml.find("6.24"), std::string::npos);
}

TEST_F(E2eTest, AStoppedListenerNeverKeepsARunPastItsTimeOut) {
  fs::create_directories(dir_ / "out");
  const pid_t listener = StartListener("stopped");
  ASSERT_EQ(::kill(listener, SIGSTOP), 0);
  const int code = Skylode({"/GPS=IQCOMPEO", "/PORT=sim:flytec", "/IGC_LOG=out/", "/WIN=0", "/EXIT",
                            "/NOTIFY=stopped", "/SENDLOG=0", "/TIMEOUT=10"});
  ::kill(listener, SIGCONT);
  ::kill(listener, SIGTERM);
  Wait(listener);
  ASSERT_EQ(code, 0) << Text("skylode.err");
  EXPECT_EQ(Files("out").size(), 1u);
  EXPECT_NE(Text("skylode.err").find("Notify listener stopped stopped reading"), std::string::npos)
      << Text("skylode.err");
}

TEST_F(E2eTest, ASecondListenerForTheSameNameIsRefused) {
  const pid_t first = StartListener("twice");
  EXPECT_EQ(Wait(Spawn(SKYLODE_NOTIFY_EXE, {"twice"}, "second"), std::chrono::seconds(10)), 1);
  EXPECT_NE(Text("second.err").find("in use"), std::string::npos) << Text("second.err");
  // The first keeps its socket.
  EXPECT_TRUE(fs::exists(dir_ / "runtime/twice"));
  ::kill(first, SIGTERM);
  Wait(first);
}

TEST_F(E2eTest, GarminKmlWithDateAndIgcWithOwnSecurityRecord) {
  ASSERT_EQ(Skylode({"/GPS=GARMIN", "/PORT=sim:garmin", "/KML_LOG=flight $date.kml", "/WIN=0", "/EXIT"}), 0)
      << Text("skylode.err");
  std::vector<std::string> kmls;
  for (const std::string& f : Files(".")) {
    if (f.starts_with("flight ") && f.ends_with(".kml")) kmls.push_back(f);
  }
  ASSERT_EQ(kmls.size(), 1u);
  EXPECT_EQ(kmls[0].size(), std::string("flight 20210908.kml").size()) << kmls[0];
  EXPECT_NE(Text(kmls[0]).find("<FsInfo"), std::string::npos);

  ASSERT_EQ(Skylode({"/GPS=GARMIN", "/PORT=sim:garmin", "/IGC_LOG=g.igc", "/WIN=0", "/EXIT"}), 0)
      << Text("skylode.err");
  ASSERT_EQ(Skylode({"/IGC2KML=g"}, "convert"), 0) << Text("convert.err");
  EXPECT_NE(Text("convert.out").find("Security check PASSED"), std::string::npos) << Text("convert.out");
}

TEST_F(E2eTest, GarminTrackAsOziAndMapSourceReadBack) {
  ASSERT_EQ(Skylode({"/GPS=GARMIN", "/PORT=sim:garmin", "/OZI_LOG=flight $date.plt", "/WIN=0", "/EXIT"}), 0)
      << Text("skylode.err");
  std::string plt;
  for (const std::string& f : Files("."))
    if (f.starts_with("flight ") && f.ends_with(".plt")) plt = f;
  ASSERT_FALSE(plt.empty());
  EXPECT_TRUE(Text(plt).starts_with("OziExplorer Track Point File Version 2.1\r\n")) << Text(plt);
  ASSERT_EQ(Skylode({"/GPS=GARMIN", "/PORT=sim:garmin", "/MPS_LOG=flight.mps", "/WIN=0", "/EXIT"}), 0)
      << Text("skylode.err");
  EXPECT_TRUE(Text("flight.mps").starts_with(std::string("MsRcd\0", 6)));
  // Each reads back with the count it was written with.
  const std::string written = Text("skylode.out").substr(0, Text("skylode.out").find(" positions written"));
  for (const std::string& file : {plt, std::string("flight.mps")}) {
    ASSERT_EQ(Skylode({"/RD_LOG=" + file, "/WIN=0"}, "read"), 0) << Text("read.err");
    EXPECT_NE(Text("read.out").find(written.substr(written.find_last_of(' ') + 1) + " positions read"),
              std::string::npos)
        << Text("read.out") << "\n" << Text("skylode.out");
  }
}

TEST_F(E2eTest, DatFileConvertedWithoutAWindow) {
  // Three words a point in zone 32T, and the checksum.
  std::vector<uint32_t> words = {0, 0, 3, 0x80000000u | (32u << 8) | 'T'};
  for (uint32_t k = 0; k < 3; ++k) words.insert(words.end(), {660000000 + k * 5, 500000 + k * 50, 5150000});
  uint32_t sum = 0;
  for (uint32_t w : words) sum += w;
  words.push_back(0u - sum);
  std::string bytes;
  for (uint32_t w : words)
    for (int shift = 24; shift >= 0; shift -= 8) bytes.push_back(static_cast<char>(w >> shift));
  std::ofstream(Path("old.dat"), std::ios::binary) << bytes;
  ASSERT_EQ(Skylode({"/DAT2KML=old.dat"}, "convert"), 0) << Text("convert.err");
  EXPECT_NE(Text("old.kml").find("<FsInfo"), std::string::npos);
  EXPECT_NE(Text("convert.out").find("3 positions written"), std::string::npos) << Text("convert.out");
  // A corrupted file is a message and no file.
  bytes[17] ^= 1;
  std::ofstream(Path("bad.dat"), std::ios::binary) << bytes;
  EXPECT_EQ(Skylode({"/DAT2KML=bad"}, "convert"), 1);
  EXPECT_NE(Text("convert.err").find("Checksum verification failed"), std::string::npos) << Text("convert.err");
  EXPECT_FALSE(fs::exists(Path("bad.kml")));
}

TEST_F(E2eTest, ExistingFileWithoutOverwriteIsNotTouched) {
  std::ofstream(Path("keep.kml")) << "precious";
  ASSERT_EQ(Skylode({"/GPS=GARMIN", "/PORT=sim:garmin", "/KML_LOG=keep.kml", "/WIN=0", "/EXIT"}), 1);
  EXPECT_EQ(Text("keep.kml"), "precious");
  EXPECT_NE(Text("skylode.err").find("keep.kml exists, not replaced; use /OVERWRITE"), std::string::npos)
      << Text("skylode.err");
  ASSERT_EQ(Skylode({"/GPS=GARMIN", "/PORT=sim:garmin", "/KML_LOG=keep.kml", "/WIN=0", "/EXIT", "/OVERWRITE"}), 0);
  EXPECT_NE(Text("keep.kml"), "precious");
}

// A closed pipe on stdout (`skylode ... | head -c 10`) must not lose the
// download: the file is saved, and the run ends with 1 for the lost report.
TEST_F(E2eTest, ClosedStdoutKeepsTheDownloadAndEndsWithOne) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  ::close(fds[0]);
  const int writeEnd = fds[1];
  const pid_t pid = Spawn(SKYLODE_EXE, {"/GPS=GARMIN", "/PORT=sim:garmin", "/IGC_LOG=piped.igc", "/WIN=0", "/EXIT"},
                          "piped", [writeEnd] { ::dup2(writeEnd, 1); });
  ::close(writeEnd);
  EXPECT_EQ(Wait(pid), 1) << Text("piped.err");
  EXPECT_TRUE(Text("piped.igc").starts_with("A")) << Text("piped.err");
}

// The file size limit is a write error with the file's name, not the end of
// the run; nothing is left beside the target.
TEST_F(E2eTest, FileSizeLimitIsAWriteError) {
  fs::create_directories(dir_ / "small");
  const pid_t pid = Spawn(SKYLODE_EXE, {"/GPS=GARMIN", "/PORT=sim:garmin", "/KML_LOG=small/big.kml", "/WIN=0", "/EXIT"},
                          "limited", [] {
                            struct rlimit limit {};
                            ::getrlimit(RLIMIT_FSIZE, &limit);
                            limit.rlim_cur = 2048;
                            ::setrlimit(RLIMIT_FSIZE, &limit);
                          });
  EXPECT_EQ(Wait(pid), 1);
  EXPECT_NE(Text("limited.err").find("small/big.kml: File too large"), std::string::npos) << Text("limited.err");
  EXPECT_TRUE(Files("small").empty());
}

TEST_F(E2eTest, AbsentInstrumentFailsWithinTheTimeout) {
  // A line that exists but where nothing answers.
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(::grantpt(master), 0);
  ASSERT_EQ(::unlockpt(master), 0);
  const std::string slave = ::ptsname(master);
  std::thread drain([master] {
    char buffer[256];
    while (::read(master, buffer, sizeof buffer) > 0) {
    }
  });
  const auto start = Clock::now();
  const int code = Skylode({"/GPS=IQCOMPEO", "/PORT=" + slave, "/KML_LOG=none.kml", "/WIN=0", "/EXIT", "/TIMEOUT=2"});
  const auto took = Clock::now() - start;
  ::close(master);
  drain.join();
  EXPECT_EQ(code, 1) << Text("skylode.err");
  EXPECT_LT(took, std::chrono::seconds(45));
  EXPECT_FALSE(fs::exists(dir_ / "none.kml"));

  // No device at all.
  EXPECT_EQ(Skylode({"/GPS=GARMIN", "/PORT=/dev/skylode-no-such-port", "/KML_LOG=none.kml", "/WIN=0", "/TIMEOUT=1"}),
            1);
}

// Asked on a server without a display: the help must not need the window.
TEST_F(E2eTest, HelpWithoutADisplay) {
  for (const char* flag : {"--help", "-h"}) {
    EXPECT_EQ(Skylode({flag}), 0) << flag << ": " << Text("skylode.err");
    const std::string out = Text("skylode.out");
    EXPECT_EQ(out.rfind("Usage: skylode", 0), 0u) << out;
    for (const char* keyword : {"/GPS=name", "/IGC_LOG=file", "/OVERWRITE ", "/SENDLOG=n"})
      EXPECT_NE(out.find(keyword), std::string::npos) << keyword;
    EXPECT_EQ(Text("skylode.err"), "");
  }
}

// What a packager's tools and a person at a terminal ask first. The version
// is the one the program writes into its files.
TEST_F(E2eTest, VersionWithoutADisplay) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--version"}, std::vector<std::string>{"/GPS=GARMIN", "/WIN=0", "--version"}}) {
    EXPECT_EQ(Skylode(args), 0) << args.back() << ": " << Text("skylode.err");
    EXPECT_EQ(Text("skylode.out"), "skylode 4.49\n");
    EXPECT_EQ(Text("skylode.err"), "");
  }
  // The help names both.
  ASSERT_EQ(Skylode({"--help"}), 0);
  for (const char* flag : {"--help", "--version"}) EXPECT_NE(Text("skylode.out").find(flag), std::string::npos) << flag;
}

TEST_F(E2eTest, RefusedCommandLinesEndWithOne) {
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const std::vector<Case> cases = {
      {{"/GPS=GARMIN", "/KML_LOG=a.kml", "stray"}, "Error at position 28"},
      {{"/COM=0"}, "Bad COM port"},
      {{"/DAT2KML=a.dat", "/WIN=0"}, "Error opening .dat Log File"},
      {{"/GPS=GARMIN", "/COMP_LOG=KML", "/WIN=0"}, "No competition output folder"},
      {{"/IGC2KML=missing"}, "Error opening file"},
      {{"/OLC=missing.igc"}, "Error opening file"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Skylode(c.args), 1) << c.args[0];
    EXPECT_NE(Text("skylode.err").find(c.message), std::string::npos) << Text("skylode.err");
  }
}

// /USB takes the Garmin's USB column; the virtual unit on USB is the port
// sim:garmin-usb (packets on the interrupt pipe) or sim:garmin-usb/bulk.
TEST_F(E2eTest, GarminOnUsbHiddenRuns) {
  for (const std::string port : {"sim:garmin-usb", "sim:garmin-usb/bulk"}) {
    SCOPED_TRACE(port);
    ASSERT_EQ(Skylode({"/GPS=GARMIN", "/USB", "/PORT=" + port, "/IGC_LOG=usb.igc", "/WIN=0", "/EXIT", "/OVERWRITE"}),
              0)
        << Text("skylode.err");
    ASSERT_EQ(Skylode({"/IGC2KML=usb", "/OVERWRITE"}, "convert"), 0) << Text("convert.err");
    EXPECT_NE(Text("convert.out").find("Security check PASSED"), std::string::npos) << Text("convert.out");
    ASSERT_EQ(Skylode({"/GPS=GARMIN", "/USB", "/PORT=" + port, "/RD_WPT=usb.wpt", "/WIN=0", "/EXIT", "/OVERWRITE"}),
              0)
        << Text("skylode.err");
    EXPECT_NE(Text("usb.wpt").find("LAUNCH"), std::string::npos) << Text("usb.wpt");
  }
  // Without /USB the same port is no serial line.
  EXPECT_NE(Skylode({"/GPS=GARMIN", "/PORT=sim:garmin-usb", "/KML_LOG=none.kml", "/WIN=0", "/EXIT", "/TIMEOUT=1"}),
            0);
  EXPECT_FALSE(fs::exists(Path("none.kml")));
}

// The contest results of real flights, as a script reads them: three result
// lines with their points, then the claimed positions of each.
TEST_F(E2eTest, OlcResultsOfRealFlights) {
  struct Case {
    const char* file;
    const char* best;  // the kind with the most points
  } cases[] = {
      {"trifai-xcontest-189.65.igc", "FAI triangle"},
      {"freeflight-xcontest-66.46.igc", "free distance"},
      {"flat-xcontest-100.59.igc", "free triangle"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    std::string argument = "/OLC=";
    argument.append(SKYLODE_TEST_DATA).append("/flights/").append(c.file);
    ASSERT_EQ(Skylode({argument}, "olc"), 0)
        << Text("olc.err");
    const std::vector<std::string> lines = Lines(Text("olc.out"));
    ASSERT_GE(lines.size(), 3u);
    const char* kinds[] = {"free distance", "free triangle", "FAI triangle"};
    const double factors[] = {1.5, 1.75, 2.0};
    std::string best;
    double bestPoints = -1;
    for (int k = 0; k < 3; ++k) {
      char kind[32] = {};
      double km = 0, points = 0;
      char tail = 0;
      ASSERT_EQ(std::sscanf(lines[k].c_str(), "%31[^\t]\t%lf\t%lf%c", kind, &km, &points, &tail), 3) << lines[k];
      EXPECT_EQ(std::string(kind), kinds[k]);
      EXPECT_NEAR(points, km * factors[k], 0.01 * factors[k]) << lines[k];
      EXPECT_EQ(lines[k].find(','), std::string::npos);  // a dot, never the locale's comma
      if (points > bestPoints) {
        bestPoints = points;
        best = kind;
      }
    }
    EXPECT_EQ(best, c.best);
    // Every kind that scored has its five points after the results.
    size_t points = 0;
    for (size_t i = 3; i < lines.size(); ++i) {
      EXPECT_EQ(std::count(lines[i].begin(), lines[i].end(), '\t'), 4) << lines[i];
      ++points;
    }
    EXPECT_EQ(points % 5, 0u);
    EXPECT_GE(points, 5u);
  }
  // Not an IGC file at all.
  {
    std::ofstream(Path("junk.igc")) << "hello\n";
    EXPECT_EQ(Skylode({"/OLC=junk.igc"}, "junk"), 1);
    EXPECT_FALSE(Text("junk.err").empty());
  }
}

TEST_F(E2eTest, GarminWaypointsDownloadedToFilesAndUploadedFromOne) {
  ASSERT_EQ(Skylode({"/GPS=GARMIN", "/PORT=sim:garmin", "/RD_WPT=down.wpt", "/WIN=0", "/EXIT"}), 0)
      << Text("skylode.err");
  const std::string ozi = Text("down.wpt");
  EXPECT_TRUE(ozi.starts_with("OziExplorer Waypoint File Version 1.0\r\n")) << ozi;
  ASSERT_EQ(Skylode({"/GPS=GARMIN", "/PORT=sim:garmin", "/RD_GEO_WPT=down.geo", "/WIN=0", "/EXIT"}), 0)
      << Text("skylode.err");
  EXPECT_TRUE(Text("down.geo").starts_with("$FormatGEO\r\n"));
  EXPECT_NE(Text("skylode.out").find(" waypoints written"), std::string::npos) << Text("skylode.out");

  // The downloaded file goes back up, and so does a SeeYou file.
  ASSERT_EQ(Skylode({"/GPS=GARMIN", "/PORT=sim:garmin", "/WR_WPT=down.wpt", "/WIN=0", "/EXIT"}), 0)
      << Text("skylode.err");
  std::ofstream(Path("task.cup"))
      << "name,code,country,lat,lon,elev,style,rwdir,rwlen,freq,desc\r\n"
         "\"Monte Grappa, north\",GRAPPA,IT,4552.000N,01142.500E,1700.0m,7,,,,\r\n";
  ASSERT_EQ(Skylode({"/GPS=GARMIN", "/PORT=sim:garmin", "/WR_WPT2=task.cup", "/WIN=0", "/EXIT"}), 0)
      << Text("skylode.err");
  // A file that is no waypoint file fails the run before any transfer.
  std::ofstream(Path("bad.wpt")) << "$FormatGEO\r\nX N 99 00 00.00 E 008 00 00.00 0\r\n";
  EXPECT_EQ(Skylode({"/GPS=GARMIN", "/PORT=sim:garmin", "/WR_WPT=bad.wpt", "/WIN=0", "/EXIT"}), 1);
  EXPECT_NE(Text("skylode.err").find("Bad line 2"), std::string::npos) << Text("skylode.err");
}

// --- Competition check-in -------------------------------------------------------------

class CheckInTest : public E2eTest {
 protected:
  CheckInTest() {
    fs::create_directories(dir_ / "out");
    fs::copy_file(SKYLODE_TEST_DATA "/pilots/competition.fsdb", dir_ / "pilots.fsdb");
  }
  // A check-in with the pilot list and a listener; the notify texts.
  int CheckIn(const std::string& port, const std::string& gps, std::vector<std::string> extra,
              std::vector<std::string>* texts = nullptr, const std::string& outName = "skylode") {
    const pid_t listener = StartListener("station");
    std::vector<std::string> args{"/GPS=" + gps, "/PORT=" + port, "/COMP_DIR=out", "/COMP_FS=pilots.fsdb",
                                  "/WIN=0", "/EXIT", "/NOTIFY=station", "/SESSION=4", "/TIMEOUT=10"};
    args.insert(args.end(), extra.begin(), extra.end());
    const int code = Skylode(args, outName);
    EXPECT_EQ(Wait(listener), 0);
    if (texts) {
      texts->clear();
      const std::vector<std::string> lines = Lines(Text("notify.out"));
      for (size_t i = 1; i < lines.size(); ++i) {
        EXPECT_TRUE(lines[i].starts_with("4 ")) << lines[i];
        // Progress lines of the transfer come between; the check-in's own are kept.
        const std::string text = lines[i].substr(2);
        if (!text.starts_with("Progress ") && !text.starts_with("Waypoint count") && !text.starts_with("Byte count"))
          texts->push_back(text);
      }
    }
    return code;
  }
  // The one new file with this ending, whose name starts with `prefix`.
  std::vector<std::string> Named(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const std::string& f : Files("out"))
      if (f.starts_with(prefix)) out.push_back(f);
    return out;
  }
};

TEST_F(CheckInTest, FlytecIdsInTheInstrumentNameTheFilesThatVerify) {
  std::vector<std::string> texts;
  ASSERT_EQ(CheckIn("sim:flytec/pilot", "IQCOMPEO", {"/COMP_LOG=IGC"}, &texts), 0) << Text("skylode.err");
  const std::vector<std::string> files = Named("Anna_Maria__z.");
  ASSERT_EQ(files.size(), 2u) << testing::PrintToString(Files("out"));
  const std::string base = files[0].substr(0, files[0].size() - 4);
  EXPECT_TRUE(base.ends_with(".12345.17")) << base;
  EXPECT_EQ(files[1], base + ".kml");

  // The scoring program hears, in order, who it was and what was written.
  EXPECT_EQ(texts, (std::vector<std::string>{"Transfer started", "Transfer completed", "Pilot [17] Anna-Maria Öz",
                                             "File \"out/" + base + ".igc\" written",
                                             "File \"out/" + base + ".kml\" written"}));
  EXPECT_EQ(skylode::VerifyIgcText(Text("out/" + base + ".igc")), skylode::IgcVerifyOutcome::kPassed);
  const auto kml = skylode::ReadKmlTrack(Text("out/" + base + ".kml"));
  ASSERT_TRUE(kml.ok());
  EXPECT_TRUE(kml->signatureValid);
  EXPECT_NE(Text("out/" + base + ".kml").find("civl_pilot_id=\"12345\" comp_pilot_id=\"17\""), std::string::npos);
}

// The MLR's waypoints are read before its track, and the IDs among them name
// the pilot.
TEST_F(CheckInTest, MlrIdWaypointsReadBeforeTheTrackNameThePilot) {
  std::vector<std::string> texts;
  ASSERT_EQ(CheckIn("sim:mlr/pilot", "MLRC", {"/COMP_LOG=IGC"}, &texts), 0) << Text("skylode.err");
  const std::vector<std::string> files = Named("Anna_Maria__z.");
  ASSERT_EQ(files.size(), 2u) << testing::PrintToString(Files("out"));
  const std::string base = files[0].substr(0, files[0].size() - 4);
  EXPECT_TRUE(base.ends_with(".12345.17")) << base;
  EXPECT_EQ(files[1], base + ".kml");
  EXPECT_NE(std::find(texts.begin(), texts.end(), "Pilot [17] Anna-Maria Öz"), texts.end())
      << testing::PrintToString(texts);
  EXPECT_EQ(skylode::VerifyIgcText(Text("out/" + base + ".igc")), skylode::IgcVerifyOutcome::kPassed);
}

TEST_F(CheckInTest, GarminIdWithCommandLineIdAndListedNameWithComma) {
  std::vector<std::string> texts;
  // The unit says COMPID 23; the CIVL ID given on the command line wins over
  // the list's, the competition ID the unit gave stays.
  ASSERT_EQ(CheckIn("sim:garmin/pilot", "GARMIN", {"/COMP_LOG=KML", "/CIVLID=999"}, &texts), 0)
      << Text("skylode.err");
  const std::vector<std::string> files = Named("O_Brien__Se_n.");
  ASSERT_EQ(files.size(), 1u) << testing::PrintToString(Files("out"));
  EXPECT_TRUE(files[0].ends_with(".999.23.kml")) << files[0];
  ASSERT_GE(texts.size(), 4u);
  EXPECT_EQ(texts[2], "Pilot [23] O'Brien, Seán");
  EXPECT_EQ(texts.back(), "File \"out/" + files[0] + "\" written");
  const std::string before = Text("out/" + files[0]);

  // The next pilot has no IDs at all: the list cannot help, the file still
  // lands, and the first one is untouched.
  ASSERT_EQ(CheckIn("sim:garmin", "GARMIN", {"/COMP_LOG=KML", "/PILOT=Jo Lee, Jr."}, &texts, "second"), 0)
      << Text("second.err");
  EXPECT_EQ(texts[2], "Pilot [-1] Jo Lee, Jr.");
  EXPECT_EQ(Named("Jo_Lee__Jr_.").size(), 1u) << testing::PrintToString(Files("out"));
  EXPECT_EQ(Text("out/" + files[0]), before);
}

TEST_F(CheckInTest, FlymasterFlightCarriesTheCompetitionIdThatNamesThePilot) {
  std::vector<std::string> texts;
  // The demo Flymaster's flight info holds competition ID 17 and no waypoints.
  ASSERT_EQ(CheckIn("sim:flymaster", "FLYMASTER", {"/COMP_LOG=KML"}, &texts), 0) << Text("skylode.err");
  const std::vector<std::string> files = Named("Anna_Maria__z.");
  ASSERT_EQ(files.size(), 1u) << testing::PrintToString(Files("out"));
  EXPECT_TRUE(files[0].ends_with(".17.kml")) << files[0];
  ASSERT_GE(texts.size(), 4u);
  EXPECT_EQ(texts[2], "Pilot [17] Anna-Maria Öz");
  EXPECT_EQ(texts.back(), "File \"out/" + files[0] + "\" written");
}

TEST_F(CheckInTest, FilterBoundariesAndEverythingFiltered) {
  ASSERT_EQ(CheckIn("sim:flytec/pilot", "IQCOMPEO", {"/COMP_LOG=IGC", "/NOCHECK"}), 0) << Text("skylode.err");
  std::vector<std::string> igcs = Named("Anna");
  ASSERT_EQ(igcs.size(), 2u);
  const auto whole = skylode::ParseIgcText(Text("out/" + igcs[0]));
  ASSERT_TRUE(whole.ok());
  ASSERT_GT(whole->points.size(), 100u);
  for (const std::string& f : igcs) fs::remove(dir_ / "out" / f);

  // A window from the 50th to the 100th fix keeps exactly those.
  auto stamp = [](uint32_t t) {
    const skylode::CalendarTime c = skylode::SecondsToDateTime(t);
    char text[32];
    std::snprintf(text, sizeof text, "%04d%02d%02d%02d%02d%02d", c.year, c.month, c.day, c.hour, c.minute, c.second);
    return std::string(text);
  };
  const uint32_t from = whole->points[49].time, to = whole->points[99].time;
  ASSERT_EQ(CheckIn("sim:flytec/pilot", "IQCOMPEO",
                    {"/COMP_LOG=IGC", "/NOCHECK", "/FILTER=" + stamp(from), "/FILTEREND=" + stamp(to)}),
            0)
      << Text("skylode.err");
  igcs = Named("Anna");
  ASSERT_EQ(igcs.size(), 2u);
  const auto cut = skylode::ParseIgcText(Text("out/" + igcs[0]));
  ASSERT_TRUE(cut.ok());
  EXPECT_EQ(cut->points.front().time, from);
  EXPECT_EQ(cut->points.back().time, to);
  EXPECT_EQ(skylode::VerifyIgcText(Text("out/" + igcs[0])), skylode::IgcVerifyOutcome::kPassed);
  for (const std::string& f : igcs) fs::remove(dir_ / "out" / f);

  // A window after the flight: nothing saved, the program says so, exit 1.
  std::vector<std::string> texts;
  ASSERT_EQ(CheckIn("sim:flytec/pilot", "IQCOMPEO",
                    {"/COMP_LOG=KML", "/FILTER=" + stamp(whole->points.back().time + 1)}, &texts),
            1);
  EXPECT_TRUE(Files("out").empty()) << testing::PrintToString(Files("out"));
  ASSERT_FALSE(texts.empty());
  EXPECT_EQ(texts.back(), "Not saved: No positions found; Some removed due to time filtering");
  EXPECT_NE(Text("skylode.err").find("No positions found"), std::string::npos) << Text("skylode.err");
}

TEST_F(CheckInTest, TwoStationsSavingUnidentifiedPilotsTogetherBothLand) {
  const pid_t a = Spawn(SKYLODE_EXE, {"/GPS=GARMIN", "/PORT=sim:garmin", "/COMP_LOG=KML", "/COMP_DIR=out", "/WIN=0",
                                      "/EXIT", "/TIMEOUT=10"},
                        "a");
  const pid_t b = Spawn(SKYLODE_EXE, {"/GPS=GARMIN", "/PORT=sim:garmin", "/COMP_LOG=KML", "/COMP_DIR=out", "/WIN=0",
                                      "/EXIT", "/TIMEOUT=10"},
                        "b");
  EXPECT_EQ(Wait(a), 0) << Text("a.err");
  EXPECT_EQ(Wait(b), 0) << Text("b.err");
  const std::vector<std::string> files = Named("[pilot name].");
  ASSERT_EQ(files.size(), 2u) << testing::PrintToString(Files("out"));
  EXPECT_NE(files[0], files[1]);
}

TEST_F(CheckInTest, RefusedBeforeTheDownload) {
  // No output folder, and a pilot list that cannot be read: exit 1 at once.
  EXPECT_EQ(Skylode({"/GPS=GARMIN", "/PORT=sim:garmin", "/COMP_LOG=KML", "/WIN=0", "/EXIT"}), 1);
  EXPECT_NE(Text("skylode.err").find("No competition output folder"), std::string::npos) << Text("skylode.err");
  EXPECT_EQ(Skylode({"/GPS=GARMIN", "/PORT=sim:garmin", "/COMP_LOG=KML", "/COMP_DIR=out", "/COMP_FS=none.fsdb",
                     "/WIN=0", "/EXIT"}),
            1);
  EXPECT_NE(Text("skylode.err").find("Error opening database file"), std::string::npos) << Text("skylode.err");
  EXPECT_TRUE(Files("out").empty());
}

// An OpenAir file goes up to both instrument kinds; one that does not
// parse fails the run before any transfer.
TEST_F(E2eTest, AirspacesUploadedFromAnOpenAirFile) {
  std::ofstream(Path("air.txt")) << "AC D\r\nAN Circle\r\nAL GND\r\nAH FL95\r\nV X=46:00:00 N 7:00:00 E\r\nDC 2\r\n"
                                    "AN Triangle\r\nDP 46:00:00 N 7:00:00 E\r\nDP 46:10:00 N 7:00:00 E\r\n"
                                    "DP 46:10:00 N 7:10:00 E\r\n";
  for (const char* gps : {"/GPS=IQCOMPEO", "/GPS=GARMIN"}) {
    const std::string port = std::string(gps) == "/GPS=GARMIN" ? "/PORT=sim:garmin" : "/PORT=sim:flytec";
    ASSERT_EQ(Skylode({gps, port, "/WR_CTR=air.txt", "/WIN=0", "/EXIT"}), 0) << gps << Text("skylode.err");
  }
  std::ofstream(Path("bad.txt")) << "AN A\r\nDP 46:00:00 N\r\n";
  EXPECT_EQ(Skylode({"/GPS=IQCOMPEO", "/PORT=sim:flytec", "/WR_CTR=bad.txt", "/WIN=0", "/EXIT"}), 1);
  EXPECT_NE(Text("skylode.err").find("Bad position format on line 2"), std::string::npos) << Text("skylode.err");
}

}  // namespace

// The MTK logger's memory and the Magellan unit's waypoints, each through a
// hidden run as a script would fetch them.
TEST_F(E2eTest, MtkLogAndMagellanWaypointsFromTheirVirtualInstruments) {
  ASSERT_EQ(Skylode({"/GPS=MTK", "/PORT=sim:mtk", "/IGC_LOG=mtk.igc", "/WIN=0", "/EXIT"}), 0) << Text("skylode.err");
  ASSERT_EQ(Skylode({"/IGC2KML=mtk"}, "convert"), 0) << Text("convert.err");
  EXPECT_NE(Text("convert.out").find("Security check PASSED"), std::string::npos) << Text("convert.out");
  EXPECT_NE(Text("mtk.igc").find("\nB120019"), std::string::npos) << Text("mtk.igc");
  ASSERT_EQ(Skylode({"/GPS=MAGELLAN", "/PORT=sim:magellan", "/RD_WPT=mgn.wpt", "/WIN=0", "/EXIT"}), 0)
      << Text("skylode.err");
  EXPECT_NE(Text("mgn.wpt").find("FORCLA"), std::string::npos) << Text("mgn.wpt");
}

TEST_F(E2eTest, IqBasicKeepsItsOwnIgcTextAndTradesWaypoints) {
  ASSERT_EQ(Skylode({"/GPS=IQBASIC", "/PORT=sim:iqbasic", "/IGC_LOG=iq.igc", "/WIN=0", "/EXIT"}), 0)
      << Text("skylode.err");
  // The instrument's own text, as the virtual instrument writes it.
  const std::string igc = Text("iq.igc");
  EXPECT_TRUE(igc.starts_with("AFLY")) << igc.substr(0, 20);
  EXPECT_NE(igc.find("LFLYSKYLODE VIRTUAL INSTRUMENT"), std::string::npos);
  EXPECT_NE(igc.find("\nB"), std::string::npos);

  ASSERT_EQ(Skylode({"/GPS=IQBASIC", "/PORT=sim:iqbasic", "/RD_WPT=iq.wpt", "/WIN=0", "/EXIT"}), 0)
      << Text("skylode.err");
  EXPECT_NE(Text("iq.wpt").find("FORCLA"), std::string::npos) << Text("iq.wpt");
  EXPECT_EQ(Skylode({"/GPS=IQBASIC", "/PORT=sim:iqbasic", "/WR_WPT=iq.wpt", "/WIN=0", "/EXIT"}), 0)
      << Text("skylode.err");
}

TEST_F(E2eTest, DsxFlightInItsOwnIgcText) {
  ASSERT_EQ(Skylode({"/GPS=DSX", "/PORT=sim:dsx", "/IGC_LOG=dsx.igc", "/WIN=0", "/EXIT"}), 0) << Text("skylode.err");
  const std::string igc = Text("dsx.igc");
  EXPECT_TRUE(igc.starts_with("AFLY")) << igc.substr(0, 20);
  EXPECT_EQ(igc.find("ZZZZ"), std::string::npos);
  EXPECT_EQ(igc.find('#'), std::string::npos);
  ASSERT_EQ(Skylode({"/IGC2KML=dsx.igc"}, "convert"), 0) << Text("convert.err");
  EXPECT_NE(Text("convert.out").find("max height"), std::string::npos) << Text("convert.out");
}

TEST_F(E2eTest, LogItAndTrackloggerLogsAsSignedIgc) {
  // The virtual Tracklogger fails one frame and is asked to resume there.
  for (const std::string model : {"logit", "logit/tracklogger"}) {
    SCOPED_TRACE(model);
    const std::string file = model == "logit" ? "logit.igc" : "tracklogger.igc";
    ASSERT_EQ(Skylode({"/GPS=LOGIT", "/PORT=sim:" + model, "/IGC_LOG=" + file, "/WIN=0", "/EXIT"}), 0)
        << Text("skylode.err");
    EXPECT_NE(Text("skylode.out").find("Saved " + file + ": 600 positions written"), std::string::npos)
        << Text("skylode.out");
    // The status lines go to the error output.
    EXPECT_EQ(Text("skylode.err").find("RESTART at point 289") != std::string::npos, model != "logit")
        << Text("skylode.err");
    const std::vector<std::string> lines = Lines(Text(file));
    std::vector<std::string> fixes;
    for (const std::string& line : lines)
      if (line.starts_with("B")) fixes.push_back(line.substr(0, 7));
    ASSERT_EQ(fixes.size(), 600u);
    // One fix a second from 10:00:00, none lost or doubled around the resume.
    EXPECT_EQ(fixes.front(), "B100000");
    EXPECT_EQ(fixes[299], "B100459");
    EXPECT_EQ(fixes[300], "B100500");
    EXPECT_EQ(fixes.back(), "B100959");
    ASSERT_EQ(Skylode({"/IGC2KML=" + file}, "convert"), 0) << Text("convert.err");
    EXPECT_NE(Text("convert.out").find("Security check PASSED"), std::string::npos) << Text("convert.out");
  }
}

// The MLR's fast track log and its waypoint cycle at 4,800 baud, the
// waypoints sent back, and the Graviter's whole memory (with a track that has
// no positions, which a hidden run passes over without asking).
TEST_F(E2eTest, MlrAndGraviterFromTheirVirtualInstruments) {
  ASSERT_EQ(Skylode({"/GPS=MLRC", "/PORT=sim:mlr", "/IGC_LOG=mlr.igc", "/WIN=0", "/EXIT"}), 0)
      << Text("skylode.err");
  const std::string igc = Text("mlr.igc");
  size_t fixes = 0;
  for (size_t at = igc.find("\nB"); at != std::string::npos; at = igc.find("\nB", at + 1)) ++fixes;
  EXPECT_EQ(fixes, 600u) << igc.substr(0, 400);
  EXPECT_NE(igc.find("\nG"), std::string::npos);

  ASSERT_EQ(Skylode({"/GPS=MLR", "/PORT=sim:mlr", "/RD_WPT=mlr.wpt", "/WIN=0", "/EXIT"}), 0) << Text("skylode.err");
  const std::string wpt = Text("mlr.wpt");
  for (const char* id : {"FORCLA", "DOUSSA", "PLANFA"}) EXPECT_NE(wpt.find(id), std::string::npos) << wpt;
  ASSERT_EQ(Skylode({"/GPS=MLR", "/PORT=sim:mlr", "/WR_WPT=mlr.wpt", "/WIN=0", "/EXIT"}), 0) << Text("skylode.err");

  ASSERT_EQ(Skylode({"/GPS=GRAVITER", "/PORT=sim:graviter", "/KML_LOG=grav.kml", "/WIN=0", "/EXIT"}), 0)
      << Text("skylode.err");
  const std::string kml = Text("grav.kml");
  EXPECT_NE(kml.find("<coordinates>"), std::string::npos) << kml.substr(0, 400);
  // The Graviter keeps no IGC text of its own to save.
  EXPECT_EQ(Skylode({"/GPS=GRAVITER", "/PORT=sim:graviter", "/IGC_LOG=grav.igc", "/WIN=0", "/EXIT"}), 1);
  EXPECT_NE(Text("skylode.err").find("Unsupported GPS for IGC track log download"), std::string::npos)
      << Text("skylode.err");
}
