#include "formats/file_io.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace skylode {
namespace {

namespace fs = std::filesystem;

// Each test gets its own empty folder, removed afterwards.
class FileIoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "skylode-file-io-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir = pattern;
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir, ec);
  }

  std::string PathOf(const std::string& name) const { return (dir / name).string(); }

  static void Put(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
  }
  static std::string Get(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  // Every name in the folder, so a leftover temporary file shows.
  std::set<std::string> Names() const {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) names.insert(entry.path().filename().string());
    return names;
  }

  fs::path dir;
};

const std::string kBinary("AFLY\0\r\n\xFF\x80 tail", 14);

TEST_F(FileIoTest, WritesNewFileExactly) {
  const std::string path = PathOf("new.igc");
  EXPECT_TRUE(WriteFileAtomically(path, kBinary).ok());
  EXPECT_EQ(Get(path), kBinary);
  EXPECT_EQ(Names(), std::set<std::string>{"new.igc"});
}

TEST_F(FileIoTest, WritesEmptyFileAndBytesFromSpan) {
  const std::string empty = PathOf("empty.log");
  EXPECT_TRUE(WriteFileAtomically(empty, std::string_view()).ok());
  EXPECT_TRUE(fs::exists(empty));
  EXPECT_EQ(fs::file_size(empty), 0u);

  const std::vector<uint8_t> bytes = {0x00, 0x11, 0xFF};
  const std::string path = PathOf("trace.log");
  EXPECT_TRUE(WriteFileAtomically(path, std::span<const uint8_t>(bytes)).ok());
  EXPECT_EQ(Get(path), std::string("\x00\x11\xFF", 3));
}

TEST_F(FileIoTest, ReplacesWholeFileAndKeepsItsPermissions) {
  const std::string path = PathOf("flight.kml");
  Put(path, std::string(5000, 'o'));
  ASSERT_EQ(chmod(path.c_str(), 0640), 0);
  EXPECT_TRUE(WriteFileAtomically(path, "short").ok());
  EXPECT_EQ(Get(path), "short");
  struct stat st {};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(Names(), std::set<std::string>{"flight.kml"});
}

TEST_F(FileIoTest, FolderMayBeGivenWithoutSlash) {
  // A bare name goes to the working folder; run it inside ours.
  const fs::path previous = fs::current_path();
  fs::current_path(dir);
  const auto saved = WriteFileAtomically("bare.gpx", "x");
  fs::current_path(previous);
  EXPECT_TRUE(saved.ok());
  EXPECT_EQ(Get(PathOf("bare.gpx")), "x");
  EXPECT_EQ(Names(), std::set<std::string>{"bare.gpx"});
}

TEST_F(FileIoTest, LongNameStillGetsATemporaryFile) {
  const std::string name = std::string(250, 'n') + ".igc";
  EXPECT_TRUE(WriteFileAtomically(PathOf(name), "B").ok());
  EXPECT_EQ(Get(PathOf(name)), "B");
  EXPECT_EQ(Names(), std::set<std::string>{name});
}

TEST_F(FileIoTest, WritingThroughALinkReplacesTheFileItNames) {
  const std::string real = PathOf("real.wpt");
  const std::string link = PathOf("link.wpt");
  Put(real, "old");
  fs::create_symlink(real, link);
  EXPECT_TRUE(WriteFileAtomically(link, "new").ok());
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(Get(real), "new");
  EXPECT_EQ(Names(), (std::set<std::string>{"link.wpt", "real.wpt"}));
}

