#include <gtest/gtest.h>

#include <cmath>

#include "base/Json.h"
#include "base/PlistReader.h"
#include "base/XMLReader.h"
#include "support/TempDir.h"

namespace mr {
namespace {

// ------------------------------------------------------------------ JSON

TEST(JsonTest, KindsSurviveReadingAndWriting) {
  auto value = parseJson(R"({"i": 1, "r": 1.5, "whole": 2.0, "t": true, "n": null, "s": "é\n\"",
      "a": [1, [2]], "big": 18446744073709551615})");
  ASSERT_TRUE(value.ok());
  EXPECT_TRUE(value->get("i")->isInteger());
  EXPECT_TRUE(value->get("whole")->isReal());
  EXPECT_TRUE(value->get("big")->isReal());
  EXPECT_TRUE(value->get("n")->isNull());
  EXPECT_EQ(
      toJson(*value),
      R"({"i":1,"r":1.5,"whole":2.0,"t":true,"n":null,"s":"é\n\"","a":[1,[2]],"big":18446744073709551616.0})");
}

TEST(JsonTest, MalformedInputGivesAClearError) {
  for (const char* text : {"", "{", R"({"a": })", "[1,]", "{\"a\": \"\xff\"}", "nul", "[1] x"}) {
    auto value = parseJson(text);
    ASSERT_FALSE(value.ok()) << text;
    EXPECT_NE(value.error().description().find("JSON"), std::string::npos);
  }
  const std::string deep(100000, '[');
  auto value = parseJson(deep);
  ASSERT_FALSE(value.ok());
  EXPECT_NE(value.error().description().find("deeply"), std::string::npos);
}

TEST(JsonTest, WritingNeverFails) {
  Dictionary d{{"bad", Value(std::string("a\xff"
                                         "b"))},
               {"nan", Value(std::nan(""))},
               {"ctl", Value(std::string("\x01"))},
               {"date", Value(Date{0})},
               {"data", Value(Bytes{1, 2})}};
  EXPECT_EQ(
      toJson(Value(d)),
      R"({"bad":"a�b","nan":null,"ctl":"\u0001","date":"1970-01-01T00:00:00Z","data":"AQI="})");
}

TEST(ArchiveTest, EveryKindRoundTrips) {
  Value original = Value::dictionary();
  original.set("date", Value(Date{1234.5}));
  original.set("data", Value(Bytes{0, 255}));
  original.set("real", Value(3.0));
  original.set("inf", Value(-HUGE_VAL));
  original.set("looksTagged", Value(Dictionary{{"$date", Value("not a date")}}));
  original.set("list", Value(Array{Value(1), Value("two"), Value()}));
  auto restored = unarchiveValue(archiveValue(original));
  ASSERT_TRUE(restored.ok()) << restored.error().toString();
  EXPECT_EQ(*restored, original);
  EXPECT_FALSE(unarchiveValue(Bytes{'{'}).ok());
}

// ------------------------------------------------------------------- XML

TEST(XMLReaderTest, ElementsAttributesListsAndText) {
  auto doc = XMLReader::dictionaryForXMLString(
      "<lfm status=\"ok\">\n  <artist>\n    <name>Cher</name>\n"
      "    <image size=\"small\">s.png</image>\n    <image size=\"large\">l.png</image>\n"
      "    <tags><tag><name>pop</name></tag></tags>\n  </artist>\n</lfm>");
  ASSERT_TRUE(doc.ok()) << doc.error().toString();
  EXPECT_EQ(doc->stringForKeyPath("lfm/status", ""), "ok");
  // One buffer for the document: the white space before <artist> is still in it.
  EXPECT_EQ(doc->stringForKeyPath("lfm/artist/name/text", ""), "\n  \n    Cher");
  EXPECT_EQ(doc->objectForKeyPath("lfm/artist")->stringForTextKey("name", ""), "Cher");
  const Array* images = doc->arrayForKeyPath("lfm/artist/image");
  ASSERT_NE(images, nullptr);
  ASSERT_EQ(images->size(), 2u);
  EXPECT_EQ((*images)[1].stringForKey("size", ""), "large");
  EXPECT_EQ((*images)[1].stringForKey("text", ""), "\n    l.png");
  // A single <tag> stays a dictionary.
  EXPECT_NE(doc->dictionaryForKeyPath("lfm/artist/tags/tag"), nullptr);
  EXPECT_EQ(doc->stringForKeyPath("lfm/artist/tags/text", "none"), "none");
}

TEST(XMLReaderTest, EntitiesAndCharacterReferences) {
  auto doc = XMLReader::dictionaryForXMLString("<a>R&amp;B &#233;&#x3042;</a>");
  ASSERT_TRUE(doc.ok());
  EXPECT_EQ(doc->stringForKeyPath("a/text", ""), "R&B éあ");
}

