// The in-place tokenizer, attribute lookup, time values and the nesting
// rules every XML reader of ours shares.
#include <gtest/gtest.h>

#include "formats/xml_tokenizer.h"

namespace skylode {
namespace {

struct Token {
  XmlNext result;
  std::string name, text, attributes, content;
};

std::vector<Token> Tokens(std::string text) {
  std::vector<Token> out;
  char* cursor = text.data();
  for (;;) {
    XmlTag tag;
    const XmlNext r = NextXmlTag(cursor, tag);
    out.push_back({r, tag.name, tag.text ? tag.text : "", tag.attributes ? tag.attributes : "",
                   tag.content ? tag.content : ""});
    if (r == XmlNext::kEnd || r == XmlNext::kBroken) return out;
  }
}

TEST(XmlTokenizer, CutsTagsInPlace) {
  const auto t = Tokens(
      "<?xml version=\"1.0\"?>\r\n<!-- a -- b --->  <a x='1>2'>\t text <![CDATA[<raw>]]></a><br/><c />tail");
  ASSERT_EQ(t.size(), 8u);
  EXPECT_EQ(t[0].name, "?xml");
  EXPECT_EQ(t[0].attributes, "version=\"1.0\"?");
  EXPECT_EQ(t[1].name, "!--");
  EXPECT_EQ(t[2].name, "a");
  EXPECT_EQ(t[2].attributes, "x='1>2'");
  EXPECT_EQ(t[2].text, "");
  EXPECT_EQ(t[3].name, "![CDATA[");
  EXPECT_EQ(t[3].text, "text ");
  EXPECT_EQ(t[3].content, "<raw>");
  EXPECT_EQ(t[4].name, "/a");
  EXPECT_EQ(t[5].name, "br");
  EXPECT_EQ(t[5].result, XmlNext::kEmptyTag);
  EXPECT_EQ(t[6].name, "c");
  EXPECT_EQ(t[6].result, XmlNext::kEmptyTag);
  EXPECT_EQ(t[7].result, XmlNext::kEnd);
  EXPECT_EQ(t[7].text, "tail");
}

TEST(XmlTokenizer, TextEndingInsideATagIsBroken) {
  for (const char* text : {"<a", "<a b=\"c>", "<!-- never closed ->", "<![CDATA[ open", "<a b='>'"}) {
    SCOPED_TRACE(text);
    EXPECT_EQ(Tokens(text).back().result, XmlNext::kBroken);
  }
}

TEST(XmlAttributes, MatchWholeNamesAndQuotedValues) {
  const char* attrs = "xhash=\"1\" hash = 'AB' n=\"42\" bad=7 deg=\"-8.5\" long=\"0123456789\"";
  EXPECT_EQ(XmlAttributeText(attrs, "hash", 80), "AB");
  EXPECT_EQ(XmlAttributeText(attrs, "long", 4), "0123");
  EXPECT_EQ(XmlAttributeText(attrs, "bad", 80), std::nullopt);
  EXPECT_EQ(XmlAttributeText(attrs, "missing", 80), std::nullopt);
  EXPECT_EQ(XmlAttributeText("a=\"open", "a", 80), std::nullopt);
  EXPECT_EQ(XmlAttributeInt(attrs, "n"), 42);
  EXPECT_EQ(XmlAttributeInt(attrs, "deg"), std::nullopt);
  EXPECT_NEAR(*XmlAttributeAngle(attrs, "deg"), -8.5 * 0.017453292519943295, 1e-15);
}

TEST(XmlTime, AcceptsTheIsoShapesOnly) {
  struct Case {
    const char* text;
    bool ok;
    uint32_t seconds;
    bool zulu;
  };
  const Case cases[] = {
      {"1990-01-01T00:00:00Z", true, 86400, true},
      {"1990-01-01T00:00:00", true, 86400, false},
      {"1990-01-01T00:00:00.250Z", true, 86400, true},
      {"1990-01-01T02:00:00+02:00", true, 86400, false},
      {"1989-12-31T22:00:00-02:00", true, 86400, false},
      {"1990-01-01 00:00:00", false, 0, false},
      {"1990-13-01T00:00:00", false, 0, false},
      {"1990-01-01T00:00:00Zjunk", false, 0, false},
      {"1990-01-01T00:00", false, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const auto t = ParseXmlTime(c.text);
    ASSERT_EQ(t.has_value(), c.ok);
    if (!c.ok) continue;
    EXPECT_EQ(t->seconds, c.seconds);
    EXPECT_EQ(t->zulu, c.zulu);
  }
}

TEST(XmlEntities, DecodeKnownReferencesOnly) {
  EXPECT_EQ(XmlDecodeEntities("a&lt;b&gt;&amp;&quot;&apos;&#65;&#xE9;&bogus;&"), "a<b>&\"'A\xC3\xA9&bogus;&");
}

TEST(XmlNesting, BrokenRulesGiveTheirMessage) {
  std::string deep;
  for (int i = 0; i < 20; ++i) deep += "<t" + std::to_string(i) + ">";
  struct Case {
    std::string text, message;
  };
  const Case cases[] = {
      {deep, "Nesting limit exceeded at tag <t19..."},
      {"x<a></a>", "Data found before tag <a>"},
      {"<a></b>", "Tag <a> is terminated by </b>"},
      {"</a>", "Terminating tag </a> encountered at root level"},
      {"<a></a>x", "Data found after last tag"},
      {"<a><b></b>", "Nesting level not zero at end-of-file"},
      {"<a><b", "End-of-file encountered within a tag"},
      {"", "No tags found"},
      {"\xFE\xFF\0<", "Unknown BOM before opening tag"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    std::string text = c.text;
    const Status walked = WalkXml(text, [](const XmlEvent&) { return true; });
    ASSERT_FALSE(walked.ok());
    EXPECT_EQ(walked.error().kind, ErrorKind::kBadContent);
    EXPECT_EQ(walked.error().text, c.message);
  }
}

TEST(XmlNesting, EmptyElementsNeitherOpenNorClose) {
  std::string text = "\xEF\xBB\xBF<?xml?><!-- c --><a><b/><c>t<![CDATA[x<y]]></c></a>";
  std::vector<std::string> seen;
  EXPECT_TRUE(WalkXml(text,
                      [&](const XmlEvent& e) {
                        const char* kind[] = {"+", "=", "-"};
                        seen.push_back(kind[e.kind] + std::string(e.name) + std::to_string(e.depth) +
                                       std::string(e.text));
                        return true;
                      })
                  .ok());
  EXPECT_EQ(seen, (std::vector<std::string>{"+a1", "=b1", "+c2", "-c2x<y", "-a1"}));
  // Nineteen levels around an empty element stay within the limit.
  std::string deep;
  for (int i = 0; i < 19; ++i) deep += "<t>";
  deep += "<e/>";
  for (int i = 0; i < 19; ++i) deep += "</t>";
  EXPECT_TRUE(WalkXml(deep, [](const XmlEvent&) { return true; }).ok());
}

}  // namespace
}  // namespace skylode