// Failed saves: the right error, the old file untouched, nothing left over.
// Paths are chosen so they fail even for root.
TEST_F(FileIoTest, FailedSavesLeaveEverythingAsItWas) {
  Put(PathOf("plain.txt"), "a file, not a folder");
  fs::create_directory(dir / "folder.igc");
  Put(PathOf("folder.igc/inside"), "keep");
  Put(PathOf("existing.igc"), kBinary);

  struct Case {
    const char* name;
    std::string path;
    WriteMode mode;
    ErrorKind kind;
    int osError;
  };
  const Case cases[] = {
      {"missing folder", PathOf("missing/x.igc"), WriteMode::kReplace, ErrorKind::kCannotCreate, ENOENT},
      {"parent is a file", PathOf("plain.txt/x.igc"), WriteMode::kReplace, ErrorKind::kCannotCreate, ENOTDIR},
      {"folder in the way", PathOf("folder.igc"), WriteMode::kReplace, ErrorKind::kCannotReplace, EISDIR},
      {"path ends in a slash", PathOf("folder.igc/"), WriteMode::kReplace, ErrorKind::kCannotCreate, EISDIR},
      {"create new over a file", PathOf("existing.igc"), WriteMode::kCreateNew, ErrorKind::kExists, EEXIST},
      {"create new over a folder", PathOf("folder.igc"), WriteMode::kCreateNew, ErrorKind::kExists, EEXIST},
  };
  const auto namesBefore = Names();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto asked = WriteFileAtomically(c.path, "new contents", c.mode);
    ASSERT_FALSE(asked.ok());
    EXPECT_EQ(asked.error().kind, c.kind);
    EXPECT_EQ(asked.error().osError, c.osError);
    EXPECT_EQ(asked.error().path, c.path);
    EXPECT_FALSE(asked.error().osText.empty());
    EXPECT_EQ(Names(), namesBefore);
  }
  EXPECT_EQ(Get(PathOf("plain.txt")), "a file, not a folder");
  EXPECT_EQ(Get(PathOf("folder.igc/inside")), "keep");
  EXPECT_EQ(Get(PathOf("existing.igc")), kBinary);
}

TEST_F(FileIoTest, CreateNewRefusesExistingFileAndKeepsIt) {
  const std::string path = PathOf("comp.kml");
  Put(path, kBinary);
  const auto error = WriteFileAtomically(path, "other", WriteMode::kCreateNew);
  ASSERT_FALSE(error.ok());
  EXPECT_EQ(error.error().kind, ErrorKind::kExists);
  EXPECT_EQ(Get(path), kBinary);
  EXPECT_EQ(Names(), std::set<std::string>{"comp.kml"});

  EXPECT_TRUE(WriteFileAtomically(PathOf("fresh.kml"), "fresh", WriteMode::kCreateNew).ok());
  EXPECT_EQ(Get(PathOf("fresh.kml")), "fresh");
}

// A write that fails part way (here: the file size limit, as a full disk
// would) must not touch the file being replaced.
TEST_F(FileIoTest, WriteErrorKeepsOldFile) {
  const std::string path = PathOf("keep.igc");
  Put(path, kBinary);
  struct rlimit old {};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  if (old.rlim_max != RLIM_INFINITY && old.rlim_max < 4096) GTEST_SKIP() << "file size limit already set";
  auto* previousHandler = signal(SIGXFSZ, SIG_IGN);
  struct rlimit limited = old;
  limited.rlim_cur = 4096;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
  const auto error = WriteFileAtomically(path, std::string(100000, 'B'));
  setrlimit(RLIMIT_FSIZE, &old);
  signal(SIGXFSZ, previousHandler);

  ASSERT_FALSE(error.ok());
  EXPECT_EQ(error.error().kind, ErrorKind::kWriteError);
  EXPECT_EQ(error.error().osError, EFBIG);
  EXPECT_EQ(Get(path), kBinary);
  EXPECT_EQ(Names(), std::set<std::string>{"keep.igc"});
}

// Saves through named temporary files, as on a file system without unnamed
// ones, for the length of a test.
struct NamedTemporariesOnly {
  explicit NamedTemporariesOnly(bool on) { UseNamedTemporaryFilesOnly(on); }
  ~NamedTemporariesOnly() { UseNamedTemporaryFilesOnly(false); }
};

// The file size limit ends a process that writes past it unless the signal
// is held: a save must come back with an error instead, whoever called it.
TEST_F(FileIoTest, FileSizeLimitIsAnErrorNotTheEnd) {
  struct rlimit old {};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  if (old.rlim_max != RLIM_INFINITY && old.rlim_max < 4096) GTEST_SKIP() << "file size limit already set";
  const std::string path = PathOf("limit.igc");
  Put(path, kBinary);
  for (bool named : {false, true}) {
    SCOPED_TRACE(named ? "named temporary file" : "unnamed temporary file");
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      signal(SIGXFSZ, SIG_DFL);
      UseNamedTemporaryFilesOnly(named);
      struct rlimit limited = old;
      limited.rlim_cur = 4096;
      setrlimit(RLIMIT_FSIZE, &limited);
      const auto saved = WriteFileAtomically(path, std::string(100000, 'B'));
      // Still alive, and the limit is reported as such.
      _exit(!saved.ok() && saved.error().kind == ErrorKind::kWriteError && saved.error().osError == EFBIG ? 0 : 3);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "killed by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(Get(path), kBinary);
    EXPECT_EQ(Names(), std::set<std::string>{"limit.igc"});
  }
}

