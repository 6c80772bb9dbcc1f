// SCORE on the command line: the lines scripts read, and the exit codes.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "shell/command_line/command_line.h"
#include "shell/command_line/command_line_run.h"

namespace skylode {
namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

TEST(ScoreCommand, PrintsBestScoringPerRuleSet) {
  const std::string file = std::string(SKYLODE_TEST_DATA) + "/flights/trifai-xcontest-189.65.igc";
  struct Case {
    const char* name;
    std::string argument;
  };
  // With and without the extension, as IGC2KML takes it.
  const Case cases[] = {{"with .igc", "/SCORE=" + file},
                        {"without", "/SCORE=" + file.substr(0, file.size() - 4)}};
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    const CmdParseResult parsed = ParseCommandLine(std::vector<std::string>{k.argument});
    ASSERT_TRUE(parsed.ok()) << parsed.error;
    ASSERT_TRUE(parsed.run.has_value());
    EXPECT_TRUE(ArgumentsAskForNoWindow({k.argument}));
    std::ostringstream out, errors;
    EXPECT_EQ(ScoreIgcFile(*parsed.run, out, errors), 0) << errors.str();
    const auto lines = Lines(out.str());
    // A rule set line, three legs, the other rule set, three legs.
    ASSERT_EQ(lines.size(), 8u) << out.str();
    EXPECT_EQ(lines[0].rfind("XContest\tclosed FAI triangle\t", 0), 0u) << lines[0];
    EXPECT_EQ(lines[4].rfind("FFVL\tFAI triangle\t", 0), 0u) << lines[4];
    for (const size_t i : {0u, 4u}) {
      // RULES, TYPE, two numbers with two decimals and a point.
      std::istringstream fields(lines[i]);
      std::string rules, type, distance, score;
      std::getline(fields, rules, '\t');
      std::getline(fields, type, '\t');
      std::getline(fields, distance, '\t');
      std::getline(fields, score, '\t');
      for (const std::string& number : {distance, score}) {
        ASSERT_GE(number.size(), 4u);
        EXPECT_EQ(number[number.size() - 3], '.');
      }
      EXPECT_GT(std::stod(score), std::stod(distance));  // a triangle's multiplier
    }
    for (const size_t i : {1u, 2u, 3u, 5u, 6u, 7u}) EXPECT_EQ(lines[i].rfind("leg ", 0), 0u) << lines[i];
  }
}

TEST(ScoreCommand, UnreadableFileFails) {
  const std::string dir = std::string(SKYLODE_TEST_DATA) + "/flights/";
  const std::vector<std::string> arguments[] = {{"/SCORE=" + dir + "no-such-flight.igc"}, {"/SCORE=" + dir}};
  for (const auto& argument : arguments) {
    SCOPED_TRACE(argument[0]);
    const CmdParseResult parsed = ParseCommandLine(argument);
    ASSERT_TRUE(parsed.ok() && parsed.run.has_value()) << parsed.error;
    std::ostringstream out, errors;
    EXPECT_EQ(ScoreIgcFile(*parsed.run, out, errors), 1);
    EXPECT_TRUE(out.str().empty());
    EXPECT_FALSE(errors.str().empty());
  }
  EXPECT_EQ(ParseCommandLine(std::vector<std::string>{"/SCORE="}).error, "Missing IGC file name");
}

}  // namespace
}  // namespace skylode
