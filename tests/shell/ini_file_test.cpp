#include "shell/settings/ini_file.h"

#include <gtest/gtest.h>

namespace skylode {
namespace {

TEST(IniDocumentTest, ReadsSectionsCommentsAndLineEnds) {
  auto doc = IniDocument::Parse("; c\r\n[A]\r\nkey = v 1 \r\n\r\n# c2\n[B]\nkey=2\nKEY=3\n");
  ASSERT_TRUE(doc);
  EXPECT_EQ(doc->Get("a", "KEY"), "v 1");
  EXPECT_EQ(doc->Get("B", "key"), "3");  // the last duplicate wins
  EXPECT_FALSE(doc->Get("C", "key"));
}

TEST(IniDocumentTest, RefusesLinesThatAreNotSettings) {
  struct Case {
    const char* text;
    int line;
  } cases[] = {
      {"[A]\nno equals sign\n", 2}, {"[A\n", 1}, {"[]\n", 1}, {"[A]\n=value\n", 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    IniParseError error;
    EXPECT_FALSE(IniDocument::Parse(c.text, &error));
    EXPECT_EQ(error.line, c.line);
  }
}

TEST(IniDocumentTest, SetReplacesInPlaceOrAppendsToItsSection) {
  auto doc = IniDocument::Parse("[A]\nx=1\n; note\n[B]\ny=2\n");
  ASSERT_TRUE(doc);
  doc->Set("A", "X", "5");
  doc->Set("A", "z", "6");
  doc->Set("C", "w", "7");
  EXPECT_EQ(doc->Serialise(), "[A]\nx=5\nz=6\n; note\n[B]\ny=2\n\n[C]\nw=7\n");
}

TEST(IniDocumentTest, QuotedValuesRoundTrip) {
  const std::string values[] = {" a", "b ", "\"c\"", "d\\e", "line\nbreak", "plain \"inner\" text"};
  for (const auto& v : values) {
    SCOPED_TRACE(v);
    IniDocument doc = *IniDocument::Parse("");
    doc.Set("S", "k", v);
    auto back = IniDocument::Parse(doc.Serialise());
    ASSERT_TRUE(back);
    EXPECT_EQ(back->Get("S", "k"), v);
  }
}

}  // namespace
}  // namespace skylode