// A save killed at any moment leaves the old file or the new one whole; what
// a killed save could not clear away itself, the next save of that file does.
TEST_F(FileIoTest, KilledSaveLeavesOldOrNewFileAndNothingElse) {
  const std::string path = PathOf("flight.igc");
  const std::string oldBytes(1 << 20, 'o');
  const std::string newBytes(3 << 20, 'n');
  for (bool named : {false, true}) {
    for (const WriteMode mode : {WriteMode::kReplace, WriteMode::kCreateNew}) {
      for (int delayUs : {0, 200, 1000, 3000, 8000, 20000}) {
        SCOPED_TRACE(std::string(named ? "named" : "unnamed") + (mode == WriteMode::kReplace ? " replace" : " new") +
                     " killed after " + std::to_string(delayUs) + " us");
        if (mode == WriteMode::kReplace) Put(path, oldBytes);
        else fs::remove(path);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
          UseNamedTemporaryFilesOnly(named);
          for (;;) (void)WriteFileAtomically(path, newBytes, mode);
        }
        usleep(static_cast<useconds_t>(delayUs));
        kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);

        if (mode == WriteMode::kReplace) {
          const std::string now = Get(path);
          EXPECT_TRUE(now == oldBytes || now == newBytes) << now.size() << " bytes";
        } else if (fs::exists(path)) {
          EXPECT_EQ(Get(path), newBytes);
        }
        // Unnamed files never get a name before they are complete: a new
        // file leaves nothing at all.
        if (!named && mode == WriteMode::kCreateNew) {
          const auto names = Names();
          EXPECT_TRUE(names.empty() || names == std::set<std::string>{"flight.igc"});
        }
        {
          const NamedTemporariesOnly sameWay(named);
          ASSERT_TRUE(WriteFileAtomically(path, "next").ok());
        }
        EXPECT_EQ(Names(), std::set<std::string>{"flight.igc"});
      }
    }
  }
}

TEST_F(FileIoTest, NextSaveClearsOnlyTheAbandonedTemporariesOfItsFile) {
  Put(PathOf("track.kml"), "old");
  // Process ids above the system's limit are never alive; process 1 always is.
  const std::string abandoned = ".track.kml.99999999.0.1a.0.tmp";
  const std::string running = ".track.kml.1.0.1a.0.tmp";
  const std::string otherFile = ".other.kml.99999999.0.1a.0.tmp";
  const std::string notOurs = ".track.kml.notes";
  for (const std::string& name : {abandoned, running, otherFile, notOurs}) Put(PathOf(name), "x");
  ASSERT_TRUE(WriteFileAtomically(PathOf("track.kml"), "new").ok());
  EXPECT_EQ(Names(), (std::set<std::string>{"track.kml", running, otherFile, notOurs}));
  EXPECT_EQ(Get(PathOf("track.kml")), "new");
}

TEST_F(FileIoTest, NamedTemporaryFilesSaveAndFailTheSameWay) {
  const NamedTemporariesOnly named(true);
  Put(PathOf("existing.igc"), kBinary);
  EXPECT_TRUE(WriteFileAtomically(PathOf("new.igc"), "fresh", WriteMode::kCreateNew).ok());
  const auto refused = WriteFileAtomically(PathOf("existing.igc"), "other", WriteMode::kCreateNew);
  ASSERT_FALSE(refused.ok());
  EXPECT_EQ(refused.error().kind, ErrorKind::kExists);
  const auto missing = WriteFileAtomically(PathOf("missing/x.igc"), "x");
  ASSERT_FALSE(missing.ok());
  EXPECT_EQ(missing.error().kind, ErrorKind::kCannotCreate);
  EXPECT_TRUE(WriteFileAtomically(PathOf("existing.igc"), "replaced").ok());
  EXPECT_EQ(Get(PathOf("existing.igc")), "replaced");
  EXPECT_EQ(Names(), (std::set<std::string>{"existing.igc", "new.igc"}));
}

