// Pilot lists: the scoring program's database, the RACE export and CSV,
// read the way check-in stations meet them, and the CSV the program writes
// read back.
#include "formats/pilot_list_file.h"

#include <gtest/gtest.h>

#include <string>

#include "formats/file_io.h"

namespace skylode {
namespace {

using namespace std::string_view_literals;

PilotEntry Pilot(std::string name, int32_t comp, int32_t civl, std::array<std::string, 4> devices = {}) {
  PilotEntry p;
  p.name = std::move(name);
  p.compId = comp;
  p.civlId = civl;
  p.devices = std::move(devices);
  return p;
}

std::string ErrorText(const Result<PilotList>& r) { return r.ok() ? std::string("(read)") : r.error().text; }

TEST(PilotListFile, ScoringDatabaseFromDisk) {
  const Result<std::string> file = ReadWholeFile(SKYLODE_TEST_DATA "/pilots/competition.fsdb");
  ASSERT_TRUE(file.ok());
  const Result<PilotList> list = ReadPilotListText(*file);
  ASSERT_TRUE(list.ok()) << ErrorText(list);
  ASSERT_EQ(list->items.size(), 5u);  // the participant inside the tasks is none of them
  EXPECT_EQ(list->items[0], Pilot("Anna-Maria Öz", 17, 12345));
  // CIVLID "" falls back to the FsCivlPilot element.
  EXPECT_EQ(list->items[1], Pilot("O'Brien, Seán", 23, 40211));
  // CIVLID "0" is no ID; entities are decoded.
  EXPECT_EQ(list->items[2], Pilot("Max & Moritz Müller", 5, -1));
  // A decoded line break never reaches a file name or a CSV line.
  EXPECT_EQ(list->items[3], Pilot("Łukasz Wiśniewski", 42, 33871));
  EXPECT_EQ(list->items[4], Pilot("Jo Lee", 101, 77001));
}

TEST(PilotListFile, ScoringDatabaseRefusals) {
  const struct {
    const char* participant;
    const char* error;
  } cases[] = {
      {R"(<FsParticipant id="x7" name="A"/>)", "Bad/missing comp. ID for pilot 2 in list"},
      {R"(<FsParticipant id="-3" name="A"/>)", "Bad/missing comp. ID for pilot 2 in list"},
      {R"(<FsParticipant name="A"/>)", "Bad/missing comp. ID for pilot 2 in list"},
      {R"(<FsParticipant id="3" name=""/>)", "Missing name for pilot 2 in list"},
      {R"(<FsParticipant id="3"/>)", "Missing name for pilot 2 in list"},
      {R"(<FsParticipant id="3" name="A" CIVLID="12a"/>)", "Bad CIVL ID for pilot 2 in list"},
      {R"(<FsParticipant id="3" name="A"><FsCivlPilot id="q"/></FsParticipant>)", "Bad CIVL ID for pilot 2 in list"},
      {R"(<FsParticipant />)", "Missing data for pilot 2 in list"},
      {R"(<FsParticipant id="99999999999" name="A"/>)", "Bad/missing comp. ID for pilot 2 in list"},
  };
  for (const auto& c : cases) {
    const std::string text = std::string("<?xml version=\"1.0\"?><Fs><FsCompetition><FsParticipants>") +
                             R"(<FsParticipant id="1" name="First"/>)" + c.participant +
                             "</FsParticipants></FsCompetition></Fs>";
    EXPECT_EQ(ErrorText(ReadPilotListText(text)), c.error) << c.participant;
  }
}

TEST(PilotListFile, RaceExport) {
  const std::string text =
      "<RACE>\r\n"
      "<tblPilot pilFirstName=\"Anna-Maria\" pilLastName=\"Öz\" pilNumber=\"17\" pilIDGlobal=\"12345\"/>\r\n"
      "<tblPilot pilFirstName=\"Jo\" pilLastName=\"Lee\" pilNumber=\"101\" pilIDGlobal=\"0\"/>\r\n"
      "</RACE>\r\n";
  const Result<PilotList> list = ReadPilotListText(text);
  ASSERT_TRUE(list.ok()) << ErrorText(list);
  ASSERT_EQ(list->items.size(), 2u);
  EXPECT_EQ(list->items[0], Pilot("Anna-Maria Öz", 17, 12345));
  EXPECT_EQ(list->items[1], Pilot("Jo Lee", 101, -1));

  const std::string longName = "<RACE><tblPilot pilFirstName=\"" + std::string(40, 'a') + "\" pilLastName=\"" +
                               std::string(40, 'b') + "\" pilNumber=\"1\" pilIDGlobal=\"2\"/></RACE>";
  EXPECT_EQ(ErrorText(ReadPilotListText(longName)), "Name too long for pilot 1 in list");
  EXPECT_EQ(ErrorText(ReadPilotListText("<RACE><tblPilot pilFirstName=\"A\" pilNumber=\"x\" pilIDGlobal=\"2\"/></RACE>")),
            "Bad/missing pilot ID for pilot 1 in list");
  EXPECT_EQ(ErrorText(ReadPilotListText("<RACE><tblPilot pilFirstName=\"A\" pilNumber=\"1\"/></RACE>")),
            "Bad/missing CIVL ID for pilot 1 in list");
}

TEST(PilotListFile, FirstTagAndByteOrderMarks) {
  EXPECT_EQ(ErrorText(ReadPilotListText("\xFF\xFE<\0?\0x\0m\0l\0"sv)), "Unknown BOM before opening tag '<?xml>'");
  EXPECT_EQ(ErrorText(ReadPilotListText("\xFE\xFF\0<\0R\0A\0C\0E"sv)), "Unknown BOM before opening tag '<RACE>'");
  EXPECT_EQ(ErrorText(ReadPilotListText("<html><body/></html>")), "Missing opening tag '<?xml>'");
  // A UTF-8 mark is skipped before either reader.
  const Result<PilotList> fs = ReadPilotListText(
      "\xEF\xBB\xBF<?xml version=\"1.0\"?><Fs><FsParticipants><FsParticipant id=\"1\" name=\"A\"/></FsParticipants></Fs>");
  ASSERT_TRUE(fs.ok()) << ErrorText(fs);
  EXPECT_EQ(fs->items.size(), 1u);
  EXPECT_EQ(ErrorText(ReadPilotListText("<?xml version=\"1.0\"?><Fs><FsParticipants/></Fs>")), "No pilots found");
}

TEST(PilotListFile, CsvAsSpreadsheetsWriteIt) {
  const std::string text =
      "\xEF\xBB\xBFname,CompId,CivlId,Device1\r\n"
      "\r\n"
      "\"O'Brien, Seán\",23,,Flymaster\r\n"
      "Anna-Maria Öz,17,12345\r\n"
      "  \r\n"
      "\"Say \"\"Hi\"\"\",,0,,,,Garmin\r\n"
      "Bell\x07 Ringer,8\n";
  const Result<PilotList> list = ReadPilotCsv(text);
  ASSERT_TRUE(list.ok()) << ErrorText(list);
  ASSERT_EQ(list->items.size(), 4u);
  EXPECT_EQ(list->items[0], Pilot("O'Brien, Seán", 23, -1, {"Flymaster", "", "", ""}));
  EXPECT_EQ(list->items[1], Pilot("Anna-Maria Öz", 17, 12345));
  EXPECT_EQ(list->items[2], Pilot("Say \"Hi\"", -1, -1, {"", "", "", "Garmin"}));
  EXPECT_EQ(list->items[3], Pilot("Bell Ringer", 8, -1));

  const Result<PilotList> bad = ReadPilotCsv("Name,CompId\r\nA,1\r\nB,x2\r\n");
  ASSERT_FALSE(bad.ok());
  EXPECT_EQ(bad.error().text, "Bad CompId number");
  EXPECT_EQ(bad.error().line, 3);
  EXPECT_EQ(ErrorText(ReadPilotCsv("A,1,-5\r\n")), "Bad CivlId number");
}

TEST(PilotListFile, CsvWrittenAndReadBack) {
  PilotList list;
  list.items = {Pilot("Max", 12, -1, {"Flymaster", "", "", ""}), Pilot("O'Brien, Seán", 23, 40211),
                Pilot("Say \"Hi\"", -1, 7, {"a,b", "", "", "x"})};
  const std::string csv = BuildPilotCsv(list);
  EXPECT_EQ(csv,
            "Name,CompId,CivlId,Device1,Device2,Device3,Device4\r\n"
            "Max,12,,Flymaster,,,\r\n"
            "\"O'Brien, Seán\",23,40211,,,,\r\n"
            "\"Say \"\"Hi\"\"\",,7,\"a,b\",,,x\r\n");
  const Result<PilotList> back = ReadPilotListText(csv);
  ASSERT_TRUE(back.ok()) << ErrorText(back);
  EXPECT_EQ(back->items, list.items);
}

}  // namespace
}  // namespace skylode