TEST(XMLReaderTest, MalformedAndHostileDocumentsAreRefused) {
  const char* documents[] = {
      "",
      "<a>",
      "<a></b>",
      "not xml at all",
      "<a>&undefined;</a>",
      "<!DOCTYPE a [<!ENTITY x \"boom\">]><a>&x;</a>",
      "<!DOCTYPE a [<!ENTITY x SYSTEM \"file:///etc/passwd\">]><a>&x;</a>",
      "<!DOCTYPE a SYSTEM \"http://example.com/a.dtd\"><a>&ext;</a>",
      "<a>\xff</a>",
  };
  for (const char* text : documents) {
    auto doc = XMLReader::dictionaryForXMLString(text);
    EXPECT_FALSE(doc.ok()) << text;
    if (!doc.ok()) {
      EXPECT_NE(doc.error().description().find("XML"), std::string::npos);
    }
  }
  std::string deep;
  for (int i = 0; i < 2000; ++i)
    deep += "<a>";
  EXPECT_FALSE(XMLReader::dictionaryForXMLString(deep).ok());
}

// ------------------------------------------------------------------ plist

constexpr const char* kHeader =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
    "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n<plist version=\"1.0\">\n";

std::string plist(const std::string& body) {
  return kHeader + body + "\n</plist>\n";
}

