#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <fstream>

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

// A document with every kind, markup of every sort, texts of many lengths
// and multi-byte characters, so block edges fall inside all of them.
std::string assortedDocument() {
  std::string body = "<dict>\n";
  for (int i = 0; i < 120; ++i) {
    const std::string n = std::to_string(i);
    body += "  <key>Item " + n + "</key><dict>\n";
    body += "    <key>Name</key><string>" + std::string(static_cast<size_t>(i % 37), 'x') +
            " R&amp;B &#x3042; \xE3\x81\x82 <![CDATA[<raw>]]>" + n + "</string>\n";
    body += "    <!-- comment " + n + " -->\n    <?pi " + n + "?>\n";
    body += "    <key>Count</key><integer> " + n + " </integer>\n";
    body += "    <key>Ratio</key><real>" + n + ".5</real>\n";
    body += "    <key>When</key><date>2024-05-01T10:20:30Z</date>\n";
    body += "    <key>Bytes</key><data>AAEC/w==</data>\n";
    body += "    <key>Flag</key><" + std::string(i % 2 == 0 ? "true" : "false") + "/>\n";
    body += "    <key>List</key><array><string>a</string><dict/><array/></array>\n";
    body += "  </dict>\n";
  }
  return plist(body + "</dict>");
}

PlistReadOptions withBlock(size_t bytes) {
  PlistReadOptions options;
  options.blockBytes = bytes;
  return options;
}

TEST(PlistFileTest, BlocksOfAnySizeReadTheSameAsTheWholeText) {
  test::TempDir dir;
  const std::string text = assortedDocument();
  const std::string path = dir.file("assorted.plist");
  test::writeFile(path, text);
  const auto whole = PlistReader::readString(text);
  ASSERT_TRUE(whole.ok()) << whole.error().toString();
  ASSERT_EQ(whole->size(), 120u);
  for (size_t block : {128, 197, 256, 1000, 4096, 1 << 20}) {
    auto read = PlistReader::readFile(path, withBlock(block));
    ASSERT_TRUE(read.ok()) << block << ": " << read.error().toString();
    EXPECT_EQ(*read, *whole) << block;
  }

  // An error far past the first block is placed as in the whole text.
  std::string broken = text;
  broken.replace(broken.rfind("<integer> 100 </integer>"), 24, "<integer>1x0</integer>");
  test::writeFile(path, broken);
  const auto expected = PlistReader::readString(broken);
  ASSERT_FALSE(expected.ok());
  EXPECT_NE(expected.error().description().find("malformed integer \"1x0\""), std::string::npos);
  for (size_t block : {128, 256, 4096}) {
    auto read = PlistReader::readFile(path, withBlock(block));
    ASSERT_FALSE(read.ok());
    EXPECT_EQ(read.error().description(), expected.error().description()) << block;
  }
}

// A property list of `count` tracks under "Tracks", each about 100 bytes.
std::string tracksDocument(int count) {
  std::string body = "<dict><key>Tracks</key><dict>\n";
  for (int i = 0; i < count; ++i) {
    body += "<key>" + std::to_string(i) + "</key><dict><key>Name</key><string>Track number " +
            std::to_string(i) + "</string></dict>\n";
  }
  return plist(body + "</dict></dict>");
}

// Reads `path` streaming its tracks; `atTrack` runs once, at the given one.
Result<Value> readTracks(const std::string& path, size_t block, int at,
                         const std::function<void()>& atTrack) {
  PlistReadOptions options = withBlock(block);
  int seen = 0;
  options.streams.push_back({{"Tracks"},
                             [&](std::string, Value) -> Status {
                               if (seen++ == at) atTrack();
                               return {};
                             },
                             {}});
  return PlistReader::readFile(path, options);
}

void expectChanged(const Result<Value>& read, const std::string& detail = {}) {
  ASSERT_FALSE(read.ok());
  EXPECT_NE(read.error().description().find("changed while it was read"), std::string::npos)
      << read.error().description();
  EXPECT_NE(read.error().description().find(detail), std::string::npos)
      << read.error().description();
}

