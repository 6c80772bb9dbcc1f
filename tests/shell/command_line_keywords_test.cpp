// The keyword table is the one list of what the command line knows: the
// help text comes from it, and the README's table must say the same, so a
// keyword cannot be added, dropped or turned into a flag behind the
// scripts' backs.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "shell/command_line/command_line.h"

namespace skylode {
namespace {

struct Listed {
  std::string name;
  bool takesValue = false;  // written as `/NAME=...`
};

// The keywords of the first table headed "| keyword |": every `/NAME`
// or `/NAME=...` span in its first column.
std::vector<Listed> ReadmeKeywords(const std::string& readme) {
  std::vector<Listed> listed;
  std::istringstream in(readme);
  std::string line;
  bool inTable = false;
  while (std::getline(in, line)) {
    if (!inTable) {
      inTable = line.rfind("| keyword |", 0) == 0;
      continue;
    }
    if (line.empty() || line.front() != '|') break;
    // The first cell ends at a '|' outside backticks.
    std::vector<std::string> spans;
    bool quoted = false;
    for (size_t i = 1; i < line.size(); ++i) {
      const char c = line[i];
      if (c == '`') {
        quoted = !quoted;
        if (quoted) spans.emplace_back();
      } else if (quoted) {
        spans.back() += c;
      } else if (c == '|') {
        break;
      }
    }
    for (const std::string& span : spans) {
      if (span.size() < 2 || span.front() != '/') continue;
      Listed k;
      size_t i = 1;
      while (i < span.size() && ((span[i] >= 'A' && span[i] <= 'Z') || (span[i] >= '0' && span[i] <= '9') ||
                                 span[i] == '_'))
        k.name += span[i++];
      k.takesValue = i < span.size() && span[i] == '=';
      if (!k.name.empty()) listed.push_back(k);
    }
  }
  return listed;
}

std::string ReadFile(const char* path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

TEST(CommandLineKeywords, ReadmeTableListsExactlyTheParsersKeywords) {
  const std::string readme = ReadFile(SKYLODE_README);
  ASSERT_FALSE(readme.empty()) << SKYLODE_README;
  const std::vector<Listed> listed = ReadmeKeywords(readme);
  ASSERT_FALSE(listed.empty()) << "no \"| keyword |\" table in the README";

  std::map<std::string, bool> readme_keywords;
  for (const Listed& k : listed) {
    EXPECT_TRUE(readme_keywords.emplace(k.name, k.takesValue).second) << "/" << k.name << " listed twice";
  }
  std::set<std::string> known;
  for (const CmdKeyword& k : CommandLineKeywords()) {
    const std::string name(k.name);
    known.insert(name);
    const auto it = readme_keywords.find(name);
    if (it == readme_keywords.end()) {
      ADD_FAILURE() << "/" << name << " is missing from the README's keyword table";
      continue;
    }
    // A flag shown with '=' (or a valued keyword without it) teaches the
    // wrong form to whoever writes the next script.
    EXPECT_EQ(it->second, k.value != CmdValueUse::kRefused) << "/" << name << " written in the wrong form";
  }
  for (const auto& [name, takesValue] : readme_keywords) {
    EXPECT_TRUE(known.count(name)) << "the README lists /" << name << ", which the parser does not know";
  }
}

TEST(CommandLineKeywords, HelpShowsEachKeywordInItsForm) {
  const std::string help = CommandLineHelp();
  for (const CmdKeyword& k : CommandLineKeywords()) {
    const std::string name = "\n  /" + std::string(k.name);
    const size_t at = help.find(name + (k.value == CmdValueUse::kRefused ? " " : "="));
    ASSERT_NE(at, std::string::npos) << k.name;
    const size_t end = help.find('\n', at + 1);
    EXPECT_NE(help.substr(at, end - at).find(k.help), std::string::npos) << k.name;
  }
  // The instrument names come from the same place as /GPS's check.
  for (const char* gps : {"GARMIN", "IQCOMPEO", "XCT_MXP", "MTK"}) {
    EXPECT_NE(help.find(std::string(" ") + gps), std::string::npos) << gps;
    EXPECT_TRUE(ParseCommandLine(std::vector<std::string>{std::string("/GPS=") + gps}).ok()) << gps;
  }
}

}  // namespace
}  // namespace skylode