TEST_F(FileIoTest, ReadsWholeFile) {
  const std::string path = PathOf("in.igc");
  const std::string big = kBinary + std::string(200000, 'x') + kBinary;
  Put(path, big);
  const auto result = ReadWholeFile(path);
  ASSERT_TRUE(result.ok());
  EXPECT_EQ(result.value(), big);
  EXPECT_EQ(result.value().c_str()[big.size()], '\0');
}

TEST_F(FileIoTest, ReadErrors) {
  Put(PathOf("empty.igc"), "");
  Put(PathOf("five.igc"), "12345");
  struct Case {
    std::string path;
    size_t limit;
    ErrorKind kind;
    int osError;
  };
  const Case cases[] = {
      {PathOf("missing.igc"), kDefaultReadLimit, ErrorKind::kCannotOpen, ENOENT},
      {dir.string(), kDefaultReadLimit, ErrorKind::kCannotOpen, EISDIR},
      {PathOf("empty.igc"), kDefaultReadLimit, ErrorKind::kEmpty, 0},
      {PathOf("five.igc"), 4, ErrorKind::kTooLarge, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    const auto result = ReadWholeFile(c.path, c.limit);
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error().kind, c.kind);
    EXPECT_EQ(result.error().osError, c.osError);
    EXPECT_EQ(result.error().path, c.path);
  }
  EXPECT_TRUE(ReadWholeFile(PathOf("five.igc"), 5).ok());
}

TEST(FileErrorText, DescribeNamesFileAndReason) {
  const auto result = ReadWholeFile("/nonexistent-skylode-folder/a.igc");
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(result.error().Describe(),
            "Cannot open file /nonexistent-skylode-folder/a.igc: " + SystemErrorText(ENOENT));
  const Error exists = Error::System(ErrorKind::kEmpty, 0, "/x/e.igc");
  EXPECT_EQ(exists.Describe(), "Empty file /x/e.igc");
}

TEST(FileNames, Extension) {
  const std::pair<std::string_view, std::string_view> cases[] = {
      {"flight.igc", ".igc"},     {"/a/b/flight.IGC", ".IGC"}, {"a.b/flight", ""},
      {"C:\\tracks.d\\flight", ""}, {"dir/.profile", ""},       {"flight.", "."},
      {"flight.tar.gz", ".gz"},   {"", ""},                     {"x.igc/", ""},
  };
  for (const auto& [path, ext] : cases) EXPECT_EQ(FileExtension(path), ext) << path;
}

TEST(FileNames, HasExtensionIgnoresCase) {
  struct Case {
    std::string_view path, ext;
    bool expected;
  };
  const Case cases[] = {
      {"flight.IGC", ".igc", true}, {"flight.igc", "IGC", true}, {"flight.Kml", ".kml", true},
      {"flight.igc", ".ig", false}, {"flight.igcx", ".igc", false}, {"flight", ".igc", false},
      {"igc", "igc", false},        {"dir.igc/flight", ".igc", false},
  };
  for (const auto& c : cases) EXPECT_EQ(HasExtension(c.path, c.ext), c.expected) << c.path << " " << c.ext;
}

TEST(FileNames, DefaultExtensionOnlyWhenMissing) {
  struct Case {
    std::string_view name, ext, expected;
  };
  const Case cases[] = {
      {"flight", ".log", "flight.log"},       {"flight", "log", "flight.log"},
      {"flight.txt", ".log", "flight.txt"},   {"flight.", ".log", "flight.log"},
      {"dir.d/flight", ".igc", "dir.d/flight.igc"}, {"flight", "", "flight"},
  };
  for (const auto& c : cases) EXPECT_EQ(WithDefaultExtension(c.name, c.ext), c.expected) << c.name;
}

TEST(FileNames, JoinPathAddsOneSeparator) {
  struct Case {
    std::string_view folder, name, expected;
  };
  const Case cases[] = {
      {"/home/pilot", "a.igc", "/home/pilot/a.igc"},
      {"/home/pilot/", "a.igc", "/home/pilot/a.igc"},
      {"C:\\Flights\\", "a.igc", "C:\\Flights\\a.igc"},
      {"", "a.igc", "a.igc"},
      {"/", "a.igc", "/a.igc"},
  };
  for (const auto& c : cases) EXPECT_EQ(JoinPath(c.folder, c.name), c.expected) << c.folder;
}

}  // namespace
}  // namespace skylode