TEST(PlistFileTest, AFileThatChangesWhileItIsReadIsAnErrorNotASignal) {
  test::TempDir dir;
  const std::string path = dir.file("tracks.plist");
  const std::string text = tracksDocument(2000);  // about 200 kB
  const auto truncate = [&](off_t size) {
    return [&path, size] { ASSERT_EQ(::truncate(path.c_str(), size), 0); };
  };

  // Cut short behind the reader's back, in the middle and to nothing: a
  // mapped file would end the process with SIGBUS here.
  for (off_t size : {off_t{100000}, off_t{0}}) {
    test::writeFile(path, text);
    expectChanged(readTracks(path, 4096, 100, truncate(size)), "it ended after");
  }
  // Cut short after the reader had it all: seen in its size afterwards.
  test::writeFile(path, text);
  expectChanged(readTracks(path, 1 << 20, 100, truncate(100000)));

  // Grown: more bytes than the file had when it was opened.
  test::writeFile(path, text);
  expectChanged(
      readTracks(path, 4096, 100, [&] { std::ofstream(path, std::ios::app) << "<!-- more -->"; }),
      "grew");

  // Rewritten in place at the same size: only its time tells.
  test::writeFile(path, text);
  expectChanged(readTracks(path, 1 << 20, 1999, [&] {
    const int fd = ::open(path.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::pwrite(fd, "7", 1, static_cast<off_t>(text.size() / 2)), 1);
    const timespec later[2] = {{0, UTIME_OMIT}, {1'000'000'000, 0}};
    ASSERT_EQ(::futimens(fd, later), 0);
    ::close(fd);
  }));

  // Untouched, the same file reads well.
  test::writeFile(path, text);
  EXPECT_TRUE(readTracks(path, 4096, 100, [] {}).ok());
}

TEST(PlistFileTest, OnlyRegularFilesAreReadAndAFifoIsNotWaitedOn) {
  test::TempDir dir;
  const std::string fifo = dir.file("library.xml");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  // Nobody writes to it: opening it the ordinary way would wait for ever.
  auto read = PlistReader::readFile(fifo);
  ASSERT_FALSE(read.ok());
  EXPECT_NE(read.error().description().find("not a regular file (a FIFO)"), std::string::npos)
      << read.error().description();

  read = PlistReader::readFile(dir.path());
  ASSERT_FALSE(read.ok());
  EXPECT_NE(read.error().description().find("(a folder)"), std::string::npos);
  read = PlistReader::readFile("/dev/null");
  ASSERT_FALSE(read.ok());
  EXPECT_NE(read.error().description().find("(a device)"), std::string::npos);
}

TEST(PlistReaderTest, TextsOverTheLimitAreRefusedWithTheirKeyAndLine) {
  PlistReadOptions options;
  options.maxTextBytes = 100;
  const std::string limit(100, 'n');
  const std::string over(101, 'n');
  EXPECT_TRUE(
      PlistReader::readString(
          plist("<dict><key>" + limit + "</key><string>" + limit + "</string></dict>"), options)
          .ok());

  struct Case {
    std::string body;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"<string>" + over + "</string>", "<string> of key \"Name\" longer than 100 bytes"},
      {"<string>" + std::string(60, 'a') + "&amp;" + std::string(60, 'b') + "</string>",
       "<string> of key \"Name\" longer than 100 bytes"},
      {"<string><![CDATA[" + over + "]]></string>", "<string> of key \"Name\""},
      {"<string>" + std::string(60, 'a') + "<!-- c -->" + std::string(60, 'b') + "</string>",
       "<string> of key \"Name\""},
      {"<data>" + std::string(104, 'A') + "</data>", "<data> of key \"Name\""},
      {"<integer>" + std::string(101, '1') + "</integer>", "<integer> of key \"Name\""},
      {"<array><string>" + over + "</string></array>", "<string> longer than 100 bytes"},
  };
  for (const auto& [body, expected] : cases) {
    for (const std::string& prefix : {std::string(), std::string("\n\n")}) {
      auto root = PlistReader::readString(
          plist(prefix + "<dict><key>Other</key><true/>\n<key>Name</key>" + body + "</dict>"),
          options);
      ASSERT_FALSE(root.ok()) << body;
      EXPECT_NE(root.error().description().find(expected), std::string::npos)
          << root.error().description();
      // The line of the value: the header takes four lines.
      EXPECT_NE(root.error().description().find(prefix.empty() ? "line 5," : "line 7,"),
                std::string::npos)
          << root.error().description();
    }
  }
  auto key = PlistReader::readString(plist("<dict><key>" + over + "</key><true/></dict>"), options);
  ASSERT_FALSE(key.ok());
  EXPECT_NE(key.error().description().find("<key> longer than 100 bytes"), std::string::npos);
}

TEST(PlistFileTest, AHugeNameIsRefusedWithoutReadingItAll) {
  // The default limit and block, and a name of 20 MB in the middle.
  test::TempDir dir;
  const std::string path = dir.file("huge.plist");
  {
    std::ofstream out(path, std::ios::binary);
    out << kHeader << "<dict><key>Tracks</key><dict>\n<key>1</key><dict>\n<key>Name</key><string>";
    const std::string chunk(1 << 20, 'z');
    for (int i = 0; i < 20; ++i)
      out << chunk;
    out << "</string></dict></dict></dict></plist>\n";
  }
  auto read = PlistReader::readFile(path);
  ASSERT_FALSE(read.ok());
  EXPECT_NE(read.error().description().find(
                "line 6, column 24: <string> of key \"Name\" longer than 1048576 bytes"),
            std::string::npos)
      << read.error().description();

  // Markup that is not text (a comment) still may not outgrow a block.
  test::writeFile(path, plist("<dict><key>Name</key><string>a<!--" + std::string(5000, '-') +
                              "x-->b</string></dict>"));
  read = PlistReader::readFile(path, withBlock(1024));
  ASSERT_FALSE(read.ok());
  EXPECT_NE(read.error().description().find("longer than 1024 bytes"), std::string::npos)
      << read.error().description();
  EXPECT_TRUE(PlistReader::readFile(path).ok());
}

}  // namespace
}  // namespace mr