TEST(PlistReaderTest, EveryKind) {
  auto root = PlistReader::readString(plist(R"(<dict>
    <key>String</key><string>R&amp;B &lt;3 &#x3042;<![CDATA[<raw>&]]></string>
    <key>Empty</key><string/>
    <key>Integer</key><integer> -42 </integer>
    <key>Hex</key><integer>0x1F</integer>
    <key>Real</key><real>2.5e3</real>
    <key>True</key><true/>
    <key>False</key><false></false>
    <key>Date</key><date>2024-05-01T10:20:30Z</date>
    <key>Data</key><data>
      AAEC
      /w==
    </data>
    <!-- a comment between members -->
    <key>Array</key><array><integer>1</integer><dict/><array/></array>
    <key>Unicode ключ</key><string>line1&#13;
line2</string>
  </dict>)"));
  ASSERT_TRUE(root.ok()) << root.error().toString();
  EXPECT_EQ(root->stringForKey("String", ""), "R&B <3 あ<raw>&");
  EXPECT_EQ(root->stringForKey("Empty", "x"), "");
  EXPECT_EQ(*root->get("Integer")->asInteger(), -42);
  EXPECT_EQ(*root->get("Hex")->asInteger(), 31);
  EXPECT_DOUBLE_EQ(*root->get("Real")->asReal(), 2500.0);
  EXPECT_EQ(*root->get("True")->asBool(), true);
  EXPECT_EQ(*root->get("False")->asBool(), false);
  EXPECT_EQ(*root->get("Date")->asDate(), Date{1714558830});
  EXPECT_EQ(*root->get("Data")->asData(), (Bytes{0, 1, 2, 255}));
  EXPECT_EQ(root->get("Array")->size(), 3u);
  EXPECT_EQ(root->stringForKey("Unicode ключ", ""), "line1\r\nline2");
}

TEST(PlistReaderTest, StreamsTheMembersOfChosenContainers) {
  const std::string text = plist(R"(<dict>
    <key>Major Version</key><integer>1</integer>
    <key>Tracks</key><dict>
      <key>10</key><dict><key>Name</key><string>One</string></dict>
      <key>12</key><dict><key>Name</key><string>Two</string></dict>
    </dict>
    <key>Playlists</key><array>
      <dict><key>Name</key><string>Library</string>
        <key>Tracks</key><dict><key>nested</key><true/></dict></dict>
    </array>
  </dict>)");
  std::vector<std::string> tracks;
  std::vector<std::string> playlists;
  PlistReadOptions options;
  options.streams.push_back({{"Tracks"},
                             [&](std::string key, Value value) -> Status {
                               tracks.push_back(key + "=" + value.stringForKey("Name", ""));
                               return {};
                             },
                             {}});
  options.streams.push_back({{"Playlists"},
                             [&](std::string key, Value value) -> Status {
                               EXPECT_TRUE(key.empty());
                               playlists.push_back(value.stringForKey("Name", ""));
                               // A dictionary inside the array is not the streamed "Tracks".
                               EXPECT_NE(value.get("Tracks"), nullptr);
                               return {};
                             },
                             {}});
  auto root = PlistReader::readString(text, options);
  ASSERT_TRUE(root.ok()) << root.error().toString();
  EXPECT_EQ(tracks, (std::vector<std::string>{"10=One", "12=Two"}));
  EXPECT_EQ(playlists, (std::vector<std::string>{"Library"}));
  EXPECT_EQ(root->get("Tracks")->size(), 0u);
  EXPECT_EQ(root->intForKey("Major Version", 0), 1);

  options.streams[0].onMember = [](std::string, Value) -> Status {
    return Error("test", 7, "stop here");
  };
  auto stopped = PlistReader::readString(text, options);
  ASSERT_FALSE(stopped.ok());
  EXPECT_EQ(stopped.error().code(), 7);
}

TEST(PlistReaderTest, MalformedDocumentsGiveLineAndColumn) {
  struct Case {
    std::string text;
    std::string expected;
  };
  const std::string fullTrack = plist(
      "<dict><key>Tracks</key><dict><key>1</key><dict>"
      "<key>Name</key><string>x</string></dict></dict></dict>");
  const std::vector<Case> cases = {
      {"", "no <plist>"},
      {"this is not XML", "not a property list"},
      {"<html><body/></html>", "not a property list"},
      {fullTrack.substr(0, fullTrack.size() / 2), "unterminated"},
      {plist("<dict><key>a</key></dict>"), "without a value"},
      {plist("<dict><string>a</string></dict>"), "expected <key>"},
      {plist("<integer>12x</integer>"), "malformed integer"},
      {plist("<integer>-9223372036854775809</integer>"), "out of range"},
      {plist("<real>abc</real>"), "malformed real"},
      {plist("<date>yesterday</date>"), "malformed date"},
      {plist("<data>@@@@</data>"), "Base64"},
      {plist("<string>a<b/></string>"), "element inside <string>"},
      {plist("<string>&nbsp;</string>"), "undefined entity"},
      {plist("<string>&#0;</string>"), "invalid character reference"},
      {plist("<string>\xC3(</string>"), "invalid UTF-8"},
      {plist("<string>\x01</string>"), "control character"},
      {plist("<unknown/>"), "unknown element"},
      {plist("<key>k</key>"), "outside a dictionary"},
      {plist("<array><string>a</string></dict>"), "does not close"},
      {plist("<true>yes</true>"), "holds text"},
      {plist("<string>a</string>") + "<plist/>", "after the end"},
      {"<?xml version=\"1.0\"?><!DOCTYPE plist [<!ENTITY e SYSTEM \"file:///etc/passwd\">]>"
       "<plist><string>&e;</string></plist>",
       "entity declarations are not allowed"},
      {"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><plist/>", "unsupported encoding"},
      {"\xFF\xFE<\0p\0", "UTF-16"},
  };
  for (const auto& [text, expected] : cases) {
    auto root = PlistReader::readString(text);
    ASSERT_FALSE(root.ok()) << text;
    EXPECT_NE(root.error().description().find(expected), std::string::npos)
        << root.error().description();
    EXPECT_NE(root.error().description().find("line "), std::string::npos);
  }
  std::string deep;
  for (int i = 0; i < 5000; ++i)
    deep += "<array>";
  auto root = PlistReader::readString(plist(deep));
  ASSERT_FALSE(root.ok());
  EXPECT_NE(root.error().description().find("deeply"), std::string::npos);
}

TEST(PlistReaderTest, ErrorsPointAtTheRightLine) {
  auto root = PlistReader::readString(plist("<dict>\n<key>a</key>\n<integer>x</integer>\n</dict>"));
  ASSERT_FALSE(root.ok());
  EXPECT_NE(root.error().description().find("line 6, column 1"), std::string::npos)
      << root.error().description();
}

TEST(PlistReaderTest, ReadsFilesAndReportsProgress) {
  test::TempDir dir;
  std::string body = "<array>";
  for (int i = 0; i < 200000; ++i)
    body += "<string>member number " + std::to_string(i) + "</string>";
  body += "</array>";
  test::writeFile(dir.file("big.plist"), plist(body));
  size_t reports = 0;
  PlistReadOptions options;
  options.onProgress = [&](size_t read, size_t total) {
    EXPECT_LE(read, total);
    ++reports;
  };
  auto root = PlistReader::readFile(dir.file("big.plist"), options);
  ASSERT_TRUE(root.ok()) << root.error().toString();
  EXPECT_EQ(root->size(), 200000u);
  EXPECT_EQ((*root->asArray())[199999], Value("member number 199999"));
  EXPECT_GE(reports, 1u);

  EXPECT_FALSE(PlistReader::readFile(dir.file("missing.plist")).ok());
  EXPECT_FALSE(PlistReader::readFile(dir.path()).ok());
  test::writeFile(dir.file("empty.plist"), "");
  EXPECT_FALSE(PlistReader::readFile(dir.file("empty.plist")).ok());
}

}  // namespace
}  // namespace mr
